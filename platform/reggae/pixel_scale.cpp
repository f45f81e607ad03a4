#include "reggae/pixel_scale.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

#include "reggae/picture_decode.h"

namespace reggae::pictures {

bool PixelScaler::Build(Axis &a, uint32_t src, uint32_t dst, ScaleMode mode) {
  a.first.resize(dst);
  a.count.resize(dst);
  a.at.resize(dst);
  a.w.clear();
  for (uint32_t k = 0; k < dst; ++k) {
    a.at[k] = a.w.size();
    if (mode == ScaleMode::Nearest) {
      a.first[k] = std::min<uint32_t>(src - 1, uint32_t((uint64_t(2 * k + 1) * src) / (2 * uint64_t(dst))));
      a.count[k] = 1;
      a.w.push_back(1.0f);
    } else if (dst < src) {
      // The output pixel covers [lo, hi) of the source.
      const double s = double(src) / dst;
      const double lo = double(uint64_t(k) * src) / dst, hi = double(uint64_t(k + 1) * src) / dst;
      uint32_t first = uint32_t(lo), last = std::min<uint32_t>(src - 1, uint32_t(std::ceil(hi)) - 1);
      while (last > first && hi - last < 1e-9)
        --last;
      a.first[k] = first;
      a.count[k] = last - first + 1;
      for (uint32_t i = first; i <= last; ++i) {
        double cover = std::min(hi, double(i) + 1) - std::max(lo, double(i));
        a.w.push_back(float(cover / s));
      }
    } else {
      // Growing: linear between the two nearest source centres.
      const double c = (k + 0.5) * double(src) / dst - 0.5;
      if (c <= 0 || src == 1) {
        a.first[k] = 0, a.count[k] = 1;
        a.w.push_back(1.0f);
      } else if (c >= src - 1) {
        a.first[k] = src - 1, a.count[k] = 1;
        a.w.push_back(1.0f);
      } else {
        uint32_t i0 = uint32_t(c);
        float f = float(c - i0);
        a.first[k] = i0, a.count[k] = 2;
        a.w.push_back(1.0f - f);
        a.w.push_back(f);
      }
    }
  }
  return true;
}

bool PixelScaler::Init(uint32_t srcW, uint32_t srcH, uint32_t dstW, uint32_t dstH, ScaleMode mode) {
  srcW_ = srcH_ = dstW_ = dstH_ = 0;
  rowsIn_ = nextOut_ = 0;
  if (!PictureFits(srcW, srcH) || !PictureFits(dstW, dstH))
    return false;
  try {
    Build(xs_, srcW, dstW, mode);
    Build(ys_, srcH, dstH, mode);
    // The ring holds every output row that one source row can touch at once.
    ring_ = 1;
    for (uint32_t j = 0, k = 0; j < dstH; ++j) {
      uint32_t last = ys_.first[j] + ys_.count[j] - 1;
      k = std::max(k, j);
      while (k + 1 < dstH && ys_.first[k + 1] <= last)
        ++k;
      ring_ = std::max(ring_, k - j + 1);
    }
    line_.assign(size_t(dstW) * 4, 0.0f);
    acc_.assign(size_t(ring_) * dstW * 4, 0.0f);
    out_.assign(size_t(dstW) * dstH * 4, 0);
  } catch (const std::bad_alloc &) {
    return false;
  }
  srcW_ = srcW, srcH_ = srcH, dstW_ = dstW, dstH_ = dstH;
  return true;
}

void PixelScaler::PushRow(const uint8_t *row) {
  if (rowsIn_ >= srcH_)
    return;
  const uint32_t i = rowsIn_++;

  // Across: alpha-weighted sums, so colours are carried as premultiplied.
  for (uint32_t x = 0; x < dstW_; ++x) {
    const float *w = xs_.w.data() + xs_.at[x];
    const uint8_t *p = row + size_t(xs_.first[x]) * 4;
    float a = 0, r = 0, g = 0, b = 0;
    for (uint32_t n = xs_.count[x]; n; --n, p += 4, ++w) {
      float wa = *w * p[0];
      a += wa;
      r += wa * p[1];
      g += wa * p[2];
      b += wa * p[3];
    }
    float *l = &line_[size_t(x) * 4];
    l[0] = a, l[1] = r, l[2] = g, l[3] = b;
  }

  // Down: add the row into every output row it belongs to.
  const size_t rowFloats = size_t(dstW_) * 4;
  for (uint32_t j = nextOut_; j < dstH_ && ys_.first[j] <= i; ++j) {
    uint32_t first = ys_.first[j];
    if (i >= first + ys_.count[j])
      continue;
    float wy = ys_.w[ys_.at[j] + (i - first)];
    float *acc = &acc_[size_t(j % ring_) * rowFloats];
    if (i == first)
      std::fill(acc, acc + rowFloats, 0.0f);
    for (size_t n = 0; n < rowFloats; ++n)
      acc[n] += wy * line_[n];
  }
  while (nextOut_ < dstH_ && ys_.first[nextOut_] + ys_.count[nextOut_] - 1 <= i)
    Finish(nextOut_++);
}

void PixelScaler::Finish(uint32_t j) {
  const float *acc = &acc_[size_t(j % ring_) * dstW_ * 4];
  uint8_t *o = &out_[size_t(j) * dstW_ * 4];
  auto clamp = [](float v) { return uint8_t(std::clamp(v + 0.5f, 0.0f, 255.0f)); };
  for (uint32_t x = 0; x < dstW_; ++x, acc += 4, o += 4) {
    if (acc[0] < 0.5f) { // nothing visible here
      std::memset(o, 0, 4);
      continue;
    }
    float inv = 1.0f / acc[0];
    o[0] = clamp(acc[0]);
    o[1] = clamp(acc[1] * inv);
    o[2] = clamp(acc[2] * inv);
    o[3] = clamp(acc[3] * inv);
  }
}

bool ScalePixels(const uint8_t *src, uint32_t srcW, uint32_t srcH, size_t srcStride, uint32_t dstW, uint32_t dstH,
                 std::vector<uint8_t> &out, ScaleMode mode) {
  PixelScaler s;
  if (!src || srcStride < size_t(srcW) * 4 || !s.Init(srcW, srcH, dstW, dstH, mode))
    return false;
  for (uint32_t y = 0; y < srcH; ++y)
    s.PushRow(src + size_t(y) * srcStride);
  out = std::move(s.Output());
  return true;
}

} // namespace reggae::pictures
