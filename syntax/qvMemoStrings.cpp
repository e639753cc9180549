// The line store: edits of the flat text with incremental upkeep of the line table, the line
// states and line objects; list operations expressed as text edits; text files in four
// encodings with line-break style detection and conversion; the "Strings" stream property.
//
// A line starts at offset 0 and behind every LF and every CR that no LF follows. Whether a
// line starts at offset o depends only on the characters at o - 1 and o, so an edit can only
// change the starts at its own boundaries: that is what keeps the table equal to a full
// rebuild while an edit looks at no more than the inserted characters and their neighbours.
#include "syntax/qvMemoStrings.h"

#include <algorithm>
#include <cassert>
#include <climits>
#include <cstdint>

#include "framework/Filer.h"
#include "framework/Streams.h"
#include "framework/SysUtils.h"
#include "syntax/qvLists.h"
#include "syntax/qvStrUtils.h"

namespace qv {

namespace {

constexpr const char* SLineIndexOutOfRange = "Index %d is out of range";
constexpr const char* STextTooLong = "Out of memory";

constexpr char16_t CR = u'\r';
constexpr char16_t LF = u'\n';

// Makes the entries [first, last) of v count entries long. Entries kept at the front of the
// range keep their values; new ones are value-initialised.
template <class T>
void SpliceRange(std::vector<T>& v, int first, int last, int count) {
  const int old = last - first;
  if (count > old) {
    v.insert(v.begin() + last, static_cast<size_t>(count - old), T{});
  } else if (count < old) {
    v.erase(v.begin() + first + count, v.begin() + last);
  }
}

// The break sequence SaveToStream writes for a style other than brMixed.
std::u16string_view BreakSequence(TLineBreakStyle style) {
  switch (style) {
    case brCR:
      return u"\r";
    case brLF:
      return u"\n";
    default:
      return u"\r\n";
  }
}

}  // namespace

// --- The text --------------------------------------------------------------------------------

bool TSyntMemoStrings::LineStartsAt(int offset) const {
  const char16_t c = FText[offset - 1];
  if (c == LF) return true;
  return c == CR && (static_cast<size_t>(offset) == FText.size() || FText[offset] != LF);
}

void TSyntMemoStrings::MarkModified(int i) {
  if (FLineStates[i] != lsAdded) FLineStates[i] = lsModified;
}

void TSyntMemoStrings::SpliceLineData(int first, int last, int count) {
  SpliceRange(FLineStates, first, last, count);
  if (FHasLineObjects) SpliceRange(FLineObjects, first, last, count);
}

void TSyntMemoStrings::InsertText(std::u16string_view s, int pos) {
  if (s.empty()) return;
  const int length = TextLength();
  if (s.size() > static_cast<size_t>(INT_MAX - length)) throw EOutOfMemory(STextTooLong);
  const int count = static_cast<int>(s.size());
  pos = std::clamp(pos, 0, length);
  if (pos > 0 && pos < length && FText[pos - 1] == CR && FText[pos] == LF) ++pos;

  const int oldLines = GetCount();
  FText.insert(static_cast<size_t>(pos), s);
  if (oldLines == 0) {
    RebuildLines();
    std::fill(FLineStates.begin(), FLineStates.end(), lsAdded);
    Notify(pos, count, GetCount());
    return;
  }

  // Starts before pos stay as they are, and starts behind pos move by count. The start at
  // pos itself is decided afresh (the character after a CR there changed), and the inserted
  // characters may hold new ones; together they replace the old entry at pos, if any.
  const int lo = static_cast<int>(std::lower_bound(FLineStarts.begin(), FLineStarts.end(), pos) -
                                  FLineStarts.begin());
  const bool hadAtPos = lo < oldLines && FLineStarts[lo] == pos;
  const int hi = lo + (hadAtPos ? 1 : 0);
  const bool startsAtPos = pos == 0 || LineStartsAt(pos);
  std::vector<int> fresh;
  if (startsAtPos) fresh.push_back(pos);
  for (int o = pos + 1; o <= pos + count; ++o) {
    if (LineStartsAt(o)) fresh.push_back(o);
  }
  const int k = static_cast<int>(fresh.size());

  for (int i = hi; i < oldLines; ++i) FLineStarts[i] += count;
  SpliceRange(FLineStarts, lo, hi, k);
  std::copy(fresh.begin(), fresh.end(), FLineStarts.begin() + lo);

  if (hadAtPos) {
    // Text inserted at a line start: the new lines come above the old one, which moves down
    // with its state and object and is marked modified. Without a start at pos any more (an
    // inserted LF joined the CR before it), the line before changed its break as well.
    assert(k >= 1);
    const uint8_t state = FLineStates[lo];
    TObject* obj = FHasLineObjects ? FLineObjects[lo] : nullptr;
    SpliceLineData(lo, hi, k);
    std::fill(FLineStates.begin() + lo, FLineStates.begin() + lo + k - 1, lsAdded);
    FLineStates[lo + k - 1] = state;
    MarkModified(lo + k - 1);
    if (FHasLineObjects) {
      std::fill(FLineObjects.begin() + lo, FLineObjects.begin() + lo + k - 1, nullptr);
      FLineObjects[lo + k - 1] = obj;
    }
    if (!startsAtPos) MarkModified(lo - 1);
  } else {
    // Inside line lo - 1: it is modified, and the lines split off it are added below it.
    SpliceLineData(lo, lo, k);
    std::fill(FLineStates.begin() + lo, FLineStates.begin() + lo + k, lsAdded);
    MarkModified(lo - 1);
  }
  Notify(pos, count, GetCount() - oldLines);
}

void TSyntMemoStrings::DeleteText(int pos, int count) {
  const int64_t start = std::max<int64_t>(pos, 0);
  const int64_t end = std::min<int64_t>(static_cast<int64_t>(pos) + count, TextLength());
  if (end <= start) return;
  const int p = static_cast<int>(start);
  const int c = static_cast<int>(end - start);
  const int oldLines = GetCount();

  // The starts in [p, p + c] are affected: those inside the deleted stretch or at its end
  // lose the character before them; the one at p may gain or lose its start because the
  // character after it changes. Starts behind p + c move back by c.
  const int lo = static_cast<int>(std::lower_bound(FLineStarts.begin(), FLineStarts.end(), p) -
                                  FLineStarts.begin());
  const int hi = static_cast<int>(std::upper_bound(FLineStarts.begin(), FLineStarts.end(), p + c) -
                                  FLineStarts.begin());
  const bool hadAtPos = lo < oldLines && FLineStarts[lo] == p;
  FText.erase(static_cast<size_t>(p), static_cast<size_t>(c));
  if (FText.empty()) {
    FLineStarts.clear();
    FLineStates.clear();
    FLineObjects.clear();
    Notify(p, -c, -oldLines);
    return;
  }

  const bool startsAtPos = p == 0 || LineStartsAt(p);
  if (startsAtPos) {
    // The line now at p is the rest of the last affected line: it keeps that line's state
    // and object, and is modified unless the deletion ended exactly at its start (only
    // whole lines went). A start can only appear at p when the LF of a CR LF went, and the
    // line behind that LF is then among the affected ones.
    assert(hi > lo);
    const uint8_t state = FLineStates[hi - 1];
    TObject* obj = FHasLineObjects ? FLineObjects[hi - 1] : nullptr;
    const bool intact = FLineStarts[hi - 1] == p + c;
    SpliceRange(FLineStarts, lo, hi, 1);
    SpliceLineData(lo, hi, 1);
    FLineStarts[lo] = p;
    FLineStates[lo] = state;
    if (!intact) MarkModified(lo);
    if (FHasLineObjects) FLineObjects[lo] = obj;
  } else {
    // The affected lines join the line before p.
    SpliceRange(FLineStarts, lo, hi, 0);
    SpliceLineData(lo, hi, 0);
  }
  // The line before p lost characters, or its break changed (a CR lost its LF or gained one).
  if (!(hadAtPos && startsAtPos)) MarkModified(lo - 1);
  const int lines = GetCount();
  for (int i = lo + (startsAtPos ? 1 : 0); i < lines; ++i) FLineStarts[i] -= c;
  Notify(p, -c, lines - oldLines);
}

TPoint TSyntMemoStrings::StrPosToCaretPos(int pos) const {
  if (pos <= 0 || FLineStarts.empty()) return {};
  int y = 0;
  QuickSearch(
      GetCount(), [this](int i, int key) { return FLineStarts[i] - key; }, pos, y);
  return {std::min(pos - FLineStarts[y], LineLength(y)), y};
}

std::u16string TSyntMemoStrings::SubText(int index, int count) const {
  const int64_t start = std::max<int64_t>(static_cast<int64_t>(index) - 1, 0);
  const int64_t end = std::min<int64_t>(static_cast<int64_t>(index) - 1 + count, TextLength());
  if (end <= start) return {};
  return FText.substr(static_cast<size_t>(start), static_cast<size_t>(end - start));
}

// --- Lines -----------------------------------------------------------------------------------

int TSyntMemoStrings::LineStart(int i) const {
  return i >= 0 && i < GetCount() ? FLineStarts[i] : 0;
}

int TSyntMemoStrings::LineSpan(int i) const {
  const int n = GetCount();
  if (i < 0 || i >= n) return 0;
  return (i + 1 < n ? FLineStarts[i + 1] : TextLength()) - FLineStarts[i];
}

int TSyntMemoStrings::LineLength(int i) const {
  if (i < 0 || i >= GetCount()) return 0;
  const int start = FLineStarts[i];
  int end = start + LineSpan(i);
  while (end > start && IsLineBreakChar(FText[end - 1])) --end;
  return end - start;
}

uint8_t TSyntMemoStrings::LineState(int i) const {
  return i >= 0 && i < GetCount() ? FLineStates[i] : lsUnchanged;
}

void TSyntMemoStrings::SetLineState(int i, uint8_t value) {
  if (i < 0 || i >= GetCount()) throw EListError(Format(SListIndexError, i));
  FLineStates[i] = value;
}

void TSyntMemoStrings::SetHasLineObjects(bool value) {
  if (value == FHasLineObjects) return;
  FHasLineObjects = value;
  if (value) {
    FLineObjects.assign(FLineStarts.size(), nullptr);
  } else {
    FLineObjects.clear();
    FLineObjects.shrink_to_fit();
  }
}

void TSyntMemoStrings::RebuildLines() {
  GetLineStarts(FText, &FLineStarts);
  // States and objects of lines that still exist are kept; new lines get 0 and nil.
  FLineStates.resize(FLineStarts.size(), lsUnchanged);
  if (FHasLineObjects) FLineObjects.resize(FLineStarts.size(), nullptr);
}

void TSyntMemoStrings::Notify(int pos, int count, int lineChange) {
  if (OnTextChange) OnTextChange(this, pos, count, lineChange);
}

// --- The wide string list --------------------------------------------------------------------

std::u16string TSyntMemoStrings::Get(int index) const {
  if (index < 0 || index >= GetCount()) return {};
  return FText.substr(static_cast<size_t>(FLineStarts[index]),
                      static_cast<size_t>(LineLength(index)));
}

void TSyntMemoStrings::Put(int index, const std::u16string& s) {
  if (index < 0 || index >= GetCount()) throw EListError(Format(SListIndexError, index));
  const int start = FLineStarts[index];
  const int length = LineLength(index);
  // Insert before deleting: with the old text deleted first, a lone CR ending the line
  // above could meet an LF beginning this line's break, the two would become one break,
  // and the insert would then land behind the LF, on the next line.
  InsertText(s, start);
  DeleteText(start + static_cast<int>(s.size()), length);
}

void TSyntMemoStrings::Insert(int index, const std::u16string& s) {
  const int n = GetCount();
  if (index < 0 || index > n) throw EStringListError(Format(SLineIndexOutOfRange, index));
  if (index < n) {
    InsertText(s + u"\r\n", FLineStarts[index]);
  } else if (n == 0) {
    InsertText(s, 0);
  } else {
    InsertText(u"\r\n" + s, TextLength());
  }
}

void TSyntMemoStrings::Delete(int index) {
  const int n = GetCount();
  if (index < 0 || index >= n) throw EListError(Format(SListIndexError, index));
  if (index < n - 1) {
    DeleteText(FLineStarts[index], LineSpan(index));
    return;
  }
  // The last line has no break of its own: it goes with the break run that ends the line
  // above, which also makes an empty last line (a text ending with a break) go away.
  const int from = index == 0 ? 0 : FLineStarts[index - 1] + LineLength(index - 1);
  DeleteText(from, TextLength() - from);
}

void TSyntMemoStrings::Clear() {
  FText.clear();
  RebuildLines();
  Notify(-1, 0, 0);
}

TObject* TSyntMemoStrings::GetObject(int index) const {
  if (!FHasLineObjects || index < 0 || index >= GetCount()) return nullptr;
  return FLineObjects[index];
}

void TSyntMemoStrings::PutObject(int index, TObject* obj) {
  // The list never grows past the lines, so it stays one entry per line.
  if (!FHasLineObjects || index < 0 || index >= GetCount()) return;
  FLineObjects[index] = obj;
}

std::u16string TSyntMemoStrings::GetTextStr() const { return FText; }

void TSyntMemoStrings::SetTextStr(std::u16string_view text) {
  FText.assign(text);
  RebuildLines();
  Notify(-1, 0, 0);
}

void TSyntMemoStrings::TakeTextStr(std::u16string&& text) {
  FText = std::move(text);
  RebuildLines();
  Notify(-1, 0, 0);
}

void TSyntMemoStrings::AddStrings(const TWideStrings& strings) {
  const int sourceLines = strings.GetCount();
  if (sourceLines == 0) return;
  const std::u16string text = strings.GetTextStr();
  const int n = GetCount();
  // The last line holds characters: the source starts a line of its own. Otherwise (no
  // lines, or an empty last line behind a break) it continues the last line.
  int first = n == 0 ? 0 : n - 1;
  if (n > 0 && LineSpan(n - 1) > 0) {
    InsertText(u"\r\n" + text, TextLength());
    first = n;
  } else {
    InsertText(text, TextLength());
  }
  if (FHasLineObjects) {
    for (int i = 0; i < sourceLines; ++i) PutObject(first + i, strings.GetObject(i));
  }
}

void TSyntMemoStrings::Assign(const TPersistent* source) {
  if (source == this) return;
  TWideStrings::Assign(source);
  // A plain wide list's text ends every line with CR LF; the last line's break goes.
  const int length = TextLength();
  if (length >= 2 && FText[length - 2] == CR && FText[length - 1] == LF) {
    DeleteText(length - 2, 2);
  }
}

void TSyntMemoStrings::LoadFromStream(TStream& stream) {
  if (stream.Size() - stream.Position() <= 0) {
    SetTextStr(u"");  // format and style stay as they were
    return;
  }
  const int mark = DetectEncoding(stream);
  if (mark != tkAnsi || !FNoSignature) FTextFormat = static_cast<TTextFormat>(mark);
  if (OnDetectFormat) OnDetectFormat(this, stream, FTextFormat);
  ReadTextFromStream(FText, stream, FTextFormat, FCodePage, FCharset);
  RebuildLines();
  DetectLineBreakStyle();
  Notify(-1, 0, 0);
}

void TSyntMemoStrings::DetectLineBreakStyle() {
  // Lines are walked from the last; lines without a break are skipped. The first break
  // found sets the style; any later break of another kind makes it brMixed.
  TLineBreakStyle style = DefaultLineBreakStyle();
  for (int i = GetCount() - 1; i >= 0; --i) {
    const int visibleEnd = FLineStarts[i] + LineLength(i);
    const int end = FLineStarts[i] + LineSpan(i);
    if (visibleEnd == end) continue;
    const std::u16string_view run(FText.data() + visibleEnd, static_cast<size_t>(end - visibleEnd));
    const TLineBreakStyle kind = run == u"\r" ? brCR : run == u"\n" ? brLF : brCRLF;
    if (style == DefaultLineBreakStyle()) {
      style = kind;
    } else if (kind != style) {
      style = brMixed;
      break;
    }
  }
  FLineBreakStyle = style;
}

void TSyntMemoStrings::SaveToStream(TStream& stream) {
  if (!FNoSignature) WriteEncodingMark(stream, FTextFormat);
  if (FLineBreakStyle == brMixed) {
    WriteTextToStream(FText, stream, FTextFormat, FCodePage, FCharset);
    return;
  }
  // A copy in which the break run ending each line (all seven break characters, whatever
  // mix) becomes the style's sequence; the text itself stays as it is.
  const std::u16string_view breakSequence = BreakSequence(FLineBreakStyle);
  std::u16string copy;
  copy.reserve(FText.size() + FLineStarts.size());
  for (int i = 0; i < GetCount(); ++i) {
    const int start = FLineStarts[i];
    const int length = LineLength(i);
    copy.append(FText, static_cast<size_t>(start), static_cast<size_t>(length));
    if (length < LineSpan(i)) copy.append(breakSequence);
  }
  WriteTextToStream(copy, stream, FTextFormat, FCodePage, FCharset);
}

bool TSyntMemoStrings::LinesEqual(const TSyntMemoStrings& other) const {
  if (GetCount() != other.GetCount()) return false;
  for (int i = 0; i < GetCount(); ++i) {
    const std::u16string_view mine(FText.data() + FLineStarts[i],
                                   static_cast<size_t>(LineLength(i)));
    const std::u16string_view theirs(other.FText.data() + other.FLineStarts[i],
                                     static_cast<size_t>(other.LineLength(i)));
    if (mine != theirs) return false;
  }
  return true;
}

void TSyntMemoStrings::DefineProperties(TFiler& filer) {
  // Written only when there is something to write: lines that differ from an ancestor
  // store's, anything against an ancestor of another class, at least one line otherwise.
  bool hasData = GetCount() > 0;
  if (const TPersistent* ancestor = filer.Ancestor()) {
    const auto* store = dynamic_cast<const TSyntMemoStrings*>(ancestor);
    hasData = !store || !LinesEqual(*store);
  }
  filer.DefineProperty(
      "Strings",
      [this](TReader& reader) {
        // The whole list first: a bad item leaves the lines as they were.
        std::vector<std::u16string> lines;
        reader.ReadListBegin();
        while (!reader.EndOfList()) lines.push_back(Utf8ToWide(reader.ReadString()));
        reader.ReadListEnd();
        ReplaceLines(lines);
      },
      [this](TWriter& writer) {
        writer.WriteListBegin();
        for (int i = 0; i < GetCount(); ++i) writer.WriteString(WideToUtf8(Get(i)));
        writer.WriteListEnd();
      },
      hasData);
}

}  // namespace qv
