// PNG on libpng: reading from memory or from a file, and the one PNG writer.
#pragma once

#include <string>
#include <vector>

#include "clib/codec.h"

namespace clib::png {

// Reads the header only; the sides are not checked against any limit.
Error ReadInfo(const uint8_t *data, size_t size, Size &out);

// Decodes every kind of PNG into dst, which holds dstSize bytes (at least
// width * height * 4). rowsDone gets the number of top rows that hold decoded
// pixels: all of them on success, fewer when the data broke off part-way.
Error Decode(const uint8_t *data, size_t size, uint8_t *dst, size_t dstSize, uint32_t &rowsDone,
             const Limits &limits);

// Reads a whole PNG file with libpng's simplified reader, which also brings
// the colours to sRGB. Sides of 0 or above maxSide are refused.
bool ReadFile(const std::string &path, uint32_t maxSide, std::vector<uint8_t> &argb, Size &size);

// How the written file stores the pixels. Gray stores the luminance; Palette
// holds the picture's distinct colours (at most 256) with their alpha;
// Rgba16 widens every channel to 16 bits.
enum class Stored { Rgba, Rgb, Gray, Palette, Rgba16 };

struct EncodeOptions {
  Stored stored = Stored::Rgba;
  bool interlaced = false;
  int compression = 6; // zlib level, 0 (fastest) to 9 (smallest)
};

// Writes a PNG of A R G B rows of `stride` bytes. out is empty on failure.
Error Encode(const uint8_t *argb, uint32_t width, uint32_t height, size_t stride, std::vector<uint8_t> &out,
             const EncodeOptions &options = {});
// The same from 32-bit pixels 0xAARRGGBB, `stride` pixels a row.
Error Encode(const uint32_t *argb, uint32_t width, uint32_t height, size_t stride, std::vector<uint8_t> &out,
             const EncodeOptions &options = {});

} // namespace clib::png
