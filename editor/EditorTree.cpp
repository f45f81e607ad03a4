// The operations of the station tree: full names, new groups and stations,
// clones, moving up and down (also into and out of groups) and removal.
// New groups get their icon drawer at once; removed stations send their
// icons to the trash drawer at once.
#include <cstring>
#include <string>

#include "dos/system.h"
#include "editor/Editor.h"

namespace {

TreeNode *Entry(Object *tree, APTR node, SIPTR position) {
  return reinterpret_cast<TreeNode *>(DoMethod(tree, MUIM_Listtree_GetEntry, node, position, 0));
}
TreeNode *Active(Object *tree) {
  return Entry(tree, nullptr, MUIV_Listtree_GetEntry_Position_Active);
}
TreeNode *Parent(Object *tree, TreeNode *n) { return Entry(tree, n, MUIV_Listtree_GetEntry_Position_Parent); }
TreeNode *Previous(Object *tree, TreeNode *n) { return Entry(tree, n, MUIV_Listtree_GetEntry_Position_Previous); }
TreeNode *Next(Object *tree, TreeNode *n) { return Entry(tree, n, MUIV_Listtree_GetEntry_Position_Next); }
bool IsGroup(const TreeNode *n) { return n && (n->tn_Flags & TNF_LIST); }
bool IsOpenGroup(const TreeNode *n) { return IsGroup(n) && (n->tn_Flags & TNF_OPEN); }
StationNode *Payload(const TreeNode *n) { return n ? static_cast<StationNode *>(n->tn_User) : nullptr; }

void Quiet(Object *tree, BOOL on) { SetAttrs(tree, MUIA_Listtree_Quiet, on, TAG_DONE); }

TreeNode *Insert(Object *tree, CONST_STRPTR name, StationNode *payload, TreeNode *list, APTR prev, IPTR flags) {
  return reinterpret_cast<TreeNode *>(DoMethod(tree, MUIM_Listtree_Insert, name, payload, list, prev, flags));
}

void Move(Object *tree, TreeNode *from, TreeNode *node, TreeNode *to, APTR after) {
  DoMethod(tree, MUIM_Listtree_Move, from, node, to, after);
}

// The list widget cannot move a node into an empty group: a stand-in child
// gives it a place, and goes again right after the move.
void MoveIntoGroup(Object *tree, TreeNode *from, TreeNode *cur, TreeNode *group, bool atHead) {
  TreeNode *dummy = nullptr;
  if (DoMethod(tree, MUIM_Listtree_GetNr, group, MUIV_Listtree_GetNr_Flags_ListEmpty))
    dummy = Insert(tree, "Dummy", Payload(cur), group, reinterpret_cast<APTR>(MUIV_Listtree_Insert_PrevNode_Tail), 0);
  Move(tree, from, cur, group,
       reinterpret_cast<APTR>(atHead ? MUIV_Listtree_Move_NewTreeNode_Head : MUIV_Listtree_Move_NewTreeNode_Tail));
  if (dummy) DoMethod(tree, MUIM_Listtree_Remove, group, dummy, 0);
}

void MoveDone(Object *tree, TreeNode *cur) {
  SetAttrs(tree, MUIA_Listtree_Active, cur, TAG_DONE);
  Quiet(tree, FALSE);
  EditorApplyEnabled(TRUE);
}

// Icons that belong to every station: the placeholders are never trashed.
bool IsTemplateIcon(const std::string &icon) { return icon == STATION_EMPTY_ICON || icon == STATION_EMPTY_GROUP; }

void TrashIcon(const StationNode *payload) {
  if (!payload || !payload->name || !*payload->name || !payload->icon) return;
  std::string icon = payload->icon;
  if (!IconNameIsSafe(icon) || IsTemplateIcon(icon)) return;
  RunIconCommand("Rename " + IconArg(icon) + " TO " + IconArg(".trash/"));
}

} // namespace

// ---- full names -----------------------------------------------------------------------------------

STRPTR Melodune_LtCreateFullName(TreeNode *node) {
  Object *tree = g.editTree.load();
  if (!node && tree) node = Active(tree);
  if (!node) return nullptr;
  ULONG length = static_cast<ULONG>(std::strlen(node->tn_Name ? node->tn_Name : ""));
  for (TreeNode *p = tree ? Parent(tree, node) : nullptr; p; p = Parent(tree, p))
    length += static_cast<ULONG>(std::strlen(p->tn_Name ? p->tn_Name : "")) + 1;
  auto *full = static_cast<STRPTR>(AllocVec(length + 1, MEMF_ANY));
  if (!full) {
    DTRACE("Melodune_LtCreateFullName", "Failed to allocate %ld bytes for the station name!\n",
           static_cast<LONG>(length + 1));
    return nullptr;
  }
  // Written from the end: the node's name, then each ancestor and a "/" in front.
  ULONG at = length;
  full[at] = '\0';
  auto put = [&](const char *name) {
    size_t n = std::strlen(name ? name : "");
    at -= static_cast<ULONG>(n);
    std::memcpy(full + at, name ? name : "", n);
  };
  put(node->tn_Name);
  for (TreeNode *p = tree ? Parent(tree, node) : nullptr; p; p = Parent(tree, p)) {
    full[--at] = '/';
    put(p->tn_Name);
  }
  return full;
}

// ---- where new nodes go --------------------------------------------------------------------------

InsertPlace EditorInsertPlace(Object *tree) {
  InsertPlace place{nullptr, reinterpret_cast<APTR>(MUIV_Listtree_Insert_PrevNode_Head)};
  TreeNode *active = tree ? Active(tree) : nullptr;
  if (!active) return place;
  if (IsOpenGroup(active)) {
    place.list = active;
    return place;
  }
  place.list = Parent(tree, active);
  place.prev = active;
  return place;
}

// ---- the operations ------------------------------------------------------------------------------

MELODUNE_HANDLER(Melodune_NewGroup) {
  (void)cl, (void)obj, (void)msg;
  Object *tree = g.editTree.load();
  if (!tree) return 0;
  Quiet(tree, TRUE);
  InsertPlace place = EditorInsertPlace(tree);
  StationNode empty{nullptr, nullptr, nullptr};
  TreeNode *group = Insert(tree, "NewGroup", &empty, place.list, place.prev,
                           TNF_LIST | TNF_OPEN | MUIV_Listtree_Insert_Flags_Active);
  if (group) {
    if (STRPTR full = Melodune_LtCreateFullName(group)) {
      // The group knows its drawer icon, so that Save can move the drawer
      // after the group has been renamed or moved.
      std::string info = std::string(full) + ".info";
      StationNode payload{nullptr, info.data(), nullptr};
      DoMethod(tree, MUIM_Listtree_Rename, group, &payload, MUIV_Listtree_Rename_Flags_User);
      if (IconNameIsSafe(full)) {
        RunIconCommand("MakeDir " + IconArg(full));
        RunIconCommand("Copy " + IconArg(STATION_EMPTY_GROUP) + " " + IconArg(info));
      }
      FreeVec(full);
    }
  }
  Quiet(tree, FALSE);
  EditorApplyEnabled(TRUE);
  return 0;
}

MELODUNE_HANDLER(Melodune_AddStation) {
  (void)cl, (void)obj;
  auto *m = reinterpret_cast<MP_Melodune_AddStation *>(msg);
  Object *tree = g.editTree.load();
  if (!tree) return 0;
  StationNode payload{nullptr, nullptr, nullptr};
  if (m->name) {
    payload.name = const_cast<STRPTR>(m->name);
    payload.icon = const_cast<STRPTR>(m->icon ? m->icon : ".png");
    payload.stream = const_cast<STRPTR>(m->stream ? m->stream : "https://");
  }
  InsertPlace place = EditorInsertPlace(tree);
  Quiet(tree, TRUE);
  TreeNode *node = Insert(tree, m->name ? m->name : "", &payload, place.list, place.prev,
                          MUIV_Listtree_Insert_Flags_Active);
  Quiet(tree, FALSE);
  EditorApplyEnabled(TRUE);
  return reinterpret_cast<IPTR>(node);
}

MELODUNE_HANDLER(Melodune_CloneStation) {
  (void)cl, (void)obj, (void)msg;
  Object *tree = g.editTree.load();
  TreeNode *cur = tree ? Active(tree) : nullptr;
  StationNode *p = Payload(cur);
  if (!cur || IsGroup(cur) || !p || !p->name) return 0;
  Insert(tree, cur->tn_Name, p, Parent(tree, cur), cur, MUIV_Listtree_Insert_Flags_Active);
  EditorApplyEnabled(TRUE);
  return 0;
}

namespace {

// One step of the active node up or down among its siblings. Next to an
// open group it goes into that group, at the group's near end; at the end
// of its own group it goes out of it, next to the group.
void MoveActive(bool down) {
  Object *tree = g.editTree.load();
  TreeNode *cur = tree ? Active(tree) : nullptr;
  if (!cur) return;
  Quiet(tree, TRUE);
  TreeNode *parent = Parent(tree, cur);
  if (TreeNode *sibling = down ? Next(tree, cur) : Previous(tree, cur)) {
    if (IsOpenGroup(sibling)) MoveIntoGroup(tree, parent, cur, sibling, down);
    else DoMethod(tree, MUIM_Listtree_Exchange, parent, cur, parent, sibling);
  } else if (parent) {
    TreeNode *outer = Parent(tree, parent);
    if (down) {
      Move(tree, parent, cur, outer, parent); // just below the group
    } else {
      // Just above the group.
      TreeNode *before = Previous(tree, parent);
      Move(tree, parent, cur, outer,
           before ? static_cast<APTR>(before) : reinterpret_cast<APTR>(MUIV_Listtree_Move_NewTreeNode_Head));
    }
  }
  MoveDone(tree, cur);
}

} // namespace

MELODUNE_HANDLER(Melodune_MoveUp) {
  (void)cl, (void)obj, (void)msg;
  MoveActive(false);
  return 0;
}

MELODUNE_HANDLER(Melodune_MoveDown) {
  (void)cl, (void)obj, (void)msg;
  MoveActive(true);
  return 0;
}

MELODUNE_HANDLER(Melodune_RemoveNode) {
  (void)cl, (void)obj, (void)msg;
  Object *tree = g.editTree.load();
  TreeNode *node = tree ? Active(tree) : nullptr;
  if (!node) return 0;
  if (IsGroup(node)) {
    // Every station at every depth; the group's own drawer and icon stay.
    for (SIPTR pos = 0;; ++pos) {
      TreeNode *below = Entry(tree, node, pos);
      if (!below) break;
      if (!IsGroup(below)) TrashIcon(Payload(below));
    }
  } else {
    TrashIcon(Payload(node));
  }
  DoMethod(tree, MUIM_Listtree_Remove, Parent(tree, node), node, 0);
  return 0;
}
