// The analysis of one text as a host sees it: results plus the block ranges, line breaks and
// open-range stack the block rules write; analysis synchronously to a position or to the end,
// or from an idle timer that keeps the GUI alive between tokens; the completion thread that
// builds the display ranges of finished results; dynamic highlighting at a caret; and the
// cut-back after an edit that lets analysis resume just before it.
#pragma once

#include <algorithm>
#include <climits>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "framework/ExtCtrls.h"
#include "framework/Threads.h"
#include "syntax/qvLists.h"
#include "syntax/qvParserResults.h"

namespace qv {

class TClientSyntAnalyzer;
class TSyntFinishThread;

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

// Lets the GUI thread handle pending messages between two analysis steps of obj (after every
// token of the idle analysis). Every 10000th call also runs one message or, when none is
// pending, the application's idle handling. Answers 2 when obj was destroyed meanwhile (its
// destructor called PumpForget), 1 when the application is terminating, else 0; on a non-zero
// answer the caller must not touch obj again. An exception of a handler propagates after the
// bookkeeping.
int PumpMessages(const void* obj);
// Tells PumpMessages that obj is gone.
void PumpForget(const void* obj);

// What a client shares with its completion thread: the lock over the client's results and the
// link to the running thread. Either may end before the other, so both hold it.
struct TFinishShared {
  TCriticalSection CritSec;
  std::mutex LinkLock;
  TSyntFinishThread* Thread = nullptr;  // under LinkLock: the thread still to hand over, or null
};

// Results of one text with block ranges. Created by the analyzer's AddClient; the caller owns
// it and frees it before the analyzer.
//
// Incremental analysis. After an edit the host calls TextChanged, and the client cuts its
// results back to the last point the edit cannot have influenced; the idle timer (or
// AppendToPos) carries on from there, so the results equal those of a fresh analysis of the
// new text. What makes the point safe:
// - Reach: every match a step runs (token rules, sub-lexer start and end expressions, the
//   white-space skip, the end-of-text test) reports the furthest position it examined; the
//   client keeps the running maximum. Steps whose running maximum lies before the edit read
//   nothing the edit changed, and everything they did depends only on the steps before them.
// - Checkpoints: every CheckpointSteps steps the client notes where it stands (step count,
//   tokens, scan position, reach, state set, sub-lexer ranges, state history). The cut goes
//   to the last checkpoint whose reach lies before the edit.
// - Journals: what steps do to older records is logged so it can be undone in reverse: a
//   sub-lexer range closed and a token marked by a tag-detect rule while tokenising (the
//   step journal, keyed by step), and block ranges added or closed, tokens marked and line
//   breaks added by the block rules (the block journal, keyed by step, or, while the block
//   rules are deferred, by the token count the pass ran for). Finished logs under the key
//   kAtEnd, so any cut undoes it.
// - Deferred block rules run after the text is tokenised, against the final state set and
//   with no open range visible to the tokeniser. So after a cut the pass keeps only the
//   counts whose tokens (and their tag-detect marks) are unchanged, the tokeniser sees an
//   empty open-range stack until the pass resumes (Parked), and the pass starts over when
//   the final state set differs from the one it ran with.
// - Removed block ranges that display ranges still point to are kept (retired) until new
//   display ranges replace those; the others are freed by the next idle tick, so that the
//   edit itself costs little more than the undoing.
// - Marks on a token the running step made are not logged: the token goes with the step.
// Handlers (OnParseToken, OnMatchToken, OnBlockCheck) are taken to read no further than
// one character past the token they answer for.
class TClientSyntAnalyzer : public TParserResults {
public:
  TClientSyntAnalyzer(TSyntAnalyzer* owner, TSourceProc srcProc,
                      std::shared_ptr<IqvSyntClient> syntClient);
  ~TClientSyntAnalyzer() override;
  const char* ClassName() const override { return "TClientSyntAnalyzer"; }

  // Forgets all results (also the display ranges); the text is analysed from its start.
  void Clear() override;
  // The end was reached: open sub-lexer ranges with ToTextEnd end at the text's end, open
  // EndOfTextClose ranges close, and the completion thread starts.
  void Finished() override;
  void CloseAtEnd(int fromIdx) override;
  TClientSyntAnalyzer* AsClient() override { return this; }
  // The state gating, and the parent-block condition: HasParent differs from NotParent.
  bool IsEnabled(const TRuleCollectionItem* rule, bool onlyGlobal) const override;
  bool HasParent(const TRuleCollectionItem* rule, const TTagBlockCondition* block, bool strict) const;

  // Analyses the whole text now. With resetContent, from the start and with block rules run
  // after every token. Does nothing when the analysis is finished.
  void Analyze(bool resetContent);
  // Analyses until the text up to offset pos is covered (the next scan position lies beyond
  // pos + 1), or to the end. At the end: Finished, or, while block rules are deferred, the
  // idle timer, which runs their pass and then Finished.
  void AppendToPos(int pos);
  // The idle timer's event: analysis to the end in one go, handling GUI messages after every
  // token, then the deferred block pass and Finished.
  void IdleTick();
  // Enables the idle timer with the owner's delay, unless the analysis is finished.
  void RestartTimer() override;
  // The deferred block pass from where it stands to the last token, at once.
  void RunDeferredBlockPass();

  // --- Edits ------------------------------------------------------------------------------
  // The text changed at offset pos: count characters inserted (> 0) or removed (< 0); pos -1
  // for a change of the whole text. Call it after every change of the line store (its
  // OnTextChange passes these values on). Stops the completion thread, cuts the results back
  // before the change and restarts the idle timer.
  void TextChanged(int pos, int count);
  // Where analysis would resume after an edit at offset pos now (1-based scan position), for
  // a host that wants to know how much will be analysed again.
  int ResumePosFor(int pos) const;

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
  // Token refIdx becomes the rule's (and takes its TokenType when that is 0 or more); fromPass
  // tells a block rule's marking from a tag-detect rule's run while tokenising.
  bool TagDetect(TTagBlockCondition* rule, int refIdx, bool fromPass = true);
  int BlockPassMarker() const { return FBlockPassMarker; }
  void SetBlockPassMarker(int value) { FBlockPassMarker = value; }
  bool FirstAnalysisDone() const { return FFirstAnalysisDone; }
  bool IdleBusy() const { return FIdleBusy; }
  bool MustStop() const { return FMustStop; }
  TTimer& IdleTimer() const { return *FIdleTimer; }

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

  // --- The completion thread ------------------------------------------------------------------
  // The running completion thread, or null. Only good in the GUI thread, until control
  // returns to the loop.
  TSyntFinishThread* FinishThread() const;
  // Detaches the completion thread and asks it to stop; does not wait for it.
  void StopThread();
  // The completion thread's OnDone: takes its display ranges over and tells the host.
  void ThreadFinished(TObject* sender);
  void Lock() const { FShared->CritSec.Enter(); }
  void Unlock() const { FShared->CritSec.Leave(); }
  const std::shared_ptr<TFinishShared>& Shared() const { return FShared; }

  // Steps between two checkpoints of the incremental analysis (64 by default): fewer cost
  // memory, more cost analysis again after an edit. Takes effect from the next step.
  int CheckpointSteps() const { return FCheckpointSteps; }
  void SetCheckpointSteps(int value) { FCheckpointSteps = std::max(value, 1); }

  // --- For the analysis steps ------------------------------------------------------------
  // Called by the step at its start and end (see TParserResults).
  void StepStarted() override;
  void StepDone() override;
  void SubLexerClosed(int index) override;

protected:
  // Takes over newly built display ranges (built is left empty) and tells the host.
  void TakeOver(TDisplayRanges& built);

private:
  // Where the results stood after a step.
  struct TCheckpoint {
    int Step;
    int Tokens;
    int Pos;    // the 1-based scan position the next step starts at
    int Reach;  // the running maximum of the positions examined
    uint32_t State;
    int SubLexers;
    int StateChanges;
  };
  struct TStepUndo {
    enum TKind : uint8_t { kSubLexerClosed, kTokenMarked } Kind;
    int Time;
    int Index;  // the sub-lexer range, or the token
    int OldType;
    TRuleCollectionItem* OldRule;
  };
  // The range's own Index and key are copied in, so that undoing the ranges that go reads
  // nothing of them: after a large cut they are cold in the cache.
  struct TBlockUndo {
    enum TKind : uint8_t { kRangeAdded, kRangeClosed, kTokenMarked, kLineBreak } Kind;
    int Time;
    TTextRange* Range;
    int Index;  // kRangeAdded/kRangeClosed: place on the open-range stack (-1 none); token
    int RangeIndex, StartPos;          // kRangeAdded/kRangeClosed: the range's Index and key
    int StartIdx, EndIdx, EndCondIdx;  // kRangeClosed: the values before; kTokenMarked: EndIdx = type
    TRuleCollectionItem* OldRule;
  };
  static constexpr int kAtEnd = INT_MAX;  // journal key of what Finished does

  void ClearBlocks();
  void ResetIncremental();
  bool Deferred() const;
  // The checkpoint an edit at offset pos goes back to.
  const TCheckpoint& CutPoint(int pos) const;
  void CutBack(const TCheckpoint& c);
  // Undoes the block journal down to time, restoring tokens below keepTokens; the ranges it
  // added leave the results (see FDiscarded).
  void UndoBlocks(int time, int keepTokens = INT_MAX);
  // Frees the discarded ranges nothing points to; the others join the retired ones.
  void SortOutDiscarded();
  void UndoSteps(int time);
  void LogClose(TTextRange* range, int stackIndex);
  // Before the deferred pass runs: the tokeniser's view ends, and a pass that ran with
  // another final state set starts over.
  void BeginDeferredPass();
  // One count of the deferred pass.
  void DeferredPassStep(int count);
  void ReleaseRetired();

  std::shared_ptr<TFinishShared> FShared;
  std::vector<std::unique_ptr<TLineBreak>> FLineBreaks;
  TSortedList FRanges{true};
  TSortedList FOpenedBlocks{false};
  bool FMustStop = false;
  bool FIdleBusy = false;
  std::unique_ptr<TTimer> FIdleTimer;
  int FDynPos = 0;
  bool FDynExcludeEnd = false;
  TDisplayRanges FDisplay;
  std::vector<TTextRange*> FDynHighlighted;  // not owned
  TChangeFixer FChangeFixer;
  int FBlockPassMarker = 0;
  bool FFirstAnalysisDone = false;

  // Incremental analysis (see the class comment).
  int FCheckpointSteps = 64;
  int FStep = 0;             // steps run since the results began
  int FJournalTime = 0;      // key of block-journal entries made now
  bool FDeferredRun = false;  // the results were made with deferred block rules
  bool FParked = false;       // the tokeniser sees no open range (deferred pass pending)
  uint32_t FPassState = 0;    // the state set the deferred pass ran with
  std::vector<TCheckpoint> FCheckpoints;
  std::vector<TStepUndo> FStepJournal;
  std::vector<TBlockUndo> FBlockJournal;
  std::vector<std::unique_ptr<TTextRange>> FRetired;
  // Removed by a cut and not yet looked at: sorted out by the next idle tick.
  std::vector<std::unique_ptr<TTextRange>> FDiscarded;
  int FStepTokens = 0;  // tokens before the running step
};

// Builds a finished client's display ranges off the GUI thread and hands them over to it
// (the client's ThreadFinished, as OnDone). Made only by the client's Finished, through
// TThread::Create; it frees itself. A stopped thread hands nothing over and frees what it
// built.
class TSyntFinishThread : public TThread {
public:
  TSyntFinishThread(TCreateKey key, TClientSyntAnalyzer* client);
  ~TSyntFinishThread() override;
  const char* ClassName() const override { return "TSyntFinishThread"; }

  TClientSyntAnalyzer* Client() const { return FClient; }
  // The five collections; the client takes them over in ThreadFinished.
  TDisplayRanges& Ranges() { return FRanges; }

protected:
  void Run() override;

private:
  TClientSyntAnalyzer* FClient;  // not owned; read only under the lock and while not stopped
  std::shared_ptr<TFinishShared> FShared;
  TDisplayRanges FRanges;
};

}  // namespace qv
