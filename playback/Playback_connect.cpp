// Connecting, disconnecting and the stop test. Connect and disconnect run
// in the connection worker, one after the other; what they change in the
// GUI (menus, windows, redraws) is handed to the GUI task.
#include <cstring>
#include <functional>
#include <string>

#include "Melodune.h"
#include "Playback.h"
#include "Playback_private.h"
#include "dos/dos.h"
#include "gadgets/gadgets.h"
#include "reggae/reggae.h"
#include "stations/Stations.h"
#include "update/HttpStatus.h"

namespace {

const char LastStationVar[] = "Melodune_LastStation";
const char FailedFormat[] = "\33cFailed to setup the stream\n'%s'\nof Station '%s'\n\nErrorCode = %ld (%s)\n"
                            "ResponseCode = %ld (%s)";

// The texts of the last failure report. The warning runs later in the
// same worker, so they must outlive this connect; the next connect, queued
// behind the warning, is the first that may replace them.
std::string FailedUrl, FailedName;

void SleepWindows(Object *app, BOOL sleep) {
  for (Object *win : {g.editWin.load(), g.searchWin.load()})
    if (win && app) DoMethod(app, MUIM_Application_PushMethod, win, 3, MUIM_Set, MUIA_Window_Sleep, sleep);
}

void RemoveWatchdog(Object *app) {
  if (app) DoMethod(app, MUIM_Application_RemInputHandler, &g.timerIhn);
  g.timerAdded = 0;
  g.title.Clear();
}

// The fixed items that need something playing, set after a connect or a
// disconnect: Record stays usable while a recording runs.
void SetPlayItems(bool playing) {
  const BOOL on = playing ? TRUE : FALSE;
  for (Object *item : {g.itemStop.load(), g.itemMute.load(), g.itemStreamInfo.load()})
    if (item) SetAttrs(item, MUIA_Menuitem_Enabled, on);
  if (Object *rec = g.itemRecord.load())
    SetAttrs(rec, MUIA_Menuitem_Enabled, (playing || g.recOut.load()) ? TRUE : FALSE);
}

void SetStationItem(LONG station, BOOL enabled) {
  Object *strip = g.menustrip.load();
  if (!strip || station < 0) return;
  if (auto item = reinterpret_cast<Object *>(DoMethod(strip, MUIM_FindUData, static_cast<IPTR>(station) + MENU_FIRSTSTATION)))
    SetAttrs(item, MUIA_Menuitem_Enabled, enabled);
}

} // namespace

void RunOnGuiTask(Object *obj, std::function<void()> fn) {
  Object *app = obj ? _app(obj) : nullptr;
  if (!app) return;
  if (platform::IsApplicationTask(app)) {
    fn();
    return;
  }
  platform::PostToApplication(app, std::move(fn));
}

MELODUNE_HANDLER(Melodune_XConnect) {
  (void)cl;
  const auto index = static_cast<LONG>(reinterpret_cast<MP_Melodune_Index *>(msg)->index);
  if (index < 0) return 0;
  std::string name, stream;
  if (!GetStation(index, &name, nullptr, &stream)) return 0;

  Object *proc = g.arexxProcess.load();
  if (proc) DoMethod(proc, MUIM_Semaphore_Obtain);
  Object *app = _app(obj);

  if (!g.recOut.load() && g.timerAdded.load()) RemoveWatchdog(app);
  if (g.infoText.IsSet() || g.infoBubble.load()) DoMethod(obj, MM_Melodune_DeleteAudioInfo);

  // No second choice while this one connects.
  RunOnGuiTask(obj, [] {
    if (Object *menu = g.menu.load()) SetMenuEnabled(menu, FALSE);
  });

  std::string connecting = "Connecting to\240\33b" + name + "\33n...";
  SleepWindows(app, TRUE);
  DoMethod(obj, MM_Melodune_CreateBubble, connecting.c_str());

  if (g.Out.load()) g.state = g.recOut.load() ? MELODUNE_RECORDING : MELODUNE_STOPPED;
  g.Out = nullptr;
  if (Object *cur = g.currObj.load()) MeloPush(cur, 0, MM_Melodune_Redraw);

  if (SetupStream(stream.c_str())) {
    if (Object *out = GetAudioObj()) {
      g.Out = out;
      DoMethod(out, MMM_Play);
      g.currStation = index;
      // The spare slot of a test is never remembered.
      if (index != g.numStations.load())
        SetVar(LastStationVar, name.c_str(), -1, GVF_GLOBAL_ONLY | GVF_SAVE_VAR);
      DoMethod(obj, MM_Melodune_DeleteBubble);
      g.state = g.recOut.load() ? MELODUNE_RECORDING : MELODUNE_PLAYING;
      DoMethod(obj, MM_Melodune_AudioInfo, index);
      if (g.timerAdded.load()) RemoveWatchdog(app);
      if (app) DoMethod(app, MUIM_Application_AddInputHandler, &g.timerIhn);
      g.timerAdded = 1;
      g.title.Clear();
      MeloPush(obj, 0, MM_Melodune_UpdateStreamInfo);
      if (Object *cur = g.currObj.load()) MeloPush(cur, 0, MM_Melodune_Redraw);
    }
  } else {
    const LONG error = PlayErrorCodeNow(), response = PlayResponseCodeNow();
    // Nothing plays through a half-built chain, and no disconnect would
    // ever come for it: take it down now rather than at the next connect.
    FreePlayPipeline();
    if (Object *slave = g.slaveConnection.load()) {
      FailedUrl = stream;
      FailedName = name;
      DoMethod(slave, MM_Melodune_Warning, FailedFormat, FailedUrl.c_str(), FailedName.c_str(),
               static_cast<IPTR>(static_cast<SIPTR>(error)), MediaFault(error),
               static_cast<IPTR>(static_cast<SIPTR>(response)), HttpStatusText(response));
    }
  }

  SleepWindows(app, FALSE);
  DoMethod(obj, MM_Melodune_DeleteBubble);

  const bool playing = g.Out.load() != nullptr;
  const LONG current = g.currStation.load();
  RunOnGuiTask(obj, [playing, current] {
    if (Object *menu = g.menu.load()) SetMenuEnabled(menu, TRUE);
    // The playing station cannot be chosen again; after a failure the
    // items that need a stream stay off.
    if (playing) SetStationItem(current, FALSE);
    SetPlayItems(playing);
  });

  if (proc) DoMethod(proc, MUIM_Semaphore_Release);
  return 0;
}

MELODUNE_HANDLER(Melodune_XDisConnect) {
  (void)cl;
  const bool reconnect = reinterpret_cast<MP_Melodune_Flag *>(msg)->flag != 0;
  const LONG prevStation = g.currStation.load();
  g.isInSlaveConnection = 1;

  // The title request reads the SHOUTcast demuxer: let it finish (60 s at most).
  for (int i = 0; i < 120 && g.isInSlaveMetaInfo.load(); ++i)
    Delay(25);

  if (Object *out = g.Out.load()) {
    Object *app = _app(obj);
    DTRACE("Melodune_XDisConnect", "Disconnecting station %ld\n", prevStation);
    DoMethod(obj, MM_Melodune_CreateBubble, "Disconnecting...");
    DoMethod(out, MMM_Stop);
    const LONG station = g.currStation.load();
    RunOnGuiTask(obj, [station] { SetStationItem(station, TRUE); });
    g.Out = nullptr;
    g.currStation = -1;
    g.title.Clear();
    g.state = g.recOut.load() ? MELODUNE_RECORDING : MELODUNE_STOPPED;
    // While a recording runs the watchdog stays: it watches the recording too.
    if (g.state.load() == MELODUNE_STOPPED && g.timerAdded.load()) RemoveWatchdog(app);

    g.isInStreamCleanup = 1;
    FreePlayPipeline();
    g.isInStreamCleanup = 0;

    if (Object *cur = g.currObj.load()) MeloPush(cur, 0, MM_Melodune_Redraw);
    RunOnGuiTask(obj, [obj] {
      if (!platform::IsLiveObject(obj)) return; // cleaned up meanwhile
      SetPlayItems(false);
      Object *si = g.streamInfoWin.load();
      if (si && xget(si, MUIA_Window_Open)) DoMethod(obj, MM_Melodune_UpdateStreamInfo);
    });
    DoMethod(obj, MM_Melodune_DeleteBubble);
  }

  // Nothing was playing: a reconnect has no station to go back to.
  if (reconnect && prevStation >= 0)
    MeloPush(obj, 2000, MM_Melodune_MenuAction, static_cast<IPTR>(prevStation) + MENU_FIRSTSTATION);

  g.isInSlaveConnection = 0;
  return 0;
}

bool PlayOutputStopped() {
  auto lock = LockPlayChain();
  Object *out = g.Out.load();
  if (!out || out != GetAudioObj()) return false;
  IPTR state = 0;
  DoMethod(out, MMM_GetPort, 0, MMA_OutputState, &state);
  return state != 1;
}

MELODUNE_HANDLER(Melodune_XCheckPlayStopped) {
  (void)cl, (void)msg;
  if (!PlayOutputStopped()) return 0;
  MeloPush(obj, 0, MM_Melodune_CreateBubble, "Playing stream stopped!");
  MeloPush(obj, 2000, MM_Melodune_DeleteBubble);
  if (Object *slave = g.slaveConnection.load()) DoMethod(slave, MM_Melodune_XDisConnect, 1);
  return 0;
}
