// The test server itself: the behaviours that are easy to get subtly wrong
// (metadata framing, cut-offs, chunk framing, pacing, prompt stop).
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <string>

#include "testkit/server.h"

using namespace std::chrono_literals;
using testkit::Response;
using testkit::Server;

namespace {

using Clock = std::chrono::steady_clock;

// A bare client: connect, send a request, read with a deadline.
class Client {
 public:
  explicit Client(uint16_t port) {
    fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(port);
    if (::connect(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
      ::close(fd_);
      fd_ = -1;
    }
  }
  ~Client() {
    if (fd_ >= 0) ::close(fd_);
  }
  bool ok() const { return fd_ >= 0; }

  void send(const std::string& s) { ASSERT_EQ(::send(fd_, s.data(), s.size(), MSG_NOSIGNAL), ssize_t(s.size())); }
  void get(const std::string& target, const std::string& extra = "") {
    send("GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\n" + extra + "\r\n");
  }

  // Reads until `n` bytes are buffered, EOF, or the timeout; returns the buffer.
  // `eof` tells whether the server closed.
  const std::string& read_until(size_t n, std::chrono::milliseconds timeout = 3000ms) {
    auto end = Clock::now() + timeout;
    while (buf_.size() < n && !eof_) {
      auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()).count();
      if (left <= 0) break;
      pollfd p{fd_, POLLIN, 0};
      if (::poll(&p, 1, int(left)) <= 0) break;
      char tmp[65536];
      ssize_t r = ::recv(fd_, tmp, sizeof tmp, 0);
      if (r <= 0) {
        eof_ = true;
        break;
      }
      buf_.append(tmp, size_t(r));
    }
    return buf_;
  }
  const std::string& read_all(std::chrono::milliseconds timeout = 3000ms) { return read_until(SIZE_MAX, timeout); }
  bool eof() const { return eof_; }

  // Splits off the head; returns it ("" if incomplete).
  std::string head() {
    read_until(SIZE_MAX, 0ms);
    size_t e;
    while ((e = buf_.find("\r\n\r\n")) == std::string::npos && !eof_) read_until(buf_.size() + 1);
    if (e == std::string::npos) return {};
    std::string h = buf_.substr(0, e + 4);
    buf_.erase(0, e + 4);
    return h;
  }

 private:
  int fd_ = -1;
  std::string buf_;
  bool eof_ = false;
};

// Removes ICY metadata from `data` (interval m), collecting the block texts.
std::string strip_icy(const std::string& data, size_t m, std::vector<std::string>& blocks) {
  std::string audio;
  size_t i = 0;
  while (i < data.size()) {
    size_t n = std::min(m, data.size() - i);
    audio.append(data, i, n);
    i += n;
    if (n < m || i >= data.size()) break;
    size_t len = size_t(static_cast<unsigned char>(data[i])) * 16;
    if (i + 1 + len > data.size()) break;
    blocks.push_back(data.substr(i + 1, len));
    i += 1 + len;
  }
  return audio;
}

std::string pattern(size_t n) {
  std::string s(n, '\0');
  for (size_t i = 0; i < n; ++i) s[i] = char('a' + i % 26);
  return s;
}

TEST(TestkitServer, HeadersAsGivenRequestsRecorded404AndRedirect) {
  Server srv;
  Response r = Response::text("hello", "text/csv");
  r.status = "ICY 200 OK";
  r.header("icy-br", "128").header("icy-br", "192").header("ice-audio-info", "ice-samplerate=44100;ice-bitrate=128");
  r.metaint_header = "abc";  // announced, not used
  srv.route("/s", r);
  srv.route("/old", Response::redirect(srv.url("/s")));

  {
    Client c(srv.port());
    c.get("/s?x=1&y=two", "Icy-MetaData: 1\r\nUser-Agent: Melodune.sbar 3.3\r\n");
    std::string h = c.head();
    EXPECT_EQ(h,
              "ICY 200 OK\r\nContent-Type: text/csv\r\nicy-br: 128\r\nicy-br: 192\r\n"
              "ice-audio-info: ice-samplerate=44100;ice-bitrate=128\r\nicy-metaint: abc\r\n\r\n");
    EXPECT_EQ(c.read_all(), "hello");
    EXPECT_TRUE(c.eof());
  }
  auto reqs = srv.requests("/s");
  ASSERT_EQ(reqs.size(), 1u);
  EXPECT_EQ(reqs[0].header("icy-metadata"), "1");
  EXPECT_EQ(reqs[0].header("User-Agent"), "Melodune.sbar 3.3");
  EXPECT_EQ(reqs[0].query_param("y"), "two");
  EXPECT_EQ(reqs[0].query, "x=1&y=two");

  {
    Client c(srv.port());
    c.get("/nothing");
    EXPECT_EQ(c.head().rfind("HTTP/1.1 404 Not Found\r\n", 0), 0u);
  }
  {
    Client c(srv.port());
    c.get("/old");
    std::string h = c.head();
    EXPECT_EQ(h.rfind("HTTP/1.1 302 Found\r\n", 0), 0u);
    EXPECT_NE(h.find("Location: " + srv.url("/s") + "\r\n"), std::string::npos);
  }
  EXPECT_EQ(srv.request_count(), 3u);
}

TEST(TestkitServer, RequestHeadLimitAndBadRequest) {
  testkit::ServerOptions o;
  o.max_header_bytes = 1024;
  Server srv(o);
  srv.route("/", Response::text("x"));
  {
    Client c(srv.port());
    c.get("/", "X-Big: " + std::string(2000, 'a') + "\r\n");
    EXPECT_EQ(c.head().rfind("HTTP/1.1 431 ", 0), 0u);
  }
  {
    Client c(srv.port());
    c.send("NONSENSE\r\n\r\n");
    EXPECT_EQ(c.head().rfind("HTTP/1.1 400 ", 0), 0u);
  }
  EXPECT_EQ(srv.request_count(), 0u);
  {
    Client c(srv.port());  // bare LF line ends are accepted
    c.send("GET / HTTP/1.0\nHost: a\n\n");
    EXPECT_EQ(c.head().rfind("HTTP/1.1 200 OK\r\n", 0), 0u);
  }
}

// Metadata after exactly every metaint audio bytes, with the right length
// byte and padding; the title changes after the scheduled byte count, and is
// repeated only on change.
TEST(TestkitServer, IcyMetadataFramingAndTitleSchedule) {
  Server srv;
  const std::string body = pattern(1000);
  Response r;
  r.status = "ICY 200 OK";
  r.body = body;
  r.loops = 3;
  r.metaint_header = "100";
  r.metaint = 100;
  r.meta_pad = ' ';
  r.titles = {{"A - B", 0, 0ms, false}, {"Second", 1500, 0ms, false}};
  srv.route("/icy", r);

  Client c(srv.port());
  c.get("/icy");
  std::string h = c.head();
  EXPECT_NE(h.find("icy-metaint: 100\r\n"), std::string::npos);
  EXPECT_EQ(h.find("Content-Length"), std::string::npos);  // ICY status line: no extras
  std::vector<std::string> blocks;
  std::string audio = strip_icy(c.read_all(), 100, blocks);
  EXPECT_EQ(audio, body + body + body);
  ASSERT_EQ(blocks.size(), 30u);
  EXPECT_EQ(blocks[0], "StreamTitle='A - B';" + std::string(12, ' '));  // 20 bytes -> 2 blocks
  for (size_t i = 1; i < 14; ++i) EXPECT_EQ(blocks[i], "") << i;
  EXPECT_EQ(blocks[14], "StreamTitle='Second';" + std::string(11, ' '));  // after 1500 bytes
  EXPECT_EQ(blocks[29], "");
}

TEST(TestkitServer, ForcedMetadataLengthsAndEdgeIntervals) {
  EXPECT_EQ(testkit::icy_block(""), std::string(1, '\0'));
  EXPECT_EQ(testkit::icy_block("x", '\0', uint8_t(1)), std::string("\x01x", 2) + std::string(15, '\0'));
  std::string big = testkit::icy_block("StreamTitle='t';", ' ', uint8_t(255));
  ASSERT_EQ(big.size(), 1u + 255 * 16);
  EXPECT_EQ(uint8_t(big[0]), 255);
  EXPECT_EQ(big.back(), ' ');
  // A text longer than 255 blocks is cut to fit the length byte.
  EXPECT_EQ(testkit::icy_block(std::string(5000, 'x')).size(), 1u + 255 * 16);

  Server srv;
  Response r;
  r.body = "abc";
  r.loops = 2;
  r.metaint = 1;
  r.metaint_header = "1";
  r.titles = {{"Tx", 0, 0ms, false}};
  r.meta_blocks = {0, 1};
  srv.route("/m1", r);
  Client c(srv.port());
  c.get("/m1");
  c.head();
  std::vector<std::string> blocks;
  EXPECT_EQ(strip_icy(c.read_all(), 1, blocks), "abcabc");
  ASSERT_EQ(blocks.size(), 6u);
  EXPECT_EQ(blocks[0], "");
  EXPECT_EQ(blocks[1], "StreamTitle='Tx'");  // cut to the forced 16 bytes
  EXPECT_EQ(blocks[2], "");
}

TEST(TestkitServer, StallAndCloseAfterBytes) {
  Server srv;
  Response stall;
  stall.body = pattern(5000);
  stall.stall_after = 1234;
  srv.route("/stall", stall);
  Response close = stall;
  close.stall_after.reset();
  close.close_after = 777;
  srv.route("/close", close);

  Client s(srv.port());
  s.get("/stall");
  s.head();
  EXPECT_EQ(s.read_all(200ms).size(), 1234u);
  EXPECT_FALSE(s.eof());

  Client c(srv.port());
  c.get("/close");
  std::string h = c.head();
  EXPECT_NE(h.find("Content-Length: 5000\r\n"), std::string::npos);  // promised more than sent
  EXPECT_EQ(c.read_all(), stall.body.substr(0, 777));
  EXPECT_TRUE(c.eof());

  // Counting the head: stall in the middle of the status line.
  Response mid = Response::text("body");
  mid.count_head = true;
  mid.stall_after = 5;
  srv.route("/mid", mid);
  Client m(srv.port());
  m.get("/mid");
  EXPECT_EQ(m.read_all(150ms), "HTTP/");
  EXPECT_FALSE(m.eof());

  // stop() must not hang on the stalled clients.
  auto t0 = Clock::now();
  srv.stop();
  EXPECT_LT(Clock::now() - t0, 1s);
  s.read_all(1000ms);
  EXPECT_TRUE(s.eof());
}

TEST(TestkitServer, SequenceAndGateOutliveTheTestsObjects) {
  Server srv;
  {
    // The responses and the gate go out of scope: the server keeps its own.
    testkit::Gate gate;
    Response held = Response::text("second");
    held.hold = gate;
    srv.route_seq("/s", {Response::text("first"), held, Response::text("later")});

    Client a(srv.port());
    a.get("/s");
    EXPECT_NE(a.read_all().find("\r\n\r\nfirst"), std::string::npos);
    Client b(srv.port());
    b.get("/s");
    EXPECT_EQ(b.read_all(150ms), "") << "held back";
    gate.open();
    EXPECT_NE(b.read_all().find("\r\n\r\nsecond"), std::string::npos);
  }
  for (int i = 0; i < 2; ++i) {
    Client c(srv.port());
    c.get("/s");
    EXPECT_NE(c.read_all().find("\r\n\r\nlater"), std::string::npos) << "the last one repeats";
  }

  // A gate never opened does not hold up stop().
  testkit::Gate shut;
  Response never = Response::text("never");
  never.hold = shut;
  srv.route("/never", never);
  Client n(srv.port());
  n.get("/never");
  ASSERT_TRUE(srv.wait_requests("/never", 1, 2s));
  auto t0 = Clock::now();
  srv.stop();
  EXPECT_LT(Clock::now() - t0, 1s);
  EXPECT_EQ(n.read_all(), "");
  EXPECT_TRUE(n.eof());
}

TEST(TestkitServer, ChunkedFraming) {
  Server srv;
  Response r;
  r.body = pattern(2500);
  r.chunked = true;
  r.chunk_size = 1000;
  srv.route("/c", r);
  Client c(srv.port());
  c.get("/c");
  std::string h = c.head();
  EXPECT_NE(h.find("Transfer-Encoding: chunked\r\n"), std::string::npos);
  EXPECT_EQ(h.find("Content-Length"), std::string::npos);
  EXPECT_EQ(c.read_all(), "3e8\r\n" + r.body.substr(0, 1000) + "\r\n3e8\r\n" + r.body.substr(1000, 1000) +
                              "\r\n1f4\r\n" + r.body.substr(2000) + "\r\n0\r\n\r\n");
}

TEST(TestkitServer, PacingAndEndlessStreams) {
  Server srv;
  Response r;
  r.body = testkit::garbage(4096);
  r.loops = 0;
  r.rate = 100000;
  r.burst = 10000;
  srv.route("/live", r);
  EXPECT_EQ(r.body.find('\xff'), std::string::npos);

  Client c(srv.port());
  auto t0 = Clock::now();
  c.get("/live");
  c.head();
  size_t got = c.read_until(SIZE_MAX, 300ms).size();
  double secs = std::chrono::duration<double>(Clock::now() - t0).count();
  double expect = 10000 + 100000 * secs;
  EXPECT_GT(double(got), expect * 0.7);
  EXPECT_LT(double(got), expect * 1.15 + 2000);
  EXPECT_FALSE(c.eof());  // still streaming
  EXPECT_TRUE(srv.wait_requests("/live", 1, 100ms));
  EXPECT_EQ(srv.active_connections(), 1u);
}

TEST(TestkitServer, Mp3ByteRateOfFixtures) {
  const std::string dir = MELODUNE_FIXTURE_DIR;
  EXPECT_EQ(testkit::mp3_byte_rate(testkit::read_file(dir + "/tone440_128k.mp3")), 16000u);
  EXPECT_EQ(testkit::mp3_byte_rate(testkit::read_file(dir + "/tone1k_64k_mono_22k.mp3")), 8000u);
  EXPECT_EQ(testkit::mp3_byte_rate(testkit::read_file(dir + "/tone440_16k_mono_8k.mp3")), 2000u);
  std::string tagged = testkit::read_file(dir + "/tone440_id3.mp3");
  EXPECT_EQ(tagged.substr(0, 3), "ID3");
  EXPECT_EQ(testkit::mp3_byte_rate(tagged), 16000u);
  EXPECT_EQ(testkit::mp3_byte_rate(testkit::garbage(10000)), 0u);
}

}  // namespace
