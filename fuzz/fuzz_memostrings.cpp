// Fuzzes the line store with sequences of edits decoded from the input: text inserts and
// deletes around CR, LF and the other breaks (positions in range and out of it), line
// inserts, deletes and puts, whole-text replacement and loading raw bytes in each format.
// After every operation the line table must equal a full rebuild of the text, the state and
// object lists must have one entry per line, every line must read as the text between its
// start and its break run, and the notified line changes must add up. Violations trap.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include "framework/Streams.h"
#include "syntax/qvMemoStrings.h"
#include "syntax/qvStrUtils.h"

namespace {

using namespace qv;

void Check(bool condition) {
  if (!condition) __builtin_trap();
}

// Hands out the input's bytes in order; zeros once it is used up.
class TInput {
public:
  TInput(const uint8_t* data, size_t size) : FData(data), FSize(size) {}
  bool Empty() const { return FPos >= FSize; }
  uint8_t Byte() { return FPos < FSize ? FData[FPos++] : 0; }
  int Int16() { return Byte() | (Byte() << 8); }
  // Up to n raw bytes.
  std::string_view Bytes(size_t n) {
    n = std::min(n, FSize - std::min(FPos, FSize));
    std::string_view s(reinterpret_cast<const char*>(FData) + FPos, n);
    FPos += n;
    return s;
  }

private:
  const uint8_t* FData;
  size_t FSize;
  size_t FPos = 0;
};

// A short text of letters and breaks of every kind, CR LF included.
std::u16string Piece(TInput& in) {
  static const std::u16string_view kPieces[] = {
      u"a", u"b", u"\r", u"\n", u"\r\n", u"\v", u"\f", u"\u0085", u"\u2028", u"\u2029", u"xy"};
  std::u16string s;
  for (int n = in.Byte() % 6; n > 0; --n) s += kPieces[in.Byte() % std::size(kPieces)];
  return s;
}

// A position: mostly inside the text (or on its ends), sometimes deliberately outside.
int Position(TInput& in, int length) {
  const int raw = in.Int16();
  switch (raw % 8) {
    case 0:
      return -1 - raw / 8;
    case 1:
      return length + 1 + raw / 8;
    default:
      return raw / 8 % (length + 1);
  }
}

void CheckStore(const TSyntMemoStrings& store) {
  const std::u16string& text = store.Text();
  std::vector<int> starts;
  const int lines = GetLineStarts(text, &starts);
  Check(store.LineStarts() == starts);
  Check(store.Count() == lines);
  Check(store.LineStates().size() == starts.size());
  for (uint8_t state : store.LineStates()) Check(state <= lsAdded);
  Check(store.HasLineObjects() ? store.LineObjects().size() == starts.size()
                               : store.LineObjects().empty());
  for (int i = 0; i < lines; ++i) {
    size_t end = i + 1 < lines ? starts[i + 1] : text.size();
    while (end > static_cast<size_t>(starts[i]) && IsLineBreakChar(text[end - 1])) --end;
    Check(store.Get(i) == text.substr(starts[i], end - starts[i]));
  }
  // A few caret lookups against a linear walk.
  for (int pos : {1, static_cast<int>(text.size()) / 2, static_cast<int>(text.size())}) {
    const TPoint caret = store.StrPosToCaretPos(pos);
    if (lines == 0 || pos <= 0) {
      Check(caret == TPoint{});
      continue;
    }
    int y = 0;
    while (y + 1 < lines && starts[y + 1] <= pos) ++y;
    Check(caret.Y == y && caret.X == std::min(pos - starts[y], store.LineLength(y)));
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TInput in(data, size);
  TSyntMemoStrings store;
  int reported = 0;
  bool wholeText = false;
  store.OnTextChange = [&](TObject*, int pos, int count, int lineChange) {
    if (pos == -1 && count == 0 && lineChange == 0) wholeText = true;
    reported += lineChange;
  };
  TObject tag;
  for (int step = 0; step < 200 && !in.Empty(); ++step) {
    const int before = store.Count();
    const int length = store.TextLength();
    reported = 0;
    wholeText = false;
    const int op = in.Byte() % 12;
    const int line = store.Count() ? in.Byte() % (store.Count() + 2) - 1 : in.Byte() % 3 - 1;
    try {
      switch (op) {
        case 0:
        case 1:
        case 2:
          store.InsertText(Piece(in), Position(in, length));
          break;
        case 3:
        case 4: {
          const int pos = Position(in, length);
          store.DeleteText(pos, in.Byte() % 8 - 1);
          break;
        }
        case 5:
          store.Insert(line, Piece(in));
          break;
        case 6:
          store.Delete(line);
          break;
        case 7:
          store.Put(line, Piece(in));
          break;
        case 8:
          store.SetTextStr(Piece(in) + Piece(in));
          break;
        case 9: {
          // Raw bytes in each format, with and without a mark being honoured.
          const uint8_t mode = in.Byte();
          store.SetTextFormat(static_cast<TTextFormat>(mode % 4));
          store.SetNoSignature(mode & 4);
          TMemoryStream stream(in.Bytes(in.Byte() % 64));
          store.LoadFromStream(stream);
          break;
        }
        case 10: {
          // A saved text reads back as itself in UTF-16 with breaks written unchanged.
          store.SetTextFormat(tfUtf16LE);
          store.SetLineBreakStyle(brMixed);
          store.SetNoSignature(false);
          TMemoryStream stream;
          store.SaveToStream(stream);
          stream.SetPosition(0);
          const std::u16string saved = store.Text();
          store.LoadFromStream(stream);
          Check(store.Text() == saved);
          break;
        }
        default:
          if (in.Byte() & 1) store.SetHasLineObjects(!store.HasLineObjects());
          store.PutObject(line, &tag);
          break;
      }
    } catch (const EListError&) {  // a bad line index is rejected and changes nothing
      Check(store.Count() == before && store.TextLength() == length);
    } catch (const EStringListError&) {
      Check(store.Count() == before && store.TextLength() == length);
    }
    CheckStore(store);
    if (!wholeText) Check(reported == store.Count() - before);
  }
  return 0;
}
