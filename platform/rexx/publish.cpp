// Publishing public exec ports as Unix sockets, and the server end of the
// socket protocol: each request becomes a RexxMsg put on the exec port.

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "rexx/rexx.h"
#include "rexx/wire.h"

namespace {

using namespace platform::rexxwire;

constexpr int kMaxConnections = 16; // at once, per port

// What connection threads share with the port's listener; it outlives the
// listener because connections may still wait for a reply.
struct PortLink {
  std::mutex lock;
  struct MsgPort *port = nullptr; // null once the port is being removed
  std::string name;
  std::atomic<int> connections{0};
};

class Listener {
public:
  Listener(std::shared_ptr<PortLink> link, int fd, std::string path, dev_t dev, ino_t ino)
      : link_(std::move(link)), fd_(fd), path_(std::move(path)), dev_(dev), ino_(ino) {
    stop_ = eventfd(0, EFD_CLOEXEC);
    thread_ = std::thread([this] { Run(); });
  }
  ~Listener() {
    {
      std::lock_guard g(link_->lock);
      link_->port = nullptr;
    }
    uint64_t one = 1;
    if (write(stop_, &one, sizeof one) < 0) { /* the thread also ends on close */
    }
    thread_.join();
    close(fd_);
    close(stop_);
  }
  const std::string &path() const { return path_; }
  dev_t dev() const { return dev_; }
  ino_t ino() const { return ino_; }

private:
  void Run();

  std::shared_ptr<PortLink> link_;
  int fd_;
  int stop_ = -1;
  std::string path_;
  dev_t dev_;
  ino_t ino_;
  std::thread thread_;
};

void Serve(std::shared_ptr<PortLink> link, int fd) {
  struct Closer {
    int fd;
    PortLink &link;
    ~Closer() {
      close(fd);
      link.connections.fetch_sub(1);
    }
  } closer{fd, *link};

  SetIoTimeouts(fd, kIoTimeoutMs);
  uint32_t head[3];
  if (!ReadFull(fd, head, sizeof head)) return;
  if (!RequestHeadOk(head, RXFF_RESULT)) return;
  std::string command(head[2], '\0');
  if (head[2] && !ReadFull(fd, command.data(), command.size())) return;
  bool wantResult = (head[1] & RXFF_RESULT) != 0;

  struct MsgPort *reply = CreateMsgPort();
  if (!reply) return;
  struct RexxMsg *msg = CreateRexxMsg(reply, nullptr, link->name.c_str());
  STRPTR arg = CreateArgstring(command.data(), static_cast<ULONG>(command.size()));
  if (!msg || !arg) {
    DeleteArgstring(arg);
    DeleteRexxMsg(msg);
    DeleteMsgPort(reply);
    return;
  }
  msg->rm_Action = static_cast<LONG>(RXCOMM | (wantResult ? static_cast<ULONG>(RXFF_RESULT) : 0u));
  ARG0(msg) = arg;

  // Under Forbid, like any sender: a port owner that drains its port and
  // removes it under Forbid never loses a message put here.
  bool sent = false;
  Forbid();
  {
    std::lock_guard g(link->lock);
    if (link->port) {
      PutMsg(link->port, &msg->rm_Node);
      sent = true;
    }
  }
  Permit();

  if (sent) {
    WaitPort(reply);
    GetMsg(reply);
    LONG rc = msg->rm_Result1;
    std::string result;
    uint32_t hasResult = 0;
    // Result2 is an argstring only with return code 0; otherwise it is an
    // error number.
    if (rc == 0 && msg->rm_Result2) {
      auto *text = reinterpret_cast<STRPTR>(msg->rm_Result2);
      if (wantResult) {
        result.assign(text, std::min<ULONG>(LengthArgstring(text), kMaxResult));
        hasResult = 1;
      }
      DeleteArgstring(text);
    }
    uint32_t out[4] = {kReplyMagic, static_cast<uint32_t>(rc), hasResult, static_cast<uint32_t>(result.size())};
    if (WriteFull(fd, out, sizeof out)) WriteFull(fd, result.data(), result.size());
  }
  DeleteArgstring(arg);
  DeleteRexxMsg(msg);
  DeleteMsgPort(reply);
}

void Listener::Run() {
  for (;;) {
    if (link_->connections.load() >= kMaxConnections) {
      // At the limit, callers wait in the listen queue until a connection
      // thread ends: a burst of scripts is answered late, never hung up on.
      // (A thread counts until it has closed its socket, a little after
      // its caller has the answer and may be calling again.)
      pollfd s{stop_, POLLIN, 0};
      if (poll(&s, 1, 5) > 0) return;
      continue;
    }
    pollfd p[2] = {{fd_, POLLIN, 0}, {stop_, POLLIN, 0}};
    if (poll(p, 2, -1) < 0) {
      if (errno == EINTR) continue;
      return;
    }
    if (p[1].revents) return;
    if (!(p[0].revents & POLLIN)) continue;
    int c = accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (c < 0) continue;
    if (!PeerIsUs(c)) {
      close(c);
      continue;
    }
    link_->connections.fetch_add(1);
    try {
      std::thread(Serve, link_, c).detach();
    } catch (...) {
      close(c);
      link_->connections.fetch_sub(1);
    }
  }
}

// Serialises binding and unlinking of sockets among all processes.
class DirLock {
public:
  explicit DirLock(const std::string &dir) {
    fd_ = open((dir + "/.lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd_ >= 0) flock(fd_, LOCK_EX);
  }
  ~DirLock() {
    if (fd_ >= 0) close(fd_); // releases the lock
  }
  bool ok() const { return fd_ >= 0; }

private:
  int fd_ = -1;
};

bool SomeoneListens(const sockaddr_un &addr, socklen_t len) {
  int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return true; // cannot tell: leave the socket alone
  bool live = connect(fd, reinterpret_cast<const sockaddr *>(&addr), len) == 0 || errno != ECONNREFUSED;
  close(fd);
  return live;
}

std::unique_ptr<Listener> Publish(struct MsgPort *port, const std::string &name) {
  std::string dir = platform::RexxPortDir();
  sockaddr_un addr{};
  socklen_t len = 0;
  if (dir.empty() || !SocketAddress(dir, name, &addr, &len)) return nullptr;
  DirLock lock(dir);
  if (!lock.ok()) return nullptr;

  int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return nullptr;
  if (bind(fd, reinterpret_cast<const sockaddr *>(&addr), len) != 0) {
    struct stat st{};
    // An older port of that name keeps its socket; a socket left by a
    // process that died is ours to replace.
    if (errno != EADDRINUSE || lstat(addr.sun_path, &st) != 0 || !S_ISSOCK(st.st_mode) ||
        st.st_uid != geteuid() || SomeoneListens(addr, len) || unlink(addr.sun_path) != 0 ||
        bind(fd, reinterpret_cast<const sockaddr *>(&addr), len) != 0) {
      close(fd);
      return nullptr;
    }
  }
  struct stat st{};
  if (chmod(addr.sun_path, 0600) != 0 || lstat(addr.sun_path, &st) != 0 || listen(fd, 16) != 0) {
    unlink(addr.sun_path);
    close(fd);
    return nullptr;
  }
  auto link = std::make_shared<PortLink>();
  link->port = port;
  link->name = name;
  return std::make_unique<Listener>(std::move(link), fd, addr.sun_path, st.st_dev, st.st_ino);
}

void Unpublish(std::unique_ptr<Listener> listener) {
  if (!listener) return;
  std::string path = listener->path();
  dev_t dev = listener->dev();
  ino_t ino = listener->ino();
  listener.reset();
  std::string dir = path.substr(0, path.rfind('/'));
  DirLock lock(dir);
  struct stat st{};
  // Only our own socket: another process may have replaced it meanwhile.
  if (lstat(path.c_str(), &st) == 0 && st.st_dev == dev && st.st_ino == ino) unlink(path.c_str());
}

struct Entry {
  struct MsgPort *port;
  std::string name;
  std::unique_ptr<Listener> listener;
};

struct Registry {
  std::mutex lock;
  std::vector<Entry> entries; // in the order the ports were added
};

Registry &Reg() {
  static auto *r = new Registry; // never destroyed: listener threads may outlive static destruction order
  return *r;
}

void PortAdded(struct MsgPort *port) {
  if (!port || !port->mp_Node.ln_Name || !*port->mp_Node.ln_Name) return;
  auto &r = Reg();
  std::lock_guard g(r.lock);
  std::string name = port->mp_Node.ln_Name;
  bool older = false;
  for (auto &e : r.entries) {
    if (e.port == port) return;
    if (e.name == name) older = true;
  }
  r.entries.push_back(Entry{port, name, nullptr});
  if (!older) r.entries.back().listener = Publish(port, name);
}

void PortRemoved(struct MsgPort *port) {
  auto &r = Reg();
  std::lock_guard g(r.lock);
  for (auto it = r.entries.begin(); it != r.entries.end(); ++it) {
    if (it->port != port) continue;
    bool held = it->listener != nullptr;
    std::string name = it->name;
    Unpublish(std::move(it->listener));
    r.entries.erase(it);
    if (held) {
      // The next port of that name in this process takes over.
      for (auto &e : r.entries) {
        if (e.name == name) {
          e.listener = Publish(e.port, e.name);
          break;
        }
      }
    }
    return;
  }
}

struct Install {
  Install() {
    platform::RegisterLibrary("rexxsyslib.library", 45, 1, "rexxsyslib 45.1");
    platform::SetPublicPortHooks(PortAdded, PortRemoved);
  }
} install;

} // namespace

namespace platform {

bool RexxPortPublished(struct MsgPort *port) {
  auto &r = Reg();
  std::lock_guard g(r.lock);
  for (auto &e : r.entries)
    if (e.port == port) return e.listener != nullptr;
  return false;
}

} // namespace platform
