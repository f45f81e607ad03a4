// Text.mui: a text (copied) with an optional pre-parse text, a highlighted
// shortcut character, and the same drawing for buttons and labels.
#include "mui/widgets.h"

namespace platform::widgets {
namespace {

struct TextData {
  std::string *contents;
  std::string *preparse;
  UBYTE hiChar;
  UBYTE hiCharIdx;
  bool setMin, setMax, setVMax;
  bool copy, marking;
};

IPTR TextDispatcher(struct IClass *cl, Object *obj, Msg msg) {
  switch (msg->MethodID) {
  case OM_NEW: {
    Object *o = reinterpret_cast<Object *>(DoSuperMethodA(cl, obj, msg));
    if (!o) return 0;
    TextData *d = static_cast<TextData *>(INST_DATA(cl, o));
    d->setMin = true;
    struct TagItem *state = reinterpret_cast<opSet *>(msg)->ops_AttrList, *t;
    while ((t = NextTagItem(&state))) {
      switch (t->ti_Tag) {
      case MUIA_Text_Contents: SetText(d->contents, reinterpret_cast<CONST_STRPTR>(t->ti_Data)); break;
      case MUIA_Text_PreParse: SetText(d->preparse, reinterpret_cast<CONST_STRPTR>(t->ti_Data)); break;
      case MUIA_Text_HiChar: d->hiChar = static_cast<UBYTE>(t->ti_Data); break;
      case MUIA_Text_HiCharIdx: d->hiCharIdx = static_cast<UBYTE>(t->ti_Data); break;
      case MUIA_Text_SetMin: d->setMin = t->ti_Data != 0; break;
      case MUIA_Text_SetMax: d->setMax = t->ti_Data != 0; break;
      case MUIA_Text_SetVMax: d->setVMax = t->ti_Data != 0; break;
      case MUIA_Text_Copy: d->copy = t->ti_Data != 0; break;
      case MUIA_Text_Marking: d->marking = t->ti_Data != 0; break;
      default: break;
      }
    }
    return reinterpret_cast<IPTR>(o);
  }
  case OM_DISPOSE: {
    TextData *d = static_cast<TextData *>(INST_DATA(cl, obj));
    SetText(d->contents, nullptr);
    SetText(d->preparse, nullptr);
    return DoSuperMethodA(cl, obj, msg);
  }
  case OM_SET: {
    TextData *d = static_cast<TextData *>(INST_DATA(cl, obj));
    std::vector<TagChange> changes;
    bool redraw = false;
    struct TagItem *state = reinterpret_cast<opSet *>(msg)->ops_AttrList, *t;
    while ((t = NextTagItem(&state))) {
      switch (t->ti_Tag) {
      case MUIA_Text_Contents:
        SetText(d->contents, reinterpret_cast<CONST_STRPTR>(t->ti_Data));
        // Listeners get the text's own copy, which lives as long as it is shown.
        changes.push_back({MUIA_Text_Contents, reinterpret_cast<IPTR>(TextOf(d->contents))});
        redraw = true;
        break;
      case MUIA_Text_PreParse:
        SetText(d->preparse, reinterpret_cast<CONST_STRPTR>(t->ti_Data));
        changes.push_back({MUIA_Text_PreParse, reinterpret_cast<IPTR>(TextOf(d->preparse))});
        redraw = true;
        break;
      case MUIA_Text_Copy: d->copy = t->ti_Data != 0; break;
      default: break;
      }
    }
    IPTR r = SuperSet(cl, obj, msg, changes);
    if (redraw) MUI_Redraw(obj, MADF_DRAWOBJECT);
    return r;
  }
  case OM_GET: {
    TextData *d = static_cast<TextData *>(INST_DATA(cl, obj));
    auto *g = reinterpret_cast<opGet *>(msg);
    switch (g->opg_AttrID) {
    case MUIA_Text_Contents: *g->opg_Storage = reinterpret_cast<IPTR>(d->contents ? d->contents->c_str() : ""); return TRUE;
    case MUIA_Text_PreParse: *g->opg_Storage = reinterpret_cast<IPTR>(TextOf(d->preparse)); return TRUE;
    case MUIA_Text_HiChar: *g->opg_Storage = d->hiChar; return TRUE;
    case MUIA_Text_HiCharIdx: *g->opg_Storage = d->hiCharIdx; return TRUE;
    case MUIA_Text_SetMax: *g->opg_Storage = d->setMax; return TRUE;
    case MUIA_Text_Copy: *g->opg_Storage = d->copy; return TRUE;
    case MUIA_Text_Marking: *g->opg_Storage = d->marking; return TRUE;
    default: return DoSuperMethodA(cl, obj, msg);
    }
  }
  case MUIM_AskMinMax: {
    DoSuperMethodA(cl, obj, msg);
    TextData *d = static_cast<TextData *>(INST_DATA(cl, obj));
    MUI_MinMax *mm = reinterpret_cast<MUIP_AskMinMax *>(msg)->MinMaxInfo;
    IPTR dim = DoMethod(obj, MUIM_TextDim, TextOf(d->contents), -1, TextOf(d->preparse), 0);
    LONG w = DIM2WIDTH(dim), h = DIM2HEIGHT(dim);
    mm->MinWidth = static_cast<WORD>(mm->MinWidth + (d->setMin ? w : 0));
    mm->DefWidth = static_cast<WORD>(mm->DefWidth + w);
    mm->MaxWidth = d->setMax ? static_cast<WORD>(mm->MaxWidth + w) : MUI_MAXMAX;
    mm->MinHeight = static_cast<WORD>(mm->MinHeight + h);
    mm->DefHeight = static_cast<WORD>(mm->DefHeight + h);
    mm->MaxHeight = d->setVMax ? static_cast<WORD>(mm->MaxHeight + h) : MUI_MAXMAX;
    return 0;
  }
  case MUIM_Draw: {
    IPTR r = DoSuperMethodA(cl, obj, msg);
    TextData *d = static_cast<TextData *>(INST_DATA(cl, obj));
    if (_rp(obj) && d->contents) {
      std::string shown = *d->contents;
      if (d->hiCharIdx) {
        size_t at = shown.find(static_cast<char>(d->hiCharIdx));
        if (at != std::string::npos) shown.erase(at, 1);
      }
      DrawTextIn(obj, _mleft(obj), _mtop(obj), _mwidth(obj), _mheight(obj), TextOf(d->preparse), shown.c_str(), -1,
                 MuiPenColor(obj, MPEN_TEXT));
    }
    return r;
  }
  default: return DoSuperMethodA(cl, obj, msg);
  }
}

} // namespace

struct IClass *MakeTextClass() { return MakeWidgetClass(MUIC_Text, MUIC_Area, sizeof(TextData), TextDispatcher); }

} // namespace platform::widgets
