// Console windows: CON: names, and a script's output reaching its window.
#include <condition_variable>
#include <mutex>

#include "dos/console.h"
#include "dos/system.h"
#include "readargs_support.h"

namespace {

TEST(ConsoleName, FieldsAndOptions) {
  platform::ConsoleSpec s;
  ASSERT_TRUE(platform::ParseConsoleName("CON:380/30/640/180/Grabulon_Downloader/AUTO/WAIT/CLOSE", s));
  EXPECT_EQ(s.left, 380);
  EXPECT_EQ(s.top, 30);
  EXPECT_EQ(s.width, 640);
  EXPECT_EQ(s.height, 180);
  EXPECT_EQ(s.title, "Grabulon_Downloader");
  EXPECT_TRUE(s.autoOpen && s.wait && s.close);

  ASSERT_TRUE(platform::ParseConsoleName("con:////Shell/close/screen MYSCREEN/NOSIZE", s));
  EXPECT_EQ(s.left, -1);
  EXPECT_EQ(s.height, -1);
  EXPECT_EQ(s.title, "Shell");
  EXPECT_TRUE(s.close);
  EXPECT_FALSE(s.wait || s.autoOpen);
  EXPECT_EQ(s.screen, " MYSCREEN");
  ASSERT_TRUE(platform::ParseConsoleName("CON:", s));
  EXPECT_EQ(s.title, "");

  for (const char *bad : {"CON:x/0/1/1/T", "CON:0/0/1/1/T/BOGUS", "CON:0/0/9999999/1/T", "NIL:", "RAM:x"})
    EXPECT_FALSE(platform::ParseConsoleName(bad, s)) << bad;
}

TEST(ConsoleText, ControlSequencesAreTakenOut) {
  EXPECT_EQ(platform::PlainConsoleText("a\33[1;31mred\33[0m\x9b"
                                       "2Jb\r\n\tc\a\33cd"),
            "aredb\n\tcd");
  EXPECT_EQ(platform::PlainConsoleText("Gr\xFC\xDF"
                                       "e"),
            "Gr\xFC\xDF"
            "e");
}

// Records what a console window would show, and lets the test close it.
struct Recorder {
  std::mutex m;
  std::condition_variable cv;
  std::string shown, title;
  bool closedByHandle = false, closedByPerson = false;
};

class RecordingWindow : public platform::ConsoleWindow {
public:
  RecordingWindow(Recorder &r, bool wait) : r_(r), wait_(wait) {}
  void Write(const char *data, size_t length) override {
    std::lock_guard g(r_.m);
    r_.shown += platform::PlainConsoleText(std::string_view(data, length));
  }
  void Close() override {
    std::unique_lock g(r_.m);
    r_.closedByHandle = true;
    r_.cv.notify_all();
    if (wait_) r_.cv.wait(g, [&] { return r_.closedByPerson; });
  }

private:
  Recorder &r_;
  bool wait_;
};

class ConsoleTest : public DosRootTest {
protected:
  void TearDown() override {
    platform::SetConsoleFactory(nullptr);
    DosRootTest::TearDown();
  }
};

TEST_F(ConsoleTest, ScriptOutputGoesToItsWindowWhichWaitsForThePerson) {
  Recorder rec;
  platform::SetConsoleFactory([&](const platform::ConsoleSpec &spec) {
    rec.title = spec.title;
    return std::make_unique<RecordingWindow>(rec, spec.wait);
  });
  Put("T:hello", ".key NAME/A\nEcho \"Fetching <NAME>...\"\nEcho NOLINE one two\nEcho \" done\"\n");
  BPTR con = Open("CON:10/20/300/100/Hello/AUTO/WAIT/CLOSE", MODE_NEWFILE);
  ASSERT_NE(con, 0);
  ASSERT_EQ(SystemTags("Execute T:hello Melodune_sbar", SYS_Asynch, TRUE, SYS_Input, 0, SYS_Output, con), 0);
  {
    std::unique_lock g(rec.m);
    ASSERT_TRUE(rec.cv.wait_for(g, std::chrono::seconds(10), [&] { return rec.closedByHandle; }));
    EXPECT_EQ(rec.title, "Hello");
    EXPECT_EQ(rec.shown, "Fetching Melodune_sbar...\none two done\n");
  }
  // The command is over, but its console stays until the person closes it.
  EXPECT_EQ(platform::RunningAsyncCommands(), 1u);
  {
    std::lock_guard g(rec.m);
    rec.closedByPerson = true;
    rec.cv.notify_all();
  }
  platform::WaitAsyncCommands();
  EXPECT_EQ(platform::RunningAsyncCommands(), 0u);

  EXPECT_EQ(Open("CON:0/0/1/1/T/WHAT", MODE_NEWFILE), 0);
  EXPECT_EQ(IoErr(), ERROR_BAD_STREAM_NAME);
}

} // namespace
