// Costs of the line store on a large text: single-character edits (which move the text and
// the line starts behind the edit), offset-to-line lookups (a bisection over the starts),
// the full rebuild for comparison, and the memory the line table takes per line. The text
// is real source (system C headers and a Python module) repeated to 10 million characters.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "syntax/qvMemoStrings.h"
#include "syntax/qvStrUtils.h"

namespace {

using namespace qv;

constexpr size_t kTextSize = 10'000'000;  // characters

std::string ReadBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

const std::u16string& LargeText() {
  static const std::u16string text = [] {
    std::string utf8;
    for (const char* path : {"/usr/include/stdio.h", "/usr/include/stdlib.h",
                             "/usr/include/string.h", "/usr/include/unistd.h"}) {
      utf8 += ReadBytes(path);
    }
    std::error_code ec;
    for (const auto& dir : std::filesystem::directory_iterator("/usr/lib", ec)) {
      if (dir.path().filename().string().rfind("python3", 0) == 0 &&
          std::filesystem::exists(dir.path() / "typing.py", ec)) {
        utf8 += ReadBytes(dir.path() / "typing.py");
        break;
      }
    }
    const std::u16string whole = Utf8ToWide(utf8);
    std::u16string result;
    if (whole.empty()) return result;
    result.reserve(kTextSize);
    while (result.size() < kTextSize) result += whole;
    result.resize(kTextSize);
    return result;
  }();
  return text;
}

// Positions drawn once, outside the timed loops, with a fixed seed.
std::vector<int> RandomPositions(int limit, size_t count) {
  std::mt19937 rng(12345);
  std::uniform_int_distribution<int> pick(0, limit);
  std::vector<int> positions(count);
  for (int& p : positions) p = pick(rng);
  return positions;
}

void SetTextCounters(benchmark::State& state, const TSyntMemoStrings& store) {
  state.counters["chars"] = static_cast<double>(store.TextLength());
  state.counters["lines"] = static_cast<double>(store.Count());
}

// One operation per iteration, alternating: insert 'x' at a random offset, then delete a
// character at another random offset, so the text keeps its size.
void BM_EditOneCharacter(benchmark::State& state) {
  TSyntMemoStrings store;
  store.SetTextStr(LargeText());
  const std::vector<int> positions = RandomPositions(store.TextLength() - 1, 1 << 16);
  size_t next = 0;
  bool insert = true;
  for (auto _ : state) {
    const int pos = positions[next++ & 0xFFFF];
    if (insert)
      store.InsertText(u"x", pos);
    else
      store.DeleteText(pos, 1);
    insert = !insert;
  }
  SetTextCounters(state, store);
}

// The floor for BM_EditOneCharacter: the same edits on a bare string, without a line table.
// A flat text costs a move of everything behind the edit; the rest is the store's own.
void BM_EditOneCharacterBareString(benchmark::State& state) {
  std::u16string text = LargeText();
  const std::vector<int> positions = RandomPositions(static_cast<int>(text.size()) - 1, 1 << 16);
  size_t next = 0;
  bool insert = true;
  for (auto _ : state) {
    const size_t pos = static_cast<size_t>(positions[next++ & 0xFFFF]);
    if (insert)
      text.insert(pos, 1, u'x');
    else
      text.erase(pos, 1);
    insert = !insert;
  }
  benchmark::DoNotOptimize(text.data());
}

// Typing Enter and taking it back: the line table grows and shrinks by one entry.
void BM_EditLineBreak(benchmark::State& state) {
  TSyntMemoStrings store;
  store.SetTextStr(LargeText());
  const std::vector<int> positions = RandomPositions(store.TextLength() - 1, 1 << 16);
  size_t next = 0;
  int last = 0;
  bool insert = true;
  for (auto _ : state) {
    if (insert) {
      last = positions[next++ & 0xFFFF];
      store.InsertText(u"\r\n", last);
    } else {
      store.DeleteText(last, 2);
    }
    insert = !insert;
  }
  SetTextCounters(state, store);
}

void BM_StrPosToCaretPos(benchmark::State& state) {
  TSyntMemoStrings store;
  store.SetTextStr(LargeText());
  const std::vector<int> positions = RandomPositions(store.TextLength(), 1 << 16);
  size_t next = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(store.StrPosToCaretPos(positions[next++ & 0xFFFF]));
  }
  SetTextCounters(state, store);
}

// The whole-text path: copy of the text and a rebuild of the line table.
void BM_SetTextStrRebuild(benchmark::State& state) {
  const std::u16string& text = LargeText();
  TSyntMemoStrings store;
  for (auto _ : state) store.SetTextStr(text);
  state.SetBytesProcessed(state.iterations() * text.size() * sizeof(char16_t));
  SetTextCounters(state, store);
  // Bytes of the line table per line: a 32-bit start and a state byte, plus the two
  // vectors' own headers spread over the lines; "reserved" counts the capacity held.
  const double lines = store.Count();
  const double header = 2.0 * sizeof(std::vector<int>);
  state.counters["bytes_per_line"] =
      (store.LineStarts().size() * sizeof(int) + store.LineStates().size() + header) / lines;
  state.counters["bytes_per_line_reserved"] =
      (store.LineStarts().capacity() * sizeof(int) + store.LineStates().capacity() + header) /
      lines;
}

BENCHMARK(BM_EditOneCharacter)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_EditOneCharacterBareString)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_EditLineBreak)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_StrPosToCaretPos);
BENCHMARK(BM_SetTextStrRebuild)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
