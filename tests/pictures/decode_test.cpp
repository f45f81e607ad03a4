// Decoding of every picture format we read, from files the real libraries
// (or, for BMP and ICO, our own writers) made.
#include <gtest/gtest.h>

#include <random>

#include "reggae/picture_decode.h"
#include "tests/pictures/picture_makers.h"

using namespace reggae::pictures;
using picmake::Bytes;
using picmake::Image;

namespace {

constexpr uint32_t kRed = 0xFFFF0000, kGreen = 0xFF00FF00, kBlue = 0xFF0000FF, kWhite = 0xFFFFFFFF;
constexpr uint32_t kClear = 0x00000000;

Image Quads(uint32_t w = 16, uint32_t h = 12) { return picmake::Quadrants(w, h, kRed, kGreen, kBlue, kWhite); }

uint32_t Px(const std::vector<uint8_t> &px, uint32_t w, uint32_t x, uint32_t y) {
  const uint8_t *p = &px[(size_t(y) * w + x) * 4];
  return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}

// Decodes and compares with the source picture, channel by channel within tolerance.
// margin: pixels this close to a colour edge are not compared (lossy formats smear edges).
void ExpectDecodesTo(const Bytes &file, const Image &want, PictureFormat format, int tolerance = 0, uint32_t margin = 0) {
  PictureInfo info;
  std::vector<uint8_t> px;
  ASSERT_EQ(DecodePicture(file.data(), file.size(), info, px), PictureError::None);
  EXPECT_EQ(info.format, format);
  ASSERT_EQ(info.width, want.w);
  ASSERT_EQ(info.height, want.h);
  ASSERT_EQ(px.size(), size_t(want.w) * want.h * 4);
  int worst = 0;
  for (uint32_t y = 0; y < want.h; ++y)
    for (uint32_t x = 0; x < want.w; ++x) {
      bool nearEdge = false;
      for (uint32_t yy = y > margin ? y - margin : 0; yy <= std::min(want.h - 1, y + margin); ++yy)
        for (uint32_t xx = x > margin ? x - margin : 0; xx <= std::min(want.w - 1, x + margin); ++xx)
          nearEdge |= want.at(xx, yy) != want.at(x, y);
      if (!nearEdge)
        worst = std::max(worst, picmake::ColourDistance(Px(px, want.w, x, y), want.at(x, y)));
    }
  EXPECT_LE(worst, tolerance);
}

TEST(PictureDecode, PngInEveryColourTypeAndInterlaced) {
  Image q = Quads();
  ExpectDecodesTo(picmake::Png(q), q, PictureFormat::Png);
  ExpectDecodesTo(picmake::Png(q, picmake::PngKind::Rgb), q, PictureFormat::Png);
  ExpectDecodesTo(picmake::Png(q, picmake::PngKind::Rgba16), q, PictureFormat::Png);
  ExpectDecodesTo(picmake::Png(q, picmake::PngKind::Rgba, true), q, PictureFormat::Png);
  // Palette with a transparent entry keeps the transparency.
  Image t = picmake::Halves(10, 4, kClear, 0x80123456);
  ExpectDecodesTo(picmake::Png(t, picmake::PngKind::Palette), t, PictureFormat::Png);
  // Grey: every channel takes the grey value.
  Image g = picmake::Halves(8, 8, 0xFF202020, 0xFFC0C0C0);
  ExpectDecodesTo(picmake::Png(g, picmake::PngKind::Gray), g, PictureFormat::Png);
}

TEST(PictureDecode, JpegBaselineProgressiveAndGrey) {
  Image q = Quads(32, 24);
  ExpectDecodesTo(picmake::Jpeg(q), q, PictureFormat::Jpeg, 24, 4);
  ExpectDecodesTo(picmake::Jpeg(q, 95, false, true), q, PictureFormat::Jpeg, 24, 4);
  Image g = picmake::Halves(32, 16, 0xFF303030, 0xFFD0D0D0);
  ExpectDecodesTo(picmake::Jpeg(g, 95, true), g, PictureFormat::Jpeg, 12, 4);
}

TEST(PictureDecode, GifFirstFrameWithTransparencyAndInterlace) {
  Image q = picmake::Quadrants(20, 17, kRed, kClear, kBlue, kWhite);
  ExpectDecodesTo(picmake::Gif(q), q, PictureFormat::Gif);
  ExpectDecodesTo(picmake::Gif(q, true), q, PictureFormat::Gif);
  // Only the first frame of an animation counts.
  Image other = picmake::Halves(20, 17, kGreen, kGreen);
  ExpectDecodesTo(picmake::Gif(q, false, {other, other}), q, PictureFormat::Gif);
}

TEST(PictureDecode, WebPLosslessAndLossy) {
  Image q = picmake::Quadrants(16, 16, kRed, 0x8000FF00, kBlue, kWhite);
  ExpectDecodesTo(picmake::WebP(q), q, PictureFormat::WebP);
  Image o = Quads(32, 32);
  ExpectDecodesTo(picmake::WebP(o, false), o, PictureFormat::WebP, 24, 4);
}

TEST(PictureDecode, LargeJpegAndWebPDecodeShrunk) {
  // 403 x 250 quadrants; shrunk by 4 they are 101 x 63 (sides rounded up).
  Image big = Quads(403, 250), small = Quads(101, 63);
  for (Bytes file : {picmake::Jpeg(big), picmake::WebP(big), picmake::WebP(big, false)}) {
    PictureInfo info;
    ASSERT_EQ(ReadPictureInfo(file.data(), file.size(), info), PictureError::None);
    EXPECT_EQ(ShrinkOnLoad(info, 101, 60), 4u);
    EXPECT_EQ(ShrinkOnLoad(info, 102, 60), 2u);
    EXPECT_EQ(ShrinkOnLoad(info, 500, 60), 1u);
    const PictureInfo shrunk = ShrunkInfo(info, 4);
    ASSERT_EQ(shrunk.width, 101u);
    ASSERT_EQ(shrunk.height, 63u);
    std::vector<uint8_t> px(size_t(101) * 63 * 4);
    uint32_t rows = 0;
    ASSERT_EQ(DecodePicture(file.data(), file.size(), px.data(), px.size() - 1, rows, 4), PictureError::NoMemory);
    ASSERT_EQ(DecodePicture(file.data(), file.size(), px.data(), px.size(), rows, 4), PictureError::None);
    EXPECT_EQ(rows, 63u);
    int worst = 0;
    for (uint32_t y : {2u, 29u, 34u, 60u})
      for (uint32_t x : {2u, 47u, 53u, 98u})
        worst = std::max(worst, picmake::ColourDistance(Px(px, 101, x, y), small.at(x, y)));
    EXPECT_LE(worst, 24);
  }
  // Formats read only at full size say so instead of writing a wrong size.
  Bytes png = picmake::Png(big);
  PictureInfo info;
  ASSERT_EQ(ReadPictureInfo(png.data(), png.size(), info), PictureError::None);
  EXPECT_EQ(ShrinkOnLoad(info, 10, 10), 1u);
  std::vector<uint8_t> px(size_t(403) * 250 * 4);
  uint32_t rows = 0;
  EXPECT_EQ(DecodePicture(png.data(), png.size(), px.data(), px.size(), rows, 2), PictureError::Unsupported);
}

TEST(PictureDecode, BmpDepthsOrientationsAndRle) {
  Image q = Quads(13, 7); // odd width: rows are padded
  ExpectDecodesTo(picmake::Bmp(q, 24), q, PictureFormat::Bmp);
  ExpectDecodesTo(picmake::Bmp(q, 24, true), q, PictureFormat::Bmp);
  ExpectDecodesTo(picmake::Bmp(q, 8), q, PictureFormat::Bmp);
  ExpectDecodesTo(picmake::Bmp(q, 4), q, PictureFormat::Bmp);
  ExpectDecodesTo(picmake::Bmp(q, 8, false, true), q, PictureFormat::Bmp);
  Image two = picmake::Halves(9, 3, 0xFF000000, kWhite);
  ExpectDecodesTo(picmake::Bmp(two, 1), two, PictureFormat::Bmp);
  ExpectDecodesTo(picmake::Bmp(q, 16), q, PictureFormat::Bmp, 8);
  // 32 bits with real alpha keeps it; all-zero alpha means opaque.
  Image a = picmake::Halves(6, 4, 0x40FF0000, kBlue);
  ExpectDecodesTo(picmake::Bmp(a, 32), a, PictureFormat::Bmp);
  Image zero = picmake::Halves(6, 4, 0x00FF0000, 0x000000FF);
  Image opaque = picmake::Halves(6, 4, kRed, kBlue);
  ExpectDecodesTo(picmake::Bmp(zero, 32), opaque, PictureFormat::Bmp);
}

TEST(PictureDecode, IcoTakesTheLargestImageBmpOrPng) {
  Image small = picmake::Halves(16, 16, kGreen, kGreen);
  Image big = Quads(48, 48);
  Bytes ico = picmake::Ico({{16, 16, 32, picmake::IcoDib(small)}, {48, 48, 32, picmake::Png(big)},
                            {32, 32, 32, picmake::IcoDib(picmake::Halves(32, 32, kGreen, kGreen))}});
  ExpectDecodesTo(ico, big, PictureFormat::Ico);
  // A 24-bit icon gets its transparency from the AND mask.
  Image masked = picmake::Quadrants(32, 32, kClear, kRed, kBlue, kWhite);
  ExpectDecodesTo(picmake::Ico({{32, 32, 24, picmake::IcoDib(masked, 24)}}), masked, PictureFormat::Ico);
  // Same size: more colours win.
  Image deep = picmake::Halves(16, 16, kRed, kBlue);
  Bytes two = picmake::Ico({{16, 16, 8, picmake::IcoDib(small, 8)}, {16, 16, 32, picmake::IcoDib(deep, 32)}});
  ExpectDecodesTo(two, deep, PictureFormat::Ico);
  // A broken best entry is passed over for the next one.
  Bytes broken = picmake::Ico({{64, 64, 32, Bytes(10, 0xAB)}, {16, 16, 32, picmake::IcoDib(deep)}});
  ExpectDecodesTo(broken, deep, PictureFormat::Ico);
}

TEST(PictureDecode, HugeDimensionsAreRefusedBeforeAllocation) {
  PictureInfo info;
  Bytes png = picmake::PngHeaderOnly(60000, 60000);
  EXPECT_EQ(ReadPictureInfo(png.data(), png.size(), info), PictureError::TooLarge);
  std::vector<uint8_t> px;
  EXPECT_EQ(DecodePicture(png.data(), png.size(), info, px), PictureError::TooLarge);
  EXPECT_TRUE(px.empty());

  Bytes bmp = picmake::Bmp(Quads(4, 4));
  bmp[18] = 0x60, bmp[19] = 0xEA, bmp[22] = 0x60, bmp[23] = 0xEA; // 60000 x 60000
  EXPECT_EQ(ReadPictureInfo(bmp.data(), bmp.size(), info), PictureError::TooLarge);

  Bytes gif = picmake::Gif(Quads(4, 4));
  gif[6] = 0x60, gif[7] = 0xEA, gif[8] = 0x60, gif[9] = 0xEA; // logical screen
  EXPECT_EQ(ReadPictureInfo(gif.data(), gif.size(), info), PictureError::TooLarge);

  Bytes jpg = picmake::Jpeg(Quads(16, 16));
  for (size_t i = 2; i + 9 < jpg.size(); ++i)
    if (jpg[i] == 0xFF && jpg[i + 1] == 0xC0) { // SOF0: length, precision, height, width
      jpg[i + 5] = 0xEA, jpg[i + 6] = 0x60, jpg[i + 7] = 0xEA, jpg[i + 8] = 0x60;
      break;
    }
  EXPECT_EQ(ReadPictureInfo(jpg.data(), jpg.size(), info), PictureError::TooLarge);
}

TEST(PictureDecode, CutOffFilesReportWhatIsGood) {
  // Noise, so that every part of the file carries its share of the rows.
  Image q = Quads(256, 256);
  std::mt19937 noise(3);
  for (uint32_t y = 0; y < q.h; ++y)
    for (uint32_t x = 0; x < q.w; ++x)
      q.set(x, y, 0xFF000000u | (noise() & 0xC0C0C0u)); // 64 colours: GIF can hold them
  struct Case {
    const char *name;
    Bytes file;
    bool topRowsKept; // formats that decode from the top can keep the rows they had
  } cases[] = {
      {"png", picmake::Png(q), true},     {"jpeg", picmake::Jpeg(q), true}, {"gif", picmake::Gif(q), true},
      {"webp", picmake::WebP(q), false},  {"bmp", picmake::Bmp(q), false},
      {"ico", picmake::Ico({{0, 0, 32, picmake::IcoDib(q)}}), false},
  };
  for (auto &c : cases) {
    SCOPED_TRACE(c.name);
    Bytes cut(c.file.begin(), c.file.begin() + long(c.file.size() * 2 / 3));
    PictureInfo info;
    std::vector<uint8_t> px;
    PictureError e = DecodePicture(cut.data(), cut.size(), info, px);
    EXPECT_NE(e, PictureError::None);
    EXPECT_LT(px.size(), size_t(256) * 256 * 4);
    if (c.topRowsKept && e != PictureError::Unsupported) {
      EXPECT_GT(px.size(), 0u);
    }
    // Shorter and shorter: never a crash, never success.
    for (size_t n = 0; n < cut.size(); n += 1 + n / 2)
      EXPECT_NE(DecodePicture(cut.data(), n, info, px), PictureError::None);
  }
}

TEST(PictureDecode, DamagedBytesNeverCrash) {
  Image q = picmake::Quadrants(24, 20, kRed, kClear, kBlue, kWhite);
  std::vector<Bytes> files = {picmake::Png(q), picmake::Jpeg(q), picmake::Gif(q, true), picmake::WebP(q),
                              picmake::Bmp(q, 8, false, true), picmake::Ico({{24, 20, 32, picmake::IcoDib(q)}})};
  std::mt19937 rng(7);
  for (const Bytes &f : files)
    for (int round = 0; round < 300; ++round) {
      Bytes d = f;
      for (int k = 0; k < 1 + round % 4; ++k)
        d[rng() % d.size()] = uint8_t(rng());
      PictureInfo info;
      std::vector<uint8_t> px;
      if (DecodePicture(d.data(), d.size(), info, px) == PictureError::None) {
        EXPECT_EQ(px.size(), size_t(info.width) * info.height * 4);
      }
    }
}

TEST(PictureDecode, NotAPicture) {
  PictureInfo info;
  const uint8_t text[] = "<html>404 Not Found</html>";
  EXPECT_EQ(ReadPictureInfo(text, sizeof text, info), PictureError::Unsupported);
  EXPECT_EQ(ReadPictureInfo(nullptr, 0, info), PictureError::Unsupported);
}

TEST(PictureEncode, PngRoundTripKeepsPixelsAndAlpha) {
  Image q = picmake::Quadrants(7, 5, kRed, 0x7F00FF00, kClear, kWhite);
  std::vector<uint8_t> png;
  ASSERT_EQ(EncodePng(q.px.data(), q.w, q.h, q.w * 4, png), PictureError::None);
  ExpectDecodesTo(png, q, PictureFormat::Png);
  EXPECT_NE(EncodePng(q.px.data(), 0, 5, 0, png), PictureError::None);
}

} // namespace
