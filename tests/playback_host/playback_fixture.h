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
#include "reggae/reggae.h"
#include "support/clock_rate.h"
#include "support/icy_stream.h"
#include "support/plugin_host.h"
#include "testkit/server.h"

namespace playbacktest {

inline const std::string &Plugin = testsupport::MelodunePlugin;
inline const std::string NB = "\xA0";

using testsupport::Fixture;
using testsupport::Icy;

struct Station {
  std::string name, path;
};

class PlaybackHost : public testsupport::PluginHost {
protected:
  void SetUp() override {
    ASSERT_NO_FATAL_FAILURE(MakeRoot());
    platform::SetAudioDevice("null");
    // The port MELODUNE of this test alone (other test programs run at the same time).
    portDir = root + "/ports";
    std::filesystem::create_directory(portDir);
    std::filesystem::permissions(portDir, std::filesystem::perms::owner_all);
    setenv("MELODUNE_PORT_DIR", portDir.c_str(), 1);
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
    ASSERT_NO_FATAL_FAILURE(Launch());
    // The station list and its menu, loaded as the editor's "Load" does
    // with no editor open; on the GUI task, which this thread is.
    DoMethod(host.Bar(0), MM_Melodune_LoadStations);
    ASSERT_EQ(G->numStations.load(), static_cast<LONG>(stations.size()));
  }

  // A click on the gadget, and the menu answered with station i.
  void Choose(LONG i) {
    display.ChooseMenuUserData(static_cast<IPTR>(i) + MENU_FIRSTSTATION);
    platform::InputClick(host.Bar(0));
  }
  void RightButton() {
    const struct IBox box = host.BarBox(0);
    platform::InputMouseButton(host.Bar(0), MENUDOWN, static_cast<WORD>(box.Left + 1), static_cast<WORD>(box.Top + 1));
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

  // 5 s of watchdog are half a second here; connect time-outs stay seconds.
  testsupport::ClockRate clock{10};
  testkit::Server server;
  std::string portDir;
};

} // namespace playbacktest
