// Bundled lexers on real files: see tests/support/BundledLexers.h.
//
// The document and data formats: XML, INI, Markdown, YAML and Diff. Each is run over real
// files of this machine (every character covered, the block ranges as the format nests them),
// through random edits (incremental analysis equals a fresh one) and over a small sample whose
// dump is checked in.
#include "tests/support/BundledLexers.h"

#include <map>
#include <set>
#include <sstream>

#include "syntax/qvSyntStyles.h"
#include "syntax/qvTokenRules.h"
#include "syntax/qvZRegExpr.h"

namespace qv::test {

namespace {

constexpr uintmax_t kMaxFileSize = 256 * 1024;

// Files from several directories, each pick spread over its own directory.
struct TPick {
  std::string Dir;
  std::vector<std::string> Suffixes;
  size_t Limit;
};

std::vector<std::string> PickFiles(const std::vector<TPick>& picks, uintmax_t maxBytes = kMaxFileSize) {
  std::vector<std::string> files;
  for (const TPick& p : picks)
    for (std::string& f : FindFiles(p.Dir, p.Suffixes, p.Limit, maxBytes)) files.push_back(std::move(f));
  return files;
}

std::string TypeName(const TBundledAnalysis& a, int token) {
  const int type = a.Client->Tags(token)->TokenType;
  const TStrings* names = a.Lexer->TokenTypeNames();
  return type >= 0 && type < names->Count() ? names->Get(type) : "?";
}

std::string StyleOf(const TBundledAnalysis& a, int token) {
  const TRuleCollectionItem* rule = a.Client->Tags(token)->Rule;
  return rule && rule->Style() ? rule->Style()->DisplayName() : std::string();
}

std::string Text(const TBundledAnalysis& a, int token) { return WideToUtf8(a.Client->TagStr(token)); }

std::string RuleName(const TTextRange* r) { return r->Rule ? r->Rule->DisplayName() : std::string(); }

std::vector<std::u16string> Pieces(std::initializer_list<const char*> texts) {
  std::vector<std::u16string> pieces;
  for (const char* t : texts) pieces.push_back(Utf8ToWide(t));
  return pieces;
}

// The smallest real file of a list that is at least minBytes long (the edit tests redo a
// fresh analysis after every round, so they take small files).
std::string SmallFile(const std::vector<std::string>& files, uintmax_t minBytes, uintmax_t maxBytes = 30 * 1024) {
  std::string best;
  uintmax_t bestSize = 0;
  for (const std::string& f : files) {
    std::error_code ec;
    const uintmax_t size = std::filesystem::file_size(f, ec);
    if (!ec && size >= minBytes && size <= maxBytes && (best.empty() || size < bestSize)) {
      best = f;
      bestSize = size;
    }
  }
  return best;
}

const char* const kLexers[] = {"XML", "INI", "Markdown", "YAML", "Diff"};

// --- File sets -------------------------------------------------------------------------------

std::vector<std::string> XmlFiles() {
  return PickFiles({{"/usr/share/xml", {".xml", ".dtd"}, 8},
                    {"/usr/share/polkit-1/actions", {".policy"}, 5},
                    {"/usr/share/dbus-1", {".conf"}, 5},
                    {"/usr/share/glib-2.0/schemas", {".xml"}, 6},
                    {"/etc/fonts/conf.avail", {".conf"}, 5},
                    {"/usr/share/icons", {".svg"}, 4}});
}

std::vector<std::string> IniFiles() {
  return PickFiles({{"/usr/lib/systemd/system", {".service", ".socket", ".timer", ".target"}, 16},
                    {"/etc/systemd", {".conf"}, 6},
                    {"/usr/share/applications", {".desktop"}, 4},
                    {"/usr/share/dbus-1", {".service"}, 4}});
}

std::vector<std::string> MarkdownFiles() {
  return PickFiles({{"/usr/lib/node_modules", {".md"}, 18}, {"/usr/share/doc", {".md"}, 12}});
}

std::vector<std::string> YamlFiles() {
  return PickFiles({{"/usr/lib/google-cloud-sdk", {".yaml", ".yml"}, 36},
                    {"/usr/share/doc", {".yaml", ".yml"}, 4},
                    {"/usr/share/perl", {".yml"}, 2}},
                   64 * 1024);
}

std::vector<std::string> PatchFiles() {
  return PickFiles({{"/usr/lib/google-cloud-sdk/platform/google_appengine/lib", {".patch", ".diff"}, 10}});
}

}  // namespace

// --- All five ------------------------------------------------------------------------------

// Every expression of the five lexers compiles: token rules and the mask conditions of block
// rules (an expression that does not compile never matches, silently).
TEST(DocumentsRules, ExpressionsCompile) {
  TLexerSet lexers;
  for (const char* name : kLexers) {
    SCOPED_TRACE(name);
    TSyntAnalyzer* lexer = lexers.Find(name);
    ASSERT_NE(lexer, nullptr);
    EXPECT_GT(lexer->TokenRules()->Count(), 0);
    for (int i = 0; i < lexer->TokenRules()->Count(); ++i) {
      const TTokenRule* rule = lexer->TokenRules()->Items(i);
      EXPECT_FALSE(rule->IsInvalid()) << rule->DisplayName();
      EXPECT_NE(rule->Style(), nullptr) << rule->DisplayName() << " has no style";
    }
    for (int i = 0; i < lexer->BlockRules()->Count(); ++i) {
      const TTagBlockCondition* rule = lexer->BlockRules()->Items(i);
      for (int c = 0; c < rule->ConditionList()->Count(); ++c) {
        const TSingleTagCondition* cond = rule->ConditionList()->Items(c);
        if (cond->CondType() != tcMask && cond->CondType() != tcStrictMask) continue;
        for (int k = 0; k < cond->TagList()->Count(); ++k) {
          TqvRegExpr e;
          ApplyDefaultModifiers(e);
          e.SetExpression(Utf8ToWide(cond->TagList()->Get(k)));
          EXPECT_FALSE(e.IsInvalid()) << rule->DisplayName() << ": " << cond->TagList()->Get(k);
        }
      }
    }
  }
}

TEST(DocumentsGolden, Samples) {
  ExpectGolden("XML", "xml.xml");
  ExpectGolden("INI", "ini.ini");
  ExpectGolden("Markdown", "markdown.md");
  ExpectGolden("YAML", "yaml.yaml");
  ExpectGolden("Diff", "diff.diff");
}

// --- XML -------------------------------------------------------------------------------------

TEST(DocumentsXml, RealFilesCoveredAndClosed) {
  const std::vector<std::string> files = XmlFiles();
  ASSERT_GE(files.size(), 20u);
  for (const std::string& f : files) ExpectCoveredAndClosed("XML", f);
}

// Every element range runs from its start tag to the end tag of the same name; self-closing
// tags open none, so the ranges are exactly the end tags.
TEST(DocumentsXml, ElementsMatchTheirEndTags) {
  const std::vector<std::string> files = XmlFiles();
  ASSERT_FALSE(files.empty());
  int elements = 0;
  for (const std::string& f : files) {
    SCOPED_TRACE(f);
    TBundledAnalysis a("XML", ReadText(f));
    a.Run();
    int endTags = 0, selfClosing = 0;
    for (int i = 0; i < a.Client->TokenCount(); ++i) {
      if (Text(a, i) == "</" && TypeName(a, i) == "Tag") ++endTags;
      if (Text(a, i) == "/>" && TypeName(a, i) == "Tag") ++selfClosing;
    }
    int ranges = 0;
    for (int r = 0; r < a.Client->RangeCount(); ++r) {
      const TTextRange* range = a.Client->Ranges(r);
      if (RuleName(range) != "Element") continue;
      ++ranges;
      ASSERT_TRUE(range->IsClosed());
      EXPECT_EQ(Text(a, range->StartIdx), "<");
      EXPECT_EQ(TypeName(a, range->IdentIdx), "Tag name");
      // The end: "</" name ">".
      ASSERT_GE(range->EndIdx, 2);
      EXPECT_EQ(Text(a, range->EndIdx), ">");
      EXPECT_EQ(Text(a, range->EndIdx - 2), "</");
      EXPECT_EQ(Text(a, range->EndIdx - 1), Text(a, range->IdentIdx));
      if (range->Parent) {
        EXPECT_LT(range->Parent->StartIdx, range->StartIdx);
      }
    }
    EXPECT_EQ(ranges, endTags);
    elements += ranges + selfClosing;
  }
  EXPECT_GT(elements, 1000);
}

TEST(DocumentsXml, MarkupKinds) {
  const std::u16string text = Utf8ToWide(
      "<?xml version=\"1.0\"?>\n<!DOCTYPE a SYSTEM \"a.dtd\">\n"
      "<a:b x:y='1' z=\"&quot;\">t &amp; u<![CDATA[<raw>]]><!-- c --><c/></a:b>\n");
  TBundledAnalysis a("XML", text);
  a.Run();
  std::map<std::string, std::string> styles;
  for (int i = 0; i < a.Client->TokenCount(); ++i) styles[Text(a, i)] = StyleOf(a, i);
  EXPECT_EQ(styles["<?xml version=\"1.0\"?>"], "Preprocessor");
  EXPECT_EQ(styles["<!DOCTYPE"], "Preprocessor");
  EXPECT_EQ(styles["\"a.dtd\""], "String");
  EXPECT_EQ(styles["a:b"], "Tag");
  EXPECT_EQ(styles["x:y"], "Attribute");
  EXPECT_EQ(styles["'1'"], "String");
  EXPECT_EQ(styles["="], "Symbol");
  EXPECT_EQ(styles["&amp;"], "Escape");
  EXPECT_EQ(styles["t "], "Text");
  EXPECT_EQ(styles["<![CDATA[<raw>]]>"], "String");
  EXPECT_EQ(styles["<!-- c -->"], "Comment");
  EXPECT_EQ(styles["/>"], "Tag");
  // One element (a:b); the self-closing c opens none.
  ASSERT_EQ(a.Client->RangeCount(), 1);
  EXPECT_TRUE(a.Client->Ranges(0)->IsClosed());
  // An end tag closes the innermost open element of its name only.
  TBundledAnalysis wrong("XML", u"<a><b></c>");
  wrong.Run();
  EXPECT_EQ(OpenRanges(wrong).size(), 2u);
  TBundledAnalysis inner("XML", u"<a><b></a>");
  inner.Run();
  ASSERT_EQ(inner.Client->RangeCount(), 2);
  EXPECT_TRUE(inner.Client->Ranges(0)->IsClosed());
  EXPECT_FALSE(inner.Client->Ranges(1)->IsClosed());
}

TEST(DocumentsXml, EditsMatchFresh) {
  const std::string file = SmallFile(XmlFiles(), 4 * 1024);
  ASSERT_FALSE(file.empty());
  ExpectEditsMatchFresh("XML", file,
                        Pieces({"<a>", "</a>", "<b x=\"1\"/>", "\"", "'", "<!--", "-->", "&amp;", "\n",
                                "<![CDATA[", "]]>", "<!DOCTYPE x [", "]>", ">", "<?pi ?>"}),
                        11, 8);
}

// --- INI -------------------------------------------------------------------------------------

TEST(DocumentsIni, RealFilesCoveredAndClosed) {
  const std::vector<std::string> files = IniFiles();
  ASSERT_GE(files.size(), 20u);
  for (const std::string& f : files) ExpectCoveredAndClosed("INI", f);
}

// Keys, separators and values line by line; each section header starts a range that ends
// right before the next header (or at the end of the text).
TEST(DocumentsIni, LinesAndSections) {
  const std::vector<std::string> files = IniFiles();
  ASSERT_FALSE(files.empty());
  int keys = 0;
  for (const std::string& f : files) {
    SCOPED_TRACE(f);
    const std::u16string text = ReadText(f);
    TBundledAnalysis a("INI", text);
    a.Run();
    std::vector<int> headers;
    for (int i = 0; i < a.Client->TokenCount(); ++i) {
      const std::string type = TypeName(a, i);
      const TSyntToken* t = a.Client->Tags(i);
      const bool lineStart = t->StartPos == 0 || text.find_last_not_of(u" \t", t->StartPos - 1) == std::u16string::npos ||
                             text[text.find_last_not_of(u" \t", t->StartPos - 1)] == u'\n';
      if (type == "Section") {
        headers.push_back(i);
        EXPECT_TRUE(lineStart) << Text(a, i);
      } else if (type == "Key") {
        ++keys;
        EXPECT_TRUE(lineStart) << Text(a, i);
      } else if (type == "Value") {
        ASSERT_GE(i, 2);
        EXPECT_EQ(TypeName(a, i - 1), "Symbol");
        EXPECT_EQ(TypeName(a, i - 2), "Key");
      }
    }
    std::vector<const TTextRange*> sections;
    for (int r = 0; r < a.Client->RangeCount(); ++r)
      if (RuleName(a.Client->Ranges(r)) == "Section") sections.push_back(a.Client->Ranges(r));
    ASSERT_EQ(sections.size(), headers.size());
    for (size_t s = 0; s < sections.size(); ++s) {
      EXPECT_EQ(sections[s]->StartIdx, headers[s]);
      const int end = s + 1 < sections.size() ? headers[s + 1] - 1 : a.Client->TokenCount() - 1;
      EXPECT_EQ(sections[s]->EndIdx, end);
    }
  }
  EXPECT_GT(keys, 100);
}

TEST(DocumentsIni, EditsMatchFresh) {
  const std::string file = SmallFile(IniFiles(), 1024);
  ASSERT_FALSE(file.empty());
  ExpectEditsMatchFresh("INI", file, Pieces({"[S]\n", "[", "]", "k=v\n", "=", ":", "; c\n", "#", "\n", " "}), 5,
                        8);
}

// --- Markdown --------------------------------------------------------------------------------

TEST(DocumentsMarkdown, RealFilesCoveredAndClosed) {
  const std::vector<std::string> files = MarkdownFiles();
  ASSERT_GE(files.size(), 20u);
  for (const std::string& f : files) ExpectCoveredAndClosed("Markdown", f);
}

// Code fences pair up (no fenced block runs to the end of the text in these files), and the
// heading sections nest by level.
TEST(DocumentsMarkdown, FencesAndSections) {
  const std::vector<std::string> files = MarkdownFiles();
  ASSERT_FALSE(files.empty());
  int fences = 0, sections = 0;
  auto level = [](const std::string& rule) {
    return rule.rfind("Heading ", 0) == 0 || rule.rfind("Underlined heading ", 0) == 0 ? rule.back() - '0' : 0;
  };
  for (const std::string& f : files) {
    SCOPED_TRACE(f);
    TBundledAnalysis a("Markdown", ReadText(f));
    a.Run();
    int opens = 0;
    for (int i = 0; i < a.Client->TokenCount(); ++i)
      if (TypeName(a, i) == "Fence open") ++opens;
    int blocks = 0;
    for (int r = 0; r < a.Client->RangeCount(); ++r) {
      const TTextRange* range = a.Client->Ranges(r);
      const std::string rule = RuleName(range);
      if (rule == "Code block") {
        ++blocks;
        EXPECT_NE(range->EndCondIdx, -1) << "fence at token " << range->StartIdx << " never closed";
        if (range->EndCondIdx >= 0) {
          EXPECT_EQ(TypeName(a, range->EndCondIdx), "Fence close");
        }
      } else if (const int n = level(rule)) {
        ++sections;
        ASSERT_TRUE(range->IsClosed());
        for (const TTextRange* p = range->Parent; p; p = p->Parent)
          if (const int pn = level(RuleName(p))) {
            EXPECT_LT(pn, n) << rule << " inside " << RuleName(p);
            EXPECT_LE(range->EndIdx, p->EndIdx);
            break;
          }
      }
    }
    EXPECT_EQ(blocks, opens);
    fences += blocks;
  }
  EXPECT_GT(fences, 10);
  EXPECT_GT(sections, 30);
}

TEST(DocumentsMarkdown, InlineKinds) {
  const std::u16string text = Utf8ToWide(
      "## Title\n\nA *b* __c__ `d` [e](http://f) <http://g> <br/> \\* &amp;\n\n"
      "- item\n> quote\n\n```sh\n# not a heading *x*\n```\n");
  TBundledAnalysis a("Markdown", text);
  a.Run();
  std::map<std::string, std::string> styles;
  for (int i = 0; i < a.Client->TokenCount(); ++i) styles[Text(a, i)] = StyleOf(a, i);
  EXPECT_EQ(styles["## Title"], "Section");
  EXPECT_EQ(styles["*b*"], "Emphasis");
  EXPECT_EQ(styles["__c__"], "Strong");
  EXPECT_EQ(styles["`d`"], "Code");
  EXPECT_EQ(styles["[e](http://f)"], "Link");
  EXPECT_EQ(styles["<http://g>"], "Link");
  EXPECT_EQ(styles["<br/>"], "Tag");
  EXPECT_EQ(styles["\\*"], "Escape");
  EXPECT_EQ(styles["&amp;"], "Escape");
  EXPECT_EQ(styles["-"], "Symbol");
  EXPECT_EQ(styles[">"], "Symbol");
  EXPECT_EQ(styles["```sh"], "Code");
  EXPECT_EQ(styles["# not a heading *x*"], "Code");
  EXPECT_EQ(styles["```"], "Code");
}

TEST(DocumentsMarkdown, EditsMatchFresh) {
  const std::string file = SmallFile(MarkdownFiles(), 4 * 1024);
  ASSERT_FALSE(file.empty());
  ExpectEditsMatchFresh("Markdown", file,
                        Pieces({"# H\n", "## ", "\n```\n", "```js\n", "~~~\n", "*", "**", "_", "`", "[a](b)",
                                "<b>", "\n===\n", "\n---\n", "> ", "- ", "\n"}),
                        7, 8);
}

// --- YAML ------------------------------------------------------------------------------------

TEST(DocumentsYaml, RealFilesCoveredAndClosed) {
  const std::vector<std::string> files = YamlFiles();
  ASSERT_GE(files.size(), 30u);
  for (const std::string& f : files) ExpectCoveredAndClosed("YAML", f);
}

// Every key is followed by the ':' that makes it one, and flow collections pair their
// brackets.
TEST(DocumentsYaml, KeysAndFlowCollections) {
  const std::vector<std::string> files = YamlFiles();
  ASSERT_FALSE(files.empty());
  int keys = 0, flows = 0;
  for (const std::string& f : files) {
    SCOPED_TRACE(f);
    TBundledAnalysis a("YAML", ReadText(f));
    a.Run();
    for (int i = 0; i < a.Client->TokenCount(); ++i)
      if (TypeName(a, i) == "Key") {
        ++keys;
        ASSERT_LT(i + 1, a.Client->TokenCount());
        EXPECT_EQ(Text(a, i + 1), ":") << "after key " << Text(a, i);
      }
    for (int r = 0; r < a.Client->RangeCount(); ++r) {
      const TTextRange* range = a.Client->Ranges(r);
      if (RuleName(range) != "Flow") continue;
      ++flows;
      ASSERT_TRUE(range->IsClosed());
      const std::string open = Text(a, range->StartIdx), close = Text(a, range->EndIdx);
      EXPECT_EQ(open == "[" ? "]" : "}", close);
    }
  }
  EXPECT_GT(keys, 500);
  EXPECT_GT(flows, 5);
}

TEST(DocumentsYaml, ScalarKinds) {
  const std::u16string text = Utf8ToWide(
      "a: 12\nb: -1.5e3\nc: TRUE\nd: ~\ne: 1.2.3\nf: 'x'\ng: &h !!str text # note\ni: *h\n"
      "j: [null, 0x1F, k: v]\nl: |\n  body\n  more\nm: done\n");
  TBundledAnalysis a("YAML", text);
  a.Run();
  std::map<std::string, std::string> styles;
  for (int i = 0; i < a.Client->TokenCount(); ++i) styles[Text(a, i)] = StyleOf(a, i);
  EXPECT_EQ(styles["a"], "Attribute");
  EXPECT_EQ(styles["12"], "Number");
  EXPECT_EQ(styles["-1.5e3"], "Number");
  EXPECT_EQ(styles["TRUE"], "Keyword");
  EXPECT_EQ(styles["~"], "Keyword");
  EXPECT_EQ(styles["1.2.3"], "Text");
  EXPECT_EQ(styles["'x'"], "String");
  EXPECT_EQ(styles["&h"], "Variable");
  EXPECT_EQ(styles["*h"], "Variable");
  EXPECT_EQ(styles["!!str"], "Preprocessor");
  EXPECT_EQ(styles["text"], "Text");
  EXPECT_EQ(styles["# note"], "Comment");
  EXPECT_EQ(styles["null"], "Keyword");
  EXPECT_EQ(styles["0x1F"], "Number");
  EXPECT_EQ(styles["k"], "Attribute");
  EXPECT_EQ(styles["|\n  body\n  more"], "String");
  EXPECT_EQ(styles["m"], "Attribute");
}

TEST(DocumentsYaml, EditsMatchFresh) {
  const std::string file = SmallFile(YamlFiles(), 3 * 1024);
  ASSERT_FALSE(file.empty());
  ExpectEditsMatchFresh("YAML", file,
                        Pieces({"[", "]", "{", "}", "k: v\n", ": ", "- ", "\"", "'", "#", "|\n  x\n", "\n---\n",
                                "&a ", "*a", "\n"}),
                        3, 8);
}

// --- Diff ------------------------------------------------------------------------------------

namespace {

// A unified diff made here from real files: each file's lines against an edited copy of
// them, with what every line of the diff is.
struct TMadeDiff {
  std::string Text;
  std::vector<std::pair<std::string, std::string>> Lines;  // line, its kind
  int Files = 0;
  int Hunks = 0;
};

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// The edit script from a to b (longest common subsequence): ' ' kept, '-' only in a, '+'
// only in b.
std::vector<std::pair<char, std::string>> EditScript(const std::vector<std::string>& a,
                                                     const std::vector<std::string>& b) {
  const size_t n = a.size(), m = b.size();
  std::vector<std::vector<int>> lcs(n + 1, std::vector<int>(m + 1, 0));
  for (size_t i = n; i-- > 0;)
    for (size_t j = m; j-- > 0;)
      lcs[i][j] = a[i] == b[j] ? lcs[i + 1][j + 1] + 1 : std::max(lcs[i + 1][j], lcs[i][j + 1]);
  std::vector<std::pair<char, std::string>> script;
  size_t i = 0, j = 0;
  while (i < n || j < m) {
    if (i < n && j < m && a[i] == b[j]) {
      script.emplace_back(' ', a[i++]);
      ++j;
    } else if (j < m && (i == n || lcs[i][j + 1] >= lcs[i + 1][j])) {
      script.emplace_back('+', b[j++]);
    } else {
      script.emplace_back('-', a[i++]);
    }
  }
  return script;
}

void AddLine(TMadeDiff& d, const std::string& line, const std::string& kind) {
  d.Text += line + "\n";
  d.Lines.emplace_back(line, kind);
}

void AddFileDiff(TMadeDiff& d, const std::string& name, const std::vector<std::string>& a,
                 const std::vector<std::string>& b, bool git) {
  const std::vector<std::pair<char, std::string>> script = EditScript(a, b);
  constexpr size_t kContext = 3;
  ++d.Files;
  if (git) {
    AddLine(d, "diff --git a/" + name + " b/" + name, "File header");
    AddLine(d, "index 0123456..789abcd 100644", "File header");
  }
  AddLine(d, "--- a/" + name, "File header");
  AddLine(d, "+++ b/" + name, "File header");
  // Changes at most 2 * context lines apart share a hunk.
  std::vector<size_t> changes;
  for (size_t s = 0; s < script.size(); ++s)
    if (script[s].first != ' ') changes.push_back(s);
  for (size_t c = 0; c < changes.size();) {
    size_t last = changes[c];
    const size_t from = changes[c] >= kContext ? changes[c] - kContext : 0;
    while (c + 1 < changes.size() && changes[c + 1] - last - 1 <= 2 * kContext) last = changes[++c];
    ++c;
    const size_t to = std::min(script.size(), last + kContext + 1);
    int oldStart = 1, newStart = 1, oldCount = 0, newCount = 0;
    for (size_t s = 0; s < from; ++s) {
      if (script[s].first != '+') ++oldStart;
      if (script[s].first != '-') ++newStart;
    }
    for (size_t s = from; s < to; ++s) {
      if (script[s].first != '+') ++oldCount;
      if (script[s].first != '-') ++newCount;
    }
    ++d.Hunks;
    AddLine(d,
            "@@ -" + std::to_string(oldStart) + "," + std::to_string(oldCount) + " +" + std::to_string(newStart) +
                "," + std::to_string(newCount) + " @@",
            "Hunk");
    for (size_t s = from; s < to; ++s) {
      const char kind = script[s].first;
      AddLine(d, std::string(1, kind) + script[s].second,
              kind == '+' ? "Inserted" : kind == '-' ? "Deleted" : "Text");
    }
  }
}

// Edits lines of a real file in a fixed pattern: some dropped, some changed, some added.
std::vector<std::string> Edited(const std::vector<std::string>& lines, unsigned seed) {
  std::vector<std::string> out;
  for (size_t i = 0; i < lines.size(); ++i) {
    const size_t k = i + seed;
    if (k % 29 == 0) continue;
    if (k % 37 == 5) {
      out.push_back(lines[i] + " # changed");
    } else {
      out.push_back(lines[i]);
    }
    if (k % 43 == 7) out.push_back("added line " + std::to_string(i));
  }
  return out;
}

TMadeDiff MakeDiff(const std::vector<std::string>& paths) {
  TMadeDiff d;
  AddLine(d, "Patch made from real files: a preamble line", "Text");
  unsigned seed = 0;
  for (const std::string& path : paths) {
    const std::vector<std::string> lines = SplitLines(ReadFile(path));
    AddFileDiff(d, std::filesystem::path(path).filename().string(), lines, Edited(lines, seed), seed % 2 == 0);
    seed += 3;
  }
  return d;
}

std::vector<std::string> DiffSources() {
  std::vector<std::string> paths;
  for (const char* name : {"shlex.py", "textwrap.py", "fnmatch.py", "glob.py", "bisect.py", "colorsys.py"}) {
    const std::string p = PythonLibFile(name);
    if (!p.empty()) paths.push_back(p);
  }
  return paths;
}

}  // namespace

TEST(DocumentsDiff, RealPatchesCovered) {
  const std::vector<std::string> files = PatchFiles();
  ASSERT_GE(files.size(), 3u);
  for (const std::string& f : files) {
    SCOPED_TRACE(f);
    TBundledAnalysis a("Diff", ReadText(f));
    a.Run();
    const TUncovered u = Uncovered(a);
    EXPECT_EQ(u.Count, 0) << "first uncovered: " << ::testing::PrintToString(u.First);
    // One hunk range per "@@" line, and one file range per "--- " header.
    int hunkLines = 0, fileHeaders = 0;
    for (const std::string& line : SplitLines(ReadFile(f))) {
      if (line.rfind("@@", 0) == 0) ++hunkLines;
      if (line.rfind("--- ", 0) == 0) ++fileHeaders;
    }
    int hunks = 0, filesSeen = 0;
    for (int r = 0; r < a.Client->RangeCount(); ++r) {
      hunks += RuleName(a.Client->Ranges(r)) == "Hunk";
      filesSeen += RuleName(a.Client->Ranges(r)) == "File";
    }
    EXPECT_GT(hunkLines, 0);
    EXPECT_EQ(hunks, hunkLines);
    EXPECT_EQ(filesSeen, fileHeaders);
    EXPECT_TRUE(OpenRanges(a).empty());
  }
}

// Diffs of real files against edited copies: every line gets the kind it has in the diff,
// and each file and each hunk is one range, ending where the next begins.
TEST(DocumentsDiff, MadeDiffsOfRealFiles) {
  const std::vector<std::string> sources = DiffSources();
  ASSERT_GE(sources.size(), 4u);
  const TMadeDiff d = MakeDiff(sources);
  ASSERT_GT(d.Hunks, 20);
  TBundledAnalysis a("Diff", Utf8ToWide(d.Text));
  a.Run();
  EXPECT_EQ(Uncovered(a).Count, 0);
  // Token by line: the token starting at a line's first non-blank character.
  std::map<int, int> tokenAt;
  for (int i = 0; i < a.Client->TokenCount(); ++i) tokenAt[a.Client->Tags(i)->StartPos] = i;
  size_t pos = 0;
  int checked = 0;
  for (const auto& [line, kind] : d.Lines) {
    const size_t first = line.find_first_not_of(" \t");
    if (first != std::string::npos) {
      SCOPED_TRACE(line);
      const int at = static_cast<int>(Utf8ToWide(d.Text.substr(0, pos + first)).size());
      ASSERT_TRUE(tokenAt.count(at));
      EXPECT_EQ(TypeName(a, tokenAt[at]), kind);
      ++checked;
    }
    pos += line.size() + 1;
  }
  EXPECT_GT(checked, 100);
  std::vector<const TTextRange*> files, hunks;
  for (int r = 0; r < a.Client->RangeCount(); ++r) {
    const TTextRange* range = a.Client->Ranges(r);
    ASSERT_TRUE(range->IsClosed());
    (RuleName(range) == "File" ? files : hunks).push_back(range);
  }
  EXPECT_EQ(static_cast<int>(files.size()), d.Files);
  EXPECT_EQ(static_cast<int>(hunks.size()), d.Hunks);
  for (size_t i = 0; i + 1 < files.size(); ++i) EXPECT_EQ(files[i]->EndIdx, files[i + 1]->StartIdx - 1);
  for (const TTextRange* h : hunks) {
    ASSERT_NE(h->Parent, nullptr);
    EXPECT_EQ(RuleName(h->Parent), "File");
    EXPECT_LE(h->EndIdx, h->Parent->EndIdx);
  }
}

TEST(DocumentsDiff, EditsMatchFresh) {
  const std::vector<std::string> sources = DiffSources();
  ASSERT_GE(sources.size(), 2u);
  const TMadeDiff d = MakeDiff({sources[0], sources[1]});
  const std::string path = ::testing::TempDir() + "documents_edit.diff";
  std::ofstream(path, std::ios::binary) << d.Text;
  ExpectEditsMatchFresh("Diff", path,
                        Pieces({"\n+x\n", "\n-y\n", "\n@@ -1 +1 @@\n", "\ndiff --git a/x b/x\n", "\n--- a\n+++ b\n",
                                "+", "-", " ", "\n"}),
                        9, 8);
  std::filesystem::remove(path);
}

}  // namespace qv::test
