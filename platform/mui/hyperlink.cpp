// Hyperlink.mcc: a text that opens its address when clicked (released).
// The address goes to the desktop's opener through the link handler the
// host installs; the tooltip shows the address unless a short help is set.
#include <mutex>

#include "mui/widgets.h"

namespace platform {
namespace {
std::mutex gLinkLock;
std::function<void(const std::string &)> gLinkOpener;
} // namespace

void SetLinkOpener(std::function<void(const std::string &)> opener) {
  std::lock_guard g(gLinkLock);
  gLinkOpener = std::move(opener);
}

} // namespace platform

namespace platform::widgets {
namespace {

struct HyperlinkData {
  std::string *uri;
};

void Follow(HyperlinkData *d) {
  if (!d->uri || d->uri->empty()) return;
  std::function<void(const std::string &)> open;
  {
    std::lock_guard g(gLinkLock);
    open = gLinkOpener;
  }
  if (open) open(*d->uri);
}

IPTR HyperlinkDispatcher(struct IClass *cl, Object *obj, Msg msg) {
  switch (msg->MethodID) {
  case OM_NEW: {
    // A link reacts on release like a button.
    struct TagItem more[] = {{MUIA_InputMode, MUIV_InputMode_RelVerify},
                             {TAG_MORE, reinterpret_cast<IPTR>(reinterpret_cast<opSet *>(msg)->ops_AttrList)}};
    IPTR m[] = {OM_NEW, reinterpret_cast<IPTR>(more), 0};
    Object *o = reinterpret_cast<Object *>(DoSuperMethodA(cl, obj, reinterpret_cast<Msg>(m)));
    if (!o) return 0;
    HyperlinkData *d = static_cast<HyperlinkData *>(INST_DATA(cl, o));
    SetText(d->uri, reinterpret_cast<CONST_STRPTR>(GetTagData(MUIA_Hyperlink_URI, 0, reinterpret_cast<opSet *>(msg)->ops_AttrList)));
    return reinterpret_cast<IPTR>(o);
  }
  case OM_DISPOSE:
    SetText(static_cast<HyperlinkData *>(INST_DATA(cl, obj))->uri, nullptr);
    return DoSuperMethodA(cl, obj, msg);
  case OM_SET: {
    HyperlinkData *d = static_cast<HyperlinkData *>(INST_DATA(cl, obj));
    AreaData *a = Area(obj);
    bool wasPressed = a && a->pressed, release = false;
    struct TagItem *state = reinterpret_cast<opSet *>(msg)->ops_AttrList, *t;
    bool quiet = GetTagData(MUIA_NoNotify, FALSE, reinterpret_cast<opSet *>(msg)->ops_AttrList) != 0;
    while ((t = NextTagItem(&state))) {
      if (t->ti_Tag == MUIA_Hyperlink_URI) SetText(d->uri, reinterpret_cast<CONST_STRPTR>(t->ti_Data));
      if (t->ti_Tag == MUIA_Pressed && !t->ti_Data && wasPressed && !quiet) release = true;
    }
    IPTR r = DoSuperMethodA(cl, obj, msg);
    if (release) Follow(d);
    return r;
  }
  case OM_GET: {
    HyperlinkData *d = static_cast<HyperlinkData *>(INST_DATA(cl, obj));
    auto *g = reinterpret_cast<opGet *>(msg);
    if (g->opg_AttrID == MUIA_Hyperlink_URI || g->opg_AttrID == MUIA_Hyperlink_HoverTip) {
      *g->opg_Storage = reinterpret_cast<IPTR>(TextOf(d->uri));
      return TRUE;
    }
    return DoSuperMethodA(cl, obj, msg);
  }
  case MUIM_Hyperlink_Follow: Follow(static_cast<HyperlinkData *>(INST_DATA(cl, obj))); return 0;
  case MUIM_CreateShortHelp: {
    IPTR help = DoSuperMethodA(cl, obj, msg);
    return help ? help : reinterpret_cast<IPTR>(TextOf(static_cast<HyperlinkData *>(INST_DATA(cl, obj))->uri));
  }
  default: return DoSuperMethodA(cl, obj, msg);
  }
}

} // namespace

struct IClass *MakeHyperlinkClass() { return MakeWidgetClass(MUIC_Hyperlink, MUIC_Text, sizeof(HyperlinkData), HyperlinkDispatcher); }

} // namespace platform::widgets
