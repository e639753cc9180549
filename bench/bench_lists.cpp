// Cost of the range containers on the shapes the analysis produces: a forward walk through a
// token list (hinted RangeAt, expected flat in N) against random lookups (bisection, log N),
// appending tokens in order, key-ordered insertion in and out of order, and the heap bytes
// one token range costs in a TRangeList.
#include <benchmark/benchmark.h>

#include <malloc.h>

#include <algorithm>
#include <memory>
#include <random>
#include <vector>

#include "syntax/qvLists.h"

namespace {

using namespace qv;

// Token lengths cycle through 1..7 characters (mean 4), adjacent as a lexer leaves them.
int TokenLength(int i) { return 1 + i % 7; }

std::unique_ptr<TRangeList> TokenList(int count) {
  auto list = std::make_unique<TRangeList>(false);
  for (int i = 0, pos = 0; i < count; ++i) {
    const int len = TokenLength(i);
    list->Add(std::make_unique<TRange>(pos, pos + len));
    pos += len;
  }
  return list;
}

// Share of the steps of one walk over the probes that moved the hint (onto a successor, or
// by a bisection landing elsewhere). Untimed.
double HintMoves(const TRangeList& list, const std::vector<int>& probes) {
  int moves = 0;
  for (int pos : probes) {
    const int before = list.LastIndex();
    list.RangeAt(pos);
    moves += list.LastIndex() != before;
  }
  return static_cast<double>(moves) / static_cast<double>(probes.size());
}

// A forward walk, one RangeAt per step, starting over at the end; the time per iteration is
// the cost of one step. The hint answers the last found range and moves onto its successor,
// so the walk bisects only when it starts over: the cost per step is flat in N.
void RangeAtWalk(benchmark::State& state, bool perToken) {
  const auto list = TokenList(static_cast<int>(state.range(0)));
  std::vector<int> probes;
  for (int i = 0; i < list->Count(); ++i) {
    const TRange* token = list->Items(i);
    for (int p = token->StartPos; p < (perToken ? token->StartPos + 1 : token->EndPos); ++p)
      probes.push_back(p);
  }
  state.counters["hint_moves"] = HintMoves(*list, probes);
  size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(list->RangeAt(probes[i]));
    if (++i == probes.size()) i = 0;
  }
  state.SetItemsProcessed(state.iterations());
}
void BM_RangeAtForwardWalk(benchmark::State& state) { RangeAtWalk(state, false); }
void BM_RangeAtTokenWalk(benchmark::State& state) { RangeAtWalk(state, true); }
BENCHMARK(BM_RangeAtForwardWalk)->RangeMultiplier(4)->Range(1 << 10, 1 << 20);
BENCHMARK(BM_RangeAtTokenWalk)->RangeMultiplier(4)->Range(1 << 10, 1 << 20);

// The same list probed at random positions: the hint rarely helps, so each call bisects.
void BM_RangeAtRandom(benchmark::State& state) {
  const auto list = TokenList(static_cast<int>(state.range(0)));
  const int end = list->Items(list->Count() - 1)->EndPos;
  std::mt19937 rng(1);
  std::vector<int> probes(1 << 12);
  for (int& p : probes) p = static_cast<int>(rng() % static_cast<unsigned>(end));
  size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(list->RangeAt(probes[i]));
    i = (i + 1) & (probes.size() - 1);
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_RangeAtRandom)->RangeMultiplier(4)->Range(1 << 10, 1 << 20);

// Building a token list as the lexer does: N ranges in position order, each allocated.
void BM_RangeListAddInOrder(benchmark::State& state) {
  const int count = static_cast<int>(state.range(0));
  for (auto _ : state) benchmark::DoNotOptimize(TokenList(count));
  state.SetItemsProcessed(state.iterations() * count);
}
BENCHMARK(BM_RangeListAddInOrder)->RangeMultiplier(8)->Range(1 << 10, 1 << 20);

struct TKeyItem : TSortedItem {
  explicit TKeyItem(int key) : Key(key) {}
  int GetKey() const override { return Key; }
  int Key;
};

// TSortedList::Add with keys ascending (appends, no search) or shuffled (bisection plus a
// shift of the tail, so O(N) an item). The items exist beforehand; only Add is measured.
void SortedListAdd(benchmark::State& state, bool inOrder) {
  const int count = static_cast<int>(state.range(0));
  std::vector<std::unique_ptr<TKeyItem>> items;
  for (int k = 0; k < count; ++k) items.push_back(std::make_unique<TKeyItem>(k));
  if (!inOrder) std::shuffle(items.begin(), items.end(), std::mt19937(1));
  for (auto _ : state) {
    TSortedList list(false);
    for (const auto& item : items) list.Add(item.get());
    benchmark::DoNotOptimize(list.Count());
  }
  state.SetItemsProcessed(state.iterations() * count);
}
void BM_SortedListAddInOrder(benchmark::State& state) { SortedListAdd(state, true); }
void BM_SortedListAddShuffled(benchmark::State& state) { SortedListAdd(state, false); }
BENCHMARK(BM_SortedListAddInOrder)->RangeMultiplier(8)->Range(1 << 10, 1 << 17);
BENCHMARK(BM_SortedListAddShuffled)->RangeMultiplier(8)->Range(1 << 10, 1 << 15);  // O(N^2)

// Heap bytes a token range costs in a list: the object (sizeof, rounded up by malloc to its
// usable size plus the chunk header) and its vector slot (capacity, not size, counts). The
// measured figure is the growth of glibc's in-use total while N ranges are added; the
// breakdown is reported beside it. Measured once, outside the timed loop.
void BM_RangeListMemory(benchmark::State& state) {
  const int count = static_cast<int>(state.range(0));
  double measured = 0;
#ifdef __GLIBC__
  const size_t before = mallinfo2().uordblks;
  {
    const auto list = TokenList(count);
    measured = static_cast<double>(mallinfo2().uordblks - before) / count;
  }
#endif
  auto sample = std::make_unique<TRange>(0, 1);
  const double usable = static_cast<double>(malloc_usable_size(sample.get()));
  for (auto _ : state) benchmark::DoNotOptimize(sample->GetKey());
  state.counters["sizeof_TRange"] = sizeof(TRange);
  state.counters["malloc_usable"] = usable;
  state.counters["slot"] = sizeof(std::unique_ptr<TRange>);
  state.counters["bytes_per_range"] = measured;
}
BENCHMARK(BM_RangeListMemory)->Arg(1 << 10)->Arg(1 << 20)->Iterations(1);

}  // namespace

BENCHMARK_MAIN();
