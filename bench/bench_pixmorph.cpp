// Scales a 4000 x 3000 JPEG and a 1024 x 1024 PNG to 32 x 20 with Pixmorph,
// ImageMagick's convert and libvips' vipsthumbnail, and prints each one's
// whole-process wall time (best of several runs) and peak memory.
//
//   bench_pixmorph [RUNS]
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "tests/pictures/picture_makers.h"

extern char **environ;
namespace fs = std::filesystem;

namespace {

// Something like a photo: smooth gradients, a few shapes and grain.
picmake::Image Photo(uint32_t w, uint32_t h, uint32_t seed) {
  picmake::Image img{w, h, picmake::Bytes(size_t(w) * h * 4)};
  std::mt19937 rng(seed);
  for (uint32_t y = 0; y < h; ++y)
    for (uint32_t x = 0; x < w; ++x) {
      int grain = int(rng() % 17) - 8;
      int r = int(255 * x / w) + grain, g = int(255 * y / h) + grain;
      int b = ((x / 97 + y / 61) % 3) * 100 + grain;
      auto c = [](int v) { return uint32_t(v < 0 ? 0 : v > 255 ? 255 : v); };
      img.set(x, y, 0xFF000000u | c(r) << 16 | c(g) << 8 | c(b));
    }
  return img;
}

struct Run {
  double seconds = -1; // -1: could not run, or failed
  long peakKb = 0;
};

// One run: wall time and the child's peak resident size.
Run TimeRun(std::vector<std::string> args, const std::vector<std::string> &env, bool usePath) {
  std::vector<char *> argv, envp;
  for (auto &a : args)
    argv.push_back(a.data());
  argv.push_back(nullptr);
  std::vector<std::string> e = env;
  for (char **p = environ; *p; ++p)
    e.push_back(*p);
  for (auto &str : e)
    envp.push_back(str.data());
  envp.push_back(nullptr);
  // fork, not posix_spawn: a child that shares this process's memory until
  // its exec inherits this process's peak as its own.
  auto t0 = std::chrono::steady_clock::now();
  pid_t pid = fork();
  if (pid == 0) {
    int null = open("/dev/null", O_WRONLY);
    dup2(null, 1);
    if (usePath)
      execvpe(argv[0], argv.data(), envp.data());
    else
      execve(argv[0], argv.data(), envp.data());
    _exit(127);
  }
  const int rc = pid > 0 ? 0 : -1;
  Run r;
  if (rc != 0)
    return r;
  int st = 0;
  rusage ru{};
  wait4(pid, &st, 0, &ru);
  double secs = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  if (WIFEXITED(st) && WEXITSTATUS(st) == 0) {
    r.seconds = secs;
    r.peakKb = ru.ru_maxrss;
  }
  return r;
}

// The fastest of `runs`, with the largest peak seen.
Run Best(int runs, const std::vector<std::string> &args, const std::vector<std::string> &env, bool usePath) {
  Run best;
  for (int i = 0; i < runs; ++i) {
    Run t = TimeRun(args, env, usePath);
    if (t.seconds < 0)
      return Run{};
    if (best.seconds < 0 || t.seconds < best.seconds)
      best.seconds = t.seconds;
    best.peakKb = std::max(best.peakKb, t.peakKb);
  }
  return best;
}

} // namespace

int main(int argc, char **argv) {
  int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
  fs::path root = fs::temp_directory_path() / ("bench-pixmorph-" + std::to_string(getpid()));
  fs::create_directories(root / "RAM");
  std::printf("making pictures in %s ...\n", root.c_str());
  picmake::WriteFile((root / "RAM/photo.jpg").string(), picmake::Jpeg(Photo(4000, 3000, 1), 90));
  picmake::WriteFile((root / "RAM/square.png").string(), picmake::Png(Photo(1024, 1024, 2)));

  const std::string pixmorph = std::string(MELODUNE_BIN_DIR) + "/Pixmorph";
  const std::vector<std::string> env = {"MELODUNE_ROOT=" + root.string()};
  int status = 0;
  std::printf("%-12s %-14s %10s %10s %14s %12s\n", "picture", "tool", "wall s", "peak MB", "Pixmorph/tool",
              "memory ratio");
  for (const char *name : {"photo.jpg", "square.png"}) {
    const fs::path in = root / "RAM" / name;
    const Run ours = Best(runs, {pixmorph, std::string("RAM:") + name, "RAM:out.png"}, env, false);
    const Run convert =
        Best(runs, {"convert", in.string(), "-resize", "32x20!", (root / "RAM/convert-out.png").string()}, {}, true);
    const Run vips =
        Best(runs, {"vipsthumbnail", in.string(), "-s", "32x20!", "-o", (root / "RAM/vips-out.png").string()}, {}, true);
    if (ours.seconds < 0) {
      std::printf("%-12s Pixmorph failed\n", name);
      status = 1;
      continue;
    }
    std::printf("%-12s %-14s %10.3f %10.1f\n", name, "Pixmorph", ours.seconds, ours.peakKb / 1024.0);
    for (auto [tool, run] : {std::pair{"convert", convert}, std::pair{"vipsthumbnail", vips}}) {
      if (run.seconds < 0) {
        std::printf("%-12s %-14s not available\n", "", tool);
        continue;
      }
      std::printf("%-12s %-14s %10.3f %10.1f %14.2f %12.2f\n", "", tool, run.seconds, run.peakKb / 1024.0,
                  ours.seconds / run.seconds, double(ours.peakKb) / double(run.peakKb));
    }
  }
  std::printf("(best of %d runs each; ratios below 1 mean Pixmorph takes less; goal: at most 1 against "
              "vipsthumbnail in time and memory)\n",
              runs);
  fs::remove_all(root);
  return status;
}
