// The picture libraries (libpng, libjpeg-turbo, giflib, libwebp) behind small
// C++ interfaces, one file per library; no other file includes their headers.
//
// Pixels are four bytes A, R, G, B, rows top first. Input to the decoders is
// untrusted: a damaged or cut-off file ends in an error, never in a read
// outside the input.
#pragma once

#include <cstddef>
#include <cstdint>

namespace clib {

enum class Error {
  None,
  Unsupported, // not a picture, or a kind of one we do not read or write
  Corrupt,     // the data contradicts itself, or the library refused it
  Truncated,   // the data ends before the picture does
  TooLarge,    // over the size limits
  NoMemory,
};

struct Size {
  uint32_t width = 0;
  uint32_t height = 0;
};

// The largest picture a decoder accepts.
struct Limits {
  uint32_t maxSide;
  uint64_t maxPixels;
  bool Fits(uint64_t width, uint64_t height) const {
    return width > 0 && height > 0 && width <= maxSide && height <= maxSide && width * height <= maxPixels;
  }
};

// The size of a picture decoded `shrink` times smaller on each side, rounded
// up as libjpeg sizes its scaled output.
inline Size Shrunk(Size size, uint32_t shrink) {
  if (shrink > 1) {
    size.width = (size.width + shrink - 1) / shrink;
    size.height = (size.height + shrink - 1) / shrink;
  }
  return size;
}

} // namespace clib
