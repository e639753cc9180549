// Primitives of the binary component stream: the x87 extended format, object prefixes,
// skipping whole values, peeking, and the UTF-8 string kind.
#include "framework/ObjectBinary.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>

#include "framework/ObjectText.h"
#include "tests/support/RealFiles.h"

namespace qv {
namespace {

using testing::StrEq;
using testing::ThrowsMessage;

std::string Hex(const uint8_t* bytes, size_t n) {
  std::string s;
  for (size_t i = 0; i < n; ++i) s += (i ? " " : "") + IntToHex(bytes[i], 2);
  return s;
}

void FromHex(const std::string& hex, uint8_t* bytes) {
  for (size_t i = 0; i < hex.size(); i += 3)
    bytes[i / 3] = static_cast<uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16));
}

bool SameBits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

TEST(ExtendedFloat, EveryDoubleConvertsExactlyBothWays) {
  const double inf = std::numeric_limits<double>::infinity();
  struct Case { double Value; const char* Bytes; } cases[] = {
      {1.0, "00 00 00 00 00 00 00 80 FF 3F"},
      {-2.5, "00 00 00 00 00 00 00 A0 00 C0"},
      {0.1, "00 D0 CC CC CC CC CC CC FB 3F"},
      {0.0, "00 00 00 00 00 00 00 00 00 00"},
      {-0.0, "00 00 00 00 00 00 00 00 00 80"},
      {inf, "00 00 00 00 00 00 00 80 FF 7F"},
      {-inf, "00 00 00 00 00 00 00 80 FF FF"},
      {std::ldexp(1.0, -1074), "00 00 00 00 00 00 00 80 CD 3B"},  // smallest subnormal
      {std::ldexp(3.0, -1074), "00 00 00 00 00 00 00 C0 CE 3B"},
      {std::numeric_limits<double>::max(), "00 F8 FF FF FF FF FF FF FE 43"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Bytes);
    uint8_t bytes[10];
    DoubleToExtended(c.Value, bytes);
    EXPECT_EQ(Hex(bytes, 10), c.Bytes);
    EXPECT_TRUE(SameBits(ExtendedToDouble(bytes), c.Value));
  }
  uint8_t nan[10];
  DoubleToExtended(std::numeric_limits<double>::quiet_NaN(), nan);
  EXPECT_TRUE(std::isnan(ExtendedToDouble(nan)));
}

TEST(ExtendedFloat, NarrowingRoundsToNearestEven) {
  const double one = 1.0, ulp = std::ldexp(1.0, -52), tiny = std::ldexp(1.0, -1074);
  struct Case { const char* Bytes; double Value; } cases[] = {
      {"00 04 00 00 00 00 00 80 FF 3F", one},                   // exactly half an ulp: even
      {"01 04 00 00 00 00 00 80 FF 3F", one + ulp},             // just above half
      {"00 0C 00 00 00 00 00 80 FF 3F", one + 2 * ulp},         // half, odd below: up
      {"00 FC FF FF FF FF FF FF FF 3F", 2.0},                    // carries into the exponent
      {"00 00 00 00 00 00 00 80 FE 7F", std::numeric_limits<double>::infinity()},
      {"00 00 00 00 00 00 00 80 CC 3B", 0.0},                   // half the smallest subnormal
      {"00 00 00 00 00 00 00 C0 CC 3B", tiny},                  // three quarters of it: up
      {"00 00 00 00 00 00 00 80 CB 3B", 0.0},                   // below half
      {"00 00 00 00 00 00 00 C0 FE C3", -std::ldexp(1.5, 1023)},
      {"00 00 00 00 00 00 00 C0 FF C3", -std::numeric_limits<double>::infinity()},
      {"01 00 00 00 00 00 00 00 00 00", 0.0},                   // an extended denormal
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Bytes);
    uint8_t bytes[10];
    FromHex(c.Bytes, bytes);
    EXPECT_TRUE(SameBits(ExtendedToDouble(bytes), c.Value)) << ExtendedToDouble(bytes);
  }
}

TEST(TBinaryReader, PrefixGivesFlagsAndChildPosition) {
  struct Case { std::string Bytes; uint64_t Flags; int ChildPos; int64_t After; } cases[] = {
      {"\xF3\x02\x05", 3, 5, 3},
      {std::string("\xF2\x03\x00\x01", 4), 2, 256, 4},
      {"\xF4", 4, 0, 1},
      {"\xF0", 0, 0, 1},
      {"\x05TLeaf", 0, 0, 0},  // no prefix: nothing consumed
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.After);
    TMemoryStream stream(c.Bytes);
    TFilerFlags flags;
    int childPos = -1;
    TBinaryReader(stream).ReadPrefix(flags, childPos);
    EXPECT_EQ(flags.Mask(), c.Flags);
    EXPECT_EQ(childPos, c.ChildPos);
    EXPECT_EQ(stream.Position(), c.After);
  }
}

TEST(TBinaryReader, SkippingEveryPropertyValueKeepsTheStreamInStep) {
  // The property names, taken from the golden text, must come out in order when every value
  // is skipped whole: lists, collections, sets, strings of every kind, floats and binary.
  const std::string text = test::ReadFile(QV_SOURCE_DIR "/tests/golden/streaming/values.txt");
  std::string expected;
  for (size_t at = 0; (at = text.find("\r\n  ", at)) != std::string::npos; at += 4)
    if (text[at + 4] != ' ' && text.compare(at + 4, 3, "end") != 0)
      expected += text.substr(at + 4, text.find(' ', at + 4) - at - 4) + " ";
  TMemoryStream in(text), binary;
  ObjectTextToBinary(in, binary);
  binary.SetPosition(0);
  TBinaryReader reader(binary);
  reader.ReadSignature();
  TFilerFlags flags;
  int childPos;
  reader.ReadPrefix(flags, childPos);
  EXPECT_EQ(reader.ReadStr(), "TProbe");
  EXPECT_EQ(reader.ReadStr(), "Values1");
  std::string names;
  while (!reader.EndOfList()) {
    names += reader.ReadStr() + " ";
    const TValueType kind = reader.NextValue();
    EXPECT_EQ(reader.ReadValueType(), kind);
    reader.SkipValuePayload(kind);
  }
  reader.ReadListEnd();
  EXPECT_EQ(names, expected);
  reader.ReadListEnd();  // no children
  EXPECT_EQ(binary.Position(), binary.Size());
}

TEST(TBinaryReader, WideKindsDecodeToUtf16) {
  struct Case { std::string Payload; TValueType Kind; std::u16string Value; } cases[] = {
      {std::string("\x03\0\0\0a\xC3\xA9", 7), vaUTF8String, u"a\u00E9"},
      {std::string("\x04\0\0\0\xF0\x9F\x98\x80", 8), vaUTF8String, u"\U0001F600"},
      {std::string("\x02\0\0\0\xC0\x80", 6), vaUTF8String, u"\uFFFD\uFFFD"},       // overlong
      {std::string("\x03\0\0\0\xED\xA0\x80", 7), vaUTF8String, u"\uFFFD\uFFFD\uFFFD"},  // surrogate
      {std::string("\x02\0\0\0x\xE2", 6), vaUTF8String, u"x\uFFFD"},               // cut short
      {std::string("\x01\0\0\0\xAC\x20", 6), vaWString, u"\u20AC"},
      {std::string("\x01\0\0\0\x3D\xD8", 6), vaUString, u"\xD83D"},  // lone surrogates pass
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Payload.size());
    TMemoryStream stream(c.Payload);
    EXPECT_EQ(TBinaryReader(stream).ReadWideStringPayload(c.Kind), c.Value);
  }
}

TEST(TBinaryReader, KindMismatchesAndBadBytesRaise) {
  auto read = [](const std::string& bytes, auto action) {
    TMemoryStream stream(bytes);
    TBinaryReader reader(stream);
    action(reader);
  };
  const std::string int64Value("\x13\1\0\0\0\0\0\0\0", 9);
  EXPECT_THAT([&] { read(int64Value, [](TBinaryReader& r) { r.ReadInteger(false); }); },
              ThrowsMessage<EReadError>(StrEq("Invalid property value")));
  EXPECT_THAT([&] { read("\x06\x01x", [](TBinaryReader& r) { r.ReadInteger(); }); },
              ThrowsMessage<EReadError>(StrEq("Invalid property value")));
  EXPECT_THAT([&] { read("\x16", [](TBinaryReader& r) { r.NextValue(); }); },
              ThrowsMessage<EReadError>(StrEq("Invalid value type 22 in component stream")));
  EXPECT_THAT([&] { read("\x01", [](TBinaryReader& r) { r.ReadListEnd(); }); },
              ThrowsMessage<EReadError>(StrEq("Invalid property value")));
  EXPECT_THAT([&] { read("\x03" "ab", [](TBinaryReader& r) { r.ReadStr(); }); },
              ThrowsMessage<EReadError>(StrEq("Stream read error")));
  TMemoryStream out;
  EXPECT_THAT([&] { TBinaryWriter(out).WriteStr(std::string(256, 'a')); },
              ThrowsMessage<EWriteError>(StrEq("Name longer than 255 characters")));
  EXPECT_EQ(out.Size(), 0);
}

}  // namespace
}  // namespace qv
