// picture.source: a decoded picture on port 0, 32-bit A R G B, top row first.
//
// The file is decoded when pulled. A pull of the whole picture at once (what
// every caller does) decodes straight into the caller's buffer, so the
// pixels exist once; smaller pulls are served from a decoded copy.
#include <algorithm>
#include <cstring>
#include <mutex>
#include <new>

#include "reggae/media_class.h"
#include "reggae/picture_classes.h"

namespace reggae::pictures {
namespace {

struct PictureSource {
  static constexpr auto kBadPull = BadPull::PassedOn;

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

  bool GetPort(Object *, ULONG port, IPTR attr, IPTR &place) {
    return port == 0 && PictureAttribute(attr, info.width, info.height, MMFC_VIDEO_ARGB32, place);
  }

  IPTR Pull(Object *obj, UBYTE *buf, IPTR len);
};

LONG Deliver(PictureSource &s, Object *obj, uint8_t *buf, size_t len) {
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

IPTR PictureSource::Pull(Object *obj, UBYTE *buf, IPTR len) { return IPTR(Deliver(*this, obj, buf, len)); }

IClass *Class() {
  static IClass *const cls = MediaClass<PictureSource, PortLayout::Source>::Make("picture.source");
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
  PictureInfo info;
  if (PictureError e = ReadPictureInfo(file.data(), file.size(), info); e != PictureError::None) {
    SetCreateError(tags, MediaErrorOf(e));
    return nullptr;
  }
  uint32_t shrink = 1;
  const auto minW = uint32_t(std::min<IPTR>(GetTagData(MMA_Picture_MinWidth, 0, tags), kMaxPictureSide + 1));
  const auto minH = uint32_t(std::min<IPTR>(GetTagData(MMA_Picture_MinHeight, 0, tags), kMaxPictureSide + 1));
  if (minW && minH) {
    shrink = ShrinkOnLoad(info, minW, minH);
    info = ShrunkInfo(info, shrink);
  }
  LONG err = MMERR_OK;
  TagArray own(MMA_ErrorCode, &err);
  Object *obj = Class() ? NewObjectA(Class(), nullptr, own.items()) : nullptr;
  if (!obj) {
    SetCreateError(tags, err != MMERR_OK ? err : MMERR_NO_MEMORY);
    return nullptr;
  }
  PictureSource &s = *MediaClass<PictureSource, PortLayout::Source>::Part(Class(), obj);
  s.info = info;
  s.shrink = shrink;
  s.total = size_t(info.width) * info.height * 4;
  s.file = std::move(file);
  SetCreateError(tags, MMERR_OK);
  return obj;
}

} // namespace reggae::pictures
