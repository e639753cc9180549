// Throughput of the string utilities the analysis calls per character or per text: line
// tables, blank scanning, word-character tests and the code-page converters. The corpus is
// real source text (C headers of the system and a Python module with Western letters),
// repeated to the size under test; it is read once, outside the timed loops.
#include <benchmark/benchmark.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "syntax/qvStrUtils.h"

namespace {

using namespace qv;

// The corpus as UTF-16, truncated or repeated to `size` units.
std::u16string CorpusText(size_t size) {
  static const std::u16string whole = [] {
    std::string utf8;
    for (const char* path : {"/usr/include/stdio.h", "/usr/include/stdlib.h",
                             "/usr/include/string.h", "/usr/lib/python3.11/shlex.py"}) {
      std::ifstream in(path, std::ios::binary);
      std::ostringstream out;
      out << in.rdbuf();
      utf8 += out.str();
    }
    return Utf8ToWide(utf8);
  }();
  std::u16string text;
  if (whole.empty()) return text;
  while (text.size() < size) text += whole;
  text.resize(size);
  return text;
}

void BM_GetLineStarts(benchmark::State& state) {
  const std::u16string text = CorpusText(state.range(0));
  std::vector<int> starts;
  for (auto _ : state) benchmark::DoNotOptimize(GetLineStarts(text, &starts));
  state.SetBytesProcessed(state.iterations() * text.size() * sizeof(char16_t));
}

// Scans the whole text the way a tokenizer does between tokens: blanks and lines, then one
// character of a token.
void BM_SkipSpacesAndLines(benchmark::State& state) {
  const std::u16string text = CorpusText(state.range(0));
  for (auto _ : state) {
    int lines = 0;
    int pos = 1;
    while (true) {
      const int r = SkipSpacesAndLines(text, pos);
      if (r < 0) break;
      lines += r;
      ++pos;
    }
    benchmark::DoNotOptimize(lines);
  }
  state.SetBytesProcessed(state.iterations() * text.size() * sizeof(char16_t));
}

void BM_IsWordChar16(benchmark::State& state) {
  const std::u16string text = CorpusText(state.range(0));
  for (auto _ : state) {
    int words = 0;
    for (char16_t c : text) words += IsWordChar(c);
    benchmark::DoNotOptimize(words);
  }
  state.SetBytesProcessed(state.iterations() * text.size() * sizeof(char16_t));
}

void BM_IsWordChar8(benchmark::State& state) {
  const std::string text = WideToMultiByte(CorpusText(state.range(0)), 1252);
  for (auto _ : state) {
    int words = 0;
    for (char c : text) words += IsWordChar(c);
    benchmark::DoNotOptimize(words);
  }
  state.SetBytesProcessed(state.iterations() * text.size());
}

// Bytes processed are the 8-bit side in both directions, so decode and encode compare.
void BM_MultiByteToWide(benchmark::State& state, int codePage) {
  const std::string bytes = WideToMultiByte(CorpusText(state.range(0)), codePage);
  for (auto _ : state) benchmark::DoNotOptimize(MultiByteToWide(bytes, codePage));
  state.SetBytesProcessed(state.iterations() * bytes.size());
}

void BM_WideToMultiByte(benchmark::State& state, int codePage) {
  const std::u16string text = CorpusText(state.range(0));
  const size_t bytes = WideToMultiByte(text, codePage).size();
  for (auto _ : state) benchmark::DoNotOptimize(WideToMultiByte(text, codePage));
  state.SetBytesProcessed(state.iterations() * bytes);
}

void BM_Utf8ToWide(benchmark::State& state) {
  const std::string bytes = WideToUtf8(CorpusText(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(Utf8ToWide(bytes));
  state.SetBytesProcessed(state.iterations() * bytes.size());
}

void BM_WideToUtf8(benchmark::State& state) {
  const std::u16string text = CorpusText(state.range(0));
  const size_t bytes = WideToUtf8(text).size();
  for (auto _ : state) benchmark::DoNotOptimize(WideToUtf8(text));
  state.SetBytesProcessed(state.iterations() * bytes);
}

constexpr int64_t kMin = 1 << 10;
constexpr int64_t kMax = 1 << 20;

BENCHMARK(BM_GetLineStarts)->Range(kMin, kMax);
BENCHMARK(BM_SkipSpacesAndLines)->Range(kMin, kMax);
BENCHMARK(BM_IsWordChar16)->Range(kMin, kMax);
BENCHMARK(BM_IsWordChar8)->Range(kMin, kMax);
BENCHMARK_CAPTURE(BM_MultiByteToWide, cp1252, 1252)->Range(kMin, kMax);
BENCHMARK_CAPTURE(BM_MultiByteToWide, cp932, 932)->Range(kMin, kMax);
BENCHMARK_CAPTURE(BM_MultiByteToWide, cp65001, 65001)->Range(kMin, kMax);
BENCHMARK_CAPTURE(BM_WideToMultiByte, cp1252, 1252)->Range(kMin, kMax);
BENCHMARK_CAPTURE(BM_WideToMultiByte, cp932, 932)->Range(kMin, kMax);
BENCHMARK_CAPTURE(BM_WideToMultiByte, cp65001, 65001)->Range(kMin, kMax);
BENCHMARK(BM_Utf8ToWide)->Range(kMin, kMax);
BENCHMARK(BM_WideToUtf8)->Range(kMin, kMax);

}  // namespace

BENCHMARK_MAIN();
