// Rectangle.mui: spaces and separator bars.
#include "mui/widgets.h"

namespace platform::widgets {
namespace {

struct RectData {
  bool hbar, vbar;
  std::string *barTitle;
};

IPTR RectDispatcher(struct IClass *cl, Object *obj, Msg msg) {
  switch (msg->MethodID) {
  case OM_NEW: {
    Object *o = reinterpret_cast<Object *>(DoSuperMethodA(cl, obj, msg));
    if (!o) return 0;
    RectData *d = static_cast<RectData *>(INST_DATA(cl, o));
    struct TagItem *tags = reinterpret_cast<opSet *>(msg)->ops_AttrList;
    d->hbar = GetTagData(MUIA_Rectangle_HBar, FALSE, tags) != 0;
    d->vbar = GetTagData(MUIA_Rectangle_VBar, FALSE, tags) != 0;
    SetText(d->barTitle, reinterpret_cast<CONST_STRPTR>(GetTagData(MUIA_Rectangle_BarTitle, 0, tags)));
    return reinterpret_cast<IPTR>(o);
  }
  case OM_DISPOSE: {
    RectData *d = static_cast<RectData *>(INST_DATA(cl, obj));
    SetText(d->barTitle, nullptr);
    return DoSuperMethodA(cl, obj, msg);
  }
  case OM_GET: {
    RectData *d = static_cast<RectData *>(INST_DATA(cl, obj));
    auto *g = reinterpret_cast<opGet *>(msg);
    switch (g->opg_AttrID) {
    case MUIA_Rectangle_HBar: *g->opg_Storage = d->hbar; return TRUE;
    case MUIA_Rectangle_VBar: *g->opg_Storage = d->vbar; return TRUE;
    case MUIA_Rectangle_BarTitle: *g->opg_Storage = reinterpret_cast<IPTR>(TextOf(d->barTitle)); return TRUE;
    default: return DoSuperMethodA(cl, obj, msg);
    }
  }
  case MUIM_AskMinMax: {
    DoSuperMethodA(cl, obj, msg);
    RectData *d = static_cast<RectData *>(INST_DATA(cl, obj));
    AreaData *a = Area(obj);
    MUI_MinMax *mm = reinterpret_cast<MUIP_AskMinMax *>(msg)->MinMaxInfo;
    if (d->hbar) mm->MinHeight = mm->DefHeight = static_cast<WORD>(mm->MinHeight + 2);
    if (d->vbar) mm->MinWidth = mm->DefWidth = static_cast<WORD>(mm->MinWidth + 2);
    mm->MaxWidth = static_cast<WORD>(a->fixWidth ? a->fixWidth : MUI_MAXMAX);
    mm->MaxHeight = static_cast<WORD>(a->fixHeight ? a->fixHeight : MUI_MAXMAX);
    if (a->fixWidth) mm->MinWidth = mm->DefWidth = static_cast<WORD>(a->fixWidth);
    if (a->fixHeight) mm->MinHeight = mm->DefHeight = static_cast<WORD>(a->fixHeight);
    return 0;
  }
  default: return DoSuperMethodA(cl, obj, msg);
  }
}

} // namespace

struct IClass *MakeRectangleClass() { return MakeWidgetClass(MUIC_Rectangle, MUIC_Area, sizeof(RectData), RectDispatcher); }

} // namespace platform::widgets
