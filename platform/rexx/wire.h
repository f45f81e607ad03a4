// The script-port socket protocol (private to this module).
//
// One request per connection, all numbers in host byte order (both ends are
// on the same machine):
//   request: u32 kRequestMagic, u32 flags (RXFF_RESULT), u32 length, command bytes
//   reply:   u32 kReplyMagic, i32 result1, u32 hasResult, u32 length, result bytes
// Anything else, or longer than the limits, is refused by closing the
// connection.
#pragma once

#include <sys/un.h>

#include <cstddef>
#include <cstdint>
#include <string>

namespace platform::rexxwire {

constexpr uint32_t kRequestMagic = 0x4d525851; // "MRXQ"
constexpr uint32_t kReplyMagic = 0x4d525841;   // "MRXA"
constexpr uint32_t kMaxCommand = 64 * 1024;
constexpr uint32_t kMaxResult = 1024 * 1024;

// Platform milliseconds a peer may take to send its request or to read the
// reply; and how long a client waits for a port to answer.
constexpr uint64_t kIoTimeoutMs = 5000;
constexpr uint64_t kAnswerTimeoutMs = 120000;

// The fixed part of a request (magic, flags, length) and of a reply (magic,
// result1, hasResult, length), checked before anything more is read: the
// right magic, no unknown flag, lengths within the limits, and a result text
// only with hasResult.
constexpr bool RequestHeadOk(const uint32_t head[3], uint32_t knownFlags) {
  return head[0] == kRequestMagic && (head[1] & ~knownFlags) == 0 && head[2] <= kMaxCommand;
}
constexpr bool ReplyHeadOk(const uint32_t reply[4]) {
  return reply[0] == kReplyMagic && reply[2] <= 1 && reply[3] <= kMaxResult && (reply[2] || !reply[3]);
}

// Sets SO_RCVTIMEO/SO_SNDTIMEO on the platform clock.
void SetIoTimeouts(int fd, uint64_t platformMs);
// Whole reads and writes; false on error, time-out or end of stream.
bool ReadFull(int fd, void *buf, size_t n);
bool WriteFull(int fd, const void *buf, size_t n);

// True when the peer of a connected socket runs as our user.
bool PeerIsUs(int fd);

// The folder checks of RexxPortDir: a directory of ours, not a symbolic link,
// no access for group or others.
bool PortDirIsPrivate(const std::string &dir);

// The socket address of a port; false when the name does not fit.
bool SocketAddress(const std::string &dir, const std::string &portName, sockaddr_un *addr, socklen_t *len);

} // namespace platform::rexxwire
