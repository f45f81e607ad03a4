// The head of an HTTP (or ICY) response as libcurl hands it over, one line
// at a time: the status code, and the header pairs of the response that
// counts (interim answers and redirects are followed by another one).
// Bounded: a line, the whole head and the number of headers have limits.
// No I/O here: http.stream feeds curl's lines in, tests and the fuzzer do
// the same.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "exec/types.h"

namespace reggae {

struct HttpResponseHead {
  static constexpr size_t kMaxHeaderLine = 8192;
  static constexpr size_t kMaxHeaderBytes = 64 * 1024;
  static constexpr size_t kMaxHeaders = 128;

  long status = 0;         // status code of the current response
  bool statusSeen = false; // a status line arrived
  bool headersDone = false;
  std::vector<std::string> headerStore; // Latin-1 name, value, name, value ...
  size_t headerBytes = 0;
  bool redirecting = false;
  LONG ownError = 0; // MMERR_*: why a line was refused (and the transfer stopped)

  void ResetHeaders();
  // One line, its CR LF included. False when the response must be given up
  // (ownError tells why).
  bool OnHeaderLine(const char *data, size_t len);
};

} // namespace reggae
