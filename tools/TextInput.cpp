#include "tools/TextInput.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "framework/Streams.h"
#include "framework/TextServices.h"

namespace qv {

bool IsValidUtf8(std::string_view bytes) {
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
  const auto* end = p + bytes.size();
  while (p < end) {
    const unsigned c = *p;
    if (c < 0x80) {
      ++p;
      continue;
    }
    int more;
    unsigned min;
    unsigned value;
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
  }
  return true;
}

void ReadTextBytes(const std::string& name, const std::string& bytes, TSyntMemoStrings& text) {
  // Without a mark, text that is valid UTF-8 is taken as UTF-8; the rest goes by the system
  // code page, as the line store reads it.
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
  // Binary data: any NUL, or more than one character in ten a control character other than
  // the usual white space and escape.
  const std::u16string& s = text.Text();
  size_t controls = 0;
  for (char16_t c : s) {
    if (c == 0) throw EToolError(name + ": binary data, not a text file");
    if (c < 32 && c != '\t' && c != '\n' && c != '\r' && c != '\f' && c != '\v' && c != 27) ++controls;
  }
  if (controls * 10 > s.size()) throw EToolError(name + ": binary data, not a text file");
}

void ReadTextFile(const std::string& path, TSyntMemoStrings& text) {
  std::error_code ec;
  if (std::filesystem::is_directory(path, ec)) throw EToolError(path + ": is a directory");
  std::ifstream in(path, std::ios::binary);
  if (!in) throw EToolError(path + ": " + std::strerror(errno));
  std::ostringstream bytes;
  bytes << in.rdbuf();
  if (in.bad()) throw EToolError(path + ": read error");
  ReadTextBytes(path, bytes.str(), text);
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
