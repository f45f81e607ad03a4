#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "exec/exec.h"

namespace {
struct DebugLog {
  std::mutex lock;
  FILE *out = stderr;
  DebugLog() {
    if (const char *path = std::getenv("MELODUNE_DEBUG_LOG"))
      if (FILE *f = std::fopen(path, "a")) out = f;
  }
};
DebugLog &Log() {
  static DebugLog log;
  return log;
}
} // namespace

void KPutStr(CONST_STRPTR string) {
  if (!string) return;
  auto &log = Log();
  std::lock_guard g(log.lock);
  std::fwrite(string, 1, std::strlen(string), log.out);
  std::fflush(log.out);
}
