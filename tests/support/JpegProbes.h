// Test helper: encodes a JPEG file in memory with libjpeg's compressor, so the decoding tests
// start from images whose content they know.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include <jpeglib.h>

#include "framework/Graphics.h"

namespace qv {

// A width x height JPEG of the colours colorAt(x, y) gives, without chroma subsampling so
// that blocks of 8 pixels keep their colours closely.
inline std::string EncodeTestJpeg(int width, int height,
                                  const std::function<TColor(int, int)>& colorAt,
                                  int quality = 95) {
  jpeg_compress_struct info;
  jpeg_error_mgr err;
  info.err = jpeg_std_error(&err);
  jpeg_create_compress(&info);
  unsigned char* out = nullptr;
  unsigned long outSize = 0;
  jpeg_mem_dest(&info, &out, &outSize);
  info.image_width = static_cast<JDIMENSION>(width);
  info.image_height = static_cast<JDIMENSION>(height);
  info.input_components = 3;
  info.in_color_space = JCS_RGB;
  jpeg_set_defaults(&info);
  jpeg_set_quality(&info, quality, TRUE);
  for (int c = 0; c < info.num_components; ++c) {
    info.comp_info[c].h_samp_factor = 1;
    info.comp_info[c].v_samp_factor = 1;
  }
  jpeg_start_compress(&info, TRUE);
  std::vector<unsigned char> row(static_cast<size_t>(width) * 3);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const TColor c = colorAt(x, y);
      row[3 * x] = c & 0xFF;
      row[3 * x + 1] = (c >> 8) & 0xFF;
      row[3 * x + 2] = (c >> 16) & 0xFF;
    }
    JSAMPROW rowPtr = row.data();
    jpeg_write_scanlines(&info, &rowPtr, 1);
  }
  jpeg_finish_compress(&info);
  jpeg_destroy_compress(&info);
  std::string bytes(reinterpret_cast<char*>(out), outSize);
  std::free(out);
  return bytes;
}

// 16 x 16 in four 8 x 8 blocks: red top left, lime top right, blue bottom left, white
// bottom right.
inline TColor FourBlocks(int x, int y) {
  static const TColor blocks[2][2] = {{clRed, clLime}, {clBlue, clWhite}};
  return blocks[y / 8][x / 8];
}

// True when each channel of a and b differs by at most tolerance (JPEG is lossy).
inline bool NearColor(TColor a, TColor b, int tolerance = 24) {
  for (int shift = 0; shift <= 16; shift += 8) {
    const int d = ((a >> shift) & 0xFF) - ((b >> shift) & 0xFF);
    if (d > tolerance || d < -tolerance) return false;
  }
  return true;
}

}  // namespace qv
