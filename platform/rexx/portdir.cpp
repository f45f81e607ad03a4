#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "exec/clock.h"
#include "rexx/rexx.h"
#include "rexx/wire.h"

namespace platform::rexxwire {

void SetIoTimeouts(int fd, uint64_t platformMs) {
  auto us = std::chrono::duration_cast<std::chrono::microseconds>(RealDuration(platformMs)).count();
  if (us < 1000) us = 1000; // zero would mean "wait forever"
  timeval tv{};
  tv.tv_sec = static_cast<time_t>(us / 1000000);
  tv.tv_usec = static_cast<suseconds_t>(us % 1000000);
  setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
  setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
}

bool ReadFull(int fd, void *buf, size_t n) {
  auto *p = static_cast<char *>(buf);
  while (n) {
    ssize_t r = recv(fd, p, n, 0);
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) return false;
    p += r;
    n -= static_cast<size_t>(r);
  }
  return true;
}

bool WriteFull(int fd, const void *buf, size_t n) {
  auto *p = static_cast<const char *>(buf);
  while (n) {
    ssize_t r = send(fd, p, n, MSG_NOSIGNAL);
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) return false;
    p += r;
    n -= static_cast<size_t>(r);
  }
  return true;
}

bool PeerIsUs(int fd) {
  ucred cred{};
  socklen_t len = sizeof cred;
  if (getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &cred, &len) != 0 || len != sizeof cred) return false;
  return cred.uid == geteuid();
}

bool PortDirIsPrivate(const std::string &dir) {
  struct stat st{};
  if (dir.empty() || lstat(dir.c_str(), &st) != 0) return false;
  return S_ISDIR(st.st_mode) && st.st_uid == geteuid() && (st.st_mode & 077) == 0;
}

bool SocketAddress(const std::string &dir, const std::string &portName, sockaddr_un *addr, socklen_t *len) {
  std::string path = dir + "/" + RexxPortFileName(portName);
  if (dir.empty() || path.size() >= sizeof addr->sun_path) return false;
  std::memset(addr, 0, sizeof *addr);
  addr->sun_family = AF_UNIX;
  std::memcpy(addr->sun_path, path.c_str(), path.size() + 1);
  *len = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + path.size() + 1);
  return true;
}

} // namespace platform::rexxwire

namespace platform {

std::string RexxPortDir() {
  std::string dir;
  if (const char *env = std::getenv("MELODUNE_PORT_DIR"); env && *env) {
    dir = env;
  } else if (const char *run = std::getenv("XDG_RUNTIME_DIR"); run && *run) {
    dir = std::string(run) + "/melodune-ports";
  } else {
    dir = "/tmp/melodune-ports-" + std::to_string(geteuid());
  }
  while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
  if (mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) return {};
  return rexxwire::PortDirIsPrivate(dir) ? dir : std::string();
}

std::string RexxPortFileName(const std::string &portName) {
  // Port names are Latin-1 and may hold '/', so anything but a plain
  // character is written as %XX; a leading dot would hide the file.
  std::string out;
  for (size_t i = 0; i < portName.size(); ++i) {
    auto c = static_cast<unsigned char>(portName[i]);
    bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' ||
                 c == '-' || (c == '.' && i > 0);
    if (plain) {
      out += static_cast<char>(c);
    } else {
      char hex[4];
      std::snprintf(hex, sizeof hex, "%%%02X", c);
      out += hex;
    }
  }
  if (out.empty()) out = "%";
  // Socket paths are short; long names keep a prefix and a hash of the whole.
  constexpr size_t kMaxFileName = 48;
  if (out.size() > kMaxFileName) {
    uint64_t h = 1469598103934665603ull;
    for (unsigned char c : portName) h = (h ^ c) * 1099511628211ull;
    char tail[20];
    std::snprintf(tail, sizeof tail, "~%016llx", static_cast<unsigned long long>(h));
    out = out.substr(0, kMaxFileName - 17) + tail;
  }
  return out;
}

} // namespace platform
