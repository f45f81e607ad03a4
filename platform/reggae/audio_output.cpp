// audio.output: MMM_Play starts a player task that pulls PCM from input
// port 0 and hands it to the audio device chosen by platform::SetAudioDevice.
// MMA_OutputState is 1 exactly while the player plays.
//
// The device is opened, written and closed on the player task alone; the
// mute switch and the format it reports are atomics, set and read from any
// task without a lock. Play, Stop and the end signal are the output task's.
#include <atomic>
#include <cstring>
#include <memory>

#include "reggae/media_class.h"
#include "reggae/output_task.h"

namespace {

using namespace reggae;

class Player : public OutputTask {
public:

  Player() : OutputTask("audio.output", false) {}

  LONG Create(Object *o, TagItem *tags) {
    obj_ = o;
    mute_ = GetTagData(MMA_Sound_Mute, 0, tags) ? 1 : 0;
    return MMERR_OK;
  }

  bool SetPort(Object *, ULONG port, IPTR attr, IPTR value) {
    if (port != 0 || attr != MMA_Sound_Mute)
      return false;
    mute_ = value ? 1 : 0;
    return true;
  }

private:
  void Begin() override {
    sink_ = MakeAudioSink(platform::AudioDevice(), &stop_);
    openRate_ = openChannels_ = 0;
  }

  LONG Deliver(UBYTE *data, LONG len) override {
    const int r = static_cast<int>(GetInputAttr(obj_, 0, MMA_Sound_SampleRate));
    const int c = static_cast<int>(GetInputAttr(obj_, 0, MMA_Sound_Channels));
    if (r <= 0 || c <= 0 || c > 8)
      return MMERR_UNSUPPORTED_FORMAT;
    if (r != openRate_ || c != openChannels_) {
      if (!sink_->Open(r, c))
        return MMERR_NO_AUDIO_DEVICE;
      openRate_ = r;
      openChannels_ = c;
      rate_ = r;
      channels_ = c;
    }
    if (mute_)
      std::memset(data, 0, static_cast<size_t>(len));
    const size_t frames = static_cast<size_t>(len) / 2 / static_cast<size_t>(c);
    return sink_->Write(reinterpret_cast<const int16_t *>(data), frames) ? MMERR_OK : MMERR_NO_AUDIO_DEVICE;
  }

  LONG Finish(LONG why) override {
    if (openRate_)
      sink_->Drain();
    return why;
  }

  void End() override { sink_.reset(); }

  bool OwnPort(IPTR attr, IPTR &place) override {
    switch (attr) {
    case MMA_Sound_Mute: place = mute_; return true;
    case MMA_Sound_SampleRate: place = static_cast<IPTR>(rate_.load()); return true;
    case MMA_Sound_Channels: place = static_cast<IPTR>(channels_.load()); return true;
    default: return false;
    }
  }

  std::unique_ptr<AudioSink> sink_; // the player task's
  int openRate_ = 0, openChannels_ = 0;
  std::atomic<IPTR> mute_{0};
  std::atomic<int> rate_{0}, channels_{0};
};

[[maybe_unused]] IClass *const gClass = MediaClass<Player, PortLayout::Sink>::Register("audio.output");

} // namespace
