// The Stream Info window 'MDSI': what the station sends (its response
// headers), the state with the buffer fill, the station's format, the title
// with the history of titles heard, and the recording while one runs.
// Built on the first "Stream Info..." and kept, closed, until clean-up.
#include "streaminfo/StreamInfo.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "dos/dos.h"
#include "exec/text.h"
#include "gadgets/gadgets.h"
#include "playback/Playback.h"
#include "recording/Recording.h"
#include "reggae/reggae.h"
#include "stations/Stations.h"

namespace {

constexpr ULONG StreamInfoWindowID = (ULONG('M') << 24) | (ULONG('D') << 16) | (ULONG('S') << 8) | ULONG('I');

const char StationFormat[] = "%s, Bitrate: %ld kps, Samplerate: %lD Hz, %ld Channels";

STRPTR NewText(const std::string &text) {
  auto *copy = static_cast<STRPTR>(AllocVec(static_cast<ULONG>(text.size() + 1), MEMF_ANY));
  if (copy) std::memcpy(copy, text.c_str(), text.size() + 1);
  return copy;
}

// ---- the header list: one block "name\0value\0" per entry ----------------------------------------

struct HeaderPair {
  CONST_STRPTR name;
  CONST_STRPTR value;
};

IPTR ConstructHeader(struct Hook *, APTR, APTR message) {
  auto *pair = static_cast<const HeaderPair *>(message);
  if (!pair || !pair->name) return 0;
  const size_t n = std::strlen(pair->name), v = pair->value ? std::strlen(pair->value) : 0;
  auto *entry = static_cast<STRPTR>(AllocVec(static_cast<ULONG>(n + v + 2), MEMF_ANY));
  if (!entry) return 0;
  std::memcpy(entry, pair->name, n + 1);
  if (v) std::memcpy(entry + n + 1, pair->value, v);
  entry[n + 1 + v] = 0;
  return reinterpret_cast<IPTR>(entry);
}

IPTR FreeEntry(struct Hook *, APTR, APTR entry) {
  FreeVec(entry);
  return 0;
}

IPTR DisplayHeader(struct Hook *, APTR array, APTR entry) {
  auto **columns = static_cast<STRPTR *>(array);
  if (!entry) {
    columns[0] = const_cast<STRPTR>("Attr");
    columns[1] = const_cast<STRPTR>("Value");
  } else {
    auto *name = static_cast<STRPTR>(entry);
    columns[0] = name;
    columns[1] = name + std::strlen(name) + 1;
  }
  return 0;
}

// ---- the title history: "station: title", made when the title field changes ---------------------

IPTR ConstructTitle(struct Hook *, APTR, APTR message) {
  auto title = static_cast<CONST_STRPTR>(message);
  const LONG station = g.currStation.load();
  std::string name;
  if (!title || !*title || station < 0 || !GetStation(station, &name, nullptr, nullptr)) return 0;
  return reinterpret_cast<IPTR>(NewText(name + ": " + title));
}

struct Hook HeaderConstructHook = {{nullptr, nullptr}, ConstructHeader, nullptr, nullptr};
struct Hook HeaderDestructHook = {{nullptr, nullptr}, FreeEntry, nullptr, nullptr};
struct Hook HeaderDisplayHook = {{nullptr, nullptr}, DisplayHeader, nullptr, nullptr};
struct Hook TitleConstructHook = {{nullptr, nullptr}, ConstructTitle, nullptr, nullptr};
struct Hook TitleDestructHook = {{nullptr, nullptr}, FreeEntry, nullptr, nullptr};

// ---- building ----------------------------------------------------------------------------------

Object *TextField() {
  return MUI_NewObject(MUIC_Text, MUIA_Frame, MUIV_Frame_Text, MUIA_Background, MUII_TextBack, MUIA_Text_Marking, TRUE);
}

Object *Label(CONST_STRPTR text) { return MUI_MakeObject(MUIO_Label, text, 0); }

Object *FramedGroup(CONST_STRPTR title) {
  return MUI_NewObject(MUIC_Group, MUIA_Frame, MUIV_Frame_Group, MUIA_FrameTitle, title, MUIA_Background,
                       MUII_GroupBack, TAG_DONE);
}

Object *MenuItem(CONST_STRPTR title, IPTR userData) {
  return MUI_NewObject(MUIC_Menuitem, MUIA_Menuitem_Title, title, MUIA_UserData, userData);
}

void BuildWindow(Object *obj) {
  Object *app = _app(obj);
  if (!app) return;
  Object *update = nullptr, *headers = nullptr, *gauge = nullptr, *station = nullptr, *title = nullptr,
         *titleList = nullptr, *titleMenu = nullptr, *searchItem = nullptr, *recGroup = nullptr, *recStation = nullptr,
         *recStarted = nullptr, *recSize = nullptr, *recFile = nullptr;

  titleMenu = MUI_NewObject(MUIC_Menustrip, MUIA_Family_Child,
                            MUI_NewObject(MUIC_Menu, MUIA_Menu_Title, "Title", MUIA_Family_Child,
                                          searchItem = MenuItem("Search on YouTube...", 1), MUIA_Family_Child,
                                          MenuItem("Copy to clipboard", 2), MUIA_Family_Child,
                                          MUI_NewObject(MUIC_Menuitem, MUIA_Menuitem_Title, NM_BARLABEL),
                                          MUIA_Family_Child, MenuItem("Clear list", 3)));
  if (!titleMenu) return;

  Object *headerGroup = FramedGroup("HTTP-Header");
  Object *listening = FramedGroup("Listening");
  recGroup = FramedGroup("Recording");
  if (headerGroup) SetAttrs(headerGroup, MUIA_VertDisappear, 1);
  if (listening) SetAttrs(listening, MUIA_Group_Columns, 2);
  if (recGroup) SetAttrs(recGroup, MUIA_Group_Columns, 2);

  headers = MUI_NewObject(MUIC_List, MUIA_Frame, MUIV_Frame_ReadList, MUIA_Background, MUII_ReadListBack,
                          MUIA_List_Format, "BAR,BAR", MUIA_List_Title, TRUE, MUIA_List_ConstructHook,
                          &HeaderConstructHook, MUIA_List_DestructHook, &HeaderDestructHook, MUIA_List_DisplayHook,
                          &HeaderDisplayHook, MUIA_CycleChain, 1);
  gauge = MUI_NewObject(MUIC_Gauge, MUIA_Gauge_Horiz, TRUE, MUIA_Gauge_InfoText, "", MUIA_Frame, MUIV_Frame_Gauge);
  station = TextField();
  title = MUI_NewObject(MUIC_Text, MUIA_Frame, MUIV_Frame_Text, MUIA_Background, MUII_TextBack, MUIA_Text_Marking, TRUE,
                        MUIA_ShortHelp, "Click me to search for the current title on YouTube", MUIA_InputMode,
                        MUIV_InputMode_RelVerify);
  titleList =
      MUI_NewObject(MUIC_List, MUIA_Frame, MUIV_Frame_ReadList, MUIA_Background, MUII_ReadListBack, MUIA_List_Format,
                    "BAR", MUIA_List_Title, "Title", MUIA_List_ConstructHook, &TitleConstructHook,
                    MUIA_List_DestructHook, &TitleDestructHook, MUIA_ContextMenu, titleMenu, MUIA_CycleChain, 1);
  recStation = TextField();
  recStarted = TextField();
  recSize = TextField();
  recFile = TextField();
  update = MakeButton("_Update");
  if (update) SetAttrs(update, MUIA_VertDisappear, 2);

  Object *popup = MUI_NewObject(MUIC_Popobject, MUIA_Popstring_String, title, MUIA_Popstring_Button,
                                MUI_MakeObject(MUIO_PopButton, MUII_PopUp), MUIA_Popobject_Object, titleList);
  Object *stateColumn =
      MUI_NewObject(MUIC_Group, Child, gauge, Child, MUI_NewObject(MUIC_Scale, MUIA_Scale_Horiz, TRUE));
  Object *recRow = MUI_NewObject(MUIC_Group, MUIA_Group_Horiz, TRUE, Child, recStation, Child, Label("Started:"), Child,
                                 recStarted, Child, Label("Filesize:"), Child, recSize);
  Object *win = nullptr;
  if (headerGroup && listening && recGroup && headers && gauge && station && title && titleList && recStation &&
      recStarted && recSize && recFile && update && popup && stateColumn && recRow) {
    DoMethod(headerGroup, OM_ADDMEMBER, headers);
    for (Object *o : {Label("State:\n"), stateColumn, Label("Station:"), station, Label("Title:"), popup})
      DoMethod(listening, OM_ADDMEMBER, o);
    for (Object *o : {Label("Station:"), recRow, Label("Filename:"), recFile})
      DoMethod(recGroup, OM_ADDMEMBER, o);
    SetAttrs(recGroup, MUIA_ShowMe, FALSE);
    win = MUI_NewObject(
        MUIC_Window, MUIA_Window_Title, "Melodune: Stream Info", MUIA_Window_ID, StreamInfoWindowID, WindowContents,
        MUI_NewObject(MUIC_Group, Child, update, Child, headerGroup, Child, listening, Child, recGroup));
  }
  if (!win) {
    // Whatever was made goes again; a popup takes its parts with it.
    for (Object *o : {headerGroup, listening, recGroup, popup, stateColumn, recRow, update, recFile})
      MUI_DisposeObject(o);
    if (!popup) {
      MUI_DisposeObject(title);
      MUI_DisposeObject(titleList);
    }
    if (!stateColumn) MUI_DisposeObject(gauge);
    if (!recRow) {
      MUI_DisposeObject(recStation);
      MUI_DisposeObject(recStarted);
      MUI_DisposeObject(recSize);
    }
    if (!headerGroup) MUI_DisposeObject(headers);
    MUI_DisposeObject(station);
    MUI_DisposeObject(titleMenu);
    return;
  }

  DoMethod(win, MUIM_Notify, MUIA_Window_CloseRequest, TRUE, win, 3, MUIM_Set, MUIA_Window_Open, FALSE);
  DoMethod(update, MUIM_Notify, MUIA_Pressed, FALSE, obj, 1, MM_Melodune_UpdateStreamInfo);
  DoMethod(title, MUIM_Notify, MUIA_Pressed, FALSE, obj, 3, MM_Melodune_TitleAction, searchItem, title);
  DoMethod(title, MUIM_Notify, MUIA_Text_Contents, MUIV_EveryTime, titleList, 3, MUIM_List_InsertSingle,
           MUIV_TriggerValue, MUIV_List_Insert_Bottom);
  DoMethod(titleList, MUIM_Notify, MUIA_ContextMenuTrigger, MUIV_EveryTime, obj, 3, MM_Melodune_TitleAction,
           MUIV_TriggerValue, titleList);
  SetAttrs(win, MUIA_Window_DefaultObject, headers);
  // The gauge moves only while someone can see it.
  DoMethod(win, MUIM_Notify, MUIA_Window_Open, TRUE, MUIV_Notify_Application, 2, MUIM_Application_AddInputHandler,
           &g.gaugeIhn);
  DoMethod(win, MUIM_Notify, MUIA_Window_Open, FALSE, MUIV_Notify_Application, 2, MUIM_Application_RemInputHandler,
           &g.gaugeIhn);
  DoMethod(app, OM_ADDMEMBER, win);

  g.siUpdate = update;
  g.siHeaderList = headers;
  g.siGauge = gauge;
  g.siStation = station;
  g.siTitle = title;
  g.siTitleList = titleList;
  g.siTitleMenu = titleMenu;
  g.siRecGroup = recGroup;
  g.siRecStation = recStation;
  g.siRecStarted = recStarted;
  g.siRecSize = recSize;
  g.siRecFile = recFile;
  g.streamInfoWin = win;
}

// The play chain's response headers, copied while the chain cannot go.
bool CopyHeaders(std::vector<std::pair<std::string, std::string>> &pairs) {
  auto lock = LockPlayChain();
  Object *http = GetHttpObj();
  if (!http) return false;
  auto list = reinterpret_cast<CONST_STRPTR *>(DoMethod(http, MMM_Http_HeaderList));
  if (!list) return false;
  for (size_t i = 0; list[i] && list[i + 1]; i += 2)
    pairs.emplace_back(list[i], list[i + 1]);
  return true;
}

void SetText(Object *o, CONST_STRPTR text) {
  if (o) SetAttrs(o, MUIA_Text_Contents, text);
}

// Changes a text inside its group: the group lays out again once.
void SetTextInGroup(Object *o, CONST_STRPTR text) {
  if (!o) return;
  Object *parent = _parent(o);
  if (parent) DoMethod(parent, MUIM_Group_InitChange);
  SetText(o, text);
  if (parent) DoMethod(parent, MUIM_Group_ExitChange);
}

} // namespace

std::string StationMenuTitle(LONG index) {
  Object *strip = g.menustrip.load();
  if (!strip || index < 0) return "";
  auto item = reinterpret_cast<Object *>(DoMethod(strip, MUIM_FindUData, static_cast<IPTR>(index) + MENU_FIRSTSTATION));
  auto title = item ? reinterpret_cast<CONST_STRPTR>(xget(item, MUIA_Menuitem_Title)) : nullptr;
  return title ? title : "";
}

std::string StreamInfoStationName(LONG index) {
  if (index == -1) return "---";
  if (index == g.numStations.load()) {
    std::string name;
    GetStation(index, &name, nullptr, nullptr);
    return name;
  }
  return StationMenuTitle(index);
}

MELODUNE_HANDLER(Melodune_StreamInfoWindow) {
  (void)cl, (void)msg;
  Object *win = g.streamInfoWin.load();
  struct Screen *screen = _screen(obj);
  // The bar moved to another screen: the window follows it.
  if (win && xget(win, MUIA_Window_Open)) {
    auto shownOn = reinterpret_cast<struct Screen *>(xget(win, MUIA_Window_Screen));
    if (shownOn && screen && shownOn != screen) SetAttrs(win, MUIA_Window_Open, FALSE);
  }
  if (!win) {
    BuildWindow(obj);
    win = g.streamInfoWin.load();
  }
  if (!win) return 0;
  SetAttrs(g.siRecGroup.load(), MUIA_ShowMe, g.recOut.load() ? TRUE : FALSE);
  if (!xget(win, MUIA_Window_Open) && screen) SetAttrs(win, MUIA_Window_Screen, screen);
  SetAttrs(win, MUIA_Window_Open, TRUE);
  DoMethod(obj, MM_Melodune_UpdateStreamInfo);
  return 0;
}

MELODUNE_HANDLER(Melodune_UpdateStreamInfo) {
  (void)cl, (void)obj, (void)msg;
  Object *win = g.streamInfoWin.load();
  if (!win || !xget(win, MUIA_Window_Open)) return 0;
  SetAttrs(win, MUIA_Window_Sleep, TRUE);

  if (Object *list = g.siHeaderList.load()) {
    DoMethod(list, MUIM_List_Clear);
    std::vector<std::pair<std::string, std::string>> pairs;
    if (CopyHeaders(pairs)) {
      // By name; headers of the same name keep the order they came in.
      std::stable_sort(pairs.begin(), pairs.end(), [](const auto &a, const auto &b) {
        return platform::CompareNoCaseLatin1(a.first, b.first) < 0;
      });
      SetAttrs(list, MUIA_List_Quiet, TRUE);
      for (const auto &[name, value] : pairs) {
        HeaderPair pair{name.c_str(), value.c_str()};
        DoMethod(list, MUIM_List_InsertSingle, &pair, MUIV_List_Insert_Bottom);
      }
      SetAttrs(list, MUIA_List_Quiet, FALSE);
    }
  }

  const LONG state = g.state.load();
  if (state == MELODUNE_STOPPED) {
    SetAttrs(g.siGauge.load(), MUIA_Gauge_Current, 0);
    SetText(g.siTitle.load(), "");
    SetText(g.siStation.load(), "");
  } else {
    const std::string name = StreamInfoStationName(g.currStation.load());
    const std::string line = FormatValues(StationFormat, {reinterpret_cast<IPTR>(name.c_str()), ToIPTR(g.bitrate.load()),
                                                    ToIPTR(g.samplerate.load()), ToIPTR(g.channels.load())});
    SetTextInGroup(g.siStation.load(), line.c_str());
    if (Object *title = g.siTitle.load()) {
      auto shown = reinterpret_cast<CONST_STRPTR>(xget(title, MUIA_Text_Contents));
      const bool set = g.title.IsSet();
      // A new text feeds the history; the same one again must not.
      if (!shown || !set || !g.title.Equals(shown)) {
        const std::string current = g.title.Get();
        SetText(title, set ? current.c_str() : nullptr);
      }
    }
  }

  CONST_STRPTR info = state == MELODUNE_STOPPED     ? "Stoped!"
                      : state == MELODUNE_PLAYING   ? "Playing..."
                      : state == MELODUNE_RECORDING ? "Recording..."
                                                    : "Unknown";
  SetAttrs(g.siGauge.load(), MUIA_Gauge_InfoText, info);

  const bool recording = g.recOut.load() != nullptr;
  SetAttrs(g.siRecGroup.load(), MUIA_ShowMe, recording ? TRUE : FALSE);
  if (recording) {
    const std::string date = g.recDate.Get(), time = g.recTime.Get(), file = g.recFileName.Get();
    const std::string started = date + " " + time;
    const std::string size = FormatValues("%LD bytes", {static_cast<IPTR>(Filesize64(file.c_str(), 1))});
    SetText(g.siRecStarted.load(), started.c_str());
    SetText(g.siRecSize.load(), size.c_str());
    SetTextInGroup(g.siRecStation.load(), StreamInfoStationName(g.recStation.load()).c_str());
    SetText(g.siRecFile.load(), file.c_str());
  } else {
    for (Object *o : {g.siRecStarted.load(), g.siRecSize.load(), g.siRecStation.load(), g.siRecFile.load()})
      SetText(o, "");
  }

  SetAttrs(win, MUIA_Window_Sleep, FALSE);
  return 0;
}
