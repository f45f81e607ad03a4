// Notify.mui: the root of every toolkit class. It keeps the notifications
// of an object, its user data and its place in the object tree, and it is
// where objects are made by class name and custom classes are created.
#include <algorithm>
#include <atomic>
#include <cstring>
#include <string>
#include <unordered_map>
#include <unordered_set>

#include "dos/dos.h"
#include "mui/core_internal.h"
#include "mui/display.h"

namespace platform::mui {

struct NotifyNode {
  IPTR attr;
  IPTR value;
  IPTR dest; // an object or MUIV_Notify_*
  std::vector<IPTR> msg;
  bool busy = false;    // firing now: not again until it returns (loop guard)
  bool removed = false; // killed, or its destination went away
};

namespace {

// One lock for the registry of live objects and all notification lists.
// Never held while calling out into methods.
std::mutex &CoreLock() {
  static std::mutex m;
  return m;
}

std::unordered_map<Object *, uint64_t> &LiveObjects() {
  static std::unordered_map<Object *, uint64_t> live;
  return live;
}
uint64_t g_nextSerial = 1; // guarded by CoreLock()

// For each object that notifications point at, the objects whose lists may
// hold them (a superset: a killed notification leaves its source here). A
// disposal then visits only those lists instead of every live object's,
// which keeps tearing down a big menu or list linear.
std::unordered_map<IPTR, std::unordered_set<Object *>> &PointedAtBy() {
  static std::unordered_map<IPTR, std::unordered_set<Object *>> sources;
  return sources;
}

constexpr IPTR kMaxFollowParams = 64;
constexpr size_t kMaxMultiSet = 256;

std::atomic<IClass *> g_notifyClass{nullptr};

bool IsSpecialDest(IPTR dest) { return dest >= MUIV_Notify_Self && dest <= MUIV_Notify_Parent; }

Object *ResolveDest(Object *obj, IPTR dest) {
  switch (dest) {
  case MUIV_Notify_Self:
    return obj;
  case MUIV_Notify_Window:
    return ObjectWindow(obj);
  case MUIV_Notify_Application:
    return ObjectApplication(obj);
  case MUIV_Notify_Parent:
    return ObjectParent(obj);
  default:
    return reinterpret_cast<Object *>(dest);
  }
}

void Fire(Object *obj, IPTR attr, IPTR value) {
  NotifyData *d = DataOf(obj);
  if (!d) return;
  std::vector<std::shared_ptr<NotifyNode>> hits;
  uint64_t serial;
  {
    std::lock_guard g(CoreLock());
    serial = d->serial;
    if (!d->notifies) return;
    for (auto &n : *d->notifies)
      if (n->attr == attr && (n->value == MUIV_EveryTime || n->value == value)) hits.push_back(n);
  }
  for (auto &n : hits) {
    std::vector<IPTR> m;
    IPTR dest;
    {
      std::lock_guard g(CoreLock());
      if (n->removed || n->busy) continue;
      n->busy = true;
      m = n->msg;
      dest = n->dest;
    }
    for (size_t i = 1; i < m.size(); i++) {
      if (m[i] == MUIV_TriggerValue)
        m[i] = value;
      else if (m[i] == MUIV_NotTriggerValue)
        m[i] = value ? FALSE : TRUE;
    }
    m.resize(m.size() + kMsgPad, 0);
    Object *target = ResolveDest(obj, dest);
    // Notifications pointing at disposed objects are gone already.
    if (target) DoMethodA(target, reinterpret_cast<Msg>(m.data()));
    {
      std::lock_guard g(CoreLock());
      n->busy = false;
    }
    if (!StillLive(obj, serial)) return; // the notification disposed of its source
  }
}

void ForgetNotifications(Object *obj, NotifyData *d) {
  std::lock_guard g(CoreLock());
  auto &pointed = PointedAtBy();
  if (d->notifies) {
    for (auto &n : *d->notifies) {
      n->removed = true;
      if (IsSpecialDest(n->dest)) continue;
      auto it = pointed.find(n->dest);
      if (it == pointed.end()) continue;
      it->second.erase(obj);
      if (it->second.empty()) pointed.erase(it);
    }
    delete d->notifies;
    d->notifies = nullptr;
  }
  // Notifications of other objects that point at this one.
  auto it = pointed.find(reinterpret_cast<IPTR>(obj));
  if (it == pointed.end()) return;
  for (Object *other : it->second) {
    if (other == obj || !LiveObjects().count(other)) continue;
    NotifyData *od = static_cast<NotifyData *>(INST_DATA(g_notifyClass, other));
    if (!od->notifies) continue;
    auto &v = *od->notifies;
    v.erase(std::remove_if(v.begin(), v.end(),
                           [&](const std::shared_ptr<NotifyNode> &n) {
                             if (IsSpecialDest(n->dest) || n->dest != reinterpret_cast<IPTR>(obj)) return false;
                             n->removed = true;
                             return true;
                           }),
            v.end());
  }
  pointed.erase(it);
}

// The attributes every object keeps for its owner.
// clang-format off
constexpr AttrField<NotifyData> kNotifyAttrs[] = {
    {MUIA_UserData, &NotifyData::userData, kSet | kGet}, {MUIA_ObjectID, &NotifyData::objectID, kSet | kGet},
    {MUIA_HelpNode, &NotifyData::helpNode, kSet | kGet}, {MUIA_HelpLine, &NotifyData::helpLine, kSet | kGet},
    {MUIA_Parent, &NotifyData::parent, kGet},
};
// clang-format on

IPTR NotifyNew(IClass *cl, Object *obj, opSet *msg) {
  auto made = SuperNew<NotifyData>(cl, obj, reinterpret_cast<Msg>(msg));
  if (!made) return 0;
  Object *o = made.obj;
  NotifyData *d = made.data;
  d->node.mln_Succ = d->node.mln_Pred = nullptr;
  StoreAttrs(d, kNotifyAttrs, msg->ops_AttrList);
  std::lock_guard g(CoreLock());
  d->serial = g_nextSerial++;
  LiveObjects()[o] = d->serial;
  return reinterpret_cast<IPTR>(o);
}

IPTR NotifyDispose(IClass *cl, Object *obj, Msg msg) {
  auto *d = static_cast<NotifyData *>(INST_DATA(cl, obj));
  if (Display *disp = GetDisplay()) disp->ObjectDisposed(obj);
  {
    std::lock_guard g(CoreLock());
    LiveObjects().erase(obj);
  }
  ForgetInApplications(obj);
  ForgetInWindows(obj);
  ForgetBubbles(obj);
  ForgetNotifications(obj, d);
  // Still linked in a parent's list (disposed without being removed first):
  // unlink, so the list never holds freed memory.
  if (d->node.mln_Succ && d->node.mln_Pred) {
    Remove(reinterpret_cast<struct Node *>(&d->node));
    d->node.mln_Succ = d->node.mln_Pred = nullptr;
  }
  return DoSuperMethodA(cl, obj, msg);
}

IPTR NotifySet(IClass *cl, Object *obj, opSet *msg) {
  auto *d = InstOf<NotifyData>(cl, obj);
  bool noNotify = false;
  EachTag(msg->ops_AttrList, [&](const TagItem &t) {
    if (t.ti_Tag == MUIA_NoNotify) noNotify = t.ti_Data != 0;
    else StoreAttr(d, kNotifyAttrs, t);
  });
  uint64_t serial = d->serial;
  Display *disp = GetDisplay();
  struct TagItem *tags = msg->ops_AttrList, *tag;
  while ((tag = NextTagItem(&tags))) {
    if (tag->ti_Tag == MUIA_NoNotify) continue;
    Tag attr = tag->ti_Tag;
    IPTR value = tag->ti_Data;
    if (disp) disp->AttributeChanged(obj, attr, value);
    if (!noNotify) Fire(obj, attr, value);
    if (!StillLive(obj, serial)) break;
  }
  return 0;
}

IPTR NotifyGet(IClass *cl, Object *obj, opGet *msg) {
  auto *d = static_cast<NotifyData *>(INST_DATA(cl, obj));
  IPTR *store = msg->opg_Storage;
  if (!store) return FALSE;
  if (LoadAttr(d, kNotifyAttrs, msg)) return TRUE;
  switch (msg->opg_AttrID) {
  case MUIA_ApplicationObject:
    *store = reinterpret_cast<IPTR>(ObjectApplication(obj));
    return TRUE;
  case MUIA_WindowObject:
    *store = reinterpret_cast<IPTR>(ObjectWindow(obj));
    return TRUE;
  case MUIA_Version:
    *store = 20;
    return TRUE;
  case MUIA_Revision:
    *store = 0;
    return TRUE;
  }
  return DoSuperMethodA(cl, obj, reinterpret_cast<Msg>(msg));
}

IPTR NotifyAdd(Object *obj, Msg msg) {
  auto *m = reinterpret_cast<MUIP_Notify *>(msg);
  IPTR count = m->FollowParams;
  if (count == 0 || count > kMaxFollowParams) return FALSE;
  NotifyData *d = DataOf(obj);
  auto node = std::make_shared<NotifyNode>();
  node->attr = m->TrigAttr;
  node->value = m->TrigVal;
  node->dest = reinterpret_cast<IPTR>(m->DestObj);
  const IPTR *words = reinterpret_cast<const IPTR *>(msg) + 5;
  node->msg.assign(words, words + count);
  std::lock_guard g(CoreLock());
  if (!d->notifies) d->notifies = new std::vector<std::shared_ptr<NotifyNode>>();
  if (node->dest && !IsSpecialDest(node->dest)) PointedAtBy()[node->dest].insert(obj);
  d->notifies->push_back(std::move(node));
  return TRUE;
}

IPTR NotifyKill(Object *obj, IPTR attr, bool byDest, IPTR dest) {
  NotifyData *d = DataOf(obj);
  std::lock_guard g(CoreLock());
  if (!d->notifies) return TRUE;
  auto &v = *d->notifies;
  v.erase(std::remove_if(v.begin(), v.end(),
                         [&](const std::shared_ptr<NotifyNode> &n) {
                           if (n->attr != attr || (byDest && n->dest != dest)) return false;
                           n->removed = true;
                           return true;
                         }),
          v.end());
  return TRUE;
}

IPTR NotifyMethod(IClass *cl, Object *obj, Msg msg, NotifyData *d) {
  const IPTR *w = Words(msg);
  switch (msg->MethodID) {
  case MUIM_Notify:
    return NotifyAdd(obj, msg);
  case MUIM_KillNotify:
    return NotifyKill(obj, w[1], false, 0);
  case MUIM_KillNotifyObj:
    return NotifyKill(obj, w[1], true, w[2]);
  case MUIM_Set:
    SetAttrs(obj, w[1], w[2]);
    return TRUE;
  case MUIM_NoNotifySet:
    SetAttrs(obj, MUIA_NoNotify, TRUE, w[1], w[2]);
    return TRUE;
  case MUIM_MultiSet: {
    for (size_t i = 3; i < 3 + kMaxMultiSet && w[i]; i++)
      SetAttrs(reinterpret_cast<Object *>(w[i]), w[1], w[2]);
    return TRUE;
  }
  case MUIM_SetAsString: {
    std::string s = FormatString(reinterpret_cast<CONST_STRPTR>(w[2]), w + 3);
    SetAttrs(obj, w[1], s.c_str());
    return TRUE;
  }
  case MUIM_CallHook:
    return CallHookPkt(reinterpret_cast<struct Hook *>(w[1]), obj, const_cast<IPTR *>(w + 2));
  case MUIM_FindUData:
    return d->userData == w[1] ? reinterpret_cast<IPTR>(obj) : 0;
  case MUIM_GetUData:
    if (d->userData != w[1]) return FALSE;
    GetAttr(w[2], obj, reinterpret_cast<IPTR *>(w[3]));
    return TRUE;
  case MUIM_SetUData:
  case MUIM_SetUDataOnce:
    if (d->userData != w[1]) return FALSE;
    SetAttrs(obj, w[2], w[3]);
    return TRUE;
  case MUIM_WriteLong:
    if (w[2]) *reinterpret_cast<ULONG *>(w[2]) = static_cast<ULONG>(w[1]);
    return 0;
  case MUIM_WriteString:
    if (w[1] && w[2]) std::strcpy(reinterpret_cast<STRPTR>(w[2]), reinterpret_cast<CONST_STRPTR>(w[1]));
    return 0;
  case MUIM_CreateShortHelp:
    return 0; // Area answers with MUIA_ShortHelp
  }
  return DoSuperMethodA(cl, obj, msg);
}

} // namespace

IClass *NotifyClass() {
  if (!g_notifyClass) RegisterCoreClasses();
  return g_notifyClass;
}

bool IsA(Object *obj, IClass *cl) {
  if (!obj || !cl) return false;
  for (IClass *c = OCLASS(obj); c; c = c->cl_Super)
    if (c == cl) return true;
  return false;
}

NotifyData *DataOf(Object *obj) {
  if (!IsA(obj, g_notifyClass)) return nullptr;
  return static_cast<NotifyData *>(INST_DATA(g_notifyClass, obj));
}

uint64_t SerialOf(Object *obj) {
  std::lock_guard g(CoreLock());
  auto it = LiveObjects().find(obj);
  return it == LiveObjects().end() ? 0 : it->second;
}

bool StillLive(Object *obj, uint64_t serial) { return serial && SerialOf(obj) == serial; }

IPTR BubbleMethod(IClass *cl, Object *obj, Msg msg); // bubble.cpp

namespace {
struct List *AsList(struct MinList *l) {
  return reinterpret_cast<struct List *>(l);
}
struct Node *AsNode(struct MinNode *n) {
  return reinterpret_cast<struct Node *>(n);
}
} // namespace

void UnlinkChild(Object *child) {
  struct MinNode *n = ObjectNode(child);
  if (!n) return;
  if (n->mln_Succ && n->mln_Pred) Remove(AsNode(n));
  n->mln_Succ = n->mln_Pred = nullptr;
  SetObjectParent(child, nullptr);
}

bool ListContains(struct MinList *list, Object *child) {
  for (struct MinNode *n = list->mlh_Head; n->mln_Succ; n = n->mln_Succ)
    if (NodeObject(n) == child) return true;
  return false;
}

std::vector<Object *> ListChildren(struct MinList *list) {
  std::vector<Object *> v;
  for (struct MinNode *n = list->mlh_Head; n->mln_Succ; n = n->mln_Succ)
    v.push_back(NodeObject(n));
  return v;
}

bool LinkChild(Object *parent, struct MinList *list, Object *child, Object *pred, bool head) {
  struct MinNode *n = ObjectNode(child);
  if (!n || child == parent || child == pred) return false;
  if (pred && !ListContains(list, pred)) return false;
  UnlinkChild(child);
  if (pred)
    Insert(AsList(list), AsNode(n), AsNode(ObjectNode(pred)));
  else if (head)
    AddHead(AsList(list), AsNode(n));
  else
    AddTail(AsList(list), AsNode(n));
  SetObjectParent(child, parent);
  return true;
}

} // namespace platform::mui

using namespace platform::mui;

// ---- registration ---------------------------------------------------------------------------

namespace {

IPTR NotifyEntry(IClass *cl, Object *obj, Msg msg) {
  switch (msg->MethodID) {
  case MUIM_CreateBubble:
  case MUIM_DeleteBubble:
  case MUIM_DeleteShortHelp:
    return BubbleMethod(cl, obj, msg);
  }
  return platform::PartsDispatcher<NotifyData, NotifyNew, NotifyDispose, NotifyMethod, NotifySet, NotifyGet>(cl, obj, msg);
}

thread_local bool tl_inWidgetRegistration = false;

void EnsureClasses() {
  platform::RegisterCoreClasses();
  static std::atomic<bool> widgetsDone{false};
  static std::mutex widgetLock;
  if (widgetsDone.load(std::memory_order_acquire) || tl_inWidgetRegistration) return;
  std::lock_guard g(widgetLock);
  if (widgetsDone.load(std::memory_order_relaxed)) return;
  tl_inWidgetRegistration = true;
  platform::RegisterWidgetClasses();
  tl_inWidgetRegistration = false;
  widgetsDone.store(true, std::memory_order_release);
}

} // namespace

void platform::RegisterCoreClasses() {
  static std::once_flag once;
  std::call_once(once, [] {
    IClass *cl = MakePublicClass(MUIC_Notify, ROOTCLASS, sizeof(NotifyData), NotifyEntry);
    g_notifyClass = cl;
    MakeFamilyClass();
    MakeMenuClasses();
    MakeApplicationClass();
    MakeWindowClass();
    MakeSemaphoreClass();
    MakeProcessClass();
    MakeSlaveClass();
  });
}

struct IClass *MUI_GetClass(CONST_STRPTR classname) {
  if (!classname) return nullptr;
  EnsureClasses();
  return FindClass(classname);
}

void MUI_FreeClass(struct IClass *) {}

Object *MUI_NewObjectA(CONST_STRPTR classname, struct TagItem *tags) {
  struct IClass *cl = MUI_GetClass(classname);
  return cl ? NewObjectA(cl, nullptr, tags) : nullptr;
}

void MUI_DisposeObject(Object *obj) { DisposeObject(obj); }

struct MUI_CustomClass *MUI_CreateCustomClass(struct Library *, CONST_STRPTR supername,
                                              struct MUI_CustomClass *supermcc, ULONG dataSize,
                                              DISPATCHERFUNC dispatcher) {
  struct IClass *super = supername ? MUI_GetClass(supername) : (supermcc ? supermcc->mcc_Class : nullptr);
  if (!super || !dispatcher) return nullptr;
  struct IClass *cl = MakeClass(nullptr, nullptr, super, dataSize, 0);
  if (!cl) return nullptr;
  cl->cl_Dispatcher = dispatcher;
  auto *mcc = new MUI_CustomClass{};
  mcc->mcc_Super = super;
  mcc->mcc_Class = cl;
  mcc->mcc_UtilityBase = OpenLibrary("utility.library", 0);
  mcc->mcc_DOSBase = OpenLibrary("dos.library", 0);
  mcc->mcc_GfxBase = OpenLibrary("graphics.library", 0);
  mcc->mcc_IntuitionBase = OpenLibrary("intuition.library", 0);
  cl->cl_UserData = reinterpret_cast<IPTR>(mcc);
  return mcc;
}

BOOL MUI_DeleteCustomClass(struct MUI_CustomClass *mcc) {
  if (!mcc) return FALSE;
  if (!FreeClass(mcc->mcc_Class)) return FALSE;
  CloseLibrary(mcc->mcc_UtilityBase);
  CloseLibrary(mcc->mcc_DOSBase);
  CloseLibrary(mcc->mcc_GfxBase);
  CloseLibrary(mcc->mcc_IntuitionBase);
  delete mcc;
  return TRUE;
}

// ---- the object tree ------------------------------------------------------------------------

Object *NextObject(APTR *state) {
  if (!state || !*state) return nullptr;
  auto *node = static_cast<struct MinNode *>(*state);
  if (!node->mln_Succ) return nullptr; // the list's tail
  *state = node->mln_Succ;
  return platform::NodeObject(node);
}

bool platform::IsLiveObject(Object *obj) { return SerialOf(obj) != 0; }

Object *platform::ObjectParent(Object *obj) {
  NotifyData *d = DataOf(obj);
  return d ? d->parent : nullptr;
}

Object *platform::ObjectWindow(Object *obj) {
  for (int depth = 0; obj && depth < 1000; depth++, obj = ObjectParent(obj))
    if (IsA(obj, WindowClass())) return obj;
  return nullptr;
}

Object *platform::ObjectApplication(Object *obj) {
  for (int depth = 0; obj && depth < 1000; depth++, obj = ObjectParent(obj))
    if (IsA(obj, ApplicationClass())) return obj;
  return nullptr;
}

struct MinNode *platform::ObjectNode(Object *obj) {
  NotifyData *d = DataOf(obj);
  return d ? &d->node : nullptr;
}

Object *platform::NodeObject(struct MinNode *node) {
  if (!node) return nullptr;
  auto *d = reinterpret_cast<UBYTE *>(node) - offsetof(NotifyData, node);
  return reinterpret_cast<Object *>(d - g_notifyClass.load()->cl_InstOffset);
}

void platform::SetObjectParent(Object *obj, Object *parent) {
  if (NotifyData *d = DataOf(obj)) d->parent = parent;
}

void platform::TriggerNotify(Object *obj, Tag attr, IPTR value) {
  if (!DataOf(obj)) return;
  if (Display *disp = GetDisplay()) disp->AttributeChanged(obj, attr, value);
  Fire(obj, attr, value);
}

Object *_win(Object *o) { return platform::ObjectWindow(o); }
Object *_app(Object *o) { return platform::ObjectApplication(o); }
Object *_parent(Object *o) { return platform::ObjectParent(o); }
