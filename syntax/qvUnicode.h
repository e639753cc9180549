// The wide string list unit. For now it holds the unit's start-up choice of platform text
// calls; the wide string list itself builds on it.
#pragma once

#include <cstdint>

#include "framework/Units.h"

namespace qv {

// Which variant of the platform text calls the unit uses: the wide (UTF-16) calls, or the
// 8-bit calls through the locale's code page on platforms without wide calls.
enum TTextCallVariant : uint8_t { tcvWide, tcvAnsi };

TUnit& qvUnicodeUnit();
// Chosen once when the unit starts; the wide variant on every platform this code runs on.
TTextCallVariant TextCallVariant();

}  // namespace qv
