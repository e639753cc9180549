// Timers: a component that calls its OnTimer handler at an interval, fired by the
// application's message loop in the GUI thread (framework/Forms.h). The client analyzer's
// idle analysis runs from one.
#pragma once

#include <memory>

#include "framework/Classes.h"
#include "framework/Forms.h"

namespace qv {

// A timer fires only inside the loop (ProcessMessages, HandleMessage, Run) in the GUI
// thread, once its period has passed on the steady clock: Interval milliseconds after it was
// created, enabled, given a new interval or last fired. A loop busy elsewhere fires it late,
// once, never in a burst. Interval 0, Enabled false or no OnTimer handler: it never fires.
//
// A timer joins the application that is current (Application) when it is created and leaves
// it when destroyed; without an application it never fires. Its properties, its handler and
// its destruction belong to the GUI thread. The registry it joins is locked, so a timer may
// also be created or destroyed in another thread, as long as the loop cannot fire it then.
// A handler may disable or free its own timer or any other: a timer disabled or freed before
// its turn does not fire.
class TTimer : public TComponent {
public:
  explicit TTimer(TComponent* owner);
  ~TTimer() override;
  const char* ClassName() const override { return "TTimer"; }

  bool Enabled() const { return FEnabled; }
  // A change restarts the period; setting the value the timer already has does nothing.
  void SetEnabled(bool value);
  // Milliseconds; 1000 by default.
  int Interval() const { return FInterval; }
  // A change restarts the period; setting the value the timer already has does nothing.
  void SetInterval(int value);

  TNotifyEvent OnTimer;

private:
  friend class TMessageQueue;

  std::shared_ptr<TMessageQueue> FQueue;  // null without an application
  // Written under the queue's lock.
  bool FEnabled = true;
  int FInterval = 1000;
  TMessageQueue::TTime FDue;  // when the period ends
};

}  // namespace qv
