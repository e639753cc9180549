// Tests of the wide string list through a small vector-backed descendant (the storage every
// descendant must supply), and of the unit's comparison and zero-terminated string routines.
// Property data is driven by a recording writer and a reader that serves a prepared list.
#include "syntax/qvUnicode.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <functional>
#include <variant>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "framework/ComponentStream.h"
#include "framework/Filer.h"
#include "framework/Streams.h"
#include "framework/TextServices.h"
#include "syntax/qvStrUtils.h"

namespace qv {
namespace {

using namespace std::string_literals;
using testing::StrEq;
using testing::ThrowsMessage;

struct TTag : TObject {
  explicit TTag(char name) : Name(name) {}
  char Name;
};

// Lines in a vector; bad indexes go through Error like the line store's. Log gets "<" and
// ">" when the update state changes, "c" for Clear. BaseAssign leaves Assign to the
// source's AssignTo.
class TTestWideStrings : public TWideStrings {
public:
  explicit TTestWideStrings(std::vector<std::u16string> lines) {
    for (auto& s : lines) FItems.push_back({std::move(s), nullptr});
  }
  const char* ClassName() const override { return "TTestWideStrings"; }
  std::u16string Get(int index) const override { return FItems[Check(index)].S; }
  int GetCount() const override { return static_cast<int>(FItems.size()); }
  TObject* GetObject(int index) const override { return FItems[Check(index)].Obj; }
  void PutObject(int index, TObject* obj) override { FItems[Check(index)].Obj = obj; }
  void Clear() override {
    Log += "c";
    FItems.clear();
  }
  void Delete(int index) override { FItems.erase(FItems.begin() + Check(index)); }
  void Insert(int index, const std::u16string& s) override {
    if (index < 0 || index > GetCount()) Error(SListIndexError, index);
    FItems.insert(FItems.begin() + index, {s, nullptr});
  }
  void Assign(const TPersistent* source) override {
    BaseAssign ? TPersistent::Assign(source) : TWideStrings::Assign(source);
  }

  std::string Log;
  bool BaseAssign = false;

protected:
  void SetUpdateState(bool updating) override { Log += updating ? "<" : ">"; }

private:
  int Check(int index) const {
    if (index < 0 || index >= GetCount()) Error(SListIndexError, index);
    return index;
  }
  struct TItem { std::u16string S; TObject* Obj; };
  std::vector<TItem> FItems;
};

// "[a]x [b]": each line in brackets, followed by the name of its object.
std::string Dump(const TWideStrings& list) {
  std::string s;
  for (int i = 0; i < list.Count(); ++i) {
    s += (i ? " [" : "[") + WideToUtf8(list.Strings(i)) + "]";
    if (const auto* tag = dynamic_cast<const TTag*>(list.Objects(i))) s += tag->Name;
  }
  return s;
}

std::string Hex(std::string_view bytes) {
  std::string s;
  for (char b : bytes) s += (s.empty() ? "" : " ") + IntToHex(static_cast<uint8_t>(b), 2);
  return s;
}

std::string Hex(std::u16string_view text) {
  std::string s;
  for (char16_t c : text) s += IntToHex(c, 4) + " ";
  return s;
}

uint32_t AllocHeader(const char16_t* s) {
  uint32_t size;
  std::memcpy(&size, reinterpret_cast<const char*>(s) - sizeof size, sizeof size);
  return size;
}

// Claims 7 bytes more than it holds, as a stream that ends early does.
class TShortStream : public TMemoryStream {
public:
  using TMemoryStream::TMemoryStream;
  int64_t Size() override { return TMemoryStream::Size() + 7; }
  int64_t Read(void* buffer, int64_t count) override {
    return TMemoryStream::Read(buffer, std::min(count, TMemoryStream::Size() - Position()));
  }
};

class TFullStream : public TMemoryStream {
public:
  int64_t Write(const void*, int64_t) override { return 0; }
};

// Records each defined property as its name, "r"/"w" for the procedures given and "+"/"-"
// for hasData, then the values writeData writes.
class TRecordingWriter : public TWriter {
public:
  const TPersistent* AncestorObject = nullptr;
  std::string Log;
  std::vector<std::u16string> Written;

  const TPersistent* Ancestor() const override { return AncestorObject; }
  void DefineProperty(const std::string& name, const TReaderProc& readData,
                      const TWriterProc& writeData, bool hasData) override {
    Log += (Log.empty() ? "" : " ") + name + (readData ? "r" : "") + (writeData ? "w" : "") +
           (hasData ? "+" : "-");
    if (hasData && writeData) writeData(*this);
  }
  void WriteListBegin() override { Log += " ("; }
  void WriteListEnd() override { Log += " )"; }
  void WriteString(const std::string& value) override { Log += " '" + value + "'"; }
  void WriteWideString(const std::u16string& value) override {
    Log += " w'" + WideToUtf8(value) + "'";
    Written.push_back(value);
  }
  void WriteInteger(int64_t) override { Log += " int"; }
  void WriteBoolean(bool) override { Log += " bool"; }
};

using TValue = std::variant<std::string, std::u16string>;

// Offers one property holding a list of prepared values; a value of the wrong kind makes
// std::get throw, failing the test.
class TListReader : public TReader {
public:
  TListReader(std::string name, std::vector<TValue> values)
      : FName(std::move(name)), FValues(std::move(values)) {}
  std::string Log;

  void DefineProperty(const std::string& name, const TReaderProc& readData, const TWriterProc&,
                      bool) override {
    if (name == FName && readData) readData(*this);
  }
  void ReadListBegin() override { Log += "("; }
  bool EndOfList() override { return FPos == FValues.size(); }
  void ReadListEnd() override { Log += ")"; }
  std::string ReadString() override { return std::get<std::string>(FValues.at(FPos++)); }
  std::u16string ReadWideString() override { return std::get<std::u16string>(FValues.at(FPos++)); }
  int64_t ReadInteger() override { throw EReadError(SReadError); }
  bool ReadBoolean() override { throw EReadError(SReadError); }

private:
  std::string FName;
  std::vector<TValue> FValues;
  size_t FPos = 0;
};

TEST(TWideStrings, SplitsAtEveryLineEndAndJoinsWithCrLf) {
  struct Case { std::u16string Text; const char* Lines; };
  const Case cases[] = {
      {u"a\rb\nc\r\n", "[a] [b] [c]"}, {u"a\u2028b", "[a] [b]"},   {u"a\u2029b", "[a] [b]"},
      {u"a\u0085b", "[a\u0085b]"},      {u"a\vb\fc", "[a] [b] [c]"}, {u"", ""},
      {u"a\r\n", "[a]"},                {u"a\r\n\r\n", "[a] []"},    {u"\r\n", "[]"},
      {u"a\n\rb", "[a] [] [b]"},        {u"a\r\rb", "[a] [] [b]"},   {u"\n\n", "[] []"},
      // A zero ends a line like a break; the text after it still counts.
      {u"a\0b"s, "[a] [b]"},            {u"a\0"s, "[a]"},            {u"\0\n"s, "[] []"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(Hex(c.Text));
    TTestWideStrings list({u"old"});
    list.SetTextStr(c.Text);
    EXPECT_EQ(Dump(list), c.Lines);
    EXPECT_EQ(list.Log, "<c>");
  }
  TTestWideStrings list({u"old"});
  list.SetText(u"a\nb\0c");  // a C string ends at its terminator
  EXPECT_EQ(Dump(list), "[a] [b]");
  list.SetText(nullptr);
  EXPECT_EQ(Dump(list), "");

  for (const auto& [lines, text] : {std::pair<std::vector<std::u16string>, std::u16string>{
                                        {u"a", u"b"}, u"a\r\nb\r\n"},
                                    {{}, u""}, {{u"\u0416", u""}, u"\u0416\r\n\r\n"}}) {
    SCOPED_TRACE(Hex(text));
    EXPECT_EQ(TTestWideStrings(lines).GetTextStr(), text);
    const TWStrPtr copy = TTestWideStrings(lines).GetText();
    EXPECT_EQ(std::u16string(copy.get(), WStrLen(copy.get())), text);
    EXPECT_EQ(AllocHeader(copy.get()), (text.size() + 1) * 2 + 4);
  }
}

TEST(TWideStrings, LoadFromStreamDetectsTheUtf16Mark) {
  struct Case { std::string Bytes; int Start; const char* Lines; bool Unicode; };
  const Case cases[] = {
      {"\xFE\xFF\x00\x61"s, 0, "[a]", true},
      {"\xFF\xFE\x61\x00"s, 0, "[a]", true},
      // Big-endian with a zero character inside: everything after it is swapped too.
      {"\xFE\xFF\x00\x61\x00\x00\x30\x42\x00\x0D\x00\x0A\x00\x62"s, 0, "[a] [\u3042] [b]", true},
      {"\xFF\xFE\x61\x00\x62"s, 0, "[a]", true},  // an odd last byte is no character
      {"\xFF\xFE\x61"s, 0, "", true},
      {"\xFF\xFE"s, 0, "", true},
      {"xx\xFF\xFE\x61\x00"s, 2, "[a]", true},  // from the current position
      {"caf\xE9\r\nx"s, 0, "[caf\u00E9] [x]", false},
      {"\xFF"s, 0, "[\u00FF]", false},
      {"\xFE\x61"s, 0, "[\u00FEa]", false},
      {""s, 0, "", false},
      {"ab\r\ncd"s, 3, "[] [cd]", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(Hex(c.Bytes));
    TTestWideStrings list({u"old"});
    list.SetSaveUnicode(!c.Unicode);
    TMemoryStream stream(c.Bytes);
    stream.SetPosition(c.Start);
    list.LoadFromStream(stream);
    EXPECT_EQ(Dump(list), c.Lines);
    EXPECT_EQ(list.SaveUnicode(), c.Unicode);
    EXPECT_EQ(list.Log, "<c>");
  }
  // A stream that ends before its size gives what it holds.
  for (const auto& [bytes, lines] : {std::pair{"\xFF\xFE\x61\x00"s, "[a]"}, {"ab"s, "[ab]"}}) {
    TTestWideStrings list({});
    TShortStream stream(bytes);
    list.LoadFromStream(stream);
    EXPECT_EQ(Dump(list), lines) << Hex(bytes);
  }
}

TEST(TWideStrings, SaveToStreamWritesTheChosenEncodingAfterAsking) {
  // Answer -1: no OnConfirmConversion handler.
  struct Case {
    std::vector<std::u16string> Lines;
    bool Unicode;
    int Answer, Asked;
    const char* Bytes;
  };
  const Case cases[] = {
      {{u"a"}, true, -1, 0, "FF FE 61 00 0D 00 0A 00"},
      {{}, true, -1, 0, "FF FE"},
      {{u"\u0416\u00E9"}, true, 0, 0, "FF FE 16 04 E9 00 0D 00 0A 00"},
      {{u"caf\u00E9", u""}, false, -1, 0, "63 61 66 E9 0D 0A 0D 0A"},
      {{}, false, -1, 0, ""},
      {{u"\u0416"}, false, -1, 0, "3F 0D 0A"},
      {{u"a\u0416"}, false, 0, 1, ""},  // refused: nothing written, not saved
      {{u"a\u0416"}, false, 1, 1, "61 3F 0D 0A"},
      {{u"\u0100"}, false, 0, 1, ""},
      {{u"\u00E9\u00FF"}, false, 0, 0, "E9 FF 0D 0A"},         // all of it fits in 8 bits
      {{u"a\0\u0416"s}, false, 0, 0, "61 00 3F 0D 0A"},        // the scan stops at a zero
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Bytes);
    TTestWideStrings list(c.Lines);
    list.SetSaveUnicode(c.Unicode);
    TMemoryStream first, stream;
    list.SaveToStream(first);  // leaves Saved true
    int asked = 0;
    if (c.Answer >= 0)
      list.OnConfirmConversion = [&](TObject* sender, bool& allowed) {
        EXPECT_EQ(sender, &list);
        EXPECT_TRUE(allowed);
        allowed = c.Answer;
        ++asked;
      };
    list.SaveToStream(stream);
    EXPECT_EQ(asked, c.Asked);
    EXPECT_EQ(Hex(stream.DataString()), c.Bytes);
    EXPECT_EQ(list.Saved(), c.Answer != 0 || c.Asked == 0);
  }
  TTestWideStrings list({});
  TMemoryStream in("\xFE\xFF\x00\x61"s), out;
  list.LoadFromStream(in);
  list.SaveToStream(out);  // big-endian in, little-endian out
  EXPECT_EQ(Hex(out.DataString()), "FF FE 61 00 0D 00 0A 00");
  TFullStream full;
  EXPECT_THAT([&] { list.SaveToStream(full); }, ThrowsMessage<EWriteError>(StrEq(SWriteError)));
  EXPECT_FALSE(list.Saved());
}

TEST(TWideStrings, DefaultEditsKeepObjectsWithTheirStrings) {
  TTag x('x'), z('z');
  using TEdit = std::function<void(TTestWideStrings&)>;
  // BadIndex: the index the edit must report, -1 for none.
  struct Case { const char* Name; TEdit Edit; const char *Lines, *Log; int BadIndex; };
  const Case cases[] = {
      {"Put", [](auto& l) { l.Put(0, u"A"); }, "[A]x [b] [c]", "", -1},
      {"Exchange", [](auto& l) { l.Exchange(0, 2); }, "[c] [b] [a]x", "<>", -1},
      {"Exchange itself", [](auto& l) { l.Exchange(0, 0); }, "[a]x [b] [c]", "<>", -1},
      {"Move forwards", [](auto& l) { l.Move(0, 2); }, "[b] [c] [a]x", "<>", -1},
      {"Move backwards", [](auto& l) { l.Move(2, 0); }, "[c] [a]x [b]", "<>", -1},
      {"Move(2, 2)", [](auto& l) { l.Move(2, 2); }, "[a]x [b] [c]", "", -1},
      {"Move(7, 7)", [](auto& l) { l.Move(7, 7); }, "[a]x [b] [c]", "", -1},
      {"InsertObject", [&](auto& l) { l.InsertObject(1, u"n", &z); }, "[a]x [n]z [b] [c]", "", -1},
      {"AddObject", [&](auto& l) { l.AddObject(u"n", &z); }, "[a]x [b] [c] [n]z", "", -1},
      {"AddStrings of itself", [](auto& l) { l.AddStrings(static_cast<const TWideStrings&>(l)); },
       "[a]x [b] [c] [a]x [b] [c]", "<>", -1},
      // Exchange reads everything before it writes; Move deletes before it inserts.
      {"Exchange bad", [](auto& l) { l.Exchange(0, 5); }, "[a]x [b] [c]", "", 5},
      {"Put bad", [](auto& l) { l.Put(3, u"z"); }, "[a]x [b] [c]", "", 3},
      {"Move bad source", [](auto& l) { l.Move(4, 0); }, "[a]x [b] [c]", "<>", 4},
      {"Move bad target", [](auto& l) { l.Move(0, 9); }, "[b] [c]", "<>", 9},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    TTestWideStrings list({u"a", u"b", u"c"});
    list.PutObject(0, &x);
    if (c.BadIndex >= 0) {
      const std::string message = "List index out of bounds (" + std::to_string(c.BadIndex) + ")";
      EXPECT_THAT([&] { c.Edit(list); }, ThrowsMessage<EStringListError>(StrEq(message)));
    } else {
      c.Edit(list);
    }
    EXPECT_EQ(Dump(list), c.Lines);
    EXPECT_EQ(list.Log, c.Log);
    EXPECT_EQ(list.UpdateCount(), 0);
  }
  TTestWideStrings list({});
  list.BeginUpdate();
  list.BeginUpdate();
  list.EndUpdate();
  EXPECT_EQ(list.Log, "<");
  list.EndUpdate();
  list.EndUpdate();  // unbalanced: ignored
  list.BeginUpdate();
  EXPECT_EQ(list.Log, "<><");
}

TEST(TWideStrings, ComparesByItsLanguage) {
  EXPECT_EQ(TextCallVariant(), tcvWide);
  EXPECT_EQ(TTestWideStrings({}).Language(), 0x0409u);
  SetUserLocale("sv-SE");
  EXPECT_EQ(TTestWideStrings({}).Language(), 0x041Du);
  SetUserLocale("en-US");
  struct Case { uint32_t Language; std::u16string S1, S2; int Result; };
  const Case cases[] = {
      {0x0409, u"\u00E4b", u"af", -1}, {0x041D, u"\u00E4b", u"af", 1},  // Swedish ä follows z
      {0x0409, u"a", u"A", -1},        {0x0409, u"\u00E9", u"e\u0301", 0},
      {0x1234, u"a", u"a", -2},        // no locale: the comparison fails
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(Hex(c.S1) + "vs " + Hex(c.S2));
    TTestWideStrings list({u"x", c.S1});
    list.SetLanguage(c.Language);
    EXPECT_EQ(list.CompareStrings(c.S1, c.S2), c.Result);
    EXPECT_EQ(WideCompareStrings(c.Language, 0, c.S1, c.S2), c.Result);
    EXPECT_EQ(list.IndexOf(c.S2), c.Result == 0 ? 1 : -1);
  }
  EXPECT_EQ(WideCompareStrings(0x0409, NORM_IGNORECASE, u"abc", u"ABC"), 0);
  EXPECT_EQ(TTestWideStrings({u"abc", u"ABC"}).IndexOf(u"ABC"), 1);
}

TEST(TWideStrings, AssignCopiesBetweenWideAndEightBitLists) {
  TTag x('x');
  TStringList narrow;
  narrow.AddObject("caf\xE9", &x);
  narrow.Add("");
  TTestWideStrings wide({u"old"});
  wide.Assign(&narrow);
  EXPECT_EQ(Dump(wide), "[caf\u00E9]x []");
  EXPECT_EQ(wide.Log, "<c>");

  wide.Add(u"\u0416");
  TStringList back;
  back.Add("gone");
  int changes = 0;
  back.OnChange = [&](TObject*) { ++changes; };
  back.Assign(&wide);  // through wide's AssignTo, inside back's update
  EXPECT_EQ(back.Text(), "caf\xE9\r\n\r\n?\r\n");
  EXPECT_EQ(back.Objects(0), &x);
  EXPECT_EQ(changes, 1);

  for (bool baseAssign : {false, true}) {
    SCOPED_TRACE(baseAssign ? "through the source's AssignTo" : "Assign");
    TTestWideStrings copy({u"old"});
    copy.BaseAssign = baseAssign;
    copy.Assign(&wide);
    EXPECT_EQ(Dump(copy), Dump(wide));
    EXPECT_EQ(copy.Log, "<c>");
  }
  wide.Log.clear();
  wide.Assign(&wide);
  EXPECT_EQ(Dump(wide), "[caf\u00E9]x [] [\u0416]");
  EXPECT_EQ(wide.Log, "");

  TPersistent other;
  EXPECT_THAT([&] { wide.Assign(&other); },
              ThrowsMessage<EConvertError>(
                  StrEq("Cannot assign a TPersistent to a TTestWideStrings")));
  EXPECT_THAT([&] { other.Assign(&wide); },
              ThrowsMessage<EConvertError>(
                  StrEq("Cannot assign a TTestWideStrings to a TPersistent")));
}

TEST(TWideStrings, WritesLineDataOnlyWhenThereIsSomethingToWrite) {
  TTestWideStrings same({u"a"}), different({u"b"});
  TPersistent foreign;
  struct Case { std::vector<std::u16string> Lines; const TPersistent* Ancestor; const char* Log; };
  const Case cases[] = {
      {{}, nullptr, "WideStringsrw- Stringsr-"},
      {{u"a", u"\u00E9"}, nullptr, "WideStringsrw+ ( w'a' w'\u00E9' ) Stringsr-"},
      {{u"a"}, &same, "WideStringsrw- Stringsr-"},
      {{u"a"}, &different, "WideStringsrw+ ( w'a' ) Stringsr-"},
      {{}, &foreign, "WideStringsrw+ ( ) Stringsr-"},  // an ancestor of another class
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Log);
    TTestWideStrings list(c.Lines);
    TRecordingWriter writer;
    writer.AncestorObject = c.Ancestor;
    list.DefineProperties(writer);
    EXPECT_EQ(writer.Log, c.Log);
    if (c.Ancestor) continue;
    TTestWideStrings copy({u"old"});  // what was written reads back as the same lines
    TListReader reader("WideStrings", {writer.Written.begin(), writer.Written.end()});
    copy.DefineProperties(reader);
    EXPECT_EQ(Dump(copy), Dump(list));
  }
  struct ReadCase { const char* Property; std::vector<TValue> Values; const char* Lines; };
  const ReadCase reads[] = {
      {"WideStrings", {u"a"s, u"\u0416"s}, "[a] [\u0416]"},
      {"Strings", {"caf\xE9"s, ""s}, "[caf\u00E9] []"},  // older streams: system code page
  };
  for (const ReadCase& c : reads) {
    SCOPED_TRACE(c.Property);
    TTestWideStrings list({u"old"});
    TListReader reader(c.Property, c.Values);
    list.DefineProperties(reader);
    EXPECT_EQ(Dump(list), c.Lines);
    EXPECT_EQ(reader.Log, "()");
    EXPECT_EQ(list.Log, "<c>");
  }
}

// A component whose wide lines are a published string list.
class TWideHolder : public TComponent {
  QV_CLASS(TWideHolder, TComponent)
  static void DeclareClass(TClassDecl& c) { c.Strings("Lines", &TWideHolder::Lines); }
  TWideHolder() : TComponent(nullptr) { SetName("Holder"); }
  TTestWideStrings* Lines() const { return FLines.get(); }

private:
  std::unique_ptr<TTestWideStrings> FLines = std::make_unique<TTestWideStrings>(
      std::vector<std::u16string>{u"x\u00E9 \u20AC", u"", u"'quoted'"});
};

TEST(TWideStrings, StreamThroughTheComponentTextAndABadItemLeavesTheLines) {
  TWideHolder holder;
  TMemoryStream out;
  WriteComponentText(out, &holder);
  EXPECT_EQ(out.DataString(),
            "object Holder: TWideHolder\r\n  Lines.WideStrings = (\r\n    'x\xE9 '#8364\r\n"
            "    ''\r\n    #39'quoted'#39)\r\nend\r\n");
  TWideHolder copy;
  copy.Lines()->Clear();
  out.SetPosition(0);
  ReadComponentText(out, &copy);
  EXPECT_EQ(Dump(*copy.Lines()), Dump(*holder.Lines()));

  TMemoryStream bad(std::string_view("object Holder: TWideHolder\r\n"
                                     "  Lines.WideStrings = ('a' 5)\r\nend\r\n"));
  std::vector<std::string> messages;
  ReadComponentText(bad, &copy, [&](TReader&, const std::string& message, bool& handled) {
    messages.push_back(message);
    handled = true;
  });
  EXPECT_EQ(Dump(*copy.Lines()), Dump(*holder.Lines()));
  EXPECT_THAT(messages, testing::ElementsAre(
                            "Error reading Holder.Lines.WideStrings: Invalid property value"));
}

TEST(TWideStrings, FilesRoundTripAndLoadFailuresAreSystemErrors) {
  namespace fs = std::filesystem;
  const fs::path dir = fs::temp_directory_path() / ("qvUnicode_test." + std::to_string(getpid()));
  fs::create_directories(dir);
  const std::string file = (dir / "lines.txt").string();
  TTestWideStrings list({u"a\u0416", u"b"});
  list.SetSaveUnicode(true);
  list.SaveToFile(file);
  TTestWideStrings loaded({});
  loaded.LoadFromFile(file);
  EXPECT_EQ(Dump(loaded), Dump(list));
  EXPECT_TRUE(loaded.SaveUnicode());

  EXPECT_THAT([&] { loaded.LoadFromFile((dir / "missing").string()); },
              ThrowsMessage<EOSError>(StrEq(Format("System Error.  Code: %d.\r\n%s", ENOENT,
                                                   "No such file or directory"))));
  // A directory opens but is no file: no system error number is left to report.
  EXPECT_THAT([&] { loaded.LoadFromFile(dir.string()); },
              ThrowsMessage<EOSError>(StrEq("A call to an OS function failed")));
  EXPECT_THROW(list.SaveToFile((dir / "no" / "such").string()), EFCreateError);
  fs::remove_all(dir);
}

TEST(WideStringRoutines, AllocateCopyMoveAndSwap) {
  for (auto [count, header] : {std::pair<size_t, uint32_t>{0, 4}, {1, 6}, {5, 14}}) {
    const TWStrPtr s(WStrAlloc(count));
    EXPECT_EQ(AllocHeader(s.get()), header) << count;
    EXPECT_EQ(std::u16string(s.get(), count), std::u16string(count, u'\0')) << count;
  }
  EXPECT_EQ(WStrLen(nullptr), 0u);
  EXPECT_EQ(WStrLen(u"a\0b"), 1u);
  const TWStrPtr copy(WStrNew(u"ab"));
  EXPECT_EQ(std::u16string(copy.get()), u"ab");
  EXPECT_EQ(AllocHeader(copy.get()), 10u);
  EXPECT_EQ(WStrNew(nullptr), nullptr);
  WStrFree(nullptr);

  struct Case { int Dest, Source; size_t Count; std::u16string Result; };
  const Case moves[] = {
      {1, 0, 4, u"aabcdf"}, {0, 1, 4, u"bcdeef"}, {0, 0, 6, u"abcdef"}, {2, 0, 0, u"abcdef"},
  };
  for (const Case& c : moves) {
    SCOPED_TRACE(Hex(c.Result));
    char16_t buffer[] = u"abcdef";
    WStrMove(buffer + c.Dest, buffer + c.Source, c.Count);
    EXPECT_EQ(std::u16string(buffer), c.Result);
  }
  char16_t chars[] = {0x0061, 0x0000, 0x3042, 0x1234};
  StrSwapByteOrder(chars, 3);  // past the zero, and not beyond count
  EXPECT_EQ(Hex(std::u16string_view(chars, 4)), "6100 0000 4230 1234 ");
}

}  // namespace
}  // namespace qv
