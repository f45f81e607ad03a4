// Image.mui and Dtpic.mui: standard images (MUII_*) and pictures from files
// with the image specs "4:file" and "5:file" (and Dtpic's file name). A
// picture is decoded when the object is set up and drawn with its alpha.
#include <cstdlib>

#include "dos/dos.h"
#include "mui/widgets.h"

namespace platform::widgets {
namespace {

struct ImageData {
  IPTR spec;             // MUII_* or points to specText
  std::string *specText; // copy of a spec text
  std::vector<uint8_t> *pixels;
  ULONG width, height;
  bool freeHoriz, freeVert;
  LONG state;
};

bool IsText(IPTR spec) { return spec > 0x1000; }

// The file of a picture spec, or "" for specs that are no file.
std::string SpecFile(const char *spec) {
  if (!spec) return "";
  if ((spec[0] == '4' || spec[0] == '5') && spec[1] == ':') return spec + 2;
  return "";
}

void Load(ImageData *d) {
  delete d->pixels;
  d->pixels = nullptr;
  d->width = d->height = 0;
  if (!d->specText) return;
  std::string file = SpecFile(d->specText->c_str());
  if (file.empty()) return;
  std::string path = ToLinuxPath(file.c_str(), false);
  auto *px = new std::vector<uint8_t>;
  ULONG w = 0, h = 0;
  if (path.empty() || !DecodePNGFile(path, *px, w, h)) {
    delete px;
    return;
  }
  d->pixels = px;
  d->width = w;
  d->height = h;
}

void SetSpec(ImageData *d, IPTR spec) {
  SetText(d->specText, IsText(spec) ? reinterpret_cast<CONST_STRPTR>(spec) : nullptr);
  d->spec = d->specText ? reinterpret_cast<IPTR>(d->specText->c_str()) : spec;
  delete d->pixels;
  d->pixels = nullptr;
  d->width = d->height = 0;
}

IPTR ImageDispatcher(struct IClass *cl, Object *obj, Msg msg) {
  switch (msg->MethodID) {
  case OM_NEW: {
    Object *o = reinterpret_cast<Object *>(DoSuperMethodA(cl, obj, msg));
    if (!o) return 0;
    ImageData *d = static_cast<ImageData *>(INST_DATA(cl, o));
    struct TagItem *state = reinterpret_cast<opSet *>(msg)->ops_AttrList, *t;
    while ((t = NextTagItem(&state))) {
      switch (t->ti_Tag) {
      case MUIA_Image_Spec: SetSpec(d, t->ti_Data); break;
      case MUIA_Dtpic_Name:
        if (t->ti_Data) {
          std::string spec = std::string("5:") + reinterpret_cast<const char *>(t->ti_Data);
          SetSpec(d, reinterpret_cast<IPTR>(spec.c_str()));
        }
        break;
      case MUIA_Image_FreeHoriz: d->freeHoriz = t->ti_Data != 0; break;
      case MUIA_Image_FreeVert: d->freeVert = t->ti_Data != 0; break;
      case MUIA_Image_State: d->state = static_cast<LONG>(t->ti_Data); break;
      default: break;
      }
    }
    return reinterpret_cast<IPTR>(o);
  }
  case OM_DISPOSE: {
    ImageData *d = static_cast<ImageData *>(INST_DATA(cl, obj));
    SetText(d->specText, nullptr);
    delete d->pixels;
    d->pixels = nullptr;
    return DoSuperMethodA(cl, obj, msg);
  }
  case OM_SET: {
    ImageData *d = static_cast<ImageData *>(INST_DATA(cl, obj));
    bool reload = false;
    struct TagItem *state = reinterpret_cast<opSet *>(msg)->ops_AttrList, *t;
    while ((t = NextTagItem(&state))) {
      if (t->ti_Tag == MUIA_Image_Spec) {
        SetSpec(d, t->ti_Data);
        reload = true;
      } else if (t->ti_Tag == MUIA_Dtpic_Name && t->ti_Data) {
        std::string spec = std::string("5:") + reinterpret_cast<const char *>(t->ti_Data);
        SetSpec(d, reinterpret_cast<IPTR>(spec.c_str()));
        reload = true;
      } else if (t->ti_Tag == MUIA_Image_State) {
        d->state = static_cast<LONG>(t->ti_Data);
      }
    }
    if (reload && muiRenderInfo(obj)) Load(d);
    IPTR r = DoSuperMethodA(cl, obj, msg);
    if (reload) MUI_Redraw(obj, MADF_DRAWOBJECT);
    return r;
  }
  case OM_GET: {
    ImageData *d = static_cast<ImageData *>(INST_DATA(cl, obj));
    auto *g = reinterpret_cast<opGet *>(msg);
    switch (g->opg_AttrID) {
    case MUIA_Image_Spec: *g->opg_Storage = d->spec; return TRUE;
    case MUIA_Image_State: *g->opg_Storage = static_cast<IPTR>(d->state); return TRUE;
    case MUIA_Dtpic_Name: {
      std::string file = d->specText ? SpecFile(d->specText->c_str()) : "";
      *g->opg_Storage = file.empty() ? 0 : reinterpret_cast<IPTR>(d->specText->c_str() + 2);
      return TRUE;
    }
    default: return DoSuperMethodA(cl, obj, msg);
    }
  }
  case MUIM_Setup: {
    if (!DoSuperMethodA(cl, obj, msg)) return FALSE;
    Load(static_cast<ImageData *>(INST_DATA(cl, obj)));
    return TRUE;
  }
  case MUIM_AskMinMax: {
    DoSuperMethodA(cl, obj, msg);
    ImageData *d = static_cast<ImageData *>(INST_DATA(cl, obj));
    MUI_MinMax *mm = reinterpret_cast<MUIP_AskMinMax *>(msg)->MinMaxInfo;
    LONG w = d->pixels ? static_cast<LONG>(d->width) : kFontHeight + 2;
    LONG h = d->pixels ? static_cast<LONG>(d->height) : kFontHeight + 2;
    mm->MinWidth = static_cast<WORD>(mm->MinWidth + w);
    mm->DefWidth = static_cast<WORD>(mm->DefWidth + w);
    mm->MaxWidth = d->freeHoriz ? MUI_MAXMAX : static_cast<WORD>(mm->MaxWidth + w);
    mm->MinHeight = static_cast<WORD>(mm->MinHeight + h);
    mm->DefHeight = static_cast<WORD>(mm->DefHeight + h);
    mm->MaxHeight = d->freeVert ? MUI_MAXMAX : static_cast<WORD>(mm->MaxHeight + h);
    return 0;
  }
  case MUIM_Draw: {
    IPTR r = DoSuperMethodA(cl, obj, msg);
    ImageData *d = static_cast<ImageData *>(INST_DATA(cl, obj));
    struct RastPort *rp = _rp(obj);
    if (!rp) return r;
    if (d->pixels) {
      LONG x = _mleft(obj) + (_mwidth(obj) - static_cast<LONG>(d->width)) / 2;
      LONG y = _mtop(obj) + (_mheight(obj) - static_cast<LONG>(d->height)) / 2;
      WritePixelArrayAlpha(d->pixels->data(), 0, 0, static_cast<UWORD>(d->width * 4), rp, static_cast<UWORD>(std::max<LONG>(x, 0)),
                           static_cast<UWORD>(std::max<LONG>(y, 0)), static_cast<UWORD>(d->width), static_cast<UWORD>(d->height), 0xFFFFFFFFu);
    } else if (!IsText(d->spec) && d->spec == MUII_CheckMark) {
      AreaData *a = Area(obj);
      if (a && a->selected) DrawTextIn(obj, _mleft(obj), _mtop(obj), _mwidth(obj), _mheight(obj), "\33c", "x", 1, MuiPenColor(obj, MPEN_TEXT));
    }
    return r;
  }
  default: return DoSuperMethodA(cl, obj, msg);
  }
}

IPTR DtpicDispatcher(struct IClass *cl, Object *obj, Msg msg) { return DoSuperMethodA(cl, obj, msg); }

} // namespace

struct IClass *MakeImageClasses() {
  return MakeWidgetClass(MUIC_Image, MUIC_Area, sizeof(ImageData), ImageDispatcher) &&
                 MakeWidgetClass(MUIC_Dtpic, MUIC_Image, sizeof(IPTR), DtpicDispatcher)
             ? FindClass(MUIC_Image)
             : nullptr;
}

} // namespace platform::widgets
