// Scales a 4000 x 3000 JPEG and a 1024 x 1024 PNG to 32 x 20 with Pixmorph
// and with ImageMagick's convert, and prints the whole-process wall times
// (best of several runs) and their ratio.
//
//   bench_pixmorph [RUNS]
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
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

// Wall time of one run in seconds, or -1 when it could not run or failed.
double TimeRun(std::vector<std::string> args, const std::vector<std::string> &env, bool usePath) {
  std::vector<char *> argv, envp;
  for (auto &a : args)
    argv.push_back(a.data());
  argv.push_back(nullptr);
  std::vector<std::string> e = env;
  for (char **p = environ; *p; ++p)
    e.push_back(*p);
  for (auto &s : e)
    envp.push_back(s.data());
  envp.push_back(nullptr);
  posix_spawn_file_actions_t fa;
  posix_spawn_file_actions_init(&fa);
  posix_spawn_file_actions_addopen(&fa, 1, "/dev/null", O_WRONLY, 0);
  auto t0 = std::chrono::steady_clock::now();
  pid_t pid;
  int rc = usePath ? posix_spawnp(&pid, argv[0], &fa, nullptr, argv.data(), envp.data())
                   : posix_spawn(&pid, argv[0], &fa, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&fa);
  if (rc != 0)
    return -1;
  int st = 0;
  waitpid(pid, &st, 0);
  double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  return WIFEXITED(st) && WEXITSTATUS(st) == 0 ? s : -1;
}

double Best(int runs, const std::vector<std::string> &args, const std::vector<std::string> &env, bool usePath) {
  double best = -1;
  for (int i = 0; i < runs; ++i) {
    double t = TimeRun(args, env, usePath);
    if (t < 0)
      return -1;
    if (best < 0 || t < best)
      best = t;
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
  std::printf("%-22s %12s %12s %8s\n", "picture", "Pixmorph s", "convert s", "ratio");
  for (const char *name : {"photo.jpg", "square.png"}) {
    double ours = Best(runs, {pixmorph, std::string("RAM:") + name, "RAM:out.png"}, env, false);
    fs::path in = root / "RAM" / name, out = root / "RAM/convert-out.png";
    double theirs = Best(runs, {"convert", in.string(), "-resize", "32x20!", out.string()}, {}, true);
    if (ours < 0 || theirs < 0) {
      std::printf("%-22s %s\n", name, ours < 0 ? "Pixmorph failed" : "convert not available");
      status = 1;
      continue;
    }
    std::printf("%-22s %12.3f %12.3f %8.2f\n", name, ours, theirs, theirs / ours);
  }
  std::printf("(best of %d runs each; ratio = convert / Pixmorph, above 1 means Pixmorph is faster)\n", runs);
  fs::remove_all(root);
  return status;
}
