#include "tests/pictures/picture_makers.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>
#include <stdexcept>

#include "clib/gif_codec.h"
#include "clib/jpeg_codec.h"
#include "clib/png_codec.h"
#include "clib/webp_codec.h"

namespace picmake {

uint32_t Image::at(uint32_t x, uint32_t y) const {
  const uint8_t *p = &px[(size_t(y) * w + x) * 4];
  return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}
void Image::set(uint32_t x, uint32_t y, uint32_t c) {
  uint8_t *p = &px[(size_t(y) * w + x) * 4];
  p[0] = uint8_t(c >> 24), p[1] = uint8_t(c >> 16), p[2] = uint8_t(c >> 8), p[3] = uint8_t(c);
}

Image Quadrants(uint32_t w, uint32_t h, uint32_t tl, uint32_t tr, uint32_t bl, uint32_t br) {
  Image img{w, h, Bytes(size_t(w) * h * 4)};
  for (uint32_t y = 0; y < h; ++y)
    for (uint32_t x = 0; x < w; ++x)
      img.set(x, y, y < h / 2 ? (x < w / 2 ? tl : tr) : (x < w / 2 ? bl : br));
  return img;
}
Image Halves(uint32_t w, uint32_t h, uint32_t left, uint32_t right) { return Quadrants(w, h, left, right, left, right); }

namespace {
// out by reference: it is read after the writer filled it.
Bytes Checked(clib::Error e, Bytes &out, const char *what) {
  if (e != clib::Error::None)
    throw std::runtime_error(std::string(what) + " write failed");
  return std::move(out);
}
} // namespace

// ---- PNG ----
Bytes Png(const Image &img, PngKind kind, bool interlaced) {
  static const std::map<PngKind, clib::png::Stored> stored = {
      {PngKind::Rgba, clib::png::Stored::Rgba},       {PngKind::Rgb, clib::png::Stored::Rgb},
      {PngKind::Gray, clib::png::Stored::Gray},       {PngKind::Palette, clib::png::Stored::Palette},
      {PngKind::Rgba16, clib::png::Stored::Rgba16}};
  clib::png::EncodeOptions options;
  options.stored = stored.at(kind);
  options.interlaced = interlaced;
  Bytes out;
  return Checked(clib::png::Encode(img.px.data(), img.w, img.h, size_t(img.w) * 4, out, options), out, "png");
}

static uint32_t Crc32(const uint8_t *d, size_t n) {
  uint32_t c = 0xFFFFFFFFu;
  for (size_t i = 0; i < n; ++i) {
    c ^= d[i];
    for (int k = 0; k < 8; ++k)
      c = c & 1 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
  }
  return ~c;
}

Bytes PngHeaderOnly(uint32_t w, uint32_t h) {
  Bytes out = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n', 0, 0, 0, 13, 'I', 'H', 'D', 'R'};
  auto be32 = [&](uint32_t v) {
    out.push_back(uint8_t(v >> 24)), out.push_back(uint8_t(v >> 16)), out.push_back(uint8_t(v >> 8)),
        out.push_back(uint8_t(v));
  };
  be32(w);
  be32(h);
  out.insert(out.end(), {8, 6, 0, 0, 0});
  be32(Crc32(out.data() + 12, 17));
  // An IDAT that holds almost nothing.
  Bytes idat = {'I', 'D', 'A', 'T', 0x78, 0x9c, 0x03, 0x00};
  be32(uint32_t(idat.size() - 4));
  out.insert(out.end(), idat.begin(), idat.end());
  be32(Crc32(idat.data(), idat.size()));
  return out;
}

// ---- JPEG ----
Bytes Jpeg(const Image &img, int quality, bool gray, bool progressive) {
  clib::jpeg::EncodeOptions options;
  options.quality = quality;
  options.gray = gray;
  options.progressive = progressive;
  Bytes out;
  return Checked(clib::jpeg::Encode(img.px.data(), img.w, img.h, size_t(img.w) * 4, out, options), out, "jpeg");
}

// ---- GIF ----
Bytes Gif(const Image &img, bool interlaced, const std::vector<Image> &more) {
  std::map<uint32_t, int> index;
  std::vector<clib::gif::Colour> colours;
  clib::gif::EncodeOptions options;
  options.interlaced = interlaced;
  auto indexOf = [&](uint32_t c) {
    if ((c >> 24) == 0)
      c = 0;
    auto it = index.find(c);
    if (it != index.end())
      return it->second;
    int i = int(colours.size());
    index.emplace(c, i);
    colours.push_back({uint8_t(c >> 16), uint8_t(c >> 8), uint8_t(c)});
    if (c == 0)
      options.transparent = i;
    return i;
  };
  std::vector<clib::gif::Frame> frames;
  std::vector<const Image *> images{&img};
  for (auto &m : more)
    images.push_back(&m);
  for (const Image *f : images) {
    clib::gif::Frame frame{f->w, f->h, std::vector<uint8_t>(size_t(f->w) * f->h)};
    for (uint32_t y = 0; y < f->h; ++y)
      for (uint32_t x = 0; x < f->w; ++x)
        frame.indices[size_t(y) * f->w + x] = uint8_t(indexOf(f->at(x, y)));
    frames.push_back(std::move(frame));
  }
  Bytes out;
  return Checked(clib::gif::Encode(img.w, img.h, colours, frames, out, options), out, "gif");
}

// ---- WebP ----
Bytes WebP(const Image &img, bool lossless) {
  clib::webp::EncodeOptions options;
  options.lossless = lossless;
  Bytes out;
  return Checked(clib::webp::Encode(img.px.data(), img.w, img.h, size_t(img.w) * 4, out, options), out, "webp");
}

// ---- BMP and ICO, by hand ----
namespace {
void Le16(Bytes &b, uint32_t v) { b.push_back(uint8_t(v)), b.push_back(uint8_t(v >> 8)); }
void Le32(Bytes &b, uint32_t v) {
  for (int i = 0; i < 4; ++i)
    b.push_back(uint8_t(v >> (8 * i)));
}

// Header (40 bytes), palette/masks and pixel rows; bottom-up unless topDown.
Bytes Dib(const Image &img, int bpp, bool topDown, bool rle8, bool icon) {
  std::vector<uint32_t> pal;
  std::map<uint32_t, uint32_t> index;
  if (bpp <= 8)
    for (uint32_t y = 0; y < img.h; ++y)
      for (uint32_t x = 0; x < img.w; ++x)
        if (index.emplace(img.at(x, y) | 0xFF000000u, uint32_t(pal.size())).second)
          pal.push_back(img.at(x, y) | 0xFF000000u);
  Bytes b;
  uint32_t compression = rle8 ? 1 : bpp == 16 ? 3 : 0;
  Le32(b, 40);
  Le32(b, img.w);
  int32_t h = int32_t(icon ? img.h * 2 : img.h);
  Le32(b, uint32_t(topDown ? -h : h));
  Le16(b, 1);
  Le16(b, uint32_t(bpp));
  Le32(b, compression);
  Le32(b, 0);
  Le32(b, 2835);
  Le32(b, 2835);
  Le32(b, bpp <= 8 ? uint32_t(pal.size()) : 0);
  Le32(b, 0);
  if (bpp == 16) {
    Le32(b, 0xF800), Le32(b, 0x07E0), Le32(b, 0x001F);
  }
  for (uint32_t c : pal)
    Le32(b, c & 0xFFFFFF);
  const size_t stride = ((size_t(img.w) * bpp + 31) / 32) * 4;
  for (uint32_t r = 0; r < img.h; ++r) {
    uint32_t y = topDown ? r : img.h - 1 - r;
    if (rle8) {
      for (uint32_t x = 0; x < img.w;) {
        uint32_t c = index[img.at(x, y) | 0xFF000000u], n = 1;
        while (x + n < img.w && n < 255 && index[img.at(x + n, y) | 0xFF000000u] == c)
          ++n;
        b.push_back(uint8_t(n)), b.push_back(uint8_t(c));
        x += n;
      }
      b.push_back(0), b.push_back(r + 1 == img.h ? 1 : 0);
      continue;
    }
    Bytes row(stride, 0);
    for (uint32_t x = 0; x < img.w; ++x) {
      uint32_t c = img.at(x, y);
      uint8_t a = c >> 24, rr = c >> 16, g = c >> 8, bl = uint8_t(c);
      switch (bpp) {
      case 32: row[4 * x] = bl, row[4 * x + 1] = g, row[4 * x + 2] = rr, row[4 * x + 3] = a; break;
      case 24: row[3 * x] = bl, row[3 * x + 1] = g, row[3 * x + 2] = rr; break;
      case 16: {
        uint16_t v = uint16_t((rr >> 3) << 11 | (g >> 2) << 5 | bl >> 3);
        row[2 * x] = uint8_t(v), row[2 * x + 1] = uint8_t(v >> 8);
        break;
      }
      default: {
        uint32_t i = index[c | 0xFF000000u];
        unsigned perByte = 8 / unsigned(bpp);
        row[x / perByte] |= uint8_t(i << (8 - bpp * (x % perByte + 1)));
      }
      }
    }
    b.insert(b.end(), row.begin(), row.end());
  }
  if (icon) {
    const size_t ms = ((size_t(img.w) + 31) / 32) * 4;
    for (uint32_t r = 0; r < img.h; ++r) {
      uint32_t y = img.h - 1 - r;
      Bytes row(ms, 0);
      for (uint32_t x = 0; x < img.w; ++x)
        if ((img.at(x, y) >> 24) == 0)
          row[x / 8] |= uint8_t(0x80 >> (x % 8));
      b.insert(b.end(), row.begin(), row.end());
    }
  }
  return b;
}
} // namespace

Bytes Bmp(const Image &img, int bpp, bool topDown, bool rle8) {
  Bytes dib = Dib(img, bpp, topDown, rle8, false);
  size_t paletteEnd = 40 + (bpp == 16 ? 12 : 0);
  if (bpp <= 8) {
    // The palette length is in the header's colours-used field.
    uint32_t used = uint32_t(dib[32]) | uint32_t(dib[33]) << 8;
    paletteEnd += used * 4;
  }
  Bytes b = {'B', 'M'};
  Le32(b, uint32_t(14 + dib.size()));
  Le32(b, 0);
  Le32(b, uint32_t(14 + paletteEnd));
  b.insert(b.end(), dib.begin(), dib.end());
  return b;
}

Bytes IcoDib(const Image &img, int bpp) { return Dib(img, bpp, false, false, true); }

Bytes Ico(const std::vector<IcoEntry> &entries) {
  Bytes b;
  Le16(b, 0);
  Le16(b, 1);
  Le16(b, uint32_t(entries.size()));
  uint32_t offset = uint32_t(6 + 16 * entries.size());
  for (const auto &e : entries) {
    b.push_back(uint8_t(e.w >= 256 ? 0 : e.w));
    b.push_back(uint8_t(e.h >= 256 ? 0 : e.h));
    b.push_back(0);
    b.push_back(0);
    Le16(b, 1);
    Le16(b, uint32_t(e.bpp));
    Le32(b, uint32_t(e.payload.size()));
    Le32(b, offset);
    offset += uint32_t(e.payload.size());
  }
  for (const auto &e : entries)
    b.insert(b.end(), e.payload.begin(), e.payload.end());
  return b;
}

bool WriteFile(const std::string &path, const Bytes &data) {
  std::ofstream f(path, std::ios::binary);
  f.write(reinterpret_cast<const char *>(data.data()), std::streamsize(data.size()));
  return bool(f);
}

Bytes ReadFile(const std::string &path) {
  std::ifstream f(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

int ColourDistance(uint32_t a, uint32_t b) {
  int d = 0;
  for (int s = 0; s < 32; s += 8)
    d = std::max(d, std::abs(int((a >> s) & 0xFF) - int((b >> s) & 0xFF)));
  return d;
}

} // namespace picmake
