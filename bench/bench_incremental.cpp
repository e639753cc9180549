// Incremental analysis of a large text: the system's C headers concatenated to about 10 MB
// through the C-like test lexer, fully analysed, then a one-character edit in the middle.
// (a) EditToWindow: from the edit notification until the tokens up to the end of the 100
//     lines after the edit are current (TextChanged + AppendToPos); the store's own edit is
//     not counted; notify_us and append_us split it into the cut-back and the analysis.
//     Also for a text of a tenth of the size, to show how the time grows with it.
// (b) ReanalysisAfterEdit: from the notification to a finished analysis (the idle tick to the
//     end: tokens, deferred block pass, Finished), next to FullAnalysis of the same text;
//     the edit in the middle and near the start.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "framework/Forms.h"
#include "framework/Streams.h"
#include "syntax/qvClientAnalyzer.h"
#include "syntax/qvMemoStrings.h"
#include "syntax/qvStrUtils.h"
#include "syntax/qvSyntAnalyzer.h"
#include "tests/support/RealFiles.h"

namespace {

using namespace qv;

// The headers of /usr/include in name order until about 1 MB, repeated to the size asked.
std::u16string HeaderText(size_t size) {
  static const std::u16string base = Utf8ToWide(test::SystemHeaders(1'000'000));
  std::u16string text;
  while (text.size() < size) text += base;
  return text;
}

struct TSetup {
  TSyntAnalyzer Lexer{nullptr};
  TSyntMemoStrings Text;
  std::unique_ptr<TClientSyntAnalyzer> Client;

  explicit TSetup(size_t size) {
    TMemoryStream in(test::ReadFile(QV_SOURCE_DIR "/tests/data/lexers/clike.lxr"));
    Lexer.LoadFromStream(in);
    Text.SetTextStr(HeaderText(size));
    Client.reset(Lexer.AddClient(nullptr, [this] { return &Text; }));
  }
  ~TSetup() { Client.reset(); }

  // Finishes the analysis as the idle timer would; the completion thread is let go.
  void Finish() {
    if (!Client->IsFinished()) Client->IdleTick();
    Client->StopThread();
    if (Application) Application->ProcessMessages();
  }
  // A character inserted at pos, or taken out again: the text returns to itself.
  void Edit(int pos, bool insert) {
    if (insert)
      Text.InsertText(u"x", pos);
    else
      Text.DeleteText(pos, 1);
  }
};

void EditToWindow(benchmark::State& state) {
  TSetup setup(static_cast<size_t>(state.range(0)));
  const int mid = setup.Text.TextLength() / 2;
  const int line = setup.Text.StrPosToCaretPos(mid).Y;
  const int windowEnd = setup.Text.LineStart(std::min(line + 100, setup.Text.GetCount() - 1));
  bool insert = true;
  double cut = 0, app = 0;
  for (auto _ : state) {
    state.PauseTiming();
    setup.Finish();
    setup.Edit(mid, insert);
    state.ResumeTiming();
    auto t0 = std::chrono::steady_clock::now();
    setup.Client->TextChanged(mid, insert ? 1 : -1);
    auto t1 = std::chrono::steady_clock::now();
    setup.Client->AppendToPos(windowEnd);
    auto t2 = std::chrono::steady_clock::now();
    cut += std::chrono::duration<double, std::micro>(t1 - t0).count();
    app += std::chrono::duration<double, std::micro>(t2 - t1).count();
    insert = !insert;
  }
  state.counters["notify_us"] = cut / static_cast<double>(state.iterations());
  state.counters["append_us"] = app / static_cast<double>(state.iterations());
  state.counters["tokens"] = setup.Client->TokenCount();
  state.counters["chars"] = setup.Text.TextLength();
}
BENCHMARK(EditToWindow)->Arg(10'000'000)->Arg(1'000'000)->Unit(benchmark::kMicrosecond)->Iterations(12);

void ReanalysisAfterEdit(benchmark::State& state) {
  TSetup setup(10'000'000);
  const int pos = state.range(0) == 0 ? 100 : setup.Text.TextLength() / 2;
  bool insert = true;
  for (auto _ : state) {
    state.PauseTiming();
    setup.Finish();
    setup.Edit(pos, insert);
    state.ResumeTiming();
    setup.Client->TextChanged(pos, insert ? 1 : -1);
    setup.Client->IdleTick();
    insert = !insert;
  }
  state.SetLabel(state.range(0) == 0 ? "edit near the start" : "edit in the middle");
}
BENCHMARK(ReanalysisAfterEdit)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(4);

void FullAnalysis(benchmark::State& state) {
  TSetup setup(10'000'000);
  for (auto _ : state) {
    setup.Client->Clear();
    setup.Client->IdleTick();
  }
  state.counters["tokens"] = setup.Client->TokenCount();
}
BENCHMARK(FullAnalysis)->Unit(benchmark::kMillisecond)->Iterations(4);

}  // namespace

BENCHMARK_MAIN();
