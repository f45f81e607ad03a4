// Stations that misbehave, as people meet them: a server that never
// answers, answers that are not sound, streams that stall or drop and stay
// away, a recording drawer that fills up, a station file that cannot be
// read. Each time the bar and the port MELODUNE keep answering, a person
// gets a clear message, and nothing on disk is lost.
#include <sys/stat.h>

#include <future>
#include <mutex>

#include "playback_fixture.h"
#include "rexx/rexx.h"

namespace {

using namespace playbacktest;

class Faults : public PlaybackHost {
protected:
  void TearDown() override {
    platform::SetFileOutputSpace(-1);
    PlaybackHost::TearDown();
  }

  // A command to the port, as a script sends it; the loop keeps running
  // meanwhile, so that what the command queues is done.
  std::string Rexx(const std::string &command) {
    auto answer = std::async(std::launch::async, [command] {
      LONG rc = -1;
      std::string result;
      bool has = false;
      if (!platform::SendRexxCommand("MELODUNE", command, true, &rc, &result, &has)) return std::string("(no port)");
      return rc == 0 ? result : "(rc " + std::to_string(rc) + ")";
    });
    Until([&] { return answer.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }, 5000);
    return answer.wait_for(std::chrono::seconds(0)) == std::future_status::ready ? answer.get() : "(no answer)";
  }

  // A station that sends 32 KB once and is gone from then on (404);
  // requests counts what it is asked.
  void RouteGoneAfterOne(const std::string &path, std::atomic<int> &requests) {
    server.route_fn(path, [&requests](const testkit::Request &) {
      if (requests++ > 0) return testkit::Response::error(404);
      testkit::Response r = Icy(0);
      r.close_after = 32 * 1024;
      return r;
    });
  }

  std::string RequestText(size_t i) {
    const auto reqs = display.Requests();
    return i < reqs.size() ? reqs[i].text : "";
  }
  static std::string ErrorLine(LONG code, const std::string &text) {
    return "ErrorCode = " + std::to_string(code) + " (" + text + ")";
  }
  bool Connecting() { return FindTask(MELODUNE_HTTPSTREAM_TASK) != nullptr || !ItemEnabled(G->itemEdit.load()); }
};

// Answers that come from a server but are no stream: each is a failed
// connect with its own text, once, and nothing plays afterwards.
TEST_F(Faults, BrokenAnswersAreFailedConnectsWithTheirReason) {
  server.route("/error", testkit::Response::error(500));
  server.route("/loop", testkit::Response::redirect(server.url("/loop")));
  testkit::Response huge = Icy(0);
  huge.header("X-Filler", std::string(1 << 20, 'a'));
  server.route("/huge", huge);
  server.route("/page", testkit::Response::text("<html><body>Moved to a new site</body></html>", "text/html"));
  testkit::Response junk;
  junk.body = testkit::garbage(64 * 1024);
  junk.loops = 0;
  junk.header("Content-Type", "audio/mpeg");
  server.route("/junk", junk);
  Start({{"Error", "/error"}, {"Loop", "/loop"}, {"Huge", "/huge"}, {"Page", "/page"}, {"Junk", "/junk"}});

  const std::string noAudio = ErrorLine(MMERR_UNSUPPORTED_FORMAT, "no MP3 audio in the stream");
  const struct {
    std::string expect, response;
  } cases[] = {
      {ErrorLine(MMERR_HTTP_ERROR, MediaFault(MMERR_HTTP_ERROR)), "ResponseCode = 500 (Server Error: "},
      {ErrorLine(MMERR_TOO_MANY_REDIRECTS, MediaFault(MMERR_TOO_MANY_REDIRECTS)), ""},
      {ErrorLine(MMERR_BAD_RESPONSE, MediaFault(MMERR_BAD_RESPONSE)), ""},
      {noAudio, "ResponseCode = 200 ("},
      {noAudio, "ResponseCode = 200 ("},
  };
  for (LONG i = 0; i < 5; ++i) {
    SCOPED_TRACE(i);
    Choose(i);
    ASSERT_TRUE(Until([&] { return display.RequestCount() == static_cast<size_t>(i + 1); }));
    host.RunFor(500); // the menu changes the worker handed over before its requester
    ASSERT_FALSE(Connecting());
    const std::string text = RequestText(static_cast<size_t>(i));
    EXPECT_NE(text.find(cases[i].expect), std::string::npos) << text;
    EXPECT_NE(text.find(cases[i].response), std::string::npos) << text;
    EXPECT_EQ(G->Out.load(), nullptr);
    EXPECT_EQ(Rexx("GET STATE"), "Stoped");
  }
  // Failed connects are not retried on their own.
  host.RunFor(20000);
  EXPECT_EQ(display.RequestCount(), 5u);
  for (const char *path : {"/error", "/huge", "/page", "/junk"}) EXPECT_EQ(server.request_count(path), 1u) << path;
}

// A server that takes the connection and says nothing: the connect gives
// up after 15 s with the timeout text; while it waits the port answers, and
// a STOP ends the wait at once, so the next choice plays.
TEST_F(Faults, SilentServerTimesOutAndStopEndsTheWait) {
  testkit::Response silent;
  silent.stall_after = 0;
  silent.count_head = true;
  server.route("/silent", silent);
  server.route("/tone", Icy(0));
  Start({{"Silent", "/silent"}, {"Tone", "/tone"}});

  Choose(0);
  ASSERT_TRUE(Until([&] { return server.request_count("/silent") == 1; }));
  const uint64_t began = platform::ClockNowMs();
  EXPECT_EQ(Rexx("GET STATE"), "Stoped");
  EXPECT_EQ(Rexx("PLAY Tone"), "Warning: In connection phase!");
  ASSERT_TRUE(Until([&] { return display.RequestCount() == 1; }));
  const uint64_t waited = platform::ClockNowMs() - began;
  EXPECT_GE(waited, 14000u);
  EXPECT_LT(waited, 20000u);
  EXPECT_NE(RequestText(0).find(ErrorLine(MMERR_TIMEOUT, MediaFault(MMERR_TIMEOUT))), std::string::npos)
      << RequestText(0);

  ASSERT_TRUE(Until([&] { return !Connecting(); }));
  Choose(0);
  ASSERT_TRUE(Until([&] { return server.request_count("/silent") == 2 && Connecting(); }));
  const uint64_t stopped = platform::ClockNowMs();
  EXPECT_EQ(Rexx("STOP"), "Stopped");
  ASSERT_TRUE(Until([&] { return !Connecting(); }));
  EXPECT_LT(platform::ClockNowMs() - stopped, 3000u) << "aborted, not timed out";
  EXPECT_EQ(Rexx("PLAY Tone"), "Playing Tone");
  ASSERT_TRUE(Until([&] { return Playing(1); }));
  EXPECT_EQ(display.RequestCount(), 1u) << "a connect the user stopped is no failure to report";
}

// Quitting while a connect waits for a silent server: the connect is
// aborted, the host goes down at once, and nothing is reported or played.
TEST_F(Faults, QuitDuringAConnectDoesNotWaitForTheServer) {
  testkit::Response silent;
  silent.stall_after = 0;
  silent.count_head = true;
  server.route("/silent", silent);
  Start({{"Silent", "/silent"}});
  Choose(0);
  ASSERT_TRUE(Until([&] { return server.request_count("/silent") == 1 && FindTask(MELODUNE_HTTPSTREAM_TASK); }));
  const uint64_t quit = platform::ClockNowMs();
  EXPECT_TRUE(host.Shutdown());
  EXPECT_LT(platform::ClockNowMs() - quit, 8000u) << "the clean-up aborts the connect instead of waiting it out";
  EXPECT_EQ(display.RequestCount(), 0u);
  EXPECT_EQ(FindTask(MELODUNE_HTTPSTREAM_TASK), nullptr);
}

// Open but silent: no byte for 10 s is a dropped stream.
TEST_F(Faults, StalledStreamIsReconnected) {
  testkit::Response r = Icy(0);
  r.rate = 160000;       // real time: the sound's own pace on a clock ten times as fast
  r.stall_after = 64000; // four seconds of sound, then the connection stays open and quiet
  server.route("/stall", r);
  Start({{"Stalling", "/stall"}});

  Choose(0);
  ASSERT_TRUE(Until([&] { return Playing(0); }));
  const uint64_t playing = platform::ClockNowMs();
  uint64_t noticed = 0;
  ASSERT_TRUE(Until([&] {
    if (!noticed && BubblesWith("Playing stream stopped!")) noticed = platform::ClockNowMs();
    return noticed && server.request_count("/stall") == 2 && Playing(0);
  }));
  // Four seconds of sound, ten of silence, and up to one watchdog tick.
  EXPECT_GE(noticed - playing, 13000u);
  EXPECT_LE(noticed - playing, 21000u);
  EXPECT_EQ(display.RequestCount(), 0u);
}

// A stream that drops and whose server answers 404 for a while (a source
// that went away): attempts at growing pauses, each announced, no requester,
// and the station plays again when the source is back. A user's Stop ends
// the attempts of another such station.
TEST_F(Faults, ReconnectOutlastsAnOutageUntilTheUserStops) {
  std::mutex lock;
  std::vector<uint64_t> times;
  server.route_fn("/flaky", [&](const testkit::Request &) {
    std::lock_guard l(lock);
    times.push_back(platform::ClockNowMs());
    const size_t n = times.size();
    if (n >= 2 && n <= 4) return testkit::Response::error(404);
    testkit::Response r = Icy(0);
    if (n == 1) r.close_after = 32 * 1024;
    return r;
  });
  std::atomic<int> goneRequests{0};
  RouteGoneAfterOne("/gone", goneRequests);
  Start({{"Flaky", "/flaky"}, {"Gone", "/gone"}});

  Choose(0);
  ASSERT_TRUE(Until([&] {
    std::lock_guard l(lock);
    return times.size() >= 5 && Playing(0);
  }));
  for (int n = 1; n <= 4; ++n)
    EXPECT_EQ(BubblesWith("Reconnecting to\xA0\33bFlaky\33n (attempt " + std::to_string(n) + ")..."), 1u) << n;
  {
    std::lock_guard l(lock);
    // The first attempt 2 s after the drop, then pauses of 2, 4 and 8 s.
    const uint64_t expected[] = {2000, 4000, 8000};
    for (size_t i = 0; i < 3; ++i) {
      const uint64_t gap = times[i + 2] - times[i + 1];
      EXPECT_GE(gap, expected[i] - 100) << i;
      EXPECT_LE(gap, expected[i] + 1500) << i;
    }
  }
  EXPECT_EQ(display.RequestCount(), 0u) << "an outage is no failure while it is being outlasted";

  Choose(1);
  ASSERT_TRUE(Until([&] { return goneRequests >= 4; }, 90000)); // a bound for a loaded machine
  Push(MM_Melodune_MenuAction, MENU_STOP);
  ASSERT_TRUE(Until([&] { return !Connecting() && G->state.load() == MELODUNE_STOPPED; }));
  const int made = goneRequests;
  host.RunFor(40000); // the next attempt was due within 16 s
  EXPECT_EQ(goneRequests.load(), made);
  EXPECT_EQ(display.RequestCount(), 0u);
}

// Away for good: after half an hour of attempts the failure is reported once.
TEST_F(Faults, ReconnectGivesUpAfterHalfAnHour) {
  std::atomic<int> requests{0};
  RouteGoneAfterOne("/once", requests);
  Start({{"Once", "/once"}});
  Choose(0);
  ASSERT_TRUE(Until([&] { return Playing(0); }));
  // Half an hour of pauses in a few seconds.
  platform::SetClockRate(120);
  const uint64_t began = platform::ClockNowMs();
  ASSERT_TRUE(Until([&] { return display.RequestCount() == 1; }, 60000));
  const uint64_t lasted = platform::ClockNowMs() - began;
  EXPECT_GE(lasted, 29u * 60000);
  EXPECT_LE(lasted, 31u * 60000);
  // 2, 4, 8, 16, 32 s, then every minute.
  EXPECT_GE(requests.load(), 30);
  EXPECT_LE(requests.load(), 36);
  EXPECT_NE(RequestText(0).find("of Station 'Once'"), std::string::npos);
  EXPECT_NE(RequestText(0).find("ResponseCode = 404 ("), std::string::npos) << RequestText(0);
  host.RunFor(5 * 60000);
  EXPECT_EQ(display.RequestCount(), 1u);
}

// The drawer fills up: the recording ends with the reason, what was written
// stays, and the station goes on playing.
TEST_F(Faults, FullRecordingDrawerEndsTheRecordingAndKeepsTheFile) {
  testkit::Response r = Icy(0);
  r.rate = 160000; // the sound's pace on a clock ten times as fast
  server.route("/tone", r);
  Start({{"Tone", "/tone"}});
  Choose(0);
  ASSERT_TRUE(Until([&] { return Playing(0); }));

  platform::SetFileOutputSpace(40000);
  Push(MM_Melodune_MenuAction, MENU_RECORD);
  ASSERT_TRUE(Until([&] { return display.RequestCount() == 1 && !G->recOut.load() && Playing(0); }, 20000));
  EXPECT_EQ(RequestText(0), "\33cRecording was aborted!\n\nErrorCode = " + std::to_string(MMERR_DISK_FULL) + " (" +
                                MediaFault(MMERR_DISK_FULL) + ")");
  std::vector<std::filesystem::path> files;
  for (const auto &e : std::filesystem::directory_iterator(root + "/RAM"))
    if (e.path().extension() == ".mp3") files.push_back(e.path());
  ASSERT_EQ(files.size(), 1u);
  const std::string written = testkit::read_file(files[0].string());
  EXPECT_EQ(written, testkit::read_file(Fixture("tone440_128k.mp3")).substr(0, 40000));
  EXPECT_TRUE(Playing(0));
  EXPECT_EQ(Rexx("GET STATE"), "Playing");
}

// A station file that cannot be read: the menu still opens with its fixed
// commands, and a script hears at once that there are no stations.
TEST_F(Faults, UnreadableStationFile) {
  // A drawer where the file should be: it exists, and cannot be read as one.
  std::filesystem::create_directory(root + "/SYS/Data/Screenbar/Melodune/Stations.txt");
  ASSERT_TRUE(host.Load(Plugin)) << host.Error();
  ASSERT_TRUE(host.Start()) << host.Error();
  G = testsupport::PluginGlobals(host.Bar(0));
  ASSERT_NE(G, nullptr);

  display.ChooseMenuUserData(0); // the menu closed without a choice
  platform::InputClick(host.Bar(0));
  ASSERT_TRUE(Until([&] { return display.Menus().size() == 1; }));
  EXPECT_EQ(G->stations.load(), nullptr);
  const uint64_t asked = platform::ClockNowMs();
  EXPECT_EQ(Rexx("PLAY 0"), "Warning: No Stations available!");
  EXPECT_LT(platform::ClockNowMs() - asked, 5000u) << "the failed load ends the wait";
  EXPECT_EQ(display.RequestCount(), 0u);
}

} // namespace
