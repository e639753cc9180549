// The wide string list: the default operations of TWideStrings, written against the
// abstract Get/GetCount/Insert/Delete/Clear so that a descendant only has to store lines;
// its text, stream, file and stream-property I/O; the unit's comparison routine and the
// zero-terminated wide-string routines.
#include "syntax/qvUnicode.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>
#include <system_error>

#include "framework/Filer.h"
#include "framework/Streams.h"
#include "framework/SysUtils.h"
#include "framework/TextServices.h"

namespace qv {

namespace {

inline constexpr const char* SOSError = "System Error.  Code: %d.\r\n%s";
inline constexpr const char* SUnkOSError = "A call to an OS function failed";

// The byte-order marks of UTF-16 text: little-endian (the order this list writes) and
// big-endian.
inline constexpr unsigned char kMarkLE[2] = {0xFF, 0xFE};
inline constexpr unsigned char kMarkBE[2] = {0xFE, 0xFF};

// Size of the header in front of every WStrAlloc block.
inline constexpr size_t kWStrHeader = sizeof(uint32_t);

TTextCallVariant GVariant = tcvWide;

// Every supported platform offers the wide calls (the 8-bit variant exists for systems
// without them), so the choice always falls on the wide variant.
void InitUnicode() { GVariant = tcvWide; }

// The 8-bit comparison: both strings through the system code page (this platform layer
// names no per-locale 8-bit code page), then compared as 8-bit text by the locale.
int AnsiCompareStrings(uint32_t locale, uint32_t flags, std::u16string_view s1,
                       std::u16string_view s2) {
  const std::u16string w1 = MultiByteToWideChar(CP_ACP, WideCharToMultiByte(CP_ACP, s1));
  const std::u16string w2 = MultiByteToWideChar(CP_ACP, WideCharToMultiByte(CP_ACP, s2));
  return CompareStringLCID(locale, flags, w1, w2) - 2;
}

bool IsLineEnd(char16_t c) {
  switch (c) {
    case 0x0000:
    case 0x000A:  // LF
    case 0x000B:  // VT
    case 0x000C:  // FF
    case 0x000D:  // CR
    case 0x2028:  // LS
    case 0x2029:  // PS
      return true;
    default:  // NEL (U+0085) included: it is text here
      return false;
  }
}

// The error of the last failed system call, as the platform reports it.
[[noreturn]] void RaiseLastOSError(int error) {
  if (error == 0) throw EOSError(SUnkOSError);
  const std::string reason = std::error_code(error, std::generic_category()).message();
  throw EOSError(Format(SOSError, error, reason));
}

}  // namespace

TUnit& qvUnicodeUnit() {
  static TUnit unit("qvUnicode", {}, InitUnicode, nullptr);
  return unit;
}

TTextCallVariant TextCallVariant() { return GVariant; }

int WideCompareStrings(uint32_t locale, uint32_t flags, std::u16string_view s1,
                       std::u16string_view s2) {
  if (GVariant == tcvAnsi) return AnsiCompareStrings(locale, flags, s1, s2);
  return CompareStringLCID(locale, flags, s1, s2) - 2;
}

// --- Zero-terminated wide strings -------------------------------------------------------------

size_t WStrLen(const char16_t* s) {
  if (!s) return 0;
  size_t n = 0;
  while (s[n]) ++n;
  return n;
}

void WStrMove(char16_t* dest, const char16_t* source, size_t count) {
  if (count == 0) return;  // either pointer may be null then
  std::memmove(dest, source, count * sizeof(char16_t));
}

char16_t* WStrAlloc(size_t count) {
  // The header is 32 bits wide, so a block can hold at most (2^32 - 5) / 2 characters.
  if (count > (UINT32_MAX - kWStrHeader) / sizeof(char16_t)) throw std::bad_alloc();
  const uint32_t size = static_cast<uint32_t>(count * sizeof(char16_t) + kWStrHeader);
  auto* block = static_cast<unsigned char*>(::operator new(size));
  std::memset(block, 0, size);
  std::memcpy(block, &size, kWStrHeader);
  return reinterpret_cast<char16_t*>(block + kWStrHeader);
}

void WStrFree(char16_t* s) {
  if (s) ::operator delete(reinterpret_cast<unsigned char*>(s) - kWStrHeader);
}

char16_t* WStrNew(const char16_t* s) {
  if (!s) return nullptr;
  const size_t count = WStrLen(s) + 1;
  char16_t* result = WStrAlloc(count);
  WStrMove(result, s, count);
  return result;
}

void StrSwapByteOrder(char16_t* s, size_t count) {
  for (size_t i = 0; i < count; ++i) s[i] = static_cast<char16_t>((s[i] << 8) | (s[i] >> 8));
}

// --- TWideStrings ---------------------------------------------------------------------------

TWideStrings::TWideStrings() : FLanguage(GetUserDefaultLCID()) {}

TObject* TWideStrings::GetObject(int /*index*/) const { return nullptr; }

std::u16string TWideStrings::GetTextStr() const {
  const int count = GetCount();
  std::u16string result;
  for (int i = 0; i < count; ++i) result.append(Get(i)).append(u"\r\n");
  return result;
}

void TWideStrings::Put(int index, const std::u16string& s) {
  TObject* const obj = GetObject(index);
  Delete(index);
  InsertObject(index, s, obj);
}

void TWideStrings::PutObject(int /*index*/, TObject* /*obj*/) {}

void TWideStrings::SetCapacity(int /*value*/) {}

void TWideStrings::SetTextStr(std::u16string_view text) {
  WithinUpdate(*this, [&] {
    Clear();
    // Each break is one character, or CR LF; the walk ends with the text, so a final break
    // opens no further line.
    size_t pos = 0;
    while (pos < text.size()) {
      const size_t start = pos;
      while (pos < text.size() && !IsLineEnd(text[pos])) ++pos;
      Add(std::u16string(text.substr(start, pos - start)));
      if (pos < text.size()) {
        if (text[pos] == u'\r' && pos + 1 < text.size() && text[pos + 1] == u'\n') ++pos;
        ++pos;
      }
    }
  });
}

int TWideStrings::CompareStrings(std::u16string_view s1, std::u16string_view s2) const {
  return WideCompareStrings(FLanguage, 0, s1, s2);
}

int TWideStrings::Add(const std::u16string& s) {
  const int index = GetCount();
  Insert(index, s);
  return index;
}

int TWideStrings::AddObject(const std::u16string& s, TObject* obj) {
  const int index = Add(s);
  PutObject(index, obj);
  return index;
}

void TWideStrings::AddStrings(const TStrings& strings) {
  const int count = strings.Count();
  WithinUpdate(*this, [&] {
    for (int i = 0; i < count; ++i)
      AddObject(MultiByteToWideChar(CP_ACP, strings.Get(i)), strings.GetObject(i));
  });
}

void TWideStrings::AddStrings(const TWideStrings& strings) {
  // The count is taken once, so adding a list to itself doubles it instead of looping.
  const int count = strings.GetCount();
  WithinUpdate(*this, [&] {
    for (int i = 0; i < count; ++i) AddObject(strings.Get(i), strings.GetObject(i));
  });
}

void TWideStrings::Exchange(int index1, int index2) {
  // Everything is read before the first write, so a bad index changes nothing.
  const std::u16string s1 = Get(index1);
  TObject* const obj1 = GetObject(index1);
  const std::u16string s2 = Get(index2);
  TObject* const obj2 = GetObject(index2);
  WithinUpdate(*this, [&] {
    Put(index1, s2);
    PutObject(index1, obj2);
    Put(index2, s1);
    PutObject(index2, obj1);
  });
}

TWStrPtr TWideStrings::GetText() const {
  const std::u16string text = GetTextStr();
  TWStrPtr result(WStrAlloc(text.size() + 1));  // zero-filled: the terminator is there
  WStrMove(result.get(), text.data(), text.size());
  return result;
}

int TWideStrings::IndexOf(std::u16string_view s) const {
  const int count = GetCount();
  for (int i = 0; i < count; ++i)
    if (CompareStrings(Get(i), s) == 0) return i;
  return -1;
}

void TWideStrings::LoadFromFile(const std::string& fileName) {
  errno = 0;  // an error number left from earlier calls must not be reported as this one's
  try {
    TFileStream stream(fileName, fmOpenRead);
    LoadFromStream(stream);
  } catch (...) {  // callers see every failure to load a file as the system's error
    RaiseLastOSError(errno);
  }
}

void TWideStrings::LoadFromStream(TStream& stream) {
  WithinUpdate(*this, [&] {
    const int64_t size = std::max<int64_t>(stream.Size() - stream.Position(), 0);
    unsigned char mark[2] = {};
    const int64_t markRead = stream.Read(mark, 2);
    const bool little = markRead == 2 && std::memcmp(mark, kMarkLE, 2) == 0;
    const bool big = markRead == 2 && std::memcmp(mark, kMarkBE, 2) == 0;
    if (little || big) {
      FSaveUnicode = true;
      // An odd byte at the end belongs to no character; a stream that ends early gives
      // the characters that were there.
      const int64_t dataSize = std::max<int64_t>(size - 2, 0);
      std::string bytes(static_cast<size_t>(dataSize), '\0');
      bytes.resize(static_cast<size_t>(stream.Read(bytes.data(), dataSize)));
      std::u16string text(bytes.size() / 2, u'\0');
      const int lo = big ? 1 : 0;
      for (size_t i = 0; i < text.size(); ++i) {
        const auto b0 = static_cast<unsigned char>(bytes[2 * i + lo]);
        const auto b1 = static_cast<unsigned char>(bytes[2 * i + 1 - lo]);
        text[i] = static_cast<char16_t>(b0 | (b1 << 8));
      }
      SetTextStr(text);
    } else {
      FSaveUnicode = false;
      stream.Seek(-markRead, soCurrent);
      std::string bytes(static_cast<size_t>(size), '\0');
      bytes.resize(static_cast<size_t>(stream.Read(bytes.data(), size)));
      SetTextStr(MultiByteToWideChar(CP_ACP, bytes));
    }
  });
}

void TWideStrings::Move(int curIndex, int newIndex) {
  if (curIndex == newIndex) return;
  WithinUpdate(*this, [&] {
    const std::u16string s = Get(curIndex);
    TObject* const obj = GetObject(curIndex);
    Delete(curIndex);
    InsertObject(newIndex, s, obj);
  });
}

void TWideStrings::SaveToFile(const std::string& fileName) {
  TFileStream stream(fileName, fmCreate);
  SaveToStream(stream);
}

void TWideStrings::SaveToStream(TStream& stream) {
  const std::u16string text = GetTextStr();
  FSaved = false;
  if (!FSaveUnicode && OnConfirmConversion) {
    // Only the text before a zero character is looked at, as far as a C string would go.
    const auto end = std::find(text.begin(), text.end(), u'\0');
    if (std::any_of(text.begin(), end, [](char16_t c) { return c >= 0x0100; })) {
      bool allowed = true;
      OnConfirmConversion(this, allowed);
      if (!allowed) return;
    }
  }
  if (FSaveUnicode) {
    // Little-endian whatever the host order, matching the mark.
    std::string bytes(2 + text.size() * 2, '\0');
    std::memcpy(bytes.data(), kMarkLE, 2);
    for (size_t i = 0; i < text.size(); ++i) {
      bytes[2 + 2 * i] = static_cast<char>(text[i] & 0xFF);
      bytes[3 + 2 * i] = static_cast<char>(text[i] >> 8);
    }
    stream.WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
  } else {
    const std::string bytes = WideCharToMultiByte(CP_ACP, text);
    stream.WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
  }
  FSaved = true;
}

void TWideStrings::SetText(const char16_t* text) {
  SetTextStr(std::u16string_view(text ? text : u"", WStrLen(text)));
}

void TWideStrings::InsertObject(int index, const std::u16string& s, TObject* obj) {
  Insert(index, s);
  PutObject(index, obj);
}

bool TWideStrings::Equals(const TWideStrings& other) const {
  const int count = GetCount();
  if (count != other.GetCount()) return false;
  for (int i = 0; i < count; ++i)
    if (Get(i) != other.Get(i)) return false;
  return true;
}

void TWideStrings::BeginUpdate() {
  if (FUpdateCount == 0) SetUpdateState(true);
  ++FUpdateCount;
}

void TWideStrings::EndUpdate() {
  if (FUpdateCount == 0) return;  // unbalanced call; going negative would mute later brackets
  --FUpdateCount;
  if (FUpdateCount == 0) SetUpdateState(false);
}

void TWideStrings::Assign(const TPersistent* source) {
  if (const auto* wide = dynamic_cast<const TWideStrings*>(source)) {
    if (wide == this) return;  // Clear would otherwise empty the source too
    WithinUpdate(*this, [&] {
      Clear();
      AddStrings(*wide);
    });
    return;
  }
  if (const auto* strings = dynamic_cast<const TStrings*>(source)) {
    WithinUpdate(*this, [&] {
      Clear();
      const int count = strings->Count();
      for (int i = 0; i < count; ++i)
        AddObject(MultiByteToWideChar(CP_ACP, strings->Get(i)), strings->GetObject(i));
    });
    return;
  }
  TPersistent::Assign(source);
}

void TWideStrings::ReplaceLines(const std::vector<std::u16string>& lines) {
  WithinUpdate(*this, [&] {
    Clear();
    for (const std::u16string& line : lines) Add(line);
  });
}

void TWideStrings::DefineProperties(TFiler& filer) {
  bool hasData;
  if (const TPersistent* ancestor = filer.Ancestor()) {
    const auto* wide = dynamic_cast<const TWideStrings*>(ancestor);
    hasData = !wide || !Equals(*wide);
  } else {
    hasData = GetCount() > 0;
  }
  filer.DefineProperty(
      "WideStrings",
      [this](TReader& reader) {
        // The whole list first: a bad item leaves the lines as they were.
        std::vector<std::u16string> lines;
        reader.ReadListBegin();
        while (!reader.EndOfList()) lines.push_back(reader.ReadWideString());
        reader.ReadListEnd();
        ReplaceLines(lines);
      },
      [this](TWriter& writer) {
        writer.WriteListBegin();
        const int count = GetCount();
        for (int i = 0; i < count; ++i) writer.WriteWideString(Get(i));
        writer.WriteListEnd();
      },
      hasData);
  // Older streams kept the lines as 8-bit text; they are read, never written.
  filer.DefineProperty(
      "Strings",
      [this](TReader& reader) {
        std::vector<std::u16string> lines;
        reader.ReadListBegin();
        while (!reader.EndOfList()) lines.push_back(MultiByteToWideChar(CP_ACP, reader.ReadString()));
        reader.ReadListEnd();
        ReplaceLines(lines);
      },
      TWriterProc(), false);
}

void TWideStrings::AssignTo(TPersistent* dest) const {
  if (auto* strings = dynamic_cast<TStrings*>(dest)) {
    WithinUpdate(*strings, [&] {
      strings->Clear();
      const int count = GetCount();
      for (int i = 0; i < count; ++i)
        strings->AddObject(WideCharToMultiByte(CP_ACP, Get(i)), GetObject(i));
    });
    return;
  }
  if (auto* wide = dynamic_cast<TWideStrings*>(dest)) {
    if (wide == this) return;
    WithinUpdate(*wide, [&] {
      wide->Clear();
      wide->AddStrings(*this);
    });
    return;
  }
  TPersistent::AssignTo(dest);
}

void TWideStrings::SetUpdateState(bool /*updating*/) {}

void TWideStrings::Error(const char* message, int data) const {
  throw EStringListError(Format(message, data));
}

}  // namespace qv
