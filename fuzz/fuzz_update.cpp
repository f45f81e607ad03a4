// Fuzzes what comes from outside in the update check and the downloader's
// console: the service's reply (cleaned, then classified) and CON: names
// with console output.
// Input: byte 0 picks the target, the rest is the text.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "dos/console.h"
#include "update/Update.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size < 1) return 0;
  const std::string text(reinterpret_cast<const char *>(data + 1), size - 1);
  if (data[0] & 1) {
    std::string reply = text.c_str(); // the reply is taken up to its first NUL
    CleanUpdateReply(reply.data());
    char version[UPDATE_REQUEST_SIZE];
    CONST_STRPTR notes = nullptr;
    const LONG r = ClassifyUpdateReply(reply.c_str(), version, &notes);
    if (r == UPDATE_NEW_VERSION && (std::strlen(version) > UPDATE_REQUEST_SIZE - 1 || !notes)) __builtin_trap();
  } else {
    platform::ConsoleOptions opts;
    platform::ParseConsoleName(text, opts);
    const std::string plain = platform::PlainConsoleText(text);
    for (unsigned char c : plain)
      if (c == 0x1B || c == 0x9B) __builtin_trap();
  }
  return 0;
}
