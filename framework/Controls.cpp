// The control model of embedded objects: bounds, the parent link and repaint bookkeeping.
#include "framework/Controls.h"

#include <algorithm>

namespace qv {

TControl::~TControl() { SetParent(nullptr); }

void TControl::SetBounds(int left, int top, int width, int height) {
  if (left == FLeft && top == FTop && width == FWidth && height == FHeight) return;
  FLeft = left;
  FTop = top;
  FWidth = width;
  FHeight = height;
  Invalidate();
}

void TControl::SetColor(TColor value) {
  if (value == FColor) return;
  FColor = value;
  Invalidate();
}

void TControl::SetParent(TWinControl* value) {
  if (value == FParent) return;
  if (FParent) {
    auto& list = FParent->FControls;
    list.erase(std::remove(list.begin(), list.end(), this), list.end());
  }
  FParent = value;
  if (FParent) FParent->FControls.push_back(this);
  Invalidate();
}

void TControl::Refresh() {
  ++FRefreshCount;
  FInvalid = false;
}

void TControl::PaintTo(TCanvas& canvas) const { canvas.FillRect(BoundsRect(), FColor); }

TWinControl::~TWinControl() {
  // The children outlive their parent here; they only lose the link.
  for (TControl* control : FControls) control->FParent = nullptr;
  FControls.clear();
}

TControl* TWinControl::Controls(int index) const {
  if (index < 0 || index >= ControlCount()) throw EListError(Format(SListIndexError, index));
  return FControls[index];
}

}  // namespace qv
