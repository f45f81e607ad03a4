// Render targets, rastport drawing, pixel-array blits and the built-in font.
#include "mui/render.h"

#include <algorithm>
#include <cstring>

#include "mui/screen.h"

namespace platform {
uint32_t BlendOver(uint32_t dst, uint32_t src, uint32_t alpha);
namespace {

std::mutex gListenerLock;
RenderListener gRenderListener;
LayoutListener gLayoutListener;

// Clips (x, y, w, h) to a w x h area; false when nothing is left.
bool Clip(LONG areaW, LONG areaH, LONG &x, LONG &y, LONG &w, LONG &h) {
  if (x < 0) { w += x; x = 0; }
  if (y < 0) { h += y; y = 0; }
  if (x + w > areaW) w = areaW - x;
  if (y + h > areaH) h = areaH - y;
  return w > 0 && h > 0;
}

} // namespace

RenderTarget::RenderTarget(LONG width, LONG height, uint32_t fill)
    : width_(std::max<LONG>(width, 0)), height_(std::max<LONG>(height, 0)),
      pixels_(static_cast<size_t>(width_) * static_cast<size_t>(height_), fill) {}

void RenderTarget::Resize(LONG width, LONG height, uint32_t fill) {
  {
    std::lock_guard g(lock_);
    width_ = std::max<LONG>(width, 0);
    height_ = std::max<LONG>(height, 0);
    pixels_.assign(static_cast<size_t>(width_) * static_cast<size_t>(height_), fill);
    ++generation_;
  }
  Changed(0, 0, width, height);
}

std::vector<uint32_t> RenderTarget::Snapshot(uint64_t *generation) const {
  std::lock_guard g(lock_);
  if (generation) *generation = generation_;
  return pixels_;
}

uint32_t RenderTarget::Pixel(LONG x, LONG y) const {
  std::lock_guard g(lock_);
  if (x < 0 || y < 0 || x >= width_ || y >= height_) return 0;
  return pixels_[static_cast<size_t>(y) * width_ + x];
}

void RenderTarget::Changed(LONG x, LONG y, LONG w, LONG h) {
  RenderListener l;
  {
    std::lock_guard g(gListenerLock);
    l = gRenderListener;
  }
  if (l) l(this, x, y, w, h);
}

void RenderTarget::Modify(LONG x, LONG y, LONG w, LONG h, const std::function<void(uint32_t *, LONG)> &f) {
  {
    std::lock_guard g(lock_);
    if (!Clip(width_, height_, x, y, w, h)) return;
    f(pixels_.data(), width_);
    ++generation_;
  }
  Changed(x, y, w, h);
}

void RenderTarget::Fill(LONG x, LONG y, LONG w, LONG h, uint32_t argb) {
  LONG cx = x, cy = y, cw = w, ch = h;
  {
    std::lock_guard g(lock_);
    if (!Clip(width_, height_, cx, cy, cw, ch)) return;
    for (LONG row = cy; row < cy + ch; ++row)
      std::fill_n(pixels_.begin() + static_cast<size_t>(row) * width_ + cx, cw, argb);
    ++generation_;
  }
  Changed(cx, cy, cw, ch);
}

void RenderTarget::Put(LONG x, LONG y, uint32_t argb) { Fill(x, y, 1, 1, argb); }

void RenderTarget::Blend(LONG x, LONG y, uint32_t argb) {
  Modify(x, y, 1, 1, [&](uint32_t *p, LONG stride) {
    uint32_t &d = p[static_cast<size_t>(y) * stride + x];
    d = BlendOver(d, argb, argb >> 24);
  });
}

void SetRenderListener(RenderListener listener) {
  std::lock_guard g(gListenerLock);
  gRenderListener = std::move(listener);
}

void SetLayoutListener(LayoutListener listener) {
  std::lock_guard g(gListenerLock);
  gLayoutListener = std::move(listener);
}

void NotifyLayout(Object *obj) {
  LayoutListener l;
  {
    std::lock_guard g(gListenerLock);
    l = gLayoutListener;
  }
  if (l) l(obj);
}

// ---- the built-in font ------------------------------------------------------------------------

namespace {

// 5 x 7 glyphs for 0x20..0x7E, one byte per row, bit 4 is the leftmost pixel.
const UBYTE kGlyphs[95][7] = {
    {0, 0, 0, 0, 0, 0, 0},                            // space
    {0x04, 0x04, 0x04, 0x04, 0x04, 0x00, 0x04},       // !
    {0x0A, 0x0A, 0x0A, 0x00, 0x00, 0x00, 0x00},       // "
    {0x0A, 0x0A, 0x1F, 0x0A, 0x1F, 0x0A, 0x0A},       // #
    {0x04, 0x0F, 0x14, 0x0E, 0x05, 0x1E, 0x04},       // $
    {0x18, 0x19, 0x02, 0x04, 0x08, 0x13, 0x03},       // %
    {0x0C, 0x12, 0x14, 0x08, 0x15, 0x12, 0x0D},       // &
    {0x0C, 0x04, 0x08, 0x00, 0x00, 0x00, 0x00},       // '
    {0x02, 0x04, 0x08, 0x08, 0x08, 0x04, 0x02},       // (
    {0x08, 0x04, 0x02, 0x02, 0x02, 0x04, 0x08},       // )
    {0x00, 0x04, 0x15, 0x0E, 0x15, 0x04, 0x00},       // *
    {0x00, 0x04, 0x04, 0x1F, 0x04, 0x04, 0x00},       // +
    {0x00, 0x00, 0x00, 0x00, 0x0C, 0x04, 0x08},       // ,
    {0x00, 0x00, 0x00, 0x1F, 0x00, 0x00, 0x00},       // -
    {0x00, 0x00, 0x00, 0x00, 0x00, 0x0C, 0x0C},       // .
    {0x00, 0x01, 0x02, 0x04, 0x08, 0x10, 0x00},       // /
    {0x0E, 0x11, 0x13, 0x15, 0x19, 0x11, 0x0E},       // 0
    {0x04, 0x0C, 0x04, 0x04, 0x04, 0x04, 0x0E},       // 1
    {0x0E, 0x11, 0x01, 0x02, 0x04, 0x08, 0x1F},       // 2
    {0x1F, 0x02, 0x04, 0x02, 0x01, 0x11, 0x0E},       // 3
    {0x02, 0x06, 0x0A, 0x12, 0x1F, 0x02, 0x02},       // 4
    {0x1F, 0x10, 0x1E, 0x01, 0x01, 0x11, 0x0E},       // 5
    {0x06, 0x08, 0x10, 0x1E, 0x11, 0x11, 0x0E},       // 6
    {0x1F, 0x01, 0x02, 0x04, 0x08, 0x08, 0x08},       // 7
    {0x0E, 0x11, 0x11, 0x0E, 0x11, 0x11, 0x0E},       // 8
    {0x0E, 0x11, 0x11, 0x0F, 0x01, 0x02, 0x0C},       // 9
    {0x00, 0x0C, 0x0C, 0x00, 0x0C, 0x0C, 0x00},       // :
    {0x00, 0x0C, 0x0C, 0x00, 0x0C, 0x04, 0x08},       // ;
    {0x02, 0x04, 0x08, 0x10, 0x08, 0x04, 0x02},       // <
    {0x00, 0x00, 0x1F, 0x00, 0x1F, 0x00, 0x00},       // =
    {0x08, 0x04, 0x02, 0x01, 0x02, 0x04, 0x08},       // >
    {0x0E, 0x11, 0x01, 0x02, 0x04, 0x00, 0x04},       // ?
    {0x0E, 0x11, 0x01, 0x0D, 0x15, 0x15, 0x0E},       // @
    {0x0E, 0x11, 0x11, 0x11, 0x1F, 0x11, 0x11},       // A
    {0x1E, 0x11, 0x11, 0x1E, 0x11, 0x11, 0x1E},       // B
    {0x0E, 0x11, 0x10, 0x10, 0x10, 0x11, 0x0E},       // C
    {0x1C, 0x12, 0x11, 0x11, 0x11, 0x12, 0x1C},       // D
    {0x1F, 0x10, 0x10, 0x1E, 0x10, 0x10, 0x1F},       // E
    {0x1F, 0x10, 0x10, 0x1E, 0x10, 0x10, 0x10},       // F
    {0x0E, 0x11, 0x10, 0x17, 0x11, 0x11, 0x0F},       // G
    {0x11, 0x11, 0x11, 0x1F, 0x11, 0x11, 0x11},       // H
    {0x0E, 0x04, 0x04, 0x04, 0x04, 0x04, 0x0E},       // I
    {0x07, 0x02, 0x02, 0x02, 0x02, 0x12, 0x0C},       // J
    {0x11, 0x12, 0x14, 0x18, 0x14, 0x12, 0x11},       // K
    {0x10, 0x10, 0x10, 0x10, 0x10, 0x10, 0x1F},       // L
    {0x11, 0x1B, 0x15, 0x15, 0x11, 0x11, 0x11},       // M
    {0x11, 0x11, 0x19, 0x15, 0x13, 0x11, 0x11},       // N
    {0x0E, 0x11, 0x11, 0x11, 0x11, 0x11, 0x0E},       // O
    {0x1E, 0x11, 0x11, 0x1E, 0x10, 0x10, 0x10},       // P
    {0x0E, 0x11, 0x11, 0x11, 0x15, 0x12, 0x0D},       // Q
    {0x1E, 0x11, 0x11, 0x1E, 0x14, 0x12, 0x11},       // R
    {0x0F, 0x10, 0x10, 0x0E, 0x01, 0x01, 0x1E},       // S
    {0x1F, 0x04, 0x04, 0x04, 0x04, 0x04, 0x04},       // T
    {0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x0E},       // U
    {0x11, 0x11, 0x11, 0x11, 0x11, 0x0A, 0x04},       // V
    {0x11, 0x11, 0x11, 0x15, 0x15, 0x15, 0x0A},       // W
    {0x11, 0x11, 0x0A, 0x04, 0x0A, 0x11, 0x11},       // X
    {0x11, 0x11, 0x11, 0x0A, 0x04, 0x04, 0x04},       // Y
    {0x1F, 0x01, 0x02, 0x04, 0x08, 0x10, 0x1F},       // Z
    {0x0E, 0x08, 0x08, 0x08, 0x08, 0x08, 0x0E},       // [
    {0x00, 0x10, 0x08, 0x04, 0x02, 0x01, 0x00},       // backslash
    {0x0E, 0x02, 0x02, 0x02, 0x02, 0x02, 0x0E},       // ]
    {0x04, 0x0A, 0x11, 0x00, 0x00, 0x00, 0x00},       // ^
    {0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x1F},       // _
    {0x08, 0x04, 0x02, 0x00, 0x00, 0x00, 0x00},       // `
    {0x00, 0x00, 0x0E, 0x01, 0x0F, 0x11, 0x0F},       // a
    {0x10, 0x10, 0x16, 0x19, 0x11, 0x11, 0x1E},       // b
    {0x00, 0x00, 0x0E, 0x10, 0x10, 0x11, 0x0E},       // c
    {0x01, 0x01, 0x0D, 0x13, 0x11, 0x11, 0x0F},       // d
    {0x00, 0x00, 0x0E, 0x11, 0x1F, 0x10, 0x0E},       // e
    {0x06, 0x09, 0x08, 0x1C, 0x08, 0x08, 0x08},       // f
    {0x00, 0x0F, 0x11, 0x11, 0x0F, 0x01, 0x0E},       // g
    {0x10, 0x10, 0x16, 0x19, 0x11, 0x11, 0x11},       // h
    {0x04, 0x00, 0x0C, 0x04, 0x04, 0x04, 0x0E},       // i
    {0x02, 0x00, 0x06, 0x02, 0x02, 0x12, 0x0C},       // j
    {0x10, 0x10, 0x12, 0x14, 0x18, 0x14, 0x12},       // k
    {0x0C, 0x04, 0x04, 0x04, 0x04, 0x04, 0x0E},       // l
    {0x00, 0x00, 0x1A, 0x15, 0x15, 0x11, 0x11},       // m
    {0x00, 0x00, 0x16, 0x19, 0x11, 0x11, 0x11},       // n
    {0x00, 0x00, 0x0E, 0x11, 0x11, 0x11, 0x0E},       // o
    {0x00, 0x00, 0x1E, 0x11, 0x1E, 0x10, 0x10},       // p
    {0x00, 0x00, 0x0D, 0x13, 0x0F, 0x01, 0x01},       // q
    {0x00, 0x00, 0x16, 0x19, 0x10, 0x10, 0x10},       // r
    {0x00, 0x00, 0x0E, 0x10, 0x0E, 0x01, 0x1E},       // s
    {0x08, 0x08, 0x1C, 0x08, 0x08, 0x09, 0x06},       // t
    {0x00, 0x00, 0x11, 0x11, 0x11, 0x13, 0x0D},       // u
    {0x00, 0x00, 0x11, 0x11, 0x11, 0x0A, 0x04},       // v
    {0x00, 0x00, 0x11, 0x11, 0x15, 0x15, 0x0A},       // w
    {0x00, 0x00, 0x11, 0x0A, 0x04, 0x0A, 0x11},       // x
    {0x00, 0x00, 0x11, 0x11, 0x0F, 0x01, 0x0E},       // y
    {0x00, 0x00, 0x1F, 0x02, 0x04, 0x08, 0x1F},       // z
    {0x02, 0x04, 0x04, 0x08, 0x04, 0x04, 0x02},       // {
    {0x04, 0x04, 0x04, 0x04, 0x04, 0x04, 0x04},       // |
    {0x08, 0x04, 0x04, 0x02, 0x04, 0x04, 0x08},       // }
    {0x00, 0x00, 0x08, 0x15, 0x02, 0x00, 0x00},       // ~
};

const UBYTE *Glyph(UBYTE c) {
  if (c == 0xA0) c = ' ';
  if (c < 0x20 || c > 0x7E) c = '?'; // no glyphs beyond ASCII: shown as '?'
  return kGlyphs[c - 0x20];
}

} // namespace

LONG DrawText(RenderTarget *target, LONG x, LONG top, const char *text, LONG len, uint32_t argb, bool bold) {
  if (!target || !text || len <= 0) return 0;
  target->Modify(x, top, TextWidth(len) + 1, kFontHeight, [&](uint32_t *p, LONG stride) {
    LONG w = target->Width(), h = target->Height();
    for (LONG i = 0; i < len; ++i) {
      const UBYTE *g = Glyph(static_cast<UBYTE>(text[i]));
      for (LONG row = 0; row < 7; ++row)
        for (LONG col = 0; col < 5; ++col) {
          if (!(g[row] & (0x10 >> col))) continue;
          for (LONG b = 0; b <= (bold ? 1 : 0); ++b) {
            LONG px = x + i * kFontWidth + col + b, py = top + row;
            if (px >= 0 && py >= 0 && px < w && py < h) p[static_cast<size_t>(py) * stride + px] = argb;
          }
        }
    }
  });
  return TextWidth(len);
}

} // namespace platform

// ---- graphics ---------------------------------------------------------------------------------

using platform::RenderTarget;

struct TextFont *DefaultFont() {
  static TextFont font{"builtin.font", platform::kFontHeight, platform::kFontWidth, platform::kFontBaseline};
  return &font;
}

void InitRastPort(struct RastPort *rp) {
  if (!rp) return;
  std::memset(rp, 0, sizeof(*rp));
  rp->Font = DefaultFont();
  rp->FgPen = 1;
  rp->DrawMode = JAM2;
}

void SetAPen(struct RastPort *rp, ULONG pen) {
  if (rp) rp->FgPen = static_cast<UBYTE>(pen);
}
void SetBPen(struct RastPort *rp, ULONG pen) {
  if (rp) rp->BgPen = static_cast<UBYTE>(pen);
}
void SetDrMd(struct RastPort *rp, ULONG mode) {
  if (rp) rp->DrawMode = static_cast<UBYTE>(mode);
}
void Move(struct RastPort *rp, LONG x, LONG y) {
  if (!rp) return;
  rp->cp_x = static_cast<WORD>(x);
  rp->cp_y = static_cast<WORD>(y);
}

void RectFill(struct RastPort *rp, LONG xMin, LONG yMin, LONG xMax, LONG yMax) {
  if (!rp || !rp->rp_Target || xMax < xMin || yMax < yMin) return;
  rp->rp_Target->Fill(xMin, yMin, xMax - xMin + 1, yMax - yMin + 1, platform::PenColor(rp->rp_ColorMap, rp->FgPen));
}

void WritePixel(struct RastPort *rp, LONG x, LONG y) {
  if (rp && rp->rp_Target) rp->rp_Target->Put(x, y, platform::PenColor(rp->rp_ColorMap, rp->FgPen));
}

void Text(struct RastPort *rp, CONST_STRPTR string, ULONG count) {
  if (!rp || !rp->rp_Target || !string) return;
  LONG top = rp->cp_y - platform::kFontBaseline;
  if (rp->DrawMode & JAM2)
    rp->rp_Target->Fill(rp->cp_x, top, platform::TextWidth(count), platform::kFontHeight,
                        platform::PenColor(rp->rp_ColorMap, rp->BgPen));
  LONG w = platform::DrawText(rp->rp_Target, rp->cp_x, top, string, static_cast<LONG>(count),
                              platform::PenColor(rp->rp_ColorMap, rp->FgPen));
  rp->cp_x = static_cast<WORD>(rp->cp_x + w);
}

UWORD TextLength(struct RastPort *, CONST_STRPTR string, ULONG count) {
  return string ? static_cast<UWORD>(platform::TextWidth(static_cast<LONG>(count))) : 0;
}

ULONG ReadRGBPixel(struct RastPort *rp, UWORD x, UWORD y) {
  return (rp && rp->rp_Target) ? rp->rp_Target->Pixel(x, y) : 0;
}

void WriteRGBPixel(struct RastPort *rp, UWORD x, UWORD y, ULONG argb) {
  if (rp && rp->rp_Target) rp->rp_Target->Put(x, y, argb | 0xFF000000);
}

// ---- cybergraphics ------------------------------------------------------------------------------

namespace {

// Reads one source pixel as ARGB.
bool SourcePixel(const UBYTE *row, LONG x, UBYTE format, uint32_t &argb) {
  switch (format) {
  case RECTFMT_RGB: {
    const UBYTE *p = row + x * 3;
    argb = 0xFF000000u | (p[0] << 16) | (p[1] << 8) | p[2];
    return true;
  }
  case RECTFMT_RGBA: {
    const UBYTE *p = row + x * 4;
    argb = (static_cast<uint32_t>(p[3]) << 24) | (p[0] << 16) | (p[1] << 8) | p[2];
    return true;
  }
  case RECTFMT_ARGB: {
    const UBYTE *p = row + x * 4;
    argb = (static_cast<uint32_t>(p[0]) << 24) | (p[1] << 16) | (p[2] << 8) | p[3];
    return true;
  }
  case RECTFMT_GREY8: {
    UBYTE g = row[x];
    argb = 0xFF000000u | (g << 16) | (g << 8) | g;
    return true;
  }
  default:
    return false;
  }
}

ULONG Blit(APTR src, UWORD srcX, UWORD srcY, UWORD srcMod, struct RastPort *rp, UWORD destX, UWORD destY, UWORD w,
           UWORD h, UBYTE format, bool blend, ULONG globalAlpha) {
  if (!src || !rp || !rp->rp_Target || w == 0 || h == 0) return 0;
  if (format == RECTFMT_LUT8) return 0;
  ULONG written = 0;
  const auto *base = static_cast<const UBYTE *>(src);
  RenderTarget *t = rp->rp_Target;
  t->Modify(destX, destY, w, h, [&](uint32_t *p, LONG stride) {
    LONG tw = t->Width(), th = t->Height();
    for (LONG row = 0; row < h; ++row) {
      LONG dy = destY + row;
      if (dy < 0 || dy >= th) continue;
      const UBYTE *srow = base + static_cast<size_t>(srcY + row) * srcMod;
      for (LONG col = 0; col < w; ++col) {
        LONG dx = destX + col;
        if (dx < 0 || dx >= tw) continue;
        uint32_t argb;
        if (!SourcePixel(srow, srcX + col, format, argb)) return;
        uint32_t &d = p[static_cast<size_t>(dy) * stride + dx];
        if (blend) {
          uint32_t a = ((argb >> 24) * (globalAlpha >> 24) + 127) / 255;
          d = platform::BlendOver(d, argb, a);
        } else {
          d = argb | 0xFF000000u;
        }
        ++written;
      }
    }
  });
  return written;
}

} // namespace

namespace platform {
// Used by the blits above (declared here to keep it out of the header).
uint32_t BlendOver(uint32_t dst, uint32_t src, uint32_t alpha);
uint32_t BlendOver(uint32_t dst, uint32_t src, uint32_t alpha) {
  if (alpha >= 255) return src | 0xFF000000u;
  if (alpha == 0) return dst;
  uint32_t out = 0;
  for (int shift = 0; shift < 24; shift += 8) {
    uint32_t s = (src >> shift) & 0xFF, d = (dst >> shift) & 0xFF;
    out |= ((s * alpha + d * (255 - alpha) + 127) / 255) << shift;
  }
  uint32_t da = dst >> 24;
  return out | ((alpha + (da * (255 - alpha) + 127) / 255) << 24);
}
} // namespace platform

ULONG WritePixelArray(APTR src, UWORD srcX, UWORD srcY, UWORD srcMod, struct RastPort *rp, UWORD destX, UWORD destY,
                      UWORD sizeX, UWORD sizeY, UBYTE srcFormat) {
  return Blit(src, srcX, srcY, srcMod, rp, destX, destY, sizeX, sizeY, srcFormat, false, 0);
}

ULONG WritePixelArrayAlpha(APTR src, UWORD srcX, UWORD srcY, UWORD srcMod, struct RastPort *rp, UWORD destX,
                           UWORD destY, UWORD sizeX, UWORD sizeY, ULONG globalAlpha) {
  return Blit(src, srcX, srcY, srcMod, rp, destX, destY, sizeX, sizeY, RECTFMT_ARGB, true, globalAlpha);
}

ULONG ReadPixelArray(APTR dst, UWORD dstX, UWORD dstY, UWORD dstMod, struct RastPort *rp, UWORD srcX, UWORD srcY,
                     UWORD sizeX, UWORD sizeY, UBYTE dstFormat) {
  if (!dst || !rp || !rp->rp_Target) return 0;
  if (dstFormat != RECTFMT_ARGB && dstFormat != RECTFMT_RGB && dstFormat != RECTFMT_RGBA) return 0;
  ULONG n = 0;
  auto *base = static_cast<UBYTE *>(dst);
  for (LONG row = 0; row < sizeY; ++row)
    for (LONG col = 0; col < sizeX; ++col) {
      LONG x = srcX + col, y = srcY + row;
      if (x >= rp->rp_Target->Width() || y >= rp->rp_Target->Height()) continue;
      uint32_t v = rp->rp_Target->Pixel(x, y);
      UBYTE a = v >> 24, r = (v >> 16) & 0xFF, g = (v >> 8) & 0xFF, b = v & 0xFF;
      UBYTE *p = base + static_cast<size_t>(dstY + row) * dstMod;
      if (dstFormat == RECTFMT_ARGB) {
        p += (dstX + col) * 4;
        p[0] = a, p[1] = r, p[2] = g, p[3] = b;
      } else if (dstFormat == RECTFMT_RGBA) {
        p += (dstX + col) * 4;
        p[0] = r, p[1] = g, p[2] = b, p[3] = a;
      } else {
        p += (dstX + col) * 3;
        p[0] = r, p[1] = g, p[2] = b;
      }
      ++n;
    }
  return n;
}

ULONG FillPixelArray(struct RastPort *rp, UWORD destX, UWORD destY, UWORD sizeX, UWORD sizeY, ULONG argb) {
  if (!rp || !rp->rp_Target) return 0;
  rp->rp_Target->Fill(destX, destY, sizeX, sizeY, argb | 0xFF000000u);
  return static_cast<ULONG>(sizeX) * sizeY;
}
