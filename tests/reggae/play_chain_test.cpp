// Whole chains against the testkit server: decoding, titles, stalls, drops,
// the audio devices and the file output.
#include <gtest/gtest.h>

#include <sys/resource.h>
#include <unistd.h>

#include <csignal>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <future>
#include <fstream>
#include <iterator>
#include <thread>

#include "dos/dos.h"
#include "exec/clock.h"
#include "exec/exec.h"
#include "reggae_test_util.h"
#include "support/clock_rate.h"
#include "support/icy_stream.h"
#include "support/temp_root.h"
#include "testkit/server.h"

using namespace std::chrono_literals;
using reggaetest::Fixture;
using testsupport::IcyFile;

namespace {

// The chain of the player up to (and with) the decoder.
struct Chain {
  Object *http = nullptr, *buffer = nullptr, *shout = nullptr, *demux = nullptr, *decoder = nullptr,
         *out = nullptr;
  LONG error = 0, response = 0;

  bool Build(const std::string &url, bool withDecoder = true) {
    CONST_STRPTR extra[] = {"Icy-MetaData", "1", nullptr};
    http = NewObject(nullptr, "http.stream", MMA_StreamURL, url.c_str(), MMA_ObjectName, "Melodune HttpStream",
                     MMA_Http_RequestHeaders, extra, MMA_ErrorCode, &error, MMA_Http_ResponseCode, &response);
    if (!http)
      return false;
    buffer = NewObject(nullptr, "stream.buffer", MMA_ObjectName, "Melodune Play StreamBuffer", MMA_OwnTask, 1);
    if (!buffer || !MediaConnect(http, 0, buffer, 0))
      return false;
    Object *up = buffer;
    auto metaint = reinterpret_cast<CONST_STRPTR>(DoMethod(http, MMM_Http_GetHeader, "icy-metaint"));
    if (metaint && atol(metaint) > 0) {
      shout = NewObject(nullptr, "shoutcast.demuxer", MMA_Shoutcast_MetaInterval, atol(metaint));
      if (!shout || !MediaConnect(buffer, 1, shout, 0))
        return false;
      up = shout;
    }
    if (!withDecoder)
      return true;
    demux = NewObject(nullptr, "mpegaudio.demuxer");
    decoder = NewObject(nullptr, "mpegaudio.decoder");
    return demux && decoder && MediaConnect(up, 1, demux, 0) && MediaConnect(demux, 1, decoder, 0);
  }
  bool AddOutput() {
    out = NewObject(nullptr, "audio.output", MMA_ObjectName, "Melodune AudioOutput");
    return out && MediaConnect(decoder, 1, out, 0);
  }
  ~Chain() {
    DoMethod(out, MMM_Stop);
    for (Object *o : {out, decoder, demux, shout, buffer, http})
      DisposeObject(o);
  }
};

// Feeds out from the chain's buffer and waits for its end signal, sig
// (the caller frees it).
void PlayToEnd(Chain &ch, Object *out, BYTE &sig) {
  ASSERT_TRUE(MediaConnect(ch.buffer, 1, out, 0));
  sig = AllocSignal(-1);
  EXPECT_TRUE(DoMethod(out, MMM_SignalAtEnd, FindTask(nullptr), sig));
  ASSERT_TRUE(DoMethod(out, MMM_Play));
  EXPECT_NE(platform::WaitTimeout(1u << sig, 20000), 0u);
}

std::string Title(Object *shout) {
  auto *tags = reinterpret_cast<TagItem *>(DoMethod(shout, MMM_QueryMetaData, 1, 0, 0));
  if (!tags)
    return "<none>";
  std::string title = "<bad>";
  auto *sub = reinterpret_cast<TagItem *>(GetTagData(MMETA_Title, 0, tags));
  auto data = reinterpret_cast<CONST_STRPTR>(GetTagData(MMETA_Data, 0, sub));
  IPTR size = GetTagData(MMETA_Size, 0, sub), chars = GetTagData(MMETA_CharCount, 0, sub);
  if (data && size == chars + 1 && std::strlen(data) == chars)
    title = data;
  DoMethod(shout, MMM_DisposeMetaData, tags);
  return title;
}

bool WaitFor(const std::function<bool()> &cond, std::chrono::milliseconds limit = 10s) {
  auto end = std::chrono::steady_clock::now() + limit;
  while (!cond()) {
    if (std::chrono::steady_clock::now() > end)
      return false;
    std::this_thread::sleep_for(2ms);
  }
  return true;
}

using testsupport::ClockRate;

// A fresh folder as the root of the volumes.
struct DosRoot : testsupport::TempRoot {
  DosRoot() : TempRoot("reggae-test") { platform::SetDosRoot(path()); }
};

} // namespace

TEST(PlayChain, TonesDecodeToTheirFrequencyAndTitlesArrive) {
  testkit::Server srv;
  srv.route("/a", IcyFile(Fixture("tone440_128k.mp3"), 8192,
                          {{"Guns N' Roses - Don't Cry", 0}, {"Bj\xC3\xB6rk - J\xC3\xB3ga", 100000}}));
  srv.route("/b", IcyFile(Fixture("tone1k_64k_mono_22k.mp3"), 16));
  srv.route("/c", IcyFile(Fixture("tone440_16k_mono_8k.mp3"), 0));
  struct Case {
    const char *path;
    double freq;
    int rate, channels;
    double seconds;
  } cases[] = {{"/a", 440, 44100, 2, 10}, {"/b", 1000, 22050, 1, 10}, {"/c", 440, 8000, 1, 5}};
  for (const Case &c : cases) {
    Chain ch;
    ASSERT_TRUE(ch.Build(srv.url(c.path))) << c.path << " " << ch.error;
    EXPECT_EQ(ch.shout != nullptr, std::string(c.path) != "/c");
    std::vector<uint8_t> pcm(44100 * 4);
    LONG first = static_cast<LONG>(DoMethod(ch.decoder, MMM_Pull, 1, pcm.data(), pcm.size()));
    pcm.resize(static_cast<size_t>(first));
    if (std::string(c.path) == "/a") {
      EXPECT_EQ(Title(ch.shout), "Guns N' Roses - Don't Cry");
    }
    LONG end = 0;
    auto rest = reggaetest::PullAll(ch.decoder, 1, 8192, &end);
    pcm.insert(pcm.end(), rest.begin(), rest.end());
    EXPECT_EQ(end, MMERR_END_OF_DATA);
    EXPECT_EQ(MediaGetPort(ch.decoder, 1, MMA_Sound_SampleRate), static_cast<IPTR>(c.rate));
    EXPECT_EQ(MediaGetPort(ch.decoder, 1, MMA_Sound_Channels), static_cast<IPTR>(c.channels));
    const double secs = double(pcm.size()) / 2 / c.channels / c.rate;
    EXPECT_NEAR(secs, c.seconds, 0.2) << c.path;
    EXPECT_NEAR(reggaetest::ToneFrequency(pcm, c.channels, c.rate), c.freq, c.freq * 0.01) << c.path;
    EXPECT_EQ(MediaGetPort(ch.buffer, 0, MMA_ErrorCode), static_cast<IPTR>(MMERR_END_OF_DATA));
    if (std::string(c.path) == "/a") {
      EXPECT_EQ(Title(ch.shout), "Bj\xF6rk - J\xF3ga");
    }
  }
}

TEST(PlayChain, BadInputEndsWithAnErrorNotACrash) {
  testkit::Server srv;
  testkit::Response junk = testkit::Response::text(testkit::garbage(400000), "audio/mpeg");
  srv.route("/junk", junk);
  Chain ch;
  ASSERT_TRUE(ch.Build(srv.url("/junk")));
  LONG end = 0;
  EXPECT_TRUE(reggaetest::PullAll(ch.decoder, 1, 8192, &end).empty());
  EXPECT_EQ(end, MMERR_UNSUPPORTED_FORMAT);

  // Metadata intervals that cannot be.
  for (LONG bad : {0, -1, -16}) {
    LONG err = 0;
    EXPECT_EQ(NewObject(nullptr, "shoutcast.demuxer", MMA_Shoutcast_MetaInterval, bad, MMA_ErrorCode, &err), nullptr);
    EXPECT_EQ(err, MMERR_BAD_ARGUMENTS);
  }
  // Ports that do not exist or are taken.
  Object *a = NewObject(nullptr, "stream.buffer"), *b = NewObject(nullptr, "mpegaudio.demuxer");
  LONG err = 0;
  EXPECT_FALSE(MediaConnectTags(a, 0, b, 0, MMA_ErrorCode, &err));
  EXPECT_EQ(err, MMERR_WRONG_PORT);
  EXPECT_FALSE(MediaConnect(a, 1, b, 1));
  EXPECT_TRUE(MediaConnect(a, 1, b, 0));
  EXPECT_FALSE(MediaConnect(a, 1, b, 0));
  DisposeObject(a); // disposing one end unlinks the other
  EXPECT_EQ(DoMethod(b, MMM_Pull, 1, &err, 4), 0u);
  EXPECT_EQ(MediaGetPort(b, 1, MMA_ErrorCode), static_cast<IPTR>(MMERR_NOT_CONNECTED));
  DisposeObject(b);
}

TEST(PlayChain, StallIsBrokenByCtrlCToNetProcess) {
  testkit::Server srv;
  testkit::Response r = IcyFile(Fixture("tone440_128k.mp3"), 0);
  r.stall_after = 30000;
  srv.route("/stall", r);
  Chain ch;
  ASSERT_TRUE(ch.Build(srv.url("/stall"), false));
  auto *net = reinterpret_cast<Task *>(MediaGetPort(ch.buffer, 1, MMA_StreamBuffer_Task));
  ASSERT_NE(net, nullptr);
  const IPTR stalledFill = (30000ull << 16) / (128 * 1024);
  EXPECT_TRUE(WaitFor([&] { return MediaGetPort(ch.buffer, 0, MMA_StreamBuffer_Fill) == stalledFill; }))
      << MediaGetPort(ch.buffer, 0, MMA_StreamBuffer_Fill);

  std::atomic<LONG> got{-1};
  std::thread reader([&] {
    std::vector<uint8_t> buf(40000);
    got = static_cast<LONG>(DoMethod(ch.buffer, MMM_Pull, 1, buf.data(), buf.size()));
  });
  std::this_thread::sleep_for(100ms);
  EXPECT_EQ(got, -1); // still waiting for the stalled server
  Signal(net, SIGBREAKF_CTRL_C);
  reader.join();
  EXPECT_EQ(got, 30000);
  EXPECT_EQ(MediaGetPort(ch.buffer, 0, MMA_ErrorCode), static_cast<IPTR>(MMERR_ABORTED));
  EXPECT_EQ(MediaGetPort(ch.buffer, 1, MMA_ErrorCode), static_cast<IPTR>(MMERR_ABORTED));
}

TEST(PlayChain, DropEndsPlayingAndSignals) {
  platform::SetAudioDevice("null");
  ClockRate fast(50);
  testkit::Server srv;
  testkit::Response r = IcyFile(Fixture("tone440_128k.mp3"), 16000, {{"Live", 0}});
  r.close_after = 60000;
  srv.route("/drop", r);
  Chain ch;
  ASSERT_TRUE(ch.Build(srv.url("/drop")));
  ASSERT_TRUE(ch.AddOutput());
  EXPECT_EQ(MediaGetPort(ch.out, 0, MMA_OutputState), 0u);
  BYTE sig = AllocSignal(-1);
  ASSERT_GE(sig, 0);
  EXPECT_TRUE(DoMethod(ch.out, MMM_SignalAtEnd, FindTask(nullptr), sig));
  ASSERT_TRUE(DoMethod(ch.out, MMM_Play));
  EXPECT_EQ(MediaGetPort(ch.out, 0, MMA_OutputState), 1u);
  EXPECT_TRUE(WaitFor([&] { return MediaGetPort(ch.out, 0, MMA_Sound_SampleRate) == 44100; }));
  EXPECT_EQ(MediaGetPort(ch.out, 0, MMA_Sound_Channels), 2u);
  // Mute keeps playing.
  EXPECT_TRUE(MediaSetPort(ch.out, 0, MMA_Sound_Mute, 1));
  EXPECT_EQ(MediaGetPort(ch.out, 0, MMA_Sound_Mute), 1u);
  EXPECT_EQ(MediaGetPort(ch.out, 0, MMA_OutputState), 1u);
  EXPECT_NE(platform::WaitTimeout(1u << sig, 20000), 0u);
  EXPECT_NE(MediaGetPort(ch.out, 0, MMA_OutputState), 1u);
  EXPECT_EQ(MediaGetPort(ch.buffer, 0, MMA_ErrorCode), static_cast<IPTR>(MMERR_END_OF_DATA));
  EXPECT_EQ(Title(ch.shout), "Live");
  FreeSignal(sig);
}

TEST(PlayChain, WavDeviceHoldsWhatWouldBeHeard) {
  DosRoot root;
  const std::string wav = root / "out.wav";
  platform::SetAudioDevice("wav:" + wav);
  ClockRate fast(100);
  testkit::Server srv;
  srv.route("/tone", IcyFile(Fixture("tone1k_64k_mono_22k.mp3"), 0));
  {
    Chain ch;
    ASSERT_TRUE(ch.Build(srv.url("/tone")));
    ASSERT_TRUE(ch.AddOutput());
    ASSERT_TRUE(DoMethod(ch.out, MMM_Play));
    EXPECT_TRUE(WaitFor([&] { return MediaGetPort(ch.out, 0, MMA_OutputState) != 1; }, 20s));
    EXPECT_EQ(MediaGetPort(ch.out, 0, MMA_ErrorCode), static_cast<IPTR>(MMERR_END_OF_DATA));
  }
  platform::SetAudioDevice("null");
  std::string data = testkit::read_file(wav);
  ASSERT_GT(data.size(), 44u);
  EXPECT_EQ(data.substr(0, 4), "RIFF");
  uint32_t rate;
  uint16_t channels;
  std::memcpy(&channels, data.data() + 22, 2);
  std::memcpy(&rate, data.data() + 24, 4);
  EXPECT_EQ(rate, 22050u);
  EXPECT_EQ(channels, 1u);
  std::vector<uint8_t> pcm(data.begin() + 44, data.end());
  EXPECT_NEAR(double(pcm.size()) / 2 / 22050, 10.0, 0.2);
  EXPECT_NEAR(reggaetest::ToneFrequency(pcm, 1, 22050), 1000, 10);
}

TEST(PlayChain, StopAndDisposeWhilePlayingInAnyOrder) {
  platform::SetAudioDevice("null");
  testkit::Server srv;
  testkit::Response live = testkit::Response::icy_stream(Fixture("tone440_128k.mp3"), 8192, 16000);
  srv.route("/live", live);
  for (int order = 0; order < 3; ++order) {
    Chain ch;
    ASSERT_TRUE(ch.Build(srv.url("/live")));
    ASSERT_TRUE(ch.AddOutput());
    ASSERT_TRUE(DoMethod(ch.out, MMM_Play));
    std::this_thread::sleep_for(50ms);
    if (order == 1) {
      // The buffer goes first while the player still pulls through it.
      DisposeObject(ch.buffer);
      ch.buffer = nullptr;
      EXPECT_TRUE(WaitFor([&] { return MediaGetPort(ch.out, 0, MMA_OutputState) != 1; }));
    } else if (order == 2) {
      std::thread other([&] {
        DoMethod(ch.out, MMM_Stop);
        DisposeObject(ch.out);
      });
      other.join();
      ch.out = nullptr;
    } else {
      DoMethod(ch.out, MMM_Stop);
      EXPECT_EQ(MediaGetPort(ch.out, 0, MMA_OutputState), 0u);
    }
  }
}

TEST(PlayChain, StopEndsAPacedWaitAtOnce) {
  // On a clock this slow one pacing step of the null device lasts most of a
  // minute: a stop that waits the step out would hang the station switch.
  platform::SetAudioDevice("null");
  testkit::Server srv;
  srv.route("/live", testkit::Response::icy_stream(Fixture("tone440_128k.mp3"), 8192, 16000));
  Chain ch;
  ASSERT_TRUE(ch.Build(srv.url("/live")));
  ASSERT_TRUE(ch.AddOutput());
  ClockRate slow(0.001);
  ASSERT_TRUE(DoMethod(ch.out, MMM_Play));
  ASSERT_TRUE(WaitFor([&] { return MediaGetPort(ch.out, 0, MMA_Sound_SampleRate) != 0; }, 10s));
  std::this_thread::sleep_for(50ms); // into the wait that follows the device's lead
  auto stopped = std::async(std::launch::async, [&] { DoMethod(ch.out, MMM_Stop); });
  EXPECT_EQ(stopped.wait_for(10s), std::future_status::ready);
  stopped.wait();
}

TEST(FileOutput, WritesTheExactBytesAndSignalsTheEnd) {
  DosRoot root;
  testkit::Server srv;
  std::string body = testkit::garbage(300000, 7);
  srv.route("/rec", testkit::Response::text(body, "audio/mpeg"));
  Chain ch;
  ASSERT_TRUE(ch.Build(srv.url("/rec"), false));
  LONG err = -1;
  Object *out = NewObject(nullptr, "file.output", MMA_StreamName, "RAM:Rock_Radio X.mp3", MMA_ObjectName,
                          "Melodune Rec FileOuput", MMA_OwnTask, 1, MMA_ErrorCode, &err);
  ASSERT_NE(out, nullptr) << err;
  BYTE sig = 0;
  ASSERT_NO_FATAL_FAILURE(PlayToEnd(ch, out, sig));
  EXPECT_EQ(MediaGetPort(out, 0, MMA_OutputState), 0u);
  EXPECT_EQ(MediaGetPort(ch.buffer, 0, MMA_ErrorCode), static_cast<IPTR>(MMERR_END_OF_DATA));
  DoMethod(out, MMM_Stop);
  DisposeObject(out);
  EXPECT_EQ(testkit::read_file(platform::ToLinuxPath("RAM:Rock_Radio X.mp3", true)), body);

  // A drawer that does not exist.
  EXPECT_EQ(NewObject(nullptr, "file.output", MMA_StreamName, "RAM:nowhere/x.png", MMA_ErrorCode, &err), nullptr);
  EXPECT_EQ(err, MMERR_FILE_NOT_FOUND);
  FreeSignal(sig);
}

TEST(FileOutput, DiskFullEndsWithThatError) {
  DosRoot root;
  // A file size limit makes the disk "full" after 64 KB (EFBIG, as for a full
  // disk); the platform keeps names inside its root, so /dev/full is out of reach.
  struct FileLimit {
    rlimit old{};
    FileLimit() {
      getrlimit(RLIMIT_FSIZE, &old);
      signal(SIGXFSZ, SIG_IGN);
      rlimit small = old;
      small.rlim_cur = 65536;
      setrlimit(RLIMIT_FSIZE, &small);
    }
    ~FileLimit() { setrlimit(RLIMIT_FSIZE, &old); }
  } limit;
  testkit::Server srv;
  srv.route("/rec", testkit::Response::text(testkit::garbage(200000, 3), "audio/mpeg"));
  Chain ch;
  ASSERT_TRUE(ch.Build(srv.url("/rec"), false));
  LONG err = -1;
  Object *out = NewObject(nullptr, "file.output", MMA_StreamName, "RAM:full.mp3", MMA_ErrorCode, &err);
  ASSERT_NE(out, nullptr) << err;
  BYTE sig = 0;
  ASSERT_NO_FATAL_FAILURE(PlayToEnd(ch, out, sig));
  EXPECT_EQ(MediaGetPort(out, 0, MMA_ErrorCode), static_cast<IPTR>(MMERR_DISK_FULL));
  EXPECT_STREQ(MediaFault(MMERR_DISK_FULL), "disk full");
  DoMethod(out, MMM_Stop);
  DisposeObject(out);
  FreeSignal(sig);
}
