// MUIM_Setup and MUIM_Cleanup: the shared menu, the workers, the ARexx
// process and the timers are made by the first set-up that finds them
// missing and taken down by the main instance's clean-up, which lets busy
// workers finish first.
#include <cstring>

#include "Melodune.h"
#include "dos/dos.h"
#include "gadgets/gadgets.h"
#include "host/screenbar.h"

namespace {

Object *NewItem(CONST_STRPTR title, IPTR udata, BOOL enabled) {
  return MUI_NewObject(MUIC_Menuitem, MUIA_Menuitem_Title, title, MUIA_UserData, udata, MUIA_Menuitem_Enabled, enabled);
}

void BuildMenu() {
  Object *menu = MUI_NewObject(MUIC_Menu, MUIA_Menu_Title, "Melodune");
  if (!menu) return;
  Object *strip = MUI_NewObject(MUIC_Menustrip, MUIA_Family_Child, menu);
  if (!strip) {
    MUI_DisposeObject(menu);
    return;
  }
  Object *items[7] = {NewItem("Stop", MENU_STOP, FALSE),
                      NewItem("Mute", MENU_MUTE, FALSE),
                      NewItem("Record", MENU_RECORD, FALSE),
                      NewItem("Edit Stations...", MENU_EDIT, TRUE),
                      NewItem("Stream Info...", MENU_STREAMINFO, FALSE),
                      NewItem("UpdateCheck...", MENU_UPDATECHECK, TRUE),
                      MUI_NewObject(MUIC_Menuitem, MUIA_Menuitem_Title, NM_BARLABEL)};
  for (Object *item : items)
    if (item) DoMethod(menu, MUIM_Family_AddTail, item);
  g.itemStop = items[0];
  g.itemMute = items[1];
  g.itemRecord = items[2];
  g.itemEdit = items[3];
  g.itemStreamInfo = items[4];
  g.menu = menu;
  g.menustrip = strip;
}

Object *NewSlave(struct IClass *cl, Object *obj, CONST_STRPTR name) {
  return MUI_NewObject(MUIC_Slave, MUIA_Slave_Class, cl, MUIA_Slave_Target, obj, MUIA_Slave_Name, name);
}

// A configuration item through the host, or its default when the host has none.
IPTR ConfigValue(Object *obj, ULONG id) {
  IPTR value = 0;
  if (DoMethod(obj, MUIM_GetConfigItem, id, &value)) return value;
  return DoMethod(obj, MUIM_Screenbar_ConfigDefault, id);
}

// Whether DropWindow takes win down for obj.
bool WindowGoesWith(Object *obj, Object *win) {
  if (!win) return false;
  IPTR screen = xget(win, MUIA_Window_Screen);
  return !screen || reinterpret_cast<struct Screen *>(screen) == _screen(obj);
}

// Tears a window down when it is on this object's screen or on none.
void DropWindow(Object *obj, std::atomic<Object *> &field, std::initializer_list<std::atomic<Object *> *> gadgets) {
  Object *win = field.load();
  if (!win) return;
  IPTR screen = xget(win, MUIA_Window_Screen);
  if (screen && reinterpret_cast<struct Screen *>(screen) != _screen(obj)) return;
  SetAttrs(win, MUIA_Window_Open, FALSE);
  if (Object *app = _app(win)) DoMethod(app, OM_REMMEMBER, win);
  MUI_DisposeObject(win);
  field = nullptr;
  // Its gadgets went with it.
  for (auto *gadget : gadgets) *gadget = nullptr;
}

// Polls a busy flag: up to 20 pauses of `ticks`, with a line per pause.
void WaitWhileBusy(std::atomic<UWORD> &flag, ULONG ticks, CONST_STRPTR waitLine, CONST_STRPTR doneLine) {
  bool waited = false;
  for (LONG i = 1; i <= 20 && flag.load(); ++i) {
    char text[160];
    SNPrintf(text, sizeof(text), waitLine, i);
    KPutStr(text);
    Delay(ticks);
    waited = true;
  }
  if (waited) {
    char text[160];
    SNPrintf(text, sizeof(text), doneLine, flag.load() ? "NOT " : "");
    KPutStr(text);
  }
}

void DisposeWorker(std::atomic<Object *> &worker, std::atomic<UWORD> &busy, CONST_STRPTR line) {
  Object *w = worker.load();
  if (!w) return;
  if (!busy.load()) {
    MUI_DisposeObject(w);
    worker = nullptr;
  } else {
    KPutStr(line);
  }
}

} // namespace

MELODUNE_HANDLER(Melodune_Setup) {
  if (!DoSuperMethodA(cl, obj, msg)) return FALSE;
  Data *data = static_cast<Data *>(INST_DATA(cl, obj));

  ++g.setupCount;

  if (!g.obj.load()) {
    g.currStation = -1;
    g.recStation = -1;
    g.recSig = -1;
    g.obj = obj;
  }

  if (!g.menustrip.load()) {
    BuildMenu();
    if (Object *mute = g.itemMute.load())
      DoMethod(mute, MUIM_Notify, MUIA_Menuitem_Enabled, FALSE, mute, 3, MUIM_Set, MUIA_Menuitem_Title, "Mute");
  }

  // A left click opens the menu. Installed once per object: a second
  // set-up must not make one click open it twice.
  if (g.menustrip.load() && !data->pressedNotify) {
    DoMethod(obj, MUIM_Notify, MUIA_Pressed, FALSE, obj, 2, MM_Melodune_MenuAction, MENU_CLICK);
    data->pressedNotify = TRUE;
  }

  if (!g.slaveRec.load() && !(g.slaveRec = NewSlave(cl, obj, "Melodune Rec-Slave")))
    DLOG("Melodune_Setup", "Failed to create the Rec slave object!\n");
  if (!g.slaveMetaInfo.load() && !(g.slaveMetaInfo = NewSlave(cl, obj, "Melodune MetaInfo-Slave")))
    DLOG("Melodune_Setup", "Failed to create the MetaInfo slave object!\n");
  if (!g.slaveConnection.load() && !(g.slaveConnection = NewSlave(cl, obj, "Melodune Connection-Slave")))
    DLOG("Melodune_Setup", "Failed to create the Connection slave object!\n");

  if (!g.arexxProcess.load()) {
    g.arexxProcess = MUI_NewObject(MUIC_Process, MUIA_Process_Priority, -1, MUIA_Process_AutoLaunch, FALSE,
                                   MUIA_Process_SourceClass, cl, MUIA_Process_SourceObject, obj, MUIA_Process_Name,
                                   "Melodune ARexx");
    if (!g.arexxProcess.load()) DLOG("Melodune_Setup", "Failed to created ARexx Process!\n");
  }

  if (g.obj.load() == obj) {
    g.timerIhn = {};
    g.timerIhn.ihn_Object = obj;
    g.timerIhn.ihn_Millis = 5000;
    g.timerIhn.ihn_Flags = MUIIHNF_TIMER;
    g.timerIhn.ihn_Method = static_cast<ULONG>(MM_Melodune_Timer);
    g.gaugeIhn = {};
    g.gaugeIhn.ihn_Object = obj;
    g.gaugeIhn.ihn_Millis = 500;
    g.gaugeIhn.ihn_Flags = MUIIHNF_TIMER;
    g.gaugeIhn.ihn_Method = static_cast<ULONG>(MM_Melodune_UpdateGauge);
    g.timerAdded = 0;

    // The quiet update check, a minute after start, unless turned off.
    if (ConfigValue(obj, CFG_CheckUpdates)) MeloPush(obj, 60000, MM_Melodune_UpdateCheck, 1);

    g.currObj = obj;
    if (Object *proc = g.arexxProcess.load()) DoMethod(proc, MUIM_Process_Launch);
  }

  data->showMetaTitle = ConfigValue(obj, CFG_ShowMetaTitle) ? TRUE : FALSE;
  data->recolorPlay = ConfigValue(obj, CFG_RecolorPlay) ? TRUE : FALSE;
  data->recolorRec = ConfigValue(obj, CFG_RecolorRec) ? TRUE : FALSE;
  struct MUI_PenSpec wanted;
  auto obtain = [&](ULONG id) -> LONG {
    auto *text = reinterpret_cast<CONST_STRPTR>(ConfigValue(obj, id));
    if (!text) return -1;
    std::memset(&wanted, 0, sizeof(wanted));
    std::strncpy(wanted.buf, text, sizeof(wanted.buf) - 1);
    return MUI_ObtainPen(_ri(obj), &wanted, 0);
  };
  if (data->playPen != -1) MUI_ReleasePen(_ri(obj), data->playPen); // never held here; a safety net
  if (data->recPen != -1) MUI_ReleasePen(_ri(obj), data->recPen);
  data->playPen = obtain(CFG_PlayPen);
  data->recPen = obtain(CFG_RecPen);

  data->ehn = {};
  data->ehn.ehn_Priority = 0;
  data->ehn.ehn_Flags = MUI_EHF_GUIMODE;
  data->ehn.ehn_Object = obj;
  data->ehn.ehn_Class = cl;
  data->ehn.ehn_Events = IDCMP_MOUSEBUTTONS;
  if (Object *win = _win(obj)) DoMethod(win, MUIM_Window_AddEventHandler, &data->ehn);

  return TRUE;
}

MELODUNE_HANDLER(Melodune_Cleanup) {
  Data *data = static_cast<Data *>(INST_DATA(cl, obj));
  const bool main = g.obj.load() == obj;
  Object *app = _app(obj);

  FreeVec(data->image);
  data->image = nullptr;
  data->animDone = 0;

  if (Object *win = _win(obj)) DoMethod(win, MUIM_Window_RemEventHandler, &data->ehn);

  if (app) DoMethod(app, MUIM_Application_KillPushMethod, obj, 0, 0);

  if (g.infoBubble.load() || g.infoText.IsSet()) DoMethod(obj, MM_Melodune_DeleteAudioInfo);

  DropWindow(obj, g.editWin,
             {&g.editLoad, &g.editApply, &g.editSave, &g.editSearch, &g.editStatus, &g.editTree, &g.editGroup,
              &g.editStation, &g.editClone, &g.editRemove, &g.editUp, &g.editDown, &g.editOpenAll, &g.editCloseAll,
              &g.editDnDSort, &g.editIcon, &g.editName, &g.editIconName, &g.editStream, &g.editTest});
  if (Object *si = g.streamInfoWin.load()) {
    IPTR screen = xget(si, MUIA_Window_Screen);
    if (!screen || reinterpret_cast<struct Screen *>(screen) == _screen(obj)) {
      // The refreshes are pushed to the main instance.
      Object *target = g.obj.load() ? g.obj.load() : obj;
      if (app) DoMethod(app, MUIM_Application_KillPushMethod, target, 0, MM_Melodune_UpdateStreamInfo);
      Object *context = g.siTitleMenu.load();
      DropWindow(obj, g.streamInfoWin,
                 {&g.siUpdate, &g.siHeaderList, &g.siGauge, &g.siStation, &g.siTitle, &g.siTitleList, &g.siTitleMenu,
                  &g.siRecGroup, &g.siRecStation, &g.siRecStarted, &g.siRecSize, &g.siRecFile});
      MUI_DisposeObject(context); // a context menu is not disposed with its list
    }
  }
  // A directory download goes before its window, and its end (already
  // signalled or still to come) finds nothing to parse.
  if (main || WindowGoesWith(obj, g.searchWin.load())) {
    if (Object *file = g.searchFile.exchange(nullptr)) {
      DoMethod(file, 0x8EDA0054); // stop before it goes
      DisposeObject(file);
    }
    if (Object *buffer = g.searchBuffer.exchange(nullptr)) DisposeObject(buffer);
    if (Object *http = g.searchHttp.exchange(nullptr)) DisposeObject(http);
    // The ARexx process pushes the end to the main instance.
    Object *served = g.obj.load();
    if (app) DoMethod(app, MUIM_Application_KillPushMethod, served ? served : obj, 0, MM_Melodune_ParseStations);
  }
  DropWindow(obj, g.searchWin,
             {&g.searchName, &g.searchTags, &g.searchCountry, &g.searchLanguages, &g.searchAdd, &g.searchTest,
              &g.searchStatus, &g.searchStart, &g.searchLimitOn, &g.searchLimit, &g.searchBusy, &g.searchAbort,
              &g.searchList});

  // Every object releases its own pens (they were obtained per object).
  if (data->playPen != -1) MUI_ReleasePen(_ri(obj), data->playPen);
  if (data->recPen != -1) MUI_ReleasePen(_ri(obj), data->recPen);
  data->playPen = data->recPen = -1;

  // A bubble on this object would outlive it; the main instance removes any.
  if (g.bub.load() && g.BubbleObj.load() && (main || g.BubbleObj.load() == obj)) {
    if (app) DoMethod(app, MUIM_Application_KillPushMethod, g.BubbleObj.load(), 0, MM_Melodune_DeleteBubble);
    DoMethod(g.BubbleObj.load(), MM_Melodune_DeleteBubble);
  }

  if (main) {
    WaitWhileBusy(g.isInSlaveMetaInfo, 50,
                  "Melodune.sbar: MetaInfoSlave is still doing something, wait 1 sec (%ld/20)...\n",
                  "Melodune.sbar: Ok, MetaInfoSlave has %sfinished!\n");

    if (Object *proc = g.arexxProcess.load()) DoMethod(proc, MUIM_Process_Kill, 0);

    // The gauge timer runs on this object: it must not outlive it, even
    // when the Stream Info window stays open on another screen.
    if (app) DoMethod(app, MUIM_Application_RemInputHandler, &g.gaugeIhn);

    // A connect waiting for its server would hold the connection worker
    // (and with it this clean-up) for as long as the server likes: abort
    // it and every one still queued, and give it a moment to let go.
    AbortConnects();
    for (int i = 0; i < 20 && ConnectRunning(); ++i)
      Delay(10);

    if (g.timerAdded.load()) {
      if (app) DoMethod(app, MUIM_Application_RemInputHandler, &g.timerIhn);
      g.timerAdded = 0;
      g.title.Clear();
    }

    if (g.Out.load() && g.slaveConnection.load()) {
      // Set before sending, so the wait cannot see a stale 0.
      g.isInSlaveConnection = 1;
      DoMethod(g.slaveConnection.load(), MM_Melodune_XDisConnect, 0);
      Delay(10);
      WaitWhileBusy(g.isInSlaveConnection, 25,
                    "Melodune.sbar: ConnectionSlave is still doing something, wait 1/2 sec (%ld/20)...\n",
                    "Melodune.sbar: ConnectionSlave has %sfinished!\n");
    }

    FreeStationList();
    ClearStationMenu();

    if (app) DoMethod(app, MUIM_Application_KillPushMethod, obj, 0, MM_Melodune_Redraw);

    if (g.recOut.load() && g.slaveRec.load()) {
      g.isInSlaveRec = 1;
      DoMethod(g.slaveRec.load(), MM_Melodune_XRecord, 1);
      WaitWhileBusy(g.isInSlaveRec, 50, "Melodune.sbar: RecSlave is still doing something, wait 1 sec (%ld/20)...\n",
                    "Melodune.sbar: RecSlave has %sfinished!\n");
    }

    g.title.Clear();
    if (APTR req = g.importReq.exchange(nullptr)) MUI_FreeAslRequest(req);

    g.state = MELODUNE_STOPPED;

    if (g.menustrip.load() && g.setupCount.load() == 1) {
      MUI_DisposeObject(g.menustrip.exchange(nullptr));
      g.menu = nullptr;
      g.itemStop = g.itemMute = g.itemRecord = g.itemEdit = g.itemStreamInfo = nullptr;
    }

    DisposeWorker(g.slaveMetaInfo, g.isInSlaveMetaInfo, "Melodune.sbar: MetaInfoSlave wasn't disposed!\n");
    DisposeWorker(g.slaveRec, g.isInSlaveRec, "Melodune.sbar: RecSlave wasn't disposed!\n");
    DisposeWorker(g.slaveConnection, g.isInSlaveConnection, "Melodune.sbar: ConnectionSlave wasn't disposed!\n");

    if (Object *proc = g.arexxProcess.exchange(nullptr)) MUI_DisposeObject(proc);
  }

  --g.setupCount;
  return DoSuperMethodA(cl, obj, msg);
}
