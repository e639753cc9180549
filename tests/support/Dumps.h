// Structures as short strings for test comparisons: a failing EXPECT_EQ then shows the whole
// shape at once. Test-only; each dump names its format in its comment.
#pragma once

#include <string>
#include <vector>

#include "syntax/qvLists.h"

namespace qv::test {

// "[0,5) [5,8)": each range half-open, separated by one space; "" when empty.
inline std::string DumpRanges(const std::vector<TRange*>& ranges) {
  std::string s;
  for (const TRange* r : ranges) {
    if (!s.empty()) s += ' ';
    s += '[' + std::to_string(r->StartPos) + ',' + std::to_string(r->EndPos) + ')';
  }
  return s;
}

inline std::string DumpRanges(const TRangeList& list) {
  std::vector<TRange*> ranges;
  for (int i = 0; i < list.Count(); ++i) ranges.push_back(list.Items(i));
  return DumpRanges(ranges);
}

// "{[0,10)} {[2,4) [4,6)}": one brace group per layer, in layer order.
inline std::string DumpLayers(const TRangeCollection& collection) {
  std::string s;
  for (int i = 0; i < collection.LayerCount(); ++i) {
    if (i > 0) s += ' ';
    s += '{' + DumpRanges(*collection.Layers(i)) + '}';
  }
  return s;
}

// "1 2 2 3": the keys of a sorted list in index order.
inline std::string DumpKeys(const TSortedList& list) {
  std::string s;
  for (int i = 0; i < list.Count(); ++i) {
    if (i > 0) s += ' ';
    s += std::to_string(list.Items(i)->GetKey());
  }
  return s;
}

}  // namespace qv::test
