// The drawing model: JPEG pictures decoded through libjpeg, nearest-neighbour stretching on
// the canvas, clipboard loading, image lists and the control bounds model.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "framework/Clipbrd.h"
#include "framework/Controls.h"
#include "framework/Graphics.h"
#include "framework/ImgList.h"
#include "framework/Streams.h"
#include "tests/support/JpegProbes.h"

namespace qv {
namespace {

using testing::HasSubstr;
using testing::StartsWith;

std::string FourBlocksJpeg() { return EncodeTestJpeg(16, 16, FourBlocks); }

TEST(TPicture, LoadsAJpegWithItsSizeAndBlockColours) {
  TPicture picture;
  TMemoryStream stream(FourBlocksJpeg());
  picture.LoadFromStream(stream);
  ASSERT_EQ(picture.Width(), 16);
  ASSERT_EQ(picture.Height(), 16);
  const auto* jpeg = dynamic_cast<const TJPEGImage*>(picture.Graphic());
  ASSERT_NE(jpeg, nullptr);
  // Block centres, away from the edges where the lossy coding blurs most.
  for (int by = 0; by < 2; ++by)
    for (int bx = 0; bx < 2; ++bx) {
      const int x = bx * 8 + 4, y = by * 8 + 4;
      EXPECT_TRUE(NearColor(jpeg->Bitmap().Pixels(x, y), FourBlocks(x, y)))
          << x << "," << y << ": " << std::hex << jpeg->Bitmap().Pixels(x, y);
    }
}

TEST(TPicture, StretchDrawScalesTheJpegIntoTheRectangleOnly) {
  TPicture picture;
  TMemoryStream stream(FourBlocksJpeg());
  picture.LoadFromStream(stream);
  TCanvas canvas(40, 40, clBlack);
  canvas.StretchDraw(Bounds(4, 4, 32, 32), *picture.Graphic());
  // Doubled: each 8-pixel block covers 16 canvas pixels from the rectangle's corner.
  EXPECT_TRUE(NearColor(canvas.Pixels(12, 12), clRed));
  EXPECT_TRUE(NearColor(canvas.Pixels(28, 12), clLime));
  EXPECT_TRUE(NearColor(canvas.Pixels(12, 28), clBlue));
  EXPECT_TRUE(NearColor(canvas.Pixels(28, 28), clWhite));
  EXPECT_EQ(canvas.Pixels(3, 3), clBlack);
  EXPECT_EQ(canvas.Pixels(36, 20), clBlack);
  EXPECT_EQ(canvas.Pixels(20, 36), clBlack);
}

TEST(TBitmap, StretchTakesTheSourcePixelUnderEachTargetCorner) {
  TBitmap bitmap(2, 2);
  bitmap.SetPixel(0, 0, clRed);
  bitmap.SetPixel(1, 0, clLime);
  bitmap.SetPixel(0, 1, clBlue);
  bitmap.SetPixel(1, 1, clYellow);
  TCanvas canvas(8, 4, clBlack);
  canvas.StretchDraw(Bounds(1, 0, 5, 3), bitmap);
  // Column x takes source column (x - 1) * 2 / 5: 0, 0, 0, 1, 1; row y takes y * 2 / 3.
  const std::string expected[] = {"bRRRGGbb", "bRRRGGbb", "bBBBYYbb", "bbbbbbbb"};
  auto letter = [](TColor c) {
    return c == clRed ? 'R' : c == clLime ? 'G' : c == clBlue ? 'B' : c == clYellow ? 'Y'
         : c == clBlack ? 'b' : '?';
  };
  for (int y = 0; y < 4; ++y) {
    std::string row;
    for (int x = 0; x < 8; ++x) row += letter(canvas.Pixels(x, y));
    EXPECT_EQ(row, expected[y]) << "row " << y;
  }
}

TEST(TCanvas, DrawingIsClippedAndOutsidePixelsHaveNoColour) {
  TCanvas canvas(4, 4, clWhite);
  canvas.FillRect(Rect(-2, -2, 2, 2), clNavy);
  TBitmap big(3, 3, clRed);
  canvas.Draw(3, 3, big);  // only (3,3) is on the canvas
  canvas.StretchDraw(Rect(2, 0, 2, 4), big);  // empty rectangle
  EXPECT_EQ(canvas.Pixels(1, 1), clNavy);
  EXPECT_EQ(canvas.Pixels(2, 2), clWhite);
  EXPECT_EQ(canvas.Pixels(2, 0), clWhite);
  EXPECT_EQ(canvas.Pixels(3, 3), clRed);
  EXPECT_EQ(canvas.Pixels(4, 0), -1);
  EXPECT_EQ(canvas.Pixels(0, -1), -1);
  EXPECT_EQ(canvas.Font().PixelsPerInch(), 96);
}

TEST(TPicture, CorruptDataRaisesAClearErrorAndKeepsTheFormerImage) {
  const std::string good = FourBlocksJpeg();
  TPicture picture;
  const std::string cases[] = {
      "",                                   // nothing at all
      "this is not a JPEG file at all",     // no start-of-image marker
      good.substr(0, good.size() / 2),      // truncated in the scan data
      good.substr(0, 20),                   // truncated in the headers
  };
  for (const std::string& bytes : cases) {
    SCOPED_TRACE(bytes.size());
    TMemoryStream stream(bytes);
    try {
      picture.LoadFromStream(stream);
      ADD_FAILURE() << "no error";
    } catch (const EInvalidGraphic& e) {
      EXPECT_THAT(e.Message(), StartsWith("Invalid JPEG image: "));
      EXPECT_GT(e.Message().size(), std::string("Invalid JPEG image: ").size());
    }
    EXPECT_EQ(picture.Graphic(), nullptr);
  }
  // Load a good one, then a bad one: the good one stays and the picture still loads.
  TMemoryStream goodStream(good);
  picture.LoadFromStream(goodStream);
  // A busy image has most of its bytes in the scan data, so cutting its tail ends the data
  // before the image: libjpeg only warns about that, and the loader must still refuse it.
  const std::string busy = EncodeTestJpeg(64, 64, [](int x, int y) {
    return static_cast<TColor>((x * 37u + y * 91u) * 2654435761u & 0xFFFFFF);
  });
  TMemoryStream cut(busy.substr(0, busy.size() * 3 / 4));
  EXPECT_THROW(picture.LoadFromStream(cut), EInvalidGraphic);
  EXPECT_EQ(picture.Width(), 16);
  TMemoryStream wide(EncodeTestJpeg(24, 8, [](int, int) { return clTeal; }));
  picture.LoadFromStream(wide);
  EXPECT_EQ(picture.Width(), 24);
  EXPECT_EQ(picture.Height(), 8);
}

TEST(TPicture, LoadsFromAFile) {
  const std::string fileName = testing::TempDir() + "qv_picture_test.jpg";
  TMemoryStream(FourBlocksJpeg()).SaveToFile(fileName);
  TPicture picture;
  picture.LoadFromFile(fileName);
  EXPECT_EQ(picture.Width(), 16);
  std::remove(fileName.c_str());
  EXPECT_THROW(picture.LoadFromFile(fileName), EFOpenError);
}

TEST(TPicture, LoadsFromTheClipboardOnlyInTheJpegFormat) {
  const uint16_t other = RegisterClipboardFormat("Picture Test Other");
  EXPECT_TRUE(TPicture::SupportsClipboardFormat(CF_JPEG()));
  EXPECT_FALSE(TPicture::SupportsClipboardFormat(other));
  Clipboard().Clear();
  TPicture picture;
  EXPECT_THAT([&] { picture.LoadFromClipboardFormat(CF_JPEG()); },
              testing::ThrowsMessage<EInvalidGraphic>(testing::StrEq(SNoClipboardData)));
  Clipboard().SetData(CF_JPEG(), FourBlocksJpeg());
  Clipboard().SetData(other, "x");
  EXPECT_THROW(picture.LoadFromClipboardFormat(other), EInvalidGraphic);
  picture.LoadFromClipboardFormat(CF_JPEG());
  EXPECT_EQ(picture.Width(), 16);
  Clipboard().Clear();
  EXPECT_FALSE(Clipboard().HasFormat(CF_JPEG()));
}

TEST(TImageList, AddSplitsWideBitmapsAndDrawDrawsOneImageByIndex) {
  TImageList list(nullptr);
  list.SetSize(4, 3);
  TBitmap strip(8, 3, clRed);
  strip.FillRect(Rect(4, 0, 8, 3), clBlue);
  EXPECT_EQ(list.Add(strip), 0);
  EXPECT_EQ(list.Count(), 2);
  EXPECT_EQ(list.Add(TBitmap(4, 3, clLime)), 2);
  EXPECT_THROW(list.Add(TBitmap(6, 3)), EInvalidGraphicOperation);
  EXPECT_THROW(list.Add(TBitmap(4, 4)), EInvalidGraphicOperation);
  EXPECT_EQ(list.Count(), 3);

  TCanvas canvas(12, 10, clWhite);
  list.Draw(canvas, 5, 5, 1);
  EXPECT_EQ(canvas.Pixels(5, 5), clBlue);
  EXPECT_EQ(canvas.Pixels(8, 7), clBlue);
  EXPECT_EQ(canvas.Pixels(9, 5), clWhite);
  EXPECT_EQ(canvas.Pixels(5, 8), clWhite);
  EXPECT_EQ(canvas.Pixels(4, 5), clWhite);
  list.Draw(canvas, 0, 0, 3);
  list.Draw(canvas, 0, 0, -1);
  EXPECT_EQ(canvas.Pixels(0, 0), clWhite);
  // Disabled: red (255, 0, 0) has the luminance 76.
  list.Draw(canvas, 0, 0, 0, false);
  EXPECT_EQ(canvas.Pixels(0, 0), 0x4C4C4C);

  list.SetSize(4, 3);
  EXPECT_EQ(list.Count(), 3);
  list.SetSize(2, 2);
  EXPECT_EQ(list.Count(), 0);
}

TEST(TControl, ParentLinksBothWaysAndBoundsChangesInvalidate) {
  auto parent = std::make_unique<TWinControl>(nullptr);
  TControl child(nullptr);
  child.SetParent(parent.get());
  ASSERT_EQ(parent->ControlCount(), 1);
  EXPECT_EQ(parent->Controls(0), &child);
  child.Refresh();
  EXPECT_FALSE(child.Invalid());
  child.SetBounds(0, 0, 0, 0);  // the same bounds
  EXPECT_FALSE(child.Invalid());
  child.SetBoundsRect(Rect(2, 3, 7, 5));
  EXPECT_TRUE(child.Invalid());
  EXPECT_EQ(child.Width(), 5);
  EXPECT_EQ(child.Height(), 2);
  child.Refresh();
  EXPECT_EQ(child.RefreshCount(), 2);
  parent.reset();
  EXPECT_EQ(child.Parent(), nullptr);
  {
    TWinControl other(nullptr);
    auto inner = std::make_unique<TControl>(nullptr);
    inner->SetParent(&other);
    inner.reset();
    EXPECT_EQ(other.ControlCount(), 0);
    EXPECT_THROW(other.Controls(0), EListError);
  }
}

}  // namespace
}  // namespace qv
