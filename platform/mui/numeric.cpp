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

// The range, default and value are clamped in the order given here; the
// table stores the rest.
// clang-format off
const AttrField<NumericData> kNumericAttrs[] = {
    {MUIA_Numeric_Min, &NumericData::min, kGet}, {MUIA_Numeric_Max, &NumericData::max, kGet},
    {MUIA_Numeric_Default, &NumericData::def, kGet}, {MUIA_Numeric_Value, &NumericData::value, kGet},
    {MUIA_Numeric_Format, &NumericData::format, kISG | kRedraw, reinterpret_cast<IPTR>("%ld")},
    {MUIA_Numeric_Reverse, &NumericData::reverse, kISG},
    {0, &NumericData::shown, 0}, // the Stringify buffer, freed with the rest
};
// clang-format on

void NewRange(NumericData *d, struct TagItem *tags) {
  d->min = static_cast<LONG>(GetTagData(MUIA_Numeric_Min, 0, tags));
  d->max = static_cast<LONG>(GetTagData(MUIA_Numeric_Max, 100, tags));
  d->def = Clamp(d, static_cast<LONG>(GetTagData(MUIA_Numeric_Default, static_cast<IPTR>(d->min), tags)));
  d->value = Clamp(d, static_cast<LONG>(GetTagData(MUIA_Numeric_Value, static_cast<IPTR>(d->def), tags)));
}

// One tag of OM_SET that moves the range, default or value: whether it
// changes what is drawn.
bool SetRange(NumericData *d, const TagItem &t, std::vector<TagChange> &changes) {
  switch (t.ti_Tag) {
  case MUIA_Numeric_Min: d->min = static_cast<LONG>(t.ti_Data); break;
  case MUIA_Numeric_Max: d->max = static_cast<LONG>(t.ti_Data); break;
  case MUIA_Numeric_Default: d->def = Clamp(d, static_cast<LONG>(t.ti_Data)); return false;
  case MUIA_Numeric_Value:
    d->value = Clamp(d, static_cast<LONG>(t.ti_Data));
    changes.push_back({MUIA_Numeric_Value, static_cast<IPTR>(static_cast<SIPTR>(d->value))});
    return true;
  default: return false;
  }
  d->value = Clamp(d, d->value);
  return true;
}

IPTR NumericDispatcher(struct IClass *cl, Object *obj, Msg msg) {
  switch (msg->MethodID) {
  case OM_NEW: {
    auto made = NewWithAttrs(cl, obj, msg, kNumericAttrs);
    if (made) NewRange(made.data, AttrTags(msg));
    return made.result();
  }
  case OM_SET: {
    NumericData *d = InstOf<NumericData>(cl, obj);
    return SetEachTag(cl, obj, msg, [d](const TagItem &t, std::vector<TagChange> &changes) {
      bool moved = SetRange(d, t, changes);
      return (StoreAttr(d, kNumericAttrs, t, changes) & kRedraw) != 0 || moved;
    });
  }
  case MUIM_Numeric_Increase:
  case MUIM_Numeric_Decrease: {
    NumericData *d = InstOf<NumericData>(cl, obj);
    LONG amount = static_cast<LONG>(Words(msg)[1]);
    if (msg->MethodID == MUIM_Numeric_Decrease) amount = -amount;
    SetAttrs(obj, MUIA_Numeric_Value, static_cast<SIPTR>(d->value + amount));
    return 0;
  }
  case MUIM_Numeric_SetDefault:
    SetAttrs(obj, MUIA_Numeric_Value, static_cast<SIPTR>(InstOf<NumericData>(cl, obj)->def));
    return 0;
  case MUIM_Numeric_Stringify: {
    NumericData *d = InstOf<NumericData>(cl, obj);
    std::string s = FormatValue(TextOf(d->format), static_cast<LONG>(Words(msg)[1]));
    SetText(d->shown, s.c_str());
    return reinterpret_cast<IPTR>(d->shown->c_str());
  }
  case MUIM_AskMinMax:
    return AskContentSize(cl, obj, msg, [&] {
      const NumericData *d = InstOf<NumericData>(cl, obj);
      size_t chars = std::max(FormatValue(TextOf(d->format), d->min).size(), FormatValue(TextOf(d->format), d->max).size());
      LONG w = TextWidth(static_cast<LONG>(chars));
      return ContentSize{w, w, kFreeSize, kFontHeight, kFontHeight, kFontHeight};
    });
  case MUIM_Draw:
    return DrawOver(cl, obj, msg, [&](struct RastPort *) {
      const NumericData *d = InstOf<NumericData>(cl, obj);
      std::string s = FormatValue(TextOf(d->format), d->value);
      DrawTextIn(obj, _mleft(obj), _mtop(obj), _mwidth(obj), _mheight(obj), "\33c", s.c_str(), -1, MuiPenColor(obj, MPEN_TEXT));
    });
  default: return AttrDispatch(cl, obj, msg, kNumericAttrs);
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
