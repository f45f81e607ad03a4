// Command line splitting for command execution.
#include "dos/cmdline.h"

#include "dos/dos.h"
#include "dos/quoted.h"

namespace platform {

LONG ParseCommandLine(std::string_view line, ParsedCommand &out) {
  out.name.clear();
  out.arguments.clear();
  if (!line.empty() && line.back() == '\n')
    line.remove_suffix(1);
  if (!line.empty() && line.back() == '\r')
    line.remove_suffix(1);
  if (line.size() > kMaxCommandLine)
    return ERROR_LINE_TOO_LONG;
  for (char c : line)
    if (c == '\n' || c == '\r' || c == '\0')
      return ERROR_LINE_TOO_LONG;

  size_t i = 0;
  while (i < line.size() && (line[i] == ' ' || line[i] == '\t'))
    ++i;
  if (i == line.size() || line[i] == ';')
    return 0;

  std::string name;
  if (line[i] == '"') {
    bool closed = dos::ReadQuoted(line, i, name);
    // A line break or escape character has no place in a file name;
    // refusing it keeps the name one printable line. It is found before the
    // end of the line, so it wins over a quote that is never closed.
    if (name.find_first_of("\n\x1b") != std::string::npos)
      return ERROR_INVALID_COMPONENT_NAME;
    if (!closed)
      return ERROR_UNMATCHED_QUOTES;
  } else {
    while (i < line.size() && line[i] != ' ' && line[i] != '\t')
      name += line[i++];
  }
  // The one blank after the name separates it; ReadArgs skips any others.
  if (i < line.size() && (line[i] == ' ' || line[i] == '\t'))
    ++i;
  out.name = std::move(name);
  out.arguments.assign(line.substr(i));
  out.arguments += '\n';
  return 0;
}

std::string_view CommandBaseName(std::string_view name) {
  size_t p = name.find_last_of(":/");
  return p == std::string_view::npos ? name : name.substr(p + 1);
}

} // namespace platform
