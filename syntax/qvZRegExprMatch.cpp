// Anchored backtracking matcher: walks the compiled node tree forwards or backwards from a
// scan position. One algorithm (TMatcher) serves every character mode through a text
// policy: 8-bit text in single-byte or multibyte mode, UTF-16 text seen through a code page
// (the analyzer's entry, which never converts a text), and plain 16-bit text for the node
// operations. Per-character work is table lookups; nothing is allocated while matching,
// except a code page's tables on their first use and case-insensitive back-references
// whose texts differ in more than ASCII case (those go through the locale comparison).
// In single-byte mode each consuming leaf is a 256-bit map of the bytes it takes, and each
// node knows the bytes its sequence can start with: an attempt that fails at its first
// character is answered without recursing, and a repeated character runs as a scan while
// its continuation cannot start. Both take the steps and respect the recursion limit as
// the full walk would, so results, captures and the step budget stay the same.
#include "syntax/qvZRegExpr.h"

#include <algorithm>
#include <climits>
#include <iterator>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <utility>

#include "framework/TextServices.h"
#include "syntax/qvStrUtils.h"

namespace qv {

// --- Code page tables ------------------------------------------------------------------------

// Tables of one code page that the framework does not keep, each built on first use (the
// first multibyte or wide match in that code page) and kept until the process ends.
struct TRECodePageTables {
  explicit TRECodePageTables(const TCodePageInfo& info) : Info(info) {}
  const TCodePageInfo& Info;

  // Double-byte characters: (lead << 8 | trail) → the 16-bit code, 0 when the pair does not
  // decode to exactly one unit. 128 KB.
  const char16_t* Pairs() const;
  // Single-byte code pages: each unit → the byte WideCharToMultiByte gives it ("?" for
  // units without one). 64 KB.
  const uint8_t* Bytes() const;
  // Multibyte code pages: each unit → its encoding, packed by the helpers below. 256 KB.
  const uint32_t* Encodings() const;
  // For each byte value v, the bytes whose 8-bit upper-casing is v, as a 256-bit map
  // (entry v at [4 * v]). 8 KB.
  const uint64_t* UpperPreimages() const;

private:
  mutable std::once_flag FPairsOnce, FBytesOnce, FEncodingsOnce, FPreimagesOnce;
  mutable std::unique_ptr<char16_t[]> FPairs;
  mutable std::unique_ptr<uint8_t[]> FBytes;
  mutable std::unique_ptr<uint32_t[]> FEncodings;
  mutable std::unique_ptr<uint64_t[]> FPreimages;
};

namespace {

constexpr uint32_t kCR = 13;
constexpr uint32_t kLF = 10;

// The matcher's per-character helpers, inlined into its loops whatever the optimiser thinks.
#define QV_RE_INLINE [[gnu::always_inline]] inline

// Recursion the matcher allows: one unit per repeated or last node on the continuation
// path and per entered group or look-around. A unit costs about 170 bytes of stack in an
// optimised build and 600 with AddressSanitizer, so the limit stays near 0.5 MB (2 MB
// sanitized). The deepest nesting the compiler accepts uses a sixth of it; only
// thousands of quantified items in one alternative reach it.
constexpr int kMaxDepth = 3000;

// Packed encodings: byte 0, byte 1, the byte count, and whether decoding gives the unit back.
constexpr uint8_t EncFirst(uint32_t e) { return e & 0xFF; }
constexpr uint8_t EncLast(uint32_t e) { return (e >> 16 & 3) == 2 ? (e >> 8 & 0xFF) : (e & 0xFF); }
constexpr int EncSize(uint32_t e) { return static_cast<int>(e >> 16 & 3); }
constexpr bool EncRoundTrip(uint32_t e) { return (e >> 18 & 1) != 0; }
constexpr uint32_t PackEnc(uint32_t b0, uint32_t b1, int size, bool roundTrip) {
  return b0 | b1 << 8 | static_cast<uint32_t>(size) << 16 | (roundTrip ? 1u << 18 : 0u);
}

std::mutex& TablesLock() {
  static std::mutex lock;
  return lock;
}

// The tables of a code page; the reference stays valid until the process ends.
const TRECodePageTables& TablesOf(const TCodePageInfo& info) {
  static std::map<int, std::unique_ptr<TRECodePageTables>> registry;
  std::lock_guard<std::mutex> lock(TablesLock());
  auto& slot = registry[info.CodePage];
  if (!slot) slot = std::make_unique<TRECodePageTables>(info);
  return *slot;
}

}  // namespace

const char16_t* TRECodePageTables::Pairs() const {
  std::call_once(FPairsOnce, [this] {
    FPairs = std::make_unique<char16_t[]>(0x10000);
    char pair[2];
    for (int lead = 0; lead < 256; ++lead) {
      if (!Info.LeadByte[lead]) continue;
      pair[0] = static_cast<char>(lead);
      for (int trail = 0; trail < 256; ++trail) {
        pair[1] = static_cast<char>(trail);
        const std::u16string w = MultiByteToWideChar(Info.CodePage, std::string_view(pair, 2));
        FPairs[lead << 8 | trail] = w.size() == 1 ? w[0] : 0;
      }
    }
  });
  return FPairs.get();
}

const uint8_t* TRECodePageTables::Bytes() const {
  std::call_once(FBytesOnce, [this] {
    FBytes = std::make_unique<uint8_t[]>(0x10000);
    std::u16string all(0x10000, u'\0');
    for (int u = 0; u < 0x10000; ++u) all[u] = static_cast<char16_t>(u);
    // Single-byte code pages convert unit by unit, so the converted text lines up.
    const std::string bytes = WideCharToMultiByte(Info.CodePage, all);
    for (int u = 0; u < 0x10000; ++u)
      FBytes[u] = bytes.size() == all.size() ? static_cast<uint8_t>(bytes[u]) : '?';
  });
  return FBytes.get();
}

const uint32_t* TRECodePageTables::Encodings() const {
  std::call_once(FEncodingsOnce, [this] {
    FEncodings = std::make_unique<uint32_t[]>(0x10000);
    const char16_t* pairs = Pairs();
    auto pack = [&](char16_t u, std::string_view bytes) {
      const auto b0 = static_cast<uint8_t>(bytes.empty() ? '?' : bytes[0]);
      if (bytes.size() >= 2 && Info.LeadByte[b0]) {
        const auto b1 = static_cast<uint8_t>(bytes[1]);
        return PackEnc(b0, b1, 2, pairs[b0 << 8 | b1] == u);
      }
      return PackEnc(b0, 0, 1, !Info.LeadByte[b0] && Info.ToWide[b0] == u);
    };
    // One conversion of every unit but the surrogates, split by the lead-byte rule. A lone
    // surrogate unit converts to "?" on its own.
    std::u16string all;
    all.reserve(0x10000);
    for (int u = 0; u < 0x10000; ++u)
      if (u < 0xD800 || u > 0xDFFF) all += static_cast<char16_t>(u);
    const std::string bytes = WideCharToMultiByte(Info.CodePage, all);
    size_t k = 0;
    bool aligned = true;
    for (char16_t u : all) {
      if (k >= bytes.size()) {
        aligned = false;
        break;
      }
      const bool lead = Info.LeadByte[static_cast<uint8_t>(bytes[k])];
      const size_t n = lead && k + 1 < bytes.size() ? 2 : 1;
      FEncodings[u] = pack(u, std::string_view(bytes).substr(k, n));
      k += n;
    }
    if (!aligned || k != bytes.size()) {  // not a plain double-byte code page: unit by unit
      for (char16_t u : all) FEncodings[u] = pack(u, WideCharToMultiByte(Info.CodePage, {&u, 1}));
    }
    for (int u = 0xD800; u <= 0xDFFF; ++u) FEncodings[u] = PackEnc('?', 0, 1, false);
  });
  return FEncodings.get();
}

const uint64_t* TRECodePageTables::UpperPreimages() const {
  std::call_once(FPreimagesOnce, [this] {
    FPreimages = std::make_unique<uint64_t[]>(256 * 4);
    for (uint32_t b = 0; b < 256; ++b) {
      const uint32_t v = Info.Upper[b];
      FPreimages[4 * v + (b >> 6)] |= uint64_t{1} << (b & 63);
    }
  });
  return FPreimages.get();
}

namespace {

// --- Character semantics ---------------------------------------------------------------------

inline bool IsAsciiDigit(uint32_t c) { return c >= '0' && c <= '9'; }
inline bool IsAsciiLetter(uint32_t c) { return (c | 0x20) >= 'a' && (c | 0x20) <= 'z'; }

// The built-in class letters on character-type flags; an upper-case letter is the
// complement. Letters only a hook knows answer false.
inline bool BuiltinClass(char16_t letter, uint32_t c, uint16_t type) {
  const bool complement = letter >= u'A' && letter <= u'Z';
  bool accepted;
  switch (complement ? static_cast<char16_t>(letter + 32) : letter) {
    case u'w': accepted = c == '_' || (type & (C1_ALPHA | C1_DIGIT)) != 0; break;
    case u'd': accepted = (type & C1_DIGIT) != 0; break;
    case u'l': accepted = (type & C1_ALPHA) != 0; break;
    case u's': accepted = (type & C1_SPACE) != 0; break;
    case u'h': accepted = (type & C1_XDIGIT) != 0; break;
    case u'c': accepted = c == '_' || IsAsciiDigit(c) || IsAsciiLetter(c); break;
    case u'k': accepted = IsAsciiDigit(c); break;
    case u'g': accepted = c == '_' || IsAsciiLetter(c); break;
    default: return false;
  }
  return accepted != complement;
}

inline bool MapHas(const uint64_t* map, uint32_t c) { return (map[c >> 6] >> (c & 63)) & 1; }
inline void MapSet(uint64_t* map, uint32_t c) { map[c >> 6] |= uint64_t{1} << (c & 63); }

// BuiltinClass for the codes 0..255 at once, added to map; typeOf(c) gives the type flags.
template <class TypeOf>
void AddBuiltinClass(char16_t letter, const TypeOf& typeOf, uint64_t* map) {
  const bool complement = letter >= u'A' && letter <= u'Z';
  const auto add = [&](const auto& test) {
    for (uint32_t c = 0; c < 256; ++c)
      if (test(c) != complement) MapSet(map, c);
  };
  const auto flags = [&](uint16_t mask) {
    add([&](uint32_t c) { return (typeOf(c) & mask) != 0; });
  };
  switch (complement ? static_cast<char16_t>(letter + 32) : letter) {
    case u'w':
      add([&](uint32_t c) { return c == '_' || (typeOf(c) & (C1_ALPHA | C1_DIGIT)) != 0; });
      break;
    case u'd': flags(C1_DIGIT); break;
    case u'l': flags(C1_ALPHA); break;
    case u's': flags(C1_SPACE); break;
    case u'h': flags(C1_XDIGIT); break;
    case u'c':
      add([](uint32_t c) { return c == '_' || IsAsciiDigit(c) || IsAsciiLetter(c); });
      break;
    case u'k': add([](uint32_t c) { return IsAsciiDigit(c); }); break;
    case u'g': add([](uint32_t c) { return c == '_' || IsAsciiLetter(c); }); break;
    default: break;  // letters only a hook knows accept nothing
  }
}

inline bool HookDecides(char16_t letter, uint32_t c, bool& accepted) {
  return ClassTestHook(letter, static_cast<char16_t>(c), accepted);
}

// Whether c lies in a range, a class or the single members of the set, as it stands (no
// upper-casing, no negation).
template <class Sem>
bool ListedInSet(const Sem& sem, const TCharSetNode& set, uint32_t c) {
  bool member = false;
  for (size_t i = 0; i + 1 < set.Ranges.size() && !member; i += 2)
    member = set.Ranges[i] <= c && c <= set.Ranges[i + 1];
  for (size_t i = 0; i < set.Classes.size() && !member; ++i) member = sem.Class(set.Classes[i], c);
  if (!member)
    member = c <= 0xFFFF && set.Chars.find(static_cast<char16_t>(c)) != std::u16string::npos;
  return member;
}

template <class Sem>
bool SetMember(const Sem& sem, const TCharSetNode& set, uint32_t c) {
  if (set.IgnoreCase) c = sem.Upper(c);
  return ListedInSet(sem, set, c) != set.Negate;
}

// 8-bit characters: upper-casing and classes of the system code page's tables.
struct TByteSem {
  const TCodePageInfo* System;
  bool Hook;  // ClassTestHook is set
  uint32_t Upper(uint32_t c) const { return System->Upper[c]; }
  // Class for the codes 0..255 without a hook, added to map.
  void AddClass(char16_t letter, uint64_t* map) const {
    AddBuiltinClass(letter, [this](uint32_t c) { return System->CharType[c]; }, map);
  }
  static bool LineBreak(uint32_t c) { return c == kCR || c == kLF; }
  bool Class(char16_t letter, uint32_t c) const {
    bool accepted;
    if (Hook && HookDecides(letter, c, accepted)) return accepted;
    return BuiltinClass(letter, c, System->CharType[c]);
  }
  bool InSet(const TCharSetNode& set, uint32_t c) const {
    if (set.Map8CodePage == System && !(Hook && !set.Classes.empty())) return MapHas(set.Map8, c);
    return SetMember(*this, set, c);
  }
  bool IsWord(uint8_t b) const {
    return b == '_' || (System->CharType[b] & (C1_ALPHA | C1_DIGIT)) != 0;
  }
};

// 16-bit characters: Unicode upper-casing and classes.
struct TWideSem {
  bool Hook;
  static uint32_t Upper(uint32_t c) { return CharUpperW(static_cast<char16_t>(c)); }
  static void AddClass(char16_t letter, uint64_t* map) {
    AddBuiltinClass(letter, [](uint32_t c) { return GetStringTypeW(static_cast<char16_t>(c)); },
                    map);
  }
  static bool LineBreak(uint32_t c) { return IsLineBreakChar(static_cast<char16_t>(c)); }
  bool Class(char16_t letter, uint32_t c) const {
    bool accepted;
    if (Hook && HookDecides(letter, c, accepted)) return accepted;
    return BuiltinClass(letter, c, GetStringTypeW(static_cast<char16_t>(c)));
  }
  bool InSet(const TCharSetNode& set, uint32_t c) const {
    if (c < 256 && !(Hook && !set.Classes.empty())) return MapHas(set.Map16, c);
    return SetMember(*this, set, c);
  }
};

// Whether a consuming leaf accepts the character c (already decoded, 0 at the end).
template <class Sem>
bool Accepts(const Sem& sem, const TRENodeBase* node, uint32_t c) {
  switch (node->NodeType()) {
    case ntCharSeq: {
      const auto* n = static_cast<const TCharSeqNode*>(node);
      return (n->IgnoreCase ? sem.Upper(c) : c) == n->Char;
    }
    case ntCharSet:
      return sem.InSet(*static_cast<const TCharSetNode*>(node), c);
    default: {
      const char16_t kind = static_cast<const TSpecCheckNode*>(node)->Kind;
      if (kind == u'.') return c != 0;
      if (kind == u':') return c != 0 && !sem.LineBreak(c);
      if (kind == u'z') return sem.LineBreak(c);
      return c != 0 && sem.Class(kind, c);
    }
  }
}

// --- Texts ---------------------------------------------------------------------------------
// A text policy gives the matcher, for 1-based positions:
//   Len                    the length in elements (bytes or units)
//   Fwd(p, c, w)           the character starting at p and its width; false outside
//   FwdExtent(p)           the highest position Fwd(p) reads (beyond Len: it tests the end)
//   Bwd(p, c, w)           the character ending at p - 1; false outside
//   PrevByte(p)            the byte before p (2 <= p <= Len + 1), for "^" and "$"
//   WordAt(p), WordBefore(p)  the word test of the byte at p and of the byte before p
//   RefFwd(s, n, p, ic, seen)  elements a capture [s, s + n) matches from p, or -1; seen
//                          becomes the highest position it read (Len + 1: it tested the end)
//   RefBwd(s, n, p, ic)    the same for the text ending at p
//   Sem                    the character semantics

// Texts longer than this are matched as their first kMaxLen elements: positions are int.
constexpr int kMaxLen = INT_MAX - 2;
int ClampLen(size_t size) { return static_cast<int>(std::min<size_t>(size, kMaxLen)); }

// Case-insensitive comparison of two byte strings by the user locale, as 8-bit
// back-references compare. ASCII text the system code page maps to itself is folded
// directly, which is what the locale comparison gives for it.
bool SameBytesIgnoreCase(const TCodePageInfo& system, std::string_view a, std::string_view b) {
  bool ascii = true;
  for (size_t i = 0; i < a.size() && ascii; ++i) {
    const auto x = static_cast<uint8_t>(a[i]), y = static_cast<uint8_t>(b[i]);
    ascii = x < 0x80 && y < 0x80 && system.ToWide[x] == x && system.ToWide[y] == y;
  }
  if (!ascii) return CompareStringA(a, b, NORM_IGNORECASE) == 0;
  for (size_t i = 0; i < a.size(); ++i) {
    uint8_t x = static_cast<uint8_t>(a[i]), y = static_cast<uint8_t>(b[i]);
    if (x >= 'a' && x <= 'z') x -= 32;
    if (y >= 'a' && y <= 'z') y -= 32;
    if (x != y) return false;
  }
  return true;
}

// Bytes of 8-bit text.
struct TRawBytes {
  const uint8_t* T;
  uint8_t operator()(int p) const { return T[p - 1]; }
};
// UTF-16 units as the bytes a single-byte code page encodes them to.
struct TMappedUnits {
  const char16_t* T;
  const uint8_t* Map;
  uint8_t operator()(int p) const { return Map[T[p - 1]]; }
};

// Single-byte mode: one byte a character, 8-bit semantics.
template <class ByteAt>
struct TSingleByteText {
  static constexpr bool kBytes = true;  // one byte a character: the nodes' byte maps apply
  ByteAt B;
  int Len;
  TByteSem Sem;

  bool Fwd(int p, uint32_t& c, int& w) const {
    if (p < 1 || p > Len) return false;
    c = B(p);
    w = 1;
    return true;
  }
  static int FwdExtent(int p) { return p; }
  bool Bwd(int p, uint32_t& c, int& w) const {
    if (p < 2 || p - 1 > Len) return false;
    c = B(p - 1);
    w = 1;
    return true;
  }
  uint32_t PrevByte(int p) const { return B(p - 1); }
  bool WordAt(int p) const { return Sem.IsWord(B(p)); }
  bool WordBefore(int p) const { return Sem.IsWord(B(p - 1)); }
  // Whether [q, q + n) equals the capture [s, s + n); last becomes the highest position of
  // [q, q + n) read (a case-sensitive comparison stops at the first difference).
  bool Same(int s, int n, int q, bool ignoreCase, int& last) const {
    int i = 0;
    while (i < n && B(s + i) == B(q + i)) ++i;
    last = q + n - 1;
    if (i == n) return true;
    if (!ignoreCase) {
      last = q + i;
      return false;
    }
    std::string a(static_cast<size_t>(n), '\0'), b(static_cast<size_t>(n), '\0');
    for (int k = 0; k < n; ++k) {
      a[k] = static_cast<char>(B(s + k));
      b[k] = static_cast<char>(B(q + k));
    }
    return SameBytesIgnoreCase(*Sem.System, a, b);
  }
  int RefFwd(int s, int n, int p, bool ignoreCase, int& seen) const {
    if (p < 1) return -1;
    if (p > Len - n + 1) {  // the text ends too soon
      seen = Len + 1;
      return -1;
    }
    return Same(s, n, p, ignoreCase, seen) ? n : -1;
  }
  int RefBwd(int s, int n, int p, bool ignoreCase) const {
    if (p - n < 1 || p - 1 > Len) return -1;
    int last;
    return Same(s, n, p - n, ignoreCase, last) ? n : -1;
  }
};

// Multibyte mode on 8-bit text: a character is one byte, or two when its first byte is a
// lead byte by the byte-type rule; it is decoded to one 16-bit code with 16-bit semantics.
// Back-references and the word boundary work on the bytes.
struct TMultiByteText {
  static constexpr bool kBytes = false;
  const uint8_t* T;
  int Len;
  TWideSem Sem;
  const TCodePageInfo* Cp;
  const char16_t* Pairs;
  TByteSem Bytes;  // word test of single bytes, locale comparison

  bool Lead(int p) const { return Cp->LeadByte[T[p - 1]]; }
  // 0 single, 1 lead, 2 trail (GetByteType): a trail byte ends an odd run of lead bytes.
  // Costs the length of the run of lead bytes before p, usually nothing.
  int ByteType(int p) const {
    int run = 0;
    for (int q = p - 1; q >= 1 && Lead(q); --q) ++run;
    if (run & 1) return 2;
    return Lead(p) ? 1 : 0;
  }
  bool Fwd(int p, uint32_t& c, int& w) const {
    if (p < 1 || p > Len) return false;
    const uint8_t b = T[p - 1];
    if (p < Len && Cp->LeadByte[b] && ByteType(p) == 1) {
      c = Pairs[b << 8 | T[p]];
      w = 2;
    } else {
      c = Cp->ToWide[b];  // lead bytes decode to 0 on their own
      w = 1;
    }
    return true;
  }
  // A lead byte looks at the next byte, or at the end when it is the last one.
  int FwdExtent(int p) const { return p >= 1 && p <= Len && Cp->LeadByte[T[p - 1]] ? p + 1 : p; }
  bool Bwd(int p, uint32_t& c, int& w) const {
    const int q = p - 1;
    if (q < 1 || q > Len) return false;
    if (q >= 2 && Lead(q - 1) && ByteType(q) == 2) {
      c = Pairs[T[q - 2] << 8 | T[q - 1]];
      w = 2;
    } else {
      c = Cp->ToWide[T[q - 1]];
      w = 1;
    }
    return true;
  }
  uint32_t PrevByte(int p) const { return T[p - 2]; }
  bool WordAt(int p) const { return Bytes.IsWord(T[p - 1]); }
  bool WordBefore(int p) const { return Bytes.IsWord(T[p - 2]); }
  int RefFwd(int s, int n, int p, bool ignoreCase, int& seen) const {
    TSingleByteText<TRawBytes> bytes{{T}, Len, Bytes};
    return bytes.RefFwd(s, n, p, ignoreCase, seen);
  }
  int RefBwd(int s, int n, int p, bool ignoreCase) const {
    TSingleByteText<TRawBytes> bytes{{T}, Len, Bytes};
    return bytes.RefBwd(s, n, p, ignoreCase);
  }
};

// UTF-16 text read one unit a character, with 16-bit semantics: what both unit-based texts
// share.
struct TUnitText {
  static constexpr bool kBytes = false;
  const char16_t* T;
  int Len;
  TWideSem Sem;

  bool Fwd(int p, uint32_t& c, int& w) const {
    if (p < 1 || p > Len) return false;
    c = T[p - 1];
    w = 1;
    return true;
  }
  static int FwdExtent(int p) { return p; }
  bool Bwd(int p, uint32_t& c, int& w) const {
    if (p < 2 || p - 1 > Len) return false;
    c = T[p - 2];
    w = 1;
    return true;
  }
};

// UTF-16 text in a multibyte code page: one unit a character with 16-bit semantics; the
// byte-level tests look at the bytes the code page encodes the units to, so results
// correspond to those on the converted text.
struct TMultiByteUnits : TUnitText {
  const uint32_t* Enc;
  TByteSem Bytes;

  uint32_t PrevByte(int p) const { return EncLast(Enc[T[p - 2]]); }
  bool WordAt(int p) const { return Bytes.IsWord(EncFirst(Enc[T[p - 1]])); }
  bool WordBefore(int p) const { return Bytes.IsWord(EncLast(Enc[T[p - 2]])); }
  void Append(std::string& s, int from, int count) const {
    for (int i = 0; i < count; ++i) {
      const uint32_t e = Enc[T[from - 1 + i]];
      s += static_cast<char>(EncFirst(e));
      if (EncSize(e) == 2) s += static_cast<char>(EncLast(e));
    }
  }
  // The 8-bit comparison takes as many bytes as the capture has; here the subject units
  // must cover exactly that many bytes (a match ending inside a double-byte character has
  // no unit position).
  int Ref(int s, int n, int q, int units, bool ignoreCase) const {
    int i = 0;
    while (i < n && i < units && Enc[T[s - 1 + i]] == Enc[T[q - 1 + i]]) ++i;
    if (i == n && units == n) return n;
    if (!ignoreCase) return -1;
    std::string a, b;
    Append(a, s, n);
    Append(b, q, units);
    return a.size() == b.size() && SameBytesIgnoreCase(*Bytes.System, a, b) ? units : -1;
  }
  int CapBytes(int s, int n) const {
    int bytes = 0;
    for (int i = 0; i < n; ++i) bytes += EncSize(Enc[T[s - 1 + i]]);
    return bytes;
  }
  int RefFwd(int s, int n, int p, bool ignoreCase, int& seen) const {
    if (p < 1) return -1;
    const int want = CapBytes(s, n);
    int units = 0, bytes = 0;
    while (bytes < want && p + units <= Len) bytes += EncSize(Enc[T[p - 1 + units++]]);
    seen = bytes < want ? Len + 1 : p + units - 1;  // Ref compares within these units
    if (bytes != want) return -1;
    return Ref(s, n, p, units, ignoreCase);
  }
  int RefBwd(int s, int n, int p, bool ignoreCase) const {
    if (p - 1 > Len) return -1;
    const int want = CapBytes(s, n);
    int units = 0, bytes = 0;
    while (bytes < want && p - 1 - units >= 1) bytes += EncSize(Enc[T[p - 2 - units++]]);
    if (bytes != want) return -1;
    return Ref(s, n, p - units, units, ignoreCase);
  }
};

// Plain 16-bit text (the node operations): one unit a character, 16-bit semantics
// throughout; back-references equal up to the case of ASCII letters.
struct TWideText : TUnitText {
  uint32_t PrevByte(int p) const { return T[p - 2]; }
  bool WordAt(int p) const { return IsWordChar(T[p - 1]); }
  bool WordBefore(int p) const { return IsWordChar(T[p - 2]); }
  // As TSingleByteText::Same.
  bool Same(int s, int n, int q, bool ignoreCase, int& last) const {
    for (int i = 0; i < n; ++i) {
      char16_t x = T[s - 1 + i], y = T[q - 1 + i];
      if (ignoreCase) {
        if (x >= u'a' && x <= u'z') x -= 32;
        if (y >= u'a' && y <= u'z') y -= 32;
      }
      if (x != y) {
        last = q + i;
        return false;
      }
    }
    last = q + n - 1;
    return true;
  }
  int RefFwd(int s, int n, int p, bool ignoreCase, int& seen) const {
    if (p < 1) return -1;
    if (p > Len - n + 1) {
      seen = Len + 1;
      return -1;
    }
    return Same(s, n, p, ignoreCase, seen) ? n : -1;
  }
  int RefBwd(int s, int n, int p, bool ignoreCase) const {
    if (p - n < 1 || p - 1 > Len) return -1;
    int last;
    return Same(s, n, p - n, ignoreCase, last) ? n : -1;
  }
};

// --- The matcher -----------------------------------------------------------------------------

// One match in progress: the text, the step count, the recursion depth and the reach. Back
// selects backward matching; look-arounds switch direction for their bodies.
template <class Text>
class TMatcher {
public:
  // byteMaps: the nodes' byte maps hold for this text (single-byte text in the
  // system code page the tree was finished with, and no class hook).
  TMatcher(const Text& text, uint64_t stepLimit, bool byteMaps = false)
      : X(text), FLimit(stepLimit ? stepLimit : UINT64_MAX), FMaps(Text::kBytes && byteMaps) {}

  // The highest position examined so far, Len + 1 once the end was tested (see
  // TqvRegExpr::LastReach). Whatever the match reads lies at or below it, so the outcome,
  // including a matching error, depends on nothing after it.
  int Reach() const { return static_cast<int>(std::min<int64_t>(FReach, X.Len + 1)); }

  // A node's own operation (for a branch: its whole sequence; for a group: its
  // alternatives).
  template <bool Back>
  QV_RE_INLINE int Node(TRENodeBase* n, int& p) {
    if constexpr (Text::kBytes) {
      if (FMaps && n->ByteLeaf) {
        Step();
        Touch(Back ? p - 1 : p);
        uint8_t b;
        if (!ByteAt<Back>(p, b) || !MapHas(n->ByteMap, b)) return 0;
        p += Back ? -1 : 1;
        return 1;
      }
    }
    return AnyNode<Back>(n, p);
  }

  // Node for every kind, without the byte-map shortcut.
  template <bool Back>
  int AnyNode(TRENodeBase* n, int& p) {
    Step();
    switch (n->NodeType()) {
      case ntCharSeq:
      case ntCharSet: {
        uint32_t c;
        int w;
        if (!Read<Back>(p, c, w) || !Accepts(X.Sem, n, c)) return 0;
        p += Back ? -w : w;
        return 1;
      }
      case ntSpecCheck:
        return Check<Back>(static_cast<TSpecCheckNode*>(n), p);
      case ntRef:
        return Ref<Back>(static_cast<TRefNode*>(n), p);
      case ntZeroWidth:
        return Look<Back>(static_cast<TZeroWidth*>(n), p);
      case ntBranch:
        return Branch<Back>(static_cast<TreBranchNode*>(n), p);
      case ntSubExpr:
        return Group<Back>(static_cast<TreSubExpr*>(n), p);
    }
    return 0;
  }

  // MatchSequence: n with its repetitions and its continuation up to the end of the
  // expression. Runs of simple leaves go round a loop; the results are those of matching
  // each of them in turn (a simple node passes 2 on with the continuation's end, turns 1
  // into "end after the first node" and 0 into "nothing moved").
  template <bool Back>
  QV_RE_INLINE int Sequence(TRENodeBase* n, int& p) {
    if (!n) return 2;
    if (Rejects<Back>(n, p)) return 0;
    if (!n->IsSimple) return Repeat<Back>(n, p);
    const int start = p;
    int firstEnd = 0;
    bool first = true;
    do {
      if (!Node<Back>(n, p)) {
        p = start;
        return 0;
      }
      if (first) {
        firstEnd = p;
        first = false;
      }
      n = n->Continuation;
    } while (n && n->IsSimple);
    const int r = n ? Repeat<Back>(n, p) : 2;
    if (r == 1) p = firstEnd;
    else if (r == 0) p = start;
    return r;
  }

private:
  QV_RE_INLINE void Step() {
    if (++FSteps > FLimit) throw ERegExprMatchError(SMatchStepLimit);
  }

  // Every read of the text goes through Touch with the highest position it examines; a
  // position beyond the text stands for the end test, Len + 1 (Reach clamps, which keeps
  // this to one comparison). Backward reads lie below the positions already reached, except
  // at the start of a backward match or of a look-behind before anything was consumed, so
  // they are noted as well. Backtracking mostly revisits positions below the reach, so the
  // store is conditional.
  QV_RE_INLINE void Touch(int q) {
    if (q > FReach) FReach = q;
  }

  // The character a leaf tests at p (X.Fwd or X.Bwd), noted.
  template <bool Back>
  QV_RE_INLINE bool Read(int p, uint32_t& c, int& w) {
    if constexpr (Back) {
      Touch(p - 1);
      return X.Bwd(p, c, w);
    } else {
      Touch(X.FwdExtent(p));
      return X.Fwd(p, c, w);
    }
  }

  // The byte a leaf tests at p: the one at p forward, the one before p backward. The caller
  // notes the read.
  template <bool Back>
  QV_RE_INLINE bool ByteAt(int p, uint8_t& b) const {
    if (Back ? (p < 2 || p - 1 > X.Len) : (p < 1 || p > X.Len)) return false;
    b = X.B(Back ? p - 1 : p);
    return true;
  }

  // The counts a repetition of the leaf n at p may skip by its ScanMap (see Repeat): how many
  // bytes it takes before the continuation may start, the leaf stops, its maximum or the
  // step budget is reached. Their steps are counted.
  template <bool Back>
  QV_RE_INLINE int ScanRun(const TRENodeBase* n, const TRENodeBase* cont, int p, int count) {
    const uint64_t cost = cont ? cont->RejectSteps + 1 : 1;
    uint64_t budget = (FLimit - FSteps) / cost;
    if (n->LoopMax >= 0) budget = std::min<uint64_t>(budget, n->LoopMax - count);
    // Bytes available in the direction (those ByteAt gives).
    const int avail = Back ? (p >= 2 && p - 1 <= X.Len ? p - 1 : 0)
                           : (p >= 1 && p <= X.Len ? X.Len - p + 1 : 0);
    if (budget == 0) return 0;
    if (avail <= 0) {  // at the end (or the start backward)
      Touch(Back ? p - 1 : p);
      return 0;
    }
    const int limit = static_cast<int>(std::min<uint64_t>(budget, static_cast<uint64_t>(avail)));
    const uint64_t* map = n->ScanMap;
    int k = 0;
    if (Back) {
      Touch(p - 1);
      const int from = p - 1;
      while (k < limit && MapHas(map, X.B(from - k))) ++k;
    } else {
      while (k < limit && MapHas(map, X.B(p + k))) ++k;
      // The scan read up to the byte that stopped it, or found the end at p + k = Len + 1;
      // stopped by the budget or LoopMax it read one byte less.
      Touch(k < limit || k == avail ? p + k : p + k - 1);
    }
    FSteps += cost * static_cast<uint64_t>(k);
    return k;
  }

  // Whether the sequence from n fails at once at p by its FirstMap. Such a failure takes
  // the steps and the recursion the full attempt would have taken; when those would exceed
  // a limit, the full attempt runs instead and stops where it stops.
  template <bool Back>
  QV_RE_INLINE bool Rejects(const TRENodeBase* n, int p) {
    if constexpr (Text::kBytes) {
      if (!FMaps || !n->FirstMap) return false;
      // The full attempt reads the byte again (or stops with an error first), so only a
      // rejection notes it: this runs for every node tried.
      uint8_t b;
      if (ByteAt<Back>(p, b) && MapHas(n->FirstMap, b)) return false;
      if (FDepth + n->RejectDepth > kMaxDepth || n->RejectSteps > FLimit - FSteps) return false;
      Touch(Back ? p - 1 : p);
      FSteps += n->RejectSteps;
      return true;
    } else {
      return false;
    }
  }

  struct TDepthGuard {
    explicit TDepthGuard(int& depth) : Depth(depth) {
      if (++Depth > kMaxDepth) throw ERegExprMatchError(SMatchTooDeep);
    }
    ~TDepthGuard() { --Depth; }
    int& Depth;
  };

  // The capture bound the last node of a group writes: its end forward, its start backward.
  template <bool Back>
  static int32_t& Bound(TreSubExpr* group) {
    return Back ? group->CapStart : group->CapEnd;
  }

  // The general MatchSequence. Greedy repetition keeps the outcome of the largest count
  // whose continuation reached the end, lazy repetition stops at the first; each
  // repetition is settled by its own continuation and never revisited, and a repetition
  // that does not move ends the loop. LoopMax 0 means no repetition at all.
  template <bool Back>
  int Repeat(TRENodeBase* n, int& p) {
    TDepthGuard guard(FDepth);
    Step();
    const int start = p;
    int r = 0;
    for (int i = 0; i < n->LoopMin; ++i) {
      r = Node<Back>(n, p);
      if (r == 0) {
        p = start;
        return 0;
      }
    }
    TreSubExpr* owner = n->IsLast ? static_cast<TreSubExpr*>(n->Owner) : nullptr;
    const bool group = n->NodeType() == ntSubExpr;
    TRENodeBase* const cont = n->Continuation;
    // A count whose continuation fails at once (by its first map) while the leaf takes
    // another byte changes nothing but the position and the steps: the next count's
    // outcome replaces the result and the end. Without a continuation every count reaches
    // the end and the last one decides. Such counts run as a scan.
    bool scan = false;
    if constexpr (Text::kBytes)
      scan = FMaps && n->ScanMap && (!cont || FDepth + cont->RejectDepth <= kMaxDepth);
    int result = 0, end = 0, groupEnd = 0;
    for (int count = n->LoopMin;; ++count) {
      if constexpr (Text::kBytes) {
        if (scan) {
          const int taken = ScanRun<Back>(n, cont, p, count);
          p += Back ? -taken : taken;
          count += taken;
        }
      }
      const int here = p;
      if (owner) Bound<Back>(owner) = p;  // back-references in the continuation see the group
      // A group whose own alternatives reached the end of the expression tries nothing more.
      if (!group || r != 2) r = Sequence<Back>(cont, p);
      if (r == 2) {
        end = p;
        groupEnd = here;
        p = here;
        result = 2;
        if (n->NonGreedy) break;
      } else if (owner) {
        p = here;
        end = here;
        result = 1;
      } else if (r == 1) {
        p = here;
        end = here;
        result = 1;
        if (n->NonGreedy && !Back) break;
      }
      if (n->LoopMax >= 0 && count >= n->LoopMax) break;
      const int before = p;
      const int again = Node<Back>(n, p);
      if (again == 0 || p == before) break;
      r = again;
    }
    if (result > 0) {
      p = end;
      if (owner && groupEnd > 0) Bound<Back>(owner) = groupEnd;
    } else {
      p = start;
      if (owner) Bound<Back>(owner) = 0;
    }
    return result;
  }

  template <bool Back>
  QV_RE_INLINE int Branch(TreBranchNode* b, int& p) {
    if (b->Nodes.empty()) return 1;
    return Sequence<Back>(b->Nodes.front().get(), p);
  }

  // The alternatives of a group in order: greedy takes the best result (stopping at 2),
  // lazy the first that matched. The captures a taken alternative left are kept; an
  // alternative that is not taken does not reset the position.
  template <bool Back>
  int Group(TreSubExpr* g, int& p) {
    TDepthGuard guard(FDepth);
    int keepStart = g->CapStart, keepEnd = g->CapEnd;
    g->CapStart = Back ? 0 : p;
    g->CapEnd = Back ? p : 0;
    const int start = p;
    int result = 0;
    for (auto& alternative : g->Nodes) {
      const int r = Branch<Back>(static_cast<TreBranchNode*>(alternative.get()), p);
      if (g->NonGreedy ? r > 0 : r > result) {
        keepStart = g->CapStart;
        keepEnd = g->CapEnd;
        result = r;
        p = start;
        if (g->NonGreedy || r == 2) break;
      }
    }
    g->CapStart = keepStart;
    g->CapEnd = keepEnd;
    const int bound = Back ? g->CapStart : g->CapEnd;
    if (bound > 0 && result > 0) p = bound;
    return result;
  }

  // Look-around: the body runs on a copy of the position, forward for a look-ahead and
  // backward for a look-behind (the other way round while matching backward).
  template <bool Back>
  int Look(TZeroWidth* z, int p) {
    TDepthGuard guard(FDepth);
    int q = p;
    const int r = (z->Behind != Back) ? Branch<true>(z->Body.get(), q)
                                      : Branch<false>(z->Body.get(), q);
    if (!z->Negative) return r;
    return r == 0 ? 2 : 0;
  }

  template <bool Back>
  int Ref(TRefNode* n, int& p) {
    const TreSubExpr* g = n->Group;
    if (!g || g->CapStart <= 0 || g->CapEnd <= 0) return 0;
    const int from = std::min(g->CapStart, g->CapEnd), to = std::max(g->CapStart, g->CapEnd);
    if (from == to || to - 1 > X.Len) return 0;  // a capture lies in what was examined
    int used;
    if constexpr (Back) {
      Touch(p - 1);
      used = X.RefBwd(from, to - from, p, n->IgnoreCase);
    } else {
      int seen = 0;
      used = X.RefFwd(from, to - from, p, n->IgnoreCase, seen);
      Touch(seen);
    }
    if (used < 0) return 0;
    p += Back ? -used : used;
    return 1;
  }

  // The zero-width checks, the same at p in both directions, except that backward a
  // line start after a CR needs a character at p.
  template <bool Back>
  bool ZeroWidthCheck(char16_t kind, int p) {
    // Each looks at p and before it in both directions ("\A" at nothing); "^" and "$" read
    // the character at p.
    if (kind != u'A') Touch(kind == u'^' || kind == u'$' ? X.FwdExtent(p) : p);
    if (p < 1 || p > X.Len + 1) return false;
    const bool atEnd = p == X.Len + 1;
    switch (kind) {
      case u'A': return p == 1;
      case u'Z': return atEnd;
      case u'b':
      case u'B': {
        const bool boundary = p == 1 || atEnd || X.WordAt(p) != X.WordBefore(p);
        return boundary == (kind == u'b');
      }
      default: break;
    }
    uint32_t c = 0;
    int w;
    if (!atEnd) X.Fwd(p, c, w);
    if (kind == u'$') return c == kCR || (c == kLF && (p == 1 || X.PrevByte(p) != kCR)) || atEnd;
    // '^'
    if (p == 1) return true;
    const uint32_t prev = X.PrevByte(p);
    return prev == kLF || (prev == kCR && c != kLF && !(Back && atEnd));
  }

  template <bool Back>
  int Check(TSpecCheckNode* n, int& p) {
    const char16_t kind = n->Kind;
    switch (kind) {
      case u'^': case u'$': case u'A': case u'Z': case u'b': case u'B':
        return ZeroWidthCheck<Back>(kind, p) ? 1 : 0;
      default: break;
    }
    if (!Back && p > X.Len + 1) {  // beyond the end: fails at once
      Touch(p);
      return 0;
    }
    uint32_t c;
    int w;
    if (!Read<Back>(p, c, w) || !Accepts(X.Sem, n, c)) return 0;
    p += Back ? -w : w;
    if (kind == u'z') {  // CR LF is one line break
      uint32_t c2;
      int w2;
      if (!Back && c == kCR && Read<false>(p, c2, w2) && c2 == kLF) p += w2;
      if (Back && c == kLF && Read<true>(p, c2, w2) && c2 == kCR) p -= w2;
    }
    return 1;
  }

  const Text& X;
  uint64_t FSteps = 0;
  uint64_t FLimit;
  bool FMaps;
  int FDepth = 0;
  // See Reach; may exceed Len + 1. Not an int: the positions are ints passed by reference,
  // and a store that may alias them makes the compiler reload them (it shows on bench/
  // StarChain).
  int64_t FReach = 0;
};

// --- Node operations -------------------------------------------------------------------------

template <bool Back>
int RunNode8(TRENodeBase* node, std::string_view text, int& p, int codePage) {
  const TCodePageInfo& system = CodePageInfo(CP_ACP);
  const bool hook = static_cast<bool>(ClassTestHook);
  const auto* bytes = reinterpret_cast<const uint8_t*>(text.data());
  if (codePage == -1) {
    const TSingleByteText<TRawBytes> x{{bytes}, ClampLen(text.size()), {&system, hook}};
    return TMatcher<TSingleByteText<TRawBytes>>(x, 0).Node<Back>(node, p);
  }
  const TCodePageInfo& info = CodePageInfo(codePage);
  const TMultiByteText x{bytes, ClampLen(text.size()), {hook}, &info, TablesOf(info).Pairs(),
                         {&system, hook}};
  return TMatcher<TMultiByteText>(x, 0).Node<Back>(node, p);
}

template <bool Back>
int RunNode16(TRENodeBase* node, std::u16string_view text, int& p) {
  const TWideText x{{text.data(), ClampLen(text.size()), {static_cast<bool>(ClassTestHook)}}};
  return TMatcher<TWideText>(x, 0).Node<Back>(node, p);
}

// --- The finished tree ---------------------------------------------------------------------

void LinkBranch(TreBranchNode& branch);

// Membership of the codes 0..255 in a set (SetMember for each), built from the members
// listed among 0..255; an upper-cased code above 255 is looked up on its own.
template <class Sem>
void SetMap(const Sem& sem, const TCharSetNode& set, uint64_t* map) {
  uint64_t listed[4] = {};
  for (size_t i = 0; i + 1 < set.Ranges.size(); i += 2)
    for (uint32_t c = set.Ranges[i]; c <= std::min<uint32_t>(set.Ranges[i + 1], 255); ++c)
      MapSet(listed, c);
  for (char16_t letter : set.Classes) sem.AddClass(letter, listed);
  for (char16_t c : set.Chars)
    if (c < 256) MapSet(listed, c);
  std::fill(map, map + 4, 0);
  for (uint32_t c = 0; c < 256; ++c) {
    const uint32_t u = set.IgnoreCase ? sem.Upper(c) : c;
    if ((u < 256 ? MapHas(listed, u) : ListedInSet(sem, set, u)) != set.Negate) MapSet(map, c);
  }
}

// The code page's UpperPreimages, remembered per thread for the code page last asked for
// (the tables live until the process ends), so that literals need no lock.
const uint64_t* UpperPreimagesOf(const TCodePageInfo& info) {
  thread_local const TCodePageInfo* lastInfo = nullptr;
  thread_local const uint64_t* last = nullptr;
  if (lastInfo != &info) {
    last = TablesOf(info).UpperPreimages();
    lastInfo = &info;
  }
  return last;
}

// The bytes a consuming leaf accepts by the 8-bit semantics without a hook: Accepts for
// each byte.
void LeafByteMap(const TByteSem& sem, const TRENodeBase& n, uint64_t* map) {
  std::fill(map, map + 4, 0);
  switch (n.NodeType()) {
    case ntCharSeq: {
      const auto& c = static_cast<const TCharSeqNode&>(n);
      if (!c.IgnoreCase) {
        if (c.Char < 256) MapSet(map, c.Char);
      } else if (c.Char < 256) {  // an upper-cased byte is a byte
        const uint64_t* pre = UpperPreimagesOf(*sem.System) + 4 * c.Char;
        std::copy(pre, pre + 4, map);
      }
      return;
    }
    case ntCharSet: {
      const auto& set = static_cast<const TCharSetNode&>(n);
      if (set.Map8CodePage == sem.System) {
        std::copy(std::begin(set.Map8), std::end(set.Map8), map);
        return;
      }
      break;
    }
    default: {
      const char16_t kind = static_cast<const TSpecCheckNode&>(n).Kind;
      if (kind == u'.' || kind == u':') {  // any byte but 0 (and but the line breaks)
        std::fill(map, map + 4, ~uint64_t{0});
        map[0] &= ~uint64_t{1};
        if (kind == u':') map[0] &= ~(uint64_t{1} << kCR | uint64_t{1} << kLF);
        return;
      }
      if (kind == u'z') {
        MapSet(map, kCR);
        MapSet(map, kLF);
        return;
      }
      sem.AddClass(kind, map);
      map[0] &= ~uint64_t{1};  // as in Accepts, no class takes the byte 0
      return;
    }
  }
  for (uint32_t b = 0; b < 256; ++b)
    if (Accepts(sem, &n, b)) MapSet(map, b);
}

// Characters, sets, and the checks (TSpecCheckNode) that consume a character.
bool IsConsumingLeaf(const TRENodeBase& n) {
  if (n.NodeType() == ntCharSeq || n.NodeType() == ntCharSet) return true;
  if (n.NodeType() != ntSpecCheck) return false;
  switch (static_cast<const TSpecCheckNode&>(n).Kind) {
    case u'^': case u'$': case u'A': case u'Z': case u'b': case u'B': return false;
    default: return true;
  }
}

// Continuations are set top-down: a node's continuation may be its owner's.
void LinkNodes(TreListNodeBase& list) {
  for (auto& child : list.Nodes) LinkBranch(static_cast<TreBranchNode&>(*child));
}

void LinkBranch(TreBranchNode& branch) {
  for (auto& child : branch.Nodes) {
    TRENodeBase& n = *child;
    n.Continuation = n.Next ? n.Next : (n.Owner ? n.Owner->Continuation : nullptr);
    n.IsLast = n.Owner && (!n.Next || n.Next->Owner != n.Owner);
    const bool leaf = n.NodeType() != ntSubExpr && n.NodeType() != ntBranch;
    n.IsSimple = leaf && n.LoopMin == 1 && n.LoopMax == 1 && !n.IsLast;
    if (n.NodeType() == ntSubExpr) {
      LinkNodes(static_cast<TreSubExpr&>(n));
    } else if (n.NodeType() == ntZeroWidth) {
      TreBranchNode& body = *static_cast<TZeroWidth&>(n).Body;
      body.Continuation = nullptr;
      LinkBranch(body);
    } else if (n.NodeType() == ntCharSet) {
      auto& set = static_cast<TCharSetNode&>(n);
      const TByteSem bytes{&CodePageInfo(CP_ACP), false};
      const TWideSem wide{false};
      SetMap(bytes, set, set.Map8);
      SetMap(wide, set, set.Map16);
      set.Map8CodePage = bytes.System;
    }
    if (IsConsumingLeaf(n)) {
      LeafByteMap(TByteSem{&CodePageInfo(CP_ACP), false}, n, n.ByteMap);
      n.ByteLeaf = !(n.NodeType() == ntSpecCheck && static_cast<TSpecCheckNode&>(n).Kind == u'z');
    }
  }
}

// First maps, children first: a consuming leaf that must match starts with its own bytes; a
// group that must match starts with those of its alternatives' first nodes when each has one.
void FirstMaps(TreBranchNode& branch);

void FirstMaps(TRENodeBase& n) {
  n.FirstMap = nullptr;
  n.OwnMap.reset();
  if (n.NodeType() == ntSubExpr) {
    for (auto& alternative : static_cast<TreSubExpr&>(n).Nodes)
      FirstMaps(static_cast<TreBranchNode&>(*alternative));
  } else if (n.NodeType() == ntZeroWidth) {
    FirstMaps(*static_cast<TZeroWidth&>(n).Body);
  }
  if (n.LoopMin < 1 || n.LoopMax == 0) return;
  if (IsConsumingLeaf(n)) {
    n.FirstMap = n.ByteMap;
    // A simple node is tried by Node alone; any other by Repeat, whose first Node fails.
    n.RejectSteps = n.IsSimple ? 1 : 2;
    n.RejectDepth = n.IsSimple ? 0 : 1;
    return;
  }
  if (n.NodeType() != ntSubExpr) return;
  // Repeat, then the group's Node and Group, each alternative failing at its first node.
  uint64_t map[4] = {};
  uint64_t steps = 2;
  int32_t depth = 2;
  for (auto& alternative : static_cast<TreSubExpr&>(n).Nodes) {
    const auto& b = static_cast<TreBranchNode&>(*alternative);
    if (b.Nodes.empty() || !b.Nodes.front()->FirstMap) return;
    const TRENodeBase& first = *b.Nodes.front();
    for (int i = 0; i < 4; ++i) map[i] |= first.FirstMap[i];
    steps += first.RejectSteps;
    depth = std::max(depth, 2 + first.RejectDepth);
  }
  n.OwnMap = std::make_unique<uint64_t[]>(4);
  std::copy(std::begin(map), std::end(map), n.OwnMap.get());
  n.FirstMap = n.OwnMap.get();
  n.RejectSteps = steps;
  n.RejectDepth = depth;
}

void FirstMaps(TreBranchNode& branch) {
  for (auto& child : branch.Nodes) FirstMaps(*child);
}

// Scan maps, once every first map is known (a continuation may lie in an outer group).
void ScanMaps(TreBranchNode& branch) {
  for (auto& child : branch.Nodes) {
    TRENodeBase& n = *child;
    if (n.NodeType() == ntSubExpr) {
      for (auto& alternative : static_cast<TreSubExpr&>(n).Nodes)
        ScanMaps(static_cast<TreBranchNode&>(*alternative));
    } else if (n.NodeType() == ntZeroWidth) {
      ScanMaps(*static_cast<TZeroWidth&>(n).Body);
    }
    n.ScanMap = nullptr;
    if (!n.ByteLeaf) continue;
    const TRENodeBase* cont = n.Continuation;
    if (!cont) {
      if (!n.NonGreedy) n.ScanMap = n.ByteMap;
    } else if (cont->FirstMap) {
      n.OwnMap = std::make_unique<uint64_t[]>(4);  // a leaf has no map of its own yet
      for (int i = 0; i < 4; ++i) n.OwnMap[i] = n.ByteMap[i] & ~cont->FirstMap[i];
      n.ScanMap = n.OwnMap.get();
    }
  }
}

// Start-filter analysis: which bytes can be the first of a forward match.
struct TFirstChars {
  bool MultiByte;
  const TCodePageInfo* Cp;
  TByteSem Bytes;
  TWideSem Wide;
  uint64_t Bits[4] = {};
  bool Any = false;
  bool UsesClasses = false;

  void AddLeaf(const TRENodeBase& n) {
    if (n.NodeType() == ntCharSet && !static_cast<const TCharSetNode&>(n).Classes.empty())
      UsesClasses = true;
    if (n.NodeType() == ntSpecCheck) {
      const char16_t kind = static_cast<const TSpecCheckNode&>(n).Kind;
      if (kind != u'.' && kind != u':' && kind != u'z') UsesClasses = true;
    }
    if (!MultiByte) {  // the byte map holds the same answers
      for (int i = 0; i < 4; ++i) Bits[i] |= n.ByteMap[i];
      return;
    }
    for (uint32_t b = 0; b < 256; ++b) {
      const bool can = MultiByte ? (Cp->LeadByte[b] || Accepts(Wide, &n, Cp->ToWide[b]))
                                 : Accepts(Bytes, &n, b);
      if (can) MapSet(Bits, b);
    }
  }

  // Adds the first bytes of n; returns whether n can match without consuming.
  bool AddNode(const TRENodeBase& n) {
    if (n.LoopMax == 0) return true;  // {0}: matches empty
    bool nullable = false;
    switch (n.NodeType()) {
      case ntCharSeq:
      case ntCharSet:
        AddLeaf(n);
        break;
      case ntSpecCheck: {
        const char16_t kind = static_cast<const TSpecCheckNode&>(n).Kind;
        if (kind == u'^' || kind == u'$' || kind == u'A' || kind == u'Z' || kind == u'b' ||
            kind == u'B')
          nullable = true;
        else
          AddLeaf(n);
        break;
      }
      case ntRef:  // depends on captures: anything may start
        Any = true;
        return true;
      case ntZeroWidth:
        nullable = true;
        break;
      case ntBranch:
        nullable = AddBranch(static_cast<const TreBranchNode&>(n));
        break;
      case ntSubExpr:
        for (const auto& alternative : static_cast<const TreSubExpr&>(n).Nodes)
          if (AddBranch(static_cast<const TreBranchNode&>(*alternative))) nullable = true;
        break;
    }
    return nullable || n.LoopMin == 0;
  }

  bool AddBranch(const TreBranchNode& b) {
    for (const auto& n : b.Nodes) {
      if (!AddNode(*n)) return false;
      if (Any) return true;
    }
    return true;
  }
};

}  // namespace

void FinishTree(TreRootNode& root, bool multiByte, int codePage) {
  root.Continuation = nullptr;
  LinkNodes(root);
  for (auto& alternative : root.Nodes) FirstMaps(static_cast<TreBranchNode&>(*alternative));
  for (auto& alternative : root.Nodes) ScanMaps(static_cast<TreBranchNode&>(*alternative));
  root.ByteMapCodePage = &CodePageInfo(CP_ACP);

  TFirstChars first{multiByte, &CodePageInfo(codePage), {&CodePageInfo(CP_ACP), false}, {false}};
  const bool nullable = first.AddNode(root);
  TStartFilter& f = root.StartFilter;
  f = TStartFilter();
  f.Any = nullable || first.Any;
  f.MultiByte = multiByte;
  f.UsesClasses = first.UsesClasses;
  f.SystemCodePage = first.Bytes.System;
  f.CodePage = first.Cp;
  std::copy(std::begin(first.Bits), std::end(first.Bits), std::begin(f.Bits));
}

// One-line node operations: each runs the shared matcher on the node.
#define QV_RE_NODE_OPS(Class)                                                              \
  int Class::MatchForward(std::string_view text, int& p, int codePage) {                   \
    return RunNode8<false>(this, text, p, codePage);                                       \
  }                                                                                        \
  int Class::MatchBackward(std::string_view text, int& p, int codePage) {                  \
    return RunNode8<true>(this, text, p, codePage);                                        \
  }                                                                                        \
  int Class::MatchForwardWide(std::u16string_view text, int& p) {                          \
    return RunNode16<false>(this, text, p);                                                \
  }                                                                                        \
  int Class::MatchBackwardWide(std::u16string_view text, int& p) {                         \
    return RunNode16<true>(this, text, p);                                                 \
  }
QV_RE_NODE_OPS(TCharSeqNode)
QV_RE_NODE_OPS(TCharSetNode)
QV_RE_NODE_OPS(TSpecCheckNode)
QV_RE_NODE_OPS(TRefNode)
QV_RE_NODE_OPS(TZeroWidth)
QV_RE_NODE_OPS(TreBranchNode)
QV_RE_NODE_OPS(TreSubExpr)
#undef QV_RE_NODE_OPS

// --- TqvRegExpr: matching ------------------------------------------------------------------

const TRECodePageTables& TqvRegExpr::Tables(const TCodePageInfo& codePage) {
  if (FTablesFor != &codePage) {
    FTables = &TablesOf(codePage);
    FTablesFor = &codePage;
  }
  return *FTables;
}

template <class Text>
bool TqvRegExpr::RunMatch(const Text& subject, int& pos, bool backward) {
  TreRootNode& root = *FRoot;
  for (TreSubExpr* group : root.SubExprs) group->CapStart = group->CapEnd = -1;
  bool byteMaps = false;
  if constexpr (Text::kBytes)
    byteMaps = subject.Sem.System == root.ByteMapCodePage && !subject.Sem.Hook;
  TMatcher<Text> matcher(subject, FStepLimit, byteMaps);
  int p = pos;
  int r;
  try {
    r = backward ? matcher.template Node<true>(&root, p) : matcher.template Node<false>(&root, p);
  } catch (const ERegExprMatchError&) {  // the caller gets the error; keep the reach it came from
    FLastReach = matcher.Reach();
    throw;
  }
  FLastReach = matcher.Reach();
  FLastMatch = r != 0;
  if (FLastMatch) {
    const int end = backward ? root.CapStart : root.CapEnd;
    pos = end > 0 ? end : p;
  }
  return FLastMatch;
}

namespace {

// Whether the start filter may decide at all for this match.
bool FilterUsable(const TStartFilter& f, bool multiByte, const TCodePageInfo& system,
                  const TCodePageInfo& codePage, bool hook) {
  return !f.Any && f.MultiByte == multiByte && f.SystemCodePage == &system &&
         (!multiByte || f.CodePage == &codePage) && !(hook && f.UsesClasses);
}

}  // namespace

bool TqvRegExpr::PrepareMatch(int& pos, TMatchRoute& route) {
  if (!(FCompiled ? !FRoot->Nodes.empty() : Compile())) {
    FLastReach = 0;  // nothing can match, whatever the text
    return false;
  }
  if (pos <= 0) pos = 1;
  route.System = &CodePageInfo(CP_ACP);
  route.Info = FCodePage == CP_ACP ? route.System : &CodePageInfo(static_cast<int>(FCodePage));
  route.MultiByte = FMultiByteRoute || route.Info->MaxCharSize > 1;
  route.Hook = static_cast<bool>(ClassTestHook);
  return true;
}

void TqvRegExpr::FindRunShape() {
  FRunShape = rsNone;
  FRunSteps.clear();
  const TreRootNode& root = *FRoot;
  if (root.Nodes.empty() || root.SubExprs.size() != 1 || root.LoopMin != 1 || root.LoopMax != 1) return;
  auto leaf = [](const TRENodeBase& n) {
    return n.ByteLeaf && (n.LoopMin == 0 || n.LoopMin == 1) && (n.LoopMax == 1 || n.LoopMax == -1) &&
           !n.NonGreedy;
  };
  auto disjoint = [](const uint64_t* a, const uint64_t* b) {
    return !((a[0] & b[0]) | (a[1] & b[1]) | (a[2] & b[2]) | (a[3] & b[3]));
  };
  std::vector<TRunStep> steps;
  for (const auto& alternative : root.Nodes) {
    const auto& seq = static_cast<const TreBranchNode&>(*alternative).Nodes;
    if (seq.empty()) return;
    const size_t first = steps.size();
    for (size_t i = 0; i < seq.size(); ++i) {
      const TRENodeBase& n = *seq[i];
      if (n.NodeType() == ntZeroWidth) {
        // A look-ahead at one leaf, last in its alternative.
        const auto& look = static_cast<const TZeroWidth&>(n);
        if (look.Behind || look.Negative || i + 1 != seq.size() || n.LoopMin != 1 || n.LoopMax != 1 || !look.Body ||
            look.Body->Nodes.size() != 1)
          return;
        const TRENodeBase& body = *look.Body->Nodes.front();
        if (!body.ByteLeaf || body.LoopMin != 1 || body.LoopMax != 1) return;
        steps.push_back({body.ByteMap, false, false, true, false});
        continue;
      }
      if (!leaf(n)) return;
      steps.push_back({n.ByteMap, n.LoopMin == 0, n.LoopMax == -1, false, false});
    }
    steps.back().AltEnd = true;
    // A leaf that may take more or fewer units must share none with the leaves that may
    // follow it, up to the first that must match.
    for (size_t i = first; i < steps.size(); ++i) {
      if (!steps[i].Optional && !steps[i].Many) continue;
      for (size_t j = i + 1; j < steps.size(); ++j) {
        if (!disjoint(steps[i].Map, steps[j].Map)) return;
        if (!steps[j].Optional) break;
      }
    }
  }
  FRunSteps = std::move(steps);
  FRunShape = rsSteps;
}

bool TqvRegExpr::RunSteps(std::u16string_view text, const uint8_t* map, int& pos) {
  const int len = static_cast<int>(text.size());
  // Every test reads the unit at its position, or finds the end there (len + 1).
  int reach = 0;
  auto has = [&](const uint64_t* m, int p) { return p <= len && MapHas(m, map[text[static_cast<size_t>(p - 1)]]); };
  const TRunStep* s = FRunSteps.data();
  const TRunStep* const end = s + FRunSteps.size();
  while (s != end) {
    int p = pos;
    bool ok = true;
    for (;; ++s) {
      if (ok) {
        if (s->Many) {
          const int from = p;
          while (has(s->Map, p)) ++p;
          reach = std::max(reach, std::min(p, len + 1));
          ok = s->Optional || p > from;
        } else {
          reach = std::max(reach, std::min(p, len + 1));
          if (has(s->Map, p)) {
            if (!s->Look) ++p;
          } else {
            ok = s->Optional;
          }
        }
      }
      if (s->AltEnd) break;
    }
    ++s;
    if (ok) {
      FLastReach = reach;
      FLastMatch = true;
      FRoot->CapStart = pos;
      FRoot->CapEnd = p;
      pos = p;
      return true;
    }
  }
  FLastReach = reach;
  FLastMatch = false;
  return false;
}

bool TqvRegExpr::BuildStartTable(const TCodePageInfo& system) {
  FStartTableFor = nullptr;
  int pos = 1;
  TMatchRoute route;
  if (!PrepareMatch(pos, route) || route.System != &system) return false;
  const TStartFilter& f = FRoot->StartFilter;
  FStartTableUsable = !route.MultiByte && FilterUsable(f, false, *route.System, *route.Info, route.Hook);
  if (FStartTableUsable) {
    const uint8_t* map = Tables(*route.Info).Bytes();
    for (int u = 0; u < 256; ++u) FStartTable[u] = f.Allows(map[u]) ? 1 : 0;
  }
  FStartTableFor = &system;
  return true;
}

bool TqvRegExpr::Match(const std::string& text, int& pos, bool backward) {
  TMatchRoute route;
  if (!PrepareMatch(pos, route)) return false;
  const TCodePageInfo& system = *route.System;
  const TCodePageInfo& info = *route.Info;
  const bool multiByte = route.MultiByte;
  const bool hook = route.Hook;
  const int len = ClampLen(text.size());
  const auto* bytes = reinterpret_cast<const uint8_t*>(text.data());
  const TStartFilter& f = FRoot->StartFilter;
  if (!backward && FilterUsable(f, multiByte, system, info, hook) &&
      (pos > len || !f.Allows(bytes[pos - 1]))) {
    FLastMatch = false;
    FLastReach = std::min(pos, len + 1);  // the filter read the byte at pos or found the end
    return false;
  }
  if (multiByte) {
    const TMultiByteText x{bytes, len, {hook}, &info, Tables(info).Pairs(), {&system, hook}};
    return RunMatch(x, pos, backward);
  }
  const TSingleByteText<TRawBytes> x{{bytes}, len, {&system, hook}};
  return RunMatch(x, pos, backward);
}

bool TqvRegExpr::MatchWide(std::u16string_view text, int& pos, bool backward) {
  // An expression the loop matches goes straight to it while the system code page and the
  // settings it was found under hold (a compile or a change of code page clears it).
  if (FRunSystem && !backward && pos >= 1 && FStepLimit == 0 && !ClassTestHook && FRunSystem == &CodePageInfo(CP_ACP)) {
    const int len = ClampLen(text.size());
    if (pos <= len + 1) return RunSteps(text.substr(0, static_cast<size_t>(len)), FRunMap, pos);
  }
  TMatchRoute route;
  if (!PrepareMatch(pos, route)) return false;
  const TCodePageInfo& system = *route.System;
  const TCodePageInfo& info = *route.Info;
  const bool multiByte = route.MultiByte;
  const bool hook = route.Hook;
  const int len = ClampLen(text.size());
  const TStartFilter& f = FRoot->StartFilter;
  const bool filter = !backward && FilterUsable(f, multiByte, system, info, hook);
  if (multiByte) {
    const uint32_t* enc = Tables(info).Encodings();
    if (filter) {
      // Units that are one byte of the code page are judged by that byte; any other unit
      // (double-byte, or not in the code page) goes to the tree.
      if (pos > len) {
        FLastMatch = false;
        FLastReach = len + 1;
        return false;
      }
      const uint32_t e = enc[text[pos - 1]];
      if (EncSize(e) == 1 && EncRoundTrip(e) && !f.Allows(EncFirst(e))) {
        FLastMatch = false;
        FLastReach = pos;
        return false;
      }
    }
    const TMultiByteUnits x{{text.data(), len, {hook}}, enc, {&system, hook}};
    return RunMatch(x, pos, backward);
  }
  const uint8_t* map = Tables(info).Bytes();
  if (filter && (pos > len || !f.Allows(map[text[pos - 1]]))) {
    FLastMatch = false;
    FLastReach = std::min(pos, len + 1);
    return false;
  }
  // The common shapes by a loop: the same outcome, end, reach and root capture as the
  // matcher's.
  if (!backward && !hook && FStepLimit == 0 && FRoot->ByteMapCodePage == &system) {
    if (FRunShape == rsUnknown) FindRunShape();
    if (FRunShape == rsSteps && pos <= len + 1) {
      FRunSystem = &system;
      FRunMap = map;
      return RunSteps(text.substr(0, static_cast<size_t>(len)), map, pos);
    }
  }
  const TSingleByteText<TMappedUnits> x{{text.data(), map}, len, {&system, hook}};
  return RunMatch(x, pos, backward);
}

int TqvRegExpr::MatchLength(const std::string& text, int pos, bool backward) {
  const int start = std::max(pos, 1);
  int p = start;
  if (!Match(text, p, backward)) return 0;
  return backward ? start - p : p - start;
}

int TqvRegExpr::MatchLengthWide(std::u16string_view text, int pos, bool backward) {
  const int start = std::max(pos, 1);
  int p = start;
  if (!MatchWide(text, p, backward)) return 0;
  return backward ? start - p : p - start;
}

}  // namespace qv
