// Bubbles (MUIM_CreateBubble/MUIM_DeleteBubble, any task) and the tooltip
// round trip of the display (MUIM_CreateShortHelp/MUIM_DeleteShortHelp, on
// the GUI task). A bubble handle is only ever freed once: deleting an
// unknown or already deleted handle does nothing.
#include <string>
#include <unordered_map>
#include <unordered_set>

#include "mui/core_internal.h"
#include "mui/display.h"

namespace platform::mui {

namespace {

struct Bubble {
  Object *obj;
  std::string text;
};

std::mutex g_bubbleLock;
std::unordered_set<Bubble *> g_bubbles; // guarded by g_bubbleLock

struct ShownHelp {
  uint64_t serial;
  STRPTR text;
};
std::unordered_map<Object *, ShownHelp> g_help; // guarded by g_bubbleLock

void DeleteBubble(Bubble *b) {
  {
    std::lock_guard g(g_bubbleLock);
    if (!g_bubbles.erase(b)) return;
  }
  if (Display *disp = GetDisplay()) disp->BubbleDeleted(b);
  delete b;
}

} // namespace

IPTR BubbleMethod(IClass *cl, Object *obj, Msg msg) {
  (void)cl;
  switch (msg->MethodID) {
  case MUIM_CreateBubble: {
    auto *m = reinterpret_cast<MUIP_CreateBubble *>(msg);
    auto *b = new Bubble{obj, m->txt ? m->txt : ""};
    {
      std::lock_guard g(g_bubbleLock);
      g_bubbles.insert(b);
    }
    if (Display *disp = GetDisplay())
      disp->BubbleCreated(b, obj, static_cast<LONG>(m->x), static_cast<LONG>(m->y), b->text,
                          static_cast<ULONG>(m->flags));
    return reinterpret_cast<IPTR>(b);
  }
  case MUIM_DeleteBubble:
    DeleteBubble(static_cast<Bubble *>(reinterpret_cast<MUIP_DeleteBubble *>(msg)->bubble));
    return 0;
  case MUIM_DeleteShortHelp:
    return 0; // the default text belongs to the object
  }
  return 0;
}

void ForgetBubbles(Object *obj) {
  std::vector<Bubble *> mine;
  {
    std::lock_guard g(g_bubbleLock);
    for (Bubble *b : g_bubbles)
      if (b->obj == obj) mine.push_back(b);
  }
  for (Bubble *b : mine)
    DeleteBubble(b);
  // A tooltip of a disposed object is dropped: its class cannot free it any more.
  std::lock_guard g(g_bubbleLock);
  g_help.erase(obj);
}

// A tooltip still shown when its object is disposed goes while the object's
// class can still free its text: once OM_DISPOSE has run, nothing could.
const struct HideHelpOnDispose {
  HideHelpOnDispose() { platform::SetBeforeDisposeHook(HideShortHelp); }
  ~HideHelpOnDispose() { platform::SetBeforeDisposeHook(nullptr); } // the tables above go next
} g_hideHelpOnDispose;

void ShowShortHelp(Object *obj, LONG mx, LONG my) {
  HideShortHelp(obj);
  uint64_t serial = SerialOf(obj);
  auto text = reinterpret_cast<STRPTR>(DoMethod(obj, MUIM_CreateShortHelp, mx, my));
  if (!StillLive(obj, serial)) return;
  {
    std::lock_guard g(g_bubbleLock);
    g_help[obj] = {serial, text};
  }
  if (Display *disp = GetDisplay()) disp->ShortHelpShown(obj, text ? std::string(text) : std::string());
}

void HideShortHelp(Object *obj) {
  ShownHelp h;
  {
    std::lock_guard g(g_bubbleLock);
    auto it = g_help.find(obj);
    if (it == g_help.end()) return;
    h = it->second;
    g_help.erase(it);
  }
  if (Display *disp = GetDisplay()) disp->ShortHelpHidden(obj);
  if (StillLive(obj, h.serial)) DoMethod(obj, MUIM_DeleteShortHelp, h.text);
}

} // namespace platform::mui
