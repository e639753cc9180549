// What the analysis of one text produces: the token source every block condition and
// grammar rule reads, the records of tokens, block ranges, sub-lexer ranges and line breaks,
// the display records built from finished results, and the per-text results object that an
// analyzer's steps fill.
//
// Positions: token and range bounds are 0-based character offsets with exclusive ends; scan
// positions handed between analysis steps are 1-based; token indexes count from 0.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "framework/Classes.h"
#include "syntax/qvLists.h"
#include "syntax/qvSyntItems.h"

namespace qv {

class TSyntAnalyzer;
class TClientSyntAnalyzer;
class TSyntMemoStrings;
class TRuleCollectionItem;
class TTokenRule;
class TTagBlockCondition;
class TSubAnalyzerRule;
class TSyntaxFormat;

inline constexpr const char* SNoSourceProc = "Source procedure not passed from syntax server";

// A sequence of tokens: how many, the type of each, and its characters.
class TTokenHolder : public TObject {
public:
  const char* ClassName() const override { return "TTokenHolder"; }
  virtual int TokenCount() const = 0;
  virtual int TokenType(int index) const = 0;
  virtual std::u16string TagStr(int index) const = 0;
  // Characters of the token; holders that know it without reading the text say so.
  virtual int TagLength(int index) const { return static_cast<int>(TagStr(index).size()); }
  // The token's characters without a copy, when the holder can give them; empty otherwise
  // (and for an empty token). Valid until the text changes.
  virtual std::u16string_view TagView(int index) const { (void)index; return {}; }
  // A token's type, length, and first and last units (0 when it is empty or the holder
  // cannot tell) in one call, for tests that look at many tokens and rarely further.
  struct TBrief {
    int Type;
    int Length;
    char16_t First;
    char16_t Last;
  };
  virtual TBrief Brief(int index) const {
    const std::u16string_view view = TagView(index);
    return {TokenType(index), TagLength(index), view.empty() ? u'\0' : view.front(),
            view.empty() ? u'\0' : view.back()};
  }
};

// The host of an analysed text (an editor): told when the lexer's configuration changed and
// when new display ranges are ready.
class IqvSyntClient {
public:
  virtual ~IqvSyntClient() = default;
  virtual void FormatChanged() = 0;
  virtual void AnalysisFinished() = 0;
};

// Gives the line store of the analysed text; called whenever the text is needed.
using TSourceProc = std::function<TSyntMemoStrings*()>;

// --- Records ---------------------------------------------------------------------------------

// A token: its characters, type, and the rule that made it (the token rule, or the tag-detect
// block rule that marked it since).
class TSyntToken final : public TRange {
public:
  // TokenType is the rule's; a null rule gives type 0.
  TSyntToken(TTokenRule* rule, int startPos, int endPos);
  TSyntToken(TRuleCollectionItem* rule, int tokenType, int startPos, int endPos)
      : TRange(startPos, endPos), TokenType(tokenType), Rule(rule) {}
  // The token's characters in source.
  std::u16string GetStr(std::u16string_view source) const;

  // A token is made for every step and freed as soon as the token list has copied it: each
  // thread keeps the last freed one for the next.
  static void* operator new(std::size_t size);
  static void operator delete(void* p, std::size_t size) noexcept;
  // Placement, for the token list's blocks.
  static void* operator new(std::size_t, void* where) noexcept { return where; }
  static void operator delete(void*, void*) noexcept {}

  int TokenType;
  TRuleCollectionItem* Rule;  // not owned
};

// A block range between two tokens, keyed by the offset of its first token. Open while
// EndIdx is -1.
class TTextRange : public TSortedItem {
public:
  TTextRange(int startIdx, int startPos) : StartIdx(startIdx), StartPos(startPos) {}
  int GetKey() const override { return StartPos; }
  bool IsClosed() const { return EndIdx != -1; }

  TTagBlockCondition* Rule = nullptr;  // not owned; the rule that opened the range
  int StartIdx;
  int EndIdx = -1;
  int IdentIdx = 0;
  int StartPos;
  TTextRange* Parent = nullptr;  // not owned; the innermost range open when it was added
  int CondIdx = 0;
  int EndCondIdx = -1;
  int Index = -1;  // its place in the client's range list when it was added
  // Display ranges were built pointing to it (written under the client's lock): after an
  // edit removes it, it lives on until those display ranges are replaced.
  bool Shown = false;
};

// A stretch analysed by a sub-lexer. EndPos and CondEndPos are -1 while it is open.
class TSubLexerRange : public TRange {
public:
  TSubLexerRange(int startPos, int endPos) : TRange(startPos, endPos) {}
  TSubAnalyzerRule* Rule = nullptr;  // not owned
  int CondEndPos = -1;               // just after the end expression
  int CondStartPos = 0;              // where the start expression begins
};

// A line break a block rule asked for at a token.
class TLineBreak : public TObject {
public:
  const char* ClassName() const override { return "TLineBreak"; }
  int RefIdx = 0;
  int Line = 0;  // 0-based line at which the break is drawn
  TTagBlockCondition* Rule = nullptr;  // not owned
};

// Display records, built from finished results and held in range collections.
class TLineBreakRange : public TRange {
public:
  TLineBreakRange(int startPos, int endPos) : TRange(startPos, endPos) {}
  TTagBlockCondition* Rule = nullptr;  // not owned
};

class TBlockStaple : public TRange {
public:
  TBlockStaple(int startPos, int endPos) : TRange(startPos, endPos) {}
  int Extra = -1;
  TTagBlockCondition* Rule = nullptr;  // not owned
};

// Flags of a styled range.
inline constexpr uint8_t srfHighlight = 1;     // the rule's Highlight is set
inline constexpr uint8_t srfOutOfRange = 2;    // the rule's HighlightPos is cpOutOfRange
inline constexpr uint8_t srfInvertColors = 4;  // the rule's InvertColors is set
inline constexpr uint8_t srfSubLexerBody = 8;  // the body of a sub-lexer range

class TStyledRange : public TRange {
public:
  TStyledRange(int startPos, int endPos, TSyntaxFormat* style)
      : TRange(startPos, endPos), Style(style) {}
  TTextRange* TextRange = nullptr;  // not owned
  TSyntaxFormat* Style;             // not owned
  uint8_t Flags = 0;
};

class TDynoRange : public TRange {
public:
  // Rule is the text range's rule when that has DynSelectMin, else null.
  TDynoRange(int startPos, int endPos, TTextRange* textRange);
  TTextRange* TextRange;               // not owned
  TTagBlockCondition* Rule = nullptr;  // not owned
};

class TCollapsibleRange : public TRange {
public:
  TCollapsibleRange(int rangeIdx, int startPos, int endPos)
      : TRange(startPos, endPos), RangeIdx(rangeIdx) {}
  int RangeIdx;  // index of the block's range in the client's range list
};

// The tokens of a text in text order, each owned. Tokens live by value in blocks of a fixed
// size: appending allocates once a block, an index is found without a pointer table, and
// cutting the list back (TruncateTo) frees nothing token by token; the blocks stay for the
// tokens that come next. A token's address is stable while it is in the list.
class TTokenList {
public:
  TTokenList() = default;
  ~TTokenList();
  TTokenList(const TTokenList&) = delete;
  TTokenList& operator=(const TTokenList&) = delete;

  int Count() const { return FCount; }
  // Raises EListError "List index out of bounds (%d)" for a bad index.
  TSyntToken* Items(int index) const {
    if (static_cast<unsigned>(index) >= static_cast<unsigned>(FCount)) IndexError(index);
    return Slot(index);
  }
  // Appends a copy of the token's fields.
  TSyntToken* Add(TRuleCollectionItem* rule, int tokenType, int startPos, int endPos);
  // Keeps the first count tokens (0 <= count <= Count()).
  void TruncateTo(int count);
  // Removes every token and frees the blocks.
  void Clear();

  // Index of the last token with StartPos <= pos, or -1.
  int RangeAt(int pos) const;
  // Index of the token containing pos, else of the first token after pos, else -1.
  int NextAt(int pos) const;

private:
  static constexpr int kBlockShift = 10;
  static constexpr int kBlockSize = 1 << kBlockShift;  // tokens a block
  struct TBlock {
    alignas(TSyntToken) unsigned char Bytes[sizeof(TSyntToken) * kBlockSize];
  };
  TSyntToken* Slot(int index) const {
    return reinterpret_cast<TSyntToken*>(FBlocks[static_cast<size_t>(index >> kBlockShift)]->Bytes) +
           (index & (kBlockSize - 1));
  }
  [[noreturn]] static void IndexError(int index);

  std::vector<std::unique_ptr<TBlock>> FBlocks;
  int FCount = 0;
  mutable int FLastIndex = 0;  // search hint of RangeAt
};

// One entry of the state history: from token index TokenIndex on, the state set is State.
struct TStateChange {
  int TokenIndex;
  uint32_t State;
};

// --- Results -----------------------------------------------------------------------------

// The results of analysing one text with a main analyzer (Owner). It reads the text only
// through the source procedure and keeps no copy of it. It registers with its owner for its
// lifetime and must be destroyed before it.
class TParserResults : public TTokenHolder {
public:
  // Raises Exception "Source procedure not passed from syntax server" (registering nothing)
  // when srcProc is empty or gives no line store.
  TParserResults(TSyntAnalyzer* owner, TSourceProc srcProc,
                 std::shared_ptr<IqvSyntClient> syntClient);
  ~TParserResults() override;
  TParserResults(const TParserResults&) = delete;
  TParserResults& operator=(const TParserResults&) = delete;
  const char* ClassName() const override { return "TParserResults"; }

  // TTokenHolder
  int TokenCount() const override { return FTokenList.Count(); }
  int TokenType(int index) const override { return Tags(index)->TokenType; }
  // The token's characters, read from the current text.
  std::u16string TagStr(int index) const override;
  int TagLength(int index) const override { return Tags(index)->EndPos - Tags(index)->StartPos; }
  std::u16string_view TagView(int index) const override;
  TBrief Brief(int index) const override;
  // The brief of token in text (null: no text to tell the ends from).
  static TBrief BriefOf(const TSyntToken& token, const std::u16string* text);

  // Raises EListError for a bad index.
  TSyntToken* Tags(int index) const { return static_cast<TSyntToken*>(FTokenList.Items(index)); }
  const TTokenList& TokenList() const { return FTokenList; }
  // Appends the token (its fields are copied into the list).
  void AddToken(std::unique_ptr<TSyntToken> token);
  TSyntToken* AddToken(TRuleCollectionItem* rule, int tokenType, int startPos, int endPos) {
    return FTokenList.Add(rule, tokenType, startPos, endPos);
  }

  // Closes open block ranges whose rule has EndOfTextClose (from token fromIdx on when
  // fromIdx is not 0).
  virtual void CloseAtEnd(int fromIdx) = 0;
  // This object as the client analyzer it is, or null (a type test without a cast).
  virtual TClientSyntAnalyzer* AsClient() { return nullptr; }
  // The end of the text was reached.
  virtual void Finished() { FIsFinished = true; }
  // Rule gating by Enabled, AlwaysEnabled (when onlyGlobal) and the state masks.
  virtual bool IsEnabled(const TRuleCollectionItem* rule, bool onlyGlobal) const {
    return rule && rule->GatesOpen(FCurState, onlyGlobal);
  }
  // Forgets tokens, sub-lexer ranges and the state history; CurState 0.
  virtual void Clear();
  // Restarts the idle analysis after a Clear; nothing here.
  virtual void RestartTimer() {}
  // Tells the host that the styles changed, when there is a host.
  void FormatChanged();

  TSyntAnalyzer* Owner() const { return FOwner; }
  TSyntMemoStrings* Source() const;
  IqvSyntClient* SyntClient() const { return FSyntClient.get(); }
  bool IsFinished() const { return FIsFinished; }

  const std::vector<std::unique_ptr<TSubLexerRange>>& SubLexerBlocks() const { return FSubLexerBlocks; }
  TSubLexerRange* AddSubLexerRange(std::unique_ptr<TSubLexerRange> range);
  uint32_t CurState() const { return FCurState; }
  void SetCurState(uint32_t value) { FCurState = value; }
  const std::vector<TStateChange>& StateChanges() const { return FStateChanges; }
  int LastAnalPos() const { return FLastAnalPos; }
  void SetLastAnalPos(int value) { FLastAnalPos = value; }

  // Where analysis continues (1-based): after the last token, or LastAnalPos when later.
  int ParserPos() const;
  // Records CurState for the next token when it differs from the last recorded state.
  void SaveState();
  // CurState after the rule fired.
  void ApplyStates(const TRuleCollectionItem* rule);

  // One analysis step at the 1-based pos on behalf of the owner: sub-lexer ranges closed and
  // opened, white space skipped, a token extracted, block rules run. pos becomes the next
  // scan position. True when the end of the text was reached (no token was looked for).
  bool ExtractTag(std::u16string_view text, int& pos);

  // The furthest 1-based position any step has examined (TextLength + 1 once a step looked
  // at the end of the text); the matches of a step report theirs here.
  int ScanReach() const { return FScanReach; }
  void NoteReach(int pos) {
    if (pos > FScanReach) FScanReach = pos;
  }
  // Around every step that did not end the text (for the bookkeeping of edits); nothing here.
  virtual void StepStarted() {}
  virtual void StepDone() {}
  // The step closed sub-lexer range index (of SubLexerBlocks); nothing here.
  virtual void SubLexerClosed(int index) { (void)index; }

protected:
  void SetFinished(bool value) { FIsFinished = value; }
  void SetScanReach(int value) { FScanReach = value; }
  // Drops the tokens from count on, the sub-lexer ranges from subLexers on and the state
  // history from entry stateChanges on.
  void TruncateResults(int count, int subLexers, int stateChanges);
  std::vector<std::unique_ptr<TSubLexerRange>>& MutableSubLexerBlocks() { return FSubLexerBlocks; }

private:
  TSyntAnalyzer* FOwner;  // not owned
  TSourceProc FSrcProc;
  std::shared_ptr<IqvSyntClient> FSyntClient;
  bool FIsFinished = false;
  std::vector<std::unique_ptr<TSubLexerRange>> FSubLexerBlocks;
  TTokenList FTokenList;
  uint32_t FCurState = 0;
  std::vector<TStateChange> FStateChanges;
  int FLastAnalPos = 0;
  int FScanReach = 0;
};

}  // namespace qv
