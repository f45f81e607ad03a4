// The ARexx process: the public port "MELODUNE", the update check and the
// end of the station-directory download, all away from the GUI task.
//
// Melodune_Process_Process is the process's whole life, on its own task:
// scripts are answered there (a PLAY tries the connection semaphore, never
// waits for it), CTRL-D starts an update check on a task of its own, CTRL-F
// pushes the parsing of a finished download to the GUI task. The port and
// the check's state belong to this task alone and need no lock.
#include <atomic>
#include <cstdio>
#include <cstring>

#include "ARexx.h"
#include "Melodune.h"
#include "dos/dos.h"
#include "rexx/rexx.h"
#include "update/Update.h"

namespace {

struct MsgPort *s_port = nullptr;
char s_portName[80];
struct Library *RexxSysBase = nullptr;
bool s_portReady = false;

const char NewVersionBubble[] =
    "\33c\33b\33uMelodune\33n\nThere is a new version available!\nSelect the 'UpdateCheck...' menuitem for more!";

void Answer(struct RexxMsg *rm, LONG rc, IPTR result) {
  rm->rm_Result1 = rc;
  rm->rm_Result2 = result;
  ReplyMsg(&rm->rm_Node);
}

// Gives back a message that arrived here: only a REXX message has result
// fields; a plain one is smaller and goes back as it came.
void Refuse(struct Message *m) {
  auto *rm = reinterpret_cast<struct RexxMsg *>(m);
  if (IsRexxMsg(rm)) Answer(rm, RC_ERROR, 0);
  else ReplyMsg(m);
}

// The update check runs on a task of its own, so that the port goes on
// answering scripts while the check waits on the network or on the person.
// Checks never overlap: a request that comes meanwhile runs after it.
struct CheckState {
  struct Task *task = nullptr;
  std::atomic<LONG> result{0};
  std::atomic<bool> finished{false};
  LONG mode = 0;
  bool pending = false;
  BYTE doneSig = -1;
};
CheckState s_check;

void StartUpdateCheck() {
  if (s_check.task) {
    s_check.pending = true;
    return;
  }
  Object *main = g.obj.load();
  IPTR mode = 0;
  if (main) GetAttr(MUIA_UserData, main, &mode);
  s_check.mode = static_cast<LONG>(mode);
  struct Task *me = FindTask(nullptr);
  const ULONG done = s_check.doneSig >= 0 ? 1UL << s_check.doneSig : 0;
  // Asked from the menu it may ask the person; the automatic one is quiet.
  const UWORD quiet = mode ? 1 : 0;
  s_check.finished = false;
  s_check.task = platform::CreateTask("Melodune UpdateCheck", 0, [me, done, quiet] {
    s_check.result = UpdateCheck("Melodune_sbar", "3.5", quiet, nullptr);
    s_check.finished = true;
    if (done) Signal(me, done);
  });
  if (!s_check.task) DLOG("Melodune_Process_Process", "Failed to start the update check!\n");
}

void FinishUpdateCheck() {
  if (!s_check.task || !s_check.finished.load()) return;
  platform::JoinTask(s_check.task);
  s_check.task = nullptr;
  const LONG result = s_check.result.load();
  g.newVersionAvailable = result == 1 ? 1 : 0;
  if (s_check.mode != 0 && result == 1) {
    Object *cur = g.currObj.load();
    MeloPush(cur, 0, MM_Melodune_CreateBubble, NewVersionBubble);
    MeloPush(cur, 10000, MM_Melodune_DeleteBubble);
  }
  if (s_check.pending) {
    s_check.pending = false;
    StartUpdateCheck();
  }
}

// At the end of the process: a check still waiting on the network gives up
// (CTRL-C breaks its pulls); one waiting on the person is waited for.
void EndUpdateCheck() {
  s_check.pending = false;
  if (s_check.task) {
    Signal(s_check.task, SIGBREAKF_CTRL_C);
    platform::JoinTask(s_check.task);
    s_check.task = nullptr;
  }
}

} // namespace

BOOL InitARexx(CONST_STRPTR baseName, BOOL exact) {
  if (!(RexxSysBase = OpenLibrary("rexxsyslib.library", 0))) return FALSE;
  for (LONG n = 1;; ++n) {
    if (exact) std::snprintf(s_portName, sizeof(s_portName), "%s", baseName);
    else std::snprintf(s_portName, sizeof(s_portName), "%s.%d", baseName, static_cast<int>(n));
    Forbid();
    const bool taken = FindPort(s_portName) != nullptr;
    Permit();
    // The exact name is taken even when another host has it already.
    if (exact || !taken) break;
  }
  if (!(s_port = CreateMsgPort())) {
    CloseLibrary(RexxSysBase);
    RexxSysBase = nullptr;
    return FALSE;
  }
  s_port->mp_Node.ln_Name = s_portName;
  s_port->mp_Node.ln_Pri = 0;
  AddPort(s_port);
  s_portReady = true;
  HandleARexx();
  return TRUE;
}

void HandleARexx() {
  if (!s_port) return;
  while (struct Message *m = GetMsg(s_port)) {
    auto *rm = reinterpret_cast<struct RexxMsg *>(m);
    if (!IsRexxMsg(rm) || (static_cast<ULONG>(rm->rm_Action) & RXCODEMASK) != RXCOMM) {
      // Not a command: nothing is run, but the sender gets its message back.
      Refuse(m);
      continue;
    }
    const LONG rc = ExecuteARexxCommand(ARG0(rm));
    IPTR result = 0;
    if (rc == RC_OK && (static_cast<ULONG>(rm->rm_Action) & RXFF_RESULT)) {
      CONST_STRPTR text = ARexxResult();
      result = reinterpret_cast<IPTR>(CreateArgstring(text, static_cast<ULONG>(std::strlen(text))));
    }
    Answer(rm, rc, result);
  }
}

void CloseARexx() {
  if (s_port) {
    // Whatever still waits is refused, before and after the name goes.
    Forbid();
    while (struct Message *m = GetMsg(s_port)) Refuse(m);
    Permit();
    RemPort(s_port);
    Forbid();
    while (struct Message *m = GetMsg(s_port)) Refuse(m);
    Permit();
    DeleteMsgPort(s_port);
    s_port = nullptr;
  }
  s_portReady = false;
  CloseLibrary(RexxSysBase);
  RexxSysBase = nullptr;
}

MELODUNE_HANDLER(Melodune_Process_Process) {
  (void)cl;
  auto *m = reinterpret_cast<struct MUIP_Process_Process *>(msg);
  ULONG mask = SIGBREAKF_CTRL_C;
  if (!InitARexx("MELODUNE", TRUE)) DLOG("Melodune_Process_Process", "Failed to initialize ARexx port!\n");
  else mask = 1UL << s_port->mp_SigBit;

  s_check.doneSig = AllocSignal(-1);
  const ULONG checkDone = s_check.doneSig >= 0 ? 1UL << s_check.doneSig : 0;

  // The process object sets the flag from the GUI task.
  while (!__atomic_load_n(m->kill, __ATOMIC_ACQUIRE)) {
    const ULONG sigs = Wait(mask | checkDone | SIGBREAKF_CTRL_C | SIGBREAKF_CTRL_D | SIGBREAKF_CTRL_F);
    if (s_port && (sigs & (1UL << s_port->mp_SigBit))) HandleARexx();
    if (sigs & SIGBREAKF_CTRL_F) MeloPush(obj, 0, MM_Melodune_ParseStations);
    FinishUpdateCheck(); // its signal only wakes the loop
    if (sigs & SIGBREAKF_CTRL_D) StartUpdateCheck();
    // CTRL-C only wakes the loop to look at the stop flag.
  }

  EndUpdateCheck();
  if (s_check.doneSig >= 0) FreeSignal(s_check.doneSig);
  s_check.doneSig = -1;

  if (Object *app = _app(obj)) DoMethod(app, MUIM_Application_KillPushMethod, obj, 0, 0);
  if (s_portReady) CloseARexx();
  return 0;
}
