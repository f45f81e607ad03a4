// Family.mui: an object with an ordered list of children (the menus are
// families). Children belong to the family: disposing it disposes them.
#include <vector>

#include "mui/core_internal.h"

namespace platform::mui {

namespace {

struct FamilyData {
  struct MinList children;
};

IClass *g_familyClass = nullptr;

bool Link(Object *family, FamilyData *d, Object *child, Object *pred, bool head) {
  return LinkChild(family, &d->children, child, pred, head);
}
bool Contains(FamilyData *d, Object *child) { return ListContains(&d->children, child); }
std::vector<Object *> Children(FamilyData *d) { return ListChildren(&d->children); }
void Unlink(Object *child) { UnlinkChild(child); }

IPTR FamilyNew(IClass *cl, Object *obj, opSet *msg) {
  std::vector<Object *> kids;
  bool missing = !TaggedObjects(msg->ops_AttrList, MUIA_Family_Child, kids);
  // A child that failed to be made fails the whole family, as its
  // construction in one expression expects; the other children go too.
  Object *o = missing ? nullptr : reinterpret_cast<Object *>(DoSuperMethodA(cl, obj, reinterpret_cast<Msg>(msg)));
  if (!o) {
    for (Object *k : kids)
      DisposeObject(k);
    return 0;
  }
  auto *d = static_cast<FamilyData *>(INST_DATA(cl, o));
  NewMinList(&d->children);
  for (Object *k : kids)
    Link(o, d, k, nullptr, false);
  return reinterpret_cast<IPTR>(o);
}

IPTR FamilyDispose(IClass *cl, Object *obj, Msg msg) {
  auto *d = static_cast<FamilyData *>(INST_DATA(cl, obj));
  for (Object *k : Children(d)) {
    Unlink(k);
    DisposeObject(k);
  }
  return DoSuperMethodA(cl, obj, msg);
}

} // namespace

IPTR UDataOverParts(IClass *cl, Object *obj, Msg msg, const std::vector<Object *> &parts) {
  IPTR r = DoSuperMethodA(cl, obj, msg);
  bool all = msg->MethodID == MUIM_SetUData;
  for (Object *part : parts) {
    if (r && !all) break;
    if (part) r |= DoMethodA(part, msg);
  }
  return r;
}

namespace {

IPTR FamilySort(Object *family, FamilyData *d, const IPTR *objs) {
  std::vector<Object *> order;
  for (size_t i = 0; objs[i] && i < 100000; i++)
    order.push_back(reinterpret_cast<Object *>(objs[i]));
  for (Object *k : order)
    if (Contains(d, k)) Link(family, d, k, nullptr, false);
  return TRUE;
}

IPTR FamilyMethod(IClass *cl, Object *obj, Msg msg, FamilyData *d) {
  const IPTR *w = Words(msg);
  switch (msg->MethodID) {
  case OM_GET:
    if (w[1] == MUIA_Family_List && w[2]) {
      *reinterpret_cast<IPTR *>(w[2]) = reinterpret_cast<IPTR>(&d->children);
      return TRUE;
    }
    break;
  case OM_ADDMEMBER:
  case MUIM_Family_AddTail:
    return Link(obj, d, reinterpret_cast<Object *>(w[1]), nullptr, false);
  case MUIM_Family_AddHead:
    return Link(obj, d, reinterpret_cast<Object *>(w[1]), nullptr, true);
  case MUIM_Family_Insert: {
    auto *pred = reinterpret_cast<Object *>(w[2]);
    return pred ? Link(obj, d, reinterpret_cast<Object *>(w[1]), pred, false)
                : Link(obj, d, reinterpret_cast<Object *>(w[1]), nullptr, true);
  }
  case OM_REMMEMBER:
  case MUIM_Family_Remove: {
    auto *k = reinterpret_cast<Object *>(w[1]);
    if (!k || !Contains(d, k)) return FALSE;
    Unlink(k);
    return TRUE;
  }
  case MUIM_Family_Sort:
    return FamilySort(obj, d, w + 1);
  case MUIM_Family_Transfer: {
    auto *to = reinterpret_cast<Object *>(w[1]);
    if (!to || to == obj) return FALSE;
    for (Object *k : Children(d))
      DoMethod(to, MUIM_Family_AddTail, k);
    return TRUE;
  }
  case MUIM_FindUData:
  case MUIM_GetUData:
  case MUIM_SetUDataOnce:
  case MUIM_SetUData:
    return UDataOverParts(cl, obj, msg, Children(d));
  }
  return DoSuperMethodA(cl, obj, msg);
}

} // namespace

IClass *MakeFamilyClass() {
  DISPATCHERFUNC dispatcher = PartsDispatcher<FamilyData, FamilyNew, FamilyDispose, FamilyMethod>;
  IClass *cl = MakePublicClass(MUIC_Family, MUIC_Notify, sizeof(FamilyData), dispatcher);
  g_familyClass = cl;
  return cl;
}

IClass *FamilyClass() { return g_familyClass; }

} // namespace platform::mui
