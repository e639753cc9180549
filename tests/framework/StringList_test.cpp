// TStrings defaults (through a minimal descendant) and TStringList: sorting, duplicates,
// case sensitivity, change events, Text and Name=Value handling, index errors.
#include "framework/Classes.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <functional>
#include <initializer_list>

#include "framework/Streams.h"

namespace qv {
namespace {

using namespace std::string_literals;
using testing::StrEq;
using testing::ThrowsMessage;
using TItems = std::initializer_list<const char*>;
using TOp = std::function<void(TStringList&)>;

std::string Dump(const TStrings& list) {
  std::string result;
  for (int i = 0; i < list.Count(); ++i) result += (i ? "|" : "") + list.Get(i);
  return result;
}

std::string Bounds(int index) { return "List index out of bounds (" + std::to_string(index) + ")"; }

void Fill(TStrings& list, TItems items) {
  for (const char* s : items) list.Add(s);
}

// Logs "<n" on OnChanging and ">n" on OnChange, n being the count the handler sees.
void Record(TStringList& list, std::string& log) {
  list.OnChanging = [&](TObject* sender) {
    EXPECT_EQ(sender, &list);
    log += "<" + std::to_string(list.Count());
  };
  list.OnChange = [&](TObject*) { log += ">" + std::to_string(list.Count()); };
}

// Stores strings only, so every other member runs the TStrings default.
class TPlainStrings : public TStrings {
public:
  int Count() const override { return static_cast<int>(FItems.size()); }
  std::string Get(int index) const override { return FItems[Checked(index, Count() - 1)]; }
  void Insert(int index, const std::string& s) override {
    FItems.insert(FItems.begin() + Checked(index, Count()), s);
  }
  void Delete(int index) override { FItems.erase(FItems.begin() + Checked(index, Count() - 1)); }
  void Clear() override { FItems.clear(); }

private:
  int Checked(int index, int last) const {
    if (index < 0 || index > last) Error(SListIndexError, index);
    return index;
  }
  std::vector<std::string> FItems;
};

TEST(TStrings, DefaultsWorkThroughTheAbstractMembers) {
  TPlainStrings list;
  Fill(list, {"a", "b", "c", "d"});
  list.Put(1, "B");
  list.Exchange(0, 3);
  list.Move(0, 2);  // forwards: d B c a -> B c d a
  EXPECT_EQ(Dump(list), "B|c|d|a");
  list.Move(3, 0);
  EXPECT_EQ(Dump(list), "a|B|c|d");
  EXPECT_EQ(list.IndexOf("b"), 1);  // without case
  EXPECT_THAT([&] { list.Exchange(1, 4); }, ThrowsMessage<EStringListError>(StrEq(Bounds(4))));
  EXPECT_THAT([&] { list.Move(1, 4); }, ThrowsMessage<EStringListError>(StrEq(Bounds(4))));
  EXPECT_EQ(Dump(list), "a|B|c|d");

  TStringList other;
  Fill(other, {"a", "B", "c"});
  EXPECT_FALSE(list.Equals(other));
  other.Add("d");
  EXPECT_TRUE(list.Equals(other));
  other.Put(1, "b");  // equal without case, but Equals compares bytes
  EXPECT_FALSE(list.Equals(other));
}

TEST(TStringList, SortedAddFollowsTheDuplicatesRule) {
  // Add("B") to the sorted list "b|d"; Index -1 means it raises.
  struct Case { TDuplicates Dup; int Index; const char* After; const char* Log; } cases[] = {
      {dupIgnore, 0, "b|d", ""}, {dupAccept, 0, "B|b|d", "<2>3"}, {dupError, -1, "b|d", ""}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Dup);
    TStringList list;
    list.SetDuplicates(c.Dup);
    list.SetSorted(true);
    Fill(list, {"d", "b"});
    std::string log;
    Record(list, log);
    if (c.Index < 0)
      EXPECT_THAT([&] { list.Add("B"); },
                  ThrowsMessage<EStringListError>(StrEq("String list does not allow duplicates")));
    else
      EXPECT_EQ(list.Add("B"), c.Index);
    EXPECT_EQ(Dump(list), c.After);
    EXPECT_EQ(log, c.Log);
    list.SetSorted(false);  // unsorted lists append everything, whatever the rule
    const int count = list.Count();
    EXPECT_EQ(list.Add("b"), count);
  }
}

TEST(TStringList, FindBisectsToTheFirstEqualItemOrTheInsertionPoint) {
  const TItems five = {"a", "b", "c", "d", "e"}, sevenX = {"x", "x", "x", "x", "x", "x", "x"};
  struct Case { TItems Items; TDuplicates Dup; const char* Key; bool Found; int Index; } cases[] = {
      {{}, dupAccept, "a", false, 0},     {{"m"}, dupAccept, "a", false, 0},
      {{"m"}, dupAccept, "M", true, 0},   {{"m"}, dupAccept, "z", false, 1},
      {{"a", "b", "b", "b", "c"}, dupAccept, "b", true, 1},
      {{"a", "b", "b", "b", "c"}, dupAccept, "bb", false, 4},
      {sevenX, dupAccept, "x", true, 0},  {sevenX, dupIgnore, "x", true, 3},  // any equal one
      {five, dupIgnore, "e", true, 4},    {five, dupIgnore, "f", false, 5},
      {five, dupIgnore, "", false, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.Key << " in " << c.Items.size() << " items");
    TStringList list;
    list.SetDuplicates(dupAccept);
    list.SetSorted(true);
    Fill(list, c.Items);
    list.SetDuplicates(c.Dup);
    int index = -7;
    EXPECT_EQ(list.Find(c.Key, index), c.Found);
    EXPECT_EQ(index, c.Index);
    EXPECT_EQ(list.IndexOf(c.Key), c.Found ? c.Index : -1);
  }
}

TEST(TStringList, ChangingCaseSensitivityResortsASortedList) {
  TStringList list;
  list.SetDuplicates(dupAccept);
  list.SetSorted(true);
  Fill(list, {"b", "A", "a", "B"});  // an equal string goes before the first equal item
  EXPECT_EQ(Dump(list), "a|A|B|b");
  std::string log;
  Record(list, log);
  list.SetCaseSensitive(false);  // the value it has: no re-sort, no event
  EXPECT_EQ(log, "");
  list.SetCaseSensitive(true);  // the locale puts lower case first
  EXPECT_EQ(Dump(list), "a|A|b|B");
  EXPECT_EQ(log, "<4>4");
  EXPECT_EQ(list.IndexOf("B"), 3);
  list.Exchange(0, 3);  // allowed on a sorted list; the caller answers for the order
  EXPECT_EQ(Dump(list), "B|A|b|a");
}

TEST(TStringList, FiresOneEventPairPerChangeAndNoneForNoOps) {
  TStringList source;
  Fill(source, {"x", "y", "z"});
  const auto nested = [](TStringList& l) {
    l.BeginUpdate();
    l.BeginUpdate();
    l.Add("a");
    l.EndUpdate();
    l.Add("b");
    l.EndUpdate();
  };
  struct Case { const char* Name; TItems Items; TOp Op; const char* Log; } cases[] = {
      {"Add", {"a", "b"}, [](TStringList& l) { l.Add("c"); }, "<2>3"},
      {"Delete", {"a", "b"}, [](TStringList& l) { l.Delete(1); }, "<2>1"},
      {"Clear", {"a", "b"}, [](TStringList& l) { l.Clear(); }, "<2>0"},
      {"Put", {"a", "b"}, [](TStringList& l) { l.Put(0, "a"); }, "<2>2"},
      {"PutObject", {"a", "b"}, [](TStringList& l) { l.PutObject(0, &l); }, "<2>2"},
      {"Exchange", {"a", "b"}, [](TStringList& l) { l.Exchange(0, 1); }, "<2>2"},
      {"Sort", {"b", "a"}, [](TStringList& l) { l.Sort(); }, "<2>2"},
      {"Move", {"a", "b"}, [](TStringList& l) { l.Move(0, 1); }, "<2>2"},
      {"SetText", {"a"}, [](TStringList& l) { l.SetText("1\n2\n3\n4"); }, "<1>4"},
      {"Assign", {"a"}, [&](TStringList& l) { l.Assign(&source); }, "<1>3"},
      {"AddStrings", {}, [&](TStringList& l) { l.AddStrings(source); }, "<0>3"},
      {"nested brackets", {}, nested, "<0>2"},
      {"Clear of an empty list", {}, [](TStringList& l) { l.Clear(); }, ""},
      {"Sort of one item", {"a"}, [](TStringList& l) { l.Sort(); }, ""},
      {"Move to itself", {"a", "b"}, [](TStringList& l) { l.Move(1, 1); }, ""},
      {"SetSorted(false) again", {"b", "a"}, [](TStringList& l) { l.SetSorted(false); }, ""},
      {"ignored duplicate", {"a"}, [](TStringList& l) { l.SetSorted(true); l.Add("A"); }, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    TStringList list;
    Fill(list, c.Items);
    std::string log;
    Record(list, log);
    c.Op(list);
    EXPECT_EQ(log, c.Log);
    EXPECT_EQ(list.UpdateCount(), 0);
  }
}

TEST(TStringList, RefusedChangesRaiseAndChangeNothing) {
  const std::string sortedError = "Operation not allowed on sorted list";
  struct Case { bool Sorted; TOp Op; std::string Message; const char* Log = ""; } cases[] = {
      {false, [](TStringList& l) { l.Get(-1); }, Bounds(-1)},
      {false, [](TStringList& l) { l.Get(2); }, Bounds(2)},
      {false, [](TStringList& l) { l.Objects(2); }, Bounds(2)},
      {false, [](TStringList& l) { l.Names(2); }, Bounds(2)},
      {false, [](TStringList& l) { l.Delete(2); }, Bounds(2)},
      {false, [](TStringList& l) { l.Insert(3, ""); }, Bounds(3)},
      {false, [](TStringList& l) { l.Insert(-1, ""); }, Bounds(-1)},
      {false, [](TStringList& l) { l.Put(2, ""); }, Bounds(2)},
      {false, [](TStringList& l) { l.PutObject(2, &l); }, Bounds(2)},
      {false, [](TStringList& l) { l.Exchange(0, 2); }, Bounds(2)},
      {false, [](TStringList& l) { l.Exchange(-1, 0); }, Bounds(-1)},
      {false, [](TStringList& l) { l.Move(0, 2); }, Bounds(2)},
      {false, [](TStringList& l) { l.Move(2, 0); }, Bounds(2)},
      {false, [](TStringList& l) { l.Move(5, 5); }, Bounds(5)},
      {true, [](TStringList& l) { l.Insert(0, "z"); }, sortedError},
      {true, [](TStringList& l) { l.InsertObject(2, "z", nullptr); }, sortedError},
      {true, [](TStringList& l) { l.Put(0, "z"); }, sortedError},
      // The moved item stays; the update bracket around the move still opens and closes.
      {true, [](TStringList& l) { l.Move(0, 1); }, sortedError, "<2>2"},
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(i);
    TStringList list;
    Fill(list, {"a=1", "b"});
    list.SetSorted(cases[i].Sorted);
    std::string log;
    Record(list, log);
    EXPECT_THAT([&] { cases[i].Op(list); },
                ThrowsMessage<EStringListError>(StrEq(cases[i].Message)));
    EXPECT_EQ(Dump(list), "a=1|b");
    EXPECT_EQ(log, cases[i].Log);
    EXPECT_EQ(list.UpdateCount(), 0);
  }
}

TEST(TStrings, SetTextSplitsAtEveryLineBreakKind) {
  struct Case { std::string In, Lines; int Count; } cases[] = {
      {"", "", 0},         {"a", "a", 1},           {"a\r\n", "a", 1},
      {"\r\n", "", 1},     {"a\r\r", "a|", 2},      {"a\n\rb", "a||b", 3},
      {"a\rb\nc\r\nd", "a|b|c|d", 4},               {"a\r\n\r\nb\n", "a||b", 3},
      {"x\0y"s, "x\0y"s, 1},  // a NUL byte is content
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.In));
    TStringList list;
    Fill(list, {"old"});
    list.SetText(c.In);
    EXPECT_EQ(list.Count(), c.Count);
    EXPECT_EQ(Dump(list), c.Lines);
    std::string text;
    for (int i = 0; i < list.Count(); ++i) text += list.Get(i) + "\r\n";
    EXPECT_EQ(list.Text(), text);
  }
}

TEST(TStrings, NamesAndValuesSplitAtTheFirstEquals) {
  TStringList list;
  Fill(list, {"Key=v1", "noeq", "=empty", "k2=a=b"});
  EXPECT_EQ(list.Names(0) + "," + list.Names(1) + "," + list.Names(2), "Key,,");
  EXPECT_EQ(list.Values("KEY") + "," + list.Values("k2") + "," + list.Values(""), "v1,a=b,empty");
  EXPECT_EQ(list.Values("noeq"), "");
  list.SetValues("KEY", "new");  // replaces the line in its place
  list.SetValues("k3", "x");
  list.SetValues("k2", "");  // an empty value deletes the entry
  list.SetValues("absent", "");
  EXPECT_EQ(Dump(list), "KEY=new|noeq|=empty|k3=x");

  TStringList sorted;
  sorted.SetSorted(true);
  Fill(sorted, {"b=2", "d=4"});
  sorted.SetValues("c", "3");  // a new entry goes to its sorted place
  EXPECT_EQ(Dump(sorted), "b=2|c=3|d=4");
}

TEST(TStrings, AssignCopiesStringsAndObjectsFromStringsOnly) {
  TStringList source;
  TObject marker;
  source.AddObject("a", &marker);
  source.Add("b");
  TStringList list;
  Fill(list, {"old", "older"});
  list.Assign(&source);
  EXPECT_EQ(Dump(list), "a|b");
  EXPECT_EQ(list.IndexOfObject(&marker), 0);
  list.Assign(&list);
  EXPECT_EQ(Dump(list), "a|b");
  TComponent component(nullptr);
  EXPECT_THAT([&] { list.Assign(&component); },
              ThrowsMessage<EConvertError>(StrEq("Cannot assign a TComponent to a TStringList")));
  EXPECT_EQ(Dump(list), "a|b");
}

TEST(TStringList, CustomSortIsStableAndLeavesASortedListAlone) {
  const auto byLength = [](const TStringList& l, int a, int b) {
    return static_cast<int>(l.Get(a).size()) - static_cast<int>(l.Get(b).size());
  };
  TStringList list;
  Fill(list, {"ccc", "a", "bb", "d", "ee"});
  list.CustomSort(byLength);
  EXPECT_EQ(Dump(list), "a|d|bb|ee|ccc");
  list.SetSorted(true);
  list.Add("aaaa");
  list.CustomSort(byLength);
  EXPECT_EQ(Dump(list), "a|aaaa|bb|ccc|d|ee");
}

TEST(TStrings, StreamsAndFilesCarryTheText) {
  TMemoryStream stream("skip\nb\r\na"s);
  stream.SetPosition(5);  // loading reads from the current position on
  TStringList list;
  list.LoadFromStream(stream);
  EXPECT_EQ(Dump(list), "b|a");

  std::string dir = testing::TempDir() + "qvslXXXXXX";
  ASSERT_NE(mkdtemp(dir.data()), nullptr);
  const std::string file = dir + "/list.txt";
  list.SaveToFile(file);
  TMemoryStream bytes;
  bytes.LoadFromFile(file);
  EXPECT_EQ(bytes.DataString(), "b\r\na\r\n");
  TStringList loaded;
  loaded.LoadFromFile(file);
  EXPECT_TRUE(loaded.Equals(list));
  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace qv
