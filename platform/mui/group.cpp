// Group.mui: holds children (horizontal, vertical, in columns or rows, or as
// pages of which one is shown). Set-up and visibility go down to the
// children; MUIA_Disabled too.
#include "mui/widgets.h"

namespace platform::widgets {
namespace {

struct IClass *gGroup;

struct GroupData {
  struct MinList children;
  bool horiz;
  LONG columns, rows;
  bool pageMode;
  LONG activePage;
  LONG changeCount;
  bool changed;
  LONG spacing, hspacing, vspacing;
  bool sameWidth, sameHeight;
  struct MUI_RenderInfo *ri; // while set up
  bool shown;
};

std::vector<Object *> Children(GroupData *d) {
  std::vector<Object *> out;
  APTR state = d->children.mlh_Head;
  while (Object *o = NextObject(&state)) out.push_back(o);
  return out;
}

LONG Count(GroupData *d) { return static_cast<LONG>(Children(d).size()); }

void Changed(Object *obj, GroupData *d) {
  if (d->changeCount > 0) d->changed = true;
  else NotifyLayout(obj);
}

bool AddChild(Object *obj, GroupData *d, Object *child, bool head) {
  if (!child) return false;
  struct MinNode *n = ObjectNode(child);
  if (!n) return false;
  if (head) AddHead(reinterpret_cast<struct List *>(&d->children), reinterpret_cast<struct Node *>(n));
  else AddTail(reinterpret_cast<struct List *>(&d->children), reinterpret_cast<struct Node *>(n));
  SetObjectParent(child, obj);
  if (d->ri) {
    DoMethod(child, MUIM_Setup, d->ri);
    if (d->shown) DoMethod(child, MUIM_Show, 0);
  }
  Changed(obj, d);
  return true;
}

void RemChild(Object *obj, GroupData *d, Object *child) {
  bool found = false;
  for (Object *c : Children(d)) found |= c == child;
  if (!found) return;
  if (d->ri) {
    if (d->shown) DoMethod(child, MUIM_Hide);
    DoMethod(child, MUIM_Cleanup);
  }
  Remove(reinterpret_cast<struct Node *>(ObjectNode(child)));
  SetObjectParent(child, nullptr);
  Changed(obj, d);
}

LONG ResolvePage(GroupData *d, LONG want) {
  LONG n = Count(d);
  if (n == 0) return 0;
  switch (want) {
  case MUIV_Group_ActivePage_First: return 0;
  case MUIV_Group_ActivePage_Last: return n - 1;
  case MUIV_Group_ActivePage_Prev: return d->activePage > 0 ? d->activePage - 1 : 0;
  case MUIV_Group_ActivePage_Next: return d->activePage < n - 1 ? d->activePage + 1 : n - 1;
  case MUIV_Group_ActivePage_Advance: return (d->activePage + 1) % n;
  default: return want < 0 ? 0 : (want >= n ? n - 1 : want);
  }
}

// Spacing and SameSize set more than one field; ActivePage is resolved
// against the children, which come first.
// clang-format off
constexpr AttrField<GroupData> kGroupAttrs[] = {
    {MUIA_Group_Horiz, &GroupData::horiz, kIG},
    {MUIA_Group_Columns, &GroupData::columns, kISG}, {MUIA_Group_Rows, &GroupData::rows, kISG},
    {MUIA_Group_PageMode, &GroupData::pageMode, kIG},
    {MUIA_Group_ActivePage, &GroupData::activePage, kGet},
    {MUIA_Group_HorizSpacing, &GroupData::hspacing, kInit}, {MUIA_Group_VertSpacing, &GroupData::vspacing, kInit},
    {MUIA_Group_SameWidth, &GroupData::sameWidth, kInit}, {MUIA_Group_SameHeight, &GroupData::sameHeight, kInit},
};
// clang-format on

IPTR GroupDispatcher(struct IClass *cl, Object *obj, Msg msg) {
  switch (msg->MethodID) {
  case OM_NEW: {
    auto made = SuperNew<GroupData>(cl, obj, msg);
    if (!made) {
      // A group that could not be made still owns the children it was given.
      EachTag(AttrTags(msg), [](const TagItem &t) {
        if (t.ti_Tag == MUIA_Group_Child) DisposeObject(reinterpret_cast<Object *>(t.ti_Data));
      });
      return 0;
    }
    Object *o = made.obj;
    GroupData *d = made.data;
    NewMinList(&d->children);
    bool failed = false;
    struct TagItem *state = AttrTags(msg), *t;
    while ((t = NextTagItem(&state))) {
      switch (t->ti_Tag) {
      case MUIA_Group_Child:
        // One missing child fails the whole group (and frees the others):
        // a tree built in one nested expression then fails as a whole, and
        // its maker checks only the outermost result.
        if (!t->ti_Data) failed = true;
        else if (!failed) AddChild(o, d, reinterpret_cast<Object *>(t->ti_Data), false);
        else DisposeObject(reinterpret_cast<Object *>(t->ti_Data));
        break;
      case MUIA_Group_Spacing: d->spacing = d->hspacing = d->vspacing = static_cast<LONG>(t->ti_Data); break;
      case MUIA_Group_SameSize: d->sameWidth = d->sameHeight = t->ti_Data != 0; break;
      default: InitAttr(d, kGroupAttrs, *t); break;
      }
    }
    if (failed) {
      CoerceMethod(cl, o, OM_DISPOSE);
      return 0;
    }
    if (IPTR page = GetTagData(MUIA_Group_ActivePage, 0, AttrTags(msg))) d->activePage = ResolvePage(d, static_cast<LONG>(page));
    return made.result();
  }
  case OM_DISPOSE: {
    GroupData *d = InstOf<GroupData>(cl, obj);
    for (Object *c : Children(d)) {
      Remove(reinterpret_cast<struct Node *>(ObjectNode(c)));
      SetObjectParent(c, nullptr);
      DisposeObject(c);
    }
    return DoSuperMethodA(cl, obj, msg);
  }
  case OM_SET: {
    GroupData *d = InstOf<GroupData>(cl, obj);
    std::vector<TagChange> changes;
    bool pageChanged = false;
    EachTag(AttrTags(msg), [&](const TagItem &t) {
      switch (t.ti_Tag) {
      case MUIA_Group_ActivePage: {
        LONG page = ResolvePage(d, static_cast<LONG>(static_cast<SIPTR>(t.ti_Data)));
        pageChanged |= page != d->activePage;
        d->activePage = page;
        changes.push_back({MUIA_Group_ActivePage, static_cast<IPTR>(page)});
        break;
      }
      case MUIA_Disabled:
        for (Object *c : Children(d)) SetAttrs(c, MUIA_Disabled, t.ti_Data);
        break;
      case MUIA_Group_Spacing: d->spacing = static_cast<LONG>(t.ti_Data); break;
      default: StoreAttr(d, kGroupAttrs, t); break;
      }
    });
    IPTR r = SuperSet(cl, obj, msg, changes);
    if (pageChanged) Changed(obj, d);
    return r;
  }
  case OM_GET: {
    GroupData *d = InstOf<GroupData>(cl, obj);
    auto *g = reinterpret_cast<opGet *>(msg);
    switch (g->opg_AttrID) {
    case MUIA_Group_ChildList: *g->opg_Storage = reinterpret_cast<IPTR>(&d->children); return TRUE;
    case MUIA_Group_ChildCount: *g->opg_Storage = static_cast<IPTR>(Count(d)); return TRUE;
    default: return GetOrSuper(cl, obj, msg, kGroupAttrs);
    }
  }
  case OM_ADDMEMBER:
  case MUIM_Group_AddTail:
    return AddChild(obj, static_cast<GroupData *>(INST_DATA(cl, obj)), reinterpret_cast<opMember *>(msg)->opam_Object, false);
  case MUIM_Group_AddHead:
    return AddChild(obj, static_cast<GroupData *>(INST_DATA(cl, obj)), reinterpret_cast<opMember *>(msg)->opam_Object, true);
  case OM_REMMEMBER:
  case MUIM_Group_Remove:
    RemChild(obj, static_cast<GroupData *>(INST_DATA(cl, obj)), reinterpret_cast<opMember *>(msg)->opam_Object);
    return TRUE;
  case MUIM_Group_InitChange: ++static_cast<GroupData *>(INST_DATA(cl, obj))->changeCount; return TRUE;
  case MUIM_Group_ExitChange: {
    GroupData *d = static_cast<GroupData *>(INST_DATA(cl, obj));
    if (d->changeCount > 0 && --d->changeCount == 0) {
      d->changed = false;
      NotifyLayout(obj); // contents may have changed size even without new children
    }
    return TRUE;
  }
  case MUIM_Group_Sort: {
    GroupData *d = static_cast<GroupData *>(INST_DATA(cl, obj));
    auto **order = reinterpret_cast<Object **>(reinterpret_cast<IPTR *>(msg) + 1);
    std::vector<Object *> now = Children(d);
    for (Object **o = order; *o; ++o)
      for (Object *c : now)
        if (c == *o) {
          Remove(reinterpret_cast<struct Node *>(ObjectNode(c)));
          AddTail(reinterpret_cast<struct List *>(&d->children), reinterpret_cast<struct Node *>(ObjectNode(c)));
        }
    Changed(obj, d);
    return TRUE;
  }
  case MUIM_Setup: {
    if (!DoSuperMethodA(cl, obj, msg)) return FALSE;
    GroupData *d = static_cast<GroupData *>(INST_DATA(cl, obj));
    std::vector<Object *> done;
    for (Object *c : Children(d)) {
      if (!DoMethodA(c, msg)) {
        for (Object *u : done) DoMethod(u, MUIM_Cleanup);
        DoSuperMethod(cl, obj, MUIM_Cleanup);
        return FALSE;
      }
      done.push_back(c);
    }
    d->ri = reinterpret_cast<MUIP_Setup *>(msg)->RenderInfo;
    return TRUE;
  }
  case MUIM_Cleanup: {
    GroupData *d = static_cast<GroupData *>(INST_DATA(cl, obj));
    for (Object *c : Children(d)) DoMethodA(c, msg);
    d->ri = nullptr;
    d->shown = false;
    return DoSuperMethodA(cl, obj, msg);
  }
  case MUIM_Show:
  case MUIM_Hide: {
    GroupData *d = static_cast<GroupData *>(INST_DATA(cl, obj));
    d->shown = msg->MethodID == MUIM_Show;
    for (Object *c : Children(d)) DoMethodA(c, msg);
    return DoSuperMethodA(cl, obj, msg);
  }
  case MUIM_Draw: {
    IPTR r = DoSuperMethodA(cl, obj, msg);
    GroupData *d = static_cast<GroupData *>(INST_DATA(cl, obj));
    LONG i = 0;
    for (Object *c : Children(d)) {
      if (!d->pageMode || i == d->activePage) MUI_Redraw(c, static_cast<ULONG>(reinterpret_cast<MUIP_Draw *>(msg)->flags));
      ++i;
    }
    return r;
  }
  case MUIM_AskMinMax: {
    DoSuperMethodA(cl, obj, msg);
    GroupData *d = static_cast<GroupData *>(INST_DATA(cl, obj));
    MUI_MinMax *mm = reinterpret_cast<MUIP_AskMinMax *>(msg)->MinMaxInfo;
    LONG minW = 0, minH = 0, defW = 0, defH = 0;
    for (Object *c : Children(d)) {
      MUI_MinMax cm{};
      DoMethod(c, MUIM_AskMinMax, &cm);
      if (d->horiz) {
        minW += cm.MinWidth, defW += cm.DefWidth;
        minH = std::max<LONG>(minH, cm.MinHeight), defH = std::max<LONG>(defH, cm.DefHeight);
      } else {
        minH += cm.MinHeight, defH += cm.DefHeight;
        minW = std::max<LONG>(minW, cm.MinWidth), defW = std::max<LONG>(defW, cm.DefWidth);
      }
    }
    mm->MinWidth = static_cast<WORD>(mm->MinWidth + minW);
    mm->MinHeight = static_cast<WORD>(mm->MinHeight + minH);
    mm->DefWidth = static_cast<WORD>(mm->DefWidth + defW);
    mm->DefHeight = static_cast<WORD>(mm->DefHeight + defH);
    mm->MaxWidth = mm->MaxHeight = MUI_MAXMAX;
    return 0;
  }
  default: return DoSuperMethodA(cl, obj, msg);
  }
}

} // namespace

struct IClass *GroupClass() { return gGroup; }
struct IClass *MakeGroupClass() { return gGroup = MakeWidgetClass(MUIC_Group, MUIC_Area, sizeof(GroupData), GroupDispatcher); }

} // namespace platform::widgets

namespace platform {

std::vector<Object *> GroupChildren(Object *group) {
  using namespace widgets;
  std::vector<Object *> out;
  if (!group || !GroupClass()) return out;
  IPTR list = 0;
  if (!GetAttr(MUIA_Group_ChildList, group, &list) || !list) return out;
  APTR state = reinterpret_cast<struct MinList *>(list)->mlh_Head;
  while (Object *o = NextObject(&state)) out.push_back(o);
  return out;
}

} // namespace platform
