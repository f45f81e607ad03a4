// Busy.mcc: a moving bar showing that something runs. Speed 0 stops it,
// MUIV_Busy_Speed_User (-1) uses the user's speed, n > 0 moves every n ms
// (the display animates it; MUIM_Busy_Move steps it by hand).
#include "mui/widgets.h"

namespace platform::widgets {
namespace {

struct BusyData {
  LONG speed;
  LONG position;
  bool showHideIH;
};

IPTR BusyDispatcher(struct IClass *cl, Object *obj, Msg msg) {
  switch (msg->MethodID) {
  case OM_NEW: {
    Object *o = reinterpret_cast<Object *>(DoSuperMethodA(cl, obj, msg));
    if (!o) return 0;
    BusyData *d = static_cast<BusyData *>(INST_DATA(cl, o));
    struct TagItem *tags = reinterpret_cast<opSet *>(msg)->ops_AttrList;
    d->speed = static_cast<LONG>(GetTagData(MUIA_Busy_Speed, MUIV_Busy_Speed_User, tags));
    d->showHideIH = GetTagData(MUIA_Busy_ShowHideIH, FALSE, tags) != 0;
    return reinterpret_cast<IPTR>(o);
  }
  case OM_SET: {
    IPTR v = GetTagData(MUIA_Busy_Speed, 0x7fffffff, reinterpret_cast<opSet *>(msg)->ops_AttrList);
    if (v != 0x7fffffff) static_cast<BusyData *>(INST_DATA(cl, obj))->speed = static_cast<LONG>(v);
    return DoSuperMethodA(cl, obj, msg);
  }
  case OM_GET: {
    auto *g = reinterpret_cast<opGet *>(msg);
    if (g->opg_AttrID != MUIA_Busy_Speed) return DoSuperMethodA(cl, obj, msg);
    *g->opg_Storage = static_cast<IPTR>(static_cast<SIPTR>(static_cast<BusyData *>(INST_DATA(cl, obj))->speed));
    return TRUE;
  }
  case MUIM_Busy_Move:
    ++static_cast<BusyData *>(INST_DATA(cl, obj))->position;
    MUI_Redraw(obj, MADF_DRAWUPDATE);
    return 0;
  case MUIM_AskMinMax: {
    DoSuperMethodA(cl, obj, msg);
    MUI_MinMax *mm = reinterpret_cast<MUIP_AskMinMax *>(msg)->MinMaxInfo;
    mm->MinHeight = mm->DefHeight = static_cast<WORD>(mm->MinHeight + 6);
    mm->MinWidth = static_cast<WORD>(mm->MinWidth + 20);
    mm->DefWidth = static_cast<WORD>(mm->DefWidth + 60);
    mm->MaxWidth = mm->MaxHeight = MUI_MAXMAX;
    return 0;
  }
  case MUIM_Draw: {
    IPTR r = DoSuperMethodA(cl, obj, msg);
    BusyData *d = static_cast<BusyData *>(INST_DATA(cl, obj));
    struct RastPort *rp = _rp(obj);
    if (!rp || d->speed == MUIV_Busy_Speed_Off) return r;
    DoMethod(obj, MUIM_DrawBackground, _mleft(obj), _mtop(obj), _mwidth(obj), _mheight(obj), 0, 0, 0);
    for (LONG x = (d->position % 8) - 8; x < _mwidth(obj); x += 8)
      rp->rp_Target->Fill(_mleft(obj) + std::max<LONG>(x, 0), _mtop(obj), std::min<LONG>(4, _mwidth(obj) - std::max<LONG>(x, 0)),
                          _mheight(obj), MuiPenColor(obj, MPEN_FILL));
    return r;
  }
  default: return DoSuperMethodA(cl, obj, msg);
  }
}

} // namespace

struct IClass *MakeBusyClass() { return MakeWidgetClass(MUIC_Busy, MUIC_Area, sizeof(BusyData), BusyDispatcher); }

} // namespace platform::widgets
