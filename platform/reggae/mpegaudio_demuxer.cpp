// mpegaudio.demuxer: finds the MPEG audio frames in a byte stream and passes
// on only whole, checked frames (ID3 tags and junk dropped).
#include <algorithm>
#include <atomic>
#include <cstring>
#include <vector>

#include "reggae/mpeg_sync.h"
#include "reggae/reggae.h"

namespace {

using namespace reggae;

constexpr LONG kChunk = 4096;
constexpr uint64_t kMaxJunkRun = 256 * 1024; // junk in a row before we give up

struct Demux {
  MpegFrameSync sync;
  std::vector<UBYTE> frame; // rest of the frame being delivered
  size_t framePos = 0;
  UBYTE chunk[kChunk];
  LONG inputEnd = MMERR_OK;
  bool anyFrame = false;
  uint64_t junkAtLastFrame = 0;
  std::atomic<int> sampleRate{0}, channels{0}, bitrate{0};
};

struct DxData {
  Demux *d;
};

LONG Pull(Object *obj, Demux *d, UBYTE *buf, LONG len) {
  LONG got = 0;
  while (got < len) {
    if (d->framePos < d->frame.size()) {
      size_t n = std::min(d->frame.size() - d->framePos, static_cast<size_t>(len - got));
      std::memcpy(buf + got, d->frame.data() + d->framePos, n);
      d->framePos += n;
      got += static_cast<LONG>(n);
      continue;
    }
    const UBYTE *f;
    MpegHeader h;
    if (d->sync.NextFrame(&f, &h)) {
      d->frame.assign(f, f + h.frameBytes);
      d->framePos = 0;
      d->anyFrame = true;
      d->junkAtLastFrame = d->sync.JunkBytes();
      d->sampleRate = h.sampleRate;
      d->channels = h.channels;
      d->bitrate = h.bitrate;
      continue;
    }
    if (d->sync.JunkBytes() - d->junkAtLastFrame > kMaxJunkRun) {
      SetPortError(obj, 1, d->anyFrame ? MMERR_CORRUPT_DATA : MMERR_UNSUPPORTED_FORMAT);
      break;
    }
    if (d->inputEnd != MMERR_OK) {
      // Everything that was in the input is out.
      SetPortError(obj, 1, d->anyFrame || d->inputEnd != MMERR_END_OF_DATA ? d->inputEnd : MMERR_UNSUPPORTED_FORMAT);
      break;
    }
    LONG n = PullInput(obj, 0, d->chunk, kChunk);
    if (n > 0)
      d->sync.Push(d->chunk, static_cast<size_t>(n));
    if (n < kChunk) {
      LONG err = InputError(obj, 0);
      if (err != MMERR_OK) {
        d->inputEnd = err;
        d->sync.SetEnd();
      }
    }
  }
  return got;
}

IPTR DxDispatcher(IClass *cl, Object *obj, Msg msg) {
  switch (msg->MethodID) {
  case OM_NEW: {
    auto *m = reinterpret_cast<opSet *>(msg);
    auto *o = reinterpret_cast<Object *>(DoSuperMethodA(cl, obj, msg));
    if (!o)
      return 0;
    auto *data = static_cast<DxData *>(INST_DATA(cl, o));
    data->d = new (std::nothrow) Demux;
    if (!data->d) {
      SetCreateError(m->ops_AttrList, MMERR_NO_MEMORY);
      CoerceMethod(cl, o, OM_DISPOSE);
      return 0;
    }
    return reinterpret_cast<IPTR>(o);
  }
  case OM_DISPOSE: {
    auto *data = static_cast<DxData *>(INST_DATA(cl, obj));
    delete data->d;
    data->d = nullptr;
    break;
  }
  case MMM_Pull: {
    auto *m = reinterpret_cast<mmpPull *>(msg);
    auto *data = static_cast<DxData *>(INST_DATA(cl, obj));
    if (m->Port != 1 || !data->d || !m->Buffer || static_cast<SIPTR>(m->Length) < 0) {
      SetPortError(obj, 1, MMERR_BAD_ARGUMENTS);
      return 0;
    }
    return static_cast<IPTR>(Pull(obj, data->d, static_cast<UBYTE *>(m->Buffer),
                                  static_cast<LONG>(std::min<IPTR>(m->Length, 0x7FFFFFFF))));
  }
  case MMM_GetPort: {
    auto *m = reinterpret_cast<mmpGetPort *>(msg);
    auto *data = static_cast<DxData *>(INST_DATA(cl, obj));
    if (!m->Place || !data->d || m->Port != 1)
      break;
    switch (m->Attribute) {
    case MMA_PortFormat: *m->Place = MMFC_AUDIO_MPEG; return TRUE;
    case MMA_Sound_SampleRate: *m->Place = static_cast<IPTR>(data->d->sampleRate.load()); return TRUE;
    case MMA_Sound_Channels: *m->Place = static_cast<IPTR>(data->d->channels.load()); return TRUE;
    case MMA_Sound_BitRate: *m->Place = static_cast<IPTR>(data->d->bitrate.load()); return TRUE;
    default: break;
    }
    break;
  }
  default: break;
  }
  return DoSuperMethodA(cl, obj, msg);
}

struct Registration {
  Registration() {
    MakeMediaClass("mpegaudio.demuxer", PortLayout::Filter, sizeof(DxData), DxDispatcher);
    platform::RegisterLibrary("multimedia/mpegaudio.demuxer", 52, 0, "mpegaudio.demuxer 52.0");
  }
} gRegistration;

} // namespace
