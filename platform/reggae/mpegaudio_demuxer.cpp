// mpegaudio.demuxer: finds the MPEG audio frames in a byte stream and passes
// on only whole, checked frames (ID3 tags and junk dropped).
#include <algorithm>
#include <atomic>
#include <cstring>
#include <vector>

#include "reggae/mpeg_sync.h"
#include "reggae/media_class.h"

namespace {

using namespace reggae;

constexpr LONG kChunk = 4096;
constexpr uint64_t kMaxJunkRun = 256 * 1024; // junk in a row before we give up

struct Demux {
  static constexpr auto kBadPull = BadPull::Fails;

  MpegFrameSync sync;
  std::vector<UBYTE> frame; // rest of the frame being delivered
  size_t framePos = 0;
  UBYTE chunk[kChunk];
  LONG inputEnd = MMERR_OK;
  bool anyFrame = false;
  uint64_t junkAtLastFrame = 0;
  std::atomic<int> sampleRate{0}, channels{0}, bitrate{0};

  LONG Pull(Object *obj, UBYTE *buf, LONG len) {
    LONG got = 0;
    while (got < len) {
      if (framePos < frame.size()) {
        size_t n = std::min(frame.size() - framePos, static_cast<size_t>(len - got));
        std::memcpy(buf + got, frame.data() + framePos, n);
        framePos += n;
        got += static_cast<LONG>(n);
        continue;
      }
      const UBYTE *f;
      MpegHeader h;
      if (sync.NextFrame(&f, &h)) {
        frame.assign(f, f + h.frameBytes);
        framePos = 0;
        anyFrame = true;
        junkAtLastFrame = sync.JunkBytes();
        sampleRate = h.sampleRate;
        channels = h.channels;
        bitrate = h.bitrate;
        continue;
      }
      if (sync.JunkBytes() - junkAtLastFrame > kMaxJunkRun) {
        SetPortError(obj, 1, anyFrame ? MMERR_CORRUPT_DATA : MMERR_UNSUPPORTED_FORMAT);
        break;
      }
      if (inputEnd != MMERR_OK) {
        // Everything that was in the input is out.
        SetPortError(obj, 1, anyFrame || inputEnd != MMERR_END_OF_DATA ? inputEnd : MMERR_UNSUPPORTED_FORMAT);
        break;
      }
      LONG n = PullInput(obj, 0, chunk, kChunk);
      if (n > 0)
        sync.Push(chunk, static_cast<size_t>(n));
      if (n < kChunk) {
        LONG err = InputError(obj, 0);
        if (err != MMERR_OK) {
          inputEnd = err;
          sync.SetEnd();
        }
      }
    }
    return got;
  }

  bool GetPort(Object *, ULONG port, IPTR attr, IPTR &place) {
    if (port != 1)
      return false;
    if (attr == MMA_Sound_BitRate) {
      place = static_cast<IPTR>(bitrate.load());
      return true;
    }
    return SoundAttribute(attr, MMFC_AUDIO_MPEG, sampleRate, channels, place);
  }
};

[[maybe_unused]] IClass *const gClass = MediaClass<Demux, PortLayout::Filter>::Register("mpegaudio.demuxer");

} // namespace
