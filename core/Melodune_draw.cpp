// The gadget in the bar: its size, the icon with the recolour animation and
// the mute mark, the preferences image, and the one bubble under it.
#include <algorithm>

#include "Melodune.h"
#include "host/screenbar.h"
#include "mui/screen.h"
#include "reggae/reggae.h"

namespace {

// 1 while a bubble is being made; removals wait for it.
std::atomic<ULONG> s_bubCreating{0};
// Keeps g.bub and g.BubbleObj a pair.
std::mutex s_bubLock;

constexpr ULONG SA_ScreenActiveBar = 0x80000085; // non-zero: this screen's bar is the one in use
constexpr ULONG SA_BarPen = 0x800000A7;          // the bar's own pen, used while stopped

LONG ScreenLong(struct Screen *scr, ULONG attr) {
  IPTR v = 0;
  if (!scr || !GetScreenAttr(scr, attr, &v, sizeof(v))) return 0;
  return static_cast<LONG>(v);
}

// Removes the current bubble, whoever made it; a handle is only ever
// deleted once even when two tasks get here together.
void RemoveBubble() {
  APTR bub;
  Object *owner;
  {
    std::lock_guard l(s_bubLock);
    bub = g.bub.exchange(nullptr);
    owner = g.BubbleObj.exchange(nullptr);
  }
  if (bub && owner) DoMethod(owner, MUIM_DeleteBubble, bub);
}

} // namespace

void ForgetBubblesOf(Object *obj) {
  APTR bub = nullptr;
  {
    std::lock_guard l(s_bubLock);
    Object *owner = obj;
    if (g.BubbleObj.compare_exchange_strong(owner, nullptr)) bub = g.bub.exchange(nullptr);
  }
  if (bub) DoMethod(obj, MUIM_DeleteBubble, bub);
  Object *owner = obj;
  if (g.infoBubbleObj.compare_exchange_strong(owner, nullptr))
    if (APTR info = g.infoBubble.exchange(nullptr)) DoMethod(obj, MUIM_DeleteBubble, info);
}

MELODUNE_HANDLER(Melodune_AskMinMax) {
  IPTR r = DoSuperMethodA(cl, obj, msg);
  struct MUI_MinMax *mm = reinterpret_cast<MUIP_AskMinMax *>(msg)->MinMaxInfo;
  struct Screen *scr = _screen(obj);
  if (mm && scr) {
    WORD size = static_cast<WORD>(scr->BarHeight + 1);
    mm->MinWidth = mm->DefWidth = mm->MaxWidth = size;
    mm->MinHeight = mm->DefHeight = mm->MaxHeight = size;
  }
  return r;
}

MELODUNE_HANDLER(Melodune_GET) {
  auto *m = reinterpret_cast<opGet *>(msg);
  if (m->opg_AttrID == MUIA_Screenbar_PrefsImage && m->opg_Storage) {
    *m->opg_Storage = reinterpret_cast<IPTR>(
        MUI_NewObject(MUIC_Image, MUIA_Image_Spec, "5:sys:Data/Screenbar/Melodune/Prefs.png"));
    return TRUE;
  }
  if (m->opg_AttrID == MUIA_Melodune_Globals && m->opg_Storage) {
    *m->opg_Storage = reinterpret_cast<IPTR>(&g);
    return TRUE;
  }
  return DoSuperMethodA(cl, obj, msg);
}

MELODUNE_HANDLER(Melodune_Draw) {
  IPTR result = DoSuperMethodA(cl, obj, msg);
  Data *data = static_cast<Data *>(INST_DATA(cl, obj));
  const IPTR flags = reinterpret_cast<MUIP_Draw *>(msg)->flags;
  struct Screen *scr = _screen(obj);
  struct RastPort *rp = _rp(obj);
  if (!scr || !rp) return result;

  if (ScreenLong(scr, SA_ScreenActiveBar)) g.currObj = obj;

  if (flags & MADF_DRAWUPDATE) {
    // The parent paints the bar's background; without one, our own.
    Object *parent = _parent(obj);
    Object *painter = parent && platform::IsInstanceOf(parent, MUIC_Area) ? parent : obj;
    DoMethod(painter, MUIM_DrawBackground, _left(obj), _top(obj), _width(obj), _height(obj), 0, 0, 0);
  }

  if (!data->image) {
    CONST_STRPTR file = _mheight(obj) > 19 ? "sys:Data/Screenbar/Melodune/20/Melodune.png"
                                           : "sys:Data/Screenbar/Melodune/16/Melodune.png";
    ULONG w = 0, h = 0;
    data->image = static_cast<UBYTE *>(LoadPNGARGB(file, &w, &h));
    if (!data->image) return result;
    data->width = w;
    data->height = h;
  }

  const LONG state = g.state.load();
  if (!(data->animDone && static_cast<ULONG>(state) == data->lastState)) {
    LONG pen = -1;
    if (g.recOut.load() && data->recolorRec) pen = data->recPen;
    else if (g.Out.load() && data->recolorPlay) pen = data->playPen;
    if (pen == -1) pen = ScreenLong(scr, SA_BarPen); // also when a wanted pen could not be had
    ULONG rgb[3] = {0, 0, 0};
    GetRGB32(_ri(obj)->mri_Colormap, static_cast<ULONG>(pen), 1, rgb);
    const UBYTE red = rgb[0] & 0xFF, green = rgb[1] & 0xFF, blue = rgb[2] & 0xFF;

    if (data->nextRow >= data->height) data->nextRow = 0;
    // Downwards from the top when playback stops or recording falls back
    // to playing; upwards from the bottom otherwise.
    const bool fromTop = (state == MELODUNE_STOPPED && data->lastState != MELODUNE_STOPPED) ||
                         (data->lastState == MELODUNE_RECORDING && state == MELODUNE_PLAYING);
    const ULONG row = fromTop ? data->nextRow : data->height - data->nextRow - 1;
    UBYTE *p = data->image + static_cast<size_t>(row) * data->width * 4;
    for (ULONG x = 0; x < data->width; ++x, p += 4) {
      p[1] = red;
      p[2] = green;
      p[3] = blue;
    }
    ++data->nextRow;
    // Speeds up row by row; icons taller than 20 rows go on without delay.
    const LONG delay = std::max<LONG>(0, (20 - static_cast<LONG>(data->nextRow)) * 2);
    MeloPush(obj, static_cast<ULONG>(delay), MM_Melodune_Redraw);
    if (data->nextRow >= data->height) {
      data->animDone = TRUE;
      data->lastState = static_cast<ULONG>(state);
    }
  }

  const LONG dx = _left(obj) + _addleft(obj) + (_width(obj) - static_cast<LONG>(data->width)) / 2;
  const LONG dy = (_height(obj) - static_cast<LONG>(data->height)) / 2;
  WritePixelArrayAlpha(data->image, 0, 0, static_cast<UWORD>(data->width * 4), rp, static_cast<UWORD>(std::max<LONG>(0, dx)),
                       static_cast<UWORD>(std::max<LONG>(0, dy)), static_cast<UWORD>(data->width),
                       static_cast<UWORD>(data->height), 0xFFFFFFFF);

  if (Object *out = g.Out.load()) {
    IPTR muted = 0;
    DoMethod(out, MMM_GetPort, 0, MMA_Sound_Mute, &muted);
    if (muted) {
      IPTR dim = DoMethod(obj, MUIM_TextDim, "X", 1, nullptr, 0);
      const LONG tw = DIM2WIDTH(dim), th = DIM2HEIGHT(dim);
      const LONG tx = _left(obj) + _addleft(obj) + (_width(obj) - tw) / 2;
      const LONG ty = _top(obj) + _addtop(obj) + (_height(obj) - static_cast<LONG>(data->height)) / 2;
      DoMethod(obj, MUIM_Text, tx, ty, tw, th, "x", 1, nullptr, 0);
    }
  }
  return result;
}

MELODUNE_HANDLER(Melodune_CreateBubble) {
  (void)cl;
  auto *m = reinterpret_cast<MP_Melodune_CreateBubble *>(msg);
  // Another task is making one: give it up to 2 s. Taking the guard is one
  // step, so two makers never both think they have it.
  ULONG idle = 0;
  for (int i = 0; i < 10 && !s_bubCreating.compare_exchange_strong(idle, 1); ++i) {
    idle = 0;
    Delay(10);
  }
  s_bubCreating = 1;
  RemoveBubble();
  auto bub = reinterpret_cast<APTR>(
      DoMethod(obj, MUIM_CreateBubble, _left(obj), _top(obj) + _height(obj), m->text, 0));
  if (bub) {
    std::lock_guard l(s_bubLock);
    g.BubbleObj = obj;
    g.bub = bub;
  }
  s_bubCreating = 0;
  return reinterpret_cast<IPTR>(bub);
}

MELODUNE_HANDLER(Melodune_DeleteBubble) {
  (void)cl, (void)obj, (void)msg;
  for (LONG i = 0; i < 10 && s_bubCreating.load(); ++i) {
    DTRACE("Melodune_DeleteBubble", "i = %ld, bubCreating = %ld\n", i, static_cast<LONG>(s_bubCreating.load()));
    Delay(10);
  }
  RemoveBubble();
  return 0;
}
