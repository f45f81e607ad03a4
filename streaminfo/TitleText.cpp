// Texts around a title: the title part of a history entry, a title as one
// command argument, the video site's host. Pure: no state but the
// environment variable.
#include "streaminfo/TitleText.h"

#include <cstdlib>
#include <cstring>

namespace {

const char DefaultVideoSite[] = "www.youtube.com";

} // namespace

CONST_STRPTR TitlePartOf(CONST_STRPTR entry) {
  if (!entry) return nullptr;
  CONST_STRPTR sep = std::strstr(entry, ": ");
  return sep ? sep + 2 : entry;
}

std::string QuotedArgument(const std::string &text) {
  std::string quoted = "\"";
  for (char c : text) {
    if (c == '*')
      quoted += "**";
    else if (c == '"')
      quoted += "*\"";
    else if (c == '\n')
      quoted += "*N";
    else
      quoted += c;
  }
  return quoted + "\"";
}

std::string VideoSiteHost() {
  const char *env = std::getenv("MELODUNE_VIDEO_SITE");
  if (!env || !*env) return DefaultVideoSite;
  for (const char *p = env; *p; ++p) {
    const char c = *p;
    const bool ok =
        (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' || c == '-' || c == ':';
    if (!ok) return DefaultVideoSite;
  }
  return env;
}
