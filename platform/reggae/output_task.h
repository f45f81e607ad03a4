// What audio.output and file.output have in common: MMM_Play starts a task
// that pulls input port 0 in chunks and hands each chunk to Deliver; the end
// of the input, or a delivery that fails, ends the task and signals the task
// given with MMM_SignalAtEnd. MMM_Stop joins the task. Port 0 answers
// MMA_OutputState (1 exactly while playing) and MMA_ErrorCode (why it ended).
//
// Tasks and locks: Play, Stop and SignalAtEnd come from any task and take
// ctl_; Stop also holds joinMtx_ for the whole stop, so that one Stop at a
// time joins. The output's own task runs Begin, Deliver, Finish and End,
// and takes ctl_ only to signal the end. Stopped runs on the stopping task
// under both locks. state_, endError_ and stop_ are read without a lock.
#pragma once

#include <atomic>
#include <mutex>

#include "reggae/audio_device.h"
#include "reggae/reggae.h"

namespace reggae {

class OutputTask {
public:
  static constexpr LONG kChunk = 16384; // about 90 ms of CD-quality sound

  // once: the output cannot be played again after its end (a file is complete).
  OutputTask(CONST_STRPTR taskName, bool once) : taskName_(taskName), once_(once) {}
  virtual ~OutputTask() = default;
  OutputTask(const OutputTask &) = delete;
  OutputTask &operator=(const OutputTask &) = delete;

  void Stop();
  bool Method(Object *obj, Msg msg, IPTR &result);
  bool GetPort(Object *obj, ULONG port, IPTR attr, IPTR &place);

protected:
  // The output's own task, in this order: Begin, Deliver for each chunk of
  // at least one byte (MMERR_OK, or why the output ends), Finish (not after
  // a stop; gives the final error code), End.
  virtual void Begin() {}
  virtual LONG Deliver(UBYTE *data, LONG len) = 0;
  virtual LONG Finish(LONG why) { return why; }
  virtual void End() {}
  // After a stop has joined the task.
  virtual void Stopped() {}
  // Port 0 attributes of the output's own.
  virtual bool OwnPort(IPTR, IPTR &) { return false; }

  Object *obj_ = nullptr; // set by the class's Create
  StopFlag stop_;

private:
  void Run();
  bool Play();
  bool SignalAtEnd(Task *t, IPTR bit);

  const CONST_STRPTR taskName_;
  const bool once_;
  std::mutex joinMtx_;
  std::mutex ctl_;
  Task *task_ = nullptr; // guarded by ctl_
  std::atomic<IPTR> state_{0};
  std::atomic<LONG> endError_{MMERR_OK};
  Task *sigTask_ = nullptr; // guarded by ctl_
  int sigBit_ = -1;         // guarded by ctl_
  bool ended_ = false;      // guarded by ctl_
};

} // namespace reggae
