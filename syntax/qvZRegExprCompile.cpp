// Expression text to node tree: the settings of TqvRegExpr, the preparation of the text for
// its code page, and a recursive-descent parser over the 8-bit text (one byte a character,
// 1-based positions) that builds TreRootNode with its groups, sets, escapes, look-arounds
// and quantifiers. Errors are qv::Exception with the unit's fixed messages.
#include "syntax/qvZRegExpr.h"

#include <algorithm>
#include <utility>

#include "framework/TextServices.h"
#include "syntax/qvStrUtils.h"

namespace qv {

TClassLetterHook ClassLetterHook;
TClassTestHook ClassTestHook;

namespace {

// Nesting of groups and look-arounds the compiler accepts. Each level costs a few stack
// frames in the parser, the matcher and the tree's destructor; 250 levels is far beyond any
// lexer rule while keeping all three well inside a thread's stack.
constexpr int kMaxNesting = 250;

// Raised for the nesting limit. Unlike other errors it is not absorbed by a look-around
// body, so it always reaches the caller.
QV_DECLARE_EXCEPTION(ERegExprTooComplex, Exception);

// Raised where a back-reference, an inline modifier group or a nested group needs the root
// but its owner chain does not reach it (inside a look-around body). Always absorbed by the
// enclosing look-around, which is then dropped.
constexpr const char* SOutsideRoot = "Expression item outside the root";

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// The 8-bit upper-casing of the system code page, as literals are stored under i.
char16_t Upper8(uint8_t b) { return static_cast<uint8_t>(UpperChar(static_cast<char>(b))); }

void SetBit(uint16_t& flags, uint16_t bit, bool on) {
  flags = on ? (flags | bit) : (flags & ~bit);
}

// The r modifier off maps the locale classes onto the ASCII ones.
char RemapClass(char c) {
  switch (c) {
    case 'w': return 'c';
    case 'W': return 'C';
    case 'd': return 'k';
    case 'D': return 'K';
    case 'l': return 'g';
    case 'L': return 'G';
    default: return c;
  }
}

bool IsBuiltinClassLetter(char c) {
  switch (c) {
    case 'w': case 'W': case 'd': case 'D': case 'l': case 'L': case 's': case 'S':
    case 'h': case 'H': case 'c': case 'C': case 'k': case 'K': case 'g': case 'G':
      return true;
    default:
      return false;
  }
}

bool IsCharEscapeLetter(char c) {
  switch (c) {
    case 'a': case 'e': case 'f': case 'n': case 'r': case 't': case 'x':
      return true;
    default:
      return false;
  }
}

// Follows the owner chain up to the root; null when it ends elsewhere.
TreRootNode* RootOf(TRENodeBase* node) {
  while (node && node->Owner) node = node->Owner;
  return dynamic_cast<TreRootNode*>(node);
}

class TParser {
public:
  TParser(std::string_view text, TreRootNode& root, uint16_t staticBits)
      : FText(text), FLen(static_cast<int>(std::min<size_t>(text.size(), INT32_MAX - 2))),
        FRoot(root), FStatic(staticBits) {}

  void ParseRoot(uint16_t flags) {
    ParseAlternatives(FRoot, flags);
    // A ")" without an opening parenthesis ends the expression; the rest is ignored.
  }

private:
  // --- Reading characters ---
  // FPos is the current position: 0 before the first character, FLen + 1 past the end.
  char Cur() const { return FPos >= 1 && FPos <= FLen ? FText[FPos - 1] : '\0'; }
  char At(int pos) const { return pos >= 1 && pos <= FLen ? FText[pos - 1] : '\0'; }

  // Advances by one; under x then skips blanks and "#" comments (up to and including the
  // next CR or LF). 0 past the end, and also for a NUL character.
  char NextChar(uint16_t flags) {
    if (FPos <= FLen) ++FPos;
    if (flags & MaskModX) {
      while (FPos <= FLen) {
        const char c = FText[FPos - 1];
        if (c == '#') {
          while (FPos <= FLen && FText[FPos - 1] != '\r' && FText[FPos - 1] != '\n') ++FPos;
          if (FPos <= FLen) ++FPos;
        } else if (IsSpaceChar(c)) {
          ++FPos;
        } else {
          break;
        }
      }
    }
    return Cur();
  }

  // NextChar where a character must follow.
  char NextCharDemand(uint16_t flags) {
    const char c = NextChar(flags);
    if (FPos > FLen) throw Exception(SUnexpectedEnd);
    return c;
  }

  struct TNestingGuard {
    explicit TNestingGuard(int& depth) : Depth(depth) {
      if (++Depth > kMaxNesting) throw ERegExprTooComplex(SExpressionTooComplex);
    }
    ~TNestingGuard() { --Depth; }
    int& Depth;
  };

  // --- Structure ---
  // The alternatives of a group (or the root); the position is on "(" (before the text
  // for the root) and ends on the ")" or the end that stopped the last alternative.
  void ParseAlternatives(TreSubExpr& group, uint16_t flags) {
    TNestingGuard guard(FDepth);
    for (;;) {
      group.Nodes.push_back(std::make_unique<TreBranchNode>(&group));
      auto& branch = static_cast<TreBranchNode&>(*group.Nodes.back());
      ParseBranch(branch, &group, flags, NextChar(flags));
      if (branch.Nodes.empty()) group.Nodes.pop_back();  // empty alternatives vanish
      const char stop = Cur();
      if (stop == ')' || stop == '\0') return;  // else it stopped at "|"
    }
  }

  // One alternative, from its first character c up to the 0, ")" or "|" that ends it.
  // flags is this alternative's own copy: inline modifiers change it for the rest of it.
  void ParseBranch(TreBranchNode& branch, TRENodeBase* owner, uint16_t flags, char c) {
    branch.Clear();
    while (c != '\0' && c != ')' && c != '|') c = ParseItem(branch, owner, flags, c);
  }

  // Parses the item starting with c and returns the character after it, already read.
  char ParseItem(TreBranchNode& branch, TRENodeBase* owner, uint16_t& flags, char c) {
    switch (c) {
      case '.': {
        auto node = std::make_unique<TSpecCheckNode>(owner);
        node->Kind = (flags & MaskModS) ? u'.' : u':';
        return Quantifier(*branch.Add(std::move(node)), flags);
      }
      case '^':
      case '$': {
        auto node = std::make_unique<TSpecCheckNode>(owner);
        if (c == '^') node->Kind = (flags & MaskModM) ? u'^' : u'A';
        else node->Kind = (flags & MaskModM) ? u'$' : u'Z';
        branch.Add(std::move(node));
        return NextChar(flags);
      }
      case '[':
        return Quantifier(*branch.Add(ParseSet(owner, flags)), flags);
      case '(':
        if (At(FPos + 1) == '?') return ParseSpecialGroup(branch, owner, flags);
        return Quantifier(*branch.Add(ParseGroup(owner, flags)), flags);
      case '\\':
        return Quantifier(*branch.Add(ParseEscape(owner, flags)), flags);
      default:
        return Quantifier(*branch.Add(MakeChar(owner, static_cast<uint8_t>(c), flags)), flags);
    }
  }

  std::unique_ptr<TRENodeBase> ParseGroup(TRENodeBase* owner, uint16_t flags) {
    auto group = std::make_unique<TreSubExpr>(owner);
    // Groups are numbered in the order they open; inside a look-around body a group
    // directly in the body is not numbered, and one nested deeper cannot reach the root.
    // A numbered group is never inside a body, so an error while parsing it ends the
    // compile, whose cleanup resets SubExprs before anything reads the freed entry.
    if (owner) {
      TreRootNode* root = RootOf(owner);
      if (!root) throw Exception(SOutsideRoot);
      root->SubExprs.push_back(group.get());
    }
    ParseAlternatives(*group, flags);
    if (Cur() != ')') throw Exception(SNotClosedSubExpr);
    return group;
  }

  // "(?" groups: look-around, comment or inline modifiers. None takes a quantifier.
  char ParseSpecialGroup(TreBranchNode& branch, TRENodeBase* owner, uint16_t& flags) {
    // The text of a "(?" group is read directly, without x skipping.
    if (FPos + 2 > FLen) {
      FPos = FLen + 1;
      throw Exception(SUnexpectedEnd);
    }
    const char kind = At(FPos + 2);
    if (kind == '=' || kind == '!') {
      FPos += 2;
      return ParseLookAround(branch, owner, flags, false, kind == '!');
    }
    if (kind == '<') {
      if (FPos + 3 > FLen) {
        FPos = FLen + 1;
        throw Exception(SUnexpectedEnd);
      }
      const char sign = At(FPos + 3);
      if (sign != '=' && sign != '!') throw Exception(SInvalidZeroWidth);
      FPos += 3;
      return ParseLookAround(branch, owner, flags, true, sign == '!');
    }
    const int start = FPos + 2;
    int close = start;
    while (close <= FLen && FText[close - 1] != ')') ++close;
    if (kind != '#') {
      if (kind == ')') throw Exception(SUnexpectedModifier);
      TreRootNode* root = RootOf(owner);
      if (!root) throw Exception(SOutsideRoot);
      ParseModifiers(FText.substr(start - 1, close - start), flags, FStatic);
    }
    FPos = close;  // on ")", or past the end
    return NextChar(flags);
  }

  // The position is on the "=" or "!" of the opening. The body is one alternative; its
  // terminator (")", "|" or the end) is consumed without check.
  char ParseLookAround(TreBranchNode& branch, TRENodeBase* owner, uint16_t flags, bool behind,
                       bool negative) {
    TNestingGuard guard(FDepth);
    const char first = NextCharDemand(flags);
    auto body = std::make_unique<TreBranchNode>(nullptr);
    try {
      ParseBranch(*body, nullptr, flags, first);
    } catch (const ERegExprTooComplex&) {
      throw;
    } catch (const Exception&) {  // a faulty body drops the look-around; parsing goes on
      return NextChar(flags);
    }
    if (behind) {
      std::reverse(body->Nodes.begin(), body->Nodes.end());
      for (size_t i = 0; i < body->Nodes.size(); ++i)
        body->Nodes[i]->Next = i + 1 < body->Nodes.size() ? body->Nodes[i + 1].get() : nullptr;
    }
    auto node = std::make_unique<TZeroWidth>(owner);
    node->Behind = behind;
    node->Negative = negative;
    node->Body = std::move(body);
    branch.Add(std::move(node));
    return NextChar(flags);
  }

  // --- Escapes ---
  // A character escape at the position (on its letter): its code, or -1 when the letter
  // is none. Leaves the position on the escape's last character.
  int CharEscape(char letter) {
    switch (letter) {
      case 'a': return 7;
      case 'e': return 27;
      case 'f': return 12;
      case 'n': return 10;
      case 'r': return 13;
      case 't': return 9;
      case 'x': return HexEscape();
      default: return -1;
    }
  }

  // \xHH or \x{H...}; the position is on the "x".
  int HexEscape() {
    if (FPos + 1 > FLen) throw Exception(SInvalidEscapeChar);
    std::string digits;
    if (At(FPos + 1) == '{') {
      int close = FPos + 2;
      while (close <= FLen && FText[close - 1] != '}') ++close;
      digits = Trim(FText.substr(FPos + 1, close - FPos - 2));
      FPos = std::min(close, FLen);
    } else {
      const int count = std::min(2, FLen - FPos);
      digits = std::string(FText.substr(FPos, count));
      FPos += count;
    }
    const int value = StrToInt("$" + digits);
    if ((value & 0xFFFF) == 0) throw Exception(SInvalidHexChar);
    return value & 0xFFFF;
  }

  // The class a letter after a backslash names under flags, or 0 for none.
  static char16_t ClassOf(char letter, uint16_t flags) {
    if (ClassLetterHook && ClassLetterHook(static_cast<uint8_t>(letter)))
      return static_cast<uint8_t>(letter);
    if (!IsBuiltinClassLetter(letter)) return 0;
    return static_cast<uint8_t>((flags & MaskModR) ? letter : RemapClass(letter));
  }

  // Outside sets; the position is on the backslash.
  std::unique_ptr<TRENodeBase> ParseEscape(TRENodeBase* owner, uint16_t flags) {
    if (FPos + 1 > FLen) return MakeChar(owner, '\\', flags);  // a final backslash
    const char letter = FText[FPos++];  // read directly
    const int code = CharEscape(letter);
    if (code >= 0) return MakeChar(owner, static_cast<char16_t>(code), flags);
    if (const char16_t kind = ClassOf(letter, flags)) {
      auto node = std::make_unique<TSpecCheckNode>(owner);
      node->Kind = kind;
      return node;
    }
    if (letter >= '1' && letter <= '9') {
      // Needs the root: a back-reference inside a look-around body drops the look-around.
      TreRootNode* root = RootOf(owner);
      if (!root) throw Exception(SOutsideRoot);
      const int index = letter - '0';
      if (static_cast<size_t>(index) >= root->SubExprs.size()) throw Exception(SInvalidReference);
      auto node = std::make_unique<TRefNode>(owner);
      node->GroupIndex = index;
      node->IgnoreCase = (flags & MaskModI) != 0;
      node->Group = root->SubExprs[index];
      return node;
    }
    switch (letter) {
      case 'A': case 'B': case 'Z': case 'b': case 'z': {
        auto node = std::make_unique<TSpecCheckNode>(owner);
        node->Kind = static_cast<char16_t>(letter);
        return node;
      }
      default:
        return MakeChar(owner, static_cast<uint8_t>(letter), flags);
    }
  }

  // A literal. Under i the stored code is the 8-bit upper-casing of its low byte, also
  // for \x values above 255.
  static std::unique_ptr<TRENodeBase> MakeChar(TRENodeBase* owner, char16_t code,
                                              uint16_t flags) {
    auto node = std::make_unique<TCharSeqNode>(owner);
    node->IgnoreCase = (flags & MaskModI) != 0;
    node->Char = node->IgnoreCase ? Upper8(static_cast<uint8_t>(code & 0xFF)) : code;
    return node;
  }

  // --- Sets ---
  struct TMember {
    bool IsClass = false;
    char16_t Value = 0;  // the character, or the class letter
  };

  // One member starting with c (already read): a character or a backslash escape.
  TMember ReadMember(char c, uint16_t flags) {
    if (c != '\\') return {false, static_cast<uint8_t>(c)};
    if (FPos + 1 > FLen) return {false, u'\\'};  // a backslash at the end of the text
    const char letter = FText[FPos++];
    const int code = CharEscape(letter);
    if (code >= 0) return {false, static_cast<char16_t>(code)};
    if (const char16_t kind = ClassOf(letter, flags)) return {true, kind};
    return {false, static_cast<uint8_t>(letter)};
  }

  // True when the position is on a backslash that starts a class escape.
  bool ClassEscapeHere(uint16_t flags) const {
    if (Cur() != '\\' || FPos + 1 > FLen) return false;
    const char letter = At(FPos + 1);
    return !IsCharEscapeLetter(letter) && ClassOf(letter, flags) != 0;
  }

  // The position is on "[". Members are read with NextChar demanding a character, so under
  // x blanks and comments inside a set are skipped and an open set raises at the end.
  std::unique_ptr<TRENodeBase> ParseSet(TRENodeBase* owner, uint16_t flags) {
    auto set = std::make_unique<TCharSetNode>(owner);
    set->IgnoreCase = (flags & MaskModI) != 0;
    auto addChar = [&](char16_t ch) {
      if (set->IgnoreCase) ch = CharUpperW(ch);
      if (set->Chars.find(ch) == std::u16string::npos) set->Chars += ch;
    };
    auto addRange = [&](char16_t low, char16_t high) {
      if (high < low) throw Exception(SInvalidSetRange);
      if (set->IgnoreCase) {
        low = CharUpperW(low);
        high = CharUpperW(high);
      }
      set->Ranges += low;
      set->Ranges += high;
    };

    char c = NextCharDemand(flags);
    if (c == '^') {
      set->Negate = true;
      c = NextCharDemand(flags);
      if (c == ']') return set;  // "[^]": matches any character
    }
    bool first = true;          // no member read yet: "]" is a member, "-" is plain
    bool afterRangeOrClass = false;  // "-" here is plain
    for (;;) {
      if (c == ']' && !first) return set;
      const bool plainDash = c == '-' && (first || afterRangeOrClass);
      const TMember member = ReadMember(c, flags);
      first = false;
      if (member.IsClass) {
        set->Classes += member.Value;
        afterRangeOrClass = true;
        c = NextCharDemand(flags);
        continue;
      }
      afterRangeOrClass = false;
      c = NextCharDemand(flags);
      if (plainDash || c != '-') {
        addChar(member.Value);
        continue;
      }
      // The member is followed by "-": a range, unless "]" or a class escape follows.
      c = NextCharDemand(flags);
      if (c == ']') {
        addChar(member.Value);
        addChar(u'-');
        return set;
      }
      if (ClassEscapeHere(flags)) {
        addChar(member.Value);
        addChar(u'-');
        continue;  // the class is the next member
      }
      const TMember high = ReadMember(c, flags);
      addRange(member.Value, high.Value);
      afterRangeOrClass = true;
      c = NextCharDemand(flags);
    }
  }

  // --- Quantifiers ---
  // Reads a quantifier after a quantifiable node; returns the character after it.
  char Quantifier(TRENodeBase& node, uint16_t flags) {
    char c = NextChar(flags);
    switch (c) {
      case '*':
        node.LoopMin = 0;
        node.LoopMax = -1;
        break;
      case '+':
        node.LoopMax = -1;
        break;
      case '?':
        node.LoopMin = 0;
        break;
      case '{':
        ParseCount(node, flags);
        break;
      default:
        return c;
    }
    c = NextChar(flags);
    if (c == '?') {
      node.NonGreedy = true;
      return NextChar(flags);
    }
    node.NonGreedy = (flags & MaskModG) == 0;
    return c;
  }

  // The digits of a count, read directly from the position (on the first digit); ends on
  // the last digit.
  int ReadNumber() {
    const int start = FPos;
    while (IsDigit(At(FPos + 1))) ++FPos;
    return StrToInt(FText.substr(start - 1, FPos - start + 1));
  }

  // {n} {n,} {n,m}; the position is on "{".
  void ParseCount(TRENodeBase& node, uint16_t flags) {
    if (!IsDigit(NextChar(flags))) throw Exception(SNumberExpected);
    const int low = ReadNumber();
    char c = NextChar(flags);
    if (c == '}') {
      node.LoopMin = node.LoopMax = low;
      return;
    }
    if (c != ',') throw Exception(SInvalidLoopSpecifier);
    c = NextChar(flags);
    if (c == '}') {
      node.LoopMin = low;
      node.LoopMax = -1;
      return;
    }
    if (!IsDigit(c)) throw Exception(SNumberExpected);
    const int high = ReadNumber();
    if (NextChar(flags) != '}') throw Exception(SNoClosingBrace);
    if (high < low) throw Exception(SLoopMinAboveMax);
    node.LoopMin = low;
    node.LoopMax = high;
  }

  std::string_view FText;
  int FLen;
  int FPos = 0;
  int FDepth = 0;
  TreRootNode& FRoot;
  uint16_t FStatic;
};

}  // namespace

// --- Nodes ----------------------------------------------------------------------------------

TZeroWidth::TZeroWidth(TRENodeBase* owner) : TRENodeBase(owner, ntZeroWidth) {}
TZeroWidth::~TZeroWidth() = default;

TRENodeBase* TreBranchNode::Add(std::unique_ptr<TRENodeBase> node) {
  if (!Nodes.empty()) Nodes.back()->Next = node.get();
  Nodes.push_back(std::move(node));
  return Nodes.back().get();
}

void TreRootNode::Clear() {
  TreSubExpr::Clear();
  SubExprs.assign(1, this);
  StartFilter = TStartFilter();
}

void ParseModifiers(std::string_view text, uint16_t& flags, uint16_t staticBits) {
  uint16_t result = flags;
  bool on = true;
  for (char c : text) {
    if (c == '-') {
      on = false;
      continue;
    }
    const char lower = (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
    const char* letter = lower ? std::char_traits<char>::find(ModifierLetters, 6, lower) : nullptr;
    if (!letter) throw Exception(SUnexpectedModifier);
    const uint16_t bit = static_cast<uint16_t>(1u << (letter - ModifierLetters));
    if (!(bit & staticBits)) SetBit(result, bit, on);
  }
  flags = result;
}

// --- TqvRegExpr: settings -----------------------------------------------------------------

TqvRegExpr::TqvRegExpr() = default;
TqvRegExpr::~TqvRegExpr() = default;

void TqvRegExpr::Assign(const TPersistent* source) {
  if (const auto* other = dynamic_cast<const TqvRegExpr*>(source)) {
    SetCodePage(other->FCodePage);
    SetExpression(other->FExpression);
    FModifierFlags = other->FModifierFlags;
    ClearCompiled();
    return;
  }
  TPersistent::Assign(source);
}

void TqvRegExpr::SetExpression(const std::u16string& value) {
  FExpression = value;
  ClearCompiled();
}

std::u16string TqvRegExpr::ModifierStr() const {
  std::u16string on, off;
  for (int bit = 0; bit < 6; ++bit)
    ((FModifierFlags >> bit) & 1 ? on : off) += static_cast<char16_t>(ModifierLetters[bit]);
  std::u16string s = u"(?" + on;
  if (!off.empty()) s += u"-" + off;
  return s + u")";
}

void TqvRegExpr::SetModifierStr(const std::u16string& value) {
  if (value.size() <= 2 || value.compare(0, 2, u"(?") != 0) return;
  // The letters are ASCII; any other unit becomes a byte that no letter has.
  std::string letters;
  for (size_t i = 2; i + 1 < value.size(); ++i)
    letters += value[i] < 0x80 ? static_cast<char>(value[i]) : '\x80';
  ParseModifiers(letters, FModifierFlags, FModifiersStatic);
  FCompileFailed = false;
}

void TqvRegExpr::SetModifierFlags(uint16_t value) {
  FModifierFlags = value;
  FCompileFailed = false;
}

void TqvRegExpr::SetModifiersStatic(uint16_t value) {
  FModifiersStatic = value;
  FCompileFailed = false;
}

void TqvRegExpr::SetCodePage(uint32_t value) {
  if (value == FCodePage) return;
  FCodePage = value;
  ClearCompiled();
}

void TqvRegExpr::SetModifier(uint16_t bits, bool on) {
  SetBit(FModifierFlags, bits, on);
  ClearCompiled();
}

void TqvRegExpr::ClearCompiled() {
  if (FRoot) FRoot->Clear();
  FCompiled = false;
  FCompileFailed = false;
  FMultiByteRoute = false;
  FLastMatch = false;
  FStartTableFor = nullptr;
  FRunShape = rsUnknown;
  FRunSystem = nullptr;
}

bool TqvRegExpr::MultiByteMode() const {
  return FMultiByteRoute || IsMultiByteCodePage(static_cast<int>(FCodePage));
}

// --- TqvRegExpr: compiling ----------------------------------------------------------------

bool TqvRegExpr::Compile() {
  if (!FCompiled) {
    if (FCompileFailed) return false;
    const int codePage = static_cast<int>(FCodePage);
    try {
      if (IsMultiByteCodePage(codePage)) {
        // Round trip through the system code page: on a system whose code page is the
        // expression's, the text arrives unchanged; elsewhere characters the system code
        // page lacks become "?".
        const std::u16string decoded =
            MultiByteToWide(WideToMultiByte(FExpression, CP_ACP), codePage);
        CompileTree(WideToMultiByte(decoded, CP_ACP), true);
      } else {
        CompileTree(WideToMultiByte(FExpression, codePage), false);
      }
    } catch (const Exception&) {  // an invalid expression never matches; analysis goes on
      FCompileFailed = true;
      return false;
    }
  }
  return !FRoot->Nodes.empty();
}

void TqvRegExpr::CompileText(const std::string& text) { CompileTree(text, false); }

void TqvRegExpr::CompileTree(const std::string& text, bool multiByteRoute) {
  if (!FRoot) FRoot = std::make_unique<TreRootNode>(this);
  ClearCompiled();
  try {
    TParser(text, *FRoot, FModifiersStatic).ParseRoot(FModifierFlags);
  } catch (...) {
    ClearCompiled();
    throw;
  }
  FMultiByteRoute = multiByteRoute;
  FCompiled = true;
  const bool multiByte = MultiByteMode();
  FinishTree(*FRoot, multiByte, ResolveCodePage(static_cast<int>(FCodePage)));
}

}  // namespace qv
