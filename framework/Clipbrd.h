// Clipboard formats registered by name: process-wide 16-bit identifiers from 0xC000 upward,
// the same name (compared without case) always giving the same identifier.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace qv {

// Returns the identifier of a named format, registering it on first use; 0 for an empty
// name. Thread-safe.
uint16_t RegisterClipboardFormat(std::string_view formatName);
// The name registered under an identifier, or empty.
std::string ClipboardFormatName(uint16_t format);

}  // namespace qv
