// The picture classes connected as the scale-and-save code connects them,
// pulled by hand instead of by a file output.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <unistd.h>

#include "dos/dos.h"
#include "reggae/picture_decode.h"
#include "reggae/reggae.h"
#include "tests/pictures/picture_makers.h"
#include "support/temp_root.h"

namespace fs = std::filesystem;
using picmake::Bytes;

namespace {

constexpr uint32_t kRed = 0xFFFF0000, kBlue = 0xFF0000FF;

class PicturePipeline : public ::testing::Test {
protected:
  static void SetUpTestSuite() {
    tmp_ = std::make_unique<testsupport::TempRoot>("pictures");
    root_ = tmp_->path();
    ASSERT_TRUE(platform::SetDosRoot(root_.string()));
  }
  static void TearDownTestSuite() { tmp_.reset(); }
  static std::unique_ptr<testsupport::TempRoot> tmp_;
  static fs::path root_;
};
std::unique_ptr<testsupport::TempRoot> PicturePipeline::tmp_;
fs::path PicturePipeline::root_;

TEST_F(PicturePipeline, FileToScaledPngThroughEveryClass) {
  ASSERT_TRUE(picmake::WriteFile((root_ / "RAM" / "in.bmp").string(), picmake::Bmp(picmake::Halves(90, 50, kRed, kBlue))));
  LONG err = -1;
  Object *src = MediaNewObjectTags(MMA_StreamType, "file.stream", MMA_StreamName, "RAM:in.bmp", MMA_MediaType,
                                   MMV_MediaType_Picture, MMA_ErrorCode, &err);
  ASSERT_NE(src, nullptr);
  EXPECT_EQ(err, MMERR_OK);
  IPTR w = MediaGetPort(src, 0, MMA_Video_Width), h = MediaGetPort(src, 0, MMA_Video_Height);
  EXPECT_EQ(w, 90u);
  EXPECT_EQ(h, 50u);
  EXPECT_EQ(MediaGetPort(src, 0, MMA_Video_BytesPerRow), 360u);
  ULONG size = ULONG(w * h * 4);
  APTR px = MediaAllocVec(size);
  ASSERT_EQ(DoMethod(src, MMM_Pull, 0, px, size + 100), size); // asking for more gets the picture
  EXPECT_EQ(DoMethod(src, MMM_Pull, 0, px, 4), 0u);
  EXPECT_EQ(MediaGetPort(src, 0, MMA_ErrorCode), IPTR(MMERR_END_OF_DATA));

  QUAD len = size;
  Object *mem = NewObject(nullptr, "memory.stream", MMA_StreamHandle, px, MMA_StreamLength, &len);
  Object *flt = NewObject(nullptr, "rawvideo.filter", MMA_Video_Width, w, MMA_Video_Height, h);
  Object *scl = NewObject(nullptr, "scale.filter", MMA_ArgumentString, "WIDTH=32 HEIGHT=20 MODE=4");
  ASSERT_TRUE(mem && flt && scl);
  EXPECT_TRUE(MediaSetPort(flt, 1, MMA_PortFormat, MMFC_VIDEO_ARGB32));
  EXPECT_FALSE(MediaSetPort(flt, 1, MMA_PortFormat, MMFC_AUDIO_INT16));
  ASSERT_TRUE(MediaConnect(mem, 0, flt, 0));
  ASSERT_TRUE(MediaConnect(flt, 1, scl, 0));
  err = -1;
  EXPECT_EQ(MediaBuildFromArgsTags("JPEG", scl, 1, MMA_ErrorCode, &err), nullptr);
  EXPECT_EQ(err, MMERR_UNSUPPORTED_FORMAT);
  Object *saver = MediaBuildFromArgsTags("PNG", scl, 1, MMA_ErrorCode, &err);
  ASSERT_NE(saver, nullptr);

  // Pulled in small pieces, as a file output does.
  Bytes png;
  uint8_t chunk[100];
  for (;;) {
    LONG got = LONG(DoMethod(saver, MMM_Pull, 1, chunk, sizeof chunk));
    png.insert(png.end(), chunk, chunk + got);
    if (got < LONG(sizeof chunk))
      break;
  }
  EXPECT_EQ(MediaGetPort(saver, 1, MMA_ErrorCode), IPTR(MMERR_END_OF_DATA));
  reggae::pictures::PictureInfo info;
  std::vector<uint8_t> out;
  ASSERT_EQ(reggae::pictures::DecodePicture(png.data(), png.size(), info, out), reggae::pictures::PictureError::None);
  EXPECT_EQ(info.width, 32u);
  EXPECT_EQ(info.height, 20u);
  EXPECT_EQ(out[0], 0xFF);
  EXPECT_EQ(out[1], 0xFF); // red on the left
  EXPECT_EQ(out[31 * 4 + 3], 0xFF); // blue on the right

  for (Object *o : {saver, scl, flt, mem, src})
    DisposeObject(o);
  MediaFreeVec(px);
}

TEST_F(PicturePipeline, BadSourcesFailWithAReason) {
  LONG err = 0;
  EXPECT_EQ(MediaNewObjectTags(MMA_StreamType, "file.stream", MMA_StreamName, "RAM:none.png", MMA_MediaType, 2,
                               MMA_ErrorCode, &err),
            nullptr);
  EXPECT_EQ(err, MMERR_FILE_NOT_FOUND);
  ASSERT_TRUE(picmake::WriteFile((root_ / "RAM" / "huge.png").string(), picmake::PngHeaderOnly(60000, 60000)));
  EXPECT_EQ(MediaNewObjectTags(MMA_StreamType, "file.stream", MMA_StreamName, "RAM:huge.png", MMA_MediaType, 2,
                               MMA_ErrorCode, &err),
            nullptr);
  EXPECT_EQ(err, MMERR_TOO_LARGE);
  // A short picture: the pull says how much is good and why it stopped.
  Bytes full = picmake::Png(picmake::Halves(200, 200, kRed, kBlue));
  Bytes cut(full.begin(), full.begin() + long(full.size() / 2));
  ASSERT_TRUE(picmake::WriteFile((root_ / "RAM" / "cut.png").string(), cut));
  Object *src = MediaNewObjectTags(MMA_StreamType, "file.stream", MMA_StreamName, "RAM:cut.png", MMA_MediaType, 2,
                                   MMA_ErrorCode, &err);
  ASSERT_NE(src, nullptr);
  std::vector<uint8_t> px(200 * 200 * 4);
  EXPECT_LT(DoMethod(src, MMM_Pull, 0, px.data(), px.size()), px.size());
  EXPECT_EQ(MediaGetPort(src, 0, MMA_ErrorCode), IPTR(MMERR_CORRUPT_DATA));
  DisposeObject(src);
  // Bad filter arguments refuse creation.
  EXPECT_EQ(NewObject(nullptr, "scale.filter", MMA_ArgumentString, "WIDTH=0 HEIGHT=20", MMA_ErrorCode, &err), nullptr);
  EXPECT_EQ(err, MMERR_BAD_ARGUMENTS);
  EXPECT_EQ(NewObject(nullptr, "rawvideo.filter", MMA_Video_Width, 60000, MMA_Video_Height, 60000, MMA_ErrorCode, &err),
            nullptr);
  EXPECT_EQ(err, MMERR_TOO_LARGE);
}

} // namespace
