// png.encoder: an ARGB32 picture on port 0 becomes a PNG file's bytes on
// port 1. Made by MediaBuildFromArgsTags("PNG", ...).
#include <cstring>
#include <mutex>
#include <new>

#include "reggae/picture_classes.h"

namespace reggae::pictures {
namespace {

struct Encoder {
  std::mutex lock;
  bool done = false;
  LONG failure = MMERR_OK;
  std::vector<uint8_t> png;
  size_t delivered = 0;
};

struct Data {
  Encoder *enc;
};

LONG Run(Object *obj, Encoder &e) {
  IPTR w = GetInputAttr(obj, 0, MMA_Video_Width), h = GetInputAttr(obj, 0, MMA_Video_Height);
  if (!w || !h)
    return InputPeer(obj, 0) ? MMERR_BAD_ARGUMENTS : MMERR_NOT_CONNECTED;
  if (GetInputAttr(obj, 0, MMA_PortFormat) != MMFC_VIDEO_ARGB32)
    return MMERR_UNSUPPORTED_FORMAT;
  if (!PictureFits(w, h))
    return MMERR_TOO_LARGE;
  const size_t size = size_t(w) * h * 4;
  std::vector<uint8_t> pixels;
  try {
    pixels.resize(size);
  } catch (const std::bad_alloc &) {
    return MMERR_NO_MEMORY;
  }
  size_t have = 0;
  while (have < size) {
    LONG chunk = LONG(std::min<size_t>(size - have, 1u << 30));
    LONG got = PullInput(obj, 0, pixels.data() + have, chunk);
    if (got > 0)
      have += size_t(got);
    if (got < chunk) {
      LONG why = InputError(obj, 0);
      if (why != MMERR_OK || got <= 0)
        return why == MMERR_OK || why == MMERR_END_OF_DATA ? MMERR_CORRUPT_DATA : why;
    }
  }
  return MediaErrorOf(EncodePng(pixels.data(), uint32_t(w), uint32_t(h), size_t(w) * 4, e.png));
}

IPTR Dispatcher(IClass *cl, Object *obj, Msg msg) {
  auto *d = obj && msg->MethodID != OM_NEW ? static_cast<Data *>(INST_DATA(cl, obj)) : nullptr;
  switch (msg->MethodID) {
  case OM_NEW: {
    TagItem *tags = reinterpret_cast<opSet *>(msg)->ops_AttrList;
    auto *enc = new (std::nothrow) Encoder;
    if (!enc) {
      SetCreateError(tags, MMERR_NO_MEMORY);
      return 0;
    }
    auto *o = reinterpret_cast<Object *>(DoSuperMethodA(cl, obj, msg));
    if (!o) {
      delete enc;
      return 0;
    }
    static_cast<Data *>(INST_DATA(cl, o))->enc = enc;
    return reinterpret_cast<IPTR>(o);
  }
  case OM_DISPOSE:
    delete d->enc;
    d->enc = nullptr;
    break;
  case MMM_GetPort: {
    auto *m = reinterpret_cast<mmpGetPort *>(msg);
    if (!d->enc || m->Port != 1 || !m->Place || m->Attribute != MMA_PortFormat)
      break;
    *m->Place = MMFC_PICTURE_PNG;
    return TRUE;
  }
  case MMM_Pull: {
    auto *m = reinterpret_cast<mmpPull *>(msg);
    Encoder *e = d->enc;
    if (!e || m->Port != 1 || (!m->Buffer && m->Length))
      break;
    std::lock_guard guard(e->lock);
    if (!e->done) {
      e->done = true;
      e->failure = Run(obj, *e);
    }
    size_t n = 0;
    if (e->failure == MMERR_OK) {
      n = std::min<size_t>(m->Length, e->png.size() - e->delivered);
      if (n)
        std::memcpy(m->Buffer, e->png.data() + e->delivered, n);
      e->delivered += n;
    }
    if (n < m->Length)
      SetPortError(obj, 1, e->failure != MMERR_OK ? e->failure : MMERR_END_OF_DATA);
    return n;
  }
  default: break;
  }
  return DoSuperMethodA(cl, obj, msg);
}

IClass *Class() {
  static IClass *const cls = MakeMediaClass("png.encoder", PortLayout::Filter, sizeof(Data), Dispatcher);
  return cls;
}

} // namespace

Object *NewPngEncoder(TagItem *tags) {
  IClass *cl = Class();
  if (!cl) {
    SetCreateError(tags, MMERR_NO_MEMORY);
    return nullptr;
  }
  // Only the error place is meant for the encoder itself.
  TagArray own(MMA_ErrorCode, GetTagData(MMA_ErrorCode, 0, tags));
  return NewObjectA(cl, nullptr, own.items());
}

} // namespace reggae::pictures
