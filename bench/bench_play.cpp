// The player's cost, in one run on loopback streams from the testkit server
// (128 kbit/s ICY, looped for ever):
//
//  1. CPU while playing: the title-bar host with the built plug-in playing
//     into the null device (started by `rx PLAY 0`), the bare play chain
//     (this program again, with --chain), `mpg123 -q -t` and
//     `mpv --no-video --ao=null`, all on the same stream at the same time.
//     After a warm-up, each one's CPU time (the kernel's clock of the whole
//     process, all threads, also those that ended) is taken over the same
//     window, so the ratios hold on a noisy machine. Peak RSS of each.
//  2. Idle host: a host that plays nothing, CPU over a window without and
//     then with a page connected to its browser view (an event stream held
//     open, as a page does).
//  3. Station switch: that host with the wav: output; `rx PLAY n` switches
//     between two stations; the time from starting rx until the output
//     writes the new station's first PCM (seen through inotify on the file),
//     median of the switches.
//
//   bench_play [SECONDS]   (default 30: a 5 s warm-up, 30 s window, 20
//                           switches; below 30 a short run with 1 s warm-up
//                           and 4 switches, for CI)
//
// A peer that is not installed prints "skipped"; the figures never fail the
// run, a host that does not start or play does.
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/inotify.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <arpa/inet.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "exec/exec.h"
#include "reggae/reggae.h"
#include "rexx/rexx.h"
#include "testkit/server.h"

extern char **environ;
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

int RunChain(const char *url) {
  platform::SetAudioDevice("null");
  LONG err = 0, resp = 0;
  CONST_STRPTR extra[] = {"Icy-MetaData", "1", nullptr};
  Object *http = NewObject(nullptr, "http.stream", MMA_StreamURL, url, MMA_ObjectName, "Melodune HttpStream",
                           MMA_Http_UserAgent, "Melodune.sbar 3.3", MMA_Http_RequestHeaders, extra, MMA_ErrorCode,
                           &err, MMA_Http_ResponseCode, &resp);
  if (!http) {
    std::fprintf(stderr, "chain: %s (%d)\n", MediaFault(err), resp);
    return 1;
  }
  Object *buf = NewObject(nullptr, "stream.buffer", MMA_ObjectName, "Melodune Play StreamBuffer", MMA_OwnTask, 1);
  MediaConnect(http, 0, buf, 0);
  Object *up = buf, *sc = nullptr;
  if (auto mi = reinterpret_cast<CONST_STRPTR>(DoMethod(http, MMM_Http_GetHeader, "icy-metaint")); mi && atol(mi) > 0) {
    sc = NewObject(nullptr, "shoutcast.demuxer", MMA_Shoutcast_MetaInterval, atol(mi));
    MediaConnect(buf, 1, sc, 0);
    up = sc;
  }
  Object *dx = NewObject(nullptr, "mpegaudio.demuxer");
  Object *dec = NewObject(nullptr, "mpegaudio.decoder");
  Object *out = NewObject(nullptr, "audio.output", MMA_ObjectName, "Melodune AudioOutput");
  MediaConnect(up, 1, dx, 0);
  MediaConnect(dx, 1, dec, 0);
  MediaConnect(dec, 1, out, 0);
  BYTE sig = AllocSignal(-1);
  DoMethod(out, MMM_SignalAtEnd, FindTask(nullptr), sig);
  DoMethod(out, MMM_Play);
  Wait(1u << sig);
  DoMethod(out, MMM_Stop);
  for (Object *o : {out, dec, dx, sc, buf, http})
    DisposeObject(o);
  return 0;
}

struct Child {
  pid_t pid = -1;
  std::string out; // file that holds its standard output and error
};

// Standard output (and, unless errFile is given, standard error) to outFile.
Child Spawn(std::vector<std::string> args, const std::string &outFile = "/dev/null", const char *errFile = nullptr) {
  std::vector<char *> argv;
  for (auto &a : args)
    argv.push_back(a.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t fa;
  posix_spawn_file_actions_init(&fa);
  posix_spawn_file_actions_addopen(&fa, 1, outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  if (errFile)
    posix_spawn_file_actions_addopen(&fa, 2, errFile, O_WRONLY, 0);
  else
    posix_spawn_file_actions_adddup2(&fa, 1, 2);
  Child c;
  c.out = outFile;
  if (posix_spawnp(&c.pid, argv[0], &fa, nullptr, argv.data(), environ) != 0)
    c.pid = -1;
  posix_spawn_file_actions_destroy(&fa);
  return c;
}

bool Alive(pid_t pid) {
  if (pid <= 0)
    return false;
  siginfo_t info{};
  return waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0 && info.si_pid == 0;
}

// CPU seconds of the whole process so far (all threads, ended ones too).
double CpuSeconds(pid_t pid) {
  clockid_t cid;
  timespec ts{};
  if (pid <= 0 || clock_getcpuclockid(pid, &cid) != 0 || clock_gettime(cid, &ts) != 0)
    return -1;
  return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
}

long StatusKb(pid_t pid, const char *key) {
  std::ifstream f("/proc/" + std::to_string(pid) + "/status");
  std::string k;
  long v = -1;
  while (f >> k) {
    if (k == key) {
      f >> v;
      break;
    }
    f.ignore(1 << 16, '\n');
  }
  return v;
}

int Reap(pid_t pid, int sig = SIGTERM) {
  if (pid <= 0)
    return -1;
  kill(pid, sig);
  int st = 0;
  for (int i = 0; i < 100; ++i) { // 10 s, then the hard way
    if (waitpid(pid, &st, WNOHANG) == pid)
      return st;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  kill(pid, SIGKILL);
  waitpid(pid, &st, 0);
  return st;
}

std::string ReadAll(const std::string &path) {
  std::ifstream f(path);
  return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}

template <typename F> bool Until(F pred, int ms) {
  const auto end = Clock::now() + std::chrono::milliseconds(ms);
  while (Clock::now() < end) {
    if (pred())
      return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return pred();
}

void Sleep(double s) { std::this_thread::sleep_for(std::chrono::duration<double>(s)); }

// A host in its own root, with the two stations.
struct Host {
  std::string dir, root;
  Child child;
  std::string pageUrl; // with --web

  bool Start(const std::string &self, const std::string &base, const std::vector<std::string> &stations,
             const std::vector<std::string> &extra) {
    dir = base;
    root = dir + "/root";
    fs::create_directories(root + "/SYS/Data/Screenbar/Melodune");
    {
      std::ofstream f(root + "/SYS/Data/Screenbar/Melodune/Stations.txt");
      f << stations.size() << "\n";
      for (size_t i = 0; i < stations.size(); ++i)
        f << "Bench/Station " << i << "\n\n" << stations[i] << "\n#\n";
    }
    std::vector<std::string> args{fs::path(self).parent_path() / "screenbar", "--root", root};
    args.insert(args.end(), extra.begin(), extra.end());
    child = Spawn(args, dir + "/screenbar.log");
    const std::string sock =
        std::string(std::getenv("MELODUNE_PORT_DIR")) + "/" + platform::RexxPortFileName("MELODUNE");
    if (!Until([&] { return fs::exists(sock) || !Alive(child.pid); }, 20000) || !Alive(child.pid))
      return false;
    if (std::find(extra.begin(), extra.end(), "--web") != extra.end()) {
      const std::string marker = "open ";
      if (!Until([&] { return ReadAll(child.out).find(" in a browser") != std::string::npos; }, 10000))
        return false;
      std::string log = ReadAll(child.out);
      size_t a = log.find(marker), b = log.find(" in a browser");
      pageUrl = log.substr(a + marker.size(), b - a - marker.size());
    }
    return true;
  }
};

// `rx` with one command; its exit status.
int Rx(const std::string &rx, const std::string &script, const std::string &command) {
  Child c = Spawn({rx, script, command});
  int st = 0;
  if (c.pid > 0)
    waitpid(c.pid, &st, 0);
  return c.pid > 0 && WIFEXITED(st) ? WEXITSTATUS(st) : -1;
}

std::string RxAnswer(const std::string &rx, const std::string &script, const std::string &command,
                     const std::string &tmp) {
  // Only the answer: a sanitizer build's report on standard error is no part of it.
  Child c = Spawn({rx, script, command}, tmp, "/dev/null");
  int st = 0;
  if (c.pid > 0)
    waitpid(c.pid, &st, 0);
  std::string out = ReadAll(tmp);
  size_t nl = out.find('\n');
  return nl == std::string::npos ? "" : out.substr(nl + 1);
}

// A page's event stream on the browser view, held open and read until
// closed. Returns the socket, or -1.
int ConnectPage(const std::string &url) {
  // http://127.0.0.1:PORT/?t=TOKEN
  const std::string pre = "http://";
  size_t hostStart = pre.size(), colon = url.find(':', hostStart), slash = url.find('/', hostStart);
  size_t tok = url.find("t=");
  if (colon == std::string::npos || slash == std::string::npos || tok == std::string::npos)
    return -1;
  std::string hostPort = url.substr(hostStart, slash - hostStart);
  int port = std::atoi(url.substr(colon + 1, slash - colon - 1).c_str());
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_port = htons(static_cast<uint16_t>(port));
  sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (fd < 0 || connect(fd, reinterpret_cast<sockaddr *>(&sa), sizeof sa) != 0) {
    if (fd >= 0)
      close(fd);
    return -1;
  }
  std::string req = "GET /events?s=0&" + url.substr(tok) + " HTTP/1.1\r\nHost: " + hostPort +
                    "\r\nAccept: text/event-stream\r\n\r\n";
  if (send(fd, req.data(), req.size(), MSG_NOSIGNAL) != ssize_t(req.size())) {
    close(fd);
    return -1;
  }
  return fd;
}

double Median(std::vector<double> v) {
  if (v.empty())
    return -1;
  std::sort(v.begin(), v.end());
  return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

// Waits until the output has opened `wavName` in `dir` again and written
// PCM past the 44-byte header; ms since `t0`, or -1 after `timeoutMs`.
double FirstPcm(int ino, const std::string &wavPath, const std::string &wavName, Clock::time_point t0,
                int timeoutMs) {
  bool opened = false;
  alignas(inotify_event) char buf[4096];
  const auto end = t0 + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()).count();
    if (left <= 0)
      return -1;
    pollfd p{ino, POLLIN, 0};
    if (poll(&p, 1, static_cast<int>(left)) <= 0)
      continue;
    ssize_t n = read(ino, buf, sizeof buf);
    for (ssize_t off = 0; off < n;) {
      auto *ev = reinterpret_cast<inotify_event *>(buf + off);
      off += ssize_t(sizeof(inotify_event) + ev->len);
      if (ev->len == 0 || wavName != ev->name)
        continue;
      if (ev->mask & IN_OPEN)
        opened = true;
      struct stat st{};
      if (opened && (ev->mask & IN_MODIFY) && stat(wavPath.c_str(), &st) == 0 && st.st_size > 44)
        return std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
    }
  }
}

bool Have(const char *prog) {
  const char *path = std::getenv("PATH");
  std::string p = path ? path : "";
  for (size_t a = 0; a <= p.size();) {
    size_t b = p.find(':', a);
    if (b == std::string::npos)
      b = p.size();
    if (access((p.substr(a, b - a) + "/" + prog).c_str(), X_OK) == 0)
      return true;
    a = b + 1;
  }
  return false;
}

struct Player {
  std::string name;
  Child child;
  double cpu0 = -1, cpu1 = -1;
  long peakKb = -1;
  bool skipped = false;
  double Cpu() const { return cpu0 >= 0 && cpu1 >= 0 ? cpu1 - cpu0 : -1; }
};

} // namespace

int main(int argc, char **argv) {
  if (argc == 3 && std::strcmp(argv[1], "--chain") == 0)
    return RunChain(argv[2]); // until SIGTERM
  const double window = argc > 1 ? std::max(1, std::atoi(argv[1])) : 30;
  const bool full = window >= 30;
  const double warmup = full ? 5 : 1;
  const double idleWindow = full ? 10 : 1;
  const int switches = full ? 20 : 4;

  char self[4096];
  ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
  self[n > 0 ? n : 0] = 0;
  const std::string bin = fs::path(self).parent_path();
  const std::string rx = bin + "/rx";

  char tmpl[] = "/tmp/bench-play-XXXXXX";
  if (!mkdtemp(tmpl))
    return 2;
  const std::string dir = tmpl;
  const std::string ports = dir + "/ports";
  fs::create_directory(ports);
  fs::permissions(ports, fs::perms::owner_all);
  setenv("MELODUNE_PORT_DIR", ports.c_str(), 1);
  setenv("MELODUNE_UPDATE_HOST", "127.0.0.1:9", 1); // no update check leaves the machine
  const std::string script = dir + "/cmd.rexx";
  std::ofstream(script) << "/* one command to the player */\nparse arg cmd\noptions results\naddress MELODUNE cmd\n"
                           "say rc\nif rc = 0 then call charout , result\nexit 0\n";

  const std::string mp3 = std::string(MELODUNE_FIXTURE_DIR) + "/tone440_128k.mp3";
  testkit::Server srv;
  for (const char *path : {"/a", "/b"}) {
    testkit::Response r = testkit::Response::icy_stream(mp3, 16000, 16000, {{"Benchmark", 0}});
    r.loops = 0;
    r.burst = 64 * 1024;
    srv.route(path, r);
  }
  const std::string urlA = srv.url("/a"), urlB = srv.url("/b");
  int status = 0;

  // 1. CPU while playing.
  Host player;
  if (!player.Start(self, dir + "/play", {urlA}, {"--audio", "null", "--headless"})) {
    std::fprintf(stderr, "bench_play: the host did not start:\n%s", ReadAll(player.child.out).c_str());
    return 1;
  }
  std::vector<Player> players(4);
  players[0].name = "host (playing)";
  players[1].name = "play chain";
  players[2].name = "mpg123 -q -t";
  players[3].name = "mpv --ao=null";
  players[0].child = player.child;
  Rx(rx, script, "PLAY 0");
  players[1].child = Spawn({self, "--chain", urlA});
  if (Have("mpg123"))
    players[2].child = Spawn({"mpg123", "-q", "-t", urlA});
  else
    players[2].skipped = true;
  if (Have("mpv"))
    players[3].child = Spawn({"mpv", "--no-video", "--ao=null", "--really-quiet", "--no-config", urlA});
  else
    players[3].skipped = true;
  Sleep(warmup);
  for (auto &p : players)
    p.cpu0 = CpuSeconds(p.child.pid);
  Sleep(window);
  for (auto &p : players) {
    p.cpu1 = Alive(p.child.pid) ? CpuSeconds(p.child.pid) : -1;
    p.peakKb = StatusKb(p.child.pid, "VmHWM:");
  }
  const std::string state = RxAnswer(rx, script, "GET STATE", dir + "/answer");
  for (auto &p : players)
    Reap(p.child.pid);

  std::printf("playing %.0f s after %.0f s warm-up, same loopback 128 kbit/s ICY stream:\n", window, warmup);
  std::printf("  %-16s %10s %10s %10s\n", "player", "CPU s", "CPU %", "peak MB");
  for (auto &p : players) {
    if (p.skipped)
      std::printf("  %-16s skipped (not installed)\n", p.name.c_str());
    else if (p.Cpu() < 0)
      std::printf("  %-16s FAILED\n", p.name.c_str());
    else
      std::printf("  %-16s %10.3f %10.2f %10.2f\n", p.name.c_str(), p.Cpu(), 100 * p.Cpu() / window,
                  p.peakKb / 1024.0);
  }
  if (state != "Playing") {
    std::printf("  host was not playing at the end (GET STATE: \"%s\")\n", state.c_str());
    status = 1;
  }
  if (players[0].Cpu() > 0 && players[2].Cpu() > 0)
    std::printf("  host / mpg123: %.2f (goal <= 1.5)\n", players[0].Cpu() / players[2].Cpu());
  else
    std::printf("  host / mpg123: skipped\n");
  if (players[0].Cpu() > 0 && players[3].Cpu() > 0)
    std::printf("  host / mpv:    %.2f (goal <= 0.20)\n", players[0].Cpu() / players[3].Cpu());
  else
    std::printf("  host / mpv:    skipped\n");
  std::printf("  host peak RSS: %.2f MB (goal < 16)\n", players[0].peakKb / 1024.0);
  std::fflush(stdout);

  // 2. Idle, and 3. switching, with one host on the wav: output.
  const std::string wavName = "out.wav", wavPath = dir + "/switch/" + wavName;
  fs::create_directories(dir + "/switch");
  Host sw;
  if (!sw.Start(self, dir + "/switch", {urlA, urlB}, {"--audio", "wav:" + wavPath, "--web", "127.0.0.1:0"})) {
    std::fprintf(stderr, "bench_play: the host with the browser view did not start:\n%s",
                 ReadAll(sw.child.out).c_str());
    return 1;
  }
  Sleep(warmup);
  double c0 = CpuSeconds(sw.child.pid);
  Sleep(idleWindow);
  double idleBare = CpuSeconds(sw.child.pid) - c0;
  int page = ConnectPage(sw.pageUrl);
  std::thread reader;
  if (page >= 0)
    reader = std::thread([page] {
      char b[4096];
      while (recv(page, b, sizeof b, 0) > 0) {
      }
    });
  Sleep(1);
  c0 = CpuSeconds(sw.child.pid);
  Sleep(idleWindow);
  double idlePage = CpuSeconds(sw.child.pid) - c0;
  std::printf("idle host over %.0f s: %.3f s CPU (%.2f %%) without a page, %.3f s (%.2f %%) with a page%s\n",
              idleWindow, idleBare, 100 * idleBare / idleWindow, idlePage, 100 * idlePage / idleWindow,
              page >= 0 ? "" : " (page did not connect)");

  int ino = inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
  inotify_add_watch(ino, (dir + "/switch").c_str(), IN_OPEN | IN_MODIFY);
  std::vector<double> ms;
  int lost = 0;
  auto t0 = Clock::now();
  Rx(rx, script, "PLAY 0");
  if (FirstPcm(ino, wavPath, wavName, t0, 20000) < 0) {
    std::printf("station switch: the first station never reached the output\n");
    status = 1;
  } else {
    for (int i = 0; i < switches; ++i) {
      Sleep(0.3); // a moment of playing, as a person's switch would have
      char drain[4096];
      while (read(ino, drain, sizeof drain) > 0) {
      }
      t0 = Clock::now();
      Child c = Spawn({rx, script, i % 2 == 0 ? "PLAY 1" : "PLAY 0"});
      double t = FirstPcm(ino, wavPath, wavName, t0, 10000);
      int st = 0;
      if (c.pid > 0)
        waitpid(c.pid, &st, 0);
      if (t < 0)
        ++lost;
      else
        ms.push_back(t);
    }
    std::printf("station switch (rx PLAY n to the first PCM in the wav: output), %d switches: median %.1f ms, "
                "min %.1f, max %.1f%s (goal < 50)\n",
                switches, Median(ms), ms.empty() ? -1 : *std::min_element(ms.begin(), ms.end()),
                ms.empty() ? -1 : *std::max_element(ms.begin(), ms.end()),
                lost ? (", " + std::to_string(lost) + " never played").c_str() : "");
    if (lost)
      status = 1;
    // The part of it that is rx itself: starting the interpreter and one
    // round trip to the port.
    std::vector<double> rxMs;
    for (int i = 0; i < switches; ++i) {
      t0 = Clock::now();
      Rx(rx, script, "GET STATE");
      rxMs.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
    }
    std::printf("  of which rx alone (GET STATE): median %.1f ms\n", Median(rxMs));
  }
  close(ino);
  if (page >= 0) {
    shutdown(page, SHUT_RDWR);
    reader.join();
    close(page);
  }
  Reap(sw.child.pid);
  srv.stop();
  std::error_code ec;
  fs::remove_all(dir, ec);
  return status;
}
