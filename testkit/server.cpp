#include "testkit/server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace testkit {

namespace {

using Clock = std::chrono::steady_clock;

char lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool iequals(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (lower(a[i]) != lower(b[i])) return false;
  return true;
}

bool has(const std::vector<Header>& hs, std::string_view name) {
  return std::any_of(hs.begin(), hs.end(), [&](const Header& h) { return iequals(h.name, name); });
}

std::string_view trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
  return s;
}

const char* reason(int code) {
  switch (code) {
    case 200: return "OK";
    case 301: return "Moved Permanently";
    case 302: return "Found";
    case 303: return "See Other";
    case 307: return "Temporary Redirect";
    case 308: return "Permanent Redirect";
    case 400: return "Bad Request";
    case 401: return "Unauthorized";
    case 403: return "Forbidden";
    case 404: return "Not Found";
    case 431: return "Request Header Fields Too Large";
    case 500: return "Internal Server Error";
    case 502: return "Bad Gateway";
    case 503: return "Service Unavailable";
    default: return "Unknown";
  }
}

enum class Wait { Ready, Stop, Timeout, Error };

// Waits for `events` on fd (fd < 0: only for the stop pipe or the timeout).
// timeout_ms < 0 waits without limit.
Wait wait_fd(int fd, short events, int wake, int timeout_ms) {
  pollfd p[2] = {{wake, POLLIN, 0}, {fd, events, 0}};
  int n = fd >= 0 ? 2 : 1;
  for (;;) {
    int r = ::poll(p, n, timeout_ms);
    if (r < 0) {
      if (errno == EINTR) continue;
      return Wait::Error;
    }
    if (r == 0) return Wait::Timeout;
    if (p[0].revents) return Wait::Stop;
    if (p[1].revents & (events | POLLHUP | POLLERR)) return Wait::Ready;
    return Wait::Error;
  }
}

int ms_until(Clock::time_point t) {
  auto d = std::chrono::duration_cast<std::chrono::milliseconds>(t - Clock::now()).count();
  if (d <= 0) return 0;
  return d > 1000000 ? 1000000 : static_cast<int>(d);
}

// The write side of one connection: counts bytes, applies the cut-offs.
class Out {
 public:
  Out(int fd, int wake, const Response& r) : fd_(fd), wake_(wake) {
    if (r.stall_after) limit_ = *r.stall_after, stall_ = true;
    if (r.close_after && (!limit_ || *r.close_after < *limit_)) limit_ = *r.close_after, stall_ = false;
  }

  // Sends bytes that do not count towards the cut-offs.
  bool raw(std::string_view s) {
    while (!s.empty()) {
      ssize_t n = ::send(fd_, s.data(), s.size(), MSG_NOSIGNAL);
      if (n > 0) {
        s.remove_prefix(static_cast<size_t>(n));
        continue;
      }
      if (n < 0 && errno == EINTR) continue;
      if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
        if (wait_fd(fd_, POLLOUT, wake_, -1) != Wait::Ready) return false;
        continue;
      }
      return false;
    }
    return true;
  }

  // Sends counted bytes; false once the connection is over (cut, client gone, stop).
  bool put(std::string_view s) {
    if (limit_ && sent_ + s.size() >= *limit_) {
      size_t part = static_cast<size_t>(*limit_ - sent_);
      sent_ = *limit_;
      if (!raw(s.substr(0, part))) return false;
      cut();
      return false;
    }
    sent_ += s.size();
    return raw(s);
  }

  // Applies a cut-off that is already due (a limit of 0, or one equal to the head).
  bool check() {
    if (limit_ && sent_ >= *limit_) {
      cut();
      return false;
    }
    return true;
  }

  bool count_head(std::string_view head) { return put(head) && check(); }

 private:
  void cut() {
    if (!stall_) return;
    // Keep the socket open and silent until the client leaves or we stop.
    char buf[512];
    for (;;) {
      if (wait_fd(fd_, POLLIN, wake_, -1) != Wait::Ready) return;
      ssize_t n = ::recv(fd_, buf, sizeof buf, 0);
      if (n == 0) return;
      if (n < 0 && errno != EINTR && errno != EAGAIN && errno != EWOULDBLOCK) return;
    }
  }

  int fd_;
  int wake_;
  uint64_t sent_ = 0;
  std::optional<uint64_t> limit_;
  bool stall_ = false;
};

std::string hex(size_t n) {
  char buf[24];
  std::snprintf(buf, sizeof buf, "%zx", n);
  return buf;
}

}  // namespace

// ---- Request -------------------------------------------------------------

std::string Request::header(std::string_view name) const {
  for (const auto& h : headers)
    if (iequals(h.name, name)) return h.value;
  return {};
}

bool Request::has_header(std::string_view name) const { return has(headers, name); }

std::string Request::query_param(std::string_view key) const {
  std::string_view q = query;
  while (!q.empty()) {
    size_t amp = q.find('&');
    std::string_view kv = q.substr(0, amp);
    size_t eq = kv.find('=');
    if (kv.substr(0, eq) == key) return eq == std::string_view::npos ? "" : std::string(kv.substr(eq + 1));
    if (amp == std::string_view::npos) break;
    q.remove_prefix(amp + 1);
  }
  return {};
}

// ---- Response helpers ----------------------------------------------------

Response& Response::header(std::string name, std::string value) {
  headers.push_back({std::move(name), std::move(value)});
  return *this;
}

Response Response::text(std::string body, std::string content_type) {
  Response r;
  r.header("Content-Type", std::move(content_type));
  r.body = std::move(body);
  return r;
}

Response Response::file(const std::string& path, std::string content_type) {
  return text(read_file(path), std::move(content_type));
}

Response Response::error(int code) {
  Response r;
  r.status = "HTTP/1.1 " + std::to_string(code) + " " + reason(code);
  r.header("Content-Type", "text/plain");
  r.body = std::to_string(code) + " " + reason(code) + "\n";
  return r;
}

Response Response::redirect(std::string location, int code) {
  Response r = error(code);
  r.header("Location", std::move(location));
  return r;
}

Response Response::m3u(const std::vector<std::string>& urls) {
  std::string s = "#EXTM3U\r\n";
  int i = 1;
  for (const auto& u : urls) s += "#EXTINF:-1,Stream " + std::to_string(i++) + "\r\n" + u + "\r\n";
  return text(std::move(s), "audio/x-mpegurl");
}

Response Response::icy_stream(const std::string& mp3_path, uint32_t metaint, uint64_t rate,
                              std::vector<TitleChange> titles) {
  Response r;
  r.status = "ICY 200 OK";
  r.header("icy-name", "Testkit Radio");
  r.header("icy-genre", "Test");
  r.header("content-type", "audio/mpeg");
  r.body = read_file(mp3_path);
  r.loops = 0;
  r.rate = rate;
  if (metaint > 0) {
    r.metaint_header = std::to_string(metaint);
    r.metaint = metaint;
  }
  r.titles = std::move(titles);
  return r;
}

// ---- Gate ----------------------------------------------------------------

struct Gate::State {
  std::mutex mu;
  std::condition_variable cv;
  bool open = false;
};

Gate::Gate() : s_(std::make_shared<State>()) {}

void Gate::open() {
  {
    std::lock_guard lk(s_->mu);
    s_->open = true;
  }
  s_->cv.notify_all();
}

bool Gate::wait_for(std::chrono::milliseconds timeout) const {
  std::unique_lock lk(s_->mu);
  return s_->cv.wait_for(lk, timeout, [&] { return s_->open; });
}

// ---- free helpers --------------------------------------------------------

std::string read_file(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  if (!f) throw std::runtime_error("testkit: cannot read " + path);
  std::ostringstream ss;
  ss << f.rdbuf();
  return ss.str();
}

std::string garbage(size_t n, uint32_t seed) {
  std::string s(n, '\0');
  uint32_t x = seed ? seed : 1;
  for (auto& c : s) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    c = static_cast<char>(x % 255);  // never 0xFF: no frame sync can appear
  }
  return s;
}

uint64_t mp3_byte_rate(std::string_view d) {
  auto b = [&](size_t i) { return static_cast<unsigned char>(d[i]); };
  size_t i = 0;
  if (d.size() >= 10 && d.substr(0, 3) == "ID3") {
    size_t sz = (size_t(b(6) & 0x7f) << 21) | (size_t(b(7) & 0x7f) << 14) | (size_t(b(8) & 0x7f) << 7) |
                size_t(b(9) & 0x7f);
    i = 10 + sz + ((b(5) & 0x10) ? 10 : 0);
  }
  static const int v1[3][16] = {
      {0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448, 0},  // layer I
      {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384, 0},     // layer II
      {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0}};     // layer III
  static const int v2[2][16] = {
      {0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256, 0},  // layer I
      {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0}};      // layers II, III
  for (size_t end = std::min(d.size(), i + 65536); i + 4 <= end; ++i) {
    if (b(i) != 0xFF || (b(i + 1) & 0xE0) != 0xE0) continue;
    int ver = (b(i + 1) >> 3) & 3, layer = (b(i + 1) >> 1) & 3;
    int bri = b(i + 2) >> 4, sri = (b(i + 2) >> 2) & 3;
    if (ver == 1 || layer == 0 || bri == 0 || bri == 15 || sri == 3) continue;
    int kbps = ver == 3 ? v1[3 - layer][bri] : v2[layer == 3 ? 0 : 1][bri];
    return uint64_t(kbps) * 1000 / 8;
  }
  return 0;
}

std::string icy_block(std::string_view text, char pad, std::optional<uint8_t> forced) {
  size_t len;
  if (forced) {
    len = size_t(*forced) * 16;
  } else {
    text = text.substr(0, std::min<size_t>(text.size(), 255 * 16));
    len = (text.size() + 15) / 16 * 16;
  }
  std::string s(1, static_cast<char>(len / 16));
  s += text.substr(0, std::min(text.size(), len));
  s.resize(1 + len, pad);
  return s;
}

// ---- Server --------------------------------------------------------------

struct Server::Conn {
  int fd = -1;
  std::thread th;
  std::atomic<bool> done{false};
};

Server::Server(ServerOptions options) : opt_(options) {
  if (::pipe2(wake_, O_CLOEXEC | O_NONBLOCK) != 0) throw std::runtime_error("testkit: pipe failed");
  listen_fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (listen_fd_ < 0) {
    ::close(wake_[0]);
    ::close(wake_[1]);
    throw std::runtime_error("testkit: socket failed");
  }
  int one = 1;
  ::setsockopt(listen_fd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  a.sin_port = htons(opt_.port);
  socklen_t len = sizeof a;
  if (::bind(listen_fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(listen_fd_, 64) != 0 ||
      ::getsockname(listen_fd_, reinterpret_cast<sockaddr*>(&a), &len) != 0) {
    std::string err = std::strerror(errno);
    ::close(listen_fd_);
    ::close(wake_[0]);
    ::close(wake_[1]);
    throw std::runtime_error("testkit: cannot listen on 127.0.0.1:" + std::to_string(opt_.port) + ": " + err);
  }
  port_ = ntohs(a.sin_port);
  acceptor_ = std::thread([this] { accept_loop(); });
}

Server::~Server() {
  stop();
  ::close(wake_[0]);
  ::close(wake_[1]);
}

std::string Server::url(std::string_view path) const {
  return "http://127.0.0.1:" + std::to_string(port_) + std::string(path);
}

void Server::route(std::string path, Response r) {
  route_fn(std::move(path), [r = std::move(r)](const Request&) { return r; });
}

void Server::route_seq(std::string path, std::vector<Response> seq) {
  if (seq.empty()) throw std::invalid_argument("testkit: route_seq needs a response");
  struct Seq {
    std::mutex mu;
    std::vector<Response> seq;
    size_t next = 0;
  };
  auto st = std::make_shared<Seq>();
  st->seq = std::move(seq);
  route_fn(std::move(path), [st](const Request&) {
    std::lock_guard lk(st->mu);
    size_t i = std::min(st->next++, st->seq.size() - 1);
    return st->seq[i];
  });
}

void Server::route_fn(std::string path, Handler h) {
  std::lock_guard lk(mu_);
  routes_[std::move(path)] = std::move(h);
}

void Server::unroute(const std::string& path) {
  std::lock_guard lk(mu_);
  routes_.erase(path);
}

void Server::stop() {
  {
    std::lock_guard lk(mu_);
    if (stopped_) return;
    stopped_ = true;
  }
  stopping_ = true;
  char c = 1;
  [[maybe_unused]] ssize_t n = ::write(wake_[1], &c, 1);
  if (acceptor_.joinable()) acceptor_.join();
  std::vector<std::unique_ptr<Conn>> conns;
  {
    std::lock_guard lk(mu_);
    conns.swap(conns_);
  }
  for (auto& c : conns)
    if (c->th.joinable()) c->th.join();
  ::close(listen_fd_);
  listen_fd_ = -1;
}

void Server::reap_locked() {
  for (auto it = conns_.begin(); it != conns_.end();) {
    if ((*it)->done) {
      (*it)->th.join();
      it = conns_.erase(it);
    } else {
      ++it;
    }
  }
}

void Server::accept_loop() {
  while (!stopping_) {
    Wait w = wait_fd(listen_fd_, POLLIN, wake_[0], -1);
    if (w == Wait::Stop) return;
    int fd = ::accept4(listen_fd_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0) {
      if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)
        wait_fd(-1, 0, wake_[0], 10);  // e.g. out of descriptors: do not spin
      continue;
    }
    int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    std::lock_guard lk(mu_);
    reap_locked();
    if (stopped_ || conns_.size() >= opt_.max_connections) {
      ::close(fd);
      continue;
    }
    auto c = std::make_unique<Conn>();
    c->fd = fd;
    Conn* p = c.get();
    conns_.push_back(std::move(c));
    p->th = std::thread([this, p] { serve(p); });
  }
}

size_t Server::active_connections() const {
  std::lock_guard lk(mu_);
  return static_cast<size_t>(std::count_if(conns_.begin(), conns_.end(), [](auto& c) { return !c->done; }));
}

size_t Server::request_count(std::string_view path) const {
  std::lock_guard lk(mu_);
  return static_cast<size_t>(
      std::count_if(log_.begin(), log_.end(), [&](const Request& r) { return path.empty() || r.path == path; }));
}

std::vector<Request> Server::requests(std::string_view path) const {
  std::lock_guard lk(mu_);
  std::vector<Request> v;
  for (const auto& r : log_)
    if (path.empty() || r.path == path) v.push_back(r);
  return v;
}

bool Server::wait_requests(std::string_view path, size_t n, std::chrono::milliseconds timeout) const {
  std::unique_lock lk(mu_);
  return cv_.wait_for(lk, timeout, [&] {
    return static_cast<size_t>(std::count_if(log_.begin(), log_.end(), [&](const Request& r) {
             return path.empty() || r.path == path;
           })) >= n;
  });
}

Response Server::answer(const Request& req) {
  Handler h;
  {
    std::lock_guard lk(mu_);
    log_.push_back(req);
    auto it = routes_.find(req.path);
    if (it != routes_.end()) h = it->second;
  }
  cv_.notify_all();
  if (!h) return Response::error(404);
  try {
    return h(req);
  } catch (...) {
    return Response::error(500);
  }
}

namespace {

// Reads the request head: Ready with `head` filled, or the status to answer
// with (431, 400), or 0 when the client left or the server stops.
int read_head(int fd, int wake, size_t max, std::chrono::milliseconds timeout, std::string& head) {
  auto deadline = Clock::now() + timeout;
  std::string buf;
  char tmp[2048];
  for (;;) {
    size_t end = buf.find("\r\n\r\n");
    size_t skip = 4;
    size_t lf = buf.find("\n\n");
    if (lf != std::string::npos && (end == std::string::npos || lf < end)) end = lf, skip = 2;
    if (end != std::string::npos && end + skip <= max) {
      head = buf.substr(0, end);
      return 200;
    }
    if (buf.size() >= max) return 431;
    Wait w = wait_fd(fd, POLLIN, wake, ms_until(deadline));
    if (w != Wait::Ready) return 0;
    ssize_t n = ::recv(fd, tmp, std::min(sizeof tmp, max + 4 - buf.size()), 0);
    if (n == 0) return 0;
    if (n < 0) {
      if (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK) continue;
      return 0;
    }
    buf.append(tmp, static_cast<size_t>(n));
  }
}

bool parse_head(const std::string& head, Request& req) {
  std::string_view s = head;
  size_t nl = s.find('\n');
  std::string_view line = trim(s.substr(0, nl));
  size_t a = line.find(' ');
  size_t b = a == std::string_view::npos ? a : line.find(' ', a + 1);
  if (a == std::string_view::npos || b == std::string_view::npos) return false;
  req.method = line.substr(0, a);
  req.target = line.substr(a + 1, b - a - 1);
  req.version = line.substr(b + 1);
  size_t q = req.target.find('?');
  req.path = req.target.substr(0, q);
  if (q != std::string::npos) req.query = req.target.substr(q + 1);
  if (req.method.empty() || req.path.empty() || req.version.rfind("HTTP/", 0) != 0) return false;
  while (nl != std::string_view::npos) {
    s.remove_prefix(nl + 1);
    nl = s.find('\n');
    std::string_view l = s.substr(0, nl);
    if (!l.empty() && l.back() == '\r') l.remove_suffix(1);
    if (l.empty()) continue;
    size_t colon = l.find(':');
    if (colon == std::string_view::npos || colon == 0) return false;
    req.headers.push_back({std::string(trim(l.substr(0, colon))), std::string(trim(l.substr(colon + 1)))});
  }
  return true;
}

std::string make_head(const Response& r) {
  std::vector<Header> hs = r.headers;
  if (r.metaint_header) hs.push_back({"icy-metaint", *r.metaint_header});
  bool http = r.status.rfind("HTTP/", 0) == 0;
  if (r.auto_headers) {
    if (r.chunked && !has(hs, "Transfer-Encoding")) hs.push_back({"Transfer-Encoding", "chunked"});
    if (http && !r.chunked && r.loops != 0 && !has(hs, "Content-Length"))
      hs.push_back({"Content-Length", std::to_string(uint64_t(r.body.size()) * r.loops)});
    if (http && !has(hs, "Connection")) hs.push_back({"Connection", "close"});
  }
  std::string s = r.status + r.eol;
  for (const auto& h : hs) s += h.name + ": " + h.value + r.eol;
  s += r.eol;
  return s;
}

// Picks the metadata block due after the block_no-th interval.
class Meta {
 public:
  explicit Meta(const Response& r) : r_(r) {}

  std::string next(uint64_t audio, Clock::duration elapsed) {
    int cur = -1;
    for (size_t i = 0; i < r_.titles.size(); ++i) {
      const auto& t = r_.titles[i];
      if (audio >= t.after_bytes && elapsed >= t.after) cur = static_cast<int>(i);
    }
    std::string text;
    if (cur >= 0) {
      const auto& t = r_.titles[static_cast<size_t>(cur)];
      text = t.raw ? t.title : "StreamTitle='" + t.title + "';" + r_.meta_extra;
    }
    size_t k = block_no_++;
    if (!r_.meta_blocks.empty()) {
      uint8_t forced = r_.meta_blocks[k % r_.meta_blocks.size()];
      if (forced) last_ = cur;
      return icy_block(text, r_.meta_pad, forced);
    }
    if (cur >= 0 && (cur != last_ || r_.meta_every_block)) {
      last_ = cur;
      return icy_block(text, r_.meta_pad);
    }
    return std::string(1, '\0');
  }

 private:
  const Response& r_;
  size_t block_no_ = 0;
  int last_ = -1;
};

}  // namespace

void Server::serve(Conn* c) {
  const int fd = c->fd;
  const int wake = wake_[0];
  std::string head;
  int st = read_head(fd, wake, opt_.max_header_bytes, opt_.request_timeout, head);
  Request req;
  if (st == 200 && !parse_head(head, req)) st = 400;
  if (st != 0) {
    Response r = st == 200 ? answer(req) : Response::error(st);
    if (r.hold)
      while (!r.hold->wait_for(std::chrono::milliseconds(20)))
        if (stopping_) {
          ::close(fd);
          c->done = true;
          return;
        }
    Out out(fd, wake, r);
    std::string h = make_head(r);
    bool ok = r.count_head ? out.count_head(h) : (out.raw(h) && out.check());
    if (ok && req.method != "HEAD") {
      auto emit = [&](std::string_view s) {
        if (!r.chunked) return out.put(s);
        while (!s.empty()) {
          size_t n = std::min(s.size(), std::max<size_t>(r.chunk_size, 1));
          std::string chunk = hex(n) + "\r\n";
          chunk.append(s.substr(0, n));
          chunk += "\r\n";
          if (!out.put(chunk)) return false;
          s.remove_prefix(n);
        }
        return true;
      };
      const std::string& b = r.body;
      const auto start = Clock::now();
      Meta meta(r);
      uint64_t audio = 0;
      uint64_t next_meta = r.metaint ? r.metaint : UINT64_MAX;
      size_t slice = r.rate ? static_cast<size_t>(std::clamp<uint64_t>(r.rate / 50, 1, 16384)) : 16384;
      size_t pos = 0;
      uint32_t loop = 0;
      while (ok && !b.empty()) {
        if (pos == b.size()) {
          pos = 0;
          if (r.loops != 0 && ++loop >= r.loops) break;
        }
        size_t n = std::min<uint64_t>({slice, b.size() - pos, next_meta - audio});
        if (r.rate && audio + n > r.burst) {
          auto due = start + std::chrono::duration_cast<Clock::duration>(
                                 std::chrono::duration<double>(double(audio + n - r.burst) / double(r.rate)));
          if (Clock::now() < due && wait_fd(-1, 0, wake, ms_until(due) + 1) != Wait::Timeout) break;
        }
        ok = emit(std::string_view(b).substr(pos, n));
        pos += n;
        audio += n;
        if (ok && audio == next_meta) {
          ok = emit(meta.next(audio, Clock::now() - start));
          next_meta += r.metaint;
        }
      }
      if (ok && r.chunked) out.put("0\r\n\r\n");
    }
    // Closing with unread input would reset the connection and could cost the
    // client the end of the answer: say we are done, then drain for a while.
    ::shutdown(fd, SHUT_WR);
    auto until = Clock::now() + std::chrono::milliseconds(500);
    char buf[1024];
    while (wait_fd(fd, POLLIN, wake, ms_until(until)) == Wait::Ready) {
      ssize_t n = ::recv(fd, buf, sizeof buf, 0);
      if (n == 0 || (n < 0 && errno != EINTR && errno != EAGAIN && errno != EWOULDBLOCK)) break;
    }
  }
  ::close(fd);
  c->done = true;
}

}  // namespace testkit
