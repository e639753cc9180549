// Image lists: numbered images of one size, drawn by index, and the interface through which
// a component lends its image list to the objects it hosts.
#pragma once

#include <memory>
#include <vector>

#include "framework/Classes.h"
#include "framework/Graphics.h"

namespace qv {

// A list of images that all have the list's Width and Height (16 x 16 unless set).
class TCustomImageList : public TComponent {
  QV_CLASS(TCustomImageList, TComponent)
  explicit TCustomImageList(TComponent* owner) : TComponent(owner) {}

  int Width() const { return FWidth; }
  int Height() const { return FHeight; }
  // Changing the size drops every image. Sizes below 1 count as 1.
  void SetSize(int width, int height);
  int Count() const { return static_cast<int>(FImages.size()); }

  // Adds the bitmap's pixels as images: a bitmap n times the list's width wide gives n images,
  // left to right. Returns the index of the first; raises EInvalidGraphicOperation "Invalid image
  // size" when the bitmap's height differs or its width is not such a multiple.
  int Add(const TBitmap& image);
  void Delete(int index);
  void Clear() { FImages.clear(); }

  // Draws image `index` at its own size with its top-left corner at (x, y); a disabled image
  // draws in grey (each pixel's luminance). An index outside the list draws nothing.
  void Draw(TCanvas& canvas, int x, int y, int index, bool enabled = true) const;

private:
  int FWidth = 16;
  int FHeight = 16;
  std::vector<std::unique_ptr<TBitmap>> FImages;  // owned
};

class TImageList : public TCustomImageList {
  QV_CLASS(TImageList, TCustomImageList)
  explicit TImageList(TComponent* owner) : TCustomImageList(owner) {}
};

// Implemented by components that hand an image list to the objects they host.
class IImageListHost {
public:
  virtual ~IImageListHost() = default;
  // Not owned; null when the host has none.
  virtual TCustomImageList* Images() const = 0;
};

// The image list a host supplies: the host itself when it is one, else the list of an
// IImageListHost; null otherwise.
TCustomImageList* HostImageList(TObject* host);

}  // namespace qv
