// Format and the small string helpers of the framework.
#include "framework/SysUtils.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>

#include "framework/TextServices.h"

namespace qv {

namespace {

[[noreturn]] void FormatError(std::string_view pattern) {
  std::string message = SInvalidFormat;
  message.replace(message.find("%s"), 2, pattern);
  throw EConvertError(message);
}

std::string Pad(std::string body, int width, bool leftJustify) {
  if (width > 0 && static_cast<int>(body.size()) < width) {
    std::string fill(width - body.size(), ' ');
    body = leftJustify ? body + fill : fill + body;
  }
  return body;
}

// Digits of an integer with a minimum digit count (precision), sign in front.
std::string IntDigits(const TFormatArg& arg, char type, int precision) {
  bool negative = false;
  uint64_t magnitude;
  if (type == 'd' && arg.Kind() == TFormatArg::fkInt && arg.Int() < 0) {
    negative = true;
    magnitude = static_cast<uint64_t>(-(arg.Int() + 1)) + 1;  // no overflow at INT64_MIN
  } else {
    magnitude = arg.UInt();
    // %u and %x of a negative 32-bit-range value show its 32-bit pattern, as the
    // framework does for Integer arguments.
    if (type != 'd' && arg.Kind() == TFormatArg::fkInt && arg.Int() < 0 &&
        arg.Int() >= INT32_MIN)
      magnitude &= 0xFFFFFFFFu;
  }
  char buf[32];
  const char* f = type == 'x' ? "%llx" : type == 'X' ? "%llX" : "%llu";
  std::snprintf(buf, sizeof buf, f, static_cast<unsigned long long>(magnitude));
  std::string digits = buf;
  if (precision > static_cast<int>(digits.size()))
    digits.insert(0, precision - digits.size(), '0');
  return negative ? "-" + digits : digits;
}

}  // namespace

std::string FormatList(std::string_view pattern, const TFormatArg* args, size_t count) {
  std::string out;
  out.reserve(pattern.size() + 16);
  size_t next = 0;  // next argument for an unindexed specifier
  size_t i = 0;
  auto number = [&](int& value) {
    bool any = false;
    value = 0;
    while (i < pattern.size() && pattern[i] >= '0' && pattern[i] <= '9') {
      value = std::min(value * 10 + (pattern[i] - '0'), 1 << 20);
      ++i;
      any = true;
    }
    return any;
  };
  while (i < pattern.size()) {
    char c = pattern[i++];
    if (c != '%') {
      out += c;
      continue;
    }
    if (i >= pattern.size()) FormatError(pattern);
    if (pattern[i] == '%') {
      out += '%';
      ++i;
      continue;
    }
    int value = 0;
    size_t specStart = i;
    if (number(value) && i < pattern.size() && pattern[i] == ':') {
      next = static_cast<size_t>(value);
      ++i;
    } else {
      i = specStart;
    }
    bool leftJustify = false;
    if (i < pattern.size() && pattern[i] == '-') {
      leftJustify = true;
      ++i;
    }
    int width = 0, precision = -1;
    number(width);
    if (i < pattern.size() && pattern[i] == '.') {
      ++i;
      if (!number(precision)) FormatError(pattern);
    }
    if (i >= pattern.size()) FormatError(pattern);
    char type = static_cast<char>(pattern[i++] | 0x20);
    bool upperHex = pattern[i - 1] == 'X';
    if (next >= count) throw EConvertError(Format(SArgumentMissing, pattern));
    const TFormatArg& arg = args[next++];
    std::string body;
    switch (type) {
      case 'd':
      case 'u':
      case 'x':
        if (arg.Kind() == TFormatArg::fkString) FormatError(pattern);
        body = IntDigits(arg, type == 'x' && upperHex ? 'X' : type, precision);
        break;
      case 's':
        if (arg.Kind() != TFormatArg::fkString) FormatError(pattern);
        body = arg.Str();
        if (precision >= 0 && static_cast<size_t>(precision) < body.size())
          body.resize(precision);
        break;
      default:
        FormatError(pattern);
    }
    out += Pad(std::move(body), width, leftJustify);
  }
  return out;
}

std::string IntToStr(int64_t value) { return Format("%d", value); }

std::string IntToHex(uint64_t value, int digits) {
  char buf[40];
  std::snprintf(buf, sizeof buf, "%0*llX", std::clamp(digits, 0, 32),
                static_cast<unsigned long long>(value));
  return buf;
}

bool TryStrToInt64(std::string_view text, int64_t& value) {
  std::string_view s = text;
  while (!s.empty() && static_cast<unsigned char>(s.front()) <= ' ') s.remove_prefix(1);
  while (!s.empty() && static_cast<unsigned char>(s.back()) <= ' ') s.remove_suffix(1);
  bool negative = false;
  if (!s.empty() && (s.front() == '-' || s.front() == '+')) {
    negative = s.front() == '-';
    s.remove_prefix(1);
  }
  int base = 10;
  if (!s.empty() && s.front() == '$') {
    base = 16;
    s.remove_prefix(1);
  } else if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
    base = 16;
    s.remove_prefix(2);
  }
  if (s.empty()) return false;
  uint64_t limit = negative ? uint64_t{1} << 63 : (uint64_t{1} << 63) - 1;
  if (base == 16) limit = UINT64_MAX;  // hexadecimal literals may state the full bit pattern
  uint64_t acc = 0;
  for (char c : s) {
    int d;
    if (c >= '0' && c <= '9') d = c - '0';
    else if (base == 16 && c >= 'a' && c <= 'f') d = c - 'a' + 10;
    else if (base == 16 && c >= 'A' && c <= 'F') d = c - 'A' + 10;
    else return false;
    if (acc > (limit - d) / base) return false;
    acc = acc * base + d;
  }
  value = negative ? static_cast<int64_t>(0 - acc) : static_cast<int64_t>(acc);
  return true;
}

int64_t StrToInt64(std::string_view text) {
  int64_t value;
  if (!TryStrToInt64(text, value))
    throw EConvertError(Format("'%s' is not a valid integer value", text));
  return value;
}

int StrToInt(std::string_view text) {
  int64_t value = StrToInt64(text);
  if (value < INT32_MIN || value > INT32_MAX)
    throw EConvertError(Format("'%s' is not a valid integer value", text));
  return static_cast<int>(value);
}

std::string Trim(std::string_view s) {
  size_t b = 0, e = s.size();
  while (b < e && static_cast<unsigned char>(s[b]) <= ' ') ++b;
  while (e > b && static_cast<unsigned char>(s[e - 1]) <= ' ') --e;
  return std::string(s.substr(b, e - b));
}

int AnsiCompareStr(std::string_view a, std::string_view b) { return CompareStringA(a, b, 0); }

int AnsiCompareText(std::string_view a, std::string_view b) {
  return CompareStringA(a, b, NORM_IGNORECASE);
}

bool AnsiSameText(std::string_view a, std::string_view b) { return AnsiCompareText(a, b) == 0; }

std::string AnsiUpperCase(std::string_view s) { return CharUpperA(s, CP_ACP); }

std::string UpperCase(std::string_view s) {
  std::string r(s);
  for (char& c : r)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
  return r;
}

int CompareText(std::string_view a, std::string_view b) {
  size_t n = std::min(a.size(), b.size());
  for (size_t k = 0; k < n; ++k) {
    unsigned char x = static_cast<unsigned char>(a[k]), y = static_cast<unsigned char>(b[k]);
    if (x >= 'a' && x <= 'z') x -= 32;
    if (y >= 'a' && y <= 'z') y -= 32;
    if (x != y) return x < y ? -1 : 1;
  }
  return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

bool SameText(std::string_view a, std::string_view b) { return CompareText(a, b) == 0; }

}  // namespace qv
