// The expression engine on the expressions lexers use, side by side with PCRE2's interpreter
// (no JIT) on the same patterns and the same subjects in one run.
//
// Corpus: real source files of the machine (C and C++ headers, a Python module, HTML
// documentation), each read once, converted to the system code page (1252) for the 8-bit
// entry and back to UTF-16 for the wide entry, so that both texts hold the same characters.
// Token starts: every non-blank position that does not continue a run of word characters,
// which is where a lexer tries its rules (after a blank, at each punctuation character, at
// the first character of a word or number).
//
// Per pattern:
//   BM_Match/<name>        our MatchLength at every token start of the 8-bit text
//   BM_MatchPcre2/<name>   pcre2_match anchored at the same offsets of the same bytes
//   BM_MatchWide/<name>    our MatchLengthWide at the same starts of the UTF-16 text
//   BM_Compile/<name>      our SetExpression + Compile
//   BM_CompilePcre2/<name> pcre2_compile + pcre2_code_free
// Our expressions use the lexer rules' modifiers (i g m x on, r s off), with s on where the
// pattern needs it; PCRE2 gets the equivalent options (ANCHORED at match time, MULTILINE,
// CASELESS, EXTENDED, DOTALL for s, CR and LF as line breaks).
//
// The counter "per_match" is CPU time per attempted match. After the run a summary prints,
// per pattern, our time per match, PCRE2's, their ratio (ours / PCRE2; below 1 we are
// faster), the wide entry's time and the compile costs. With --benchmark_repetitions the
// summary uses the medians. Setup also checks that both engines give the same lengths at
// every start, and that the wide entry gives the lengths of the 8-bit one; the counter
// "differ" counts the starts where they do not (0 expected).
#include <benchmark/benchmark.h>

#define PCRE2_CODE_UNIT_WIDTH 8
#include <pcre2.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "syntax/qvStrUtils.h"
#include "syntax/qvZRegExpr.h"
#include "tests/support/RealFiles.h"

namespace {

using namespace qv;

constexpr int kCodePage = 1252;

struct TPattern {
  const char* Name;
  std::u16string Ours;  // our expression text
  bool DotAll;          // s on for ours, PCRE2_DOTALL for PCRE2
  std::string Pcre2;    // the same expression in PCRE2's syntax
};

const char* const kKeywords[] = {
    "alignas",   "alignof", "asm",      "auto",      "bool",     "break",    "case",      "catch",
    "char",      "class",   "const",    "constexpr", "continue", "decltype", "default",   "delete",
    "do",        "double",  "else",     "enum",      "explicit", "extern",   "false",     "float",
    "for",       "friend",  "goto",     "if",        "inline",   "int",      "long",      "mutable",
    "namespace", "new",     "noexcept", "nullptr",   "operator", "private",  "protected", "public",
    "register",  "return",  "short",    "signed",    "sizeof",   "static",   "struct",    "switch",
    "template",  "this"};
static_assert(std::size(kKeywords) == 50);

// The keyword alternation, written with blanks between the words (x applies on both sides).
std::string KeywordPattern() {
  std::string s = "(";
  for (size_t i = 0; i < std::size(kKeywords); ++i)
    s += (i ? " | " : "") + std::string(kKeywords[i]);
  return s + ")\\b";
}

std::u16string Ascii16(const std::string& s) { return std::u16string(s.begin(), s.end()); }

const std::vector<TPattern>& Patterns() {
  static const std::vector<TPattern> patterns = [] {
    std::vector<TPattern> p;
    auto add = [&](const char* name, const std::string& text, bool dotAll) {
      p.push_back({name, Ascii16(text), dotAll, text});
    };
    add("identifier", R"([a-z_]\w*)", false);
    add("number", R"(\d+(\.\d+)?([eE][+\-]?\d+)?)", false);
    add("string", R"re("(\\.|[^"\\])*")re", false);
    add("block_comment", R"(/\*.*?\*/)", true);
    add("keywords50", KeywordPattern(), false);
    add("html_tag", R"(<[a-z][^>]*>)", false);
    return p;
  }();
  return patterns;
}

// --- Corpus -------------------------------------------------------------------------------

struct TCorpus {
  std::string Text8;        // code page 1252
  std::u16string Text16;    // the same characters, one unit each
  std::vector<int> Starts;  // 1-based token starts
};

bool IsBlank(uint8_t c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v';
}
bool IsWordByte(uint8_t c) {
  return c == '_' || (c >= '0' && c <= '9') || ((c | 0x20) >= 'a' && (c | 0x20) <= 'z');
}

const TCorpus& Corpus() {
  static const TCorpus corpus = [] {
    std::vector<std::string> paths = {
        "/usr/include/stdio.h",
        "/usr/include/stdlib.h",
        "/usr/include/string.h",
        "/usr/include/c++/12/bits/stl_vector.h",
        test::PythonLibFile("tokenize.py"),
        "/usr/share/doc/python3/python-policy.html",
        "/usr/share/doc/zlib1g-dev/examples/zlib_how.html",
    };
    std::string utf8;
    for (const auto& path : paths) {
      if (path.empty()) continue;
      const std::string bytes = test::ReadFile(path);
      if (!bytes.empty()) utf8 += bytes + "\n";
    }
    if (utf8.empty()) throw std::runtime_error("no corpus file found");
    TCorpus c;
    c.Text8 = WideToMultiByte(Utf8ToWide(utf8), kCodePage);
    c.Text16 = MultiByteToWide(c.Text8, kCodePage);
    if (c.Text16.size() != c.Text8.size()) throw std::runtime_error("corpus does not line up");
    const auto* t = reinterpret_cast<const uint8_t*>(c.Text8.data());
    for (size_t i = 0; i < c.Text8.size(); ++i) {
      if (IsBlank(t[i])) continue;
      if (i > 0 && IsWordByte(t[i]) && IsWordByte(t[i - 1])) continue;
      c.Starts.push_back(static_cast<int>(i) + 1);
    }
    return c;
  }();
  return corpus;
}

// --- The two engines ----------------------------------------------------------------------

// Our expression with the lexer rules' modifiers, compiled.
void Prepare(TqvRegExpr& re, const TPattern& pattern) {
  re.SetModifier(MaskModR | MaskModS, false);  // 59 → 57: (?igmx-rs)
  if (pattern.DotAll) re.SetModifier(MaskModS, true);
  re.SetExpression(pattern.Ours);
  if (!re.Compile()) throw std::runtime_error(std::string("does not compile: ") + pattern.Name);
}

pcre2_compile_context* Pcre2Context() {
  static pcre2_compile_context* context = [] {
    pcre2_compile_context* c = pcre2_compile_context_create(nullptr);
    pcre2_set_newline(c, PCRE2_NEWLINE_ANYCRLF);  // CR and LF are line breaks, as ours
    return c;
  }();
  return context;
}

uint32_t Pcre2Options(const TPattern& pattern) {
  return PCRE2_MULTILINE | PCRE2_CASELESS | PCRE2_EXTENDED | (pattern.DotAll ? PCRE2_DOTALL : 0);
}

pcre2_code* CompilePcre2(const TPattern& pattern) {
  int error;
  PCRE2_SIZE offset;
  pcre2_code* code =
      pcre2_compile(reinterpret_cast<PCRE2_SPTR>(pattern.Pcre2.data()), pattern.Pcre2.size(),
                    Pcre2Options(pattern), &error, &offset, Pcre2Context());
  if (!code) throw std::runtime_error(std::string("PCRE2 does not compile: ") + pattern.Name);
  return code;
}

// Length of PCRE2's anchored match at the 1-based pos, 0 for none.
int Pcre2Length(pcre2_code* code, pcre2_match_data* data, const std::string& text, int pos) {
  const int rc = pcre2_match(code, reinterpret_cast<PCRE2_SPTR>(text.data()), text.size(),
                             static_cast<PCRE2_SIZE>(pos - 1), PCRE2_ANCHORED, data, nullptr);
  if (rc <= 0) return 0;
  const PCRE2_SIZE* ov = pcre2_get_ovector_pointer(data);
  return static_cast<int>(ov[1] - ov[0]);
}

struct TPcre2 {
  explicit TPcre2(const TPattern& pattern)
      : Code(CompilePcre2(pattern)), Data(pcre2_match_data_create_from_pattern(Code, nullptr)) {}
  ~TPcre2() {
    pcre2_match_data_free(Data);
    pcre2_code_free(Code);
  }
  TPcre2(const TPcre2&) = delete;
  TPcre2& operator=(const TPcre2&) = delete;
  pcre2_code* Code;
  pcre2_match_data* Data;
};

// Starts where PCRE2 (or, for wide, our wide entry) gives another length than our 8-bit
// entry; computed once per pattern.
int Differences(const TPattern& pattern, bool wide) {
  static std::map<std::pair<std::string, bool>, int> known;
  const auto key = std::make_pair(std::string(pattern.Name), wide);
  if (auto it = known.find(key); it != known.end()) return it->second;
  const TCorpus& c = Corpus();
  TqvRegExpr re;
  Prepare(re, pattern);
  TPcre2 pcre(pattern);
  int differ = 0;
  for (int pos : c.Starts) {
    const int other = wide ? re.MatchLengthWide(c.Text16, pos, false)
                           : Pcre2Length(pcre.Code, pcre.Data, c.Text8, pos);
    if (re.MatchLength(c.Text8, pos, false) != other) ++differ;
  }
  return known[key] = differ;
}

// Time per attempted match: the rate of matches inverted (shown in seconds with a prefix).
void SetPerMatch(benchmark::State& state, size_t matchesPerIteration) {
  state.counters["per_match"] = benchmark::Counter(
      static_cast<double>(matchesPerIteration),
      benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

// --- Matching -----------------------------------------------------------------------------

// Runs one length function at every token start per iteration and reports the time per
// attempted match, the bytes matched and the disagreements with the reference engine.
template <class TLength>
void RunMatches(benchmark::State& state, const TPattern* pattern, bool wide,
                const TLength& length) {
  const TCorpus& c = Corpus();
  int64_t matched = 0;
  for (auto _ : state) {
    int64_t total = 0;
    for (int pos : c.Starts) total += length(pos);
    benchmark::DoNotOptimize(total);
    matched = total;
  }
  SetPerMatch(state, c.Starts.size());
  state.counters["matched_bytes"] = static_cast<double>(matched);
  state.counters["differ"] = Differences(*pattern, wide);
}

void BM_Match(benchmark::State& state, const TPattern* pattern) {
  TqvRegExpr re;
  Prepare(re, *pattern);
  const TCorpus& c = Corpus();
  RunMatches(state, pattern, false, [&](int pos) { return re.MatchLength(c.Text8, pos, false); });
}

void BM_MatchPcre2(benchmark::State& state, const TPattern* pattern) {
  TPcre2 pcre(*pattern);
  const TCorpus& c = Corpus();
  RunMatches(state, pattern, false,
             [&](int pos) { return Pcre2Length(pcre.Code, pcre.Data, c.Text8, pos); });
}

void BM_MatchWide(benchmark::State& state, const TPattern* pattern) {
  TqvRegExpr re;
  Prepare(re, *pattern);
  const TCorpus& c = Corpus();
  RunMatches(state, pattern, true,
             [&](int pos) { return re.MatchLengthWide(c.Text16, pos, false); });
}

// --- Compiling ----------------------------------------------------------------------------

void BM_Compile(benchmark::State& state, const TPattern* pattern) {
  TqvRegExpr re;
  Prepare(re, *pattern);
  for (auto _ : state) {
    re.SetExpression(pattern->Ours);  // discards the tree
    benchmark::DoNotOptimize(re.Compile());
  }
}

void BM_CompilePcre2(benchmark::State& state, const TPattern* pattern) {
  for (auto _ : state) pcre2_code_free(CompilePcre2(*pattern));
}

// --- Pathological expressions ---------------------------------------------------------------
// Backtracking-heavy expressions against a run of "a" without the final "c". Our engine
// walks every combination (the step budget is what bounds it in an editor); PCRE2 notices
// first that the subject holds no "c" and gives up at once, so these show our worst case
// rather than a like-for-like comparison.

const std::string& RunOfA() {
  static const std::string run(24, 'a');
  return run;
}

void BM_Pathological(benchmark::State& state, const char* expression) {
  TqvRegExpr re;
  re.SetModifier(MaskModR | MaskModS, false);
  re.SetExpression(Ascii16(expression));
  re.Compile();
  for (auto _ : state) benchmark::DoNotOptimize(re.MatchLength(RunOfA(), 1, false));
}

void BM_PathologicalPcre2(benchmark::State& state, const char* expression) {
  const TPattern pattern{expression, u"", false, expression};
  TPcre2 pcre(pattern);
  for (auto _ : state) benchmark::DoNotOptimize(Pcre2Length(pcre.Code, pcre.Data, RunOfA(), 1));
}

// Nested alternatives under a star.
BENCHMARK_CAPTURE(BM_Pathological, AltStar, "(a|aa)*c");
BENCHMARK_CAPTURE(BM_PathologicalPcre2, AltStar, "(a|aa)*c");
// Stars in a row over the same character: polynomial in the run length.
BENCHMARK_CAPTURE(BM_Pathological, StarChain, "a*a*a*a*c")->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_PathologicalPcre2, StarChain, "a*a*a*a*c");

// --- Summary ------------------------------------------------------------------------------

// The console output, then a table of the per-pattern figures: medians when the run has
// repetitions, else the single measurement.
class TSummaryReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& reports) override {
    ConsoleReporter::ReportRuns(reports);
    for (const Run& run : reports) {
      if (run.error_occurred) continue;
      const std::string name = run.run_name.str();
      const double cpu = run.GetAdjustedCPUTime() * Nanoseconds(run.time_unit);
      if (run.run_type == Run::RT_Aggregate) {
        if (run.aggregate_name == "median") FMedian[name] = cpu;
      } else {
        FSamples[name].push_back(cpu);
      }
    }
  }

  void Finalize() override {
    ConsoleReporter::Finalize();
    const double starts = static_cast<double>(Corpus().Starts.size());
    std::FILE* out = stdout;
    std::fflush(out);
    GetOutputStream().flush();
    std::fprintf(out, "\nCorpus: %zu bytes, %zu token starts. CPU time, %s.\n",
                 Corpus().Text8.size(), Corpus().Starts.size(),
                 FMedian.empty() ? "one measurement" : "medians");
    std::fprintf(out, "%-14s %10s %10s %7s %10s %12s %12s %7s\n", "pattern", "ours ns", "pcre2 ns",
                 "ratio", "wide ns", "compile ns", "pcre2 comp", "c.ratio");
    for (const TPattern& p : Patterns()) {
      const std::string n = p.Name;
      const double ours = Value("BM_Match/" + n) / starts;
      const double pcre = Value("BM_MatchPcre2/" + n) / starts;
      const double wide = Value("BM_MatchWide/" + n) / starts;
      const double comp = Value("BM_Compile/" + n);
      const double pcomp = Value("BM_CompilePcre2/" + n);
      if (std::isnan(ours) && std::isnan(pcre) && std::isnan(comp)) continue;  // not run (filtered)
      std::fprintf(out, "%-14s %10.2f %10.2f %7.3f %10.2f %12.0f %12.0f %7.3f\n", p.Name, ours,
                   pcre, ours / pcre, wide, comp, pcomp, comp / pcomp);
    }
    std::fflush(out);
  }

 private:
  static double Nanoseconds(benchmark::TimeUnit unit) {
    switch (unit) {
      case benchmark::kNanosecond:
        return 1;
      case benchmark::kMicrosecond:
        return 1e3;
      case benchmark::kMillisecond:
        return 1e6;
      case benchmark::kSecond:
        return 1e9;
    }
    return 1;
  }
  // Time per iteration in ns, NaN when the benchmark did not run.
  double Value(const std::string& name) const {
    if (auto it = FMedian.find(name); it != FMedian.end()) return it->second;
    auto it = FSamples.find(name);
    if (it == FSamples.end() || it->second.empty()) return std::numeric_limits<double>::quiet_NaN();
    std::vector<double> v = it->second;
    std::nth_element(v.begin(), v.begin() + v.size() / 2, v.end());
    return v[v.size() / 2];
  }
  std::map<std::string, double> FMedian;
  std::map<std::string, std::vector<double>> FSamples;
};

void RegisterPatterns() {
  for (const TPattern& p : Patterns()) {
    const std::string n = p.Name;
    benchmark::RegisterBenchmark(("BM_Match/" + n).c_str(), BM_Match, &p)
        ->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark(("BM_MatchPcre2/" + n).c_str(), BM_MatchPcre2, &p)
        ->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark(("BM_MatchWide/" + n).c_str(), BM_MatchWide, &p)
        ->Unit(benchmark::kMicrosecond);
  }
  for (const TPattern& p : Patterns()) {
    const std::string n = p.Name;
    benchmark::RegisterBenchmark(("BM_Compile/" + n).c_str(), BM_Compile, &p);
    benchmark::RegisterBenchmark(("BM_CompilePcre2/" + n).c_str(), BM_CompilePcre2, &p);
  }
}

}  // namespace

int main(int argc, char** argv) {
  RegisterPatterns();
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  TSummaryReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
