// Grammar analyzer: a grammar text of named rules compiled into rule objects, and the
// matcher that tries a rule backwards over a token list, from a token towards the start.
// Block rules name a grammar rule to recognise constructs that one token cannot show; the
// grammar text itself is tokenised by a small temporary lexer of this engine.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "framework/Classes.h"
#include "syntax/qvMemoStrings.h"
#include "syntax/qvParserResults.h"

namespace qv {

class TParserRule;
class TParserRuleBranch;

inline constexpr const char* SCircularStack = "Circular stack";

// What an item of a branch matches.
enum TParserItemType : uint8_t {
  itLiteral,            // a token whose text equals Terminal, case counting ("...")
  itLiteralIgnoreCase,  // the same ignoring the case of a-z ('...')
  itTokenType,          // a token of type TokenType; type 0 matches any token (<...>)
  itRule                // a named rule, or a parenthesised group of branches
};

// One item of a branch, with its repetition bounds.
//
// Ownership: for a parenthesised group (IsSubRule) the item owns ParserRule and frees it;
// for a named reference ParserRule points into the grammar's rule list and is never freed.
class TParserRuleItem : public TObject {
public:
  TParserRuleItem(TParserRuleBranch* branch, TParserItemType itemType, std::string terminal)
      : ItemType(itemType), Terminal(std::move(terminal)), Branch(branch) {}
  ~TParserRuleItem() override;
  TParserRuleItem(const TParserRuleItem&) = delete;
  TParserRuleItem& operator=(const TParserRuleItem&) = delete;
  const char* ClassName() const override { return "TParserRuleItem"; }

  TParserItemType ItemType;
  // The literal without its quotes, the token type name without its brackets, or the rule
  // name; 8-bit text in the system code page. A group keeps the text of its ")".
  std::string Terminal;
  int TokenType = -1;                    // itTokenType: index of Terminal in the type names
  TParserRule* ParserRule = nullptr;     // itRule: null until resolved (or never, if unknown)
  TParserRuleBranch* Branch;             // the branch it belongs to
  int RepMin = 1;
  int RepMax = 1;                        // -1: no limit
  bool IsSubRule = false;                // ParserRule is a group owned by this item
};

// A sequence of items; matched from its last item to its first.
class TParserRuleBranch : public TObject {
public:
  explicit TParserRuleBranch(TParserRule* rule) : Rule(rule) {}
  const char* ClassName() const override { return "TParserRuleBranch"; }

  int ItemCount() const { return static_cast<int>(Items.size()); }

  std::vector<std::unique_ptr<TParserRuleItem>> Items;
  TParserRule* Rule;  // the rule it belongs to
};

// A named rule, or a parenthesised group (empty Name): alternatives tried from the last.
class TParserRule : public TObject {
public:
  const char* ClassName() const override { return "TParserRule"; }

  int BranchCount() const { return static_cast<int>(Branches.size()); }

  std::vector<std::unique_ptr<TParserRuleBranch>> Branches;
  std::string Name;  // 8-bit text in the system code page
  int Index = 0;     // position in the grammar's rule list when added; groups keep 0
};

// --- Match trees -----------------------------------------------------------------------------

// A node of a match tree. Token indexes count from 0; matching runs backwards, so the first
// child of a branch covers the highest tokens.
class TParserNode : public TObject {
public:
  virtual int Count() const = 0;
  // Child index, or null for a node without children.
  virtual TParserNode* Nodes(int index) const = 0;
  virtual int FirstToken() const = 0;  // lowest token index covered, -1 when none
  virtual int LastToken() const = 0;   // highest token index covered, -1 when none
};

// A matched branch. Children are kept in matching order: child 0 matched the branch's last
// item. FirstToken and LastToken come from the last and the first child only, so an empty
// child at either end makes them -1.
class TParserBranchNode : public TParserNode {
public:
  explicit TParserBranchNode(TParserRuleBranch* branch) : Branch(branch) {}
  const char* ClassName() const override { return "TParserBranchNode"; }

  int Count() const override { return static_cast<int>(FNodes.size()); }
  // Raises EListError for a bad index when there are children.
  TParserNode* Nodes(int index) const override;
  int FirstToken() const override;
  int LastToken() const override;
  void Add(std::unique_ptr<TParserNode> node) { FNodes.push_back(std::move(node)); }

  TParserRuleBranch* Branch;

private:
  std::vector<std::unique_ptr<TParserNode>> FNodes;
};

// A matched literal or token type item.
class TParserTermNode : public TParserNode {
public:
  TParserTermNode(TParserRuleItem* rule, int tokenIdx) : Rule(rule), TokenIdx(tokenIdx) {}
  const char* ClassName() const override { return "TParserTermNode"; }

  int Count() const override { return 0; }
  TParserNode* Nodes(int) const override { return nullptr; }
  int FirstToken() const override { return TokenIdx; }
  int LastToken() const override { return TokenIdx; }

  TParserRuleItem* Rule;
  int TokenIdx;
};

// --- The grammar --------------------------------------------------------------------------

// The grammar of a lexer: its text (published as Gramma), the rules compiled from it, and
// rule matching against any token source.
//
// Grammar text: rules "Name = items | items ;" where an item is "literal", 'literal
// ignoring case', <token type name>, a rule name or a parenthesised list of branches, each
// optionally followed by one of * + ?. Comments are // to the line end and /* */. Errors are
// not reported: compilation keeps the rules before the first one that cannot be parsed.
//
// Matching is greedy and never backtracks into a repetition: a branch's items are tried from
// the last, each repeated as often as it matches, and the first branch (from the last) that
// matches is taken. After every matched token the rule named "Skip", if any, is matched once
// to pass over tokens between items. Entering a rule again at the same token while it is
// still being matched there raises Exception "Circular stack".
//
// Copied only through Assign.
class TGrammaAnalyzer : public TPersistent {
  QV_CLASS(TGrammaAnalyzer, TPersistent)
  static void DeclareClass(TClassDecl& c);

  TGrammaAnalyzer();
  ~TGrammaAnalyzer() override;
  TGrammaAnalyzer(const TGrammaAnalyzer&) = delete;
  TGrammaAnalyzer& operator=(const TGrammaAnalyzer&) = delete;

  // Sets Gramma from another grammar (so OnChange fires); any other source is ignored.
  void Assign(const TPersistent* source) override;

  // Forgets the rules and the text, without notification.
  void Clear();

  const std::u16string& Gramma() const;
  // Stores the text (the rules stay as they are until CompileGramma) and fires OnChange,
  // also for an unchanged text.
  void SetGramma(const std::u16string& value);
  TSyntMemoStrings* GrammaText() const { return FGrammaText.get(); }

  // Compiles the text into rules, replacing the old ones, and resolves token type names
  // (compared ignoring case by the list) and rule names. Always returns true.
  bool CompileGramma(const TStrings& tokenTypeNames);

  int RuleCount() const { return static_cast<int>(FRules.size()); }
  // Raises EListError for a bad index.
  TParserRule* Rules(int index) const;
  // The first rule of that name, comparing a-z without case; null for an empty name or none.
  TParserRule* ParserRuleByName(const std::string& name) const;
  TParserRule* Root() const { return FRoot; }          // the rule "Root", for hosts
  TParserRule* SkipRule() const { return FSkipRule; }  // the rule "Skip"

  // Matches rule backwards from token index pos; the match tree, or null (also for a null
  // rule). Raises Exception "Circular stack" on left recursion.
  std::unique_ptr<TParserNode> ParseRule(int pos, TParserRule* rule,
                                         const TTokenHolder& tokens) const;
  // The first token of ParseRule's tree, or -1 when it did not match.
  int TestRule(int pos, TParserRule* rule, const TTokenHolder& tokens) const;

  // Fired when the text is set; the owning analyzer recompiles there.
  TNotifyEvent OnChange;
  void Changed();

private:
  std::vector<std::unique_ptr<TParserRule>> FRules;
  std::unique_ptr<TSyntMemoStrings> FGrammaText;
  TParserRule* FRoot = nullptr;      // not owned; one of FRules
  TParserRule* FSkipRule = nullptr;  // not owned; one of FRules
};

}  // namespace qv
