// The results of analysing one text: records, the token list, sub-lexer ranges and the
// state history.
#include "syntax/qvParserResults.h"

#include <algorithm>

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

void TParserResults::AddToken(std::unique_ptr<TSyntToken> token) { FTokenList.Add(std::move(token)); }

TSubLexerRange* TParserResults::AddSubLexerRange(std::unique_ptr<TSubLexerRange> range) {
  FSubLexerBlocks.push_back(std::move(range));
  return FSubLexerBlocks.back().get();
}

bool TParserResults::IsEnabled(const TRuleCollectionItem* rule, bool onlyGlobal) const {
  return rule && rule->GatesOpen(FCurState, onlyGlobal);
}

void TParserResults::Clear() {
  FTokenList.Clear();
  FSubLexerBlocks.clear();
  FStateChanges.clear();
  FCurState = 0;
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
