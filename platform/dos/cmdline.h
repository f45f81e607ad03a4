// Splitting an AmigaDOS command line into the command and its argument text.
// Pure: no I/O, no state, safe on any input.
#pragma once

#include <string>
#include <string_view>

#include "exec/types.h"

namespace platform {

// Longest command line accepted (without its final line break).
constexpr size_t kMaxCommandLine = 8192;

struct ParsedCommand {
  std::string name;      // the command as written, quotes removed: "c:Clip", "Sys:C/Copy"
  std::string arguments; // the rest of the line for ReadArgs, ending in "\n"
};

// Splits one command line. Leading blanks are skipped; the name is the first
// word, or a quoted string; the arguments are everything after the blank that
// ends it. One trailing "\n" (or "\r\n") is allowed; any other line break
// would smuggle in a second command and fails.
// Returns 0 (an empty line or a ';' comment gives an empty name and empty
// arguments; a quoted empty name has arguments),
// ERROR_LINE_TOO_LONG (too long, or a line break inside), ERROR_UNMATCHED_QUOTES,
// or ERROR_INVALID_COMPONENT_NAME (a quoted name holding an escaped *N or *E).
LONG ParseCommandLine(std::string_view line, ParsedCommand &out);

// The file part of a command name: "Sys:C/Copy" -> "Copy", "c:Clip" -> "Clip".
std::string_view CommandBaseName(std::string_view name);

} // namespace platform
