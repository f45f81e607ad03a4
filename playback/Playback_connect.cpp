// Connecting, disconnecting and the stop test. Connect and disconnect run
// in the connection worker, one after the other; what they change in the
// GUI (menus, windows, redraws) is handed to the GUI task.
//
// Who calls what, and under which lock:
// - Melodune_XConnect, Melodune_XDisConnect: the connection worker, in the
//   order SendConnect and the stop paths queued them. A connect holds the
//   ARexx process's semaphore from the station read to its end (a script's
//   PLAY only tries it); the chain's lock is taken inside FreePlayPipeline
//   and the accessors, the station list's shared lock inside GetStation.
// - Melodune_XCheckPlayStopped: whoever sends it; the chain's read lock.
// - SendConnect, AbortConnects: any task, under s_sendLock. BeginReconnect,
//   EndReconnect, TakeReconnect: any task, under the reconnect's own lock.
#include <cstring>
#include <atomic>
#include <functional>
#include <mutex>
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
const char NoAudioText[] = "no MP3 audio in the stream";

// How long a connected stream may take to give its first decoded sound.
constexpr uint64_t FirstAudioMs = 10000;

// ---- tickets -----------------------------------------------------------------------------------------

std::mutex s_sendLock;                  // ticket numbers in the order of the worker's queue
ULONG s_sentTickets = 0;                // under s_sendLock
std::atomic<ULONG> s_startedTickets{0}; // the worker's count
std::atomic<ULONG> s_abortUpTo{0};      // connects with a ticket up to this give up
std::atomic<ULONG> s_retryTicket{0};    // the connect that is a reconnect attempt
std::atomic<ULONG> s_retryTicketSerial{0};

bool Aborted(ULONG ticket) { return ticket <= s_abortUpTo.load(); }

std::atomic<bool> s_connecting{false};
struct ConnectMark {
  ConnectMark() { s_connecting = true; }
  ~ConnectMark() { s_connecting = false; }
};

// ---- reconnect sequence --------------------------------------------------------------------------------

struct Reconnect {
  std::mutex lock;
  bool active = false;
  LONG station = -1;
  ULONG attempt = 0; // attempts made so far
  uint64_t startMs = 0;
  ULONG serial = 0; // changes whenever a sequence begins or ends
};
Reconnect s_retry;

constexpr uint64_t RetryForMs = 30 * 60 * 1000;

// The pause before the attempt after `failed` failed ones: 2, 4, 8, 16, 32, then 60 s.
ULONG RetryDelayMs(ULONG failed) { return failed >= 1 && failed <= 5 ? 1000u << failed : 60000u; }

void PushAttempt(Object *obj, LONG station, ULONG serial, ULONG delayMs) {
  MeloPush(obj, delayMs, MM_Melodune_MenuAction, static_cast<IPTR>(station) | ReconnectChoice,
           static_cast<IPTR>(serial));
}

// A failed attempt of the sequence serial: the next one is pushed, or the
// sequence gives up (true: the caller reports the failure).
bool RetryFailed(Object *obj, ULONG serial) {
  std::lock_guard l(s_retry.lock);
  if (!s_retry.active || s_retry.serial != serial) return false; // the user took over meanwhile
  const ULONG delay = RetryDelayMs(s_retry.attempt);
  if (ClockMs() - s_retry.startMs + delay > RetryForMs) {
    s_retry.active = false;
    ++s_retry.serial;
    return true;
  }
  PushAttempt(obj, s_retry.station, s_retry.serial, delay);
  return false;
}

ULONG RetryAttemptOf(ULONG serial) {
  std::lock_guard l(s_retry.lock);
  return s_retry.active && s_retry.serial == serial ? s_retry.attempt : 0;
}

// ---- the connect's helpers --------------------------------------------------------------------------------

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

void BreakConnectingTask() {
  Forbid();
  if (struct Task *t = FindTask(MELODUNE_HTTPSTREAM_TASK)) Signal(t, SIGBREAKF_CTRL_C);
  Permit();
}

IPTR Port0(Object *o, IPTR attr) {
  IPTR v = 0;
  DoMethod(o, MMM_GetPort, 0, attr, &v);
  return v;
}

// A started chain is a stream only once its first frame is decoded: the
// output learns the sample rate from it. Waits for that on the system
// clock; the error code when it does not come (*text: a text of our own).
LONG WaitForFirstAudio(Object *out, ULONG ticket, CONST_STRPTR *text) {
  *text = nullptr;
  const uint64_t start = ClockMs();
  for (;;) {
    if (Aborted(ticket)) return MMERR_ABORTED;
    if (Port0(out, MMA_Sound_SampleRate)) return MMERR_OK;
    if (Port0(out, MMA_OutputState) != 1) {
      // The chain ended: a page that was no sound, or a stream that broke.
      const auto why = static_cast<LONG>(static_cast<SIPTR>(Port0(out, MMA_ErrorCode)));
      if (why != MMERR_OK && why != MMERR_END_OF_DATA && why != MMERR_UNSUPPORTED_FORMAT) return why;
      *text = NoAudioText;
      return MMERR_UNSUPPORTED_FORMAT;
    }
    if (ClockMs() - start >= FirstAudioMs) {
      Object *buffer = GetBufferObj();
      if (buffer && Port0(buffer, MMA_StreamBuffer_Received) == 0) return MMERR_TIMEOUT; // not one byte
      *text = NoAudioText;
      return MMERR_UNSUPPORTED_FORMAT;
    }
    Delay(2);
  }
}

} // namespace

uint64_t ClockMs() {
  struct DateStamp ds;
  DateStamp(&ds);
  return (static_cast<uint64_t>(ds.ds_Days) * 1440 + static_cast<uint64_t>(ds.ds_Minute)) * 60000 +
         static_cast<uint64_t>(ds.ds_Tick) * 20;
}

void SendConnect(Object *slave, LONG index, ULONG retrySerial) {
  if (!slave) return;
  std::lock_guard l(s_sendLock);
  const ULONG ticket = ++s_sentTickets;
  s_retryTicketSerial = retrySerial;
  s_retryTicket = retrySerial ? ticket : 0;
  DoMethod(slave, MM_Melodune_XDisConnect, 0);
  DoMethod(slave, MM_Melodune_XConnect, static_cast<IPTR>(index));
}

void AbortConnects() {
  {
    std::lock_guard l(s_sendLock);
    s_abortUpTo = s_sentTickets;
  }
  BreakConnectingTask();
}

bool ConnectRunning() { return s_connecting.load(); }

void BeginReconnect(Object *obj, LONG station) {
  std::lock_guard l(s_retry.lock);
  if (!s_retry.active || s_retry.station != station) {
    s_retry.active = true;
    s_retry.station = station;
    s_retry.attempt = 0;
    s_retry.startMs = ClockMs();
    ++s_retry.serial;
  }
  PushAttempt(obj, station, s_retry.serial, 2000);
}

void EndReconnect() {
  std::lock_guard l(s_retry.lock);
  if (!s_retry.active) return;
  s_retry.active = false;
  ++s_retry.serial;
}

LONG TakeReconnect(ULONG serial) {
  std::lock_guard l(s_retry.lock);
  if (!s_retry.active || s_retry.serial != serial) return -1;
  ++s_retry.attempt;
  return s_retry.station;
}

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
  const ULONG ticket = ++s_startedTickets;
  const ULONG retrySerial = ticket == s_retryTicket.load() ? s_retryTicketSerial.load() : 0;
  const ULONG attempt = retrySerial ? RetryAttemptOf(retrySerial) : 0;
  if (index < 0) return 0;
  // Given up before it began: a later choice, or the clean-up, came first.
  if (Aborted(ticket)) return 0;
  std::string name, stream;
  if (!GetStation(index, &name, nullptr, &stream)) return 0;

  Object *proc = g.arexxProcess.load();
  ConnectMark mark;
  if (proc) DoMethod(proc, MUIM_Semaphore_Obtain);
  Object *app = _app(obj);

  if (!g.recOut.load() && g.timerAdded.load()) RemoveWatchdog(app);
  if (g.infoText.IsSet() || g.infoBubble.load()) DoMethod(obj, MM_Melodune_DeleteAudioInfo);

  // No second choice while this one connects; but Stop, to give up on a
  // server that keeps us waiting.
  RunOnGuiTask(obj, [] {
    if (Object *menu = g.menu.load()) SetMenuEnabled(menu, FALSE);
    if (Object *stop = g.itemStop.load()) SetAttrs(stop, MUIA_Menuitem_Enabled, TRUE);
  });

  const std::string connecting =
      attempt ? "Reconnecting to\240\33b" + name + "\33n (attempt " + std::to_string(attempt) + ")..."
              : "Connecting to\240\33b" + name + "\33n...";
  SleepWindows(app, TRUE);
  DoMethod(obj, MM_Melodune_CreateBubble, connecting.c_str());

  if (g.Out.load()) g.state = g.recOut.load() ? MELODUNE_RECORDING : MELODUNE_STOPPED;
  g.Out = nullptr;
  if (Object *cur = g.currObj.load()) MeloPush(cur, 0, MM_Melodune_Redraw);

  LONG error = MMERR_OK, response = 0;
  CONST_STRPTR errorText = nullptr;
  bool built = SetupStream(stream.c_str());
  Object *out = built ? GetAudioObj() : nullptr;
  if (!built || !out) {
    error = PlayErrorCodeNow();
    response = PlayResponseCodeNow();
    if (error == MMERR_OK) error = MMERR_NO_MEMORY; // an object that could not be made
  } else {
    response = PlayResponseCodeNow();
    if (Aborted(ticket)) {
      error = MMERR_ABORTED;
    } else if (!DoMethod(out, MMM_Play)) {
      error = static_cast<LONG>(static_cast<SIPTR>(Port0(out, MMA_ErrorCode)));
      if (error == MMERR_OK) error = MMERR_NO_TASK;
    } else {
      error = WaitForFirstAudio(out, ticket, &errorText);
    }
  }

  std::string failure;
  if (error == MMERR_OK) {
    g.Out = out;
    g.currStation = index;
    // The spare slot of a test is never remembered.
    if (index != g.numStations.load()) SetVar(LastStationVar, name.c_str(), -1, GVF_GLOBAL_ONLY | GVF_SAVE_VAR);
    DoMethod(obj, MM_Melodune_DeleteBubble);
    g.state = g.recOut.load() ? MELODUNE_RECORDING : MELODUNE_PLAYING;
    if (retrySerial) EndReconnect();
    ResetStallWatch();
    DoMethod(obj, MM_Melodune_AudioInfo, index);
    if (g.timerAdded.load()) RemoveWatchdog(app);
    if (app) DoMethod(app, MUIM_Application_AddInputHandler, &g.timerIhn);
    g.timerAdded = 1;
    g.title.Clear();
    MeloPush(obj, 0, MM_Melodune_UpdateStreamInfo);
    if (Object *cur = g.currObj.load()) MeloPush(cur, 0, MM_Melodune_Redraw);
  } else {
    // Nothing plays through a half-built chain, and no disconnect would
    // ever come for it: take it down now rather than at the next connect.
    g.isInStreamCleanup = 1;
    FreePlayPipeline();
    g.isInStreamCleanup = 0;
    // A connect the user gave up (Stop, another station, the clean-up) is
    // not worth a requester; an attempt of a reconnect only when the last.
    const bool report = retrySerial ? RetryFailed(obj, retrySerial) : !Aborted(ticket);
    if (report)
      failure = FormatValues(FailedFormat, {reinterpret_cast<IPTR>(stream.c_str()), reinterpret_cast<IPTR>(name.c_str()),
                                          static_cast<IPTR>(static_cast<SIPTR>(error)),
                                          reinterpret_cast<IPTR>(errorText ? errorText : MediaFault(error)),
                                          static_cast<IPTR>(static_cast<SIPTR>(response)),
                                          reinterpret_cast<IPTR>(HttpStatusText(response))},
                             2048);
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

  // The requester comes last, when the connect is over: this worker's next
  // job waits for it, as it would for a queued warning, and the text it
  // shows belongs to this connect alone.
  if (!failure.empty()) DoMethod(obj, MM_Melodune_Warning, "%s", failure.c_str());
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
  if (reconnect && prevStation >= 0) BeginReconnect(obj, prevStation);

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
  if (!PlayOutputStopped() && !StreamStalled()) return 0;
  MeloPush(obj, 0, MM_Melodune_CreateBubble, "Playing stream stopped!");
  MeloPush(obj, 2000, MM_Melodune_DeleteBubble);
  if (Object *slave = g.slaveConnection.load()) DoMethod(slave, MM_Melodune_XDisConnect, 1);
  return 0;
}
