// PNG reading and writing on libpng. libpng reports errors by longjmp, so
// the functions that call it keep no C++ objects with destructors alive
// across the setjmp.
#include <png.h>

#include <csetjmp>
#include <cstring>
#include <new>

#include "reggae/picture_codecs.h"

namespace reggae::pictures {
namespace {

struct PngInput {
  const uint8_t *data;
  size_t size;
  size_t pos;
  bool ranOut;
};

void ReadFromMemory(png_structp png, png_bytep out, size_t length) {
  auto *in = static_cast<PngInput *>(png_get_io_ptr(png));
  if (length > in->size - in->pos) {
    in->ranOut = true;
    png_error(png, "truncated");
  }
  std::memcpy(out, in->data + in->pos, length);
  in->pos += length;
}

void QuietWarning(png_structp, png_const_charp) {}
[[noreturn]] void QuietError(png_structp png, png_const_charp) { png_longjmp(png, 1); }

struct PngReader {
  png_structp png = nullptr;
  png_infop info = nullptr;
  PngInput in{};
  PngReader(const uint8_t *data, size_t size) {
    in = PngInput{data, size, 0, false};
    png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, QuietError, QuietWarning);
    if (png)
      info = png_create_info_struct(png);
    if (info) {
      png_set_read_fn(png, &in, ReadFromMemory);
      // Bound what a hostile file can make libpng allocate before we see it.
      // The sides themselves are checked by the caller, so that an oversized
      // picture is told apart from a damaged one.
      png_set_user_limits(png, 1000000, 1000000);
      png_set_chunk_malloc_max(png, 8u << 20);
      png_set_chunk_cache_max(png, 1000);
    }
  }
  ~PngReader() { png_destroy_read_struct(&png, info ? &info : nullptr, nullptr); }
  bool ok() const { return png && info; }
  PictureError Failure() const { return in.ranOut ? PictureError::Truncated : PictureError::Corrupt; }
};

// Sets transformations so that every kind of PNG reads as 8-bit A, R, G, B.
void AskForArgb(png_structp png, png_infop info) {
  png_byte type = png_get_color_type(png, info);
  png_byte depth = png_get_bit_depth(png, info);
  if (type == PNG_COLOR_TYPE_PALETTE)
    png_set_palette_to_rgb(png);
  if (type == PNG_COLOR_TYPE_GRAY && depth < 8)
    png_set_expand_gray_1_2_4_to_8(png);
  if (png_get_valid(png, info, PNG_INFO_tRNS))
    png_set_tRNS_to_alpha(png);
  if (depth == 16)
    png_set_strip_16(png);
  if (type == PNG_COLOR_TYPE_GRAY || type == PNG_COLOR_TYPE_GRAY_ALPHA)
    png_set_gray_to_rgb(png);
  // The filler goes in front by itself; a real alpha channel comes last and
  // is moved there.
  if (!(type & PNG_COLOR_MASK_ALPHA) && !png_get_valid(png, info, PNG_INFO_tRNS))
    png_set_add_alpha(png, 0xFF, PNG_FILLER_BEFORE);
  else
    png_set_swap_alpha(png);
}

PictureError InfoInner(PngReader &r, PictureInfo &out) {
  if (setjmp(png_jmpbuf(r.png)))
    return r.Failure();
  png_read_info(r.png, r.info);
  out.format = PictureFormat::Png;
  out.width = png_get_image_width(r.png, r.info);
  out.height = png_get_image_height(r.png, r.info);
  return PictureError::None;
}

// rowPtrs is only used for interlaced pictures (libpng needs every row at once).
PictureError DecodeInner(PngReader &r, uint8_t *dst, png_bytep *rowPtrs, uint32_t &rowsDone) {
  if (setjmp(png_jmpbuf(r.png)))
    return r.Failure();
  png_read_info(r.png, r.info);
  png_uint_32 w = png_get_image_width(r.png, r.info), h = png_get_image_height(r.png, r.info);
  AskForArgb(r.png, r.info);
  int passes = png_set_interlace_handling(r.png);
  png_read_update_info(r.png, r.info);
  if (png_get_rowbytes(r.png, r.info) != size_t(w) * 4)
    png_error(r.png, "unexpected row size");
  if (passes > 1) {
    png_read_image(r.png, rowPtrs);
    rowsDone = h;
  } else {
    for (png_uint_32 y = 0; y < h; ++y) {
      png_read_row(r.png, dst + size_t(y) * w * 4, nullptr);
      rowsDone = y + 1;
    }
  }
  // Chunks after the pixels do not matter to us; a file cut off there is whole.
  return PictureError::None;
}

struct PngWriteState {
  std::vector<uint8_t> *out;
  bool failed;
};

void WriteToVector(png_structp png, png_bytep data, size_t length) {
  auto *st = static_cast<PngWriteState *>(png_get_io_ptr(png));
  try {
    st->out->insert(st->out->end(), data, data + length);
  } catch (const std::bad_alloc &) {
    st->failed = true;
    png_error(png, "out of memory");
  }
}
void FlushNothing(png_structp) {}

PictureError EncodeInner(png_structp png, png_infop info, const uint8_t *argb, uint32_t w, uint32_t h,
                         size_t stride, PngWriteState &st) {
  if (setjmp(png_jmpbuf(png)))
    return st.failed ? PictureError::NoMemory : PictureError::Corrupt;
  png_set_write_fn(png, &st, WriteToVector, FlushNothing);
  png_set_IHDR(png, info, w, h, 8, PNG_COLOR_TYPE_RGB_ALPHA, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  png_set_swap_alpha(png); // our rows are A R G B; PNG stores R G B A
  for (uint32_t y = 0; y < h; ++y)
    png_write_row(png, const_cast<png_bytep>(argb + size_t(y) * stride));
  png_write_end(png, nullptr);
  return PictureError::None;
}

} // namespace

PictureError PngInfo(const uint8_t *data, size_t size, PictureInfo &info) {
  PngReader r(data, size);
  if (!r.ok())
    return PictureError::NoMemory;
  return InfoInner(r, info);
}

PictureError PngDecode(const uint8_t *data, size_t size, uint8_t *dst, size_t dstSize, uint32_t &rowsDone) {
  rowsDone = 0;
  PictureInfo pi;
  if (PictureError e = PngInfo(data, size, pi); e != PictureError::None)
    return e;
  if (!PictureFits(pi.width, pi.height))
    return PictureError::TooLarge;
  if (dstSize < size_t(pi.width) * pi.height * 4)
    return PictureError::NoMemory;
  std::vector<png_bytep> rows;
  try {
    rows.resize(pi.height);
  } catch (const std::bad_alloc &) {
    return PictureError::NoMemory;
  }
  for (uint32_t y = 0; y < pi.height; ++y)
    rows[y] = dst + size_t(y) * pi.width * 4;
  PngReader r(data, size);
  if (!r.ok())
    return PictureError::NoMemory;
  return DecodeInner(r, dst, rows.data(), rowsDone);
}

PictureError EncodePng(const uint8_t *argb, uint32_t width, uint32_t height, size_t stride, std::vector<uint8_t> &out) {
  out.clear();
  if (!argb || !PictureFits(width, height) || stride < size_t(width) * 4)
    return PictureError::TooLarge;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, QuietError, QuietWarning);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  if (!info) {
    png_destroy_write_struct(&png, nullptr);
    return PictureError::NoMemory;
  }
  // Icons are tiny; favour speed over the last few bytes.
  png_set_compression_level(png, 6);
  PngWriteState st{&out, false};
  PictureError e = EncodeInner(png, info, argb, width, height, stride, st);
  png_destroy_write_struct(&png, &info);
  if (e != PictureError::None)
    out.clear();
  return e;
}

} // namespace reggae::pictures
