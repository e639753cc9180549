// Display ranges of finished results: the styled ranges, dynamic-highlight triggers,
// collapsible ranges, block staples and line-break ranges a host draws from, built from a
// client's tokens, block ranges, sub-lexer ranges and line breaks by the completion thread
// while it holds the client's lock. Of the client only the ranges' Shown mark is written.
#include "syntax/qvClientAnalyzer.h"

#include <functional>
#include <memory>

#include "syntax/qvBlockRules.h"
#include "syntax/qvLists.h"
#include "syntax/qvParserResults.h"
#include "syntax/qvSubLexers.h"
#include "syntax/qvSyntAnalyzer.h"

namespace qv {
namespace {

// Lets the host move the token bounds of a staple or collapsible range. True with the
// bounds when the range is to be built: the handler may suppress it with eIdx = -1, and a
// handler answering a token index outside the token list is taken as suppressing it too,
// since its bounds cannot be read.
bool AdjustBounds(const TClientSyntAnalyzer& client, const TBoundDefEvent& handler,
                  TTextRange* range, int& sIdx, int& eIdx) {
  sIdx = range->StartIdx;
  eIdx = range->EndIdx;
  if (!handler) return true;
  handler(const_cast<TClientSyntAnalyzer*>(&client), range, sIdx, eIdx);
  const int count = client.TokenCount();
  return eIdx != -1 && sIdx >= 0 && sIdx < count && eIdx >= 0 && eIdx < count;
}

void AddStaple(const TClientSyntAnalyzer& client, TTextRange* range, TDisplayRanges& out) {
  TTagBlockCondition* rule = range->Rule;
  if (!rule->DrawStaple() || range->EndIdx == -1) return;
  const TSyntAnalyzer* owner = client.Owner();
  int sIdx, eIdx;
  if (!AdjustBounds(client, owner ? owner->OnGetStapleRange : TBoundDefEvent(), range, sIdx, eIdx))
    return;
  auto staple =
      std::make_unique<TBlockStaple>(client.Tags(sIdx)->StartPos, client.Tags(eIdx)->EndPos);
  staple->Rule = rule;
  out.Staples->Add(std::move(staple));
}

void AddCollapsible(const TClientSyntAnalyzer& client, TTextRange* range, int rangeIdx,
                    TDisplayRanges& out) {
  if (range->EndIdx == -1 || range->Rule->NotCollapsed()) return;
  const TSyntAnalyzer* owner = client.Owner();
  int sIdx, eIdx;
  if (!AdjustBounds(client, owner ? owner->OnGetCollapseRange : TBoundDefEvent(), range, sIdx,
                    eIdx))
    return;
  out.Collapsibles->Add(std::make_unique<TCollapsibleRange>(rangeIdx, client.Tags(sIdx)->StartPos,
                                                            client.Tags(eIdx)->EndPos));
}

// The trigger ranges of a highlighted block: where a caret selects it. An open block (e -1)
// has only the triggers of its start token, and none for the whole-range positions.
void AddTriggers(const TClientSyntAnalyzer& client, TTextRange* range, TDisplayRanges& out) {
  const TSyntToken* s = client.Tags(range->StartIdx);
  const TSyntToken* e = range->EndIdx != -1 ? client.Tags(range->EndIdx) : nullptr;
  auto add = [&](int startPos, int endPos) {
    range->Shown = true;
    out.DynoRanges->Add(std::make_unique<TDynoRange>(startPos, endPos, range));
  };
  switch (range->Rule->HighlightPos()) {
    case cpAny:
      break;
    case cpBound:  // the first character of the block and the one just after it
      add(s->StartPos, s->StartPos + 1);
      if (e) add(e->EndPos, e->EndPos + 1);
      break;
    case cpBoundTag:
      add(s->StartPos, s->EndPos);
      if (e) add(e->StartPos, e->EndPos);
      break;
    case cpRange:
    case cpOutOfRange:  // the same trigger as cpRange; only the styled ranges' flag differs
      if (e) add(s->StartPos, e->EndPos);
      break;
    case cpBoundTagBegin:
      add(s->StartPos, s->StartPos + 1);
      if (e) add(e->StartPos, e->StartPos + 1);
      break;
  }
}

// The styled ranges of a block whose rule has dynamic highlighting: one or two (dhBound on a
// closed block), none when the rule's kind needs the block's end and the block is open.
void AddHighlight(const TClientSyntAnalyzer& client, TTextRange* range, TDisplayRanges& out) {
  const TTagBlockCondition* rule = range->Rule;
  TSyntaxFormat* style = rule->Style();
  if (!style || rule->DynHighlight() == dhNone) return;
  const TSyntToken* s = client.Tags(range->StartIdx);
  const TSyntToken* e = range->EndIdx != -1 ? client.Tags(range->EndIdx) : nullptr;
  std::unique_ptr<TStyledRange> a, b;
  switch (rule->DynHighlight()) {
    case dhNone:
      break;
    case dhBound:
      a = std::make_unique<TStyledRange>(s->StartPos, s->EndPos, style);
      if (e) b = std::make_unique<TStyledRange>(e->StartPos, e->EndPos, style);
      break;
    case dhRangeNoBound:  // the text between the bound tokens
      if (e) a = std::make_unique<TStyledRange>(s->EndPos, e->StartPos, style);
      break;
    case dhRange:
      if (e) a = std::make_unique<TStyledRange>(s->StartPos, e->EndPos, style);
      break;
  }
  if (!a) return;

  // With cpAny the block is highlighted everywhere, so its ranges belong to no block.
  if (rule->HighlightPos() != cpAny) {
    AddTriggers(client, range, out);
    range->Shown = true;
    a->TextRange = range;
    if (b) b->TextRange = range;
  }
  uint8_t flags = 0;
  if (rule->Highlight()) flags |= srfHighlight;
  if (rule->InvertColors()) flags |= srfInvertColors;
  if (rule->HighlightPos() == cpOutOfRange) flags |= srfOutOfRange;
  a->Flags = flags;
  out.StyledRanges->Add(std::move(a));
  if (b) {
    b->Flags = flags;
    out.StyledRanges->Add(std::move(b));
  }
}

}  // namespace

bool BuildDisplayRanges(const TClientSyntAnalyzer& client, TDisplayRanges& out,
                        const std::function<bool()>& stopRequested) {
  // Polled before every record, so a stop takes effect within one record's work.
  auto stopped = [&] { return stopRequested && stopRequested(); };

  // Sub-lexer bodies, last opened first.
  const auto& subLexers = client.SubLexerBlocks();
  for (auto it = subLexers.rbegin(); it != subLexers.rend(); ++it) {
    if (stopped()) return false;
    const TSubLexerRange& sub = **it;
    TSyntaxFormat* style = sub.Rule ? sub.Rule->Style() : nullptr;
    if (!style) continue;
    auto styled = std::make_unique<TStyledRange>(sub.StartPos, sub.EndPos, style);
    styled->Flags = srfSubLexerBody;
    out.StyledRanges->Add(std::move(styled));
  }

  if (stopped()) return false;
  // Each step starts again from the range's own token indexes: what a handler answers for
  // the staple does not move the collapsible range or the highlighting.
  for (int i = 0; i < client.RangeCount(); ++i) {
    if (stopped()) return false;
    TTextRange* range = client.Ranges(i);
    if (!range->Rule) continue;  // the block pass always sets it; a hand-made range may not
    AddStaple(client, range, out);
    AddCollapsible(client, range, i, out);
    AddHighlight(client, range, out);
  }

  if (stopped()) return false;
  for (const auto& lineBreak : client.LineBreaks()) {
    if (stopped()) return false;
    const TSyntToken* token = client.Tags(lineBreak->RefIdx);
    auto breakRange = std::make_unique<TLineBreakRange>(token->StartPos, token->EndPos);
    breakRange->Rule = lineBreak->Rule;
    out.LineBreakRanges->Add(std::move(breakRange));
  }
  return true;
}

// --- The completion thread ----------------------------------------------------------------

TSyntFinishThread::TSyntFinishThread(TCreateKey key, TClientSyntAnalyzer* client)
    : TThread(key), FClient(client), FShared(client->Shared()) {
  OnDone = [client](TObject* sender) { client->ThreadFinished(sender); };
  SetFreeWhenDone(true);
  // Linked before the worker starts, so that the client can stop it at once; unlinked by
  // whoever comes first: the client (StopThread, ThreadFinished) or the destructor.
  std::lock_guard lock(FShared->LinkLock);
  FShared->Thread = this;
}

TSyntFinishThread::~TSyntFinishThread() {
  StopAndWait();
  std::lock_guard lock(FShared->LinkLock);
  if (FShared->Thread == this) FShared->Thread = nullptr;
}

void TSyntFinishThread::Run() {
  if (StopRequested()) return;
  TCriticalSectionGuard guard(FShared->CritSec);
  // A client being destroyed asks for the stop before it takes the lock: from here on,
  // nothing of it is read once a poll sees the stop.
  if (StopRequested()) return;
  BuildDisplayRanges(*FClient, FRanges, [this] { return StopRequested(); });
}

}  // namespace qv
