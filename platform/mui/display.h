// The display: whatever shows the toolkit to a person (the web front end),
// or a test that plays one. It observes windows, their object trees and
// attribute changes, bubbles, tooltips, pop-up menus and requesters, and it
// feeds input back through the functions at the end of this file.
//
// Threads. Observer calls come on the task that caused them: window and
// attribute calls on the GUI task, bubbles also from workers, requesters on
// the task that opened them. The blocking calls (Request, AslRequest,
// PopupMenu) may take as long as the person needs; a requester opened on
// the GUI task is then waited for on a helper thread while the GUI task
// keeps running its loop, so a display must be thread-safe.
//
// Without a display (headless), requesters answer their default button and
// are logged on standard error as one line; menus answer 0; ASL requesters
// are cancelled.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "mui/mui.h"

namespace platform {

struct RequestInfo {
  Object *app = nullptr;
  Object *window = nullptr;         // the reference window, may be null
  std::string title;                // Latin-1
  std::string text;                 // Latin-1, formatted, with text-engine codes
  std::vector<std::string> buttons; // left to right, without the '*' marker
  int defaultButton = 0;            // index into buttons
  bool atPosition = false;          // true: x, y give the mouse position
  LONG x = 0;
  LONG y = 0;
};
// The result number MUI_Request returns for a button index: 1, 2, ... from
// the left, 0 for the last one.
LONG RequestResultFor(const RequestInfo &info, int buttonIndex);

struct AslInfo {
  ULONG type = ASL_FileRequest;
  Object *window = nullptr;
  std::string title;
  std::string drawer; // AmigaDOS path
  std::string file;
  std::string pattern; // e.g. "#?.png" or "*.png"
  std::string positiveText;
  std::string negativeText;
  bool drawersOnly = false;
  bool saveMode = false;
  bool doPatterns = false;
};
struct AslAnswer {
  std::string drawer;
  std::string file; // empty for a drawer requester
};

// A menu as the display sees it at pop-up time (a copy: the display may
// keep it while the GUI goes on).
struct MenuEntry {
  enum Kind { Strip, Menu, Item, Bar } kind = Item;
  Object *object = nullptr; // identifies the entry in the answer
  std::string title;        // Latin-1 with text-engine codes (\33I[...] images)
  std::string shortcut;
  bool enabled = true; // false also when a parent menu is disabled
  bool checkit = false;
  bool checked = false;
  IPTR userData = 0;
  std::vector<MenuEntry> children;
};

class Display {
public:
  virtual ~Display() = default;

  // Windows: opened (the object tree can be read now, on the GUI task),
  // closed, or their tree changed (children added or removed).
  virtual void WindowOpened(Object *window) { (void)window; }
  virtual void WindowClosed(Object *window) { (void)window; }
  virtual void WindowChanged(Object *window) { (void)window; }
  // An attribute of a toolkit object was set (after the classes stored it).
  // Called for every object; keep it cheap.
  virtual void AttributeChanged(Object *obj, Tag attr, IPTR value) { (void)obj, (void)attr, (void)value; }
  // The object is going away; forget it.
  virtual void ObjectDisposed(Object *obj) { (void)obj; }

  // Bubbles: position relative to obj's window (or render target).
  virtual void BubbleCreated(APTR bubble, Object *obj, LONG x, LONG y, const std::string &text, ULONG flags) {
    (void)bubble, (void)obj, (void)x, (void)y, (void)text, (void)flags;
  }
  virtual void BubbleDeleted(APTR bubble) { (void)bubble; }
  // A tooltip asked for with InputShowShortHelp (text may be empty: none).
  virtual void ShortHelpShown(Object *obj, const std::string &text) { (void)obj, (void)text; }
  virtual void ShortHelpHidden(Object *obj) { (void)obj; }

  // Blocking. Request returns the chosen button index (0 = leftmost), or -1
  // when the requester was closed without a button.
  virtual int Request(const RequestInfo &info);
  // nullopt: cancelled.
  virtual std::optional<AslAnswer> AslRequest(const AslInfo &info);
  // The chosen entry's object, or null. (x, y): where to show it.
  virtual Object *PopupMenu(const MenuEntry &strip, Object *parent, LONG x, LONG y);
};

// Where a window opens when neither MUIA_Window_Screen nor a reference
// window names a screen (the host: the screen of the bar in use).
void SetWindowScreenHook(std::function<APTR(Object *window)> hook);
// A window width or height in pixels from its MUIA_Window_Width/Height value:
// pixels, MUIV_Window_*_Visible(p) (p % of the visible screen), _Screen(p),
// _MinMax(p) (p % between min and max), _Default; clamped to [min, max]
// (max 0: no maximum).
LONG WindowDimension(LONG spec, LONG visible, LONG screen, LONG minSize, LONG maxSize, LONG defSize);

// Installs the display (null: headless). The display must outlive its use.
void SetDisplay(Display *display);
Display *GetDisplay();

// The headless answers, also the base class's defaults.
int HeadlessRequest(const RequestInfo &info);

// ---- input from the display (thread-safe; run on the GUI task in order) ----

// Left button pressed / released over obj (a gadget in a window); the
// widget classes act on them (platform::AreaPress/AreaRelease).
void InputPress(Object *obj);
void InputRelease(Object *obj, bool inside = true);
void InputClick(Object *obj); // press and release inside
// Typed text (UTF-8, converted to Latin-1) replaces a String's contents;
// acknowledge: Return was pressed.
void InputType(Object *obj, const std::string &utf8, bool acknowledge);
// List: entry number becomes active (-1: none), as MUIA_List_Active.
// Listtree: node becomes active, as MUIA_Listtree_Active.
void InputSelectEntry(Object *list, LONG entry);
void InputSelectNode(Object *listtree, APTR treeNode);
// The window's close gadget.
void InputCloseWindow(Object *window);
// A mouse button event (code SELECTDOWN, MENUDOWN, ...) at (x, y) of the
// window's render target, run through the window's event handlers.
// obj: the window or any object in it.
void InputMouseButton(Object *obj, UWORD code, WORD x, WORD y);
// Tooltip: asks obj for its short help (MUIM_CreateShortHelp) and reports it
// with ShortHelpShown; InputHideShortHelp hands it back (MUIM_DeleteShortHelp).
void InputShowShortHelp(Object *obj, LONG mx, LONG my);
void InputHideShortHelp(Object *obj);
// The right button (or the menu key) on obj at (x, y) of its window: the
// context menu it builds (MUIM_ContextMenuBuild) pops up there, and the
// choice goes back through MUIM_ContextMenuChoice.
void InputContextMenu(Object *obj, LONG x, LONG y);
// The person moved or sized a window (pixels on its screen); a window with
// an identifier keeps that for its next opening, also after a restart.
void InputWindowBox(Object *window, LONG left, LONG top, LONG width, LONG height);
// The keyboard focus moved to obj (a gadget of its window), as
// MUIA_Window_ActiveObject.
void InputFocus(Object *obj);
// Any other input: fn runs on the GUI task when obj is still alive then.
void InputCall(Object *obj, std::function<void(Object *)> fn);

} // namespace platform
