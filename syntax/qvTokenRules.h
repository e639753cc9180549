// Token rules: an expression tried at the scan position; the first rule in collection order
// whose expression matches a non-empty stretch makes the token.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "framework/Controls.h"
#include "syntax/qvSyntItems.h"

namespace qv {

class TParserResults;
class TqvRegExpr;

// Called after every match attempt of a token rule; the handler may change matchLen (0 = none).
using TOnMatchToken = std::function<void(TObject* sender, TParserResults* client,
                                         std::u16string_view text, int scanPos, int& matchLen)>;
// For the displaying editor: a token of the rule was clicked.
using TMouseClickEvent =
    std::function<void(TObject* editor, int tokenIndex, TMouseButton button, TShiftState shift)>;

// One rule of a lexer: an expression tried at the scan position. A match gives a token of
// TokenType. Columns count from 1; a rule with ColumnFrom or ColumnTo above 0 is tried only
// at columns within them.
class TTokenRule : public TRuleCollectionItem {
  QV_CLASS(TTokenRule, TRuleCollectionItem)
  static void DeclareClass(TClassDecl& c);

  // Creates the expression with the default modifiers, in the code page of the owner
  // analyzer's Charset when there is an owner.
  explicit TTokenRule(TCollection* collection);
  ~TTokenRule() override;

  std::string GetItemBaseName() const override { return "Token rule"; }
  bool IsInvalid() const override;

  int TokenType() const { return FTokenType; }
  void SetTokenType(int value);  // notifies only when the value changes
  const std::u16string& Expression() const;
  // Hands the text to the expression (compiled at the next match) and always notifies. An
  // error on the way goes to the application's exception handler.
  void SetExpression(const std::u16string& value);
  int ColumnFrom() const { return FColumnFrom; }
  void SetColumnFrom(int value);
  int ColumnTo() const { return FColumnTo; }
  void SetColumnTo(int value);

  TOnMatchToken OnMatchToken;
  TMouseClickEvent OnMouseClick;

  // Length of the match starting exactly at the 1-based scanPos, or 0; matching errors
  // count as no match. Matches the wide text directly, with the lengths the 8-bit form in
  // the expression's code page would give.
  int MatchRule(std::u16string_view text, int scanPos) const;
  // The furthest position the last MatchRule examined (see TqvRegExpr::LastReach).
  int LastReach() const;
  // True when columns restrict the rule and column (1-based) is outside them.
  bool OutOfColumns(int column) const {
    return (FColumnFrom > 0 && column < FColumnFrom) || (FColumnTo > 0 && column > FColumnTo);
  }

  TqvRegExpr& RegExpr() const { return *FExpression; }

protected:
  void AssignTo(TPersistent* dest) const override;

private:
  int FTokenType = 0;
  std::unique_ptr<TqvRegExpr> FExpression;  // owned; compiled on first use
  int FColumnFrom = 0;
  int FColumnTo = 0;
};

class TTokenRuleCollection : public TSyntCollection {
  QV_CLASS(TTokenRuleCollection, TSyntCollection)
  explicit TTokenRuleCollection(TSyntAnalyzer* owner);
  TTokenRule* Items(int index) const { return static_cast<TTokenRule*>(TCollection::Items(index)); }
  TTokenRule* Add() { return static_cast<TTokenRule*>(TCollection::Add()); }
};

}  // namespace qv
