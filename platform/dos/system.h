// Command execution: SystemTagList/SystemTags run one AmigaDOS command line.
//
// There is no shell behind this. The line is split into a command name and
// its arguments (double quotes, *" and *N escapes), and the name is looked up
// among the built-in commands by its file part, ignoring case ("C:Rename",
// "rename", "Sys:C/Copy" are all Rename):
//   Rename   FROM/A/M,TO=AS/A,QUIET/S
//   MakeDir  NAME/M,ALL/S
//   Copy     FROM/M,TO/A,ALL/S,QUIET/S,BUF=BUFFER/K/N,CLONE/S,DATES/S,NOPRO/S,COM/S,NOREQ/S
//   Execute  FILE/A,ARGS/F   (each line of the script is one command; .KEY
//                              templates and <KEY> substitution; stops at RC >= 10)
//   Clip     STR/A/F         (desktop clipboard through wl-copy, xclip or xsel
//                              when there is a display, else the file T:Clipboard)
//   Open     NAME/A/F        (a web address, or an AmigaDOS file name, handed to
//                              xdg-open as one argument)
//   Echo     /M,NOLINE/S     (the words, separated by spaces, to the output)
// Any other name fails with RETURN_FAIL and IoErr ERROR_OBJECT_NOT_FOUND, the
// way the shell answers "Unknown command"; nothing is ever looked up on the
// Linux PATH or run through a Unix shell. Only one command runs per call: a
// line break inside the line fails with ERROR_LINE_TOO_LONG.
//
// Return codes: RETURN_OK, RETURN_WARN, RETURN_ERROR (the command failed, IoErr
// says why), RETURN_FAIL (bad arguments or unknown command).
#pragma once

#include "dos/dos.h"
#include "exec/tags.h"

enum : Tag {
  SYS_Dummy = TAG_USER + 32,
  SYS_Input = SYS_Dummy + 1,       // BPTR; 0 reads nothing. Absent: the caller's Input() (synchronous)
  SYS_Output = SYS_Dummy + 2,      // BPTR; 0 discards. Absent: the caller's Output() (synchronous)
  SYS_Asynch = SYS_Dummy + 3,      // run in a task of its own; the handles given are closed when it ends
  SYS_UserShell = SYS_Dummy + 4,   // accepted, ignored: there is one built-in interpreter
  SYS_CustomShell = SYS_Dummy + 5, // accepted, ignored
};

enum : Tag {
  NP_Dummy = TAG_USER + 1000,
  NP_Name = NP_Dummy + 12,     // name of the task of an asynchronous command
  NP_Priority = NP_Dummy + 13, // its priority
};

// Synchronous: the command's return code. Asynchronous: 0 once it was
// started, -1 when it could not be (unparsable line, unknown command, no
// task; IoErr says why, and the caller keeps its handles).
LONG SystemTagList(CONST_STRPTR command, const struct TagItem *tags);
inline LONG System(CONST_STRPTR command, const struct TagItem *tags) { return SystemTagList(command, tags); }

template <typename... A> LONG SystemTags(CONST_STRPTR command, A... a) {
  TagArray<sizeof...(A)> tags(a...);
  return SystemTagList(command, tags.items());
}

namespace platform {

// Waits until every asynchronous command has ended (at shutdown, and in tests).
void WaitAsyncCommands();
// Asynchronous commands still running.
size_t RunningAsyncCommands();

} // namespace platform
