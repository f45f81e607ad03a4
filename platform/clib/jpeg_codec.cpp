// libjpeg-turbo reads and writes A R G B rows directly. It reports fatal
// errors by longjmp; no C++ object with a destructor lives across the setjmp.
#include "clib/jpeg_codec.h"

#include <cstdio> // jpeglib.h needs FILE
#include <jpeglib.h>
#include <jerror.h>

#include <csetjmp>
#include <cstdlib>
#include <cstring>

namespace clib::jpeg {
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

// For the compress and decompress structs alike.
template <class Struct> void Setup(Struct &cinfo, JpegError &err) {
  std::memset(&cinfo, 0, sizeof cinfo);
  cinfo.err = jpeg_std_error(&err.pub);
  err.pub.error_exit = OnFatal;
  err.pub.emit_message = OnMessage;
  err.pub.output_message = [](j_common_ptr) {};
  err.ranOut = false;
}

Error Failure(const JpegError &err) { return err.ranOut ? Error::Truncated : Error::Corrupt; }

Error InfoInner(jpeg_decompress_struct &cinfo, JpegError &err, const uint8_t *data, size_t size, Size &out) {
  if (setjmp(err.jump))
    return Failure(err);
  jpeg_create_decompress(&cinfo);
  jpeg_mem_src(&cinfo, data, static_cast<unsigned long>(size));
  jpeg_read_header(&cinfo, TRUE);
  out.width = cinfo.image_width;
  out.height = cinfo.image_height;
  return Error::None;
}

inline uint8_t Mul255(unsigned a, unsigned b) { return uint8_t((a * b + 127) / 255); }

Error DecodeInner(jpeg_decompress_struct &cinfo, JpegError &err, const uint8_t *data, size_t size, uint8_t *dst,
                  uint32_t &rowsDone, const Limits &limits, uint32_t shrink) {
  if (setjmp(err.jump))
    return Failure(err);
  jpeg_create_decompress(&cinfo);
  jpeg_mem_src(&cinfo, data, static_cast<unsigned long>(size));
  jpeg_read_header(&cinfo, TRUE);
  if (!limits.Fits(cinfo.image_width, cinfo.image_height))
    return Error::TooLarge;
  bool cmyk = cinfo.jpeg_color_space == JCS_CMYK || cinfo.jpeg_color_space == JCS_YCCK;
  // libjpeg-turbo cannot turn CMYK into RGB; it hands us CMYK and we convert.
  cinfo.out_color_space = cmyk ? JCS_CMYK : JCS_EXT_ARGB;
  cinfo.dct_method = JDCT_ISLOW;
  cinfo.scale_num = 1;
  cinfo.scale_denom = shrink;
  jpeg_start_decompress(&cinfo);
  const Size want = Shrunk(Size{cinfo.image_width, cinfo.image_height}, shrink);
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
  return Error::None;
}

// mem and memSize receive libjpeg's output buffer, which the caller frees.
Error EncodeInner(jpeg_compress_struct &cinfo, JpegError &err, const uint8_t *argb, uint32_t width, uint32_t height,
                  size_t stride, const EncodeOptions &options, unsigned char *&mem, unsigned long &memSize) {
  if (setjmp(err.jump))
    return Error::Corrupt;
  jpeg_create_compress(&cinfo);
  jpeg_mem_dest(&cinfo, &mem, &memSize);
  cinfo.image_width = width;
  cinfo.image_height = height;
  cinfo.input_components = 4;
  cinfo.in_color_space = JCS_EXT_ARGB;
  jpeg_set_defaults(&cinfo);
  if (options.gray)
    jpeg_set_colorspace(&cinfo, JCS_GRAYSCALE);
  jpeg_set_quality(&cinfo, options.quality, TRUE);
  if (options.progressive)
    jpeg_simple_progression(&cinfo);
  jpeg_start_compress(&cinfo, TRUE);
  while (cinfo.next_scanline < cinfo.image_height) {
    JSAMPROW row = const_cast<uint8_t *>(argb + size_t(cinfo.next_scanline) * stride);
    jpeg_write_scanlines(&cinfo, &row, 1);
  }
  jpeg_finish_compress(&cinfo);
  return Error::None;
}

} // namespace

Error ReadInfo(const uint8_t *data, size_t size, Size &out) {
  jpeg_decompress_struct cinfo;
  JpegError err;
  Setup(cinfo, err);
  Error e = InfoInner(cinfo, err, data, size, out);
  jpeg_destroy_decompress(&cinfo);
  return e;
}

Error Decode(const uint8_t *data, size_t size, uint8_t *dst, size_t dstSize, uint32_t &rowsDone,
             const Limits &limits, uint32_t shrink) {
  rowsDone = 0;
  Size s;
  if (Error e = ReadInfo(data, size, s); e != Error::None)
    return e;
  s = Shrunk(s, shrink);
  if (dstSize < size_t(s.width) * s.height * 4)
    return Error::NoMemory;
  jpeg_decompress_struct cinfo;
  JpegError err;
  Setup(cinfo, err);
  Error e = DecodeInner(cinfo, err, data, size, dst, rowsDone, limits, shrink);
  jpeg_destroy_decompress(&cinfo);
  return e;
}

Error Encode(const uint8_t *argb, uint32_t width, uint32_t height, size_t stride, std::vector<uint8_t> &out,
             const EncodeOptions &options) {
  out.clear();
  if (!argb || !width || !height || stride < size_t(width) * 4)
    return Error::Unsupported;
  jpeg_compress_struct cinfo;
  JpegError err;
  Setup(cinfo, err);
  unsigned char *mem = nullptr;
  unsigned long memSize = 0;
  Error e = EncodeInner(cinfo, err, argb, width, height, stride, options, mem, memSize);
  jpeg_destroy_compress(&cinfo);
  // After a failure part-way the buffer may have moved under libjpeg's
  // hands; it is then left alone rather than freed twice.
  if (e == Error::None) {
    out.assign(mem, mem + memSize);
    std::free(mem);
  }
  return e;
}

} // namespace clib::jpeg
