// Listtree.mcc: a list of named nodes in which list nodes (TNF_LIST) hold
// further nodes and are open (TNF_OPEN, children shown) or closed. Each node
// carries user data made and freed by the construct and destruct hooks.
// Positions: the root is no node; the parent of a top-level node is null.
// The open and close hooks hear of every group opened or closed, the sort
// hook orders sorted insertion and MUIM_Listtree_Sort; with drag-sort on,
// the display drops rows before, after or into others.
#include <algorithm>
#include <cstdlib>
#include <strings.h>

#include "mui/widgets.h"

namespace platform::widgets {
namespace {

struct IClass *gListtree;
struct TreeData;

struct TNode {
  MUIS_Listtree_TreeNode pub; // tn_Private1: this node, tn_Private2: the tree
  TNode *parent;              // null: at the root
  std::vector<TNode *> children;
  std::string name;
};

struct TreeData {
  std::vector<TNode *> *root;
  TNode *active;
  struct Hook *construct, *destruct, *display, *openHook, *closeHook, *sortHook;
  std::string *format;
  std::vector<ListColumn> *columns;
  IPTR title;
  bool quiet, dirty;
  LONG first, visible;
  uint32_t revision, version;
  Object *self;
  bool dragDropSort, emptyNodes, duplicateNames;
  LONG dragType;
  bool showDropMarks;
  LONG doubleClick;
};

TreeData *Tree(Object *obj) { return static_cast<TreeData *>(INST_DATA(gListtree, obj)); }

// A public node pointer of this tree, or null.
TNode *Node(TreeData *d, APTR p) {
  auto *pub = static_cast<MUIS_Listtree_TreeNode *>(p);
  if (!pub || reinterpret_cast<SIPTR>(p) < 0x1000 || pub->tn_Private2 != d) return nullptr;
  return static_cast<TNode *>(pub->tn_Private1);
}

APTR Pub(TNode *n) { return n ? &n->pub : nullptr; }

std::vector<TNode *> &ListOf(TreeData *d, TNode *list) { return list ? list->children : *d->root; }
std::vector<TNode *> &Siblings(TreeData *d, TNode *n) { return ListOf(d, n->parent); }
LONG IndexIn(const std::vector<TNode *> &v, const TNode *n) {
  auto it = std::find(v.begin(), v.end(), n);
  return it == v.end() ? -1 : static_cast<LONG>(it - v.begin());
}

APTR Construct(TreeData *d, APTR user) {
  if (IsStringHook(d->construct)) return CopyString(user);
  if (d->construct) return reinterpret_cast<APTR>(CallHookPkt(d->construct, nullptr, user));
  return user;
}

// Name order: the sort hook's when there is one, else names without case.
int CompareNodes(TreeData *d, TNode *a, TNode *b) {
  if (d->sortHook && !IsStringHook(d->sortHook)) {
    IPTR pair[] = {reinterpret_cast<IPTR>(&a->pub), reinterpret_cast<IPTR>(&b->pub)};
    return static_cast<int>(static_cast<LONG>(CallHookPkt(d->sortHook, d->self, pair)));
  }
  return strcasecmp(a->name.c_str(), b->name.c_str());
}

void Destruct(TreeData *d, APTR user) {
  if (IsStringHook(d->destruct)) std::free(user);
  else if (d->destruct && user) CallHookPkt(d->destruct, nullptr, user);
}

void FreeNode(TreeData *d, TNode *n) {
  for (TNode *c : n->children) FreeNode(d, c);
  Destruct(d, n->pub.tn_User);
  delete n;
}

bool Contains(TNode *ancestor, TNode *n) {
  for (TNode *p = n; p; p = p->parent)
    if (p == ancestor) return true;
  return false;
}

bool Visible(TNode *n) {
  for (TNode *p = n->parent; p; p = p->parent)
    if (!(p->pub.tn_Flags & TNF_OPEN)) return false;
  return true;
}

// All nodes below list (depth first), or only the visible ones.
void Walk(TreeData *d, TNode *list, bool visibleOnly, std::vector<TNode *> &out) {
  for (TNode *c : ListOf(d, list)) {
    out.push_back(c);
    if (!visibleOnly || (c->pub.tn_Flags & TNF_OPEN)) Walk(d, c, visibleOnly, out);
  }
}

// structural: rows came, went or moved (also by opening and closing).
void Changed(Object *obj, TreeData *d, bool structural = true) {
  if (structural) ++d->revision;
  ++d->version;
  if (d->quiet) d->dirty = true;
  else NotifyLayout(obj);
}

void SetActive(Object *obj, TreeData *d, TNode *n) {
  d->active = n;
  Announce(obj, MUIA_Listtree_Active, reinterpret_cast<IPTR>(Pub(n)));
}

// List node argument: 0 root, -1 the parent of the tree node, -2 active.
bool ResolveList(TreeData *d, APTR arg, TNode *treeNode, TNode *&list) {
  SIPTR v = reinterpret_cast<SIPTR>(arg);
  if (v == MUIV_Listtree_ListNode_Root) list = nullptr;
  else if (v == MUIV_Listtree_ListNode_Parent) list = treeNode ? treeNode->parent : nullptr;
  else if (v == MUIV_Listtree_ListNode_Active) {
    if (!d->active) return false;
    list = (d->active->pub.tn_Flags & TNF_LIST) ? d->active : d->active->parent;
  } else {
    list = Node(d, arg);
    if (!list) return false;
  }
  return true;
}

// Tree node argument inside list: 0 head, -1 tail, -2 active, or a node.
TNode *ResolveNode(TreeData *d, TNode *list, APTR arg) {
  SIPTR v = reinterpret_cast<SIPTR>(arg);
  std::vector<TNode *> &l = ListOf(d, list);
  if (v == MUIV_Listtree_TreeNode_Head) return l.empty() ? nullptr : l.front();
  if (v == MUIV_Listtree_TreeNode_Tail) return l.empty() ? nullptr : l.back();
  if (v == MUIV_Listtree_TreeNode_Active) return d->active;
  return Node(d, arg);
}

// Where to put a node in list: after prev (0 head, -1 tail, -2 after the
// active node, -4 sorted by name, or after a node of that list).
size_t InsertIndex(TreeData *d, TNode *list, APTR prev, TNode *n, bool before) {
  std::vector<TNode *> &l = ListOf(d, list);
  SIPTR v = reinterpret_cast<SIPTR>(prev);
  if (v == MUIV_Listtree_Insert_PrevNode_Head) return 0;
  if (v == MUIV_Listtree_Insert_PrevNode_Tail) return l.size();
  if (v == MUIV_Listtree_Insert_PrevNode_Sorted) {
    size_t i = 0;
    while (i < l.size() && (l[i] == n || CompareNodes(d, l[i], n) <= 0)) ++i;
    return i;
  }
  TNode *p = v == MUIV_Listtree_Insert_PrevNode_Active ? d->active : Node(d, prev);
  LONG at = p ? IndexIn(l, p) : -1;
  if (at < 0) return l.size(); // not in this list: at its end
  return static_cast<size_t>(before ? at : at + 1);
}

IPTR DoInsert(Object *obj, TreeData *d, MUIP_Listtree_Insert *m) {
  TNode *list;
  if (!ResolveList(d, m->ListNode, nullptr, list)) return 0;
  if (list && !(list->pub.tn_Flags & TNF_LIST)) list = list->parent; // a leaf holds no nodes
  auto *n = new TNode{};
  n->pub.tn_Private1 = n;
  n->pub.tn_Private2 = d;
  n->name = m->Name ? m->Name : "";
  n->pub.tn_Name = n->name.data();
  n->pub.tn_Flags = static_cast<UWORD>(m->Flags & (TNF_LIST | TNF_OPEN | TNF_FROZEN | TNF_NOSIGN));
  n->pub.tn_User = Construct(d, m->User);
  if (m->User && !n->pub.tn_User && d->construct) {
    delete n; // the hook refused
    return 0;
  }
  n->parent = list;
  std::vector<TNode *> &l = ListOf(d, list);
  l.insert(l.begin() + static_cast<long>(InsertIndex(d, list, m->PrevNode, n, m->Flags & MUIV_Listtree_Insert_Flags_NextNode)), n);
  if (m->Flags & MUIV_Listtree_Insert_Flags_Active) SetActive(obj, d, n);
  Changed(obj, d);
  return reinterpret_cast<IPTR>(Pub(n));
}

void Detach(TreeData *d, TNode *n) {
  std::vector<TNode *> &l = Siblings(d, n);
  l.erase(std::find(l.begin(), l.end(), n));
}

void RemoveNode(Object *obj, TreeData *d, TNode *n) {
  bool lostActive = d->active && Contains(n, d->active);
  Detach(d, n);
  if (lostActive) SetActive(obj, d, nullptr);
  FreeNode(d, n);
}

IPTR DoRemove(Object *obj, TreeData *d, APTR listArg, APTR nodeArg) {
  TNode *list;
  if (!ResolveList(d, listArg, nullptr, list)) return 0;
  if (reinterpret_cast<SIPTR>(nodeArg) == MUIV_Listtree_Remove_TreeNode_All) {
    std::vector<TNode *> all = ListOf(d, list);
    for (TNode *c : all) RemoveNode(obj, d, c);
  } else {
    TNode *n = ResolveNode(d, list, nodeArg);
    if (!n) return 0;
    RemoveNode(obj, d, n);
  }
  Changed(obj, d);
  return TRUE;
}

IPTR DoGetEntry(TreeData *d, APTR nodeArg, SIPTR pos, IPTR flags) {
  TNode *node;
  SIPTR v = reinterpret_cast<SIPTR>(nodeArg);
  if (v == MUIV_Listtree_GetEntry_ListNode_Root) node = nullptr;
  else if (v == MUIV_Listtree_GetEntry_ListNode_Active) {
    node = d->active;
    if (!node) return 0;
  } else {
    node = Node(d, nodeArg);
    if (!node) return 0;
  }
  bool visibleOnly = flags & MUIV_Listtree_GetEntry_Flags_Visible;
  switch (pos) {
  case MUIV_Listtree_GetEntry_Position_Active: return reinterpret_cast<IPTR>(Pub(d->active));
  case MUIV_Listtree_GetEntry_Position_Parent: return node ? reinterpret_cast<IPTR>(Pub(node->parent)) : 0;
  case MUIV_Listtree_GetEntry_Position_Next:
  case MUIV_Listtree_GetEntry_Position_Previous: {
    if (!node) return 0;
    std::vector<TNode *> &l = Siblings(d, node);
    LONG at = IndexIn(l, node) + (pos == MUIV_Listtree_GetEntry_Position_Next ? 1 : -1);
    return (at >= 0 && at < static_cast<LONG>(l.size())) ? reinterpret_cast<IPTR>(Pub(l[static_cast<size_t>(at)])) : 0;
  }
  case MUIV_Listtree_GetEntry_Position_Tail: {
    std::vector<TNode *> &l = ListOf(d, node);
    return l.empty() ? 0 : reinterpret_cast<IPTR>(Pub(l.back()));
  }
  default: {
    if (pos < 0) return 0;
    // n-th node below: on this level only, or over all levels (depth first).
    std::vector<TNode *> nodes;
    if (flags & MUIV_Listtree_GetEntry_Flags_SameLevel) nodes = ListOf(d, node);
    else Walk(d, node, visibleOnly, nodes);
    if (visibleOnly)
      nodes.erase(std::remove_if(nodes.begin(), nodes.end(), [](TNode *n) { return !Visible(n); }), nodes.end());
    return pos < static_cast<SIPTR>(nodes.size()) ? reinterpret_cast<IPTR>(Pub(nodes[static_cast<size_t>(pos)])) : 0;
  }
  }
}

IPTR DoGetNr(TreeData *d, APTR nodeArg, IPTR flags) {
  TNode *n = reinterpret_cast<SIPTR>(nodeArg) == MUIV_Listtree_GetNr_TreeNode_Active ? d->active : Node(d, nodeArg);
  if (flags & MUIV_Listtree_GetNr_Flags_ListEmpty) return (n ? n->children.empty() : d->root->empty()) ? TRUE : FALSE;
  if (flags & MUIV_Listtree_GetNr_Flags_CountList) return ListOf(d, n).size();
  if (flags & MUIV_Listtree_GetNr_Flags_CountLevel) return n ? Siblings(d, n).size() : d->root->size();
  std::vector<TNode *> all;
  Walk(d, nullptr, false, all);
  if (flags & MUIV_Listtree_GetNr_Flags_CountAll) return all.size();
  LONG at = n ? IndexIn(all, n) : -1;
  return static_cast<IPTR>(static_cast<SIPTR>(at));
}

IPTR DoFindName(TreeData *d, APTR listArg, const char *name, IPTR flags) {
  TNode *list;
  if (!name || !ResolveList(d, listArg, nullptr, list)) return 0;
  std::vector<TNode *> nodes;
  if (flags & MUIV_Listtree_FindName_Flags_SameLevel) nodes = ListOf(d, list);
  else Walk(d, list, false, nodes);
  for (TNode *n : nodes)
    if (n->name == name && (!(flags & MUIV_Listtree_FindName_Flags_Visible) || Visible(n))) return reinterpret_cast<IPTR>(Pub(n));
  return 0;
}

IPTR DoRename(Object *obj, TreeData *d, APTR nodeArg, const char *newName, IPTR flags) {
  TNode *n = reinterpret_cast<SIPTR>(nodeArg) == MUIV_Listtree_Rename_TreeNode_Active ? d->active : Node(d, nodeArg);
  if (!n) return 0;
  if (flags & MUIV_Listtree_Rename_Flags_User) {
    // The new "name" is new user data: made by the construct hook, the old
    // data freed by the destruct hook.
    APTR user = Construct(d, const_cast<char *>(newName));
    if (newName && !user && d->construct) return 0;
    Destruct(d, n->pub.tn_User);
    n->pub.tn_User = user;
  } else {
    n->name = newName ? newName : "";
    n->pub.tn_Name = n->name.data();
  }
  if (!(flags & MUIV_Listtree_Rename_Flags_NoRefresh)) Changed(obj, d, false);
  return reinterpret_cast<IPTR>(Pub(n));
}

void SetOpen(TreeData *d, TNode *n, bool open) {
  if (!(n->pub.tn_Flags & TNF_LIST) || ((n->pub.tn_Flags & TNF_OPEN) != 0) == open) return;
  if (open) n->pub.tn_Flags |= TNF_OPEN;
  else n->pub.tn_Flags &= static_cast<UWORD>(~TNF_OPEN);
  struct Hook *h = open ? d->openHook : d->closeHook;
  if (h) CallHookPkt(h, d->self, &n->pub);
}

IPTR DoOpenClose(Object *obj, TreeData *d, APTR listArg, APTR nodeArg, bool open) {
  if (reinterpret_cast<SIPTR>(nodeArg) == MUIV_Listtree_Open_TreeNode_All) {
    TNode *list;
    if (!ResolveList(d, listArg, nullptr, list)) return 0;
    std::vector<TNode *> nodes;
    Walk(d, list, false, nodes);
    for (TNode *n : nodes) SetOpen(d, n, open);
  } else {
    TNode *list = nullptr;
    SIPTR lv = reinterpret_cast<SIPTR>(listArg);
    TNode *n = nullptr;
    if (lv == MUIV_Listtree_ListNode_Parent) n = ResolveNode(d, nullptr, nodeArg);
    else if (ResolveList(d, listArg, nullptr, list)) n = ResolveNode(d, list, nodeArg);
    if (!n) return 0;
    SetOpen(d, n, open);
    // Opening a node shows it: its parents open too.
    if (open)
      for (TNode *p = n->parent; p; p = p->parent) SetOpen(d, p, true);
  }
  Changed(obj, d);
  return TRUE;
}

IPTR DoMove(Object *obj, TreeData *d, APTR oldList, APTR oldNode, APTR newList, APTR newNode) {
  TNode *from, *to;
  if (!ResolveList(d, oldList, nullptr, from)) return 0;
  TNode *n = ResolveNode(d, from, oldNode);
  if (!n || !ResolveList(d, newList, nullptr, to)) return 0;
  if (to && !(to->pub.tn_Flags & TNF_LIST)) return 0;
  if (to && Contains(n, to)) return 0; // not into itself
  TNode *after = nullptr;
  SIPTR nv = reinterpret_cast<SIPTR>(newNode);
  if (nv != MUIV_Listtree_Move_NewTreeNode_Head && nv != MUIV_Listtree_Move_NewTreeNode_Tail &&
      nv != MUIV_Listtree_Move_NewTreeNode_Sorted) {
    after = nv == MUIV_Listtree_Move_NewTreeNode_Active ? d->active : Node(d, newNode);
    if (after == n) return TRUE; // after itself: it stays
    if (!after || after->parent != to) return 0;
  }
  Detach(d, n);
  n->parent = to;
  std::vector<TNode *> &l = ListOf(d, to);
  size_t at;
  if (nv == MUIV_Listtree_Move_NewTreeNode_Head) at = 0;
  else if (nv == MUIV_Listtree_Move_NewTreeNode_Tail) at = l.size();
  else if (nv == MUIV_Listtree_Move_NewTreeNode_Sorted) at = InsertIndex(d, to, newNode, n, false);
  else at = static_cast<size_t>(IndexIn(l, after) + 1);
  l.insert(l.begin() + static_cast<long>(at), n);
  Changed(obj, d);
  return TRUE;
}

IPTR DoExchange(Object *obj, TreeData *d, APTR list1, APTR node1, APTR list2, APTR node2) {
  TNode *l1, *l2;
  if (!ResolveList(d, list1, nullptr, l1)) return 0;
  TNode *a = ResolveNode(d, l1, node1);
  if (!a) return 0;
  TNode *b;
  SIPTR v2 = reinterpret_cast<SIPTR>(node2);
  if (v2 == MUIV_Listtree_Exchange_TreeNode2_Up || v2 == MUIV_Listtree_Exchange_TreeNode2_Down) {
    std::vector<TNode *> &s = Siblings(d, a);
    LONG at = IndexIn(s, a) + (v2 == MUIV_Listtree_Exchange_TreeNode2_Up ? -1 : 1);
    b = (at >= 0 && at < static_cast<LONG>(s.size())) ? s[static_cast<size_t>(at)] : nullptr;
  } else {
    if (!ResolveList(d, list2, nullptr, l2)) return 0;
    b = ResolveNode(d, l2, node2);
  }
  if (!b || a == b || Contains(a, b) || Contains(b, a)) return 0;
  std::vector<TNode *> &sa = Siblings(d, a), &sb = Siblings(d, b);
  LONG ia = IndexIn(sa, a), ib = IndexIn(sb, b);
  sa[static_cast<size_t>(ia)] = b;
  sb[static_cast<size_t>(ib)] = a;
  std::swap(a->parent, b->parent);
  Changed(obj, d);
  return TRUE;
}

// The active node and quiet mode are set through the dispatcher; the
// format is parsed; the table keeps the rest. The list's names of the
// shared attributes work too.
// clang-format off
constexpr AttrField<TreeData> kTreeAttrs[] = {
    {MUIA_Listtree_ConstructHook, &TreeData::construct, kSet}, {MUIA_Listtree_DestructHook, &TreeData::destruct, kSet},
    {MUIA_Listtree_DisplayHook, &TreeData::display, kSet}, {MUIA_Listtree_OpenHook, &TreeData::openHook, kSet},
    {MUIA_Listtree_CloseHook, &TreeData::closeHook, kSet}, {MUIA_Listtree_SortHook, &TreeData::sortHook, kSet},
    {MUIA_Listtree_Title, &TreeData::title, kSet}, {MUIA_List_Title, &TreeData::title, kSet},
    {MUIA_Listtree_EmptyNodes, &TreeData::emptyNodes, kSet},
    {MUIA_Listtree_DuplicateNodeName, &TreeData::duplicateNames, kSet},
    {MUIA_Listtree_DoubleClick, &TreeData::doubleClick, kSet},
    {MUIA_Listtree_DragDropSort, &TreeData::dragDropSort, kSet | kGet},
    {MUIA_List_DragType, &TreeData::dragType, kSet | kGet},
    {MUIA_List_ShowDropMarks, &TreeData::showDropMarks, kSet | kGet},
    {MUIA_Listtree_Quiet, &TreeData::quiet, kGet}, {MUIA_Listtree_Format, &TreeData::format, kGet},
    {MUIA_List_Format, &TreeData::format, kGet},
};
// clang-format on

// OM_NEW and OM_SET alike.
void SetFromTags(TreeData *d, struct TagItem *tags) {
  EachTag(tags, [d](const TagItem &t) {
    if (t.ti_Tag == MUIA_Listtree_Format || t.ti_Tag == MUIA_List_Format)
      SetListFormat(d->format, *d->columns, reinterpret_cast<CONST_STRPTR>(t.ti_Data));
    else
      StoreAttr(d, kTreeAttrs, t);
  });
}

IPTR ListtreeDispatcher(struct IClass *cl, Object *obj, Msg msg) {
  switch (msg->MethodID) {
  case OM_NEW: {
    auto made = SuperNew<TreeData>(cl, obj, msg);
    if (!made) return 0;
    TreeData *d = made.data;
    d->root = new std::vector<TNode *>;
    d->columns = new std::vector<ListColumn>(ParseListFormat(nullptr));
    d->visible = 8;
    d->self = made.obj;
    d->duplicateNames = true;
    SetFromTags(d, AttrTags(msg));
    return made.result();
  }
  case OM_DISPOSE: {
    TreeData *d = InstOf<TreeData>(cl, obj);
    d->active = nullptr;
    for (TNode *n : *d->root) FreeNode(d, n);
    delete d->root;
    d->root = nullptr;
    delete d->columns;
    d->columns = nullptr;
    SetText(d->format, nullptr);
    return DoSuperMethodA(cl, obj, msg);
  }
  case OM_SET: {
    TreeData *d = InstOf<TreeData>(cl, obj);
    std::vector<TagChange> changes;
    bool changed = false;
    SetFromTags(d, AttrTags(msg));
    EachTag(AttrTags(msg), [&](const TagItem &t) {
      if (t.ti_Tag == MUIA_Listtree_Active) {
        // Only nodes of this tree (or none) can be active.
        d->active = Node(d, reinterpret_cast<APTR>(t.ti_Data));
        changes.push_back({MUIA_Listtree_Active, reinterpret_cast<IPTR>(Pub(d->active))});
      } else if (t.ti_Tag == MUIA_Listtree_Quiet) {
        changed |= SetListQuiet(d->quiet, d->dirty, t.ti_Data);
      }
    });
    IPTR r = SuperSet(cl, obj, msg, changes);
    if (changed) Changed(obj, d);
    return r;
  }
  case OM_GET: {
    TreeData *d = InstOf<TreeData>(cl, obj);
    auto *g = reinterpret_cast<opGet *>(msg);
    switch (g->opg_AttrID) {
    case MUIA_Listtree_Active: *g->opg_Storage = reinterpret_cast<IPTR>(Pub(d->active)); return TRUE;
    case MUIA_List_Active: {
      std::vector<TNode *> vis;
      Walk(d, nullptr, true, vis);
      LONG at = d->active ? IndexIn(vis, d->active) : -1;
      *g->opg_Storage = static_cast<IPTR>(static_cast<SIPTR>(at));
      return TRUE;
    }
    default: return GetOrSuper(cl, obj, msg, kTreeAttrs);
    }
  }
  case MUIM_Listtree_Insert: return DoInsert(obj, static_cast<TreeData *>(INST_DATA(cl, obj)), reinterpret_cast<MUIP_Listtree_Insert *>(msg));
  case MUIM_Listtree_Remove: {
    auto *m = reinterpret_cast<APTR *>(reinterpret_cast<IPTR *>(msg) + 1);
    return DoRemove(obj, static_cast<TreeData *>(INST_DATA(cl, obj)), m[0], m[1]);
  }
  case MUIM_Listtree_GetEntry: {
    auto *m = reinterpret_cast<MUIP_Listtree_GetEntry *>(msg);
    return DoGetEntry(static_cast<TreeData *>(INST_DATA(cl, obj)), m->Node, m->Position, m->Flags);
  }
  case MUIM_Listtree_GetNr: {
    auto *m = reinterpret_cast<IPTR *>(msg);
    return DoGetNr(static_cast<TreeData *>(INST_DATA(cl, obj)), reinterpret_cast<APTR>(m[1]), m[2]);
  }
  case MUIM_Listtree_FindName: {
    auto *m = reinterpret_cast<IPTR *>(msg);
    return DoFindName(static_cast<TreeData *>(INST_DATA(cl, obj)), reinterpret_cast<APTR>(m[1]), reinterpret_cast<const char *>(m[2]), m[3]);
  }
  case MUIM_Listtree_Rename: {
    auto *m = reinterpret_cast<IPTR *>(msg);
    return DoRename(obj, static_cast<TreeData *>(INST_DATA(cl, obj)), reinterpret_cast<APTR>(m[1]), reinterpret_cast<const char *>(m[2]), m[3]);
  }
  case MUIM_Listtree_Open:
  case MUIM_Listtree_Close: {
    auto *m = reinterpret_cast<IPTR *>(msg);
    return DoOpenClose(obj, static_cast<TreeData *>(INST_DATA(cl, obj)), reinterpret_cast<APTR>(m[1]), reinterpret_cast<APTR>(m[2]),
                       msg->MethodID == MUIM_Listtree_Open);
  }
  case MUIM_Listtree_Move: {
    auto *m = reinterpret_cast<APTR *>(reinterpret_cast<IPTR *>(msg) + 1);
    return DoMove(obj, static_cast<TreeData *>(INST_DATA(cl, obj)), m[0], m[1], m[2], m[3]);
  }
  case MUIM_Listtree_Exchange: {
    auto *m = reinterpret_cast<APTR *>(reinterpret_cast<IPTR *>(msg) + 1);
    return DoExchange(obj, static_cast<TreeData *>(INST_DATA(cl, obj)), m[0], m[1], m[2], m[3]);
  }
  case MUIM_Listtree_Sort: {
    TreeData *d = static_cast<TreeData *>(INST_DATA(cl, obj));
    TNode *list;
    if (!ResolveList(d, reinterpret_cast<APTR>(reinterpret_cast<IPTR *>(msg)[1]), nullptr, list)) return 0;
    std::vector<TNode *> &l = ListOf(d, list);
    std::stable_sort(l.begin(), l.end(), [d](TNode *a, TNode *b) { return CompareNodes(d, a, b) < 0; });
    Changed(obj, d);
    return TRUE;
  }
  case MUIM_AskMinMax: return AskContentSize(cl, obj, msg, kListContentSize);
  default: return DoSuperMethodA(cl, obj, msg);
  }
}

} // namespace

struct IClass *ListtreeClass() { return gListtree; }
struct IClass *MakeListtreeClass() { return gListtree = MakeWidgetClass(MUIC_Listtree, MUIC_Area, sizeof(TreeData), ListtreeDispatcher); }

std::vector<std::vector<std::string>> ListtreeRowsOf(Object *obj, bool *hasTitle) {
  TreeData *d = Tree(obj);
  std::vector<std::vector<std::string>> rows;
  size_t columns = HookColumns(*d->columns);
  if (d->title) {
    if (hasTitle) *hasTitle = true;
    rows.push_back(HookRow(d->display, columns, nullptr, -1, nullptr));
  }
  std::vector<TNode *> vis;
  Walk(d, nullptr, true, vis);
  LONG i = 0;
  for (TNode *n : vis) rows.push_back(HookRow(d->display, columns, Pub(n), i++, n->pub.tn_Name));
  return rows;
}

bool IsTree(Object *obj) {
  if (!obj || !gListtree) return false;
  for (struct IClass *c = OCLASS(obj); c; c = c->cl_Super)
    if (c == gListtree) return true;
  return false;
}

namespace {

std::vector<TNode *> VisibleRows(TreeData *d) {
  std::vector<TNode *> vis;
  Walk(d, nullptr, true, vis);
  return vis;
}

LONG Level(TNode *n) {
  LONG level = 1;
  for (TNode *p = n->parent; p; p = p->parent) ++level;
  return level;
}

// The visible node of a row the person saw, or null when the rows moved.
TNode *RowNode(TreeData *d, LONG row, uint32_t revision, std::vector<TNode *> &vis) {
  if (revision != d->revision) return nullptr;
  vis = VisibleRows(d);
  return row >= 0 && row < static_cast<LONG>(vis.size()) ? vis[static_cast<size_t>(row)] : nullptr;
}

} // namespace

bool TreeStateOf(Object *obj, ListState &out) {
  if (!IsTree(obj)) return false;
  TreeData *d = Tree(obj);
  out = ListState{};
  out.tree = true;
  for (const ListColumn &c : *d->columns)
    if (!c.hidden) out.columns.push_back(c);
  out.title = d->title != 0;
  if (out.title) out.titles = ShownColumns(*d->columns, HookRow(d->display, HookColumns(*d->columns), nullptr, -1, nullptr));
  std::vector<TNode *> vis = VisibleRows(d);
  out.entries = static_cast<LONG>(vis.size());
  out.active = d->active ? IndexIn(vis, d->active) : -1;
  out.first = std::min(d->first, std::max<LONG>(out.entries - 1, 0));
  out.visible = d->visible;
  out.revision = d->revision;
  out.version = d->version;
  out.quiet = d->quiet;
  out.dragSort = d->dragDropSort;
  out.dropMarks = d->dragDropSort || d->showDropMarks;
  return true;
}

std::vector<ListRowView> TreeRangeOf(Object *obj, LONG first, LONG count) {
  std::vector<ListRowView> rows;
  if (!IsTree(obj) || first < 0 || count <= 0) return rows;
  TreeData *d = Tree(obj);
  std::vector<TNode *> vis = VisibleRows(d);
  size_t slots = HookColumns(*d->columns);
  LONG end = std::min<LONG>(static_cast<LONG>(vis.size()), first + std::min<LONG>(count, 100000));
  for (LONG i = first; i < end; ++i) {
    TNode *n = vis[static_cast<size_t>(i)];
    ListRowView r;
    r.cells = ShownColumns(*d->columns, HookRow(d->display, slots, Pub(n), i, n->pub.tn_Name));
    r.level = Level(n);
    r.group = n->pub.tn_Flags & TNF_LIST;
    r.open = n->pub.tn_Flags & TNF_OPEN;
    r.node = Pub(n);
    rows.push_back(std::move(r));
  }
  return rows;
}

void TreeShownOf(Object *obj, LONG first, LONG visible) {
  if (!IsTree(obj)) return;
  TreeData *d = Tree(obj);
  d->first = std::max<LONG>(first, 0);
  d->visible = std::clamp<LONG>(visible, 1, 10000);
}

bool TreeActivateOf(Object *obj, LONG row, uint32_t revision, bool doubleClick) {
  if (!IsTree(obj)) return false;
  TreeData *d = Tree(obj);
  std::vector<TNode *> vis;
  TNode *n = row == -1 && revision == d->revision ? nullptr : RowNode(d, row, revision, vis);
  if (!n && row != -1) return false;
  SetAttrs(obj, MUIA_Listtree_Active, Pub(n));
  if (doubleClick && n) TriggerNotify(obj, MUIA_Listtree_DoubleClick, 0);
  return true;
}

bool TreeToggleOf(Object *obj, LONG row, uint32_t revision) {
  if (!IsTree(obj)) return false;
  TreeData *d = Tree(obj);
  std::vector<TNode *> vis;
  TNode *n = RowNode(d, row, revision, vis);
  if (!n || !(n->pub.tn_Flags & TNF_LIST)) return false;
  DoMethod(obj, (n->pub.tn_Flags & TNF_OPEN) ? MUIM_Listtree_Close : MUIM_Listtree_Open, MUIV_Listtree_ListNode_Parent, Pub(n), 0);
  return true;
}

bool TreeKeyOf(Object *obj, ListKey key) {
  if (!IsTree(obj)) return false;
  TreeData *d = Tree(obj);
  std::vector<TNode *> vis = VisibleRows(d);
  LONG n = static_cast<LONG>(vis.size());
  if (!n) return false;
  LONG a = d->active ? IndexIn(vis, d->active) : -1, page = std::max<LONG>(d->visible - 1, 1), want;
  TNode *cur = a >= 0 ? vis[static_cast<size_t>(a)] : nullptr;
  if (KeyTargetRow(key, a, n, page, want)) {
    SetAttrs(obj, MUIA_Listtree_Active, Pub(vis[static_cast<size_t>(std::clamp<LONG>(want, 0, n - 1))]));
    return true;
  }
  switch (key) {
  case ListKey::Enter:
    if (!cur) return false;
    TriggerNotify(obj, MUIA_Listtree_DoubleClick, 0);
    return true;
  case ListKey::Expand:
    if (!cur || !(cur->pub.tn_Flags & TNF_LIST)) return false;
    if (!(cur->pub.tn_Flags & TNF_OPEN)) DoMethod(obj, MUIM_Listtree_Open, MUIV_Listtree_ListNode_Parent, Pub(cur), 0);
    return true;
  case ListKey::Collapse:
    if (!cur) return false;
    if ((cur->pub.tn_Flags & TNF_LIST) && (cur->pub.tn_Flags & TNF_OPEN))
      DoMethod(obj, MUIM_Listtree_Close, MUIV_Listtree_ListNode_Parent, Pub(cur), 0);
    else if (cur->parent)
      SetAttrs(obj, MUIA_Listtree_Active, Pub(cur->parent));
    return true;
  default: return false;
  }
}

bool TreeDropOf(Object *obj, LONG from, LONG onto, DropPlace place, uint32_t revision) {
  if (!IsTree(obj)) return false;
  TreeData *d = Tree(obj);
  if (!d->dragDropSort) return false;
  std::vector<TNode *> vis;
  TNode *n = RowNode(d, from, revision, vis);
  TNode *target = n && onto >= 0 && onto < static_cast<LONG>(vis.size()) ? vis[static_cast<size_t>(onto)] : nullptr;
  if (!n || !target || Contains(n, target)) return false; // not onto itself or into its own groups
  if (place == DropPlace::Into && !(target->pub.tn_Flags & TNF_LIST)) place = DropPlace::After;
  IPTR ok;
  if (place == DropPlace::Into) {
    ok = DoMethod(obj, MUIM_Listtree_Move, Pub(n->parent), Pub(n), Pub(target), MUIV_Listtree_Move_NewTreeNode_Tail);
    if (ok) DoMethod(obj, MUIM_Listtree_Open, MUIV_Listtree_ListNode_Parent, Pub(target), 0); // where it landed is seen
  } else if (place == DropPlace::After) {
    ok = DoMethod(obj, MUIM_Listtree_Move, Pub(n->parent), Pub(n), Pub(target->parent), Pub(target));
  } else {
    std::vector<TNode *> &l = Siblings(d, target);
    LONG at = IndexIn(l, target);
    APTR prev = at > 0 ? Pub(l[static_cast<size_t>(at - 1)]) : reinterpret_cast<APTR>(static_cast<SIPTR>(MUIV_Listtree_Move_NewTreeNode_Head));
    ok = DoMethod(obj, MUIM_Listtree_Move, Pub(n->parent), Pub(n), Pub(target->parent), prev);
  }
  if (!ok) return false;
  SetAttrs(obj, MUIA_Listtree_Active, Pub(n));
  return true;
}

} // namespace platform::widgets
