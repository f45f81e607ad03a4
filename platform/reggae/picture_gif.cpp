// GIF reading on giflib: the first frame, drawn on a transparent canvas of
// the logical screen size. Frames are read line by line, so an animation
// with many frames costs no more than its first one.
#include <gif_lib.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "reggae/picture_codecs.h"

namespace reggae::pictures {
namespace {

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
  PictureError Failure() const { return in.ranOut ? PictureError::Truncated : PictureError::Corrupt; }
};

struct FirstFrame {
  int transparent = NO_TRANSPARENT_COLOR;
  uint32_t canvasW = 0, canvasH = 0;
};

// Reads up to the first image descriptor, noting the transparent colour of
// the graphic control block in front of it.
PictureError SeekFirstFrame(GifFile &f, FirstFrame &ff) {
  if (!f.gif)
    return f.Failure();
  for (;;) {
    GifRecordType type;
    if (DGifGetRecordType(f.gif, &type) == GIF_ERROR)
      return f.Failure();
    if (type == TERMINATE_RECORD_TYPE)
      return PictureError::Corrupt; // no picture at all
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
        return PictureError::Corrupt;
      // A frame that sticks out of a too-small screen widens the canvas.
      uint64_t w = std::max<uint64_t>(uint64_t(f.gif->SWidth), uint64_t(d.Left) + uint64_t(d.Width));
      uint64_t h = std::max<uint64_t>(uint64_t(f.gif->SHeight), uint64_t(d.Top) + uint64_t(d.Height));
      if (!PictureFits(w, h))
        return PictureError::TooLarge;
      ff.canvasW = uint32_t(w);
      ff.canvasH = uint32_t(h);
      return PictureError::None;
    }
    return PictureError::Corrupt;
  }
}

} // namespace

PictureError GifInfo(const uint8_t *data, size_t size, PictureInfo &info) {
  GifFile f(data, size);
  FirstFrame ff;
  if (PictureError e = SeekFirstFrame(f, ff); e != PictureError::None)
    return e;
  info.format = PictureFormat::Gif;
  info.width = ff.canvasW;
  info.height = ff.canvasH;
  return PictureError::None;
}

PictureError GifDecode(const uint8_t *data, size_t size, uint8_t *dst, size_t dstSize, uint32_t &rowsDone) {
  rowsDone = 0;
  GifFile f(data, size);
  FirstFrame ff;
  if (PictureError e = SeekFirstFrame(f, ff); e != PictureError::None)
    return e;
  const size_t bpl = size_t(ff.canvasW) * 4;
  if (dstSize < bpl * ff.canvasH)
    return PictureError::NoMemory;
  const GifImageDesc &d = f.gif->Image;
  const ColorMapObject *map = d.ColorMap ? d.ColorMap : f.gif->SColorMap;
  if (!map || !map->Colors || map->ColorCount <= 0)
    return PictureError::Corrupt;

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
  // Interlaced frames arrive in four passes: every 8th row from 0, every 8th
  // from 4, every 4th from 2, every 2nd from 1.
  static const int kStart[4] = {0, 4, 2, 1}, kStep[4] = {8, 8, 4, 2};
  const int passes = d.Interlace ? 4 : 1;
  for (int p = 0; p < passes; ++p) {
    int start = d.Interlace ? kStart[p] : 0, step = d.Interlace ? kStep[p] : 1;
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
  return PictureError::None;
}

} // namespace reggae::pictures
