// Graphics values: colours with their names, font character sets, and the font and pen
// objects that styles and canvases carry. Fonts and pens are persistent objects streamed as
// dotted sub-properties of their owner ("Font.Height = -13") and tell OnChange when a value
// really changes.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "framework/Classes.h"
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

}  // namespace qv
