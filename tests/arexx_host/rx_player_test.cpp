// The built screenbar with the plug-in, headless, against testkit stations;
// everything is asked and answered through rx scripts on the port MELODUNE,
// as a user's script would. Requesters of a headless host go to its error
// output, which the test keeps.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "rexx/rexx.h"
#include "support/temp_root.h"
#include "testkit/server.h"

extern char **environ;

namespace fs = std::filesystem;

namespace {

const std::string Bin = MELODUNE_BIN_DIR;

std::string ReadAll(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

struct Spawned {
  int status = -1;
  std::string out;
};

// A program with its output collected (no shell).
Spawned Spawn(const std::vector<std::string> &args) {
  Spawned r;
  int out[2];
  if (pipe(out) != 0) return r;
  posix_spawn_file_actions_t fa;
  posix_spawn_file_actions_init(&fa);
  posix_spawn_file_actions_adddup2(&fa, out[1], 1);
  posix_spawn_file_actions_addopen(&fa, 2, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addclose(&fa, out[0]);
  std::vector<std::string> copy = args;
  std::vector<char *> argv;
  for (auto &a : copy) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_t pid = -1;
  const int rc = posix_spawn(&pid, argv[0], &fa, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&fa);
  close(out[1]);
  if (rc == 0) {
    pollfd p{out[0], POLLIN, 0};
    while (poll(&p, 1, 60000) > 0) {
      char buf[4096];
      const ssize_t n = read(out[0], buf, sizeof buf);
      if (n <= 0) break;
      r.out.append(buf, static_cast<size_t>(n));
    }
    int st = 0;
    waitpid(pid, &st, 0);
    r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
  }
  close(out[0]);
  return r;
}

struct Answer {
  int rc = -1;
  std::string result;
  bool operator==(const Answer &o) const { return rc == o.rc && result == o.result; }
};
std::ostream &operator<<(std::ostream &os, const Answer &a) { return os << a.rc << " \"" << a.result << "\""; }
Answer Ok(std::string text) { return {0, std::move(text)}; }

class RxPlayer : public ::testing::Test {
protected:
  void SetUp() override {
    fs::create_directories(root + "/SYS/Data/Screenbar/Melodune");
    setenv("MELODUNE_PORT_DIR", ports.c_str(), 1); // rx and the player find each other there
    script = dir + "/cmd.rexx";
    std::ofstream(script) << "/* one command to the player */\n"
                             "parse arg cmd\n"
                             "options results\n"
                             "address MELODUNE cmd\n"
                             "say rc\n"
                             "if rc = 0 then call charout , result\n"
                             "exit 0\n";
    tone = testkit::read_file(std::string(MELODUNE_FIXTURE_DIR) + "/tone440_128k.mp3");
  }
  void TearDown() override {
    if (pid > 0) {
      kill(pid, SIGTERM);
      int st = 0;
      waitpid(pid, &st, 0);
      EXPECT_TRUE(WIFEXITED(st) && WEXITSTATUS(st) == 0) << "the player ends cleanly\n" << Log();
    }
    unsetenv("MELODUNE_PORT_DIR");
    server.stop();
  }

  testkit::Response Live(std::vector<testkit::TitleChange> titles = {}) {
    testkit::Response r;
    r.status = "ICY 200 OK";
    r.auto_headers = false;
    r.body = tone;
    r.loops = 0;
    r.rate = 64000; // twice real time: the file grows, the disk does not fill
    r.burst = 32000;
    r.header("content-type", "audio/mpeg");
    if (!titles.empty()) {
      r.metaint_header = "8192";
      r.metaint = 8192;
      r.meta_every_block = true;
      r.titles = std::move(titles);
    }
    return r;
  }

  void Start(const std::vector<std::pair<std::string, std::string>> &stations) {
    std::ofstream f(root + "/SYS/Data/Screenbar/Melodune/Stations.txt");
    f << stations.size() << "\n";
    for (const auto &s : stations) f << s.first << "\n\n" << server.url(s.second) << "\n#\n";
    f.close();
    const std::string log = dir + "/screenbar.log";
    std::vector<std::string> args{Bin + "/screenbar", "--root", root, "--audio", "null", "--clock-rate", "10",
                                  "--headless"};
    std::vector<char *> argv;
    for (auto &a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_addopen(&fa, 1, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_adddup2(&fa, 1, 2);
    ASSERT_EQ(posix_spawn(&pid, argv[0], &fa, nullptr, argv.data(), environ), 0);
    posix_spawn_file_actions_destroy(&fa);
    const std::string sock = ports + "/" + platform::RexxPortFileName("MELODUNE");
    ASSERT_TRUE(Until([&] { return fs::exists(sock); })) << Log();
  }

  Answer Cmd(const std::string &command) {
    const Spawned r = Spawn({Bin + "/rx", script, command});
    Answer a;
    const size_t nl = r.out.find('\n');
    if (r.status != 0 || nl == std::string::npos) return a;
    a.rc = std::atoi(r.out.substr(0, nl).c_str());
    a.result = r.out.substr(nl + 1);
    return a;
  }
  std::string Result(const std::string &command) { return Cmd(command).result; }

  bool Until(const std::function<bool()> &pred, int ms = 20000) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (std::chrono::steady_clock::now() < end) {
      if (pred()) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return pred();
  }
  bool Playing(const std::string &name) {
    return Until([&] { return Result("GET STATE") == "Playing" && Result("GET STATION") == name; });
  }
  std::string Log() { return ReadAll(dir + "/screenbar.log"); }

  testkit::Server server;
  testsupport::TempRoot tmp{"melodune-rxplayer"};
  std::string dir = tmp.path(), root = dir + "/root", ports = dir + "/ports", script, tone;
  pid_t pid = -1;
};

const std::string HelpText =
    "ARexxCommands for Melodune:\n  HELP\n  - show this help\n\n"
    "  PLAY STATION/F,NEXT/S,PREV/S,LAST=LASTUSED/S,INFO/S\n"
    "  - start playing STATION, NEXT/PREV will play next/prev station\n"
    "  - STATION can be a name or the index number from 0 to max. stations-1\n"
    "  - LASTUSED will play last used station (the station before stopping)\n"
    "  - INFO opens the Stream Info window\n\n"
    "  REC STOP/S,INFO/S\n  - toggle recording from the currently playing station\n  - STOP stops the recording\n"
    "  - INFO shows information about the currently recording station (if any)\n\n"
    "  STOP\n  - stop playing\n\n  MUTE\n  - mute/unmute\n\n"
    "  GET TITLE/S,STATE/S,STATION/S,LIST=STATIONLIST/S\n"
    "  - get the current title, state (Playing, Stoped, Recording), station name or station list";

const std::string LongName = "A Long Group Name/The Station With A Long Name";

std::vector<std::pair<std::string, std::string>> TenStations() {
  return {{"Rock/Radio X", "/x"},    {"Talk/News: Live/24", "/news"}, {"Jazz/Smooth", "/a"}, {"Pop/Three", "/a"},
          {"Misc/Four", "/a"},       {"Misc/Five", "/a"},             {"Misc/Six", "/a"},    {"Misc/Seven", "/a"},
          {"Misc/Eight", "/a"},      {LongName, "/a"}};
}

TEST_F(RxPlayer, HelpGetAndUnknownCommands) {
  server.route("/a", Live());
  Start(TenStations());
  EXPECT_EQ(Cmd("HELP"), Ok(HelpText));
  EXPECT_EQ(Cmd("FOO").rc, 10);
  EXPECT_EQ(Cmd("FOO").result, "");
  EXPECT_EQ(Cmd("GET BOGUS").rc, 10);
  EXPECT_EQ(Cmd("GET LIST"), Ok("Rock/Radio X\nTalk/News: Live/24\nJazz/Smooth\nPop/Three\nMisc/Four\nMisc/Five\n"
                                "Misc/Six\nMisc/Seven\nMisc/Eight\n" + LongName));
  EXPECT_EQ(Cmd("GET STATE"), Ok("Stoped"));
  EXPECT_EQ(Cmd("GET STATION"), Ok("Warning: Nothing plays!"));
  EXPECT_EQ(Cmd("GET TITLE"), Ok("Warning: No title available!"));
  EXPECT_EQ(Cmd("STOP"), Ok("Warning: Nothing plays!"));
  EXPECT_EQ(Cmd("MUTE"), Ok("Warning: Nothing plays!"));
  EXPECT_EQ(Cmd("REC"), Ok("Warning: Can't record if nothing plays!"));
  EXPECT_EQ(Cmd("PLAY"), Ok("Warning: An argument is missing!"));
  EXPECT_EQ(Cmd("PLAY Nowhere"), Ok("Warning: Station 'Nowhere' not found!"));
}

TEST_F(RxPlayer, PlayChoosesStationsAndTheRestFollows) {
  server.route("/a", Live());
  server.route("/x", Live({{"NOW PLAYING: BAND X", 0, {}}}));
  server.route("/news", Live());
  Start(TenStations());

  EXPECT_EQ(Cmd("play 3"), Ok("Playing Pop/Three"));
  ASSERT_TRUE(Playing("Pop/Three")) << Log();
  EXPECT_EQ(Cmd("PLAY 25"), Ok("Playing " + LongName));
  ASSERT_TRUE(Playing(LongName));
  EXPECT_EQ(Cmd("PLAY NEXT"), Ok("Playing Rock/Radio X")) << "wraps to the first";
  ASSERT_TRUE(Playing("Rock/Radio X"));
  EXPECT_EQ(Cmd("PLAY PREV"), Ok("Playing " + LongName)) << "wraps to the last";
  ASSERT_TRUE(Playing(LongName));
  EXPECT_EQ(Cmd("PLAY -4"), Ok("Playing Rock/Radio X"));
  ASSERT_TRUE(Playing("Rock/Radio X"));

  // The title, with plain spaces.
  ASSERT_TRUE(Until([&] { return Result("GET TITLE") == "Now Playing: Band X"; })) << Result("GET TITLE");

  // Already playing: the answer, no new connection.
  const size_t before = server.request_count("/x");
  EXPECT_EQ(Cmd("PLAY rock/RADIO x"), Ok("Playing Rock/Radio X"));
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_EQ(server.request_count("/x"), before);
  EXPECT_EQ(Cmd("PLAY INFO"), Ok(""));

  EXPECT_EQ(Cmd("PLAY TALK/NEWS: LIVE/24"), Ok("Playing Talk/News: Live/24"));
  ASSERT_TRUE(Playing("Talk/News: Live/24"));
  EXPECT_EQ(Cmd("PLAY smooth"), Ok("Playing Jazz/Smooth")) << "by the last name component";
  ASSERT_TRUE(Playing("Jazz/Smooth"));

  EXPECT_EQ(Cmd("MUTE"), Ok("Muted"));
  std::this_thread::sleep_for(std::chrono::milliseconds(200)); // the toggle runs on the GUI task
  EXPECT_EQ(Cmd("MUTE"), Ok("Unmuted"));

  // Stop; LASTUSED brings back the last station, long name and all.
  EXPECT_EQ(Cmd("PLAY 9"), Ok("Playing " + LongName));
  ASSERT_TRUE(Playing(LongName));
  EXPECT_EQ(Cmd("STOP"), Ok("Stopped"));
  ASSERT_TRUE(Until([&] { return Result("GET STATE") == "Stoped"; }));
  EXPECT_EQ(Cmd("GET STATION"), Ok("Warning: Nothing plays!"));
  EXPECT_EQ(Cmd("PLAY LASTUSED"), Ok("Playing " + LongName));
  ASSERT_TRUE(Playing(LongName));
}

// "Recording from 'NAME', since DATE (TIME), filesize: N bytes"
struct RecInfo {
  bool ok = false;
  std::string station, date, time;
  long long size = -2;
};
RecInfo ParseRecInfo(const std::string &text) {
  static const std::regex re("Recording from '(.*)', since (\\d\\d-\\d\\d-\\d\\d) \\((\\d\\d:\\d\\d:\\d\\d)\\), "
                             "filesize: (-?\\d+) bytes");
  std::smatch m;
  RecInfo info;
  if (!std::regex_match(text, m, re)) return info;
  info.ok = true;
  info.station = m[1];
  info.date = m[2];
  info.time = m[3];
  info.size = std::stoll(m[4]);
  return info;
}
std::string FileOf(const RecInfo &info) {
  std::string name = info.station;
  for (char &c : name)
    if (c == '/' || c == ':') c = '_';
  std::string time = info.time;
  time.erase(std::remove(time.begin(), time.end(), ':'), time.end());
  return name + "_" + info.date + "_" + time + ".mp3";
}

TEST_F(RxPlayer, RecordStartInfoBusyAndStop) {
  // The recording's own connection (the second one) waits until let go.
  testkit::Gate letGo;
  testkit::Response held = Live();
  held.hold = letGo;
  server.route_seq("/news", {Live(), held, Live()});
  Start(TenStations());
  EXPECT_EQ(Cmd("REC STOP"), Ok("Warning: Can't record if nothing plays!"));
  EXPECT_EQ(Cmd("PLAY 1"), Ok("Playing Talk/News: Live/24"));
  ASSERT_TRUE(Playing("Talk/News: Live/24"));
  EXPECT_EQ(Cmd("REC INFO"), Ok("Warning: Nothing is recording!"));
  EXPECT_EQ(Cmd("REC STOP"), Ok("Warning: Nothing is recording!"));

  EXPECT_EQ(Cmd("REC"), Ok("Preparing recording..."));
  ASSERT_TRUE(server.wait_requests("/news", 2, std::chrono::seconds(10)));
  EXPECT_EQ(Cmd("REC"), Ok("Warning: Busy, try again in a second!"));
  letGo.open();
  ASSERT_TRUE(Until([&] { return Result("GET STATE") == "Recording"; })) << Log();

  const RecInfo first = ParseRecInfo(Result("REC INFO"));
  ASSERT_TRUE(first.ok) << Result("REC INFO");
  EXPECT_EQ(first.station, "Talk/News: Live/24");
  const std::string file = root + "/RAM/" + FileOf(first);
  EXPECT_TRUE(fs::exists(file)) << file;
  EXPECT_EQ(FileOf(first).rfind("Talk_News_ Live_24_", 0), 0u);
  ASSERT_TRUE(Until([&] {
    const RecInfo later = ParseRecInfo(Result("REC INFO"));
    return later.ok && later.size > first.size && later.size > 32000;
  })) << "the file grows: " << Result("REC INFO") << "\n" << Log() << [&] {
    std::string names;
    for (const auto &e : fs::directory_iterator(root + "/RAM")) names += e.path().filename().string() + " " + std::to_string(e.is_regular_file() ? fs::file_size(e.path()) : 0) + "\n";
    return names;
  }();
  EXPECT_EQ(static_cast<long long>(fs::file_size(file)) >= first.size, true);

  EXPECT_EQ(Cmd("REC STOP"), Ok("Stopping recording..."));
  ASSERT_TRUE(Until([&] { return Result("GET STATE") == "Playing"; }));
  EXPECT_EQ(Cmd("REC INFO"), Ok("Warning: Nothing is recording!"));
  const auto size = fs::file_size(file);
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_EQ(fs::file_size(file), size) << "nothing is written after the stop";
  EXPECT_GT(size, 0u);

  // Recording goes on after the playback stops, and its stop leaves "Stoped".
  EXPECT_EQ(Cmd("REC"), Ok("Preparing recording..."));
  ASSERT_TRUE(Until([&] { return Result("GET STATE") == "Recording"; }));
  EXPECT_EQ(Cmd("STOP"), Ok("Stopped"));
  ASSERT_TRUE(Until([&] { return Result("GET STATION") == "Warning: Nothing plays!"; }));
  EXPECT_EQ(Cmd("GET STATE"), Ok("Recording"));
  EXPECT_EQ(Cmd("REC"), Ok("Stopping recording..."));
  ASSERT_TRUE(Until([&] { return Result("GET STATE") == "Stoped"; }));
}

TEST_F(RxPlayer, ClosedRecordingStreamIsNoticedAndStopped) {
  // Play gets an endless stream; the recording's connection is closed
  // cleanly after 40000 bytes, or cut short of its announced length.
  testkit::Response closing = Live();
  closing.close_after = 40000;
  testkit::Response cut = testkit::Response::file(std::string(MELODUNE_FIXTURE_DIR) + "/tone440_128k.mp3",
                                                  "audio/mpeg");
  cut.close_after = 30000; // the Content-Length promises more
  server.route_seq("/a", {Live(), closing, cut, Live()});
  Start(TenStations());
  EXPECT_EQ(Cmd("PLAY Jazz/Smooth"), Ok("Playing Jazz/Smooth"));
  ASSERT_TRUE(Playing("Jazz/Smooth"));

  // The stream may end before a script could look: the file tells.
  EXPECT_EQ(Cmd("REC"), Ok("Preparing recording..."));
  std::string file;
  ASSERT_TRUE(Until([&] {
    for (const auto &e : fs::directory_iterator(root + "/RAM"))
      if (e.path().extension() == ".mp3") file = e.path().string();
    return !file.empty() && Result("REC INFO") == "Warning: Nothing is recording!" &&
           Result("GET STATE") == "Playing";
  })) << "the watchdog stops it";
  EXPECT_EQ(fs::path(file).filename().string().rfind("Jazz_Smooth_", 0), 0u);
  EXPECT_EQ(fs::file_size(file), 40000u) << "the file stays, whole";
  EXPECT_EQ(Log().find("Recording was aborted!"), std::string::npos) << "a clean end is no abort";

  EXPECT_EQ(Cmd("REC"), Ok("Preparing recording..."));
  ASSERT_TRUE(Until([&] { return Log().find("Recording was aborted!") != std::string::npos; })) << Log();
  ASSERT_TRUE(Until([&] { return Result("GET STATE") == "Playing"; }));
  EXPECT_EQ(Cmd("REC INFO"), Ok("Warning: Nothing is recording!"));
}

} // namespace
