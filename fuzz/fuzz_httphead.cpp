// Fuzzes the response head parser of http.stream, fed line by line as
// libcurl does: the limits hold and the headers come in pairs.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "reggae/http_head.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  using reggae::HttpResponseHead;
  std::string_view in(reinterpret_cast<const char *>(data), size);
  HttpResponseHead head;
  size_t fed = 0;
  while (!in.empty()) {
    size_t nl = in.find('\n');
    size_t n = nl == std::string_view::npos ? in.size() : nl + 1;
    if (!head.OnHeaderLine(in.data(), n)) {
      if (head.ownError == 0)
        std::abort(); // a refusal always says why
      break;
    }
    fed += n;
    in.remove_prefix(n);
  }
  if (head.headerStore.size() % 2 != 0 || head.headerStore.size() / 2 > HttpResponseHead::kMaxHeaders)
    std::abort();
  if (head.status < 0 || head.status > 999)
    std::abort();
  size_t stored = 0;
  for (const auto &s : head.headerStore)
    stored += s.size();
  if (stored > fed)
    std::abort();
  return 0;
}
