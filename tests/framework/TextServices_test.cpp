// Platform text services: code page tables and conversions, character types, upper-casing
// and locale-aware comparison. Tests that change a process-wide setting restore it.
#include "framework/TextServices.h"

#include <algorithm>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "framework/SysUtils.h"
#include "tests/support/CodePageScope.h"

namespace qv {
namespace {

using testing::ElementsAre;
using testing::StrEq;
using testing::ThrowsMessage;

using test::TSystemCodePageScope;

std::string Hex(std::u16string_view s) {
  std::string out;
  for (char16_t c : s) out += IntToHex(c, 4) + " ";
  return out;
}

std::string Hex(std::string_view s) {
  std::string out;
  for (char c : s) out += IntToHex(static_cast<uint8_t>(c), 2) + " ";
  return out;
}

TEST(SystemCodePage, RejectsUnknownNumbersAndKeepsTheSetting) {
  const int before = GetACP();
  for (int cp : {0, 1, -5, 12345, 1361, 1200, 70000}) {
    EXPECT_THAT([cp] { SetSystemCodePage(cp); },
                ThrowsMessage<EConvertError>(StrEq(Format("Code page %d is not supported", cp))))
        << cp;
    EXPECT_THROW(SetOEMCodePage(cp), EConvertError) << cp;
  }
  EXPECT_EQ(GetACP(), before);
}

TEST(SystemCodePage, ChangesWhatTheDefaultCodePageMeans) {
  {
    TSystemCodePageScope scope(1251);
    EXPECT_EQ(ResolveCodePage(CP_ACP), 1251);
    EXPECT_EQ(ResolveCodePage(12345), 1251);  // unknown numbers follow the system code page
    EXPECT_EQ(GetStringTypeA(0xB2), C1_UPPER | C1_ALPHA);  // І, not ²
    EXPECT_EQ(CharUpperA('\xE0'), '\xC0');
    EXPECT_EQ(MultiByteToWideChar(CP_ACP, "\xE0"), u"\u0430");
    EXPECT_EQ(CompareStringA("\xE0", "\xE1"), -1);  // а < б
  }
  EXPECT_EQ(GetACP(), 1252);
  EXPECT_EQ(GetStringTypeA(0xB2), C1_PUNCT | C1_DIGIT);
}

TEST(CodePageInfo, ResolvesNumbersAndSizes) {
  struct Case { int CodePage, Resolved, MaxCharSize; };
  const Case cases[] = {
      {CP_ACP, 1252, 1}, {CP_OEMCP, 437, 1}, {1251, 1251, 1}, {850, 850, 1},
      {874, 874, 1},     {932, 932, 2},      {936, 936, 2},   {949, 949, 2},
      {950, 950, 2},     {CP_UTF8, CP_UTF8, 4},
      // Unknown numbers fall back to the system code page.
      {12345, 1252, 1},  {-5, 1252, 1},      {1361, 1252, 1}, {2, 1252, 1},
      // UTF-16 is no 8-bit code page.
      {1200, 1252, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.CodePage);
    EXPECT_EQ(IsValidCodePage(c.CodePage), c.CodePage == c.Resolved);
    EXPECT_EQ(ResolveCodePage(c.CodePage), c.Resolved);
    EXPECT_EQ(CodePageInfo(c.CodePage).CodePage, c.Resolved);
    EXPECT_EQ(GetMaxCharSize(c.CodePage), c.MaxCharSize);
  }
}

TEST(CodePageInfo, LeadBytesOfDoubleByteCodePages) {
  std::string lead932;
  for (int b = 0; b < 256; ++b)
    if (IsDBCSLeadByteEx(932, static_cast<uint8_t>(b))) lead932 += IntToHex(b, 2) + " ";
  std::string expected;
  for (int b = 0x81; b <= 0x9F; ++b) expected += IntToHex(b, 2) + " ";
  for (int b = 0xE0; b <= 0xFC; ++b) expected += IntToHex(b, 2) + " ";
  EXPECT_EQ(lead932, expected);
  for (int cp : {936, 949, 950}) {
    EXPECT_TRUE(IsDBCSLeadByteEx(cp, 0x81)) << cp;
    EXPECT_FALSE(IsDBCSLeadByteEx(cp, 'A')) << cp;
  }
  for (int cp : {1252, CP_UTF8})
    for (int b = 0; b < 256; ++b) ASSERT_FALSE(IsDBCSLeadByteEx(cp, static_cast<uint8_t>(b))) << cp;
  // Lead bytes have no character of their own.
  EXPECT_EQ(CodePageInfo(932).ToWide[0x88], 0);
  EXPECT_EQ(CodePageInfo(932).CharType[0x88], 0);
  EXPECT_EQ(CodePageInfo(932).ToWide[0xB1], 0xFF71);  // half-width katakana: one byte
}

TEST(CodePageInfo, IsBuiltOnceAndSharedAcrossThreads) {
  std::vector<const TCodePageInfo*> seen(4);
  std::vector<std::thread> threads;
  for (size_t i = 0; i < seen.size(); ++i)
    threads.emplace_back([&seen, i] { seen[i] = &CodePageInfo(1257); });
  for (std::thread& t : threads) t.join();
  for (const TCodePageInfo* info : seen) EXPECT_EQ(info, &CodePageInfo(1257));
}

// Conversions, collation and character types from several threads at once give what one
// thread gets: each thread has its own converters, the tables and collators are shared.
// (Run under ThreadSanitizer too.)
TEST(TextServices, ConcurrentUseGivesTheSameResults) {
  const std::string sjis = "\x8A\xBF\x8E\x9A abc \xB1";  // kanji, kanji, ASCII, katakana
  const std::u16string expected = MultiByteToWideChar(932, sjis);
  const int order = CompareStringW(u"co-op", u"coop");
  std::vector<int> wrong(4, 0);
  std::vector<std::thread> threads;
  for (size_t i = 0; i < wrong.size(); ++i)
    threads.emplace_back([&, i] {
      for (int round = 0; round < 200; ++round) {
        const int cp = round % 2 ? 936 : 1258 - static_cast<int>(i);  // tables built meanwhile
        wrong[i] += MultiByteToWideChar(932, sjis) != expected;
        wrong[i] += WideCharToMultiByte(932, expected) != sjis;
        wrong[i] += CompareStringW(u"co-op", u"coop") != order;
        wrong[i] += (GetStringTypeW(u'\u0416') & C1_UPPER) == 0;
        wrong[i] += CodePageInfo(cp).CodePage != cp;
      }
    });
  for (std::thread& t : threads) t.join();
  EXPECT_THAT(wrong, testing::Each(0));
}

TEST(MultiByteToWideChar, DecodesByCodePage) {
  struct Case { int CodePage; std::string Bytes; std::u16string Text; };
  const Case cases[] = {
      {1252, "\x80", u"\u20AC"},
      {1252, "\x81\x8D\x8F\x90\x9D", u"\u0081\u008D\u008F\u0090\u009D"},  // the five holes
      {1252, std::string("a\0b", 3), std::u16string(u"a\0b", 3)},
      {437, "\x82", u"\u00E9"},
      {437, "\x1A\x1C\x7F", u"\u001A\u001C\u007F"},  // controls map to themselves
      {1251, "\xE0\xC0", u"\u0430\u0410"},
      {932, "\x88\x9F", u"\u4E9C"},        // a kanji is one unit from two bytes
      {932, "a\xB1", u"a\uFF71"},
      {932, "a\x82", u"a\uFFFD"},          // lead byte cut off at the end
      {932, "\x80", u"\u0080"},            // undefined single byte: same value
      {932, "\x1A\x1C\x7F", u"\u001A\u001C\u007F"},
      {936, "\xD6\xD0", u"\u4E2D"},
      {949, "\xB0\xA1", u"\uAC00"},
      {950, "\xA4\xA4", u"\u4E2D"},
      {CP_UTF8, "\xC3\xA9", u"\u00E9"},
      {CP_UTF8, "\xF0\x9F\x98\x80", u"\U0001F600"},
      {CP_UTF8, "\xC3", u"\uFFFD"},
      {CP_UTF8, "a\xE2\x82", u"a\uFFFD"},
      {CP_UTF8, "\x80z", u"\uFFFDz"},
      {CP_UTF8, "\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},  // an encoded surrogate is no character
      {CP_UTF8, "", u""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(Hex(c.Bytes) + "in " + std::to_string(c.CodePage));
    EXPECT_EQ(Hex(MultiByteToWideChar(c.CodePage, c.Bytes)), Hex(c.Text));
  }
}

TEST(MultiByteToWideChar, AgreesWithTheSingleByteTables) {
  // The matcher reads ToWide while whole texts are converted by MultiByteToWideChar.
  for (int cp : {932, 936, 949, 950}) {
    const TCodePageInfo& info = CodePageInfo(cp);
    for (int b = 0; b < 256; ++b) {
      const std::u16string wide = MultiByteToWideChar(cp, std::string(1, static_cast<char>(b)));
      const std::u16string expected(1, info.LeadByte[b] ? u'\uFFFD' : info.ToWide[b]);
      ASSERT_EQ(Hex(wide), Hex(expected)) << cp << " byte " << b;
    }
  }
}

TEST(MultiByteToWideChar, SurvivesEveryTwoByteSequence) {
  for (int cp : {932, 936, 949, 950, CP_UTF8}) {
    for (int b1 = 0x80; b1 < 256; ++b1) {
      for (int b2 = 0; b2 < 256; ++b2) {
        const char bytes[] = {static_cast<char>(b1), static_cast<char>(b2)};
        const std::u16string wide = MultiByteToWideChar(cp, std::string_view(bytes, 2));
        ASSERT_TRUE(!wide.empty() && wide.size() <= 2)
            << cp << " " << Hex(std::string_view(bytes, 2));
      }
    }
  }
}

TEST(WideCharToMultiByte, EncodesByCodePage) {
  struct Case { int CodePage; std::u16string Text; std::string Bytes; };
  const Case cases[] = {
      {1252, u"\u20AC\u0081", "\x80\x81"},
      {1252, u"\u0100\u4E00", "??"},                  // not in the code page
      {1252, u"\U0001F600", "??"},                    // one "?" per unit
      {1252, std::u16string(u"\0x", 2), std::string("\0x", 2)},
      {437, u"\u00E9\u2591", "\x82\xB0"},
      {1251, u"\u0416\u00E9", "\xC6?"},
      {932, u"\u4E9C\uFF71a", "\x88\x9F\xB1" "a"},
      {932, u"\u0E01", "?"},
      {932, u"\u001A\u001C\u007F", "\x1A\x1C\x7F"},
      {437, u"\u001A\u001C\u007F", "\x1A\x1C\x7F"},
      {936, u"\u4E2D", "\xD6\xD0"},
      {CP_UTF8, u"\u00E9\U0001F600", "\xC3\xA9\xF0\x9F\x98\x80"},
      {CP_UTF8, u"\xD800", "\xEF\xBF\xBD"},           // unpaired surrogates
      {CP_UTF8, u"a\xDC00" "b", "a\xEF\xBF\xBD" "b"},
      {CP_UTF8, u"\xDC00\xD800", "\xEF\xBF\xBD\xEF\xBF\xBD"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(Hex(c.Text) + "in " + std::to_string(c.CodePage));
    EXPECT_EQ(Hex(WideCharToMultiByte(c.CodePage, c.Text)), Hex(c.Bytes));
  }
}

TEST(WideCharToMultiByte, RoundTripsEveryByteOfSingleByteCodePages) {
  for (int cp : {1252, 1250, 1251, 1253, 437, 850}) {
    std::string all;
    for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
    EXPECT_EQ(Hex(WideCharToMultiByte(cp, MultiByteToWideChar(cp, all))), Hex(all)) << cp;
  }
}

TEST(TranslateCharsetInfo, MapsFontCharsetsToCodePages) {
  const std::pair<int, int> cases[] = {
      {0, 1252}, {128, 932}, {130, 1361}, {204, 1251}, {238, 1250},
      {1, 0},    {2, 0},     {77, 0},     {255, 0},    {300, 0},  // no code page of their own
  };
  for (auto [charset, cp] : cases) EXPECT_EQ(TranslateCharsetInfo(charset), cp) << charset;
}

TEST(GetStringTypeW, ClassifiesLikeThePlatform) {
  struct Case { char16_t C; uint16_t Type; };
  const uint16_t kSpaceCntrl = C1_SPACE | C1_CNTRL;
  const Case cases[] = {
      {u'A', C1_UPPER | C1_ALPHA | C1_XDIGIT}, {u'g', C1_LOWER | C1_ALPHA},
      {u'5', C1_DIGIT | C1_XDIGIT},            {u'_', C1_PUNCT},
      {u'$', C1_PUNCT},                        {u' ', C1_SPACE | C1_BLANK},
      {u'\t', kSpaceCntrl | C1_BLANK},         {u'\n', kSpaceCntrl},
      {u'\r', kSpaceCntrl},                    {u'\v', kSpaceCntrl},
      {u'\f', kSpaceCntrl},                    {0x0085, kSpaceCntrl},
      {0x0000, C1_CNTRL},                      {0x2028, C1_SPACE},
      {0x2029, C1_SPACE},                      {0x2003, C1_SPACE},
      {0x00A0, C1_SPACE | C1_BLANK},           {0x3000, C1_SPACE | C1_BLANK},
      {0xFEFF, C1_CNTRL | C1_BLANK},           {0x200D, C1_CNTRL},
      {0x0661, C1_DIGIT},                      {0x00B2, C1_PUNCT | C1_DIGIT},
      {0x00B9, C1_PUNCT | C1_DIGIT},           {0x00BD, C1_PUNCT},
      {0x0416, C1_UPPER | C1_ALPHA},           {0x0436, C1_LOWER | C1_ALPHA},
      {0x00DF, C1_LOWER | C1_ALPHA},           {0x01C5, C1_UPPER | C1_LOWER | C1_ALPHA},
      {0x4E00, C1_ALPHA},                      {0x0300, C1_PUNCT},
      {0x02B0, C1_PUNCT},                      {0x20AC, C1_PUNCT},
      {0xFF21, C1_UPPER | C1_ALPHA | C1_XDIGIT}, {0xFF19, C1_DIGIT | C1_XDIGIT},
      {0xD800, 0},                             {0xDFFF, 0},
      {0xE000, 0},                             {0x0378, 0},  // private use, unassigned
  };
  for (const Case& c : cases)
    EXPECT_EQ(IntToHex(GetStringTypeW(c.C), 4), IntToHex(c.Type, 4)) << "U+" << IntToHex(c.C, 4);
}

TEST(GetStringTypeA, ClassifiesThroughTheCodePage) {
  struct Case { uint8_t Byte; int CodePage; uint16_t Type; };
  const Case cases[] = {
      {0xA0, 1252, C1_SPACE | C1_BLANK},  {0xB2, 1252, C1_PUNCT | C1_DIGIT},
      {0xE9, 1252, C1_LOWER | C1_ALPHA},  {0x8A, 1252, C1_UPPER | C1_ALPHA},
      {0x80, 1252, C1_PUNCT},             {0x81, 1252, C1_CNTRL},
      {0x5F, 1252, C1_PUNCT},             {0xC0, 1251, C1_UPPER | C1_ALPHA},
      {0xE0, 1251, C1_LOWER | C1_ALPHA},  {0x82, 437, C1_LOWER | C1_ALPHA},
      {0xB1, 932, C1_ALPHA},              {0x81, 932, 0},
      {0xC3, CP_UTF8, 0},                 {'7', CP_UTF8, C1_DIGIT | C1_XDIGIT},
  };
  for (const Case& c : cases)
    EXPECT_EQ(IntToHex(GetStringTypeA(c.Byte, c.CodePage), 4), IntToHex(c.Type, 4))
        << IntToHex(c.Byte, 2) << " in " << c.CodePage;
}

TEST(CharUpper, MapsCharactersWithASimpleUpperCase) {
  const std::pair<char16_t, char16_t> wide[] = {
      {u'a', u'A'},         {u'A', u'A'},         {0x00FF, 0x0178}, {0x00DF, 0x00DF},
      {0x00B5, 0x039C},     {0x0131, u'I'},       {0x0149, 0x0149}, {0x0430, 0x0410},
      {0xD801, 0xD801},     {u'1', u'1'},
  };
  for (auto [c, upper] : wide) EXPECT_EQ(CharUpperW(c), upper) << IntToHex(c, 4);
  EXPECT_EQ(CharUpperW(u"stra\u00DFe \u00FF\U00010428"), u"STRA\u00DFE \u0178\U00010428");

  struct Case { uint8_t Byte; int CodePage; uint8_t Upper; };
  const Case narrow[] = {
      {'q', 1252, 'Q'},   {0xFF, 1252, 0x9F}, {0xDF, 1252, 0xDF}, {0xB5, 1252, 0xB5},
      {0xE9, 1252, 0xC9}, {0x9A, 1252, 0x8A}, {0xE0, 1251, 0xC0}, {0xB8, 1251, 0xA8},
      {0xB5, 1253, 0xCC},  // µ has its capital mu in the Greek code page
      {0x82, 437, 0x90},  {0x88, 932, 0x88},
  };
  for (const Case& c : narrow)
    EXPECT_EQ(static_cast<uint8_t>(CharUpperA(static_cast<char>(c.Byte), c.CodePage)), c.Upper)
        << IntToHex(c.Byte, 2) << " in " << c.CodePage;
  EXPECT_EQ(CharUpperA("abc\xE9\xFF"), "ABC\xC9\x9F");
  // Trail bytes of double-byte characters may look like ASCII letters; they stay as they are.
  EXPECT_EQ(Hex(CharUpperA("a\x83\x61z", 932)), Hex(std::string("A\x83\x61Z")));
}

TEST(CompareString, OrdersLinguistically) {
  struct Case { std::u16string S1, S2; uint32_t Flags; int Result; };
  const Case cases[] = {
      {u"a", u"A", 0, -1},
      {u"A", u"b", 0, -1},
      {u"abc", u"abc", 0, 0},
      {u"", u"", 0, 0},
      {u"", u"a", 0, -1},
      {u"abc", u"ABC", NORM_IGNORECASE, 0},
      {u"\u00E9T\u00C9", u"\u00C9t\u00E9", NORM_IGNORECASE, 0},
      {u"e", u"\u00E9", NORM_IGNORECASE, -1},  // accents still count
      {u"\u00E9", u"e\u0301", 0, 0},           // canonically equivalent
      {u"a b", u"aa", 0, -1},                  // space counts, and sorts before letters
      {u"_a", u"ab", 0, -1},
      {u"a1", u"ab", 0, -1},
      {u"co-op", u"cop", 0, -1},
      {u"co-op", u"con", 0, 1},
      {u"it's", u"itt", 0, -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(Hex(c.S1) + "vs " + Hex(c.S2) + "flags " + std::to_string(c.Flags));
    EXPECT_EQ(CompareStringW(c.S1, c.S2, c.Flags), c.Result);
    EXPECT_EQ(CompareStringW(c.S2, c.S1, c.Flags), -c.Result);
  }
  // Hyphen and apostrophe decide only between otherwise equal strings.
  EXPECT_NE(CompareStringW(u"co-op", u"coop"), 0);
  EXPECT_NE(CompareStringW(u"co-op", u"COOP", NORM_IGNORECASE), 0);
  EXPECT_NE(CompareStringW(u"it's", u"its"), 0);
}

TEST(CompareString, KeepsHyphenatedWordsNextToTheirNeighbours) {
  std::vector<std::u16string> words = {u"coop", u"cop", u"co-op", u"con", u"Coop"};
  std::sort(words.begin(), words.end(), [](const std::u16string& a, const std::u16string& b) {
    return CompareStringW(a, b) < 0;
  });
  EXPECT_EQ(words.front(), u"con");
  EXPECT_EQ(words.back(), u"cop");
  const auto hyphenated = std::find(words.begin(), words.end(), u"co-op") - words.begin();
  const auto plain = std::find(words.begin(), words.end(), u"coop") - words.begin();
  EXPECT_EQ(std::abs(hyphenated - plain), 1);
}

TEST(CompareString, ComparesEightBitTextInTheSystemCodePage) {
  EXPECT_EQ(CompareStringA("e", "\xE9"), -1);
  EXPECT_EQ(CompareStringA("\xE9", "f"), -1);
  EXPECT_EQ(CompareStringA("\xC9T\xC9", "\xE9t\xE9", NORM_IGNORECASE), 0);
  EXPECT_EQ(CompareStringA("\x8A", "S"), 1);  // Š
}

TEST(CompareString, FollowsTheUserLocale) {
  ASSERT_EQ(UserLocale(), "en-US");
  EXPECT_EQ(CompareStringW(u"aa", u"z"), -1);
  SetUserLocale("da-DK");
  EXPECT_EQ(CompareStringW(u"aa", u"z"), 1);  // Danish "aa" is "å", after z
  SetUserLocale("en-US");
  EXPECT_EQ(CompareStringW(u"aa", u"z"), -1);
}

// Sets the user locale for one test and puts the previous one back.
class TUserLocaleScope {
public:
  explicit TUserLocaleScope(const std::string& name) : FSaved(UserLocale()) { SetUserLocale(name); }
  ~TUserLocaleScope() { SetUserLocale(FSaved); }

private:
  std::string FSaved;
};

TEST(LocaleIdentifiers, MapBetweenLCIDsAndLocaleNames) {
  struct Case { uint32_t Lcid; const char* Name; };
  const Case cases[] = {
      {0x0409, "en-US"}, {0x0407, "de-DE"}, {0x041D, "sv-SE"}, {0x0406, "da-DK"},
      {0x041F, "tr-TR"}, {0x0411, "ja-JP"},
      {0x10407, "de-DE-u-co-phonebk"},  // the sort id travels as the collation keyword
      // Neutral and unknown identifiers name no locale.
      {0x0000, ""}, {LOCALE_USER_DEFAULT, ""}, {LOCALE_SYSTEM_DEFAULT, ""}, {0x1234, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(IntToHex(c.Lcid, 5));
    EXPECT_EQ(LCIDToLocaleName(c.Lcid), c.Name);
    if (*c.Name) {
      TUserLocaleScope scope(c.Name);
      EXPECT_EQ(GetUserDefaultLCID(), c.Lcid);
    }
  }
  EXPECT_EQ(GetUserDefaultLCID(), 0x0409u);
  // A user locale without an LCID keeps comparisons on the user locale.
  TUserLocaleScope scope("xx-YY");
  EXPECT_EQ(GetUserDefaultLCID(), LOCALE_USER_DEFAULT);
}

TEST(CompareStringLCID, ComparesByTheLocaleOfTheIdentifier) {
  struct Case { uint32_t Lcid, Flags; std::u16string S1, S2; int Result; };
  const Case cases[] = {
      {0x0409, 0, u"aa", u"z", 1},
      {0x0406, 0, u"aa", u"z", 3},               // Danish "aa" is "å", after z
      {0x0409, 0, u"\u00E4b", u"af", 1},
      {0x041D, 0, u"\u00E4b", u"af", 3},         // Swedish ä follows z
      {0x0407, 0, u"\u00E4z", u"af", 3},         // German dictionary order: ä is an a
      {0x10407, 0, u"\u00E4z", u"af", 1},        // phone book: ä is "ae"
      {0x0409, 0, u"a", u"A", 1},
      {0x0409, NORM_IGNORECASE, u"abc", u"ABC", 2},
      {0x0409, 0, u"\u00E9", u"e\u0301", 2},
      {0x0409, 0, u"", u"", 2},
      {0x1234, 0, u"a", u"a", 0},
      {0x0000, 0, u"a", u"a", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(IntToHex(c.Lcid, 5) + ": " + Hex(c.S1) + "vs " + Hex(c.S2));
    EXPECT_EQ(CompareStringLCID(c.Lcid, c.Flags, c.S1, c.S2), c.Result);
    EXPECT_EQ(CompareStringLCID(c.Lcid, c.Flags, c.S2, c.S1), c.Result ? 4 - c.Result : 0);
  }
}

TEST(CompareStringLCID, PseudoIdentifiersFollowTheUserLocale) {
  for (uint32_t lcid : {LOCALE_USER_DEFAULT, LOCALE_SYSTEM_DEFAULT}) {
    SCOPED_TRACE(IntToHex(lcid, 4));
    EXPECT_EQ(CompareStringLCID(lcid, 0, u"aa", u"z"), 1);
    TUserLocaleScope scope("da-DK");
    EXPECT_EQ(CompareStringLCID(lcid, 0, u"aa", u"z"), 3);
    EXPECT_EQ(CompareStringLCID(lcid, 0, u"aa", u"z"), CompareStringW(u"aa", u"z") + 2);
    EXPECT_EQ(CompareStringLCID(0x0409, 0, u"aa", u"z"), 1);  // an explicit LCID does not
  }
}

// Words with a hyphen or an apostrophe are compared by the collator with the hyphen rule,
// the others by the locale's own one: mixed, they still form one consistent order.
TEST(TextServicesCollation, WordsWithAndWithoutHyphensFormOneOrder) {
  std::vector<std::u16string> words = {u"coop", u"co-op", u"cop", u"Coop", u"co_op", u"c\u00F6op",
                                       u"it's", u"its", u"Its", u"i-t-s", u"it", u"a-b", u"ab",
                                       u"a b", u"a1", u"a-1", u"_a", u"-a", u"'a", u"A"};
  std::sort(words.begin(), words.end(),
            [](const std::u16string& a, const std::u16string& b) { return CompareStringW(a, b) < 0; });
  for (size_t i = 0; i < words.size(); ++i)
    for (size_t j = i + 1; j < words.size(); ++j) {
      EXPECT_LE(CompareStringW(words[i], words[j]), 0) << WideCharToMultiByte(CP_UTF8, words[i]) << " " << WideCharToMultiByte(CP_UTF8, words[j]);
      EXPECT_GE(CompareStringW(words[j], words[i]), 0) << WideCharToMultiByte(CP_UTF8, words[j]) << " " << WideCharToMultiByte(CP_UTF8, words[i]);
    }
  // The hyphen and the apostrophe weigh nothing until the last level.
  EXPECT_EQ(std::abs(CompareStringW(u"coop", u"co-op")), 1);
  EXPECT_LT(CompareStringW(u"co-op", u"cop"), 0);
  EXPECT_LT(CompareStringW(u"it's", u"itt"), 0);
}

}  // namespace
}  // namespace qv
