// The component model: ownership, names, notifications in their order, free-notification
// links, Assign errors and the class registry.
#include "framework/Classes.h"

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace qv {
namespace {

using testing::ElementsAre;
using testing::StrEq;
using testing::ThrowsMessage;

// Records every notification it receives as "<op><name>" and its own destruction.
class TProbe : public TComponent {
public:
  // Named before it joins the owner, so the insertion is logged with the name.
  TProbe(TComponent* owner, std::string name, std::vector<std::string>* log)
      : TComponent(nullptr), FLog(log) {
    SetName(name);
    if (owner) owner->InsertComponent(this);
  }
  ~TProbe() override {
    if (FLog) FLog->push_back("~" + Name());
  }
  const char* ClassName() const override { return "TProbe"; }
  void Notification(TComponent* component, TOperation operation) override {
    TComponent::Notification(component, operation);
    if (FLog && component)
      FLog->push_back(Name() + (operation == opInsert ? ":+" : ":-") + component->Name());
  }

private:
  std::vector<std::string>* FLog;
};

TEST(TComponent, OwnerFreesOwnedComponentsLastFirstAndTellsTheRest) {
  std::vector<std::string> log;
  auto root = std::make_unique<TProbe>(nullptr, "Root", &log);
  new TProbe(root.get(), "A", &log);
  auto* b = new TProbe(root.get(), "B", &log);
  new TProbe(b, "B1", &log);
  // Every owned component hears of an insertion, the new one included, before the owner.
  EXPECT_THAT(log, ElementsAre("A:+A", "Root:+A", "A:+B", "B:+B", "Root:+B", "B1:+B1", "B:+B1"));
  log.clear();
  root.reset();
  // B goes first (last created), then its own child, then A. Each leaves its owner's list
  // before it is freed, so nobody is told about a component that is half destroyed.
  EXPECT_THAT(log, ElementsAre("~Root", "~B", "~B1", "~A"));
}

TEST(TComponent, DeletingAnOwnedComponentLeavesTheOwner) {
  std::vector<std::string> log;
  TProbe root(nullptr, "Root", &log);
  auto* a = new TProbe(&root, "A", &log);
  auto* b = new TProbe(&root, "B", &log);
  log.clear();
  delete a;
  EXPECT_EQ(root.ComponentCount(), 1);
  EXPECT_EQ(root.Components(0), b);
  EXPECT_EQ(b->ComponentIndex(), 0);
  // The owner passes the removal on to its components before reacting itself.
  EXPECT_THAT(log, ElementsAre("~A", "B:-A", "Root:-A"));
  EXPECT_THAT([&] { root.Components(1); },
              ThrowsMessage<EListError>(StrEq("List index out of bounds (1)")));
}

TEST(TComponent, NamesAreIdentifiersUniqueWithinTheOwnerIgnoringCase) {
  TComponent root(nullptr);
  auto* a = new TComponent(&root);
  a->SetName("Alpha");
  auto* b = new TComponent(&root);
  EXPECT_THAT([&] { b->SetName("ALPHA"); },
              ThrowsMessage<EComponentError>(StrEq("A component named ALPHA already exists")));
  EXPECT_EQ(b->Name(), "");
  EXPECT_THAT([&] { b->SetName("1x"); },
              ThrowsMessage<EComponentError>(StrEq("'1x' is not a valid component name")));
  EXPECT_THROW(b->SetName("a-b"), EComponentError);
  b->SetName("_beta2");
  a->SetName("alpha");  // renaming to a case variant of its own name is fine
  EXPECT_EQ(root.FindComponent("BETA2"), nullptr);
  EXPECT_EQ(root.FindComponent("_BETA2"), b);
  EXPECT_EQ(root.FindComponent("ALPHA"), a);
  EXPECT_EQ(root.FindComponent(""), nullptr);
  b->SetName("");  // unnamed components are allowed, any number of them
  a->SetName("");
}

TEST(TComponent, FreeNotificationLinksWorkBothWaysAndCanBeRemoved) {
  std::vector<std::string> log;
  auto x = std::make_unique<TProbe>(nullptr, "X", &log);
  auto y = std::make_unique<TProbe>(nullptr, "Y", &log);
  auto z = std::make_unique<TProbe>(nullptr, "Z", &log);
  x->FreeNotification(y.get());
  x->FreeNotification(y.get());  // a second link is not added
  x->FreeNotification(z.get());
  EXPECT_TRUE(x->ComponentState().Contains(csFreeNotification));
  z->RemoveFreeNotification(x.get());  // removes the link in both directions
  y.reset();
  EXPECT_THAT(log, ElementsAre("~Y", "X:-Y"));
  log.clear();
  x.reset();  // Y is gone and Z unlinked: nobody to tell
  EXPECT_THAT(log, ElementsAre("~X"));
}

TEST(TComponent, SiblingsNeedNoLinkTheOwnerTellsThem) {
  std::vector<std::string> log;
  TProbe root(nullptr, "Root", &log);
  auto* a = new TProbe(&root, "A", &log);
  auto* b = new TProbe(&root, "B", &log);
  a->FreeNotification(b);
  // No link, but both are marked: whichever the owner frees first leaves with a notice.
  EXPECT_TRUE(b->ComponentState().Contains(csFreeNotification));
  log.clear();
  delete b;
  EXPECT_THAT(log, ElementsAre("~B", "A:-B", "Root:-B"));
}

TEST(TComponent, AnOwnerFreeingItsComponentsTellsThoseThatAskedToKnow) {
  std::vector<std::string> log;
  auto root = std::make_unique<TProbe>(nullptr, "Root", &log);
  auto* a = new TProbe(root.get(), "A", &log);
  auto* b = new TProbe(root.get(), "B", &log);
  new TProbe(root.get(), "Quiet", &log);  // freed first, without a notice
  b->FreeNotification(a);
  log.clear();
  root->DestroyComponents();
  EXPECT_THAT(log, testing::Contains("A:-B"));  // B goes first; A, still there, is told
  EXPECT_THAT(log, testing::Not(testing::Contains("A:-Quiet")));
  EXPECT_EQ(std::count(log.begin(), log.end(), "~Quiet"), 1);
  EXPECT_EQ(root->ComponentCount(), 0);
}

TEST(TComponent, InsertingMovesFromTheOldOwnerAndDestroyingMarksTheTree) {
  TComponent first(nullptr), second(nullptr);
  auto* c = new TComponent(&first);
  auto* d = new TComponent(c);
  second.InsertComponent(c);
  EXPECT_EQ(first.ComponentCount(), 0);
  EXPECT_EQ(c->Owner(), &second);
  second.IncludeState(csDesigning);
  auto* e = new TComponent(&second);
  EXPECT_TRUE(e->ComponentState().Contains(csDesigning));
  second.Destroying();
  EXPECT_TRUE(d->ComponentState().Contains(csDestroying));
}

class TValue : public TPersistent {
public:
  const char* ClassName() const override { return "TValue"; }
  int V = 0;
  void Assign(const TPersistent* source) override {
    if (auto* v = dynamic_cast<const TValue*>(source)) {
      V = v->V;
      return;
    }
    TPersistent::Assign(source);
  }
};

TEST(TPersistent, AssignFromUnknownOrNullSourceNamesBothClasses) {
  TValue a, b;
  b.V = 4;
  a.Assign(&b);
  EXPECT_EQ(a.V, 4);
  TComponent other(nullptr);
  EXPECT_THAT([&] { a.Assign(&other); },
              ThrowsMessage<EConvertError>(StrEq("Cannot assign a TComponent to a TValue")));
  EXPECT_THAT([&] { a.Assign(nullptr); },
              ThrowsMessage<EConvertError>(StrEq("Cannot assign a nil to a TValue")));
}

TComponent* MakeProbeA(TComponent* owner) { return new TComponent(owner); }
TComponent* MakeProbeB(TComponent* owner) { return new TComponent(owner); }

TEST(ClassRegistry, RegistersOnceByNameAndCreatesByName) {
  RegisterClass("TRegistryProbe", MakeProbeA);
  RegisterClass("TREGISTRYPROBE", MakeProbeA);  // same class again: nothing happens
  EXPECT_THAT([] { RegisterClass("tregistryprobe", MakeProbeB); },
              ThrowsMessage<EFilerError>(StrEq("A class named tregistryprobe already exists")));
  TComponent owner(nullptr);
  TComponent* made = FindClass("TRegistryProbe")(&owner);
  EXPECT_EQ(made->Owner(), &owner);
  EXPECT_EQ(GetClass("tregistryprobe"), MakeProbeA);
  UnRegisterClass("TRegistryProbe");
  EXPECT_EQ(GetClass("TRegistryProbe"), nullptr);
  EXPECT_THAT([] { FindClass("TRegistryProbe"); },
              ThrowsMessage<EClassNotFound>(StrEq("Class TRegistryProbe not found")));
}

TEST(TSet, HoldsEnumerationValuesAsBits) {
  TComponentState s{csLoading, csReading};
  EXPECT_EQ(s.Mask(), 3u);
  s.Exclude(csLoading).Include(csDestroying);
  EXPECT_TRUE(s.Contains(csDestroying));
  EXPECT_FALSE(s.Contains(csLoading));
  EXPECT_EQ((s - TComponentState{csReading}), TComponentState{csDestroying});
  EXPECT_TRUE((s * TComponentState{csWriting}).Empty());
}

}  // namespace
}  // namespace qv
