// String.mui: a one-line text field with a maximum length (counting the
// final zero, so that a buffer of that size holds it), accepted/rejected characters, a hint
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

// The contents (Contents, Integer, Acknowledge) go through Store and are
// handled by the dispatcher; the table keeps the rest.
// clang-format off
constexpr AttrField<StringData> kStringAttrs[] = {
    {MUIA_String_MaxLen, &StringData::maxLen, kIG, 80},
    {MUIA_String_Accept, &StringData::accept, kISG}, {MUIA_String_Reject, &StringData::reject, kISG},
    {MUIA_String_Placeholder, &StringData::placeholder, kISG},
    {MUIA_String_Format, &StringData::format, kIG}, {MUIA_String_Secret, &StringData::secret, kIG},
    {MUIA_String_BufferPos, &StringData::bufferPos, kSet | kGet},
    {MUIA_String_AdvanceOnCR, &StringData::advanceOnCR, kISG},
    {MUIA_String_AttachedList, &StringData::attachedList, kISG},
    {MUIA_String_Contents, &StringData::contents, 0},
};
// clang-format on

// Contents given as text or number: whether the tag was one.
bool StoreContents(StringData *d, const TagItem &t) {
  if (t.ti_Tag == MUIA_String_Contents) Store(d, reinterpret_cast<CONST_STRPTR>(t.ti_Data));
  else if (t.ti_Tag == MUIA_String_Integer) Store(d, std::to_string(static_cast<LONG>(t.ti_Data)).c_str());
  else return false;
  return true;
}

IPTR StringDispatcher(struct IClass *cl, Object *obj, Msg msg) {
  switch (msg->MethodID) {
  case OM_NEW: {
    auto made = NewWithAttrs(cl, obj, msg, kStringAttrs);
    if (!made) return 0;
    StringData *d = made.data;
    if (d->maxLen < 1) d->maxLen = 1;
    EachTag(AttrTags(msg), [d](const TagItem &t) { StoreContents(d, t); });
    if (!d->contents) Store(d, "");
    return made.result();
  }
  case OM_SET: {
    StringData *d = InstOf<StringData>(cl, obj);
    return SetEachTag(cl, obj, msg, [d](const TagItem &t, std::vector<TagChange> &changes) {
      // Listeners of the contents get the object's own copy.
      if (StoreContents(d, t)) {
        if (t.ti_Tag == MUIA_String_Contents) changes.push_back({t.ti_Tag, reinterpret_cast<IPTR>(d->contents->c_str())});
        return true;
      }
      if (t.ti_Tag == MUIA_String_Acknowledge) changes.push_back({t.ti_Tag, reinterpret_cast<IPTR>(d->contents->c_str())});
      else StoreAttr(d, kStringAttrs, t, changes);
      return false;
    });
  }
  case OM_GET: {
    auto *g = reinterpret_cast<opGet *>(msg);
    const std::string *contents = InstOf<StringData>(cl, obj)->contents;
    if (g->opg_AttrID == MUIA_String_Contents || g->opg_AttrID == MUIA_String_Acknowledge)
      *g->opg_Storage = reinterpret_cast<IPTR>(contents->c_str());
    else if (g->opg_AttrID == MUIA_String_Integer)
      *g->opg_Storage = static_cast<IPTR>(std::strtol(contents->c_str(), nullptr, 10));
    else
      break;
    return TRUE;
  }
  case MUIM_AskMinMax:
    return AskContentSize(cl, obj, msg, {TextWidth(4), TextWidth(20), kFreeSize, kFontHeight, kFontHeight, kFontHeight});
  case MUIM_Draw:
    return DrawOver(cl, obj, msg, [&](struct RastPort *) {
      const StringData *d = InstOf<StringData>(cl, obj);
      std::string shown = d->secret ? std::string(d->contents->size(), '*') : *d->contents;
      const char *align = d->format == MUIV_String_Format_Center ? "\33c" : d->format == MUIV_String_Format_Right ? "\33r" : "\33l";
      DrawTextIn(obj, _mleft(obj), _mtop(obj), _mwidth(obj), _mheight(obj), align, shown.c_str(), -1, MuiPenColor(obj, MPEN_TEXT));
    });
  }
  return AttrDispatch(cl, obj, msg, kStringAttrs);
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
