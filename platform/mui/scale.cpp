// Scale.mui: the 0..100 % ruler under a gauge.
#include "mui/widgets.h"

namespace platform::widgets {
namespace {

struct ScaleData {
  bool horiz;
};

IPTR ScaleDispatcher(struct IClass *cl, Object *obj, Msg msg) {
  switch (msg->MethodID) {
  case OM_NEW: {
    Object *o = reinterpret_cast<Object *>(DoSuperMethodA(cl, obj, msg));
    if (o)
      static_cast<ScaleData *>(INST_DATA(cl, o))->horiz =
          GetTagData(MUIA_Scale_Horiz, TRUE, reinterpret_cast<opSet *>(msg)->ops_AttrList) != 0;
    return reinterpret_cast<IPTR>(o);
  }
  case OM_SET: {
    IPTR h = GetTagData(MUIA_Scale_Horiz, ~IPTR(0), reinterpret_cast<opSet *>(msg)->ops_AttrList);
    if (h != ~IPTR(0)) static_cast<ScaleData *>(INST_DATA(cl, obj))->horiz = h != 0;
    return DoSuperMethodA(cl, obj, msg);
  }
  case OM_GET: {
    auto *g = reinterpret_cast<opGet *>(msg);
    if (g->opg_AttrID != MUIA_Scale_Horiz) return DoSuperMethodA(cl, obj, msg);
    *g->opg_Storage = static_cast<ScaleData *>(INST_DATA(cl, obj))->horiz;
    return TRUE;
  }
  case MUIM_AskMinMax: {
    DoSuperMethodA(cl, obj, msg);
    MUI_MinMax *mm = reinterpret_cast<MUIP_AskMinMax *>(msg)->MinMaxInfo;
    mm->MinHeight = mm->DefHeight = mm->MaxHeight = static_cast<WORD>(mm->MinHeight + kFontHeight + 3);
    mm->MinWidth = static_cast<WORD>(mm->MinWidth + 20);
    mm->DefWidth = static_cast<WORD>(mm->DefWidth + 100);
    mm->MaxWidth = MUI_MAXMAX;
    return 0;
  }
  case MUIM_Draw: {
    IPTR r = DoSuperMethodA(cl, obj, msg);
    struct RastPort *rp = _rp(obj);
    if (!rp) return r;
    uint32_t c = MuiPenColor(obj, MPEN_TEXT);
    for (int i = 0; i <= 4; ++i) {
      LONG x = _mleft(obj) + (_mwidth(obj) - 1) * i / 4;
      rp->rp_Target->Fill(x, _mtop(obj), 1, 3, c);
    }
    return r;
  }
  default: return DoSuperMethodA(cl, obj, msg);
  }
}

} // namespace

struct IClass *MakeScaleClass() { return MakeWidgetClass(MUIC_Scale, MUIC_Area, sizeof(ScaleData), ScaleDispatcher); }

} // namespace platform::widgets
