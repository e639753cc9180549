// Tests of sub-lexer rules and code templates: expressions in 8-bit form, notification of
// the flags, anchored matching (wide and 8-bit), copying, streaming, and the master lists of
// the analyzers rules name, also when such an analyzer is destroyed or named in a lexer file.
#include "syntax/qvSubLexers.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "framework/ComponentStream.h"
#include "framework/Dialogs.h"
#include "framework/Streams.h"
#include "framework/TextServices.h"
#include "syntax/qvMemoStrings.h"
#include "syntax/qvSyntAnalyzer.h"
#include "syntax/qvZRegExpr.h"
#include "tests/support/CodePageScope.h"

namespace qv {
namespace {

using testing::HasSubstr;

std::string Crlf(std::initializer_list<std::string_view> lines) {
  std::string s;
  for (std::string_view l : lines) s += std::string(l) + "\r\n";
  return s;
}

// Records every change notice of a collection: the item, or null for the whole collection.
struct TChangeLog {
  explicit TChangeLog(TSyntCollection& c) {
    c.OnChange = [this](TSyntCollection*, TSyntCollectionItem* item) { Items.push_back(item); };
  }
  std::vector<TSyntCollectionItem*> Items;
};

using test::TSystemCodePageScope;

// --- Rules without an owner analyzer --------------------------------------------------------

TEST(TSubAnalyzerRule, ExpressionsAreEightBitTextOfTheSystemCodePage) {
  TSubAnalyzerRules rules(nullptr);
  TSubAnalyzerRule* rule = rules.Add();
  EXPECT_EQ(rule->DisplayName(), "Sub lexer rule 1");
  // e-acute is the byte E9 in the Western code page; taken as UTF-8 it would not survive.
  rule->SetStartExpression("<\xE9t\xE9>");
  EXPECT_EQ(rule->StartExpression(), "<\xE9t\xE9>");
  EXPECT_EQ(rule->MatchStart(u"<\u00C9T\u00C9>", 1), 5);  // U+00E9, matched without case
}

TEST(TSubAnalyzerRule, NewExpressionsGetTheDefaultRuleModifiers) {
  TSubAnalyzerRules rules(nullptr);
  TSubAnalyzerRule* plain = rules.Add();
  DefaultModifiersProc = [](TqvRegExpr& e) { e.SetModifierFlags(MaskModG | MaskModS); };
  TSubAnalyzerRule* hooked = rules.Add();  // the host's hook replaces the defaults
  DefaultModifiersProc = nullptr;
  for (TSubAnalyzerRule* rule : {plain, hooked}) {
    rule->SetStartExpression("a b");
    rule->SetEndExpression("a.b");
  }
  EXPECT_EQ(plain->MatchStart(u"AB", 1), 2);  // i and x on
  EXPECT_EQ(plain->MatchEnd(u"a\nb", 1), 0);  // s off
  EXPECT_EQ(hooked->MatchStart(u"AB", 1), 0);
  EXPECT_EQ(hooked->MatchStart(u"a b", 1), 3);
  EXPECT_EQ(hooked->MatchEnd(u"a\nb", 1), 3);
}

TEST(TSubAnalyzerRule, FlagsAndExpressionsNotifyOnEveryWriteInheritedFlagsOnlyOnChange) {
  using W = std::function<void(TSubAnalyzerRule&)>;
  struct Case {
    const char* Name;
    W Write;
    size_t Notices;
  } cases[] = {
      {"FromTextBegin unchanged", [](auto& r) { r.SetFromTextBegin(false); }, 1},
      {"ToTextEnd unchanged", [](auto& r) { r.SetToTextEnd(false); }, 1},
      {"IncludeBounds twice", [](auto& r) { r.SetIncludeBounds(true), r.SetIncludeBounds(true); },
       2},
      {"StartExpression unchanged", [](auto& r) { r.SetStartExpression(""); }, 1},
      {"EndExpression twice", [](auto& r) { r.SetEndExpression("x"), r.SetEndExpression("x"); }, 2},
      {"SyntAnalyzer unchanged", [](auto& r) { r.SetSyntAnalyzer(nullptr); }, 0},
      {"StrictParent unchanged", [](auto& r) { r.SetStrictParent(false); }, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    TSubAnalyzerRules rules(nullptr);
    TSubAnalyzerRule* rule = rules.Add();
    TChangeLog log(rules);
    c.Write(*rule);
    EXPECT_EQ(log.Items, std::vector<TSyntCollectionItem*>(c.Notices, rule));
  }
}

TEST(TSubAnalyzerRule, MatchStartAndEndAreAnchoredAtThePosition) {
  TSubAnalyzerRules rules(nullptr);
  TSubAnalyzerRule* rule = rules.Add();
  rule->SetStartExpression("<script[^>]*>");
  rule->SetEndExpression("</script>");
  const std::u16string text = u"<p><SCRIPT type=\"js\">if (a<b) f();</script></p>";
  const std::string text8 = WideCharToMultiByte(CP_ACP, text);
  const int open = static_cast<int>(text.find(u"<SCRIPT")) + 1;
  const int close = static_cast<int>(text.find(u"</script>")) + 1;
  const int less = static_cast<int>(text.find(u"<b)")) + 1;
  const int end = static_cast<int>(text.size()) + 1;
  struct Case {
    const char* Name;
    bool End;
    int Pos, Length;
  } cases[] = {
      {"opening tag, any letter case", false, open, 18},
      {"before the tag", false, 1, 0},
      {"inside the tag", false, open + 1, 0},
      {"start expression at the closing tag", false, close, 0},
      {"closing tag", true, close, 9},
      {"a less-than sign inside the script", true, less, 0},
      {"just past the text", true, end, 0},
      {"far past the text", false, 1000, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    EXPECT_EQ(c.End ? rule->MatchEnd(text, c.Pos) : rule->MatchStart(text, c.Pos), c.Length);
    EXPECT_EQ(c.End ? rule->MatchEnd(text8, c.Pos) : rule->MatchStart(text8, c.Pos), c.Length);
  }
}

TEST(TSubAnalyzerRule, AnExpressionThatCannotBeUsedMatchesNothing) {
  std::string tooDeep;
  for (int i = 0; i < 20000; ++i) tooDeep += "a*";
  for (const std::string& expression : {std::string(), std::string("(<script"),
                                        std::string("[z-a]"), tooDeep}) {
    SCOPED_TRACE(expression.substr(0, 10));
    TSubAnalyzerRules rules(nullptr);
    TSubAnalyzerRule* rule = rules.Add();
    rule->SetStartExpression(expression);
    rule->SetEndExpression(expression);
    EXPECT_EQ(rule->StartExpression(), expression);  // kept as written
    int start = -1, end = -1;
    EXPECT_NO_THROW(start = rule->MatchStart(u"(<script>aaa", 1));
    EXPECT_NO_THROW(end = rule->MatchEnd(std::string("(<script>aaa"), 1));
    EXPECT_EQ(start, 0);
    EXPECT_EQ(end, 0);
  }
}

// The wide overloads match the text unconverted; with a single-byte system code page the
// lengths must be those on the converted text, where characters the page lacks are "?".
TEST(TSubAnalyzerRule, WideMatchesEqualMatchesOnTheConvertedText) {
  struct Case {
    int CodePage;
    const char* Expression;  // in that code page
    std::u16string Text;
    int Pos, Length;
  } cases[] = {
      {1252, "[\xE0-\xFF]+", u"\u00E9\u00E8\u03A9x", 1, 2},
      {1252, "\\?", u"\u03A9", 1, 1},
      {1252, "\\w+", u"abc\u20ACd", 1, 3},
      {1252, "\x80", u"x\u20AC", 2, 1},              // the euro sign is byte 80
      {1252, "\xC9+", u"\u00E9\u00C9\u00E9", 1, 3},  // without case
      {1251, "[\xC0-\xFF]+", u"\u041F\u0440\u0438\u0432\u0435\u0442!", 1, 6},
      {1251, "[\xC0-\xFF]+", u"caf\u00E9", 4, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.Expression) + " in " + std::to_string(c.CodePage));
    TSystemCodePageScope scope(c.CodePage);
    TSubAnalyzerRules rules(nullptr);
    TSubAnalyzerRule* rule = rules.Add();
    rule->SetStartExpression(c.Expression);
    rule->SetEndExpression(c.Expression);
    EXPECT_EQ(rule->MatchStart(c.Text, c.Pos), c.Length);
    EXPECT_EQ(rule->MatchStart(WideCharToMultiByte(CP_ACP, c.Text), c.Pos), c.Length);
    EXPECT_EQ(rule->MatchEnd(c.Text, c.Pos), c.Length);
  }
}

TEST(TSubAnalyzerRule, AssignCopiesEveryPropertyThroughTheSetters) {
  TSubAnalyzerRules from(nullptr), to(nullptr);
  TSubAnalyzerRule* source = from.Add();
  source->SetDisplayName("Script");
  source->SetEnabled(false);
  source->SetStatesAdd(4);
  source->SetStartExpression("<script>");
  source->SetEndExpression("</script>");
  source->SetFromTextBegin(true);
  source->SetIncludeBounds(true);
  TSubAnalyzerRule* dest = to.Add();
  TChangeLog log(to);
  dest->Assign(source);
  std::string difference;
  EXPECT_TRUE(SamePublishedValues(*source, *dest, &difference)) << difference;
  EXPECT_EQ(dest->MatchStart(u"<script>", 1), 8);
  EXPECT_FALSE(log.Items.empty());  // the owner of the copy hears of it
}

// --- Code templates -------------------------------------------------------------------------

// Counts the item changes a template collection reports.
class TCountingTemplates : public TCodeTemplates {
public:
  TCountingTemplates() : TCodeTemplates(nullptr) {}
  int ItemChanges = 0;

protected:
  void Update(TCollectionItem* item) override { ItemChanges += item ? 1 : 0; }
};

TEST(TCodeTemplate, AssignCopiesTheFieldsAndTheLinesExactlyWithoutNotice) {
  TCountingTemplates templates;
  TCodeTemplate* source = templates.Add();
  source->SetName("for");
  source->SetDescription("counted loop");
  source->SetAdvanced(true);
  struct Case {
    const char* Name;
    std::u16string Text;
    int Lines;
  } cases[] = {
      {"two lines", u"for (;;) {\r\n}", 2},
      {"a final empty line", u"x;\r\n", 2},
      {"line feeds only, an empty line inside", u"a\n\nb", 3},
      {"empty", u"", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    source->Code()->SetTextStr(c.Text);
    TCodeTemplate* copy = templates.Add();
    copy->Assign(source);
    EXPECT_EQ(copy->DisplayName(), "for");
    EXPECT_EQ(copy->Description(), "counted loop");
    EXPECT_TRUE(copy->Advanced());
    EXPECT_EQ(copy->Code()->Count(), c.Lines);
    EXPECT_TRUE(copy->Code()->Text() == c.Text);
    source->Code()->Add(u"more");  // copied, not shared
    EXPECT_EQ(copy->Code()->Count(), c.Lines);
  }
  source->SetDisplayName("while");
  EXPECT_EQ(source->Name(), "while");
  EXPECT_EQ(templates.ItemChanges, 0);
}

TEST(TCodeTemplate, WritingCodeCopiesTheGivenLines) {
  TCodeTemplates templates(nullptr);
  TCodeTemplate* t = templates.Add();
  TSyntMemoStrings lines;
  lines.SetTextStr(u"begin\r\nend");
  t->SetCode(&lines);
  lines.Clear();
  EXPECT_EQ(t->Code()->Count(), 2);
  t->SetCode(t->Code());  // itself: nothing lost
  EXPECT_TRUE(t->Code()->Text() == u"begin\r\nend");
  t->SetCode(nullptr);
  EXPECT_EQ(t->Code()->Count(), 0);
}

// --- Streaming --------------------------------------------------------------------------------

// Holds the two collections the way an analyzer does, without being one.
class TSubLexerHolder : public TComponent {
  QV_CLASS(TSubLexerHolder, TComponent)
  static void DeclareClass(TClassDecl& c) {
    c.Collection("SubAnalyzers", &TSubLexerHolder::SubAnalyzers);
    c.Collection("CodeTemplates", &TSubLexerHolder::CodeTemplates);
  }
  explicit TSubLexerHolder(TComponent* owner) : TComponent(owner) {}
  TSubAnalyzerRules* SubAnalyzers() const { return FRules.get(); }
  TCodeTemplates* CodeTemplates() const { return FTemplates.get(); }

private:
  std::unique_ptr<TSubAnalyzerRules> FRules = std::make_unique<TSubAnalyzerRules>(nullptr);
  std::unique_ptr<TCodeTemplates> FTemplates = std::make_unique<TCodeTemplates>(this);
};

std::string WriteText(TComponent& c) {
  TMemoryStream out;
  WriteComponentText(out, &c);
  return out.DataString();
}

TEST(TSubLexerStreaming, AFreshRuleAndTemplateWriteOnlyTheRuleName) {
  TSubLexerHolder holder(nullptr);
  holder.SetName("Holder");
  holder.SubAnalyzers()->Add();
  holder.CodeTemplates()->Add();
  EXPECT_EQ(WriteText(holder),
            Crlf({"object Holder: TSubLexerHolder", "  SubAnalyzers = <", "    item",
                  "      DisplayName = 'Sub lexer rule 1'", "    end>", "  CodeTemplates = <",
                  "    item", "    end>", "end"}));
}

TEST(TSubLexerStreaming, RulesAndTemplatesSurviveARoundTrip) {
  TSubLexerHolder holder(nullptr);
  holder.SetName("Holder");
  TSubAnalyzerRule* rule = holder.SubAnalyzers()->Add();
  rule->SetStatesPresent(8);
  rule->SetStartExpression("<style\\s[^>]*>");
  rule->SetEndExpression("</style\xE9>");
  rule->SetToTextEnd(true);
  rule->SetIncludeBounds(true);
  holder.SubAnalyzers()->Add()->SetEndExpression("'quoted'");
  TCodeTemplate* t = holder.CodeTemplates()->Add();
  t->SetName("if");
  t->SetDescription("if statement");
  t->SetAdvanced(true);
  t->Code()->SetTextStr(u"if (\u00E9 \u4E2D) {\r\n\r\n}");
  holder.CodeTemplates()->Add()->SetName("empty");

  const std::string text = WriteText(holder);
  EXPECT_THAT(text, HasSubstr("      Code.Strings = (\r\n"));
  TSubLexerHolder copy(nullptr);
  TMemoryStream in(text);
  ReadComponentText(in, &copy);
  std::string difference;
  EXPECT_TRUE(SamePublishedValues(holder, copy, &difference)) << difference << "\n" << text;
  EXPECT_TRUE(copy.CodeTemplates()->Items(0)->Code()->Text() == t->Code()->Text());
  EXPECT_EQ(copy.SubAnalyzers()->Items(0)->MatchEnd(u"</style\u00C9>", 1), 9);
}

// --- Rules of analyzers: the master lists ---------------------------------------------------

TEST(TSubAnalyzerRule, TheOwnerStaysAMasterWhileAnyOfItsRulesNamesTheAnalyzer) {
  TSyntAnalyzer outer(nullptr), inner(nullptr), other(nullptr);
  TSubAnalyzerRules* rules = outer.SubAnalyzers();
  TSubAnalyzerRule* first = rules->Add();
  TSubAnalyzerRule* second = rules->Add();
  first->SetSyntAnalyzer(&inner);
  second->SetSyntAnalyzer(&inner);
  ASSERT_EQ(inner.MasterCount(), 1);  // once, however many rules name it
  EXPECT_EQ(inner.Masters(0), &outer);
  first->SetSyntAnalyzer(&other);  // the second rule still names inner
  EXPECT_EQ(inner.MasterCount(), 1);
  EXPECT_EQ(other.MasterCount(), 1);
  rules->Delete(second->Index());  // the last rule naming inner goes
  EXPECT_EQ(inner.MasterCount(), 0);
  delete first;  // deleted directly
  EXPECT_EQ(other.MasterCount(), 0);
  rules->Add()->SetSyntAnalyzer(&inner);
  rules->Clear();
  EXPECT_EQ(inner.MasterCount(), 0);
  rules->Add()->SetSyntAnalyzer(&outer);  // naming its own analyzer
  EXPECT_EQ(outer.MasterCount(), 0);
}

TEST(TSubAnalyzerRule, RulesMovedOrCopiedToAnotherAnalyzerMakeItTheMaster) {
  TSyntAnalyzer a(nullptr), b(nullptr), inner(nullptr);
  TSubAnalyzerRule* rule = a.SubAnalyzers()->Add();
  rule->SetSyntAnalyzer(&inner);
  rule->SetCollection(b.SubAnalyzers());
  ASSERT_EQ(inner.MasterCount(), 1);
  EXPECT_EQ(inner.Masters(0), &b);
  a.SubAnalyzers()->Add()->Assign(rule);
  EXPECT_EQ(inner.MasterCount(), 2);
  rule->SetCollection(nullptr);  // detached: only the copy in a names inner now
  ASSERT_EQ(inner.MasterCount(), 1);
  EXPECT_EQ(inner.Masters(0), &a);
  delete rule;
}

TEST(TSubAnalyzerRule, DestroyingTheNamedAnalyzerClearsTheRuleWithoutNotice) {
  TSyntAnalyzer outer(nullptr);
  auto inner = std::make_unique<TSyntAnalyzer>(nullptr);
  TSubAnalyzerRule* first = outer.SubAnalyzers()->Add();
  TSubAnalyzerRule* second = outer.SubAnalyzers()->Add();
  first->SetSyntAnalyzer(inner.get());
  second->SetSyntAnalyzer(inner.get());
  int changes = 0;
  outer.OnChange = [&](TObject*) { ++changes; };
  first->SetIncludeBounds(true);  // a change of a rule does reach the owner
  ASSERT_EQ(changes, 1);
  inner.reset();
  EXPECT_EQ(first->SyntAnalyzer(), nullptr);
  EXPECT_EQ(second->SyntAnalyzer(), nullptr);
  EXPECT_EQ(changes, 1);
}

// The host frees its lexers last-created first: here the sub-lexer goes before the lexer
// whose rule names it, and the rule must not keep (and later use) a freed analyzer. The
// fault this guards against shows only under AddressSanitizer.
TEST(TSubAnalyzerRule, AHostFreeingItsLexersFreesASubLexerBeforeItsMaster) {
  auto host = std::make_unique<TComponent>(nullptr);
  auto* outer = new TSyntAnalyzer(host.get());
  auto* inner = new TSyntAnalyzer(host.get());
  outer->SubAnalyzers()->Add()->SetSyntAnalyzer(inner);
  EXPECT_EQ(inner->MasterCount(), 1);
  host.reset();
}

// Answers every message dialog with one button and records the messages.
class DialogAnswer {
public:
  explicit DialogAnswer(int answer) {
    FPrevious = SetMessageDlgHandler(
        [this, answer](const std::string& msg, TMsgDlgType, TMsgDlgButtons) {
          Texts.push_back(msg);
          return answer;
        });
  }
  ~DialogAnswer() { SetMessageDlgHandler(FPrevious); }
  std::vector<std::string> Texts;

private:
  TMessageDlgHandler FPrevious;
};

// Loads a lexer whose one rule names the host's component called name.
void LoadNaming(TSyntAnalyzer& lexer, std::string_view name) {
  TMemoryStream in(Crlf({"object Outer: TSyntAnalyzer", "  SubAnalyzers = <", "    item",
                         "      StartExpression = '<script>'",
                         "      SyntAnalyzer = " + std::string(name), "    end>", "end"}));
  lexer.LoadFromStream(in);
}

TEST(TSubAnalyzerRule, ANamedAnalyzerOfTheSameOwnerIsResolvedAfterLoading) {
  TComponent host(nullptr);
  auto* inner = new TSyntAnalyzer(&host);
  inner->SetName("Inner");
  auto* outer = new TSyntAnalyzer(&host);
  outer->SetName("Outer");
  LoadNaming(*outer, "Inner");
  ASSERT_EQ(outer->SubAnalyzers()->Count(), 1);
  EXPECT_EQ(outer->SubAnalyzers()->Items(0)->SyntAnalyzer(), inner);
  ASSERT_EQ(inner->MasterCount(), 1);
  EXPECT_EQ(inner->Masters(0), outer);

  // Saved and loaded into another lexer of the host, the rule names the same analyzer.
  TMemoryStream out;
  outer->SaveToStream(out);
  EXPECT_THAT(out.DataString(), HasSubstr("      SyntAnalyzer = Inner\r\n"));
  auto* again = new TSyntAnalyzer(&host);
  out.SetPosition(0);
  again->LoadFromStream(out);
  EXPECT_EQ(again->SubAnalyzers()->Items(0)->SyntAnalyzer(), inner);
  EXPECT_EQ(inner->MasterCount(), 2);
}

TEST(TSubAnalyzerRule, NamingAComponentThatIsNoAnalyzerIsAReadError) {
  TComponent host(nullptr);
  auto* outer = new TSyntAnalyzer(&host);
  outer->SetName("Outer");
  (new TComponent(&host))->SetName("Plain");
  DialogAnswer dialog(mrYes);
  LoadNaming(*outer, "Plain");
  EXPECT_EQ(dialog.Texts, std::vector<std::string>{
                              "Ignore this error?\r\nError reading "
                              "Outer.SubAnalyzers[0].SyntAnalyzer: Invalid property value"});
  ASSERT_EQ(outer->SubAnalyzers()->Count(), 1);
  EXPECT_EQ(outer->SubAnalyzers()->Items(0)->SyntAnalyzer(), nullptr);
  EXPECT_EQ(outer->SubAnalyzers()->Items(0)->StartExpression(), "<script>");
}

}  // namespace
}  // namespace qv
