#include "clib/webp_codec.h"

#include <webp/decode.h>
#include <webp/encode.h>

namespace clib::webp {

Error ReadInfo(const uint8_t *data, size_t size, Size &out) {
  WebPBitstreamFeatures features;
  VP8StatusCode st = WebPGetFeatures(data, size, &features);
  if (st == VP8_STATUS_NOT_ENOUGH_DATA)
    return Error::Truncated;
  if (st != VP8_STATUS_OK)
    return st == VP8_STATUS_UNSUPPORTED_FEATURE ? Error::Unsupported : Error::Corrupt;
  if (features.has_animation)
    return Error::Unsupported;
  if (features.width <= 0 || features.height <= 0)
    return Error::Corrupt;
  out = Size{uint32_t(features.width), uint32_t(features.height)};
  return Error::None;
}

Error Decode(const uint8_t *data, size_t size, uint8_t *dst, size_t dstSize, uint32_t &rowsDone, uint32_t shrink) {
  rowsDone = 0;
  Size full;
  if (Error e = ReadInfo(data, size, full); e != Error::None)
    return e;
  const Size s = Shrunk(full, shrink);
  const size_t bpl = size_t(s.width) * 4;
  if (dstSize < bpl * s.height)
    return Error::NoMemory;
  WebPDecoderConfig config;
  if (!WebPInitDecoderConfig(&config))
    return Error::NoMemory;
  config.output.colorspace = MODE_ARGB;
  config.output.is_external_memory = 1;
  config.output.u.RGBA.rgba = dst;
  config.output.u.RGBA.stride = int(bpl);
  config.output.u.RGBA.size = bpl * s.height;
  if (shrink > 1) {
    config.options.use_scaling = 1;
    config.options.scaled_width = int(s.width);
    config.options.scaled_height = int(s.height);
  }
  VP8StatusCode st = WebPDecode(data, size, &config);
  WebPFreeDecBuffer(&config.output);
  if (st != VP8_STATUS_OK)
    return st == VP8_STATUS_NOT_ENOUGH_DATA ? Error::Truncated : Error::Corrupt;
  rowsDone = s.height;
  return Error::None;
}

Error Encode(const uint8_t *argb, uint32_t width, uint32_t height, size_t stride, std::vector<uint8_t> &out,
             const EncodeOptions &options) {
  out.clear();
  if (!argb || !width || !height || stride < size_t(width) * 4)
    return Error::Unsupported;
  // libwebp takes R G B A.
  std::vector<uint8_t> rgba(size_t(width) * height * 4);
  for (uint32_t y = 0; y < height; ++y) {
    const uint8_t *s = argb + size_t(y) * stride;
    uint8_t *d = &rgba[size_t(y) * width * 4];
    for (uint32_t x = 0; x < width; ++x, s += 4, d += 4)
      d[0] = s[1], d[1] = s[2], d[2] = s[3], d[3] = s[0];
  }
  uint8_t *encoded = nullptr;
  const int w = int(width), h = int(height), bpl = int(width * 4);
  size_t n = options.lossless ? WebPEncodeLosslessRGBA(rgba.data(), w, h, bpl, &encoded)
                              : WebPEncodeRGBA(rgba.data(), w, h, bpl, options.quality, &encoded);
  if (n)
    out.assign(encoded, encoded + n);
  WebPFree(encoded);
  return n ? Error::None : Error::Corrupt;
}

} // namespace clib::webp
