// Menu items: the child list, its ownership of the children, and clicks.
#include "framework/Menus.h"

#include <algorithm>

namespace qv {

void TMenuItem::DeclareClass(TClassDecl& c) {
  c.String("Caption", &TMenuItem::Caption, &TMenuItem::SetCaption);
  c.Boolean("Checked", &TMenuItem::Checked, &TMenuItem::SetChecked).Default(false);
  c.Event("OnClick", &TMenuItem::OnClick);
}

TMenuItem::~TMenuItem() {
  Clear();
  if (FParent) FParent->Remove(this);
}

void TMenuItem::Click() {
  if (OnClick) OnClick(this);
}

void TMenuItem::CheckIndex(int index, int limit) const {
  if (index < 0 || index > limit) throw EMenuError(SMenuIndexError);
}

TMenuItem* TMenuItem::Items(int index) const {
  CheckIndex(index, Count() - 1);
  return FItems[static_cast<size_t>(index)];
}

int TMenuItem::IndexOf(const TMenuItem* item) const {
  auto it = std::find(FItems.begin(), FItems.end(), item);
  return it == FItems.end() ? -1 : static_cast<int>(it - FItems.begin());
}

void TMenuItem::Add(TMenuItem* item) { Insert(Count(), item); }

void TMenuItem::Insert(int index, TMenuItem* item) {
  if (!item) return;
  if (item->FParent) throw EMenuError(SMenuReinserted);
  CheckIndex(index, Count());
  FItems.insert(FItems.begin() + index, item);
  item->FParent = this;
}

void TMenuItem::Delete(int index) {
  TMenuItem* item = Items(index);
  FItems.erase(FItems.begin() + index);
  item->FParent = nullptr;
}

void TMenuItem::Remove(TMenuItem* item) {
  const int index = IndexOf(item);
  if (index >= 0) Delete(index);
}

void TMenuItem::Clear() {
  // Each child leaves the list in its destructor, so the loop always sees the current end.
  while (!FItems.empty()) delete FItems.back();
}

void TMenuItem::GetChildren(const TGetChildProc& proc, TComponent*) {
  for (TMenuItem* item : FItems) proc(item);
}

void TMenuItem::SetParentComponent(TComponent* value) {
  if (FParent) FParent->Remove(this);
  if (auto* menu = dynamic_cast<TMenuItem*>(value)) menu->Add(this);
}

}  // namespace qv
