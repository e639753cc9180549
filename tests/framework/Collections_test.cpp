// Collections: item order and IDs, moves within and between collections, the order of Notify
// and Update around each change, update brackets, Assign and name paths, and freeing items
// from every side.
#include "framework/Collections.h"

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace qv {
namespace {

using testing::ElementsAre;
using testing::IsEmpty;
using testing::StrEq;
using testing::ThrowsMessage;

// An item with a value that copies through Assign. Its destructor can log its ID, and
// SetV reports an item change as a property setter does.
class TValueItem : public TCollectionItem {
  QV_CLASS(TValueItem, TCollectionItem)
  explicit TValueItem(TCollection* collection) : TCollectionItem(collection) {}
  ~TValueItem() override {
    if (Log) Log->push_back("~" + std::to_string(ID()));
  }
  int V = 0;
  std::vector<std::string>* Log = nullptr;

  void SetV(int value) {
    V = value;
    Changed(false);
  }
  void Assign(const TPersistent* source) override {
    if (const auto* other = dynamic_cast<const TValueItem*>(source)) {
      V = other->V;
      return;
    }
    TCollectionItem::Assign(source);
  }
};

// An item TValueItem can't copy from.
class TOtherItem : public TCollectionItem {
  QV_CLASS(TOtherItem, TCollectionItem)
  using TCollectionItem::TCollectionItem;
};

// Its constructor fails after the base part joined the collection.
class TFailingItem : public TCollectionItem {
public:
  explicit TFailingItem(TCollection* collection) : TCollectionItem(collection) {
    throw EConvertError("not built");
  }
};

// Its constructor adds a second item to the collection while it is being added itself.
class TNestingItem : public TCollectionItem {
  QV_CLASS(TNestingItem, TCollectionItem)
  explicit TNestingItem(TCollection* collection) : TCollectionItem(collection) {
    if (collection->Count() == 1) collection->Add();
  }
};

// Logs every Notify as "add|ext|del <ID>@<index>" (index -1: not in the list) and every
// Update as "upd <ID>", or "upd *" for the whole collection. cnAdded also logs the class
// name the item has at that moment ("TCollectionItem" while only the base part exists).
// ThrowOnAdd makes Notify(cnAdded) refuse the item.
class TLogCollection : public TOwnedCollection {
public:
  explicit TLogCollection(TPersistent* owner = nullptr,
                          TCollectionItemFactory itemClass = CreateItemOf<TValueItem>)
      : TOwnedCollection(owner, itemClass, "TValueItem") {}
  std::vector<std::string> Log;
  bool ThrowOnAdd = false;

  TValueItem* Item(int index) const { return static_cast<TValueItem*>(Items(index)); }

protected:
  void Update(TCollectionItem* item) override {
    Log.push_back(item ? "upd " + std::to_string(item->ID()) : "upd *");
  }
  void Notify(TCollectionItem* item, TCollectionNotification action) override {
    static const char* const verbs[] = {"add ", "ext ", "del "};
    std::string entry = verbs[action] + std::to_string(item->ID()) + "@" +
                        std::to_string(item->Index());
    if (action == cnAdded) {
      if (ThrowOnAdd) throw EConvertError("refused");
      entry += std::string(" ") + item->ClassName();
    }
    Log.push_back(entry);
  }
};

// IDs of the items in list order, e.g. "0 2 1".
std::string DumpIDs(const TCollection& c) {
  std::string s;
  for (int i = 0; i < c.Count(); ++i) {
    if (i) s += ' ';
    s += std::to_string(c.Items(i)->ID());
  }
  return s;
}

std::string DumpValues(const TLogCollection& c) {
  std::string s;
  for (int i = 0; i < c.Count(); ++i) {
    if (i) s += ' ';
    s += std::to_string(c.Item(i)->V);
  }
  return s;
}

void ExpectIndexesMatchPositions(const TCollection& c) {
  for (int i = 0; i < c.Count(); ++i) {
    EXPECT_EQ(c.Items(i)->Index(), i);
    EXPECT_EQ(c.Items(i)->Collection(), &c);
  }
}

TEST(TCollection, AddInsertAndDeleteKeepTheOrderAndCheckIndexes) {
  TLogCollection c;
  c.Add();                             // 0
  c.Add();                             // 1
  c.Insert(0);                         // 2, first
  c.Insert(c.Count());                 // 3, last
  TCollectionItem* mid = c.Insert(2);  // 4
  EXPECT_EQ(DumpIDs(c), "2 0 4 1 3");
  EXPECT_EQ(mid->Index(), 2);
  ExpectIndexesMatchPositions(c);
  c.Delete(2);
  c.Delete(0);
  EXPECT_EQ(DumpIDs(c), "0 1 3");
  ExpectIndexesMatchPositions(c);

  // Bounds are half-open for items and closed for insertion points; nothing changes on error.
  EXPECT_THAT([&] { c.Items(3); },
              ThrowsMessage<EListError>(StrEq("List index out of bounds (3)")));
  EXPECT_THAT([&] { c.Items(-1); },
              ThrowsMessage<EListError>(StrEq("List index out of bounds (-1)")));
  EXPECT_THAT([&] { c.Delete(3); },
              ThrowsMessage<EListError>(StrEq("List index out of bounds (3)")));
  EXPECT_THAT([&] { c.Insert(4); },
              ThrowsMessage<EListError>(StrEq("List index out of bounds (4)")));
  EXPECT_THROW(c.Insert(-1), EListError);
  EXPECT_EQ(DumpIDs(c), "0 1 3");
  EXPECT_EQ(c.NextID(), 5);

  c.Clear();
  EXPECT_EQ(c.Count(), 0);
  EXPECT_THROW(c.Items(0), EListError);
  EXPECT_EQ(c.ItemClassName(), "TValueItem");
  EXPECT_EQ(c.Add()->ClassName(), std::string("TValueItem"));
}

TEST(TCollection, IDsAreUniqueAndNeverReused) {
  TLogCollection a, b;
  a.Add();
  a.Add();
  a.Add();
  a.Delete(2);  // the last ID goes, but the counter doesn't step back
  EXPECT_EQ(a.Add()->ID(), 3);
  a.Clear();
  EXPECT_EQ(a.Add()->ID(), 4);
  b.Add();
  // Joining another collection takes that collection's next ID.
  TCollectionItem* moved = a.Items(0);
  moved->SetCollection(&b);
  EXPECT_EQ(moved->ID(), 1);
  EXPECT_EQ(b.FindItemID(1), moved);
  EXPECT_EQ(a.FindItemID(4), nullptr);
  EXPECT_EQ(b.FindItemID(0), b.Items(0));
  b.Delete(0);
  EXPECT_EQ(b.FindItemID(0), nullptr);
}

TEST(TCollectionItem, SetIndexMovesTheItemAndReportsAWholeCollectionChange) {
  struct Case {
    int From, To;
    const char* Order;
  };
  const Case cases[] = {
      {1, 3, "0 2 3 1 4"},  // forwards: the items between step back
      {3, 1, "0 3 1 2 4"},  // backwards
      {0, 4, "1 2 3 4 0"},  // first to last
      {4, 0, "4 0 1 2 3"},  // last to first
      {2, 2, "0 1 2 3 4"},  // to its own place: no change, no Update
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.From) + " -> " + std::to_string(c.To));
    TLogCollection coll;
    for (int i = 0; i < 5; ++i) coll.Add();
    coll.Log.clear();
    coll.Items(c.From)->SetIndex(c.To);
    EXPECT_EQ(DumpIDs(coll), c.Order);
    ExpectIndexesMatchPositions(coll);
    if (c.From != c.To)
      EXPECT_THAT(coll.Log, ElementsAre("upd *"));
    else
      EXPECT_THAT(coll.Log, IsEmpty());
  }

  TLogCollection coll;
  coll.Add();
  coll.Add();
  EXPECT_THAT([&] { coll.Items(0)->SetIndex(2); },
              ThrowsMessage<EListError>(StrEq("List index out of bounds (2)")));
  EXPECT_THROW(coll.Items(0)->SetIndex(-1), EListError);
  EXPECT_EQ(DumpIDs(coll), "0 1");
  TValueItem loose(nullptr);
  loose.SetIndex(3);  // nothing to move within
  EXPECT_EQ(loose.Index(), -1);
}

TEST(TCollectionItem, SetCollectionMovesBetweenCollectionsAndOutOfAny) {
  TLogCollection a, b;
  a.Add();
  auto* item = static_cast<TValueItem*>(a.Add());
  a.Add();
  b.Add();
  a.Log.clear();
  b.Log.clear();
  item->SetCollection(&b);
  EXPECT_EQ(DumpIDs(a), "0 2");
  EXPECT_EQ(item->Collection(), &b);
  EXPECT_EQ(item->Index(), 1);
  EXPECT_EQ(item->GetOwner(), &b);
  EXPECT_THAT(a.Log, ElementsAre("ext 1@1", "upd *"));
  EXPECT_THAT(b.Log, ElementsAre("add 1@1 TValueItem", "upd *"));
  item->SetCollection(&b);  // already there: nothing happens
  EXPECT_THAT(b.Log, ElementsAre("add 1@1 TValueItem", "upd *"));

  // Out of any collection the item belongs to the caller; joining again hands it back.
  b.Log.clear();
  std::unique_ptr<TCollectionItem> loose(b.Items(1));
  loose->SetCollection(nullptr);
  EXPECT_THAT(b.Log, ElementsAre("ext 1@1", "upd *"));
  EXPECT_EQ(b.Count(), 1);
  EXPECT_EQ(loose->Collection(), nullptr);
  EXPECT_EQ(loose->Index(), -1);
  EXPECT_EQ(loose->GetOwner(), nullptr);
  loose.release()->SetCollection(&a);
  EXPECT_EQ(DumpIDs(a), "0 2 3");
}

TEST(TCollection, NotifyComesAfterJoiningAndBeforeLeavingThenUpdate) {
  std::vector<std::string> freed;
  TLogCollection c;
  c.Add();
  c.Add();
  // Add announces the finished item, not just its base part.
  EXPECT_THAT(c.Log, ElementsAre("add 0@0 TValueItem", "upd *", "add 1@1 TValueItem", "upd *"));
  c.Log.clear();
  c.Insert(1);  // added at the end, then moved: one Update for the whole insertion
  EXPECT_THAT(c.Log, ElementsAre("add 2@2 TValueItem", "upd *"));
  c.Log.clear();
  c.Item(0)->Log = &freed;
  c.Delete(0);  // announced while still in the list, freed before the Update
  EXPECT_THAT(c.Log, ElementsAre("del 0@0", "upd *"));
  EXPECT_THAT(freed, ElementsAre("~0"));
  c.Log.clear();
  c.Clear();  // last first, one Update at the end
  EXPECT_THAT(c.Log, ElementsAre("del 1@1", "del 2@0", "upd *"));
  c.Log.clear();
  c.Clear();  // nothing to clear, nothing to report
  EXPECT_THAT(c.Log, IsEmpty());
}

TEST(TCollectionItem, DeletingAnItemDirectlyLeavesItsCollection) {
  TLogCollection c;
  for (int i = 0; i < 3; ++i) c.Add();
  c.Log.clear();
  delete c.Items(1);
  EXPECT_EQ(DumpIDs(c), "0 2");
  ExpectIndexesMatchPositions(c);
  EXPECT_THAT(c.Log, ElementsAre("del 1@1", "upd *"));
}

TEST(TCollection, UpdateBracketHoldsBackUpdatesUntilTheOutermostEnd) {
  TLogCollection c;
  c.Add();
  c.Add();
  c.Log.clear();
  c.Item(1)->SetV(3);  // an item's own change names the item
  c.Item(0)->SetDisplayName("x");
  EXPECT_THAT(c.Log, ElementsAre("upd 1", "upd 0"));

  c.Log.clear();
  c.BeginUpdate();
  c.BeginUpdate();
  c.Add();
  c.Item(0)->SetV(4);
  c.Items(2)->SetIndex(0);
  c.Delete(1);
  c.EndUpdate();
  EXPECT_EQ(c.UpdateCount(), 1);
  // Notify still reports each addition and removal; only Update waits.
  EXPECT_THAT(c.Log, ElementsAre("add 2@2 TValueItem", "del 0@1"));
  c.EndUpdate();
  EXPECT_THAT(c.Log, ElementsAre("add 2@2 TValueItem", "del 0@1", "upd *"));

  c.Log.clear();
  c.EndUpdate();  // unbalanced: must not go negative and mute later updates
  EXPECT_EQ(c.UpdateCount(), 0);
  c.Item(0)->SetV(5);
  EXPECT_THAT(c.Log, ElementsAre("upd 2"));
}

TEST(TCollection, AssignCopiesItemsThroughTheirAssignInOneUpdate) {
  TLogCollection src, dst;
  for (int v : {1, 2, 3}) static_cast<TValueItem*>(src.Add())->V = v;
  for (int i = 0; i < 4; ++i) dst.Add();
  dst.Log.clear();
  dst.Assign(&src);
  EXPECT_EQ(DumpValues(dst), "1 2 3");
  EXPECT_EQ(DumpIDs(dst), "4 5 6");  // new items, new IDs
  EXPECT_EQ(std::count(dst.Log.begin(), dst.Log.end(), "upd *"), 1);
  EXPECT_EQ(dst.Log.back(), "upd *");
  EXPECT_EQ(dst.UpdateCount(), 0);

  dst.Assign(&dst);  // assigning itself keeps its items
  EXPECT_EQ(DumpValues(dst), "1 2 3");
  src.Clear();
  dst.Assign(&src);
  EXPECT_EQ(dst.Count(), 0);

  TComponent component(nullptr);
  EXPECT_THAT([&] { dst.Assign(&component); },
              ThrowsMessage<EConvertError>(
                  StrEq("Cannot assign a TComponent to a TOwnedCollection")));
  TValueItem value(nullptr);
  value.V = 9;
  src.Add();
  src.SetItems(0, &value);
  EXPECT_EQ(src.Item(0)->V, 9);
}

TEST(TCollection, AssignClosesTheUpdateBracketWhenAnItemRefusesToCopy) {
  TLogCollection src, dst;
  src.Add();
  new TOtherItem(&src);
  src.Add();
  dst.Add();
  dst.Log.clear();
  EXPECT_THAT([&] { dst.Assign(&src); },
              ThrowsMessage<EConvertError>(StrEq("Cannot assign a TOtherItem to a TValueItem")));
  EXPECT_EQ(dst.UpdateCount(), 0);
  EXPECT_EQ(dst.Log.back(), "upd *");
  EXPECT_EQ(dst.Count(), 2);  // what was copied so far, and the item that refused
  dst.Log.clear();
  dst.Item(0)->SetV(1);  // updates flow again
  EXPECT_THAT(dst.Log, ElementsAre("upd 1"));
}

TEST(TCollection, NamePathsFollowTheOwnerAndThePropertyName) {
  TValueItem loose(nullptr);
  EXPECT_EQ(loose.GetNamePath(), "TValueItem");
  EXPECT_EQ(loose.DisplayName(), "TValueItem");

  TLogCollection ownerless;
  ownerless.Add();
  EXPECT_EQ(ownerless.Items(0)->GetNamePath(), "TOwnedCollection[0]");

  TComponent lexer(nullptr);
  lexer.SetName("Lexer");
  TLogCollection rules(&lexer);
  rules.Add();
  rules.Add();
  EXPECT_EQ(rules.Items(1)->GetNamePath(), "Lexer.TOwnedCollection[1]");
  rules.SetPropName("BlockRules");
  EXPECT_EQ(rules.GetNamePath(), "Lexer.BlockRules");
  EXPECT_EQ(rules.Items(1)->GetNamePath(), "Lexer.BlockRules[1]");
  rules.Items(1)->SetIndex(0);  // the path follows the index
  EXPECT_EQ(rules.Items(0)->GetNamePath(), "Lexer.BlockRules[0]");

  // A collection owned by an item of another collection.
  TLogCollection conditions(rules.Items(1));
  conditions.SetPropName("Conditions");
  conditions.Add();
  EXPECT_EQ(conditions.Items(0)->GetNamePath(), "Lexer.BlockRules[1].Conditions[0]");

  lexer.SetName("");  // an unnamed owner adds nothing
  EXPECT_EQ(rules.Items(0)->GetNamePath(), "BlockRules[0]");
}

// Class chain as the stream reader sees it, e.g. "TValueItem TCollectionItem TPersistent TObject".
std::string DumpClassChain(const TObject& obj) {
  std::string s;
  for (const TClassInfo* info = &obj.ClassType(); info; info = info->Parent())
    s += std::string(s.empty() ? "" : " ") + info->Name();
  return s;
}

TEST(TCollection, ClassMetadataNamesEveryLevel) {
  TLogCollection c;
  EXPECT_EQ(DumpClassChain(c), "TOwnedCollection TCollection TPersistent TObject");
  EXPECT_EQ(DumpClassChain(*c.Add()), "TValueItem TCollectionItem TPersistent TObject");
}

TEST(TCollection, DestroyingFreesEveryItemLastFirst) {
  std::vector<std::string> freed;
  auto c = std::make_unique<TLogCollection>();
  for (int i = 0; i < 3; ++i) static_cast<TValueItem*>(c->Add())->Log = &freed;
  c->Items(0)->SetIndex(2);
  c->BeginUpdate();  // an open bracket holds nothing back
  c.reset();
  EXPECT_THAT(freed, ElementsAre("~0", "~2", "~1"));
}

// The documented way for a derived collection to hear of its items leaving on destruction.
class TClearingCollection : public TLogCollection {
public:
  explicit TClearingCollection(std::vector<std::string>* out) : FOut(out) {}
  ~TClearingCollection() override {
    Clear();
    *FOut = Log;
  }

private:
  std::vector<std::string>* FOut;
};

TEST(TCollection, ADerivedCollectionClearingInItsDestructorSeesItsItemsLeave) {
  std::vector<std::string> log;
  {
    TClearingCollection c(&log);
    c.Add();
    c.Add();
    c.Log.clear();
  }
  EXPECT_THAT(log, ElementsAre("del 1@1", "del 0@0", "upd *"));
}

TEST(TCollection, AnItemConstructorMayAddAnotherItem) {
  TLogCollection c(nullptr, CreateItemOf<TNestingItem>);
  TCollectionItem* outer = c.Add();
  EXPECT_EQ(outer->ID(), 0);
  EXPECT_EQ(DumpIDs(c), "0 1");
  // Each is announced once it is finished, the inner one first.
  EXPECT_THAT(c.Log, ElementsAre("add 1@1 TNestingItem", "upd *", "add 0@0 TNestingItem", "upd *"));
}

// Frees a sibling from its destructor, as an item that owns a partner item would.
class TPairItem : public TCollectionItem {
public:
  using TCollectionItem::TCollectionItem;
  TCollectionItem* Partner = nullptr;
  ~TPairItem() override { delete Partner; }
};

TEST(TCollection, AnItemMayFreeASiblingWhileTheCollectionIsDestroyed) {
  auto c = std::make_unique<TCollection>(CreateItemOf<TPairItem>, "TPairItem");
  TCollectionItem* first = c->Add();
  auto* last = static_cast<TPairItem*>(c->Add());
  c->Add();
  last->Partner = first;  // freed while still in the list; LeakSanitizer checks the rest
  c.reset();

  TCollection d(CreateItemOf<TPairItem>, "TPairItem");
  auto* owner = static_cast<TPairItem*>(d.Add());
  owner->Partner = d.Add();
  d.Add();
  d.Delete(0);  // outside destruction the partner leaves with the usual removal
  EXPECT_EQ(DumpIDs(d), "2");
}

TEST(TCollection, AFailedAdditionLeavesNothingBehind) {
  TLogCollection c;
  c.Add();
  c.ThrowOnAdd = true;
  c.Log.clear();
  // Through Add: the finished item is taken out again and freed.
  EXPECT_THAT([&] { c.Add(); }, ThrowsMessage<EConvertError>(StrEq("refused")));
  // Built directly: the base constructor takes it out before the exception leaves it.
  EXPECT_THROW(new TValueItem(&c), EConvertError);
  EXPECT_EQ(DumpIDs(c), "0");
  EXPECT_THAT(c.Log, IsEmpty());

  // An item constructor that fails after joining: the base destructor takes it out, and
  // Add never announced it. Items built afterwards are announced as usual.
  TLogCollection failing(nullptr, CreateItemOf<TFailingItem>);
  EXPECT_THAT([&] { failing.Add(); }, ThrowsMessage<EConvertError>(StrEq("not built")));
  EXPECT_EQ(failing.Count(), 0);
  EXPECT_THAT(failing.Log, IsEmpty());
  // Built directly, an item is announced from its base constructor.
  new TValueItem(&failing);
  EXPECT_THAT(failing.Log, ElementsAre("add 1@0 TCollectionItem", "upd *"));
}

}  // namespace
}  // namespace qv
