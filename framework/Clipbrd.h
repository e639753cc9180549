// Clipboard formats registered by name: process-wide 16-bit identifiers from 0xC000 upward,
// the same name (compared without case) always giving the same identifier. And the clipboard
// itself: a process-wide store of one block of bytes per format, as there is no system
// clipboard to share with other programs.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <map>
#include <mutex>

namespace qv {

// Returns the identifier of a named format, registering it on first use; 0 for an empty
// name. Thread-safe.
uint16_t RegisterClipboardFormat(std::string_view formatName);
// The name registered under an identifier, or empty.
std::string ClipboardFormatName(uint16_t format);

// The clipboard's data: at most one block of bytes per format. Setting data keeps the other
// formats, so one copy can offer several forms of the same content; Clear drops them all.
// Thread-safe.
class TClipboard {
public:
  void Clear();
  bool HasFormat(uint16_t format) const;
  void SetData(uint16_t format, std::string data);
  // The data of that format; false (and data unchanged) when there are none.
  bool GetData(uint16_t format, std::string& data) const;

private:
  mutable std::mutex FLock;
  std::map<uint16_t, std::string> FData;  // guarded by FLock
};

// The process's clipboard.
TClipboard& Clipboard();

}  // namespace qv
