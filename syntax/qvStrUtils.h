// String utilities shared by the engine: character classes of 8-bit and 16-bit characters
// (the basis of the expression engine's class escapes), white-space and line-break helpers,
// code-page conversions, text encodings of streams with their byte-order marks, a string
// list with selectable case sensitivity, and the word splitter of tag conditions.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "framework/Classes.h"
#include "framework/Units.h"

namespace qv {

class TStream;

// How a style changes the letter case of its text; stored by styles, applied by displays.
enum TChangeCase : uint8_t { ccNone, ccUpper, ccLower, ccToggle, ccTitle };

// Text encoding kinds of a stream. Other numbers name no encoding: the stream routines
// write and read nothing for them.
inline constexpr int tkAnsi = 0;     // 8-bit text in a code page, no mark
inline constexpr int tkUtf16LE = 1;  // mark FF FE
inline constexpr int tkUtf16BE = 2;  // mark FE FF
inline constexpr int tkUtf8 = 3;     // mark EF BB BF

// The unit: its start registers the two clipboard formats below.
TUnit& qvStrUtilsUnit();
// Clipboard formats registered by name when the unit starts ("Borland IDE Block Type" and
// "Rich Text Format"); 0 before that. Kept for clipboard-aware editors.
uint16_t BlockTypeClipboardFormat();
uint16_t RichTextClipboardFormat();

// --- Character classes ----------------------------------------------------------------------
// 8-bit characters are classified in the system code page, 16-bit ones by Unicode data.
bool IsSpaceChar(char c);
bool IsSpaceChar(char16_t c);
bool IsDigitChar(char c);
bool IsDigitChar(char16_t c);
bool IsHexDigitChar(char c);
bool IsHexDigitChar(char16_t c);
bool IsAlphaChar(char c);
bool IsAlphaChar(char16_t c);
// Alpha or digit by the locale, or "_".
bool IsWordChar(char c);
bool IsWordChar(char16_t c);
// ASCII letter or "_".
bool IsIdentLetter(char c);
bool IsIdentLetter(char16_t c);
// ASCII digit only.
bool IsIdentDigit(char c);
bool IsIdentDigit(char16_t c);
bool IsIdentChar(char c);
bool IsIdentChar(char16_t c);
// 8-bit: CR or LF. 16-bit: LF, VT, FF, CR, NEL, LS, PS.
bool IsLineBreakChar(char c);
bool IsLineBreakChar(char16_t c);

// pos is 1-based. True at 1 and beyond the end; otherwise when IsWordChar differs between
// the characters at pos and pos - 1.
bool IsWordBoundary(std::string_view text, int pos);
bool IsWordBoundary(std::u16string_view text, int pos);

char UpperChar(char c);
char16_t UpperChar(char16_t c);

// --- Blanks and lines (1-based positions) ---------------------------------------------------
// A pos before 1 is moved to 1 first.
// Advances pos over spaces that are not line breaks. -1 when pos ran past the end, else 0.
int SkipSpaces(std::u16string_view text, int& pos);
// Advances pos over spaces, line breaks included. -1 when pos ran past the end, else the
// number of LF characters passed.
int SkipSpacesAndLines(std::u16string_view text, int& pos);
// Clears list (when given) and records the 0-based start offset of every line; lines end at
// LF, CR or CR LF. Returns the line count: 0 for an empty text, else line ends + 1.
int GetLineStarts(std::u16string_view text, std::vector<int>* list);

// --- Code pages and conversions ---------------------------------------------------------------
bool IsMultiByteCodePage(int codePage);
// Byte type at 1-based pos of 8-bit text in a multibyte code page: 0 single, 1 lead, 2 trail.
// An empty text or a pos outside it gives 0.
int GetByteType(std::string_view text, int pos, int codePage);
std::u16string MultiByteToWide(std::string_view text, int codePage);
std::string WideToMultiByte(std::u16string_view text, int codePage);
// 1 (default character set) → 0, 255 (OEM) → 1, otherwise the platform's code page or 0.
int CharsetToCodePage(int charset);
// Convert with codePage, or with CharsetToCodePage(charset) when codePage is 0.
std::u16string DecodeText(std::string_view bytes, int charset, int codePage);
std::string EncodeText(std::u16string_view text, int charset, int codePage);
std::u16string Utf8ToWide(std::string_view bytes);
std::string WideToUtf8(std::u16string_view text);

// --- Streams ------------------------------------------------------------------------------------
// Reads a byte-order mark at the stream's position: 1 (FF FE), 2 (FE FF), 3 (EF BB BF), or 0
// with the position given back. With fewer than 2 bytes left, reads nothing and returns 0.
int DetectEncoding(TStream& stream);
void WriteEncodingMark(TStream& stream, int kind);
// Writes text in the encoding kind, without a mark.
void WriteTextToStream(std::u16string_view text, TStream& stream, int kind, int codePage,
                       int charset);
// Reads from the position to the end in the encoding kind. UTF-16 data of odd length drops
// its last byte. Read and conversion errors are swallowed: text keeps what was decoded.
void ReadTextFromStream(std::u16string& text, TStream& stream, int kind, int codePage,
                        int charset);

// --- String list with selectable case ------------------------------------------------------------
// A string list that knows a delimiter for SplitToList. Searching and sorting come from
// TStringList, which already compares by the user locale with or without case by
// CaseSensitive (and re-sorts a sorted list when that changes).
class TzStringList : public TStringList {
public:
  const char* ClassName() const override { return "TzStringList"; }
  char Delimiter() const { return FDelimiter; }
  void SetDelimiter(char value) { FDelimiter = value; }

private:
  char FDelimiter = ',';
};

// Splits text into list: items end at characters 1..32 or at the list's delimiter; runs of
// characters 1..32 are skipped; consecutive delimiters give empty items, as does a delimiter
// at the very end. A NUL byte separates like a blank. The list is cleared first, inside an
// update bracket.
void SplitToList(TzStringList& list, std::string_view text);

// Points field at value, moving the owner's free-notification link from the old component to
// the new one. True when field changed; false (and nothing changed) when value equals field
// or owner is null.
bool ReplaceComponentRef(TComponent* owner, TComponent* value, TComponent*& field);

}  // namespace qv
