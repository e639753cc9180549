// The component stream writer, the text-form shortcuts, and the comparison of published
// values.
#include <mutex>

#include "framework/Collections.h"
#include "framework/ComponentStream.h"
#include "framework/ObjectText.h"

namespace qv {

// --- Global component lookup ---------------------------------------------------------------

namespace {

std::mutex GFindGlobalLock;
TFindGlobalComponent GFindGlobal;

}  // namespace

void RegisterFindGlobalComponentProc(TFindGlobalComponent proc) {
  std::lock_guard<std::mutex> guard(GFindGlobalLock);
  GFindGlobal = std::move(proc);
}

TComponent* FindGlobalComponent(std::string_view name) {
  TFindGlobalComponent proc;
  {
    std::lock_guard<std::mutex> guard(GFindGlobalLock);
    proc = GFindGlobal;
  }
  return proc ? proc(name) : nullptr;
}

// --- TComponentWriter ----------------------------------------------------------------------

TComponentWriter::TComponentWriter(TStream& stream) : FBinary(stream) {}

void TComponentWriter::WriteSignature() { FBinary.WriteSignature(); }

void TComponentWriter::WriteRootComponent(TComponent* root) {
  FRoot = root;
  WriteSignature();
  WriteComponent(root);
}

void TComponentWriter::WriteComponent(TComponent* component) {
  bool wasWriting = component->ComponentState().Contains(csWriting);
  component->IncludeState(csWriting);
  try {
    std::string_view className = component->ClassName();
    FBinary.WritePrefix(TFilerFlags(), 0, className.size() >= 240);
    FBinary.WriteStr(className);
    FBinary.WriteStr(component->Name());
    WriteProperties(*component, "");
    FBinary.WriteListEnd();
    component->GetChildren([this](TComponent* child) { WriteComponent(child); }, FRoot);
    FBinary.WriteListEnd();
  } catch (...) {
    if (!wasWriting) component->ExcludeState(csWriting);
    throw;
  }
  if (!wasWriting) component->ExcludeState(csWriting);
}

void TComponentWriter::WriteProperties(const TPersistent& instance, const std::string& prefix) {
  for (const TPropInfo* prop : instance.ClassType().Properties())
    WriteProperty(instance, *prop, prefix);
  std::string saved = FPrefix;
  FPrefix = prefix;
  try {
    const_cast<TPersistent&>(instance).DefineProperties(*this);
  } catch (...) {
    FPrefix = saved;
    throw;
  }
  FPrefix = saved;
}

std::string TComponentWriter::ComponentPath(const TComponent* component, const TComponent* root) {
  if (!component) return {};
  if (component == root) return "Owner";
  if (component->Name().empty()) return {};
  const TComponent* owner = component->Owner();
  if (owner == root) return component->Name();
  if (owner && !owner->Name().empty()) return owner->Name() + "." + component->Name();
  return {};
}

void TComponentWriter::WriteProperty(const TPersistent& instance, const TPropInfo& prop,
                                     const std::string& prefix) {
  if (!prop.IsStored(instance) || !prop.Writable()) return;
  std::string path = prefix + prop.Name;
  switch (prop.Kind) {
    case pkString: {
      std::string s = prop.GetStr(instance);
      if (s.empty()) return;
      FBinary.WriteStr(path);
      FBinary.WriteString(s);
      return;
    }
    case pkWideString: {
      std::u16string s = prop.GetWideStr(instance);
      if (s.empty()) return;
      FBinary.WriteStr(path);
      FBinary.WriteWideString(s);
      return;
    }
    case pkStrings:
    case pkObject: {
      const TPersistent* object = prop.GetObject(instance);
      if (object && !dynamic_cast<const TComponent*>(object)) WriteProperties(*object, path + ".");
      return;
    }
    case pkCollection: {
      const auto* collection = dynamic_cast<const TCollection*>(prop.GetObject(instance));
      if (!collection) return;
      WriteProperties(*collection, path + ".");
      FBinary.WriteStr(path);
      WriteCollection(*collection);
      return;
    }
    case pkComponent: {
      std::string name = ComponentPath(prop.GetComponent(instance), FRoot);
      if (name.empty()) return;
      FBinary.WriteStr(path);
      FBinary.WriteIdent(name);
      return;
    }
    case pkEvent: {
      TEventBinding binding = prop.GetEventBinding(instance);
      if (!binding.Method || !FRoot || binding.Self != FRoot ||
          FRoot->ClassType().FindMethod(binding.Method->Name) != binding.Method)
        return;
      FBinary.WriteStr(path);
      FBinary.WriteIdent(binding.Method->Name);
      return;
    }
    default: break;
  }
  int64_t value = prop.GetOrd(instance);
  if (prop.HasDefault && value == prop.DefaultValue) return;
  FBinary.WriteStr(path);
  switch (prop.Kind) {
    case pkBoolean: FBinary.WriteValueType(value ? vaTrue : vaFalse); return;
    case pkEnumeration:
      if (const char* name = prop.EnumType ? prop.EnumType->NameOf(value) : nullptr) {
        FBinary.WriteIdent(name);
        return;
      }
      break;
    case pkSet:
      FBinary.WriteValueType(vaSet);
      for (int i = 0; i < 64; ++i)
        if (static_cast<uint64_t>(value) >> i & 1)
          if (const char* name = prop.EnumType ? prop.EnumType->NameOf(i) : nullptr)
            FBinary.WriteStr(name);
      FBinary.WriteStr("");
      return;
    case pkInteger:
      if (const char* name = prop.Idents ? prop.Idents->NameOf(value) : nullptr) {
        FBinary.WriteIdent(name);
        return;
      }
      break;
    default: break;
  }
  FBinary.WriteInteger(value);
}

void TComponentWriter::WriteCollection(const TCollection& collection) {
  FBinary.WriteValueType(vaCollection);
  for (int i = 0; i < collection.Count(); ++i) {
    FBinary.WriteListBegin();
    WriteProperties(*collection.Items(i), "");
    FBinary.WriteListEnd();
  }
  FBinary.WriteListEnd();
}

void TComponentWriter::DefineProperty(const std::string& name, const TReaderProc&,
                                      const TWriterProc& writeData, bool hasData) {
  if (!hasData || !writeData) return;
  FBinary.WriteStr(FPrefix + name);
  writeData(*this);
}

void TComponentWriter::WriteListBegin() { FBinary.WriteListBegin(); }
void TComponentWriter::WriteListEnd() { FBinary.WriteListEnd(); }
void TComponentWriter::WriteString(const std::string& value) { FBinary.WriteString(value); }
void TComponentWriter::WriteWideString(const std::u16string& value) {
  FBinary.WriteWideString(value);
}
void TComponentWriter::WriteInteger(int64_t value) { FBinary.WriteInteger(value); }
void TComponentWriter::WriteBoolean(bool value) {
  FBinary.WriteValueType(value ? vaTrue : vaFalse);
}
void TComponentWriter::WriteBinary(const std::string& bytes) { FBinary.WriteBinary(bytes); }

// --- Shortcuts -----------------------------------------------------------------------------

void WriteComponentBinary(TStream& stream, TComponent* component) {
  TComponentWriter writer(stream);
  writer.WriteRootComponent(component);
}

void WriteComponentText(TStream& stream, TComponent* component) {
  TMemoryStream binary;
  WriteComponentBinary(binary, component);
  binary.SetPosition(0);
  ObjectBinaryToText(binary, stream);
}

void ReadComponentText(TStream& stream, TComponent* component, const TReaderError& onError) {
  TMemoryStream binary;
  ObjectTextToBinary(stream, binary);
  binary.SetPosition(0);
  TComponentReader reader(binary);
  reader.OnError = onError;
  reader.ReadRootComponent(component);
}

// --- Comparison ----------------------------------------------------------------------------

namespace {

// The defined property data of an object, as written.
std::string DefinedData(const TPersistent& instance) {
  TMemoryStream data;
  TComponentWriter writer(data);
  const_cast<TPersistent&>(instance).DefineProperties(writer);
  return data.DataString();
}

std::string ReferenceName(const TComponent* c) {
  if (!c) return {};
  return c->Owner() ? c->Owner()->Name() + "." + c->Name() : c->Name();
}

bool Same(const TPersistent& a, const TPersistent& b, const std::string& path,
          std::string* difference, int level) {
  auto differ = [&](const std::string& where) {
    if (difference) *difference = where;
    return false;
  };
  if (level > MaxNestingLevel) return differ(path);
  if (&a.ClassType() != &b.ClassType()) return differ(path + "<class>");
  for (const TPropInfo* prop : a.ClassType().Properties()) {
    if (prop->NeverStored) continue;
    std::string where = path + prop->Name;
    switch (prop->Kind) {
      case pkString:
        if (prop->GetStr(a) != prop->GetStr(b)) return differ(where);
        break;
      case pkWideString:
        if (prop->GetWideStr(a) != prop->GetWideStr(b)) return differ(where);
        break;
      case pkStrings:
      case pkObject: {
        const TPersistent* oa = prop->GetObject(a);
        const TPersistent* ob = prop->GetObject(b);
        if (!oa || !ob) {
          if (oa != ob) return differ(where);
          break;
        }
        if (!Same(*oa, *ob, where + ".", difference, level + 1)) return false;
        break;
      }
      case pkCollection: {
        const auto* ca = dynamic_cast<const TCollection*>(prop->GetObject(a));
        const auto* cb = dynamic_cast<const TCollection*>(prop->GetObject(b));
        if (!ca || !cb) {
          if (ca != cb) return differ(where);
          break;
        }
        if (ca->Count() != cb->Count()) return differ(where + ".Count");
        if (!Same(*ca, *cb, where + ".", difference, level + 1)) return false;
        for (int i = 0; i < ca->Count(); ++i)
          if (!Same(*ca->Items(i), *cb->Items(i), where + "[" + std::to_string(i) + "].",
                    difference, level + 1))
            return false;
        break;
      }
      case pkComponent: {
        const TComponent* ra = prop->GetComponent(a);
        const TComponent* rb = prop->GetComponent(b);
        if (!ra != !rb || ReferenceName(ra) != ReferenceName(rb)) return differ(where);
        break;
      }
      case pkEvent: {
        TEventBinding ea = prop->GetEventBinding(a);
        TEventBinding eb = prop->GetEventBinding(b);
        if ((ea.Method ? ea.Method->Name : "") != (eb.Method ? eb.Method->Name : ""))
          return differ(where);
        break;
      }
      default:
        if (prop->GetOrd(a) != prop->GetOrd(b)) return differ(where);
        break;
    }
  }
  if (DefinedData(a) != DefinedData(b)) return differ(path + "<defined data>");
  return true;
}

}  // namespace

bool SamePublishedValues(const TPersistent& a, const TPersistent& b, std::string* difference) {
  return Same(a, b, "", difference, 0);
}

}  // namespace qv
