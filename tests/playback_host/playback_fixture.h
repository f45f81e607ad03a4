// The real title-bar host with the built plug-in, against testkit stations:
// the fixture that chooses stations from the pop-up menu and follows what a
// person would see (bubbles, requesters, the menu) and what the player
// holds (g).
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "Melodune.h"
#include "dos/dos.h"
#include "exec/clock.h"
#include "host/host.h"
#include "host/test_display.h"
#include "mui/display.h"
#include "plugin_symbols.h"
#include "reggae/reggae.h"
#include "testkit/server.h"

namespace playbacktest {

inline const std::string Plugin = std::string(MELODUNE_BIN_DIR) + "/Melodune.sbar";
inline const std::string NB = "\xA0";

inline std::string Fixture(const char *name) { return std::string(MELODUNE_FIXTURE_DIR) + "/" + name; }

inline testkit::Response Icy(uint32_t metaint, std::vector<testkit::TitleChange> titles = {}) {
  testkit::Response r;
  r.status = "ICY 200 OK";
  r.auto_headers = false;
  r.body = testkit::read_file(Fixture("tone440_128k.mp3"));
  r.loops = 0;
  r.header("content-type", "audio/mpeg");
  if (metaint) {
    r.metaint_header = std::to_string(metaint);
    r.metaint = metaint;
  }
  r.titles = std::move(titles);
  return r;
}

struct Station {
  std::string name, path;
};

class PlaybackHost : public ::testing::Test {
protected:
  void SetUp() override {
    char tmpl[] = "/tmp/melodune-playback-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    root = tmpl;
    std::filesystem::copy(MELODUNE_SOURCE_DIR "/skeleton", root, std::filesystem::copy_options::recursive);
    ASSERT_TRUE(platform::SetDosRoot(root));
    platform::SetAudioDevice("null");
    // The port MELODUNE of this test alone (other test programs run at the same time).
    portDir = root + "/ports";
    std::filesystem::create_directory(portDir);
    std::filesystem::permissions(portDir, std::filesystem::perms::owner_all);
    setenv("MELODUNE_PORT_DIR", portDir.c_str(), 1);
    // 5 s of watchdog are half a second here; connect time-outs stay seconds.
    platform::SetClockRate(10);
  }

  void TearDown() override {
    waking = false;
    if (host.Started() || host.Loaded()) {
      EXPECT_TRUE(host.Shutdown());
    }
    platform::SetClockRate(1);
    std::error_code ec;
    std::filesystem::remove_all(root, ec);
  }

  void Start(const std::vector<Station> &stations) {
    std::vector<Station> withUrls;
    for (const Station &s : stations) withUrls.push_back({s.name, server.url(s.path)});
    StartWithUrls(withUrls);
  }
  // Stations with whole addresses (path holds the address).
  void StartWithUrls(const std::vector<Station> &stations) {
    std::ofstream f(root + "/SYS/Data/Screenbar/Melodune/Stations.txt");
    f << stations.size() << "\n";
    for (const Station &s : stations) f << s.name << "\n" << s.name << ".png\n" << s.path << "\n#\n";
    f.close();
    ASSERT_TRUE(host.Load(Plugin)) << host.Error();
    ASSERT_TRUE(host.Start()) << host.Error();
    G = static_cast<Globals *>(playbacktest::PluginSymbol(Plugin, "g"));
    ASSERT_NE(G, nullptr) << "the plug-in's g (is the build stripped?)";
    // The station list and its menu (their loading method comes with the
    // list's own issue); on the GUI task, which this thread is.
    auto load = reinterpret_cast<BOOL (*)()>(playbacktest::PluginSymbol(Plugin, "_Z15LoadStationListv"));
    auto build = reinterpret_cast<BOOL (*)()>(playbacktest::PluginSymbol(Plugin, "_Z16BuildStationMenuv"));
    ASSERT_TRUE(load && build);
    // SharedText's members live in the plug-in too (plain functions of `this`).
    textIsSet = reinterpret_cast<bool (*)(const SharedText *)>(
        playbacktest::PluginSymbol(Plugin, "_ZNK10SharedText5IsSetEv"));
    textGet = reinterpret_cast<std::string (*)(const SharedText *)>(
        playbacktest::PluginSymbol(Plugin, "_ZNK10SharedText3GetB5cxx11Ev"));
    ASSERT_TRUE(textIsSet && textGet);
    ASSERT_TRUE(load());
    ASSERT_TRUE(build());
    ASSERT_EQ(G->numStations.load(), static_cast<LONG>(stations.size()));
  }

  // A click on the gadget, and the menu answered with station i.
  void Choose(LONG i) {
    display.ChooseMenuUserData(static_cast<IPTR>(i) + MENU_FIRSTSTATION);
    platform::InputClick(host.Bar(0));
  }
  void Push(IPTR method, IPTR arg) {
    DoMethod(host.Application(), MUIM_Application_PushMethod, host.Bar(0), 2, method, arg);
  }
  void RightButton() {
    const struct IBox box = host.BarBox(0);
    platform::InputMouseButton(host.Bar(0), MENUDOWN, static_cast<WORD>(box.Left + 1), static_cast<WORD>(box.Top + 1));
  }

  // Runs the loop until pred holds; a helper keeps waking the loop, so that
  // things done on other tasks (the server, the workers) are seen at once.
  bool Until(const std::function<bool()> &pred, uint64_t realMs = 15000) {
    waking = true;
    std::thread waker([this] {
      while (waking) {
        platform::WakeApplication(host.Application());
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
      }
    });
    const bool ok = host.RunUntil(pred, realMs);
    waking = false;
    waker.join();
    return ok;
  }

  size_t BubblesWith(const std::string &text) {
    size_t n = 0;
    for (const auto &b : display.Bubbles()) n += b.text == text;
    return n;
  }
  bool Playing(LONG station) {
    return G->state.load() == MELODUNE_PLAYING && G->Out.load() && G->currStation.load() == station;
  }
  std::string MuteTitle() {
    IPTR title = 0;
    GetAttr(MUIA_Menuitem_Title, G->itemMute.load(), &title);
    return title ? reinterpret_cast<CONST_STRPTR>(title) : "";
  }
  IPTR OutAttr(IPTR attr) { return MediaGetPort(G->Out.load(), 0, attr); }
  bool ItemEnabled(Object *item) {
    IPTR on = 0;
    GetAttr(MUIA_Menuitem_Enabled, item, &on);
    return on != 0;
  }
  Object *StationItem(LONG i) {
    return reinterpret_cast<Object *>(DoMethod(G->menustrip.load(), MUIM_FindUData, static_cast<IPTR>(i) + 7));
  }

  testkit::Server server;
  platform::TestDisplay display;
  platform::DisplayScope scope{&display};
  platform::ScreenbarHost host;
  std::string root, portDir;
  Globals *G = nullptr;
  bool (*textIsSet)(const SharedText *) = nullptr;
  std::string (*textGet)(const SharedText *) = nullptr;
  std::atomic<bool> waking{false};
};

} // namespace playbacktest
