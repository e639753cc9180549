// Differential test of the expression engine against PCRE2's interpreter. Random
// expressions from the part of the language where both engines must agree are matched
// anchored at every position of random and real subjects; a second table holds the cases
// where the two differ by design, with both engines' results, so a change on either side
// shows. PCRE2 is a test-only dependency.
#include "syntax/qvZRegExpr.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <iterator>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#define PCRE2_CODE_UNIT_WIDTH 8
#include <pcre2.h>

#include "tests/support/RealFiles.h"

namespace qv {
namespace {

constexpr int kLimit = -1;  // an end meaning "the step budget or match limit stopped it"

// Flags our side runs with unless a case says otherwise: r, g and m on; i, s and x off.
constexpr uint16_t kFlags = MaskModR | MaskModG | MaskModM;

// PCRE2 options of every pattern: "$" without m only at the very end, and "^" with m also
// at the end after a final line break, as ours. Line breaks are CR, LF and CR LF, for "^",
// "$" and "." as for \R. Two optimisations of PCRE2 10.42 are off because they change
// results: auto-possessification makes "\R?" possessive before "\s" ("\R?\s" fails on a
// lone CR), and the start-of-match study of "(?=(?:1b| \r){0})A" rejects "A".
constexpr uint32_t kPcreBase =
    PCRE2_DOLLAR_ENDONLY | PCRE2_ALT_CIRCUMFLEX | PCRE2_NO_AUTO_POSSESS | PCRE2_NO_START_OPTIMIZE;

std::u16string Wide(const std::string& s) {
  std::u16string w;
  for (char c : s) w += static_cast<char16_t>(static_cast<uint8_t>(c));
  return w;
}

// Control characters and the backslash escaped, so a failure message shows the text.
std::string Shown(const std::string& s) {
  std::string out;
  for (char c : s) {
    const auto b = static_cast<uint8_t>(c);
    if (c == '\r')
      out += "\\r";
    else if (c == '\n')
      out += "\\n";
    else if (c == '\t')
      out += "\\t";
    else if (c == '"' || c == '\\')
      out += std::string("\\") + c;
    else if (b < 0x20 || b >= 0x7F)
      out += "\\x" + std::string(1, "0123456789ABCDEF"[b >> 4]) + "0123456789ABCDEF"[b & 15];
    else
      out += c;
  }
  return "\"" + out + "\"";
}

// One PCRE2 pattern compiled for the interpreter (no JIT).
class TPcre {
 public:
  TPcre(const std::string& pattern, uint32_t options) {
    std::unique_ptr<pcre2_compile_context, decltype(&pcre2_compile_context_free)> context(
        pcre2_compile_context_create(nullptr), &pcre2_compile_context_free);
    pcre2_set_newline(context.get(), PCRE2_NEWLINE_ANYCRLF);
    pcre2_set_bsr(context.get(), PCRE2_BSR_ANYCRLF);
    int error = 0;
    PCRE2_SIZE offset = 0;
    FCode.reset(pcre2_compile(reinterpret_cast<PCRE2_SPTR>(pattern.data()), pattern.size(), options,
                              &error, &offset, context.get()));
    if (!FCode) {
      PCRE2_UCHAR message[256];
      pcre2_get_error_message(error, message, sizeof message);
      FError = reinterpret_cast<const char*>(message);
      return;
    }
    FData.reset(pcre2_match_data_create_from_pattern(FCode.get(), nullptr));
    FContext.reset(pcre2_match_context_create(nullptr));
    pcre2_set_match_limit(FContext.get(), 2000000);
  }
  bool Compiled() const { return FCode != nullptr; }
  const std::string& Error() const { return FError; }

  // Anchored match at the 1-based pos: the position after the match, 0 for none, kLimit
  // when the match limit stopped it.
  int End(const std::string& subject, int pos) {
    const int rc =
        pcre2_match(FCode.get(), reinterpret_cast<PCRE2_SPTR>(subject.data()), subject.size(),
                    static_cast<PCRE2_SIZE>(pos - 1), PCRE2_ANCHORED, FData.get(), FContext.get());
    if (rc == PCRE2_ERROR_NOMATCH) return 0;
    if (rc == PCRE2_ERROR_MATCHLIMIT || rc == PCRE2_ERROR_DEPTHLIMIT || rc == PCRE2_ERROR_HEAPLIMIT)
      return kLimit;
    if (rc < 0) {
      ADD_FAILURE() << "pcre2_match failed with " << rc;
      return 0;
    }
    const PCRE2_SIZE* ovector = pcre2_get_ovector_pointer(FData.get());
    EXPECT_EQ(ovector[0], static_cast<PCRE2_SIZE>(pos - 1));  // anchored
    return static_cast<int>(ovector[1]) + 1;
  }

 private:
  std::unique_ptr<pcre2_code, decltype(&pcre2_code_free)> FCode{nullptr, &pcre2_code_free};
  std::unique_ptr<pcre2_match_data, decltype(&pcre2_match_data_free)> FData{nullptr,
                                                                            &pcre2_match_data_free};
  std::unique_ptr<pcre2_match_context, decltype(&pcre2_match_context_free)> FContext{
      nullptr, &pcre2_match_context_free};
  std::string FError;
};

// Ours at pos: where Match leaves pos (forward the position after the match, backward its
// first character), 0 for no match, kLimit when the step budget stopped it. Also checks
// that MatchLength and the UTF-16 entry tell the same.
int OurEnd(TqvRegExpr& re, const std::string& subject, int pos, bool backward = false) {
  int end = pos;
  bool matched;
  try {
    matched = re.Match(subject, end, backward);
  } catch (const ERegExprMatchError&) {  // too costly to settle: the case is skipped
    return kLimit;
  }
  EXPECT_EQ(re.MatchLength(subject, pos, backward), !matched   ? 0
                                                    : backward ? pos - end
                                                               : end - pos);
  int wideEnd = pos;
  const bool wideMatched = re.MatchWide(Wide(subject), wideEnd, backward);
  EXPECT_EQ(wideMatched ? wideEnd : 0, matched ? end : 0) << "UTF-16 entry";
  return matched ? end : 0;
}

// PCRE2 options for our modifier flags. With g off every quantifier of ours is lazy; the
// patterns the generator writes for that case already say so.
uint32_t PcreOptions(uint16_t flags) {
  uint32_t options = kPcreBase;
  if (flags & MaskModI) options |= PCRE2_CASELESS;
  if (flags & MaskModS) options |= PCRE2_DOTALL;
  if (flags & MaskModM) options |= PCRE2_MULTILINE;
  return options;
}

// --- Where the engines differ by design ------------------------------------------------------

struct TDifference {
  const char* Expr;     // ours
  const char* Pattern;  // PCRE2's; its own options are those of our flags
  std::string Subject;
  int Pos;
  int OurEnd;   // 0: no match; -1: ours does not compile it
  int PcreEnd;  // 0: no match; -1: PCRE2 does not compile it
  uint16_t Flags = kFlags;
  uint32_t PcreDrop = 0;  // options PCRE2 runs without, of those the flags give
};

TEST(TqvRegExprPcre, DocumentedDifferencesStayAsTheyAre) {
  const uint16_t i = kFlags | MaskModI, s = kFlags | MaskModS;
  const TDifference cases[] = {
      // Empty alternatives vanish: "(a|)b" is "(a)b".
      {"(a|)b", "(a|)b", "b", 1, 0, 2},
      // A capture an abandoned alternative left stays visible to a later back-reference.
      {"((a)x|ay)\\2", "((a)x|ay)\\2", "aya", 1, 4, 0},
      // A back-reference to an empty group never matches; PCRE2 matches it empty.
      {"(a*)\\1b", "(a*)\\1b", "b", 1, 0, 2},
      // An alternative whose group end did not lead to a match is not retried from the start
      // of the group: the later alternatives start where the one before stopped.
      {"(a|ab|abc)d", "(a|ab|abc)d", "abcd", 1, 0, 5},
      // A repeated group settles each iteration by what follows it.
      {"(a|ab)*c", "(a|ab)*c", "abac", 1, 0, 5},
      {"(a|ab){2}", "(a|ab){2}", "abab", 1, 0, 4},
      // A lazy node inside a group stops at the first count after which the group ends.
      {"(a+?b?)c", "(a+?b?)c", "aac", 1, 0, 4},
      // A greedy count after which only the group end matches replaces an earlier success.
      {"(a*b?)a", "(a*b?)a", "aa", 1, 0, 3},
      // A group repeated at least twice tries what follows it after its first iteration too;
      // a success there sets the match end even when the second iteration then fails, so
      // the match covers "bbab", which no way of matching covers.
      {".*(b){2}.?", ".*(b){2}.?", "bbab", 1, 5, 4},
      // While a group is matched again, its own capture is unset.
      {"(a|b\\1)+", "(a|b\\1)+", "aba", 1, 2, 4},
      // Line bounds: never between the CR and the LF of a pair; "^" after a final line break
      // needs PCRE2_ALT_CIRCUMFLEX on PCRE2's side (which the generated cases set).
      {"\\r^", "\\r^", "\r\n", 1, 0, 2},
      {"\\r$", "\\r$", "\r\n", 1, 0, 2},
      {"\\n^", "\\n^", "a\n", 2, 3, 0, kFlags, PCRE2_ALT_CIRCUMFLEX},
      // Backward, as in a look-behind body, "^" at the text end after a CR does not match.
      {"\\r(?<=^)", "\\r(?<=^)", "a\r", 2, 0, 3},
      // "\Z" is the text end only; "\b" holds at the text start and end whatever is there.
      {"a\\Z", "a\\Z", "a\n", 1, 0, 2},
      {"\\b ", "\\b ", " ", 1, 2, 0},
      {" \\b", " \\b", " ", 1, 2, 0},
      // "." is never a NUL; without s never CR or LF, even where PCRE2 reads only LF as a
      // line break.
      {".", ".", std::string("\0", 1), 1, 0, 2, s},
      {".", "(*LF).", "\r", 1, 0, 2},
      // Sets: "[^]" is an empty negated set, so "[^]a]" is any character, "a" and "]"; a
      // range under i has its bounds upper-cased ("[0-a]" becomes "[0-A]"), where PCRE2 adds
      // the other case of every member.
      {"[^]a]", "[^]a]", "ba]", 1, 4, 2},
      {"[0-a]", "[0-a]", "_", 1, 0, 2, i},
      {"[0-a]", "[0-a]", "b", 1, 0, 2, i},
      // A look-around body ends at the first "|" of its level.
      {"(?=b|a)a", "(?=b|a)a", "a", 1, 0, 2},
      // Syntax: a brace after an item always starts a count; "\0" is "0"; no possessive form.
      {"a{,2}", "a{,2}", "a{,2}", 1, -1, 6},
      {"\\0", "\\0", "0", 1, 2, 0},
      {"a*+", "a*+", "aa+", 1, 4, 3},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.Expr << " / " << c.Pattern << " against "
                                    << Shown(c.Subject) << " at " << c.Pos);
    TqvRegExpr re;
    re.SetModifierFlags(c.Flags);
    re.SetExpression(Wide(c.Expr));
    EXPECT_EQ(re.Compile() ? OurEnd(re, c.Subject, c.Pos) : -1, c.OurEnd);
    TPcre pcre(c.Pattern, PcreOptions(c.Flags) & ~c.PcreDrop);
    EXPECT_EQ(pcre.Compiled() ? pcre.End(c.Subject, c.Pos) : -1, c.PcreEnd) << pcre.Error();
  }
}

// --- The part of the language where both engines agree --------------------------------------
//
// The generator stays clear of every difference in the table above:
// - A group that something follows (a fixed group) holds alternatives of one to three
//   single-character items, the alternatives beginning with different literals: at most one
//   alternative matches at a position, and an iteration matches in one way only, so it
//   may be repeated. Our alternatives that are not taken then never move the position, and
//   the retry of what follows a group end is the only one there is. Its least count is 0
//   or 1: ours tries what follows after each required iteration too.
// - A group with free alternatives (any items, quantified ones and fixed groups among
//   them) stands only where nothing follows it up to the end of the expression or of a
//   look-ahead body, and is never repeated. There every continuation either reaches the end
//   or fails (no "group end only" result), so repetition keeps the greedy count with the last
//   success, or the first for a lazy one, as PCRE2 does.
// - No alternative is empty; "|" in a look-around body only inside a group.
// - Back-references name a group that is closed, not optional (its capture belongs to the
//   current path: a capture from an abandoned path would stay visible in ours) and in the
//   same alternative or an enclosing one. Fixed groups never capture empty.
// - Look-behind bodies are one to three single characters (PCRE2 needs a fixed length, and
//   no "^" is tested backward); look-ahead bodies hold no back-reference (ours would drop the
//   look-around) and no group inside a group.
// PCRE2's pattern says the same in its own syntax: "^" and "$" exclude the position between
// CR and LF, "\b" holds at the text bounds, "\Z" is "\z", our "\z" is "\R", our own class
// letters become sets, groups in look-ahead bodies do not capture (ours does not number
// them), back-references are \g{n} (a digit may follow), and with g off every quantifier
// is lazy.
//
// Mirrored, the pattern is for the reversed text, to check backward matching: matching
// backward from p reads the nodes in order from p towards the start, just as matching
// forward on the reversed text from the mirrored position does. Look-arounds, classes and
// back-references read the same there; the line and text bounds turn round, and ours
// matches "^" backward at the text end after a CR only when a character follows.
class TExprGen {
 public:
  // literals: the characters literal items are taken from; maxUnbounded: how many "*", "+"
  // and "{n,}" the expression may hold (each multiplies the backtracking).
  TExprGen(std::mt19937& rng, uint16_t flags, std::string literals, int maxUnbounded,
           bool mirrored = false)
      : FRng(rng),
        FFlags(flags),
        FLiterals(std::move(literals)),
        FMaxUnbounded(maxUnbounded),
        FMirrored(mirrored) {
    const int alternatives = Chance(25) ? 2 + Pick(2) : 1;
    for (int k = 0; k < alternatives; ++k) {
      if (k > 0) Emit("|");
      TScope scope;
      Sequence(scope);
    }
  }

  std::string Ours, Pcre;

 private:
  struct TScope {
    int Depth = 0;
    bool InBody = false;        // in a look-ahead body: groups are not numbered
    bool GroupsAllowed = true;  // false in a group of a body, where ours cannot nest one
    std::vector<int> Refs;      // groups a back-reference may name here
  };

  int Pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(FRng); }
  bool Chance(int percent) { return Pick(100) < percent; }
  void Emit(const std::string& ours, const std::string& pcre) {
    Ours += ours;
    Pcre += pcre;
  }
  void Emit(const std::string& both) { Emit(both, both); }
  bool Flag(uint16_t bit) const { return (FFlags & bit) != 0; }
  char Fold(char c) const { return Flag(MaskModI) && c >= 'A' && c <= 'Z' ? c + 32 : c; }

  // The items of one alternative, where nothing follows up to the end of the expression
  // or of a look-ahead body: it may end with a group of free alternatives.
  void Sequence(TScope& scope) {
    const int items = 1 + Pick(4);
    for (int k = 0; k < items; ++k) {
      if (k == items - 1 && scope.GroupsAllowed && scope.Depth < 3 && Chance(25)) {
        FreeGroup(scope);
        return;
      }
      Item(scope);
    }
  }

  void Item(TScope& scope) {
    const int kind = Pick(20);
    if (kind < 2) {
      Anchor();
    } else if (kind < 4 && scope.Depth < 3) {
      LookAround(scope);
    } else if (kind < 7 && scope.GroupsAllowed) {
      FixedGroup(scope);
    } else if (kind < 9 && !scope.Refs.empty()) {
      const int group = scope.Refs[Pick(static_cast<int>(scope.Refs.size()))];
      Emit("\\" + std::to_string(group), "\\g{" + std::to_string(group) + "}");
      Quantifier();
    } else {
      Atom(true);
      Quantifier();
    }
  }

  // A literal character, escaped where it means something, sometimes as \xHH.
  void Literal(char c) {
    static const char kHex[] = "0123456789ABCDEF";
    const auto b = static_cast<uint8_t>(c);
    if (Chance(5))
      Emit(std::string("\\x") + kHex[b >> 4] + kHex[b & 15]);
    else if (c == '\r')
      Emit("\\r");
    else if (c == '\n')
      Emit("\\n");
    else if (c == '\t')
      Emit("\\t");
    else if (std::isalnum(b) || c == '_' || c == ' ')
      Emit(std::string(1, c));
    else
      Emit(std::string("\\") + c);
  }
  char RandomLiteral() { return FLiterals[Pick(static_cast<int>(FLiterals.size()))]; }

  // One class escape: ours, PCRE2's equivalent on ASCII text, and that equivalent inside
  // brackets (null when it has none there). With r on our \w \d \l use the locale classes,
  // which agree with the ASCII ones on ASCII text.
  struct TClass {
    const char* Ours;
    const char* Pcre;
    const char* InSet;
  };
  TClass RandomClass() {
    static const TClass kClasses[] = {
        {"\\w", "\\w", "\\w"},
        {"\\W", "\\W", "\\W"},
        {"\\d", "\\d", "\\d"},
        {"\\D", "\\D", "\\D"},
        {"\\s", "\\s", "\\s"},
        {"\\S", "\\S", "\\S"},
        {"\\h", "[0-9A-Fa-f]", "0-9A-Fa-f"},
        {"\\H", "[^0-9A-Fa-f]", nullptr},
        {"\\k", "[0-9]", "0-9"},
        {"\\K", "[^0-9]", nullptr},
        {"\\c", "[A-Za-z0-9_]", "A-Za-z0-9_"},
        {"\\C", "[^A-Za-z0-9_]", nullptr},
        {"\\g", "[A-Za-z_]", "A-Za-z_"},
        {"\\G", "[^A-Za-z_]", nullptr},
    };
    if (Chance(10)) {  // \l: letters by the locale with r on, ASCII letters and "_" without
      const bool complement = Chance(50);
      if (Flag(MaskModR))
        return complement ? TClass{"\\L", "[^A-Za-z]", nullptr}
                          : TClass{"\\l", "[A-Za-z]", "A-Za-z"};
      return complement ? TClass{"\\L", "[^A-Za-z_]", nullptr}
                        : TClass{"\\l", "[A-Za-z_]", "A-Za-z_"};
    }
    return kClasses[Pick(static_cast<int>(std::size(kClasses)))];
  }

  // A set: members are characters, ranges that do not span letters of both cases (ours
  // upper-cases the bounds under i), and classes; "-" only first or last.
  void Set() {
    static const char* const kRanges[] = {"a-c", "b-c", "A-C", "0-1", "0-9", "a-z", "A-Z", "!-/"};
    Emit("[");
    const bool negate = Chance(30);
    if (negate) Emit("^");
    if (Chance(10))
      Emit("-");
    else if (!negate && Chance(5))
      Emit("]");  // a "]" right after "[" is a member
    const int members = 1 + Pick(3);
    for (int k = 0; k < members; ++k) {
      const int kind = Pick(4);
      if (kind == 0) {
        Emit(kRanges[Pick(static_cast<int>(std::size(kRanges)))]);
      } else if (kind == 1) {
        TClass c = RandomClass();
        while (!c.InSet) c = RandomClass();
        Emit(c.Ours, c.InSet);
      } else {
        const char c = RandomLiteral();
        if (c == '\r')
          Emit("\\r");
        else if (c == '\n')
          Emit("\\n");
        else if (c == '\t')
          Emit("\\t");
        else if (std::isalnum(static_cast<uint8_t>(c)) || c == ' ')
          Emit(std::string(1, c));
        else
          Emit(std::string("\\") + c);  // also "." and ":" (PCRE2 reads "[." and "[:")
      }
    }
    if (Chance(10)) Emit("-");
    Emit("]");
  }

  // A single-character item; lineBreak allows our "\z" (one or two characters).
  void Atom(bool lineBreak) {
    const int kind = Pick(12);
    if (kind < 6) {
      Literal(RandomLiteral());
    } else if (kind < 7) {
      Emit(".");
    } else if (kind < 9) {
      const TClass c = RandomClass();
      Emit(c.Ours, c.Pcre);
    } else if (kind < 11 || !lineBreak) {
      Set();
    } else {
      Emit("\\z", FMirrored ? "(?>\\n\\r?|\\r)" : "\\R");
    }
  }

  // Maybe a quantifier; returns the least count it allows (1 without one), at most most.
  int Quantifier(int most = 2) {
    if (!Chance(40)) return 1;
    int kind = Pick(6);
    const bool unbounded = kind == 0 || kind == 1 || kind == 4;
    if (unbounded && FUnbounded >= FMaxUnbounded)
      kind = Chance(50) ? 2 : 5;
    else if (unbounded)
      ++FUnbounded;
    const int n = Pick(most + 1), m = n + Pick(3);
    std::string q;
    int least = 0;
    switch (kind) {
      case 0:
        q = "*";
        break;
      case 1:
        q = "+";
        least = 1;
        break;
      case 2:
        q = "?";
        break;
      case 3:
        q = "{" + std::to_string(n) + "}";
        least = n;
        break;
      case 4:
        q = "{" + std::to_string(n) + ",}";
        least = n;
        break;
      default:
        q = "{" + std::to_string(n) + "," + std::to_string(m) + "}";
        least = n;
        break;
    }
    const bool lazy = Chance(30);
    Emit(q + (lazy ? "?" : ""), q + (lazy || !Flag(MaskModG) ? "?" : ""));
    return least;
  }

  void Anchor() {
    const bool m = Flag(MaskModM);
    switch (Pick(6)) {
      case 0:
        if (FMirrored)
          Emit("^", m ? "(?:\\z|(?=\\n)|(?<=[^\\n])(?=\\r))" : "\\z");
        else
          Emit("^", m ? "(?:^(?!(?<=\\r)\\n))" : "^");
        break;
      case 1:
        if (FMirrored)
          Emit("$", m ? "(?:\\A|(?<=\\r)|(?<=\\n)(?!\\r))" : "\\A");
        else
          Emit("$", m ? "(?:$(?!(?<=\\r)\\n))" : "$");
        break;
      case 2:
        Emit("\\b", "(?:\\A|\\z|\\b)");
        break;
      case 3:
        Emit("\\B", "(?!\\A|\\z)\\B");
        break;
      case 4:
        Emit("\\A", FMirrored ? "\\z" : "\\A");
        break;
      default:
        Emit("\\Z", FMirrored ? "\\A" : "\\z");
        break;
    }
  }

  void LookAround(const TScope& scope) {
    if (Chance(50)) {
      Emit(Chance(50) ? "(?=" : "(?!");
      TScope body;
      body.Depth = scope.Depth + 1;
      body.InBody = true;
      Sequence(body);
    } else {
      Emit(Chance(50) ? "(?<=" : "(?<!");
      for (int k = 1 + Pick(3); k > 0; --k) Atom(false);
    }
    Emit(")");
  }

  // A group something may follow: see the class comment.
  void FixedGroup(TScope& scope) {
    const bool numbered = !scope.InBody;
    const int number = numbered ? ++FGroups : 0;
    Emit("(", numbered ? "(" : "(?:");
    const int alternatives = 1 + Pick(3);
    std::string firsts;  // first characters of the alternatives, case-folded under i
    for (int k = 0; k < alternatives; ++k) {
      int length = 1 + Pick(3);
      if (alternatives > 1) {
        char c = RandomLiteral();
        for (int tries = 0; tries < 20 && firsts.find(Fold(c)) != std::string::npos; ++tries)
          c = RandomLiteral();
        if (firsts.find(Fold(c)) != std::string::npos) break;  // no literal left
        firsts += Fold(c);
        if (k > 0) Emit("|");
        Literal(c);
        --length;
      }
      for (; length > 0; --length) Atom(true);
    }
    Emit(")");
    const int least = Quantifier(1);
    if (numbered && least >= 1 && number <= 9) scope.Refs.push_back(number);
  }

  // A group nothing follows up to the end: free alternatives, never repeated.
  void FreeGroup(const TScope& scope) {
    const bool numbered = !scope.InBody;
    if (numbered) ++FGroups;
    Emit("(", numbered ? "(" : "(?:");
    const int alternatives = 1 + Pick(3);
    for (int k = 0; k < alternatives; ++k) {
      if (k > 0) Emit("|");
      TScope inner = scope;
      inner.Depth = scope.Depth + 1;
      if (scope.InBody) inner.GroupsAllowed = false;
      Sequence(inner);
    }
    Emit(")");
  }

  std::mt19937& FRng;
  uint16_t FFlags;
  std::string FLiterals;
  int FMaxUnbounded;
  bool FMirrored;
  int FUnbounded = 0;
  int FGroups = 0;  // numbered groups opened so far
};

// Random modifier flags: i, r, s and g as they come, m mostly on, x off.
uint16_t RandomFlags(std::mt19937& rng) {
  auto chance = [&](int percent) {
    return std::uniform_int_distribution<int>(0, 99)(rng) < percent;
  };
  uint16_t flags = 0;
  if (chance(35)) flags |= MaskModI;
  if (chance(50)) flags |= MaskModR;
  if (chance(30)) flags |= MaskModS;
  if (chance(85)) flags |= MaskModG;
  if (chance(80)) flags |= MaskModM;
  return flags;
}

// Default seed of the random tests; QV_PCRE_SEED replays another.
uint32_t TestSeed() {
  const char* text = std::getenv("QV_PCRE_SEED");
  return text ? static_cast<uint32_t>(std::strtoul(text, nullptr, 10)) : 20240611u;
}

struct TTally {
  int Expressions = 0;
  int Positions = 0;
  int Matches = 0;  // positions where both matched
  int Skipped = 0;  // positions a step budget or match limit stopped
  int Failures = 0;
};

// Matches one expression at every position of each subject with both engines. Reports the
// first mismatch of the expression with everything needed to replay it. backward: ours
// matches backward, and PCRE2's pattern is a mirrored one (TExprGen) matched forward on
// the reversed subject.
void CompareAtEveryPosition(const std::string& ours, const std::string& pattern, uint16_t flags,
                            const std::vector<std::string>& subjects, const std::string& origin,
                            TTally& tally, bool backward = false) {
  ++tally.Expressions;
  TqvRegExpr re;
  re.SetModifierFlags(flags);
  re.SetStepLimit(200000);
  re.SetExpression(Wide(ours));
  TPcre pcre(pattern, PcreOptions(flags));
  const std::string modifiers = [&] {
    std::string text;
    for (char16_t c : re.ModifierStr()) text += static_cast<char>(c);
    return text;
  }();
  if (!re.Compile() || !pcre.Compiled()) {
    ++tally.Failures;
    ADD_FAILURE() << origin << ": " << Shown(ours) << " compiles " << re.Compile() << ", PCRE2's "
                  << Shown(pattern) << " compiles " << pcre.Compiled() << " (" << pcre.Error()
                  << ")";
    return;
  }
  for (const std::string& subject : subjects) {
    const int length = static_cast<int>(subject.size());
    const std::string reversed(subject.rbegin(), subject.rend());
    for (int pos = 1; pos <= length + 1; ++pos) {
      ++tally.Positions;
      const int ourEnd = OurEnd(re, subject, pos, backward);
      int pcreEnd = backward ? pcre.End(reversed, length + 2 - pos) : pcre.End(subject, pos);
      if (ourEnd == kLimit || pcreEnd == kLimit) {
        ++tally.Skipped;
        continue;
      }
      if (backward && pcreEnd != 0) pcreEnd = length + 2 - pcreEnd;  // back in the subject
      if (ourEnd != pcreEnd) {
        ++tally.Failures;
        ADD_FAILURE() << origin << ": " << Shown(ours) << " " << modifiers << " against "
                      << Shown(subject) << " at " << pos << (backward ? " backward" : "")
                      << ": ours ends at " << ourEnd << ", PCRE2's " << Shown(pattern)
                      << (backward ? " on the reversed subject" : "") << " at " << pcreEnd
                      << " (0: no match)";
        return;
      }
      if (ourEnd != 0) ++tally.Matches;
    }
  }
}

// Hand-picked cases through the same comparison: the translations of "^", "$", "\b" and our
// class letters, line breaks of every kind, and the group forms the generator writes.
TEST(TqvRegExprPcre, AgreesOnHandPickedCases) {
  const uint16_t i = kFlags | MaskModI, s = kFlags | MaskModS, noM = kFlags & ~MaskModM;
  const uint16_t noG = kFlags & ~MaskModG;
  const std::vector<std::string> lines = {"a\rb\nc\r\nd", "\r\n\r\r\n\n", "ab\n", "", "\r"};
  const std::vector<std::string> words = {"ab ab", "a1_b-c", "AbAB", "aaab", "abcabc", " "};
  struct {
    const char* Expr;
    const char* Pattern;
    uint16_t Flags;
    const std::vector<std::string>& Subjects;
  } cases[] = {
      {"^", "(?:^(?!(?<=\\r)\\n))", kFlags, lines},
      {"$", "(?:$(?!(?<=\\r)\\n))", kFlags, lines},
      {"^.*$", "(?:^(?!(?<=\\r)\\n)).*(?:$(?!(?<=\\r)\\n))", kFlags, lines},
      {"^\\w", "^\\w", noM, lines},
      {"\\w$", "\\w$", noM, lines},
      {".", ".", kFlags, lines},
      {".+", ".+", s, lines},
      {"\\z+", "\\R+", kFlags, lines},
      {"[^a]", "[^a]", kFlags, lines},
      {"\\s\\S", "\\s\\S", kFlags, lines},
      {"\\b\\w+\\b", "(?:\\A|\\z|\\b)\\w+(?:\\A|\\z|\\b)", kFlags, words},
      {"\\B.", "(?!\\A|\\z)\\B.", kFlags, words},
      {"\\l+\\k", "[A-Za-z]+[0-9]", kFlags, words},
      {"\\l+\\c", "[A-Za-z_]+[A-Za-z0-9_]", kFlags & ~MaskModR, words},
      {"[\\g\\k-]+", "[A-Za-z_0-9-]+", kFlags, words},
      {"ab", "ab", i, words},
      {"[a-b]+", "[a-b]+", i, words},
      {"(a)\\1", "(a)\\g{1}", i, words},
      {"a*?b", "a*?b", kFlags, words},
      {"a*b", "a*?b", noG, words},
      {"(ab|c)+\\1", "(ab|c)+\\g{1}", kFlags, words},
      {"(ab|c){1,}?$", "(ab|c){1,}?$", noM, words},
      {"a(\\w*|b)", "a(\\w*|b)", kFlags, words},
      {"(?=\\w*b)(a|ab)", "(?=\\w*b)(a|ab)", kFlags, words},
      {"(?<=a)b|(?<!b)a", "(?<=a)b|(?<!b)a", kFlags, words},
      {"a{0}b", "a{0}b", kFlags, words},
  };
  TTally tally;
  for (const auto& c : cases)
    CompareAtEveryPosition(c.Expr, c.Pattern, c.Flags, c.Subjects, "table", tally);
  EXPECT_GT(tally.Matches, 50);
  EXPECT_EQ(tally.Skipped, 0);
}

// Short subjects over a small alphabet with every kind of line break.
std::string RandomSubject(std::mt19937& rng) {
  static const char kAlphabet[] = "aabbcA01 _-";
  auto pick = [&](int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng); };
  std::string subject;
  const int length = pick(15);
  while (static_cast<int>(subject.size()) < length) {
    const int kind = pick(100);
    if (kind < 5)
      subject += "\r\n";
    else if (kind < 10)
      subject += '\n';
    else if (kind < 14)
      subject += '\r';
    else
      subject += kAlphabet[pick(static_cast<int>(sizeof kAlphabet) - 1)];
  }
  return subject;
}

TEST(TqvRegExprPcre, AgreesOnRandomExpressionsAndSubjects) {
  const uint32_t seed = TestSeed();
  SCOPED_TRACE(testing::Message() << "seed " << seed << " (QV_PCRE_SEED replays another)");
  std::mt19937 rng(seed);
  TTally tally;
  for (int iteration = 0; iteration < 10000 && tally.Failures < 5; ++iteration) {
    const uint16_t flags = RandomFlags(rng);
    const TExprGen gen(rng, flags, "abcA01 _\r\n-", 4);
    std::vector<std::string> subjects;
    for (int k = 0; k < 3; ++k) subjects.push_back(RandomSubject(rng));
    CompareAtEveryPosition(gen.Ours, gen.Pcre, flags, subjects,
                           "iteration " + std::to_string(iteration), tally);
  }
  // The expressions match often enough to say something, and rarely need the budget.
  EXPECT_GT(tally.Matches, tally.Positions / 10);
  EXPECT_LT(tally.Skipped, tally.Positions / 200);
}

// Backward matching against forward matching of the mirrored pattern on the reversed text.
TEST(TqvRegExprPcre, AgreesBackwardOnRandomExpressionsAndSubjects) {
  const uint32_t seed = TestSeed();
  SCOPED_TRACE(testing::Message() << "seed " << seed << " (QV_PCRE_SEED replays another)");
  std::mt19937 rng(seed + 1);
  TTally tally;
  for (int iteration = 0; iteration < 6000 && tally.Failures < 5; ++iteration) {
    const uint16_t flags = RandomFlags(rng);
    const TExprGen gen(rng, flags, "abcA01 _\r\n-", 4, true);
    std::vector<std::string> subjects;
    for (int k = 0; k < 3; ++k) subjects.push_back(RandomSubject(rng));
    CompareAtEveryPosition(gen.Ours, gen.Pcre, flags, subjects,
                           "iteration " + std::to_string(iteration), tally, true);
  }
  EXPECT_GT(tally.Matches, tally.Positions / 10);
  EXPECT_LT(tally.Skipped, tally.Positions / 200);
}

// A few lines of stdio.h with their line breaks made LF, CR LF or CR, expressions taking
// their literals from the same lines.
TEST(TqvRegExprPcre, AgreesOnRealText) {
  const std::string header = test::ReadFile("/usr/include/stdio.h");
  ASSERT_FALSE(header.empty());
  std::vector<std::string> lines;
  for (size_t start = 0; start < header.size();) {
    const size_t end = std::min(header.find('\n', start), header.size());
    lines.push_back(header.substr(start, end - start));
    start = end + 1;
  }
  const uint32_t seed = TestSeed();
  SCOPED_TRACE(testing::Message() << "seed " << seed << " (QV_PCRE_SEED replays another)");
  std::mt19937 rng(seed);
  auto pick = [&](int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng); };
  static const char* const kBreaks[] = {"\n", "\r\n", "\r"};
  TTally tally;
  for (int iteration = 0; iteration < 1500 && tally.Failures < 5; ++iteration) {
    const int first = pick(static_cast<int>(lines.size()));
    const int last = std::min(first + pick(3), static_cast<int>(lines.size()) - 1);
    const char* lineBreak = kBreaks[pick(3)];
    std::string text;
    for (int k = first; k <= last; ++k) text += lines[k] + lineBreak;
    text.resize(std::min<size_t>(text.size(), 100));
    std::string literals = "\r\n";
    for (int k = 0; k < 8; ++k)
      literals += text.empty() ? 'a' : text[pick(static_cast<int>(text.size()))];
    const uint16_t flags = RandomFlags(rng);
    const TExprGen gen(rng, flags, literals, 2);
    CompareAtEveryPosition(gen.Ours, gen.Pcre, flags, {text},
                           "iteration " + std::to_string(iteration), tally);
  }
  EXPECT_GT(tally.Matches, tally.Positions / 20);
  EXPECT_LT(tally.Skipped, tally.Positions / 200);
}

}  // namespace
}  // namespace qv
