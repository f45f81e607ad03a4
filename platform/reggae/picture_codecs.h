// One reader per picture format, each calling its library's wrapper in clib/
// (or, for BMP and ICO, parsing by hand). Shared contract: see picture_decode.h.
#pragma once

#include "clib/codec.h"
#include "reggae/picture_decode.h"

namespace reggae::pictures {

// A wrapper's header result as our picture info, which is set only on success.
inline PictureError Described(PictureError e, PictureFormat format, const clib::Size &size, PictureInfo &info) {
  if (e == PictureError::None)
    info = PictureInfo{format, size.width, size.height};
  return e;
}

PictureError PngInfo(const uint8_t *data, size_t size, PictureInfo &info);
PictureError PngDecode(const uint8_t *data, size_t size, uint8_t *dst, size_t dstSize, uint32_t &rowsDone);

PictureError JpegInfo(const uint8_t *data, size_t size, PictureInfo &info);
PictureError JpegDecode(const uint8_t *data, size_t size, uint8_t *dst, size_t dstSize, uint32_t &rowsDone,
                        uint32_t shrink = 1);

PictureError GifInfo(const uint8_t *data, size_t size, PictureInfo &info);
PictureError GifDecode(const uint8_t *data, size_t size, uint8_t *dst, size_t dstSize, uint32_t &rowsDone);

PictureError WebPInfo(const uint8_t *data, size_t size, PictureInfo &info);
PictureError WebPDecode(const uint8_t *data, size_t size, uint8_t *dst, size_t dstSize, uint32_t &rowsDone,
                        uint32_t shrink = 1);

PictureError BmpInfo(const uint8_t *data, size_t size, PictureInfo &info);
PictureError BmpDecode(const uint8_t *data, size_t size, uint8_t *dst, size_t dstSize, uint32_t &rowsDone);

PictureError IcoInfo(const uint8_t *data, size_t size, PictureInfo &info);
PictureError IcoDecode(const uint8_t *data, size_t size, uint8_t *dst, size_t dstSize, uint32_t &rowsDone);

} // namespace reggae::pictures
