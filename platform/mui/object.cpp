// Classes, objects and method dispatch. An object is one block: a small
// header naming its class, then the instance data of every class in its
// chain, the root's first.
#include "mui/object.h"

#include <atomic>
#include <cstdlib>
#include <new>
#include <cstring>
#include <string>
#include <vector>


namespace {

constexpr size_t kAlign = alignof(std::max_align_t);
constexpr size_t AlignUp(size_t n) { return (n + kAlign - 1) & ~(kAlign - 1); }

struct ObjectHeader {
  struct IClass *cl;
};
constexpr size_t kHeaderSize = AlignUp(sizeof(ObjectHeader));

ObjectHeader *HeaderOf(Object *obj) {
  return reinterpret_cast<ObjectHeader *>(static_cast<UBYTE *>(obj) - kHeaderSize);
}

struct ClassRegistry {
  std::mutex lock;
  std::vector<struct IClass *> publicClasses;
};

// Never destroyed: classes live as long as the process, and a task that
// ends while the process exits may still look one up. It also keeps the
// classes that nothing else points to reachable to the leak checker.
ClassRegistry &Registry() {
  static ClassRegistry *r = new ClassRegistry;
  return *r;
}

IPTR RootDispatcher(struct IClass *cl, Object *obj, Msg msg);

struct IClass *RootClass() {
  static struct IClass *root = [] {
    auto *cl = new IClass{};
    cl->cl_ID = ROOTCLASS;
    cl->cl_Node.ln_Name = const_cast<char *>(ROOTCLASS);
    cl->cl_Dispatcher = RootDispatcher;
    return cl;
  }();
  return root;
}

IPTR RootDispatcher(struct IClass *, Object *obj, Msg msg) {
  switch (msg->MethodID) {
  case OM_NEW: {
    // For OM_NEW the "object" is the class being instantiated.
    auto *trueClass = reinterpret_cast<struct IClass *>(obj);
    size_t size = kHeaderSize + trueClass->cl_InstOffset + trueClass->cl_InstSize;
    void *block = std::calloc(1, size);
    if (!block) return 0;
    auto *hdr = static_cast<ObjectHeader *>(block);
    hdr->cl = trueClass;
    __atomic_fetch_add(&trueClass->cl_ObjectCount, 1, __ATOMIC_RELAXED);
    return reinterpret_cast<IPTR>(static_cast<UBYTE *>(block) + kHeaderSize);
  }
  case OM_DISPOSE: {
    ObjectHeader *hdr = HeaderOf(obj);
    __atomic_fetch_sub(&hdr->cl->cl_ObjectCount, 1, __ATOMIC_RELAXED);
    std::free(hdr);
    return 0;
  }
  default:
    return 0;
  }
}

// A class made without a dispatcher behaves like its superclass.
IPTR PassToSuper(struct IClass *cl, Object *obj, Msg msg) { return DoSuperMethodA(cl, obj, msg); }

} // namespace

struct IClass *OCLASS(Object *obj) { return obj ? HeaderOf(obj)->cl : nullptr; }

IPTR CallHookPkt(struct Hook *hook, APTR object, APTR paramPacket) {
  if (!hook || !hook->h_Entry) return 0;
  return hook->h_Entry(hook, object, paramPacket);
}

struct IClass *FindClass(CONST_STRPTR classID) {
  if (!classID) return nullptr;
  if (std::strcmp(classID, ROOTCLASS) == 0) return RootClass();
  auto &r = Registry();
  std::lock_guard g(r.lock);
  for (struct IClass *cl : r.publicClasses)
    if (cl->cl_ID && std::strcmp(cl->cl_ID, classID) == 0) return cl;
  return nullptr;
}

struct IClass *MakeClass(CONST_STRPTR classID, CONST_STRPTR superClassID, struct IClass *superClassPtr,
                         ULONG instanceSize, ULONG flags) {
  struct IClass *super = superClassPtr ? superClassPtr : FindClass(superClassID);
  if (!super) return nullptr;
  auto *cl = new IClass{};
  if (classID) {
    char *id = static_cast<char *>(std::malloc(std::strlen(classID) + 1));
    std::strcpy(id, classID);
    cl->cl_ID = id;
    cl->cl_Node.ln_Name = id;
  }
  cl->cl_Super = super;
  cl->cl_Dispatcher = PassToSuper;
  cl->cl_InstOffset = static_cast<ULONG>(AlignUp(super->cl_InstOffset + super->cl_InstSize));
  cl->cl_InstSize = instanceSize;
  cl->cl_Flags = flags & ~CLF_INLIST;
  __atomic_fetch_add(&super->cl_SubclassCount, 1, __ATOMIC_RELAXED);
  return cl;
}

void AddClass(struct IClass *cl) {
  if (!cl) return;
  auto &r = Registry();
  std::lock_guard g(r.lock);
  if (cl->cl_Flags & CLF_INLIST) return;
  r.publicClasses.push_back(cl);
  cl->cl_Flags |= CLF_INLIST;
}

BOOL RemoveClass(struct IClass *cl) {
  if (!cl) return FALSE;
  auto &r = Registry();
  std::lock_guard g(r.lock);
  for (auto it = r.publicClasses.begin(); it != r.publicClasses.end(); ++it)
    if (*it == cl) {
      r.publicClasses.erase(it);
      cl->cl_Flags &= ~CLF_INLIST;
      return TRUE;
    }
  return FALSE;
}

BOOL FreeClass(struct IClass *cl) {
  if (!cl || cl == RootClass()) return FALSE;
  if (__atomic_load_n(&cl->cl_ObjectCount, __ATOMIC_RELAXED) || __atomic_load_n(&cl->cl_SubclassCount, __ATOMIC_RELAXED))
    return FALSE;
  RemoveClass(cl);
  __atomic_fetch_sub(&cl->cl_Super->cl_SubclassCount, 1, __ATOMIC_RELAXED);
  std::free(const_cast<char *>(cl->cl_ID));
  delete cl;
  return TRUE;
}

Object *NewObjectA(struct IClass *classPtr, CONST_STRPTR classID, struct TagItem *tagList) {
  struct IClass *cl = classPtr ? classPtr : FindClass(classID);
  if (!cl) return nullptr;
  IPTR msg[] = {OM_NEW, reinterpret_cast<IPTR>(tagList), 0};
  return reinterpret_cast<Object *>(CoerceMethodA(cl, reinterpret_cast<Object *>(cl), reinterpret_cast<Msg>(msg)));
}

namespace {
std::atomic<void (*)(Object *)> g_beforeDispose{nullptr};
} // namespace

void platform::SetBeforeDisposeHook(void (*hook)(Object *obj)) { g_beforeDispose = hook; }

void DisposeObject(Object *obj) {
  if (!obj) return;
  if (auto hook = g_beforeDispose.load()) hook(obj);
  IPTR msg[] = {OM_DISPOSE};
  DoMethodA(obj, reinterpret_cast<Msg>(msg));
}

namespace {

// Every method reaches a class through here. Callers are C-style code that
// knows no exceptions, and a class may allocate with new anywhere, so
// running out of memory is answered the way the interface reports any
// failure: a null object or a 0 result. Classes themselves do not catch it.
IPTR Dispatch(struct IClass *cl, Object *obj, Msg msg) {
  try {
    return cl->cl_Dispatcher(cl, obj, msg);
  } catch (const std::bad_alloc &) {
    return 0;
  }
}

} // namespace

IPTR DoMethodA(Object *obj, Msg msg) {
  if (!obj || !msg) return 0;
  return Dispatch(OCLASS(obj), obj, msg);
}

IPTR DoSuperMethodA(struct IClass *cl, Object *obj, Msg msg) {
  if (!cl || !obj || !msg || !cl->cl_Super) return 0;
  return Dispatch(cl->cl_Super, obj, msg);
}

IPTR CoerceMethodA(struct IClass *cl, Object *obj, Msg msg) {
  if (!cl || !obj || !msg) return 0;
  return Dispatch(cl, obj, msg);
}

IPTR SetAttrsA(Object *obj, struct TagItem *tagList) {
  IPTR msg[] = {OM_SET, reinterpret_cast<IPTR>(tagList), 0};
  return DoMethodA(obj, reinterpret_cast<Msg>(msg));
}

ULONG GetAttr(IPTR attrID, Object *obj, IPTR *storage) {
  IPTR msg[] = {OM_GET, attrID, reinterpret_cast<IPTR>(storage)};
  return static_cast<ULONG>(DoMethodA(obj, reinterpret_cast<Msg>(msg)));
}
