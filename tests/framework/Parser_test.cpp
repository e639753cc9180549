// TParser: how component text splits into tokens, which line each token is on, and what its
// check messages say. Grammar errors are covered through the converter (ObjectText_test).
#include "framework/Parser.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

namespace qv {
namespace {

using testing::StrEq;
using testing::ThrowsMessage;

// "line:kind(text)" per token, kinds as the parser's messages name them.
std::string Dump(const std::string& text) {
  TMemoryStream stream(text);
  TParser parser(stream);
  std::string out;
  for (char t = parser.Token(); t != toEOF; t = parser.NextToken()) {
    out += std::to_string(parser.SourceLine()) + ":";
    switch (t) {
      case toSymbol: out += "Sym(" + parser.TokenString() + ")"; break;
      case toInteger: out += "Int(" + std::to_string(parser.TokenInt()) + ")"; break;
      case toFloat:
        out += "Flt(" + parser.TokenString();
        if (parser.FloatType()) out += parser.FloatType();
        out += ")";
        break;
      case toString: out += "Str(" + parser.TokenString() + ")"; break;
      case toWString:
        out += "WStr(" + std::to_string(parser.TokenWideString().size()) + ")";
        break;
      default: out += std::string(1, t);
    }
    out += " ";
  }
  return out;
}

TEST(TParser, SplitsTokensAndCountsEveryLineEndStyle) {
  struct Case { std::string Text, Tokens; } cases[] = {
      {"object X: T[2]", "1:Sym(object) 1:Sym(X) 1:: 1:Sym(T) 1:[ 1:Int(2) 1:] "},
      {"a\rb\nc\r\nd\n\re", "1:Sym(a) 2:Sym(b) 3:Sym(c) 4:Sym(d) 6:Sym(e) "},
      {"\xEF\xBB\xBF_x1=-7", "1:Sym(_x1) 1:= 1:Int(-7) "},
      {"$1f $FFFFFFFF 007 - 5", "1:Int(31) 1:Int(4294967295) 1:Int(7) 1:- 1:Int(5) "},
      {"1.5 1. 2e3 1.5E-2 -2.25D 5c 3S",
       "1:Flt(1.5) 1:Flt(1.) 1:Flt(2e3) 1:Flt(1.5E-2) 1:Flt(-2.25d) 1:Flt(5c) 1:Flt(3s) "},
      {"$FFs 12abc", "1:Int(255) 1:Sym(s) 1:Int(12) 1:Sym(abc) "},  // hex takes no suffix
      {"'a''b'#65'c' 'd' #13#10", "1:Str(a'bAc) 1:Str(d) 1:Str(\r\n) "},
      {"'x'#256 #8364'y' '\xE9'", "1:WStr(2) 1:WStr(2) 1:Str(\xE9) "},
      {"(1 2)<item>{}+", "1:( 1:Int(1) 1:Int(2) 1:) 1:< 1:Sym(item) 1:> 1:{ 1:} 1:+ "},
      {"\t\"@\x7F", "1:\" 1:@ 1:\x7F "},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Text);
    EXPECT_EQ(Dump(c.Text), c.Tokens);
  }
}

TEST(TParser, CheckMessagesNameExpectedAndFound) {
  const std::string longName(100, 'n');
  TMemoryStream stream("  \r\n" + longName + " 5");
  TParser parser(stream);
  EXPECT_THAT([&] { parser.CheckToken('='); },
              ThrowsMessage<EParserError>(
                  StrEq("Wrong token type: = expected but Symbol found on line 2")));
  EXPECT_THAT([&] { parser.CheckTokenSymbol("end"); },
              ThrowsMessage<EParserError>(StrEq("Wrong token symbol: end expected but " +
                                                longName.substr(0, 64) + "... found on line 2")));
  parser.NextToken();
  try {
    parser.CheckToken(toString);
    ADD_FAILURE() << "no exception";
  } catch (const EFilerError& e) {  // parser errors are filer errors too
    const auto& error = dynamic_cast<const EParserError&>(e);
    EXPECT_EQ(error.Reason(), "Wrong token type: String expected but Integer found");
    EXPECT_EQ(error.Line(), 2);
  }
}

}  // namespace
}  // namespace qv
