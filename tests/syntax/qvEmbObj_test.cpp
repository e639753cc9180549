// Embedded objects: sizes scaled to the canvas resolution, drawing, clipboard loading, the
// control link to its host, and the class registry.
#include "syntax/qvEmbObj.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

#include "framework/Clipbrd.h"
#include "framework/ImgList.h"
#include "tests/support/JpegProbes.h"

namespace qv {
namespace {

std::string SizeText(const TSize& s) { return std::to_string(s.cx) + "x" + std::to_string(s.cy); }

std::string SizeAt(TqvCustomEmbeddedObject& object, TObject* sender, int pixelsPerInch) {
  TCanvas canvas;
  canvas.Font().SetPixelsPerInch(pixelsPerInch);
  TSize size{-5, -5};
  object.GetSize(sender, &canvas, size);
  return SizeText(size);
}

TEST(TqvEmbeddedImage, SizeIsThePictureScaledToTheCanvasRoundedPerAxis) {
  ASSERT_EQ(EmbeddedScreenDpiX(), 96);
  ASSERT_EQ(EmbeddedScreenDpiY(), 96);
  TqvEmbeddedImage image;
  image.Picture().SetGraphic(std::make_unique<TBitmap>(10, 7));
  // 10 and 7 pixels at 96 dpi: 120 dpi gives 12.5 and 8.75, 72 dpi 7.5 and 5.25,
  // 144 dpi 15 and 10.5; halves round away from zero.
  const struct { int Ppi; const char* Size; } cases[] = {
      {96, "10x7"}, {120, "13x9"}, {72, "8x5"}, {144, "15x11"}, {48, "5x4"}};
  for (const auto& c : cases) EXPECT_EQ(SizeAt(image, nullptr, c.Ppi), c.Size) << c.Ppi;
  TSize size{3, 3};
  image.GetSize(nullptr, nullptr, size);
  EXPECT_EQ(SizeText(size), "0x0");
}

TEST(TqvEmbeddedImage, DrawsTheClipboardJpegStretchedIntoTheRectangle) {
  TqvEmbeddedImage image;
  EXPECT_TRUE(image.SupportsClipboardFormat(CF_JPEG()));
  EXPECT_FALSE(image.SupportsClipboardFormat(RegisterClipboardFormat("Embedded Test")));
  Clipboard().SetData(CF_JPEG(), EncodeTestJpeg(16, 16, FourBlocks));
  EXPECT_TRUE(image.LoadFromClipboardFormat(CF_JPEG()));
  Clipboard().Clear();
  EXPECT_EQ(SizeAt(image, nullptr, 96), "16x16");
  TCanvas canvas(20, 20, clBlack);
  image.Draw(nullptr, &canvas, Bounds(2, 2, 8, 8));  // halved: each block is 4 x 4
  EXPECT_TRUE(NearColor(canvas.Pixels(3, 3), clRed));
  EXPECT_TRUE(NearColor(canvas.Pixels(8, 3), clLime));
  EXPECT_TRUE(NearColor(canvas.Pixels(3, 8), clBlue));
  EXPECT_TRUE(NearColor(canvas.Pixels(8, 8), clWhite));
  EXPECT_EQ(canvas.Pixels(10, 10), clBlack);
  EXPECT_EQ(canvas.Pixels(1, 1), clBlack);
}

class TListHost : public TComponent, public IImageListHost {
public:
  explicit TListHost(TCustomImageList* images) : TComponent(nullptr), FImages(images) {}
  TCustomImageList* Images() const override { return FImages; }

private:
  TCustomImageList* FImages;
};

TEST(TqvEmbeddedImageIdx, SizeAndDrawingComeFromTheHostsImageList) {
  TImageList list(nullptr);
  list.SetSize(5, 3);
  TBitmap strip(10, 3, clRed);
  strip.FillRect(Rect(5, 0, 10, 3), clBlue);
  list.Add(strip);
  TqvEmbeddedImageIdx idx;
  EXPECT_EQ(idx.TypeCode(), 2);
  EXPECT_EQ(SizeAt(idx, nullptr, 120), "0x0");  // no host
  TComponent plain(nullptr);
  idx.SetHost(&plain);
  EXPECT_EQ(SizeAt(idx, nullptr, 120), "0x0");  // a host without a list
  TListHost host(&list);
  idx.SetHost(&host);
  EXPECT_EQ(SizeAt(idx, nullptr, 120), "6x4");  // 6.25 and 3.75
  idx.SetHost(&list);
  EXPECT_EQ(SizeAt(idx, nullptr, 96), "5x3");
  TSize size{1, 1};
  idx.GetSize(nullptr, nullptr, size);
  EXPECT_EQ(SizeText(size), "0x0");

  TCanvas canvas(20, 10, clWhite);
  idx.SetImageIndex(1);
  idx.Draw(nullptr, &canvas, Bounds(3, 2, 15, 8));  // unscaled, at the corner
  EXPECT_EQ(canvas.Pixels(3, 2), clBlue);
  EXPECT_EQ(canvas.Pixels(7, 4), clBlue);
  EXPECT_EQ(canvas.Pixels(8, 2), clWhite);
  EXPECT_EQ(canvas.Pixels(3, 5), clWhite);
  for (int index : {2, -1}) {
    TCanvas blank(20, 10, clWhite);
    idx.SetImageIndex(index);
    idx.Draw(nullptr, &blank, Bounds(0, 0, 5, 3));
    EXPECT_EQ(blank.Pixels(0, 0), clWhite) << index;
  }
}

// Records the components whose destruction it was told about.
class TProbeControl : public TWinControl {
public:
  explicit TProbeControl(std::vector<TComponent*>* removed)
      : TWinControl(nullptr), FRemoved(removed) {}
  void Notification(TComponent* component, TOperation operation) override {
    if (operation == opRemove) FRemoved->push_back(component);
    TWinControl::Notification(component, operation);
  }

private:
  std::vector<TComponent*>* FRemoved;
};

TEST(TqvEmbeddedControl, SizeIsTheControlsOwnOnlyForItsParent) {
  TWinControl parent(nullptr);
  TqvEmbeddedControl embedded;
  EXPECT_EQ(SizeAt(embedded, &parent, 96), "0x0");  // no control
  embedded.SetControl(std::make_unique<TWinControl>(nullptr));
  embedded.Control()->SetBounds(1, 2, 30, 20);
  EXPECT_EQ(SizeAt(embedded, &parent, 144), "0x0");  // not placed yet
  EXPECT_EQ(SizeAt(embedded, nullptr, 144), "0x0");
  embedded.Control()->SetParent(&parent);
  EXPECT_EQ(SizeAt(embedded, &parent, 144), "30x20");  // unscaled
  TWinControl stranger(nullptr);
  EXPECT_EQ(SizeAt(embedded, &stranger, 144), "0x0");
  EXPECT_EQ(embedded.TypeCode(), 0);
}

TEST(TqvEmbeddedControl, DrawMovesTheControlOnlyWhenItsCornerDiffersAndRefreshes) {
  TqvEmbeddedControl embedded;
  embedded.SetControl(std::make_unique<TWinControl>(nullptr));
  TWinControl* control = embedded.Control();
  control->SetBounds(5, 5, 10, 10);
  embedded.Draw(nullptr, nullptr, Rect(5, 5, 40, 30));  // same corner: size kept
  EXPECT_EQ(control->BoundsRect(), Rect(5, 5, 15, 15));
  EXPECT_EQ(control->RefreshCount(), 1);
  embedded.Draw(nullptr, nullptr, Rect(6, 5, 40, 30));
  EXPECT_EQ(control->BoundsRect(), Rect(6, 5, 40, 30));
  EXPECT_EQ(control->RefreshCount(), 2);
  EXPECT_FALSE(control->Invalid());
}

TEST(TqvEmbeddedControl, HostAndControlAreLinkedByFreeNotification) {
  std::vector<TComponent*> removed;
  auto host = std::make_unique<TComponent>(nullptr);
  TComponent* hostPtr = host.get();
  {
    TqvEmbeddedControl embedded;
    embedded.SetControl(std::make_unique<TProbeControl>(&removed));
    embedded.SetHost(host.get());
    host.reset();
    ASSERT_EQ(removed.size(), 1u);
    EXPECT_EQ(removed[0], hostPtr);
  }
  // The control given after the host is linked too; freeing the embedded object frees it
  // and drops the link, so the host is freed afterwards without touching it.
  std::vector<TComponent*> removedLater;
  auto host2 = std::make_unique<TComponent>(nullptr);
  {
    TqvEmbeddedControl embedded;
    embedded.SetHost(host2.get());
    embedded.SetControl(std::make_unique<TProbeControl>(&removedLater));
  }
  host2.reset();
  EXPECT_TRUE(removedLater.empty());
}

class TNoDraw : public TqvCustomEmbeddedObject {
public:
  const TqvEmbeddedObjectClass& ClassRef() const override {
    static const TqvEmbeddedObjectClass cls("TNoDraw", [] {
      return std::unique_ptr<TqvCustomEmbeddedObject>(new TNoDraw);
    });
    return cls;
  }
};

TEST(TqvCustomEmbeddedObject, DrawWithoutAnOverrideIsAnAbstractErrorAndNothingLoads) {
  TNoDraw object;
  TCanvas canvas(2, 2);
  EXPECT_THAT([&] { object.Draw(nullptr, &canvas, Rect(0, 0, 1, 1)); },
              testing::ThrowsMessage<EAbstractError>(testing::StrEq("Abstract Error")));
  EXPECT_FALSE(object.SupportsClipboardFormat(CF_JPEG()));
  EXPECT_FALSE(object.LoadFromClipboardFormat(CF_JPEG()));
  TSize size{7, 8};
  object.GetSize(nullptr, &canvas, size);
  EXPECT_EQ(SizeText(size), "7x8");
}

TEST(EmbeddedRegistry, HoldsTheThreeClassesInOrderOnceEach) {
  auto classes = EmbeddedClasses();
  ASSERT_GE(classes.size(), 3u);
  EXPECT_EQ(classes[0], &TqvEmbeddedImage::StaticClass());
  EXPECT_EQ(classes[1], &TqvEmbeddedImageIdx::StaticClass());
  EXPECT_EQ(classes[2], &TqvEmbeddedControl::StaticClass());
  const size_t before = classes.size();
  RegisterEmbeddedClass(TqvEmbeddedImageIdx::StaticClass());
  EXPECT_EQ(EmbeddedClasses().size(), before);
  const TqvEmbeddedObjectClass& extra = TNoDraw().ClassRef();
  RegisterEmbeddedClass(extra);
  RegisterEmbeddedClass(extra);
  classes = EmbeddedClasses();
  EXPECT_EQ(std::count(classes.begin(), classes.end(), &extra), 1);
  EXPECT_EQ(classes.back(), &extra);
  // Created from the references, objects come with their class's type code.
  const struct { const TqvEmbeddedObjectClass* Cls; const char* Name; int TypeCode; } cases[] = {
      {classes[0], "TqvEmbeddedImage", 3},
      {classes[1], "TqvEmbeddedImageIdx", 2},
      {classes[2], "TqvEmbeddedControl", 0}};
  for (const auto& c : cases) {
    auto object = c.Cls->Create();
    EXPECT_STREQ(object->ClassName(), c.Name);
    EXPECT_STREQ(c.Cls->ClassName(), c.Name);
    EXPECT_EQ(object->TypeCode(), c.TypeCode) << c.Name;
    EXPECT_EQ(&object->ClassRef(), c.Cls);
  }
}

}  // namespace
}  // namespace qv
