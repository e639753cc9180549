// Worker threads: start, the end handed over to the GUI thread, stop and destruction; and
// the critical section.
#include "framework/Threads.h"

#include <cassert>

namespace qv {

// --- TCriticalSection -----------------------------------------------------------------------

void TCriticalSection::Enter() {
  assert(FOwner.load() != std::this_thread::get_id());  // not recursive
  FMutex.lock();
  FOwner.store(std::this_thread::get_id());
}

bool TCriticalSection::TryEnter() {
  assert(FOwner.load() != std::this_thread::get_id());
  if (!FMutex.try_lock()) return false;
  FOwner.store(std::this_thread::get_id());
  return true;
}

void TCriticalSection::Leave() {
  assert(FOwner.load() == std::this_thread::get_id());
  FOwner.store(std::thread::id());
  FMutex.unlock();
}

// --- TThread --------------------------------------------------------------------------------

TThread::TThread(TCreateKey) {
  if (Application) FQueue = Application->Queue();
  if (FQueue)
    FQueue->AddThread(FLink);
  else
    RequestStop();  // no GUI thread will ever hear of it
}

TThread::~TThread() {
  StopAndWait();
  if (FQueue) FQueue->RemoveThread(FLink);
}

void TThread::Start() {
  std::lock_guard lock(FStartLock);
  if (FQueue) FQueue->WorkerStarted();
  try {
    FThread = std::thread([this] { Execute(); });
  } catch (...) {  // no thread: undo the count, and Create frees the object
    if (FQueue) FQueue->WorkerEnded();
    throw;
  }
}

void TThread::StopAndWait() {
  if (!FThread.joinable()) return;
  // The worker deleting its own object (FreeWhenDone), or an OnDone handler deleting it
  // while the worker waits for that handler: the worker no longer touches the object, and
  // joining would wait for ourselves.
  if (FThread.get_id() == std::this_thread::get_id() || (FQueue && FQueue->DoneDelivered(FLink))) {
    FThread.detach();
    return;
  }
  // Run has not returned, or its OnDone is still to come and now never will: either way
  // the thread counts as stopped.
  RequestStop();
  if (FQueue) FQueue->CancelSends(FLink);
  FThread.join();
}

bool TThread::Synchronize(const std::function<void()>& call) {
  if (!FQueue) return false;
  if (FQueue->IsGuiThread()) {
    call();
    return true;
  }
  return FQueue->Send(call, FLink);
}

void TThread::ReportRunError(const std::exception& e) {
  try {
    Synchronize([this, &e] {
      if (TApplication* app = FQueue->Application()) app->HandleException(this, e);
    });
  } catch (...) {  // OnException raised while reporting: nobody is left to tell
  }
}

void TThread::Execute() {
  { std::lock_guard wait(FStartLock); }  // Start has set FThread
  // Kept here: the object, and its reference, may be gone before the worker ends.
  const std::shared_ptr<TMessageQueue> queue = FQueue;
  try {
    Run();
  } catch (const std::exception& e) {  // a worker has nobody above it: report, then end as usual
    ReportRunError(e);
  } catch (...) {  // nothing to report it with; ending normally beats ending the process
  }
  FFinished.store(true);
  const bool freeSelf = FFreeWhenDone.load();
  try {
    Synchronize([this, &queue] {
      queue->MarkDoneDelivered(FLink);
      if (TNotifyEvent handler = OnDone.Get()) {
        try {
          handler(this);                     // may delete the object: nothing below touches it
        } catch (const std::exception& e) {  // an event's failure, reported in the GUI thread
          if (TApplication* app = queue->Application()) app->HandleException(this, e);
        }
      }
    });
  } catch (...) {  // OnException raised while reporting OnDone's failure: nobody is left to tell
  }
  // From here on the object may be gone unless it is ours to free (see the class comment).
  if (freeSelf) delete this;
  if (queue) queue->WorkerEnded();
}

}  // namespace qv
