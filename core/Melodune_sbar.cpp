// Melodune.sbar: the library, the class and its dispatcher, the global
// record, and the small methods that belong to no subsystem.
#include <algorithm>
#include <cstring>
#include <vector>

#include "Melodune.h"
#include "dos/dos.h"
#include "host/screenbar.h"
#include "mui/screen.h"

Globals g;
struct MUI_CustomClass *MeloduneClass = nullptr;

// ---- shared texts --------------------------------------------------------------------------------

bool SharedText::Equals(CONST_STRPTR text) const {
  std::lock_guard l(lock_);
  if (!text || !set_) return !text && !set_;
  return text_ == text;
}

size_t SharedText::CopyTo(STRPTR buffer, size_t size) const {
  if (!buffer || !size) return 0;
  std::lock_guard l(lock_);
  size_t n = std::min(text_.size(), size - 1);
  std::memcpy(buffer, text_.data(), n);
  buffer[n] = 0;
  return n;
}

std::string FormatValues(CONST_STRPTR format, std::initializer_list<IPTR> values, size_t size) {
  // Zeros after the values, for a format that asks for more than it is given.
  std::vector<IPTR> v(values);
  v.resize(std::max<size_t>(v.size() + 1, 8), 0);
  std::string text = FormatString(format, v.data());
  if (!size) return text;
  if (text.size() > size - 1) text.resize(size - 1);
  return text.c_str(); // up to the first NUL, as from a buffer
}

// ---- debug trace ---------------------------------------------------------------------------------

bool MeloduneDebugOn() {
  // The switch is the existence of the path; its contents do not matter.
  BPTR lock = Lock("Env:MeloduneQMD", ACCESS_READ);
  if (!lock) return false;
  UnLock(lock);
  return true;
}

void MeloduneLogA(LONG line, CONST_STRPTR function, CONST_STRPTR format, const IPTR *values) {
  char text[1024];
  const IPTR prefix[] = {static_cast<IPTR>(static_cast<SIPTR>(line)), reinterpret_cast<IPTR>("Melodune_sbar"),
                         reinterpret_cast<IPTR>(function ? function : "?")};
  LONG n = VSNPrintf(text, sizeof(text), "[%04ld] %s/%s(): ", prefix);
  if (n < 0) n = 0;
  if (n < static_cast<LONG>(sizeof(text)) - 1) VSNPrintf(text + n, sizeof(text) - n, format, values);
  KPutStr(text);
}

// ---- the dispatcher ----------------------------------------------------------------------------

namespace {

// Own methods by ID - MM_Melodune_First; null: an ID no method uses, the superclass answers.
DISPATCHERFUNC s_ownMethods[MM_Melodune_Last - MM_Melodune_First + 1];

void FillOwnMethods() {
  auto set = [](IPTR id, DISPATCHERFUNC h) { s_ownMethods[id - MM_Melodune_First] = h; };
  set(MM_Melodune_MenuAction, Melodune_MenuAction);
  set(MM_Melodune_EditStations, Melodune_EditStations);
  set(MM_Melodune_LoadStations, Melodune_LoadStations);
  set(MM_Melodune_ApplyStations, Melodune_ApplyStations);
  set(MM_Melodune_SaveStations, Melodune_SaveStations);
  set(MM_Melodune_TestStation, Melodune_TestStation);
  set(MM_Melodune_AudioInfo, Melodune_AudioInfo);
  set(MM_Melodune_DeleteAudioInfo, Melodune_DeleteAudioInfo);
  set(MM_Melodune_StreamInfoWindow, Melodune_StreamInfoWindow);
  set(MM_Melodune_UpdateStreamInfo, Melodune_UpdateStreamInfo);
  set(MM_Melodune_XUpdateMetaInfo, Melodune_XUpdateMetaInfo);
  set(MM_Melodune_XRecord, Melodune_XRecord);
  set(MM_Melodune_Warning, Melodune_Warning);
  set(MM_Melodune_CreateBubble, Melodune_CreateBubble);
  set(MM_Melodune_DeleteBubble, Melodune_DeleteBubble);
  set(MM_Melodune_XCheckRecStopped, Melodune_XCheckRecStopped);
  set(MM_Melodune_Timer, Melodune_Timer);
  set(MM_Melodune_UpdateCheck, Melodune_UpdateCheck);
  set(MM_Melodune_Redraw, Melodune_Redraw);
  set(MM_Melodune_XCheckPlayStopped, Melodune_XCheckPlayStopped);
  set(MM_Melodune_XConnect, Melodune_XConnect);
  set(MM_Melodune_XDisConnect, Melodune_XDisConnect);
  set(MM_Melodune_UpdateGauge, Melodune_UpdateGauge);
  set(MM_Melodune_TitleAction, Melodune_TitleAction);
  set(MM_Melodune_ShowStation, Melodune_ShowStation);
  set(MM_Melodune_UpdateStation, Melodune_UpdateStation);
  set(MM_Melodune_AddStation, Melodune_AddStation);
  set(MM_Melodune_NewGroup, Melodune_NewGroup);
  set(MM_Melodune_CloneStation, Melodune_CloneStation);
  set(MM_Melodune_MoveUp, Melodune_MoveUp);
  set(MM_Melodune_MoveDown, Melodune_MoveDown);
  set(MM_Melodune_RemoveNode, Melodune_RemoveNode);
  set(MM_Melodune_DragDropSort, Melodune_DragDropSort);
  set(MM_Melodune_SearchWindow, Melodune_SearchWindow);
  set(MM_Melodune_GetStations, Melodune_GetStations);
  set(MM_Melodune_ParseStations, Melodune_ParseStations);
  set(MM_Melodune_AddFoundStation, Melodune_AddFoundStation);
  set(MM_Melodune_TestFoundStation, Melodune_TestFoundStation);
}

DISPATCHERFUNC SystemMethod(IPTR id) {
  switch (id) {
  case OM_NEW: return Melodune_NEW;
  case OM_DISPOSE: return Melodune_DISPOSE;
  case OM_GET: return Melodune_GET;
  case MUIM_Setup: return Melodune_Setup;
  case MUIM_Cleanup: return Melodune_Cleanup;
  case MUIM_AskMinMax: return Melodune_AskMinMax;
  case MUIM_Draw: return Melodune_Draw;
  case MUIM_HandleEvent: return Melodune_HandleEvent;
  case MUIM_CreateShortHelp: return Melodune_CreateShortHelp;
  case MUIM_DeleteShortHelp: return Melodune_DeleteShortHelp;
  case MUIM_Process_Process: return Melodune_Process_Process;
  case MUIM_Screenbar_PrefsPanel: return Melodune_PrefsPanel;
  case MUIM_Screenbar_IsConfigItem: return Melodune_IsConfigItem;
  case MUIM_Screenbar_ConfigDefault: return Melodune_ConfigDefault;
  case MUIM_ConfigItemChanged: return Melodune_ConfigItemChanged;
  }
  return nullptr;
}

IPTR Dispatcher(struct IClass *cl, Object *obj, Msg msg) {
  const IPTR id = msg->MethodID;
  DISPATCHERFUNC handler = nullptr;
  if (id >= MM_Melodune_First && id <= MM_Melodune_Last)
    handler = s_ownMethods[id - MM_Melodune_First];
  else
    handler = SystemMethod(id);
  return handler ? handler(cl, obj, msg) : DoSuperMethodA(cl, obj, msg);
}

} // namespace

// ---- object creation and disposal --------------------------------------------------------------

MELODUNE_HANDLER(Melodune_NEW) {
  auto *ops = reinterpret_cast<opSet *>(msg);
  // RelVerify: a left click sets MUIA_Pressed; ShortHelp TRUE: the tooltip
  // methods are asked.
  struct TagItem tags[] = {{MUIA_InputMode, MUIV_InputMode_RelVerify},
                           {MUIA_ShortHelp, TRUE},
                           {TAG_MORE, reinterpret_cast<IPTR>(ops->ops_AttrList)}};
  if (!ops->ops_AttrList) tags[2].ti_Tag = TAG_DONE;
  opSet m{OM_NEW, tags, ops->ops_GInfo};
  auto *o = reinterpret_cast<Object *>(DoSuperMethodA(cl, obj, reinterpret_cast<Msg>(&m)));
  if (!o) {
    DLOG("Melodune_NEW", "obj = NULL!\n");
    return 0;
  }
  Data *data = static_cast<Data *>(INST_DATA(cl, o));
  data->playPen = -1;
  data->recPen = -1;
  return reinterpret_cast<IPTR>(o);
}

MELODUNE_HANDLER(Melodune_DISPOSE) {
  Object *self = obj;
  g.obj.compare_exchange_strong(self, nullptr);
  // Bubbles, windows and requesters must not be aimed at a dead object.
  self = obj;
  g.currObj.compare_exchange_strong(self, g.obj.load());
  // Its bubbles go with it, and nothing keeps pointing at it.
  ForgetBubblesOf(obj);
  return DoSuperMethodA(cl, obj, msg);
}

// ---- right mouse button ------------------------------------------------------------------------------

MELODUNE_HANDLER(Melodune_HandleEvent) {
  (void)cl;
  auto *m = reinterpret_cast<MUIP_HandleEvent *>(msg);
  struct IntuiMessage *im = m->imsg;
  if (!im || im->Class != IDCMP_MOUSEBUTTONS || im->Code != IECODE_RBUTTON) return 0;
  const LONG x = im->MouseX, y = im->MouseY;
  if (!(x >= _left(obj) && x < _left(obj) + _width(obj) && y >= _top(obj) && y < _top(obj) + _height(obj))) return 0;
  if (g.Out.load()) {
    MeloPush(obj, 0, MM_Melodune_MenuAction, MENU_MUTE); // mute toggles
    MeloPush(obj, 0, MM_Melodune_Redraw);
  } else {
    // A connection being set up: its stream task gives up on CTRL-C.
    Forbid();
    if (struct Task *t = FindTask(MELODUNE_HTTPSTREAM_TASK)) Signal(t, SIGBREAKF_CTRL_C);
    Permit();
  }
  return MUI_EventHandlerRC_Eat;
}

// ---- warning requester, redraw, update check, tooltip --------------------------------------------------

MELODUNE_HANDLER(Melodune_Warning) {
  (void)cl;
  auto *m = reinterpret_cast<MP_Melodune_Warning *>(msg);
  Object *ref = g.currObj.load();
  ULONG flags = 0;
  if (struct Screen *scr = ref ? _screen(ref) : nullptr) {
    WORD mx = __atomic_load_n(&scr->MouseX, __ATOMIC_RELAXED);
    WORD my = __atomic_load_n(&scr->MouseY, __ATOMIC_RELAXED);
    flags = MUIV_Request_AtPosition(mx, my);
  }
  MUI_RequestA(_app(obj), ref ? _win(ref) : nullptr, flags, "Melodune.sbar: Warning", "Okay",
               m->format ? m->format : "", m->values);
  return 0;
}

MELODUNE_HANDLER(Melodune_Redraw) {
  (void)cl, (void)msg;
  MUI_Redraw(obj, MADF_DRAWUPDATE);
  return 0;
}

MELODUNE_HANDLER(Melodune_UpdateCheck) {
  (void)cl;
  auto *m = reinterpret_cast<MP_Melodune_Flag *>(msg);
  Object *main = g.obj.load();
  SetAttrs(main ? main : obj, MUIA_UserData, m->flag);
  if (Object *proc = g.arexxProcess.load()) DoMethod(proc, MUIM_Process_Signal, SIGBREAKF_CTRL_D);
  return 0;
}

MELODUNE_HANDLER(Melodune_DeleteShortHelp) {
  (void)cl, (void)obj;
  auto *m = reinterpret_cast<MUIP_DeleteShortHelp *>(msg);
  if (m->help) FreeVec(m->help);
  return 0;
}

// ---- the library ------------------------------------------------------------------------------------

namespace {

struct MeloduneBase {
  struct Library lib;
  APTR segList;
  struct SignalSemaphore sem; // open and close
  UWORD classMade;
};

const char VersTag[] = MELODUNE_VERSTAG;
const char Credit[] = "Melodune.sbar 3.5 - internet radio in the screen title bar, (c) 2025 by the Melodune team";

struct LibSpec {
  CONST_STRPTR name;
  ULONG version;
};
const LibSpec Needed[] = {
    {"multimedia/multimedia.class", 55},     {"multimedia/http.stream", 51},
    {"multimedia/mpegaudio.demuxer", 51},    {"multimedia/mpegaudio.decoder", 51},
    {"multimedia/audio.output", 51},         {"multimedia/stream.buffer", 51},
    {"multimedia/shoutcast.demuxer", 51},    {"cybergraphics.library", 51},
    {"extras.library", 2},                   {"locale.library", 0},
};
constexpr size_t NumNeeded = sizeof(Needed) / sizeof(Needed[0]);

struct Library *MUIMasterBase = nullptr;
struct Library *s_neededBase[NumNeeded];

void CloseNeeded() {
  // The media classes from the last to the base class, then the system libraries.
  static const size_t order[NumNeeded] = {6, 5, 4, 3, 2, 1, 0, 7, 8, 9};
  for (size_t i : order) {
    CloseLibrary(s_neededBase[i]);
    s_neededBase[i] = nullptr;
  }
}

bool MakeClass() {
  MUIMasterBase = OpenLibrary(MUIMASTER_NAME, MUIMASTER_VMIN);
  if (!MUIMasterBase) return false;
  for (size_t i = 0; i < NumNeeded; ++i) {
    s_neededBase[i] = OpenLibrary(Needed[i].name, Needed[i].version);
    if (!s_neededBase[i]) {
      CloseNeeded();
      CloseLibrary(MUIMasterBase);
      MUIMasterBase = nullptr;
      return false;
    }
  }
  NewList(&g.urlList);
  FillOwnMethods();
  MeloduneClass = MUI_CreateCustomClass(MUIMasterBase, MUIC_Area, nullptr, sizeof(Data), Dispatcher);
  if (!MeloduneClass) {
    CloseNeeded();
    CloseLibrary(MUIMasterBase);
    MUIMasterBase = nullptr;
    return false;
  }
  return true;
}

bool DeleteClass() {
  // Objects still alive keep the class (and with it the libraries).
  if (MeloduneClass && !MUI_DeleteCustomClass(MeloduneClass)) return false;
  MeloduneClass = nullptr;
  CloseNeeded();
  CloseLibrary(MUIMasterBase);
  MUIMasterBase = nullptr;
  return true;
}

struct Library *LibInit(APTR segList) {
  auto *base = new MeloduneBase();
  base->lib.lib_Node.ln_Type = NT_LIBRARY;
  base->lib.lib_Node.ln_Name = const_cast<char *>(MELODUNE_NAME);
  base->lib.lib_Flags = LIBF_SUMUSED | LIBF_CHANGED;
  base->lib.lib_Version = MELODUNE_VERSION;
  base->lib.lib_Revision = MELODUNE_REVISION;
  base->lib.lib_IdString = VersTag;
  base->segList = segList;
  InitSemaphore(&base->sem);
  return &base->lib;
}

APTR LibExpunge(struct Library *lib);

struct Library *LibOpen(struct Library *lib, ULONG version) {
  (void)version;
  auto *base = reinterpret_cast<MeloduneBase *>(lib);
  ++lib->lib_OpenCnt;
  lib->lib_Flags &= ~LIBF_DELEXP;
  ObtainSemaphore(&base->sem);
  if (!base->classMade) {
    if (!MakeClass()) {
      ReleaseSemaphore(&base->sem);
      --lib->lib_OpenCnt;
      return nullptr;
    }
    base->classMade = TRUE;
  }
  ReleaseSemaphore(&base->sem);
  return lib;
}

APTR LibClose(struct Library *lib) {
  auto *base = reinterpret_cast<MeloduneBase *>(lib);
  if (lib->lib_OpenCnt) --lib->lib_OpenCnt;
  ObtainSemaphore(&base->sem);
  if (lib->lib_OpenCnt == 0 && base->classMade && DeleteClass()) base->classMade = FALSE;
  ReleaseSemaphore(&base->sem);
  if (lib->lib_OpenCnt == 0 && (lib->lib_Flags & LIBF_DELEXP)) return LibExpunge(lib);
  return nullptr;
}

APTR LibExpunge(struct Library *lib) {
  auto *base = reinterpret_cast<MeloduneBase *>(lib);
  if (lib->lib_OpenCnt || base->classMade) {
    lib->lib_Flags |= LIBF_DELEXP;
    return nullptr;
  }
  APTR segList = base->segList;
  delete base;
  return segList;
}

APTR LibQuery(struct Library *lib, LONG code) {
  (void)lib;
  switch (code) {
  case 0: return MeloduneClass;
  case 7: return const_cast<char *>(Credit);
  default: return nullptr;
  }
}

const ScreenbarLibraryFuncs LibFuncs = {LibInit, LibOpen, LibClose, LibExpunge, LibQuery};

} // namespace

extern "C" __attribute__((visibility("default"))) const struct ScreenbarLibraryFuncs *ScreenbarLibraryEntry() {
  return &LibFuncs;
}
