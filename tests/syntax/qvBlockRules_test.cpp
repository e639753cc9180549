// Block rules: one token condition against a token, the condition list against the newest
// tokens (skips, offsets, the text start), change notification, by-name references with and
// without an owning analyzer, copying, and the stream form of a rule.
#include "syntax/qvBlockRules.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <random>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "framework/ComponentStream.h"
#include "framework/Graphics.h"
#include "framework/TextServices.h"
#include "syntax/qvStrUtils.h"
#include "syntax/qvParserResults.h"
#include "syntax/qvSyntAnalyzer.h"
#include "syntax/qvSyntStyles.h"
#include "syntax/qvZRegExpr.h"

namespace qv {
namespace {

// --- Helpers ---------------------------------------------------------------------------------

// Tokens in text order. TokenType and TagStr use at(), so a test reading a token outside
// the holder fails instead of reading garbage.
class TFakeTokens : public TTokenHolder {
 public:
  struct TToken {
    std::u16string Text;
    int Type;
  };
  explicit TFakeTokens(std::vector<TToken> tokens) : FTokens(std::move(tokens)) {}
  int TokenCount() const override { return static_cast<int>(FTokens.size()); }
  int TokenType(int index) const override { return FTokens.at(static_cast<size_t>(index)).Type; }
  std::u16string TagStr(int index) const override {
    return FTokens.at(static_cast<size_t>(index)).Text;
  }

 private:
  std::vector<TToken> FTokens;
};

// "if:1 c:5 {" is the tokens if (type 1), c (type 5) and { (type 0). ASCII only.
TFakeTokens Tokens(std::string_view text) {
  std::vector<TFakeTokens::TToken> tokens;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = text.find(' ', pos);
    if (end == std::string_view::npos) end = text.size();
    std::string_view word = text.substr(pos, end - pos);
    int type = 0;
    if (size_t colon = word.rfind(':'); colon != std::string_view::npos && colon > 0) {
      type = std::stoi(std::string(word.substr(colon + 1)));
      word = word.substr(0, colon);
    }
    tokens.push_back({std::u16string(word.begin(), word.end()), type});
    pos = end + 1;
  }
  return TFakeTokens(std::move(tokens));
}

struct TCond {
  TTagConditionType Type;
  std::vector<std::string> Tags;
  uint32_t TokenTypes = 0;
};

void AddConditions(TTagBlockCondition& rule, const std::vector<TCond>& conditions) {
  for (const TCond& c : conditions) {
    TSingleTagCondition* condition = rule.ConditionList()->Add();
    for (const std::string& tag : c.Tags) condition->TagList()->Add(tag);
    condition->SetCondType(c.Type);
    condition->SetTokenTypes(c.TokenTypes);
  }
}

constexpr int kComment = 5;
constexpr uint32_t kCommentBit = 1u << kComment;

// Counts the change notices of a collection: of one item, or of the collection as a whole.
struct TNoticeCounter {
  explicit TNoticeCounter(TSyntCollection& collection) {
    collection.OnChange = [this](TSyntCollection*, TSyntCollectionItem* item) {
      if (item)
        Items.push_back(item);
      else
        ++Whole;
    };
  }
  void Reset() {
    Items.clear();
    Whole = 0;
  }
  std::vector<TSyntCollectionItem*> Items;
  int Whole = 0;
};

// A component with a collection of block rules (no analyzer), and a method to bind events to.
class TRuleHolder : public TComponent {
  QV_CLASS(TRuleHolder, TComponent)
  static void DeclareClass(TClassDecl& c) {
    c.Collection("BlockRules", &TRuleHolder::BlockRules);
    c.Method("CheckBlock", &TRuleHolder::CheckBlock);
  }
  explicit TRuleHolder(TComponent* owner) : TComponent(owner) {}
  TBlockRuleCollection* BlockRules() const { return FRules.get(); }
  void CheckBlock(TObject*, TClientSyntAnalyzer*, std::u16string_view, int& refIdx,
                  bool& accept) {
    refIdx = 42;
    accept = !accept;
  }

 private:
  std::unique_ptr<TBlockRuleCollection> FRules = std::make_unique<TBlockRuleCollection>(nullptr);
};

std::string ToText(TComponent* component) {
  TMemoryStream out;
  WriteComponentText(out, component);
  return out.DataString();
}

void FromText(std::string_view text, TComponent* component) {
  TMemoryStream in(text);
  ReadComponentText(in, component);
}

std::string Lines(std::initializer_list<std::string_view> lines) {
  std::string s;
  for (std::string_view l : lines) s += std::string(l) + "\r\n";
  return s;
}

// A rule with every property away from its default, except the by-name references
// (which need an analyzer), as the writer writes it.
const std::string PopulatedRuleText = Lines({
    "object Holder: TRuleHolder",
    "  BlockRules = <",
    "    item",
    "      DisplayName = 'Begin'",
    "      Enabled = False",
    "      StrictParent = True",
    "      StatesAdd = 4",
    "      BlockType = btRangeEnd",
    "      ConditionList = <",
    "        item",
    "          TagList.Strings = (",
    "            'begin'",
    "            'end')",
    "          TokenTypes = 6",
    "        end",
    "        item",
    "          TagList.Strings = (",
    "            '\\w+')",
    "          CondType = tcMask",
    "          IgnoreCase = True",
    "        end>",
    "      IdentIndex = -1",
    "      LinePos = lbBottom",
    "      BlockOffset = 2",
    "      EndOfTextClose = True",
    "      NotCollapsed = True",
    "      SameIdent = True",
    "      Highlight = True",
    "      InvertColors = True",
    "      DisplayInTree = False",
    "      NameFmt = '%s0'",
    "      GroupFmt = 'g'",
    "      RefToCondEnd = True",
    "      DynHighlight = dhRange",
    "      HighlightPos = cpBoundTagBegin",
    "      DynSelectMin = True",
    "      CancelNextRules = True",
    "      DrawStaple = True",
    "      GroupIndex = 3",
    "      CollapseFmt = '...'",
    "      OnBlockCheck = CheckBlock",
    "      SelfClose = True",
    "      NoEndRule = True",
    "      GrammaRuleName = 'stmt'",
    "      TokenType = 7",
    "      TreeItemImage = 2",
    "      TreeGroupImage = 5",
    "      Pen.Color = clRed",
    "      Pen.Width = 2",
    "      UseCustomPen = True",
    "      IgnoreAsParent = True",
    "      AutoCloseMode = acmCloseOpened",
    "      AutoCloseText = 'end;'",
    "      AutoCloseInternal = True",
    "    end>",
    "end",
});

// --- One condition against one token -------------------------------------------------------

TEST(TSingleTagCondition, ChecksTypeThenText) {
  struct TCase {
    const char* Name;
    TTagConditionType Type;
    std::vector<std::string> Tags;
    uint32_t TokenTypes;
    bool IgnoreCase;
    std::u16string Text;
    int TokenType;
    bool Expected;
  };
  const std::vector<TCase> cases = {
      // Types alone, with an empty list.
      {"type bit 2 accepts type 2", tcEqual, {}, 4, false, u"x", 2, true},
      {"type bit 2 refuses type 3", tcEqual, {}, 4, false, u"x", 3, false},
      {"types count modulo 32", tcEqual, {}, 4, false, u"x", 34, true},
      {"type -1 is bit 31", tcEqual, {}, 0x80000000u, false, u"x", -1, true},
      {"empty list, any type: equal holds", tcEqual, {}, 0, false, u"x", 9, true},
      {"empty list, any type: not-equal fails", tcNotEqual, {}, 0, false, u"x", 9, false},
      {"empty list, right type: not-equal fails", tcNotEqual, {}, 4, false, u"x", 2, false},
      {"other type is not equal", tcNotEqual, {"x"}, 4, false, u"x", 3, true},
      {"other type fails a mask", tcMask, {"x"}, 4, false, u"x", 3, false},
      // Skips answer by type alone when types are given.
      {"skip of the right type ignores the list", tcSkip, {"y"}, 4, false, u"x", 2, true},
      {"skip of another type fails despite the list", tcSkip, {"x"}, 4, false, u"x", 3, false},
      {"skip without types compares the text", tcSkip, {"//"}, 0, false, u"//", 3, true},
      // Equality through the sorted list.
      {"equal finds its text", tcEqual, {"else", "if"}, 0, false, u"if", 0, true},
      {"equal is case-sensitive", tcEqual, {"if"}, 0, false, u"If", 0, false},
      {"equal with IgnoreCase", tcEqual, {"if"}, 0, true, u"IF", 0, true},
      {"not-equal of a listed text", tcNotEqual, {"if"}, 0, false, u"if", 0, false},
      {"not-equal of another text", tcNotEqual, {"if"}, 0, false, u"else", 0, true},
      {"8-bit text compared", tcEqual, {"\xE9t\xE9"}, 0, false, u"\u00E9t\u00E9", 0, true},
      // Masks: anchored at the token start, with the default rule modifiers (i on).
      {"mask matches a prefix", tcMask, {"ab"}, 0, false, u"abc", 0, true},
      {"strict mask wants the whole text", tcStrictMask, {"ab"}, 0, false, u"abc", 0, false},
      {"strict mask of the whole text", tcStrictMask, {"ab"}, 0, false, u"ab", 0, true},
      {"mask is anchored at the start", tcMask, {"b"}, 0, false, u"ab", 0, false},
      {"mask of an empty match fails", tcMask, {"x*"}, 0, false, u"ab", 0, false},
      {"mask ignores case by default", tcMask, {"AB"}, 0, false, u"abc", 0, true},
      {"mask tries every entry", tcMask, {"a\\d", "b\\w"}, 0, false, u"bz", 0, true},
      {"mask with the right type", tcMask, {"\\w+"}, 4, false, u"id", 2, true},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TSingleTagCondition condition(nullptr);
    for (const std::string& tag : c.Tags) condition.TagList()->Add(tag);
    condition.SetCondType(c.Type);
    condition.SetTokenTypes(c.TokenTypes);
    condition.SetIgnoreCase(c.IgnoreCase);
    TFakeTokens tokens({{c.Text, c.TokenType}});
    EXPECT_EQ(condition.Check(tokens, 0), c.Expected);
  }
}

TEST(TSingleTagCondition, MaskErrorEndsTheTestButAnEmptyEntryDoesNot) {
  TSingleTagCondition condition(nullptr);
  condition.SetCondType(tcMask);
  // "(" does not compile. It sorts before "a", so the test ends before "a" is tried.
  condition.TagList()->SetText("a\r\n(\r\n");
  ASSERT_EQ(condition.TagList()->Strings(0), "(");
  EXPECT_FALSE(condition.CheckToken(0, "a"));

  // After a valid entry that matches, a later invalid one is never reached.
  condition.TagList()->SetText("a\r\nz(\r\n");
  ASSERT_EQ(condition.TagList()->Strings(0), "a");
  EXPECT_TRUE(condition.CheckToken(0, "a"));

  // An empty entry compiles to nothing and only never matches.
  condition.TagList()->SetText("\r\na\r\n");
  ASSERT_EQ(condition.TagList()->Count(), 2);
  EXPECT_TRUE(condition.CheckToken(0, "a"));
}

TEST(TSingleTagCondition, MasksFollowTheListAndTheHostModifiers) {
  TSingleTagCondition condition(nullptr);
  condition.SetCondType(tcMask);
  condition.TagList()->Add("a");
  EXPECT_FALSE(condition.CheckToken(0, "b"));
  condition.TagList()->Add("b");  // compiled masks of the old list must not be reused
  EXPECT_TRUE(condition.CheckToken(0, "b"));
  condition.TagList()->Clear();  // an empty list holds for any text
  EXPECT_TRUE(condition.CheckToken(0, "zzz"));

  // A host that turns case-insensitivity off for rule expressions.
  const TDefaultModifiersProc saved = DefaultModifiersProc;
  DefaultModifiersProc = [](TqvRegExpr& expression) { expression.SetModifier(MaskModI, false); };
  TSingleTagCondition strict(nullptr);
  strict.SetCondType(tcMask);
  strict.TagList()->Add("AB");
  const bool matched = strict.CheckToken(0, "abc");
  DefaultModifiersProc = saved;
  EXPECT_FALSE(matched);
  EXPECT_TRUE(strict.CheckToken(0, "ABC"));
}

TEST(TSingleTagCondition, AssignCopiesTypeTypesListAndCase) {
  TSingleTagCondition source(nullptr), dest(nullptr);
  source.SetCondType(tcNotEqual);
  source.SetTokenTypes(12);
  source.TagList()->SetText("b\r\na\r\n");
  source.SetIgnoreCase(true);
  dest.TagList()->Add("old");
  dest.Assign(&source);
  EXPECT_EQ(dest.CondType(), tcNotEqual);
  EXPECT_EQ(dest.TokenTypes(), 12u);
  EXPECT_EQ(dest.TagList()->Text(), "a\r\nb\r\n");
  EXPECT_TRUE(dest.IgnoreCase());
  EXPECT_TRUE(dest.TagList()->Sorted());
}

// --- The condition list against the newest tokens --------------------------------------------

TEST(TTagBlockCondition, CondOffsetLooksBackForTokensAfterTheReference) {
  struct TCase {
    bool RefToCondEnd;
    int BlockOffset;
    int IdentIndex;
    int Expected;
  };
  const std::vector<TCase> cases = {
      {false, 0, 0, 0},   {false, 0, -1, 1},  {false, 2, -1, 1},
      {false, -2, 0, 2},  {false, -3, -1, 3},  // block offset further back than the ident
      {false, -1, -3, 3},                      // ident further back than the block offset
      {false, -2, -2, 2}, {false, 0, 4, 0},   {true, -2, -1, 0},
  };
  TBlockRuleCollection rules(nullptr);
  TTagBlockCondition* rule = rules.Add();
  for (const TCase& c : cases) {
    SCOPED_TRACE(testing::Message() << "RefToCondEnd " << c.RefToCondEnd << " BlockOffset "
                                    << c.BlockOffset << " IdentIndex " << c.IdentIndex);
    rule->SetRefToCondEnd(c.RefToCondEnd);
    rule->SetBlockOffset(c.BlockOffset);
    rule->SetIdentIndex(c.IdentIndex);
    EXPECT_EQ(rule->CondOffset(), c.Expected);
  }
}

// refIdx of an accepted rule, or kRefused.
constexpr int kRefused = -1000;

// Runs the condition list of rule against the first n tokens (-1: all of them).
int Outcome(const TTagBlockCondition& rule, const TFakeTokens& tokens, int n = -1) {
  int refIdx = kRefused;
  const bool accepted = rule.CheckCondition(tokens, n < 0 ? tokens.TokenCount() : n, refIdx);
  return accepted ? refIdx : kRefused;
}

TEST(TTagBlockCondition, CheckConditionMatchesNewestFirst) {
  struct TCase {
    const char* Name;
    std::vector<TCond> Conditions;
    const char* Tokens;
    int RefIdx;
  };
  const TCond a{tcEqual, {"a"}}, b{tcEqual, {"b"}}, x{tcEqual, {"x"}}, end{tcEqual, {"end"}};
  const TCond brace{tcEqual, {"{"}}, ifWord{tcEqual, {"if"}}, elseWord{tcEqual, {"else"}};
  const TCond comments{tcSkip, {}, kCommentBit}, blanks{tcSkip, {}, 1u << 6};
  const TCond open{tcEqual, {"("}}, close{tcEqual, {")"}};
  const std::vector<TCase> cases = {
      {"an empty list never accepts", {}, "a", kRefused},
      {"one condition on the newest token", {end}, "x end", 1},
      {"one condition refuses an older match", {end}, "end x", kRefused},
      {"the second condition tests the older token", {b, a}, "a b", 0},
      {"conditions are newest first", {b, a}, "b a", kRefused},
      {"a type condition", {{tcEqual, {}, 4}}, "x:2", 0},
      // Before the start of the text.
      {"not-equal before the text start holds", {a, {tcNotEqual, {"x"}}}, "a", -1},
      {"equal before the text start fails", {a, x}, "a", kRefused},
      // A skip followed by another condition.
      {"skip lets comments pass", {brace, comments, ifWord}, "if:1 c:5 c:5 {", 0},
      {"skip of no token", {brace, comments, ifWord}, "if:1 {", 0},
      {"skip stops at a token it does not allow", {brace, comments, ifWord}, "if x {", kRefused},
      {"skip running off the text start", {brace, comments, ifWord}, "c:5 {", kRefused},
      {"skip before older tokens", {brace, comments, ifWord}, "x if:1 c:5 {", 1},
      {"conditions after a skip move with it",
       {brace, comments, ifWord, elseWord},
       "else if c:5 c:5 {",
       0},
      {"conditions after a skip need their token",
       {brace, comments, ifWord, elseWord},
       "x if c:5 {",
       kRefused},
      // A skip without a plain condition after it is a plain condition itself.
      {"last skip tests one token", {{tcEqual, {"}"}}, comments}, "c:5 }", 0},
      {"last skip of the wrong type", {{tcEqual, {"}"}}, comments}, "x:1 }", kRefused},
      {"a skip before a skip is plain", {close, comments, blanks, open}, "( s:6 s:6 c:5 )", 0},
      {"a skip before a skip lets nothing pass",
       {close, comments, blanks, open},
       "( s:6 c:5 c:5 )",
       kRefused},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TBlockRuleCollection rules(nullptr);
    TTagBlockCondition* rule = rules.Add();
    AddConditions(*rule, c.Conditions);
    EXPECT_EQ(Outcome(*rule, Tokens(c.Tokens)), c.RefIdx);
  }
}

TEST(TTagBlockCondition, CheckConditionHonoursTokenCountAndOffsets) {
  struct TCase {
    const char* Name;
    int IdentIndex;
    int BlockOffset;
    bool RefToCondEnd;
    const char* Tokens;
    int N;
    int RefIdx;
  };
  // The rule's only condition is the word item.
  const std::vector<TCase> cases = {
      {"only the first n tokens count", 0, 0, false, "item x", 1, 0},
      {"tokens from n on are not seen", 0, 0, false, "x item", 1, kRefused},
      {"IdentIndex -1 tests one token later", -1, 0, false, "item x", -1, 0},
      {"IdentIndex -1 never tests the newest token", -1, 0, false, "x item", -1, kRefused},
      {"BlockOffset -2 tests two tokens later", 0, -2, false, "item x y", -1, 0},
      {"RefToCondEnd cancels the offset", -1, 0, true, "x item", -1, 1},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TBlockRuleCollection rules(nullptr);
    TTagBlockCondition* rule = rules.Add();
    AddConditions(*rule, {{tcEqual, {"item"}}});
    rule->SetIdentIndex(c.IdentIndex);
    rule->SetBlockOffset(c.BlockOffset);
    rule->SetRefToCondEnd(c.RefToCondEnd);
    EXPECT_EQ(Outcome(*rule, Tokens(c.Tokens), c.N), c.RefIdx);
  }
}

// Fake tokens that also give their characters in place, as the analyzer's results do.
class TViewTokens : public TFakeTokens {
 public:
  using TFakeTokens::TFakeTokens;
  std::u16string_view TagView(int index) const override { return Text(index); }

 private:
  std::u16string_view Text(int index) const {
    FCopy = TagStr(index);
    return FCopy;
  }
  mutable std::u16string FCopy;
};

TEST(TTagBlockCondition, MayAcceptRefusesOnlyWhatTheConditionsRefuse) {
  // Random condition lists against random tokens, before and after a condition changes: a
  // precheck that refuses what CheckCondition accepts (a case it did not fold, a type
  // or length it left out, a change it missed) fails here.
  const std::vector<std::u16string> words = {u"begin", u"Begin", u"BEGIN", u"end", u"End", u"x", u"_x",
                                             u"9",     u"{",     u"(",     u"\u00e9nd", u"e", u"",  u"endif",
                                             u"b",     u"B",     u"e\u00e9"};
  const std::vector<std::string> tags = {"begin", "end", "End", "x", "_x", "9", "{", "(", "endif", "e", "b", "", "X"};
  const std::vector<TTagConditionType> kinds = {tcEqual, tcEqual, tcEqual, tcNotEqual, tcSkip, tcMask, tcStrictMask};
  std::mt19937 random(5);
  auto pick = [&random](size_t n) { return static_cast<size_t>(random() % n); };
  auto fill = [&](TSingleTagCondition& c) {
    c.TagList()->Clear();
    const TTagConditionType kind = kinds[pick(kinds.size())];
    if (kind == tcMask || kind == tcStrictMask) {
      c.TagList()->Add(pick(2) ? "e.*" : "[bB]");
    } else {
      for (size_t n = pick(4); n > 0; --n) c.TagList()->Add(tags[pick(tags.size())]);
    }
    c.SetCondType(kind);
    c.SetTokenTypes(pick(3) ? 0 : static_cast<uint32_t>(1 + pick(15)));
    c.SetIgnoreCase(pick(2) == 1);
  };
  int accepted = 0, refused = 0;
  for (int round = 0; round < 400; ++round) {
    TBlockRuleCollection rules(nullptr);
    TTagBlockCondition* rule = rules.Add();
    for (size_t n = 1 + pick(4); n > 0; --n) fill(*rule->ConditionList()->Add());
    rule->SetIdentIndex(static_cast<int>(pick(3)) - 1);
    rule->SetBlockOffset(static_cast<int>(pick(3)) - 1);
    rule->SetRefToCondEnd(pick(4) == 0);
    std::vector<TFakeTokens::TToken> list;
    for (int i = 0; i < 10; ++i) list.push_back({words[pick(words.size())], static_cast<int>(pick(4))});
    const TViewTokens tokens(list);
    auto check = [&](const char* when) {
      for (int n = 0; n <= tokens.TokenCount(); ++n) {
        int refIdx = 0;
        if (rule->CheckCondition(tokens, n, refIdx)) {
          ASSERT_TRUE(rule->MayAccept(tokens, n)) << when << ", round " << round << ", n " << n;
          ++accepted;
        } else if (!rule->MayAccept(tokens, n)) {
          ++refused;
        }
      }
    };
    check("as made");
    fill(*rule->ConditionList()->Items(static_cast<int>(pick(static_cast<size_t>(rule->ConditionList()->Count())))));
    check("after a change");
    if (HasFatalFailure()) return;
  }
  // Both outcomes were met often: the test saw the precheck at work.
  EXPECT_GT(accepted, 200);
  EXPECT_GT(refused, 2000);
}

// --- Change notification -------------------------------------------------------------------

TEST(TTagBlockCondition, SettersNotifyOnlyOnChange) {
  using TSetter = std::function<void(TTagBlockCondition&)>;
  const std::vector<std::pair<const char*, TSetter>> plain = {
      {"GroupIndex", [](TTagBlockCondition& r) { r.SetGroupIndex(4); }},
      {"GrammaRuleName", [](TTagBlockCondition& r) { r.SetGrammaRuleName("stmt"); }},
  };
  const std::vector<std::pair<const char*, TSetter>> setters = {
      {"IdentIndex", [](TTagBlockCondition& r) { r.SetIdentIndex(-1); }},
      {"LinePos", [](TTagBlockCondition& r) { r.SetLinePos(lbBottom); }},
      {"BlockOffset", [](TTagBlockCondition& r) { r.SetBlockOffset(2); }},
      {"EndOfTextClose", [](TTagBlockCondition& r) { r.SetEndOfTextClose(true); }},
      {"NotCollapsed", [](TTagBlockCondition& r) { r.SetNotCollapsed(true); }},
      {"SameIdent", [](TTagBlockCondition& r) { r.SetSameIdent(true); }},
      {"Highlight", [](TTagBlockCondition& r) { r.SetHighlight(true); }},
      {"InvertColors", [](TTagBlockCondition& r) { r.SetInvertColors(true); }},
      {"DisplayInTree", [](TTagBlockCondition& r) { r.SetDisplayInTree(false); }},
      {"NameFmt", [](TTagBlockCondition& r) { r.SetNameFmt(u"%s0"); }},
      {"GroupFmt", [](TTagBlockCondition& r) { r.SetGroupFmt(u"g"); }},
      {"RefToCondEnd", [](TTagBlockCondition& r) { r.SetRefToCondEnd(true); }},
      {"DynHighlight", [](TTagBlockCondition& r) { r.SetDynHighlight(dhBound); }},
      {"HighlightPos", [](TTagBlockCondition& r) { r.SetHighlightPos(cpRange); }},
      {"DynSelectMin", [](TTagBlockCondition& r) { r.SetDynSelectMin(true); }},
      {"CancelNextRules", [](TTagBlockCondition& r) { r.SetCancelNextRules(true); }},
      {"DrawStaple", [](TTagBlockCondition& r) { r.SetDrawStaple(true); }},
      {"CollapseFmt", [](TTagBlockCondition& r) { r.SetCollapseFmt(u"..."); }},
      {"SelfClose", [](TTagBlockCondition& r) { r.SetSelfClose(true); }},
      {"NoEndRule", [](TTagBlockCondition& r) { r.SetNoEndRule(true); }},
      {"TokenType", [](TTagBlockCondition& r) { r.SetTokenType(3); }},
      {"TreeItemImage", [](TTagBlockCondition& r) { r.SetTreeItemImage(1); }},
      {"TreeGroupImage", [](TTagBlockCondition& r) { r.SetTreeGroupImage(1); }},
      {"UseCustomPen", [](TTagBlockCondition& r) { r.SetUseCustomPen(true); }},
      {"IgnoreAsParent", [](TTagBlockCondition& r) { r.SetIgnoreAsParent(true); }},
      {"AutoCloseMode", [](TTagBlockCondition& r) { r.SetAutoCloseMode(acmCloseNearest); }},
      {"AutoCloseText", [](TTagBlockCondition& r) { r.SetAutoCloseText(u"end"); }},
      {"AutoCloseInternal", [](TTagBlockCondition& r) { r.SetAutoCloseInternal(true); }},
      {"Pen",
       [](TTagBlockCondition& r) {
         TPen pen;
         pen.SetColor(clRed);
         r.SetPen(&pen);
       }},
  };
  TBlockRuleCollection rules(nullptr);
  TTagBlockCondition* rule = rules.Add();
  TNoticeCounter notices(rules);
  for (const auto& [name, set] : setters) {
    SCOPED_TRACE(name);
    notices.Reset();
    set(*rule);
    EXPECT_THAT(notices.Items, testing::ElementsAre(rule));
    set(*rule);  // the value it already has
    EXPECT_EQ(notices.Items.size(), 1u);
    EXPECT_EQ(notices.Whole, 0);
  }
  for (const auto& [name, set] : plain) {
    SCOPED_TRACE(name);
    notices.Reset();
    set(*rule);
    EXPECT_TRUE(notices.Items.empty());
  }
}

TEST(TTagBlockCondition, BlockTypeAlwaysNotifiesAndRangelessTypesDropTheOffset) {
  struct TCase {
    TTagBlockType Type;
    int Offset;  // BlockOffset afterwards, from 3
  };
  const std::vector<TCase> cases = {
      {btTagDetect, 0}, {btLineBreak, 0}, {btRangeStart, 3}, {btRangeEnd, 3}};
  for (const TCase& c : cases) {
    SCOPED_TRACE(TagBlockTypeInfo.NameOf(c.Type));
    TBlockRuleCollection rules(nullptr);
    TTagBlockCondition* rule = rules.Add();
    rule->SetBlockType(c.Type);
    rule->SetBlockOffset(3);
    TNoticeCounter notices(rules);
    rule->SetBlockType(c.Type);  // the type it already has
    EXPECT_EQ(rule->BlockOffset(), c.Offset);
    EXPECT_THAT(notices.Items, testing::ElementsAre(rule));
  }
}

TEST(TTagBlockCondition, AutoCloseTextOfALineBreakAloneIsEmpty) {
  TBlockRuleCollection rules(nullptr);
  TTagBlockCondition* rule = rules.Add();
  rule->SetAutoCloseText(u"end;");
  TNoticeCounter notices(rules);
  rule->SetAutoCloseText(u"\r\n");
  EXPECT_EQ(rule->AutoCloseText(), u"");
  EXPECT_EQ(notices.Items.size(), 1u);
  rule->SetAutoCloseText(u"\r\n");  // empty already: no change
  EXPECT_EQ(notices.Items.size(), 1u);
  rule->SetAutoCloseText(u"\r\n\r\n");  // only the bare pair is emptied
  EXPECT_EQ(rule->AutoCloseText(), u"\r\n\r\n");
}

TEST(TTagBlockCondition, ConditionChangesAreChangesOfTheRule) {
  TBlockRuleCollection rules(nullptr);
  TTagBlockCondition* rule = rules.Add();
  TTagBlockCondition* other = rules.Add();
  TNoticeCounter notices(rules);

  TSingleTagCondition* condition = rule->ConditionList()->Add();
  EXPECT_THAT(notices.Items, testing::ElementsAre(rule));
  notices.Reset();
  condition->TagList()->Add("if");
  EXPECT_THAT(notices.Items, testing::ElementsAre(rule));
  notices.Reset();
  condition->SetCondType(tcEqual);  // unchanged, reported all the same
  condition->SetTokenTypes(0);
  EXPECT_THAT(notices.Items, testing::ElementsAre(rule, rule));
  notices.Reset();
  other->SetConditionList(rule->ConditionList());  // one notice for the whole copy
  EXPECT_THAT(notices.Items, testing::ElementsAre(other));
  notices.Reset();
  rule->ConditionList()->Delete(0);
  EXPECT_THAT(notices.Items, testing::ElementsAre(rule));
  EXPECT_EQ(other->ConditionList()->Count(), 1);
  EXPECT_EQ(notices.Whole, 0);
}

TEST(TTagBlockCondition, PenCopyOfSeveralAttributesNotifiesOnce) {
  TBlockRuleCollection rules(nullptr);
  TTagBlockCondition* rule = rules.Add();
  TNoticeCounter notices(rules);
  TPen pen;
  pen.SetColor(clRed);
  pen.SetStyle(psDot);
  pen.SetWidth(3);
  rule->SetPen(&pen);
  EXPECT_EQ(notices.Items.size(), 1u);
  EXPECT_EQ(rule->Pen()->Style(), psDot);
}

// --- References, grammar rule, copying -----------------------------------------------------

TEST(TTagBlockCondition, ReferencesWithoutAnalyzerReadEmptyButNotify) {
  TBlockRuleCollection rules(nullptr);
  TTagBlockCondition* rule = rules.Add();
  TTagBlockCondition* end = rules.Add();
  TNoticeCounter notices(rules);
  rule->SetBlockEnd(end->DisplayName());
  rule->SetTreeItemStyle("Style 1");
  rule->SetTreeGroupStyle("Style 1");
  EXPECT_EQ(rule->BlockEnd(), "");
  EXPECT_EQ(rule->BlockEndCond(), nullptr);
  EXPECT_EQ(rule->TreeItemStyle(), "");
  EXPECT_EQ(rule->TreeGroupStyle(), "");
  EXPECT_EQ(notices.Items.size(), 3u);
}

TEST(TTagBlockCondition, GrammaRuleIsResolvedByTheAnalyzerOnly) {
  TBlockRuleCollection rules(nullptr);
  TTagBlockCondition* rule = rules.Add();
  // Never dereferenced: the rule only keeps what the lookup gives.
  int grammarStandIn = 0;
  auto* parserRule = reinterpret_cast<TParserRule*>(&grammarStandIn);
  std::vector<std::string> asked;
  const TTagBlockCondition::TGrammaRuleLookup lookup = [&](const std::string& name) {
    asked.push_back(name);
    return parserRule;
  };

  rule->ResolveGrammaRule(lookup);  // no name: nothing to look up
  EXPECT_TRUE(asked.empty());
  rule->SetGrammaRuleName("stmt");
  EXPECT_EQ(rule->GrammaRule(), nullptr);
  rule->ResolveGrammaRule(lookup);
  EXPECT_THAT(asked, testing::ElementsAre("stmt"));
  EXPECT_EQ(rule->GrammaRule(), parserRule);
  rule->SetGrammaRuleName("stmt");  // same name keeps the resolution
  EXPECT_EQ(rule->GrammaRule(), parserRule);
  rule->SetGrammaRuleName("expr");  // a new name is unresolved until looked up again
  EXPECT_EQ(rule->GrammaRule(), nullptr);
  rule->ResolveGrammaRule(lookup);
  rule->ResolveGrammaRule(nullptr);  // an analyzer without grammar
  EXPECT_EQ(rule->GrammaRule(), nullptr);
}

TEST(TTagBlockCondition, AssignCopiesEveryPropertyAndTheConditionsDeeply) {
  TRuleHolder source(nullptr), dest(nullptr);
  FromText(PopulatedRuleText, &source);
  ASSERT_EQ(source.BlockRules()->Count(), 1);
  TTagBlockCondition* from = source.BlockRules()->Items(0);
  TTagBlockCondition* to = dest.BlockRules()->Add();
  to->Assign(from);

  std::string difference;
  EXPECT_TRUE(SamePublishedValues(*from, *to, &difference)) << difference;
  ASSERT_TRUE(to->OnBlockCheck);
  int refIdx = 0;
  bool accept = false;
  to->OnBlockCheck(to, nullptr, u"", refIdx, accept);
  EXPECT_EQ(refIdx, 42);
  from->ConditionList()->Items(0)->TagList()->Add("then");
  EXPECT_EQ(to->ConditionList()->Items(0)->TagList()->Count(), 2);

  // BlockType is copied after BlockOffset: a tag-detect rule arrives without an offset.
  from->SetBlockType(btTagDetect);
  from->SetBlockOffset(3);
  to->Assign(from);
  EXPECT_EQ(to->BlockOffset(), 0);
}

// --- Streaming -----------------------------------------------------------------------------

TEST(TTagBlockCondition, NewRuleWritesOnlyItsAlwaysStoredProperties) {
  TRuleHolder holder(nullptr);
  holder.SetName("Holder");
  holder.BlockRules()->Add();
  // Every property with a default is left out, so a new rule starts at those defaults.
  EXPECT_EQ(ToText(&holder), Lines({
                                 "object Holder: TRuleHolder",
                                 "  BlockRules = <",
                                 "    item",
                                 "      DisplayName = 'Tag block rule 1'",
                                 "      ConditionList = <>",
                                 "      HighlightPos = cpAny",
                                 "      IgnoreAsParent = False",
                                 "    end>",
                                 "end",
                             }));
}

TEST(TTagBlockCondition, PopulatedRuleRoundTripsThroughText) {
  TRuleHolder holder(nullptr);
  FromText(PopulatedRuleText, &holder);
  ASSERT_EQ(holder.BlockRules()->Count(), 1);
  const TTagBlockCondition* rule = holder.BlockRules()->Items(0);
  EXPECT_EQ(rule->ConditionList()->Count(), 2);
  EXPECT_TRUE(rule->ConditionList()->Items(1)->IgnoreCase());
  EXPECT_EQ(rule->Pen()->Width(), 2);
  ASSERT_TRUE(rule->OnBlockCheck);
  // Written back in declaration order: equal text means every property was read into its
  // place and written from there.
  EXPECT_EQ(ToText(&holder), PopulatedRuleText);

  TRuleHolder copy(nullptr);
  FromText(ToText(&holder), &copy);
  std::string difference;
  EXPECT_TRUE(SamePublishedValues(holder, copy, &difference)) << difference;
}

// --- Rules owned by an analyzer --------------------------------------------------------------

// An analyzer with three block rules A, B, C and a style S.
class BlockRulesInAnalyzer : public testing::Test {
 protected:
  void SetUp() override {
    for (const char* name : {"A", "B", "C"}) Rules()->Add()->SetDisplayName(name);
    Analyzer.Formats()->Add()->SetDisplayName("S");
  }
  TBlockRuleCollection* Rules() { return Analyzer.BlockRules(); }
  TTagBlockCondition* Rule(const char* name) {
    return static_cast<TTagBlockCondition*>(Rules()->ItemByName(name));
  }
  TSyntaxFormat* Style(const char* name) {
    return static_cast<TSyntaxFormat*>(Analyzer.Formats()->ItemByName(name));
  }
  TSyntAnalyzer Analyzer{nullptr};
};

TEST_F(BlockRulesInAnalyzer, ReferencesResolveAtOnceAndFollowRenames) {
  TTagBlockCondition* a = Rule("A");
  a->SetBlockEnd("B");
  a->SetTreeItemStyle("S");
  a->SetTreeGroupStyle("nothing");
  EXPECT_EQ(a->BlockEndCond(), Rule("B"));
  EXPECT_EQ(a->TreeItemStyleObj(), Style("S"));
  EXPECT_EQ(a->TreeGroupStyleObj(), nullptr);
  EXPECT_EQ(a->TreeGroupStyle(), "");

  Rule("B")->SetDisplayName("B2");
  Style("S")->SetDisplayName("S2");
  EXPECT_EQ(a->BlockEnd(), "B2");
  EXPECT_EQ(a->TreeItemStyle(), "S2");
}

TEST_F(BlockRulesInAnalyzer, RangelessBlockTypeDropsBlockEndAndItsKeptName) {
  TTagBlockCondition* a = Rule("A");
  a->SetBlockEnd("B");
  a->SetBlockType(btTagDetect);
  EXPECT_EQ(a->BlockEndCond(), nullptr);
  EXPECT_EQ(a->BlockEnd(), "");

  // A name kept while loading is dropped too, so Loaded does not bring it back.
  Analyzer.IncludeState(csLoading);
  a->SetBlockType(btRangeStart);
  a->SetBlockEnd("C");
  a->SetBlockType(btLineBreak);
  Analyzer.ExcludeState(csLoading);
  a->Loaded();
  EXPECT_EQ(a->BlockEndCond(), nullptr);
}

TEST_F(BlockRulesInAnalyzer, NamesWrittenWhileLoadingResolveInLoaded) {
  TTagBlockCondition* a = Rule("A");
  Analyzer.IncludeState(csLoading);
  a->SetStyleName("S");
  a->SetBlockName("C");
  a->SetBlockEnd("D");  // a rule read later
  a->SetTreeItemStyle("S");
  a->SetTreeGroupStyle("T");
  EXPECT_EQ(a->BlockEnd(), "D");  // the kept text while loading
  EXPECT_EQ(a->BlockEndCond(), nullptr);
  Rules()->Add()->SetDisplayName("D");
  Analyzer.Formats()->Add()->SetDisplayName("T");
  Analyzer.ExcludeState(csLoading);

  a->Loaded();
  EXPECT_EQ(a->Style(), Style("S"));
  EXPECT_EQ(a->Block(), Rule("C"));
  EXPECT_EQ(a->BlockEndCond(), Rule("D"));
  EXPECT_EQ(a->TreeItemStyleObj(), Style("S"));
  EXPECT_EQ(a->TreeGroupStyleObj(), Style("T"));
}

TEST_F(BlockRulesInAnalyzer, AssignCopiesReferencesByNameIntoTheDestinationAnalyzer) {
  Rule("A")->SetBlockEnd("B");
  Rule("A")->SetTreeGroupStyle("S");
  TSyntAnalyzer other(nullptr);
  other.BlockRules()->Add()->SetDisplayName("B");
  other.Formats()->Add()->SetDisplayName("S");
  TTagBlockCondition* copy = other.BlockRules()->Add();
  copy->Assign(Rule("A"));
  EXPECT_EQ(copy->DisplayName(), "A");
  EXPECT_EQ(copy->BlockEndCond(), other.BlockRules()->ItemByName("B"));
  EXPECT_EQ(copy->TreeGroupStyleObj(), other.Formats()->ItemByName("S"));
}

TEST_F(BlockRulesInAnalyzer, ValidationDropsReferencesToRemovedItems) {
  TTagBlockCondition* a = Rule("A");
  a->SetBlockName("C");
  a->SetBlockEnd("B");
  a->SetStyleName("S");
  a->SetTreeItemStyle("S");
  a->SetTreeGroupStyle("S");
  TBlockRuleCollection spare(nullptr);
  Rule("B")->SetCollection(&spare);  // still alive, no longer one of the analyzer's rules
  a->ValidateBlocks(*Rules());
  EXPECT_EQ(a->BlockEndCond(), nullptr);
  EXPECT_EQ(a->Block(), Rule("C"));

  TStylesCollection otherStyles(nullptr);
  a->ValidateStyles(otherStyles);
  EXPECT_EQ(a->Style(), nullptr);
  EXPECT_EQ(a->TreeItemStyleObj(), nullptr);
  EXPECT_EQ(a->TreeGroupStyleObj(), nullptr);
}

}  // namespace
}  // namespace qv

namespace qv {
namespace {

// The exact lookup of plain lists must answer as the list's own comparison does, for every
// text: random texts of letters in both cases, hyphens, apostrophes, "?", blanks and
// characters outside ASCII (one the system code page lacks among them) against lists with
// and without such entries, with and without IgnoreCase.
TEST(TagCondition, PlainListsAnswerAsTheListsOwnComparison) {
  const std::u16string alphabet = u"aAbB-'? \u00E9\u03A9";
  const std::vector<std::vector<std::string>> lists = {
      {"ab", "Ab", "a-b", "it's", "b"},
      {"ab", "a b", "?", "??"},
      {"ab", "caf\xE9", "B"},  // not plain: every text takes the list's comparison
  };
  std::mt19937 random(11);
  for (const auto& entries : lists)
    for (bool ignoreCase : {false, true}) {
      TConditionCollection conditions(nullptr);
      TSingleTagCondition* c = conditions.Add();
      for (const std::string& e : entries) c->TagList()->Add(e);
      c->SetIgnoreCase(ignoreCase);
      for (int round = 0; round < 400; ++round) {
        std::u16string text;
        for (int n = 1 + static_cast<int>(random() % 4); n > 0; --n)
          text += alphabet[random() % alphabet.size()];
        TFakeTokens tokens({{text, 0}});
        const bool expected = c->TagList()->IndexOf(WideCharToMultiByte(CP_ACP, text)) >= 0;
        ASSERT_EQ(c->Check(tokens, 0), expected)
            << WideToUtf8(text) << " ignoreCase " << ignoreCase << " list " << entries[0];
      }
    }
}

}  // namespace
}  // namespace qv
