// The component-text tokenizer: blanks and line counting, symbols, numbers, strings made of
// quoted parts and #codes, hex data in braces, and the error messages naming the line.
#include "framework/Parser.h"

#include <charconv>
#include <system_error>

#include "framework/SysUtils.h"

namespace qv {

namespace {

bool IsIdentStart(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_'; }
bool IsIdentChar(char c) { return IsIdentStart(c) || (c >= '0' && c <= '9'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// A character as messages show it: itself when printable ASCII, else its #code.
std::string CharName(char c) {
  const auto b = static_cast<unsigned char>(c);
  if (b > ' ' && b < 127) return std::string(1, c);
  return "#" + IntToStr(b);
}

std::string TokenName(char token) {
  switch (token) {
    case toEOF: return "EOF";
    case toSymbol: return "Symbol";
    case toString: case toWString: return "String";
    case toInteger: return "Integer";
    case toFloat: return "Float";
    default: return CharName(token);
  }
}

// Symbols are unbounded in length; a message quotes at most this much of one.
constexpr size_t kMaxQuotedSymbol = 64;

}  // namespace

EParserError::EParserError(std::string_view reason, int line)
    : EFilerError(Format(SParseError, reason, line)), FReason(reason), FLine(line) {}

TParser::TParser(TStream& stream) {
  char buffer[64 * 1024];
  for (int64_t n; (n = stream.Read(buffer, sizeof buffer)) > 0;)
    FText.append(buffer, static_cast<size_t>(n));
  if (FText.compare(0, 3, "\xEF\xBB\xBF") == 0) FPos = 3;
  NextToken();
}

void TParser::SkipBlanks() {
  while (FPos < FText.size()) {
    const char c = FText[FPos];
    if (c == '\n') {
      ++FLine;
    } else if (c == '\r') {
      ++FLine;
      if (FPos + 1 < FText.size() && FText[FPos + 1] == '\n') ++FPos;
    } else if (c != ' ' && c != '\t') {
      return;
    }
    ++FPos;
  }
}

char TParser::NextToken() {
  SkipBlanks();
  FTokenLine = FLine;
  FFloatType = 0;
  FTokenText.clear();
  FWideText.clear();
  if (FPos >= FText.size()) return FToken = toEOF;
  const char c = FText[FPos];
  if (IsIdentStart(c)) {
    const size_t start = FPos;
    while (FPos < FText.size() && IsIdentChar(FText[FPos])) ++FPos;
    FTokenText.assign(FText, start, FPos - start);
    FToken = toSymbol;
  } else if (IsDigit(c) || c == '$' ||
             (c == '-' && FPos + 1 < FText.size() && IsDigit(FText[FPos + 1]))) {
    ScanNumber();
  } else if (c == '\'' || c == '#') {
    ScanString();
  } else if (static_cast<unsigned char>(c) < ' ') {
    // Not blank and no token: codes 0..5 would also read as token kinds (toEOF ... toWString).
    ErrorAt(Format(SInvalidCharacter, static_cast<int>(c)), FLine);
  } else {
    ++FPos;
    FToken = c;
  }
  return FToken;
}

void TParser::ScanNumber() {
  const size_t start = FPos;
  auto at = [&](size_t i) { return i < FText.size() ? FText[i] : '\0'; };
  FToken = toInteger;
  if (FText[FPos] == '$') {
    ++FPos;
    while (HexValue(at(FPos)) >= 0) ++FPos;
  } else {
    if (FText[FPos] == '-') ++FPos;
    while (IsDigit(at(FPos))) ++FPos;
    if (at(FPos) == '.') {
      FToken = toFloat;
      ++FPos;
      while (IsDigit(at(FPos))) ++FPos;
    }
    if (at(FPos) == 'e' || at(FPos) == 'E') {
      // Taken even without digits, so that "1e" is reported as a bad float, not as 1
      // followed by a symbol.
      FToken = toFloat;
      ++FPos;
      if (at(FPos) == '+' || at(FPos) == '-') ++FPos;
      while (IsDigit(at(FPos))) ++FPos;
    }
  }
  FTokenText.assign(FText, start, FPos - start);
  const char suffix = static_cast<char>(at(FPos) | 0x20);
  if (FText[start] != '$' && (suffix == 's' || suffix == 'c' || suffix == 'd')) {
    FToken = toFloat;
    FFloatType = suffix;
    ++FPos;
  }
}

void TParser::ScanString() {
  bool wide = false;
  // Appends one character; the first code above 255 switches the token to UTF-16.
  auto append = [&](unsigned code) {
    if (!wide && code > 255) {
      wide = true;
      FWideText.reserve(FTokenText.size() + 1);
      for (char b : FTokenText) FWideText += static_cast<char16_t>(static_cast<unsigned char>(b));
    }
    if (wide) FWideText += static_cast<char16_t>(code);
    else FTokenText += static_cast<char>(code);
  };
  const size_t size = FText.size();
  while (FPos < size && (FText[FPos] == '\'' || FText[FPos] == '#')) {
    if (FText[FPos] == '\'') {
      ++FPos;
      while (true) {
        if (FPos >= size || FText[FPos] == '\r' || FText[FPos] == '\n')
          ErrorAt(SUnterminatedString, FTokenLine);
        const char c = FText[FPos++];
        if (c == '\'') {
          if (FPos < size && FText[FPos] == '\'') ++FPos;  // '' stands for one quote
          else break;
        } else if (c == '\0') {
          ErrorAt(SInvalidString, FTokenLine);
        }
        append(static_cast<unsigned char>(c));
      }
    } else {
      ++FPos;
      unsigned code = 0;
      const size_t digits = FPos;
      while (FPos < size && IsDigit(FText[FPos])) {
        code = code * 10 + static_cast<unsigned>(FText[FPos++] - '0');
        if (code > 0xFFFF) ErrorAt(SInvalidString, FTokenLine);  // not a UTF-16 unit
      }
      if (FPos == digits) ErrorAt(SInvalidString, FTokenLine);  // "#" alone, "#$41"
      append(code);
    }
  }
  FToken = wide ? toWString : toString;
}

void TParser::CheckToken(char t) const {
  if (FToken != t) Error(Format(SWrongTokenType, TokenName(t), TokenName(FToken)));
}

void TParser::CheckTokenSymbol(std::string_view s) const {
  if (!TokenSymbolIs(s)) Error(Format(SWrongTokenSymbol, s, FoundName()));
}

bool TParser::TokenSymbolIs(std::string_view s) const {
  return FToken == toSymbol && SameText(FTokenText, s);
}

std::string TParser::FoundName() const {
  if (FToken != toSymbol) return TokenName(FToken);
  if (FTokenText.size() <= kMaxQuotedSymbol) return FTokenText;
  return FTokenText.substr(0, kMaxQuotedSymbol) + "...";
}

std::u16string TParser::TokenWideString() const {
  if (FToken == toWString) return FWideText;
  std::u16string result(FTokenText.size(), u'\0');
  for (size_t i = 0; i < FTokenText.size(); ++i)
    result[i] = static_cast<char16_t>(static_cast<unsigned char>(FTokenText[i]));
  return result;
}

int64_t TParser::TokenInt() const {
  int64_t value;
  if (!TryStrToInt64(FTokenText, value)) Error(Format(SInvalidInteger, FTokenText));
  return value;
}

double TParser::TokenFloat() const {
  double value = 0;
  const char* end = FTokenText.data() + FTokenText.size();
  const auto [ptr, ec] = std::from_chars(FTokenText.data(), end, value);
  if (ec != std::errc() || ptr != end) Error(Format(SInvalidFloat, FTokenText));
  return value;
}

std::string TParser::TokenComponentIdent() {
  CheckToken(toSymbol);
  while (FPos < FText.size() && FText[FPos] == '.') {
    size_t p = FPos + 1;
    if (p >= FText.size() || !IsIdentStart(FText[p]))
      Error(Format(SWrongTokenType, "Symbol", p >= FText.size() ? "EOF" : CharName(FText[p])));
    while (p < FText.size() && IsIdentChar(FText[p])) ++p;
    FTokenText.append(FText, FPos, p - FPos);
    FPos = p;
  }
  return FTokenText;
}

void TParser::HexToBinary(std::string& data) {
  CheckToken('{');
  const size_t size = FText.size();
  while (true) {
    SkipBlanks();
    if (FPos >= size) ErrorAt(Format(SWrongTokenType, "}", "EOF"), FLine);
    const char c = FText[FPos];
    if (c == '}') break;
    const int hi = HexValue(c);
    if (hi < 0) ErrorAt(SInvalidBinary, FLine);
    const char next = FPos + 1 < size ? FText[FPos + 1] : '}';
    const int lo = HexValue(next);
    if (lo < 0)
      ErrorAt(IsBlank(next) || next == '}' ? SUnterminatedByteValue : SInvalidBinary, FLine);
    data += static_cast<char>(hi * 16 + lo);
    FPos += 2;
  }
  ++FPos;  // the '}'
  NextToken();
}

void TParser::Error(std::string_view message) const { ErrorAt(message, FTokenLine); }

void TParser::ErrorAt(std::string_view message, int line) const {
  throw EParserError(message, line);
}

}  // namespace qv
