// Lexer items and collections: generated and unique names, change notices, rule gating and
// state updates, and references by name that follow renames and loading.
#include "syntax/qvSyntItems.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "syntax/qvBlockRules.h"
#include "syntax/qvSyntAnalyzer.h"
#include "syntax/qvSyntStyles.h"
#include "syntax/qvTokenRules.h"

namespace qv {
namespace {

std::vector<std::string> Names(const TSyntCollection& c) {
  std::vector<std::string> names;
  for (int i = 0; i < c.Count(); ++i) names.push_back(c.Items(i)->DisplayName());
  return names;
}

// Records every notice of a collection: "*" for the whole collection, else the item's name.
struct TNotices {
  std::vector<std::string> Log;
  void Watch(TSyntCollection& c) {
    c.OnChange = [this](TSyntCollection*, TSyntCollectionItem* item) {
      Log.push_back(item ? item->DisplayName() : "*");
    };
  }
};

TEST(SyntItems, NewItemsTakeTheSmallestFreeNumberOfTheirKind) {
  TTokenRuleCollection rules(nullptr);
  rules.Add();
  rules.Add();
  rules.Add();
  EXPECT_THAT(Names(rules), testing::ElementsAre("Token rule 1", "Token rule 2", "Token rule 3"));
  rules.Delete(1);
  rules.Add();
  EXPECT_THAT(Names(rules), testing::ElementsAre("Token rule 1", "Token rule 3", "Token rule 2"));

  TStylesCollection styles(nullptr);
  EXPECT_EQ(styles.Add()->DisplayName(), "Style 1");
  TBlockRuleCollection blocks(nullptr);
  EXPECT_EQ(blocks.Add()->DisplayName(), "Tag block rule 1");
  TTokenRule loose(nullptr);  // without a collection: no name
  EXPECT_EQ(loose.DisplayName(), "");
}

TEST(SyntItems, NamesAreUniqueExactlyAndRenamesSendNoNotice) {
  TTokenRuleCollection rules(nullptr);
  TTokenRule* a = rules.Add();
  TTokenRule* b = rules.Add();
  TNotices notices;
  notices.Watch(rules);
  b->SetDisplayName("Token rule 1");  // taken: ignored
  EXPECT_EQ(b->DisplayName(), "Token rule 2");
  b->SetDisplayName("TOKEN RULE 1");  // another name: letter case counts
  EXPECT_EQ(b->DisplayName(), "TOKEN RULE 1");
  a->SetDisplayName("Token rule 1");  // its own name
  EXPECT_EQ(a->DisplayName(), "Token rule 1");
  EXPECT_TRUE(notices.Log.empty());
  EXPECT_EQ(rules.ItemByName("TOKEN RULE 1"), b);
  EXPECT_EQ(rules.ItemByName("token rule 1"), nullptr);
  EXPECT_TRUE(rules.ValidItem(a));
  TTokenRuleCollection other(nullptr);
  EXPECT_FALSE(other.ValidItem(a));
  EXPECT_FALSE(other.ValidItem(nullptr));
}

TEST(SyntItems, CollectionsTakeOnlyLexerItems) {
  EXPECT_THAT([] { TSyntCollection c(ClassInfoOf<TCollectionItem>(), CreateItemOf<TCollectionItem>, nullptr); },
              testing::ThrowsMessage<Exception>(testing::StrEq("Allow only TSyntCollectionItem Class")));
}

TEST(SyntItems, RuleSettersNotifyOnlyRealChanges) {
  TTokenRuleCollection rules(nullptr);
  TTokenRule* rule = rules.Add();
  TNotices notices;
  notices.Watch(rules);
  rule->SetEnabled(true);
  rule->SetStrictParent(false);
  rule->SetStatesAdd(0);
  EXPECT_TRUE(notices.Log.empty());
  rule->SetEnabled(false);
  rule->SetNotParent(true);
  rule->SetAlwaysEnabled(true);
  rule->SetStatesAdd(1);
  rule->SetStatesRemove(2);
  rule->SetStatesPresent(4);
  rule->SetStatesAbsent(8);
  rule->SetStatesAbsent(8);
  EXPECT_EQ(notices.Log, std::vector<std::string>(7, "Token rule 1"));
  rules.Add();
  EXPECT_EQ(notices.Log.back(), "*");  // an added item is a change of the whole
}

TEST(SyntItems, GatingAndStateUpdates) {
  TTokenRuleCollection rules(nullptr);
  TTokenRule* rule = rules.Add();
  EXPECT_TRUE(rule->GatesOpen(0, false));
  EXPECT_FALSE(rule->GatesOpen(0, true));  // only global rules asked for
  rule->SetAlwaysEnabled(true);
  EXPECT_TRUE(rule->GatesOpen(0, true));
  rule->SetStatesPresent(0b0110);
  EXPECT_FALSE(rule->GatesOpen(0b0100, false));
  EXPECT_TRUE(rule->GatesOpen(0b1110, false));
  rule->SetStatesAbsent(0b1000);
  EXPECT_FALSE(rule->GatesOpen(0b1110, false));
  EXPECT_TRUE(rule->GatesOpen(0b0110, false));
  rule->SetStatesAbsent(static_cast<int>(0x80000000u));  // the top bit as well
  EXPECT_FALSE(rule->GatesOpen(0x80000006u, false));
  rule->SetEnabled(false);
  EXPECT_FALSE(rule->GatesOpen(0b0110, false));

  // Removal first: a bit in both masks ends set.
  rule->SetStatesAdd(4);
  rule->SetStatesRemove(4);
  EXPECT_EQ(rule->ApplyStates(0), 4u);
  rule->SetStatesRemove(0b0011);
  EXPECT_EQ(rule->ApplyStates(0b1011), 0b1100u);
}

TEST(SyntItems, StyleAndBlockNamesResolveInTheOwnerAndFollowRenames) {
  TSyntAnalyzer lexer(nullptr);
  TSyntaxFormat* keyword = lexer.Formats()->Add();
  keyword->SetDisplayName("Keyword");
  TTagBlockCondition* block = lexer.BlockRules()->Add();
  TTokenRule* rule = lexer.TokenRules()->Add();

  rule->SetStyleName("Keyword");
  rule->SetBlockName("Tag block rule 1");
  EXPECT_EQ(rule->Style(), keyword);
  EXPECT_EQ(rule->Block(), block);
  keyword->SetDisplayName("Reserved word");
  EXPECT_EQ(rule->StyleName(), "Reserved word");
  rule->SetStyleName("No such style");
  EXPECT_EQ(rule->Style(), nullptr);
  EXPECT_EQ(rule->StyleName(), "");

  // A rule without an owner analyzer has no references at all.
  TTokenRuleCollection loose(nullptr);
  TTokenRule* orphan = loose.Add();
  orphan->SetStyleName("Keyword");
  EXPECT_EQ(orphan->StyleName(), "");
  EXPECT_EQ(orphan->Style(), nullptr);
}

TEST(SyntItems, WhileLoadingNamesAreKeptAsTextAndResolvedWhenLoaded) {
  TSyntAnalyzer lexer(nullptr);
  TTokenRule* rule = lexer.TokenRules()->Add();
  TNotices notices;
  notices.Watch(*lexer.TokenRules());
  lexer.IncludeState(csLoading);
  rule->SetStyleName("Later");
  rule->SetBlockName("Later block");
  EXPECT_EQ(rule->StyleName(), "Later");
  EXPECT_EQ(rule->Style(), nullptr);
  EXPECT_EQ(notices.Log.size(), 1u);  // StyleName notifies always, BlockName not while loading
  TSyntaxFormat* later = lexer.Formats()->Add();
  later->SetDisplayName("Later");
  TTagBlockCondition* block = lexer.BlockRules()->Add();
  block->SetDisplayName("Later block");
  lexer.Loaded();
  EXPECT_EQ(rule->Style(), later);
  EXPECT_EQ(rule->Block(), block);
  EXPECT_EQ(rule->StyleName(), "Later");
}

TEST(SyntItems, AssignCopiesRuleDataAndResolvesNamesInTheDestination) {
  TSyntAnalyzer source(nullptr), dest(nullptr);
  source.Formats()->Add()->SetDisplayName("Shared");
  TSyntaxFormat* destStyle = dest.Formats()->Add();
  destStyle->SetDisplayName("Shared");
  TTokenRule* from = source.TokenRules()->Add();
  from->SetDisplayName("Numbers");
  from->SetStyleName("Shared");
  from->SetEnabled(false);
  from->SetStrictParent(true);
  from->SetStatesAdd(3);
  from->SetStatesAbsent(16);
  TTokenRule* to = dest.TokenRules()->Add();
  to->Assign(from);
  EXPECT_EQ(to->DisplayName(), "Numbers");
  EXPECT_EQ(to->Style(), destStyle);
  EXPECT_FALSE(to->Enabled());
  EXPECT_TRUE(to->StrictParent());
  EXPECT_EQ(to->StatesAdd(), 3);
  EXPECT_EQ(to->StatesAbsent(), 16);
  // Another kind of item takes only the part the two share: name and Enabled.
  TSyntaxFormat* style = dest.Formats()->Add();
  const TColor background = style->BgColor();
  style->Assign(from);
  EXPECT_EQ(style->DisplayName(), "Numbers");
  EXPECT_FALSE(style->Enabled());
  EXPECT_EQ(style->BgColor(), background);
}

}  // namespace
}  // namespace qv
