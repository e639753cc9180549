// Timers: when they fire, in which thread, and what changing their settings does. Most cases
// run on the application's manual clock, so that every due time is exact; one runs on the
// steady clock and lets HandleMessage wait for real.
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "framework/ExtCtrls.h"
#include "framework/Forms.h"
#include "tests/support/TestApplication.h"

namespace qv {
namespace {

using test::THangGuard;
using test::TTestApplication;

class Timers : public testing::Test {
protected:
  void SetUp() override { App->SetManualClock(true); }
  // Moves the manual clock; Elapsed counts the milliseconds since the test began.
  void Advance(int milliseconds) {
    App->AdvanceClock(milliseconds);
    Elapsed += milliseconds;
  }
  TNotifyEvent Logger(const char* name) {
    return [this, name](TObject*) { Log.push_back(name); };
  }

  TTestApplication App;
  THangGuard Guard;
  int Elapsed = 0;
  std::vector<std::string> Log;
};

TEST_F(Timers, FireOnlyInsideTheLoopOnceTheirPeriodHasPassed) {
  TTimer timer(nullptr);
  timer.SetInterval(100);
  timer.OnTimer = Logger("t");
  Advance(99);
  App->ProcessMessages();
  EXPECT_TRUE(Log.empty());
  Advance(1);
  EXPECT_TRUE(Log.empty());  // due, but only the loop fires it
  App->ProcessMessages();
  EXPECT_EQ(Log.size(), 1u);
  App->ProcessMessages();
  EXPECT_EQ(Log.size(), 1u);
  Advance(100);
  App->ProcessMessages();
  EXPECT_EQ(Log.size(), 2u);
}

TEST_F(Timers, ALateLoopFiresOnceAndThePeriodRestartsFromThatFiring) {
  TTimer timer(nullptr);
  timer.SetInterval(10);
  timer.OnTimer = Logger("t");
  Advance(35);  // three periods missed
  App->ProcessMessages();
  EXPECT_EQ(Log.size(), 1u);
  Advance(9);
  App->ProcessMessages();
  EXPECT_EQ(Log.size(), 1u);
  Advance(1);
  App->ProcessMessages();
  EXPECT_EQ(Log.size(), 2u);
}

TEST_F(Timers, ChangingASettingRestartsThePeriodSettingTheSameValueDoesNot) {
  struct TCase {
    const char* Name;
    std::function<void(TTimer&)> Change;  // applied 60 ms after the start
    int FirstFiring;                      // ms after the start; -1: not within a second
  };
  const TCase cases[] = {
      {"no change", [](TTimer&) {}, 100},
      {"the same interval", [](TTimer& t) { t.SetInterval(100); }, 100},
      {"enabled while enabled", [](TTimer& t) { t.SetEnabled(true); }, 100},
      {"a new interval", [](TTimer& t) { t.SetInterval(90); }, 150},
      {"disabled, enabled",
       [](TTimer& t) {
         t.SetEnabled(false);
         t.SetEnabled(true);
       },
       160},
      {"disabled, new interval, enabled",
       [](TTimer& t) {
         t.SetEnabled(false);
         t.SetInterval(50);
         t.SetEnabled(true);
       },
       110},
      {"disabled", [](TTimer& t) { t.SetEnabled(false); }, -1},
      {"interval 0", [](TTimer& t) { t.SetInterval(0); }, -1},
      {"a negative interval", [](TTimer& t) { t.SetInterval(-5); }, -1},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    Elapsed = 0;
    TTimer timer(nullptr);
    timer.SetInterval(100);
    int firstFiring = -1;
    timer.OnTimer = [&](TObject*) {
      if (firstFiring < 0) firstFiring = Elapsed;
    };
    Advance(60);
    c.Change(timer);
    while (Elapsed < 1000 && firstFiring < 0) {
      Advance(1);
      App->ProcessMessages();
    }
    EXPECT_EQ(firstFiring, c.FirstFiring);
  }
}

TEST_F(Timers, HandleMessageWaitsForTheEarliestTimerAndTiesGoToTheOlder) {
  TTimer a(nullptr), b(nullptr);
  a.SetInterval(30);
  a.OnTimer = Logger("a");
  b.SetInterval(20);
  b.OnTimer = Logger("b");
  // b at 20, 40, 60; a at 30, 60: both are due at 60, a was created first.
  for (int i = 0; i < 5; ++i) ASSERT_TRUE(App->HandleMessage());
  EXPECT_THAT(Log, testing::ElementsAre("b", "a", "b", "a", "b"));
}

TEST_F(Timers, PostedCallsGoBeforeDueTimers) {
  TTimer timer(nullptr);
  timer.SetInterval(10);
  timer.OnTimer = Logger("timer");
  Advance(10);
  App->Post([&] { Log.push_back("call"); });
  App->ProcessMessages();
  EXPECT_THAT(Log, testing::ElementsAre("call", "timer"));
}

TEST_F(Timers, ProcessMessagesFiresATimerAtMostOnceEvenWhenItsHandlerMakesItDueAgain) {
  TTimer timer(nullptr);
  timer.SetInterval(10);
  timer.OnTimer = [&](TObject*) {
    Log.push_back("t");
    Advance(50);  // a handler slower than the period
  };
  Advance(10);
  App->ProcessMessages();
  EXPECT_EQ(Log.size(), 1u);
}

TEST_F(Timers, AHandlerCanFreeOrDisableTimersThatAreDueInTheSameTurn) {
  TTimer a(nullptr);  // created in this order: a, b, c, d
  auto b = std::make_unique<TTimer>(nullptr);
  TTimer c(nullptr);
  auto* d = new TTimer(nullptr);
  for (TTimer* t : {&a, b.get(), &c, d}) t->SetInterval(10);
  a.OnTimer = [&](TObject*) {
    Log.push_back("a");
    b.reset();
    c.SetEnabled(false);
  };
  b->OnTimer = Logger("b");
  c.OnTimer = Logger("c");
  d->OnTimer = [&, d](TObject* sender) {
    EXPECT_EQ(sender, d);
    Log.push_back("d");
    delete d;  // its own timer, inside its handler
  };
  // All four are due at 10; a goes first.
  Advance(10);
  App->ProcessMessages();
  Advance(10);
  App->ProcessMessages();
  EXPECT_THAT(Log, testing::ElementsAre("a", "d", "a"));
}

TEST_F(Timers, AHandlerThatRaisesIsReportedAndTheTimerKeepsFiring) {
  TTimer timer(nullptr);
  timer.SetInterval(10);
  timer.OnTimer = [](TObject*) { throw std::runtime_error("tick failed"); };
  App->OnException = [&](TObject* sender, const std::exception& e) {
    EXPECT_EQ(sender, &timer);
    Log.push_back(e.what());
  };
  ASSERT_TRUE(App->HandleMessage());
  ASSERT_TRUE(App->HandleMessage());
  EXPECT_THAT(Log, testing::ElementsAre("tick failed", "tick failed"));
}

TEST_F(Timers, FireInTheGuiThreadOnlyWhereverTheyWereCreated) {
  std::unique_ptr<TTimer> timer;
  std::thread::id firedIn;
  std::thread creator([&] {
    timer = std::make_unique<TTimer>(nullptr);
    timer->SetInterval(10);
    timer->OnTimer = [&](TObject*) { firedIn = std::this_thread::get_id(); };
  });
  creator.join();
  Advance(10);
  std::thread other([&] { App->ProcessMessages(); });
  other.join();
  EXPECT_EQ(firedIn, std::thread::id());
  App->ProcessMessages();
  EXPECT_EQ(firedIn, std::this_thread::get_id());
}

TEST_F(Timers, ATimerOutlivingItsApplicationNeverFiresElsewhere) {
  TTimer timer(nullptr);
  timer.SetInterval(10);
  timer.OnTimer = Logger("orphan");
  App.Destroy();
  timer.SetInterval(5);  // still safe to use and to free
  TTestApplication next;
  next->SetManualClock(true);
  EXPECT_FALSE(next->HandleMessage());  // not in the new registry: nothing can come
  EXPECT_TRUE(Log.empty());
}

TEST(TimersOnTheSteadyClock, HandleMessageWaitsUntilATimerIsDue) {
  TTestApplication app;
  THangGuard guard;
  TTimer quick(nullptr), disabled(nullptr);
  std::vector<std::string> log;
  quick.SetInterval(1);
  quick.OnTimer = [&](TObject*) { log.push_back("quick"); };
  disabled.SetInterval(1);
  disabled.SetEnabled(false);
  disabled.OnTimer = [&](TObject*) { log.push_back("disabled"); };
  for (int i = 0; i < 3; ++i) ASSERT_TRUE(app->HandleMessage());
  EXPECT_THAT(log, testing::ElementsAre("quick", "quick", "quick"));
}

}  // namespace
}  // namespace qv
