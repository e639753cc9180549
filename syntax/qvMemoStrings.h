// The line store that analysed text lives in: one flat UTF-16 string plus a table of line
// starts kept current by every edit, so the analyzer scans the text as one string while
// clients see a list of lines. Also reads and writes text files in four encodings with
// byte-order marks, detects and applies a line-break style, and streams its lines as UTF-8.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "framework/Types.h"
#include "syntax/qvUnicode.h"

namespace qv {

class TStream;

// Encoding of a text file; the numbers are the encoding kinds of qvStrUtils.
enum TTextFormat : uint8_t { tfAnsi, tfUtf16LE, tfUtf16BE, tfUtf8 };
// How SaveToStream writes line ends: unchanged (brMixed) or all as one sequence.
enum TLineBreakStyle : uint8_t { brMixed, brCRLF, brCR, brLF };

// Initial format and style of every new store. Nothing in the system changes them.
inline constexpr TTextFormat DefaultTextFormat() { return tfAnsi; }
inline constexpr TLineBreakStyle DefaultLineBreakStyle() { return brMixed; }

// Line states kept per line: what happened to the line since the table was built.
inline constexpr uint8_t lsUnchanged = 0;
inline constexpr uint8_t lsModified = 1;
inline constexpr uint8_t lsAdded = 2;

// After every change: pos is the 0-based offset of the change, count the characters inserted
// (> 0) or deleted (< 0), lineChange the line count after minus before. Whole-text changes
// (SetTextStr, Clear, LoadFromStream) report (-1, 0, 0).
using TTextChangeEvent = std::function<void(TObject* sender, int pos, int count, int lineChange)>;
// Called while loading, after the byte-order mark was examined; may change the format.
using TDetectFormatEvent =
    std::function<void(TObject* sender, TStream& stream, TTextFormat& format)>;

// The text and its line table.
//
// Invariant: LineStarts() always equals GetLineStarts(Text()), a full rebuild of the current
// text, whatever edits produced it. Lines end at CR, LF or CR LF only; VT, FF, NEL, LS and PS
// stay inside a line (LineLength still strips them from a line's end). An empty text has no
// lines; a text ending with a break has an empty last line. LineStates() and, when attached,
// the line objects hold exactly one entry per line.
//
// Costs: an edit moves the text behind the edit (one memmove), shifts the line starts behind
// it and scans only the inserted characters plus one or two at its boundaries; whole-text
// operations rebuild the table. Offset-to-line conversion is a bisection, O(log lines).
//
// Copied only through Assign.
class TSyntMemoStrings : public TWideStrings {
public:
  TSyntMemoStrings() = default;
  TSyntMemoStrings(const TSyntMemoStrings&) = delete;
  TSyntMemoStrings& operator=(const TSyntMemoStrings&) = delete;
  const char* ClassName() const override { return "TSyntMemoStrings"; }

  // --- The text ------------------------------------------------------------------------------
  const std::u16string& Text() const { return FText; }
  int TextLength() const { return static_cast<int>(FText.size()); }
  // Inserts s at offset pos (clamped to 0..TextLength). An insert between a CR and its LF
  // goes behind the LF: a CR LF pair is never split. Nothing happens for an empty s.
  void InsertText(std::u16string_view s, int pos);
  // Deletes the characters of [pos, pos + count) that lie inside the text. Nothing happens,
  // and nothing is notified, when none do (count <= 0 included).
  void DeleteText(int pos, int count);
  // X the 0-based column, Y the 0-based line of offset pos. An offset inside a line break
  // gives the end of the line's visible text; pos <= 0 gives (0, 0); an offset past the end
  // gives the end of the last line.
  TPoint StrPosToCaretPos(int pos) const;
  // The characters of the window starting at 1-based index, count long, that lie inside the
  // text (so an index below 1 loses the part of the window before the text).
  std::u16string SubText(int index, int count) const;

  // --- Lines ---------------------------------------------------------------------------------
  const std::vector<int>& LineStarts() const { return FLineStarts; }
  // Offset of line i's first character; 0 for a bad index.
  int LineStart(int i) const;
  // Characters from line i's start to the next line's start (its break included); 0 for a
  // bad index.
  int LineSpan(int i) const;
  // LineSpan without the whole run of line-break characters (all seven) at its end; 0 for a
  // bad index.
  int LineLength(int i) const;

  // lsUnchanged for lines of a full rebuild, lsModified, lsAdded; 0 for a bad index.
  uint8_t LineState(int i) const;
  const std::vector<uint8_t>& LineStates() const { return FLineStates; }
  // For the owner that resets the states. Raises EListError for a bad index.
  void SetLineState(int i, uint8_t value);

  // Line objects are not owned. Attaching creates one nil per line; detaching drops them.
  bool HasLineObjects() const { return FHasLineObjects; }
  void SetHasLineObjects(bool value);
  // One entry per line while attached, else empty.
  const std::vector<TObject*>& LineObjects() const { return FLineObjects; }

  // --- File format ---------------------------------------------------------------------------
  TTextFormat TextFormat() const { return FTextFormat; }
  void SetTextFormat(TTextFormat value) { FTextFormat = value; }
  TLineBreakStyle LineBreakStyle() const { return FLineBreakStyle; }
  void SetLineBreakStyle(TLineBreakStyle value) { FLineBreakStyle = value; }
  // True: SaveToStream writes no mark, and loading a file without a mark keeps TextFormat.
  bool NoSignature() const { return FNoSignature; }
  void SetNoSignature(bool value) { FNoSignature = value; }
  // Character set of 8-bit files when CodePage is 0 (1: the system ANSI code page).
  uint8_t Charset() const { return FCharset; }
  void SetCharset(uint8_t value) { FCharset = value; }
  int CodePage() const { return FCodePage; }
  void SetCodePage(int value) { FCodePage = value; }

  TTextChangeEvent OnTextChange;
  TDetectFormatEvent OnDetectFormat;

  // --- The wide string list ------------------------------------------------------------------
  // The line without its trailing break run; empty for a bad index.
  std::u16string Get(int index) const override;
  int GetCount() const override { return static_cast<int>(FLineStarts.size()); }
  // Replaces the line's visible text, keeping its break. Raises EListError for a bad index.
  void Put(int index, const std::u16string& s) override;
  // s + CR LF before line index; at index Count(): CR LF + s at the end (s alone when the
  // store is empty). Raises EStringListError "Index %d is out of range" outside 0..Count().
  void Insert(int index, const std::u16string& s) override;
  // Removes the line with its break; the last line goes with the break before it. Raises
  // EListError for a bad index.
  void Delete(int index) override;
  void Clear() override;
  // Nil without line objects or for a bad index.
  TObject* GetObject(int index) const override;
  // Ignored without line objects or for an index that has no line.
  void PutObject(int index, TObject* obj) override;
  // The text, unchanged (no break is added after the last line).
  std::u16string GetTextStr() const override;
  // Stores the text unchanged and rebuilds the table.
  void SetTextStr(std::u16string_view text) override;
  // The same, taking the string over instead of copying it.
  void TakeTextStr(std::u16string&& text);
  using TWideStrings::AddStrings;
  // Appends the source's text (GetTextStr), on a line of its own unless the last line here
  // is empty, then its objects.
  void AddStrings(const TWideStrings& strings) override;
  // The base's copy, then without the break after the last line.
  void Assign(const TPersistent* source) override;
  // Mark, optional OnDetectFormat, text, table rebuild and line-break style detection.
  void LoadFromStream(TStream& stream) override;
  // Mark unless NoSignature, the text in TextFormat with line ends in LineBreakStyle.
  void SaveToStream(TStream& stream) override;
  // "Strings": the lines as UTF-8 8-bit strings, in place of the base's two properties.
  void DefineProperties(TFiler& filer) override;

private:
  void RebuildLines();
  void DetectLineBreakStyle();
  void Notify(int pos, int count, int lineChange);
  // True when a line starts at offset (0 < offset <= TextLength) of the current text.
  bool LineStartsAt(int offset) const;
  // Marks line i modified unless it is added.
  void MarkModified(int i);
  // Resizes the entries [first, last) of the state and object lists to count entries.
  void SpliceLineData(int first, int last, int count);
  bool LinesEqual(const TSyntMemoStrings& other) const;

  std::u16string FText;
  std::vector<int> FLineStarts;
  std::vector<uint8_t> FLineStates;
  std::vector<TObject*> FLineObjects;  // one per line while FHasLineObjects, else empty
  bool FHasLineObjects = false;
  TTextFormat FTextFormat = DefaultTextFormat();
  TLineBreakStyle FLineBreakStyle = DefaultLineBreakStyle();
  bool FNoSignature = false;
  uint8_t FCharset = 1;
  int FCodePage = 0;
};

}  // namespace qv
