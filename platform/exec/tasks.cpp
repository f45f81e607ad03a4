// Tasks are threads with a signal mask.
//
// Locks: each task's TaskPrivate::lock guards its signal state; the
// registry's lock guards the list of live tasks; a semaphore's ss_Mutex
// guards its owner and nesting. WaitTimeout reads the clock (its own lock)
// inside the task's lock; no other lock is taken inside another.
//   Signal                        any task, on another; the target's lock
//   SetSignal, CheckSignal, Wait, WaitTimeout, AllocSignal, FreeSignal
//                                 a task on itself; its own lock
//   FindTask, CreateTask, the end of a task, a thread's first call
//                                 any task; the registry lock
//   JoinTask                      the task that created it, never the task
//                                 itself; no lock (it joins the thread)
//   TaskRunning, LiveTaskCount    any task; atomics
//   semaphores                    any task; the semaphore's ss_Mutex
//   Forbid, Permit                any task; one process-wide recursive mutex
#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <thread>
#include <vector>

#include "exec/clock.h"
#include "exec/exec.h"

struct TaskPrivate {
  std::mutex lock;
  std::condition_variable wake;
  ULONG sigRecvd = 0;
  ULONG sigAlloc = 0x0000FFFF; // the low 16 signals belong to the system
  std::string name;
  std::thread thread;
  std::function<void()> body;
  std::atomic<bool> running{false};
  bool adopted = false; // a thread the platform did not start
};

namespace {

struct Registry {
  std::mutex lock;
  std::vector<struct Task *> live; // in order of creation
  std::atomic<size_t> platformTasks{0};
};

// Never destroyed: a thread the platform did not start may still end (and
// unregister its task) while the process exits.
Registry &Tasks() {
  static Registry *const r = new Registry;
  return *r;
}

struct Task *NewTask(CONST_STRPTR name, LONG pri) {
  auto *t = new Task{};
  t->tc_Private = new TaskPrivate;
  t->tc_Private->name = name ? name : "";
  t->tc_Node.ln_Name = t->tc_Private->name.data();
  t->tc_Node.ln_Type = NT_TASK;
  t->tc_Node.ln_Pri = static_cast<BYTE>(std::clamp<LONG>(pri, -128, 127));
  return t;
}

void Register(struct Task *t) {
  auto &r = Tasks();
  std::lock_guard g(r.lock);
  r.live.push_back(t);
}

void Unregister(struct Task *t) {
  auto &r = Tasks();
  std::lock_guard g(r.lock);
  r.live.erase(std::remove(r.live.begin(), r.live.end(), t), r.live.end());
}

void FreeTask(struct Task *t) {
  // A Signal that already holds the lock must finish before the state goes.
  { std::lock_guard g(t->tc_Private->lock); }
  delete t->tc_Private;
  delete t;
}

// The task of the current thread: set by CreateTask for platform tasks,
// made on first use for any other thread and freed when that thread ends.
struct AdoptedTask {
  struct Task *task = nullptr;
  ~AdoptedTask() {
    if (task) {
      Unregister(task);
      FreeTask(task);
    }
  }
};
thread_local struct Task *tCurrent = nullptr;
thread_local AdoptedTask tAdopted;

struct Task *Current() {
  if (!tCurrent) {
    char name[32];
    static std::atomic<unsigned> counter{0};
    std::snprintf(name, sizeof name, "thread %u", ++counter);
    struct Task *t = NewTask(name, 0);
    t->tc_Private->adopted = true;
    t->tc_Private->running = true;
    tAdopted.task = t;
    tCurrent = t;
    Register(t);
  }
  return tCurrent;
}

} // namespace

struct Task *FindTask(CONST_STRPTR name) {
  if (!name) return Current();
  auto &r = Tasks();
  std::lock_guard g(r.lock);
  for (struct Task *t : r.live)
    if (t->tc_Private->name == name) return t;
  return nullptr;
}

void Signal(struct Task *task, ULONG signalSet) {
  if (!task) return;
  TaskPrivate *p = task->tc_Private;
  // Notify while holding the lock: once it is released the woken task may
  // end and free its state.
  std::lock_guard g(p->lock);
  p->sigRecvd |= signalSet;
  p->wake.notify_all();
}

ULONG SetSignal(ULONG newSignals, ULONG signalSet) {
  TaskPrivate *p = Current()->tc_Private;
  std::lock_guard g(p->lock);
  ULONG old = p->sigRecvd;
  p->sigRecvd = (old & ~signalSet) | (newSignals & signalSet);
  return old;
}

ULONG CheckSignal(ULONG signalSet) {
  TaskPrivate *p = Current()->tc_Private;
  std::lock_guard g(p->lock);
  ULONG got = p->sigRecvd & signalSet;
  p->sigRecvd &= ~got;
  return got;
}

ULONG Wait(ULONG signalSet) {
  if (!signalSet) return 0; // would sleep forever
  TaskPrivate *p = Current()->tc_Private;
  std::unique_lock g(p->lock);
  p->wake.wait(g, [&] { return (p->sigRecvd & signalSet) != 0; });
  ULONG got = p->sigRecvd & signalSet;
  p->sigRecvd &= ~got;
  return got;
}

BYTE AllocSignal(BYTE signalNum) {
  TaskPrivate *p = Current()->tc_Private;
  std::lock_guard g(p->lock);
  if (signalNum >= 0) {
    if (signalNum > 31 || (p->sigAlloc & (1u << signalNum))) return -1;
  } else {
    signalNum = -1;
    for (int b = 31; b >= 0; --b)
      if (!(p->sigAlloc & (1u << b))) {
        signalNum = static_cast<BYTE>(b);
        break;
      }
    if (signalNum < 0) return -1;
  }
  p->sigAlloc |= 1u << signalNum;
  p->sigRecvd &= ~(1u << signalNum);
  return signalNum;
}

void FreeSignal(BYTE signalNum) {
  if (signalNum < 0 || signalNum > 31) return;
  TaskPrivate *p = Current()->tc_Private;
  std::lock_guard g(p->lock);
  p->sigAlloc &= ~(1u << signalNum);
}

namespace platform {

struct Task *CreateTask(CONST_STRPTR name, LONG pri, std::function<void()> body) {
  struct Task *t = NewTask(name, pri);
  TaskPrivate *p = t->tc_Private;
  p->body = std::move(body);
  p->running = true;
  Register(t);
  Tasks().platformTasks++;
  p->thread = std::thread([t] {
    tCurrent = t;
    t->tc_Private->body();
    t->tc_Private->body = nullptr; // release captured state on the task itself
    Unregister(t);
    t->tc_Private->running = false;
    Tasks().platformTasks--;
  });
  return t;
}

void JoinTask(struct Task *task) {
  if (!task || task->tc_Private->adopted) return;
  if (task->tc_Private->thread.joinable()) {
    if (task->tc_Private->thread.get_id() == std::this_thread::get_id()) std::abort(); // a task cannot join itself
    task->tc_Private->thread.join();
  }
  FreeTask(task);
}

bool TaskRunning(struct Task *task) { return task && task->tc_Private->running; }

ULONG WaitTimeout(ULONG signalSet, uint64_t platformMs) {
  TaskPrivate *p = Current()->tc_Private;
  uint64_t deadline = ClockNowMs() + platformMs;
  std::unique_lock g(p->lock);
  for (;;) {
    if (ULONG got = p->sigRecvd & signalSet) {
      p->sigRecvd &= ~got;
      return got;
    }
    uint64_t now = ClockNowMs();
    if (now >= deadline) return 0;
    p->wake.wait_for(g, RealDuration(deadline - now));
  }
}

size_t LiveTaskCount() { return Tasks().platformTasks.load(); }

} // namespace platform

// ---- semaphores -----------------------------------------------------------

void InitSemaphore(struct SignalSemaphore *sem) {
  std::lock_guard g(sem->ss_Mutex);
  sem->ss_Link.ln_Type = NT_SIGNALSEM;
  sem->ss_Owner = nullptr;
  sem->ss_NestCount = 0;
}

namespace {

// Takes sem for me if it is free, or once more if it is mine already;
// ss_Mutex held.
bool TakeLocked(struct SignalSemaphore *sem, struct Task *me) {
  if (sem->ss_Owner == me) {
    ++sem->ss_NestCount;
    return true;
  }
  if (sem->ss_Owner) return false;
  sem->ss_Owner = me;
  sem->ss_NestCount = 1;
  return true;
}

} // namespace

void ObtainSemaphore(struct SignalSemaphore *sem) {
  struct Task *me = Current();
  std::unique_lock g(sem->ss_Mutex);
  sem->ss_Cond.wait(g, [&] { return TakeLocked(sem, me); });
}

ULONG AttemptSemaphore(struct SignalSemaphore *sem) {
  struct Task *me = Current();
  std::lock_guard g(sem->ss_Mutex);
  return TakeLocked(sem, me) ? TRUE : FALSE;
}

void ReleaseSemaphore(struct SignalSemaphore *sem) {
  struct Task *me = Current();
  bool freed = false;
  {
    std::lock_guard g(sem->ss_Mutex);
    if (sem->ss_Owner != me || sem->ss_NestCount <= 0) return; // not ours: ignore rather than corrupt
    if (--sem->ss_NestCount == 0) {
      sem->ss_Owner = nullptr;
      freed = true;
    }
  }
  if (freed) sem->ss_Cond.notify_all();
}

namespace {
std::recursive_mutex &ForbidLock() {
  static std::recursive_mutex m;
  return m;
}
} // namespace

void Forbid() { ForbidLock().lock(); }
void Permit() { ForbidLock().unlock(); }

// ---- time -------------------------------------------------------------------

void Delay(ULONG ticks) { platform::SleepMs(static_cast<uint64_t>(ticks) * 1000 / TICKS_PER_SECOND); }
