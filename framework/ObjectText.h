// Conversion between the textual component format ("object Name: TClass ... end") and the
// binary component stream ("TPF0"), and the test that tells the two forms apart. Loading a
// lexer file goes text -> binary -> component reader; saving goes writer -> binary -> text.
#pragma once

#include <cstdint>

#include "framework/ObjectBinary.h"
#include "framework/Parser.h"
#include "framework/Streams.h"

namespace qv {

enum TStreamOriginalFormat : uint8_t { sofUnknown, sofBinary, sofText };

// Reasons of EParserError raised by the text-to-binary conversion (besides the tokenizer's).
inline constexpr const char* SIdentTooLong = "Identifier longer than 255 characters";
inline constexpr const char* SIntegerOutOfRange = "Integer %s out of range";
inline constexpr const char* SStringTooLong = "String too long";
inline constexpr const char* SNestingTooDeep = "Objects and values nested deeper than %d levels";

// Reads one object in text form from input's position to its end and writes its binary
// stream, signature first, at output's position.
//
// Reading is lenient exactly where the framework's readers are: a UTF-8 byte-order mark, CR
// LF, LF or CR line ends, keywords (object, inherited, inline, end, item) and True, False,
// nil in any case, quotes as '' or #39, "+" joins at either end of a line, "item [n]" and
// "item[n]", and any layout of blanks. Only blanks may follow the final "end".
//
// Value kinds: integers take the smallest of Int8/16/32/64 that holds them; a float without
// suffix is vaExtended, with s/c/d vaSingle/vaCurrency (the text holds the value times
// 10000)/vaDate; a string, joined with "+" or not, is vaWString when any #code is above 255
// (its quoted bytes then taken as U+0000..U+00FF), else vaString up to 255 bytes and
// vaLString beyond; other symbols are vaIdent ("Null" too). The order number of a collection
// item and the child position of an object are kept in the binary form.
//
// Errors raise EParserError, whose message is "<reason> on line <n>". Nothing is written to
// output unless the whole conversion succeeds.
void ObjectTextToBinary(TStream& input, TStream& output);

// Reads one binary object from input's position (leaving input just after it) and writes it
// in text form at output's position, as the framework of the ANSI era writes it:
//   - CR LF line ends, two blanks of indent per level, no byte-order mark;
//   - "object"/"inherited"/"inline", "Name: " (left out when empty), class, " [n]" for a
//     child position; properties, then children, then "end" at the object's indent;
//   - integers in decimal; floats in the shortest form that reads back to the same value
//     (a vaExtended always shows a "." or an exponent, so it reads back as a float);
//   - strings as quoted runs and #codes: the quote and characters below 32 as #codes, and in
//     wide strings characters above 255; 8-bit bytes from 128 up and wide characters
//     128..255 raw, one byte each; '' for the empty string. A string longer than 64
//     characters (each #code counting one) starts on a new line one level deeper and is cut
//     into 64-character pieces joined by " +";
//   - lists as "(", one value per line one level deeper, ")" after the last; "()" empty;
//   - sets as "[a, b]"; collections as "<", "item" (" [n]" with an order) lines with the
//     item's properties one level deeper and "end", ">" after the last "end"; "<>" empty;
//   - binary data as upper-case hex in braces, inline below 32 bytes, else 32 bytes a line
//     one level deeper with "}" after the last digits.
// Malformed input raises EReadError: "Invalid stream format" without the signature, "Stream
// read error" when truncated, or a message naming what is wrong (unknown value type, a name
// that is no identifier, a non-finite float, nesting too deep). Nothing is written to output
// unless the whole conversion succeeds.
void ObjectBinaryToText(TStream& input, TStream& output);

// Looks at the start of the stream without moving it: sofBinary when it begins with "TPF0",
// sofText when (after an optional UTF-8 byte-order mark and blanks) it begins with the word
// object, inherited or inline in any case, else sofUnknown.
TStreamOriginalFormat TestStreamFormat(TStream& stream);

}  // namespace qv
