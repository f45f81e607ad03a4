// Area.mui: the base of every gadget. Keeps the rectangle, frame, spacing,
// weights, the input mode with its pressed/selected state (and the repeat
// of a held relverify button), disabled and shown states, the short help,
// the context menu, and draws the background.
#include <algorithm>
#include <cstdio>
#include <mutex>

#include "mui/widgets.h"

namespace platform::widgets {
namespace {

// The repeat's tick, sent by the application's timer to the held object.
constexpr IPTR kRepeatTick = 0x80CFFF01;

struct IClass *gArea;
// Classes live as long as the process; kept here so leak checks see them.
constexpr size_t kMaxClasses = 64;
struct IClass *gMadeClasses[kMaxClasses];
size_t gMadeCount;
std::mutex gConfigLock;
ConfigProvider gConfigProvider;

// Frame thickness of a frame type (all frames are drawn one pixel wide).
LONG FrameSize(LONG frame) { return frame == MUIV_Frame_None ? 0 : 1; }
LONG DefaultInner(LONG frame) {
  switch (frame) {
  case MUIV_Frame_None: return 0;
  case MUIV_Frame_Group: return 4;
  default: return 2;
  }
}

void UpdateOffsets(AreaData *d) {
  LONG f = FrameSize(d->frame);
  LONG il = d->innerSet ? d->innerLeft : DefaultInner(d->frame);
  LONG ir = d->innerSet ? d->innerRight : DefaultInner(d->frame);
  LONG it = d->innerSet ? d->innerTop : DefaultInner(d->frame);
  LONG ib = d->innerSet ? d->innerBottom : DefaultInner(d->frame);
  if (d->phantomHoriz) f = 0;
  LONG title = (d->frameTitle && !d->frameTitle->empty()) ? kFontHeight / 2 : 0;
  d->pub.mad_addleft = static_cast<BYTE>(f + il);
  d->pub.mad_addtop = static_cast<BYTE>(f + it + title);
  d->pub.mad_subwidth = static_cast<BYTE>(2 * f + il + ir);
  d->pub.mad_subheight = static_cast<BYTE>(2 * f + it + ib + title);
}

void SetAttr(AreaData *d, Tag tag, IPTR data, bool init) {
  switch (tag) {
  case MUIA_Background:
    d->background = data;
    delete d->bgSpec;
    d->bgSpec = nullptr;
    // Small numbers are standard images; anything else is an image spec text.
    if (data > 0x1000) d->bgSpec = new std::string(reinterpret_cast<const char *>(data));
    break;
  case MUIA_ControlChar: d->controlChar = static_cast<UBYTE>(data); break;
  case MUIA_CycleChain: d->cycleChain = static_cast<LONG>(data); break;
  case MUIA_Disabled: d->disabled = data != 0; break;
  case MUIA_Draggable: d->draggable = data != 0; break;
  case MUIA_Dropable: d->dropable = data != 0; break;
  case MUIA_FillArea: d->fillArea = data != 0; break;
  case MUIA_FrameTitle: SetText(d->frameTitle, reinterpret_cast<CONST_STRPTR>(data)); UpdateOffsets(d); break;
  case MUIA_HorizDisappear: d->horizDisappear = static_cast<LONG>(data); break;
  case MUIA_VertDisappear: d->vertDisappear = static_cast<LONG>(data); break;
  case MUIA_HorizWeight: d->horizWeight = static_cast<LONG>(data); break;
  case MUIA_VertWeight: d->vertWeight = static_cast<LONG>(data); break;
  case MUIA_Selected: d->selected = data != 0; break;
  case MUIA_Pressed: d->pressed = data != 0; break;
  case MUIA_ShortHelp: d->shortHelp = data; break;
  case MUIA_ShowMe: d->showMe = data != 0; break;
  case MUIA_ContextMenu: d->contextMenu = reinterpret_cast<Object *>(data); break;
  case MUIA_ContextMenuTrigger: d->contextTrigger = reinterpret_cast<Object *>(data); break;
  default: break;
  }
  if (!init) return;
  switch (tag) {
  case MUIA_Frame: d->frame = static_cast<LONG>(data); UpdateOffsets(d); break;
  case MUIA_FramePhantomHoriz: d->phantomHoriz = data != 0; UpdateOffsets(d); break;
  case MUIA_InnerLeft: d->innerLeft = static_cast<LONG>(data); d->innerSet = true; UpdateOffsets(d); break;
  case MUIA_InnerRight: d->innerRight = static_cast<LONG>(data); d->innerSet = true; UpdateOffsets(d); break;
  case MUIA_InnerTop: d->innerTop = static_cast<LONG>(data); d->innerSet = true; UpdateOffsets(d); break;
  case MUIA_InnerBottom: d->innerBottom = static_cast<LONG>(data); d->innerSet = true; UpdateOffsets(d); break;
  case MUIA_Weight: d->horizWeight = d->vertWeight = static_cast<LONG>(data); break;
  case MUIA_FixWidth: d->fixWidth = static_cast<LONG>(data); break;
  case MUIA_FixHeight: d->fixHeight = static_cast<LONG>(data); break;
  case MUIA_MaxWidth: d->maxWidth = static_cast<LONG>(data); break;
  case MUIA_MaxHeight: d->maxHeight = static_cast<LONG>(data); break;
  case MUIA_FixWidthTxt: SetText(d->fixWidthTxt, reinterpret_cast<CONST_STRPTR>(data)); break;
  case MUIA_FixHeightTxt: SetText(d->fixHeightTxt, reinterpret_cast<CONST_STRPTR>(data)); break;
  case MUIA_InputMode: d->inputMode = static_cast<LONG>(data); break;
  case MUIA_ShowSelState: d->showSelState = data != 0; break;
  case MUIA_Font: d->font = static_cast<LONG>(data); break;
  default: break;
  }
}

bool GetAttr(Object *obj, AreaData *d, Tag tag, IPTR *store) {
  const MUI_AreaData &p = d->pub;
  switch (tag) {
  case MUIA_Background: *store = d->bgSpec ? reinterpret_cast<IPTR>(d->bgSpec->c_str()) : d->background; return true;
  case MUIA_ControlChar: *store = d->controlChar; return true;
  case MUIA_CycleChain: *store = static_cast<IPTR>(d->cycleChain); return true;
  case MUIA_Disabled: *store = d->disabled; return true;
  case MUIA_Draggable: *store = d->draggable; return true;
  case MUIA_Dropable: *store = d->dropable; return true;
  case MUIA_Frame: *store = static_cast<IPTR>(d->frame); return true;
  case MUIA_FrameTitle: *store = reinterpret_cast<IPTR>(TextOf(d->frameTitle)); return true;
  case MUIA_HorizWeight: *store = static_cast<IPTR>(d->horizWeight); return true;
  case MUIA_VertWeight: *store = static_cast<IPTR>(d->vertWeight); return true;
  case MUIA_HorizDisappear: *store = static_cast<IPTR>(d->horizDisappear); return true;
  case MUIA_VertDisappear: *store = static_cast<IPTR>(d->vertDisappear); return true;
  case MUIA_InputMode: *store = static_cast<IPTR>(d->inputMode); return true;
  case MUIA_Pressed: *store = d->pressed; return true;
  case MUIA_Selected: *store = d->selected; return true;
  case MUIA_ShortHelp: *store = d->shortHelp; return true;
  case MUIA_ShowMe: *store = d->showMe; return true;
  case MUIA_ShowSelState: *store = d->showSelState; return true;
  case MUIA_FramePhantomHoriz: *store = d->phantomHoriz; return true;
  case MUIA_ContextMenu: *store = reinterpret_cast<IPTR>(d->contextMenu); return true;
  case MUIA_ContextMenuTrigger: *store = reinterpret_cast<IPTR>(d->contextTrigger); return true;
  case MUIA_Timer: *store = static_cast<IPTR>(d->timer); return true;
  case MUIA_InnerLeft: *store = static_cast<IPTR>(p.mad_addleft); return true;
  case MUIA_InnerTop: *store = static_cast<IPTR>(p.mad_addtop); return true;
  case MUIA_InnerRight: *store = static_cast<IPTR>(p.mad_subwidth - p.mad_addleft); return true;
  case MUIA_InnerBottom: *store = static_cast<IPTR>(p.mad_subheight - p.mad_addtop); return true;
  case MUIA_LeftEdge: *store = static_cast<IPTR>(static_cast<SIPTR>(p.mad_Box.Left)); return true;
  case MUIA_TopEdge: *store = static_cast<IPTR>(static_cast<SIPTR>(p.mad_Box.Top)); return true;
  case MUIA_Width: *store = static_cast<IPTR>(static_cast<SIPTR>(p.mad_Box.Width)); return true;
  case MUIA_Height: *store = static_cast<IPTR>(static_cast<SIPTR>(p.mad_Box.Height)); return true;
  case MUIA_RightEdge: *store = static_cast<IPTR>(static_cast<SIPTR>(p.mad_Box.Left + p.mad_Box.Width - 1)); return true;
  case MUIA_BottomEdge: *store = static_cast<IPTR>(static_cast<SIPTR>(p.mad_Box.Top + p.mad_Box.Height - 1)); return true;
  case MUIA_Font: *store = reinterpret_cast<IPTR>(p.mad_Font ? p.mad_Font : DefaultFont()); return true;
  case MUIA_Window: *store = reinterpret_cast<IPTR>(p.mad_RenderInfo ? p.mad_RenderInfo->mri_Window : nullptr); return true;
  case MUIA_WindowObject: *store = reinterpret_cast<IPTR>(_win(obj)); return true;
  default: return false;
  }
}

uint32_t BackgroundColor(Object *obj, AreaData *d) {
  switch (static_cast<LONG>(d->background)) {
  case MUII_SHINE: return MuiPenColor(obj, MPEN_SHINE);
  case MUII_SHADOW: return MuiPenColor(obj, MPEN_SHADOW);
  case MUII_FILL: case MUII_SelectedBack: return MuiPenColor(obj, MPEN_FILL);
  case MUII_ButtonBack: case MUII_TextBack: case MUII_ReadListBack: case MUII_ListBack: case MUII_StringBack:
    return MuiPenColor(obj, MPEN_HALFSHINE);
  default: break;
  }
  // No background of its own: the title bar's (or the window's) colour.
  struct Screen *scr = _screen(obj);
  return scr ? ScreenBarBackground(scr) : MuiPenColor(obj, MPEN_BACKGROUND);
}

void StopRepeat(AreaData *d) {
  if (!d->repeat) return;
  if (d->repeatApp && IsLiveObject(d->repeatApp)) DoMethod(d->repeatApp, MUIM_Application_RemInputHandler, d->repeat);
  delete d->repeat;
  d->repeat = nullptr;
  d->repeatApp = nullptr;
}

// A held relverify object counts MUIA_Timer up: once at the press, then
// after the delay at every interval, so that arrow buttons move on while
// held (the delay keeps a plain click to one step).
void StartRepeat(Object *obj, AreaData *d) {
  StopRepeat(d);
  d->timer = 1;
  Announce(obj, MUIA_Timer, static_cast<IPTR>(d->timer));
  if (!d->pressed) return; // the first step released it already
  Object *app = ObjectApplication(obj);
  if (!app) return;
  d->repeat = new MUI_InputHandlerNode{};
  d->repeat->ihn_Object = obj;
  d->repeat->ihn_Flags = MUIIHNF_TIMER;
  d->repeat->ihn_Millis = static_cast<UWORD>(kRepeatIntervalMs);
  d->repeat->ihn_Method = static_cast<ULONG>(kRepeatTick);
  d->repeatApp = app;
  d->repeatTicks = 0;
  DoMethod(app, MUIM_Application_AddInputHandler, d->repeat);
}

IPTR AreaDispatcher(struct IClass *cl, Object *obj, Msg msg) {
  switch (msg->MethodID) {
  case OM_NEW: {
    Object *o = reinterpret_cast<Object *>(DoSuperMethodA(cl, obj, msg));
    if (!o) return 0;
    AreaData *d = static_cast<AreaData *>(INST_DATA(cl, o));
    d->showMe = true;
    d->horizWeight = d->vertWeight = 100;
    d->showSelState = true;
    d->fillArea = true;
    d->pub.mad_Font = DefaultFont();
    struct TagItem *state = reinterpret_cast<opSet *>(msg)->ops_AttrList, *t;
    while ((t = NextTagItem(&state))) SetAttr(d, t->ti_Tag, t->ti_Data, true);
    UpdateOffsets(d);
    return reinterpret_cast<IPTR>(o);
  }
  case OM_DISPOSE: {
    AreaData *d = static_cast<AreaData *>(INST_DATA(cl, obj));
    StopRepeat(d);
    delete d->frameTitle;
    delete d->bgSpec;
    delete d->fixWidthTxt;
    delete d->fixHeightTxt;
    d->frameTitle = d->bgSpec = d->fixWidthTxt = d->fixHeightTxt = nullptr;
    return DoSuperMethodA(cl, obj, msg);
  }
  case OM_SET: {
    AreaData *d = static_cast<AreaData *>(INST_DATA(cl, obj));
    bool layout = false, redraw = false;
    struct TagItem *state = reinterpret_cast<opSet *>(msg)->ops_AttrList, *t;
    while ((t = NextTagItem(&state))) {
      if (t->ti_Tag == MUIA_ShowMe && (t->ti_Data != 0) != d->showMe) layout = true;
      if (t->ti_Tag == MUIA_Disabled || t->ti_Tag == MUIA_Selected) redraw = true;
      SetAttr(d, t->ti_Tag, t->ti_Data, false);
    }
    IPTR r = DoSuperMethodA(cl, obj, msg);
    if (layout) NotifyLayout(_parent(obj) ? _parent(obj) : obj);
    if (redraw) MUI_Redraw(obj, MADF_DRAWOBJECT);
    return r;
  }
  case OM_GET: {
    auto *g = reinterpret_cast<opGet *>(msg);
    if (GetAttr(obj, static_cast<AreaData *>(INST_DATA(cl, obj)), g->opg_AttrID, g->opg_Storage)) return TRUE;
    return DoSuperMethodA(cl, obj, msg);
  }
  case MUIM_Setup: {
    AreaData *d = static_cast<AreaData *>(INST_DATA(cl, obj));
    d->pub.mad_RenderInfo = reinterpret_cast<MUIP_Setup *>(msg)->RenderInfo;
    return TRUE;
  }
  case MUIM_Cleanup: {
    AreaData *d = static_cast<AreaData *>(INST_DATA(cl, obj));
    d->pub.mad_RenderInfo = nullptr;
    d->shown = false;
    return TRUE;
  }
  case MUIM_Show: static_cast<AreaData *>(INST_DATA(cl, obj))->shown = true; return TRUE;
  case MUIM_Hide: static_cast<AreaData *>(INST_DATA(cl, obj))->shown = false; return TRUE;
  case MUIM_AskMinMax: {
    AreaData *d = static_cast<AreaData *>(INST_DATA(cl, obj));
    MUI_MinMax *mm = reinterpret_cast<MUIP_AskMinMax *>(msg)->MinMaxInfo;
    if (!mm) return 0;
    mm->MinWidth = mm->DefWidth = mm->MaxWidth = d->pub.mad_subwidth;
    mm->MinHeight = mm->DefHeight = mm->MaxHeight = d->pub.mad_subheight;
    return 0;
  }
  case MUIM_Layout: {
    auto *m = reinterpret_cast<IPTR *>(msg);
    AreaSetBox(obj, static_cast<LONG>(m[1]), static_cast<LONG>(m[2]), static_cast<LONG>(m[3]), static_cast<LONG>(m[4]));
    return TRUE;
  }
  case MUIM_Draw: {
    AreaData *d = static_cast<AreaData *>(INST_DATA(cl, obj));
    IPTR flags = reinterpret_cast<MUIP_Draw *>(msg)->flags;
    if ((flags & MADF_DRAWOBJECT) && d->fillArea && _rp(obj)) {
      const IBox &b = d->pub.mad_Box;
      DoMethod(obj, MUIM_DrawBackground, b.Left, b.Top, b.Width, b.Height, 0, 0, 0);
      if (FrameSize(d->frame) && !d->phantomHoriz) {
        RenderTarget *t = _rp(obj)->rp_Target;
        uint32_t c = MuiPenColor(obj, MPEN_SHADOW);
        t->Fill(b.Left, b.Top, b.Width, 1, c);
        t->Fill(b.Left, b.Top + b.Height - 1, b.Width, 1, c);
        t->Fill(b.Left, b.Top, 1, b.Height, c);
        t->Fill(b.Left + b.Width - 1, b.Top, 1, b.Height, c);
      }
    }
    return 0;
  }
  case MUIM_DrawBackground: {
    auto *m = reinterpret_cast<MUIP_DrawBackground *>(msg);
    struct RastPort *rp = _rp(obj);
    if (!rp || !rp->rp_Target || m->width <= 0 || m->height <= 0) return 0;
    rp->rp_Target->Fill(static_cast<LONG>(m->left), static_cast<LONG>(m->top), static_cast<LONG>(m->width),
                        static_cast<LONG>(m->height), BackgroundColor(obj, static_cast<AreaData *>(INST_DATA(cl, obj))));
    return 0;
  }
  case MUIM_TextDim: {
    auto *m = reinterpret_cast<MUIP_TextDim *>(msg);
    PlainText t = StripCodes(m->preparse, m->text, static_cast<LONG>(m->len));
    LONG lines = 1, width = 0, cur = 0;
    for (char c : t.text) {
      if (c == '\n') {
        ++lines;
        cur = 0;
      } else {
        width = std::max(width, ++cur);
      }
    }
    return (static_cast<IPTR>(lines * kFontHeight) << 16) | static_cast<IPTR>(TextWidth(width) + (t.bold ? 1 : 0));
  }
  case MUIM_Text: {
    auto *m = reinterpret_cast<MUIP_Text *>(msg);
    DrawTextIn(obj, static_cast<LONG>(m->left), static_cast<LONG>(m->top), static_cast<LONG>(m->width),
               static_cast<LONG>(m->height), m->preparse, m->text, static_cast<LONG>(m->len), MuiPenColor(obj, MPEN_TEXT));
    return 0;
  }
  case MUIM_CreateShortHelp: {
    AreaData *d = static_cast<AreaData *>(INST_DATA(cl, obj));
    // TRUE only asks for the method; a class that sets it overrides it.
    return d->shortHelp > 1 ? d->shortHelp : 0;
  }
  case MUIM_DeleteShortHelp: return 0;
  case MUIM_ContextMenuBuild: return reinterpret_cast<IPTR>(static_cast<AreaData *>(INST_DATA(cl, obj))->contextMenu);
  case MUIM_ContextMenuChoice:
    // The item goes out through the trigger, so that a notification can pass it on.
    SetAttrs(obj, MUIA_ContextMenuTrigger, reinterpret_cast<MUIP_ContextMenuChoice *>(msg)->item);
    return 0;
  case kRepeatTick: {
    AreaData *d = static_cast<AreaData *>(INST_DATA(cl, obj));
    if (!d->repeat || !d->pressed || d->disabled) {
      StopRepeat(d);
      return 0;
    }
    if (++d->repeatTicks * kRepeatIntervalMs < kRepeatDelayMs) return 0;
    Announce(obj, MUIA_Timer, static_cast<IPTR>(++d->timer));
    return 0;
  }
  case MUIM_GetConfigItem: {
    auto *m = reinterpret_cast<MUIP_GetConfigItem *>(msg);
    ConfigProvider p;
    {
      std::lock_guard g(gConfigLock);
      p = gConfigProvider;
    }
    IPTR value = 0;
    bool found = p && p(obj, static_cast<ULONG>(m->id), &value);
    if (m->storage) *m->storage = found ? value : 0;
    return found ? TRUE : FALSE;
  }
  default: return DoSuperMethodA(cl, obj, msg);
  }
}

} // namespace

struct IClass *AreaClass() { return gArea; }

AreaData *Area(Object *obj) {
  if (!obj || !gArea) return nullptr;
  for (struct IClass *c = OCLASS(obj); c; c = c->cl_Super)
    if (c == gArea) return static_cast<AreaData *>(INST_DATA(gArea, obj));
  return nullptr;
}

struct IClass *MakeWidgetClass(CONST_STRPTR id, CONST_STRPTR superId, ULONG dataSize, DISPATCHERFUNC dispatcher) {
  if (struct IClass *existing = FindClass(id)) return existing;
  struct IClass *cl = MakePublicClass(id, superId, dataSize, dispatcher);
  if (!cl) return nullptr;
  if (gMadeCount < kMaxClasses) gMadeClasses[gMadeCount++] = cl;
  return cl;
}

struct IClass *MakeAreaClass() {
  gArea = MakeWidgetClass(MUIC_Area, MUIC_Notify, sizeof(AreaData), AreaDispatcher);
  return gArea;
}

IPTR SuperSet(struct IClass *cl, Object *obj, Msg msg, const std::vector<TagChange> &changes) {
  if (changes.empty()) return DoSuperMethodA(cl, obj, msg);
  std::vector<struct TagItem> copy;
  struct TagItem *state = reinterpret_cast<opSet *>(msg)->ops_AttrList, *t;
  while ((t = NextTagItem(&state))) {
    struct TagItem item = *t;
    for (const TagChange &c : changes)
      if (c.tag == t->ti_Tag) {
        if (c.ignore) item.ti_Tag = TAG_IGNORE;
        else item.ti_Data = c.data;
      }
    copy.push_back(item);
  }
  copy.push_back({TAG_DONE, 0});
  IPTR m[] = {OM_SET, reinterpret_cast<IPTR>(copy.data()), reinterpret_cast<opSet *>(msg)->ops_GInfo
                                                                 ? reinterpret_cast<IPTR>(reinterpret_cast<opSet *>(msg)->ops_GInfo)
                                                                 : 0};
  return DoSuperMethodA(cl, obj, reinterpret_cast<Msg>(m));
}

void Announce(Object *obj, Tag attr, IPTR value) { TriggerNotify(obj, attr, value); }

void GrowMinMax(struct MUI_MinMax *mm, const ContentSize &add) {
  auto grow = [](WORD &size, LONG by) { size = static_cast<WORD>(size + by); };
  auto growOrFree = [&](WORD &size, LONG by) {
    if (by == kFreeSize) size = MUI_MAXMAX;
    else grow(size, by);
  };
  grow(mm->MinWidth, add.minWidth);
  grow(mm->DefWidth, add.defWidth);
  growOrFree(mm->MaxWidth, add.maxWidth);
  grow(mm->MinHeight, add.minHeight);
  grow(mm->DefHeight, add.defHeight);
  growOrFree(mm->MaxHeight, add.maxHeight);
}

PlainText StripCodes(CONST_STRPTR preparse, CONST_STRPTR text, LONG len) {
  PlainText out;
  std::string all = preparse ? preparse : "";
  if (text) all.append(text, len < 0 ? std::strlen(text) : strnlen(text, static_cast<size_t>(len)));
  bool first = true;
  for (size_t i = 0; i < all.size(); ++i) {
    char c = all[i];
    if (c == '\033' && i + 1 < all.size()) {
      char k = all[++i];
      switch (k) {
      case 'c': case 'l': case 'r': if (first) out.align = k; break;
      case 'b': out.bold = true; break;
      case 'n': out.bold = false; break;
      case 'I': case 'O': // \33I[spec] inline image: no text
        if (i + 1 < all.size() && all[i + 1] == '[') {
          size_t end = all.find(']', i + 1);
          i = end == std::string::npos ? all.size() : end;
        }
        break;
      default: break; // pens (digits), underline, italics: no effect on the plain text
      }
      continue;
    }
    if (c == '\n') first = false;
    out.text += c == '\xA0' ? ' ' : c;
  }
  return out;
}

UBYTE UnderscoreKey(CONST_STRPTR text) {
  if (!text) return 0;
  const char *u = std::strchr(text, '_');
  if (!u || !u[1]) return 0;
  UBYTE c = static_cast<UBYTE>(u[1]);
  if ((c >= 'A' && c <= 'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7)) c = static_cast<UBYTE>(c + 32);
  return c;
}

uint32_t MuiPenColor(Object *obj, ULONG mpen) {
  struct MUI_RenderInfo *ri = muiRenderInfo(obj);
  if (!ri || !ri->mri_Pens || mpen >= MPEN_COUNT) return mpen == MPEN_TEXT ? 0xFF000000u : 0xFFAAAAAAu;
  return PenColor(ri->mri_Colormap, ri->mri_Pens[mpen]);
}

void DrawTextIn(Object *obj, LONG left, LONG top, LONG width, LONG height, CONST_STRPTR preparse, CONST_STRPTR text,
                LONG len, uint32_t argb) {
  struct RastPort *rp = _rp(obj);
  if (!rp || !rp->rp_Target) return;
  PlainText t = StripCodes(preparse, text, len);
  std::vector<std::string> lines;
  size_t start = 0;
  for (;;) {
    size_t nl = t.text.find('\n', start);
    lines.push_back(t.text.substr(start, nl == std::string::npos ? std::string::npos : nl - start));
    if (nl == std::string::npos) break;
    start = nl + 1;
  }
  LONG total = static_cast<LONG>(lines.size()) * kFontHeight;
  LONG y = top + (height - total) / 2;
  for (const std::string &line : lines) {
    LONG w = TextWidth(static_cast<LONG>(line.size()));
    LONG x = left;
    if (t.align == 'c') x = left + (width - w) / 2;
    else if (t.align == 'r') x = left + width - w;
    DrawText(rp->rp_Target, x, y, line.data(), static_cast<LONG>(line.size()), argb, t.bold);
    y += kFontHeight;
  }
}

std::string FormatValue(CONST_STRPTR format, LONG value) {
  std::string out;
  if (!format) format = "%ld";
  bool done = false;
  for (const char *p = format; *p; ++p) {
    if (*p != '%' || done) {
      out += *p;
      continue;
    }
    if (p[1] == '%') {
      out += '%';
      ++p;
      continue;
    }
    // %[flags][width][l|L]d/D/u/U/x/X
    std::string spec = "%";
    const char *q = p + 1;
    while (*q == '-' || *q == '0' || *q == '+' || *q == ' ') spec += *q++;
    while (*q >= '0' && *q <= '9') spec += *q++;
    while (*q == 'l' || *q == 'L') ++q;
    char conv = *q;
    if (!conv) break;
    char buf[64];
    switch (conv) {
    case 'd': case 'D': case 'i':
      std::snprintf(buf, sizeof buf, (spec + "ld").c_str(), static_cast<long>(value));
      break;
    case 'u': case 'U':
      std::snprintf(buf, sizeof buf, (spec + "lu").c_str(), static_cast<unsigned long>(static_cast<ULONG>(value)));
      break;
    case 'x': case 'X':
      std::snprintf(buf, sizeof buf, (spec + (conv == 'x' ? "lx" : "lX")).c_str(),
                    static_cast<unsigned long>(static_cast<ULONG>(value)));
      break;
    default: buf[0] = 0; break;
    }
    out += buf;
    p = q;
    done = true;
  }
  return out;
}

} // namespace platform::widgets

using namespace platform::widgets;

struct MUI_AreaData *muiAreaData(Object *obj) {
  AreaData *d = Area(obj);
  static MUI_AreaData none{};
  return d ? &d->pub : &none;
}

struct MUI_RenderInfo *muiRenderInfo(Object *obj) {
  AreaData *d = Area(obj);
  return d ? d->pub.mad_RenderInfo : nullptr;
}

struct Screen *_screen(Object *o) {
  MUI_RenderInfo *ri = muiRenderInfo(o);
  return ri ? ri->mri_Screen : nullptr;
}
struct RastPort *_rp(Object *o) {
  MUI_RenderInfo *ri = muiRenderInfo(o);
  return ri ? ri->mri_RastPort : nullptr;
}
struct Window *_window(Object *o) {
  MUI_RenderInfo *ri = muiRenderInfo(o);
  return ri ? ri->mri_Window : nullptr;
}
UWORD *_pens(Object *o) {
  MUI_RenderInfo *ri = muiRenderInfo(o);
  return ri ? ri->mri_Pens : nullptr;
}
struct TextFont *_font(Object *o) {
  AreaData *d = Area(o);
  return d && d->pub.mad_Font ? d->pub.mad_Font : DefaultFont();
}

void MUI_Redraw(Object *obj, ULONG flags) {
  AreaData *d = Area(obj);
  if (!d || !d->pub.mad_RenderInfo || !d->pub.mad_RenderInfo->mri_RastPort) return;
  if (d->pub.mad_Box.Width <= 0 || d->pub.mad_Box.Height <= 0 || !d->showMe) return;
  d->pub.mad_Flags = (d->pub.mad_Flags & ~(MADF_DRAWOBJECT | MADF_DRAWUPDATE)) | (flags & (MADF_DRAWOBJECT | MADF_DRAWUPDATE));
  DoMethod(obj, MUIM_Draw, static_cast<IPTR>(flags));
  d->pub.mad_Flags &= ~(MADF_DRAWOBJECT | MADF_DRAWUPDATE);
}

namespace platform {

void AreaSetBox(Object *obj, LONG left, LONG top, LONG width, LONG height) {
  AreaData *d = Area(obj);
  if (!d) return;
  d->pub.mad_Box = IBox{static_cast<WORD>(left), static_cast<WORD>(top), static_cast<WORD>(width), static_cast<WORD>(height)};
}

void SetConfigProvider(ConfigProvider provider) {
  std::lock_guard g(gConfigLock);
  gConfigProvider = std::move(provider);
}

bool IsInstanceOf(Object *obj, CONST_STRPTR classID) {
  struct IClass *want = FindClass(classID);
  if (!obj || !want) return false;
  for (struct IClass *c = OCLASS(obj); c; c = c->cl_Super)
    if (c == want) return true;
  return false;
}

void AreaPress(Object *obj) {
  AreaData *d = Area(obj);
  if (!d || d->disabled) return;
  switch (d->inputMode) {
  case MUIV_InputMode_RelVerify:
    SetAttrs(obj, MUIA_Selected, TRUE, MUIA_Pressed, TRUE);
    if (IsLiveObject(obj) && (d = Area(obj)) && d->pressed) StartRepeat(obj, d);
    break;
  case MUIV_InputMode_Immediate: SetAttrs(obj, MUIA_Selected, TRUE); break;
  case MUIV_InputMode_Toggle: SetAttrs(obj, MUIA_Selected, d->selected ? FALSE : TRUE); break;
  default: break;
  }
}

void AreaRelease(Object *obj, bool inside) {
  AreaData *d = Area(obj);
  if (d) StopRepeat(d);
  if (!d || d->inputMode != MUIV_InputMode_RelVerify || !d->pressed) return;
  if (inside) {
    SetAttrs(obj, MUIA_Selected, FALSE, MUIA_Pressed, FALSE);
  } else {
    // Released elsewhere: the click is cancelled without announcing a release.
    SetAttrs(obj, MUIA_Selected, FALSE);
    SetAttrs(obj, MUIA_NoNotify, TRUE, MUIA_Pressed, FALSE);
  }
}

bool RegisterWidgetClasses() {
  static std::mutex lock;
  static bool done = false;
  std::lock_guard g(lock);
  if (done) return true;
  if (!FindClass(MUIC_Notify)) return false;
  bool ok = MakeAreaClass() && MakeGroupClass() && MakeRectangleClass() && MakeBalanceClass() &&
            MakeImageClasses() && MakeTextClass() && MakeStringClass() && MakeNumericClasses() && MakeGaugeClass() &&
            MakeScaleClass() && MakeListClasses() && MakeListtreeClass() && MakePopstringClasses() &&
            MakePopaslClass() && MakePenClasses() && MakeBusyClass() && MakeHyperlinkClass() && MakeMccprefsClass();
  done = ok;
  return ok;
}

std::vector<std::vector<std::string>> ListRows(Object *list, bool *hasTitle) {
  if (hasTitle) *hasTitle = false;
  if (Area(list) && ListtreeClass()) {
    for (struct IClass *c = OCLASS(list); c; c = c->cl_Super)
      if (c == ListtreeClass()) return ListtreeRowsOf(list, hasTitle);
  }
  return ListRowsOf(list, hasTitle);
}

} // namespace platform
