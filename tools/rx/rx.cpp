// rx SCRIPT|PROGRAM [ARGUMENTS]
//
// Runs a REXX script file, or, when the first argument is not an existing
// file, the text itself as a program. Host commands go to the script port
// named by ADDRESS.

#include <sys/stat.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "bridge.h"
#include "rexx/rexx.h"

namespace {

rx::HostReply SendToPort(const std::string &host, const std::string &command, bool wantResult) {
  rx::HostReply reply;
  LONG rc = 0;
  reply.found = platform::SendRexxCommand(host, command, wantResult, &rc, &reply.result, &reply.hasResult);
  reply.rc = rc;
  return reply;
}

bool IsFile(const std::string &path) {
  struct stat st{};
  return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

} // namespace

int main(int argc, char **argv) {
  if (argc < 2) {
    std::fprintf(stderr, "Usage: rx SCRIPT|PROGRAM [ARGUMENTS]\n");
    return RC_ERROR;
  }
  std::string first = argv[1];
  std::string arguments;
  for (int i = 2; i < argc; ++i) {
    if (i > 2) arguments += ' ';
    arguments += argv[i];
  }
  std::string source, name;
  if (IsFile(first)) {
    std::ifstream in(first, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    if (!in) {
      std::fprintf(stderr, "rx: cannot read %s\n", first.c_str());
      return RC_ERROR;
    }
    source = text.str();
    name = first;
  } else {
    source = first;
    name = "rx";
  }
  return rx::RunRexx(name, source, arguments, SendToPort);
}
