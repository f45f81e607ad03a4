// libpng reports errors by longjmp, so the functions that call it keep no C++
// objects with destructors alive across the setjmp.
#include "clib/png_codec.h"

#include <png.h>

#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <new>

namespace clib::png {
namespace {

void QuietWarning(png_structp, png_const_charp) {}
[[noreturn]] void QuietError(png_structp png, png_const_charp) { png_longjmp(png, 1); }

// ---- reading ----

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
  Error Failure() const { return in.ranOut ? Error::Truncated : Error::Corrupt; }
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

Error InfoInner(PngReader &r, Size &out) {
  if (setjmp(png_jmpbuf(r.png)))
    return r.Failure();
  png_read_info(r.png, r.info);
  out.width = png_get_image_width(r.png, r.info);
  out.height = png_get_image_height(r.png, r.info);
  return Error::None;
}

// rowPtrs is only used for interlaced pictures (libpng needs every row at once).
Error DecodeInner(PngReader &r, uint8_t *dst, png_bytep *rowPtrs, uint32_t &rowsDone) {
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
  return Error::None;
}

// ---- writing ----

// The pixels being written: A R G B bytes, or 0xAARRGGBB words.
struct ArgbSource {
  const uint8_t *bytes;
  const uint32_t *words;
  size_t stride; // in bytes or in words
  uint32_t At(uint32_t x, uint32_t y) const {
    if (words)
      return words[size_t(y) * stride + x];
    const uint8_t *p = bytes + size_t(y) * stride + size_t(x) * 4;
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
  }
};

struct PngWriteJob {
  ArgbSource src;
  uint32_t width, height;
  EncodeOptions options;
  std::vector<uint8_t> *out;
  bool outOfMemory;
  uint8_t *row; // one row in the file's layout
  // Palette pictures only:
  const std::map<uint32_t, uint8_t> *index;
  const png_color *palette;
  const png_byte *alpha;
  int colours;
};

void WriteToVector(png_structp png, png_bytep data, size_t length) {
  auto *job = static_cast<PngWriteJob *>(png_get_io_ptr(png));
  try {
    job->out->insert(job->out->end(), data, data + length);
    return;
  } catch (const std::bad_alloc &) {
    job->outOfMemory = true;
  }
  png_error(png, "out of memory");
}
void FlushNothing(png_structp) {}

// Puts row y in the file's layout into job.row.
void StoreRow(const PngWriteJob &job, uint32_t y) {
  uint8_t *o = job.row;
  for (uint32_t x = 0; x < job.width; ++x) {
    const uint32_t c = job.src.At(x, y);
    const uint8_t a = uint8_t(c >> 24), r = uint8_t(c >> 16), g = uint8_t(c >> 8), b = uint8_t(c);
    switch (job.options.stored) {
    case Stored::Rgba: *o++ = r, *o++ = g, *o++ = b, *o++ = a; break;
    case Stored::Rgb: *o++ = r, *o++ = g, *o++ = b; break;
    case Stored::Gray: *o++ = uint8_t((r * 77u + g * 150u + b * 29u + 128) >> 8); break;
    case Stored::Palette: *o++ = job.index->find(c)->second; break;
    case Stored::Rgba16:
      for (uint8_t v : {r, g, b, a})
        *o++ = v, *o++ = v;
      break;
    }
  }
}

Error EncodeInner(png_structp png, png_infop info, PngWriteJob &job) {
  if (setjmp(png_jmpbuf(png)))
    return job.outOfMemory ? Error::NoMemory : Error::Corrupt;
  const Stored stored = job.options.stored;
  const int type = stored == Stored::Rgb       ? PNG_COLOR_TYPE_RGB
                   : stored == Stored::Gray    ? PNG_COLOR_TYPE_GRAY
                   : stored == Stored::Palette ? PNG_COLOR_TYPE_PALETTE
                                               : PNG_COLOR_TYPE_RGB_ALPHA;
  png_set_write_fn(png, &job, WriteToVector, FlushNothing);
  png_set_IHDR(png, info, job.width, job.height, stored == Stored::Rgba16 ? 16 : 8, type,
               job.options.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  png_set_compression_level(png, job.options.compression);
  if (stored == Stored::Palette) {
    png_set_PLTE(png, info, job.palette, job.colours);
    png_set_tRNS(png, info, job.alpha, job.colours, nullptr);
  }
  png_write_info(png, info);
  const int passes = png_set_interlace_handling(png);
  for (int pass = 0; pass < passes; ++pass)
    for (uint32_t y = 0; y < job.height; ++y) {
      StoreRow(job, y);
      png_write_row(png, job.row);
    }
  png_write_end(png, nullptr);
  return Error::None;
}

Error EncodeFrom(const ArgbSource &src, uint32_t width, uint32_t height, std::vector<uint8_t> &out,
                 const EncodeOptions &options) {
  out.clear();
  if (!width || !height)
    return Error::Unsupported;
  // The palette: every distinct colour in the order it first appears.
  std::map<uint32_t, uint8_t> index;
  std::vector<png_color> palette;
  std::vector<png_byte> alpha;
  if (options.stored == Stored::Palette)
    for (uint32_t y = 0; y < height; ++y)
      for (uint32_t x = 0; x < width; ++x) {
        const uint32_t c = src.At(x, y);
        if (index.count(c))
          continue;
        if (index.size() == 256)
          return Error::Unsupported;
        index.emplace(c, uint8_t(index.size()));
        palette.push_back({png_byte(c >> 16), png_byte(c >> 8), png_byte(c)});
        alpha.push_back(png_byte(c >> 24));
      }
  const size_t bytesPerPixel = options.stored == Stored::Rgba16 ? 8
                               : options.stored == Stored::Rgba ? 4
                               : options.stored == Stored::Rgb  ? 3
                                                                : 1;
  std::vector<uint8_t> row(size_t(width) * bytesPerPixel);
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, QuietError, QuietWarning);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  if (!info) {
    png_destroy_write_struct(&png, nullptr);
    return Error::NoMemory;
  }
  PngWriteJob job{src,   width,          height,         options,          &out, false, row.data(),
                  &index, palette.data(), alpha.data(), int(palette.size())};
  Error e = EncodeInner(png, info, job);
  png_destroy_write_struct(&png, &info);
  if (e != Error::None)
    out.clear();
  return e;
}

} // namespace

Error ReadInfo(const uint8_t *data, size_t size, Size &out) {
  PngReader r(data, size);
  if (!r.ok())
    return Error::NoMemory;
  return InfoInner(r, out);
}

Error Decode(const uint8_t *data, size_t size, uint8_t *dst, size_t dstSize, uint32_t &rowsDone,
             const Limits &limits) {
  rowsDone = 0;
  Size s;
  if (Error e = ReadInfo(data, size, s); e != Error::None)
    return e;
  if (!limits.Fits(s.width, s.height))
    return Error::TooLarge;
  if (dstSize < size_t(s.width) * s.height * 4)
    return Error::NoMemory;
  std::vector<png_bytep> rows;
  try {
    rows.resize(s.height);
  } catch (const std::bad_alloc &) {
    return Error::NoMemory;
  }
  for (uint32_t y = 0; y < s.height; ++y)
    rows[y] = dst + size_t(y) * s.width * 4;
  PngReader r(data, size);
  if (!r.ok())
    return Error::NoMemory;
  return DecodeInner(r, dst, rows.data(), rowsDone);
}

bool ReadFile(const std::string &path, uint32_t maxSide, std::vector<uint8_t> &argb, Size &size) {
  std::unique_ptr<FILE, int (*)(FILE *)> f(std::fopen(path.c_str(), "rb"), std::fclose);
  if (!f)
    return false;
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_stdio(&image, f.get()))
    return false;
  // Refuse absurd sizes before allocating.
  if (image.width == 0 || image.height == 0 || image.width > maxSide || image.height > maxSide) {
    png_image_free(&image);
    return false;
  }
  image.format = PNG_FORMAT_ARGB;
  std::vector<uint8_t> buf(PNG_IMAGE_SIZE(image));
  if (!png_image_finish_read(&image, nullptr, buf.data(), 0, nullptr)) {
    png_image_free(&image);
    return false;
  }
  size = Size{image.width, image.height};
  argb = std::move(buf);
  return true;
}

Error Encode(const uint8_t *argb, uint32_t width, uint32_t height, size_t stride, std::vector<uint8_t> &out,
             const EncodeOptions &options) {
  if (!argb || stride < size_t(width) * 4) {
    out.clear();
    return Error::Unsupported;
  }
  return EncodeFrom(ArgbSource{argb, nullptr, stride}, width, height, out, options);
}

Error Encode(const uint32_t *argb, uint32_t width, uint32_t height, size_t stride, std::vector<uint8_t> &out,
             const EncodeOptions &options) {
  if (!argb || stride < width) {
    out.clear();
    return Error::Unsupported;
  }
  return EncodeFrom(ArgbSource{nullptr, argb, stride}, width, height, out, options);
}

} // namespace clib::png
