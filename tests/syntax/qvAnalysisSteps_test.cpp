// The analysis steps over whole texts: hand-written lexers on small texts against golden
// dumps (block rules per token and deferred, each with its own expected output, the analysis
// driven to its end by the idle tick and the display ranges awaited from the completion
// thread), the stepping's edge cases, and a property test that the two block-rule modes agree
// where the lexer leaves them nothing to differ on.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <memory>
#include <random>
#include <string>

#include "syntax/qvBlockRules.h"
#include "syntax/qvClientAnalyzer.h"
#include "syntax/qvMemoStrings.h"
#include "syntax/qvResultsDump.h"
#include "syntax/qvStrUtils.h"
#include "syntax/qvSubLexers.h"
#include "syntax/qvSyntAnalyzer.h"
#include "syntax/qvTokenRules.h"
#include "tests/support/Analysis.h"
#include "tests/support/LexerFiles.h"
#include "tests/support/RealFiles.h"

namespace qv {
namespace {

using test::DataFile;
using test::TAnalysis;

// Compares with a checked-in dump; QV_UPDATE_GOLDEN=1 rewrites the file instead (review the
// difference before committing it).
void ExpectGolden(const std::string& actual, const std::string& name) {
  const std::string path = QV_SOURCE_DIR "/tests/golden/analysis/" + name;
  if (std::getenv("QV_UPDATE_GOLDEN")) {
    std::ofstream(path, std::ios::binary) << actual;
    return;
  }
  EXPECT_EQ(actual, test::ReadFile(path)) << name;
}

// The dump of a whole analysis.
std::string Dump(const test::TAnalysis& a) { return DumpResults(*a.Client); }

struct TGoldenCase {
  const char* Lexer;
  const char* SubLexer;
  const char* Text;
  const char* Golden;
};

TEST(AnalysisSteps, HandWrittenLexersOnSmallTextsGiveTheGoldenDumps) {
  const TGoldenCase cases[] = {
      {"clike.lxr", "", "texts/small.c", "clike-small"},
      {"pascal.lxr", "", "texts/small.pas", "pascal-small"},
      {"markup.lxr", "script.lxr", "texts/small.html", "markup-small"},
      {"states.lxr", "", "texts/states.txt", "states-small"},
      {"gramma.lxr", "", "texts/zpipe.c", "gramma-zpipe"},
  };
  for (const TGoldenCase& c : cases) {
    SCOPED_TRACE(c.Golden);
    const std::u16string text = Utf8ToWide(DataFile(c.Text));
    for (bool perToken : {true, false}) {
      TAnalysis a(c.Lexer, text, c.SubLexer);
      a.Client->Analyze(perToken);
      // Deferred block rules leave the end to the idle tick: their pass, then Finished.
      EXPECT_EQ(a.Client->IsFinished(), perToken || !a.Main->CanDeferBlockRules());
      test::AnalyzeToEnd(*a.Client);
      EXPECT_TRUE(a.Client->IsFinished());
      ExpectGolden(Dump(a), std::string(c.Golden) + (perToken ? ".txt" : "-deferred.txt"));
    }
  }
}

TEST(AnalysisSteps, AnEmptyTextEndsAtOnceButOpensARangeFromTheTextBegin) {
  TAnalysis a("clike.lxr", u"");
  int pos = 1;
  EXPECT_TRUE(a.Client->ExtractTag(u"", pos));
  EXPECT_EQ(a.Client->TokenCount(), 0);

  TAnalysis m("markup.lxr", u"", "script.lxr");
  m.Main->SubAnalyzers()->ItemByName("Whole text")->SetEnabled(true);  // FromTextBegin
  pos = 1;
  EXPECT_TRUE(m.Client->ExtractTag(u"", pos));
  ASSERT_EQ(m.Client->SubLexerBlocks().size(), 1u);  // opened once, not again
  EXPECT_EQ(m.Client->SubLexerBlocks()[0]->StartPos, 0);
}

TEST(AnalysisSteps, WithoutSkipSpacesUncoveredCharactersAdvanceByOne) {
  TAnalysis a("clike.lxr", u"a  b");
  a.Main->SetSkipSpaces(false);
  a.Client->Analyze(true);
  ASSERT_EQ(a.Client->TokenCount(), 2);
  EXPECT_EQ(a.Client->Tags(1)->StartPos, 3);
  EXPECT_EQ(a.Client->LastAnalPos(), 5);
}

TEST(AnalysisSteps, ParseEndOfLineLetsRulesMatchLineBreaks) {
  for (bool parseEol : {false, true}) {
    TAnalysis a("", u"x\ny");
    TTokenRule* word = a.Main->TokenRules()->Add();
    word->SetExpression(u"\\w+");
    TTokenRule* eol = a.Main->TokenRules()->Add();
    eol->SetExpression(u"\\n");
    eol->SetTokenType(7);
    a.Main->SetParseEndOfLine(parseEol);
    a.Client->Analyze(true);
    EXPECT_EQ(a.Client->TokenCount(), parseEol ? 3 : 2);
    if (parseEol) {
      EXPECT_EQ(a.Client->Tags(1)->TokenType, 7);
    }
  }
}

TEST(AnalysisSteps, ATokenRunningIntoASubLexerStartIsCut) {
  // Without IncludeBounds the range starts after "<s>", while the outer rule matching at the
  // same position would run on into the range.
  TAnalysis a("", u"<s>abc</s>", "script.lxr");
  a.Main->TokenRules()->Add()->SetExpression(u"[a-z<>/]+");
  TSubAnalyzerRule* rule = a.Main->SubAnalyzers()->Add();
  rule->SetStartExpression("<s>");
  rule->SetEndExpression("</s>");
  rule->SetSyntAnalyzer(static_cast<TSyntAnalyzer*>(a.Form.FindComponent("Script")));
  a.Client->Analyze(true);
  ASSERT_EQ(a.Client->SubLexerBlocks().size(), 1u);
  const TSubLexerRange& range = *a.Client->SubLexerBlocks()[0];
  EXPECT_EQ(range.CondStartPos, 0);
  EXPECT_EQ(range.StartPos, 3);
  EXPECT_EQ(range.EndPos, 6);
  EXPECT_EQ(range.CondEndPos, 10);
  ASSERT_GE(a.Client->TokenCount(), 3);
  EXPECT_EQ(a.Client->TagStr(0), u"<s>");  // cut at the range's start
  EXPECT_EQ(a.Client->TagStr(1), u"abc");
  EXPECT_EQ(a.Client->Tags(1)->Rule->SyntOwner()->Name(), "Script");
  EXPECT_EQ(a.Client->TagStr(2), u"</s>");
}

TEST(AnalysisSteps, InsideASubLexerOnlyTheMainLexersGlobalRulesAreTriedAndTheyWin) {
  TAnalysis a("markup.lxr", u"<script>var x = 1;</script>", "script.lxr");
  TTokenRule* global = a.Main->TokenRules()->Add();
  global->SetDisplayName("Global number");
  global->SetExpression(u"\\d+");
  global->SetTokenType(9);
  global->SetAlwaysEnabled(true);
  a.Main->TokenRules()->Items(1)->SetExpression(u"[^<>]+");  // not global: never tried inside
  a.Client->Analyze(true);
  bool sawNumber = false;
  for (int i = 0; i < a.Client->TokenCount(); ++i) {
    const TSyntToken* t = a.Client->Tags(i);
    if (a.Client->TagStr(i) == u"1") {
      sawNumber = true;
      EXPECT_EQ(t->Rule, global);
    }
    if (a.Client->TagStr(i) == u"var") {
      EXPECT_EQ(t->Rule->SyntOwner()->Name(), "Script");
    }
  }
  EXPECT_TRUE(sawNumber);
}

TEST(AnalysisSteps, AParseTokenHandlerReplacesTheRulesAndAnEmptyResultCannotStall) {
  TAnalysis a("clike.lxr", u"abc");
  TTokenRule* only = a.Main->TokenRules()->Items(0);
  int calls = 0;
  a.Main->OnParseToken = [&](TParserResults*, std::u16string_view, int pos, int& length,
                             TTokenRule*& rule) {
    ++calls;
    rule = only;
    length = pos == 2 ? 0 : 1;  // a zero length at 2 ends that step without a token
  };
  a.Client->Analyze(true);
  EXPECT_EQ(calls, 3);
  EXPECT_EQ(a.Client->TokenCount(), 2);
}

// Random texts over the C-like lexer: it has no sub-lexers, state masks, parent conditions
// or CancelNextRules, so block rules after every token and after tokenising agree.
TEST(AnalysisSteps, ARuleSeesTheTokensAsTheRulesBeforeItInTheStepLeftThem) {
  // Two tag-detect rules in a chain (a word made a keyword, a keyword made a mark), then a
  // range that opens at a marked word: each rule sees the type the one before it gave, in
  // both block-rule modes.
  for (bool sync : {false, true}) {
    SCOPED_TRACE(sync ? "per token" : "deferred");
    TAnalysis a("", u"x begin y end");
    TTokenRule* word = a.Main->TokenRules()->Add();
    word->SetExpression(u"\\w+");
    word->SetTokenType(2);
    auto rule = [&a](TTagBlockType type, const char* tag, int from, int to) {
      TTagBlockCondition* r = a.Main->BlockRules()->Add();
      r->SetBlockType(type);
      r->SetTokenType(to);
      TSingleTagCondition* c = r->ConditionList()->Add();
      c->TagList()->Add(tag);
      c->SetTokenTypes(1u << from);
      return r;
    };
    rule(btTagDetect, "begin", 2, 4);
    rule(btTagDetect, "begin", 4, 5);
    rule(btRangeStart, "begin", 5, -1);
    a.Main->SetAlwaysSyncBlockAnal(sync);
    a.Client->Analyze(true);
    test::AnalyzeToEnd(*a.Client);
    ASSERT_EQ(a.Client->TokenCount(), 4);
    EXPECT_EQ(a.Client->Tags(1)->TokenType, 5);
    EXPECT_EQ(a.Client->RangeCount(), 1);
  }
}

TEST(AnalysisSteps, ARuleMadeTagDetectAfterAnAnalysisDetectsInTheNextOne) {
  // A lexer without tag-detect rules skips that pass; a rule that becomes one counts at once.
  TAnalysis a("", u"x begin y");
  TTokenRule* word = a.Main->TokenRules()->Add();
  word->SetExpression(u"\\w+");
  word->SetTokenType(2);
  TTagBlockCondition* rule = a.Main->BlockRules()->Add();
  rule->SetBlockType(btLineBreak);
  rule->SetTokenType(4);
  rule->ConditionList()->Add()->TagList()->Add("begin");
  ASSERT_TRUE(a.Main->CanDeferBlockRules());  // tag detection runs in the token pass
  a.Client->Analyze(false);
  test::AnalyzeToEnd(*a.Client);
  ASSERT_EQ(a.Client->TokenCount(), 3);
  EXPECT_EQ(a.Client->Tags(1)->TokenType, 2);
  rule->SetBlockType(btTagDetect);
  a.Client->Analyze(false);
  test::AnalyzeToEnd(*a.Client);
  ASSERT_EQ(a.Client->TokenCount(), 3);
  EXPECT_EQ(a.Client->Tags(1)->TokenType, 4);
}

TEST(AnalysisSteps, PerTokenAndDeferredBlockRulesAgreeOnRandomTexts) {
  const std::u16string pieces[] = {u"{", u"}", u"if", u"int", u"x", u"(", u")", u";",
                                   u" ", u"\n", u"42", u"/*c*/", u"\"s\"", u"while"};
  std::mt19937 random(7);
  for (int round = 0; round < 60; ++round) {
    std::u16string text;
    const int length = 1 + static_cast<int>(random() % 80);
    for (int i = 0; i < length; ++i) text += pieces[random() % std::size(pieces)];
    TAnalysis perToken("clike.lxr", text), deferred("clike.lxr", text);
    ASSERT_TRUE(deferred.Main->CanDeferBlockRules());
    perToken.Client->Analyze(true);
    test::WaitForDisplay(*perToken.Client);
    deferred.Client->Analyze(false);
    test::AnalyzeToEnd(*deferred.Client);
    ASSERT_TRUE(deferred.Client->IsFinished());
    ASSERT_EQ(Dump(perToken), Dump(deferred)) << WideToUtf8(text);
  }
}

// Real headers of this machine through the C-like lexer: tokens in order without overlap,
// each range within its parent, the display ranges over whole tokens, and both block-rule
// modes giving the same results.
TEST(AnalysisSteps, RealHeadersGiveConsistentResultsInBothModes) {
  int files = 0;
  for (const char* name : {"/usr/include/stdio.h", "/usr/include/stdlib.h", "/usr/include/string.h",
                           "/usr/include/errno.h", "/usr/include/signal.h"}) {
    const std::string bytes = test::ReadFile(name);
    if (bytes.empty()) continue;
    ++files;
    SCOPED_TRACE(name);
    const std::u16string text = Utf8ToWide(bytes);
    TAnalysis perToken("clike.lxr", text), deferred("clike.lxr", text);
    perToken.Client->Analyze(true);
    test::WaitForDisplay(*perToken.Client);
    deferred.Client->Analyze(false);
    test::AnalyzeToEnd(*deferred.Client);
    ASSERT_TRUE(deferred.Client->IsFinished());
    const TClientSyntAnalyzer& c = *perToken.Client;
    ASSERT_GT(c.TokenCount(), 20);
    for (int i = 0; i < c.TokenCount(); ++i) {
      const TSyntToken* t = c.Tags(i);
      ASSERT_LT(t->StartPos, t->EndPos);
      ASSERT_LE(t->EndPos, static_cast<int>(text.size()));
      if (i > 0) {
        ASSERT_LE(c.Tags(i - 1)->EndPos, t->StartPos);
      }
    }
    for (int i = 0; i < c.RangeCount(); ++i) {
      const TTextRange* r = c.Ranges(i);
      if (r->EndIdx == -1) continue;
      ASSERT_LE(r->StartIdx, r->EndIdx);
      if (r->Parent && r->Parent->EndIdx != -1) {
        EXPECT_GE(r->StartIdx, r->Parent->StartIdx);
        EXPECT_LE(r->EndIdx, r->Parent->EndIdx);
      }
    }
    EXPECT_EQ(Dump(perToken), Dump(deferred));
  }
  EXPECT_GT(files, 0);
}

}  // namespace
}  // namespace qv
