// TestBar.sbar: the smallest Screenbar plug-in that exercises the whole
// contract with the host: library entry points, a class on Area.mui that
// draws a colour square, three configuration items, a preferences panel,
// and (like a real plug-in) a worker task and a public port that exist
// while any of its objects is set up. Built again with TESTBAR_BROKEN as
// TestBarBroken.sbar, whose library refuses to open.
#include <cstring>
#include <string>

#include "exec/exec.h"
#include "host/screenbar.h"
#include "mui/mui.h"
#include "mui/screen.h"
#include "test_bar.h"

namespace {

struct BarData {
  ULONG setups, cleanups, draws, changes;
  LONG number;
  char text[64];
  ULONG lastChanged;
};

struct Global {
  struct Library base;
  APTR segList;
  struct MUI_CustomClass *mcc;
  ULONG setupCount;
  struct Task *worker;
  struct MsgPort *port;
  TestBarStats stats;
} g;

const char kName[] = "TestBar.sbar";

void Record(const char *what) {
  size_t len = std::strlen(g.stats.log);
  std::strncat(g.stats.log, what, sizeof g.stats.log - len - 1);
}

IPTR ConfigOf(Object *obj, ULONG id) {
  IPTR v = 0;
  DoMethod(obj, MUIM_GetConfigItem, id, &v);
  return v;
}

void ReadConfig(Object *obj, BarData *d) {
  d->number = static_cast<LONG>(ConfigOf(obj, TESTBAR_CFG_NUMBER));
  const char *t = reinterpret_cast<const char *>(ConfigOf(obj, TESTBAR_CFG_TEXT));
  std::memset(d->text, 0, sizeof d->text);
  if (t) std::strncpy(d->text, t, sizeof d->text - 1);
}

IPTR Setup(struct IClass *cl, Object *obj, Msg msg) {
  if (!DoSuperMethodA(cl, obj, msg)) return FALSE;
  auto *d = static_cast<BarData *>(INST_DATA(cl, obj));
  ++d->setups;
  ++g.stats.setups;
  if (g.setupCount++ == 0) {
    g.worker = platform::CreateTask("TestBar Worker", 0, [] { Wait(SIGBREAKF_CTRL_C); });
    g.port = CreateMsgPort();
    if (g.port) {
      g.port->mp_Node.ln_Name = const_cast<char *>("TESTBAR");
      AddPort(g.port);
    }
  }
  ReadConfig(obj, d);
  struct Screen *scr = _screen(obj);
  Record("setup:");
  Record(scr && scr->Title ? scr->Title : "?");
  Record(";");
  return TRUE;
}

IPTR Cleanup(struct IClass *cl, Object *obj, Msg msg) {
  auto *d = static_cast<BarData *>(INST_DATA(cl, obj));
  ++d->cleanups;
  ++g.stats.cleanups;
  struct Screen *scr = _screen(obj);
  Record("cleanup:");
  Record(scr && scr->Title ? scr->Title : "?");
  Record(";");
  if (--g.setupCount == 0) {
    if (g.worker) {
      Signal(g.worker, SIGBREAKF_CTRL_C);
      platform::JoinTask(g.worker);
      g.worker = nullptr;
    }
    if (g.port) {
      RemPort(g.port);
      DeleteMsgPort(g.port);
      g.port = nullptr;
    }
  }
  return DoSuperMethodA(cl, obj, msg);
}

IPTR Draw(struct IClass *cl, Object *obj, Msg msg) {
  IPTR r = DoSuperMethodA(cl, obj, msg);
  auto *d = static_cast<BarData *>(INST_DATA(cl, obj));
  ++d->draws;
  if (struct RastPort *rp = _rp(obj))
    rp->rp_Target->Fill(_mleft(obj), _mtop(obj), _mwidth(obj), _mheight(obj),
                        d->number ? TESTBAR_COLOR_ON : TESTBAR_COLOR_OFF);
  return r;
}

Object *PrefsPanel() {
  Object *check = MUI_MakeObject(MUIO_Checkmark, "Number");
  Object *str = MUI_NewObject(MUIC_String, MUIA_String_MaxLen, 64, TAG_DONE);
  Object *panel = MUI_NewObject(MUIC_Mccprefs, Child, check, Child, str, TAG_DONE);
  if (!panel) return nullptr;
  DoMethod(panel, MUIM_Mccprefs_RegisterGadget, check, TESTBAR_CFG_NUMBER, 0, "Number", MUIA_Selected, 0);
  DoMethod(panel, MUIM_Mccprefs_RegisterGadget, str, TESTBAR_CFG_TEXT, 0, "Text", MUIA_String_Contents, 0);
  return panel;
}

IPTR ConfigChanged(struct IClass *cl, Object *obj, MUIP_ConfigItemChanged *m) {
  auto *d = static_cast<BarData *>(INST_DATA(cl, obj));
  ++d->changes;
  ++g.stats.changes;
  d->lastChanged = static_cast<ULONG>(m->id);
  ReadConfig(obj, d);
  ScreenbarRefreshList *list = m->refresh;
  if (!list) return 0;
  if (m->id == TESTBAR_CFG_FLOOD) {
    list->count = 1000; // a careless plug-in: the host must not believe it
  } else if (m->id == TESTBAR_CFG_NUMBER && list->count < SCREENBAR_REFRESH_MAX) {
    list->flags[list->count] = 0;
    list->objects[list->count++] = obj;
  }
  return 0;
}

IPTR Dispatcher(struct IClass *cl, Object *obj, Msg msg) {
  switch (msg->MethodID) {
  case OM_NEW: {
    Object *o = reinterpret_cast<Object *>(DoSuperMethodA(cl, obj, msg));
    if (o) ++g.stats.live;
    return reinterpret_cast<IPTR>(o);
  }
  case OM_DISPOSE: --g.stats.live; return DoSuperMethodA(cl, obj, msg);
  case OM_GET: {
    auto *m = reinterpret_cast<opGet *>(msg);
    auto *d = static_cast<BarData *>(INST_DATA(cl, obj));
    IPTR *s = m->opg_Storage;
    switch (m->opg_AttrID) {
    case TESTBAR_A_SETUPS: *s = d->setups; return TRUE;
    case TESTBAR_A_CLEANUPS: *s = d->cleanups; return TRUE;
    case TESTBAR_A_DRAWS: *s = d->draws; return TRUE;
    case TESTBAR_A_CHANGES: *s = d->changes; return TRUE;
    case TESTBAR_A_NUMBER: *s = static_cast<IPTR>(d->number); return TRUE;
    case TESTBAR_A_TEXT: *s = reinterpret_cast<IPTR>(d->text); return TRUE;
    case TESTBAR_A_LASTCHANGED: *s = d->lastChanged; return TRUE;
    case MUIA_Screenbar_PrefsImage: *s = reinterpret_cast<IPTR>(MUI_NewObject(MUIC_Rectangle, TAG_DONE)); return TRUE;
    }
    return DoSuperMethodA(cl, obj, msg);
  }
  case MUIM_Setup: return Setup(cl, obj, msg);
  case MUIM_Cleanup: return Cleanup(cl, obj, msg);
  case MUIM_AskMinMax: {
    DoSuperMethodA(cl, obj, msg);
    auto *mm = reinterpret_cast<MUIP_AskMinMax *>(msg)->MinMaxInfo;
    WORD side = static_cast<WORD>(_screen(obj) ? _screen(obj)->BarHeight + 1 : 10);
    mm->MinWidth = mm->DefWidth = mm->MaxWidth = side;
    mm->MinHeight = mm->DefHeight = mm->MaxHeight = side;
    return 0;
  }
  case MUIM_Draw: return Draw(cl, obj, msg);
  case MUIM_Screenbar_IsConfigItem: {
    IPTR id = reinterpret_cast<MUIP_Screenbar_IsConfigItem *>(msg)->id;
    return id == TESTBAR_CFG_NUMBER || id == TESTBAR_CFG_TEXT || id == TESTBAR_CFG_FLOOD;
  }
  case MUIM_Screenbar_ConfigDefault: {
    IPTR id = reinterpret_cast<MUIP_Screenbar_IsConfigItem *>(msg)->id;
    if (id == TESTBAR_CFG_NUMBER) return 1;
    if (id == TESTBAR_CFG_TEXT) return reinterpret_cast<IPTR>(TESTBAR_TEXT_DEFAULT);
    return 0;
  }
  case MUIM_Screenbar_PrefsPanel: return reinterpret_cast<IPTR>(PrefsPanel());
  case MUIM_ConfigItemChanged: return ConfigChanged(cl, obj, reinterpret_cast<MUIP_ConfigItemChanged *>(msg));
  default: return DoSuperMethodA(cl, obj, msg);
  }
}

struct Library *LibInit(APTR segList) {
  std::memset(&g, 0, sizeof g);
  g.base.lib_Node.ln_Name = const_cast<char *>(kName);
  g.base.lib_Flags = LIBF_SUMUSED | LIBF_CHANGED;
  g.base.lib_Version = 1;
  g.segList = segList;
  ++g.stats.inits;
  return &g.base;
}

APTR LibExpunge(struct Library *base) {
  ++g.stats.expunges;
  if (base->lib_OpenCnt) {
    base->lib_Flags |= LIBF_DELEXP;
    return nullptr;
  }
  return g.segList;
}

struct Library *LibOpen(struct Library *base, ULONG) {
  ++g.stats.opens;
  ++base->lib_OpenCnt;
  base->lib_Flags &= ~LIBF_DELEXP;
#ifdef TESTBAR_BROKEN
  const bool makeClass = false; // as if a library it needs were missing
#else
  const bool makeClass = true;
#endif
  if (!g.mcc && makeClass) g.mcc = MUI_CreateCustomClass(nullptr, MUIC_Area, nullptr, sizeof(BarData), Dispatcher);
  if (!g.mcc) {
    --base->lib_OpenCnt;
    return nullptr;
  }
  return base;
}

APTR LibClose(struct Library *base) {
  ++g.stats.closes;
  if (base->lib_OpenCnt) --base->lib_OpenCnt;
  if (!base->lib_OpenCnt && g.mcc) {
    if (MUI_DeleteCustomClass(g.mcc)) g.mcc = nullptr;
  }
  if (!base->lib_OpenCnt && (base->lib_Flags & LIBF_DELEXP)) return LibExpunge(base);
  return nullptr;
}

APTR LibQuery(struct Library *, LONG code) {
  if (code == 0) return g.mcc;
  if (code == 7) return const_cast<char *>("TestBar 1.0, a plug-in for the host's tests");
  return nullptr;
}

} // namespace

extern "C" __attribute__((visibility("default"))) const struct ScreenbarLibraryFuncs *ScreenbarLibraryEntry() {
  static const ScreenbarLibraryFuncs funcs{LibInit, LibOpen, LibClose, LibExpunge, LibQuery};
  return &funcs;
}

extern "C" __attribute__((visibility("default"))) const TestBarStats *TestBarGetStats() { return &g.stats; }
