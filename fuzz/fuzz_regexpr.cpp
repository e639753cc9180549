// Fuzzes the expression engine: compiles an expression under the modifiers and code page the
// input picks, then matches it forward and backward at positions in and out of range of a
// subject, on 8-bit text and on the UTF-16 text it decodes to, under a step budget.
// Violated invariants trap, so the fuzzer reports them.
//
// Input: byte 0 holds the modifier flags (bits 0-5) and, in bit 6, whether the expression's
// bytes are taken as UTF-16 units one by one instead of decoded with the code page; byte 1
// picks the code page (bits 0-1) and a small step budget (bit 2). The expression runs up
// to the first 0xFF byte; the subject is the rest.
#include <algorithm>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "syntax/qvStrUtils.h"
#include "syntax/qvZRegExpr.h"

namespace {

using namespace qv;

constexpr uint32_t kCodePages[] = {0, 1251, 932, 65001};

void Check(bool condition) {
  if (!condition) __builtin_trap();
}

// One call of Match or MatchWide: whether the budget stopped it, else its outcome and the
// position it left.
struct TOutcome {
  bool Stopped = false;
  bool Matched = false;
  int Pos = 0;
  bool operator==(const TOutcome&) const = default;
};

TOutcome Run(TqvRegExpr& re, std::string_view text, int pos, bool backward) {
  TOutcome o{false, false, pos};
  try {
    o.Matched = re.Match(std::string(text), o.Pos, backward);
  } catch (const ERegExprMatchError&) {  // budget or recursion limit: the caller's "no match"
    o.Stopped = true;
  }
  return o;
}

TOutcome Run(TqvRegExpr& re, std::u16string_view text, int pos, bool backward) {
  TOutcome o{false, false, pos};
  try {
    o.Matched = re.MatchWide(text, o.Pos, backward);
  } catch (const ERegExprMatchError&) {  // budget or recursion limit: the caller's "no match"
    o.Stopped = true;
  }
  return o;
}

int Length(TqvRegExpr& re, std::string_view text, int pos, bool backward) {
  return re.MatchLength(std::string(text), pos, backward);
}
int Length(TqvRegExpr& re, std::u16string_view text, int pos, bool backward) {
  return re.MatchLengthWide(text, pos, backward);
}

// One match with the invariants every match keeps: a failed match leaves pos (raised to 1);
// a forward match ends within [pos, length + 1], or at pos when that lies beyond; a
// backward match starts within [1, pos] and consumes nothing beyond the end; LastMatch
// tells the outcome; MatchLength repeats the match (deterministically) and gives its length.
template <class Text>
TOutcome CheckedMatch(TqvRegExpr& re, Text text, int pos, bool backward) {
  const int start = std::max(pos, 1);
  const int length = static_cast<int>(text.size());
  const TOutcome o = Run(re, text, pos, backward);
  if (o.Stopped) return o;
  Check(re.LastMatch() == o.Matched);
  if (!o.Matched)
    Check(o.Pos == start);
  else if (!backward)
    Check(o.Pos >= start && o.Pos <= std::max(start, length + 1));
  else
    Check(o.Pos >= 1 && o.Pos <= start && (start <= length + 1 || o.Pos == start));
  int matched = -1;
  try {
    matched = Length(re, text, pos, backward);
  } catch (const ERegExprMatchError&) {  // the same match ran out before: never
    Check(false);
  }
  Check(matched == (!o.Matched ? 0 : backward ? start - o.Pos : o.Pos - start));
  return o;
}

// Positions to match at: out of range on both sides, the bounds and the middle.
std::vector<int> Positions(int length) {
  return {INT_MIN, -1, 0, 1, 2, length / 2 + 1, length, length + 1, length + 2, INT_MAX};
}

bool IsAscii(std::string_view text) {
  return std::all_of(text.begin(), text.end(),
                     [](char c) { return static_cast<uint8_t>(c) < 0x80; });
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const uint16_t flags = data[0] & 0x3F;
  const bool unitsAsBytes = (data[0] & 0x40) != 0;
  const uint32_t codePage = kCodePages[data[1] & 3];
  const uint64_t budget = (data[1] & 4) ? 2000 : 200000;
  const std::string_view rest(reinterpret_cast<const char*>(data) + 2, size - 2);
  const size_t split = std::min(rest.find('\xFF'), rest.size());
  const std::string_view exprBytes = rest.substr(0, split);
  const std::string_view subject =
      split < rest.size() ? rest.substr(split + 1) : std::string_view();

  std::u16string expression;
  if (unitsAsBytes) {
    for (char c : exprBytes) expression += static_cast<char16_t>(static_cast<uint8_t>(c));
  } else {
    expression = MultiByteToWide(exprBytes, static_cast<int>(codePage));
  }

  TqvRegExpr re;
  re.SetCodePage(codePage);
  re.SetModifierFlags(flags);
  re.SetStepLimit(budget);
  re.SetExpression(expression);

  // The modifier text reads back as the same flags.
  TqvRegExpr copy;
  copy.SetModifierFlags(0);
  copy.SetModifierStr(re.ModifierStr());
  Check(copy.ModifierFlags() == flags);

  const int length = static_cast<int>(subject.size());
  if (!re.Compile()) {
    // An invalid expression never matches and leaves pos alone (not even raised to 1).
    int pos = -7;
    Check(!re.Match(std::string(subject), pos, false) && pos == -7);
    Check(re.MatchLength(std::string(subject), 1, true) == 0);
    Check(re.MatchLengthWide(u"x", 1, false) == 0);
    return 0;
  }

  // A copy through Assign matches alike.
  TqvRegExpr assigned;
  assigned.SetStepLimit(budget);
  assigned.Assign(&re);
  const TOutcome mine = Run(re, subject, 1, false), theirs = Run(assigned, subject, 1, false);
  Check(mine.Stopped || theirs.Stopped || mine == theirs);

  const std::u16string wide = MultiByteToWide(subject, static_cast<int>(codePage));
  const int units = static_cast<int>(wide.size());
  for (int pos : Positions(length)) {
    for (bool backward : {false, true}) CheckedMatch<std::string_view>(re, subject, pos, backward);
  }
  for (int pos : Positions(units)) {
    for (bool backward : {false, true}) CheckedMatch<std::u16string_view>(re, wide, pos, backward);
  }

  // The UTF-16 entry against the 8-bit one on the text's 8-bit form, position by position
  // (units map to the bytes they encode to), where the two correspond: single-byte code
  // pages always; a double-byte code page for text it represents; UTF-8 for ASCII text.
  const std::string eight = WideToMultiByte(wide, static_cast<int>(codePage));
  const bool singleByte = !IsMultiByteCodePage(static_cast<int>(codePage));
  bool corresponds = singleByte;
  if (codePage == 932) corresponds = MultiByteToWide(eight, 932) == wide;
  if (codePage == 65001) corresponds = IsAscii(subject);
  if (!corresponds) return 0;
  std::vector<int> offsets{0};  // byte offset of unit i (0-based), and the total at the end
  for (char16_t c : wide)
    offsets.push_back(
        offsets.back() +
        static_cast<int>(WideToMultiByte({&c, 1}, static_cast<int>(codePage)).size()));
  if (offsets.back() != static_cast<int>(eight.size())) return 0;
  for (int pos = 1; pos <= units + 1; pos += 1 + units / 8) {
    for (bool backward : {false, true}) {
      const TOutcome w = Run(re, std::u16string_view(wide), pos, backward);
      const TOutcome b = Run(re, std::string_view(eight), offsets[pos - 1] + 1, backward);
      if (w.Stopped || b.Stopped) continue;
      Check(w.Matched == b.Matched);
      if (w.Matched) Check(offsets[w.Pos - 1] + 1 == b.Pos);
    }
  }
  return 0;
}
