// shoutcast.demuxer: removes the in-band metadata of an ICY stream and keeps
// the latest StreamTitle for MMM_QueryMetaData.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>

#include "reggae/icy_meta.h"
#include "reggae/reggae.h"

namespace {

using namespace reggae;

constexpr SIPTR kMaxMetaInterval = 16 * 1024 * 1024;

struct Demux {
  explicit Demux(size_t metaint) : parser(metaint) {}
  IcyMetaParser parser; // used by the puller only
  uint64_t seenSerial = 0;
  std::mutex titleMtx;
  std::string title; // guarded by titleMtx
  bool hasTitle = false;
};

struct ScData {
  Demux *d;
};

// One block: the outer list, the title's sub-list, then the text.
struct MetaBlock {
  TagItem outer[2];
  TagItem sub[6];
  char text[1];
};

TagItem *MakeMeta(const std::string &title) {
  void *mem = std::calloc(1, sizeof(MetaBlock) + title.size());
  if (!mem)
    return nullptr;
  auto *b = static_cast<MetaBlock *>(mem);
  std::memcpy(b->text, title.data(), title.size());
  b->text[title.size()] = 0;
  const size_t chars = std::strlen(b->text);
  b->sub[0] = {MMETA_Data, reinterpret_cast<IPTR>(b->text)};
  b->sub[1] = {MMETA_Size, chars + 1};
  b->sub[2] = {MMETA_CharCount, chars};
  b->sub[3] = {MMETA_Type, MMETA_TYPE_STRING};
  b->sub[4] = {MMETA_Importance, 0};
  b->sub[5] = {TAG_DONE, 0};
  b->outer[0] = {MMETA_Title, reinterpret_cast<IPTR>(b->sub)};
  b->outer[1] = {TAG_DONE, 0};
  return b->outer;
}

LONG Pull(Object *obj, Demux *d, UBYTE *buf, LONG len) {
  LONG got = 0;
  while (got < len) {
    const LONG want = len - got;
    const LONG raw = PullInput(obj, 0, buf + got, want);
    const size_t audio = d->parser.Process(buf + got, static_cast<size_t>(std::max<LONG>(raw, 0)));
    got += static_cast<LONG>(audio);
    if (d->parser.TitleSerial() != d->seenSerial) {
      d->seenSerial = d->parser.TitleSerial();
      std::lock_guard lock(d->titleMtx);
      d->title = *d->parser.Title();
      d->hasTitle = true;
    }
    if (raw < want) {
      LONG err = InputError(obj, 0);
      if (err != MMERR_OK) {
        SetPortError(obj, 1, err);
        break;
      }
    }
  }
  return got;
}

IPTR ScDispatcher(IClass *cl, Object *obj, Msg msg) {
  switch (msg->MethodID) {
  case OM_NEW: {
    auto *m = reinterpret_cast<opSet *>(msg);
    auto *o = reinterpret_cast<Object *>(DoSuperMethodA(cl, obj, msg));
    if (!o)
      return 0;
    auto interval = static_cast<SIPTR>(GetTagData(MMA_Shoutcast_MetaInterval, 0, m->ops_AttrList));
    auto *data = static_cast<ScData *>(INST_DATA(cl, o));
    if (interval <= 0 || interval > kMaxMetaInterval) {
      SetCreateError(m->ops_AttrList, MMERR_BAD_ARGUMENTS);
      CoerceMethod(cl, o, OM_DISPOSE);
      return 0;
    }
    data->d = new (std::nothrow) Demux(static_cast<size_t>(interval));
    if (!data->d) {
      SetCreateError(m->ops_AttrList, MMERR_NO_MEMORY);
      CoerceMethod(cl, o, OM_DISPOSE);
      return 0;
    }
    return reinterpret_cast<IPTR>(o);
  }
  case OM_DISPOSE: {
    auto *data = static_cast<ScData *>(INST_DATA(cl, obj));
    delete data->d;
    data->d = nullptr;
    break;
  }
  case MMM_Pull: {
    auto *m = reinterpret_cast<mmpPull *>(msg);
    auto *data = static_cast<ScData *>(INST_DATA(cl, obj));
    if (m->Port != 1 || !data->d || !m->Buffer || static_cast<SIPTR>(m->Length) < 0) {
      SetPortError(obj, 1, MMERR_BAD_ARGUMENTS);
      return 0;
    }
    return static_cast<IPTR>(Pull(obj, data->d, static_cast<UBYTE *>(m->Buffer),
                                  static_cast<LONG>(std::min<IPTR>(m->Length, 0x7FFFFFFF))));
  }
  case MMM_QueryMetaData: {
    auto *data = static_cast<ScData *>(INST_DATA(cl, obj));
    if (!data->d)
      return 0;
    std::lock_guard lock(data->d->titleMtx);
    return data->d->hasTitle ? reinterpret_cast<IPTR>(MakeMeta(data->d->title)) : 0;
  }
  case MMM_DisposeMetaData:
    // The outer list is the start of its block.
    std::free(reinterpret_cast<void *>(reinterpret_cast<IPTR *>(msg)[1]));
    return 0;
  case MMM_GetPort: {
    auto *m = reinterpret_cast<mmpGetPort *>(msg);
    if (m->Place && m->Attribute == MMA_PortFormat) {
      *m->Place = MMFC_STREAM;
      return TRUE;
    }
    if (m->Place && m->Attribute == MMA_StreamBuffer_Fill) {
      *m->Place = GetInputAttr(obj, 0, MMA_StreamBuffer_Fill);
      return TRUE;
    }
    break;
  }
  default: break;
  }
  return DoSuperMethodA(cl, obj, msg);
}

struct Registration {
  Registration() {
    MakeMediaClass("shoutcast.demuxer", PortLayout::Filter, sizeof(ScData), ScDispatcher);
    platform::RegisterLibrary("multimedia/shoutcast.demuxer", 52, 0, "shoutcast.demuxer 52.0");
  }
} gRegistration;

} // namespace
