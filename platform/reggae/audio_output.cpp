// audio.output: MMM_Play starts a player task that pulls PCM from input
// port 0 and hands it to the audio device chosen by platform::SetAudioDevice.
// MMA_OutputState is 1 exactly while the player plays.
#include <atomic>
#include <cstring>
#include <memory>
#include <mutex>
#include <vector>

#include "reggae/audio_device.h"
#include "reggae/reggae.h"

namespace {

using namespace reggae;

constexpr LONG kPullBytes = 16384; // about 90 ms of CD-quality sound

struct Player {
  Object *obj = nullptr;
  std::mutex joinMtx; // one Stop at a time
  std::mutex ctl; // Play/Stop/SignalAtEnd
  Task *task = nullptr;
  StopFlag stop;
  std::atomic<IPTR> state{0};
  std::atomic<IPTR> mute{0};
  std::atomic<int> rate{0}, channels{0};
  std::atomic<LONG> endError{MMERR_OK};
  Task *sigTask = nullptr; // guarded by ctl
  int sigBit = -1;
  bool ended = false;

  void SignalEnd() {
    std::lock_guard lock(ctl);
    ended = true;
    if (sigTask && sigBit >= 0)
      Signal(sigTask, 1u << sigBit);
  }

  void Run() {
    std::unique_ptr<AudioSink> sink = MakeAudioSink(platform::AudioDevice(), &stop);
    std::vector<int16_t> pcm(kPullBytes / 2);
    LONG why = MMERR_OK;
    int openRate = 0, openChannels = 0;
    while (!stop) {
      LONG got = PullInput(obj, 0, pcm.data(), kPullBytes);
      if (got > 0) {
        const int r = static_cast<int>(GetInputAttr(obj, 0, MMA_Sound_SampleRate));
        const int c = static_cast<int>(GetInputAttr(obj, 0, MMA_Sound_Channels));
        if (r <= 0 || c <= 0 || c > 8) {
          why = MMERR_UNSUPPORTED_FORMAT;
          break;
        }
        if (r != openRate || c != openChannels) {
          if (!sink->Open(r, c)) {
            why = MMERR_NO_AUDIO_DEVICE;
            break;
          }
          openRate = r;
          openChannels = c;
          rate = r;
          channels = c;
        }
        if (mute)
          std::memset(pcm.data(), 0, static_cast<size_t>(got));
        const size_t frames = static_cast<size_t>(got) / 2 / static_cast<size_t>(c);
        if (!sink->Write(pcm.data(), frames)) {
          why = MMERR_NO_AUDIO_DEVICE;
          break;
        }
      }
      if (got < kPullBytes) {
        LONG err = InputError(obj, 0);
        if (err != MMERR_OK) {
          why = err;
          break;
        }
      }
    }
    if (!stop && why != MMERR_OK) {
      if (openRate)
        sink->Drain();
      endError = why;
      state = 0;
      SignalEnd();
    }
  }

  bool Play() {
    std::lock_guard lock(ctl);
    if (task)
      return true;
    stop = false;
    ended = false;
    endError = MMERR_OK;
    AbortPulls(obj, false);
    state = 1;
    CONST_STRPTR name = ObjectName(obj);
    task = platform::CreateTask(name ? name : "audio.output", 0, [this] { Run(); });
    if (!task) {
      state = 0;
      endError = MMERR_NO_TASK;
    }
    return task != nullptr;
  }

  void Stop() {
    // The task takes ctl as it ends (to signal the end): it is joined
    // without holding ctl, or the two would wait for each other.
    std::lock_guard joining(joinMtx);
    Task *t;
    {
      std::lock_guard lock(ctl);
      if (!task)
        return;
      t = task;
      stop = true;
      AbortPulls(obj, true);
    }
    platform::JoinTask(t);
    std::lock_guard lock(ctl);
    task = nullptr;
    state = 0;
  }

  bool SignalAtEnd(Task *t, IPTR bit) {
    if (!t || bit > 31)
      return false;
    std::lock_guard lock(ctl);
    sigTask = t;
    sigBit = static_cast<int>(bit);
    if (ended)
      Signal(t, 1u << bit);
    return true;
  }
};

struct OutData {
  Player *p;
};

IPTR OutDispatcher(IClass *cl, Object *obj, Msg msg) {
  auto *data = msg->MethodID == OM_NEW ? nullptr : static_cast<OutData *>(INST_DATA(cl, obj));
  switch (msg->MethodID) {
  case OM_NEW: {
    auto *m = reinterpret_cast<opSet *>(msg);
    auto *o = reinterpret_cast<Object *>(DoSuperMethodA(cl, obj, msg));
    if (!o)
      return 0;
    auto *d = static_cast<OutData *>(INST_DATA(cl, o));
    d->p = new (std::nothrow) Player;
    if (!d->p) {
      SetCreateError(m->ops_AttrList, MMERR_NO_MEMORY);
      CoerceMethod(cl, o, OM_DISPOSE);
      return 0;
    }
    d->p->obj = o;
    d->p->mute = GetTagData(MMA_Sound_Mute, 0, m->ops_AttrList) ? 1 : 0;
    return reinterpret_cast<IPTR>(o);
  }
  case OM_DISPOSE:
    if (data->p) {
      data->p->Stop();
      delete data->p;
      data->p = nullptr;
    }
    break;
  case MMM_Play: return data->p && data->p->Play() ? TRUE : FALSE;
  case MMM_Stop:
    if (data->p)
      data->p->Stop();
    return TRUE;
  case MMM_SignalAtEnd: {
    auto *m = reinterpret_cast<mmpSignalAtEnd *>(msg);
    return data->p && data->p->SignalAtEnd(m->Task, m->SigBit) ? TRUE : FALSE;
  }
  case MMM_GetPort: {
    auto *m = reinterpret_cast<mmpGetPort *>(msg);
    if (!m->Place || !data->p || m->Port != 0)
      break;
    switch (m->Attribute) {
    case MMA_OutputState: *m->Place = data->p->state; return TRUE;
    case MMA_Sound_Mute: *m->Place = data->p->mute; return TRUE;
    case MMA_Sound_SampleRate: *m->Place = static_cast<IPTR>(data->p->rate.load()); return TRUE;
    case MMA_Sound_Channels: *m->Place = static_cast<IPTR>(data->p->channels.load()); return TRUE;
    case MMA_ErrorCode:
      *m->Place = static_cast<IPTR>(static_cast<SIPTR>(data->p->endError.load()));
      return TRUE;
    default: break;
    }
    break;
  }
  case MMM_SetPort: {
    auto *m = reinterpret_cast<mmpSetPort *>(msg);
    if (data->p && m->Port == 0 && m->Attribute == MMA_Sound_Mute) {
      data->p->mute = m->Value ? 1 : 0;
      return TRUE;
    }
    break;
  }
  default: break;
  }
  return DoSuperMethodA(cl, obj, msg);
}

struct Registration {
  Registration() {
    MakeMediaClass("audio.output", PortLayout::Sink, sizeof(OutData), OutDispatcher);
    platform::RegisterLibrary("multimedia/audio.output", 52, 0, "audio.output 52.0");
  }
} gRegistration;

} // namespace
