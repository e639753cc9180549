// Reading and writing a lexer-sized object: a root holding 200 rule-like collection items
// (an expression, a style name, a few ordinals, a nested object and a reference each), a
// ten-line string list and a few child components; the same shapes a lexer file has. Each
// benchmark reports the file's size; the text ones are the load and save paths of a lexer
// file (text <-> binary <-> object), the others split the cost into its steps.
#include <benchmark/benchmark.h>

#include <string>

#include "framework/ComponentStream.h"
#include "framework/ObjectText.h"
#include "tests/support/StreamProbes.h"

namespace {

using namespace qv;
using test::TLeaf;
using test::TProbeItem;
using test::TProbeRoot;

constexpr int RuleCount = 200;

void Populate(TProbeRoot& root) {
  root.SetName("Lexer1");
  root.SetKinds({test::kdBeta});
  for (int i = 0; i < 10; ++i) root.Lines()->Add("Token type " + std::to_string(i));
  for (int i = 0; i < 5; ++i) (new TLeaf(&root))->SetName("Style" + std::to_string(i));
  for (int i = 0; i < RuleCount; ++i) {
    auto* item = static_cast<TProbeItem*>(root.Items()->Add());
    item->SetCaption("\\b(begin|end|if|then|else|while|do|rule" + std::to_string(i) +
                     ")\\b|[a-z_][a-z0-9_]*|'([^']|'')*'");
    item->SetValue(i % 7);
    item->SetEnabled(i % 5 != 0);
    item->Look()->SetName("Style" + std::to_string(i % 5));
    item->Look()->Inner()->SetDepth(i % 3);
    item->SetLink(root.Components(i % 5));
  }
}

std::string Text() {
  test::RegisterProbeClasses();
  TProbeRoot root(nullptr);
  Populate(root);
  TMemoryStream out;
  WriteComponentText(out, &root);
  return out.DataString();
}

std::string Binary() {
  TMemoryStream in(Text()), out;
  ObjectTextToBinary(in, out);
  return out.DataString();
}

void BM_WriteText(benchmark::State& state) {
  test::RegisterProbeClasses();
  TProbeRoot root(nullptr);
  Populate(root);
  size_t bytes = 0;
  for (auto _ : state) {
    TMemoryStream out;
    WriteComponentText(out, &root);
    bytes = static_cast<size_t>(out.Size());
  }
  state.counters["file_bytes"] = static_cast<double>(bytes);
}
BENCHMARK(BM_WriteText)->Unit(benchmark::kMicrosecond);

void BM_ReadText(benchmark::State& state) {
  const std::string text = Text();
  for (auto _ : state) {
    TProbeRoot root(nullptr);
    TMemoryStream in(text);
    ReadComponentText(in, &root);
    benchmark::DoNotOptimize(root.Items()->Count());
  }
  state.counters["file_bytes"] = static_cast<double>(text.size());
}
BENCHMARK(BM_ReadText)->Unit(benchmark::kMicrosecond);

void BM_WriteBinary(benchmark::State& state) {
  test::RegisterProbeClasses();
  TProbeRoot root(nullptr);
  Populate(root);
  for (auto _ : state) {
    TMemoryStream out;
    WriteComponentBinary(out, &root);
    benchmark::DoNotOptimize(out.Size());
  }
}
BENCHMARK(BM_WriteBinary)->Unit(benchmark::kMicrosecond);

void BM_ReadBinary(benchmark::State& state) {
  const std::string binary = Binary();
  for (auto _ : state) {
    TProbeRoot root(nullptr);
    TMemoryStream in(binary);
    TComponentReader reader(in);
    reader.ReadRootComponent(&root);
    benchmark::DoNotOptimize(root.Items()->Count());
  }
  state.counters["binary_bytes"] = static_cast<double>(binary.size());
}
BENCHMARK(BM_ReadBinary)->Unit(benchmark::kMicrosecond);

void BM_TextToBinary(benchmark::State& state) {
  const std::string text = Text();
  for (auto _ : state) {
    TMemoryStream in(text), out;
    ObjectTextToBinary(in, out);
    benchmark::DoNotOptimize(out.Size());
  }
}
BENCHMARK(BM_TextToBinary)->Unit(benchmark::kMicrosecond);

void BM_BinaryToText(benchmark::State& state) {
  const std::string binary = Binary();
  for (auto _ : state) {
    TMemoryStream in(binary), out;
    ObjectBinaryToText(in, out);
    benchmark::DoNotOptimize(out.Size());
  }
}
BENCHMARK(BM_BinaryToText)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
