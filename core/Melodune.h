// Melodune.sbar: the global record g, the instance data, the own method IDs
// and the handful of helpers every subsystem of the plug-in uses.
//
// g is shared by the GUI task, the three workers, the ARexx process and the
// media framework's tasks. Object slots and flags are atomics (the busy-flag
// polling protocol stays as it is); texts that other tasks read are
// SharedText, so a reader never sees a buffer being freed. Atomics do not
// pass through the variadic DoMethod/PushMethod calls: write g.obj.load()
// (or a local copy) when a slot is a method argument.
#pragma once

#include <atomic>
#include <initializer_list>
#include <mutex>
#include <shared_mutex>
#include <string>

#include "exec/exec.h"
#include "mui/mui.h"

#define MELODUNE_NAME "Melodune.sbar"
#define MELODUNE_VERSION 3
#define MELODUNE_REVISION 5
#define MELODUNE_DATE "16.11.25"
#define MELODUNE_VERSTAG "$VER: Melodune.sbar 3.5 (16.11.25) (c) 2025 by the Melodune team"

// ---- own methods ------------------------------------------------------------------------------

// Each ID follows the one before unless given; the IDs left out are used by
// no method.
enum : IPTR {
  MM_Melodune_First = 0x80CA0001,
  MM_Melodune_MenuAction = MM_Melodune_First, // (choice)
  MM_Melodune_EditStations,
  MM_Melodune_LoadStations = 0x80CA0004,
  MM_Melodune_ApplyStations,
  MM_Melodune_SaveStations,
  MM_Melodune_TestStation = 0x80CA0008,
  MM_Melodune_AudioInfo = 0x80CA000A, // (station index)
  MM_Melodune_DeleteAudioInfo,
  MM_Melodune_StreamInfoWindow,
  MM_Melodune_UpdateStreamInfo,
  MM_Melodune_XUpdateMetaInfo,
  MM_Melodune_XRecord, // (quiet)
  MM_Melodune_Warning, // (format, v1..v6)
  MM_Melodune_CreateBubble, // (text) -> bubble
  MM_Melodune_DeleteBubble,
  MM_Melodune_XCheckRecStopped,
  MM_Melodune_Timer,
  MM_Melodune_UpdateCheck, // (mode: 0 menu, 1 automatic)
  MM_Melodune_Redraw,
  MM_Melodune_XCheckPlayStopped,
  MM_Melodune_XConnect, // (station index)
  MM_Melodune_XDisConnect, // (reconnect)
  MM_Melodune_UpdateGauge,
  MM_Melodune_TitleAction, // (menu item, source)
  // the station editor
  MM_Melodune_ShowStation, // (tree node or null)
  MM_Melodune_UpdateStation, // (tree node or null: the active one)
  MM_Melodune_AddStation, // (name, icon, stream) -> node
  MM_Melodune_NewGroup,
  MM_Melodune_CloneStation,
  MM_Melodune_MoveUp,
  MM_Melodune_MoveDown,
  MM_Melodune_RemoveNode = 0x80CA0026,
  MM_Melodune_DragDropSort, // (on)
  MM_Melodune_SearchWindow,
  MM_Melodune_GetStations,
  MM_Melodune_ParseStations,
  MM_Melodune_AddFoundStation,
  MM_Melodune_TestFoundStation,
  MM_Melodune_Last = MM_Melodune_TestFoundStation,
};

struct MP_Melodune_MenuAction { IPTR MethodID; IPTR choice; };
struct MP_Melodune_Index { IPTR MethodID; SIPTR index; };        // AudioInfo, XConnect
struct MP_Melodune_Flag { IPTR MethodID; IPTR flag; };           // XRecord, XDisConnect, UpdateCheck
struct MP_Melodune_Warning { IPTR MethodID; CONST_STRPTR format; IPTR values[6]; };
struct MP_Melodune_CreateBubble { IPTR MethodID; CONST_STRPTR text; };
struct MP_Melodune_TitleAction { IPTR MethodID; Object *item; Object *source; };

// OM_GET only: the address of g. The plug-in shows nothing but its library
// entry, so a test that drives the built plug-in asks its object for this.
enum : IPTR { MUIA_Melodune_Globals = 0x80CA1001 };

// Playback states (g.state).
enum : LONG { MELODUNE_STOPPED = 0, MELODUNE_PLAYING = 1, MELODUNE_RECORDING = 2 };

// Menu choices (user data of the menu items); stations follow from 7 on.
enum : IPTR {
  MENU_CLICK = 0,
  MENU_STOP = 1,
  MENU_MUTE = 2,
  MENU_RECORD = 3,
  MENU_EDIT = 4,
  MENU_STREAMINFO = 5,
  MENU_UPDATECHECK = 6,
  MENU_FIRSTSTATION = 7,
};

// Configuration items kept by the host.
enum : ULONG {
  CFG_RecordPath = 0x00CAC0C9,    // text, "RAM:"
  CFG_RecolorPlay = 0x00CA80CA,   // truth value, 1
  CFG_PlayPen = 0x00CAC0CB,       // pen spec, "r00ff00"
  CFG_RecolorRec = 0x00CA80CC,    // truth value, 1
  CFG_RecPen = 0x00CAC0CD,        // pen spec, "rff0000"
  CFG_ShowMetaTitle = 0x00CA80CE, // truth value, 1
  CFG_CheckUpdates = 0x00CA80D0,  // truth value, 1: the quiet update check a minute after start
};

// Names of the tasks other code looks for.
#define MELODUNE_HTTPSTREAM_TASK "Melodune HttpStream"

// ---- shared texts --------------------------------------------------------------------------------

// A heap text that several tasks read: every access is under its own lock,
// and readers get copies.
class SharedText {
public:
  // Inline, so that a test driving the built plug-in reads and sets the
  // plug-in's texts with its own copy of these few lines.
  void Set(CONST_STRPTR text) { // null clears
    std::lock_guard l(lock_);
    set_ = text != nullptr;
    text_ = text ? text : "";
  }
  void Clear() { Set(nullptr); }
  bool IsSet() const {
    std::lock_guard l(lock_);
    return set_;
  }
  std::string Get() const { // "" when not set
    std::lock_guard l(lock_);
    return text_;
  }
  bool Equals(CONST_STRPTR text) const;      // a null text equals "not set"
  size_t CopyTo(STRPTR buffer, size_t size) const; // NUL-terminated, cut to fit; returns the length copied

private:
  mutable std::mutex lock_;
  std::string text_;
  bool set_ = false;
};

// ---- the station list ----------------------------------------------------------------------------

struct StationEntry {
  char *name;   // full name with the group path
  char *icon;   // relative to the icon drawer, or absolute
  char *stream; // as the user typed it
};

// ---- the global record ---------------------------------------------------------------------------

struct Globals {
  std::atomic<Object *> obj{nullptr};  // the main instance
  std::atomic<LONG> setupCount{0};
  std::atomic<UWORD> newVersionAvailable{0};
  std::atomic<APTR> importReq{nullptr}; // ASL requester of the station import
  std::atomic<Object *> arexxProcess{nullptr};

  // Edit Stations window and its gadgets
  std::atomic<Object *> editWin{nullptr}, editLoad{nullptr}, editApply{nullptr}, editSave{nullptr},
      editSearch{nullptr}, editStatus{nullptr}, editTree{nullptr}, editGroup{nullptr}, editStation{nullptr},
      editClone{nullptr}, editRemove{nullptr}, editUp{nullptr}, editDown{nullptr}, editOpenAll{nullptr},
      editCloseAll{nullptr}, editDnDSort{nullptr}, editIcon{nullptr}, editName{nullptr}, editIconName{nullptr},
      editStream{nullptr}, editTest{nullptr};

  // Stream Info window and its gadgets
  std::atomic<Object *> streamInfoWin{nullptr}, siUpdate{nullptr}, siHeaderList{nullptr}, siGauge{nullptr},
      siStation{nullptr}, siTitle{nullptr}, siTitleList{nullptr}, siTitleMenu{nullptr}, siRecGroup{nullptr},
      siRecStation{nullptr}, siRecStarted{nullptr}, siRecSize{nullptr}, siRecFile{nullptr};

  // Search Stations window, its gadgets and its download pipeline
  std::atomic<Object *> searchWin{nullptr}, searchName{nullptr}, searchTags{nullptr}, searchCountry{nullptr},
      searchLanguages{nullptr}, searchAdd{nullptr}, searchTest{nullptr}, searchStatus{nullptr}, searchStart{nullptr},
      searchLimitOn{nullptr}, searchLimit{nullptr}, searchBusy{nullptr}, searchAbort{nullptr}, searchList{nullptr};
  std::atomic<Object *> searchHttp{nullptr}, searchBuffer{nullptr}, searchFile{nullptr};

  std::atomic<Object *> currObj{nullptr}; // bubbles, windows and redraws go here

  std::atomic<Object *> menustrip{nullptr}, menu{nullptr};
  std::atomic<Object *> itemStop{nullptr}, itemMute{nullptr}, itemRecord{nullptr}, itemEdit{nullptr},
      itemStreamInfo{nullptr};

  std::atomic<Object *> Out{nullptr}; // the playing chain's audio output

  // recording
  std::atomic<Object *> recStream{nullptr}, recBuffer{nullptr};
  std::atomic<Object *> recOut{nullptr};

  // The station list. Replaced only as a whole on the GUI task, under the
  // exclusive lock; other tasks read names and addresses under the shared
  // lock (and copy what they keep).
  std::atomic<StationEntry *> stations{nullptr};
  std::atomic<LONG> numStations{0};
  std::shared_mutex stationsLock;

  std::atomic<LONG> currStation{-1};
  std::atomic<LONG> recStation{-1};
  std::atomic<LONG> state{MELODUNE_STOPPED};

  // Timers: filled at the main instance's set-up, used on the GUI task.
  struct MUI_InputHandlerNode timerIhn{};
  struct MUI_InputHandlerNode gaugeIhn{};
  std::atomic<UWORD> timerAdded{0};

  SharedText title; // the current stream title, cleaned

  // recording names
  SharedText recFileName;
  SharedText recDate; // dd-mm-yy
  SharedText recTime; // hh:mm:ss

  std::atomic<Object *> slaveMetaInfo{nullptr}, slaveRec{nullptr}, slaveConnection{nullptr};
  std::atomic<UWORD> isInSlaveRec{0}, isInSlaveMetaInfo{0}, isInSlaveConnection{0}, isInStreamCleanup{0};
  std::atomic<BYTE> recSig{-1}; // signal of the Rec slave's task for the end of the recording

  std::atomic<APTR> bub{nullptr};
  std::atomic<Object *> BubbleObj{nullptr};

  // audio information of the current stream
  SharedText infoText;
  std::atomic<APTR> infoBubble{nullptr};
  std::atomic<Object *> infoBubbleObj{nullptr};
  std::atomic<LONG> bitrate{0}, samplerate{0}, channels{0};

  // Candidate stream addresses of the station being connected; the
  // connection worker's only.
  struct List urlList{};
};

extern Globals g;

// ---- instance data -------------------------------------------------------------------------------

// Allocated zeroed by the object system behind Area's data; GUI task only.
struct Data {
  UBYTE *image; // icon pixels, bytes A,R,G,B, rows top to bottom; FreeVec
  ULONG width;
  ULONG height;
  ULONG animDone;
  ULONG lastState;
  UWORD recolorPlay;
  UWORD recolorRec;
  LONG playPen;
  LONG recPen;
  UWORD showMetaTitle;
  ULONG nextRow;
  struct MUI_EventHandlerNode ehn;
  UWORD pressedNotify; // the click notification is installed (once per object)
};

// The class made at the library's first open.
extern struct MUI_CustomClass *MeloduneClass;

// ---- handlers --------------------------------------------------------------------------------------

// Every handler takes (class, object, message) and answers a 32-bit result.
// A subsystem adds its handler by defining the function with exactly this
// signature; the dispatcher table in Melodune_sbar.cpp lists them all.
#define MELODUNE_HANDLER(name) IPTR name(struct IClass *cl, Object *obj, Msg msg)

// core
MELODUNE_HANDLER(Melodune_NEW);
MELODUNE_HANDLER(Melodune_DISPOSE);
MELODUNE_HANDLER(Melodune_GET);
MELODUNE_HANDLER(Melodune_Setup);
MELODUNE_HANDLER(Melodune_Cleanup);
MELODUNE_HANDLER(Melodune_AskMinMax);
MELODUNE_HANDLER(Melodune_Draw);
MELODUNE_HANDLER(Melodune_HandleEvent);
MELODUNE_HANDLER(Melodune_DeleteShortHelp);
MELODUNE_HANDLER(Melodune_Warning);
MELODUNE_HANDLER(Melodune_Redraw);
MELODUNE_HANDLER(Melodune_UpdateCheck);
MELODUNE_HANDLER(Melodune_CreateBubble);
MELODUNE_HANDLER(Melodune_DeleteBubble);
MELODUNE_HANDLER(Melodune_PrefsPanel);
MELODUNE_HANDLER(Melodune_IsConfigItem);
MELODUNE_HANDLER(Melodune_ConfigDefault);
MELODUNE_HANDLER(Melodune_ConfigItemChanged);

// playback
MELODUNE_HANDLER(Melodune_MenuAction);
MELODUNE_HANDLER(Melodune_AudioInfo);
MELODUNE_HANDLER(Melodune_DeleteAudioInfo);
MELODUNE_HANDLER(Melodune_XUpdateMetaInfo);
MELODUNE_HANDLER(Melodune_Timer);
MELODUNE_HANDLER(Melodune_XCheckPlayStopped);
MELODUNE_HANDLER(Melodune_XConnect);
MELODUNE_HANDLER(Melodune_XDisConnect);
MELODUNE_HANDLER(Melodune_UpdateGauge);
// recording
MELODUNE_HANDLER(Melodune_XRecord);
MELODUNE_HANDLER(Melodune_XCheckRecStopped);
// station list
MELODUNE_HANDLER(Melodune_LoadStations);
MELODUNE_HANDLER(Melodune_ApplyStations);
MELODUNE_HANDLER(Melodune_SaveStations);
MELODUNE_HANDLER(Melodune_TestStation);
MELODUNE_HANDLER(Melodune_TestFoundStation);
// stream info
MELODUNE_HANDLER(Melodune_StreamInfoWindow);
MELODUNE_HANDLER(Melodune_UpdateStreamInfo);
MELODUNE_HANDLER(Melodune_TitleAction);
MELODUNE_HANDLER(Melodune_CreateShortHelp); // MUIM_CreateShortHelp: an AllocVec text, freed by DeleteShortHelp
// station editor
MELODUNE_HANDLER(Melodune_EditStations);
MELODUNE_HANDLER(Melodune_ShowStation);
MELODUNE_HANDLER(Melodune_UpdateStation);
MELODUNE_HANDLER(Melodune_AddStation);
MELODUNE_HANDLER(Melodune_NewGroup);
MELODUNE_HANDLER(Melodune_CloneStation);
MELODUNE_HANDLER(Melodune_MoveUp);
MELODUNE_HANDLER(Melodune_MoveDown);
MELODUNE_HANDLER(Melodune_RemoveNode);
MELODUNE_HANDLER(Melodune_DragDropSort);
// search
MELODUNE_HANDLER(Melodune_SearchWindow);
MELODUNE_HANDLER(Melodune_GetStations);
MELODUNE_HANDLER(Melodune_ParseStations);
MELODUNE_HANDLER(Melodune_AddFoundStation);
// ARexx port process: MUIM_Process_Process
MELODUNE_HANDLER(Melodune_Process_Process);

// Routines of other subsystems that the set-up and clean-up call.
void FreeStationList();  // station list
void ClearStationMenu(); // station menu items
void AbortConnects();    // playback: every connect sent so far gives up
bool ConnectRunning();   // playback: the connection worker is in a connect

// ---- debug trace ---------------------------------------------------------------------------------

// True while "Env:MeloduneQMD" exists (looked up at most once a second).
bool MeloduneDebugOn();
// Writes "[line] Melodune_sbar/function(): " and the formatted text to the
// debug log. The system formatting ("%ld", "%s", ...), values as IPTR.
void MeloduneLogA(LONG line, CONST_STRPTR function, CONST_STRPTR format, const IPTR *values);
template <typename... A> void MeloduneLog(LONG line, CONST_STRPTR function, CONST_STRPTR format, A... values) {
  const IPTR v[] = {ToIPTR(values)..., 0};
  MeloduneLogA(line, function, format, v);
}
// The trace: only with the debug switch on.
#define DTRACE(fn, ...)                                                                                      \
  do {                                                                                                       \
    if (MeloduneDebugOn()) MeloduneLog(__LINE__, fn, __VA_ARGS__);                                           \
  } while (0)
// Unconditional lines with the same prefix.
#define DLOG(fn, ...) MeloduneLog(__LINE__, fn, __VA_ARGS__)

// ---- small helpers -------------------------------------------------------------------------------

// format filled in with values (the system formatting, as VSNPrintf), cut to
// fit a buffer of size bytes with its NUL; size 0: not cut.
std::string FormatValues(CONST_STRPTR format, std::initializer_list<IPTR> values, size_t size = 0);

// Removes the bubbles obj owns and clears g's pointers to it (its disposal).
void ForgetBubblesOf(Object *obj);

// Push a method to the GUI task on obj's application: (obj, delay ms, method, args...).
template <typename... A> IPTR MeloPush(Object *obj, ULONG delayMs, IPTR method, A... args) {
  Object *app = obj ? _app(obj) : nullptr;
  if (!app) return 0;
  return DoMethod(app, MUIM_Application_PushMethod, obj,
                  static_cast<IPTR>(1 + sizeof...(A)) | (delayMs ? MUIV_PushMethod_Delay(delayMs) : 0), method,
                  args...);
}
