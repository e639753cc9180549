// Test-only streamable classes that between them hold every kind of published value: the
// streaming tests write, read and compare them. TProbeRoot, TProbeItem, TProbeLook and
// TLeaf match the property names of the format examples in tests/golden/streaming.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "framework/Classes.h"
#include "framework/Collections.h"
#include "framework/Filer.h"
#include "framework/TypInfo.h"

namespace qv::test {

enum TProbeKind : uint8_t { kdAlpha, kdBeta, kdGamma, kdDelta };
using TProbeKinds = TSet<TProbeKind>;
inline const TEnumInfo ProbeKindInfo("TProbeKind", {"kdAlpha", "kdBeta", "kdGamma", "kdDelta"});

// Integer constants with names, as colours have them.
inline const TIdentMap ProbeShadeIdents{
    {0, "shBlack"}, {0xFF, "shRed"}, {-16, "shSystemText"}, {0x1FFFFFFF, "shNone"}};

class TProbeInner : public TPersistent {
  QV_CLASS(TProbeInner, TPersistent)
  static void DeclareClass(TClassDecl& c) {
    c.Integer("Depth", &TProbeInner::Depth, &TProbeInner::SetDepth).Default(0);
    c.Set("Kinds", ProbeKindInfo, &TProbeInner::Kinds, &TProbeInner::SetKinds)
        .Default(TProbeKinds());
  }
  int Depth() const { return FDepth; }
  void SetDepth(int v) { FDepth = v; }
  TProbeKinds Kinds() const { return FKinds; }
  void SetKinds(TProbeKinds v) { FKinds = v; }
  void Assign(const TPersistent* source) override {
    if (auto* s = dynamic_cast<const TProbeInner*>(source)) return AssignPublished(*this, *s);
    TPersistent::Assign(source);
  }

private:
  int FDepth = 0;
  TProbeKinds FKinds;
};

class TProbeLook : public TPersistent {
  QV_CLASS(TProbeLook, TPersistent)
  static void DeclareClass(TClassDecl& c) {
    c.String("Name", &TProbeLook::Name, &TProbeLook::SetName);
    c.Integer("Shade", &TProbeLook::Shade, &TProbeLook::SetShade)
        .Default(0)
        .NamedValues(ProbeShadeIdents);
    c.Object("Inner", &TProbeLook::Inner);
  }
  const std::string& Name() const { return FName; }
  void SetName(const std::string& v) { FName = v; }
  int Shade() const { return FShade; }
  void SetShade(int v) { FShade = v; }
  TProbeInner* Inner() const { return FInner.get(); }
  void Assign(const TPersistent* source) override {
    if (auto* s = dynamic_cast<const TProbeLook*>(source)) return AssignPublished(*this, *s);
    TPersistent::Assign(source);
  }

private:
  std::string FName;
  int FShade = 0;
  std::unique_ptr<TProbeInner> FInner = std::make_unique<TProbeInner>();
};

class TProbeItem : public TCollectionItem {
  QV_CLASS(TProbeItem, TCollectionItem)
  static void DeclareClass(TClassDecl& c) {
    c.String("Caption", &TProbeItem::Caption, &TProbeItem::SetCaption);
    c.Boolean("Enabled", &TProbeItem::Enabled, &TProbeItem::SetEnabled).Default(true);
    c.Integer("Value", &TProbeItem::Value, &TProbeItem::SetValue).Default(0);
    c.Object("Look", &TProbeItem::Look);
    c.Component("Link", &TProbeItem::Link, &TProbeItem::SetLink);
  }
  explicit TProbeItem(TCollection* collection) : TCollectionItem(collection) {}
  const std::string& Caption() const { return FCaption; }
  void SetCaption(const std::string& v) { FCaption = v; }
  bool Enabled() const { return FEnabled; }
  void SetEnabled(bool v) { FEnabled = v; }
  int Value() const { return FValue; }
  void SetValue(int v) { FValue = v; }
  TProbeLook* Look() const { return FLook.get(); }
  TComponent* Link() const { return FLink; }
  void SetLink(TComponent* v) { FLink = v; }
  void Assign(const TPersistent* source) override {
    if (auto* s = dynamic_cast<const TProbeItem*>(source)) return AssignPublished(*this, *s);
    TCollectionItem::Assign(source);
  }

private:
  std::string FCaption;
  bool FEnabled = true;
  int FValue = 0;
  std::unique_ptr<TProbeLook> FLook = std::make_unique<TProbeLook>();
  TComponent* FLink = nullptr;  // not owned
};

// Streams binary data as the defined property "Blob".
class TProbeBlobHolder : public TComponent {
  QV_CLASS(TProbeBlobHolder, TComponent)
  explicit TProbeBlobHolder(TComponent* owner) : TComponent(owner) {}
  std::string Blob;
  void DefineProperties(TFiler& filer) override {
    TComponent::DefineProperties(filer);
    filer.DefineProperty(
        "Blob", [this](TReader& r) { Blob = r.ReadBinary(); },
        [this](TWriter& w) { w.WriteBinary(Blob); }, !Blob.empty());
  }
};

using TPingEvent = std::function<void(TObject* sender, int& count)>;

// The root of the tests: every value kind, children written like a data module's (every
// owned component), and two published methods for events.
class TProbeRoot : public TProbeBlobHolder {
  QV_CLASS(TProbeRoot, TProbeBlobHolder)
  static void DeclareClass(TClassDecl& c) {
    c.Integer("Count", &TProbeRoot::Count, &TProbeRoot::SetCount).Default(0);
    c.Cardinal("Card", &TProbeRoot::Card, &TProbeRoot::SetCard).Default(0u);
    c.Int64("Big", &TProbeRoot::Big, &TProbeRoot::SetBig).Default(0);
    c.Boolean("Flag", &TProbeRoot::Flag, &TProbeRoot::SetFlag).Default(false);
    c.Enumeration("Kind", ProbeKindInfo, &TProbeRoot::Kind, &TProbeRoot::SetKind).Default(kdAlpha);
    c.Set("Kinds", ProbeKindInfo, &TProbeRoot::Kinds, &TProbeRoot::SetKinds)
        .Default(TProbeKinds());
    c.Integer("Shade", &TProbeRoot::Shade, &TProbeRoot::SetShade)
        .Default(0)
        .NamedValues(ProbeShadeIdents);
    c.String("S1", &TProbeRoot::S1, &TProbeRoot::SetS1);
    c.WideString("W", &TProbeRoot::W, &TProbeRoot::SetW);
    c.Strings("Lines", &TProbeRoot::Lines, &TProbeRoot::SetLines);
    c.Object("Look", &TProbeRoot::Look);
    c.Collection("Items", &TProbeRoot::Items);
    c.Collection("EmptyItems", &TProbeRoot::EmptyItems);
    c.Component("Link", &TProbeRoot::Link, &TProbeRoot::SetLink);
    c.Event("OnPing", &TProbeRoot::OnPing);
    c.Event("OnChange", &TProbeRoot::OnChange);
    c.Method("HandlePing", &TProbeRoot::HandlePing);
    c.Method("HandleOther", &TProbeRoot::HandleOther);
    c.Method("HandleNotify", &TProbeRoot::HandleNotify);
  }
  explicit TProbeRoot(TComponent* owner) : TProbeBlobHolder(owner) {}
  ~TProbeRoot() override { DestroyComponents(); }

  int Count() const { return FCount; }
  void SetCount(int v) { FCount = v; }
  uint32_t Card() const { return FCard; }
  void SetCard(uint32_t v) { FCard = v; }
  int64_t Big() const { return FBig; }
  void SetBig(int64_t v) { FBig = v; }
  bool Flag() const { return FFlag; }
  void SetFlag(bool v) { FFlag = v; }
  TProbeKind Kind() const { return FKind; }
  void SetKind(TProbeKind v) { FKind = v; }
  TProbeKinds Kinds() const { return FKinds; }
  void SetKinds(TProbeKinds v) { FKinds = v; }
  int Shade() const { return FShade; }
  void SetShade(int v) { FShade = v; }
  const std::string& S1() const { return FS1; }
  void SetS1(const std::string& v) { FS1 = v; }
  const std::u16string& W() const { return FW; }
  void SetW(const std::u16string& v) { FW = v; }
  TStringList* Lines() const { return FLines.get(); }
  void SetLines(TStrings* v) { FLines->Assign(v); }
  TProbeLook* Look() const { return FLook.get(); }
  TOwnedCollection* Items() const { return FItems.get(); }
  TOwnedCollection* EmptyItems() const { return FEmptyItems.get(); }
  TComponent* Link() const { return FLink; }
  void SetLink(TComponent* v) { FLink = v; }

  TPingEvent OnPing;
  TNotifyEvent OnChange;
  int Pings = 0;
  void HandlePing(TObject*, int& count) { count += ++Pings; }
  void HandleOther(TObject*, int& count) { count -= 100; }
  void HandleNotify(TObject*) { ++Pings; }

  // Every owned component is a child in the stream.
  void GetChildren(const TGetChildProc& proc, TComponent*) override {
    for (int i = 0; i < ComponentCount(); ++i) proc(Components(i));
  }

  void Loaded() override {
    TProbeBlobHolder::Loaded();
    ++LoadedCalls;
  }
  int LoadedCalls = 0;

private:
  int FCount = 0;
  uint32_t FCard = 0;
  int64_t FBig = 0;
  bool FFlag = false;
  TProbeKind FKind = kdAlpha;
  TProbeKinds FKinds;
  int FShade = 0;
  std::string FS1;
  std::u16string FW;
  std::unique_ptr<TStringList> FLines = std::make_unique<TStringList>();
  std::unique_ptr<TProbeLook> FLook = std::make_unique<TProbeLook>();
  std::unique_ptr<TOwnedCollection> FItems =
      std::make_unique<TOwnedCollection>(this, CreateItemOf<TProbeItem>, "TProbeItem");
  std::unique_ptr<TOwnedCollection> FEmptyItems =
      std::make_unique<TOwnedCollection>(this, CreateItemOf<TProbeItem>, "TProbeItem");
  TComponent* FLink = nullptr;  // not owned
};

// A child component of a root.
class TLeaf : public TComponent {
  QV_CLASS(TLeaf, TComponent)
  static void DeclareClass(TClassDecl& c) {
    c.Integer("Count", &TLeaf::Count, &TLeaf::SetCount).Default(0);
    c.String("Note", &TLeaf::Note, &TLeaf::SetNote);
    c.Component("Link", &TLeaf::Link, &TLeaf::SetLink);
    c.Event("OnChange", &TLeaf::OnChange);
  }
  explicit TLeaf(TComponent* owner) : TComponent(owner) {}
  int Count() const { return FCount; }
  void SetCount(int v) { FCount = v; }
  const std::string& Note() const { return FNote; }
  void SetNote(const std::string& v) { FNote = v; }
  TComponent* Link() const { return FLink; }
  void SetLink(TComponent* v) { FLink = v; }
  TNotifyEvent OnChange;
  void Notification(TComponent* component, TOperation operation) override {
    TComponent::Notification(component, operation);
    if (operation == opRemove && component == FLink) FLink = nullptr;
  }

private:
  int FCount = 0;
  std::string FNote;
  TComponent* FLink = nullptr;  // not owned
};

// A node of a tree of collections: items that hold collections of themselves.
class TProbeNode : public TCollectionItem {
  QV_CLASS(TProbeNode, TCollectionItem)
  static void DeclareClass(TClassDecl& c) {
    c.Integer("Value", &TProbeNode::Value, &TProbeNode::SetValue).Default(0);
    c.Collection("Sub", &TProbeNode::Sub);
  }
  explicit TProbeNode(TCollection* collection) : TCollectionItem(collection) {}
  int Value() const { return FValue; }
  void SetValue(int v) { FValue = v; }
  TOwnedCollection* Sub() const { return FSub.get(); }

private:
  int FValue = 0;
  std::unique_ptr<TOwnedCollection> FSub =
      std::make_unique<TOwnedCollection>(this, CreateItemOf<TProbeNode>, "TProbeNode");
};

// Properties declared without defaults are always written; a collection always.
class TProbeAlways : public TComponent {
  QV_CLASS(TProbeAlways, TComponent)
  static void DeclareClass(TClassDecl& c) {
    c.Integer("Zero", &TProbeAlways::Zero, &TProbeAlways::SetZero);
    c.Set("NoKinds", ProbeKindInfo, &TProbeAlways::NoKinds, &TProbeAlways::SetNoKinds);
    c.Boolean("Off", &TProbeAlways::Off, &TProbeAlways::SetOff);
    c.Integer("Hidden", &TProbeAlways::Zero, &TProbeAlways::SetZero)
        .Stored(&TProbeAlways::HiddenStored);
    c.Integer("ReadOnly", &TProbeAlways::Zero, nullptr);
    c.Collection("Nodes", &TProbeAlways::Nodes);
  }
  explicit TProbeAlways(TComponent* owner) : TComponent(owner) {}
  int Zero() const { return FZero; }
  void SetZero(int v) { FZero = v; }
  TProbeKinds NoKinds() const { return FNoKinds; }
  void SetNoKinds(TProbeKinds v) { FNoKinds = v; }
  bool Off() const { return FOff; }
  void SetOff(bool v) { FOff = v; }
  bool HiddenStored() const { return FZero > 100; }
  TOwnedCollection* Nodes() const { return FNodes.get(); }

private:
  int FZero = 0;
  TProbeKinds FNoKinds;
  bool FOff = false;
  std::unique_ptr<TOwnedCollection> FNodes =
      std::make_unique<TOwnedCollection>(this, CreateItemOf<TProbeNode>, "TProbeNode");
};

// Registers the component classes above with the class registry (once).
inline void RegisterProbeClasses() {
  RegisterClass("TProbeRoot", CreateComponentOf<TProbeRoot>);
  RegisterClass("TLeaf", CreateComponentOf<TLeaf>);
  RegisterClass("TProbeAlways", CreateComponentOf<TProbeAlways>);
  RegisterClass("TProbeBlobHolder", CreateComponentOf<TProbeBlobHolder>);
}

}  // namespace qv::test
