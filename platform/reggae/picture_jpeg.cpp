// JPEG reading, on the libjpeg-turbo wrapper.
#include "clib/jpeg_codec.h"
#include "reggae/picture_codecs.h"

namespace reggae::pictures {

PictureError JpegInfo(const uint8_t *data, size_t size, PictureInfo &info) {
  clib::Size s;
  return Described(clib::jpeg::ReadInfo(data, size, s), PictureFormat::Jpeg, s, info);
}

PictureError JpegDecode(const uint8_t *data, size_t size, uint8_t *dst, size_t dstSize, uint32_t &rowsDone,
                        uint32_t shrink) {
  return clib::jpeg::Decode(data, size, dst, dstSize, rowsDone, kPictureLimits, shrink);
}

} // namespace reggae::pictures
