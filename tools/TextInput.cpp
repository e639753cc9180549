#include "tools/TextInput.h"

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "framework/Streams.h"
#include "framework/TextServices.h"

namespace qv {

namespace {

// Decodes bytes as UTF-8 into out; false (out unspecified) when they are not well-formed.
// Plain ASCII, the most of most files, goes by a loop of its own.
bool DecodeUtf8(std::string_view bytes, std::u16string& out) {
  out.resize(bytes.size());
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
  const auto* end = p + bytes.size();
  char16_t* o = out.data();
  while (p < end) {
    // ASCII eight bytes at a time, then byte by byte.
    while (end - p >= 8) {
      uint64_t word;
      std::memcpy(&word, p, 8);
      if (word & 0x8080808080808080u) break;
      for (int i = 0; i < 8; ++i) o[i] = p[i];
      p += 8;
      o += 8;
    }
    while (p < end && *p < 0x80) *o++ = *p++;
    if (p == end) break;
    const unsigned c = *p;
    int more;
    unsigned min, value;
    if ((c & 0xE0) == 0xC0) {
      more = 1, min = 0x80, value = c & 0x1F;
    } else if ((c & 0xF0) == 0xE0) {
      more = 2, min = 0x800, value = c & 0x0F;
    } else if ((c & 0xF8) == 0xF0) {
      more = 3, min = 0x10000, value = c & 0x07;
    } else {
      return false;
    }
    if (end - p <= more) return false;
    for (int i = 1; i <= more; ++i) {
      if ((p[i] & 0xC0) != 0x80) return false;
      value = (value << 6) | (p[i] & 0x3F);
    }
    if (value < min || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return false;
    p += more + 1;
    if (value >= 0x10000) {
      value -= 0x10000;
      *o++ = static_cast<char16_t>(0xD800 + (value >> 10));
      *o++ = static_cast<char16_t>(0xDC00 + (value & 0x3FF));
    } else {
      *o++ = static_cast<char16_t>(value);
    }
  }
  out.resize(static_cast<size_t>(o - out.data()));
  return true;
}

// Binary data: any NUL, or more than one character in ten a control character other than
// the usual white space and escape.
bool LooksBinary(std::u16string_view s) {
  size_t controls = 0;
  for (char16_t c : s) {
    if (c >= 32) continue;
    if (c == 0) return true;
    if (c != '\t' && c != '\n' && c != '\r' && c != '\f' && c != '\v' && c != 27) ++controls;
  }
  return controls * 10 > s.size();
}

bool HasMark(std::string_view bytes) {
  return bytes.substr(0, 3) == "\xEF\xBB\xBF" || bytes.substr(0, 2) == "\xFF\xFE" || bytes.substr(0, 2) == "\xFE\xFF";
}

}  // namespace

bool IsValidUtf8(std::string_view bytes) {
  std::u16string decoded;
  return DecodeUtf8(bytes, decoded);
}

void ReadTextBytes(const std::string& name, const std::string& bytes, TSyntMemoStrings& text) {
  // UTF-8 without a mark, the usual case, is decoded here in one pass.
  if (!HasMark(bytes)) {
    std::u16string wide;
    if (DecodeUtf8(bytes, wide)) {
      if (LooksBinary(wide)) throw EToolError(name + ": binary data, not a text file");
      text.TakeTextStr(std::move(wide));
      text.SetTextFormat(tfUtf8);
      return;
    }
  }
  // Otherwise the line store reads it: by its mark, or, without one, as UTF-8 when it is
  // valid UTF-8 and else in the system code page.
  text.SetNoSignature(true);
  text.OnDetectFormat = [&bytes](TObject*, TStream& stream, TTextFormat& format) {
    if (format != tfAnsi) return;
    const auto at = static_cast<size_t>(stream.Position());
    if (IsValidUtf8(std::string_view(bytes).substr(std::min(at, bytes.size())))) format = tfUtf8;
  };
  TMemoryStream in(bytes);
  try {
    text.LoadFromStream(in);
  } catch (const std::exception& e) {
    text.OnDetectFormat = nullptr;
    throw EToolError(name + ": " + e.what());
  }
  text.OnDetectFormat = nullptr;
  if (LooksBinary(text.Text())) throw EToolError(name + ": binary data, not a text file");
}

void ReadTextFile(const std::string& path, TSyntMemoStrings& text) {
  std::error_code ec;
  if (std::filesystem::is_directory(path, ec)) throw EToolError(path + ": is a directory");
  std::ifstream in(path, std::ios::binary);
  if (!in) throw EToolError(path + ": " + std::strerror(errno));
  std::string bytes;
  // A regular file is read in one piece; anything else (a pipe, a device) as it comes.
  const auto size = std::filesystem::is_regular_file(path, ec) ? std::filesystem::file_size(path, ec) : 0;
  if (!ec && size > 0) {
    bytes.resize(static_cast<size_t>(size));
    in.read(bytes.data(), static_cast<std::streamsize>(size));
    bytes.resize(static_cast<size_t>(in.gcount()));
  }
  if (!in.eof()) {  // more than the size said, or no size: the rest
    std::ostringstream rest;
    rest << in.rdbuf();
    bytes += rest.str();
  }
  if (in.bad()) throw EToolError(path + ": read error");
  ReadTextBytes(path, bytes, text);
}

std::string EncodingName(const TSyntMemoStrings& text) {
  switch (text.TextFormat()) {
    case tfUtf8: return "UTF-8";
    case tfUtf16LE: return "UTF-16LE";
    case tfUtf16BE: return "UTF-16BE";
    default: break;
  }
  return "cp" + std::to_string(text.CodePage() ? text.CodePage() : GetACP());
}

}  // namespace qv
