// Registry of named clipboard formats.
#include "framework/Clipbrd.h"

#include <mutex>
#include <vector>

#include "framework/SysUtils.h"

namespace qv {

namespace {

// Named formats take identifiers from 0xC000 on, in registration order.
constexpr uint16_t FirstNamedFormat = 0xC000;

struct TFormatRegistry {
  std::mutex Lock;
  std::vector<std::string> Names;  // index i holds format FirstNamedFormat + i
};

TFormatRegistry& Formats() {
  static TFormatRegistry registry;
  return registry;
}

}  // namespace

uint16_t RegisterClipboardFormat(std::string_view formatName) {
  if (formatName.empty()) return 0;
  TFormatRegistry& r = Formats();
  std::lock_guard<std::mutex> guard(r.Lock);
  for (size_t i = 0; i < r.Names.size(); ++i)
    if (SameText(r.Names[i], formatName)) return static_cast<uint16_t>(FirstNamedFormat + i);
  if (r.Names.size() >= 0x10000u - FirstNamedFormat) return 0;  // the identifier space is full
  r.Names.emplace_back(formatName);
  return static_cast<uint16_t>(FirstNamedFormat + r.Names.size() - 1);
}

std::string ClipboardFormatName(uint16_t format) {
  TFormatRegistry& r = Formats();
  std::lock_guard<std::mutex> guard(r.Lock);
  if (format < FirstNamedFormat || format - FirstNamedFormat >= static_cast<int>(r.Names.size()))
    return {};
  return r.Names[format - FirstNamedFormat];
}

}  // namespace qv
