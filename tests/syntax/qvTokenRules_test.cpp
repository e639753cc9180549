// Token rules: matching at a position, columns, invalid expressions, the modifiers and code
// page a rule's expression starts with, notices, and copying.
#include "syntax/qvTokenRules.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

#include "framework/Forms.h"
#include "framework/TextServices.h"
#include "syntax/qvStrUtils.h"
#include "syntax/qvSyntAnalyzer.h"
#include "syntax/qvZRegExpr.h"

namespace qv {
namespace {

TEST(TokenRule, MatchesAnchoredAtThePositionAndCountsErrorsAsNoMatch) {
  TTokenRuleCollection rules(nullptr);
  TTokenRule* word = rules.Add();
  word->SetExpression(u"[a-z_]\\w*");
  const std::u16string text = u"x = alpha_1 + 42;";
  EXPECT_EQ(word->MatchRule(text, 1), 1);
  EXPECT_EQ(word->MatchRule(text, 2), 0);  // anchored: no search forward
  EXPECT_EQ(word->MatchRule(text, 5), 7);
  EXPECT_EQ(word->MatchRule(text, 100), 0);
  EXPECT_FALSE(word->IsInvalid());

  // Case-insensitive by default; characters of the code page match as their bytes do.
  EXPECT_EQ(word->MatchRule(u"ALPHA", 1), 5);
  TTokenRule* accented = rules.Add();
  accented->SetExpression(u"caf\u00E9");
  EXPECT_EQ(accented->MatchRule(u"CAF\u00C9!", 1), 4);

  // A budget that runs out is a matching error: no match, no exception.
  TTokenRule* slow = rules.Add();
  slow->SetExpression(u"(a*)*b");
  slow->RegExpr().SetStepLimit(1000);
  EXPECT_EQ(slow->MatchRule(std::u16string(40, u'a'), 1), 0);
}

TEST(TokenRule, AnExpressionThatDoesNotCompileIsKeptShowsNothingAndNeverMatches) {
  int reported = 0;
  TExceptionEvent saved = Application->OnException;
  Application->OnException = [&](TObject*, const std::exception&) { ++reported; };
  TTokenRuleCollection rules(nullptr);
  TTokenRule* rule = rules.Add();
  int notices = 0;
  rules.OnChange = [&](TSyntCollection*, TSyntCollectionItem*) { ++notices; };
  rule->SetExpression(u"(unclosed");
  rule->SetExpression(u"(unclosed");  // the same text notifies again
  EXPECT_EQ(notices, 2);
  EXPECT_EQ(rule->Expression(), u"(unclosed");
  EXPECT_TRUE(rule->IsInvalid());
  EXPECT_EQ(rule->MatchRule(u"(unclosed", 1), 0);
  EXPECT_EQ(reported, 0);
  Application->OnException = saved;
}

TEST(TokenRule, ColumnsRestrictOnlyWhenAboveZero) {
  TTokenRuleCollection rules(nullptr);
  TTokenRule* rule = rules.Add();
  EXPECT_FALSE(rule->OutOfColumns(1));
  EXPECT_FALSE(rule->OutOfColumns(500));
  rule->SetColumnFrom(1);
  rule->SetColumnTo(1);
  EXPECT_FALSE(rule->OutOfColumns(1));
  EXPECT_TRUE(rule->OutOfColumns(2));
  rule->SetColumnFrom(3);
  rule->SetColumnTo(0);
  EXPECT_TRUE(rule->OutOfColumns(2));
  EXPECT_FALSE(rule->OutOfColumns(3000));
}

TEST(TokenRule, ExpressionsStartWithTheDefaultModifiersOrTheHostsAndTheOwnersCodePage) {
  TTokenRuleCollection rules(nullptr);
  EXPECT_EQ(rules.Add()->RegExpr().ModifierStr(), u"(?igmx-rs)");
  DefaultModifiersProc = [](TqvRegExpr& e) { e.SetModifierStr(u"(?s-i)"); };
  TTokenRule* hosted = rules.Add();
  DefaultModifiersProc = nullptr;
  EXPECT_TRUE(hosted->RegExpr().ModifierFlags() & MaskModS);
  EXPECT_FALSE(hosted->RegExpr().ModifierFlags() & MaskModI);

  TSyntAnalyzer lexer(nullptr);
  lexer.SetCharset(RUSSIAN_CHARSET);
  TTokenRule* cyrillic = lexer.TokenRules()->Add();
  EXPECT_EQ(cyrillic->RegExpr().CodePage(), 1251u);
  lexer.SetCharset(GREEK_CHARSET);  // every rule follows
  EXPECT_EQ(cyrillic->RegExpr().CodePage(), 1253u);
  EXPECT_EQ(rules.Add()->RegExpr().CodePage(), 0u);  // no owner: the default code page
}

TEST(TokenRule, SettersNotifyOnChangeAndAssignCopiesTheExpressionSilently) {
  TTokenRuleCollection rules(nullptr);
  TTokenRule* from = rules.Add();
  TTokenRule* to = rules.Add();
  int notices = 0;
  rules.OnChange = [&](TSyntCollection*, TSyntCollectionItem*) { ++notices; };
  from->SetTokenType(0);
  from->SetColumnFrom(0);
  EXPECT_EQ(notices, 0);
  from->SetTokenType(5);
  from->SetColumnTo(80);
  EXPECT_EQ(notices, 2);
  from->SetExpression(u"\\d+");
  from->OnMatchToken = [](TObject*, TParserResults*, std::u16string_view, int, int& len) { len = 3; };
  notices = 0;
  to->Assign(from);
  EXPECT_EQ(to->Expression(), u"\\d+");
  EXPECT_EQ(to->TokenType(), 5);
  EXPECT_EQ(to->ColumnTo(), 80);
  ASSERT_TRUE(to->OnMatchToken);
  int len = 0;
  to->OnMatchToken(to, nullptr, u"", 1, len);
  EXPECT_EQ(len, 3);
  // StyleName and BlockName always notify, TokenType and ColumnTo changed; the expression
  // arrived without a notice. The name was taken by the source and is refused.
  EXPECT_EQ(notices, 4);
  EXPECT_EQ(to->DisplayName(), "Token rule 2");
}

}  // namespace
}  // namespace qv
