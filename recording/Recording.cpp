// The recorder: runs in the Rec slave only. Everything that must happen on
// the GUI task (bubbles that outlive the call, the Stream Info refresh, the
// redraw, the menu item, the follow-up toggle) is queued there.
//
// Melodune_XRecord comes from the menu action and from the clean-up,
// Melodune_XCheckRecStopped from the watchdog; both run on the Rec slave and
// take no lock of their own (station names are read under the station
// list's shared lock inside the station accessors).
#include <algorithm>
#include <cstring>
#include <string>

#include "Recording.h"

#include "Melodune.h"
#include "exec/text.h"
#include "playback/Playback.h"
#include "playback/Playback_private.h"
#include "reggae/reggae.h"
#include "stations/Stations.h"
#include "update/HttpStatus.h"

namespace {

const char UserAgent[] = "Melodune.sbar 3.5";
const char BufferName[] = "Melodune Rec StreamBuffer";
const char OutputName[] = "Melodune Rec FileOuput";

const char HttpFailed[] = "\33cFailed to create the recording http.stream!\n\nErrorCode = %ld (%s)\nResponseCode = "
                          "%ld (%s)";
const char BufferFailed[] = "Failed to create recording stream.buffer";
const char ConnectFailed[] = "Failed to connect recStream and recBuffer";
const char OutputFailed[] = "Failed to create file.output for '%s'";
const char OutputConnectFailed[] = "Failed to connect recBuffer and recOut!";
const char Aborted[] = "\33cRecording was aborted!\n\nErrorCode = %ld (%s)";

IPTR Signed(LONG v) { return static_cast<IPTR>(static_cast<SIPTR>(v)); }

// A warning's text, formatted at once: the requester is shown when the
// worker's job is over, and a text of its own cannot be overwritten by the
// next job meanwhile.
std::string Warn(CONST_STRPTR format, IPTR v1 = 0, IPTR v2 = 0, IPTR v3 = 0, IPTR v4 = 0) {
  char text[REC_NAME_SIZE + 256];
  const IPTR v[] = {v1, v2, v3, v4};
  VSNPrintf(text, sizeof(text), format, v);
  return text;
}

void ShowWarning(Object *obj, const std::string &text) {
  if (!text.empty()) DoMethod(obj, MM_Melodune_Warning, "%s", text.c_str());
}

void SetRecordItem(Object *obj, bool recording, bool disable) {
  RunOnGuiTask(obj, [recording, disable] {
    Object *item = g.itemRecord.load();
    if (!item) return;
    SetAttrs(item, MUIA_Menuitem_Title, recording ? "Stop Recording" : "Record");
    if (disable) SetAttrs(item, MUIA_Menuitem_Enabled, FALSE);
  });
}

void Dispose(std::atomic<Object *> &slot) {
  if (Object *o = slot.exchange(nullptr)) DisposeObject(o);
}

void StartRecording(Object *obj) {
  const LONG station = g.currStation.load();
  std::string name, url;
  if (station < 0 || !GetStation(station, &name, nullptr, &url)) return;
  Object *cur = g.currObj.load();
  if (cur) DoMethod(cur, MM_Melodune_CreateBubble, "Preparing\xA0recording...");

  struct Library *httpBase = OpenLibrary("multimedia/http.stream", 51);
  const UWORD version = httpBase ? httpBase->lib_Version : 51;
  CloseLibrary(httpBase);
  Tag addrTag = 0;
  CONST_STRPTR addr = HttpStreamAddress(version, url.c_str(), &addrTag);
  LONG error = 0, response = 0;

  // One exit: whatever was made goes again, last first.
  int cleanup = 0;
  std::string warning;
  char fileName[REC_NAME_SIZE];
  std::string date, time;
  g.recStream = NewObject(nullptr, "http.stream", addrTag, addr, MMA_Http_UserAgent, UserAgent, MMA_ErrorCode,
                          &error, MMA_Http_ResponseCode, &response);
  if (!g.recStream.load()) {
    warning = Warn(HttpFailed, Signed(error), reinterpret_cast<IPTR>(MediaFault(error)), Signed(response),
         reinterpret_cast<IPTR>(HttpStatusText(response)));
    cleanup = 1;
  } else if (!(g.recBuffer = NewObject(nullptr, "stream.buffer", MMA_ObjectName, BufferName, MMA_OwnTask, 1))) {
    warning = Warn(BufferFailed);
    cleanup = 2;
  } else if (!MediaConnect(g.recStream.load(), 0, g.recBuffer.load(), 0)) {
    warning = Warn(ConnectFailed);
    cleanup = 3;
  } else {
    IPTR path = 0;
    if (!DoMethod(obj, MUIM_GetConfigItem, CFG_RecordPath, &path) || !path) path = reinterpret_cast<IPTR>("RAM:");
    struct DateStamp now;
    DateStamp(&now);
    BuildRecordFileName(reinterpret_cast<CONST_STRPTR>(path), name.c_str(), &now, fileName, &date, &time);
    if (!(g.recOut = NewObject(nullptr, "file.output", MMA_StreamName, fileName, MMA_ObjectName, OutputName,
                               MMA_OwnTask, 1))) {
      warning = Warn(OutputFailed, reinterpret_cast<IPTR>(fileName));
      cleanup = 3;
    } else if (!MediaConnect(g.recBuffer.load(), 1, g.recOut.load(), 0)) {
      warning = Warn(OutputConnectFailed);
      Dispose(g.recOut);
      cleanup = 3;
    }
  }

  if (cleanup) {
    if (cleanup >= 3) Dispose(g.recBuffer);
    if (cleanup >= 2) Dispose(g.recStream);
    if (cur) DoMethod(cur, MM_Melodune_DeleteBubble);
    ShowWarning(obj, warning);
    return;
  }

  SetRecordItem(obj, true, false);
  const BYTE sig = AllocSignal(-1);
  g.recSig = sig;
  // Without a signal the recording only ends when the user stops it.
  if (sig != -1) DoMethod(g.recOut.load(), MMM_SignalAtEnd, FindTask(nullptr), static_cast<IPTR>(sig));
  DoMethod(g.recOut.load(), MMM_Play);
  if (cur) DoMethod(cur, MM_Melodune_DeleteBubble);

  g.state = MELODUNE_RECORDING;
  g.recStation = station;
  g.recDate.Set(date.c_str());
  g.recTime.Set(time.c_str());
  g.recFileName.Set(fileName);
  DTRACE("Melodune_XRecord", "Recording to %s\n", fileName);

  char bubble[REC_NAME_SIZE + 64];
  SNPrintf(bubble, sizeof(bubble), "\33cStarted rec\x9b" "ording to\n\33b%s", fileName);
  MeloPush(obj, 0, MM_Melodune_UpdateStreamInfo);
  if (cur && DoMethod(cur, MM_Melodune_CreateBubble, bubble)) MeloPush(cur, 2000, MM_Melodune_DeleteBubble);
  if (cur) MeloPush(cur, 0, MM_Melodune_Redraw);
}

void StopRecording(Object *obj, bool quiet) {
  Object *cur = g.currObj.load();
  if (cur) MeloPush(cur, 0, MM_Melodune_CreateBubble, "Stoping\xA0recording...");

  if (Object *out = g.recOut.load()) DoMethod(out, MMM_Stop);
  Dispose(g.recOut);
  Dispose(g.recBuffer);
  Dispose(g.recStream);
  const BYTE sig = g.recSig.exchange(-1);
  if (sig != -1) FreeSignal(sig);

  g.state = g.Out.load() ? MELODUNE_PLAYING : MELODUNE_STOPPED;
  if (g.state.load() == MELODUNE_STOPPED && g.timerAdded.load()) {
    if (Object *app = _app(obj)) DoMethod(app, MUIM_Application_RemInputHandler, &g.timerIhn);
    g.timerAdded = 0;
    g.title.Clear();
  }
  g.recStation = -1;
  g.recTime.Clear();
  g.recDate.Clear();
  g.recFileName.Clear();

  if (!quiet) {
    SetRecordItem(obj, false, g.currStation.load() == -1);
    MeloPush(obj, 0, MM_Melodune_UpdateStreamInfo);
    if (cur) MeloPush(cur, 0, MM_Melodune_Redraw);
  }
  if (cur) MeloPush(cur, 1000, MM_Melodune_DeleteBubble);
}

} // namespace

void BuildRecordFileName(CONST_STRPTR path, CONST_STRPTR station, const struct DateStamp *when, STRPTR out,
                         std::string *date, std::string *time) {
  char day[LEN_DATSTRING] = {}, clock[LEN_DATSTRING] = {};
  struct DateTime dt{};
  dt.dat_Stamp = *when;
  dt.dat_Format = FORMAT_CDN;
  dt.dat_StrDate = day;
  dt.dat_StrTime = clock;
  const bool dated = DateToStr(&dt) != DOSFALSE;
  if (date) *date = dated ? day : "";
  if (time) *time = dated ? clock : "";

  // The end of the name: "_dd-mm-yy_hhmmss.mp3".
  std::string tail;
  if (dated) {
    tail = std::string("_") + day + "_";
    for (size_t i = 0; i < 8 && clock[i]; ++i)
      if (clock[i] != ':') tail += clock[i];
  }
  tail += ".mp3";

  out[0] = 0;
  AddPart(out, path ? path : "", REC_NAME_SIZE);
  // The station gives way to the date and the extension: it is cut to
  // what is left after the drawer, its separator and the tail.
  const size_t used = std::strlen(out);
  const bool needsSlash = used && out[used - 1] != ':' && out[used - 1] != '/';
  const size_t fixed = used + (needsSlash ? 1 : 0) + tail.size();
  if (fixed >= REC_NAME_SIZE) {
    out[0] = 0; // not even the tail fits behind the drawer: no name
    return;
  }
  char work[REC_STATION_SIZE];
  const size_t room = std::min(sizeof(work) - 1, REC_NAME_SIZE - 1 - fixed);
  std::strncpy(work, station ? station : "", room);
  work[room] = 0;
  // The group path must not become drawers (nor a volume).
  for (char *c = work; *c; ++c)
    if (*c == ':' || *c == '/') *c = '_';
  if (*work) AddPart(out, work, REC_NAME_SIZE);
  std::strncat(out, tail.c_str(), REC_NAME_SIZE - 1 - std::strlen(out));
}

namespace {

// The file being recorded is open for writing, and that open excludes
// every lock: its size is read from its drawer's entry instead.
QUAD SizeFromDrawer(CONST_STRPTR name) {
  std::string drawer(name, static_cast<size_t>(PathPart(name) - name));
  CONST_STRPTR file = FilePart(name);
  QUAD size = -1;
  BPTR lock = Lock(drawer.c_str(), ACCESS_READ);
  auto *fib = lock ? static_cast<struct FileInfoBlock *>(AllocDosObject(DOS_FIB, nullptr)) : nullptr;
  if (fib && Examine64(lock, fib)) {
    while (ExNext64(lock, fib)) {
      if (platform::EqualsNoCaseLatin1(fib->fib_FileName, file)) {
        if (fib->fib_DirEntryType == ST_FILE) size = fib->fib_Size64;
        break;
      }
    }
  }
  if (fib) FreeDosObject(DOS_FIB, fib);
  UnLock(lock);
  return size;
}

} // namespace

QUAD Filesize64(CONST_STRPTR name, UWORD quiet) {
  QUAD size = -1;
  BPTR lock = name && name[0] ? Lock(name, ACCESS_READ) : 0;
  if (!lock) {
    if (name && name[0] && IoErr() == ERROR_OBJECT_IN_USE && (size = SizeFromDrawer(name)) >= 0) return size;
    if (!quiet) DLOG("Filesize64", "Lock(%s) failed!\n", name ? name : "");
    return -1;
  }
  auto *fib = static_cast<struct FileInfoBlock *>(AllocDosObject(DOS_FIB, nullptr));
  if (!fib) {
    if (!quiet) DLOG("Filesize64", "AllocDosObject(DOS_FIB) failed!\n");
  } else if (!Examine64(lock, fib)) {
    if (!quiet) DLOG("Filesize64", "Examine64() failed!\n");
  } else if (fib->fib_DirEntryType != ST_FILE) {
    if (!quiet) DLOG("Filesize64", "%s is not a file!\n", name);
  } else {
    size = fib->fib_Size64;
  }
  if (fib) FreeDosObject(DOS_FIB, fib);
  UnLock(lock);
  return size;
}

MELODUNE_HANDLER(Melodune_XRecord) {
  (void)cl;
  const bool quiet = reinterpret_cast<MP_Melodune_Flag *>(msg)->flag != 0;
  g.isInSlaveRec = 1;
  if (g.recOut.load()) StopRecording(obj, quiet);
  else StartRecording(obj);
  g.isInSlaveRec = 0;
  return 0;
}

MELODUNE_HANDLER(Melodune_XCheckRecStopped) {
  (void)cl, (void)msg;
  g.isInSlaveRec = 1;
  const BYTE sig = g.recSig.load();
  const bool ended = sig != -1 && (CheckSignal(1UL << sig) & (1UL << sig));
  std::string warning;
  if (g.recOut.load() && ended) {
    // Why it ended: the file (a full drawer) before the stream.
    auto error = static_cast<LONG>(MediaGetPort(g.recOut.load(), 0, MMA_ErrorCode));
    if (error == MMERR_OK || error == MMERR_END_OF_DATA || error == MMERR_ABORTED)
      error = static_cast<LONG>(MediaGetPort(g.recBuffer.load(), 0, MMA_ErrorCode));
    // The end of the data is how a server's close reads: not an abort.
    if (error && error != MMERR_END_OF_DATA)
      warning = Warn(Aborted, Signed(error), reinterpret_cast<IPTR>(MediaFault(error)));
    MeloPush(obj, 0, MM_Melodune_CreateBubble, "Recording stream stopped!");
    MeloPush(obj, 0, MM_Melodune_MenuAction, MENU_RECORD);
    MeloPush(obj, 2000, MM_Melodune_DeleteBubble);
  }
  g.isInSlaveRec = 0;
  ShowWarning(obj, warning);
  return 0;
}
