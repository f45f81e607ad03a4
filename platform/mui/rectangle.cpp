// Rectangle.mui: spaces and separator bars.
#include "mui/widgets.h"

namespace platform::widgets {
namespace {

struct RectData {
  bool hbar, vbar;
  std::string *barTitle;
};

// clang-format off
constexpr AttrField<RectData> kRectAttrs[] = {
    {MUIA_Rectangle_HBar, &RectData::hbar, kIG}, {MUIA_Rectangle_VBar, &RectData::vbar, kIG},
    {MUIA_Rectangle_BarTitle, &RectData::barTitle, kIG},
};
// clang-format on

IPTR RectDispatcher(struct IClass *cl, Object *obj, Msg msg) {
  if (msg->MethodID == MUIM_AskMinMax) {
    MUI_MinMax *mm = SuperMinMax(cl, obj, msg);
    RectData *d = InstOf<RectData>(cl, obj);
    AreaData *a = Area(obj);
    if (d->hbar) mm->MinHeight = mm->DefHeight = static_cast<WORD>(mm->MinHeight + 2);
    if (d->vbar) mm->MinWidth = mm->DefWidth = static_cast<WORD>(mm->MinWidth + 2);
    mm->MaxWidth = static_cast<WORD>(a->fixWidth ? a->fixWidth : MUI_MAXMAX);
    mm->MaxHeight = static_cast<WORD>(a->fixHeight ? a->fixHeight : MUI_MAXMAX);
    if (a->fixWidth) mm->MinWidth = mm->DefWidth = static_cast<WORD>(a->fixWidth);
    if (a->fixHeight) mm->MinHeight = mm->DefHeight = static_cast<WORD>(a->fixHeight);
    return 0;
  }
  return AttrDispatch(cl, obj, msg, kRectAttrs);
}

} // namespace

struct IClass *MakeRectangleClass() { return MakeWidgetClass(MUIC_Rectangle, MUIC_Area, sizeof(RectData), RectDispatcher); }

} // namespace platform::widgets
