// testkit-update: the update service as a program, for people.
//
//   testkit-update --latest Melodune_sbar=3.6 --notes "Faster start." [--port N]
//   testkit-update --reply "ERR_DATABASE"        (every request gets this body)
//
// prints the value for MELODUNE_UPDATE_HOST and serves until SIGINT/SIGTERM.
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "testkit/update_service.h"

namespace {
volatile std::sig_atomic_t stop = 0;
void on_signal(int) { stop = 1; }
}  // namespace

int main(int argc, char** argv) {
  testkit::ServerOptions options;
  std::string latest, notes, reply;
  bool have_reply = false;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (i + 1 >= argc) {
      std::fprintf(stderr, "usage: testkit-update [--port N] [--latest NAME=VERSION] [--notes TEXT] [--reply BODY]\n");
      return 2;
    }
    std::string v = argv[++i];
    if (a == "--port") options.port = static_cast<uint16_t>(std::strtoul(v.c_str(), nullptr, 10));
    else if (a == "--latest") latest = v;
    else if (a == "--notes") notes = v;
    else if (a == "--reply") reply = v, have_reply = true;
    else {
      std::fprintf(stderr, "testkit-update: unknown option %s\n", a.c_str());
      return 2;
    }
  }
  testkit::UpdateService service(options);
  if (auto eq = latest.find('='); eq != std::string::npos)
    service.set_latest(latest.substr(0, eq), latest.substr(eq + 1), notes);
  if (have_reply) service.set_override(testkit::Response::text(reply));
  std::printf("MELODUNE_UPDATE_HOST=%s\n", service.host().c_str());
  std::fflush(stdout);
  std::signal(SIGINT, on_signal);
  std::signal(SIGTERM, on_signal);
  while (!stop) std::this_thread::sleep_for(std::chrono::milliseconds(100));
  return 0;
}
