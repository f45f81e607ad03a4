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

constexpr AttrField<HyperlinkData> kLinkAttrs[] = {{MUIA_Hyperlink_URI, &HyperlinkData::uri, kISG},
                                                   {MUIA_Hyperlink_HoverTip, &HyperlinkData::uri, kGet}};

IPTR HyperlinkDispatcher(struct IClass *cl, Object *obj, Msg msg) {
  switch (msg->MethodID) {
  case OM_NEW: {
    // A link reacts on release like a button.
    struct TagItem more[] = {{MUIA_InputMode, MUIV_InputMode_RelVerify},
                             {TAG_MORE, reinterpret_cast<IPTR>(reinterpret_cast<opSet *>(msg)->ops_AttrList)}};
    IPTR m[] = {OM_NEW, reinterpret_cast<IPTR>(more), 0};
    auto made = SuperNew<HyperlinkData>(cl, obj, reinterpret_cast<Msg>(m));
    if (made) InitAttrs(made.data, kLinkAttrs, AttrTags(msg));
    return made.result();
  }
  case OM_DISPOSE:
    FreeAttrs(InstOf<HyperlinkData>(cl, obj), kLinkAttrs);
    return DoSuperMethodA(cl, obj, msg);
  case OM_SET: {
    HyperlinkData *d = InstOf<HyperlinkData>(cl, obj);
    AreaData *a = Area(obj);
    bool wasPressed = a && a->pressed, release = false;
    bool quiet = GetTagData(MUIA_NoNotify, FALSE, AttrTags(msg)) != 0;
    EachTag(AttrTags(msg), [&](const TagItem &t) {
      StoreAttr(d, kLinkAttrs, t);
      if (t.ti_Tag == MUIA_Pressed && !t.ti_Data && wasPressed && !quiet) release = true;
    });
    IPTR r = DoSuperMethodA(cl, obj, msg);
    if (release) Follow(d);
    return r;
  }
  case OM_GET: return GetOrSuper(cl, obj, msg, kLinkAttrs);
  case MUIM_Hyperlink_Follow: Follow(InstOf<HyperlinkData>(cl, obj)); return 0;
  case MUIM_CreateShortHelp: {
    IPTR help = DoSuperMethodA(cl, obj, msg);
    return help ? help : reinterpret_cast<IPTR>(TextOf(InstOf<HyperlinkData>(cl, obj)->uri));
  }
  default: return DoSuperMethodA(cl, obj, msg);
  }
}

} // namespace

struct IClass *MakeHyperlinkClass() { return MakeWidgetClass(MUIC_Hyperlink, MUIC_Text, sizeof(HyperlinkData), HyperlinkDispatcher); }

} // namespace platform::widgets
