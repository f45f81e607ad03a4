// Balance.mui: a bar between two objects of a group. The display lets a
// person drag it and resizes the neighbours; here it only keeps its quiet
// flag.
#include "mui/widgets.h"

namespace platform::widgets {
namespace {

struct BalanceData {
  LONG quiet;
};

constexpr AttrField<BalanceData> kBalanceAttrs[] = {{MUIA_Balance_Quiet, &BalanceData::quiet, kIG}};

IPTR BalanceDispatcher(struct IClass *cl, Object *obj, Msg msg) { return AttrDispatch(cl, obj, msg, kBalanceAttrs); }

} // namespace

struct IClass *MakeBalanceClass() { return MakeWidgetClass(MUIC_Balance, MUIC_Area, sizeof(BalanceData), BalanceDispatcher); }

} // namespace platform::widgets
