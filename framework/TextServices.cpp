// Platform text services on ICU. Code pages are opened once through ICU and turned into
// 256-entry tables; single-byte code pages then convert through those tables alone, while
// multibyte code pages and UTF-8 convert through per-thread ICU converters whose error
// callbacks give the platform's substitutions. Character types and upper-casing of 16-bit
// characters come from two 64K tables built once from ICU's character data.
#include "framework/TextServices.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <unordered_map>

#include <unicode/ucnv.h>
#include <unicode/ucnv_cb.h>
#include <unicode/ucol.h>
#include <unicode/uchar.h>
#include <unicode/uloc.h>
#include <unicode/ustring.h>

#include "framework/SysUtils.h"

namespace qv {

namespace {

inline constexpr const char* SCodePageNotSupported = "Code page %d is not supported";

inline constexpr char16_t kReplacementChar = 0xFFFD;

struct TConverterCloser {
  void operator()(UConverter* cnv) const { ucnv_close(cnv); }
};
using TConverterPtr = std::unique_ptr<UConverter, TConverterCloser>;

struct TCollatorCloser {
  void operator()(UCollator* coll) const { ucol_close(coll); }
};
using TCollatorPtr = std::unique_ptr<UCollator, TCollatorCloser>;

// ICU takes 32-bit lengths. Text of 2^31 units and more is compared by its first 2^31 - 1.
int32_t Length32(size_t size) {
  return static_cast<int32_t>(std::min<size_t>(size, INT32_MAX));
}

// ICU rejects a null pointer even with length 0, which an empty view may carry.
const UChar* Chars(std::u16string_view s) {
  return s.empty() ? u"" : s.data();
}

// --- 16-bit character tables -------------------------------------------------------------------

// Types and upper case of 256 consecutive UTF-16 units.
struct TUnicodePage {
  uint16_t Type[256];
  char16_t Upper[256];
};

uint16_t TypeOfCategory(int8_t category) {
  switch (category) {
    case U_UPPERCASE_LETTER:
      return C1_ALPHA | C1_UPPER;
    case U_LOWERCASE_LETTER:
      return C1_ALPHA | C1_LOWER;
    case U_TITLECASE_LETTER:
    case U_OTHER_LETTER:
      return C1_ALPHA;
    case U_DECIMAL_DIGIT_NUMBER:
      return C1_DIGIT;
    case U_SPACE_SEPARATOR:
    case U_LINE_SEPARATOR:
    case U_PARAGRAPH_SEPARATOR:
      return C1_SPACE;
    case U_CONTROL_CHAR:
      return C1_CNTRL;
    // The platform counts modifier letters, marks and non-decimal numbers as punctuation.
    case U_MODIFIER_LETTER:
    case U_NON_SPACING_MARK:
    case U_COMBINING_SPACING_MARK:
    case U_ENCLOSING_MARK:
    case U_LETTER_NUMBER:
    case U_OTHER_NUMBER:
    case U_DASH_PUNCTUATION:
    case U_START_PUNCTUATION:
    case U_END_PUNCTUATION:
    case U_CONNECTOR_PUNCTUATION:
    case U_OTHER_PUNCTUATION:
    case U_INITIAL_PUNCTUATION:
    case U_FINAL_PUNCTUATION:
    case U_MATH_SYMBOL:
    case U_CURRENCY_SYMBOL:
    case U_MODIFIER_SYMBOL:
    case U_OTHER_SYMBOL:
      return C1_PUNCT;
    default:  // format, surrogate, private use, unassigned
      return 0;
  }
}

// The platform's upper case of one UTF-16 unit (itself when it has none in the BMP).
char16_t UpperOfUnit(UChar32 c) {
  const UChar32 upper = u_toupper(c);
  return upper <= 0xFFFF ? static_cast<char16_t>(upper) : static_cast<char16_t>(c);
}

// The character-type flags of one UTF-16 unit whose upper case is upper, as the platform
// gives them.
uint16_t TypeOfUnit(UChar32 c, UChar32 upper) {
  if (c >= 0xD800 && c <= 0xDFFF) return 0;
  uint16_t type = TypeOfCategory(u_charType(c));
  // Case follows the mappings, not only the category: titlecase letters get both, and
  // marks with a case mapping (U+0345) become letters.
  if (u_tolower(c) != c) type |= C1_UPPER | C1_ALPHA;
  if (upper != c) type |= C1_LOWER | C1_ALPHA;
  auto in = [c](UChar32 first, UChar32 last) { return c >= first && c <= last; };
  if (in(u'0', u'9') || in(u'A', u'F') || in(u'a', u'f') || in(0xFF10, 0xFF19) || in(0xFF21, 0xFF26) ||
      in(0xFF41, 0xFF46))
    type |= C1_XDIGIT;
  if (in(0x0009, 0x000D) || c == 0x0085) type |= C1_SPACE;
  if (c == 0x0009 || c == 0x0020 || c == 0x00A0 || c == 0x3000 || c == 0xFEFF) type |= C1_BLANK;
  // Format characters the platform classifies as controls.
  if (c == 0x070F || in(0x180B, 0x180E) || in(0x200C, 0x200F) || in(0x202A, 0x202E) || in(0x206A, 0x206F) ||
      c == 0xFEFF || in(0xFFF9, 0xFFFB))
    type |= C1_CNTRL;
  // Superscripts one, two and three are digits on the platform (and stay punctuation).
  if (c == 0x00B2 || c == 0x00B3 || c == 0x00B9) type |= C1_DIGIT;
  return type;
}

// The tables of the BMP, built a page of 256 units at a time on first use (a whole BMP
// takes milliseconds, and most programs meet a few pages), read-only afterwards.
class TUnicodeTables {
public:
  const TUnicodePage& Page(char16_t c) {
    const size_t index = c >> 8;
    if (const TUnicodePage* page = FPages[index].load(std::memory_order_acquire)) return *page;
    std::lock_guard<std::mutex> lock(FLock);
    if (!FOwned[index]) {
      auto page = std::make_unique<TUnicodePage>();
      for (int i = 0; i < 256; ++i) {
        const UChar32 unit = static_cast<UChar32>(index << 8 | i);
        page->Upper[i] = UpperOfUnit(unit);
        page->Type[i] = TypeOfUnit(unit, u_toupper(unit));
      }
      FOwned[index] = std::move(page);
      FPages[index].store(FOwned[index].get(), std::memory_order_release);
    }
    return *FOwned[index];
  }

private:
  std::atomic<const TUnicodePage*> FPages[256] = {};
  std::unique_ptr<TUnicodePage> FOwned[256];  // under FLock
  std::mutex FLock;
};

TUnicodeTables& UnicodeTables() {
  static TUnicodeTables tables;
  return tables;
}

// --- Code pages ----------------------------------------------------------------------------------

enum TCodePageKind : uint8_t { ckSingleByte, ckMultiByte, ckUTF8 };

// One code page: its public tables plus what the conversions need. Never freed before exit,
// so references handed out stay valid.
struct TCodePageData {
  TCodePageInfo Info;
  TCodePageKind Kind = ckSingleByte;
  std::string IcuName;  // the name that opened the ICU converter
  uint8_t NulByte = 0;  // the byte decoding to U+0000
  // ICU's tables of IBM origin rotate three controls (byte 1A → U+001C, 1C → U+007F,
  // 7F → U+001A) where the platform maps them to themselves. The tables are corrected when
  // built; conversions through ICU permute the three on the way in (see UnrotateBytes).
  bool RotatedControls = false;

  // Single-byte code pages: character → byte, 0 for "none" (U+0000 goes to NulByte).
  // 64 KB, built on the first conversion to the code page.
  std::once_flag ReverseOnce;
  std::unique_ptr<uint8_t[]> Reverse;
};

bool IsUnusableConverterType(UConverterType type, int codePage) {
  switch (type) {
    // Not byte-oriented: there are no single bytes to build tables from (the platform
    // offers these two to managed code only).
    case UCNV_UTF16_BigEndian:
    case UCNV_UTF16_LittleEndian:
    case UCNV_UTF16:
    case UCNV_UTF32_BigEndian:
    case UCNV_UTF32_LittleEndian:
    case UCNV_UTF32:
      return true;
    // UTF-8 goes by its own number only; ICU's IBM alias 1208 is no platform code page.
    case UCNV_UTF8:
      return codePage != CP_UTF8;
    default:
      return false;
  }
}

// Opens the ICU converter of a platform code page number, or returns null.
TConverterPtr OpenCodePageConverter(int codePage, std::string* icuName = nullptr) {
  if (codePage <= CP_OEMCP || codePage > 0xFFFF) return nullptr;
  // Windows numbers most code pages itself; IBM numbers the DOS ones; Latin-1 has neither.
  char names[4][32];
  int count = 0;
  std::snprintf(names[count++], sizeof names[0], "windows-%d", codePage);
  std::snprintf(names[count++], sizeof names[0], "cp%d", codePage);
  std::snprintf(names[count++], sizeof names[0], "ibm-%d", codePage);
  if (codePage == 28591) std::snprintf(names[count++], sizeof names[0], "ISO-8859-1");
  for (int i = 0; i < count; ++i) {
    UErrorCode err = U_ZERO_ERROR;
    TConverterPtr cnv(ucnv_open(names[i], &err));
    if (U_FAILURE(err) || !cnv) continue;
    if (IsUnusableConverterType(ucnv_getType(cnv.get()), codePage)) return nullptr;
    if (icuName) *icuName = names[i];
    return cnv;
  }
  return nullptr;
}

// Decodes one byte on its own; false when ICU has no single character for it.
bool DecodeSingleByte(UConverter* cnv, uint8_t byte, char16_t& result) {
  ucnv_reset(cnv);
  const char in = static_cast<char>(byte);
  UChar out[4];
  UErrorCode err = U_ZERO_ERROR;
  const int32_t n = ucnv_toUChars(cnv, out, 4, &in, 1, &err);
  if (U_FAILURE(err) || n != 1 || U16_IS_SURROGATE(out[0])) return false;
  result = out[0];
  return true;
}

std::unique_ptr<TCodePageData> BuildCodePage(int codePage) {
  std::string icuName;
  TConverterPtr cnv = OpenCodePageConverter(codePage, &icuName);
  if (!cnv) return nullptr;
  auto data = std::make_unique<TCodePageData>();
  data->IcuName = icuName;
  TCodePageInfo& info = data->Info;
  info.CodePage = codePage;

  // Unmapped bytes must fail rather than decode to ICU's substitution character.
  UErrorCode err = U_ZERO_ERROR;
  ucnv_setToUCallBack(cnv.get(), UCNV_TO_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &err);
  ucnv_setFallback(cnv.get(), false);

  bool decodable[256] = {};
  if (codePage == CP_UTF8) {
    data->Kind = ckUTF8;
    info.MaxCharSize = 4;  // ICU says 3: it counts per UTF-16 unit
    for (int b = 0; b < 0x80; ++b) {
      info.ToWide[b] = static_cast<char16_t>(b);
      decodable[b] = true;
    }
  } else {
    info.MaxCharSize = ucnv_getMaxCharSize(cnv.get());
    data->Kind = info.MaxCharSize == 1 ? ckSingleByte : ckMultiByte;
    if (data->Kind == ckMultiByte) {
      UBool starters[256] = {};
      err = U_ZERO_ERROR;
      ucnv_getStarters(cnv.get(), starters, &err);  // fails for non-table converters: none
      if (U_SUCCESS(err))
        for (int b = 0; b < 256; ++b) info.LeadByte[b] = starters[b];
    }
    for (int b = 0; b < 256; ++b) {
      if (info.LeadByte[b]) continue;
      const uint8_t byte = static_cast<uint8_t>(b);
      // A byte the code page leaves undefined stands for the code point of the same value,
      // as the platform does for the holes of 1252 (0x81, 0x8D, 0x8F, 0x90, 0x9D).
      if (!DecodeSingleByte(cnv.get(), byte, info.ToWide[b])) info.ToWide[b] = byte;
      decodable[b] = true;
    }
    if (info.ToWide[0x1A] == 0x1C && info.ToWide[0x1C] == 0x7F && info.ToWide[0x7F] == 0x1A) {
      data->RotatedControls = true;
      info.ToWide[0x1A] = 0x1A;
      info.ToWide[0x1C] = 0x1C;
      info.ToWide[0x7F] = 0x7F;
    }
  }

  for (int b = 255; b >= 0; --b)
    if (decodable[b] && info.ToWide[b] == 0) data->NulByte = static_cast<uint8_t>(b);
  for (int b = 0; b < 256; ++b) {
    info.Upper[b] = static_cast<uint8_t>(b);
    if (!decodable[b]) continue;
    const char16_t wide = info.ToWide[b];
    // Per character, not through the whole-BMP tables, which a program that only needs
    // its code page should not have to build.
    info.CharType[b] = TypeOfUnit(wide, u_toupper(wide));
    // The upper-case letter counts only when it is itself a single byte of this code page
    // (µ stays µ in 1252, whose repertoire has no capital mu).
    const char16_t upper = UpperOfUnit(wide);
    if (upper == wide) continue;
    for (int u = 0; u < 256; ++u) {
      if (decodable[u] && info.ToWide[u] == upper) {
        info.Upper[b] = static_cast<uint8_t>(u);
        break;
      }
    }
  }
  return data;
}

// All code pages asked for so far. Building one takes 256 ICU calls; lookups take the lock.
class TCodePageRegistry {
public:
  // Null when the number names no code page this layer can convert.
  TCodePageData* Find(int codePage) {
    if (codePage <= CP_OEMCP || codePage > 0xFFFF) return nullptr;
    std::lock_guard<std::mutex> lock(FLock);
    if (auto it = FPages.find(codePage); it != FPages.end()) return it->second.get();
    if (FUnknown.count(codePage)) return nullptr;
    std::unique_ptr<TCodePageData> data = BuildCodePage(codePage);
    if (!data) {
      FUnknown.insert(codePage);  // at most 64K numbers
      return nullptr;
    }
    return (FPages[codePage] = std::move(data)).get();
  }

private:
  std::mutex FLock;
  std::map<int, std::unique_ptr<TCodePageData>> FPages;
  std::set<int> FUnknown;
};

TCodePageRegistry& Registry() {
  static TCodePageRegistry registry;
  return registry;
}

// The process-wide code page settings. Readers take one atomic load.
struct TSettings {
  std::atomic<TCodePageData*> Acp;
  // Built on first use: a program that never asks for the OEM code page does not pay for it.
  std::atomic<TCodePageData*> Oem{nullptr};
  TSettings() : Acp(Registry().Find(1252)) {}
  TCodePageData& OemData() {
    TCodePageData* data = Oem.load(std::memory_order_acquire);
    if (!data) {
      TCodePageData* built = Registry().Find(437);
      // A concurrent setting wins over the default.
      Oem.compare_exchange_strong(data, built, std::memory_order_acq_rel);
      data = Oem.load(std::memory_order_acquire);
    }
    return *data;
  }
};

TSettings& Settings() {
  static TSettings settings;
  return settings;
}

TCodePageData& SupportedCodePage(int codePage) {
  TCodePageData* data = Registry().Find(codePage);
  if (!data) throw EConvertError(Format(SCodePageNotSupported, codePage));
  return *data;
}

// The code page a number stands for, resolved as ResolveCodePage does.
TCodePageData& CodePageData(int codePage) {
  if (codePage == CP_ACP) return *Settings().Acp.load(std::memory_order_acquire);
  if (codePage == CP_OEMCP) return Settings().OemData();
  // Callers usually ask for the same explicit code page over and over; remember the last
  // valid one per thread to skip the registry lock. Unknown numbers are not remembered: they
  // follow the system code page, which may change.
  thread_local int lastCodePage = CP_ACP;  // never looked up here
  thread_local TCodePageData* lastData = nullptr;
  if (codePage == lastCodePage) return *lastData;
  TCodePageData* data = Registry().Find(codePage);
  if (!data) return *Settings().Acp.load(std::memory_order_acquire);
  lastCodePage = codePage;
  lastData = data;
  return *data;
}

// --- ICU conversions -----------------------------------------------------------------------------

// Decoding errors of multibyte code pages: a single byte that is not a lead byte is an
// undefined character and stands for the code point of the same value; anything else (a
// truncated or invalid sequence, any UTF-8 error) becomes U+FFFD.
void ToUnicodeCallback(const void* context, UConverterToUnicodeArgs* args, const char* codeUnits,
                       int32_t length, UConverterCallbackReason reason, UErrorCode* err) {
  if (reason > UCNV_IRREGULAR) return;  // reset, close, clone
  const auto* data = static_cast<const TCodePageData*>(context);
  UChar substitute = kReplacementChar;
  if (data->Kind == ckMultiByte && length == 1) {
    const uint8_t byte = static_cast<uint8_t>(codeUnits[0]);
    if (!data->Info.LeadByte[byte]) substitute = byte;
  }
  *err = U_ZERO_ERROR;
  ucnv_cbToUWriteUChars(args, &substitute, 1, 0, err);
}

// Encoding errors: "?" for each UTF-16 unit a code page cannot represent; in UTF-8 an
// unpaired surrogate becomes U+FFFD (EF BF BD).
void FromUnicodeCallback(const void* context, UConverterFromUnicodeArgs* args,
                         const UChar* /*codeUnits*/, int32_t length, UChar32 /*codePoint*/,
                         UConverterCallbackReason reason, UErrorCode* err) {
  if (reason > UCNV_IRREGULAR) return;
  const auto* data = static_cast<const TCodePageData*>(context);
  *err = U_ZERO_ERROR;
  if (data->Kind == ckUTF8) {
    const UChar replacement = kReplacementChar;
    const UChar* source = &replacement;
    ucnv_cbFromUWriteUChars(args, &source, &replacement + 1, 0, err);
    return;
  }
  static constexpr UChar kQuestionMarks[2] = {u'?', u'?'};
  const UChar* source = kQuestionMarks;
  ucnv_cbFromUWriteUChars(args, &source, kQuestionMarks + std::clamp(length, 1, 2), 0, err);
}

// One converter per code page and thread: ICU converters keep state and are not shared.
UConverter* ThreadConverter(TCodePageData& data) {
  thread_local std::unordered_map<int, TConverterPtr> converters;
  TConverterPtr& slot = converters[data.Info.CodePage];
  if (!slot) {
    UErrorCode err = U_ZERO_ERROR;
    slot.reset(ucnv_open(data.IcuName.c_str(), &err));
    if (U_FAILURE(err) || !slot) {  // opened once already; only memory exhaustion fails here
      slot.reset();
      return nullptr;
    }
    ucnv_setToUCallBack(slot.get(), ToUnicodeCallback, &data, nullptr, nullptr, &err);
    ucnv_setFromUCallBack(slot.get(), FromUnicodeCallback, &data, nullptr, nullptr, &err);
    ucnv_setFallback(slot.get(), false);
  }
  ucnv_reset(slot.get());
  return slot.get();
}

// For a converter with rotated controls: the bytes ICU decodes to what the platform decodes
// the given ones to. None of the three is a lead or trail byte, so sequences keep their shape.
std::string UnrotateBytes(std::string_view bytes) {
  std::string out(bytes);
  for (char& b : out) {
    if (b == 0x1A) b = 0x7F;
    else if (b == 0x1C) b = 0x1A;
    else if (b == 0x7F) b = 0x1C;
  }
  return out;
}

// The reverse: the characters ICU encodes to the bytes the platform encodes the given ones to.
std::u16string UnrotateChars(std::u16string_view text) {
  std::u16string out(text);
  for (char16_t& c : out) {
    if (c == 0x1A) c = 0x1C;
    else if (c == 0x1C) c = 0x7F;
    else if (c == 0x7F) c = 0x1A;
  }
  return out;
}

// Runs one ICU conversion call over the whole input, doubling the output until it fits.
template <class Out, class In, class Convert>
Out ConvertAll(Out out, const In* source, const In* sourceEnd, Convert convert) {
  size_t written = 0;
  for (;;) {
    auto* target = out.data() + written;
    UErrorCode err = U_ZERO_ERROR;
    convert(&target, out.data() + out.size(), &source, sourceEnd, &err);
    written = static_cast<size_t>(target - out.data());
    if (err != U_BUFFER_OVERFLOW_ERROR) break;
    out.resize(out.size() * 2);
  }
  out.resize(written);
  return out;
}

std::u16string DecodeWithIcu(TCodePageData& data, std::string_view bytes) {
  UConverter* cnv = ThreadConverter(data);
  if (!cnv) return std::u16string(bytes.size(), kReplacementChar);
  std::string unrotated;
  if (data.RotatedControls) bytes = unrotated = UnrotateBytes(bytes);
  // A byte gives at most one unit, except 4-byte sequences giving a pair; grows if needed.
  return ConvertAll(std::u16string(bytes.size() + 2, u'\0'), bytes.data(),
                    bytes.data() + bytes.size(),
                    [cnv](UChar** t, const UChar* te, const char** s, const char* se,
                          UErrorCode* err) { ucnv_toUnicode(cnv, t, te, s, se, nullptr, true, err); });
}

std::string EncodeWithIcu(TCodePageData& data, std::u16string_view text) {
  UConverter* cnv = ThreadConverter(data);
  if (!cnv) return std::string(text.size(), '?');
  std::u16string unrotated;
  if (data.RotatedControls) text = unrotated = UnrotateChars(text);
  const size_t perUnit = static_cast<size_t>(std::min(data.Info.MaxCharSize, 3));
  return ConvertAll(std::string(text.size() * perUnit + 4, '\0'), text.data(),
                    text.data() + text.size(),
                    [cnv](char** t, const char* te, const UChar** s, const UChar* se,
                          UErrorCode* err) { ucnv_fromUnicode(cnv, t, te, s, se, nullptr, true, err); });
}

const uint8_t* ReverseTable(TCodePageData& data) {
  std::call_once(data.ReverseOnce, [&data] {
    data.Reverse = std::make_unique<uint8_t[]>(0x10000);  // zero: no byte
    // Lowest byte wins when two bytes decode to the same character.
    for (int b = 255; b > 0; --b) data.Reverse[data.Info.ToWide[b]] = static_cast<uint8_t>(b);
    data.Reverse[0] = 0;
  });
  return data.Reverse.get();
}

// --- Collation -------------------------------------------------------------------------------

// Hyphen-minus and apostrophe are completely ignorable, so "co-op" sorts next to "coop"
// while spaces and other punctuation keep their weights (below digits and letters).
constexpr char16_t kIgnoreHyphenRule[] = u"&[last tertiary ignorable]='-'=''";

// The collator of a locale with the hyphen rule added to the locale's own tailoring. Strength
// identical: strings equal at the tertiary level are ordered by code points (of NFD), so only
// canonically equivalent strings compare equal.
TCollatorPtr OpenCollator(const std::string& localeName) {
  UErrorCode err = U_ZERO_ERROR;
  TCollatorPtr base(ucol_open(localeName.c_str(), &err));
  if (U_FAILURE(err) || !base) {
    err = U_ZERO_ERROR;
    base.reset(ucol_open("", &err));  // root order
    if (U_FAILURE(err)) return nullptr;
  }
  int32_t length = 0;
  const UChar* tailoring = ucol_getRules(base.get(), &length);
  std::u16string rules(tailoring, static_cast<size_t>(length));
  rules += kIgnoreHyphenRule;
  UParseError parseError;
  err = U_ZERO_ERROR;
  TCollatorPtr tailored(ucol_openRules(rules.data(), Length32(rules.size()), UCOL_DEFAULT,
                                       UCOL_IDENTICAL, &parseError, &err));
  if (U_SUCCESS(err) && tailored) return tailored;
  err = U_ZERO_ERROR;
  ucol_setStrength(base.get(), UCOL_IDENTICAL);  // hyphens then count as punctuation
  return base;
}

// The locale's own collator at strength identical, for strings the hyphen rule cannot
// concern.
TCollatorPtr OpenPlainCollator(const std::string& localeName) {
  UErrorCode err = U_ZERO_ERROR;
  TCollatorPtr coll(ucol_open(localeName.c_str(), &err));
  if (U_FAILURE(err) || !coll) {
    err = U_ZERO_ERROR;
    coll.reset(ucol_open("", &err));
    if (U_FAILURE(err)) return nullptr;
  }
  ucol_setStrength(coll.get(), UCOL_IDENTICAL);
  return coll;
}

// The collators of one locale. The tailored one (with the hyphen rule) takes milliseconds to
// build from rules, so it is built only when a comparison meets a hyphen-minus or an
// apostrophe; strings without either order alike under both, since the rule concerns only
// those two characters.
struct TLocaleCollators {
  explicit TLocaleCollators(std::string locale) : Locale(std::move(locale)) {}
  const std::string Locale;
  std::atomic<const UCollator*> Plain{nullptr};
  std::atomic<const UCollator*> Tailored{nullptr};
  TCollatorPtr PlainOwned;     // under the collation's lock
  TCollatorPtr TailoredOwned;  // under the collation's lock
};

// The user locale and its collators, rebuilt on the first comparison after the locale
// changes. Collators are kept until exit: a comparison on another thread may still be using
// the one a locale change replaced. ucol_strcoll on a shared collator is thread-safe.
class TCollation {
public:
  std::string Locale() {
    std::lock_guard<std::mutex> lock(FLock);
    return FLocale;
  }
  void SetLocale(const std::string& localeName) {
    std::lock_guard<std::mutex> lock(FLock);
    if (localeName == FLocale) return;
    FLocale = localeName;
    FCurrent.store(nullptr, std::memory_order_release);
  }
  TLocaleCollators* Current() {
    if (TLocaleCollators* c = FCurrent.load(std::memory_order_acquire)) return c;
    std::lock_guard<std::mutex> lock(FLock);
    TLocaleCollators* c = SlotLocked(FLocale);
    FCurrent.store(c, std::memory_order_release);
    return c;
  }
  // The collators of any locale, from the same cache as the user locale's.
  TLocaleCollators* Of(const std::string& localeName) {
    std::lock_guard<std::mutex> lock(FLock);
    return SlotLocked(localeName);
  }
  // One of the two collators of c, built on first use; null when ICU has no data.
  const UCollator* Get(TLocaleCollators& c, bool tailored) {
    std::atomic<const UCollator*>& slot = tailored ? c.Tailored : c.Plain;
    if (const UCollator* coll = slot.load(std::memory_order_acquire)) return coll;
    std::lock_guard<std::mutex> lock(FLock);
    TCollatorPtr& owned = tailored ? c.TailoredOwned : c.PlainOwned;
    if (!owned) owned = tailored ? OpenCollator(c.Locale) : OpenPlainCollator(c.Locale);
    slot.store(owned.get(), std::memory_order_release);
    return owned.get();
  }

private:
  TLocaleCollators* SlotLocked(const std::string& localeName) {
    std::unique_ptr<TLocaleCollators>& slot = FBuilt[localeName];
    if (!slot) slot = std::make_unique<TLocaleCollators>(localeName);
    return slot.get();
  }

  std::mutex FLock;
  std::string FLocale = "en-US";
  std::map<std::string, std::unique_ptr<TLocaleCollators>> FBuilt;
  std::atomic<TLocaleCollators*> FCurrent{nullptr};
};

TCollation& Collation() {
  static TCollation collation;
  return collation;
}

std::u16string FoldCase(std::u16string_view s) {
  std::u16string out(s.size() + 8, u'\0');  // full folding may lengthen ("ß" → "ss")
  for (;;) {
    UErrorCode err = U_ZERO_ERROR;
    const int32_t n = u_strFoldCase(out.data(), Length32(out.size()), Chars(s),
                                    Length32(s.size()), U_FOLD_CASE_DEFAULT, &err);
    if (err == U_BUFFER_OVERFLOW_ERROR) {
      out.resize(static_cast<size_t>(n));
      continue;
    }
    out.resize(U_SUCCESS(err) ? static_cast<size_t>(n) : 0);
    return out;
  }
}

int CompareUnits(std::u16string_view s1, std::u16string_view s2) {
  const int c = s1.compare(s2);
  return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

// -1, 0 or +1 by a collator (null: ICU data missing, code order beats no order).
bool HasHyphenOrApostrophe(std::u16string_view s) {
  for (char16_t c : s)
    if (c == u'-' || c == u'\'') return true;
  return false;
}

int Collate(TLocaleCollators& collators, std::u16string_view s1, std::u16string_view s2,
            uint32_t flags) {
  const UCollator* coll =
      Collation().Get(collators, HasHyphenOrApostrophe(s1) || HasHyphenOrApostrophe(s2));
  if (!coll) return CompareUnits(s1, s2);
  if (flags & NORM_IGNORECASE) {
    // Folding first ignores letter case only; width, accents and hyphens still count.
    const std::u16string f1 = FoldCase(s1);
    const std::u16string f2 = FoldCase(s2);
    return ucol_strcoll(coll, f1.data(), Length32(f1.size()), f2.data(), Length32(f2.size()));
  }
  return ucol_strcoll(coll, Chars(s1), Length32(s1.size()), Chars(s2), Length32(s2.size()));
}

// The ICU locale ID ("de_DE@collation=phonebook") of a locale name in either form.
std::string IcuLocaleId(const std::string& localeName) {
  char id[ULOC_FULLNAME_CAPACITY];
  UErrorCode err = U_ZERO_ERROR;
  const int32_t n = uloc_canonicalize(localeName.c_str(), id, sizeof id, &err);
  if (U_FAILURE(err) || err == U_STRING_NOT_TERMINATED_WARNING) return {};
  return std::string(id, static_cast<size_t>(n));
}

// Collators of explicit LCIDs. An LCID always names the same locale, so the lookup is
// remembered per thread for the last LCID; the collator itself is shared and kept until exit.
struct TLcidCollator {
  bool Known = false;                // false: the LCID names no locale
  TLocaleCollators* Coll = nullptr;
};

TLcidCollator CollatorOfLCID(uint32_t lcid) {
  thread_local uint32_t lastLcid = LOCALE_USER_DEFAULT;  // never cached: it follows the user
  thread_local TLcidCollator last;
  if (lcid == lastLcid) return last;
  TLcidCollator result;
  const std::string name = LCIDToLocaleName(lcid);
  if (!name.empty()) {
    result.Known = true;
    result.Coll = Collation().Of(name);
  }
  lastLcid = lcid;
  last = result;
  return result;
}

}  // namespace

// --- Settings ------------------------------------------------------------------------------------

int GetACP() {
  return Settings().Acp.load(std::memory_order_acquire)->Info.CodePage;
}

void SetSystemCodePage(int codePage) {
  Settings().Acp.store(&SupportedCodePage(codePage), std::memory_order_release);
}

int GetOEMCP() {
  return Settings().OemData().Info.CodePage;
}

void SetOEMCodePage(int codePage) {
  Settings().Oem.store(&SupportedCodePage(codePage), std::memory_order_release);
}

std::string UserLocale() {
  return Collation().Locale();
}

void SetUserLocale(const std::string& localeName) {
  Collation().SetLocale(localeName);
}

// --- Code pages ----------------------------------------------------------------------------------

bool IsValidCodePage(int codePage) {
  return Registry().Find(codePage) != nullptr;
}

int ResolveCodePage(int codePage) {
  return CodePageData(codePage).Info.CodePage;
}

const TCodePageInfo& CodePageInfo(int codePage) {
  return CodePageData(codePage).Info;
}

int GetMaxCharSize(int codePage) {
  return CodePageData(codePage).Info.MaxCharSize;
}

bool IsDBCSLeadByteEx(int codePage, uint8_t byte) {
  return CodePageData(codePage).Info.LeadByte[byte];
}

std::u16string MultiByteToWideChar(int codePage, std::string_view bytes) {
  if (bytes.empty()) return {};
  TCodePageData& data = CodePageData(codePage);
  if (data.Kind != ckSingleByte) return DecodeWithIcu(data, bytes);
  std::u16string out(bytes.size(), u'\0');
  for (size_t i = 0; i < bytes.size(); ++i)
    out[i] = data.Info.ToWide[static_cast<uint8_t>(bytes[i])];
  return out;
}

std::string WideCharToMultiByte(int codePage, std::u16string_view text) {
  if (text.empty()) return {};
  TCodePageData& data = CodePageData(codePage);
  if (data.Kind != ckSingleByte) return EncodeWithIcu(data, text);
  const uint8_t* reverse = ReverseTable(data);
  const char question = static_cast<char>(reverse[u'?'] ? reverse[u'?'] : '?');
  std::string out(text.size(), '\0');
  for (size_t i = 0; i < text.size(); ++i) {
    const char16_t c = text[i];
    if (c == 0)
      out[i] = static_cast<char>(data.NulByte);
    else
      out[i] = reverse[c] ? static_cast<char>(reverse[c]) : question;
  }
  return out;
}

int TranslateCharsetInfo(int charset) {
  switch (charset) {
    case 0: return 1252;    // ANSI_CHARSET
    case 128: return 932;   // SHIFTJIS_CHARSET
    case 129: return 949;   // HANGEUL_CHARSET
    case 130: return 1361;  // JOHAB_CHARSET
    case 134: return 936;   // GB2312_CHARSET
    case 136: return 950;   // CHINESEBIG5_CHARSET
    case 161: return 1253;  // GREEK_CHARSET
    case 162: return 1254;  // TURKISH_CHARSET
    case 163: return 1258;  // VIETNAMESE_CHARSET
    case 177: return 1255;  // HEBREW_CHARSET
    case 178: return 1256;  // ARABIC_CHARSET
    case 186: return 1257;  // BALTIC_CHARSET
    case 204: return 1251;  // RUSSIAN_CHARSET
    case 222: return 874;   // THAI_CHARSET
    case 238: return 1250;  // EASTEUROPE_CHARSET
    default: return 0;      // DEFAULT, SYMBOL, MAC, OEM and unknown sets
  }
}

// --- Character types and case --------------------------------------------------------------------

uint16_t GetStringTypeW(char16_t c) {
  return UnicodeTables().Page(c).Type[c & 0xFF];
}

uint16_t GetStringTypeA(uint8_t c, int codePage) {
  return CodePageData(codePage).Info.CharType[c];
}

char16_t CharUpperW(char16_t c) {
  return UnicodeTables().Page(c).Upper[c & 0xFF];
}

std::u16string CharUpperW(std::u16string_view s) {
  TUnicodeTables& tables = UnicodeTables();
  std::u16string out(s);
  for (char16_t& c : out) c = tables.Page(c).Upper[c & 0xFF];
  return out;
}

char CharUpperA(char c, int codePage) {
  return static_cast<char>(CodePageData(codePage).Info.Upper[static_cast<uint8_t>(c)]);
}

std::string CharUpperA(std::string_view s, int codePage) {
  const TCodePageInfo& info = CodePageData(codePage).Info;
  std::string out(s);
  for (size_t i = 0; i < out.size(); ++i) {
    const uint8_t b = static_cast<uint8_t>(out[i]);
    if (info.LeadByte[b]) {
      ++i;  // the trail byte of a double-byte character is no letter, even in 'A'..'z'
      continue;
    }
    out[i] = static_cast<char>(info.Upper[b]);
  }
  return out;
}

int CompareStringW(std::u16string_view s1, std::u16string_view s2, uint32_t flags) {
  return Collate(*Collation().Current(), s1, s2, flags);
}

int CompareStringA(std::string_view s1, std::string_view s2, uint32_t flags) {
  return CompareStringW(MultiByteToWideChar(CP_ACP, s1), MultiByteToWideChar(CP_ACP, s2), flags);
}

// --- Locale identifiers --------------------------------------------------------------------------

uint32_t GetUserDefaultLCID() {
  const std::string id = IcuLocaleId(UserLocale());
  const uint32_t lcid = id.empty() ? 0 : uloc_getLCID(id.c_str());
  return lcid != 0 ? lcid : LOCALE_USER_DEFAULT;
}

std::string LCIDToLocaleName(uint32_t lcid) {
  char id[ULOC_FULLNAME_CAPACITY];
  UErrorCode err = U_ZERO_ERROR;
  const int32_t n = uloc_getLocaleForLCID(lcid, id, sizeof id, &err);
  if (U_FAILURE(err) || err == U_STRING_NOT_TERMINATED_WARNING || n <= 0) return {};
  // ICU gives the root locale for every neutral LCID (0, 0x0400, 0x0800, ...): no locale.
  if (std::string_view(id, static_cast<size_t>(n)) == "root") return {};
  char tag[ULOC_FULLNAME_CAPACITY];
  err = U_ZERO_ERROR;
  const int32_t m = uloc_toLanguageTag(id, tag, sizeof tag, true, &err);
  if (U_FAILURE(err) || err == U_STRING_NOT_TERMINATED_WARNING || m <= 0) return {};
  return std::string(tag, static_cast<size_t>(m));
}

int CompareStringLCID(uint32_t lcid, uint32_t flags, std::u16string_view s1,
                      std::u16string_view s2) {
  int result;
  if (lcid == LOCALE_USER_DEFAULT || lcid == LOCALE_SYSTEM_DEFAULT) {
    result = Collate(*Collation().Current(), s1, s2, flags);
  } else {
    const TLcidCollator coll = CollatorOfLCID(lcid);
    if (!coll.Known) return 0;
    result = Collate(*coll.Coll, s1, s2, flags);
  }
  return result < 0 ? 1 : (result > 0 ? 3 : 2);
}

}  // namespace qv
