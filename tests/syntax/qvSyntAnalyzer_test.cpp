// The analyzer's configuration: what a new lexer is and writes, hand-written lexer files
// loaded, saved against golden files and loaded again, copying, the reactions to changes
// (clients cleared, references dropped, deferral of block rules), and master analyzers.
#include "syntax/qvSyntAnalyzer.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

#include <memory>
#include <string>
#include <vector>

#include "framework/ComponentStream.h"
#include "syntax/qvBlockRules.h"
#include "syntax/qvMemoStrings.h"
#include "syntax/qvParserResults.h"
#include "syntax/qvSubLexers.h"
#include "syntax/qvSyntStyles.h"
#include "syntax/qvTokenRules.h"
#include "syntax/qvZRegExpr.h"
#include "tests/support/RealFiles.h"

namespace qv {
namespace {

// A host that counts the style notices it gets.
struct TCountingHost : IqvSyntClient {
  void FormatChanged() override {
    ++FormatChanges;
    if (OnFormatChanged) OnFormatChanged();
  }
  void AnalysisFinished() override {}
  int FormatChanges = 0;
  std::function<void()> OnFormatChanged;
};

// A results object that counts what its analyzer asks of it.
class TCountingResults : public TParserResults {
public:
  explicit TCountingResults(TSyntAnalyzer& owner)
      : TParserResults(&owner, [] { return &EmptyText(); }, std::make_shared<TCountingHost>()) {}
  void CloseAtEnd(int) override {}
  void Clear() override {
    TParserResults::Clear();
    ++Clears;
  }
  void RestartTimer() override { ++Restarts; }
  TCountingHost& Host() const { return static_cast<TCountingHost&>(*SyntClient()); }
  int Clears = 0, Restarts = 0;

private:
  static TSyntMemoStrings& EmptyText() {
    static TSyntMemoStrings text;
    return text;
  }
};

std::string Save(TSyntAnalyzer& lexer) {
  TMemoryStream out;
  lexer.SaveToStream(out);
  return out.DataString();
}

void Load(TSyntAnalyzer& lexer, const std::string& text) {
  TMemoryStream in(text);
  lexer.LoadFromStream(in);
}

std::string DataFile(const std::string& name) {
  const std::string text = test::ReadFile(QV_SOURCE_DIR "/tests/data/lexers/" + name);
  EXPECT_FALSE(text.empty()) << name;
  return text;
}

std::string GoldenFile(const std::string& name) {
  const std::string text = test::ReadFile(QV_SOURCE_DIR "/tests/golden/lexers/" + name);
  EXPECT_FALSE(text.empty()) << name;
  return text;
}

std::string StyleOf(const TSyntaxFormat* style) { return style ? style->DisplayName() : "-"; }

// The references of two lexers, compared by the names of what they point to.
void ExpectSameReferences(const TSyntAnalyzer& a, const TSyntAnalyzer& b) {
  EXPECT_EQ(StyleOf(a.MarkedBlock()), StyleOf(b.MarkedBlock()));
  EXPECT_EQ(StyleOf(a.CurrentLine()), StyleOf(b.CurrentLine()));
  ASSERT_EQ(a.TokenRules()->Count(), b.TokenRules()->Count());
  for (int i = 0; i < a.TokenRules()->Count(); ++i) {
    const TTokenRule* x = a.TokenRules()->Items(i);
    const TTokenRule* y = b.TokenRules()->Items(i);
    EXPECT_EQ(StyleOf(x->Style()), StyleOf(y->Style())) << x->DisplayName();
    EXPECT_EQ(x->Block() ? x->Block()->DisplayName() : "-", y->Block() ? y->Block()->DisplayName() : "-");
    EXPECT_EQ(x->Style() != nullptr, !x->StyleName().empty());
  }
  ASSERT_EQ(a.BlockRules()->Count(), b.BlockRules()->Count());
  for (int i = 0; i < a.BlockRules()->Count(); ++i) {
    const TTagBlockCondition* x = a.BlockRules()->Items(i);
    const TTagBlockCondition* y = b.BlockRules()->Items(i);
    EXPECT_EQ(x->BlockEnd(), y->BlockEnd());
    EXPECT_EQ(x->BlockEndCond() != nullptr, !x->BlockEnd().empty()) << x->DisplayName();
    EXPECT_EQ(StyleOf(x->Style()), StyleOf(y->Style()));
    EXPECT_EQ(StyleOf(x->TreeItemStyleObj()), StyleOf(y->TreeItemStyleObj()));
  }
  ASSERT_EQ(a.SubAnalyzers()->Count(), b.SubAnalyzers()->Count());
  for (int i = 0; i < a.SubAnalyzers()->Count(); ++i)
    EXPECT_EQ(a.SubAnalyzers()->Items(i)->SyntAnalyzer(), b.SubAnalyzers()->Items(i)->SyntAnalyzer());
}

const char* const NewAnalyzerText =
    "object Lexer1: TSyntAnalyzer\r\n"
    "  Formats = <\r\n"
    "    item\r\n"
    "      DisplayName = 'Marked block'\r\n"
    "      Font.Charset = DEFAULT_CHARSET\r\n"
    "      Font.Color = clHighlightText\r\n"
    "      Font.Height = -13\r\n"
    "      Font.Name = 'Courier New'\r\n"
    "      Font.Style = []\r\n"
    "      BgColor = clHighlight\r\n"
    "      FormatType = ftColor\r\n"
    "    end>\r\n"
    "  TokenRules = <>\r\n"
    "  BlockRules = <>\r\n"
    "  CodeTemplates = <>\r\n"
    "  SubAnalyzers = <>\r\n"
    "  TokenTypeNames.Strings = (\r\n"
    "    'Unknown'\r\n"
    "    'Comment'\r\n"
    "    'Identifier'\r\n"
    "    'Symbol'\r\n"
    "    'String'\r\n"
    "    'Integer const'\r\n"
    "    'Float const'\r\n"
    "    'Hex const'\r\n"
    "    'Char const'\r\n"
    "    'Preprocessor')\r\n"
    "  MarkedBlockStyle = 'Marked block'\r\n"
    "  Charset = DEFAULT_CHARSET\r\n"
    "end\r\n";

TEST(SyntAnalyzer, ANewAnalyzerWritesItsBuiltInStyleTypeNamesAndCharsetOnly) {
  TSyntAnalyzer lexer(nullptr);
  lexer.SetName("Lexer1");
  ASSERT_EQ(lexer.Formats()->Count(), 1);
  EXPECT_TRUE(lexer.Formats()->Items(0)->IsBlock());
  EXPECT_EQ(lexer.MarkedBlock(), lexer.Formats()->Items(0));
  EXPECT_TRUE(lexer.SkipSpaces());
  EXPECT_EQ(lexer.IdleAppendDelay(), 200u);
  EXPECT_EQ(lexer.IdleAppendDelayInit(), 50u);
  EXPECT_EQ(Save(lexer), NewAnalyzerText);

  TSyntAnalyzer copy(nullptr);
  copy.SetName("Lexer1");
  Load(copy, NewAnalyzerText);
  EXPECT_EQ(Save(copy), NewAnalyzerText);
  EXPECT_EQ(copy.MarkedBlock(), copy.Formats()->Items(0));
}

struct THandWritten {
  const char* File;
  const char* Name;
};

TEST(SyntAnalyzer, HandWrittenLexersLoadSaveAsTheirGoldenFilesAndLoadBackEqual) {
  for (const THandWritten& c : {THandWritten{"clike.lxr", "CLike"}, THandWritten{"pascal.lxr", "Pascal"},
                                THandWritten{"markup.lxr", "Markup"},
                                THandWritten{"gramma.lxr", "Gramma"}}) {
    SCOPED_TRACE(c.File);
    TComponent form(nullptr);
    form.SetName("Form1");
    auto* script = new TSyntAnalyzer(&form);
    script->SetName("Script");
    auto* lexer = new TSyntAnalyzer(&form);
    lexer->SetName(c.Name);
    Load(*lexer, DataFile(c.File));
    const std::string saved = Save(*lexer);
    if (std::getenv("QV_UPDATE_GOLDEN"))  // review the difference before committing it
      std::ofstream(QV_SOURCE_DIR "/tests/golden/lexers/" + std::string(c.File), std::ios::binary)
          << saved;
    else
      EXPECT_EQ(saved, GoldenFile(c.File));

    auto* again = new TSyntAnalyzer(&form);
    again->SetName(std::string(c.Name) + "Again");
    Load(*again, saved);
    EXPECT_EQ(again->Name(), std::string(c.Name) + "Again");  // loading keeps the name
    std::string difference;
    EXPECT_TRUE(SamePublishedValues(*lexer, *again, &difference)) << difference;
    ExpectSameReferences(*lexer, *again);
    // Block rules that name grammar rules find them in the loaded grammar.
    for (int i = 0; i < again->BlockRules()->Count(); ++i) {
      const TTagBlockCondition* rule = again->BlockRules()->Items(i);
      EXPECT_EQ(rule->GrammaRule() != nullptr, !rule->GrammaRuleName().empty()) << rule->DisplayName();
      if (rule->GrammaRule()) {
        EXPECT_EQ(rule->GrammaRule()->Name, rule->GrammaRuleName());
      }
    }
  }
}

TEST(SyntAnalyzer, LoadedValuesAndReferencesAreThoseOfTheFile) {
  TComponent form(nullptr);
  auto* script = new TSyntAnalyzer(&form);
  script->SetName("Script");
  auto* markup = new TSyntAnalyzer(&form);
  Load(*markup, DataFile("markup.lxr"));
  EXPECT_EQ(markup->SubAnalyzers()->Items(0)->SyntAnalyzer(), script);
  EXPECT_EQ(script->MasterCount(), 1);
  EXPECT_EQ(script->Masters(0), markup);
  EXPECT_FALSE(markup->SkipSpaces());
  EXPECT_TRUE(markup->ParseEndOfLine());

  TSyntAnalyzer pascal(nullptr);
  Load(pascal, DataFile("pascal.lxr"));
  // A style without font lines keeps the initial font; a rule without Enabled is enabled.
  const TSyntaxFormat* reserved = pascal.Formats()->Items(1);
  EXPECT_EQ(reserved->Font()->Name(), "Courier New");
  EXPECT_EQ(reserved->Font()->Size(), 10);
  EXPECT_TRUE(pascal.TokenRules()->Items(0)->Enabled());
  EXPECT_FALSE(pascal.TokenRules()->Items(4)->Enabled());
  EXPECT_EQ(pascal.TokenRules()->Items(4)->Block(), pascal.BlockRules()->Items(3));
  EXPECT_EQ(pascal.BlockRules()->Items(1)->BlockEndCond(), pascal.BlockRules()->Items(2));
  EXPECT_EQ(StyleOf(pascal.CurrentLine()), "Current line");
  EXPECT_EQ(pascal.Charset(), ANSI_CHARSET);
  EXPECT_EQ(pascal.TokenTypeNames()->Count(), 11);
  EXPECT_EQ(pascal.TokenRules()->Items(0)->RegExpr().CodePage(), 1252u);
  EXPECT_EQ(pascal.BlockRules()->Items(3)->Pen()->Width(), 2);
  EXPECT_FALSE(pascal.ComponentState().Contains(csLoading));
}

TEST(SyntAnalyzer, BadExpressionsLoadAndNamesOfNothingLeaveReferencesEmpty) {
  TSyntAnalyzer lexer(nullptr);
  Load(lexer, "object L: TSyntAnalyzer\r\n"
              "  TokenRules = <\r\n"
              "    item\r\n"
              "      StyleName = 'No such style'\r\n"
              "      BlockName = 'No such block'\r\n"
              "      Expression = '(a|b'\r\n"
              "    end>\r\n"
              "  DefaultStyleName = 'Nothing'\r\n"
              "end\r\n");
  TTokenRule* rule = lexer.TokenRules()->Items(0);
  EXPECT_TRUE(rule->IsInvalid());
  EXPECT_EQ(rule->Expression(), u"(a|b");
  EXPECT_EQ(rule->MatchRule(u"aaa", 1), 0);
  EXPECT_EQ(rule->Style(), nullptr);
  EXPECT_EQ(rule->Block(), nullptr);
  EXPECT_EQ(rule->StyleName(), "");
  EXPECT_EQ(lexer.DefStyle(), nullptr);
  EXPECT_EQ(lexer.DefaultStyleName(), "");
}

TEST(SyntAnalyzer, AssignCopiesEverythingAndResolvesForwardBlockReferences) {
  TSyntAnalyzer pascal(nullptr);
  Load(pascal, DataFile("pascal.lxr"));
  TSyntAnalyzer copy(nullptr);
  TCountingResults client(copy);
  copy.Assign(&pascal);
  std::string difference;
  EXPECT_TRUE(SamePublishedValues(pascal, copy, &difference)) << difference;
  ExpectSameReferences(pascal, copy);
  // "Begin" ends with "End", which comes after it in the list.
  EXPECT_EQ(copy.BlockRules()->Items(1)->BlockEndCond(), copy.BlockRules()->Items(2));
  EXPECT_EQ(copy.TokenRules()->Items(4)->Block(), copy.BlockRules()->Items(3));
  EXPECT_EQ(copy.TokenRules()->Items(0)->RegExpr().CodePage(), 1252u);
  EXPECT_EQ(client.Clears, 1);  // once at the end, not per property
  EXPECT_GE(client.Restarts, 2);
}

TEST(SyntAnalyzer, SettingsClearTheClientsOnlyWhenTheyChangeTheAnalysis) {
  TSyntAnalyzer lexer(nullptr);
  TCountingResults client(lexer);
  int changes = 0;
  lexer.OnChange = [&](TObject* sender) {
    EXPECT_EQ(sender, &lexer);
    ++changes;
  };
  lexer.SetSkipSpaces(true);
  EXPECT_EQ(client.Clears, 0);
  lexer.SetSkipSpaces(false);
  EXPECT_EQ(client.Clears, 1);
  EXPECT_EQ(client.Host().FormatChanges, 1);
  lexer.SetCharset(RUSSIAN_CHARSET);  // the code pages change, the results stay
  EXPECT_EQ(client.Clears, 1);
  EXPECT_EQ(changes, 1);
  lexer.SetLexerName("Name only");
  lexer.SetIdleAppendDelay(10);
  EXPECT_EQ(client.Clears, 1);

  TTokenRule* rule = lexer.TokenRules()->Add();
  EXPECT_EQ(client.Clears, 2);
  EXPECT_EQ(changes, 2);
  rule->SetTokenType(3);
  EXPECT_EQ(client.Clears, 3);
  lexer.TokenTypeNames()->Add("Extra");
  EXPECT_EQ(changes, 4);
  EXPECT_EQ(client.Clears, 3);

  // A host that updates again from inside the notice does not recurse.
  client.Host().OnFormatChanged = [&] { lexer.UpdateClients(); };
  lexer.UpdateClients();
  EXPECT_EQ(client.Host().FormatChanges, 4);
}

TEST(SyntAnalyzer, RemovingItemsDropsEveryReferenceToThem) {
  TSyntAnalyzer pascal(nullptr);
  Load(pascal, DataFile("pascal.lxr"));
  ASSERT_NE(pascal.CurrentLine(), nullptr);
  pascal.Formats()->Delete(3);  // "Current line"
  EXPECT_EQ(pascal.CurrentLine(), nullptr);
  pascal.Formats()->Delete(1);  // "Reserved", the style of the keyword rule
  EXPECT_EQ(pascal.BlockRules()->Items(0)->Style(), nullptr);
  EXPECT_EQ(pascal.BlockRules()->Items(0)->StyleName(), "");
  pascal.BlockRules()->Delete(3);  // "Asm", the parent of a token rule
  EXPECT_EQ(pascal.TokenRules()->Items(4)->Block(), nullptr);
  pascal.BlockRules()->Delete(2);  // "End", the end of "Begin"
  EXPECT_EQ(pascal.BlockRules()->Items(1)->BlockEndCond(), nullptr);
}

TEST(SyntAnalyzer, BlockRulesAreDeferredUnlessSomethingLetsThemInfluenceTokens) {
  TSyntAnalyzer lexer(nullptr);
  EXPECT_TRUE(lexer.CanDeferBlockRules());
  TTagBlockCondition* block = lexer.BlockRules()->Add();
  EXPECT_TRUE(lexer.CanDeferBlockRules());
  block->SetStatesAdd(2);  // a block rule that changes states
  EXPECT_FALSE(lexer.CanDeferBlockRules());
  block->SetStatesAdd(0);
  EXPECT_TRUE(lexer.CanDeferBlockRules());
  TTokenRule* rule = lexer.TokenRules()->Add();
  rule->SetBlockName(block->DisplayName());
  EXPECT_FALSE(lexer.CanDeferBlockRules());
  rule->SetBlockName("");
  EXPECT_TRUE(lexer.CanDeferBlockRules());

  TCountingResults client(lexer);
  lexer.SetAlwaysSyncBlockAnal(true);
  EXPECT_EQ(client.Clears, 1);
  EXPECT_FALSE(lexer.CanDeferBlockRules());
  lexer.SetAlwaysSyncBlockAnal(false);
  lexer.ForgetDeferAnswer();

  // A sub-lexer that cannot defer decides for its master; a cycle does not hang.
  TSyntAnalyzer sub(nullptr);
  sub.SetAlwaysSyncBlockAnal(true);
  TSubAnalyzerRule* subRule = lexer.SubAnalyzers()->Add();
  subRule->SetSyntAnalyzer(&sub);
  EXPECT_FALSE(lexer.CanDeferBlockRules());
  sub.SetAlwaysSyncBlockAnal(false);
  sub.ForgetDeferAnswer();
  sub.SubAnalyzers()->Add()->SetSyntAnalyzer(&lexer);
  lexer.ForgetDeferAnswer();
  EXPECT_TRUE(lexer.CanDeferBlockRules());
  subRule->SetSyntAnalyzer(nullptr);
  sub.SubAnalyzers()->Clear();
}

TEST(SyntAnalyzer, DestroyedSubLexersAndMastersAreForgotten) {
  auto master = std::make_unique<TSyntAnalyzer>(nullptr);
  auto sub = std::make_unique<TSyntAnalyzer>(nullptr);
  TSubAnalyzerRule* a = master->SubAnalyzers()->Add();
  TSubAnalyzerRule* b = master->SubAnalyzers()->Add();
  a->SetSyntAnalyzer(sub.get());
  b->SetSyntAnalyzer(sub.get());
  a->SetSyntAnalyzer(master.get());  // the owner itself is never its own master
  EXPECT_EQ(master->MasterCount(), 0);
  EXPECT_EQ(sub->MasterCount(), 1);  // b still uses it
  {
    TCountingResults masterClient(*master);
    sub->TokenRules()->Add();  // a change of the sub-lexer re-analyses the master's texts
    EXPECT_EQ(masterClient.Clears, 1);
  }
  sub.reset();
  EXPECT_EQ(b->SyntAnalyzer(), nullptr);

  auto sub2 = std::make_unique<TSyntAnalyzer>(nullptr);
  b->SetSyntAnalyzer(sub2.get());
  EXPECT_EQ(sub2->MasterCount(), 1);
  a->SetSyntAnalyzer(nullptr);
  master.reset();
  EXPECT_EQ(sub2->MasterCount(), 0);
}

}  // namespace
}  // namespace qv
