// Tests of the expression compiler and the expression object's settings: the trees built
// for each item, escape, set and quantifier, the compile errors and their texts, modifiers,
// Assign and the class hooks.
#include "syntax/qvZRegExpr.h"

#include <string>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "tests/support/RegExprDump.h"

namespace qv {
namespace {

using test::DumpTree;
using testing::StrEq;
using testing::ThrowsMessage;

constexpr uint16_t kNoCase = DefaultModifierFlags & ~MaskModI;  // r g m x: readable dumps

std::u16string Wide(const std::string& s) {
  std::u16string w;
  for (char c : s) w += static_cast<char16_t>(static_cast<uint8_t>(c));
  return w;
}

std::string Tree(const std::string& expr, uint16_t flags = kNoCase) {
  TqvRegExpr re;
  re.SetModifierFlags(flags);
  re.CompileText(expr);
  return DumpTree(re.Root());
}

// Restores both class hooks when a test that sets them ends.
struct THookReset {
  ~THookReset() {
    ClassLetterHook = nullptr;
    ClassTestHook = nullptr;
  }
};

TEST(TqvRegExprCompile, BuildsTheTreeOfEachItem) {
  const uint16_t s = kNoCase | MaskModS, noM = kNoCase & ~MaskModM, noX = kNoCase & ~MaskModX;
  const uint16_t noR = kNoCase & ~MaskModR, noG = kNoCase & ~MaskModG;
  struct { const char* Expr; uint16_t Flags; const char* Tree; } cases[] = {
      {"ab", kNoCase, "br(chr'a' chr'b')"},
      {"aB", DefaultModifierFlags, "br(chri'A' chri'B')"},
      {".", kNoCase, "br(spc':')"},
      {".", s, "br(spc'.')"},
      {"^$", kNoCase, "br(spc'^' spc'$')"},
      {"^$", noM, "br(spc'A' spc'Z')"},
      {"\\A\\B\\Z\\b\\z", kNoCase, "br(spc'A' spc'B' spc'Z' spc'b' spc'z')"},
      {"\\w\\W\\d\\D\\l\\L\\s\\h\\c\\k\\g", kNoCase,
       "br(spc'w' spc'W' spc'd' spc'D' spc'l' spc'L' spc's' spc'h' spc'c' spc'k' spc'g')"},
      {"\\w\\W\\d\\D\\l\\L\\s", noR, "br(spc'c' spc'C' spc'k' spc'K' spc'g' spc'G' spc's')"},
      {"\\a\\e\\f\\n\\r\\t", kNoCase, "br(chr#07 chr#1B chr#0C chr#0A chr#0D chr#09)"},
      {"\\x{41}\\x41z\\x{ 263a }", kNoCase, "br(chr'A' chr'A' chr'z' chr#263A)"},
      {"\\x{263A}", DefaultModifierFlags, "br(chri':')"},  // under i: low byte, upper-cased
      {"\\0\\.\\\\\\q", kNoCase, "br(chr'0' chr'.' chr#5C chr'q')"},
      {"a\\", kNoCase, "br(chr'a' chr#5C)"},
      {"(a)\\1", kNoCase, "br(grp(br(chr'a')) ref1)"},
      {"(a)\\1", DefaultModifierFlags, "br(grp(br(chri'A')) refi1)"},
      {"(\\1)", kNoCase, "br(grp(br(ref1)))"},  // a group may refer to itself
      // Quantifiers, lazy forms, and characters that are no quantifier where they stand.
      {"a*b+c?d{2}e{2,}f{2,3}", kNoCase,
       "br(chr'a'{0,-1} chr'b'{1,-1} chr'c'{0,1} chr'd'{2,2} chr'e'{2,-1} chr'f'{2,3})"},
      {"a*?b+?c?\?(d){0,1}?", kNoCase,
       "br(chr'a'{0,-1}? chr'b'{1,-1}? chr'c'{0,1}? grp(br(chr'd')){0,1}?)"},
      {"a*b", noG, "br(chr'a'{0,-1}? chr'b')"},
      {"a**", kNoCase, "br(chr'a'{0,-1} chr'*')"},
      {"a***", kNoCase, "br(chr'a'{0,-1} chr'*'{0,-1})"},
      {"a*+", kNoCase, "br(chr'a'{0,-1} chr'+')"},
      {"*a|+", kNoCase, "br(chr'*' chr'a')|br(chr'+')"},
      {"^*$?", kNoCase, "br(spc'^' chr'*' spc'$' chr'?')"},
      {"a{0}b{0,0}", kNoCase, "br(chr'a'{0,0} chr'b'{0,0})"},
      {"a{2, 5}", kNoCase, "br(chr'a'{2,5})"},  // x skips blanks around the count's digits
      {"\\b*", kNoCase, "br(spc'b'{0,-1})"},
      // Alternatives and groups.
      {"a)b", kNoCase, "br(chr'a')"},
      {"a|", kNoCase, "br(chr'a')"},
      {"|a", kNoCase, "br(chr'a')"},
      {"(a|)", kNoCase, "br(grp(br(chr'a')))"},
      {"a()b", kNoCase, "br(chr'a' grp() chr'b')"},
      {"(a|b|)c", kNoCase, "br(grp(br(chr'a')|br(chr'b')) chr'c')"},
      // x mode: blanks and comments vanish, also inside sets; escaped ones stay.
      {"a b", kNoCase, "br(chr'a' chr'b')"},
      {"a b", noX, "br(chr'a' chr' ' chr'b')"},
      {"[a b]", kNoCase, "br(set[ab])"},
      {"a#x\nc", kNoCase, "br(chr'a' chr'c')"},
      {"a#x\r\nc", kNoCase, "br(chr'a' chr'c')"},
      {"a\\ b\\#", kNoCase, "br(chr'a' chr' ' chr'b' chr'#')"},
      {"a#x", noX, "br(chr'a' chr'#' chr'x')"},
      // Sets and every rule for "-".
      {"[^]", kNoCase, "br(set^[])"},
      {"[]]", kNoCase, "br(set[<']'>])"},
      {"[]a]", kNoCase, "br(set[<']'>a])"},
      {"[^]a]", kNoCase, "br(set^[] chr'a' chr']')"},
      {"[a-]", kNoCase, "br(set[a-])"},
      {"[-a]", kNoCase, "br(set[-a])"},
      {"[a-c-e]", kNoCase, "br(set[a-c-e])"},
      {"[\\w-a]", kNoCase, "br(set[-a\\w])"},
      {"[a-\\d]", kNoCase, "br(set[a-\\d])"},
      {"[a-\\x7A]", kNoCase, "br(set[a-z])"},
      {"[\\]\\-\\\\\\^\\b\\n]", kNoCase, "br(set[<']'>-<#5C>^b<#0A>])"},
      {"[aa]{2}", kNoCase, "br(set[a]{2,2})"},
      {"[a-zA]", DefaultModifierFlags, "br(seti[A-ZA])"},
      {"[\\w\\D]", kNoCase & ~MaskModR, "br(set[\\c\\K])"},
      {"[a\\", kNoCase, nullptr},  // "\" at the end is a backslash; the set stays open
      // Inline modifiers hold for the rest of their alternative only.
      {"(x(?i)a|b)", kNoCase, "br(grp(br(chr'x' chri'A')|br(chr'b')))"},
      {"(?i)a(b)|c", kNoCase, "br(chri'A' grp(br(chri'B')))|br(chr'c')"},
      {"(?-x)a b", kNoCase, "br(chr'a' chr' ' chr'b')"},
      {"(?s-m).^", kNoCase, "br(spc'.' spc'A')"},
      {"(?#any text)a", kNoCase, "br(chr'a')"},
      {"(?#(a)b", kNoCase, "br(chr'b')"},  // the comment ends at the first ")"
      // Look-around: one alternative, its terminator consumed unchecked, errors dropping it.
      {"(?=a)b", kNoCase, "br(ahead(chr'a') chr'b')"},
      {"a(?!b)", kNoCase, "br(chr'a' !ahead(chr'b'))"},
      {"(?<=ab)c(?<!d)", kNoCase, "br(behind(chr'b' chr'a') chr'c' !behind(chr'd'))"},
      {"(?=a|b)c", kNoCase, "br(ahead(chr'a') chr'b')"},
      {"(?=)a", kNoCase, "br(ahead() chr'a')"},
      {"(?=(a))b", kNoCase, "br(ahead(grp(br(chr'a'))) chr'b')"},
      {"b(?=a{x)c", kNoCase, "br(chr'b')"},
      {"b(?=\\1)c", kNoCase, "br(chr'b')"},
      // Former faults: a nested group, a modifier group and a missing ")" inside a body.
      {"b(?=((a)))c", kNoCase, "br(chr'b' chr'a')"},
      {"b(?=(?i)a)c", kNoCase, "br(chr'b' chr'?' chr'i')"},
      {"b(?=(a", kNoCase, "br(chr'b')"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Expr);
    if (!c.Tree) {
      EXPECT_THROW(Tree(c.Expr, c.Flags), Exception);
      continue;
    }
    EXPECT_EQ(Tree(c.Expr, c.Flags), c.Tree);
  }
}

TEST(TqvRegExprCompile, RaisesEachErrorWithItsText) {
  struct { const char* Expr; const char* Message; } cases[] = {
      {"a\\x", SInvalidEscapeChar},
      {"\\x00", SInvalidHexChar},
      {"\\x{10000}", SInvalidHexChar},
      {"\\x{zz}", "'$zz' is not a valid integer value"},
      {"\\x{}", "'$' is not a valid integer value"},
      {"[abc", SUnexpectedEnd},
      {"[a-", SUnexpectedEnd},
      {"[^", SUnexpectedEnd},
      {"(?", SUnexpectedEnd},
      {"a(?<", SUnexpectedEnd},
      {"(?=", SUnexpectedEnd},
      {"(?= ", SUnexpectedEnd},  // x skips the blank, then the body must begin
      {"a{", SNumberExpected},
      {"a{,5}", SNumberExpected},
      {"a{2,x}", SNumberExpected},
      {"a{2,5", SNoClosingBrace},
      {"a{2,5x}", SNoClosingBrace},
      {"a{2", SInvalidLoopSpecifier},
      {"a{2x}", SInvalidLoopSpecifier},
      {"a{5,2}", SLoopMinAboveMax},
      {"[z-a]", SInvalidSetRange},
      {"[a--]", SInvalidSetRange},
      {"\\1", SInvalidReference},
      {"(a)\\2", SInvalidReference},
      {"(?<x)", SInvalidZeroWidth},
      {"(a", SNotClosedSubExpr},
      {"((a)", SNotClosedSubExpr},
      {"(?)", SUnexpectedModifier},
      {"(?iq)", SUnexpectedModifier},
      {"a{99999999999}", "'99999999999' is not a valid integer value"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Expr);
    TqvRegExpr re;
    EXPECT_THAT([&] { re.CompileText(c.Expr); }, ThrowsMessage<Exception>(StrEq(c.Message)));
    EXPECT_EQ(re.Root(), nullptr);
    re.SetExpression(Wide(c.Expr));
    EXPECT_FALSE(re.Compile());
    EXPECT_TRUE(re.IsInvalid());
  }
  // "a{2,2}" is a valid count: the minimum may equal the maximum.
  EXPECT_EQ(Tree("a{2,2}"), "br(chr'a'{2,2})");
}

TEST(TqvRegExprCompile, BoundsNestingAndAcceptsLongExpressions) {
  TqvRegExpr re;
  const std::string deep = std::string(10000, '(') + "a" + std::string(10000, ')');
  EXPECT_THAT([&] { re.CompileText(deep); },
              ThrowsMessage<Exception>(StrEq(SExpressionTooComplex)));
  // Too deep look-arounds are not absorbed like other errors inside a body.
  std::string lookArounds;
  for (int i = 0; i < 5000; ++i) lookArounds += "(?=";
  EXPECT_THAT([&] { re.CompileText(lookArounds + "a"); },
              ThrowsMessage<Exception>(StrEq(SExpressionTooComplex)));
  re.SetExpression(Wide(deep));
  EXPECT_FALSE(re.Compile());

  re.CompileText(std::string(200, '(') + "a" + std::string(200, ')'));
  EXPECT_EQ(re.Root()->SubExprs.size(), 201u);

  re.CompileText(std::string(100000, 'a'));
  EXPECT_EQ(re.Root()->Nodes.size(), 1u);
  EXPECT_EQ(static_cast<const TreBranchNode&>(*re.Root()->Nodes[0]).Nodes.size(), 100000u);
}

TEST(TqvRegExprCompile, CompileAndSettingsDecideWhenTheTreeIsRebuilt) {
  TqvRegExpr re;
  EXPECT_FALSE(re.Compile());  // the empty expression builds no alternative
  EXPECT_EQ(DumpTree(re.Root()), "");
  re.SetExpression(u"ab");
  EXPECT_TRUE(re.Compile());
  const TreRootNode* root = re.Root();
  EXPECT_EQ(DumpTree(root), "br(chri'A' chri'B')");
  // Published flags and the static bits are stored; the tree stays until something discards it.
  re.SetModifierFlags(kNoCase);
  re.SetModifiersStatic(MaskModS);
  re.SetModifierStr(u"(?s)");
  EXPECT_EQ(re.Root(), root);
  EXPECT_EQ(DumpTree(re.Root()), "br(chri'A' chri'B')");
  re.SetCodePage(0);  // the same code page
  EXPECT_NE(re.Root(), nullptr);
  re.SetCodePage(1252);
  EXPECT_EQ(re.Root(), nullptr);
  EXPECT_TRUE(re.Compile());
  EXPECT_EQ(DumpTree(re.Root()), "br(chr'a' chr'b')");
  re.SetModifier(MaskModI, true);
  EXPECT_EQ(re.Root(), nullptr);
  re.Compile();
  re.SetExpression(u"ab");  // always discards, even with the same text
  EXPECT_EQ(re.Root(), nullptr);

  // A failed compile is remembered until a setting changes; then the next Compile tries again.
  re.SetExpression(u"a {2}");
  EXPECT_TRUE(re.Compile());
  re.SetModifierFlags(re.ModifierFlags() & ~MaskModX);  // keeps the tree
  EXPECT_TRUE(re.Compile());
  re.SetModifier(0, true);  // discards it: "a {2}" without x repeats the blank
  EXPECT_TRUE(re.Compile());
  EXPECT_EQ(DumpTree(re.Root()), "br(chri'A' chri' '{2,2})");
  re.SetExpression(u"a{");
  EXPECT_FALSE(re.Compile());
  re.SetModifierFlags(re.ModifierFlags() | MaskModX);
  EXPECT_FALSE(re.Compile());
  // An expression is compiled with its code page: 0x80 is "€" in 1252 and "Ђ" in 1251.
  re.SetModifierFlags(kNoCase);
  re.SetExpression(u"\u0402\u20AC");
  EXPECT_TRUE(re.Compile());
  EXPECT_EQ(DumpTree(re.Root()), "br(chr'?' chr#80)");  // Ђ is not in 1252
  re.SetCodePage(1251);
  EXPECT_TRUE(re.Compile());
  EXPECT_EQ(DumpTree(re.Root()), "br(chr#80 chr#88)");
  // A multibyte code page takes the route through the system code page, which lacks 日
  // here: the expression reads "x?".
  re.SetCodePage(932);
  re.SetExpression(u"x\u65E5\\x{65E5}");
  EXPECT_TRUE(re.Compile());
  EXPECT_EQ(DumpTree(re.Root()), "br(chr'x'{0,1} chr#65E5)");
  // A recompile reuses the root object.
  const TreRootNode* before = re.Root();
  re.SetExpression(u"y");
  EXPECT_TRUE(re.Compile());
  EXPECT_EQ(re.Root(), before);
}

TEST(TqvRegExprCompile, ModifierTextAndStaticBits) {
  TqvRegExpr re;
  EXPECT_EQ(re.ModifierFlags(), 59);
  EXPECT_EQ(re.ModifierStr(), u"(?irgmx-s)");
  re.SetModifierFlags(63);
  EXPECT_EQ(re.ModifierStr(), u"(?irsgmx)");
  re.SetModifierFlags(0);
  EXPECT_EQ(re.ModifierStr(), u"(?-irsgmx)");
  re.SetModifierFlags(57);
  EXPECT_EQ(re.ModifierStr(), u"(?igmx-rs)");

  // Writing applies the characters from the third to the last but one, atomically.
  struct { const char16_t* Text; uint16_t Static; uint16_t Flags; bool Raises; } cases[] = {
      {u"(?-i)", 0, 58, false},       {u"(?S-GX)", 0, 23, false},  {u"(?-i)", MaskModI, 59, false},
      {u"(?s)", 0, 63, false},         {u"(?s!", 0, 63, false},     {u"(?s)x", 0, 59, true},
      {u"(?", 0, 59, false},           {u"(?i", 0, 59, false},      {u"ab-i)", 0, 59, false},
      {u"(?-is", 0, 58, false},        {u"(?--i)", 0, 58, false},   {u"(?\u00e9)", 0, 59, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "case " << &c - cases);
    TqvRegExpr e;
    e.SetModifiersStatic(c.Static);
    if (c.Raises)
      EXPECT_THAT([&] { e.SetModifierStr(c.Text); },
                  ThrowsMessage<Exception>(StrEq(SUnexpectedModifier)));
    else
      e.SetModifierStr(c.Text);
    EXPECT_EQ(e.ModifierFlags(), c.Flags);
  }
  // Static bits hold against inline groups and ModifierStr, not against SetModifier.
  TqvRegExpr fixed;
  fixed.SetModifiersStatic(MaskModI);
  fixed.SetExpression(u"(?-i)a");
  ASSERT_TRUE(fixed.Compile());
  EXPECT_EQ(DumpTree(fixed.Root()), "br(chri'A')");
  fixed.SetModifier(MaskModI, false);
  ASSERT_TRUE(fixed.Compile());
  EXPECT_EQ(DumpTree(fixed.Root()), "br(chr'a')");
  EXPECT_EQ(fixed.ModifierFlags(), 58);
}

TEST(TqvRegExprCompile, AssignCopiesExpressionCodePageAndFlags) {
  TqvRegExpr source;
  source.SetExpression(u"x+");
  source.SetCodePage(1251);
  source.SetModifierFlags(7);
  source.SetModifiersStatic(MaskModX);
  TqvRegExpr dest;
  dest.SetModifiersStatic(MaskModS);
  dest.SetExpression(u"y");
  ASSERT_TRUE(dest.Compile());
  dest.Assign(&source);
  EXPECT_EQ(dest.Root(), nullptr);
  EXPECT_EQ(dest.Expression(), u"x+");
  EXPECT_EQ(dest.CodePage(), 1251u);
  EXPECT_EQ(dest.ModifierFlags(), 7);
  EXPECT_EQ(dest.ModifiersStatic(), MaskModS);
  ASSERT_TRUE(dest.Compile());
  EXPECT_EQ(DumpTree(dest.Root()), "br(chri'X'{1,-1}?)");  // g is off in 7

  TStringList list;
  EXPECT_THAT([&] { dest.Assign(&list); },
              ThrowsMessage<EConvertError>(StrEq("Cannot assign a TStringList to a TqvRegExpr")));
}

TEST(TqvRegExprCompile, ClassLetterHookAddsClassesThatRNeverRemaps) {
  THookReset reset;
  ClassLetterHook = [](char16_t l) { return l == u'y' || l == u'w' || l == u'n'; };
  EXPECT_EQ(Tree("\\y\\w[\\y]\\n", kNoCase & ~MaskModR), "br(spc'y' spc'w' set[\\y] chr#0A)");
  EXPECT_EQ(Tree("[a-\\y]"), "br(set[a-\\y])");
  ClassLetterHook = nullptr;
  EXPECT_EQ(Tree("\\y"), "br(chr'y')");
}

}  // namespace
}  // namespace qv
