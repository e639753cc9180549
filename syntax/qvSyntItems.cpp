// Lexer items and collections: names, the enabled flag, by-name references and rule gating.
#include "syntax/qvSyntItems.h"

#include "syntax/qvBlockRules.h"
#include "syntax/qvSyntAnalyzer.h"
#include "syntax/qvSyntStyles.h"
#include "syntax/qvZRegExpr.h"

namespace qv {

TDefaultModifiersProc DefaultModifiersProc;

void ApplyDefaultModifiers(TqvRegExpr& expression) {
  if (DefaultModifiersProc) {
    DefaultModifiersProc(expression);
    return;
  }
  expression.SetModifier(MaskModI, true);
  expression.SetModifier(MaskModG, true);
  expression.SetModifier(MaskModS, false);
  expression.SetModifier(MaskModM, true);
  expression.SetModifier(MaskModX, true);
  expression.SetModifier(MaskModR, false);
}

// --- TSyntCollectionItem -------------------------------------------------------------------

void TSyntCollectionItem::DeclareClass(TClassDecl& c) {
  c.String("DisplayName", &TSyntCollectionItem::DisplayName, &TSyntCollectionItem::SetDisplayName);
  c.Boolean("Enabled", &TSyntCollectionItem::Enabled, &TSyntCollectionItem::SetEnabled)
      .Default(true);
}

void TSyntCollectionItem::SetDisplayName(const std::string& value) {
  if (const TCollection* c = Collection())
    for (int i = 0; i < c->Count(); ++i) {
      const TCollectionItem* other = c->Items(i);
      if (other != this && other->DisplayName() == value) return;
    }
  FDisplayName = value;
}

void TSyntCollectionItem::SetEnabled(bool value) {
  if (FEnabled == value) return;
  FEnabled = value;
  ItemChanged();
}

TSyntCollection* TSyntCollectionItem::SyntCollection() const {
  return dynamic_cast<TSyntCollection*>(Collection());
}

TSyntAnalyzer* TSyntCollectionItem::SyntOwner() const {
  const TSyntCollection* c = SyntCollection();
  return c ? c->SyntOwner() : nullptr;
}

bool TSyntCollectionItem::OwnerLoading() const {
  const TSyntAnalyzer* owner = SyntOwner();
  return owner && owner->ComponentState().Contains(csLoading);
}

void TSyntCollectionItem::GenerateName() {
  const TCollection* c = Collection();
  if (!c) return;
  const std::string base = GetItemBaseName() + " ";
  for (int n = 1;; ++n) {
    std::string name = base + std::to_string(n);
    bool taken = false;
    for (int i = 0; i < c->Count() && !taken; ++i)
      taken = c->Items(i) != this && c->Items(i)->DisplayName() == name;
    if (!taken) {
      FDisplayName = std::move(name);
      return;
    }
  }
}

void TSyntCollectionItem::AssignTo(TPersistent* dest) const {
  auto* item = dynamic_cast<TSyntCollectionItem*>(dest);
  if (!item) return;
  item->SetDisplayName(FDisplayName);
  item->SetEnabled(FEnabled);
}

// --- TSyntCollection -----------------------------------------------------------------------

TSyntCollection::TSyntCollection(const TClassInfo& itemClass, TCollectionItemFactory factory,
                                 TSyntAnalyzer* owner)
    : TCollection(factory, itemClass.Name()), FSyntOwner(owner) {
  if (!itemClass.InheritsFrom(ClassInfoOf<TSyntCollectionItem>()))
    throw Exception(SAllowOnlySyntItems);
}

TSyntCollection::~TSyntCollection() { OnChange = nullptr; }

TSyntCollectionItem* TSyntCollection::ItemByName(std::string_view name) const {
  for (int i = 0; i < Count(); ++i)
    if (Items(i)->DisplayName() == name) return Items(i);
  return nullptr;
}

bool TSyntCollection::ValidItem(const TCollectionItem* item) const {
  if (!item) return false;
  for (int i = 0; i < Count(); ++i)
    if (TCollection::Items(i) == item) return true;
  return false;
}

void TSyntCollection::Loaded() {
  for (int i = 0; i < Count(); ++i) Items(i)->Loaded();
}

TPersistent* TSyntCollection::GetOwner() const { return FSyntOwner; }

void TSyntCollection::Update(TCollectionItem* item) {
  TCollection::Update(item);
  if (OnChange) OnChange(this, static_cast<TSyntCollectionItem*>(item));
}

void TSyntCollection::Notify(TCollectionItem* item, TCollectionNotification action) {
  TCollection::Notify(item, action);
  if (action == cnAdded)
    if (auto* syntItem = dynamic_cast<TSyntCollectionItem*>(item)) syntItem->GenerateName();
}

// --- TRuleCollectionItem -------------------------------------------------------------------

void TRuleCollectionItem::DeclareClass(TClassDecl& c) {
  using T = TRuleCollectionItem;
  c.String("StyleName", &T::StyleName, &T::SetStyleName);
  c.String("BlockName", &T::BlockName, &T::SetBlockName);
  c.Boolean("StrictParent", &T::StrictParent, &T::SetStrictParent).Default(false);
  c.Boolean("NotParent", &T::NotParent, &T::SetNotParent).Default(false);
  c.Boolean("AlwaysEnabled", &T::AlwaysEnabled, &T::SetAlwaysEnabled).Default(false);
  c.Integer("StatesAdd", &T::StatesAdd, &T::SetStatesAdd).Default(0);
  c.Integer("StatesRemove", &T::StatesRemove, &T::SetStatesRemove).Default(0);
  c.Integer("StatesPresent", &T::StatesPresent, &T::SetStatesPresent).Default(0);
  c.Integer("StatesAbsent", &T::StatesAbsent, &T::SetStatesAbsent).Default(0);
}

const TSyntCollection* TRuleCollectionItem::OwnerFormats() const {
  const TSyntAnalyzer* owner = SyntOwner();
  return owner ? owner->Formats() : nullptr;
}

const TSyntCollection* TRuleCollectionItem::OwnerBlockRules() const {
  const TSyntAnalyzer* owner = SyntOwner();
  return owner ? owner->BlockRules() : nullptr;
}

std::string TRuleCollectionItem::StyleName() const {
  return FStyle.Get(SyntOwner(), OwnerLoading());
}

void TRuleCollectionItem::SetStyleName(const std::string& value) {
  FStyle.Set(value, OwnerFormats(), OwnerLoading());
  ItemChanged();
}

std::string TRuleCollectionItem::BlockName() const {
  return FBlock.Get(SyntOwner(), OwnerLoading());
}

void TRuleCollectionItem::SetBlockName(const std::string& value) {
  const bool loading = OwnerLoading();
  FBlock.Set(value, OwnerBlockRules(), loading);
  if (!loading) ItemChanged();
}

void TRuleCollectionItem::SetStrictParent(bool value) { SetAndNotify(FStrictParent, value); }
void TRuleCollectionItem::SetNotParent(bool value) { SetAndNotify(FNotParent, value); }
void TRuleCollectionItem::SetAlwaysEnabled(bool value) { SetAndNotify(FAlwaysEnabled, value); }
void TRuleCollectionItem::SetStatesAdd(int value) { SetAndNotify(FStatesAdd, value); }
void TRuleCollectionItem::SetStatesRemove(int value) { SetAndNotify(FStatesRemove, value); }
void TRuleCollectionItem::SetStatesPresent(int value) { SetAndNotify(FStatesPresent, value); }
void TRuleCollectionItem::SetStatesAbsent(int value) { SetAndNotify(FStatesAbsent, value); }

void TRuleCollectionItem::ValidateStyle(const TSyntCollection& formats) {
  FStyle.Validate(formats);
}

void TRuleCollectionItem::ValidateBlocks(const TSyntCollection& blockRules) {
  FBlock.Validate(blockRules);
}

void TRuleCollectionItem::Loaded() {
  FStyle.Resolve(OwnerFormats());
  FBlock.Resolve(OwnerBlockRules());
}

void TRuleCollectionItem::AssignTo(TPersistent* dest) const {
  TSyntCollectionItem::AssignTo(dest);
  auto* rule = dynamic_cast<TRuleCollectionItem*>(dest);
  if (!rule) return;
  rule->SetStyleName(StyleName());
  rule->SetBlockName(BlockName());
  rule->SetStrictParent(FStrictParent);
  rule->SetNotParent(FNotParent);
  rule->SetAlwaysEnabled(FAlwaysEnabled);
  rule->SetStatesAbsent(FStatesAbsent);
  rule->SetStatesAdd(FStatesAdd);
  rule->SetStatesRemove(FStatesRemove);
  rule->SetStatesPresent(FStatesPresent);
}

}  // namespace qv
