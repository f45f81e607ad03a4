// Reading the list from other tasks, lookups, and testing a station
// through the spare slot behind the list.
#include <atomic>
#include <chrono>
#include <thread>

#include "stations_harness.h"

namespace stationstest {
namespace {

using Fields = std::vector<std::string>;

TEST_F(StationsTest, GetStationCopiesValidEntriesOnly) {
  std::string name, icon, stream;
  EXPECT_FALSE(GetStation(0, &name, &icon, &stream)); // no list
  Install({{"Rock/One", "one.png", "http://1"}, {"Two", "", "http://2"}});
  ASSERT_TRUE(GetStation(1, &name, &icon, &stream));
  EXPECT_EQ(name, "Two");
  EXPECT_EQ(icon, "");
  EXPECT_EQ(stream, "http://2");
  EXPECT_TRUE(GetStation(0, &name, nullptr, nullptr));
  EXPECT_EQ(name, "Rock/One");
  EXPECT_FALSE(GetStation(-1, &name, &icon, &stream));
  EXPECT_FALSE(GetStation(2, &name, &icon, &stream)); // the spare slot, empty
  EXPECT_FALSE(GetStation(3, &name, &icon, &stream));
  EXPECT_FALSE(GetStation(1000000, &name, &icon, &stream));
  EXPECT_EQ(StationCount(), 2);
  EXPECT_EQ(StationNames(), (std::vector<std::string>{"Rock/One", "Two"}));
}

TEST_F(StationsTest, NamesAreFoundByFullNameBeforeDisplayName) {
  Install({{"Rock/Radio X", "x", "http://x"}, {"radio x", "y", "http://y"}, {"Pop/\xDCn\xEF", "z", "http://z"},
           {"Jazz:Late", "l", "http://l"}});
  EXPECT_EQ(FindStationByName("RADIO X"), 1);
  EXPECT_EQ(FindStationByName("rock/radio x"), 0);
  EXPECT_EQ(FindStationByName("\xFCn\xCF"), 2); // Latin-1 letters ignore case too
  EXPECT_EQ(FindStationByName("late"), 3);
  EXPECT_EQ(FindStationByName("Radio"), -1);
  EXPECT_EQ(FindStationByName(nullptr), -1);
  Install({{"Rock/Radio X", "x", "http://x"}});
  EXPECT_EQ(FindStationByName("radio x"), 0);
  EXPECT_STREQ(StationDisplayName("a/b:c/d"), "d");
  EXPECT_STREQ(StationDisplayName("plain"), "plain");
}

class TestSlotTest : public EditTreeTest {
protected:
  MUIS_Listtree_TreeNode *Add(const char *name, StationNode *payload, APTR parent, IPTR flags) {
    return reinterpret_cast<MUIS_Listtree_TreeNode *>(DoMethod(tree, MUIM_Listtree_Insert, name, payload, parent,
                                                               MUIV_Listtree_Insert_PrevNode_Tail, flags));
  }
  void Activate(APTR node) { SetAttrs(tree, MUIA_Listtree_Active, node, TAG_DONE); }
};

TEST_F(TestSlotTest, TheEditorsStationPlaysThroughTheSpareSlot) {
  Install({{"One", "1", "http://1"}, {"Two", "2", "http://2"}});
  StationNode group{nullptr, const_cast<char *>("Rock.info"), nullptr};
  auto *rock = Add("Rock", &group, nullptr, TNF_LIST);
  StationNode st{const_cast<char *>("Rock/Radio One"), const_cast<char *>("Rock/One.png"),
                 const_cast<char *>("http://one")};
  auto *one = Add("Radio One", &st, rock, 0);

  Activate(rock); // a group is not played
  Melodune_TestStation(nullptr, obj, nullptr);
  Pump();
  EXPECT_TRUE(Choices().empty());

  Activate(one);
  Melodune_TestStation(nullptr, obj, nullptr);
  Pump();
  EXPECT_EQ(g.numStations.load(), 2);
  EXPECT_EQ(Entry(2), (Fields{"Radio One", "Rock/One.png", "http://one"})); // the node's own name
  EXPECT_EQ(Entry(3)[0], "<null>");
  EXPECT_EQ(Choices(), (std::vector<IPTR>{9}));
  std::string name;
  EXPECT_TRUE(GetStation(2, &name, nullptr, nullptr));
  EXPECT_EQ(FindStationByName("Radio One"), -1); // not part of the list

  // A second test overwrites the slot.
  StationNode other{const_cast<char *>("Other"), nullptr, const_cast<char *>("http://o")};
  Activate(Add("Other", &other, nullptr, 0));
  Melodune_TestStation(nullptr, obj, nullptr);
  Pump();
  EXPECT_EQ(Entry(2), (Fields{"Other", "", "http://o"}));
  EXPECT_EQ(Choices().size(), 2u);

  Activate(nullptr);
  Melodune_TestStation(nullptr, obj, nullptr);
  Pump();
  EXPECT_EQ(Choices().size(), 2u);
}

TEST_F(TestSlotTest, WithoutAListAnEmptyOneHoldsTheSlot) {
  StationNode st{const_cast<char *>("Solo"), const_cast<char *>("s.png"), const_cast<char *>("http://s")};
  Activate(Add("Solo", &st, nullptr, 0));
  Melodune_TestStation(nullptr, obj, nullptr);
  Pump();
  EXPECT_EQ(g.numStations.load(), 0);
  EXPECT_EQ(Entry(0), (Fields{"Solo", "s.png", "http://s"}));
  EXPECT_EQ(Choices(), (std::vector<IPTR>{7}));
  // The menu shows the tested station until the list is replaced.
  ASSERT_TRUE(BuildStationMenu());
  auto *item = reinterpret_cast<Object *>(DoMethod(g.menustrip.load(), MUIM_FindUData, 7));
  EXPECT_NE(item, nullptr);
}

TEST_F(TestSlotTest, AFoundStationPlaysThroughTheSpareSlot) {
  Object *list = MUI_NewObject(MUIC_List, TAG_DONE);
  ASSERT_NE(list, nullptr);
  g.searchList = list;
  Install({{"One", "1", "http://1"}});
  Melodune_TestFoundStation(nullptr, obj, nullptr); // no active row
  Pump();
  EXPECT_TRUE(Choices().empty());

  const char *row[8] = {"Found FM", "MP3", "128", "pop", "Germany", "german", "http://found/stream",
                        "http://found/icon.png"};
  DoMethod(list, MUIM_List_InsertSingle, row, MUIV_List_Insert_Bottom);
  SetAttrs(list, MUIA_List_Active, 0, TAG_DONE);
  Melodune_TestFoundStation(nullptr, obj, nullptr);
  Pump();
  EXPECT_EQ(Entry(1), (Fields{"Found FM", "http://found/icon.png", "http://found/stream"}));
  EXPECT_EQ(Choices(), (std::vector<IPTR>{8}));
  g.searchList = nullptr;
  MUI_DisposeObject(list);
}

// Readers on other tasks copy entries while the GUI task replaces, frees
// and tests through the list (run under ThreadSanitizer/AddressSanitizer).
TEST_F(StationsTest, ReadersNeverSeeAListBeingReplaced) {
  std::atomic<bool> stop{false};
  std::atomic<long> seen{0};
  auto reader = [&] {
    std::string name, icon, stream;
    while (!stop) {
      LONG n = StationCount();
      for (LONG i = 0; i <= n + 1; ++i)
        if (GetStation(i, &name, &icon, &stream)) {
          EXPECT_FALSE(name.empty());
          ++seen;
        }
      StationNames();
      FindStationByName("Station 3");
    }
  };
  std::thread r1(reader), r2(reader);
  Write("Stations.txt", "4\nStation 1\na\nhttp://1\nStation 2\nb\nhttp://2\nG/Station 3\nc\nhttp://3\nD\nd\nhttp://d\n");
  for (int round = 0; round < 150; ++round) {
    if (round % 3 == 0) FreeStationList();
    else ASSERT_TRUE(LoadStationList());
    if (round % 5 == 1) Install({{"X", "x", "http://x"}});
  }
  // The last round loaded a list: a reader kept off the processor until
  // now still gets to read it.
  for (int i = 0; i < 5000 && seen.load() == 0; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  stop = true;
  r1.join();
  r2.join();
  EXPECT_GT(seen.load(), 0);
}

} // namespace
} // namespace stationstest
