// The player left running: the title-bar host with the built plug-in plays
// a station whose server hangs up after every 30 s of sound, while ten
// script clients keep asking the port MELODUNE for its state, station,
// title and list. The platform clock runs fast, so ten minutes of playing
// take well under a minute. Every half minute it prints the process's
// memory, open files and threads, the commands sent and answered, and the
// connects the server saw; at the end the growth over the run.
//
//   bench_soak [MINUTES [CLOCKRATE]]   (default 10 minutes at 20x)
//
// Exit status 1 when a command went unanswered or the station was not
// playing at the end; the figures themselves never fail it.
#include <dirent.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "dos/dos.h"
#include "exec/clock.h"
#include "exec/exec.h"
#include "host/host.h"
#include "host/test_display.h"
#include "mui/display.h"
#include "reggae/reggae.h"
#include "rexx/rexx.h"
#include "testkit/server.h"

namespace {

struct Figures {
  long rssKb = 0;
  long fds = 0;
  long threads = 0;
};

Figures Sample() {
  Figures f;
  std::ifstream status("/proc/self/status");
  std::string key;
  while (status >> key) {
    if (key == "VmRSS:") status >> f.rssKb;
    else if (key == "Threads:") status >> f.threads;
    else status.ignore(1 << 16, '\n');
  }
  if (DIR *d = opendir("/proc/self/fd")) {
    while (readdir(d)) ++f.fds;
    closedir(d);
    f.fds -= 3; // ".", ".." and the folder itself
  }
  return f;
}

} // namespace

int main(int argc, char **argv) {
  const double minutes = argc > 1 ? std::atof(argv[1]) : 10.0;
  const double rate = argc > 2 ? std::atof(argv[2]) : 20.0;
  const uint64_t runMs = static_cast<uint64_t>(minutes * 60000);

  char tmpl[] = "/tmp/melodune-soak-XXXXXX";
  if (!mkdtemp(tmpl)) return 2;
  const std::string root = tmpl;
  std::filesystem::copy(MELODUNE_SOURCE_DIR "/skeleton", root, std::filesystem::copy_options::recursive);
  const std::string ports = root + "/ports";
  std::filesystem::create_directory(ports);
  std::filesystem::permissions(ports, std::filesystem::perms::owner_all);
  setenv("MELODUNE_PORT_DIR", ports.c_str(), 1);
  if (!platform::SetDosRoot(root)) return 2;
  platform::SetAudioDevice("null");
  platform::SetClockRate(rate);

  // 128 kbit/s at the platform's pace; the server hangs up after 30 s of it.
  testkit::Server server;
  testkit::Response r;
  r.status = "ICY 200 OK";
  r.auto_headers = false;
  r.body = testkit::read_file(std::string(MELODUNE_FIXTURE_DIR) + "/tone440_128k.mp3");
  r.loops = 0;
  r.header("content-type", "audio/mpeg");
  r.metaint_header = "16000";
  r.metaint = 16000;
  r.titles = {{"SOAK - ONE", 0, {}}, {"SOAK - TWO", 200000, {}}};
  r.rate = static_cast<uint64_t>(16000 * rate);
  r.close_after = 30 * 16000;
  server.route("/soak", r);
  {
    std::ofstream f(root + "/SYS/Data/Screenbar/Melodune/Stations.txt");
    f << "1\nSoak/Dropping\nSoak.png\n" << server.url("/soak") << "\n#\n";
  }

  platform::TestDisplay display;
  platform::DisplayScope scope{&display};
  platform::ScreenbarHost host;
  if (!host.Load(std::string(MELODUNE_BIN_DIR) + "/Melodune.sbar") || !host.Start()) {
    std::fprintf(stderr, "soak: %s\n", host.Error().c_str());
    return 2;
  }

  // The clients start once the port is there: a command sent before the
  // plug-in has published it finds no port, which says nothing of the run.
  if (!host.RunUntil([] { return platform::SendRexxCommand("MELODUNE", "GET STATE", true, nullptr, nullptr); },
                     20000)) {
    std::fprintf(stderr, "soak: the port MELODUNE did not come up\n");
    return 2;
  }

  std::atomic<bool> running{true};
  std::atomic<uint64_t> sent{0}, answered{0}, refused{0};
  std::vector<std::thread> clients;
  const char *commands[] = {"GET STATE", "GET STATION", "GET TITLE", "GET STATIONLIST", "HELP"};
  for (int c = 0; c < 10; ++c) {
    clients.emplace_back([&, c] {
      size_t i = static_cast<size_t>(c);
      while (running) {
        // The first client keeps asking for the station; it plays already
        // most of the time, and PLAY then only answers.
        std::string command = (c == 0 && i % 20 == 0) ? "PLAY 0" : commands[i % 5];
        ++i;
        LONG rc = -1;
        std::string result;
        ++sent;
        const bool reached = platform::SendRexxCommand("MELODUNE", command, true, &rc, &result);
        if (reached && rc != RC_FATAL) {
          ++answered;
        } else {
          ++refused;
          std::fprintf(stderr, "soak: \"%s\" %s\n", command.c_str(), reached ? "got no answer" : "found no port");
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
      }
    });
  }
  std::atomic<bool> waking{true};
  std::thread waker([&] {
    while (waking) {
      platform::WakeApplication(host.Application());
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
  });

  const auto realStart = std::chrono::steady_clock::now();
  std::printf("%8s %9s %5s %8s %9s %9s %8s\n", "minutes", "rss KB", "fds", "threads", "commands", "answered",
              "connects");
  Figures first{}, last{};
  for (uint64_t t = 0; t < runMs;) {
    const uint64_t step = std::min<uint64_t>(30000, runMs - t);
    host.RunFor(step);
    t += step;
    last = Sample();
    if (t == std::min<uint64_t>(60000, runMs)) first = last; // after a minute of warming up
    std::printf("%8.1f %9ld %5ld %8ld %9llu %9llu %8zu\n", t / 60000.0, last.rssKb, last.fds, last.threads,
                static_cast<unsigned long long>(sent.load()), static_cast<unsigned long long>(answered.load()),
                server.request_count("/soak"));
    std::fflush(stdout);
  }
  // Playing at the end: after the last drop the station came back.
  bool playing = false;
  host.RunUntil(
      [&] {
        LONG rc = -1;
        std::string state;
        playing = platform::SendRexxCommand("MELODUNE", "GET STATE", true, &rc, &state) && state == "Playing";
        return playing;
      },
      20000);

  running = false;
  for (auto &t : clients) t.join();
  const double realS = std::chrono::duration<double>(std::chrono::steady_clock::now() - realStart).count();
  waking = false;
  waker.join();

  std::printf("soak: %.1f platform minutes in %.1f s; %llu commands, %llu answered, %llu unanswered; %zu connects\n",
              minutes, realS, static_cast<unsigned long long>(sent.load()),
              static_cast<unsigned long long>(answered.load()), static_cast<unsigned long long>(refused.load()),
              server.request_count("/soak"));
  std::printf("soak: growth after the first minute: rss %+ld KB, fds %+ld, threads %+ld; playing at the end: %s\n",
              last.rssKb - first.rssKb, last.fds - first.fds, last.threads - first.threads, playing ? "yes" : "no");

  host.Shutdown();
  server.stop();
  std::error_code ec;
  std::filesystem::remove_all(root, ec);
  return refused.load() == 0 && playing ? 0 : 1;
}
