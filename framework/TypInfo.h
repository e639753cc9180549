// Published-property metadata: what the component stream reader and writer, and the generic
// copy and compare helpers, know of a class.
//
// A streamable class states its published properties once, in streaming order, in a static
// DeclareClass function; QV_CLASS gives it its class name and the virtual ClassType that
// returns the metadata, built on first use:
//
//   class TProbeLeaf : public TComponent {
//     QV_CLASS(TProbeLeaf, TComponent)
//   public:
//     static void DeclareClass(TClassDecl& c) {
//       c.Integer("Count", &TProbeLeaf::Count, &TProbeLeaf::SetCount).Default(0);
//       c.Enumeration("Kind", KindNames, &TProbeLeaf::Kind, &TProbeLeaf::SetKind);
//       c.Event("OnPing", &TProbeLeaf::OnPing);
//     }
//     ...
//   };
//
// The inherited properties come first. A class may state a property of its ancestor again
// (to change its default or stored rule): it keeps the ancestor's place in the order.
#pragma once

#include <any>
#include <cstdint>
#include <deque>
#include <functional>
#include <initializer_list>
#include <string>
#include <string_view>
#include <type_traits>
#include <typeindex>
#include <vector>

#include "framework/SysUtils.h"
#include "framework/Types.h"

namespace qv {

class TObject;
class TPersistent;
class TComponent;
class TClassInfo;
class TClassDecl;

// What a property holds; the stream reader and writer treat each kind its own way.
enum TPropKind : uint8_t {
  pkInteger,      // 32-bit signed; may have named constants (TIdentMap)
  pkCardinal,     // 32-bit unsigned
  pkInt64,
  pkBoolean,
  pkEnumeration,  // written as the value's identifier
  pkSet,          // a set of an enumeration: "[a, b]"
  pkString,       // 8-bit string
  pkWideString,
  pkStrings,      // an owned string list, streamed through its defined properties
  pkCollection,   // an owned collection: "< item ... end >"
  pkObject,       // an owned persistent object: its properties as dotted lines
  pkComponent,    // a reference to a component, written as its name
  pkEvent         // a method of the root, written as the method's name
};

// The identifiers of an enumeration type: value n is Names[n].
class TEnumInfo {
public:
  TEnumInfo(const char* typeName, std::initializer_list<const char*> names)
      : FTypeName(typeName), FNames(names) {}
  const char* TypeName() const { return FTypeName; }
  int Count() const { return static_cast<int>(FNames.size()); }
  // The identifier of a value, or null when the value is out of range.
  const char* NameOf(int64_t value) const;
  // The value of an identifier, compared without case; false when there is none.
  bool ValueOf(std::string_view name, int64_t& value) const;

private:
  const char* FTypeName;
  std::vector<const char*> FNames;
};

// Named constants of an integer type (colours, character sets): such a property is written
// as the name when its value has one, and reads either form.
class TIdentMap {
public:
  struct TEntry {
    int64_t Value;
    const char* Name;
  };
  TIdentMap(std::initializer_list<TEntry> entries) : FEntries(entries) {}
  const char* NameOf(int64_t value) const;  // the first name of that value, or null
  bool ValueOf(std::string_view name, int64_t& value) const;  // compared without case
  const std::vector<TEntry>& Entries() const { return FEntries; }

private:
  std::vector<TEntry> FEntries;
};

// A method a class publishes by name, so that event properties can be bound to it from a
// stream and written back as that name.
struct TMethodInfo {
  std::string Name;
  std::type_index Signature;  // the std::function type the method binds to
  // Makes a std::function of that type calling the method on self, held in a std::any.
  std::function<std::any(TObject& self, const TMethodInfo& method)> Bind;
};

// The target of an event bound by name: it knows which object's which published method it
// calls, so a writer can tell the name back.
template <class Sig>
struct TMethodThunk;
template <class R, class... A>
struct TMethodThunk<R(A...)> {
  TObject* Self;               // not owned
  const TMethodInfo* Method;   // not owned; static metadata
  std::function<R(A...)> Call;
  R operator()(A... args) const { return Call(std::forward<A>(args)...); }
};

// An event's binding as far as streaming can see it.
struct TEventBinding {
  TObject* Self = nullptr;
  const TMethodInfo* Method = nullptr;
};

// One published property.
class TPropInfo {
public:
  std::string Name;
  TPropKind Kind = pkInteger;
  const TClassInfo* DeclaredBy = nullptr;   // the class whose declaration this is
  const TEnumInfo* EnumType = nullptr;      // pkEnumeration; the element type of pkSet
  const TIdentMap* Idents = nullptr;        // pkInteger with named constants
  bool HasDefault = false;                  // ordinal kinds: a default was declared
  int64_t DefaultValue = 0;                 // (a set's bit mask)
  bool NeverStored = false;                 // Stored(false): neither streamed nor copied
  std::function<bool(const TPersistent&)> StoredProc;  // empty: stored

  // Accessors, each for its kinds; an empty setter means the property is read-only.
  std::function<int64_t(const TPersistent&)> GetOrd;  // ordinal kinds, sets as bit masks
  std::function<void(TPersistent&, int64_t)> SetOrd;
  std::function<std::string(const TPersistent&)> GetStr;
  std::function<void(TPersistent&, const std::string&)> SetStr;
  std::function<std::u16string(const TPersistent&)> GetWideStr;
  std::function<void(TPersistent&, const std::u16string&)> SetWideStr;
  std::function<TPersistent*(const TPersistent&)> GetObject;  // strings, collection, object
  std::function<void(TPersistent&, const TPersistent*)> SetObject;  // copies, never adopts
  std::function<TComponent*(const TPersistent&)> GetComponent;
  std::function<void(TPersistent&, TComponent*)> SetComponent;
  std::type_index EventSignature = typeid(void);
  std::function<bool(const TPersistent&)> EventAssigned;
  std::function<TEventBinding(const TPersistent&)> GetEventBinding;
  // Binds the event to a method made by TMethodInfo::Bind (an empty std::any clears it);
  // false when the method's signature is not the event's.
  std::function<bool(TPersistent&, const std::any&)> SetEvent;
  std::function<void(TPersistent&, const TPersistent&)> CopyEvent;

  // Declaration modifiers, used right after TClassDecl's calls.
  template <class V>
  TPropInfo& Default(V value);
  TPropInfo& NoDefault() { HasDefault = false; return *this; }
  TPropInfo& Stored(bool stored);
  template <class C>
  TPropInfo& Stored(bool (C::*isStored)() const);
  TPropInfo& NamedValues(const TIdentMap& idents) { Idents = &idents; return *this; }

  bool IsOrdinal() const { return Kind <= pkSet; }
  bool IsObject() const { return Kind == pkStrings || Kind == pkCollection || Kind == pkObject; }
  bool Writable() const;
  bool IsStored(const TPersistent& instance) const {
    return !NeverStored && (!StoredProc || StoredProc(instance));
  }
};

// The metadata of one class: its name, its parent's, its published properties in streaming
// order, and its published methods. Built once per class; immutable afterwards.
class TClassInfo {
public:
  using TDeclareProc = void (*)(TClassDecl& decl);
  TClassInfo(const char* name, const TClassInfo* parent, TDeclareProc declare);
  TClassInfo(const TClassInfo&) = delete;
  TClassInfo& operator=(const TClassInfo&) = delete;

  const char* Name() const { return FName; }
  const TClassInfo* Parent() const { return FParent; }
  bool InheritsFrom(const TClassInfo& other) const;
  // Every published property, inherited first.
  const std::vector<const TPropInfo*>& Properties() const { return FProps; }
  // A property by name, compared without case; null when there is none.
  const TPropInfo* FindProperty(std::string_view name) const;
  // A published method of this class or an ancestor, compared without case; null if none.
  const TMethodInfo* FindMethod(std::string_view name) const;

private:
  friend class TClassDecl;
  const char* FName;
  const TClassInfo* FParent;
  std::deque<TPropInfo> FOwnProps;   // deque: the pointers in FProps stay valid
  std::deque<TMethodInfo> FMethods;
  std::vector<const TPropInfo*> FProps;
};

namespace typinfo_detail {

template <class T>
struct IsTSet : std::false_type {};
template <class E>
struct IsTSet<TSet<E>> : std::true_type {};

template <class V>
int64_t ToOrd(const V& value) {
  if constexpr (IsTSet<V>::value)
    return static_cast<int64_t>(value.Mask());
  else
    return static_cast<int64_t>(value);
}

template <class V>
V FromOrd(int64_t value) {
  if constexpr (IsTSet<V>::value)
    return V::FromMask(static_cast<uint64_t>(value));
  else if constexpr (std::is_same_v<V, bool>)
    return value != 0;
  else
    return static_cast<V>(value);
}

// The class and value type of a getter (V (C::*)() const) and a setter (void (C::*)(V)).
template <class G>
struct Getter;
template <class C, class R>
struct Getter<R (C::*)() const> {
  using Class = C;
  using Value = std::remove_cvref_t<R>;
};
template <class S>
struct Setter;
template <class C, class A>
struct Setter<void (C::*)(A)> {
  using Class = C;
  using Value = std::remove_cvref_t<A>;
};

template <class C>
const C& As(const TPersistent& p) {
  return static_cast<const C&>(p);
}
template <class C>
C& As(TPersistent& p) {
  return static_cast<C&>(p);
}

}  // namespace typinfo_detail

// Collects the declarations of one class. Every call appends a property (or replaces an
// ancestor's of the same name in its place) and returns it for the modifiers.
class TClassDecl {
public:
  explicit TClassDecl(TClassInfo& info) : FInfo(info) {}

  template <class G, class S>
  TPropInfo& Integer(const char* name, G get, S set) { return Ordinal(name, pkInteger, get, set); }
  template <class G, class S>
  TPropInfo& Cardinal(const char* name, G get, S set) { return Ordinal(name, pkCardinal, get, set); }
  template <class G, class S>
  TPropInfo& Int64(const char* name, G get, S set) { return Ordinal(name, pkInt64, get, set); }
  template <class G, class S>
  TPropInfo& Boolean(const char* name, G get, S set) { return Ordinal(name, pkBoolean, get, set); }
  template <class G, class S>
  TPropInfo& Enumeration(const char* name, const TEnumInfo& type, G get, S set) {
    TPropInfo& p = Ordinal(name, pkEnumeration, get, set);
    p.EnumType = &type;
    return p;
  }
  template <class G, class S>
  TPropInfo& Set(const char* name, const TEnumInfo& elementType, G get, S set) {
    TPropInfo& p = Ordinal(name, pkSet, get, set);
    p.EnumType = &elementType;
    return p;
  }

  template <class G, class S>
  TPropInfo& String(const char* name, G get, S set) {
    using C = typename typinfo_detail::Getter<G>::Class;
    using SC = typename typinfo_detail::Setter<S>::Class;
    TPropInfo& p = Add(name, pkString);
    p.GetStr = [get](const TPersistent& o) { return std::string((typinfo_detail::As<C>(o).*get)()); };
    p.SetStr = [set](TPersistent& o, const std::string& v) { (typinfo_detail::As<SC>(o).*set)(v); };
    return p;
  }
  template <class G, class S>
  TPropInfo& WideString(const char* name, G get, S set) {
    using C = typename typinfo_detail::Getter<G>::Class;
    using SC = typename typinfo_detail::Setter<S>::Class;
    TPropInfo& p = Add(name, pkWideString);
    p.GetWideStr = [get](const TPersistent& o) {
      return std::u16string((typinfo_detail::As<C>(o).*get)());
    };
    p.SetWideStr = [set](TPersistent& o, const std::u16string& v) {
      (typinfo_detail::As<SC>(o).*set)(v);
    };
    return p;
  }

  // Owned objects: the getter gives the object (never null once constructed); the optional
  // setter copies a value into it (Assign), as the generic copy uses it.
  template <class G>
  TPropInfo& Strings(const char* name, G get) { return Object(name, pkStrings, get); }
  template <class G, class S>
  TPropInfo& Strings(const char* name, G get, S set) { return Object(name, pkStrings, get, set); }
  template <class G>
  TPropInfo& Collection(const char* name, G get) { return Object(name, pkCollection, get); }
  template <class G, class S>
  TPropInfo& Collection(const char* name, G get, S set) {
    return Object(name, pkCollection, get, set);
  }
  template <class G>
  TPropInfo& Object(const char* name, G get) { return Object(name, pkObject, get); }
  template <class G, class S>
  TPropInfo& Object(const char* name, G get, S set) { return Object(name, pkObject, get, set); }

  template <class G, class S>
  TPropInfo& Component(const char* name, G get, S set) {
    using C = typename typinfo_detail::Getter<G>::Class;
    using SC = typename typinfo_detail::Setter<S>::Class;
    using V = typename typinfo_detail::Setter<S>::Value;  // a pointer to a component class
    TPropInfo& p = Add(name, pkComponent);
    p.GetComponent = [get](const TPersistent& o) -> TComponent* {
      return (typinfo_detail::As<C>(o).*get)();
    };
    p.SetComponent = [set](TPersistent& o, TComponent* v) {
      auto* typed = dynamic_cast<V>(v);
      if (v && !typed) TypeMismatch();
      (typinfo_detail::As<SC>(o).*set)(typed);
    };
    return p;
  }

  // An event: a public std::function member bound to a method of the root by name.
  template <class C, class R, class... A>
  TPropInfo& Event(const char* name, std::function<R(A...)> C::*field) {
    using F = std::function<R(A...)>;
    using Thunk = TMethodThunk<R(A...)>;
    TPropInfo& p = Add(name, pkEvent);
    p.EventSignature = typeid(F);
    p.EventAssigned = [field](const TPersistent& o) {
      return static_cast<bool>(typinfo_detail::As<C>(o).*field);
    };
    p.GetEventBinding = [field](const TPersistent& o) {
      const Thunk* t = (typinfo_detail::As<C>(o).*field).template target<Thunk>();
      return t ? TEventBinding{t->Self, t->Method} : TEventBinding{};
    };
    p.SetEvent = [field](TPersistent& o, const std::any& method) {
      if (!method.has_value()) {
        typinfo_detail::As<C>(o).*field = nullptr;
        return true;
      }
      const F* f = std::any_cast<F>(&method);
      if (!f) return false;
      typinfo_detail::As<C>(o).*field = *f;
      return true;
    };
    p.CopyEvent = [field](TPersistent& o, const TPersistent& source) {
      typinfo_detail::As<C>(o).*field = typinfo_detail::As<C>(source).*field;
    };
    return p;
  }

  // A published method, bindable by name to events of the same signature.
  template <class C, class R, class... A>
  void Method(const char* name, R (C::*method)(A...)) {
    using F = std::function<R(A...)>;
    TMethodInfo& m = AddMethod(name, typeid(F));
    m.Bind = [method](TObject& self, const TMethodInfo& info) -> std::any {
      C* target = dynamic_cast<C*>(&self);
      if (!target) return std::any();
      TMethodThunk<R(A...)> thunk{&self, &info, [target, method](A... args) -> R {
                                    return (target->*method)(std::forward<A>(args)...);
                                  }};
      return std::any(F(std::move(thunk)));
    };
  }

private:
  // Raises EConvertError "Invalid property value": a typed setter was given an object of
  // another class.
  [[noreturn]] static void TypeMismatch();

  TPropInfo& Add(const char* name, TPropKind kind);
  TMethodInfo& AddMethod(const char* name, std::type_index signature);

  template <class G, class S>
  TPropInfo& Ordinal(const char* name, TPropKind kind, G get, S set) {
    using C = typename typinfo_detail::Getter<G>::Class;
    using V = typename typinfo_detail::Getter<G>::Value;
    TPropInfo& p = Add(name, kind);
    p.GetOrd = [get](const TPersistent& o) {
      return typinfo_detail::ToOrd<V>((typinfo_detail::As<C>(o).*get)());
    };
    (void)set;
    if constexpr (!std::is_null_pointer_v<S>) {  // nullptr: read-only
      using SC = typename typinfo_detail::Setter<S>::Class;
      using SV = typename typinfo_detail::Setter<S>::Value;
      p.SetOrd = [set](TPersistent& o, int64_t v) {
        (typinfo_detail::As<SC>(o).*set)(typinfo_detail::FromOrd<SV>(v));
      };
    }
    return p;
  }
  template <class G>
  TPropInfo& Object(const char* name, TPropKind kind, G get) {
    using C = typename typinfo_detail::Getter<G>::Class;
    TPropInfo& p = Add(name, kind);
    p.GetObject = [get](const TPersistent& o) -> TPersistent* {
      return (typinfo_detail::As<C>(o).*get)();
    };
    return p;
  }
  template <class G, class S>
  TPropInfo& Object(const char* name, TPropKind kind, G get, S set) {
    using SC = typename typinfo_detail::Setter<S>::Class;
    using V = typename typinfo_detail::Setter<S>::Value;  // a pointer type
    TPropInfo& p = Object(name, kind, get);
    p.SetObject = [set](TPersistent& o, const TPersistent* v) {
      using Target = std::remove_pointer_t<V>;
      auto* typed = dynamic_cast<const Target*>(v);
      if (v && !typed) TypeMismatch();
      (typinfo_detail::As<SC>(o).*set)(const_cast<Target*>(typed));
    };
    return p;
  }

  TClassInfo& FInfo;
};

template <class V>
TPropInfo& TPropInfo::Default(V value) {
  HasDefault = true;
  DefaultValue = typinfo_detail::ToOrd<V>(value);
  return *this;
}

template <class C>
TPropInfo& TPropInfo::Stored(bool (C::*isStored)() const) {
  NeverStored = false;
  StoredProc = [isStored](const TPersistent& o) { return (typinfo_detail::As<C>(o).*isStored)(); };
  return *this;
}

// The metadata of class T (which uses QV_CLASS), built on first use. Thread-safe.
template <class T>
const TClassInfo& ClassInfoOf() {
  using P = typename T::inherited;
  static const TClassInfo info(
      T::StaticClassName(), &ClassInfoOf<P>(),
      &T::DeclareClass == &P::DeclareClass ? nullptr : &T::DeclareClass);
  return info;
}
template <>
const TClassInfo& ClassInfoOf<TObject>();

// Gives a class its streamed class name and its metadata. Put it first in the class body;
// it leaves the body in the public section.
#define QV_CLASS(Class, Parent)                                                   \
public:                                                                           \
  using inherited = Parent;                                                       \
  static constexpr const char* StaticClassName() { return #Class; }               \
  const char* ClassName() const override { return #Class; }                       \
  const ::qv::TClassInfo& ClassType() const override { return ::qv::ClassInfoOf<Class>(); }

// --- Generic helpers driven by the metadata ----------------------------------------------

// Copies every published property the source's class shares with dest's, through the
// setters: ordinal values, strings, component references and events as they are; owned
// objects and collections by their setter or, without one, by Assign on the owned object.
// Properties declared Stored(false) (a component's Name) and read-only values are left.
void AssignPublished(TPersistent& dest, const TPersistent& source);

// The printable value of an ordinal property: the identifier of an enumeration value or a
// named constant, "[a, b]" for a set, True/False, or the decimal number.
std::string OrdinalToString(const TPropInfo& prop, int64_t value);

}  // namespace qv
