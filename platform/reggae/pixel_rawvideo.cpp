// rawvideo.filter: raw bytes on port 0 become a picture of the width and
// height given at creation on port 1, in the pixel format set on port 1.
#include <mutex>
#include <new>

#include "reggae/picture_decode.h"
#include "reggae/reggae.h"

using namespace reggae;

namespace {

struct RawVideo {
  std::mutex lock;
  uint32_t width = 0, height = 0;
  IPTR format = MMFC_VIDEO_ARGB32; // the only one we carry
  size_t total = 0;
  size_t delivered = 0;
};

struct Data {
  RawVideo *rv;
};

IPTR Dispatcher(IClass *cl, Object *obj, Msg msg) {
  auto *d = obj && msg->MethodID != OM_NEW ? static_cast<Data *>(INST_DATA(cl, obj)) : nullptr;
  switch (msg->MethodID) {
  case OM_NEW: {
    TagItem *tags = reinterpret_cast<opSet *>(msg)->ops_AttrList;
    IPTR w = GetTagData(MMA_Video_Width, 0, tags), h = GetTagData(MMA_Video_Height, 0, tags);
    if (!w || !h) {
      SetCreateError(tags, MMERR_BAD_ARGUMENTS);
      return 0;
    }
    if (!pictures::PictureFits(w, h)) {
      SetCreateError(tags, MMERR_TOO_LARGE);
      return 0;
    }
    auto *rv = new (std::nothrow) RawVideo;
    if (!rv) {
      SetCreateError(tags, MMERR_NO_MEMORY);
      return 0;
    }
    rv->width = uint32_t(w);
    rv->height = uint32_t(h);
    rv->total = size_t(w) * h * 4;
    auto *o = reinterpret_cast<Object *>(DoSuperMethodA(cl, obj, msg));
    if (!o) {
      delete rv;
      return 0;
    }
    static_cast<Data *>(INST_DATA(cl, o))->rv = rv;
    return reinterpret_cast<IPTR>(o);
  }
  case OM_DISPOSE:
    delete d->rv;
    d->rv = nullptr;
    break;
  case MMM_GetPort: {
    auto *m = reinterpret_cast<mmpGetPort *>(msg);
    if (!d->rv || m->Port != 1 || !m->Place)
      break;
    switch (m->Attribute) {
    case MMA_Video_Width: *m->Place = d->rv->width; return TRUE;
    case MMA_Video_Height: *m->Place = d->rv->height; return TRUE;
    case MMA_Video_BytesPerRow: *m->Place = IPTR(d->rv->width) * 4; return TRUE;
    case MMA_PortFormat: *m->Place = d->rv->format; return TRUE;
    case MMA_StreamLength: *m->Place = d->rv->total; return TRUE;
    default: break;
    }
    break;
  }
  case MMM_SetPort: {
    auto *m = reinterpret_cast<mmpSetPort *>(msg);
    if (d->rv && m->Port == 1 && m->Attribute == MMA_PortFormat)
      return m->Value == MMFC_VIDEO_ARGB32;
    break;
  }
  case MMM_Pull: {
    auto *m = reinterpret_cast<mmpPull *>(msg);
    RawVideo *rv = d->rv;
    if (!rv || m->Port != 1 || (!m->Buffer && m->Length))
      break;
    std::lock_guard guard(rv->lock);
    size_t want = std::min<size_t>(m->Length, rv->total - rv->delivered);
    LONG got = want ? PullInput(obj, 0, m->Buffer, LONG(want)) : 0;
    if (got < 0)
      got = 0;
    rv->delivered += size_t(got);
    if (size_t(got) < m->Length) {
      // The picture is complete, or the input ended early and says why.
      LONG why = size_t(got) < want ? InputError(obj, 0) : MMERR_END_OF_DATA;
      SetPortError(obj, 1, why != MMERR_OK ? why : MMERR_END_OF_DATA);
    }
    return IPTR(got);
  }
  default: break;
  }
  return DoSuperMethodA(cl, obj, msg);
}

IClass *const gClass = MakeMediaClass("rawvideo.filter", PortLayout::Filter, sizeof(Data), Dispatcher);
Library *const gLibrary = platform::RegisterLibrary("multimedia/rawvideo.filter", 52, 0, "rawvideo.filter 52.0");

} // namespace
