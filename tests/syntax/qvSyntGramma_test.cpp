// The grammar analyzer: compiling grammar texts (every item kind, comments, left-out
// semicolons, texts broken anywhere), matching rules backwards over hand-made token lists
// (branch order, greedy repetition, the skip rule, the recursion guard), and the published
// grammar text with its change notification.
#include "syntax/qvSyntGramma.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "framework/Classes.h"
#include "syntax/qvStrUtils.h"
#include "syntax/qvSyntAnalyzer.h"

namespace qv {
namespace {

using ::testing::StrEq;
using ::testing::ThrowsMessage;

// Tokens from words separated by spaces; "word:n" gives the word token type n, else 0.
class TTestTokens : public TTokenHolder {
public:
  explicit TTestTokens(const std::string& words) {
    std::istringstream in(words);
    for (std::string word; in >> word;) {
      size_t colon = word.rfind(':');
      bool typed = colon != std::string::npos && colon > 0;
      Add(Utf8ToWide(typed ? word.substr(0, colon) : word),
          typed ? std::stoi(word.substr(colon + 1)) : 0);
    }
  }
  void Add(std::u16string text, int type) { FTokens.emplace_back(std::move(text), type); }
  int TokenCount() const override { return static_cast<int>(FTokens.size()); }
  int TokenType(int i) const override { return FTokens.at(static_cast<size_t>(i)).second; }
  std::u16string TagStr(int i) const override { return FTokens.at(static_cast<size_t>(i)).first; }

private:
  std::vector<std::pair<std::u16string, int>> FTokens;
};

std::unique_ptr<TStringList> DefaultNames() {
  auto names = std::make_unique<TStringList>();
  for (const char* name : DefaultTokenTypeNames) names->Add(name);
  return names;
}

std::unique_ptr<TGrammaAnalyzer> Compile(std::string_view text) {
  auto gramma = std::make_unique<TGrammaAnalyzer>();
  gramma->SetGramma(Utf8ToWide(text));
  EXPECT_TRUE(gramma->CompileGramma(*DefaultNames()));
  return gramma;
}

// A rule written back in grammar form: token types with their resolved index (<Name:2>),
// unresolved rule names with "!", groups in parentheses.
std::string DumpBranches(const TParserRule& rule);

std::string DumpItem(const TParserRuleItem& item) {
  std::string s;
  switch (item.ItemType) {
    case itLiteral: s = '"' + item.Terminal + '"'; break;
    case itLiteralIgnoreCase: s = '\'' + item.Terminal + '\''; break;
    case itTokenType: s = '<' + item.Terminal + ':' + std::to_string(item.TokenType) + '>'; break;
    case itRule:
      if (item.IsSubRule) s = '(' + DumpBranches(*item.ParserRule) + " )";
      else s = item.Terminal + (item.ParserRule ? "" : "!");
      break;
  }
  if (item.RepMin == 0 && item.RepMax == -1) return s + '*';
  if (item.RepMin == 1 && item.RepMax == -1) return s + '+';
  if (item.RepMin == 0 && item.RepMax == 1) return s + '?';
  return s;
}

std::string DumpBranches(const TParserRule& rule) {
  std::string s;
  for (int b = 0; b < rule.BranchCount(); ++b) {
    if (b > 0) s += " |";
    for (const auto& item : rule.Branches[static_cast<size_t>(b)]->Items) s += ' ' + DumpItem(*item);
  }
  return s;
}

std::vector<std::string> DumpRuleList(const TGrammaAnalyzer& gramma) {
  std::vector<std::string> rules;
  for (int i = 0; i < gramma.RuleCount(); ++i) {
    const TParserRule& rule = *gramma.Rules(i);
    rules.push_back(rule.Name.empty() ? "(" + DumpBranches(rule) + " )"
                                      : rule.Name + " =" + DumpBranches(rule) + " ;");
  }
  return rules;
}

std::string DumpRules(const TGrammaAnalyzer& gramma) {
  std::string s;
  for (const std::string& rule : DumpRuleList(gramma)) s += (s.empty() ? "" : " ") + rule;
  return s;
}

// A term node as its token index, a branch node as its children in brackets.
std::string DumpTree(const TParserNode* node) {
  if (!node) return "none";
  if (const auto* term = dynamic_cast<const TParserTermNode*>(node))
    return std::to_string(term->TokenIdx);
  std::string s = "[";
  for (int i = 0; i < node->Count(); ++i) s += (i ? " " : "") + DumpTree(node->Nodes(i));
  return s + "]";
}

// --- Compiling --------------------------------------------------------------------------------

TEST(TGrammaCompile, GrammarTextsCompileToTheirRules) {
  struct TCase {
    const char* Name;
    const char* Text;
    const char* Rules;
  } cases[] = {
      {"every item kind and suffix",
       "A = \"x\" 'Y'? <Identifier>* B+ (C | \"d\")* <Nope> ; B = \"b\" ; C = 'c' ;",
       "A = \"x\" 'Y'? <Identifier:2>* B+ ( C | \"d\" )* <Nope:-1> ; B = \"b\" ; C = 'c' ;"},
      {"token type names ignore case", "A = <IDENTIFIER> <unknown> ;",
       "A = <IDENTIFIER:2> <unknown:0> ;"},
      {"rule names ignore case, unknown names stay unresolved", "A = b Zz ; B = \"b\" ;",
       "A = b Zz! ; B = \"b\" ;"},
      {"alternatives and empty branches", "A = | \"x\" | ; B = ;", "A = | \"x\" | ; B = ;"},
      {"nested groups", "A = ((\"a\")? \"b\")+ ;", "A = ( ( \"a\" )? \"b\" )+ ;"},
      {"comments wherever a rule or item starts",
       "// head\nA /* n */ = /* i */ \"x\" // tail\n /* ; */ ; /* open to the end",
       "A = \"x\" ;"},
      {"left-out semicolon before the next rule", "A = \"x\" B = \"y\" ; C = B D = A ;",
       "A = \"x\" ; B = \"y\" ; C = B ; D = A ;"},
      {"literals keep everything between their quotes", "A = \"a'b\" '<x>' \"//\" ;",
       "A = \"a'b\" '<x>' \"//\" ;"},
      {"characters without a token are passed over", "A = \"x\" # $ \"y\" ;",
       "A = \"x\" \"y\" ;"},
      {"a top-level group is a nameless rule", "(\"x\" | \"y\")", "( \"x\" | \"y\" )"},
      {"the last rule without semicolon is lost", "A = \"x\" ; B = \"y\"", "A = \"x\" ;"},
      {"an empty literal stops compilation", "A = \"x\" ; B = \"\" ; C = \"y\" ;", "A = \"x\" ;"},
      {"a comment between item and suffix", "A = \"x\" ; B = \"y\" /* c */ * ; C = \"z\" ;",
       "A = \"x\" ;"},
      {"a literal does not reach over a line end", "A = \"x\" ; B = \"y\n\" ;",
       "A = \"x\" ; B = y! ;"},
      {"a ')' after a top-level group", "(\"x\") A = \"y\" ;", "( \"x\" )"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    EXPECT_EQ(DumpRules(*Compile(c.Text)), c.Rules);
  }
}

TEST(TGrammaCompile, RulesKnowTheirPlaceAndGroupsBelongToTheirItem) {
  auto gramma =
      Compile("A = (\"x\" | B) C ; B = \"b\" ; C = B ; Root = A ; skip = <Comment> ; c = A ;");
  ASSERT_EQ(gramma->RuleCount(), 6);
  for (int i = 0; i < gramma->RuleCount(); ++i) EXPECT_EQ(gramma->Rules(i)->Index, i);
  TParserRule* a = gramma->Rules(0);
  TParserRuleBranch* branch = a->Branches[0].get();
  EXPECT_EQ(branch->Rule, a);
  TParserRuleItem* groupItem = branch->Items[0].get();
  EXPECT_EQ(groupItem->Branch, branch);
  ASSERT_TRUE(groupItem->IsSubRule);
  EXPECT_EQ(groupItem->Terminal, ")");
  TParserRule* group = groupItem->ParserRule;
  EXPECT_EQ(group->Name, "");
  EXPECT_EQ(group->Index, 0);
  EXPECT_EQ(group->Branches[1]->Items[0]->ParserRule, gramma->Rules(1));  // B inside the group
  EXPECT_EQ(branch->Items[1]->ParserRule, gramma->Rules(2));  // the first "C" of two
  EXPECT_EQ(gramma->Root(), gramma->Rules(3));
  EXPECT_EQ(gramma->SkipRule(), gramma->Rules(4));
  EXPECT_EQ(gramma->ParserRuleByName("ROOT"), gramma->Rules(3));
  EXPECT_EQ(gramma->ParserRuleByName(""), nullptr);
  EXPECT_THAT([&] { gramma->Rules(6); },
              ThrowsMessage<EListError>(StrEq("List index out of bounds (6)")));
}

TEST(TGrammaCompile, CompilingAgainReplacesTheRulesAndAnEmptyTextLeavesNone) {
  auto gramma = Compile("Root = \"x\" ; Skip = \"y\" ;");
  ASSERT_NE(gramma->Root(), nullptr);
  gramma->SetGramma(u"B = \"b\" ;");
  EXPECT_EQ(gramma->RuleCount(), 2);  // setting the text does not compile
  gramma->CompileGramma(*DefaultNames());
  EXPECT_EQ(DumpRules(*gramma), "B = \"b\" ;");
  EXPECT_EQ(gramma->Root(), nullptr);
  EXPECT_EQ(gramma->SkipRule(), nullptr);
  gramma->SetGramma(u"");
  EXPECT_TRUE(gramma->CompileGramma(*DefaultNames()));
  EXPECT_EQ(gramma->RuleCount(), 0);
}

// A text cut off anywhere keeps exactly the rules that the cut left whole: the rules of
// every prefix are a prefix of the whole text's rules (the text has no "!" of its own).
TEST(TGrammaCompile, AGrammarCutAnywhereKeepsTheRulesBeforeTheCut) {
  const std::u16string text =
      u"// grammar\nA = \"x\" 'y'? | <Identifier>* (B | \"(\")+ ;\n"
      u"B = /* note */ C D = A* ( ) ;\nC = 'c' | ; (\"g\" | B)";
  TGrammaAnalyzer whole;
  whole.SetGramma(text);
  whole.CompileGramma(*DefaultNames());
  const std::vector<std::string> all = DumpRuleList(whole);
  ASSERT_EQ(all.size(), 5u) << DumpRules(whole);
  for (size_t cut = 0; cut <= text.size(); ++cut) {
    TGrammaAnalyzer gramma;
    gramma.SetGramma(text.substr(0, cut));
    EXPECT_TRUE(gramma.CompileGramma(*DefaultNames()));
    // Names of rules behind the cut stay unresolved ("!"); the rest must agree.
    std::vector<std::string> rules = DumpRuleList(gramma);
    for (std::string& rule : rules) std::erase(rule, '!');
    ASSERT_LE(rules.size(), all.size()) << "cut at " << cut;
    EXPECT_TRUE(std::equal(rules.begin(), rules.end(), all.begin()))
        << "cut at " << cut << ": " << DumpRules(gramma) << " / " << DumpRules(whole);
  }
}

TEST(TGrammaCompile, MalformedTextsKeepTheRulesBeforeTheFirstError) {
  const char* const tails[] = {
      "=", "= x ;", ";", "|", ")", "(", "*", "A", "A =", "A B = x ;", "A = (", "A = (\"x\"",
      "A = (\"x\" ;", "A = \"x\" |", "A = x (", "A = x | (y", "A = \"", "A = '", "A = <>",
      "A = <", "A = \"\"", "A = x y", "A = ((((", "/*",
  };
  for (const char* tail : tails) {
    SCOPED_TRACE(tail);
    auto gramma = Compile(std::string("Ok = \"ok\" ;\n") + tail);
    ASSERT_GE(gramma->RuleCount(), 1);
    EXPECT_EQ(DumpRuleList(*gramma)[0], "Ok = \"ok\" ;");
    EXPECT_EQ(gramma->RuleCount(), 1) << DumpRules(*gramma);
  }
}

// --- Matching ---------------------------------------------------------------------------------

TEST(TGrammaMatch, RulesMatchBackwardsFromThePosition) {
  struct TCase {
    const char* Name;
    const char* Gramma;
    const char* Tokens;
    int Pos;
    const char* Tree;  // of rule A
    int First;
  } cases[] = {
      {"the last branch is tried first", "A = 'b' | 'a' 'b' ;", "a b", 1, "[1 0]", 0},
      {"the first matching branch wins", "A = 'a' 'b' | 'b' ;", "a b", 1, "[1]", 1},
      {"a starred last item eats what the first needs", "A = \"x\" \"x\"* ;", "x x x", 2,
       "none", -1},
      {"a starred first item takes the rest", "A = \"x\"* \"x\" ;", "y x x x", 3, "[3 2 1]", 1},
      {"a literal compares case", "A = \"Ab\" ;", "ab", 0, "none", -1},
      {"a literal compares equal text", "A = \"Ab\" ;", "Ab", 0, "[0]", 0},
      {"a quoted literal ignores the case of a-z", "A = 'aB' ;", "Ab", 0, "[0]", 0},
      {"only of a-z", "A = 'é' ;", "É", 0, "none", -1},
      {"a token type", "A = <Identifier> <Symbol> ;", "f:2 (:3", 1, "[1 0]", 0},
      {"a token type of another type", "A = <Identifier> ;", "f:3", 0, "none", -1},
      {"Unknown is any token", "A = <Unknown> <Unknown> ;", "f:3 g:7", 1, "[1 0]", 0},
      {"an unknown type name matches type -1 only", "A = <Nope> ;", "f:0", 0, "none", -1},
      {"... and there it matches", "A = <Nope> ;", "f:-1", 0, "[0]", 0},
      {"a rule reference", "A = \"a\" B ; B = \"b\" \"c\" ;", "a b c", 2, "[[2 1] 0]", 0},
      {"a repeated group", "A = (\"a\" | \"b\")+ \"c\" ;", "b a b c", 3, "[3 [2] [1] [0]]", 0},
      {"an unknown rule never matches", "A = \"a\" Missing ;", "a b", 1, "none", -1},
      {"... unless it may be left out", "A = \"a\" Missing? ;", "a", 0, "[0]", 0},
      {"all items optional: a tree without nodes", "A = \"x\"? \"y\"* ;", "z", 0, "[]", -1},
      {"an empty branch never matches", "A = ;", "x", 0, "none", -1},
      {"a position before the tokens", "A = \"x\"? ;", "x", -1, "[]", -1},
      {"a position after the tokens", "A = \"x\" ;", "x", 1, "none", -1},
      {"an empty repeated match ends the repetition", "A = \"y\" B* ; B = \"x\"? ;", "y x x",
       2, "[[2] [1] [] 0]", 0},
      {"left recursion that consumes first", "A = \"x\" | A \"x\" ;", "x x x", 2,
       "[2 [1 [0]]]", 0},
      {"a group is not mistaken for the first rule", "A = (\"b\" | \"c\") ;", "c", 0, "[[0]]",
       0},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    auto gramma = Compile(c.Gramma);
    TParserRule* a = gramma->ParserRuleByName("A");
    ASSERT_NE(a, nullptr);
    TTestTokens tokens(c.Tokens);
    EXPECT_EQ(DumpTree(gramma->ParseRule(c.Pos, a, tokens).get()), c.Tree);
    EXPECT_EQ(gramma->TestRule(c.Pos, a, tokens), c.First);
  }
}

TEST(TGrammaMatch, TheSkipRulePassesOverTokensAfterEveryMatchedToken) {
  struct TCase {
    const char* Gramma;
    const char* Tokens;
    int Pos;
    const char* Tree;
  } cases[] = {
      {"Skip = <Comment>* ; A = \"a\" \"b\" ;", "a c:1 c:1 b", 3, "[3 0]"},
      // Not before the first token: the skip follows a match.
      {"Skip = <Comment>* ; A = \"a\" \"b\" ;", "a b c:1", 2, "none"},
      // The skip rule's own tokens skip nothing: one "c" is passed over, not two.
      {"Skip = \"c\" ; A = \"a\" \"b\" ;", "a c b", 2, "[2 0]"},
      {"Skip = \"c\" ; A = \"a\" \"b\" ;", "a c c b", 3, "none"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(std::string(c.Gramma) + " on " + c.Tokens);
    auto gramma = Compile(c.Gramma);
    ASSERT_NE(gramma->SkipRule(), nullptr);
    TTestTokens tokens(c.Tokens);
    EXPECT_EQ(DumpTree(gramma->ParseRule(c.Pos, gramma->ParserRuleByName("A"), tokens).get()),
              c.Tree);
  }
}

TEST(TGrammaMatch, EnteringARuleAgainAtTheSamePositionIsACircularStack) {
  auto gramma = Compile("A = \"x\" A ; B = B ; C = (C)? ; D = A | \"x\" ;");
  TTestTokens tokens("x x");
  for (const char* name : {"A", "B", "C"}) {
    SCOPED_TRACE(name);
    EXPECT_THAT([&] { gramma->TestRule(1, gramma->ParserRuleByName(name), tokens); },
                ThrowsMessage<Exception>(StrEq("Circular stack")));
  }
  // Reached through another rule, but only when the branch tried first does not match.
  TParserRule* d = gramma->ParserRuleByName("D");
  EXPECT_THROW(gramma->TestRule(1, d, TTestTokens("x y")), Exception);
  EXPECT_EQ(gramma->TestRule(1, d, tokens), 1);
}

// Far-apart positions are told apart: a rule active at token 65536 may be entered at token 0.
TEST(TGrammaMatch, PositionsBeyond65535DoNotCollideWithLowOnes) {
  auto gramma = Compile("A = A \"x\"* | \"y\" ; L = \"x\" L ;");
  TTestTokens tokens("y");
  for (int i = 0; i < 65536; ++i) tokens.Add(u"x", 0);
  EXPECT_EQ(gramma->TestRule(65536, gramma->ParserRuleByName("A"), tokens), 0);
  EXPECT_THAT([&] { gramma->TestRule(65536, gramma->ParserRuleByName("L"), tokens); },
              ThrowsMessage<Exception>(StrEq("Circular stack")));
}

TEST(TGrammaMatch, NodesReportTheirChildrenAndBounds) {
  auto gramma = Compile("A = \"a\" \"b\" ;");
  TTestTokens tokens("a b");
  std::unique_ptr<TParserNode> tree = gramma->ParseRule(1, gramma->Rules(0), tokens);
  ASSERT_EQ(tree->Count(), 2);
  EXPECT_EQ(tree->LastToken(), 1);
  auto* branch = dynamic_cast<TParserBranchNode*>(tree.get());
  ASSERT_NE(branch, nullptr);
  EXPECT_EQ(branch->Branch, gramma->Rules(0)->Branches[0].get());
  auto* term = dynamic_cast<TParserTermNode*>(tree->Nodes(0));
  ASSERT_NE(term, nullptr);
  EXPECT_EQ(term->Rule, gramma->Rules(0)->Branches[0]->Items[1].get());  // "b", matched first
  EXPECT_EQ(term->Nodes(0), nullptr);
  EXPECT_THAT([&] { tree->Nodes(2); },
              ThrowsMessage<EListError>(StrEq("List index out of bounds (2)")));
  EXPECT_EQ(gramma->ParseRule(1, nullptr, tokens), nullptr);
}

// --- The published grammar text ---------------------------------------------------------------

TEST(TGrammaAnalyzer, SettingTheTextNotifiesEveryTimeClearDoesNotAssignCopiesAGrammar) {
  TGrammaAnalyzer gramma;
  int changes = 0;
  gramma.OnChange = [&](TObject* sender) {
    EXPECT_EQ(sender, &gramma);
    ++changes;
  };
  gramma.SetGramma(u"A = \"x\" ;\r\nB = A ;");
  EXPECT_EQ(gramma.Gramma(), u"A = \"x\" ;\r\nB = A ;");
  EXPECT_EQ(gramma.GrammaText()->Count(), 2);
  gramma.SetGramma(u"A = \"x\" ;\r\nB = A ;");
  EXPECT_EQ(changes, 2);
  TGrammaAnalyzer copy;
  copy.OnChange = [&](TObject*) { changes += 10; };
  copy.Assign(&gramma);  // through SetGramma
  TStringList other;
  gramma.Assign(&other);  // ignored
  EXPECT_EQ(copy.Gramma(), gramma.Gramma());
  gramma.CompileGramma(*DefaultNames());
  gramma.Clear();
  EXPECT_EQ(gramma.Gramma(), u"");
  EXPECT_EQ(gramma.RuleCount(), 0);
  EXPECT_EQ(changes, 12);
}

TEST(TGrammaAnalyzer, GrammaIsAPublishedWideStringThatIsAlwaysStored) {
  TGrammaAnalyzer gramma;
  const TPropInfo* prop = gramma.ClassType().FindProperty("Gramma");
  ASSERT_NE(prop, nullptr);
  EXPECT_EQ(prop->Kind, pkWideString);
  EXPECT_TRUE(prop->IsStored(gramma));
  prop->SetWideStr(gramma, u"A = 'x' ;");
  EXPECT_EQ(gramma.Gramma(), u"A = 'x' ;");
}

}  // namespace
}  // namespace qv
