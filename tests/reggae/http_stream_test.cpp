// http.stream against the testkit server: creation outcomes, headers, body.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "exec/clock.h"
#include "exec/exec.h"
#include "reggae_test_util.h"
#include "testkit/server.h"

using namespace std::chrono_literals;

namespace {

struct Made {
  Object *obj = nullptr;
  LONG error = -1;
  LONG response = -1;
};

Made MakeStream(const std::string &url, CONST_STRPTR name = nullptr) {
  Made m;
  CONST_STRPTR extra[] = {"Icy-MetaData", "1", nullptr};
  m.obj = NewObject(nullptr, "http.stream", MMA_StreamURL, url.c_str(), MMA_ObjectName, name, MMA_Http_UserAgent,
                    "Melodune.sbar 3.3", MMA_Http_RequestHeaders, extra, MMA_ErrorCode, &m.error,
                    MMA_Http_ResponseCode, &m.response);
  return m;
}

// /silent: a server that takes the request and never answers.
void RouteSilent(testkit::Server &srv) {
  testkit::Response silent = testkit::Response::text("never");
  silent.stall_after = 0;
  silent.count_head = true;
  srv.route("/silent", silent);
}

} // namespace

TEST(HttpStream, LibrariesAndVersions) {
  Library *mm = OpenLibrary("multimedia/multimedia.class", 55);
  Library *http = OpenLibrary("multimedia/http.stream", 51);
  ASSERT_NE(mm, nullptr);
  ASSERT_NE(http, nullptr);
  EXPECT_GT(http->lib_Version, 51);
  for (const char *lib : {"multimedia/stream.buffer", "multimedia/shoutcast.demuxer", "multimedia/mpegaudio.demuxer",
                          "multimedia/mpegaudio.decoder", "multimedia/audio.output", "multimedia/file.output"}) {
    Library *l = OpenLibrary(lib, 51);
    EXPECT_NE(l, nullptr) << lib;
    CloseLibrary(l);
  }
  CloseLibrary(http);
  CloseLibrary(mm);
  EXPECT_STREQ(MediaFault(0), "no error");
  EXPECT_STREQ(MediaFault(MMERR_END_OF_DATA), "end of data");
  EXPECT_STREQ(MediaFault(MMERR_HOST_NOT_FOUND), "host not found");
  EXPECT_STREQ(MediaFault(-42), "unknown error");
}

TEST(HttpStream, BodyHeadersAndRequest) {
  testkit::Server srv;
  std::string body(100000, '\0');
  for (size_t i = 0; i < body.size(); ++i)
    body[i] = static_cast<char>(i * 7);
  testkit::Response r = testkit::Response::text(body, "audio/mpeg");
  r.header("icy-metaint", "16000").header("X-Mixed-Case", "Bj\xC3\xB6rk");
  srv.route("/file", r);

  // Without a scheme the address is http.
  std::string url = srv.url("/file").substr(7);
  Made m = MakeStream(url);
  ASSERT_NE(m.obj, nullptr) << m.error;
  EXPECT_EQ(m.error, 0);
  EXPECT_EQ(m.response, 200);
  EXPECT_EQ(MediaGetPort(m.obj, 0, MMA_StreamLength), body.size());
  EXPECT_STREQ(reinterpret_cast<CONST_STRPTR>(DoMethod(m.obj, MMM_Http_GetHeader, "ICY-METAINT")), "16000");
  EXPECT_EQ(DoMethod(m.obj, MMM_Http_GetHeader, "icy-name"), 0u);
  // The list keeps the server's order and case; texts are Latin-1.
  auto **list = reinterpret_cast<CONST_STRPTR *>(DoMethod(m.obj, MMM_Http_HeaderList));
  ASSERT_NE(list, nullptr);
  std::vector<std::string> names;
  std::string mixed;
  for (int i = 0; list[i]; i += 2) {
    names.push_back(list[i]);
    if (names.back() == "X-Mixed-Case")
      mixed = list[i + 1];
  }
  ASSERT_GE(names.size(), 2u);
  EXPECT_EQ(std::find(names.begin(), names.end(), "icy-metaint") + 1,
            std::find(names.begin(), names.end(), "X-Mixed-Case"));
  EXPECT_EQ(mixed, "Bj\xF6rk");
  IPTR viaGet = 0;
  EXPECT_TRUE(GetAttr(MMA_Http_Headers, m.obj, &viaGet));
  EXPECT_EQ(viaGet, reinterpret_cast<IPTR>(list));

  // One pull of more than there is delivers all of it and reports the end.
  std::vector<uint8_t> buf(body.size() + 10);
  EXPECT_EQ(DoMethod(m.obj, MMM_Pull, 0, buf.data(), buf.size()), body.size());
  EXPECT_EQ(std::string(buf.begin(), buf.begin() + body.size()), body);
  EXPECT_EQ(MediaGetPort(m.obj, 0, MMA_ErrorCode), static_cast<IPTR>(MMERR_END_OF_DATA));
  DisposeObject(m.obj);

  auto reqs = srv.requests("/file");
  ASSERT_EQ(reqs.size(), 1u);
  EXPECT_EQ(reqs[0].header("Icy-MetaData"), "1");
  EXPECT_EQ(reqs[0].header("User-Agent"), "Melodune.sbar 3.3");
}

TEST(HttpStream, FailuresFillTheCodes) {
  testkit::Server srv;
  srv.route("/missing", testkit::Response::error(404));
  testkit::Response icy401;
  icy401.status = "ICY 401 Service Unavailable";
  icy401.body = "no";
  srv.route("/icy401", icy401);
  testkit::Response icyOk;
  icyOk.status = "ICY 200 OK";
  icyOk.body = std::string(5000, 'x');
  icyOk.auto_headers = false;
  srv.route("/icyok", icyOk);
  srv.route("/moved", testkit::Response::redirect(srv.url("/icyok"), 301));
  srv.route("/loop", testkit::Response::redirect(srv.url("/loop"), 302));

  Made m = MakeStream(srv.url("/missing"));
  EXPECT_EQ(m.obj, nullptr);
  EXPECT_EQ(m.response, 404);
  EXPECT_EQ(m.error, MMERR_HTTP_ERROR);

  m = MakeStream(srv.url("/icy401"));
  EXPECT_EQ(m.obj, nullptr);
  EXPECT_EQ(m.response, 401);
  EXPECT_EQ(m.error, MMERR_HTTP_ERROR);

  for (const char *path : {"/icyok", "/moved"}) {
    m = MakeStream(srv.url(path));
    ASSERT_NE(m.obj, nullptr) << path << " " << m.error;
    EXPECT_EQ(m.response, 200);
    EXPECT_EQ(reggaetest::PullAll(m.obj, 0).size(), 5000u);
    DisposeObject(m.obj);
  }

  m = MakeStream(srv.url("/loop"));
  EXPECT_EQ(m.obj, nullptr);
  EXPECT_EQ(m.error, MMERR_TOO_MANY_REDIRECTS);
  EXPECT_LE(srv.request_count("/loop"), 7u);

  // A port nobody listens on.
  uint16_t port = srv.port();
  srv.stop();
  m = MakeStream("http://127.0.0.1:" + std::to_string(port) + "/");
  EXPECT_EQ(m.obj, nullptr);
  EXPECT_EQ(m.error, MMERR_CONNECTION_REFUSED);
  EXPECT_STREQ(MediaFault(m.error), "connection refused");

  m = MakeStream("ftp://127.0.0.1/");
  EXPECT_EQ(m.obj, nullptr);
  EXPECT_EQ(m.error, MMERR_BAD_ADDRESS);
}

TEST(HttpStream, CtrlCToTheConnectingTaskAborts) {
  testkit::Server srv;
  RouteSilent(srv);

  Made m;
  std::thread creator([&] { m = MakeStream(srv.url("/silent"), "Melodune HttpStream"); });
  Task *t = nullptr;
  for (int i = 0; i < 500 && !t; ++i) {
    t = FindTask("Melodune HttpStream");
    if (!t)
      std::this_thread::sleep_for(2ms);
  }
  ASSERT_NE(t, nullptr);
  auto start = std::chrono::steady_clock::now();
  Signal(t, SIGBREAKF_CTRL_C);
  creator.join();
  EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
  EXPECT_EQ(m.obj, nullptr);
  EXPECT_EQ(m.error, MMERR_ABORTED);
  EXPECT_EQ(FindTask("Melodune HttpStream"), nullptr);
}

TEST(HttpStream, SilentServerTimesOutOnThePlatformClock) {
  testkit::Server srv;
  RouteSilent(srv);
  platform::SetClockRate(200);
  Made m = MakeStream(srv.url("/silent"));
  platform::SetClockRate(1);
  EXPECT_EQ(m.obj, nullptr);
  EXPECT_EQ(m.error, MMERR_TIMEOUT);
}
