// The ARexx command interpreter. It runs on the ARexx process and never
// calls the player: every request is queued to the GUI task, and the
// answer says what was asked for.
#include <cstring>
#include <string>
#include <vector>

#include "ARexx.h"
#include "Melodune.h"
#include "Melodune_args.h"
#include "dos/dos.h"
#include "dos/rdargs.h"
#include "exec/text.h"
#include "playback/Playback.h"
#include "recording/Recording.h"
#include "reggae/reggae.h"
#include "rexx/rexx.h"
#include "stations/Stations.h"

const char ARexxHelpText[] =
    "ARexxCommands for Melodune:\n"
    "  HELP\n"
    "  - show this help\n"
    "\n"
    "  PLAY STATION/F,NEXT/S,PREV/S,LAST=LASTUSED/S,INFO/S\n"
    "  - start playing STATION, NEXT/PREV will play next/prev station\n"
    "  - STATION can be a name or the index number from 0 to max. stations-1\n"
    "  - LASTUSED will play last used station (the station before stopping)\n"
    "  - INFO opens the Stream Info window\n"
    "\n"
    "  REC STOP/S,INFO/S\n"
    "  - toggle recording from the currently playing station\n"
    "  - STOP stops the recording\n"
    "  - INFO shows information about the currently recording station (if any)\n"
    "\n"
    "  STOP\n"
    "  - stop playing\n"
    "\n"
    "  MUTE\n"
    "  - mute/unmute\n"
    "\n"
    "  GET TITLE/S,STATE/S,STATION/S,LIST=STATIONLIST/S\n"
    "  - get the current title, state (Playing, Stoped, Recording), station name or station list";

namespace {

struct Command {
  CONST_STRPTR word;
  CONST_STRPTR argTemplate;
  LONG slots;
  LONG number;
};

const Command Commands[] = {
    {"HELP", nullptr, 0, AREXX_HELP},
    {"PLAY", "STATION/F,NEXT/S,PREV/S,LAST=LASTUSED/S,INFO/S", 5, AREXX_PLAY},
    {"REC", "STOP/S,INFO/S", 2, AREXX_REC},
    {"STOP", nullptr, 0, AREXX_STOP},
    {"MUTE", nullptr, 0, AREXX_MUTE},
    {"GET", "TITLE/S,STATE/S,STATION/S,LIST=STATIONLIST/S", 4, AREXX_GET},
};

enum { PLAY_STATION, PLAY_NEXT, PLAY_PREV, PLAY_LASTUSED, PLAY_INFO };
enum { REC_STOP, REC_INFO };
enum { GET_TITLE, GET_STATE, GET_STATION, GET_LIST };

const char LastStationVar[] = "Melodune_LastStation";
constexpr LONG LoadWaitSteps = 50;
constexpr LONG LoadWaitTicks = 10;

char s_result[AREXX_RESULT_SIZE];

void SetResult(CONST_STRPTR text) {
  std::strncpy(s_result, text, sizeof(s_result) - 1);
  s_result[sizeof(s_result) - 1] = 0;
}
template <typename... A> void FormatResult(CONST_STRPTR format, A... values) {
  SNPrintf(s_result, sizeof(s_result), format, values...);
}

// Queued to the GUI task: the player is never touched from here.
void Queue(IPTR method, IPTR arg) { MeloPush(g.currObj.load(), 0, method, arg); }
void Queue(IPTR method) { MeloPush(g.currObj.load(), 0, method); }

// Loads the list when there is none; false when there is still none after 10 s.
// A list that was loaded and holds no station is a list: it is not read again.
bool HaveStations() {
  if (!g.stations.load()) {
    const ULONG before = StationListLoads();
    Queue(MM_Melodune_LoadStations);
    // Until the load ran, whatever it found.
    for (LONG i = 0; i < LoadWaitSteps && !g.stations.load() && StationListLoads() == before; ++i)
      Delay(LoadWaitTicks);
  }
  return g.stations.load() && g.numStations.load() > 0;
}

std::string StationName(LONG index) {
  std::string name;
  // The spare slot (index == numStations) holds a station under test.
  if (index < 0 || index > g.numStations.load() || !GetStation(index, &name, nullptr, nullptr)) return {};
  return name;
}

void Play(IPTR *args) {
  // The connection lock is only tried: a script never waits for a connect.
  Object *proc = g.arexxProcess.load();
  if (proc && !DoMethod(proc, MUIM_Semaphore_Attempt)) {
    SetResult("Warning: In connection phase!");
    return;
  }

  [&] {
    if (!HaveStations()) {
      SetResult("Warning: No Stations available!");
      return;
    }
    if (args[PLAY_INFO]) {
      Queue(MM_Melodune_MenuAction, MENU_STREAMINFO);
      return;
    }

    // Room for any name the list can hold, so that a long one is found again.
    char last[STATION_LINE_SIZE] = {};
    CONST_STRPTR requested = nullptr;
    if (args[PLAY_LASTUSED]) {
      if (!g.Out.load()) {
        if (GetVar(LastStationVar, last, sizeof(last), GVF_GLOBAL_ONLY) < 0) {
          SetResult("Warning: No last station available!");
          return;
        }
        requested = last;
      }
    } else {
      requested = reinterpret_cast<CONST_STRPTR>(args[PLAY_STATION]);
    }

    const LONG num = g.numStations.load();
    LONG index;
    if (requested) {
      LONG value = 0;
      const LONG used = StrToLong(requested, &value);
      if (used > 0 && static_cast<size_t>(used) == std::strlen(requested)) {
        index = value < 0 ? 0 : value >= num ? num - 1 : value;
      } else {
        index = FindStationByName(requested);
        if (index < 0) index = num;
      }
    } else {
      index = g.currStation.load();
      if (args[PLAY_NEXT] && ++index >= num) index = 0;
      if (args[PLAY_PREV] && --index < 0) index = num - 1;
    }

    if (index >= 0 && index < num) {
      const std::string name = StationName(index);
      if (index != g.currStation.load()) Queue(MM_Melodune_MenuAction, static_cast<IPTR>(index) + MENU_FIRSTSTATION);
      FormatResult("Playing %s", name.c_str());
    } else if (index == num && requested) {
      FormatResult("Warning: Station '%s' not found!", requested);
    } else if (!s_result[0]) {
      SetResult("Warning: An argument is missing!");
    }
  }();

  if (proc) DoMethod(proc, MUIM_Semaphore_Release);
}

void Rec(IPTR *args) {
  const bool recording = g.recOut.load() != nullptr;
  if (!g.Out.load() && !recording) {
    SetResult("Warning: Can't record if nothing plays!");
  } else if (g.isInSlaveRec.load()) {
    SetResult("Warning: Busy, try again in a second!");
  } else if (args[REC_INFO]) {
    if (recording) {
      const std::string name = StationName(g.recStation.load());
      const std::string date = g.recDate.Get(), time = g.recTime.Get(), file = g.recFileName.Get();
      const QUAD size = Filesize64(file.c_str(), 0);
      FormatResult("Recording from '%s', since %s (%s), filesize: %LD bytes", name.c_str(), date.c_str(),
                   time.c_str(), size);
    } else {
      SetResult("Warning: Nothing is recording!");
    }
  } else if (args[REC_STOP] && !recording) {
    SetResult("Warning: Nothing is recording!");
  } else {
    SetResult(recording ? "Stopping recording..." : "Preparing recording...");
    Queue(MM_Melodune_MenuAction, MENU_RECORD);
  }
}

void Stop() {
  // A connect in progress is stopped as well: it gives up at once.
  if (g.Out.load() || ConnectRunning()) {
    SetResult("Stopped");
    Queue(MM_Melodune_MenuAction, MENU_STOP);
  } else {
    SetResult("Warning: Nothing plays!");
  }
}

void Mute() {
  IPTR muted = 0;
  {
    auto lock = LockPlayChain();
    Object *out = g.Out.load();
    if (!out) {
      SetResult("Warning: Nothing plays!");
      return;
    }
    muted = MediaGetPort(out, 0, MMA_Sound_Mute);
  }
  Queue(MM_Melodune_MenuAction, MENU_MUTE);
  Queue(MM_Melodune_Redraw);
  SetResult(muted ? "Unmuted" : "Muted");
}

void Get(IPTR *args) {
  if (!HaveStations()) {
    SetResult("Warning: No stations available!");
  } else if (args[GET_TITLE]) {
    if (!g.title.IsSet()) {
      SetResult("Warning: No title available!");
      return;
    }
    g.title.CopyTo(s_result, sizeof(s_result));
    for (char *c = s_result; *c; ++c)
      if (static_cast<unsigned char>(*c) == 0xA0) *c = ' ';
  } else if (args[GET_STATE]) {
    switch (g.state.load()) {
    case MELODUNE_STOPPED: SetResult("Stoped"); break;
    case MELODUNE_PLAYING: SetResult("Playing"); break;
    case MELODUNE_RECORDING: SetResult("Recording"); break;
    default: break;
    }
  } else if (args[GET_STATION]) {
    const LONG current = g.currStation.load();
    const std::string name = StationName(current);
    if (current < 0) SetResult("Warning: Nothing plays!");
    else SetResult(name.c_str());
  } else if (args[GET_LIST]) {
    const std::vector<std::string> names = StationNames();
    std::string list;
    for (size_t i = 0; i < names.size(); ++i) {
      // Whole names only.
      if (list.size() + names[i].size() > AREXX_RESULT_SIZE - 2) break;
      list += names[i];
      if (i + 1 < names.size()) list += '\n';
    }
    SetResult(list.c_str());
  } else {
    SetResult("Warning: An argument is missing!");
  }
}

} // namespace

CONST_STRPTR ARexxResult() { return s_result; }

LONG RunARexxCommand(LONG command, IPTR *args) {
  s_result[0] = 0;
  static IPTR none[5] = {};
  if (!args) args = none;
  switch (command) {
  case AREXX_HELP: SetResult(ARexxHelpText); break;
  case AREXX_PLAY: Play(args); break;
  case AREXX_REC: Rec(args); break;
  case AREXX_STOP: Stop(); break;
  case AREXX_MUTE: Mute(); break;
  case AREXX_GET: Get(args); break;
  default: return RC_ERROR;
  }
  return RC_OK;
}

LONG ExecuteARexxCommand(CONST_STRPTR line) {
  s_result[0] = 0;
  if (!line) line = "";
  const size_t n = std::strcspn(line, " ");
  const Command *cmd = nullptr;
  for (const Command &c : Commands) {
    // Over the word's own length: a prefix chooses the first command it begins.
    if (std::strlen(c.word) >= n && platform::EqualsNoCaseLatin1({c.word, n}, {line, n})) {
      cmd = &c;
      break;
    }
  }
  if (!cmd) return RC_ERROR;
  if (!cmd->argTemplate) return RunARexxCommand(cmd->number, nullptr);

  CONST_STRPTR rest = line + n + (line[n] ? 1 : 0);
  std::vector<IPTR> args(static_cast<size_t>(cmd->slots), 0);
  struct RDArgs *rda = ReadArgsString(cmd->argTemplate, rest, args.data());
  if (!rda) return RC_ERROR;
  const LONG rc = RunARexxCommand(cmd->number, args.data());
  FreeArgsString(rda);
  return rc;
}
