#include "reggae/output_task.h"

#include <vector>

namespace reggae {

void OutputTask::Run() {
  Begin();
  // Kept in 16-bit units: a PCM output reads the chunk as samples.
  std::vector<int16_t> chunk(kChunk / 2);
  auto *bytes = reinterpret_cast<UBYTE *>(chunk.data());
  LONG why = MMERR_OK;
  while (!stop_) {
    const LONG got = PullInput(obj_, 0, bytes, kChunk);
    if (got > 0) {
      why = Deliver(bytes, got);
      if (why != MMERR_OK)
        break;
    }
    if (got < kChunk) {
      const LONG err = InputError(obj_, 0);
      if (err != MMERR_OK) {
        why = err;
        break;
      }
    }
  }
  if (!stop_) {
    endError_ = Finish(why);
    state_ = 0;
    std::lock_guard lock(ctl_);
    ended_ = true;
    if (sigTask_ && sigBit_ >= 0)
      Signal(sigTask_, 1u << sigBit_);
  }
  End();
}

bool OutputTask::Play() {
  std::lock_guard lock(ctl_);
  if (task_)
    return true;
  if (once_ && ended_)
    return false;
  stop_ = false;
  if (!once_) {
    ended_ = false;
    endError_ = MMERR_OK;
  }
  AbortPulls(obj_, false);
  state_ = 1;
  CONST_STRPTR name = ObjectName(obj_);
  task_ = platform::CreateTask(name ? name : taskName_, 0, [this] { Run(); });
  if (!task_) {
    state_ = 0;
    endError_ = MMERR_NO_TASK;
  }
  return task_ != nullptr;
}

void OutputTask::Stop() {
  // The task takes ctl_ as it ends (to signal the end): it is joined
  // without holding ctl_, or the two would wait for each other.
  std::lock_guard joining(joinMtx_);
  Task *t;
  {
    std::lock_guard lock(ctl_);
    if (!task_)
      return;
    t = task_;
    stop_ = true;
    AbortPulls(obj_, true);
  }
  platform::JoinTask(t);
  std::lock_guard lock(ctl_);
  task_ = nullptr;
  state_ = 0;
  Stopped();
}

bool OutputTask::SignalAtEnd(Task *t, IPTR bit) {
  if (!t || bit > 31)
    return false;
  std::lock_guard lock(ctl_);
  sigTask_ = t;
  sigBit_ = static_cast<int>(bit);
  if (ended_)
    Signal(t, 1u << bit);
  return true;
}

bool OutputTask::Method(Object *, Msg msg, IPTR &result) {
  switch (msg->MethodID) {
  case MMM_Play: result = Play() ? TRUE : FALSE; return true;
  case MMM_Stop:
    Stop();
    result = TRUE;
    return true;
  case MMM_SignalAtEnd: {
    auto *m = reinterpret_cast<mmpSignalAtEnd *>(msg);
    result = SignalAtEnd(m->Task, m->SigBit) ? TRUE : FALSE;
    return true;
  }
  default: return false;
  }
}

bool OutputTask::GetPort(Object *, ULONG port, IPTR attr, IPTR &place) {
  if (port != 0)
    return false;
  switch (attr) {
  case MMA_OutputState: place = state_; return true;
  case MMA_ErrorCode: place = static_cast<IPTR>(static_cast<SIPTR>(endError_.load())); return true;
  default: return OwnPort(attr, place);
  }
}

} // namespace reggae
