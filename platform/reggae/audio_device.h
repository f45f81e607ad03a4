// Where audio.output's PCM goes: the desktop's sound server, ALSA, a paced
// null device, or a WAV file. One small interface over libpulse-simple and
// ALSA; nothing else in the platform touches them.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

namespace reggae {

// The output's stop request. A paced wait sleeps on it, so that a stop
// ends the wait at once instead of after the rest of a pacing interval.
class StopFlag {
public:
  StopFlag &operator=(bool on) {
    {
      std::lock_guard lock(m_);
      on_ = on;
    }
    if (on)
      cv_.notify_all();
    return *this;
  }
  operator bool() const { return on_.load(); }
  // Sleeps for `d` or until the flag is set; true when it is set.
  bool WaitFor(std::chrono::nanoseconds d) const {
    std::unique_lock lock(m_);
    return cv_.wait_for(lock, d, [this] { return on_.load(); });
  }

private:
  std::atomic<bool> on_{false};
  mutable std::mutex m_;
  mutable std::condition_variable cv_;
};

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

// device: "auto", "null", "pulse", "alsa" or "wav:FILE". `stop` ends waits early.
std::unique_ptr<AudioSink> MakeAudioSink(const std::string &device, const StopFlag *stop);

} // namespace reggae
