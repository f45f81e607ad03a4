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

IPTR GaugeDispatcher(struct IClass *cl, Object *obj, Msg msg) {
  switch (msg->MethodID) {
  case OM_NEW: {
    Object *o = reinterpret_cast<Object *>(DoSuperMethodA(cl, obj, msg));
    if (!o) return 0;
    GaugeData *d = static_cast<GaugeData *>(INST_DATA(cl, o));
    struct TagItem *tags = reinterpret_cast<opSet *>(msg)->ops_AttrList;
    d->max = static_cast<LONG>(GetTagData(MUIA_Gauge_Max, 100, tags));
    d->current = static_cast<LONG>(GetTagData(MUIA_Gauge_Current, 0, tags));
    d->divide = static_cast<ULONG>(GetTagData(MUIA_Gauge_Divide, 0, tags));
    d->horiz = GetTagData(MUIA_Gauge_Horiz, FALSE, tags) != 0;
    SetText(d->infoText, reinterpret_cast<CONST_STRPTR>(GetTagData(MUIA_Gauge_InfoText, 0, tags)));
    return reinterpret_cast<IPTR>(o);
  }
  case OM_DISPOSE:
    SetText(static_cast<GaugeData *>(INST_DATA(cl, obj))->infoText, nullptr);
    return DoSuperMethodA(cl, obj, msg);
  case OM_SET: {
    GaugeData *d = static_cast<GaugeData *>(INST_DATA(cl, obj));
    std::vector<TagChange> changes;
    struct TagItem *state = reinterpret_cast<opSet *>(msg)->ops_AttrList, *t;
    while ((t = NextTagItem(&state))) {
      switch (t->ti_Tag) {
      case MUIA_Gauge_Current: d->current = static_cast<LONG>(t->ti_Data); break;
      case MUIA_Gauge_Max: d->max = static_cast<LONG>(t->ti_Data); break;
      case MUIA_Gauge_Divide: d->divide = static_cast<ULONG>(t->ti_Data); break;
      case MUIA_Gauge_InfoText:
        SetText(d->infoText, reinterpret_cast<CONST_STRPTR>(t->ti_Data));
        changes.push_back({MUIA_Gauge_InfoText, reinterpret_cast<IPTR>(TextOf(d->infoText))});
        break;
      default: break;
      }
    }
    IPTR r = SuperSet(cl, obj, msg, changes);
    MUI_Redraw(obj, MADF_DRAWUPDATE);
    return r;
  }
  case OM_GET: {
    GaugeData *d = static_cast<GaugeData *>(INST_DATA(cl, obj));
    auto *g = reinterpret_cast<opGet *>(msg);
    switch (g->opg_AttrID) {
    case MUIA_Gauge_Current: *g->opg_Storage = static_cast<IPTR>(static_cast<SIPTR>(d->current)); return TRUE;
    case MUIA_Gauge_Max: *g->opg_Storage = static_cast<IPTR>(static_cast<SIPTR>(d->max)); return TRUE;
    case MUIA_Gauge_Divide: *g->opg_Storage = d->divide; return TRUE;
    case MUIA_Gauge_Horiz: *g->opg_Storage = d->horiz; return TRUE;
    case MUIA_Gauge_InfoText: *g->opg_Storage = reinterpret_cast<IPTR>(TextOf(d->infoText)); return TRUE;
    default: return DoSuperMethodA(cl, obj, msg);
    }
  }
  case MUIM_AskMinMax: {
    DoSuperMethodA(cl, obj, msg);
    MUI_MinMax *mm = reinterpret_cast<MUIP_AskMinMax *>(msg)->MinMaxInfo;
    mm->MinHeight = static_cast<WORD>(mm->MinHeight + kFontHeight);
    mm->DefHeight = static_cast<WORD>(mm->DefHeight + kFontHeight);
    mm->MinWidth = static_cast<WORD>(mm->MinWidth + 8);
    mm->DefWidth = static_cast<WORD>(mm->DefWidth + 100);
    mm->MaxWidth = mm->MaxHeight = MUI_MAXMAX;
    return 0;
  }
  case MUIM_Draw: {
    IPTR r = DoSuperMethodA(cl, obj, msg);
    GaugeData *d = static_cast<GaugeData *>(INST_DATA(cl, obj));
    struct RastPort *rp = _rp(obj);
    if (!rp) return r;
    LONG cur = d->divide ? d->current / static_cast<LONG>(d->divide) : d->current;
    LONG w = d->max > 0 ? static_cast<LONG>(static_cast<int64_t>(_mwidth(obj)) * std::clamp<LONG>(cur, 0, d->max) / d->max) : 0;
    DoMethod(obj, MUIM_DrawBackground, _mleft(obj), _mtop(obj), _mwidth(obj), _mheight(obj), 0, 0, 0);
    rp->rp_Target->Fill(_mleft(obj), _mtop(obj), w, _mheight(obj), MuiPenColor(obj, MPEN_FILL));
    if (d->infoText) {
      std::string s = FormatValue(TextOf(d->infoText), cur);
      DrawTextIn(obj, _mleft(obj), _mtop(obj), _mwidth(obj), _mheight(obj), "\33c", s.c_str(), -1, MuiPenColor(obj, MPEN_TEXT));
    }
    return r;
  }
  default: return DoSuperMethodA(cl, obj, msg);
  }
}

} // namespace

struct IClass *MakeGaugeClass() { return MakeWidgetClass(MUIC_Gauge, MUIC_Area, sizeof(GaugeData), GaugeDispatcher); }

} // namespace platform::widgets
