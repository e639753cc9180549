// The wide string list unit's start-up: the choice of platform text calls.
#include "syntax/qvUnicode.h"

namespace qv {

namespace {

TTextCallVariant GVariant = tcvWide;

// Every supported platform offers the wide calls (the 8-bit variant exists for systems
// without them), so the choice always falls on the wide variant.
void InitUnicode() { GVariant = tcvWide; }

}  // namespace

TUnit& qvUnicodeUnit() {
  static TUnit unit("qvUnicode", {}, InitUnicode, nullptr);
  return unit;
}

TTextCallVariant TextCallVariant() { return GVariant; }

}  // namespace qv
