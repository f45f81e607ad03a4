// Gauge.mui: a fill level (current of max) with an info text, in which
// "%ld" stands for the current value.
#include "mui/widgets.h"

namespace platform::widgets {
namespace {

struct GaugeData {
  LONG current, max;
  ULONG divide;
  bool horiz;
  std::string *infoText;
};

// clang-format off
constexpr AttrField<GaugeData> kGaugeAttrs[] = {
    {MUIA_Gauge_Max, &GaugeData::max, kISG, 100}, {MUIA_Gauge_Current, &GaugeData::current, kISG},
    {MUIA_Gauge_Divide, &GaugeData::divide, kISG},
    {MUIA_Gauge_Horiz, &GaugeData::horiz, kIG},
    {MUIA_Gauge_InfoText, &GaugeData::infoText, kISG | kAnnounceCopy},
};
// clang-format on

IPTR GaugeDispatcher(struct IClass *cl, Object *obj, Msg msg) {
  switch (msg->MethodID) {
  case OM_SET: {
    std::vector<TagChange> changes;
    StoreAttrs(InstOf<GaugeData>(cl, obj), kGaugeAttrs, AttrTags(msg), changes);
    IPTR r = SuperSet(cl, obj, msg, changes);
    MUI_Redraw(obj, MADF_DRAWUPDATE);
    return r;
  }
  case MUIM_AskMinMax: return AskContentSize(cl, obj, msg, {8, 100, kFreeSize, kFontHeight, kFontHeight, kFreeSize});
  case MUIM_Draw:
    return DrawOver(cl, obj, msg, [&](struct RastPort *rp) {
      const GaugeData *d = InstOf<GaugeData>(cl, obj);
      LONG cur = d->divide ? d->current / static_cast<LONG>(d->divide) : d->current;
      LONG w = d->max > 0 ? static_cast<LONG>(static_cast<int64_t>(_mwidth(obj)) * std::clamp<LONG>(cur, 0, d->max) / d->max) : 0;
      DoMethod(obj, MUIM_DrawBackground, _mleft(obj), _mtop(obj), _mwidth(obj), _mheight(obj), 0, 0, 0);
      rp->rp_Target->Fill(_mleft(obj), _mtop(obj), w, _mheight(obj), MuiPenColor(obj, MPEN_FILL));
      if (!d->infoText) return;
      std::string s = FormatValue(TextOf(d->infoText), cur);
      DrawTextIn(obj, _mleft(obj), _mtop(obj), _mwidth(obj), _mheight(obj), "\33c", s.c_str(), -1, MuiPenColor(obj, MPEN_TEXT));
    });
  default: return AttrDispatch(cl, obj, msg, kGaugeAttrs);
  }
}

} // namespace

struct IClass *MakeGaugeClass() { return MakeWidgetClass(MUIC_Gauge, MUIC_Area, sizeof(GaugeData), GaugeDispatcher); }

} // namespace platform::widgets
