// Published-property metadata: class tables, lookups, and the copy helper built on them.
#include "framework/TypInfo.h"

#include "framework/Classes.h"

namespace qv {

// --- Identifier tables ---------------------------------------------------------------------

const char* TEnumInfo::NameOf(int64_t value) const {
  if (value < 0 || value >= Count()) return nullptr;
  return FNames[static_cast<size_t>(value)];
}

bool TEnumInfo::ValueOf(std::string_view name, int64_t& value) const {
  for (size_t i = 0; i < FNames.size(); ++i)
    if (SameText(FNames[i], name)) {
      value = static_cast<int64_t>(i);
      return true;
    }
  return false;
}

const char* TIdentMap::NameOf(int64_t value) const {
  for (const TEntry& e : FEntries)
    if (e.Value == value) return e.Name;
  return nullptr;
}

bool TIdentMap::ValueOf(std::string_view name, int64_t& value) const {
  for (const TEntry& e : FEntries)
    if (SameText(e.Name, name)) {
      value = e.Value;
      return true;
    }
  return false;
}

// --- TPropInfo -------------------------------------------------------------------------------

TPropInfo& TPropInfo::Stored(bool stored) {
  NeverStored = !stored;
  StoredProc = nullptr;
  return *this;
}

bool TPropInfo::Writable() const {
  switch (Kind) {
    case pkString: return static_cast<bool>(SetStr);
    case pkWideString: return static_cast<bool>(SetWideStr);
    case pkStrings:
    case pkCollection:
    case pkObject: return static_cast<bool>(GetObject);  // written into, never replaced
    case pkComponent: return static_cast<bool>(SetComponent);
    case pkEvent: return static_cast<bool>(SetEvent);
    default: return static_cast<bool>(SetOrd);
  }
}

// --- TClassInfo ------------------------------------------------------------------------------

TClassInfo::TClassInfo(const char* name, const TClassInfo* parent, TDeclareProc declare)
    : FName(name), FParent(parent) {
  if (parent) FProps = parent->FProps;
  if (declare) {
    TClassDecl decl(*this);
    declare(decl);
  }
}

bool TClassInfo::InheritsFrom(const TClassInfo& other) const {
  for (const TClassInfo* c = this; c; c = c->FParent)
    if (c == &other) return true;
  return false;
}

const TPropInfo* TClassInfo::FindProperty(std::string_view name) const {
  for (const TPropInfo* p : FProps)
    if (SameText(p->Name, name)) return p;
  return nullptr;
}

const TMethodInfo* TClassInfo::FindMethod(std::string_view name) const {
  for (const TClassInfo* c = this; c; c = c->FParent)
    for (const TMethodInfo& m : c->FMethods)
      if (SameText(m.Name, name)) return &m;
  return nullptr;
}

template <>
const TClassInfo& ClassInfoOf<TObject>() {
  static const TClassInfo info("TObject", nullptr, nullptr);
  return info;
}

const TClassInfo& TObject::ClassType() const { return ClassInfoOf<TObject>(); }

// --- TClassDecl ------------------------------------------------------------------------------

void TClassDecl::TypeMismatch() { throw EConvertError("Invalid property value"); }

TPropInfo& TClassDecl::Add(const char* name, TPropKind kind) {
  TPropInfo& p = FInfo.FOwnProps.emplace_back();
  p.Name = name;
  p.Kind = kind;
  p.DeclaredBy = &FInfo;
  for (const TPropInfo*& slot : FInfo.FProps)
    if (SameText(slot->Name, name)) {  // stated again: the ancestor's place
      slot = &p;
      return p;
    }
  FInfo.FProps.push_back(&p);
  return p;
}

TMethodInfo& TClassDecl::AddMethod(const char* name, std::type_index signature) {
  return FInfo.FMethods.emplace_back(TMethodInfo{name, signature, nullptr});
}

// --- Helpers ---------------------------------------------------------------------------------

namespace {

// The property of source's class that stands for prop of dest's class: the same
// declaration, or one of the same name and kind.
const TPropInfo* Counterpart(const TClassInfo& sourceClass, const TPropInfo& prop) {
  const TPropInfo* p = sourceClass.FindProperty(prop.Name);
  return p && p->Kind == prop.Kind ? p : nullptr;
}

}  // namespace

void AssignPublished(TPersistent& dest, const TPersistent& source) {
  const TClassInfo& sourceClass = source.ClassType();
  for (const TPropInfo* prop : dest.ClassType().Properties()) {
    if (prop->NeverStored) continue;
    const TPropInfo* from = Counterpart(sourceClass, *prop);
    if (!from) continue;
    switch (prop->Kind) {
      case pkString:
        if (prop->SetStr && from->GetStr) prop->SetStr(dest, from->GetStr(source));
        break;
      case pkWideString:
        if (prop->SetWideStr && from->GetWideStr) prop->SetWideStr(dest, from->GetWideStr(source));
        break;
      case pkStrings:
      case pkCollection:
      case pkObject: {
        TPersistent* value = from->GetObject(source);
        if (prop->SetObject)
          prop->SetObject(dest, value);
        else if (TPersistent* target = prop->GetObject(dest); target && value)
          target->Assign(value);
        break;
      }
      case pkComponent:
        if (prop->SetComponent && from->GetComponent)
          prop->SetComponent(dest, from->GetComponent(source));
        break;
      case pkEvent:
        if (prop->CopyEvent && prop->EventSignature == from->EventSignature &&
            prop->DeclaredBy == from->DeclaredBy)
          prop->CopyEvent(dest, source);
        break;
      default:
        if (prop->SetOrd && from->GetOrd) prop->SetOrd(dest, from->GetOrd(source));
        break;
    }
  }
}

std::string OrdinalToString(const TPropInfo& prop, int64_t value) {
  switch (prop.Kind) {
    case pkBoolean: return value ? "True" : "False";
    case pkEnumeration:
      if (const char* name = prop.EnumType ? prop.EnumType->NameOf(value) : nullptr) return name;
      break;
    case pkSet: {
      std::string s = "[";
      for (int i = 0; i < 64; ++i) {
        if (!(static_cast<uint64_t>(value) >> i & 1)) continue;
        if (s.size() > 1) s += ", ";
        const char* name = prop.EnumType ? prop.EnumType->NameOf(i) : nullptr;
        s += name ? std::string(name) : std::to_string(i);
      }
      return s + "]";
    }
    case pkInteger:
      if (const char* name = prop.Idents ? prop.Idents->NameOf(value) : nullptr) return name;
      break;
    default: break;
  }
  return std::to_string(value);
}

}  // namespace qv
