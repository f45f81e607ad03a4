// multimedia.class: the root of every media class. It keeps the ports and
// their links, counts the pulls running inside each object so that an object
// can be disposed from any task while another pulls from it, and answers the
// attributes every object has.
#include <atomic>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "reggae/reggae.h"

namespace reggae {
namespace {

constexpr ULONG kMaxPorts = 2;
constexpr ULONG kClassMagic = 0x52474745; // 'RGGE'

struct ClassInfo {
  ULONG magic;
  PortLayout layout;
  DISPATCHERFUNC dispatcher;
};

struct Link {
  Object *peer = nullptr;
  ULONG peerPort = 0;
};

struct MediaState {
  PortLayout layout = PortLayout::Source;
  std::string name;
  bool hasName = false;
  Link links[kMaxPorts]; // guarded by gLinkMutex
  int inflight = 0;      // pulls running inside the object; guarded by gLinkMutex
  std::atomic<bool> closing{false};
  std::atomic<bool> aborting{false};
  std::atomic<LONG> portError[kMaxPorts] = {};
  std::atomic<LONG> inputError[kMaxPorts] = {};
  void (*interrupt)(Object *, void *) = nullptr;
  void *interruptUser = nullptr;
  void (*wake)(Object *, void *) = nullptr; // set before the object is linked
  void *wakeUser = nullptr;
};

struct BaseData {
  MediaState *state;
};

// One lock for every link and pull count: links change rarely and pulls
// take it only briefly, so a finer scheme would buy nothing.
std::mutex gLinkMutex;
std::condition_variable gLinkCond;

// The objects the calling thread is pulling through, innermost last. A wait
// inside a pull gives up as soon as any of them is being disposed.
thread_local std::vector<MediaState *> tPullStack;

IPTR BaseDispatcher(IClass *cl, Object *obj, Msg msg);

MediaState *State(Object *obj) {
  if (!obj)
    return nullptr;
  return static_cast<BaseData *>(INST_DATA(RootClass(), obj))->state;
}

const ClassInfo *InfoOf(IClass *cl) {
  auto *info = reinterpret_cast<const ClassInfo *>(cl ? cl->cl_UserData : 0);
  return info && info->magic == kClassMagic ? info : nullptr;
}

PortLayout LayoutOf(Object *obj) {
  for (IClass *c = OCLASS(obj); c; c = c->cl_Super)
    if (auto *info = InfoOf(c))
      return info->layout;
  return PortLayout::Source;
}

bool IsOutputPort(const MediaState *s, ULONG port) {
  switch (s->layout) {
  case PortLayout::Source: return port == 0;
  case PortLayout::Filter: return port == 1;
  case PortLayout::Sink: return false;
  }
  return false;
}
bool IsInputPort(const MediaState *s, ULONG port) { return s->layout != PortLayout::Source && port == 0; }

struct StackGuard {
  explicit StackGuard(MediaState *s) { tPullStack.push_back(s); }
  ~StackGuard() { tPullStack.pop_back(); }
};

// Unlinks every port of obj (both ends); caller holds gLinkMutex.
void UnlinkAll(Object *obj, MediaState *s) {
  for (ULONG p = 0; p < kMaxPorts; ++p) {
    Link &l = s->links[p];
    if (!l.peer)
      continue;
    if (MediaState *ps = State(l.peer); ps && l.peerPort < kMaxPorts && ps->links[l.peerPort].peer == obj)
      ps->links[l.peerPort] = Link{};
    l = Link{};
  }
}

// Wakes the waits of every object obj pulls from, directly or further up
// the chain, so that a pull given up downstream does not sit out a poll
// timeout upstream. Caller holds gLinkMutex, which keeps each linked peer
// from reaching its own disposal meanwhile.
void WakeInputs(MediaState *s, int depth = 0) {
  if (depth > 16)
    return; // a chain is a handful of objects; this bounds a cycle
  for (ULONG p = 0; p < kMaxPorts; ++p) {
    if (!IsInputPort(s, p) || !s->links[p].peer)
      continue;
    Object *peer = s->links[p].peer;
    if (MediaState *ps = State(peer)) {
      if (ps->wake)
        ps->wake(peer, ps->wakeUser);
      WakeInputs(ps, depth + 1);
    }
  }
}

// Every media class gets this dispatcher in front of its own: disposal first
// stops new pulls, wakes blocked ones and waits for them to leave, so the
// class can free its data safely; every pull is counted.
IPTR Trampoline(IClass *cl, Object *obj, Msg msg) {
  const ClassInfo *info = InfoOf(cl);
  const bool outermost = obj && msg->MethodID != OM_NEW && OCLASS(obj) == cl;
  if (outermost && msg->MethodID == OM_DISPOSE) {
    if (MediaState *s = State(obj)) {
      s->closing = true;
      if (s->interrupt)
        s->interrupt(obj, s->interruptUser);
      std::unique_lock lock(gLinkMutex);
      WakeInputs(s);
      UnlinkAll(obj, s);
      gLinkCond.wait(lock, [s] { return s->inflight == 0; });
    }
  } else if (outermost && (msg->MethodID == MMM_Pull || msg->MethodID == MMM_PullSome)) {
    MediaState *s = State(obj);
    if (!s)
      return 0;
    {
      std::lock_guard lock(gLinkMutex);
      if (s->closing)
        return 0;
      ++s->inflight;
    }
    IPTR r;
    {
      StackGuard g(s);
      r = info->dispatcher(cl, obj, msg);
    }
    std::lock_guard lock(gLinkMutex);
    if (--s->inflight == 0)
      gLinkCond.notify_all();
    return r;
  }
  return info->dispatcher(cl, obj, msg);
}

IPTR BaseNew(IClass *cl, Object *obj, opSet *msg) {
  auto *o = reinterpret_cast<Object *>(DoSuperMethodA(cl, obj, reinterpret_cast<Msg>(msg)));
  if (!o)
    return 0;
  auto *s = new (std::nothrow) MediaState;
  if (!s) {
    SetCreateError(msg->ops_AttrList, MMERR_NO_MEMORY);
    CoerceMethod(cl, o, OM_DISPOSE);
    return 0;
  }
  static_cast<BaseData *>(INST_DATA(cl, o))->state = s;
  s->layout = LayoutOf(o);
  if (auto name = reinterpret_cast<CONST_STRPTR>(GetTagData(MMA_ObjectName, 0, msg->ops_AttrList))) {
    s->name = name;
    s->hasName = true;
  }
  SetCreateError(msg->ops_AttrList, MMERR_OK);
  return reinterpret_cast<IPTR>(o);
}

IPTR BaseDispose(IClass *cl, Object *obj, Msg msg) {
  auto *d = static_cast<BaseData *>(INST_DATA(cl, obj));
  if (MediaState *s = d->state) {
    {
      // Objects made directly from the root class have no trampoline.
      std::unique_lock lock(gLinkMutex);
      s->closing = true;
      UnlinkAll(obj, s);
      gLinkCond.wait(lock, [s] { return s->inflight == 0; });
    }
    delete s;
    d->state = nullptr;
  }
  return DoSuperMethodA(cl, obj, msg);
}

IPTR BaseGetPort(Object *obj, mmpGetPort *m) {
  MediaState *s = State(obj);
  if (!s || !m->Place || m->Port >= kMaxPorts)
    return FALSE;
  switch (m->Attribute) {
  case MMA_ErrorCode:
    *m->Place = static_cast<IPTR>(static_cast<SIPTR>(IsInputPort(s, m->Port) ? s->inputError[m->Port].load()
                                                                            : s->portError[m->Port].load()));
    return TRUE;
  case MMA_ObjectName:
    *m->Place = s->hasName ? reinterpret_cast<IPTR>(s->name.c_str()) : 0;
    return TRUE;
  default: return FALSE;
  }
}

IPTR BaseDispatcher(IClass *cl, Object *obj, Msg msg) {
  switch (msg->MethodID) {
  case OM_NEW: return BaseNew(cl, obj, reinterpret_cast<opSet *>(msg));
  case OM_DISPOSE: return BaseDispose(cl, obj, msg);
  case OM_GET: {
    auto *m = reinterpret_cast<opGet *>(msg);
    if (!m->opg_Storage)
      return FALSE;
    MediaState *s = State(obj);
    // Attributes of the object are those of its first port that knows them.
    for (ULONG p = 0; s && p < kMaxPorts; ++p) {
      IPTR v = 0;
      if (DoMethod(obj, MMM_GetPort, p, m->opg_AttrID, &v)) {
        *m->opg_Storage = v;
        return TRUE;
      }
    }
    return FALSE;
  }
  case OM_SET: {
    auto *m = reinterpret_cast<opSet *>(msg);
    IPTR taken = 0;
    TagItem *state = m->ops_AttrList, *ti;
    while ((ti = NextTagItem(&state)))
      for (ULONG p = 0; p < kMaxPorts; ++p)
        if (DoMethod(obj, MMM_SetPort, p, ti->ti_Tag, ti->ti_Data)) {
          ++taken;
          break;
        }
    return taken;
  }
  case MMM_GetPort: return BaseGetPort(obj, reinterpret_cast<mmpGetPort *>(msg));
  case MMM_SetPort: return FALSE;
  case MMM_Pull: {
    auto *m = reinterpret_cast<mmpPull *>(msg);
    if (MediaState *s = State(obj); s && m->Port < kMaxPorts && IsOutputPort(s, m->Port) && !s->portError[m->Port])
      s->portError[m->Port] = MMERR_NOT_SUPPORTED;
    return 0;
  }
  case MMM_PullSome: {
    // Without a class of its own: a plain pull.
    IPTR *m = reinterpret_cast<IPTR *>(msg);
    return DoMethod(obj, MMM_Pull, m[1], m[2], m[3]);
  }
  case MMM_Connected: return TRUE;
  case MMM_Play: return FALSE;
  case MMM_Stop: return TRUE;
  case MMM_SignalAtEnd: return FALSE;
  case MMM_QueryMetaData: return 0;
  case MMM_DisposeMetaData: return 0;
  default: return DoSuperMethodA(cl, obj, msg);
  }
}

} // namespace

namespace {
// Classes live as long as the process; these plain globals keep them (and
// their info blocks) reachable after the class registry is gone at exit.
IClass *gClasses[64];
std::atomic<int> gClassCount{0};
void Keep(IClass *cl) {
  int i = gClassCount.fetch_add(1);
  if (i < 64)
    gClasses[i] = cl;
}
} // namespace

IClass *RootClass() {
  static IClass *const root = [] {
    IClass *cl = MakeClass("multimedia.class", ROOTCLASS, nullptr, sizeof(BaseData), 0);
    if (cl) {
      cl->cl_Dispatcher = BaseDispatcher;
      AddClass(cl);
      Keep(cl);
    }
    return cl;
  }();
  return root;
}

IClass *MakeMediaClass(CONST_STRPTR classID, PortLayout layout, ULONG instSize, DISPATCHERFUNC dispatcher) {
  IClass *root = RootClass();
  if (!root)
    return nullptr;
  IClass *cl = MakeClass(classID, nullptr, root, instSize, 0);
  if (!cl)
    return nullptr;
  // Classes live as long as the process; the info block with them.
  cl->cl_UserData = reinterpret_cast<IPTR>(new ClassInfo{kClassMagic, layout, dispatcher});
  cl->cl_Dispatcher = Trampoline;
  AddClass(cl);
  Keep(cl);
  return cl;
}

namespace {
// Keeps a linked peer alive while a call into it runs (its disposal waits
// for Release). Hold is called under gLinkMutex, which keeps the link.
void Hold(Object *peer) { ++State(peer)->inflight; }
void Release(Object *peer) {
  std::lock_guard lock(gLinkMutex);
  if (--State(peer)->inflight == 0)
    gLinkCond.notify_all();
}

LONG PullFrom(Object *obj, ULONG inPort, APTR buffer, LONG length, IPTR method) {
  MediaState *s = State(obj);
  if (!s || inPort >= kMaxPorts || length < 0)
    return 0;
  Link l;
  {
    std::lock_guard lock(gLinkMutex);
    l = s->links[inPort];
    if (!l.peer || s->closing || s->aborting) {
      s->inputError[inPort] = l.peer ? MMERR_ABORTED : MMERR_NOT_CONNECTED;
      return 0;
    }
    Hold(l.peer);
  }
  MediaState *ps = State(l.peer);
  LONG got;
  {
    StackGuard g(s);
    got = static_cast<LONG>(DoMethod(l.peer, method, l.peerPort, buffer, length));
  }
  if (got < length && (method == MMM_Pull || got == 0))
    s->inputError[inPort] = ps->closing ? MMERR_ABORTED : ps->portError[l.peerPort].load();
  else
    s->inputError[inPort] = MMERR_OK;
  Release(l.peer);
  return got;
}

} // namespace

LONG PullInput(Object *obj, ULONG inPort, APTR buffer, LONG length) {
  return PullFrom(obj, inPort, buffer, length, MMM_Pull);
}
LONG PullInputSome(Object *obj, ULONG inPort, APTR buffer, LONG length) {
  return PullFrom(obj, inPort, buffer, length, MMM_PullSome);
}

LONG InputError(Object *obj, ULONG inPort) {
  MediaState *s = State(obj);
  return s && inPort < kMaxPorts ? s->inputError[inPort].load() : MMERR_NOT_CONNECTED;
}

IPTR GetInputAttr(Object *obj, ULONG inPort, IPTR attr) {
  MediaState *s = State(obj);
  if (!s || inPort >= kMaxPorts)
    return 0;
  Link l;
  {
    std::lock_guard lock(gLinkMutex);
    l = s->links[inPort];
    if (!l.peer)
      return 0;
    Hold(l.peer);
  }
  IPTR v = 0;
  DoMethod(l.peer, MMM_GetPort, l.peerPort, attr, &v);
  Release(l.peer);
  return v;
}

Object *InputPeer(Object *obj, ULONG inPort) {
  MediaState *s = State(obj);
  if (!s || inPort >= kMaxPorts)
    return nullptr;
  std::lock_guard lock(gLinkMutex);
  return s->links[inPort].peer;
}

void SetPortError(Object *obj, ULONG port, LONG code) {
  if (MediaState *s = State(obj); s && port < kMaxPorts)
    s->portError[port] = code;
}
LONG PortError(Object *obj, ULONG port) {
  MediaState *s = State(obj);
  return s && port < kMaxPorts ? s->portError[port].load() : MMERR_OK;
}
CONST_STRPTR ObjectName(Object *obj) {
  MediaState *s = State(obj);
  return s && s->hasName ? s->name.c_str() : nullptr;
}
bool Closing(Object *obj) {
  MediaState *s = State(obj);
  return !s || s->closing;
}

void SetCreateError(TagItem *tags, LONG code) {
  if (auto *place = reinterpret_cast<LONG *>(GetTagData(MMA_ErrorCode, 0, tags)))
    *place = code;
}

void AbortPulls(Object *obj, bool abort) {
  if (MediaState *s = State(obj)) {
    s->aborting = abort;
    if (abort) {
      std::lock_guard lock(gLinkMutex);
      WakeInputs(s);
    }
  }
}

void SetWakeHook(Object *obj, void (*hook)(Object *, void *), void *user) {
  if (MediaState *s = State(obj)) {
    std::lock_guard lock(gLinkMutex);
    s->wake = hook;
    s->wakeUser = user;
  }
}

void SetInterruptHook(Object *obj, void (*hook)(Object *, void *), void *user) {
  if (MediaState *s = State(obj)) {
    s->interrupt = hook;
    s->interruptUser = user;
  }
}

bool ShouldAbort(Object *obj, LONG *why) {
  MediaState *s = State(obj);
  bool closing = !s || s->closing;
  for (MediaState *p : tPullStack)
    closing = closing || p->closing || p->aborting;
  if (closing) {
    if (why)
      *why = MMERR_ABORTED;
    return true;
  }
  if (SetSignal(0, 0) & SIGBREAKF_CTRL_C) {
    SetSignal(0, SIGBREAKF_CTRL_C);
    if (why)
      *why = MMERR_ABORTED;
    return true;
  }
  return false;
}

} // namespace reggae

using namespace reggae;

BOOL MediaConnectTagList(Object *src, ULONG srcPort, Object *dst, ULONG dstPort, TagItem *tags) {
  auto fail = [tags](LONG code) {
    SetCreateError(tags, code);
    return FALSE;
  };
  MediaState *ss = State(src), *ds = State(dst);
  if (!ss || !ds || src == dst)
    return fail(MMERR_BAD_ARGUMENTS);
  if (srcPort >= kMaxPorts || dstPort >= kMaxPorts || !IsOutputPort(ss, srcPort) || !IsInputPort(ds, dstPort))
    return fail(MMERR_WRONG_PORT);
  {
    std::lock_guard lock(gLinkMutex);
    if (ss->closing || ds->closing)
      return fail(MMERR_ABORTED);
    if (ss->links[srcPort].peer || ds->links[dstPort].peer)
      return fail(MMERR_ALREADY_CONNECTED);
    ss->links[srcPort] = Link{dst, dstPort};
    ds->links[dstPort] = Link{src, srcPort};
  }
  if (!DoMethod(dst, MMM_Connected, dstPort, src, srcPort) || !DoMethod(src, MMM_Connected, srcPort, dst, dstPort)) {
    std::lock_guard lock(gLinkMutex);
    ss->links[srcPort] = Link{};
    ds->links[dstPort] = Link{};
    return fail(MMERR_UNSUPPORTED_FORMAT);
  }
  SetCreateError(tags, MMERR_OK);
  return TRUE;
}

IPTR MediaGetPort(Object *obj, ULONG port, IPTR attr) {
  IPTR v = 0;
  DoMethod(obj, MMM_GetPort, port, attr, &v);
  return v;
}

BOOL MediaSetPort(Object *obj, ULONG port, IPTR attr, IPTR value) {
  return DoMethod(obj, MMM_SetPort, port, attr, value) ? TRUE : FALSE;
}

APTR MediaAllocVec(ULONG size) {
  if (size == 0)
    return nullptr;
  void *p = nullptr;
  if (posix_memalign(&p, 64, size) != 0)
    return nullptr;
  std::memset(p, 0, size);
  return p;
}

void MediaFreeVec(APTR mem) { std::free(mem); }

CONST_STRPTR MediaFault(LONG code) {
  switch (code) {
  case MMERR_OK: return "no error";
  case MMERR_END_OF_DATA: return "end of data";
  case MMERR_NO_MEMORY: return "not enough memory";
  case MMERR_BAD_ARGUMENTS: return "missing or invalid arguments";
  case MMERR_NOT_SUPPORTED: return "operation not supported";
  case MMERR_NOT_CONNECTED: return "objects are not connected";
  case MMERR_WRONG_PORT: return "no such port";
  case MMERR_ALREADY_CONNECTED: return "port is already connected";
  case MMERR_NO_TASK: return "could not start a task";
  case MMERR_HOST_NOT_FOUND: return "host not found";
  case MMERR_CONNECTION_REFUSED: return "connection refused";
  case MMERR_TIMEOUT: return "connection timed out";
  case MMERR_ABORTED: return "aborted";
  case MMERR_HTTP_ERROR: return "server answered with an error";
  case MMERR_NETWORK: return "network error";
  case MMERR_SECURE_CONNECTION: return "secure connection failed";
  case MMERR_TOO_MANY_REDIRECTS: return "too many redirections";
  case MMERR_BAD_ADDRESS: return "invalid address";
  case MMERR_BAD_RESPONSE: return "invalid answer from server";
  case MMERR_UNSUPPORTED_FORMAT: return "unsupported format";
  case MMERR_CORRUPT_DATA: return "damaged data";
  case MMERR_TOO_LARGE: return "data too large";
  case MMERR_FILE_NOT_FOUND: return "file not found";
  case MMERR_DISK_FULL: return "disk full";
  case MMERR_WRITE_FAILED: return "write error";
  case MMERR_READ_FAILED: return "read error";
  case MMERR_CANNOT_OPEN_FILE: return "file cannot be opened";
  case MMERR_WRITE_PROTECTED: return "disk or file is write protected";
  case MMERR_NO_AUDIO_DEVICE: return "no audio device";
  default: return "unknown error";
  }
}

namespace {
struct Registration {
  Registration() {
    RootClass();
    platform::RegisterLibrary("multimedia/multimedia.class", 55, 0, "multimedia.class 55.0");
  }
} gRegistration;
} // namespace
