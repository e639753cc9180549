// Display ranges built from finished results, on clients filled by hand: the shapes of
// dynamic highlighting and its trigger ranges for open and closed blocks, staples and
// collapsible ranges with the host's bound handlers (also misbehaving ones), sub-lexer
// bodies, line breaks, and a stop request honoured at every point where it is polled.
#include "syntax/qvClientAnalyzer.h"

#include <gtest/gtest.h>

#include <climits>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "syntax/qvBlockRules.h"
#include "syntax/qvMemoStrings.h"
#include "syntax/qvParserResults.h"
#include "syntax/qvSubLexers.h"
#include "syntax/qvSyntAnalyzer.h"
#include "syntax/qvSyntStyles.h"

namespace qv {
namespace {

// An analyzer with the styles "Block" and "Sub", a text, and a client over it whose tokens
// are the text's space-separated words. Rules are configured before Start: changing a rule
// clears the analyzer's clients.
struct TScene {
  explicit TScene(std::u16string_view text) {
    Text.SetTextStr(text);
    Lexer.Formats()->Add()->SetDisplayName("Block");
    Lexer.Formats()->Add()->SetDisplayName("Sub");
  }
  TSyntaxFormat* Style(const char* name) const {
    return static_cast<TSyntaxFormat*>(Lexer.Formats()->ItemByName(name));
  }
  TTagBlockCondition* AddRule(bool styled) {
    TTagBlockCondition* rule = Lexer.BlockRules()->Add();
    if (styled) rule->SetStyleName("Block");
    return rule;
  }
  TSubAnalyzerRule* AddSubRule(bool styled) {
    TSubAnalyzerRule* rule = Lexer.SubAnalyzers()->Add();
    if (styled) rule->SetStyleName("Sub");
    return rule;
  }
  TClientSyntAnalyzer& Start() {
    Client = std::make_unique<TClientSyntAnalyzer>(
        &Lexer, [this] { return &Text; }, nullptr);
    const std::u16string& s = Text.Text();
    for (size_t pos = 0; pos < s.size();) {
      size_t end = s.find(u' ', pos);
      if (end == std::u16string::npos) end = s.size();
      Client->AddToken(
          std::make_unique<TSyntToken>(nullptr, 0, static_cast<int>(pos), static_cast<int>(end)));
      pos = end + 1;
    }
    return *Client;
  }
  // A block from token s to token e (-1: still open).
  TTextRange* AddBlock(TTagBlockCondition* rule, int s, int e) {
    auto range = std::make_unique<TTextRange>(s, Client->Tags(s)->StartPos);
    range->Rule = rule;
    range->EndIdx = e;
    range->CondIdx = s;
    range->EndCondIdx = e;
    TTextRange* result = range.get();
    Client->AddRange(std::move(range));
    return result;
  }
  void AddSubLexer(TSubAnalyzerRule* rule, int startPos, int endPos) {
    auto range = std::make_unique<TSubLexerRange>(startPos, endPos);
    range->Rule = rule;
    range->CondStartPos = startPos;
    range->CondEndPos = endPos;
    Client->AddSubLexerRange(std::move(range));
  }
  bool Build(const std::function<bool()>& stop = {}) {
    return BuildDisplayRanges(*Client, Out, stop);
  }

  TSyntAnalyzer Lexer{nullptr};
  TSyntMemoStrings Text;
  std::unique_ptr<TClientSyntAnalyzer> Client;  // freed before the analyzer
  TDisplayRanges Out;
};

int CountOf(const TRangeCollection& collection) {
  int n = 0;
  for (int i = 0; i < collection.LayerCount(); ++i) n += collection.Layers(i)->Count();
  return n;
}

// As DumpLayers, each range followed by what its record holds: a styled range its Flags and
// owning block ("[3,6)f1r0", "-" for none), a trigger range its block, a collapsible range
// its RangeIdx ("[0,11)#2").
std::string Dump(const TRangeCollection& collection) {
  auto block = [](const TTextRange* r) { return r ? "r" + std::to_string(r->Index) : "-"; };
  std::string s;
  for (int i = 0; i < collection.LayerCount(); ++i) {
    s += i > 0 ? " {" : "{";
    for (int j = 0; j < collection.Layers(i)->Count(); ++j) {
      const TRange* r = collection.Layers(i)->Items(j);
      s += (j > 0 ? " [" : "[") + std::to_string(r->StartPos) + ',' + std::to_string(r->EndPos) +
           ')';
      if (auto* styled = dynamic_cast<const TStyledRange*>(r))
        s += 'f' + std::to_string(styled->Flags) + block(styled->TextRange);
      else if (auto* dyno = dynamic_cast<const TDynoRange*>(r))
        s += block(dyno->TextRange);
      else if (auto* collapsible = dynamic_cast<const TCollapsibleRange*>(r))
        s += '#' + std::to_string(collapsible->RangeIdx);
    }
    s += '}';
  }
  return s;
}

// Tokens: 0 "aa" [0,2), 1 "bbb" [3,6), 2 "c" [7,8), 3 "dddd" [9,13). The block runs from
// token 1 to token 2, so its bounds differ from the text's and from each other.
constexpr std::u16string_view kShapeText = u"aa bbb c dddd";

TEST(DisplayRanges, EmptyClientGivesFiveEmptyCollections) {
  TScene scene(u"");
  scene.Start();
  EXPECT_TRUE(scene.Build());
  for (const TRangeCollection* c :
       {scene.Out.StyledRanges.get(), scene.Out.DynoRanges.get(), scene.Out.Collapsibles.get(),
        scene.Out.Staples.get(), scene.Out.LineBreakRanges.get()})
    EXPECT_EQ(c->LayerCount(), 0);
}

TEST(DisplayRanges, HighlightShapesAndTriggersFollowTheRuleAndTheBlockEnd) {
  struct TCase {
    const char* Name;
    TDynamicHighlight Dyn;
    THighlightPos Pos;
    bool Closed;
    bool Highlight;
    bool Invert;
    const char* Styled;
    const char* Dyno;
    bool Unstyled = false;
  };
  const TCase cases[] = {
      // Styled-range shapes; cpAny adds no triggers and leaves the ranges ownerless.
      {"bound", dhBound, cpAny, true, false, false, "{[3,6)f0- [7,8)f0-}", ""},
      {"bound, open: start token only", dhBound, cpAny, false, false, false, "{[3,6)f0-}", ""},
      {"between the bounds", dhRangeNoBound, cpAny, true, false, false, "{[6,7)f0-}", ""},
      {"between the bounds, open", dhRangeNoBound, cpAny, false, false, false, "", ""},
      {"whole range", dhRange, cpAny, true, false, false, "{[3,8)f0-}", ""},
      {"no dynamic highlighting", dhNone, cpBound, true, true, false, "", ""},
      {"no style", dhRange, cpBound, true, false, false, "", "", true},
      // An open whole-range block has no styled range, hence no trigger of any kind.
      {"whole range, open, cpRange", dhRange, cpRange, false, false, false, "", ""},
      {"whole range, open, cpBound", dhRange, cpBound, false, false, false, "", ""},
      // Trigger shapes.
      {"cpBound: first char, char after the end", dhRange, cpBound, true, false, false,
       "{[3,8)f0r0}", "{[3,4)r0 [8,9)r0}"},
      {"cpBound, open", dhBound, cpBound, false, false, false, "{[3,6)f0r0}", "{[3,4)r0}"},
      {"cpBoundTag", dhBound, cpBoundTag, true, false, false, "{[3,6)f0r0 [7,8)f0r0}",
       "{[3,6)r0 [7,8)r0}"},
      {"cpBoundTag, open", dhBound, cpBoundTag, false, false, false, "{[3,6)f0r0}", "{[3,6)r0}"},
      {"cpRange", dhRangeNoBound, cpRange, true, false, false, "{[6,7)f0r0}", "{[3,8)r0}"},
      // No trigger, yet the styled range still belongs to the block.
      {"cpRange, open", dhBound, cpRange, false, false, false, "{[3,6)f0r0}", ""},
      {"cpOutOfRange: as cpRange plus flag 2", dhRange, cpOutOfRange, true, false, false,
       "{[3,8)f2r0}", "{[3,8)r0}"},
      {"cpBoundTagBegin: first char of each bound", dhBound, cpBoundTagBegin, true, false, false,
       "{[3,6)f0r0 [7,8)f0r0}", "{[3,4)r0 [7,8)r0}"},
      {"cpBoundTagBegin, open", dhBound, cpBoundTagBegin, false, false, false, "{[3,6)f0r0}",
       "{[3,4)r0}"},
      // Flags, the same on both bound ranges.
      {"Highlight", dhBound, cpAny, true, true, false, "{[3,6)f1- [7,8)f1-}", ""},
      {"InvertColors", dhRange, cpAny, true, false, true, "{[3,8)f4-}", ""},
      {"all three flags", dhBound, cpOutOfRange, true, true, true, "{[3,6)f7r0 [7,8)f7r0}",
       "{[3,8)r0}"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TScene scene(kShapeText);
    TTagBlockCondition* rule = scene.AddRule(!c.Unstyled);
    rule->SetDynHighlight(c.Dyn);
    rule->SetHighlightPos(c.Pos);
    rule->SetHighlight(c.Highlight);
    rule->SetInvertColors(c.Invert);
    scene.Start();
    scene.AddBlock(rule, 1, c.Closed ? 2 : -1);
    ASSERT_TRUE(scene.Build());
    EXPECT_EQ(Dump(*scene.Out.StyledRanges), c.Styled);
    EXPECT_EQ(Dump(*scene.Out.DynoRanges), c.Dyno);
    if (CountOf(*scene.Out.StyledRanges) > 0) {
      EXPECT_EQ(static_cast<TStyledRange*>(scene.Out.StyledRanges->Layers(0)->Items(0))->Style,
                scene.Style("Block"));
    }
    // Nothing here draws a staple, and an open block never collapses.
    EXPECT_EQ(CountOf(*scene.Out.Staples), 0);
    EXPECT_EQ(CountOf(*scene.Out.Collapsibles), c.Closed ? 1 : 0);
  }
}

// Tokens 0..5 at [0,1) [2,3) [4,5) [6,7) [8,9) [10,11).
constexpr std::u16string_view kSixTokens = u"a b c d e f";

TEST(DisplayRanges, StaplesAndCollapsiblesForClosedBlocksAsRulesAndHandlersAllow) {
  TScene scene(kSixTokens);
  TTagBlockCondition* rule = scene.AddRule(true);
  rule->SetDrawStaple(true);
  rule->SetDynHighlight(dhBound);
  TTagBlockCondition* stapleOnly = scene.AddRule(false);
  stapleOnly->SetDrawStaple(true);
  stapleOnly->SetNotCollapsed(true);
  TTagBlockCondition* plain = scene.AddRule(false);
  TClientSyntAnalyzer& client = scene.Start();
  scene.AddBlock(rule, 0, 5);
  scene.AddBlock(stapleOnly, 1, 4);
  scene.AddBlock(plain, 2, 3);
  scene.AddBlock(rule, 3, -1);

  // Without handlers: overlapping records go to further layers, in block order.
  ASSERT_TRUE(scene.Build());
  EXPECT_EQ(Dump(*scene.Out.Staples), "{[0,11)} {[2,9)}");
  const auto* outer = static_cast<TBlockStaple*>(scene.Out.Staples->Layers(0)->Items(0));
  EXPECT_EQ(outer->Rule, rule);
  EXPECT_EQ(outer->Extra, -1);
  EXPECT_EQ(static_cast<TBlockStaple*>(scene.Out.Staples->Layers(1)->Items(0))->Rule, stapleOnly);
  EXPECT_EQ(Dump(*scene.Out.Collapsibles), "{[0,11)#0} {[4,7)#2}");

  // "r<index>:<sIdx>-<eIdx>" as each handler was called.
  std::vector<std::string> stapleCalls, collapseCalls;
  auto record = [&](std::vector<std::string>& calls, TClientSyntAnalyzer* sender, TTextRange* range,
                    int sIdx, int eIdx) {
    EXPECT_EQ(sender, &client);
    calls.push_back("r" + std::to_string(range->Index) + ":" + std::to_string(sIdx) + "-" +
                    std::to_string(eIdx));
  };
  scene.Lexer.OnGetStapleRange = [&](TClientSyntAnalyzer* sender, TTextRange* range, int& sIdx,
                                     int& eIdx) {
    record(stapleCalls, sender, range, sIdx, eIdx);
    if (range->Index == 0) sIdx = 1;   // a later start
    if (range->Index == 1) eIdx = -1;  // no staple
  };
  scene.Lexer.OnGetCollapseRange = [&](TClientSyntAnalyzer* sender, TTextRange* range, int& sIdx,
                                       int& eIdx) {
    record(collapseCalls, sender, range, sIdx, eIdx);
    if (range->Index == 0) sIdx = 3;
    if (range->Index == 2) eIdx = -1;
  };
  TDisplayRanges adjusted;
  ASSERT_TRUE(BuildDisplayRanges(client, adjusted, {}));
  EXPECT_EQ(stapleCalls, (std::vector<std::string>{"r0:0-5", "r1:1-4"}));
  // The collapse handler sees the block's bounds, not what the staple handler answered.
  EXPECT_EQ(collapseCalls, (std::vector<std::string>{"r0:0-5", "r2:2-3"}));
  EXPECT_EQ(Dump(*adjusted.Staples), "{[2,11)}");
  EXPECT_EQ(Dump(*adjusted.Collapsibles), "{[6,11)#0}");
  // Highlighting keeps the block's own bounds; the open block highlights its start token.
  EXPECT_EQ(Dump(*adjusted.StyledRanges), "{[0,1)f0- [6,7)f0- [10,11)f0-}");
}

TEST(DisplayRanges, HandlerIndexesOutsideTheTokenListDropTheRangeOnly) {
  // Block 0 runs from token 0 to 1 and gets the handlers' answer; block 1, tokens 2 to 3
  // at [4,7), is left alone and must survive a bad answer for its neighbour.
  struct TCase {
    int S, E;
    const char* Staples;
    const char* Collapsibles;
  };
  const TCase cases[] = {
      {0, 5, "{[0,11)} {[4,7)}", "{[0,11)#0} {[4,7)#1}"},  // first and last token
      {5, 5, "{[4,7) [10,11)}", "{[4,7)#1 [10,11)#0}"},
      {-1, 5, "{[4,7)}", "{[4,7)#1}"},
      {0, 6, "{[4,7)}", "{[4,7)#1}"},  // one past the last token
      {6, 6, "{[4,7)}", "{[4,7)#1}"},
      {0, -2, "{[4,7)}", "{[4,7)#1}"},
      {INT_MIN, INT_MAX, "{[4,7)}", "{[4,7)#1}"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(std::to_string(c.S) + "," + std::to_string(c.E));
    TScene scene(kSixTokens);
    TTagBlockCondition* rule = scene.AddRule(false);
    rule->SetDrawStaple(true);
    scene.Start();
    scene.AddBlock(rule, 0, 1);
    scene.AddBlock(rule, 2, 3);
    auto answer = [&](TClientSyntAnalyzer*, TTextRange* range, int& sIdx, int& eIdx) {
      if (range->Index != 0) return;
      sIdx = c.S;
      eIdx = c.E;
    };
    scene.Lexer.OnGetStapleRange = answer;
    scene.Lexer.OnGetCollapseRange = answer;
    ASSERT_TRUE(scene.Build());
    EXPECT_EQ(Dump(*scene.Out.Staples), c.Staples);
    EXPECT_EQ(Dump(*scene.Out.Collapsibles), c.Collapsibles);
  }
}

TEST(DisplayRanges, SubLexerBodiesWithAStyleGetFlag8LastOpenedFirst) {
  TScene scene(kSixTokens);
  TSubAnalyzerRule* styled = scene.AddSubRule(true);
  TSubAnalyzerRule* unstyled = scene.AddSubRule(false);
  TTagBlockCondition* block = scene.AddRule(true);
  block->SetDynHighlight(dhRange);
  scene.Start();
  scene.AddSubLexer(styled, 0, 10);
  scene.AddSubLexer(styled, 5, 8);
  scene.AddSubLexer(unstyled, 12, 15);
  scene.AddBlock(block, 1, 2);  // [2,5): overlaps the first body only
  ASSERT_TRUE(scene.Build());

  // Bodies come first, from the last opened: the nested one takes the first layer.
  EXPECT_EQ(Dump(*scene.Out.StyledRanges), "{[2,5)f0- [5,8)f8-} {[0,10)f8-}");
  EXPECT_EQ(static_cast<TStyledRange*>(scene.Out.StyledRanges->Layers(1)->Items(0))->Style,
            scene.Style("Sub"));
  EXPECT_EQ(CountOf(*scene.Out.DynoRanges), 0);
}

TEST(DisplayRanges, LineBreakRangesCoverTheirTokens) {
  TScene scene(kSixTokens);
  TTagBlockCondition* top = scene.AddRule(false);
  top->SetBlockType(btLineBreak);
  TTagBlockCondition* bottom = scene.AddRule(false);
  bottom->SetBlockType(btLineBreak);
  bottom->SetLinePos(lbBottom);
  TClientSyntAnalyzer& client = scene.Start();
  client.AddLineBreak(top, 4);
  client.AddLineBreak(bottom, 1);
  ASSERT_TRUE(scene.Build());
  EXPECT_EQ(Dump(*scene.Out.LineBreakRanges), "{[2,3) [8,9)}");
  const TRangeList& layer = *scene.Out.LineBreakRanges->Layers(0);
  EXPECT_EQ(static_cast<TLineBreakRange*>(layer.Items(0))->Rule, bottom);
  EXPECT_EQ(static_cast<TLineBreakRange*>(layer.Items(1))->Rule, top);
}

// Two sub-lexer bodies, two stapled blocks and two line breaks give eight polls: one before
// each body, one before the blocks, one before each block, one before the line breaks, one
// before each line break.
TEST(DisplayRanges, StopIsPolledBeforeEachRecordAndEndsTheWorkThere) {
  struct TCase {
    int Polls;  // answered "go on" before the stop
    int Bodies, Staples, Breaks;
  };
  const TCase cases[] = {
      {0, 0, 0, 0}, {1, 1, 0, 0}, {2, 2, 0, 0}, {3, 2, 0, 0},
      {4, 2, 1, 0}, {5, 2, 2, 0}, {6, 2, 2, 0}, {7, 2, 2, 1},
  };
  auto makeScene = [](TScene& scene) {
    TSubAnalyzerRule* sub = scene.AddSubRule(true);
    TTagBlockCondition* rule = scene.AddRule(false);
    rule->SetDrawStaple(true);
    TTagBlockCondition* lineBreak = scene.AddRule(false);
    lineBreak->SetBlockType(btLineBreak);
    TClientSyntAnalyzer& client = scene.Start();
    scene.AddSubLexer(sub, 0, 3);
    scene.AddSubLexer(sub, 4, 7);
    scene.AddBlock(rule, 0, 1);
    scene.AddBlock(rule, 2, 3);
    client.AddLineBreak(lineBreak, 4);
    client.AddLineBreak(lineBreak, 5);
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE("stopped after " + std::to_string(c.Polls) + " polls");
    TScene scene(kSixTokens);
    makeScene(scene);
    int polls = 0;
    EXPECT_FALSE(scene.Build([&] { return ++polls > c.Polls; }));
    EXPECT_EQ(polls, c.Polls + 1);  // nothing polled after the stop was seen
    EXPECT_EQ(CountOf(*scene.Out.StyledRanges), c.Bodies);
    EXPECT_EQ(CountOf(*scene.Out.Staples), c.Staples);
    EXPECT_EQ(CountOf(*scene.Out.Collapsibles), c.Staples);
    EXPECT_EQ(CountOf(*scene.Out.LineBreakRanges), c.Breaks);
  }

  TScene scene(kSixTokens);
  makeScene(scene);
  int polls = 0;
  EXPECT_TRUE(scene.Build([&] { return ++polls > 8; }));
  EXPECT_EQ(polls, 8);
  EXPECT_EQ(CountOf(*scene.Out.LineBreakRanges), 2);

  TScene unpolled(kSixTokens);
  makeScene(unpolled);
  EXPECT_TRUE(unpolled.Build());  // no stop function: never stops
  EXPECT_EQ(CountOf(*unpolled.Out.StyledRanges), 2);
}

}  // namespace
}  // namespace qv
