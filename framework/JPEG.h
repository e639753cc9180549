// JPEG decoding through libjpeg, for the pictures of the graphics layer. libjpeg reports
// errors by a long jump; the jump never crosses a C++ frame, and failures come out as
// EInvalidGraphic.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "framework/Graphics.h"

namespace qv {

// Decodes a whole JPEG file held in memory into width * height colours (0x00BBGGRR), row by
// row from the top. Grey-scale images come out as grey RGB. Data libjpeg refuses, and data
// that ends before the image does, raise EInvalidGraphic "Invalid JPEG image: <reason>";
// the outputs are then left as they were.
void DecodeJPEG(const uint8_t* data, size_t size, int& width, int& height,
                std::vector<TColor>& pixels);

}  // namespace qv
