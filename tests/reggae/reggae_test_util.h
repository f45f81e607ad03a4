// Helpers shared by the media tests.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstdint>
#include <string>
#include <vector>

#include "reggae/reggae.h"
#include "support/icy_stream.h"

namespace reggaetest {

using testsupport::Fixture;

// Pulls everything from an output port.
inline std::vector<uint8_t> PullAll(Object *obj, ULONG port, LONG chunk = 4096, LONG *endError = nullptr) {
  std::vector<uint8_t> out;
  std::vector<uint8_t> buf(static_cast<size_t>(chunk));
  for (;;) {
    LONG got = static_cast<LONG>(DoMethod(obj, MMM_Pull, port, buf.data(), chunk));
    out.insert(out.end(), buf.begin(), buf.begin() + got);
    if (got < chunk) {
      IPTR err = 0;
      DoMethod(obj, MMM_GetPort, port, MMA_ErrorCode, &err);
      if (err != 0) {
        if (endError)
          *endError = static_cast<LONG>(err);
        return out;
      }
    }
  }
}

// Frequency of the first channel of 16-bit PCM, from its rising crossings
// (with hysteresis, so that coding noise near zero does not count).
inline double ToneFrequency(const std::vector<uint8_t> &pcm, int channels, int rate) {
  const auto *s = reinterpret_cast<const int16_t *>(pcm.data());
  const size_t frames = pcm.size() / 2 / static_cast<size_t>(channels);
  int peak = 0;
  for (size_t i = 0; i < frames; ++i)
    peak = std::max(peak, std::abs(int(s[i * channels])));
  const int thr = peak / 4;
  size_t crossings = 0, first = 0, last = 0;
  bool low = false;
  for (size_t i = 0; i < frames; ++i) {
    const int v = s[i * channels];
    if (v < -thr)
      low = true;
    else if (low && v > thr) {
      low = false;
      if (!crossings)
        first = i;
      last = i;
      ++crossings;
    }
  }
  if (crossings < 2)
    return 0;
  return double(crossings - 1) * rate / double(last - first);
}

} // namespace reggaetest
