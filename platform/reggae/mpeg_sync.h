// MPEG audio frame sync (MPEG-1, 2 and 2.5, Layers I-III) with no I/O:
// bytes go in, whole checked frames come out. ID3v2 tags and junk between
// frames are skipped; after damage the parser looks for two frames in a row
// that agree before it trusts the stream again.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace reggae {

struct MpegHeader {
  int version = 0;    // 10 = MPEG-1, 20 = MPEG-2, 25 = MPEG-2.5
  int layer = 0;      // 1..3
  int bitrate = 0;    // kbit/s
  int sampleRate = 0; // Hz
  int channels = 0;
  int frameBytes = 0; // whole frame, header included
  int samples = 0;    // per channel
};

// Reads the 4 header bytes at p; false for anything that is not a frame
// header we can decode (free format and reserved values included).
bool ParseMpegHeader(const uint8_t *p, MpegHeader *out);

// Size of an ID3v2 tag starting at p (header, body and footer), 0 when p
// does not start one; needs 10 bytes.
size_t Id3v2Size(const uint8_t *p, size_t avail);

class MpegFrameSync {
public:
  static constexpr size_t kMaxFrame = 8192;

  void Push(const uint8_t *data, size_t len);
  // No more input: the last frame is taken without a following header.
  void SetEnd() { end_ = true; }
  // The next whole frame; the pointer stays valid until the next Push or
  // NextFrame. False when more input is needed (or at the end).
  bool NextFrame(const uint8_t **frame, MpegHeader *header);
  // Bytes dropped as junk so far (not counting ID3 tags).
  uint64_t JunkBytes() const { return junk_; }

private:
  bool Matches(const MpegHeader &a, const MpegHeader &b) const;
  std::vector<uint8_t> buf_;
  size_t pos_ = 0;
  size_t skip_ = 0; // bytes of an ID3 tag still to drop
  bool synced_ = false;
  bool end_ = false;
  MpegHeader ref_;
  uint64_t junk_ = 0;
};

} // namespace reggae
