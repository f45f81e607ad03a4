// Plays 60 s of a 128 kbit/s ICY stream from the testkit server three ways at
// once: through the whole play chain into the null device (this program, run
// again as a child with --chain), with `mpg123 -q -t` and with
// `mpv --no-video --ao=null`; prints CPU seconds (all threads) and peak
// memory of each, and the ratios.
//
//   bench_play [SECONDS]      (default 60; the fixture is looped to that length)
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "exec/exec.h"
#include "reggae/reggae.h"
#include "testkit/server.h"

extern char **environ;

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

struct Result {
  std::string name;
  pid_t pid = -1;
  double cpu = 0; // seconds
  long peakKb = 0;
  int status = -1;
};

pid_t Spawn(std::vector<std::string> args) {
  std::vector<char *> argv;
  for (auto &a : args)
    argv.push_back(a.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t fa;
  posix_spawn_file_actions_init(&fa);
  posix_spawn_file_actions_addopen(&fa, 1, "/dev/null", O_WRONLY, 0);
  pid_t pid = -1;
  if (posix_spawnp(&pid, argv[0], &fa, nullptr, argv.data(), environ) != 0)
    pid = -1;
  posix_spawn_file_actions_destroy(&fa);
  return pid;
}

// Waits for the child without reaping it, reads its CPU clock (ns), then
// reaps it for the peak memory.
void Finish(Result &r) {
  if (r.pid <= 0)
    return;
  siginfo_t info{};
  waitid(P_PID, static_cast<id_t>(r.pid), &info, WEXITED | WNOWAIT);
  clockid_t cid;
  timespec ts{};
  bool haveClock = clock_getcpuclockid(r.pid, &cid) == 0 && clock_gettime(cid, &ts) == 0;
  rusage ru{};
  wait4(r.pid, &r.status, 0, &ru);
  r.cpu = haveClock ? double(ts.tv_sec) + double(ts.tv_nsec) / 1e9
                    : double(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) + double(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
  r.peakKb = ru.ru_maxrss;
}

} // namespace

int main(int argc, char **argv) {
  if (argc == 3 && std::strcmp(argv[1], "--chain") == 0)
    return RunChain(argv[2]);
  const int seconds = argc > 1 ? std::atoi(argv[1]) : 60;
  const std::string mp3 = std::string(MELODUNE_FIXTURE_DIR) + "/tone440_128k.mp3";
  testkit::Server srv;
  testkit::Response r = testkit::Response::icy_stream(mp3, 16000, 16000, {{"Benchmark", 0}});
  r.loops = static_cast<uint32_t>((seconds + 9) / 10);
  r.burst = 64 * 1024;
  srv.route("/stream", r);
  const std::string url = srv.url("/stream");

  char self[4096];
  ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
  self[n > 0 ? n : 0] = 0;
  std::vector<Result> results = {{"melodune chain"}, {"mpg123 -q -t"}, {"mpv --ao=null"}};
  results[0].pid = Spawn({self, "--chain", url});
  results[1].pid = Spawn({"mpg123", "-q", "-t", url});
  results[2].pid = Spawn({"mpv", "--no-video", "--ao=null", "--really-quiet", "--no-config", url});
  for (auto &res : results)
    Finish(res);

  std::printf("%-16s %12s %12s %s\n", "player", "CPU s", "peak MB", "exit");
  for (auto &res : results)
    std::printf("%-16s %12.6f %12.2f %s\n", res.name.c_str(), res.cpu, res.peakKb / 1024.0,
                res.pid > 0 && WIFEXITED(res.status) && WEXITSTATUS(res.status) == 0 ? "ok" : "FAILED/absent");
  if (results[1].cpu > 0)
    std::printf("CPU chain / mpg123: %.2f (goal <= 1.5)\n", results[0].cpu / results[1].cpu);
  if (results[2].cpu > 0)
    std::printf("CPU chain / mpv:    %.2f (goal <= 0.20)\n", results[0].cpu / results[2].cpu);
  std::printf("peak memory chain:  %.2f MB (goal < 16)\n", results[0].peakKb / 1024.0);
  return 0;
}
