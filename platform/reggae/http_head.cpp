#include "reggae/http_head.h"

#include <string_view>

#include "exec/text.h"
#include "reggae/reggae.h"

namespace reggae {

void HttpResponseHead::ResetHeaders() {
  headerStore.clear();
  headerBytes = 0;
  redirecting = false;
}

bool HttpResponseHead::OnHeaderLine(const char *data, size_t len) {
  if (len > kMaxHeaderLine || (headerBytes += len) > kMaxHeaderBytes + kMaxHeaderLine) {
    ownError = MMERR_BAD_RESPONSE;
    return false;
  }
  std::string_view line(data, len);
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
    line.remove_suffix(1);
  if (line.empty()) {
    // End of one response's headers. A redirect or an interim answer is
    // followed by another response; anything else is the one we keep.
    if (status >= 100 && status < 200)
      return true;
    if (status >= 300 && status < 400 && redirecting)
      return true;
    headersDone = true;
    return true;
  }
  if (line.size() >= 5 && (line.substr(0, 5) == "HTTP/" || line.substr(0, 4) == "ICY ")) {
    ResetHeaders();
    headerBytes = len;
    statusSeen = true;
    status = 0;
    size_t sp = line.find(' ');
    if (sp != std::string_view::npos) {
      for (size_t i = sp + 1; i < line.size() && i < sp + 4 && line[i] >= '0' && line[i] <= '9'; ++i)
        status = status * 10 + (line[i] - '0');
    }
    return true;
  }
  size_t colon = line.find(':');
  if (colon == std::string_view::npos || colon == 0)
    return true; // not a header; ignore it
  if (headerStore.size() / 2 >= kMaxHeaders) {
    ownError = MMERR_BAD_RESPONSE;
    return false;
  }
  std::string_view name = line.substr(0, colon), value = line.substr(colon + 1);
  while (!value.empty() && (value.front() == ' ' || value.front() == '\t'))
    value.remove_prefix(1);
  while (!value.empty() && (value.back() == ' ' || value.back() == '\t'))
    value.remove_suffix(1);
  if (name.size() == 8 && platform::EqualsNoCaseLatin1(name, "location"))
    redirecting = true;
  headerStore.push_back(platform::Utf8ToLatin1(name));
  headerStore.push_back(platform::Utf8ToLatin1(value));
  return true;
}

} // namespace reggae
