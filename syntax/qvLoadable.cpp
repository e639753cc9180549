// Loadable components: file, stream and resource loading and saving, and read errors.
#include "syntax/qvLoadable.h"

#include "framework/ComponentStream.h"
#include "framework/Dialogs.h"
#include "framework/ObjectText.h"

namespace qv {

namespace {

// Set around every LoadFromStream; one load at a time.
bool GLexerStreamReading = false;

// Sets a flag for as long as it lives, also when an exception leaves.
class TFlagScope {
public:
  explicit TFlagScope(bool& flag) : FFlag(flag), FSaved(flag) { FFlag = true; }
  ~TFlagScope() { FFlag = FSaved; }
  TFlagScope(const TFlagScope&) = delete;
  TFlagScope& operator=(const TFlagScope&) = delete;

private:
  bool& FFlag;
  bool FSaved;
};

}  // namespace

void TLoadableComponent::DeclareClass(TClassDecl& c) {
  c.String("Name", &TLoadableComponent::Name, &TLoadableComponent::SetName).Stored(false);
  c.Integer("Tag", &TLoadableComponent::Tag, &TLoadableComponent::SetTag).Default(0);
}

bool TLoadableComponent::LexerStreamReading() { return GLexerStreamReading; }

void TLoadableComponent::HandleReadError(TReader&, const std::string& message, bool& handled) {
  handled = FIgnoreAll;
  if (FIgnoreAll) return;
  switch (MessageDlg(std::string(SIgnoreReadError) + "\r\n" + message, mtError,
                     TMsgDlgButtons{mbYes, mbNo, mbAll})) {
    case mrYes: handled = true; break;
    case mrAll:
      handled = true;
      FIgnoreAll = true;
      break;
    default: break;
  }
}

void TLoadableComponent::SaveToFile(const std::string& fileName) {
  {
    TFileStream stream(fileName, fmCreate);
    SaveToStream(stream);
  }
  FFileName = fileName;
}

void TLoadableComponent::SaveToStream(TStream& stream) {
  TFlagScope saving(FSavingToStream);
  TMemoryStream binary;
  TComponentWriter writer(binary);
  if (Owner()) {
    writer.SetRoot(Owner());
    writer.WriteSignature();
    writer.WriteComponent(this);
  } else {
    writer.WriteRootComponent(this);
  }
  binary.SetPosition(0);
  ObjectBinaryToText(binary, stream);
}

void TLoadableComponent::LoadFromFile(const std::string& fileName) {
  TFileStream stream(fileName, fmOpenRead | fmShareDenyWrite);
  LoadFromStream(stream);
}

void TLoadableComponent::LoadFromResourceID(HINSTANCE instance, int resID,
                                            std::string_view resType) {
  TResourceStream stream(instance, resID, resType);
  LoadFromStream(stream);
}

void TLoadableComponent::LoadFromResourceName(HINSTANCE instance, std::string_view resName,
                                              std::string_view resType) {
  TResourceStream stream(instance, resName, resType);
  LoadFromStream(stream);
}

void TLoadableComponent::LoadFromStream(TStream& stream) {
  TFlagScope loading(FLoadingFromStream);
  TFlagScope reading(GLexerStreamReading);
  FIgnoreAll = false;
  TMemoryStream binary;
  ObjectTextToBinary(stream, binary);
  binary.SetPosition(0);
  TComponentReader reader(binary);
  reader.OnError = [this](TReader& r, const std::string& message, bool& handled) {
    HandleReadError(r, message, handled);
  };
  if (Owner()) {
    reader.SetRoot(Owner());
    reader.ReadSignature();
    reader.BeginReferences();
    try {
      reader.ReadComponent(this);
      reader.FixupReferences();
    } catch (...) {
      reader.EndReferences();
      throw;
    }
    reader.EndReferences();
  } else {
    reader.ReadRootComponent(this);
  }
}

void TLoadableComponent::SetName(const std::string& newName) {
  if (FLoadingFromStream) return;
  TComponent* owner = Owner();
  if (GLexerStreamReading && owner) {
    TComponent* holder = owner->FindComponent(newName);
    if (holder && holder != this && !newName.empty()) {
      std::string base = std::string(ClassName()).substr(1);
      for (int n = 1;; ++n) {
        std::string candidate = base + std::to_string(n);
        if (!owner->FindComponent(candidate)) {
          TComponent::SetName(candidate);
          return;
        }
      }
    }
  }
  TComponent::SetName(newName);
}

}  // namespace qv
