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

// Texts set later reach listeners as the object's own copy, which lives as
// long as it is shown.
// clang-format off
constexpr AttrField<TextData> kTextAttrs[] = {
    {MUIA_Text_Contents, &TextData::contents, kInit | kSet | kRedraw | kAnnounceCopy},
    {MUIA_Text_PreParse, &TextData::preparse, kISG | kRedraw | kAnnounceCopy},
    {MUIA_Text_HiChar, &TextData::hiChar, kIG}, {MUIA_Text_HiCharIdx, &TextData::hiCharIdx, kIG},
    {MUIA_Text_SetMin, &TextData::setMin, kInit, TRUE},
    {MUIA_Text_SetMax, &TextData::setMax, kIG},
    {MUIA_Text_SetVMax, &TextData::setVMax, kInit},
    {MUIA_Text_Copy, &TextData::copy, kISG},
    {MUIA_Text_Marking, &TextData::marking, kIG},
};
// clang-format on

IPTR TextDispatcher(struct IClass *cl, Object *obj, Msg msg) {
  switch (msg->MethodID) {
  case OM_GET: {
    // Without contents the text is empty, never null.
    auto *g = reinterpret_cast<opGet *>(msg);
    if (g->opg_AttrID != MUIA_Text_Contents) break;
    const std::string *contents = InstOf<TextData>(cl, obj)->contents;
    *g->opg_Storage = reinterpret_cast<IPTR>(contents ? contents->c_str() : "");
    return TRUE;
  }
  case MUIM_AskMinMax:
    return AskContentSize(cl, obj, msg, [&] {
      const TextData *d = InstOf<TextData>(cl, obj);
      IPTR dim = DoMethod(obj, MUIM_TextDim, TextOf(d->contents), -1, TextOf(d->preparse), 0);
      LONG w = DIM2WIDTH(dim), h = DIM2HEIGHT(dim);
      return ContentSize{d->setMin ? w : 0, w, d->setMax ? w : kFreeSize, h, h, d->setVMax ? h : kFreeSize};
    });
  case MUIM_Draw:
    return DrawOver(cl, obj, msg, [&](struct RastPort *) {
      const TextData *d = InstOf<TextData>(cl, obj);
      if (!d->contents) return;
      std::string shown = *d->contents;
      if (d->hiCharIdx) {
        size_t at = shown.find(static_cast<char>(d->hiCharIdx));
        if (at != std::string::npos) shown.erase(at, 1);
      }
      DrawTextIn(obj, _mleft(obj), _mtop(obj), _mwidth(obj), _mheight(obj), TextOf(d->preparse), shown.c_str(), -1,
                 MuiPenColor(obj, MPEN_TEXT));
    });
  }
  return AttrDispatch(cl, obj, msg, kTextAttrs);
}

} // namespace

struct IClass *MakeTextClass() { return MakeWidgetClass(MUIC_Text, MUIC_Area, sizeof(TextData), TextDispatcher); }

} // namespace platform::widgets
