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

#include "reggae/media_class.h"

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

// Tasks and locks: the reader task runs ReaderLoop and fills the ring; the
// consumer's task runs Pull and empties it; both take mtx for the ring's
// positions and wait on cond. Create and Stop (at disposal) come from the
// owner's task; Start comes from whichever task makes the link, and both
// take startMtx. Interrupt and Wake run on the disposing or stopping task
// and only take mtx to wake the waits. The counters are atomics.
struct Ring {
  static constexpr auto kBadPull = BadPull::Fails;

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

  LONG Create(Object *o, TagItem *tags);

  LONG Pull(Object *, UBYTE *buf, LONG len) {
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

  bool Start() {
    std::lock_guard lock(startMtx);
    if (reader)
      return true;
    CONST_STRPTR name = ObjectName(obj);
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

  // The reader starts as soon as the input is linked.
  bool Method(Object *, Msg msg, IPTR &result) {
    if (msg->MethodID != MMM_Connected || reinterpret_cast<mmpConnected *>(msg)->Port != 0)
      return false;
    result = Start() ? TRUE : FALSE;
    return true;
  }

  bool GetPort(Object *, ULONG port, IPTR attr, IPTR &place) {
    switch (attr) {
    case MMA_StreamBuffer_Task: place = reinterpret_cast<IPTR>(reader.load()); return true;
    case MMA_StreamBuffer_Fill: place = Fill(); return true;
    case MMA_StreamBuffer_Size: place = data.size(); return true;
    case MMA_StreamBuffer_Received: place = static_cast<IPTR>(received.load()); return true;
    case MMA_ErrorCode:
      if (port != 0)
        return false;
      place = static_cast<IPTR>(static_cast<SIPTR>(endError.load()));
      return true;
    case MMA_PortFormat: place = MMFC_STREAM; return true;
    default: return false;
    }
  }
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

LONG Ring::Create(Object *o, TagItem *tags) {
  obj = o;
  size_t size = GetTagData(MMA_StreamBuffer_Size, kDefaultSize, tags);
  size = std::clamp(size, kMinSize, kMaxSize);
  try {
    data.resize(size);
  } catch (...) {
    return MMERR_NO_MEMORY;
  }
  SetInterruptHook(o, Interrupt, this);
  SetWakeHook(o, Wake, this);
  return MMERR_OK;
}

[[maybe_unused]] IClass *const gClass = MediaClass<Ring, PortLayout::Filter>::Register("stream.buffer");

} // namespace
