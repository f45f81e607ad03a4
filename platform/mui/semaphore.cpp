// Semaphore.mui: an object that carries an exec semaphore, to be locked by
// methods from any task. Process.mui builds on it.
#include "mui/core_internal.h"

namespace platform::mui {

namespace {

struct SemaphoreData {
  struct SignalSemaphore *sem;
};

IClass *g_semaphoreClass = nullptr;

IPTR SemaphoreDispatcher(IClass *cl, Object *obj, Msg msg) {
  switch (msg->MethodID) {
  case OM_NEW: {
    Object *o = reinterpret_cast<Object *>(DoSuperMethodA(cl, obj, msg));
    if (!o) return 0;
    auto *d = static_cast<SemaphoreData *>(INST_DATA(cl, o));
    d->sem = new SignalSemaphore();
    InitSemaphore(d->sem);
    return reinterpret_cast<IPTR>(o);
  }
  case OM_DISPOSE: {
    auto *d = static_cast<SemaphoreData *>(INST_DATA(cl, obj));
    delete d->sem; // subclasses are done with it already
    d->sem = nullptr;
    break;
  }
  default:
    break;
  }
  auto *d = static_cast<SemaphoreData *>(INST_DATA(cl, obj));
  switch (msg->MethodID) {
  // No shared locking in exec here: shared requests lock exclusively.
  case MUIM_Semaphore_Obtain:
  case MUIM_Semaphore_ObtainShared:
    ObtainSemaphore(d->sem);
    return 0;
  case MUIM_Semaphore_Attempt:
  case MUIM_Semaphore_AttemptShared:
    return AttemptSemaphore(d->sem) ? TRUE : FALSE;
  case MUIM_Semaphore_Release:
    ReleaseSemaphore(d->sem);
    return 0;
  }
  return DoSuperMethodA(cl, obj, msg);
}

} // namespace

IClass *MakeSemaphoreClass() {
  g_semaphoreClass = MakeClass(MUIC_Semaphore, MUIC_Notify, nullptr, sizeof(SemaphoreData), 0);
  g_semaphoreClass->cl_Dispatcher = SemaphoreDispatcher;
  AddClass(g_semaphoreClass);
  return g_semaphoreClass;
}

} // namespace platform::mui
