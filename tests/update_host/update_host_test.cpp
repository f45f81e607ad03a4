// The update check in the real title-bar host with the built plug-in,
// against the testkit update service: what a person sees for each answer,
// the home page and the downloader console, the quiet check after start.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "Melodune.h"
#include "dos/system.h"
#include "exec/clock.h"
#include "host/console_window.h"
#include "host/host.h"
#include "host/test_display.h"
#include "mui/display.h"
#include "reggae/reggae.h"
#include "rexx/rexx.h"
#include "support/clock_rate.h"
#include "support/plugin_host.h"
#include "testkit/update_service.h"

namespace {

const char Name[] = "Melodune_sbar";

class UpdateHost : public testsupport::PluginHost {
protected:
  void SetUp() override {
    ASSERT_TRUE(platform::SetDosRoot(tmp.CopySkeleton("root")));
    // A desktop opener that only writes down what it was given.
    std::filesystem::create_directories(root + "/bin");
    opened = root + "/opened";
    std::ofstream(root + "/bin/xdg-open") << "#!/bin/sh\nprintf '%s\\n' \"$*\" >> '" << opened << "'\n";
    chmod((root + "/bin/xdg-open").c_str(), 0755);
    oldPath = std::getenv("PATH") ? std::getenv("PATH") : "";
    setenv("PATH", (root + "/bin:" + oldPath).c_str(), 1);
    setenv("MELODUNE_UPDATE_HOST", service.host().c_str(), 1);
    setenv("MELODUNE_HOMEPAGE_HOST", "home.test:8080", 1);
    setenv("MELODUNE_PORT_DIR", (root + "/ports").c_str(), 1);
  }

  void TearDown() override {
    PluginHost::TearDown();
    setenv("PATH", oldPath.c_str(), 1);
    unsetenv("MELODUNE_UPDATE_HOST");
    unsetenv("MELODUNE_HOMEPAGE_HOST");
    unsetenv("MELODUNE_PORT_DIR");
  }

  // keepStartCheck: leave the quiet check a minute after start in place.
  void Start(bool keepStartCheck = false) {
    started = platform::ClockNowMs(); // the check at start is pushed inside Start
    ASSERT_NO_FATAL_FAILURE(Launch());
    if (!keepStartCheck)
      DoMethod(host.Application(), MUIM_Application_KillPushMethod, host.Bar(0), 0, MM_Melodune_UpdateCheck);
  }

  // "UpdateCheck..." from the menu, and the requester it gives.
  platform::RequestInfo AskFromMenu() {
    const size_t before = display.RequestCount();
    DoMethod(host.Application(), MUIM_Application_PushMethod, host.Bar(0), 2, MM_Melodune_MenuAction, MENU_UPDATECHECK);
    EXPECT_TRUE(Until([&] { return display.RequestCount() > before; }));
    const auto all = display.Requests();
    return all.size() > before ? all[before] : platform::RequestInfo{};
  }

  // A quiet check, to its end.
  void QuietCheck() {
    const size_t before = service.request_count();
    DoMethod(host.Application(), MUIM_Application_PushMethod, host.Bar(0), 2, MM_Melodune_UpdateCheck, 1);
    ASSERT_TRUE(Until([&] { return service.request_count() > before && !FindTask("Melodune UpdateCheck"); }));
  }

  std::string Opened() {
    std::ifstream in(opened);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  // A minute of waiting for the check at start is a second here.
  testsupport::ClockRate clock{50};
  testkit::UpdateService service;
  std::string opened, oldPath;
  uint64_t started = 0;
};

const std::string NewVersionBubble =
    "\33c\33b\33uMelodune\33n\nThere is a new version available!\nSelect the 'UpdateCheck...' menuitem for more!";

TEST_F(UpdateHost, EachAnswerGivesItsRequesterAndTheQuietCheckShowsNothing) {
  Start();
  struct Case {
    const char *what;
    std::function<void()> serve;
    std::string title, text;
    size_t buttons;
    UWORD newVersion;
  } cases[] = {
      {"current", [&] { service.set_latest(Name, "3.5"); }, "Melodune.sbar: Information",
       "You are already using the latest version!", 1, 0},
      {"newer", [&] { service.set_latest(Name, "3.6", "Faster start.\nFewer bugs."); }, "Melodune.sbar: Question",
       "\33cThere is a new version \33bv3.6\33n available for \33bMelodune_sbar\33n!\n\n\33lFaster start.\nFewer bugs.",
       3, 1},
      {"unknown name", [&] { service.forget(Name); }, "Melodune.sbar: Warning",
       "Program \33bMelodune_sbar\33n not found!", 1, 0},
      {"other error", [&] { service.set_override(testkit::UpdateService::error_text("ERR_DATABASE down")); },
       "Melodune.sbar: Warning", "Unknown error encountered (ERR_DATABASE down)!", 1, 0},
      {"no length", [&] { service.set_override(testkit::UpdateService::without_length("3.7\nNotes")); },
       "Melodune.sbar: Question",
       "\33cThere is a new version \33bv3.7\33n available for \33bMelodune_sbar\33n!\n\n\33lNotes", 3, 1},
      // Bad answers: NUL bytes end the text, escapes are taken out, a long
      // version is cut, a dropped answer is no answer.
      {"NUL", [&] { service.set_override(testkit::Response::text(std::string("3.8\nok\0\33bhidden", 15))); },
       "Melodune.sbar: Question",
       "\33cThere is a new version \33bv3.8\33n available for \33bMelodune_sbar\33n!\n\n\33lok", 3, 1},
      {"escapes", [&] { service.set_override(testkit::Response::text("3.9\33I[4:SYS:x]\n\33bBold\33n?")); },
       "Melodune.sbar: Question",
       "\33cThere is a new version \33bv3.9I[4:SYS:x]\33n available for \33bMelodune_sbar\33n!\n\n\33lbBoldn?", 3, 1},
      {"long version", [&] { service.set_override(testkit::Response::text(std::string(10000, '4') + "\nx")); },
       "Melodune.sbar: Question",
       "\33cThere is a new version \33bv" + std::string(127, '4') +
           "\33n available for \33bMelodune_sbar\33n!\n\n\33lx",
       3, 1},
      {"dropped", [&] { service.set_override(testkit::UpdateService::dropped("3.")); }, "Melodune.sbar: Warning", "", 1,
       0},
  };
  size_t bubbles = 0;
  for (auto &c : cases) {
    SCOPED_TRACE(c.what);
    service.set_override(std::nullopt);
    c.serve();
    display.QueueRequestAnswer(static_cast<int>(c.buttons) - 1); // the rightmost: "Okay" or "Cancel"
    const platform::RequestInfo r = AskFromMenu();
    EXPECT_EQ(r.title, c.title);
    const std::string readFailed = "\33cUpdateCheck for 'Melodune_sbar':\nFailed to read the answer.\nErrorCode = ";
    EXPECT_EQ(c.text.empty() ? r.text.substr(0, readFailed.size()) : r.text, c.text.empty() ? readFailed : c.text);
    EXPECT_EQ(r.buttons.size(), c.buttons);
    EXPECT_TRUE(r.atPosition);
    ASSERT_TRUE(Until([&] { return !FindTask("Melodune UpdateCheck"); }));
    EXPECT_EQ(G->newVersionAvailable.load(), c.newVersion);

    // Quiet: no requester; the bubble only for a new version.
    const size_t shown = display.RequestCount();
    EXPECT_EQ(BubblesWith(NewVersionBubble), bubbles) << "not after a check from the menu";
    QuietCheck();
    bubbles += c.newVersion;
    EXPECT_TRUE(Until([&] { return BubblesWith(NewVersionBubble) == bubbles; }));
    EXPECT_EQ(display.RequestCount(), shown);
    EXPECT_EQ(G->newVersionAvailable.load(), c.newVersion);
  }
  const auto reqs = service.requests();
  ASSERT_FALSE(reqs.empty());
  EXPECT_EQ(reqs[0].target, "/CheckUpdate.php?name=Melodune_sbar&ver=3.5");
  EXPECT_EQ(reqs[0].header("User-Agent"), "");
}

TEST_F(UpdateHost, HomepageAndDownloaderAreOffered) {
  service.set_latest(Name, "3.6", "Faster start.");
  Start();

  display.QueueRequestAnswer(0); // "Visit the homepage"
  AskFromMenu();
  ASSERT_TRUE(Until([&] { return !Opened().empty(); }));
  EXPECT_EQ(Opened(), "http://home.test:8080/frames/progs/Melodune_sbar.html\n");

  display.QueueRequestAnswer(1); // "Download & Install"
  AskFromMenu();
  Object *win = nullptr;
  ASSERT_TRUE(Until([&] {
    auto w = platform::ConsoleWindows();
    win = w.empty() ? nullptr : w[0];
    return win && Opened().find("/download/") != std::string::npos && platform::RunningAsyncCommands() == 1 &&
           platform::ConsoleLines(win).size() >= 5;
  }));
  IPTR title = 0, open = 0, left = 0, width = 0, gadget = 0;
  GetAttr(MUIA_Window_Title, win, &title);
  GetAttr(MUIA_Window_Open, win, &open);
  GetAttr(MUIA_Window_LeftEdge, win, &left);
  GetAttr(MUIA_Window_Width, win, &width);
  GetAttr(MUIA_Window_CloseGadget, win, &gadget);
  EXPECT_STREQ(reinterpret_cast<CONST_STRPTR>(title), "Grabulon_Downloader");
  EXPECT_TRUE(open);
  EXPECT_EQ(left, 380u);
  EXPECT_EQ(width, 640u);
  EXPECT_TRUE(gadget);
  const auto lines = platform::ConsoleLines(win);
  EXPECT_EQ(lines[0], "Grabulon_Downloader: a new version of Melodune_sbar is available.");
  EXPECT_EQ(lines.back(), "You may close this window now.");
  EXPECT_NE(Opened().find("http://melodune.example.org/download/Melodune_sbar.html"), std::string::npos) << Opened();

  // The script is done; its window waits for the person (WAIT).
  host.RunFor(2000);
  EXPECT_EQ(platform::ConsoleWindows().size(), 1u);
  EXPECT_EQ(platform::RunningAsyncCommands(), 1u);
  platform::InputCloseWindow(win);
  ASSERT_TRUE(Until([&] { return platform::ConsoleWindows().empty() && platform::RunningAsyncCommands() == 0; }));
}

TEST_F(UpdateHost, QuietCheckAMinuteAfterStartShowsTheBubbleForTenSeconds) {
  service.set_latest(Name, "3.6", "Faster start.");
  Start(true);
  uint64_t shown = 0, gone = 0;
  ASSERT_TRUE(Until([&] {
    if (!shown && !display.LiveBubbleTexts().empty() && display.LiveBubbleTexts()[0] == NewVersionBubble)
      shown = platform::ClockNowMs();
    if (shown && !gone && display.LiveBubbleTexts().empty()) gone = platform::ClockNowMs();
    return gone != 0;
  }));
  EXPECT_GE(shown - started, 60000u);
  EXPECT_LT(shown - started, 70000u);
  EXPECT_GE(gone - shown, 9900u);
  EXPECT_LT(gone - shown, 12000u);
  EXPECT_EQ(G->newVersionAvailable.load(), 1);
  EXPECT_EQ(display.RequestCount(), 0u);
  EXPECT_EQ(service.request_count(), 1u);

  // The bar's tooltip tells of it too (once the plug-in builds tooltips).
  platform::InputShowShortHelp(host.Bar(0), 2, 2);
  host.RunFor(200);
  const auto helps = display.ShortHelps();
  if (helps.empty() || helps.back().empty())
    std::printf("no tooltip from this build of the plug-in; its update line is not checked\n");
  else
    EXPECT_NE(helps.back().find("Btw, there is a new version available!"), std::string::npos) << helps.back();
}

TEST_F(UpdateHost, NoServiceGivesTheFrameworkErrorText) {
  // A port nobody listens on.
  testkit::Server closed;
  const std::string host_ = "127.0.0.1:" + std::to_string(closed.port());
  closed.stop();
  setenv("MELODUNE_UPDATE_HOST", host_.c_str(), 1);
  Start();
  const platform::RequestInfo r = AskFromMenu();
  EXPECT_EQ(r.title, "Melodune.sbar: Warning");
  EXPECT_EQ(r.text, "\33cUpdateCheck for 'Melodune_sbar':\nFailed to create http.stream object.\nErrorCode = " +
                        std::to_string(MMERR_CONNECTION_REFUSED) + " (" + MediaFault(MMERR_CONNECTION_REFUSED) +
                        "), ResponseCode = 0 (Unknown Error!)");
}

TEST_F(UpdateHost, TurnedOffTheStartDoesNotAskButTheMenuDoes) {
  service.set_latest(Name, "3.6");
  Start(true);
  ASSERT_TRUE(host.SetConfig(CFG_CheckUpdates, LONG{0}));
  ASSERT_TRUE(host.Shutdown());

  Start(true);
  host.RunFor(70000);
  EXPECT_EQ(service.request_count(), 0u);
  display.QueueRequestAnswer(2);
  AskFromMenu();
  EXPECT_EQ(service.request_count(), 1u);
}

TEST_F(UpdateHost, ScriptsAreAnsweredWhileACheckWaits) {
  platform::SetClockRate(25); // the waits below take a while even so
  Start();
  testkit::Response silent;
  silent.stall_after = 0;
  silent.count_head = true; // not even a status line
  const struct {
    const char *what;
    testkit::Response answer;
    std::string text;
  } cases[] = {
      {"no answer", silent, "Failed to create http.stream object."},
      {"answer stops", testkit::UpdateService::stalled(), "Failed to read the answer."},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.what);
    service.set_override(c.answer);
    const size_t asked = service.request_count(), shown = display.RequestCount();
    DoMethod(host.Application(), MUIM_Application_PushMethod, host.Bar(0), 2, MM_Melodune_UpdateCheck, 0);
    ASSERT_TRUE(Until([&] { return service.request_count() > asked && FindTask("Melodune UpdateCheck"); }));
    std::atomic<bool> answered{false};
    LONG rc = -1;
    std::thread script([&] {
      std::string result;
      platform::SendRexxCommand("MELODUNE", "HELP", true, &rc, &result);
      answered = true;
    });
    EXPECT_TRUE(Until([&] { return answered.load(); }, 5000));
    script.join();
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(display.RequestCount(), shown) << "still waiting";
    // The check runs out of time and says so.
    ASSERT_TRUE(Until([&] { return display.RequestCount() > shown; }, 30000));
    const std::string text = display.Requests()[shown].text;
    EXPECT_NE(text.find(c.text), std::string::npos) << text;
    EXPECT_NE(text.find("ErrorCode = " + std::to_string(MMERR_TIMEOUT)), std::string::npos) << text;
  }
}

} // namespace
