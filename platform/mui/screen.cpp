// Screens, colour maps and pens.
#include "mui/screen.h"

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "mui/mui.h"

struct ColorMap {
  std::mutex lock;
  uint32_t colors[platform::kColorMapSize];
  ULONG users[platform::kColorMapSize]; // 0 free
  bool exclusive[platform::kColorMapSize];
  bool fixed[platform::kColorMapSize];
};

struct ScreenPrivate {
  platform::ScreenOptions options;
  std::unique_ptr<platform::RenderTarget> bar;
  std::string title;
  struct TextAttr font;
  ColorMap colormap;
  UWORD muiPens[MPEN_COUNT];
  struct MUI_RenderInfo renderInfo;
  LONG textPen;
  std::atomic<bool> displayed{true};
};

namespace {

uint32_t Gun8(ULONG gun32) { return gun32 >> 24; }
ULONG Gun32(uint32_t gun8) { return gun8 * 0x01010101u; }

uint32_t Argb(ULONG r32, ULONG g32, ULONG b32) {
  return 0xFF000000u | (Gun8(r32) << 16) | (Gun8(g32) << 8) | Gun8(b32);
}

LONG ObtainLocked(ColorMap *cm, LONG n, uint32_t argb, bool exclusive) {
  if (n >= 0) {
    if (n >= static_cast<LONG>(platform::kColorMapSize) || cm->users[n] || cm->fixed[n]) return -1;
  } else {
    if (!exclusive)
      for (ULONG i = 0; i < platform::kColorMapSize; ++i)
        if ((cm->users[i] || cm->fixed[i]) && !cm->exclusive[i] && cm->colors[i] == argb) {
          ++cm->users[i];
          return static_cast<LONG>(i);
        }
    for (ULONG i = 0; i < platform::kColorMapSize && n < 0; ++i)
      if (!cm->users[i] && !cm->fixed[i]) n = static_cast<LONG>(i);
    if (n < 0) return -1;
  }
  cm->colors[n] = argb;
  cm->users[n] = 1;
  cm->exclusive[n] = exclusive;
  return n;
}

} // namespace

void GetRGB32(struct ColorMap *cm, ULONG firstColor, ULONG nColors, ULONG *table) {
  if (!cm || !table) return;
  std::lock_guard g(cm->lock);
  for (ULONG i = 0; i < nColors; ++i) {
    ULONG n = firstColor + i;
    uint32_t c = n < platform::kColorMapSize ? cm->colors[n] : 0;
    table[i * 3 + 0] = Gun32((c >> 16) & 0xFF);
    table[i * 3 + 1] = Gun32((c >> 8) & 0xFF);
    table[i * 3 + 2] = Gun32(c & 0xFF);
  }
}

void SetRGB32CM(struct ColorMap *cm, ULONG n, ULONG r32, ULONG g32, ULONG b32) {
  if (!cm || n >= platform::kColorMapSize) return;
  std::lock_guard g(cm->lock);
  cm->colors[n] = Argb(r32, g32, b32);
}

LONG ObtainBestPenA(struct ColorMap *cm, ULONG r32, ULONG g32, ULONG b32, struct TagItem *) {
  if (!cm) return -1;
  std::lock_guard g(cm->lock);
  return ObtainLocked(cm, -1, Argb(r32, g32, b32), false);
}

LONG ObtainPen(struct ColorMap *cm, ULONG n, ULONG r32, ULONG g32, ULONG b32, ULONG flags) {
  if (!cm) return -1;
  std::lock_guard g(cm->lock);
  return ObtainLocked(cm, static_cast<LONG>(n), Argb(r32, g32, b32), flags & PEN_EXCLUSIVE);
}

void ReleasePen(struct ColorMap *cm, ULONG n) {
  if (!cm || n >= platform::kColorMapSize) return;
  std::lock_guard g(cm->lock);
  if (cm->users[n]) --cm->users[n];
  if (!cm->users[n]) cm->exclusive[n] = false;
}

namespace platform {

uint32_t PenColor(struct ColorMap *cm, LONG pen) {
  if (!cm || pen < 0 || pen >= static_cast<LONG>(kColorMapSize)) return 0xFF000000u;
  std::lock_guard g(cm->lock);
  return cm->colors[pen] | 0xFF000000u;
}

ULONG PenUsers(struct ColorMap *cm, LONG pen) {
  if (!cm || pen < 0 || pen >= static_cast<LONG>(kColorMapSize)) return 0;
  std::lock_guard g(cm->lock);
  return cm->fixed[pen] ? 1 : cm->users[pen];
}

namespace {
bool Hex(const char *s, size_t n, uint32_t &out) {
  out = 0;
  for (size_t i = 0; i < n; ++i) {
    if (!std::isxdigit(static_cast<unsigned char>(s[i]))) return false;
    char c = static_cast<char>(std::tolower(static_cast<unsigned char>(s[i])));
    out = (out << 4) | static_cast<uint32_t>(c <= '9' ? c - '0' : c - 'a' + 10);
  }
  return true;
}
} // namespace

bool ParsePenSpec(const char *spec, uint32_t &argb, LONG &fixedPen, char &kind) {
  if (!spec) return false;
  size_t len = strnlen(spec, sizeof(MUI_PenSpec));
  if (len < 2 || len == sizeof(MUI_PenSpec)) return false;
  kind = spec[0];
  fixedPen = -1;
  if (kind == 'r') {
    const char *p = spec + 1;
    if (len == 7) {
      uint32_t rgb;
      if (!Hex(p, 6, rgb)) return false;
      argb = 0xFF000000u | rgb;
      return true;
    }
    // Three 32-bit guns separated by commas.
    uint32_t guns[3];
    for (int i = 0; i < 3; ++i) {
      const char *end = std::strchr(p, ',');
      size_t n = end ? static_cast<size_t>(end - p) : std::strlen(p);
      if (n == 0 || n > 8 || (i < 2) != (end != nullptr) || !Hex(p, n, guns[i])) return false;
      if (n < 8) guns[i] <<= 4 * (8 - n);
      p = end ? end + 1 : p + n;
    }
    argb = Argb(guns[0], guns[1], guns[2]);
    return true;
  }
  if (kind == 'm' || kind == 'p') {
    char *end = nullptr;
    long n = std::strtol(spec + 1, &end, 10);
    if (!end || *end || n < 0 || n > 255) return false;
    fixedPen = n;
    return true;
  }
  return false;
}

Screen *OpenPlatformScreen(const ScreenOptions &options) {
  auto *scr = new Screen{};
  auto *priv = new ScreenPrivate{};
  scr->sc_Private = priv;
  priv->options = options;
  priv->title = options.title;
  priv->bar = std::make_unique<RenderTarget>(options.width, options.barHeight, options.barBackground);
  priv->font = TextAttr{"builtin.font", static_cast<UWORD>(kFontHeight), 0, 0};
  scr->Width = static_cast<WORD>(options.width);
  scr->Height = static_cast<WORD>(options.height);
  scr->Title = priv->title.c_str();
  scr->BarHeight = static_cast<BYTE>(options.barHeight > 0 ? options.barHeight - 1 : 0);
  scr->BarVBorder = 1;
  scr->BarHBorder = 5;
  scr->Font = &priv->font;
  ColorMap *cm = &priv->colormap;
  scr->ViewPort.ColorMap = cm;
  // Fixed pens: 0 background, 1 text (black), 2 shine, 3 fill; the bar's text pen follows.
  const uint32_t base[] = {options.barBackground | 0xFF000000u, 0xFF000000u, 0xFFFFFFFFu, 0xFF6688BBu,
                           0xFF555555u, 0xFFDDDDDDu};
  for (ULONG i = 0; i < sizeof(base) / sizeof(base[0]); ++i) {
    cm->colors[i] = base[i];
    cm->fixed[i] = true;
  }
  priv->textPen = ObtainLocked(cm, -1, options.barText | 0xFF000000u, true);
  // Toolkit pens: shine, halfshine, background, halfshadow, shadow, text, fill, mark, marktext.
  const UWORD mui[MPEN_COUNT] = {2, 5, 0, 4, 1, static_cast<UWORD>(priv->textPen), 3, 3, 2};
  std::memcpy(priv->muiPens, mui, sizeof(mui));
  InitRastPort(&scr->RastPort);
  scr->RastPort.rp_Target = priv->bar.get();
  scr->RastPort.rp_ColorMap = cm;
  priv->renderInfo.mri_Screen = scr;
  priv->renderInfo.mri_Colormap = cm;
  priv->renderInfo.mri_Pens = priv->muiPens;
  priv->renderInfo.mri_RastPort = &scr->RastPort;
  priv->renderInfo.mri_Flags = MUIMRI_TRUECOLOR;
  return scr;
}

void ClosePlatformScreen(Screen *screen) {
  if (!screen) return;
  delete screen->sc_Private;
  delete screen;
}

RenderTarget *ScreenBarTarget(Screen *screen) { return screen ? screen->sc_Private->bar.get() : nullptr; }
uint32_t ScreenBarBackground(Screen *screen) {
  return screen ? screen->sc_Private->options.barBackground | 0xFF000000u : 0xFF000000u;
}

void SetScreenMouse(Screen *screen, LONG x, LONG y) {
  if (!screen) return;
  __atomic_store_n(&screen->MouseX, static_cast<WORD>(x), __ATOMIC_RELAXED);
  __atomic_store_n(&screen->MouseY, static_cast<WORD>(y), __ATOMIC_RELAXED);
}

void SetScreenDisplayed(Screen *screen, bool displayed) {
  if (screen) screen->sc_Private->displayed = displayed;
}

MUI_RenderInfo *ScreenRenderInfo(Screen *screen) { return screen ? &screen->sc_Private->renderInfo : nullptr; }

} // namespace platform

ULONG GetScreenAttr(struct Screen *screen, ULONG attr, APTR data, ULONG size) {
  if (!screen || !data) return 0;
  ScreenPrivate *p = screen->sc_Private;
  IPTR value;
  switch (attr) {
  case SA_Left: value = static_cast<IPTR>(screen->LeftEdge); break;
  case SA_Top: value = static_cast<IPTR>(screen->TopEdge); break;
  case SA_Width: value = static_cast<IPTR>(screen->Width); break;
  case SA_Height: value = static_cast<IPTR>(screen->Height); break;
  case SA_Title: value = reinterpret_cast<IPTR>(screen->Title); break;
  case SA_Displayed: value = p->displayed ? 1 : 0; break;
  case SA_ScreenbarTextYPos: value = static_cast<IPTR>((screen->BarHeight + 1 - platform::kFontHeight) / 2 + platform::kFontBaseline); break;
  case SA_ScreenbarTextPen: value = static_cast<IPTR>(p->textPen); break;
  case SA_ScreenbarTextFont: value = reinterpret_cast<IPTR>(DefaultFont()); break;
  default: return 0;
  }
  switch (size) {
  case 1: *static_cast<UBYTE *>(data) = static_cast<UBYTE>(value); return 1;
  case 2: *static_cast<UWORD *>(data) = static_cast<UWORD>(value); return 2;
  case 4: *static_cast<ULONG *>(data) = static_cast<ULONG>(value); return 4;
  case 8: *static_cast<UQUAD *>(data) = static_cast<UQUAD>(value); return 8;
  default: return 0;
  }
}

ULONG GetScreenAttrsA(struct Screen *screen, struct TagItem *tags) {
  ULONG n = 0;
  struct TagItem *state = tags, *t;
  while ((t = NextTagItem(&state)))
    if (t->ti_Data) {
      bool pointer = t->ti_Tag == SA_Title || t->ti_Tag == SA_ScreenbarTextFont;
      if (GetScreenAttr(screen, static_cast<ULONG>(t->ti_Tag), reinterpret_cast<APTR>(t->ti_Data), pointer ? 8 : 4)) ++n;
    }
  return n;
}

// ---- toolkit pens ---------------------------------------------------------------------------

LONG MUI_ObtainPen(struct MUI_RenderInfo *mri, struct MUI_PenSpec *spec, ULONG) {
  if (!mri || !mri->mri_Colormap || !spec) return -1;
  uint32_t argb;
  LONG fixed;
  char kind;
  if (!platform::ParsePenSpec(spec->buf, argb, fixed, kind)) return -1;
  ColorMap *cm = mri->mri_Colormap;
  if (kind == 'm') {
    if (fixed >= static_cast<LONG>(MPEN_COUNT) || !mri->mri_Pens) return -1;
    argb = platform::PenColor(cm, mri->mri_Pens[fixed]);
  } else if (kind == 'p') {
    argb = platform::PenColor(cm, fixed);
  }
  std::lock_guard g(cm->lock);
  return ObtainLocked(cm, -1, argb, false);
}

void MUI_ReleasePen(struct MUI_RenderInfo *mri, LONG pen) {
  if (!mri || pen < 0) return;
  ReleasePen(mri->mri_Colormap, static_cast<ULONG>(pen) & 0xFFFF);
}
