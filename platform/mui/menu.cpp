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

IPTR StripDispatcher(IClass *cl, Object *obj, Msg msg) {
  const IPTR *w = reinterpret_cast<const IPTR *>(msg);
  switch (msg->MethodID) {
  case OM_NEW: {
    Object *o = reinterpret_cast<Object *>(DoSuperMethodA(cl, obj, msg));
    if (!o) return 0;
    auto *d = static_cast<StripData *>(INST_DATA(cl, o));
    d->enabled =
        static_cast<BOOL>(GetTagData(MUIA_Menustrip_Enabled, TRUE, reinterpret_cast<opSet *>(msg)->ops_AttrList));
    return reinterpret_cast<IPTR>(o);
  }
  case OM_SET: {
    auto *d = static_cast<StripData *>(INST_DATA(cl, obj));
    if (auto *t = FindTagItem(MUIA_Menustrip_Enabled, reinterpret_cast<opSet *>(msg)->ops_AttrList))
      d->enabled = t->ti_Data != 0;
    break;
  }
  case OM_GET:
    if (w[1] == MUIA_Menustrip_Enabled && w[2]) {
      *reinterpret_cast<IPTR *>(w[2]) = static_cast<StripData *>(INST_DATA(cl, obj))->enabled;
      return TRUE;
    }
    break;
  case MUIM_Menustrip_InitChange:
  case MUIM_Menustrip_ExitChange:
    return TRUE;
  case MUIM_Menustrip_Popup:
    return StripPopup(obj, reinterpret_cast<const MUIP_Menustrip_Popup *>(msg));
  }
  return DoSuperMethodA(cl, obj, msg);
}

IPTR MenuDispatcher(IClass *cl, Object *obj, Msg msg) {
  const IPTR *w = reinterpret_cast<const IPTR *>(msg);
  switch (msg->MethodID) {
  case OM_NEW: {
    Object *o = reinterpret_cast<Object *>(DoSuperMethodA(cl, obj, msg));
    if (!o) return 0;
    auto *d = static_cast<MenuData *>(INST_DATA(cl, o));
    struct TagItem *tags = reinterpret_cast<opSet *>(msg)->ops_AttrList;
    d->copy = static_cast<BOOL>(GetTagData(MUIA_Menu_CopyStrings, FALSE, tags));
    d->enabled = static_cast<BOOL>(GetTagData(MUIA_Menu_Enabled, TRUE, tags));
    SetTitle(d->title, GetTagData(MUIA_Menu_Title, 0, tags), d->copy);
    return reinterpret_cast<IPTR>(o);
  }
  case OM_DISPOSE: {
    auto *d = static_cast<MenuData *>(INST_DATA(cl, obj));
    delete d->title.own;
    d->title = Title{};
    break;
  }
  case OM_SET: {
    auto *d = static_cast<MenuData *>(INST_DATA(cl, obj));
    struct TagItem *tags = reinterpret_cast<opSet *>(msg)->ops_AttrList, *t;
    while ((t = NextTagItem(&tags))) {
      if (t->ti_Tag == MUIA_Menu_Title) SetTitle(d->title, t->ti_Data, d->copy);
      if (t->ti_Tag == MUIA_Menu_Enabled) d->enabled = t->ti_Data != 0;
    }
    break;
  }
  case OM_GET: {
    auto *d = static_cast<MenuData *>(INST_DATA(cl, obj));
    auto *store = reinterpret_cast<IPTR *>(w[2]);
    if (!store) break;
    if (w[1] == MUIA_Menu_Title) return *store = reinterpret_cast<IPTR>(d->title.text), TRUE;
    if (w[1] == MUIA_Menu_Enabled) return *store = d->enabled, TRUE;
    break;
  }
  }
  return DoSuperMethodA(cl, obj, msg);
}

IPTR ItemDispatcher(IClass *cl, Object *obj, Msg msg) {
  const IPTR *w = reinterpret_cast<const IPTR *>(msg);
  switch (msg->MethodID) {
  case OM_NEW: {
    Object *o = reinterpret_cast<Object *>(DoSuperMethodA(cl, obj, msg));
    if (!o) return 0;
    auto *d = static_cast<ItemData *>(INST_DATA(cl, o));
    struct TagItem *tags = reinterpret_cast<opSet *>(msg)->ops_AttrList;
    d->copy = static_cast<BOOL>(GetTagData(MUIA_Menuitem_CopyStrings, FALSE, tags));
    d->enabled = static_cast<BOOL>(GetTagData(MUIA_Menuitem_Enabled, TRUE, tags));
    d->checked = static_cast<BOOL>(GetTagData(MUIA_Menuitem_Checked, FALSE, tags));
    d->checkit = static_cast<BOOL>(GetTagData(MUIA_Menuitem_Checkit, FALSE, tags));
    d->toggle = static_cast<BOOL>(GetTagData(MUIA_Menuitem_Toggle, FALSE, tags));
    d->exclude = GetTagData(MUIA_Menuitem_Exclude, 0, tags);
    SetTitle(d->title, GetTagData(MUIA_Menuitem_Title, 0, tags), d->copy);
    SetTitle(d->shortcut, GetTagData(MUIA_Menuitem_Shortcut, 0, tags), d->copy);
    return reinterpret_cast<IPTR>(o);
  }
  case OM_DISPOSE: {
    auto *d = static_cast<ItemData *>(INST_DATA(cl, obj));
    delete d->title.own;
    delete d->shortcut.own;
    d->title = d->shortcut = Title{};
    break;
  }
  case OM_SET: {
    auto *d = static_cast<ItemData *>(INST_DATA(cl, obj));
    struct TagItem *tags = reinterpret_cast<opSet *>(msg)->ops_AttrList, *t;
    while ((t = NextTagItem(&tags))) {
      switch (t->ti_Tag) {
      case MUIA_Menuitem_Title:
        SetTitle(d->title, t->ti_Data, d->copy);
        break;
      case MUIA_Menuitem_Shortcut:
        SetTitle(d->shortcut, t->ti_Data, d->copy);
        break;
      case MUIA_Menuitem_Enabled:
        d->enabled = t->ti_Data != 0;
        break;
      case MUIA_Menuitem_Checked:
        d->checked = t->ti_Data != 0;
        break;
      case MUIA_Menuitem_Checkit:
        d->checkit = t->ti_Data != 0;
        break;
      case MUIA_Menuitem_Toggle:
        d->toggle = t->ti_Data != 0;
        break;
      case MUIA_Menuitem_Exclude:
        d->exclude = t->ti_Data;
        break;
      }
    }
    break;
  }
  case OM_GET: {
    auto *d = static_cast<ItemData *>(INST_DATA(cl, obj));
    auto *store = reinterpret_cast<IPTR *>(w[2]);
    if (!store) break;
    switch (w[1]) {
    case MUIA_Menuitem_Title:
      *store = reinterpret_cast<IPTR>(d->title.text);
      return TRUE;
    case MUIA_Menuitem_Shortcut:
      *store = reinterpret_cast<IPTR>(d->shortcut.text);
      return TRUE;
    case MUIA_Menuitem_Enabled:
      *store = d->enabled;
      return TRUE;
    case MUIA_Menuitem_Checked:
      *store = d->checked;
      return TRUE;
    case MUIA_Menuitem_Checkit:
      *store = d->checkit;
      return TRUE;
    case MUIA_Menuitem_Toggle:
      *store = d->toggle;
      return TRUE;
    case MUIA_Menuitem_Exclude:
      *store = d->exclude;
      return TRUE;
    case MUIA_Menuitem_CopyStrings:
      *store = d->copy;
      return TRUE;
    }
    break;
  }
  }
  return DoSuperMethodA(cl, obj, msg);
}

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
  g_stripClass = MakeClass(MUIC_Menustrip, MUIC_Family, nullptr, sizeof(StripData), 0);
  g_stripClass->cl_Dispatcher = StripDispatcher;
  AddClass(g_stripClass);
  g_menuClass = MakeClass(MUIC_Menu, MUIC_Family, nullptr, sizeof(MenuData), 0);
  g_menuClass->cl_Dispatcher = MenuDispatcher;
  AddClass(g_menuClass);
  g_itemClass = MakeClass(MUIC_Menuitem, MUIC_Family, nullptr, sizeof(ItemData), 0);
  g_itemClass->cl_Dispatcher = ItemDispatcher;
  AddClass(g_itemClass);
  return g_stripClass;
}

IClass *MenustripClass() { return g_stripClass; }
IClass *MenuClass() { return g_menuClass; }
IClass *MenuitemClass() { return g_itemClass; }

} // namespace platform::mui
