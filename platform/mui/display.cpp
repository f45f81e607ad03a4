// The installed display, its headless defaults, and the input it feeds back
// (marshalled to the GUI task; objects gone by then are skipped).
#include <atomic>
#include <cstdio>

#include "exec/text.h"
#include "mui/core_internal.h"
#include "mui/display.h"
#include "mui/textengine.h"

namespace platform {

namespace {

std::atomic<Display *> g_display{nullptr};

std::string Escaped(const std::string &latin1) {
  std::string s;
  for (char c : Latin1ToUtf8(latin1)) {
    if (c == '\n')
      s += "\\n";
    else if (c == '\\')
      s += "\\\\";
    else if (static_cast<unsigned char>(c) < 0x20)
      s += ' ';
    else
      s += c;
  }
  return s;
}

void Post(Object *obj, std::function<void(Object *)> fn) {
  uint64_t serial = mui::SerialOf(obj);
  Object *app = CurrentApplication();
  if (!serial || !app) return;
  PostToApplication(app, [obj, serial, fn = std::move(fn)] {
    if (mui::StillLive(obj, serial)) fn(obj);
  });
}

} // namespace

void SetDisplay(Display *display) { g_display.store(display, std::memory_order_release); }
Display *GetDisplay() { return g_display.load(std::memory_order_acquire); }

LONG RequestResultFor(const RequestInfo &info, int buttonIndex) {
  int n = static_cast<int>(info.buttons.size());
  if (buttonIndex < 0 || buttonIndex >= n - 1) return 0; // the last button, or closed
  return buttonIndex + 1;
}

int HeadlessRequest(const RequestInfo &info) {
  int choice = info.defaultButton;
  std::string buttons;
  for (size_t i = 0; i < info.buttons.size(); i++)
    buttons += (i ? "|" : "") + Escaped(info.buttons[i]);
  std::string chosen = choice >= 0 && choice < static_cast<int>(info.buttons.size()) ? info.buttons[choice] : "";
  std::fprintf(stderr, "Requester \"%s\": \"%s\" [%s] -> %ld \"%s\"\n", Escaped(info.title).c_str(),
               Escaped(PlainText(info.text)).c_str(), buttons.c_str(),
               static_cast<long>(RequestResultFor(info, choice)), Escaped(chosen).c_str());
  return choice;
}

int Display::Request(const RequestInfo &info) { return HeadlessRequest(info); }

std::optional<AslAnswer> Display::AslRequest(const AslInfo &info) {
  std::fprintf(stderr, "ASL requester \"%s\" (%s) -> cancelled\n", Escaped(info.title).c_str(),
               Escaped(info.drawer).c_str());
  return std::nullopt;
}

Object *Display::PopupMenu(const MenuEntry &, Object *, LONG, LONG) { return nullptr; }

void InputPress(Object *obj) {
  Post(obj, [](Object *o) { AreaPress(o); });
}
void InputRelease(Object *obj, bool inside) {
  Post(obj, [inside](Object *o) { AreaRelease(o, inside); });
}
void InputClick(Object *obj) {
  Post(obj, [](Object *o) { AreaClick(o); });
}
void InputType(Object *obj, const std::string &utf8, bool acknowledge) {
  std::string latin1 = Utf8ToLatin1(utf8);
  Post(obj, [latin1, acknowledge](Object *o) { StringType(o, latin1, acknowledge); });
}
void InputSelectEntry(Object *list, LONG entry) {
  Post(list, [entry](Object *o) { SetAttrs(o, MUIA_List_Active, entry); });
}
void InputSelectNode(Object *listtree, APTR treeNode) {
  Post(listtree, [treeNode](Object *o) { SetAttrs(o, MUIA_Listtree_Active, treeNode); });
}
void InputCloseWindow(Object *window) {
  Post(window, [](Object *o) { mui::WindowCloseRequest(o); });
}
void InputMouseButton(Object *obj, UWORD code, WORD x, WORD y) {
  Post(obj, [code, x, y](Object *o) {
    if (Object *win = ObjectWindow(o)) mui::WindowMouseButton(win, code, x, y);
  });
}
void InputShowShortHelp(Object *obj, LONG mx, LONG my) {
  Post(obj, [mx, my](Object *o) { mui::ShowShortHelp(o, mx, my); });
}
void InputHideShortHelp(Object *obj) {
  Post(obj, [](Object *o) { mui::HideShortHelp(o); });
}
void InputContextMenu(Object *obj, LONG x, LONG y) {
  Post(obj, [x, y](Object *o) {
    auto *strip = reinterpret_cast<Object *>(DoMethod(o, MUIM_ContextMenuBuild, x, y));
    if (!strip) return;
    uint64_t serial = mui::SerialOf(o);
    Object *item = mui::PopupChoice(strip, o, x, y);
    // The menu waited for the person; the object may be gone by now.
    if (item && mui::StillLive(o, serial)) DoMethod(o, MUIM_ContextMenuChoice, item);
  });
}
void InputWindowBox(Object *window, LONG left, LONG top, LONG width, LONG height) {
  Post(window, [=](Object *o) { mui::WindowSetBox(o, left, top, width, height); });
}
void InputFocus(Object *obj) {
  Post(obj, [](Object *o) {
    if (Object *win = ObjectWindow(o); win && win != o) mui::WindowFocus(win, o);
  });
}
void InputCall(Object *obj, std::function<void(Object *)> fn) { Post(obj, std::move(fn)); }

} // namespace platform
