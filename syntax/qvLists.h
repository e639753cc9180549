// The containers all analysis results live in: keyed items kept in key order, character
// ranges, an ordered list of non-overlapping ranges with a cached position search, a layered
// set of range lists whose layers may overlap each other, and the one binary search they and
// the line store share. Positions are 0-based character offsets with exclusive ends.
#pragma once

#include <functional>
#include <memory>
#include <vector>

namespace qv {

// Bisection over `count` items. compare(i, key) is negative when item i lies before the key,
// 0 when it matches, positive when it lies after. True with index = the first matching item
// the bisection meets (with equal keys not necessarily the first or last of them). False with
// index = the last item lying before the key, -1 when none does (also for an empty list).
template <class TCompare>
bool QuickSearch(int count, const TCompare& compare, int key, int& index) {
  if (count <= 0) {
    index = -1;
    return false;
  }
  int lo = 0, hi = count - 1;
  while (lo <= hi) {
    const int mid = static_cast<int>((static_cast<unsigned>(lo) + static_cast<unsigned>(hi)) >> 1);
    const int c = compare(mid, key);
    if (c < 0) {
      lo = mid + 1;
    } else if (c == 0) {
      index = mid;
      return true;
    } else {
      hi = mid - 1;
    }
  }
  index = lo >= count ? count - 1 : lo;
  if (index >= 0 && compare(index, key) > 0) --index;
  return false;
}

// An item ordered by an integer key. GetKey raises EAbstractError ("Abstract Error") unless a
// descendant overrides it.
class TSortedItem {
public:
  TSortedItem() = default;
  virtual ~TSortedItem() = default;
  TSortedItem(const TSortedItem&) = delete;
  TSortedItem& operator=(const TSortedItem&) = delete;
  virtual int GetKey() const;
};

// Characters StartPos .. EndPos - 1. Nothing checks that StartPos <= EndPos.
class TRange : public TSortedItem {
public:
  TRange(int startPos, int endPos) : StartPos(startPos), EndPos(endPos) {}
  int GetKey() const override { return StartPos; }
  bool Contains(int pos) const { return StartPos <= pos && pos < EndPos; }

  int StartPos;
  int EndPos;
};

// Items in non-decreasing key order. Ownership is fixed at construction: an owning list frees
// an item when it is deleted, when the list is cleared and when the list is destroyed (the
// freeing lives in Delete and Clear only; the destructor clears); a non-owning list only
// refers to its items.
class TSortedList {
public:
  explicit TSortedList(bool ownObjects);
  ~TSortedList();
  TSortedList(const TSortedList&) = delete;
  TSortedList& operator=(const TSortedList&) = delete;

  bool OwnObjects() const { return FOwnObjects; }
  int Count() const { return static_cast<int>(FItems.size()); }
  // Raises EListError "List index out of bounds (%d)" for a bad index.
  TSortedItem* Items(int index) const;
  // Inserts keeping key order (after equal keys at the end; O(1) when appending in order);
  // returns the item's index. An owning list takes the item over.
  int Add(TSortedItem* item);
  void Delete(int index);
  void Clear();
  // Index of the item with that key or of the last item with a smaller key; -1 when none.
  int PriorAt(int key) const;
  // Puts item at index (0..Count), whatever its key: for putting back an item where Delete
  // took it from, which keeps the order.
  void InsertAt(int index, TSortedItem* item);
  // Takes out the items from index from on that take selects, without freeing them, and
  // appends them to taken in list order; the others keep their order. One pass.
  void ExtractIf(int from, const std::function<bool(const TSortedItem*)>& take,
                 std::vector<TSortedItem*>& taken);

private:
  std::vector<TSortedItem*> FItems;
  bool FOwnObjects;
};

// Ranges in ascending StartPos order that do not overlap. Owns its ranges.
class TRangeList {
public:
  // unionSiblings: ranges that only touch (an end equal to the next start) merge on Add.
  explicit TRangeList(bool unionSiblings);
  virtual ~TRangeList();
  TRangeList(const TRangeList&) = delete;
  TRangeList& operator=(const TRangeList&) = delete;

  bool UnionSiblings() const { return FUnionSiblings; }
  int LastIndex() const { return FLastIndex; }
  int Count() const { return static_cast<int>(FItems.size()); }
  // Borrowed; valid until the list changes. Raises EListError for a bad index.
  TRange* Items(int index) const;
  void Delete(int index);

  // Index of the last range with StartPos <= pos, or -1. Tries the last found index and its
  // two successors first (O(1) a step in a forward walk), else bisects and remembers.
  int RangeAt(int pos) const;
  // Index of the range containing pos, else of the first range after pos, else -1.
  int NextAt(int pos) const;

  // Inserts range only where it overlaps nothing (touching is fine) and takes it over; on
  // false the caller keeps it and nothing changed.
  bool TryAdd(std::unique_ptr<TRange>& range);
  // Inserts range and merges it with overlapping (with UnionSiblings also touching)
  // neighbours; returns the index of the range that now covers it. The added object may be
  // merged away and freed.
  virtual int Add(std::unique_ptr<TRange> range);
  // Merges range index + 1 into range index (extending its end) and frees it; returns index.
  virtual int MergeWithNext(int index);
  virtual void Clear();
  // Removes every range from the one at or after pos to the end, moving them into copyTo
  // when given (which is cleared first). Returns the position from which ranges went: the
  // StartPos of a range containing pos, else pos.
  virtual int ClearFromPos(int pos, TRangeList* copyTo);

protected:
  // Takes the range out of slot index without freeing it; the slot goes too.
  std::unique_ptr<TRange> Extract(int index);

private:
  bool Touches(int endPos, int startPos) const {
    return FUnionSiblings ? endPos >= startPos : endPos > startPos;
  }
  void CheckIndex(int index) const;

  std::vector<std::unique_ptr<TRange>> FItems;
  bool FUnionSiblings;
  mutable int FLastIndex = 0;  // search hint; trusted only after bounds checks
};

// Layers of range lists (UnionSiblings false each): a range goes to the first layer where it
// overlaps nothing, so ranges of different layers may overlap. Owns layers and ranges.
class TRangeCollection {
public:
  TRangeCollection() = default;
  TRangeCollection(const TRangeCollection&) = delete;
  TRangeCollection& operator=(const TRangeCollection&) = delete;

  int LayerCount() const { return static_cast<int>(FLayers.size()); }
  TRangeList* Layers(int index) const;
  void Add(std::unique_ptr<TRange> range);
  void Clear();
  // Appends every range containing pos to list (layer order) and returns the nearest
  // position after pos where the covering set can change, or -1 when no layer has a range
  // at or after pos.
  int GetRangesAtPos(std::vector<TRange*>& list, int pos) const;

private:
  std::vector<std::unique_ptr<TRangeList>> FLayers;
};

}  // namespace qv
