// The client analyzer: the list operations the block rules call (adding, closing and
// auto-closing ranges, line breaks, tag marking, closing at the end of the text), the
// parent-block condition of rule gating, analysis to a position and to the end (per token,
// and with the deferred block pass that the idle tick runs before it finishes), the end of an
// analysis and what the host is told once the completion thread has handed the display
// ranges over, dynamic highlighting at a caret, and the mapping of positions through edits.
#include "syntax/qvClientAnalyzer.h"

#include <gtest/gtest.h>

#include <functional>
#include <initializer_list>
#include <iterator>
#include <memory>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "framework/SysUtils.h"
#include "framework/TextServices.h"
#include "syntax/qvBlockRules.h"
#include "syntax/qvMemoStrings.h"
#include "syntax/qvParserResults.h"
#include "syntax/qvStrUtils.h"
#include "syntax/qvSubLexers.h"
#include "syntax/qvSyntAnalyzer.h"
#include "syntax/qvTokenRules.h"
#include "tests/support/Analysis.h"
#include "tests/support/RealFiles.h"

namespace qv {
namespace {

// A host that counts what it is told and can react when an analysis is done.
struct THost : IqvSyntClient {
  void FormatChanged() override {}
  void AnalysisFinished() override {
    ++Finishes;
    if (OnFinished) OnFinished();
  }
  int Finishes = 0;
  std::function<void()> OnFinished;
};

// A client whose display ranges the test hands over itself.
class TInjectingClient : public TClientSyntAnalyzer {
public:
  using TClientSyntAnalyzer::TClientSyntAnalyzer;
  void HandOver(TDisplayRanges& built) { TakeOver(built); }
};

// The 8-bit form in the system code page, as block rules compare texts.
std::string Narrow(const std::u16string& s) { return WideCharToMultiByte(CP_ACP, s); }

TTokenRule* AddTokenRule(TSyntAnalyzer& lexer, const char* name, const char16_t* expression,
                         int tokenType) {
  TTokenRule* rule = lexer.TokenRules()->Add();
  rule->SetDisplayName(name);
  rule->SetExpression(expression);
  rule->SetTokenType(tokenType);
  return rule;
}

// A block rule with at most one tcEqual condition on the given words and token types.
TTagBlockCondition* AddBlockRule(TSyntAnalyzer& lexer, const char* name, TTagBlockType type,
                                 std::initializer_list<const char*> words = {},
                                 uint32_t tokenTypes = 0) {
  TTagBlockCondition* rule = lexer.BlockRules()->Add();
  rule->SetDisplayName(name);
  rule->SetBlockType(type);
  if (words.size() > 0 || tokenTypes != 0) {
    TSingleTagCondition* condition = rule->ConditionList()->Add();
    for (const char* word : words) condition->TagList()->Add(word);
    condition->SetTokenTypes(tokenTypes);
  }
  return rule;
}

// "0-2 3-open": StartIdx and EndIdx of every range in list order.
std::string DumpSpans(const TClientSyntAnalyzer& client) {
  std::string s;
  for (int i = 0; i < client.RangeCount(); ++i) {
    const TTextRange* r = client.Ranges(i);
    if (!s.empty()) s += ' ';
    s += std::to_string(r->StartIdx) + '-' + (r->EndIdx == -1 ? "open" : std::to_string(r->EndIdx));
  }
  return s;
}

// "r0 r2": the open-range stack, outermost first, by range Index.
std::string DumpOpened(const TClientSyntAnalyzer& client) {
  std::string s;
  for (int i = 0; i < client.OpenedBlocks().Count(); ++i) {
    if (!s.empty()) s += ' ';
    s +=
        'r' + std::to_string(static_cast<const TTextRange*>(client.OpenedBlocks().Items(i))->Index);
  }
  return s;
}

// "a:2 {:3": every token's text and type.
std::string DumpTokens(const TClientSyntAnalyzer& client) {
  std::string s;
  for (int i = 0; i < client.TokenCount(); ++i) {
    if (!s.empty()) s += ' ';
    s += Narrow(client.TagStr(i)) + ':' + std::to_string(client.TokenType(i));
  }
  return s;
}

// Everything the analysis writes, for comparing two analyses of one text.
std::string DumpAll(const TClientSyntAnalyzer& client) {
  std::string s;
  for (int i = 0; i < client.TokenCount(); ++i) {
    const TSyntToken* t = client.Tags(i);
    s += std::to_string(t->StartPos) + '-' + std::to_string(t->EndPos) + ':' +
         std::to_string(t->TokenType) + ':' + (t->Rule ? t->Rule->DisplayName() : "-") + '\n';
  }
  for (int i = 0; i < client.RangeCount(); ++i) {
    const TTextRange* r = client.Ranges(i);
    s += "r" + std::to_string(r->Index) + ' ' + r->Rule->DisplayName() + ' ' +
         std::to_string(r->StartIdx) + '-' + std::to_string(r->EndIdx) + " id" +
         std::to_string(r->IdentIdx) + " c" + std::to_string(r->CondIdx) + '/' +
         std::to_string(r->EndCondIdx) + " p" +
         (r->Parent ? std::to_string(r->Parent->Index) : "-") + '\n';
  }
  for (const auto& b : client.LineBreaks())
    s += "lb " + std::to_string(b->RefIdx) + ' ' + std::to_string(b->Line) + '\n';
  return s + "open " + DumpOpened(client);
}

// An analyzer, a text and a client over it whose tokens are made by hand: by default the
// text's words (runs of characters other than blanks and line breaks), all of type 2.
// Rules are configured before Start, since changing a rule clears the analyzer's clients.
struct TScene {
  explicit TScene(std::u16string_view text) { Text.SetTextStr(text); }

  TClientSyntAnalyzer& Start(std::shared_ptr<IqvSyntClient> host = nullptr) {
    Client = std::make_unique<TInjectingClient>(
        &Lexer, [this] { return &Text; }, std::move(host));
    const std::u16string& s = Text.Text();
    auto blank = [&](size_t i) { return s[i] == u' ' || s[i] == u'\r' || s[i] == u'\n'; };
    for (size_t pos = 0; pos < s.size();) {
      if (blank(pos)) {
        ++pos;
        continue;
      }
      size_t end = pos;
      while (end < s.size() && !blank(end)) ++end;
      Client->AddToken(
          std::make_unique<TSyntToken>(nullptr, 2, static_cast<int>(pos), static_cast<int>(end)));
      pos = end;
    }
    return *Client;
  }
  // A range of rule from token startIdx; open unless endIdx is given.
  TTextRange* Add(TTagBlockCondition* rule, int startIdx, int endIdx = -1, int identIdx = -2) {
    auto range = std::make_unique<TTextRange>(startIdx, Client->Tags(startIdx)->StartPos);
    range->Rule = rule;
    range->EndIdx = endIdx;
    range->CondIdx = startIdx;
    range->IdentIdx = identIdx == -2 ? startIdx : identIdx;
    TTextRange* result = range.get();
    Client->AddRange(std::move(range));
    return result;
  }

  TSyntAnalyzer Lexer{nullptr};
  TSyntMemoStrings Text;
  std::unique_ptr<TInjectingClient> Client;  // freed before the analyzer
};

// --- Adding and closing ranges ------------------------------------------------------------

TEST(ClientAnalyzerRanges, AddRangeNumbersRangesAndLinksTheInnermostOpenRangeAsParent) {
  TScene scene(u"a b c d e f");
  TTagBlockCondition* rule = AddBlockRule(scene.Lexer, "R", btRangeStart);
  TClientSyntAnalyzer& client = scene.Start();
  TTextRange* a = scene.Add(rule, 0);
  TTextRange* b = scene.Add(rule, 1);
  TTextRange* c = scene.Add(rule, 2, 3);  // complete at once: never on the stack
  TTextRange* d = scene.Add(rule, 4);
  EXPECT_EQ(a->Index, 0);
  EXPECT_EQ(d->Index, 3);
  EXPECT_EQ(a->Parent, nullptr);
  EXPECT_EQ(b->Parent, a);
  EXPECT_EQ(c->Parent, b);
  EXPECT_EQ(d->Parent, b);
  EXPECT_EQ(DumpOpened(client), "r0 r1 r3");
  ASSERT_EQ(client.RangeCount(), 4);
  EXPECT_EQ(client.Ranges(2), c);

  // A range that starts before ranges already listed is placed by its start offset, but
  // keeps the number it got when it was added.
  TTextRange* early = scene.Add(rule, 0, 5);
  EXPECT_EQ(early->Index, 4);
  EXPECT_EQ(early->Parent, d);
  EXPECT_EQ(client.Ranges(0)->StartPos, 0);
  EXPECT_EQ(client.Ranges(client.RangeCount() - 1), d);
}

// Rules S (start, closed by E), T (an unrelated start rule) and E (end).
struct TCloseScene : TScene {
  TCloseScene() : TScene(u"s0 s1 t2 x3 e4 x5 x6") {
    E = AddBlockRule(Lexer, "E", btRangeEnd);
    S = AddBlockRule(Lexer, "S", btRangeStart);
    T = AddBlockRule(Lexer, "T", btRangeStart);
    S->SetBlockEnd("E");
  }
  TTagBlockCondition *S, *T, *E;
};

TEST(ClientAnalyzerRanges, CloseRangeClosesTheInnermostMatchingRangeAndLeavesInnerOnesOpen) {
  TCloseScene scene;
  TClientSyntAnalyzer& client = scene.Start();
  TTextRange* outer = scene.Add(scene.S, 0);
  TTextRange* inner = scene.Add(scene.S, 1);
  TTextRange* other = scene.Add(scene.T, 2);

  EXPECT_TRUE(client.CloseRange(scene.E, 4));
  EXPECT_EQ(inner->EndIdx, 4);
  EXPECT_EQ(inner->EndCondIdx, 4);
  EXPECT_EQ(other->EndIdx, -1);
  EXPECT_EQ(DumpOpened(client), "r0 r2");

  EXPECT_TRUE(client.CloseRange(scene.E, 5));
  EXPECT_EQ(outer->EndIdx, 5);
  EXPECT_EQ(DumpOpened(client), "r2");

  EXPECT_FALSE(client.CloseRange(scene.E, 6));  // nothing of S is open any more
  EXPECT_EQ(DumpOpened(client), "r2");
  EXPECT_EQ(other->EndIdx, -1);
  EXPECT_EQ(DumpSpans(client), "0-5 1-4 2-open");
}

TEST(ClientAnalyzerRanges, CloseRangeFindsCandidatesByEitherBlockEndOrBySelfClosing) {
  struct TCase {
    const char* Name;
    bool StartNamesEnd, EndNamesStart;  // BlockEnd links
    bool CloseWithStartRule;            // close with the start rule itself
    bool SelfClose;
    int BlockOffset;  // of the closing rule
    int RefIdx;
    int ExpectedEnd;  // -2: nothing closed
  };
  const TCase cases[] = {
      {"start names end", true, false, false, false, 0, 4, 4},
      {"end names start", false, true, false, false, 0, 4, 4},
      {"no link", false, false, false, false, 0, 4, -2},
      {"end offset moves the end back", true, false, false, false, 1, 4, 3},
      {"negative end offset moves it on", true, false, false, false, -2, 4, 6},
      {"self-closing start ends one before itself", false, false, true, true, 0, 4, 3},
      {"self-closing at token 0 stays at 0", false, false, true, true, 0, 0, 0},
      {"self-closing with offset down to 0 stays at 0", false, false, true, true, 4, 4, 0},
      {"start rule without SelfClose closes nothing", false, false, true, false, 0, 4, -2},
      // A start rule closes only its own ranges, whatever the BlockEnd links say.
      {"self-closing start named as BlockEnd", true, true, true, true, 0, 4, -2},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TScene scene(u"a b c d e f g");
    TTagBlockCondition* end = AddBlockRule(scene.Lexer, "End", btRangeStart);
    TTagBlockCondition* start = AddBlockRule(scene.Lexer, "Start", btRangeStart);
    TTagBlockCondition* closer = c.CloseWithStartRule ? end : nullptr;
    if (!c.CloseWithStartRule) end->SetBlockType(btRangeEnd);
    if (c.StartNamesEnd) start->SetBlockEnd("End");
    if (c.EndNamesStart) end->SetBlockEnd("Start");
    end->SetSelfClose(c.SelfClose);
    end->SetBlockOffset(c.BlockOffset);
    TClientSyntAnalyzer& client = scene.Start();
    // The self-closing cases close a range of the closing rule itself; the others one of
    // the start rule.
    TTextRange* range = scene.Add(closer && !c.StartNamesEnd ? end : start, 0);
    const bool closed = client.CloseRange(closer ? closer : end, c.RefIdx);
    EXPECT_EQ(closed, c.ExpectedEnd != -2);
    EXPECT_EQ(range->EndIdx, c.ExpectedEnd == -2 ? -1 : c.ExpectedEnd);
    EXPECT_EQ(range->EndCondIdx, c.ExpectedEnd == -2 ? -1 : c.RefIdx);
    EXPECT_EQ(client.OpenedBlocks().Count(), closed ? 0 : 1);
  }
}

TEST(ClientAnalyzerRanges, AutoCloseInternalClosesTheInnerRangesButKeepsThemStacked) {
  struct TCase {
    const char* Name;
    bool OnEnd, OnStart;
  };
  for (const TCase& c :
       {TCase{"on the closing rule", true, false}, TCase{"on the start rule", false, true},
        TCase{"on neither", false, false}}) {
    SCOPED_TRACE(c.Name);
    TCloseScene scene;
    scene.E->SetAutoCloseInternal(c.OnEnd);
    scene.S->SetAutoCloseInternal(c.OnStart);
    TTagBlockCondition* endOfT = AddBlockRule(scene.Lexer, "ET", btRangeEnd);
    endOfT->SetBlockEnd("T");
    TClientSyntAnalyzer& client = scene.Start();
    std::vector<std::string> calls;
    scene.Lexer.OnCloseTextRange = [&](TClientSyntAnalyzer* sender, TTextRange* range, int& sIdx,
                                       int& eIdx) {
      EXPECT_EQ(sender, &client);
      calls.push_back('r' + std::to_string(range->Index) + ':' + std::to_string(sIdx) + '-' +
                      std::to_string(eIdx));
    };
    scene.Add(scene.S, 0);
    TTextRange* t = scene.Add(scene.T, 1);
    TTextRange* t2 = scene.Add(scene.T, 2);

    ASSERT_TRUE(client.CloseRange(scene.E, 4));
    if (c.OnEnd || c.OnStart) {
      EXPECT_EQ(DumpSpans(client), "0-4 1-4 2-4");
      EXPECT_EQ(t->EndCondIdx, 4);
      EXPECT_EQ(t2->EndCondIdx, 4);
      EXPECT_EQ(DumpOpened(client), "r1 r2");  // closed, but still on the stack
      // Innermost first, after the range that was closed.
      EXPECT_EQ(calls, (std::vector<std::string>{"r0:0-4", "r2:2-4", "r1:1-4"}));
      // Closed entries are no candidates any more.
      EXPECT_FALSE(client.CloseRange(endOfT, 5));
    } else {
      EXPECT_EQ(DumpSpans(client), "0-4 1-open 2-open");
      EXPECT_EQ(DumpOpened(client), "r1 r2");
      EXPECT_EQ(calls, (std::vector<std::string>{"r0:0-4"}));
      EXPECT_TRUE(client.CloseRange(endOfT, 5));
      EXPECT_EQ(DumpSpans(client), "0-4 1-open 2-5");
    }
  }
}

TEST(ClientAnalyzerRanges, CloseTextRangeHandlerMayMoveBothEnds) {
  TCloseScene scene;
  TClientSyntAnalyzer& client = scene.Start();
  TTextRange* range = scene.Add(scene.S, 1);
  scene.Lexer.OnCloseTextRange = [&](TClientSyntAnalyzer*, TTextRange* r, int& sIdx, int& eIdx) {
    EXPECT_EQ(r, range);
    EXPECT_EQ(sIdx, 1);
    EXPECT_EQ(eIdx, 4);
    sIdx = 0;
    eIdx = 6;
  };
  ASSERT_TRUE(client.CloseRange(scene.E, 4));
  EXPECT_EQ(range->StartIdx, 0);
  EXPECT_EQ(range->EndIdx, 6);
  EXPECT_EQ(range->EndCondIdx, 4);
  EXPECT_EQ(DumpOpened(client), "");
}

TEST(ClientAnalyzerRanges, SameIdentComparesEightBitTextsIgnoringTheCaseOfAToZOnly) {
  struct TCase {
    const char16_t* Text;  // "begin <ident> end <ident>"
    bool Closed;
  };
  const TCase cases[] = {
      {u"begin Foo end Foo", true},
      {u"begin Foo end FOO", true},
      {u"begin a_1 end A_1", true},
      {u"begin foo end fob", false},
      {u"begin ab end abc", false},
      {u"begin abc end ab", false},
      {u"begin \u00c9dith end \u00e9dith", false},  // letters beyond Z keep their case
      {u"begin \u00e9t\u00e9 end \u00e9T\u00e9", true},
      {u"begin [x] end [X]", true},
      {u"begin @ end `", false},  // neighbours of A and Z are no letters
      {u"begin ` end @", false},
      {u"begin [ end {", false},
      {u"begin { end [", false},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(Narrow(c.Text));
    TScene scene(c.Text);
    TTagBlockCondition* start = AddBlockRule(scene.Lexer, "Begin", btRangeStart);
    TTagBlockCondition* end = AddBlockRule(scene.Lexer, "End", btRangeEnd);
    end->SetBlockEnd("Begin");
    end->SetSameIdent(true);
    end->SetIdentIndex(-1);  // the identifier follows the end word
    TClientSyntAnalyzer& client = scene.Start();
    TTextRange* range = scene.Add(start, 0, -1, 1);
    EXPECT_EQ(client.CloseRange(end, 2), c.Closed);
    EXPECT_EQ(range->EndIdx, c.Closed ? 2 : -1);
  }
}

TEST(ClientAnalyzerRanges, SameIdentPassesOverInnerRangesOfOtherNames) {
  TScene scene(u"begin a begin b end a end b end");
  TTagBlockCondition* start = AddBlockRule(scene.Lexer, "Begin", btRangeStart);
  TTagBlockCondition* end = AddBlockRule(scene.Lexer, "End", btRangeEnd);
  end->SetBlockEnd("Begin");
  end->SetSameIdent(true);
  end->SetIdentIndex(-1);
  TClientSyntAnalyzer& client = scene.Start();
  scene.Add(start, 0, -1, 1);
  scene.Add(start, 2, -1, 3);
  EXPECT_TRUE(client.CloseRange(end, 4));  // "end a" closes the outer range
  EXPECT_EQ(DumpSpans(client), "0-4 2-open");
  EXPECT_TRUE(client.CloseRange(end, 6));
  EXPECT_EQ(DumpSpans(client), "0-4 2-6");
  // "end" at the last token: its identifier would be beyond the tokens.
  scene.Add(start, 8, -1, 8);
  EXPECT_FALSE(client.CloseRange(end, 8));
}

// --- Parent blocks -----------------------------------------------------------------------

TEST(ClientAnalyzerGating, HasParentLooksAtAnyOpenRangeOrStrictlyAtTheInnermostOne) {
  enum TWho { A, B, Self, Ignored, TokenRule, None };
  struct TEntry {
    TWho Rule;
    bool Closed;  // closed by an auto-close, still on the stack
  };
  struct TCase {
    const char* Name;
    TWho Rule, Block;
    bool Strict;
    std::vector<TEntry> Stack;
    bool Expected;
  };
  const TCase cases[] = {
      {"no block, empty stack", A, None, false, {}, true},
      {"block, empty stack", A, A, false, {}, false},
      {"block anywhere on the stack", A, A, false, {{A, false}, {B, false}}, true},
      {"block closed by an auto-close still counts", A, A, false, {{B, false}, {A, true}}, true},
      {"block not on the stack", A, A, false, {{B, false}}, false},
      {"no block with ranges open", A, None, false, {{B, false}}, true},
      {"strict: no block, empty stack", A, None, true, {}, true},
      {"strict: block, empty stack", A, A, true, {}, false},
      {"strict: block not innermost", A, A, true, {{A, false}, {B, false}}, false},
      {"strict: block innermost", A, B, true, {{A, false}, {B, false}}, true},
      {"strict: closed entries are passed over", A, A, true, {{A, false}, {B, true}}, true},
      {"strict: ignored parents are passed over", A, A, true, {{A, false}, {Ignored, false}}, true},
      {"strict: no block with a range open", A, None, true, {{A, false}}, false},
      {"strict: no block, only ignored ranges", A, None, true, {{Ignored, false}}, false},
      {"strict: nothing but closed ranges", A, A, true, {{A, true}}, false},
      {"strict: self-closing rule skips its newest range", Self, A, true,
       {{A, false}, {Self, false}}, true},
      {"strict: ... also when that leaves nothing", Self, Self, true, {{Self, false}}, false},
      {"strict: ... but only the newest", Self, Self, true, {{Self, false}, {Self, false}}, true},
      {"strict: a rule without SelfClose is its own parent", A, A, true, {{A, false}}, true},
      {"strict: a token rule never skips", TokenRule, Self, true, {{Self, false}}, true},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TScene scene(u"a b c d");
    TTagBlockCondition* rules[] = {AddBlockRule(scene.Lexer, "A", btRangeStart),
                                   AddBlockRule(scene.Lexer, "B", btRangeStart),
                                   AddBlockRule(scene.Lexer, "Self", btRangeStart),
                                   AddBlockRule(scene.Lexer, "Ignored", btRangeStart)};
    rules[Self]->SetSelfClose(true);
    rules[Ignored]->SetIgnoreAsParent(true);
    TTokenRule* tokenRule = AddTokenRule(scene.Lexer, "Word", u"\\w+", 2);
    TClientSyntAnalyzer& client = scene.Start();
    int token = 0;
    for (const TEntry& e : c.Stack) {
      TTextRange* range = scene.Add(rules[e.Rule], token++);
      if (e.Closed) range->EndIdx = 3;  // what an auto-close leaves on the stack
    }
    const TRuleCollectionItem* rule =
        c.Rule == TokenRule ? static_cast<TRuleCollectionItem*>(tokenRule) : rules[c.Rule];
    EXPECT_EQ(client.HasParent(rule, c.Block == None ? nullptr : rules[c.Block], c.Strict),
              c.Expected);
  }
}

TEST(ClientAnalyzerGating, IsEnabledAddsTheParentConditionInvertedByNotParent) {
  struct TCase {
    const char* Name;
    bool NotParent, Strict, InsideBlock;
    int StatesPresent;
    bool Expected;
  };
  const TCase cases[] = {
      {"inside its block", false, false, true, 0, true},
      {"outside its block", false, false, false, 0, false},
      {"not parent, inside", true, false, true, 0, false},
      {"not parent, outside", true, false, false, 0, true},
      {"strict, inside but not innermost", false, true, true, 0, true},
      {"states still gate", false, false, true, 1, false},
      {"states still gate a not-parent rule", true, false, false, 1, false},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TScene scene(u"a b c");
    TTagBlockCondition* block = AddBlockRule(scene.Lexer, "Block", btRangeStart);
    TTagBlockCondition* inner = AddBlockRule(scene.Lexer, "Inner", btRangeStart);
    inner->SetIgnoreAsParent(true);
    TTokenRule* rule = AddTokenRule(scene.Lexer, "Word", u"\\w+", 2);
    rule->SetBlockName("Block");
    rule->SetNotParent(c.NotParent);
    rule->SetStrictParent(c.Strict);
    rule->SetStatesPresent(c.StatesPresent);
    ASSERT_EQ(rule->Block(), block);
    TClientSyntAnalyzer& client = scene.Start();
    if (c.InsideBlock) {
      scene.Add(block, 0);
      scene.Add(inner, 1);
    }
    EXPECT_EQ(client.IsEnabled(rule, false), c.Expected);
  }
}

// --- Line breaks, tag marking, closing at the end ------------------------------------------

TEST(ClientAnalyzerLists, LineBreakGoesAboveTheTokenOrBelowTheLineOfItsEnd) {
  // Lines: 0 "ab", 1 "cd ef", 2 "", 3 "gh"; the last token ends the text.
  TScene scene(u"ab\r\ncd ef\r\n\r\ngh");
  TTagBlockCondition* top = AddBlockRule(scene.Lexer, "Top", btLineBreak);
  TTagBlockCondition* bottom = AddBlockRule(scene.Lexer, "Bottom", btLineBreak);
  bottom->SetLinePos(lbBottom);
  TClientSyntAnalyzer& client = scene.Start();
  ASSERT_EQ(client.TokenCount(), 4);
  struct TCase {
    int Token;
    TTagBlockCondition* Rule;
    int Line;
  };
  const TCase cases[] = {{0, top, 0},    {0, bottom, 1}, {2, top, 1},
                         {2, bottom, 2}, {3, top, 3},    {3, bottom, 4}};
  for (const TCase& c : cases) EXPECT_TRUE(client.AddLineBreak(c.Rule, c.Token));
  ASSERT_EQ(client.LineBreaks().size(), std::size(cases));
  for (size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(client.LineBreaks()[i]->RefIdx, cases[i].Token);
    EXPECT_EQ(client.LineBreaks()[i]->Rule, cases[i].Rule);
    EXPECT_EQ(client.LineBreaks()[i]->Line, cases[i].Line);
  }
}

TEST(ClientAnalyzerLists, LineBreakOfATokenSpanningLinesUsesItsStartOrItsEnd) {
  // Lines: 0 "x", 1 "/*a", 2 "b*/ y", 3 "z".
  TScene scene(u"x\r\n/*a\r\nb*/ y\r\nz");
  TTagBlockCondition* top = AddBlockRule(scene.Lexer, "Top", btLineBreak);
  TTagBlockCondition* bottom = AddBlockRule(scene.Lexer, "Bottom", btLineBreak);
  bottom->SetLinePos(lbBottom);
  scene.Client = std::make_unique<TInjectingClient>(
      &scene.Lexer, [&] { return &scene.Text; }, nullptr);
  TClientSyntAnalyzer& client = *scene.Client;
  client.AddToken(std::make_unique<TSyntToken>(nullptr, 1, 3, 11));   // the comment
  client.AddToken(std::make_unique<TSyntToken>(nullptr, 1, 12, 15));  // "y" with its break
  for (int token : {0, 1}) {
    client.AddLineBreak(top, token);
    client.AddLineBreak(bottom, token);
  }
  std::string lines;
  for (const auto& b : client.LineBreaks()) lines += std::to_string(b->Line) + ' ';
  // A token that takes its line break ends on the next line.
  EXPECT_EQ(lines, "1 3 2 4 ");
}

TEST(ClientAnalyzerLists, TagDetectTakesTheRuleAndItsTypeUnlessThatIsNegative) {
  TScene scene(u"a b c");
  TTagBlockCondition* keep = AddBlockRule(scene.Lexer, "Keep", btTagDetect);
  TTagBlockCondition* zero = AddBlockRule(scene.Lexer, "Zero", btTagDetect);
  TTagBlockCondition* nine = AddBlockRule(scene.Lexer, "Nine", btTagDetect);
  zero->SetTokenType(0);
  nine->SetTokenType(9);
  ASSERT_EQ(keep->TokenType(), -1);
  TClientSyntAnalyzer& client = scene.Start();
  EXPECT_TRUE(client.TagDetect(keep, 0));
  EXPECT_TRUE(client.TagDetect(zero, 1));
  EXPECT_TRUE(client.TagDetect(nine, 2));
  EXPECT_EQ(DumpTokens(client), "a:2 b:0 c:9");
  EXPECT_EQ(client.Tags(0)->Rule, keep);
  EXPECT_EQ(client.Tags(1)->Rule, zero);
  EXPECT_EQ(client.Tags(2)->Rule, nine);
}

TEST(ClientAnalyzerLists, CloseAtEndClosesEndOfTextRangesFromAGivenToken) {
  TScene scene(u"t0 t1 t2 t3 t4 t5 t6 t7");
  TTagBlockCondition* eot = AddBlockRule(scene.Lexer, "Eot", btRangeStart);
  TTagBlockCondition* keep = AddBlockRule(scene.Lexer, "Keep", btRangeStart);
  eot->SetEndOfTextClose(true);
  TClientSyntAnalyzer& client = scene.Start();
  scene.Add(eot, 0);
  scene.Add(keep, 1);
  scene.Add(eot, 2);
  scene.Add(eot, 5);
  TTextRange* autoClosed = scene.Add(eot, 6);
  autoClosed->EndIdx = 6;  // closed by an auto-close, still on the stack
  scene.Add(keep, 7);

  client.CloseAtEnd(5);  // only ranges starting at token 5 or later
  EXPECT_EQ(DumpSpans(client), "0-open 1-open 2-open 5-7 6-7 7-open");
  EXPECT_EQ(DumpOpened(client), "r0 r1 r2 r5");
  client.CloseAtEnd(0);  // all of them
  EXPECT_EQ(DumpSpans(client), "0-7 1-open 2-7 5-7 6-7 7-open");
  EXPECT_EQ(DumpOpened(client), "r1 r5");
}

TEST(ClientAnalyzerLists, FinishedEndsToTextEndSubLexersClosesRangesAndTellsTheHostOnce) {
  TScene scene(u"a b c d");
  TTagBlockCondition* eot = AddBlockRule(scene.Lexer, "Eot", btRangeStart);
  eot->SetEndOfTextClose(true);
  TSubAnalyzerRule* toEnd = scene.Lexer.SubAnalyzers()->Add();
  toEnd->SetToTextEnd(true);
  TSubAnalyzerRule* plain = scene.Lexer.SubAnalyzers()->Add();
  auto host = std::make_shared<THost>();
  TClientSyntAnalyzer& client = scene.Start(host);
  auto sub = [&](TSubAnalyzerRule* rule, int start, int end) {
    auto range = std::make_unique<TSubLexerRange>(start, end);
    range->Rule = rule;
    range->CondStartPos = start;
    range->CondEndPos = end;
    return client.AddSubLexerRange(std::move(range));
  };
  TSubLexerRange* closedToEnd = sub(toEnd, 0, 1);
  TSubLexerRange* openPlain = sub(plain, 2, -1);
  TSubLexerRange* openToEnd = sub(toEnd, 4, -1);
  TTextRange* range = scene.Add(eot, 1);
  client.ChangeFixer().Add(3, 1);

  client.Finished();
  EXPECT_TRUE(client.IsFinished());
  EXPECT_TRUE(client.FirstAnalysisDone());
  EXPECT_EQ(openToEnd->EndPos, 7);
  EXPECT_EQ(openToEnd->CondEndPos, 7);
  EXPECT_EQ(openPlain->EndPos, -1);
  EXPECT_EQ(openPlain->CondEndPos, -1);
  EXPECT_EQ(closedToEnd->EndPos, 1);
  EXPECT_EQ(range->EndIdx, 3);
  EXPECT_EQ(DumpOpened(client), "");
  // The host hears of it with the new display ranges, which come through the loop; until
  // then the old ones are shown and the change fixer still maps to them.
  EXPECT_EQ(host->Finishes, 0);
  EXPECT_FALSE(client.ChangeFixer().Changes().empty());
  test::WaitForDisplay(client);
  EXPECT_EQ(host->Finishes, 1);
  EXPECT_TRUE(client.ChangeFixer().Changes().empty());  // the new ranges fit the text

  client.Finished();  // already finished: nothing happens
  EXPECT_EQ(client.FinishThread(), nullptr);
  test::WaitForDisplay(client);
  EXPECT_EQ(host->Finishes, 1);
}

// Former fault: the host was told of the new ranges before FirstAnalysisDone was set, and
// a host that cleared the client from there was overruled afterwards.
TEST(ClientAnalyzerLists, HostToldOfNewRangesSeesACompletedAnalysis) {
  TScene scene(u"a b");
  auto host = std::make_shared<THost>();
  TClientSyntAnalyzer& client = scene.Start(host);
  bool doneSeen = false;
  host->OnFinished = [&] { doneSeen = client.FirstAnalysisDone(); };
  client.Finished();
  test::WaitForDisplay(client);
  ASSERT_EQ(host->Finishes, 1);
  EXPECT_TRUE(doneSeen);

  // A host that starts over when told: the cleared client has no completed analysis.
  client.Clear();
  host->OnFinished = [&] { client.Clear(); };
  client.Finished();
  test::WaitForDisplay(client);
  ASSERT_EQ(host->Finishes, 2);
  EXPECT_FALSE(client.IsFinished());
  EXPECT_FALSE(client.FirstAnalysisDone());
}

// --- Dynamic highlighting ----------------------------------------------------------------

// Text ranges r0.. of rules handed over as dynamic-highlight triggers.
struct TDynScene : TScene {
  TDynScene() : TScene(u"a b c d e f g h i j k l m n o p q r s t u v w x y z") {
    Plain = AddBlockRule(Lexer, "Plain", btRangeStart);
    Min1 = AddBlockRule(Lexer, "Min1", btRangeStart);
    Min2 = AddBlockRule(Lexer, "Min2", btRangeStart);
    Min1->SetDynSelectMin(true);
    Min2->SetDynSelectMin(true);
    Start(Host);
  }
  TTextRange* Block(TTagBlockCondition* rule) {
    return Add(rule, Client->RangeCount(), Client->RangeCount() + 1);
  }
  // Hands over triggers (start, end, range) in the order given: the layers follow it.
  void HandOver(std::initializer_list<std::tuple<int, int, TTextRange*>> triggers) {
    TDisplayRanges built;
    for (auto [s, e, r] : triggers) built.DynoRanges->Add(std::make_unique<TDynoRange>(s, e, r));
    Client->HandOver(built);
  }
  std::string Highlighted() const {
    std::string s;
    for (const TTextRange* r : Client->DynHighlighted()) {
      if (!s.empty()) s += ' ';
      s += 'r' + std::to_string(r->Index);
    }
    return s;
  }
  std::shared_ptr<THost> Host = std::make_shared<THost>();
  TTagBlockCondition *Plain, *Min1, *Min2;
};

TEST(ClientAnalyzerDynHighlight, ReportsAChangeOfTheSetOrOfItsOrderOnly) {
  TDynScene scene;
  TTextRange* r0 = scene.Block(scene.Plain);
  TTextRange* r1 = scene.Block(scene.Plain);
  TClientSyntAnalyzer& client = *scene.Client;
  EXPECT_FALSE(client.UpdateDynHighlight(30, false));  // the caret away from all blocks
  // r0 before r1 in [0,10), the other way round in [10,20).
  scene.HandOver({{0, 10, r0}, {0, 10, r1}, {10, 20, r1}, {10, 20, r0}});
  EXPECT_EQ(scene.Highlighted(), "");
  EXPECT_TRUE(client.UpdateDynHighlight(5, false));
  EXPECT_EQ(scene.Highlighted(), "r0 r1");
  EXPECT_FALSE(client.UpdateDynHighlight(5, false));
  EXPECT_FALSE(client.UpdateDynHighlight(9, true));  // same set, the end not reached
  EXPECT_TRUE(client.UpdateDynHighlight(10, false));
  EXPECT_EQ(scene.Highlighted(), "r1 r0");
  EXPECT_FALSE(client.UpdateDynHighlight(19, false));
  EXPECT_TRUE(client.UpdateDynHighlight(20, false));  // end offsets are outside
  EXPECT_EQ(scene.Highlighted(), "");
  EXPECT_FALSE(client.UpdateDynHighlight(-1, false));
}

TEST(ClientAnalyzerDynHighlight, SelectMinKeepsOnlyTheInnermostBlockOfEachSuchRule) {
  TDynScene scene;
  TTextRange* outerMin = scene.Block(scene.Min1);
  TTextRange* innerMin = scene.Block(scene.Min1);
  TTextRange* outerPlain = scene.Block(scene.Plain);
  TTextRange* innerPlain = scene.Block(scene.Plain);
  TTextRange* otherMin = scene.Block(scene.Min2);
  scene.HandOver({{0, 20, outerMin},
                  {5, 10, innerMin},
                  {0, 20, outerPlain},
                  {6, 9, innerPlain},
                  {7, 8, otherMin}});
  TClientSyntAnalyzer& client = *scene.Client;
  struct TCase {
    int Pos;
    const char* Expected;
  };
  for (const TCase& c : {TCase{2, "r0 r2"}, TCase{5, "r1 r2"}, TCase{6, "r1 r2 r3"},
                         TCase{7, "r1 r2 r3 r4"}, TCase{12, "r0 r2"}}) {
    SCOPED_TRACE(c.Pos);
    client.UpdateDynHighlight(c.Pos, false);
    EXPECT_EQ(scene.Highlighted(), c.Expected);
  }
}

TEST(ClientAnalyzerDynHighlight, PositionsAreMappedThroughTheEditsSinceTheRangesWereBuilt) {
  TDynScene scene;
  TTextRange* r0 = scene.Block(scene.Plain);
  TClientSyntAnalyzer& client = *scene.Client;
  client.UpdateDynHighlight(30, false);
  scene.HandOver({{0, 10, r0}});
  client.ChangeFixer().Add(0, 10);                    // ten characters typed at the start
  EXPECT_TRUE(client.UpdateDynHighlight(15, false));  // was 5
  EXPECT_EQ(scene.Highlighted(), "r0");
  EXPECT_FALSE(client.UpdateDynHighlight(9, false));  // inside the typed text: was 0
  EXPECT_TRUE(client.UpdateDynHighlight(20, false));  // was 10
  EXPECT_EQ(scene.Highlighted(), "");
}

TEST(ClientAnalyzerDynHighlight, NewRangesAreEvaluatedAtTheLastCaretAndTheHostIsTold) {
  TDynScene scene;
  TTextRange* r0 = scene.Block(scene.Plain);
  TClientSyntAnalyzer& client = *scene.Client;
  EXPECT_FALSE(client.UpdateDynHighlight(12, false));  // nothing to highlight yet
  client.ChangeFixer().Add(0, 5);
  scene.HandOver({{10, 20, r0}});
  EXPECT_TRUE(client.ChangeFixer().Changes().empty());
  EXPECT_EQ(scene.Highlighted(), "r0");  // 12, no longer shifted by the edit
  EXPECT_EQ(scene.Host->Finishes, 1);

  client.Clear();
  EXPECT_EQ(scene.Highlighted(), "");
  EXPECT_EQ(client.DynoRanges().LayerCount(), 0);
}

// --- Positions through edits -------------------------------------------------------------

TEST(ChangeFixer, MapsCurrentPositionsBackThroughTheEditsNewestFirst) {
  struct TCase {
    const char* Name;
    std::vector<std::pair<int, int>> Changes;
    int Pos;
    int Expected;
  };
  const TCase cases[] = {
      {"no edits", {}, 12, 12},
      {"inside inserted text", {{10, 5}}, 12, 10},
      {"first inserted character", {{10, 5}}, 11, 10},
      {"last inserted character", {{10, 5}}, 14, 10},
      {"just after inserted text", {{10, 5}}, 15, 10},
      {"after inserted text", {{10, 5}}, 20, 15},
      {"at the insertion point", {{10, 5}}, 10, 10},
      {"before the insertion", {{10, 5}}, 5, 5},
      {"after deleted text", {{10, -3}}, 20, 23},
      {"just after the deletion point", {{10, -3}}, 11, 14},
      {"at the deletion point", {{10, -3}}, 10, 10},
      {"an empty change", {{10, 0}}, 20, 20},
      {"insert at 0, position 0", {{0, 4}}, 0, 0},
      {"two inserts", {{0, 2}, {5, 3}}, 10, 5},
      // The newer edit is undone first: 14 is 11 before the insertion at 0, which lies in
      // the text inserted at 10.
      {"newest first", {{10, 5}, {0, 3}}, 14, 10},
      {"insert then delete", {{10, 5}, {2, -2}}, 20, 17},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TChangeFixer fixer;
    for (auto [pos, count] : c.Changes) fixer.Add(pos, count);
    EXPECT_EQ(fixer.CurToFixed(c.Pos), c.Expected);
  }
  TChangeFixer fixer;
  fixer.Add(0, 100);
  fixer.Clear();
  EXPECT_EQ(fixer.CurToFixed(50), 50);
}

// --- Analysis of real texts --------------------------------------------------------------

// A C-like lexer: comments (1), identifiers (2), symbols (3), numbers (5); keywords are
// marked with type 6, braces make blocks, and a semicolon asks for a line break below its
// line.
struct TCLexer {
  explicit TCLexer(bool alwaysSync = false) {
    AddTokenRule(Lexer, "Comment", u"(?s)/\\*.*?\\*/", 1);
    AddTokenRule(Lexer, "Ident", u"[A-Za-z_]\\w*", 2);
    AddTokenRule(Lexer, "Number", u"\\d+", 5);
    AddTokenRule(Lexer, "Symbol", u"[{}()\\[\\];,=<>+\\-*/!]", 3);
    AddBlockRule(Lexer, "Keyword", btTagDetect, {"if", "int", "return", "void", "while"}, 1u << 2)
        ->SetTokenType(6);
    AddBlockRule(Lexer, "Close", btRangeEnd, {"}"}, 1u << 3);
    Open = AddBlockRule(Lexer, "Open", btRangeStart, {"{"}, 1u << 3);
    Open->SetBlockEnd("Close");
    AddBlockRule(Lexer, "Statement end", btLineBreak, {";"}, 1u << 3)->SetLinePos(lbBottom);
    Lexer.SetAlwaysSyncBlockAnal(alwaysSync);
  }
  TSyntAnalyzer Lexer{nullptr};
  TTagBlockCondition* Open;
};

const char16_t* const kCText =
    u"int add(int a, int b) {\r\n"
    u"  return a + b;\r\n"
    u"}\r\n"
    u"/* twice\r\n"
    u"   over */\r\n"
    u"int twice(int x) {\r\n"
    u"  if (x > 0) {\r\n"
    u"    while (x) { x = x - 1; }\r\n"
    u"  }\r\n"
    u"  return add(x, x);\r\n"
    u"}\r\n";

// "0.22-2.1 6.13-8.3^1": every range as line.column of its first token's start and of its
// last token's end, and the Index of its parent.
std::string DumpBlocks(const TClientSyntAnalyzer& client, const TSyntMemoStrings& text) {
  std::string s;
  auto at = [&](int pos) {
    const TPoint p = text.StrPosToCaretPos(pos);
    return std::to_string(p.Y) + '.' + std::to_string(p.X);
  };
  for (int i = 0; i < client.RangeCount(); ++i) {
    const TTextRange* r = client.Ranges(i);
    if (!s.empty()) s += ' ';
    s += at(client.Tags(r->StartIdx)->StartPos) + '-' +
         (r->EndIdx == -1 ? "open" : at(client.Tags(r->EndIdx)->EndPos));
    if (r->Parent) s += '^' + std::to_string(r->Parent->Index);
  }
  return s;
}

TEST(ClientAnalyzerAnalysis, AnalyzeFindsTheNestedBlocksKeywordsAndBreaksOfACText) {
  TCLexer c;
  TSyntMemoStrings text;
  text.SetTextStr(kCText);
  auto host = std::make_shared<THost>();
  std::unique_ptr<TClientSyntAnalyzer> client(c.Lexer.AddClient(host, [&] { return &text; }));
  client->Analyze(true);

  EXPECT_TRUE(client->IsFinished());
  EXPECT_TRUE(client->FirstAnalysisDone());
  test::WaitForDisplay(*client);
  EXPECT_EQ(host->Finishes, 1);
  EXPECT_EQ(DumpBlocks(*client, text), "0.22-2.1 5.17-10.1 6.13-8.3^1 7.14-7.28^2");
  EXPECT_EQ(DumpOpened(*client), "");
  std::string breaks;
  for (const auto& b : client->LineBreaks()) breaks += std::to_string(b->Line) + ' ';
  EXPECT_EQ(breaks, "2 8 10 ");
  std::string first;
  for (int i = 0; i < 11; ++i)
    first += Narrow(client->TagStr(i)) + ':' + std::to_string(client->TokenType(i)) + ' ';
  EXPECT_EQ(first, "int:6 add:2 (:3 int:6 a:2 ,:3 int:6 b:2 ):3 {:3 return:6 ");
  EXPECT_EQ(client->Tags(0)->Rule, c.Lexer.BlockRules()->ItemByName("Keyword"));
  EXPECT_EQ(Narrow(client->TagStr(16)), "/* twice\r\n   over */");
  EXPECT_EQ(client->TokenType(16), 1);
}

TEST(ClientAnalyzerAnalysis, AnalysisInStepsAndWithTheDeferredPassEqualsTheSynchronousOne) {
  for (bool alwaysSync : {false, true}) {
    SCOPED_TRACE(alwaysSync ? "block rules per token" : "block rules deferred");
    TCLexer c(alwaysSync);
    TSyntMemoStrings text;
    text.SetTextStr(kCText);
    std::unique_ptr<TClientSyntAnalyzer> client(c.Lexer.AddClient(nullptr, [&] { return &text; }));
    EXPECT_EQ(c.Lexer.CanDeferBlockRules(), !alwaysSync);
    client->Analyze(true);
    const std::string expected = DumpAll(*client);
    // The answer the synchronous analysis overrode is back.
    EXPECT_EQ(c.Lexer.DeferAnswer(), alwaysSync ? TSyntAnalyzer::daNo : TSyntAnalyzer::daYes);

    for (int pos : {-1, 0, 23, 24, 60, 150, text.TextLength()}) {
      SCOPED_TRACE(pos);
      client->Clear();
      client->AppendToPos(pos);
      // Reaching the end finishes at once only with block rules per token; deferred, the
      // idle tick runs their pass and then finishes.
      EXPECT_EQ(client->IsFinished(), alwaysSync && pos >= text.TextLength() - 1);
      client->Analyze(false);
      EXPECT_EQ(client->IsFinished(), alwaysSync);
      test::AnalyzeToEnd(*client);
      EXPECT_TRUE(client->IsFinished());
      EXPECT_EQ(DumpAll(*client), expected);
    }
  }
}

TEST(ClientAnalyzerAnalysis, SynchronousAnalysisRunsTheBlockRulesAfterEveryToken) {
  TCLexer c;
  TSyntMemoStrings text;
  text.SetTextStr(u"int f() { return 1; }");
  std::unique_ptr<TClientSyntAnalyzer> client(c.Lexer.AddClient(nullptr, [&] { return &text; }));
  std::vector<int> seen;  // the token count at every test of the brace rule
  c.Open->OnBlockCheck = [&](TObject*, TClientSyntAnalyzer* sender, std::u16string_view, int&,
                             bool&) { seen.push_back(sender->TokenCount()); };

  client->Analyze(true);
  const int n = client->TokenCount();
  ASSERT_EQ(n, 9);
  std::vector<int> perToken;
  for (int i = 1; i <= n; ++i) perToken.push_back(i);
  EXPECT_EQ(seen, perToken);
  EXPECT_EQ(client->BlockPassMarker(), n + 1);

  // Without the reset, the deferred pass runs once all tokens are made, from the idle tick.
  seen.clear();
  client->Clear();
  client->Analyze(false);
  EXPECT_EQ(client->TokenCount(), n);
  EXPECT_TRUE(seen.empty());
  EXPECT_FALSE(client->IsFinished());
  test::AnalyzeToEnd(*client);
  EXPECT_TRUE(client->IsFinished());
  EXPECT_EQ(seen, std::vector<int>(static_cast<size_t>(n), n));
  EXPECT_EQ(DumpSpans(*client), "4-8");
}

// Real headers analysed the way an editor does while the caret moves down the text: in
// pieces, then to the end. The blocks must pair the braces as a stack over the tokens does,
// and equal those of one synchronous analysis.
TEST(ClientAnalyzerAnalysis, RealHeadersAnalysedInPiecesPairTheirBraces) {
  int files = 0;
  for (const char* name :
       {"/usr/include/link.h", "/usr/include/stdlib.h", "/usr/include/regex.h"}) {
    const std::string bytes = test::ReadFile(name);
    if (bytes.empty()) continue;
    ++files;
    SCOPED_TRACE(name);
    TCLexer c;
    TSyntMemoStrings text;
    text.SetTextStr(Utf8ToWide(bytes));
    std::unique_ptr<TClientSyntAnalyzer> client(c.Lexer.AddClient(nullptr, [&] { return &text; }));
    for (int pos = 0; pos < text.TextLength(); pos += 777) {
      client->AppendToPos(pos);
      // The block rules are deferred: the end of the text only wakes the idle timer.
      ASSERT_FALSE(client->IsFinished());
      if (client->ParserPos() < pos + 3) {  // stopped short: only at the end of the text
        const std::u16string& s = text.Text();
        for (size_t i = static_cast<size_t>(client->ParserPos() - 1); i < s.size(); ++i)
          ASSERT_TRUE(IsSpaceChar(s[i])) << "at " << i;
      }
    }
    client->Analyze(false);
    ASSERT_FALSE(client->IsFinished());
    test::AnalyzeToEnd(*client);
    ASSERT_TRUE(client->IsFinished());

    std::vector<std::pair<int, int>> pairs;  // by opening token
    std::vector<size_t> stack;
    for (int i = 0; i < client->TokenCount(); ++i) {
      if (client->TokenType(i) != 3) continue;
      const std::u16string t = client->TagStr(i);
      if (t == u"{") {
        stack.push_back(pairs.size());
        pairs.emplace_back(i, -1);
      } else if (t == u"}" && !stack.empty()) {
        pairs[stack.back()].second = i;
        stack.pop_back();
      }
    }
    std::string expected;
    for (auto [s, e] : pairs)
      expected += (expected.empty() ? "" : " ") + std::to_string(s) + '-' +
                  (e == -1 ? "open" : std::to_string(e));
    ASSERT_FALSE(pairs.empty());
    EXPECT_EQ(DumpSpans(*client), expected);
    EXPECT_EQ(static_cast<size_t>(client->OpenedBlocks().Count()), stack.size());

    const std::string pieces = DumpAll(*client);
    client->Clear();
    client->Analyze(true);
    EXPECT_TRUE(client->IsFinished());
    EXPECT_EQ(DumpAll(*client), pieces);
  }
  EXPECT_GT(files, 0);
}

TEST(ClientAnalyzerAnalysis, AppendToPosStopsOnceTheNextScanPositionIsBeyondPosPlusOne) {
  // One-letter words at the even offsets 0 to 26; the text is 27 characters long.
  const std::u16string letters = u"a b c d e f g h i j k l m n";
  struct TCase {
    int Pos;
    int Tokens;
    int ParserPos;
    bool Finished;
  };
  const TCase cases[] = {
      {-2, 0, 1, false},   {-1, 1, 2, false},  {0, 2, 4, false},
      {10, 7, 14, false},  {11, 7, 14, false}, {12, 8, 16, false},
      {25, 14, 28, false}, {26, 14, 28, true}, {1000, 14, 28, true},
  };
  // Finished tells whether the end was reached: with block rules per token AppendToPos then
  // finishes at once; deferred, it leaves that to the idle tick, after their pass.
  for (bool alwaysSync : {true, false}) {
    SCOPED_TRACE(alwaysSync ? "block rules per token" : "block rules deferred");
    TCLexer c(alwaysSync);
    TSyntMemoStrings text;
    text.SetTextStr(letters);
    for (const TCase& k : cases) {
      SCOPED_TRACE(k.Pos);
      std::unique_ptr<TClientSyntAnalyzer> client(
          c.Lexer.AddClient(nullptr, [&] { return &text; }));
      client->AppendToPos(k.Pos);
      EXPECT_EQ(client->TokenCount(), k.Tokens);
      EXPECT_EQ(client->ParserPos(), k.ParserPos);
      EXPECT_EQ(client->IsFinished(), alwaysSync && k.Finished);
      client->AppendToPos(k.Pos);  // covered already: no further step
      EXPECT_EQ(client->TokenCount(), k.Tokens);
      if (k.Finished && !alwaysSync) {
        client->IdleTick();
        EXPECT_TRUE(client->IsFinished());
        EXPECT_EQ(client->TokenCount(), k.Tokens);
      }
    }
  }
}

TEST(ClientAnalyzerAnalysis, EmptyTextIsNotAnalysedButBlankTextFinishesWithoutTokens) {
  TCLexer c;
  TSyntMemoStrings text;
  auto host = std::make_shared<THost>();
  std::unique_ptr<TClientSyntAnalyzer> client(c.Lexer.AddClient(host, [&] { return &text; }));
  client->AppendToPos(10);
  client->Analyze(true);
  client->Analyze(false);
  EXPECT_FALSE(client->IsFinished());
  EXPECT_EQ(client->FinishThread(), nullptr);
  test::WaitForDisplay(*client);
  EXPECT_EQ(host->Finishes, 0);
  EXPECT_EQ(client->ParserPos(), 1);

  text.SetTextStr(u"  \r\n\t ");
  client->Analyze(true);
  EXPECT_TRUE(client->IsFinished());
  EXPECT_EQ(client->TokenCount(), 0);
  test::WaitForDisplay(*client);
  EXPECT_EQ(host->Finishes, 1);
}

TEST(ClientAnalyzerAnalysis, FinishedClientIgnoresAnalyzeUntilClearedAndClearForgetsAll) {
  TCLexer c;
  TSyntMemoStrings text;
  text.SetTextStr(u"int a; { b; }");
  auto host = std::make_shared<THost>();
  std::unique_ptr<TClientSyntAnalyzer> client(c.Lexer.AddClient(host, [&] { return &text; }));
  client->Analyze(true);
  ASSERT_EQ(client->TokenCount(), 7);
  EXPECT_EQ(client->RangeCount(), 1);
  EXPECT_EQ(client->LineBreaks().size(), 2u);
  test::WaitForDisplay(*client);
  EXPECT_GT(client->Collapsibles().LayerCount(), 0);

  text.SetTextStr(u"int a; int b; { c; }");
  client->Analyze(true);
  client->Analyze(false);
  client->AppendToPos(100);
  client->IdleTick();
  EXPECT_EQ(client->TokenCount(), 7);
  EXPECT_EQ(client->FinishThread(), nullptr);
  test::WaitForDisplay(*client);
  EXPECT_EQ(host->Finishes, 1);

  client->ChangeFixer().Add(0, 7);
  client->UpdateDynHighlight(3, false);
  client->Clear();
  EXPECT_EQ(client->TokenCount(), 0);
  EXPECT_EQ(client->RangeCount(), 0);
  EXPECT_TRUE(client->LineBreaks().empty());
  EXPECT_EQ(client->OpenedBlocks().Count(), 0);
  EXPECT_EQ(client->Collapsibles().LayerCount(), 0);
  EXPECT_EQ(client->Staples().LayerCount(), 0);
  EXPECT_TRUE(client->ChangeFixer().Changes().empty());
  EXPECT_FALSE(client->IsFinished());
  EXPECT_FALSE(client->FirstAnalysisDone());
  EXPECT_EQ(client->LastAnalPos(), 0);
  EXPECT_EQ(client->ParserPos(), 1);
  EXPECT_EQ(client->BlockPassMarker(), 0);

  client->Analyze(false);
  EXPECT_EQ(client->TokenCount(), 10);
  EXPECT_FALSE(client->IsFinished());  // the deferred block pass waits for the idle tick
  test::AnalyzeToEnd(*client);
  EXPECT_TRUE(client->IsFinished());
  EXPECT_EQ(DumpSpans(*client), "6-9");
  EXPECT_EQ(host->Finishes, 2);
}

TEST(ClientAnalyzerAnalysis, AnalyzeWithResetStartsAHalfAnalysedTextAfresh) {
  TCLexer c;
  TSyntMemoStrings text;
  text.SetTextStr(u"int a; { b; } c;");
  std::unique_ptr<TClientSyntAnalyzer> client(c.Lexer.AddClient(nullptr, [&] { return &text; }));
  client->AppendToPos(8);
  ASSERT_FALSE(client->IsFinished());
  ASSERT_EQ(client->TokenCount(), 5);
  text.SetTextStr(u"x; y;");
  client->Analyze(true);
  EXPECT_EQ(DumpTokens(*client), "x:2 ;:3 y:2 ;:3");
  EXPECT_EQ(client->RangeCount(), 0);
  EXPECT_EQ(client->LineBreaks().size(), 2u);
}

TEST(ClientAnalyzerAnalysis, TokenRulesGatedByTheirParentBlockFollowTheOpenRanges) {
  struct TCase {
    const char* Name;
    bool Strict, NotParent, ParenIgnored;
    const char* Expected;
  };
  const TCase cases[] = {
      {"inside the block", false, false, false, "a:2 {:3 b:7 (:3 c:7 ):3 d:7 }:3 e:2"},
      {"directly inside", true, false, false, "a:2 {:3 b:7 (:3 c:2 ):3 d:7 }:3 e:2"},
      {"directly, ignoring parentheses", true, false, true, "a:2 {:3 b:7 (:3 c:7 ):3 d:7 }:3 e:2"},
      {"outside the block", false, true, false, "a:7 {:3 b:2 (:3 c:2 ):3 d:2 }:3 e:7"},
      {"not directly inside", true, true, false, "a:7 {:3 b:2 (:3 c:7 ):3 d:2 }:3 e:7"},
  };
  for (const TCase& k : cases) {
    SCOPED_TRACE(k.Name);
    TSyntAnalyzer lexer(nullptr);
    AddBlockRule(lexer, "Close", btRangeEnd, {"}"});
    AddBlockRule(lexer, "Open", btRangeStart, {"{"})->SetBlockEnd("Close");
    AddBlockRule(lexer, "PClose", btRangeEnd, {")"});
    TTagBlockCondition* paren = AddBlockRule(lexer, "Paren", btRangeStart, {"("});
    paren->SetBlockEnd("PClose");
    paren->SetIgnoreAsParent(k.ParenIgnored);
    TTokenRule* inner = AddTokenRule(lexer, "Inner", u"[a-z]+", 7);
    inner->SetBlockName("Open");
    inner->SetStrictParent(k.Strict);
    inner->SetNotParent(k.NotParent);
    AddTokenRule(lexer, "Word", u"[a-z]+", 2);
    AddTokenRule(lexer, "Symbol", u"[{}()]", 3);
    TSyntMemoStrings text;
    text.SetTextStr(u"a { b ( c ) d } e");
    std::unique_ptr<TClientSyntAnalyzer> client(lexer.AddClient(nullptr, [&] { return &text; }));
    client->Analyze(true);
    EXPECT_EQ(DumpTokens(*client), k.Expected);
    // The same through the non-resetting path: the parent test forbids deferring.
    client->Clear();
    client->Analyze(false);
    EXPECT_EQ(DumpTokens(*client), k.Expected);
  }
}

TEST(ClientAnalyzerAnalysis, BlockRulesShapeRangesAsTheAnalysisGoes) {
  struct TCase {
    const char* Name;
    std::function<void(TSyntAnalyzer&)> Configure;
    const char16_t* Text;
    const char* Expected;
  };
  auto selfClosing = [](bool endOfText) {
    return [endOfText](TSyntAnalyzer& lexer) {
      TTagBlockCondition* item = AddBlockRule(lexer, "Item", btRangeStart, {"item"});
      item->SetSelfClose(true);
      item->SetEndOfTextClose(endOfText);
    };
  };
  auto named = [](TSyntAnalyzer& lexer) {
    TTagBlockCondition* begin = AddBlockRule(lexer, "Begin", btRangeStart, {"begin"});
    begin->SetIdentIndex(-1);  // looked at one token later; the name follows the word
    TTagBlockCondition* end = AddBlockRule(lexer, "End", btRangeEnd, {"end"});
    end->SetIdentIndex(-1);
    end->SetSameIdent(true);
    end->SetBlockEnd("Begin");
  };
  auto braces = [](bool autoClose) {
    return [autoClose](TSyntAnalyzer& lexer) {
      AddBlockRule(lexer, "Close", btRangeEnd, {"}"})->SetAutoCloseInternal(autoClose);
      AddBlockRule(lexer, "Open", btRangeStart, {"{"})->SetBlockEnd("Close");
      AddBlockRule(lexer, "Paren", btRangeStart, {"("});
    };
  };
  const TCase cases[] = {
      {"a second item ends the first one before itself", selfClosing(false), u"item a b item c",
       "0-2 3-open"},
      {"... and the last one ends with the text", selfClosing(true), u"item a b item c", "0-2 3-4"},
      {"names equal but for case", named, u"begin Foo x end FOO", "0-3"},
      {"names differ", named, u"begin Foo x end Bar", "0-open"},
      {"crossing names", named, u"begin Foo begin Bar x end FOO end BAR", "0-5 2-7"},
      {"inner range stays open", braces(false), u"{ ( }", "0-2 1-open"},
      {"inner range closed with the outer one", braces(true), u"{ ( }", "0-2 1-2"},
  };
  for (const TCase& k : cases) {
    SCOPED_TRACE(k.Name);
    TSyntAnalyzer lexer(nullptr);
    AddTokenRule(lexer, "Word", u"\\w+", 2);
    AddTokenRule(lexer, "Symbol", u"[{}()]", 3);
    k.Configure(lexer);
    TSyntMemoStrings text;
    text.SetTextStr(k.Text);
    std::unique_ptr<TClientSyntAnalyzer> client(lexer.AddClient(nullptr, [&] { return &text; }));
    client->Analyze(true);
    EXPECT_EQ(DumpSpans(*client), k.Expected);
    client->Clear();
    EXPECT_EQ(client->OpenedBlocks().Count(), 0);  // it refers to the freed ranges
    client->Analyze(false);
    test::AnalyzeToEnd(*client);
    EXPECT_TRUE(client->IsFinished());
    EXPECT_EQ(DumpSpans(*client), k.Expected) << "deferred";
  }
}

}  // namespace
}  // namespace qv
