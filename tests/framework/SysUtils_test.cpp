// Format, the integer conversions and the string helpers of the framework.
#include "framework/SysUtils.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace qv {
namespace {

using testing::StrEq;
using testing::ThrowsMessage;

TEST(Format, FormsEachSpecifier) {
  EXPECT_EQ(Format("List index out of bounds (%d)", 5), "List index out of bounds (5)");
  EXPECT_EQ(Format("%d|%d", -7, INT64_MIN), "-7|-9223372036854775808");
  EXPECT_EQ(Format("%u %x %X", 42u, 255, 255), "42 ff FF");
  EXPECT_EQ(Format("%.8X", 0xABCu), "00000ABC");
  EXPECT_EQ(Format("%.3d", -5), "-005");
  EXPECT_EQ(Format("[%5s][%-5s][%.2s]", "ab", "ab", "abcd"), "[   ab][ab   ][ab]");
  EXPECT_EQ(Format("%s and %s", std::string("one"), std::string_view("two")), "one and two");
  EXPECT_EQ(Format("%s", 'c'), "c");
  EXPECT_EQ(Format("100%%"), "100%");
  // An index picks the argument; unindexed specifiers continue after it.
  EXPECT_EQ(Format("%1:s %0:s %s", "a", "b"), "b a b");
  // Negative Integer-range values show their 32-bit pattern in hexadecimal.
  EXPECT_EQ(Format("%x", -1), "ffffffff");
}

TEST(Format, RejectsMismatchedOrMissingArguments) {
  EXPECT_THAT([] { Format("%d", "text"); },
              ThrowsMessage<EConvertError>(StrEq("Format '%d' invalid or incompatible with argument")));
  EXPECT_THAT([] { Format("%s", 5); }, ThrowsMessage<EConvertError>(testing::HasSubstr("'%s'")));
  EXPECT_THAT([] { Format("%d %d", 1); },
              ThrowsMessage<EConvertError>(StrEq("No argument for format '%d %d'")));
  EXPECT_THROW(Format("%q", 1), EConvertError);
  EXPECT_THROW(Format("trailing %"), EConvertError);
  EXPECT_THROW(Format("%.s", "x"), EConvertError);
}

TEST(StrToInt, ParsesDecimalAndHexAndRejectsTheRest) {
  struct Case {
    const char* Text;
    bool Ok;
    int64_t Value;
  } cases[] = {
      {"0", true, 0},         {"-12", true, -12},       {" 42 ", true, 42},
      {"$FF", true, 255},     {"0x10", true, 16},       {"+7", true, 7},
      {"", false, 0},         {"-", false, 0},          {"12a", false, 0},
      {"$", false, 0},        {"9223372036854775807", true, INT64_MAX},
      {"9223372036854775808", false, 0},               {"-9223372036854775808", true, INT64_MIN},
      {"$FFFFFFFFFFFFFFFF", true, -1},                  {"$1FFFFFFFFFFFFFFFF", false, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Text);
    int64_t v = -99;
    EXPECT_EQ(TryStrToInt64(c.Text, v), c.Ok);
    if (c.Ok) {
      EXPECT_EQ(v, c.Value);
    }
  }
  EXPECT_THAT([] { StrToInt("x1"); },
              ThrowsMessage<EConvertError>(StrEq("'x1' is not a valid integer value")));
  EXPECT_THROW(StrToInt("4294967296"), EConvertError);
  EXPECT_EQ(StrToInt("-2147483648"), INT32_MIN);
}

TEST(SysUtils, StringHelpers) {
  EXPECT_EQ(IntToHex(0x1F, 4), "001F");
  EXPECT_EQ(IntToHex(0x12345, 2), "12345");
  EXPECT_EQ(IntToStr(-3), "-3");
  EXPECT_EQ(Trim("\t a b \r\n"), "a b");
  EXPECT_EQ(Trim(" \x01 "), "");
  EXPECT_EQ(UpperCase("abc\xE9z"), "ABC\xE9Z");  // ASCII only
  EXPECT_EQ(CompareText("abc", "ABD"), -1);
  EXPECT_EQ(CompareText("ab", "AB"), 0);
  EXPECT_EQ(CompareText("ab", "a"), 1);
  EXPECT_TRUE(SameText("Name", "nAME"));
}

TEST(SysUtils, AnsiComparisonsFollowTheLocale) {
  // Linguistic order: lower case before upper case of the same letter, both before "b".
  EXPECT_LT(AnsiCompareStr("a", "A"), 0);
  EXPECT_LT(AnsiCompareStr("A", "b"), 0);
  EXPECT_EQ(AnsiCompareText("ABC", "abc"), 0);
  EXPECT_NE(AnsiCompareStr("ABC", "abc"), 0);
  // e-acute (0xE9 in the Western code page) sorts between e and f.
  EXPECT_LT(AnsiCompareStr("e", "\xE9"), 0);
  EXPECT_LT(AnsiCompareStr("\xE9", "f"), 0);
  EXPECT_EQ(AnsiUpperCase("abc\xE9"), "ABC\xC9");
}

}  // namespace
}  // namespace qv
