// Platform text services on ICU: code pages by number and conversions through them, lead
// bytes of multibyte code pages, the character-type flags of one character, upper-casing,
// and locale-aware comparison. Process-wide settings default to a Western setup (system
// code page 1252, OEM code page 437, user locale "en-US") and change only through this API.
//
// Per-character services are table-driven: each code page gets 256-entry tables built once
// on first use, and the 16-bit character types one 64K table; none calls ICU per character.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace qv {

// Code page numbers with a meaning of their own.
inline constexpr int CP_ACP = 0;      // the system's default 8-bit code page
inline constexpr int CP_OEMCP = 1;    // the OEM code page
inline constexpr int CP_UTF8 = 65001;

// Character-type flags (the platform's first character-type table).
inline constexpr uint16_t C1_UPPER = 0x0001;
inline constexpr uint16_t C1_LOWER = 0x0002;
inline constexpr uint16_t C1_DIGIT = 0x0004;
inline constexpr uint16_t C1_SPACE = 0x0008;
inline constexpr uint16_t C1_PUNCT = 0x0010;
inline constexpr uint16_t C1_CNTRL = 0x0020;
inline constexpr uint16_t C1_BLANK = 0x0040;
inline constexpr uint16_t C1_XDIGIT = 0x0080;
inline constexpr uint16_t C1_ALPHA = 0x0100;

// Comparison flag: ignore letter case.
inline constexpr uint32_t NORM_IGNORECASE = 0x0001;

// --- Settings -----------------------------------------------------------------------------
// Setting an unknown code page raises EConvertError "Code page %d is not supported".
// The settings are meant to be chosen at start-up, before other threads run.
int GetACP();
void SetSystemCodePage(int codePage);
int GetOEMCP();
void SetOEMCodePage(int codePage);
// ICU locale name of the user ("en-US", "de-DE", "tr-TR"). Used by the comparisons.
std::string UserLocale();
void SetUserLocale(const std::string& localeName);

// --- Code pages -----------------------------------------------------------------------------
// Tables of one code page, built once and kept until the process ends.
struct TCodePageInfo {
  int CodePage = 0;            // the resolved number (never 0 or 1)
  int MaxCharSize = 1;         // bytes of the longest character (1, 2, or 4 for UTF-8)
  bool LeadByte[256] = {};     // lead bytes of a double-byte code page
  char16_t ToWide[256] = {};   // single-byte characters; lead bytes and UTF-8 bytes >= 0x80 map to 0
  uint16_t CharType[256] = {}; // character-type flags of single bytes (0 for lead bytes)
  uint8_t Upper[256] = {};     // upper-case byte of single bytes (itself when it has none)
};

// True when the number names a code page this platform layer can convert.
bool IsValidCodePage(int codePage);
// 0 → system code page, 1 → OEM code page, a known number → itself, anything else → the
// system code page (the documented fallback for unknown numbers).
int ResolveCodePage(int codePage);
// Tables of a code page (resolved first). Thread-safe; the reference stays valid.
const TCodePageInfo& CodePageInfo(int codePage);
int GetMaxCharSize(int codePage);
bool IsDBCSLeadByteEx(int codePage, uint8_t byte);

// Full conversions. Bytes a code page leaves undefined decode to the code point of the same
// value (as the Western code page does for its five holes); invalid or truncated sequences of
// multibyte code pages and UTF-8 decode to U+FFFD. Characters a code page cannot represent
// encode to "?"; unpaired surrogates encode to UTF-8 as EF BF BD. Never throws.
std::u16string MultiByteToWideChar(int codePage, std::string_view bytes);
std::string WideCharToMultiByte(int codePage, std::u16string_view text);

// The code page of a font character set (ANSI_CHARSET 0 → 1252, SHIFTJIS_CHARSET 128 →
// 932, ...), or 0 when the platform has none for it (DEFAULT_CHARSET, SYMBOL_CHARSET, ...).
int TranslateCharsetInfo(int charset);

// --- Character types and case -----------------------------------------------------------------
// Flags of a 16-bit character by Unicode data, shaped like the original platform's table:
// letters with a lower-case mapping are upper, with an upper-case mapping lower; decimal
// digits and the superscripts one, two and three are digits; separators and TAB..CR and NEL
// are spaces; TAB, blank, NBSP, U+3000 and U+FEFF are blanks; marks, symbols, modifier
// letters and non-decimal numbers are punctuation.
uint16_t GetStringTypeW(char16_t c);
// Flags of an 8-bit character: converted with the code page, then classified.
uint16_t GetStringTypeA(uint8_t c, int codePage = CP_ACP);

// Simple Unicode upper-case mapping; characters without one are returned unchanged.
char16_t CharUpperW(char16_t c);
std::u16string CharUpperW(std::u16string_view s);
// Upper-case mapping of an 8-bit character in the code page; unchanged when the upper-case
// character is not in the code page.
char CharUpperA(char c, int codePage = CP_ACP);
std::string CharUpperA(std::string_view s, int codePage = CP_ACP);

// Locale-aware comparison by the user locale: -1, 0 or +1. Linguistic order ("a" < "A" <
// "b"); hyphen and apostrophe count only as a last tie-breaker ("co-op" sorts next to
// "coop"). NORM_IGNORECASE ignores letter case only.
int CompareStringW(std::u16string_view s1, std::u16string_view s2, uint32_t flags = 0);
// The same for 8-bit strings, converted with the system code page first.
int CompareStringA(std::string_view s1, std::string_view s2, uint32_t flags = 0);

// --- Locale identifiers (LCIDs) ------------------------------------------------------------------
// The platform's pseudo-identifiers that stand for the user's locale.
inline constexpr uint32_t LOCALE_USER_DEFAULT = 0x0400;
inline constexpr uint32_t LOCALE_SYSTEM_DEFAULT = 0x0800;

// The LCID of UserLocale() (0x0409 for "en-US"); LOCALE_USER_DEFAULT when the user locale
// has no LCID of its own, so that comparisons by it still follow the user locale.
uint32_t GetUserDefaultLCID();
// The locale name of an LCID in the form UserLocale() uses ("de-DE", "de-DE-u-co-phonebk"
// for the phone-book sort id); empty for an LCID that names no locale (including the
// neutral ones such as 0 and the two pseudo-identifiers above).
std::string LCIDToLocaleName(uint32_t lcid);
// CompareStringW by the locale of an LCID, with the platform's raw result: 1 (less), 2
// (equal), 3 (greater), or 0 when the LCID names no locale. LOCALE_USER_DEFAULT and
// LOCALE_SYSTEM_DEFAULT mean the user locale. Of the flags only NORM_IGNORECASE has an effect.
int CompareStringLCID(uint32_t lcid, uint32_t flags, std::u16string_view s1,
                      std::u16string_view s2);

}  // namespace qv
