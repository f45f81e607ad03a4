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

// A spec given as such or as Dtpic's file name: whether the tag was one.
bool StoreSpecTag(ImageData *d, const TagItem &t) {
  if (t.ti_Tag == MUIA_Image_Spec) {
    SetSpec(d, t.ti_Data);
  } else if (t.ti_Tag == MUIA_Dtpic_Name && t.ti_Data) {
    std::string spec = std::string("5:") + reinterpret_cast<const char *>(t.ti_Data);
    SetSpec(d, reinterpret_cast<IPTR>(spec.c_str()));
  } else {
    return false;
  }
  return true;
}

// clang-format off
constexpr AttrField<ImageData> kImageAttrs[] = {
    {MUIA_Image_Spec, &ImageData::spec, kGet},
    {MUIA_Image_FreeHoriz, &ImageData::freeHoriz, kInit}, {MUIA_Image_FreeVert, &ImageData::freeVert, kInit},
    {MUIA_Image_State, &ImageData::state, kISG},
    {0, &ImageData::specText, 0},
};
// clang-format on

IPTR ImageDispatcher(struct IClass *cl, Object *obj, Msg msg) {
  switch (msg->MethodID) {
  case OM_NEW: {
    auto made = NewWithAttrs(cl, obj, msg, kImageAttrs);
    if (made) EachTag(AttrTags(msg), [&](const TagItem &t) { StoreSpecTag(made.data, t); });
    return made.result();
  }
  case OM_DISPOSE: {
    ImageData *d = InstOf<ImageData>(cl, obj);
    delete d->pixels;
    d->pixels = nullptr;
    break;
  }
  case OM_SET: {
    ImageData *d = InstOf<ImageData>(cl, obj);
    bool reload = false;
    EachTag(AttrTags(msg), [&](const TagItem &t) {
      if (StoreSpecTag(d, t)) reload = true;
      else StoreAttr(d, kImageAttrs, t);
    });
    if (reload && muiRenderInfo(obj)) Load(d);
    IPTR r = DoSuperMethodA(cl, obj, msg);
    if (reload) MUI_Redraw(obj, MADF_DRAWOBJECT);
    return r;
  }
  case OM_GET: {
    auto *g = reinterpret_cast<opGet *>(msg);
    if (g->opg_AttrID != MUIA_Dtpic_Name) break;
    const std::string *spec = InstOf<ImageData>(cl, obj)->specText;
    *g->opg_Storage = spec && !SpecFile(spec->c_str()).empty() ? reinterpret_cast<IPTR>(spec->c_str() + 2) : 0;
    return TRUE;
  }
  case MUIM_Setup: {
    if (!DoSuperMethodA(cl, obj, msg)) return FALSE;
    Load(InstOf<ImageData>(cl, obj));
    return TRUE;
  }
  case MUIM_AskMinMax:
    return AskContentSize(cl, obj, msg, [&] {
      const ImageData *d = InstOf<ImageData>(cl, obj);
      LONG w = d->pixels ? static_cast<LONG>(d->width) : kFontHeight + 2;
      LONG h = d->pixels ? static_cast<LONG>(d->height) : kFontHeight + 2;
      return ContentSize{w, w, d->freeHoriz ? kFreeSize : w, h, h, d->freeVert ? kFreeSize : h};
    });
  case MUIM_Draw:
    return DrawOver(cl, obj, msg, [&](struct RastPort *rp) {
      const ImageData *d = InstOf<ImageData>(cl, obj);
      if (d->pixels) {
        LONG x = _mleft(obj) + (_mwidth(obj) - static_cast<LONG>(d->width)) / 2;
        LONG y = _mtop(obj) + (_mheight(obj) - static_cast<LONG>(d->height)) / 2;
        WritePixelArrayAlpha(d->pixels->data(), 0, 0, static_cast<UWORD>(d->width * 4), rp,
                             static_cast<UWORD>(std::max<LONG>(x, 0)), static_cast<UWORD>(std::max<LONG>(y, 0)),
                             static_cast<UWORD>(d->width), static_cast<UWORD>(d->height), 0xFFFFFFFFu);
      } else if (!IsText(d->spec) && d->spec == MUII_CheckMark) {
        AreaData *a = Area(obj);
        if (a && a->selected)
          DrawTextIn(obj, _mleft(obj), _mtop(obj), _mwidth(obj), _mheight(obj), "\33c", "x", 1, MuiPenColor(obj, MPEN_TEXT));
      }
    });
  }
  return AttrDispatch(cl, obj, msg, kImageAttrs);
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
