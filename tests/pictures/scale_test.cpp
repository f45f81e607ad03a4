// Area averaging, alpha handling and the scale filter's arguments.
#include <gtest/gtest.h>

#include "reggae/pixel_scale.h"
#include "reggae/scale_filter.h"
#include "tests/pictures/picture_makers.h"

using namespace reggae::pictures;
using picmake::Image;

namespace {

uint32_t At(const std::vector<uint8_t> &px, uint32_t w, uint32_t x, uint32_t y) {
  const uint8_t *p = &px[(size_t(y) * w + x) * 4];
  return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}

TEST(PixelScale, AreaAverageIsTheMeanOfTheCoveredPixels) {
  // 4 x 2 -> 2 x 1: each output pixel averages a 2 x 2 block.
  Image img{4, 2, std::vector<uint8_t>(32)};
  img.set(0, 0, 0xFF000000), img.set(1, 0, 0xFFFFFFFF), img.set(0, 1, 0xFF000000), img.set(1, 1, 0xFFFFFFFF);
  img.set(2, 0, 0xFF640000), img.set(3, 0, 0xFF640000), img.set(2, 1, 0xFF000064), img.set(3, 1, 0xFF000064);
  std::vector<uint8_t> out;
  ASSERT_TRUE(ScalePixels(img.px.data(), 4, 2, 16, 2, 1, out));
  EXPECT_EQ(At(out, 2, 0, 0), 0xFF808080u);
  EXPECT_EQ(At(out, 2, 1, 0), 0xFF320032u);
}

TEST(PixelScale, FractionalCoverageCountsByShare) {
  // 3 -> 2: the middle pixel is shared half and half.
  Image img{3, 1, std::vector<uint8_t>(12)};
  img.set(0, 0, 0xFF000000), img.set(1, 0, 0xFF960000), img.set(2, 0, 0xFFFF0000);
  std::vector<uint8_t> out;
  ASSERT_TRUE(ScalePixels(img.px.data(), 3, 1, 12, 2, 1, out));
  EXPECT_EQ(At(out, 2, 0, 0), 0xFF320000u); // (0 * 1 + 150 * 0.5) / 1.5
  EXPECT_EQ(At(out, 2, 1, 0), 0xFFDC0000u); // (150 * 0.5 + 255) / 1.5
}

TEST(PixelScale, InvisibleColoursDoNotBleed) {
  // Half transparent red, half opaque blue: the mix is half-transparent blue, not purple.
  Image img = picmake::Halves(2, 2, 0x00FF0000, 0xFF0000FF);
  std::vector<uint8_t> out;
  ASSERT_TRUE(ScalePixels(img.px.data(), 2, 2, 8, 1, 1, out));
  EXPECT_EQ(At(out, 1, 0, 0), 0x800000FFu);
  // Fully transparent stays fully transparent.
  Image clear = picmake::Halves(4, 4, 0, 0);
  ASSERT_TRUE(ScalePixels(clear.px.data(), 4, 4, 16, 2, 2, out));
  for (uint8_t b : out)
    EXPECT_EQ(b, 0);
}

TEST(PixelScale, ShrinkingKeepsHalvesAndGrowingKeepsCorners) {
  Image big = picmake::Quadrants(1000, 600, 0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFFFFFFFF);
  std::vector<uint8_t> out;
  ASSERT_TRUE(ScalePixels(big.px.data(), 1000, 600, 4000, 32, 20, out));
  EXPECT_EQ(At(out, 32, 0, 0), 0xFFFF0000u);
  EXPECT_EQ(At(out, 32, 31, 0), 0xFF00FF00u);
  EXPECT_EQ(At(out, 32, 0, 19), 0xFF0000FFu);
  EXPECT_EQ(At(out, 32, 31, 19), 0xFFFFFFFFu);

  Image small = picmake::Quadrants(2, 2, 0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFFFFFFFF);
  ASSERT_TRUE(ScalePixels(small.px.data(), 2, 2, 8, 40, 30, out));
  EXPECT_EQ(At(out, 40, 0, 0), 0xFFFF0000u);
  EXPECT_EQ(At(out, 40, 39, 29), 0xFFFFFFFFu);
  // Same size is an exact copy; nearest never mixes.
  ASSERT_TRUE(ScalePixels(big.px.data(), 1000, 600, 4000, 1000, 600, out));
  EXPECT_EQ(out, big.px);
  ASSERT_TRUE(ScalePixels(big.px.data(), 1000, 600, 4000, 7, 3, out, ScaleMode::Nearest));
  for (size_t i = 0; i < out.size(); i += 4)
    EXPECT_EQ(out[i], 0xFF);
}

TEST(PixelScale, OneSideShrinksWhileTheOtherGrows) {
  Image img = picmake::Halves(100, 2, 0xFFFF0000, 0xFF0000FF);
  std::vector<uint8_t> out;
  ASSERT_TRUE(ScalePixels(img.px.data(), 100, 2, 400, 4, 50, out));
  EXPECT_EQ(At(out, 4, 0, 49), 0xFFFF0000u);
  EXPECT_EQ(At(out, 4, 3, 0), 0xFF0000FFu);
  EXPECT_FALSE(ScalePixels(img.px.data(), 100, 2, 400, 0, 5, out));
}

TEST(ScaleArguments, ParsesTheFilterString) {
  ScaleArguments a;
  ASSERT_TRUE(ParseScaleArguments("WIDTH=32 HEIGHT=20 MODE=4", a));
  EXPECT_EQ(a.width, 32u);
  EXPECT_EQ(a.height, 20u);
  EXPECT_EQ(a.mode, ScaleMode::AreaAverage);
  ASSERT_TRUE(ParseScaleArguments("  height=7\twidth=9 mode=0 ", a));
  EXPECT_EQ(a.width, 9u);
  EXPECT_EQ(a.height, 7u);
  EXPECT_EQ(a.mode, ScaleMode::Nearest);
  for (const char *bad : {"", "WIDTH=32", "WIDTH=32 HEIGHT=0", "WIDTH=32 HEIGHT=20 MODE=3", "WIDTH=x HEIGHT=2",
                          "WIDTH=32 HEIGHT=20 DEPTH=3", "WIDTH=99999999999 HEIGHT=1", "WIDTH=40000 HEIGHT=1",
                          "WIDTH= HEIGHT=2", "WIDTH=3a HEIGHT=2"})
    EXPECT_FALSE(ParseScaleArguments(bad, a)) << bad;
  EXPECT_FALSE(ParseScaleArguments(nullptr, a));
}

} // namespace
