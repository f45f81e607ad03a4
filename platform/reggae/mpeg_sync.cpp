#include "reggae/mpeg_sync.h"

#include <algorithm>
#include <cstring>

namespace reggae {

namespace {

const int kBitrates[2][3][15] = {
    // MPEG-1: Layer I, II, III
    {{0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448},
     {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384},
     {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320}},
    // MPEG-2 and 2.5: Layer I, II, III
    {{0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256},
     {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160},
     {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160}},
};
const int kRates[3][3] = {{44100, 48000, 32000}, {22050, 24000, 16000}, {11025, 12000, 8000}};

} // namespace

bool ParseMpegHeader(const uint8_t *p, MpegHeader *out) {
  if (p[0] != 0xFF || (p[1] & 0xE0) != 0xE0)
    return false;
  const int ver = (p[1] >> 3) & 3; // 0: 2.5, 1: reserved, 2: 2, 3: 1
  const int lay = (p[1] >> 1) & 3; // 1: III, 2: II, 3: I, 0: reserved
  const int bri = (p[2] >> 4) & 15;
  const int sri = (p[2] >> 2) & 3;
  const int pad = (p[2] >> 1) & 1;
  const int mode = (p[3] >> 6) & 3;
  if (ver == 1 || lay == 0 || bri == 0 || bri == 15 || sri == 3 || (p[3] & 3) == 2)
    return false;
  MpegHeader h;
  h.version = ver == 3 ? 10 : ver == 2 ? 20 : 25;
  h.layer = 4 - lay;
  const bool mpeg1 = ver == 3;
  h.bitrate = kBitrates[mpeg1 ? 0 : 1][h.layer - 1][bri];
  h.sampleRate = kRates[mpeg1 ? 0 : ver == 2 ? 1 : 2][sri];
  h.channels = mode == 3 ? 1 : 2;
  if (h.layer == 1) {
    h.samples = 384;
    h.frameBytes = (12 * h.bitrate * 1000 / h.sampleRate + pad) * 4;
  } else {
    const bool half = h.layer == 3 && !mpeg1;
    h.samples = half ? 576 : 1152;
    h.frameBytes = (half ? 72 : 144) * h.bitrate * 1000 / h.sampleRate + pad;
  }
  if (h.frameBytes <= 4 || static_cast<size_t>(h.frameBytes) > MpegFrameSync::kMaxFrame)
    return false;
  *out = h;
  return true;
}

size_t Id3v2Size(const uint8_t *p, size_t avail) {
  if (avail < 10 || p[0] != 'I' || p[1] != 'D' || p[2] != '3' || p[3] == 0xFF || p[4] == 0xFF)
    return 0;
  if ((p[6] | p[7] | p[8] | p[9]) & 0x80)
    return 0;
  size_t size = (size_t(p[6]) << 21) | (size_t(p[7]) << 14) | (size_t(p[8]) << 7) | size_t(p[9]);
  return 10 + size + ((p[5] & 0x10) ? 10 : 0);
}

void MpegFrameSync::Push(const uint8_t *data, size_t len) {
  if (skip_) {
    size_t n = std::min(skip_, len);
    skip_ -= n;
    data += n;
    len -= n;
  }
  if (pos_ > 0 && (pos_ >= buf_.size() / 2 || buf_.size() + len > 4 * kMaxFrame)) {
    buf_.erase(buf_.begin(), buf_.begin() + static_cast<std::ptrdiff_t>(pos_));
    pos_ = 0;
  }
  buf_.insert(buf_.end(), data, data + len);
}

bool MpegFrameSync::Matches(const MpegHeader &a, const MpegHeader &b) const {
  return a.version == b.version && a.layer == b.layer && a.sampleRate == b.sampleRate;
}

bool MpegFrameSync::NextFrame(const uint8_t **frame, MpegHeader *header) {
  for (;;) {
    if (skip_) {
      size_t n = std::min(skip_, buf_.size() - pos_);
      skip_ -= n;
      pos_ += n;
      if (skip_)
        return false;
    }
    const size_t avail = buf_.size() - pos_;
    if (avail < 4)
      return false;
    const uint8_t *p = buf_.data() + pos_;
    if (p[0] == 'I') {
      if (avail < 10 && !end_ && p[1] == 'D' && (avail < 3 || p[2] == '3'))
        return false;
      if (size_t tag = Id3v2Size(p, avail)) {
        synced_ = false;
        skip_ = tag;
        continue;
      }
    }
    MpegHeader h;
    if (!ParseMpegHeader(p, &h) || (synced_ && !Matches(h, ref_))) {
      // Junk or damage: look for the next sync byte.
      synced_ = false;
      const uint8_t *next = static_cast<const uint8_t *>(memchr(p + 1, 0xFF, avail - 1));
      const uint8_t *id3 = static_cast<const uint8_t *>(memchr(p + 1, 'I', avail - 1));
      if (id3 && (!next || id3 < next))
        next = id3;
      size_t drop = next ? static_cast<size_t>(next - p) : avail;
      junk_ += drop;
      pos_ += drop;
      continue;
    }
    const size_t len = static_cast<size_t>(h.frameBytes);
    if (!synced_) {
      // Trust a new sync only when the next frame agrees (or the data ends).
      if (avail < len + 4) {
        if (!end_)
          return false;
        if (avail < len) {
          junk_ += avail;
          pos_ += avail;
          return false;
        }
      } else {
        MpegHeader h2;
        if (!ParseMpegHeader(p + len, &h2) || !Matches(h, h2)) {
          junk_ += 1;
          pos_ += 1;
          continue;
        }
      }
      synced_ = true;
      ref_ = h;
    } else if (avail < len) {
      if (end_) {
        junk_ += avail;
        pos_ += avail;
      }
      return false;
    }
    *frame = p;
    *header = h;
    pos_ += len;
    return true;
  }
}

} // namespace reggae
