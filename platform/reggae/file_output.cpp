// file.output: writes what it pulls from input port 0 into a file (an
// AmigaDOS name) on its own task. The end of the data, or a failed write,
// ends it and signals the task given with MMM_SignalAtEnd.
#include <algorithm>
#include <atomic>
#include <mutex>
#include <string>
#include <vector>

#include "dos/dos.h"
#include "reggae/reggae.h"

namespace {

using namespace reggae;

constexpr LONG kChunk = 16384;

// What a test leaves of the disk; negative: as much as the disk has.
std::atomic<int64_t> gSpace{-1};

// Write, within the space a test left.
LONG LimitedWrite(BPTR file, const UBYTE *data, LONG len) {
  int64_t space = gSpace.load();
  while (space >= 0) {
    const LONG n = static_cast<LONG>(std::min<int64_t>(space, len));
    if (n == 0) {
      SetIoErr(ERROR_DISK_FULL);
      return -1;
    }
    if (gSpace.compare_exchange_weak(space, space - n)) {
      len = n;
      break;
    }
  }
  return Write(file, data, len);
}

LONG FromDosError(LONG err, LONG fallback) {
  switch (err) {
  case ERROR_DISK_FULL: return MMERR_DISK_FULL;
  case ERROR_OBJECT_NOT_FOUND:
  case ERROR_DIR_NOT_FOUND:
  case ERROR_DEVICE_NOT_MOUNTED: return MMERR_FILE_NOT_FOUND;
  case ERROR_DISK_WRITE_PROTECTED:
  case ERROR_WRITE_PROTECTED: return MMERR_WRITE_PROTECTED;
  case ERROR_NO_FREE_STORE: return MMERR_NO_MEMORY;
  default: return fallback;
  }
}

struct Writer {
  Object *obj = nullptr;
  BPTR file = 0;
  std::mutex joinMtx; // one Stop at a time
  std::mutex ctl;
  Task *task = nullptr;
  std::atomic<bool> stop{false};
  std::atomic<IPTR> state{0};
  std::atomic<LONG> endError{MMERR_OK};
  std::atomic<QUAD> written{0};
  Task *sigTask = nullptr; // guarded by ctl
  int sigBit = -1;
  bool ended = false;

  ~Writer() {
    if (file)
      Close(file);
  }

  void Run() {
    std::vector<UBYTE> buf(kChunk);
    LONG why = MMERR_OK;
    while (!stop) {
      LONG got = PullInput(obj, 0, buf.data(), kChunk);
      LONG done = 0;
      while (done < got) {
        // A short write is retried; the retry tells why it failed.
        LONG n = LimitedWrite(file, buf.data() + done, got - done);
        if (n <= 0) {
          why = FromDosError(IoErr(), MMERR_WRITE_FAILED);
          break;
        }
        done += n;
        written += n;
      }
      if (why != MMERR_OK)
        break;
      if (got < kChunk) {
        LONG err = InputError(obj, 0);
        if (err != MMERR_OK) {
          why = err;
          break;
        }
      }
    }
    if (stop)
      return;
    if (Flush(file) == DOSFALSE && why == MMERR_END_OF_DATA)
      why = FromDosError(IoErr(), MMERR_WRITE_FAILED);
    endError = why;
    state = 0;
    std::lock_guard lock(ctl);
    ended = true;
    if (sigTask && sigBit >= 0)
      Signal(sigTask, 1u << sigBit);
  }

  bool Play() {
    std::lock_guard lock(ctl);
    if (task)
      return true;
    if (ended)
      return false; // the file is complete
    stop = false;
    AbortPulls(obj, false);
    state = 1;
    CONST_STRPTR name = ObjectName(obj);
    task = platform::CreateTask(name ? name : "file.output", 0, [this] { Run(); });
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
    if (file)
      Flush(file);
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

struct FoData {
  Writer *w;
};

IPTR FoDispatcher(IClass *cl, Object *obj, Msg msg) {
  auto *data = msg->MethodID == OM_NEW ? nullptr : static_cast<FoData *>(INST_DATA(cl, obj));
  switch (msg->MethodID) {
  case OM_NEW: {
    auto *m = reinterpret_cast<opSet *>(msg);
    auto name = reinterpret_cast<CONST_STRPTR>(GetTagData(MMA_StreamName, 0, m->ops_AttrList));
    if (!name || !*name) {
      SetCreateError(m->ops_AttrList, MMERR_BAD_ARGUMENTS);
      return 0;
    }
    auto *o = reinterpret_cast<Object *>(DoSuperMethodA(cl, obj, msg));
    if (!o)
      return 0;
    auto *d = static_cast<FoData *>(INST_DATA(cl, o));
    d->w = new (std::nothrow) Writer;
    LONG code = MMERR_NO_MEMORY;
    if (d->w) {
      d->w->obj = o;
      d->w->file = Open(name, MODE_NEWFILE);
      code = d->w->file ? MMERR_OK : FromDosError(IoErr(), MMERR_CANNOT_OPEN_FILE);
    }
    if (code != MMERR_OK) {
      SetCreateError(m->ops_AttrList, code);
      CoerceMethod(cl, o, OM_DISPOSE);
      return 0;
    }
    return reinterpret_cast<IPTR>(o);
  }
  case OM_DISPOSE:
    if (data->w) {
      data->w->Stop();
      delete data->w;
      data->w = nullptr;
    }
    break;
  case MMM_Play: return data->w && data->w->Play() ? TRUE : FALSE;
  case MMM_Stop:
    if (data->w)
      data->w->Stop();
    return TRUE;
  case MMM_SignalAtEnd: {
    auto *m = reinterpret_cast<mmpSignalAtEnd *>(msg);
    return data->w && data->w->SignalAtEnd(m->Task, m->SigBit) ? TRUE : FALSE;
  }
  case MMM_GetPort: {
    auto *m = reinterpret_cast<mmpGetPort *>(msg);
    if (!m->Place || !data->w || m->Port != 0)
      break;
    switch (m->Attribute) {
    case MMA_OutputState: *m->Place = data->w->state; return TRUE;
    case MMA_StreamLength: *m->Place = static_cast<IPTR>(data->w->written.load()); return TRUE;
    case MMA_ErrorCode:
      *m->Place = static_cast<IPTR>(static_cast<SIPTR>(data->w->endError.load()));
      return TRUE;
    default: break;
    }
    break;
  }
  default: break;
  }
  return DoSuperMethodA(cl, obj, msg);
}

} // namespace

void platform::SetFileOutputSpace(int64_t bytes) { gSpace = bytes < 0 ? -1 : bytes; }

namespace {

struct Registration {
  Registration() {
    MakeMediaClass("file.output", PortLayout::Sink, sizeof(FoData), FoDispatcher);
    platform::RegisterLibrary("multimedia/file.output", 52, 0, "file.output 52.0");
  }
} gRegistration;

} // namespace
