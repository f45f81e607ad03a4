// The ARexx interpreter against a station list of its own, with the GUI
// task's queue caught by an application that notes the player methods it
// is asked to run.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "Melodune.h"
#include "arexx/ARexx.h"
#include "dos/dos.h"
#include "exec/clock.h"
#include "stations/Stations.h"
#include "support/temp_root.h"

namespace {

std::mutex CallsLock;
std::vector<std::pair<IPTR, IPTR>> Calls; // method, first argument

IPTR RecorderDispatcher(struct IClass *cl, Object *obj, Msg msg) {
  const IPTR id = msg->MethodID;
  if (id >= MM_Melodune_First && id <= MM_Melodune_Last) {
    std::lock_guard l(CallsLock);
    Calls.emplace_back(id, reinterpret_cast<IPTR *>(msg)[1]);
    return 1;
  }
  return DoSuperMethodA(cl, obj, msg);
}

class ARexxCommands : public ::testing::Test {
protected:
  void SetUp() override {
    ASSERT_TRUE(platform::SetDosRoot(root));
    DeleteVar("Melodune_LastStation", GVF_GLOBAL_ONLY);
    platform::SetClockRate(200); // the 10 s load wait
    mcc = MUI_CreateCustomClass(nullptr, MUIC_Application, nullptr, 0, RecorderDispatcher);
    ASSERT_NE(mcc, nullptr);
    app = NewObject(mcc->mcc_Class, nullptr, TAG_DONE);
    ASSERT_NE(app, nullptr);
    ASSERT_EQ(_app(app), app);
    g.currObj = app;
    Calls.clear();
  }
  void TearDown() override {
    g.currObj = nullptr;
    g.Out = nullptr;
    g.recOut = nullptr;
    g.currStation = -1;
    g.recStation = -1;
    g.state = MELODUNE_STOPPED;
    g.isInSlaveRec = 0;
    g.title.Clear();
    g.recFileName.Clear();
    g.recDate.Clear();
    g.recTime.Clear();
    g.arexxProcess = nullptr;
    FreeStationList();
    if (app) MUI_DisposeObject(app);
    if (mcc) MUI_DeleteCustomClass(mcc);
    platform::SetClockRate(1);
  }

  void Stations(const std::vector<std::string> &names) {
    StationEntry *array = AllocStationArray(static_cast<LONG>(names.size()));
    ASSERT_NE(array, nullptr);
    for (size_t i = 0; i < names.size(); ++i) {
      array[i].name = StationTextCopy(names[i].c_str());
      array[i].icon = StationTextCopy("icon.png");
      array[i].stream = StationTextCopy("http://127.0.0.1:1/x");
    }
    InstallStationList(array, static_cast<LONG>(names.size()));
  }
  void Numbered(int n) {
    std::vector<std::string> names;
    for (int i = 0; i < n; ++i) names.push_back("Group/Station " + std::to_string(i));
    Stations(names);
  }

  std::pair<LONG, std::string> Run(const std::string &line) {
    const LONG rc = ExecuteARexxCommand(line.c_str());
    return {rc, ARexxResult()};
  }
  // The methods queued so far, once the GUI task has run them.
  std::vector<std::pair<IPTR, IPTR>> Queued() {
    PostToApplicationAndStop();
    std::lock_guard l(CallsLock);
    auto out = Calls;
    Calls.clear();
    return out;
  }
  void PostToApplicationAndStop() {
    Object *a = app;
    platform::PostToApplication(a, [a] { platform::StopApplication(a); });
    platform::RunApplicationLoop(a);
  }
  static std::pair<IPTR, IPTR> Action(IPTR choice) { return {MM_Melodune_MenuAction, choice}; }

  testsupport::TempRoot tmp{"melodune-arexx"};
  std::string root = tmp.path();
  struct MUI_CustomClass *mcc = nullptr;
  Object *app = nullptr;
};

std::vector<std::string> Lines(const std::string &text) {
  std::vector<std::string> lines;
  size_t start = 0;
  for (;;) {
    size_t end = text.find('\n', start);
    lines.push_back(text.substr(start, end - start));
    if (end == std::string::npos) return lines;
    start = end + 1;
  }
}

TEST_F(ARexxCommands, CommandWordsArePrefixesAndUnknownOnesFail) {
  const auto help = Run("HELP");
  EXPECT_EQ(help.first, 0);
  const auto lines = Lines(help.second);
  ASSERT_EQ(lines.size(), 23u);
  EXPECT_EQ(lines[0], "ARexxCommands for Melodune:");
  for (size_t empty : {3u, 9u, 14u, 17u, 20u}) EXPECT_EQ(lines[empty], "") << empty;
  EXPECT_EQ(lines[22], "  - get the current title, state (Playing, Stoped, Recording), station name or station list");
  EXPECT_NE(help.second.back(), '\n');

  EXPECT_EQ(Run(""), help) << "an empty word runs HELP";
  EXPECT_EQ(Run("h whatever"), help);
  EXPECT_EQ(Run("st").second, "Warning: Nothing plays!") << "ST is STOP";
  EXPECT_EQ(Run("mUtE").second, "Warning: Nothing plays!");
  EXPECT_EQ(Run("re").second, "Warning: Can't record if nothing plays!") << "RE is REC";

  for (const char *bad : {"FOO", "PLAYX 1", "RECORD", "GET BOGUS", "REC STOP STOP", "GET TITLE=1"}) {
    const auto r = Run(bad);
    EXPECT_EQ(r.first, 10) << bad;
    EXPECT_EQ(r.second, "") << bad;
  }
  EXPECT_TRUE(Queued().empty());
}

TEST_F(ARexxCommands, PlayByIndexClampsAndQueuesTheStation) {
  Numbered(10);
  EXPECT_EQ(Run("play 3"), std::make_pair(0, std::string("Playing Group/Station 3")));
  EXPECT_EQ(Run("PLAY 25").second, "Playing Group/Station 9");
  EXPECT_EQ(Run("PLAY -4").second, "Playing Group/Station 0");
  EXPECT_EQ(Queued(), (std::vector<std::pair<IPTR, IPTR>>{Action(10), Action(16), Action(7)}));

  // The current station answers without a reconnect.
  g.currStation = 3;
  EXPECT_EQ(Run("PLAY 3").second, "Playing Group/Station 3");
  EXPECT_TRUE(Queued().empty());
  EXPECT_EQ(Run("PLAY INFO").second, "");
  EXPECT_EQ(Queued(), (std::vector<std::pair<IPTR, IPTR>>{Action(MENU_STREAMINFO)}));
}

TEST_F(ARexxCommands, PlayByNamePrefersTheFullName) {
  Stations({"Rock/Radio X", "Talk/News: Live/24", "radio x", "Jazz: Smooth/Blue FM"});
  EXPECT_EQ(Run("PLAY radio x").second, "Playing radio x");
  EXPECT_EQ(Run("PLAY rock/RADIO X").second, "Playing Rock/Radio X");
  EXPECT_EQ(Run("PLAY blue fm").second, "Playing Jazz: Smooth/Blue FM") << "the part after the last '/'";
  EXPECT_EQ(Run("PLAY 24").second, "Playing Jazz: Smooth/Blue FM") << "a number is an index, not the name 24";
  EXPECT_EQ(Run("PLAY Nowhere FM").second, "Warning: Station 'Nowhere FM' not found!");
  EXPECT_EQ(Queued(), (std::vector<std::pair<IPTR, IPTR>>{Action(9), Action(7), Action(10), Action(10)}));

  // A huge unknown name is cut with the rest of the result.
  const std::string huge(3000, 'z');
  const auto r = Run("PLAY " + huge);
  EXPECT_EQ(r.second.size(), 2047u);
  EXPECT_EQ(r.second.rfind("Warning: Station 'zzz", 0), 0u);
}

TEST_F(ARexxCommands, NextAndPrevWrapAndNothingSelectedIsMissing) {
  Numbered(4);
  EXPECT_EQ(Run("PLAY").second, "Warning: An argument is missing!");
  EXPECT_EQ(Run("PLAY NEXT").second, "Playing Group/Station 0");
  EXPECT_EQ(Run("PLAY PREV").second, "Playing Group/Station 3");
  g.currStation = 3;
  EXPECT_EQ(Run("PLAY NEXT").second, "Playing Group/Station 0");
  g.currStation = 0;
  EXPECT_EQ(Run("PLAY PREV").second, "Playing Group/Station 3");
  EXPECT_EQ(Queued(), (std::vector<std::pair<IPTR, IPTR>>{Action(7), Action(10), Action(7), Action(10)}));
}

TEST_F(ARexxCommands, LastUsedFindsLongNamesAgain) {
  const std::string longName = "A rather long group/With a long station name in it";
  Stations({"Short", longName});
  EXPECT_EQ(Run("PLAY LAST").second, "Warning: No last station available!");
  ASSERT_NE(SetVar("Melodune_LastStation", longName.c_str(), -1, GVF_GLOBAL_ONLY), 0);
  EXPECT_EQ(Run("PLAY LASTUSED").second, "Playing " + longName);
  EXPECT_EQ(Queued(), (std::vector<std::pair<IPTR, IPTR>>{Action(8)}));

  // While playing, LASTUSED is the current station.
  int dummy = 0;
  g.Out = reinterpret_cast<Object *>(&dummy);
  g.currStation = 0;
  EXPECT_EQ(Run("PLAY LASTUSED").second, "Playing Short");
  EXPECT_TRUE(Queued().empty());
  g.Out = nullptr;
}

TEST_F(ARexxCommands, PlayInConnectionPhaseIsRefused) {
  Numbered(2);
  Object *sem = MUI_NewObject(MUIC_Semaphore, TAG_DONE);
  ASSERT_NE(sem, nullptr);
  g.arexxProcess = sem;
  std::thread holder([sem] { DoMethod(sem, MUIM_Semaphore_Obtain); });
  holder.join(); // the lock stays with the ended task's claim
  EXPECT_EQ(Run("PLAY 1").second, "Warning: In connection phase!");
  EXPECT_TRUE(Queued().empty());
  g.arexxProcess = nullptr;
  MUI_DisposeObject(sem);
}

TEST_F(ARexxCommands, NoStationListAfterTheWait) {
  const auto play = Run("PLAY 1");
  EXPECT_EQ(play, std::make_pair(0, std::string("Warning: No Stations available!")));
  EXPECT_EQ(Run("GET STATE").second, "Warning: No stations available!");
  EXPECT_EQ(Queued(), (std::vector<std::pair<IPTR, IPTR>>{{MM_Melodune_LoadStations, 0},
                                                         {MM_Melodune_LoadStations, 0}}));
}

TEST_F(ARexxCommands, GetAnswers) {
  Numbered(3);
  EXPECT_EQ(Run("GET").second, "Warning: An argument is missing!");
  EXPECT_EQ(Run("GET TITLE").second, "Warning: No title available!");
  g.title.Set("Now\xA0Playing:\xA0" "Band\xA0X");
  EXPECT_EQ(Run("GET TITLE STATE").second, "Now Playing: Band X") << "TITLE first";
  EXPECT_EQ(Run("GET STATE").second, "Stoped");
  g.state = MELODUNE_PLAYING;
  EXPECT_EQ(Run("GET STATE").second, "Playing");
  g.state = MELODUNE_RECORDING;
  EXPECT_EQ(Run("GET STATE").second, "Recording");
  g.state = 7;
  EXPECT_EQ(Run("GET STATE"), std::make_pair(0, std::string()));
  EXPECT_EQ(Run("GET STATION").second, "Warning: Nothing plays!");
  g.currStation = 2;
  EXPECT_EQ(Run("GET STATION").second, "Group/Station 2");
  EXPECT_EQ(Run("GET STATIONLIST").second, "Group/Station 0\nGroup/Station 1\nGroup/Station 2");
}

TEST_F(ARexxCommands, StationListIsCutAtWholeNames) {
  std::vector<std::string> names;
  for (int i = 0; i < 300; ++i) {
    char name[21];
    std::snprintf(name, sizeof name, "Station number %05d", i);
    names.push_back(name);
  }
  Stations(names);
  const std::string list = Run("GET LIST").second;
  EXPECT_EQ(list.size(), 2037u);
  const auto lines = Lines(list);
  ASSERT_EQ(lines.size(), 98u) << "97 names, each with its line feed";
  EXPECT_EQ(lines[96], names[96]);
  EXPECT_EQ(lines[97], "");

  // A title longer than the buffer is cut to 2047 characters.
  g.title.Set(std::string(4000, 'T').c_str());
  EXPECT_EQ(Run("GET TITLE").second.size(), 2047u);
}

TEST_F(ARexxCommands, RecStopAndMuteWarnings) {
  Numbered(2);
  EXPECT_EQ(Run("REC").second, "Warning: Can't record if nothing plays!");
  EXPECT_EQ(Run("STOP").second, "Warning: Nothing plays!");
  EXPECT_EQ(Run("MUTE").second, "Warning: Nothing plays!");

  int dummy = 0;
  g.Out = reinterpret_cast<Object *>(&dummy);
  g.isInSlaveRec = 1;
  EXPECT_EQ(Run("REC").second, "Warning: Busy, try again in a second!");
  g.isInSlaveRec = 0;
  EXPECT_EQ(Run("REC INFO").second, "Warning: Nothing is recording!");
  EXPECT_EQ(Run("REC STOP").second, "Warning: Nothing is recording!");
  EXPECT_TRUE(Queued().empty());
  EXPECT_EQ(Run("REC").second, "Preparing recording...");
  EXPECT_EQ(Run("STOP").second, "Stopped");
  EXPECT_EQ(Queued(), (std::vector<std::pair<IPTR, IPTR>>{Action(MENU_RECORD), Action(MENU_STOP)}));

  // Recording: INFO with the file's size; a plain REC stops.
  std::ofstream(root + "/RAM/rec.mp3") << std::string(1234, 'x');
  g.recOut = reinterpret_cast<Object *>(&dummy);
  g.Out = nullptr;
  g.recStation = 1;
  g.recDate.Set("07-12-26");
  g.recTime.Set("00:40:07");
  g.recFileName.Set("RAM:rec.mp3");
  EXPECT_EQ(Run("REC INFO").second,
            "Recording from 'Group/Station 1', since 07-12-26 (00:40:07), filesize: 1234 bytes");
  EXPECT_EQ(Run("REC STOP").second, "Stopping recording...");
  EXPECT_EQ(Queued(), (std::vector<std::pair<IPTR, IPTR>>{Action(MENU_RECORD)}));
  g.recFileName.Set("RAM:gone.mp3");
  EXPECT_EQ(Run("REC INFO").second,
            "Recording from 'Group/Station 1', since 07-12-26 (00:40:07), filesize: -1 bytes");
}

} // namespace
