// The object system: classes with dispatchers, superclass chains and
// instance data, objects made by class name, methods sent as messages.
// Both the GUI toolkit and the media framework are built on it.
#pragma once

#include "exec/exec.h"
#include "exec/tags.h"
#include "exec/types.h"

struct IClass;
typedef struct IClass Class;
typedef void Object; // an object is an opaque block; its class sits just before it

// A message: the method ID followed by pointer-sized arguments.
struct _Msg {
  IPTR MethodID;
};
typedef struct _Msg *Msg;

// Hooks are called with (hook, object, message).
struct Hook;
typedef IPTR (*HOOKFUNC)(struct Hook *hook, APTR object, APTR message);
struct Hook {
  struct MinNode h_MinNode;
  HOOKFUNC h_Entry;
  HOOKFUNC h_SubEntry;
  APTR h_Data;
};
IPTR CallHookPkt(struct Hook *hook, APTR object, APTR paramPacket);
template <typename... A> IPTR CallHook(struct Hook *hook, APTR object, A... args) {
  IPTR msg[] = {ToIPTR(args)..., 0};
  return CallHookPkt(hook, object, msg);
}

typedef IPTR (*DISPATCHERFUNC)(struct IClass *cl, Object *obj, Msg msg);

struct IClass {
  struct Node cl_Node;        // ln_Name: the public class ID, if any
  DISPATCHERFUNC cl_Dispatcher;
  struct IClass *cl_Super;
  CONST_STRPTR cl_ID;
  ULONG cl_InstOffset;        // where this class's data starts inside an object
  ULONG cl_InstSize;
  IPTR cl_UserData;
  ULONG cl_SubclassCount;
  ULONG cl_ObjectCount;
  ULONG cl_Flags;
};

enum : ULONG { CLF_INLIST = 1 };

// Standard methods.
enum : IPTR {
  OM_Dummy = 0x100,
  OM_NEW = 0x101,
  OM_DISPOSE = 0x102,
  OM_SET = 0x103,
  OM_GET = 0x104,
  OM_ADDTAIL = 0x105,
  OM_REMOVE = 0x106,
  OM_NOTIFY = 0x107,
  OM_UPDATE = 0x108,
  OM_ADDMEMBER = 0x109,
  OM_REMMEMBER = 0x10A,
};

struct opSet {
  IPTR MethodID;
  struct TagItem *ops_AttrList;
  APTR ops_GInfo;
};
struct opGet {
  IPTR MethodID;
  IPTR opg_AttrID;
  IPTR *opg_Storage;
};
struct opMember {
  IPTR MethodID;
  Object *opam_Object;
};

// Instance data of class cl inside obj.
inline APTR INST_DATA(struct IClass *cl, Object *obj) { return static_cast<UBYTE *>(obj) + cl->cl_InstOffset; }
struct IClass *OCLASS(Object *obj);

// The root of every class: OM_NEW allocates the object (zeroed), OM_DISPOSE
// frees it, everything else answers 0.
#define ROOTCLASS "rootclass"

struct IClass *MakeClass(CONST_STRPTR classID, CONST_STRPTR superClassID, struct IClass *superClassPtr,
                         ULONG instanceSize, ULONG flags);
void AddClass(struct IClass *cl);            // makes it findable by its ID
BOOL RemoveClass(struct IClass *cl);
BOOL FreeClass(struct IClass *cl);           // FALSE while objects or subclasses exist
struct IClass *FindClass(CONST_STRPTR classID);

// classPtr wins over classID when both are given.
Object *NewObjectA(struct IClass *classPtr, CONST_STRPTR classID, struct TagItem *tagList);
template <typename... A> Object *NewObject(struct IClass *classPtr, CONST_STRPTR classID, A... tags) {
  TagArray t(tags...);
  return NewObjectA(classPtr, classID, t.items());
}
void DisposeObject(Object *obj); // null is fine

namespace platform {
// Called by DisposeObject with the object still whole, before OM_DISPOSE
// reaches its class: the toolkit drops what it shows for the object there.
void SetBeforeDisposeHook(void (*hook)(Object *obj));
} // namespace platform

IPTR DoMethodA(Object *obj, Msg msg); // null object answers 0
// Messages carry 7 zero words after the arguments: a worker (Slave.mui)
// copies a message without knowing its length.
template <typename... A> IPTR DoMethod(Object *obj, IPTR methodID, A... args) {
  IPTR msg[] = {methodID, ToIPTR(args)..., 0, 0, 0, 0, 0, 0, 0};
  return DoMethodA(obj, reinterpret_cast<Msg>(msg));
}
IPTR DoSuperMethodA(struct IClass *cl, Object *obj, Msg msg);
template <typename... A> IPTR DoSuperMethod(struct IClass *cl, Object *obj, IPTR methodID, A... args) {
  IPTR msg[] = {methodID, ToIPTR(args)...};
  return DoSuperMethodA(cl, obj, reinterpret_cast<Msg>(msg));
}
IPTR CoerceMethodA(struct IClass *cl, Object *obj, Msg msg);
template <typename... A> IPTR CoerceMethod(struct IClass *cl, Object *obj, IPTR methodID, A... args) {
  IPTR msg[] = {methodID, ToIPTR(args)...};
  return CoerceMethodA(cl, obj, reinterpret_cast<Msg>(msg));
}

IPTR SetAttrsA(Object *obj, struct TagItem *tagList);
template <typename... A> IPTR SetAttrs(Object *obj, A... tags) {
  TagArray t(tags...);
  return SetAttrsA(obj, t.items());
}
ULONG GetAttr(IPTR attrID, Object *obj, IPTR *storage);
