// Command line splitting for command execution.
#include "dos/cmdline.h"

#include "dos/dos.h"

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
    ++i;
    for (;;) {
      if (i >= line.size())
        return ERROR_UNMATCHED_QUOTES;
      char c = line[i++];
      if (c == '"')
        break;
      if (c == '*') {
        if (i >= line.size())
          return ERROR_UNMATCHED_QUOTES;
        c = line[i++];
        if (c == 'n' || c == 'N')
          c = '\n';
        else if (c == 'e' || c == 'E')
          c = 0x1b;
      }
      // An escaped line break or escape character has no place in a
      // file name; refusing it keeps the name one printable line.
      if (c == '\n' || c == 0x1b)
        return ERROR_INVALID_COMPONENT_NAME;
      name += c;
    }
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
