// Mccprefs.mui: a settings group that knows which of its gadgets carries
// which configuration item, so that the host can load and save them.
#include "mui/widgets.h"

namespace platform::widgets {
namespace {

struct MccprefsData {
  std::vector<PrefsGadget> *gadgets;
};

IPTR MccprefsDispatcher(struct IClass *cl, Object *obj, Msg msg) {
  switch (msg->MethodID) {
  case OM_NEW: {
    Object *o = reinterpret_cast<Object *>(DoSuperMethodA(cl, obj, msg));
    if (o) static_cast<MccprefsData *>(INST_DATA(cl, o))->gadgets = new std::vector<PrefsGadget>;
    return reinterpret_cast<IPTR>(o);
  }
  case OM_DISPOSE: {
    MccprefsData *d = static_cast<MccprefsData *>(INST_DATA(cl, obj));
    delete d->gadgets;
    d->gadgets = nullptr;
    return DoSuperMethodA(cl, obj, msg);
  }
  case MUIM_Mccprefs_RegisterGadget: {
    auto *m = reinterpret_cast<MUIP_Mccprefs_RegisterGadget *>(msg);
    if (!m->gadget) return FALSE;
    MccprefsData *d = static_cast<MccprefsData *>(INST_DATA(cl, obj));
    d->gadgets->push_back({m->gadget, static_cast<ULONG>(m->id), static_cast<ULONG>(m->attr), m->label,
                           m->title ? m->title : ""});
    return TRUE;
  }
  default: return DoSuperMethodA(cl, obj, msg);
  }
}

struct IClass *gMccprefs;

} // namespace

struct IClass *MakeMccprefsClass() { return gMccprefs = MakeWidgetClass(MUIC_Mccprefs, MUIC_Group, sizeof(MccprefsData), MccprefsDispatcher); }

} // namespace platform::widgets

namespace platform {

std::vector<PrefsGadget> PrefsGadgets(Object *prefs) {
  using namespace widgets;
  if (!prefs || !gMccprefs) return {};
  for (struct IClass *c = OCLASS(prefs); c; c = c->cl_Super)
    if (c == gMccprefs) return *static_cast<MccprefsData *>(INST_DATA(gMccprefs, prefs))->gadgets;
  return {};
}

} // namespace platform
