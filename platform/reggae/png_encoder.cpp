// png.encoder: an ARGB32 picture on port 0 becomes a PNG file's bytes on
// port 1. Made by MediaBuildFromArgsTags("PNG", ...).
#include <new>

#include "reggae/media_class.h"
#include "reggae/picture_classes.h"

namespace reggae::pictures {
namespace {

LONG Run(Object *obj, std::vector<uint8_t> &png) {
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
  return MediaErrorOf(EncodePng(pixels.data(), uint32_t(w), uint32_t(h), size_t(w) * 4, png));
}

struct Encoder {
  static constexpr auto kBadPull = BadPull::PassedOn;

  MadeOnce png;

  bool GetPort(Object *, ULONG port, IPTR attr, IPTR &place) {
    if (port != 1 || attr != MMA_PortFormat)
      return false;
    place = MMFC_PICTURE_PNG;
    return true;
  }

  IPTR Pull(Object *obj, UBYTE *buf, IPTR len) {
    return png.Pull(obj, buf, len, [obj](std::vector<uint8_t> &out) { return Run(obj, out); });
  }
};

IClass *Class() {
  static IClass *const cls = MediaClass<Encoder, PortLayout::Filter>::Make("png.encoder");
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
