// ARexx control: the command interpreter behind the port "MELODUNE" and the
// port process that serves it.
#pragma once

#include "exec/exec.h"
#include "mui/object.h"

// The result text of the last command; never more than 2047 characters.
enum : size_t { AREXX_RESULT_SIZE = 2048 };

enum : LONG {
  AREXX_HELP = 1,
  AREXX_PLAY = 2,
  AREXX_REC = 3,
  AREXX_STOP = 4,
  AREXX_MUTE = 5,
  AREXX_GET = 6,
};

// One command line: 0, or 10 for an unknown word or arguments that do not
// fit the template (the result is then empty).
LONG ExecuteARexxCommand(CONST_STRPTR line);
// The body of one command; args may be null for commands without a template.
LONG RunARexxCommand(LONG command, IPTR *args);
CONST_STRPTR ARexxResult();
extern const char ARexxHelpText[];

// The port (ARexx process only).
BOOL InitARexx(CONST_STRPTR baseName, BOOL exact);
void HandleARexx();
void CloseARexx();
