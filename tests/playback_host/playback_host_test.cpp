// The real title-bar host with the built plug-in, against testkit stations:
// choose a station from the pop-up menu and follow what a person would see
// (bubbles, requesters, the menu) and what the player holds (g).
#include "playback_fixture.h"

namespace {

using namespace playbacktest;

TEST_F(PlaybackHost, ChosenStationPlaysWithTitleInfoAndMute) {
  testkit::Response r = Icy(8192, {{"NOW PLAYING: BAND X", 0, {}}});
  r.meta_every_block = true; // the same title again and again
  r.header("ice-audio-info", "ice-samplerate=44100;ice-bitrate=128;ice-channels=2");
  server.route("/titled", r);
  Start({{"Test/Titled Radio", "/titled"}, {"Other", "/titled"}});

  Choose(0);
  ASSERT_TRUE(Until([&] { return Playing(0) && textIsSet(&G->infoText); }));
  EXPECT_EQ(display.Menus().size(), 1u);
  const auto reqs = server.requests("/titled");
  ASSERT_EQ(reqs.size(), 1u);
  EXPECT_EQ(reqs[0].header("Icy-MetaData"), "1");
  EXPECT_EQ(BubblesWith("Connecting to\xA0\33bTest/Titled Radio\33n..."), 1u);

  char last[64] = {};
  EXPECT_GT(GetVar("Melodune_LastStation", last, sizeof(last), GVF_GLOBAL_ONLY), 0);
  EXPECT_STREQ(last, "Test/Titled Radio");
  EXPECT_TRUE(std::filesystem::exists(root + "/ENVARC/Melodune_LastStation")) << "saved across reboots";

  // The audio information, from the ice-audio-info header.
  const std::string info = "\33cListening to \33bTest/Titled Radio\33n\n\33bBitrate:\33n 128 kps, "
                           "\33bSamplerate:\33n 44100 Hz, 2 \33bchannels\33n";
  EXPECT_EQ(BubblesWith(info), 1u);
  EXPECT_EQ(G->bitrate.load(), 128);
  EXPECT_EQ(G->samplerate.load(), 44100);
  EXPECT_EQ(G->channels.load(), 2);

  // The menu follows: the station cannot be chosen again, Stop and Mute work.
  // (Stop is usable during the connect already; Mute only once it plays.)
  ASSERT_TRUE(Until([&] { return ItemEnabled(G->itemMute.load()); }));
  EXPECT_FALSE(ItemEnabled(StationItem(0)));
  EXPECT_TRUE(ItemEnabled(StationItem(1)));
  EXPECT_TRUE(ItemEnabled(G->itemStop.load()));
  EXPECT_TRUE(ItemEnabled(G->itemMute.load()));

  // The title, cleaned, once, however many ticks see it.
  const std::string title = "Now" + NB + "Playing:" + NB + "Band" + NB + "X";
  ASSERT_TRUE(Until([&] { return BubblesWith(title) == 1; }));
  host.RunFor(16000); // three more watchdog ticks
  EXPECT_EQ(BubblesWith(title), 1u);
  EXPECT_EQ(textGet(&G->title), title);
  EXPECT_EQ(BubblesWith("NOW PLAYING: BAND X"), 0u);

  // Mute: the right button, then the menu choice.
  EXPECT_EQ(OutAttr(MMA_Sound_Mute), 0u);
  RightButton();
  ASSERT_TRUE(Until([&] { return MuteTitle() == "Unmute"; }));
  EXPECT_EQ(OutAttr(MMA_Sound_Mute), 1u);
  Push(MM_Melodune_MenuAction, MENU_MUTE);
  ASSERT_TRUE(Until([&] { return MuteTitle() == "Mute"; }));
  EXPECT_EQ(OutAttr(MMA_Sound_Mute), 0u);

  // Stop.
  display.ChooseMenuUserData(MENU_STOP);
  platform::InputClick(host.Bar(0));
  ASSERT_TRUE(Until([&] { return G->state.load() == MELODUNE_STOPPED && !G->Out.load() && !G->isInSlaveConnection; }));
  EXPECT_EQ(G->currStation.load(), -1);
  EXPECT_FALSE(textIsSet(&G->title));
  ASSERT_TRUE(Until([&] { return !ItemEnabled(G->itemStop.load()) && ItemEnabled(StationItem(0)); }));
  EXPECT_FALSE(ItemEnabled(G->itemMute.load()));
  EXPECT_EQ(BubblesWith("Disconnecting..."), 1u);
}

TEST_F(PlaybackHost, IcyBitrateOnlyAndNoTitles) {
  testkit::Response r = Icy(0);
  r.header("icy-br", "192");
  server.route("/plain", r);
  Start({{"Plain", "/plain"}});

  Choose(0);
  ASSERT_TRUE(Until([&] { return Playing(0) && textIsSet(&G->infoText); }));
  EXPECT_EQ(BubblesWith("\33cListening to \33bPlain\33n\n\33bBitrate:\33n 192 kps, \33bSamplerate:\33n Unknown Hz"), 1u);
  EXPECT_EQ(G->bitrate.load(), 192);
  EXPECT_EQ(G->samplerate.load(), 44100) << "taken from the output";
  EXPECT_EQ(G->channels.load(), 2);

  // No in-band titles: ticks pass without a title bubble.
  const size_t before = display.BubbleCount();
  host.RunFor(12000);
  EXPECT_FALSE(textIsSet(&G->title));
  EXPECT_EQ(display.BubbleCount(), before);
  EXPECT_TRUE(Playing(0));
}

TEST_F(PlaybackHost, DroppedStreamIsReconnectedToTheSameStation) {
  testkit::Response r = Icy(0);
  r.close_after = 48 * 1024; // three seconds of sound, then the server hangs up
  server.route("/drop", r);
  server.route("/other", Icy(0));
  Start({{"Other", "/other"}, {"Dropping", "/drop"}});

  Choose(1);
  ASSERT_TRUE(Until([&] { return Playing(1); }));
  uint64_t noticed = 0, again = 0;
  ASSERT_TRUE(Until([&] {
    if (!noticed && BubblesWith("Playing stream stopped!")) noticed = platform::ClockNowMs();
    if (noticed && !again && server.request_count("/drop") >= 2) again = platform::ClockNowMs();
    return again && Playing(1);
  }));
  // The watchdog notices, the disconnect asks for the same index 2 s later.
  EXPECT_GE(again - noticed, 1900u);
  EXPECT_LE(again - noticed, 4000u);
  EXPECT_EQ(server.request_count("/other"), 0u);
}

TEST_F(PlaybackHost, NotFoundGivesTheFailureRequester) {
  server.route("/missing", testkit::Response::error(404));
  Start({{"Gone/Missing", "/missing"}});

  Choose(0);
  ASSERT_TRUE(Until([&] { return display.RequestCount() == 1 && !G->isInSlaveConnection; }));
  const auto req = display.Requests()[0];
  EXPECT_EQ(req.title, "Melodune.sbar: Warning");
  ASSERT_EQ(req.buttons.size(), 1u);
  EXPECT_EQ(req.buttons[0], "Okay");
  EXPECT_EQ(req.text, "\33cFailed to setup the stream\n'" + server.url("/missing") +
                          "'\nof Station 'Gone/Missing'\n\nErrorCode = " + std::to_string(MMERR_HTTP_ERROR) + " (" +
                          MediaFault(MMERR_HTTP_ERROR) + ")\nResponseCode = 404 (Client Error: Not Found)");
  EXPECT_EQ(G->Out.load(), nullptr);
  EXPECT_EQ(G->state.load(), MELODUNE_STOPPED);
  EXPECT_EQ(G->currStation.load(), -1);
  char last[64] = {};
  EXPECT_EQ(GetVar("Melodune_LastStation", last, sizeof(last), GVF_GLOBAL_ONLY), -1);
  // The menu is usable again; what needs a stream stays off.
  ASSERT_TRUE(Until([&] { return ItemEnabled(StationItem(0)) && !ItemEnabled(G->itemStop.load()); }));
  EXPECT_FALSE(ItemEnabled(G->itemMute.load()));
}

TEST_F(PlaybackHost, RightButtonAbortsAStalledConnect) {
  testkit::Response stall;
  stall.stall_after = 0;
  stall.count_head = true; // not even a status line
  server.route("/stall", stall);
  Start({{"Stalling", "/stall"}});

  Choose(0);
  ASSERT_TRUE(Until([&] { return server.request_count("/stall") == 1 && FindTask(MELODUNE_HTTPSTREAM_TASK); }));
  const uint64_t pressed = platform::ClockNowMs();
  RightButton();
  ASSERT_TRUE(Until([&] { return display.RequestCount() == 1; }));
  EXPECT_LT(platform::ClockNowMs() - pressed, 5000u) << "aborted, not timed out";
  const std::string text = display.Requests()[0].text;
  EXPECT_NE(text.find("ErrorCode = " + std::to_string(MMERR_ABORTED) + " (" + MediaFault(MMERR_ABORTED) + ")"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("of Station 'Stalling'"), std::string::npos);
  EXPECT_EQ(G->Out.load(), nullptr);
}

TEST_F(PlaybackHost, ReconnectWithNothingPlayedDoesNothing) {
  server.route("/tone", Icy(0));
  Start({{"Tone", "/tone"}});
  // The update check would leave its mode in the main instance's user data;
  // the automatic one (due a minute after start) is not wanted here.
  DoMethod(host.Application(), MUIM_Application_KillPushMethod, host.Bar(0), 0, MM_Melodune_UpdateCheck);
  SetAttrs(host.Bar(0), MUIA_UserData, 12345);
  DoMethod(G->slaveConnection.load(), MM_Melodune_XDisConnect, 1);
  host.RunFor(3000);
  IPTR mode = 0;
  GetAttr(MUIA_UserData, host.Bar(0), &mode);
  EXPECT_EQ(mode, 12345u) << "no menu choice 6 (update check) was pushed";
  EXPECT_EQ(server.request_count(), 0u);
  EXPECT_EQ(G->isInSlaveConnection.load(), 0);
}

// Started as a person would, but with the sound going to a file: the file
// holds the decoded stream.
TEST_F(PlaybackHost, WavDeviceHoldsTheDecodedStream) {
  const std::string wav = root + "/heard.wav";
  platform::SetAudioDevice("wav:" + wav);
  server.route("/tone", Icy(16000, {{"A - B", 0, {}}}));
  Start({{"Tone", "/tone"}});

  Choose(0);
  ASSERT_TRUE(Until([&] { return Playing(0); }));
  const uint64_t started = platform::ClockNowMs();
  host.RunFor(4000);
  const uint64_t played = platform::ClockNowMs() - started;
  Push(MM_Melodune_MenuAction, MENU_STOP);
  ASSERT_TRUE(Until([&] { return !G->Out.load() && !G->isInSlaveConnection; }));

  const std::string data = testkit::read_file(wav);
  ASSERT_GT(data.size(), 44u);
  auto u16 = [&](size_t at) { return static_cast<unsigned>(UBYTE(data[at]) | UBYTE(data[at + 1]) << 8); };
  auto u32 = [&](size_t at) { return u16(at) | u16(at + 2) << 16; };
  EXPECT_EQ(data.substr(0, 4), "RIFF");
  EXPECT_EQ(u16(22), 2u);      // channels
  EXPECT_EQ(u32(24), 44100u);  // rate
  EXPECT_EQ(u32(40), data.size() - 44);
  // About as much sound as the time it played (paced on the platform clock).
  const double seconds = static_cast<double>(data.size() - 44) / (44100.0 * 4);
  EXPECT_GT(seconds, played / 1000.0 * 0.6);
  EXPECT_LT(seconds, played / 1000.0 + 3.0);
  // The tone of the fixture: 440 Hz, from the rising zero crossings of the left channel.
  const auto *pcm = reinterpret_cast<const int16_t *>(data.data() + 44);
  const size_t frames = (data.size() - 44) / 4;
  size_t crossings = 0, first = 0, last = 0;
  int peak = 0;
  bool low = false;
  for (size_t i = 0; i < frames; ++i) {
    const int v = pcm[i * 2];
    peak = std::max(peak, std::abs(v));
    if (v < -2000) low = true;
    else if (low && v > 2000) {
      low = false;
      if (!crossings) first = i;
      last = i;
      ++crossings;
    }
  }
  ASSERT_GT(crossings, 100u);
  const double hz = (crossings - 1) * 44100.0 / static_cast<double>(last - first);
  EXPECT_NEAR(hz, 440.0, 5.0);
  EXPECT_GT(peak, 8000);
  std::printf("heard: %.2f s of %u Hz, %u channels; tone %.1f Hz, peak %d\n", seconds, u32(24), u16(22), hz, peak);
}

} // namespace
