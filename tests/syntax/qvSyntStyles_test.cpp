// Styles: initial values, the hidden flag under the format flags, borders by index, which
// setters notify, copying, and the text a style is written as.
#include "syntax/qvSyntStyles.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

#include "framework/ComponentStream.h"
#include "syntax/qvSyntAnalyzer.h"

namespace qv {
namespace {

TEST(SyntaxFormat, ANewStyleHasTheDocumentedValues) {
  TStylesCollection styles(nullptr);
  TSyntaxFormat* style = styles.Add();
  EXPECT_EQ(style->DisplayName(), "Style 1");
  EXPECT_EQ(style->Font()->Name(), "Courier New");
  EXPECT_EQ(style->Font()->Size(), 10);
  EXPECT_EQ(style->Font()->Height(), -13);
  EXPECT_EQ(style->BgColor(), clNone);
  EXPECT_EQ(style->VertAlignment(), vaCenter);
  EXPECT_EQ(style->FormatType(), ftFontAttr);
  EXPECT_EQ(style->FormatFlags().Mask(), 1023u);
  EXPECT_TRUE(style->Enabled());
  EXPECT_FALSE(style->IsBlock());
}

TEST(SyntaxFormat, HiddenNeedsItsFormatFlagAndBordersAreIndexed) {
  TStylesCollection styles(nullptr);
  TSyntaxFormat* style = styles.Add();
  style->SetHidden(true);
  EXPECT_TRUE(style->Hidden());
  style->SetFormatFlags(AllFormatFlags - TFormatFlags{ffHidden});
  EXPECT_FALSE(style->Hidden());
  style->SetFormatFlags(AllFormatFlags);
  EXPECT_TRUE(style->Hidden());  // the stored flag was kept

  style->SetBorderTypeTop(blWavyLine);
  EXPECT_EQ(style->BorderType(1), blWavyLine);
  for (int i : {0, 2, 3}) EXPECT_EQ(style->BorderType(i), blNone);
  style->SetBorderColor(3, clRed);
  EXPECT_EQ(style->BorderColorBottom(), clRed);
  style->SetBorderType(4, blSolid);  // ignored
  style->SetBorderColor(-1, clRed);
  EXPECT_EQ(style->BorderType(4), blNone);
  EXPECT_EQ(style->BorderColor(-1), 0);
}

TEST(SyntaxFormat, SettersNotifyAlwaysButFormatFlagsOnlyOnChange) {
  TStylesCollection styles(nullptr);
  TSyntaxFormat* style = styles.Add();
  int collectionNotices = 0, styleNotices = 0;
  styles.OnChange = [&](TSyntCollection*, TSyntCollectionItem* item) {
    EXPECT_EQ(item, style);
    ++collectionNotices;
  };
  style->OnChange = [&](TObject* sender) {
    EXPECT_EQ(sender, style);
    ++styleNotices;
  };
  style->SetFormatFlags(style->FormatFlags());
  EXPECT_EQ(collectionNotices, 0);
  style->SetBgColor(style->BgColor());
  EXPECT_EQ(collectionNotices, 1);
  style->SetFormatFlags({ffBold});
  EXPECT_EQ(collectionNotices, 2);
  style->Font()->SetStyle({fsBold});  // a change of the owned font
  EXPECT_EQ(collectionNotices, 3);
  style->Font()->SetStyle({fsBold});
  EXPECT_EQ(collectionNotices, 3);
  TFont other;
  other.SetName("Consolas");
  style->SetFont(&other);
  EXPECT_EQ(style->Font()->Name(), "Consolas");
  EXPECT_NE(style->Font(), &other);
  EXPECT_EQ(styleNotices, collectionNotices);
}

TEST(SyntaxFormat, AssignCopiesEveryAttributeAndTheEffectiveHiddenValue) {
  TStylesCollection styles(nullptr);
  TSyntaxFormat* a = styles.Add();
  a->SetDisplayName("Comment");
  a->SetBgColor(clYellow);
  a->Font()->SetStyle({fsItalic});
  a->SetVertAlignment(vaBottom);
  a->SetIsBlock(true);
  a->SetFormatType(ftColor);
  a->SetHidden(true);
  a->SetReadOnly(true);
  a->SetMultiLineBorder(true);
  a->SetChangeCase(ccTitle);
  a->SetBorderTypeRight(blDouble);
  a->SetBorderColorRight(clBlue);
  a->SetFormatFlags({ffItalic});  // without ffHidden: Hidden reads False

  TStylesCollection other(nullptr);
  TSyntaxFormat* b = other.Add();
  b->Assign(a);
  EXPECT_EQ(b->DisplayName(), "Comment");
  EXPECT_TRUE(b->IsBlock());
  EXPECT_EQ(b->Font()->Style(), TFontStyles{fsItalic});
  a->SetFormatFlags(AllFormatFlags);
  b->SetFormatFlags(AllFormatFlags);
  EXPECT_FALSE(b->Hidden());  // the effective value was copied
  a->SetHidden(false);
  std::string difference;
  EXPECT_TRUE(SamePublishedValues(*a, *b, &difference)) << difference;
}

TEST(SyntaxFormat, StylesAreWrittenWithTheFontAndWithoutDefaults) {
  TSyntAnalyzer lexer(nullptr);
  lexer.SetName("Lexer1");
  lexer.Formats()->Clear();
  TSyntaxFormat* style = lexer.Formats()->Add();
  style->SetBorderTypeLeft(blSolid);
  style->SetBorderColorLeft(clRed);
  style->SetHidden(true);
  TMemoryStream out;
  lexer.SaveToStream(out);
  const std::string text = out.DataString();
  EXPECT_THAT(text, testing::HasSubstr("  Formats = <\r\n"
                                       "    item\r\n"
                                       "      DisplayName = 'Style 1'\r\n"
                                       "      Font.Charset = DEFAULT_CHARSET\r\n"
                                       "      Font.Color = clWindowText\r\n"
                                       "      Font.Height = -13\r\n"
                                       "      Font.Name = 'Courier New'\r\n"
                                       "      Font.Style = []\r\n"
                                       "      Hidden = True\r\n"
                                       "      BorderTypeLeft = blSolid\r\n"
                                       "      BorderColorLeft = clRed\r\n"
                                       "    end>\r\n"));
}

}  // namespace
}  // namespace qv
