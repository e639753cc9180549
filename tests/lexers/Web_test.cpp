// Bundled lexers on real files: see tests/support/BundledLexers.h.
#include "tests/support/BundledLexers.h"

#include <set>

#include "syntax/qvSubLexers.h"
#include "syntax/qvSyntStyles.h"

namespace qv::test {

namespace {

std::vector<std::string> Concat(std::vector<std::string> a, const std::vector<std::string>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

std::string TokenText(const TBundledAnalysis& a, int i) {
  const TSyntToken* t = a.Client->Tags(i);
  return WideToUtf8(a.Text.Text().substr(static_cast<size_t>(t->StartPos),
                                         static_cast<size_t>(t->EndPos - t->StartPos)));
}

// The style of a token: that of the block rule that marked it, else that of its token rule.
std::string StyleOf(const TBundledAnalysis& a, int i) {
  const TSyntToken* t = a.Client->Tags(i);
  if (!t->Rule || !t->Rule->Style()) return "-";
  return t->Rule->Style()->DisplayName();
}

// "text:Style" for every token, in order.
std::vector<std::string> Styled(const std::string& lexerName, const std::u16string& text) {
  TBundledAnalysis a(lexerName, text);
  a.Run();
  std::vector<std::string> out;
  for (int i = 0; i < a.Client->TokenCount(); ++i) out.push_back(TokenText(a, i) + ":" + StyleOf(a, i));
  return out;
}

bool Has(const std::vector<std::string>& v, const std::string& s) {
  return std::find(v.begin(), v.end(), s) != v.end();
}

// Texts of the tokens of a file whose style is style.
std::set<std::string> TokensStyled(const std::string& lexerName, const std::string& path,
                                   const std::string& style) {
  TBundledAnalysis a(lexerName, ReadText(path));
  a.Run();
  std::set<std::string> out;
  for (int i = 0; i < a.Client->TokenCount(); ++i)
    if (StyleOf(a, i) == style) out.insert(TokenText(a, i));
  return out;
}

// Regular-expression literals without their flags (a minifier may reorder those).
std::set<std::string> WithoutFlags(const std::set<std::string>& regexes) {
  std::set<std::string> out;
  for (const std::string& r : regexes) out.insert(r.substr(0, r.rfind('/') + 1));
  return out;
}

const char* const kNpm = "/usr/lib/node_modules/npm";
const char* const kJQuery = "/usr/share/javascript/jquery";

}  // namespace

// ---------------------------------------------------------------------------------------
// JavaScript

TEST(WebJavaScript, RealFilesCoveredAndClosed) {
  const auto files = Concat(FindFiles(kNpm, {".js", ".mjs", ".cjs"}, 30, 256 * 1024),
                            FindFiles("/usr/share/javascript", {".js"}, 8, 300 * 1024));
  ASSERT_GE(files.size(), 30u);
  for (const std::string& f : files) ExpectCoveredAndClosed("JavaScript", f);
}

// A minified one-line library: every regular-expression literal is told from a division the
// same way as in the readable source (minifiers keep regex literals as they are).
TEST(WebJavaScript, MinifiedJQueryRegexesMatchTheSource) {
  const std::string min = std::string(kJQuery) + "/jquery.min.js";
  const std::string full = std::string(kJQuery) + "/jquery.js";
  ASSERT_FALSE(ReadFile(min).empty());
  ASSERT_FALSE(ReadFile(full).empty());
  ExpectCoveredAndClosed("JavaScript", min);
  const std::set<std::string> fromMin = TokensStyled("JavaScript", min, "Regex");
  const std::set<std::string> fromFull = TokensStyled("JavaScript", full, "Regex");
  EXPECT_GE(fromMin.size(), 40u);
  EXPECT_EQ(WithoutFlags(fromMin), WithoutFlags(fromFull));
}

TEST(WebJavaScript, RegexDivisionTemplatesAndKeywords) {
  const auto s = Styled("JavaScript",
                        u"let r = a / b / c; if (x) return /[/]x\\/y/gi.test(s);\n"
                        u"const t = `n=${n + {k: '}'}.k} and ${`in${1}`}`; x++ / 2;\n"
                        u"v = 0x1F_FFn + 1_000 + .5e-3; obj.#priv = typeof /z/;\n");
  EXPECT_TRUE(Has(s, "let:Keyword"));
  EXPECT_TRUE(Has(s, "return:Keyword"));
  EXPECT_TRUE(Has(s, "typeof:Keyword"));
  EXPECT_TRUE(Has(s, "/:Symbol"));
  EXPECT_FALSE(Has(s, "/ b /:Regex"));
  EXPECT_TRUE(Has(s, "/[/]x\\/y/gi:Regex"));
  EXPECT_TRUE(Has(s, "/z/:Regex"));
  EXPECT_TRUE(Has(s, "`n=${n + {k: '}'}.k} and ${`in${1}`}`:String"));
  EXPECT_TRUE(Has(s, "++:Symbol"));
  EXPECT_TRUE(Has(s, "0x1F_FFn:Number"));
  EXPECT_TRUE(Has(s, "1_000:Number"));
  EXPECT_TRUE(Has(s, ".5e-3:Number"));
  EXPECT_TRUE(Has(s, "#priv:Identifier"));
}

TEST(WebJavaScript, EditsMatchFresh) {
  const auto files = FindFiles(kNpm + std::string("/lib"), {".js"}, 2, 30 * 1024);
  ASSERT_EQ(files.size(), 2u);
  const std::vector<std::u16string> pieces = {u"/", u"`", u"${", u"}", u"{", u"/* ", u"'", u"\n", u"x / 2", u"return /a/g"};
  for (size_t i = 0; i < files.size(); ++i)
    ExpectEditsMatchFresh("JavaScript", files[i], pieces, 11 + static_cast<unsigned>(i), 8);
}

TEST(WebJavaScript, Golden) { ExpectGolden("JavaScript", "javascript.js"); }

// ---------------------------------------------------------------------------------------
// TypeScript

TEST(WebTypeScript, RealFilesCoveredAndClosed) {
  const auto decls = FindFiles(kNpm, {".d.ts", ".d.mts", ".d.cts"}, 20, 256 * 1024);
  ASSERT_GE(decls.size(), 4u);
  for (const std::string& f : Concat(decls, FindFiles(kNpm, {".js", ".mjs"}, 12, 128 * 1024)))
    ExpectCoveredAndClosed("TypeScript", f);
}

TEST(WebTypeScript, KeywordsAndTypes) {
  const auto s = Styled("TypeScript",
                        u"export declare namespace N { interface I<T> extends J { readonly x: string; } }\n"
                        u"type U = keyof I | unknown; enum E { A = 1 } @dec class C implements I {}\n"
                        u"let n = v as number / 2;\n");
  for (const char* kw : {"export", "declare", "namespace", "interface", "extends", "readonly", "type",
                         "keyof", "enum", "class", "implements", "as"})
    EXPECT_TRUE(Has(s, std::string(kw) + ":Keyword")) << kw;
  EXPECT_TRUE(Has(s, "string:Type"));
  EXPECT_TRUE(Has(s, "unknown:Type"));
  EXPECT_TRUE(Has(s, "number:Type"));
  EXPECT_TRUE(Has(s, "@dec:Preprocessor"));
  EXPECT_TRUE(Has(s, "/:Symbol"));
}

TEST(WebTypeScript, EditsMatchFresh) {
  const auto files = FindFiles(kNpm, {".d.mts"}, 1, 30 * 1024);
  ASSERT_EQ(files.size(), 1u);
  ExpectEditsMatchFresh("TypeScript", files[0], {u"<T>", u"`${", u"}", u"{", u"interface ", u"/", u"\n"}, 5, 8);
}

TEST(WebTypeScript, Golden) { ExpectGolden("TypeScript", "typescript.ts"); }

// ---------------------------------------------------------------------------------------
// JSON

TEST(WebJSON, RealFilesCoveredAndClosed) {
  const auto files = Concat(FindFiles(kNpm, {".json"}, 30, 256 * 1024),
                            FindFiles("/usr/share/doc/nodejs/api", {".json"}, 6, 256 * 1024));
  ASSERT_GE(files.size(), 30u);
  for (const std::string& f : files) ExpectCoveredAndClosed("JSON", f);
}

TEST(WebJSON, MembersValuesAndRanges) {
  TBundledAnalysis a("JSON", u"{\"name\" : \"x\", \"list\": [1, -2.5e3, true, null, {\"k\":\"v\"}]}");
  a.Run();
  std::vector<std::string> s;
  for (int i = 0; i < a.Client->TokenCount(); ++i) s.push_back(TokenText(a, i) + ":" + StyleOf(a, i));
  EXPECT_TRUE(Has(s, "\"name\":Attribute"));
  EXPECT_TRUE(Has(s, "\"x\":String"));
  EXPECT_TRUE(Has(s, "\"k\":Attribute"));
  EXPECT_TRUE(Has(s, "\"v\":String"));
  EXPECT_TRUE(Has(s, "-2.5e3:Number"));
  EXPECT_TRUE(Has(s, "true:Keyword"));
  EXPECT_TRUE(Has(s, "null:Keyword"));
  // The outer object, the array and the inner object, nested in that order.
  ASSERT_EQ(a.Client->RangeCount(), 3);
  EXPECT_EQ(a.Client->Ranges(1)->Parent, a.Client->Ranges(0));
  EXPECT_EQ(a.Client->Ranges(2)->Parent, a.Client->Ranges(1));
  EXPECT_TRUE(OpenRanges(a).empty());
}

TEST(WebJSON, EditsMatchFresh) {
  const auto files = FindFiles(kNpm, {"package.json"}, 1, 30 * 1024);
  ASSERT_EQ(files.size(), 1u);
  ExpectEditsMatchFresh("JSON", files[0], {u"\"", u":", u"{", u"}", u"[", u"\"a\": 1,", u"\n"}, 3, 8);
}

TEST(WebJSON, Golden) { ExpectGolden("JSON", "json.json"); }

// ---------------------------------------------------------------------------------------
// CSS

TEST(WebCSS, RealFilesCoveredAndClosed) {
  const auto files = Concat(FindFiles("/usr/share/doc/nodejs", {".css"}, 10, 256 * 1024),
                            FindFiles("/usr/share/doc/python3", {".css"}, 10, 256 * 1024));
  ASSERT_GE(files.size(), 5u);
  for (const std::string& f : files) ExpectCoveredAndClosed("CSS", f);
}

TEST(WebCSS, SelectorsPropertiesAndValues) {
  const auto s = Styled("CSS",
                        u"a:hover, .x > #main::before{color:#fff;margin:0 auto}\n"
                        u"@media screen and (max-width: 600px) { div { width: 50%; } }\n"
                        u"p { background: url(img/a.png) no-repeat !important; --gap: 1.5em }\n");
  EXPECT_TRUE(Has(s, "a:Tag"));
  EXPECT_TRUE(Has(s, ":hover:Tag"));
  EXPECT_TRUE(Has(s, ".x:Tag"));
  EXPECT_TRUE(Has(s, "#main:Tag"));
  EXPECT_TRUE(Has(s, "::before:Tag"));
  EXPECT_TRUE(Has(s, "color:Attribute"));
  EXPECT_TRUE(Has(s, "#fff:Number"));
  EXPECT_TRUE(Has(s, "auto:Identifier"));
  EXPECT_TRUE(Has(s, "@media:Preprocessor"));
  EXPECT_TRUE(Has(s, "screen:Identifier"));
  EXPECT_TRUE(Has(s, "and:Keyword"));
  EXPECT_TRUE(Has(s, "max-width:Attribute"));
  EXPECT_TRUE(Has(s, "600px:Number"));
  EXPECT_TRUE(Has(s, "div:Tag"));
  EXPECT_TRUE(Has(s, "50%:Number"));
  EXPECT_TRUE(Has(s, "url(img/a.png):String"));
  EXPECT_TRUE(Has(s, "!important:Keyword"));
  EXPECT_TRUE(Has(s, "--gap:Attribute"));
  EXPECT_TRUE(Has(s, "1.5em:Number"));
}

TEST(WebCSS, EditsMatchFresh) {
  const auto files = FindFiles("/usr/share/doc/python3", {"basic.css"}, 1, 30 * 1024);
  ASSERT_EQ(files.size(), 1u);
  ExpectEditsMatchFresh("CSS", files[0], {u"{", u"}", u";", u"@media x", u":", u"/*", u"\n"}, 7, 8);
}

TEST(WebCSS, Golden) { ExpectGolden("CSS", "css.css"); }

// ---------------------------------------------------------------------------------------
// HTML

TEST(WebHTML, RealFilesCoveredAndClosed) {
  const auto files = FindFiles("/usr/share/doc/nodejs/api", {".html"}, 16, 256 * 1024);
  ASSERT_GE(files.size(), 16u);
  for (const std::string& f : files) ExpectCoveredAndClosed("HTML", f);
}

// The documentation pages hold script and style blocks: they are handed to the JavaScript and
// CSS lexers, whose tokens then appear inside.
TEST(WebHTML, ScriptAndStyleUseSubLexers) {
  std::vector<std::string> files;
  for (const std::string& f : FindFiles("/usr/share/doc/nodejs/api", {".html"}, 40, 256 * 1024)) {
    const std::string text = ReadFile(f);
    if (files.size() < 4 && text.find("<script>") != std::string::npos &&
        text.find("<style>") != std::string::npos)
      files.push_back(f);
  }
  ASSERT_EQ(files.size(), 4u);
  for (const std::string& f : files) {
    SCOPED_TRACE(f);
    TBundledAnalysis a("HTML", ReadText(f));
    a.Run();
    std::set<std::string> subs;
    for (const auto& range : a.Client->SubLexerBlocks()) {
      const TSubLexerRange& r = *range;
      ASSERT_NE(r.EndPos, -1);
      subs.insert(r.Rule->SyntAnalyzer()->Name());
      const std::u16string inner = a.Text.Text().substr(static_cast<size_t>(r.CondStartPos), 7);
      EXPECT_TRUE(inner == u"<script" || inner.substr(0, 6) == u"<style") << WideToUtf8(inner);
    }
    EXPECT_EQ(subs, (std::set<std::string>{"CSS", "JavaScript"}));
    std::set<std::string> styles;
    for (int i = 0; i < a.Client->TokenCount(); ++i) styles.insert(StyleOf(a, i));
    EXPECT_TRUE(styles.count("Keyword"));  // JavaScript keywords
    EXPECT_TRUE(styles.count("Attribute"));
    EXPECT_TRUE(styles.count("Text"));
  }
}

TEST(WebHTML, ElementRanges) {
  TBundledAnalysis a("HTML",
                     u"<!DOCTYPE html>\n<HTML><body>\n<DIV class=a>x<br><img src='i.png'><p>para\n"
                     u"<div id = y/><Div>in &amp; out</div></div>\n<pre>t</PRE></BODY></html>\n");
  a.Run();
  std::vector<std::string> ranges;
  for (int i = 0; i < a.Client->RangeCount(); ++i) {
    const TTextRange* r = a.Client->Ranges(i);
    ASSERT_TRUE(r->IsClosed());
    ranges.push_back(TokenText(a, r->IdentIdx) + ".." + TokenText(a, r->EndIdx - 1));
  }
  // html, body, the outer DIV (closed by the second </div>), the inner Div and pre; the
  // self-closed div, br, img and p open nothing.
  EXPECT_EQ(ranges, (std::vector<std::string>{"HTML..html", "body..BODY", "DIV..div", "Div..div", "pre..PRE"}));
  const auto s = Styled("HTML", u"<a href=\"u\" title = t>&amp;<!-- c --></a>");
  EXPECT_TRUE(Has(s, "href:Attribute"));
  EXPECT_TRUE(Has(s, "\"u\":String"));
  EXPECT_TRUE(Has(s, "t:String"));
  EXPECT_TRUE(Has(s, "&amp;:Escape"));
  EXPECT_TRUE(Has(s, "<!-- c -->:Comment"));
  EXPECT_TRUE(Has(s, "</:Tag"));
}

TEST(WebHTML, EditsMatchFresh) {
  const auto files = FindFiles("/usr/share/doc/nodejs/api", {".html"}, 40, 40 * 1024);
  ASSERT_FALSE(files.empty());
  ExpectEditsMatchFresh("HTML", files[0], {u"<", u">", u"</div>", u"<div>", u"\"", u"<script>", u"</style>", u"\n"},
                        9, 8);
}

TEST(WebHTML, Golden) { ExpectGolden("HTML", "html.html"); }

}  // namespace qv::test
