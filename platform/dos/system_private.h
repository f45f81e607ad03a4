// Shared by the files of command execution: the command context, the table
// of built-in commands and the helpers that start desktop programs.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "dos/dos.h"

namespace platform::sys {

struct CommandContext {
  BPTR input = 0;  // 0: nothing to read
  BPTR output = 0; // 0: messages are dropped
  int depth = 0;   // nesting of Execute
};

// Runs one command line in the calling task; returns its return code with IoErr set.
LONG RunCommandLine(std::string_view line, CommandContext &ctx);

// Messages of a command go to its output handle, if any.
void Say(const CommandContext &ctx, const std::string &text);
// "header: fault text" and a line break.
void SayFault(const CommandContext &ctx, LONG code, const std::string &header);

// The built-in commands. args holds one IPTR per template item.
LONG CmdRename(CommandContext &ctx, IPTR *args);
LONG CmdMakeDir(CommandContext &ctx, IPTR *args);
LONG CmdCopy(CommandContext &ctx, IPTR *args);
LONG CmdExecute(CommandContext &ctx, IPTR *args);
LONG CmdClip(CommandContext &ctx, IPTR *args);
LONG CmdOpen(CommandContext &ctx, IPTR *args);
LONG CmdEcho(CommandContext &ctx, IPTR *args);

// Text of a /F argument that kept its outer quotes because something inside
// them was not escaped: the quotes come off.
std::string StripOuterQuotes(std::string text);

// ---- desktop programs ---------------------------------------------------------

// Full path of an executable file `program` in a folder of $PATH, or "".
std::string FindOnPath(const char *program);

struct SpawnResult {
  bool started = false;
  bool exited = false; // false: still running when the wait ended (reaped later)
  int exitCode = -1;
};
// Starts program (a full path) with argv directly, no shell: stdin receives
// stdinText (or /dev/null when null), stdout and stderr go to /dev/null, no
// other descriptor is inherited. Waits at most waitMs real milliseconds.
SpawnResult Spawn(const std::string &path, const std::vector<std::string> &argv, const std::string *stdinText,
                  int waitMs);
// Collects children that ended after their wait (never blocks).
void ReapChildren();

} // namespace platform::sys
