// Objects an editor can embed in a line of text and draw in place of characters: a picture,
// an image taken by index from the host's image list, and a live window control. Each one
// reports its size for a canvas (scaled from screen to canvas resolution) and draws itself
// into a rectangle. The unit keeps a registry of the embedded-object classes, so an editor
// can create objects from a class reference.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "framework/Classes.h"
#include "framework/Controls.h"
#include "framework/Graphics.h"
#include "framework/Types.h"
#include "framework/Units.h"

namespace qv {

class TqvCustomEmbeddedObject;

// A class reference of an embedded object: its name and its constructor, so that objects can
// be created from the registry without knowing the class.
class TqvEmbeddedObjectClass {
public:
  using TFactory = std::unique_ptr<TqvCustomEmbeddedObject> (*)();
  constexpr TqvEmbeddedObjectClass(const char* className, TFactory factory)
      : FClassName(className), FFactory(factory) {}
  const char* ClassName() const { return FClassName; }
  // A new object of the class, as its constructor leaves it.
  std::unique_ptr<TqvCustomEmbeddedObject> Create() const { return FFactory(); }

private:
  const char* FClassName;
  TFactory FFactory;
};

// The base of embedded objects. Number, Caption and TypeCode are kept for the editor, which
// gives them their meaning; Host is the component that hosts the object (not owned).
// Objects are not copyable.
class TqvCustomEmbeddedObject : public TObject {
public:
  static constexpr const char* StaticClassName() { return "TqvCustomEmbeddedObject"; }
  const char* ClassName() const override { return "TqvCustomEmbeddedObject"; }

  TqvCustomEmbeddedObject() = default;
  TqvCustomEmbeddedObject(const TqvCustomEmbeddedObject&) = delete;
  TqvCustomEmbeddedObject& operator=(const TqvCustomEmbeddedObject&) = delete;

  virtual uint8_t TypeCode() const { return FTypeCode; }
  virtual std::string Caption() const { return FCaption; }
  virtual int32_t Number() const { return FNumber; }
  virtual void SetNumber(int32_t value) { FNumber = value; }
  virtual void SetTypeCode(uint8_t value) { FTypeCode = value; }
  virtual void SetCaption(const std::string& value) { FCaption = value; }
  virtual void SetHost(TComponent* value) { FHost = value; }
  TComponent* Host() const { return FHost; }

  // Whether LoadFromClipboardFormat can load that format; none here.
  virtual bool SupportsClipboardFormat(uint16_t format);
  // Loads the object from the clipboard's data of that format; true when it did. Not here.
  virtual bool LoadFromClipboardFormat(uint16_t format);

  // The class reference, from which a new object of the same class can be created.
  virtual const TqvEmbeddedObjectClass& ClassRef() const = 0;

  // Hooks for an editor: the object was placed in or taken out of a text. No effect here.
  virtual void Attach(TObject* sender);
  virtual void Detach(TObject* sender);

  // Draws the object into rect of the canvas. Raises EAbstractError "Abstract Error" in a
  // class that does not draw.
  virtual void Draw(TObject* sender, TCanvas* canvas, const TRect& rect);
  // The object's size in pixels of the canvas. Leaves size as it is here.
  virtual void GetSize(TObject* sender, TCanvas* canvas, TSize& size);
  // Hook for an editor that offers the object a size of its own. No effect here.
  virtual void Resize(TSize size);

private:
  int32_t FNumber = 0;
  std::string FCaption;
  uint8_t FTypeCode = 0;
  TComponent* FHost = nullptr;  // not owned
};

// A picture embedded in text; TypeCode 3. Owns its picture.
class TqvEmbeddedImage : public TqvCustomEmbeddedObject {
public:
  static constexpr const char* StaticClassName() { return "TqvEmbeddedImage"; }
  const char* ClassName() const override { return "TqvEmbeddedImage"; }
  static const TqvEmbeddedObjectClass& StaticClass();
  const TqvEmbeddedObjectClass& ClassRef() const override { return StaticClass(); }

  TqvEmbeddedImage();

  TPicture& Picture() { return *FPicture; }
  const TPicture& Picture() const { return *FPicture; }

  // The clipboard formats the picture class can load.
  bool SupportsClipboardFormat(uint16_t format) override;
  // Loads the picture from the clipboard; errors of the picture pass through.
  bool LoadFromClipboardFormat(uint16_t format) override;

  // Stretches the picture into rect.
  void Draw(TObject* sender, TCanvas* canvas, const TRect& rect) override;
  // The picture's size scaled to the canvas; the default size (0, 0) without a canvas.
  void GetSize(TObject* sender, TCanvas* canvas, TSize& size) override;

private:
  std::unique_ptr<TPicture> FPicture;  // owned, never null
};

// An image of the host's image list, by index; TypeCode 2. The host supplies the list when
// it is an image list or an IImageListHost.
class TqvEmbeddedImageIdx : public TqvCustomEmbeddedObject {
public:
  static constexpr const char* StaticClassName() { return "TqvEmbeddedImageIdx"; }
  const char* ClassName() const override { return "TqvEmbeddedImageIdx"; }
  static const TqvEmbeddedObjectClass& StaticClass();
  const TqvEmbeddedObjectClass& ClassRef() const override { return StaticClass(); }

  TqvEmbeddedImageIdx();

  int ImageIndex() const { return FImageIndex; }
  void SetImageIndex(int value) { FImageIndex = value; }

  // Draws the image at rect's top-left corner at its own size; nothing for a missing list or
  // an index outside it.
  void Draw(TObject* sender, TCanvas* canvas, const TRect& rect) override;
  // The list's image size scaled to the canvas; the default size without list or canvas.
  void GetSize(TObject* sender, TCanvas* canvas, TSize& size) override;

private:
  int FImageIndex = 0;
};

// A live window control embedded in text; TypeCode 0. Owns its control, which must not be
// freed by anyone else.
class TqvEmbeddedControl : public TqvCustomEmbeddedObject {
public:
  static constexpr const char* StaticClassName() { return "TqvEmbeddedControl"; }
  const char* ClassName() const override { return "TqvEmbeddedControl"; }
  static const TqvEmbeddedObjectClass& StaticClass();
  const TqvEmbeddedObjectClass& ClassRef() const override { return StaticClass(); }

  TqvEmbeddedControl() = default;

  TWinControl* Control() const { return FControl.get(); }
  // Takes the control, freeing the former one; links it to the host as SetHost does.
  void SetControl(std::unique_ptr<TWinControl> value);
  // Links host and control by free notification, so each learns when the other is freed.
  void SetHost(TComponent* value) override;

  // Moves the control to rect when it is not already at rect's top-left corner, then
  // refreshes it.
  void Draw(TObject* sender, TCanvas* canvas, const TRect& rect) override;
  // The control's own size when sender is its parent; the default size otherwise.
  void GetSize(TObject* sender, TCanvas* canvas, TSize& size) override;

private:
  std::unique_ptr<TWinControl> FControl;
};

// Adds a class to the registry unless it is there already. The unit registers
// TqvEmbeddedImage, TqvEmbeddedImageIdx and TqvEmbeddedControl, in that order, at start.
void RegisterEmbeddedClass(const TqvEmbeddedObjectClass& cls);
// The registered classes in registration order; empty before the first registration.
std::vector<const TqvEmbeddedObjectClass*> EmbeddedClasses();

// The screen resolution sizes are scaled from, read when the unit starts (dots per inch).
int EmbeddedScreenDpiX();
int EmbeddedScreenDpiY();

TUnit& qvEmbObjUnit();

}  // namespace qv
