// Console windows of the host: what a script writes to a CON: handle shows
// in a window of the host's application, and WAIT keeps it for the person.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "dos/dos.h"
#include "dos/system.h"
#include "host/console_window.h"
#include "host/host.h"
#include "host/test_display.h"
#include "support/temp_root.h"

namespace {

class ConsoleHost : public ::testing::Test {
protected:
  void SetUp() override {
    ASSERT_TRUE(platform::SetDosRoot(root));
    ASSERT_TRUE(host.Load(std::string(MELODUNE_BIN_DIR) + "/TestBar.sbar")) << host.Error();
    ASSERT_TRUE(host.Start()) << host.Error();
  }
  void TearDown() override { EXPECT_TRUE(host.Shutdown()); }
  // Starts script (its text) with its output in a console named con. Each
  // script has a file of its own: an asynchronous Execute may read its file
  // after the next Run has been called.
  void Run(const std::string &script, const char *con) {
    const std::string name = "script" + std::to_string(++scripts);
    std::ofstream(root + "/T/" + name) << script;
    BPTR out = Open(con, MODE_NEWFILE);
    ASSERT_NE(out, 0);
    ASSERT_EQ(SystemTags(("Execute T:" + name).c_str(), SYS_Asynch, TRUE, SYS_Input, 0, SYS_Output, out), 0);
  }
  Object *Only() {
    auto w = platform::ConsoleWindows();
    return w.size() == 1 ? w[0] : nullptr;
  }

  testsupport::TempRoot tmp{"console-host"};
  std::string root = tmp.path();
  int scripts = 0;
  platform::TestDisplay display;
  platform::DisplayScope scope{&display};
  platform::ScreenbarHost host;
};

TEST_F(ConsoleHost, AQuickScriptsOutputStaysUntilTheWindowIsClosed) {
  std::filesystem::create_directories(root + "/T");
  Run("Echo one\nEcho \"\33[1mtwo\33[0m\"\nEcho NOLINE three\n", "CON:10/20/300/100/Quick/AUTO/WAIT");
  // The script ends at once; its window comes up all the same, and waits.
  ASSERT_TRUE(host.RunUntil([&] { return Only() && platform::ConsoleLines(Only()).size() == 3; }));
  EXPECT_EQ(platform::ConsoleLines(Only()), (std::vector<std::string>{"one", "two", "three"}));
  host.RunFor(500);
  EXPECT_EQ(platform::RunningAsyncCommands(), 1u);
  IPTR open = 0, gadget = 0;
  GetAttr(MUIA_Window_Open, Only(), &open);
  GetAttr(MUIA_Window_CloseGadget, Only(), &gadget);
  EXPECT_TRUE(open && gadget) << "WAIT gives a way to close it";
  platform::InputCloseWindow(Only());
  ASSERT_TRUE(host.RunUntil([&] { return platform::ConsoleWindows().empty() && !platform::RunningAsyncCommands(); }));
}

TEST_F(ConsoleHost, WithoutWaitTheWindowGoesWithTheHandleAndAutoNeedsOutput) {
  std::filesystem::create_directories(root + "/T");
  Run("MakeDir RAM:x\n", "CON:0/0/200/50/Silent/AUTO");
  Run("Echo hello\n", "CON:0/0/200/50/Plain");
  ASSERT_TRUE(host.RunUntil([&] { return !platform::RunningAsyncCommands() && platform::ConsoleWindows().empty(); }));
  const auto events = display.Events();
  EXPECT_EQ(std::count(events.begin(), events.end(), "window+ Silent"), 0) << "nothing was written to it";

  // A console still waiting when the host goes is let go (TearDown's
  // shutdown waits for every command).
  Run("Echo bye\n", "CON:0/0/200/50/Left/WAIT");
  ASSERT_TRUE(host.RunUntil([&] { return Only() != nullptr; }));
}

} // namespace
