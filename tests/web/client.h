// A small loopback HTTP client for the browser view's tests: whole
// requests as raw bytes, and an event-stream reader.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <string>

namespace webtest {

inline int Connect(int port) {
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(static_cast<uint16_t>(port));
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (connect(fd, reinterpret_cast<sockaddr *>(&a), sizeof a) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

inline bool SendAll(int fd, const std::string &s) {
  size_t off = 0;
  while (off < s.size()) {
    ssize_t n = send(fd, s.data() + off, s.size() - off, MSG_NOSIGNAL);
    if (n <= 0) return false;
    off += static_cast<size_t>(n);
  }
  return true;
}

// Reads until the peer closes or the time is up.
inline std::string ReadAll(int fd, int timeoutMs = 5000) {
  std::string out;
  auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  char buf[4096];
  while (std::chrono::steady_clock::now() < end) {
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, 50) <= 0) continue;
    ssize_t n = recv(fd, buf, sizeof buf, 0);
    if (n <= 0) break;
    out.append(buf, static_cast<size_t>(n));
  }
  return out;
}

// One request on its own connection; the whole answer.
inline std::string Raw(int port, const std::string &request, int timeoutMs = 5000) {
  int fd = Connect(port);
  if (fd < 0) return "";
  SendAll(fd, request);
  std::string r = ReadAll(fd, timeoutMs);
  close(fd);
  return r;
}

inline int Status(const std::string &response) {
  if (response.size() < 12 || response.compare(0, 9, "HTTP/1.1 ") != 0) return 0;
  return std::stoi(response.substr(9, 3));
}

inline std::string Body(const std::string &response) {
  size_t p = response.find("\r\n\r\n");
  return p == std::string::npos ? "" : response.substr(p + 4);
}

inline std::string Get(int port, const std::string &target, const std::string &extraHeaders = "") {
  return Raw(port, "GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port) + "\r\n" + extraHeaders +
                       "\r\n");
}

inline std::string Post(int port, const std::string &token, const std::string &body) {
  return Raw(port, "POST /input HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port) +
                       "\r\nContent-Type: application/x-www-form-urlencoded\r\nX-Melodune-Token: " + token +
                       "\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body);
}

// An open event stream; Wait reads until the text appears (or time is up).
class Events {
public:
  Events(int port, const std::string &token, int screen = 0) : fd_(Connect(port)) {
    if (fd_ >= 0)
      SendAll(fd_, "GET /events?t=" + token + "&s=" + std::to_string(screen) + " HTTP/1.1\r\nHost: 127.0.0.1:" +
                       std::to_string(port) + "\r\n\r\n");
  }
  ~Events() {
    if (fd_ >= 0) close(fd_);
  }
  bool Wait(const std::string &text, int timeoutMs = 5000) {
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    char buf[8192];
    for (;;) {
      size_t p = seen_.find(text, from_);
      if (p != std::string::npos) {
        from_ = p + text.size();
        return true;
      }
      if (std::chrono::steady_clock::now() >= end) return false;
      pollfd pf{fd_, POLLIN, 0};
      if (poll(&pf, 1, 20) <= 0) continue;
      ssize_t n = recv(fd_, buf, sizeof buf, 0);
      if (n <= 0) return false;
      seen_.append(buf, static_cast<size_t>(n));
    }
  }
  // Text after the last match up to the end of that event.
  std::string Rest() const {
    size_t e = seen_.find("\n\n", from_);
    return seen_.substr(from_, e == std::string::npos ? std::string::npos : e - from_);
  }
  const std::string &All() const { return seen_; }

private:
  int fd_;
  std::string seen_;
  size_t from_ = 0;
};

} // namespace webtest
