// WebP on libwebp: reading still pictures (an animation is not read), with
// shrink-on-load, and writing.
#pragma once

#include <vector>

#include "clib/codec.h"

namespace clib::webp {

// Reads the header only; an animation is Unsupported.
Error ReadInfo(const uint8_t *data, size_t size, Size &out);

// Decodes into dst, which holds dstSize bytes (at least 4 bytes a pixel of
// Shrunk(size, shrink)); with shrink above 1 libwebp's scaler decodes the
// picture that much smaller. rowsDone is all rows on success, else 0.
Error Decode(const uint8_t *data, size_t size, uint8_t *dst, size_t dstSize, uint32_t &rowsDone,
             uint32_t shrink = 1);

struct EncodeOptions {
  bool lossless = true;
  float quality = 95; // 0 to 100, when lossy
};

// Writes A R G B rows of `stride` bytes. out is empty on failure.
Error Encode(const uint8_t *argb, uint32_t width, uint32_t height, size_t stride, std::vector<uint8_t> &out,
             const EncodeOptions &options = {});

} // namespace clib::webp
