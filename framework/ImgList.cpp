// Image lists: storage of equally sized images and drawing them by index.
#include "framework/ImgList.h"

#include <algorithm>

namespace qv {

void TCustomImageList::SetSize(int width, int height) {
  width = std::max(width, 1);
  height = std::max(height, 1);
  if (width == FWidth && height == FHeight) return;
  FWidth = width;
  FHeight = height;
  FImages.clear();
}

int TCustomImageList::Add(const TBitmap& image) {
  if (image.Height() != FHeight || image.Width() <= 0 || image.Width() % FWidth != 0)
    throw EInvalidGraphicOperation(SInvalidImageSize);
  const int first = Count();
  for (int left = 0; left < image.Width(); left += FWidth) {
    auto part = std::make_unique<TBitmap>(FWidth, FHeight);
    for (int y = 0; y < FHeight; ++y)
      for (int x = 0; x < FWidth; ++x) part->SetPixel(x, y, image.Pixels(left + x, y));
    FImages.push_back(std::move(part));
  }
  return first;
}

void TCustomImageList::Delete(int index) {
  if (index < 0 || index >= Count()) throw EListError(Format(SListIndexError, index));
  FImages.erase(FImages.begin() + index);
}

void TCustomImageList::Draw(TCanvas& canvas, int x, int y, int index, bool enabled) const {
  if (index < 0 || index >= Count()) return;
  const TBitmap& image = *FImages[index];
  if (enabled) {
    canvas.Draw(x, y, image);
    return;
  }
  for (int iy = 0; iy < FHeight; ++iy)
    for (int ix = 0; ix < FWidth; ++ix) {
      const TColor c = image.Pixels(ix, iy);
      // ITU-R BT.601 weights in integer arithmetic.
      const int grey = ((c & 0xFF) * 299 + ((c >> 8) & 0xFF) * 587 + ((c >> 16) & 0xFF) * 114 +
                        500) / 1000;
      canvas.SetPixel(x + ix, y + iy, grey | (grey << 8) | (grey << 16));
    }
}

TCustomImageList* HostImageList(TObject* host) {
  if (auto* list = dynamic_cast<TCustomImageList*>(host)) return list;
  if (auto* provider = dynamic_cast<IImageListHost*>(host)) return provider->Images();
  return nullptr;
}

}  // namespace qv
