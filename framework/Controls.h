// Input-event values the engine passes on to a displaying editor (mouse buttons and the
// state of the shift keys and buttons), and the minimal control model that embedded objects
// place and refresh: controls with bounds inside a parent window control.
#pragma once

#include <cstdint>

#include <vector>

#include "framework/Classes.h"
#include "framework/Graphics.h"
#include "framework/Types.h"

namespace qv {

enum TMouseButton : uint8_t { mbLeft, mbRight, mbMiddle };

enum TShiftStateItem : uint8_t { ssShift, ssAlt, ssCtrl, ssLeft, ssRight, ssMiddle, ssDouble };
using TShiftState = TSet<TShiftStateItem>;

class TWinControl;

// A control: a component with a rectangle in its parent's coordinates. There is no window
// system, so a control keeps its bounds, counts its refreshes and draws as a filled rectangle.
// A parent does not own its controls; it lets them go when it is freed, and a control leaves
// its parent when freed.
class TControl : public TComponent {
  QV_CLASS(TControl, TComponent)
  explicit TControl(TComponent* owner) : TComponent(owner) {}
  ~TControl() override;

  int Left() const { return FLeft; }
  int Top() const { return FTop; }
  int Width() const { return FWidth; }
  int Height() const { return FHeight; }
  TRect BoundsRect() const { return Bounds(FLeft, FTop, FWidth, FHeight); }
  // Moves and resizes at once; marks the control for repainting when anything changed.
  void SetBounds(int left, int top, int width, int height);
  void SetBoundsRect(const TRect& rect) {
    SetBounds(rect.Left, rect.Top, rect.Width(), rect.Height());
  }
  void SetLeft(int value) { SetBounds(value, FTop, FWidth, FHeight); }
  void SetTop(int value) { SetBounds(FLeft, value, FWidth, FHeight); }
  void SetWidth(int value) { SetBounds(FLeft, FTop, value, FHeight); }
  void SetHeight(int value) { SetBounds(FLeft, FTop, FWidth, value); }

  TColor Color() const { return FColor; }
  void SetColor(TColor value);

  // Not owned; null when the control is not placed in a window control.
  TWinControl* Parent() const { return FParent; }
  // Leaves the former parent's list of controls and joins the new one's.
  void SetParent(TWinControl* value);

  // Marks the control for repainting.
  void Invalidate() { FInvalid = true; }
  // Repaints the control now; here it counts the repaint and clears the mark.
  void Refresh();
  bool Invalid() const { return FInvalid; }
  int RefreshCount() const { return FRefreshCount; }
  // Fills the control's bounds, taken as canvas coordinates, with its colour.
  virtual void PaintTo(TCanvas& canvas) const;

  bool HasParent() const override { return FParent != nullptr; }

private:
  friend class TWinControl;
  int FLeft = 0;
  int FTop = 0;
  int FWidth = 0;
  int FHeight = 0;
  TColor FColor = clBtnFace;
  TWinControl* FParent = nullptr;  // not owned
  bool FInvalid = true;            // a new control has not been painted yet
  int FRefreshCount = 0;
};

// A control that can hold other controls.
class TWinControl : public TControl {
  QV_CLASS(TWinControl, TControl)
  explicit TWinControl(TComponent* owner) : TControl(owner) {}
  ~TWinControl() override;

  int ControlCount() const { return static_cast<int>(FControls.size()); }
  // Raises EListError for a bad index.
  TControl* Controls(int index) const;

private:
  friend class TControl;
  std::vector<TControl*> FControls;  // not owned; kept in step by TControl::SetParent
};

}  // namespace qv
