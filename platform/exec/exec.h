// Tasks, signals, semaphores, lists, message ports, delays and memory.
//
// A task is a thread with a name and a 32-bit signal mask. Threads the
// platform did not start (the main thread, library threads) get a task the
// first time they call into exec. Every call here is thread-safe unless a
// comment says otherwise.
#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>

#include "exec/tags.h"
#include "exec/types.h"

// ---- lists ---------------------------------------------------------------

struct Node {
  struct Node *ln_Succ;
  struct Node *ln_Pred;
  UBYTE ln_Type;
  BYTE ln_Pri;
  char *ln_Name;
};

struct MinNode {
  struct MinNode *mln_Succ;
  struct MinNode *mln_Pred;
};

// Classic exec list: head and tail nodes overlap in lh_Head/lh_Tail/lh_TailPred.
struct List {
  struct Node *lh_Head;
  struct Node *lh_Tail;
  struct Node *lh_TailPred;
  UBYTE lh_Type;
  UBYTE l_pad;
};

struct MinList {
  struct MinNode *mlh_Head;
  struct MinNode *mlh_Tail;
  struct MinNode *mlh_TailPred;
};

enum : UBYTE { NT_UNKNOWN = 0, NT_TASK = 1, NT_MSGPORT = 4, NT_MESSAGE = 5, NT_REPLYMSG = 7, NT_LIBRARY = 9, NT_PROCESS = 13, NT_SIGNALSEM = 15 };

void NewList(struct List *list);
void AddHead(struct List *list, struct Node *node);
void AddTail(struct List *list, struct Node *node);
void Insert(struct List *list, struct Node *node, struct Node *pred); // pred null = head
void Enqueue(struct List *list, struct Node *node);                   // by ln_Pri, FIFO among equals
struct Node *RemHead(struct List *list);
struct Node *RemTail(struct List *list);
void Remove(struct Node *node);
struct Node *FindName(struct List *start, CONST_STRPTR name); // exact, case-sensitive; start may be a node
inline bool IsListEmpty(const struct List *l) { return l->lh_TailPred == (const struct Node *)l; }
inline bool IsMinListEmpty(const struct MinList *l) { return l->mlh_TailPred == (const struct MinNode *)l; }
inline void NewMinList(struct MinList *l) { NewList(reinterpret_cast<struct List *>(l)); }

// ---- tasks and signals ---------------------------------------------------

enum : ULONG {
  SIGB_ABORT = 0,
  SIGB_CHILD = 1,
  SIGB_SINGLE = 4, // reserved for semaphores and the like
  SIGB_INTUITION = 5,
  SIGB_DOS = 8,
  SIGBREAKB_CTRL_C = 12,
  SIGBREAKB_CTRL_D = 13,
  SIGBREAKB_CTRL_E = 14,
  SIGBREAKB_CTRL_F = 15,
};
enum : ULONG {
  SIGF_ABORT = 1u << 0,
  SIGF_CHILD = 1u << 1,
  SIGF_SINGLE = 1u << 4,
  SIGF_INTUITION = 1u << 5,
  SIGF_DOS = 1u << 8,
  SIGBREAKF_CTRL_C = 0x1000,
  SIGBREAKF_CTRL_D = 0x2000,
  SIGBREAKF_CTRL_E = 0x4000,
  SIGBREAKF_CTRL_F = 0x8000,
};

struct TaskPrivate;

struct Task {
  struct Node tc_Node; // ln_Name is the task's name (a private copy), ln_Pri its priority
  APTR tc_UserData;
  // dos keeps per-task state (IoErr, current directory) here.
  LONG tc_IoErr;
  APTR tc_DosData;
  struct TaskPrivate *tc_Private;
};

// name == null: the caller's own task. Otherwise the first live task with that
// exact name, or null.
struct Task *FindTask(CONST_STRPTR name);
ULONG Wait(ULONG signalSet);                         // returns the signals that woke it (and clears them)
ULONG SetSignal(ULONG newSignals, ULONG signalSet); // returns the old signals
void Signal(struct Task *task, ULONG signalSet);
BYTE AllocSignal(BYTE signalNum); // -1: any free one; returns -1 when none is free
void FreeSignal(BYTE signalNum);
// Test-and-clear: returns the signals of signalSet that were set, and clears them.
ULONG CheckSignal(ULONG signalSet);

// ---- semaphores ------------------------------------------------------------

// Nestable by its owner: each Obtain needs one Release.
struct SignalSemaphore {
  struct Node ss_Link;
  std::mutex ss_Mutex;
  std::condition_variable ss_Cond;
  struct Task *ss_Owner = nullptr;
  LONG ss_NestCount = 0;
};

void InitSemaphore(struct SignalSemaphore *sem);
void ObtainSemaphore(struct SignalSemaphore *sem);
ULONG AttemptSemaphore(struct SignalSemaphore *sem); // TRUE when obtained
void ReleaseSemaphore(struct SignalSemaphore *sem);

// One global lock, nestable by the task that holds it.
void Forbid();
void Permit();

// ---- message ports -----------------------------------------------------------

enum : UBYTE { PA_SIGNAL = 0, PA_SOFTINT = 1, PA_IGNORE = 2 };

struct Message {
  struct Node mn_Node;
  struct MsgPort *mn_ReplyPort;
  UWORD mn_Length;
};

struct MsgPort {
  struct Node mp_Node; // ln_Name: the public name (set before AddPort)
  UBYTE mp_Flags;
  UBYTE mp_SigBit;
  struct Task *mp_SigTask;
  struct List mp_MsgList;
  std::mutex mp_Lock; // guards mp_MsgList
};

struct MsgPort *CreateMsgPort();        // owned by the caller's task, with a fresh signal
void DeleteMsgPort(struct MsgPort *port); // the port must not be public
void AddPort(struct MsgPort *port);       // makes it public under mp_Node.ln_Name
void RemPort(struct MsgPort *port);
// The oldest public port with that exact name (ports added earlier win).
struct MsgPort *FindPort(CONST_STRPTR name);
void PutMsg(struct MsgPort *port, struct Message *msg);
struct Message *GetMsg(struct MsgPort *port);
void ReplyMsg(struct Message *msg);
struct Message *WaitPort(struct MsgPort *port);

// ---- time and memory -------------------------------------------------------------

enum : ULONG { TICKS_PER_SECOND = 50 };
void Delay(ULONG ticks); // 1/50 s each, on the platform clock

enum : ULONG { MEMF_ANY = 0, MEMF_PUBLIC = 1, MEMF_CHIP = 2, MEMF_FAST = 4, MEMF_CLEAR = 0x10000 };
APTR AllocVec(ULONG byteSize, ULONG attributes); // null for size 0 or when out of memory
void FreeVec(APTR memoryBlock);                  // null is fine
APTR AllocMem(ULONG byteSize, ULONG attributes);
void FreeMem(APTR memoryBlock, ULONG byteSize);
void CopyMem(CONST_APTR source, APTR dest, ULONG size);

// ---- libraries -----------------------------------------------------------------

enum : UBYTE { LIBF_SUMMING = 1, LIBF_CHANGED = 2, LIBF_SUMUSED = 4, LIBF_DELEXP = 8 };

struct Library {
  struct Node lib_Node; // ln_Name: e.g. "multimedia/http.stream"
  UBYTE lib_Flags;
  UWORD lib_Version;
  UWORD lib_Revision;
  CONST_STRPTR lib_IdString;
  UWORD lib_OpenCnt;
};

// Opens a library the platform provides, if its version is at least `version`.
struct Library *OpenLibrary(CONST_STRPTR libName, ULONG version);
void CloseLibrary(struct Library *library); // null is fine

// ---- debug log ---------------------------------------------------------------------

// The system's serial debug log: standard error, or the file named by
// MELODUNE_DEBUG_LOG. Whole calls never interleave.
void KPutStr(CONST_STRPTR string);

// ---- platform extensions (C++ side, for the platform's own classes) --------------

namespace platform {

// Starts a task: a new thread named `name` running `body`. The Task stays valid
// until JoinTask; FindTask stops finding it as soon as body returns.
struct Task *CreateTask(CONST_STRPTR name, LONG pri, std::function<void()> body);
void JoinTask(struct Task *task); // waits for the body to end and frees the task
bool TaskRunning(struct Task *task);

// Wait with a time-out in platform milliseconds. Returns 0 on time-out,
// otherwise the signals that woke it (cleared).
ULONG WaitTimeout(ULONG signalSet, uint64_t platformMs);

// Libraries: each platform module registers the libraries it provides
// (normally from a static initialiser). A hidden library fails to open, so
// that tests can see what a missing library does.
struct Library *RegisterLibrary(CONST_STRPTR libName, UWORD version, UWORD revision, CONST_STRPTR idString = nullptr);
void HideLibrary(CONST_STRPTR libName, bool hidden);

// Public ports are visible to other processes through the script-port layer:
// it installs these hooks, called after AddPort has linked a port and before
// RemPort unlinks it (outside any exec lock).
void SetPublicPortHooks(std::function<void(struct MsgPort *)> added, std::function<void(struct MsgPort *)> removed);

// Number of tasks currently alive that the platform started with CreateTask.
size_t LiveTaskCount();

} // namespace platform
