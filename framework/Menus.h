// Menus: the menu item component, a caption with a check mark and a click handler, holding
// an ordered list of child items. There is no window system: a host draws the tree and calls
// Click when the user picks an item.
#pragma once

#include <string>
#include <vector>

#include "framework/Classes.h"

namespace qv {

QV_DECLARE_EXCEPTION(EMenuError, Exception);

inline constexpr const char* SMenuIndexError = "Menu index out of range";
inline constexpr const char* SMenuReinserted = "Menu inserted twice";

// One entry of a menu, and the menu of its child items.
//
// Ownership: like every component an item is freed by its owner. Besides, an item frees its
// child items when it is destroyed or cleared, whoever owns them; a child that is freed first
// leaves its parent's list. Delete and Remove only take a child out of the list (the caller
// then frees it or adds it elsewhere).
class TMenuItem : public TComponent {
  QV_CLASS(TMenuItem, TComponent)
  // Caption, Checked and OnClick after the inherited Name and Tag.
  static void DeclareClass(TClassDecl& c);

  explicit TMenuItem(TComponent* owner) : TComponent(owner) {}
  ~TMenuItem() override;

  const std::string& Caption() const { return FCaption; }
  void SetCaption(const std::string& value) { FCaption = value; }
  bool Checked() const { return FChecked; }
  void SetChecked(bool value) { FChecked = value; }

  // Fires OnClick with this item as the sender.
  virtual void Click();
  TNotifyEvent OnClick;

  // --- Child items ---------------------------------------------------------------------
  int Count() const { return static_cast<int>(FItems.size()); }
  // Raises EMenuError "Menu index out of range" for a bad index.
  TMenuItem* Items(int index) const;
  // The menu this item is in, or null.
  TMenuItem* Parent() const { return FParent; }
  // The position of item among the children, or -1.
  int IndexOf(const TMenuItem* item) const;
  // Appends an item; raises EMenuError "Menu inserted twice" when it already is in a menu.
  void Add(TMenuItem* item);
  // Inserts at 0 <= index <= Count; same errors as Add and Items.
  void Insert(int index, TMenuItem* item);
  // Takes the child at index out of the list without freeing it.
  void Delete(int index);
  // Takes item out of the list without freeing it; nothing when it is not a child.
  void Remove(TMenuItem* item);
  // Frees every child item, last first.
  void Clear();

  // Stream hooks: the children are written inside their menu and join it when read.
  void GetChildren(const TGetChildProc& proc, TComponent* root) override;
  bool HasParent() const override { return true; }
  TComponent* GetParentComponent() const override { return FParent; }
  void SetParentComponent(TComponent* value) override;

private:
  void CheckIndex(int index, int limit) const;

  std::string FCaption;
  bool FChecked = false;
  TMenuItem* FParent = nullptr;    // not owned
  std::vector<TMenuItem*> FItems;  // freed by Clear and the destructor
};

}  // namespace qv
