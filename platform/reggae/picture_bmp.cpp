// BMP and ICO reading, by hand: both are simple enough that a careful parser
// is smaller than a library wrapper. Every offset and count read from the
// file is checked against the bytes we have before it is used.
#include <algorithm>
#include <bit>
#include <cstring>
#include <vector>

#include "reggae/picture_codecs.h"

namespace reggae::pictures {
namespace {

enum : uint32_t { BI_RGB = 0, BI_RLE8 = 1, BI_RLE4 = 2, BI_BITFIELDS = 3, BI_ALPHABITFIELDS = 6 };

inline uint16_t U16(const uint8_t *p) { return uint16_t(p[0] | p[1] << 8); }
inline uint32_t U32(const uint8_t *p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24; }
inline int32_t S32(const uint8_t *p) { return int32_t(U32(p)); }

// A device-independent bitmap: the header of a BMP file after its file
// header, or an image inside an ICO.
struct Dib {
  uint32_t width = 0, height = 0;
  bool topDown = false;
  uint16_t bpp = 0;
  uint32_t compression = BI_RGB;
  uint32_t masks[4] = {0, 0, 0, 0}; // R, G, B, A
  uint8_t palette[256][4] = {};     // A R G B
  const uint8_t *pixels = nullptr;  // pixel data and what the input still holds from there
  size_t pixelBytes = 0;
  bool icon = false;                // an AND mask follows the pixels
};

// dib/dibSize: from the DIB header to the end of the input. pixelOffset: where
// the pixels start, counted from dib; 0 = right after the palette (ICO).
PictureError ParseDib(const uint8_t *dib, size_t dibSize, size_t pixelOffset, bool icon, Dib &d) {
  if (dibSize < 12)
    return PictureError::Truncated;
  uint32_t hdr = U32(dib);
  if (hdr != 12 && (hdr < 40 || hdr > 1024))
    return PictureError::Unsupported;
  if (dibSize < hdr)
    return PictureError::Truncated;
  int64_t w, h;
  uint32_t colorsUsed = 0;
  size_t paletteEntry = 4;
  if (hdr == 12) { // OS/2 core header
    w = U16(dib + 4);
    h = U16(dib + 6);
    d.bpp = U16(dib + 10);
    paletteEntry = 3;
  } else {
    w = S32(dib + 4);
    h = S32(dib + 8);
    d.bpp = U16(dib + 14);
    d.compression = U32(dib + 16);
    colorsUsed = U32(dib + 32);
  }
  if (h < 0) {
    d.topDown = true;
    h = -h;
  }
  if (icon) {
    // An icon's height counts the colour image and the AND mask.
    h /= 2;
    d.icon = true;
  }
  if (w <= 0 || h <= 0)
    return PictureError::Corrupt;
  if (!PictureFits(uint64_t(w), uint64_t(h)))
    return PictureError::TooLarge;
  d.width = uint32_t(w);
  d.height = uint32_t(h);

  size_t pos = hdr;
  switch (d.compression) {
  case BI_RGB:
    if (d.bpp != 1 && d.bpp != 4 && d.bpp != 8 && d.bpp != 16 && d.bpp != 24 && d.bpp != 32)
      return PictureError::Unsupported;
    if (d.bpp == 16) {
      d.masks[0] = 0x7C00, d.masks[1] = 0x03E0, d.masks[2] = 0x001F;
    }
    break;
  case BI_RLE8:
  case BI_RLE4:
    if (d.bpp != (d.compression == BI_RLE8 ? 8 : 4) || d.topDown)
      return PictureError::Corrupt;
    break;
  case BI_BITFIELDS:
  case BI_ALPHABITFIELDS: {
    if (d.bpp != 16 && d.bpp != 32)
      return PictureError::Corrupt;
    int n = d.compression == BI_ALPHABITFIELDS ? 4 : 3;
    if (hdr >= 52) {
      n = hdr >= 56 ? 4 : 3; // the masks are part of the larger headers
      for (int i = 0; i < n; ++i)
        d.masks[i] = U32(dib + 40 + 4 * i);
    } else {
      if (dibSize < pos + 4 * size_t(n))
        return PictureError::Truncated;
      for (int i = 0; i < n; ++i)
        d.masks[i] = U32(dib + pos + 4 * i);
      pos += 4 * size_t(n);
    }
    break;
  }
  default:
    return PictureError::Unsupported; // embedded JPEG/PNG and the like
  }
  if (d.bpp == 32 && d.compression == BI_RGB)
    d.masks[0] = 0x00FF0000, d.masks[1] = 0x0000FF00, d.masks[2] = 0x000000FF, d.masks[3] = 0xFF000000;

  if (d.bpp <= 8) {
    uint32_t count = colorsUsed ? colorsUsed : 1u << d.bpp;
    count = std::min<uint32_t>(count, 256);
    if (dibSize - pos < size_t(count) * paletteEntry)
      return PictureError::Truncated;
    for (uint32_t i = 0; i < count; ++i) {
      const uint8_t *e = dib + pos + size_t(i) * paletteEntry;
      d.palette[i][0] = 0xFF;
      d.palette[i][1] = e[2];
      d.palette[i][2] = e[1];
      d.palette[i][3] = e[0];
    }
    // Indices past the palette are damaged data; they read as black.
    for (uint32_t i = count; i < 256; ++i)
      d.palette[i][0] = 0xFF;
    pos += size_t(count) * paletteEntry;
  }
  if (pixelOffset)
    pos = pixelOffset;
  if (pos > dibSize)
    return PictureError::Truncated;
  d.pixels = dib + pos;
  d.pixelBytes = dibSize - pos;
  return PictureError::None;
}

inline uint8_t Channel(uint32_t px, uint32_t mask) {
  if (!mask)
    return 0;
  int shift = std::countr_zero(mask);
  uint32_t max = mask >> shift, v = (px & mask) >> shift;
  return max == 0xFF ? uint8_t(v) : uint8_t((uint64_t(v) * 255 + max / 2) / max);
}

// Run-length data: rows bottom-up, pixels that are skipped stay transparent.
PictureError DecodeRle(const Dib &d, uint8_t *dst) {
  const size_t bpl = size_t(d.width) * 4;
  std::memset(dst, 0, bpl * d.height);
  const uint8_t *p = d.pixels, *end = d.pixels + d.pixelBytes;
  uint32_t x = 0, y = 0; // y counts from the bottom
  const bool four = d.compression == BI_RLE4;
  auto put = [&](uint8_t index) {
    if (x < d.width && y < d.height)
      std::memcpy(dst + size_t(d.height - 1 - y) * bpl + size_t(x) * 4, d.palette[index], 4);
    ++x;
  };
  while (y < d.height) {
    if (end - p < 2)
      return PictureError::Truncated;
    uint8_t count = p[0], value = p[1];
    p += 2;
    if (count) {
      for (unsigned i = 0; i < count && x < d.width; ++i)
        put(four ? (i & 1 ? value & 0x0F : value >> 4) : value);
      continue;
    }
    if (value == 0) { // end of line
      x = 0;
      ++y;
    } else if (value == 1) { // end of picture
      break;
    } else if (value == 2) { // move right and up
      if (end - p < 2)
        return PictureError::Truncated;
      x += p[0];
      y += p[1];
      p += 2;
    } else { // literal run, padded to 16 bits
      size_t bytes = four ? (size_t(value) + 1) / 2 : value;
      size_t padded = (bytes + 1) & ~size_t(1);
      if (size_t(end - p) < padded)
        return PictureError::Truncated;
      for (unsigned i = 0; i < value; ++i)
        put(four ? (i & 1 ? p[i / 2] & 0x0F : p[i / 2] >> 4) : p[i]);
      p += padded;
    }
  }
  return PictureError::None;
}

// Decodes the colour image into dst (top row first). rowsDone as for DecodePicture.
PictureError DecodeDib(const Dib &d, uint8_t *dst, uint32_t &rowsDone) {
  rowsDone = 0;
  const size_t bpl = size_t(d.width) * 4;
  bool alphaSeen = false;
  if (d.compression == BI_RLE8 || d.compression == BI_RLE4) {
    PictureError e = DecodeRle(d, dst);
    if (e != PictureError::None)
      return e;
    rowsDone = d.height;
    return PictureError::None;
  }
  const size_t stride = ((size_t(d.width) * d.bpp + 31) / 32) * 4;
  const bool hasAlpha = d.masks[3] != 0;
  PictureError result = PictureError::None;
  uint32_t fileRows = 0;
  for (uint32_t r = 0; r < d.height; ++r) {
    if (d.pixelBytes / stride <= r) {
      result = PictureError::Truncated;
      break;
    }
    const uint8_t *src = d.pixels + size_t(r) * stride;
    uint8_t *out = dst + size_t(d.topDown ? r : d.height - 1 - r) * bpl;
    switch (d.bpp) {
    case 1:
    case 4:
    case 8: {
      const unsigned perByte = 8 / d.bpp, mask = (1u << d.bpp) - 1;
      for (uint32_t x = 0; x < d.width; ++x) {
        unsigned shift = 8 - d.bpp * (x % perByte + 1);
        std::memcpy(out + size_t(x) * 4, d.palette[(src[x / perByte] >> shift) & mask], 4);
      }
      break;
    }
    case 24:
      for (uint32_t x = 0; x < d.width; ++x) {
        uint8_t *o = out + size_t(x) * 4;
        o[0] = 0xFF, o[1] = src[3 * x + 2], o[2] = src[3 * x + 1], o[3] = src[3 * x];
      }
      break;
    default: // 16 and 32 bits through the masks
      for (uint32_t x = 0; x < d.width; ++x) {
        uint32_t px = d.bpp == 16 ? U16(src + 2 * x) : U32(src + 4 * x);
        uint8_t *o = out + size_t(x) * 4;
        o[0] = hasAlpha ? Channel(px, d.masks[3]) : 0xFF;
        o[1] = Channel(px, d.masks[0]);
        o[2] = Channel(px, d.masks[1]);
        o[3] = Channel(px, d.masks[2]);
        alphaSeen |= o[0] != 0;
      }
      break;
    }
    fileRows = r + 1;
  }
  // Many 32-bit files leave the fourth byte at zero and mean opaque.
  if (hasAlpha && !alphaSeen && !d.icon)
    for (size_t i = 0; i < bpl * d.height; i += 4)
      dst[i] = 0xFF;

  if (d.icon && !(hasAlpha && alphaSeen) && result == PictureError::None) {
    // The AND mask makes the icon transparent where its bits are set; an
    // icon without one (it happens) is drawn opaque.
    const size_t maskStride = ((size_t(d.width) + 31) / 32) * 4;
    const size_t maskStart = stride * d.height;
    const bool haveMask = d.pixelBytes >= maskStart && (d.pixelBytes - maskStart) / maskStride >= d.height;
    for (uint32_t r = 0; r < d.height; ++r) {
      const uint8_t *m = haveMask ? d.pixels + maskStart + size_t(r) * maskStride : nullptr;
      uint8_t *out = dst + size_t(d.topDown ? r : d.height - 1 - r) * bpl;
      for (uint32_t x = 0; x < d.width; ++x)
        out[size_t(x) * 4] = m && (m[x / 8] >> (7 - x % 8)) & 1 ? 0 : 0xFF;
    }
  }
  if (result == PictureError::None)
    rowsDone = d.height;
  else if (d.topDown)
    rowsDone = fileRows;
  return result;
}

PictureError ParseBmpFile(const uint8_t *data, size_t size, Dib &d) {
  if (size < 14 + 12)
    return PictureError::Truncated;
  uint32_t offBits = U32(data + 10);
  if (offBits < 14 + 12)
    return PictureError::Corrupt;
  return ParseDib(data + 14, size - 14, offBits - 14, false, d);
}

// The best image of an icon: the most pixels, then the most colours. Each
// entry's header is checked; one that does not parse is passed over.
struct IcoChoice {
  const uint8_t *payload = nullptr;
  size_t payloadSize = 0;
  bool png = false;
  PictureInfo info;
};

PictureError ChooseIcoImage(const uint8_t *data, size_t size, IcoChoice &best) {
  if (size < 6)
    return PictureError::Truncated;
  const uint16_t count = U16(data + 4);
  if (count == 0)
    return PictureError::Corrupt;
  struct Entry {
    uint64_t pixels;
    uint16_t bpp;
    uint32_t offset, bytes;
  };
  std::vector<Entry> entries;
  for (uint16_t i = 0; i < count; ++i) {
    size_t at = 6 + size_t(i) * 16;
    if (size < at + 16)
      break;
    const uint8_t *e = data + at;
    uint32_t w = e[0] ? e[0] : 256, h = e[1] ? e[1] : 256;
    entries.push_back({uint64_t(w) * h, U16(e + 6), U32(e + 12), U32(e + 8)});
  }
  if (entries.empty())
    return PictureError::Truncated;
  std::stable_sort(entries.begin(), entries.end(), [](const Entry &a, const Entry &b) {
    return a.pixels != b.pixels ? a.pixels > b.pixels : a.bpp > b.bpp;
  });
  PictureError firstError = PictureError::Corrupt;
  for (const Entry &e : entries) {
    if (e.offset >= size || e.bytes == 0) {
      firstError = PictureError::Truncated;
      continue;
    }
    IcoChoice c;
    c.payload = data + e.offset;
    c.payloadSize = std::min<size_t>(e.bytes, size - e.offset);
    c.png = SniffPicture(c.payload, c.payloadSize) == PictureFormat::Png;
    PictureError err;
    if (c.png) {
      err = PngInfo(c.payload, c.payloadSize, c.info);
    } else {
      Dib d;
      err = ParseDib(c.payload, c.payloadSize, 0, true, d);
      c.info = {PictureFormat::Ico, d.width, d.height};
    }
    if (err == PictureError::None && PictureFits(c.info.width, c.info.height)) {
      best = c;
      return PictureError::None;
    }
    if (err == PictureError::None)
      err = PictureError::TooLarge;
    if (&e == &entries.front())
      firstError = err;
  }
  return firstError;
}

} // namespace

PictureError BmpInfo(const uint8_t *data, size_t size, PictureInfo &info) {
  Dib d;
  if (PictureError e = ParseBmpFile(data, size, d); e != PictureError::None)
    return e;
  info = {PictureFormat::Bmp, d.width, d.height};
  return PictureError::None;
}

PictureError BmpDecode(const uint8_t *data, size_t size, uint8_t *dst, size_t dstSize, uint32_t &rowsDone) {
  rowsDone = 0;
  Dib d;
  if (PictureError e = ParseBmpFile(data, size, d); e != PictureError::None)
    return e;
  if (dstSize < size_t(d.width) * d.height * 4)
    return PictureError::NoMemory;
  return DecodeDib(d, dst, rowsDone);
}

PictureError IcoInfo(const uint8_t *data, size_t size, PictureInfo &info) {
  IcoChoice c;
  if (PictureError e = ChooseIcoImage(data, size, c); e != PictureError::None)
    return e;
  info = {PictureFormat::Ico, c.info.width, c.info.height};
  return PictureError::None;
}

PictureError IcoDecode(const uint8_t *data, size_t size, uint8_t *dst, size_t dstSize, uint32_t &rowsDone) {
  rowsDone = 0;
  IcoChoice c;
  if (PictureError e = ChooseIcoImage(data, size, c); e != PictureError::None)
    return e;
  if (dstSize < size_t(c.info.width) * c.info.height * 4)
    return PictureError::NoMemory;
  if (c.png)
    return PngDecode(c.payload, c.payloadSize, dst, dstSize, rowsDone);
  Dib d;
  if (PictureError e = ParseDib(c.payload, c.payloadSize, 0, true, d); e != PictureError::None)
    return e;
  return DecodeDib(d, dst, rowsDone);
}

} // namespace reggae::pictures
