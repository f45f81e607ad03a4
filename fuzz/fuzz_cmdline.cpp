// Fuzzes the command-line split of SystemTags: a line is one command or is
// refused, never a second command smuggled in behind a line break.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "dos/cmdline.h"
#include "dos/dos.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  std::string_view line(reinterpret_cast<const char *>(data), size);
  platform::ParsedCommand cmd;
  LONG err = platform::ParseCommandLine(line, cmd);
  if (err == ERROR_LINE_TOO_LONG || err == ERROR_UNMATCHED_QUOTES || err == ERROR_INVALID_COMPONENT_NAME)
    return 0;
  if (err != 0)
    std::abort();
  if (cmd.name.find('\n') != std::string::npos || cmd.name.size() > line.size())
    std::abort();
  const size_t nl = cmd.arguments.find('\n');
  if (!cmd.arguments.empty() && nl != cmd.arguments.size() - 1)
    std::abort(); // exactly one line break, at the end
  std::string_view base = platform::CommandBaseName(cmd.name);
  if (base.size() > cmd.name.size() || cmd.name.compare(cmd.name.size() - base.size(), base.size(), base) != 0)
    std::abort();
  return 0;
}
