// Numeric.mui and Numericbutton.mui: a value between a minimum and a
// maximum, a default, and a format for showing it.
#include "mui/widgets.h"

namespace platform::widgets {
namespace {

struct NumericData {
  LONG min, max, def, value;
  std::string *format;
  std::string *shown; // buffer of MUIM_Numeric_Stringify
  bool reverse;
};

LONG Clamp(const NumericData *d, LONG v) {
  LONG lo = std::min(d->min, d->max), hi = std::max(d->min, d->max);
  return v < lo ? lo : (v > hi ? hi : v);
}

IPTR NumericDispatcher(struct IClass *cl, Object *obj, Msg msg) {
  switch (msg->MethodID) {
  case OM_NEW: {
    Object *o = reinterpret_cast<Object *>(DoSuperMethodA(cl, obj, msg));
    if (!o) return 0;
    NumericData *d = static_cast<NumericData *>(INST_DATA(cl, o));
    struct TagItem *tags = reinterpret_cast<opSet *>(msg)->ops_AttrList;
    d->min = static_cast<LONG>(GetTagData(MUIA_Numeric_Min, 0, tags));
    d->max = static_cast<LONG>(GetTagData(MUIA_Numeric_Max, 100, tags));
    d->def = Clamp(d, static_cast<LONG>(GetTagData(MUIA_Numeric_Default, static_cast<IPTR>(d->min), tags)));
    d->value = Clamp(d, static_cast<LONG>(GetTagData(MUIA_Numeric_Value, static_cast<IPTR>(d->def), tags)));
    d->reverse = GetTagData(MUIA_Numeric_Reverse, FALSE, tags) != 0;
    SetText(d->format, reinterpret_cast<CONST_STRPTR>(GetTagData(MUIA_Numeric_Format, reinterpret_cast<IPTR>("%ld"), tags)));
    return reinterpret_cast<IPTR>(o);
  }
  case OM_DISPOSE: {
    NumericData *d = static_cast<NumericData *>(INST_DATA(cl, obj));
    SetText(d->format, nullptr);
    SetText(d->shown, nullptr);
    return DoSuperMethodA(cl, obj, msg);
  }
  case OM_SET: {
    NumericData *d = static_cast<NumericData *>(INST_DATA(cl, obj));
    std::vector<TagChange> changes;
    bool redraw = false;
    struct TagItem *state = reinterpret_cast<opSet *>(msg)->ops_AttrList, *t;
    while ((t = NextTagItem(&state))) {
      switch (t->ti_Tag) {
      case MUIA_Numeric_Min: d->min = static_cast<LONG>(t->ti_Data); d->value = Clamp(d, d->value); redraw = true; break;
      case MUIA_Numeric_Max: d->max = static_cast<LONG>(t->ti_Data); d->value = Clamp(d, d->value); redraw = true; break;
      case MUIA_Numeric_Default: d->def = Clamp(d, static_cast<LONG>(t->ti_Data)); break;
      case MUIA_Numeric_Value:
        d->value = Clamp(d, static_cast<LONG>(t->ti_Data));
        changes.push_back({MUIA_Numeric_Value, static_cast<IPTR>(static_cast<SIPTR>(d->value))});
        redraw = true;
        break;
      case MUIA_Numeric_Format: SetText(d->format, reinterpret_cast<CONST_STRPTR>(t->ti_Data)); redraw = true; break;
      case MUIA_Numeric_Reverse: d->reverse = t->ti_Data != 0; break;
      default: break;
      }
    }
    IPTR r = SuperSet(cl, obj, msg, changes);
    if (redraw) MUI_Redraw(obj, MADF_DRAWOBJECT);
    return r;
  }
  case OM_GET: {
    NumericData *d = static_cast<NumericData *>(INST_DATA(cl, obj));
    auto *g = reinterpret_cast<opGet *>(msg);
    switch (g->opg_AttrID) {
    case MUIA_Numeric_Min: *g->opg_Storage = static_cast<IPTR>(static_cast<SIPTR>(d->min)); return TRUE;
    case MUIA_Numeric_Max: *g->opg_Storage = static_cast<IPTR>(static_cast<SIPTR>(d->max)); return TRUE;
    case MUIA_Numeric_Default: *g->opg_Storage = static_cast<IPTR>(static_cast<SIPTR>(d->def)); return TRUE;
    case MUIA_Numeric_Value: *g->opg_Storage = static_cast<IPTR>(static_cast<SIPTR>(d->value)); return TRUE;
    case MUIA_Numeric_Format: *g->opg_Storage = reinterpret_cast<IPTR>(TextOf(d->format)); return TRUE;
    case MUIA_Numeric_Reverse: *g->opg_Storage = d->reverse; return TRUE;
    default: return DoSuperMethodA(cl, obj, msg);
    }
  }
  case MUIM_Numeric_Increase:
  case MUIM_Numeric_Decrease: {
    NumericData *d = static_cast<NumericData *>(INST_DATA(cl, obj));
    LONG amount = static_cast<LONG>(reinterpret_cast<IPTR *>(msg)[1]);
    if (msg->MethodID == MUIM_Numeric_Decrease) amount = -amount;
    SetAttrs(obj, MUIA_Numeric_Value, static_cast<SIPTR>(d->value + amount));
    return 0;
  }
  case MUIM_Numeric_SetDefault: {
    NumericData *d = static_cast<NumericData *>(INST_DATA(cl, obj));
    SetAttrs(obj, MUIA_Numeric_Value, static_cast<SIPTR>(d->def));
    return 0;
  }
  case MUIM_Numeric_Stringify: {
    NumericData *d = static_cast<NumericData *>(INST_DATA(cl, obj));
    std::string s = FormatValue(TextOf(d->format), static_cast<LONG>(reinterpret_cast<IPTR *>(msg)[1]));
    SetText(d->shown, s.c_str());
    return reinterpret_cast<IPTR>(d->shown->c_str());
  }
  case MUIM_AskMinMax: {
    DoSuperMethodA(cl, obj, msg);
    NumericData *d = static_cast<NumericData *>(INST_DATA(cl, obj));
    MUI_MinMax *mm = reinterpret_cast<MUIP_AskMinMax *>(msg)->MinMaxInfo;
    size_t chars = std::max(FormatValue(TextOf(d->format), d->min).size(), FormatValue(TextOf(d->format), d->max).size());
    mm->MinWidth = static_cast<WORD>(mm->MinWidth + TextWidth(static_cast<LONG>(chars)));
    mm->DefWidth = static_cast<WORD>(mm->DefWidth + TextWidth(static_cast<LONG>(chars)));
    mm->MaxWidth = MUI_MAXMAX;
    mm->MinHeight = static_cast<WORD>(mm->MinHeight + kFontHeight);
    mm->DefHeight = static_cast<WORD>(mm->DefHeight + kFontHeight);
    mm->MaxHeight = static_cast<WORD>(mm->MaxHeight + kFontHeight);
    return 0;
  }
  case MUIM_Draw: {
    IPTR r = DoSuperMethodA(cl, obj, msg);
    NumericData *d = static_cast<NumericData *>(INST_DATA(cl, obj));
    if (_rp(obj)) {
      std::string s = FormatValue(TextOf(d->format), d->value);
      DrawTextIn(obj, _mleft(obj), _mtop(obj), _mwidth(obj), _mheight(obj), "\33c", s.c_str(), -1, MuiPenColor(obj, MPEN_TEXT));
    }
    return r;
  }
  default: return DoSuperMethodA(cl, obj, msg);
  }
}

IPTR NumericbuttonDispatcher(struct IClass *cl, Object *obj, Msg msg) { return DoSuperMethodA(cl, obj, msg); }

} // namespace

struct IClass *MakeNumericClasses() {
  return MakeWidgetClass(MUIC_Numeric, MUIC_Area, sizeof(NumericData), NumericDispatcher) &&
                 MakeWidgetClass(MUIC_Numericbutton, MUIC_Numeric, sizeof(IPTR), NumericbuttonDispatcher)
             ? FindClass(MUIC_Numeric)
             : nullptr;
}

} // namespace platform::widgets
