// The station list as the editor's tree: node payloads, groups made from
// the name prefixes, and counting.
#include <cstring>
#include <shared_mutex>
#include <string>
#include <vector>

#include "stations/Stations.h"

using TreeNode = MUIS_Listtree_TreeNode;

namespace {

IPTR ConstructStationNode(struct Hook *, APTR, APTR message) {
  auto *node = static_cast<StationNode *>(AllocVec(sizeof(StationNode), MEMF_CLEAR));
  if (!node) return 0;
  if (auto *given = static_cast<const StationNode *>(message)) {
    node->name = StationTextCopy(StationDisplayName(given->name));
    node->icon = StationTextCopy(given->icon);
    node->stream = StationTextCopy(given->stream);
    bool lost = (given->name && !node->name) || (given->icon && !node->icon) || (given->stream && !node->stream);
    if (lost) {
      StationTextFree(node->name);
      StationTextFree(node->icon);
      StationTextFree(node->stream);
      FreeVec(node);
      return 0;
    }
  }
  return reinterpret_cast<IPTR>(node);
}

IPTR DestructStationNode(struct Hook *, APTR, APTR message) {
  if (auto *node = static_cast<StationNode *>(message)) {
    StationTextFree(node->name);
    StationTextFree(node->icon);
    StationTextFree(node->stream);
    FreeVec(node);
  }
  return 0;
}

TreeNode *InsertNode(Object *tree, CONST_STRPTR name, StationNode *payload, TreeNode *parent, IPTR flags) {
  APTR list = parent ? static_cast<APTR>(parent) : reinterpret_cast<APTR>(MUIV_Listtree_Insert_ListNode_Root);
  return reinterpret_cast<TreeNode *>(DoMethod(tree, MUIM_Listtree_Insert, name, payload, list,
                                               MUIV_Listtree_Insert_PrevNode_Tail, flags));
}

} // namespace

struct Hook StationConstructHook = {{nullptr, nullptr}, ConstructStationNode, nullptr, nullptr};
struct Hook StationDestructHook = {{nullptr, nullptr}, DestructStationNode, nullptr, nullptr};

TreeNode *NextInTreeOrder(Object *tree, TreeNode *node) {
  if (!tree) return nullptr;
  auto entry = [tree](APTR n, SIPTR pos, IPTR flags) {
    return reinterpret_cast<TreeNode *>(DoMethod(tree, MUIM_Listtree_GetEntry, n, pos, flags));
  };
  if (!node) return entry(nullptr, MUIV_Listtree_GetEntry_Position_Head, MUIV_Listtree_GetEntry_Flags_SameLevel);
  // Children first (open or not), then the next sibling of the nearest
  // node on the way up that has one. Each step looks at one level only, so
  // a walk over the whole tree stays linear.
  if (node->tn_Flags & TNF_LIST)
    if (TreeNode *child = entry(node, MUIV_Listtree_GetEntry_Position_Head, MUIV_Listtree_GetEntry_Flags_SameLevel))
      return child;
  for (TreeNode *n = node; n; n = entry(n, MUIV_Listtree_GetEntry_Position_Parent, 0))
    if (TreeNode *next = entry(n, MUIV_Listtree_GetEntry_Position_Next, 0)) return next;
  return nullptr;
}

LONG CountStations(Object *tree) {
  LONG n = 0;
  for (TreeNode *node = NextInTreeOrder(tree, nullptr); node; node = NextInTreeOrder(tree, node))
    if (!(node->tn_Flags & TNF_LIST)) ++n;
  return n;
}

TreeNode *LtFindOrCreateGroups(Object *tree, TreeNode *parent, CONST_STRPTR fullName) {
  if (!tree || !fullName) return parent;
  std::string name(fullName);
  size_t start = 0;
  for (size_t slash; (slash = name.find('/', start)) != std::string::npos; start = slash + 1) {
    std::string component = name.substr(start, slash - start);
    APTR list = parent ? static_cast<APTR>(parent) : reinterpret_cast<APTR>(MUIV_Listtree_FindName_ListNode_Root);
    auto *found = reinterpret_cast<TreeNode *>(DoMethod(tree, MUIM_Listtree_FindName, list, component.c_str(),
                                                        MUIV_Listtree_FindName_Flags_SameLevel));
    if (found) {
      // A station of that name is passed over: its component names no group.
      if (found->tn_Flags & TNF_LIST) parent = found;
      continue;
    }
    std::string icon = name.substr(0, slash) + ".info";
    StationNode payload{nullptr, icon.data(), nullptr};
    if (TreeNode *group = InsertNode(tree, component.c_str(), &payload, parent, TNF_LIST)) parent = group;
  }
  return parent;
}

void FillStationTree(Object *tree) {
  if (!tree) return;
  // Copied under the lock; inserting runs the tree's hooks and notifications.
  std::vector<StationEntry> entries;
  LONG walked = 0;
  {
    std::shared_lock lock(g.stationsLock);
    if (StationEntry *array = g.stations.load())
      for (StationEntry *e = array; e->name; ++e, ++walked)
        if (e->icon && e->stream) entries.push_back(*e);
    // The texts stay valid: only this task replaces the list.
  }
  SetAttrs(tree, MUIA_Listtree_Quiet, TRUE, TAG_DONE);
  for (const StationEntry &e : entries) {
    TreeNode *parent = LtFindOrCreateGroups(tree, nullptr, e.name);
    StationNode payload{e.name, e.icon, e.stream};
    InsertNode(tree, StationDisplayName(e.name), &payload, parent, 0);
  }
  if (Object *status = g.editStatus.load())
    DoMethod(status, MUIM_SetAsString, MUIA_Text_Contents, "Loaded %ld stations!", walked);
  SetAttrs(tree, MUIA_Listtree_Active, MUIV_Listtree_Active_Off, TAG_DONE);
  SetAttrs(tree, MUIA_Listtree_Quiet, FALSE, TAG_DONE);
}
