// The base of every lexer configuration element: named, ordered collection items with
// unique display names and the enabled flag, their collections, and the rule items that
// refer to styles and block rules by name and carry the rule-gating data (parent-block
// condition and the 32-bit state masks).
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "framework/Collections.h"

namespace qv {

class TSyntAnalyzer;
class TSyntCollection;
class TqvRegExpr;
class TSyntaxFormat;
class TTagBlockCondition;

inline constexpr const char* SAllowOnlySyntItems = "Allow only TSyntCollectionItem Class";

// The host's choice of modifiers for every expression that token rules, sub-lexer rules and
// mask conditions create; unset by default.
using TDefaultModifiersProc = std::function<void(TqvRegExpr& expression)>;
extern TDefaultModifiersProc DefaultModifiersProc;
// Gives a new rule expression its modifiers: DefaultModifiersProc when set, else i and g
// on, s off, m and x on, r off.
void ApplyDefaultModifiers(TqvRegExpr& expression);

// An element of a lexer: a style, a token rule, a block rule or a sub-lexer rule.
//
// A new item created through its collection's Add is named after its kind and the smallest
// free number ("Token rule 3"). Names are unique within the collection, compared exactly:
// a rename to a name another item has is ignored.
class TSyntCollectionItem : public TCollectionItem {
  QV_CLASS(TSyntCollectionItem, TCollectionItem)
  // DisplayName, then Enabled (default True).
  static void DeclareClass(TClassDecl& c);

  explicit TSyntCollectionItem(TCollection* collection) : TCollectionItem(collection) {}

  std::string DisplayName() const override { return FDisplayName; }
  // Ignored when another item of the collection has that name; sends no change notice.
  void SetDisplayName(const std::string& value) override;
  bool Enabled() const { return FEnabled; }
  void SetEnabled(bool value);  // notifies only on change

  // The word generated names start with.
  virtual std::string GetItemBaseName() const { return "Item"; }
  // Called once after the owning analyzer finished loading: resolves stored names.
  virtual void Loaded() {}
  // True when the item cannot work as configured.
  virtual bool IsInvalid() const { return false; }

  TSyntCollection* SyntCollection() const;
  // The analyzer that owns the collection, or null.
  TSyntAnalyzer* SyntOwner() const;
  // True while the owning analyzer is being loaded from a stream.
  bool OwnerLoading() const;

  // Gives the item its generated name: the base name and the smallest free number.
  void GenerateName();

protected:
  // Copies DisplayName (under the uniqueness rule) and Enabled into another item of this
  // family; any other destination is left alone.
  void AssignTo(TPersistent* dest) const override;
  // The framework's Changed(false) for an item's own property change.
  void ItemChanged() { Changed(false); }

private:
  std::string FDisplayName;
  bool FEnabled = true;
};

// Notice of a change in a collection: item is null when the collection changed as a whole.
using TSyntCollectionChange = std::function<void(TSyntCollection* sender, TSyntCollectionItem* item)>;

// A collection of lexer items owned by an analyzer (which may be absent).
class TSyntCollection : public TCollection {
  QV_CLASS(TSyntCollection, TCollection)
  // Raises Exception "Allow only TSyntCollectionItem Class" unless itemClass is
  // TSyntCollectionItem or a descendant.
  TSyntCollection(const TClassInfo& itemClass, TCollectionItemFactory factory,
                  TSyntAnalyzer* owner);
  // Tells no one of the items leaving: the owner detaches OnChange before.
  ~TSyntCollection() override;

  TSyntCollectionItem* Items(int index) const {
    return static_cast<TSyntCollectionItem*>(TCollection::Items(index));
  }
  TSyntAnalyzer* SyntOwner() const { return FSyntOwner; }
  // The first item whose DisplayName equals name exactly, or null.
  TSyntCollectionItem* ItemByName(std::string_view name) const;
  // True when item is one of this collection's items.
  bool ValidItem(const TCollectionItem* item) const;
  // Loaded of every item, in order.
  void Loaded();
  TPersistent* GetOwner() const override;

  TSyntCollectionChange OnChange;

protected:
  void Update(TCollectionItem* item) override;
  void Notify(TCollectionItem* item, TCollectionNotification action) override;

private:
  TSyntAnalyzer* FSyntOwner;  // not owned
};

// A reference to an item of a collection by its display name, as rules keep styles and
// block rules:
//   - without an owner analyzer, reading gives "" and writing does nothing;
//   - while the owner loads, writing keeps the text and reading returns it;
//   - otherwise writing resolves the name at once (no such item: no reference), and reading
//     gives the referenced item's current name, so renames are followed;
//   - Resolve (after loading) resolves a kept text that is not empty.
template <class T>
class TItemRef {
public:
  T* Item() const { return FItem; }
  void SetItem(T* item) { FItem = item; }
  void Clear() { FItem = nullptr; }
  const std::string& StoredName() const { return FName; }

  std::string Get(const TSyntAnalyzer* owner, bool loading) const {
    if (!owner) return {};
    if (loading) return FName;
    return FItem ? FItem->DisplayName() : std::string();
  }
  void Set(const std::string& name, const TSyntCollection* items, bool loading) {
    if (!items || !items->SyntOwner()) return;
    FName = name;
    if (!loading) FItem = static_cast<T*>(items->ItemByName(name));
  }
  void Resolve(const TSyntCollection* items) {
    if (!FName.empty() && items) FItem = static_cast<T*>(items->ItemByName(FName));
  }
  // Drops the reference when its item is no longer in items.
  void Validate(const TSyntCollection& items) {
    if (FItem && !items.ValidItem(static_cast<const TCollectionItem*>(FItem))) FItem = nullptr;
  }

private:
  T* FItem = nullptr;  // not owned
  std::string FName;   // as written while loading
};

// The base of token, block and sub-lexer rules: the style given to what the rule produces,
// the parent-block condition, and the state masks.
class TRuleCollectionItem : public TSyntCollectionItem {
  QV_CLASS(TRuleCollectionItem, TSyntCollectionItem)
  static void DeclareClass(TClassDecl& c);

  explicit TRuleCollectionItem(TCollection* collection) : TSyntCollectionItem(collection) {}

  std::string StyleName() const;
  void SetStyleName(const std::string& value);  // always notifies
  std::string BlockName() const;
  void SetBlockName(const std::string& value);  // notifies outside loading
  TSyntaxFormat* Style() const { return FStyle.Item(); }
  TTagBlockCondition* Block() const { return FBlock.Item(); }

  bool StrictParent() const { return FStrictParent; }
  void SetStrictParent(bool value);
  bool NotParent() const { return FNotParent; }
  void SetNotParent(bool value);
  bool AlwaysEnabled() const { return FAlwaysEnabled; }
  void SetAlwaysEnabled(bool value);
  int StatesAdd() const { return FStatesAdd; }
  void SetStatesAdd(int value);
  int StatesRemove() const { return FStatesRemove; }
  void SetStatesRemove(int value);
  int StatesPresent() const { return FStatesPresent; }
  void SetStatesPresent(int value);
  int StatesAbsent() const { return FStatesAbsent; }
  void SetStatesAbsent(int value);

  void Loaded() override;

  // For the owning analyzer: drop references to items its collections no longer hold.
  void ValidateStyle(const TSyntCollection& formats);
  virtual void ValidateBlocks(const TSyntCollection& blockRules);

  // The gating of the rule by a state set, apart from the parent-block condition: Enabled,
  // AlwaysEnabled when only global rules are asked for, all of StatesPresent set, none of
  // StatesAbsent.
  bool GatesOpen(uint32_t state, bool onlyGlobal) const {
    if (!Enabled()) return false;
    if (onlyGlobal && !FAlwaysEnabled) return false;
    const auto present = static_cast<uint32_t>(FStatesPresent);
    const auto absent = static_cast<uint32_t>(FStatesAbsent);
    if (present != 0 && (state & present) != present) return false;
    if (absent != 0 && (state & absent) != 0) return false;
    return true;
  }
  // The state set after the rule fired: StatesRemove cleared, then StatesAdd set.
  uint32_t ApplyStates(uint32_t state) const {
    return (state & ~static_cast<uint32_t>(FStatesRemove)) | static_cast<uint32_t>(FStatesAdd);
  }

protected:
  void AssignTo(TPersistent* dest) const override;
  // Stores value in field and notifies when it differs.
  template <class V>
  void SetAndNotify(V& field, V value) {
    if (field == value) return;
    field = value;
    ItemChanged();
  }
  const TSyntCollection* OwnerFormats() const;
  const TSyntCollection* OwnerBlockRules() const;

private:
  TItemRef<TSyntaxFormat> FStyle;
  TItemRef<TTagBlockCondition> FBlock;
  bool FStrictParent = false;
  bool FNotParent = false;
  bool FAlwaysEnabled = false;
  int FStatesAdd = 0;
  int FStatesRemove = 0;
  int FStatesPresent = 0;
  int FStatesAbsent = 0;
};

}  // namespace qv
