// Runs a libFuzzer-style entry point without libFuzzer: every file named on
// the command line is fed once, then random and mutated inputs for a short
// time budget (seconds, from FUZZ_SECONDS or -seconds=N). Enough to catch
// crashes and sanitizer reports in CI; a real fuzzer can link the same entry.
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);

int main(int argc, char **argv) {
  double seconds = 2.0;
  if (const char *env = std::getenv("FUZZ_SECONDS")) seconds = std::atof(env);
  std::vector<std::vector<uint8_t>> corpus;
  for (int i = 1; i < argc; ++i) {
    if (std::strncmp(argv[i], "-seconds=", 9) == 0) {
      seconds = std::atof(argv[i] + 9);
      continue;
    }
    std::ifstream in(argv[i], std::ios::binary);
    if (!in) continue;
    corpus.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  for (auto &c : corpus) LLVMFuzzerTestOneInput(c.data(), c.size());

  std::mt19937_64 rng(12345);
  auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  size_t runs = 0;
  std::vector<uint8_t> buf;
  while (std::chrono::steady_clock::now() < end) {
    if (!corpus.empty() && rng() % 2) {
      buf = corpus[rng() % corpus.size()];
      size_t flips = 1 + rng() % 8;
      for (size_t k = 0; k < flips && !buf.empty(); ++k) {
        size_t pos = rng() % buf.size();
        switch (rng() % 3) {
        case 0: buf[pos] = static_cast<uint8_t>(rng()); break;
        case 1: buf.erase(buf.begin() + static_cast<long>(pos)); break;
        default: buf.insert(buf.begin() + static_cast<long>(pos), static_cast<uint8_t>(rng())); break;
        }
      }
    } else {
      buf.resize(rng() % 4096);
      for (auto &b : buf) b = static_cast<uint8_t>(rng() % 4 ? rng() % 128 : rng());
    }
    LLVMFuzzerTestOneInput(buf.data(), buf.size());
    ++runs;
  }
  std::printf("%zu inputs, no crash\n", runs + corpus.size());
  return 0;
}
