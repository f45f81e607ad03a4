// Load, Import, Apply and Save as a person meets them: the questions, the
// status line, the tree, the list and the bytes on disk.
#include "editor_harness.h"
#include "gadgets/gadgets.h"

namespace editortest {
namespace {

using V = std::vector<std::string>;

const std::string kList = Lines({"3", "Rock/One", "Rock/One.png", "http://1", "#", "Rock/Two", "Rock/Two.png",
                                 "http://2", "#", "Solo", "Solo.png", "http://s", "#"});

class ListOpsTest : public EditorTest {
protected:
  void Answer(std::initializer_list<int> buttons) {
    std::lock_guard l(screen.lock);
    for (int b : buttons) screen.requestAnswers.push_back(b);
  }
  std::string LastRequestText() {
    std::lock_guard l(screen.lock);
    return screen.requests.empty() ? "" : screen.requests.back().text;
  }
  void SetPayload(TreeNode *n, const char *icon, const char *stream) {
    std::string name = static_cast<StationNode *>(n->tn_User)->name;
    StationNode p{name.data(), const_cast<STRPTR>(icon), const_cast<STRPTR>(stream)};
    DoMethod(tree, MUIM_Listtree_Rename, n, &p, MUIV_Listtree_Rename_Flags_User);
  }
  std::string Icon(const std::string &path) { return static_cast<StationNode *>(Find(path)->tn_User)->icon; }
};

TEST_F(ListOpsTest, LoadAsksBeforeReplacingTheTree) {
  OpenWith(kList);
  DoMethod(tree, MUIM_Listtree_Remove, nullptr, Find("Solo"), 0);
  Answer({2}); // Cancel: nothing changes
  DoMethod(obj, MM_Melodune_LoadStations);
  EXPECT_EQ(LastRequestText(), "\33cThere are already stations in your list!\n\nClear the list and reload from disk?");
  EXPECT_EQ(screen.requests.back().buttons, (V{"Yes!", "No, import new entries...", "Cancel"}));
  EXPECT_EQ(CountStations(tree), 2);
  EXPECT_EQ(Status(), EditorWelcomeText());

  Answer({0}); // Yes!: the file again
  DoMethod(obj, MM_Melodune_LoadStations);
  EXPECT_EQ(Names(nullptr), (V{"Rock", "Solo"}));

  Write("Stations.txt", "not a list\n");
  Answer({0});
  DoMethod(obj, MM_Melodune_LoadStations);
  EXPECT_EQ(Status(), "Failed to read the Station-List!");
  EXPECT_EQ(CountStations(tree), 0);
  EXPECT_EQ(StationCount(), 3); // the list in memory stays
}

TEST_F(ListOpsTest, ImportAddsAGroupNamedAfterTheFile) {
  OpenWith(kList);
  // Empty fields drop a record without counting it; lines as long as the
  // editor allows come through whole.
  const std::string longUrl = "http://x/" + std::string(1000, 'a');
  Write("Friend.txt", Lines({"3", "A", "a.png", "http://a", "B", "", "http://b", "Jazz/C", "c.png", "http://c", "D",
                             "d.png", longUrl.c_str(), "E", "e.png", "http://e"}));
  screen.aslAnswer = platform::AslAnswer{"SYS:Data/Screenbar/Melodune", "Friend.txt"};
  Answer({1});
  DoMethod(obj, MM_Melodune_LoadStations);
  EXPECT_EQ(screen.asls.back().title, "Choose a station list to import stations from");
  EXPECT_EQ(screen.asls.back().drawer, "ram:");
  EXPECT_EQ(Status(), "Imported 3 entries!");
  EXPECT_EQ(Names(nullptr), (V{"Friend.txt", "Rock", "Solo"}));
  EXPECT_EQ(Names(Find("Friend.txt")), (V{"A", "Jazz", "D"}));
  EXPECT_EQ(Names(Find("Friend.txt/Jazz")), (V{"C"}));
  EXPECT_EQ(std::string(static_cast<StationNode *>(Find("Friend.txt/D")->tn_User)->stream), longUrl);
  EXPECT_FALSE(Disabled(g.editApply.load()));
  EXPECT_EQ(reinterpret_cast<TreeNode *>(xget(tree, MUIA_Listtree_Active)), Find("Friend.txt"));

  // The requester is kept and opens where the last choice was.
  Write("Bad.txt", "0\n");
  screen.aslAnswer = platform::AslAnswer{"SYS:Data/Screenbar/Melodune", "Bad.txt"};
  Answer({1});
  DoMethod(obj, MM_Melodune_LoadStations);
  EXPECT_EQ(screen.asls.back().drawer, "SYS:Data/Screenbar/Melodune");
  EXPECT_EQ(Status(), "Wrong format of station list!");
  EXPECT_EQ(Names(nullptr), (V{"Friend.txt", "Rock", "Solo"}));

  screen.aslAnswer = std::nullopt; // cancelled
  Answer({1});
  DoMethod(obj, MM_Melodune_LoadStations);
  EXPECT_EQ(Status(), EditorWelcomeText());
  EXPECT_FALSE(xget(g.editWin.load(), MUIA_Window_Sleep));
}

TEST_F(ListOpsTest, BadFilesAreReportedAndChangeNothing) {
  OpenWith(kList);
  const std::string png("\x89PNG\r\n\x1a\n\0\0\0\rIHDR\0\0\0 \0\0\0\x14\x08\x06", 24);
  struct Case {
    std::string content, status;
  } cases[] = {
      {png, "Wrong format of station list!"},
      {"-3\nA\na.png\nhttp://a\n", "Wrong format of station list!"},
      {"", "Wrong format of station list!"},
      {"2\nCut\nshort.png\n", "No stations found in 'SYS:Data/Screenbar/Melodune/Bad.txt'!"},
      {"1\n" + std::string(5000, 'x') + "\n\xc3\xa9t\xc3\xa9\nhttp://x\n", "Imported 1 entries!"},
  };
  for (const Case &c : cases) {
    Write("Bad.txt", c.content);
    screen.aslAnswer = platform::AslAnswer{"SYS:Data/Screenbar/Melodune", "Bad.txt"};
    Answer({1});
    DoMethod(obj, MM_Melodune_LoadStations);
    EXPECT_EQ(Status(), c.status) << c.content.substr(0, 20);
  }
  // The long name was cut to one line, the UTF-8 bytes kept as they are.
  auto *imported = reinterpret_cast<TreeNode *>(
      DoMethod(tree, MUIM_Listtree_GetEntry, Find("Bad.txt"), 0, MUIV_Listtree_GetEntry_Flags_SameLevel));
  ASSERT_NE(imported, nullptr);
  EXPECT_EQ(std::string(static_cast<StationNode *>(imported->tn_User)->icon), "\xc3\xa9t\xc3\xa9");
  EXPECT_GE(std::string(imported->tn_Name).size(), static_cast<size_t>(STATION_FIELD_MAX));
  EXPECT_LT(std::string(imported->tn_Name).size(), static_cast<size_t>(STATION_LINE_SIZE));
  EXPECT_EQ(CountStations(tree), 4);
  EXPECT_EQ(Read("Stations.txt"), kList);
  EXPECT_EQ(StationCount(), 3);
}

TEST_F(ListOpsTest, ApplyKeepsThePlayingStationByName) {
  OpenWith(kList);
  g.currStation = 2; // Solo plays
  g.recStation = 0;  // Rock/One records
  DoMethod(tree, MUIM_Listtree_Close, nullptr, Find("Rock"), 0);
  Select(Find("Solo"));
  DoMethod(obj, MM_Melodune_MoveUp);
  DoMethod(obj, MM_Melodune_ApplyStations);
  EXPECT_EQ(StationNames(), (V{"Solo", "Rock/One", "Rock/Two"}));
  EXPECT_EQ(g.currStation.load(), 0);
  EXPECT_EQ(g.recStation.load(), 1);
  EXPECT_TRUE(Disabled(g.editApply.load()));

  // Gone from the list: it goes on from the spare slot.
  Select(Find("Solo"));
  DoMethod(obj, MM_Melodune_RemoveNode);
  DoMethod(obj, MM_Melodune_ApplyStations);
  EXPECT_EQ(StationCount(), 2);
  EXPECT_EQ(g.currStation.load(), 2);
  std::string name, stream;
  ASSERT_TRUE(GetStation(2, &name, nullptr, &stream));
  EXPECT_EQ(name + " " + stream, "Solo http://s");
}

TEST_F(ListOpsTest, SaveWritesTheTreeAndMovesIconsWithTheirGroups) {
  OpenWith(kList);
  Write("StationIcons/Rock.info", "r");
  Write("StationIcons/Rock/One.png", "1");
  Write("StationIcons/Rock/Two.png", "2");
  // Rename the group, drag One out of it; an unapplied edit is saved too.
  Select(Find("Rock"));
  SetAttrs(g.editName.load(), MUIA_String_Contents, "Metal", TAG_DONE);
  Select(Find("Metal/One"));
  DoMethod(obj, MM_Melodune_MoveUp);
  SetPayload(Find("Solo"), "Solo.png", "http://solo");

  Answer({0});
  DoMethod(obj, MM_Melodune_SaveStations);
  EXPECT_EQ(LastRequestText(), "Do you really want to save the stations?");
  EXPECT_EQ(Read("Stations.txt"), Lines({"3", "One", "One.png", "http://1", "#", "Metal/Two", "Metal/Two.png",
                                         "http://2", "#", "Solo", "Solo.png", "http://solo", "#"}));
  EXPECT_EQ(Read("StationIcons/One.png"), "1");
  EXPECT_EQ(Read("StationIcons/Metal/Two.png"), "2");
  EXPECT_EQ(Read("StationIcons/Metal.info"), "r");
  EXPECT_FALSE(Exists("StationIcons/Rock"));
  EXPECT_EQ(Icon("Metal"), "Metal.info");
  EXPECT_EQ(Status(), EditorWelcomeText()); // no rename failed
  EXPECT_TRUE(WarningTexts().empty());
  EXPECT_FALSE(Exists("Stations.txt.new"));

  Answer({1}); // No
  Write("Stations.txt", "old");
  DoMethod(obj, MM_Melodune_SaveStations);
  EXPECT_EQ(Read("Stations.txt"), "old");
}

TEST_F(ListOpsTest, AFailedSaveKeepsTheOldFile) {
  OpenWith(kList);
  // The new file cannot be made beside the list (also not for root).
  std::filesystem::create_directories(data / "Stations.txt.new" / "in the way");
  Answer({0});
  DoMethod(obj, MM_Melodune_SaveStations);
  EXPECT_EQ(Read("Stations.txt"), kList);
  EXPECT_EQ(WarningTexts(), (V{"Failed to open the Station-List 'sys:Data/Screenbar/Melodune/Stations.txt'!"}));

  DoMethod(tree, MUIM_Listtree_Remove, nullptr, MUIV_Listtree_Remove_TreeNode_All, 0);
  DoMethod(obj, MM_Melodune_SaveStations);
  EXPECT_EQ(WarningTexts().back(), "No entries to save!");
  EXPECT_EQ(Read("Stations.txt"), kList);
}

TEST_F(ListOpsTest, SaveNeverMovesFilesOutsideTheIconDrawer) {
  OpenWith(kList);
  Write("Secret.png", "s");
  Write("StationIcons/Solo.png", "solo");
  SetPayload(Find("Rock/One"), "/Secret.png", "http://1");
  SetPayload(Find("Rock/Two"), "Rock/../../Secret.png", "http://2");
  SetPayload(Find("Solo"), "SYS:Data/Screenbar/Melodune/StationIcons/Solo.png", "http://s");
  Answer({0});
  DoMethod(obj, MM_Melodune_SaveStations);
  EXPECT_EQ(Read("Secret.png"), "s");
  EXPECT_EQ(Read("StationIcons/Solo.png"), "solo");
  EXPECT_EQ(Icon("Rock/One"), "/Secret.png");
  EXPECT_NE(Read("Stations.txt").find("SYS:Data/Screenbar/Melodune/StationIcons/Solo.png\n"), std::string::npos);
}

TEST_F(ListOpsTest, MoveNodeIconFollowsTheParentGroup) {
  OpenWith(kList);
  Write("StationIcons/Rock/One.png", "1");
  Select(Find("Rock/One"));
  DoMethod(obj, MM_Melodune_MoveUp); // to the top level
  MoveNodeIcon(tree, Find("One"));
  EXPECT_EQ(Icon("One"), "One.png");
  EXPECT_EQ(Read("StationIcons/One.png"), "1");

  DoMethod(obj, MM_Melodune_MoveDown); // into Rock again; the drawer is made when missing
  std::filesystem::remove_all(icons / "Rock");
  MoveNodeIcon(tree, Find("Rock/One"));
  EXPECT_EQ(Icon("Rock/One"), "Rock/One.png");
  EXPECT_EQ(Read("StationIcons/Rock/One.png"), "1");
  MoveNodeIcon(tree, Find("Rock/Two")); // already in place, and missing: only its name matters
  EXPECT_EQ(Icon("Rock/Two"), "Rock/Two.png");
}

} // namespace
} // namespace editortest
