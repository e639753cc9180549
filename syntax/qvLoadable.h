// Loadable components: the common base of lexers and lexer libraries, saved to and loaded
// from files, streams and compiled-in resources in the textual component format.
#pragma once

#include <string>
#include <string_view>

#include "framework/Classes.h"
#include "framework/Filer.h"
#include "framework/Resources.h"
#include "framework/Streams.h"

namespace qv {

inline constexpr const char* SIgnoreReadError = "Ignore this error?";

// A component that reads and writes itself as one object in text form.
//
// Saving writes the component through a binary buffer converted to text; with an owner, the
// owner is the root of the writing, so references to the owner's other components are
// written by plain name. Loading converts the text to binary and reads it into this
// component (with an owner, the owner is again the root that references resolve against).
// Read errors go to HandleReadError, which asks whether to go on.
class TLoadableComponent : public TComponent {
  QV_CLASS(TLoadableComponent, TComponent)
  // Name and Tag, published again.
  static void DeclareClass(TClassDecl& c);

  explicit TLoadableComponent(TComponent* owner) : TComponent(owner) {}

  // The reader's error hook. Handled := IgnoreAll; otherwise the message dialog "Ignore this
  // error?" CR LF message with Yes, No and All: Yes skips the value, All skips it and every
  // later error of this load without asking, No makes the load fail.
  virtual void HandleReadError(TReader& reader, const std::string& message, bool& handled);
  // Creates (or replaces) the file, saves, and then takes fileName as FileName.
  virtual void SaveToFile(const std::string& fileName);
  virtual void SaveToStream(TStream& stream);
  virtual void LoadFromFile(const std::string& fileName);
  virtual void LoadFromResourceID(HINSTANCE instance, int resID, std::string_view resType);
  virtual void LoadFromResourceName(HINSTANCE instance, std::string_view resName,
                                    std::string_view resType);
  virtual void LoadFromStream(TStream& stream);

  // While this component loads itself, the name stays as it is. While any lexer stream is
  // read, a name the owner already holds is replaced by a generated one: the class name
  // without its first letter and the smallest free number from 1 ("LibSyntAnalyzer2").
  void SetName(const std::string& newName) override;

  // The last file saved to.
  const std::string& FileName() const { return FFileName; }
  bool IgnoreAll() const { return FIgnoreAll; }
  void SetIgnoreAll(bool value) { FIgnoreAll = value; }
  bool IsLoadingFromStream() const { return FLoadingFromStream; }
  bool IsSavingToStream() const { return FSavingToStream; }
  // True while any LoadFromStream runs (one load at a time, in the GUI thread).
  static bool LexerStreamReading();

private:
  std::string FFileName;
  bool FLoadingFromStream = false;
  bool FIgnoreAll = false;
  bool FSavingToStream = false;
};

}  // namespace qv
