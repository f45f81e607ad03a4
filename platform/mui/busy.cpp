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

constexpr AttrField<BusyData> kBusyAttrs[] = {
    {MUIA_Busy_Speed, &BusyData::speed, kISG, static_cast<IPTR>(static_cast<SIPTR>(MUIV_Busy_Speed_User))},
    {MUIA_Busy_ShowHideIH, &BusyData::showHideIH, kInit}};

IPTR BusyDispatcher(struct IClass *cl, Object *obj, Msg msg) {
  switch (msg->MethodID) {
  case MUIM_Busy_Move:
    ++InstOf<BusyData>(cl, obj)->position;
    MUI_Redraw(obj, MADF_DRAWUPDATE);
    return 0;
  case MUIM_AskMinMax: {
    MUI_MinMax *mm = SuperMinMax(cl, obj, msg);
    mm->MinHeight = mm->DefHeight = static_cast<WORD>(mm->MinHeight + 6);
    mm->MinWidth = static_cast<WORD>(mm->MinWidth + 20);
    mm->DefWidth = static_cast<WORD>(mm->DefWidth + 60);
    mm->MaxWidth = mm->MaxHeight = MUI_MAXMAX;
    return 0;
  }
  case MUIM_Draw:
    return DrawOver(cl, obj, msg, [&](struct RastPort *rp) {
      const BusyData *d = InstOf<BusyData>(cl, obj);
      if (d->speed == MUIV_Busy_Speed_Off) return;
      DoMethod(obj, MUIM_DrawBackground, _mleft(obj), _mtop(obj), _mwidth(obj), _mheight(obj), 0, 0, 0);
      for (LONG x = (d->position % 8) - 8; x < _mwidth(obj); x += 8)
        rp->rp_Target->Fill(_mleft(obj) + std::max<LONG>(x, 0), _mtop(obj),
                            std::min<LONG>(4, _mwidth(obj) - std::max<LONG>(x, 0)), _mheight(obj), MuiPenColor(obj, MPEN_FILL));
    });
  default: return AttrDispatch(cl, obj, msg, kBusyAttrs);
  }
}

} // namespace

struct IClass *MakeBusyClass() { return MakeWidgetClass(MUIC_Busy, MUIC_Area, sizeof(BusyData), BusyDispatcher); }

} // namespace platform::widgets
