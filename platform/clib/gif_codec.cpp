#include "clib/gif_codec.h"

#include <gif_lib.h>

#include <algorithm>
#include <cstring>
#include <new>

namespace clib::gif {
namespace {

// ---- reading ----

struct GifInput {
  const uint8_t *data;
  size_t size;
  size_t pos;
  bool ranOut;
};

int ReadFromMemory(GifFileType *gif, GifByteType *out, int length) {
  auto *in = static_cast<GifInput *>(gif->UserData);
  if (length < 0)
    return 0;
  size_t n = std::min(size_t(length), in->size - in->pos);
  if (n < size_t(length))
    in->ranOut = true;
  std::memcpy(out, in->data + in->pos, n);
  in->pos += n;
  return int(n);
}

struct GifFile {
  GifInput in;
  GifFileType *gif = nullptr;
  GifFile(const uint8_t *data, size_t size) : in{data, size, 0, false} {
    int err = 0;
    gif = DGifOpen(&in, ReadFromMemory, &err);
  }
  ~GifFile() {
    int err = 0;
    if (gif)
      DGifCloseFile(gif, &err);
  }
  Error Failure() const { return in.ranOut ? Error::Truncated : Error::Corrupt; }
};

struct FirstFrame {
  int transparent = NO_TRANSPARENT_COLOR;
  uint32_t canvasW = 0, canvasH = 0;
};

// Reads up to the first image descriptor, noting the transparent colour of
// the graphic control block in front of it.
Error SeekFirstFrame(GifFile &f, const Limits &limits, FirstFrame &ff) {
  if (!f.gif)
    return f.Failure();
  for (;;) {
    GifRecordType type;
    if (DGifGetRecordType(f.gif, &type) == GIF_ERROR)
      return f.Failure();
    if (type == TERMINATE_RECORD_TYPE)
      return Error::Corrupt; // no picture at all
    if (type == EXTENSION_RECORD_TYPE) {
      int code = 0;
      GifByteType *ext = nullptr;
      if (DGifGetExtension(f.gif, &code, &ext) == GIF_ERROR)
        return f.Failure();
      while (ext) {
        if (code == GRAPHICS_EXT_FUNC_CODE && ext[0] >= 4) {
          GraphicsControlBlock gcb;
          if (DGifExtensionToGCB(ext[0], ext + 1, &gcb) == GIF_OK)
            ff.transparent = gcb.TransparentColor;
        }
        if (DGifGetExtensionNext(f.gif, &ext) == GIF_ERROR)
          return f.Failure();
      }
      continue;
    }
    if (type == IMAGE_DESC_RECORD_TYPE) {
      if (DGifGetImageDesc(f.gif) == GIF_ERROR)
        return f.Failure();
      const GifImageDesc &d = f.gif->Image;
      if (d.Left < 0 || d.Top < 0 || d.Width <= 0 || d.Height <= 0)
        return Error::Corrupt;
      // A frame that sticks out of a too-small screen widens the canvas.
      uint64_t w = std::max<uint64_t>(uint64_t(f.gif->SWidth), uint64_t(d.Left) + uint64_t(d.Width));
      uint64_t h = std::max<uint64_t>(uint64_t(f.gif->SHeight), uint64_t(d.Top) + uint64_t(d.Height));
      if (!limits.Fits(w, h))
        return Error::TooLarge;
      ff.canvasW = uint32_t(w);
      ff.canvasH = uint32_t(h);
      return Error::None;
    }
    return Error::Corrupt;
  }
}

// Interlaced frames come in four passes: every 8th row from 0, every 8th
// from 4, every 4th from 2, every 2nd from 1.
constexpr int kPassStart[4] = {0, 4, 2, 1}, kPassStep[4] = {8, 8, 4, 2};

// ---- writing ----

int WriteToVector(GifFileType *gif, const GifByteType *data, int length) {
  auto *out = static_cast<std::vector<uint8_t> *>(gif->UserData);
  try {
    out->insert(out->end(), data, data + length);
  } catch (const std::bad_alloc &) {
    return 0;
  }
  return length;
}

bool PutFrame(GifFileType *gif, const Frame &frame, const EncodeOptions &options) {
  GraphicsControlBlock gcb{};
  gcb.DisposalMode = DISPOSAL_UNSPECIFIED;
  gcb.DelayTime = options.delay;
  gcb.TransparentColor = options.transparent;
  GifByteType ext[4];
  size_t n = EGifGCBToExtension(&gcb, ext);
  if (EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, int(n), ext) == GIF_ERROR ||
      EGifPutImageDesc(gif, 0, 0, int(frame.width), int(frame.height), options.interlaced, nullptr) == GIF_ERROR)
    return false;
  const int passes = options.interlaced ? 4 : 1;
  for (int p = 0; p < passes; ++p) {
    const int start = options.interlaced ? kPassStart[p] : 0, step = options.interlaced ? kPassStep[p] : 1;
    for (int y = start; y < int(frame.height); y += step) {
      auto *line = const_cast<GifPixelType *>(&frame.indices[size_t(y) * frame.width]);
      if (EGifPutLine(gif, line, int(frame.width)) == GIF_ERROR)
        return false;
    }
  }
  return true;
}

} // namespace

Error ReadInfo(const uint8_t *data, size_t size, const Limits &limits, Size &out) {
  GifFile f(data, size);
  FirstFrame ff;
  if (Error e = SeekFirstFrame(f, limits, ff); e != Error::None)
    return e;
  out = Size{ff.canvasW, ff.canvasH};
  return Error::None;
}

Error Decode(const uint8_t *data, size_t size, uint8_t *dst, size_t dstSize, uint32_t &rowsDone,
             const Limits &limits) {
  rowsDone = 0;
  GifFile f(data, size);
  FirstFrame ff;
  if (Error e = SeekFirstFrame(f, limits, ff); e != Error::None)
    return e;
  const size_t bpl = size_t(ff.canvasW) * 4;
  if (dstSize < bpl * ff.canvasH)
    return Error::NoMemory;
  const GifImageDesc &d = f.gif->Image;
  const ColorMapObject *map = d.ColorMap ? d.ColorMap : f.gif->SColorMap;
  if (!map || !map->Colors || map->ColorCount <= 0)
    return Error::Corrupt;

  uint8_t palette[256][4];
  for (int i = 0; i < 256; ++i) {
    const GifColorType c = map->Colors[i < map->ColorCount ? i : 0];
    palette[i][0] = i == ff.transparent || i >= map->ColorCount ? 0 : 0xFF;
    palette[i][1] = c.Red;
    palette[i][2] = c.Green;
    palette[i][3] = c.Blue;
  }
  if (ff.transparent >= 0 && ff.transparent < 256)
    std::memset(palette[ff.transparent], 0, 4);

  std::memset(dst, 0, bpl * ff.canvasH); // outside the frame: transparent
  std::vector<GifPixelType> line(size_t(d.Width));
  const int passes = d.Interlace ? 4 : 1;
  for (int p = 0; p < passes; ++p) {
    int start = d.Interlace ? kPassStart[p] : 0, step = d.Interlace ? kPassStep[p] : 1;
    for (int y = start; y < d.Height; y += step) {
      if (DGifGetLine(f.gif, line.data(), d.Width) == GIF_ERROR) {
        // Rows above the frame and, when not interlaced, the rows read so far are good.
        if (!d.Interlace)
          rowsDone = uint32_t(d.Top + y);
        return f.Failure();
      }
      uint8_t *out = dst + size_t(d.Top + y) * bpl + size_t(d.Left) * 4;
      for (int x = 0; x < d.Width; ++x)
        std::memcpy(out + size_t(x) * 4, palette[line[size_t(x)]], 4);
    }
  }
  rowsDone = ff.canvasH;
  return Error::None;
}

Error Encode(uint32_t screenWidth, uint32_t screenHeight, const std::vector<Colour> &palette,
             const std::vector<Frame> &frames, std::vector<uint8_t> &out, const EncodeOptions &options) {
  out.clear();
  if (palette.empty() || palette.size() > 256 || frames.empty())
    return Error::Unsupported;
  for (const Frame &f : frames)
    if (!f.width || !f.height || f.indices.size() < size_t(f.width) * f.height)
      return Error::Unsupported;
  // The colour table holds a power of two entries, at least two.
  int bits = 1;
  while ((size_t(1) << bits) < palette.size())
    ++bits;
  std::vector<GifColorType> colours(size_t(1) << bits);
  for (size_t i = 0; i < palette.size(); ++i)
    colours[i] = GifColorType{palette[i].red, palette[i].green, palette[i].blue};
  int err = 0;
  GifFileType *gif = EGifOpen(&out, WriteToVector, &err);
  if (!gif)
    return Error::NoMemory;
  ColorMapObject *map = GifMakeMapObject(1 << bits, colours.data());
  bool ok = map != nullptr;
  EGifSetGifVersion(gif, true);
  ok = ok && EGifPutScreenDesc(gif, int(screenWidth), int(screenHeight), bits, 0, map) != GIF_ERROR;
  for (size_t f = 0; ok && f < frames.size(); ++f)
    ok = PutFrame(gif, frames[f], options);
  ok = EGifCloseFile(gif, &err) != GIF_ERROR && ok;
  GifFreeMapObject(map);
  if (!ok) {
    out.clear();
    return Error::Corrupt;
  }
  return Error::None;
}

} // namespace clib::gif
