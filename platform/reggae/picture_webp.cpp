// WebP reading on libwebp (still pictures; an animation is not read).
#include <webp/decode.h>

#include "reggae/picture_codecs.h"

namespace reggae::pictures {

PictureError WebPInfo(const uint8_t *data, size_t size, PictureInfo &info) {
  WebPBitstreamFeatures features;
  VP8StatusCode st = WebPGetFeatures(data, size, &features);
  if (st == VP8_STATUS_NOT_ENOUGH_DATA)
    return PictureError::Truncated;
  if (st != VP8_STATUS_OK)
    return st == VP8_STATUS_UNSUPPORTED_FEATURE ? PictureError::Unsupported : PictureError::Corrupt;
  if (features.has_animation)
    return PictureError::Unsupported;
  if (features.width <= 0 || features.height <= 0)
    return PictureError::Corrupt;
  info.format = PictureFormat::WebP;
  info.width = uint32_t(features.width);
  info.height = uint32_t(features.height);
  return PictureError::None;
}

PictureError WebPDecode(const uint8_t *data, size_t size, uint8_t *dst, size_t dstSize, uint32_t &rowsDone,
                        uint32_t shrink) {
  rowsDone = 0;
  PictureInfo full;
  if (PictureError e = WebPInfo(data, size, full); e != PictureError::None)
    return e;
  const PictureInfo pi = ShrunkInfo(full, shrink);
  const size_t bpl = size_t(pi.width) * 4;
  if (dstSize < bpl * pi.height)
    return PictureError::NoMemory;
  WebPDecoderConfig config;
  if (!WebPInitDecoderConfig(&config))
    return PictureError::NoMemory;
  config.output.colorspace = MODE_ARGB;
  config.output.is_external_memory = 1;
  config.output.u.RGBA.rgba = dst;
  config.output.u.RGBA.stride = int(bpl);
  config.output.u.RGBA.size = bpl * pi.height;
  if (shrink > 1) {
    config.options.use_scaling = 1;
    config.options.scaled_width = int(pi.width);
    config.options.scaled_height = int(pi.height);
  }
  VP8StatusCode st = WebPDecode(data, size, &config);
  WebPFreeDecBuffer(&config.output);
  if (st != VP8_STATUS_OK)
    return st == VP8_STATUS_NOT_ENOUGH_DATA ? PictureError::Truncated : PictureError::Corrupt;
  rowsDone = pi.height;
  return PictureError::None;
}

} // namespace reggae::pictures
