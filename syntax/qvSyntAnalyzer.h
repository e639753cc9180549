// The analyzer component: one language's styles, token rules, block rules, sub-lexer rules
// and code templates, its settings, and the results objects (clients) that analyse texts
// with it. This part holds the configuration: properties, copying, loading, and the
// reactions to changes of the rules; the analysis steps build on it.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "framework/Classes.h"
#include "framework/Graphics.h"
#include "syntax/qvLoadable.h"
#include "syntax/qvSyntGramma.h"
#include "syntax/qvSyntItems.h"

namespace qv {

class TStylesCollection;
class TTokenRuleCollection;
class TBlockRuleCollection;
class TSubAnalyzerRules;
class TCodeTemplates;
class TSyntaxFormat;
class TTokenRule;
class TParserResults;
class TClientSyntAnalyzer;
class TTextRange;
class TSyntToken;
class IqvSyntClient;
class TSyntMemoStrings;
using TSourceProc = std::function<TSyntMemoStrings*()>;

// Lets the host adjust the token bounds of a range (staples, collapsing, closing).
using TBoundDefEvent = std::function<void(TClientSyntAnalyzer* sender, TTextRange* range,
                                          int& sIdx, int& eIdx)>;
// Replaces the token rules: sets tokenLength and rule for a token at the 1-based pos.
using TParseTokenEvent = std::function<void(TParserResults* client, std::u16string_view text,
                                            int pos, int& tokenLength, TTokenRule*& rule)>;

inline constexpr const char* SMarkedBlockStyleName = "Marked block";

// The ten names of token types a new analyzer starts with.
extern const char* const DefaultTokenTypeNames[10];

class TSyntAnalyzer : public TLoadableComponent {
  QV_CLASS(TSyntAnalyzer, TLoadableComponent)
  static void DeclareClass(TClassDecl& c);

  // Starts with the built-in "Marked block" style, the ten token type names, SkipSpaces,
  // the idle delays 200 and 50 ms and DEFAULT_CHARSET.
  explicit TSyntAnalyzer(TComponent* owner);
  ~TSyntAnalyzer() override;

  // --- Owned rule collections and lists ------------------------------------------------
  TStylesCollection* Formats() const { return FFormats.get(); }
  void SetFormats(const TStylesCollection* value);
  TTokenRuleCollection* TokenRules() const { return FTokenRules.get(); }
  void SetTokenRules(const TTokenRuleCollection* value);
  TBlockRuleCollection* BlockRules() const { return FBlockRules.get(); }
  void SetBlockRules(const TBlockRuleCollection* value);
  TCodeTemplates* CodeTemplates() const { return FCodeTemplates.get(); }
  void SetCodeTemplates(const TCodeTemplates* value);
  TSubAnalyzerRules* SubAnalyzers() const { return FSubAnalyzers.get(); }
  void SetSubAnalyzers(const TSubAnalyzerRules* value);
  TStrings* SampleText() const { return FSampleText.get(); }
  void SetSampleText(const TStrings* value);
  TStrings* TokenTypeNames() const { return FTokenTypeNames.get(); }
  void SetTokenTypeNames(const TStrings* value);
  // The grammar block rules may name rules of (GrammaRuleName); owned.
  TGrammaAnalyzer* Gramma() const { return FGramma.get(); }
  // Copies the grammar text, which recompiles it (UpdateGrammaRules).
  void SetGramma(const TGrammaAnalyzer* value);
  bool IsGrammaStored() const { return !FGramma->Gramma().empty(); }
  TStrings* Notes() const { return FNotes.get(); }
  void SetNotes(const TStrings* value);

  // --- The special styles, by name ------------------------------------------------------
  std::string MarkedBlockStyle() const;
  void SetMarkedBlockStyle(const std::string& value);
  std::string SearchMatchStyle() const;
  void SetSearchMatchStyle(const std::string& value);
  std::string CurrentLineStyle() const;
  void SetCurrentLineStyle(const std::string& value);
  std::string DefaultStyleName() const;
  void SetDefaultStyleName(const std::string& value);
  std::string CollapseStyleName() const;
  void SetCollapseStyleName(const std::string& value);
  TSyntaxFormat* MarkedBlock() const { return FMarkedBlock.Item(); }
  TSyntaxFormat* SearchMatch() const { return FSearchMatch.Item(); }
  TSyntaxFormat* CurrentLine() const { return FCurrentLine.Item(); }
  TSyntaxFormat* DefStyle() const { return FDefStyle.Item(); }
  TSyntaxFormat* CollapseStyle() const { return FCollapseStyle.Item(); }

  // --- Settings ------------------------------------------------------------------------
  const std::string& Extentions() const { return FExtentions; }
  void SetExtentions(const std::string& value) { FExtentions = value; }
  const std::string& LexerName() const { return FLexerName; }
  void SetLexerName(const std::string& value) { FLexerName = value; }
  bool SkipSpaces() const { return FSkipSpaces; }
  void SetSkipSpaces(bool value);  // re-analyses the clients when it changes
  int FullRefreshSize() const { return FFullRefreshSize; }
  void SetFullRefreshSize(int value) { FFullRefreshSize = value; }
  bool Internal() const { return FInternal; }
  void SetInternal(bool value) { FInternal = value; }
  bool RestartFromLineStart() const { return FRestartFromLineStart; }
  void SetRestartFromLineStart(bool value) { FRestartFromLineStart = value; }
  bool ParseEndOfLine() const { return FParseEndOfLine; }
  void SetParseEndOfLine(bool value);  // re-analyses the clients when it changes
  const std::u16string& LineComment() const { return FLineComment; }
  void SetLineComment(const std::u16string& value) { FLineComment = value; }
  bool AlwaysSyncBlockAnal() const { return FAlwaysSyncBlockAnal; }
  void SetAlwaysSyncBlockAnal(bool value);
  uint32_t IdleAppendDelay() const { return FIdleAppendDelay; }
  void SetIdleAppendDelay(uint32_t value) { FIdleAppendDelay = value; }
  uint32_t IdleAppendDelayInit() const { return FIdleAppendDelayInit; }
  void SetIdleAppendDelayInit(uint32_t value) { FIdleAppendDelayInit = value; }
  // The font character set whose code page every token-rule expression uses.
  TFontCharset Charset() const { return FCharset; }
  void SetCharset(TFontCharset value);

  TNotifyEvent OnChange;
  TBoundDefEvent OnGetStapleRange;
  TBoundDefEvent OnGetCollapseRange;
  TBoundDefEvent OnCloseTextRange;
  TParseTokenEvent OnParseToken;

  // --- Clients and masters ---------------------------------------------------------------
  // Results objects register themselves for their lifetime.
  void RegisterClient(TParserResults* client);
  void UnregisterClient(TParserResults* client);
  int ClientCount() const { return static_cast<int>(FClients.size()); }
  TParserResults* Clients(int index) const { return FClients.at(static_cast<size_t>(index)); }
  // Analyzers whose sub-lexer rules use this one. Never this analyzer, never twice.
  void AddMasterAnalyzer(TSyntAnalyzer* master);
  void RemoveMasterAnalyzer(TSyntAnalyzer* master);
  int MasterCount() const { return static_cast<int>(FMasters.size()); }
  TSyntAnalyzer* Masters(int index) const { return FMasters.at(static_cast<size_t>(index)); }

  // Clears every client's results and restarts its timer, then the masters' clients; then
  // UpdateClients. Re-entrant calls do nothing.
  void ClearClientContents();
  // Tells every client's host, and the masters', that the styles changed.
  void UpdateClients();
  // Fires OnChange.
  void Change();
  // Hands the token type names to the grammar and resolves the block rules' grammar rules.
  void UpdateGrammaRules();
  // Whether block rules can wait until the text is tokenised (cached until a rule changes).
  bool CanDeferBlockRules();
  void ForgetDeferAnswer() {
    FDeferAnswer = daUnknown;
    FDetectRules = daUnknown;
    FDetectList.clear();
  }
  // The cached answer itself, for a client that forces block rules to run per token.
  enum TDeferAnswer : uint8_t { daUnknown, daYes, daNo };
  TDeferAnswer DeferAnswer() const { return FDeferAnswer; }
  void SetDeferAnswer(TDeferAnswer value) { FDeferAnswer = value; }

  // --- Analysis steps ----------------------------------------------------------------------
  // A client for a text: srcProc gives its line store, syntClient (may be empty) is told
  // of changes. The caller owns it and frees it before this analyzer.
  TClientSyntAnalyzer* AddClient(std::shared_ptr<IqvSyntClient> syntClient, TSourceProc srcProc);
  // The token at the 1-based pos, or null: OnParseToken when assigned, else the first token
  // rule in order that is enabled for the client, allows the column and matches.
  virtual std::unique_ptr<TSyntToken> ParseToken(TParserResults* client, std::u16string_view text,
                                                 bool onlyGlobal, int pos);
  // The short block pass while tokens are extracted: tag-detect rules without parent block
  // or grammar rule, against the newest token.
  virtual void DetectTags(TParserResults* client, std::u16string_view text, bool onlyGlobal);
  // The full block pass for the first index tokens (-1: all). deferred leaves out the
  // tag-detect rules DetectTags already applied.
  virtual void ApplyBlockRules(TParserResults* client, std::u16string_view text, bool onlyGlobal,
                               int index, bool deferred = false);
  // True for a tag-detect rule that DetectTags applies.
  static bool IsDetectTagsRule(const TTagBlockCondition& rule, bool onlyGlobal);

  void Assign(const TPersistent* source) override;
  void Loaded() override;
  void Notification(TComponent* component, TOperation operation) override;

private:
  void FormatsChanged(TSyntCollectionItem* item);
  void BlockRulesChanged(TSyntCollectionItem* item);
  void RulesChanged();
  // The streamed setter: a character set is a byte, larger values are refused.
  void StoreCharset(int value);
  // Sets the guard for the duration of body; does nothing when it is already set.
  template <class F>
  void Guarded(F&& body);

  std::unique_ptr<TStylesCollection> FFormats;
  std::unique_ptr<TTokenRuleCollection> FTokenRules;
  std::unique_ptr<TBlockRuleCollection> FBlockRules;
  std::unique_ptr<TCodeTemplates> FCodeTemplates;
  std::unique_ptr<TSubAnalyzerRules> FSubAnalyzers;
  std::unique_ptr<TStringList> FSampleText;
  std::unique_ptr<TStringList> FTokenTypeNames;
  std::unique_ptr<TGrammaAnalyzer> FGramma;
  std::unique_ptr<TStringList> FNotes;
  TItemRef<TSyntaxFormat> FMarkedBlock;
  TItemRef<TSyntaxFormat> FSearchMatch;
  TItemRef<TSyntaxFormat> FCurrentLine;
  TItemRef<TSyntaxFormat> FDefStyle;
  TItemRef<TSyntaxFormat> FCollapseStyle;
  std::string FExtentions;
  std::string FLexerName;
  bool FSkipSpaces = true;
  int FFullRefreshSize = 0;
  bool FInternal = false;
  bool FRestartFromLineStart = false;
  bool FParseEndOfLine = false;
  std::u16string FLineComment;
  bool FAlwaysSyncBlockAnal = false;
  uint32_t FIdleAppendDelay = 200;
  uint32_t FIdleAppendDelayInit = 50;
  TFontCharset FCharset = DEFAULT_CHARSET;
  std::vector<TParserResults*> FClients;  // not owned
  std::vector<TSyntAnalyzer*> FMasters;   // not owned; free-notification links
  bool FUpdating = false;                 // the guard against re-entrant client updates
  TDeferAnswer FDeferAnswer = daUnknown;
  // The block rules that are tag-detect rules, in order, cached like FDeferAnswer (daYes:
  // FDetectList is up to date): the tag-detect pass of every step looks at those alone.
  TDeferAnswer FDetectRules = daUnknown;
  std::vector<TTagBlockCondition*> FDetectList;
};

}  // namespace qv
