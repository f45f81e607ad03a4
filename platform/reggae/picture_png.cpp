// PNG reading and writing, on the libpng wrapper.
#include "clib/png_codec.h"
#include "reggae/picture_codecs.h"

namespace reggae::pictures {

PictureError PngInfo(const uint8_t *data, size_t size, PictureInfo &info) {
  clib::Size s;
  return Described(clib::png::ReadInfo(data, size, s), PictureFormat::Png, s, info);
}

PictureError PngDecode(const uint8_t *data, size_t size, uint8_t *dst, size_t dstSize, uint32_t &rowsDone) {
  return clib::png::Decode(data, size, dst, dstSize, rowsDone, kPictureLimits);
}

PictureError EncodePng(const uint8_t *argb, uint32_t width, uint32_t height, size_t stride, std::vector<uint8_t> &out) {
  out.clear();
  if (!argb || !PictureFits(width, height) || stride < size_t(width) * 4)
    return PictureError::TooLarge;
  clib::png::EncodeOptions options;
  options.compression = 6; // icons are tiny; favour speed over the last few bytes
  return clib::png::Encode(argb, width, height, stride, out, options);
}

} // namespace reggae::pictures
