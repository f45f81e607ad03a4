// Test pictures written with the real libraries (PNG, JPEG, GIF, WebP) and by
// hand (BMP, ICO). Pixels are A R G B bytes, rows top first, as the decoders
// deliver them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace picmake {

using Bytes = std::vector<uint8_t>;

struct Image {
  uint32_t w = 0, h = 0;
  Bytes px; // A R G B
  uint32_t at(uint32_t x, uint32_t y) const; // 0xAARRGGBB
  void set(uint32_t x, uint32_t y, uint32_t argb);
};

// Left half one colour, right half another (0xAARRGGBB).
Image Halves(uint32_t w, uint32_t h, uint32_t left, uint32_t right);
// Four quadrants: top left, top right, bottom left, bottom right.
Image Quadrants(uint32_t w, uint32_t h, uint32_t tl, uint32_t tr, uint32_t bl, uint32_t br);

enum class PngKind { Rgba, Rgb, Gray, Palette, Rgba16 };
Bytes Png(const Image &img, PngKind kind = PngKind::Rgba, bool interlaced = false);
Bytes Jpeg(const Image &img, int quality = 95, bool gray = false, bool progressive = false);
// Colours with alpha 0 become the transparent index; extra frames follow the first.
Bytes Gif(const Image &img, bool interlaced = false, const std::vector<Image> &moreFrames = {});
Bytes WebP(const Image &img, bool lossless = true);
// bpp 32 (with alpha), 24, 8, 4 or 1 (palette of the picture's colours), 16 (5-6-5 bit fields).
Bytes Bmp(const Image &img, int bpp = 24, bool topDown = false, bool rle8 = false);
// A DIB as stored inside an ICO: height doubled, AND mask from alpha 0.
Bytes IcoDib(const Image &img, int bpp = 32);
struct IcoEntry {
  uint32_t w, h; // as the directory states them
  int bpp;
  Bytes payload;
};
Bytes Ico(const std::vector<IcoEntry> &entries);

// A PNG whose header claims w x h (valid CRC) with a tiny body.
Bytes PngHeaderOnly(uint32_t w, uint32_t h);

bool WriteFile(const std::string &path, const Bytes &data);
Bytes ReadFile(const std::string &path);

// Distance of two colours, the largest channel difference.
int ColourDistance(uint32_t a, uint32_t b);

} // namespace picmake
