// Graphics values: colour and character-set names against the platform's tables, colour
// text in both directions, the fixed system palette, font size arithmetic, change
// notification of fonts and pens, and both objects written and read as sub-properties.
#include "framework/Graphics.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <climits>
#include <functional>
#include <iterator>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "framework/ComponentStream.h"
#include "framework/TextServices.h"

namespace qv {
namespace {

using testing::StrEq;
using testing::ThrowsMessage;

// --- Colours -------------------------------------------------------------------------------

TEST(GraphicsColor, EveryNameHasThePlatformValueAndValuesAreWrittenAsTheirFirstName) {
  struct TCase {
    const char* Name;
    uint32_t Value;  // the bit pattern
    const char* Written;
  };
  std::vector<TCase> cases = {
      {"clBlack", 0x000000, "clBlack"},       {"clMaroon", 0x000080, "clMaroon"},
      {"clGreen", 0x008000, "clGreen"},       {"clOlive", 0x008080, "clOlive"},
      {"clNavy", 0x800000, "clNavy"},         {"clPurple", 0x800080, "clPurple"},
      {"clTeal", 0x808000, "clTeal"},         {"clGray", 0x808080, "clGray"},
      {"clSilver", 0xC0C0C0, "clSilver"},     {"clRed", 0x0000FF, "clRed"},
      {"clLime", 0x00FF00, "clLime"},         {"clYellow", 0x00FFFF, "clYellow"},
      {"clBlue", 0xFF0000, "clBlue"},         {"clFuchsia", 0xFF00FF, "clFuchsia"},
      {"clAqua", 0xFFFF00, "clAqua"},         {"clWhite", 0xFFFFFF, "clWhite"},
      {"clMoneyGreen", 0xC0DCC0, "clMoneyGreen"}, {"clSkyBlue", 0xF0CAA6, "clSkyBlue"},
      {"clCream", 0xF0FBFF, "clCream"},       {"clMedGray", 0xA4A0A0, "clMedGray"},
      {"clNone", 0x1FFFFFFF, "clNone"},       {"clDefault", 0x20000000, "clDefault"},
      // Aliases are read, never written.
      {"clLtGray", 0xC0C0C0, "clSilver"},     {"clDkGray", 0x808080, "clGray"},
  };
  const char* system[] = {
      "clScrollBar", "clBackground", "clActiveCaption", "clInactiveCaption", "clMenu",
      "clWindow", "clWindowFrame", "clMenuText", "clWindowText", "clCaptionText",
      "clActiveBorder", "clInactiveBorder", "clAppWorkSpace", "clHighlight", "clHighlightText",
      "clBtnFace", "clBtnShadow", "clGrayText", "clBtnText", "clInactiveCaptionText",
      "clBtnHighlight", "cl3DDkShadow", "cl3DLight", "clInfoText", "clInfoBk", nullptr,
      "clHotLight", "clGradientActiveCaption", "clGradientInactiveCaption", "clMenuHighlight",
      "clMenuBar"};
  for (uint32_t i = 0; i < std::size(system); ++i)
    if (system[i]) cases.push_back({system[i], 0x80000000u | i, system[i]});
  EXPECT_EQ(ColorIdents.Entries().size(), cases.size()) << "a name without a row here";

  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    const auto color = static_cast<TColor>(c.Value);
    int64_t value = 0;
    ASSERT_TRUE(IdentToColor(UpperCase(c.Name), value));
    EXPECT_EQ(value, color);  // a system colour as the negative 32-bit value
    std::string ident;
    ASSERT_TRUE(ColorToIdent(color, ident));
    EXPECT_EQ(ident, c.Written);
    EXPECT_TRUE(ColorToIdent(int64_t{c.Value}, ident)) << "the unsigned pattern";
    EXPECT_EQ(ColorToString(color), c.Written);
    EXPECT_EQ(StringToColor(c.Name), color);
  }
  EXPECT_EQ(clHighlight, static_cast<TColor>(0x8000000Du));
  EXPECT_EQ(clWindowText, -2147483640);
}

TEST(GraphicsColor, ValuesWithoutANameAreHexadecimalTextAndNumbersReadBack) {
  struct TCase {
    std::string_view Text;
    TColor Color;
  };
  const TCase reads[] = {
      {"$00123456", 0x123456},
      {"1193046", 0x123456},
      {"255", clRed},
      {"$8000000D", clHighlight},  // the unsigned pattern
      {"-2147483635", clHighlight},
      {"$80000019", SystemColor(25)},
      {"$FFFFFFFF", -1},
      {"clwindowtext", clWindowText},
  };
  for (const TCase& c : reads) EXPECT_EQ(StringToColor(c.Text), c.Color) << c.Text;

  EXPECT_EQ(ColorToString(0x123456), "$00123456");
  EXPECT_EQ(ColorToString(SystemColor(25)), "$80000019");  // the index without a name
  EXPECT_EQ(ColorToString(-1), "$FFFFFFFF");
  std::string ident = "untouched";
  EXPECT_FALSE(ColorToIdent(0x123456, ident));
  EXPECT_FALSE(ColorToIdent(int64_t{0x1000000FF}, ident)) << "beyond 32 bits, not clRed";
  EXPECT_EQ(ident, "untouched");

  for (std::string_view bad : {"", "clPink", "$100000000", "-2147483649", "12abc", "$"}) {
    const std::string message = "Invalid color value '" + std::string(bad) + "'";
    EXPECT_THAT([&] { StringToColor(bad); }, ThrowsMessage<EConvertError>(StrEq(message)));
  }
}

TEST(GraphicsColor, ColorToRGBTakesSystemColoursFromTheFixedPaletteAndPassesTheRest) {
  const std::pair<TColor, TColor> cases[] = {
      {clWindow, 0xFFFFFF},      {clWindowText, 0x000000}, {clHighlight, 0x6A240A},
      {clHighlightText, 0xFFFFFF}, {clBtnFace, 0xC8D0D4},  {clInfoBk, 0xE1FFFF},
      {clGrayText, 0x808080},    {cl3DDkShadow, 0x404040}, {clMenuBar, 0xC8D0D4},
      {SystemColor(25), clBlack}, {SystemColor(31), clBlack},  // no entry: black
      {clRed, clRed},            {0x123456, 0x123456},     {clNone, clNone},
      {clDefault, clDefault},
  };
  for (auto [color, rgb] : cases)
    EXPECT_EQ(ColorToRGB(color), rgb) << ColorToString(color);
  // No named system colour leaks a system value into drawing.
  for (const TIdentMap::TEntry& e : ColorIdents.Entries()) {
    if (e.Value >= 0) continue;
    const TColor rgb = ColorToRGB(static_cast<TColor>(e.Value));
    EXPECT_TRUE(rgb >= 0 && rgb <= 0xFFFFFF) << e.Name;
  }
}

TEST(GraphicsMulDiv, RoundsHalfAwayFromZeroThroughSixtyFourBits) {
  struct TCase {
    int Number, Numerator, Denominator, Expected;
  };
  const TCase cases[] = {
      {10, 96, 72, 13},  {8, 96, 72, 11},   {-13, 72, 96, -10}, {-11, 72, 96, -8},
      {1, 1, 2, 1},      {-1, 1, 2, -1},    {1, -1, 2, -1},     {-1, -1, -2, -1},
      {3, 1, 2, 2},      {2, 1, -3, -1},    {1, 1, 3, 0},       {0, 5, 7, 0},
      {INT_MAX, 2, 2, INT_MAX},  // the product needs 64 bits
      {INT_MIN, 1, 1, INT_MIN},
      // Failures give -1.
      {5, 1, 0, -1},     {INT_MAX, 2, 1, -1}, {INT_MIN, -1, 1, -1},
  };
  for (const TCase& c : cases)
    EXPECT_EQ(MulDiv(c.Number, c.Numerator, c.Denominator), c.Expected)
        << c.Number << " * " << c.Numerator << " / " << c.Denominator;
}

// --- Character sets ----------------------------------------------------------------------------

TEST(GraphicsCharset, NamesRoundTripAndAgreeWithTheCodePageTable) {
  struct TCase {
    const char* Name;
    TFontCharset Value;
    int CodePage;  // 0: the platform gives none of its own
  };
  const TCase cases[] = {
      {"ANSI_CHARSET", 0, 1252},          {"DEFAULT_CHARSET", 1, 0},
      {"SYMBOL_CHARSET", 2, 0},           {"MAC_CHARSET", 77, 0},
      {"SHIFTJIS_CHARSET", 128, 932},     {"HANGEUL_CHARSET", 129, 949},
      {"JOHAB_CHARSET", 130, 1361},       {"GB2312_CHARSET", 134, 936},
      {"CHINESEBIG5_CHARSET", 136, 950},  {"GREEK_CHARSET", 161, 1253},
      {"TURKISH_CHARSET", 162, 1254},     {"VIETNAMESE_CHARSET", 163, 1258},
      {"HEBREW_CHARSET", 177, 1255},      {"ARABIC_CHARSET", 178, 1256},
      {"BALTIC_CHARSET", 186, 1257},      {"RUSSIAN_CHARSET", 204, 1251},
      {"THAI_CHARSET", 222, 874},         {"EASTEUROPE_CHARSET", 238, 1250},
      {"OEM_CHARSET", 255, 0},
  };
  EXPECT_EQ(CharsetIdents.Entries().size(), std::size(cases));
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    int64_t value = -1;
    ASSERT_TRUE(IdentToCharset(c.Name, value));
    EXPECT_EQ(value, c.Value);
    std::string ident;
    ASSERT_TRUE(CharsetToIdent(c.Value, ident));
    EXPECT_EQ(ident, c.Name);
    EXPECT_EQ(TranslateCharsetInfo(c.Value), c.CodePage);
  }
  int64_t value = -1;
  EXPECT_TRUE(IdentToCharset("russian_charset", value));
  EXPECT_EQ(value, RUSSIAN_CHARSET);
  EXPECT_FALSE(IdentToCharset("UTF8_CHARSET", value));
  std::string ident;
  EXPECT_FALSE(CharsetToIdent(3, ident));
  EXPECT_FALSE(CharsetToIdent(256 + ANSI_CHARSET, ident));
}

// --- Fonts and pens ----------------------------------------------------------------------------

// Counts OnChange calls, checking the sender.
struct TChangeCounter {
  int Count = 0;
  void Attach(TGraphicsObject& object) {
    object.OnChange = [this, &object](TObject* sender) {
      EXPECT_EQ(sender, &object);
      ++Count;
    };
  }
};

TEST(GraphicsFont, SizeAndHeightConvertAtNinetySixPixelsPerInch) {
  const std::pair<int, int> sizeToHeight[] = {
      {8, -11}, {9, -12}, {10, -13}, {12, -16}, {72, -96}, {0, 0},
      {-10, 13},  // a negative size asks for a cell height
  };
  for (auto [size, height] : sizeToHeight) {
    TFont font;
    font.SetSize(size);
    EXPECT_EQ(font.Height(), height) << "Size " << size;
  }
  const std::pair<int, int> heightToSize[] = {
      {-11, 8}, {-12, 9}, {-13, 10}, {-16, 12}, {-1, 1}, {0, 0},
      {13, 10},  // a cell height gives points as well
  };
  for (auto [height, size] : heightToSize) {
    TFont font;
    font.SetHeight(height);
    EXPECT_EQ(font.Size(), size) << "Height " << height;
  }
}

// Each mutation changes one attribute of a default font.
const std::vector<std::pair<const char*, std::function<void(TFont&)>>>& FontMutations() {
  static const std::vector<std::pair<const char*, std::function<void(TFont&)>>> mutations = {
      {"Charset", [](TFont& f) { f.SetCharset(GREEK_CHARSET); }},
      {"Color", [](TFont& f) { f.SetColor(clRed); }},
      {"Height", [](TFont& f) { f.SetHeight(20); }},
      {"Name", [](TFont& f) { f.SetName("Courier New"); }},
      {"Name case", [](TFont& f) { f.SetName("ms sans serif"); }},
      {"Pitch", [](TFont& f) { f.SetPitch(fpFixed); }},
      {"Size", [](TFont& f) { f.SetSize(10); }},
      {"Style", [](TFont& f) { f.SetStyle({fsItalic}); }},
  };
  return mutations;
}

TEST(GraphicsFont, OnChangeFiresOncePerEffectiveChange) {
  struct TCase {
    const char* What;
    std::function<void(TFont&)> Act;
    int Expected;
  };
  const TCase cases[] = {
      // The value it already has.
      {"same Charset", [](TFont& f) { f.SetCharset(DEFAULT_CHARSET); }, 0},
      {"same Color", [](TFont& f) { f.SetColor(clWindowText); }, 0},
      {"same Height", [](TFont& f) { f.SetHeight(-11); }, 0},
      {"same Name", [](TFont& f) { f.SetName("MS Sans Serif"); }, 0},
      {"same Pitch", [](TFont& f) { f.SetPitch(fpDefault); }, 0},
      {"Size giving the same Height", [](TFont& f) { f.SetSize(8); }, 0},
      {"same Style", [](TFont& f) { f.SetStyle({}); }, 0},
      // Twice the same new value.
      {"Color twice", [](TFont& f) { f.SetColor(clRed); f.SetColor(clRed); }, 1},
      {"Size twice", [](TFont& f) { f.SetSize(10); f.SetSize(10); }, 1},
      {"two attributes", [](TFont& f) { f.SetColor(clRed); f.SetStyle({fsBold}); }, 2},
      // Copies.
      {"Assign an equal font", [](TFont& f) { TFont other; f.Assign(&other); }, 0},
      {"Assign itself", [](TFont& f) { f.Assign(&f); }, 0},
      {"Assign three differences",
       [](TFont& f) {
         TFont other;
         other.SetName("Arial");
         other.SetStyle({fsBold, fsUnderline});
         other.SetHeight(-20);
         f.Assign(&other);
       },
       1},
  };
  for (const TCase& c : cases) {
    TFont font;
    TChangeCounter counter;
    counter.Attach(font);
    c.Act(font);
    EXPECT_EQ(counter.Count, c.Expected) << c.What;
  }
  for (const auto& [what, mutate] : FontMutations()) {
    TFont font;
    TChangeCounter counter;
    counter.Attach(font);
    mutate(font);
    EXPECT_EQ(counter.Count, 1) << what;
  }
}

TEST(GraphicsFont, AssignCopiesEveryAttributeBeforeItNotifies) {
  for (const auto& [what, mutate] : FontMutations()) {
    SCOPED_TRACE(what);
    TFont source, dest;
    mutate(source);
    EXPECT_FALSE(SameFont(dest, source));
    int calls = 0;
    dest.OnChange = [&](TObject*) {
      ++calls;
      EXPECT_TRUE(SameFont(dest, source)) << "notified halfway";
    };
    dest.Assign(&source);
    EXPECT_EQ(calls, 1);
    EXPECT_TRUE(SameFont(dest, source));
    EXPECT_TRUE(SamePublishedValues(dest, source));
  }
  TFont font;
  TPen pen;
  EXPECT_THAT([&] { font.Assign(&pen); },
              ThrowsMessage<EConvertError>(StrEq("Cannot assign a TPen to a TFont")));
  EXPECT_THAT([&] { pen.Assign(nullptr); },
              ThrowsMessage<EConvertError>(StrEq("Cannot assign a nil to a TPen")));
}

TEST(GraphicsPen, OnChangeFiresOncePerEffectiveChangeAndAssignCopiesAll) {
  struct TCase {
    const char* What;
    std::function<void(TPen&)> Act;
    int Expected;
  };
  const TCase cases[] = {
      {"same Color", [](TPen& p) { p.SetColor(clBlack); }, 0},
      {"same Mode", [](TPen& p) { p.SetMode(pmCopy); }, 0},
      {"same Style", [](TPen& p) { p.SetStyle(psSolid); }, 0},
      {"same Width", [](TPen& p) { p.SetWidth(1); }, 0},
      {"Color", [](TPen& p) { p.SetColor(clHighlight); }, 1},
      {"Mode", [](TPen& p) { p.SetMode(pmXor); }, 1},
      {"Style", [](TPen& p) { p.SetStyle(psClear); }, 1},
      {"Width", [](TPen& p) { p.SetWidth(0); }, 1},
      {"Width twice", [](TPen& p) { p.SetWidth(3); p.SetWidth(3); }, 1},
      {"Assign an equal pen", [](TPen& p) { TPen other; p.Assign(&other); }, 0},
  };
  for (const TCase& c : cases) {
    TPen pen;
    TChangeCounter counter;
    counter.Attach(pen);
    c.Act(pen);
    EXPECT_EQ(counter.Count, c.Expected) << c.What;
  }

  TPen source, dest;
  source.SetColor(clRed);
  source.SetMode(pmNotXor);
  source.SetStyle(psDashDotDot);
  source.SetWidth(4);
  TChangeCounter counter;
  counter.Attach(dest);
  dest.Assign(&source);
  EXPECT_EQ(counter.Count, 1);
  std::string difference;
  EXPECT_TRUE(SamePublishedValues(dest, source, &difference)) << difference;
  EXPECT_EQ(dest.Width(), 4);
}

// --- Streaming -----------------------------------------------------------------------------------

// Owns a font and a pen, streamed as sub-properties.
class TGraphicsHolder : public TComponent {
  QV_CLASS(TGraphicsHolder, TComponent)
  static void DeclareClass(TClassDecl& c) {
    c.Object("Font", &TGraphicsHolder::Font, &TGraphicsHolder::SetFont);
    c.Object("Pen", &TGraphicsHolder::Pen, &TGraphicsHolder::SetPen);
  }
  explicit TGraphicsHolder(TComponent* owner) : TComponent(owner) { SetName("Holder1"); }
  TFont* Font() const { return FFont.get(); }
  void SetFont(TFont* value) { FFont->Assign(value); }
  TPen* Pen() const { return FPen.get(); }
  void SetPen(TPen* value) { FPen->Assign(value); }

private:
  std::unique_ptr<TFont> FFont = std::make_unique<TFont>();
  std::unique_ptr<TPen> FPen = std::make_unique<TPen>();
};

std::string ToText(TComponent& component) {
  TMemoryStream out;
  WriteComponentText(out, &component);
  return out.DataString();
}

// The holder's text with these property lines, each ended by CR LF.
std::string HolderText(std::initializer_list<std::string_view> lines) {
  std::string s = "object Holder1: TGraphicsHolder\r\n";
  for (std::string_view l : lines) s += "  " + std::string(l) + "\r\n";
  return s + "end\r\n";
}

// Reads text into holder; returns the messages of handled errors.
std::vector<std::string> FromText(const std::string& text, TGraphicsHolder& holder) {
  std::vector<std::string> messages;
  TMemoryStream in(text);
  ReadComponentText(in, &holder, [&](TReader&, const std::string& message, bool& handled) {
    messages.push_back(message);
    handled = true;
  });
  return messages;
}

TEST(GraphicsStreaming, ANewFontWritesItsAttributesAndANewPenNothing) {
  TGraphicsHolder holder(nullptr);
  EXPECT_EQ(ToText(holder), HolderText({"Font.Charset = DEFAULT_CHARSET",
                                        "Font.Color = clWindowText",
                                        "Font.Height = -11",
                                        "Font.Name = 'MS Sans Serif'",
                                        "Font.Style = []"}));
}

TEST(GraphicsStreaming, ChangedValuesAreWrittenByNameOrAsNumbersAndReadBackEqual) {
  TGraphicsHolder holder(nullptr);
  TFont& font = *holder.Font();
  font.SetCharset(3);  // no name
  font.SetColor(0x123456);
  font.SetHeight(20);
  font.SetName("");
  font.SetPitch(fpFixed);
  font.SetStyle({fsBold, fsStrikeOut});
  TPen& pen = *holder.Pen();
  pen.SetColor(clRed);
  pen.SetWidth(2);
  const std::string text = HolderText({"Font.Charset = 3",
                                       "Font.Color = 1193046",
                                       "Font.Height = 20",
                                       "Font.Pitch = fpFixed",
                                       "Font.Style = [fsBold, fsStrikeOut]",
                                       "Pen.Color = clRed",
                                       "Pen.Width = 2"});
  EXPECT_EQ(ToText(holder), text);

  // Read into a new holder: the same values, and the same text again. The empty name is
  // not written, so the reading font keeps the name it has.
  TGraphicsHolder copy(nullptr);
  EXPECT_THAT(FromText(text, copy), testing::IsEmpty());
  EXPECT_EQ(copy.Font()->Name(), "MS Sans Serif");
  copy.Font()->SetName("");
  std::string difference;
  EXPECT_TRUE(SamePublishedValues(holder, copy, &difference)) << difference;
  EXPECT_EQ(ToText(copy), text);

  // Negative system colours, a named character set and the other enumerations.
  font.SetName("Courier New");
  font.SetCharset(RUSSIAN_CHARSET);
  font.SetColor(clHighlightText);
  pen.SetColor(clHighlight);
  pen.SetMode(pmXor);
  pen.SetStyle(psInsideFrame);
  const std::string second = ToText(holder);
  EXPECT_THAT(second, testing::HasSubstr("Font.Charset = RUSSIAN_CHARSET\r\n"));
  EXPECT_THAT(second, testing::HasSubstr("Pen.Color = clHighlight\r\n"));
  EXPECT_THAT(second, testing::HasSubstr("Pen.Mode = pmXor\r\n"));
  EXPECT_THAT(second, testing::HasSubstr("Pen.Style = psInsideFrame\r\n"));
  TGraphicsHolder third(nullptr);
  EXPECT_THAT(FromText(second, third), testing::IsEmpty());
  EXPECT_TRUE(SamePublishedValues(holder, third, &difference)) << difference;

  // The generic copy reaches the owned objects through their setters.
  TGraphicsHolder assigned(nullptr);
  AssignPublished(assigned, holder);
  EXPECT_TRUE(SamePublishedValues(holder, assigned, &difference)) << difference;
}

TEST(GraphicsStreaming, SizeIsNotWrittenButReadsIntoHeight) {
  TGraphicsHolder holder(nullptr);
  TChangeCounter counter;
  counter.Attach(*holder.Font());
  EXPECT_THAT(FromText(HolderText({"Font.Size = 12", "Font.Color = CLRED"}), holder),
              testing::IsEmpty());
  EXPECT_EQ(holder.Font()->Height(), -16);
  EXPECT_EQ(holder.Font()->Color(), clRed);
  EXPECT_EQ(counter.Count, 2);
  EXPECT_THAT(ToText(holder), testing::Not(testing::HasSubstr("Size")));

  // The later line wins, whichever of the two it is.
  EXPECT_THAT(FromText(HolderText({"Font.Size = 12", "Font.Height = -13"}), holder),
              testing::IsEmpty());
  EXPECT_EQ(holder.Font()->Size(), 10);
  EXPECT_THAT(FromText(HolderText({"Font.Height = -13", "Font.Size = 9"}), holder),
              testing::IsEmpty());
  EXPECT_EQ(holder.Font()->Height(), -12);
}

TEST(GraphicsStreaming, BadValuesAreReportedAndSkipped) {
  TGraphicsHolder holder(nullptr);
  const std::vector<std::string> messages = FromText(
      HolderText({"Font.Charset = 256", "Font.Style = [fsBold, fsShadow]", "Pen.Mode = pmPaint",
                  "Pen.Color = clPink", "Pen.Color = $100000000", "Pen.Width = 5"}),
      holder);
  EXPECT_THAT(messages,
              testing::ElementsAre("Error reading Holder1.Font.Charset: Invalid property value",
                                   "Error reading Holder1.Font.Style: Invalid property value",
                                   "Error reading Holder1.Pen.Mode: Invalid property value",
                                   "Error reading Holder1.Pen.Color: Invalid property value",
                                   "Error reading Holder1.Pen.Color: Invalid property value"));
  EXPECT_EQ(holder.Font()->Charset(), DEFAULT_CHARSET);
  EXPECT_TRUE(holder.Font()->Style().Empty());
  EXPECT_EQ(holder.Pen()->Mode(), pmCopy);
  EXPECT_EQ(holder.Pen()->Color(), clBlack);
  EXPECT_EQ(holder.Pen()->Width(), 5);  // reading went on
}

}  // namespace
}  // namespace qv
