// Fuzzes the browser view's request parsing: the head within its limits,
// the form fields of the input, query parameters, percent-decoding and the
// access check, on anything a page (or anyone else on loopback) could send.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "host/web_http.h"

using namespace platform::web;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  std::string_view in(reinterpret_cast<const char *>(data), size);
  HttpLimits limits;
  limits.maxHead = 2048;
  limits.maxBody = 4096;
  HttpRequest req;
  size_t headLength = 0, bodyLength = 0;
  ParseStatus st = ParseRequestHead(in, limits, req, headLength, bodyLength);
  if (st == ParseStatus::Complete) {
    if (headLength > in.size() || headLength > limits.maxHead || bodyLength > limits.maxBody)
      std::abort();
    std::string_view body = in.substr(headLength);
    for (const auto &[key, value] : ParseForm(body))
      if (key.size() > body.size() || value.size() > body.size())
        std::abort();
    (void)req.Param("t");
    (void)req.Header("host");
    (void)CheckAccess(req, {"127.0.0.1:8080", "localhost:8080"}, "0123456789abcdef0123456789abcdef");
  }
  if (PercentDecode(in, true).size() > in.size())
    std::abort();
  std::string address, why;
  int port = 0;
  if (ParseListenAddress(std::string(in.substr(0, 64)), address, port, why) &&
      (port < 0 || port > 65535 || !IsLoopbackAddress(address)))
    std::abort();
  return 0;
}
