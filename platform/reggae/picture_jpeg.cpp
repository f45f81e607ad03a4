// JPEG reading on libjpeg-turbo, which writes A R G B rows directly.
// libjpeg reports fatal errors by longjmp; no C++ object with a destructor
// lives across the setjmp.
#include <cstdio> // jpeglib.h needs FILE
#include <jpeglib.h>
#include <jerror.h>

#include <csetjmp>
#include <cstring>

#include "reggae/picture_codecs.h"

namespace reggae::pictures {
namespace {

struct JpegError {
  jpeg_error_mgr pub;
  jmp_buf jump;
  bool ranOut;
};

void OnFatal(j_common_ptr cinfo) {
  auto *err = reinterpret_cast<JpegError *>(cinfo->err);
  longjmp(err->jump, 1);
}

// Damaged entropy data is tolerated (libjpeg patches it up), but data that
// ends early is not: the picture would be grey from there on.
void OnMessage(j_common_ptr cinfo, int level) {
  auto *err = reinterpret_cast<JpegError *>(cinfo->err);
  if (level < 0) {
    if (err->pub.msg_code == JWRN_JPEG_EOF) {
      err->ranOut = true;
      longjmp(err->jump, 1);
    }
    // A flood of warnings is how hostile files make decoding crawl.
    if (++err->pub.num_warnings > 1000)
      longjmp(err->jump, 1);
  }
}

void Setup(jpeg_decompress_struct &cinfo, JpegError &err) {
  cinfo.err = jpeg_std_error(&err.pub);
  err.pub.error_exit = OnFatal;
  err.pub.emit_message = OnMessage;
  err.pub.output_message = [](j_common_ptr) {};
  err.ranOut = false;
}

PictureError InfoInner(jpeg_decompress_struct &cinfo, JpegError &err, const uint8_t *data, size_t size,
                       PictureInfo &info) {
  if (setjmp(err.jump))
    return err.ranOut ? PictureError::Truncated : PictureError::Corrupt;
  jpeg_create_decompress(&cinfo);
  jpeg_mem_src(&cinfo, data, static_cast<unsigned long>(size));
  jpeg_read_header(&cinfo, TRUE);
  info.format = PictureFormat::Jpeg;
  info.width = cinfo.image_width;
  info.height = cinfo.image_height;
  return PictureError::None;
}

inline uint8_t Mul255(unsigned a, unsigned b) { return uint8_t((a * b + 127) / 255); }

PictureError DecodeInner(jpeg_decompress_struct &cinfo, JpegError &err, const uint8_t *data, size_t size,
                         uint8_t *dst, uint32_t &rowsDone, uint32_t shrink) {
  if (setjmp(err.jump))
    return err.ranOut ? PictureError::Truncated : PictureError::Corrupt;
  jpeg_create_decompress(&cinfo);
  jpeg_mem_src(&cinfo, data, static_cast<unsigned long>(size));
  jpeg_read_header(&cinfo, TRUE);
  if (!PictureFits(cinfo.image_width, cinfo.image_height))
    return PictureError::TooLarge;
  bool cmyk = cinfo.jpeg_color_space == JCS_CMYK || cinfo.jpeg_color_space == JCS_YCCK;
  // libjpeg-turbo cannot turn CMYK into RGB; it hands us CMYK and we convert.
  cinfo.out_color_space = cmyk ? JCS_CMYK : JCS_EXT_ARGB;
  cinfo.dct_method = JDCT_ISLOW;
  cinfo.scale_num = 1;
  cinfo.scale_denom = shrink;
  jpeg_start_decompress(&cinfo);
  const PictureInfo want = ShrunkInfo(PictureInfo{PictureFormat::Jpeg, cinfo.image_width, cinfo.image_height}, shrink);
  if (cinfo.output_width != want.width || cinfo.output_height != want.height || cinfo.output_components != 4)
    longjmp(err.jump, 1);
  const size_t bpl = size_t(cinfo.output_width) * 4;
  while (cinfo.output_scanline < cinfo.output_height) {
    JSAMPROW row = dst + size_t(cinfo.output_scanline) * bpl;
    if (jpeg_read_scanlines(&cinfo, &row, 1) != 1)
      longjmp(err.jump, 1);
    if (cmyk) {
      // Adobe writes CMYK inverted, which is what nearly every file out there does.
      for (size_t x = 0; x < cinfo.output_width; ++x) {
        uint8_t *p = row + x * 4;
        unsigned c = p[0], m = p[1], yy = p[2], k = p[3];
        p[0] = 0xFF;
        p[1] = Mul255(c, k);
        p[2] = Mul255(m, k);
        p[3] = Mul255(yy, k);
      }
    }
    rowsDone = cinfo.output_scanline;
  }
  jpeg_finish_decompress(&cinfo);
  return PictureError::None;
}

} // namespace

PictureError JpegInfo(const uint8_t *data, size_t size, PictureInfo &info) {
  jpeg_decompress_struct cinfo;
  JpegError err;
  std::memset(&cinfo, 0, sizeof cinfo);
  Setup(cinfo, err);
  PictureError e = InfoInner(cinfo, err, data, size, info);
  jpeg_destroy_decompress(&cinfo);
  return e;
}

PictureError JpegDecode(const uint8_t *data, size_t size, uint8_t *dst, size_t dstSize, uint32_t &rowsDone,
                        uint32_t shrink) {
  rowsDone = 0;
  PictureInfo pi;
  if (PictureError e = JpegInfo(data, size, pi); e != PictureError::None)
    return e;
  pi = ShrunkInfo(pi, shrink);
  if (dstSize < size_t(pi.width) * pi.height * 4)
    return PictureError::NoMemory;
  jpeg_decompress_struct cinfo;
  JpegError err;
  std::memset(&cinfo, 0, sizeof cinfo);
  Setup(cinfo, err);
  PictureError e = DecodeInner(cinfo, err, data, size, dst, rowsDone, shrink);
  jpeg_destroy_decompress(&cinfo);
  return e;
}

} // namespace reggae::pictures
