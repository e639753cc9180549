// String utilities of the engine: character classes on the platform's character-type tables,
// blank and line-break scanning over UTF-16 text, code-page conversions, stream encodings
// with their byte-order marks, the case-selectable string list and the tag word splitter.
// Nothing here keeps state except the two clipboard format ids set when the unit starts.
#include "syntax/qvStrUtils.h"

#include <array>
#include <cstddef>

#include "framework/Clipbrd.h"
#include "framework/Streams.h"
#include "framework/TextServices.h"

namespace qv {

namespace {

// Written once by the unit's start, before other threads run; read-only afterwards.
uint16_t GBlockTypeClipboardFormat = 0;
uint16_t GRichTextClipboardFormat = 0;

void InitStrUtils() {
  GBlockTypeClipboardFormat = RegisterClipboardFormat("Borland IDE Block Type");
  GRichTextClipboardFormat = RegisterClipboardFormat("Rich Text Format");
}

// Character-type flags of a byte in the system code page: one lookup in the code page's
// 256-entry table, so classifying a whole text never calls ICU per character.
uint16_t CharType8(char c) {
  return CodePageInfo(CP_ACP).CharType[static_cast<uint8_t>(c)];
}

constexpr uint16_t kWordFlags = C1_ALPHA | C1_DIGIT;

bool IsAsciiLetter(unsigned c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool IsAsciiDigit(unsigned c) { return c >= '0' && c <= '9'; }

template <class C>
bool WordBoundaryAt(std::basic_string_view<C> text, int pos) {
  if (pos <= 1 || static_cast<size_t>(pos) > text.size()) return true;
  return IsWordChar(text[pos - 1]) != IsWordChar(text[pos - 2]);
}

// Text encoding kinds outside tkAnsi..tkUtf8 are not encodings: nothing is written or read.
bool IsKnownKind(int kind) { return kind >= tkAnsi && kind <= tkUtf8; }

// UTF-16 units from pairs of bytes; bigEndian takes the first byte of a pair as the high
// one. A trailing odd byte has no partner and is dropped. Every unit is converted, U+0000
// included, so nothing after an embedded zero character is lost or left in the wrong order.
std::u16string UnitsFromBytes(std::string_view bytes, bool bigEndian) {
  std::u16string text(bytes.size() / 2, u'\0');
  const unsigned hi = bigEndian ? 0 : 1;
  for (size_t i = 0; i < text.size(); ++i) {
    const auto b0 = static_cast<uint8_t>(bytes[2 * i + hi]);
    const auto b1 = static_cast<uint8_t>(bytes[2 * i + (1 - hi)]);
    text[i] = static_cast<char16_t>((b0 << 8) | b1);
  }
  return text;
}

// The inverse of UnitsFromBytes: two bytes per unit whatever the host's byte order is.
std::string BytesFromUnits(std::u16string_view text, bool bigEndian) {
  std::string bytes(text.size() * 2, '\0');
  const unsigned hi = bigEndian ? 0 : 1;
  for (size_t i = 0; i < text.size(); ++i) {
    bytes[2 * i + hi] = static_cast<char>(text[i] >> 8);
    bytes[2 * i + (1 - hi)] = static_cast<char>(text[i] & 0xFF);
  }
  return bytes;
}

// Reads from the position to the end into bytes. A stream that delivers fewer bytes than
// its size promised ends the data there; an exception leaves in bytes what arrived before.
void ReadRest(TStream& stream, std::string& bytes) {
  bytes.clear();
  const int64_t remaining = stream.Size() - stream.Position();
  if (remaining <= 0) return;
  bytes.resize(static_cast<size_t>(remaining));
  int64_t got = 0;
  try {
    while (got < remaining) {
      const int64_t n = stream.Read(bytes.data() + got, remaining - got);
      if (n <= 0) break;
      got += n;
    }
  } catch (...) {
    bytes.resize(static_cast<size_t>(got));
    throw;
  }
  bytes.resize(static_cast<size_t>(got));
}

// Characters 1..32 are what SplitToList skips between items; NUL is skipped as well
// (it also ends an item), since stopping at it would take an empty item over and over.
bool IsSplitBlank(char c) { return static_cast<uint8_t>(c) <= 32; }

}  // namespace

// --- The unit -----------------------------------------------------------------------------

TUnit& qvStrUtilsUnit() {
  static TUnit unit("qvStrUtils", {}, InitStrUtils, nullptr);
  return unit;
}

uint16_t BlockTypeClipboardFormat() { return GBlockTypeClipboardFormat; }
uint16_t RichTextClipboardFormat() { return GRichTextClipboardFormat; }

// --- Character classes ----------------------------------------------------------------------

bool IsSpaceChar(char c) { return (CharType8(c) & C1_SPACE) != 0; }
bool IsSpaceChar(char16_t c) { return (GetStringTypeW(c) & C1_SPACE) != 0; }
bool IsDigitChar(char c) { return (CharType8(c) & C1_DIGIT) != 0; }
bool IsDigitChar(char16_t c) { return (GetStringTypeW(c) & C1_DIGIT) != 0; }
bool IsHexDigitChar(char c) { return (CharType8(c) & C1_XDIGIT) != 0; }
bool IsHexDigitChar(char16_t c) { return (GetStringTypeW(c) & C1_XDIGIT) != 0; }
bool IsAlphaChar(char c) { return (CharType8(c) & C1_ALPHA) != 0; }
bool IsAlphaChar(char16_t c) { return (GetStringTypeW(c) & C1_ALPHA) != 0; }

bool IsWordChar(char c) { return c == '_' || (CharType8(c) & kWordFlags) != 0; }
bool IsWordChar(char16_t c) { return c == u'_' || (GetStringTypeW(c) & kWordFlags) != 0; }

bool IsIdentLetter(char c) { return c == '_' || IsAsciiLetter(static_cast<uint8_t>(c)); }
bool IsIdentLetter(char16_t c) { return c == u'_' || IsAsciiLetter(c); }
bool IsIdentDigit(char c) { return IsAsciiDigit(static_cast<uint8_t>(c)); }
bool IsIdentDigit(char16_t c) { return IsAsciiDigit(c); }
bool IsIdentChar(char c) { return IsIdentLetter(c) || IsIdentDigit(c); }
bool IsIdentChar(char16_t c) { return IsIdentLetter(c) || IsIdentDigit(c); }

bool IsLineBreakChar(char c) { return c == '\r' || c == '\n'; }
bool IsLineBreakChar(char16_t c) {
  return (c >= 10 && c <= 13) || c == 0x85 || c == 0x2028 || c == 0x2029;
}

bool IsWordBoundary(std::string_view text, int pos) { return WordBoundaryAt(text, pos); }
bool IsWordBoundary(std::u16string_view text, int pos) { return WordBoundaryAt(text, pos); }

char UpperChar(char c) { return CharUpperA(c); }
char16_t UpperChar(char16_t c) { return CharUpperW(c); }

// --- Blanks and lines ----------------------------------------------------------------------
// Positions are 1-based; one before the start is clamped to the first character, as a
// scan cannot begin before the text. The loops compare in size_t so long texts can't wrap.

int SkipSpaces(std::u16string_view text, int& pos) {
  if (pos < 1) pos = 1;
  while (static_cast<size_t>(pos) <= text.size()) {
    const char16_t c = text[pos - 1];
    if (!IsSpaceChar(c) || IsLineBreakChar(c)) return 0;
    ++pos;
  }
  return -1;
}

int SkipSpacesAndLines(std::u16string_view text, int& pos) {
  // The space flags of ASCII, the most of every text, read once from the character types.
  static const std::array<bool, 128> asciiSpace = [] {
    std::array<bool, 128> table{};
    for (char16_t c = 0; c < 128; ++c) table[c] = IsSpaceChar(c);
    return table;
  }();
  if (pos < 1) pos = 1;
  int lineFeeds = 0;
  while (static_cast<size_t>(pos) <= text.size()) {
    const char16_t c = text[pos - 1];
    // Every line break the locale knows is a space; only LF counts, so CR LF is one line.
    if (c < 128 ? !asciiSpace[c] : !IsSpaceChar(c)) return lineFeeds;
    if (c == u'\n') ++lineFeeds;
    ++pos;
  }
  return -1;
}

int GetLineStarts(std::u16string_view text, std::vector<int>* list) {
  if (list) list->clear();
  if (text.empty()) return 0;
  if (list) list->push_back(0);
  int lines = 1;
  const size_t n = text.size();
  for (size_t i = 0; i < n; ++i) {
    const char16_t c = text[i];
    if (c > u'\r') continue;  // the most of every text
    if (c == u'\r') {
      if (i + 1 < n && text[i + 1] == u'\n') ++i;  // CR LF ends one line
    } else if (c != u'\n') {
      continue;
    }
    ++lines;
    if (list) list->push_back(static_cast<int>(i + 1));
  }
  return lines;
}

// --- Code pages and conversions ---------------------------------------------------------------

bool IsMultiByteCodePage(int codePage) { return GetMaxCharSize(codePage) > 1; }

int GetByteType(std::string_view text, int pos, int codePage) {
  if (pos < 1 || static_cast<size_t>(pos) > text.size()) return 0;
  const bool* leadByte = CodePageInfo(codePage).LeadByte;
  auto isLead = [&](size_t offset) { return leadByte[static_cast<uint8_t>(text[offset])]; };
  const size_t offset = static_cast<size_t>(pos) - 1;
  // Lead bytes can also be trail bytes, so a byte's role follows from the parity of the
  // run of lead bytes directly before it: each pair in the run is one whole character.
  // Cost: the length of that run.
  size_t run = 0;
  while (run < offset && isLead(offset - 1 - run)) ++run;
  if (run % 2 == 1) return 2;
  return isLead(offset) ? 1 : 0;
}

std::u16string MultiByteToWide(std::string_view text, int codePage) {
  return MultiByteToWideChar(codePage, text);
}

std::string WideToMultiByte(std::u16string_view text, int codePage) {
  return WideCharToMultiByte(codePage, text);
}

int CharsetToCodePage(int charset) {
  constexpr int kDefaultCharset = 1;
  constexpr int kOemCharset = 255;
  if (charset == kDefaultCharset) return CP_ACP;
  if (charset == kOemCharset) return CP_OEMCP;
  return TranslateCharsetInfo(charset);
}

std::u16string DecodeText(std::string_view bytes, int charset, int codePage) {
  return MultiByteToWide(bytes, codePage != 0 ? codePage : CharsetToCodePage(charset));
}

std::string EncodeText(std::u16string_view text, int charset, int codePage) {
  return WideToMultiByte(text, codePage != 0 ? codePage : CharsetToCodePage(charset));
}

std::u16string Utf8ToWide(std::string_view bytes) { return MultiByteToWide(bytes, CP_UTF8); }
std::string WideToUtf8(std::u16string_view text) { return WideToMultiByte(text, CP_UTF8); }

// --- Streams ------------------------------------------------------------------------------------

int DetectEncoding(TStream& stream) {
  if (stream.Size() - stream.Position() < 2) return 0;
  uint8_t mark[3] = {};
  const int64_t got = stream.Read(mark, 2);
  if (got == 2) {
    if (mark[0] == 0xFF && mark[1] == 0xFE) return tkUtf16LE;
    if (mark[0] == 0xFE && mark[1] == 0xFF) return tkUtf16BE;
    if (mark[0] == 0xEF && mark[1] == 0xBB) {
      const int64_t third = stream.Read(mark + 2, 1);
      if (third == 1 && mark[2] == 0xBF) return tkUtf8;
      stream.Seek(-(2 + third), soCurrent);
      return 0;
    }
  }
  stream.Seek(-got, soCurrent);
  return 0;
}

void WriteEncodingMark(TStream& stream, int kind) {
  static constexpr uint8_t kUtf16LE[] = {0xFF, 0xFE};
  static constexpr uint8_t kUtf16BE[] = {0xFE, 0xFF};
  static constexpr uint8_t kUtf8[] = {0xEF, 0xBB, 0xBF};
  switch (kind) {
    case tkUtf16LE: stream.WriteBuffer(kUtf16LE, sizeof kUtf16LE); break;
    case tkUtf16BE: stream.WriteBuffer(kUtf16BE, sizeof kUtf16BE); break;
    case tkUtf8: stream.WriteBuffer(kUtf8, sizeof kUtf8); break;
    default: break;  // 8-bit text has no mark
  }
}

void WriteTextToStream(std::u16string_view text, TStream& stream, int kind, int codePage,
                       int charset) {
  std::string bytes;
  switch (kind) {
    case tkAnsi: bytes = EncodeText(text, charset, codePage); break;
    case tkUtf16LE: bytes = BytesFromUnits(text, false); break;
    case tkUtf16BE: bytes = BytesFromUnits(text, true); break;
    case tkUtf8: bytes = WideToUtf8(text); break;
    default: return;
  }
  if (!bytes.empty()) stream.WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
}

void ReadTextFromStream(std::u16string& text, TStream& stream, int kind, int codePage,
                        int charset) {
  text.clear();
  if (!IsKnownKind(kind)) return;
  std::string bytes;
  try {
    ReadRest(stream, bytes);
  } catch (const std::exception&) {  // read errors are swallowed by contract; decode what arrived
  }
  try {
    switch (kind) {
      case tkAnsi: text = DecodeText(bytes, charset, codePage); break;
      case tkUtf16LE: text = UnitsFromBytes(bytes, false); break;
      case tkUtf16BE: text = UnitsFromBytes(bytes, true); break;
      default: text = Utf8ToWide(bytes); break;
    }
  } catch (const std::exception&) {  // conversion errors are swallowed by contract
  }
}

// --- Splitting -----------------------------------------------------------------------------------

void SplitToList(TzStringList& list, std::string_view text) {
  WithinUpdate(list, [&] {
    list.Clear();
    const char delimiter = list.Delimiter();
    const size_t len = text.size();
    size_t pos = 0;
    auto skipBlanks = [&] {
      while (pos < len && IsSplitBlank(text[pos])) ++pos;
    };
    skipBlanks();
    while (pos < len) {
      const size_t start = pos;
      while (pos < len && !IsSplitBlank(text[pos]) && text[pos] != delimiter) ++pos;
      list.Add(std::string(text.substr(start, pos - start)));
      skipBlanks();
      if (pos < len && text[pos] == delimiter) {
        const bool last = pos + 1 == len;
        ++pos;
        skipBlanks();
        if (last) list.Add(std::string());
      }
    }
  });
}

// --- Component references ------------------------------------------------------------------------

bool ReplaceComponentRef(TComponent* owner, TComponent* value, TComponent*& field) {
  if (value == field || owner == nullptr) return false;
  if (field) field->RemoveFreeNotification(owner);
  field = value;
  if (value) value->FreeNotification(owner);
  return true;
}

}  // namespace qv
