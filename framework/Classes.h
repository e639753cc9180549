// The persistent-object and component model: TObject, TPersistent, TComponent with its
// owner model and free notification, the class registry used while reading component
// streams, and the 8-bit string lists TStrings/TStringList.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "framework/SysUtils.h"
#include "framework/TypInfo.h"
#include "framework/Types.h"

namespace qv {

class TFiler;
class TObject;
class TStream;
class TComponent;

QV_DECLARE_EXCEPTION(EListError, Exception);
QV_DECLARE_EXCEPTION(EStringListError, Exception);
QV_DECLARE_EXCEPTION(EComponentError, Exception);
QV_DECLARE_EXCEPTION(EStreamError, Exception);
QV_DECLARE_EXCEPTION(EFilerError, EStreamError);
QV_DECLARE_EXCEPTION(EClassNotFound, EFilerError);

inline constexpr const char* SListIndexError = "List index out of bounds (%d)";
inline constexpr const char* SListCapacityError = "List capacity out of bounds (%d)";
inline constexpr const char* SSortedListError = "Operation not allowed on sorted list";
inline constexpr const char* SDuplicateString = "String list does not allow duplicates";
inline constexpr const char* SAssignError = "Cannot assign a %s to a %s";
inline constexpr const char* SInvalidName = "'%s' is not a valid component name";
inline constexpr const char* SDuplicateName = "A component named %s already exists";
inline constexpr const char* SDuplicateClass = "A class named %s already exists";
inline constexpr const char* SClassNotFound = "Class %s not found";

using TNotifyEvent = std::function<void(TObject* sender)>;

// Root of the class tree. ClassName is the streamed class name; every class that can be
// named in a stream or a message overrides it.
class TObject {
public:
  TObject() = default;
  virtual ~TObject() = default;
  static constexpr const char* StaticClassName() { return "TObject"; }
  virtual const char* ClassName() const { return "TObject"; }
  // The published-property metadata of the object's class (framework/TypInfo.h).
  virtual const TClassInfo& ClassType() const;
  // States the class's published properties and methods; none here.
  static void DeclareClass(TClassDecl&) {}
};

// An object that can be copied property by property (Assign) and can store extra
// property data in a component stream (DefineProperties).
class TPersistent : public TObject {
  QV_CLASS(TPersistent, TObject)
  // Copies from source. The base asks the source to AssignTo this object; when neither
  // side knows the other, EConvertError "Cannot assign a X to a Y" (X is "nil" for null).
  virtual void Assign(const TPersistent* source);
  // Extra, non-published stream data ("Strings" of a string list). Does nothing here.
  virtual void DefineProperties(TFiler& filer);
  // The object whose property this one is, for name paths; null by default.
  virtual TPersistent* GetOwner() const { return nullptr; }

protected:
  virtual void AssignTo(TPersistent* dest) const;
  [[noreturn]] void AssignError(const TPersistent* source) const;
};

// True for a valid identifier: a letter or "_", then letters, digits and "_" (ASCII).
bool IsValidIdent(std::string_view ident);

enum TComponentStateItem : uint8_t {
  csLoading, csReading, csWriting, csDestroying, csDesigning, csAncestor, csUpdating,
  csFixups, csFreeNotification, csInline, csDesignInstance
};
using TComponentState = TSet<TComponentStateItem>;

enum TOperation : uint8_t { opInsert, opRemove };

using TGetChildProc = std::function<void(TComponent* child)>;

// A named persistent object in an ownership tree.
//
// Ownership: a component created with an owner is freed by that owner (owned components
// are freed last-created first when the owner is destroyed). Deleting an owned component
// yourself is fine: it leaves its owner first. A component without owner belongs to whoever
// created it (usually a std::unique_ptr).
//
// Free notification: FreeNotification(other) links two components so that each is told
// through Notification(x, opRemove) when the other is destroyed. Components with the same
// owner need no link; the owner tells all its components when one of them leaves, also
// while the owner frees them: a component that took part in FreeNotification leaves with a
// notice then, the others leave quietly.
//
// Destruction order: C++ runs this base destructor after the derived parts are gone, so
// Notification calls that reach this object while it is being destroyed are not seen by
// derived overrides. A derived class that must react to its owned components leaving
// calls Destroying() and DestroyComponents() at the start of its own destructor.
class TComponent : public TPersistent {
  QV_CLASS(TComponent, TPersistent)
  // Name (written in the object's header, not as a property) and Tag (default 0).
  static void DeclareClass(TClassDecl& c);

  explicit TComponent(TComponent* owner);
  ~TComponent() override;
  TComponent(const TComponent&) = delete;
  TComponent& operator=(const TComponent&) = delete;

  const std::string& Name() const { return FName; }
  // Raises EComponentError for an invalid identifier (empty is allowed) or for a name that
  // another component of the same owner has (compared without case).
  virtual void SetName(const std::string& value);
  intptr_t Tag() const { return FTag; }
  void SetTag(intptr_t value) { FTag = value; }
  // The design position a designer gave the component; streamed as Left and Top when not 0.
  TPoint DesignPosition() const { return FDesignPosition; }
  void SetDesignPosition(TPoint value) { FDesignPosition = value; }

  TComponent* Owner() const { return FOwner; }
  int ComponentCount() const { return static_cast<int>(FComponents.size()); }
  // Raises EListError for a bad index.
  TComponent* Components(int index) const;
  // Index in the owner's list, -1 without owner.
  int ComponentIndex() const;
  // The owned component with that name (case-insensitive), or null.
  TComponent* FindComponent(std::string_view name) const;

  TComponentState ComponentState() const { return FComponentState; }
  // For the stream reader and the designers: sets or clears one state flag.
  void IncludeState(TComponentStateItem item) { FComponentState.Include(item); }
  void ExcludeState(TComponentStateItem item) { FComponentState.Exclude(item); }

  // Takes ownership of `component` (which must have no owner); tells every owned
  // component about it through Notification(component, opInsert).
  void InsertComponent(TComponent* component);
  // Gives up ownership; tells every owned component through Notification(opRemove).
  void RemoveComponent(TComponent* component);
  // Frees every owned component, last first.
  void DestroyComponents();
  // Marks this component and all it owns as being destroyed.
  void Destroying();

  void FreeNotification(TComponent* component);
  void RemoveFreeNotification(TComponent* component);

  // Called by the stream reader after all properties of the whole tree were read.
  virtual void Loaded();
  // Stream hooks for components that have a parent besides their owner.
  virtual void GetChildren(const TGetChildProc& proc, TComponent* root);
  virtual TComponent* GetChildOwner() { return nullptr; }
  virtual TComponent* GetChildParent() { return this; }
  virtual bool HasParent() const { return false; }
  virtual TComponent* GetParentComponent() const { return nullptr; }
  virtual void SetParentComponent(TComponent* value);

  TPersistent* GetOwner() const override { return FOwner; }
  // Defines Left and Top, the design position.
  void DefineProperties(TFiler& filer) override;

  // Reaction to another component being inserted or removed (owned components) or
  // destroyed (free-notification links). The base drops a free-notification link on
  // removal and passes the call on to every owned component.
  virtual void Notification(TComponent* component, TOperation operation);

protected:
  virtual void ValidateRename(TComponent* component, std::string_view curName,
                              std::string_view newName);
  virtual void ValidateInsert(TComponent* component);

private:
  void InsertNoNotify(TComponent* component);
  void RemoveNoNotify(TComponent* component);

  std::string FName;
  intptr_t FTag = 0;
  TPoint FDesignPosition;
  TComponent* FOwner = nullptr;               // not owned
  std::vector<TComponent*> FComponents;       // owned; freed in DestroyComponents
  std::vector<TComponent*> FFreeNotifies;     // not owned; symmetric links
  TComponentState FComponentState;
};

// Class registry: streamable component classes by name, so a stream reader can create a
// component from the class name it reads. Names compare without case. Thread-safe.
using TComponentFactory = TComponent* (*)(TComponent* owner);

// Registers a class once. Registering the same name with the same factory again does
// nothing; with a different factory it raises EFilerError "A class named X already exists".
void RegisterClass(std::string_view className, TComponentFactory factory);
void UnRegisterClass(std::string_view className);
// The factory for a class name, or null.
TComponentFactory GetClass(std::string_view className);
// The factory for a class name; raises EClassNotFound "Class X not found".
TComponentFactory FindClass(std::string_view className);

template <class T>
TComponent* CreateComponentOf(TComponent* owner) { return new T(owner); }

// ---------------------------------------------------------------------------------------
// 8-bit string lists. Strings hold bytes in the system code page.

enum TDuplicates : uint8_t { dupIgnore, dupAccept, dupError };

// Abstract list of strings with an object per string. Indexes are 0-based; a bad index
// raises EStringListError "List index out of bounds (%d)".
class TStrings : public TPersistent {
  QV_CLASS(TStrings, TPersistent)

  virtual int Count() const = 0;
  virtual std::string Get(int index) const = 0;
  std::string Strings(int index) const { return Get(index); }
  void SetStrings(int index, const std::string& s) { Put(index, s); }
  virtual TObject* GetObject(int index) const;
  TObject* Objects(int index) const { return GetObject(index); }
  void SetObjects(int index, TObject* obj) { PutObject(index, obj); }

  virtual int Add(const std::string& s);
  virtual int AddObject(const std::string& s, TObject* obj);
  void Append(const std::string& s) { Add(s); }
  virtual void AddStrings(const TStrings& strings);
  virtual void Insert(int index, const std::string& s) = 0;
  virtual void InsertObject(int index, const std::string& s, TObject* obj);
  virtual void Delete(int index) = 0;
  virtual void Clear() = 0;
  virtual void Exchange(int index1, int index2);
  virtual void Move(int curIndex, int newIndex);
  virtual void Put(int index, const std::string& s);
  virtual void PutObject(int index, TObject* obj);

  // First index whose string compares equal by CompareStrings, else -1.
  virtual int IndexOf(std::string_view s) const;
  // First index of a "Name=Value" string with that name (CompareStrings), else -1.
  int IndexOfName(std::string_view name) const;
  int IndexOfObject(const TObject* obj) const;
  std::string Names(int index) const;
  std::string Values(std::string_view name) const;
  // Sets the value of a name; an empty value deletes the entry.
  void SetValues(std::string_view name, const std::string& value);

  // The lines, each followed by CR LF.
  virtual std::string Text() const;
  // Replaces the lines by those of text; lines end at CR LF, LF or CR. A final line break
  // adds no empty line.
  virtual void SetText(std::string_view text);

  bool Equals(const TStrings& other) const;

  void BeginUpdate();
  void EndUpdate();
  int UpdateCount() const { return FUpdateCount; }

  // Copies strings and objects from another TStrings; other sources as the base says.
  void Assign(const TPersistent* source) override;

  // Streams the lines as the list data "Strings", when there are any. Read data replaces the
  // lines only once the whole list was read.
  void DefineProperties(TFiler& filer) override;

  // Reads the rest of the stream as text (system code page) into the list.
  virtual void LoadFromStream(TStream& stream);
  virtual void SaveToStream(TStream& stream) const;
  void LoadFromFile(const std::string& fileName);
  void SaveToFile(const std::string& fileName) const;

  // Comparison used by IndexOf: by the user locale, ignoring case. -1, 0 or +1.
  virtual int CompareStrings(std::string_view s1, std::string_view s2) const;

protected:
  // Called when the update count leaves or reaches zero.
  virtual void SetUpdateState(bool updating);
  [[noreturn]] void Error(const char* message, int data) const;

private:
  int FUpdateCount = 0;
};

// Runs body between list.BeginUpdate() and list.EndUpdate() of any list with an update
// bracket. The bracket is closed on the way out of an exception too, so a failed bulk change
// leaves the update count balanced. (Not a destructor: EndUpdate fires change events, and a
// handler that throws must not meet an exception already in flight.)
template <class TList, class F>
void WithinUpdate(TList& list, F&& body) {
  list.BeginUpdate();
  try {
    body();
  } catch (...) {
    list.EndUpdate();
    throw;
  }
  list.EndUpdate();
}

// The framework's concrete string list: optionally sorted, with a duplicates rule and a
// case-sensitivity switch. Objects are not owned.
class TStringList : public TStrings {
  QV_CLASS(TStringList, TStrings)
  TStringList() = default;
  ~TStringList() override;
  TStringList(const TStringList&) = delete;
  TStringList& operator=(const TStringList&) = delete;

  int Count() const override { return static_cast<int>(FList.size()); }
  std::string Get(int index) const override;
  TObject* GetObject(int index) const override;
  int Add(const std::string& s) override;
  int AddObject(const std::string& s, TObject* obj) override;
  void Insert(int index, const std::string& s) override;
  void InsertObject(int index, const std::string& s, TObject* obj) override;
  void Delete(int index) override;
  void Clear() override;
  void Exchange(int index1, int index2) override;
  void Put(int index, const std::string& s) override;
  void PutObject(int index, TObject* obj) override;
  int IndexOf(std::string_view s) const override;

  // Bisection search of a sorted list. True when found; index is then the found item
  // (the first equal one when duplicates are accepted), else the insertion point.
  virtual bool Find(std::string_view s, int& index) const;
  virtual void Sort();
  // Sorts with a custom comparison (negative, zero, positive), stable.
  void CustomSort(const std::function<int(const TStringList&, int, int)>& compare);

  bool Sorted() const { return FSorted; }
  void SetSorted(bool value);
  TDuplicates Duplicates() const { return FDuplicates; }
  void SetDuplicates(TDuplicates value) { FDuplicates = value; }
  bool CaseSensitive() const { return FCaseSensitive; }
  // Changing it re-sorts a sorted list.
  void SetCaseSensitive(bool value);

  // By the user locale, with or without case by CaseSensitive.
  int CompareStrings(std::string_view s1, std::string_view s2) const override;

  TNotifyEvent OnChange;
  TNotifyEvent OnChanging;

protected:
  void SetUpdateState(bool updating) override;
  virtual void Changed();
  virtual void Changing();
  // Inserts without the sorted-list check (the index is already the right place).
  void InsertItem(int index, const std::string& s, TObject* obj);

private:
  struct TItem {
    std::string S;
    TObject* Obj;  // not owned
  };
  void CheckIndex(int index) const;

  std::vector<TItem> FList;
  bool FSorted = false;
  TDuplicates FDuplicates = dupIgnore;
  bool FCaseSensitive = false;
};

}  // namespace qv
