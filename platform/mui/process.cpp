// Process.mui: a task that runs MUIM_Process_Process on a source object
// until its stop flag is set. Kill sets the flag, breaks the task with
// CTRL-C and waits for it to end.
//
// Tasks: OM_NEW and OM_DISPOSE run on the owner's task; Launch, Kill,
// Signal and OM_GET of MUIA_Process_Task may come from any task, the
// process's own included (Kill from it only sets the flag). Each takes
// ProcessImpl::lock around the task pointer and never holds it while
// joining; the stop flag is read and written atomically, without it.
#include <string>

#include "mui/core_internal.h"

namespace platform::mui {

namespace {

struct ProcessImpl {
  std::mutex lock; // guards task
  struct Task *task = nullptr;
  ULONG stop = 0; // written and read atomically
  struct IClass *sourceClass = nullptr;
  Object *sourceObject = nullptr;
  std::string name = "MUI Process";
  LONG priority = 0;
};

struct ProcessData {
  ProcessImpl *p;
};

IPTR Launch(Object *self, ProcessImpl *p) {
  std::lock_guard g(p->lock);
  if (p->task && TaskRunning(p->task)) return TRUE;
  if (p->task) {
    JoinTask(p->task); // ended on its own earlier
    p->task = nullptr;
  }
  if (!p->sourceObject) return FALSE;
  __atomic_store_n(&p->stop, 0, __ATOMIC_RELEASE);
  p->task = CreateTask(p->name.c_str(), p->priority, [self, p] {
    if (p->sourceClass)
      CoerceMethod(p->sourceClass, p->sourceObject, MUIM_Process_Process, &p->stop, self);
    else
      DoMethod(p->sourceObject, MUIM_Process_Process, &p->stop, self);
  });
  return p->task ? TRUE : FALSE;
}

IPTR Kill(ProcessImpl *p) {
  struct Task *t;
  {
    std::lock_guard g(p->lock);
    t = p->task;
    __atomic_store_n(&p->stop, 1, __ATOMIC_RELEASE);
    if (!t) return TRUE;
    if (t == FindTask(nullptr)) return TRUE; // the process stops itself: it sees the flag
    p->task = nullptr;
  }
  Signal(t, SIGBREAKF_CTRL_C);
  JoinTask(t);
  return TRUE;
}

// Set at creation only, so read without the lock.
// clang-format off
constexpr AttrField<ProcessImpl> kProcessAttrs[] = {
    {MUIA_Process_SourceClass, &ProcessImpl::sourceClass, kInit},
    {MUIA_Process_SourceObject, &ProcessImpl::sourceObject, kInit},
    {MUIA_Process_Priority, &ProcessImpl::priority, kIG},
};
// clang-format on

IPTR ProcessNew(IClass *cl, Object *obj, Msg msg) {
  auto made = SuperNew<ProcessData>(cl, obj, msg);
  if (!made) return 0;
  ProcessImpl *p = made.data->p = new ProcessImpl();
  struct TagItem *tags = AttrTags(msg);
  InitAttrs(p, kProcessAttrs, tags);
  if (auto *n = reinterpret_cast<CONST_STRPTR>(GetTagData(MUIA_Process_Name, 0, tags))) p->name = n;
  if (GetTagData(MUIA_Process_AutoLaunch, TRUE, tags)) Launch(made.obj, p);
  return made.result();
}

IPTR ProcessGet(ProcessImpl *p, opGet *g) {
  if (!g->opg_Storage) return FALSE;
  if (g->opg_AttrID == MUIA_Process_Task) {
    std::lock_guard lock(p->lock);
    *g->opg_Storage = p->task && TaskRunning(p->task) ? reinterpret_cast<IPTR>(p->task) : 0;
  } else if (g->opg_AttrID == MUIA_Process_Name) {
    *g->opg_Storage = reinterpret_cast<IPTR>(p->name.c_str());
  } else {
    return LoadAttr(p, kProcessAttrs, g);
  }
  return TRUE;
}

IPTR ProcessDispatcher(IClass *cl, Object *obj, Msg msg) {
  if (msg->MethodID == OM_NEW) return ProcessNew(cl, obj, msg);
  ProcessImpl *&p = InstOf<ProcessData>(cl, obj)->p;
  switch (msg->MethodID) {
  case OM_DISPOSE:
    Kill(p);
    delete p;
    p = nullptr;
    break;
  case OM_GET:
    if (ProcessGet(p, reinterpret_cast<opGet *>(msg))) return TRUE;
    break;
  case MUIM_Process_Launch: return Launch(obj, p);
  case MUIM_Process_Kill: return Kill(p);
  case MUIM_Process_Signal: {
    IPTR sigs = Words(msg)[1];
    std::lock_guard g(p->lock);
    if (p->task && sigs) Signal(p->task, static_cast<ULONG>(sigs));
    return 0;
  }
  }
  return DoSuperMethodA(cl, obj, msg);
}

} // namespace

IClass *MakeProcessClass() { return MakePublicClass(MUIC_Process, MUIC_Semaphore, sizeof(ProcessData), ProcessDispatcher); }

} // namespace platform::mui
