// The PNG writer takes pixels as A R G B bytes (the media framework, the test
// pictures) or as 0xAARRGGBB words (the browser display); both must make the
// same file, which reads back as the source.
#include <gtest/gtest.h>

#include "clib/png_codec.h"
#include "tests/pictures/picture_makers.h"

TEST(PngWriter, WordsAndBytesMakeTheSameFileThatReadsBack) {
  const picmake::Image img = picmake::Quadrants(5, 3, 0xFFFF0000, 0x8000FF00, 0x000000FF, 0xFF123456);
  // The words with a wider row than the picture, to see the stride kept.
  const size_t stride = 7;
  std::vector<uint32_t> words(stride * img.h, 0xDEADBEEF);
  for (uint32_t y = 0; y < img.h; ++y)
    for (uint32_t x = 0; x < img.w; ++x)
      words[y * stride + x] = img.at(x, y);
  clib::png::EncodeOptions fast;
  fast.compression = 3;
  std::vector<uint8_t> fromBytes, fromWords;
  ASSERT_EQ(clib::png::Encode(img.px.data(), img.w, img.h, img.w * 4, fromBytes, fast), clib::Error::None);
  ASSERT_EQ(clib::png::Encode(words.data(), img.w, img.h, stride, fromWords, fast), clib::Error::None);
  EXPECT_EQ(fromWords, fromBytes);

  std::vector<uint8_t> px(img.px.size());
  uint32_t rows = 0;
  ASSERT_EQ(clib::png::Decode(fromWords.data(), fromWords.size(), px.data(), px.size(), rows, {64, 4096}),
            clib::Error::None);
  EXPECT_EQ(rows, img.h);
  EXPECT_EQ(px, img.px);
}
