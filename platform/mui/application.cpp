// Application.mui and the loop of the GUI task: pushed methods (FIFO,
// optionally delayed), timer and signal input handlers, and input from the
// display. Other tasks come in only through the push queue, which is
// guarded by the application's lock; the loop sleeps in Wait() until a push,
// a timer or a signal is due.
#include <algorithm>
#include <atomic>
#include <string>
#include <thread>
#include <unordered_map>

#include "exec/clock.h"
#include "mui/core_internal.h"
#include "mui/display.h"

namespace platform::mui {

namespace {

constexpr IPTR kMaxPushWords = 64;

struct PushItem {
  uint64_t due;
  uint64_t seq;
  IPTR id;
  Object *dest;
  uint64_t destSerial;
  std::vector<IPTR> msg;
  std::function<void()> fn; // input from the display, posted closures
};

struct TimerItem {
  struct MUI_InputHandlerNode *ihn;
  Object *obj;
  ULONG method;
  uint64_t interval;
  uint64_t due;
  uint64_t token;
};

struct SignalItem {
  struct MUI_InputHandlerNode *ihn;
  Object *obj;
  ULONG method;
  ULONG sigs;
};

struct AppState {
  Object *app = nullptr;
  std::mutex lock;             // guards everything below
  std::vector<PushItem> queue; // sorted by (due, seq)
  std::vector<TimerItem> timers;
  std::vector<SignalItem> signalHandlers;
  struct Task *guiTask = nullptr;
  ULONG wakeSig = 0;
  int depth = 0;
  uint64_t nextSeq = 1;
  IPTR nextId = 1;
  uint64_t nextToken = 1;
  bool stop = false;
  bool external = false; // driven by MUIM_Application_NewInput
  IPTR returnId = 0;
};

struct AppData {
  std::shared_ptr<AppState> *state;
  struct MinList windows;
  Object *menustrip;
  std::string *strings; // title, base, author, version, description, copyright
  LONG sleep;
  BOOL iconified;
};

enum { kTitle, kBase, kAuthor, kVersion, kDescription, kCopyright, kStrings };
constexpr Tag kStringTags[kStrings] = {MUIA_Application_Title,       MUIA_Application_Base,
                                       MUIA_Application_Author,      MUIA_Application_Version,
                                       MUIA_Application_Description, MUIA_Application_Copyright};

IClass *g_appClass = nullptr;

std::mutex g_appsLock;
std::unordered_map<Object *, std::shared_ptr<AppState>> g_apps; // guarded by g_appsLock
Object *g_current = nullptr;                                    // guarded by g_appsLock

thread_local AppState *tl_loop = nullptr; // the innermost loop running on this task

std::shared_ptr<AppState> StateOf(Object *app) {
  std::lock_guard g(g_appsLock);
  auto it = g_apps.find(app);
  return it == g_apps.end() ? nullptr : it->second;
}

// Signals only a running loop, and under the lock: the loop's task cannot
// end (and be freed) in between, because leaving the loop takes the lock.
void Wake(AppState &s) {
  std::lock_guard g(s.lock);
  if ((s.depth > 0 || s.external) && s.guiTask && s.wakeSig) Signal(s.guiTask, s.wakeSig);
}

// Caller holds s.lock.
IPTR Enqueue(AppState &s, PushItem item) {
  item.seq = s.nextSeq++;
  item.id = s.nextId++;
  if (!item.id) item.id = s.nextId++;
  auto pos = std::upper_bound(s.queue.begin(), s.queue.end(), item, [](const PushItem &a, const PushItem &b) {
    return a.due != b.due ? a.due < b.due : a.seq < b.seq;
  });
  IPTR id = item.id;
  s.queue.insert(pos, std::move(item));
  return id;
}

uint64_t TimerInterval(const struct MUI_InputHandlerNode *ihn) {
  uint64_t ms = ihn->ihn_Millis;
  bool s10 = ihn->ihn_Flags & MUIIHNF_TIMER_SCALE10, s100 = ihn->ihn_Flags & MUIIHNF_TIMER_SCALE100;
  if (s10 && s100)
    ms *= 1000;
  else if (s100)
    ms *= 100;
  else if (s10)
    ms *= 10;
  return ms ? ms : 1;
}

// Runs what is due now: the pushes queued before this pass started (so a
// method that pushes itself cannot starve the loop), then the timers.
void ProcessDue(AppState &s) {
  uint64_t now = ClockNowMs();
  uint64_t limit;
  {
    std::lock_guard g(s.lock);
    limit = s.nextSeq;
  }
  for (;;) {
    PushItem item;
    {
      std::lock_guard g(s.lock);
      auto it = std::find_if(s.queue.begin(), s.queue.end(), [&](const PushItem &p) { return p.seq < limit; });
      if (it == s.queue.end() || it->due > now) break;
      item = std::move(*it);
      s.queue.erase(it);
    }
    if (item.fn)
      item.fn();
    else if (StillLive(item.dest, item.destSerial))
      DoMethodA(item.dest, reinterpret_cast<Msg>(item.msg.data()));
    {
      std::lock_guard g(s.lock);
      if (s.stop) return;
    }
  }
  std::vector<TimerItem> fire;
  {
    std::lock_guard g(s.lock);
    for (auto &t : s.timers)
      if (t.due <= now) {
        fire.push_back(t);
        t.due = now + t.interval;
      }
  }
  for (auto &t : fire) {
    bool still;
    {
      std::lock_guard g(s.lock);
      still = std::any_of(s.timers.begin(), s.timers.end(), [&](const TimerItem &x) { return x.token == t.token; });
    }
    if (still && IsLiveObject(t.obj)) DoMethod(t.obj, t.method);
  }
}

void RunSignalHandlers(AppState &s, ULONG got) {
  std::vector<SignalItem> hits;
  {
    std::lock_guard g(s.lock);
    for (auto &h : s.signalHandlers)
      if (h.sigs & got) hits.push_back(h);
  }
  for (auto &h : hits)
    if (IsLiveObject(h.obj)) DoMethod(h.obj, h.method);
}

// Makes the calling task the one the loop runs on.
void Attach(AppState &s) {
  std::lock_guard g(s.lock);
  struct Task *me = FindTask(nullptr);
  if (s.guiTask != me || !s.wakeSig) {
    if (s.guiTask == me && s.wakeSig) return;
    BYTE bit = AllocSignal(-1);
    s.guiTask = me;
    s.wakeSig = bit >= 0 ? (1u << bit) : SIGBREAKF_CTRL_E;
  }
}

void RunLoop(AppState &s, const std::function<bool()> &done) {
  Attach(s);
  AppState *outer = tl_loop;
  tl_loop = &s;
  {
    std::lock_guard g(s.lock);
    s.depth++;
  }
  for (;;) {
    {
      std::lock_guard g(s.lock);
      if (s.stop) break;
    }
    if (done && done()) break;
    ProcessDue(s);
    uint64_t wait = UINT64_MAX;
    ULONG mask;
    {
      std::lock_guard g(s.lock);
      if (s.stop) break;
      uint64_t now = ClockNowMs();
      if (!s.queue.empty()) wait = s.queue.front().due > now ? s.queue.front().due - now : 0;
      for (auto &t : s.timers)
        wait = std::min(wait, t.due > now ? t.due - now : 0);
      mask = s.wakeSig;
      for (auto &h : s.signalHandlers)
        mask |= h.sigs;
    }
    if (done && done()) break;
    ULONG got;
    if (wait == 0)
      got = SetSignal(0, mask) & mask; // due now: just collect signals
    else if (wait == UINT64_MAX)
      got = Wait(mask);
    else
      got = WaitTimeout(mask, wait);
    if (got & ~s.wakeSig) RunSignalHandlers(s, got);
  }
  tl_loop = outer;
  std::lock_guard g(s.lock);
  if (--s.depth == 0) {
    s.stop = false;
    if (s.external) return; // its own loop still waits for the signal
    // The signal belongs to this task; a later loop may run on another one.
    for (BYTE b = 0; b < 32; b++)
      if (s.wakeSig == (1u << b) && s.wakeSig != SIGBREAKF_CTRL_E) FreeSignal(b);
    s.wakeSig = 0;
  }
}

// Push and KillPushes are the application's thread-safe methods: any task
// calls them. Both take s.lock (the queue's) and no other lock; Push looks
// the destination up in the registry of live objects before, and signals
// the GUI task (Wake) after, outside it. The pushed method itself runs
// later on the GUI task, with no lock held.
IPTR Push(AppState &s, const IPTR *w) {
  auto *dest = reinterpret_cast<Object *>(w[1]);
  IPTR countFlags = w[2];
  IPTR count = countFlags & 0xff;
  uint64_t delay = (countFlags >> 8) & 0xfffff;
  if (!dest || count == 0 || count > kMaxPushWords) return 0;
  // Only live toolkit objects: a pointer the toolkit does not know may be
  // freed before the push runs.
  uint64_t serial = SerialOf(dest);
  if (!serial) return 0;
  PushItem item;
  item.due = ClockNowMs() + delay;
  item.dest = dest;
  item.destSerial = serial;
  item.msg.assign(w + 3, w + 3 + count);
  item.msg.resize(count + kMsgPad, 0);
  IPTR id;
  {
    std::lock_guard g(s.lock);
    if (countFlags & MUIF_PUSHMETHOD_SINGLE)
      for (auto &p : s.queue)
        if (!p.fn && p.dest == dest && p.msg[0] == item.msg[0]) return p.id;
    id = Enqueue(s, std::move(item));
  }
  Wake(s);
  return id;
}

IPTR KillPushes(AppState &s, Object *dest, IPTR id, IPTR method) {
  if (!dest && !id) return 0;
  std::lock_guard g(s.lock);
  size_t before = s.queue.size();
  s.queue.erase(std::remove_if(s.queue.begin(), s.queue.end(),
                               [&](const PushItem &p) {
                                 return !p.fn && (!dest || p.dest == dest) && (!id || p.id == id) &&
                                        (!method || p.msg[0] == method);
                               }),
                s.queue.end());
  return before - s.queue.size();
}

IPTR AddInputHandler(AppState &s, struct MUI_InputHandlerNode *ihn) {
  if (!ihn || !ihn->ihn_Object) return FALSE;
  {
    std::lock_guard g(s.lock);
    auto same = [&](auto &x) { return x.ihn == ihn; };
    if (std::any_of(s.timers.begin(), s.timers.end(), same) ||
        std::any_of(s.signalHandlers.begin(), s.signalHandlers.end(), same))
      return TRUE; // already added
    if (ihn->ihn_Flags & MUIIHNF_TIMER) {
      uint64_t interval = TimerInterval(ihn);
      s.timers.push_back({ihn, ihn->ihn_Object, ihn->ihn_Method, interval, ClockNowMs() + interval, s.nextToken++});
    } else {
      s.signalHandlers.push_back({ihn, ihn->ihn_Object, ihn->ihn_Method, ihn->ihn_Signals});
    }
  }
  Wake(s); // the loop waits for a new time or signal now
  return TRUE;
}

IPTR RemInputHandler(AppState &s, struct MUI_InputHandlerNode *ihn) {
  std::lock_guard g(s.lock);
  auto same = [&](auto &x) { return x.ihn == ihn; };
  s.timers.erase(std::remove_if(s.timers.begin(), s.timers.end(), same), s.timers.end());
  s.signalHandlers.erase(std::remove_if(s.signalHandlers.begin(), s.signalHandlers.end(), same),
                         s.signalHandlers.end());
  return TRUE;
}

bool OnGuiTask(AppState &s) {
  std::lock_guard g(s.lock);
  return !s.guiTask || s.guiTask == FindTask(nullptr);
}

void SetSleepAll(AppData *d, bool sleep) {
  for (Object *w : ListChildren(&d->windows))
    SetAttrs(w, MUIA_Window_Sleep, sleep);
}

IPTR AppNew(IClass *cl, Object *obj, opSet *msg) {
  std::vector<Object *> windows;
  bool missing = !TaggedObjects(msg->ops_AttrList, MUIA_Application_Window, windows);
  auto *strip = reinterpret_cast<Object *>(GetTagData(MUIA_Application_Menustrip, 0, msg->ops_AttrList));
  Object *o = missing ? nullptr : reinterpret_cast<Object *>(DoSuperMethodA(cl, obj, reinterpret_cast<Msg>(msg)));
  if (!o) {
    for (Object *w : windows)
      DisposeObject(w);
    DisposeObject(strip);
    return 0;
  }
  auto *d = static_cast<AppData *>(INST_DATA(cl, o));
  NewMinList(&d->windows);
  d->strings = new std::string[kStrings];
  for (int i = 0; i < kStrings; i++)
    if (auto *s = reinterpret_cast<CONST_STRPTR>(GetTagData(kStringTags[i], 0, msg->ops_AttrList))) d->strings[i] = s;
  d->menustrip = strip;
  if (strip) SetObjectParent(strip, o);
  auto state = std::make_shared<AppState>();
  state->app = o;
  state->guiTask = nullptr;
  d->state = new std::shared_ptr<AppState>(state);
  {
    std::lock_guard g(g_appsLock);
    g_apps[o] = state;
    g_current = o;
  }
  for (Object *w : windows)
    LinkChild(o, &d->windows, w, nullptr, false);
  return reinterpret_cast<IPTR>(o);
}

IPTR AppDispose(IClass *cl, Object *obj, Msg msg) {
  auto *d = static_cast<AppData *>(INST_DATA(cl, obj));
  for (Object *w : ListChildren(&d->windows)) {
    SetAttrs(w, MUIA_Window_Open, FALSE);
    UnlinkChild(w);
    DisposeObject(w);
  }
  DisposeObject(d->menustrip);
  d->menustrip = nullptr;
  std::shared_ptr<AppState> state = *d->state;
  {
    std::lock_guard g(g_appsLock);
    g_apps.erase(obj);
    if (g_current == obj) g_current = g_apps.empty() ? nullptr : g_apps.begin()->first;
  }
  std::vector<PushItem> dropped;
  {
    std::lock_guard g(state->lock);
    dropped.swap(state->queue); // closures are destroyed outside the lock
    state->timers.clear();
    state->signalHandlers.clear();
    state->stop = true;
  }
  dropped.clear();
  delete d->state;
  delete[] d->strings;
  return DoSuperMethodA(cl, obj, msg);
}

IPTR AppMethod(IClass *cl, Object *obj, Msg msg, AppData *d) {
  const IPTR *w = Words(msg);
  AppState &s = **d->state;
  switch (msg->MethodID) {
  case MUIM_Application_PushMethod:
    return Push(s, w);
  case MUIM_Application_KillPushMethod:
    return KillPushes(s, reinterpret_cast<Object *>(w[1]), w[2], w[3]);
  case MUIM_Application_AddInputHandler:
    return AddInputHandler(s, reinterpret_cast<struct MUI_InputHandlerNode *>(w[1]));
  case MUIM_Application_RemInputHandler:
    return RemInputHandler(s, reinterpret_cast<struct MUI_InputHandlerNode *>(w[1]));
  case MUIM_Application_InputBuffered:
    if (OnGuiTask(s)) ProcessDue(s);
    return 0;
  case MUIM_Application_NewInput: {
    Attach(s);
    {
      std::lock_guard g(s.lock);
      s.external = true; // a loop of the caller's own waits for the signals
    }
    auto *sigs = reinterpret_cast<ULONG *>(w[1]);
    if (sigs && *sigs) RunSignalHandlers(s, *sigs);
    ProcessDue(s);
    std::lock_guard g(s.lock);
    if (sigs) {
      *sigs = s.wakeSig;
      for (auto &h : s.signalHandlers)
        *sigs |= h.sigs;
    }
    IPTR r = s.returnId;
    s.returnId = 0;
    return r;
  }
  case MUIM_Application_ReturnID: {
    {
      std::lock_guard g(s.lock);
      s.returnId = w[1];
      if (w[1] == MUIV_Application_ReturnID_Quit) s.stop = true;
    }
    Wake(s);
    return 0;
  }
  case OM_ADDMEMBER:
    if (!IsA(reinterpret_cast<Object *>(w[1]), WindowClass())) return FALSE;
    return LinkChild(obj, &d->windows, reinterpret_cast<Object *>(w[1]), nullptr, false);
  case OM_REMMEMBER: {
    auto *win = reinterpret_cast<Object *>(w[1]);
    if (!win || !ListContains(&d->windows, win)) return FALSE;
    SetAttrs(win, MUIA_Window_Open, FALSE);
    UnlinkChild(win);
    return TRUE;
  }
  case OM_SET: {
    struct TagItem *tags = reinterpret_cast<opSet *>(msg)->ops_AttrList, *t;
    while ((t = NextTagItem(&tags))) {
      if (t->ti_Tag == MUIA_Application_Sleep) {
        if (t->ti_Data)
          d->sleep++;
        else if (d->sleep > 0)
          d->sleep--;
        SetSleepAll(d, t->ti_Data != 0);
      } else if (t->ti_Tag == MUIA_Application_Iconified) {
        d->iconified = t->ti_Data != 0;
      }
    }
    break;
  }
  case OM_GET: {
    auto *store = reinterpret_cast<IPTR *>(w[2]);
    if (!store) break;
    for (int i = 0; i < kStrings; i++)
      if (w[1] == kStringTags[i]) return *store = reinterpret_cast<IPTR>(d->strings[i].c_str()), TRUE;
    if (w[1] == MUIA_Application_Menustrip) return *store = reinterpret_cast<IPTR>(d->menustrip), TRUE;
    if (w[1] == MUIA_Application_Sleep) return *store = d->sleep > 0, TRUE;
    if (w[1] == MUIA_Application_Iconified) return *store = d->iconified, TRUE;
    break;
  }
  case MUIM_FindUData:
  case MUIM_GetUData:
  case MUIM_SetUDataOnce:
  case MUIM_SetUData: {
    std::vector<Object *> parts = ListChildren(&d->windows);
    parts.push_back(d->menustrip);
    return UDataOverParts(cl, obj, msg, parts);
  }
  }
  return DoSuperMethodA(cl, obj, msg);
}

} // namespace

IClass *MakeApplicationClass() {
  DISPATCHERFUNC dispatcher = PartsDispatcher<AppData, AppNew, AppDispose, AppMethod>;
  return g_appClass = MakePublicClass(MUIC_Application, MUIC_Notify, sizeof(AppData), dispatcher);
}

IClass *ApplicationClass() { return g_appClass; }

void ForgetInApplications(Object *obj) {
  std::vector<std::shared_ptr<AppState>> apps;
  {
    std::lock_guard g(g_appsLock);
    for (auto &[o, s] : g_apps)
      apps.push_back(s);
  }
  for (auto &s : apps) {
    std::lock_guard g(s->lock);
    s->queue.erase(
        std::remove_if(s->queue.begin(), s->queue.end(), [&](const PushItem &p) { return !p.fn && p.dest == obj; }),
        s->queue.end());
    s->timers.erase(
        std::remove_if(s->timers.begin(), s->timers.end(), [&](const TimerItem &t) { return t.obj == obj; }),
        s->timers.end());
    s->signalHandlers.erase(std::remove_if(s->signalHandlers.begin(), s->signalHandlers.end(),
                                           [&](const SignalItem &h) { return h.obj == obj; }),
                            s->signalHandlers.end());
  }
}

void RunBlocking(const std::function<void()> &call) {
  AppState *s = tl_loop;
  if (!s) {
    call();
    return;
  }
  // The GUI task keeps its loop running while the display waits for the
  // person; the answer comes back through the done flag.
  std::atomic<bool> done{false};
  std::shared_ptr<AppState> keep = StateOf(s->app);
  std::thread helper([&] {
    call();
    done.store(true, std::memory_order_release);
    if (keep) Wake(*keep);
  });
  if (keep) RunLoop(*keep, [&] { return done.load(std::memory_order_acquire); });
  helper.join();
}

} // namespace platform::mui

using namespace platform::mui;

void platform::RunApplicationLoop(Object *app, std::function<bool()> keepRunning) {
  auto s = StateOf(app);
  if (!s) return;
  RunLoop(*s, [&] { return keepRunning && !keepRunning(); });
}

void platform::StopApplication(Object *app) {
  auto s = StateOf(app);
  if (!s) return;
  {
    std::lock_guard g(s->lock);
    s->stop = true; // also when the loop has not started yet: it returns at once
  }
  Wake(*s);
}

void platform::WakeApplication(Object *app) {
  if (auto s = StateOf(app)) Wake(*s);
}

bool platform::PostToApplication(Object *app, std::function<void()> fn) {
  auto s = StateOf(app);
  if (!s || !fn) return false;
  {
    std::lock_guard g(s->lock);
    PushItem item;
    item.due = ClockNowMs();
    item.dest = nullptr;
    item.destSerial = 0;
    item.fn = std::move(fn);
    Enqueue(*s, std::move(item));
  }
  Wake(*s);
  return true;
}

Object *platform::CurrentApplication() {
  std::lock_guard g(g_appsLock);
  return g_current;
}

bool platform::IsApplicationTask(Object *app) {
  auto s = StateOf(app);
  return s && OnGuiTask(*s);
}
