// Balance.mui: a bar between two objects of a group. The display lets a
// person drag it and resizes the neighbours; here it only keeps its quiet
// flag.
#include "mui/widgets.h"

namespace platform::widgets {
namespace {

struct BalanceData {
  LONG quiet;
};

IPTR BalanceDispatcher(struct IClass *cl, Object *obj, Msg msg) {
  switch (msg->MethodID) {
  case OM_NEW: {
    Object *o = reinterpret_cast<Object *>(DoSuperMethodA(cl, obj, msg));
    if (o)
      static_cast<BalanceData *>(INST_DATA(cl, o))->quiet =
          static_cast<LONG>(GetTagData(MUIA_Balance_Quiet, 0, reinterpret_cast<opSet *>(msg)->ops_AttrList));
    return reinterpret_cast<IPTR>(o);
  }
  case OM_GET: {
    auto *g = reinterpret_cast<opGet *>(msg);
    if (g->opg_AttrID != MUIA_Balance_Quiet) return DoSuperMethodA(cl, obj, msg);
    *g->opg_Storage = static_cast<IPTR>(static_cast<BalanceData *>(INST_DATA(cl, obj))->quiet);
    return TRUE;
  }
  default: return DoSuperMethodA(cl, obj, msg);
  }
}

} // namespace

struct IClass *MakeBalanceClass() { return MakeWidgetClass(MUIC_Balance, MUIC_Area, sizeof(BalanceData), BalanceDispatcher); }

} // namespace platform::widgets
