// The analyzer's configuration: its properties, the reactions to rule changes, copying,
// loading, clients and master analyzers.
#include "syntax/qvSyntAnalyzer.h"

#include <algorithm>

#include "syntax/qvBlockRules.h"
#include "syntax/qvParserResults.h"
#include "syntax/qvStrUtils.h"
#include "syntax/qvSubLexers.h"
#include "syntax/qvSyntStyles.h"
#include "syntax/qvTokenRules.h"
#include "syntax/qvZRegExpr.h"

namespace qv {

const char* const DefaultTokenTypeNames[10] = {
    "Unknown", "Comment", "Identifier", "Symbol", "String", "Integer const", "Float const",
    "Hex const", "Char const", "Preprocessor"};

void TSyntAnalyzer::DeclareClass(TClassDecl& c) {
  using T = TSyntAnalyzer;
  c.Collection("Formats", &T::Formats, &T::SetFormats);
  c.Collection("TokenRules", &T::TokenRules, &T::SetTokenRules);
  c.Collection("BlockRules", &T::BlockRules, &T::SetBlockRules);
  c.Collection("CodeTemplates", &T::CodeTemplates, &T::SetCodeTemplates);
  c.Collection("SubAnalyzers", &T::SubAnalyzers, &T::SetSubAnalyzers);
  c.Strings("SampleText", &T::SampleText, &T::SetSampleText);
  c.Strings("TokenTypeNames", &T::TokenTypeNames, &T::SetTokenTypeNames);
  c.Object("Gramma", &T::Gramma, &T::SetGramma).Stored(&T::IsGrammaStored);
  c.String("MarkedBlockStyle", &T::MarkedBlockStyle, &T::SetMarkedBlockStyle);
  c.String("SearchMatchStyle", &T::SearchMatchStyle, &T::SetSearchMatchStyle);
  c.String("CurrentLineStyle", &T::CurrentLineStyle, &T::SetCurrentLineStyle);
  c.String("DefaultStyleName", &T::DefaultStyleName, &T::SetDefaultStyleName);
  c.String("CollapseStyleName", &T::CollapseStyleName, &T::SetCollapseStyleName);
  c.String("Extentions", &T::Extentions, &T::SetExtentions);
  c.String("LexerName", &T::LexerName, &T::SetLexerName);
  c.Boolean("SkipSpaces", &T::SkipSpaces, &T::SetSkipSpaces).Default(true);
  c.Integer("FullRefreshSize", &T::FullRefreshSize, &T::SetFullRefreshSize).Default(0);
  c.Strings("Notes", &T::Notes, &T::SetNotes);
  c.Boolean("Internal", &T::Internal, &T::SetInternal).Default(false);
  c.Boolean("RestartFromLineStart", &T::RestartFromLineStart, &T::SetRestartFromLineStart)
      .Default(false);
  c.Boolean("ParseEndOfLine", &T::ParseEndOfLine, &T::SetParseEndOfLine).Default(false);
  c.WideString("LineComment", &T::LineComment, &T::SetLineComment);
  c.Boolean("AlwaysSyncBlockAnal", &T::AlwaysSyncBlockAnal, &T::SetAlwaysSyncBlockAnal)
      .Default(false);
  c.Cardinal("IdleAppendDelay", &T::IdleAppendDelay, &T::SetIdleAppendDelay).Default(200u);
  c.Cardinal("IdleAppendDelayInit", &T::IdleAppendDelayInit, &T::SetIdleAppendDelayInit)
      .Default(50u);
  c.Integer("Charset", &T::Charset, &T::StoreCharset).NamedValues(CharsetIdents);
  c.Event("OnChange", &T::OnChange);
  c.Event("OnGetStapleRange", &T::OnGetStapleRange);
  c.Event("OnGetCollapseRange", &T::OnGetCollapseRange);
  c.Event("OnCloseTextRange", &T::OnCloseTextRange);
  c.Event("OnParseToken", &T::OnParseToken);
}

TSyntAnalyzer::TSyntAnalyzer(TComponent* owner)
    : TLoadableComponent(owner),
      FFormats(std::make_unique<TStylesCollection>(this)),
      FTokenRules(std::make_unique<TTokenRuleCollection>(this)),
      FBlockRules(std::make_unique<TBlockRuleCollection>(this)),
      FCodeTemplates(std::make_unique<TCodeTemplates>(this)),
      FSubAnalyzers(std::make_unique<TSubAnalyzerRules>(this)),
      FSampleText(std::make_unique<TStringList>()),
      FTokenTypeNames(std::make_unique<TStringList>()),
      FGramma(std::make_unique<TGrammaAnalyzer>()),
      FNotes(std::make_unique<TStringList>()) {
  for (const char* name : DefaultTokenTypeNames) FTokenTypeNames->Add(name);

  TSyntaxFormat* marked = FFormats->Add();
  marked->SetDisplayName(SMarkedBlockStyleName);
  marked->SetBgColor(clHighlight);
  marked->Font()->SetColor(clHighlightText);
  marked->SetFormatType(ftColor);
  marked->SetIsBlock(true);
  FMarkedBlock.Set(SMarkedBlockStyleName, FFormats.get(), false);

  // Installed last: every member exists when the first notice arrives.
  FFormats->OnChange = [this](TSyntCollection*, TSyntCollectionItem* item) { FormatsChanged(item); };
  FBlockRules->OnChange = [this](TSyntCollection*, TSyntCollectionItem* item) {
    BlockRulesChanged(item);
  };
  FTokenRules->OnChange = [this](TSyntCollection*, TSyntCollectionItem*) { RulesChanged(); };
  FSubAnalyzers->OnChange = [this](TSyntCollection*, TSyntCollectionItem*) { RulesChanged(); };
  FTokenTypeNames->OnChange = [this](TObject*) {
    UpdateGrammaRules();
    Change();
  };
  FGramma->OnChange = [this](TObject*) { UpdateGrammaRules(); };
}

TSyntAnalyzer::~TSyntAnalyzer() {
  // No notice may reach a half-destroyed analyzer.
  FFormats->OnChange = nullptr;
  FBlockRules->OnChange = nullptr;
  FTokenRules->OnChange = nullptr;
  FSubAnalyzers->OnChange = nullptr;
  FTokenTypeNames->OnChange = nullptr;
  FGramma->OnChange = nullptr;
  Destroying();
  // The sub-lexers this analyzer uses forget it as their master.
  for (int i = 0; i < FSubAnalyzers->Count(); ++i)
    if (TSyntAnalyzer* sub = FSubAnalyzers->Items(i)->SyntAnalyzer(); sub && sub != this)
      sub->RemoveMasterAnalyzer(this);
  DestroyComponents();
}

// --- Collections and lists -------------------------------------------------------------------

void TSyntAnalyzer::SetFormats(const TStylesCollection* value) { FFormats->Assign(value); }

void TSyntAnalyzer::SetTokenRules(const TTokenRuleCollection* value) {
  FTokenRules->Assign(value);
  ClearClientContents();
}

void TSyntAnalyzer::SetBlockRules(const TBlockRuleCollection* value) {
  FBlockRules->Assign(value);
  ClearClientContents();
}

void TSyntAnalyzer::SetCodeTemplates(const TCodeTemplates* value) {
  FCodeTemplates->Assign(value);
  ClearClientContents();
}

void TSyntAnalyzer::SetSubAnalyzers(const TSubAnalyzerRules* value) {
  FSubAnalyzers->Assign(value);
  ClearClientContents();
}

void TSyntAnalyzer::SetSampleText(const TStrings* value) { FSampleText->Assign(value); }
void TSyntAnalyzer::SetTokenTypeNames(const TStrings* value) { FTokenTypeNames->Assign(value); }
void TSyntAnalyzer::SetGramma(const TGrammaAnalyzer* value) {
  FGramma->Assign(value);
  UpdateGrammaRules();
}
void TSyntAnalyzer::SetNotes(const TStrings* value) { FNotes->Assign(value); }

// --- Special styles --------------------------------------------------------------------------

namespace {

bool Loading(const TComponent& c) { return c.ComponentState().Contains(csLoading); }

}  // namespace

std::string TSyntAnalyzer::MarkedBlockStyle() const { return FMarkedBlock.Get(this, Loading(*this)); }
std::string TSyntAnalyzer::SearchMatchStyle() const { return FSearchMatch.Get(this, Loading(*this)); }
std::string TSyntAnalyzer::CurrentLineStyle() const { return FCurrentLine.Get(this, Loading(*this)); }
std::string TSyntAnalyzer::DefaultStyleName() const { return FDefStyle.Get(this, Loading(*this)); }
std::string TSyntAnalyzer::CollapseStyleName() const {
  return FCollapseStyle.Get(this, Loading(*this));
}

void TSyntAnalyzer::SetMarkedBlockStyle(const std::string& value) {
  TSyntaxFormat* before = FMarkedBlock.Item();
  FMarkedBlock.Set(value, FFormats.get(), Loading(*this));
  if (FMarkedBlock.Item() != before) {
    UpdateClients();
    Change();
  }
}

void TSyntAnalyzer::SetSearchMatchStyle(const std::string& value) {
  FSearchMatch.Set(value, FFormats.get(), Loading(*this));
}

void TSyntAnalyzer::SetCurrentLineStyle(const std::string& value) {
  FCurrentLine.Set(value, FFormats.get(), Loading(*this));
}

void TSyntAnalyzer::SetDefaultStyleName(const std::string& value) {
  FDefStyle.Set(value, FFormats.get(), Loading(*this));
}

void TSyntAnalyzer::SetCollapseStyleName(const std::string& value) {
  FCollapseStyle.Set(value, FFormats.get(), Loading(*this));
}

// --- Settings --------------------------------------------------------------------------------

void TSyntAnalyzer::SetSkipSpaces(bool value) {
  if (FSkipSpaces == value) return;
  FSkipSpaces = value;
  ClearClientContents();
}

void TSyntAnalyzer::SetParseEndOfLine(bool value) {
  if (FParseEndOfLine == value) return;
  FParseEndOfLine = value;
  ClearClientContents();
}

void TSyntAnalyzer::SetAlwaysSyncBlockAnal(bool value) {
  FAlwaysSyncBlockAnal = value;
  if (value && FDeferAnswer == daYes) {
    ForgetDeferAnswer();
    ClearClientContents();
  }
}

void TSyntAnalyzer::SetCharset(TFontCharset value) {
  if (FCharset == value) return;
  FCharset = value;
  const auto codePage = static_cast<uint32_t>(CharsetToCodePage(value));
  for (int i = 0; i < FTokenRules->Count(); ++i)
    FTokenRules->Items(i)->RegExpr().SetCodePage(codePage);
  Change();
}

void TSyntAnalyzer::StoreCharset(int value) {
  if (value < 0 || value > 255) throw EConvertError("Invalid property value");
  SetCharset(static_cast<TFontCharset>(value));
}

// --- Clients and masters ---------------------------------------------------------------------

void TSyntAnalyzer::RegisterClient(TParserResults* client) {
  if (client && std::find(FClients.begin(), FClients.end(), client) == FClients.end())
    FClients.push_back(client);
}

void TSyntAnalyzer::UnregisterClient(TParserResults* client) {
  FClients.erase(std::remove(FClients.begin(), FClients.end(), client), FClients.end());
}

void TSyntAnalyzer::AddMasterAnalyzer(TSyntAnalyzer* master) {
  if (!master || master == this ||
      std::find(FMasters.begin(), FMasters.end(), master) != FMasters.end())
    return;
  FMasters.push_back(master);
  FreeNotification(master);
}

void TSyntAnalyzer::RemoveMasterAnalyzer(TSyntAnalyzer* master) {
  auto it = std::find(FMasters.begin(), FMasters.end(), master);
  if (it == FMasters.end()) return;
  FMasters.erase(it);
  RemoveFreeNotification(master);
}

template <class F>
void TSyntAnalyzer::Guarded(F&& body) {
  if (FUpdating) return;
  FUpdating = true;
  try {
    body();
  } catch (...) {
    FUpdating = false;
    throw;
  }
  FUpdating = false;
}

void TSyntAnalyzer::ClearClientContents() {
  if (FUpdating) return;
  Guarded([&] {
    for (TParserResults* client : std::vector<TParserResults*>(FClients)) {
      client->Clear();
      client->RestartTimer();
    }
    for (TSyntAnalyzer* master : std::vector<TSyntAnalyzer*>(FMasters)) master->ClearClientContents();
  });
  UpdateClients();
}

void TSyntAnalyzer::UpdateClients() {
  Guarded([&] {
    for (TParserResults* client : std::vector<TParserResults*>(FClients)) client->FormatChanged();
    for (TSyntAnalyzer* master : std::vector<TSyntAnalyzer*>(FMasters)) master->UpdateClients();
  });
}

void TSyntAnalyzer::Change() {
  if (OnChange) OnChange(this);
}

void TSyntAnalyzer::UpdateGrammaRules() {
  FGramma->CompileGramma(*FTokenTypeNames);
  const TGrammaAnalyzer& gramma = *FGramma;
  for (int i = 0; i < FBlockRules->Count(); ++i)
    FBlockRules->Items(i)->ResolveGrammaRule(
        [&gramma](const std::string& name) { return gramma.ParserRuleByName(name); });
}

bool TSyntAnalyzer::CanDeferBlockRules() {
  if (FDeferAnswer != daUnknown) return FDeferAnswer == daYes;
  // Provisional while the sub-lexers are asked: a cycle of sub-lexers answers for itself.
  FDeferAnswer = daYes;
  bool yes = !FAlwaysSyncBlockAnal;
  for (int i = 0; yes && i < FBlockRules->Count(); ++i)
    yes = FBlockRules->Items(i)->StatesAdd() == 0 && FBlockRules->Items(i)->StatesRemove() == 0;
  for (int i = 0; yes && i < FSubAnalyzers->Count(); ++i)
    yes = FSubAnalyzers->Items(i)->StatesAdd() == 0 && FSubAnalyzers->Items(i)->StatesRemove() == 0;
  for (int i = 0; yes && i < FTokenRules->Count(); ++i) yes = !FTokenRules->Items(i)->Block();
  for (int i = 0; yes && i < FSubAnalyzers->Count(); ++i)
    if (TSyntAnalyzer* sub = FSubAnalyzers->Items(i)->SyntAnalyzer()) yes = sub->CanDeferBlockRules();
  FDeferAnswer = yes ? daYes : daNo;
  return yes;
}

// --- Reactions to changes --------------------------------------------------------------------

void TSyntAnalyzer::FormatsChanged(TSyntCollectionItem* item) {
  ClearClientContents();
  if (!item) {
    const TSyntCollection& formats = *FFormats;
    for (TItemRef<TSyntaxFormat>* ref :
         {&FMarkedBlock, &FSearchMatch, &FCurrentLine, &FDefStyle, &FCollapseStyle})
      ref->Validate(formats);
    for (int i = 0; i < FBlockRules->Count(); ++i) FBlockRules->Items(i)->ValidateStyles(formats);
    for (int i = 0; i < FTokenRules->Count(); ++i) FTokenRules->Items(i)->ValidateStyle(formats);
    for (int i = 0; i < FSubAnalyzers->Count(); ++i) FSubAnalyzers->Items(i)->ValidateStyle(formats);
  }
  Change();
}

void TSyntAnalyzer::BlockRulesChanged(TSyntCollectionItem* item) {
  ForgetDeferAnswer();
  ClearClientContents();
  if (!item) {
    const TSyntCollection& blocks = *FBlockRules;
    for (int i = 0; i < FBlockRules->Count(); ++i) FBlockRules->Items(i)->ValidateBlocks(blocks);
    for (int i = 0; i < FTokenRules->Count(); ++i) FTokenRules->Items(i)->ValidateBlocks(blocks);
    for (int i = 0; i < FSubAnalyzers->Count(); ++i) FSubAnalyzers->Items(i)->ValidateBlocks(blocks);
  }
  Change();
}

void TSyntAnalyzer::RulesChanged() {
  ForgetDeferAnswer();
  ClearClientContents();
  Change();
}

// --- Copying, loading, notifications ---------------------------------------------------------

void TSyntAnalyzer::Assign(const TPersistent* source) {
  const auto* src = dynamic_cast<const TSyntAnalyzer*>(source);
  if (!src) {
    TLoadableComponent::Assign(source);
    return;
  }
  const bool wasUpdating = FUpdating;
  FUpdating = true;
  try {
    FCharset = src->FCharset;
    FAlwaysSyncBlockAnal = src->FAlwaysSyncBlockAnal;
    SetExtentions(src->Extentions());
    SetLexerName(src->LexerName());
    SetSkipSpaces(src->SkipSpaces());
    SetSampleText(src->SampleText());
    SetFullRefreshSize(src->FullRefreshSize());
    SetFormats(src->Formats());
    SetMarkedBlockStyle(src->MarkedBlockStyle());
    SetSearchMatchStyle(src->SearchMatchStyle());
    SetCurrentLineStyle(src->CurrentLineStyle());
    SetDefaultStyleName(src->DefaultStyleName());
    SetCollapseStyleName(src->CollapseStyleName());
    SetBlockRules(src->BlockRules());
    SetTokenRules(src->TokenRules());
    SetCodeTemplates(src->CodeTemplates());
    SetSubAnalyzers(src->SubAnalyzers());
    SetTokenTypeNames(src->TokenTypeNames());
    SetNotes(src->Notes());
    SetInternal(src->Internal());
    SetGramma(src->Gramma());
    SetRestartFromLineStart(src->RestartFromLineStart());
    SetParseEndOfLine(src->ParseEndOfLine());
    SetLineComment(src->LineComment());
    SetIdleAppendDelayInit(src->IdleAppendDelayInit());
    SetIdleAppendDelay(src->IdleAppendDelay());
    // References to rules later in the list could not resolve while the rules were copied.
    for (int i = 0; i < FBlockRules->Count() && i < src->BlockRules()->Count(); ++i) {
      TTagBlockCondition* rule = FBlockRules->Items(i);
      const TTagBlockCondition* from = src->BlockRules()->Items(i);
      rule->SetBlockEnd(from->BlockEnd());
      rule->SetBlockName(from->BlockName());
    }
  } catch (...) {
    FUpdating = wasUpdating;
    throw;
  }
  FUpdating = wasUpdating;
  ClearClientContents();
  UpdateClients();
  for (TParserResults* client : std::vector<TParserResults*>(FClients)) client->RestartTimer();
}

void TSyntAnalyzer::Loaded() {
  TLoadableComponent::Loaded();
  const TSyntCollection* formats = FFormats.get();
  for (TItemRef<TSyntaxFormat>* ref :
       {&FMarkedBlock, &FSearchMatch, &FCurrentLine, &FCollapseStyle, &FDefStyle})
    ref->Resolve(formats);
  FFormats->Loaded();
  FBlockRules->Loaded();
  FTokenRules->Loaded();
  FSubAnalyzers->Loaded();
  UpdateGrammaRules();
  ForgetDeferAnswer();
  for (TSyntAnalyzer* master : FMasters) master->ForgetDeferAnswer();
}

void TSyntAnalyzer::Notification(TComponent* component, TOperation operation) {
  TLoadableComponent::Notification(component, operation);
  if (operation != opRemove || component == this) return;
  // Compared by address only: a component reports its removal from its base destructor,
  // when it is no longer of its own class.
  for (int i = 0; i < FSubAnalyzers->Count(); ++i)
    if (static_cast<TComponent*>(FSubAnalyzers->Items(i)->SyntAnalyzer()) == component)
      FSubAnalyzers->Items(i)->ClearSyntAnalyzer();
  FMasters.erase(std::remove_if(FMasters.begin(), FMasters.end(),
                                [&](TSyntAnalyzer* m) { return static_cast<TComponent*>(m) == component; }),
                 FMasters.end());
}

}  // namespace qv
