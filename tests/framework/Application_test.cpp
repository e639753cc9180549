// The application object and its message loop, clipboard format registration and the
// message box seam.
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "framework/Clipbrd.h"
#include "framework/Dialogs.h"
#include "framework/ExtCtrls.h"
#include "framework/Forms.h"
#include "tests/support/TestApplication.h"

namespace qv {
namespace {

using test::THangGuard;
using test::TTestApplication;

TEST(ClipboardFormats, SameNameSameIdentifierFromC000) {
  uint16_t first = RegisterClipboardFormat("Vornish Test Format One");
  uint16_t second = RegisterClipboardFormat("Vornish Test Format Two");
  EXPECT_GE(first, 0xC000);
  EXPECT_NE(first, second);
  EXPECT_EQ(RegisterClipboardFormat("VORNISH TEST FORMAT ONE"), first);
  EXPECT_EQ(ClipboardFormatName(second), "Vornish Test Format Two");
  EXPECT_EQ(ClipboardFormatName(1), "");
  EXPECT_EQ(RegisterClipboardFormat(""), 0);
}

// Installs a recording handler for the test's lifetime and restores the previous one.
class MessageBoxes : public testing::Test {
protected:
  void SetUp() override {
    FPrevious = SetMessageBoxHandler([this](const std::string& text, const std::string& caption,
                                            unsigned flags) {
      Shown.push_back(caption + "|" + text);
      return DefaultMessageBoxResult(flags);
    });
  }
  void TearDown() override { SetMessageBoxHandler(FPrevious); }
  std::vector<std::string> Shown;

private:
  TMessageBoxHandler FPrevious;
};

TEST_F(MessageBoxes, HandlerSeesEveryBoxAndDefaultsFollowTheButtons) {
  EXPECT_EQ(MessageBox("Continue?", "Question", MB_YESNO), IDYES);
  EXPECT_EQ(MessageBox("Continue?", "Question", MB_YESNO | MB_DEFBUTTON2), IDNO);
  EXPECT_EQ(MessageBox("Save?", "Question", MB_OKCANCEL | MB_DEFBUTTON2), IDCANCEL);
  EXPECT_EQ(MessageBox("Done", "Info", MB_OK | MB_ICONINFORMATION), IDOK);
  EXPECT_THAT(Shown, testing::ElementsAre("Question|Continue?", "Question|Continue?",
                                          "Question|Save?", "Info|Done"));
}

TEST_F(MessageBoxes, ApplicationReportsExceptionsThroughItsHookOrABox) {
  ASSERT_NE(Application, nullptr);  // created when the Forms unit started
  std::string saved = Application->Title();
  Application->SetTitle("Probe");
  Application->HandleException(nullptr, std::runtime_error("went wrong"));
  std::string seen;
  Application->OnException = [&](TObject*, const std::exception& e) { seen = e.what(); };
  Application->HandleException(nullptr, std::runtime_error("hooked"));
  Application->OnException = nullptr;
  Application->SetTitle(saved);
  EXPECT_THAT(Shown, testing::ElementsAre("Probe|went wrong"));
  EXPECT_EQ(seen, "hooked");
}

TEST(MessageBoxDeathTest, DefaultHandlerPrintsCaptionAndTextOnStderr) {
  EXPECT_EXIT(
      {
        SetMessageBoxHandler(nullptr);
        int answer = MessageBox("Lexer file is broken", "Caption", MB_YESNO);
        std::_Exit(answer == IDYES ? 0 : 1);
      },
      testing::ExitedWithCode(0), "^Caption\nLexer file is broken\n$");
}

// ---------------------------------------------------------------------------------------
// The message loop. Each test runs on an application of its own, installed as Application,
// so that terminating or destroying it leaves the program's application alone.

class MessageLoop : public testing::Test {
protected:
  TTestApplication App;
  THangGuard Guard;
  std::vector<std::string> Log;  // touched by the GUI thread only
};

TEST_F(MessageLoop, ProcessMessagesRunsCallsInPostingOrderAlsoThosePostedMeanwhile) {
  App->Post([&] {
    Log.push_back("a");
    App->Post([&] { Log.push_back("c"); });
  });
  App->Post([&] { Log.push_back("b"); });
  EXPECT_TRUE(Log.empty());  // nothing runs outside the loop
  App->ProcessMessages();
  EXPECT_THAT(Log, testing::ElementsAre("a", "b", "c"));
  App->ProcessMessages();
  EXPECT_EQ(Log.size(), 3u);
}

TEST_F(MessageLoop, CallsPostedFromOtherThreadsRunInTheGuiThreadInEachThreadsOrder) {
  constexpr int kThreads = 4, kCalls = 200;
  std::vector<std::vector<int>> seen(kThreads);
  std::vector<std::thread::id> runners;
  std::vector<std::thread> posters;
  for (int t = 0; t < kThreads; ++t)
    posters.emplace_back([&, t] {
      for (int i = 0; i < kCalls; ++i)
        App->Post([&, t, i] {
          seen[t].push_back(i);
          runners.push_back(std::this_thread::get_id());
        });
    });
  for (auto& poster : posters) poster.join();
  App->ProcessMessages();
  for (int t = 0; t < kThreads; ++t) {
    SCOPED_TRACE(t);
    ASSERT_EQ(seen[t].size(), size_t(kCalls));
    for (int i = 0; i < kCalls; ++i) EXPECT_EQ(seen[t][i], i);
  }
  for (std::thread::id id : runners) ASSERT_EQ(id, std::this_thread::get_id());
}

TEST_F(MessageLoop, HandleMessageHandlesOneCallAtATime) {
  App->Post([&] { Log.push_back("a"); });
  App->Post([&] { Log.push_back("b"); });
  EXPECT_TRUE(App->HandleMessage());
  EXPECT_THAT(Log, testing::ElementsAre("a"));
  EXPECT_TRUE(App->HandleMessage());
  EXPECT_THAT(Log, testing::ElementsAre("a", "b"));
}

TEST_F(MessageLoop, HandleMessageReturnsAtOnceWhenNoMessageCanCome) {
  // None of these timers can ever fire, so there is nothing to wait for.
  TTimer disabled(nullptr), noInterval(nullptr), noHandler(nullptr);
  disabled.SetEnabled(false);
  disabled.OnTimer = [&](TObject*) { Log.push_back("disabled"); };
  noInterval.SetInterval(0);
  noInterval.OnTimer = [&](TObject*) { Log.push_back("noInterval"); };
  int idle = 0;
  App->OnIdle = [&](TObject* sender) {
    EXPECT_EQ(sender, Application);
    ++idle;
  };
  EXPECT_FALSE(App->HandleMessage());
  EXPECT_FALSE(App->WaitMessage());
  App->Run();
  EXPECT_EQ(idle, 2);  // once in HandleMessage, once in Run's
  EXPECT_TRUE(Log.empty());
  EXPECT_FALSE(App->Terminated());
}

// Without waiting: a timer that is still far from due is not waited for; the idle handler runs
// once per call, and a pending message is handled as usual.
TEST_F(MessageLoop, HandleMessageWithoutWaitingRunsTheIdleHandlerInstead) {
  TTimer hourly(nullptr);
  hourly.SetInterval(3600 * 1000);
  hourly.OnTimer = [&](TObject*) { Log.push_back("timer"); };
  int idle = 0;
  App->OnIdle = [&](TObject*) { ++idle; };
  EXPECT_FALSE(App->HandleMessage(false));
  EXPECT_FALSE(App->HandleMessage(false));
  EXPECT_EQ(idle, 2);
  App->Post([&] { Log.push_back("a"); });
  EXPECT_TRUE(App->HandleMessage(false));
  EXPECT_EQ(idle, 2);
  App->OnIdle = nullptr;
  EXPECT_THAT(Log, testing::ElementsAre("a"));
}

TEST_F(MessageLoop, TerminateFromAnotherThreadEndsAWaitingHandleMessage) {
  TTimer hourly(nullptr);  // something to wait for that does not come in time
  hourly.SetInterval(3600 * 1000);
  hourly.OnTimer = [&](TObject*) { Log.push_back("timer"); };
  std::thread terminator;
  App->OnIdle = [&](TObject*) { terminator = std::thread([&] { App->Terminate(); }); };
  EXPECT_FALSE(App->HandleMessage());
  terminator.join();
  App->OnIdle = nullptr;
  EXPECT_TRUE(App->Terminated());
  EXPECT_TRUE(Log.empty());
  EXPECT_FALSE(App->HandleMessage());  // terminated: no more waiting
  App->Run();
}

TEST_F(MessageLoop, RunStopsAfterTheCallThatTerminatesAndLaterCallsStayQueued) {
  App->Post([&] { Log.push_back("a"); });
  App->Post([&] {
    Log.push_back("terminate");
    App->Terminate();
  });
  App->Post([&] { Log.push_back("b"); });
  App->Run();
  EXPECT_THAT(Log, testing::ElementsAre("a", "terminate"));
  App->ProcessMessages();  // a plain posted call survives Terminate
  EXPECT_THAT(Log, testing::ElementsAre("a", "terminate", "b"));
}

TEST_F(MessageLoop, RunReturnsOnceEveryCallRanAndNothingElseCanCome) {
  for (const char* name : {"a", "b", "c"}) App->Post([&, name] { Log.push_back(name); });
  App->Run();
  EXPECT_THAT(Log, testing::ElementsAre("a", "b", "c"));
  EXPECT_FALSE(App->Terminated());
}

TEST_F(MessageLoop, WaitMessageSeesAPendingCallWithoutRunningIt) {
  App->Post([&] { Log.push_back("a"); });
  EXPECT_TRUE(App->WaitMessage());
  EXPECT_TRUE(Log.empty());
}

TEST_F(MessageLoop, OutsideTheGuiThreadTheLoopRunsNothing) {
  App->Post([&] { Log.push_back("a"); });
  std::thread other([&] {
    EXPECT_FALSE(App->IsGuiThread());
    App->ProcessMessages();
    EXPECT_FALSE(App->HandleMessage());
    EXPECT_FALSE(App->WaitMessage());
    App->Run();
  });
  other.join();
  EXPECT_TRUE(App->IsGuiThread());
  EXPECT_TRUE(Log.empty());
  App->ProcessMessages();
  EXPECT_THAT(Log, testing::ElementsAre("a"));
}

TEST_F(MessageLoop, InitializeMakesTheCallingThreadTheGuiThread) {
  std::thread other([&] {
    App->Initialize();
    EXPECT_TRUE(App->IsGuiThread());
  });
  other.join();
  EXPECT_FALSE(App->IsGuiThread());
  App->Post([&] { Log.push_back("a"); });
  App->ProcessMessages();
  EXPECT_TRUE(Log.empty());
  App->Initialize();
  App->ProcessMessages();
  EXPECT_THAT(Log, testing::ElementsAre("a"));
}

TEST_F(MessageLoop, ExceptionsOfPostedCallsAreReportedAndTheLoopGoesOn) {
  App->OnException = [&](TObject* sender, const std::exception& e) {
    EXPECT_EQ(sender, Application);
    Log.push_back(std::string("reported: ") + e.what());
  };
  App->Post([] { throw std::runtime_error("broken call"); });
  App->Post([&] { Log.push_back("next"); });
  App->ProcessMessages();
  EXPECT_THAT(Log, testing::ElementsAre("reported: broken call", "next"));
}

TEST_F(MessageLoop, DestroyingTheApplicationDropsQueuedCallsUnrun) {
  auto token = std::make_shared<int>(0);
  std::weak_ptr<int> alive = token;
  App->Post([&, token = std::move(token)] { Log.push_back("ran"); });
  App.Destroy();
  EXPECT_TRUE(Log.empty());
  EXPECT_TRUE(alive.expired());  // the dropped call was freed with its captures
}

}  // namespace
}  // namespace qv
