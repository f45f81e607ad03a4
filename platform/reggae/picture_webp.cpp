// WebP reading (still pictures), on the libwebp wrapper.
#include "clib/webp_codec.h"
#include "reggae/picture_codecs.h"

namespace reggae::pictures {

PictureError WebPInfo(const uint8_t *data, size_t size, PictureInfo &info) {
  clib::Size s;
  return Described(clib::webp::ReadInfo(data, size, s), PictureFormat::WebP, s, info);
}

PictureError WebPDecode(const uint8_t *data, size_t size, uint8_t *dst, size_t dstSize, uint32_t &rowsDone,
                        uint32_t shrink) {
  return clib::webp::Decode(data, size, dst, dstSize, rowsDone, shrink);
}

} // namespace reggae::pictures
