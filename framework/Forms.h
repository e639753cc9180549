// The application object and its message loop: posted calls from any thread, timers fired
// in the GUI thread, the blocking hand-over of worker threads, the hook for exceptions that
// reach the top of an event, and the program's start and end. There is no window system:
// a "message" is a posted call or a due timer.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "framework/Classes.h"
#include "framework/Units.h"

namespace qv {

class TApplication;
class TTimer;  // framework/ExtCtrls.h

using TExceptionEvent = std::function<void(TObject* sender, const std::exception& e)>;

// What an application shares with its timers and worker threads: the queue of posted calls,
// the timer registry, the live threads and the terminated state, all under one lock. Timers
// and threads hold it through a shared_ptr, so it outlives the application while any of them
// exists; once the application is destroyed it stays shut down, and nothing runs any more.
// Hosts talk to TApplication; this class is the side that TTimer and TThread see.
class TMessageQueue {
public:
  using TClock = std::chrono::steady_clock;
  using TTime = TClock::time_point;

  // A worker thread's entry in the queue. StopRequested is the thread's own flag (shutdown
  // sets it); the other fields are guarded by the queue's lock.
  struct TThreadLink {
    std::atomic<bool> StopRequested{false};
    bool Cancelled = false;      // the thread object is being destroyed: its calls are dropped
    bool DoneDelivered = false;  // its OnDone call has started in the GUI thread
  };

  explicit TMessageQueue(TApplication* application);
  TMessageQueue(const TMessageQueue&) = delete;
  TMessageQueue& operator=(const TMessageQueue&) = delete;

  // The application, or null once it is destroyed. Only the GUI thread may use the answer,
  // and only while the loop runs (which proves the application alive).
  TApplication* Application() const { return FApplication.load(); }

  bool IsGuiThread() const { return std::this_thread::get_id() == FGuiThread.load(); }
  void SetGuiThread(std::thread::id id) { FGuiThread.store(id); }
  bool Terminated() const { return FTerminated.load(); }

  // The loop's time: the steady clock, or the manual clock while it is on.
  TTime Now() const;

  // Any thread. Queued calls run in the GUI thread, in the order they were posted. After the
  // application is destroyed a call is dropped unrun.
  void Post(std::function<void()> call);
  // Blocking call from a thread other than the GUI thread: queues `call` and waits until the
  // GUI thread has run it. True when it ran (an exception it raised is thrown here again);
  // false, unrun, when the application shut down (before or while waiting) or the link was
  // cancelled. The call is copied; it may refer to the caller's stack.
  bool Send(const std::function<void()>& call, TThreadLink& link);

  // Registration of a worker thread. A link added after shutdown starts with its stop
  // requested. RemoveThread must come before the link's memory goes.
  void AddThread(TThreadLink& link);
  void RemoveThread(TThreadLink& link);
  // Drops the link's queued calls; later Sends through it return false at once.
  void CancelSends(TThreadLink& link);
  // Called in the GUI thread when the thread's OnDone call starts. From then on shutdown
  // leaves the thread's stop flag alone: its results have been handed over.
  void MarkDoneDelivered(TThreadLink& link);
  bool DoneDelivered(const TThreadLink& link) const;
  // A worker function is running: the loop waits for it, since it may still post.
  void WorkerStarted();
  void WorkerEnded();

  // Timer registry; TTimer keeps its schedule in its own fields, under this lock.
  void AddTimer(TTimer* timer);
  void RemoveTimer(TTimer* timer);
  // Stores the timer's settings and restarts its period.
  void SetTimer(TTimer* timer, bool enabled, int interval);

private:
  friend class TApplication;

  // A worker's blocking call while it waits; lives on the worker's stack, which the worker
  // leaves only once State is no longer Waiting (set under the lock).
  struct TSentCall {
    TThreadLink* Link;
    enum TState : uint8_t { Waiting, Ran, Dropped } State = Waiting;
    std::exception_ptr Error;  // what the call raised in the GUI thread
  };
  struct TMessage {
    std::function<void()> Call;
    TSentCall* Sent = nullptr;  // null for a posted call
  };
  // What the loop took out under the lock, to run outside it.
  struct TTaken {
    TMessage Message;
    TTimer* Timer = nullptr;  // set for a timer; Handler is then a copy of its OnTimer
    TNotifyEvent Handler;
  };

  // A timer that can fire: enabled, with a period and a handler. One without a handler is
  // passed over, as if it did not exist, until a handler is assigned.
  static bool IsActive(const TTimer* timer);
  // With the lock held.
  bool HasMessageLocked(TTime limit) const;
  bool CanReceiveLocked() const;
  TTime NextDueLocked() const;
  void UpdateNextDueLocked();
  // Takes the next message due at `limit`: a posted call before any timer, then the timer
  // that has been due longest. False when there is none.
  bool Take(TTime limit, TTaken& taken);
  // GUI thread: waits until a message is pending (true), or until none can come or the
  // application is terminated (false).
  bool Wait();
  // Hands a blocking call's outcome back to its waiting worker.
  void Complete(TSentCall* sent, std::exception_ptr error);
  // Marks every queued blocking call dropped and asks the live threads to stop; with
  // `detach` the plain posted calls go too, and the application is forgotten. The dropped
  // calls are handed back to be destroyed outside the lock.
  std::deque<TMessage> ShutDown(bool detach);
  void SetManualClock(bool value);
  void AdvanceClock(std::chrono::milliseconds delta);

  std::atomic<TApplication*> FApplication;
  std::atomic<std::thread::id> FGuiThread;
  std::atomic<bool> FTerminated{false};

  mutable std::mutex FLock;
  std::condition_variable FWake;       // the GUI thread waits here for messages
  std::condition_variable FSent;       // workers wait here for their blocking calls
  std::deque<TMessage> FCalls;         // posted and sent calls, oldest first
  std::vector<TTimer*> FTimers;        // not owned; live timers, in creation order
  std::vector<TThreadLink*> FThreads;  // not owned; live thread objects
  int FWorkers = 0;                    // worker functions still running
  bool FDetached = false;              // the application is gone

  // Lock-free view for ProcessMessages' quick exit: how many calls are queued, and the
  // earliest due time of an enabled timer (as a count of clock ticks; kNever when none).
  static constexpr int64_t kNever = INT64_MAX;
  std::atomic<std::size_t> FCallCount{0};
  std::atomic<int64_t> FNextDue{kNever};
  // The manual clock: on while FManual; its time as a count of clock ticks.
  std::atomic<bool> FManual{false};
  std::atomic<int64_t> FManualNow{0};
};

// The application: title, start and end, the message loop and the exception hook.
//
// The GUI thread is the thread that created the application, or the last one that called
// Initialize. Only that thread runs messages: ProcessMessages, HandleMessage, WaitMessage
// and Run called in another thread do nothing and return at once, as a thread without a
// message queue of its own would.
//
// Order: posted calls run in posting order, before any timer; of the due timers, the one
// due longest fires first (the older timer on a tie).
//
// Waiting: HandleMessage and Run wait only while a message can still come, that is while a
// timer is enabled (with an interval and a handler) or a TThread's worker is still running.
// A plain std::thread that posts is not counted: post before the loop waits, or run the
// work in a TThread. Terminate, from any thread, ends every wait.
//
// Shutdown: Terminate and the destruction of the application both release every worker
// waiting in TThread::Synchronize (its call is dropped, not run), make later Synchronize calls
// return at once, and ask each live TThread whose OnDone has not started to stop. Plain
// posted calls survive Terminate (a loop that still runs handles them) and are dropped unrun
// when the application is destroyed.
class TApplication : public TComponent {
public:
  explicit TApplication(TComponent* owner);
  ~TApplication() override;
  const char* ClassName() const override { return "TApplication"; }

  // Prepares the application for running; called once by the program before its body.
  // The calling thread becomes the GUI thread.
  void Initialize();
  bool Initialized() const { return FInitialized; }
  bool IsGuiThread() const { return FQueue->IsGuiThread(); }

  const std::string& Title() const { return FTitle; }
  void SetTitle(const std::string& value) { FTitle = value; }

  // Queues a call for the GUI thread's loop; any thread. Calls run in posting order.
  void Post(std::function<void()> call) { FQueue->Post(std::move(call)); }

  // Handles messages until none is pending: every queued call (also those posted meanwhile)
  // and every timer that was due when the call began, so a timer fires at most once per
  // call. Never waits.
  void ProcessMessages();
  // Handles one message, waiting for one when none is pending (after calling OnIdle once).
  // True when a message was handled; false when none can come or the application is
  // terminated and none is pending.
  // With wait false it never waits: with nothing pending it calls OnIdle once and answers
  // false.
  bool HandleMessage(bool wait = true);
  // Waits until a message is pending without handling it. True when one is pending; false
  // when none can come or the application is terminated.
  bool WaitMessage();
  // Handles messages until the application is terminated or no message can come.
  void Run();

  // Asks the application to end; any thread. The loop leaves at its next turn, and the
  // shutdown rules in the class comment apply from now on.
  void Terminate();
  bool Terminated() const { return FQueue->Terminated(); }

  // Reports an exception that reached the top of an event: through OnException when set,
  // else a message box with the exception's message (caption: the title). The loop reports
  // exceptions of posted calls and timer handlers here and goes on.
  void HandleException(TObject* sender, const std::exception& e);
  TExceptionEvent OnException;
  // Called in the GUI thread when HandleMessage finds nothing to do, before it waits.
  TNotifyEvent OnIdle;

  // Test seam for timers: a clock that stands still. While it is on, time moves only through
  // AdvanceClock, and a loop that would wait for a timer jumps the clock to that timer's due
  // time instead. Switching the clock restarts every timer's period.
  void SetManualClock(bool value) { FQueue->SetManualClock(value); }
  void AdvanceClock(int milliseconds) {
    FQueue->AdvanceClock(std::chrono::milliseconds(milliseconds));
  }

  // For TTimer and TThread: the shared part of the application.
  const std::shared_ptr<TMessageQueue>& Queue() const { return FQueue; }

private:
  // Runs a message taken from the queue, outside the lock.
  void Dispatch(TMessageQueue::TTaken& taken);
  // Takes and runs one message due at `limit`; false when there is none.
  bool HandleOne(TMessageQueue::TTime limit);

  std::shared_ptr<TMessageQueue> FQueue;
  std::string FTitle;
  bool FInitialized = false;
};

// The application object, created when the Forms unit starts and freed when it finalises.
extern TApplication* Application;
TUnit& FormsUnit();

}  // namespace qv
