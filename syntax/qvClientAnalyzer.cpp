// The client analyzer: block ranges and line breaks, synchronous analysis, completion of
// the display ranges, and dynamic highlighting.
#include "syntax/qvClientAnalyzer.h"

#include <algorithm>

#include "framework/TextServices.h"
#include "syntax/qvBlockRules.h"
#include "syntax/qvMemoStrings.h"
#include "syntax/qvSubLexers.h"
#include "syntax/qvSyntAnalyzer.h"

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

TClientSyntAnalyzer::TClientSyntAnalyzer(TSyntAnalyzer* owner, TSourceProc srcProc,
                                         std::shared_ptr<IqvSyntClient> syntClient)
    : TParserResults(owner, std::move(srcProc), std::move(syntClient)) {
  RestartTimer();
}

TClientSyntAnalyzer::~TClientSyntAnalyzer() {
  std::lock_guard<std::mutex> guard(FCritSec);
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
}

void TClientSyntAnalyzer::Clear() {
  {
    std::lock_guard<std::mutex> guard(FCritSec);
    TParserResults::Clear();
    FFirstAnalysisDone = false;
    ClearBlocks();
    SetFinished(false);
    SetLastAnalPos(0);
    FBlockPassMarker = 0;
  }
  RestartTimer();
}

// --- Gating ------------------------------------------------------------------------------------

bool TClientSyntAnalyzer::HasParent(const TRuleCollectionItem* rule,
                                    const TTagBlockCondition* block, bool strict) const {
  const int count = FOpenedBlocks.Count();
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
  return TParserResults::IsEnabled(rule, onlyGlobal) &&
         HasParent(rule, rule->Block(), rule->StrictParent()) != rule->NotParent();
}

// --- Block ranges ------------------------------------------------------------------------------

void TClientSyntAnalyzer::AddRange(std::unique_ptr<TTextRange> range) {
  TTextRange* r = range.get();
  r->Index = FRanges.Count();
  FRanges.Add(range.release());
  if (FOpenedBlocks.Count() > 0)
    r->Parent = static_cast<TTextRange*>(FOpenedBlocks.Items(FOpenedBlocks.Count() - 1));
  if (r->EndIdx == -1) FOpenedBlocks.Add(r);
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
  FLineBreaks.push_back(std::move(lineBreak));
  return true;
}

bool TClientSyntAnalyzer::TagDetect(TTagBlockCondition* rule, int refIdx) {
  TSyntToken* token = Tags(refIdx);
  token->Rule = rule;
  if (rule->TokenType() >= 0) token->TokenType = rule->TokenType();
  return true;
}

void TClientSyntAnalyzer::CloseAtEnd(int fromIdx) {
  for (int i = FOpenedBlocks.Count() - 1; i >= 0; --i) {
    auto* range = static_cast<TTextRange*>(FOpenedBlocks.Items(i));
    if (!range->Rule || !range->Rule->EndOfTextClose()) continue;
    if (fromIdx != 0 && range->StartIdx < fromIdx) continue;
    range->EndIdx = TokenCount() - 1;
    FOpenedBlocks.Delete(i);
  }
}

// --- Synchronous analysis ------------------------------------------------------------------------

void TClientSyntAnalyzer::Analyze(bool resetContent) {
  if (IsFinished()) return;
  const TSyntMemoStrings* source = Source();
  if (!resetContent) {
    AppendToPos(source ? source->TextLength() : 0);
    return;
  }
  TSyntAnalyzer* owner = Owner();
  const TSyntAnalyzer::TDeferAnswer saved = owner->DeferAnswer();
  owner->SetDeferAnswer(TSyntAnalyzer::daNo);
  try {
    Clear();
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
  const std::u16string& text = source->Text();
  int p = ParserPos();
  while (p - 1 <= pos + 1) {
    if (!ExtractTag(text, p)) continue;
    if (!Owner()->CanDeferBlockRules()) {
      Finished();
    } else {
      RunDeferredBlockPass();
      Finished();
    }
    return;
  }
}

void TClientSyntAnalyzer::RunDeferredBlockPass() {
  const TSyntMemoStrings* source = Source();
  if (!source) return;
  const std::u16string& text = source->Text();
  TSyntAnalyzer* owner = Owner();
  for (int i = FBlockPassMarker + 1; i <= TokenCount(); ++i) {
    const TRuleCollectionItem* rule = Tags(i - 1)->Rule;
    TSyntAnalyzer* other = rule ? rule->SyntOwner() : nullptr;
    if (!other) other = owner;
    owner->ApplyBlockRules(this, text, other != owner, i, true);
    if (other != owner) other->ApplyBlockRules(this, text, false, i, true);
  }
}

void TClientSyntAnalyzer::Finished() {
  if (IsFinished()) return;
  TParserResults::Finished();
  const TSyntMemoStrings* source = Source();
  const int length = source ? source->TextLength() : 0;
  const auto& ranges = SubLexerBlocks();
  for (auto it = ranges.rbegin(); it != ranges.rend(); ++it)
    if ((*it)->EndPos == -1 && (*it)->Rule && (*it)->Rule->ToTextEnd()) {
      (*it)->EndPos = length;
      (*it)->CondEndPos = length;
    }
  CloseAtEnd(0);
  // Set before the completion: the host told of the new ranges sees a completed analysis,
  // and one that starts over from there is not overruled afterwards.
  FFirstAnalysisDone = true;
  CompleteAnalysis();
}

// --- Display ranges ------------------------------------------------------------------------------

void TClientSyntAnalyzer::CompleteAnalysis() {
  TDisplayRanges built;
  {
    std::lock_guard<std::mutex> guard(FCritSec);
    BuildDisplayRanges(*this, built, nullptr);
  }
  TakeOver(built);
}

void TClientSyntAnalyzer::TakeOver(TDisplayRanges& built) {
  {
    std::lock_guard<std::mutex> guard(FCritSec);
    FChangeFixer.Clear();
    std::swap(FDisplay.StyledRanges, built.StyledRanges);
    std::swap(FDisplay.DynoRanges, built.DynoRanges);
    std::swap(FDisplay.Collapsibles, built.Collapsibles);
    std::swap(FDisplay.Staples, built.Staples);
    std::swap(FDisplay.LineBreakRanges, built.LineBreakRanges);
  }
  UpdateDynHighlight(FDynPos, FDynExcludeEnd);
  if (IqvSyntClient* host = SyntClient()) host->AnalysisFinished();
}

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
