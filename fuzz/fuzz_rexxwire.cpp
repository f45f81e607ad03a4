// Fuzzes the script-port wire format as both ends read it: a byte stream is
// taken as a request (checked head, then the command, which becomes the
// message's argstring) and as a reply (checked head, then the result). What
// passes the checks is read whole and comes back unchanged.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "rexx/rexx.h"
#include "rexx/wire.h"

using namespace platform::rexxwire;

namespace {

bool Take(std::string_view &in, void *out, size_t n) {
  if (in.size() < n)
    return false;
  std::memcpy(out, in.data(), n);
  in.remove_prefix(n);
  return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  const std::string_view all(reinterpret_cast<const char *>(data), size);

  // The port's side.
  std::string_view in = all;
  uint32_t head[3];
  if (Take(in, head, sizeof head) && RequestHeadOk(head, RXFF_RESULT)) {
    if (head[2] > kMaxCommand || (head[1] & ~static_cast<uint32_t>(RXFF_RESULT)))
      std::abort();
    if (in.size() >= head[2]) {
      STRPTR arg = CreateArgstring(in.data(), head[2]);
      if (!arg || LengthArgstring(arg) != head[2] || std::memcmp(arg, in.data(), head[2]) != 0 || arg[head[2]] != 0)
        std::abort();
      DeleteArgstring(arg);
    }
  }

  // The client's side.
  in = all;
  uint32_t reply[4];
  if (Take(in, reply, sizeof reply) && ReplyHeadOk(reply)) {
    if (reply[2] > 1 || reply[3] > kMaxResult || (!reply[2] && reply[3]))
      std::abort();
    std::string text(reply[3], '\0');
    if (Take(in, text.data(), text.size()) && text.compare(0, std::string::npos, all.data() + 16, reply[3]) != 0)
      std::abort();
  }
  return 0;
}
