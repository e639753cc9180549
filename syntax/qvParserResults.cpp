// The results of analysing one text: records, the token list, sub-lexer ranges and the
// state history.
#include "syntax/qvParserResults.h"

#include <algorithm>
#include <utility>
#include <new>

#include "syntax/qvBlockRules.h"
#include "syntax/qvMemoStrings.h"
#include "syntax/qvSyntAnalyzer.h"
#include "syntax/qvTokenRules.h"

namespace qv {

TSyntToken::TSyntToken(TTokenRule* rule, int startPos, int endPos)
    : TRange(startPos, endPos), TokenType(rule ? rule->TokenType() : 0), Rule(rule) {}

std::u16string TSyntToken::GetStr(std::u16string_view source) const {
  const int start = std::clamp(StartPos, 0, static_cast<int>(source.size()));
  const int end = std::clamp(EndPos, start, static_cast<int>(source.size()));
  return std::u16string(source.substr(static_cast<size_t>(start), static_cast<size_t>(end - start)));
}

// --- TTokenList ------------------------------------------------------------------------------

TTokenList::~TTokenList() { Clear(); }

void TTokenList::IndexError(int index) { throw EListError(Format(SListIndexError, index)); }

TSyntToken* TTokenList::Add(TRuleCollectionItem* rule, int tokenType, int startPos, int endPos) {
  if ((FCount >> kBlockShift) >= static_cast<int>(FBlocks.size()))
    FBlocks.push_back(std::make_unique_for_overwrite<TBlock>());  // slots are written before read
  TSyntToken* token = new (Slot(FCount)) TSyntToken(rule, tokenType, startPos, endPos);
  ++FCount;
  return token;
}

void TTokenList::TruncateTo(int count) {
  // TSyntToken is final with an empty destructor: the loop costs nothing once inlined.
  while (FCount > count) Slot(--FCount)->~TSyntToken();
}

void TTokenList::Clear() {
  TruncateTo(0);
  FBlocks.clear();
  FLastIndex = 0;
}

int TTokenList::RangeAt(int pos) const {
  // A forward walk asks for the same token or one of the next two: answered from the hint.
  const int last = FLastIndex;
  if (last >= 0 && last < FCount && pos >= Slot(last)->StartPos) {
    if (last == FCount - 1 || pos < Slot(last + 1)->StartPos) return last;
    if (last == FCount - 2 || pos < Slot(last + 2)->StartPos) {
      FLastIndex = last + 1;
      return last + 1;
    }
  }
  int lo = 0, hi = FCount;  // the first token with StartPos > pos lies in [lo, hi]
  while (lo < hi) {
    const int mid = lo + (hi - lo) / 2;
    if (Slot(mid)->StartPos <= pos)
      lo = mid + 1;
    else
      hi = mid;
  }
  FLastIndex = lo - 1;
  return lo - 1;
}

int TTokenList::NextAt(int pos) const {
  const int b = RangeAt(pos);
  if (b == -1) return FCount == 0 ? -1 : 0;
  if (pos < Slot(b)->EndPos) return b;
  return b < FCount - 1 ? b + 1 : -1;
}

// --- Records ---------------------------------------------------------------------------------

TDynoRange::TDynoRange(int startPos, int endPos, TTextRange* textRange)
    : TRange(startPos, endPos), TextRange(textRange) {
  if (textRange && textRange->Rule && textRange->Rule->DynSelectMin()) Rule = textRange->Rule;
}

TParserResults::TParserResults(TSyntAnalyzer* owner, TSourceProc srcProc,
                               std::shared_ptr<IqvSyntClient> syntClient)
    : FOwner(owner), FSrcProc(std::move(srcProc)), FSyntClient(std::move(syntClient)) {
  if (!FSrcProc || !FSrcProc()) throw Exception(SNoSourceProc);
  if (FOwner) FOwner->RegisterClient(this);
}

TParserResults::~TParserResults() {
  if (FOwner) FOwner->UnregisterClient(this);
}

TSyntMemoStrings* TParserResults::Source() const { return FSrcProc(); }

std::u16string TParserResults::TagStr(int index) const {
  const TSyntToken* token = Tags(index);
  const TSyntMemoStrings* source = Source();
  if (!source) return {};
  return source->SubText(token->StartPos + 1, token->EndPos - token->StartPos);
}

namespace {

// The spare token memory of a thread, freed when the thread ends.
struct TSpareToken {
  void* Block = nullptr;
  ~TSpareToken() { ::operator delete(Block); }
};
thread_local TSpareToken SpareToken;

}  // namespace

void* TSyntToken::operator new(std::size_t size) {
  if (size == sizeof(TSyntToken) && SpareToken.Block) return std::exchange(SpareToken.Block, nullptr);
  return ::operator new(size);
}

void TSyntToken::operator delete(void* p, std::size_t size) noexcept {
  if (p && size == sizeof(TSyntToken) && !SpareToken.Block) {
    SpareToken.Block = p;
    return;
  }
  ::operator delete(p);
}

TTokenHolder::TBrief TParserResults::Brief(int index) const {
  const TSyntMemoStrings* source = Source();
  return BriefOf(*Tags(index), source ? &source->Text() : nullptr);
}

TTokenHolder::TBrief TParserResults::BriefOf(const TSyntToken& token, const std::u16string* text) {
  TBrief brief{token.TokenType, token.EndPos - token.StartPos, u'\0', u'\0'};
  if (brief.Length > 0 && text && token.StartPos >= 0 && static_cast<size_t>(token.EndPos) <= text->size()) {
    brief.First = (*text)[static_cast<size_t>(token.StartPos)];
    brief.Last = (*text)[static_cast<size_t>(token.EndPos) - 1];
  }
  return brief;
}

std::u16string_view TParserResults::TagView(int index) const {
  const TSyntToken* token = Tags(index);
  const TSyntMemoStrings* source = Source();
  if (!source) return {};
  const std::u16string& text = source->Text();
  const size_t start = static_cast<size_t>(std::clamp(token->StartPos, 0, static_cast<int>(text.size())));
  const size_t end = static_cast<size_t>(std::clamp(token->EndPos, static_cast<int>(start), static_cast<int>(text.size())));
  return std::u16string_view(text).substr(start, end - start);
}

void TParserResults::AddToken(std::unique_ptr<TSyntToken> token) {
  FTokenList.Add(token->Rule, token->TokenType, token->StartPos, token->EndPos);
}

TSubLexerRange* TParserResults::AddSubLexerRange(std::unique_ptr<TSubLexerRange> range) {
  FSubLexerBlocks.push_back(std::move(range));
  return FSubLexerBlocks.back().get();
}

void TParserResults::Clear() {
  FTokenList.Clear();
  FSubLexerBlocks.clear();
  FStateChanges.clear();
  FCurState = 0;
  FScanReach = 0;
}

void TParserResults::TruncateResults(int count, int subLexers, int stateChanges) {
  FTokenList.TruncateTo(count);
  if (static_cast<size_t>(subLexers) < FSubLexerBlocks.size())
    FSubLexerBlocks.resize(static_cast<size_t>(subLexers));
  if (static_cast<size_t>(stateChanges) < FStateChanges.size())
    FStateChanges.resize(static_cast<size_t>(stateChanges));
}

void TParserResults::FormatChanged() {
  if (FSyntClient) FSyntClient->FormatChanged();
}

int TParserResults::ParserPos() const {
  const int count = TokenCount();
  const int after = count == 0 ? 1 : Tags(count - 1)->EndPos + 1;
  return std::max(after, FLastAnalPos);
}

void TParserResults::SaveState() {
  const uint32_t last = FStateChanges.empty() ? 0 : FStateChanges.back().State;
  if (FCurState != last) FStateChanges.push_back({TokenCount(), FCurState});
}

void TParserResults::ApplyStates(const TRuleCollectionItem* rule) {
  if (rule) FCurState = rule->ApplyStates(FCurState);
}

}  // namespace qv
