// Graphics values: colours with their names, font character sets, and the font and pen
// objects that styles and canvases carry. Fonts and pens are persistent objects streamed as
// dotted sub-properties of their owner ("Font.Height = -13") and tell OnChange when a value
// really changes. Below them, the small drawing model of embedded objects: a canvas over a
// pixel buffer, bitmaps and JPEG images, and pictures.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "framework/Classes.h"
#include "framework/Streams.h"
#include "framework/TypInfo.h"
#include "framework/Types.h"

namespace qv {

inline constexpr const char* SInvalidColor = "Invalid color value '%s'";

// --- Colours -------------------------------------------------------------------------------

// A colour: 0x00BBGGRR for an RGB colour, 0x80000000 | index for a system colour (negative
// as a TColor), and the two special values clNone and clDefault.
using TColor = int32_t;

// The colour of a system colour index. The unsigned-to-signed conversion is modular in C++20.
constexpr TColor SystemColor(uint8_t index) {
  return static_cast<TColor>(0x80000000u | index);
}

inline constexpr TColor clBlack = 0x000000;
inline constexpr TColor clMaroon = 0x000080;
inline constexpr TColor clGreen = 0x008000;
inline constexpr TColor clOlive = 0x008080;
inline constexpr TColor clNavy = 0x800000;
inline constexpr TColor clPurple = 0x800080;
inline constexpr TColor clTeal = 0x808000;
inline constexpr TColor clGray = 0x808080;
inline constexpr TColor clSilver = 0xC0C0C0;
inline constexpr TColor clRed = 0x0000FF;
inline constexpr TColor clLime = 0x00FF00;
inline constexpr TColor clYellow = 0x00FFFF;
inline constexpr TColor clBlue = 0xFF0000;
inline constexpr TColor clFuchsia = 0xFF00FF;
inline constexpr TColor clAqua = 0xFFFF00;
inline constexpr TColor clWhite = 0xFFFFFF;
inline constexpr TColor clLtGray = clSilver;  // aliases: read, never written
inline constexpr TColor clDkGray = clGray;
inline constexpr TColor clMoneyGreen = 0xC0DCC0;
inline constexpr TColor clSkyBlue = 0xF0CAA6;
inline constexpr TColor clCream = 0xF0FBFF;
inline constexpr TColor clMedGray = 0xA4A0A0;
inline constexpr TColor clNone = 0x1FFFFFFF;
inline constexpr TColor clDefault = 0x20000000;

inline constexpr TColor clScrollBar = SystemColor(0);
inline constexpr TColor clBackground = SystemColor(1);
inline constexpr TColor clActiveCaption = SystemColor(2);
inline constexpr TColor clInactiveCaption = SystemColor(3);
inline constexpr TColor clMenu = SystemColor(4);
inline constexpr TColor clWindow = SystemColor(5);
inline constexpr TColor clWindowFrame = SystemColor(6);
inline constexpr TColor clMenuText = SystemColor(7);
inline constexpr TColor clWindowText = SystemColor(8);
inline constexpr TColor clCaptionText = SystemColor(9);
inline constexpr TColor clActiveBorder = SystemColor(10);
inline constexpr TColor clInactiveBorder = SystemColor(11);
inline constexpr TColor clAppWorkSpace = SystemColor(12);
inline constexpr TColor clHighlight = SystemColor(13);
inline constexpr TColor clHighlightText = SystemColor(14);
inline constexpr TColor clBtnFace = SystemColor(15);
inline constexpr TColor clBtnShadow = SystemColor(16);
inline constexpr TColor clGrayText = SystemColor(17);
inline constexpr TColor clBtnText = SystemColor(18);
inline constexpr TColor clInactiveCaptionText = SystemColor(19);
inline constexpr TColor clBtnHighlight = SystemColor(20);
inline constexpr TColor cl3DDkShadow = SystemColor(21);
inline constexpr TColor cl3DLight = SystemColor(22);
inline constexpr TColor clInfoText = SystemColor(23);
inline constexpr TColor clInfoBk = SystemColor(24);
// Index 25 has no name.
inline constexpr TColor clHotLight = SystemColor(26);
inline constexpr TColor clGradientActiveCaption = SystemColor(27);
inline constexpr TColor clGradientInactiveCaption = SystemColor(28);
inline constexpr TColor clMenuHighlight = SystemColor(29);
inline constexpr TColor clMenuBar = SystemColor(30);

// Every colour name, for integer properties declared with NamedValues(ColorIdents). A value
// is written as its first name, so the aliases clLtGray and clDkGray come last.
extern const TIdentMap ColorIdents;

// The name of a colour; false when it has none. Values in the unsigned 32-bit range count as
// their TColor bit pattern (0x8000000D is clHighlight).
bool ColorToIdent(int64_t color, std::string& ident);
// The colour of a name, compared without case; false when there is none.
bool IdentToColor(std::string_view ident, int64_t& color);
// The name, or '$' and the eight hexadecimal digits of the bit pattern ("$00123456").
std::string ColorToString(TColor color);
// A name, a decimal number or a '$' hexadecimal one, in the signed or unsigned 32-bit range;
// anything else raises EConvertError "Invalid color value '%s'".
TColor StringToColor(std::string_view text);
// The RGB value to draw with. There is no window system to ask, so system colours come from
// a fixed table of the classic light desktop scheme (clWindow white, clWindowText black,
// clBtnFace 0xC8D0D4, clHighlight 0x6A240A, ...); an index without an entry gives black.
// Every other value, clNone and clDefault included, is returned as it is.
TColor ColorToRGB(TColor color);

// --- Character sets --------------------------------------------------------------------------

// A font's character set; framework/TextServices.h maps it to a code page.
using TFontCharset = uint8_t;

inline constexpr TFontCharset ANSI_CHARSET = 0;
inline constexpr TFontCharset DEFAULT_CHARSET = 1;
inline constexpr TFontCharset SYMBOL_CHARSET = 2;
inline constexpr TFontCharset MAC_CHARSET = 77;
inline constexpr TFontCharset SHIFTJIS_CHARSET = 128;
inline constexpr TFontCharset HANGEUL_CHARSET = 129;
inline constexpr TFontCharset JOHAB_CHARSET = 130;
inline constexpr TFontCharset GB2312_CHARSET = 134;
inline constexpr TFontCharset CHINESEBIG5_CHARSET = 136;
inline constexpr TFontCharset GREEK_CHARSET = 161;
inline constexpr TFontCharset TURKISH_CHARSET = 162;
inline constexpr TFontCharset VIETNAMESE_CHARSET = 163;
inline constexpr TFontCharset HEBREW_CHARSET = 177;
inline constexpr TFontCharset ARABIC_CHARSET = 178;
inline constexpr TFontCharset BALTIC_CHARSET = 186;
inline constexpr TFontCharset RUSSIAN_CHARSET = 204;
inline constexpr TFontCharset THAI_CHARSET = 222;
inline constexpr TFontCharset EASTEUROPE_CHARSET = 238;
inline constexpr TFontCharset OEM_CHARSET = 255;

// The names of the character sets, spelt as the constants above.
extern const TIdentMap CharsetIdents;

bool CharsetToIdent(int64_t charset, std::string& ident);
bool IdentToCharset(std::string_view ident, int64_t& charset);

// --- Enumerations of fonts and pens ------------------------------------------------------------

enum TFontStyle : uint8_t { fsBold, fsItalic, fsUnderline, fsStrikeOut };
using TFontStyles = TSet<TFontStyle>;
extern const TEnumInfo FontStyleInfo;

enum TFontPitch : uint8_t { fpDefault, fpVariable, fpFixed };
extern const TEnumInfo FontPitchInfo;

enum TPenStyle : uint8_t {
  psSolid, psDash, psDot, psDashDot, psDashDotDot, psClear, psInsideFrame
};
extern const TEnumInfo PenStyleInfo;

// Raster operations combining the pen colour with the screen.
enum TPenMode : uint8_t {
  pmBlack, pmWhite, pmNop, pmNot, pmCopy, pmNotCopy, pmMergePenNot, pmMaskPenNot,
  pmMergeNotPen, pmMaskNotPen, pmMerge, pmNotMerge, pmMask, pmNotMask, pmXor, pmNotXor
};
extern const TEnumInfo PenModeInfo;

// The fixed screen resolution fonts are measured against, in pixels per inch.
inline constexpr int ScreenPixelsPerInch = 96;

// number * numerator / denominator through a 64-bit product, rounded half away from zero;
// -1 when denominator is 0 or the result does not fit 32 bits.
int MulDiv(int number, int numerator, int denominator);

// --- Font and pen ------------------------------------------------------------------------------

// A value object of a style or canvas. Copy and move are deleted; it copies through Assign.
class TGraphicsObject : public TPersistent {
  QV_CLASS(TGraphicsObject, TPersistent)
  TGraphicsObject() = default;
  TGraphicsObject(const TGraphicsObject&) = delete;
  TGraphicsObject& operator=(const TGraphicsObject&) = delete;

  // Called after each effective change, with the object as sender.
  TNotifyEvent OnChange;

protected:
  // Fires OnChange; inside AssignOnce it only notes that the end must fire it.
  void Changed();
  // Copies source's published values through the setters (AssignPublished), firing
  // OnChange once at the end when any of them differed.
  void AssignOnce(const TPersistent& source);

private:
  int FChangeLock = 0;         // AssignOnce calls running
  bool FChangePending = false;  // a setter changed something under the lock
};

// A font. Height is the stored measure: negative is the character height in pixels, positive
// the cell height (character plus internal leading). Size, in points, is derived from it at
// ScreenPixelsPerInch and never streamed, but can be read from a stream.
class TFont : public TGraphicsObject {
  QV_CLASS(TFont, TGraphicsObject)
  static void DeclareClass(TClassDecl& c);

  TFontCharset Charset() const { return FCharset; }
  void SetCharset(TFontCharset value);
  TColor Color() const { return FColor; }
  void SetColor(TColor value);
  int Height() const { return FHeight; }
  void SetHeight(int value);
  const std::string& Name() const { return FName; }
  void SetName(const std::string& value);
  TFontPitch Pitch() const { return FPitch; }
  void SetPitch(TFontPitch value);
  // Points from Height: MulDiv(|Height|, 72, ScreenPixelsPerInch). For a positive (cell)
  // height this overstates the point size by the leading, as there are no metrics to ask.
  int Size() const;
  // Height = -MulDiv(value, ScreenPixelsPerInch, 72): 8 → -11, 10 → -13, 12 → -16.
  void SetSize(int value);
  TFontStyles Style() const { return FStyle; }
  void SetStyle(TFontStyles value);
  // The resolution of the device the font draws on, in pixels per inch. Set by the canvas
  // that owns the font; not streamed, not copied by Assign, and without OnChange.
  int PixelsPerInch() const { return FPixelsPerInch; }
  void SetPixelsPerInch(int value) { FPixelsPerInch = value; }

  // From another TFont: every attribute, one OnChange at most. Anything else as TPersistent.
  void Assign(const TPersistent* source) override;

private:
  // The streamed setter: a character set is a byte, so larger values are refused.
  void StoreCharset(int value);

  TFontCharset FCharset = DEFAULT_CHARSET;
  TColor FColor = clWindowText;
  int FHeight = -11;  // 8 points
  std::string FName = "MS Sans Serif";
  TFontPitch FPitch = fpDefault;
  TFontStyles FStyle;
  int FPixelsPerInch = ScreenPixelsPerInch;
};

// True when every attribute of the two fonts is the same (names compared exactly).
bool SameFont(const TFont& a, const TFont& b);

// A pen: the colour, raster mode, dash style and width of lines. The initial values are the
// streaming defaults, so a new pen writes nothing.
class TPen : public TGraphicsObject {
  QV_CLASS(TPen, TGraphicsObject)
  static void DeclareClass(TClassDecl& c);

  TColor Color() const { return FColor; }
  void SetColor(TColor value);
  TPenMode Mode() const { return FMode; }
  void SetMode(TPenMode value);
  TPenStyle Style() const { return FStyle; }
  void SetStyle(TPenStyle value);
  int Width() const { return FWidth; }  // pixels
  void SetWidth(int value);

  // From another TPen: every attribute, one OnChange at most. Anything else as TPersistent.
  void Assign(const TPersistent* source) override;

private:
  TColor FColor = clBlack;
  TPenMode FMode = pmCopy;
  TPenStyle FStyle = psSolid;
  int FWidth = 1;
};

// --- Canvas, graphics and pictures ---------------------------------------------------------------

QV_DECLARE_EXCEPTION(EInvalidGraphic, Exception);
QV_DECLARE_EXCEPTION(EInvalidGraphicOperation, Exception);

inline constexpr const char* SInvalidImageSize = "Invalid image size";
inline constexpr const char* SUnknownClipboardFormat = "Unsupported clipboard format";
inline constexpr const char* SNoClipboardData = "The clipboard holds no data of that format";

class TGraphic;

// A drawing surface held in memory: Width x Height colours (0x00BBGGRR), row by row from the
// top, and the font whose PixelsPerInch gives the surface's resolution. Drawing is clipped to
// the surface. Copy and move are deleted.
// Width x height colours, row by row: what canvases and bitmaps draw into. Reads outside
// give -1 (no colour); writes outside and the parts of rectangles outside are dropped.
struct TPixelBuffer {
  int Width = 0;
  int Height = 0;
  std::vector<TColor> Data;

  void SetSize(int width, int height, TColor color);
  TColor At(int x, int y) const;
  void Set(int x, int y, TColor color);
  void Fill(const TRect& rect, TColor color);
};

class TCanvas : public TPersistent {
  QV_CLASS(TCanvas, TPersistent)
  TCanvas() = default;
  TCanvas(int width, int height, TColor color = clWhite) { SetSize(width, height, color); }
  TCanvas(const TCanvas&) = delete;
  TCanvas& operator=(const TCanvas&) = delete;

  TFont& Font() { return FFont; }
  const TFont& Font() const { return FFont; }

  int Width() const { return FBuffer.Width; }
  int Height() const { return FBuffer.Height; }
  // Resizes the surface and fills all of it with color. Negative sizes count as 0.
  void SetSize(int width, int height, TColor color = clWhite);
  // The colour at (x, y); -1 (no colour) outside the surface.
  TColor Pixels(int x, int y) const;
  // Outside the surface this does nothing.
  void SetPixel(int x, int y, TColor color);
  // Fills the part of rect that lies on the surface. System colours are drawn as their RGB.
  void FillRect(const TRect& rect, TColor color);
  // Draws the graphic at its own size with its top-left corner at (x, y).
  void Draw(int x, int y, const TGraphic& graphic);
  // Draws the graphic scaled into rect.
  void StretchDraw(const TRect& rect, const TGraphic& graphic);

private:
  TFont FFont;
  TPixelBuffer FBuffer;
};

// An image that can measure itself, draw itself scaled into a rectangle of a canvas and load
// itself from a stream or a file.
class TGraphic : public TPersistent {
  QV_CLASS(TGraphic, TPersistent)
  TGraphic() = default;
  TGraphic(const TGraphic&) = delete;
  TGraphic& operator=(const TGraphic&) = delete;

  virtual int Width() const = 0;
  virtual int Height() const = 0;
  bool Empty() const { return Width() <= 0 || Height() <= 0; }
  // Draws the image scaled into rect; an empty rect or image draws nothing.
  virtual void Draw(TCanvas& canvas, const TRect& rect) const = 0;
  // Reads the image from the stream's position to its end. On failure the image keeps its
  // former content.
  virtual void LoadFromStream(TStream& stream) = 0;
  // The file name is UTF-8. Raises EFOpenError when the file cannot be opened.
  void LoadFromFile(const std::string& fileName);
};

// A bitmap: the colours of Width x Height pixels, row by row from the top. It draws scaled
// by nearest neighbour: each target pixel takes the source pixel under its top-left corner.
class TBitmap : public TGraphic {
  QV_CLASS(TBitmap, TGraphic)
  TBitmap() = default;
  TBitmap(int width, int height, TColor color = clWhite) { SetSize(width, height, color); }

  int Width() const override { return FBuffer.Width; }
  int Height() const override { return FBuffer.Height; }
  // Resizes and fills with color. Negative sizes count as 0.
  void SetSize(int width, int height, TColor color = clWhite);
  // The colour at (x, y); -1 outside the bitmap.
  TColor Pixels(int x, int y) const;
  void SetPixel(int x, int y, TColor color);
  void FillRect(const TRect& rect, TColor color);
  // Takes width * height colours; raises EInvalidGraphicOperation when the counts differ.
  void SetPixels(int width, int height, std::vector<TColor> pixels);
  const std::vector<TColor>& PixelData() const { return FBuffer.Data; }

  void Draw(TCanvas& canvas, const TRect& rect) const override;
  // Copies another bitmap's pixels; anything else as TPersistent.
  void Assign(const TPersistent* source) override;
  // A bitmap stream is a JPEG file here: bitmaps are what decoded pictures become.
  void LoadFromStream(TStream& stream) override;

private:
  TPixelBuffer FBuffer;
};

// A JPEG image: decoded on loading into the bitmap it draws.
class TJPEGImage : public TGraphic {
  QV_CLASS(TJPEGImage, TGraphic)
  int Width() const override { return FBitmap.Width(); }
  int Height() const override { return FBitmap.Height(); }
  const TBitmap& Bitmap() const { return FBitmap; }
  void Draw(TCanvas& canvas, const TRect& rect) const override { FBitmap.Draw(canvas, rect); }
  // Raises EInvalidGraphic "Invalid JPEG image: <reason>" for data that is not a whole JPEG
  // file; the image is then unchanged.
  void LoadFromStream(TStream& stream) override;

private:
  TBitmap FBitmap;
};

// The clipboard format that carries a JPEG file ("JFIF"), registered on first use.
uint16_t CF_JPEG();

// A picture: holds one graphic (or none) and loads it from streams, files and the clipboard.
// Loading builds the new graphic first, so a failed load leaves the former one in place.
class TPicture : public TPersistent {
  QV_CLASS(TPicture, TPersistent)
  TPicture() = default;
  TPicture(const TPicture&) = delete;
  TPicture& operator=(const TPicture&) = delete;

  // Owned; null when the picture is empty.
  TGraphic* Graphic() const { return FGraphic.get(); }
  void SetGraphic(std::unique_ptr<TGraphic> value) { FGraphic = std::move(value); }
  // 0 when there is no graphic.
  int Width() const { return FGraphic ? FGraphic->Width() : 0; }
  int Height() const { return FGraphic ? FGraphic->Height() : 0; }

  // Pictures are read as JPEG files.
  void LoadFromStream(TStream& stream);
  void LoadFromFile(const std::string& fileName);

  // True for the clipboard formats a picture can be loaded from (CF_JPEG).
  static bool SupportsClipboardFormat(uint16_t format);
  // Loads the clipboard's data of that format. Raises EInvalidGraphic for a format the
  // picture does not support or that the clipboard does not hold, and as LoadFromStream.
  void LoadFromClipboardFormat(uint16_t format);

private:
  std::unique_ptr<TGraphic> FGraphic;
};

}  // namespace qv
