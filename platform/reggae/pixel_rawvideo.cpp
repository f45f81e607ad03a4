// rawvideo.filter: raw bytes on port 0 become a picture of the width and
// height given at creation on port 1, in the pixel format set on port 1.
#include <mutex>

#include "reggae/media_class.h"
#include "reggae/picture_decode.h"

using namespace reggae;

namespace {

struct RawVideo {
  static constexpr auto kBadPull = BadPull::PassedOn;

  std::mutex lock;
  uint32_t width = 0, height = 0;
  IPTR format = MMFC_VIDEO_ARGB32; // the only one we carry
  size_t total = 0;
  size_t delivered = 0;

  LONG Prepare(TagItem *tags) {
    IPTR w = GetTagData(MMA_Video_Width, 0, tags), h = GetTagData(MMA_Video_Height, 0, tags);
    if (!w || !h)
      return MMERR_BAD_ARGUMENTS;
    if (!pictures::PictureFits(w, h))
      return MMERR_TOO_LARGE;
    width = uint32_t(w);
    height = uint32_t(h);
    total = size_t(w) * h * 4;
    return MMERR_OK;
  }

  bool GetPort(Object *, ULONG port, IPTR attr, IPTR &place) {
    return port == 1 && PictureAttribute(attr, width, height, format, place);
  }

  bool SetPort(Object *, ULONG port, IPTR attr, IPTR value) {
    return port == 1 && attr == MMA_PortFormat && value == MMFC_VIDEO_ARGB32;
  }

  IPTR Pull(Object *obj, UBYTE *buf, IPTR len) {
    std::lock_guard guard(lock);
    size_t want = std::min<size_t>(len, total - delivered);
    LONG got = want ? PullInput(obj, 0, buf, LONG(want)) : 0;
    if (got < 0)
      got = 0;
    delivered += size_t(got);
    if (size_t(got) < len) {
      // The picture is complete, or the input ended early and says why.
      LONG why = size_t(got) < want ? InputError(obj, 0) : MMERR_END_OF_DATA;
      SetPortError(obj, 1, why != MMERR_OK ? why : MMERR_END_OF_DATA);
    }
    return IPTR(got);
  }
};

[[maybe_unused]] IClass *const gClass = MediaClass<RawVideo, PortLayout::Filter>::Register("rawvideo.filter");

} // namespace
