// The two converters between component text and the binary component stream, and the format
// test. Both converters build their output in memory and write it only on success.
#include "framework/ObjectText.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <string>
#include <string_view>
#include <system_error>

#include "framework/Classes.h"
#include "framework/SysUtils.h"

namespace qv {

namespace {

// Words that open an object. In an object they end the property list, so no property name
// of an object may begin with one (nor with "end"); in a collection item only "end" counts.
bool IsObjectKeyword(std::string_view s) {
  return SameText(s, "object") || SameText(s, "inherited") || SameText(s, "inline");
}

// ---------------------------------------------------------------------------------------
// Text to binary: recursive descent over the tokens, writing values as they are parsed.
// Every method starts at its first token and ends on the token after its construct.

class TTextToBinary {
public:
  TTextToBinary(TParser& parser, TStream& output) : FParser(parser), FOut(output) {}
  void ConvertObject(int level);

private:
  void ConvertProperty(int level);
  void ConvertValue(int level);
  void ConvertString();
  void ConvertFloat();
  void ConvertSet();
  void ConvertList(int level);
  void ConvertCollection(int level);
  // The "[n]" after an object's class or an item's keyword; current token '['.
  int ConvertOrder();
  void EnterLevel(int level) const;
  void WriteName(std::string_view name);

  TParser& FParser;
  TBinaryWriter FOut;
};

void TTextToBinary::EnterLevel(int level) const {
  if (level > MaxNestingLevel) FParser.Error(Format(SNestingTooDeep, MaxNestingLevel));
}

void TTextToBinary::WriteName(std::string_view name) {
  if (name.size() > 255) FParser.Error(SIdentTooLong);
  FOut.WriteStr(name);
}

int TTextToBinary::ConvertOrder() {
  FParser.NextToken();
  FParser.CheckToken(toInteger);
  const int64_t value = FParser.TokenInt();
  if (value < INT32_MIN || value > INT32_MAX)
    FParser.Error(Format(SIntegerOutOfRange, FParser.TokenString()));
  FParser.NextToken();
  FParser.CheckToken(']');
  FParser.NextToken();
  return static_cast<int>(value);
}

void TTextToBinary::ConvertObject(int level) {
  EnterLevel(level);
  TFilerFlags flags;
  if (FParser.TokenSymbolIs("inherited")) flags.Include(ffInherited);
  else if (FParser.TokenSymbolIs("inline")) flags.Include(ffInline);
  else FParser.CheckTokenSymbol("object");
  FParser.NextToken();
  FParser.CheckToken(toSymbol);
  std::string objectName, className = FParser.TokenString();
  if (FParser.NextToken() == ':') {
    FParser.NextToken();
    FParser.CheckToken(toSymbol);
    objectName = std::move(className);
    className = FParser.TokenString();
    FParser.NextToken();
  }
  if (className.size() > 255 || objectName.size() > 255) FParser.Error(SIdentTooLong);
  int childPos = 0;
  if (FParser.Token() == '[') {
    childPos = ConvertOrder();
    flags.Include(ffChildPos);
  }
  FOut.WritePrefix(flags, childPos, className.size() >= 0xF0);
  FOut.WriteStr(className);
  FOut.WriteStr(objectName);

  // Properties come before children; after the first child only children and "end".
  while (!FParser.TokenSymbolIs("end") && !(FParser.Token() == toSymbol &&
                                            IsObjectKeyword(FParser.TokenString()))) {
    if (FParser.Token() != toSymbol) FParser.CheckTokenSymbol("end");
    ConvertProperty(level);
  }
  FOut.WriteListEnd();
  while (!FParser.TokenSymbolIs("end")) {
    if (FParser.Token() != toSymbol || !IsObjectKeyword(FParser.TokenString()))
      FParser.CheckTokenSymbol("end");
    ConvertObject(level + 1);
  }
  FOut.WriteListEnd();
  FParser.NextToken();
}

void TTextToBinary::ConvertProperty(int level) {
  FParser.CheckToken(toSymbol);
  std::string path = FParser.TokenString();
  while (FParser.NextToken() == '.') {
    FParser.NextToken();
    FParser.CheckToken(toSymbol);
    path += '.';
    path += FParser.TokenString();
    if (path.size() > 255) FParser.Error(SIdentTooLong);
  }
  WriteName(path);
  FParser.CheckToken('=');
  FParser.NextToken();
  ConvertValue(level);
}

void TTextToBinary::ConvertValue(int level) {
  switch (FParser.Token()) {
    case toInteger:
      FOut.WriteInteger(FParser.TokenInt());
      FParser.NextToken();
      return;
    case toFloat:
      ConvertFloat();
      FParser.NextToken();
      return;
    case toString: case toWString:
      ConvertString();
      return;
    case toSymbol: {
      const std::string ident = FParser.TokenComponentIdent();
      if (ident.size() > 255) FParser.Error(SIdentTooLong);
      FOut.WriteIdent(ident);
      FParser.NextToken();
      return;
    }
    case '[': ConvertSet(); return;
    case '(': ConvertList(level + 1); return;
    case '<': ConvertCollection(level + 1); return;
    case '{': {
      std::string data;
      FParser.HexToBinary(data);
      if (data.size() > static_cast<size_t>(INT32_MAX)) FParser.Error(SStringTooLong);
      FOut.WriteBinary(data);
      return;
    }
    default:
      FParser.Error(SInvalidPropertyValue);
  }
}

void TTextToBinary::ConvertFloat() {
  const std::string& text = FParser.TokenString();
  switch (FParser.FloatType()) {
    case 's': {
      // Parsed as float directly: going through double could round twice.
      float value = 0;
      const auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
      if (ec != std::errc() || ptr != text.data() + text.size())
        FParser.Error(Format(SInvalidFloat, text));
      FOut.WriteSingle(value);
      return;
    }
    case 'c': {
      // The text holds the value times 10000, so a plain number is the stored integer; it is
      // taken exactly, since a double would lose digits of large amounts.
      int64_t scaled;
      if (text.find_first_of(".eE") == std::string::npos) {
        if (!TryStrToInt64(text, scaled)) FParser.Error(Format(SInvalidFloat, text));
      } else {
        const double rounded = std::nearbyint(FParser.TokenFloat());  // ties to even
        if (!(rounded >= -0x1p63 && rounded < 0x1p63)) FParser.Error(Format(SInvalidFloat, text));
        scaled = static_cast<int64_t>(rounded);
      }
      FOut.WriteCurrency(scaled);
      return;
    }
    case 'd':
      FOut.WriteDate(FParser.TokenFloat());
      return;
    default:
      FOut.WriteExtended(FParser.TokenFloat());
  }
}

void TTextToBinary::ConvertString() {
  // Stays 8-bit until a piece holds a code above 255; then everything so far is widened.
  bool wide = false;
  std::string narrow;
  std::u16string units;
  while (true) {
    if (!wide && FParser.Token() == toWString) {
      wide = true;
      units.assign(narrow.begin(), narrow.end());
      for (size_t i = 0; i < narrow.size(); ++i)
        units[i] = static_cast<char16_t>(static_cast<unsigned char>(narrow[i]));
      narrow.clear();
    }
    if (wide) units += FParser.TokenWideString();
    else narrow += FParser.TokenString();
    if (narrow.size() > static_cast<size_t>(INT32_MAX) ||
        units.size() > static_cast<size_t>(INT32_MAX))
      FParser.Error(SStringTooLong);
    if (FParser.NextToken() != '+') break;
    FParser.NextToken();
    if (FParser.Token() != toWString) FParser.CheckToken(toString);
  }
  if (wide) FOut.WriteWideString(units);
  else FOut.WriteString(narrow);
}

void TTextToBinary::ConvertSet() {
  FOut.WriteValueType(vaSet);
  if (FParser.NextToken() != ']') {
    while (true) {
      FParser.CheckToken(toSymbol);
      WriteName(FParser.TokenString());
      if (FParser.NextToken() == ']') break;
      FParser.CheckToken(',');
      FParser.NextToken();
    }
  }
  FOut.WriteStr("");
  FParser.NextToken();
}

void TTextToBinary::ConvertList(int level) {
  EnterLevel(level);
  FOut.WriteListBegin();
  FParser.NextToken();
  while (FParser.Token() != ')') {
    if (FParser.Token() == toEOF) FParser.CheckToken(')');
    ConvertValue(level);
  }
  FOut.WriteListEnd();
  FParser.NextToken();
}

void TTextToBinary::ConvertCollection(int level) {
  EnterLevel(level);
  FOut.WriteValueType(vaCollection);
  FParser.NextToken();
  while (FParser.Token() != '>') {
    FParser.CheckTokenSymbol("item");
    if (FParser.NextToken() == '[') FOut.WriteInteger(ConvertOrder());
    EnterLevel(level + 1);
    FOut.WriteListBegin();
    while (!FParser.TokenSymbolIs("end")) {
      if (FParser.Token() != toSymbol) FParser.CheckTokenSymbol("end");
      ConvertProperty(level + 1);
    }
    FOut.WriteListEnd();
    FParser.NextToken();
  }
  FOut.WriteListEnd();
  FParser.NextToken();
}

// ---------------------------------------------------------------------------------------
// Binary to text.

// The shortest decimal form that reads back to the same value, laid out like the framework's
// general float format: fixed notation for decimal exponents -5..14, else d.dddE<exp>.
template <class F>
std::string FloatText(F value) {
  char buffer[64];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value,
                                    std::chars_format::scientific);
  const std::string_view sci(buffer, static_cast<size_t>(result.ptr - buffer));
  const size_t e = sci.find('e');
  std::string digits;
  for (char c : sci.substr(0, e))
    if (c >= '0' && c <= '9') digits += c;
  const int exp = std::stoi(std::string(sci.substr(e + 1)));
  std::string text = sci[0] == '-' ? "-" : "";
  if (exp >= -5 && exp <= 14) {
    if (exp < 0) {
      text += "0." + std::string(static_cast<size_t>(-exp - 1), '0') + digits;
    } else {
      const size_t intDigits = static_cast<size_t>(exp) + 1;
      if (digits.size() < intDigits) digits.resize(intDigits, '0');
      text += digits.substr(0, intDigits);
      if (digits.size() > intDigits) text += "." + digits.substr(intDigits);
    }
  } else {
    text += digits.substr(0, 1);
    if (digits.size() > 1) text += "." + digits.substr(1);
    text += "E" + std::to_string(exp);
  }
  return text;
}

// A dotted name: identifiers joined by single dots.
bool IsDottedIdent(std::string_view s) {
  while (true) {
    const size_t dot = s.find('.');
    if (!IsValidIdent(s.substr(0, dot))) return false;
    if (dot == std::string_view::npos) return true;
    s.remove_prefix(dot + 1);
  }
}

// Walks the binary stream once and appends text as it goes. indent counts the text's two-blank
// steps; level is the structure depth checked against MaxNestingLevel, counted exactly as the
// text reader counts it.
class TBinaryToText {
public:
  explicit TBinaryToText(TStream& input) : FIn(input) {}
  void ConvertObject(int indent, int level);
  std::string& Text() { return FText; }

private:
  void ConvertProperty(int indent, int level, bool inItem);
  void ConvertValue(int indent, int level);
  void ConvertCollection(int indent, int level);
  void ConvertBinary(int indent);
  // Writes a string of count characters, code(i) giving each.
  template <class CodeAt>
  void ConvertString(size_t count, CodeAt code, int indent);
  std::string ReadName(bool allowEmpty, bool dotted);
  void WriteIndent(int indent) { FText.append(2 * static_cast<size_t>(indent), ' '); }
  void NewLine(int indent) {
    FText += "\r\n";
    WriteIndent(indent);
  }
  static void CheckLevel(int level) {
    if (level > MaxNestingLevel) throw EReadError(Format(SStreamNestingTooDeep, MaxNestingLevel));
  }

  TBinaryReader FIn;
  std::string FText;
};

// Names must be identifiers (dotted ones where allowed), so the text reads back the same.
std::string TBinaryToText::ReadName(bool allowEmpty, bool dotted) {
  std::string name = FIn.ReadStr();
  const bool ok = name.empty() ? allowEmpty : dotted ? IsDottedIdent(name) : IsValidIdent(name);
  if (!ok) throw EReadError(Format(SInvalidStreamName, name));
  return name;
}

void TBinaryToText::ConvertObject(int indent, int level) {
  CheckLevel(level);
  TFilerFlags flags;
  int childPos;
  FIn.ReadPrefix(flags, childPos);
  const std::string className = ReadName(false, false);
  const std::string objectName = ReadName(true, false);
  WriteIndent(indent);
  FText += flags.Contains(ffInherited) ? "inherited "
            : flags.Contains(ffInline)  ? "inline "
                                        : "object ";
  if (!objectName.empty()) FText += objectName + ": ";
  FText += className;
  if (flags.Contains(ffChildPos)) FText += " [" + IntToStr(childPos) + "]";
  FText += "\r\n";
  while (!FIn.EndOfList()) ConvertProperty(indent + 1, level, false);
  FIn.ReadListEnd();
  while (!FIn.EndOfList()) ConvertObject(indent + 1, level + 1);
  FIn.ReadListEnd();
  WriteIndent(indent);
  FText += "end\r\n";
}

void TBinaryToText::ConvertProperty(int indent, int level, bool inItem) {
  const std::string name = ReadName(false, true);
  // A property named like a keyword would end or open an object when read back.
  const std::string_view first = std::string_view(name).substr(0, name.find('.'));
  if (SameText(first, "end") || (!inItem && IsObjectKeyword(first)))
    throw EReadError(Format(SInvalidStreamName, name));
  WriteIndent(indent);
  FText += name;
  FText += " = ";
  ConvertValue(indent, level);
  FText += "\r\n";
}

template <class CodeAt>
void TBinaryToText::ConvertString(size_t count, CodeAt code, int indent) {
  constexpr size_t kPiece = 64;  // characters a line holds, each #code counting one
  if (count == 0) {
    FText += "''";
    return;
  }
  // Characters that go inside quotes; the rest are #codes. Raw ones are written as the byte of
  // their code: 8-bit strings hold bytes, and wide characters up to 255 map to Latin-1.
  auto quoted = [&](size_t i) {
    const unsigned c = code(i);
    return c >= 32 && c != '\'' && c <= 255;
  };
  const int pieceIndent = indent + 1;
  if (count > kPiece) NewLine(pieceIndent);
  size_t i = 0, pieceStart = 0;
  while (i < count) {
    if (quoted(i)) {
      FText += '\'';
      do {
        FText += static_cast<char>(code(i));
        ++i;
      } while (i < count && quoted(i) && i - pieceStart < kPiece);
      FText += '\'';
    } else {
      FText += '#';
      FText += IntToStr(code(i));
      ++i;
    }
    if (i - pieceStart >= kPiece && i < count) {
      FText += " +";
      NewLine(pieceIndent);
      pieceStart = i;
    }
  }
}

void TBinaryToText::ConvertValue(int indent, int level) {
  const TValueType kind = FIn.ReadValueType();
  switch (kind) {
    case vaList:
      CheckLevel(level + 1);
      FText += '(';
      while (!FIn.EndOfList()) {
        NewLine(indent + 1);
        ConvertValue(indent + 1, level + 1);
      }
      FIn.ReadListEnd();
      FText += ')';
      return;
    case vaInt8: case vaInt16: case vaInt32: case vaInt64:
      FText += IntToStr(FIn.ReadIntPayload(kind));
      return;
    case vaExtended: {
      const double value = FIn.ReadExtendedPayload();
      if (!std::isfinite(value)) throw EReadError(SInvalidStreamFloat);
      std::string text = FloatText(value);
      // Without a point or exponent the number would come back as an integer.
      if (text.find_first_of(".E") == std::string::npos) text += ".0";
      FText += text;
      return;
    }
    case vaSingle: {
      const float value = FIn.ReadSinglePayload();
      if (!std::isfinite(value)) throw EReadError(SInvalidStreamFloat);
      FText += FloatText(value) + "s";
      return;
    }
    case vaCurrency:
      FText += IntToStr(FIn.ReadCurrencyPayload()) + "c";
      return;
    case vaDate: {
      const double value = FIn.ReadDatePayload();
      if (!std::isfinite(value)) throw EReadError(SInvalidStreamFloat);
      FText += FloatText(value) + "d";
      return;
    }
    case vaString: case vaLString: {
      const std::string s = FIn.ReadStringPayload(kind);
      ConvertString(s.size(), [&](size_t i) { return unsigned{static_cast<unsigned char>(s[i])}; },
                    indent);
      return;
    }
    case vaWString: case vaUString: case vaUTF8String: {
      const std::u16string s = FIn.ReadWideStringPayload(kind);
      ConvertString(s.size(), [&](size_t i) { return unsigned{s[i]}; }, indent);
      return;
    }
    case vaIdent:
      FText += ReadName(false, true);
      return;
    case vaFalse: FText += "False"; return;
    case vaTrue: FText += "True"; return;
    case vaNil: FText += "nil"; return;
    case vaNull: FText += "Null"; return;
    case vaBinary:
      ConvertBinary(indent);
      return;
    case vaSet: {
      FText += '[';
      for (bool first = true;; first = false) {
        const std::string name = ReadName(true, false);
        if (name.empty()) break;
        if (!first) FText += ", ";
        FText += name;
      }
      FText += ']';
      return;
    }
    case vaCollection:
      ConvertCollection(indent, level + 1);
      return;
  }
  throw EReadError(Format(SInvalidValueType, static_cast<int>(kind)));
}

void TBinaryToText::ConvertCollection(int indent, int level) {
  CheckLevel(level);
  FText += '<';
  while (!FIn.EndOfList()) {
    NewLine(indent + 1);
    FText += "item";
    const TValueType next = FIn.NextValue();
    if (next == vaInt8 || next == vaInt16 || next == vaInt32)
      FText += " [" + IntToStr(FIn.ReadInteger(false)) + "]";
    FText += "\r\n";
    if (FIn.ReadValueType() != vaList) throw EReadError(SInvalidPropertyValue);
    CheckLevel(level + 1);
    while (!FIn.EndOfList()) ConvertProperty(indent + 2, level + 1, true);
    FIn.ReadListEnd();
    WriteIndent(indent + 1);
    FText += "end";
  }
  FIn.ReadListEnd();
  FText += '>';
}

void TBinaryToText::ConvertBinary(int indent) {
  constexpr int64_t kBytesPerLine = 32;
  static constexpr char kHex[] = "0123456789ABCDEF";
  const std::string data = FIn.ReadBytes(FIn.ReadLength());
  const auto size = static_cast<int64_t>(data.size());
  FText += '{';
  for (int64_t i = 0; i < size; ++i) {
    if (size >= kBytesPerLine && i % kBytesPerLine == 0) NewLine(indent + 1);
    const auto b = static_cast<unsigned char>(data[static_cast<size_t>(i)]);
    FText += kHex[b >> 4];
    FText += kHex[b & 15];
  }
  FText += '}';
}

}  // namespace

void ObjectTextToBinary(TStream& input, TStream& output) {
  TParser parser(input);
  TMemoryStream buffer;
  TBinaryWriter(buffer).WriteSignature();
  TTextToBinary(parser, buffer).ConvertObject(1);
  parser.CheckToken(toEOF);
  output.WriteBuffer(buffer.Memory(), buffer.Size());
}

void ObjectBinaryToText(TStream& input, TStream& output) {
  // Work on a copy in memory: the conversion reads byte by byte and peeks back.
  const int64_t start = input.Position();
  TMemoryStream source;
  char chunk[64 * 1024];
  for (int64_t n; (n = input.Read(chunk, sizeof chunk)) > 0;) source.WriteBuffer(chunk, n);
  source.SetPosition(0);

  TBinaryReader(source).ReadSignature();
  TBinaryToText converter(source);
  converter.ConvertObject(0, 1);
  input.SetPosition(start + source.Position());
  const std::string& text = converter.Text();
  output.WriteBuffer(text.data(), static_cast<int64_t>(text.size()));
}

TStreamOriginalFormat TestStreamFormat(TStream& stream) {
  const int64_t start = stream.Position();
  char head[1024];
  const auto n = static_cast<size_t>(std::max<int64_t>(stream.Read(head, sizeof head), 0));
  stream.SetPosition(start);
  std::string_view s(head, n);
  if (s.substr(0, 4) == std::string_view(FilerSignature, 4)) return sofBinary;
  if (s.substr(0, 3) == "\xEF\xBB\xBF") s.remove_prefix(3);
  while (!s.empty() && (s[0] == ' ' || s[0] == '\t' || s[0] == '\r' || s[0] == '\n'))
    s.remove_prefix(1);
  size_t word = 0;
  while (word < s.size() && ((s[word] | 0x20) >= 'a' && (s[word] | 0x20) <= 'z')) ++word;
  // The word must end there: "objective" is no header.
  const bool ended = word == s.size() || !(s[word] == '_' || (s[word] >= '0' && s[word] <= '9'));
  if (ended && IsObjectKeyword(s.substr(0, word))) return sofText;
  return sofUnknown;
}

}  // namespace qv
