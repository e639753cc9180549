// JPEG decoding through libjpeg. The decoder runs in one plain function that sets the jump
// target for libjpeg's errors and owns only C resources (the decompressor and a malloc'ed
// buffer), so a long jump out of libjpeg skips no destructor. The C++ side turns the
// outcome into pixels or an exception afterwards.
#include "framework/JPEG.h"

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include <jerror.h>
#include <jpeglib.h>

#include "framework/SysUtils.h"

namespace qv {

namespace {

inline constexpr const char* SInvalidJPEG = "Invalid JPEG image: %s";
inline constexpr const char* SJPEGTooLarge = "image too large";

// libjpeg's error manager extended with the jump target and the text of the failure.
struct TJpegErrorManager {
  jpeg_error_mgr Base;
  std::jmp_buf Jump;
  char Message[JMSG_LENGTH_MAX];
};

extern "C" void JpegErrorExit(j_common_ptr info) {
  auto* err = reinterpret_cast<TJpegErrorManager*>(info->err);
  err->Base.format_message(info, err->Message);
  std::longjmp(err->Jump, 1);
}

// Warnings are dropped, except the one for data that ends before the image: without it a
// truncated file would decode silently into grey rows.
extern "C" void JpegEmitMessage(j_common_ptr info, int level) {
  if (level < 0 && info->err->msg_code == JWRN_JPEG_EOF) JpegErrorExit(info);
}

extern "C" void JpegOutputMessage(j_common_ptr) {}

// The result of one decoding: on success Pixels holds Width * Height * 3 bytes of RGB from
// malloc, which the caller frees; on failure Message says why.
struct TJpegRaw {
  int Width = 0;
  int Height = 0;
  unsigned char* Pixels = nullptr;
  char Message[JMSG_LENGTH_MAX] = {};
};

// No object with a destructor may live in this frame: libjpeg leaves it by longjmp.
bool DecodeRaw(const unsigned char* data, unsigned long size, TJpegRaw* out) {
  jpeg_decompress_struct info;
  TJpegErrorManager err;
  unsigned char* volatile buffer = nullptr;
  info.err = jpeg_std_error(&err.Base);
  err.Base.error_exit = JpegErrorExit;
  err.Base.emit_message = JpegEmitMessage;
  err.Base.output_message = JpegOutputMessage;
  err.Message[0] = '\0';
  if (setjmp(err.Jump)) {
    std::free(buffer);
    jpeg_destroy_decompress(&info);
    std::memcpy(out->Message, err.Message, sizeof(out->Message));
    return false;
  }
  jpeg_create_decompress(&info);
  jpeg_mem_src(&info, data, size);
  jpeg_read_header(&info, TRUE);
  info.out_color_space = JCS_RGB;
  jpeg_start_decompress(&info);
  const size_t rowBytes = size_t{info.output_width} * 3;
  // Pixel counts must fit an int for the canvas model; refuse larger images up front.
  if (info.output_width > 0x7FFF || info.output_height > 0x7FFF) {
    std::snprintf(err.Message, sizeof(err.Message), "%s", SJPEGTooLarge);
    std::longjmp(err.Jump, 1);
  }
  buffer = static_cast<unsigned char*>(std::malloc(rowBytes * info.output_height + 1));
  if (!buffer) {
    std::snprintf(err.Message, sizeof(err.Message), "%s", "out of memory");
    std::longjmp(err.Jump, 1);
  }
  while (info.output_scanline < info.output_height) {
    JSAMPROW row = buffer + rowBytes * info.output_scanline;
    jpeg_read_scanlines(&info, &row, 1);
  }
  jpeg_finish_decompress(&info);
  out->Width = static_cast<int>(info.output_width);
  out->Height = static_cast<int>(info.output_height);
  out->Pixels = buffer;
  jpeg_destroy_decompress(&info);
  return true;
}

}  // namespace

void DecodeJPEG(const uint8_t* data, size_t size, int& width, int& height,
                std::vector<TColor>& pixels) {
  TJpegRaw raw;
  if (size == 0 || !data) throw EInvalidGraphic(Format(SInvalidJPEG, "no data"));
  if (!DecodeRaw(data, static_cast<unsigned long>(size), &raw))
    throw EInvalidGraphic(Format(SInvalidJPEG, std::string(raw.Message)));
  // Free the C buffer on every way out, bad_alloc of the vector included.
  std::unique_ptr<unsigned char, decltype(&std::free)> rgb(raw.Pixels, &std::free);
  const size_t count = size_t(raw.Width) * size_t(raw.Height);
  std::vector<TColor> result(count);
  for (size_t i = 0; i < count; ++i) {
    const unsigned char* p = rgb.get() + 3 * i;
    result[i] = static_cast<TColor>(p[0] | (p[1] << 8) | (p[2] << 16));
  }
  width = raw.Width;
  height = raw.Height;
  pixels = std::move(result);
}

}  // namespace qv
