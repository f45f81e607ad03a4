// REXX messages, argument strings and script ports (rexxsyslib.library).
//
// A public exec port (AddPort with a name) is also published to other
// processes of the same user as a Unix socket named after the port, in a
// private folder; `rx` and SendRexxCommand reach it through that socket. The
// port's owner sees ordinary RexxMsg messages on its exec port.
#pragma once

#include <string>

#include "exec/exec.h"

// Action codes (high byte of rm_Action) and modifier flags.
enum : ULONG {
  RXCOMM = 0x01000000,
  RXFUNC = 0x02000000,
  RXCLOSE = 0x03000000,
  RXQUERY = 0x04000000,
  RXADDFH = 0x07000000,
  RXADDLIB = 0x08000000,
  RXREMLIB = 0x09000000,
  RXADDCON = 0x0A000000,
  RXREMCON = 0x0B000000,
  RXTCOPN = 0x0C000000,
  RXTCCLS = 0x0D000000,
};
enum : ULONG { RXCODEMASK = 0xFF000000, RXARGMASK = 0x0000000F };
enum : ULONG { RXFB_NOIO = 16, RXFB_RESULT = 17, RXFB_STRING = 18, RXFB_TOKEN = 19, RXFB_NONRET = 20 };
enum : ULONG {
  RXFF_NOIO = 1u << RXFB_NOIO,
  RXFF_RESULT = 1u << RXFB_RESULT,
  RXFF_STRING = 1u << RXFB_STRING,
  RXFF_TOKEN = 1u << RXFB_TOKEN,
  RXFF_NONRET = 1u << RXFB_NONRET,
};

enum : LONG { RC_OK = 0, RC_WARN = 5, RC_ERROR = 10, RC_FATAL = 20 };

enum : ULONG { MAXRMARG = 15 };

struct RexxMsg {
  struct Message rm_Node;
  APTR rm_TaskBlock;
  APTR rm_LibBase;
  LONG rm_Action;   // command code | modifier flags | argument count
  LONG rm_Result1;  // return code
  IPTR rm_Result2;  // result argstring when Result1 is 0 and RXFF_RESULT was set
  STRPTR rm_Args[16];
  struct MsgPort *rm_PassPort;
  STRPTR rm_CommAddr; // host address (port name)
  STRPTR rm_FileExt;
  LONG rm_Stdin;
  LONG rm_Stdout;
  LONG rm_avail;
};

inline STRPTR &ARG0(struct RexxMsg *msg) { return msg->rm_Args[0]; }
inline STRPTR &ARG1(struct RexxMsg *msg) { return msg->rm_Args[1]; }

// Argument strings: the pointer is the text (NUL-terminated); the length is
// kept in a header in front of it, so texts may hold NUL bytes.
STRPTR CreateArgstring(CONST_STRPTR string, ULONG length);
void DeleteArgstring(STRPTR argstring); // null is fine
ULONG LengthArgstring(CONST_STRPTR argstring);

// A cleared message whose replies go to `port`.
struct RexxMsg *CreateRexxMsg(struct MsgPort *port, CONST_STRPTR extension, CONST_STRPTR host);
void DeleteRexxMsg(struct RexxMsg *msg); // does not free the arguments
void ClearRexxMsg(struct RexxMsg *msg, ULONG count); // deletes and clears the first `count` argstrings
BOOL IsRexxMsg(const struct RexxMsg *msg);

// ---- platform side ------------------------------------------------------------

namespace platform {

// Sends `command` to the public port `portName` (in this process or another
// one of the same user) and waits for the reply. False when there is no such
// port. Otherwise *rc is the port's return code (RC_FATAL when the port went
// away or stopped answering); *result is set only when a result was asked for,
// the return code is 0 and the port gave one (then *hasResult is true), and is
// cleared otherwise.
bool SendRexxCommand(const std::string &portName, const std::string &command, bool wantResult, LONG *rc,
                     std::string *result, bool *hasResult = nullptr);

// The folder of the port sockets: $MELODUNE_PORT_DIR, else
// $XDG_RUNTIME_DIR/melodune-ports, else /tmp/melodune-ports-<uid>. Made
// with mode 0700 when missing. Empty (and nothing published or reached) when
// the folder is not ours alone.
std::string RexxPortDir();

// The socket file name of a port name.
std::string RexxPortFileName(const std::string &portName);

// True while this process holds the socket of that public port.
bool RexxPortPublished(struct MsgPort *port);

} // namespace platform
