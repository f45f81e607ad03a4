// The list as the editor's tree: groups from name prefixes, payloads,
// counting, filling.
#include <string>

#include "stations_harness.h"

namespace stationstest {
namespace {

using Node = MUIS_Listtree_TreeNode;

class StationTreeTest : public EditTreeTest {
protected:
  void SetUp() override {
    EditTreeTest::SetUp();
    ASSERT_NE(tree, nullptr);
    status = MUI_NewObject(MUIC_Text, MUIA_Text_Contents, "welcome", TAG_DONE);
    g.editStatus = status;
  }
  void TearDown() override {
    MUI_DisposeObject(status);
    EditTreeTest::TearDown();
  }
  Node *Child(Node *parent, LONG pos) {
    return reinterpret_cast<Node *>(DoMethod(tree, MUIM_Listtree_GetEntry, parent, pos,
                                             MUIV_Listtree_GetEntry_Flags_SameLevel));
  }
  std::vector<std::string> Names(Node *parent) {
    std::vector<std::string> v;
    for (LONG i = 0; Node *n = Child(parent, i); ++i) v.push_back(n->tn_Name);
    return v;
  }
  static StationNode *P(Node *n) { return static_cast<StationNode *>(n->tn_User); }
  static std::string S(const char *t) { return t ? t : "<null>"; }
  std::string Status() {
    IPTR t = 0;
    GetAttr(MUIA_Text_Contents, status, &t);
    return t ? reinterpret_cast<const char *>(t) : "";
  }

  Object *status = nullptr;
};

TEST_F(StationTreeTest, GroupsComeFromNamePrefixes) {
  Install({{"Rock/Radio One", "Rock/Radio One.png", "http://1"},
           {"Rock/Radio Two", "r2.png", "http://2"},
           {"Rock/Classic/Radio X", "x.png", "http://x"},
           {"Solo", "solo.png", "http://s"}});
  FillStationTree(tree);

  EXPECT_EQ(Names(nullptr), (std::vector<std::string>{"Rock", "Solo"}));
  Node *rock = Child(nullptr, 0);
  EXPECT_TRUE(rock->tn_Flags & TNF_LIST);
  EXPECT_FALSE(rock->tn_Flags & TNF_OPEN); // groups start closed
  EXPECT_EQ(S(P(rock)->name), "<null>");
  EXPECT_EQ(S(P(rock)->icon), "Rock.info");
  EXPECT_EQ(S(P(rock)->stream), "<null>");
  EXPECT_EQ(Names(rock), (std::vector<std::string>{"Radio One", "Radio Two", "Classic"}));

  Node *one = Child(rock, 0);
  EXPECT_FALSE(one->tn_Flags & TNF_LIST);
  EXPECT_EQ(S(P(one)->name), "Radio One"); // the node's own name only
  EXPECT_EQ(S(P(one)->icon), "Rock/Radio One.png");
  EXPECT_EQ(S(P(one)->stream), "http://1");

  Node *classic = Child(rock, 2);
  EXPECT_EQ(S(P(classic)->icon), "Rock/Classic.info");
  EXPECT_EQ(Names(classic), (std::vector<std::string>{"Radio X"}));

  EXPECT_EQ(CountStations(tree), 4);
  EXPECT_EQ(Status(), "Loaded 4 stations!");
  IPTR active = 1;
  GetAttr(MUIA_Listtree_Active, tree, &active);
  EXPECT_EQ(active, 0u);
  IPTR quiet = 1;
  GetAttr(MUIA_Listtree_Quiet, tree, &quiet);
  EXPECT_EQ(quiet, 0u);
}

TEST_F(StationTreeTest, AStationOfAGroupsNameIsPassedOver) {
  Install({{"Rock", "rock.png", "http://r"}, {"Rock/Radio One", "one.png", "http://1"}});
  FillStationTree(tree);
  EXPECT_EQ(Names(nullptr), (std::vector<std::string>{"Rock", "Radio One"}));
  EXPECT_FALSE(Child(nullptr, 0)->tn_Flags & TNF_LIST);
}

TEST_F(StationTreeTest, GroupsArePrefixesNotWords) {
  Install({{"Rock/A", "a", "http://a"}, {"Rock Classics/B", "b", "http://b"}, {"Rock/C", "c", "http://c"}});
  FillStationTree(tree);
  EXPECT_EQ(Names(nullptr), (std::vector<std::string>{"Rock", "Rock Classics"}));
  EXPECT_EQ(Names(Child(nullptr, 0)), (std::vector<std::string>{"A", "C"}));
  EXPECT_EQ(Names(Child(nullptr, 1)), (std::vector<std::string>{"B"}));
}

TEST_F(StationTreeTest, FindOrCreateGroupsFromAStartNode) {
  auto *import = reinterpret_cast<Node *>(DoMethod(tree, MUIM_Listtree_Insert, "My.txt", nullptr,
                                                   MUIV_Listtree_Insert_ListNode_Root,
                                                   MUIV_Listtree_Insert_PrevNode_Head, TNF_LIST));
  ASSERT_NE(import, nullptr);
  char name[] = "Jazz/Late/Night";
  Node *parent = LtFindOrCreateGroups(tree, import, name);
  EXPECT_STREQ(name, "Jazz/Late/Night"); // the name is left as it was
  ASSERT_NE(parent, nullptr);
  EXPECT_STREQ(parent->tn_Name, "Late");
  EXPECT_EQ(S(P(parent)->icon), "Jazz/Late.info");
  EXPECT_EQ(LtFindOrCreateGroups(tree, import, "Jazz/Late/Other"), parent); // found, not made again
  EXPECT_EQ(Names(import), (std::vector<std::string>{"Jazz"}));
  EXPECT_EQ(LtFindOrCreateGroups(tree, nullptr, "TopLevel"), nullptr);
  EXPECT_EQ(Names(nullptr), (std::vector<std::string>{"My.txt"}));
}

TEST_F(StationTreeTest, CountingSeesClosedGroupsAndSkipsGroups) {
  Install({{"A/B/C/One", "1", "http://1"}, {"A/Two", "2", "http://2"}, {"Three", "3", "http://3"}});
  FillStationTree(tree);
  EXPECT_EQ(CountStations(tree), 3);
  DoMethod(tree, MUIM_Listtree_Insert, "Empty", nullptr, MUIV_Listtree_Insert_ListNode_Root,
           MUIV_Listtree_Insert_PrevNode_Tail, TNF_LIST);
  EXPECT_EQ(CountStations(tree), 3);
  DoMethod(tree, MUIM_Listtree_Remove, MUIV_Listtree_Remove_ListNode_Root, MUIV_Listtree_Remove_TreeNode_All, 0);
  EXPECT_EQ(CountStations(tree), 0);
}

TEST_F(StationTreeTest, FillingAddsAndWalksTheSpareSlot) {
  Install({{"One", "1", "http://1"}});
  FillStationTree(tree);
  FillStationTree(tree); // no clearing: twice the stations
  EXPECT_EQ(Names(nullptr), (std::vector<std::string>{"One", "One"}));
  // A tested station sits behind the list and is walked until the next load.
  StationEntry *a = g.stations.load();
  a[1] = {StationTextCopy("Tested"), StationTextCopy(""), StationTextCopy("http://t")};
  DoMethod(tree, MUIM_Listtree_Remove, MUIV_Listtree_Remove_ListNode_Root, MUIV_Listtree_Remove_TreeNode_All, 0);
  FillStationTree(tree);
  EXPECT_EQ(Names(nullptr), (std::vector<std::string>{"One", "Tested"}));
  EXPECT_EQ(Status(), "Loaded 2 stations!");
}

TEST_F(StationTreeTest, IconsAreLookedUpInTheIconDrawer) {
  MakeDrawer("Rock");
  Write("StationIcons/Rock/One.png", "png");
  EXPECT_TRUE(StationIconExists("Rock/One.png"));
  EXPECT_TRUE(StationIconExists("rock/one.PNG")); // names ignore case
  EXPECT_TRUE(StationIconExists("Rock"));         // a group's drawer
  EXPECT_FALSE(StationIconExists("Rock/Two.png"));
  EXPECT_FALSE(StationIconExists(""));
  EXPECT_FALSE(StationIconExists(nullptr));
  EXPECT_TRUE(StationIconExists("sys:Data/Screenbar/Melodune/StationIcons/Rock/One.png"));
  // The index a menu build reads once answers the same.
  const StationIconIndex index;
  for (const char *name : {"Rock/One.png", "rock/one.PNG", "Rock", "Rock/", "Rock/Two.png", "",
                           "sys:Data/Screenbar/Melodune/StationIcons/Rock/One.png"})
    EXPECT_EQ(index.Exists(name), std::string(name) == "Rock/" ? TRUE : StationIconExists(name)) << name;
  // The current directory is given back.
  BPTR here = CurrentDir(0);
  CurrentDir(here);
  StationIconExists("Rock/One.png");
  BPTR after = CurrentDir(here);
  EXPECT_EQ(after, here);
  std::filesystem::remove_all(data / "StationIcons");
  EXPECT_FALSE(StationIconExists("Rock/One.png"));
}

} // namespace
} // namespace stationstest
