#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "rexx/rexx.h"
#include "support/clock_rate.h"
#include "support/env_var.h"
#include "support/temp_root.h"
#include "test_host.h"

namespace fs = std::filesystem;

namespace {

// Every test gets its own port folder, so that parallel runs never meet.
class Ports : public ::testing::Test {
protected:
  std::string SocketPath(const std::string &name) const { return dir_ + "/" + platform::RexxPortFileName(name); }

  // A raw connection to a port's socket.
  int Connect(const std::string &name) const {
    int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un a{};
    a.sun_family = AF_UNIX;
    std::string p = SocketPath(name);
    std::strncpy(a.sun_path, p.c_str(), sizeof a.sun_path - 1);
    if (connect(fd, reinterpret_cast<sockaddr *>(&a), sizeof a) != 0) {
      close(fd);
      return -1;
    }
    return fd;
  }
  // True when the server closed the connection without a reply.
  static bool ClosedWithoutReply(int fd) {
    char b;
    ssize_t r = recv(fd, &b, 1, 0);
    close(fd);
    return r == 0;
  }

  testsupport::ClockRate clock_{50};
  testsupport::TempRoot tmp_{"rexx-ports"};
  std::string root_ = tmp_.path(), dir_ = root_ + "/ports";
  testsupport::EnvVar portDir_{"MELODUNE_PORT_DIR", dir_.c_str()};
};

TEST(Argstrings, KeepLengthAndBytesIncludingNul) {
  const char text[] = "a\0b";
  STRPTR s = CreateArgstring(text, 3);
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(LengthArgstring(s), 3u);
  EXPECT_EQ(std::string(s, 3), std::string(text, 3));
  EXPECT_EQ(s[3], '\0');
  DeleteArgstring(s);
  STRPTR empty = CreateArgstring(nullptr, 0);
  EXPECT_EQ(LengthArgstring(empty), 0u);
  EXPECT_STREQ(empty, "");
  DeleteArgstring(empty);
  DeleteArgstring(nullptr);
  EXPECT_NE(OpenLibrary("rexxsyslib.library", 0), nullptr);
}

TEST_F(Ports, PublicPortBecomesAPrivateSocketAndGoesAwayWithThePort) {
  std::string name = "PUBTEST";
  {
    TestHost host(name);
    EXPECT_TRUE(platform::RexxPortPublished(host.port()));
    struct stat st{};
    ASSERT_EQ(lstat(dir_.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    ASSERT_EQ(lstat(SocketPath(name).c_str(), &st), 0);
    EXPECT_TRUE(S_ISSOCK(st.st_mode));
    EXPECT_EQ(st.st_mode & 0777, 0600u);
  }
  EXPECT_FALSE(fs::exists(SocketPath(name)));
  LONG rc = -1;
  EXPECT_FALSE(platform::SendRexxCommand(name, "ECHO x", true, &rc, nullptr));
  EXPECT_FALSE(platform::SendRexxCommand("NOSUCHPORT", "ECHO x", true, &rc, nullptr));
}

TEST_F(Ports, RoundTripCarriesReturnCodeAndResult) {
  TestHost host("ROUNDTRIP");
  LONG rc = -1;
  std::string result = "stale";
  ASSERT_TRUE(platform::SendRexxCommand("ROUNDTRIP", "ECHO hello world", true, &rc, &result));
  EXPECT_EQ(rc, 0);
  EXPECT_EQ(result, "hello world");

  // A result of 2047 characters, the size of the host's result buffer, comes back whole.
  ASSERT_TRUE(platform::SendRexxCommand("ROUNDTRIP", "LONG 2047", true, &rc, &result));
  EXPECT_EQ(rc, 0);
  EXPECT_EQ(result, std::string(2047, 'x'));

  // No result asked for: none given, even though the command succeeds.
  ASSERT_TRUE(platform::SendRexxCommand("ROUNDTRIP", "ECHO quiet", false, &rc, &result));
  EXPECT_EQ(rc, 0);
  EXPECT_EQ(result, "");

  // An unknown command: 10 and no result.
  result = "stale";
  bool has = true;
  ASSERT_TRUE(platform::SendRexxCommand("ROUNDTRIP", "BOGUS", true, &rc, &result, &has));
  EXPECT_EQ(rc, 10);
  EXPECT_EQ(result, "");
  EXPECT_FALSE(has);

  // Success without a result is told apart from an empty result.
  ASSERT_TRUE(platform::SendRexxCommand("ROUNDTRIP", "NONE", true, &rc, &result, &has));
  EXPECT_EQ(rc, 0);
  EXPECT_FALSE(has);
  ASSERT_TRUE(platform::SendRexxCommand("ROUNDTRIP", "ECHO", true, &rc, &result, &has));
  EXPECT_TRUE(has);
  EXPECT_EQ(result, "");

  // Latin-1 bytes and a command near the limit pass unchanged.
  std::string big = "ECHO \xA0\xE9" + std::string(60000, 'y');
  ASSERT_TRUE(platform::SendRexxCommand("ROUNDTRIP", big, true, &rc, &result));
  EXPECT_EQ(result, big.substr(5));
}

TEST_F(Ports, OlderPortOfANameKeepsTheMessagesAndTheNewerTakesOver) {
  auto older = std::make_unique<TestHost>("TWIN");
  TestHost newer("TWIN");
  EXPECT_TRUE(platform::RexxPortPublished(older->port()));
  EXPECT_FALSE(platform::RexxPortPublished(newer.port()));
  LONG rc = -1;
  std::string result;
  ASSERT_TRUE(platform::SendRexxCommand("TWIN", "ECHO 1", true, &rc, &result));
  EXPECT_EQ(older->handled(), 1);
  EXPECT_EQ(newer.handled(), 0);

  older.reset();
  EXPECT_TRUE(platform::RexxPortPublished(newer.port()));
  ASSERT_TRUE(platform::SendRexxCommand("TWIN", "ECHO 2", true, &rc, &result));
  EXPECT_EQ(result, "2");
  EXPECT_EQ(newer.handled(), 1);
}

TEST_F(Ports, LiveSocketOfAnotherProcessIsNotStolenButAStaleOneIsReplaced) {
  ASSERT_FALSE(platform::RexxPortDir().empty());
  sockaddr_un a{};
  a.sun_family = AF_UNIX;
  std::string path = SocketPath("SHARED");
  std::strncpy(a.sun_path, path.c_str(), sizeof a.sun_path - 1);

  // Someone else listens under that name.
  int other = socket(AF_UNIX, SOCK_STREAM, 0);
  ASSERT_EQ(bind(other, reinterpret_cast<sockaddr *>(&a), sizeof a), 0);
  ASSERT_EQ(listen(other, 4), 0);
  {
    TestHost host("SHARED");
    EXPECT_FALSE(platform::RexxPortPublished(host.port()));
  }
  EXPECT_TRUE(fs::exists(path)); // the other's socket is left alone
  close(other);                  // it dies without cleaning up

  TestHost host("SHARED");
  EXPECT_TRUE(platform::RexxPortPublished(host.port()));
  LONG rc = -1;
  std::string result;
  ASSERT_TRUE(platform::SendRexxCommand("SHARED", "ECHO back", true, &rc, &result));
  EXPECT_EQ(result, "back");
}

TEST_F(Ports, MalformedOverlongAndStuckRequestsAreRefusedAndThePortKeepsServing) {
  TestHost host("STRICT");
  uint32_t badMagic[3] = {0x12345678, 0, 4};
  int fd = Connect("STRICT");
  ASSERT_GE(fd, 0);
  ASSERT_EQ(send(fd, badMagic, sizeof badMagic, 0), static_cast<ssize_t>(sizeof badMagic));
  EXPECT_TRUE(ClosedWithoutReply(fd));

  uint32_t tooLong[3] = {0x4d525851, 0, 64 * 1024 + 1};
  fd = Connect("STRICT");
  ASSERT_EQ(send(fd, tooLong, sizeof tooLong, 0), static_cast<ssize_t>(sizeof tooLong));
  EXPECT_TRUE(ClosedWithoutReply(fd));

  uint32_t badFlags[3] = {0x4d525851, 0xFFFF, 0};
  fd = Connect("STRICT");
  ASSERT_EQ(send(fd, badFlags, sizeof badFlags, 0), static_cast<ssize_t>(sizeof badFlags));
  EXPECT_TRUE(ClosedWithoutReply(fd));

  // Announces 10 bytes, sends 2 and stalls: dropped after the read time-out.
  uint32_t shortBody[3] = {0x4d525851, 0, 10};
  fd = Connect("STRICT");
  ASSERT_EQ(send(fd, shortBody, sizeof shortBody, 0), static_cast<ssize_t>(sizeof shortBody));
  ASSERT_EQ(send(fd, "EC", 2, 0), 2);
  EXPECT_TRUE(ClosedWithoutReply(fd));

  // A client that connects and says nothing does not block others meanwhile.
  int silent = Connect("STRICT");
  LONG rc = -1;
  std::string result;
  ASSERT_TRUE(platform::SendRexxCommand("STRICT", "ECHO still here", true, &rc, &result));
  EXPECT_EQ(rc, 0);
  EXPECT_EQ(result, "still here");
  EXPECT_TRUE(ClosedWithoutReply(silent));
  EXPECT_EQ(host.seen(), 1); // nothing malformed reached the host

  // Too long to send at all: the port exists, the command fails.
  ASSERT_TRUE(platform::SendRexxCommand("STRICT", std::string(64 * 1024 + 1, 'x'), true, &rc, &result));
  EXPECT_EQ(rc, RC_FATAL);
}

TEST_F(Ports, CallersBeyondTheConnectionLimitWaitTheirTurn) {
  TestHost host("BUSY");
  std::vector<int> idle;
  for (int i = 0; i < 16; ++i) idle.push_back(Connect("BUSY")); // every slot taken, saying nothing
  LONG rc = -1;
  std::string result;
  std::atomic<bool> done{false};
  std::thread caller([&] {
    platform::SendRexxCommand("BUSY", "ECHO my turn", true, &rc, &result);
    done = true;
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_FALSE(done) << "served while every slot was taken";
  for (int fd : idle) close(fd);
  caller.join();
  EXPECT_EQ(rc, 0);
  EXPECT_EQ(result, "my turn");
}

TEST_F(Ports, MessagesWaitingWhenTheHostClosesAreAnsweredWithTen) {
  auto host = std::make_unique<TestHost>("CLOSING", /*holdReplies=*/true);
  LONG rc = -1;
  std::thread client([&] { platform::SendRexxCommand("CLOSING", "ECHO late", true, &rc, nullptr); });
  auto waiting = [&] {
    std::lock_guard g(host->port()->mp_Lock);
    return !IsListEmpty(&host->port()->mp_MsgList);
  };
  while (!waiting()) std::this_thread::yield();
  host.reset();
  client.join();
  EXPECT_EQ(rc, 10);
}

TEST_F(Ports, FolderMustBeOursAndPrivate) {
  // A missing folder is made private.
  EXPECT_EQ(platform::RexxPortDir(), dir_);
  struct stat st{};
  ASSERT_EQ(stat(dir_.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);

  // Readable by others: refused, nothing published, nothing reached.
  chmod(dir_.c_str(), 0755);
  EXPECT_EQ(platform::RexxPortDir(), "");
  {
    TestHost host("OPEN");
    EXPECT_FALSE(platform::RexxPortPublished(host.port()));
    EXPECT_FALSE(fs::exists(SocketPath("OPEN")));
    LONG rc;
    EXPECT_FALSE(platform::SendRexxCommand("OPEN", "ECHO x", true, &rc, nullptr));
  }
  chmod(dir_.c_str(), 0700);

  // A symbolic link to a private folder is not taken either.
  std::string link = root_ + "/link";
  fs::create_symlink(dir_, link);
  setenv("MELODUNE_PORT_DIR", link.c_str(), 1);
  EXPECT_EQ(platform::RexxPortDir(), "");
  // A plain file is not a folder.
  std::string file = root_ + "/file";
  close(open(file.c_str(), O_CREAT | O_WRONLY, 0600));
  setenv("MELODUNE_PORT_DIR", file.c_str(), 1);
  EXPECT_EQ(platform::RexxPortDir(), "");
}

TEST(PortNames, FileNamesAreSafeAndDistinct) {
  using platform::RexxPortFileName;
  EXPECT_EQ(RexxPortFileName("MELODUNE"), "MELODUNE");
  EXPECT_EQ(RexxPortFileName("MELODUNE.1"), "MELODUNE.1");
  EXPECT_EQ(RexxPortFileName("a/b c"), "a%2Fb%20c");
  EXPECT_EQ(RexxPortFileName(".."), "%2E.");
  EXPECT_EQ(RexxPortFileName("%"), "%25");
  EXPECT_EQ(RexxPortFileName("caf\xE9"), "caf%E9");
  EXPECT_NE(RexxPortFileName("melodune"), RexxPortFileName("MELODUNE"));
  std::string a(79, 'A'), b = a;
  b.back() = 'B';
  EXPECT_LE(RexxPortFileName(a).size(), 48u);
  EXPECT_NE(RexxPortFileName(a), RexxPortFileName(b));
}

} // namespace
