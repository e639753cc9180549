// Styles: named sets of display attributes that rules give to what they recognise. The
// analysis only records which style belongs where; drawing is the displaying editor's.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "framework/Graphics.h"
#include "syntax/qvStrUtils.h"
#include "syntax/qvSyntItems.h"

namespace qv {

enum TVertAlignment : uint8_t { vaTop, vaCenter, vaBottom };
enum TFormatType : uint8_t { ftCustomFont, ftFontAttr, ftColor, ftBackGround };
enum TBorderLineType : uint8_t {
  blNone, blSolid, blDash, blDot, blDashDot, blDashDotDot, blSolid2, blSolid3, blWavyLine,
  blDouble
};
enum TFormatFlag : uint8_t {
  ffBold, ffItalic, ffUnderline, ffStrikeOut, ffReadOnly, ffHidden, ffFontName, ffFontSize,
  ffFontCharset, ffVertAlign
};
using TFormatFlags = TSet<TFormatFlag>;
inline constexpr TFormatFlags AllFormatFlags = TFormatFlags::FromMask(0x3FF);

extern const TEnumInfo VertAlignmentInfo;
extern const TEnumInfo FormatTypeInfo;
extern const TEnumInfo BorderLineTypeInfo;
extern const TEnumInfo ChangeCaseInfo;
extern const TEnumInfo FormatFlagInfo;

// A style. Borders are indexed 0 = left, 1 = top, 2 = right, 3 = bottom. Every setter
// reports a change, also of an unchanged value, except FormatFlags, which reports only
// real changes; so does any change of the font.
class TSyntaxFormat : public TSyntCollectionItem {
  QV_CLASS(TSyntaxFormat, TSyntCollectionItem)
  static void DeclareClass(TClassDecl& c);

  // Courier New 10, no background (clNone), vaCenter, ftFontAttr, all ten format flags.
  explicit TSyntaxFormat(TCollection* collection);
  ~TSyntaxFormat() override;

  std::string GetItemBaseName() const override { return "Style"; }

  TFont* Font() const { return FFont.get(); }
  void SetFont(TFont* value);  // copies the attributes; the owned font stays
  TColor BgColor() const { return FBgColor; }
  void SetBgColor(TColor value);
  TVertAlignment VertAlignment() const { return FVertAlignment; }
  void SetVertAlignment(TVertAlignment value);
  TFormatType FormatType() const { return FFormatType; }
  void SetFormatType(TFormatType value);
  // True only when set and ffHidden is among the format flags.
  bool Hidden() const { return FHidden && FFormatFlags.Contains(ffHidden); }
  void SetHidden(bool value);
  // Index 0..3; other indexes read blNone / 0 and are ignored when written.
  TBorderLineType BorderType(int index) const;
  void SetBorderType(int index, TBorderLineType value);
  TColor BorderColor(int index) const;
  void SetBorderColor(int index, TColor value);
  bool MultiLineBorder() const { return FMultiLineBorder; }
  void SetMultiLineBorder(bool value);
  bool ReadOnly() const { return FReadOnly; }
  void SetReadOnly(bool value);
  TChangeCase ChangeCase() const { return FChangeCase; }
  void SetChangeCase(TChangeCase value);
  TFormatFlags FormatFlags() const { return FFormatFlags; }
  void SetFormatFlags(TFormatFlags value);
  // The analyzer's built-in selection style.
  bool IsBlock() const { return FIsBlock; }
  void SetIsBlock(bool value) { FIsBlock = value; }

  // For a displaying editor; not stored.
  TNotifyEvent OnChange;

  // Changed(false), then OnChange.
  void Change();

  // The eight border properties as they are streamed.
  TBorderLineType BorderTypeLeft() const { return BorderType(0); }
  void SetBorderTypeLeft(TBorderLineType v) { SetBorderType(0, v); }
  TColor BorderColorLeft() const { return BorderColor(0); }
  void SetBorderColorLeft(TColor v) { SetBorderColor(0, v); }
  TBorderLineType BorderTypeTop() const { return BorderType(1); }
  void SetBorderTypeTop(TBorderLineType v) { SetBorderType(1, v); }
  TColor BorderColorTop() const { return BorderColor(1); }
  void SetBorderColorTop(TColor v) { SetBorderColor(1, v); }
  TBorderLineType BorderTypeRight() const { return BorderType(2); }
  void SetBorderTypeRight(TBorderLineType v) { SetBorderType(2, v); }
  TColor BorderColorRight() const { return BorderColor(2); }
  void SetBorderColorRight(TColor v) { SetBorderColor(2, v); }
  TBorderLineType BorderTypeBottom() const { return BorderType(3); }
  void SetBorderTypeBottom(TBorderLineType v) { SetBorderType(3, v); }
  TColor BorderColorBottom() const { return BorderColor(3); }
  void SetBorderColorBottom(TColor v) { SetBorderColor(3, v); }

protected:
  void AssignTo(TPersistent* dest) const override;

private:
  std::unique_ptr<TFont> FFont;
  TColor FBgColor = clNone;
  TVertAlignment FVertAlignment = vaCenter;
  TFormatType FFormatType = ftFontAttr;
  bool FHidden = false;
  uint8_t FBorderTypes[4] = {blNone, blNone, blNone, blNone};
  TColor FBorderColors[4] = {0, 0, 0, 0};
  bool FMultiLineBorder = false;
  bool FReadOnly = false;
  TChangeCase FChangeCase = ccNone;
  TFormatFlags FFormatFlags = AllFormatFlags;
  bool FIsBlock = false;
};

class TStylesCollection : public TSyntCollection {
  QV_CLASS(TStylesCollection, TSyntCollection)
  explicit TStylesCollection(TSyntAnalyzer* owner);
  TSyntaxFormat* Items(int index) const {
    return static_cast<TSyntaxFormat*>(TCollection::Items(index));
  }
  TSyntaxFormat* Add() { return static_cast<TSyntaxFormat*>(TCollection::Add()); }
};

}  // namespace qv
