// Resampling of ARGB pictures (bytes A, R, G, B), fed one source row at a
// time so that a large picture is never copied whole.
//
// Area averaging: each output pixel is the mean of the source area it covers
// (partly covered source pixels count with their share). Colours are averaged
// weighted by their alpha, so that the colour of invisible pixels does not
// bleed into the visible ones at the edge of a transparent area. When a side
// grows instead of shrinking, that side is interpolated linearly.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace reggae::pictures {

enum class ScaleMode { Nearest, AreaAverage };

class PixelScaler {
public:
  // False for a zero or oversized side, or when out of memory.
  bool Init(uint32_t srcW, uint32_t srcH, uint32_t dstW, uint32_t dstH, ScaleMode mode = ScaleMode::AreaAverage);
  // Feeds the next source row (srcW * 4 bytes). Rows beyond srcH are ignored.
  void PushRow(const uint8_t *row);
  uint32_t RowsPushed() const { return rowsIn_; }
  bool Complete() const { return rowsIn_ == srcH_; }
  // The result, dstW * dstH * 4 bytes, valid once Complete().
  const std::vector<uint8_t> &Output() const { return out_; }
  std::vector<uint8_t> &Output() { return out_; }
  uint32_t DstWidth() const { return dstW_; }
  uint32_t DstHeight() const { return dstH_; }

private:
  struct Axis {
    std::vector<uint32_t> first; // per output index: first source index
    std::vector<uint32_t> count; // number of source indices
    std::vector<size_t> at;      // where its weights start in w
    std::vector<float> w;
  };
  static bool Build(Axis &axis, uint32_t src, uint32_t dst, ScaleMode mode);
  void Finish(uint32_t j);

  uint32_t srcW_ = 0, srcH_ = 0, dstW_ = 0, dstH_ = 0;
  Axis xs_, ys_;
  std::vector<float> line_;  // the current source row, resampled across
  std::vector<float> acc_;   // ring of output rows being summed
  uint32_t ring_ = 0;        // rows in the ring
  uint32_t rowsIn_ = 0;
  uint32_t nextOut_ = 0;     // lowest output row not yet finished
  std::vector<uint8_t> out_;
};

// Scales a whole picture in one call (tests and small pictures).
bool ScalePixels(const uint8_t *src, uint32_t srcW, uint32_t srcH, size_t srcStride, uint32_t dstW, uint32_t dstH,
                 std::vector<uint8_t> &out, ScaleMode mode = ScaleMode::AreaAverage);

} // namespace reggae::pictures
