// Owned collections of persistent items: TCollection keeps an ordered list of TCollectionItem
// objects of one item class, gives each a lasting ID, and reports additions, removals and
// item changes through Notify and Update. TOwnedCollection is a collection that is a property
// of another persistent object (an analyzer's rule lists, a block rule's conditions).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "framework/Classes.h"

namespace qv {

class TCollection;
class TCollectionItem;

// The item class of a collection: a function that creates one item in the given collection.
// CreateItemOf<TMyItem> is the usual one.
using TCollectionItemFactory = TCollectionItem* (*)(TCollection* collection);

template <class T>
TCollectionItem* CreateItemOf(TCollection* collection) { return new T(collection); }

enum TCollectionNotification : uint8_t { cnAdded, cnExtracting, cnDeleting };

// One element of a collection. The collection owns its items; an item without collection
// belongs to whoever holds it. Deleting an item yourself is fine: it leaves its collection.
// Items don't copy themselves: a class that can be assigned overrides Assign.
// Copy and move are deleted; items copy through Assign.
class TCollectionItem : public TPersistent {
  QV_CLASS(TCollectionItem, TPersistent)
  // Joins collection (when not null) at the end, which then owns the item. Built with new
  // rather than through Add, the item is announced from here, before its derived part
  // exists. When Notify or Update throws, the item leaves the collection again.
  explicit TCollectionItem(TCollection* collection);
  // Leaves the collection first. Notify(cnDeleting) and Update run from here only when the
  // item was deleted directly (Delete and Clear take it out before freeing it); they then see
  // only the TCollectionItem part, and must not throw.
  ~TCollectionItem() override;
  TCollectionItem(const TCollectionItem&) = delete;
  TCollectionItem& operator=(const TCollectionItem&) = delete;

  TCollection* Collection() const { return FCollection; }
  // Moves the item to the end of another collection, which gives it a new ID. Null takes it
  // out without freeing it; the caller then owns it.
  void SetCollection(TCollection* value);
  // Position in the collection, -1 without collection. Linear in the collection's size.
  int Index() const;
  // Moves the item to that position; a whole-collection change (every index after it moved).
  // Raises EListError for a position outside the collection; does nothing without collection.
  void SetIndex(int value);
  // Unique within the collection and never reused there: taken from its NextID on joining.
  int ID() const { return FID; }

  virtual std::string DisplayName() const;  // the class name
  virtual void SetDisplayName(const std::string& value);  // the base only reports a change
  // "<collection's name path>[<index>]"; the class name without collection.
  virtual std::string GetNamePath() const;
  TPersistent* GetOwner() const override;

protected:
  // Reports a change of this item (allItems false) or of something every item depends on
  // (true) to the collection's Update, unless the collection is inside an update bracket.
  void Changed(bool allItems);

private:
  friend class TCollection;
  TCollection* FCollection = nullptr;  // not owned; it owns this item
  int FID = 0;
};

// An ordered list of items of one class. Indexes are 0-based; a bad index raises EListError
// "List index out of bounds (%d)".
//
// Ownership: items are freed by Delete, Clear and the destructor. Deleting an item from
// inside Notify(cnDeleting) is not supported.
//
// Notifications: an added item is reported by Notify(item, cnAdded) once it is in the list;
// a removed one by Notify(item, cnExtracting) and a freed one by Notify(item, cnDeleting)
// while it is still there. Each addition, removal or move then calls Update(nullptr); an
// item's own change calls Update(item). Inside BeginUpdate/EndUpdate no Update is made; the
// closing EndUpdate makes one Update(nullptr).
//
// Destruction order: the destructor frees the items without any Notify or Update, since
// the overrides of a derived collection are gone by then. A derived collection that wants
// to hear of its items leaving calls Clear() in its own destructor.
//
// Copy and move are deleted; collections copy through Assign.
class TCollection : public TPersistent {
  QV_CLASS(TCollection, TPersistent)
  // itemClassName is the streamed class name of the items the factory makes.
  TCollection(TCollectionItemFactory itemClass, const char* itemClassName);
  ~TCollection() override;
  TCollection(const TCollection&) = delete;
  TCollection& operator=(const TCollection&) = delete;

  int Count() const { return static_cast<int>(FItems.size()); }
  TCollectionItem* Items(int index) const {  // owned by the collection
    if (static_cast<size_t>(index) >= FItems.size()) IndexError(index);
    return FItems[static_cast<size_t>(index)];
  }
  // Copies value into the item at index through the item's Assign.
  void SetItems(int index, const TCollectionItem* value);

  // A new item of the item class at the end. Notify(cnAdded) sees the finished item; when
  // Notify or Update throws, the item is freed and the collection is as it was.
  TCollectionItem* Add();
  // A new item at index (0..Count()); one Update for the whole insertion.
  TCollectionItem* Insert(int index);
  void Delete(int index);
  // Frees every item, last first, with one Update at the end.
  void Clear();
  // The item with that ID, or null. Linear.
  TCollectionItem* FindItemID(int id) const;

  virtual void BeginUpdate();
  virtual void EndUpdate();  // an unbalanced call does nothing
  int UpdateCount() const { return FUpdateCount; }

  TCollectionItemFactory ItemClass() const { return FItemClass; }
  const std::string& ItemClassName() const { return FItemClassName; }
  // The ID the next item to join gets.
  int NextID() const { return FNextID; }

  // The name of the owner's property that holds this collection ("TokenRules"). Set by the
  // owner; used only for name paths.
  const std::string& PropName() const { return FPropName; }
  void SetPropName(const std::string& value) { FPropName = value; }
  // "<owner's name path>.<PropName>" (the class name stands in for an empty PropName, and
  // the owner's part is left out when it is empty); the class name without owner.
  virtual std::string GetNamePath() const;

  // From another collection: its items are copied into new items of this collection through
  // the items' Assign, within one update bracket (closed on an exception too). Other sources
  // as the base says.
  void Assign(const TPersistent* source) override;

protected:
  // An item changed (item), or the collection as a whole (null). Does nothing here.
  virtual void Update(TCollectionItem* item);
  virtual void Notify(TCollectionItem* item, TCollectionNotification action);
  // Update(nullptr) unless inside an update bracket.
  void Changed();

private:
  friend class TCollectionItem;
  // Appends item, gives it the next ID and announces it (Notify(cnAdded), then Changed).
  void InsertItem(TCollectionItem* item);
  void Announce(TCollectionItem* item);
  // Takes item out of the list after Notify(item, action). True when the caller must
  // report the change (Changed) once the item is gone; false while destroying or for an
  // item that was never announced, which leave silently.
  bool Unlink(TCollectionItem* item, TCollectionNotification action);
  // Takes item out of the list without any notification.
  void Detach(TCollectionItem* item);

  std::vector<TCollectionItem*> FItems;  // owned
  [[noreturn]] static void IndexError(int index);
  TCollectionItemFactory FItemClass;
  std::string FItemClassName;
  std::string FPropName;
  int FUpdateCount = 0;
  int FNextID = 0;
  bool FDestroying = false;
  // Add() announces its item itself once the factory returns; between the two the item
  // joins silently. FAdding is set for the factory call, FPending is the item that joined.
  bool FAdding = false;
  TCollectionItem* FPending = nullptr;
};

// A collection that is a property of owner (not owned), which GetOwner returns.
class TOwnedCollection : public TCollection {
  QV_CLASS(TOwnedCollection, TCollection)
  TOwnedCollection(TPersistent* owner, TCollectionItemFactory itemClass,
                   const char* itemClassName)
      : TCollection(itemClass, itemClassName), FOwner(owner) {}
  TPersistent* GetOwner() const override { return FOwner; }

private:
  TPersistent* FOwner;  // not owned
};

}  // namespace qv
