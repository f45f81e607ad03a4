// The toolkit's widget classes: IDs, values and the structures their
// methods take. Included by mui/mui.h; include that, not this.
//
// Numbers are those of the public toolkit headers (and of the Listtree,
// Busy and Hyperlink custom classes), so that code written for the real
// toolkit runs unchanged.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "exec/exec.h"
#include "exec/types.h"
#include "mui/object.h"

struct Screen;
struct RastPort;
struct ColorMap;
struct TextFont;

// ---- class names ----------------------------------------------------------------------------

#define MUIC_Area "Area.mui"
#define MUIC_Group "Group.mui"
#define MUIC_Rectangle "Rectangle.mui"
#define MUIC_Balance "Balance.mui"
#define MUIC_Image "Image.mui"
#define MUIC_Dtpic "Dtpic.mui"
#define MUIC_Text "Text.mui"
#define MUIC_String "String.mui"
#define MUIC_Gauge "Gauge.mui"
#define MUIC_Scale "Scale.mui"
#define MUIC_Numeric "Numeric.mui"
#define MUIC_Numericbutton "Numericbutton.mui"
#define MUIC_List "List.mui"
#define MUIC_Listview "Listview.mui"
#define MUIC_Listtree "Listtree.mcc"
#define MUIC_Popstring "Popstring.mui"
#define MUIC_Popobject "Popobject.mui"
#define MUIC_Popasl "Popasl.mui"
#define MUIC_Pendisplay "Pendisplay.mui"
#define MUIC_Poppen "Poppen.mui"
#define MUIC_Busy "Busy.mcc"
#define MUIC_Hyperlink "Hyperlink.mcc"
#define MUIC_Mccprefs "Mccprefs.mui"

// ---- Area -----------------------------------------------------------------------------------

enum : IPTR {
  MUIM_AskMinMax = 0x80423874,
  MUIM_Cleanup = 0x8042d985,
  MUIM_Draw = 0x80426f3f,
  MUIM_DrawBackground = 0x804238ca,
  MUIM_HandleEvent = 0x80426d66,
  MUIM_HandleInput = 0x80422a1a,
  MUIM_Hide = 0x8042f20f,
  MUIM_Layout = 0x8042845b,
  MUIM_Setup = 0x80428354,
  MUIM_Show = 0x8042cc84,
  MUIM_Text = 0x8042ee70,
  MUIM_TextDim = 0x80422ad7,
  MUIM_UpdateConfig = 0x8042b0a9,
  MUIM_GetConfigItem = 0x80423edb, // answered by Area through the host's configuration
  MUIM_ContextMenuBuild = 0x80429d2e,
  MUIM_ContextMenuChoice = 0x80420f0e,
};

enum : IPTR {
  MUIA_Background = 0x8042545b,
  MUIA_BottomEdge = 0x8042e552,
  MUIA_ContextMenu = 0x8042b704,
  MUIA_ContextMenuTrigger = 0x8042a2c1,
  MUIA_ControlChar = 0x8042120b,
  MUIA_CycleChain = 0x80421ce7,
  MUIA_Disabled = 0x80423661,
  MUIA_Draggable = 0x80420b6e,
  MUIA_Dropable = 0x8042fbce,
  MUIA_FillArea = 0x804294a3,
  MUIA_FixHeight = 0x8042a92b,
  MUIA_FixHeightTxt = 0x804276f2,
  MUIA_FixWidth = 0x8042a3f1,
  MUIA_FixWidthTxt = 0x8042d044,
  MUIA_Font = 0x8042be50,
  MUIA_Frame = 0x8042ac64,
  MUIA_FramePhantomHoriz = 0x8042ed76,
  MUIA_FrameTitle = 0x8042d1c7,
  MUIA_Height = 0x80423237,
  MUIA_HorizDisappear = 0x80429615,
  MUIA_HorizWeight = 0x80426db9,
  MUIA_InnerBottom = 0x8042f2c0,
  MUIA_InnerLeft = 0x804228f8,
  MUIA_InnerRight = 0x804297ff,
  MUIA_InnerTop = 0x80421eb6,
  MUIA_InputMode = 0x8042fb04,
  MUIA_LeftEdge = 0x8042bec6,
  MUIA_MaxHeight = 0x804293e4,
  MUIA_MaxWidth = 0x8042f112,
  MUIA_Pressed = 0x80423535,
  MUIA_RightEdge = 0x8042ba82,
  MUIA_Selected = 0x8042654b,
  MUIA_ShortHelp = 0x80428fe3,
  MUIA_ShowMe = 0x80429ba8,
  MUIA_ShowSelState = 0x8042caac,
  MUIA_Timer = 0x80426435,
  MUIA_TopEdge = 0x8042509b,
  MUIA_VertDisappear = 0x8042d12f,
  MUIA_VertWeight = 0x804298d0,
  MUIA_Weight = 0x80421d1f,
  MUIA_Width = 0x8042b59c,
  MUIA_Window = 0x80421591,
  MUIA_WindowObject = 0x8042669e,
};

enum : LONG {
  MUIV_Frame_None = 0,
  MUIV_Frame_Button = 1,
  MUIV_Frame_ImageButton = 2,
  MUIV_Frame_Text = 3,
  MUIV_Frame_String = 4,
  MUIV_Frame_ReadList = 5,
  MUIV_Frame_InputList = 6,
  MUIV_Frame_Prop = 7,
  MUIV_Frame_Gauge = 8,
  MUIV_Frame_Group = 9,
  MUIV_Frame_PopUp = 10,
  MUIV_Frame_Virtual = 11,
  MUIV_Frame_Slider = 12,
};

enum : LONG { MUIV_InputMode_None = 0, MUIV_InputMode_RelVerify = 1, MUIV_InputMode_Immediate = 2, MUIV_InputMode_Toggle = 3 };

enum : LONG {
  MUIV_Font_Inherit = 0,
  MUIV_Font_Normal = -1,
  MUIV_Font_List = -2,
  MUIV_Font_Tiny = -3,
  MUIV_Font_Fixed = -4,
  MUIV_Font_Title = -5,
  MUIV_Font_Big = -6,
  MUIV_Font_Button = -7,
};

// Standard images and backgrounds (MUIA_Image_Spec / MUIA_Background).
enum : LONG {
  MUII_WindowBack = 0,
  MUII_RequesterBack = 1,
  MUII_ButtonBack = 2,
  MUII_ListBack = 3,
  MUII_TextBack = 4,
  MUII_PropBack = 5,
  MUII_PopupBack = 6,
  MUII_SelectedBack = 7,
  MUII_ArrowUp = 11,
  MUII_ArrowDown = 12,
  MUII_ArrowLeft = 13,
  MUII_ArrowRight = 14,
  MUII_CheckMark = 15,
  MUII_RadioButton = 16,
  MUII_Cycle = 17,
  MUII_PopUp = 18,
  MUII_PopFile = 19,
  MUII_PopDrawer = 20,
  MUII_GroupBack = 35,
  MUII_ReadListBack = 41,
  MUII_ImageButtonBack = 43,
  MUII_StringBack = 49,
  MUII_BACKGROUND = 128,
  MUII_SHADOW = 129,
  MUII_SHINE = 130,
  MUII_FILL = 131,
};

struct MUI_MinMax {
  WORD MinWidth;
  WORD MinHeight;
  WORD MaxWidth;
  WORD MaxHeight;
  WORD DefWidth;
  WORD DefHeight;
};
#define MUI_MAXMAX 10000

// What an object draws on; valid between MUIM_Setup and MUIM_Cleanup.
struct MUI_RenderInfo {
  Object *mri_WindowObject;
  struct Screen *mri_Screen;
  struct ColorMap *mri_Colormap;
  UWORD *mri_Pens;               // MPEN_* to pen numbers of the screen's colour map
  struct Window *mri_Window;
  struct RastPort *mri_RastPort; // valid between MUIM_Show and MUIM_Hide
  ULONG mri_Flags;
};
#define MUIMRI_TRUECOLOR (1 << 1)

enum : ULONG {
  MPEN_SHINE = 0,
  MPEN_HALFSHINE = 1,
  MPEN_BACKGROUND = 2,
  MPEN_HALFSHADOW = 3,
  MPEN_SHADOW = 4,
  MPEN_TEXT = 5,
  MPEN_FILL = 6,
  MPEN_MARK = 7,
  MPEN_MARKTEXT = 8,
  MPEN_COUNT = 9,
};

struct IBox {
  WORD Left;
  WORD Top;
  WORD Width;
  WORD Height;
};

// The public part of Area's instance data.
struct MUI_AreaData {
  struct MUI_RenderInfo *mad_RenderInfo;
  struct TextFont *mad_Font;
  struct MUI_MinMax mad_MinMax;
  struct IBox mad_Box;  // position and size inside the render target
  BYTE mad_addleft;     // frame and inner spacing
  BYTE mad_addtop;
  BYTE mad_subwidth;
  BYTE mad_subheight;
  ULONG mad_Flags;
};

#define MADF_DRAWOBJECT (1 << 0) // draw everything
#define MADF_DRAWUPDATE (1 << 1) // only what changed

struct MUIP_AskMinMax { IPTR MethodID; struct MUI_MinMax *MinMaxInfo; };
struct MUIP_Setup { IPTR MethodID; struct MUI_RenderInfo *RenderInfo; };
struct MUIP_Draw { IPTR MethodID; IPTR flags; };
struct MUIP_DrawBackground { IPTR MethodID; SIPTR left, top, width, height, xoffset, yoffset, flags; };
struct MUIP_Text { IPTR MethodID; SIPTR left, top, width, height; CONST_STRPTR text; SIPTR len; CONST_STRPTR preparse; SIPTR ulchar; };
struct MUIP_TextDim { IPTR MethodID; CONST_STRPTR text; SIPTR len; CONST_STRPTR preparse; IPTR flags; };
struct MUIP_GetConfigItem { IPTR MethodID; IPTR id; IPTR *storage; };
// Context menus. Build: the menu strip to show for a right click at (mx, my)
// (Area answers MUIA_ContextMenu). Choice: the chosen Menuitem; Area sets
// MUIA_ContextMenuTrigger to it.
struct MUIP_ContextMenuBuild { IPTR MethodID; SIPTR mx, my; };
struct MUIP_ContextMenuChoice { IPTR MethodID; Object *item; };
#define DIM2WIDTH(dim) (((LONG)(dim)) & 0xffff)
#define DIM2HEIGHT(dim) (((LONG)(dim)) >> 16)

// Area data of any object of an Area subclass (null for other objects).
struct MUI_AreaData *muiAreaData(Object *obj);
struct MUI_RenderInfo *muiRenderInfo(Object *obj);

// The toolkit's accessors; meaningful between MUIM_Setup and MUIM_Cleanup
// (the rectangle once the object has been laid out).
inline struct MUI_RenderInfo *_ri(Object *o) { return muiRenderInfo(o); }
struct Screen *_screen(Object *o);
struct RastPort *_rp(Object *o);
struct Window *_window(Object *o);
Object *_win(Object *o);
Object *_app(Object *o);
Object *_parent(Object *o);
UWORD *_pens(Object *o);
struct TextFont *_font(Object *o);
inline WORD _left(Object *o) { return muiAreaData(o)->mad_Box.Left; }
inline WORD _top(Object *o) { return muiAreaData(o)->mad_Box.Top; }
inline WORD _width(Object *o) { return muiAreaData(o)->mad_Box.Width; }
inline WORD _height(Object *o) { return muiAreaData(o)->mad_Box.Height; }
inline WORD _right(Object *o) { return _left(o) + _width(o) - 1; }
inline WORD _bottom(Object *o) { return _top(o) + _height(o) - 1; }
inline BYTE _addleft(Object *o) { return muiAreaData(o)->mad_addleft; }
inline BYTE _addtop(Object *o) { return muiAreaData(o)->mad_addtop; }
inline BYTE _subwidth(Object *o) { return muiAreaData(o)->mad_subwidth; }
inline BYTE _subheight(Object *o) { return muiAreaData(o)->mad_subheight; }
inline WORD _mleft(Object *o) { return _left(o) + _addleft(o); }
inline WORD _mtop(Object *o) { return _top(o) + _addtop(o); }
inline WORD _mwidth(Object *o) { return _width(o) - _subwidth(o); }
inline WORD _mheight(Object *o) { return _height(o) - _subheight(o); }
inline WORD _mright(Object *o) { return _mleft(o) + _mwidth(o) - 1; }
inline WORD _mbottom(Object *o) { return _mtop(o) + _mheight(o) - 1; }
inline ULONG &_flags(Object *o) { return muiAreaData(o)->mad_Flags; }

// Redraws an object that is shown; a no-op otherwise. GUI task only.
void MUI_Redraw(Object *obj, ULONG flags);

// ---- Group ----------------------------------------------------------------------------------

enum : IPTR {
  MUIM_Group_AddHead = 0x8042e200,
  MUIM_Group_AddTail = 0x8042d752,
  MUIM_Group_ExitChange = 0x8042d1cc,
  MUIM_Group_InitChange = 0x80420887,
  MUIM_Group_Remove = 0x8042f8a9,
  MUIM_Group_Sort = 0x80427417,
};
enum : IPTR {
  MUIA_Group_ActivePage = 0x80424199,
  MUIA_Group_Child = 0x804226e6,
  MUIA_Group_ChildCount = 0x80420322,
  MUIA_Group_ChildList = 0x80424748,
  MUIA_Group_Columns = 0x8042f416,
  MUIA_Group_Horiz = 0x8042536b,
  MUIA_Group_HorizSpacing = 0x8042c651,
  MUIA_Group_PageMode = 0x80421a5f,
  MUIA_Group_Rows = 0x8042b68f,
  MUIA_Group_SameHeight = 0x8042037e,
  MUIA_Group_SameSize = 0x80420860,
  MUIA_Group_SameWidth = 0x8042b3ec,
  MUIA_Group_Spacing = 0x8042866d,
  MUIA_Group_VertSpacing = 0x8042e1bf,
};
enum : LONG {
  MUIV_Group_ActivePage_First = 0,
  MUIV_Group_ActivePage_Last = -1,
  MUIV_Group_ActivePage_Prev = -2,
  MUIV_Group_ActivePage_Next = -3,
  MUIV_Group_ActivePage_Advance = -4,
};
#define Child MUIA_Group_Child

// ---- Rectangle, Balance ---------------------------------------------------------------------

enum : IPTR {
  MUIA_Rectangle_BarTitle = 0x80426689,
  MUIA_Rectangle_HBar = 0x8042c943,
  MUIA_Rectangle_VBar = 0x80422204,
  MUIA_Balance_Quiet = 0x80427486,
};

// ---- Image, Dtpic ---------------------------------------------------------------------------

enum : IPTR {
  MUIA_Image_FontMatch = 0x8042815d,
  MUIA_Image_FontMatchHeight = 0x80429f26,
  MUIA_Image_FontMatchWidth = 0x804239bf,
  MUIA_Image_FreeHoriz = 0x8042da84,
  MUIA_Image_FreeVert = 0x8042ea28,
  MUIA_Image_Spec = 0x804233d5,
  MUIA_Image_State = 0x8042a3ad,
  MUIA_Dtpic_Alpha = 0x8042b4db,
  MUIA_Dtpic_Name = 0x80423d72,
};

// ---- Text -----------------------------------------------------------------------------------

enum : IPTR {
  MUIA_Text_Contents = 0x8042f8dc,
  MUIA_Text_ControlChar = 0x8042e6d0,
  MUIA_Text_Copy = 0x80427727,
  MUIA_Text_HiChar = 0x804218ff,
  MUIA_Text_HiCharIdx = 0x804214f5,
  MUIA_Text_Marking = 0x8042f780,
  MUIA_Text_PreParse = 0x8042566d,
  MUIA_Text_SetMax = 0x80424d0a,
  MUIA_Text_SetMin = 0x80424e10,
  MUIA_Text_SetVMax = 0x80420d8b,
  MUIA_Text_Shorten = 0x80428bbd,
};

// ---- String ---------------------------------------------------------------------------------

enum : IPTR {
  MUIA_String_Accept = 0x8042e3e1,
  MUIA_String_Acknowledge = 0x8042026c,
  MUIA_String_AdvanceOnCR = 0x804226de,
  MUIA_String_AttachedList = 0x80420fd2,
  MUIA_String_BufferPos = 0x80428b6c,
  MUIA_String_Contents = 0x80428ffd,
  MUIA_String_Format = 0x80427484,
  MUIA_String_Integer = 0x80426e8a,
  MUIA_String_MaxLen = 0x80424984,
  MUIA_String_Placeholder = 0x8042ae65,
  MUIA_String_Reject = 0x8042179c,
  MUIA_String_Secret = 0x80428769,
};
enum : LONG { MUIV_String_Format_Left = 0, MUIV_String_Format_Center = 1, MUIV_String_Format_Right = 2 };

// ---- Gauge, Scale ---------------------------------------------------------------------------

enum : IPTR {
  MUIA_Gauge_Current = 0x8042f0dd,
  MUIA_Gauge_Divide = 0x8042d8df,
  MUIA_Gauge_Horiz = 0x804232dd,
  MUIA_Gauge_InfoText = 0x8042bf15,
  MUIA_Gauge_Max = 0x8042bcdb,
  MUIA_Scale_Horiz = 0x8042919a,
};

// ---- Numeric --------------------------------------------------------------------------------

enum : IPTR {
  MUIM_Numeric_Decrease = 0x804243a7,
  MUIM_Numeric_Increase = 0x80426ecd,
  MUIM_Numeric_SetDefault = 0x8042ab0a,
  MUIM_Numeric_Stringify = 0x80424891,
};
enum : IPTR {
  MUIA_Numeric_Default = 0x804263e8,
  MUIA_Numeric_Format = 0x804263e9,
  MUIA_Numeric_Max = 0x8042d78a,
  MUIA_Numeric_Min = 0x8042e404,
  MUIA_Numeric_Reverse = 0x8042f2a0,
  MUIA_Numeric_Value = 0x8042ae3a,
};

// ---- List -----------------------------------------------------------------------------------

enum : IPTR {
  MUIM_List_Clear = 0x8042ad89,
  MUIM_List_Exchange = 0x8042468c,
  MUIM_List_GetEntry = 0x804280ec,
  MUIM_List_Insert = 0x80426c87,
  MUIM_List_InsertSingle = 0x804254d5,
  MUIM_List_Jump = 0x8042baab,
  MUIM_List_Move = 0x804253c2,
  MUIM_List_Redraw = 0x80427993,
  MUIM_List_Remove = 0x8042647e,
  MUIM_List_Sort = 0x80422275,
};
enum : IPTR {
  MUIA_List_Active = 0x8042391c,
  MUIA_List_AdjustHeight = 0x8042850d,
  MUIA_List_AdjustWidth = 0x8042354a,
  MUIA_List_AutoVisible = 0x8042a445,
  MUIA_List_CompareHook = 0x80425c14,
  MUIA_List_ConstructHook = 0x8042894f,
  MUIA_List_DestructHook = 0x804297ce,
  MUIA_List_DisplayHook = 0x8042b4d5,
  MUIA_List_DoubleClick = 0x80424635,
  MUIA_List_DragSortable = 0x80426099,
  MUIA_List_DragType = 0x80425cd3,
  MUIA_List_Entries = 0x80421654,
  MUIA_List_First = 0x804238d4,
  MUIA_List_Format = 0x80423c0a,
  MUIA_List_Input = 0x8042682d,
  MUIA_List_InsertPosition = 0x8042d0cd,
  MUIA_List_MinLineHeight = 0x8042d1c3,
  MUIA_List_MultiSelect = 0x80427e08,
  MUIA_List_Pool = 0x80423431,
  MUIA_List_PoolPuddleSize = 0x8042a4eb,
  MUIA_List_PoolThreshSize = 0x8042c48c,
  MUIA_List_Quiet = 0x8042d8c7,
  MUIA_List_ShowDropMarks = 0x8042c6f3,
  MUIA_List_SourceArray = 0x8042c0a0,
  MUIA_List_Title = 0x80423e66,
  MUIA_List_Visible = 0x8042191f,
  MUIA_Listview_DoubleClick = 0x80424635,
  MUIA_Listview_DragType = 0x80425cd3,
  MUIA_Listview_Input = 0x8042682d,
  MUIA_Listview_List = 0x8042bcce,
  MUIA_Listview_MultiSelect = 0x80427e08,
};
// Special values, by method.
enum : LONG {
  MUIV_List_Insert_Top = 0, MUIV_List_Insert_Active = -1, MUIV_List_Insert_Sorted = -2, MUIV_List_Insert_Bottom = -3,
  MUIV_List_Remove_First = 0, MUIV_List_Remove_Active = -1, MUIV_List_Remove_Last = -2,
  MUIV_List_GetEntry_Active = -1,
  MUIV_List_Active_Off = -1, MUIV_List_Active_Top = -2, MUIV_List_Active_Bottom = -3, MUIV_List_Active_Up = -4, MUIV_List_Active_Down = -5,
  MUIV_List_Move_Top = 0, MUIV_List_Move_Active = -1, MUIV_List_Move_Bottom = -2, MUIV_List_Move_Next = -3, MUIV_List_Move_Previous = -4,
  MUIV_List_Exchange_Top = 0, MUIV_List_Exchange_Active = -1, MUIV_List_Exchange_Bottom = -2, MUIV_List_Exchange_Next = -3, MUIV_List_Exchange_Previous = -4,
  MUIV_List_Jump_Top = 0, MUIV_List_Jump_Active = -1, MUIV_List_Jump_Bottom = -2, MUIV_List_Jump_Down = -3, MUIV_List_Jump_Up = -4,
  MUIV_List_Redraw_Active = -1, MUIV_List_Redraw_All = -2,
  MUIV_List_DragType_None = 0, MUIV_List_DragType_Immediate = 1,
  MUIV_Listview_DragType_None = 0, MUIV_Listview_DragType_Immediate = 1,
};
// Special hooks: the list copies strings itself.
#define MUIV_List_ConstructHook_String ((struct Hook *)(SIPTR)-1)
#define MUIV_List_DestructHook_String ((struct Hook *)(SIPTR)-1)
#define MUIV_List_CompareHook_String ((struct Hook *)(SIPTR)-1)

// Hooks are called as CallHookPkt(hook, object, message):
//   construct: (hook, pool, entry)              -> new entry, or null to refuse
//   destruct:  (hook, pool, entry)
//   display:   (hook, STRPTR *array, entry)     entry null: fill the title row;
//              array[-1] holds the row number (for alternating backgrounds)
//   compare:   (hook, entry2, entry1)           -> <0, 0, >0 as entry1 <, =, > entry2
struct MUIP_List_InsertSingle { IPTR MethodID; APTR entry; SIPTR pos; };
struct MUIP_List_Insert { IPTR MethodID; APTR *entries; SIPTR count; SIPTR pos; };
struct MUIP_List_GetEntry { IPTR MethodID; SIPTR pos; APTR *entry; };
struct MUIP_List_Remove { IPTR MethodID; SIPTR pos; };
struct MUIP_List_Jump { IPTR MethodID; SIPTR pos; };

// ---- Listtree.mcc ---------------------------------------------------------------------------

enum : IPTR {
  MUIM_Listtree_Close = 0x8002001f,
  MUIM_Listtree_Exchange = 0x80020008,
  MUIM_Listtree_FindName = 0x8002003c,
  MUIM_Listtree_GetEntry = 0x8002002b,
  MUIM_Listtree_GetNr = 0x8002000e,
  MUIM_Listtree_Insert = 0x80020011,
  MUIM_Listtree_Move = 0x80020009,
  MUIM_Listtree_Open = 0x8002001e,
  MUIM_Listtree_Remove = 0x80020012,
  MUIM_Listtree_Rename = 0x8002000c,
  MUIM_Listtree_Sort = 0x80020029,
};
enum : IPTR {
  MUIA_Listtree_Active = 0x80020020,
  MUIA_Listtree_CloseHook = 0x80020033,
  MUIA_Listtree_ConstructHook = 0x80020016,
  MUIA_Listtree_DestructHook = 0x80020017,
  MUIA_Listtree_DisplayHook = 0x80020018,
  MUIA_Listtree_DoubleClick = 0x8002000d,
  MUIA_Listtree_DragDropSort = 0x80020031,
  MUIA_Listtree_DuplicateNodeName = 0x8002003d,
  MUIA_Listtree_EmptyNodes = 0x80020030,
  MUIA_Listtree_Format = 0x80020014,
  MUIA_Listtree_OpenHook = 0x80020032,
  MUIA_Listtree_Quiet = 0x8002000a,
  MUIA_Listtree_SortHook = 0x80020010,
  MUIA_Listtree_Title = 0x80020015,
  MUIA_Listtree_TreeColumn = 0x80020013,
};
// Special values, by method and argument.
enum : SIPTR {
  MUIV_Listtree_Active_Off = 0,
  MUIV_Listtree_ListNode_Root = 0, MUIV_Listtree_ListNode_Parent = -1, MUIV_Listtree_ListNode_Active = -2,
  MUIV_Listtree_TreeNode_Head = 0, MUIV_Listtree_TreeNode_Tail = -1, MUIV_Listtree_TreeNode_Active = -2, MUIV_Listtree_TreeNode_All = -3,

  MUIV_Listtree_Close_ListNode_Root = 0, MUIV_Listtree_Close_ListNode_Parent = -1, MUIV_Listtree_Close_ListNode_Active = -2,
  MUIV_Listtree_Close_TreeNode_Head = 0, MUIV_Listtree_Close_TreeNode_Tail = -1, MUIV_Listtree_Close_TreeNode_Active = -2, MUIV_Listtree_Close_TreeNode_All = -3,
  MUIV_Listtree_Open_ListNode_Root = 0, MUIV_Listtree_Open_ListNode_Parent = -1, MUIV_Listtree_Open_ListNode_Active = -2,
  MUIV_Listtree_Open_TreeNode_Head = 0, MUIV_Listtree_Open_TreeNode_Tail = -1, MUIV_Listtree_Open_TreeNode_Active = -2, MUIV_Listtree_Open_TreeNode_All = -3,

  MUIV_Listtree_Exchange_ListNode1_Root = 0, MUIV_Listtree_Exchange_ListNode1_Active = -2,
  MUIV_Listtree_Exchange_TreeNode1_Head = 0, MUIV_Listtree_Exchange_TreeNode1_Tail = -1, MUIV_Listtree_Exchange_TreeNode1_Active = -2,
  MUIV_Listtree_Exchange_ListNode2_Root = 0, MUIV_Listtree_Exchange_ListNode2_Active = -2,
  MUIV_Listtree_Exchange_TreeNode2_Head = 0, MUIV_Listtree_Exchange_TreeNode2_Tail = -1, MUIV_Listtree_Exchange_TreeNode2_Active = -2, MUIV_Listtree_Exchange_TreeNode2_Up = -5, MUIV_Listtree_Exchange_TreeNode2_Down = -6,

  MUIV_Listtree_FindName_ListNode_Root = 0, MUIV_Listtree_FindName_ListNode_Active = -2,

  MUIV_Listtree_GetEntry_ListNode_Root = 0, MUIV_Listtree_GetEntry_ListNode_Active = -2,
  MUIV_Listtree_GetEntry_Position_Head = 0, MUIV_Listtree_GetEntry_Position_Tail = -1, MUIV_Listtree_GetEntry_Position_Active = -2, MUIV_Listtree_GetEntry_Position_Next = -3, MUIV_Listtree_GetEntry_Position_Previous = -4, MUIV_Listtree_GetEntry_Position_Parent = -5,

  MUIV_Listtree_GetNr_TreeNode_Active = -2,

  MUIV_Listtree_Insert_ListNode_Root = 0, MUIV_Listtree_Insert_ListNode_Active = -2,
  MUIV_Listtree_Insert_PrevNode_Head = 0, MUIV_Listtree_Insert_PrevNode_Tail = -1, MUIV_Listtree_Insert_PrevNode_Active = -2, MUIV_Listtree_Insert_PrevNode_Sorted = -4,

  MUIV_Listtree_Move_OldListNode_Root = 0, MUIV_Listtree_Move_OldListNode_Active = -2,
  MUIV_Listtree_Move_OldTreeNode_Head = 0, MUIV_Listtree_Move_OldTreeNode_Tail = -1, MUIV_Listtree_Move_OldTreeNode_Active = -2,
  MUIV_Listtree_Move_NewListNode_Root = 0, MUIV_Listtree_Move_NewListNode_Active = -2,
  MUIV_Listtree_Move_NewTreeNode_Head = 0, MUIV_Listtree_Move_NewTreeNode_Tail = -1, MUIV_Listtree_Move_NewTreeNode_Active = -2, MUIV_Listtree_Move_NewTreeNode_Sorted = -4,

  MUIV_Listtree_Remove_ListNode_Root = 0, MUIV_Listtree_Remove_ListNode_Active = -2,
  MUIV_Listtree_Remove_TreeNode_Head = 0, MUIV_Listtree_Remove_TreeNode_Tail = -1, MUIV_Listtree_Remove_TreeNode_Active = -2, MUIV_Listtree_Remove_TreeNode_All = -3,

  MUIV_Listtree_Rename_TreeNode_Active = -2,
};
enum : ULONG {
  MUIV_Listtree_FindName_Flags_SameLevel = 1 << 15,
  MUIV_Listtree_FindName_Flags_Visible = 1 << 14,
  MUIV_Listtree_GetEntry_Flags_SameLevel = 1 << 15,
  MUIV_Listtree_GetEntry_Flags_Visible = 1 << 14,
  MUIV_Listtree_GetNr_Flags_ListEmpty = 1 << 12,
  MUIV_Listtree_GetNr_Flags_CountList = 1 << 13,
  MUIV_Listtree_GetNr_Flags_CountLevel = 1 << 14,
  MUIV_Listtree_GetNr_Flags_CountAll = 1 << 15,
  MUIV_Listtree_Insert_Flags_Nr = 1 << 15,
  MUIV_Listtree_Insert_Flags_Visible = 1 << 14,
  MUIV_Listtree_Insert_Flags_Active = 1 << 13,
  MUIV_Listtree_Insert_Flags_NextNode = 1 << 12,
  MUIV_Listtree_Rename_Flags_User = 1 << 8,
  MUIV_Listtree_Rename_Flags_NoRefresh = 1 << 9,
};
#define MUIV_Listtree_ConstructHook_String ((struct Hook *)(SIPTR)-1)
#define MUIV_Listtree_DestructHook_String ((struct Hook *)(SIPTR)-1)

// A node of the tree. The first two words belong to the tree.
struct MUIS_Listtree_TreeNode {
  APTR tn_Private1;
  APTR tn_Private2;
  char *tn_Name;
  UWORD tn_Flags;
  APTR tn_User;
};
#define TNF_OPEN (1 << 0)
#define TNF_LIST (1 << 1)
#define TNF_FROZEN (1 << 2)
#define TNF_NOSIGN (1 << 3)

// Listtree hooks, called as CallHookPkt(hook, object, message):
//   construct: (hook, pool, user)                 -> the node's user data
//   destruct:  (hook, pool, user)
//   display:   (hook, STRPTR *array, treenode)    treenode null: the title row;
//              array[-1] holds the visible row number
//   open, close: (hook, listtree, treenode)      after a list node was opened
//              or closed (by the user or by MUIM_Listtree_Open/Close)
//   sort:      (hook, listtree, IPTR[2]{node1, node2}) -> <0, 0, >0 as node1
//              sorts before, with, after node2 (names without case otherwise)
// The parent of a top-level node is null (the root is no node).

struct MUIP_Listtree_Insert { IPTR MethodID; char *Name; APTR User; APTR ListNode; APTR PrevNode; IPTR Flags; };
struct MUIP_Listtree_GetEntry { IPTR MethodID; APTR Node; SIPTR Position; IPTR Flags; };

// ---- pop-up strings -------------------------------------------------------------------------

enum : IPTR {
  MUIM_Popstring_Close = 0x8042dc52,
  MUIM_Popstring_Open = 0x804258ba,
  MUIA_Popstring_Button = 0x8042d0b9,
  MUIA_Popstring_CloseHook = 0x804256bf,
  MUIA_Popstring_OpenHook = 0x80429d00,
  MUIA_Popstring_String = 0x804239ea,
  MUIA_Popstring_Toggle = 0x80422b7a,
  MUIA_Popobject_Follow = 0x80424cb5,
  MUIA_Popobject_Light = 0x8042a5a3,
  MUIA_Popobject_Object = 0x804293e3,
  MUIA_Popobject_ObjStrHook = 0x8042db44,
  MUIA_Popobject_StrObjHook = 0x8042fbe1,
  MUIA_Popobject_Volatile = 0x804252ec,
  MUIA_Popobject_WindowHook = 0x8042f194,
  MUIA_Popasl_Active = 0x80421b37,
  MUIA_Popasl_StartHook = 0x8042b703,
  MUIA_Popasl_StopHook = 0x8042d8d2,
  MUIA_Popasl_Type = 0x8042df3d,
};
// Popasl hooks: start (hook, popasl, struct TagItem *tags) -> TRUE to open;
// the hook may fill the 16 slots of tags (ending with TAG_DONE) with
// requester tags, which win over those given at creation.
// Stop (hook, popasl, requester) after the user chose.
// Popobject: StrObj (hook, popped object, string object) -> TRUE to open;
// ObjStr (hook, popped object, string object) when it closes with success.
#define MUIV_Popasl_StartTags 16

// ---- pens -----------------------------------------------------------------------------------

enum : IPTR {
  MUIM_Pendisplay_SetColormap = 0x80426c80,
  MUIM_Pendisplay_SetMUIPen = 0x8042039d,
  MUIM_Pendisplay_SetRGB = 0x8042c131,
  MUIA_Pendisplay_Pen = 0x8042a748,
  MUIA_Pendisplay_Reference = 0x8042dc24,
  MUIA_Pendisplay_RGBcolor = 0x8042a1a9,
  MUIA_Pendisplay_Spec = 0x8042a204,
};
struct MUI_PenSpec {
  char buf[32];
};
struct MUI_RGBcolor {
  ULONG red;
  ULONG green;
  ULONG blue;
};
// A pen of a colour map, or -1 for none. Obtained pens are shared by colour.
LONG MUI_ObtainPen(struct MUI_RenderInfo *mri, struct MUI_PenSpec *spec, ULONG flags);
void MUI_ReleasePen(struct MUI_RenderInfo *mri, LONG pen);

// ---- Busy.mcc, Hyperlink.mcc, Mccprefs ------------------------------------------------------

enum : IPTR {
  MUIM_Busy_Move = 0x80020001,
  MUIA_Busy_ShowHideIH = 0x800200a9,
  MUIA_Busy_Speed = 0x80020049,
  MUIA_Hyperlink_URI = 0xfed10033,
  MUIA_Hyperlink_HoverTip = 0xfed10036,
  MUIA_Hyperlink_Text = MUIA_Text_Contents,
  MUIA_Hyperlink_SetMax = MUIA_Text_SetMax,
  MUIM_Hyperlink_Follow = 0xfed10034,
  MUIM_Mccprefs_RegisterGadget = 0x80424828,
};
enum : LONG { MUIV_Busy_Speed_Off = 0, MUIV_Busy_Speed_User = -1 };

struct MUIP_Mccprefs_RegisterGadget { IPTR MethodID; Object *gadget; IPTR id; IPTR params; CONST_STRPTR title; IPTR attr; Object *label; };

// ---- MUI_MakeObject ---------------------------------------------------------------------------

enum : ULONG {
  MUIO_Label = 1,         // STRPTR label, ULONG flags
  MUIO_Button = 2,        // STRPTR label
  MUIO_Checkmark = 3,     // STRPTR label
  MUIO_String = 7,        // STRPTR label, LONG maxlen
  MUIO_PopButton = 8,     // image spec
  MUIO_HSpace = 9,        // LONG space
  MUIO_VSpace = 10,       // LONG space
  MUIO_HBar = 11,         // LONG space
  MUIO_VBar = 12,         // LONG space
  MUIO_BarTitle = 15,     // STRPTR label
  MUIO_NumericButton = 16 // STRPTR label, LONG min, LONG max, STRPTR format
};
enum : ULONG {
  MUIO_Label_SingleFrame = 1 << 8,
  MUIO_Label_DoubleFrame = 1 << 9,
  MUIO_Label_LeftAligned = 1 << 10,
  MUIO_Label_Centered = 1 << 11,
  MUIO_Label_FreeVert = 1 << 12,
  MUIO_Label_DontCopy = 1 << 14,
};
Object *MUI_MakeObjectA(ULONG type, IPTR *params);
template <typename... A> Object *MUI_MakeObject(ULONG type, A... a) {
  IPTR params[] = {ToIPTR(a)..., 0};
  return MUI_MakeObjectA(type, params);
}

// ---- the platform side -----------------------------------------------------------------------

namespace platform {

// Makes the widget classes above known by name. Needs "Notify.mui"; safe to
// call again. False when the superclass is missing.
bool RegisterWidgetClasses();

// The keyboard/mouse side of an Area object, as the display delivers it:
// a press and a release (inside the object or not), honouring MUIA_InputMode
// and MUIA_Disabled. GUI task only.
void AreaPress(Object *obj);
void AreaRelease(Object *obj, bool inside = true);
// A full click (press, release inside).
inline void AreaClick(Object *obj) {
  AreaPress(obj);
  AreaRelease(obj, true);
}
// Typing into a String object: the new contents (cut to its maximum length),
// then Return when acknowledge is set.
void StringType(Object *str, const std::string &text, bool acknowledge);
// Whether obj's class is cls or a subclass of it.
bool IsInstanceOf(Object *obj, CONST_STRPTR classID);
// Children of a group (or of a pop-up string: string and button), in order.
std::vector<Object *> GroupChildren(Object *group);
// Rows as the display shows them: columns of each visible row (title row
// first when the list has one). Lists and list trees.
std::vector<std::vector<std::string>> ListRows(Object *list, bool *hasTitle = nullptr);
// Gives an object its rectangle inside its render target (the host does this
// for the bar gadget after MUIM_AskMinMax).
void AreaSetBox(Object *obj, LONG left, LONG top, LONG width, LONG height);
// The host's answer to MUIM_GetConfigItem (its preferences); without one no
// item is known.
using ConfigProvider = std::function<bool(Object *obj, ULONG id, IPTR *storage)>;
void SetConfigProvider(ConfigProvider provider);
// Where a clicked Hyperlink.mcc sends its address (the host: the desktop's
// opener). Without one a click does nothing.
void SetLinkOpener(std::function<void(const std::string &uri)> opener);
// The gadgets registered with a Mccprefs.mui panel, in order.
struct PrefsGadget {
  Object *gadget;
  ULONG id;   // configuration item
  ULONG attr; // the attribute that carries the value
  Object *label;
  std::string title;
};
std::vector<PrefsGadget> PrefsGadgets(Object *prefs);
// Whether a pop-up (Popobject's object, Popasl's requester) is open.
bool PopupIsOpen(Object *popstring);

// ---- lists and trees as a display shows them ----

// One entry of a list format ("BAR S,BAR S H,P=\33r COL=2"): the columns
// in order; hidden columns stay in the entry array but are never shown.
constexpr LONG kMaxListColumns = 64;
struct ListColumn {
  LONG source = 0;        // the display hook's array slot (COL=, else its place)
  bool bar = false;       // a bar to its right
  bool titleBar = false;  // a bar to its right in the title row only
  bool hidden = false;    // H
  bool sortable = false;  // S: the title cell sorts
  std::string preparse;   // P=: text-engine codes put before the text
  LONG weight = -1;       // W=, -1: not given
  LONG minWidth = -1, maxWidth = -1;
  LONG delta = 4;         // DELTA=: space between columns
};
// Never fails: an empty or missing format is one plain column.
std::vector<ListColumn> ParseListFormat(CONST_STRPTR format);

// A list or list tree (or the list of a listview) as a whole, without its
// rows. Rows of a tree are its visible nodes, depth first.
struct ListState {
  bool tree = false;
  bool title = false;                // a title row exists
  std::vector<ListColumn> columns;   // the shown columns
  std::vector<std::string> titles;   // the title row's shown cells
  LONG entries = 0;                  // rows (list: all entries)
  LONG active = -1;                  // row of the active entry
  LONG first = 0, visible = 0;       // MUIA_List_First, MUIA_List_Visible
  uint32_t revision = 0;             // changes whenever rows move, come or go
  uint32_t version = 0;              // changes whenever any row text may change
  bool quiet = false;
  bool dragSort = false, dropMarks = false;
};
bool GetListState(Object *list, ListState &out); // false: no list
struct ListRowView {
  std::vector<std::string> cells; // the shown columns, with their preparse codes
  LONG level = 1;                 // trees: 1 = top
  bool group = false, open = false;
  APTR node = nullptr; // trees: the node
};
// The rows first .. first+count-1 (fewer at the end); the display hook runs
// for these rows only.
std::vector<ListRowView> ListRowRange(Object *list, LONG first, LONG count);
// What the display shows of a list now: the first row and how many fit.
void ListShown(Object *list, LONG first, LONG visible);

// Input about rows, on the GUI task. revision is the one the person saw;
// a different one means the rows moved since, and the input is refused
// (false), as is a row that does not exist.
bool ListActivateRow(Object *list, LONG row, uint32_t revision, bool doubleClick);
bool ListToggleRow(Object *tree, LONG row, uint32_t revision); // opens or closes a group
enum class ListKey { Up, Down, PageUp, PageDown, Top, Bottom, Enter, Expand, Collapse };
bool ListKeyPress(Object *list, ListKey key);
enum class DropPlace { Before, After, Into };
// Drag-sort: moves row from before, after or (groups of a tree) into row
// onto, with the moves and notifications of the class. Only while the
// list's drag-sort is on.
bool ListDropRow(Object *list, LONG from, LONG onto, DropPlace place, uint32_t revision);

// Repeat buttons: a pressed relverify object sets MUIA_Timer to 1 at once,
// then counts up every kRepeatIntervalMs after kRepeatDelayMs, until it
// is released (platform clock).
constexpr LONG kRepeatDelayMs = 400, kRepeatIntervalMs = 100;

} // namespace platform
