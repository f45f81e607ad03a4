// The title actions, the window's screen and the bar's tooltip in the real
// title-bar host and plug-in, and the text helpers they rest on. What the
// window shows of a playing stream is the browser test's (streaminfo.test.mjs).
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "Melodune.h"
#include "dos/dos.h"
#include "dos/system.h"
#include "exec/clock.h"
#include "host/host.h"
#include "host/test_display.h"
#include "mui/display.h"
#include "streaminfo/PercentEncode.h"
#include "streaminfo/TitleText.h"
#include "support/clock_rate.h"
#include "support/env_var.h"
#include "support/plugin_host.h"

namespace {

const std::string NB = "\xA0";

std::string Encode(const std::string &in, ULONG max) {
  std::string out(max + 1, 'X');
  const ULONG n = PercentEncode(in.c_str(), out.data(), max);
  EXPECT_EQ(out[n], '\0');
  return out.substr(0, n);
}

TEST(PercentEncode, TableBoundAndCut) {
  // The 21 reserved bytes (two of them blanks), then what is copied as it is.
  EXPECT_EQ(Encode("\xA0 !*'();:@&=+$,/?%#[]", 100), "%20%20%21%2A%27%28%29%3B%3A%40%26%3D%2B%24%2C%2F%3F%25%23%5B%5D");
  EXPECT_EQ(Encode("Caf\xE9 \"Live\"-_.~<>|\\^`{}", 100), "Caf\xE9%20\"Live\"-_.~<>|\\^`{}");
  EXPECT_EQ(Encode("Artist - Song", 39), "Artist%20-%20Song");
  // At most the bound; a code that does not fit is cut there.
  EXPECT_EQ(Encode("abcdef", 4), "abcd");
  EXPECT_EQ(Encode("a b", 3), "a%2");
  EXPECT_EQ(Encode("a b", 1), "a");
  EXPECT_EQ(Encode("", 5), "");
  char out[4] = "xyz";
  EXPECT_EQ(PercentEncode(nullptr, out, 3), 0u);
  EXPECT_STREQ(out, "");
}

TEST(TitleText, TitlePartQuotingAndVideoHost) {
  EXPECT_STREQ(TitlePartOf("Rock/Radio X: Artist - Song"), "Artist - Song");
  // The first ": " ends the station, even inside the station's own name.
  EXPECT_STREQ(TitlePartOf("Talk/News: Live: Now"), "Live: Now");
  EXPECT_STREQ(TitlePartOf("no separator"), "no separator");

  EXPECT_EQ(QuotedArgument("a \"b\" *c\nd"), "\"a *\"b*\" **c*Nd\"");
  EXPECT_EQ(QuotedArgument("ends with *"), "\"ends with **\"");

  unsetenv("MELODUNE_VIDEO_SITE");
  EXPECT_EQ(VideoSiteHost(), "www.youtube.com");
  setenv("MELODUNE_VIDEO_SITE", "127.0.0.1:8080", 1);
  EXPECT_EQ(VideoSiteHost(), "127.0.0.1:8080");
  setenv("MELODUNE_VIDEO_SITE", "evil.example/\" x", 1);
  EXPECT_EQ(VideoSiteHost(), "www.youtube.com");
  unsetenv("MELODUNE_VIDEO_SITE");
}

using testsupport::EnvVar;

class StreamInfoHost : public testsupport::PluginHost {
protected:
  void SetUp() override { ASSERT_NO_FATAL_FAILURE(MakeRoot()); }
  void TearDown() override {
    if (G) {
      // Fields a test set by hand must not reach the clean-up.
      G->Out = nullptr;
      G->recOut = nullptr;
    }
    PluginHost::TearDown();
  }

  // One station that is never connected here.
  void Start(const std::string &name) {
    std::ofstream f(root + "/SYS/Data/Screenbar/Melodune/Stations.txt");
    f << "1\n" << name << "\n\nhttp://127.0.0.1:9/none\n#\n";
    f.close();
    ASSERT_NO_FATAL_FAILURE(Launch());
    DoMethod(host.Bar(0), MM_Melodune_LoadStations);
    ASSERT_EQ(G->numStations.load(), 1);
  }

  // The name the Stream Info window gives station i, as its recording line
  // shows it while a recording runs (recOut stands in for one); the window
  // is closed again and the fields left as they were.
  std::string stationName(LONG i) {
    DoMethod(host.Bar(0), MM_Melodune_StreamInfoWindow);
    EXPECT_TRUE(WindowOpen());
    Object *const out = G->recOut.load();
    const LONG station = G->recStation.load();
    G->recOut = G->menustrip.load();
    G->recStation = i;
    DoMethod(host.Bar(0), MM_Melodune_UpdateStreamInfo);
    auto text = reinterpret_cast<CONST_STRPTR>(Attr(G->siRecStation.load(), MUIA_Text_Contents));
    const std::string name = text ? text : "";
    G->recOut = out;
    G->recStation = station;
    SetAttrs(G->streamInfoWin.load(), MUIA_Window_Open, FALSE);
    return name;
  }

  bool WindowOpen() { return G->streamInfoWin.load() && Attr(G->streamInfoWin.load(), MUIA_Window_Open); }
  // Entry rows of a list (the title row left out).
  static std::vector<std::vector<std::string>> Rows(Object *list) {
    bool title = false;
    auto rows = platform::ListRows(list, &title);
    if (title && !rows.empty()) rows.erase(rows.begin());
    return rows;
  }
  std::vector<std::string> History() {
    std::vector<std::string> out;
    for (auto &r : Rows(G->siTitleList.load()))
      out.push_back(r[0]);
    return out;
  }
  std::string MenuTitle() {
    auto item = reinterpret_cast<Object *>(DoMethod(G->menustrip.load(), MUIM_FindUData, MENU_FIRSTSTATION));
    auto t = reinterpret_cast<CONST_STRPTR>(Attr(item, MUIA_Menuitem_Title));
    return t ? t : "";
  }
  std::string Tooltip() {
    const size_t before = display.ShortHelps().size();
    platform::InputShowShortHelp(host.Bar(0), 1, 1);
    EXPECT_TRUE(Until([&] { return display.ShortHelps().size() > before; }));
    platform::InputHideShortHelp(host.Bar(0));
    host.RunFor(20);
    return display.ShortHelps().back();
  }

  testsupport::ClockRate clock{10};
};

TEST_F(StreamInfoHost, TitleActionsHandTheTitleOutAsData) {
  EnvVar noX("DISPLAY", nullptr), noWayland("WAYLAND_DISPLAY", nullptr);
  // A fake desktop opener that notes how many arguments it got and the first.
  const std::string bin = root + "/bin", seen = root + "/opener";
  std::filesystem::create_directory(bin);
  {
    std::ofstream f(bin + "/xdg-open");
    f << "#!/bin/sh\nprintf '%s' \"$#\" > '" << seen << ".argc'\nprintf '%s' \"$1\" > '" << seen << "'\n";
  }
  chmod((bin + "/xdg-open").c_str(), 0755);
  const std::string path = bin + ":" + (getenv("PATH") ? getenv("PATH") : "");
  EnvVar p("PATH", path.c_str()), site("MELODUNE_VIDEO_SITE", "video.test");
  Start("Rock/Radio X");

  DoMethod(host.Bar(0), MM_Melodune_MenuAction, MENU_STREAMINFO);
  ASSERT_TRUE(WindowOpen());
  Object *list = G->siTitleList.load();
  auto choose = [&](IPTR userData) {
    auto item = reinterpret_cast<Object *>(DoMethod(G->siTitleMenu.load(), MUIM_FindUData, userData));
    ASSERT_NE(item, nullptr);
    DoMethod(list, MUIM_ContextMenuChoice, item);
    platform::WaitAsyncCommands();
  };
  auto read = [](const std::string &file) {
    std::ifstream f(file);
    return std::string(std::istreambuf_iterator<char>(f), {});
  };

  const std::string title = "Artist" + NB + "-" + NB + "Song";
  // No station: a title is not kept.
  SetAttrs(G->siTitle.load(), MUIA_Text_Contents, title.c_str());
  EXPECT_TRUE(History().empty());
  G->currStation = 0;
  SetAttrs(G->siTitle.load(), MUIA_Text_Contents, title.c_str());
  EXPECT_EQ(History(), std::vector<std::string>{"Rock/Radio X: Artist" + NB + "-" + NB + "Song"});

  platform::AreaClick(G->siTitle.load()); // this is the GUI task
  platform::WaitAsyncCommands();
  EXPECT_EQ(read(seen), "https://video.test/results?search_query=Artist%20-%20Song");

  // A title that tries to be more than a title.
  const std::string nasty = "Say \"Hi\"*; ls | $(touch " + root + "/pwned) `id`\nnext";
  std::string shown = nasty;
  for (char &c : shown)
    if (c == ' ') c = '\xA0';
  SetAttrs(G->siTitle.load(), MUIA_Text_Contents, shown.c_str());
  ASSERT_EQ(History().size(), 2u);

  // Nothing active: nothing copied.
  choose(2);
  EXPECT_FALSE(std::filesystem::exists(root + "/T/Clipboard"));
  SetAttrs(list, MUIA_List_Active, 1);
  choose(2);
  EXPECT_EQ(read(root + "/T/Clipboard"), nasty) << "the title part, plain spaces";
  SetAttrs(list, MUIA_List_Active, 0);
  choose(2);
  EXPECT_EQ(read(root + "/T/Clipboard"), "Artist - Song");

  SetAttrs(list, MUIA_List_Active, 1);
  choose(1);
  std::string rootCode = root;
  for (size_t i = 0; (i = rootCode.find('/', i)) != std::string::npos;)
    rootCode.replace(i, 1, "%2F");
  EXPECT_EQ(read(seen), "https://video.test/results?search_query=Say%20\"Hi\"%2A%3B%20ls%20|%20%24%28touch%20" +
                            rootCode + "%2Fpwned%29%20`id`%0Anext");
  EXPECT_EQ(read(seen + ".argc"), "1") << "one argument";
  EXPECT_FALSE(std::filesystem::exists(root + "/pwned"));

  choose(3);
  EXPECT_TRUE(History().empty());
  choose(3); // an empty list stays empty
  EXPECT_TRUE(History().empty());
}

TEST_F(StreamInfoHost, WindowFollowsTheBarToItsScreen) {
  Start("Rock/Radio X");
  platform::ScreenOptions other;
  other.title = "Other Screen";
  ASSERT_TRUE(host.AddBar(other));
  DoMethod(host.Bar(0), MM_Melodune_StreamInfoWindow);
  Object *win = G->streamInfoWin.load();
  ASSERT_TRUE(WindowOpen());
  EXPECT_EQ(Attr(win, MUIA_Window_Screen), reinterpret_cast<IPTR>(host.BarScreen(0)));
  display.Clear();
  DoMethod(host.Bar(1), MM_Melodune_StreamInfoWindow);
  EXPECT_EQ(G->streamInfoWin.load(), win) << "built once";
  EXPECT_EQ(Attr(win, MUIA_Window_Screen), reinterpret_cast<IPTR>(host.BarScreen(1)));
  EXPECT_EQ(display.Events(),
            (std::vector<std::string>{"window- Melodune: Stream Info", "window+ Melodune: Stream Info"}));
}

TEST_F(StreamInfoHost, TooltipTellsWhatPlays) {
  Start("Rock/Radio X");
  EXPECT_EQ(Tooltip(), "\33cHello I'm your Melodune! Please select a radio station from the pop-up menu!");
  G->newVersionAvailable = 1;
  EXPECT_EQ(Tooltip(), "\33cHello I'm your Melodune!\nPlease select a radio station from the pop-up menu!"
                       "\33n\nBtw, there is a new version available!");
  G->newVersionAvailable = 0;

  // The states as the player leaves them (these objects are never called).
  Object *fake = G->menustrip.load();
  G->currStation = 0;
  G->Out = fake;
  const std::string name = MenuTitle();
  EXPECT_EQ(stationName(0), name);
  EXPECT_EQ(stationName(-1), "---");
  EXPECT_EQ(stationName(5), "");
  EXPECT_EQ(Tooltip(), "\33cListening" + NB + "to" + NB + name);
  textSet(&G->title, ("Artist" + NB + "Song").c_str());
  EXPECT_EQ(Tooltip(), "\33cListening" + NB + "to" + NB + name + "\nCurrent title is \33bArtist" + NB + "Song");

  {
    std::ofstream f(root + "/RAM/rec.mp3");
    f << std::string(12345, 'x');
  }
  textSet(&G->recFileName, "RAM:rec.mp3");
  textSet(&G->recDate, "08-12-26");
  textSet(&G->recTime, "23:59:01");
  G->recStation = 0;
  G->recOut = fake;
  G->newVersionAvailable = 1;
  EXPECT_EQ(Tooltip(), "\33cListening to " + name + "\nCurrent title is \33bArtist" + NB + "Song\33n\nRecording from " +
                           name +
                           "\nsince 08-12-26 (23:59:01), filesize: 12345 bytes\33n\nBtw, there is a new "
                           "version available!");
  G->newVersionAvailable = 0;
  G->Out = nullptr;
  EXPECT_EQ(Tooltip(), "\33cRecording from " + name + "\nsince 08-12-26 (23:59:01), filesize: 12345 bytes");
  std::filesystem::remove(root + "/RAM/rec.mp3");
  EXPECT_EQ(Tooltip(), "\33cRecording from " + name + "\nsince 08-12-26 (23:59:01), filesize: -1 bytes");
  G->recOut = nullptr;
  G->currStation = -1;
  G->recStation = -1;
}

} // namespace
