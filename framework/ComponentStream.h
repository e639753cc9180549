// The component stream reader and writer: components and their published properties to and
// from the binary component stream ("TPF0", framework/ObjectBinary.h), driven by the
// property metadata (framework/TypInfo.h). The text form is the binary form passed through
// framework/ObjectText.h.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "framework/Classes.h"
#include "framework/Filer.h"
#include "framework/ObjectBinary.h"
#include "framework/Streams.h"

namespace qv {

inline constexpr const char* SErrorReading = "Error reading %s%s: %s";
inline constexpr const char* SUnknownProperty = "Property %s does not exist";
inline constexpr const char* SInvalidPropertyPath = "Invalid property path";

class TCollection;

// Global components that qualified references may start from ("Form1.Lexer1" when Form1 is
// neither the root nor a component near it). Hosts register a lookup; none by default.
using TFindGlobalComponent = std::function<TComponent*(std::string_view name)>;
void RegisterFindGlobalComponentProc(TFindGlobalComponent proc);
TComponent* FindGlobalComponent(std::string_view name);

// The reader's error hook: handled = true skips the offending value (or child object) and
// reading goes on; false makes the reader raise the error.
using TReaderError = std::function<void(TReader& reader, const std::string& message, bool& handled)>;

// Reads components from a binary component stream.
//
// Objects are read into existing components or created by class name through the class
// registry. A property error (unknown property, a value of the wrong kind or out of range,
// an unknown identifier or class, a setter's exception) is reported as "Error reading
// <Name>.<path>: <reason>", where Name is the component's name (its class name when empty)
// and the path leads through owned objects and collection items ("Items[2].Caption"). The
// message goes to OnError first; when that handles it, the whole value is skipped, so the
// next property reads cleanly. Errors of the stream itself (truncated or corrupt data) are
// never skippable. An error is offered once, at the property it concerns.
//
// Component references are kept as names while reading and resolved against Root when the
// reading ends; a name that resolves to nothing leaves the reference empty. Every component
// read is marked csLoading and csReading, and gets Loaded when the reading ends.
class TComponentReader : public TReader {
public:
  explicit TComponentReader(TStream& stream);
  ~TComponentReader() override;
  TComponentReader(const TComponentReader&) = delete;
  TComponentReader& operator=(const TComponentReader&) = delete;

  // The component references are resolved against, and whose methods events bind to.
  TComponent* Root() const { return FRoot; }
  void SetRoot(TComponent* value) { FRoot = value; }
  // The owner of the child components read next, and their parent component.
  TComponent* Owner() const { return FOwner; }
  void SetOwner(TComponent* value) { FOwner = value; }
  TComponent* Parent() const { return FParent; }
  void SetParent(TComponent* value) { FParent = value; }

  TReaderError OnError;

  // Reads the signature, then one object as the root: into root when given, else into a
  // component created by the object's class name without owner (returned; the caller owns
  // it). References are resolved and Loaded is called before it returns.
  TComponent* ReadRootComponent(TComponent* root);

  void ReadSignature();
  // Starts collecting the components read and the references to resolve.
  void BeginReferences();
  // Reads one object: its properties and children into component, or into a new component
  // of the object's class owned by Owner. Returns the component, or null when the object
  // was skipped through OnError.
  TComponent* ReadComponent(TComponent* component);
  // Resolves the references collected so far, then calls Loaded on every component read.
  void FixupReferences();
  // Ends what BeginReferences started. After an error it still clears the loading state of
  // the components read and gives each its Loaded, so none is left half in loading state.
  void EndReferences();

  // TFiler
  void DefineProperty(const std::string& name, const TReaderProc& readData,
                      const TWriterProc& writeData, bool hasData) override;
  // TReader: the values of defined property data.
  void ReadListBegin() override;
  bool EndOfList() override;
  void ReadListEnd() override;
  std::string ReadString() override;
  std::u16string ReadWideString() override;
  int64_t ReadInteger() override;
  bool ReadBoolean() override;
  std::string ReadBinary() override;

  TBinaryReader& Binary() { return FBinary; }

private:
  // One step from a component to the object a property belongs to: an owned object, or the
  // item of a collection with the ID ItemID (IDs are never reused, so an item that a later
  // value replaced is not found again).
  struct TFixupStep {
    const TPropInfo* Prop;
    int ItemID;
  };
  // A reference read as a name, resolved when the reading ends.
  struct TFixup {
    TComponent* Component;  // the component whose object tree holds the property
    std::vector<TFixupStep> Steps;
    const TPropInfo* Prop;
    std::string Name;
    std::string Path;  // for messages
  };

  void ReadData(TComponent* instance);
  void ReadProperty(TPersistent* instance);
  void ReadPropValue(TPersistent* instance, const TPropInfo& prop, const std::string& path);
  void ReadCollection(TCollection& collection, const std::string& path);
  void SkipObject();
  void SkipObjectBody();
  // Offers message to OnError; raises it when not handled.
  void HandleError(const std::string& message);
  TComponent* ResolveName(std::string_view name) const;

  TBinaryReader FBinary;
  TComponent* FRoot = nullptr;     // not owned
  TComponent* FOwner = nullptr;    // not owned
  TComponent* FParent = nullptr;   // not owned
  int FLevel = 0;                  // objects and collections being read
  bool FCollecting = false;
  std::vector<TComponent*> FLoaded;  // not owned; in reading order
  std::vector<TFixup> FFixups;
  TComponent* FCurrent = nullptr;    // the component whose properties are being read
  std::vector<TFixupStep> FSteps;    // from FCurrent to the object being read
  // The defined property being looked for, for DefineProperty.
  std::string FPropName;
  bool FPropFound = false;
  std::string FPathPrefix;  // "Root1." or "Root1.Items[2]."
};

// Writes components to a binary component stream.
//
// What is written follows the metadata: published properties in streaming order, skipped
// when their stored rule says so, when read-only, when an ordinal equals its declared
// default, when a string is empty, or when a reference or event is not set; collections are
// always written; owned objects as dotted sub-properties at their property's place; then the
// defined properties; then the children the component's GetChildren yields for Root. A
// reference is written as the component's name when its owner is Root, "Owner" for Root
// itself, and "<owner>.<name>" otherwise. An event is written only when it is bound by name
// to a method Root publishes.
class TComponentWriter : public TWriter {
public:
  explicit TComponentWriter(TStream& stream);
  TComponentWriter(const TComponentWriter&) = delete;
  TComponentWriter& operator=(const TComponentWriter&) = delete;

  TComponent* Root() const { return FRoot; }
  void SetRoot(TComponent* value) { FRoot = value; }

  // Sets Root, then writes the signature and root as an object.
  void WriteRootComponent(TComponent* root);
  void WriteSignature();
  // Writes one object: header, properties, children.
  void WriteComponent(TComponent* component);
  // The published and defined properties of instance, each path starting with prefix.
  void WriteProperties(const TPersistent& instance, const std::string& prefix);

  // TFiler
  void DefineProperty(const std::string& name, const TReaderProc& readData,
                      const TWriterProc& writeData, bool hasData) override;
  // TWriter
  void WriteListBegin() override;
  void WriteListEnd() override;
  void WriteString(const std::string& value) override;
  void WriteWideString(const std::u16string& value) override;
  void WriteInteger(int64_t value) override;
  void WriteBoolean(bool value) override;
  void WriteBinary(const std::string& bytes) override;

  TBinaryWriter& Binary() { return FBinary; }

  // The name a reference to component is written as, relative to root; empty when the
  // component cannot be named from there.
  static std::string ComponentPath(const TComponent* component, const TComponent* root);

private:
  void WriteProperty(const TPersistent& instance, const TPropInfo& prop,
                     const std::string& prefix);
  void WriteCollection(const TCollection& collection);

  TBinaryWriter FBinary;
  TComponent* FRoot = nullptr;  // not owned
  std::string FPrefix;          // path of the object whose defined properties are written
};

// Writes component as a root object in binary form (signature included).
void WriteComponentBinary(TStream& stream, TComponent* component);
// Writes component as a root object in text form.
void WriteComponentText(TStream& stream, TComponent* component);
// Reads a root object in text form into component; onError as the reader's hook.
void ReadComponentText(TStream& stream, TComponent* component, const TReaderError& onError = {});

// Compares two objects property by property through their metadata: ordinals, strings,
// owned objects and collections recursively, the defined properties by their written data,
// references by the referenced component's name (and its owner's), events by the name of
// the method they are bound to (an event assigned in code, without a name, counts as none). Returns true when equal; otherwise false with the path of the first difference in
// difference (when given).
bool SamePublishedValues(const TPersistent& a, const TPersistent& b,
                         std::string* difference = nullptr);

}  // namespace qv
