// Block rules: the rules that find structure in the token stream once tokens are made. A
// rule's condition list is a short pattern of token tests matched backwards from the newest
// token; an accepted rule marks a token, records a line break, or opens or closes a range.
// The analyzer's block pass applies the rules; this unit holds their configuration and the
// condition test itself.
#pragma once

#include <algorithm>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "framework/Collections.h"
#include "framework/TypInfo.h"
#include "syntax/qvParserResults.h"
#include "syntax/qvStrUtils.h"
#include "syntax/qvSyntItems.h"

namespace qv {

class TClientSyntAnalyzer;
class TParserRule;
class TPen;
class TTokenHolder;
class TTagBlockCondition;

// --- Enumerations -----------------------------------------------------------------------

// How one condition tests a token: the token text equal to an entry of the tag list, not
// equal to any, matched by one of the entries as expressions (a prefix, or the whole text),
// or a skip condition that lets any number of tokens pass before the next condition.
enum TTagConditionType : uint8_t { tcEqual, tcNotEqual, tcMask, tcSkip, tcStrictMask };
extern const TEnumInfo TagConditionTypeInfo;

// What an accepted block rule does.
enum TTagBlockType : uint8_t { btTagDetect, btLineBreak, btRangeStart, btRangeEnd };
extern const TEnumInfo TagBlockTypeInfo;

// Where a line-break rule puts the break: above the token's line, or below the line that
// holds its end.
enum TLineBreakPos : uint8_t { lbTop, lbBottom };
extern const TEnumInfo LineBreakPosInfo;

// What the displaying editor highlights while the caret is in a range.
enum TDynamicHighlight : uint8_t { dhNone, dhBound, dhRangeNoBound, dhRange };
extern const TEnumInfo DynamicHighlightInfo;

// Where the caret must be for dynamic highlighting.
enum THighlightPos : uint8_t { cpAny, cpBound, cpBoundTag, cpRange, cpBoundTagBegin, cpOutOfRange };
extern const TEnumInfo HighlightPosInfo;

// How the editor offers to close open ranges.
enum TAutoCloseMode : uint8_t { acmDisabled, acmCloseNearest, acmCloseOpened };
extern const TEnumInfo AutoCloseModeInfo;

// Called by the block pass after the condition test of every tried rule, accepted or not;
// the handler may change both the acceptance and the reference token index. Sender is the
// block rule.
using TOnBlockCheck = std::function<void(TObject* sender, TClientSyntAnalyzer* client,
                                         std::u16string_view text, int& refIdx, bool& accept)>;

// --- One token test -----------------------------------------------------------------------

// What a token must be like to pass one condition, as far as its type, its length and its
// first and last units tell: a necessary test, cheap enough to try for every rule at every
// token before the rule's whole test. A default precheck passes every token.
//
// The ends are told only where both are printable ASCII other than '\\' and '~': a text
// holding them there equals an entry of a plain list, in whatever case and by whatever
// comparison, only when the entry has the same characters there (up to case); every code
// page keeps them.
struct TTokenPrecheck {
  uint32_t Types = ~0u;             // bit t: a token of type t (modulo 32) may pass
  uint64_t Lengths = ~uint64_t{0};  // bit n: one of n units (bit 63: 63 or more) may
  bool UsesEnds = false;
  uint64_t Ends[16] = {};           // by EndsKey: the entries' length and ends

  static bool IsEndUnit(char16_t c) { return c > ' ' && c < '~' && c != '\\'; }
  static unsigned EndsKey(int length, char16_t first, char16_t last) {
    auto lower = [](char16_t c) { return static_cast<unsigned>(c >= 'A' && c <= 'Z' ? c + 32 : c); };
    return (static_cast<unsigned>(std::min(std::max(length, 0), 63)) * 0x9E5u + lower(first) * 0x3Bu + lower(last)) & 1023u;
  }
  bool Selective() const { return Types != ~0u || Lengths != ~uint64_t{0} || UsesEnds; }

  // A token as the prechecks test it, worked out once from its brief.
  struct TSketch {
    static constexpr unsigned kNoEnds = ~0u;  // the ends are not told
    uint32_t TypeBit = 0;
    uint64_t LengthBit = 0;
    unsigned Key = kNoEnds;
    explicit TSketch(const TTokenHolder::TBrief& token)
        : TypeBit(uint32_t{1} << (static_cast<uint32_t>(token.Type) & 31u)),
          LengthBit(uint64_t{1} << std::min(std::max(token.Length, 0), 63)),
          Key(IsEndUnit(token.First) && IsEndUnit(token.Last) ? EndsKey(token.Length, token.First, token.Last)
                                                                : kNoEnds) {}
    TSketch() = default;
  };
  bool Passes(const TSketch& token) const {
    if (!(Types & token.TypeBit) || !(Lengths & token.LengthBit)) return false;
    return !UsesEnds || token.Key == TSketch::kNoEnds || ((Ends[token.Key >> 6] >> (token.Key & 63)) & 1u);
  }
};

// The sketches of the tokens the rules of one block pass step look at, each made once: most
// rules look at the newest token.
class TTokenBriefs {
public:
  explicit TTokenBriefs(const TTokenHolder& tokens) : FTokens(tokens) {}
  // The analyzer's results: their tokens read in place, their text asked for once.
  explicit TTokenBriefs(const TParserResults& results) : FTokens(results), FResults(&results) {}
  const TTokenPrecheck::TSketch& At(int index) {
    TSlot& slot = FSlots[index & 1];  // the newest token and the one before it
    if (index != slot.Index) Load(slot, index);
    return slot.Sketch;
  }
  // To be called when a rule applied: it may have changed a token (or the text).
  void Forget();

private:
  struct TSlot {
    int Index = -1;
    TTokenPrecheck::TSketch Sketch;
  };
  void Load(TSlot& slot, int index);

  const TTokenHolder& FTokens;
  const TParserResults* FResults = nullptr;
  const std::u16string* FText = nullptr;  // of FResults, once FTextKnown
  bool FTextKnown = false;
  TSlot FSlots[2];
};

// One condition of a block rule's pattern: a token test by type and text.
//
// The tag list is sorted and compares with case unless IgnoreCase is set. Every change of
// its content, and every write of CondType and TokenTypes (compared or not), is reported to
// the collection as a change of this item.
//
// Mask conditions compile each entry of the list once, on the first test after the list
// changed, with the default rule modifiers of that moment. Tests of one condition from
// several threads are serialised on those compiled expressions.
class TSingleTagCondition : public TCollectionItem {
  QV_CLASS(TSingleTagCondition, TCollectionItem)
  // TagList, CondType (default tcEqual), TokenTypes (default 0), IgnoreCase (default False).
  static void DeclareClass(TClassDecl& c);

  explicit TSingleTagCondition(TCollection* collection);
  ~TSingleTagCondition() override;

  TzStringList* TagList() const { return FTagList.get(); }
  // Copies the text of value (its lines) into the owned list.
  void SetTagList(const TStrings* value);
  TTagConditionType CondType() const { return FCondType; }
  void SetCondType(TTagConditionType value);  // always notifies
  // Bit t accepts tokens of type t (types taken modulo 32); 0 accepts every type.
  uint32_t TokenTypes() const { return FTokenTypes; }
  void SetTokenTypes(uint32_t value);  // always notifies
  // The list's case sensitivity, inverted; a change re-sorts the list.
  bool IgnoreCase() const;
  void SetIgnoreCase(bool value);

  // Tests token index of tokens (0 <= index < TokenCount). Token texts are compared in
  // their 8-bit form (system code page).
  bool Check(const TTokenHolder& tokens, int index) const {
    // The type decides most tests; the text is read only when it does not.
    if (const std::optional<bool> answer = TypeAnswer(tokens.TokenType(index))) return *answer;
    return CheckText(tokens, index);
  }
  // The same test on a token given by its type and 8-bit text.
  bool CheckToken(int tokenType, const std::string& text) const;
  // What Check needs of a token, as far as cheap tests tell. A skip or "not equal" condition
  // may pass anything.
  TTokenPrecheck Precheck() const;

 protected:
  // CondType, TokenTypes, the list's content and IgnoreCase, in that order, into another
  // condition; other destinations as the framework's base says.
  void AssignTo(TPersistent* dest) const override;

 private:
  // The answer of the type test and the empty-list rule, when they decide alone.
  std::optional<bool> TypeAnswer(int tokenType) const {
    if (FTokenTypes != 0) {
      // "& 31" also folds negative types the way a 32-bit shift count does.
      const bool typeOK = (FTokenTypes >> (static_cast<uint32_t>(tokenType) & 31u)) & 1u;
      if (FCondType == tcSkip) return typeOK;
      // A token of another type is "not equal" to anything in the list.
      if (!typeOK) return FCondType == tcNotEqual;
    }
    if (FTagList->Count() == 0) return FCondType != tcNotEqual;
    return std::nullopt;
  }
  // The answer of the text test, once TypeAnswer left it open.
  bool TextAnswer(const std::string& text) const;
  // Check's text test of token index, once the type left it open.
  bool CheckText(const TTokenHolder& tokens, int index) const;
  // tcMask (whole = false) and tcStrictMask (whole = true): true at the first entry that
  // matches at the start of text. An entry that fails to compile, or a matching error,
  // ends the test with no match.
  bool CheckMask(const std::string& text, bool whole) const;
  void TagListChanged();

  std::unique_ptr<TzStringList> FTagList;
  TTagConditionType FCondType = tcEqual;
  uint32_t FTokenTypes = 0;
  // One expression per entry of the list, in list order; built by CheckMask on first use
  // after the list changed (FMasksValid false). Guarded by FMaskLock.
  mutable std::vector<std::unique_ptr<TqvRegExpr>> FMasks;
  // The entries for an exact lookup, lower-cased with IgnoreCase, when every entry is plain
  // (printable ASCII): for plain texts the list's comparison is then plain equality, as
  // strings of such characters compare equal only when they are the same (or the same but
  // for ASCII letter case). Rebuilt whenever the list changes.
  struct TPlainHash {
    using is_transparent = void;
    size_t operator()(std::string_view s) const { return std::hash<std::string_view>{}(s); }
  };
  std::unordered_set<std::string, TPlainHash, std::equal_to<>> FPlainTags;
  bool FAllPlain = true;
  // Lengths of the plain entries (bit n: length n, bit 63: 63 or more), for rejecting a
  // token by its length without reading it. Not used when an entry holds "?", which a
  // character the code page lacks turns into.
  uint64_t FPlainLengths = 0;
  bool FLengthsUsable = false;
  void RebuildPlainTags();
  mutable bool FMasksValid = false;
  mutable std::mutex FMaskLock;
};

// The conditions of one block rule, which owns the collection. Any update of it (a
// condition added, removed, moved or changed) is a change of the rule.
class TConditionCollection : public TOwnedCollection {
  QV_CLASS(TConditionCollection, TOwnedCollection)
  explicit TConditionCollection(TTagBlockCondition* rule);

  TSingleTagCondition* Items(int index) const {
    return static_cast<TSingleTagCondition*>(TCollection::Items(index));
  }
  TSingleTagCondition* Add() { return static_cast<TSingleTagCondition*>(TCollection::Add()); }
  TTagBlockCondition* Rule() const { return FRule; }

 protected:
  void Update(TCollectionItem* item) override;

 private:
  TTagBlockCondition* FRule;  // not owned; owns this collection
};

// --- The block rule -----------------------------------------------------------------------

// A rule of the block pass. A new rule opens ranges (btRangeStart), puts line breaks above
// the line (lbTop), is shown in the tree, sets no token type (TokenType -1) and has no tree
// images (-1).
//
// BlockEnd names another rule of the same collection; TreeItemStyle and TreeGroupStyle
// name styles of the owner's Formats. They follow the by-name reference rules of every
// rule item (see TItemRef), and writing any of them always notifies.
//
// Every effective change of a property notifies the collection; GroupIndex and
// OnBlockCheck are plain values. Copy and move are deleted; rules copy through Assign.
class TTagBlockCondition : public TRuleCollectionItem {
  QV_CLASS(TTagBlockCondition, TRuleCollectionItem)
  static void DeclareClass(TClassDecl& c);

  explicit TTagBlockCondition(TCollection* collection);
  ~TTagBlockCondition() override;

  std::string GetItemBaseName() const override { return "Tag block rule"; }

  TTagBlockType BlockType() const { return FBlockType; }
  // Always notifies. A tag-detect or line-break rule has no range: BlockOffset becomes 0
  // and BlockEnd is dropped.
  void SetBlockType(TTagBlockType value);
  TConditionCollection* ConditionList() const { return FConditionList.get(); }
  // The owned collection becomes a copy of value.
  void SetConditionList(const TConditionCollection* value);
  int IdentIndex() const { return FIdentIndex; }
  void SetIdentIndex(int value);
  TLineBreakPos LinePos() const { return FLinePos; }
  void SetLinePos(TLineBreakPos value);
  int BlockOffset() const { return FBlockOffset; }
  void SetBlockOffset(int value);
  std::string BlockEnd() const;
  void SetBlockEnd(const std::string& value);  // always notifies
  TTagBlockCondition* BlockEndCond() const { return FBlockEnd.Item(); }
  bool EndOfTextClose() const { return FEndOfTextClose; }
  void SetEndOfTextClose(bool value);
  bool NotCollapsed() const { return FNotCollapsed; }
  void SetNotCollapsed(bool value);
  bool SameIdent() const { return FSameIdent; }
  void SetSameIdent(bool value);
  bool Highlight() const { return FHighlight; }
  void SetHighlight(bool value);
  bool InvertColors() const { return FInvertColors; }
  void SetInvertColors(bool value);
  bool DisplayInTree() const { return FDisplayInTree; }
  void SetDisplayInTree(bool value);
  const std::u16string& NameFmt() const { return FNameFmt; }
  void SetNameFmt(const std::u16string& value);
  const std::u16string& GroupFmt() const { return FGroupFmt; }
  void SetGroupFmt(const std::u16string& value);
  bool RefToCondEnd() const { return FRefToCondEnd; }
  void SetRefToCondEnd(bool value);
  TDynamicHighlight DynHighlight() const { return FDynHighlight; }
  void SetDynHighlight(TDynamicHighlight value);
  THighlightPos HighlightPos() const { return FHighlightPos; }
  void SetHighlightPos(THighlightPos value);
  bool DynSelectMin() const { return FDynSelectMin; }
  void SetDynSelectMin(bool value);
  bool CancelNextRules() const { return FCancelNextRules; }
  void SetCancelNextRules(bool value);
  bool DrawStaple() const { return FDrawStaple; }
  void SetDrawStaple(bool value);
  int GroupIndex() const { return FGroupIndex; }
  void SetGroupIndex(int value) { FGroupIndex = value; }  // no notification
  const std::u16string& CollapseFmt() const { return FCollapseFmt; }
  void SetCollapseFmt(const std::u16string& value);
  bool SelfClose() const { return FSelfClose; }
  void SetSelfClose(bool value);
  bool NoEndRule() const { return FNoEndRule; }
  void SetNoEndRule(bool value);
  const std::string& GrammaRuleName() const { return FGrammaRuleName; }
  // Stores a different name without notification and resolves it at once in the owner
  // analyzer's grammar.
  void SetGrammaRuleName(const std::string& value);
  int TokenType() const { return FTokenType; }
  void SetTokenType(int value);
  std::string TreeItemStyle() const;
  void SetTreeItemStyle(const std::string& value);  // always notifies
  std::string TreeGroupStyle() const;
  void SetTreeGroupStyle(const std::string& value);  // always notifies
  TSyntaxFormat* TreeItemStyleObj() const { return FTreeItemStyle.Item(); }
  TSyntaxFormat* TreeGroupStyleObj() const { return FTreeGroupStyle.Item(); }
  int TreeItemImage() const { return FTreeItemImage; }
  void SetTreeItemImage(int value);
  int TreeGroupImage() const { return FTreeGroupImage; }
  void SetTreeGroupImage(int value);
  // Owned; any change of the pen is a change of the rule.
  TPen* Pen() const { return FPen.get(); }
  void SetPen(const TPen* value);  // the owned pen copies value
  bool UseCustomPen() const { return FUseCustomPen; }
  void SetUseCustomPen(bool value);
  bool IgnoreAsParent() const { return FIgnoreAsParent; }
  void SetIgnoreAsParent(bool value);
  TAutoCloseMode AutoCloseMode() const { return FAutoCloseMode; }
  void SetAutoCloseMode(TAutoCloseMode value);
  const std::u16string& AutoCloseText() const { return FAutoCloseText; }
  // CR LF alone is stored as empty; notifies only on change.
  void SetAutoCloseText(const std::u16string& value);
  bool AutoCloseInternal() const { return FAutoCloseInternal; }
  void SetAutoCloseInternal(bool value);

  TOnBlockCheck OnBlockCheck;

  // --- Grammar rule ---
  // Finds a grammar rule by name in the owner analyzer's grammar.
  using TGrammaRuleLookup = std::function<TParserRule*(const std::string& name)>;
  // The grammar rule named by GrammaRuleName in the owner analyzer's grammar; null when it
  // has none of that name. With one, the rule matches by it instead of its condition list.
  TParserRule* GrammaRule() const { return FGrammaRule; }
  // The analyzer resolves the name again whenever its grammar is compiled (an empty lookup,
  // or an empty name, leaves the rule without one).
  void ResolveGrammaRule(const TGrammaRuleLookup& lookup);

  // --- The condition test ---
  // How many tokens the test looks back beyond the newest, so that the tokens the rule
  // refers to after its reference token exist: 0 with RefToCondEnd; else -BlockOffset when
  // BlockOffset is negative and below IdentIndex; else -IdentIndex when that is negative;
  // else 0.
  int CondOffset() const {
    if (FRefToCondEnd) return 0;
    if (FBlockOffset < 0 && FBlockOffset < FIdentIndex) return -FBlockOffset;
    if (FIdentIndex < 0) return -FIdentIndex;
    return 0;
  }
  // Matches the condition list against the first n tokens, newest first (condition 0 on
  // token n - 1 - CondOffset()). A skip condition followed by a non-skip one lets tokens
  // pass while they satisfy it, until the next condition holds. A token before the start of
  // the text satisfies only tcNotEqual. On acceptance refIdx is the token matched by the
  // last condition. An empty list never accepts. OnBlockCheck is the block pass's to call.
  bool CheckCondition(const TTokenHolder& tokens, int n, int& refIdx) const;
  // False when CheckCondition(tokens, n, ...) is sure to be false, told cheaply from one
  // token by the precheck of the first condition that says something before any skip.
  [[gnu::always_inline]] bool MayAccept(TTokenBriefs& tokens, int n) const {
    if (FPrecheckIndex < 0) return true;
    const int k = n - 1 - CondOffset() - FPrecheckIndex;
    return k >= 0 && FPrecheck.Passes(tokens.At(k));
  }
  bool MayAccept(const TTokenHolder& tokens, int n) const {
    TTokenBriefs briefs(tokens);
    return MayAccept(briefs, n);
  }

  // --- For the owning analyzer ---
  // Resolves StyleName, BlockName, then BlockEnd, TreeItemStyle and TreeGroupStyle from the
  // names kept while loading.
  void Loaded() override;
  // Drops Style and the tree styles when they are no longer items of formats.
  void ValidateStyles(const TSyntCollection& formats);
  // Drops Block and BlockEnd when they are no longer items of blockRules.
  void ValidateBlocks(const TSyntCollection& blockRules) override;

 protected:
  // The rule-item properties, then every property of the rule through its setter,
  // references by name (resolved in the destination's analyzer). BlockOffset goes before
  // BlockType, which zeroes it again for a rule that makes no range.
  void AssignTo(TPersistent* dest) const override;

 private:
  friend class TConditionCollection;
  void ConditionsChanged();
  // MayAccept's test, worked out again whenever the conditions change.
  void UpdatePrecheck();
  TTokenPrecheck FPrecheck;
  int FPrecheckIndex = -1;  // the condition it comes from; -1: none

  TTagBlockType FBlockType = btRangeStart;
  std::unique_ptr<TConditionCollection> FConditionList;
  int FIdentIndex = 0;
  TLineBreakPos FLinePos = lbTop;
  int FBlockOffset = 0;
  TItemRef<TTagBlockCondition> FBlockEnd;
  bool FEndOfTextClose = false;
  bool FNotCollapsed = false;
  bool FSameIdent = false;
  bool FHighlight = false;
  bool FInvertColors = false;
  bool FDisplayInTree = true;
  std::u16string FNameFmt;
  std::u16string FGroupFmt;
  bool FRefToCondEnd = false;
  TDynamicHighlight FDynHighlight = dhNone;
  THighlightPos FHighlightPos = cpAny;
  bool FDynSelectMin = false;
  bool FCancelNextRules = false;
  bool FDrawStaple = false;
  int FGroupIndex = 0;
  std::u16string FCollapseFmt;
  bool FSelfClose = false;
  bool FNoEndRule = false;
  std::string FGrammaRuleName;
  TParserRule* FGrammaRule = nullptr;  // not owned; belongs to the analyzer's grammar
  int FTokenType = -1;
  TItemRef<TSyntaxFormat> FTreeItemStyle;
  TItemRef<TSyntaxFormat> FTreeGroupStyle;
  int FTreeItemImage = -1;
  int FTreeGroupImage = -1;
  std::unique_ptr<TPen> FPen;
  bool FUseCustomPen = false;
  bool FIgnoreAsParent = false;
  TAutoCloseMode FAutoCloseMode = acmDisabled;
  std::u16string FAutoCloseText;
  bool FAutoCloseInternal = false;
};

// The analyzer's block rules, in the order the block pass tries them.
class TBlockRuleCollection : public TSyntCollection {
  QV_CLASS(TBlockRuleCollection, TSyntCollection)
  explicit TBlockRuleCollection(TSyntAnalyzer* owner);

  TTagBlockCondition* Items(int index) const {
    return static_cast<TTagBlockCondition*>(TCollection::Items(index));
  }
  TTagBlockCondition* Add() { return static_cast<TTagBlockCondition*>(TCollection::Add()); }
};

}  // namespace qv
