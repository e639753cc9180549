// Worker threads: their body, the hand-over of their end to the GUI thread, stopping,
// freeing, blocking calls and what shutdown does to them; and the critical section. Every
// wait is on the code's own events (the loop, latches, futures); none is timed.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <future>
#include <latch>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "framework/Forms.h"
#include "framework/Threads.h"
#include "tests/support/TestApplication.h"

namespace qv {
namespace {

using test::THangGuard;
using test::TTestApplication;

// A thread whose body is a function, set up in its constructor as a real thread class
// would be, and which tells how it ended: its destructor fulfils Freed with the
// StopRequested flag it found.
class TProbeThread : public TThread {
public:
  using TBody = std::function<void(TProbeThread&)>;
  struct TSetup {
    bool FreeWhenDone = false;
    std::promise<bool>* Freed = nullptr;
    TNotifyEvent OnDone = nullptr;
  };
  TProbeThread(TCreateKey key, TBody body, TSetup setup)
      : TThread(key), FBody(std::move(body)), FFreed(setup.Freed) {
    SetFreeWhenDone(setup.FreeWhenDone);
    OnDone = std::move(setup.OnDone);
  }
  ~TProbeThread() override {
    StopAndWait();  // FBody is ours: the worker must be done with it first
    if (FFreed) FFreed->set_value(StopRequested());
  }

protected:
  void Run() override { FBody(*this); }

private:
  TBody FBody;
  std::promise<bool>* FFreed;
};

TProbeThread* StartProbe(TProbeThread::TBody body, TProbeThread::TSetup setup = {}) {
  return TThread::Create<TProbeThread>(std::move(body), std::move(setup));
}

class Threads : public testing::Test {
protected:
  TNotifyEvent Logger(const char* name) {
    return [this, name](TObject*) { Log.push_back(name); };
  }

  TTestApplication App;
  THangGuard Guard;
  std::vector<std::string> Log;  // touched by the GUI thread only
};

TEST_F(Threads, RunRunsInTheWorkerAndOnDoneFollowsInTheGuiThread) {
  std::thread::id worker, doneIn;
  TObject* doneSender = nullptr;
  std::unique_ptr<TProbeThread> thread(
      StartProbe([&](TProbeThread&) { worker = std::this_thread::get_id(); }));
  thread->OnDone = [&](TObject* sender) {
    doneIn = std::this_thread::get_id();
    doneSender = sender;
  };
  App->Run();  // returns once the worker has ended and its OnDone ran
  EXPECT_NE(worker, std::thread::id());
  EXPECT_NE(worker, std::this_thread::get_id());
  EXPECT_EQ(doneIn, std::this_thread::get_id());
  EXPECT_EQ(doneSender, thread.get());
  EXPECT_TRUE(thread->Finished());
  EXPECT_FALSE(thread->StopRequested());
}

TEST_F(Threads, HandleMessageWaitsForARunningThreadToHandOver) {
  std::latch release(1);
  std::unique_ptr<TProbeThread> thread(StartProbe([&](TProbeThread&) { release.wait(); }));
  thread->OnDone = [&](TObject*) { Log.push_back("done"); };
  App->OnIdle = [&](TObject*) { release.count_down(); };
  EXPECT_TRUE(App->HandleMessage());  // waited for the thread: nothing else could come
  EXPECT_THAT(Log, testing::ElementsAre("done"));
}

TEST_F(Threads, OnDoneIsLookedUpWhenItRunsSoAClearedHandlerIsNotCalled) {
  std::unique_ptr<TProbeThread> thread(StartProbe([](TProbeThread&) {}));
  thread->OnDone = [&](TObject*) { Log.push_back("done"); };
  ASSERT_TRUE(App->WaitMessage());  // the worker is now waiting for its OnDone call
  thread->OnDone = nullptr;
  App->Run();
  EXPECT_TRUE(Log.empty());
  EXPECT_TRUE(thread->Finished());
}

TEST_F(Threads, RequestStopEndsARunThatPollsIt) {
  std::latch started(1);
  std::unique_ptr<TProbeThread> thread(StartProbe([&](TProbeThread& self) {
    started.count_down();
    while (!self.StopRequested()) std::this_thread::yield();
  }));
  thread->OnDone = [&](TObject*) { Log.push_back("done"); };
  started.wait();
  EXPECT_FALSE(thread->Finished());
  thread->RequestStop();
  App->Run();
  EXPECT_TRUE(thread->Finished());
  EXPECT_THAT(Log, testing::ElementsAre("done"));  // a stopped thread still hands over
}

TEST_F(Threads, FreeWhenDoneFreesTheObjectAfterItsOnDone) {
  std::promise<bool> freed;
  std::future<bool> stopRequested = freed.get_future();
  StartProbe([](TProbeThread&) {}, {.FreeWhenDone = true, .Freed = &freed, .OnDone = [&](TObject*) {
                                      EXPECT_EQ(stopRequested.wait_for(std::chrono::seconds(0)),
                                                std::future_status::timeout);  // not freed yet
                                      Log.push_back("done");
                                    }});
  App->Run();
  EXPECT_THAT(Log, testing::ElementsAre("done"));
  EXPECT_FALSE(stopRequested.get());  // freed after a normal end: results were handed over
}

TEST_F(Threads, DestroyingARunningThreadStopsItAndWaitsForIt) {
  std::latch started(1);
  std::atomic<bool> left{false};
  std::promise<bool> freed;
  std::future<bool> stopRequested = freed.get_future();
  auto* thread = StartProbe(
      [&](TProbeThread& self) {
        started.count_down();
        while (!self.StopRequested()) std::this_thread::yield();
        left = true;
      },
      {.Freed = &freed, .OnDone = Logger("done")});
  started.wait();
  delete thread;
  EXPECT_TRUE(left);  // joined: Run had returned before the object went
  EXPECT_TRUE(stopRequested.get());
  App->Run();
  EXPECT_TRUE(Log.empty());
}

TEST_F(Threads, DestroyingAThreadWhoseOnDoneIsQueuedDropsItAndCountsAsStopped) {
  std::promise<bool> freed;
  std::future<bool> stopRequested = freed.get_future();
  auto* thread = StartProbe([](TProbeThread&) {}, {.Freed = &freed, .OnDone = Logger("done")});
  ASSERT_TRUE(App->WaitMessage());
  delete thread;
  EXPECT_TRUE(stopRequested.get());
  EXPECT_FALSE(App->HandleMessage());  // nothing left: the call was dropped, the worker ended
  EXPECT_TRUE(Log.empty());
}

TEST_F(Threads, AnOnDoneHandlerMayFreeItsThread) {
  std::promise<bool> freed;
  std::future<bool> stopRequested = freed.get_future();
  auto* thread = StartProbe([](TProbeThread&) {}, {.Freed = &freed});
  thread->OnDone = [&, thread](TObject* sender) {
    EXPECT_EQ(sender, thread);
    Log.push_back("done");
    delete sender;
  };
  App->Run();
  EXPECT_THAT(Log, testing::ElementsAre("done"));
  EXPECT_FALSE(stopRequested.get());
}

TEST_F(Threads, SynchronizeRunsInTheGuiThreadAndBringsExceptionsBack) {
  const std::thread::id gui = std::this_thread::get_id();
  std::vector<std::string> workerLog;  // the worker's own
  std::unique_ptr<TProbeThread> thread(StartProbe(
      [&](TProbeThread& self) {
        bool ran = self.Synchronize(
            [&] { Log.push_back(std::this_thread::get_id() == gui ? "in gui" : "elsewhere"); });
        workerLog.push_back(ran ? "ran" : "dropped");
        try {
          self.Synchronize([] { throw std::runtime_error("gui side failed"); });
        } catch (const std::runtime_error& e) {
          workerLog.push_back(e.what());
        }
      },
      {.OnDone = Logger("done")}));
  App->Run();
  EXPECT_THAT(Log, testing::ElementsAre("in gui", "done"));
  EXPECT_THAT(workerLog, testing::ElementsAre("ran", "gui side failed"));
}

TEST_F(Threads, SynchronizeFromTheGuiThreadRunsTheCallDirectly) {
  std::latch release(1);
  std::unique_ptr<TProbeThread> thread(StartProbe([&](TProbeThread&) { release.wait(); }));
  EXPECT_TRUE(thread->Synchronize([&] { Log.push_back("direct"); }));
  EXPECT_THAT(Log, testing::ElementsAre("direct"));
  release.count_down();
  App->Run();
}

// Shutdown: a worker waiting in Synchronize is released with its call unrun, by Terminate or
// by the application's destruction; later calls return at once.
TEST_F(Threads, ShutdownReleasesAWorkerWaitingInSynchronize) {
  for (bool destroy : {false, true}) {
    SCOPED_TRACE(destroy ? "destroyed" : "terminated");
    TTestApplication app;
    std::promise<bool> synchronized;
    std::future<bool> result = synchronized.get_future();
    std::atomic<bool> ran{false};
    std::unique_ptr<TProbeThread> thread(StartProbe([&](TProbeThread& self) {
      synchronized.set_value(self.Synchronize([&] { ran = true; }));
    }));
    thread->OnDone = [&](TObject*) { ran = true; };
    ASSERT_TRUE(app->WaitMessage());  // the call is queued and its worker waits
    if (destroy)
      app.Destroy();
    else
      app->Terminate();
    EXPECT_FALSE(result.get());
    thread.reset();
    EXPECT_FALSE(ran);
  }
}

TEST_F(Threads, AThreadStartedAfterShutdownIsStoppedAndItsCallsReturnAtOnce) {
  App->Terminate();
  std::promise<bool> freed;
  std::future<bool> stopRequested = freed.get_future();
  std::promise<bool> synchronized;
  std::future<bool> result = synchronized.get_future();
  StartProbe([&](TProbeThread& self) { synchronized.set_value(self.Synchronize([] {})); },
             {.FreeWhenDone = true, .Freed = &freed, .OnDone = Logger("done")});
  EXPECT_FALSE(result.get());
  EXPECT_TRUE(stopRequested.get());  // freed by itself, without a hand-over
  App->ProcessMessages();
  EXPECT_TRUE(Log.empty());
}

TEST_F(Threads, TerminateStopsARunningThreadThatHasNotHandedOver) {
  std::latch started(1);
  std::promise<bool> freed;
  std::future<bool> stopRequested = freed.get_future();
  StartProbe(
      [&](TProbeThread& self) {
        started.count_down();
        while (!self.StopRequested()) std::this_thread::yield();
      },
      {.FreeWhenDone = true, .Freed = &freed});
  started.wait();
  App->Terminate();
  EXPECT_TRUE(stopRequested.get());
}

TEST_F(Threads, WithoutAnApplicationAThreadRunsButNeverHandsOver) {
  App.Destroy();
  std::promise<bool> freed;
  std::future<bool> stopRequested = freed.get_future();
  std::atomic<bool> ran{false};
  std::promise<bool> synchronized;
  std::future<bool> result = synchronized.get_future();
  StartProbe(
      [&](TProbeThread& self) {
        ran = true;
        synchronized.set_value(self.Synchronize([] {}));
      },
      {.FreeWhenDone = true, .Freed = &freed});
  EXPECT_FALSE(result.get());
  EXPECT_TRUE(stopRequested.get());
  EXPECT_TRUE(ran);
}

TEST_F(Threads, AnExceptionLeavingRunIsReportedInTheGuiThreadBeforeOnDone) {
  std::thread::id gui = std::this_thread::get_id();
  std::unique_ptr<TProbeThread> thread(
      StartProbe([](TProbeThread&) { throw std::runtime_error("body failed"); }));
  App->OnException = [&](TObject* sender, const std::exception& e) {
    EXPECT_EQ(sender, thread.get());
    EXPECT_EQ(std::this_thread::get_id(), gui);
    Log.push_back(e.what());
  };
  thread->OnDone = [&](TObject*) { Log.push_back("done"); };
  App->Run();
  EXPECT_THAT(Log, testing::ElementsAre("body failed", "done"));
}

TEST_F(Threads, ManyThreadsFinishingTogetherEachHandOverOnce) {
  constexpr int kThreads = 16;
  std::latch go(1);
  std::vector<int> doneCount(kThreads, 0);
  std::vector<std::promise<bool>> freed(kThreads);
  for (int i = 0; i < kThreads; ++i) {
    StartProbe(
        [&](TProbeThread&) { go.wait(); },
        {.FreeWhenDone = true, .Freed = &freed[i], .OnDone = [&, i](TObject*) { ++doneCount[i]; }});
  }
  go.count_down();
  App->Run();
  for (int i = 0; i < kThreads; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(doneCount[i], 1);
    EXPECT_FALSE(freed[i].get_future().get());
  }
}

// ---------------------------------------------------------------------------------------

TEST(TCriticalSection, KeepsOtherThreadsOutUntilLeft) {
  TCriticalSection section;
  auto tryFromAnotherThread = [&] {
    bool entered = false;
    std::thread other([&] {
      entered = section.TryEnter();
      if (entered) section.Leave();
    });
    other.join();
    return entered;
  };
  section.Enter();
  EXPECT_FALSE(tryFromAnotherThread());
  section.Leave();
  EXPECT_TRUE(tryFromAnotherThread());
  try {
    TCriticalSectionGuard guard(section);
    EXPECT_FALSE(tryFromAnotherThread());
    throw std::runtime_error("leave on the way out");
  } catch (const std::runtime_error&) {
  }
  EXPECT_TRUE(tryFromAnotherThread());
}

TEST(TCriticalSection, SerialisesUpdatesFromManyThreads) {
  TCriticalSection section;
  int counter = 0;  // plain: a lock that let two threads in would show as a lost update
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&] {
      for (int i = 0; i < 10000; ++i) {
        TCriticalSectionGuard guard(section);
        counter = counter + 1;
      }
    });
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(counter, 40000);
}

}  // namespace
}  // namespace qv
