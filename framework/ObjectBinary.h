// The binary component stream ("TPF0"): its value kinds and the primitives every reader and
// writer of it is built from. The text converters (framework/ObjectText.h) use them, and the
// component reader and writer are meant to, so both sides agree on every byte.
//
// Layout of a stream:
//   'T' 'P' 'F' '0'  object
//   object := [prefix] ClassName ObjectName  { PropName value }  00  { object }  00
//   prefix := byte $F0 | flags, followed by the child position as an integer value when
//             ffChildPos is among the flags. Written only when the flags are not empty, or
//             when the class name is 240 characters or longer (its length byte would otherwise
//             read as a prefix); a prefix with no flags reads like no prefix.
//   names  := length byte + ASCII text; a property name is a dotted path ("Font.Name")
//   value  := a TValueType byte and its payload, little-endian:
//     vaNull                              ends lists; as a property value it is "Null"
//     vaList        values... 00
//     vaInt8/16/32/64                     1 / 2 / 4 / 8 bytes, signed
//     vaExtended    10-byte x87 extended float
//     vaSingle      4-byte IEEE float;    vaDate 8-byte IEEE double (days since 1899-12-30)
//     vaCurrency    Int64 holding the value times 10000
//     vaString      length byte + bytes;  vaLString Int32 length + bytes
//     vaWString / vaUString  Int32 length in UTF-16 units + UTF-16LE units
//     vaUTF8String  Int32 length in bytes + UTF-8
//     vaIdent       length byte + name (dotted names allowed)
//     vaFalse, vaTrue, vaNil               no payload
//     vaBinary      Int32 length + bytes
//     vaSet         names (length byte + text)... then an empty name (a 0 byte)
//     vaCollection  { [order as an Int8/16/32 value] vaList properties... 00 } 00
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "framework/Streams.h"
#include "framework/Types.h"

namespace qv {

// The kind byte in front of every value. The numbers are the stream's bytes.
enum TValueType : uint8_t {
  vaNull, vaList, vaInt8, vaInt16, vaInt32, vaExtended, vaString, vaIdent, vaFalse, vaTrue,
  vaBinary, vaSet, vaLString, vaNil, vaCollection, vaSingle, vaCurrency, vaDate, vaWString,
  vaInt64, vaUTF8String, vaUString
};

// Bits of an object's prefix byte (bit n = value n).
enum TFilerFlag : uint8_t { ffInherited, ffChildPos, ffInline };
using TFilerFlags = TSet<TFilerFlag>;

inline constexpr char FilerSignature[4] = {'T', 'P', 'F', '0'};

// Objects, lists, collections and collection items nest inside one another; each is one
// level, the root object being level 1. Both converters stop beyond this depth with an
// error, so no input can exhaust the stack, and what one converter writes the other reads.
inline constexpr int MaxNestingLevel = 1000;

inline constexpr const char* SInvalidImage = "Invalid stream format";
inline constexpr const char* SInvalidValueType = "Invalid value type %d in component stream";
inline constexpr const char* SInvalidPropertyValue = "Invalid property value";
inline constexpr const char* SInvalidStreamName = "Invalid name '%s' in component stream";
inline constexpr const char* SInvalidStreamFloat =
    "Invalid floating point value in component stream";
inline constexpr const char* SStreamNestingTooDeep =
    "Component stream nested deeper than %d levels";
inline constexpr const char* SNameTooLong = "Name longer than 255 characters";

// Reads the primitives of a binary component stream from a stream's position on.
//
// Every read raises EReadError "Stream read error" when the stream ends early. Lengths read
// from the stream are never trusted for allocation: data is read in bounded chunks, so a
// corrupt length costs at most the bytes the stream really holds. The peeking calls move the
// stream back by one byte, so the stream must be able to seek backwards.
class TBinaryReader {
public:
  explicit TBinaryReader(TStream& stream) : FStream(stream) {}
  TStream& Stream() const { return FStream; }

  // Raises EReadError "Invalid stream format" unless the next four bytes are "TPF0".
  void ReadSignature();
  // The next value kind; EReadError "Invalid value type <n> in component stream" for a
  // byte beyond vaUString.
  TValueType ReadValueType();
  // The next value kind, not consumed.
  TValueType NextValue();
  // True when the next byte is the 0 ending a list (properties, children, list values,
  // collection items); nothing is consumed.
  bool EndOfList();
  // Consumes that 0; anything else raises EReadError "Invalid property value".
  void ReadListEnd();
  // Reads an object's optional prefix. Without one, flags are empty and childPos is 0. The
  // child position must be an Int8/16/32 value, else EReadError "Invalid property value".
  void ReadPrefix(TFilerFlags& flags, int& childPos);
  // A length byte and that many bytes (class, object, property and set element names).
  std::string ReadStr();
  // Exactly count bytes.
  std::string ReadBytes(int64_t count);
  // A little-endian Int32 length (vaLString, vaWString, vaBinary, ...); a negative one
  // raises EReadError "Stream read error".
  int32_t ReadLength();

  // Payloads, for a kind already read with ReadValueType. A kind the call does not handle
  // raises EReadError "Invalid property value".
  // Integer kinds vaInt8 ... vaInt64, sign-extended.
  int64_t ReadIntPayload(TValueType kind);
  // vaString, vaLString: the bytes.
  std::string ReadStringPayload(TValueType kind);
  // vaWString, vaUString, vaUTF8String as UTF-16; bad UTF-8 becomes U+FFFD.
  std::u16string ReadWideStringPayload(TValueType kind);
  // vaExtended (rounded to double), vaSingle, vaDate; infinite or NaN when the stream says so.
  double ReadExtendedPayload();
  float ReadSinglePayload();
  double ReadDatePayload();
  // vaCurrency: the value times 10000.
  int64_t ReadCurrencyPayload();
  // Skips the payload of one value of the given kind, nested lists and collections included.
  // level is the nesting level the value sits at (see MaxNestingLevel). This is how a reader
  // passes over the value of an unknown property and stays in step.
  void SkipValuePayload(TValueType kind, int level = 1);

  // An integer value, kind byte and payload: Int8/16/32, and Int64 when allowInt64; any
  // other kind raises EReadError "Invalid property value".
  int64_t ReadInteger(bool allowInt64 = true);

private:
  uint8_t ReadByte();
  uint8_t PeekByte();
  uint64_t ReadLE(int bytes);
  void SkipBytes(int64_t count);

  TStream& FStream;  // not owned
};

// Writes the primitives of a binary component stream at a stream's position. Every write
// raises EWriteError "Stream write error" when the stream refuses it.
class TBinaryWriter {
public:
  explicit TBinaryWriter(TStream& stream) : FStream(stream) {}
  TStream& Stream() const { return FStream; }

  void WriteSignature();
  void WriteValueType(TValueType kind);
  void WriteListBegin() { WriteValueType(vaList); }
  void WriteListEnd() { WriteValueType(vaNull); }
  // The prefix of an object: when flags are not empty, $F0 | flags and (with ffChildPos)
  // the child position as an integer value. force writes $F0 even for empty flags, which an
  // object whose class name is 240 characters or longer needs.
  void WritePrefix(TFilerFlags flags, int childPos, bool force = false);
  // A length byte and the bytes; raises EWriteError "Name longer than 255 characters".
  void WriteStr(std::string_view s);
  // An integer value in the smallest of vaInt8, vaInt16, vaInt32 and vaInt64 that holds it.
  void WriteInteger(int64_t value);
  // An 8-bit string value: vaString up to 255 bytes, else vaLString.
  void WriteString(std::string_view s);
  // A wide string value (vaWString).
  void WriteWideString(std::u16string_view s);
  // An identifier value: True, False and nil (any case) become vaTrue, vaFalse and vaNil,
  // everything else vaIdent. "Null" stays an identifier, since a vaNull inside a list
  // would end the list.
  void WriteIdent(std::string_view ident);
  void WriteExtended(double value);
  void WriteSingle(float value);
  void WriteCurrency(int64_t scaled);  // the value times 10000
  void WriteDate(double value);
  void WriteBinary(std::string_view bytes);

private:
  void WriteLE(uint64_t value, int bytes);

  TStream& FStream;  // not owned
};

// The 10-byte x87 extended format (64-bit mantissa with explicit integer bit, 15-bit exponent
// biased by 16383, sign bit), converted by hand so it works on every host. Every double,
// subnormals included, converts exactly; the way back rounds to nearest-even, gives infinity
// beyond the double range, and keeps infinities and NaNs.
void DoubleToExtended(double value, uint8_t bytes[10]);
double ExtendedToDouble(const uint8_t bytes[10]);

}  // namespace qv
