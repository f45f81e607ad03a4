// The browser view's HTTP side: request parsing, who is let in, listen
// addresses, event streams, and the server against clients that misbehave.
#include <gtest/gtest.h>

#include <thread>

#include "client.h"
#include "host/web_encode.h"
#include "host/web_http.h"

using namespace platform::web;

namespace {

ParseStatus Parse(const std::string &data, HttpRequest &req, size_t &head, size_t &body, HttpLimits limits = {}) {
  return ParseRequestHead(data, limits, req, head, body);
}

HttpRequest Req(std::string host, std::string origin = "", std::string query = "", std::string tokenHeader = "") {
  HttpRequest r;
  r.method = "GET";
  r.path = "/";
  r.query = std::move(query);
  if (!host.empty()) r.headers.emplace_back("host", host);
  if (!origin.empty()) r.headers.emplace_back("origin", origin);
  if (!tokenHeader.empty()) r.headers.emplace_back("x-melodune-token", tokenHeader);
  return r;
}

} // namespace

TEST(WebHttp, ParsesRequestHeadsAndRefusesMalformedOnes) {
  HttpRequest req;
  size_t head = 0, body = 0;
  std::string ok = "POST /in%20put?a=1&b=x+y HTTP/1.1\r\nHost: 127.0.0.1:80\r\nContent-Length: 5\r\nX-A:  v \r\n\r\nhello";
  ASSERT_EQ(Parse(ok, req, head, body), ParseStatus::Complete);
  EXPECT_EQ(req.method, "POST");
  EXPECT_EQ(req.path, "/in put");
  EXPECT_EQ(req.Param("b"), "x y");
  EXPECT_EQ(req.Header("x-a"), "v");
  EXPECT_EQ(head, ok.size() - 5);
  EXPECT_EQ(body, 5u);

  EXPECT_EQ(Parse("GET / HTTP/1.1\r\nHost: x\r\n", req, head, body), ParseStatus::Incomplete);
  for (const char *bad : {
           "GET  HTTP/1.1\r\n\r\n",                                   // no target
           "GET http://evil/ HTTP/1.1\r\n\r\n",                       // absolute form
           "GET / HTTP/2.0\r\n\r\n",                                  // unknown version
           "G(T / HTTP/1.1\r\n\r\n",                                  // bad method
           "GET / HTTP/1.1\r\n folded: line\r\n\r\n",                 // obsolete folding
           "GET / HTTP/1.1\r\nNo colon\r\n\r\n",                      //
           "GET / HTTP/1.1\r\nA: b\x01\r\n\r\n",                      // control byte
           "GET /%00 HTTP/1.1\r\n\r\n",                               // NUL in the path
           "POST / HTTP/1.1\r\nContent-Length: 1\r\nContent-Length: 2\r\n\r\n",
           "POST / HTTP/1.1\r\nContent-Length: -1\r\n\r\n",
           "POST / HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n",
       })
    EXPECT_EQ(Parse(bad, req, head, body), ParseStatus::Bad) << bad;

  HttpLimits small;
  small.maxHead = 64;
  small.maxBody = 10;
  EXPECT_EQ(Parse("GET / HTTP/1.1\r\nX: " + std::string(100, 'a'), req, head, body, small), ParseStatus::TooLarge);
  EXPECT_EQ(Parse("POST / HTTP/1.1\r\nContent-Length: 11\r\n\r\n", req, head, body, small), ParseStatus::TooLarge);
}

TEST(WebHttp, DecodesFormsAndPercentEscapes) {
  EXPECT_EQ(PercentDecode("a%41%zz%4", false), "aA%zz%4");
  EXPECT_EQ(PercentDecode("a+b", true), "a b");
  EXPECT_EQ(PercentDecode("a+b", false), "a+b");
  auto f = ParseForm("k=bar&x=1&x=2&&empty&v=caf%C3%A9");
  EXPECT_EQ(f["k"], "bar");
  EXPECT_EQ(f["x"], "1"); // the first one wins
  EXPECT_EQ(f["empty"], "");
  EXPECT_EQ(f["v"], "caf\xc3\xa9");
}

TEST(WebHttp, LetsInOnlyItsOwnHostOriginAndToken) {
  std::vector<std::string> hosts = {"127.0.0.1:8080", "localhost:8080"};
  const std::string token = "0123456789abcdef0123456789abcdef";
  EXPECT_EQ(CheckAccess(Req("127.0.0.1:8080", "", "t=" + token), hosts, token), Access::Granted);
  EXPECT_EQ(CheckAccess(Req("LOCALHOST:8080", "http://localhost:8080", "", token), hosts, token), Access::Granted);
  // A rebound name, another port, no Host at all.
  EXPECT_EQ(CheckAccess(Req("evil.example:8080", "", "t=" + token), hosts, token), Access::BadHost);
  EXPECT_EQ(CheckAccess(Req("127.0.0.1:8081", "", "t=" + token), hosts, token), Access::BadHost);
  EXPECT_EQ(CheckAccess(Req("", "", "t=" + token), hosts, token), Access::BadHost);
  // A page of another origin, even with the token.
  EXPECT_EQ(CheckAccess(Req("127.0.0.1:8080", "http://evil.example", "t=" + token), hosts, token), Access::BadOrigin);
  EXPECT_EQ(CheckAccess(Req("127.0.0.1:8080", "null", "t=" + token), hosts, token), Access::BadOrigin);
  EXPECT_EQ(CheckAccess(Req("127.0.0.1:8080"), hosts, token), Access::BadToken);
  EXPECT_EQ(CheckAccess(Req("127.0.0.1:8080", "", "t=" + token.substr(1)), hosts, token), Access::BadToken);
  EXPECT_EQ(CheckAccess(Req("127.0.0.1:8080", "", "t=" + token + "0"), hosts, token), Access::BadToken);
  // No token configured lets nobody in.
  EXPECT_EQ(CheckAccess(Req("127.0.0.1:8080", "", "t="), hosts, ""), Access::BadToken);

  std::string a = RandomToken(), b = RandomToken();
  EXPECT_EQ(a.size(), 32u);
  EXPECT_NE(a, b);
}

TEST(WebHttp, ListensOnLoopbackAddressesOnly) {
  std::string addr, why;
  int port = -1;
  ASSERT_TRUE(ParseListenAddress("8080", addr, port, why));
  EXPECT_EQ(addr, "127.0.0.1");
  EXPECT_EQ(port, 8080);
  ASSERT_TRUE(ParseListenAddress("127.0.0.2:0", addr, port, why));
  EXPECT_EQ(addr, "127.0.0.2");
  EXPECT_EQ(port, 0);
  ASSERT_TRUE(ParseListenAddress("localhost:9", addr, port, why));
  EXPECT_EQ(addr, "127.0.0.1");
  ASSERT_TRUE(ParseListenAddress("[::1]:80", addr, port, why));
  EXPECT_EQ(addr, "::1");
  for (const char *bad : {"0.0.0.0:80", "192.168.1.2:80", "[::]:80", "example.com:80", "::1:80", "80000", "x", ":",
                          "127.0.0.1:"}) {
    why.clear();
    EXPECT_FALSE(ParseListenAddress(bad, addr, port, why)) << bad;
    EXPECT_FALSE(why.empty()) << bad;
  }
  HttpServer s;
  s.SetToken("t");
  EXPECT_FALSE(s.Start("0.0.0.0", 0, why));
}

TEST(WebHttp, EventStreamsReplaceKeyedEventsAndDropPagesThatReadNothing) {
  EventStream s(3);
  ASSERT_TRUE(s.Send("bar", "frame 1", "bar"));
  ASSERT_TRUE(s.Send("bubble", "one\ntwo"));
  ASSERT_TRUE(s.Send("bar", "frame 2", "bar")); // replaces frame 1, and comes after what was sent since
  std::string out = s.Next(0);
  EXPECT_EQ(out, "event: bubble\ndata: one\ndata: two\n\nevent: bar\ndata: frame 2\n\n");
  EXPECT_EQ(s.Next(0), "");
  for (int i = 0; i < 3; ++i) ASSERT_TRUE(s.Send("x", std::to_string(i)));
  EXPECT_FALSE(s.Send("x", "overflow"));
  EXPECT_TRUE(s.Closed());
}

TEST(WebHttp, EncodesJsonFromLatin1AndPng) {
  EXPECT_EQ(JsonLatin1("caf\xe9 \"q\" \\ \n\x01"), "\"caf\xc3\xa9 \\\"q\\\" \\\\ \\n\\u0001\"");
  Json j;
  j.Begin().Key("a").Num(1).Key("b").BeginArray().Bool(true).Null().EndArray().Key("c").Latin1("\xc4").End();
  EXPECT_EQ(j.Text(), "{\"a\":1,\"b\":[true,null],\"c\":\"\xc3\x84\"}");
  uint32_t px[4] = {0xFFFF0000u, 0xFF00FF00u, 0x800000FFu, 0};
  std::string png = EncodePNG(px, 2, 2);
  ASSERT_GT(png.size(), 8u);
  EXPECT_EQ(png.substr(1, 3), "PNG");
  EXPECT_EQ(EncodePNG(px, 0, 2), "");
  EXPECT_EQ(Base64("ab"), "YWI=");
  EXPECT_EQ(Base64("abc"), "YWJj");
}

class ServerTest : public ::testing::Test {
protected:
  void SetUp() override {
    limits.readTimeoutMs = 400;
    limits.maxHead = 2048;
    limits.maxBody = 256;
    server = std::make_unique<HttpServer>(limits);
    server->SetToken(token);
    server->SetHandler([](const HttpRequest &r) { return HttpResponse::Text(200, "path=" + r.path + " body=" + r.body); });
    server->SetStreamHandler("/events", [](const HttpRequest &, const std::shared_ptr<EventStream> &s) {
      s->Send("hello", "{}");
    });
    std::string why;
    ASSERT_TRUE(server->Start("127.0.0.1", 0, why)) << why;
    port = server->Port();
  }
  std::string Host() { return "Host: 127.0.0.1:" + std::to_string(port) + "\r\n"; }

  HttpLimits limits;
  const std::string token = "feedfacefeedfacefeedfacefeedface";
  std::unique_ptr<HttpServer> server;
  int port = 0;
};

TEST_F(ServerTest, AnswersOnlyRequestsWithTokenAndRightHost) {
  using namespace webtest;
  std::string r = Get(port, "/x?t=" + token);
  EXPECT_EQ(Status(r), 200);
  EXPECT_EQ(Body(r), "path=/x body=");
  EXPECT_NE(r.find("Content-Security-Policy: default-src 'self'"), std::string::npos);
  EXPECT_EQ(Status(Get(port, "/x")), 403);
  EXPECT_EQ(Status(Raw(port, "GET /x?t=" + token + " HTTP/1.1\r\nHost: attacker.example:" + std::to_string(port) +
                                 "\r\n\r\n")),
            403);
  EXPECT_EQ(Status(Get(port, "/x?t=" + token, "Origin: http://attacker.example\r\n")), 403);
  EXPECT_EQ(Status(Post(port, token, "a=1")), 200);
  EXPECT_EQ(Body(Post(port, token, "a=1")), "path=/input body=a=1");
}

TEST_F(ServerTest, RefusesOversizedAndSlowRequestsAndGarbage) {
  using namespace webtest;
  EXPECT_EQ(Status(Raw(port, "GET /?t=" + token + " HTTP/1.1\r\n" + Host() + "X: " + std::string(4000, 'a') + "\r\n\r\n")),
            431);
  EXPECT_EQ(Status(Raw(port, "POST /input HTTP/1.1\r\n" + Host() + "X-Melodune-Token: " + token +
                                 "\r\nContent-Length: 100000\r\n\r\n")),
            413);
  EXPECT_EQ(Status(Raw(port, "\x16\x03\x01 binary junk\r\n\r\n")), 400);
  // Half a request, then nothing: the server gives up on its own.
  auto start = std::chrono::steady_clock::now();
  std::string r = Raw(port, "GET /?t=" + token + " HTTP/1.1\r\n", 3000);
  EXPECT_EQ(Status(r), 408);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(2500));
  // A body shorter than announced is not waited for forever either.
  EXPECT_EQ(Status(Raw(port, "POST /input HTTP/1.1\r\n" + Host() + "X-Melodune-Token: " + token +
                                 "\r\nContent-Length: 10\r\n\r\nabc",
                       3000)),
            408);
}

TEST_F(ServerTest, StreamsEventsAndStopsWithClientsStillConnected) {
  using namespace webtest;
  Events ev(port, token);
  ASSERT_TRUE(ev.Wait("event: hello"));
  EXPECT_NE(ev.All().find("text/event-stream"), std::string::npos);
  // A client that sends half a request and stalls must not hold up Stop.
  int stalled = Connect(port);
  SendAll(stalled, "GET / HTTP/1.1\r\n");
  auto start = std::chrono::steady_clock::now();
  server->Stop();
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(2000));
  EXPECT_EQ(server->ActiveConnections(), 0u);
  close(stalled);
  EXPECT_LT(Connect(port), 0); // nobody listens any more
  server->Stop();              // twice is fine
}
