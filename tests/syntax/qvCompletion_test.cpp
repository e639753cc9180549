// The completion thread on real threads with the client around it: the hand-over of display
// ranges through the loop, stop requests before and during the run, a client cleared,
// edited or destroyed while its thread reads it, many clients finishing at once, and an
// application shutting down while threads wait to hand over. Also the idle timer that drives
// an analysis to its end, and a client destroyed from inside the idle analysis's message pump.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "framework/ExtCtrls.h"
#include "framework/Forms.h"
#include "syntax/qvClientAnalyzer.h"
#include "syntax/qvResultsDump.h"
#include "syntax/qvStrUtils.h"
#include "syntax/qvSyntAnalyzer.h"
#include "tests/support/Analysis.h"
#include "tests/support/LexerFiles.h"
#include "tests/support/RealFiles.h"
#include "tests/support/TestApplication.h"

namespace qv {
namespace {

using test::AnalyzeToEnd;
using test::TAnalysis;
using test::THangGuard;
using test::TTestApplication;
using test::WaitForDisplay;

struct THost : IqvSyntClient {
  void FormatChanged() override {}
  void AnalysisFinished() override { ++Finishes; }
  int Finishes = 0;
};

std::u16string Braces(int blocks) {
  std::u16string text;
  for (int i = 0; i < blocks; ++i) text += u"x = 1; { a = 2; { b = 3; } }\n";
  return text;
}

// A text analysed with a host; the staple handler of the lexer can hold the thread inside its
// run (it is called in the worker, under the client's lock).
struct TBlockingScene {
  TTestApplication App;
  THangGuard Guard;
  std::shared_ptr<THost> Host = std::make_shared<THost>();
  TAnalysis A{"clike.lxr", Braces(50)};
  std::atomic<bool> Entered{false}, Release{false};
  std::atomic<int> Calls{0};

  TBlockingScene() {
    A.Main->OnGetStapleRange = [this](TClientSyntAnalyzer*, TTextRange*, int&, int&) {
      ++Calls;
      Entered = true;
      while (!Release) std::this_thread::yield();
    };
    A.Client.reset(A.Main->AddClient(Host, [this] { return &A.Text; }));
  }
  // Finishes the analysis and waits until the thread is inside its run.
  void FinishAndHold() {
    A.Client->Analyze(true);
    ASSERT_NE(A.Client->FinishThread(), nullptr);
    while (!Entered) std::this_thread::yield();
  }
  // Lets every thread go and waits until no worker is left.
  void ReleaseAndDrain() {
    Release = true;
    while (Application->HandleMessage()) {
    }
  }
};

TEST(Completion, TheLoopHandsTheThreadsRangesOverAndTellsTheHostOnce) {
  TTestApplication app;
  THangGuard guard;
  auto host = std::make_shared<THost>();
  TAnalysis a("clike.lxr", Braces(20));
  a.Client.reset(a.Main->AddClient(host, [&] { return &a.Text; }));
  a.Client->Analyze(true);
  ASSERT_TRUE(a.Client->IsFinished());
  EXPECT_NE(a.Client->FinishThread(), nullptr);
  EXPECT_EQ(host->Finishes, 0);  // nothing before the loop runs
  WaitForDisplay(*a.Client);
  EXPECT_EQ(a.Client->FinishThread(), nullptr);
  EXPECT_EQ(host->Finishes, 1);
  EXPECT_GT(a.Client->Staples().LayerCount(), 0);
  EXPECT_GT(a.Client->Collapsibles().LayerCount(), 0);

  // An empty text: a thread over empty lists, five empty collections taken over.
  TAnalysis empty("clike.lxr", u"");
  empty.Client.reset(empty.Main->AddClient(host, [&] { return &empty.Text; }));
  empty.Client->IdleTick();
  ASSERT_TRUE(empty.Client->IsFinished());
  WaitForDisplay(*empty.Client);
  EXPECT_EQ(host->Finishes, 2);
  EXPECT_EQ(empty.Client->StyledRanges().LayerCount() + empty.Client->Staples().LayerCount() +
                empty.Client->Collapsibles().LayerCount() + empty.Client->DynoRanges().LayerCount() +
                empty.Client->LineBreakRanges().LayerCount(),
            0);
}

TEST(Completion, AThreadStoppedBeforeOrDuringItsRunHandsNothingOver) {
  {  // before: stopped at once, whether or not the worker got going
    TBlockingScene s;
    s.Release = true;
    s.A.Client->Analyze(true);
    s.A.Client->StopThread();
    EXPECT_EQ(s.A.Client->FinishThread(), nullptr);
    s.ReleaseAndDrain();
    EXPECT_EQ(s.Host->Finishes, 0);
    EXPECT_EQ(s.A.Client->Staples().LayerCount(), 0);
  }
  {  // during: inside its first staple
    TBlockingScene s;
    s.FinishAndHold();
    s.A.Client->StopThread();
    s.ReleaseAndDrain();
    EXPECT_EQ(s.Calls, 1);  // the poll before the next record saw the stop
    EXPECT_EQ(s.Host->Finishes, 0);
    EXPECT_EQ(s.A.Client->Staples().LayerCount(), 0);
  }
}

// Clear and an edit stop the thread and then wait for the lock: they go on only once the
// worker has left the results.
TEST(Completion, ClearAndEditsWhileTheThreadRunsWaitForItToLeaveTheResults) {
  for (bool edit : {false, true}) {
    SCOPED_TRACE(edit ? "edit" : "clear");
    TBlockingScene s;
    s.FinishAndHold();
    std::thread releaser([&] {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
      s.Release = true;
    });
    if (edit) {
      s.A.Text.InsertText(u"{ ", 10);
      s.A.Client->TextChanged(10, 2);
      EXPECT_LT(s.A.Client->TokenCount(), 10);
    } else {
      s.A.Client->Clear();
      EXPECT_EQ(s.A.Client->TokenCount(), 0);
    }
    EXPECT_TRUE(s.Release);  // the worker held the lock until it was released
    EXPECT_EQ(s.A.Client->FinishThread(), nullptr);
    releaser.join();
    // The loop runs the idle analysis of the new text to its end: only its thread hands over.
    s.ReleaseAndDrain();
    EXPECT_EQ(s.Host->Finishes, 1);
    EXPECT_TRUE(s.A.Client->IsFinished());
    TAnalysis fresh("clike.lxr", s.A.Text.Text());
    AnalyzeToEnd(*fresh.Client);
    EXPECT_EQ(DumpResults(*s.A.Client), DumpResults(*fresh.Client));
  }
}

TEST(Completion, DestroyingAClientWhoseThreadRunsWaitsOnlyUntilTheThreadLeavesIt) {
  TBlockingScene s;
  s.FinishAndHold();
  std::thread releaser([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    s.Release = true;
  });
  s.A.Client.reset();
  EXPECT_TRUE(s.Release);
  releaser.join();
  s.ReleaseAndDrain();
  EXPECT_EQ(s.Host->Finishes, 0);
}

TEST(Completion, ManyClientsFinishingAtOnceEachGetTheirOwnRanges) {
  TTestApplication app;
  THangGuard guard;
  std::vector<std::unique_ptr<TAnalysis>> analyses;
  for (int i = 0; i < 24; ++i) {
    analyses.push_back(std::make_unique<TAnalysis>("clike.lxr", Braces(5 + i)));
    analyses.back()->Client->Analyze(true);
  }
  for (auto& a : analyses) WaitForDisplay(*a->Client);
  for (size_t i = 0; i < analyses.size(); ++i) {
    SCOPED_TRACE(i);
    // Every block gives a staple: two a line.
    int staples = 0;
    for (int l = 0; l < analyses[i]->Client->Staples().LayerCount(); ++l)
      staples += analyses[i]->Client->Staples().Layers(l)->Count();
    EXPECT_EQ(staples, 2 * (5 + static_cast<int>(i)));
  }
}

// Until new display ranges arrive after an edit, the old ones stay, the caret is mapped
// through the change, and the block ranges they point to stay alive though the edit cut them
// from the results (under the sanitizers a freed one would be reported when read).
TEST(Completion, OldDisplayRangesServeTheCaretUntilNewOnesArrive) {
  TTestApplication app;
  THangGuard guard;
  auto host = std::make_shared<THost>();
  TAnalysis a("clike.lxr", Braces(30));
  a.Client.reset(a.Main->AddClient(host, [&] { return &a.Text; }));
  AnalyzeToEnd(*a.Client);
  const int brace = static_cast<int>(a.Text.Text().find(u'{', 100));
  ASSERT_TRUE(a.Client->UpdateDynHighlight(brace, false));  // cpBound: the brace itself
  ASSERT_EQ(a.Client->DynHighlighted().size(), 1u);
  const TTextRange* shown = a.Client->DynHighlighted()[0];
  const int startIdx = shown->StartIdx;

  a.Text.InsertText(u"/* */ ", 0);
  a.Client->TextChanged(0, 6);
  EXPECT_EQ(a.Client->RangeCount(), 0);  // cut back to the start
  EXPECT_FALSE(a.Client->UpdateDynHighlight(brace + 6, false));  // the same block, mapped
  EXPECT_EQ(a.Client->DynHighlighted()[0], shown);
  EXPECT_EQ(shown->StartIdx, startIdx);
  EXPECT_TRUE(a.Client->UpdateDynHighlight(brace + 7, false));  // beside it now

  a.Client->UpdateDynHighlight(brace + 6, false);
  AnalyzeToEnd(*a.Client);
  EXPECT_EQ(host->Finishes, 2);
  EXPECT_TRUE(a.Client->ChangeFixer().Changes().empty());
  ASSERT_EQ(a.Client->DynHighlighted().size(), 1u);  // found again among the new ranges
  EXPECT_EQ(a.Client->DynHighlighted()[0]->StartIdx, startIdx + 1);  // after the comment
}

// Shutdown while threads wait to hand over: they are released with nothing handed over, free
// themselves, and the clients can still be destroyed.
TEST(Completion, ShuttingTheApplicationDownReleasesThreadsWaitingToHandOver) {
  for (bool destroy : {false, true}) {
    SCOPED_TRACE(destroy ? "destroyed" : "terminated");
    auto app = std::make_unique<TTestApplication>();
    THangGuard guard;
    auto host = std::make_shared<THost>();
    std::vector<std::unique_ptr<TAnalysis>> analyses;
    for (int i = 0; i < 6; ++i) {
      analyses.push_back(std::make_unique<TAnalysis>("clike.lxr", Braces(30)));
      analyses.back()->Client.reset(analyses.back()->Main->AddClient(
          host, [a = analyses.back().get()] { return &a->Text; }));
      analyses.back()->Client->Analyze(true);
    }
    if (destroy)
      (*app).Destroy();
    else
      (*app)->Terminate();
    // Each thread unlinks itself from its client when it frees itself.
    for (auto& a : analyses)
      while (a->Client->FinishThread()) std::this_thread::yield();
    EXPECT_EQ(host->Finishes, 0);
    if (destroy) {  // no application: nothing could hand ranges over, so no thread starts
      analyses[0]->Client->Clear();
      analyses[0]->Client->Analyze(true);
      EXPECT_TRUE(analyses[0]->Client->IsFinished());
      EXPECT_EQ(analyses[0]->Client->FinishThread(), nullptr);
    }
    analyses.clear();
    app.reset();
  }
}

// The idle timer runs the whole analysis in one event from the loop, the deferred block pass
// included, and the delay after a completed analysis is the longer one.
TEST(Completion, TheIdleTimerAnalysesToTheEndAndHandsOver) {
  TTestApplication app;
  THangGuard guard;
  app->SetManualClock(true);
  auto host = std::make_shared<THost>();
  TAnalysis a("clike.lxr", Braces(40));
  a.Client.reset(a.Main->AddClient(host, [&] { return &a.Text; }));
  ASSERT_TRUE(a.Main->CanDeferBlockRules());
  EXPECT_TRUE(a.Client->IdleTimer().Enabled());
  EXPECT_EQ(a.Client->IdleTimer().Interval(), 50);
  while (host->Finishes == 0) ASSERT_TRUE(app->HandleMessage());
  EXPECT_TRUE(a.Client->IsFinished());
  EXPECT_FALSE(a.Client->IdleTimer().Enabled());
  TAnalysis fresh("clike.lxr", a.Text.Text());
  fresh.Client->Analyze(true);
  WaitForDisplay(*fresh.Client);
  EXPECT_EQ(DumpResults(*a.Client), DumpResults(*fresh.Client));

  a.Text.InsertText(u"{", 0);
  a.Client->TextChanged(0, 1);
  EXPECT_TRUE(a.Client->IdleTimer().Enabled());
  EXPECT_EQ(a.Client->IdleTimer().Interval(), 200);
  while (host->Finishes == 1) ASSERT_TRUE(app->HandleMessage());
  EXPECT_TRUE(a.Client->IsFinished());
}

// A handler run by the idle analysis's message pump destroys the client: the analysis stops
// there and never touches it again (under the sanitizers a touch would be reported).
TEST(Completion, AClientDestroyedFromInsideTheIdleAnalysisIsNotTouchedAgain) {
  TTestApplication app;
  THangGuard guard;
  TAnalysis a("clike.lxr", Braces(40));
  app->Post([&] { a.Client.reset(); });
  TClientSyntAnalyzer* client = a.Client.get();
  client->IdleTick();  // the first pump runs the posted call
  EXPECT_EQ(a.Client, nullptr);

  // An application that is terminating ends the tick too, leaving the client usable.
  TAnalysis b("clike.lxr", Braces(40));
  app->Terminate();
  b.Client->IdleTick();
  EXPECT_FALSE(b.Client->IsFinished());
  EXPECT_EQ(b.Client->TokenCount(), 1);
}

}  // namespace
}  // namespace qv
