// The in-process host with the test plug-in TestBar.sbar: library life,
// bars on several screens, configuration items, the preferences panel and
// the orderly shutdown.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <thread>

#include "dos/dos.h"
#include "exec/clock.h"
#include "exec/exec.h"
#include "host/host.h"
#include "host/test_display.h"
#include "mui/mui.h"
#include "plugin/test_bar.h"
#include "support/temp_root.h"

namespace fs = std::filesystem;
using platform::ConfigValue;
using platform::ScreenbarHost;

namespace {

std::string BinFile(const char *name) { return std::string(MELODUNE_BIN_DIR) + "/" + name; }
const std::string kTestBar = BinFile("TestBar.sbar");

IPTR Get(Object *obj, IPTR attr) {
  IPTR v = 0;
  GetAttr(attr, obj, &v);
  return v;
}
std::string Text(Object *obj, IPTR attr) {
  auto *p = reinterpret_cast<const char *>(Get(obj, attr));
  return p ? p : "";
}

bool IsLoaded(const std::string &path) {
  void *h = dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD);
  if (h) dlclose(h);
  return h != nullptr;
}

// Holds the plug-in mapped so that its counters can be read after the host
// has let go of it.
class Stats {
public:
  Stats() : handle_(dlopen(kTestBar.c_str(), RTLD_NOW | RTLD_NOLOAD)) {
    if (handle_) get_ = reinterpret_cast<TestBarGetStatsFunc>(dlsym(handle_, "TestBarGetStats"));
  }
  ~Stats() {
    if (handle_) dlclose(handle_);
  }
  const TestBarStats *operator->() const { return get_(); }
  bool ok() const { return get_ != nullptr; }

private:
  void *handle_;
  TestBarGetStatsFunc get_ = nullptr;
};

class HostTest : public ::testing::Test {
protected:
  void SetUp() override {
    ASSERT_TRUE(platform::SetDosRoot(root));
  }
  // Loads TestBar and starts it on n screens.
  void Start(ScreenbarHost &host, int n = 1) {
    ASSERT_TRUE(host.Load(kTestBar)) << host.Error();
    platform::ScreenbarHostOptions o;
    o.screens = n;
    ASSERT_TRUE(host.Start(o)) << host.Error();
  }
  uint32_t Centre(ScreenbarHost &host, size_t i) {
    struct IBox b = host.BarBox(i);
    return platform::ScreenBarTarget(host.BarScreen(i))->Pixel(b.Left + b.Width / 2, b.Top + b.Height / 2);
  }
  std::string PrefsFile() { return root + "/ENVARC/Screenbar/TestBar.prefs"; }

  testsupport::TempRoot tmp{"host-test"};
  std::string root = tmp.path();
  platform::TestDisplay display;
  platform::DisplayScope scope{&display};
};

TEST_F(HostTest, BarsAreSetUpPlacedDrawnAndTakenDownInOrder) {
  size_t tasksBefore = platform::LiveTaskCount();
  {
    ScreenbarHost host;
    Start(host, 2);
    Stats stats;
    ASSERT_TRUE(stats.ok());
    EXPECT_EQ(host.Credit(), "TestBar 1.0, a plug-in for the host's tests");
    EXPECT_EQ(host.PluginName(), "TestBar");
    ASSERT_EQ(host.BarCount(), 2u);
    for (size_t i = 0; i < 2; ++i) {
      Object *bar = host.Bar(i);
      EXPECT_EQ(Get(bar, TESTBAR_A_SETUPS), 1u);
      EXPECT_EQ(_app(bar), host.Application());
      EXPECT_EQ(_win(bar), host.BarWindow(i));
      EXPECT_EQ(_screen(bar), host.BarScreen(i));
      ASSERT_NE(_rp(bar), nullptr);
      // A square of the bar's height at the right end of the title bar.
      struct IBox b = host.BarBox(i);
      EXPECT_EQ(b.Width, 20);
      EXPECT_EQ(b.Height, 20);
      EXPECT_EQ(b.Top, 0);
      EXPECT_EQ(b.Left + b.Width + host.BarScreen(i)->BarHBorder, host.BarScreen(i)->Width);
      EXPECT_GE(Get(bar, TESTBAR_A_DRAWS), 1u);
      EXPECT_EQ(Centre(host, i), TESTBAR_COLOR_ON);
    }
    EXPECT_STREQ(stats->log, "setup:Workbench Screen 1;setup:Workbench Screen 2;");
    EXPECT_NE(FindPort("TESTBAR"), nullptr);
    EXPECT_EQ(platform::LiveTaskCount(), tasksBefore + 1); // the plug-in's worker

    EXPECT_TRUE(host.Shutdown()) << host.Error();
    // The first bar (the main instance) is cleaned up last.
    EXPECT_STREQ(stats->log, "setup:Workbench Screen 1;setup:Workbench Screen 2;"
                             "cleanup:Workbench Screen 2;cleanup:Workbench Screen 1;");
    EXPECT_EQ(stats->live, 0);
    EXPECT_EQ(stats->opens, 1);
    EXPECT_EQ(stats->closes, 1);
    EXPECT_EQ(host.BarCount(), 0u);
    EXPECT_EQ(host.Application(), nullptr);
    EXPECT_FALSE(host.Loaded());
  }
  EXPECT_EQ(platform::LiveTaskCount(), tasksBefore);
  EXPECT_EQ(FindPort("TESTBAR"), nullptr);
  EXPECT_FALSE(IsLoaded(kTestBar));
}

TEST_F(HostTest, ScreensMayHaveTheirOwnBarHeight) {
  ScreenbarHost host;
  ASSERT_TRUE(host.Load(kTestBar));
  platform::ScreenbarHostOptions o;
  o.screens = 2;
  o.perScreen.resize(1);
  o.perScreen[0].barHeight = 16;
  o.perScreen[0].title = "Small";
  ASSERT_TRUE(host.Start(o)) << host.Error();
  EXPECT_EQ(host.BarBox(0).Height, 16);
  EXPECT_EQ(host.BarBox(1).Height, 20);
  EXPECT_STREQ(host.BarScreen(0)->Title, "Small");
  EXPECT_TRUE(host.Shutdown());
}

TEST_F(HostTest, BarsCanBeCleanedUpSetUpAddedAndRemovedOneByOne) {
  ScreenbarHost host;
  Start(host, 2);
  Stats stats;
  Object *second = host.Bar(1);
  ASSERT_TRUE(host.CleanupBar(0));
  EXPECT_FALSE(host.BarIsSetUp(0));
  EXPECT_EQ(_rp(host.Bar(0)), nullptr);
  EXPECT_TRUE(host.SetConfig(TESTBAR_CFG_NUMBER, LONG{0})); // only set-up bars hear of it
  EXPECT_EQ(Get(host.Bar(0), TESTBAR_A_CHANGES), 0u);
  EXPECT_EQ(Get(second, TESTBAR_A_CHANGES), 1u);
  ASSERT_TRUE(host.SetupBar(0));
  EXPECT_EQ(Get(host.Bar(0), TESTBAR_A_SETUPS), 2u);
  EXPECT_EQ(Centre(host, 0), TESTBAR_COLOR_OFF); // read again at the new set-up
  ASSERT_TRUE(host.RemoveBar(0));
  ASSERT_EQ(host.BarCount(), 1u);
  EXPECT_EQ(host.Bar(0), second);
  platform::ScreenOptions third;
  third.title = "Third";
  ASSERT_TRUE(host.AddBar(third));
  EXPECT_EQ(host.BarCount(), 2u);
  EXPECT_TRUE(host.BarIsSetUp(1));
  EXPECT_FALSE(host.RemoveBar(5));
  EXPECT_TRUE(host.Shutdown());
  EXPECT_STREQ(stats->log, "setup:Workbench Screen 1;setup:Workbench Screen 2;cleanup:Workbench Screen 1;"
                           "setup:Workbench Screen 1;cleanup:Workbench Screen 1;setup:Third;"
                           "cleanup:Third;cleanup:Workbench Screen 2;");
  EXPECT_EQ(stats->live, 0);
}

TEST_F(HostTest, LibrariesThatCannotBeUsedGiveAClearError) {
  ScreenbarHost host;
  EXPECT_FALSE(host.Start());
  EXPECT_EQ(host.Error(), "no plug-in loaded");

  EXPECT_FALSE(host.Load(BinFile("TestBarBroken.sbar")));
  EXPECT_EQ(host.Error(), "TestBarBroken.sbar: the library did not open (its class could not be made)");
  EXPECT_FALSE(host.Loaded());
  EXPECT_EQ(host.Class(), nullptr);
  EXPECT_FALSE(IsLoaded(BinFile("TestBarBroken.sbar")));

  EXPECT_FALSE(host.Load(root + "/Missing.sbar"));
  EXPECT_NE(host.Error().find("cannot be loaded"), std::string::npos) << host.Error();
  EXPECT_FALSE(host.Load(BinFile("libplatform.so")));
  EXPECT_NE(host.Error().find("no Screenbar plug-in"), std::string::npos) << host.Error();

  // The host is still usable afterwards.
  ASSERT_TRUE(host.Load(kTestBar)) << host.Error();
  EXPECT_FALSE(host.Load(kTestBar));
  EXPECT_TRUE(host.Shutdown());
  EXPECT_FALSE(IsLoaded(kTestBar));
}

TEST_F(HostTest, OnlyOneHostRunsAtATime) {
  ScreenbarHost first;
  Start(first);
  ScreenbarHost second;
  ASSERT_TRUE(second.Load(kTestBar));
  EXPECT_FALSE(second.Start());
  EXPECT_EQ(second.Error(), "another host is running");
  EXPECT_TRUE(second.Shutdown()); // the library is still used by the first
  EXPECT_EQ(first.BarCount(), 1u);
  EXPECT_TRUE(first.Shutdown());
}

TEST_F(HostTest, ItemsDefaultToThePluginsAnswerUntilStored) {
  ScreenbarHost host;
  Start(host);
  Object *bar = host.Bar(0);
  // Read by the bar at its set-up through MUIM_GetConfigItem.
  EXPECT_EQ(static_cast<LONG>(Get(bar, TESTBAR_A_NUMBER)), 1);
  EXPECT_EQ(Text(bar, TESTBAR_A_TEXT), TESTBAR_TEXT_DEFAULT);
  IPTR v = 0;
  EXPECT_TRUE(host.ConfigItem(TESTBAR_CFG_TEXT, &v));
  EXPECT_STREQ(reinterpret_cast<const char *>(v), TESTBAR_TEXT_DEFAULT);
  // Not the plug-in's: unknown, also to any object asking.
  EXPECT_FALSE(host.ConfigItem(TESTBAR_CFG_NUMBER + 0x100, &v));
  EXPECT_EQ(v, 0u);
  EXPECT_FALSE(DoMethod(bar, MUIM_GetConfigItem, TESTBAR_CFG_NUMBER + 0x100, &v));
  EXPECT_FALSE(host.StoredConfig(TESTBAR_CFG_NUMBER).has_value());
  EXPECT_FALSE(fs::exists(PrefsFile())); // nothing written while nothing changed
  EXPECT_TRUE(host.Shutdown());
}

TEST_F(HostTest, AChangeIsStoredSentToEveryBarAndRedrawsWhatTheyList) {
  ScreenbarHost host;
  Start(host, 2);
  ULONG draws0 = static_cast<ULONG>(Get(host.Bar(0), TESTBAR_A_DRAWS));

  EXPECT_TRUE(host.SetConfig(TESTBAR_CFG_NUMBER, LONG{0})) << host.Error();
  for (size_t i = 0; i < 2; ++i) {
    EXPECT_EQ(Get(host.Bar(i), TESTBAR_A_CHANGES), 1u);
    EXPECT_EQ(Get(host.Bar(i), TESTBAR_A_LASTCHANGED), TESTBAR_CFG_NUMBER);
    EXPECT_EQ(Centre(host, i), TESTBAR_COLOR_OFF);
  }
  EXPECT_EQ(host.LastRefreshed(), (std::vector<Object *>{host.Bar(0), host.Bar(1)}));
  EXPECT_EQ(Get(host.Bar(0), TESTBAR_A_DRAWS), draws0 + 1);

  std::map<ULONG, ConfigValue> file;
  std::string err;
  ASSERT_TRUE(platform::LoadHostPrefs(PrefsFile(), file, &err)) << err;
  EXPECT_EQ(file[TESTBAR_CFG_NUMBER], ConfigValue(LONG{0}));

  // A text change lists nothing: no redraw.
  EXPECT_TRUE(host.SetConfig(TESTBAR_CFG_TEXT, std::string("w\xF6rld")));
  EXPECT_EQ(Text(host.Bar(1), TESTBAR_A_TEXT), "w\xF6rld");
  EXPECT_TRUE(host.LastRefreshed().empty());
  EXPECT_EQ(Get(host.Bar(0), TESTBAR_A_DRAWS), draws0 + 1);

  // A plug-in that claims more objects than the list holds is not believed.
  EXPECT_TRUE(host.SetConfig(TESTBAR_CFG_FLOOD, LONG{5}));
  EXPECT_TRUE(host.LastRefreshed().empty());
  EXPECT_TRUE(host.Shutdown());
}

TEST_F(HostTest, StoredItemsComeBackAtTheNextStartAndBadLinesAreSkipped) {
  {
    ScreenbarHost host;
    Start(host);
    EXPECT_TRUE(host.SetConfig(TESTBAR_CFG_NUMBER, LONG{0}));
    EXPECT_TRUE(host.SetConfig(TESTBAR_CFG_TEXT, std::string("saved \"quoted\"\n")));
    EXPECT_TRUE(host.Shutdown());
  }
  {
    std::ofstream out(PrefsFile(), std::ios::app);
    out << "0x00CB80A1 number twelve\n"; // garbage after the good line: skipped
  }
  ScreenbarHost host;
  Start(host);
  EXPECT_EQ(static_cast<LONG>(Get(host.Bar(0), TESTBAR_A_NUMBER)), 0);
  EXPECT_EQ(Text(host.Bar(0), TESTBAR_A_TEXT), "saved \"quoted\"\n");
  EXPECT_EQ(Centre(host, 0), TESTBAR_COLOR_OFF);
  EXPECT_TRUE(host.Shutdown());
}

TEST_F(HostTest, TextsHandedToOtherTasksStayValidWhileTheItemChanges) {
  ScreenbarHost host;
  Start(host);
  std::atomic<bool> stop{false};
  std::atomic<size_t> reads{0};
  std::thread reader([&] {
    while (!stop.load()) {
      IPTR v = 0;
      bool known = host.ConfigItem(TESTBAR_CFG_TEXT, &v);
      const char *t = reinterpret_cast<const char *>(v);
      bool good = known && t && (std::strncmp(t, "value ", 6) == 0 || std::strcmp(t, TESTBAR_TEXT_DEFAULT) == 0);
      EXPECT_TRUE(good);
      reads.fetch_add(1);
      if (!good) break;
    }
  });
  IPTR first = 0;
  host.ConfigItem(TESTBAR_CFG_TEXT, &first);
  for (int i = 0; i < 200; ++i) host.SetConfig(TESTBAR_CFG_TEXT, "value " + std::to_string(i));
  while (reads.load() < 10 && !::testing::Test::HasFailure()) std::this_thread::yield();
  stop.store(true);
  reader.join();
  EXPECT_STREQ(reinterpret_cast<const char *>(first), TESTBAR_TEXT_DEFAULT);
  EXPECT_EQ(Text(host.Bar(0), TESTBAR_A_TEXT), "value 199");
  EXPECT_TRUE(host.Shutdown());
}

TEST_F(HostTest, ThePanelShowsTheCurrentValuesAndSavesOnlyWhatChanged) {
  ScreenbarHost host;
  Start(host);
  ASSERT_TRUE(host.SetConfig(TESTBAR_CFG_NUMBER, LONG{0}));
  Object *win = host.OpenPrefs();
  ASSERT_NE(win, nullptr) << host.Error();
  EXPECT_EQ(host.OpenPrefs(), win);
  EXPECT_EQ(display.OpenWindows(), std::vector<Object *>{win});
  auto gadgets = platform::PrefsGadgets(host.PrefsPanel());
  ASSERT_EQ(gadgets.size(), 2u);
  Object *check = gadgets[0].gadget, *str = gadgets[1].gadget;
  EXPECT_EQ(Get(check, MUIA_Selected), 0u);
  EXPECT_EQ(Text(str, MUIA_String_Contents), TESTBAR_TEXT_DEFAULT);

  EXPECT_TRUE(host.ApplyPrefs()); // nothing changed: nothing sent
  EXPECT_EQ(Get(host.Bar(0), TESTBAR_A_CHANGES), 1u);
  EXPECT_FALSE(host.StoredConfig(TESTBAR_CFG_TEXT).has_value());

  SetAttrs(check, MUIA_Selected, TRUE);
  platform::StringType(str, "typed", true);
  EXPECT_TRUE(host.ApplyPrefs());
  EXPECT_EQ(host.StoredConfig(TESTBAR_CFG_NUMBER), ConfigValue(LONG{1}));
  EXPECT_EQ(host.StoredConfig(TESTBAR_CFG_TEXT), ConfigValue(std::string("typed")));
  EXPECT_EQ(Get(host.Bar(0), TESTBAR_A_CHANGES), 3u);
  EXPECT_EQ(Centre(host, 0), TESTBAR_COLOR_ON);

  // The close gadget cancels: a later edit is not kept.
  platform::StringType(str, "not kept", false);
  platform::InputCloseWindow(win);
  EXPECT_TRUE(host.RunUntil([&] { return host.PrefsWindow() == nullptr; }));
  EXPECT_TRUE(display.OpenWindows().empty());
  EXPECT_EQ(host.StoredConfig(TESTBAR_CFG_TEXT), ConfigValue(std::string("typed")));
  auto events = display.Events();
  EXPECT_EQ(events.front(), "window+ Screenbar: TestBar");
  EXPECT_EQ(events.back(), "window- Screenbar: TestBar");
  EXPECT_TRUE(host.Shutdown());
}

TEST_F(HostTest, ThePanelsSaveButtonStoresAndCloses) {
  ScreenbarHost host;
  Start(host);
  Object *win = host.OpenPrefs();
  ASSERT_NE(win, nullptr);
  platform::StringType(platform::PrefsGadgets(host.PrefsPanel())[1].gadget, "from save", true);
  // The buttons are the last group of the window.
  auto *rootGroup = reinterpret_cast<Object *>(Get(win, MUIA_Window_RootObject));
  Object *buttons = platform::GroupChildren(rootGroup).back();
  Object *save = platform::GroupChildren(buttons).at(0);
  platform::InputClick(save);
  EXPECT_TRUE(host.RunUntil([&] { return host.PrefsWindow() == nullptr; }));
  EXPECT_EQ(host.StoredConfig(TESTBAR_CFG_TEXT), ConfigValue(std::string("from save")));
  EXPECT_TRUE(host.Shutdown());
}

TEST_F(HostTest, WindowsOpenOnTheScreenOfTheActiveBar) {
  ScreenbarHost host;
  Start(host, 2);
  auto open = [&] {
    Object *win = MUI_NewObject(MUIC_Window, MUIA_Window_Title, "Plug-in window", MUIA_Window_RootObject,
                                MUI_NewObject(MUIC_Rectangle, TAG_DONE), TAG_DONE);
    DoMethod(host.Application(), OM_ADDMEMBER, win);
    SetAttrs(win, MUIA_Window_Open, TRUE);
    return win;
  };
  Object *first = open();
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(Get(first, MUIA_Window_Screen), reinterpret_cast<IPTR>(host.BarScreen(0)));
  host.SetActiveBar(1);
  Object *second = open();
  EXPECT_EQ(Get(second, MUIA_Window_Screen), reinterpret_cast<IPTR>(host.BarScreen(1)));
  EXPECT_EQ(display.OpenWindows().size(), 2u);
  // Left open: the shutdown disposes of them with the application.
  EXPECT_TRUE(host.Shutdown());
  EXPECT_TRUE(display.OpenWindows().empty());
}

TEST_F(HostTest, StopAndCallWorkFromOtherThreads) {
  ScreenbarHost host;
  Start(host);
  std::atomic<bool> looping{false}, onGui{false};
  std::thread::id gui = std::this_thread::get_id();
  platform::PostToApplication(host.Application(), [&] { looping = true; });
  std::thread other([&] {
    while (!looping.load()) std::this_thread::yield();
    host.Call([&] { onGui = std::this_thread::get_id() == gui; });
    host.Stop();
  });
  host.Run();
  other.join();
  EXPECT_TRUE(onGui.load());
  EXPECT_TRUE(host.Shutdown());
}

TEST_F(HostTest, RunForFollowsThePlatformClock) {
  ScreenbarHost host;
  Start(host);
  uint64_t before = platform::ClockNowMs();
  host.RunFor(30);
  EXPECT_GE(platform::ClockNowMs(), before + 30);
  EXPECT_TRUE(host.Shutdown());
}

} // namespace
