// Console windows: CON: names and what a console shows of its output.
#include "dos/console.h"
#include "readargs_support.h"

namespace {

TEST(ConsoleName, FieldsAndOptions) {
  platform::ConsoleOptions s;
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
  EXPECT_EQ(Open("CON:0/0/1/1/T/WHAT", MODE_NEWFILE), 0);
  EXPECT_EQ(IoErr(), ERROR_BAD_STREAM_NAME);
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

} // namespace
