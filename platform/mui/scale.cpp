// Scale.mui: the 0..100 % ruler under a gauge.
#include "mui/widgets.h"

namespace platform::widgets {
namespace {

struct ScaleData {
  bool horiz;
};

constexpr AttrField<ScaleData> kScaleAttrs[] = {{MUIA_Scale_Horiz, &ScaleData::horiz, kISG, TRUE}};

IPTR ScaleDispatcher(struct IClass *cl, Object *obj, Msg msg) {
  switch (msg->MethodID) {
  case MUIM_AskMinMax: {
    MUI_MinMax *mm = SuperMinMax(cl, obj, msg);
    mm->MinHeight = mm->DefHeight = mm->MaxHeight = static_cast<WORD>(mm->MinHeight + kFontHeight + 3);
    mm->MinWidth = static_cast<WORD>(mm->MinWidth + 20);
    mm->DefWidth = static_cast<WORD>(mm->DefWidth + 100);
    mm->MaxWidth = MUI_MAXMAX;
    return 0;
  }
  case MUIM_Draw:
    return DrawOver(cl, obj, msg, [obj](struct RastPort *rp) {
      uint32_t c = MuiPenColor(obj, MPEN_TEXT);
      for (int i = 0; i <= 4; ++i) rp->rp_Target->Fill(_mleft(obj) + (_mwidth(obj) - 1) * i / 4, _mtop(obj), 1, 3, c);
    });
  default: return AttrDispatch(cl, obj, msg, kScaleAttrs);
  }
}

} // namespace

struct IClass *MakeScaleClass() { return MakeWidgetClass(MUIC_Scale, MUIC_Area, sizeof(ScaleData), ScaleDispatcher); }

} // namespace platform::widgets
