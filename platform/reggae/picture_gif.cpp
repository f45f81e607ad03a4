// GIF reading (the first frame), on the giflib wrapper.
#include "clib/gif_codec.h"
#include "reggae/picture_codecs.h"

namespace reggae::pictures {

PictureError GifInfo(const uint8_t *data, size_t size, PictureInfo &info) {
  clib::Size s;
  return Described(clib::gif::ReadInfo(data, size, kPictureLimits, s), PictureFormat::Gif, s, info);
}

PictureError GifDecode(const uint8_t *data, size_t size, uint8_t *dst, size_t dstSize, uint32_t &rowsDone) {
  return clib::gif::Decode(data, size, dst, dstSize, rowsDone, kPictureLimits);
}

} // namespace reggae::pictures
