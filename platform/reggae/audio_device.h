// Where audio.output's PCM goes: the desktop's sound server, ALSA, a paced
// null device, or a WAV file. One small interface over libpulse-simple and
// ALSA; nothing else in the platform touches them.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

namespace reggae {

class AudioSink {
public:
  virtual ~AudioSink() = default;
  // Signed 16-bit native-endian interleaved samples.
  virtual bool Open(int rate, int channels) = 0;
  // Blocks like a sound card: about as long as the frames take to play
  // (less while the device's own buffer fills). False on a device error.
  virtual bool Write(const int16_t *samples, size_t frames) = 0;
  // Waits until what was written has been played (or `stop` turns true).
  virtual void Drain() = 0;
};

// spec: "auto", "null", "pulse", "alsa" or "wav:FILE". `stop` ends waits early.
std::unique_ptr<AudioSink> MakeAudioSink(const std::string &spec, const std::atomic<bool> *stop);

} // namespace reggae
