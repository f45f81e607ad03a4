// fixture_gen: writes a sine tone as a 16-bit PCM WAV file, the input of the
// MP3 fixtures encoded at build time.
//
//   fixture_gen OUT.wav FREQ_HZ SAMPLE_RATE CHANNELS SECONDS
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <numbers>
#include <string>
#include <vector>

namespace {

void put16(std::vector<char>& v, uint16_t x) {
  v.push_back(static_cast<char>(x & 0xff));
  v.push_back(static_cast<char>(x >> 8));
}

void put32(std::vector<char>& v, uint32_t x) {
  put16(v, static_cast<uint16_t>(x & 0xffff));
  put16(v, static_cast<uint16_t>(x >> 16));
}

void tag(std::vector<char>& v, const char* t) { v.insert(v.end(), t, t + 4); }

}  // namespace

int main(int argc, char** argv) {
  if (argc != 6) {
    std::fprintf(stderr, "usage: fixture_gen OUT.wav FREQ_HZ SAMPLE_RATE CHANNELS SECONDS\n");
    return 2;
  }
  const double freq = std::atof(argv[2]);
  const long rate = std::atol(argv[3]);
  const long channels = std::atol(argv[4]);
  const double seconds = std::atof(argv[5]);
  if (freq <= 0 || rate < 8000 || rate > 192000 || channels < 1 || channels > 2 || seconds <= 0 || seconds > 600) {
    std::fprintf(stderr, "fixture_gen: bad arguments\n");
    return 2;
  }
  const uint32_t frames = static_cast<uint32_t>(seconds * double(rate));
  const uint32_t data_bytes = frames * uint32_t(channels) * 2;

  std::vector<char> v;
  v.reserve(44 + data_bytes);
  tag(v, "RIFF");
  put32(v, 36 + data_bytes);
  tag(v, "WAVE");
  tag(v, "fmt ");
  put32(v, 16);
  put16(v, 1);  // PCM
  put16(v, static_cast<uint16_t>(channels));
  put32(v, static_cast<uint32_t>(rate));
  put32(v, static_cast<uint32_t>(rate * channels * 2));
  put16(v, static_cast<uint16_t>(channels * 2));
  put16(v, 16);
  tag(v, "data");
  put32(v, data_bytes);
  // Half scale, so the encoder never clips.
  for (uint32_t i = 0; i < frames; ++i) {
    double s = 0.5 * std::sin(2.0 * std::numbers::pi * freq * double(i) / double(rate));
    auto x = static_cast<int16_t>(std::lround(s * 32767.0));
    for (long c = 0; c < channels; ++c) put16(v, static_cast<uint16_t>(x));
  }

  std::ofstream f(argv[1], std::ios::binary);
  f.write(v.data(), static_cast<std::streamsize>(v.size()));
  if (!f) {
    std::fprintf(stderr, "fixture_gen: cannot write %s\n", argv[1]);
    return 1;
  }
  return 0;
}
