// Tests of the line store: the line table against a full rebuild after every kind of edit,
// line states and objects, notifications, list operations, text files in four encodings
// with line-break styles, and the "Strings" stream property.
#include "syntax/qvMemoStrings.h"

#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "framework/Filer.h"
#include "framework/Streams.h"
#include "syntax/qvStrUtils.h"
#include "tests/support/RealFiles.h"

namespace qv {
namespace {

using testing::StrEq;
using testing::ThrowsMessage;

// Printable form of a text: CR and LF as \r and \n, other controls and non-ASCII as \u<decimal>.
std::string Esc(std::u16string_view text) {
  std::string s;
  for (char16_t c : text) {
    if (c == u'\r' || c == u'\n') s += c == u'\r' ? "\\r" : "\\n";
    else if (c >= 0x20 && c < 0x7F) s += static_cast<char>(c);
    else s += "\\u" + std::to_string(static_cast<int>(c));
  }
  return s;
}

std::string Join(const std::vector<int>& values) {
  std::string s;
  for (int v : values) s += (s.empty() ? "" : " ") + std::to_string(v);
  return s;
}
std::string Starts(const TSyntMemoStrings& store) { return Join(store.LineStarts()); }
std::string States(const TSyntMemoStrings& store) {
  std::string s;
  for (uint8_t v : store.LineStates()) s += static_cast<char>('0' + v);
  return s;
}
std::string Lines(const TSyntMemoStrings& store) {
  std::string s;
  for (int i = 0; i < store.Count(); ++i) s += (i ? "|" : "") + Esc(store.Get(i));
  return s;
}

// What a full rebuild of the text gives: its line starts, and its lines without their
// trailing break runs.
std::string Rebuilt(std::u16string_view text) {
  std::vector<int> starts;
  GetLineStarts(text, &starts);
  return Join(starts);
}
std::string RebuiltLines(std::u16string_view text) {
  std::vector<int> starts;
  GetLineStarts(text, &starts);
  std::string s;
  for (size_t i = 0; i < starts.size(); ++i) {
    size_t end = i + 1 < starts.size() ? starts[i + 1] : text.size();
    while (end > static_cast<size_t>(starts[i]) && IsLineBreakChar(text[end - 1])) --end;
    s += (i ? "|" : "") + Esc(text.substr(starts[i], end - starts[i]));
  }
  return s;
}

// Records every notification as "pos count lineChange;".
struct TChangeLog {
  explicit TChangeLog(TSyntMemoStrings& store) {
    store.OnTextChange = [this](TObject*, int pos, int count, int lineChange) {
      Log += std::to_string(pos) + " " + std::to_string(count) + " " +
             std::to_string(lineChange) + ";";
    };
  }
  std::string Log;
};

TEST(TSyntMemoStrings, FullRebuildSplitsOnlyAtCrLfAndStripsEveryBreakFromLineEnds) {
  struct { std::u16string Text; const char* Starts; const char* Lines; } cases[] = {
      {u"a\r\nb", "0 3", "a|b"},       {u"a\r\n", "0 3", "a|"},     {u"a\rb\nc", "0 2 4", "a|b|c"},
      {u"a\fb", "0", "a\\u12b"},       {u"", "", ""},                 {u"\r\r", "0 1 2", "||"},
      {u"a\v\r\nb", "0 4", "a|b"},     {u"a\u2028b\u0085", "0", "a\\u8232b"},
      {u"\n\r\r\n", "0 1 2 4", "|||"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(Esc(c.Text));
    TSyntMemoStrings store;
    TChangeLog changes(store);
    store.SetTextStr(c.Text);
    EXPECT_EQ(Starts(store), c.Starts);
    EXPECT_EQ(Lines(store), c.Lines);
    EXPECT_EQ(store.GetTextStr(), c.Text);
    EXPECT_EQ(changes.Log, "-1 0 0;");
    EXPECT_EQ(store.Get(-1) + store.Get(store.Count()), u"");
    EXPECT_EQ(store.LineLength(store.Count()) + store.LineSpan(-1), 0);
  }
}

TEST(TSyntMemoStrings, CaretPositionsAndSubTextsClampToTheText) {
  struct { std::u16string Text; int Pos; TPoint Caret; } carets[] = {
      {u"ab\r\ncd", 2, {2, 0}},  {u"ab\r\ncd", 3, {2, 0}}, {u"ab\r\ncd", 4, {0, 1}},
      {u"ab\r\ncd", 9, {2, 1}},  {u"ab\r\ncd", 0, {0, 0}}, {u"ab\r\ncd", -5, {0, 0}},
      {u"ab\r\ncd", 5, {1, 1}},  {u"a\n\n", 2, {0, 1}},    {u"a\n\n", 3, {0, 2}},
      {u"", 4, {0, 0}},           {u"a\f\n", 2, {1, 0}},
  };
  for (const auto& c : carets) {
    SCOPED_TRACE(testing::Message() << Esc(c.Text) << " at " << c.Pos);
    TSyntMemoStrings store;
    store.SetTextStr(c.Text);
    EXPECT_EQ(store.StrPosToCaretPos(c.Pos), c.Caret);
  }
  TSyntMemoStrings store;
  store.SetTextStr(u"abc");
  struct { int Index, Count; const char16_t* Sub; } windows[] = {
      {1, 2, u"ab"}, {3, 5, u"c"}, {0, 2, u"a"}, {-5, 3, u""}, {4, 1, u""}, {2, 0, u""},
      {2, -1, u""},  {1, 2147483647, u"abc"},   {-2147483647 - 1, 2147483647, u""},
  };
  for (const auto& w : windows) {
    EXPECT_EQ(store.SubText(w.Index, w.Count), w.Sub) << w.Index << " " << w.Count;
  }
}

// Each case edits `Text` (whose lines start with state 0) and checks the text, the table
// (always the rebuild's), the states and the notifications.
TEST(TSyntMemoStrings, TextEditsKeepTheTableAndMarkTheLinesTheyTouch) {
  enum { Ins, Del };
  struct {
    const char* Name; std::u16string Text; int Kind; int Pos; int Count; std::u16string S;
    std::u16string Result; const char* States; const char* Changes;
  } cases[] = {
      {"split a line", u"ab", Ins, 1, 0, u"x\r\ny", u"ax\r\nyb", "12", "1 4 1;"},
      {"between CR and LF", u"a\r\nb", Ins, 2, 0, u"x", u"a\r\nxb", "01", "3 1 0;"},
      {"into an empty store", u"", Ins, 0, 0, u"a\nb", u"a\nb", "22", "0 3 2;"},
      {"line above", u"ab", Ins, 0, 0, u"z\r\n", u"z\r\nab", "21", "0 3 1;"},
      {"LF behind a lone CR", u"a\rb", Ins, 2, 0, u"\n", u"a\r\nb", "11", "2 1 0;"},
      {"LF, x behind a lone CR", u"a\rb", Ins, 2, 0, u"\nx\n", u"a\r\nx\nb", "121", "2 3 1;"},
      {"CR before an LF", u"a\nb", Ins, 1, 0, u"x\r", u"ax\r\nb", "10", "1 2 0;"},
      {"CR at a line start before LF", u"\nb", Ins, 0, 0, u"x\r", u"x\r\nb", "10", "0 2 0;"},
      {"LF appended to a CR", u"a\r", Ins, 2, 0, u"\n", u"a\r\n", "11", "2 1 0;"},
      {"CR appended", u"a", Ins, 1, 0, u"\r", u"a\r", "12", "1 1 1;"},
      {"VT FF NEL LS PS split nothing", u"ab", Ins, 1, 0, u"\v\f\u0085\u2028\u2029",
       u"a\v\f\u0085\u2028\u2029b", "1", "1 5 0;"},
      {"position past the end", u"ab", Ins, 99, 0, u"x", u"abx", "1", "2 1 0;"},
      {"position before the start", u"ab", Ins, -3, 0, u"x", u"xab", "1", "0 1 0;"},
      {"nothing inserted", u"ab", Ins, 1, 0, u"", u"ab", "0", ""},
      {"join two lines", u"a\r\nb", Del, 1, 2, u"", u"ab", "1", "1 -2 -1;"},
      {"LF of a CR LF", u"a\r\nb", Del, 2, 1, u"", u"a\rb", "10", "2 -1 0;"},
      {"CR of a CR LF", u"a\r\nb", Del, 1, 1, u"", u"a\nb", "10", "1 -1 0;"},
      {"between a CR and an LF", u"a\rx\nb", Del, 2, 1, u"", u"a\r\nb", "10", "2 -1 -1;"},
      {"LF of CR LF, then a line", u"a\r\nb\nc", Del, 2, 3, u"", u"a\rc", "10", "2 -3 -1;"},
      {"whole line", u"ab\ncd\nef", Del, 0, 3, u"", u"cd\nef", "00", "0 -3 -1;"},
      {"line and a half", u"ab\ncd", Del, 0, 4, u"", u"d", "1", "0 -4 -1;"},
      {"everything", u"ab\ncd", Del, 0, 5, u"", u"", "", "0 -5 -2;"},
      {"window before the start", u"abcd", Del, -2, 4, u"", u"cd", "1", "0 -2 0;"},
      {"window past the end", u"abcd", Del, 3, 99, u"", u"abc", "1", "3 -1 0;"},
      {"outside the text", u"abcd", Del, 10, 1, u"", u"abcd", "0", ""},
      {"count zero", u"abcd", Del, 1, 0, u"", u"abcd", "0", ""},
      {"negative count", u"abcd", Del, 2, -2, u"", u"abcd", "0", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    TSyntMemoStrings store;
    store.SetTextStr(c.Text);
    TChangeLog changes(store);
    if (c.Kind == Ins) store.InsertText(c.S, c.Pos);
    else store.DeleteText(c.Pos, c.Count);
    EXPECT_EQ(Esc(store.Text()), Esc(c.Result));
    EXPECT_EQ(Starts(store), Rebuilt(c.Result));
    EXPECT_EQ(States(store), c.States);
    EXPECT_EQ(changes.Log, c.Changes);
  }
}

TEST(TSyntMemoStrings, ListOperationsAreTextEdits) {
  enum { Insert, Add, Delete, Put };
  struct {
    const char* Name; std::u16string Text; int Op; int Index; std::u16string S;
    std::u16string Result; const char* States; const char* Changes;
  } cases[] = {
      {"insert above", u"ab", Insert, 0, u"z", u"z\r\nab", "21", "0 3 1;"},
      {"insert at the end", u"a\nb", Insert, 2, u"z", u"a\nb\r\nz", "012", "3 3 1;"},
      {"add to an empty store", u"", Add, 0, u"a", u"a", "2", "0 1 1;"},
      {"add", u"a", Add, 0, u"b", u"a\r\nb", "12", "1 3 1;"},
      // Inserted at the start of the empty last line: the added state goes to the line above.
      {"add behind an empty last line", u"a\r", Add, 0, u"b", u"a\r\r\nb", "021", "2 3 1;"},
      {"delete the last line", u"a\r\nb", Delete, 1, u"", u"a", "1", "1 -3 -1;"},
      {"delete the first line", u"a\r\nb", Delete, 0, u"", u"b", "0", "0 -3 -1;"},
      {"delete an empty last line", u"a\r\n", Delete, 1, u"", u"a", "1", "1 -2 -1;"},
      {"delete the only line", u"ab", Delete, 0, u"", u"", "", "0 -2 -1;"},
      {"delete a last line ending in FF", u"a\nb\f", Delete, 1, u"", u"a", "1", "1 -3 -1;"},
      // A lone CR and an empty LF line meet: the text has no way to keep both breaks apart.
      {"delete between CR and LF", u"a\rx\n\nb", Delete, 1, u"", u"a\r\nb", "10", "2 -2 -2;"},
      {"put", u"a\nbc\nd", Put, 1, u"x", u"a\nx\nd", "010", "2 1 0;3 -2 0;"},
      {"put empty", u"a\nbc\nd", Put, 1, u"", u"a\n\nd", "010", "2 -2 0;"},
      {"put behind a lone CR", u"a\rx\nb", Put, 1, u"y", u"a\ry\nb", "010", "2 1 0;3 -1 0;"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    TSyntMemoStrings store;
    store.SetTextStr(c.Text);
    TChangeLog changes(store);
    switch (c.Op) {
      case Insert: store.Insert(c.Index, c.S); break;
      case Add: {
        const int index = store.Add(c.S);
        EXPECT_EQ(index, store.Count() - 1);
        break;
      }
      case Delete: store.Delete(c.Index); break;
      default: store.Put(c.Index, c.S); break;
    }
    EXPECT_EQ(Esc(store.Text()), Esc(c.Result));
    EXPECT_EQ(Starts(store), Rebuilt(c.Result));
    EXPECT_EQ(States(store), c.States);
    EXPECT_EQ(changes.Log, c.Changes);
  }
}

TEST(TSyntMemoStrings, BadIndexesRaiseAndChangeNothing) {
  TSyntMemoStrings store;
  store.SetTextStr(u"a\nb");
  TChangeLog changes(store);
  EXPECT_THAT([&] { store.Insert(3, u"x"); },
              ThrowsMessage<EStringListError>(StrEq("Index 3 is out of range")));
  EXPECT_THAT([&] { store.Insert(-1, u"x"); },
              ThrowsMessage<EStringListError>(StrEq("Index -1 is out of range")));
  EXPECT_THAT([&] { store.Delete(2); },
              ThrowsMessage<EListError>(StrEq("List index out of bounds (2)")));
  EXPECT_THAT([&] { store.Put(-1, u"x"); },
              ThrowsMessage<EListError>(StrEq("List index out of bounds (-1)")));
  EXPECT_THAT([&] { store.SetLineState(5, 1); },
              ThrowsMessage<EListError>(StrEq("List index out of bounds (5)")));
  EXPECT_EQ(Esc(store.Text()), "a\\nb");
  EXPECT_EQ(changes.Log, "");
}

TEST(TSyntMemoStrings, LineObjectsFollowTheirLines) {
  TObject one, two, other, third;
  TSyntMemoStrings store;
  store.SetTextStr(u"a\nb");
  store.PutObject(0, &one);  // no list attached: ignored
  EXPECT_EQ(store.GetObject(0), nullptr);
  store.SetHasLineObjects(true);
  EXPECT_EQ(store.LineObjects().size(), 2u);
  store.PutObject(0, &one);
  store.PutObject(1, &two);
  store.PutObject(2, &other);  // no such line: ignored
  store.Insert(1, u"x");       // above 'b', which keeps its object
  store.PutObject(1, &other);
  store.InsertText(u"y\r\n", 0);
  EXPECT_EQ(Lines(store), "y|a|x|b");
  EXPECT_THAT(store.LineObjects(), testing::ElementsAre(nullptr, &one, &other, &two));
  store.Delete(1);
  store.DeleteText(0, 3);  // the whole line 'y'
  EXPECT_EQ(Lines(store), "x|b");
  EXPECT_THAT(store.LineObjects(), testing::ElementsAre(&other, &two));

  TSyntMemoStrings source;
  source.SetHasLineObjects(true);
  source.SetTextStr(u"s\nt");
  source.PutObject(1, &third);
  store.AddStrings(source);
  EXPECT_EQ(Lines(store), "x|b|s|t");
  EXPECT_THAT(store.LineObjects(), testing::ElementsAre(&other, &two, nullptr, &third));
  store.SetHasLineObjects(false);
  EXPECT_EQ(store.GetObject(1), nullptr);
  EXPECT_TRUE(store.LineObjects().empty());
}

TEST(TSyntMemoStrings, AssignAndAddStringsDropOrKeepTheLastBreak) {
  TStringList list;
  list.Add("a");
  list.Add("b");
  TSyntMemoStrings store;
  store.Assign(&list);
  EXPECT_EQ(Esc(store.Text()), "a\\r\\nb");
  TSyntMemoStrings source;
  source.SetTextStr(u"a\r\nb\r\n");
  store.Assign(&source);
  EXPECT_EQ(Esc(store.Text()), "a\\r\\nb");
  store.AddStrings(source);  // the last line holds 'b': the source starts a line
  EXPECT_EQ(Esc(store.Text()), "a\\r\\nb\\r\\na\\r\\nb\\r\\n");
  store.AddStrings(source);  // behind the empty last line
  EXPECT_EQ(Lines(store), "a|b|a|b|a|b|");
  EXPECT_EQ(Starts(store), Rebuilt(store.Text()));
}

// Thousands of random edits around CR, LF and the other breaks: after each, the table is the
// rebuild's, the lines and sizes match, and the notified line change is the real one.
TEST(TSyntMemoStrings, RandomEditsKeepTheTableEqualToARebuild) {
  const char* env = std::getenv("QV_TEST_SEED");
  const unsigned seed = env ? static_cast<unsigned>(std::strtoul(env, nullptr, 10)) : 20240517u;
  SCOPED_TRACE(testing::Message() << "seed " << seed << " (QV_TEST_SEED)");
  std::mt19937 rng(seed);
  auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
  const std::u16string pieces[] = {u"a", u"b", u"\r", u"\n", u"\r\n", u"\v",
                                   u"\f", u"\u0085", u"\u2028", u"\u2029"};
  TSyntMemoStrings store;
  store.SetHasLineObjects(true);
  int reported = 0;
  store.OnTextChange = [&](TObject*, int, int, int lineChange) { reported += lineChange; };
  for (int step = 0; step < 5000 && !HasFailure(); ++step) {
    const std::u16string& text = store.Text();
    const int length = static_cast<int>(text.size());
    // Half of the positions sit right at a CR or LF, where edits split or join pairs.
    int pos = pick(length + 1);
    for (int i = pos; i < length && pick(2); ++i) {
      if (text[i] == u'\r' || text[i] == u'\n') {
        pos = i + pick(2);
        break;
      }
    }
    std::u16string s;
    for (int n = 1 + pick(4); n > 0; --n) s += pieces[pick(10)];
    const int before = store.Count();
    reported = 0;
    const int line = store.Count() ? pick(store.Count()) : 0;
    switch (length > 300 ? 1 : pick(6)) {
      case 0: store.InsertText(s, pos - 1 + pick(3)); break;
      case 1: store.DeleteText(pos - pick(2), 1 + pick(length > 300 ? 60 : 3)); break;
      case 2: store.Insert(pick(store.Count() + 1), s); break;
      case 3: if (store.Count()) store.Delete(line); break;
      case 4: if (store.Count()) store.Put(line, s); break;
      default: store.PutObject(line, &store); break;
    }
    SCOPED_TRACE(testing::Message() << "step " << step << ": " << Esc(store.Text()));
    ASSERT_EQ(Starts(store), Rebuilt(store.Text()));
    ASSERT_EQ(reported, store.Count() - before);
    ASSERT_EQ(store.LineStates().size(), store.LineStarts().size());
    ASSERT_EQ(store.LineObjects().size(), store.LineStarts().size());
    ASSERT_EQ(Lines(store), RebuiltLines(store.Text()));
  }
}

// --- Files ---------------------------------------------------------------------------------

std::string Save(TSyntMemoStrings& store) {
  TMemoryStream stream;
  store.SaveToStream(stream);
  return stream.DataString();
}

void Load(TSyntMemoStrings& store, const std::string& bytes) {
  TMemoryStream stream(bytes);
  store.LoadFromStream(stream);
}

// The text with every CR LF, CR and LF replaced by `sequence`.
std::u16string WithBreaks(std::u16string_view text, std::u16string_view sequence) {
  std::u16string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') ++i;
    if (text[i] == u'\r' || text[i] == u'\n') out += sequence;
    else out += text[i];
  }
  return out;
}

TEST(TSyntMemoStrings, RealFileRoundTripsThroughEveryFormatAndStyle) {
  const std::string path = test::PythonLibFile("shlex.py");  // Latin-1 letters in it
  ASSERT_FALSE(path.empty());
  const std::u16string original = Utf8ToWide(test::ReadFile(path));
  const std::string marks[] = {"", "\xFF\xFE", "\xFE\xFF", "\xEF\xBB\xBF"};
  const std::u16string_view sequences[] = {u"", u"\r\n", u"\r", u"\n"};
  for (int format = tfAnsi; format <= tfUtf8; ++format) {
    for (int style = brMixed; style <= brLF; ++style) {
      for (bool noSignature : {false, true}) {
        SCOPED_TRACE(testing::Message() << "format " << format << " style " << style
                                        << (noSignature ? " no signature" : ""));
        TSyntMemoStrings store;
        store.SetTextStr(original);
        store.SetTextFormat(static_cast<TTextFormat>(format));
        store.SetLineBreakStyle(static_cast<TLineBreakStyle>(style));
        store.SetNoSignature(noSignature);
        const std::string bytes = Save(store);
        EXPECT_EQ(store.Text(), original);
        const std::string& mark = marks[noSignature ? 0 : format];
        EXPECT_EQ(bytes.substr(0, mark.size()), mark);

        TSyntMemoStrings loaded;
        loaded.SetNoSignature(noSignature);
        loaded.SetTextFormat(noSignature ? static_cast<TTextFormat>(format) : tfUtf8);
        Load(loaded, bytes);
        EXPECT_EQ(loaded.TextFormat(), format);
        EXPECT_EQ(loaded.LineBreakStyle(), style == brMixed ? brLF : style);
        const std::u16string expected =
            style == brMixed ? original : WithBreaks(original, sequences[style]);
        EXPECT_TRUE(loaded.Text() == expected);
        EXPECT_EQ(loaded.Count(), store.Count());
      }
    }
  }
}

TEST(TSyntMemoStrings, LoadingDetectsTheLineBreakStyleOfRealFiles) {
  const std::u16string header = Utf8ToWide(test::ReadFile("/usr/include/stdio.h"));
  ASSERT_FALSE(header.empty());
  std::u16string mixed = WithBreaks(header, u"\r\n");
  mixed += u"int x;\n";
  struct { const char* Name; std::u16string Text; TLineBreakStyle Style; } cases[] = {
      {"LF", header, brLF},
      {"CR LF", WithBreaks(header, u"\r\n"), brCRLF},
      {"CR", WithBreaks(header, u"\r"), brCR},
      {"CR LF and one LF", mixed, brMixed},
      {"FF before LF counts as CR LF", u"a\f\nb\r\n", brCRLF},
      {"no breaks", u"ab", brMixed},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    TSyntMemoStrings store;
    TChangeLog changes(store);
    Load(store, WideToUtf8(c.Text));
    EXPECT_EQ(store.LineBreakStyle(), c.Style);
    EXPECT_EQ(store.TextFormat(), tfAnsi);
    EXPECT_EQ(Starts(store), Rebuilt(c.Text));
    EXPECT_EQ(States(store), std::string(store.Count(), '0'));
    EXPECT_EQ(changes.Log, "-1 0 0;");
  }
}

TEST(TSyntMemoStrings, LoadingOddAndMarkedBytes) {
  struct {
    const char* Name; std::string Bytes; bool NoSignature; std::u16string Text;
    TTextFormat Format; TLineBreakStyle Style;
  } cases[] = {
      {"UTF-16 LE", std::string("\xFF\xFE" "a\0\n\0b\0", 8), false, u"a\nb", tfUtf16LE, brLF},
      {"odd length", std::string("\xFF\xFE" "a\0b", 5), false, u"a", tfUtf16LE, brMixed},
      {"BE with a zero", std::string("\xFE\xFF\0a\0\0\0b", 8), false,
       std::u16string(u"a\0b", 3), tfUtf16BE, brMixed},
      {"mark only", "\xEF\xBB\xBF", false, u"", tfUtf8, brMixed},
      {"no mark", "a\r\nb", false, u"a\r\nb", tfAnsi, brCRLF},
      {"no mark, no signature", "\xC3\xA9\r", true, u"\u00E9\r", tfUtf8, brCR},
      {"invalid UTF-8", "\xEF\xBB\xBF\xC3", false, u"\uFFFD", tfUtf8, brMixed},
      {"one byte", "x", false, u"x", tfAnsi, brMixed},
      {"empty keeps format and style", "", false, u"", tfUtf8, brCR},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    TSyntMemoStrings store;
    store.SetTextStr(u"old\nlines");
    store.SetTextFormat(tfUtf8);
    store.SetLineBreakStyle(brCR);
    store.SetNoSignature(c.NoSignature);
    Load(store, c.Bytes);
    EXPECT_EQ(Esc(store.Text()), Esc(c.Text));
    EXPECT_EQ(store.TextFormat(), c.Format);
    EXPECT_EQ(store.LineBreakStyle(), c.Style);
    EXPECT_EQ(Starts(store), Rebuilt(c.Text));
  }
  TSyntMemoStrings store;
  store.OnDetectFormat = [](TObject*, TStream&, TTextFormat& format) { format = tfUtf16LE; };
  Load(store, std::string("a\0b\0", 4));
  EXPECT_EQ(Esc(store.Text()), "ab");
  store.SetTextStr(u"a\nb");
  store.SetLineBreakStyle(brCRLF);
  store.SetTextFormat(tfUtf8);
  EXPECT_EQ(Save(store), "\xEF\xBB\xBF" "a\r\nb");
}

// --- Stream property -------------------------------------------------------------------------

// Logs what is written: "Name:" and the list for data written, "Name-" for data left out.
class TFakeWriter : public TWriter {
public:
  const TPersistent* AncestorObject = nullptr;
  std::string Log;
  const TPersistent* Ancestor() const override { return AncestorObject; }
  void DefineProperty(const std::string& name, const TReaderProc&, const TWriterProc& write,
                      bool hasData) override {
    Log += name + (hasData ? ":" : "-");
    if (hasData) write(*this);
  }
  void WriteListBegin() override { Log += "["; }
  void WriteListEnd() override { Log += "]"; }
  void WriteString(const std::string& value) override { Log += value + ","; }
  void WriteWideString(const std::u16string&) override { Log += "wide?"; }
  void WriteInteger(int64_t) override { Log += "int?"; }
  void WriteBoolean(bool) override { Log += "bool?"; }
};

// Offers a "Strings" list of 8-bit strings; any other kind of value is a read error.
class TFakeReader : public TReader {
public:
  std::vector<std::string> Items;
  std::string Names;
  void DefineProperty(const std::string& name, const TReaderProc& read, const TWriterProc&,
                      bool) override {
    Names += name + ";";
    if (name == "Strings") read(*this);
  }
  void ReadListBegin() override {}
  bool EndOfList() override { return FNext >= Items.size(); }
  void ReadListEnd() override {}
  std::string ReadString() override { return Items.at(FNext++); }
  std::u16string ReadWideString() override { throw EReadError("wide"); }
  int64_t ReadInteger() override { throw EReadError("int"); }
  bool ReadBoolean() override { throw EReadError("bool"); }

private:
  size_t FNext = 0;
};

TEST(TSyntMemoStrings, StringsPropertyHoldsTheLinesAsUtf8) {
  TSyntMemoStrings same, other;
  same.SetTextStr(u"\u00E9\r\nb");
  other.SetTextStr(u"\u00E9\nc");
  TStringList foreign;
  struct {
    const char* Name; std::u16string Text; const TPersistent* Ancestor; const char* Log;
  } cases[] = {
      {"empty, no ancestor", u"", nullptr, "Strings-"},
      {"lines", u"\u00E9\nb\n", nullptr, "Strings:[\xC3\xA9,b,,]"},
      {"same lines as the ancestor", u"\u00E9\rb", &same, "Strings-"},
      {"other lines", u"\u00E9\rb", &other, "Strings:[\xC3\xA9,b,]"},
      {"ancestor of another class", u"", &foreign, "Strings:[]"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    TSyntMemoStrings store;
    store.SetTextStr(c.Text);
    TFakeWriter writer;
    writer.AncestorObject = c.Ancestor;
    store.DefineProperties(writer);
    EXPECT_EQ(writer.Log, c.Log);
  }
  TSyntMemoStrings store;
  store.SetTextStr(u"old");
  TChangeLog changes(store);
  TFakeReader reader;
  reader.Items = {"\xC3\xA9", "", "b"};
  store.DefineProperties(reader);
  EXPECT_EQ(reader.Names, "Strings;");
  EXPECT_EQ(Esc(store.Text()), "\\u233\\r\\n\\r\\nb");
  EXPECT_EQ(States(store), "222");
  EXPECT_EQ(store.UpdateCount(), 0);
  EXPECT_EQ(changes.Log, "-1 0 0;0 1 1;1 2 1;3 3 1;");
}

}  // namespace
}  // namespace qv
