// Tests of the matcher: anchored results forward and backward, captures, the repetition
// and alternative rules, the zero-width checks, multibyte mode, the class hooks, the step
// budget and the recursion guard, and the UTF-16 entry against the 8-bit one on real files.
#include "syntax/qvZRegExpr.h"

#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "framework/TextServices.h"
#include "syntax/qvStrUtils.h"
#include "tests/support/CodePageScope.h"
#include "tests/support/RealFiles.h"

namespace qv {
namespace {

using testing::StrEq;
using testing::ThrowsMessage;

constexpr uint16_t kNoCase = DefaultModifierFlags & ~MaskModI;  // r g m x

std::u16string Wide(const std::string& s) {
  std::u16string w;
  for (char c : s) w += static_cast<char16_t>(static_cast<uint8_t>(c));
  return w;
}

// Where a match at pos ends (Match's pos), or 0 when it fails.
int EndOf(TqvRegExpr& re, const std::string& subject, int pos, bool backward) {
  return re.Match(subject, pos, backward) ? pos : 0;
}

struct TMatchCase {
  const char* Expr;
  std::string Subject;
  int Pos;
  int End;  // 0: no match
  uint16_t Flags = kNoCase;
  bool Backward = false;
};

void RunCases(const std::vector<TMatchCase>& cases) {
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.Expr << " against \"" << c.Subject << "\" at " << c.Pos
                                    << (c.Backward ? " backward" : ""));
    TqvRegExpr re;
    re.SetModifierFlags(c.Flags);
    re.SetExpression(Wide(c.Expr));
    EXPECT_EQ(EndOf(re, c.Subject, c.Pos, c.Backward), c.End);
    EXPECT_EQ(re.LastMatch(), c.End != 0);
    // The UTF-16 entry gives the same result on the same (ASCII) text.
    int pos = c.Pos;
    EXPECT_EQ(re.MatchWide(Wide(c.Subject), pos, c.Backward) ? pos : 0, c.End);
  }
}

TEST(TqvRegExprMatch, AnchoredResultsOfTheLanguage) {
  const uint16_t s = kNoCase | MaskModS, noM = kNoCase & ~MaskModM, i = DefaultModifierFlags;
  const uint16_t noR = kNoCase & ~MaskModR, noG = kNoCase & ~MaskModG;
  RunCases({
      {"(a)b", "ab", 1, 3},
      {"(ab)*c", "ababc", 1, 6},
      {"a+?b", "aab", 1, 4},
      {"a+?", "aaa", 1, 2},
      {"a+", "aaa", 1, 4},
      {"a+", "aaa", 2, 4},
      {"a*", "aaa", 1, 1, noG},  // g off: lazy, and nothing follows
      {"a*b", "aab", 1, 4, noG},
      {"cat|category", "category", 1, 4},
      {"(a)\\1", "aa", 1, 3},
      {"(a)?\\1", "b", 1, 0},
      {"(a)\\1", "aA", 1, 3, i},
      {"(a)\\1", "aA", 1, 0},
      {"a", "xa", 2, 3},
      {"a", "a", 5, 0},
      {"\\b", "a", 5, 0},
      {"[^]", "", 1, 0},
      {"[^]", "\n", 1, 2},
      {"[]]", "]", 1, 2},
      {"[a-]", "-", 1, 2},
      {"[a-c-e]+", "b-ed", 1, 4},
      {"", "a", 1, 0},
      {"abc", "ABC", 1, 4, i},
      {"[a-c]+", "ABCd", 1, 4, i},
      {"[^a-c]", "B", 1, 0, i},
      // Line starts and ends with m on, and the text bounds with m off.
      {"^a", "a", 1, 2},
      {"^b", "a\nb", 3, 4},
      {"^b", "a\rb", 3, 4},
      {"^", "a\r\nb", 3, 0},
      {"^b", "a\r\nb", 4, 5},
      {"^b", "a\nb", 3, 0, noM},
      {"a$", "a\rb", 1, 2},
      {"a$", "a\nb", 1, 2},
      {"$", "\n", 1, 1},
      {"$", "a\r\nb", 3, 0},
      {"a$", "a", 1, 2},
      {"a$", "a\nb", 1, 0, noM},
      {"\\Aa\\Z", "a", 1, 2},
      {"\\A", "ba", 2, 0},
      // Word boundaries, "\z", "." and classes.
      {"\\b", " a", 1, 1},
      {"\\b\\w+\\b", "ab cd", 4, 6},
      {"a\\B", "ab", 1, 2},
      {"a\\b", "ab", 1, 0},
      {"\\z", "\r\n", 1, 3},
      {"\\z", "\n\r", 1, 2},
      {"\\z", "a", 1, 0},
      {".", "\r", 1, 0},
      {".", "\n", 1, 0},
      {".", "\r", 1, 2, s},
      {".", std::string("\0", 1), 1, 0},  // NUL is "no character" for "."
      {"[^a]", std::string("\0", 1), 1, 2},
      {"\\d+", "12x", 1, 3},
      {"\\w+", "\xE9t\xE9_1-", 1, 6},  // é is a letter of the system code page
      {"\\w+", "\xE9t\xE9_1-", 1, 0, noR},  // ASCII classes with r off
      {"\\s\\S\\h\\H\\l\\L\\c\\C\\k\\K\\g\\G", " xaz\xE9#_-7e_7", 1, 13},
      // Look-around.
      {"a(?!b)", "ac", 1, 2},
      {"a(?!b)", "ab", 1, 0},
      {"a(?=b)", "ab", 1, 2},
      {"(?<=a)b", "ab", 2, 3},
      {"(?<=a)b", "cb", 2, 0},
      {"(?<=ab)c", "abc", 3, 4},
      {"(?<!a)b", "ab", 2, 0},
      {"(?<!a)b", "b", 1, 2},
      // Backward matching walks the nodes in order towards the start.
      {"ab", "ba", 3, 1, kNoCase, true},
      {"ab", "ab", 3, 0, kNoCase, true},
      {"a+", "baa", 4, 2, kNoCase, true},
      {"(a)\\1", "aa", 3, 1, kNoCase, true},
      {"\\z", "x\r\n", 4, 2, kNoCase, true},
      {"b(?=a)", "ab", 3, 2, kNoCase, true},  // backward, a look-ahead body runs backward
      {"a(?<=a)", "a", 2, 1, kNoCase, true},  // ... and a look-behind body forward
      {"^", "a\r", 3, 3},
      {"^", "a\r", 3, 0, kNoCase, true},  // backward, a line start at the end needs a character
      {"^a", "xa", 3, 0, kNoCase, true},
      {"(a|b)+", "xab", 4, 2, kNoCase, true},
      // Choices decided here: bounded repetition keeps an earlier success; {0} is none.
      {"a?ab", "ab", 1, 3},
      {"a{1,2}ab", "aab", 1, 4},
      {"a{0,1}b", "b", 1, 2},
      {"ab{0}c", "ac", 1, 3},
      {"ab{0}c", "abc", 1, 0},
      {"(a){0,0}b", "ab", 1, 0},
      {"a{2}", "aaa", 1, 3},
      {"a{2,}", "aaaa", 1, 5},
      {"a{2,3}?", "aaaa", 1, 3},
      // Consequences of the algorithm that differ from other engines.
      {"(a|)b", "b", 1, 0},              // empty alternatives vanish
      {"a()b", "ab", 1, 0},              // a group without alternatives never matches
      {"((a)x|ay)\\2", "aya", 1, 4},    // the capture of an abandoned alternative stays
      {"(a|ab)(c|bcd)", "abcd", 1, 5},   // the first alternative reaching the end wins
      {"(ab|a)(c|bcd)", "abcd", 1, 4},
      {"(a|ab|abc)d", "abcd", 1, 0},     // an alternative not taken keeps its position
      {"(a|ab)*c", "abc", 1, 4},
      {"(ab|a)*b", "ab", 1, 3},
      {"(a|ab)*c", "abac", 1, 0},        // each iteration settles by what follows the group
      {"(a?)*b", "aab", 1, 4},
      {"(\\b)*a", "a", 1, 2},            // a repetition of zero width ends the loop
      {"(a)+?b", "aab", 1, 4},
      // A lazy node stops at a result of 1 forward, only at 2 backward.
      {"(a+?b?)c", "aac", 1, 0},
      {"(a+?b?)c", "caa", 4, 1, kNoCase, true},
  });
}

TEST(TqvRegExprMatch, CapturesAndPositions) {
  TqvRegExpr re;
  re.SetExpression(u"(a)b");
  int end = 1;
  ASSERT_TRUE(re.Match("ab", end, false));
  EXPECT_EQ(end, 3);
  EXPECT_EQ(re.Root()->SubExprs[1]->CapStart, 1);
  EXPECT_EQ(re.Root()->SubExprs[1]->CapEnd, 2);

  re.SetExpression(u"(a)(b(c))?");
  int pos = 1;
  ASSERT_TRUE(re.Match("abc", pos, false));
  EXPECT_EQ(pos, 4);
  const TreRootNode* root = re.Root();
  ASSERT_EQ(root->SubExprs.size(), 4u);
  EXPECT_EQ(root->SubExprs[1]->CapStart, 1);
  EXPECT_EQ(root->SubExprs[1]->CapEnd, 2);
  EXPECT_EQ(root->SubExprs[3]->CapStart, 3);
  EXPECT_EQ(root->SubExprs[3]->CapEnd, 4);
  // A position of 0 or below is taken as 1; a failed match leaves it there.
  pos = -3;
  EXPECT_TRUE(re.Match("abc", pos, false));
  EXPECT_EQ(pos, 4);
  pos = 0;
  EXPECT_FALSE(re.Match("xbc", pos, false));
  EXPECT_EQ(pos, 1);
  EXPECT_FALSE(re.LastMatch());
  EXPECT_EQ(re.MatchLength("abc", 0, false), 3);
  EXPECT_EQ(re.MatchLength("abc", 2, false), 0);
  EXPECT_EQ(re.MatchLengthWide(u"xabc", 2, false), 3);
  // An empty match gives length 0 but counts as a match.
  re.SetExpression(u"x*");
  pos = 1;
  EXPECT_TRUE(re.Match("abc", pos, false));
  EXPECT_EQ(pos, 1);
  EXPECT_EQ(re.MatchLength("abc", 1, false), 0);
  // Backward: the length runs from pos back to the first matched character.
  re.SetExpression(u"c(b)");
  EXPECT_EQ(re.MatchLength("abc", 4, true), 2);
  // A compile failure leaves pos and LastMatch untouched.
  re.SetExpression(u"a{");
  pos = -5;
  EXPECT_FALSE(re.Match("a", pos, false));
  EXPECT_EQ(pos, -5);
}

// The node operations: 8-bit back-references compare without case by the locale, 16-bit
// ones only ignore the case of ASCII letters.
TEST(TqvRegExprMatch, NodeOperationsOn8BitAnd16BitText) {
  TqvRegExpr re;
  re.SetExpression(u"(\u00E9)\\1");
  ASSERT_TRUE(re.Compile());
  auto* root = const_cast<TreRootNode*>(re.Root());
  int p = 1;
  EXPECT_EQ(root->MatchForward("\xE9\xC9", p, -1), 2);
  EXPECT_EQ(p, 3);
  p = 1;
  EXPECT_EQ(root->MatchForwardWide(u"\u00E9\u00C9", p), 0);
  EXPECT_EQ(p, 1);
  re.SetExpression(u"(a)\\1");
  ASSERT_TRUE(re.Compile());
  p = 1;
  EXPECT_EQ(root->MatchForwardWide(u"aA", p), 2);
  EXPECT_EQ(p, 3);

  re.SetExpression(u".");
  ASSERT_TRUE(re.Compile());
  TRENodeBase& dot = *static_cast<TreBranchNode&>(*root->Nodes[0]).Nodes[0];
  p = 3;
  EXPECT_EQ(dot.MatchBackward("ax", p, -1), 1);
  EXPECT_EQ(p, 2);
  p = 1;
  EXPECT_EQ(dot.MatchForward(WideToMultiByte(u"\u65E5", 932), p, 932), 1);
  EXPECT_EQ(p, 3);
  p = 2;
  EXPECT_EQ(dot.MatchBackwardWide(u"\u65E5", p), 1);
  EXPECT_EQ(p, 1);
  p = 2;
  EXPECT_EQ(dot.MatchForwardWide(u"\u65E5", p), 0);
}

std::string ShiftJis(std::u16string_view text) { return WideToMultiByte(text, 932); }

TEST(TqvRegExprMatch, MultiByteCodePageTakesDoubleByteCharacters) {
  struct {
    const char* Expr;
    std::u16string Subject;
    int Pos;
    bool Backward;
    int Length;
  } cases[] = {
      {"a.b", u"a\u65E5b", 1, false, 4},
      {"a[^x]b", u"a\u65E5b", 1, false, 4},
      {"a\\wb", u"a\u65E5b", 1, false, 4},          // a kanji is a letter by the 16-bit classes
      {"[\\x{65E5}\\x{672C}]+", u"\u65E5\u672C\u65E5x", 1, false, 6},
      {"\\x{65E5}", u"\u65E5", 1, false, 2},
      {".", u"\u65E5\u65E5", 3, false, 2},
      {".", u"\u65E5\u65E5", 2, false, 0},      // a trail byte (FA is a lead byte too) decodes to 0
      {"[^a]", u"\u65E5\u65E5", 2, false, 1},   // ... and is a character of width 1
      {".", u"\u65E5\u65E5", 5, true, 2},
      {"..", u"a\u65E5", 4, true, 3},
      {".", u"\uFF71", 1, false, 1},           // half-width katakana: one byte
      {"\\w+", u"\u30C6\u30AD\u30B9\u30C8 ", 1, false, 8},
      {"\\b.", u" \u65E5", 2, false, 0},          // 93 is no word byte, nor is the blank
      {"(.)\\1", u"\u65E5\u65E5", 1, false, 4},
      {"(.)\\1", u"\u65E5\u672C", 1, false, 0},
      {"\\x{65E5}$", u"\u65E5\r", 1, false, 2},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Expr);
    TqvRegExpr re;
    re.SetCodePage(932);
    re.SetModifierFlags(kNoCase);
    re.SetExpression(Wide(c.Expr));
    EXPECT_EQ(re.MatchLength(ShiftJis(c.Subject), c.Pos, c.Backward), c.Length);
  }
  // The same bytes in a single-byte code page are two characters.
  TqvRegExpr western;
  western.SetExpression(u"a..b");
  EXPECT_EQ(western.MatchLength(ShiftJis(u"a\u65E5b"), 1, false), 4);
  western.SetExpression(u"a.b");
  EXPECT_EQ(western.MatchLength(ShiftJis(u"a\u65E5b"), 1, false), 0);
}

TEST(TqvRegExprMatch, ClassTestHookDecidesFirst) {
  struct THookReset {
    ~THookReset() {
      ClassLetterHook = nullptr;
      ClassTestHook = nullptr;
    }
  } reset;
  TqvRegExpr digits, vowels;
  digits.SetExpression(u"\\d+");
  vowels.SetModifierFlags(kNoCase);  // under i the set would test "A" and "E"
  vowels.SetExpression(u"[\\y]+");
  ASSERT_TRUE(digits.Compile());  // compiled while no hook is set
  EXPECT_EQ(digits.MatchLength("x1", 1, false), 0);
  ClassLetterHook = [](char16_t letter) { return letter == u'y'; };
  ClassTestHook = [](char16_t letter, char16_t c, bool& accepted) {
    if (letter == u'y') accepted = c == u'a' || c == u'e';
    else if (letter == u'd' && c == u'x') accepted = true;
    else return false;
    return true;
  };
  EXPECT_EQ(digits.MatchLength("x1", 1, false), 2);
  EXPECT_EQ(digits.MatchLengthWide(u"x1", 1, false), 2);
  EXPECT_EQ(vowels.MatchLength("aeb", 1, false), 2);
  EXPECT_EQ(vowels.MatchLength("B", 1, false), 0);
}

TEST(TqvRegExprMatch, StepLimitStopsWithAMatchingError) {
  TqvRegExpr re;
  re.SetExpression(u"(a|aa)*c");
  const std::string run(20000, 'a');
  EXPECT_EQ(re.StepLimit(), 0u);
  EXPECT_EQ(re.MatchLength(run, 1, false), 0);
  EXPECT_EQ(re.MatchLength(run + "c", 1, false), 20001);
  re.SetStepLimit(1000);
  EXPECT_THAT([&] { re.MatchLength(run, 1, false); },
              ThrowsMessage<ERegExprMatchError>(StrEq(SMatchStepLimit)));
  EXPECT_THAT([&] { re.MatchLengthWide(Wide(run), 1, false); },
              ThrowsMessage<ERegExprMatchError>(StrEq(SMatchStepLimit)));
  EXPECT_EQ(re.MatchLength("aac", 1, false), 3);  // a short match stays within the budget
  // Polynomial backtracking is stopped the same way.
  re.SetExpression(u"a*a*a*a*a*c");
  re.SetStepLimit(100000);
  EXPECT_THROW(re.MatchLength(std::string(300, 'a'), 1, false), ERegExprMatchError);
}

TEST(TqvRegExprMatch, DeepAndLongInputsDoNotExhaustTheStack) {
  TqvRegExpr re;
  re.SetModifierFlags(kNoCase);
  // A long literal is matched in a loop.
  re.SetExpression(std::u16string(100000, u'a'));
  EXPECT_EQ(re.MatchLength(std::string(100000, 'a'), 1, false), 100000);
  EXPECT_EQ(re.MatchLength(std::string(99999, 'a') + "b", 1, false), 0);
  EXPECT_EQ(re.MatchLength(std::string(100000, 'a'), 100001, true), 100000);
  // Thousands of repeated items in one alternative exceed the recursion the matcher allows.
  std::u16string stars;
  for (int i = 0; i < 20000; ++i) stars += u"a*";
  re.SetExpression(stars);
  EXPECT_THAT([&] { re.MatchLength("aaa", 1, false); },
              ThrowsMessage<ERegExprMatchError>(StrEq(SMatchTooDeep)));
  // Nesting as deep as the compiler allows matches.
  re.SetExpression(std::u16string(240, u'(') + u"a" + std::u16string(240, u')') + u"+");
  EXPECT_EQ(re.MatchLength("aaa", 1, false), 3);
  // Subjects of many megabytes: repetitions iterate.
  const std::string big(4 << 20, 'a');
  const int all = static_cast<int>(big.size());
  struct { const char16_t* Expr; int Length; } cases[] = {
      {u"a*", all}, {u"(a|b)*", all}, {u"(aa)+", all}, {u"(a)+", all}, {u"[a-z]+$", all},
      {u".*?\\z", 0}, {u"a*b", 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "case " << &c - cases);
    re.SetExpression(c.Expr);
    EXPECT_EQ(re.MatchLength(big, 1, false), c.Length);
  }
}

// --- How far a match looks ------------------------------------------------------------------

// Hand-reasoned reaches on the 8-bit and the UTF-16 entries: the highest position each match
// reads, length + 1 when it tests the end of the text, 0 when it reads nothing.
TEST(TqvRegExprMatch, LastReachIsTheHighestPositionExamined) {
  struct {
    const char* Expr;
    std::string Subject;
    int Pos;
    int Reach;
    bool Backward = false;
  } cases[] = {
      {"abc", "abcdef", 1, 3},      // reads a, b, c and stops
      {"abc", "abd", 1, 3},         // fails at d
      {"abc", "ab", 1, 3},          // fails because the text ends after b
      {"a+", "aaab", 1, 4},         // the b ends the run
      {"a+", "aaa", 1, 4},          // the end does
      {"a+?", "aaa", 1, 1},         // lazy, and nothing follows: one a
      {"a{2,3}", "aaaa", 1, 3},     // the maximum ends the run before the fourth a
      {"x", "abx", 2, 2},           // the start filter rejects b
      {"x", "ab", 3, 3},            // ... or finds the end
      {"a\\b", "ab", 1, 2},         // the boundary test looks at b
      {"a$", "ab", 1, 2},
      {"a$", "a", 1, 2},
      {"a\\Z", "ab", 1, 2},
      {"\\Aa", "ba", 2, 0},         // fails whatever the text holds
      {"(?=abc)", "abcd", 1, 3},    // a look-ahead reads forward from pos
      {"(?<=a)", "ab", 2, 1},       // a look-behind reads before pos
      {"(ab)\\1", "abax", 1, 4},    // the reference compares a, then x
      {"(ab)\\1", "abxy", 1, 3},    // ... and stops at the first difference
      {"(?i)(ab)\\1", "abxy", 1, 4},  // without case it compares all it needs
      {"(ab)\\1", "aba", 1, 4},     // the text is too short for it
      {"a{0}", "a", 1, 0},          // nothing to read
      {"a{", "a", 1, 0},            // invalid
      {"ab", "xab", 4, 3, true},    // backward: pos - 1 and below
      // Backward, a look-behind body runs forward, its nodes reversed: "a" at 1, "b" at 2.
      {"(?<=ba)", "abc", 1, 2, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.Expr << " against \"" << c.Subject << "\" at " << c.Pos
                                    << (c.Backward ? " backward" : ""));
    TqvRegExpr re;
    re.SetModifierFlags(kNoCase);
    re.SetExpression(Wide(c.Expr));
    int pos = c.Pos;
    re.Match(c.Subject, pos, c.Backward);
    EXPECT_EQ(re.LastReach(), c.Reach);
    pos = c.Pos;
    re.MatchWide(Wide(c.Subject), pos, c.Backward);
    EXPECT_EQ(re.LastReach(), c.Reach) << "wide";
  }

  // A lead byte of a double-byte code page looks at the byte after it.
  TqvRegExpr dot;
  dot.SetCodePage(932);
  dot.SetExpression(u".");
  EXPECT_EQ(dot.MatchLength(ShiftJis(u"\u65E5x"), 1, false), 2);
  EXPECT_EQ(dot.LastReach(), 2);
  EXPECT_EQ(dot.MatchLength("\x93", 1, false), 0);  // a lone lead byte: the end decides
  EXPECT_EQ(dot.LastReach(), 2);

  // A matching error keeps the reach of what it examined. Each step moves the position by
  // at most one byte, and a read looks at most one byte past it.
  TqvRegExpr alt;
  alt.SetExpression(u"(a|aa)*c");
  const std::string run(20000, 'a');
  EXPECT_EQ(alt.MatchLength(run, 1, false), 0);
  EXPECT_EQ(alt.LastReach(), 20001);
  alt.SetStepLimit(1000);
  EXPECT_THROW(alt.MatchLength(run, 1, false), ERegExprMatchError);
  EXPECT_GT(alt.LastReach(), 1);
  EXPECT_LE(alt.LastReach(), 1 + 1000 + 1);
}

// The outcome of one match: whether it matched and where it ended, or whether it raised a
// matching error; with the captures of every group.
struct TReachOutcome {
  int Kind = 0;  // 0 no match, 1 match, 2 ERegExprMatchError
  int End = 0;
  std::vector<int> Captures;
  bool operator==(const TReachOutcome&) const = default;
};

template <class Str>
TReachOutcome OutcomeOf(TqvRegExpr& re, const Str& text, int pos, bool backward) {
  TReachOutcome o;
  try {
    bool matched;
    if constexpr (std::is_same_v<Str, std::string>) matched = re.Match(text, pos, backward);
    else matched = re.MatchWide(text, pos, backward);
    o.Kind = matched ? 1 : 0;
    o.End = matched ? pos : 0;
  } catch (const ERegExprMatchError&) {
    o.Kind = 2;
  }
  if (const TreRootNode* root = re.Root()) {
    for (const TreSubExpr* group : root->SubExprs) {
      o.Captures.push_back(group->CapStart);
      o.Captures.push_back(group->CapEnd);
    }
  }
  return o;
}

std::string Shown(std::string_view text) {
  std::string out;
  for (char c : text) {
    const auto b = static_cast<uint8_t>(c);
    if (b >= 0x20 && b < 0x7F) out += c;
    else out += Format("\\x%.2X", b);
  }
  return out;
}
std::string Shown(std::u16string_view text) {
  std::string out;
  for (char16_t c : text) {
    if (c >= 0x20 && c < 0x7F) out += static_cast<char>(c);
    else out += Format("\\u%.4X", static_cast<unsigned>(c));
  }
  return out;
}
std::string Shown(const TReachOutcome& o) {
  std::string out = o.Kind == 2 ? "error" : o.Kind == 1 ? Format("end %d", o.End) : "none";
  for (int cap : o.Captures) out += Format(" %d", cap);
  return out;
}

// Texts that differ from text only after position reach: each piece put in place of the
// element at reach + 1 and inserted before it (or appended when reach is the length); the
// first piece also in place of the element after that; the tail after reach cut, and the
// element at reach + 1 deleted. None when reach is beyond the text (its end was tested, so
// even appending may change the outcome).
template <class Str>
std::vector<Str> EditsAfter(const Str& text, int reach, const std::vector<Str>& pieces) {
  std::vector<Str> edits;
  const auto len = static_cast<int>(text.size());
  if (reach > len) return edits;
  const auto r = static_cast<size_t>(reach);
  if (reach == len) {
    for (const Str& piece : pieces) edits.push_back(text + piece);
    return edits;
  }
  for (const Str& piece : pieces) {
    edits.push_back(text.substr(0, r) + piece + text.substr(r + 1));
    edits.push_back(text.substr(0, r) + piece + text.substr(r));
  }
  if (reach + 1 < len) edits.push_back(text.substr(0, r + 1) + pieces[0] + text.substr(r + 2));
  edits.push_back(text.substr(0, r));
  edits.push_back(text.substr(0, r) + text.substr(r + 1));
  return edits;
}

// Matches at every position, forward and backward, and repeats each match on every edit
// after its reach: the outcome must stay. The reach also covers the match itself. Reports
// the first difference and returns false then.
template <class Str>
bool ReachHoldsOn(TqvRegExpr& re, const Str& text, const std::vector<Str>& pieces,
                  const std::string& where) {
  const auto len = static_cast<int>(text.size());
  for (int pos = 1; pos <= len + 2; ++pos) {
    for (bool backward : {false, true}) {
      const TReachOutcome o = OutcomeOf(re, text, pos, backward);
      const int reach = re.LastReach();
      const std::string at = Format(" at %d%s, reach %d", pos, backward ? " backward" : "", reach);
      const int covered = o.Kind != 1 || o.End == pos ? 0 : backward ? pos - 1 : o.End - 1;
      if (reach < covered || reach > len + 1) {
        ADD_FAILURE() << where << Shown(text) << at << ": " << Shown(o);
        return false;
      }
      for (const Str& edit : EditsAfter(text, reach, pieces)) {
        const TReachOutcome again = OutcomeOf(re, edit, pos, backward);
        if (!(again == o)) {
          ADD_FAILURE() << where << Shown(text) << at << ": " << Shown(o) << "; edited \""
                        << Shown(edit) << "\": " << Shown(again);
          return false;
        }
      }
    }
  }
  return true;
}

// Lexer-like expressions over every construct the matcher reads the text for; flags as lexer
// rules set them (i g m x, r and s off).
const char16_t* const kReachExpressions[] = {
    u"abc",
    u"[a-z_]\\w*",
    u"\\d+(\\.\\d+)?([eE][-+]?\\d+)?",
    u".",
    u"(?s)/\\*.*?\\*/",
    u"(?s)/\\*.*\\*/",
    u"//.*$",
    u"\"(\\\\.|[^\"\\\\])*\"",
    u"cat|category",
    u"(?-i)(\\w+) \\1\\b",
    u"(\\w+) \\1",
    u"(\\w)\\1",
    u"([\"']).*?\\1",
    u"\\w+(?=\\s*\\()",
    u"\\w+(?!\\()",
    u"(?<=\\w)\\.\\w+",
    u"(?<!\\w)\\d+",
    u"(?<=(?=a)\\w)b",
    u"\\w(?<=(?<=a)b)",
    u"^\\s*\\#\\s*define",
    u"^$",
    u"\\w+$",
    u"\\b\\w+\\b",
    u"\\B\\w+",
    u"\\w*\\Z",
    u"\\A\\w",
    u"\\z",
    u"a{2,5}b?",
    u"(ab){2,3}",
    u"\\w{2,5}?\\s",
    u"(?-i)[A-Z]{2,}",
    u"(a|aa)*c",
    u"x*",
    u"[^\\s]+?\\s*",
    u"[\\x{3040}-\\x{30FF}\\x{4E00}-\\x{9FFF}]+",
    u"[^\\x{65E5}a]+",
};

// How a match reads the text: the expression's code page, the entry, and whether a class hook
// (one that decides nothing) turns off the byte maps and, for classes, the start filter.
// Budget: the expressions also run with a small step budget, which stops scans early and
// ends matches with an error (a costly run, so not on every route).
struct TReachRoute {
  const char* Name;
  uint32_t CodePage;
  bool Wide;
  bool Hook;
  bool Budget;
};

TEST(TqvRegExprMatch, EditsAfterLastReachKeepTheOutcome) {
  struct THookReset {
    ~THookReset() { ClassTestHook = nullptr; }
  } reset;
  const std::string header = test::ReadFile("/usr/include/stdio.h");
  const size_t decl = header.find("extern int remove");
  const size_t comment = header.find("/* Standard input");
  ASSERT_NE(decl, std::string::npos);
  ASSERT_NE(comment, std::string::npos);
  const std::vector<std::u16string> subjects = {
      u"",
      u"abcdef",
      u"aaab aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaab aac",
      u"int main() { return x1 + 0x1F; } // end",
      u"/* a */ b /* open",
      u"\"s\\\"q\" 'c' \"open",
      u"#define X 1\r\n  # define Y\n\nfoo (bar) CAT category\r",
      u"abab ab ab x.y 12.5e+3 AB ba abc ABx abc AbC",
      u"\u65E5\u672C\u8A9E\u306E x\u65E5 'a\u306E' caf\u00E9 \uFF71\n",
      Utf8ToWide(header.substr(decl, 60)),
      Utf8ToWide(header.substr(comment, 40)),
  };
  // Pieces an edit puts in: word and other characters, line breaks, non-ASCII ones (one byte
  // in 1252, two in 932, or none), two at once (a start beyond the end comes inside the
  // text); the 8-bit routes also get a lone 932 lead byte.
  const std::vector<std::u16string> pieces16 = {u"a", u"B", u"1", u" ", u"\n", u"*", u"(",
                                                u"\"", u"\u00E9", u"\u65E5", u"_x"};
  const TReachRoute routes[] = {
      {"8-bit 1252", 0, false, false, true},
      {"8-bit 1252, class hook", 0, false, true, false},
      {"UTF-16 in 1252", 0, true, false, false},
      {"8-bit 932", 932, false, false, false},
      {"UTF-16 in 932", 932, true, false, true},
  };
  for (const TReachRoute& route : routes) {
    const int cp = route.CodePage ? static_cast<int>(route.CodePage) : 1252;
    std::vector<std::string> pieces8;
    for (const auto& piece : pieces16) pieces8.push_back(WideToMultiByte(piece, cp));
    pieces8.push_back("\x93");
    if (route.Hook) ClassTestHook = [](char16_t, char16_t, bool&) { return false; };
    for (const char16_t* expr : kReachExpressions) {
      TqvRegExpr re;
      re.SetCodePage(route.CodePage);
      re.SetModifierFlags(57);
      re.SetExpression(expr);
      ASSERT_TRUE(re.Compile()) << Shown(std::u16string_view(expr));
      for (uint64_t limit : {uint64_t{0}, uint64_t{20}}) {
        if (limit && !route.Budget) continue;
        re.SetStepLimit(limit);
        const std::string where =
            Format("%s, %s, limit %u: \"", route.Name, Shown(std::u16string_view(expr)), limit);
        for (const std::u16string& subject : subjects) {
          const bool held = route.Wide
                                ? ReachHoldsOn(re, subject, pieces16, where)
                                : ReachHoldsOn(re, WideToMultiByte(subject, cp), pieces8, where);
          if (!held) break;
        }
      }
    }
    ClassTestHook = nullptr;
  }
}

// --- UTF-16 entry against the 8-bit one ------------------------------------------------------

// Expressions a lexer uses; flags as lexer rules set them (i g m x, r and s off).
const char16_t* const kLexerExpressions[] = {
    u"[a-z_]\\w*",
    u"\\d+(\\.\\d+)?([eE][-+]?\\d+)?",
    u"0x[0-9a-f]+",
    u"\"(\\\\.|[^\"\\\\])*\"",
    u"'.*?'",
    u"(?s)/\\*.*?\\*/",
    u"//.*$",
    u"\\#.*",
    u"\\b(if|else|while|for|return|def|class|import|int|char|void)\\b",
    u"\\s+",
    u"[^\\w\\s]+",
    u"(?<=\\w)\\.\\w+",
    u"([\"']).*?\\1",
    u"^\\s*\\#\\s*define",
    u"\\w+(?=\\s*\\()",
    u"\\z",
    u".",
    u"$",
    u"(?r)\\w+",
    u"(?-i)[A-Z]{2,}",
    u"[\\x{e9}\\x{20AC}?]",
    u"[\\x{3040}-\\x{30FF}\\x{4E00}-\\x{9FFF}]+",
    u"(\\w)\\1",
    u"\\W\\b",
};

// Non-ASCII text mixed into a real file every few lines; asciiOnly first drops the file's
// own non-ASCII characters (a code page may lack them).
std::u16string MixedText(const std::string& file, std::u16string_view extra, bool asciiOnly) {
  const std::u16string text = Utf8ToWide(file);
  std::u16string out;
  int line = 0;
  for (char16_t c : text) {
    if (asciiOnly && c >= 0x80) continue;
    out += c;
    if (c == u'\n' && ++line % 3 == 0) out += extra;
  }
  return out;
}

// Matches every expression at every position of wide and of its conversion; offsets[i] is
// the byte offset of unit i (0-based), so lengths in units must cover the same bytes.
void CompareWideWith8Bit(uint32_t codePage, const std::u16string& wide, const std::string& eight,
                         const std::vector<int>& offsets) {
  int filtered = 0;
  for (const char16_t* expr : kLexerExpressions) {
    TqvRegExpr re;
    re.SetCodePage(codePage);
    re.SetModifierFlags(57);
    re.SetExpression(expr);
    ASSERT_TRUE(re.Compile());
    const auto units = static_cast<int>(wide.size());
    std::vector<int> results(units + 1);
    for (int i = 1; i <= units + 1; ++i) {
      const int p8 = offsets[i - 1] + 1;
      const int len8 = re.MatchLength(eight, p8, false);
      const int lenW = re.MatchLengthWide(wide, i, false);
      int end8 = p8, endW = i;
      const bool m8 = re.Match(eight, end8, false), mW = re.MatchWide(wide, endW, false);
      results[i - 1] = mW ? endW : 0;
      const int back8 = re.MatchLength(eight, p8, true);
      const int backW = re.MatchLengthWide(wide, i, true);
      if (m8 != mW || offsets[i - 1 + lenW] - offsets[i - 1] != len8 ||
          (mW && offsets[endW - 1] + 1 != end8) ||
          offsets[i - 1] - offsets[i - 1 - backW] != back8) {
        ADD_FAILURE() << "code page " << codePage << ", expression #" << &expr - kLexerExpressions
                      << ", unit " << i << ": 8-bit " << m8 << "/" << len8 << "/" << back8
                      << ", wide " << mW << "/" << lenW << "/" << backW;
        return;
      }
    }
    // Without the start filter the tree gives the same results everywhere.
    if (!re.Root()->StartFilter.Any) ++filtered;
    const_cast<TreRootNode*>(re.Root())->StartFilter.Any = true;
    for (int i = 1; i <= units + 1; ++i) {
      int endW = i;
      const int unfiltered = re.MatchWide(wide, endW, false) ? endW : 0;
      int end8 = offsets[i - 1] + 1;
      const bool m8 = re.Match(eight, end8, false);
      if (unfiltered != results[i - 1] || m8 != (unfiltered != 0)) {
        ADD_FAILURE() << "start filter differs: expression #" << &expr - kLexerExpressions
                      << ", unit " << i;
        return;
      }
    }
  }
  EXPECT_GE(filtered, 20);  // most lexer expressions start predictably
}

std::vector<int> ByteOffsets(const std::u16string& wide, uint32_t codePage) {
  std::vector<int> offsets{0};
  for (char16_t c : wide)
    offsets.push_back(offsets.back() + static_cast<int>(WideToMultiByte({&c, 1}, codePage).size()));
  return offsets;
}

TEST(TqvRegExprMatch, WideEntryEqualsThe8BitOneOnRealFiles) {
  const std::string header = test::ReadFile("/usr/include/stdio.h");
  const std::string module = test::ReadFile(test::PythonLibFile("shlex.py"));
  ASSERT_FALSE(header.empty());
  ASSERT_FALSE(module.empty());

  // 1252: every text, characters the code page lacks (日, ☺, U+2028) behaving as "?".
  const std::u16string western =
      MixedText(header, u"  caf\u00E9 \u20AC5 \u00C9t\u00E9 \u65E5\u263A\u2028 'x' \"q\u00E9\"\n",
                false);
  CompareWideWith8Bit(1252, western, WideToMultiByte(western, 1252), ByteOffsets(western, 1252));

  // 932: text the code page represents, with kanji, kana and half-width katakana.
  const std::u16string japanese = MixedText(
      module,
      u"  \u65E5\u672C\u8A9E\u306E\u30C6\u30AD\u30B9\u30C8 \uFF71\uFF72"
      u" x\u65E5 \"\u8A9E\" 'a\u306E'\n",
      true);
  const std::string sjis = WideToMultiByte(japanese, 932);
  ASSERT_EQ(MultiByteToWide(sjis, 932), japanese);
  CompareWideWith8Bit(932, japanese, sjis, ByteOffsets(japanese, 932));
}

}  // namespace
}  // namespace qv

namespace qv {
namespace {

// The token shapes matched by a plain loop (one leaf, a leaf repeated, a leaf then another
// repeated) give what the general matcher gives, which a step budget brings back: outcome,
// end, reach and the whole-match capture, at every position of a real file; and the start
// table never rules out a position where a match starts.
TEST(TqvRegExprMatch, LoopedTokenShapesAgreeWithTheMatcher) {
  // C and XML, so that the markup expressions meet their own text; a few units beyond
  // Latin-1 at the end.
  const std::u16string text =
      Utf8ToWide(test::ReadFile("/usr/include/stdio.h").substr(0, 12000) +
                 test::ReadFile("/usr/share/mime/packages/freedesktop.org.xml").substr(0, 12000)) +
      u"\u00e9\u4e2d\u00ff\u0436\u0416";
  ASSERT_GT(text.size(), 20000u);
  for (const char16_t* expression :
       {u"[a-z_]\\w*", u"\\d+", u"[{}]", u"x", u"[^<&\\s][^<&\\r\\n]*", u".", u"(?i)[A-F]+", u"\\s+",
        u"[^\\s]", u"\\w+", u"(?s).", u"[\\x80-\\xff]+", u"\\S\\S*", u"ab", u"a*", u"[a-z]+?",
        // Optional leaves, alternatives and a closing look-ahead.
        u"/?>", u"\"[^\"<]*\"|'[^'<]*'", u"</?(?=[^\\s<>/!?=])", u"a?b", u"\\d*\\.\\d+", u"[+-]?\\d+",
        u"0[xX][\\da-fA-F]+|\\d+", u"<!--|-->|<", u"\\w+(?=\\()", u"#?\\s*include", u"(?i)end|begin|e",
        u"[a-z]+(?=\\s)", u"\\s*=\\s*", u"e?", u"[^e]*e?",
        // Leaves that share units with what follows: left to the matcher.
        u"x*x", u"\\w*(?=[a-z])", u"a?a", u"\\s*\\s", u"[a-z]+[a-z_]"}) {
    SCOPED_TRACE(WideToUtf8(expression));
    TqvRegExpr looped;
    looped.SetExpression(expression);
    // The same looped expression under other system code pages (a single-byte one with other
    // letters, a double-byte one) and back: what it keeps from one run must not leak into the
    // next.
    for (int codePage : {0, 1251, 932, 0}) {
      SCOPED_TRACE(codePage);
      std::optional<test::TSystemCodePageScope> scope;
      if (codePage) scope.emplace(codePage);
      TqvRegExpr general;
      general.SetExpression(expression);
      general.SetStepLimit(uint64_t{1} << 40);  // a budget never reached; it keeps the loop out
      const TCodePageInfo& system = CodePageInfo(CP_ACP);
      for (int pos = 1; pos <= static_cast<int>(text.size()) + 1; ++pos) {
        int a = pos, b = pos;
        const bool ma = looped.MatchWide(text, a, false);
        const bool mb = general.MatchWide(text, b, false);
        ASSERT_EQ(ma, mb) << pos;
        ASSERT_EQ(looped.LastReach(), general.LastReach()) << pos;
        if (ma) {
          ASSERT_EQ(a, b) << pos;
          ASSERT_EQ(looped.Root()->CapStart, general.Root()->CapStart) << pos;
          ASSERT_EQ(looped.Root()->CapEnd, general.Root()->CapEnd) << pos;
        }
        if (pos <= static_cast<int>(text.size()) && looped.CannotStartWith(text[pos - 1], system)) {
          ASSERT_FALSE(mb) << pos;
        }
      }
    }
  }
}

}  // namespace
}  // namespace qv
