// The tree operations: full names, where new nodes go, moving up and down,
// removal with its trash drawer.
#include "editor_harness.h"

namespace editortest {
namespace {

using V = std::vector<std::string>;

// Rock (One, Classic (X)), Solo, Empty-free start.
const std::string kList = Lines({"4", "Rock/One", "Rock/One.png", "http://1", "Rock/Classic/X", "Rock/Classic/X.png",
                                 "http://x", "Solo", "Solo.png", "http://s", "Last", "Last.png", "http://l"});

class TreeOpsTest : public EditorTest {
protected:
  void Run(IPTR method) { DoMethod(obj, method); }
  std::string Full(TreeNode *n) {
    STRPTR s = Melodune_LtCreateFullName(n);
    std::string r = s ? s : "<null>";
    FreeVec(s);
    return r;
  }
  TreeNode *Active() { return reinterpret_cast<TreeNode *>(xget(tree, MUIA_Listtree_Active)); }
  static IPTR xget(Object *o, IPTR a) {
    IPTR v = 0;
    GetAttr(a, o, &v);
    return v;
  }
};

TEST_F(TreeOpsTest, FullNamesJoinTheGroupPath) {
  OpenWith(kList);
  EXPECT_EQ(Full(Find("Rock/Classic/X")), "Rock/Classic/X");
  EXPECT_EQ(Full(Find("Rock/Classic")), "Rock/Classic");
  EXPECT_EQ(Full(Find("Solo")), "Solo");
  EXPECT_EQ(Full(nullptr), "<null>"); // nothing active
  Select(Find("Rock/One"));
  EXPECT_EQ(Full(nullptr), "Rock/One");
}

TEST_F(TreeOpsTest, NewNodesFollowTheInsertionPlace) {
  OpenWith(kList);
  Run(MM_Melodune_NewGroup); // nothing active: the head of the root
  EXPECT_EQ(Names(nullptr), (V{"NewGroup", "Rock", "Solo", "Last"}));
  EXPECT_TRUE(Exists("StationIcons/NewGroup"));
  EXPECT_EQ(Read("StationIcons/NewGroup.info"), "drawer icon");

  // A station inside a group: the new group goes right after it, its drawer
  // inside the group's drawer.
  std::filesystem::create_directories(icons / "Rock");
  Select(Find("Rock/One"));
  Run(MM_Melodune_NewGroup);
  EXPECT_EQ(Names(Find("Rock")), (V{"One", "NewGroup", "Classic"}));
  EXPECT_TRUE(Exists("StationIcons/Rock/NewGroup.info"));
  TreeNode *fresh = Active();
  ASSERT_EQ(fresh, Find("Rock/NewGroup"));
  EXPECT_TRUE(fresh->tn_Flags & TNF_OPEN);
  EXPECT_FALSE(Disabled(g.editApply.load()));

  // An open group: the new station becomes its first child, with the texts
  // of the button; a closed group: right after it.
  DoMethod(obj, MM_Melodune_AddStation, "StationName", "IconName", "StreamName");
  EXPECT_EQ(Names(Find("Rock/NewGroup")), (V{"StationName"}));
  DoMethod(tree, MUIM_Listtree_Close, nullptr, Find("Rock/Classic"), 0);
  Select(Find("Rock/Classic"));
  auto *added = reinterpret_cast<TreeNode *>(DoMethod(obj, MM_Melodune_AddStation, nullptr, nullptr, nullptr));
  auto *p = static_cast<StationNode *>(added->tn_User);
  EXPECT_EQ(Names(Find("Rock")), (V{"One", "NewGroup", "Classic", ""}));
  EXPECT_EQ(p->name, nullptr); // no name, no payload texts

  Select(Find("Solo"));
  added = reinterpret_cast<TreeNode *>(DoMethod(obj, MM_Melodune_AddStation, "Found/Radio", nullptr, nullptr));
  p = static_cast<StationNode *>(added->tn_User);
  EXPECT_EQ(std::string(added->tn_Name), "Found/Radio"); // kept as given
  EXPECT_STREQ(p->name, "Radio");
  EXPECT_STREQ(p->icon, ".png");
  EXPECT_STREQ(p->stream, "https://");

  Run(MM_Melodune_CloneStation);
  EXPECT_EQ(Names(nullptr), (V{"NewGroup", "Rock", "Solo", "Found/Radio", "Found/Radio", "Last"}));
  EXPECT_NE(Active(), added);
}

TEST_F(TreeOpsTest, MovesGoIntoAndOutOfGroups) {
  OpenWith(kList);
  Select(Find("Rock/One"));
  Run(MM_Melodune_MoveUp); // first of its group: out, above the group
  EXPECT_EQ(Names(nullptr), (V{"One", "Rock", "Solo", "Last"}));
  Run(MM_Melodune_MoveUp); // first of the root: stays
  EXPECT_EQ(Names(nullptr), (V{"One", "Rock", "Solo", "Last"}));
  Run(MM_Melodune_MoveDown); // an open group below: in, as its first child
  EXPECT_EQ(Names(Find("Rock")), (V{"One", "Classic"}));

  Select(Find("Rock/Classic/X"));
  Run(MM_Melodune_MoveDown); // last of its group: out, below it
  EXPECT_EQ(Names(Find("Rock")), (V{"One", "Classic", "X"}));
  EXPECT_EQ(Active(), Find("Rock/X"));
  Run(MM_Melodune_MoveUp); // an open, now empty group above: in
  EXPECT_EQ(Names(Find("Rock/Classic")), (V{"X"})); // the stand-in child is gone
  EXPECT_EQ(Names(Find("Rock")), (V{"One", "Classic"}));

  DoMethod(tree, MUIM_Listtree_Close, nullptr, Find("Rock"), 0);
  Select(Find("Solo"));
  Run(MM_Melodune_MoveUp); // a closed group above: exchanged
  EXPECT_EQ(Names(nullptr), (V{"Solo", "Rock", "Last"}));
  Select(Find("Last"));
  Run(MM_Melodune_MoveDown); // last of the root: stays
  EXPECT_EQ(Names(nullptr), (V{"Solo", "Rock", "Last"}));
  EXPECT_EQ(CountStations(tree), 4);
}

TEST_F(TreeOpsTest, RemovingAGroupTrashesTheIconsOfAllItsStations) {
  OpenWith(kList);
  Write("StationIcons/Rock.info", "i");
  Write("StationIcons/Rock/One.png", "1");
  Write("StationIcons/Rock/Classic/X.png", "x");
  Write("StationIcons/Solo.png", "s");
  Select(Find("Rock"));
  Run(MM_Melodune_RemoveNode);
  EXPECT_EQ(Names(nullptr), (V{"Solo", "Last"}));
  EXPECT_EQ(Read("StationIcons/.trash/One.png"), "1");
  EXPECT_EQ(Read("StationIcons/.trash/X.png"), "x");
  EXPECT_FALSE(Exists("StationIcons/Rock/Classic/X.png"));
  EXPECT_TRUE(Exists("StationIcons/Rock/Classic")); // drawers and drawer icon stay
  EXPECT_TRUE(Exists("StationIcons/Rock.info"));

  // Icons that would lead outside the icon drawer, and the placeholder every
  // station shares, are never moved.
  Write("Keep.png", "k");
  char name[] = "Station", stream[] = "http://s";
  StationNode outside{name, const_cast<STRPTR>("/Keep.png"), stream};
  DoMethod(tree, MUIM_Listtree_Rename, Find("Solo"), &outside, MUIV_Listtree_Rename_Flags_User);
  Select(Find("Solo"));
  Run(MM_Melodune_RemoveNode);
  EXPECT_TRUE(Exists("Keep.png"));
  StationNode placeholder{name, const_cast<STRPTR>("_empty.png"), stream};
  DoMethod(tree, MUIM_Listtree_Rename, Find("Last"), &placeholder, MUIV_Listtree_Rename_Flags_User);
  Select(Find("Last"));
  Run(MM_Melodune_RemoveNode);
  EXPECT_TRUE(Exists("StationIcons/_empty.png"));
  EXPECT_EQ(CountStations(tree), 0);
}

} // namespace
} // namespace editortest
