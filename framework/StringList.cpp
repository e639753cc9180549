// The 8-bit string lists: TStrings, whose defaults are written against the abstract
// Get/Put/Insert/Delete so that a descendant only has to store strings, and TStringList,
// the vector-backed list with sorting, a duplicates rule and change events.
#include "framework/Classes.h"

#include <algorithm>
#include <cassert>
#include <numeric>

#include "framework/Filer.h"
#include "framework/Streams.h"
#include "framework/SysUtils.h"

namespace qv {

// ---------------------------------------------------------------------------------------
// TStrings

void TStrings::DefineProperties(TFiler& filer) {
  filer.DefineProperty(
      "Strings",
      [this](TReader& reader) {
        std::vector<std::string> lines;
        reader.ReadListBegin();
        while (!reader.EndOfList()) lines.push_back(reader.ReadString());
        reader.ReadListEnd();
        WithinUpdate(*this, [&] {
          Clear();
          for (const std::string& line : lines) Add(line);
        });
      },
      [this](TWriter& writer) {
        writer.WriteListBegin();
        for (int i = 0; i < Count(); ++i) writer.WriteString(Get(i));
        writer.WriteListEnd();
      },
      Count() > 0);
}

TObject* TStrings::GetObject(int /*index*/) const { return nullptr; }

int TStrings::Add(const std::string& s) {
  const int index = Count();
  Insert(index, s);
  return index;
}

int TStrings::AddObject(const std::string& s, TObject* obj) {
  const int index = Add(s);
  PutObject(index, obj);
  return index;
}

void TStrings::AddStrings(const TStrings& strings) {
  // The count is taken once, so adding a list to itself doubles it instead of looping.
  const int count = strings.Count();
  WithinUpdate(*this, [&] {
    for (int i = 0; i < count; ++i) AddObject(strings.Get(i), strings.GetObject(i));
  });
}

void TStrings::InsertObject(int index, const std::string& s, TObject* obj) {
  Insert(index, s);
  PutObject(index, obj);
}

void TStrings::Exchange(int index1, int index2) {
  // Everything is read before the first write, so a bad index changes nothing.
  const std::string s1 = Get(index1);
  TObject* const obj1 = GetObject(index1);
  const std::string s2 = Get(index2);
  TObject* const obj2 = GetObject(index2);
  WithinUpdate(*this, [&] {
    Put(index1, s2);
    PutObject(index1, obj2);
    Put(index2, s1);
    PutObject(index2, obj1);
  });
}

void TStrings::Move(int curIndex, int newIndex) {
  const std::string s = Get(curIndex);  // raises for a bad curIndex
  if (curIndex == newIndex) return;
  if (newIndex < 0 || newIndex >= Count()) Error(SListIndexError, newIndex);
  TObject* const obj = GetObject(curIndex);
  // The copy is inserted before the original is deleted: a list that refuses the
  // insertion (a sorted one) then raises with all its items still in place.
  WithinUpdate(*this, [&] {
    if (curIndex < newIndex) {
      InsertObject(newIndex + 1, s, obj);
      Delete(curIndex);
    } else {
      InsertObject(newIndex, s, obj);
      Delete(curIndex + 1);
    }
  });
}

void TStrings::Put(int index, const std::string& s) {
  TObject* const obj = GetObject(index);
  Delete(index);
  InsertObject(index, s, obj);
}

void TStrings::PutObject(int /*index*/, TObject* /*obj*/) {}

int TStrings::IndexOf(std::string_view s) const {
  const int count = Count();
  for (int i = 0; i < count; ++i)
    if (CompareStrings(Get(i), s) == 0) return i;
  return -1;
}

int TStrings::IndexOfName(std::string_view name) const {
  const int count = Count();
  for (int i = 0; i < count; ++i) {
    const std::string s = Get(i);
    const size_t eq = s.find('=');
    if (eq != std::string::npos && CompareStrings(std::string_view(s).substr(0, eq), name) == 0)
      return i;
  }
  return -1;
}

int TStrings::IndexOfObject(const TObject* obj) const {
  const int count = Count();
  for (int i = 0; i < count; ++i)
    if (GetObject(i) == obj) return i;
  return -1;
}

std::string TStrings::Names(int index) const {
  std::string s = Get(index);
  const size_t eq = s.find('=');
  s.resize(eq == std::string::npos ? 0 : eq);  // a line without "=" has no name
  return s;
}

std::string TStrings::Values(std::string_view name) const {
  const int index = IndexOfName(name);
  if (index < 0) return {};
  // The value starts after the "=" of the stored line: a locale comparison may call names
  // of different lengths equal, so the length of `name` is no guide.
  const std::string s = Get(index);
  return s.substr(s.find('=') + 1);
}

void TStrings::SetValues(std::string_view name, const std::string& value) {
  const int index = IndexOfName(name);
  if (value.empty()) {
    if (index >= 0) Delete(index);
    return;
  }
  std::string line;
  line.reserve(name.size() + 1 + value.size());
  line.append(name).append(1, '=').append(value);
  // A new entry goes through Add, so a sorted list puts it in its place.
  if (index < 0)
    Add(line);
  else
    Put(index, line);
}

std::string TStrings::Text() const {
  std::string result;
  const int count = Count();
  for (int i = 0; i < count; ++i) result.append(Get(i)).append("\r\n");
  return result;
}

void TStrings::SetText(std::string_view text) {
  WithinUpdate(*this, [&] {
    Clear();
    // A NUL byte is ordinary content here; lines end only at CR LF, LF or CR.
    size_t pos = 0;
    while (pos < text.size()) {
      const size_t start = pos;
      while (pos < text.size() && text[pos] != '\r' && text[pos] != '\n') ++pos;
      Add(std::string(text.substr(start, pos - start)));
      if (pos < text.size() && text[pos] == '\r') ++pos;
      if (pos < text.size() && text[pos] == '\n') ++pos;
    }
  });
}

bool TStrings::Equals(const TStrings& other) const {
  const int count = Count();
  if (count != other.Count()) return false;
  for (int i = 0; i < count; ++i)
    if (Get(i) != other.Get(i)) return false;
  return true;
}

void TStrings::BeginUpdate() {
  // SetUpdateState runs before the count rises, so a TStringList still sees count 0 there
  // and fires its OnChanging for the bracket.
  if (FUpdateCount == 0) SetUpdateState(true);
  ++FUpdateCount;
}

void TStrings::EndUpdate() {
  if (FUpdateCount == 0) return;  // unbalanced call; going negative would mute the events
  --FUpdateCount;
  if (FUpdateCount == 0) SetUpdateState(false);
}

void TStrings::Assign(const TPersistent* source) {
  const auto* strings = dynamic_cast<const TStrings*>(source);
  if (!strings) {
    TPersistent::Assign(source);
    return;
  }
  if (strings == this) return;  // Clear would otherwise empty the source too
  WithinUpdate(*this, [&] {
    Clear();
    AddStrings(*strings);
  });
}

void TStrings::LoadFromStream(TStream& stream) {
  const int64_t remaining = stream.Size() - stream.Position();
  std::string text(static_cast<size_t>(std::max<int64_t>(remaining, 0)), '\0');
  text.resize(static_cast<size_t>(stream.Read(text.data(), static_cast<int64_t>(text.size()))));
  SetText(text);
}

void TStrings::SaveToStream(TStream& stream) const {
  const std::string text = Text();
  stream.WriteBuffer(text.data(), static_cast<int64_t>(text.size()));
}

void TStrings::LoadFromFile(const std::string& fileName) {
  TFileStream stream(fileName, fmOpenRead);
  LoadFromStream(stream);
}

void TStrings::SaveToFile(const std::string& fileName) const {
  TFileStream stream(fileName, fmCreate);
  SaveToStream(stream);
}

int TStrings::CompareStrings(std::string_view s1, std::string_view s2) const {
  return AnsiCompareText(s1, s2);
}

void TStrings::SetUpdateState(bool /*updating*/) {}

void TStrings::Error(const char* message, int data) const {
  throw EStringListError(Format(message, data));
}

// ---------------------------------------------------------------------------------------
// TStringList

TStringList::~TStringList() {
  // A list being destroyed tells nobody about it.
  OnChange = nullptr;
  OnChanging = nullptr;
}

std::string TStringList::Get(int index) const {
  CheckIndex(index);
  return FList[index].S;
}

TObject* TStringList::GetObject(int index) const {
  CheckIndex(index);
  return FList[index].Obj;
}

int TStringList::Add(const std::string& s) { return AddObject(s, nullptr); }

int TStringList::AddObject(const std::string& s, TObject* obj) {
  int index = Count();
  if (FSorted && Find(s, index)) {
    switch (FDuplicates) {
      case dupIgnore:
        return index;  // the list keeps the item it has; no event
      case dupError:
        throw EStringListError(SDuplicateString);
      case dupAccept:
        break;  // index is the first equal item; the new one goes before it
    }
  }
  InsertItem(index, s, obj);
  return index;
}

void TStringList::Insert(int index, const std::string& s) { InsertObject(index, s, nullptr); }

void TStringList::InsertObject(int index, const std::string& s, TObject* obj) {
  if (FSorted) throw EStringListError(SSortedListError);
  if (index < 0 || index > Count()) Error(SListIndexError, index);
  InsertItem(index, s, obj);
}

void TStringList::Delete(int index) {
  CheckIndex(index);
  Changing();
  FList.erase(FList.begin() + index);
  Changed();
}

void TStringList::Clear() {
  if (FList.empty()) return;
  Changing();
  FList.clear();
  Changed();
}

void TStringList::Exchange(int index1, int index2) {
  // Allowed on a sorted list, as on the original platform; the caller answers for the order.
  CheckIndex(index1);
  CheckIndex(index2);
  Changing();
  std::swap(FList[index1], FList[index2]);
  Changed();
}

void TStringList::Put(int index, const std::string& s) {
  if (FSorted) throw EStringListError(SSortedListError);
  CheckIndex(index);
  Changing();
  FList[index].S = s;
  Changed();
}

void TStringList::PutObject(int index, TObject* obj) {
  CheckIndex(index);
  Changing();
  FList[index].Obj = obj;
  Changed();
}

int TStringList::IndexOf(std::string_view s) const {
  if (!FSorted) return TStrings::IndexOf(s);
  int index = 0;
  return Find(s, index) ? index : -1;
}

bool TStringList::Find(std::string_view s, int& index) const {
  bool found = false;
  int low = 0;
  int high = Count() - 1;
  while (low <= high) {
    const int mid = low + (high - low) / 2;
    const int c = CompareStrings(FList[mid].S, s);
    if (c < 0) {
      low = mid + 1;
    } else {
      high = mid - 1;
      if (c == 0) {
        found = true;
        // Without duplicates the equal item is the answer; with them, go on to the left
        // until low rests on the first equal item.
        if (FDuplicates != dupAccept) low = mid;
      }
    }
  }
  index = low;
  return found;
}

void TStringList::Sort() {
  // Sorts even when Sorted is set: after a change of CaseSensitive the items must be put
  // into the new order. Stable, so equal items keep their relative order.
  if (FList.size() < 2) return;
  Changing();
  std::stable_sort(FList.begin(), FList.end(),
                   [this](const TItem& a, const TItem& b) { return CompareStrings(a.S, b.S) < 0; });
  Changed();
}

void TStringList::CustomSort(const std::function<int(const TStringList&, int, int)>& compare) {
  // A sorted list keeps the order Find relies on; a custom order would break it.
  if (FSorted || FList.size() < 2) return;
  // The comparison takes indexes into the list, so sort a permutation while the items stay
  // where they are, then rebuild the list in one go.
  std::vector<int> order(FList.size());
  std::iota(order.begin(), order.end(), 0);
  std::stable_sort(order.begin(), order.end(),
                   [&](int a, int b) { return compare(*this, a, b) < 0; });
  Changing();  // before the items are moved out, so a throwing handler leaves them intact
  std::vector<TItem> sorted;
  sorted.reserve(FList.size());
  for (int i : order) sorted.push_back(std::move(FList[i]));
  FList = std::move(sorted);
  Changed();
}

void TStringList::SetSorted(bool value) {
  if (FSorted == value) return;
  if (value) Sort();  // before the flag is set, so Sort can assume nothing about the order
  FSorted = value;
}

void TStringList::SetCaseSensitive(bool value) {
  if (FCaseSensitive == value) return;
  FCaseSensitive = value;
  if (FSorted) Sort();
}

int TStringList::CompareStrings(std::string_view s1, std::string_view s2) const {
  return FCaseSensitive ? AnsiCompareStr(s1, s2) : AnsiCompareText(s1, s2);
}

void TStringList::SetUpdateState(bool updating) {
  if (updating)
    Changing();
  else
    Changed();
}

void TStringList::Changed() {
  if (UpdateCount() == 0 && OnChange) OnChange(this);
}

void TStringList::Changing() {
  if (UpdateCount() == 0 && OnChanging) OnChanging(this);
}

void TStringList::InsertItem(int index, const std::string& s, TObject* obj) {
  assert(index >= 0 && index <= Count());
  Changing();
  FList.insert(FList.begin() + index, TItem{s, obj});
  Changed();
}

void TStringList::CheckIndex(int index) const {
  if (index < 0 || index >= Count()) Error(SListIndexError, index);
}

}  // namespace qv
