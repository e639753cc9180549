// Styles: attributes, their change rules, and copying.
#include "syntax/qvSyntStyles.h"

namespace qv {

const TEnumInfo VertAlignmentInfo("TVertAlignment", {"vaTop", "vaCenter", "vaBottom"});
const TEnumInfo FormatTypeInfo("TFormatType",
                               {"ftCustomFont", "ftFontAttr", "ftColor", "ftBackGround"});
const TEnumInfo BorderLineTypeInfo("TBorderLineType",
                                   {"blNone", "blSolid", "blDash", "blDot", "blDashDot",
                                    "blDashDotDot", "blSolid2", "blSolid3", "blWavyLine",
                                    "blDouble"});
const TEnumInfo ChangeCaseInfo("TChangeCase", {"ccNone", "ccUpper", "ccLower", "ccToggle", "ccTitle"});
const TEnumInfo FormatFlagInfo("TFormatFlag",
                               {"ffBold", "ffItalic", "ffUnderline", "ffStrikeOut", "ffReadOnly",
                                "ffHidden", "ffFontName", "ffFontSize", "ffFontCharset",
                                "ffVertAlign"});

void TSyntaxFormat::DeclareClass(TClassDecl& c) {
  using T = TSyntaxFormat;
  c.Object("Font", &T::Font, &T::SetFont);
  c.Integer("BgColor", &T::BgColor, &T::SetBgColor).Default(clNone).NamedValues(ColorIdents);
  c.Enumeration("VertAlignment", VertAlignmentInfo, &T::VertAlignment, &T::SetVertAlignment)
      .Default(vaCenter);
  c.Enumeration("FormatType", FormatTypeInfo, &T::FormatType, &T::SetFormatType)
      .Default(ftFontAttr);
  c.Boolean("Hidden", &T::Hidden, &T::SetHidden).Default(false);
  c.Enumeration("BorderTypeLeft", BorderLineTypeInfo, &T::BorderTypeLeft, &T::SetBorderTypeLeft)
      .Default(blNone);
  c.Integer("BorderColorLeft", &T::BorderColorLeft, &T::SetBorderColorLeft)
      .Default(0)
      .NamedValues(ColorIdents);
  c.Enumeration("BorderTypeTop", BorderLineTypeInfo, &T::BorderTypeTop, &T::SetBorderTypeTop)
      .Default(blNone);
  c.Integer("BorderColorTop", &T::BorderColorTop, &T::SetBorderColorTop)
      .Default(0)
      .NamedValues(ColorIdents);
  c.Enumeration("BorderTypeRight", BorderLineTypeInfo, &T::BorderTypeRight,
                &T::SetBorderTypeRight)
      .Default(blNone);
  c.Integer("BorderColorRight", &T::BorderColorRight, &T::SetBorderColorRight)
      .Default(0)
      .NamedValues(ColorIdents);
  c.Enumeration("BorderTypeBottom", BorderLineTypeInfo, &T::BorderTypeBottom,
                &T::SetBorderTypeBottom)
      .Default(blNone);
  c.Integer("BorderColorBottom", &T::BorderColorBottom, &T::SetBorderColorBottom)
      .Default(0)
      .NamedValues(ColorIdents);
  c.Boolean("MultiLineBorder", &T::MultiLineBorder, &T::SetMultiLineBorder).Default(false);
  c.Boolean("ReadOnly", &T::ReadOnly, &T::SetReadOnly).Default(false);
  c.Enumeration("ChangeCase", ChangeCaseInfo, &T::ChangeCase, &T::SetChangeCase).Default(ccNone);
  c.Set("FormatFlags", FormatFlagInfo, &T::FormatFlags, &T::SetFormatFlags)
      .Default(AllFormatFlags);
}

TSyntaxFormat::TSyntaxFormat(TCollection* collection)
    : TSyntCollectionItem(collection), FFont(std::make_unique<TFont>()) {
  FFont->SetName("Courier New");
  FFont->SetSize(10);
  FFont->OnChange = [this](TObject*) { Change(); };
}

TSyntaxFormat::~TSyntaxFormat() { FFont->OnChange = nullptr; }

void TSyntaxFormat::Change() {
  Changed(false);
  if (OnChange) OnChange(this);
}

void TSyntaxFormat::SetFont(TFont* value) {
  if (value) FFont->Assign(value);
  Change();
}

void TSyntaxFormat::SetBgColor(TColor value) {
  FBgColor = value;
  Change();
}

void TSyntaxFormat::SetVertAlignment(TVertAlignment value) {
  FVertAlignment = value;
  Change();
}

void TSyntaxFormat::SetFormatType(TFormatType value) {
  FFormatType = value;
  Change();
}

void TSyntaxFormat::SetHidden(bool value) {
  FHidden = value;
  Change();
}

TBorderLineType TSyntaxFormat::BorderType(int index) const {
  return index >= 0 && index < 4 ? static_cast<TBorderLineType>(FBorderTypes[index]) : blNone;
}

void TSyntaxFormat::SetBorderType(int index, TBorderLineType value) {
  if (index < 0 || index >= 4) return;
  FBorderTypes[index] = value;
  Change();
}

TColor TSyntaxFormat::BorderColor(int index) const {
  return index >= 0 && index < 4 ? FBorderColors[index] : 0;
}

void TSyntaxFormat::SetBorderColor(int index, TColor value) {
  if (index < 0 || index >= 4) return;
  FBorderColors[index] = value;
  Change();
}

void TSyntaxFormat::SetMultiLineBorder(bool value) {
  FMultiLineBorder = value;
  Change();
}

void TSyntaxFormat::SetReadOnly(bool value) {
  FReadOnly = value;
  Change();
}

void TSyntaxFormat::SetChangeCase(TChangeCase value) {
  FChangeCase = value;
  Change();
}

void TSyntaxFormat::SetFormatFlags(TFormatFlags value) {
  if (FFormatFlags == value) return;
  FFormatFlags = value;
  Change();
}

void TSyntaxFormat::AssignTo(TPersistent* dest) const {
  auto* style = dynamic_cast<TSyntaxFormat*>(dest);
  if (!style) return;
  TSyntCollectionItem::AssignTo(dest);
  style->SetBgColor(FBgColor);
  style->FFont->Assign(FFont.get());
  style->SetVertAlignment(FVertAlignment);
  style->FIsBlock = FIsBlock;
  style->SetFormatType(FFormatType);
  style->SetHidden(Hidden());
  style->SetReadOnly(FReadOnly);
  style->SetMultiLineBorder(FMultiLineBorder);
  style->SetChangeCase(FChangeCase);
  for (int i = 0; i < 4; ++i) {
    style->SetBorderType(i, BorderType(i));
    style->SetBorderColor(i, FBorderColors[i]);
  }
  style->SetFormatFlags(FFormatFlags);
}

TStylesCollection::TStylesCollection(TSyntAnalyzer* owner)
    : TSyntCollection(ClassInfoOf<TSyntaxFormat>(), CreateItemOf<TSyntaxFormat>, owner) {}

}  // namespace qv
