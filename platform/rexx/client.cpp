// The client end of the script-port socket protocol.

#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

#include "rexx/rexx.h"
#include "rexx/wire.h"

namespace platform {

bool SendRexxCommand(const std::string &portName, const std::string &command, bool wantResult, LONG *rc,
                     std::string *result, bool *hasResult) {
  using namespace rexxwire;
  LONG dummyRc = 0;
  if (!rc) rc = &dummyRc;
  if (result) result->clear();
  if (hasResult) *hasResult = false;
  std::string dir = RexxPortDir();
  sockaddr_un addr{};
  socklen_t len = 0;
  if (portName.empty() || dir.empty() || !SocketAddress(dir, portName, &addr, &len)) return false;

  int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  struct Closer {
    int fd;
    ~Closer() { close(fd); }
  } closer{fd};
  SetIoTimeouts(fd, kIoTimeoutMs);
  if (connect(fd, reinterpret_cast<const sockaddr *>(&addr), len) != 0) return false; // none, or a dead one
  if (!PeerIsUs(fd)) return false;

  *rc = RC_FATAL;
  if (command.size() > kMaxCommand) return true;
  uint32_t head[3] = {kRequestMagic, wantResult ? static_cast<uint32_t>(RXFF_RESULT) : 0u,
                      static_cast<uint32_t>(command.size())};
  if (!WriteFull(fd, head, sizeof head) || !WriteFull(fd, command.data(), command.size())) return true;

  // The host may take its time (a command can wait for a connection).
  SetIoTimeouts(fd, kAnswerTimeoutMs);
  uint32_t reply[4];
  if (!ReadFull(fd, reply, sizeof reply)) return true;
  if (!ReplyHeadOk(reply)) return true;
  std::string text(reply[3], '\0');
  if (reply[3] && !ReadFull(fd, text.data(), text.size())) return true;
  *rc = static_cast<LONG>(reply[1]);
  if (wantResult && reply[2]) {
    if (result) *result = std::move(text);
    if (hasResult) *hasResult = true;
  }
  return true;
}

} // namespace platform
