// memory.stream: a block of memory given by the caller, as a stream on port 0.
// The block stays the caller's and must outlive the object.
#include <cstring>
#include <mutex>
#include <new>

#include "reggae/reggae.h"

using namespace reggae;

namespace {

struct MemoryStream {
  std::mutex lock;
  const uint8_t *data = nullptr;
  size_t length = 0;
  size_t pos = 0;
};

struct Data {
  MemoryStream *ms;
};

IPTR Dispatcher(IClass *cl, Object *obj, Msg msg) {
  auto *d = obj && msg->MethodID != OM_NEW ? static_cast<Data *>(INST_DATA(cl, obj)) : nullptr;
  switch (msg->MethodID) {
  case OM_NEW: {
    TagItem *tags = reinterpret_cast<opSet *>(msg)->ops_AttrList;
    auto handle = reinterpret_cast<const uint8_t *>(GetTagData(MMA_StreamHandle, 0, tags));
    auto len = reinterpret_cast<const QUAD *>(GetTagData(MMA_StreamLength, 0, tags));
    if (!handle || !len || *len < 0 || (*len == 0 && handle == nullptr)) {
      SetCreateError(tags, MMERR_BAD_ARGUMENTS);
      return 0;
    }
    auto *ms = new (std::nothrow) MemoryStream;
    if (!ms) {
      SetCreateError(tags, MMERR_NO_MEMORY);
      return 0;
    }
    ms->data = handle;
    ms->length = size_t(*len);
    auto *o = reinterpret_cast<Object *>(DoSuperMethodA(cl, obj, msg));
    if (!o) {
      delete ms;
      return 0;
    }
    static_cast<Data *>(INST_DATA(cl, o))->ms = ms;
    return reinterpret_cast<IPTR>(o);
  }
  case OM_DISPOSE:
    delete d->ms;
    d->ms = nullptr;
    break;
  case MMM_GetPort: {
    auto *m = reinterpret_cast<mmpGetPort *>(msg);
    if (!d->ms || m->Port != 0 || !m->Place)
      break;
    if (m->Attribute == MMA_StreamLength) {
      *m->Place = d->ms->length;
      return TRUE;
    }
    if (m->Attribute == MMA_PortFormat) {
      *m->Place = MMFC_STREAM;
      return TRUE;
    }
    break;
  }
  case MMM_Pull: {
    auto *m = reinterpret_cast<mmpPull *>(msg);
    MemoryStream *ms = d->ms;
    if (!ms || m->Port != 0 || (!m->Buffer && m->Length))
      break;
    std::lock_guard guard(ms->lock);
    size_t n = std::min<size_t>(m->Length, ms->length - ms->pos);
    if (n)
      std::memcpy(m->Buffer, ms->data + ms->pos, n);
    ms->pos += n;
    if (n < m->Length)
      SetPortError(obj, 0, MMERR_END_OF_DATA);
    return n;
  }
  default: break;
  }
  return DoSuperMethodA(cl, obj, msg);
}

IClass *const gClass = MakeMediaClass("memory.stream", PortLayout::Source, sizeof(Data), Dispatcher);
Library *const gLibrary = platform::RegisterLibrary("multimedia/memory.stream", 52, 0, "memory.stream 52.0");

} // namespace
