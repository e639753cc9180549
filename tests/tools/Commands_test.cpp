// The vornish tool run in process: the commands' output and exit statuses, lexer detection,
// the three output formats against the text they render, the lexer checker's findings, the
// expression playground, conversions, and inputs that cannot be analysed.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "syntax/qvStrUtils.h"
#include "tests/support/RealFiles.h"
#include "tools/Commands.h"
#include "tools/Detect.h"
#include "tools/LexerSet.h"
#include "tools/TextInput.h"

namespace qv {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

struct TRun {
  int Status;
  std::string Out;
  std::string Err;
};

TRun Tool(std::vector<std::string> args, bool terminal = false) {
  args.insert(args.begin(), "vornish");
  std::ostringstream out, err;
  const int status = RunTool(args, {out, err, terminal, false, nullptr});
  return {status, out.str(), err.str()};
}

// A file in a fresh temporary directory, removed with it.
class TTempDir {
public:
  TTempDir() {
    FPath = std::filesystem::temp_directory_path() /
            ("vornish-test-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "-" +
             std::to_string(reinterpret_cast<uintptr_t>(this)));
    std::filesystem::create_directories(FPath);
  }
  ~TTempDir() {
    std::error_code ec;
    std::filesystem::remove_all(FPath, ec);
  }
  std::string Write(const std::string& name, const std::string& bytes) const {
    const std::string path = (FPath / name).string();
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
  }
  std::string Path(const std::string& name) const { return (FPath / name).string(); }

private:
  std::filesystem::path FPath;
};

std::string HtmlUnescape(std::string s) {
  std::string r;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '&') {
      for (const auto& [entity, c] : {std::pair{"&lt;", '<'}, {"&gt;", '>'}, {"&amp;", '&'}})
        if (s.compare(i, std::strlen(entity), entity) == 0) {
          r.push_back(c);
          i += std::strlen(entity) - 1;
          goto next;
        }
    }
    r.push_back(s[i]);
  next:;
  }
  return r;
}

// The text inside <code> of the first <pre>, tags removed and entities decoded.
std::string HtmlText(const std::string& html) {
  const size_t from = html.find("<code>");
  const size_t to = html.find("</code>");
  std::string inner = html.substr(from + 6, to - from - 6);
  return HtmlUnescape(std::regex_replace(inner, std::regex("<[^>]*>"), ""));
}

// --- Output formats ----------------------------------------------------------------------------

TEST(ToolHighlight, EveryFormatRendersTheWholeTextOfARealFile) {
  const std::string path = "/usr/include/stdio.h";
  const std::string original = test::ReadFile(path);
  ASSERT_FALSE(original.empty());

  const TRun html = Tool({"highlight", "--format", "html", path});
  ASSERT_EQ(html.Status, ExitOk) << html.Err;
  EXPECT_THAT(html.Out, HasSubstr("<!DOCTYPE html>"));
  EXPECT_THAT(html.Out, HasSubstr(".vornish .vn-Comment{color:#008000;font-style:italic;}"));
  EXPECT_THAT(html.Out, HasSubstr("<span class=\"vn-Keyword\">"));
  EXPECT_EQ(HtmlText(html.Out), original);

  const TRun ansi = Tool({"highlight", "--format", "ansi", path});
  ASSERT_EQ(ansi.Status, ExitOk);
  EXPECT_THAT(ansi.Out, HasSubstr("\x1b[38;2;0;128;0;3m"));  // comments: green italic
  EXPECT_EQ(std::regex_replace(ansi.Out, std::regex("\x1b\\[[0-9;]*m"), ""), original);

  // A terminal gets ANSI without asking.
  EXPECT_EQ(Tool({"highlight", path}, true).Out, ansi.Out);

  const TRun json = Tool({"highlight", "--format", "json", path});
  ASSERT_EQ(json.Status, ExitOk);
  EXPECT_EQ(json.Out.rfind("{\"file\":\"/usr/include/stdio.h\",\"lexer\":\"C\",", 0), 0u) << json.Out.substr(0, 200);
  EXPECT_THAT(json.Out, HasSubstr("\"type\":\"Comment\",\"style\":\"Comment\"}"));
  EXPECT_THAT(json.Out, HasSubstr("\"folding\":[\n{\"start\":"));
  // One JSON token a line, as many as the token listing has.
  const TRun tokens = Tool({"tokens", path});
  const auto lines = [](const std::string& s, const std::string& lead) {
    size_t n = 0;
    for (size_t at = s.find(lead); at != std::string::npos; at = s.find(lead, at + 1)) ++n;
    return n;
  };
  EXPECT_EQ(lines(json.Out, "\n{\"start\":") - lines(json.Out, "\"range\":"), lines(tokens.Out, "\n") );
}

TEST(ToolHighlight, HtmlOptionsAndSeveralFiles) {
  TTempDir dir;
  const std::string a = dir.Write("a.c", "int a; /* <&> */\nint b;\n");
  const std::string b = dir.Write("b.py", "x = 'a'\n");

  const TRun fragment = Tool({"highlight", "--format", "html", "--fragment", "-n", a});
  ASSERT_EQ(fragment.Status, ExitOk);
  EXPECT_EQ(fragment.Out.rfind("<style>", 0), 0u);
  EXPECT_THAT(fragment.Out, Not(HasSubstr("<html>")));
  EXPECT_THAT(fragment.Out, HasSubstr("<span class=\"vn-ln\">    1 </span>"));
  EXPECT_THAT(fragment.Out, HasSubstr("<span class=\"vn-ln\">    2 </span>"));
  EXPECT_THAT(fragment.Out, Not(HasSubstr("<span class=\"vn-ln\">    3 </span>")));
  EXPECT_THAT(fragment.Out, HasSubstr("/* &lt;&amp;&gt; */"));

  // Several files: one page, a heading each, each with its own lexer; -o writes a file.
  const std::string out = dir.Path("page.html");
  const TRun page = Tool({"highlight", "--format", "html", "--title", "Two <files>", "-o", out, a, b});
  ASSERT_EQ(page.Status, ExitOk) << page.Err;
  EXPECT_TRUE(page.Out.empty());
  const std::string written = test::ReadFile(out);
  EXPECT_THAT(written, HasSubstr("<title>Two &lt;files&gt;</title>"));
  EXPECT_THAT(written, HasSubstr("<h2 class=\"vornish-file\">" + a + "</h2>"));
  EXPECT_THAT(written, HasSubstr("<h2 class=\"vornish-file\">" + b + "</h2>"));
  EXPECT_THAT(written, HasSubstr("<span class=\"vn-String\">'a'</span>"));

  // JSON of several files is an array.
  const TRun json = Tool({"highlight", "--format", "json", a, b});
  EXPECT_EQ(json.Out.front(), '[');
  EXPECT_THAT(json.Out, HasSubstr("\"lexer\":\"Python\""));

  // The program may end the process once the output is out: by then all of it is written
  // (and the status is the run's).
  for (const char* format : {"html", "ansi", "json"}) {
    SCOPED_TRACE(format);
    std::ostringstream text, err;
    TToolStreams streams{text, err, false, false, nullptr};
    int calls = 0, reported = -1;
    std::string atCall;
    streams.OnOutputDone = [&](int status) {
      ++calls;
      reported = status;
      atCall = text.str();
    };
    const int status = RunTool({"vornish", "highlight", "--format", format, a, dir.Path("missing.c"), b}, streams);
    EXPECT_EQ(status, ExitUsage);
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(reported, status);
    EXPECT_THAT(atCall, HasSubstr("b.py"));
    EXPECT_EQ(atCall, text.str());
  }
}

TEST(ToolListings, TokensAndBlocksAsTextAndJson) {
  TTempDir dir;
  const std::string c = dir.Write("x.c", "int f(void) {\n  if (x) { return 1; }\n}\n");
  const TRun tokens = Tool({"tokens", c});
  ASSERT_EQ(tokens.Status, ExitOk);
  EXPECT_THAT(tokens.Out, HasSubstr("1:1 0-3 Identifier Type \"int\"\n"));
  EXPECT_THAT(tokens.Out, HasSubstr("2:3 16-18 Identifier Keyword \"if\"\n"));
  EXPECT_THAT(tokens.Out, HasSubstr("3:1 37-38 Symbol Symbol \"}\"\n"));

  const TRun blocks = Tool({"blocks", c});
  ASSERT_EQ(blocks.Status, ExitOk);
  // The inner braces nest one level deeper than the outer ones.
  EXPECT_THAT(blocks.Out, testing::ContainsRegex("\n  [^\n]+ 1:13-3:1\n    [^\n]+ 2:10-2:22\n"));
  EXPECT_THAT(blocks.Out, HasSubstr("collapsible 2\n  lines 1-3\n  lines 2-2\n"));

  const TRun json = Tool({"blocks", "--json", c});
  EXPECT_THAT(json.Out, HasSubstr("\"startLine\":1,\"endLine\":3"));
  EXPECT_THAT(json.Out, testing::HasSubstr("\"start\":23,\"end\":36,\"startToken\":10,\"endToken\":14,\"parent\":0}"));
}

// --- Lexer choice --------------------------------------------------------------------------------

TEST(ToolDetect, ExtensionThenNameThenFirstLine) {
  TLexerSet lexers;
  struct TCase {
    const char* Path;
    const char16_t* FirstLine;
    const char* Lexer;  // LexerName, or "" for none
  } cases[] = {
      {"x.c", u"", "C"},
      {"x.h", u"// -*- C++ -*-", "C"},  // the extension comes first
      {"x.HPP", u"", "C++"},
      {"dir.d/x.py", u"", "Python"},
      {"x.pas", u"", "Pascal"},
      {"x.htm", u"", "HTML"},
      {"x.json", u"", "JSON"},
      {"x.yml", u"", "YAML"},
      {"x.patch", u"", "Diff"},
      {"x.mk", u"", "Makefile"},
      {"src/Makefile", u"", "Makefile"},
      {"GNUmakefile", u"", "Makefile"},
      {"Makefile.am", u"", "Makefile"},
      {".bashrc", u"", "Shell"},
      {"vector", u"// The vector header -*- C++ -*-", "C++"},
      {"x", u"# -*- mode: python; coding: utf-8 -*-", "Python"},
      {"x", u"# vim: set ft=sh:", "Shell"},
      {"x", u"#!/usr/bin/env python3", "Python"},
      {"x", u"#!/usr/bin/python3.11 -u", "Python"},
      {"x", u"#! /bin/sh -e", "Shell"},
      {"x", u"#!/usr/bin/env -S node --harmony", "JavaScript"},
      {"x", u"<?xml version=\"1.0\"?>", "XML"},
      {"x", u"<!DOCTYPE html>", "HTML"},
      {"x", u"diff --git a/x b/x", "Diff"},
      {"x.unknown", u"plain words", ""},
      {"x", u"#!/usr/bin/perl", ""},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Path);
    TSyntAnalyzer* lexer = DetectLexer(lexers, c.Path, c.FirstLine);
    EXPECT_EQ(lexer ? lexer->LexerName() : std::string(), c.Lexer);
  }
}

TEST(ToolDetect, LexerOptionsWinAndBadChoicesAreUsageErrors) {
  TTempDir dir;
  const std::string c = dir.Write("x.c", "x = 'a' # note\n");
  EXPECT_THAT(Tool({"tokens", "--lexer", "python", c}).Out, HasSubstr("Comment Comment \"# note\""));
  EXPECT_THAT(Tool({"tokens", "-l", "sh", c}).Out, HasSubstr("Comment \"# note\""));
  EXPECT_THAT(Tool({"tokens", "--lexer", "Plain Text", c}).Out, Not(HasSubstr("Comment")));
  const std::string lexer = dir.Write("mine.lxr", test::ReadFile(QV_SOURCE_DIR "/tests/data/lexers/clike.lxr"));
  EXPECT_THAT(Tool({"tokens", "--lexer-file", lexer, c}).Out, HasSubstr("String String \"'a'\""));

  const TRun unknown = Tool({"tokens", "--lexer", "Cobol", c});
  EXPECT_EQ(unknown.Status, ExitUsage);
  EXPECT_EQ(unknown.Err, "vornish: no lexer named 'Cobol' (see vornish lexers)\n");
  EXPECT_EQ(Tool({"tokens", "--lexer", "C", "--lexer-file", lexer, c}).Status, ExitUsage);
  const TRun badFile = Tool({"tokens", "--lexer-file", dir.Write("bad.lxr", "object X: TSyntAnalyzer\n  Foo = \n"), c});
  EXPECT_EQ(badFile.Status, ExitUsage);
  EXPECT_THAT(badFile.Err, testing::StartsWith(dir.Path("bad.lxr") + ":3: "));
}

// --- Inputs ------------------------------------------------------------------------------------------

TEST(ToolInput, EncodingsAreDetectedAndBadInputIsRefusedWithTheFileName) {
  TTempDir dir;
  const std::string utf8 = dir.Write("u8.c", "char* s = \"\xC3\xA9t\xC3\xA9\";\n");
  EXPECT_THAT(Tool({"tokens", utf8}).Out, HasSubstr("1:11 10-15 String String \"\\\"\xC3\xA9t\xC3\xA9\\\"\"\n"));
  // The same text as UTF-16 LE with a mark, and in Latin-1 without one: the same tokens.
  std::string utf16 = "\xFF\xFE";
  for (char16_t ch : Utf8ToWide("char* s = \"\xC3\xA9t\xC3\xA9\";\n")) {
    utf16.push_back(static_cast<char>(ch & 0xFF));
    utf16.push_back(static_cast<char>(ch >> 8));
  }
  const std::string expected = Tool({"tokens", utf8}).Out;
  EXPECT_EQ(Tool({"tokens", dir.Write("u16.c", utf16)}).Out, expected);
  EXPECT_EQ(Tool({"tokens", dir.Write("l1.c", "char* s = \"\xE9t\xE9\";\n")}).Out, expected);

  const TRun missing = Tool({"tokens", dir.Path("missing.c")});
  EXPECT_EQ(missing.Status, ExitUsage);
  EXPECT_EQ(missing.Err, dir.Path("missing.c") + ": No such file or directory\n");
  const TRun binary = Tool({"highlight", dir.Write("bin.c", std::string("ab\0cd", 5))});
  EXPECT_EQ(binary.Status, ExitUsage);
  EXPECT_EQ(binary.Err, dir.Path("bin.c") + ": binary data, not a text file\n");
  const TRun directory = Tool({"blocks", dir.Path("")});
  EXPECT_EQ(directory.Status, ExitUsage);
  EXPECT_THAT(directory.Err, HasSubstr(": is a directory"));
  // One bad file among good ones: the good ones are still written, the status tells.
  const TRun mixed = Tool({"highlight", "--format", "ansi", utf8, dir.Path("missing.c")});
  EXPECT_EQ(mixed.Status, ExitUsage);
  EXPECT_THAT(mixed.Out, HasSubstr("==> " + utf8 + " <=="));
  // An empty file is a text with no tokens.
  EXPECT_EQ(Tool({"tokens", dir.Write("empty.c", "")}).Status, ExitOk);
  // A real binary program.
  EXPECT_EQ(Tool({"tokens", "/bin/sh"}).Status, ExitUsage);
  // A file whose size is not known before it is read (the system says 0) is read whole.
  const TRun proc = Tool({"highlight", "--format", "html", "--lexer", "Plain Text", "/proc/self/mountinfo"});
  EXPECT_EQ(proc.Status, ExitOk);
  EXPECT_THAT(HtmlText(proc.Out), HasSubstr(" / "));
  // A long text, ASCII and not, whose page is written out in several pieces.
  std::string big;
  for (int i = 0; i < 20000; ++i) big += i % 7 ? "int x" + std::to_string(i) + ";\n" : "char* s = \"\xC3\xA9\";\n";
  const TRun page = Tool({"highlight", "--format", "html", dir.Write("big.c", big)});
  ASSERT_GT(page.Out.size(), size_t{1} << 19);
  EXPECT_EQ(HtmlText(page.Out), big);
}

TEST(ToolUsage, HelpVersionAndUsageErrors) {
  const TRun help = Tool({"--help"});
  EXPECT_EQ(help.Status, ExitOk);
  EXPECT_THAT(help.Out, HasSubstr("highlight"));
  for (const char* cmd : {"highlight", "tokens", "blocks", "check", "match", "lexers", "convert"}) {
    const TRun sub = Tool({cmd, "--help"});
    EXPECT_EQ(sub.Status, ExitOk) << cmd;
    EXPECT_THAT(sub.Out, HasSubstr("Usage:")) << cmd;
  }
  EXPECT_THAT(Tool({"--version"}).Out, HasSubstr("Vornish"));
  EXPECT_EQ(Tool({}).Status, ExitUsage);
  EXPECT_EQ(Tool({"frobnicate"}).Status, ExitUsage);
  EXPECT_EQ(Tool({"highlight"}).Status, ExitUsage);
  EXPECT_EQ(Tool({"highlight", "--format", "pdf", "x.c"}).Status, ExitUsage);
  EXPECT_EQ(Tool({"match", "a", "b", "--flags", "i", "--modifiers", "(?i)"}).Status, ExitUsage);
}

TEST(ToolLexers, ListsEveryBundledLexerWithItsExtensions) {
  const TRun list = Tool({"lexers"});
  ASSERT_EQ(list.Status, ExitOk);
  size_t lines = 0;
  for (char ch : list.Out) lines += ch == '\n';
  EXPECT_EQ(lines, BundledLexers().size() + 1);
  EXPECT_THAT(list.Out, testing::ContainsRegex("\nC\\+\\+ +cpp cxx"));
  EXPECT_THAT(list.Out, testing::ContainsRegex("\nPython +py "));
}

// --- The expression playground ------------------------------------------------------------------

TEST(ToolMatch, MatchesCapturesModifiersAndErrors) {
  TRun r = Tool({"match", "(\\w+)-(\\d+)?", "abc-x"});
  EXPECT_EQ(r.Status, ExitOk);
  EXPECT_EQ(r.Out, "modifiers (?irgmx-s)\nmatch at 1, length 4: \"abc-\"\ngroup 1: 1, length 3: \"abc\"\ngroup 2: not set\n");

  r = Tool({"match", "b+", "abbbc", "--pos", "2"});
  EXPECT_THAT(r.Out, HasSubstr("match at 2, length 3: \"bbb\""));
  r = Tool({"match", "b+", "abbbc", "--pos", "5", "--backward"});
  EXPECT_THAT(r.Out, HasSubstr("match at 2, length 3: \"bbb\""));

  // Case: insensitive by default; --flags and --modifiers clear it.
  EXPECT_EQ(Tool({"match", "ABC", "abc"}).Status, ExitOk);
  r = Tool({"match", "ABC", "abc", "--flags", "-i"});
  EXPECT_EQ(r.Status, ExitProblems);
  EXPECT_EQ(r.Out, "modifiers (?rgmx-is)\nno match at 1\n");
  EXPECT_EQ(Tool({"match", "ABC", "abc", "--modifiers", "(?-i)"}).Status, ExitProblems);
  EXPECT_EQ(Tool({"match", "a.b", "a\nb", "--flags", "s"}).Status, ExitOk);
  EXPECT_EQ(Tool({"match", "a.b", "a\nb"}).Status, ExitProblems);

  r = Tool({"match", "(a", "a"});
  EXPECT_EQ(r.Status, ExitUsage);
  EXPECT_EQ(r.Out, "expression does not compile: Do not closed sub expression\n");
  EXPECT_EQ(Tool({"match", "a", "abc", "--pos", "9"}).Status, ExitUsage);
  EXPECT_EQ(Tool({"match", "a", "a", "--flags", "q"}).Status, ExitUsage);
}

// --- The lexer checker ---------------------------------------------------------------------------

TEST(ToolCheck, ReportsEveryKindOfProblemWithItsLine) {
  TTempDir dir;
  const std::string bad = dir.Write("bad.lxr",
                                    "object Bad: TSyntAnalyzer\n"             // 1
                                    "  Formats = <\n"                          // 2
                                    "    item\n"                               // 3
                                    "      DisplayName = 'Used'\n"             // 4
                                    "    end\n"                                // 5
                                    "    item\n"                               // 6
                                    "      DisplayName = 'Idle'\n"             // 7
                                    "    end>\n"                               // 8
                                    "  TokenRules = <\n"                       // 9
                                    "    item\n"                               // 10
                                    "      DisplayName = 'Word'\n"             // 11
                                    "      StyleName = 'Used'\n"               // 12
                                    "      Expression = '[a-z]\\w*'\n"         // 13
                                    "    end\n"                                // 14
                                    "    item\n"                               // 15
                                    "      DisplayName = 'Keyword'\n"          // 16
                                    "      StyleName = 'Missing'\n"            // 17
                                    "      Expression = 'if|else'\n"           // 18
                                    "    end\n"                                // 19
                                    "    item\n"                               // 20
                                    "      DisplayName = 'Broken'\n"           // 21
                                    "      Expression = '(ab'\n"               // 22
                                    "    end>\n"                               // 23
                                    "  BlockRules = <\n"                       // 24
                                    "    item\n"                               // 25
                                    "      DisplayName = 'Open'\n"             // 26
                                    "      BlockEnd = 'Nowhere'\n"             // 27
                                    "    end>\n"                               // 28
                                    "  SubAnalyzers = <\n"                     // 29
                                    "    item\n"                               // 30
                                    "      DisplayName = 'Sub'\n"              // 31
                                    "      StartExpression = '<x>'\n"          // 32
                                    "      EndExpression = '</x>'\n"           // 33
                                    "      SyntAnalyzer = NoSuchLexer\n"       // 34
                                    "    end>\n"                               // 35
                                    "  Bogus = 1\n"                            // 36
                                    "end\n");
  const TRun r = Tool({"check", bad});
  EXPECT_EQ(r.Status, ExitProblems);
  const std::string p = bad + ":";
  EXPECT_THAT(r.Out, HasSubstr(p + "36: Error reading Bad.Bogus: Property Bogus does not exist\n"));
  EXPECT_THAT(r.Out, HasSubstr(p + "7: style 'Idle' is never used\n"));
  EXPECT_THAT(r.Out, HasSubstr(p + "16: token rule 'Keyword' can never fire: 'Word' before it always matches at the characters it starts with\n"));
  EXPECT_THAT(r.Out, HasSubstr(p + "17: StyleName names no style: 'Missing'\n"));
  EXPECT_THAT(r.Out, HasSubstr(p + "21: token rule 'Broken': expression does not compile: Do not closed sub expression\n"));
  EXPECT_THAT(r.Out, HasSubstr(p + "27: BlockEnd names no block rule: 'Nowhere'\n"));
  EXPECT_THAT(r.Out, HasSubstr(p + "34: SyntAnalyzer names no lexer: NoSuchLexer\n"));
  EXPECT_THAT(r.Out, Not(HasSubstr("'Used' is never used")));

  // A rule after a narrower one is fine, and so is one behind a rule with conditions.
  const std::string fine = dir.Write("fine.lxr",
                                     "object Fine: TSyntAnalyzer\n"
                                     "  TokenRules = <\n"
                                     "    item\n      DisplayName = 'Hex'\n      Expression = '0x[\\da-f]+'\n    end\n"
                                     "    item\n      DisplayName = 'Number'\n      Expression = '\\d+'\n    end\n"
                                     "    item\n      DisplayName = 'Start'\n      Expression = '\\w+'\n"
                                     "      ColumnFrom = 1\n      ColumnTo = 1\n    end\n"
                                     "    item\n      DisplayName = 'Word'\n      Expression = '\\w+'\n    end>\n"
                                     "end\n");
  const TRun ok = Tool({"check", fine});
  EXPECT_EQ(ok.Status, ExitOk) << ok.Out;
  EXPECT_EQ(ok.Out, fine + ": ok (Fine, 4 token rules, 0 block rules)\n");

  // A syntax error ends the load: file and line.
  const TRun broken = Tool({"check", dir.Write("broken.lxr", "object X: TSyntAnalyzer\n  A = 'x\nend\n")});
  EXPECT_EQ(broken.Status, ExitProblems);
  EXPECT_EQ(broken.Err, dir.Path("broken.lxr") + ":2: Unterminated string\n");
}

TEST(ToolCheck, EveryBundledLexerPassesCleanly) {
  // All in one run, as "vornish check lexers/*.lxr" does: HTML loads CSS and JavaScript as
  // sub-lexers next to the files of those lexers, and no name clashes.
  std::vector<std::string> args = {"check"};
  for (const TBundledLexer& b : BundledLexers()) args.push_back(std::string(QV_SOURCE_DIR "/lexers/") + b.File);
  const TRun r = Tool(args);
  EXPECT_EQ(r.Status, ExitOk) << r.Out << r.Err;
  for (size_t i = 1; i < args.size(); ++i) EXPECT_THAT(r.Out, HasSubstr(args[i] + ": ok ("));
  // The list of bundled lexers and the files under lexers/ agree.
  size_t files = 0;
  for (const auto& e : std::filesystem::directory_iterator(QV_SOURCE_DIR "/lexers"))
    files += e.path().extension() == ".lxr";
  EXPECT_EQ(files, BundledLexers().size());
}

// --- Conversion ------------------------------------------------------------------------------------

TEST(ToolConvert, TextAndBinaryFormsRoundTrip) {
  TTempDir dir;
  const std::string source = QV_SOURCE_DIR "/tests/data/lexers/pascal.lxr";
  ASSERT_EQ(Tool({"convert", source, dir.Path("a.lxr")}).Status, ExitOk);
  ASSERT_EQ(Tool({"convert", "--binary", dir.Path("a.lxr"), dir.Path("b.bin")}).Status, ExitOk);
  EXPECT_EQ(test::ReadFile(dir.Path("b.bin")).rfind("TPF0", 0), 0u);
  ASSERT_EQ(Tool({"convert", dir.Path("b.bin"), dir.Path("c.lxr")}).Status, ExitOk);
  // Normalised once, the text form stays as it is.
  EXPECT_EQ(test::ReadFile(dir.Path("c.lxr")), test::ReadFile(dir.Path("a.lxr")));
  EXPECT_EQ(test::ReadFile(dir.Path("a.lxr")), test::ReadFile(QV_SOURCE_DIR "/tests/golden/lexers/pascal.lxr"));

  // A library of two lexers that refer to each other.
  const std::string library = dir.Write("lib.lxl",
                                        "object Library: TSyntaxManager\n"
                                        "  object Outer: TLibSyntAnalyzer\n    LexerName = 'Outer'\n"
                                        "    SubAnalyzers = <\n      item\n        DisplayName = 'In'\n"
                                        "        StartExpression = '<'\n        EndExpression = '>'\n"
                                        "        SyntAnalyzer = Inner\n      end>\n  end\n"
                                        "  object Inner: TLibSyntAnalyzer\n    LexerName = 'Inner'\n  end\n"
                                        "end\n");
  ASSERT_EQ(Tool({"convert", library, dir.Path("lib2.lxl")}).Status, ExitOk);
  const std::string saved = test::ReadFile(dir.Path("lib2.lxl"));
  EXPECT_THAT(saved, HasSubstr("object Inner: TLibSyntAnalyzer"));
  EXPECT_THAT(saved, HasSubstr("SyntAnalyzer = Inner"));

  EXPECT_EQ(Tool({"convert", dir.Write("junk", "hello"), dir.Path("x")}).Status, ExitUsage);
  EXPECT_EQ(Tool({"convert", source, dir.Path("no/such/dir/x")}).Status, ExitUsage);
}

}  // namespace
}  // namespace qv

namespace qv {
namespace {

// What the README shows is what the tree holds and the tool prints.
TEST(ToolReadme, ExamplesAreTheFilesAndTheOutputOfTheTool) {
  const std::string readme = test::ReadFile(QV_SOURCE_DIR "/README.md");
  ASSERT_FALSE(readme.empty());
  EXPECT_THAT(readme, HasSubstr(test::ReadFile(QV_SOURCE_DIR "/tools/examples/embed.cpp")));
  EXPECT_THAT(readme, HasSubstr(test::ReadFile(QV_SOURCE_DIR "/tools/examples/words.lxr")));

  // The listing of the example lexer's text, between its command and the next one.
  TTempDir dir;
  const std::string input = dir.Write("x.words", "if (n) {  # a comment\n  n = 42;\n}\n");
  const std::string lexer = QV_SOURCE_DIR "/tools/examples/words.lxr";
  auto shown = [&readme](const std::string& command) {
    const size_t at = readme.find("$ " + command + "\n");
    if (at == std::string::npos) return std::string("(not in the README)");
    const size_t from = at + command.size() + 3;
    const size_t to = readme.find("\n$ ", from);
    const size_t fence = readme.find("\n```", from);
    return readme.substr(from, std::min(to, fence) + 1 - from);
  };
  EXPECT_EQ(Tool({"tokens", "--lexer-file", lexer, input}).Out,
            shown("vornish tokens --lexer-file tools/examples/words.lxr x.words"));
  EXPECT_EQ(Tool({"blocks", "--lexer-file", lexer, input}).Out,
            shown("vornish blocks --lexer-file tools/examples/words.lxr x.words"));
  EXPECT_EQ(Tool({"lexers"}).Out, shown("vornish lexers"));
  EXPECT_EQ(Tool({"blocks", QV_SOURCE_DIR "/tests/data/texts/small.c"}).Out,
            shown("vornish blocks tests/data/texts/small.c"));
  EXPECT_EQ(Tool({"match", "([a-z_]\\w*)\\s*(\\()", "puts (\"x\")"}).Out,
            shown("vornish match '([a-z_]\\w*)\\s*(\\()' 'puts (\"x\")'"));
}

}  // namespace
}  // namespace qv
