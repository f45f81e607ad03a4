// JPEG on libjpeg-turbo: reading, with shrink-on-load, and writing.
#pragma once

#include <vector>

#include "clib/codec.h"

namespace clib::jpeg {

// Reads the header only; the sides are not checked against any limit.
Error ReadInfo(const uint8_t *data, size_t size, Size &out);

// Decodes into dst, which holds dstSize bytes (at least 4 bytes a pixel of
// Shrunk(size, shrink)). With shrink 2, 4 or 8 the scaled DCT decodes the
// picture that many times smaller on each side, so that it never exists at
// full size. CMYK pictures are converted. rowsDone gets the number of top rows
// that hold decoded pixels.
Error Decode(const uint8_t *data, size_t size, uint8_t *dst, size_t dstSize, uint32_t &rowsDone,
             const Limits &limits, uint32_t shrink = 1);

struct EncodeOptions {
  int quality = 95; // 1 to 100
  bool gray = false;
  bool progressive = false;
};

// Writes A R G B rows of `stride` bytes (alpha is dropped). out is empty on failure.
Error Encode(const uint8_t *argb, uint32_t width, uint32_t height, size_t stride, std::vector<uint8_t> &out,
             const EncodeOptions &options = {});

} // namespace clib::jpeg
