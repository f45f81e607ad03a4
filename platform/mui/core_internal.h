// Shared between the core classes of the toolkit (notify, family,
// application, window, menus, workers, bubbles). Not for other code.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "mui/dispatch.h"
#include "mui/mui.h"

namespace platform::mui {

struct NotifyNode;

// Notify's instance data: the part every toolkit object has.
struct NotifyData {
  struct MinNode node; // link in the parent's child list
  Object *parent;
  IPTR userData;
  IPTR objectID;
  CONST_STRPTR helpNode;
  LONG helpLine;
  uint64_t serial;                                    // identity that survives address reuse
  std::vector<std::shared_ptr<NotifyNode>> *notifies; // guarded by CoreLock()
};

struct IClass *NotifyClass();
NotifyData *DataOf(Object *obj); // null for objects that are no Notify object

// Child lists (families, the application's windows): link a child after
// pred (null: at the head when head is set, else at the tail), taking it out
// of any other list first; unlink; list the children in order.
bool LinkChild(Object *parent, struct MinList *list, Object *child, Object *pred, bool head);
void UnlinkChild(Object *child);
bool ListContains(struct MinList *list, Object *child);
std::vector<Object *> ListChildren(struct MinList *list);

// The user-data methods (MUIM_FindUData, MUIM_GetUData, MUIM_SetUDataOnce,
// MUIM_SetUData) of an object made of parts: its own answer first (the
// superclass's), then each part in order, null parts skipped. SetUData
// reaches all of them and answers whether any matched; the others stop at
// the first answer.
IPTR UDataOverParts(struct IClass *cl, Object *obj, Msg msg, const std::vector<Object *> &parts);

// The objects given with tag (parts made in the same expression as their
// owner), in order; false when one of them is missing (failed to be made).
inline bool TaggedObjects(struct TagItem *tags, Tag tag, std::vector<Object *> &out) {
  bool complete = true;
  EachTag(tags, [&](const TagItem &t) {
    if (t.ti_Tag != tag) return;
    if (t.ti_Data) out.push_back(reinterpret_cast<Object *>(t.ti_Data));
    else complete = false;
  });
  return complete;
}

// Class chain test without names (fast).
bool IsA(Object *obj, struct IClass *cl);

// Live objects. Serial 0 means "not live".
uint64_t SerialOf(Object *obj);
bool StillLive(Object *obj, uint64_t serial);

// Each core module makes its classes; RegisterCoreClasses calls them in
// superclass order.
struct IClass *MakeFamilyClass();
struct IClass *MakeMenuClasses(); // Menustrip, Menu, Menuitem; returns Menustrip
struct IClass *MakeApplicationClass();
struct IClass *MakeWindowClass();
struct IClass *MakeSemaphoreClass();
struct IClass *MakeProcessClass();
struct IClass *MakeSlaveClass();

struct IClass *FamilyClass();
struct IClass *ApplicationClass();
struct IClass *WindowClass();
struct IClass *MenustripClass();
struct IClass *MenuClass();
struct IClass *MenuitemClass();

// Called (on the disposing task) while obj is still intact, so that nothing
// keeps pointing at it: pushes, timers, event handlers, bubbles, short help.
void ForgetInApplications(Object *obj);
void ForgetInWindows(Object *obj);
void ForgetBubbles(Object *obj);

// Tooltips, on the GUI task.
void ShowShortHelp(Object *obj, LONG mx, LONG my);
void HideShortHelp(Object *obj);

// Window side used by the display input.
void WindowCloseRequest(Object *win);
bool WindowMouseButton(Object *win, UWORD code, WORD x, WORD y);
bool WindowIsOpen(Object *win);
// The person placed or sized the window (kept under its identifier).
void WindowSetBox(Object *win, LONG left, LONG top, LONG width, LONG height);
// The person moved the focus: MUIA_Window_ActiveObject without a loop back.
void WindowFocus(Object *win, Object *obj);

// Requester helpers shared by request.cpp and menu.cpp: runs a blocking call
// of the display. On the GUI task of a running loop the call runs on a
// helper thread while the loop goes on (nested), so that pushed methods,
// timers and redraws keep running while the person answers.
void RunBlocking(const std::function<void()> &call);
// Pops up a menu strip and waits: the chosen enabled item (its checkmark
// and trigger done), or null. GUI task.
Object *PopupChoice(Object *strip, Object *parent, LONG x, LONG y, IPTR *userData = nullptr);

} // namespace platform::mui
