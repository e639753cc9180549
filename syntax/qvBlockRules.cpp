// Block rules: their properties, change notification, by-name references, and the test of a
// rule's condition list against the newest tokens of a token holder.
#include "syntax/qvBlockRules.h"

#include <algorithm>
#include <utility>

#include "framework/Graphics.h"
#include "framework/TextServices.h"
#include "syntax/qvMemoStrings.h"
#include "syntax/qvParserResults.h"
#include "syntax/qvSyntAnalyzer.h"
#include "syntax/qvSyntGramma.h"
#include "syntax/qvSyntStyles.h"
#include "syntax/qvZRegExpr.h"

namespace qv {

const TEnumInfo TagConditionTypeInfo("TTagConditionType",
                                     {"tcEqual", "tcNotEqual", "tcMask", "tcSkip", "tcStrictMask"});
const TEnumInfo TagBlockTypeInfo("TTagBlockType",
                                 {"btTagDetect", "btLineBreak", "btRangeStart", "btRangeEnd"});
const TEnumInfo LineBreakPosInfo("TLineBreakPos", {"lbTop", "lbBottom"});
const TEnumInfo DynamicHighlightInfo("TDynamicHighlight",
                                     {"dhNone", "dhBound", "dhRangeNoBound", "dhRange"});
const TEnumInfo HighlightPosInfo("THighlightPos", {"cpAny", "cpBound", "cpBoundTag", "cpRange",
                                                   "cpBoundTagBegin", "cpOutOfRange"});
const TEnumInfo AutoCloseModeInfo("TAutoCloseMode",
                                  {"acmDisabled", "acmCloseNearest", "acmCloseOpened"});

// --- TSingleTagCondition -------------------------------------------------------------------

void TSingleTagCondition::DeclareClass(TClassDecl& c) {
  using T = TSingleTagCondition;
  c.Strings("TagList", &T::TagList, &T::SetTagList);
  c.Enumeration("CondType", TagConditionTypeInfo, &T::CondType, &T::SetCondType).Default(tcEqual);
  c.Cardinal("TokenTypes", &T::TokenTypes, &T::SetTokenTypes).Default(0u);
  c.Boolean("IgnoreCase", &T::IgnoreCase, &T::SetIgnoreCase).Default(false);
}

TSingleTagCondition::TSingleTagCondition(TCollection* collection)
    : TCollectionItem(collection), FTagList(std::make_unique<TzStringList>()) {
  FTagList->SetSorted(true);
  FTagList->SetCaseSensitive(true);
  FTagList->OnChange = [this](TObject*) { TagListChanged(); };
}

TSingleTagCondition::~TSingleTagCondition() { FTagList->OnChange = nullptr; }

void TSingleTagCondition::SetTagList(const TStrings* value) {
  if (value == FTagList.get()) return;
  FTagList->SetText(value ? value->Text() : std::string());
}

void TSingleTagCondition::SetCondType(TTagConditionType value) {
  FCondType = value;
  Changed(false);
}

void TSingleTagCondition::SetTokenTypes(uint32_t value) {
  FTokenTypes = value;
  Changed(false);
}

bool TSingleTagCondition::IgnoreCase() const { return !FTagList->CaseSensitive(); }

void TSingleTagCondition::SetIgnoreCase(bool value) {
  FTagList->SetCaseSensitive(!value);
  RebuildPlainTags();
}

namespace {

// Whether the system code page encodes each printable ASCII character as its own byte.
bool AsciiKept() {
  const TCodePageInfo& info = CodePageInfo(CP_ACP);
  thread_local const TCodePageInfo* checked = nullptr;
  thread_local bool kept = false;
  if (checked != &info) {
    kept = true;
    for (int c = 0x20; c <= 0x7E; ++c) kept = kept && info.ToWide[c] == c;
    checked = &info;
  }
  return kept;
}

bool IsPlain(std::string_view s) {
  return std::all_of(s.begin(), s.end(), [](char c) { return c >= 0x20 && c <= 0x7E; });
}

std::string AsciiLower(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
  return s;
}

}  // namespace

void TSingleTagCondition::RebuildPlainTags() {
  FPlainTags.clear();
  FAllPlain = true;
  FPlainLengths = 0;
  FLengthsUsable = true;
  const bool ignoreCase = IgnoreCase();
  for (int i = 0; i < FTagList->Count() && FAllPlain; ++i) {
    std::string tag = FTagList->Strings(i);
    FAllPlain = IsPlain(tag);
    if (tag.find('?') != std::string::npos) FLengthsUsable = false;
    FPlainLengths |= uint64_t{1} << std::min<size_t>(tag.size(), 63);
    FPlainTags.insert(ignoreCase ? AsciiLower(std::move(tag)) : std::move(tag));
  }
  if (!FAllPlain) {
    FPlainTags.clear();
    FLengthsUsable = false;
  }
}

void TSingleTagCondition::TagListChanged() {
  RebuildPlainTags();
  {
    std::lock_guard<std::mutex> lock(FMaskLock);
    FMasksValid = false;
  }
  Changed(false);
}

bool TSingleTagCondition::TextAnswer(const std::string& text) const {
  switch (FCondType) {
    case tcMask:
      return CheckMask(text, false);
    case tcStrictMask:
      return CheckMask(text, true);
    default: {
      // The list's own comparison, so IgnoreCase applies; plain texts against plain lists
      // by exact lookup, which gives the same answer.
      const bool found = FAllPlain && IsPlain(text)
                             ? FPlainTags.count(IgnoreCase() ? AsciiLower(text) : text) > 0
                             : FTagList->IndexOf(text) >= 0;
      return FCondType == tcNotEqual ? !found : found;
    }
  }
}

bool TSingleTagCondition::CheckText(const TTokenHolder& tokens, int index) const {
  if (FLengthsUsable && FCondType != tcMask && FCondType != tcStrictMask) {
    // A plain text of a length no entry has is in no list; a text that is not plain is not
    // in a plain list either. Either way: not found, without reading the token.
    const int length = tokens.TagLength(index);
    if (!(FPlainLengths >> std::min(std::max(length, 0), 63) & 1)) return FCondType == tcNotEqual;
  }
  // A token of printable ASCII against a plain list: looked up in place, where the system
  // code page keeps those characters as they are (as good as every one does).
  if (FAllPlain && FCondType != tcMask && FCondType != tcStrictMask && AsciiKept()) {
    const std::u16string_view view = tokens.TagView(index);
    if (!view.empty() && view.size() <= 64) {
      char buf[64];
      const bool lower = IgnoreCase();
      bool plain = true;
      for (size_t i = 0; i < view.size() && plain; ++i) {
        const char16_t c = view[i];
        plain = c >= 0x20 && c <= 0x7E;
        buf[i] = static_cast<char>(lower && c >= 'A' && c <= 'Z' ? c + 32 : c);
      }
      if (plain) {
        const std::string_view key(buf, view.size());
        // A list of one entry (a bracket, a keyword) is compared, not hashed.
        const bool found = FPlainTags.size() == 1 ? *FPlainTags.begin() == key : FPlainTags.find(key) != FPlainTags.end();
        return FCondType == tcNotEqual ? !found : found;
      }
    }
  }
  // Converted only when the text decides.
  return TextAnswer(WideCharToMultiByte(CP_ACP, tokens.TagStr(index)));
}

bool TSingleTagCondition::CheckToken(int tokenType, const std::string& text) const {
  if (const std::optional<bool> answer = TypeAnswer(tokenType)) return *answer;
  return TextAnswer(text);
}

void TTokenBriefs::Forget() {
  FSlots[0].Index = FSlots[1].Index = -1;
  FTextKnown = false;
}

void TTokenBriefs::Load(TSlot& slot, int index) {
  if (!FResults) {
    slot.Sketch = TTokenPrecheck::TSketch(FTokens.Brief(index));
  } else {
    if (!FTextKnown) {  // asked for once, when a token is first sketched
      const TSyntMemoStrings* source = FResults->Source();
      FText = source ? &source->Text() : nullptr;
      FTextKnown = true;
    }
    slot.Sketch = TTokenPrecheck::TSketch(TParserResults::BriefOf(*FResults->Tags(index), FText));
  }
  slot.Index = index;
}

TTokenPrecheck TSingleTagCondition::Precheck() const {
  TTokenPrecheck p;
  if (FCondType == tcSkip || FCondType == tcNotEqual) return p;
  if (FTokenTypes != 0) p.Types = FTokenTypes;
  // The text: as CheckText tells it for a plain list, by the lengths and the first unit.
  if (FCondType != tcEqual || FTagList->Count() == 0 || !FAllPlain || !FLengthsUsable) return p;
  p.Lengths = FPlainLengths;
  p.UsesEnds = true;
  for (const std::string& tag : FPlainTags) {
    if (tag.empty() || !TTokenPrecheck::IsEndUnit(static_cast<unsigned char>(tag.front())) ||
        !TTokenPrecheck::IsEndUnit(static_cast<unsigned char>(tag.back())))
      continue;  // a token whose ends are told cannot be this entry
    const unsigned key = TTokenPrecheck::EndsKey(static_cast<int>(tag.size()), static_cast<unsigned char>(tag.front()),
                                                 static_cast<unsigned char>(tag.back()));
    p.Ends[key >> 6] |= uint64_t{1} << (key & 63);
  }
  return p;
}

bool TSingleTagCondition::CheckMask(const std::string& text, bool whole) const {
  std::lock_guard<std::mutex> lock(FMaskLock);
  if (!FMasksValid) {
    FMasks.clear();
    for (int i = 0; i < FTagList->Count(); ++i) {
      auto expression = std::make_unique<TqvRegExpr>();
      ApplyDefaultModifiers(*expression);
      expression->SetExpression(MultiByteToWideChar(CP_ACP, FTagList->Strings(i)));
      FMasks.push_back(std::move(expression));
    }
    FMasksValid = true;
  }
  for (const std::unique_ptr<TqvRegExpr>& expression : FMasks) {
    if (!expression->Compile()) {
      // No tree at all is a compile error, which ends the test; a tree without
      // alternatives (an empty entry) only never matches.
      if (!expression->Root()) return false;
      continue;
    }
    try {
      if (whole) {
        int pos = 1;
        if (expression->Match(text, pos, false) && pos > static_cast<int>(text.size())) return true;
      } else if (expression->MatchLength(text, 1, false) > 0) {
        return true;
      }
    } catch (const Exception&) {  // a matching error ends the mask test without a match
      return false;
    }
  }
  return false;
}

void TSingleTagCondition::AssignTo(TPersistent* dest) const {
  auto* condition = dynamic_cast<TSingleTagCondition*>(dest);
  if (!condition) {
    TCollectionItem::AssignTo(dest);
    return;
  }
  condition->SetCondType(FCondType);
  condition->SetTokenTypes(FTokenTypes);
  condition->SetTagList(FTagList.get());
  condition->SetIgnoreCase(IgnoreCase());
}

// --- TConditionCollection ------------------------------------------------------------------

TConditionCollection::TConditionCollection(TTagBlockCondition* rule)
    : TOwnedCollection(rule, CreateItemOf<TSingleTagCondition>,
                       ClassInfoOf<TSingleTagCondition>().Name()),
      FRule(rule) {
  SetPropName("ConditionList");
}

void TConditionCollection::Update(TCollectionItem* item) {
  TOwnedCollection::Update(item);
  if (FRule) FRule->ConditionsChanged();
}

// --- TTagBlockCondition --------------------------------------------------------------------

void TTagBlockCondition::DeclareClass(TClassDecl& c) {
  using T = TTagBlockCondition;
  c.Enumeration("BlockType", TagBlockTypeInfo, &T::BlockType, &T::SetBlockType)
      .Default(btRangeStart);
  c.Collection("ConditionList", &T::ConditionList, &T::SetConditionList);
  c.Integer("IdentIndex", &T::IdentIndex, &T::SetIdentIndex).Default(0);
  c.Enumeration("LinePos", LineBreakPosInfo, &T::LinePos, &T::SetLinePos).Default(lbTop);
  c.Integer("BlockOffset", &T::BlockOffset, &T::SetBlockOffset).Default(0);
  c.String("BlockEnd", &T::BlockEnd, &T::SetBlockEnd);
  c.Boolean("EndOfTextClose", &T::EndOfTextClose, &T::SetEndOfTextClose).Default(false);
  c.Boolean("NotCollapsed", &T::NotCollapsed, &T::SetNotCollapsed).Default(false);
  c.Boolean("SameIdent", &T::SameIdent, &T::SetSameIdent).Default(false);
  c.Boolean("Highlight", &T::Highlight, &T::SetHighlight).Default(false);
  c.Boolean("InvertColors", &T::InvertColors, &T::SetInvertColors).Default(false);
  c.Boolean("DisplayInTree", &T::DisplayInTree, &T::SetDisplayInTree).Default(true);
  c.WideString("NameFmt", &T::NameFmt, &T::SetNameFmt);
  c.WideString("GroupFmt", &T::GroupFmt, &T::SetGroupFmt);
  c.Boolean("RefToCondEnd", &T::RefToCondEnd, &T::SetRefToCondEnd).Default(false);
  c.Enumeration("DynHighlight", DynamicHighlightInfo, &T::DynHighlight, &T::SetDynHighlight)
      .Default(dhNone);
  // Declared without a default: always written.
  c.Enumeration("HighlightPos", HighlightPosInfo, &T::HighlightPos, &T::SetHighlightPos);
  c.Boolean("DynSelectMin", &T::DynSelectMin, &T::SetDynSelectMin).Default(false);
  c.Boolean("CancelNextRules", &T::CancelNextRules, &T::SetCancelNextRules).Default(false);
  c.Boolean("DrawStaple", &T::DrawStaple, &T::SetDrawStaple).Default(false);
  c.Integer("GroupIndex", &T::GroupIndex, &T::SetGroupIndex).Default(0);
  c.WideString("CollapseFmt", &T::CollapseFmt, &T::SetCollapseFmt);
  c.Event("OnBlockCheck", &T::OnBlockCheck);
  c.Boolean("SelfClose", &T::SelfClose, &T::SetSelfClose).Default(false);
  c.Boolean("NoEndRule", &T::NoEndRule, &T::SetNoEndRule).Default(false);
  c.String("GrammaRuleName", &T::GrammaRuleName, &T::SetGrammaRuleName);
  c.Integer("TokenType", &T::TokenType, &T::SetTokenType).Default(-1);
  c.String("TreeItemStyle", &T::TreeItemStyle, &T::SetTreeItemStyle);
  c.String("TreeGroupStyle", &T::TreeGroupStyle, &T::SetTreeGroupStyle);
  c.Integer("TreeItemImage", &T::TreeItemImage, &T::SetTreeItemImage).Default(-1);
  c.Integer("TreeGroupImage", &T::TreeGroupImage, &T::SetTreeGroupImage).Default(-1);
  c.Object("Pen", &T::Pen, &T::SetPen);
  c.Boolean("UseCustomPen", &T::UseCustomPen, &T::SetUseCustomPen).Default(false);
  // Declared without a default: always written.
  c.Boolean("IgnoreAsParent", &T::IgnoreAsParent, &T::SetIgnoreAsParent);
  c.Enumeration("AutoCloseMode", AutoCloseModeInfo, &T::AutoCloseMode, &T::SetAutoCloseMode)
      .Default(acmDisabled);
  c.WideString("AutoCloseText", &T::AutoCloseText, &T::SetAutoCloseText);
  c.Boolean("AutoCloseInternal", &T::AutoCloseInternal, &T::SetAutoCloseInternal).Default(false);
}

TTagBlockCondition::TTagBlockCondition(TCollection* collection)
    : TRuleCollectionItem(collection),
      FConditionList(std::make_unique<TConditionCollection>(this)),
      FPen(std::make_unique<TPen>()) {
  FPen->OnChange = [this](TObject*) { ItemChanged(); };
}

TTagBlockCondition::~TTagBlockCondition() { FPen->OnChange = nullptr; }

void TTagBlockCondition::SetBlockType(TTagBlockType value) {
  FBlockType = value;
  if (value == btTagDetect || value == btLineBreak) {
    // These rules make no range: no offset to its first token, no rule to end it.
    FBlockOffset = 0;
    FBlockEnd = TItemRef<TTagBlockCondition>();
  }
  ItemChanged();
}

void TTagBlockCondition::SetConditionList(const TConditionCollection* value) {
  if (value == FConditionList.get()) return;
  FConditionList->Assign(value);
}

void TTagBlockCondition::SetIdentIndex(int value) { SetAndNotify(FIdentIndex, value); }
void TTagBlockCondition::SetLinePos(TLineBreakPos value) { SetAndNotify(FLinePos, value); }
void TTagBlockCondition::SetBlockOffset(int value) { SetAndNotify(FBlockOffset, value); }

std::string TTagBlockCondition::BlockEnd() const {
  return FBlockEnd.Get(SyntOwner(), OwnerLoading());
}

void TTagBlockCondition::SetBlockEnd(const std::string& value) {
  FBlockEnd.Set(value, OwnerBlockRules(), OwnerLoading());
  ItemChanged();
}

void TTagBlockCondition::SetEndOfTextClose(bool value) { SetAndNotify(FEndOfTextClose, value); }
void TTagBlockCondition::SetNotCollapsed(bool value) { SetAndNotify(FNotCollapsed, value); }
void TTagBlockCondition::SetSameIdent(bool value) { SetAndNotify(FSameIdent, value); }
void TTagBlockCondition::SetHighlight(bool value) { SetAndNotify(FHighlight, value); }
void TTagBlockCondition::SetInvertColors(bool value) { SetAndNotify(FInvertColors, value); }
void TTagBlockCondition::SetDisplayInTree(bool value) { SetAndNotify(FDisplayInTree, value); }
void TTagBlockCondition::SetNameFmt(const std::u16string& value) { SetAndNotify(FNameFmt, value); }
void TTagBlockCondition::SetGroupFmt(const std::u16string& value) {
  SetAndNotify(FGroupFmt, value);
}
void TTagBlockCondition::SetRefToCondEnd(bool value) { SetAndNotify(FRefToCondEnd, value); }
void TTagBlockCondition::SetDynHighlight(TDynamicHighlight value) {
  SetAndNotify(FDynHighlight, value);
}
void TTagBlockCondition::SetHighlightPos(THighlightPos value) {
  SetAndNotify(FHighlightPos, value);
}
void TTagBlockCondition::SetDynSelectMin(bool value) { SetAndNotify(FDynSelectMin, value); }
void TTagBlockCondition::SetCancelNextRules(bool value) { SetAndNotify(FCancelNextRules, value); }
void TTagBlockCondition::SetDrawStaple(bool value) { SetAndNotify(FDrawStaple, value); }
void TTagBlockCondition::SetCollapseFmt(const std::u16string& value) {
  SetAndNotify(FCollapseFmt, value);
}
void TTagBlockCondition::SetSelfClose(bool value) { SetAndNotify(FSelfClose, value); }
void TTagBlockCondition::SetNoEndRule(bool value) { SetAndNotify(FNoEndRule, value); }

void TTagBlockCondition::SetGrammaRuleName(const std::string& value) {
  if (value == FGrammaRuleName) return;
  FGrammaRuleName = value;
  const TSyntAnalyzer* owner = SyntOwner();
  FGrammaRule = owner && !value.empty() ? owner->Gramma()->ParserRuleByName(value) : nullptr;
}

void TTagBlockCondition::ResolveGrammaRule(const TGrammaRuleLookup& lookup) {
  FGrammaRule = lookup && !FGrammaRuleName.empty() ? lookup(FGrammaRuleName) : nullptr;
}

void TTagBlockCondition::SetTokenType(int value) { SetAndNotify(FTokenType, value); }

std::string TTagBlockCondition::TreeItemStyle() const {
  return FTreeItemStyle.Get(SyntOwner(), OwnerLoading());
}

void TTagBlockCondition::SetTreeItemStyle(const std::string& value) {
  FTreeItemStyle.Set(value, OwnerFormats(), OwnerLoading());
  ItemChanged();
}

std::string TTagBlockCondition::TreeGroupStyle() const {
  return FTreeGroupStyle.Get(SyntOwner(), OwnerLoading());
}

void TTagBlockCondition::SetTreeGroupStyle(const std::string& value) {
  FTreeGroupStyle.Set(value, OwnerFormats(), OwnerLoading());
  ItemChanged();
}

void TTagBlockCondition::SetTreeItemImage(int value) { SetAndNotify(FTreeItemImage, value); }
void TTagBlockCondition::SetTreeGroupImage(int value) { SetAndNotify(FTreeGroupImage, value); }

void TTagBlockCondition::SetPen(const TPen* value) {
  // The pen's OnChange reports the copy when it changed anything.
  if (value != FPen.get()) FPen->Assign(value);
}

void TTagBlockCondition::SetUseCustomPen(bool value) { SetAndNotify(FUseCustomPen, value); }
void TTagBlockCondition::SetIgnoreAsParent(bool value) { SetAndNotify(FIgnoreAsParent, value); }
void TTagBlockCondition::SetAutoCloseMode(TAutoCloseMode value) {
  SetAndNotify(FAutoCloseMode, value);
}

void TTagBlockCondition::SetAutoCloseText(const std::u16string& value) {
  // A bare line break is what an editor inserts anyway: it means no text of its own.
  SetAndNotify(FAutoCloseText, value == u"\r\n" ? std::u16string() : value);
}

void TTagBlockCondition::SetAutoCloseInternal(bool value) {
  SetAndNotify(FAutoCloseInternal, value);
}

void TTagBlockCondition::ConditionsChanged() {
  UpdatePrecheck();
  ItemChanged();
}

void TTagBlockCondition::UpdatePrecheck() {
  FPrecheck = TTokenPrecheck();
  FPrecheckIndex = -1;
  // Conditions before the first skip each look at a token of their own, one further back.
  const TConditionCollection& list = *FConditionList;
  for (int i = 0; i < list.Count() && list.Items(i)->CondType() != tcSkip; ++i) {
    const TTokenPrecheck p = list.Items(i)->Precheck();
    if (!p.Selective()) continue;
    FPrecheck = p;
    FPrecheckIndex = i;
    return;
  }
}

bool TTagBlockCondition::CheckCondition(const TTokenHolder& tokens, int n, int& refIdx) const {
  const TConditionCollection& list = *FConditionList;
  const int count = list.Count();
  const int offset = CondOffset();
  int merged = 0;   // skip conditions consumed together with the condition after them
  int skipped = 0;  // tokens let pass by skip conditions
  for (int i = 0; i < count; ++i) {
    // Condition i looks at the i-th token back from the newest (less the offset), shifted
    // by the tokens skipped so far; a merged skip took no token slot of its own.
    int k = n + merged - i - offset - skipped - 1;
    const TSingleTagCondition* condition = list.Items(i);
    if (condition->CondType() == tcSkip && i < count - 1 &&
        list.Items(i + 1)->CondType() != tcSkip) {
      const TSingleTagCondition* next = list.Items(i + 1);
      while (k >= 0) {
        if (next->Check(tokens, k)) break;
        if (!condition->Check(tokens, k)) return false;
        --k;
        ++skipped;
      }
      if (k < 0) return false;
      ++i;
      ++merged;
      condition = next;
    }
    if (k < 0) {
      // Before the start of the text: a missing token is "not equal" to anything.
      if (condition->CondType() != tcNotEqual) return false;
    } else if (!condition->Check(tokens, k)) {
      return false;
    }
  }
  refIdx = n + merged - count - offset - skipped;
  return count > 0;
}

void TTagBlockCondition::Loaded() {
  TRuleCollectionItem::Loaded();
  UpdatePrecheck();
  FBlockEnd.Resolve(OwnerBlockRules());
  FTreeItemStyle.Resolve(OwnerFormats());
  FTreeGroupStyle.Resolve(OwnerFormats());
}

void TTagBlockCondition::ValidateStyles(const TSyntCollection& formats) {
  ValidateStyle(formats);
  FTreeItemStyle.Validate(formats);
  FTreeGroupStyle.Validate(formats);
}

void TTagBlockCondition::ValidateBlocks(const TSyntCollection& blockRules) {
  TRuleCollectionItem::ValidateBlocks(blockRules);
  FBlockEnd.Validate(blockRules);
}

void TTagBlockCondition::AssignTo(TPersistent* dest) const {
  TRuleCollectionItem::AssignTo(dest);
  auto* rule = dynamic_cast<TTagBlockCondition*>(dest);
  if (!rule) return;
  rule->SetConditionList(FConditionList.get());
  rule->SetIdentIndex(FIdentIndex);
  rule->SetLinePos(FLinePos);
  rule->SetBlockOffset(FBlockOffset);
  rule->SetBlockType(FBlockType);
  rule->SetBlockEnd(BlockEnd());
  rule->SetEndOfTextClose(FEndOfTextClose);
  rule->SetNotCollapsed(FNotCollapsed);
  rule->SetSameIdent(FSameIdent);
  rule->SetHighlight(FHighlight);
  rule->SetInvertColors(FInvertColors);
  rule->SetDisplayInTree(FDisplayInTree);
  rule->SetNameFmt(FNameFmt);
  rule->SetGroupFmt(FGroupFmt);
  rule->SetRefToCondEnd(FRefToCondEnd);
  rule->SetDynHighlight(FDynHighlight);
  rule->SetHighlightPos(FHighlightPos);
  rule->SetDynSelectMin(FDynSelectMin);
  rule->SetCancelNextRules(FCancelNextRules);
  rule->SetDrawStaple(FDrawStaple);
  rule->SetGroupIndex(FGroupIndex);
  rule->OnBlockCheck = OnBlockCheck;
  rule->SetCollapseFmt(FCollapseFmt);
  rule->SetSelfClose(FSelfClose);
  rule->SetNoEndRule(FNoEndRule);
  rule->SetGrammaRuleName(FGrammaRuleName);
  rule->SetTokenType(FTokenType);
  rule->SetTreeItemStyle(TreeItemStyle());
  rule->SetTreeGroupStyle(TreeGroupStyle());
  rule->SetTreeItemImage(FTreeItemImage);
  rule->SetTreeGroupImage(FTreeGroupImage);
  rule->SetPen(FPen.get());
  rule->SetUseCustomPen(FUseCustomPen);
  rule->SetIgnoreAsParent(FIgnoreAsParent);
  rule->SetAutoCloseText(FAutoCloseText);
  rule->SetAutoCloseMode(FAutoCloseMode);
  rule->SetAutoCloseInternal(FAutoCloseInternal);
}

// --- TBlockRuleCollection ------------------------------------------------------------------

TBlockRuleCollection::TBlockRuleCollection(TSyntAnalyzer* owner)
    : TSyntCollection(ClassInfoOf<TTagBlockCondition>(), CreateItemOf<TTagBlockCondition>, owner) {}

}  // namespace qv
