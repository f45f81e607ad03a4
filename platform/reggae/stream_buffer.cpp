// stream.buffer: a ring buffer between a network stream and its consumer.
// Its own reader task (the player calls it NetProcess) pulls the input as
// soon as the input is connected; CTRL-C to that task ends a blocked read.
// The error code of input port 0 says why the input ended (1101: clean end).
#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <vector>

#include "reggae/reggae.h"

namespace {

using namespace reggae;

constexpr size_t kDefaultSize = 128 * 1024;
constexpr size_t kMinSize = 4096;
constexpr size_t kMaxSize = 16 * 1024 * 1024;
constexpr size_t kReadChunk = 16384;
// Waits look for CTRL-C and disposal this often; data and disposal wake them
// at once.
constexpr auto kPoll = std::chrono::milliseconds(100);
constexpr auto kBatch = std::chrono::milliseconds(250);

struct Ring {
  Object *obj = nullptr;
  std::vector<UBYTE> data;
  std::mutex mtx;
  std::condition_variable cond;
  size_t readPos = 0, used = 0;  // guarded by mtx
  size_t need = 0;               // bytes the waiting consumer still wants; guarded by mtx
  bool ended = false;            // guarded by mtx
  std::atomic<LONG> endError{MMERR_OK};
  std::atomic<uint64_t> received{0}; // what the input delivered, for a watcher of the data rate
  std::atomic<bool> stop{false};
  std::atomic<Task *> reader{nullptr};
  std::mutex startMtx; // reader start and join

  void ReaderLoop() {
    LONG why = MMERR_OK;
    for (;;) {
      size_t writePos, room;
      {
        std::unique_lock lock(mtx);
        while (used == data.size()) {
          if (stop || ShouldAbort(obj, &why)) {
            if (why == MMERR_OK)
              why = MMERR_ABORTED;
            goto done;
          }
          cond.wait_for(lock, kPoll);
        }
        writePos = (readPos + used) % data.size();
        room = std::min(data.size() - used, data.size() - writePos);
      }
      if (stop) {
        why = MMERR_ABORTED;
        break;
      }
      // The region [writePos, writePos + room) belongs to the reader alone
      // until `used` covers it.
      const LONG want = static_cast<LONG>(std::min(room, kReadChunk));
      const LONG got = PullInputSome(obj, 0, data.data() + writePos, want);
      if (got > 0) {
        received += static_cast<uint64_t>(got);
        std::unique_lock lock(mtx);
        used += static_cast<size_t>(got);
        // Wake the consumer only when its pull can be answered.
        if (used >= need || used == data.size())
          cond.notify_all();
        // With a good reserve in the ring, let the socket collect data for a
        // while: one read of many packets instead of a wake-up for each.
        if (used >= data.size() / 4 && got < want)
          cond.wait_for(lock, kBatch, [this] { return stop.load() || used < data.size() / 8; });
      }
      if (got <= 0) {
        LONG err = InputError(obj, 0);
        if (err != MMERR_OK) {
          why = err;
          break;
        }
      }
    }
  done:
    std::lock_guard lock(mtx);
    endError = why;
    ended = true;
    cond.notify_all();
  }

  LONG Read(UBYTE *buf, LONG len) {
    LONG got = 0;
    std::unique_lock lock(mtx);
    while (got < len) {
      if (used) {
        size_t n = std::min({used, data.size() - readPos, static_cast<size_t>(len - got)});
        std::copy_n(data.data() + readPos, n, buf + got);
        readPos = (readPos + n) % data.size();
        used -= n;
        got += static_cast<LONG>(n);
        // The reader may wait for room, or for the reserve to run low.
        if (used + n == data.size() || (used + n >= data.size() / 8 && used < data.size() / 8))
          cond.notify_all();
        continue;
      }
      if (ended) {
        SetPortError(obj, 1, endError);
        break;
      }
      LONG why = MMERR_OK;
      if (ShouldAbort(obj, &why)) {
        SetPortError(obj, 1, why);
        break;
      }
      need = static_cast<size_t>(len - got);
      cond.wait_for(lock, kPoll);
      need = 0;
    }
    return got;
  }

  IPTR Fill() {
    std::lock_guard lock(mtx);
    return static_cast<IPTR>((static_cast<uint64_t>(used) << 16) / data.size());
  }

  bool Start(Object *o) {
    std::lock_guard lock(startMtx);
    if (reader)
      return true;
    CONST_STRPTR name = ObjectName(o);
    reader = platform::CreateTask(name ? name : "NetProcess", 0, [this] { ReaderLoop(); });
    return reader != nullptr;
  }

  void Stop() {
    stop = true;
    {
      std::lock_guard lock(mtx);
      cond.notify_all();
    }
    std::lock_guard lock(startMtx);
    if (Task *t = reader.exchange(nullptr))
      platform::JoinTask(t);
  }
};

struct BufferData {
  Ring *ring;
};

void Interrupt(Object *, void *user) {
  auto *r = static_cast<Ring *>(user);
  r->stop = true;
  std::lock_guard lock(r->mtx);
  r->cond.notify_all();
}

// A consumer downstream gave up: its pull waiting here looks again.
void Wake(Object *, void *user) {
  auto *r = static_cast<Ring *>(user);
  std::lock_guard lock(r->mtx);
  r->cond.notify_all();
}

IPTR BufferNew(IClass *cl, Object *obj, opSet *msg) {
  auto *o = reinterpret_cast<Object *>(DoSuperMethodA(cl, obj, reinterpret_cast<Msg>(msg)));
  if (!o)
    return 0;
  auto *d = static_cast<BufferData *>(INST_DATA(cl, o));
  size_t size = GetTagData(MMA_StreamBuffer_Size, kDefaultSize, msg->ops_AttrList);
  size = std::clamp(size, kMinSize, kMaxSize);
  d->ring = new (std::nothrow) Ring;
  if (d->ring) {
    d->ring->obj = o;
    try {
      d->ring->data.resize(size);
    } catch (...) {
      delete d->ring;
      d->ring = nullptr;
    }
  }
  if (!d->ring) {
    SetCreateError(msg->ops_AttrList, MMERR_NO_MEMORY);
    CoerceMethod(cl, o, OM_DISPOSE);
    return 0;
  }
  SetInterruptHook(o, Interrupt, d->ring);
  SetWakeHook(o, Wake, d->ring);
  return reinterpret_cast<IPTR>(o);
}

IPTR BufferDispatcher(IClass *cl, Object *obj, Msg msg) {
  switch (msg->MethodID) {
  case OM_NEW: return BufferNew(cl, obj, reinterpret_cast<opSet *>(msg));
  case OM_DISPOSE: {
    auto *d = static_cast<BufferData *>(INST_DATA(cl, obj));
    if (d->ring) {
      d->ring->Stop();
      delete d->ring;
      d->ring = nullptr;
    }
    break;
  }
  case MMM_Connected: {
    auto *m = reinterpret_cast<mmpConnected *>(msg);
    auto *d = static_cast<BufferData *>(INST_DATA(cl, obj));
    if (m->Port == 0)
      return d->ring && d->ring->Start(obj) ? TRUE : FALSE;
    break;
  }
  case MMM_GetPort: {
    auto *m = reinterpret_cast<mmpGetPort *>(msg);
    auto *d = static_cast<BufferData *>(INST_DATA(cl, obj));
    if (!m->Place || !d->ring)
      break;
    switch (m->Attribute) {
    case MMA_StreamBuffer_Task: *m->Place = reinterpret_cast<IPTR>(d->ring->reader.load()); return TRUE;
    case MMA_StreamBuffer_Fill: *m->Place = d->ring->Fill(); return TRUE;
    case MMA_StreamBuffer_Size: *m->Place = d->ring->data.size(); return TRUE;
    case MMA_StreamBuffer_Received: *m->Place = static_cast<IPTR>(d->ring->received.load()); return TRUE;
    case MMA_ErrorCode:
      if (m->Port == 0) {
        *m->Place = static_cast<IPTR>(static_cast<SIPTR>(d->ring->endError.load()));
        return TRUE;
      }
      break;
    case MMA_PortFormat: *m->Place = MMFC_STREAM; return TRUE;
    default: break;
    }
    break;
  }
  case MMM_Pull: {
    auto *m = reinterpret_cast<mmpPull *>(msg);
    auto *d = static_cast<BufferData *>(INST_DATA(cl, obj));
    if (m->Port != 1 || !d->ring || !m->Buffer || static_cast<SIPTR>(m->Length) < 0) {
      SetPortError(obj, 1, MMERR_BAD_ARGUMENTS);
      return 0;
    }
    return static_cast<IPTR>(
        d->ring->Read(static_cast<UBYTE *>(m->Buffer), static_cast<LONG>(std::min<IPTR>(m->Length, 0x7FFFFFFF))));
  }
  default: break;
  }
  return DoSuperMethodA(cl, obj, msg);
}

struct Registration {
  Registration() {
    MakeMediaClass("stream.buffer", PortLayout::Filter, sizeof(BufferData), BufferDispatcher);
    platform::RegisterLibrary("multimedia/stream.buffer", 52, 0, "stream.buffer 52.0");
  }
} gRegistration;

} // namespace
