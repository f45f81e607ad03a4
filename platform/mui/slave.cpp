// Slave.mui: a worker task with a queue. Methods sent to the slave that are
// not its own are copied and run, one after the other, on the target object
// in the slave's task; the sender goes on at once.
//
// Tasks: queued methods may be sent from any task; they take SlaveImpl::lock
// only to append. The worker takes it to wait for and take the next one, and
// runs it without the lock. OM_DISPOSE (the owner's task, or the worker
// itself) sets quit under the lock, then joins without it.
#include <condition_variable>
#include <deque>
#include <string>

#include "mui/core_internal.h"

namespace platform::mui {

namespace {

struct SlaveImpl {
  std::mutex lock; // guards queue and quit
  std::condition_variable cv;
  std::deque<std::vector<IPTR>> queue;
  bool quit = false;
  struct Task *task = nullptr;
  struct IClass *cls = nullptr;
  Object *target = nullptr;
};

struct SlaveData {
  SlaveImpl *s;
};

void Body(SlaveImpl *s) {
  for (;;) {
    std::vector<IPTR> m;
    {
      std::unique_lock g(s->lock);
      s->cv.wait(g, [&] { return s->quit || !s->queue.empty(); });
      if (s->quit) return; // what is left is dropped
      m = std::move(s->queue.front());
      s->queue.pop_front();
    }
    Msg msg = reinterpret_cast<Msg>(m.data());
    if (s->cls)
      CoerceMethodA(s->cls, s->target, msg);
    else
      DoMethodA(s->target, msg);
  }
}

bool OwnMethod(IPTR id) {
  switch (id) {
  case OM_NEW:
  case OM_DISPOSE:
  case OM_SET:
  case OM_GET:
  case OM_ADDMEMBER:
  case OM_REMMEMBER:
  case MUIM_CallHook:
  case MUIM_FindUData:
  case MUIM_GetUData:
  case MUIM_KillNotify:
  case MUIM_KillNotifyObj:
  case MUIM_MultiSet:
  case MUIM_NoNotifySet:
  case MUIM_Notify:
  case MUIM_Set:
  case MUIM_SetAsString:
  case MUIM_SetUData:
  case MUIM_SetUDataOnce:
  case MUIM_WriteLong:
  case MUIM_WriteString:
    return true;
  }
  return false;
}

IPTR SlaveDispatcher(IClass *cl, Object *obj, Msg msg) {
  switch (msg->MethodID) {
  case OM_NEW: {
    struct TagItem *tags = reinterpret_cast<opSet *>(msg)->ops_AttrList;
    auto *target = reinterpret_cast<Object *>(GetTagData(MUIA_Slave_Target, 0, tags));
    if (!target) return 0;
    Object *o = reinterpret_cast<Object *>(DoSuperMethodA(cl, obj, msg));
    if (!o) return 0;
    auto *d = static_cast<SlaveData *>(INST_DATA(cl, o));
    auto *s = new SlaveImpl();
    s->target = target;
    s->cls = reinterpret_cast<struct IClass *>(GetTagData(MUIA_Slave_Class, 0, tags));
    auto *name = reinterpret_cast<CONST_STRPTR>(GetTagData(MUIA_Slave_Name, 0, tags));
    s->task = CreateTask(name ? name : "MUI Slave", 0, [s] { Body(s); });
    if (!s->task) {
      delete s;
      CoerceMethod(cl, o, OM_DISPOSE);
      return 0;
    }
    d->s = s;
    return reinterpret_cast<IPTR>(o);
  }
  case OM_DISPOSE: {
    auto *d = static_cast<SlaveData *>(INST_DATA(cl, obj));
    if (SlaveImpl *s = d->s) {
      {
        std::lock_guard g(s->lock);
        s->quit = true;
      }
      s->cv.notify_all();
      if (s->task != FindTask(nullptr)) {
        JoinTask(s->task);
        delete s;
      }
      // Disposed from its own task: the task ends after this method; its
      // state stays (a small leak) rather than being freed under it.
      d->s = nullptr;
    }
    break;
  }
  default:
    if (!OwnMethod(msg->MethodID)) {
      SlaveImpl *s = static_cast<SlaveData *>(INST_DATA(cl, obj))->s;
      const IPTR *w = reinterpret_cast<const IPTR *>(msg);
      std::vector<IPTR> copy(w, w + 1 + MUIV_Slave_MaxArgs);
      copy.resize(copy.size() + kMsgPad, 0);
      {
        std::lock_guard g(s->lock);
        if (s->quit) return 0;
        s->queue.push_back(std::move(copy));
      }
      s->cv.notify_one();
      return 0;
    }
  }
  return DoSuperMethodA(cl, obj, msg);
}

} // namespace

IClass *MakeSlaveClass() { return MakePublicClass(MUIC_Slave, MUIC_Notify, sizeof(SlaveData), SlaveDispatcher); }

} // namespace platform::mui
