// The client analyzer: block ranges and line breaks, analysis synchronously and from the idle
// timer, the hand-over of the completion thread's display ranges, dynamic highlighting, and
// the cut-back after edits.
#include "syntax/qvClientAnalyzer.h"

#include <algorithm>

#include "framework/Forms.h"
#include "framework/TextServices.h"
#include "syntax/qvBlockRules.h"
#include "syntax/qvMemoStrings.h"
#include "syntax/qvSubLexers.h"
#include "syntax/qvSyntAnalyzer.h"
#include "syntax/qvTokenRules.h"

namespace qv {

TDisplayRanges::TDisplayRanges()
    : StyledRanges(std::make_unique<TRangeCollection>()),
      DynoRanges(std::make_unique<TRangeCollection>()),
      Collapsibles(std::make_unique<TRangeCollection>()),
      Staples(std::make_unique<TRangeCollection>()),
      LineBreakRanges(std::make_unique<TRangeCollection>()) {}

TDisplayRanges::~TDisplayRanges() = default;

int TChangeFixer::CurToFixed(int pos) const {
  for (auto it = FChanges.rbegin(); it != FChanges.rend(); ++it) {
    if (pos <= it->Pos) continue;
    if (it->Count > 0 && pos < it->Pos + it->Count)
      pos = it->Pos;  // inside inserted text
    else
      pos -= it->Count;
  }
  return pos;
}

// --- The message pump ------------------------------------------------------------------------

namespace {

// Objects whose analysis is pumping messages right now, innermost last; GUI thread only.
std::vector<const void*>& PumpWatchList() {
  static std::vector<const void*> list;
  return list;
}
unsigned PumpCalls = 0;

}  // namespace

int PumpMessages(const void* obj) {
  // Without an application no message can run, so nothing can go meanwhile.
  if (!Application) return 0;
  std::vector<const void*>& watch = PumpWatchList();
  watch.push_back(obj);
  ++PumpCalls;
  std::exception_ptr error;
  try {
    if (Application) {
      Application->ProcessMessages();
      // Now and then a message or the idle handling even when the loop was idle; never a
      // wait, which would hold the analysis up until some unrelated timer fired.
      if (PumpCalls % 10000 == 0) Application->HandleMessage(false);
    }
  } catch (...) {
    error = std::current_exception();
  }
  const auto it = std::find(watch.begin(), watch.end(), obj);
  if (it == watch.end()) return 2;  // destroyed meanwhile: the error has nobody to go to
  watch.erase(it);
  if (error) std::rethrow_exception(error);
  return Application && Application->Terminated() ? 1 : 0;
}

void PumpForget(const void* obj) {
  std::vector<const void*>& watch = PumpWatchList();
  watch.erase(std::remove(watch.begin(), watch.end(), obj), watch.end());
}

// --- Life --------------------------------------------------------------------------------------

TClientSyntAnalyzer::TClientSyntAnalyzer(TSyntAnalyzer* owner, TSourceProc srcProc,
                                         std::shared_ptr<IqvSyntClient> syntClient)
    : TParserResults(owner, std::move(srcProc), std::move(syntClient)),
      FShared(std::make_shared<TFinishShared>()),
      FIdleTimer(std::make_unique<TTimer>(nullptr)) {
  FIdleTimer->SetEnabled(false);
  FIdleTimer->SetInterval(100);
  FIdleTimer->OnTimer = [this](TObject*) { IdleTick(); };
  RestartTimer();
}

TClientSyntAnalyzer::~TClientSyntAnalyzer() {
  StopThread();
  PumpForget(this);
  // A stopped thread may still be inside its run; it reads nothing of ours once it has seen
  // the stop, which it looks at right after taking the lock and before every record.
  { TCriticalSectionGuard wait(FShared->CritSec); }
  FIdleTimer.reset();
  FDynHighlighted.clear();
  FOpenedBlocks.Clear();
}

void TClientSyntAnalyzer::ClearBlocks() {
  FDynHighlighted.clear();
  FOpenedBlocks.Clear();
  FRanges.Clear();
  FLineBreaks.clear();
  FDisplay.StyledRanges->Clear();
  FDisplay.DynoRanges->Clear();
  FDisplay.Collapsibles->Clear();
  FDisplay.Staples->Clear();
  FDisplay.LineBreakRanges->Clear();
  FChangeFixer.Clear();
  FRetired.clear();
  FDiscarded.clear();
}

void TClientSyntAnalyzer::ResetIncremental() {
  FStep = 0;
  FJournalTime = 0;
  FDeferredRun = false;
  FParked = false;
  FPassState = 0;
  FCheckpoints.clear();
  FStepJournal.clear();
  FBlockJournal.clear();
}

void TClientSyntAnalyzer::Clear() {
  StopThread();
  {
    TCriticalSectionGuard guard(FShared->CritSec);
    TParserResults::Clear();
    FFirstAnalysisDone = false;
    ClearBlocks();
    SetFinished(false);
    FMustStop = true;
    SetLastAnalPos(0);
    FBlockPassMarker = 0;
    ResetIncremental();
  }
  RestartTimer();
}

void TClientSyntAnalyzer::RestartTimer() {
  if (IsFinished() || !FIdleTimer) return;
  const TSyntAnalyzer* owner = Owner();
  const uint32_t delay = FFirstAnalysisDone ? owner->IdleAppendDelay() : owner->IdleAppendDelayInit();
  FIdleTimer->SetEnabled(false);
  // A timer without an interval never fires: the shortest one stands in for 0.
  FIdleTimer->SetInterval(static_cast<int>(std::clamp<uint32_t>(delay, 1, INT_MAX)));
  FIdleTimer->SetEnabled(true);
}

// --- Gating ------------------------------------------------------------------------------------

bool TClientSyntAnalyzer::HasParent(const TRuleCollectionItem* rule,
                                    const TTagBlockCondition* block, bool strict) const {
  // While the deferred pass waits for the tokeniser, the tokeniser sees no open range, as it
  // would in an analysis from the start.
  const int count = FParked ? 0 : FOpenedBlocks.Count();
  auto opened = [&](int i) { return static_cast<const TTextRange*>(FOpenedBlocks.Items(i)); };
  if (!strict) {
    if (!block) return true;
    for (int i = 0; i < count; ++i)
      if (opened(i)->Rule == block) return true;
    return false;
  }
  if (count == 0) return !block;
  int i = count - 1;
  // A self-closing rule is not its own parent: its newest range is about to be closed.
  const auto* self = dynamic_cast<const TTagBlockCondition*>(rule);
  if (self && self->SelfClose() && opened(i)->Rule == self) --i;
  for (; i >= 0; --i) {
    const TTextRange* range = opened(i);
    if (range->EndIdx == -1 && range->Rule && !range->Rule->IgnoreAsParent())
      return range->Rule == block;
  }
  return false;
}

bool TClientSyntAnalyzer::IsEnabled(const TRuleCollectionItem* rule, bool onlyGlobal) const {
  if (!TParserResults::IsEnabled(rule, onlyGlobal)) return false;
  const TTagBlockCondition* block = rule->Block();
  if (!block && !rule->StrictParent()) return !rule->NotParent();  // any parent will do
  return HasParent(rule, block, rule->StrictParent()) != rule->NotParent();
}

// --- Block ranges ------------------------------------------------------------------------------

void TClientSyntAnalyzer::AddRange(std::unique_ptr<TTextRange> range) {
  TTextRange* r = range.get();
  r->Index = FRanges.Count();
  FRanges.Add(range.release());
  if (FOpenedBlocks.Count() > 0)
    r->Parent = static_cast<TTextRange*>(FOpenedBlocks.Items(FOpenedBlocks.Count() - 1));
  const int stackIndex = r->EndIdx == -1 ? FOpenedBlocks.Add(r) : -1;
  FBlockJournal.push_back(
      {TBlockUndo::kRangeAdded, FJournalTime, r, stackIndex, r->Index, r->StartPos, 0, 0, 0, nullptr});
}

void TClientSyntAnalyzer::LogClose(TTextRange* range, int stackIndex) {
  FBlockJournal.push_back({TBlockUndo::kRangeClosed, FJournalTime, range, stackIndex, range->Index,
                           range->StartPos, range->StartIdx, range->EndIdx, range->EndCondIdx,
                           nullptr});
}

namespace {

// Identifying texts compared as the block rules want them: their 8-bit forms, of equal
// length, the letters A to Z without regard to case.
bool SameIdentText(const std::u16string& a, const std::u16string& b) {
  const std::string x = WideCharToMultiByte(CP_ACP, a);
  const std::string y = WideCharToMultiByte(CP_ACP, b);
  if (x.size() != y.size()) return false;
  for (size_t i = 0; i < x.size(); ++i) {
    char c = x[i], d = y[i];
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
    if (d >= 'a' && d <= 'z') d = static_cast<char>(d - 32);
    if (c != d) return false;
  }
  return true;
}

}  // namespace

bool TClientSyntAnalyzer::CloseRange(TTagBlockCondition* rule, int refIdx) {
  int found = -1;
  for (int i = FOpenedBlocks.Count() - 1; i >= 0 && found < 0; --i) {
    const auto* range = static_cast<TTextRange*>(FOpenedBlocks.Items(i));
    const TTagBlockCondition* w = range->Rule;
    if (range->EndIdx != -1 || !w) continue;
    const bool candidate = rule->BlockType() == btRangeStart
                               ? rule->SelfClose() && w == rule
                               : w->BlockEndCond() == rule || rule->BlockEndCond() == w;
    if (!candidate) continue;
    if (rule->SameIdent()) {
      const int other = refIdx - rule->IdentIndex();
      if (other < 0 || other >= TokenCount() || range->IdentIdx < 0 ||
          range->IdentIdx >= TokenCount() || !SameIdentText(TagStr(range->IdentIdx), TagStr(other)))
        continue;
    }
    found = i;
  }
  if (found < 0) return false;
  auto* range = static_cast<TTextRange*>(FOpenedBlocks.Items(found));
  TTagBlockCondition* w = range->Rule;
  LogClose(range, found);
  range->EndIdx = refIdx - rule->BlockOffset();
  if (w == rule && range->EndIdx > 0) --range->EndIdx;
  range->EndCondIdx = refIdx;
  TSyntAnalyzer* owner = Owner();
  if (owner && owner->OnCloseTextRange)
    owner->OnCloseTextRange(this, range, range->StartIdx, range->EndIdx);
  FOpenedBlocks.Delete(found);
  if (rule->AutoCloseInternal() || (w && w->AutoCloseInternal())) {
    // The ranges opened inside it close with it; they stay on the stack, closed.
    for (int i = FOpenedBlocks.Count() - 1; i >= found; --i) {
      auto* inner = static_cast<TTextRange*>(FOpenedBlocks.Items(i));
      LogClose(inner, -1);
      inner->EndIdx = refIdx;
      inner->EndCondIdx = refIdx;
      if (owner && owner->OnCloseTextRange)
        owner->OnCloseTextRange(this, inner, inner->StartIdx, inner->EndIdx);
    }
  }
  return true;
}

bool TClientSyntAnalyzer::AddLineBreak(TTagBlockCondition* rule, int refIdx) {
  const TSyntToken* token = Tags(refIdx);
  const TSyntMemoStrings* source = Source();
  auto lineBreak = std::make_unique<TLineBreak>();
  lineBreak->RefIdx = refIdx;
  lineBreak->Rule = rule;
  if (source)
    lineBreak->Line = rule->LinePos() == lbBottom ? source->StrPosToCaretPos(token->EndPos).Y + 1
                                                  : source->StrPosToCaretPos(token->StartPos).Y;
  // The line of the token's end depends on the character there (CR before it, LF at it).
  if (rule->LinePos() == lbBottom) NoteReach(token->EndPos + 1);
  FLineBreaks.push_back(std::move(lineBreak));
  FBlockJournal.push_back({TBlockUndo::kLineBreak, FJournalTime, nullptr, -1, 0, 0, 0, 0, 0, nullptr});
  return true;
}

bool TClientSyntAnalyzer::TagDetect(TTagBlockCondition* rule, int refIdx, bool fromPass) {
  TSyntToken* token = Tags(refIdx);
  // A token made by the running step goes with the step: its marks need no undoing.
  const bool ownToken = refIdx >= FStepTokens;
  if (fromPass) {
    if (!ownToken || FDeferredRun)
      FBlockJournal.push_back({TBlockUndo::kTokenMarked, FJournalTime, nullptr, refIdx, 0, 0, 0,
                               token->TokenType, 0, token->Rule});
  } else {
    // The deferred pass read this token for every count above it: those counts go again.
    if (FBlockPassMarker - 1 > refIdx) UndoBlocks(refIdx);
    if (!ownToken)
      FStepJournal.push_back({TStepUndo::kTokenMarked, FStep, refIdx, token->TokenType, token->Rule});
  }
  token->Rule = rule;
  if (rule->TokenType() >= 0) token->TokenType = rule->TokenType();
  return true;
}

void TClientSyntAnalyzer::CloseAtEnd(int fromIdx) {
  if (FParked) return;  // no range is open as far as the tokeniser can tell
  for (int i = FOpenedBlocks.Count() - 1; i >= 0; --i) {
    auto* range = static_cast<TTextRange*>(FOpenedBlocks.Items(i));
    if (!range->Rule || !range->Rule->EndOfTextClose()) continue;
    if (fromIdx != 0 && range->StartIdx < fromIdx) continue;
    LogClose(range, i);
    range->EndIdx = TokenCount() - 1;
    FOpenedBlocks.Delete(i);
  }
}

// --- Analysis ------------------------------------------------------------------------------------

void TClientSyntAnalyzer::Analyze(bool resetContent) {
  if (IsFinished()) return;
  if (!resetContent) {
    const TSyntMemoStrings* source = Source();
    AppendToPos(source ? source->TextLength() : 0);
    return;
  }
  TSyntAnalyzer* owner = Owner();
  const TSyntAnalyzer::TDeferAnswer saved = owner->DeferAnswer();
  owner->SetDeferAnswer(TSyntAnalyzer::daNo);
  try {
    Clear();
    const TSyntMemoStrings* source = Source();
    AppendToPos(source ? source->TextLength() : 0);
  } catch (...) {
    owner->SetDeferAnswer(saved);
    throw;
  }
  owner->SetDeferAnswer(saved);
}

void TClientSyntAnalyzer::AppendToPos(int pos) {
  const TSyntMemoStrings* source = Source();
  if (!source || source->TextLength() == 0 || IsFinished()) return;
  int p = ParserPos();
  while (p - 1 <= pos + 1) {
    if (!ExtractTag(source->Text(), p)) continue;
    if (!Owner()->CanDeferBlockRules())
      Finished();
    else if (!FIdleBusy)
      RestartTimer();  // the idle tick runs the deferred pass, then Finished
    return;
  }
}

void TClientSyntAnalyzer::IdleTick() {
  if (FIdleBusy) return;
  FIdleTimer->SetEnabled(false);
  SortOutDiscarded();
  FMustStop = false;
  FIdleBusy = true;
  int p = 0;
  try {
    while (!FMustStop && !IsFinished()) {
      const TSyntMemoStrings* source = Source();
      if (!source) break;
      p = std::max(p, ParserPos());
      if (!ExtractTag(source->Text(), p)) {
        if (PumpMessages(this) != 0) return;  // gone, or the application is ending
        continue;
      }
      if (Owner()->CanDeferBlockRules()) {
        BeginDeferredPass();
        for (int i = std::max(FBlockPassMarker, 1); i <= TokenCount(); ++i) {
          DeferredPassStep(i);
          if (PumpMessages(this) != 0) return;
          if (FMustStop) {
            FIdleBusy = false;
            return;
          }
        }
      }
      Finished();
    }
  } catch (...) {  // ends the tick; the timer stays off until the next RestartTimer
  }
  FIdleBusy = false;
}

// The pass runs count by count from the marker: ApplyBlockRules leaves it one above the count
// it ran for, which is the next count to run (0 before any: the pass starts at 1).
void TClientSyntAnalyzer::RunDeferredBlockPass() {
  BeginDeferredPass();
  for (int i = std::max(FBlockPassMarker, 1); i <= TokenCount(); ++i) DeferredPassStep(i);
}

void TClientSyntAnalyzer::BeginDeferredPass() {
  // The pass gates its rules by the final state set: counts run with another one go again.
  if (FBlockPassMarker > 0 && FPassState != CurState()) UndoBlocks(0);
  if (FBlockPassMarker == 0) FPassState = CurState();
  FParked = false;
}

void TClientSyntAnalyzer::DeferredPassStep(int count) {
  FStepTokens = INT_MAX;
  const TSyntMemoStrings* source = Source();
  if (!source) return;
  const std::u16string& text = source->Text();
  TSyntAnalyzer* owner = Owner();
  FJournalTime = count;
  const TRuleCollectionItem* rule = Tags(count - 1)->Rule;
  // Most tokens are the owner's own, which its collections tell without a type check.
  TSyntAnalyzer* other = owner;
  if (rule && rule->Collection() != static_cast<const TCollection*>(owner->TokenRules()) &&
      rule->Collection() != static_cast<const TCollection*>(owner->BlockRules()))
    if (TSyntAnalyzer* ruleOwner = rule->SyntOwner()) other = ruleOwner;
  owner->ApplyBlockRules(this, text, other != owner, count, true);
  if (other != owner) other->ApplyBlockRules(this, text, false, count, true);
}

void TClientSyntAnalyzer::Finished() {
  if (IsFinished()) return;
  TParserResults::Finished();
  FJournalTime = kAtEnd;
  FStepTokens = INT_MAX;
  const TSyntMemoStrings* source = Source();
  const int length = source ? source->TextLength() : 0;
  auto& ranges = MutableSubLexerBlocks();
  for (int i = static_cast<int>(ranges.size()) - 1; i >= 0; --i) {
    TSubLexerRange& range = *ranges[static_cast<size_t>(i)];
    if (range.EndPos == -1 && range.Rule && range.Rule->ToTextEnd()) {
      FStepJournal.push_back({TStepUndo::kSubLexerClosed, kAtEnd, i, 0, nullptr});
      range.EndPos = length;
      range.CondEndPos = length;
    }
  }
  CloseAtEnd(0);
  FFirstAnalysisDone = true;
  // Without an application nothing could ever hand the display ranges over.
  if (Application) TThread::Create<TSyntFinishThread>(this);  // it links itself to us
}

// --- Incremental analysis ----------------------------------------------------------------------

void TClientSyntAnalyzer::StepStarted() {
  if (FStep == 0) FDeferredRun = Owner()->CanDeferBlockRules();
  ++FStep;
  FJournalTime = FStep;
  FStepTokens = TokenCount();
}

void TClientSyntAnalyzer::StepDone() {
  if (FStep % FCheckpointSteps != 0) return;
  FCheckpoints.push_back({FStep, TokenCount(), LastAnalPos(), ScanReach(), CurState(),
                          static_cast<int>(SubLexerBlocks().size()),
                          static_cast<int>(StateChanges().size())});
}

void TClientSyntAnalyzer::SubLexerClosed(int index) {
  FStepJournal.push_back({TStepUndo::kSubLexerClosed, FStep, index, 0, nullptr});
}

const TClientSyntAnalyzer::TCheckpoint& TClientSyntAnalyzer::CutPoint(int pos) const {
  static const TCheckpoint start{0, 0, 1, 0, 0, 0, 0};
  // Reach only grows: the last checkpoint that examined nothing at or after pos (1-based
  // positions up to pos are the offsets before it).
  auto it = std::upper_bound(FCheckpoints.begin(), FCheckpoints.end(), pos,
                             [](int p, const TCheckpoint& c) { return p < c.Reach; });
  int i = static_cast<int>(it - FCheckpoints.begin()) - 1;
  const TSyntAnalyzer* owner = Owner();
  const TSyntMemoStrings* source = Source();
  if (owner->RestartFromLineStart() && source) {
    const int lineStart = source->LineStart(source->StrPosToCaretPos(pos).Y);
    while (i >= 0 && FCheckpoints[static_cast<size_t>(i)].Pos - 1 > lineStart) --i;
  }
  if (owner->FullRefreshSize() > 0 && source && source->TextLength() <= owner->FullRefreshSize())
    i = -1;  // small texts go again from the start
  return i < 0 ? start : FCheckpoints[static_cast<size_t>(i)];
}

int TClientSyntAnalyzer::ResumePosFor(int pos) const {
  if (ScanReach() <= pos) return ParserPos();
  return CutPoint(pos).Pos;
}

void TClientSyntAnalyzer::TextChanged(int pos, int count) {
  if (pos < 0) {
    Clear();
    return;
  }
  FChangeFixer.Add(pos, count);
  StopThread();
  FMustStop = true;  // an idle tick that is pumping messages ends and starts again
  if (ScanReach() > pos) {  // the analysis has looked at the changed text
    TCriticalSectionGuard guard(FShared->CritSec);
    // Results made with the block rules run the other way round go again from the start.
    if (FStep > 0 && FDeferredRun != Owner()->CanDeferBlockRules())
      CutBack(CutPoint(-1));
    else
      CutBack(CutPoint(pos));
  }
  RestartTimer();
}

void TClientSyntAnalyzer::CutBack(const TCheckpoint& c) {
  const TCheckpoint at = c;  // c may live in FCheckpoints, which shrinks below
  if (FDeferredRun) {
    // The pass keeps the counts whose tokens stay, less the last: a line break at the end of
    // its newest token looked at the character after it. Tag-detect marks undone below take
    // it back further.
    UndoBlocks(std::min(std::max(FBlockPassMarker - 1, 0), std::max(at.Tokens - 1, 0)), at.Tokens);
    UndoSteps(at.Step);
    FParked = true;
  } else {
    UndoBlocks(at.Step, at.Tokens);
    UndoSteps(at.Step);
    FBlockPassMarker = at.Tokens > 0 ? at.Tokens + 1 : 0;
  }
  TruncateResults(at.Tokens, at.SubLexers, at.StateChanges);
  SetCurState(at.State);
  SetLastAnalPos(at.Pos);
  SetScanReach(at.Reach);
  FStep = at.Step;
  FCheckpoints.erase(std::upper_bound(FCheckpoints.begin(), FCheckpoints.end(), at.Step,
                                      [](int step, const TCheckpoint& k) { return step < k.Step; }),
                     FCheckpoints.end());
  SetFinished(false);
}

void TClientSyntAnalyzer::UndoSteps(int time) {
  auto& ranges = MutableSubLexerBlocks();
  while (!FStepJournal.empty() && FStepJournal.back().Time > time) {
    const TStepUndo u = FStepJournal.back();
    FStepJournal.pop_back();
    switch (u.Kind) {
      case TStepUndo::kSubLexerClosed:
        if (static_cast<size_t>(u.Index) < ranges.size()) {
          ranges[static_cast<size_t>(u.Index)]->EndPos = -1;
          ranges[static_cast<size_t>(u.Index)]->CondEndPos = -1;
        }
        break;
      case TStepUndo::kTokenMarked:
        if (FBlockPassMarker - 1 > u.Index) UndoBlocks(u.Index);
        if (u.Index < TokenCount()) {
          Tags(u.Index)->Rule = u.OldRule;
          Tags(u.Index)->TokenType = u.OldType;
        }
        break;
    }
  }
}

void TClientSyntAnalyzer::UndoBlocks(int time, int keepTokens) {
  // The journal is in time order: the entries to undo form its tail.
  const auto first = std::upper_bound(FBlockJournal.begin(), FBlockJournal.end(), time,
                                      [](int t, const TBlockUndo& u) { return t < u.Time; });
  // The ranges added since are exactly those with an Index from firstRemoved on (Index counts
  // additions, and a cut always takes the newest); none has a key below lowestKey.
  int firstRemoved = INT_MAX, lowestKey = INT_MAX;
  for (auto it = first; it != FBlockJournal.end(); ++it)
    if (it->Kind == TBlockUndo::kRangeAdded) {
      firstRemoved = std::min(firstRemoved, it->RangeIndex);
      lowestKey = std::min(lowestKey, it->StartPos);
    }
  std::vector<TSortedItem*> removed;
  for (auto it = FBlockJournal.end(); it != first;) {
    const TBlockUndo& u = *--it;
    switch (u.Kind) {
      case TBlockUndo::kRangeAdded:
        if (u.Index >= 0) FOpenedBlocks.Delete(u.Index);
        removed.push_back(u.Range);
        break;
      case TBlockUndo::kRangeClosed:
        if (u.RangeIndex < firstRemoved) {  // a range that stays
          u.Range->StartIdx = u.StartIdx;
          u.Range->EndIdx = u.EndIdx;
          u.Range->EndCondIdx = u.EndCondIdx;
        }
        if (u.Index >= 0) FOpenedBlocks.InsertAt(u.Index, u.Range);
        break;
      case TBlockUndo::kTokenMarked:
        if (u.Index < keepTokens && u.Index < TokenCount()) {
          Tags(u.Index)->Rule = u.OldRule;
          Tags(u.Index)->TokenType = u.EndIdx;
        }
        break;
      case TBlockUndo::kLineBreak:
        FLineBreaks.pop_back();
        break;
    }
  }
  FBlockJournal.erase(first, FBlockJournal.end());
  if (FDeferredRun && FBlockPassMarker > time + 1) FBlockPassMarker = time > 0 ? time + 1 : 0;
  if (removed.empty()) return;
  std::vector<TSortedItem*> taken;
  const int from = FRanges.PriorAt(lowestKey - 1) + 1;
  if (FRanges.Count() - from == static_cast<int>(removed.size())) {
    // Every range from the lowest key on goes: no need to look at them one by one.
    FRanges.ExtractIf(from, [](const TSortedItem*) { return true; }, taken);
  } else {
    std::sort(removed.begin(), removed.end());
    FRanges.ExtractIf(from,
                      [&removed](const TSortedItem* item) {
                        return std::binary_search(removed.begin(), removed.end(), item);
                      },
                      taken);
  }
  for (TSortedItem* item : taken) FDiscarded.emplace_back(static_cast<TTextRange*>(item));
}

void TClientSyntAnalyzer::SortOutDiscarded() {
  for (auto& range : FDiscarded)
    if (range->Shown) FRetired.push_back(std::move(range));  // display ranges point to it
  FDiscarded.clear();
}

// --- The completion thread -----------------------------------------------------------------------

TSyntFinishThread* TClientSyntAnalyzer::FinishThread() const {
  std::lock_guard lock(FShared->LinkLock);
  return FShared->Thread;
}

void TClientSyntAnalyzer::StopThread() {
  // Under the link's lock the thread cannot finish freeing itself meanwhile.
  std::lock_guard lock(FShared->LinkLock);
  TSyntFinishThread* thread = FShared->Thread;
  if (!thread) return;
  thread->OnDone = nullptr;
  thread->RequestStop();
  FShared->Thread = nullptr;
}

void TClientSyntAnalyzer::ThreadFinished(TObject* sender) {
  auto* thread = dynamic_cast<TSyntFinishThread*>(sender);
  if (!thread) return;
  {
    std::lock_guard lock(FShared->LinkLock);
    if (FShared->Thread == thread) FShared->Thread = nullptr;
  }
  TakeOver(thread->Ranges());
}

void TClientSyntAnalyzer::TakeOver(TDisplayRanges& built) {
  {
    TCriticalSectionGuard guard(FShared->CritSec);
    FChangeFixer.Clear();
    FDisplay.StyledRanges = std::move(built.StyledRanges);
    FDisplay.DynoRanges = std::move(built.DynoRanges);
    FDisplay.Collapsibles = std::move(built.Collapsibles);
    FDisplay.Staples = std::move(built.Staples);
    FDisplay.LineBreakRanges = std::move(built.LineBreakRanges);
  }
  UpdateDynHighlight(FDynPos, FDynExcludeEnd);
  ReleaseRetired();  // nothing points to them any more
  if (IqvSyntClient* host = SyntClient()) host->AnalysisFinished();
}

void TClientSyntAnalyzer::ReleaseRetired() {
  FRetired.clear();
  FDiscarded.clear();
}

// --- Dynamic highlighting ----------------------------------------------------------------------

bool TClientSyntAnalyzer::UpdateDynHighlight(int pos, bool excludeEnd) {
  FDynPos = pos;
  FDynExcludeEnd = excludeEnd;
  const int fixed = FChangeFixer.CurToFixed(pos);
  std::vector<TRange*> found;
  FDisplay.DynoRanges->GetRangesAtPos(found, fixed);
  std::vector<const TDynoRange*> list;
  for (TRange* r : found) {
    const auto* dyno = static_cast<const TDynoRange*>(r);
    if (excludeEnd && dyno->EndPos <= fixed) continue;
    list.push_back(dyno);
  }
  // Of the blocks of one rule with DynSelectMin, only the last found (innermost) stays.
  std::vector<TTextRange*> result;
  for (size_t i = 0; i < list.size(); ++i) {
    const TDynoRange* d = list[i];
    const bool later = d->Rule && std::any_of(list.begin() + static_cast<long>(i) + 1, list.end(),
                                              [&](const TDynoRange* e) { return e->Rule == d->Rule; });
    if (!later) result.push_back(d->TextRange);
  }
  if (result == FDynHighlighted) return false;
  FDynHighlighted = std::move(result);
  return true;
}

}  // namespace qv
