// TPersistent, TComponent with its owner model and free notification, and the class registry.
#include "framework/Classes.h"

#include "framework/Filer.h"

#include <algorithm>
#include <map>
#include <mutex>

namespace qv {

// --- TPersistent ----------------------------------------------------------------------------

void TPersistent::Assign(const TPersistent* source) {
  if (source) {
    source->AssignTo(this);
    return;
  }
  AssignError(nullptr);
}

void TPersistent::DefineProperties(TFiler&) {}

void TPersistent::AssignTo(TPersistent* dest) const { dest->AssignError(this); }

void TPersistent::AssignError(const TPersistent* source) const {
  throw EConvertError(Format(SAssignError, source ? source->ClassName() : "nil", ClassName()));
}

bool IsValidIdent(std::string_view ident) {
  auto letter = [](char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_'; };
  if (ident.empty() || !letter(ident[0])) return false;
  return std::all_of(ident.begin() + 1, ident.end(),
                     [&](char c) { return letter(c) || (c >= '0' && c <= '9'); });
}

// --- TComponent -----------------------------------------------------------------------------

TComponent::TComponent(TComponent* owner) {
  if (owner) owner->InsertComponent(this);
}

TComponent::~TComponent() {
  Destroying();
  // Tell every linked component; each answer may remove links, so walk from the end and
  // re-check the size on every step.
  while (!FFreeNotifies.empty()) {
    TComponent* other = FFreeNotifies.back();
    FFreeNotifies.pop_back();
    auto& back = other->FFreeNotifies;
    back.erase(std::remove(back.begin(), back.end(), this), back.end());
    other->Notification(this, opRemove);
  }
  DestroyComponents();
  if (FOwner) FOwner->RemoveComponent(this);
}

void TComponent::DeclareClass(TClassDecl& c) {
  c.String("Name", &TComponent::Name, &TComponent::SetName).Stored(false);
  c.Integer("Tag", &TComponent::Tag, &TComponent::SetTag).Default(0);
}

void TComponent::DefineProperties(TFiler& filer) {
  TPoint ancestor;
  if (auto* a = dynamic_cast<const TComponent*>(filer.Ancestor())) ancestor = a->FDesignPosition;
  filer.DefineProperty(
      "Left", [this](TReader& reader) { FDesignPosition.X = reader.ReadInt32(); },
      [this](TWriter& writer) { writer.WriteInteger(FDesignPosition.X); },
      FDesignPosition.X != ancestor.X);
  filer.DefineProperty(
      "Top", [this](TReader& reader) { FDesignPosition.Y = reader.ReadInt32(); },
      [this](TWriter& writer) { writer.WriteInteger(FDesignPosition.Y); },
      FDesignPosition.Y != ancestor.Y);
}

void TComponent::SetName(const std::string& value) {
  if (FName == value) return;
  if (!value.empty() && !IsValidIdent(value))
    throw EComponentError(Format(SInvalidName, value));
  if (FOwner)
    FOwner->ValidateRename(this, FName, value);
  else
    ValidateRename(nullptr, FName, value);
  FName = value;
}

void TComponent::ValidateRename(TComponent* component, std::string_view curName,
                                std::string_view newName) {
  if (component && !newName.empty() && !SameText(curName, newName)) {
    TComponent* existing = FindComponent(newName);
    if (existing && existing != component)
      throw EComponentError(Format(SDuplicateName, newName));
  }
}

void TComponent::ValidateInsert(TComponent*) {}

TComponent* TComponent::Components(int index) const {
  if (index < 0 || index >= ComponentCount()) throw EListError(Format(SListIndexError, index));
  return FComponents[index];
}

int TComponent::ComponentIndex() const {
  if (!FOwner) return -1;
  auto& list = FOwner->FComponents;
  auto it = std::find(list.begin(), list.end(), this);
  return it == list.end() ? -1 : static_cast<int>(it - list.begin());
}

TComponent* TComponent::FindComponent(std::string_view name) const {
  if (name.empty()) return nullptr;
  for (TComponent* c : FComponents)
    if (SameText(c->FName, name)) return c;
  return nullptr;
}

void TComponent::InsertComponent(TComponent* component) {
  ValidateInsert(component);
  ValidateRename(component, "", component->FName);
  if (component->FOwner) component->FOwner->RemoveComponent(component);
  InsertNoNotify(component);
  if (FComponentState.Contains(csDesigning)) component->IncludeState(csDesigning);
  Notification(component, opInsert);
}

void TComponent::RemoveComponent(TComponent* component) {
  if (component->FOwner != this) return;
  Notification(component, opRemove);
  RemoveNoNotify(component);
}

void TComponent::InsertNoNotify(TComponent* component) {
  FComponents.push_back(component);
  component->FOwner = this;
}

void TComponent::RemoveNoNotify(TComponent* component) {
  FComponents.erase(std::remove(FComponents.begin(), FComponents.end(), component),
                    FComponents.end());
  component->FOwner = nullptr;
}

void TComponent::DestroyComponents() {
  // The last created goes first; each leaves the list before it is freed, so a component
  // freed here sees a consistent owner. One that others asked to hear of leaves with a
  // notice to all of them: a sibling that refers to it learns it is gone.
  while (!FComponents.empty()) {
    TComponent* instance = FComponents.back();
    if (instance->FComponentState.Contains(csFreeNotification))
      RemoveComponent(instance);
    else
      RemoveNoNotify(instance);
    delete instance;
  }
}

void TComponent::Destroying() {
  if (FComponentState.Contains(csDestroying)) return;
  FComponentState.Include(csDestroying);
  for (TComponent* c : FComponents) c->Destroying();
}

void TComponent::FreeNotification(TComponent* component) {
  if (!component || component == this) return;
  if (!FOwner || component->FOwner != FOwner) {
    if (std::find(FFreeNotifies.begin(), FFreeNotifies.end(), component) == FFreeNotifies.end()) {
      FFreeNotifies.push_back(component);
      component->FreeNotification(this);
    }
  }
  // Both sides: with a common owner there is no link, and whichever of the two the owner
  // frees first must leave with a notice.
  FComponentState.Include(csFreeNotification);
  component->FComponentState.Include(csFreeNotification);
}

void TComponent::RemoveFreeNotification(TComponent* component) {
  auto it = std::find(FFreeNotifies.begin(), FFreeNotifies.end(), component);
  if (it == FFreeNotifies.end()) return;
  FFreeNotifies.erase(it);
  component->RemoveFreeNotification(this);
}

void TComponent::Notification(TComponent* component, TOperation operation) {
  if (operation == opRemove && component) RemoveFreeNotification(component);
  // Iterate by index: a handler may free or insert components.
  for (size_t i = 0; i < FComponents.size(); ++i) FComponents[i]->Notification(component, operation);
}

void TComponent::Loaded() { FComponentState.Exclude(csLoading); }

void TComponent::GetChildren(const TGetChildProc&, TComponent*) {}

void TComponent::SetParentComponent(TComponent*) {}

// --- Class registry ---------------------------------------------------------------------------

namespace {

struct TRegistry {
  std::mutex Lock;
  std::map<std::string, TComponentFactory> Classes;  // key: class name in upper case
};

TRegistry& Registry() {
  static TRegistry registry;
  return registry;
}

}  // namespace

void RegisterClass(std::string_view className, TComponentFactory factory) {
  TRegistry& r = Registry();
  std::lock_guard<std::mutex> guard(r.Lock);
  auto [it, inserted] = r.Classes.emplace(UpperCase(className), factory);
  if (!inserted && it->second != factory)
    throw EFilerError(Format(SDuplicateClass, className));
}

void UnRegisterClass(std::string_view className) {
  TRegistry& r = Registry();
  std::lock_guard<std::mutex> guard(r.Lock);
  r.Classes.erase(UpperCase(className));
}

TComponentFactory GetClass(std::string_view className) {
  TRegistry& r = Registry();
  std::lock_guard<std::mutex> guard(r.Lock);
  auto it = r.Classes.find(UpperCase(className));
  return it == r.Classes.end() ? nullptr : it->second;
}

TComponentFactory FindClass(std::string_view className) {
  TComponentFactory factory = GetClass(className);
  if (!factory) throw EClassNotFound(Format(SClassNotFound, className));
  return factory;
}

}  // namespace qv
