// TParser: the tokenizer of the textual component format ("object Name: TClass ... end"),
// and EParserError, the exception of every syntax error in that text. The converter to the
// binary form (framework/ObjectText.h) drives it; other code may use it for the same syntax.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "framework/Classes.h"
#include "framework/Streams.h"

namespace qv {

// A syntax error in component text. It is an EFilerError, so one handler catches every
// malformed component stream, text or binary. Message() is "<reason> on line <n>", for
// example "Wrong token type: Symbol expected but Integer found on line 3"; the reason alone
// and the 1-based line are kept as well.
class EParserError : public EFilerError {
public:
  EParserError(std::string_view reason, int line);
  const std::string& Reason() const { return FReason; }
  int Line() const { return FLine; }

private:
  std::string FReason;
  int FLine;
};

// Reasons of EParserError (the line is appended by the parser).
inline constexpr const char* SParseError = "%s on line %d";
inline constexpr const char* SWrongTokenType = "Wrong token type: %s expected but %s found";
inline constexpr const char* SWrongTokenSymbol = "Wrong token symbol: %s expected but %s found";
inline constexpr const char* SUnterminatedString = "Unterminated string";
inline constexpr const char* SInvalidString = "Invalid string constant";
inline constexpr const char* SUnterminatedByteValue = "Unterminated byte value";
inline constexpr const char* SInvalidBinary = "Invalid binary value";
inline constexpr const char* SInvalidInteger = "'%s' is not a valid integer value";
inline constexpr const char* SInvalidFloat = "'%s' is not a valid floating point value";
inline constexpr const char* SInvalidCharacter = "Invalid character #%d";

// Token kinds. A punctuation token is its own character ('=', '(', '<', ...); so is any
// other byte from 33 up that starts no token (reported as found in errors).
inline constexpr char toEOF = 0;
inline constexpr char toSymbol = 1;
inline constexpr char toString = 2;   // a string whose character codes all fit a byte
inline constexpr char toInteger = 3;
inline constexpr char toFloat = 4;
inline constexpr char toWString = 5;  // a string with a #code above 255

// Splits component text into tokens.
//
// Lexical rules: blanks are space, TAB, CR and LF; CR LF, LF and CR each end a line. A leading
// UTF-8 byte-order mark is skipped. There are no comments. A symbol is [A-Za-z_][A-Za-z0-9_]*.
// An integer is digits, "-" touching digits, or "$" and hex digits (up to 64 bits, taken as a
// bit pattern). A float is digits with "." and/or an exponent, optionally followed by a
// suffix s, c or d (Single, Currency, Date; also makes "5c" a float). A string is one run
// of quoted parts '...' (with '' for a quote, no line break inside) and #nnn codes (decimal,
// 0..65535) with no blanks between them. Other control characters are errors outside strings.
//
// Errors raise EParserError with the line of the offending token.
//
// The whole rest of the stream is read when the parser is built; the first token is then
// current. Cost: one pass over the text, no backtracking.
class TParser : public TObject {
public:
  explicit TParser(TStream& stream);
  TParser(const TParser&) = delete;
  TParser& operator=(const TParser&) = delete;
  const char* ClassName() const override { return "TParser"; }

  // The current token kind (toEOF, toSymbol, ... or the punctuation character).
  char Token() const { return FToken; }
  // Moves to the next token and returns its kind.
  char NextToken();
  // The 1-based line of the current token.
  int SourceLine() const { return FTokenLine; }

  // Raise "Wrong token type: <t> expected but <found> found" unless Token() is t.
  void CheckToken(char t) const;
  // Raise "Wrong token symbol: <s> expected but <found> found" unless the token is the
  // symbol s (ASCII case ignored).
  void CheckTokenSymbol(std::string_view s) const;
  bool TokenSymbolIs(std::string_view s) const;

  // The text of a symbol or number token as written (a float without its suffix); the value
  // of a toString token, one byte per character.
  const std::string& TokenString() const { return FTokenText; }
  // The value of a toString or toWString token as UTF-16; bytes of quoted parts are taken as
  // the characters U+0000..U+00FF.
  std::u16string TokenWideString() const;
  // The value of a toInteger token; EParserError "'<text>' is not a valid integer value"
  // when it does not fit 64 bits.
  int64_t TokenInt() const;
  // The value of a toFloat token; EParserError "'<text>' is not a valid floating point
  // value" when it is out of the double range.
  double TokenFloat() const;
  // The suffix of the current float token: 0, 's', 'c' or 'd' (lower case).
  char FloatType() const { return FFloatType; }
  // The current symbol extended by ".Name" parts that touch it ("Form1.Button1"); moves past
  // them. The token must be a symbol.
  std::string TokenComponentIdent();

  // Called with '{' current: reads pairs of hex digits (blanks and line breaks between pairs,
  // either case) up to '}', appends the bytes to data and moves to the token after '}'.
  void HexToBinary(std::string& data);

  // Raise EParserError with message at the current token's line.
  [[noreturn]] void Error(std::string_view message) const;

private:
  void SkipBlanks();
  void ScanString();
  void ScanNumber();
  [[noreturn]] void ErrorAt(std::string_view message, int line) const;
  std::string FoundName() const;

  std::string FText;      // the whole text
  size_t FPos = 0;        // scan position, just after the current token
  int FLine = 1;          // line of FPos
  char FToken = toEOF;
  int FTokenLine = 1;
  char FFloatType = 0;
  std::string FTokenText;   // symbol/number text, or the bytes of a toString token
  std::u16string FWideText; // the value of a toWString token
};

}  // namespace qv
