// Worker threads and the lock they share with the GUI thread: TThread runs its body on a
// std::thread and hands its end over to the GUI thread through the application's loop
// (framework/Forms.h); TCriticalSection guards data both sides touch. The analysis's
// completion thread is a TThread.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <type_traits>
#include <utility>

#include "framework/Classes.h"
#include "framework/Forms.h"

namespace qv {

// A lock for data that the GUI thread and a worker both touch. Not recursive: entering it
// again from the thread that holds it is a programming error (an assertion in debug builds,
// a deadlock otherwise). Also usable with std::lock_guard (lock/unlock).
class TCriticalSection {
public:
  TCriticalSection() = default;
  TCriticalSection(const TCriticalSection&) = delete;
  TCriticalSection& operator=(const TCriticalSection&) = delete;

  void Enter();
  // False, without waiting, when another thread holds the section.
  bool TryEnter();
  // Only the thread that entered may leave.
  void Leave();

  void lock() { Enter(); }
  void unlock() { Leave(); }

private:
  std::mutex FMutex;
  std::atomic<std::thread::id> FOwner;  // for the debug checks; default id when free
};

// Holds a critical section for its scope.
class TCriticalSectionGuard {
public:
  explicit TCriticalSectionGuard(TCriticalSection& section) : FSection(section) {
    FSection.Enter();
  }
  ~TCriticalSectionGuard() { FSection.Leave(); }
  TCriticalSectionGuard(const TCriticalSectionGuard&) = delete;
  TCriticalSectionGuard& operator=(const TCriticalSectionGuard&) = delete;

private:
  TCriticalSection& FSection;
};

// An event handler that one thread may set or clear while another looks it up: both take a
// lock, so a lookup sees either the old handler or the new one, whole. Assign a handler or
// nullptr as to any event; Get returns a copy to call outside the lock.
template <class F>
class TLockedEvent {
public:
  TLockedEvent& operator=(F handler) {
    std::lock_guard lock(FLock);
    FHandler = std::move(handler);
    return *this;
  }
  TLockedEvent& operator=(std::nullptr_t) { return *this = F(); }
  F Get() const {
    std::lock_guard lock(FLock);
    return FHandler;
  }
  explicit operator bool() const { return static_cast<bool>(Get()); }

private:
  mutable std::mutex FLock;
  F FHandler;
};

// A worker thread with a body (Run), a stop request it polls, and an end that the GUI thread
// hears of (OnDone).
//
// Start: threads are made only by Create<T>(args...), which constructs the whole object and
// then starts the worker, so Run never sees a derived part that is not built yet, whatever
// the depth of derivation. A derived constructor takes a TCreateKey first and passes it to
// TThread; only Create can make one, so a thread cannot be built without being started.
//
// End: after Run returns, the worker makes a blocking call to the GUI thread (Synchronize),
// in which OnDone is looked up and, when set, called with the thread as sender. A handler
// cleared before that moment is not called. With FreeWhenDone the worker then deletes the
// object; nobody else may touch it once OnDone has run (or could not be delivered). The
// worker never touches the object after its OnDone has started unless FreeWhenDone is set,
// so an OnDone handler may delete a thread that is not FreeWhenDone. FreeWhenDone must be
// set before Run returns.
//
// Stop: RequestStop only sets a flag; Run must poll StopRequested, since nothing else ends
// it. Destroying the object before its OnDone has started requests the stop, drops the
// pending OnDone and waits for the worker; a derived class whose Run uses its own fields
// calls StopAndWait first thing in its destructor, since the fields are gone by the time
// TThread's destructor runs. Destroy a thread in the GUI thread, or while no loop runs: a
// loop in another thread could be running its OnDone meanwhile. Of the thread's own
// Synchronize calls only OnDone may destroy it; inside any other, the worker is waiting
// for the very call that would wait for it.
//
// Shutdown (framework/Forms.h): when the application terminates or is destroyed, a worker
// waiting in Synchronize is released with its call unrun, later Synchronize calls return at
// once, and a thread whose OnDone has not started is asked to stop. So a thread whose
// OnDone was not delivered always ends with StopRequested set, also one created after
// shutdown or without an application; the GUI thread then never saw its results.
//
// Errors: an exception (std::exception) leaving Run is caught in the worker and reported
// through the application's HandleException in the GUI thread, by Synchronize; after
// shutdown the report is dropped. Other exceptions are dropped. Either way OnDone follows.
class TThread : public TObject {
protected:
  // Proof that the object is being made by Create.
  class TCreateKey {
    friend class TThread;
    TCreateKey() = default;
  };

public:
  // Constructs T(key, args...) and starts its worker. With FreeWhenDone set by the
  // constructor, the pointer is only good until the GUI thread runs the thread's OnDone,
  // and not at all after shutdown or without an application (nothing then holds the
  // worker back from freeing the object at once).
  template <class T, class... A>
  static T* Create(A&&... args) {
    static_assert(std::is_base_of_v<TThread, T>, "Create makes TThread descendants");
    std::unique_ptr<T> thread(new T(TCreateKey(), std::forward<A>(args)...));
    static_cast<TThread*>(thread.get())->Start();
    return thread.release();
  }

  // StopAndWait (see Stop above).
  ~TThread() override;
  TThread(const TThread&) = delete;
  TThread& operator=(const TThread&) = delete;
  const char* ClassName() const override { return "TThread"; }

  // Any thread.
  void RequestStop() { FLink.StopRequested.store(true); }
  bool StopRequested() const { return FLink.StopRequested.load(); }
  // Run has returned (or raised).
  bool Finished() const { return FFinished.load(); }
  bool FreeWhenDone() const { return FFreeWhenDone.load(); }
  void SetFreeWhenDone(bool value) { FFreeWhenDone.store(value); }

  TLockedEvent<TNotifyEvent> OnDone;

  // Runs `call` in the GUI thread and waits until it has run; from the GUI thread itself,
  // runs it directly. True when it ran; an exception it raised is thrown here again. False,
  // with the call unrun, after shutdown or without an application, or when the thread
  // object is being destroyed.
  bool Synchronize(const std::function<void()>& call);

protected:
  explicit TThread(TCreateKey key);

  // The body, run once in the worker.
  virtual void Run() = 0;
  // Unless OnDone has started: requests the stop, drops a pending Synchronize and waits for
  // the worker. Safe to call more than once. Called by the worker deleting its own object
  // (FreeWhenDone) or from OnDone, it only lets the worker end alone; Run itself must not
  // call it.
  void StopAndWait();

private:
  void Start();
  void Execute();
  void ReportRunError(const std::exception& e);

  std::shared_ptr<TMessageQueue> FQueue;  // null without an application
  TMessageQueue::TThreadLink FLink;       // holds the stop flag
  std::atomic<bool> FFinished{false};
  std::atomic<bool> FFreeWhenDone{false};
  // Held by Start until FThread is set, so that a worker that deletes itself cannot look at
  // FThread before that.
  std::mutex FStartLock;
  std::thread FThread;
};

}  // namespace qv
