// The component stream reader: objects, properties and references from the binary form.
#include <algorithm>
#include <limits>

#include "framework/Collections.h"
#include "framework/ComponentStream.h"
#include "framework/TextServices.h"

namespace qv {

namespace {

// A property error already offered to the error hook (or not skippable): it passes every
// enclosing property unchanged.
class EReportedReadError : public EReadError {
public:
  using EReadError::EReadError;
};

// The reasons a value is refused.
class EPropertyValueError : public EReadError {
public:
  using EReadError::EReadError;
};

bool IsIntKind(TValueType k) {
  return k == vaInt8 || k == vaInt16 || k == vaInt32 || k == vaInt64;
}

bool IsStringKind(TValueType k) { return k == vaString || k == vaLString; }

bool IsWideKind(TValueType k) { return k == vaWString || k == vaUString || k == vaUTF8String; }

// 8-bit text read into a wide property: each byte is the character of that code, the exact
// inverse of the writer, which writes characters 128..255 of wide strings as single bytes.
std::u16string Widen(std::string_view bytes) {
  std::u16string s(bytes.size(), u'\0');
  for (size_t i = 0; i < bytes.size(); ++i) s[i] = static_cast<uint8_t>(bytes[i]);
  return s;
}

// One level deeper for as long as it lives; beyond MaxNestingLevel an EReadError.
class TNestingGuard {
public:
  explicit TNestingGuard(int& level) : FLevel(level) {
    if (FLevel >= MaxNestingLevel) throw EReadError(Format(SStreamNestingTooDeep, MaxNestingLevel));
    ++FLevel;
  }
  ~TNestingGuard() { --FLevel; }
  TNestingGuard(const TNestingGuard&) = delete;
  TNestingGuard& operator=(const TNestingGuard&) = delete;

private:
  int& FLevel;
};

[[noreturn]] void InvalidValue() { throw EPropertyValueError(SInvalidPropertyValue); }

std::string DisplayName(const TComponent& c) {
  return c.Name().empty() ? std::string(c.ClassName()) : c.Name();
}

}  // namespace

TComponentReader::TComponentReader(TStream& stream) : FBinary(stream) {}

TComponentReader::~TComponentReader() = default;

void TComponentReader::ReadSignature() { FBinary.ReadSignature(); }

TComponent* TComponentReader::ReadRootComponent(TComponent* root) {
  ReadSignature();
  BeginReferences();
  std::unique_ptr<TComponent> created;
  try {
    FRoot = root;
    FOwner = nullptr;
    FParent = nullptr;
    // Without a root, the object's own component becomes it (created without owner).
    TComponent* result = ReadComponent(root);
    if (!root) {
      created.reset(result);
      FRoot = result;
    }
    if (!result) throw EReadError(SInvalidImage);
    FixupReferences();
  } catch (...) {
    EndReferences();
    FRoot = nullptr;
    throw;
  }
  EndReferences();
  return created ? created.release() : root;
}

void TComponentReader::BeginReferences() {
  FCollecting = true;
  FLoaded.clear();
  FFixups.clear();
}

void TComponentReader::EndReferences() {
  // Reached with components still listed only when reading failed: end their loading state
  // all the same.
  std::vector<TComponent*> loaded;
  loaded.swap(FLoaded);
  for (TComponent* c : loaded) {
    c->ExcludeState(csReading);
    try {
      c->Loaded();
    } catch (...) {
      c->ExcludeState(csLoading);
    }
  }
  FFixups.clear();
  FCollecting = false;
}

TComponent* TComponentReader::ResolveName(std::string_view name) const {
  if (!FRoot || name.empty()) return nullptr;
  auto lookup = [](TComponent* base, std::string_view n) -> TComponent* {
    if (TComponent* c = base->FindComponent(n)) return c;
    return SameText(n, "Owner") ? base : nullptr;
  };
  size_t dot = name.find('.');
  if (dot == std::string_view::npos) return lookup(FRoot, name);
  // "<owner>.<name>...": the owner is the root, a component of the root or of the root's
  // owner, or a global one.
  std::string_view first = name.substr(0, dot);
  TComponent* base = nullptr;
  if (SameText(first, FRoot->Name()))
    base = FRoot;
  else if (TComponent* c = FRoot->FindComponent(first))
    base = c;
  else if (TComponent* o = FRoot->Owner())
    base = SameText(first, o->Name()) ? o : o->FindComponent(first);
  if (!base) base = FindGlobalComponent(first);
  for (std::string_view rest = name.substr(dot + 1); base;) {
    dot = rest.find('.');
    base = lookup(base, rest.substr(0, dot));
    if (dot == std::string_view::npos) break;
    rest = rest.substr(dot + 1);
  }
  return base;
}

void TComponentReader::FixupReferences() {
  std::vector<TFixup> fixups;
  fixups.swap(FFixups);
  for (const TFixup& f : fixups) {
    // Walk the path again: the object the reference was read into may have gone since
    // (a collection cleared by a later value), and then the reference is dropped.
    TPersistent* target = f.Component;
    for (const TFixupStep& step : f.Steps) {
      if (!target->ClassType().InheritsFrom(*step.Prop->DeclaredBy)) {
        target = nullptr;
        break;
      }
      target = step.Prop->GetObject(*target);
      if (target && step.ItemID >= 0) {
        auto* coll = dynamic_cast<TCollection*>(target);
        target = coll ? coll->FindItemID(step.ItemID) : nullptr;
      }
      if (!target) break;
    }
    if (!target || !target->ClassType().InheritsFrom(*f.Prop->DeclaredBy)) continue;
    TComponent* value = ResolveName(f.Name);
    if (!value) continue;
    try {
      f.Prop->SetComponent(*target, value);
    } catch (const Exception& e) {
      HandleError(Format(SErrorReading, f.Path, "", e.Message()));
    }
  }
  std::vector<TComponent*> loaded;
  loaded.swap(FLoaded);
  for (TComponent* c : loaded) c->ExcludeState(csReading);
  for (size_t i = 0; i < loaded.size(); ++i) {
    try {
      loaded[i]->Loaded();
    } catch (...) {
      for (size_t j = i + 1; j < loaded.size(); ++j) loaded[j]->ExcludeState(csLoading);
      throw;
    }
  }
}

void TComponentReader::HandleError(const std::string& message) {
  bool handled = false;
  if (OnError) OnError(*this, message, handled);
  if (!handled) throw EReportedReadError(message);
}

TComponent* TComponentReader::ReadComponent(TComponent* component) {
  TNestingGuard guard(FLevel);

  TFilerFlags flags;
  int childPos = 0;
  FBinary.ReadPrefix(flags, childPos);
  std::string className = FBinary.ReadStr();
  std::string name = FBinary.ReadStr();

  std::unique_ptr<TComponent> created;
  TComponent* result = component;
  if (!result) {
    TComponentFactory factory = GetClass(className);
    if (!factory) {
      HandleError(Format(SClassNotFound, className));
      SkipObjectBody();
      return nullptr;
    }
    try {
      created.reset(factory(FOwner));
    } catch (const EReportedReadError&) {
      throw;
    } catch (const Exception& e) {
      HandleError(e.Message());
      SkipObjectBody();
      return nullptr;
    }
    result = created.get();
    if (!FRoot) FRoot = result;  // the root object of ReadRootComponent(nullptr)
  }
  result->IncludeState(csLoading);
  result->IncludeState(csReading);
  if (FCollecting && std::find(FLoaded.begin(), FLoaded.end(), result) == FLoaded.end())
    FLoaded.push_back(result);
  auto forget = [&] {
    FLoaded.erase(std::remove(FLoaded.begin(), FLoaded.end(), result), FLoaded.end());
    std::erase_if(FFixups, [&](const TFixup& f) { return f.Component == result; });
  };
  try {
    if (!flags.Contains(ffInherited)) {
      try {
        result->SetName(name);
      } catch (const EReportedReadError&) {
        throw;
      } catch (const Exception& e) {
        HandleError(e.Message());
        if (created) {  // a new component that cannot take its name is left out
          forget();
          created.reset();
          SkipObjectBody();
          return nullptr;
        }
      }
    }
    if (created && FParent) result->SetParentComponent(FParent);
    ReadData(result);
  } catch (...) {
    if (created) forget();
    else {
      result->ExcludeState(csReading);
    }
    throw;
  }
  if (!FCollecting) {
    result->ExcludeState(csReading);
  }
  return created ? created.release() : result;
}

void TComponentReader::ReadData(TComponent* instance) {
  std::string savedPrefix = FPathPrefix;
  TComponent* savedCurrent = FCurrent;
  std::vector<TFixupStep> savedSteps;
  savedSteps.swap(FSteps);
  FPathPrefix = DisplayName(*instance) + ".";
  FCurrent = instance;
  auto restore = [&] {
    FPathPrefix = savedPrefix;
    FCurrent = savedCurrent;
    FSteps.swap(savedSteps);
  };
  try {
    while (!FBinary.EndOfList()) ReadProperty(instance);
    FBinary.ReadListEnd();
  } catch (...) {
    restore();
    throw;
  }
  restore();

  TComponent* savedOwner = FOwner;
  TComponent* savedParent = FParent;
  FOwner = instance->GetChildOwner();
  if (!FOwner) FOwner = FRoot;
  FParent = instance->GetChildParent();
  try {
    while (!FBinary.EndOfList()) ReadComponent(nullptr);
    FBinary.ReadListEnd();
  } catch (...) {
    FOwner = savedOwner;
    FParent = savedParent;
    throw;
  }
  FOwner = savedOwner;
  FParent = savedParent;
}

void TComponentReader::SkipObjectBody() {
  // The properties, then the children, each a full object.
  while (!FBinary.EndOfList()) {
    FBinary.ReadStr();
    FBinary.SkipValuePayload(FBinary.ReadValueType(), FLevel);
  }
  FBinary.ReadListEnd();
  while (!FBinary.EndOfList()) SkipObject();
  FBinary.ReadListEnd();
}

void TComponentReader::SkipObject() {
  TNestingGuard guard(FLevel);
  TFilerFlags flags;
  int childPos = 0;
  FBinary.ReadPrefix(flags, childPos);
  FBinary.ReadStr();
  FBinary.ReadStr();
  SkipObjectBody();
}

void TComponentReader::ReadProperty(TPersistent* instance) {
  std::string path = FBinary.ReadStr();
  int64_t valueStart = FBinary.Stream().Position();
  size_t depth = FSteps.size();
  try {
    TPersistent* target = instance;
    std::string_view rest = path;
    for (size_t dot; (dot = rest.find('.')) != std::string_view::npos; rest = rest.substr(dot + 1)) {
      std::string_view segment = rest.substr(0, dot);
      const TPropInfo* prop = target->ClassType().FindProperty(segment);
      if (!prop) throw EPropertyValueError(Format(SUnknownProperty, segment));
      if (!prop->IsObject() || !prop->GetObject) throw EPropertyValueError(SInvalidPropertyPath);
      target = prop->GetObject(*target);
      if (!target) throw EPropertyValueError(SInvalidPropertyPath);
      FSteps.push_back({prop, -1});
    }
    if (const TPropInfo* prop = target->ClassType().FindProperty(rest)) {
      ReadPropValue(target, *prop, path);
    } else {
      FPropName = std::string(rest);
      FPropFound = false;
      target->DefineProperties(*this);
      if (!FPropFound) throw EPropertyValueError(Format(SUnknownProperty, rest));
    }
  } catch (const EReportedReadError&) {
    FSteps.resize(depth);
    throw;
  } catch (const Exception& e) {
    FSteps.resize(depth);
    std::string message = Format(SErrorReading, FPathPrefix, path, e.Message());
    HandleError(message);
    // Handled: pass over the whole value, wherever reading it stopped.
    try {
      FBinary.Stream().SetPosition(valueStart);
      FBinary.SkipValuePayload(FBinary.ReadValueType(), FLevel);
    } catch (const Exception& skipError) {
      throw EReportedReadError(Format(SErrorReading, FPathPrefix, path, skipError.Message()));
    }
    return;
  }
  FSteps.resize(depth);
}

void TComponentReader::ReadPropValue(TPersistent* instance, const TPropInfo& prop,
                                     const std::string& path) {
  TValueType kind = FBinary.ReadValueType();
  if (!prop.Writable()) InvalidValue();
  switch (prop.Kind) {
    case pkInteger:
    case pkCardinal:
    case pkInt64: {
      int64_t v = 0;
      if (IsIntKind(kind)) {
        v = FBinary.ReadIntPayload(kind);
        bool fits = prop.Kind == pkInt64 ||
                    (prop.Kind == pkInteger && kind != vaInt64 &&
                     v >= std::numeric_limits<int32_t>::min() &&
                     v <= std::numeric_limits<int32_t>::max()) ||
                    (prop.Kind == pkCardinal && v >= 0 &&
                     v <= std::numeric_limits<uint32_t>::max());
        if (!fits) InvalidValue();
      } else if (kind == vaIdent && prop.Idents) {
        if (!prop.Idents->ValueOf(FBinary.ReadStr(), v)) InvalidValue();
      } else {
        InvalidValue();
      }
      prop.SetOrd(*instance, v);
      return;
    }
    case pkBoolean:
      if (kind != vaTrue && kind != vaFalse) InvalidValue();
      prop.SetOrd(*instance, kind == vaTrue ? 1 : 0);
      return;
    case pkEnumeration: {
      int64_t v = 0;
      if (kind != vaIdent || !prop.EnumType || !prop.EnumType->ValueOf(FBinary.ReadStr(), v))
        InvalidValue();
      prop.SetOrd(*instance, v);
      return;
    }
    case pkSet: {
      if (kind != vaSet || !prop.EnumType) InvalidValue();
      uint64_t mask = 0;
      for (std::string element; !(element = FBinary.ReadStr()).empty();) {
        int64_t v = 0;
        if (!prop.EnumType->ValueOf(element, v) || v >= 64) InvalidValue();
        mask |= uint64_t{1} << v;
      }
      prop.SetOrd(*instance, static_cast<int64_t>(mask));
      return;
    }
    case pkString:
      if (IsStringKind(kind))
        prop.SetStr(*instance, FBinary.ReadStringPayload(kind));
      else if (IsWideKind(kind))
        prop.SetStr(*instance, WideCharToMultiByte(CP_ACP, FBinary.ReadWideStringPayload(kind)));
      else
        InvalidValue();
      return;
    case pkWideString:
      if (IsWideKind(kind))
        prop.SetWideStr(*instance, FBinary.ReadWideStringPayload(kind));
      else if (IsStringKind(kind))
        prop.SetWideStr(*instance, Widen(FBinary.ReadStringPayload(kind)));
      else
        InvalidValue();
      return;
    case pkCollection: {
      if (kind == vaNil) return;
      auto* collection = dynamic_cast<TCollection*>(prop.GetObject(*instance));
      if (kind != vaCollection || !collection) InvalidValue();
      FSteps.push_back({&prop, -1});
      ReadCollection(*collection, path);
      FSteps.pop_back();
      return;
    }
    case pkStrings:
    case pkObject:
      InvalidValue();
    case pkComponent: {
      if (kind == vaNil) {
        prop.SetComponent(*instance, nullptr);
        return;
      }
      if (kind != vaIdent) InvalidValue();
      std::string name = FBinary.ReadStr();
      if (FCollecting) {
        FFixups.push_back({FCurrent, FSteps, &prop, std::move(name), FPathPrefix + path});
        return;
      }
      if (TComponent* c = ResolveName(name)) prop.SetComponent(*instance, c);
      return;
    }
    case pkEvent: {
      if (kind == vaNil) {
        prop.SetEvent(*instance, std::any());
        return;
      }
      if (kind != vaIdent || !FRoot) InvalidValue();
      const TMethodInfo* method = FRoot->ClassType().FindMethod(FBinary.ReadStr());
      if (!method || method->Signature != prop.EventSignature ||
          !prop.SetEvent(*instance, method->Bind(*FRoot, *method)))
        InvalidValue();
      return;
    }
  }
  InvalidValue();
}

void TComponentReader::ReadCollection(TCollection& collection, const std::string& path) {
  if (FBinary.EndOfList()) {  // "<>" leaves the collection as it is
    FBinary.ReadListEnd();
    return;
  }
  TNestingGuard guard(FLevel);
  std::string savedPrefix = FPathPrefix;
  try {
    WithinUpdate(collection, [&] {
      collection.Clear();
      for (int index = 0; !FBinary.EndOfList(); ++index) {
        TValueType kind = FBinary.ReadValueType();
        if (IsIntKind(kind)) {  // the item's order number, not used
          FBinary.ReadIntPayload(kind);
          kind = FBinary.ReadValueType();
        }
        if (kind != vaList) InvalidValue();
        TCollectionItem* item = collection.Add();
        FPathPrefix = savedPrefix + path + "[" + std::to_string(index) + "].";
        FSteps.back().ItemID = item->ID();
        while (!FBinary.EndOfList()) ReadProperty(item);
        FBinary.ReadListEnd();
        FSteps.back().ItemID = -1;
        FPathPrefix = savedPrefix;
      }
      FBinary.ReadListEnd();
    });
  } catch (...) {
    FPathPrefix = savedPrefix;
    throw;
  }
}

// --- Defined property data ---------------------------------------------------------------

void TComponentReader::DefineProperty(const std::string& name, const TReaderProc& readData,
                                      const TWriterProc&, bool) {
  if (FPropFound || !readData || !SameText(name, FPropName)) return;
  FPropFound = true;
  readData(*this);
}

void TComponentReader::ReadListBegin() {
  if (FBinary.ReadValueType() != vaList) InvalidValue();
}

bool TComponentReader::EndOfList() { return FBinary.EndOfList(); }

void TComponentReader::ReadListEnd() { FBinary.ReadListEnd(); }

std::string TComponentReader::ReadString() {
  TValueType kind = FBinary.ReadValueType();
  if (IsStringKind(kind)) return FBinary.ReadStringPayload(kind);
  if (IsWideKind(kind)) return WideCharToMultiByte(CP_ACP, FBinary.ReadWideStringPayload(kind));
  InvalidValue();
}

std::u16string TComponentReader::ReadWideString() {
  TValueType kind = FBinary.ReadValueType();
  if (IsWideKind(kind)) return FBinary.ReadWideStringPayload(kind);
  if (IsStringKind(kind)) return Widen(FBinary.ReadStringPayload(kind));
  InvalidValue();
}

int64_t TComponentReader::ReadInteger() {
  TValueType kind = FBinary.ReadValueType();
  if (!IsIntKind(kind)) InvalidValue();
  return FBinary.ReadIntPayload(kind);
}

bool TComponentReader::ReadBoolean() {
  TValueType kind = FBinary.ReadValueType();
  if (kind != vaTrue && kind != vaFalse) InvalidValue();
  return kind == vaTrue;
}

std::string TComponentReader::ReadBinary() {
  if (FBinary.ReadValueType() != vaBinary) InvalidValue();
  return FBinary.ReadBytes(FBinary.ReadLength());
}

}  // namespace qv
