// The port "MELODUNE" served the way the ARexx process serves it, and the
// recorder's pure parts: the file name and the file size.
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "Melodune.h"
#include "arexx/ARexx.h"
#include "dos/dos.h"
#include "recording/Recording.h"
#include "rexx/rexx.h"
#include "support/env_var.h"
#include "support/temp_root.h"

namespace {

class ARexxPort : public ::testing::Test {
protected:
  // Sends one command from another task while this one serves the port.
  struct Reply {
    bool found = false;
    LONG rc = -1;
    std::string result;
    bool hasResult = false;
  };
  Reply Send(struct MsgPort *port, const std::string &command, bool wantResult) {
    Reply r;
    std::atomic<bool> done{false};
    std::thread sender([&] {
      r.found = platform::SendRexxCommand("MELODUNE", command, wantResult, &r.rc, &r.result, &r.hasResult);
      done = true;
    });
    while (!done) {
      platform::WaitTimeout(1UL << port->mp_SigBit, 20);
      HandleARexx();
    }
    sender.join();
    return r;
  }
  testsupport::TempRoot tmp{"melodune-port"};
  std::string dir = tmp.path();
  testsupport::EnvVar portDir{"MELODUNE_PORT_DIR", dir.c_str()};
};

TEST_F(ARexxPort, CommandsResultsAndErrorsThroughThePort) {
  // Another host got there first: ours is added all the same.
  struct MsgPort *older = CreateMsgPort();
  ASSERT_NE(older, nullptr);
  older->mp_Node.ln_Name = const_cast<STRPTR>("MELODUNE");
  AddPort(older);
  ASSERT_TRUE(InitARexx("MELODUNE", TRUE));
  EXPECT_EQ(FindPort("MELODUNE"), older) << "the older port keeps the name";
  RemPort(older);
  DeleteMsgPort(older);
  struct MsgPort *port = FindPort("MELODUNE");
  ASSERT_NE(port, nullptr);

  Reply help = Send(port, "HELP", true);
  EXPECT_TRUE(help.found);
  EXPECT_EQ(help.rc, 0);
  EXPECT_EQ(help.result, ARexxHelpText);

  // A result of 2047 characters comes back whole.
  g.title.Set(std::string(5000, 'y').c_str());
  int dummy = 0;
  g.stations = reinterpret_cast<StationEntry *>(&dummy); // only looked at, never read
  g.numStations = 1;
  Reply title = Send(port, "GET TITLE", true);
  g.numStations = 0;
  g.stations = nullptr;
  g.title.Clear();
  EXPECT_EQ(title.rc, 0);
  EXPECT_EQ(title.result, std::string(2047, 'y'));

  Reply bad = Send(port, "GET BOGUS", true);
  EXPECT_EQ(bad.rc, 10);
  EXPECT_FALSE(bad.hasResult);
  Reply quiet = Send(port, "STOP", false);
  EXPECT_EQ(quiet.rc, 0);
  EXPECT_FALSE(quiet.hasResult);

  // A message that waits when the port closes is refused.
  LONG rc = -1;
  std::string result;
  std::thread late([&] { platform::SendRexxCommand("MELODUNE", "HELP", true, &rc, &result); });
  while (platform::WaitTimeout(1UL << port->mp_SigBit, 20) == 0) {
  }
  CloseARexx();
  late.join();
  EXPECT_EQ(rc, 10);
  EXPECT_EQ(result, "");
  EXPECT_EQ(FindPort("MELODUNE"), nullptr);
}

// Something that is not a REXX message goes back as it came: nothing is
// written behind it, where a REXX message would have its results.
TEST_F(ARexxPort, PlainMessageComesBackUntouched) {
  ASSERT_TRUE(InitARexx("MELODUNE", TRUE));
  struct MsgPort *port = FindPort("MELODUNE");
  struct MsgPort *reply = CreateMsgPort();
  ASSERT_TRUE(port && reply);
  struct Plain {
    struct Message msg;
    UBYTE after[sizeof(struct RexxMsg)];
  } plain{};
  std::memset(plain.after, 0xA5, sizeof plain.after);
  plain.msg.mn_ReplyPort = reply;
  plain.msg.mn_Length = sizeof(struct Message);
  PutMsg(port, &plain.msg);
  HandleARexx();
  EXPECT_EQ(GetMsg(reply), &plain.msg);
  for (UBYTE b : plain.after) ASSERT_EQ(b, 0xA5);
  DeleteMsgPort(reply);
  CloseARexx();
}

struct DateStamp At(LONG days, LONG h, LONG m, LONG s) { return {days, h * 60 + m, s * static_cast<LONG>(TICKS_PER_SECOND)}; }
const LONG Dec7th2026 = 17872;

TEST(RecordFileName, PathStationDateAndTime) {
  char name[REC_NAME_SIZE];
  std::string date, time;
  const struct DateStamp when = At(Dec7th2026, 0, 40, 7);
  BuildRecordFileName("RAM:", "Rock/Radio X", &when, name, &date, &time);
  EXPECT_STREQ(name, "RAM:Rock_Radio X_07-12-26_004007.mp3");
  EXPECT_EQ(date, "07-12-26");
  EXPECT_EQ(time, "00:40:07");

  const struct DateStamp evening = At(Dec7th2026, 23, 5, 59);
  BuildRecordFileName("Work:Rec", "Talk/News: Live/24", &evening, name, nullptr, nullptr);
  EXPECT_STREQ(name, "Work:Rec/Talk_News_ Live_24_07-12-26_230559.mp3");

  // A name that tries to leave the drawer stays in it.
  BuildRecordFileName("RAM:", "/../:x", &when, name, nullptr, nullptr);
  EXPECT_STREQ(name, "RAM:_..__x_07-12-26_004007.mp3");

  // Long texts are cut: the station at 127 characters; near 255 the station
  // gives way, the date and the extension stay.
  const std::string station(300, 's');
  BuildRecordFileName("RAM:", station.c_str(), &when, name, nullptr, nullptr);
  EXPECT_EQ(std::string(name), "RAM:" + std::string(127, 's') + "_07-12-26_004007.mp3");
  const std::string path = "RAM:" + std::string(200, 'p');
  BuildRecordFileName(path.c_str(), station.c_str(), &when, name, nullptr, nullptr);
  EXPECT_EQ(std::string(name), path + "/" + std::string(30, 's') + "_07-12-26_004007.mp3");
  EXPECT_EQ(std::strlen(name), 255u);
  const std::string longest = "RAM:" + std::string(240, 'p');
  BuildRecordFileName(longest.c_str(), "x", &when, name, nullptr, nullptr);
  EXPECT_STREQ(name, "") << "no room for the date and the extension: no name rather than a wrong one";
}

TEST(Filesize64, FilesOnlyAndFull64BitSizes) {
  const testsupport::TempRoot tmp("melodune-size");
  const std::string &root = tmp.path();
  ASSERT_TRUE(platform::SetDosRoot(root));
  EXPECT_EQ(Filesize64("RAM:", 1), -1) << "a volume";
  std::filesystem::create_directory(root + "/RAM/drawer");
  EXPECT_EQ(Filesize64("RAM:drawer", 1), -1);
  EXPECT_EQ(Filesize64("RAM:missing.mp3", 1), -1);
  EXPECT_EQ(Filesize64("", 1), -1);
  EXPECT_EQ(Filesize64(nullptr, 1), -1);
  std::ofstream(root + "/RAM/empty.mp3").close();
  EXPECT_EQ(Filesize64("RAM:empty.mp3", 1), 0);
  const QUAD fiveGB = 5LL * 1024 * 1024 * 1024;
  { std::ofstream(root + "/RAM/big.mp3").close(); }
  ASSERT_EQ(truncate((root + "/RAM/big.mp3").c_str(), fiveGB), 0); // sparse
  EXPECT_EQ(Filesize64("RAM:big.mp3", 1), fiveGB);

  // A file being written cannot be locked; its size is still known.
  BPTR fh = Open("RAM:Being Written.mp3", MODE_NEWFILE);
  ASSERT_NE(fh, 0);
  ASSERT_EQ(Write(fh, "0123456789", 10), 10);
  ASSERT_NE(Flush(fh), 0);
  EXPECT_EQ(Lock("RAM:Being Written.mp3", ACCESS_READ), 0);
  EXPECT_EQ(Filesize64("RAM:being written.mp3", 1), 10);
  Close(fh);
}

} // namespace
