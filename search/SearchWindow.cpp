// The Search Stations window: built once, kept (hidden when closed) until
// the plug-in's clean-up.
#include <cstdlib>
#include <cstring>

#include "search/Search.h"
#include "search/SearchCsv.h"
#include "gadgets/gadgets.h"
#include "reggae/reggae.h"
#include "search/SearchQuery.h"

ULONG SearchGeneration = 0;

namespace {

const char ListFormat[] = "BAR S,BAR S H,BAR S,BAR S,BAR S,BAR S,BAR H S,BAR H S";
CONST_STRPTR const Titles[SEARCH_COLUMNS] = {"Name", "Codec", "Bitrate", "Tags", "Country", "Language", "Url", "Icon"};

// A row is one block: the eight pointers, then the eight texts.
IPTR ConstructRow(struct Hook *, APTR, APTR msg) {
  auto *texts = static_cast<CONST_STRPTR *>(msg);
  if (!texts) return 0;
  size_t lens[SEARCH_COLUMNS], size = sizeof(STRPTR) * SEARCH_COLUMNS;
  for (LONG c = 0; c < SEARCH_COLUMNS; ++c) size += (lens[c] = texts[c] ? std::strlen(texts[c]) : 0) + 1;
  auto *row = static_cast<STRPTR *>(std::malloc(size));
  if (!row) return 0;
  char *at = reinterpret_cast<char *>(row + SEARCH_COLUMNS);
  for (LONG c = 0; c < SEARCH_COLUMNS; ++c) {
    row[c] = at;
    if (lens[c]) std::memcpy(at, texts[c], lens[c]);
    at[lens[c]] = 0;
    at += lens[c] + 1;
  }
  return reinterpret_cast<IPTR>(row);
}

IPTR DestructRow(struct Hook *, APTR, APTR msg) {
  std::free(msg);
  return 0;
}

IPTR DisplayRow(struct Hook *, APTR object, APTR msg) {
  auto *array = static_cast<CONST_STRPTR *>(object);
  auto *row = static_cast<STRPTR *>(msg);
  for (LONG c = 0; c < SEARCH_COLUMNS; ++c) array[c] = row ? row[c] : Titles[c];
  return 0;
}

struct Hook ConstructHook = {{nullptr, nullptr}, ConstructRow, nullptr, nullptr};
struct Hook DestructHook = {{nullptr, nullptr}, DestructRow, nullptr, nullptr};
struct Hook DisplayHook = {{nullptr, nullptr}, DisplayRow, nullptr, nullptr};

Object *Criterion(CONST_STRPTR label) {
  return MUI_NewObject(MUIC_String, MUIA_Frame, MUIV_Frame_String, MUIA_String_MaxLen, SEARCH_CRITERION_SIZE,
                       MUIA_CycleChain, 1, MUIA_ControlChar, ControlChar(label));
}

Object *HGroup(Object *a, Object *b) { return MUI_NewObject(MUIC_Group, MUIA_Group_Horiz, TRUE, Child, a, Child, b); }
Object *HGroup(Object *a, Object *b, Object *c) {
  return MUI_NewObject(MUIC_Group, MUIA_Group_Horiz, TRUE, Child, a, Child, b, Child, c);
}

Object *Build(Object *obj) {
  Object *name = Criterion("_Name:"), *tags = Criterion("_Tags:"), *country = Criterion("_Country:"),
         *languages = Criterion("_Languages:");
  Object *add = MakeButton("_Add"), *test = MakeButton("Test");
  Object *status = MUI_NewObject(MUIC_Text, MUIA_Frame, MUIV_Frame_Text, MUIA_Background, MUII_TextBack,
                                 MUIA_Text_PreParse, "\33c", MUIA_Text_Contents, "");
  Object *start = MakeButton("_Search...");
  Object *limitLabel = MakeLabel("Li_mit?", LABEL_BUTTONFRAME);
  Object *limitOn = MakeCheckmark(limitLabel, 0);
  Object *limit = SetCycleChain(MUI_MakeObject(MUIO_NumericButton, "Lim_it?", 1, 1000, "%lD"));
  Object *busy = MUI_NewObject(MUIC_Busy, MUIA_Busy_Speed, MUIV_Busy_Speed_Off);
  Object *abort = MakeButton("Abort...");
  Object *list = MUI_NewObject(MUIC_List, MUIA_Frame, MUIV_Frame_ReadList, MUIA_Background, MUII_ReadListBack,
                               MUIA_List_Title, TRUE, MUIA_List_Format, ListFormat, MUIA_List_ConstructHook,
                               &ConstructHook, MUIA_List_DestructHook, &DestructHook, MUIA_List_DisplayHook,
                               &DisplayHook, MUIA_CycleChain, 1);

  Object *limitRow = MUI_NewObject(MUIC_Group, MUIA_Group_Horiz, TRUE, MUIA_Weight, 0, Child, limitLabel, Child,
                                   limitOn, Child, limit);
  Object *criteria = MUI_NewObject(
      MUIC_Group, MUIA_Frame, MUIV_Frame_Group, MUIA_FrameTitle, "Search criteria", MUIA_Group_Columns, 2, Child,
      MakeLabel("_Name:", LABEL_STRINGFRAME), Child, name, Child, MakeLabel("_Tags:", LABEL_STRINGFRAME), Child, tags,
      Child, MakeLabel("_Country:", LABEL_STRINGFRAME), Child,
      HGroup(country, MakeLabel("_Languages:", LABEL_STRINGFRAME), languages));
  Object *pages = MUI_NewObject(MUIC_Group, MUIA_Group_PageMode, TRUE, Child, HGroup(start, limitRow), Child,
                                HGroup(busy, abort));
  Object *top = MUI_NewObject(MUIC_Group, Child, criteria, Child, HGroup(add, test, status), Child, pages);
  Object *bottom = MUI_NewObject(MUIC_Group, MUIA_Group_Horiz, TRUE, Child, list);
  Object *root = MUI_NewObject(MUIC_Group, Child, top, Child, bottom);
  Object *win = root ? MUI_NewObject(MUIC_Window, MUIA_Window_Title, "Melodune: Search Stations", MUIA_Window_ID,
                                     0x4D445353 /* MDSS */, MUIA_Window_Width, MUIV_Window_Width_Visible(40),
                                     MUIA_Window_Height, MUIV_Window_Height_Visible(50), WindowContents, root)
                     : nullptr;
  if (!win) {
    // A group that failed took its children with it.
    MUI_DisposeObject(root);
    return nullptr;
  }

  SetAttrs(start, MUIA_ShortHelp, "Search for radio stations with the specified criterias");
  SetAttrs(add, MUIA_ShortHelp, "Add the currently selected station to the EditStations window");
  SetAttrs(test, MUIA_ShortHelp, "Listen to the currently selected station");
  static const char limitHelp[] = "Set a limit for the search result, if not selected all found stations will be displayed!";
  for (Object *o : {limitRow, limitOn, limit}) SetAttrs(o, MUIA_ShortHelp, limitHelp);
  SetAttrs(name, MUIA_String_Placeholder, "Name of the station");
  SetAttrs(tags, MUIA_String_Placeholder, "Specify search tags, like pop, rock etc, split by comma");
  SetAttrs(country, MUIA_String_Placeholder, "Country of the station, first letter in uppercase");
  SetAttrs(languages, MUIA_String_Placeholder, "Languages of the station, split by comma, lowercase");

  DoMethod(start, MUIM_Notify, MUIA_Pressed, FALSE, obj, 1, MM_Melodune_GetStations);
  DoMethod(abort, MUIM_Notify, MUIA_Pressed, FALSE, obj, 1, MM_Melodune_ParseStations);
  DoMethod(add, MUIM_Notify, MUIA_Pressed, FALSE, obj, 1, MM_Melodune_AddFoundStation);
  DoMethod(test, MUIM_Notify, MUIA_Pressed, FALSE, obj, 1, MM_Melodune_TestFoundStation);
  DoMethod(name, MUIM_Notify, MUIA_String_Acknowledge, MUIV_EveryTime, win, 3, MUIM_Set, MUIA_Window_ActiveObject,
           start);
  DoMethod(win, MUIM_Notify, MUIA_Window_CloseRequest, TRUE, win, 3, MUIM_Set, MUIA_Window_Open, FALSE);
  DoMethod(limitOn, MUIM_Notify, MUIA_Selected, MUIV_EveryTime, limit, 3, MUIM_Set, MUIA_Disabled,
           MUIV_NotTriggerValue);
  // The label shows the checkmark's state too, or its first click would do nothing.
  SetAttrs(limitLabel, MUIA_NoNotify, TRUE, MUIA_Selected, TRUE);
  SetAttrs(limitOn, MUIA_NoNotify, TRUE, MUIA_Selected, TRUE);
  SetAttrs(limit, MUIA_NoNotify, TRUE, MUIA_Numeric_Default, 100, MUIA_Numeric_Value, 100);
  SetAttrs(win, MUIA_Window_DefaultObject, list);
  if (Object *app = _app(obj)) DoMethod(app, OM_ADDMEMBER, win);

  g.searchName = name;
  g.searchTags = tags;
  g.searchCountry = country;
  g.searchLanguages = languages;
  g.searchAdd = add;
  g.searchTest = test;
  g.searchStatus = status;
  g.searchStart = start;
  g.searchLimitOn = limitOn;
  g.searchLimit = limit;
  g.searchBusy = busy;
  g.searchAbort = abort;
  g.searchList = list;
  g.searchWin = win;
  return win;
}

} // namespace

Object *SearchPageGroup() {
  Object *start = g.searchStart.load();
  return start ? reinterpret_cast<Object *>(xget(reinterpret_cast<Object *>(xget(start, MUIA_Parent)), MUIA_Parent))
               : nullptr;
}

void ShowSearchPage(LONG page) {
  if (Object *busy = g.searchBusy.load()) SetAttrs(busy, MUIA_Busy_Speed, page ? MUIV_Busy_Speed_User : MUIV_Busy_Speed_Off);
  if (Object *pages = SearchPageGroup()) SetAttrs(pages, MUIA_Group_ActivePage, page);
}

void SetCriteriaDisabled(Object *obj, BOOL disabled) {
  Object *name = g.searchName.load(), *tags = g.searchTags.load(), *country = g.searchCountry.load(),
         *languages = g.searchLanguages.load();
  if (name && tags && country && languages)
    DoMethod(obj, MUIM_MultiSet, MUIA_Disabled, disabled, name, tags, country, languages, nullptr);
}

MELODUNE_HANDLER(Melodune_SearchWindow) {
  (void)cl, (void)msg;
  Object *win = g.searchWin.load();
  struct Screen *here = _screen(obj);
  if (win && xget(win, MUIA_Window_Open)) {
    // Open on another screen than the gadget: closed, so that it opens again here.
    auto *on = reinterpret_cast<struct Screen *>(xget(win, MUIA_Window_Screen));
    if (here && on && on != here) SetAttrs(win, MUIA_Window_Open, FALSE);
  }
  if (!win && !(win = Build(obj))) return 0;
  if (here && !xget(win, MUIA_Window_Open)) SetAttrs(win, MUIA_Window_Screen, here);
  SetAttrs(win, MUIA_Window_Open, TRUE);
  return 0;
}
