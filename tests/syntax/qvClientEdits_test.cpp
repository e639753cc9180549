// Edits and incremental analysis: after inserts and deletes, each reported to the client, the
// analysis resumes before the edit and ends with exactly the results (tokens, block ranges,
// sub-lexer ranges, line breaks, state history, display ranges) a fresh analysis of the final
// text gives; for lexers with sub-lexers, state-changing rules, deferred and per-token block
// rules, with edits arriving between analyses, in the middle of tokenising and in the middle
// of the deferred pass. Also where the resume point lies and what the display ranges do
// meanwhile.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <initializer_list>
#include <iterator>
#include <utility>
#include <memory>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "framework/Forms.h"
#include "syntax/qvBlockRules.h"
#include "syntax/qvClientAnalyzer.h"
#include "syntax/qvMemoStrings.h"
#include "syntax/qvResultsDump.h"
#include "syntax/qvStrUtils.h"
#include "syntax/qvSyntAnalyzer.h"
#include "syntax/qvTokenRules.h"
#include "tests/support/Analysis.h"
#include "tests/support/LexerFiles.h"
#include "tests/support/RealFiles.h"

namespace qv {
namespace {

using test::AnalyzeToEnd;
using test::TAnalysis;
using test::WaitForDisplay;

struct TEditCase {
  const char* Lexer;
  const char* SubLexer;
  const char* Text;     // under tests/data, or an absolute path of a real file
  int Copies;           // the text repeated, for room to edit in
  std::vector<std::u16string> Pieces;  // what inserts are made of
};

std::u16string Repeat(std::u16string_view piece, int times) {
  std::u16string text;
  for (int i = 0; i < times; ++i) text += piece;
  return text;
}

std::u16string CaseText(const TEditCase& c) {
  const std::string bytes =
      c.Text[0] == '/' ? test::ReadFile(c.Text).substr(0, 6000) : test::DataFile(c.Text);
  std::u16string text;
  for (int i = 0; i < c.Copies; ++i) text += Utf8ToWide(bytes);
  return text;
}

std::vector<TEditCase> EditCases() {
  return {
      {"clike.lxr", "", "texts/small.c", 8,
       {u"/*", u"*/", u"{", u"}", u"\"", u"\n", u"if", u"x", u" ", u"//", u"(", u")", u";"}},
      {"clike.lxr", "", "/usr/include/stdio.h", 1,
       {u"/*", u"*/", u"{", u"}", u"\"", u"\n", u"#define ", u"int", u"\\\n"}},
      {"pascal.lxr", "", "texts/small.pas", 8,
       {u"begin", u"end", u"{", u"}", u"(*", u"*)", u"'", u";", u"\n", u"block Inner;",
        u"finish inner;", u"procedure"}},
      {"markup.lxr", "script.lxr", "texts/small.html", 8,
       {u"<", u">", u"<script>", u"</script>", u"<style>", u"</style>", u"<p>", u"</p>", u"{",
        u"}", u"\"", u"<!--", u"-->", u"\n"}},
      {"states.lxr", "", "texts/states.txt", 8,
       {u"cat <<END\n", u"\nEND\n", u"END", u"{", u"}", u"(", u")", u"\n", u"word "}},
  };
}

// One random edit of the text, reported to the client.
void RandomEdit(TAnalysis& a, const TEditCase& c, std::mt19937& random) {
  test::RandomEdit(a.Text, *a.Client, c.Pieces, random);
}

std::string Fresh(const TEditCase& c, const std::u16string& text, bool sync) {
  TAnalysis fresh(c.Lexer, text, c.SubLexer);
  fresh.Main->SetAlwaysSyncBlockAnal(sync);
  AnalyzeToEnd(*fresh.Client);
  return DumpResults(*fresh.Client);
}

// Block rules after every token (sync) and deferred to a pass after tokenising.
void RunEditRounds(const TEditCase& c, bool sync, unsigned seed) {
  TAnalysis a(c.Lexer, CaseText(c), c.SubLexer);
  a.Main->SetAlwaysSyncBlockAnal(sync);
  // Checkpoints after every step put resume points right before edits; sparse ones far.
  a.Client->SetCheckpointSteps(seed % 3 == 0 ? 64 : seed % 3 == 1 ? 1 : 7);
  AnalyzeToEnd(*a.Client);
  std::mt19937 random(seed);
  int resumed = 0;
  for (int round = 0; round < 25; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    const int edits = 1 + static_cast<int>(random() % 3);
    for (int e = 0; e < edits; ++e) {
      RandomEdit(a, c, random);
      // Sometimes part of the text is analysed before the next edit comes.
      if (random() % 2 == 0) a.Client->AppendToPos(static_cast<int>(random() % (a.Text.TextLength() + 1)));
    }
    if (a.Client->TokenCount() > 0) ++resumed;  // results before the edits were kept
    AnalyzeToEnd(*a.Client);
    ASSERT_TRUE(a.Client->IsFinished());
    ASSERT_EQ(DumpResults(*a.Client), Fresh(c, a.Text.Text(), sync))
        << WideToUtf8(a.Text.Text());
  }
  EXPECT_GT(resumed, 12);  // not every edit threw the results away
}

TEST(ClientEdits, RandomEditsEndInTheResultsOfAFreshAnalysis) {
  unsigned seed = 1;
  for (const TEditCase& c : EditCases()) {
    SCOPED_TRACE(std::string(c.Lexer) + " on " + c.Text);
    if (c.Text[0] == '/' && test::ReadFile(c.Text).empty()) continue;
    for (bool sync : {true, false}) {
      SCOPED_TRACE(sync ? "block rules per token" : "block rules deferred when possible");
      RunEditRounds(c, sync, seed++);
    }
  }
}

// Edits that arrive while the idle analysis pumps messages: in the middle of tokenising and,
// with deferred block rules, in the middle of the pass. A block rule's check handler posts
// the edit, which the next pump runs; the tick then ends and a later one resumes.
TEST(ClientEdits, EditsDuringTheIdleAnalysisEndInTheResultsOfAFreshAnalysis) {
  for (const TEditCase& c : EditCases()) {
    SCOPED_TRACE(std::string(c.Lexer) + " on " + c.Text);
    if (c.Text[0] == '/' && test::ReadFile(c.Text).empty()) continue;
    for (bool sync : {true, false}) {
      TAnalysis a(c.Lexer, CaseText(c), c.SubLexer);
      a.Main->SetAlwaysSyncBlockAnal(sync);
      std::mt19937 random(sync ? 11 : 12);
      int countdown = -1;  // block checks until the next posted edit
      auto post = [&] {
        Application->Post([&] {
          RandomEdit(a, c, random);
        });
      };
      int handlers = 0;
      for (int k = 0; k < a.Form.ComponentCount(); ++k) {
        auto* lexer = dynamic_cast<TSyntAnalyzer*>(a.Form.Components(k));
        for (int i = 0; lexer && i < lexer->BlockRules()->Count(); ++i, ++handlers)
          lexer->BlockRules()->Items(i)->OnBlockCheck = [&](TObject*, TClientSyntAnalyzer*,
                                                            std::u16string_view, int&, bool&) {
            if (countdown > 0 && --countdown == 0) post();
          };
      }
      ASSERT_GT(handlers, 0);
      int editsInTicks = 0;
      for (int round = 0; round < 12; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        countdown = 1 + static_cast<int>(random() % 300);
        for (int ticks = 0; !a.Client->IsFinished(); ++ticks) {
          ASSERT_LT(ticks, 100);
          a.Client->IdleTick();
          Application->ProcessMessages();  // an edit posted by the last check of a tick
        }
        if (countdown == 0) ++editsInTicks;
        WaitForDisplay(*a.Client);
        ASSERT_EQ(DumpResults(*a.Client), Fresh(c, a.Text.Text(), sync));
        RandomEdit(a, c, random);
      }
      EXPECT_GT(editsInTicks, 3);  // most rounds did edit while the analysis ran
    }
  }
}

// --- Built lexers ---------------------------------------------------------------------------

// "ab (": identifiers, brackets and braces; a tag-detect rule marks an identifier followed by
// "(" as a call (type 3) while tokenising; a range opens at every call and at "{", and "}"
// closes the innermost brace range.
struct TCallsLexer {
  TComponent Form{nullptr};
  TSyntAnalyzer* Lexer = new TSyntAnalyzer(&Form);
  TSyntMemoStrings Text;
  std::unique_ptr<TClientSyntAnalyzer> Client;

  TCallsLexer() {
    auto token = [&](const char* name, const char16_t* expression, int type) {
      TTokenRule* rule = Lexer->TokenRules()->Add();
      rule->SetDisplayName(name);
      rule->SetExpression(expression);
      rule->SetTokenType(type);
    };
    token("Ident", u"[a-z]+", 1);
    token("Symbol", u"[(){}]", 2);
    auto block = [&](const char* name, TTagBlockType type,
                     std::initializer_list<std::pair<const char*, uint32_t>> conditions) {
      TTagBlockCondition* rule = Lexer->BlockRules()->Add();
      rule->SetDisplayName(name);
      rule->SetBlockType(type);
      for (auto [word, types] : conditions) {
        TSingleTagCondition* condition = rule->ConditionList()->Add();
        if (*word) condition->TagList()->Add(word);
        condition->SetTokenTypes(types);
      }
      return rule;
    };
    TTagBlockCondition* call = block("Call", btTagDetect, {{"(", 1u << 2}, {"", 1u << 1}});
    call->SetIdentIndex(1);
    call->SetTokenType(3);
    block("CallRange", btRangeStart, {{"", 1u << 3}});
    TTagBlockCondition* open = block("Open", btRangeStart, {{"{", 1u << 2}});
    TTagBlockCondition* close = block("Close", btRangeEnd, {{"}", 1u << 2}});
    open->SetBlockEnd("Close");
    close->SetBlockEnd("Open");
    Client.reset(Lexer->AddClient(nullptr, [this] { return &Text; }));
    Client->SetCheckpointSteps(1);
  }
  ~TCallsLexer() { Client.reset(); }

  std::string FreshDump() {
    TSyntMemoStrings text;
    text.SetTextStr(Text.Text());
    std::unique_ptr<TClientSyntAnalyzer> fresh(Lexer->AddClient(nullptr, [&] { return &text; }));
    AnalyzeToEnd(*fresh);
    return DumpResults(*fresh);
  }
};

// A mark made while tokenising after the edit lands on a token before the resume point,
// which the kept part of the deferred pass had read: that part goes again.
TEST(ClientEdits, CallMarksMadeAfterAnEditRedoTheDeferredPassThatReadTheMarkedToken) {
  TCallsLexer scene;
  ASSERT_TRUE(scene.Lexer->CanDeferBlockRules());
  std::u16string text;
  std::mt19937 random(5);
  const std::u16string pieces[] = {u"ab", u" ", u"(", u")", u"{", u"}", u"\n", u"cd ", u"x"};
  for (int i = 0; i < 600; ++i) text += pieces[random() % std::size(pieces)];
  scene.Text.SetTextStr(text);
  AnalyzeToEnd(*scene.Client);
  int marked = 0;
  for (int round = 0; round < 120; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    // The character after an identifier and a blank turns into "(" or back into "x": the
    // identifier's own match looked only at the blank, so it stays before the resume point.
    const std::u16string& t = scene.Text.Text();
    const size_t at = t.find(random() % 2 ? u"b x" : u"b (", random() % t.size());
    if (at == std::u16string::npos) continue;
    const int pos = static_cast<int>(at) + 2;
    const char16_t* insert = t[at + 2] == u'x' ? u"(" : u"x";
    scene.Text.DeleteText(pos, 1);
    scene.Client->TextChanged(pos, -1);
    scene.Text.InsertText(insert, pos);
    scene.Client->TextChanged(pos, 1);
    marked += insert[0] == u'(';
    AnalyzeToEnd(*scene.Client);
    ASSERT_EQ(DumpResults(*scene.Client), scene.FreshDump());
  }
  EXPECT_GT(marked, 10);
}

// The deferred pass gates its rules by the state set at the end of the text: an edit that
// changes that set sends the whole pass round again, also the part before the edit.
TEST(ClientEdits, AChangedFinalStateSetRedoesTheWholeDeferredPass) {
  TCallsLexer scene;
  TTokenRule* stop = scene.Lexer->TokenRules()->Add();
  stop->SetExpression(u"!");
  stop->SetTokenType(4);
  stop->SetStatesAdd(1);
  for (int i = 0; i < scene.Lexer->BlockRules()->Count(); ++i)
    if (scene.Lexer->BlockRules()->Items(i)->DisplayName() == "Open")
      scene.Lexer->BlockRules()->Items(i)->SetStatesAbsent(1);
  ASSERT_TRUE(scene.Lexer->CanDeferBlockRules());
  scene.Text.SetTextStr(Repeat(u"ab { cd } ", 200));
  AnalyzeToEnd(*scene.Client);
  ASSERT_GT(scene.Client->RangeCount(), 100);
  for (const char16_t* tail : {u"!", u""}) {
    SCOPED_TRACE(WideToUtf8(tail));
    const int length = scene.Text.TextLength();
    if (*tail) {
      scene.Text.InsertText(tail, length);
      scene.Client->TextChanged(length, 1);
    } else {
      scene.Text.DeleteText(length - 1, 1);
      scene.Client->TextChanged(length - 1, -1);
    }
    EXPECT_GT(scene.Client->TokenCount(), 500);  // the tokens before the edit stay
    AnalyzeToEnd(*scene.Client);
    EXPECT_EQ(scene.Client->RangeCount(), *tail ? 0 : 200);  // "!" anywhere disables "{"
    EXPECT_EQ(DumpResults(*scene.Client), scene.FreshDump());
  }
}

// Matches that looked far ahead: an unterminated comment and an unterminated string read to
// the end of the text and of the line; text added there changes tokens made long before.
TEST(ClientEdits, EditsFarBehindAMatchThatLookedAheadReachBackToIt) {
  struct TCase {
    const char* Name;
    std::u16string Text;
    std::u16string Insert;
  };
  std::u16string words;
  for (int i = 0; i < 300; ++i) words += u"w" + std::u16string(1, u'a' + i % 26) + u' ';
  const TCase cases[] = {
      {"comment closed at the end", u"x = 1; /* " + words, u"*/"},
      {"string closed on its line", u"x = \"" + words + u"\ny = 2;", u"\""},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    for (int spacing : {1, 64}) {
      TAnalysis a("clike.lxr", c.Text);
      a.Client->SetCheckpointSteps(spacing);
      AnalyzeToEnd(*a.Client);
      const int before = a.Client->TokenCount();
      // Just before the end of the text, or of the first line.
      const int pos = static_cast<int>(c.Text.find(u'\n') == std::u16string::npos
                                           ? c.Text.size()
                                           : c.Text.find(u'\n'));
      a.Text.InsertText(c.Insert, pos);
      a.Client->TextChanged(pos, static_cast<int>(c.Insert.size()));
      EXPECT_LE(a.Client->ParserPos(), 8);  // back to the token that looked ahead
      AnalyzeToEnd(*a.Client);
      TAnalysis fresh("clike.lxr", a.Text.Text());
      AnalyzeToEnd(*fresh.Client);
      EXPECT_EQ(DumpResults(*a.Client), DumpResults(*fresh.Client));
      EXPECT_LT(a.Client->TokenCount(), before / 10);  // the words became one token
    }
  }
}

// A match that stopped short of the edit keeps its results: only the steps that examined
// the changed text go again, whatever the spacing of checkpoints allows.
TEST(ClientEdits, ResumePointLiesBeforeTheFirstStepThatExaminedTheChange) {
  TAnalysis a("clike.lxr", Repeat(u"int v; ", 200));
  a.Client->SetCheckpointSteps(1);
  AnalyzeToEnd(*a.Client);
  // "int v; " is 7 characters and three tokens; the identifier "v" at offset 7k + 4 read the
  // ";" after it, and the ";" nothing beyond itself.
  const int k = 150, offset = 7 * k + 5;  // the ";" of the 151st declaration
  // Before the ";": "v" goes again; analysis resumes right after "int" (1-based positions).
  EXPECT_EQ(a.Client->ResumePosFor(offset), offset - 1);
  // After the ";": right after it.
  EXPECT_EQ(a.Client->ResumePosFor(offset + 1), offset + 2);
  const int tokens = a.Client->TokenCount();
  a.Text.InsertText(u"x", offset);
  a.Client->TextChanged(offset, 1);
  EXPECT_EQ(a.Client->TokenCount(), 3 * k + 1);  // up to "int" of the 151st; "v" goes again
  EXPECT_FALSE(a.Client->IsFinished());
  AnalyzeToEnd(*a.Client);
  EXPECT_EQ(a.Client->TokenCount(), tokens);
  EXPECT_EQ(WideToUtf8(a.Client->TagStr(3 * k + 1)), "vx");

  // With sparse checkpoints the cut goes further back, never past the start.
  a.Client->SetCheckpointSteps(64);
  a.Client->Clear();
  AnalyzeToEnd(*a.Client);
  EXPECT_LE(a.Client->ResumePosFor(offset), offset);
  EXPECT_GE(a.Client->ResumePosFor(offset), offset - 64 * 7);
  EXPECT_EQ(a.Client->ResumePosFor(3), 1);
}

// An edit the analysis has not looked at yet cuts nothing; one the first step saw starts over.
TEST(ClientEdits, EditsBeyondWhatWasExaminedKeepEverything) {
  TAnalysis a("clike.lxr", Repeat(u"a = b; ", 100));
  a.Client->AppendToPos(20);
  const int tokens = a.Client->TokenCount();
  const int reach = a.Client->ScanReach();
  ASSERT_LT(reach, 100);
  a.Text.InsertText(u"zz", 300);
  a.Client->TextChanged(300, 2);
  EXPECT_EQ(a.Client->TokenCount(), tokens);
  a.Text.InsertText(u"q", 0);
  a.Client->TextChanged(0, 1);
  EXPECT_EQ(a.Client->TokenCount(), 0);
  EXPECT_EQ(a.Client->ParserPos(), 1);
  AnalyzeToEnd(*a.Client);
  TAnalysis fresh("clike.lxr", a.Text.Text());
  AnalyzeToEnd(*fresh.Client);
  EXPECT_EQ(DumpResults(*a.Client), DumpResults(*fresh.Client));
}

// A change of the whole text (-1) starts over; FullRefreshSize does so for small texts, and
// RestartFromLineStart moves the resume point to the start of the edited line or before.
TEST(ClientEdits, WholeTextChangesAndTheRefreshSettingsShapeTheResumePoint) {
  TAnalysis a("clike.lxr", Repeat(u"alpha beta gamma;\n", 40));
  a.Client->SetCheckpointSteps(1);
  AnalyzeToEnd(*a.Client);
  const int lineStart = 18 * 20, offset = lineStart + 12;  // inside "gamma" of line 20
  EXPECT_GT(a.Client->ResumePosFor(offset) - 1, lineStart);
  a.Main->SetRestartFromLineStart(true);
  EXPECT_LE(a.Client->ResumePosFor(offset) - 1, lineStart);
  EXPECT_GE(a.Client->ResumePosFor(offset) - 1, lineStart - 18);
  a.Main->SetFullRefreshSize(a.Text.TextLength());
  EXPECT_EQ(a.Client->ResumePosFor(offset), 1);
  a.Main->SetFullRefreshSize(a.Text.TextLength() - 1);
  EXPECT_GT(a.Client->ResumePosFor(offset), 1);

  a.Text.SetTextStr(u"int x;");
  a.Client->TextChanged(-1, 0);
  EXPECT_EQ(a.Client->TokenCount(), 0);
  EXPECT_FALSE(a.Client->FirstAnalysisDone());
}

}  // namespace
}  // namespace qv
