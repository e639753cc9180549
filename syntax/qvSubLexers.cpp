// Sub-lexer rules (expressions, the analyzer they name and the master lists that follow
// from it, matching at a position) and code templates with their collections.
#include "syntax/qvSubLexers.h"

#include <type_traits>

#include "framework/TextServices.h"
#include "framework/TypInfo.h"
#include "syntax/qvMemoStrings.h"
#include "syntax/qvSyntAnalyzer.h"
#include "syntax/qvZRegExpr.h"

namespace qv {

namespace {

// The anchored forward match length, with any failure while matching counted as no match.
template <class Text>
int SafeMatchLength(TqvRegExpr& expression, const Text& text, int pos) {
  try {
    if constexpr (std::is_same_v<Text, std::string>)
      return expression.MatchLength(text, pos, false);
    else
      return expression.MatchLengthWide(text, pos, false);
  } catch (const Exception&) {  // a match over its step budget is no match; analysis goes on
    return 0;
  }
}

// Makes dest hold the lines of source. Between two line stores the text is taken as it is:
// the store's Assign drops a CR LF at the very end, which would lose a final empty line
// ("a" CR LF "" becoming "a").
void CopyLines(TSyntMemoStrings& dest, const TWideStrings& source) {
  if (&source == &dest) return;
  if (const auto* store = dynamic_cast<const TSyntMemoStrings*>(&source))
    dest.SetTextStr(store->Text());
  else
    dest.Assign(&source);
}

}  // namespace

// --- TSubAnalyzerRule ------------------------------------------------------------------------

void TSubAnalyzerRule::DeclareClass(TClassDecl& c) {
  using T = TSubAnalyzerRule;
  c.String("StartExpression", &T::StartExpression, &T::SetStartExpression);
  c.String("EndExpression", &T::EndExpression, &T::SetEndExpression);
  c.Component("SyntAnalyzer", &T::SyntAnalyzer, &T::SetSyntAnalyzer);
  c.Boolean("FromTextBegin", &T::FromTextBegin, &T::SetFromTextBegin).Default(false);
  c.Boolean("ToTextEnd", &T::ToTextEnd, &T::SetToTextEnd).Default(false);
  c.Boolean("IncludeBounds", &T::IncludeBounds, &T::SetIncludeBounds).Default(false);
}

TSubAnalyzerRule::TSubAnalyzerRule(TCollection* collection)
    : TRuleCollectionItem(collection),
      FStartExpression(std::make_unique<TqvRegExpr>()),
      FEndExpression(std::make_unique<TqvRegExpr>()) {
  ApplyDefaultModifiers(*FStartExpression);
  ApplyDefaultModifiers(*FEndExpression);
}

TSubAnalyzerRule::~TSubAnalyzerRule() {
  // Still listed only when deleted directly: the collection's Notify for that runs from the
  // base destructor, too late to see this rule, so the rule leaves the masters itself.
  if (Collection()) LeaveMasters();
}

std::string TSubAnalyzerRule::StartExpression() const {
  return WideCharToMultiByte(CP_ACP, FStartExpression->Expression());
}

void TSubAnalyzerRule::SetStartExpression(const std::string& value) {
  FStartExpression->SetExpression(MultiByteToWideChar(CP_ACP, value));
  ItemChanged();
}

std::string TSubAnalyzerRule::EndExpression() const {
  return WideCharToMultiByte(CP_ACP, FEndExpression->Expression());
}

void TSubAnalyzerRule::SetEndExpression(const std::string& value) {
  FEndExpression->SetExpression(MultiByteToWideChar(CP_ACP, value));
  ItemChanged();
}

bool TSubAnalyzerRule::NamedByOtherRule(const TSyntAnalyzer* analyzer) const {
  const TSyntCollection* rules = SyntCollection();
  if (!rules) return false;
  for (int i = 0; i < rules->Count(); ++i) {
    const auto* rule = dynamic_cast<const TSubAnalyzerRule*>(rules->Items(i));
    if (rule && rule != this && rule->FSyntAnalyzer == analyzer) return true;
  }
  return false;
}

void TSubAnalyzerRule::JoinMasters() {
  TSyntAnalyzer* owner = SyntOwner();
  if (!owner || !FSyntAnalyzer || FSyntAnalyzer == owner) return;
  if (!NamedByOtherRule(FSyntAnalyzer)) FSyntAnalyzer->AddMasterAnalyzer(owner);
}

void TSubAnalyzerRule::LeaveMasters() {
  TSyntAnalyzer* owner = SyntOwner();
  if (!owner || !FSyntAnalyzer || FSyntAnalyzer == owner) return;
  // Another rule of the owner still embeds the analyzer: the owner stays its master.
  if (!NamedByOtherRule(FSyntAnalyzer)) FSyntAnalyzer->RemoveMasterAnalyzer(owner);
}

void TSubAnalyzerRule::SetSyntAnalyzer(TSyntAnalyzer* value) {
  if (value == FSyntAnalyzer) return;
  LeaveMasters();
  FSyntAnalyzer = value;
  JoinMasters();
  ItemChanged();
}

void TSubAnalyzerRule::SetFromTextBegin(bool value) {
  FFromTextBegin = value;
  ItemChanged();
}

void TSubAnalyzerRule::SetToTextEnd(bool value) {
  FToTextEnd = value;
  ItemChanged();
}

void TSubAnalyzerRule::SetIncludeBounds(bool value) {
  FIncludeBounds = value;
  ItemChanged();
}

// The wide overloads rely on the matcher's unit semantics: the expressions keep code page 0,
// the system code page, whose byte for each unit is what the 8-bit conversion would give.
int TSubAnalyzerRule::MatchStart(std::u16string_view text, int pos) {
  return SafeMatchLength(*FStartExpression, text, pos);
}

int TSubAnalyzerRule::MatchEnd(std::u16string_view text, int pos) {
  return SafeMatchLength(*FEndExpression, text, pos);
}

int TSubAnalyzerRule::StartReach() const { return FStartExpression->LastReach(); }
int TSubAnalyzerRule::EndReach() const { return FEndExpression->LastReach(); }

int TSubAnalyzerRule::MatchStart(const std::string& text8, int pos) {
  return SafeMatchLength(*FStartExpression, text8, pos);
}

int TSubAnalyzerRule::MatchEnd(const std::string& text8, int pos) {
  return SafeMatchLength(*FEndExpression, text8, pos);
}

void TSubAnalyzerRule::AssignTo(TPersistent* dest) const {
  TRuleCollectionItem::AssignTo(dest);
  auto* rule = dynamic_cast<TSubAnalyzerRule*>(dest);
  if (!rule) return;
  rule->SetStartExpression(StartExpression());
  rule->SetEndExpression(EndExpression());
  rule->SetSyntAnalyzer(FSyntAnalyzer);
  rule->SetFromTextBegin(FFromTextBegin);
  rule->SetToTextEnd(FToTextEnd);
  rule->SetIncludeBounds(FIncludeBounds);
}

// --- TSubAnalyzerRules -----------------------------------------------------------------------

TSubAnalyzerRules::TSubAnalyzerRules(TSyntAnalyzer* owner)
    : TSyntCollection(ClassInfoOf<TSubAnalyzerRule>(), CreateItemOf<TSubAnalyzerRule>, owner) {}

void TSubAnalyzerRules::Notify(TCollectionItem* item, TCollectionNotification action) {
  TSyntCollection::Notify(item, action);
  // Null for a rule reported from its base destructor; it has left the masters already.
  auto* rule = dynamic_cast<TSubAnalyzerRule*>(item);
  if (!rule) return;
  if (action == cnAdded)
    rule->JoinMasters();  // a rule moved in from elsewhere may name an analyzer
  else
    rule->LeaveMasters();  // still listed: the other rules are counted without it
}

// --- TCodeTemplate ---------------------------------------------------------------------------

void TCodeTemplate::DeclareClass(TClassDecl& c) {
  using T = TCodeTemplate;
  c.String("Name", &T::Name, &T::SetName);
  c.String("Description", &T::Description, &T::SetDescription);
  c.Strings("Code", &T::Code, &T::SetCode);
  c.Boolean("Advanced", &T::Advanced, &T::SetAdvanced).Default(false);
}

TCodeTemplate::TCodeTemplate(TCollection* collection)
    : TCollectionItem(collection), FCode(std::make_unique<TSyntMemoStrings>()) {}

TCodeTemplate::~TCodeTemplate() = default;

void TCodeTemplate::SetCode(const TWideStrings* value) {
  if (value)
    CopyLines(*FCode, *value);
  else
    FCode->Clear();
}

void TCodeTemplate::Assign(const TPersistent* source) {
  const auto* other = dynamic_cast<const TCodeTemplate*>(source);
  if (!other) {
    TCollectionItem::Assign(source);
    return;
  }
  FName = other->FName;
  FDescription = other->FDescription;
  FAdvanced = other->FAdvanced;
  CopyLines(*FCode, *other->FCode);
}

// --- TCodeTemplates --------------------------------------------------------------------------

TCodeTemplates::TCodeTemplates(TPersistent* owner)
    : TOwnedCollection(owner, CreateItemOf<TCodeTemplate>, TCodeTemplate::StaticClassName()) {}

}  // namespace qv
