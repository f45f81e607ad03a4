// Popasl.mui: a pop-up string whose button opens an ASL requester. The
// requester starts from the string's contents (drawer and file), then the
// tags given at creation, then whatever the start hook adds; the choice
// goes to the stop hook, or into the string as a full path.
#include <algorithm>
#include <map>

#include "dos/dos.h"
#include "mui/widgets.h"

namespace platform::widgets {
namespace {

struct PopaslData {
  ULONG type;
  struct Hook *startHook, *stopHook;
  std::vector<struct TagItem> *tags; // requester tags from creation (texts copied)
  std::map<Tag, std::string> *texts;
  bool active;
};

bool IsAslTag(Tag t) { return t >= ASL_TB && t < ASL_TB + 0x10000; }
bool IsTextTag(Tag t) {
  return t == ASLFR_TitleText || t == ASLFR_InitialFile || t == ASLFR_InitialDrawer || t == ASLFR_InitialPattern ||
         t == ASLFR_PositiveText || t == ASLFR_NegativeText || t == ASLFR_AcceptPattern;
}

void KeepTags(PopaslData *d, struct TagItem *tags) {
  struct TagItem *state = tags, *t;
  while ((t = NextTagItem(&state))) {
    if (!IsAslTag(t->ti_Tag)) continue;
    struct TagItem item = *t;
    if (IsTextTag(t->ti_Tag) && t->ti_Data) {
      (*d->texts)[t->ti_Tag] = reinterpret_cast<const char *>(t->ti_Data);
      item.ti_Data = 0; // the copy is looked up by tag
    }
    d->tags->erase(std::remove_if(d->tags->begin(), d->tags->end(), [&](const TagItem &i) { return i.ti_Tag == item.ti_Tag; }),
                   d->tags->end());
    d->tags->push_back(item);
  }
}

const char *TextFor(PopaslData *d, Tag tag) {
  auto it = d->texts->find(tag);
  return it == d->texts->end() ? nullptr : it->second.c_str();
}

IPTR Open(struct IClass *cl, Object *obj, PopaslData *d) {
  IPTR str = 0;
  GetAttr(MUIA_Popstring_String, obj, &str);
  // 1. From the string: "Work:Pics/one.png" -> drawer "Work:Pics", file "one.png".
  std::string contents, drawer, file;
  IPTR text = 0;
  if (str && GetAttr(MUIA_String_Contents, reinterpret_cast<Object *>(str), &text) && text)
    contents = reinterpret_cast<const char *>(text);
  else if (str && GetAttr(MUIA_Text_Contents, reinterpret_cast<Object *>(str), &text) && text)
    contents = reinterpret_cast<const char *>(text);
  if (!contents.empty()) {
    size_t cut = contents.find_last_of("/:");
    bool drawersOnly = false;
    for (const TagItem &i : *d->tags)
      if (i.ti_Tag == ASLFR_DrawersOnly) drawersOnly = i.ti_Data != 0;
    if (drawersOnly || cut == std::string::npos) {
      if (drawersOnly) drawer = contents;
      else file = contents;
    } else {
      drawer = contents.substr(0, contents[cut] == ':' ? cut + 1 : cut);
      file = contents.substr(cut + 1);
    }
  }
  std::vector<struct TagItem> tags;
  // 2. The creation tags (their initial drawer only when the string had none).
  for (const TagItem &i : *d->tags) {
    TagItem item = i;
    if (IsTextTag(i.ti_Tag)) item.ti_Data = reinterpret_cast<IPTR>(TextFor(d, i.ti_Tag));
    if (i.ti_Tag == ASLFR_InitialDrawer && !drawer.empty()) continue;
    if (i.ti_Tag == ASLFR_InitialFile && !file.empty()) continue;
    tags.push_back(item);
  }
  if (!drawer.empty()) tags.push_back({ASLFR_InitialDrawer, reinterpret_cast<IPTR>(drawer.c_str())});
  if (!file.empty()) tags.push_back({ASLFR_InitialFile, reinterpret_cast<IPTR>(file.c_str())});
  // 3. The start hook's own tags win.
  struct TagItem hookTags[MUIV_Popasl_StartTags + 1];
  for (auto &t : hookTags) t = {TAG_DONE, 0};
  if (d->startHook && !CallHookPkt(d->startHook, obj, hookTags)) return FALSE;
  std::vector<struct TagItem> all;
  for (int i = 0; i < MUIV_Popasl_StartTags && hookTags[i].ti_Tag != TAG_DONE; ++i) all.push_back(hookTags[i]);
  for (const TagItem &t : tags) {
    bool overridden = false;
    for (const TagItem &h : all) overridden |= h.ti_Tag == t.ti_Tag;
    if (!overridden) all.push_back(t);
  }
  all.push_back({TAG_DONE, 0});
  APTR req = MUI_AllocAslRequest(d->type, all.data());
  if (!req) return FALSE;
  d->active = true;
  Announce(obj, MUIA_Popasl_Active, TRUE);
  BOOL ok = MUI_AslRequest(req, nullptr);
  d->active = false;
  Announce(obj, MUIA_Popasl_Active, FALSE);
  if (ok) {
    if (d->stopHook) {
      CallHookPkt(d->stopHook, obj, req);
    } else if (str && d->type == ASL_FileRequest) {
      auto *fr = static_cast<FileRequester *>(req);
      std::string path = fr->fr_Drawer ? fr->fr_Drawer : "";
      if (fr->fr_File && *fr->fr_File) {
        if (!path.empty() && path.back() != ':' && path.back() != '/') path += '/';
        path += fr->fr_File;
      }
      SetAttrs(reinterpret_cast<Object *>(str), MUIA_String_Contents, path.c_str());
    }
  }
  MUI_FreeAslRequest(req);
  (void)cl;
  return ok;
}

// clang-format off
constexpr AttrField<PopaslData> kPopaslAttrs[] = {
    {MUIA_Popasl_Active, &PopaslData::active, kGet},
    {MUIA_Popasl_Type, &PopaslData::type, kIG, ASL_FileRequest},
    {MUIA_Popasl_StartHook, &PopaslData::startHook, kISG}, {MUIA_Popasl_StopHook, &PopaslData::stopHook, kISG},
};
// clang-format on

// OM_GET of a requester tag kept from creation or a later OM_SET.
bool GetKeptTag(PopaslData *d, opGet *g) {
  if (!IsAslTag(g->opg_AttrID)) return false;
  for (const TagItem &i : *d->tags)
    if (i.ti_Tag == g->opg_AttrID) {
      *g->opg_Storage = IsTextTag(i.ti_Tag) ? reinterpret_cast<IPTR>(TextFor(d, i.ti_Tag)) : i.ti_Data;
      return true;
    }
  return false;
}

IPTR PopaslDispatcher(struct IClass *cl, Object *obj, Msg msg) {
  switch (msg->MethodID) {
  case OM_NEW: {
    auto made = NewWithAttrs(cl, obj, msg, kPopaslAttrs);
    if (!made) return 0;
    made.data->tags = new std::vector<struct TagItem>;
    made.data->texts = new std::map<Tag, std::string>;
    KeepTags(made.data, AttrTags(msg));
    return made.result();
  }
  case OM_DISPOSE: {
    PopaslData *d = InstOf<PopaslData>(cl, obj);
    delete d->tags;
    delete d->texts;
    d->tags = nullptr;
    d->texts = nullptr;
    return DoSuperMethodA(cl, obj, msg);
  }
  case OM_SET: {
    PopaslData *d = InstOf<PopaslData>(cl, obj);
    StoreAttrs(d, kPopaslAttrs, AttrTags(msg));
    KeepTags(d, AttrTags(msg));
    return DoSuperMethodA(cl, obj, msg);
  }
  case OM_GET: {
    PopaslData *d = InstOf<PopaslData>(cl, obj);
    if (LoadAttr(d, kPopaslAttrs, reinterpret_cast<opGet *>(msg)) || GetKeptTag(d, reinterpret_cast<opGet *>(msg))) return TRUE;
    return DoSuperMethodA(cl, obj, msg);
  }
  case MUIM_Popstring_Open: {
    PopaslData *d = InstOf<PopaslData>(cl, obj);
    if (d->active) return 0;
    return Open(cl, obj, d);
  }
  default: return DoSuperMethodA(cl, obj, msg);
  }
}

} // namespace

struct IClass *MakePopaslClass() { return MakeWidgetClass(MUIC_Popasl, MUIC_Popstring, sizeof(PopaslData), PopaslDispatcher); }

} // namespace platform::widgets
