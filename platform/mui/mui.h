// The GUI toolkit: the umbrella header. Include this, not object.h or
// classes.h on their own.
//
// Objects and classes
//   Every toolkit class descends from "Notify.mui". MUI_NewObject makes an
//   object by class name; MUI_CreateCustomClass makes a private subclass of
//   a toolkit class (by name) or of another custom class. Unknown methods go
//   to the superclass; the root answers 0.
//
// Notification
//   DoMethod(obj, MUIM_Notify, attr, value, dest, n, method, args...) makes
//   `method` with its n-1 arguments run on dest whenever attr of obj is set
//   to value (MUIV_EveryTime: to anything). dest is an object or one of
//   MUIV_Notify_Self/Window/Application/Parent, resolved when it fires. In
//   the arguments, MUIV_TriggerValue becomes the new value and
//   MUIV_NotTriggerValue its negation (!value).
//
//   How a notification is triggered: Notify's OM_SET fires the
//   notifications of EVERY tag of the list it receives, in list order,
//   unless the list holds MUIA_NoNotify = TRUE. So a subclass that changes
//   one of its attributes on its own (a click, typed text) announces it
//   exactly as a caller would:
//       SetAttrs(obj, MUIA_Selected, TRUE);            // whole class chain
//   or, from inside its dispatcher, without running its own OM_SET again:
//       DoSuperMethod(cl, obj, OM_SET, tags.items(), nullptr);
//   and a subclass's OM_SET always passes the list on to its superclass
//   (drop a tag by turning it into TAG_IGNORE when a value must not
//   announce itself, e.g. when it did not change).
//   A notification does not fire again while it is already running (so two
//   objects tied both ways settle instead of looping). Disposing an object
//   removes the notifications that point at it and its pending pushes.
//
// Threads
//   Only the application's task (the GUI task, running the loop) touches
//   GUI objects. Other tasks push (MUIM_Application_PushMethod), send to a
//   Slave.mui, or signal a Process.mui; those entry points are thread-safe.
//
// Who defines what: the core (this file) holds Notify, Family, Application,
// Window, Menustrip/Menu/Menuitem, Slave, Process, Semaphore, bubbles, short
// help, event handler nodes, requesters and the ASL requesters. The widget
// classes, MUI_MakeObject, pens and drawing are in mui/classes.h. The
// accessors _win(), _app() and _parent() declared there are defined by the
// core (notify.cpp).
#pragma once

#include <functional>
#include <string>

#include "exec/exec.h"
#include "exec/tags.h"
#include "exec/types.h"
#include "mui/object.h"

// ---- class names ----------------------------------------------------------------------------

#define MUIC_Notify "Notify.mui"
#define MUIC_Family "Family.mui"
#define MUIC_Menustrip "Menustrip.mui"
#define MUIC_Menu "Menu.mui"
#define MUIC_Menuitem "Menuitem.mui"
#define MUIC_Application "Application.mui"
#define MUIC_Window "Window.mui"
#define MUIC_Semaphore "Semaphore.mui"
#define MUIC_Process "Process.mui"
#define MUIC_Slave "Slave.mui"

#define MUIMASTER_NAME "muimaster.library"
#define MUIMASTER_VMIN 20

// ---- special values -------------------------------------------------------------------------

enum : IPTR {
  MUIV_TriggerValue = 0x49893131,
  MUIV_NotTriggerValue = 0x49893133,
  MUIV_EveryTime = 0x49893131,
};
enum : IPTR {
  MUIV_Notify_Self = 1,
  MUIV_Notify_Window = 2,
  MUIV_Notify_Application = 3,
  MUIV_Notify_Parent = 4,
};

// ---- Notify ---------------------------------------------------------------------------------

enum : IPTR {
  MUIM_CallHook = 0x8042b96b,
  MUIM_FindUData = 0x8042c196,
  MUIM_GetUData = 0x8042ed0c,
  MUIM_KillNotify = 0x8042d240,
  MUIM_KillNotifyObj = 0x8042b145,
  MUIM_MultiSet = 0x8042d356,
  MUIM_NoNotifySet = 0x8042216f,
  MUIM_Notify = 0x8042c9cb,
  MUIM_Set = 0x8042549a,
  MUIM_SetAsString = 0x80422590,
  MUIM_SetUData = 0x8042c920,
  MUIM_SetUDataOnce = 0x8042ca19,
  MUIM_WriteLong = 0x80428d86,
  MUIM_WriteString = 0x80424bf4,
};
enum : IPTR {
  MUIA_ApplicationObject = 0x8042d3ee,
  MUIA_HelpLine = 0x8042a825,
  MUIA_HelpNode = 0x80420b85,
  MUIA_NoNotify = 0x804237f9,
  MUIA_ObjectID = 0x8042d76e,
  MUIA_Parent = 0x8042e35f,
  MUIA_Revision = 0x80427eaa,
  MUIA_UserData = 0x80420313,
  MUIA_Version = 0x80422301,
};

struct MUIP_CallHook {
  IPTR MethodID;
  struct Hook *Hook;
  IPTR param1; /* ... */
};
struct MUIP_FindUData {
  IPTR MethodID;
  IPTR udata;
};
struct MUIP_GetUData {
  IPTR MethodID;
  IPTR udata;
  IPTR attr;
  IPTR *storage;
};
struct MUIP_KillNotify {
  IPTR MethodID;
  IPTR TrigAttr;
};
struct MUIP_KillNotifyObj {
  IPTR MethodID;
  IPTR TrigAttr;
  Object *dest;
};
struct MUIP_MultiSet {
  IPTR MethodID;
  IPTR attr;
  IPTR val;
  APTR obj; /* ..., null */
};
struct MUIP_NoNotifySet {
  IPTR MethodID;
  IPTR attr;
  IPTR val;
};
struct MUIP_Notify {
  IPTR MethodID;
  IPTR TrigAttr;
  IPTR TrigVal;
  APTR DestObj;
  IPTR FollowParams; /* ... */
};
struct MUIP_Set {
  IPTR MethodID;
  IPTR attr;
  IPTR val;
};
struct MUIP_SetAsString {
  IPTR MethodID;
  IPTR attr;
  CONST_STRPTR format;
  IPTR val; /* ... */
};
struct MUIP_SetUData {
  IPTR MethodID;
  IPTR udata;
  IPTR attr;
  IPTR val;
};
struct MUIP_WriteLong {
  IPTR MethodID;
  IPTR val;
  ULONG *memory;
};
struct MUIP_WriteString {
  IPTR MethodID;
  CONST_STRPTR str;
  STRPTR memory;
};

// ---- Family ---------------------------------------------------------------------------------

enum : IPTR {
  MUIM_Family_AddHead = 0x8042e200,
  MUIM_Family_AddTail = 0x8042d752,
  MUIM_Family_Insert = 0x80424d34,
  MUIM_Family_Remove = 0x8042f8a9,
  MUIM_Family_Sort = 0x80421c49,
  MUIM_Family_Transfer = 0x8042c14a,
};
enum : IPTR {
  MUIA_Family_Child = 0x8042c696,
  MUIA_Family_List = 0x80424b9e, // struct MinList *; walk it with NextObject()
};
struct MUIP_Family_AddHead {
  IPTR MethodID;
  Object *obj;
};
struct MUIP_Family_AddTail {
  IPTR MethodID;
  Object *obj;
};
struct MUIP_Family_Insert {
  IPTR MethodID;
  Object *obj;
  Object *pred;
};
struct MUIP_Family_Remove {
  IPTR MethodID;
  Object *obj;
};
struct MUIP_Family_Sort {
  IPTR MethodID;
  Object *obj[1]; /* null-terminated */
};
struct MUIP_Family_Transfer {
  IPTR MethodID;
  Object *family;
};

// Walks a child list (MUIA_Family_List, MUIA_Group_ChildList):
//   APTR state = list->mlh_Head; while ((child = NextObject(&state))) ...
// The current child may be removed from the list while walking.
Object *NextObject(APTR *state);

// ---- Menustrip, Menu, Menuitem ----------------------------------------------------------------

enum : IPTR {
  MUIM_Menustrip_ExitChange = 0x8042ce4d,
  MUIM_Menustrip_InitChange = 0x8042dcd9,
  MUIM_Menustrip_Popup = 0x80420e76,
};
enum : IPTR {
  MUIA_Menustrip_Enabled = 0x8042815b,
  MUIA_Menu_CopyStrings = 0x8042dbe2,
  MUIA_Menu_Enabled = 0x8042ed48,
  MUIA_Menu_Title = 0x8042a0e3,
  MUIA_Menuitem_Checked = 0x8042562a,
  MUIA_Menuitem_Checkit = 0x80425ace,
  MUIA_Menuitem_CommandString = 0x8042b9cc,
  MUIA_Menuitem_CopyStrings = 0x8042dc1b,
  MUIA_Menuitem_Enabled = 0x8042ae0f,
  MUIA_Menuitem_Exclude = 0x80420bc6,
  MUIA_Menuitem_Shortcut = 0x80422030,
  MUIA_Menuitem_Title = 0x804218be,
  MUIA_Menuitem_Toggle = 0x80424d5c,
  MUIA_Menuitem_Trigger = 0x80426f32, // set to the item itself when it is chosen
};
// The title of a separator bar.
#define NM_BARLABEL ((STRPTR)(SIPTR)-1)

// Pops the menu up at (x, y) (screen coordinates of `parent`'s window) and
// waits for the choice: the chosen item's MUIA_UserData, 0 when nothing (or
// a disabled item) was chosen.
struct MUIP_Menustrip_Popup {
  IPTR MethodID;
  Object *parent;
  IPTR flags;
  SIPTR x;
  SIPTR y;
};

// ---- Application ----------------------------------------------------------------------------

enum : IPTR {
  MUIM_Application_AddInputHandler = 0x8042f099,
  MUIM_Application_InputBuffered = 0x80427e59,
  MUIM_Application_KillPushMethod = 0x80429954,
  MUIM_Application_NewInput = 0x80423ba6,
  MUIM_Application_PushMethod = 0x80429ef8,
  MUIM_Application_RemInputHandler = 0x8042e7af,
  MUIM_Application_ReturnID = 0x804276ef,
};
enum : IPTR {
  MUIA_Application_Active = 0x804260ab,
  MUIA_Application_Author = 0x80424842,
  MUIA_Application_Base = 0x8042e07a,
  MUIA_Application_Copyright = 0x8042ef4d,
  MUIA_Application_Description = 0x80421fc6,
  MUIA_Application_Iconified = 0x8042a07f,
  MUIA_Application_MenuAction = 0x80428961,
  MUIA_Application_Menustrip = 0x804252d9,
  MUIA_Application_Sleep = 0x80425711,
  MUIA_Application_Title = 0x804281b8,
  MUIA_Application_UseCommodities = 0x80425ee5,
  MUIA_Application_UseRexx = 0x80422387,
  MUIA_Application_Version = 0x8042b33f,
  MUIA_Application_Window = 0x8042bfe0,
};
#define MUIV_Application_ReturnID_Quit ((IPTR)(SIPTR)-1)

// PushMethod(dest, count | flags, method, args...): count words (the method
// and its arguments) follow. A delay in milliseconds goes into bits 8-27.
// The result is a push ID (never 0 for a queued push).
#define MUIV_PushMethod_Delay(millis) ((((IPTR)(millis)) & 0xfffff) << 8)
#define MUIF_PUSHMETHOD_SINGLE (1UL << 28)     // not again while one to dest/method is queued
#define MUIF_PUSHMETHOD_NOTLAGGING (1UL << 29) // accepted; pushes never lag here
#define MUIF_PUSHMETHOD_VERIFY (1UL << 30)     // accepted; dest is always verified here

// KillPushMethod(dest, id, method): removes queued pushes to dest (null: any)
// with that push ID (0: any) and method (0: any). Result: how many.
struct MUIP_Application_KillPushMethod {
  IPTR MethodID;
  Object *o;
  IPTR id;
  IPTR method;
};
struct MUIP_Application_PushMethod {
  IPTR MethodID;
  Object *dest;
  IPTR count; /* ... */
};
struct MUIP_Application_NewInput {
  IPTR MethodID;
  ULONG *signal;
};
struct MUIP_Application_ReturnID {
  IPTR MethodID;
  IPTR retid;
};

struct MUI_InputHandlerNode {
  struct MinNode ihn_Node;
  Object *ihn_Object;
  union {
    ULONG ihn_sigs;
    struct {
      UWORD ihn_millis;
      UWORD ihn_current;
    } ihn_timer;
  } ihn_stuff;
  ULONG ihn_Flags;
  ULONG ihn_Method;
};
#define ihn_Signals ihn_stuff.ihn_sigs
#define ihn_Millis ihn_stuff.ihn_timer.ihn_millis
#define ihn_Current ihn_stuff.ihn_timer.ihn_current

enum : ULONG {
  MUIIHNF_TIMER = 1 << 0,          // ihn_Millis: the interval in ms
  MUIIHNF_TIMER_SCALE10 = 1 << 1,  // ihn_Millis in 1/100 s
  MUIIHNF_TIMER_SCALE100 = 1 << 2, // ihn_Millis in 1/10 s (both: whole seconds)
};
struct MUIP_Application_AddInputHandler {
  IPTR MethodID;
  struct MUI_InputHandlerNode *ihnode;
};
struct MUIP_Application_RemInputHandler {
  IPTR MethodID;
  struct MUI_InputHandlerNode *ihnode;
};

// ---- Window ---------------------------------------------------------------------------------

enum : IPTR {
  MUIM_Window_AddEventHandler = 0x804203b7,
  MUIM_Window_RemEventHandler = 0x8042679e,
  MUIM_Window_ScreenToBack = 0x8042913d,
  MUIM_Window_ScreenToFront = 0x804227a4,
  MUIM_Window_ToBack = 0x8042152e,
  MUIM_Window_ToFront = 0x8042554f,
};
enum : IPTR {
  MUIA_Window_Activate = 0x80428d2f,
  MUIA_Window_ActiveObject = 0x80427925,
  MUIA_Window_AltHeight = 0x8042cce3,
  MUIA_Window_AltLeftEdge = 0x80422d65,
  MUIA_Window_AltTopEdge = 0x8042e99b,
  MUIA_Window_AltWidth = 0x804260f4,
  MUIA_Window_AppWindow = 0x804280cf,
  MUIA_Window_Backdrop = 0x8042c0bb,
  MUIA_Window_Borderless = 0x80429b79,
  MUIA_Window_CloseGadget = 0x8042a110,
  MUIA_Window_CloseRequest = 0x8042e86e,
  MUIA_Window_DefaultObject = 0x804294d7,
  MUIA_Window_DepthGadget = 0x80421923,
  MUIA_Window_DragBar = 0x8042045d,
  MUIA_Window_Height = 0x80425846,
  MUIA_Window_ID = 0x804201bd,
  MUIA_Window_LeftEdge = 0x80426c65,
  MUIA_Window_Menustrip = 0x8042855e,
  MUIA_Window_NoMenus = 0x80429df5,
  MUIA_Window_Open = 0x80428aa0,
  MUIA_Window_PublicScreen = 0x804278e4,
  MUIA_Window_RefWindow = 0x804201f4,
  MUIA_Window_RootObject = 0x8042cba5,
  MUIA_Window_Screen = 0x8042df4f, // struct Screen *; null while the window is closed
  MUIA_Window_ScreenTitle = 0x804234b0,
  MUIA_Window_SizeGadget = 0x8042e33d,
  MUIA_Window_Sleep = 0x8042e7db, // nests: each TRUE needs one FALSE
  MUIA_Window_Title = 0x8042ad3d,
  MUIA_Window_TopEdge = 0x80427c66,
  MUIA_Window_Width = 0x8042dcae,
};
#define MUIV_Window_ActiveObject_None 0
#define MUIV_Window_ActiveObject_Next ((IPTR)(SIPTR)-1)
#define MUIV_Window_ActiveObject_Prev ((IPTR)(SIPTR)-2)
#define MUIV_Window_Height_MinMax(p) (0 - (p))
#define MUIV_Window_Height_Visible(p) (-100 - (p))
#define MUIV_Window_Height_Screen(p) (-200 - (p))
#define MUIV_Window_Height_Scaled (-1000)
#define MUIV_Window_Height_Default (-1001)
#define MUIV_Window_Width_MinMax(p) (0 - (p))
#define MUIV_Window_Width_Visible(p) (-100 - (p))
#define MUIV_Window_Width_Screen(p) (-200 - (p))
#define MUIV_Window_Width_Scaled (-1000)
#define MUIV_Window_Width_Default (-1001)
#define MUIV_Window_LeftEdge_Centered (-1)
#define MUIV_Window_LeftEdge_Moused (-2)
#define MUIV_Window_TopEdge_Centered (-1)
#define MUIV_Window_TopEdge_Moused (-2)
#define WindowContents MUIA_Window_RootObject
#define SubWindow MUIA_Application_Window

// ---- input events ---------------------------------------------------------------------------

// The part of an input event that event handlers read.
struct IntuiMessage {
  struct Message ExecMessage;
  ULONG Class; // IDCMP_*
  UWORD Code;  // for IDCMP_MOUSEBUTTONS: SELECTDOWN, MENUDOWN, ...
  UWORD Qualifier;
  APTR IAddress;
  WORD MouseX; // relative to the window's render target
  WORD MouseY;
  ULONG Seconds;
  ULONG Micros;
  APTR IDCMPWindow;
  struct IntuiMessage *SpecialLink;
};
enum : ULONG {
  IDCMP_MOUSEBUTTONS = 0x00000008,
  IDCMP_MOUSEMOVE = 0x00000010,
  IDCMP_CLOSEWINDOW = 0x00000200,
  IDCMP_RAWKEY = 0x00000400,
  IDCMP_VANILLAKEY = 0x00200000,
};
enum : UWORD {
  IECODE_UP_PREFIX = 0x80,
  IECODE_LBUTTON = 0x68,
  IECODE_RBUTTON = 0x69,
  IECODE_MBUTTON = 0x6A,
  SELECTDOWN = 0x68,
  SELECTUP = 0xE8,
  MENUDOWN = 0x69,
  MENUUP = 0xE9,
  MIDDLEDOWN = 0x6A,
  MIDDLEUP = 0xEA,
};
#define MUIKEY_NONE (-1)

struct MUI_EventHandlerNode {
  struct MinNode ehn_Node;
  BYTE ehn_Reserved;
  BYTE ehn_Priority; // higher runs first
  UWORD ehn_Flags;
  Object *ehn_Object;       // receives MUIM_HandleEvent
  struct IClass *ehn_Class; // non-null: the method goes to exactly this class
  ULONG ehn_Events;         // IDCMP_* the handler wants
};
enum : UWORD {
  MUI_EHF_ALWAYSKEYS = 1 << 0,
  MUI_EHF_GUIMODE = 1 << 1,    // not called while the object is disabled or hidden
  MUI_EHF_ISENABLED = 1 << 15, // set while the node is added to a window
};
// MUIM_HandleEvent results (bit mask).
#define MUI_EventHandlerRC_Eat (1 << 0) // later handlers do not see the event
struct MUIP_Window_AddEventHandler {
  IPTR MethodID;
  struct MUI_EventHandlerNode *ehnode;
};
struct MUIP_Window_RemEventHandler {
  IPTR MethodID;
  struct MUI_EventHandlerNode *ehnode;
};
struct MUIP_HandleEvent {
  IPTR MethodID;
  struct IntuiMessage *imsg;
  SIPTR muikey;
};

// ---- bubbles and short help (methods of every Area object) ---------------------------------

enum : IPTR {
  MUIM_CreateBubble = 0x80421c41,
  MUIM_CreateShortHelp = 0x80428e93,
  MUIM_DeleteBubble = 0x804211af,
  MUIM_DeleteShortHelp = 0x8042d35a,
};
// CreateBubble: a bubble with the text (copied) at (x, y) of the object's
// window; the result is a handle for DeleteBubble (null on failure). Any task.
struct MUIP_CreateBubble {
  IPTR MethodID;
  SIPTR x;
  SIPTR y;
  CONST_STRPTR txt;
  IPTR flags;
};
struct MUIP_DeleteBubble {
  IPTR MethodID;
  APTR bubble;
};
// CreateShortHelp: the tooltip text for the mouse at (mx, my); the display
// asks for it while the pointer rests on the object and hands it back with
// DeleteShortHelp when the tooltip goes.
struct MUIP_CreateShortHelp {
  IPTR MethodID;
  SIPTR mx;
  SIPTR my;
};
struct MUIP_DeleteShortHelp {
  IPTR MethodID;
  STRPTR help;
};
#define MUIV_CreateBubble_DontHidePointer (1 << 0)

// ---- Semaphore, Process, Slave --------------------------------------------------------------

enum : IPTR {
  MUIM_Semaphore_Attempt = 0x80426ce2,
  MUIM_Semaphore_AttemptShared = 0x80422551,
  MUIM_Semaphore_Obtain = 0x804276f0,
  MUIM_Semaphore_ObtainShared = 0x8042ea02,
  MUIM_Semaphore_Release = 0x80421f2d,
};

// A Process.mui object runs MUIM_Process_Process on its source object (with
// its source class, if given) in a task of its own. It is a Semaphore.mui.
enum : IPTR {
  MUIM_Process_Kill = 0x804264cf,    // (maxdelay): sets the stop flag, breaks (CTRL-C), waits
  MUIM_Process_Launch = 0x80425df7,  // starts the task unless it runs
  MUIM_Process_Process = 0x804230aa, // (ULONG *stop, Object *process): the body
  MUIM_Process_Signal = 0x8042e791,  // (sigs): Signal() to the task
};
enum : IPTR {
  MUIA_Process_AutoLaunch = 0x80428855, // default TRUE: launch at creation
  MUIA_Process_Name = 0x8042732b,
  MUIA_Process_Priority = 0x80422a54,
  MUIA_Process_SourceClass = 0x8042cf8b,
  MUIA_Process_SourceObject = 0x804212a2,
  MUIA_Process_StackSize = 0x804230d0,
  MUIA_Process_Task = 0x8042b123, // struct Task * while it runs, else null
};
// The stop flag: the body must read it with an atomic load (or only after a
// Wait() woke it), because Kill writes it from another task:
//   while (!__atomic_load_n(msg->kill, __ATOMIC_ACQUIRE)) { Wait(...); ... }
struct MUIP_Process_Process {
  IPTR MethodID;
  ULONG *kill;
  Object *proc;
};
struct MUIP_Process_Kill {
  IPTR MethodID;
  SIPTR maxdelay;
};
struct MUIP_Process_Signal {
  IPTR MethodID;
  IPTR sigs;
};

// A Slave.mui object owns a task. Any method sent to it that is not one of
// its own (OM_* and the Notify methods) is copied (the method and up to
// MUIV_Slave_MaxArgs arguments) and queued; the task runs the queued
// methods one after the other on the target object (through the given
// class, if any), while DoMethod returns 0 at once to the sender.
// Disposing of it lets the method in progress end, drops the rest, and
// waits for the task.
enum : IPTR {
  MUIA_Slave_Class = 0x80420f8c,
  MUIA_Slave_Target = 0x804202ab,
  MUIA_Slave_Name = 0x8042732b,
};
#define MUIV_Slave_MaxArgs 7

// ---- custom classes -------------------------------------------------------------------------

struct MUI_CustomClass {
  APTR mcc_UserData;
  struct Library *mcc_UtilityBase;
  struct Library *mcc_DOSBase;
  struct Library *mcc_GfxBase;
  struct Library *mcc_IntuitionBase;
  struct IClass *mcc_Super;
  struct IClass *mcc_Class;
};

// A subclass of the toolkit class `supername` (or of supermcc's class when
// supername is null) with dataSize bytes of instance data and the dispatcher.
struct MUI_CustomClass *MUI_CreateCustomClass(struct Library *base, CONST_STRPTR supername,
                                              struct MUI_CustomClass *supermcc, ULONG dataSize,
                                              DISPATCHERFUNC dispatcher);
// FALSE (and nothing freed) while objects or subclasses of it exist.
BOOL MUI_DeleteCustomClass(struct MUI_CustomClass *mcc);
// A toolkit class by name ("Text.mui", "Listtree.mcc"); null if unknown.
struct IClass *MUI_GetClass(CONST_STRPTR classname);
void MUI_FreeClass(struct IClass *cl);

Object *MUI_NewObjectA(CONST_STRPTR classname, struct TagItem *tags);
template <typename... A> Object *MUI_NewObject(CONST_STRPTR classname, A... tags) {
  TagArray t(tags...);
  return MUI_NewObjectA(classname, t.items());
}
void MUI_DisposeObject(Object *obj);

// ---- requesters -----------------------------------------------------------------------------

// Shows a requester and waits for a button. flags: 0x80000000 | x << 16 | y
// places it at the mouse position. Buttons are separated by "|"; a leading
// "*" marks the default. The result is 1 for the first button, 2 for the
// second ..., and 0 for the last one (also when it is closed).
LONG MUI_RequestA(APTR app, APTR win, ULONG flags, CONST_STRPTR title, CONST_STRPTR gadgets, CONST_STRPTR format,
                  const IPTR *params);
template <typename... A>
LONG MUI_Request(APTR app, APTR win, ULONG flags, CONST_STRPTR title, CONST_STRPTR gadgets, CONST_STRPTR format,
                 A... values) {
  const IPTR params[] = {ToIPTR(values)..., 0};
  return MUI_RequestA(app, win, flags, title, gadgets, format, params);
}
#define MUIV_Request_AtPosition(x, y) (0x80000000u | ((ULONG)(x)&0x7fff) << 16 | ((ULONG)(y)&0xffff))

// ASL file and drawer requesters.
enum : ULONG { ASL_FileRequest = 0, ASL_FontRequest = 1, ASL_ScreenModeRequest = 2 };
#define ASL_TB (TAG_USER + 0x80000)
enum : Tag {
  ASLFR_TitleText = ASL_TB + 1,
  ASLFR_InitialLeftEdge = ASL_TB + 3,
  ASLFR_InitialTopEdge = ASL_TB + 4,
  ASLFR_InitialWidth = ASL_TB + 5,
  ASLFR_InitialHeight = ASL_TB + 6,
  ASLFR_InitialFile = ASL_TB + 8,
  ASLFR_InitialDrawer = ASL_TB + 9,
  ASLFR_InitialPattern = ASL_TB + 10,
  ASLFR_PositiveText = ASL_TB + 18,
  ASLFR_NegativeText = ASL_TB + 19,
  ASLFR_DoSaveMode = ASL_TB + 44,
  ASLFR_DoMultiSelect = ASL_TB + 45,
  ASLFR_DoPatterns = ASL_TB + 46,
  ASLFR_DrawersOnly = ASL_TB + 47,
  ASLFR_RejectIcons = ASL_TB + 60,
  ASLFR_AcceptPattern = ASL_TB + 62,
};
#define ASLFR_Window (ASL_TB + 2)

struct WBArg {
  IPTR wa_Lock; // never filled here
  STRPTR wa_Name;
};

// After a successful MUI_AslRequest, fr_Drawer and fr_File hold the choice
// (fr_File empty for a drawer requester). Both belong to the requester.
struct FileRequester {
  APTR fr_Reserved0;
  STRPTR fr_File;
  STRPTR fr_Drawer;
  WORD fr_LeftEdge;
  WORD fr_TopEdge;
  WORD fr_Width;
  WORD fr_Height;
  LONG fr_NumArgs;
  struct WBArg *fr_ArgList;
  APTR fr_UserData;
  STRPTR fr_Pattern;
  APTR fr_Private; // the platform's state
};
APTR MUI_AllocAslRequest(ULONG reqType, struct TagItem *tags);
template <typename... A> APTR MUI_AllocAslRequestTags(ULONG reqType, A... tags) {
  TagArray t(tags...);
  return MUI_AllocAslRequest(reqType, t.items());
}
// TRUE when the user chose; the tags here win over those of the allocation.
BOOL MUI_AslRequest(APTR requester, struct TagItem *tags);
template <typename... A> BOOL MUI_AslRequestTags(APTR requester, A... tags) {
  TagArray t(tags...);
  return MUI_AslRequest(requester, t.items());
}
void MUI_FreeAslRequest(APTR requester); // null is fine

// ---- the platform side ----------------------------------------------------------------------

namespace platform {

// Makes the core classes (Notify.mui and the rest above) known by name.
// Safe to call again and from any task. MUI_NewObject and MUI_GetClass do it
// themselves, and also call RegisterWidgetClasses() (classes.h) once.
void RegisterCoreClasses();

// The application loop of the GUI task: runs pushed methods (when due),
// timers, input from the display and signal input handlers, and sleeps when
// idle. Returns when StopApplication is called, the application receives
// MUIM_Application_ReturnID with MUIV_Application_ReturnID_Quit, or
// keepRunning (checked after every wake-up) returns false.
void RunApplicationLoop(Object *app, std::function<bool()> keepRunning = nullptr);
// Thread-safe: makes RunApplicationLoop return (and wakes it).
void StopApplication(Object *app);
// Thread-safe: wakes the loop so that keepRunning is checked again.
void WakeApplication(Object *app);
// Runs fn on the application's GUI task (queued like a push, FIFO with the
// pushes). Thread-safe. False when there is no such application.
bool PostToApplication(Object *app, std::function<void()> fn);
// The application most recently made and not yet disposed, or null.
Object *CurrentApplication();
// True on the task that runs the application loop (or, before the loop
// ever ran, on the task that made the application).
bool IsApplicationTask(Object *app);

// True while obj is a live toolkit (Notify) object. Any task.
bool IsLiveObject(Object *obj);
// The object tree: the parent of an object (family, group, window root,
// window in application), and the window/application it belongs to.
Object *ObjectParent(Object *obj);
Object *ObjectWindow(Object *obj);      // a window is its own window
Object *ObjectApplication(Object *obj); // an application is its own
// Group-like containers keep their children in a MinList of these nodes
// (one per object; an object is in at most one list at a time). Set the
// parent when adding, clear it when removing.
struct MinNode *ObjectNode(Object *obj);
Object *NodeObject(struct MinNode *node);
void SetObjectParent(Object *obj, Object *parent);

// Fires the notifications of one attribute as if it had been set, without
// running any class's OM_SET (for values a class changes on its own and
// already stored).
void TriggerNotify(Object *obj, Tag attr, IPTR value);

} // namespace platform

#include "mui/classes.h"
