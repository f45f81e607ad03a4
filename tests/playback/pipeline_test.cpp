// The play chain against the testkit server: which objects it holds, what
// it asks the server, playlists, downloads and the candidate list.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "core/Melodune.h"
#include "exec/clock.h"
#include "playback/Playback.h"
#include "reggae/reggae.h"
#include "support/icy_stream.h"
#include "testkit/server.h"

namespace {

using testsupport::Fixture;

// The tone as a live station with this icy-metaint header (none when empty).
testkit::Response Icy(std::optional<std::string> metaint) {
  testkit::Response r = testsupport::Icy(0);
  r.metaint_header = std::move(metaint);
  if (r.metaint_header && std::atoi(r.metaint_header->c_str()) > 0) r.metaint = std::atoi(r.metaint_header->c_str());
  return r;
}

class PlayChain : public ::testing::Test {
protected:
  void SetUp() override {
    platform::SetAudioDevice("null");
    NewList(&g.urlList);
  }
  void TearDown() override {
    FreePlayPipeline();
    EXPECT_TRUE(IsListEmpty(&g.urlList));
    EXPECT_EQ(GetHttpObj(), nullptr);
    EXPECT_EQ(GetNetProcess(), nullptr);
  }
  std::string CandidateName() {
    return IsListEmpty(&g.urlList) ? std::string() : std::string(g.urlList.lh_Head->ln_Name);
  }
  testkit::Server server;
};

TEST_F(PlayChain, ShoutcastDemuxerOnlyForAPositiveInterval) {
  server.route("/titled", Icy("8192"));
  server.route("/zero", Icy("0"));
  server.route("/bad", Icy("-5"));
  server.route("/plain", Icy(std::nullopt));

  ASSERT_TRUE(SetupStream(server.url("/titled").c_str()));
  EXPECT_NE(GetShoutcastObj(), nullptr);
  EXPECT_NE(GetAudioObj(), nullptr);
  EXPECT_NE(GetBufferObj(), nullptr);
  const auto reqs = server.requests("/titled");
  ASSERT_EQ(reqs.size(), 1u);
  EXPECT_EQ(reqs[0].header("Icy-MetaData"), "1");
  EXPECT_EQ(reqs[0].header("User-Agent"), "Melodune.sbar 3.3");
  EXPECT_EQ(PlayResponseCodeNow(), 200);

  for (const char *path : {"/zero", "/bad", "/plain"}) {
    // A second set-up without a disconnect takes the old chain down first.
    ASSERT_TRUE(SetupStream(server.url(path).c_str())) << path;
    EXPECT_EQ(GetShoutcastObj(), nullptr) << path;
    EXPECT_NE(GetAudioObj(), nullptr) << path;
    EXPECT_EQ(CandidateName(), server.url(path)) << "one candidate, this station's";
    EXPECT_EQ(g.urlList.lh_Head->ln_Succ->ln_Succ, nullptr);
  }
}

TEST_F(PlayChain, ChainPlaysTheDecodedStream) {
  server.route("/titled", Icy("4096"));
  ASSERT_TRUE(SetupStream(server.url("/titled").c_str()));
  Object *out = GetAudioObj();
  ASSERT_TRUE(DoMethod(out, MMM_Play));
  IPTR rate = 0;
  for (int i = 0; i < 200 && !rate; ++i) {
    Delay(1);
    DoMethod(out, MMM_GetPort, 0, MMA_Sound_SampleRate, &rate);
  }
  EXPECT_EQ(rate, 44100u);
  EXPECT_EQ(MediaGetPort(out, 0, MMA_OutputState), 1u);
}

TEST_F(PlayChain, FailedConnectKeepsTheCodesAndOnlyThisStationIsTried) {
  server.route("/missing", testkit::Response::error(404));
  server.route("/good", Icy(std::nullopt));
  EXPECT_FALSE(SetupStream(server.url("/missing").c_str()));
  EXPECT_EQ(PlayResponseCodeNow(), 404);
  EXPECT_EQ(PlayErrorCodeNow(), MMERR_HTTP_ERROR);
  EXPECT_EQ(GetHttpObj(), nullptr);
  EXPECT_EQ(CandidateName(), server.url("/missing")); // left until the next set-up

  ASSERT_TRUE(SetupStream(server.url("/good").c_str()));
  EXPECT_EQ(server.request_count("/missing"), 1u);
  EXPECT_EQ(CandidateName(), server.url("/good"));
  EXPECT_EQ(PlayResponseCodeNow(), 200);

  EXPECT_FALSE(SetupStream(nullptr));
  EXPECT_TRUE(IsListEmpty(&g.urlList));
}

TEST_F(PlayChain, PlaylistAddressesBecomeTheCandidate) {
  server.route("/live", Icy(std::nullopt));
  server.route("/list.m3u", testkit::Response::m3u({server.url("/old"), server.url("/live")}));
  server.route("/empty.m3u", testkit::Response::text("#EXTM3U\r\n"));
  server.route("/LIST.M3U", testkit::Response::m3u({server.url("/live")}));

  ASSERT_TRUE(SetupStream(server.url("/list.m3u").c_str()));
  // The scheme is gone; the stream object treats a bare address as http.
  EXPECT_EQ(CandidateName(), server.url("/live").substr(7));
  EXPECT_EQ(server.request_count("/live"), 1u);
  EXPECT_EQ(server.request_count("/old"), 0u);

  // A playlist with no address: the playlist itself is the candidate
  // (its text then plays as a stream that never yields a frame).
  SetupStream(server.url("/empty.m3u").c_str());
  EXPECT_EQ(CandidateName(), server.url("/empty.m3u"));

  // The suffix is compared case-sensitively: no download.
  FreePlayPipeline();
  EXPECT_TRUE(AddStreamUrl(&g.urlList, server.url("/LIST.M3U").c_str()));
  EXPECT_EQ(server.request_count("/LIST.M3U"), 0u);
}

TEST_F(PlayChain, CandidateOwnsItsAddress) {
  std::string station = server.url("/somewhere");
  EXPECT_FALSE(AddStreamUrl(&g.urlList, nullptr));
  ASSERT_TRUE(AddStreamUrl(&g.urlList, station.c_str()));
  station.assign(station.size(), 'x'); // the station's text replaced under the worker
  EXPECT_EQ(CandidateName(), server.url("/somewhere"));
}

TEST_F(PlayChain, HttpGetToMemory) {
  server.route("/file", testkit::Response::text("hello, world"));
  testkit::Response chunked = testkit::Response::text(std::string(20000, 'q'));
  chunked.chunked = true; // no length: at most the default size is read
  server.route("/chunked", chunked);
  server.route("/gone", testkit::Response::error(500));

  QUAD size = -1;
  STRPTR text = HttpGetToMemory(server.url("/file").c_str(), &size);
  ASSERT_NE(text, nullptr);
  EXPECT_EQ(size, 12);
  EXPECT_STREQ(text, "hello, world");
  FreeVec(text);

  text = HttpGetToMemory(server.url("/chunked").c_str(), &size);
  ASSERT_NE(text, nullptr);
  EXPECT_EQ(size, 10248);
  EXPECT_EQ(std::strlen(text), 10248u);
  FreeVec(text);

  EXPECT_EQ(HttpGetToMemory(server.url("/gone").c_str(), &size), nullptr);
  EXPECT_EQ(size, 0);

  char out[PLAYLIST_URL_SIZE];
  EXPECT_FALSE(ReadPlaylistUrl(server.url("/gone").c_str(), out));
}

} // namespace
