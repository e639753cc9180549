// The analysis of one text as a host sees it: results plus the block ranges, line breaks and
// open-range stack the block rules write, synchronous analysis to a position or to the end,
// the display ranges built from finished results, and dynamic highlighting at a caret.
#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "syntax/qvLists.h"
#include "syntax/qvParserResults.h"

namespace qv {

class TClientSyntAnalyzer;

// The five display-range collections built from finished results.
struct TDisplayRanges {
  TDisplayRanges();
  ~TDisplayRanges();
  std::unique_ptr<TRangeCollection> StyledRanges;     // TStyledRange
  std::unique_ptr<TRangeCollection> DynoRanges;       // TDynoRange
  std::unique_ptr<TRangeCollection> Collapsibles;     // TCollapsibleRange
  std::unique_ptr<TRangeCollection> Staples;          // TBlockStaple
  std::unique_ptr<TRangeCollection> LineBreakRanges;  // TLineBreakRange
};

// Builds the display ranges of a client's finished results into out (which starts empty):
// sub-lexer body styles, then per block range its staple, collapsible range and dynamic
// highlighting, then the line-break ranges. stopRequested is polled before each record;
// false when it stopped the work. The caller holds the client's lock.
bool BuildDisplayRanges(const TClientSyntAnalyzer& client, TDisplayRanges& out,
                        const std::function<bool()>& stopRequested);

// Maps a position in the current text back to where it was in the text of the last completed
// analysis, through the edits made since.
class TChangeFixer {
public:
  struct TChange {
    int Pos;    // 0-based offset of the change
    int Count;  // characters inserted (positive) or removed (negative)
  };
  void Add(int pos, int count) { FChanges.push_back({pos, count}); }
  void Clear() { FChanges.clear(); }
  const std::vector<TChange>& Changes() const { return FChanges; }
  int CurToFixed(int pos) const;

private:
  std::vector<TChange> FChanges;
};

// Results of one text with block ranges. Created by the analyzer's AddClient; the caller owns
// it and frees it before the analyzer.
class TClientSyntAnalyzer : public TParserResults {
public:
  TClientSyntAnalyzer(TSyntAnalyzer* owner, TSourceProc srcProc,
                      std::shared_ptr<IqvSyntClient> syntClient);
  ~TClientSyntAnalyzer() override;
  const char* ClassName() const override { return "TClientSyntAnalyzer"; }

  // Forgets all results (also the display ranges); the text is analysed from its start.
  void Clear() override;
  // The end was reached: open sub-lexer ranges with ToTextEnd end at the text's end, open
  // EndOfTextClose ranges close, and the display ranges are completed.
  void Finished() override;
  void CloseAtEnd(int fromIdx) override;
  // The state gating, and the parent-block condition: HasParent differs from NotParent.
  bool IsEnabled(const TRuleCollectionItem* rule, bool onlyGlobal) const override;
  bool HasParent(const TRuleCollectionItem* rule, const TTagBlockCondition* block, bool strict) const;

  // Analyses the whole text now. With resetContent, from the start and with block rules run
  // after every token. Does nothing when the analysis is finished.
  void Analyze(bool resetContent);
  // Analyses until the text up to offset pos is covered (the next scan position lies beyond
  // pos + 1), or to the end. At the end, when block rules were deferred, their pass runs
  // for the tokens not yet passed, then Finished.
  void AppendToPos(int pos);
  // The deferred block pass: block rules for every token count after BlockPassMarker, by
  // the analyzer whose rule made the token (and the main analyzer).
  void RunDeferredBlockPass();

  // --- Block ranges, as the block rules write them ---------------------------------------
  int RangeCount() const { return FRanges.Count(); }
  TTextRange* Ranges(int index) const { return static_cast<TTextRange*>(FRanges.Items(index)); }
  const TSortedList& OpenedBlocks() const { return FOpenedBlocks; }
  const std::vector<std::unique_ptr<TLineBreak>>& LineBreaks() const { return FLineBreaks; }
  // Adds range with its Index and Parent; an open range joins the open-range stack.
  void AddRange(std::unique_ptr<TTextRange> range);
  // Closes the innermost open range that rule ends at reference token refIdx; false when
  // there is none.
  bool CloseRange(TTagBlockCondition* rule, int refIdx);
  // A line break for token refIdx at the line its LinePos names.
  bool AddLineBreak(TTagBlockCondition* rule, int refIdx);
  // Token refIdx becomes the rule's (and takes its TokenType when that is 0 or more).
  bool TagDetect(TTagBlockCondition* rule, int refIdx);
  int BlockPassMarker() const { return FBlockPassMarker; }
  void SetBlockPassMarker(int value) { FBlockPassMarker = value; }
  bool FirstAnalysisDone() const { return FFirstAnalysisDone; }

  // --- Display ranges ------------------------------------------------------------------------
  const TRangeCollection& StyledRanges() const { return *FDisplay.StyledRanges; }
  const TRangeCollection& DynoRanges() const { return *FDisplay.DynoRanges; }
  const TRangeCollection& Collapsibles() const { return *FDisplay.Collapsibles; }
  const TRangeCollection& Staples() const { return *FDisplay.Staples; }
  const TRangeCollection& LineBreakRanges() const { return *FDisplay.LineBreakRanges; }
  TChangeFixer& ChangeFixer() { return FChangeFixer; }
  // The block ranges highlighted at the caret pos; true when the set changed.
  bool UpdateDynHighlight(int pos, bool excludeEnd);
  const std::vector<TTextRange*>& DynHighlighted() const { return FDynHighlighted; }

  void Lock() const { FCritSec.lock(); }
  void Unlock() const { FCritSec.unlock(); }

protected:
  // Completes the display ranges of finished results. Here they are built at once; a
  // background completion replaces this.
  virtual void CompleteAnalysis();
  // Takes over newly built display ranges and tells the host.
  void TakeOver(TDisplayRanges& built);

private:
  void ClearBlocks();

  std::vector<std::unique_ptr<TLineBreak>> FLineBreaks;
  TSortedList FRanges{true};
  TSortedList FOpenedBlocks{false};
  int FDynPos = 0;
  bool FDynExcludeEnd = false;
  TDisplayRanges FDisplay;
  std::vector<TTextRange*> FDynHighlighted;  // not owned
  TChangeFixer FChangeFixer;
  mutable std::mutex FCritSec;
  int FBlockPassMarker = 0;
  bool FFirstAnalysisDone = false;
};

}  // namespace qv
