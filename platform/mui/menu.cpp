// Menustrip.mui, Menu.mui and Menuitem.mui: menus as families of objects,
// and the pop-up of a strip through the display.
#include <string>

#include "mui/core_internal.h"
#include "mui/display.h"

namespace platform::mui {

namespace {

IClass *g_stripClass = nullptr;
IClass *g_menuClass = nullptr;
IClass *g_itemClass = nullptr;

// A title, either borrowed from the caller or a copy of our own.
struct Title {
  CONST_STRPTR text;
  std::string *own;
};

void SetTitle(Title &t, IPTR value, bool copy) {
  auto *s = reinterpret_cast<CONST_STRPTR>(value);
  delete t.own;
  t.own = nullptr;
  if (copy && s && s != NM_BARLABEL) {
    t.own = new std::string(s);
    t.text = t.own->c_str();
  } else {
    t.text = s;
  }
}

std::string TitleText(const Title &t) { return t.text && t.text != NM_BARLABEL ? std::string(t.text) : std::string(); }

struct StripData {
  BOOL enabled;
};

struct MenuData {
  Title title;
  BOOL enabled;
  BOOL copy;
};

struct ItemData {
  Title title;
  Title shortcut;
  BOOL enabled;
  BOOL copy;
  BOOL checked;
  BOOL checkit;
  BOOL toggle;
  IPTR exclude;
};

IPTR StripPopup(Object *strip, const MUIP_Menustrip_Popup *m);

constexpr AttrField<StripData> kStripAttrs[] = {{MUIA_Menustrip_Enabled, &StripData::enabled, kISG, TRUE}};

// Titles are kept by SetTitle, which needs the copy flag first.
constexpr AttrField<MenuData> kMenuAttrs[] = {{MUIA_Menu_CopyStrings, &MenuData::copy, kInit},
                                              {MUIA_Menu_Enabled, &MenuData::enabled, kISG, TRUE}};

// clang-format off
constexpr AttrField<ItemData> kItemAttrs[] = {
    {MUIA_Menuitem_CopyStrings, &ItemData::copy, kIG},
    {MUIA_Menuitem_Enabled, &ItemData::enabled, kISG, TRUE}, {MUIA_Menuitem_Checked, &ItemData::checked, kISG},
    {MUIA_Menuitem_Checkit, &ItemData::checkit, kISG}, {MUIA_Menuitem_Toggle, &ItemData::toggle, kISG},
    {MUIA_Menuitem_Exclude, &ItemData::exclude, kISG},
};
// clang-format on

// The titles of a menu or item, kept by SetTitle.
template <typename D> struct TitleField {
  Tag tag;
  Title D::*member;
};
constexpr TitleField<MenuData> kMenuTitles[] = {{MUIA_Menu_Title, &MenuData::title}};
constexpr TitleField<ItemData> kItemTitles[] = {{MUIA_Menuitem_Title, &ItemData::title},
                                                {MUIA_Menuitem_Shortcut, &ItemData::shortcut}};

// The standard methods of Menu and Menuitem: the table's attributes and the
// titles. OM_NEW reads the table first: it says whether titles are copied.
template <typename D, size_t N, size_t M>
IPTR TitledDispatch(IClass *cl, Object *obj, Msg msg, const AttrTable<D, N> &attrs, const TitleField<D> (&titles)[M]) {
  switch (msg->MethodID) {
  case OM_NEW: {
    auto made = NewWithAttrs(cl, obj, msg, attrs);
    if (!made) return 0;
    for (const auto &t : titles) SetTitle(made.data->*t.member, GetTagData(t.tag, 0, AttrTags(msg)), made.data->copy);
    return made.result();
  }
  case OM_DISPOSE: {
    D *d = InstOf<D>(cl, obj);
    for (const auto &t : titles) {
      delete (d->*t.member).own;
      d->*t.member = Title{};
    }
    break;
  }
  case OM_SET: {
    D *d = InstOf<D>(cl, obj);
    EachTag(AttrTags(msg), [&](const TagItem &item) {
      for (const auto &t : titles)
        if (t.tag == item.ti_Tag) SetTitle(d->*t.member, item.ti_Data, d->copy);
      StoreAttr(d, attrs, item);
    });
    break;
  }
  case OM_GET: {
    D *d = InstOf<D>(cl, obj);
    auto *g = reinterpret_cast<opGet *>(msg);
    if (!g->opg_Storage) break;
    for (const auto &t : titles)
      if (t.tag == g->opg_AttrID) return *g->opg_Storage = reinterpret_cast<IPTR>((d->*t.member).text), TRUE;
    if (LoadAttr(d, attrs, g)) return TRUE;
    break;
  }
  }
  return DoSuperMethodA(cl, obj, msg);
}

IPTR StripDispatcher(IClass *cl, Object *obj, Msg msg) {
  switch (msg->MethodID) {
  case OM_NEW: return NewWithAttrs(cl, obj, msg, kStripAttrs).result();
  case OM_SET:
    if (auto *t = FindTagItem(MUIA_Menustrip_Enabled, AttrTags(msg))) StoreAttr(InstOf<StripData>(cl, obj), kStripAttrs, *t);
    break;
  case OM_GET:
    if (LoadAttr(InstOf<StripData>(cl, obj), kStripAttrs, reinterpret_cast<opGet *>(msg))) return TRUE;
    break;
  case MUIM_Menustrip_InitChange:
  case MUIM_Menustrip_ExitChange:
    return TRUE;
  case MUIM_Menustrip_Popup:
    return StripPopup(obj, reinterpret_cast<const MUIP_Menustrip_Popup *>(msg));
  }
  return DoSuperMethodA(cl, obj, msg);
}

IPTR MenuDispatcher(IClass *cl, Object *obj, Msg msg) { return TitledDispatch(cl, obj, msg, kMenuAttrs, kMenuTitles); }
IPTR ItemDispatcher(IClass *cl, Object *obj, Msg msg) { return TitledDispatch(cl, obj, msg, kItemAttrs, kItemTitles); }

IPTR Get(Object *obj, IPTR attr) {
  IPTR v = 0;
  GetAttr(attr, obj, &v);
  return v;
}

std::vector<Object *> ChildrenOf(Object *family) {
  std::vector<Object *> v;
  IPTR list = 0;
  if (!GetAttr(MUIA_Family_List, family, &list) || !list) return v;
  APTR state = reinterpret_cast<struct MinList *>(list)->mlh_Head;
  while (Object *o = NextObject(&state))
    v.push_back(o);
  return v;
}

void Snapshot(Object *obj, bool parentEnabled, MenuEntry &e) {
  e.object = obj;
  e.userData = Get(obj, MUIA_UserData);
  if (IsA(obj, g_itemClass)) {
    auto *d = static_cast<ItemData *>(INST_DATA(g_itemClass, obj));
    e.kind = d->title.text == NM_BARLABEL ? MenuEntry::Bar : MenuEntry::Item;
    e.title = TitleText(d->title);
    e.shortcut = TitleText(d->shortcut);
    e.enabled = parentEnabled && d->enabled;
    e.checkit = d->checkit;
    e.checked = d->checked;
  } else if (IsA(obj, g_menuClass)) {
    auto *d = static_cast<MenuData *>(INST_DATA(g_menuClass, obj));
    e.kind = MenuEntry::Menu;
    e.title = TitleText(d->title);
    e.enabled = parentEnabled && d->enabled;
  } else if (IsA(obj, g_stripClass)) {
    e.kind = MenuEntry::Strip;
    e.enabled = parentEnabled && static_cast<StripData *>(INST_DATA(g_stripClass, obj))->enabled;
  } else {
    return;
  }
  for (Object *k : ChildrenOf(obj)) {
    MenuEntry c;
    Snapshot(k, e.enabled, c);
    if (c.object) e.children.push_back(std::move(c));
  }
}

const MenuEntry *FindEntry(const MenuEntry &e, Object *obj) {
  if (e.object == obj) return &e;
  for (auto &c : e.children)
    if (const MenuEntry *f = FindEntry(c, obj)) return f;
  return nullptr;
}

IPTR StripPopup(Object *strip, const MUIP_Menustrip_Popup *m) {
  IPTR udata = 0;
  PopupChoice(strip, m->parent, static_cast<LONG>(m->x), static_cast<LONG>(m->y), &udata);
  return udata;
}

} // namespace

Object *PopupChoice(Object *strip, Object *parent, LONG x, LONG y, IPTR *userData) {
  if (!IsA(strip, g_stripClass)) return nullptr;
  MenuEntry root;
  Snapshot(strip, true, root);
  if (!root.enabled) return nullptr;
  Object *chosen = nullptr;
  Display *disp = GetDisplay();
  if (!disp) return nullptr;
  RunBlocking([&] { chosen = disp->PopupMenu(root, parent, x, y); });
  if (!chosen) return nullptr;
  // Only an enabled item of this menu counts, and only if it is still there.
  const MenuEntry *e = FindEntry(root, chosen);
  if (!e || e->kind != MenuEntry::Item || !e->enabled || !IsLiveObject(chosen)) return nullptr;
  MenuEntry now;
  Snapshot(strip, true, now);
  e = FindEntry(now, chosen);
  if (!e || !e->enabled) return nullptr;
  if (userData) *userData = e->userData;
  auto *d = static_cast<ItemData *>(INST_DATA(g_itemClass, chosen));
  if (d->checkit) SetAttrs(chosen, MUIA_Menuitem_Checked, d->toggle ? !d->checked : TRUE);
  if (IsLiveObject(chosen)) SetAttrs(chosen, MUIA_Menuitem_Trigger, chosen);
  return IsLiveObject(chosen) ? chosen : nullptr;
}

IClass *MakeMenuClasses() {
  g_stripClass = MakePublicClass(MUIC_Menustrip, MUIC_Family, sizeof(StripData), StripDispatcher);
  g_menuClass = MakePublicClass(MUIC_Menu, MUIC_Family, sizeof(MenuData), MenuDispatcher);
  g_itemClass = MakePublicClass(MUIC_Menuitem, MUIC_Family, sizeof(ItemData), ItemDispatcher);
  return g_stripClass;
}

IClass *MenustripClass() { return g_stripClass; }
IClass *MenuClass() { return g_menuClass; }
IClass *MenuitemClass() { return g_itemClass; }

} // namespace platform::mui
