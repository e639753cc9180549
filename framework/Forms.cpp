// The application object, its message loop and the queue it shares with timers and worker
// threads, and the unit that creates the application.
#include "framework/Forms.h"

#include <algorithm>
#include <cassert>
#include <utility>

#include "framework/Dialogs.h"
#include "framework/ExtCtrls.h"

namespace qv {

TApplication* Application = nullptr;

namespace {

using TTime = TMessageQueue::TTime;
using TClock = TMessageQueue::TClock;

TTime DueAfter(TTime now, int interval) { return now + std::chrono::milliseconds(interval); }

}  // namespace

// --- TMessageQueue --------------------------------------------------------------------------

bool TMessageQueue::IsActive(const TTimer* timer) {
  return timer->FEnabled && timer->FInterval > 0 && timer->OnTimer;
}

TMessageQueue::TMessageQueue(TApplication* application)
    : FApplication(application), FGuiThread(std::this_thread::get_id()) {}

TTime TMessageQueue::Now() const {
  if (FManual.load()) return TTime(TClock::duration(FManualNow.load()));
  return TClock::now();
}

void TMessageQueue::Post(std::function<void()> call) {
  {
    std::lock_guard lock(FLock);
    if (FDetached) return;  // `call` is destroyed on the way out, outside the lock
    FCalls.push_back(TMessage{std::move(call), nullptr});
    FCallCount.store(FCalls.size());
  }
  FWake.notify_all();
}

bool TMessageQueue::Send(const std::function<void()>& call, TThreadLink& link) {
  assert(!IsGuiThread());  // it would wait for itself
  TSentCall sent{&link, TSentCall::Waiting, nullptr};
  std::unique_lock lock(FLock);
  if (FTerminated.load() || link.Cancelled) return false;
  FCalls.push_back(TMessage{call, &sent});
  FCallCount.store(FCalls.size());
  FWake.notify_all();
  FSent.wait(lock, [&] { return sent.State != TSentCall::Waiting; });
  if (sent.State == TSentCall::Dropped) return false;
  lock.unlock();
  if (sent.Error) std::rethrow_exception(sent.Error);
  return true;
}

void TMessageQueue::Complete(TSentCall* sent, std::exception_ptr error) {
  {
    std::lock_guard lock(FLock);
    sent->Error = std::move(error);
    sent->State = TSentCall::Ran;  // the worker may leave, and its stack with `sent`, from now on
  }
  FSent.notify_all();
}

void TMessageQueue::AddThread(TThreadLink& link) {
  std::lock_guard lock(FLock);
  FThreads.push_back(&link);
  if (FTerminated.load()) link.StopRequested.store(true);
}

void TMessageQueue::RemoveThread(TThreadLink& link) {
  std::lock_guard lock(FLock);
  FThreads.erase(std::remove(FThreads.begin(), FThreads.end(), &link), FThreads.end());
}

void TMessageQueue::CancelSends(TThreadLink& link) {
  std::deque<TMessage> dropped;
  {
    std::lock_guard lock(FLock);
    link.Cancelled = true;
    for (auto it = FCalls.begin(); it != FCalls.end();) {
      if (it->Sent && it->Sent->Link == &link) {
        it->Sent->State = TSentCall::Dropped;
        it->Sent = nullptr;
        dropped.push_back(std::move(*it));
        it = FCalls.erase(it);
      } else {
        ++it;
      }
    }
    FCallCount.store(FCalls.size());
  }
  FSent.notify_all();
}

void TMessageQueue::MarkDoneDelivered(TThreadLink& link) {
  std::lock_guard lock(FLock);
  link.DoneDelivered = true;
}

bool TMessageQueue::DoneDelivered(const TThreadLink& link) const {
  std::lock_guard lock(FLock);
  return link.DoneDelivered;
}

void TMessageQueue::WorkerStarted() {
  std::lock_guard lock(FLock);
  ++FWorkers;
}

void TMessageQueue::WorkerEnded() {
  {
    std::lock_guard lock(FLock);
    --FWorkers;
  }
  FWake.notify_all();  // a loop waiting only for this worker has nothing left to wait for
}

void TMessageQueue::AddTimer(TTimer* timer) {
  {
    std::lock_guard lock(FLock);
    timer->FDue = DueAfter(Now(), timer->FInterval);
    FTimers.push_back(timer);
    UpdateNextDueLocked();
  }
  FWake.notify_all();
}

void TMessageQueue::RemoveTimer(TTimer* timer) {
  {
    std::lock_guard lock(FLock);
    FTimers.erase(std::remove(FTimers.begin(), FTimers.end(), timer), FTimers.end());
    UpdateNextDueLocked();
  }
  FWake.notify_all();
}

void TMessageQueue::SetTimer(TTimer* timer, bool enabled, int interval) {
  {
    std::lock_guard lock(FLock);
    timer->FEnabled = enabled;
    timer->FInterval = interval;
    timer->FDue = DueAfter(Now(), interval);
    UpdateNextDueLocked();
  }
  FWake.notify_all();
}

bool TMessageQueue::HasMessageLocked(TTime limit) const {
  if (!FCalls.empty()) return true;
  return std::any_of(FTimers.begin(), FTimers.end(),
                     [&](const TTimer* t) { return IsActive(t) && t->FDue <= limit; });
}

bool TMessageQueue::CanReceiveLocked() const {
  return FWorkers > 0 || std::any_of(FTimers.begin(), FTimers.end(), IsActive);
}

TTime TMessageQueue::NextDueLocked() const {
  TTime next = TTime::max();
  for (const TTimer* t : FTimers)
    if (IsActive(t)) next = std::min(next, t->FDue);
  return next;
}

void TMessageQueue::UpdateNextDueLocked() {
  // Counts timers without a handler too: assigning OnTimer is not seen here, and an early
  // answer only costs ProcessMessages a look under the lock.
  int64_t next = kNever;
  for (const TTimer* t : FTimers)
    if (t->FEnabled && t->FInterval > 0)
      next = std::min(next, int64_t(t->FDue.time_since_epoch().count()));
  FNextDue.store(next);
}

bool TMessageQueue::Take(TTime limit, TTaken& taken) {
  std::lock_guard lock(FLock);
  if (!FCalls.empty()) {
    taken.Message = std::move(FCalls.front());
    FCalls.pop_front();
    FCallCount.store(FCalls.size());
    return true;
  }
  TTimer* due = nullptr;
  for (TTimer* t : FTimers)  // strictly earlier only: ties go to the older timer
    if (IsActive(t) && t->FDue <= limit && (!due || t->FDue < due->FDue)) due = t;
  if (!due) return false;
  due->FDue = DueAfter(Now(), due->FInterval);
  UpdateNextDueLocked();
  taken.Timer = due;
  // A copy: the handler may free its timer, and with it OnTimer, while it runs.
  taken.Handler = due->OnTimer;
  return true;
}

bool TMessageQueue::Wait() {
  std::unique_lock lock(FLock);
  for (;;) {
    if (HasMessageLocked(Now())) return true;
    if (FTerminated.load() || !CanReceiveLocked()) return false;
    const TTime next = NextDueLocked();
    if (FManual.load() && next != TTime::max()) {
      FManualNow.store(std::max(FManualNow.load(), int64_t(next.time_since_epoch().count())));
      continue;
    }
    if (next == TTime::max())
      FWake.wait(lock);
    else
      FWake.wait_until(lock, next);
  }
}

std::deque<TMessageQueue::TMessage> TMessageQueue::ShutDown(bool detach) {
  std::deque<TMessage> dropped;
  {
    std::lock_guard lock(FLock);
    FTerminated.store(true);
    if (detach) {
      FDetached = true;
      FApplication.store(nullptr);
    }
    for (auto it = FCalls.begin(); it != FCalls.end();) {
      if (!it->Sent && !detach) {
        ++it;
        continue;
      }
      if (it->Sent) it->Sent->State = TSentCall::Dropped;
      it->Sent = nullptr;
      dropped.push_back(std::move(*it));
      it = FCalls.erase(it);
    }
    FCallCount.store(FCalls.size());
    // A thread whose OnDone has started has handed its results over; stopping it now would
    // tell it that nobody took them.
    for (TThreadLink* link : FThreads)
      if (!link->DoneDelivered) link->StopRequested.store(true);
  }
  FWake.notify_all();
  FSent.notify_all();
  return dropped;
}

void TMessageQueue::SetManualClock(bool value) {
  {
    std::lock_guard lock(FLock);
    if (FManual.load() == value) return;
    FManualNow.store(TClock::now().time_since_epoch().count());
    FManual.store(value);
    const TTime now = Now();
    for (TTimer* t : FTimers) t->FDue = DueAfter(now, t->FInterval);
    UpdateNextDueLocked();
  }
  FWake.notify_all();
}

void TMessageQueue::AdvanceClock(std::chrono::milliseconds delta) {
  {
    std::lock_guard lock(FLock);
    if (!FManual.load()) return;
    FManualNow.fetch_add(std::chrono::duration_cast<TClock::duration>(delta).count());
  }
  FWake.notify_all();
}

// --- TApplication ---------------------------------------------------------------------------

TApplication::TApplication(TComponent* owner)
    : TComponent(owner), FQueue(std::make_shared<TMessageQueue>(this)) {}

TApplication::~TApplication() {
  // Owned components (timers among them) leave while the queue still knows the application.
  Destroying();
  DestroyComponents();
  FQueue->ShutDown(true);
}

void TApplication::Initialize() {
  FInitialized = true;
  FQueue->SetGuiThread(std::this_thread::get_id());
}

void TApplication::Terminate() { FQueue->ShutDown(false); }

void TApplication::Dispatch(TMessageQueue::TTaken& taken) {
  if (taken.Timer) {
    try {
      taken.Handler(taken.Timer);
    } catch (const std::exception& e) {  // an event's failure is reported; the loop goes on
      HandleException(taken.Timer, e);
    }
    return;
  }
  TMessageQueue::TMessage& message = taken.Message;
  if (!message.Sent) {
    try {
      message.Call();
    } catch (const std::exception& e) {  // as for a timer
      HandleException(this, e);
    }
    return;
  }
  std::exception_ptr error;
  try {
    message.Call();
  } catch (...) {  // not ours to report: it goes back to the worker that is waiting
    error = std::current_exception();
  }
  message.Call = nullptr;  // its captures may refer to the worker's stack, which goes next
  FQueue->Complete(message.Sent, std::move(error));
}

bool TApplication::HandleOne(TMessageQueue::TTime limit) {
  TMessageQueue::TTaken taken;
  if (!FQueue->Take(limit, taken)) return false;
  Dispatch(taken);
  return true;
}

void TApplication::ProcessMessages() {
  if (!IsGuiThread()) return;
  TMessageQueue& queue = *FQueue;
  // The idle analysis calls this after every token: most calls find nothing queued and no
  // timer due, and leave without taking the lock.
  if (queue.FCallCount.load() == 0) {
    const int64_t next = queue.FNextDue.load();
    if (next == TMessageQueue::kNever || queue.Now().time_since_epoch().count() < next) return;
  }
  const TMessageQueue::TTime limit = queue.Now();
  while (HandleOne(limit)) {
  }
}

bool TApplication::HandleMessage(bool wait) {
  if (!IsGuiThread()) return false;
  bool idleCalled = false;
  for (;;) {
    if (HandleOne(FQueue->Now())) return true;
    if (!idleCalled && OnIdle) {
      idleCalled = true;
      try {
        OnIdle(this);
      } catch (const std::exception& e) {  // as for any event
        HandleException(this, e);
      }
      continue;  // the handler may have posted something
    }
    if (!wait || !FQueue->Wait()) return false;
  }
}

bool TApplication::WaitMessage() { return IsGuiThread() && FQueue->Wait(); }

void TApplication::Run() {
  if (!IsGuiThread()) return;
  while (!Terminated() && HandleMessage()) {
  }
}

void TApplication::HandleException(TObject* sender, const std::exception& e) {
  if (OnException) {
    OnException(sender, e);
    return;
  }
  MessageBox(e.what(), FTitle, MB_OK | MB_ICONERROR);
}

namespace {

void InitForms() { Application = new TApplication(nullptr); }

void FinalizeForms() {
  delete Application;
  Application = nullptr;
}

}  // namespace

TUnit& FormsUnit() {
  static TUnit unit("Forms", {}, InitForms, FinalizeForms);
  return unit;
}

}  // namespace qv
