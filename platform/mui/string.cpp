// String.mui: a one-line text field with a maximum length (counting the
// final zero, as the original does), accepted/rejected characters, a hint
// shown while empty, and the acknowledge attribute set by Return.
#include <cstdlib>

#include "mui/widgets.h"

namespace platform::widgets {
namespace {

struct IClass *gString;

struct StringData {
  std::string *contents;
  std::string *accept, *reject;
  std::string *placeholder;
  LONG maxLen;
  LONG format;
  LONG bufferPos;
  bool secret, advanceOnCR;
  Object *attachedList;
};

std::string Cut(const StringData *d, CONST_STRPTR text) {
  std::string s = text ? text : "";
  size_t max = d->maxLen > 0 ? static_cast<size_t>(d->maxLen - 1) : 0;
  if (s.size() > max) s.resize(max);
  return s;
}

void Store(StringData *d, CONST_STRPTR text) {
  std::string s = Cut(d, text);
  SetText(d->contents, s.c_str());
  d->bufferPos = static_cast<LONG>(s.size());
}

IPTR StringDispatcher(struct IClass *cl, Object *obj, Msg msg) {
  switch (msg->MethodID) {
  case OM_NEW: {
    Object *o = reinterpret_cast<Object *>(DoSuperMethodA(cl, obj, msg));
    if (!o) return 0;
    StringData *d = static_cast<StringData *>(INST_DATA(cl, o));
    struct TagItem *tags = reinterpret_cast<opSet *>(msg)->ops_AttrList;
    d->maxLen = static_cast<LONG>(GetTagData(MUIA_String_MaxLen, 80, tags));
    if (d->maxLen < 1) d->maxLen = 1;
    struct TagItem *state = tags, *t;
    while ((t = NextTagItem(&state))) {
      switch (t->ti_Tag) {
      case MUIA_String_Contents: Store(d, reinterpret_cast<CONST_STRPTR>(t->ti_Data)); break;
      case MUIA_String_Integer: Store(d, std::to_string(static_cast<LONG>(t->ti_Data)).c_str()); break;
      case MUIA_String_Accept: SetText(d->accept, reinterpret_cast<CONST_STRPTR>(t->ti_Data)); break;
      case MUIA_String_Reject: SetText(d->reject, reinterpret_cast<CONST_STRPTR>(t->ti_Data)); break;
      case MUIA_String_Placeholder: SetText(d->placeholder, reinterpret_cast<CONST_STRPTR>(t->ti_Data)); break;
      case MUIA_String_Format: d->format = static_cast<LONG>(t->ti_Data); break;
      case MUIA_String_Secret: d->secret = t->ti_Data != 0; break;
      case MUIA_String_AdvanceOnCR: d->advanceOnCR = t->ti_Data != 0; break;
      case MUIA_String_AttachedList: d->attachedList = reinterpret_cast<Object *>(t->ti_Data); break;
      default: break;
      }
    }
    if (!d->contents) Store(d, "");
    return reinterpret_cast<IPTR>(o);
  }
  case OM_DISPOSE: {
    StringData *d = static_cast<StringData *>(INST_DATA(cl, obj));
    SetText(d->contents, nullptr);
    SetText(d->accept, nullptr);
    SetText(d->reject, nullptr);
    SetText(d->placeholder, nullptr);
    return DoSuperMethodA(cl, obj, msg);
  }
  case OM_SET: {
    StringData *d = static_cast<StringData *>(INST_DATA(cl, obj));
    std::vector<TagChange> changes;
    bool redraw = false;
    struct TagItem *state = reinterpret_cast<opSet *>(msg)->ops_AttrList, *t;
    while ((t = NextTagItem(&state))) {
      switch (t->ti_Tag) {
      case MUIA_String_Contents:
        Store(d, reinterpret_cast<CONST_STRPTR>(t->ti_Data));
        changes.push_back({MUIA_String_Contents, reinterpret_cast<IPTR>(d->contents->c_str())});
        redraw = true;
        break;
      case MUIA_String_Integer:
        Store(d, std::to_string(static_cast<LONG>(t->ti_Data)).c_str());
        redraw = true;
        break;
      case MUIA_String_Acknowledge:
        changes.push_back({MUIA_String_Acknowledge, reinterpret_cast<IPTR>(d->contents->c_str())});
        break;
      case MUIA_String_Accept: SetText(d->accept, reinterpret_cast<CONST_STRPTR>(t->ti_Data)); break;
      case MUIA_String_Reject: SetText(d->reject, reinterpret_cast<CONST_STRPTR>(t->ti_Data)); break;
      case MUIA_String_Placeholder: SetText(d->placeholder, reinterpret_cast<CONST_STRPTR>(t->ti_Data)); break;
      case MUIA_String_BufferPos: d->bufferPos = static_cast<LONG>(t->ti_Data); break;
      case MUIA_String_AdvanceOnCR: d->advanceOnCR = t->ti_Data != 0; break;
      case MUIA_String_AttachedList: d->attachedList = reinterpret_cast<Object *>(t->ti_Data); break;
      default: break;
      }
    }
    IPTR r = SuperSet(cl, obj, msg, changes);
    if (redraw) MUI_Redraw(obj, MADF_DRAWOBJECT);
    return r;
  }
  case OM_GET: {
    StringData *d = static_cast<StringData *>(INST_DATA(cl, obj));
    auto *g = reinterpret_cast<opGet *>(msg);
    switch (g->opg_AttrID) {
    case MUIA_String_Contents:
    case MUIA_String_Acknowledge: *g->opg_Storage = reinterpret_cast<IPTR>(d->contents->c_str()); return TRUE;
    case MUIA_String_Integer: *g->opg_Storage = static_cast<IPTR>(std::strtol(d->contents->c_str(), nullptr, 10)); return TRUE;
    case MUIA_String_MaxLen: *g->opg_Storage = static_cast<IPTR>(d->maxLen); return TRUE;
    case MUIA_String_Accept: *g->opg_Storage = reinterpret_cast<IPTR>(TextOf(d->accept)); return TRUE;
    case MUIA_String_Reject: *g->opg_Storage = reinterpret_cast<IPTR>(TextOf(d->reject)); return TRUE;
    case MUIA_String_Placeholder: *g->opg_Storage = reinterpret_cast<IPTR>(TextOf(d->placeholder)); return TRUE;
    case MUIA_String_Format: *g->opg_Storage = static_cast<IPTR>(d->format); return TRUE;
    case MUIA_String_Secret: *g->opg_Storage = d->secret; return TRUE;
    case MUIA_String_BufferPos: *g->opg_Storage = static_cast<IPTR>(d->bufferPos); return TRUE;
    case MUIA_String_AdvanceOnCR: *g->opg_Storage = d->advanceOnCR; return TRUE;
    case MUIA_String_AttachedList: *g->opg_Storage = reinterpret_cast<IPTR>(d->attachedList); return TRUE;
    default: return DoSuperMethodA(cl, obj, msg);
    }
  }
  case MUIM_AskMinMax: {
    DoSuperMethodA(cl, obj, msg);
    MUI_MinMax *mm = reinterpret_cast<MUIP_AskMinMax *>(msg)->MinMaxInfo;
    mm->MinWidth = static_cast<WORD>(mm->MinWidth + TextWidth(4));
    mm->DefWidth = static_cast<WORD>(mm->DefWidth + TextWidth(20));
    mm->MaxWidth = MUI_MAXMAX;
    mm->MinHeight = static_cast<WORD>(mm->MinHeight + kFontHeight);
    mm->DefHeight = static_cast<WORD>(mm->DefHeight + kFontHeight);
    mm->MaxHeight = static_cast<WORD>(mm->MaxHeight + kFontHeight);
    return 0;
  }
  case MUIM_Draw: {
    IPTR r = DoSuperMethodA(cl, obj, msg);
    StringData *d = static_cast<StringData *>(INST_DATA(cl, obj));
    if (_rp(obj)) {
      std::string shown = d->secret ? std::string(d->contents->size(), '*') : *d->contents;
      const char *align = d->format == MUIV_String_Format_Center ? "\33c" : d->format == MUIV_String_Format_Right ? "\33r" : "\33l";
      DrawTextIn(obj, _mleft(obj), _mtop(obj), _mwidth(obj), _mheight(obj), align, shown.c_str(), -1, MuiPenColor(obj, MPEN_TEXT));
    }
    return r;
  }
  default: return DoSuperMethodA(cl, obj, msg);
  }
}

} // namespace

struct IClass *MakeStringClass() { return gString = MakeWidgetClass(MUIC_String, MUIC_Area, sizeof(StringData), StringDispatcher); }

} // namespace platform::widgets

namespace platform {

void StringType(Object *str, const std::string &text, bool acknowledge) {
  using namespace widgets;
  if (!IsInstanceOf(str, MUIC_String)) return;
  AreaData *a = Area(str);
  if (!a || a->disabled) return;
  // Typed characters pass the accept/reject filters; set values do not.
  IPTR accept = 0, reject = 0;
  GetAttr(MUIA_String_Accept, str, &accept);
  GetAttr(MUIA_String_Reject, str, &reject);
  std::string typed;
  for (char c : text) {
    if (accept && !std::strchr(reinterpret_cast<const char *>(accept), c)) continue;
    if (reject && std::strchr(reinterpret_cast<const char *>(reject), c)) continue;
    typed += c;
  }
  IPTR now = 0;
  GetAttr(MUIA_String_Contents, str, &now);
  if (!now || typed != reinterpret_cast<const char *>(now)) SetAttrs(str, MUIA_String_Contents, typed.c_str());
  if (acknowledge) {
    GetAttr(MUIA_String_Contents, str, &now);
    SetAttrs(str, MUIA_String_Acknowledge, now);
  }
}

} // namespace platform
