// Semaphore.mui: an object that carries an exec semaphore, to be locked by
// methods from any task. Process.mui builds on it.
//
// Tasks: OM_NEW and OM_DISPOSE on the owner's task, once no other task uses
// the object; Obtain, Attempt and Release from any task, which take only the
// exec semaphore itself.
#include "mui/core_internal.h"

namespace platform::mui {

namespace {

struct SemaphoreData {
  struct SignalSemaphore *sem;
};

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

IClass *MakeSemaphoreClass() { return MakePublicClass(MUIC_Semaphore, MUIC_Notify, sizeof(SemaphoreData), SemaphoreDispatcher); }

} // namespace platform::mui
