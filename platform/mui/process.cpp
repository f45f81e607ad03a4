// Process.mui: a task that runs MUIM_Process_Process on a source object
// until its stop flag is set. Kill sets the flag, breaks the task with
// CTRL-C and waits for it to end.
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

IClass *g_processClass = nullptr;

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

IPTR ProcessDispatcher(IClass *cl, Object *obj, Msg msg) {
  const IPTR *w = reinterpret_cast<const IPTR *>(msg);
  switch (msg->MethodID) {
  case OM_NEW: {
    Object *o = reinterpret_cast<Object *>(DoSuperMethodA(cl, obj, msg));
    if (!o) return 0;
    auto *d = static_cast<ProcessData *>(INST_DATA(cl, o));
    d->p = new ProcessImpl();
    struct TagItem *tags = reinterpret_cast<opSet *>(msg)->ops_AttrList;
    d->p->sourceClass = reinterpret_cast<struct IClass *>(GetTagData(MUIA_Process_SourceClass, 0, tags));
    d->p->sourceObject = reinterpret_cast<Object *>(GetTagData(MUIA_Process_SourceObject, 0, tags));
    d->p->priority = static_cast<LONG>(GetTagData(MUIA_Process_Priority, 0, tags));
    if (auto *n = reinterpret_cast<CONST_STRPTR>(GetTagData(MUIA_Process_Name, 0, tags))) d->p->name = n;
    if (GetTagData(MUIA_Process_AutoLaunch, TRUE, tags)) Launch(o, d->p);
    return reinterpret_cast<IPTR>(o);
  }
  case OM_DISPOSE: {
    auto *d = static_cast<ProcessData *>(INST_DATA(cl, obj));
    Kill(d->p);
    delete d->p;
    d->p = nullptr;
    break;
  }
  case OM_GET: {
    auto *d = static_cast<ProcessData *>(INST_DATA(cl, obj));
    auto *store = reinterpret_cast<IPTR *>(w[2]);
    if (store && w[1] == MUIA_Process_Task) {
      std::lock_guard g(d->p->lock);
      *store = d->p->task && TaskRunning(d->p->task) ? reinterpret_cast<IPTR>(d->p->task) : 0;
      return TRUE;
    }
    if (store && w[1] == MUIA_Process_Name) return *store = reinterpret_cast<IPTR>(d->p->name.c_str()), TRUE;
    if (store && w[1] == MUIA_Process_Priority)
      return *store = static_cast<IPTR>(static_cast<SIPTR>(d->p->priority)), TRUE;
    break;
  }
  case MUIM_Process_Launch:
    return Launch(obj, static_cast<ProcessData *>(INST_DATA(cl, obj))->p);
  case MUIM_Process_Kill:
    return Kill(static_cast<ProcessData *>(INST_DATA(cl, obj))->p);
  case MUIM_Process_Signal: {
    ProcessImpl *p = static_cast<ProcessData *>(INST_DATA(cl, obj))->p;
    std::lock_guard g(p->lock);
    if (p->task && w[1]) Signal(p->task, static_cast<ULONG>(w[1]));
    return 0;
  }
  }
  return DoSuperMethodA(cl, obj, msg);
}

} // namespace

IClass *MakeProcessClass() {
  g_processClass = MakeClass(MUIC_Process, MUIC_Semaphore, nullptr, sizeof(ProcessData), 0);
  g_processClass->cl_Dispatcher = ProcessDispatcher;
  AddClass(g_processClass);
  return g_processClass;
}

} // namespace platform::mui
