// Listtree.mcc: insertion places, lookups, renames through the hooks,
// removal, moves and exchanges.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "mui/mui.h"
#include "mui/render.h"

namespace {

using Node = MUIS_Listtree_TreeNode;

struct Payload {
  std::string text;
};

int gConstructed = 0, gDestructed = 0;

IPTR ConstructFn(struct Hook *, APTR, APTR user) {
  if (!user) return 0;
  ++gConstructed;
  return reinterpret_cast<IPTR>(new Payload{static_cast<const char *>(user)});
}
IPTR DestructFn(struct Hook *, APTR, APTR user) {
  ++gDestructed;
  delete static_cast<Payload *>(user);
  return 0;
}
IPTR DisplayFn(struct Hook *, APTR array, APTR node) {
  auto **cols = static_cast<STRPTR *>(array);
  auto *n = static_cast<Node *>(node);
  if (!n) {
    cols[0] = const_cast<STRPTR>("Name");
    cols[1] = const_cast<STRPTR>("Data");
    return 0;
  }
  cols[0] = n->tn_Name;
  cols[1] = n->tn_User ? const_cast<STRPTR>(static_cast<Payload *>(n->tn_User)->text.c_str()) : const_cast<STRPTR>("");
  return 0;
}

class ListtreeTest : public ::testing::Test {
protected:
  void SetUp() override {
    gConstructed = gDestructed = 0;
    construct.h_Entry = ConstructFn;
    destruct.h_Entry = DestructFn;
    display.h_Entry = DisplayFn;
    tree = MUI_NewObject(MUIC_Listtree, MUIA_Listtree_ConstructHook, &construct, MUIA_Listtree_DestructHook, &destruct,
                         MUIA_Listtree_DisplayHook, &display, MUIA_Listtree_Format, "BAR,", MUIA_Listtree_Title, TRUE);
    ASSERT_NE(tree, nullptr);
  }
  void TearDown() override { MUI_DisposeObject(tree); }

  Node *Insert(const char *name, APTR list, APTR prev, ULONG flags = 0, const char *user = "u") {
    return reinterpret_cast<Node *>(DoMethod(tree, MUIM_Listtree_Insert, name, user, list, prev, flags));
  }
  Node *Get(APTR node, SIPTR pos, ULONG flags = 0) {
    return reinterpret_cast<Node *>(DoMethod(tree, MUIM_Listtree_GetEntry, node, pos, flags));
  }
  std::vector<std::string> Level(APTR list) {
    std::vector<std::string> names;
    for (LONG i = 0; Node *n = Get(list, i, MUIV_Listtree_GetEntry_Flags_SameLevel); ++i) names.push_back(n->tn_Name);
    return names;
  }
  Node *Active() {
    IPTR a = 0;
    GetAttr(MUIA_Listtree_Active, tree, &a);
    return reinterpret_cast<Node *>(a);
  }

  struct Hook construct{}, destruct{}, display{};
  Object *tree = nullptr;
  const APTR kRoot = nullptr;
  const APTR kHead = reinterpret_cast<APTR>(MUIV_Listtree_Insert_PrevNode_Head);
  const APTR kTail = reinterpret_cast<APTR>(MUIV_Listtree_Insert_PrevNode_Tail);
};

TEST_F(ListtreeTest, InsertPlacesHeadTailAfterSortedAndActive) {
  Node *b = Insert("B", kRoot, kTail);
  Insert("A", kRoot, kHead);
  Insert("D", kRoot, kTail);
  Insert("C", kRoot, b); // after B
  EXPECT_EQ(Level(kRoot), (std::vector<std::string>{"A", "B", "C", "D"}));
  Insert("Bb", kRoot, reinterpret_cast<APTR>(MUIV_Listtree_Insert_PrevNode_Sorted));
  EXPECT_EQ(Level(kRoot), (std::vector<std::string>{"A", "B", "Bb", "C", "D"}));
  EXPECT_EQ(Active(), nullptr);
  Node *g = Insert("G", kRoot, b, TNF_LIST | TNF_OPEN | MUIV_Listtree_Insert_Flags_Active);
  EXPECT_EQ(Active(), g);
  EXPECT_EQ(g->tn_Flags & (TNF_LIST | TNF_OPEN), TNF_LIST | TNF_OPEN);
  // Into the active list node, after the active node.
  Node *x = Insert("X", reinterpret_cast<APTR>(MUIV_Listtree_Insert_ListNode_Active), kHead);
  EXPECT_EQ(Get(x, MUIV_Listtree_GetEntry_Position_Parent), g);
  EXPECT_EQ(Level(kRoot), (std::vector<std::string>{"A", "B", "G", "Bb", "C", "D"}));
  // A leaf given as list node: the node goes beside it.
  Node *y = Insert("Y", x, kTail);
  EXPECT_EQ(Get(y, MUIV_Listtree_GetEntry_Position_Parent), g);
  EXPECT_EQ(gConstructed, 8);
  // Names are copied.
  char name[] = "Temp";
  Node *t = Insert(name, kRoot, kTail);
  std::strcpy(name, "Gone");
  EXPECT_STREQ(t->tn_Name, "Temp");
}

TEST_F(ListtreeTest, GetEntryPositionsOverLevels) {
  Node *rock = Insert("Rock", kRoot, kTail, TNF_LIST);
  Node *one = Insert("One", rock, kTail);
  Node *classic = Insert("Classic", rock, kTail, TNF_LIST);
  Node *x = Insert("X", classic, kTail);
  Node *two = Insert("Two", kRoot, kTail);
  // n-th node over all levels, closed groups included.
  std::vector<Node *> all;
  for (LONG i = 0; Node *n = Get(kRoot, i); ++i) all.push_back(n);
  EXPECT_EQ(all, (std::vector<Node *>{rock, one, classic, x, two}));
  EXPECT_EQ(Get(rock, 2), x); // below a node
  EXPECT_EQ(Get(rock, 3), nullptr);
  EXPECT_EQ(Get(kRoot, 0, MUIV_Listtree_GetEntry_Flags_Visible), rock);
  EXPECT_EQ(Get(kRoot, 1, MUIV_Listtree_GetEntry_Flags_Visible), two); // Rock is closed
  EXPECT_EQ(Get(rock, MUIV_Listtree_GetEntry_Position_Head), one);
  EXPECT_EQ(Get(rock, MUIV_Listtree_GetEntry_Position_Tail), classic);
  EXPECT_EQ(Get(one, MUIV_Listtree_GetEntry_Position_Next), classic);
  EXPECT_EQ(Get(classic, MUIV_Listtree_GetEntry_Position_Next), nullptr);
  EXPECT_EQ(Get(classic, MUIV_Listtree_GetEntry_Position_Previous), one);
  EXPECT_EQ(Get(one, MUIV_Listtree_GetEntry_Position_Previous), nullptr);
  EXPECT_EQ(Get(x, MUIV_Listtree_GetEntry_Position_Parent), classic);
  EXPECT_EQ(Get(rock, MUIV_Listtree_GetEntry_Position_Parent), nullptr); // top level: no node above
  EXPECT_EQ(Get(kRoot, MUIV_Listtree_GetEntry_Position_Active), nullptr);
  SetAttrs(tree, MUIA_Listtree_Active, two);
  EXPECT_EQ(Get(kRoot, MUIV_Listtree_GetEntry_Position_Active), two);
  EXPECT_EQ(Get(reinterpret_cast<APTR>(MUIV_Listtree_GetEntry_ListNode_Active), MUIV_Listtree_GetEntry_Position_Previous), rock);
  // FindName: one level, or all below.
  auto find = [&](APTR list, const char *name, ULONG flags) {
    return reinterpret_cast<Node *>(DoMethod(tree, MUIM_Listtree_FindName, list, name, flags));
  };
  EXPECT_EQ(find(kRoot, "X", MUIV_Listtree_FindName_Flags_SameLevel), nullptr);
  EXPECT_EQ(find(kRoot, "X", 0), x);
  EXPECT_EQ(find(rock, "Classic", MUIV_Listtree_FindName_Flags_SameLevel), classic);
  EXPECT_EQ(find(rock, "classic", MUIV_Listtree_FindName_Flags_SameLevel), nullptr);
  // GetNr: empty test and counts.
  Node *empty = Insert("Empty", kRoot, kTail, TNF_LIST);
  EXPECT_EQ(DoMethod(tree, MUIM_Listtree_GetNr, empty, MUIV_Listtree_GetNr_Flags_ListEmpty), TRUE);
  EXPECT_EQ(DoMethod(tree, MUIM_Listtree_GetNr, rock, MUIV_Listtree_GetNr_Flags_ListEmpty), FALSE);
  EXPECT_EQ(DoMethod(tree, MUIM_Listtree_GetNr, 0, MUIV_Listtree_GetNr_Flags_CountAll), 6u);
  EXPECT_EQ(DoMethod(tree, MUIM_Listtree_GetNr, rock, MUIV_Listtree_GetNr_Flags_CountList), 2u);
  EXPECT_EQ(DoMethod(tree, MUIM_Listtree_GetNr, x, 0), 3u);
  // A pointer that is no node of this tree is refused.
  Node fake{};
  EXPECT_EQ(Get(&fake, 0), nullptr);
}

TEST_F(ListtreeTest, RenameNameOrPayloadThroughHooks) {
  Node *n = Insert("Old", kRoot, kTail, MUIV_Listtree_Insert_Flags_Active, "payload");
  auto *before = static_cast<Payload *>(n->tn_User);
  EXPECT_EQ(DoMethod(tree, MUIM_Listtree_Rename, MUIV_Listtree_Rename_TreeNode_Active, "New", 0), reinterpret_cast<IPTR>(n));
  EXPECT_STREQ(n->tn_Name, "New");
  EXPECT_EQ(n->tn_User, before);
  DoMethod(tree, MUIM_Listtree_Rename, n, "fresh", MUIV_Listtree_Rename_Flags_User);
  EXPECT_STREQ(n->tn_Name, "New");
  EXPECT_EQ(static_cast<Payload *>(n->tn_User)->text, "fresh");
  EXPECT_EQ(gConstructed, 2);
  EXPECT_EQ(gDestructed, 1);
}

TEST_F(ListtreeTest, RemoveFreesSubtreeAndClearsActive) {
  Node *g = Insert("G", kRoot, kTail, TNF_LIST | TNF_OPEN);
  Insert("a", g, kTail);
  Node *b = Insert("b", g, kTail, MUIV_Listtree_Insert_Flags_Active);
  Insert("c", kRoot, kTail);
  ASSERT_EQ(Active(), b);
  DoMethod(tree, MUIM_Listtree_Remove, MUIV_Listtree_Remove_ListNode_Root, g, 0);
  EXPECT_EQ(gDestructed, 3);
  EXPECT_EQ(Active(), nullptr);
  EXPECT_EQ(Level(kRoot), (std::vector<std::string>{"c"}));
  Insert("d", kRoot, kTail, MUIV_Listtree_Insert_Flags_Active);
  DoMethod(tree, MUIM_Listtree_Remove, MUIV_Listtree_Remove_ListNode_Root, MUIV_Listtree_Remove_TreeNode_Active, 0);
  EXPECT_EQ(Level(kRoot), (std::vector<std::string>{"c"}));
  DoMethod(tree, MUIM_Listtree_Remove, MUIV_Listtree_Remove_ListNode_Root, MUIV_Listtree_Remove_TreeNode_All, 0);
  EXPECT_TRUE(Level(kRoot).empty());
  EXPECT_EQ(gDestructed, gConstructed);
}

TEST_F(ListtreeTest, MoveBetweenListsAndRefusesCycles) {
  Node *g = Insert("G", kRoot, kTail, TNF_LIST | TNF_OPEN);
  Node *a = Insert("a", g, kTail);
  Node *b = Insert("b", kRoot, kTail);
  Node *c = Insert("c", kRoot, kTail);
  auto move = [&](APTR oldList, APTR node, APTR newList, SIPTR newNode) {
    return DoMethod(tree, MUIM_Listtree_Move, oldList, node, newList, newNode, 0);
  };
  // Into a group: at its end, at its head.
  EXPECT_TRUE(move(kRoot, c, g, MUIV_Listtree_Move_NewTreeNode_Tail));
  EXPECT_EQ(Level(g), (std::vector<std::string>{"a", "c"}));
  EXPECT_TRUE(move(kRoot, b, g, MUIV_Listtree_Move_NewTreeNode_Head));
  EXPECT_EQ(Level(g), (std::vector<std::string>{"b", "a", "c"}));
  // Out of it, directly after the group.
  EXPECT_TRUE(move(g, a, kRoot, reinterpret_cast<SIPTR>(g)));
  EXPECT_EQ(Level(kRoot), (std::vector<std::string>{"G", "a"}));
  EXPECT_EQ(Get(a, MUIV_Listtree_GetEntry_Position_Parent), nullptr);
  // Out of it, before the group (root head).
  EXPECT_TRUE(move(g, b, kRoot, MUIV_Listtree_Move_NewTreeNode_Head));
  EXPECT_EQ(Level(kRoot), (std::vector<std::string>{"b", "G", "a"}));
  // A group never goes into itself or below itself; a leaf holds nothing.
  Node *inner = Insert("inner", g, kTail, TNF_LIST);
  EXPECT_FALSE(move(kRoot, g, g, MUIV_Listtree_Move_NewTreeNode_Tail));
  EXPECT_FALSE(move(kRoot, g, inner, MUIV_Listtree_Move_NewTreeNode_Tail));
  EXPECT_FALSE(move(kRoot, b, a, MUIV_Listtree_Move_NewTreeNode_Tail));
  // After a node of another list: refused; after itself: nothing changes.
  EXPECT_FALSE(move(kRoot, b, kRoot, reinterpret_cast<SIPTR>(c)));
  EXPECT_TRUE(move(kRoot, b, kRoot, reinterpret_cast<SIPTR>(b)));
  EXPECT_EQ(Level(kRoot), (std::vector<std::string>{"b", "G", "a"}));
  // The moved node keeps its subtree.
  EXPECT_TRUE(move(kRoot, g, kRoot, MUIV_Listtree_Move_NewTreeNode_Tail));
  EXPECT_EQ(Level(kRoot), (std::vector<std::string>{"b", "a", "G"}));
  EXPECT_EQ(Level(g), (std::vector<std::string>{"c", "inner"}));
}

TEST_F(ListtreeTest, ExchangeSameListUpDownAndAcrossLists) {
  Node *a = Insert("a", kRoot, kTail);
  Node *g = Insert("G", kRoot, kTail, TNF_LIST);
  Node *x = Insert("x", g, kTail);
  Node *b = Insert("b", kRoot, kTail);
  auto exchange = [&](APTR n1, APTR n2) { return DoMethod(tree, MUIM_Listtree_Exchange, 0, n1, 0, n2, 0); };
  EXPECT_TRUE(exchange(a, b));
  EXPECT_EQ(Level(kRoot), (std::vector<std::string>{"b", "G", "a"}));
  EXPECT_TRUE(exchange(b, reinterpret_cast<APTR>(MUIV_Listtree_Exchange_TreeNode2_Down)));
  EXPECT_EQ(Level(kRoot), (std::vector<std::string>{"G", "b", "a"}));
  EXPECT_TRUE(exchange(a, reinterpret_cast<APTR>(MUIV_Listtree_Exchange_TreeNode2_Up)));
  EXPECT_EQ(Level(kRoot), (std::vector<std::string>{"G", "a", "b"}));
  EXPECT_FALSE(exchange(b, reinterpret_cast<APTR>(MUIV_Listtree_Exchange_TreeNode2_Down))); // last node
  // Across lists the two swap places and parents.
  EXPECT_TRUE(exchange(x, b));
  EXPECT_EQ(Level(kRoot), (std::vector<std::string>{"G", "a", "x"}));
  EXPECT_EQ(Level(g), (std::vector<std::string>{"b"}));
  EXPECT_EQ(Get(b, MUIV_Listtree_GetEntry_Position_Parent), g);
  EXPECT_EQ(Get(x, MUIV_Listtree_GetEntry_Position_Parent), nullptr);
  // A group and a node inside it cannot swap.
  EXPECT_FALSE(exchange(g, b));
  EXPECT_FALSE(exchange(a, a));
}

TEST_F(ListtreeTest, OpenCloseAllAndRowsShowOpenGroupsOnly) {
  Node *g = Insert("G", kRoot, kTail, TNF_LIST);
  Node *h = Insert("H", g, kTail, TNF_LIST);
  Insert("deep", h, kTail, 0, "d");
  Insert("top", kRoot, kTail, 0, "t");
  bool title = false;
  auto rows = platform::ListRows(tree, &title);
  EXPECT_TRUE(title);
  ASSERT_EQ(rows.size(), 3u); // title, G, top
  EXPECT_EQ(rows[0], (std::vector<std::string>{"Name", "Data"}));
  EXPECT_EQ(rows[2], (std::vector<std::string>{"top", "t"}));
  DoMethod(tree, MUIM_Listtree_Open, MUIV_Listtree_Open_ListNode_Root, MUIV_Listtree_Open_TreeNode_All, 0);
  EXPECT_TRUE(h->tn_Flags & TNF_OPEN);
  EXPECT_EQ(platform::ListRows(tree).size(), 5u);
  DoMethod(tree, MUIM_Listtree_Close, MUIV_Listtree_Close_ListNode_Root, MUIV_Listtree_Close_TreeNode_All, 0);
  EXPECT_FALSE(g->tn_Flags & TNF_OPEN);
  EXPECT_EQ(platform::ListRows(tree).size(), 3u);
}

TEST_F(ListtreeTest, QuietHoldsBackLayoutAndDragDropSortIsKept) {
  int layouts = 0;
  platform::SetLayoutListener([&](Object *o) { layouts += o == tree; });
  SetAttrs(tree, MUIA_Listtree_Quiet, TRUE);
  for (int i = 0; i < 5; ++i) Insert("n", kRoot, kTail);
  EXPECT_EQ(layouts, 0);
  SetAttrs(tree, MUIA_Listtree_Quiet, FALSE);
  EXPECT_EQ(layouts, 1);
  platform::SetLayoutListener(nullptr);
  SetAttrs(tree, MUIA_Listtree_DragDropSort, TRUE);
  IPTR v = 0;
  GetAttr(MUIA_Listtree_DragDropSort, tree, &v);
  EXPECT_EQ(v, TRUE);
}

} // namespace
