// Sorted lists and ranges: the keyed list, the ordered list of disjoint ranges with its
// hinted position search and merging insertion, and the layered range collection that the
// display-range builder fills. Everything here is single-threaded and notifies nobody.
#include "syntax/qvLists.h"

#include <algorithm>

#include <cassert>
#include <utility>

#include "framework/Classes.h"
#include "framework/SysUtils.h"

namespace qv {

namespace {

[[noreturn]] void ListIndexError(int index) {
  throw EListError(Format(SListIndexError, index));
}

// Sign of a - b. Keys are character offsets, so plain subtraction would do, but this stays
// defined (and ordered) for any pair of 32-bit keys.
int CompareKeys(int a, int b) { return (a > b) - (a < b); }

}  // namespace

int TSortedItem::GetKey() const { throw EAbstractError(SAbstractError); }

// ---------------------------------------------------------------------------------------
// TSortedList

TSortedList::TSortedList(bool ownObjects) : FOwnObjects(ownObjects) {}

TSortedList::~TSortedList() { Clear(); }

TSortedItem* TSortedList::Items(int index) const {
  if (index < 0 || index >= Count()) ListIndexError(index);
  return FItems[static_cast<size_t>(index)];
}

int TSortedList::PriorAt(int key) const {
  int index;
  QuickSearch(
      Count(),
      [this](int i, int k) { return CompareKeys(FItems[static_cast<size_t>(i)]->GetKey(), k); },
      key, index);
  return index;
}

int TSortedList::Add(TSortedItem* item) {
  assert(item);
  const int key = item->GetKey();
  // Appending in key order is the common case and needs no search. Equal keys at the end
  // keep insertion order; equal keys inside the list go after whichever one bisection met.
  if (FItems.empty() || FItems.back()->GetKey() <= key) {
    FItems.push_back(item);
    return Count() - 1;
  }
  const int index = PriorAt(key) + 1;
  FItems.insert(FItems.begin() + index, item);
  return index;
}

void TSortedList::Delete(int index) {
  TSortedItem* item = Items(index);  // checks the index before anything changes
  FItems.erase(FItems.begin() + index);
  if (FOwnObjects) delete item;
}

void TSortedList::InsertAt(int index, TSortedItem* item) {
  assert(item);
  if (index < 0 || index > Count()) ListIndexError(index);
  FItems.insert(FItems.begin() + index, item);
}

void TSortedList::ExtractIf(int from, const std::function<bool(const TSortedItem*)>& take,
                            std::vector<TSortedItem*>& taken) {
  size_t out = static_cast<size_t>(std::clamp(from, 0, Count()));
  for (size_t i = out; i < FItems.size(); ++i) {
    if (take(FItems[i]))
      taken.push_back(FItems[i]);
    else
      FItems[out++] = FItems[i];
  }
  FItems.resize(out);
}

void TSortedList::Clear() {
  // Take the items out first so that a destructor reaching back into this list finds it
  // already empty rather than half-freed.
  std::vector<TSortedItem*> items;
  items.swap(FItems);
  if (FOwnObjects)
    for (TSortedItem* item : items) delete item;
}

// ---------------------------------------------------------------------------------------
// TRangeList

namespace {

// Position search over disjoint ranges: a range lies before pos when it ends at or before
// it, after pos when it starts beyond it, and matches when it contains pos. StartPos is
// tested first, so an empty range [p,p) lies before p, not after it.
struct TRangeCompare {
  const std::vector<std::unique_ptr<TRange>>& Items;
  int operator()(int i, int pos) const {
    const TRange& r = *Items[static_cast<size_t>(i)];
    if (r.StartPos > pos) return 1;
    if (pos >= r.EndPos) return -1;
    return 0;
  }
};

}  // namespace

TRangeList::TRangeList(bool unionSiblings) : FUnionSiblings(unionSiblings) {}

TRangeList::~TRangeList() = default;

void TRangeList::CheckIndex(int index) const {
  if (index < 0 || index >= Count()) ListIndexError(index);
}

TRange* TRangeList::Items(int index) const {
  CheckIndex(index);
  return FItems[static_cast<size_t>(index)].get();
}

void TRangeList::Delete(int index) {
  CheckIndex(index);
  FItems.erase(FItems.begin() + index);
}

std::unique_ptr<TRange> TRangeList::Extract(int index) {
  CheckIndex(index);
  std::unique_ptr<TRange> range = std::move(FItems[static_cast<size_t>(index)]);
  FItems.erase(FItems.begin() + index);
  return range;
}

int TRangeList::RangeAt(int pos) const {
  // A forward walk over tokens asks for the same range or one of the next two. Answering
  // from the hint and moving it onto a successor that answered keeps every step of such a
  // walk O(1); without the move, every second token would pay a bisection. The hint may be
  // stale after edits: it is used only inside the list and only once the StartPos checks
  // confirm it, so every answer equals the bisection's.
  const int last = FLastIndex;
  const int count = Count();
  if (last >= 0 && last < count && pos >= FItems[static_cast<size_t>(last)]->StartPos) {
    if (last == count - 1 || pos < FItems[static_cast<size_t>(last) + 1]->StartPos) return last;
    if (last == count - 2 || pos < FItems[static_cast<size_t>(last) + 2]->StartPos) {
      FLastIndex = last + 1;
      return last + 1;
    }
  }
  int index;
  QuickSearch(count, TRangeCompare{FItems}, pos, index);
  FLastIndex = index;  // -1 too: the next call then goes straight to the bisection
  return index;
}

int TRangeList::NextAt(int pos) const {
  const int b = RangeAt(pos);
  if (b == -1) return FItems.empty() ? -1 : 0;
  if (pos < FItems[static_cast<size_t>(b)]->EndPos) return b;
  return b < Count() - 1 ? b + 1 : -1;
}

bool TRangeList::TryAdd(std::unique_ptr<TRange>& range) {
  assert(range);
  const int start = range->StartPos;
  if (FItems.empty() || start >= FItems.back()->EndPos) {
    FItems.push_back(std::move(range));
    return true;
  }
  if (start >= FItems.back()->StartPos) return false;  // starts inside the last range
  const int b = NextAt(start);
  if (b == -1) {
    FItems.push_back(std::move(range));
    return true;
  }
  if (FItems[static_cast<size_t>(b)]->StartPos < range->EndPos) return false;
  if (b > 0 && FItems[static_cast<size_t>(b) - 1]->EndPos > start) return false;
  FItems.insert(FItems.begin() + b, std::move(range));
  return true;
}

int TRangeList::Add(std::unique_ptr<TRange> range) {
  assert(range);
  // Tokens arrive in position order: a range starting beyond the last end is appended
  // without a search. The test is strict, so a range starting exactly at the last end
  // takes the merging path (where UnionSiblings decides whether the two join).
  if (FItems.empty() || FItems.back()->EndPos < range->StartPos) {
    FItems.push_back(std::move(range));
    return Count() - 1;
  }
  const int start = range->StartPos;
  const int prior = RangeAt(start);
  int result = prior + 1;
  FItems.insert(FItems.begin() + result, std::move(range));
  if (prior != -1 && Touches(FItems[static_cast<size_t>(prior)]->EndPos, start))
    result = MergeWithNext(prior);
  // The grown range may now reach over any number of followers; swallow them one by one.
  while (result + 1 < Count() &&
         Touches(FItems[static_cast<size_t>(result)]->EndPos,
                 FItems[static_cast<size_t>(result) + 1]->StartPos))
    result = MergeWithNext(result);
  return result;
}

int TRangeList::MergeWithNext(int index) {
  CheckIndex(index);
  CheckIndex(index + 1);
  TRange& kept = *FItems[static_cast<size_t>(index)];
  const TRange& next = *FItems[static_cast<size_t>(index) + 1];
  if (next.EndPos > kept.EndPos) kept.EndPos = next.EndPos;
  FItems.erase(FItems.begin() + index + 1);
  return index;
}

void TRangeList::Clear() {
  // The hint stays as it is; RangeAt bounds-checks it before trusting it.
  std::vector<std::unique_ptr<TRange>> items;
  items.swap(FItems);
}

int TRangeList::ClearFromPos(int pos, TRangeList* copyTo) {
  assert(copyTo != this);
  const int first = NextAt(pos);
  if (first == -1) return pos;
  const int startPos = FItems[static_cast<size_t>(first)]->StartPos;
  const int result = startPos < pos ? startPos : pos;
  if (copyTo) {
    copyTo->Clear();
    copyTo->FItems.reserve(FItems.size() - static_cast<size_t>(first));
    // Plain appends, not Add: the tail is already ordered and must arrive unmerged.
    for (size_t i = static_cast<size_t>(first); i < FItems.size(); ++i)
      copyTo->FItems.push_back(std::move(FItems[i]));
  }
  FItems.erase(FItems.begin() + first, FItems.end());  // frees what was not moved
  return result;
}

// ---------------------------------------------------------------------------------------
// TRangeCollection

TRangeList* TRangeCollection::Layers(int index) const {
  if (index < 0 || index >= LayerCount()) ListIndexError(index);
  return FLayers[static_cast<size_t>(index)].get();
}

void TRangeCollection::Add(std::unique_ptr<TRange> range) {
  assert(range);
  for (const auto& layer : FLayers)
    if (layer->TryAdd(range)) return;
  auto layer = std::make_unique<TRangeList>(false);
  layer->Add(std::move(range));
  FLayers.push_back(std::move(layer));
}

void TRangeCollection::Clear() { FLayers.clear(); }

int TRangeCollection::GetRangesAtPos(std::vector<TRange*>& list, int pos) const {
  int result = -1;
  for (const auto& layer : FLayers) {
    const int b = layer->NextAt(pos);
    if (b == -1) continue;
    TRange* range = layer->Items(b);
    int candidate;
    if (range->StartPos <= pos) {  // NextAt found the range containing pos
      list.push_back(range);
      candidate = range->EndPos;
    } else {
      candidate = range->StartPos;
    }
    if (result == -1 || candidate < result) result = candidate;
  }
  return result;
}

}  // namespace qv
