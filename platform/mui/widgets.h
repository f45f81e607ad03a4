// Shared between the widget classes (area.cpp ... mccprefs.cpp). Not for
// other code.
#pragma once

#include <cstring>
#include <string>
#include <vector>

#include "mui/dispatch.h"
#include "mui/mui.h"
#include "mui/render.h"
#include "mui/screen.h"

namespace platform::widgets {

// Area's instance data: the public part first.
struct AreaData {
  struct MUI_AreaData pub;
  LONG frame;
  std::string *frameTitle;
  IPTR background;      // MUII_* or a spec string (then bgSpec holds the copy)
  std::string *bgSpec;
  LONG innerLeft, innerRight, innerTop, innerBottom;
  bool innerSet;
  LONG horizWeight, vertWeight;
  LONG fixWidth, fixHeight, maxWidth, maxHeight;
  std::string *fixWidthTxt, *fixHeightTxt;
  bool phantomHoriz;
  bool disabled;
  bool showMe;
  IPTR shortHelp;       // a text or TRUE (then MUIM_CreateShortHelp is overridden)
  LONG cycleChain;
  LONG inputMode;
  bool pressed;
  bool selected;
  bool showSelState;
  bool fillArea;
  UBYTE controlChar;
  LONG font;
  Object *contextMenu;
  bool draggable, dropable;
  LONG horizDisappear, vertDisappear;
  bool shown;
  Object *contextTrigger;              // the last chosen context menu item
  struct MUI_InputHandlerNode *repeat; // while a relverify press repeats
  Object *repeatApp;
  LONG repeatTicks, timer;
};

AreaData *Area(Object *obj); // null for non-Area objects
struct IClass *AreaClass();

// Registers a class; super must already exist.
struct IClass *MakeWidgetClass(CONST_STRPTR id, CONST_STRPTR superId, ULONG dataSize, DISPATCHERFUNC dispatcher);

// Runs the superclass's OM_SET with replaced tag data (values a class
// normalised, e.g. clamped or copied), or the list unchanged when no value
// is replaced. Replacements with ignore=true drop the tag.
struct TagChange {
  Tag tag;
  IPTR data;
  bool ignore = false;
};
IPTR SuperSet(struct IClass *cl, Object *obj, Msg msg, const std::vector<TagChange> &changes);
// OM_SET of a class that looks at each tag itself: store(tag, changes)
// answers whether the object must be redrawn; then the superclass's OM_SET
// runs with the changes (see SuperSet), then the redraw.
template <typename F> IPTR SetEachTag(struct IClass *cl, Object *obj, Msg msg, F &&store) {
  std::vector<TagChange> changes;
  bool redraw = false;
  EachTag(AttrTags(msg), [&](const TagItem &t) { redraw |= store(t, changes); });
  IPTR r = SuperSet(cl, obj, msg, changes);
  if (redraw) MUI_Redraw(obj, MADF_DRAWOBJECT);
  return r;
}

// The standard methods of a class whose attributes are the fields of its
// table: OM_NEW with the initial values, OM_SET storing them (texts marked
// kAnnounceCopy reach listeners as the object's copy; a kRedraw one redraws
// the object), OM_GET, OM_DISPOSE freeing the texts. Everything else goes
// to the superclass.
template <typename D, size_t N> IPTR AttrDispatch(struct IClass *cl, Object *obj, Msg msg, const AttrTable<D, N> &attrs) {
  switch (msg->MethodID) {
  case OM_NEW: return NewWithAttrs(cl, obj, msg, attrs).result();
  case OM_DISPOSE: FreeAttrs(InstOf<D>(cl, obj), attrs); break;
  case OM_SET: {
    D *d = InstOf<D>(cl, obj);
    return SetEachTag(cl, obj, msg, [&](const TagItem &t, std::vector<TagChange> &changes) {
      return (StoreAttr(d, attrs, t, changes) & kRedraw) != 0;
    });
  }
  case OM_GET: return GetOrSuper(cl, obj, msg, attrs);
  }
  return DoSuperMethodA(cl, obj, msg);
}

// MUIM_AskMinMax: runs the superclass's (frame and spacing) and gives its
// sizes for the class to add its contents to.
inline struct MUI_MinMax *SuperMinMax(struct IClass *cl, Object *obj, Msg msg) {
  DoSuperMethodA(cl, obj, msg);
  return reinterpret_cast<MUIP_AskMinMax *>(msg)->MinMaxInfo;
}
// What contents add to each size; a maximum of kFreeSize makes it unlimited.
constexpr LONG kFreeSize = -1;
struct ContentSize {
  LONG minWidth, defWidth, maxWidth;
  LONG minHeight, defHeight, maxHeight;
};
void GrowMinMax(struct MUI_MinMax *mm, const ContentSize &add);
// The whole MUIM_AskMinMax of a class that only adds its contents: size()
// runs after the superclass's.
template <typename F> IPTR AskContentSize(struct IClass *cl, Object *obj, Msg msg, F &&size) {
  struct MUI_MinMax *mm = SuperMinMax(cl, obj, msg);
  GrowMinMax(mm, size());
  return 0;
}
inline IPTR AskContentSize(struct IClass *cl, Object *obj, Msg msg, const ContentSize &size) {
  GrowMinMax(SuperMinMax(cl, obj, msg), size);
  return 0;
}

// MUIM_Draw: the superclass draws first (background, frame); then, when the
// object has somewhere to draw, draw(rp) its contents.
template <typename F> IPTR DrawOver(struct IClass *cl, Object *obj, Msg msg, F &&draw) {
  IPTR r = DoSuperMethodA(cl, obj, msg);
  if (struct RastPort *rp = _rp(obj)) draw(rp);
  return r;
}

// Announces attr = value of obj through the whole class chain's notifications
// without running OM_SET again.
void Announce(Object *obj, Tag attr, IPTR value);

// Heap text helpers: null-safe copies kept in a std::string*.
inline void SetText(std::string *&slot, CONST_STRPTR text) { CopyText(slot, text); }
inline CONST_STRPTR TextOf(const std::string *slot) { return slot ? slot->c_str() : nullptr; }

// A text stripped of its text-engine codes, with alignment and bold.
struct PlainText {
  std::string text;
  char align = 'l';
  bool bold = false;
};
PlainText StripCodes(CONST_STRPTR preparse, CONST_STRPTR text, LONG len = -1);
// The character after the first '_' lower-cased, 0 if none.
UBYTE UnderscoreKey(CONST_STRPTR text);

// Draws a text into the object's inner rectangle (or the given box).
void DrawTextIn(Object *obj, LONG left, LONG top, LONG width, LONG height, CONST_STRPTR preparse, CONST_STRPTR text,
                LONG len, uint32_t argb);
uint32_t MuiPenColor(Object *obj, ULONG mpen);

// Formats one 32-bit value with a toolkit format ("%ld", "%lD", "%04ld",
// "%lu" ...; anything around it copied).
std::string FormatValue(CONST_STRPTR format, LONG value);

// Class makers, called by RegisterWidgetClasses in superclass order.
struct IClass *MakeAreaClass();
struct IClass *MakeGroupClass();
struct IClass *MakeRectangleClass();
struct IClass *MakeBalanceClass();
struct IClass *MakeImageClasses(); // Image and Dtpic
struct IClass *MakeTextClass();
struct IClass *MakeStringClass();
struct IClass *MakeNumericClasses(); // Numeric and Numericbutton
struct IClass *MakeGaugeClass();
struct IClass *MakeScaleClass();
struct IClass *MakeListClasses(); // List and Listview
struct IClass *MakeListtreeClass();
struct IClass *MakePopstringClasses(); // Popstring and Popobject
struct IClass *MakePopaslClass();
struct IClass *MakePenClasses(); // Pendisplay and Poppen
struct IClass *MakeBusyClass();
struct IClass *MakeHyperlinkClass();
struct IClass *MakeMccprefsClass();

struct IClass *GroupClass();
struct IClass *ListClass();
struct IClass *ListtreeClass();
struct IClass *PopstringClass();

// The rows of a list/listtree as shown (see platform::ListRows).
std::vector<std::vector<std::string>> ListRowsOf(Object *obj, bool *hasTitle);
std::vector<std::vector<std::string>> ListtreeRowsOf(Object *obj, bool *hasTitle);

// Shared by List and Listtree (listcommon.cpp).
bool IsStringHook(struct Hook *h); // the special "the list copies strings" hooks
APTR CopyString(APTR entry);       // malloc'd copy, freed with free
// How many array slots a display hook fills for this format.
size_t HookColumns(const std::vector<ListColumn> &format);
// Runs the display hook for one row (entry null: the title row; row: the
// row number the hook finds in array[-1]); without a hook the row is plain.
std::vector<std::string> HookRow(struct Hook *display, size_t columns, APTR entry, LONG row, CONST_STRPTR plain);
// MUIA_List_Format / MUIA_Listtree_Format: keeps the text and its columns.
void SetListFormat(std::string *&format, std::vector<ListColumn> &columns, CONST_STRPTR text);
// MUIA_List_Quiet / MUIA_Listtree_Quiet: true when leaving quiet mode with
// changes held back, which are then due.
bool SetListQuiet(bool &quiet, bool &dirty, IPTR value);
// The row a movement key (Up, Down, PageUp, PageDown, Top, Bottom) leads to
// from row active (-1: none) of rows, page rows at a time; false for the
// other keys. The caller clamps it.
bool KeyTargetRow(ListKey key, LONG active, LONG rows, LONG page, LONG &want);
// What the rows add to a list's frame.
constexpr ContentSize kListContentSize = {40, 200, kFreeSize, 3 * kFontHeight, 8 * kFontHeight, kFreeSize};
// The shown cells of a hook row: hidden columns left out, preparse put in.
std::vector<std::string> ShownColumns(const std::vector<ListColumn> &format, const std::vector<std::string> &hookRow);

// The list and tree sides of the platform's list functions (classes.h).
bool ListStateOf(Object *list, ListState &out);
std::vector<ListRowView> ListRangeOf(Object *list, LONG first, LONG count);
void ListShownOf(Object *list, LONG first, LONG visible);
bool ListActivateOf(Object *list, LONG row, uint32_t revision, bool doubleClick);
bool ListKeyOf(Object *list, ListKey key);
bool ListDropOf(Object *list, LONG from, LONG onto, DropPlace place, uint32_t revision);
bool TreeStateOf(Object *tree, ListState &out);
std::vector<ListRowView> TreeRangeOf(Object *tree, LONG first, LONG count);
void TreeShownOf(Object *tree, LONG first, LONG visible);
bool TreeActivateOf(Object *tree, LONG row, uint32_t revision, bool doubleClick);
bool TreeToggleOf(Object *tree, LONG row, uint32_t revision);
bool TreeKeyOf(Object *tree, ListKey key);
bool TreeDropOf(Object *tree, LONG from, LONG onto, DropPlace place, uint32_t revision);
bool IsList(Object *obj);
bool IsTree(Object *obj);

} // namespace platform::widgets
