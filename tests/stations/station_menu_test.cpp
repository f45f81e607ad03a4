// The station part of the pop-up menu: items and their user data, group
// submenus with exact-path identity, titles with the inline icon, the
// playing station disabled, clearing.
#include <string>

#include "stations_harness.h"

namespace stationstest {
namespace {

struct Item {
  std::string title;
  IPTR udata;
  bool enabled;
  bool menu;
  std::vector<Item> children;
};

IPTR Attr(Object *o, IPTR attr) {
  IPTR v = 0;
  GetAttr(attr, o, &v);
  return v;
}

std::vector<Item> Snapshot(Object *family) {
  std::vector<Item> items;
  IPTR list = Attr(family, MUIA_Family_List);
  if (!list) return items;
  APTR state = reinterpret_cast<struct MinList *>(list)->mlh_Head;
  while (Object *o = NextObject(&state)) {
    Item it{};
    IPTR t = 0;
    if (GetAttr(MUIA_Menu_Title, o, &t)) {
      it.menu = true;
      it.enabled = true;
    } else {
      GetAttr(MUIA_Menuitem_Title, o, &t);
      it.enabled = Attr(o, MUIA_Menuitem_Enabled) != 0;
    }
    if (t && t != reinterpret_cast<IPTR>(NM_BARLABEL)) it.title = reinterpret_cast<const char *>(t);
    it.udata = Attr(o, MUIA_UserData);
    it.children = Snapshot(o);
    items.push_back(std::move(it));
  }
  return items;
}

// The station part: what follows the six commands and the separator.
std::vector<Item> StationPart() {
  auto all = Snapshot(g.menu.load());
  EXPECT_GE(all.size(), 7u);
  return std::vector<Item>(all.begin() + std::min<size_t>(7, all.size()), all.end());
}

const std::string kIcons = "\33I[4:sys:Data/Screenbar/Melodune/StationIcons/";
std::string ItemTitle(const std::string &icon, const std::string &name) { return kIcons + icon + "]\xA0" + name; }
std::string GroupTitle(const std::string &icon, const std::string &name) { return kIcons + icon + ".info] " + name; }

TEST_F(StationsTest, TopLevelStationsFollowTheFixedPart) {
  Install({{"One", "one.png", "http://1"}, {"Two", "two.png", "http://2"}, {"Three", "3.png", "http://3"}});
  ASSERT_TRUE(BuildStationMenu());
  auto all = Snapshot(g.menu.load());
  ASSERT_EQ(all.size(), 10u);
  EXPECT_EQ(all[0].title, "Stop");
  EXPECT_EQ(all[6].udata, 0u);
  auto part = StationPart();
  EXPECT_EQ(part[0].udata, 7u);
  EXPECT_EQ(part[1].udata, 8u);
  EXPECT_EQ(part[2].udata, 9u);
  // A missing icon shows the placeholder.
  EXPECT_EQ(part[0].title, ItemTitle("_empty.png", "One"));
  EXPECT_TRUE(part[0].enabled);
}

TEST_F(StationsTest, ItemsShowTheirIconWhenItExists) {
  MakeDrawer("Rock");
  Write("StationIcons/Rock/One.png", "png");
  Install({{"Rock/One", "Rock/One.png", "http://1"}});
  ASSERT_TRUE(BuildStationMenu());
  auto part = StationPart();
  ASSERT_EQ(part.size(), 1u);
  EXPECT_EQ(part[0].title, GroupTitle("Rock", "Rock"));
  EXPECT_EQ(part[0].udata, static_cast<IPTR>(MENU_GROUP_UDATA));
  ASSERT_EQ(part[0].children.size(), 1u);
  EXPECT_EQ(part[0].children[0].title, ItemTitle("Rock/One.png", "One"));
}

TEST_F(StationsTest, SubmenusAppearWhereTheirFirstStationDoes) {
  Install({{"Rock/One", "1", "http://1"}, {"Pop/Two", "2", "http://2"}, {"Rock/Three", "3", "http://3"},
           {"Four", "4", "http://4"}});
  ASSERT_TRUE(BuildStationMenu());
  auto part = StationPart();
  ASSERT_EQ(part.size(), 3u);
  EXPECT_EQ(part[0].title, GroupTitle("_empty", "Rock"));
  EXPECT_EQ(part[1].title, GroupTitle("_empty", "Pop"));
  EXPECT_EQ(part[2].udata, 10u);
  ASSERT_EQ(part[0].children.size(), 2u);
  EXPECT_EQ(part[0].children[0].udata, 7u);
  EXPECT_EQ(part[0].children[1].udata, 9u);
  EXPECT_EQ(part[0].children[1].title, ItemTitle("_empty.png", "Three"));
  ASSERT_EQ(part[1].children.size(), 1u);
  EXPECT_EQ(part[1].children[0].udata, 8u);
}

TEST_F(StationsTest, GroupsAreMatchedByTheirWholePath) {
  Install({{"Rock/A", "a", "http://a"}, {"Rock Classics/B", "b", "http://b"}, {"Rock/C", "c", "http://c"},
           {"Rock Classics/D", "d", "http://d"}});
  ASSERT_TRUE(BuildStationMenu());
  auto part = StationPart();
  ASSERT_EQ(part.size(), 2u);
  ASSERT_EQ(part[0].children.size(), 2u);
  EXPECT_EQ(part[0].children[1].udata, 9u);
  ASSERT_EQ(part[1].children.size(), 2u);
  EXPECT_EQ(part[1].children[0].udata, 8u);
  EXPECT_EQ(part[1].children[1].udata, 10u);
}

TEST_F(StationsTest, NestedGroupsWithoutDrawersGetOneSubmenuEach) {
  MakeDrawer("Rock");
  Install({{"Rock/Classic/X", "x", "http://x"}, {"Rock/Classic/Y", "y", "http://y"}, {"Pop/Classic/Z", "z", "http://z"}});
  ASSERT_TRUE(BuildStationMenu());
  auto part = StationPart();
  ASSERT_EQ(part.size(), 2u);
  EXPECT_EQ(part[0].title, GroupTitle("Rock", "Rock"));
  ASSERT_EQ(part[0].children.size(), 1u);
  EXPECT_EQ(part[0].children[0].title, GroupTitle("_empty", "Classic"));
  EXPECT_EQ(part[0].children[0].children.size(), 2u);
  // The same name in another group is another submenu.
  ASSERT_EQ(part[1].children.size(), 1u);
  EXPECT_EQ(part[1].children[0].children.size(), 1u);
  EXPECT_EQ(part[1].children[0].children[0].udata, 9u);
}

TEST_F(StationsTest, EmptyComponentsEndTheGroupWalk) {
  Install({{"/Top", "t", "http://t"}, {"Rock//Deep", "d", "http://d"}});
  ASSERT_TRUE(BuildStationMenu());
  auto part = StationPart();
  ASSERT_EQ(part.size(), 2u);
  EXPECT_EQ(part[0].udata, 7u); // at the top level
  EXPECT_EQ(part[0].title, ItemTitle("_empty.png", "Top"));
  ASSERT_EQ(part[1].children.size(), 1u); // in Rock, not deeper
  EXPECT_EQ(part[1].children[0].udata, 8u);
}

TEST_F(StationsTest, ThePlayingStationIsDisabled) {
  Install({{"One", "1", "http://1"}, {"G/Two", "2", "http://2"}});
  g.currStation = 1;
  ASSERT_TRUE(BuildStationMenu());
  auto part = StationPart();
  EXPECT_TRUE(part[0].enabled);
  EXPECT_FALSE(part[1].children[0].enabled);
  // The playing item is found by its user data (connection control does so).
  auto *found = reinterpret_cast<Object *>(DoMethod(g.menustrip.load(), MUIM_FindUData, 8));
  ASSERT_NE(found, nullptr);
  EXPECT_EQ(Attr(found, MUIA_Menuitem_Enabled), 0u);
}

TEST_F(StationsTest, RebuildingReplacesOnlyTheStationPart) {
  Install({{"G/One", "1", "http://1"}, {"Two", "2", "http://2"}});
  ASSERT_TRUE(BuildStationMenu());
  ASSERT_TRUE(BuildStationMenu());
  EXPECT_EQ(Snapshot(g.menu.load()).size(), 9u);
  Install({{"Solo", "s", "http://s"}});
  ASSERT_TRUE(BuildStationMenu());
  auto part = StationPart();
  ASSERT_EQ(part.size(), 1u);
  EXPECT_EQ(part[0].title, ItemTitle("_empty.png", "Solo"));
  ClearStationMenu();
  auto all = Snapshot(g.menu.load());
  ASSERT_EQ(all.size(), 7u);
  EXPECT_EQ(all[5].title, "UpdateCheck...");
}

TEST_F(StationsTest, NoListNoMenu) {
  EXPECT_FALSE(BuildStationMenu());
  EXPECT_EQ(Snapshot(g.menu.load()).size(), 7u);
  g.menu = nullptr;
  ClearStationMenu(); // nothing to clear
  Install({{"One", "1", "http://1"}});
  EXPECT_TRUE(BuildStationMenu());
}

TEST_F(StationsTest, LongTitlesAreCutToTheBuffer) {
  std::string name(2000, 'n');
  Install({{name.c_str(), "i", "http://1"}});
  ASSERT_TRUE(BuildStationMenu());
  auto part = StationPart();
  ASSERT_EQ(part.size(), 1u);
  EXPECT_EQ(part[0].title.size(), 1023u);
  EXPECT_EQ(part[0].title.rfind(ItemTitle("_empty.png", "nnn"), 0), 0u);
}

} // namespace
} // namespace stationstest
