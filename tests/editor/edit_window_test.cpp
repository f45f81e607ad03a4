// The window: what the fields and buttons show for the selected node, edits
// written back into the tree, the icon chooser, and the dispatcher of the
// built plug-in reaching every handler.
#include <cstdio>
#include <iterator>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>

#include "editor_harness.h"
#include "gadgets/gadgets.h"

namespace editortest {
namespace {

using V = std::vector<std::string>;

const std::string kList =
    Lines({"2", "Rock/One", "Rock/one.png", "http://1", "Solo", "Work:Pics/solo.png", "http://s"});

class EditWindowTest : public EditorTest {
protected:
  std::string Field(std::atomic<Object *> &f) {
    auto *t = reinterpret_cast<CONST_STRPTR>(xget(f.load(), MUIA_String_Contents));
    return t ? t : "";
  }
  std::string Preview() { return reinterpret_cast<CONST_STRPTR>(xget(g.editIcon.load(), MUIA_Text_Contents)); }
  // Opens the icon chooser; the person picks drawer/file.
  void Choose(const std::string &drawer, const std::string &file) {
    screen.aslAnswer = platform::AslAnswer{drawer, file};
    DoMethod(platform::ObjectParent(g.editIconName.load()), MUIM_Popstring_Open);
  }
};

TEST_F(EditWindowTest, FieldsFollowTheSelection) {
  Write("StationIcons/Rock/one.png", "png");
  OpenWith(kList);
  EXPECT_EQ(xget(g.editWin.load(), MUIA_Window_ID), 0x4D444348u);
  EXPECT_TRUE(Disabled(g.editApply.load()));
  EXPECT_TRUE(Disabled(g.editName.load()));
  EXPECT_EQ(platform::ListRows(tree)[0], (V{"Name", "Icon", "Stream"}));

  Select(Find("Rock/One"));
  EXPECT_EQ(Field(g.editName) + "|" + Field(g.editIconName) + "|" + Field(g.editStream), "One|Rock/one.png|http://1");
  EXPECT_EQ(Preview(), "\33I[4:sys:Data/Screenbar/Melodune/StationIcons/Rock/one.png]");
  EXPECT_FALSE(Disabled(g.editTest.load()));
  EXPECT_FALSE(Disabled(g.editStream.load()));

  Select(Find("Rock")); // a group: only its name can be edited
  EXPECT_EQ(Field(g.editName) + "|" + Field(g.editIconName) + "|" + Field(g.editStream), "Rock|Rock.info|");
  EXPECT_TRUE(Disabled(g.editIconName.load()));
  EXPECT_TRUE(Disabled(g.editStream.load()));
  EXPECT_TRUE(Disabled(g.editTest.load()));
  EXPECT_TRUE(Disabled(g.editClone.load()));
  EXPECT_FALSE(Disabled(g.editName.load()));
  EXPECT_EQ(Preview(), "\33I[4:sys:Data/Screenbar/Melodune/StationIcons/_empty.png]"); // no such icon
  EXPECT_TRUE(Disabled(g.editApply.load())); // showing is no edit

  Select(nullptr);
  EXPECT_TRUE(Disabled(g.editName.load()));
  EXPECT_TRUE(Disabled(g.editRemove.load()));
  EXPECT_EQ(Field(g.editName), "");
}

TEST_F(EditWindowTest, TypingChangesTheTreeAtOnce) {
  OpenWith(kList);
  Select(Find("Solo"));
  platform::StringType(g.editStream.load(), "http://new", false);
  EXPECT_EQ(platform::ListRows(tree).back(), (V{"Solo", "Work:Pics/solo.png", "http://new"}));
  EXPECT_FALSE(Disabled(g.editApply.load()));
  platform::StringType(g.editName.load(), std::string(40, 'n'), false);
  EXPECT_EQ(std::string(Find(std::string(31, 'n'))->tn_Name).size(), 31u);

  // Opening again keeps the edited tree.
  DoMethod(obj, MM_Melodune_EditStations);
  EXPECT_EQ(g.editTree.load(), tree);
  EXPECT_NE(Find(std::string(31, 'n')), nullptr);

  // The arrows repeat while held: each tick of the timer is one step.
  Select(Find("Rock/One"));
  platform::TriggerNotify(g.editDown.load(), MUIA_Timer, 1);
  platform::TriggerNotify(g.editDown.load(), MUIA_Timer, 2);
  EXPECT_EQ(Names(nullptr), (V{"Rock", std::string(31, 'n'), "One"}));

  SetAttrs(g.editDnDSort.load(), MUIA_Selected, TRUE, TAG_DONE);
  EXPECT_TRUE(xget(tree, MUIA_Listtree_DragDropSort));
  EXPECT_EQ(xget(tree, MUIA_List_DragType), static_cast<IPTR>(MUIV_List_DragType_Immediate));
  SetAttrs(g.editDnDSort.load(), MUIA_Selected, FALSE, TAG_DONE);
  EXPECT_FALSE(xget(tree, MUIA_Listtree_DragDropSort));
  EXPECT_FALSE(xget(tree, MUIA_List_ShowDropMarks));
}

TEST_F(EditWindowTest, TheIconChooserNamesIconsInsideTheIconDrawer) {
  Write("StationIcons/Rock/one.png", "png");
  OpenWith(kList);
  Select(Find("Rock/One"));
  Choose("SYS:data/screenbar/melodune/stationicons/Rock", "two.png");
  EXPECT_EQ(screen.asls.back().drawer, "sys:Data/Screenbar/Melodune/StationIcons/Rock/");
  EXPECT_EQ(screen.asls.back().file, "one.png");
  EXPECT_EQ(screen.asls.back().pattern, "*.png");
  EXPECT_EQ(screen.asls.back().title, "Melodune.sbar: Choose an image for this station");
  EXPECT_EQ(Field(g.editIconName), "Rock/two.png");
  EXPECT_EQ(platform::ListRows(tree)[2][1], "Rock/two.png"); // written into the node

  Choose("sys:Data/Screenbar/Melodune/StationIcons", "top.png");
  EXPECT_EQ(Field(g.editIconName), "top.png");

  Select(Find("Solo"));
  Choose("Work:Pics", "other.png");
  EXPECT_EQ(screen.asls.back().drawer, "Work:Pics");
  EXPECT_EQ(Field(g.editIconName), "Work:Pics/other.png");
}

TEST_F(EditWindowTest, TestPlaysTheSelectedStationThroughTheSpareSlot) {
  OpenWith(kList);
  Select(Find("Rock/One"));
  DoMethod(obj, MM_Melodune_TestStation);
  std::string name, stream;
  ASSERT_TRUE(GetStation(2, &name, nullptr, &stream));
  EXPECT_EQ(name + " " + stream, "One http://1");
  EXPECT_EQ(StationCount(), 2);
}

std::string Output(const std::string &command) {
  std::string out;
  FILE *p = popen(command.c_str(), "r");
  if (!p) return out;
  char line[4096];
  while (fgets(line, sizeof line, p)) out += line;
  pclose(p);
  return out;
}

// Every handler of the dispatcher table is defined exactly once among the
// plug-in's objects, and the built plug-in has it.
TEST(PluginHandlers, EveryTableEntryReachesItsOneDefinition) {
  std::ifstream table(MELODUNE_SOURCE_DIR "/core/Melodune_sbar.cpp");
  std::stringstream text;
  text << table.rdbuf();
  std::string src = text.str();
  std::regex entry(R"(set\((MM_Melodune_\w+|0x80CA00\w\w), (Melodune_\w+)\))");
  std::set<std::string> handlers;
  for (std::sregex_iterator it(src.begin(), src.end(), entry), end; it != end; ++it) handlers.insert((*it)[2]);
  ASSERT_GT(handlers.size(), 30u);

  // Objects of sources that still exist (a removed source leaves its object behind).
  std::string objects;
  // The plug-in is linked from one object library of all its folders (melodune_plugin).
  std::istringstream all(Output("find " MELODUNE_BIN_DIR "/../core/CMakeFiles -path '*/melodune_plugin.dir/*' -name '*.o' | "
                                "xargs nm -A -C --defined-only"));
  const std::string marker = ".dir/";
  for (std::string line; std::getline(all, line);) {
    size_t lib = line.find("CMakeFiles/melodune_plugin");
    size_t at = lib == std::string::npos ? lib : line.find(marker, lib), colon = line.find(".o:");
    if (at == std::string::npos || colon == std::string::npos) continue;
    std::string source = line.substr(at + marker.size(), colon - at - marker.size());
    if (source.rfind("__/", 0) == 0) source = source.substr(3);
    else source = "core/" + source;
    if (std::ifstream(MELODUNE_SOURCE_DIR "/" + source)) objects += line + "\n";
  }
  const std::string plugin = Output("nm -C --defined-only " MELODUNE_BIN_DIR "/Melodune.sbar");
  ASSERT_FALSE(objects.empty());
  ASSERT_FALSE(plugin.empty());
  size_t defined = 0;
  for (const std::string &h : handlers) {
    std::regex def(" [TtWw] " + h + R"(\(IClass\*, void\*, _Msg\*\)\n)");
    auto n = std::distance(std::sregex_iterator(objects.begin(), objects.end(), def), std::sregex_iterator());
    EXPECT_LE(n, 1) << h << " is defined more than once: a stand-in may shadow it";
    if (n == 1) {
      ++defined;
      EXPECT_TRUE(std::regex_search(plugin, def)) << h << " is not in the plug-in";
    }
  }
  for (const char *own : {"Melodune_EditStations", "Melodune_ShowStation", "Melodune_UpdateStation",
                          "Melodune_AddStation", "Melodune_NewGroup", "Melodune_CloneStation", "Melodune_MoveUp",
                          "Melodune_MoveDown", "Melodune_RemoveNode", "Melodune_DragDropSort",
                          "Melodune_LoadStations", "Melodune_ApplyStations", "Melodune_SaveStations",
                          "Melodune_TestStation"}) {
    EXPECT_TRUE(handlers.count(own)) << own << " is not in the table";
    EXPECT_TRUE(std::regex_search(objects, std::regex(std::string(" [TtWw] ") + own + R"(\(IClass)"))) << own;
  }
  EXPECT_GE(defined, 30u); // core, playback, recording, ARexx, stations and the editor
}

} // namespace
} // namespace editortest
