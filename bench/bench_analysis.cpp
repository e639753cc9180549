// Analysis throughput of real text: the C-like test lexer over the system's C headers (about
// 1 MB), whole analyses with block rules after every token and deferred, the same matches
// made by the expressions alone (the share of the work that is the matcher's), and the heap
// bytes each token costs.
#include <benchmark/benchmark.h>

#include <malloc.h>

#include <memory>
#include <string>

#include "framework/Streams.h"
#include "syntax/qvClientAnalyzer.h"
#include "syntax/qvMemoStrings.h"
#include "syntax/qvStrUtils.h"
#include "syntax/qvSyntAnalyzer.h"
#include "syntax/qvTokenRules.h"
#include "tests/support/RealFiles.h"

namespace {

using namespace qv;

// The headers of /usr/include in name order until about 1 MB, as one text.
const std::u16string& HeaderText() {
  static const std::u16string text = Utf8ToWide(test::SystemHeaders(1'000'000));
  return text;
}

struct TSetup {
  TSyntAnalyzer Lexer{nullptr};
  TSyntMemoStrings Text;
  TSetup() {
    TMemoryStream in(test::ReadFile(QV_SOURCE_DIR "/tests/data/lexers/clike.lxr"));
    Lexer.LoadFromStream(in);
    Text.SetTextStr(HeaderText());
  }
};

void Analyze(benchmark::State& state, bool perToken) {
  TSetup setup;
  int tokens = 0;
  for (auto _ : state) {
    std::unique_ptr<TClientSyntAnalyzer> client(
        setup.Lexer.AddClient(nullptr, [&] { return &setup.Text; }));
    if (perToken)
      client->Analyze(true);
    else
      client->IdleTick();  // as the idle timer runs it: tokens, then the deferred pass
    tokens = client->TokenCount();
  }
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(HeaderText().size() * 2));
  state.counters["tokens/s"] =
      benchmark::Counter(static_cast<double>(tokens) * state.iterations(), benchmark::Counter::kIsRate);
  state.counters["chars"] = static_cast<double>(HeaderText().size());
}

void BM_AnalyzePerToken(benchmark::State& state) { Analyze(state, true); }
BENCHMARK(BM_AnalyzePerToken)->Unit(benchmark::kMillisecond);

void BM_AnalyzeDeferred(benchmark::State& state) { Analyze(state, false); }
BENCHMARK(BM_AnalyzeDeferred)->Unit(benchmark::kMillisecond);

// The matcher's share: at every token start of a finished analysis, the token rules tried in
// order until one matches, as the analysis tries them, without anything else.
void BM_ExpressionsOnly(benchmark::State& state) {
  TSetup setup;
  std::unique_ptr<TClientSyntAnalyzer> client(
      setup.Lexer.AddClient(nullptr, [&] { return &setup.Text; }));
  client->Analyze(true);
  std::vector<int> starts;
  for (int i = 0; i < client->TokenCount(); ++i) starts.push_back(client->Tags(i)->StartPos + 1);
  const std::u16string& text = setup.Text.Text();
  TTokenRuleCollection& rules = *setup.Lexer.TokenRules();
  for (auto _ : state) {
    int64_t covered = 0;
    for (int pos : starts)
      for (int r = 0; r < rules.Count(); ++r)
        if (int len = rules.Items(r)->MatchRule(text, pos); len > 0) {
          covered += len;
          break;
        }
    benchmark::DoNotOptimize(covered);
  }
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(HeaderText().size() * 2));
  state.counters["tokens/s"] = benchmark::Counter(static_cast<double>(starts.size()) * state.iterations(),
                                                  benchmark::Counter::kIsRate);
}
BENCHMARK(BM_ExpressionsOnly)->Unit(benchmark::kMillisecond);

// Heap bytes per token of a finished analysis: tokens and their list slots (block ranges and
// the rest are few next to them). One analysis, measured around it.
void BM_BytesPerToken(benchmark::State& state) {
  TSetup setup;
  double perToken = 0;
  for (auto _ : state) {
    const size_t before = mallinfo2().uordblks;
    std::unique_ptr<TClientSyntAnalyzer> client(
        setup.Lexer.AddClient(nullptr, [&] { return &setup.Text; }));
    client->Analyze(true);
    const size_t after = mallinfo2().uordblks;
    perToken = static_cast<double>(after - before) / client->TokenCount();
  }
  state.counters["bytes/token"] = perToken;
  state.counters["sizeof(TSyntToken)"] = sizeof(TSyntToken);
}
BENCHMARK(BM_BytesPerToken)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace

BENCHMARK_MAIN();
