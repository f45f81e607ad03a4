// List.mui: entries made and freed by hooks, shown in columns by the
// display hook, with a title row, sorted or positional insertion, an active
// entry, the rows the display shows (first, visible, jumps), drag-sorting,
// and a quiet state that holds back display updates.
// Listview.mui is the frame group around a list.
#include <algorithm>
#include <cstdlib>

#include "mui/widgets.h"

namespace platform::widgets {
namespace {

struct IClass *gList;

struct ListData {
  std::vector<APTR> *entries;
  struct Hook *construct, *destruct, *display, *compare;
  APTR pool;
  IPTR title; // TRUE: the display hook makes it; a text otherwise
  std::string *titleText;
  std::string *format;
  std::vector<ListColumn> *columns; // the parsed format
  LONG active;
  bool quiet;
  bool dirty;
  bool input, dragSortable, showDropMarks, autoVisible;
  LONG dragType, multiSelect;
  LONG first, visible; // what the display shows
  uint32_t revision, version;
};

constexpr LONG kDefaultVisible = 8; // rows of the default height, until a display says

APTR Construct(ListData *d, APTR entry) {
  if (IsStringHook(d->construct)) return CopyString(entry);
  if (d->construct) return reinterpret_cast<APTR>(CallHookPkt(d->construct, d->pool, entry));
  return entry;
}

void Destruct(ListData *d, APTR entry) {
  if (IsStringHook(d->destruct)) std::free(entry);
  else if (d->destruct) CallHookPkt(d->destruct, d->pool, entry);
}

LONG Compare(ListData *d, APTR e1, APTR e2) {
  if (d->compare && !IsStringHook(d->compare)) return static_cast<LONG>(CallHookPkt(d->compare, e2, e1));
  const char *a = static_cast<const char *>(e1), *b = static_cast<const char *>(e2);
  return std::strcmp(a ? a : "", b ? b : "");
}

// structural: entries came, went or moved, so row numbers the display
// handed out no longer hold.
void Changed(Object *obj, ListData *d, bool structural = true) {
  if (structural) ++d->revision;
  ++d->version;
  if (d->quiet) d->dirty = true;
  else NotifyLayout(obj);
}

LONG Count(ListData *d) { return static_cast<LONG>(d->entries->size()); }

// Sets the active entry and announces it (MUIV_List_Active_Off when none).
void SetActive(Object *obj, ListData *d, LONG active) {
  d->active = active;
  Announce(obj, MUIA_List_Active, static_cast<IPTR>(static_cast<SIPTR>(active)));
}

LONG ResolveActive(ListData *d, LONG want) {
  LONG n = Count(d);
  switch (want) {
  case MUIV_List_Active_Off: return MUIV_List_Active_Off;
  case MUIV_List_Active_Top: return n ? 0 : MUIV_List_Active_Off;
  case MUIV_List_Active_Bottom: return n ? n - 1 : MUIV_List_Active_Off;
  case MUIV_List_Active_Up: return n ? std::max<LONG>(d->active < 0 ? 0 : d->active - 1, 0) : MUIV_List_Active_Off;
  case MUIV_List_Active_Down: return n ? std::min(d->active < 0 ? 0 : d->active + 1, n - 1) : MUIV_List_Active_Off;
  default: return (want >= 0 && want < n) ? want : MUIV_List_Active_Off;
  }
}

// Scrolls as little as needed for entry pos to be shown.
void Jump(Object *obj, ListData *d, LONG pos) {
  LONG first = d->first;
  if (pos < first) first = pos;
  else if (d->visible > 0 && pos >= first + d->visible) first = pos - d->visible + 1;
  if (first == d->first) return;
  d->first = first;
  Announce(obj, MUIA_List_First, static_cast<IPTR>(first));
}

LONG Insert(Object *obj, ListData *d, APTR entry, LONG pos) {
  APTR e = Construct(d, entry);
  if (!e) return -1;
  LONG n = Count(d), at;
  switch (pos) {
  case MUIV_List_Insert_Top: at = 0; break;
  case MUIV_List_Insert_Active: at = d->active >= 0 ? d->active : 0; break;
  case MUIV_List_Insert_Sorted:
    at = 0;
    while (at < n && Compare(d, (*d->entries)[static_cast<size_t>(at)], e) <= 0) ++at;
    break;
  case MUIV_List_Insert_Bottom: at = n; break;
  default: at = (pos < 0 || pos > n) ? n : pos; break;
  }
  d->entries->insert(d->entries->begin() + at, e);
  if (d->active >= 0 && at <= d->active) ++d->active; // the same entry stays active
  (void)obj;
  return at;
}

LONG ResolvePos(ListData *d, LONG pos) {
  LONG n = Count(d);
  if (pos == MUIV_List_Remove_Active) return d->active;
  if (pos == MUIV_List_Remove_Last) return n - 1;
  return pos;
}

void RemoveAt(Object *obj, ListData *d, LONG at) {
  if (at < 0 || at >= Count(d)) return;
  APTR e = (*d->entries)[static_cast<size_t>(at)];
  d->entries->erase(d->entries->begin() + at);
  Destruct(d, e);
  if (at == d->active) SetActive(obj, d, MUIV_List_Active_Off);
  else if (at < d->active) --d->active;
}

void Clear(Object *obj, ListData *d) {
  std::vector<APTR> old;
  old.swap(*d->entries);
  d->first = 0;
  for (APTR e : old) Destruct(d, e);
  if (d->active != MUIV_List_Active_Off) SetActive(obj, d, MUIV_List_Active_Off);
}

LONG MovePos(ListData *d, LONG pos, LONG from, bool second) {
  LONG n = Count(d);
  switch (pos) {
  case MUIV_List_Move_Top: return 0;
  case MUIV_List_Move_Active: return d->active;
  case MUIV_List_Move_Bottom: return n - 1;
  case MUIV_List_Move_Next: return second ? from + 1 : -1;
  case MUIV_List_Move_Previous: return second ? from - 1 : -1;
  default: return pos;
  }
}

// The active entry, first row, quiet mode and format are set through the
// dispatcher (they move rows or announce); the table keeps the rest.
// clang-format off
constexpr AttrField<ListData> kListAttrs[] = {
    {MUIA_List_ConstructHook, &ListData::construct, kInit | kSet},
    {MUIA_List_DestructHook, &ListData::destruct, kInit | kSet},
    {MUIA_List_DisplayHook, &ListData::display, kInit | kSet},
    {MUIA_List_CompareHook, &ListData::compare, kInit | kSet},
    {MUIA_List_DragSortable, &ListData::dragSortable, kISG},
    {MUIA_List_ShowDropMarks, &ListData::showDropMarks, kISG}, {MUIA_List_DragType, &ListData::dragType, kISG},
    {MUIA_List_AutoVisible, &ListData::autoVisible, kInit | kSet},
    {MUIA_List_Pool, &ListData::pool, kIG}, {MUIA_List_Input, &ListData::input, kIG},
    {MUIA_List_MultiSelect, &ListData::multiSelect, kInit},
    {MUIA_List_Active, &ListData::active, kGet}, {MUIA_List_InsertPosition, &ListData::active, kGet},
    {MUIA_List_First, &ListData::first, kGet}, {MUIA_List_Quiet, &ListData::quiet, kGet},
    {MUIA_List_Format, &ListData::format, kGet},
    {0, &ListData::titleText, 0},
};
// clang-format on

void SetFromTags(ListData *d, struct TagItem *tags, bool init) {
  EachTag(tags, [&](const TagItem &t) {
    if (t.ti_Tag == MUIA_List_Format) {
      SetListFormat(d->format, *d->columns, reinterpret_cast<CONST_STRPTR>(t.ti_Data));
    } else if (t.ti_Tag == MUIA_List_Title) {
      d->title = t.ti_Data;
      SetText(d->titleText, t.ti_Data > 1 ? reinterpret_cast<CONST_STRPTR>(t.ti_Data) : nullptr);
    } else if (init) {
      InitAttr(d, kListAttrs, t);
    } else {
      StoreAttr(d, kListAttrs, t);
    }
  });
}

IPTR ListDispatcher(struct IClass *cl, Object *obj, Msg msg) {
  switch (msg->MethodID) {
  case OM_NEW: {
    auto made = SuperNew<ListData>(cl, obj, msg);
    if (!made) return 0;
    Object *o = made.obj;
    ListData *d = made.data;
    d->entries = new std::vector<APTR>;
    d->columns = new std::vector<ListColumn>(ParseListFormat(nullptr));
    d->visible = kDefaultVisible;
    d->active = MUIV_List_Active_Off;
    d->input = true;
    struct TagItem *tags = AttrTags(msg);
    SetFromTags(d, tags, true);
    if (auto **src = reinterpret_cast<APTR *>(GetTagData(MUIA_List_SourceArray, 0, tags)))
      for (; *src; ++src) Insert(o, d, *src, MUIV_List_Insert_Bottom);
    IPTR active = GetTagData(MUIA_List_Active, static_cast<IPTR>(static_cast<SIPTR>(MUIV_List_Active_Off)), tags);
    d->active = ResolveActive(d, static_cast<LONG>(static_cast<SIPTR>(active)));
    return made.result();
  }
  case OM_DISPOSE: {
    ListData *d = InstOf<ListData>(cl, obj);
    for (APTR e : *d->entries) Destruct(d, e);
    delete d->entries;
    d->entries = nullptr;
    delete d->columns;
    d->columns = nullptr;
    FreeAttrs(d, kListAttrs);
    return DoSuperMethodA(cl, obj, msg);
  }
  case OM_SET: {
    ListData *d = InstOf<ListData>(cl, obj);
    std::vector<TagChange> changes;
    bool layout = false;
    SetFromTags(d, AttrTags(msg), false);
    EachTag(AttrTags(msg), [&](const TagItem &t) {
      switch (t.ti_Tag) {
      case MUIA_List_Active:
        d->active = ResolveActive(d, static_cast<LONG>(static_cast<SIPTR>(t.ti_Data)));
        changes.push_back({MUIA_List_Active, static_cast<IPTR>(static_cast<SIPTR>(d->active))});
        if (d->active >= 0) Jump(obj, d, d->active); // the display keeps the active entry in view
        break;
      case MUIA_List_Quiet: layout |= SetListQuiet(d->quiet, d->dirty, t.ti_Data); break;
      case MUIA_List_Format:
      case MUIA_List_Title: layout = true; break;
      case MUIA_List_First: {
        LONG n = Count(d);
        d->first = std::clamp<LONG>(static_cast<LONG>(static_cast<SIPTR>(t.ti_Data)), 0, std::max<LONG>(n - 1, 0));
        changes.push_back({MUIA_List_First, static_cast<IPTR>(d->first)});
        break;
      }
      default: break;
      }
    });
    IPTR r = SuperSet(cl, obj, msg, changes);
    if (layout) Changed(obj, d, false);
    return r;
  }
  case OM_GET: {
    ListData *d = InstOf<ListData>(cl, obj);
    auto *g = reinterpret_cast<opGet *>(msg);
    switch (g->opg_AttrID) {
    case MUIA_List_Entries: *g->opg_Storage = static_cast<IPTR>(Count(d)); return TRUE;
    case MUIA_List_Visible: *g->opg_Storage = static_cast<IPTR>(std::max<LONG>(0, std::min(d->visible, Count(d) - d->first))); return TRUE;
    case MUIA_List_Title: *g->opg_Storage = d->titleText ? reinterpret_cast<IPTR>(d->titleText->c_str()) : d->title; return TRUE;
    default: return GetOrSuper(cl, obj, msg, kListAttrs);
    }
  }
  case MUIM_List_InsertSingle: {
    ListData *d = static_cast<ListData *>(INST_DATA(cl, obj));
    auto *m = reinterpret_cast<MUIP_List_InsertSingle *>(msg);
    LONG at = Insert(obj, d, m->entry, static_cast<LONG>(m->pos));
    if (at >= 0) Changed(obj, d);
    return static_cast<IPTR>(static_cast<SIPTR>(at));
  }
  case MUIM_List_Insert: {
    ListData *d = static_cast<ListData *>(INST_DATA(cl, obj));
    auto *m = reinterpret_cast<MUIP_List_Insert *>(msg);
    if (!m->entries) return 0;
    LONG pos = static_cast<LONG>(m->pos), first = -1;
    for (LONG i = 0; m->count < 0 ? m->entries[i] != nullptr : i < m->count; ++i) {
      LONG at = Insert(obj, d, m->entries[i], pos);
      if (first < 0) first = at;
      // Keep the given order for positional inserts.
      if (at >= 0 && pos != MUIV_List_Insert_Sorted && pos != MUIV_List_Insert_Bottom) pos = at + 1;
    }
    Changed(obj, d);
    return static_cast<IPTR>(static_cast<SIPTR>(first));
  }
  case MUIM_List_Remove: {
    ListData *d = static_cast<ListData *>(INST_DATA(cl, obj));
    RemoveAt(obj, d, ResolvePos(d, static_cast<LONG>(reinterpret_cast<MUIP_List_Remove *>(msg)->pos)));
    Changed(obj, d);
    return 0;
  }
  case MUIM_List_Clear: {
    ListData *d = static_cast<ListData *>(INST_DATA(cl, obj));
    Clear(obj, d);
    Changed(obj, d);
    return 0;
  }
  case MUIM_List_GetEntry: {
    ListData *d = static_cast<ListData *>(INST_DATA(cl, obj));
    auto *m = reinterpret_cast<MUIP_List_GetEntry *>(msg);
    LONG pos = m->pos == MUIV_List_GetEntry_Active ? d->active : static_cast<LONG>(m->pos);
    APTR e = (pos >= 0 && pos < Count(d)) ? (*d->entries)[static_cast<size_t>(pos)] : nullptr;
    if (m->entry) *m->entry = e;
    return reinterpret_cast<IPTR>(e);
  }
  case MUIM_List_Exchange:
  case MUIM_List_Move: {
    ListData *d = static_cast<ListData *>(INST_DATA(cl, obj));
    auto *m = reinterpret_cast<IPTR *>(msg);
    LONG a = MovePos(d, static_cast<LONG>(m[1]), 0, false);
    LONG b = MovePos(d, static_cast<LONG>(m[2]), a, true);
    LONG n = Count(d);
    if (a < 0 || b < 0 || a >= n || b >= n || a == b) return 0;
    APTR activeEntry = d->active >= 0 ? (*d->entries)[static_cast<size_t>(d->active)] : nullptr;
    if (msg->MethodID == MUIM_List_Exchange) {
      std::swap((*d->entries)[static_cast<size_t>(a)], (*d->entries)[static_cast<size_t>(b)]);
    } else {
      APTR e = (*d->entries)[static_cast<size_t>(a)];
      d->entries->erase(d->entries->begin() + a);
      d->entries->insert(d->entries->begin() + b, e);
    }
    if (activeEntry)
      d->active = static_cast<LONG>(std::find(d->entries->begin(), d->entries->end(), activeEntry) - d->entries->begin());
    Changed(obj, d);
    return 0;
  }
  case MUIM_List_Sort: {
    ListData *d = static_cast<ListData *>(INST_DATA(cl, obj));
    std::stable_sort(d->entries->begin(), d->entries->end(), [d](APTR a, APTR b) { return Compare(d, a, b) < 0; });
    Changed(obj, d);
    return 0;
  }
  case MUIM_List_Redraw: Changed(obj, static_cast<ListData *>(INST_DATA(cl, obj)), false); return 0;
  case MUIM_List_Jump: {
    ListData *d = static_cast<ListData *>(INST_DATA(cl, obj));
    LONG pos = static_cast<LONG>(reinterpret_cast<MUIP_List_Jump *>(msg)->pos), n = Count(d);
    switch (pos) {
    case MUIV_List_Jump_Active: pos = d->active; break;
    case MUIV_List_Jump_Bottom: pos = n - 1; break;
    case MUIV_List_Jump_Down: pos = d->first + d->visible; break;
    case MUIV_List_Jump_Up: pos = d->first - 1; break;
    default: break;
    }
    if (pos >= 0 && pos < n) Jump(obj, d, pos);
    return 0;
  }
  case MUIM_AskMinMax: return AskContentSize(cl, obj, msg, kListContentSize);
  default: return DoSuperMethodA(cl, obj, msg);
  }
}

// A listview is the group around its list; the list is its only child.
IPTR ListviewDispatcher(struct IClass *cl, Object *obj, Msg msg) {
  switch (msg->MethodID) {
  case OM_NEW: {
    struct TagItem *tags = reinterpret_cast<opSet *>(msg)->ops_AttrList;
    IPTR list = GetTagData(MUIA_Listview_List, 0, tags);
    if (!list) return 0;
    struct TagItem more[] = {{MUIA_Group_Child, list}, {TAG_MORE, reinterpret_cast<IPTR>(tags)}};
    IPTR m[] = {OM_NEW, reinterpret_cast<IPTR>(more), 0};
    Object *o = reinterpret_cast<Object *>(DoSuperMethodA(cl, obj, reinterpret_cast<Msg>(m)));
    if (o) *static_cast<Object **>(INST_DATA(cl, o)) = reinterpret_cast<Object *>(list);
    return reinterpret_cast<IPTR>(o);
  }
  case OM_GET: {
    auto *g = reinterpret_cast<opGet *>(msg);
    if (g->opg_AttrID == MUIA_Listview_List) {
      *g->opg_Storage = reinterpret_cast<IPTR>(*static_cast<Object **>(INST_DATA(cl, obj)));
      return TRUE;
    }
    return DoSuperMethodA(cl, obj, msg);
  }
  default: return DoSuperMethodA(cl, obj, msg);
  }
}

} // namespace

struct IClass *ListClass() { return gList; }

struct IClass *MakeListClasses() {
  gList = MakeWidgetClass(MUIC_List, MUIC_Area, sizeof(ListData), ListDispatcher);
  return gList && MakeWidgetClass(MUIC_Listview, MUIC_Group, sizeof(Object *), ListviewDispatcher) ? gList : nullptr;
}

ListData *ListOf(Object *obj) {
  if (!obj || !gList) return nullptr;
  for (struct IClass *c = OCLASS(obj); c; c = c->cl_Super)
    if (c == gList) return static_cast<ListData *>(INST_DATA(gList, obj));
  return nullptr;
}

bool IsList(Object *obj) { return ListOf(obj) != nullptr; }

std::vector<std::vector<std::string>> ListRowsOf(Object *obj, bool *hasTitle) {
  std::vector<std::vector<std::string>> rows;
  ListData *d = ListOf(obj);
  if (!d) {
    IPTR inner = 0; // a listview: its list
    if (obj && gList && GetAttr(MUIA_Listview_List, obj, &inner) && inner)
      return ListRowsOf(reinterpret_cast<Object *>(inner), hasTitle);
    return rows;
  }
  // Every column of the format, in the hook's order (hidden ones too).
  size_t columns = HookColumns(*d->columns);
  if (d->title) {
    if (hasTitle) *hasTitle = true;
    if (d->titleText) {
      std::vector<std::string> t(columns);
      t[0] = *d->titleText;
      rows.push_back(t);
    } else {
      rows.push_back(HookRow(d->display, columns, nullptr, -1, nullptr));
    }
  }
  LONG i = 0;
  for (APTR e : *d->entries) rows.push_back(HookRow(d->display, columns, e, i++, static_cast<CONST_STRPTR>(e)));
  return rows;
}

bool ListStateOf(Object *obj, ListState &out) {
  ListData *d = ListOf(obj);
  if (!d) return false;
  out = ListState{};
  for (const ListColumn &c : *d->columns)
    if (!c.hidden) out.columns.push_back(c);
  out.title = d->title != 0;
  if (out.title) {
    size_t slots = HookColumns(*d->columns);
    std::vector<std::string> raw(slots);
    if (d->titleText) raw[0] = *d->titleText;
    else raw = HookRow(d->display, slots, nullptr, -1, nullptr);
    out.titles = ShownColumns(*d->columns, raw);
  }
  out.entries = Count(d);
  out.active = d->active;
  out.first = d->first;
  out.visible = d->visible;
  out.revision = d->revision;
  out.version = d->version;
  out.quiet = d->quiet;
  out.dragSort = d->dragSortable;
  out.dropMarks = d->showDropMarks;
  return true;
}

std::vector<ListRowView> ListRangeOf(Object *obj, LONG first, LONG count) {
  std::vector<ListRowView> rows;
  ListData *d = ListOf(obj);
  if (!d || first < 0 || count <= 0) return rows;
  size_t slots = HookColumns(*d->columns);
  LONG end = std::min<LONG>(Count(d), first + std::min<LONG>(count, 100000));
  for (LONG i = first; i < end; ++i) {
    APTR e = (*d->entries)[static_cast<size_t>(i)];
    ListRowView r;
    r.cells = ShownColumns(*d->columns, HookRow(d->display, slots, e, i, static_cast<CONST_STRPTR>(e)));
    rows.push_back(std::move(r));
  }
  return rows;
}

void ListShownOf(Object *obj, LONG first, LONG visible) {
  ListData *d = ListOf(obj);
  if (!d) return;
  d->visible = std::clamp<LONG>(visible, 1, 10000);
  d->first = std::clamp<LONG>(first, 0, std::max<LONG>(Count(d) - 1, 0));
}

bool ListActivateOf(Object *obj, LONG row, uint32_t revision, bool doubleClick) {
  ListData *d = ListOf(obj);
  if (!d || revision != d->revision || row < -1 || row >= Count(d)) return false;
  SetAttrs(obj, MUIA_List_Active, static_cast<IPTR>(static_cast<SIPTR>(row)));
  if (doubleClick && row >= 0) TriggerNotify(obj, MUIA_List_DoubleClick, TRUE);
  return true;
}

bool ListKeyOf(Object *obj, ListKey key) {
  ListData *d = ListOf(obj);
  if (!d || !Count(d)) return false;
  LONG n = Count(d), page = std::max<LONG>(d->visible - 1, 1), a = d->active;
  LONG want;
  if (key == ListKey::Enter) {
    if (a < 0) return false;
    TriggerNotify(obj, MUIA_List_DoubleClick, TRUE);
    return true;
  }
  if (!KeyTargetRow(key, a, n, page, want)) return false;
  SetAttrs(obj, MUIA_List_Active, static_cast<IPTR>(std::clamp<LONG>(want, 0, n - 1)));
  return true;
}

bool ListDropOf(Object *obj, LONG from, LONG onto, DropPlace place, uint32_t revision) {
  ListData *d = ListOf(obj);
  LONG n = d ? Count(d) : 0;
  if (!d || !d->dragSortable || revision != d->revision || from < 0 || from >= n || onto < 0 || onto >= n) return false;
  // Where the entry goes once it is out of the list.
  LONG to = place == DropPlace::After ? onto + 1 : onto;
  if (to > from) --to;
  if (to != from) DoMethod(obj, MUIM_List_Move, from, to);
  SetAttrs(obj, MUIA_List_Active, static_cast<IPTR>(to));
  return true;
}

} // namespace platform::widgets
