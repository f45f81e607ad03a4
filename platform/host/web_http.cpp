// The browser display's HTTP server: loopback only, token and Host/Origin
// checks on every request, bounded reads under a deadline, one thread per
// connection, server-sent events.
#include "host/web_http.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/random.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>

#include "exec/text.h"

namespace platform::web {

namespace {

std::string Lower(std::string_view s) {
  std::string r(s);
  for (char &c : r)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return r;
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
  return s;
}

bool IsToken(char c) {
  // Method and header-name characters (RFC 9110 tchar).
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
         std::strchr("!#$%&'*+-.^_`|~", c) != nullptr;
}

int64_t NowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

} // namespace

// ---- requests -------------------------------------------------------------------------------------

std::string HttpRequest::Header(std::string_view lowerName) const {
  for (auto &[n, v] : headers)
    if (n == lowerName) return v;
  return {};
}

bool HttpRequest::HasHeader(std::string_view lowerName) const {
  for (auto &h : headers)
    if (h.first == lowerName) return true;
  return false;
}

std::string HttpRequest::Param(std::string_view key) const {
  auto form = ParseForm(query);
  auto it = form.find(std::string(key));
  return it == form.end() ? std::string() : it->second;
}

std::string PercentDecode(std::string_view s, bool plusIsSpace) {
  std::string out;
  out.reserve(s.size());
  for (size_t i = 0; i < s.size(); ++i) {
    char c = s[i];
    if (c == '%' && i + 2 < s.size() && HexDigitValue(s[i + 1]) >= 0 && HexDigitValue(s[i + 2]) >= 0) {
      out += static_cast<char>(HexDigitValue(s[i + 1]) * 16 + HexDigitValue(s[i + 2]));
      i += 2;
    } else if (c == '+' && plusIsSpace) {
      out += ' ';
    } else {
      out += c;
    }
  }
  return out;
}

std::map<std::string, std::string> ParseForm(std::string_view s) {
  std::map<std::string, std::string> out;
  while (!s.empty()) {
    size_t amp = s.find('&');
    std::string_view pair = s.substr(0, amp);
    s = amp == std::string_view::npos ? std::string_view() : s.substr(amp + 1);
    if (pair.empty()) continue;
    size_t eq = pair.find('=');
    std::string key = PercentDecode(pair.substr(0, eq), true);
    std::string value = eq == std::string_view::npos ? std::string() : PercentDecode(pair.substr(eq + 1), true);
    out.emplace(std::move(key), std::move(value));
  }
  return out;
}

ParseStatus ParseRequestHead(std::string_view data, const HttpLimits &limits, HttpRequest &out, size_t &headLength,
                             size_t &bodyLength) {
  size_t end = data.find("\r\n\r\n");
  if (end == std::string_view::npos) {
    if (data.size() > limits.maxHead) return ParseStatus::TooLarge;
    return ParseStatus::Incomplete;
  }
  if (end + 4 > limits.maxHead) return ParseStatus::TooLarge;
  headLength = end + 4;
  bodyLength = 0;
  std::string_view head = data.substr(0, end);
  size_t eol = head.find("\r\n");
  std::string_view line = head.substr(0, eol);
  head = eol == std::string_view::npos ? std::string_view() : head.substr(eol + 2);

  // Request line: METHOD SP TARGET SP HTTP/1.x
  size_t sp1 = line.find(' ');
  if (sp1 == std::string_view::npos || sp1 == 0) return ParseStatus::Bad;
  size_t sp2 = line.find(' ', sp1 + 1);
  if (sp2 == std::string_view::npos || sp2 == sp1 + 1) return ParseStatus::Bad;
  std::string_view method = line.substr(0, sp1), target = line.substr(sp1 + 1, sp2 - sp1 - 1),
                   version = line.substr(sp2 + 1);
  if (!std::all_of(method.begin(), method.end(), IsToken)) return ParseStatus::Bad;
  if (version != "HTTP/1.1" && version != "HTTP/1.0") return ParseStatus::Bad;
  if (target.empty() || target[0] != '/') return ParseStatus::Bad; // origin form only
  for (char c : target)
    if (static_cast<unsigned char>(c) <= 0x20 || c == 0x7f) return ParseStatus::Bad;
  out.method = std::string(method);
  out.target = std::string(target);
  size_t q = target.find('?');
  out.path = PercentDecode(target.substr(0, q), false);
  out.query = q == std::string_view::npos ? std::string() : std::string(target.substr(q + 1));
  if (out.path.find('\0') != std::string::npos) return ParseStatus::Bad;

  out.headers.clear();
  bool haveLength = false;
  while (!head.empty()) {
    eol = head.find("\r\n");
    line = head.substr(0, eol);
    head = eol == std::string_view::npos ? std::string_view() : head.substr(eol + 2);
    size_t colon = line.find(':');
    if (colon == std::string_view::npos || colon == 0) return ParseStatus::Bad;
    std::string_view name = line.substr(0, colon);
    if (!std::all_of(name.begin(), name.end(), IsToken)) return ParseStatus::Bad; // also no folded lines
    std::string value(Trim(line.substr(colon + 1)));
    for (char c : value)
      if ((static_cast<unsigned char>(c) < 0x20 && c != '\t') || c == 0x7f) return ParseStatus::Bad;
    std::string lname = Lower(name);
    if (lname == "content-length") {
      if (haveLength || value.empty() || value.size() > 9 ||
          !std::all_of(value.begin(), value.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return ParseStatus::Bad;
      haveLength = true;
      bodyLength = std::stoul(value);
      if (bodyLength > limits.maxBody) return ParseStatus::TooLarge;
    } else if (lname == "transfer-encoding") {
      return ParseStatus::Bad; // pages never send chunked bodies
    }
    out.headers.emplace_back(std::move(lname), std::move(value));
  }
  return ParseStatus::Complete;
}

bool SameSecret(std::string_view a, std::string_view b) {
  unsigned char diff = a.size() == b.size() ? 0 : 1;
  size_t n = std::max(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    unsigned char x = i < a.size() ? static_cast<unsigned char>(a[i]) : 0;
    unsigned char y = i < b.size() ? static_cast<unsigned char>(b[i]) : 0;
    diff |= static_cast<unsigned char>(x ^ y);
  }
  return diff == 0;
}

Access CheckAccess(const HttpRequest &req, const std::vector<std::string> &hosts, const std::string &token) {
  // Host names us exactly: a page of another site that resolves its name to
  // this address (DNS rebinding) sends its own name.
  if (!req.HasHeader("host")) return Access::BadHost;
  std::string host = Lower(req.Header("host"));
  if (std::find(hosts.begin(), hosts.end(), host) == hosts.end()) return Access::BadHost;
  if (req.HasHeader("origin")) {
    std::string origin = Lower(req.Header("origin"));
    bool ok = false;
    for (auto &h : hosts) ok |= origin == "http://" + h;
    if (!ok) return Access::BadOrigin;
  }
  std::string given = req.HasHeader("x-melodune-token") ? req.Header("x-melodune-token") : req.Param("t");
  if (token.empty() || !SameSecret(given, token)) return Access::BadToken;
  return Access::Granted;
}

std::string RandomToken() {
  unsigned char bytes[16];
  size_t got = 0;
  while (got < sizeof bytes) {
    ssize_t n = getrandom(bytes + got, sizeof bytes - got, 0);
    if (n < 0) {
      if (errno == EINTR) continue;
      return {};
    }
    got += static_cast<size_t>(n);
  }
  static const char hex[] = "0123456789abcdef";
  std::string s;
  for (unsigned char b : bytes) {
    s += hex[b >> 4];
    s += hex[b & 15];
  }
  return s;
}

bool IsLoopbackAddress(const std::string &address) {
  if (address == "localhost") return true;
  in_addr a4{};
  if (inet_pton(AF_INET, address.c_str(), &a4) == 1) return (ntohl(a4.s_addr) >> 24) == 127;
  in6_addr a6{};
  if (inet_pton(AF_INET6, address.c_str(), &a6) == 1) return IN6_IS_ADDR_LOOPBACK(&a6);
  return false;
}

bool SplitListenAddress(const std::string &listen, std::string &address, std::string &port) {
  port = listen;
  if (!listen.empty() && listen[0] == '[') { // [::1]:8080
    size_t close = listen.find(']');
    if (close == std::string::npos || close + 1 >= listen.size() || listen[close + 1] != ':') return false;
    address = listen.substr(1, close - 1);
    port = listen.substr(close + 2);
  } else if (size_t colon = listen.rfind(':'); colon != std::string::npos) {
    address = listen.substr(0, colon);
    port = listen.substr(colon + 1);
  }
  return true;
}

bool ParseListenAddress(const std::string &listen, std::string &address, int &port, std::string &why) {
  std::string addr = "127.0.0.1", portText;
  if (!SplitListenAddress(listen, addr, portText)) {
    why = "\"" + listen + "\" is not [ADDR]:PORT";
    return false;
  }
  if (!listen.starts_with('[') && addr.find(':') != std::string::npos) {
    why = "an IPv6 address needs brackets: [::1]:PORT";
    return false;
  }
  if (portText.empty() || portText.size() > 5 ||
      !std::all_of(portText.begin(), portText.end(), [](char c) { return c >= '0' && c <= '9'; }) ||
      std::stoi(portText) > 65535) {
    why = "\"" + portText + "\" is no port number (0 to 65535)";
    return false;
  }
  if (!IsLoopbackAddress(addr)) {
    why = "\"" + addr + "\" is not a loopback address; the display is only served on this machine";
    return false;
  }
  address = addr == "localhost" ? "127.0.0.1" : addr;
  port = std::stoi(portText);
  return true;
}

// ---- responses ------------------------------------------------------------------------------------

HttpResponse HttpResponse::Text(int status, std::string body) {
  HttpResponse r;
  r.status = status;
  r.body = std::move(body);
  return r;
}

std::string StatusText(int status) {
  switch (status) {
  case 200: return "OK";
  case 204: return "No Content";
  case 302: return "Found";
  case 400: return "Bad Request";
  case 403: return "Forbidden";
  case 404: return "Not Found";
  case 405: return "Method Not Allowed";
  case 408: return "Request Timeout";
  case 409: return "Conflict";
  case 413: return "Content Too Large";
  case 431: return "Request Header Fields Too Large";
  case 500: return "Internal Server Error";
  case 503: return "Service Unavailable";
  }
  return "Unknown";
}

std::string FormatResponse(const HttpResponse &r) {
  std::string s = "HTTP/1.1 " + std::to_string(r.status) + " " + StatusText(r.status) + "\r\n";
  s += "Content-Type: " + r.type + "\r\n";
  s += "Content-Length: " + std::to_string(r.body.size()) + "\r\n";
  s += "Cache-Control: no-store\r\nX-Content-Type-Options: nosniff\r\nReferrer-Policy: no-referrer\r\n";
  // Nothing but this server: no scripts, styles, fonts or frames from outside.
  s += "Content-Security-Policy: default-src 'self'; img-src 'self' data:; style-src 'self'; "
       "frame-ancestors 'none'\r\n";
  for (auto &[n, v] : r.headers) s += n + ": " + v + "\r\n";
  s += "Connection: close\r\n\r\n";
  s += r.body;
  return s;
}

// ---- event streams ----------------------------------------------------------------------------------

bool EventStream::Send(const std::string &event, const std::string &data, const std::string &key) {
  std::string text = "event: " + event + "\n";
  size_t start = 0;
  for (;;) {
    size_t nl = data.find('\n', start);
    text += "data: " + data.substr(start, nl == std::string::npos ? std::string::npos : nl - start) + "\n";
    if (nl == std::string::npos) break;
    start = nl + 1;
  }
  text += "\n";
  std::lock_guard g(lock_);
  if (closed_) return false;
  if (!key.empty()) {
    // The newest state goes last, after anything queued since the old one
    // (a group sent later must not overtake a newer state of its child).
    for (auto it = queue_.begin(); it != queue_.end(); ++it)
      if (it->first == key) {
        queue_.erase(it);
        break;
      }
  }
  if (queue_.size() >= maxQueued_) {
    // A page that reads nothing: drop it; it reconnects and starts afresh.
    closed_ = true;
    queue_.clear();
    ready_.notify_all();
    return false;
  }
  queue_.emplace_back(key, std::move(text));
  ready_.notify_one();
  return true;
}

void EventStream::Close() {
  std::lock_guard g(lock_);
  closed_ = true;
  ready_.notify_all();
}

bool EventStream::Closed() const {
  std::lock_guard g(lock_);
  return closed_;
}

std::string EventStream::Next(int timeoutMs) {
  std::unique_lock g(lock_);
  ready_.wait_for(g, std::chrono::milliseconds(timeoutMs), [&] { return closed_ || !queue_.empty(); });
  if (closed_) return {};
  std::string out;
  while (!queue_.empty() && out.size() < 256 * 1024) {
    out += queue_.front().second;
    queue_.pop_front();
  }
  return out;
}

// ---- the server -----------------------------------------------------------------------------------

HttpServer::~HttpServer() { Stop(); }

std::string HttpServer::Origin() const {
  bool v6 = address_.find(':') != std::string::npos;
  return "http://" + (v6 ? "[" + address_ + "]" : address_) + ":" + std::to_string(port_);
}

bool HttpServer::Start(const std::string &address, int port, std::string &why) {
  if (listenFd_ >= 0) {
    why = "already started";
    return false;
  }
  if (!IsLoopbackAddress(address)) {
    why = address + " is not a loopback address";
    return false;
  }
  if (token_.empty()) {
    why = "no access token";
    return false;
  }
  std::string addr = address == "localhost" ? "127.0.0.1" : address;
  bool v6 = addr.find(':') != std::string::npos;
  int fd = socket(v6 ? AF_INET6 : AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    why = std::string("socket: ") + std::strerror(errno);
    return false;
  }
  int one = 1;
  setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_storage ss{};
  socklen_t len;
  if (v6) {
    auto *a = reinterpret_cast<sockaddr_in6 *>(&ss);
    a->sin6_family = AF_INET6;
    a->sin6_port = htons(static_cast<uint16_t>(port));
    inet_pton(AF_INET6, addr.c_str(), &a->sin6_addr);
    len = sizeof *a;
  } else {
    auto *a = reinterpret_cast<sockaddr_in *>(&ss);
    a->sin_family = AF_INET;
    a->sin_port = htons(static_cast<uint16_t>(port));
    inet_pton(AF_INET, addr.c_str(), &a->sin_addr);
    len = sizeof *a;
  }
  if (bind(fd, reinterpret_cast<sockaddr *>(&ss), len) != 0 || listen(fd, 32) != 0) {
    why = addr + ":" + std::to_string(port) + ": " + std::strerror(errno);
    close(fd);
    return false;
  }
  getsockname(fd, reinterpret_cast<sockaddr *>(&ss), &len);
  port_ = ntohs(v6 ? reinterpret_cast<sockaddr_in6 *>(&ss)->sin6_port : reinterpret_cast<sockaddr_in *>(&ss)->sin_port);
  address_ = addr;
  if (pipe2(wakeFds_, O_CLOEXEC | O_NONBLOCK) != 0) {
    why = std::string("pipe: ") + std::strerror(errno);
    close(fd);
    return false;
  }
  std::string p = std::to_string(port_);
  hosts_.clear();
  if (v6) {
    hosts_.push_back("[" + addr + "]:" + p);
  } else {
    hosts_.push_back(addr + ":" + p);
    if (addr == "127.0.0.1") hosts_.push_back("localhost:" + p);
  }
  listenFd_ = fd;
  stopping_ = false;
  acceptThread_ = std::thread([this] { AcceptLoop(); });
  return true;
}

void HttpServer::Stop() {
  if (listenFd_ < 0) return;
  stopping_ = true;
  if (wakeFds_[1] >= 0) {
    char c = 1;
    [[maybe_unused]] ssize_t n = write(wakeFds_[1], &c, 1);
  }
  if (acceptThread_.joinable()) acceptThread_.join();
  {
    std::lock_guard g(connLock_);
    for (auto &s : streams_) s->Close();
    for (auto &c : conns_)
      if (!c->done) shutdown(c->fd, SHUT_RDWR); // wakes a blocked read or write
  }
  Reap(true);
  close(listenFd_);
  listenFd_ = -1;
  for (int &w : wakeFds_) {
    if (w >= 0) close(w);
    w = -1;
  }
}

size_t HttpServer::ActiveConnections() const {
  std::lock_guard g(connLock_);
  size_t n = 0;
  for (auto &c : conns_) n += !c->done;
  return n;
}

void HttpServer::Reap(bool all) {
  std::vector<std::unique_ptr<Conn>> finished;
  {
    std::lock_guard g(connLock_);
    for (auto it = conns_.begin(); it != conns_.end();) {
      if (all || (*it)->done) {
        finished.push_back(std::move(*it));
        it = conns_.erase(it);
      } else {
        ++it;
      }
    }
    streams_.erase(std::remove_if(streams_.begin(), streams_.end(), [](auto &s) { return s->Closed(); }),
                   streams_.end());
  }
  for (auto &c : finished) {
    if (c->thread.joinable()) c->thread.join();
    close(c->fd);
  }
}

void HttpServer::AcceptLoop() {
  for (;;) {
    pollfd p[2] = {{listenFd_, POLLIN, 0}, {wakeFds_[0], POLLIN, 0}};
    int n = poll(p, 2, 1000);
    if (stopping_) return;
    Reap(false);
    if (n <= 0 || !(p[0].revents & POLLIN)) continue;
    int fd = accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) continue;
    timeval tv{limits_.writeTimeoutMs / 1000, (limits_.writeTimeoutMs % 1000) * 1000};
    setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
    int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    std::lock_guard g(connLock_);
    size_t active = 0;
    for (auto &c : conns_) active += !c->done;
    if (active >= limits_.maxConnections) {
      static const char busy[] = "HTTP/1.1 503 Service Unavailable\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";
      [[maybe_unused]] ssize_t w = send(fd, busy, sizeof busy - 1, MSG_NOSIGNAL | MSG_DONTWAIT);
      close(fd);
      continue;
    }
    auto c = std::make_unique<Conn>();
    c->fd = fd;
    Conn *raw = c.get();
    conns_.push_back(std::move(c));
    raw->thread = std::thread([this, raw] {
      Serve(raw);
      // The page sees the end now; the number is given back by Reap.
      shutdown(raw->fd, SHUT_RDWR);
      raw->done = true;
    });
  }
}

bool HttpServer::WriteAll(int fd, std::string_view data) {
  while (!data.empty()) {
    ssize_t n = send(fd, data.data(), data.size(), MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false; // error or SO_SNDTIMEO
    data.remove_prefix(static_cast<size_t>(n));
  }
  return true;
}

bool HttpServer::ReadRequest(int fd, HttpRequest &req, int &errorStatus) {
  std::string buf;
  int64_t deadline = NowMs() + limits_.readTimeoutMs;
  size_t headLength = 0, bodyLength = 0;
  bool haveHead = false;
  char chunk[4096];
  for (;;) {
    if (!haveHead) {
      ParseStatus st = ParseRequestHead(buf, limits_, req, headLength, bodyLength);
      if (st == ParseStatus::Bad) {
        errorStatus = 400;
        return false;
      }
      if (st == ParseStatus::TooLarge) {
        errorStatus = buf.find("\r\n\r\n") == std::string::npos || bodyLength == 0 ? 431 : 413;
        if (bodyLength > limits_.maxBody) errorStatus = 413;
        return false;
      }
      haveHead = st == ParseStatus::Complete;
    }
    if (haveHead && buf.size() >= headLength + bodyLength) {
      req.body = buf.substr(headLength, bodyLength);
      return true;
    }
    int64_t left = deadline - NowMs();
    if (left <= 0 || stopping_) {
      errorStatus = 408;
      return false;
    }
    pollfd p{fd, POLLIN, 0};
    int n = poll(&p, 1, static_cast<int>(std::min<int64_t>(left, 500)));
    if (n < 0 && errno != EINTR) return false;
    if (n <= 0) continue;
    ssize_t got = recv(fd, chunk, sizeof chunk, 0);
    if (got <= 0) {
      errorStatus = 0; // the peer went away
      return false;
    }
    buf.append(chunk, static_cast<size_t>(got));
    if (buf.size() > limits_.maxHead + limits_.maxBody + sizeof chunk) {
      errorStatus = 413;
      return false;
    }
  }
}

void HttpServer::Serve(Conn *c) {
  HttpRequest req;
  int errorStatus = 400;
  if (!ReadRequest(c->fd, req, errorStatus)) {
    if (errorStatus) WriteAll(c->fd, FormatResponse(HttpResponse::Text(errorStatus, StatusText(errorStatus) + "\n")));
    return;
  }
  Access a = CheckAccess(req, hosts_, token_);
  if (a != Access::Granted) {
    const char *why = a == Access::BadHost     ? "wrong host\n"
                      : a == Access::BadOrigin ? "requests from other origins are refused\n"
                                               : "missing or wrong token\n";
    WriteAll(c->fd, FormatResponse(HttpResponse::Text(403, why)));
    return;
  }
  if (streamHandler_ && req.path == streamPath_) {
    if (req.method != "GET") {
      WriteAll(c->fd, FormatResponse(HttpResponse::Text(405, "GET only\n")));
      return;
    }
    ServeStream(c->fd, req);
    return;
  }
  HttpResponse r = handler_ ? handler_(req) : HttpResponse::Text(404, "Not Found\n");
  if (req.method == "HEAD") r.body.clear();
  WriteAll(c->fd, FormatResponse(r));
}

void HttpServer::ServeStream(int fd, const HttpRequest &req) {
  auto stream = std::make_shared<EventStream>();
  {
    std::lock_guard g(connLock_);
    if (stopping_) return;
    streams_.push_back(stream);
  }
  std::string head = "HTTP/1.1 200 OK\r\nContent-Type: text/event-stream; charset=utf-8\r\n"
                     "Cache-Control: no-store\r\nX-Content-Type-Options: nosniff\r\nConnection: close\r\n\r\n"
                     "retry: 1000\n\n";
  if (!WriteAll(fd, head)) {
    stream->Close();
    return;
  }
  streamHandler_(req, stream);
  int64_t lastWrite = NowMs();
  while (!stopping_) {
    std::string out = stream->Next(1000);
    if (stream->Closed()) break;
    if (out.empty()) {
      if (NowMs() - lastWrite < 15000) {
        // A page that went away shows up as a hang-up while we wait.
        pollfd p{fd, POLLIN | POLLRDHUP, 0};
        if (poll(&p, 1, 0) > 0 && (p.revents & (POLLHUP | POLLRDHUP | POLLERR))) break;
        continue;
      }
      out = ": keep-alive\n\n";
    }
    if (!WriteAll(fd, out)) break;
    lastWrite = NowMs();
  }
  stream->Close();
}

} // namespace platform::web
