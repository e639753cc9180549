// The expression object of the engine's regular-expression language: an expression text
// with its modifier flags and code page, compiled on demand into a node tree
// (qvZRegExprNodes.h) and matched anchored at one position, forward or backward, against
// 8-bit text or directly against UTF-16 text. Token rules, sub-lexer conditions and tag
// conditions all run on it.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "framework/Classes.h"
#include "framework/SysUtils.h"
#include "syntax/qvZRegExprNodes.h"

namespace qv {

struct TRECodePageTables;  // the matcher's conversion tables of one code page

// --- Modifier bits ------------------------------------------------------------------------
// Bit n is the n-th letter of "irsgmx".
inline constexpr uint16_t MaskModI = 1;   // letters compare without case
inline constexpr uint16_t MaskModR = 2;   // \w \d \l use the locale classes, else ASCII ones
inline constexpr uint16_t MaskModS = 4;   // "." also matches line breaks
inline constexpr uint16_t MaskModG = 8;   // quantifiers greedy unless followed by "?"
inline constexpr uint16_t MaskModM = 16;  // "^" and "$" at every line start and end
inline constexpr uint16_t MaskModX = 32;  // blanks and "#" comments between items ignored
inline constexpr uint16_t DefaultModifierFlags = 59;  // (?irgmx-s)
inline constexpr const char* ModifierLetters = "irsgmx";

// --- Messages -----------------------------------------------------------------------------
inline constexpr const char* SInvalidEscapeChar = "Invalid escape char";
inline constexpr const char* SInvalidHexChar = "Invalid HEX char";
inline constexpr const char* SUnexpectedEnd = "Unexpected end of expression";
inline constexpr const char* SNumberExpected = "Number is expected";
inline constexpr const char* SNoClosingBrace = "There is no closing \"}\"";
inline constexpr const char* SInvalidLoopSpecifier = "Invalid loop specifier";
inline constexpr const char* SLoopMinAboveMax = "Loop minimum must be less then loop maximum";
inline constexpr const char* SInvalidSetRange = "Invalid set range";
inline constexpr const char* SInvalidReference = "Invalid reference";
inline constexpr const char* SInvalidZeroWidth = "Invalid zero-width expression";
inline constexpr const char* SNotClosedSubExpr = "Do not closed sub expression";
inline constexpr const char* SUnexpectedModifier = "Unexpected modifier";
// Groups and look-arounds nested deeper than the compiler allows (the limit keeps the
// compiler, the matcher and the tree's destructor within a small stack).
inline constexpr const char* SExpressionTooComplex = "Expression is too complex";
// Matching errors (ERegExprMatchError).
inline constexpr const char* SMatchStepLimit = "Match step limit exceeded";
inline constexpr const char* SMatchTooDeep = "Match recursion depth exceeded";

// Raised by a match that exceeds the expression's step budget or the matcher's recursion
// limit. Every caller of Match treats an error as "no match".
QV_DECLARE_EXCEPTION(ERegExprMatchError, Exception);

// --- Hooks of the unit (unset by default; set them at start-up, before expressions compile)
// Given the character after a backslash, answers whether it is an extra class letter. An
// accepted letter becomes a class check of that letter, never remapped by the r modifier.
using TClassLetterHook = std::function<bool(char16_t letter)>;
// Consulted first whenever a class letter is tested: returns true when it decided, with the
// decision in accepted. c is the byte value in single-byte mode, else the 16-bit code.
using TClassTestHook = std::function<bool(char16_t letter, char16_t c, bool& accepted)>;
extern TClassLetterHook ClassLetterHook;
extern TClassTestHook ClassTestHook;

// An expression with its settings and, after the first Compile, its node tree.
//
// Positions are 1-based; a match at pos covers the characters from pos forward (or before
// it backward). One object must not be matched from two threads at once: the captures live
// in its tree. Configuration objects copy through Assign, never by copy or move.
class TqvRegExpr : public TPersistent {
public:
  TqvRegExpr();
  ~TqvRegExpr() override;
  TqvRegExpr(const TqvRegExpr&) = delete;
  TqvRegExpr& operator=(const TqvRegExpr&) = delete;
  const char* ClassName() const override { return "TqvRegExpr"; }

  // From another TqvRegExpr: CodePage, Expression and ModifierFlags (ModifiersStatic and
  // StepLimit stay); the compiled tree is discarded. Other sources: the framework's rule.
  void Assign(const TPersistent* source) override;

  // --- Published properties, in streaming order ---
  const std::u16string& Expression() const { return FExpression; }
  void SetExpression(const std::u16string& value);  // always discards the compiled tree
  // "(?" + letters of the set bits + "-" + letters of the clear bits (when any) + ")".
  std::u16string ModifierStr() const;
  // Applies the characters between "(?" and the last character when the text is longer
  // than two characters and starts with "(?"; raises "Unexpected modifier" (and changes
  // nothing) for a character other than "-" and the six letters. Keeps the compiled tree.
  void SetModifierStr(const std::u16string& value);
  uint16_t ModifierFlags() const { return FModifierFlags; }
  void SetModifierFlags(uint16_t value);  // keeps the compiled tree
  // Bits that inline modifier groups and SetModifierStr leave alone.
  uint16_t ModifiersStatic() const { return FModifiersStatic; }
  void SetModifiersStatic(uint16_t value);  // keeps the compiled tree
  // 0 is the system's default 8-bit code page.
  uint32_t CodePage() const { return FCodePage; }
  void SetCodePage(uint32_t value);  // a different value discards the compiled tree

  // Sets (on) or clears the bits in ModifierFlags, whatever ModifiersStatic says, and
  // discards the compiled tree.
  void SetModifier(uint16_t bits, bool on);

  // Builds the tree when there is none; true when it holds at least one alternative. A
  // compile error discards the tree and gives false: an invalid expression never matches.
  bool Compile();
  bool IsInvalid() { return !Compile(); }
  // Parses an 8-bit expression text into the tree; raises the compile error (a
  // qv::Exception with one of the messages above) after discarding the tree.
  void CompileText(const std::string& text);

  // Anchored match at pos (taken as 1 when 0 or below). On success pos becomes the end of
  // the match: the position after it forward, its first character backward. Compiles when
  // needed; false without touching pos or LastMatch when that fails. Raises
  // ERegExprMatchError when the step budget or the recursion limit is exceeded.
  bool Match(const std::string& text, int& pos, bool backward);
  // Characters (bytes) the match at pos covers; 0 for no match and for an empty match.
  int MatchLength(const std::string& text, int pos, bool backward);
  // The same on UTF-16 text without converting it; positions and lengths in units. With a
  // single-byte code page each unit is the byte the code page encodes it to ("?" when it
  // has none), so results equal those on the converted text. With a multibyte code page
  // each unit is one character with 16-bit semantics; for text a double-byte code page
  // represents, lengths correspond exactly to the byte lengths on the converted text (UTF-8,
  // whose 8-bit form the matcher reads byte by byte, corresponds only for ASCII text).
  bool MatchWide(std::u16string_view text, int& pos, bool backward);
  int MatchLengthWide(std::u16string_view text, int pos, bool backward);
  // True when a forward MatchWide at a position holding unit would fail at once by the
  // expression's first characters (its LastReach then being that position), for a caller
  // that tries many expressions at one position and wants to skip the call. False whenever
  // that cannot be told cheaply (units from 256 up, multibyte code pages, a class hook, an
  // expression that may start anywhere or does not compile). Builds a table over the units
  // below 256 on first use after a compile or a change of the system code page.
  bool CannotStartWith(char16_t unit, const TCodePageInfo& system) {
    if (unit >= 256) return false;
    if (FStartTableFor != &system && !BuildStartTable(system)) return false;
    return FStartTableUsable && !FStartTable[unit];
  }
  // Outcome of the last completed Match; false after the tree is discarded.
  bool LastMatch() const { return FLastMatch; }
  // The highest 1-based position the last Match/MatchWide (or MatchLength/MatchLengthWide)
  // examined looking forward: a character at position p was read or tested, or p = length + 1
  // when it tested for the end of the text (any check that failed or succeeded because the
  // text ended there). 0 when nothing was examined (e.g. an invalid expression). Also set when
  // the match raises ERegExprMatchError. Changing the text only after this position (appending
  // too, unless it is length + 1) leaves the outcome, the length and the captures of the same
  // match unchanged; an incremental analyzer keeps a match while its edits lie beyond it. It
  // may exceed what was examined by a position, never fall short. Backward, the highest
  // position a match from pos examined: pos - 1, pos for a check there ("^", "$", "\b"), or
  // beyond through a look-around body that runs forward.
  int LastReach() const { return FLastReach; }

  // Steps (node visits) one match may take; 0, the default, is unlimited. Without a
  // budget, expressions such as "a*a*a*a*c" against a long run of "a" take polynomial time
  // of high degree.
  uint64_t StepLimit() const { return FStepLimit; }
  void SetStepLimit(uint64_t value) { FStepLimit = value; }

  // The compiled tree, or null when none is built. Borrowed; valid until the tree is
  // discarded or rebuilt.
  const TreRootNode* Root() const { return FCompiled ? FRoot.get() : nullptr; }

private:
  // CannotStartWith's table for the system code page system; false when nothing can be
  // built (the expression does not compile).
  bool BuildStartTable(const TCodePageInfo& system);
  void ClearCompiled();
  void CompileTree(const std::string& text, bool multiByteRoute);
  bool MultiByteMode() const;
  const TRECodePageTables& Tables(const TCodePageInfo& codePage);
  template <class Text>
  bool RunMatch(const Text& subject, int& pos, bool backward);
  // How a match runs: the system's and the expression's code pages, the multibyte route,
  // and whether the class hook is set.
  struct TMatchRoute {
    const TCodePageInfo* System = nullptr;
    const TCodePageInfo* Info = nullptr;
    bool MultiByte = false;
    bool Hook = false;
  };
  // Compiles when needed (false: nothing can match) and settles the route; pos below 1
  // becomes 1.
  bool PrepareMatch(int& pos, TMatchRoute& route);

  std::u16string FExpression;
  uint16_t FModifierFlags = DefaultModifierFlags;
  uint16_t FModifiersStatic = 0;
  uint32_t FCodePage = 0;
  uint64_t FStepLimit = 0;
  std::unique_ptr<TreRootNode> FRoot;  // owned; reused by every compile
  bool FCompiled = false;              // FRoot holds the tree of the current settings
  // The last compile failed and nothing changed since: Compile answers false at once
  // instead of parsing again at every match of an invalid rule.
  bool FCompileFailed = false;
  bool FMultiByteRoute = false;  // the tree was built by the multibyte route
  bool FLastMatch = false;
  int FLastReach = 0;  // see LastReach
  // Conversion tables of the code page, found again only when it resolves differently.
  const TCodePageInfo* FTablesFor = nullptr;
  const TRECodePageTables* FTables = nullptr;
  // CannotStartWith's table: for each unit below 256, whether a match may start there; built
  // for the system code page FStartTableFor (null: not built since the last compile).
  const TCodePageInfo* FStartTableFor = nullptr;
  bool FStartTableUsable = false;
  uint8_t FStartTable[256] = {};
  // Most token expressions are alternatives of leaves, each taken once, optionally or
  // repeated, perhaps ended by a look-ahead at one leaf ("[a-z_]\w*", "/?>", "'[^']*'|\d+"),
  // where no leaf that may take more or fewer units shares a unit with what can follow it.
  // Backtracking can then never change the outcome: such an expression is matched in
  // single-byte mode by a plain loop over the text, taking each leaf greedily. Worked out
  // on first use after a compile.
  struct TRunStep {
    const uint64_t* Map;  // the leaf's byte map
    bool Optional;        // taken at most once, or repeated, from none
    bool Many;            // repeated without bound
    bool Look;            // a look-ahead at the leaf: tested, not taken
    bool AltEnd;          // the last step of its alternative
  };
  enum TRunShape : uint8_t { rsUnknown, rsNone, rsSteps };
  TRunShape FRunShape = rsUnknown;
  std::vector<TRunStep> FRunSteps;
  // The system code page the loop last ran under, with the unit-to-byte table it used (null:
  // not run since the last compile).
  const TCodePageInfo* FRunSystem = nullptr;
  const uint8_t* FRunMap = nullptr;
  void FindRunShape();
  // The loop's match at pos (1 <= pos): the matcher's outcome, end (pos), reach and root
  // capture.
  bool RunSteps(std::u16string_view text, const uint8_t* map, int& pos);
};

// Parses modifier letters into flags: "-" switches from setting to clearing; "i r s g m x"
// in either case set or clear their bit unless it is in staticBits; anything else raises
// "Unexpected modifier". flags is changed only when the whole text is valid.
void ParseModifiers(std::string_view text, uint16_t& flags, uint16_t staticBits);

}  // namespace qv
