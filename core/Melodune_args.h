// Argument templates on a text in memory: ReadArgs parses its own copy of
// the text (with the line end it expects), never the program's arguments.
#pragma once

#include "dos/rdargs.h"
#include "exec/exec.h"

struct RDArgs *ReadArgsString(CONST_STRPTR arg_template, CONST_STRPTR text, IPTR *array);
void FreeArgsString(struct RDArgs *args); // null is fine
