// Graphics values: the colour and character-set name tables, the fixed system-colour
// palette, and the font and pen objects.
#include "framework/Graphics.h"

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <limits>
#include <utility>

#include "framework/Clipbrd.h"
#include "framework/JPEG.h"
#include "framework/ObjectBinary.h"
#include "framework/SysUtils.h"

namespace qv {

const TIdentMap ColorIdents{
    {clBlack, "clBlack"},
    {clMaroon, "clMaroon"},
    {clGreen, "clGreen"},
    {clOlive, "clOlive"},
    {clNavy, "clNavy"},
    {clPurple, "clPurple"},
    {clTeal, "clTeal"},
    {clGray, "clGray"},
    {clSilver, "clSilver"},
    {clRed, "clRed"},
    {clLime, "clLime"},
    {clYellow, "clYellow"},
    {clBlue, "clBlue"},
    {clFuchsia, "clFuchsia"},
    {clAqua, "clAqua"},
    {clWhite, "clWhite"},
    {clMoneyGreen, "clMoneyGreen"},
    {clSkyBlue, "clSkyBlue"},
    {clCream, "clCream"},
    {clMedGray, "clMedGray"},
    {clScrollBar, "clScrollBar"},
    {clBackground, "clBackground"},
    {clActiveCaption, "clActiveCaption"},
    {clInactiveCaption, "clInactiveCaption"},
    {clMenu, "clMenu"},
    {clWindow, "clWindow"},
    {clWindowFrame, "clWindowFrame"},
    {clMenuText, "clMenuText"},
    {clWindowText, "clWindowText"},
    {clCaptionText, "clCaptionText"},
    {clActiveBorder, "clActiveBorder"},
    {clInactiveBorder, "clInactiveBorder"},
    {clAppWorkSpace, "clAppWorkSpace"},
    {clHighlight, "clHighlight"},
    {clHighlightText, "clHighlightText"},
    {clBtnFace, "clBtnFace"},
    {clBtnShadow, "clBtnShadow"},
    {clGrayText, "clGrayText"},
    {clBtnText, "clBtnText"},
    {clInactiveCaptionText, "clInactiveCaptionText"},
    {clBtnHighlight, "clBtnHighlight"},
    {cl3DDkShadow, "cl3DDkShadow"},
    {cl3DLight, "cl3DLight"},
    {clInfoText, "clInfoText"},
    {clInfoBk, "clInfoBk"},
    {clHotLight, "clHotLight"},
    {clGradientActiveCaption, "clGradientActiveCaption"},
    {clGradientInactiveCaption, "clGradientInactiveCaption"},
    {clMenuHighlight, "clMenuHighlight"},
    {clMenuBar, "clMenuBar"},
    {clNone, "clNone"},
    {clDefault, "clDefault"},
    {clLtGray, "clLtGray"},
    {clDkGray, "clDkGray"},
};

const TIdentMap CharsetIdents{
    {ANSI_CHARSET, "ANSI_CHARSET"},
    {DEFAULT_CHARSET, "DEFAULT_CHARSET"},
    {SYMBOL_CHARSET, "SYMBOL_CHARSET"},
    {MAC_CHARSET, "MAC_CHARSET"},
    {SHIFTJIS_CHARSET, "SHIFTJIS_CHARSET"},
    {HANGEUL_CHARSET, "HANGEUL_CHARSET"},
    {JOHAB_CHARSET, "JOHAB_CHARSET"},
    {GB2312_CHARSET, "GB2312_CHARSET"},
    {CHINESEBIG5_CHARSET, "CHINESEBIG5_CHARSET"},
    {GREEK_CHARSET, "GREEK_CHARSET"},
    {TURKISH_CHARSET, "TURKISH_CHARSET"},
    {VIETNAMESE_CHARSET, "VIETNAMESE_CHARSET"},
    {HEBREW_CHARSET, "HEBREW_CHARSET"},
    {ARABIC_CHARSET, "ARABIC_CHARSET"},
    {BALTIC_CHARSET, "BALTIC_CHARSET"},
    {RUSSIAN_CHARSET, "RUSSIAN_CHARSET"},
    {THAI_CHARSET, "THAI_CHARSET"},
    {EASTEUROPE_CHARSET, "EASTEUROPE_CHARSET"},
    {OEM_CHARSET, "OEM_CHARSET"},
};

const TEnumInfo FontStyleInfo("TFontStyle", {"fsBold", "fsItalic", "fsUnderline", "fsStrikeOut"});
const TEnumInfo FontPitchInfo("TFontPitch", {"fpDefault", "fpVariable", "fpFixed"});
const TEnumInfo PenStyleInfo("TPenStyle", {"psSolid", "psDash", "psDot", "psDashDot",
                                           "psDashDotDot", "psClear", "psInsideFrame"});
const TEnumInfo PenModeInfo("TPenMode",
                            {"pmBlack", "pmWhite", "pmNop", "pmNot", "pmCopy", "pmNotCopy",
                             "pmMergePenNot", "pmMaskPenNot", "pmMergeNotPen", "pmMaskNotPen",
                             "pmMerge", "pmNotMerge", "pmMask", "pmNotMask", "pmXor",
                             "pmNotXor"});

namespace {

// The classic light desktop scheme, by system colour index, as 0x00BBGGRR.
constexpr TColor SystemPalette[] = {
    0xC8D0D4,  // 0  scroll bar
    0xA56E3A,  // 1  desktop background
    0x6A240A,  // 2  active caption
    0x808080,  // 3  inactive caption
    0xC8D0D4,  // 4  menu
    0xFFFFFF,  // 5  window
    0x000000,  // 6  window frame
    0x000000,  // 7  menu text
    0x000000,  // 8  window text
    0xFFFFFF,  // 9  caption text
    0xC8D0D4,  // 10 active border
    0xC8D0D4,  // 11 inactive border
    0x808080,  // 12 application work space
    0x6A240A,  // 13 highlight
    0xFFFFFF,  // 14 highlight text
    0xC8D0D4,  // 15 button face
    0x808080,  // 16 button shadow
    0x808080,  // 17 grey text
    0x000000,  // 18 button text
    0xC8D0D4,  // 19 inactive caption text
    0xFFFFFF,  // 20 button highlight
    0x404040,  // 21 3-D dark shadow
    0xC8D0D4,  // 22 3-D light
    0x000000,  // 23 tooltip text
    0xE1FFFF,  // 24 tooltip background
    0x000000,  // 25 (unnamed)
    0x800000,  // 26 hot-tracked item
    0xF0CAA6,  // 27 gradient end of the active caption
    0xC0C0C0,  // 28 gradient end of the inactive caption
    0x6A240A,  // 29 highlighted menu item
    0xC8D0D4,  // 30 menu bar
};

// The TColor a 64-bit property value stands for: values above the signed range are taken
// as the unsigned bit pattern. False when it is outside both 32-bit ranges.
bool ToColor(int64_t value, TColor& color) {
  if (value < int64_t{std::numeric_limits<int32_t>::min()} ||
      value > int64_t{std::numeric_limits<uint32_t>::max()})
    return false;
  color = static_cast<TColor>(static_cast<uint32_t>(value));
  return true;
}

}  // namespace

bool ColorToIdent(int64_t color, std::string& ident) {
  TColor c;
  if (!ToColor(color, c)) return false;
  const char* name = ColorIdents.NameOf(c);
  if (!name) return false;
  ident = name;
  return true;
}

bool IdentToColor(std::string_view ident, int64_t& color) {
  return ColorIdents.ValueOf(ident, color);
}

std::string ColorToString(TColor color) {
  std::string ident;
  if (ColorToIdent(color, ident)) return ident;
  return "$" + IntToHex(static_cast<uint32_t>(color), 8);
}

TColor StringToColor(std::string_view text) {
  int64_t value;
  if (IdentToColor(text, value)) return static_cast<TColor>(value);
  TColor color;
  if (!TryStrToInt64(text, value) || !ToColor(value, color))
    throw EConvertError(Format(SInvalidColor, text));
  return color;
}

TColor ColorToRGB(TColor color) {
  if (color >= 0) return color;
  const uint32_t index = static_cast<uint32_t>(color) & 0xFF;
  return index < std::size(SystemPalette) ? SystemPalette[index] : clBlack;
}

bool CharsetToIdent(int64_t charset, std::string& ident) {
  const char* name = CharsetIdents.NameOf(charset);
  if (!name) return false;
  ident = name;
  return true;
}

bool IdentToCharset(std::string_view ident, int64_t& charset) {
  return CharsetIdents.ValueOf(ident, charset);
}

int MulDiv(int number, int numerator, int denominator) {
  if (denominator == 0) return -1;
  int64_t product = int64_t{number} * numerator;
  const bool negative = (product < 0) != (denominator < 0);
  // |product| < 2^62 and |denominator| <= 2^31, so neither negation overflows.
  uint64_t p = static_cast<uint64_t>(product < 0 ? -product : product);
  uint64_t d = static_cast<uint64_t>(denominator < 0 ? -int64_t{denominator} : denominator);
  uint64_t q = (p + d / 2) / d;  // half away from zero
  if (q > static_cast<uint64_t>(std::numeric_limits<int32_t>::max()) + (negative ? 1 : 0))
    return -1;
  return negative ? static_cast<int>(-static_cast<int64_t>(q)) : static_cast<int>(q);
}

// --- TGraphicsObject -------------------------------------------------------------------------

void TGraphicsObject::Changed() {
  if (FChangeLock > 0) {
    FChangePending = true;
    return;
  }
  if (OnChange) OnChange(this);
}

void TGraphicsObject::AssignOnce(const TPersistent& source) {
  struct TUnlock {
    int& Lock;
    ~TUnlock() { --Lock; }  // also when a setter raises
  };
  if (FChangeLock == 0) FChangePending = false;  // left over from a copy that raised
  ++FChangeLock;
  {
    TUnlock unlock{FChangeLock};
    AssignPublished(*this, source);
  }
  if (FChangeLock == 0 && FChangePending) {
    FChangePending = false;
    Changed();
  }
}

// --- TFont -----------------------------------------------------------------------------------

void TFont::DeclareClass(TClassDecl& c) {
  c.Integer("Charset", &TFont::Charset, &TFont::StoreCharset).NamedValues(CharsetIdents);
  c.Integer("Color", &TFont::Color, &TFont::SetColor).NamedValues(ColorIdents);
  c.Integer("Height", &TFont::Height, &TFont::SetHeight);
  c.String("Name", &TFont::Name, &TFont::SetName);
  c.Enumeration("Pitch", FontPitchInfo, &TFont::Pitch, &TFont::SetPitch).Default(fpDefault);
  c.Integer("Size", &TFont::Size, &TFont::SetSize).Stored(false);
  c.Set("Style", FontStyleInfo, &TFont::Style, &TFont::SetStyle);
}

void TFont::SetCharset(TFontCharset value) {
  if (value == FCharset) return;
  FCharset = value;
  Changed();
}

void TFont::StoreCharset(int value) {
  if (value < 0 || value > std::numeric_limits<TFontCharset>::max())
    throw EConvertError(SInvalidPropertyValue);
  SetCharset(static_cast<TFontCharset>(value));
}

void TFont::SetColor(TColor value) {
  if (value == FColor) return;
  FColor = value;
  Changed();
}

void TFont::SetHeight(int value) {
  if (value == FHeight) return;
  FHeight = value;
  Changed();
}

void TFont::SetName(const std::string& value) {
  if (value == FName) return;
  FName = value;
  Changed();
}

void TFont::SetPitch(TFontPitch value) {
  if (value == FPitch) return;
  FPitch = value;
  Changed();
}

int TFont::Size() const {
  const int points = MulDiv(FHeight, 72, ScreenPixelsPerInch);
  return FHeight < 0 ? -points : points;
}

void TFont::SetSize(int value) { SetHeight(-MulDiv(value, ScreenPixelsPerInch, 72)); }

void TFont::SetStyle(TFontStyles value) {
  if (value == FStyle) return;
  FStyle = value;
  Changed();
}

void TFont::Assign(const TPersistent* source) {
  if (auto* font = dynamic_cast<const TFont*>(source)) return AssignOnce(*font);
  TGraphicsObject::Assign(source);
}

bool SameFont(const TFont& a, const TFont& b) {
  return a.Charset() == b.Charset() && a.Color() == b.Color() && a.Height() == b.Height() &&
         a.Name() == b.Name() && a.Pitch() == b.Pitch() && a.Style() == b.Style();
}

// --- TPen ------------------------------------------------------------------------------------

void TPen::DeclareClass(TClassDecl& c) {
  c.Integer("Color", &TPen::Color, &TPen::SetColor).Default(clBlack).NamedValues(ColorIdents);
  c.Enumeration("Mode", PenModeInfo, &TPen::Mode, &TPen::SetMode).Default(pmCopy);
  c.Enumeration("Style", PenStyleInfo, &TPen::Style, &TPen::SetStyle).Default(psSolid);
  c.Integer("Width", &TPen::Width, &TPen::SetWidth).Default(1);
}

void TPen::SetColor(TColor value) {
  if (value == FColor) return;
  FColor = value;
  Changed();
}

void TPen::SetMode(TPenMode value) {
  if (value == FMode) return;
  FMode = value;
  Changed();
}

void TPen::SetStyle(TPenStyle value) {
  if (value == FStyle) return;
  FStyle = value;
  Changed();
}

void TPen::SetWidth(int value) {
  if (value == FWidth) return;
  FWidth = value;
  Changed();
}

void TPen::Assign(const TPersistent* source) {
  if (auto* pen = dynamic_cast<const TPen*>(source)) return AssignOnce(*pen);
  TGraphicsObject::Assign(source);
}

// --- Canvas, graphics and pictures ---------------------------------------------------------------

namespace {

// The part of rect inside a width x height surface.
TRect ClipRect(const TRect& rect, int width, int height) {
  return {std::max(rect.Left, 0), std::max(rect.Top, 0), std::min(rect.Right, width),
          std::min(rect.Bottom, height)};
}

}  // namespace

void TPixelBuffer::SetSize(int width, int height, TColor color) {
  Width = std::max(width, 0);
  Height = std::max(height, 0);
  Data.assign(size_t(Width) * Height, ColorToRGB(color));
}

TColor TPixelBuffer::At(int x, int y) const {
  if (x < 0 || y < 0 || x >= Width || y >= Height) return -1;
  return Data[size_t(y) * Width + x];
}

void TPixelBuffer::Set(int x, int y, TColor color) {
  if (x < 0 || y < 0 || x >= Width || y >= Height) return;
  Data[size_t(y) * Width + x] = ColorToRGB(color);
}

void TPixelBuffer::Fill(const TRect& rect, TColor color) {
  const TRect r = ClipRect(rect, Width, Height);
  const TColor rgb = ColorToRGB(color);
  for (int y = r.Top; y < r.Bottom; ++y)
    for (int x = r.Left; x < r.Right; ++x) Data[size_t(y) * Width + x] = rgb;
}

void TCanvas::SetSize(int width, int height, TColor color) { FBuffer.SetSize(width, height, color); }
TColor TCanvas::Pixels(int x, int y) const { return FBuffer.At(x, y); }
void TCanvas::SetPixel(int x, int y, TColor color) { FBuffer.Set(x, y, color); }
void TCanvas::FillRect(const TRect& rect, TColor color) { FBuffer.Fill(rect, color); }

void TCanvas::Draw(int x, int y, const TGraphic& graphic) {
  graphic.Draw(*this, Bounds(x, y, graphic.Width(), graphic.Height()));
}

void TCanvas::StretchDraw(const TRect& rect, const TGraphic& graphic) {
  graphic.Draw(*this, rect);
}

void TGraphic::LoadFromFile(const std::string& fileName) {
  TFileStream stream(fileName, fmOpenRead | fmShareDenyWrite);
  LoadFromStream(stream);
}

void TBitmap::SetSize(int width, int height, TColor color) { FBuffer.SetSize(width, height, color); }
TColor TBitmap::Pixels(int x, int y) const { return FBuffer.At(x, y); }
void TBitmap::SetPixel(int x, int y, TColor color) { FBuffer.Set(x, y, color); }
void TBitmap::FillRect(const TRect& rect, TColor color) { FBuffer.Fill(rect, color); }

void TBitmap::SetPixels(int width, int height, std::vector<TColor> pixels) {
  if (width < 0 || height < 0 || pixels.size() != size_t(width) * size_t(height))
    throw EInvalidGraphicOperation(SInvalidImageSize);
  FBuffer.Width = width;
  FBuffer.Height = height;
  FBuffer.Data = std::move(pixels);
}

void TBitmap::Draw(TCanvas& canvas, const TRect& rect) const {
  const int w = rect.Width(), h = rect.Height();
  if (w <= 0 || h <= 0 || Empty()) return;
  const TRect r = ClipRect(rect, canvas.Width(), canvas.Height());
  for (int y = r.Top; y < r.Bottom; ++y) {
    // 64-bit products: a large target rectangle times a large source must not overflow.
    const int sy = static_cast<int>(int64_t{y - rect.Top} * FBuffer.Height / h);
    for (int x = r.Left; x < r.Right; ++x) {
      const int sx = static_cast<int>(int64_t{x - rect.Left} * FBuffer.Width / w);
      canvas.SetPixel(x, y, FBuffer.Data[size_t(sy) * FBuffer.Width + sx]);
    }
  }
}

void TBitmap::Assign(const TPersistent* source) {
  if (const auto* bitmap = dynamic_cast<const TBitmap*>(source)) {
    if (bitmap == this) return;
    FBuffer = bitmap->FBuffer;
    return;
  }
  TPersistent::Assign(source);
}

namespace {

std::string ReadRest(TStream& stream) {
  const int64_t count = std::max<int64_t>(stream.Size() - stream.Position(), 0);
  std::string bytes(static_cast<size_t>(count), '\0');
  if (count > 0) stream.ReadBuffer(bytes.data(), count);
  return bytes;
}

}  // namespace

void TBitmap::LoadFromStream(TStream& stream) {
  const std::string bytes = ReadRest(stream);
  int width = 0, height = 0;
  std::vector<TColor> pixels;
  DecodeJPEG(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), width, height,
             pixels);
  SetPixels(width, height, std::move(pixels));
}

void TJPEGImage::LoadFromStream(TStream& stream) { FBitmap.LoadFromStream(stream); }

uint16_t CF_JPEG() {
  static const uint16_t format = RegisterClipboardFormat("JFIF");
  return format;
}

void TPicture::LoadFromStream(TStream& stream) {
  auto image = std::make_unique<TJPEGImage>();
  image->LoadFromStream(stream);  // raises before the picture changes
  FGraphic = std::move(image);
}

void TPicture::LoadFromFile(const std::string& fileName) {
  TFileStream stream(fileName, fmOpenRead | fmShareDenyWrite);
  LoadFromStream(stream);
}

bool TPicture::SupportsClipboardFormat(uint16_t format) { return format == CF_JPEG(); }

void TPicture::LoadFromClipboardFormat(uint16_t format) {
  if (!SupportsClipboardFormat(format)) throw EInvalidGraphic(SUnknownClipboardFormat);
  std::string data;
  if (!Clipboard().GetData(format, data)) throw EInvalidGraphic(SNoClipboardData);
  TMemoryStream stream(data);
  LoadFromStream(stream);
}

}  // namespace qv
