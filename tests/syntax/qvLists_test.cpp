// Tests of the sorted lists and ranges: the shared bisection, key-ordered insertion, the hinted
// position search over ranges, merging and non-overlapping insertion, moving a tail of ranges
// into another list, and the layered collection's covering-set query.
#include "syntax/qvLists.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <random>
#include <sstream>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "framework/Classes.h"
#include "framework/SysUtils.h"
#include "tests/support/Dumps.h"

namespace qv {
namespace {

using test::DumpKeys;
using test::DumpLayers;
using test::DumpRanges;
using testing::StrEq;
using testing::ThrowsMessage;

// Counts live instances, so a test can prove that merged, deleted, cleared and moved ranges
// are freed exactly once.
struct TCountedRange : TRange {
  static inline int Live = 0;
  TCountedRange(int startPos, int endPos) : TRange(startPos, endPos) { ++Live; }
  ~TCountedRange() override { --Live; }
};

std::unique_ptr<TRange> R(int startPos, int endPos) {
  return std::make_unique<TCountedRange>(startPos, endPos);
}

std::vector<int> Ints(const char* text) {
  std::vector<int> out;
  std::istringstream in(text);
  for (int v; in >> v;) out.push_back(v);
  return out;
}

// "[0,5) [5,8)" back into ranges, in the dump's format.
std::vector<std::pair<int, int>> Parse(const std::string& text) {
  std::vector<std::pair<int, int>> out;
  std::istringstream in(text);
  for (std::string item; in >> item;) {
    int s = 0, e = 0;
    EXPECT_EQ(std::sscanf(item.c_str(), "[%d,%d)", &s, &e), 2) << item;
    out.emplace_back(s, e);
  }
  return out;
}

void Fill(TRangeList& list, const std::string& ranges) {
  for (auto [s, e] : Parse(ranges)) list.Add(R(s, e));
}

TEST(QuickSearch, FindsMatchOrLastItemBeforeKey) {
  struct { const char* Keys; int Key; bool Found; int Index; } cases[] = {
      {"", 3, false, -1},     {"5", 4, false, -1},    {"5", 5, true, 0},      {"5", 6, false, 0},
      {"1 3 5", 0, false, -1}, {"1 3 5", 9, false, 2}, {"1 3 5", 2, false, 0},
      {"1 3 5", 4, false, 1},
      {"1 3 5", 1, true, 0},  {"1 3 5", 5, true, 2},  {"1 2 2 2 9", 5, false, 3},
      {"2 2 2 2", 2, true, -2},  // -2: any of the equal items
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "keys {" << c.Keys << "} key " << c.Key);
    const std::vector<int> keys = Ints(c.Keys);
    int index = 99;
    EXPECT_EQ(QuickSearch(int(keys.size()), [&](int i, int k) { return keys[size_t(i)] - k; },
                          c.Key, index), c.Found);
    if (c.Index == -2) EXPECT_EQ(keys.at(size_t(index)), c.Key);
    else EXPECT_EQ(index, c.Index);
  }
  // The midpoint of two large indexes must not overflow. The comparison gives up ("match")
  // after more steps than a bisection of INT_MAX items needs, so a fault fails, not hangs.
  int index = 0, calls = 0;
  auto byValue = [&](int i, int key) { return ++calls > 40 ? 0 : (i > key) - (i < key); };
  EXPECT_TRUE(QuickSearch(INT_MAX, byValue, INT_MAX - 1, index));
  EXPECT_EQ(index, INT_MAX - 1);
  EXPECT_LE(calls, 32);
}

TEST(TSortedItem, GetKeyOfBareItemRaisesAbstractError) {
  TSortedItem bare;
  EXPECT_THAT([&] { bare.GetKey(); }, ThrowsMessage<EAbstractError>(StrEq("Abstract Error")));
}

TEST(TSortedList, AddKeepsKeyOrderAndReturnsWhereTheItemStands) {
  struct { const char* Adds; const char* Keys; const char* Returns; } cases[] = {
      {"3 1 2", "1 2 3", "0 0 1"},  {"5 5 5", "5 5 5", "0 1 2"},  // equal last key: after it
      {"9 -4 0", "-4 0 9", "0 0 1"}, {"1 2 2 3 2", "1 2 2 2 3", "0 1 2 3 2"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Adds);
    TSortedList list(true);
    std::string returns;
    for (int key : Ints(c.Adds)) {
      auto* item = new TCountedRange(key, key);
      const int at = list.Add(item);
      EXPECT_EQ(list.Items(at), item);
      returns += (returns.empty() ? "" : " ") + std::to_string(at);
    }
    EXPECT_EQ(DumpKeys(list), c.Keys);
    EXPECT_EQ(returns, c.Returns);
  }
}

TEST(TSortedList, PriorAtGivesMatchOrLastSmallerKey) {
  struct { const char* Keys; int Key; int Prior; } cases[] = {
      {"", 0, -1},         {"10 20 30", 5, -1},  {"10 20 30", 10, 0}, {"10 20 30", 15, 0},
      {"10 20 30", 35, 2}, {"1 2 2 2 3", 0, -1}, {"1 2 2 2 3", 9, 4},
      {"-2000000000 2000000000", 2000000000, 1}, {"-2000000000 2000000000", 0, 0},  // no overflow
  };
  for (const auto& c : cases) {
    TSortedList list(true);
    for (int k : Ints(c.Keys)) list.Add(new TCountedRange(k, k));
    EXPECT_EQ(list.PriorAt(c.Key), c.Prior) << "keys {" << c.Keys << "} key " << c.Key;
  }
  TSortedList dups(true);
  for (int k : {1, 2, 2, 2, 3}) dups.Add(new TCountedRange(k, k));
  EXPECT_EQ(dups.Items(dups.PriorAt(2))->GetKey(), 2);
}

TEST(TSortedList, FreesItemsOnlyWhenOwning) {
  for (bool own : {true, false}) {
    SCOPED_TRACE(own ? "owning" : "not owning");
    const int before = TCountedRange::Live;
    std::vector<std::unique_ptr<TCountedRange>> keep;
    for (int k = 0; k < 5; ++k) keep.push_back(std::make_unique<TCountedRange>(k, k));
    {
      TSortedList list(own);
      for (auto& item : keep) list.Add(own ? item.release() : item.get());
      list.Delete(0);
      EXPECT_EQ(TCountedRange::Live - before, own ? 4 : 5);
      EXPECT_THAT([&] { list.Delete(4); },
                  ThrowsMessage<EListError>(StrEq("List index out of bounds (4)")));
      EXPECT_THAT([&] { list.Items(-1); },
                  ThrowsMessage<EListError>(StrEq("List index out of bounds (-1)")));
      EXPECT_EQ(DumpKeys(list), "1 2 3 4");
      list.Clear();
      EXPECT_EQ(TCountedRange::Live - before, own ? 0 : 5);
      list.Add(own ? new TCountedRange(7, 7) : keep[0].get());
    }  // destroying the list frees what it owns
    keep.clear();
    EXPECT_EQ(TCountedRange::Live, before);
  }
}

TEST(TRangeList, RangeAtAndNextAtTreatRangesAsHalfOpen) {
  struct { const char* List; int Pos, RangeAt, NextAt; } cases[] = {
      {"", 0, -1, -1},      {"[5,10)", 4, -1, 0},   {"[5,10)", 5, 0, 0},  {"[5,10)", 9, 0, 0},
      {"[5,10)", 10, 0, -1}, {"[7,7)", 7, 0, -1},   {"[0,5) [5,8)", 4, 0, 0},
      {"[0,5) [5,8)", 5, 1, 1},  // touching ranges: the position belongs to the second
      {"[0,5) [5,8) [10,12)", -1, -1, 0}, {"[0,5) [5,8) [10,12)", 8, 1, 2},
      {"[0,5) [5,8) [10,12)", 9, 1, 2},   {"[0,5) [5,8) [10,12)", 11, 2, 2},
      {"[0,5) [5,8) [10,12)", 12, 2, -1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "{" << c.List << "} at " << c.Pos);
    TRangeList list(false);
    Fill(list, c.List);
    EXPECT_EQ(list.RangeAt(c.Pos), c.RangeAt);
    EXPECT_EQ(list.NextAt(c.Pos), c.NextAt);
  }
}

TEST(TRangeList, AddMergesOverlapsAndWithUnionSiblingsTouchingRanges) {
  struct { bool Union; const char* Adds; const char* Expected; int Result; } cases[] = {
      {false, "[0,5) [5,8)", "[0,5) [5,8)", 1},
      {true, "[0,5) [5,8)", "[0,8)", 0},
      {false, "[0,5) [3,8)", "[0,8)", 0},
      {false, "[10,20) [30,40) [5,50)", "[5,50)", 0},
      {false, "[0,2) [4,6) [8,10) [12,14) [1,9)", "[0,10) [12,14)", 0},
      {false, "[0,2) [4,6) [8,10) [12,14) [2,12)", "[0,2) [2,12) [12,14)", 1},
      {true, "[0,2) [4,6) [8,10) [12,14) [2,12)", "[0,14)", 0},
      {false, "[0,5) [10,15) [3,10)", "[0,10) [10,15)", 0},
      {true, "[0,5) [10,15) [3,10)", "[0,15)", 0},
      {false, "[5,8) [0,5)", "[0,5) [5,8)", 0},
      {true, "[5,8) [0,5)", "[0,8)", 0},
      {false, "[0,2) [10,12) [5,6)", "[0,2) [5,6) [10,12)", 1},
      {false, "[0,10) [2,3)", "[0,10)", 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.Adds << (c.Union ? " union" : ""));
    const int before = TCountedRange::Live;
    {
      TRangeList list(c.Union);
      int result = -1;
      for (auto [s, e] : Parse(c.Adds)) result = list.Add(R(s, e));
      EXPECT_EQ(DumpRanges(list), c.Expected);
      EXPECT_EQ(result, c.Result);
      EXPECT_EQ(TCountedRange::Live - before, list.Count());  // merged objects were freed
    }
    EXPECT_EQ(TCountedRange::Live, before);
  }
}

TEST(TRangeList, TryAddTakesRangeOnlyWhereNothingOverlaps) {
  struct { const char* List; int Start, End; bool Taken; const char* Expected; } cases[] = {
      {"", 3, 4, true, "[3,4)"},
      {"[0,5)", 5, 8, true, "[0,5) [5,8)"},
      {"[0,5)", 3, 8, false, "[0,5)"},
      {"[0,1) [5,8)", 2, 4, true, "[0,1) [2,4) [5,8)"},
      {"[0,2) [5,8)", 2, 5, true, "[0,2) [2,5) [5,8)"},
      {"[0,2) [5,8)", 1, 3, false, "[0,2) [5,8)"},
      {"[0,2) [5,8)", 3, 6, false, "[0,2) [5,8)"},
      {"[5,8)", 0, 5, true, "[0,5) [5,8)"},
      {"[5,8)", 0, 6, false, "[5,8)"},
      {"[0,5) [10,20)", 12, 14, false, "[0,5) [10,20)"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "{" << c.List << "} + [" << c.Start << "," << c.End << ")");
    TRangeList list(false);
    Fill(list, c.List);
    std::unique_ptr<TRange> range = R(c.Start, c.End);
    TRange* raw = range.get();
    EXPECT_EQ(list.TryAdd(range), c.Taken);
    EXPECT_EQ(range.get(), c.Taken ? nullptr : raw);  // a rejected range stays with the caller
    EXPECT_EQ(DumpRanges(list), c.Expected);
  }
}

TEST(TRangeList, RangeAtAnswersFromTheHintAndMovesItForward) {
  TRangeList list(false);
  EXPECT_EQ(list.RangeAt(0), -1);
  EXPECT_EQ(list.LastIndex(), -1);
  Fill(list, "[0,5) [5,8) [8,10) [10,12)");
  // The hint answers its own range and the next one (moving onto it); the last range is
  // answered from the hint too; anything else bisects and stores the result.
  struct { int Pos, Index, LastIndex; } steps[] = {
      {3, 0, 0},   {0, 0, 0},    {6, 1, 1},  {9, 2, 2}, {11, 3, 3}, {12, 3, 3},
      {20, 3, 3},  {-1, -1, -1}, {4, 0, 0},  {8, 2, 2}, {7, 1, 1},  {10, 3, 3},
  };
  for (const auto& s : steps) {
    SCOPED_TRACE(testing::Message() << "pos " << s.Pos);
    EXPECT_EQ(list.RangeAt(s.Pos), s.Index);
    EXPECT_EQ(list.LastIndex(), s.LastIndex);
  }
}

TEST(TRangeList, RangeAtForwardWalkOverTenThousandTokens) {
  TRangeList list(false);
  std::vector<int> starts;
  for (int i = 0, pos = 5; i < 10000; ++i) {
    pos += i % 7 == 0 ? 2 : 0;  // a gap now and then
    starts.push_back(pos);
    list.Add(R(pos, pos + 1 + i % 4));
    pos += 1 + i % 4;
  }
  for (int pos = -2; pos < list.Items(list.Count() - 1)->EndPos + 3; ++pos) {
    const auto after = std::upper_bound(starts.begin(), starts.end(), pos);
    ASSERT_EQ(list.RangeAt(pos), int(after - starts.begin()) - 1) << "pos " << pos;
  }
}

TEST(TRangeList, StaleLastIndexAfterEditsIsSafe) {
  const std::pair<const char*, void (*)(TRangeList&)> edits[] = {
      {"delete first", [](TRangeList& l) { l.Delete(0); }},
      {"delete last", [](TRangeList& l) { l.Delete(l.Count() - 1); }},
      {"delete middle", [](TRangeList& l) { l.Delete(3); }},
      {"merge", [](TRangeList& l) { l.MergeWithNext(2); }},
      {"clear from pos", [](TRangeList& l) { l.ClearFromPos(10, nullptr); }},
      {"clear", [](TRangeList& l) { l.Clear(); }},
      {"clear and refill", [](TRangeList& l) { l.Clear(); Fill(l, "[0,1) [1,2) [30,31)"); }},
  };
  for (const auto& [name, edit] : edits)
    for (int hint = 0; hint < 8; ++hint)
      for (int pos = -1; pos < 27; ++pos) {
        SCOPED_TRACE(testing::Message() << name << ", hint " << hint << ", pos " << pos);
        TRangeList list(false);
        Fill(list, "[0,2) [3,5) [6,8) [9,11) [12,14) [15,17) [18,20) [21,23)");
        list.RangeAt(-1);
        list.RangeAt(list.Items(hint)->StartPos);
        ASSERT_EQ(list.LastIndex(), hint);
        edit(list);
        int slow = -1;  // the last range starting at or before pos, the slow way
        for (int i = 0; i < list.Count(); ++i) slow = list.Items(i)->StartPos <= pos ? i : slow;
        ASSERT_EQ(list.RangeAt(pos), slow);
      }
}

TEST(TRangeList, BadIndexRaisesListErrorAndChangesNothing) {
  TRangeList list(false);
  Fill(list, "[0,5) [6,8)");
  auto listError = [](const char* text) { return ThrowsMessage<EListError>(StrEq(text)); };
  EXPECT_THAT([&] { list.Items(2); }, listError("List index out of bounds (2)"));
  EXPECT_THAT([&] { list.Delete(-1); }, listError("List index out of bounds (-1)"));
  EXPECT_THAT([&] { list.MergeWithNext(1); }, listError("List index out of bounds (2)"));
  EXPECT_EQ(DumpRanges(list), "[0,5) [6,8)");
  TRangeCollection empty;
  EXPECT_THAT([&] { empty.Layers(0); }, listError("List index out of bounds (0)"));
}

TEST(TRangeList, ClearFromPosRemovesTailAndMovesItIntoCopyTo) {
  struct { int Pos, Result; const char* Kept; const char* Moved; } cases[] = {
      {6, 5, "[0,5)", "[5,8) [10,12)"},       {5, 5, "[0,5)", "[5,8) [10,12)"},
      {9, 9, "[0,5) [5,8)", "[10,12)"},       {4, 0, "", "[0,5) [5,8) [10,12)"},
      {-5, -5, "", "[0,5) [5,8) [10,12)"},
      {12, 12, "[0,5) [5,8) [10,12)", nullptr},  // nothing removed: copyTo untouched too
  };
  for (const auto& c : cases)
    for (bool copy : {false, true}) {
      SCOPED_TRACE(testing::Message() << "from " << c.Pos << (copy ? " with copy" : ""));
      const int before = TCountedRange::Live;
      {
        TRangeList list(false), copyTo(true);  // copyTo would merge touching ranges on Add
        Fill(list, "[0,5) [5,8) [10,12)");
        Fill(copyTo, "[50,60)");
        std::vector<TRange*> tail;
        for (int i = std::max(list.NextAt(c.Pos), 0); c.Moved && i < list.Count(); ++i)
          tail.push_back(list.Items(i));
        EXPECT_EQ(list.ClearFromPos(c.Pos, copy ? &copyTo : nullptr), c.Result);
        EXPECT_EQ(DumpRanges(list), c.Kept);
        if (copy) {
          EXPECT_EQ(DumpRanges(copyTo), c.Moved ? c.Moved : "[50,60)");
          for (size_t i = 0; c.Moved && i < tail.size(); ++i)
            EXPECT_EQ(copyTo.Items(int(i)), tail[i]);  // the same objects, not copies
        }
        EXPECT_EQ(TCountedRange::Live - before, list.Count() + copyTo.Count());
      }
      EXPECT_EQ(TCountedRange::Live, before);
    }
  TRangeList empty(false);
  EXPECT_EQ(empty.ClearFromPos(3, nullptr), 3);
}

TEST(TRangeCollection, AddPlacesRangeInFirstLayerThatTakesIt) {
  const int before = TCountedRange::Live;
  TRangeCollection collection;
  for (auto [s, e] : Parse("[0,10) [2,4) [3,5) [4,6) [12,14) [1,2)")) collection.Add(R(s, e));
  EXPECT_EQ(DumpLayers(collection), "{[0,10) [12,14)} {[1,2) [2,4) [4,6)} {[3,5)}");
  collection.Clear();
  EXPECT_EQ(collection.LayerCount(), 0);
  EXPECT_EQ(TCountedRange::Live, before);
}

TEST(TRangeCollection, GetRangesAtPosAppendsCoveringRangesAndGivesNextChange) {
  struct { int Pos; const char* Ranges; int Next; } cases[] = {
      {3, "[99,99) [0,10) [2,4)", 4}, {5, "[99,99) [0,10)", 10}, {12, "[99,99)", -1},
      {-1, "[99,99)", 0},             {1, "[99,99) [0,10)", 2},  {4, "[99,99) [0,10)", 10},
  };
  TRangeCollection collection;
  collection.Add(R(0, 10));
  collection.Add(R(2, 4));
  TRange sentinel(99, 99);
  for (const auto& c : cases) {
    std::vector<TRange*> list{&sentinel};
    EXPECT_EQ(collection.GetRangesAtPos(list, c.Pos), c.Next) << "pos " << c.Pos;
    EXPECT_EQ(DumpRanges(list), c.Ranges) << "pos " << c.Pos;
  }
}

TEST(TRangeCollection, GetRangesAtPosMatchesBruteForceOnRandomRanges) {
  const unsigned seed = 20240611;
  SCOPED_TRACE(testing::Message() << "seed " << seed);
  std::mt19937 rng(seed);
  auto byPos = [](const TRange* a, const TRange* b) {
    return std::pair(a->StartPos, a->EndPos) < std::pair(b->StartPos, b->EndPos);
  };
  for (int round = 0; round < 200; ++round) {
    TRangeCollection collection;
    std::vector<TRange*> all;  // TryAdd and Add on an empty layer never merge: pointers hold
    for (int i = 0, n = int(rng() % 25); i < n; ++i) {
      const int s = int(rng() % 60), len = 1 + int(rng() % 15);
      auto range = R(s, s + len);
      all.push_back(range.get());
      collection.Add(std::move(range));
    }
    for (int pos = -2; pos < 80; ++pos) {
      std::vector<TRange*> got, want;
      int next = -1;
      for (TRange* r : all) {
        if (r->Contains(pos)) want.push_back(r);
        const int change = r->Contains(pos) ? r->EndPos : r->StartPos > pos ? r->StartPos : -1;
        if (change != -1 && (next == -1 || change < next)) next = change;
      }
      SCOPED_TRACE(testing::Message() << "round " << round << " pos " << pos << ": "
                                      << DumpLayers(collection));
      ASSERT_EQ(collection.GetRangesAtPos(got, pos), next);
      std::sort(got.begin(), got.end(), byPos);
      std::sort(want.begin(), want.end(), byPos);
      ASSERT_EQ(DumpRanges(got), DumpRanges(want));
    }
  }
}

}  // namespace
}  // namespace qv
