// mpegaudio.decoder: MPEG audio frames in, signed 16-bit PCM out, on
// libmpg123 in feed mode (this file is the only user of libmpg123).
#include <mpg123.h>

#include <atomic>
#include <mutex>

#include "reggae/media_class.h"

namespace {

using namespace reggae;

constexpr LONG kChunk = 8192;
constexpr int kMaxErrorsInRow = 64;

struct Decoder {
  static constexpr auto kBadPull = BadPull::Fails;

  mpg123_handle *mh = nullptr;
  UBYTE chunk[kChunk];
  LONG inputEnd = MMERR_OK;
  int errorsInRow = 0;
  std::atomic<int> sampleRate{0}, channels{0};

  ~Decoder() {
    if (mh) {
      mpg123_close(mh);
      mpg123_delete(mh);
    }
  }

  LONG Create(Object *, TagItem *) { return Open() ? MMERR_OK : MMERR_NOT_SUPPORTED; }

  bool Open() {
    static std::once_flag once;
    std::call_once(once, [] {
#if MPG123_API_VERSION < 46
      mpg123_init();
#endif
    });
    int err = MPG123_OK;
    mh = mpg123_new(nullptr, &err);
    if (!mh)
      return false;
    mpg123_param(mh, MPG123_ADD_FLAGS, MPG123_QUIET, 0.0);
    mpg123_param(mh, MPG123_RESYNC_LIMIT, -1, 0.0);
    // One output encoding for every rate, so the output never has to convert.
    mpg123_format_none(mh);
    const long *rates = nullptr;
    size_t count = 0;
    mpg123_rates(&rates, &count);
    for (size_t i = 0; i < count; ++i)
      mpg123_format(mh, rates[i], MPG123_MONO | MPG123_STEREO, MPG123_ENC_SIGNED_16);
    return mpg123_open_feed(mh) == MPG123_OK;
  }

  LONG Pull(Object *obj, UBYTE *buf, LONG len) {
    len &= ~3; // whole samples only
    LONG got = 0;
    while (got < len) {
      size_t done = 0;
      int r = mpg123_read(mh, buf + got, static_cast<size_t>(len - got), &done);
      got += static_cast<LONG>(done);
      if (done)
        errorsInRow = 0;
      switch (r) {
      case MPG123_NEW_FORMAT: {
        long rate = 0;
        int ch = 0, enc = 0;
        mpg123_getformat(mh, &rate, &ch, &enc);
        const bool changed = rate != sampleRate || ch != channels;
        sampleRate = static_cast<int>(rate);
        channels = ch;
        // PCM of another format must not share a pull with the earlier one.
        if (changed && got > 0)
          return got;
        continue;
      }
      case MPG123_OK:
      case MPG123_DONE: continue;
      case MPG123_NEED_MORE: {
        if (inputEnd != MMERR_OK) {
          SetPortError(obj, 1, sampleRate == 0 && inputEnd == MMERR_END_OF_DATA ? MMERR_UNSUPPORTED_FORMAT : inputEnd);
          return got;
        }
        LONG n = PullInput(obj, 0, chunk, kChunk);
        if (n > 0)
          mpg123_feed(mh, chunk, static_cast<size_t>(n));
        if (n < kChunk) {
          LONG err = InputError(obj, 0);
          if (err != MMERR_OK)
            inputEnd = err;
        }
        continue;
      }
      default:
        if (++errorsInRow > kMaxErrorsInRow) {
          SetPortError(obj, 1, MMERR_CORRUPT_DATA);
          return got;
        }
        continue;
      }
    }
    return got;
  }

  bool GetPort(Object *, ULONG port, IPTR attr, IPTR &place) {
    return port == 1 && SoundAttribute(attr, MMFC_AUDIO_INT16, sampleRate, channels, place);
  }
};

[[maybe_unused]] IClass *const gClass = MediaClass<Decoder, PortLayout::Filter>::Register("mpegaudio.decoder");

} // namespace
