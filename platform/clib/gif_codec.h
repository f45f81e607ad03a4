// GIF on giflib: reading the first frame, and writing (still or animated).
#pragma once

#include <vector>

#include "clib/codec.h"

namespace clib::gif {

// The canvas of the first frame: the logical screen, widened by a frame that
// sticks out of it. Checked against the limits.
Error ReadInfo(const uint8_t *data, size_t size, const Limits &limits, Size &out);

// Draws the first frame on a transparent canvas in dst, which holds dstSize
// bytes (at least 4 a pixel of the canvas). Frames are read line by line, so
// an animation with many frames costs no more than its first one. rowsDone
// gets the number of top rows that hold decoded pixels.
Error Decode(const uint8_t *data, size_t size, uint8_t *dst, size_t dstSize, uint32_t &rowsDone,
             const Limits &limits);

struct Colour {
  uint8_t red, green, blue;
};

// A frame at the top left corner: one palette index a pixel, rows top first.
struct Frame {
  uint32_t width = 0, height = 0;
  std::vector<uint8_t> indices;
};

struct EncodeOptions {
  bool interlaced = false;
  int transparent = -1; // the palette index drawn transparent, or -1
  int delay = 10;       // between frames, in hundredths of a second
};

// Writes a GIF89a with one palette (up to 256 colours) for all frames.
Error Encode(uint32_t screenWidth, uint32_t screenHeight, const std::vector<Colour> &palette,
             const std::vector<Frame> &frames, std::vector<uint8_t> &out, const EncodeOptions &options = {});

} // namespace clib::gif
