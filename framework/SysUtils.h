// The framework's general exception class and its family, the Format helper that builds
// their messages, and a few string helpers for 8-bit text in the system code page.
#pragma once

#include <cstdint>
#include <exception>
#include <string>
#include <string_view>
#include <type_traits>

namespace qv {

// General exception of the framework. Messages are fixed English text.
class Exception : public std::exception {
public:
  explicit Exception(std::string message) : FMessage(std::move(message)) {}
  const std::string& Message() const { return FMessage; }
  const char* what() const noexcept override { return FMessage.c_str(); }

private:
  std::string FMessage;
};

#define QV_DECLARE_EXCEPTION(Name, Base)      \
  class Name : public Base {                  \
  public:                                     \
    using Base::Base;                         \
  }

QV_DECLARE_EXCEPTION(EAbstractError, Exception);
QV_DECLARE_EXCEPTION(EConvertError, Exception);
QV_DECLARE_EXCEPTION(EOSError, Exception);
QV_DECLARE_EXCEPTION(EOutOfMemory, Exception);

inline constexpr const char* SAbstractError = "Abstract Error";
inline constexpr const char* SInvalidFormat = "Format '%s' invalid or incompatible with argument";
inline constexpr const char* SArgumentMissing = "No argument for format '%s'";

// One argument of Format: an integer or a string. Built implicitly from the usual types.
class TFormatArg {
public:
  enum TKind : uint8_t { fkInt, fkUInt, fkString };

  template <class T, std::enable_if_t<std::is_integral_v<T> && std::is_signed_v<T> &&
                                          !std::is_same_v<T, char>, int> = 0>
  TFormatArg(T v) : FKind(fkInt), FInt(v) {}
  template <class T, std::enable_if_t<std::is_integral_v<T> && std::is_unsigned_v<T> &&
                                          !std::is_same_v<T, bool>, int> = 0>
  TFormatArg(T v) : FKind(fkUInt), FUInt(v) {}
  TFormatArg(char c) : FKind(fkString), FChar(c), FStr(&FChar, 1) {}
  TFormatArg(const char* s) : FKind(fkString), FStr(s ? s : "") {}
  TFormatArg(std::string_view s) : FKind(fkString), FStr(s) {}
  TFormatArg(const std::string& s) : FKind(fkString), FStr(s) {}
  // Built in place in Format's argument array only; a copy would break the view of FChar.
  TFormatArg(const TFormatArg&) = delete;
  TFormatArg& operator=(const TFormatArg&) = delete;

  TKind Kind() const { return FKind; }
  int64_t Int() const { return FKind == fkUInt ? static_cast<int64_t>(FUInt) : FInt; }
  uint64_t UInt() const { return FKind == fkInt ? static_cast<uint64_t>(FInt) : FUInt; }
  std::string_view Str() const { return FStr; }

private:
  TKind FKind;
  int64_t FInt = 0;
  uint64_t FUInt = 0;
  char FChar = 0;  // storage for a single-character argument
  std::string_view FStr;
};

// Builds a message from a pattern with the framework's format specifiers:
//   %[index:][-][width][.precision]type   with type d, u, x, X, s, and %% for a percent sign.
// An index picks the argument explicitly ("%1:s"); later unindexed specifiers continue after it.
// A specifier that does not fit its argument, or a missing argument, raises EConvertError.
std::string FormatList(std::string_view pattern, const TFormatArg* args, size_t count);

template <class... A>
std::string Format(std::string_view pattern, const A&... args) {
  if constexpr (sizeof...(A) == 0) {
    return FormatList(pattern, nullptr, 0);
  } else {
    const TFormatArg list[] = {TFormatArg(args)...};
    return FormatList(pattern, list, sizeof...(A));
  }
}

std::string IntToStr(int64_t value);
// Upper-case hexadecimal digits, at least `digits` of them.
std::string IntToHex(uint64_t value, int digits);
// Parses a decimal or "$"-prefixed hexadecimal integer; raises EConvertError
// ("'%s' is not a valid integer value") when the text is not one.
int64_t StrToInt64(std::string_view text);
int StrToInt(std::string_view text);
bool TryStrToInt64(std::string_view text, int64_t& value);

// Removes leading and trailing characters with codes 0 to 32.
std::string Trim(std::string_view s);

// Comparison of 8-bit strings in the system code page by the user locale (see
// framework/TextServices.h): -1, 0 or +1. The Text form ignores case.
int AnsiCompareStr(std::string_view a, std::string_view b);
int AnsiCompareText(std::string_view a, std::string_view b);
bool AnsiSameText(std::string_view a, std::string_view b);
// Case folding of 8-bit text in the system code page by the platform's upper-case mapping.
std::string AnsiUpperCase(std::string_view s);
// ASCII-only case folding and comparison, for identifiers and names.
std::string UpperCase(std::string_view s);
int CompareText(std::string_view a, std::string_view b);
bool SameText(std::string_view a, std::string_view b);

}  // namespace qv
