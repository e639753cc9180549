// The component-text converters: golden files in the framework's layout, the kinds values
// take in the binary form, lenient reading, and every kind of malformed input in both
// directions.
#include "framework/ObjectText.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "tests/support/RealFiles.h"

namespace qv {
namespace {

using namespace std::string_literals;
using testing::StrEq;
using testing::ThrowsMessage;

std::string ToBinary(std::string_view text) {
  TMemoryStream in(text), out;
  ObjectTextToBinary(in, out);
  return out.DataString();
}

std::string ToText(std::string_view binary) {
  TMemoryStream in(binary), out;
  ObjectBinaryToText(in, out);
  return out.DataString();
}

std::string Golden(const std::string& name) {
  const std::string text = test::ReadFile(QV_SOURCE_DIR "/tests/golden/streaming/" + name);
  EXPECT_FALSE(text.empty()) << name;
  return text;
}

// Bytes from a readable notation: hex pairs and "quoted ASCII", separated by blanks.
std::string Bin(std::string_view notation) {
  std::string bytes;
  for (size_t i = 0; i < notation.size();) {
    if (notation[i] == ' ') {
      ++i;
    } else if (notation[i] == '"') {
      const size_t end = notation.find('"', i + 1);
      bytes += notation.substr(i + 1, end - i - 1);
      i = end + 1;
    } else {
      bytes += static_cast<char>(std::stoi(std::string(notation.substr(i, 2)), nullptr, 16));
      i += 2;
    }
  }
  return bytes;
}

std::string Hex(std::string_view bytes) {
  std::string s;
  for (unsigned char c : bytes) s += (s.empty() ? "" : " ") + IntToHex(c, 2);
  return s;
}

// The binary form of one property value, without the object around it.
std::string ValueBytes(const std::string& value) {
  const std::string full = ToBinary("object X: T\r\n  P = " + value + "\r\nend\r\n");
  const std::string head = Bin(R"("TPF0" 01 "T" 01 "X" 01 "P")");
  EXPECT_EQ(full.substr(0, head.size()), head);
  return Hex(full.substr(head.size(), full.size() - head.size() - 2));
}

// Text of an object holding the given property lines.
std::string Object(const std::string& lines) { return "object X: T\r\n" + lines + "end\r\n"; }

std::string Replace(std::string s, std::string_view from, std::string_view to) {
  for (size_t at = 0; (at = s.find(from, at)) != std::string::npos; at += to.size())
    s.replace(at, from.size(), to);
  return s;
}

const char* const kGoldenFiles[] = {"worked-example.txt", "binary-layout.txt", "long-strings.txt",
                                    "collections.txt", "values.txt", "inherited.txt"};

TEST(ObjectText, GoldenFilesSurviveTextBinaryTextByteForByte) {
  for (const char* name : kGoldenFiles) {
    SCOPED_TRACE(name);
    const std::string text = Golden(name);
    // A line end other than CR LF means an editor touched the file.
    EXPECT_EQ(Replace(text, "\r\n", ""s).find_first_of("\r\n"), std::string::npos);
    const std::string binary = ToBinary(text);
    EXPECT_EQ(ToText(binary), text);
    EXPECT_EQ(ToBinary(ToText(binary)), binary);
  }
}

TEST(ObjectText, BinaryLayoutIsTheFrameworksByteForByte) {
  const std::string text =
      "inherited Box: TLeaf [2]\n  Count = -300\n  Note = 'It''s'\n  Kinds = [kdBeta]\n"
      "  Flag = True\n  Lines.Strings = (\n    'a')\n  Items = <\n    item\n      Value = 1\n"
      "    end>\n  W = #8364\n  Data = {0A0B}\nend\n";
  const std::string expected = Bin(
      R"("TPF0" F3 02 02 05 "TLeaf" 03 "Box")"
      R"( 05 "Count" 03 D4 FE  04 "Note" 06 04 "It's"  05 "Kinds" 0B 06 "kdBeta" 00  04 "Flag" 09)"
      R"( 0D "Lines.Strings" 01 06 01 "a" 00  05 "Items" 0E 01 05 "Value" 02 01 00 00)"
      R"( 01 "W" 12 01 00 00 00 AC 20  04 "Data" 0A 02 00 00 00 0A 0B  00 00)");
  EXPECT_EQ(Hex(ToBinary(text)), Hex(expected));
  EXPECT_EQ(ToText(expected), Golden("binary-layout.txt"));
}

TEST(ObjectText, ForeignLayoutReadsBackInTheFrameworkLayout) {
  // The same object as another implementation writes it: one-line strings with '', ")" and
  // "}" on lines of their own, trailing blanks after "<" and "end".
  EXPECT_EQ(ToText(ToBinary(Golden("worked-example.fpc.txt"))), Golden("worked-example.txt"));
}

TEST(ObjectText, LenientSpellingsGiveTheSameBinary) {
  const std::string golden = Golden("collections.txt");
  struct Case { std::string Variant, Canonical; } cases[] = {
      {Replace(golden, "\r\n", "\n"), golden},
      {Replace(golden, "\r\n", "\r"), golden},
      {"\xEF\xBB\xBF" + golden, golden},
      {Replace(Replace(Replace(golden, "object", "OBJECT"), "end", "End"), "item", "ITEM"), golden},
      {Replace(golden, "item [", "item["), golden},
      {Replace(golden, "\r\n", " "), golden},
      {Object("  N = 'It''s'\r\n"), Object("  N = 'It'#39's'\r\n")},
      {Object("  S = 'ab'\r\n    + 'cd'\r\n"), Object("  S = 'abcd'\r\n")},
      {Object("  S = 'ab' +\r\n\r\n'cd' + #13\r\n"), Object("  S = 'abcd'#13\r\n")},
      {Object("  Look . Inner.Depth = 2\r\n"), Object("  Look.Inner.Depth = 2\r\n")},
      {Object("  F = TRUE\r\n  G = false\r\n  R = NIL\r\n"),
       Object("  F = True\r\n  G = False\r\n  R = nil\r\n")},
      {Object("  B = { 0a 0B\r\n  0c }\r\n"), Object("  B = {0A0B0C}\r\n")},
      {Object("  K = [ a , b ]\r\n"), Object("  K = [a, b]\r\n")},
      {Object("  I = 007\r\n  H = $ff\r\n"), Object("  I = 7\r\n  H = 255\r\n")},
      {Object("  W = 'x'#233#937\r\n"), Object("  W = 'x\xE9'#937\r\n")},  // later escaping
      {Object("  S = #195#169\r\n"), Object("  S = '\xC3\xA9'\r\n")},
      {"object X : T[3]\r\nend", "object X: T [3]\r\nend\r\n"},
      {"object X: T I8 = 5 S1 = 'a' end", Object("  I8 = 5\r\n  S1 = 'a'\r\n")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Variant);
    EXPECT_EQ(Hex(ToBinary(c.Variant)), Hex(ToBinary(c.Canonical)));
  }
}

TEST(ObjectText, ValuesTakeTheKindTheirTextDecides) {
  const std::string a255(255, 'a'), b200(200, 'b'), c56(56, 'c');
  struct Case { std::string Text, Bytes; } cases[] = {
      // Integers: the smallest kind that holds the value, hex taken as a bit pattern.
      {"127", "02 7F"}, {"-128", "02 80"}, {"128", "03 80 00"}, {"-129", "03 7F FF"},
      {"32768", "04 00 80 00 00"}, {"-2147483648", "04 00 00 00 80"},
      {"2147483648", "13 00 00 00 80 00 00 00 00"}, {"-2147483649", "13 FF FF FF 7F FF FF FF FF"},
      {"$FF", "03 FF 00"}, {"$FFFFFFFF", "13 FF FF FF FF 00 00 00 00"},
      {"$FFFFFFFFFFFFFFFF", "02 FF"},
      {"9223372036854775807", "13 FF FF FF FF FF FF FF 7F"},
      // Floats: extended without suffix; s, c, d pick single, currency (value * 10000), date.
      {"1.5", "05 00 00 00 00 00 00 00 C0 FF 3F"}, {"1.", "05 00 00 00 00 00 00 00 80 FF 3F"},
      {"-2.25", "05 00 00 00 00 00 00 00 90 00 C0"}, {"1e3", "05 00 00 00 00 00 00 00 FA 08 40"},
      {"0.1", "05 00 D0 CC CC CC CC CC CC FB 3F"},
      {"1.25s", "0F 00 00 A0 3F"}, {"5S", "0F 00 00 A0 40"}, {"0.1s", "0F CD CC CC 3D"},
      {"123400c", "10 08 E2 01 00 00 00 00 00"}, {"2.5c", "10 02 00 00 00 00 00 00 00"},
      {"-1.5c", "10 FE FF FF FF FF FF FF FF"}, {"45000.5d", "11 00 00 00 00 10 F9 E5 40"},
      // Strings: wide only when a code is above 255; quoted bytes then count as Latin-1.
      {"''", "06 00"}, {"'a'#127", "06 02 61 7F"}, {"'a'#255", "06 02 61 FF"},
      {"'a'#256", "12 02 00 00 00 61 00 00 01"},
      {"'ab' + #8364", "12 03 00 00 00 61 00 62 00 AC 20"},
      {"#8364 + 'ab'", "12 03 00 00 00 AC 20 61 00 62 00"},
      {"'\xE9'#8364", "12 02 00 00 00 E9 00 AC 20"}, {"'caf\xC3\xA9'", "06 05 63 61 66 C3 A9"},
      {"#55357#56832", "12 02 00 00 00 3D D8 00 DE"}, {"#0", "06 01 00"},
      {"'" + a255 + "'", "06 FF " + Hex(a255)},
      {"'" + b200 + "' + '" + c56 + "'", "0C 00 01 00 00 " + Hex(b200 + c56)},
      // Symbols, sets, lists, collections, binary.
      {"True", "09"}, {"FALSE", "08"}, {"Nil", "0D"}, {"Null", "07 04 4E 75 6C 6C"},
      {"Form1.Button1", "07 0D " + Hex("Form1.Button1")},
      {"[]", "0B 00"}, {"[a, bc]", "0B 01 61 02 62 63 00"},
      {"()", "01 00"},
      {"(1 (2) 'x' k [a])", "01 02 01 01 02 02 00 06 01 78 07 01 6B 0B 01 61 00 00"},
      {"<>", "0E 00"}, {"<item end>", "0E 01 00 00"},
      {"<item [2] V = 1 end item[-1] end>", "0E 02 02 01 01 56 02 01 00 02 FF 01 00 00"},
      {"{}", "0A 00 00 00 00"}, {"{0a0B}", "0A 02 00 00 00 0A 0B"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Text);
    EXPECT_EQ(ValueBytes(c.Text), c.Bytes);
  }
}

TEST(ObjectText, WritesValuesInTheFrameworkLayout) {
  auto text = [](const std::string& value) {
    const std::string all = ToText(ToBinary(Object("  P = " + value + "\r\n")));
    return all.substr(15, all.size() - 15 - 7);  // between "object X: T\r\n  " and "\r\nend\r\n"
  };
  const std::string x63(63, 'x'), x64(64, 'x'), hex32 = Replace(std::string(32, '.'), ".", "AB");
  struct Case { std::string Value, Written; } cases[] = {
      {"1e3", "P = 1000.0"}, {"1E20", "P = 1E20"}, {"0.00001", "P = 0.00001"},
      {"0.000001", "P = 1E-6"}, {"-0.0", "P = -0.0"},
      {"123456789012345.0", "P = 123456789012345.0"},
      {"1234567890123456.0", "P = 1.234567890123456E15"}, {"2.5c", "P = 2c"},
      {"$FF", "P = 255"}, {"'It''s'", "P = 'It'#39's'"}, {"#9'a'#13#10", "P = #9'a'#13#10"},
      // Exactly 64 characters stay on the line, #codes counting one each.
      {"'" + x63 + "'#39", "P = '" + x63 + "'#39"},
      {"'" + x64 + "'#13", "P = \r\n    '" + x64 + "' +\r\n    #13"},
      {"'" + x63 + "'#8364#8364", "P = \r\n    '" + x63 + "'#8364 +\r\n    #8364"},
      {"'\xE9'#8364", "P = '\xE9'#8364"},
      {"(1 (2) [])", "P = (\r\n    1\r\n    (\r\n      2)\r\n    [])"},
      {"{" + std::string(62, 'A') + "}", "P = {" + std::string(62, 'A') + "}"},
      {"{" + hex32 + "}", "P = {\r\n    " + hex32 + "}"},
      {"{" + hex32 + "CD}", "P = {\r\n    " + hex32 + "\r\n    CD}"},
      {"{" + hex32 + hex32 + "}", "P = {\r\n    " + hex32 + "\r\n    " + hex32 + "}"},
      // Former faults.
      {"<item Object = 1 end>", "P = <\r\n    item\r\n      Object = 1\r\n    end>"},  // rejected
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Value);
    EXPECT_EQ(text(c.Value), c.Written);
  }
}

TEST(ObjectText, SyntaxErrorsNameTheReasonAndTheLine) {
  const std::string long256(256, 'A');
  struct Case { std::string Text, Message; } cases[] = {
      // Truncated files and unbalanced object/end, item/end.
      {"", "Wrong token symbol: object expected but EOF found on line 1"},
      {"object X: T\r\n  A = 1\r\n", "Wrong token symbol: end expected but EOF found on line 3"},
      {"object X: T\r\n  object Y: T\r\n  end\r\n",
       "Wrong token symbol: end expected but EOF found on line 4"},
      {"object X: T\r\nend\r\nend\r\n",
       "Wrong token type: EOF expected but Symbol found on line 3"},
      {"object X: T\r\n  object Y: T\r\n  end\r\n  I8 = 1\r\nend\r\n",
       "Wrong token symbol: end expected but I8 found on line 4"},
      {Object("  C = <\r\n    item\r\n      V = 1\r\n  >\r\n"),
       "Wrong token symbol: end expected but > found on line 5"},
      {Object("  C = <\r\n    V = 1 end>\r\n"),
       "Wrong token symbol: item expected but V found on line 3"},
      {Object("  C = <item end\r\n"), "Wrong token symbol: item expected but end found on line 3"},
      {Object("  L = (1 2\r\n"), "Wrong token type: ) expected but EOF found on line 4"},
      {"object X: T\r\n  S = 'a' +", "Wrong token type: String expected but EOF found on line 2"},
      {"object : T\r\nend", "Wrong token type: Symbol expected but : found on line 1"},
      {Object("  I8 5\r\n"), "Wrong token type: = expected but Integer found on line 2"},
      // Strings.
      {Object("  S = 'ab\r\n"), "Unterminated string on line 2"},
      {"object X: T\r\n  S = 'ab", "Unterminated string on line 2"},
      {Object("  S = #\r\n"), "Invalid string constant on line 2"},
      {Object("  S = #$41\r\n"), "Invalid string constant on line 2"},
      {Object("  S = 'a'#65536\r\n"), "Invalid string constant on line 2"},
      {Object("  S = 'a'#99999999999999999999\r\n"), "Invalid string constant on line 2"},
      {Object("  S = 'a\0'\r\n"s), "Invalid string constant on line 2"},
      {Object("  S = 'a' #13\r\n"), "Wrong token symbol: end expected but String found on line 2"},
      {Object("  S = 'ab' + 5\r\n"),
       "Wrong token type: String expected but Integer found on line 2"},
      {Object("  S = \"ab\"\r\n"), "Invalid property value on line 2"},
      // Numbers.
      {Object("  I = 99999999999999999999\r\n"),
       "'99999999999999999999' is not a valid integer value on line 2"},
      {Object("  I = -9223372036854775809\r\n"),
       "'-9223372036854775809' is not a valid integer value on line 2"},
      {Object("  I = $10000000000000000\r\n"),
       "'$10000000000000000' is not a valid integer value on line 2"},
      {Object("  I = $\r\n"), "'$' is not a valid integer value on line 2"},
      {Object("  I = - 5\r\n"), "Invalid property value on line 2"},
      {Object("  I = +5\r\n"), "Invalid property value on line 2"},
      {Object("  I = .5\r\n"), "Invalid property value on line 2"},
      {Object("  I = 1,5\r\n"), "Wrong token symbol: end expected but , found on line 2"},
      {Object("  F = 1e400\r\n"), "'1e400' is not a valid floating point value on line 2"},
      {Object("  F = 1e\r\n"), "'1e' is not a valid floating point value on line 2"},
      {Object("  F = 1e39s\r\n"), "'1e39' is not a valid floating point value on line 2"},
      {Object("  F = 1e30c\r\n"), "'1e30' is not a valid floating point value on line 2"},
      {Object("  F = 99999999999999999999c\r\n"),
       "'99999999999999999999' is not a valid floating point value on line 2"},
      {"object X: T [2147483648]\r\nend", "Integer 2147483648 out of range on line 1"},
      {Object("  C = <item [-2147483649] end>\r\n"), "Integer -2147483649 out of range on line 2"},
      // Binary data.
      {Object("  B = {0A0}\r\n"), "Unterminated byte value on line 2"},
      {Object("  B = {0A\r\n  0}\r\n"), "Unterminated byte value on line 3"},
      {Object("  B = {0G}\r\n"), "Invalid binary value on line 2"},
      {"object X: T\r\n  B = {0A\r\n", "Wrong token type: } expected but EOF found on line 3"},
      // Sets, lists, names, stray characters.
      {Object("  K = [kdAlpha,]\r\n"), "Wrong token type: Symbol expected but ] found on line 2"},
      {Object("  K = [1, 2]\r\n"), "Wrong token type: Symbol expected but Integer found on line 2"},
      {Object("  K = [a b]\r\n"), "Wrong token type: , expected but Symbol found on line 2"},
      {Object("  L = (1, 2)\r\n"), "Invalid property value on line 2"},
      {Object("  R = Form1 . Button1\r\n"),
       "Wrong token symbol: end expected but . found on line 2"},
      {Object("  R = Form1.\r\n"), "Wrong token type: Symbol expected but #13 found on line 2"},
      {Object("  // comment\r\n"), "Wrong token symbol: end expected but / found on line 2"},
      {Object("  { comment }\r\n"), "Wrong token symbol: end expected but { found on line 2"},
      {Object("  1abc = 5\r\n"), "Wrong token symbol: end expected but Integer found on line 2"},
      {Object("  " + long256 + " = 5\r\n"), "Identifier longer than 255 characters on line 2"},
      {Object("  P = " + long256 + "\r\n"), "Identifier longer than 255 characters on line 2"},
      {Object("  K = [" + long256 + "]\r\n"), "Identifier longer than 255 characters on line 2"},
      {"object X: T\r\n\0"s, "Invalid character #0 on line 2"},
      {Object("  P = \xE9\r\n"), "Invalid property value on line 2"},
      // Former faults.
      {Object("  S = 'a'\r\x05  ''\r\n"), "Invalid character #5 on line 3"},  // read as a string
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Text);
    TMemoryStream in(c.Text), out;
    EXPECT_THAT([&] { ObjectTextToBinary(in, out); },
                ThrowsMessage<EParserError>(StrEq(c.Message)));
    EXPECT_EQ(out.Size(), 0);  // nothing half-written
  }
}

TEST(ObjectText, NestingIsLimitedInBothDirections) {
  auto repeat = [](std::string_view s, int n) {
    std::string r;
    for (int i = 0; i < n; ++i) r += s;
    return r;
  };
  // The root object is level 1, so 999 lists or 999 children are the deepest allowed.
  const std::string lists = Object("  P = " + repeat("(", 999) + repeat(")", 999) + "\r\n");
  const std::string objects = repeat("object X: T\r\n", 1000) + repeat("end\r\n", 1000);
  for (const std::string& text : {lists, objects}) {
    const std::string binary = ToBinary(text);
    EXPECT_EQ(ToBinary(ToText(binary)), binary);
  }
  const std::string tooDeep = "Objects and values nested deeper than 1000 levels on line ";
  struct Case { std::string Text, Message; } cases[] = {
      {Object("  P = " + repeat("(", 1000) + repeat(")", 1000) + "\r\n"), tooDeep + "2"},
      {repeat("object X: T\r\n", 1001) + repeat("end\r\n", 1001), tooDeep + "1001"},
      {Object("  P = " + repeat("<item P = ", 500) + repeat(" end>", 500) + "\r\n"), tooDeep + "2"},
      {Object("  P = " + repeat("(", 100000) + "\r\n"), tooDeep + "2"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Message);
    EXPECT_THAT([&] { ToBinary(c.Text); }, ThrowsMessage<EParserError>(StrEq(c.Message)));
  }
  const std::string deepBinary = Bin(R"("TPF0" 01 "T" 01 "X" 01 "P")") + repeat("\x01", 1000);
  EXPECT_THAT([&] { ToText(deepBinary); },
              ThrowsMessage<EReadError>(StrEq("Component stream nested deeper than 1000 levels")));
}

TEST(ObjectText, HugeStringsAndLongLinesConvert) {
  std::string value(1000000, 'q');
  value[500000] = '\'';
  std::string quoted = "'" + Replace(value, "'", "''") + "'";
  const std::string binary = ToBinary(Object("  S = " + quoted + "\r\n  N = 1\r\n"));
  EXPECT_EQ(Hex(binary.substr(10, 5)), "0C 40 42 0F 00");  // vaLString of 1000000 bytes
  const std::string text = ToText(binary);
  EXPECT_EQ(ToBinary(text), binary);
  EXPECT_NE(text.find("\r\n    '" + std::string(64, 'q') + "' +\r\n"), std::string::npos);

  std::string joined = "'a'";
  for (int i = 0; i < 100000; ++i) joined += " + #8364";
  EXPECT_EQ(ValueBytes(joined).substr(0, 14), "12 A1 86 01 00");  // 100001 UTF-16 units
}

TEST(ObjectBinaryToText, MalformedInputRaisesReadError) {
  const std::string head = Bin(R"("TPF0" 01 "T" 01 "X" 01 "P")");
  struct Case { std::string Binary, Message; } cases[] = {
      {"", "Invalid stream format"},
      {"TPF1" + head.substr(4) + Bin("02 01 00 00"), "Invalid stream format"},
      {"TPF0", "Stream read error"},
      {head + Bin("63"), "Invalid value type 99 in component stream"},
      {head + Bin("0C FF FF FF FF"), "Stream read error"},       // negative length
      {head + Bin("0A FF FF FF 7F 00 01"), "Stream read error"},  // length far beyond the data
      {head + Bin("05 00 00 00 00 00 00 00 C0 FF 7F 00 00"),
       "Invalid floating point value in component stream"},
      {head + Bin("0F 00 00 80 7F 00 00"), "Invalid floating point value in component stream"},
      {head + Bin("0E 02 05 00 00 00"), "Invalid property value"},
      {head + Bin("07 03 \"a b\" 00 00"), "Invalid name 'a b' in component stream"},
      {head + Bin("07 02 \"a.\" 00 00"), "Invalid name 'a.' in component stream"},
      {head + Bin("0B 02 \"1a\" 00 00 00"), "Invalid name '1a' in component stream"},
      {Bin(R"("TPF0" 01 "T" 00 03 "End" 02 01 00 00)"), "Invalid name 'End' in component stream"},
      {Bin(R"("TPF0" 00 00 00 00)"), "Invalid name '' in component stream"},
      {Bin(R"("TPF0" F2 13 01 00 00 00 00 00 00 00 01 "T" 00 00 00)"), "Invalid property value"},
      {Bin(R"("TPF0" 01 "T" 00 00 01)"), "Stream read error"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(Hex(c.Binary));
    TMemoryStream in(c.Binary), out;
    EXPECT_THAT([&] { ObjectBinaryToText(in, out); }, ThrowsMessage<EReadError>(StrEq(c.Message)));
    EXPECT_EQ(out.Size(), 0);
  }
  // Every truncation of a real stream fails cleanly.
  const std::string binary = ToBinary(Golden("values.txt"));
  for (size_t n = 0; n < binary.size(); ++n) {
    SCOPED_TRACE(n);
    EXPECT_THROW(ToText(binary.substr(0, n)), EReadError);
  }
}

TEST(ObjectBinaryToText, ReadsOneObjectAndLeavesTheRest) {
  const std::string binary = ToBinary(Golden("inherited.txt"));
  TMemoryStream in("xy" + binary + "rest"), out;
  in.SetPosition(2);
  ObjectBinaryToText(in, out);
  EXPECT_EQ(in.Position(), static_cast<int64_t>(2 + binary.size()));
  EXPECT_EQ(out.DataString(), Golden("inherited.txt"));
}

TEST(ObjectBinaryToText, WritesKindsTextCannotProduce) {
  const std::string head = Bin(R"("TPF0" 01 "T" 01 "X" 01 "P")");
  struct Case { std::string Value, Written; } cases[] = {
      {"00", "Null"},
      {"04 05 00 00 00", "5"},
      {"0C 02 00 00 00 61 62", "'ab'"},
      {"14 04 00 00 00 61 C3 A9 C0", "'a\xE9'#65533"},  // UTF-8, a bad byte as U+FFFD
      {"15 01 00 00 00 AC 20", "#8364"},
      {"12 01 00 00 00 E9 00", "'\xE9'"},  // wide, but every character fits a byte
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Value);
    EXPECT_EQ(ToText(head + Bin(c.Value) + Bin("00 00")),
              "object X: T\r\n  P = " + c.Written + "\r\nend\r\n");
  }
  // A class name of 240 characters or more needs an empty prefix so its length byte is not
  // taken for one.
  const std::string longClass(240, 'C');
  const std::string binary = ToBinary("object " + longClass + "\r\nend\r\n");
  EXPECT_EQ(Hex(binary.substr(4, 2)), "F0 F0");
  EXPECT_EQ(ToText(binary), "object " + longClass + "\r\nend\r\n");
}

TEST(TestStreamFormat, TellsTextFromBinaryWithoutMovingTheStream) {
  struct Case { std::string Head; TStreamOriginalFormat Format; } cases[] = {
      {"TPF0\x01T", sofBinary},      {"object X: T", sofText},
      {"\xEF\xBB\xBF  INHERITED", sofText}, {"\r\n\tinline F: T", sofText},
      {"objective", sofUnknown},     {"object_", sofUnknown},
      {"TPF", sofUnknown},           {"", sofUnknown},
      {"\xFF\x0A\x00", sofUnknown},  {"end", sofUnknown},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Head);
    TMemoryStream stream("ab" + c.Head);
    stream.SetPosition(2);
    EXPECT_EQ(TestStreamFormat(stream), c.Format);
    EXPECT_EQ(stream.Position(), 2);
  }
}

}  // namespace
}  // namespace qv
