// The wide string list: an abstract list of UTF-16 lines with an object per line, text
// joining and splitting, locale-aware comparison, copying to and from the framework's 8-bit
// lists, stream and file I/O with a UTF-16 mark, and its stream property data. Also the
// routines for zero-terminated wide strings and the comparison routine chosen at start-up.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "framework/Classes.h"
#include "framework/Units.h"

namespace qv {

class TStream;

// Which variant of the platform text calls the unit uses: the wide (UTF-16) calls, or the
// 8-bit calls through the locale's code page on platforms without wide calls.
enum TTextCallVariant : uint8_t { tcvWide, tcvAnsi };

TUnit& qvUnicodeUnit();
// Chosen once when the unit starts; the wide variant on every platform this code runs on.
TTextCallVariant TextCallVariant();

// The unit's comparison routine, chosen at start-up by TextCallVariant: the platform's
// comparison for the locale (an LCID) and flags, giving -1, 0 or +1, or -2 when the platform
// comparison fails.
int WideCompareStrings(uint32_t locale, uint32_t flags, std::u16string_view s1,
                       std::u16string_view s2);

// --- Zero-terminated wide strings -------------------------------------------------------------
// Characters before the terminating zero; 0 for null.
size_t WStrLen(const char16_t* s);
// Moves count characters; safe for overlapping buffers.
void WStrMove(char16_t* dest, const char16_t* source, size_t count);
// count characters, zero-filled, behind a 4-byte header holding the allocated byte size
// (count * 2 + 4). Free with WStrFree.
char16_t* WStrAlloc(size_t count);
void WStrFree(char16_t* s);
// A WStrAlloc copy of s with its terminator; null for null.
char16_t* WStrNew(const char16_t* s);
// Swaps the bytes of every character in place. Unlike the platform routine this swaps all
// count characters, zeros included, so no text after an embedded zero stays unswapped.
void StrSwapByteOrder(char16_t* s, size_t count);

struct TWStrDeleter {
  void operator()(char16_t* s) const { WStrFree(s); }
};
using TWStrPtr = std::unique_ptr<char16_t[], TWStrDeleter>;

// Asked before text with characters of U+0100 and above is saved as 8-bit text; setting
// allowed to false cancels the save.
using TConfirmConversionEvent = std::function<void(TObject* sender, bool& allowed)>;

// Abstract list of UTF-16 lines; descendants supply the storage (Get, GetCount, Insert,
// Delete, Clear). Bad indexes are reported through Error as EStringListError.
class TWideStrings : public TPersistent {
public:
  TWideStrings();
  const char* ClassName() const override { return "TWideStrings"; }

  virtual std::u16string Get(int index) const = 0;
  virtual int GetCapacity() const { return GetCount(); }
  virtual int GetCount() const = 0;
  virtual TObject* GetObject(int index) const;
  // Every line followed by CR LF; empty for an empty list.
  virtual std::u16string GetTextStr() const;
  virtual void Put(int index, const std::u16string& s);
  virtual void PutObject(int index, TObject* obj);
  virtual void SetCapacity(int value);
  // Replaces the lines by the pieces of text: lines end at a zero, LF, VT, FF, CR (CR LF is
  // one break), LS or PS; NEL is no break here; a final break adds no empty line.
  virtual void SetTextStr(std::u16string_view text);
  virtual void SetLanguage(uint32_t value) { FLanguage = value; }
  // The unit's comparison with Language and no flags.
  virtual int CompareStrings(std::u16string_view s1, std::u16string_view s2) const;
  virtual int Add(const std::u16string& s);
  virtual int AddObject(const std::u16string& s, TObject* obj);
  // Lines of an 8-bit list, converted with the system code page, with their objects.
  virtual void AddStrings(const TStrings& strings);
  virtual void AddStrings(const TWideStrings& strings);
  virtual void Clear() = 0;
  virtual void Delete(int index) = 0;
  virtual void Exchange(int index1, int index2);
  // A new zero-terminated copy of GetTextStr, owned by the caller.
  virtual TWStrPtr GetText() const;
  virtual int IndexOf(std::u16string_view s) const;
  virtual void Insert(int index, const std::u16string& s) = 0;
  // File names are UTF-8. Any failure while opening or reading raises EOSError.
  virtual void LoadFromFile(const std::string& fileName);
  // A UTF-16 mark (either order) makes the rest UTF-16 and sets SaveUnicode; otherwise the
  // bytes are 8-bit text in the system code page.
  virtual void LoadFromStream(TStream& stream);
  virtual void Move(int curIndex, int newIndex);
  virtual void SaveToFile(const std::string& fileName);
  // UTF-16 LE with mark when SaveUnicode, else 8-bit text (after OnConfirmConversion).
  virtual void SaveToStream(TStream& stream);
  // SetTextStr of a zero-terminated string (null: no lines).
  virtual void SetText(const char16_t* text);

  void InsertObject(int index, const std::u16string& s, TObject* obj);
  std::u16string Strings(int index) const { return Get(index); }
  int Count() const { return GetCount(); }
  TObject* Objects(int index) const { return GetObject(index); }
  bool Equals(const TWideStrings& other) const;

  void BeginUpdate();
  void EndUpdate();
  int UpdateCount() const { return FUpdateCount; }

  uint32_t Language() const { return FLanguage; }
  bool Saved() const { return FSaved; }
  bool SaveUnicode() const { return FSaveUnicode; }
  void SetSaveUnicode(bool value) { FSaveUnicode = value; }
  TConfirmConversionEvent OnConfirmConversion;

  void Assign(const TPersistent* source) override;
  // "WideStrings" (read and written) and the read-only "Strings" of older streams.
  void DefineProperties(TFiler& filer) override;

protected:
  void AssignTo(TPersistent* dest) const override;
  // Replaces every line by lines, within one update.
  void ReplaceLines(const std::vector<std::u16string>& lines);
  virtual void SetUpdateState(bool updating);
  [[noreturn]] void Error(const char* message, int data) const;
  void SetSaved(bool value) { FSaved = value; }

private:
  int FUpdateCount = 0;
  uint32_t FLanguage;
  bool FSaved = false;
  bool FSaveUnicode = false;
};

}  // namespace qv
