// The recorder inside the real title-bar host and plug-in: what a person
// sees (bubbles, the menu item, requesters) and what stays on disk.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <functional>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "Melodune.h"
#include "dos/dos.h"
#include "exec/clock.h"
#include "host/host.h"
#include "host/test_display.h"
#include "mui/display.h"
#include "reggae/reggae.h"
#include "support/clock_rate.h"
#include "support/plugin_host.h"
#include "testkit/server.h"

namespace {

class RecordingHost : public testsupport::PluginHost {
protected:
  void SetUp() override {
    ASSERT_NO_FATAL_FAILURE(MakeRoot());
    platform::SetAudioDevice("null");
    testkit::Response r;
    r.status = "ICY 200 OK";
    r.auto_headers = false;
    r.body = testkit::read_file(std::string(MELODUNE_FIXTURE_DIR) + "/tone440_128k.mp3");
    r.loops = 0;
    r.rate = 64000;
    r.burst = 32000;
    r.header("content-type", "audio/mpeg");
    server.route("/live", r);
  }

  void Start(const std::string &name) {
    std::ofstream f(root + "/SYS/Data/Screenbar/Melodune/Stations.txt");
    f << "1\n" << name << "\n\n" << server.url("/live") << "\n#\n";
    f.close();
    ASSERT_NO_FATAL_FAILURE(Launch());
    DoMethod(host.Bar(0), MM_Melodune_LoadStations);
    ASSERT_EQ(G->numStations.load(), 1);
  }
  void Record() { Push(MM_Melodune_MenuAction, MENU_RECORD); }
  std::string RecordTitle() {
    IPTR title = 0;
    GetAttr(MUIA_Menuitem_Title, G->itemRecord.load(), &title);
    return title ? reinterpret_cast<CONST_STRPTR>(title) : "";
  }
  bool Idle() { return !G->isInSlaveRec.load(); }

  testsupport::ClockRate clock{10};
  testkit::Server server;
};

TEST_F(RecordingHost, ToggleWithoutAStationDoesNothing) {
  Start("Rock/Radio X");
  Record();
  host.RunFor(3000);
  EXPECT_EQ(G->recOut.load(), nullptr);
  EXPECT_EQ(display.BubbleCount(), 0u);
  EXPECT_EQ(display.RequestCount(), 0u);
}

TEST_F(RecordingHost, StartAndStopWithTheirTexts) {
  Start("Talk/News: Live/24");
  DoMethod(host.Application(), MUIM_Application_PushMethod, host.Bar(0), 2, MM_Melodune_MenuAction, 7);
  ASSERT_TRUE(Until([&] { return G->Out.load() && G->state.load() == MELODUNE_PLAYING; }));

  Record();
  ASSERT_TRUE(Until([&] { return G->recOut.load() && Idle() && RecordTitle() == "Stop Recording"; }));
  EXPECT_EQ(G->state.load(), MELODUNE_RECORDING);
  EXPECT_EQ(G->recStation.load(), 0);
  const std::string date = textGet(&G->recDate), time = textGet(&G->recTime);
  EXPECT_TRUE(std::regex_match(date, std::regex("\\d\\d-\\d\\d-\\d\\d"))) << date;
  EXPECT_TRUE(std::regex_match(time, std::regex("\\d\\d:\\d\\d:\\d\\d"))) << time;
  const std::string file = "RAM:Talk_News_ Live_24_" + date + "_" + time.substr(0, 2) + time.substr(3, 2) +
                           time.substr(6, 2) + ".mp3";
  EXPECT_EQ(textGet(&G->recFileName), file);
  EXPECT_EQ(BubblesWith("Preparing\xA0recording..."), 1u);
  ASSERT_TRUE(Until([&] { return BubblesWith("\33cStarted rec\x9bording to\n\33b" + file) == 1; }));
  const std::string onDisk = root + "/RAM/" + file.substr(4);
  ASSERT_TRUE(Until([&] { return std::filesystem::exists(onDisk) && std::filesystem::file_size(onDisk) > 0; }));

  Record();
  ASSERT_TRUE(Until([&] { return !G->recOut.load() && Idle() && RecordTitle() == "Record"; }));
  EXPECT_EQ(G->state.load(), MELODUNE_PLAYING) << "playback goes on";
  EXPECT_EQ(G->recStation.load(), -1);
  EXPECT_EQ(G->recSig.load(), -1);
  EXPECT_EQ(textGet(&G->recFileName), "");
  EXPECT_EQ(textGet(&G->recDate), "");
  EXPECT_TRUE(G->timerAdded.load()) << "the watchdog stays while playing";
  ASSERT_TRUE(Until([&] { return BubblesWith("Stoping\xA0recording...") == 1; }));
  ASSERT_TRUE(Until([&] { return display.LiveBubbleTexts().empty(); })) << "removed after a second";
  EXPECT_TRUE(std::filesystem::exists(onDisk)) << "the file stays";
  EXPECT_EQ(display.RequestCount(), 0u);
}

TEST_F(RecordingHost, FailedStartsWarnAndLeaveNothing) {
  Start("Jazz/Smooth");
  DoMethod(host.Application(), MUIM_Application_PushMethod, host.Bar(0), 2, MM_Melodune_MenuAction, 7);
  ASSERT_TRUE(Until([&] { return G->Out.load() && G->state.load() == MELODUNE_PLAYING; }));

  // A drawer that does not exist: the file output cannot be made.
  ASSERT_TRUE(host.SetConfig(CFG_RecordPath, std::string("RAM:NoSuchDrawer")));
  Record();
  ASSERT_TRUE(Until([&] { return display.RequestCount() == 1 && Idle(); }));
  auto req = display.Requests()[0];
  EXPECT_EQ(req.title, "Melodune.sbar: Warning");
  EXPECT_EQ(req.text.rfind("Failed to create file.output for 'RAM:NoSuchDrawer/Jazz_Smooth_", 0), 0u) << req.text;
  EXPECT_EQ(G->recOut.load(), nullptr);
  EXPECT_EQ(G->recBuffer.load(), nullptr);
  EXPECT_EQ(G->recStream.load(), nullptr);
  EXPECT_EQ(G->state.load(), MELODUNE_PLAYING);
  EXPECT_EQ(RecordTitle(), "Record");
  ASSERT_TRUE(Until([&] { return display.LiveBubbleTexts().empty(); })) << "Preparing... goes at once";

  // The station's server goes away: the recording stream cannot be made.
  ASSERT_TRUE(host.SetConfig(CFG_RecordPath, std::string("RAM:")));
  server.unroute("/live");
  server.route("/live", testkit::Response::error(404));
  Record();
  ASSERT_TRUE(Until([&] { return display.RequestCount() == 2 && Idle(); }));
  req = display.Requests()[1];
  EXPECT_EQ(req.text, "\33cFailed to create the recording http.stream!\n\nErrorCode = " +
                          std::to_string(MMERR_HTTP_ERROR) + " (" + MediaFault(MMERR_HTTP_ERROR) +
                          ")\nResponseCode = 404 (Client Error: Not Found)");
  EXPECT_EQ(G->recStream.load(), nullptr);
  EXPECT_EQ(G->state.load(), MELODUNE_PLAYING);
}

} // namespace
