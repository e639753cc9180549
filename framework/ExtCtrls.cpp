// Timers: their place in the application's registry and their settings.
#include "framework/ExtCtrls.h"

namespace qv {

TTimer::TTimer(TComponent* owner) : TComponent(owner) {
  if (Application) {
    FQueue = Application->Queue();
    FQueue->AddTimer(this);
  }
}

TTimer::~TTimer() {
  if (FQueue) FQueue->RemoveTimer(this);
}

void TTimer::SetEnabled(bool value) {
  if (value == FEnabled) return;
  if (FQueue)
    FQueue->SetTimer(this, value, FInterval);
  else
    FEnabled = value;
}

void TTimer::SetInterval(int value) {
  if (value == FInterval) return;
  if (FQueue)
    FQueue->SetTimer(this, FEnabled, value);
  else
    FInterval = value;
}

}  // namespace qv
