// Primitives of the binary component stream: value kinds, names, integers by size, strings,
// floats (the x87 extended format by hand) and skipping of whole values.
#include "framework/ObjectBinary.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <limits>

#include "framework/SysUtils.h"

namespace qv {

namespace {

// Bytes are moved through buffers of at most this size, so a corrupt length in the stream
// never allocates more than the stream really holds plus one chunk.
constexpr int64_t kChunk = 64 * 1024;

void CheckLevel(int level) {
  if (level > MaxNestingLevel) throw EReadError(Format(SStreamNestingTooDeep, MaxNestingLevel));
}

void AppendUtf16(std::u16string& out, uint32_t cp) {
  if (cp >= 0x10000) {
    cp -= 0x10000;
    out += static_cast<char16_t>(0xD800 + (cp >> 10));
    out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
  } else {
    out += static_cast<char16_t>(cp);
  }
}

// Strict UTF-8 (no overlong forms, no surrogates, at most U+10FFFF); every byte that does not
// start a valid sequence becomes one U+FFFD.
std::u16string DecodeUtf8(std::string_view s) {
  std::u16string out;
  out.reserve(s.size());
  size_t i = 0;
  while (i < s.size()) {
    const uint8_t b = static_cast<uint8_t>(s[i]);
    int len = 0;
    uint32_t cp = 0, min = 0;
    if (b < 0x80) { len = 1; cp = b; }
    else if ((b & 0xE0) == 0xC0) { len = 2; cp = b & 0x1F; min = 0x80; }
    else if ((b & 0xF0) == 0xE0) { len = 3; cp = b & 0x0F; min = 0x800; }
    else if ((b & 0xF8) == 0xF0) { len = 4; cp = b & 0x07; min = 0x10000; }
    bool ok = len > 0 && i + len <= s.size();
    for (int k = 1; ok && k < len; ++k) {
      const uint8_t c = static_cast<uint8_t>(s[i + k]);
      ok = (c & 0xC0) == 0x80;
      cp = (cp << 6) | (c & 0x3F);
    }
    ok = ok && cp >= min && cp <= 0x10FFFF && !(cp >= 0xD800 && cp <= 0xDFFF);
    if (ok) {
      AppendUtf16(out, cp);
      i += len;
    } else {
      out += u'\xFFFD';
      ++i;
    }
  }
  return out;
}

bool IsSmallInt(TValueType kind) { return kind == vaInt8 || kind == vaInt16 || kind == vaInt32; }

}  // namespace

// --- TBinaryReader --------------------------------------------------------------------------

uint8_t TBinaryReader::ReadByte() {
  uint8_t b;
  FStream.ReadBuffer(&b, 1);
  return b;
}

uint8_t TBinaryReader::PeekByte() {
  const uint8_t b = ReadByte();
  FStream.Seek(-1, soCurrent);
  return b;
}

uint64_t TBinaryReader::ReadLE(int bytes) {
  uint8_t b[8];
  FStream.ReadBuffer(b, bytes);
  uint64_t v = 0;
  for (int i = bytes - 1; i >= 0; --i) v = (v << 8) | b[i];
  return v;
}

void TBinaryReader::SkipBytes(int64_t count) {
  char buffer[4096];
  while (count > 0) {
    const int64_t n = std::min<int64_t>(count, sizeof buffer);
    FStream.ReadBuffer(buffer, n);
    count -= n;
  }
}

void TBinaryReader::ReadSignature() {
  char sig[4];
  if (FStream.Read(sig, 4) != 4 || std::memcmp(sig, FilerSignature, 4) != 0)
    throw EReadError(SInvalidImage);
}

TValueType TBinaryReader::ReadValueType() {
  const uint8_t b = ReadByte();
  if (b > vaUString) throw EReadError(Format(SInvalidValueType, b));
  return static_cast<TValueType>(b);
}

TValueType TBinaryReader::NextValue() {
  const uint8_t b = PeekByte();
  if (b > vaUString) throw EReadError(Format(SInvalidValueType, b));
  return static_cast<TValueType>(b);
}

bool TBinaryReader::EndOfList() { return PeekByte() == vaNull; }

void TBinaryReader::ReadListEnd() {
  if (ReadByte() != vaNull) throw EReadError(SInvalidPropertyValue);
}

void TBinaryReader::ReadPrefix(TFilerFlags& flags, int& childPos) {
  flags = TFilerFlags();
  childPos = 0;
  const uint8_t b = PeekByte();
  if ((b & 0xF0) != 0xF0) return;
  ReadByte();
  flags = TFilerFlags::FromMask(b & 0x0F);
  if (flags.Contains(ffChildPos)) childPos = static_cast<int>(ReadInteger(false));
}

std::string TBinaryReader::ReadStr() { return ReadBytes(ReadByte()); }

std::string TBinaryReader::ReadBytes(int64_t count) {
  if (count < 0) throw EReadError(SReadError);
  std::string out;
  while (count > 0) {
    const int64_t n = std::min(count, kChunk);
    const size_t old = out.size();
    out.resize(old + static_cast<size_t>(n));
    FStream.ReadBuffer(out.data() + old, n);
    count -= n;
  }
  return out;
}

int32_t TBinaryReader::ReadLength() {
  const auto len = static_cast<int32_t>(ReadLE(4));
  if (len < 0) throw EReadError(SReadError);
  return len;
}

int64_t TBinaryReader::ReadIntPayload(TValueType kind) {
  switch (kind) {
    case vaInt8: return static_cast<int8_t>(ReadLE(1));
    case vaInt16: return static_cast<int16_t>(ReadLE(2));
    case vaInt32: return static_cast<int32_t>(ReadLE(4));
    case vaInt64: return static_cast<int64_t>(ReadLE(8));
    default: throw EReadError(SInvalidPropertyValue);
  }
}

int64_t TBinaryReader::ReadInteger(bool allowInt64) {
  const TValueType kind = ReadValueType();
  if (kind == vaInt64 && !allowInt64) throw EReadError(SInvalidPropertyValue);
  return ReadIntPayload(kind);
}

std::string TBinaryReader::ReadStringPayload(TValueType kind) {
  if (kind == vaString) return ReadStr();
  if (kind == vaLString) return ReadBytes(ReadLength());
  throw EReadError(SInvalidPropertyValue);
}

std::u16string TBinaryReader::ReadWideStringPayload(TValueType kind) {
  if (kind == vaUTF8String) return DecodeUtf8(ReadBytes(ReadLength()));
  if (kind != vaWString && kind != vaUString) throw EReadError(SInvalidPropertyValue);
  const std::string bytes = ReadBytes(int64_t{2} * ReadLength());
  std::u16string out(bytes.size() / 2, u'\0');
  for (size_t i = 0; i < out.size(); ++i)
    out[i] = static_cast<char16_t>(static_cast<uint8_t>(bytes[2 * i]) |
                                   (static_cast<uint8_t>(bytes[2 * i + 1]) << 8));
  return out;
}

double TBinaryReader::ReadExtendedPayload() {
  uint8_t b[10];
  FStream.ReadBuffer(b, 10);
  return ExtendedToDouble(b);
}

float TBinaryReader::ReadSinglePayload() {
  return std::bit_cast<float>(static_cast<uint32_t>(ReadLE(4)));
}

double TBinaryReader::ReadDatePayload() { return std::bit_cast<double>(ReadLE(8)); }

int64_t TBinaryReader::ReadCurrencyPayload() { return static_cast<int64_t>(ReadLE(8)); }

void TBinaryReader::SkipValuePayload(TValueType kind, int level) {
  switch (kind) {
    case vaNull: case vaFalse: case vaTrue: case vaNil:
      return;
    case vaInt8: SkipBytes(1); return;
    case vaInt16: SkipBytes(2); return;
    case vaInt32: case vaSingle: SkipBytes(4); return;
    case vaInt64: case vaCurrency: case vaDate: SkipBytes(8); return;
    case vaExtended: SkipBytes(10); return;
    case vaString: case vaIdent: SkipBytes(ReadByte()); return;
    case vaLString: case vaBinary: case vaUTF8String: SkipBytes(ReadLength()); return;
    case vaWString: case vaUString: SkipBytes(int64_t{2} * ReadLength()); return;
    case vaSet:
      while (const uint8_t len = ReadByte()) SkipBytes(len);
      return;
    case vaList:
      CheckLevel(level + 1);
      for (TValueType k; (k = ReadValueType()) != vaNull;) SkipValuePayload(k, level + 1);
      return;
    case vaCollection:
      CheckLevel(level + 1);
      for (TValueType k; (k = ReadValueType()) != vaNull;) {
        if (IsSmallInt(k)) {  // the item's order
          ReadIntPayload(k);
          k = ReadValueType();
        }
        if (k != vaList) throw EReadError(SInvalidPropertyValue);
        CheckLevel(level + 2);
        while (const uint8_t len = ReadByte()) {  // properties: name, value; a 0 ends them
          SkipBytes(len);
          SkipValuePayload(ReadValueType(), level + 2);
        }
      }
      return;
  }
  throw EReadError(Format(SInvalidValueType, static_cast<int>(kind)));
}

// --- TBinaryWriter --------------------------------------------------------------------------

void TBinaryWriter::WriteLE(uint64_t value, int bytes) {
  uint8_t b[8];
  for (int i = 0; i < bytes; ++i, value >>= 8) b[i] = static_cast<uint8_t>(value);
  FStream.WriteBuffer(b, bytes);
}

void TBinaryWriter::WriteSignature() { FStream.WriteBuffer(FilerSignature, 4); }

void TBinaryWriter::WriteValueType(TValueType kind) { WriteLE(kind, 1); }

void TBinaryWriter::WritePrefix(TFilerFlags flags, int childPos, bool force) {
  if (flags.Empty() && !force) return;
  WriteLE(0xF0 | (flags.Mask() & 0x0F), 1);
  if (flags.Contains(ffChildPos)) WriteInteger(childPos);
}

void TBinaryWriter::WriteStr(std::string_view s) {
  if (s.size() > 255) throw EWriteError(SNameTooLong);
  WriteLE(s.size(), 1);
  FStream.WriteBuffer(s.data(), static_cast<int64_t>(s.size()));
}

void TBinaryWriter::WriteInteger(int64_t value) {
  if (value >= INT8_MIN && value <= INT8_MAX) {
    WriteValueType(vaInt8);
    WriteLE(static_cast<uint64_t>(value), 1);
  } else if (value >= INT16_MIN && value <= INT16_MAX) {
    WriteValueType(vaInt16);
    WriteLE(static_cast<uint64_t>(value), 2);
  } else if (value >= INT32_MIN && value <= INT32_MAX) {
    WriteValueType(vaInt32);
    WriteLE(static_cast<uint64_t>(value), 4);
  } else {
    WriteValueType(vaInt64);
    WriteLE(static_cast<uint64_t>(value), 8);
  }
}

void TBinaryWriter::WriteString(std::string_view s) {
  if (s.size() <= 255) {
    WriteValueType(vaString);
    WriteStr(s);
    return;
  }
  if (s.size() > static_cast<size_t>(INT32_MAX)) throw EWriteError(SWriteError);
  WriteValueType(vaLString);
  WriteLE(s.size(), 4);
  FStream.WriteBuffer(s.data(), static_cast<int64_t>(s.size()));
}

void TBinaryWriter::WriteWideString(std::u16string_view s) {
  if (s.size() > static_cast<size_t>(INT32_MAX)) throw EWriteError(SWriteError);
  WriteValueType(vaWString);
  WriteLE(s.size(), 4);
  std::string bytes(2 * s.size(), '\0');
  for (size_t i = 0; i < s.size(); ++i) {
    bytes[2 * i] = static_cast<char>(s[i] & 0xFF);
    bytes[2 * i + 1] = static_cast<char>(s[i] >> 8);
  }
  FStream.WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
}

void TBinaryWriter::WriteIdent(std::string_view ident) {
  if (SameText(ident, "False")) {
    WriteValueType(vaFalse);
  } else if (SameText(ident, "True")) {
    WriteValueType(vaTrue);
  } else if (SameText(ident, "nil")) {
    WriteValueType(vaNil);
  } else {
    WriteValueType(vaIdent);
    WriteStr(ident);
  }
}

void TBinaryWriter::WriteExtended(double value) {
  uint8_t b[10];
  DoubleToExtended(value, b);
  WriteValueType(vaExtended);
  FStream.WriteBuffer(b, 10);
}

void TBinaryWriter::WriteSingle(float value) {
  WriteValueType(vaSingle);
  WriteLE(std::bit_cast<uint32_t>(value), 4);
}

void TBinaryWriter::WriteCurrency(int64_t scaled) {
  WriteValueType(vaCurrency);
  WriteLE(static_cast<uint64_t>(scaled), 8);
}

void TBinaryWriter::WriteDate(double value) {
  WriteValueType(vaDate);
  WriteLE(std::bit_cast<uint64_t>(value), 8);
}

void TBinaryWriter::WriteBinary(std::string_view bytes) {
  if (bytes.size() > static_cast<size_t>(INT32_MAX)) throw EWriteError(SWriteError);
  WriteValueType(vaBinary);
  WriteLE(bytes.size(), 4);
  FStream.WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
}

// --- Extended floats ------------------------------------------------------------------------

void DoubleToExtended(double value, uint8_t bytes[10]) {
  const uint64_t bits = std::bit_cast<uint64_t>(value);
  const uint16_t sign = (bits >> 63) ? 0x8000 : 0;
  const int exp = static_cast<int>((bits >> 52) & 0x7FF);
  const uint64_t frac = bits & ((uint64_t{1} << 52) - 1);
  uint64_t mant = 0;
  int e = 0;  // biased by 16383
  if (exp == 0x7FF) {  // infinity (integer bit only) or NaN (payload kept, quiet bit set)
    e = 0x7FFF;
    mant = (uint64_t{1} << 63) | (frac << 11);
  } else if (exp != 0) {
    e = exp - 1023 + 16383;
    mant = (uint64_t{1} << 63) | (frac << 11);
  } else if (frac != 0) {  // a subnormal double is a normal extended number
    const int top = 63 - std::countl_zero(frac);  // highest set bit, 0..51
    mant = frac << (63 - top);
    e = top - 1074 + 16383;
  }
  for (int i = 0; i < 8; ++i) bytes[i] = static_cast<uint8_t>(mant >> (8 * i));
  const uint16_t se = static_cast<uint16_t>(sign | e);
  bytes[8] = static_cast<uint8_t>(se);
  bytes[9] = static_cast<uint8_t>(se >> 8);
}

double ExtendedToDouble(const uint8_t bytes[10]) {
  uint64_t mant = 0;
  for (int i = 7; i >= 0; --i) mant = (mant << 8) | bytes[i];
  const int se = bytes[8] | (bytes[9] << 8);
  const bool negative = (se & 0x8000) != 0;
  const int e = se & 0x7FFF;
  double result;
  if (e == 0x7FFF) {
    result = (mant << 1) == 0 ? std::numeric_limits<double>::infinity()
                              : std::numeric_limits<double>::quiet_NaN();
  } else if (mant == 0) {
    result = 0.0;
  } else {
    // value = mant * 2^(e - 16383 - 63); denormal extended numbers (e = 0) use e = 1.
    const int shift = std::countl_zero(mant);
    mant <<= shift;
    const int topExp = (e == 0 ? 1 : e) - 16383 - shift;  // exponent of the top bit
    // Bits a double keeps: 53, fewer in the subnormal range (top bit below 2^-1022).
    int keep = topExp >= -1022 ? 53 : 53 - (-1022 - topExp);
    if (keep < 0) {
      result = 0.0;  // below half the smallest subnormal
    } else {
      const int drop = 64 - keep;  // 11..64
      uint64_t kept = drop == 64 ? 0 : mant >> drop;
      const uint64_t rest = drop == 64 ? mant : mant << (64 - drop);  // dropped bits, at the top
      const uint64_t half = uint64_t{1} << 63;
      if (rest > half || (rest == half && (kept & 1))) ++kept;  // nearest, ties to even
      // kept <= 2^53, so it and the scaling are exact; overflow gives infinity.
      result = std::ldexp(static_cast<double>(kept), topExp - keep + 1);
    }
  }
  return negative ? -result : result;
}

}  // namespace qv
