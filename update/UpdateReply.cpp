// The update service's reply: what it means, and making it fit to show.
// Pure text work, no I/O.
#include <cstring>
#include <string>

#include "Update.h"
#include "exec/text.h"

CONST_STRPTR UpdateResultText(LONG code) {
  switch (code) {
  case UPDATE_SAME_VERSION:
    return "Same version";
  case UPDATE_NEW_VERSION:
    return "New version";
  case UPDATE_APP_NOT_FOUND:
    return "App not found";
  case UPDATE_UNKNOWN_ERROR:
    return "Unknown error";
  case UPDATE_NO_MEMORY:
    return "Not enough memory";
  case UPDATE_NO_NETWORK:
    return "No network";
  case UPDATE_OPENLIBS_FAILED:
    return "OpenLibs failed";
  }
  return "Unsupported result";
}

LONG ClassifyUpdateReply(CONST_STRPTR reply, STRPTR version, CONST_STRPTR *notes) {
  version[0] = 0;
  *notes = "";
  if (!reply || !reply[0]) return UPDATE_SAME_VERSION;
  if (std::strcmp(reply, "ERR_NAME_NOT_FOUND") == 0) return UPDATE_APP_NOT_FOUND;
  if (std::strncmp(reply, "ERR_", 4) == 0) return UPDATE_UNKNOWN_ERROR;
  const char *lf = std::strchr(reply, '\n');
  size_t len = lf ? static_cast<size_t>(lf - reply) : std::strlen(reply);
  if (len > UPDATE_REQUEST_SIZE - 1) len = UPDATE_REQUEST_SIZE - 1;
  std::memcpy(version, reply, len);
  version[len] = 0;
  if (lf) *notes = lf + 1;
  return UPDATE_NEW_VERSION;
}

void CleanUpdateReply(STRPTR reply) {
  if (!reply) return;
  std::string text = reply;
  if (platform::LooksLikeUtf8(text)) text = platform::Utf8ToLatin1(text);
  size_t k = 0;
  for (unsigned char c : text) {
    // ESC and CSI would start text-engine or console codes; the rest of the
    // control bytes mean nothing in a requester.
    if ((c < 0x20 && c != '\n' && c != '\t') || c == 0x7F || (c >= 0x80 && c < 0xA0)) continue;
    reply[k++] = static_cast<char>(c);
  }
  reply[k] = 0;
}
