// Window.mui: a window of the application with its root object, opened and
// closed through the display, with a nesting sleep count, the event
// handler nodes that see raw input (mouse buttons) before the gadgets, the
// keyboard focus, and the place and size a window with an identifier
// keeps across runs.
#include <algorithm>
#include <cstdio>
#include <map>
#include <string>

#include "dos/dos.h"

#include "mui/core_internal.h"
#include "mui/display.h"

namespace platform::mui {

namespace {

struct WindowData {
  Object *root;
  Object *menustrip;
  Object *defaultObject;
  Object *activeObject;
  Object *refWindow;
  APTR screen;
  std::string *title;
  std::string *screenTitle;
  IPTR id;
  LONG width, height, left, top;
  BOOL open;
  LONG sleep;
  BOOL closeGadget;
  std::vector<struct MUI_EventHandlerNode *> *handlers; // by priority, highest first
};

IClass *g_windowClass = nullptr;

std::mutex g_windowsLock;
std::vector<Object *> g_windows; // live windows; guarded by g_windowsLock

std::function<APTR(Object *)> g_screenHook; // guarded by g_windowsLock

WindowData *WD(Object *win) { return static_cast<WindowData *>(INST_DATA(g_windowClass, win)); }

// Places by window identifier, one line each: "MDCH left top width height".
constexpr const char *kGeometryFile = "ENVARC:MUI/Windows.geometry";
struct Box {
  LONG left, top, width, height;
};

std::string IdText(IPTR id) {
  std::string s;
  for (int shift = 24; shift >= 0; shift -= 8) {
    char c = static_cast<char>((id >> shift) & 0xFF);
    s += (c > ' ' && c < 0x7F) ? c : '_';
  }
  return s;
}

std::map<std::string, Box> ReadGeometry() {
  std::map<std::string, Box> boxes;
  std::string path = ToLinuxPath(kGeometryFile, false);
  FILE *f = path.empty() ? nullptr : std::fopen(path.c_str(), "r");
  if (!f) return boxes;
  char id[8];
  long l, t, w, h;
  for (int lines = 0; lines < 1000 && std::fscanf(f, "%4s %ld %ld %ld %ld", id, &l, &t, &w, &h) == 5; ++lines)
    if (w > 0 && h > 0 && w < 100000 && h < 100000 && l > -100000 && l < 100000 && t > -100000 && t < 100000)
      boxes[id] = Box{static_cast<LONG>(l), static_cast<LONG>(t), static_cast<LONG>(w), static_cast<LONG>(h)};
  std::fclose(f);
  return boxes;
}

void WriteGeometry(const std::map<std::string, Box> &boxes) {
  BPTR lock = Lock("ENVARC:MUI", ACCESS_READ);
  if (lock) UnLock(lock);
  else if (BPTR made = CreateDir("ENVARC:MUI")) UnLock(made);
  std::string path = ToLinuxPath(kGeometryFile, true);
  if (path.empty()) return;
  std::string tmp = path + ".new";
  FILE *f = std::fopen(tmp.c_str(), "w");
  if (!f) return;
  for (auto &[id, b] : boxes) std::fprintf(f, "%s %ld %ld %ld %ld\n", id.c_str(), static_cast<long>(b.left), static_cast<long>(b.top),
                                           static_cast<long>(b.width), static_cast<long>(b.height));
  bool ok = std::fclose(f) == 0;
  if (ok) std::rename(tmp.c_str(), path.c_str()); // never a half-written file
  else std::remove(tmp.c_str());
}

void SetRoot(Object *win, WindowData *d, Object *root) {
  if (d->root == root) return;
  if (d->root) SetObjectParent(d->root, nullptr);
  d->root = root;
  if (root) SetObjectParent(root, win);
}

APTR ScreenToOpenOn(Object *win, WindowData *d) {
  if (d->screen) return d->screen;
  if (d->refWindow && IsLiveObject(d->refWindow) && IsA(d->refWindow, g_windowClass)) {
    WindowData *rd = WD(d->refWindow);
    if (rd->screen) return rd->screen;
  }
  std::function<APTR(Object *)> hook;
  {
    std::lock_guard g(g_windowsLock);
    hook = g_screenHook;
  }
  return hook ? hook(win) : nullptr;
}

// The objects of the cycle chain in tree order: shown, enabled, in it.
void CycleChain(Object *o, std::vector<Object *> &out, int depth) {
  if (!o || depth > 64) return;
  IPTR show = TRUE, disabled = FALSE, cycle = 0;
  GetAttr(MUIA_ShowMe, o, &show);
  if (!show) return;
  GetAttr(MUIA_Disabled, o, &disabled);
  GetAttr(MUIA_CycleChain, o, &cycle);
  if (cycle && !disabled) out.push_back(o);
  for (Object *c : GroupChildren(o)) CycleChain(c, out, depth + 1);
}

// Plain fields; the rest go through ApplyTag (set) and WindowGet (get).
// The screen is only answered while the window is open.
// clang-format off
constexpr AttrField<WindowData> kWindowAttrs[] = {
    {MUIA_Window_Open, &WindowData::open, kGet}, {MUIA_Window_RootObject, &WindowData::root, kGet},
    {MUIA_Window_ActiveObject, &WindowData::activeObject, kGet}, {MUIA_Window_Menustrip, &WindowData::menustrip, kGet},
    {MUIA_Window_Screen, &WindowData::screen, kSet}, {MUIA_Window_RefWindow, &WindowData::refWindow, kSet},
    {MUIA_Window_DefaultObject, &WindowData::defaultObject, kSet | kGet},
    {MUIA_Window_Title, &WindowData::title, kSet | kGet},
    {MUIA_Window_ScreenTitle, &WindowData::screenTitle, kSet | kGet}, {MUIA_Window_ID, &WindowData::id, kSet | kGet},
    {MUIA_Window_Width, &WindowData::width, kSet | kGet}, {MUIA_Window_Height, &WindowData::height, kSet | kGet},
    {MUIA_Window_LeftEdge, &WindowData::left, kSet | kGet}, {MUIA_Window_TopEdge, &WindowData::top, kSet | kGet},
    {MUIA_Window_CloseGadget, &WindowData::closeGadget, kSet | kGet},
};
// clang-format on

// Applies the window's own attributes; returns tags to hide from the
// notifications (a refused open announces nothing).
bool ApplyTag(Object *win, WindowData *d, struct TagItem *t, bool creating) {
  switch (t->ti_Tag) {
  case MUIA_Window_Open:
    if (creating) return true; // opening needs the application: set it afterwards
    if (t->ti_Data) {
      if (d->open) return false; // already open: to the front, announced again
      if (!ObjectApplication(win)) return true;
      if (d->id) {
        auto boxes = ReadGeometry();
        if (auto it = boxes.find(IdText(d->id)); it != boxes.end()) {
          d->left = it->second.left;
          d->top = it->second.top;
          d->width = it->second.width;
          d->height = it->second.height;
        }
      }
      d->screen = ScreenToOpenOn(win, d);
      d->open = TRUE;
      if (Display *disp = GetDisplay()) disp->WindowOpened(win);
    } else {
      if (!d->open) return false;
      d->open = FALSE;
      if (Display *disp = GetDisplay()) disp->WindowClosed(win);
    }
    return false;
  case MUIA_Window_Sleep:
    if (t->ti_Data)
      d->sleep++;
    else if (d->sleep > 0)
      d->sleep--;
    return false;
  case MUIA_Window_RootObject:
    SetRoot(win, d, reinterpret_cast<Object *>(t->ti_Data));
    return false;
  case MUIA_Window_ActiveObject: {
    IPTR v = t->ti_Data;
    if (v == MUIV_Window_ActiveObject_Next || v == MUIV_Window_ActiveObject_Prev) {
      // Along the cycle chain, round at the ends.
      std::vector<Object *> chain;
      CycleChain(d->root, chain, 0);
      if (chain.empty()) return false;
      auto it = std::find(chain.begin(), chain.end(), d->activeObject);
      long at = it == chain.end() ? -1 : static_cast<long>(it - chain.begin()), n = static_cast<long>(chain.size());
      at = v == MUIV_Window_ActiveObject_Next ? (at + 1) % n : (at <= 0 ? n - 1 : at - 1);
      d->activeObject = chain[static_cast<size_t>(at)];
      t->ti_Data = reinterpret_cast<IPTR>(d->activeObject); // the notifications see the object
      return false;
    }
    d->activeObject = reinterpret_cast<Object *>(v);
    return false;
  }
  case MUIA_Window_Menustrip:
    if (creating) {
      d->menustrip = reinterpret_cast<Object *>(t->ti_Data);
      if (d->menustrip) SetObjectParent(d->menustrip, win);
    }
    return false;
  default:
    StoreAttr(d, kWindowAttrs, *t);
    return false;
  }
}

IPTR WindowNew(IClass *cl, Object *obj, opSet *msg) {
  Object *root = reinterpret_cast<Object *>(GetTagData(MUIA_Window_RootObject, 0, msg->ops_AttrList));
  bool missingRoot = FindTagItem(MUIA_Window_RootObject, msg->ops_AttrList) && !root;
  Object *o = missingRoot ? nullptr : reinterpret_cast<Object *>(DoSuperMethodA(cl, obj, reinterpret_cast<Msg>(msg)));
  if (!o) {
    DisposeObject(reinterpret_cast<Object *>(GetTagData(MUIA_Window_Menustrip, 0, msg->ops_AttrList)));
    return 0; // a failed root fails the window, as its one-expression construction expects
  }
  auto *d = static_cast<WindowData *>(INST_DATA(cl, o));
  d->handlers = new std::vector<struct MUI_EventHandlerNode *>();
  d->width = MUIV_Window_Width_Default;
  d->height = MUIV_Window_Height_Default;
  d->left = d->top = -1;
  d->closeGadget = TRUE;
  struct TagItem *tags = msg->ops_AttrList, *t;
  while ((t = NextTagItem(&tags)))
    ApplyTag(o, d, t, true);
  {
    std::lock_guard g(g_windowsLock);
    g_windows.push_back(o);
  }
  return reinterpret_cast<IPTR>(o);
}

IPTR WindowDispose(IClass *cl, Object *obj, Msg msg) {
  auto *d = static_cast<WindowData *>(INST_DATA(cl, obj));
  if (d->open) {
    d->open = FALSE;
    if (Display *disp = GetDisplay()) disp->WindowClosed(obj);
  }
  {
    std::lock_guard g(g_windowsLock);
    g_windows.erase(std::remove(g_windows.begin(), g_windows.end(), obj), g_windows.end());
  }
  Object *root = d->root;
  d->root = nullptr;
  if (root) {
    SetObjectParent(root, nullptr);
    DisposeObject(root);
  }
  DisposeObject(d->menustrip);
  d->menustrip = nullptr;
  for (auto *ehn : *d->handlers)
    ehn->ehn_Flags &= ~MUI_EHF_ISENABLED;
  delete d->handlers;
  FreeAttrs(d, kWindowAttrs);
  return DoSuperMethodA(cl, obj, msg);
}

IPTR WindowSet(IClass *cl, Object *obj, opSet *msg) {
  auto *d = static_cast<WindowData *>(INST_DATA(cl, obj));
  std::vector<struct TagItem> pass;
  struct TagItem *tags = msg->ops_AttrList, *t;
  bool hid = false;
  while ((t = NextTagItem(&tags))) {
    bool hide = ApplyTag(obj, d, t, false);
    pass.push_back({hide ? TAG_IGNORE : t->ti_Tag, t->ti_Data});
    hid |= hide;
  }
  if (!hid) return DoSuperMethodA(cl, obj, reinterpret_cast<Msg>(msg));
  pass.push_back({TAG_DONE, 0});
  opSet copy{OM_SET, pass.data(), msg->ops_GInfo};
  return DoSuperMethodA(cl, obj, reinterpret_cast<Msg>(&copy));
}

IPTR WindowGet(IClass *cl, Object *obj, opGet *msg) {
  auto *d = InstOf<WindowData>(cl, obj);
  if (IPTR *s = msg->opg_Storage) switch (msg->opg_AttrID) {
    case MUIA_Window_Sleep: *s = d->sleep > 0; return TRUE;
    case MUIA_Window_Screen: *s = d->open ? reinterpret_cast<IPTR>(d->screen) : 0; return TRUE;
    case MUIA_Window_CloseRequest: *s = FALSE; return TRUE;
    default:
      if (LoadAttr(d, kWindowAttrs, msg)) return TRUE;
    }
  return DoSuperMethodA(cl, obj, reinterpret_cast<Msg>(msg));
}

IPTR AddHandler(WindowData *d, struct MUI_EventHandlerNode *ehn) {
  if (!ehn) return FALSE;
  auto &v = *d->handlers;
  if (std::find(v.begin(), v.end(), ehn) != v.end()) return TRUE;
  // Same priority: the one added first runs first.
  auto pos = std::find_if(v.begin(), v.end(), [&](auto *h) { return h->ehn_Priority < ehn->ehn_Priority; });
  v.insert(pos, ehn);
  ehn->ehn_Flags |= MUI_EHF_ISENABLED;
  return TRUE;
}

IPTR RemHandler(WindowData *d, struct MUI_EventHandlerNode *ehn) {
  auto &v = *d->handlers;
  auto it = std::find(v.begin(), v.end(), ehn);
  if (it == v.end()) return FALSE;
  v.erase(it);
  ehn->ehn_Flags &= ~MUI_EHF_ISENABLED;
  return TRUE;
}

IPTR WindowMethod(IClass *cl, Object *obj, Msg msg, WindowData *d) {
  const IPTR *w = Words(msg);
  switch (msg->MethodID) {
  case MUIM_Window_AddEventHandler:
    return AddHandler(d, reinterpret_cast<struct MUI_EventHandlerNode *>(w[1]));
  case MUIM_Window_RemEventHandler:
    return RemHandler(d, reinterpret_cast<struct MUI_EventHandlerNode *>(w[1]));
  case MUIM_Window_ToFront:
  case MUIM_Window_ToBack:
  case MUIM_Window_ScreenToFront:
  case MUIM_Window_ScreenToBack:
    return 0;
  case MUIM_FindUData:
  case MUIM_GetUData:
  case MUIM_SetUDataOnce:
  case MUIM_SetUData:
    return UDataOverParts(cl, obj, msg, {d->root, d->menustrip});
  }
  return DoSuperMethodA(cl, obj, msg);
}

} // namespace

IClass *MakeWindowClass() {
  DISPATCHERFUNC dispatcher = PartsDispatcher<WindowData, WindowNew, WindowDispose, WindowMethod, WindowSet, WindowGet>;
  return g_windowClass = MakePublicClass(MUIC_Window, MUIC_Notify, sizeof(WindowData), dispatcher);
}

IClass *WindowClass() { return g_windowClass; }

void ForgetInWindows(Object *obj) {
  std::lock_guard g(g_windowsLock);
  for (Object *win : g_windows) {
    WindowData *d = WD(win);
    auto &v = *d->handlers;
    for (auto *h : v)
      if (h->ehn_Object == obj) h->ehn_Flags &= ~MUI_EHF_ISENABLED;
    v.erase(std::remove_if(v.begin(), v.end(), [&](auto *h) { return h->ehn_Object == obj; }), v.end());
    if (d->defaultObject == obj) d->defaultObject = nullptr;
    if (d->activeObject == obj) d->activeObject = nullptr;
    if (d->refWindow == obj) d->refWindow = nullptr;
    if (d->root == obj) d->root = nullptr;
  }
}

void WindowSetBox(Object *win, LONG left, LONG top, LONG width, LONG height) {
  if (!IsA(win, g_windowClass) || width <= 0 || height <= 0) return;
  WindowData *d = WD(win);
  d->left = left;
  d->top = top;
  d->width = width;
  d->height = height;
  if (!d->id) return;
  auto boxes = ReadGeometry();
  boxes[IdText(d->id)] = Box{left, top, width, height};
  WriteGeometry(boxes);
}

void WindowFocus(Object *win, Object *obj) {
  if (!IsA(win, g_windowClass) || WD(win)->activeObject == obj) return;
  SetAttrs(win, MUIA_Window_ActiveObject, obj);
}

void WindowCloseRequest(Object *win) {
  if (!IsA(win, g_windowClass)) return;
  // Announced like any attribute: the application ties it to closing.
  SetAttrs(win, MUIA_Window_CloseRequest, TRUE);
}

bool WindowIsOpen(Object *win) { return IsA(win, g_windowClass) && WD(win)->open; }

bool WindowMouseButton(Object *win, UWORD code, WORD x, WORD y) {
  if (!IsA(win, g_windowClass)) return false;
  std::vector<struct MUI_EventHandlerNode *> handlers = *WD(win)->handlers;
  struct IntuiMessage im {};
  im.Class = IDCMP_MOUSEBUTTONS;
  im.Code = code;
  im.MouseX = x;
  im.MouseY = y;
  for (auto *h : handlers) {
    // A handler removed by an earlier one is not called any more.
    auto &now = *WD(win)->handlers;
    if (std::find(now.begin(), now.end(), h) == now.end()) continue;
    if (!(h->ehn_Events & IDCMP_MOUSEBUTTONS)) continue;
    Object *target = h->ehn_Object;
    if (!IsLiveObject(target)) continue;
    if (h->ehn_Flags & MUI_EHF_GUIMODE) {
      IPTR disabled = 0;
      GetAttr(MUIA_Disabled, target, &disabled);
      if (disabled) continue;
    }
    IPTR rc = h->ehn_Class ? CoerceMethod(h->ehn_Class, target, MUIM_HandleEvent, &im, MUIKEY_NONE)
                           : DoMethod(target, MUIM_HandleEvent, &im, MUIKEY_NONE);
    if (rc & MUI_EventHandlerRC_Eat) return true;
    if (!IsLiveObject(win)) return false;
  }
  return false;
}

} // namespace platform::mui

void platform::SetWindowScreenHook(std::function<APTR(Object *)> hook) {
  std::lock_guard g(platform::mui::g_windowsLock);
  platform::mui::g_screenHook = std::move(hook);
}

LONG platform::WindowDimension(LONG spec, LONG visible, LONG screen, LONG minSize, LONG maxSize, LONG defSize) {
  LONG v;
  if (spec == MUIV_Window_Width_Default)
    v = defSize;
  else if (spec == MUIV_Window_Width_Scaled)
    v = defSize;
  else if (spec <= -200 && spec > -300)
    v = static_cast<LONG>(static_cast<int64_t>(screen) * (-200 - spec) / 100);
  else if (spec <= -100 && spec > -200)
    v = static_cast<LONG>(static_cast<int64_t>(visible) * (-100 - spec) / 100);
  else if (spec <= 0 && spec > -100)
    v = minSize + static_cast<LONG>(static_cast<int64_t>(maxSize - minSize) * (-spec) / 100);
  else
    v = spec;
  if (v < minSize) v = minSize;
  if (maxSize > 0 && v > maxSize) v = maxSize;
  return v;
}
