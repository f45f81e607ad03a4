// Pendisplay.mui and Poppen.mui: show a pen spec ("rRRGGBB", "mN", "pN")
// and, for Poppen, let the person pick another colour (the display does
// the picking and sets MUIA_Pendisplay_Spec).
#include "mui/widgets.h"

namespace platform::widgets {
namespace {

struct PenData {
  MUI_PenSpec spec;
  MUI_RGBcolor rgb;
  LONG pen; // obtained while set up, else -1
  struct MUI_RenderInfo *ri;
};

void StoreSpec(PenData *d, const char *text) {
  std::memset(d->spec.buf, 0, sizeof d->spec.buf);
  if (text) std::memcpy(d->spec.buf, text, strnlen(text, sizeof d->spec.buf - 1));
  uint32_t argb = 0;
  LONG fixed;
  char kind;
  if (ParsePenSpec(d->spec.buf, argb, fixed, kind) && kind == 'r') {
    d->rgb.red = ((argb >> 16) & 0xFF) * 0x01010101u;
    d->rgb.green = ((argb >> 8) & 0xFF) * 0x01010101u;
    d->rgb.blue = (argb & 0xFF) * 0x01010101u;
  }
}

void Repen(PenData *d) {
  if (!d->ri) return;
  if (d->pen >= 0) MUI_ReleasePen(d->ri, d->pen);
  d->pen = MUI_ObtainPen(d->ri, &d->spec, 0);
}

IPTR PenDispatcher(struct IClass *cl, Object *obj, Msg msg) {
  switch (msg->MethodID) {
  case OM_NEW: {
    auto made = SuperNew<PenData>(cl, obj, msg);
    if (!made) return 0;
    made.data->pen = -1;
    IPTR spec = GetTagData(MUIA_Pendisplay_Spec, reinterpret_cast<IPTR>("m5"), AttrTags(msg));
    StoreSpec(made.data, reinterpret_cast<const char *>(spec));
    return made.result();
  }
  case OM_SET: {
    PenData *d = InstOf<PenData>(cl, obj);
    std::vector<TagChange> changes;
    EachTag(AttrTags(msg), [&](const TagItem &t) {
      if (t.ti_Tag == MUIA_Pendisplay_Spec && t.ti_Data) {
        StoreSpec(d, reinterpret_cast<const char *>(t.ti_Data));
        Repen(d);
        changes.push_back({MUIA_Pendisplay_Spec, reinterpret_cast<IPTR>(&d->spec)});
      } else if (t.ti_Tag == MUIA_Pendisplay_RGBcolor && t.ti_Data) {
        auto *c = reinterpret_cast<const MUI_RGBcolor *>(t.ti_Data);
        char buf[16];
        std::snprintf(buf, sizeof buf, "r%02x%02x%02x", c->red >> 24, c->green >> 24, c->blue >> 24);
        StoreSpec(d, buf);
        Repen(d);
        changes.push_back({MUIA_Pendisplay_RGBcolor, reinterpret_cast<IPTR>(&d->rgb)});
      }
    });
    IPTR r = SuperSet(cl, obj, msg, changes);
    MUI_Redraw(obj, MADF_DRAWOBJECT);
    return r;
  }
  case OM_GET: {
    PenData *d = InstOf<PenData>(cl, obj);
    auto *g = reinterpret_cast<opGet *>(msg);
    switch (g->opg_AttrID) {
    case MUIA_Pendisplay_Spec: *g->opg_Storage = reinterpret_cast<IPTR>(&d->spec); return TRUE;
    case MUIA_Pendisplay_RGBcolor: *g->opg_Storage = reinterpret_cast<IPTR>(&d->rgb); return TRUE;
    case MUIA_Pendisplay_Pen: *g->opg_Storage = static_cast<IPTR>(static_cast<SIPTR>(d->pen)); return TRUE;
    default: return DoSuperMethodA(cl, obj, msg);
    }
  }
  case MUIM_Pendisplay_SetRGB: {
    auto *m = reinterpret_cast<IPTR *>(msg);
    MUI_RGBcolor c{static_cast<ULONG>(m[1]), static_cast<ULONG>(m[2]), static_cast<ULONG>(m[3])};
    SetAttrs(obj, MUIA_Pendisplay_RGBcolor, &c);
    return 0;
  }
  case MUIM_Pendisplay_SetMUIPen: {
    char buf[16];
    std::snprintf(buf, sizeof buf, "m%ld", static_cast<long>(reinterpret_cast<IPTR *>(msg)[1]));
    SetAttrs(obj, MUIA_Pendisplay_Spec, buf);
    return 0;
  }
  case MUIM_Setup: {
    if (!DoSuperMethodA(cl, obj, msg)) return FALSE;
    PenData *d = InstOf<PenData>(cl, obj);
    d->ri = reinterpret_cast<MUIP_Setup *>(msg)->RenderInfo;
    Repen(d);
    return TRUE;
  }
  case MUIM_Cleanup: {
    PenData *d = InstOf<PenData>(cl, obj);
    if (d->pen >= 0) MUI_ReleasePen(d->ri, d->pen);
    d->pen = -1;
    d->ri = nullptr;
    return DoSuperMethodA(cl, obj, msg);
  }
  case MUIM_AskMinMax: return AskContentSize(cl, obj, msg, {12, 24, kFreeSize, kFontHeight, kFontHeight, kFreeSize});
  case MUIM_Draw:
    return DrawOver(cl, obj, msg, [&](struct RastPort *rp) {
      const PenData *d = InstOf<PenData>(cl, obj);
      if (d->pen >= 0)
        rp->rp_Target->Fill(_mleft(obj), _mtop(obj), _mwidth(obj), _mheight(obj), PenColor(d->ri->mri_Colormap, d->pen));
    });
  default: return DoSuperMethodA(cl, obj, msg);
  }
}

IPTR PoppenDispatcher(struct IClass *cl, Object *obj, Msg msg) {
  if (msg->MethodID == OM_NEW) {
    struct TagItem more[] = {{MUIA_InputMode, MUIV_InputMode_RelVerify},
                             {MUIA_Frame, MUIV_Frame_Button},
                             {TAG_MORE, reinterpret_cast<IPTR>(reinterpret_cast<opSet *>(msg)->ops_AttrList)}};
    IPTR m[] = {OM_NEW, reinterpret_cast<IPTR>(more), 0};
    return DoSuperMethodA(cl, obj, reinterpret_cast<Msg>(m));
  }
  return DoSuperMethodA(cl, obj, msg);
}

} // namespace

struct IClass *MakePenClasses() {
  return MakeWidgetClass(MUIC_Pendisplay, MUIC_Area, sizeof(PenData), PenDispatcher) &&
                 MakeWidgetClass(MUIC_Poppen, MUIC_Pendisplay, sizeof(IPTR), PoppenDispatcher)
             ? FindClass(MUIC_Pendisplay)
             : nullptr;
}

} // namespace platform::widgets
