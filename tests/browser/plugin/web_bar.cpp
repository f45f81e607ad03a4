// WebBar.sbar: a plug-in that shows the browser view everything a display
// has to draw, with outcomes a page can see. A left click pops up a menu
// (submenu, inline icons, a disabled item, separators); the choices make
// bubbles, a requester, a file requester or a window with every kind of
// gadget; the right button inside the gadget toggles an "x"; the colour of
// the square follows a configuration item; the tooltip is a fixed text.
// "Rows..." opens a window for the big-list, tree and input tests: a list
// of 50,000 eight-column rows (Codec and Icon hidden) with a context menu, a ticking
// gauge, a drag-sorted tree, repeating arrow buttons, hint texts in a
// label column, and a clickable text; a status line tells what the
// plug-in heard.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "exec/exec.h"
#include "host/screenbar.h"
#include "mui/mui.h"
#include "mui/render.h"
#include "mui/screen.h"

namespace {

enum : IPTR {
  WB_Click = 0x80CC0001,
  WB_Choice,       // (user data)
  WB_Typed,        // ()
  WB_ListActive,   // ()
  WB_TreeActive,   // ()
  WB_Sleep,        // (on)
  WB_Close,        // ()
  WB_DeleteBubble, // ()
  WB_Tick,         // () the gauge timer
  WB_Up,           // () arrow buttons (MUIA_Timer)
  WB_Down,         // ()
  WB_Active,       // () the big list's active entry
  WB_Menu,         // (item) context menu choice
  WB_Insert,       // () ten rows at the top
  WB_Refill,       // () the list filled again, quietly
  WB_Node,         // () the tree's active node
  WB_Clicked,      // () the clickable text
  WB_RowsClose,    // ()
};
enum : ULONG { WB_CFG_GREEN = 0x00CC80B1 };
enum : IPTR {
  kStop = 1,
  kMute = 2,
  kOff = 3,
  kAsk = 4,
  kFile = 5,
  kWindow = 6,
  kStationA = 7,
  kStationB = 8,
  kRows = 10,
  kGroup = 99999,
};
constexpr uint32_t kGreen = 0xFF00B000u, kRed = 0xFFC00000u;
const char kIcon[] = "SYS:Data/Screenbar/Melodune/StationIcons/_empty.png";

struct BarData {
  bool muted;
  LONG green;
  struct MUI_EventHandlerNode ehn;
};

struct Global {
  struct Library base;
  APTR segList;
  struct MUI_CustomClass *mcc;
  Object *strip;
  Object *window;
  Object *typed, *string, *list, *tree, *status;
  APTR bubble;
  Object *bubbleObj;
  Object *rows, *big, *gauge, *rowTree, *rowStatus, *rowMenu;
  struct MUI_InputHandlerNode tick;
  LONG clicks, inserted;
} g;

constexpr LONG kBigRows = 50000;

IPTR ConfigOf(Object *obj, ULONG id) {
  IPTR v = 0;
  DoMethod(obj, MUIM_GetConfigItem, id, &v);
  return v;
}

Object *Item(CONST_STRPTR title, IPTR udata, bool enabled = true) {
  return MUI_NewObject(MUIC_Menuitem, MUIA_Menuitem_Title, title, MUIA_UserData, udata, MUIA_Menuitem_Enabled,
                       enabled ? TRUE : FALSE, MUIA_Menuitem_CopyStrings, TRUE, TAG_DONE);
}

Object *MakeStrip() {
  std::string a = std::string("\33I[4:") + kIcon + "]\xa0Station \xc4";
  std::string b = std::string("\33I[4:") + kIcon + "]\xa0Station B";
  Object *group = MUI_NewObject(MUIC_Menu, MUIA_Menu_Title, "Group", MUIA_UserData, kGroup, MUIA_Menu_CopyStrings,
                                TRUE, TAG_DONE);
  DoMethod(group, MUIM_Family_AddTail, Item(a.c_str(), kStationA));
  DoMethod(group, MUIM_Family_AddTail, Item(b.c_str(), kStationB));
  Object *menu = MUI_NewObject(MUIC_Menu, MUIA_Menu_Title, "WebBar", TAG_DONE);
  DoMethod(menu, MUIM_Family_AddTail, Item("Stop", kStop));
  DoMethod(menu, MUIM_Family_AddTail, Item("Mute", kMute));
  DoMethod(menu, MUIM_Family_AddTail, Item("Switched off", kOff, false));
  DoMethod(menu, MUIM_Family_AddTail, Item(NM_BARLABEL, 0));
  DoMethod(menu, MUIM_Family_AddTail, Item("Ask...", kAsk));
  DoMethod(menu, MUIM_Family_AddTail, Item("File...", kFile));
  DoMethod(menu, MUIM_Family_AddTail, Item("Window...", kWindow));
  DoMethod(menu, MUIM_Family_AddTail, Item("Rows...", kRows));
  DoMethod(menu, MUIM_Family_AddTail, Item(NM_BARLABEL, 0));
  DoMethod(menu, MUIM_Family_AddTail, group);
  Object *strip = MUI_NewObject(MUIC_Menustrip, TAG_DONE);
  DoMethod(strip, MUIM_Family_AddTail, menu);
  return strip;
}

void Bubble(Object *obj, const std::string &text) {
  if (g.bubble && g.bubbleObj) DoMethod(g.bubbleObj, MUIM_DeleteBubble, g.bubble);
  g.bubble = reinterpret_cast<APTR>(DoMethod(obj, MUIM_CreateBubble, _left(obj), _top(obj) + _height(obj), text.c_str(), 0));
  g.bubbleObj = g.bubble ? obj : nullptr;
}

// Two columns from "name|value" entries; the title row when entry is null.
IPTR ListDisplay(struct Hook *, APTR arrayPtr, APTR entryPtr) {
  auto **array = static_cast<char **>(arrayPtr);
  static char left[64], right[64];
  const char *e = static_cast<const char *>(entryPtr);
  if (!e) {
    array[0] = const_cast<char *>("\33bName");
    array[1] = const_cast<char *>("\33bValue");
    return 0;
  }
  const char *bar = std::strchr(e, '|');
  size_t n = bar ? static_cast<size_t>(bar - e) : std::strlen(e);
  std::snprintf(left, sizeof left, "%.*s", static_cast<int>(n), e);
  std::snprintf(right, sizeof right, "%s", bar ? bar + 1 : "");
  array[0] = left;
  array[1] = right;
  return 0;
}
struct Hook g_listDisplay = {{nullptr, nullptr}, ListDisplay, nullptr, nullptr};

void OpenWindow(Object *obj) {
  if (g.window) {
    SetAttrs(g.window, MUIA_Window_Open, TRUE);
    return;
  }
  Object *app = _app(obj);
  g.typed = MUI_NewObject(MUIC_Text, MUIA_Text_Contents, "Typed: -", TAG_DONE);
  g.status = MUI_NewObject(MUIC_Text, MUIA_Text_Contents, "Row: -", TAG_DONE);
  g.string = MUI_NewObject(MUIC_String, MUIA_Frame, MUIV_Frame_String, MUIA_String_MaxLen, 80, MUIA_String_Contents,
                           "caf\xe9", TAG_DONE);
  g.list = MUI_NewObject(MUIC_List, MUIA_List_Format, "BAR,", MUIA_List_Title, TRUE, MUIA_List_DisplayHook,
                         &g_listDisplay, MUIA_List_ConstructHook, MUIV_List_ConstructHook_String,
                         MUIA_List_DestructHook, MUIV_List_DestructHook_String, TAG_DONE);
  for (const char *e : {"Alpha|1", "Beta|2", "Gamma|3"}) DoMethod(g.list, MUIM_List_InsertSingle, e, MUIV_List_Insert_Bottom);
  g.tree = MUI_NewObject(MUIC_Listtree, MUIA_Listtree_ConstructHook, MUIV_Listtree_ConstructHook_String,
                         MUIA_Listtree_DestructHook, MUIV_Listtree_DestructHook_String, TAG_DONE);
  APTR rock = reinterpret_cast<APTR>(DoMethod(g.tree, MUIM_Listtree_Insert, "Rock", nullptr,
                                              MUIV_Listtree_Insert_ListNode_Root, MUIV_Listtree_Insert_PrevNode_Tail,
                                              TNF_LIST));
  DoMethod(g.tree, MUIM_Listtree_Insert, "Radio One", nullptr, rock, MUIV_Listtree_Insert_PrevNode_Tail, 0);
  DoMethod(g.tree, MUIM_Listtree_Insert, "Jazz FM", nullptr, MUIV_Listtree_Insert_ListNode_Root,
           MUIV_Listtree_Insert_PrevNode_Tail, 0);
  Object *button = MUI_MakeObject(MUIO_Button, "_Sleep");
  Object *check = MUI_MakeObject(MUIO_Checkmark, "Check");
  Object *numeric = MUI_MakeObject(MUIO_NumericButton, "Level", 0, 10, "%ld dB");
  Object *gauge = MUI_NewObject(MUIC_Gauge, MUIA_Gauge_Horiz, TRUE, MUIA_Gauge_Max, 100, MUIA_Gauge_Current, 40,
                                MUIA_Gauge_InfoText, "%ld %%", TAG_DONE);
  Object *busy = MUI_NewObject(MUIC_Busy, MUIA_Busy_Speed, 20, TAG_DONE);
  Object *link = MUI_NewObject(MUIC_Hyperlink, MUIA_Hyperlink_URI, "http://127.0.0.1/", MUIA_Hyperlink_Text,
                               "A link", TAG_DONE);
  std::string spec = std::string("5:") + kIcon;
  Object *image = MUI_NewObject(MUIC_Image, MUIA_Image_Spec, spec.c_str(), TAG_DONE);
  Object *pages = MUI_NewObject(MUIC_Group, MUIA_Group_PageMode, TRUE, Child,
                                MUI_NewObject(MUIC_Text, MUIA_Text_Contents, "Page one", TAG_DONE), Child,
                                MUI_NewObject(MUIC_Text, MUIA_Text_Contents, "Page two", TAG_DONE), TAG_DONE);
  Object *root = MUI_NewObject(
      MUIC_Group, Child,
      MUI_NewObject(MUIC_Text, MUIA_Text_Contents, "\33c\33bCentred bold\33n\n\33l\33uunderlined\33n left", TAG_DONE),
      Child, MUI_NewObject(MUIC_Group, MUIA_Group_Horiz, TRUE, Child, g.string, Child, button, Child, check, Child, numeric, TAG_DONE),
      Child, g.typed, Child, gauge, Child,
      MUI_NewObject(MUIC_Group, MUIA_Group_Horiz, TRUE, Child, g.list, Child, MUI_NewObject(MUIC_Balance, TAG_DONE), Child,
                    g.tree, TAG_DONE),
      Child, g.status, Child, MUI_NewObject(MUIC_Group, MUIA_Group_Horiz, TRUE, Child, busy, Child, image, Child, link, Child, pages, TAG_DONE),
      TAG_DONE);
  g.window = MUI_NewObject(MUIC_Window, MUIA_Window_Title, "WebBar Gadgets", MUIA_Window_RootObject, root, TAG_DONE);
  if (!g.window) return;
  DoMethod(app, OM_ADDMEMBER, g.window);
  DoMethod(g.window, MUIM_Notify, MUIA_Window_CloseRequest, TRUE, obj, 1, WB_Close);
  DoMethod(g.string, MUIM_Notify, MUIA_String_Acknowledge, MUIV_EveryTime, obj, 1, WB_Typed);
  DoMethod(g.list, MUIM_Notify, MUIA_List_Active, MUIV_EveryTime, obj, 1, WB_ListActive);
  DoMethod(g.tree, MUIM_Notify, MUIA_Listtree_Active, MUIV_EveryTime, obj, 1, WB_TreeActive);
  DoMethod(button, MUIM_Notify, MUIA_Pressed, FALSE, obj, 2, WB_Sleep, TRUE);
  SetAttrs(g.window, MUIA_Window_Open, TRUE);
}

// Big-list entries are numbers (1-based, so that none is null); the display
// hook makes eight columns of them.
IPTR BigDisplay(struct Hook *, APTR arrayPtr, APTR entryPtr) {
  auto **array = static_cast<char **>(arrayPtr);
  static const char *titles[8] = {"Name", "Codec", "Bitrate", "Tags", "Country", "Language", "Url", "Icon"};
  static char cells[8][48];
  if (!entryPtr) {
    for (int c = 0; c < 8; ++c) array[c] = const_cast<char *>(titles[c]);
    return 0;
  }
  long n = static_cast<long>(reinterpret_cast<IPTR>(entryPtr));
  std::snprintf(cells[0], sizeof cells[0], "Station %ld", n);
  std::snprintf(cells[1], sizeof cells[1], "MP3");
  std::snprintf(cells[2], sizeof cells[2], "%ld", 64 + n % 4 * 64);
  std::snprintf(cells[3], sizeof cells[3], "pop,rock");
  std::snprintf(cells[4], sizeof cells[4], "Country %ld", n % 50);
  std::snprintf(cells[5], sizeof cells[5], "english");
  std::snprintf(cells[6], sizeof cells[6], "http://127.0.0.1/s%ld", n);
  std::snprintf(cells[7], sizeof cells[7], "icon%ld.png", n);
  for (int c = 0; c < 8; ++c) array[c] = cells[c];
  return 0;
}
struct Hook g_bigDisplay = {{nullptr, nullptr}, BigDisplay, nullptr, nullptr};

void FillBig(LONG first, LONG count, LONG pos) {
  std::vector<APTR> entries;
  for (LONG i = 0; i < count; ++i) entries.push_back(reinterpret_cast<APTR>(static_cast<IPTR>(first + i)));
  DoMethod(g.big, MUIM_List_Insert, entries.data(), count, pos);
}

void Status(const std::string &text) { SetAttrs(g.rowStatus, MUIA_Text_Contents, text.c_str()); }

void OpenRows(Object *obj) {
  if (g.rows) {
    SetAttrs(g.rows, MUIA_Window_Open, TRUE);
    return;
  }
  Object *app = _app(obj);
  Object *name = MUI_MakeObject(MUIO_String, "_Name:", 32);
  Object *tags = MUI_MakeObject(MUIO_String, "_Tags:", 32);
  Object *country = MUI_MakeObject(MUIO_String, "_Country:", 32);
  SetAttrs(name, MUIA_String_Placeholder, "Name of the station", MUIA_CycleChain, 1);
  SetAttrs(tags, MUIA_String_Placeholder, "Specify search tags, like pop, rock etc, split by comma", MUIA_CycleChain, 1);
  SetAttrs(country, MUIA_String_Placeholder, "Country of the station, first letter in uppercase", MUIA_CycleChain, 1);
  Object *criteria = MUI_NewObject(MUIC_Group, MUIA_Frame, MUIV_Frame_Group, MUIA_FrameTitle, "Search criteria",
                                   MUIA_Group_Columns, 2, Child, MUI_MakeObject(MUIO_Label, "_Name:", 0), Child, name,
                                   Child, MUI_MakeObject(MUIO_Label, "_Tags:", 0), Child,
                                   MUI_NewObject(MUIC_Group, MUIA_Group_Horiz, TRUE, Child, tags, Child,
                                                 MUI_MakeObject(MUIO_Label, "_Country:", 0), Child, country, TAG_DONE),
                                   TAG_DONE);
  Object *up = MUI_NewObject(MUIC_Image, MUIA_Frame, MUIV_Frame_ImageButton, MUIA_Image_Spec, MUII_ArrowUp, MUIA_InputMode,
                             MUIV_InputMode_RelVerify, MUIA_CycleChain, 1, TAG_DONE);
  Object *down = MUI_NewObject(MUIC_Image, MUIA_Frame, MUIV_Frame_ImageButton, MUIA_Image_Spec, MUII_ArrowDown,
                               MUIA_InputMode, MUIV_InputMode_RelVerify, MUIA_CycleChain, 1, TAG_DONE);
  Object *insert = MUI_MakeObject(MUIO_Button, "_Insert 10");
  Object *refill = MUI_MakeObject(MUIO_Button, "_Refill");
  Object *clickable = MUI_NewObject(MUIC_Text, MUIA_Text_Contents, "Click me", MUIA_InputMode, MUIV_InputMode_RelVerify,
                                    MUIA_ShortHelp, "\33bClick\33n to count", TAG_DONE);
  g.rowStatus = MUI_NewObject(MUIC_Text, MUIA_Frame, MUIV_Frame_Text, MUIA_Text_Contents, "Active: -", TAG_DONE);
  g.gauge = MUI_NewObject(MUIC_Gauge, MUIA_Gauge_Horiz, TRUE, MUIA_Gauge_Max, 100, MUIA_Gauge_InfoText, "%ld %%", TAG_DONE);
  g.rowMenu = MUI_NewObject(MUIC_Menustrip, TAG_DONE);
  Object *menu = MUI_NewObject(MUIC_Menu, MUIA_Menu_Title, "Titles", TAG_DONE);
  DoMethod(menu, MUIM_Family_AddTail, Item("Search on YouTube...", 1));
  DoMethod(menu, MUIM_Family_AddTail, Item("Copy to clipboard", 2));
  DoMethod(menu, MUIM_Family_AddTail, Item(NM_BARLABEL, 0));
  DoMethod(menu, MUIM_Family_AddTail, Item("Clear list", 3));
  DoMethod(g.rowMenu, MUIM_Family_AddTail, menu);
  g.big = MUI_NewObject(MUIC_List, MUIA_Frame, MUIV_Frame_ReadList, MUIA_List_Format,
                        "BAR S,BAR S H,BAR S,BAR S,BAR S,BAR S,BAR S,BAR H S", MUIA_List_Title, TRUE,
                        MUIA_List_DisplayHook, &g_bigDisplay, MUIA_ContextMenu, g.rowMenu, MUIA_CycleChain, 1, TAG_DONE);
  SetAttrs(g.big, MUIA_List_Quiet, TRUE);
  FillBig(1, kBigRows, MUIV_List_Insert_Bottom);
  SetAttrs(g.big, MUIA_List_Quiet, FALSE);
  g.rowTree = MUI_NewObject(MUIC_Listtree, MUIA_Frame, MUIV_Frame_InputList, MUIA_Listtree_ConstructHook,
                            MUIV_Listtree_ConstructHook_String, MUIA_Listtree_DestructHook, MUIV_Listtree_DestructHook_String,
                            MUIA_Listtree_DragDropSort, TRUE, MUIA_CycleChain, 1, TAG_DONE);
  APTR rock = reinterpret_cast<APTR>(DoMethod(g.rowTree, MUIM_Listtree_Insert, "Rock", nullptr, MUIV_Listtree_Insert_ListNode_Root,
                                              MUIV_Listtree_Insert_PrevNode_Tail, TNF_LIST | TNF_OPEN));
  DoMethod(g.rowTree, MUIM_Listtree_Insert, "Radio One", nullptr, rock, MUIV_Listtree_Insert_PrevNode_Tail, 0);
  DoMethod(g.rowTree, MUIM_Listtree_Insert, "Jazz", nullptr, MUIV_Listtree_Insert_ListNode_Root,
           MUIV_Listtree_Insert_PrevNode_Tail, TNF_LIST);
  DoMethod(g.rowTree, MUIM_Listtree_Insert, "Zeta", nullptr, MUIV_Listtree_Insert_ListNode_Root,
           MUIV_Listtree_Insert_PrevNode_Tail, 0);
  Object *root = MUI_NewObject(
      MUIC_Group, Child, criteria, Child,
      MUI_NewObject(MUIC_Group, MUIA_Group_Horiz, TRUE, Child, up, Child, down, Child, insert, Child, refill, Child, clickable,
                    Child, g.rowStatus, TAG_DONE),
      Child, g.gauge, Child,
      MUI_NewObject(MUIC_Group, MUIA_Group_Horiz, TRUE, Child, g.big, Child, g.rowTree, TAG_DONE), TAG_DONE);
  g.rows = MUI_NewObject(MUIC_Window, MUIA_Window_Title, "WebBar Rows", MUIA_Window_ID, 0x57425257 /* WBRW */,
                         MUIA_Window_RootObject, root, MUIA_Window_DefaultObject, g.big, TAG_DONE);
  if (!g.rows) return;
  DoMethod(app, OM_ADDMEMBER, g.rows);
  DoMethod(g.rows, MUIM_Notify, MUIA_Window_CloseRequest, TRUE, obj, 1, WB_RowsClose);
  DoMethod(up, MUIM_Notify, MUIA_Timer, MUIV_EveryTime, obj, 1, WB_Up);
  DoMethod(down, MUIM_Notify, MUIA_Timer, MUIV_EveryTime, obj, 1, WB_Down);
  DoMethod(insert, MUIM_Notify, MUIA_Pressed, FALSE, obj, 1, WB_Insert);
  DoMethod(refill, MUIM_Notify, MUIA_Pressed, FALSE, obj, 1, WB_Refill);
  DoMethod(clickable, MUIM_Notify, MUIA_Pressed, FALSE, obj, 1, WB_Clicked);
  DoMethod(g.big, MUIM_Notify, MUIA_List_Active, MUIV_EveryTime, obj, 1, WB_Active);
  DoMethod(g.big, MUIM_Notify, MUIA_ContextMenuTrigger, MUIV_EveryTime, obj, 2, WB_Menu, MUIV_TriggerValue);
  DoMethod(g.rowTree, MUIM_Notify, MUIA_Listtree_Active, MUIV_EveryTime, obj, 1, WB_Node);
  SetAttrs(g.rows, MUIA_Window_Open, TRUE);
  // The gauge ticks twice a second while the window is there.
  g.tick = {};
  g.tick.ihn_Object = obj;
  g.tick.ihn_Flags = MUIIHNF_TIMER;
  g.tick.ihn_Millis = 500;
  g.tick.ihn_Method = WB_Tick;
  DoMethod(app, MUIM_Application_AddInputHandler, &g.tick);
}

void CloseRows(Object *obj) {
  if (!g.rows) return;
  DoMethod(_app(obj), MUIM_Application_RemInputHandler, &g.tick);
  SetAttrs(g.rows, MUIA_Window_Open, FALSE);
  DoMethod(_app(obj), OM_REMMEMBER, g.rows);
  DisposeObject(g.rows);
  DisposeObject(g.rowMenu);
  g.rows = g.big = g.gauge = g.rowTree = g.rowStatus = g.rowMenu = nullptr;
}

std::string EntryName(LONG at) {
  APTR e = nullptr;
  DoMethod(g.big, MUIM_List_GetEntry, at, &e);
  return e ? "Station " + std::to_string(static_cast<long>(reinterpret_cast<IPTR>(e))) : std::string("-");
}

IPTR Choice(Object *obj, IPTR udata) {
  switch (udata) {
  case kStationA:
  case kStationB:
    Bubble(obj, std::string("Connecting to\n") + (udata == kStationA ? "Station \xc4" : "Station B"));
    break;
  case kMute: {
    auto *d = static_cast<BarData *>(INST_DATA(g.mcc->mcc_Class, obj));
    d->muted = !d->muted;
    MUI_Redraw(obj, MADF_DRAWOBJECT);
    break;
  }
  case kAsk: {
    // A requester at the mouse position, as the real plug-in opens them.
    struct Screen *scr = _screen(obj);
    ULONG flags = scr ? MUIV_Request_AtPosition(scr->MouseX, scr->MouseY) : 0;
    LONG r = MUI_Request(_app(obj), _win(obj), flags, "WebBar: Question",
                         "*_Yes|Maybe|No", "\33cReally \33bmute\33n?\n\33l\33uleft\33n line %ld", 42L);
    Bubble(obj, "Answer " + std::to_string(r));
    break;
  }
  case kFile: {
    APTR req = MUI_AllocAslRequestTags(ASL_FileRequest, ASLFR_TitleText, "WebBar: Choose a picture",
                                       ASLFR_InitialDrawer, "SYS:Data/Screenbar/Melodune", ASLFR_InitialPattern,
                                       "#?.png", TAG_DONE);
    if (req && MUI_AslRequestTags(req, TAG_DONE)) {
      auto *fr = static_cast<FileRequester *>(req);
      Bubble(obj, std::string("Chose ") + fr->fr_Drawer + " " + fr->fr_File);
    } else {
      Bubble(obj, "Chose nothing");
    }
    MUI_FreeAslRequest(req);
    break;
  }
  case kWindow:
    OpenWindow(obj);
    break;
  case kRows:
    OpenRows(obj);
    break;
  case 0:
    Bubble(obj, "Cancelled");
    break;
  default:
    Bubble(obj, "Chose " + std::to_string(udata));
  }
  return 0;
}

IPTR Dispatcher(struct IClass *cl, Object *obj, Msg msg) {
  switch (msg->MethodID) {
  case OM_NEW: {
    struct TagItem tags[] = {{MUIA_InputMode, MUIV_InputMode_RelVerify},
                             {MUIA_ShortHelp, reinterpret_cast<IPTR>("WebBar \33bhelp\33n")},
                             {TAG_DONE, 0}};
    opSet m{OM_NEW, tags, nullptr};
    Object *o = reinterpret_cast<Object *>(DoSuperMethodA(cl, obj, reinterpret_cast<Msg>(&m)));
    if (o) DoMethod(o, MUIM_Notify, MUIA_Pressed, FALSE, o, 1, WB_Click);
    return reinterpret_cast<IPTR>(o);
  }
  case MUIM_Setup: {
    if (!DoSuperMethodA(cl, obj, msg)) return FALSE;
    auto *d = static_cast<BarData *>(INST_DATA(cl, obj));
    d->green = static_cast<LONG>(ConfigOf(obj, WB_CFG_GREEN));
    if (!g.strip) g.strip = MakeStrip();
    d->ehn = {};
    d->ehn.ehn_Object = obj;
    d->ehn.ehn_Class = cl;
    d->ehn.ehn_Events = IDCMP_MOUSEBUTTONS;
    DoMethod(_win(obj), MUIM_Window_AddEventHandler, &d->ehn);
    return TRUE;
  }
  case MUIM_Cleanup: {
    auto *d = static_cast<BarData *>(INST_DATA(cl, obj));
    DoMethod(_win(obj), MUIM_Window_RemEventHandler, &d->ehn);
    if (g.bubbleObj == obj) {
      DoMethod(obj, MUIM_DeleteBubble, g.bubble);
      g.bubble = nullptr;
      g.bubbleObj = nullptr;
    }
    CloseRows(obj);
    if (g.window) {
      SetAttrs(g.window, MUIA_Window_Open, FALSE);
      DoMethod(_app(obj), OM_REMMEMBER, g.window);
      DisposeObject(g.window);
      g.window = nullptr;
    }
    DisposeObject(g.strip);
    g.strip = nullptr;
    return DoSuperMethodA(cl, obj, msg);
  }
  case MUIM_AskMinMax: {
    DoSuperMethodA(cl, obj, msg);
    auto *mm = reinterpret_cast<MUIP_AskMinMax *>(msg)->MinMaxInfo;
    mm->MinWidth = mm->DefWidth = mm->MaxWidth = 20;
    mm->MinHeight = mm->DefHeight = mm->MaxHeight = 20;
    return 0;
  }
  case MUIM_Draw: {
    IPTR r = DoSuperMethodA(cl, obj, msg);
    auto *d = static_cast<BarData *>(INST_DATA(cl, obj));
    if (struct RastPort *rp = _rp(obj)) {
      rp->rp_Target->Fill(_mleft(obj), _mtop(obj), _mwidth(obj), _mheight(obj), d->green ? kGreen : kRed);
      if (d->muted)
        platform::DrawText(rp->rp_Target, _mleft(obj) + (_mwidth(obj) - platform::kFontWidth) / 2,
                           _mtop(obj) + (_mheight(obj) - platform::kFontHeight) / 2, "x", 1, 0xFF000000u, true);
    }
    return r;
  }
  case MUIM_HandleEvent: {
    auto *m = reinterpret_cast<MUIP_HandleEvent *>(msg);
    struct IntuiMessage *im = m->imsg;
    if (!im || im->Class != IDCMP_MOUSEBUTTONS || im->Code != MENUDOWN) return 0;
    if (im->MouseX < _left(obj) || im->MouseX > _right(obj) || im->MouseY < _top(obj) || im->MouseY > _bottom(obj))
      return 0;
    auto *d = static_cast<BarData *>(INST_DATA(cl, obj));
    d->muted = !d->muted;
    MUI_Redraw(obj, MADF_DRAWOBJECT);
    return MUI_EventHandlerRC_Eat;
  }
  case WB_Click: {
    IPTR udata = DoMethod(g.strip, MUIM_Menustrip_Popup, obj, 0, _left(obj), _bottom(obj) + 1);
    return Choice(obj, udata);
  }
  case WB_Typed: {
    IPTR s = 0;
    GetAttr(MUIA_String_Contents, g.string, &s);
    std::string t = std::string("Typed: ") + (s ? reinterpret_cast<const char *>(s) : "");
    SetAttrs(g.typed, MUIA_Text_Contents, t.c_str());
    return 0;
  }
  case WB_ListActive: {
    IPTR a = 0;
    GetAttr(MUIA_List_Active, g.list, &a);
    std::string t = "Row: " + std::to_string(static_cast<LONG>(a));
    SetAttrs(g.status, MUIA_Text_Contents, t.c_str());
    return 0;
  }
  case WB_TreeActive: {
    IPTR a = 0;
    GetAttr(MUIA_Listtree_Active, g.tree, &a);
    auto *n = reinterpret_cast<MUIS_Listtree_TreeNode *>(a);
    std::string t = std::string("Node: ") + (n && n->tn_Name ? n->tn_Name : "-");
    SetAttrs(g.status, MUIA_Text_Contents, t.c_str());
    return 0;
  }
  case WB_Sleep: {
    bool on = reinterpret_cast<IPTR *>(msg)[1] != 0;
    if (!g.window) return 0;
    SetAttrs(g.window, MUIA_Window_Sleep, on ? TRUE : FALSE);
    // Wakes up by itself.
    if (on) DoMethod(_app(obj), MUIM_Application_PushMethod, obj, 2 | MUIV_PushMethod_Delay(1500), WB_Sleep, FALSE);
    return 0;
  }
  case WB_Close:
    if (g.window) SetAttrs(g.window, MUIA_Window_Open, FALSE);
    return 0;
  case WB_Tick:
    if (g.gauge) {
      IPTR cur = 0;
      GetAttr(MUIA_Gauge_Current, g.gauge, &cur);
      SetAttrs(g.gauge, MUIA_Gauge_Current, (static_cast<LONG>(cur) + 7) % 100);
    }
    return 0;
  case WB_Up:
  case WB_Down:
    SetAttrs(g.big, MUIA_List_Active, msg->MethodID == WB_Up ? MUIV_List_Active_Up : MUIV_List_Active_Down);
    return 0;
  case WB_Active: {
    IPTR a = 0;
    GetAttr(MUIA_List_Active, g.big, &a);
    LONG at = static_cast<LONG>(static_cast<SIPTR>(a));
    Status("Active: " + std::to_string(at) + " (" + EntryName(at) + ")");
    return 0;
  }
  case WB_Menu: {
    auto *item = reinterpret_cast<Object *>(reinterpret_cast<IPTR *>(msg)[1]);
    IPTR u = 0;
    if (item) GetAttr(MUIA_UserData, item, &u);
    Status("Menu: " + std::to_string(static_cast<long>(u)));
    return 0;
  }
  case WB_Insert:
    g.inserted += 10;
    FillBig(100000 + g.inserted, 10, MUIV_List_Insert_Top);
    Status("Inserted: " + std::to_string(g.inserted));
    return 0;
  case WB_Refill:
    SetAttrs(g.big, MUIA_List_Quiet, TRUE);
    DoMethod(g.big, MUIM_List_Clear);
    FillBig(1, kBigRows, MUIV_List_Insert_Bottom);
    SetAttrs(g.big, MUIA_List_Quiet, FALSE);
    Status("Refilled");
    return 0;
  case WB_Node: {
    IPTR a = 0;
    GetAttr(MUIA_Listtree_Active, g.rowTree, &a);
    auto *n = reinterpret_cast<MUIS_Listtree_TreeNode *>(a);
    auto *parent = n ? reinterpret_cast<MUIS_Listtree_TreeNode *>(DoMethod(g.rowTree, MUIM_Listtree_GetEntry, n,
                                                                           MUIV_Listtree_GetEntry_Position_Parent, 0))
                     : nullptr;
    Status(std::string("Node: ") + (n ? n->tn_Name : "-") + (parent ? std::string(" in ") + parent->tn_Name : ""));
    return 0;
  }
  case WB_Clicked:
    Status("Clicked " + std::to_string(++g.clicks));
    return 0;
  case WB_RowsClose:
    if (g.rows) SetAttrs(g.rows, MUIA_Window_Open, FALSE);
    return 0;
  case MUIM_Screenbar_IsConfigItem:
    return reinterpret_cast<MUIP_Screenbar_IsConfigItem *>(msg)->id == WB_CFG_GREEN;
  case MUIM_Screenbar_ConfigDefault:
    return reinterpret_cast<MUIP_Screenbar_IsConfigItem *>(msg)->id == WB_CFG_GREEN ? 1 : 0;
  case MUIM_Screenbar_PrefsPanel: {
    Object *label = MUI_MakeObject(MUIO_Label, "Green square", 0);
    Object *check = MUI_MakeObject(MUIO_Checkmark, "Green square");
    Object *panel = MUI_NewObject(MUIC_Mccprefs, MUIA_Group_Horiz, TRUE, Child, check, Child, label, TAG_DONE);
    if (panel) DoMethod(panel, MUIM_Mccprefs_RegisterGadget, check, WB_CFG_GREEN, 0, "Green square", MUIA_Selected, label);
    return reinterpret_cast<IPTR>(panel);
  }
  case MUIM_ConfigItemChanged: {
    auto *m = reinterpret_cast<MUIP_ConfigItemChanged *>(msg);
    auto *d = static_cast<BarData *>(INST_DATA(cl, obj));
    if (m->id != WB_CFG_GREEN) return 0;
    d->green = static_cast<LONG>(ConfigOf(obj, WB_CFG_GREEN));
    if (m->refresh && m->refresh->count < SCREENBAR_REFRESH_MAX) {
      m->refresh->flags[m->refresh->count] = 0;
      m->refresh->objects[m->refresh->count++] = obj;
    }
    return 0;
  }
  default:
    return DoSuperMethodA(cl, obj, msg);
  }
}

struct Library *LibInit(APTR segList) {
  std::memset(&g, 0, sizeof g);
  g.base.lib_Node.ln_Name = const_cast<char *>("WebBar.sbar");
  g.base.lib_Version = 1;
  g.segList = segList;
  return &g.base;
}

APTR LibExpunge(struct Library *base) {
  if (base->lib_OpenCnt) {
    base->lib_Flags |= LIBF_DELEXP;
    return nullptr;
  }
  return g.segList;
}

struct Library *LibOpen(struct Library *base, ULONG) {
  ++base->lib_OpenCnt;
  base->lib_Flags &= ~LIBF_DELEXP;
  if (!g.mcc) g.mcc = MUI_CreateCustomClass(nullptr, MUIC_Area, nullptr, sizeof(BarData), Dispatcher);
  if (!g.mcc) {
    --base->lib_OpenCnt;
    return nullptr;
  }
  return base;
}

APTR LibClose(struct Library *base) {
  if (base->lib_OpenCnt) --base->lib_OpenCnt;
  if (!base->lib_OpenCnt && g.mcc && MUI_DeleteCustomClass(g.mcc)) g.mcc = nullptr;
  if (!base->lib_OpenCnt && (base->lib_Flags & LIBF_DELEXP)) return LibExpunge(base);
  return nullptr;
}

APTR LibQuery(struct Library *, LONG code) {
  if (code == 0) return g.mcc;
  if (code == 7) return const_cast<char *>("WebBar 1.0, a plug-in for the browser view's tests");
  return nullptr;
}

} // namespace

extern "C" __attribute__((visibility("default"))) const struct ScreenbarLibraryFuncs *ScreenbarLibraryEntry() {
  static const ScreenbarLibraryFuncs funcs{LibInit, LibOpen, LibClose, LibExpunge, LibQuery};
  return &funcs;
}
