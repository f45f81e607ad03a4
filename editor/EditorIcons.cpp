// Icon names and the shell commands that create, move and trash icon files.
// A station file is data from anywhere: its icon names must never lead a
// command outside the icon drawer.
#include <string>

#include "dos/system.h"
#include "editor/Editor.h"

bool IconNameIsSafe(const std::string &relative) {
  if (relative.empty()) return false;
  // A device or volume name, and anything the command line cannot carry.
  for (unsigned char c : relative)
    if (c == ':' || c < 0x20 || c == 0x7F || c == 0x9B) return false;
  // Every component must name something inside: an empty one goes to the
  // parent in AmigaDOS ("/x", "a//b"), "." and ".." are no names here. One
  // trailing "/" (a drawer) is fine.
  std::string path = relative.back() == '/' ? relative.substr(0, relative.size() - 1) : relative;
  size_t start = 0;
  for (;;) {
    size_t slash = path.find('/', start);
    std::string part = path.substr(start, slash == std::string::npos ? std::string::npos : slash - start);
    if (part.empty() || part == "." || part == "..") return false;
    if (slash == std::string::npos) break;
    start = slash + 1;
  }
  return true;
}

std::string IconArg(const std::string &relative) {
  std::string arg = "\"" STATION_ICON_DIR;
  for (char c : relative) {
    if (c == '"' || c == '*') arg += '*';
    arg += c;
  }
  return arg + "\"";
}

LONG RunIconCommand(const std::string &line) {
  LONG rc = SystemTags(line.c_str(), SYS_Input, 0, SYS_Output, 0, TAG_DONE);
  DTRACE("RunIconCommand", "'%s' = %ld\n", line.c_str(), rc);
  return rc;
}

std::string IconDrawerPart(const std::string &icon) {
  size_t slash = icon.rfind('/');
  return slash == std::string::npos ? std::string() : icon.substr(0, slash);
}
