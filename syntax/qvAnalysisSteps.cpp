// The analysis steps: one step of a text's analysis (sub-lexer ranges closed and opened, white
// space skipped, a token extracted, block rules run), token extraction, and the two block
// passes.
#include <algorithm>

#include "framework/Forms.h"
#include "framework/TextServices.h"
#include "syntax/qvBlockRules.h"
#include "syntax/qvClientAnalyzer.h"
#include "syntax/qvMemoStrings.h"
#include "syntax/qvParserResults.h"
#include "syntax/qvStrUtils.h"
#include "syntax/qvSubLexers.h"
#include "syntax/qvSyntAnalyzer.h"
#include "syntax/qvTokenRules.h"
#include "syntax/qvZRegExpr.h"

namespace qv {

namespace {

// The analyzer at pos: the main one, or the sub-lexer of the newest range that covers pos.
// Open ranges whose end expression matches at pos are closed on the way.
TSyntAnalyzer* CheckSubLexerEnd(TParserResults& client, std::u16string_view text, int pos) {
  TSyntAnalyzer* current = client.Owner();
  const auto& ranges = client.SubLexerBlocks();
  for (int i = static_cast<int>(ranges.size()) - 1; i >= 0; --i) {
    TSubLexerRange& range = *ranges[static_cast<size_t>(i)];
    if (range.StartPos >= pos) continue;
    if (range.EndPos == -1) {
      const int len = range.Rule->MatchEnd(text, pos);
      client.NoteReach(range.Rule->EndReach());
      if (len <= 0) return range.Rule->SyntAnalyzer();
      if (range.Rule->IncludeBounds()) {
        range.EndPos = pos - 1 + len;
        range.CondEndPos = pos - 1 + len;
        current = range.Rule->SyntAnalyzer();
      } else {
        range.EndPos = pos - 1;
        range.CondEndPos = pos - 1 + len;
      }
      client.SubLexerClosed(i);
      client.CloseAtEnd(client.TokenList().RangeAt(range.StartPos));
      continue;
    }
    // A closed range still covers pos while its offset (pos - 1) lies before EndPos, the
    // last character included: with IncludeBounds that is the end text's last character.
    if (pos <= range.EndPos) return range.Rule->SyntAnalyzer();
  }
  return current;
}

// Tries one sub-lexer rule at pos; true when it opened a range or re-confirmed the last one.
bool TryOpen(TParserResults& client, TSubAnalyzerRule& rule, std::u16string_view text, int pos) {
  if (!client.IsEnabled(&rule, false) || !rule.SyntAnalyzer()) return false;
  int len = 0;
  if (!(rule.FromTextBegin() && pos == 1)) {
    len = rule.MatchStart(text, pos);
    client.NoteReach(rule.StartReach());
    if (len <= 0) return false;
  }
  const auto& ranges = client.SubLexerBlocks();
  if (!ranges.empty() && ranges.back()->Rule == &rule && ranges.back()->EndPos + 1 == pos)
    return true;  // right after the range it just closed: no second range
  client.ApplyStates(&rule);
  auto range = std::make_unique<TSubLexerRange>(rule.IncludeBounds() ? pos - 1 : pos - 1 + len, -1);
  range->Rule = &rule;
  range->CondStartPos = pos - 1;
  client.AddSubLexerRange(std::move(range));
  return true;
}

void CheckSubLexerStart(TParserResults& client, TSyntAnalyzer* current, std::u16string_view text,
                        int pos) {
  TSubAnalyzerRules& own = *current->SubAnalyzers();
  for (int i = 0; i < own.Count(); ++i)
    if (TryOpen(client, *own.Items(i), text, pos)) return;
  TSyntAnalyzer* main = client.Owner();
  if (current == main) return;
  TSubAnalyzerRules& global = *main->SubAnalyzers();
  for (int i = 0; i < global.Count(); ++i)
    if (global.Items(i)->AlwaysEnabled() && TryOpen(client, *global.Items(i), text, pos)) return;
}

// The reference index of an accepted rule against n tokens.
int ReferenceIndex(const TTagBlockCondition& rule, int refIdx, int n) {
  return rule.RefToCondEnd() ? refIdx : n - rule.CondOffset() - 1;
}

}  // namespace

// --- One step ----------------------------------------------------------------------------------

bool TParserResults::ExtractTag(std::u16string_view text, int& pos) {
  TSyntAnalyzer* main = Owner();
  const int length = static_cast<int>(text.size());
  StepStarted();
  TSyntAnalyzer* current = CheckSubLexerEnd(*this, text, pos);
  CheckSubLexerStart(*this, current, text, pos);

  // White space by the current analyzer's settings.
  bool atEnd = false;
  const int before = pos;
  if (current->SkipSpaces()) {
    const int r = current->ParseEndOfLine() ? SkipSpaces(text, pos) : SkipSpacesAndLines(text, pos);
    atEnd = r == -1;
  } else {
    atEnd = pos > length;
  }
  if (atEnd) pos = std::max(pos, length + 1);
  NoteReach(std::min(pos, length + 1));  // the character that ended the skip, or the end
  // Again where the position moved: a range may open or close there. Opening is not tried
  // twice at the same position (no duplicate range, no states applied twice).
  if (pos != before) CheckSubLexerStart(*this, current, text, pos);
  current = CheckSubLexerEnd(*this, text, pos);
  if (atEnd) return true;

  std::unique_ptr<TSyntToken> token = main->ParseToken(this, text, current != main, pos);
  if (!token && current != main) token = current->ParseToken(this, text, false, pos);
  if (token) {
    for (auto it = SubLexerBlocks().rbegin(); it != SubLexerBlocks().rend(); ++it)
      if ((*it)->StartPos > token->StartPos && (*it)->StartPos < token->EndPos) {
        token->EndPos = (*it)->StartPos;
        break;
      }
    SaveState();
    const int next = token->EndPos + 1;
    AddToken(std::move(token));
    if (main->CanDeferBlockRules()) {
      main->DetectTags(this, text, current != main);
      if (current != main) current->DetectTags(this, text, false);
    } else {
      main->ApplyBlockRules(this, text, current != main, -1);
      if (current != main) current->ApplyBlockRules(this, text, false, -1);
    }
    pos = next;
  } else {
    ++pos;  // the character stays uncovered
  }
  SetLastAnalPos(pos);
  StepDone();
  return false;
}

// --- Tokens ------------------------------------------------------------------------------------

TClientSyntAnalyzer* TSyntAnalyzer::AddClient(std::shared_ptr<IqvSyntClient> syntClient,
                                              TSourceProc srcProc) {
  return new TClientSyntAnalyzer(this, std::move(srcProc), std::move(syntClient));
}

std::unique_ptr<TSyntToken> TSyntAnalyzer::ParseToken(TParserResults* client,
                                                       std::u16string_view text, bool onlyGlobal,
                                                       int pos) {
  if (OnParseToken) {
    int length = 0;
    TTokenRule* rule = nullptr;
    OnParseToken(client, text, pos, length, rule);
    client->NoteReach(pos + std::max(length, 0));  // taken to look one past its token
    // A result below one character would not advance: no token.
    if (!rule || length < 1) return nullptr;
    return std::make_unique<TSyntToken>(rule, rule->TokenType(), pos - 1, pos - 1 + length);
  }
  int column = 0;  // computed once, when some rule restricts columns
  // A rule whose expression cannot start with this character is passed over without
  // matching; it would have read the character and no further.
  const char16_t unit = pos >= 1 && pos <= static_cast<int>(text.size()) ? text[static_cast<size_t>(pos - 1)] : u'\xFFFF';
  const TCodePageInfo& system = CodePageInfo(CP_ACP);
  for (int i = 0; i < FTokenRules->Count(); ++i) {
    TTokenRule* rule = FTokenRules->Items(i);
    // First the cheaper test. The step has read the character at pos already (it ended the
    // white space), so noting it for a rule that is not enabled changes nothing.
    if (!rule->OnMatchToken && rule->RegExpr().CannotStartWith(unit, system)) {
      client->NoteReach(pos);
      continue;
    }
    if (!client->IsEnabled(rule, onlyGlobal)) continue;
    if (rule->ColumnFrom() > 0 || rule->ColumnTo() > 0) {
      if (column == 0) {
        const TSyntMemoStrings* source = client->Source();
        column = (source ? source->StrPosToCaretPos(pos - 1).X : 0) + 1;
      }
      if (rule->OutOfColumns(column)) continue;
    }
    int length = rule->MatchRule(text, pos);
    client->NoteReach(rule->LastReach());
    if (rule->OnMatchToken) {
      rule->OnMatchToken(rule, client, text, pos, length);
      client->NoteReach(pos + std::max(length, 0));
    }
    if (length > 0) {
      client->ApplyStates(rule);
      return std::make_unique<TSyntToken>(rule, pos - 1, pos - 1 + length);
    }
  }
  return nullptr;
}

// --- Block passes ------------------------------------------------------------------------------

bool TSyntAnalyzer::IsDetectTagsRule(const TTagBlockCondition& rule, bool onlyGlobal) {
  return rule.BlockType() == btTagDetect && rule.Enabled() && !rule.Block() &&
         rule.GrammaRuleName().empty() && (!onlyGlobal || rule.AlwaysEnabled());
}

void TSyntAnalyzer::DetectTags(TParserResults* client, std::u16string_view text, bool onlyGlobal) {
  if (FDetectRules == daUnknown) {
    FDetectList.clear();
    for (int i = 0; i < FBlockRules->Count(); ++i)
      if (FBlockRules->Items(i)->BlockType() == btTagDetect) FDetectList.push_back(FBlockRules->Items(i));
    FDetectRules = daYes;
  }
  if (FDetectList.empty()) return;
  TClientSyntAnalyzer* results = client->AsClient();
  const int n = client->TokenCount();
  TTokenBriefs briefs(*static_cast<const TParserResults*>(client));
  // By index: a handler that changes the rules empties the list.
  for (size_t i = 0; i < FDetectList.size(); ++i) {
    TTagBlockCondition* rule = FDetectList[i];
    if (!IsDetectTagsRule(*rule, onlyGlobal)) continue;
    if (!rule->OnBlockCheck && !rule->MayAccept(briefs, n)) continue;
    int refIdx = 0;
    bool accept = rule->CheckCondition(*client, n, refIdx);
    if (rule->OnBlockCheck) {
      rule->OnBlockCheck(rule, results, text, refIdx, accept);
      briefs.Forget();  // the handler may have changed a token
    }
    if (!accept) continue;
    briefs.Forget();
    const int ident = ReferenceIndex(*rule, refIdx, n) - rule->IdentIndex();
    if (ident >= 0 && ident < n) {
      if (results) {
        results->TagDetect(rule, ident, false);
      } else {
        TSyntToken* token = client->Tags(ident);
        token->Rule = rule;
        if (rule->TokenType() >= 0) token->TokenType = rule->TokenType();
      }
    }
    if (rule->CancelNextRules()) break;
  }
}

void TSyntAnalyzer::ApplyBlockRules(TParserResults* client, std::u16string_view text,
                                    bool onlyGlobal, int index, bool deferred) {
  TClientSyntAnalyzer* results = client->AsClient();
  if (!results) return;
  const int n = index == -1 ? results->TokenCount() : index;
  TTokenBriefs briefs(*static_cast<const TParserResults*>(results));
  results->SetBlockPassMarker(n + 1);
  try {
    for (int i = 0; i < FBlockRules->Count(); ++i) {
      TTagBlockCondition* rule = FBlockRules->Items(i);
      if (deferred && IsDetectTagsRule(*rule, onlyGlobal)) continue;
      // A rule the newest tokens rule out is passed over, unless a handler sees every test.
      if (!rule->OnBlockCheck && !rule->GrammaRule() && !rule->MayAccept(briefs, n)) continue;
      if (!results->IsEnabled(rule, onlyGlobal)) continue;
      int refIdx = 0;
      bool accept = false;
      if (rule->GrammaRule()) {
        // The grammar rule matched backwards from the newest token; its first token is the
        // reference.
        refIdx = FGramma->TestRule(n - 1, rule->GrammaRule(), *results);
        accept = refIdx != -1;
      } else {
        accept = rule->CheckCondition(*results, n, refIdx);
      }
      if (rule->OnBlockCheck) {
        rule->OnBlockCheck(rule, results, text, refIdx, accept);
        briefs.Forget();  // the handler may have changed a token
      }
      if (!accept) continue;
      briefs.Forget();
      results->ApplyStates(rule);
      const int ref = ReferenceIndex(*rule, refIdx, n);
      const int ident = ref - rule->IdentIndex();
      if (ident >= 0 && ident < n) {
        switch (rule->BlockType()) {
          case btTagDetect: results->TagDetect(rule, ident); break;
          case btLineBreak: results->AddLineBreak(rule, ident); break;
          case btRangeStart: {
            if (rule->SelfClose()) results->CloseRange(rule, ref);
            const int start = ref - rule->BlockOffset();
            if (start >= 0 && start < n) {
              auto range = std::make_unique<TTextRange>(start, results->Tags(start)->StartPos);
              range->Rule = rule;
              range->IdentIdx = ident;
              range->CondIdx = n - 1;
              if (rule->NoEndRule()) {
                range->EndIdx = n - 1 - rule->CondOffset();
                range->EndCondIdx = n - 1;
                range->StartIdx = refIdx - rule->BlockOffset();
              }
              results->AddRange(std::move(range));
            }
            break;
          }
          case btRangeEnd:
            if (!results->CloseRange(rule, ref)) continue;  // nothing closed: not applied
            break;
        }
      }
      if (rule->CancelNextRules()) break;
    }
  } catch (const std::exception& e) {
    if (Application) Application->HandleException(this, e);
  }
}

}  // namespace qv
