// Token rules: the expression object, columns, and matching at a position.
#include "syntax/qvTokenRules.h"

#include "framework/Forms.h"
#include "syntax/qvStrUtils.h"
#include "syntax/qvSyntAnalyzer.h"
#include "syntax/qvZRegExpr.h"

namespace qv {

void TTokenRule::DeclareClass(TClassDecl& c) {
  using T = TTokenRule;
  c.Integer("TokenType", &T::TokenType, &T::SetTokenType).Default(0);
  c.WideString("Expression", &T::Expression, &T::SetExpression);
  c.Integer("ColumnFrom", &T::ColumnFrom, &T::SetColumnFrom);
  c.Integer("ColumnTo", &T::ColumnTo, &T::SetColumnTo);
  c.Event("OnMatchToken", &T::OnMatchToken);
  c.Event("OnMouseClick", &T::OnMouseClick);
}

TTokenRule::TTokenRule(TCollection* collection)
    : TRuleCollectionItem(collection), FExpression(std::make_unique<TqvRegExpr>()) {
  if (const TSyntAnalyzer* owner = SyntOwner())
    FExpression->SetCodePage(static_cast<uint32_t>(CharsetToCodePage(owner->Charset())));
  ApplyDefaultModifiers(*FExpression);
}

TTokenRule::~TTokenRule() = default;

bool TTokenRule::IsInvalid() const { return FExpression->IsInvalid(); }

void TTokenRule::SetTokenType(int value) { SetAndNotify(FTokenType, value); }
void TTokenRule::SetColumnFrom(int value) { SetAndNotify(FColumnFrom, value); }
void TTokenRule::SetColumnTo(int value) { SetAndNotify(FColumnTo, value); }

const std::u16string& TTokenRule::Expression() const { return FExpression->Expression(); }

void TTokenRule::SetExpression(const std::u16string& value) {
  try {
    FExpression->SetExpression(value);
  } catch (const std::exception& e) {
    if (Application) Application->HandleException(this, e);
  }
  ItemChanged();
}

int TTokenRule::MatchRule(std::u16string_view text, int scanPos) const {
  try {
    return FExpression->MatchLengthWide(text, scanPos, false);
  } catch (const Exception&) {
    return 0;
  }
}

int TTokenRule::LastReach() const { return FExpression->LastReach(); }

void TTokenRule::AssignTo(TPersistent* dest) const {
  TRuleCollectionItem::AssignTo(dest);
  auto* rule = dynamic_cast<TTokenRule*>(dest);
  if (!rule) return;
  rule->SetTokenType(FTokenType);
  rule->FExpression->SetExpression(FExpression->Expression());  // no change notice
  rule->OnMatchToken = OnMatchToken;
  rule->OnMouseClick = OnMouseClick;
  rule->SetColumnFrom(FColumnFrom);
  rule->SetColumnTo(FColumnTo);
}

TTokenRuleCollection::TTokenRuleCollection(TSyntAnalyzer* owner)
    : TSyntCollection(ClassInfoOf<TTokenRule>(), CreateItemOf<TTokenRule>, owner) {}

}  // namespace qv
