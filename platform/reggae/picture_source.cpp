// picture.source: a decoded picture on port 0, 32-bit A R G B, top row first.
//
// The file is decoded when pulled. A pull of the whole picture at once (what
// every caller does) decodes straight into the caller's buffer, so the
// pixels exist once; smaller pulls are served from a decoded copy.
#include <algorithm>
#include <cstring>
#include <mutex>
#include <new>

#include "reggae/picture_classes.h"

namespace reggae::pictures {
namespace {

struct PictureSource {
  std::mutex lock;
  std::vector<uint8_t> file;
  PictureInfo info;     // as decoded: shrunk when asked for
  uint32_t shrink = 1;
  size_t total = 0;     // width * height * 4
  bool decoded = false;
  size_t valid = 0;     // bytes of good pixels (all, unless the data was damaged)
  LONG failure = MMERR_OK;
  std::vector<uint8_t> pixels; // only for pulls in pieces
  size_t delivered = 0;
};

struct Data {
  PictureSource *src;
};

IClass *Class();

LONG Pull(PictureSource &s, Object *obj, uint8_t *buf, size_t len) {
  std::lock_guard guard(s.lock);
  auto finish = [&](size_t n) {
    if (n < len)
      SetPortError(obj, 0, s.failure != MMERR_OK ? s.failure : MMERR_END_OF_DATA);
    return LONG(n);
  };
  if (!s.decoded) {
    s.decoded = true;
    uint32_t rows = 0;
    PictureError e;
    if (s.delivered == 0 && len >= s.total) {
      e = DecodePicture(s.file.data(), s.file.size(), buf, len, rows, s.shrink);
      s.valid = size_t(rows) * s.info.width * 4;
      s.delivered = s.valid;
      s.failure = MediaErrorOf(e);
      std::vector<uint8_t>().swap(s.file);
      return finish(s.valid);
    }
    try {
      s.pixels.resize(s.total);
      e = DecodePicture(s.file.data(), s.file.size(), s.pixels.data(), s.pixels.size(), rows, s.shrink);
    } catch (const std::bad_alloc &) {
      e = PictureError::NoMemory;
    }
    s.valid = size_t(rows) * s.info.width * 4;
    s.failure = MediaErrorOf(e);
    std::vector<uint8_t>().swap(s.file);
  }
  size_t n = 0;
  if (s.delivered < s.valid && s.pixels.size() >= s.valid) {
    n = std::min(len, s.valid - s.delivered);
    std::memcpy(buf, s.pixels.data() + s.delivered, n);
    s.delivered += n;
  }
  return finish(n);
}

IPTR Dispatcher(IClass *cl, Object *obj, Msg msg) {
  switch (msg->MethodID) {
  case OM_DISPOSE: {
    auto *d = static_cast<Data *>(INST_DATA(cl, obj));
    delete d->src;
    d->src = nullptr;
    break;
  }
  case MMM_GetPort: {
    auto *m = reinterpret_cast<mmpGetPort *>(msg);
    auto *s = static_cast<Data *>(INST_DATA(cl, obj))->src;
    if (!s || m->Port != 0 || !m->Place)
      break;
    switch (m->Attribute) {
    case MMA_Video_Width: *m->Place = s->info.width; return TRUE;
    case MMA_Video_Height: *m->Place = s->info.height; return TRUE;
    case MMA_Video_BytesPerRow: *m->Place = IPTR(s->info.width) * 4; return TRUE;
    case MMA_PortFormat: *m->Place = MMFC_VIDEO_ARGB32; return TRUE;
    case MMA_StreamLength: *m->Place = s->total; return TRUE;
    default: break;
    }
    break;
  }
  case MMM_Pull: {
    auto *m = reinterpret_cast<mmpPull *>(msg);
    auto *s = static_cast<Data *>(INST_DATA(cl, obj))->src;
    if (!s || m->Port != 0 || (!m->Buffer && m->Length))
      break;
    return IPTR(Pull(*s, obj, static_cast<uint8_t *>(m->Buffer), m->Length));
  }
  default: break;
  }
  return DoSuperMethodA(cl, obj, msg);
}

IClass *Class() {
  static IClass *const cls = MakeMediaClass("picture.source", PortLayout::Source, sizeof(Data), Dispatcher);
  return cls;
}

} // namespace

LONG MediaErrorOf(PictureError e) {
  switch (e) {
  case PictureError::None: return MMERR_OK;
  case PictureError::Unsupported: return MMERR_UNSUPPORTED_FORMAT;
  case PictureError::Corrupt:
  case PictureError::Truncated: return MMERR_CORRUPT_DATA;
  case PictureError::TooLarge: return MMERR_TOO_LARGE;
  case PictureError::NoMemory: return MMERR_NO_MEMORY;
  }
  return MMERR_CORRUPT_DATA;
}

Object *NewPictureSource(std::vector<uint8_t> &&file, TagItem *tags) {
  auto *s = new (std::nothrow) PictureSource;
  if (!s) {
    SetCreateError(tags, MMERR_NO_MEMORY);
    return nullptr;
  }
  if (PictureError e = ReadPictureInfo(file.data(), file.size(), s->info); e != PictureError::None) {
    delete s;
    SetCreateError(tags, MediaErrorOf(e));
    return nullptr;
  }
  const auto minW = uint32_t(std::min<IPTR>(GetTagData(MMA_Picture_MinWidth, 0, tags), kMaxPictureSide + 1));
  const auto minH = uint32_t(std::min<IPTR>(GetTagData(MMA_Picture_MinHeight, 0, tags), kMaxPictureSide + 1));
  if (minW && minH) {
    s->shrink = ShrinkOnLoad(s->info, minW, minH);
    s->info = ShrunkInfo(s->info, s->shrink);
  }
  s->total = size_t(s->info.width) * s->info.height * 4;
  s->file = std::move(file);
  LONG err = MMERR_OK;
  TagArray own(MMA_ErrorCode, &err);
  Object *obj = Class() ? NewObjectA(Class(), nullptr, own.items()) : nullptr;
  if (!obj) {
    delete s;
    SetCreateError(tags, err != MMERR_OK ? err : MMERR_NO_MEMORY);
    return nullptr;
  }
  static_cast<Data *>(INST_DATA(Class(), obj))->src = s;
  SetCreateError(tags, MMERR_OK);
  return obj;
}

} // namespace reggae::pictures
