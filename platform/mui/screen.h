// Screens: one per title bar the host shows. Each has a size, a title bar
// (height, font, ARGB render target), a colour map with shared pens, the
// mouse position the display reports, and the bar's text pen.
#pragma once

#include <memory>
#include <string>

#include "exec/tags.h"
#include "exec/types.h"
#include "mui/render.h"

struct ScreenPrivate;
struct MUI_RenderInfo;

struct ViewPort {
  struct ColorMap *ColorMap;
};

struct Screen {
  WORD LeftEdge;
  WORD TopEdge;
  WORD Width;
  WORD Height;
  WORD MouseY; // pointer position relative to the screen; the display keeps it
  WORD MouseX;
  UWORD Flags;
  CONST_STRPTR Title;
  BYTE BarHeight; // title bar height minus one, as intuition counts it
  BYTE BarVBorder;
  BYTE BarHBorder;
  struct TextAttr *Font;
  struct ViewPort ViewPort;
  struct RastPort RastPort; // draws on the title bar's render target
  struct ScreenPrivate *sc_Private;
};

// ---- screen attributes ----------------------------------------------------------------------

enum : ULONG {
  SA_Dummy = 0x80000020,
  SA_Left = SA_Dummy + 1,
  SA_Top = SA_Dummy + 2,
  SA_Width = SA_Dummy + 3,
  SA_Height = SA_Dummy + 4,
  SA_Title = SA_Dummy + 8,
  SA_Displayed = SA_Dummy + 101,        // TRUE while the screen is shown
  SA_ScreenbarTextYPos = SA_Dummy + 134,
  SA_ScreenbarTextPen = SA_Dummy + 135, // pen of the bar's text
  SA_ScreenbarTextFont = SA_Dummy + 136,
};

// One attribute into data (size bytes: 1, 2, 4 or 8); returns the bytes
// written, 0 for an unknown attribute.
ULONG GetScreenAttr(struct Screen *screen, ULONG attr, APTR data, ULONG size);
// Each tag's ti_Data points to a 32-bit (pointer-sized for pointers) store.
ULONG GetScreenAttrsA(struct Screen *screen, struct TagItem *tags);

// ---- colour maps and pens ---------------------------------------------------------------------

struct ColorMap;

// Colours as 32-bit left-justified guns (0xRRRRRRRR...), three per entry.
void GetRGB32(struct ColorMap *cm, ULONG firstColor, ULONG nColors, ULONG *table);
void SetRGB32CM(struct ColorMap *cm, ULONG n, ULONG r32, ULONG g32, ULONG b32);
// Shared pens: a pen of exactly this colour, made if needed; -1 when the
// map is full. Each obtain needs one release.
LONG ObtainBestPenA(struct ColorMap *cm, ULONG r32, ULONG g32, ULONG b32, struct TagItem *tags);
LONG ObtainPen(struct ColorMap *cm, ULONG n, ULONG r32, ULONG g32, ULONG b32, ULONG flags); // n = -1: any
void ReleasePen(struct ColorMap *cm, ULONG n);
#define PEN_EXCLUSIVE (1 << 0)

namespace platform {

constexpr ULONG kColorMapSize = 256;

// ARGB of a pen (opaque), 0xFF000000 for a pen outside the map.
uint32_t PenColor(struct ColorMap *cm, LONG pen);
// How many holders a pen has (0: free; fixed pens count as 1).
ULONG PenUsers(struct ColorMap *cm, LONG pen);

// Parses a toolkit pen spec: "rRRGGBB", "rRRRRRRRR,GGGGGGGG,BBBBBBBB" (32-bit
// guns), "mN" (toolkit pen N), "pN" (screen pen N). False when malformed.
bool ParsePenSpec(const char *spec, uint32_t &argb, LONG &fixedPen, char &kind);

// Screens are made by the host. barHeight is the title bar's height in
// pixels; the bar gets its own render target of width x barHeight.
struct ScreenOptions {
  LONG width = 1024;
  LONG height = 768;
  LONG barHeight = 20;
  std::string title = "Workbench Screen";
  uint32_t barBackground = 0xFFAAAAAA;
  uint32_t barText = 0xFF000000;
};
struct Screen *OpenPlatformScreen(const ScreenOptions &options);
void ClosePlatformScreen(struct Screen *screen); // null is fine
RenderTarget *ScreenBarTarget(struct Screen *screen);
uint32_t ScreenBarBackground(struct Screen *screen);
void SetScreenMouse(struct Screen *screen, LONG x, LONG y);
void SetScreenDisplayed(struct Screen *screen, bool displayed);
// The render info that objects on the screen's title bar are set up with.
struct MUI_RenderInfo *ScreenRenderInfo(struct Screen *screen);

} // namespace platform
