// Input-event values the engine passes on to a displaying editor: mouse buttons and the
// state of the shift keys and buttons. Header only.
#pragma once

#include <cstdint>

#include "framework/Types.h"

namespace qv {

enum TMouseButton : uint8_t { mbLeft, mbRight, mbMiddle };

enum TShiftStateItem : uint8_t { ssShift, ssAlt, ssCtrl, ssLeft, ssRight, ssMiddle, ssDouble };
using TShiftState = TSet<TShiftStateItem>;

}  // namespace qv
