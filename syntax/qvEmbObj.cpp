// Embedded objects: sizing from screen to canvas resolution, drawing, the clipboard loading of
// pictures, and the registry of embedded-object classes.
#include "syntax/qvEmbObj.h"

#include <algorithm>

#include "framework/ImgList.h"
#include "framework/SysUtils.h"

namespace qv {

namespace {

// Owned by the unit: created on the first registration, freed at unit shutdown.
std::unique_ptr<std::vector<const TqvEmbeddedObjectClass*>> EmbeddedRegistry;

// The screen's resolution, read once when the unit starts. There is no screen device here,
// so it is the framework's fixed screen resolution.
int ScreenDpiX = ScreenPixelsPerInch;
int ScreenDpiY = ScreenPixelsPerInch;

const TSize DefaultSize{0, 0};

// A screen-resolution size in pixels of the canvas: the canvas font's resolution over the
// screen's, each axis rounded.
TSize ScaleToCanvas(int width, int height, const TCanvas& canvas) {
  const int ppi = canvas.Font().PixelsPerInch();
  return {MulDiv(width, ppi, ScreenDpiX), MulDiv(height, ppi, ScreenDpiY)};
}

void InitEmbObj() {
  ScreenDpiX = ScreenPixelsPerInch;
  ScreenDpiY = ScreenPixelsPerInch;
  RegisterEmbeddedClass(TqvEmbeddedImage::StaticClass());
  RegisterEmbeddedClass(TqvEmbeddedImageIdx::StaticClass());
  RegisterEmbeddedClass(TqvEmbeddedControl::StaticClass());
}

void DoneEmbObj() { EmbeddedRegistry.reset(); }

template <class T>
std::unique_ptr<TqvCustomEmbeddedObject> CreateObject() {
  return std::make_unique<T>();
}

}  // namespace

// --- TqvCustomEmbeddedObject ------------------------------------------------------------------

bool TqvCustomEmbeddedObject::SupportsClipboardFormat(uint16_t) { return false; }
bool TqvCustomEmbeddedObject::LoadFromClipboardFormat(uint16_t) { return false; }
void TqvCustomEmbeddedObject::Attach(TObject*) {}
void TqvCustomEmbeddedObject::Detach(TObject*) {}

void TqvCustomEmbeddedObject::Draw(TObject*, TCanvas*, const TRect&) {
  throw EAbstractError(SAbstractError);
}

void TqvCustomEmbeddedObject::GetSize(TObject*, TCanvas*, TSize&) {}
void TqvCustomEmbeddedObject::Resize(TSize) {}

// --- TqvEmbeddedImage ---------------------------------------------------------------------------

const TqvEmbeddedObjectClass& TqvEmbeddedImage::StaticClass() {
  static const TqvEmbeddedObjectClass cls(StaticClassName(), &CreateObject<TqvEmbeddedImage>);
  return cls;
}

TqvEmbeddedImage::TqvEmbeddedImage() : FPicture(std::make_unique<TPicture>()) { SetTypeCode(3); }

bool TqvEmbeddedImage::SupportsClipboardFormat(uint16_t format) {
  return TPicture::SupportsClipboardFormat(format);
}

bool TqvEmbeddedImage::LoadFromClipboardFormat(uint16_t format) {
  FPicture->LoadFromClipboardFormat(format);
  return true;
}

void TqvEmbeddedImage::Draw(TObject*, TCanvas* canvas, const TRect& rect) {
  if (canvas && FPicture->Graphic()) canvas->StretchDraw(rect, *FPicture->Graphic());
}

void TqvEmbeddedImage::GetSize(TObject*, TCanvas* canvas, TSize& size) {
  size = canvas ? ScaleToCanvas(FPicture->Width(), FPicture->Height(), *canvas) : DefaultSize;
}

// --- TqvEmbeddedImageIdx ------------------------------------------------------------------------

const TqvEmbeddedObjectClass& TqvEmbeddedImageIdx::StaticClass() {
  static const TqvEmbeddedObjectClass cls(StaticClassName(), &CreateObject<TqvEmbeddedImageIdx>);
  return cls;
}

TqvEmbeddedImageIdx::TqvEmbeddedImageIdx() { SetTypeCode(2); }

void TqvEmbeddedImageIdx::Draw(TObject*, TCanvas* canvas, const TRect& rect) {
  TCustomImageList* images = HostImageList(Host());
  if (!canvas || !images || FImageIndex < 0 || FImageIndex >= images->Count()) return;
  images->Draw(*canvas, rect.Left, rect.Top, FImageIndex, true);
}

void TqvEmbeddedImageIdx::GetSize(TObject*, TCanvas* canvas, TSize& size) {
  TCustomImageList* images = HostImageList(Host());
  size = images && canvas ? ScaleToCanvas(images->Width(), images->Height(), *canvas)
                          : DefaultSize;
}

// --- TqvEmbeddedControl -------------------------------------------------------------------------

const TqvEmbeddedObjectClass& TqvEmbeddedControl::StaticClass() {
  static const TqvEmbeddedObjectClass cls(StaticClassName(), &CreateObject<TqvEmbeddedControl>);
  return cls;
}

void TqvEmbeddedControl::SetControl(std::unique_ptr<TWinControl> value) {
  FControl = std::move(value);
  if (FControl && Host()) Host()->FreeNotification(FControl.get());
}

void TqvEmbeddedControl::SetHost(TComponent* value) {
  TqvCustomEmbeddedObject::SetHost(value);
  if (FControl && value) value->FreeNotification(FControl.get());
}

void TqvEmbeddedControl::Draw(TObject*, TCanvas*, const TRect& rect) {
  if (!FControl) return;
  if (FControl->Left() != rect.Left || FControl->Top() != rect.Top)
    FControl->SetBoundsRect(rect);
  FControl->Refresh();
}

void TqvEmbeddedControl::GetSize(TObject* sender, TCanvas*, TSize& size) {
  if (FControl && FControl->Parent() && sender == FControl->Parent())
    size = {FControl->Width(), FControl->Height()};
  else
    size = DefaultSize;
}

// --- Registry ---------------------------------------------------------------------------------

void RegisterEmbeddedClass(const TqvEmbeddedObjectClass& cls) {
  if (!EmbeddedRegistry)
    EmbeddedRegistry = std::make_unique<std::vector<const TqvEmbeddedObjectClass*>>();
  auto& list = *EmbeddedRegistry;
  if (std::find(list.begin(), list.end(), &cls) == list.end()) list.push_back(&cls);
}

std::vector<const TqvEmbeddedObjectClass*> EmbeddedClasses() {
  return EmbeddedRegistry ? *EmbeddedRegistry : std::vector<const TqvEmbeddedObjectClass*>{};
}

int EmbeddedScreenDpiX() { return ScreenDpiX; }
int EmbeddedScreenDpiY() { return ScreenDpiY; }

TUnit& qvEmbObjUnit() {
  static TUnit unit("qvEmbObj", {}, InitEmbObj, DoneEmbObj);
  return unit;
}

}  // namespace qv
