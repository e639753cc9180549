// Bundled lexers on real files: see tests/support/BundledLexers.h.
#include "tests/support/BundledLexers.h"

#include "syntax/qvSyntStyles.h"

namespace qv::test {
namespace {

constexpr uintmax_t kMaxBytes = 256 * 1024;
const char* const kSwigExamples = "/usr/share/doc/swig4.0-examples/Examples";

// Several directories' picks joined, each spread over its own tree.
std::vector<std::string> Pick(const std::vector<std::string>& dirs, const std::vector<std::string>& suffixes,
                              size_t perDir) {
  std::vector<std::string> all;
  for (const std::string& dir : dirs) {
    const std::vector<std::string> found = FindFiles(dir, suffixes, perDir, kMaxBytes);
    all.insert(all.end(), found.begin(), found.end());
  }
  return all;
}

// The C headers of the C library and of the kernel interface.
std::vector<std::string> CHeaders() {
  return Pick({"/usr/include/x86_64-linux-gnu/bits", "/usr/include/x86_64-linux-gnu/sys", "/usr/include/linux",
               "/usr/include/asm-generic", "/usr/include/netinet"},
              {".h"}, 10);
}

// The C++ standard library headers (most have no extension) and the test framework's headers.
// The pb_ds detail files are fragments included into the middle of a class, not headers.
std::vector<std::string> CppHeaders() {
  std::vector<std::string> files;
  for (const std::string& f : FindFiles("/usr/include/c++/12", {""}, 60, kMaxBytes))
    if (f.find("/pb_ds/detail/") == std::string::npos) files.push_back(f);
  const std::vector<std::string> gtest = FindFiles("/usr/include/gtest", {".h"}, 8, kMaxBytes);
  files.insert(files.end(), gtest.begin(), gtest.end());
  return files;
}

std::vector<std::string> JavaFiles() { return FindFiles(kSwigExamples, {".java"}, 40, kMaxBytes); }

std::vector<std::string> CSharpFiles() {
  std::vector<std::string> files = FindFiles(kSwigExamples, {".cs"}, 30, kMaxBytes);
  const std::string gyp = "/usr/lib/node_modules/npm/node_modules/node-gyp/lib/Find-VisualStudio.cs";
  if (std::filesystem::exists(gyp)) files.push_back(gyp);
  return files;
}

// One token as a test sees it.
struct TTok {
  std::string Text, Rule, Style;
  int Type = 0;
};

std::vector<TTok> Tokens(const TBundledAnalysis& a) {
  std::vector<TTok> out;
  for (int i = 0; i < a.Client->TokenCount(); ++i) {
    const TSyntToken* t = a.Client->Tags(i);
    TTok k;
    k.Text = WideToUtf8(a.Client->TagStr(i));
    k.Rule = t->Rule ? t->Rule->DisplayName() : "";
    k.Style = t->Rule && t->Rule->Style() ? t->Rule->Style()->DisplayName() : "";
    k.Type = t->TokenType;
    out.push_back(k);
  }
  return out;
}

// The style of the only token with this text ("" when none or several).
std::string StyleOf(const std::vector<TTok>& tokens, const std::string& text) {
  std::string style;
  int count = 0;
  for (const TTok& t : tokens)
    if (t.Text == text) {
      style = t.Style;
      ++count;
    }
  return count == 1 ? style : "<" + std::to_string(count) + " tokens " + text + ">";
}

// The ranges of one rule: closed ones as "first-last" token texts, open ones as "first-open".
std::vector<std::string> RangesOf(const TBundledAnalysis& a, const std::string& rule) {
  std::vector<std::string> out;
  for (int i = 0; i < a.Client->RangeCount(); ++i) {
    const TTextRange* r = a.Client->Ranges(i);
    if (!r->Rule || r->Rule->DisplayName() != rule) continue;
    out.push_back(WideToUtf8(a.Client->TagStr(r->StartIdx)) + "-" +
                  (r->IsClosed() ? WideToUtf8(a.Client->TagStr(r->EndIdx)) : std::string("open")));
  }
  return out;
}

struct TRun {
  explicit TRun(const std::string& lexer, const std::u16string& text) : A(lexer, text) {
    A.Run();
    Toks = Tokens(A);
  }
  TBundledAnalysis A;
  std::vector<TTok> Toks;
};

// Every file is covered by tokens and leaves no range open; over all files, reserved words
// are marked and braces make ranges.
void ExpectRealFiles(const std::string& lexer, const std::vector<std::string>& files, size_t atLeast) {
  ASSERT_GE(files.size(), atLeast) << "too few real files for " << lexer;
  int keywords = 0, braces = 0;
  for (const std::string& f : files) {
    SCOPED_TRACE(f);
    TRun r(lexer, ReadText(f));
    const TUncovered u = Uncovered(r.A);
    EXPECT_EQ(u.Count, 0) << "first uncovered: " << ::testing::PrintToString(u.First);
    const std::vector<std::string> open = OpenRanges(r.A);
    EXPECT_TRUE(open.empty()) << ::testing::PrintToString(open);
    for (const TTok& t : r.Toks) keywords += t.Style == "Keyword";
    braces += static_cast<int>(RangesOf(r.A, "Brace open").size());
  }
  EXPECT_GT(keywords, static_cast<int>(files.size()));
  EXPECT_GT(braces, 0);
}

// The smallest file of the list that is at least minBytes long.
std::string SmallFile(const std::vector<std::string>& files, uintmax_t minBytes) {
  std::string best;
  uintmax_t bestSize = 0;
  for (const std::string& f : files) {
    const uintmax_t size = std::filesystem::file_size(f);
    if (size >= minBytes && size <= 30 * 1024 && (best.empty() || size < bestSize)) {
      best = f;
      bestSize = size;
    }
  }
  return best;
}

const std::vector<std::u16string> kCPieces = {u"{", u"}", u"/*", u"*/", u"\"", u"'", u"#if X\n", u"#endif\n",
                                              u"#else\n", u"\\\n", u"int x = 0x1F;\n", u"R\"(", u"//"};

// --- C ---

TEST(CFamilyC, RealHeaders) { ExpectRealFiles("C", CHeaders(), 40); }

TEST(CFamilyC, EditsMatchFresh) {
  const std::string file = SmallFile(CHeaders(), 8 * 1024);
  ASSERT_FALSE(file.empty());
  ExpectEditsMatchFresh("C", file, kCPieces, 11, 10);
}

TEST(CFamilyC, Golden) { ExpectGolden("C", "c.c"); }

TEST(CFamilyC, KeywordsTypesAndLiterals) {
  TRun r("C", u"static _Atomic unsigned long n = 0x1p-3 + 1'000u + 07 + .5e+2f;\n"
              "_Bool ok = true; char *s = u8\"a\\\"b\"; int c = L'\\'';\n");
  EXPECT_EQ(StyleOf(r.Toks, "static"), "Keyword");
  EXPECT_EQ(StyleOf(r.Toks, "_Atomic"), "Keyword");
  EXPECT_EQ(StyleOf(r.Toks, "true"), "Keyword");
  EXPECT_EQ(StyleOf(r.Toks, "unsigned"), "Type");
  EXPECT_EQ(StyleOf(r.Toks, "_Bool"), "Type");
  EXPECT_EQ(StyleOf(r.Toks, "n"), "");
  for (const char* number : {"0x1p-3", "1'000u", "07", ".5e+2f"}) EXPECT_EQ(StyleOf(r.Toks, number), "Number");
  EXPECT_EQ(StyleOf(r.Toks, "u8\"a\\\"b\""), "String");
  EXPECT_EQ(StyleOf(r.Toks, "L'\\''"), "String");
}

TEST(CFamilyC, PreprocessorLines) {
  TRun r("C", u"#define MAX(a, b) \\\n  ((a) > (b) ? (a) : (b)) /* max\n of two */\n"
              "  #  include \"x.h\" // here\nint x;\n");
  ASSERT_GE(r.Toks.size(), 2u);
  EXPECT_EQ(r.Toks[0].Text, "#define MAX(a, b) \\\n  ((a) > (b) ? (a) : (b)) /* max\n of two */");
  EXPECT_EQ(r.Toks[0].Style, "Preprocessor");
  EXPECT_EQ(r.Toks[0].Type, 9);
  EXPECT_EQ(r.Toks[1].Text, "#  include \"x.h\" // here");
  EXPECT_EQ(StyleOf(r.Toks, "int"), "Type");
}

TEST(CFamilyC, ConditionalsAndBraces) {
  // Each branch repeats the opening brace; only the first branch's braces count.
  TRun r("C", u"#ifdef __cplusplus\nextern \"C\" {\n#endif\n"
              "#if A\nint f(void) {\n#elif B\nlong f(void) {\n#else\nvoid f(void) {\n#endif\n"
              "  if (x) { y(); }\n}\n"
              "#ifdef __cplusplus\n}\n#endif\n");
  EXPECT_TRUE(OpenRanges(r.A).empty()) << ::testing::PrintToString(OpenRanges(r.A));
  EXPECT_EQ(RangesOf(r.A, "Brace open"), (std::vector<std::string>{"{-}", "{-}", "{-}"}));
  EXPECT_EQ(RangesOf(r.A, "Conditional"),
            (std::vector<std::string>{"#ifdef __cplusplus-#endif", "#if A-#endif", "#ifdef __cplusplus-#endif"}));
  int branchBraces = 0;
  for (const TTok& t : r.Toks) branchBraces += t.Rule == "Branch brace";
  EXPECT_EQ(branchBraces, 2);
  // A conditional nested in an #else branch ends that branch only at the outer #endif.
  TRun n("C", u"#if A\nint f(void) {\n#else\n#ifdef B\nint g(void) {\n#endif\nint f(void) {\n#endif\n}\n");
  EXPECT_TRUE(OpenRanges(n.A).empty()) << ::testing::PrintToString(OpenRanges(n.A));
  EXPECT_EQ(RangesOf(n.A, "Brace open"), (std::vector<std::string>{"{-}"}));
  EXPECT_EQ(RangesOf(n.A, "Conditional"), (std::vector<std::string>{"#if A-#endif", "#ifdef B-#endif"}));
}

// --- C++ ---

TEST(CFamilyCpp, RealHeaders) { ExpectRealFiles("C++", CppHeaders(), 50); }

TEST(CFamilyCpp, EditsMatchFresh) {
  const std::string file = SmallFile(CppHeaders(), 10 * 1024);
  ASSERT_FALSE(file.empty());
  ExpectEditsMatchFresh("C++", file, kCPieces, 23, 10);
}

TEST(CFamilyCpp, Golden) { ExpectGolden("C++", "cpp.cpp"); }

TEST(CFamilyCpp, RawStringsAndLiterals) {
  TRun r("C++", u"auto a = R\"x(one \" )\" two)x\"; auto b = LR\"(c)\"; auto c = u8R\"--(d)-)--\";\n"
                u"auto d = 0b1'0 + 1'000.5e3 + 0x1'FFull; co_await x; char8_t e;\n");
  EXPECT_EQ(StyleOf(r.Toks, "R\"x(one \" )\" two)x\""), "String");
  EXPECT_EQ(StyleOf(r.Toks, "LR\"(c)\""), "String");
  EXPECT_EQ(StyleOf(r.Toks, "u8R\"--(d)-)--\""), "String");
  for (const char* number : {"0b1'0", "1'000.5e3", "0x1'FFull"}) EXPECT_EQ(StyleOf(r.Toks, number), "Number");
  EXPECT_EQ(StyleOf(r.Toks, "co_await"), "Keyword");
  EXPECT_EQ(StyleOf(r.Toks, "char8_t"), "Type");
  EXPECT_EQ(r.Toks.back().Text, ";");
}

// --- Java ---

TEST(CFamilyJava, RealFiles) { ExpectRealFiles("Java", JavaFiles(), 30); }

TEST(CFamilyJava, EditsMatchFresh) {
  const std::string file = SmallFile(JavaFiles(), 2 * 1024);
  ASSERT_FALSE(file.empty());
  ExpectEditsMatchFresh("Java", file, {u"{", u"}", u"\"", u"\"\"\"", u"/*", u"*/", u"@Override ", u"'"}, 5, 8);
}

TEST(CFamilyJava, Golden) { ExpectGolden("Java", "java.java"); }

TEST(CFamilyJava, TextBlocksAndContextualKeywords) {
  TRun r("Java", u"sealed interface S permits A {}\n@interface Marker {}\nnon-sealed class A implements S {\n"
                 u"  @SuppressWarnings(\"x\") String t = \"\"\"\n    a \\\"\"\" b\n    \"\"\";\n"
                 u"  long n = 0x7FFF_FFFFL + 1_000 + 2.5e-3d; record R(int v) {}\n}\n");
  EXPECT_EQ(StyleOf(r.Toks, "sealed"), "Keyword");
  EXPECT_EQ(StyleOf(r.Toks, "non-sealed"), "Keyword");
  EXPECT_EQ(StyleOf(r.Toks, "permits"), "Keyword");
  EXPECT_EQ(StyleOf(r.Toks, "record"), "Keyword");
  EXPECT_EQ(StyleOf(r.Toks, "@SuppressWarnings"), "Preprocessor");
  EXPECT_EQ(StyleOf(r.Toks, "@"), "Symbol");  // of @interface, whose keyword is marked
  EXPECT_EQ(StyleOf(r.Toks, "interface"), "<2 tokens interface>");
  EXPECT_EQ(StyleOf(r.Toks, "\"\"\"\n    a \\\"\"\" b\n    \"\"\""), "String");
  for (const char* number : {"0x7FFF_FFFFL", "1_000", "2.5e-3d"}) EXPECT_EQ(StyleOf(r.Toks, number), "Number");
  EXPECT_EQ(RangesOf(r.A, "Brace open"), (std::vector<std::string>{"{-}", "{-}", "{-}", "{-}"}));
  int interfaces = 0;
  for (const TTok& t : r.Toks) interfaces += t.Text == "interface" && t.Style == "Keyword";
  EXPECT_EQ(interfaces, 2);
}

// --- C# ---

TEST(CFamilyCSharp, RealFiles) { ExpectRealFiles("C#", CSharpFiles(), 25); }

TEST(CFamilyCSharp, EditsMatchFresh) {
  const std::string file = SmallFile(CSharpFiles(), 2 * 1024);
  ASSERT_FALSE(file.empty());
  ExpectEditsMatchFresh("C#", file,
                        {u"{", u"}", u"\"", u"@\"", u"$\"", u"\"\"\"", u"/*", u"*/", u"#region R\n", u"#endregion\n"},
                        7, 8);
}

TEST(CFamilyCSharp, Golden) { ExpectGolden("C#", "csharp.cs"); }

TEST(CFamilyCSharp, StringsRegionsAndKeywords) {
  TRun r("C#", u"#region Fields\nvar p = @\"C:\\dir\\\"\"q\"\"\";\nvar s = $\"{p} {{x}}\";\n"
               u"var raw = \"\"\"\n  \"quoted\"\n  \"\"\";\n#endregion\n"
               u"#if DEBUG\nint @class = 0xFF_FF + 1_0; decimal m = 1.5m;\n#endif\n");
  EXPECT_EQ(StyleOf(r.Toks, "@\"C:\\dir\\\"\"q\"\"\""), "String");
  EXPECT_EQ(StyleOf(r.Toks, "$\"{p} {{x}}\""), "String");
  EXPECT_EQ(StyleOf(r.Toks, "\"\"\"\n  \"quoted\"\n  \"\"\""), "String");
  EXPECT_EQ(StyleOf(r.Toks, "var"), "<3 tokens var>");
  EXPECT_EQ(StyleOf(r.Toks, "decimal"), "Type");
  EXPECT_EQ(StyleOf(r.Toks, "@class"), "");
  for (const char* number : {"0xFF_FF", "1_0", "1.5m"}) EXPECT_EQ(StyleOf(r.Toks, number), "Number");
  EXPECT_EQ(RangesOf(r.A, "Region"), (std::vector<std::string>{"#region Fields-#endregion"}));
  EXPECT_EQ(RangesOf(r.A, "Conditional"), (std::vector<std::string>{"#if DEBUG-#endif"}));
}

}  // namespace
}  // namespace qv::test
