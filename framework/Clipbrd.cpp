// Registry of named clipboard formats and the in-process clipboard store.
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

void TClipboard::Clear() {
  std::lock_guard<std::mutex> guard(FLock);
  FData.clear();
}

bool TClipboard::HasFormat(uint16_t format) const {
  std::lock_guard<std::mutex> guard(FLock);
  return FData.count(format) != 0;
}

void TClipboard::SetData(uint16_t format, std::string data) {
  std::lock_guard<std::mutex> guard(FLock);
  FData[format] = std::move(data);
}

bool TClipboard::GetData(uint16_t format, std::string& data) const {
  std::lock_guard<std::mutex> guard(FLock);
  auto it = FData.find(format);
  if (it == FData.end()) return false;
  data = it->second;
  return true;
}

TClipboard& Clipboard() {
  static TClipboard clipboard;
  return clipboard;
}

}  // namespace qv
