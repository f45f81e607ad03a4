#include "reggae/picture_decode.h"

#include <cstring>
#include <new>

#include "reggae/picture_codecs.h"

namespace reggae::pictures {

PictureFormat SniffPicture(const uint8_t *d, size_t n) {
  if (n >= 8 && std::memcmp(d, "\x89PNG\r\n\x1a\n", 8) == 0)
    return PictureFormat::Png;
  if (n >= 3 && d[0] == 0xFF && d[1] == 0xD8 && d[2] == 0xFF)
    return PictureFormat::Jpeg;
  if (n >= 6 && (std::memcmp(d, "GIF87a", 6) == 0 || std::memcmp(d, "GIF89a", 6) == 0))
    return PictureFormat::Gif;
  if (n >= 12 && std::memcmp(d, "RIFF", 4) == 0 && std::memcmp(d + 8, "WEBP", 4) == 0)
    return PictureFormat::WebP;
  if (n >= 2 && d[0] == 'B' && d[1] == 'M')
    return PictureFormat::Bmp;
  // ICO and CUR: reserved 0, type 1 or 2, at least one entry.
  if (n >= 6 && d[0] == 0 && d[1] == 0 && (d[2] == 1 || d[2] == 2) && d[3] == 0 && (d[4] | d[5]) != 0)
    return PictureFormat::Ico;
  return PictureFormat::Unknown;
}

const char *PictureFormatName(PictureFormat f) {
  switch (f) {
  case PictureFormat::Png: return "PNG";
  case PictureFormat::Jpeg: return "JPEG";
  case PictureFormat::Gif: return "GIF";
  case PictureFormat::Bmp: return "BMP";
  case PictureFormat::Ico: return "ICO";
  case PictureFormat::WebP: return "WebP";
  default: return "unknown";
  }
}

PictureError ReadPictureInfo(const uint8_t *data, size_t size, PictureInfo &info) {
  info = PictureInfo{};
  if (!data)
    return PictureError::Unsupported;
  PictureError e;
  switch (SniffPicture(data, size)) {
  case PictureFormat::Png: e = PngInfo(data, size, info); break;
  case PictureFormat::Jpeg: e = JpegInfo(data, size, info); break;
  case PictureFormat::Gif: e = GifInfo(data, size, info); break;
  case PictureFormat::WebP: e = WebPInfo(data, size, info); break;
  case PictureFormat::Bmp: e = BmpInfo(data, size, info); break;
  case PictureFormat::Ico: e = IcoInfo(data, size, info); break;
  default: return PictureError::Unsupported;
  }
  if (e == PictureError::None && !PictureFits(info.width, info.height))
    e = PictureError::TooLarge;
  if (e != PictureError::None)
    info = PictureInfo{};
  return e;
}

uint32_t ShrinkOnLoad(const PictureInfo &info, uint32_t minWidth, uint32_t minHeight) {
  if (info.format != PictureFormat::Jpeg && info.format != PictureFormat::WebP)
    return 1;
  uint32_t shrink = 1;
  while (shrink < 8) {
    const PictureInfo next = ShrunkInfo(info, shrink * 2);
    if (next.width < minWidth || next.height < minHeight)
      break;
    shrink *= 2;
  }
  return shrink;
}

PictureInfo ShrunkInfo(const PictureInfo &info, uint32_t shrink) {
  const clib::Size s = clib::Shrunk(clib::Size{info.width, info.height}, shrink);
  return PictureInfo{info.format, s.width, s.height};
}

PictureError DecodePicture(const uint8_t *data, size_t size, uint8_t *dst, size_t dstSize, uint32_t &rowsDone,
                           uint32_t shrink) {
  rowsDone = 0;
  PictureInfo info;
  if (PictureError e = ReadPictureInfo(data, size, info); e != PictureError::None)
    return e;
  if (shrink != 1 && shrink != 2 && shrink != 4 && shrink != 8)
    return PictureError::Unsupported;
  if (shrink > 1 && ShrinkOnLoad(info, 1, 1) < shrink)
    return PictureError::Unsupported; // a format decoded only at full size
  const PictureInfo out = ShrunkInfo(info, shrink);
  if (!dst || dstSize < size_t(out.width) * out.height * 4)
    return PictureError::NoMemory;
  switch (info.format) {
  case PictureFormat::Png: return PngDecode(data, size, dst, dstSize, rowsDone);
  case PictureFormat::Jpeg: return JpegDecode(data, size, dst, dstSize, rowsDone, shrink);
  case PictureFormat::Gif: return GifDecode(data, size, dst, dstSize, rowsDone);
  case PictureFormat::WebP: return WebPDecode(data, size, dst, dstSize, rowsDone, shrink);
  case PictureFormat::Bmp: return BmpDecode(data, size, dst, dstSize, rowsDone);
  case PictureFormat::Ico: return IcoDecode(data, size, dst, dstSize, rowsDone);
  default: return PictureError::Unsupported;
  }
}

PictureError DecodePicture(const uint8_t *data, size_t size, PictureInfo &info, std::vector<uint8_t> &pixels) {
  pixels.clear();
  if (PictureError e = ReadPictureInfo(data, size, info); e != PictureError::None)
    return e;
  try {
    pixels.resize(size_t(info.width) * info.height * 4);
  } catch (const std::bad_alloc &) {
    return PictureError::NoMemory;
  }
  uint32_t rows = 0;
  PictureError e = DecodePicture(data, size, pixels.data(), pixels.size(), rows);
  if (e != PictureError::None)
    pixels.resize(size_t(rows) * info.width * 4);
  return e;
}

} // namespace reggae::pictures
