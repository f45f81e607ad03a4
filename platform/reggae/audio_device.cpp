#include "reggae/audio_device.h"

#include <alsa/asoundlib.h>
#include <pulse/error.h>
#include <pulse/simple.h>

#include <dlfcn.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <thread>

#include "exec/clock.h"
#include "reggae/reggae.h"

namespace reggae {
namespace {

constexpr uint64_t kDeviceLeadMs = 200; // how far a paced device may run ahead

// Consumes samples at the real rate on the platform clock, as a card would.
class Pacer {
public:
  void Start(int rate) {
    rate_ = rate;
    startMs_ = platform::ClockNowMs();
    frames_ = 0;
  }
  // Waits until `frames` more may be written; false when stopped.
  bool Admit(size_t frames, const StopFlag *stop) {
    frames_ += frames;
    return WaitUntil(frames_ * 1000 / static_cast<uint64_t>(rate_), kDeviceLeadMs, stop);
  }
  void Drain(const StopFlag *stop) { WaitUntil(frames_ * 1000 / static_cast<uint64_t>(rate_), 0, stop); }

private:
  bool WaitUntil(uint64_t playedMs, uint64_t lead, const StopFlag *stop) {
    for (;;) {
      if (stop && *stop)
        return false;
      const uint64_t now = platform::ClockNowMs() - startMs_;
      if (now + lead >= playedMs)
        return true;
      const auto d = platform::RealDuration(std::min<uint64_t>(playedMs - lead - now, 50));
      if (!stop)
        std::this_thread::sleep_for(d);
      else if (stop->WaitFor(d))
        return false;
    }
  }
  int rate_ = 44100;
  uint64_t startMs_ = 0;
  uint64_t frames_ = 0;
};

class NullSink : public AudioSink {
public:
  explicit NullSink(const StopFlag *stop) : stop_(stop) {}
  bool Open(int rate, int) override {
    pacer_.Start(rate);
    return true;
  }
  bool Write(const int16_t *, size_t frames) override {
    pacer_.Admit(frames, stop_);
    return true;
  }
  void Drain() override { pacer_.Drain(stop_); }

private:
  const StopFlag *stop_;
  Pacer pacer_;
};

class WavSink : public AudioSink {
public:
  WavSink(std::string path, const StopFlag *stop) : path_(std::move(path)), stop_(stop) {}
  ~WavSink() override { Finish(); }
  bool Open(int rate, int channels) override {
    if (f_) {
      if (rate == rate_ && channels == channels_)
        return true;
      Finish(); // a new format starts the file again
    }
    rate_ = rate;
    channels_ = channels;
    f_ = std::fopen(path_.c_str(), "wb");
    if (!f_)
      return false;
    bytes_ = 0;
    WriteHeader();
    pacer_.Start(rate);
    return true;
  }
  bool Write(const int16_t *samples, size_t frames) override {
    const size_t n = frames * static_cast<size_t>(channels_) * 2;
    if (!f_ || std::fwrite(samples, 1, n, f_) != n)
      return false;
    bytes_ += n;
    pacer_.Admit(frames, stop_);
    return true;
  }
  void Drain() override {
    if (f_)
      std::fflush(f_);
    pacer_.Drain(stop_);
  }

private:
  void Put32(uint32_t v) {
    unsigned char b[4] = {UBYTE(v), UBYTE(v >> 8), UBYTE(v >> 16), UBYTE(v >> 24)};
    std::fwrite(b, 1, 4, f_);
  }
  void Put16(uint16_t v) {
    unsigned char b[2] = {UBYTE(v), UBYTE(v >> 8)};
    std::fwrite(b, 1, 2, f_);
  }
  void WriteHeader() {
    std::fwrite("RIFF", 1, 4, f_);
    Put32(static_cast<uint32_t>(36 + bytes_));
    std::fwrite("WAVEfmt ", 1, 8, f_);
    Put32(16);
    Put16(1);
    Put16(static_cast<uint16_t>(channels_));
    Put32(static_cast<uint32_t>(rate_));
    Put32(static_cast<uint32_t>(rate_ * channels_ * 2));
    Put16(static_cast<uint16_t>(channels_ * 2));
    Put16(16);
    std::fwrite("data", 1, 4, f_);
    Put32(static_cast<uint32_t>(bytes_));
  }
  void Finish() {
    if (!f_)
      return;
    std::fseek(f_, 0, SEEK_SET);
    WriteHeader();
    std::fclose(f_);
    f_ = nullptr;
  }
  std::string path_;
  const StopFlag *stop_;
  FILE *f_ = nullptr;
  int rate_ = 0, channels_ = 0;
  uint64_t bytes_ = 0;
  Pacer pacer_;
};

// The sound libraries are loaded on first use: linking them pulls in dozens of
// libraries (X11, codecs) that a null or wav output never needs.
template <typename F> bool Bind(void *lib, const char *name, F &fn) {
  fn = reinterpret_cast<F>(dlsym(lib, name));
  return fn != nullptr;
}

struct PulseApi {
  decltype(&pa_simple_new) simple_new = nullptr;
  decltype(&pa_simple_write) simple_write = nullptr;
  decltype(&pa_simple_drain) simple_drain = nullptr;
  decltype(&pa_simple_free) simple_free = nullptr;
  bool ok = false;
};

const PulseApi &Pulse() {
  static PulseApi api = [] {
    PulseApi a;
    if (void *lib = dlopen("libpulse-simple.so.0", RTLD_NOW | RTLD_LOCAL))
      a.ok = Bind(lib, "pa_simple_new", a.simple_new) && Bind(lib, "pa_simple_write", a.simple_write) &&
             Bind(lib, "pa_simple_drain", a.simple_drain) && Bind(lib, "pa_simple_free", a.simple_free);
    return a;
  }();
  return api;
}

struct AlsaApi {
  decltype(&snd_lib_error_set_handler) error_set_handler = nullptr;
  decltype(&snd_pcm_open) pcm_open = nullptr;
  decltype(&snd_pcm_set_params) pcm_set_params = nullptr;
  decltype(&snd_pcm_writei) pcm_writei = nullptr;
  decltype(&snd_pcm_recover) pcm_recover = nullptr;
  decltype(&snd_pcm_drain) pcm_drain = nullptr;
  decltype(&snd_pcm_close) pcm_close = nullptr;
  bool ok = false;
};

void QuietAlsa(const char *, int, const char *, int, const char *, ...) {}

const AlsaApi &Alsa() {
  static AlsaApi api = [] {
    AlsaApi a;
    if (void *lib = dlopen("libasound.so.2", RTLD_NOW | RTLD_LOCAL))
      a.ok = Bind(lib, "snd_lib_error_set_handler", a.error_set_handler) && Bind(lib, "snd_pcm_open", a.pcm_open) &&
             Bind(lib, "snd_pcm_set_params", a.pcm_set_params) && Bind(lib, "snd_pcm_writei", a.pcm_writei) &&
             Bind(lib, "snd_pcm_recover", a.pcm_recover) && Bind(lib, "snd_pcm_drain", a.pcm_drain) &&
             Bind(lib, "snd_pcm_close", a.pcm_close);
    if (a.ok) a.error_set_handler(QuietAlsa);
    return a;
  }();
  return api;
}

void FreePulse(pa_simple *s) { Pulse().simple_free(s); }
void FreeAlsa(snd_pcm_t *pcm) { Alsa().pcm_close(pcm); }

// A sink on a sound library's handle, open in one format at a time.
template <class H, void (*Free)(H *)> class DeviceSink : public AudioSink {
public:
  ~DeviceSink() override { Close(); }
  bool Open(int rate, int channels) final {
    if (h_ && rate == rate_ && channels == channels_)
      return true;
    Close();
    return OpenHandle(rate, channels);
  }

protected:
  // Opens h_ in this format (h_ is closed).
  virtual bool OpenHandle(int rate, int channels) = 0;
  void Close() {
    if (h_)
      Free(h_);
    h_ = nullptr;
  }
  H *h_ = nullptr;
  int rate_ = 0, channels_ = 0;
};

class PulseSink : public DeviceSink<pa_simple, FreePulse> {
public:
  bool OpenHandle(int rate, int channels) override {
    if (!Pulse().ok) return false;
    pa_sample_spec ss{};
    ss.format = PA_SAMPLE_S16NE;
    ss.rate = static_cast<uint32_t>(rate);
    ss.channels = static_cast<uint8_t>(channels);
    pa_buffer_attr attr;
    std::memset(&attr, 0xFF, sizeof attr); // (uint32_t)-1: server default
    attr.tlength = static_cast<uint32_t>(rate * channels * 2 / 5); // 200 ms
    int err = 0;
    h_ = Pulse().simple_new(nullptr, "Melodune", PA_STREAM_PLAYBACK, nullptr, "radio", &ss, nullptr, &attr, &err);
    rate_ = rate;
    channels_ = channels;
    return h_ != nullptr;
  }
  bool Write(const int16_t *samples, size_t frames) override {
    int err = 0;
    return h_ && Pulse().simple_write(h_, samples, frames * static_cast<size_t>(channels_) * 2, &err) == 0;
  }
  void Drain() override {
    int err = 0;
    if (h_)
      Pulse().simple_drain(h_, &err);
  }
};

class AlsaSink : public DeviceSink<snd_pcm_t, FreeAlsa> {
public:
  bool OpenHandle(int rate, int channels) override {
    if (!Alsa().ok) return false;
    if (Alsa().pcm_open(&h_, "default", SND_PCM_STREAM_PLAYBACK, 0) < 0) {
      h_ = nullptr;
      return false;
    }
    if (Alsa().pcm_set_params(h_, SND_PCM_FORMAT_S16, SND_PCM_ACCESS_RW_INTERLEAVED, static_cast<unsigned>(channels),
                           static_cast<unsigned>(rate), 1, 200000) < 0) {
      Close();
      return false;
    }
    rate_ = rate;
    channels_ = channels;
    return true;
  }
  bool Write(const int16_t *samples, size_t frames) override {
    while (h_ && frames > 0) {
      snd_pcm_sframes_t n = Alsa().pcm_writei(h_, samples, frames);
      if (n < 0) {
        if (Alsa().pcm_recover(h_, static_cast<int>(n), 1) < 0)
          return false;
        continue;
      }
      samples += static_cast<size_t>(n) * static_cast<size_t>(channels_);
      frames -= static_cast<size_t>(n);
    }
    return h_ != nullptr;
  }
  void Drain() override {
    if (h_)
      Alsa().pcm_drain(h_);
  }
};

// "auto": the first real device that opens, else the null device.
class AutoSink : public AudioSink {
public:
  explicit AutoSink(const StopFlag *stop) : stop_(stop) {}
  bool Open(int rate, int channels) override {
    if (!chosen_) {
      std::unique_ptr<AudioSink> tries[] = {std::make_unique<PulseSink>(), std::make_unique<AlsaSink>()};
      for (auto &t : tries)
        if (t->Open(rate, channels)) {
          chosen_ = std::move(t);
          return true;
        }
      chosen_ = std::make_unique<NullSink>(stop_);
    }
    return chosen_->Open(rate, channels);
  }
  bool Write(const int16_t *s, size_t frames) override { return chosen_ && chosen_->Write(s, frames); }
  void Drain() override {
    if (chosen_)
      chosen_->Drain();
  }

private:
  const StopFlag *stop_;
  std::unique_ptr<AudioSink> chosen_;
};

std::mutex gDeviceMutex;
std::string &DeviceName() {
  static std::string device = [] {
    const char *env = std::getenv("MELODUNE_AUDIO");
    return std::string(env && *env ? env : "auto");
  }();
  return device;
}

} // namespace

std::unique_ptr<AudioSink> MakeAudioSink(const std::string &device, const StopFlag *stop) {
  if (device == "null")
    return std::make_unique<NullSink>(stop);
  if (device.rfind("wav:", 0) == 0)
    return std::make_unique<WavSink>(device.substr(4), stop);
  if (device == "pulse")
    return std::make_unique<PulseSink>();
  if (device == "alsa")
    return std::make_unique<AlsaSink>();
  return std::make_unique<AutoSink>(stop);
}

} // namespace reggae

namespace platform {
void SetAudioDevice(const std::string &device) {
  std::lock_guard lock(reggae::gDeviceMutex);
  reggae::DeviceName() = device.empty() ? "auto" : device;
}
std::string AudioDevice() {
  std::lock_guard lock(reggae::gDeviceMutex);
  return reggae::DeviceName();
}
} // namespace platform
