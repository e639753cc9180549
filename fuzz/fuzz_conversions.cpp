// Fuzzes the code-page conversions, stream encodings, byte types, line and blank scanning
// and the word splitter of the string utilities. The first byte picks a code page and an
// encoding kind; the rest is the data. Broken invariants trap, so the fuzzer reports them.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "framework/Streams.h"
#include "syntax/qvStrUtils.h"

namespace {

using namespace qv;

constexpr int kCodePages[] = {0, 1, 437, 1251, 1252, 932, 936, 949, 950, 65001, 12345};
constexpr int kCodePageCount = sizeof kCodePages / sizeof kCodePages[0];

void Check(bool condition) {
  if (!condition) __builtin_trap();
}

bool HasLoneSurrogate(std::u16string_view text) {
  for (size_t i = 0; i < text.size(); ++i) {
    const char16_t c = text[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF) {
      ++i;
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      return true;
    }
  }
  return false;
}

// Code pages whose every byte is one character (after resolving 0, 1 and unknown numbers).
bool IsSingleByte(int codePage) { return !IsMultiByteCodePage(codePage); }

void CheckConversions(std::string_view bytes, int codePage) {
  const std::u16string wide = MultiByteToWide(bytes, codePage);
  if (IsSingleByte(codePage)) Check(wide.size() == bytes.size());
  else Check(wide.size() <= bytes.size());
  WideToMultiByte(wide, codePage);
  Check(DecodeText(bytes, 0, codePage) == wide);

  // Decoded UTF-8 holds no lone surrogates (bad input becomes U+FFFD), so it re-encodes
  // and decodes to itself.
  const std::u16string utf8 = Utf8ToWide(bytes);
  Check(!HasLoneSurrogate(utf8));
  Check(Utf8ToWide(WideToUtf8(utf8)) == utf8);
}

// The bytes taken as UTF-16 units, which may hold lone surrogates and zeros.
void CheckUnitStreams(std::string_view bytes, int codePage) {
  std::u16string raw(bytes.size() / 2, u'\0');
  for (size_t i = 0; i < raw.size(); ++i) {
    raw[i] = static_cast<char16_t>(static_cast<uint8_t>(bytes[2 * i]) |
                                   (static_cast<uint8_t>(bytes[2 * i + 1]) << 8));
  }
  for (int kind : {tkUtf16LE, tkUtf16BE}) {
    TMemoryStream stream;
    WriteTextToStream(raw, stream, kind, codePage, 0);
    Check(stream.Size() == static_cast<int64_t>(raw.size() * 2));
    stream.SetPosition(0);
    std::u16string back;
    ReadTextFromStream(back, stream, kind, codePage, 0);
    Check(back == raw);
  }
  const std::u16string viaUtf8 = Utf8ToWide(WideToUtf8(raw));
  if (!HasLoneSurrogate(raw)) Check(viaUtf8 == raw);
  else Check(viaUtf8.size() == raw.size());  // each lone surrogate becomes one U+FFFD
}

void CheckDetectAndRead(std::string_view bytes, int kind, int codePage) {
  TMemoryStream stream(bytes);
  const int mark = DetectEncoding(stream);
  static constexpr int kMarkSize[] = {0, 2, 2, 3};
  Check(mark >= 0 && mark <= 3 && stream.Position() == kMarkSize[mark]);
  const std::string_view rest = bytes.substr(kMarkSize[mark]);
  std::u16string text = u"stale";
  ReadTextFromStream(text, stream, kind, codePage, 0);
  switch (kind) {
    case tkAnsi: Check(text == DecodeText(rest, 0, codePage)); break;
    case tkUtf16LE:
    case tkUtf16BE: Check(text.size() == rest.size() / 2); break;
    default: Check(text == Utf8ToWide(rest)); break;
  }
}

void CheckByteTypes(std::string_view bytes, int codePage) {
  const int size = static_cast<int>(bytes.size());
  const bool multi = IsMultiByteCodePage(codePage);
  for (int pos : {0, 1, 2, 3, size / 2, size - 1, size, size + 1}) {
    const int type = GetByteType(bytes, pos, codePage);
    Check(type >= 0 && type <= 2);
    if (pos < 1 || pos > size || !multi) Check(type == 0);
    // A trail byte always follows a lead byte.
    if (type == 2) Check(pos > 1 && GetByteType(bytes, pos - 1, codePage) == 1);
  }
}

void CheckScanning(std::u16string_view text) {
  const int length = static_cast<int>(text.size());
  std::vector<int> starts = {42};
  const int count = GetLineStarts(text, &starts);
  Check(count == static_cast<int>(starts.size()));
  Check(length == 0 ? count == 0 : starts[0] == 0);
  for (size_t i = 1; i < starts.size(); ++i) {
    Check(starts[i] > starts[i - 1] && starts[i] <= length);
    const char16_t before = text[starts[i] - 1];
    Check(before == u'\n' || before == u'\r');
  }
  Check(GetLineStarts(text, nullptr) == count);

  for (int start : {-1, 1, length / 3, length, length + 2}) {
    int pos = start;
    const int r = SkipSpaces(text, pos);
    Check(pos >= std::max(start, 1));
    if (r < 0) Check(pos > length);
    else Check(r == 0 && pos <= length && (!IsSpaceChar(text[pos - 1]) ||
                                           IsLineBreakChar(text[pos - 1])));
    pos = start;
    const int lines = SkipSpacesAndLines(text, pos);
    Check(pos >= std::max(start, 1));
    if (lines < 0) Check(pos > length);
    else Check(pos <= length && !IsSpaceChar(text[pos - 1]) && lines <= pos - std::max(start, 1));
  }
  Check(IsWordBoundary(text, 1) && IsWordBoundary(text, length + 1));
  for (int pos = 2; pos <= length && pos < 64; ++pos) IsWordBoundary(text, pos);
  for (char16_t c : text) {
    UpperChar(c);
    if (IsIdentChar(c)) Check(IsWordChar(c));
  }
}

void CheckSplit(std::string_view bytes) {
  TzStringList list;
  list.SetDelimiter(',');
  SplitToList(list, bytes);
  Check(list.UpdateCount() == 0 && list.Count() <= static_cast<int>(bytes.size()) + 1);
  size_t chars = 0;
  for (int i = 0; i < list.Count(); ++i) {
    const std::string item = list.Get(i);
    chars += item.size();
    for (char c : item) Check(static_cast<uint8_t>(c) > 32 && c != ',');
  }
  Check(chars <= bytes.size());

  // A tag-condition list: sorted, duplicates ignored, so its words are distinct.
  TzStringList words;
  words.SetSorted(true);
  words.SetDuplicates(dupIgnore);
  words.SetDelimiter(' ');
  SplitToList(words, bytes);
  for (int i = 1; i < words.Count(); ++i) {
    Check(words.CompareStrings(words.Get(i - 1), words.Get(i)) < 0);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const int codePage = kCodePages[data[0] % kCodePageCount];
  const int kind = (data[0] / kCodePageCount) % 4;
  const std::string_view bytes(reinterpret_cast<const char*>(data) + 1, size - 1);

  CheckConversions(bytes, codePage);
  CheckUnitStreams(bytes, codePage);
  CheckDetectAndRead(bytes, kind, codePage);
  CheckByteTypes(bytes, codePage);
  CheckScanning(DecodeText(bytes, 0, codePage));
  CheckScanning(MultiByteToWide(bytes, 1252));
  CheckSplit(bytes);
  return 0;
}
