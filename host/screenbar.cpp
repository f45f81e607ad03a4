// screenbar: the title-bar host program. Loads a plug-in, shows one bar per
// screen, runs the GUI task on the main thread, and on SIGINT or SIGTERM
// takes everything down in order and exits 0 when nothing is left running.
#include <pthread.h>
#include <signal.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "dos/dos.h"
#include "dos/system.h"
#include "exec/clock.h"
#include "host/host.h"
#include "host/root.h"
#include "host/screenbar_options.h"
#include "mui/display.h"
#include "reggae/reggae.h"
#include "web_frontend.h"

namespace {

// Signals are taken by one thread with sigwait, never by a handler: a stop
// request is then an ordinary thread-safe call.
class SignalWatcher {
public:
  // onStop runs first: it lets go of whatever waits for a person.
  SignalWatcher(platform::ScreenbarHost &host, std::function<void()> onStop) : host_(host), onStop_(std::move(onStop)) {
    thread_ = std::thread([this] { Watch(); });
  }
  ~SignalWatcher() {
    pthread_kill(thread_.native_handle(), SIGUSR1);
    thread_.join();
  }
  static void BlockSignals() {
    sigset_t set = Set();
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
  }

private:
  static sigset_t Set() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGUSR1); // ours: the watcher's end
    return set;
  }
  void Watch() {
    sigset_t set = Set();
    int stops = 0;
    for (;;) {
      int sig = 0;
      if (sigwait(&set, &sig) != 0) continue;
      if (sig == SIGUSR1) return;
      if (++stops == 1) {
        std::fprintf(stderr, "screenbar: %s, shutting down\n", sig == SIGINT ? "interrupted" : "terminated");
        if (onStop_) onStop_();
        host_.Stop();
      } else {
        std::fprintf(stderr, "screenbar: forced exit\n");
        std::_Exit(1);
      }
    }
  }
  platform::ScreenbarHost &host_;
  std::function<void()> onStop_;
  std::thread thread_;
};

// Links clicked in a window go to the desktop's opener, asynchronously.
void OpenLink(const std::string &uri) {
  if (uri.empty() || uri.size() > 2048) return;
  for (char c : uri)
    if (static_cast<unsigned char>(c) < 0x20) return; // one command line, nothing more
  std::string line = "Open " + uri;
  SystemTags(line.c_str(), SYS_Input, 0, SYS_Output, 0, SYS_Asynch, TRUE);
}

} // namespace

int main(int argc, char **argv) {
  // Before any thread exists, so that every thread inherits the mask.
  SignalWatcher::BlockSignals();

  std::vector<std::string> args(argv + 1, argv + argc);
  platform::ScreenbarOptions opt;
  std::string error;
  if (!platform::ParseScreenbarOptions(args, opt, error)) {
    std::fprintf(stderr, "screenbar: %s\n%s", error.c_str(), platform::ScreenbarUsage());
    return 2;
  }
  if (opt.help) {
    std::fputs(platform::ScreenbarUsage(), stdout);
    return 0;
  }

  platform::SetClockRate(opt.clockRate);
  if (!opt.audio.empty()) platform::SetAudioDevice(opt.audio);

  std::string exeDir = platform::ExecutableDir();
  std::string root = opt.root.empty() ? platform::DefaultRootDir() : opt.root;
  if (root.empty()) {
    std::fprintf(stderr, "screenbar: no home folder for the default root; give --root DIR\n");
    return 1;
  }
  std::string skeleton = platform::FindSkeleton(exeDir, MELODUNE_SOURCE_SKELETON);
  if (skeleton.empty())
    std::fprintf(stderr, "screenbar: no root skeleton found; the root is not filled\n");
  if (!platform::PrepareRoot(root, skeleton, &error) || !platform::SetDosRoot(root)) {
    std::fprintf(stderr, "screenbar: root %s: %s\n", root.c_str(), error.empty() ? "cannot be used" : error.c_str());
    return 1;
  }

  std::string plugin = opt.plugin.empty() ? (std::filesystem::path(exeDir) / "Melodune.sbar").string() : opt.plugin;
  platform::ScreenbarHost host;
  if (!host.Load(plugin)) {
    std::fprintf(stderr, "screenbar: %s\n", host.Error().c_str());
    return 1;
  }
  platform::ScreenbarHostOptions hostOptions;
  hostOptions.screens = opt.screens;
  if (!host.Start(hostOptions)) {
    std::fprintf(stderr, "screenbar: %s\n", host.Error().c_str());
    host.Shutdown();
    return 1;
  }
  platform::SetLinkOpener(OpenLink);

  std::unique_ptr<Frontend> frontend;
  if (opt.web) {
    std::string why;
    frontend = StartWebFrontend(host, opt.webAddress, opt.webPort, why);
    if (frontend)
      platform::SetDisplay(frontend->GetDisplay());
    else
      std::fprintf(stderr, "screenbar: --web: %s; running headless\n", why.c_str());
  }

  bool clean;
  {
    // A requester or menu still open in the browser is answered as headless.
    SignalWatcher signals(host, [&frontend] {
      if (frontend) frontend->Stop();
    });
    std::string credit = host.Credit();
    std::printf("screenbar: %s on %d screen%s, root %s%s%s\n", host.PluginName().c_str(), opt.screens,
                opt.screens == 1 ? "" : "s", root.c_str(), credit.empty() ? "" : ": ", credit.c_str());
    std::fflush(stdout);

    host.Run();

    if (frontend) frontend->Stop();
    platform::SetDisplay(nullptr);
    platform::SetLinkOpener(nullptr);
    clean = host.Shutdown();
  }
  if (!clean) {
    std::fprintf(stderr, "screenbar: not everything ended: %s\n", host.Error().c_str());
    return 1;
  }
  return 0;
}
