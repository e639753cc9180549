// TCollectionItem, TCollection and TOwnedCollection: the item list, its IDs, the update
// bracket and the order of Notify and Update around every change.
#include "framework/Collections.h"

#include <algorithm>
#include <cassert>

namespace qv {

namespace {

// Name path of a collection's owner. TPersistent has no name path of its own, so the kinds
// that have one are asked here: a component by its name, items and collections by theirs.
std::string NamePathOf(const TPersistent* obj) {
  if (const auto* component = dynamic_cast<const TComponent*>(obj)) return component->Name();
  if (const auto* item = dynamic_cast<const TCollectionItem*>(obj)) return item->GetNamePath();
  if (const auto* collection = dynamic_cast<const TCollection*>(obj))
    return collection->GetNamePath();
  return obj->ClassName();
}

}  // namespace

// --- TCollectionItem ------------------------------------------------------------------------

TCollectionItem::TCollectionItem(TCollection* collection) {
  if (!collection) return;
  try {
    collection->InsertItem(this);
  } catch (...) {  // Notify or Update refused the item; no destructor runs for a failed constructor
    collection->Detach(this);
    throw;
  }
}

TCollectionItem::~TCollectionItem() {
  if (!FCollection) return;
  TCollection* collection = FCollection;
  if (collection->Unlink(this, cnDeleting)) collection->Changed();
}

void TCollectionItem::SetCollection(TCollection* value) {
  if (value == FCollection) return;
  if (TCollection* old = FCollection) {
    if (old->Unlink(this, cnExtracting)) old->Changed();
  }
  if (value) value->InsertItem(this);
}

int TCollectionItem::Index() const {
  if (!FCollection) return -1;
  const auto& items = FCollection->FItems;
  auto it = std::find(items.begin(), items.end(), this);
  return it == items.end() ? -1 : static_cast<int>(it - items.begin());
}

void TCollectionItem::SetIndex(int value) {
  int current = Index();
  if (current < 0 || current == value) return;
  if (value < 0 || value >= FCollection->Count()) throw EListError(Format(SListIndexError, value));
  auto& items = FCollection->FItems;
  auto at = items.begin();
  if (current < value)
    std::rotate(at + current, at + current + 1, at + value + 1);
  else
    std::rotate(at + value, at + current, at + current + 1);
  Changed(true);
}

std::string TCollectionItem::DisplayName() const { return ClassName(); }

void TCollectionItem::SetDisplayName(const std::string&) { Changed(false); }

std::string TCollectionItem::GetNamePath() const {
  if (!FCollection) return ClassName();
  return Format("%s[%d]", FCollection->GetNamePath(), Index());
}

TPersistent* TCollectionItem::GetOwner() const { return FCollection; }

void TCollectionItem::Changed(bool allItems) {
  if (FCollection && FCollection->FUpdateCount == 0)
    FCollection->Update(allItems ? nullptr : this);
}

// --- TCollection ----------------------------------------------------------------------------

TCollection::TCollection(TCollectionItemFactory itemClass, const char* itemClassName)
    : FItemClass(itemClass), FItemClassName(itemClassName ? itemClassName : "") {}

TCollection::~TCollection() {
  // Items are taken out before they are freed, so an item destructor that deletes a sibling
  // finds a consistent list. FDestroying keeps that sibling's removal silent: Notify and
  // Update would reach only the base versions here anyway, so nothing is announced at all.
  FDestroying = true;
  while (!FItems.empty()) {
    TCollectionItem* item = FItems.back();
    FItems.pop_back();
    item->FCollection = nullptr;
    delete item;
  }
}

void TCollection::IndexError(int index) { throw EListError(Format(SListIndexError, index)); }

void TCollection::SetItems(int index, const TCollectionItem* value) { Items(index)->Assign(value); }

TCollectionItem* TCollection::Add() {
  // The factory's item joins from its base constructor, before its own fields exist; its
  // announcement waits until the factory returns the finished object.
  // An item constructor may itself Add to this collection; the outer item stays pending.
  TCollectionItem* outer = FPending;
  FAdding = true;
  TCollectionItem* item = nullptr;
  try {
    item = FItemClass(this);
  } catch (...) {  // the half-built item already left the list from its base destructor
    FAdding = false;
    FPending = outer;
    throw;
  }
  assert(item && item == FPending && "the item factory must create the item in this collection");
  FAdding = false;
  FPending = outer;
  try {
    Announce(item);
  } catch (...) {  // a refused Add leaves the collection as it was
    Detach(item);
    delete item;
    throw;
  }
  return item;
}

TCollectionItem* TCollection::Insert(int index) {
  if (index < 0 || index > Count()) throw EListError(Format(SListIndexError, index));
  TCollectionItem* item = nullptr;
  WithinUpdate(*this, [&] {
    item = Add();
    item->SetIndex(index);
  });
  return item;
}

void TCollection::Delete(int index) {
  TCollectionItem* item = Items(index);
  bool report = Unlink(item, cnDeleting);
  delete item;
  if (report) Changed();
}

void TCollection::Clear() {
  if (FItems.empty()) return;
  WithinUpdate(*this, [&] {
    while (!FItems.empty()) Delete(Count() - 1);
  });
}

TCollectionItem* TCollection::FindItemID(int id) const {
  auto it = std::find_if(FItems.begin(), FItems.end(),
                         [id](const TCollectionItem* item) { return item->FID == id; });
  return it == FItems.end() ? nullptr : *it;
}

void TCollection::BeginUpdate() { ++FUpdateCount; }

void TCollection::EndUpdate() {
  if (FUpdateCount == 0) return;  // going negative would mute every later Update
  if (--FUpdateCount == 0) Changed();
}

std::string TCollection::GetNamePath() const {
  const TPersistent* owner = GetOwner();
  if (!owner) return ClassName();
  std::string prop = FPropName.empty() ? std::string(ClassName()) : FPropName;
  std::string ownerPath = NamePathOf(owner);
  return ownerPath.empty() ? prop : ownerPath + "." + prop;
}

void TCollection::Assign(const TPersistent* source) {
  const auto* other = dynamic_cast<const TCollection*>(source);
  if (!other) {
    TPersistent::Assign(source);
    return;
  }
  if (other == this) return;  // Clear would free the source items
  WithinUpdate(*this, [&] {
    Clear();
    for (const TCollectionItem* item : other->FItems) Add()->Assign(item);
  });
}

void TCollection::Update(TCollectionItem*) {}

void TCollection::Notify(TCollectionItem*, TCollectionNotification) {}

void TCollection::Changed() {
  if (FUpdateCount == 0) Update(nullptr);
}

void TCollection::InsertItem(TCollectionItem* item) {
  FItems.push_back(item);
  item->FCollection = this;
  item->FID = FNextID++;
  if (FAdding) {
    FAdding = false;
    FPending = item;
    return;
  }
  Announce(item);
}

void TCollection::Announce(TCollectionItem* item) {
  Notify(item, cnAdded);
  Changed();
}

bool TCollection::Unlink(TCollectionItem* item, TCollectionNotification action) {
  // Silent while the collection is destroyed, and for an item Add() has not announced yet.
  bool silent = FDestroying || item == FPending;
  if (item == FPending) FPending = nullptr;
  if (!silent) Notify(item, action);
  Detach(item);
  return !silent;
}

void TCollection::Detach(TCollectionItem* item) {
  FItems.erase(std::remove(FItems.begin(), FItems.end(), item), FItems.end());
  item->FCollection = nullptr;
}

}  // namespace qv
