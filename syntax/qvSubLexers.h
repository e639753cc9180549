// Sub-lexer rules and code templates. A sub-lexer rule embeds another language: between the
// texts its start and end expressions match, the analyzer the rule names takes over (the
// analysis step opens and closes those ranges; this unit only configures the rules and
// matches their expressions). Code templates are named snippets kept with a lexer for the
// displaying editor; the analysis never reads them.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "framework/Collections.h"
#include "syntax/qvSyntItems.h"

namespace qv {

class TSyntMemoStrings;
class TWideStrings;

// One embedding: StartExpression opens a range analysed by SyntAnalyzer, EndExpression
// closes it. The inherited StyleName is the style of the range; BlockName and the state
// masks gate the opening like any rule's.
//
// The two expression objects are owned, created with the rule and given the default rule
// modifiers (ApplyDefaultModifiers); their code page stays 0, the system code page: the
// analyzer's Charset is not applied to them.
//
// SyntAnalyzer and the master list: while a rule of an owner analyzer O names another
// analyzer S, O is one of S's masters (so that a change of S re-analyses O's texts). The
// setter and the collection keep that true as rules change, move or go; the owner's
// Notification clears rules naming an analyzer that is being destroyed (ClearSyntAnalyzer).
// A rule without owner analyzer touches no master list, and nobody watches the analyzer
// it names: its holder must clear it before that analyzer goes.
//
// Copy and move are deleted (as for every collection item); rules copy through Assign.
class TSubAnalyzerRule : public TRuleCollectionItem {
  QV_CLASS(TSubAnalyzerRule, TRuleCollectionItem)
  // After the rule properties: StartExpression, EndExpression, SyntAnalyzer, FromTextBegin,
  // ToTextEnd, IncludeBounds (the flags default to False).
  static void DeclareClass(TClassDecl& c);

  explicit TSubAnalyzerRule(TCollection* collection);
  ~TSubAnalyzerRule() override;

  std::string GetItemBaseName() const override { return "Sub lexer rule"; }

  // The expression texts in 8-bit form, converted with the system code page both ways (a
  // character the code page lacks reads back as "?"). Writing hands the text to the
  // expression object, which compiles it at the next match (an invalid one then never
  // matches, silently), and always notifies.
  std::string StartExpression() const;
  void SetStartExpression(const std::string& value);
  std::string EndExpression() const;
  void SetEndExpression(const std::string& value);

  // The analyzer used inside the range; a rule without one never opens a range. Not owned.
  TSyntAnalyzer* SyntAnalyzer() const { return FSyntAnalyzer; }
  // Nothing happens when value is the current analyzer. Otherwise the owner analyzer leaves
  // the old analyzer's masters unless another rule of this collection still names it, joins
  // the new one's (never when the new one is the owner itself), and the rule notifies.
  void SetSyntAnalyzer(TSyntAnalyzer* value);
  // Forgets the analyzer without notifying and without touching any master list: for the
  // owner analyzer's Notification, when the named analyzer is being destroyed.
  void ClearSyntAnalyzer() { FSyntAnalyzer = nullptr; }

  // The flags notify on every write, also when the value does not change.
  // The range may open at the text's first character without the start expression.
  bool FromTextBegin() const { return FFromTextBegin; }
  void SetFromTextBegin(bool value);
  // A range still open when the analysis of the text ends is closed at the text's end.
  bool ToTextEnd() const { return FToTextEnd; }
  void SetToTextEnd(bool value);
  // The texts the start and end expressions match belong to the range.
  bool IncludeBounds() const { return FIncludeBounds; }
  void SetIncludeBounds(bool value);

  // Length of the match of the start (end) expression anchored at the 1-based pos of text;
  // 0 when it does not match, matches empty, does not compile, or fails while matching
  // (the step budget). The wide text is matched as it is, never converted: with a
  // single-byte system code page the length equals MatchStart on the text converted to it;
  // with a multibyte one it counts characters of the wide text, as the analysis needs.
  int MatchStart(std::u16string_view text, int pos);
  int MatchEnd(std::u16string_view text, int pos);
  // The furthest positions the last MatchStart and MatchEnd examined (see
  // TqvRegExpr::LastReach).
  int StartReach() const;
  int EndReach() const;
  // The same on text already in the system code page's 8-bit form; lengths in bytes.
  int MatchStart(const std::string& text8, int pos);
  int MatchEnd(const std::string& text8, int pos);

protected:
  // The rule part, then StartExpression, EndExpression, SyntAnalyzer, FromTextBegin,
  // ToTextEnd and IncludeBounds through the destination's setters.
  void AssignTo(TPersistent* dest) const override;

private:
  friend class TSubAnalyzerRules;
  // True when a rule of this collection other than this one names analyzer.
  bool NamedByOtherRule(const TSyntAnalyzer* analyzer) const;
  // Master-list upkeep for the analyzer this rule names, as the rule starts (Join) or stops
  // (Leave) counting among its owner's rules. Leave must run while the rule is still listed.
  void JoinMasters();
  void LeaveMasters();

  std::unique_ptr<TqvRegExpr> FStartExpression;  // owned
  std::unique_ptr<TqvRegExpr> FEndExpression;    // owned
  TSyntAnalyzer* FSyntAnalyzer = nullptr;        // not owned
  bool FFromTextBegin = false;
  bool FToTextEnd = false;
  bool FIncludeBounds = false;
};

// The sub-lexer rules of an analyzer (its SubAnalyzers property), in the order they are
// tried. Besides the rule collection's duties it keeps the master lists right when a rule
// naming an analyzer leaves the collection (deleted, cleared, moved away) or moves in: the
// owner stays a master of an analyzer as long as one of its rules names it.
class TSubAnalyzerRules : public TSyntCollection {
  QV_CLASS(TSubAnalyzerRules, TSyntCollection)
  // owner may be null (a detached list of rules).
  explicit TSubAnalyzerRules(TSyntAnalyzer* owner);

  TSubAnalyzerRule* Items(int index) const {
    return static_cast<TSubAnalyzerRule*>(TSyntCollection::Items(index));
  }
  TSubAnalyzerRule* Add() { return static_cast<TSubAnalyzerRule*>(TSyntCollection::Add()); }

protected:
  void Notify(TCollectionItem* item, TCollectionNotification action) override;
};

// A named snippet of text for the displaying editor. Changes notify no one: the analysis
// does not depend on templates.
class TCodeTemplate : public TCollectionItem {
  QV_CLASS(TCodeTemplate, TCollectionItem)
  // Name, Description, Code (its lines, as Code.Strings), Advanced (default False).
  static void DeclareClass(TClassDecl& c);

  explicit TCodeTemplate(TCollection* collection);
  ~TCodeTemplate() override;

  // The template's name, which is also its display name.
  const std::string& Name() const { return FName; }
  void SetName(const std::string& value) { FName = value; }
  std::string DisplayName() const override { return FName; }
  void SetDisplayName(const std::string& value) override { FName = value; }
  const std::string& Description() const { return FDescription; }
  void SetDescription(const std::string& value) { FDescription = value; }
  // The text, line by line. Owned; never null.
  TSyntMemoStrings* Code() const { return FCode.get(); }
  // Copies the lines of value (null empties the code).
  void SetCode(const TWideStrings* value);
  bool Advanced() const { return FAdvanced; }
  void SetAdvanced(bool value) { FAdvanced = value; }

  // From another template: Name, Description, Advanced and the lines of Code. Other sources
  // as the framework says.
  void Assign(const TPersistent* source) override;

private:
  std::string FName;
  std::string FDescription;
  std::unique_ptr<TSyntMemoStrings> FCode;  // owned
  bool FAdvanced = false;
};

// The code templates of an analyzer (its CodeTemplates property).
class TCodeTemplates : public TOwnedCollection {
  QV_CLASS(TCodeTemplates, TOwnedCollection)
  // owner is the analyzer holding the collection (not owned; may be null).
  explicit TCodeTemplates(TPersistent* owner);

  TCodeTemplate* Items(int index) const {
    return static_cast<TCodeTemplate*>(TOwnedCollection::Items(index));
  }
  TCodeTemplate* Add() { return static_cast<TCodeTemplate*>(TOwnedCollection::Add()); }
};

}  // namespace qv
