// Tests of the string utilities: character classes, blank and line scanning, code pages,
// stream encodings, the case-selectable string list, the word splitter and component links.
#include "syntax/qvStrUtils.h"

#include <algorithm>
#include <memory>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "framework/Clipbrd.h"
#include "framework/Streams.h"
#include "tests/support/RealFiles.h"

namespace qv {
namespace {

using namespace std::string_literals;
using testing::ElementsAre;

using test::ReadFile;

// Class letters of a character, as the expression engine names them, plus "n" for a break.
template <class C>
std::string Classes(C c) {
  std::string s;
  const std::pair<bool (*)(C), char> tests[] = {
      {IsSpaceChar, 's'},   {IsDigitChar, 'd'},   {IsHexDigitChar, 'h'},
      {IsAlphaChar, 'l'},   {IsWordChar, 'w'},    {IsIdentLetter, 'g'},
      {IsIdentDigit, 'k'},  {IsIdentChar, 'c'},   {IsLineBreakChar, 'n'}};
  for (const auto& [test, letter] : tests) if (test(c)) s += letter;
  return s;
}

TEST(qvStrUtils, CharacterClasses) {
  struct { char16_t C; const char* Wide; const char* Narrow; } cases[] = {
      {u'_', "wgc", "wgc"},   {u'a', "hlwgc", "hlwgc"},  {u'7', "dhwkc", "dhwkc"},
      {u'g', "lwgc", "lwgc"}, {u' ', "s", "s"},          {u'\t', "s", "s"},
      {u'\n', "sn", "sn"},    {u'\r', "sn", "sn"},        {u'\v', "sn", "s"},
      {u'-', "", ""},
      {u'\u00E9', "lw", "lw"},      // é: a letter, but no identifier letter
      {u'\u00B2', "dw", "dw"},      // superscript two: a digit, but no identifier digit
      {u'\u0661', "dw", nullptr},   // ARABIC-INDIC ONE
      {u'\u0085', "sn", nullptr},  {u'\u2028', "sn", nullptr},
      {u'\u00A0', "s", "s"},       {u'\u3000', "s", nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "U+" << std::hex << int(c.C));
    EXPECT_EQ(Classes(c.C), c.Wide);
    // 8-bit: the same character in the system code page (1252 by default).
    if (c.Narrow) {
      EXPECT_EQ(Classes(WideToMultiByte(std::u16string(1, c.C), 0)[0]), c.Narrow);
    }
  }
}

TEST(qvStrUtils, WordBoundaryAndUpperCase) {
  struct { const char16_t* Text; int Pos; bool Expected; } cases[] = {
      {u" a", 1, true},   {u"ab", 2, false},  {u"a b", 2, true},   {u"a b", 3, true},
      {u"a_1", 2, false}, {u"a_1", 3, false}, {u"\u00E9x", 2, false}, {u"ab", 3, true},
      {u"ab", 0, true},   {u"ab", -4, true},  {u"", 1, true},      {u"a.", 2, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "pos " << c.Pos << " of case " << &c - cases);
    EXPECT_EQ(IsWordBoundary(std::u16string_view(c.Text), c.Pos), c.Expected);
    EXPECT_EQ(IsWordBoundary(WideToMultiByte(c.Text, 1252), c.Pos), c.Expected);
  }
  EXPECT_EQ(UpperChar('\xE9'), '\xC9');  // é → É in the system code page
  EXPECT_EQ(UpperChar(u'\u0451'), u'\u0401');
}

TEST(qvStrUtils, SkipSpacesAndSkipSpacesAndLines) {
  struct {
    const char16_t* Text; int Start;
    int Result, End;            // SkipSpaces
    int LinesResult, LinesEnd;  // SkipSpacesAndLines
  } cases[] = {
      {u" \n \r\nx", 1, 0, 2, 2, 6},  {u"  ", 1, -1, 3, -1, 3},    {u"", 1, -1, 1, -1, 1},
      {u"x", 5, -1, 5, -1, 5},        {u"  x", 0, 0, 3, 0, 3},      {u"  x", -3, 0, 3, 0, 3},
      {u"\r\r\nx", 1, 0, 1, 1, 4},    {u"\u3000\u00A0x", 1, 0, 3, 0, 3},
      {u"\u2028\u0085x", 1, 0, 1, 0, 3},  {u"a ", 1, 0, 1, 0, 1},  {u"a \n", 2, 0, 3, -1, 4},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "case " << &c - cases << " from " << c.Start);
    int pos = c.Start;
    EXPECT_EQ(SkipSpaces(c.Text, pos), c.Result);
    EXPECT_EQ(pos, c.End);
    pos = c.Start;
    EXPECT_EQ(SkipSpacesAndLines(c.Text, pos), c.LinesResult);
    EXPECT_EQ(pos, c.LinesEnd);
  }
}

TEST(qvStrUtils, GetLineStarts) {
  // The line count is the number of starts.
  struct { const char16_t* Text; std::vector<int> Starts; } cases[] = {
      {u"a\r\nb", {0, 3}},   {u"a\n", {0, 2}},   {u"\r\r", {0, 1, 2}},  {u"", {}},
      {u"abc", {0}},         {u"\n\r", {0, 1, 2}}, {u"\r\n\r\n", {0, 2, 4}},
      {u"a\u2028b\vc", {0}},  // only CR and LF end lines
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "case " << &c - cases);
    std::vector<int> starts = {7, 8};  // left over from an earlier text
    EXPECT_EQ(GetLineStarts(c.Text, &starts), static_cast<int>(c.Starts.size()));
    EXPECT_EQ(starts, c.Starts);
    EXPECT_EQ(GetLineStarts(c.Text, nullptr), static_cast<int>(c.Starts.size()));
  }
}

TEST(qvStrUtils, GetLineStartsOfARealHeaderMatchesANaiveCount) {
  const std::string lf = ReadFile("/usr/include/stdio.h");
  ASSERT_GT(lf.size(), 1000u);
  std::string crlf;
  for (char ch : lf) crlf += ch == '\n' ? std::string("\r\n") : std::string(1, ch);
  for (const std::string& bytes : {lf, crlf}) {
    const std::u16string text = MultiByteToWide(bytes, 1252);
    std::vector<int> expected = {0};
    for (size_t i = 0; i < text.size(); ++i)
      if (text[i] == u'\n') expected.push_back(static_cast<int>(i + 1));
    std::vector<int> starts;
    EXPECT_EQ(GetLineStarts(text, &starts), static_cast<int>(expected.size()));
    EXPECT_EQ(starts, expected);
  }
}

TEST(qvStrUtils, CodePageConversions) {
  struct { int CodePage; const char* Bytes; const char16_t* Text; } cases[] = {
      {1252, "A\x80\xE9", u"A\u20AC\u00E9"},
      {1251, "\xCF\xF0\xE8\x88", u"\u041F\u0440\u0438\u20AC"},
      {932, "A\x88\x9F\xB1", u"A\u4E9C\uFF71"},
      {65001, "\xE2\x82\xAC\xF0\x9F\x98\x80", u"\u20AC\U0001F600"},
      {0, "\x80", u"\u20AC"},  // the system code page
      {12345, "\x80", u"\u20AC"},  // an unknown number falls back to the system code page
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.CodePage);
    EXPECT_EQ(MultiByteToWide(c.Bytes, c.CodePage), c.Text);
    EXPECT_EQ(WideToMultiByte(c.Text, c.CodePage), c.Bytes);
  }
  EXPECT_TRUE(MultiByteToWide("", 932).empty());
  EXPECT_EQ(Utf8ToWide("a\xFF" "b"), u"a\uFFFDb");
  EXPECT_EQ(Utf8ToWide("a\xE2\x82"), u"a\uFFFD");  // truncated at the end
  EXPECT_EQ(WideToUtf8(u"a\xD800"), "a\xEF\xBF\xBD");  // a lone surrogate
}

TEST(qvStrUtils, CharsetsAndMultiByteCodePages) {
  struct { int Charset, CodePage; } charsets[] = {
      {1, 0}, {255, 1}, {204, 1251}, {2, 0}, {0, 1252}, {128, 932}, {77, 0}};
  for (const auto& c : charsets) EXPECT_EQ(CharsetToCodePage(c.Charset), c.CodePage) << c.Charset;
  // An explicit code page wins over the character set; without one the set decides.
  EXPECT_EQ(DecodeText("\xCF", 0, 1251), u"\u041F");
  EXPECT_EQ(DecodeText("\xCF", 204, 0), u"\u041F");
  EXPECT_EQ(DecodeText("\xCF", 1, 0), u"\u00CF");
  EXPECT_EQ(EncodeText(u"\u041F", 204, 0), "\xCF");
  EXPECT_EQ(EncodeText(u"\u041F", 204, 1252), "?");
  for (int cp : {0, 1251, 1252}) EXPECT_FALSE(IsMultiByteCodePage(cp)) << cp;
  for (int cp : {932, 936, 949, 950, 65001}) EXPECT_TRUE(IsMultiByteCodePage(cp)) << cp;
}

TEST(qvStrUtils, GetByteTypeFollowsTheParityOfLeadByteRuns) {
  // "A", 亜 亜 (whose trail 9F is also a lead byte), half-width ｱ, 漢, "b".
  const std::string sjis = "A\x88\x9F\x88\x9F\xB1\x8A\xBF" "b";
  ASSERT_EQ(MultiByteToWide(sjis, 932), u"A\u4E9C\u4E9C\uFF71\u6F22b");
  const int expected[] = {0, 1, 2, 1, 2, 0, 1, 2, 0};
  for (int pos = 1; pos <= 9; ++pos) {
    SCOPED_TRACE(pos);
    EXPECT_EQ(GetByteType(sjis, pos, 932), expected[pos - 1]);
    EXPECT_EQ(GetByteType(sjis, pos, 1252), 0);
    EXPECT_EQ(GetByteType(sjis, pos, 65001), 0);
  }
  EXPECT_EQ(GetByteType("\x88\x9F\x88", 3, 932), 1);  // run of two before: a new character
  EXPECT_EQ(GetByteType("\x88\x9F\x88\x41", 4, 932), 2);  // run of three: a trail
  for (int pos : {0, -1, 10}) EXPECT_EQ(GetByteType(sjis, pos, 932), 0) << pos;
  EXPECT_EQ(GetByteType("", 1, 932), 0);
}

TEST(qvStrUtils, DetectEncoding) {
  struct { std::string Data; int Start, Kind, End; } cases[] = {
      {"", 0, 0, 0},          {"\xFF", 0, 0, 0},        {"\xFF\xFE", 0, 1, 2},
      {"\xFE\xFF" "ab", 0, 2, 2}, {"\xEF\xBB\xBFx", 0, 3, 3}, {"\xEF\xBB\x41", 0, 0, 0},
      {"\xEF\xBB", 0, 0, 0},   {"ab", 0, 0, 0},          {"\xFE\xFE", 0, 0, 0},
      {"x\xFF\xFE", 1, 1, 3},  {"x\xFF\xFE", 2, 0, 2},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "case " << &c - cases);
    TMemoryStream stream(c.Data);
    stream.SetPosition(c.Start);
    EXPECT_EQ(DetectEncoding(stream), c.Kind);
    EXPECT_EQ(stream.Position(), c.End);
  }
}

TEST(qvStrUtils, WriteTextToStreamByteLayout) {
  const std::u16string text = u"A\u20AC\0b"s;
  struct { int Kind; const char* Mark; std::string Bytes; } cases[] = {
      {tkAnsi, "", std::string("A\x88\0b", 4)},  // code page 1251 has € at 88
      {tkUtf16LE, "\xFF\xFE", std::string("A\0\xAC\x20\0\0b\0", 8)},
      {tkUtf16BE, "\xFE\xFF", std::string("\0A\x20\xAC\0\0\0b", 8)},  // units after U+0000 too
      {tkUtf8, "\xEF\xBB\xBF", std::string("A\xE2\x82\xAC\0b", 6)},
      {9, "", ""},  // no encoding: nothing written, nothing read
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Kind);
    TMemoryStream stream;
    WriteEncodingMark(stream, c.Kind);
    EXPECT_EQ(stream.DataString(), c.Mark);
    TMemoryStream body;
    WriteTextToStream(text, body, c.Kind, 1251, 0);
    EXPECT_EQ(body.DataString(), c.Bytes);
    body.SetPosition(0);
    std::u16string back = u"old";
    ReadTextFromStream(back, body, c.Kind, 1251, 0);
    EXPECT_EQ(back, c.Kind == 9 ? u"" : text);
  }
}

TEST(qvStrUtils, ReadTextFromStreamEdgeCases) {
  struct { std::string Data; int Start, Kind; std::u16string Text; } cases[] = {
      {std::string("A\0B", 3), 0, tkUtf16LE, u"A"},  // odd last byte dropped
      {std::string("\0A\0", 3), 0, tkUtf16BE, u"A"},
      {"x\xE2\x82\xAC", 1, tkUtf8, u"\u20AC"},        // from the position on
      {"\xE2\x82", 0, tkUtf8, u"\uFFFD"},              // truncated UTF-8
      {"\xC9t\xE9", 0, tkAnsi, u"\u00C9t\u00E9"},      // charset 0 is code page 1252
      {"ab", 2, tkUtf8, u""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "case " << &c - cases);
    TMemoryStream stream(c.Data);
    stream.SetPosition(c.Start);
    std::u16string text = u"old";
    ReadTextFromStream(text, stream, c.Kind, 0, 0);
    EXPECT_EQ(text, c.Text);
  }
}

// Promises 8 bytes but delivers only `Good` of them, then fails (or, without Fail, ends).
class TFailingStream : public TMemoryStream {
public:
  TFailingStream(int good, bool fail) : TMemoryStream("a\0b\0c\0d\0"s), Good(good), Fail(fail) {}
  int64_t Read(void* buffer, int64_t count) override {
    const int64_t left = Good - Position();
    if (left <= 0 && Fail) throw EReadError(SReadError);
    return TMemoryStream::Read(buffer, std::min(count, std::max<int64_t>(left, 0)));
  }
  int Good;
  bool Fail;
};

TEST(qvStrUtils, ReadTextFromStreamKeepsWhatArrivedBeforeAReadError) {
  for (bool fail : {true, false}) {
    TFailingStream stream(4, fail);
    std::u16string text;
    EXPECT_NO_THROW(ReadTextFromStream(text, stream, tkUtf16LE, 0, 0));
    EXPECT_EQ(text, u"ab") << fail;
  }
}

TEST(qvStrUtils, RealTextRoundTripsThroughEveryKind) {
  // Python source in UTF-8 with Western letters that code page 1252 also holds.
  const std::u16string text = Utf8ToWide(ReadFile(test::PythonLibFile("shlex.py")));
  ASSERT_NE(text.find(u'\u00DF'), std::u16string::npos);
  for (int kind = tkAnsi; kind <= tkUtf8; ++kind) {
    for (bool mark : {false, true}) {
      SCOPED_TRACE(testing::Message() << "kind " << kind << " mark " << mark);
      TMemoryStream stream;
      if (mark) WriteEncodingMark(stream, kind);
      WriteTextToStream(text, stream, kind, 1252, 0);
      stream.SetPosition(0);
      if (mark) {
        EXPECT_EQ(DetectEncoding(stream), kind);
      }
      std::u16string back;
      ReadTextFromStream(back, stream, kind, 1252, 0);
      EXPECT_TRUE(back == text);
    }
  }
}

std::string Items(const TStrings& list) {
  std::string s;
  for (int i = 0; i < list.Count(); ++i) s += "<" + list.Get(i) + ">";
  return s;
}

TEST(TzStringList, FindGivesTheFirstEqualItemOrTheInsertionPoint) {
  TzStringList list;
  list.SetSorted(true);
  list.SetDuplicates(dupAccept);
  for (const char* s : {"b", "c", "b", "a", "b"}) list.Add(s);
  ASSERT_EQ(Items(list), "<a><b><b><b><c>");
  struct { const char* S; bool CaseSensitive, Found; int Index; } cases[] = {
      {"b", false, true, 1}, {"B", false, true, 1}, {"B", true, false, 4},  // b < B < c
      {"bb", false, false, 4}, {"0", false, false, 0}, {"d", false, false, 5},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.S);
    list.SetCaseSensitive(c.CaseSensitive);
    int index = -1;
    EXPECT_EQ(list.Find(c.S, index), c.Found);
    EXPECT_EQ(index, c.Index);
  }
}

TEST(TzStringList, FindsEveryWordOfARealHeader) {
  const std::string header = ReadFile("/usr/include/stdio.h");
  TzStringList words;
  words.SetDelimiter('(');
  SplitToList(words, header);
  ASSERT_GT(words.Count(), 500);
  TzStringList list;
  list.SetDuplicates(dupAccept);
  list.AddStrings(words);
  list.SetSorted(true);
  for (int i = 0; i < words.Count(); ++i) {
    int index = -1;
    ASSERT_TRUE(list.Find(words.Get(i), index)) << words.Get(i);
    EXPECT_EQ(list.CompareStrings(list.Get(index), words.Get(i)), 0);
    if (index > 0) {
      EXPECT_LT(list.CompareStrings(list.Get(index - 1), words.Get(i)), 0);
    }
  }
}

TEST(TzStringList, SortAndCaseChangesOrderByTheLocale) {
  TzStringList list;
  for (const char* s : {"b", "A", "a", "B"}) list.Add(s);
  list.Sort();
  EXPECT_EQ(Items(list), "<A><a><b><B>");  // without case, stable: equal items keep their order
  list.SetSorted(true);
  list.SetCaseSensitive(true);  // re-sorts the sorted list
  EXPECT_EQ(Items(list), "<a><A><b><B>");
  int index = -1;
  EXPECT_TRUE(list.Find("A", index));
  EXPECT_EQ(index, 1);
}

TEST(SplitToList, Items) {
  struct { char Delimiter; std::string Text; const char* Items; } cases[] = {
      {',', "a,,b,", "<a><><b><>"},  {',', "", ""},               {',', " \t\r\n ", ""},
      {',', " a , b ", "<a><b>"},    {',', ",", "<><>"},           {';', "a b;c", "<a><b><c>"},
      {',', "a, ", "<a>"},  // blanks after the last delimiter: no empty item
      {',', "\xE9t\xE9,x", "<\xE9t\xE9><x>"},  // bytes from 0x80 are no separators
      {',', "a\0b"s, "<a><b>"},  {',', "\0\0"s, ""},  // NUL separates like a blank
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "case " << &c - cases);
    TzStringList list;
    list.Add("stale");
    list.SetDelimiter(c.Delimiter);
    int changes = 0;
    list.OnChange = [&](TObject*) { ++changes; };
    SplitToList(list, c.Text);
    EXPECT_EQ(Items(list), c.Items);
    EXPECT_EQ(changes, 1);  // one change for the whole bracket
  }
}

TEST(SplitToList, TagConditionListHoldsDistinctWords) {
  TzStringList list;
  list.SetSorted(true);
  list.SetDuplicates(dupIgnore);
  list.SetDelimiter(' ');
  SplitToList(list, "b  a\tb");
  EXPECT_EQ(Items(list), "<a><b>");
  // A failing Add still closes the update bracket.
  list.SetDuplicates(dupError);
  EXPECT_THROW(SplitToList(list, "x x"), EStringListError);
  EXPECT_EQ(list.UpdateCount(), 0);
}

class TRecorder : public TComponent {
public:
  using TComponent::TComponent;
  void Notification(TComponent* component, TOperation operation) override {
    if (operation == opRemove) Removed.push_back(component);
    TComponent::Notification(component, operation);
  }
  std::vector<TComponent*> Removed;
};

TEST(ReplaceComponentRef, MovesTheFreeNotification) {
  TRecorder owner(nullptr);
  auto a = std::make_unique<TComponent>(nullptr);
  auto b = std::make_unique<TComponent>(nullptr);
  TComponent* field = nullptr;
  EXPECT_TRUE(ReplaceComponentRef(&owner, a.get(), field));
  EXPECT_FALSE(ReplaceComponentRef(&owner, a.get(), field));  // unchanged value
  EXPECT_FALSE(ReplaceComponentRef(nullptr, b.get(), field));
  EXPECT_EQ(field, a.get());
  EXPECT_TRUE(ReplaceComponentRef(&owner, b.get(), field));
  EXPECT_EQ(field, b.get());
  a.reset();
  EXPECT_TRUE(owner.Removed.empty());  // the old link is gone
  TComponent* gone = b.get();
  b.reset();
  EXPECT_THAT(owner.Removed, ElementsAre(gone));
}

TEST(qvStrUtils, UnitRegistersTheClipboardFormats) {
  ASSERT_TRUE(qvStrUtilsUnit().Initialized());
  EXPECT_EQ(BlockTypeClipboardFormat(), RegisterClipboardFormat("Borland IDE Block Type"));
  EXPECT_EQ(RichTextClipboardFormat(), RegisterClipboardFormat("Rich Text Format"));
  EXPECT_GE(BlockTypeClipboardFormat(), 0xC000);
  EXPECT_GE(RichTextClipboardFormat(), 0xC000);
  EXPECT_NE(BlockTypeClipboardFormat(), RichTextClipboardFormat());
}

}  // namespace
}  // namespace qv
