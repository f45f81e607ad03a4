// Drawing: 32-bit ARGB render targets, rastports with pens, the pixel-array
// blits of cybergraphics, and a small built-in font for MUIM_Text.
//
// Coordinates are pixels of the render target; everything is clipped to it.
// Only the GUI task draws; the display reads a target's pixels through a
// snapshot from any thread.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "exec/types.h"
#include "mui/object.h"

struct ColorMap;

namespace platform {

class RenderTarget {
public:
  RenderTarget(LONG width, LONG height, uint32_t fill = 0xFF000000);
  LONG Width() const { return width_; }
  LONG Height() const { return height_; }
  void Resize(LONG width, LONG height, uint32_t fill);
  // Copy of the pixels (row after row, ARGB) and a counter that grows with
  // every change.
  std::vector<uint32_t> Snapshot(uint64_t *generation = nullptr) const;
  uint32_t Pixel(LONG x, LONG y) const; // 0 outside

  // Drawing primitives, clipped; each one reports the touched rectangle.
  void Fill(LONG x, LONG y, LONG w, LONG h, uint32_t argb);
  void Blend(LONG x, LONG y, uint32_t argb); // source-over
  void Put(LONG x, LONG y, uint32_t argb);
  // Runs f under the lock and reports (x, y, w, h) as changed afterwards.
  void Modify(LONG x, LONG y, LONG w, LONG h, const std::function<void(uint32_t *pixels, LONG stride)> &f);

private:
  void Changed(LONG x, LONG y, LONG w, LONG h);
  mutable std::mutex lock_;
  LONG width_, height_;
  std::vector<uint32_t> pixels_;
  uint64_t generation_ = 0;
};

// Called after every change of a render target with the changed rectangle
// (already clipped), on the drawing task. One listener; null removes it.
using RenderListener = std::function<void(RenderTarget *target, LONG x, LONG y, LONG w, LONG h)>;
void SetRenderListener(RenderListener listener);

// Called when a group's children or their visibility change (after
// MUIM_Group_ExitChange, OM_ADDMEMBER/OM_REMMEMBER, MUIA_ShowMe, pages).
using LayoutListener = std::function<void(Object *obj)>;
void SetLayoutListener(LayoutListener listener);
void NotifyLayout(Object *obj);

// The built-in font: fixed cells of kFontWidth x kFontHeight with a baseline.
constexpr LONG kFontWidth = 6;
constexpr LONG kFontHeight = 8;
constexpr LONG kFontBaseline = 6;
// Draws Latin-1 text at (x, top) in colour argb; returns the width drawn.
LONG DrawText(RenderTarget *target, LONG x, LONG top, const char *text, LONG len, uint32_t argb, bool bold = false);
inline LONG TextWidth(LONG len) { return len * kFontWidth; }

// PNG decoding for pictures of the toolkit and the bar icon: ARGB pixels,
// 4 bytes per pixel in the order alpha, red, green, blue, rows top to bottom.
bool DecodePNGFile(const std::string &linuxPath, std::vector<uint8_t> &argb, ULONG &width, ULONG &height);

} // namespace platform

// Loads a PNG picture by its AmigaDOS name into a new ARGB buffer (free it
// with FreeVec); null when the file is missing or no PNG.
APTR LoadPNGARGB(CONST_STRPTR name, ULONG *width, ULONG *height);

// ---- graphics ---------------------------------------------------------------------------------

struct TextAttr {
  CONST_STRPTR ta_Name;
  UWORD ta_YSize;
  UBYTE ta_Style;
  UBYTE ta_Flags;
};

struct TextFont {
  CONST_STRPTR tf_Name;
  UWORD tf_YSize;
  UWORD tf_XSize;
  UWORD tf_Baseline;
};

// The built-in font.
struct TextFont *DefaultFont();

enum : UBYTE { JAM1 = 0, JAM2 = 1, COMPLEMENT = 2, INVERSID = 4 };

struct RastPort {
  platform::RenderTarget *rp_Target;
  struct ColorMap *rp_ColorMap; // pens are looked up here
  struct TextFont *Font;
  UBYTE FgPen;
  UBYTE BgPen;
  UBYTE DrawMode;
  WORD cp_x;
  WORD cp_y;
  ULONG rp_FgColor; // ARGB used when FgPen is set by colour (SetRPAttrs)
};

void InitRastPort(struct RastPort *rp);
void SetAPen(struct RastPort *rp, ULONG pen);
void SetBPen(struct RastPort *rp, ULONG pen);
void SetDrMd(struct RastPort *rp, ULONG mode);
void Move(struct RastPort *rp, LONG x, LONG y);
void RectFill(struct RastPort *rp, LONG xMin, LONG yMin, LONG xMax, LONG yMax);
void WritePixel(struct RastPort *rp, LONG x, LONG y);
// Draws at the current position (its y is the baseline) and advances it.
void Text(struct RastPort *rp, CONST_STRPTR string, ULONG count);
UWORD TextLength(struct RastPort *rp, CONST_STRPTR string, ULONG count);
ULONG ReadRGBPixel(struct RastPort *rp, UWORD x, UWORD y);
void WriteRGBPixel(struct RastPort *rp, UWORD x, UWORD y, ULONG argb);

// ---- cybergraphics ------------------------------------------------------------------------------

enum : UBYTE { RECTFMT_RGB = 0, RECTFMT_RGBA = 1, RECTFMT_ARGB = 2, RECTFMT_LUT8 = 3, RECTFMT_GREY8 = 4 };

// Copies w x h pixels from src (rows srcMod bytes apart) at (srcX, srcY) to
// (destX, destY); returns the number of pixels written.
ULONG WritePixelArray(APTR src, UWORD srcX, UWORD srcY, UWORD srcMod, struct RastPort *rp, UWORD destX, UWORD destY,
                      UWORD sizeX, UWORD sizeY, UBYTE srcFormat);
// As above for ARGB sources, blended with the pixels' alpha times
// globalAlpha (0xFFFFFFFF: opaque as the source says).
ULONG WritePixelArrayAlpha(APTR src, UWORD srcX, UWORD srcY, UWORD srcMod, struct RastPort *rp, UWORD destX,
                           UWORD destY, UWORD sizeX, UWORD sizeY, ULONG globalAlpha);
ULONG ReadPixelArray(APTR dst, UWORD dstX, UWORD dstY, UWORD dstMod, struct RastPort *rp, UWORD srcX, UWORD srcY,
                     UWORD sizeX, UWORD sizeY, UBYTE dstFormat);
ULONG FillPixelArray(struct RastPort *rp, UWORD destX, UWORD destY, UWORD sizeX, UWORD sizeY, ULONG argb);
