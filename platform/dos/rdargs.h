// Argument templates (ReadArgs): parsing a command line or a text in memory
// with an AmigaDOS template such as "FROM/A,TO/A,W=NewWidth/N".
//
// The result array holds one IPTR per template item, in template order:
//   text          STRPTR (quotes removed, *" *N *E ** decoded)
//   /N            pointer to a LONG
//   /S, /T        non-zero when given (/T toggles the value the caller put there)
//   /M            pointer to a null-terminated STRPTR array (/M/N: LONG pointers)
//   /F            STRPTR, the rest of the line
// Slots of items that were not given keep what the caller put in them, and on
// failure the array is left untouched. Everything the array points to belongs
// to the RDArgs and lives until FreeArgs.
#pragma once

#include <string>

#include "exec/tags.h"
#include "exec/types.h"

// Where ReadArgs reads from when CS_Buffer is set: CS_Length bytes starting at
// CS_CurChr, normally ending in "\n". A NUL ends the text early.
struct CSource {
  STRPTR CS_Buffer;
  LONG CS_Length;
  LONG CS_CurChr;
};

struct RDArgs {
  struct CSource RDA_Source; // input text; null buffer: the program's arguments
  APTR RDA_DAList;           // private: the parse results
  STRPTR RDA_Buffer;         // accepted for compatibility; results are always allocated
  LONG RDA_BufSiz;
  CONST_STRPTR RDA_ExtHelp; // shown when "?" is answered with "?" at the prompt
  LONG RDA_Flags;
};

enum : LONG {
  RDAB_STDIN = 0,
  RDAF_STDIN = 1,
  RDAB_NOALLOC = 1,
  RDAF_NOALLOC = 2,
  RDAB_NOPROMPT = 2,
  RDAF_NOPROMPT = 4, // a lone "?" is an ordinary argument
};

// Results of ReadItem.
enum : LONG { ITEM_EQUAL = -2, ITEM_ERROR = -1, ITEM_NOTHING = 0, ITEM_UNQUOTED = 1, ITEM_QUOTED = 2 };

// Longest argument line ReadArgs accepts (the "\n" included); a longer one
// fails with ERROR_LINE_TOO_LONG.
enum : LONG { MAX_ARGLINE = 32768 };

// Parses with the template. args null: the program's own arguments (see
// platform::SetProgramArguments) and a block that FreeArgs releases; args given:
// its RDA_Source if CS_Buffer is set, else the program's arguments.
// A lone "?" on the program's own argument line prints the template followed by
// ": " to Output() and reads a new line from Input(); answering "?" again
// prints RDA_ExtHelp (when set) and asks again. A text given through
// RDA_Source is data: it never prompts, so that a "?" arriving from a network
// header or a script port cannot block the task on the terminal.
// Failure: null, IoErr() = ERROR_REQUIRED_ARG_MISSING, ERROR_TOO_MANY_ARGS,
// ERROR_BAD_NUMBER, ERROR_KEY_NEEDS_ARG, ERROR_UNMATCHED_QUOTES,
// ERROR_LINE_TOO_LONG, ERROR_BAD_TEMPLATE or ERROR_NO_FREE_STORE.
struct RDArgs *ReadArgs(CONST_STRPTR arg_template, IPTR *array, struct RDArgs *args);
// Frees the results; a block that ReadArgs allocated itself goes too. Null is fine.
void FreeArgs(struct RDArgs *args);

// Index of the template item that has keyword (any of its names, case ignored), or -1.
LONG FindArg(CONST_STRPTR arg_template, CONST_STRPTR keyword);
// Reads one word or quoted string from input into buffer (maxchars bytes with
// the NUL). An unquoted word takes the blank or '=' that ends it along, so
// that CS_CurChr points at whatever follows and KEY=value reads as the
// keyword and then its value. Null input (the task's input stream) is not supported:
// ITEM_ERROR with ERROR_NOT_IMPLEMENTED. Too small a buffer: ITEM_ERROR with
// ERROR_BUFFER_OVERFLOW.
LONG ReadItem(STRPTR buffer, LONG maxchars, struct CSource *input);

namespace platform {

// Builds the program's argument line from main()'s argv (argv[0] skipped):
// arguments are separated by a blank; one holding blanks, quotes, line
// breaks, or that is empty, is put in double quotes with *" ** *N *E escapes;
// so is one holding "=" unless it reads KEYWORD=value (then only the value).
// UTF-8 is converted to Latin-1. The line ends in "\n".
void SetProgramArguments(int argc, char **argv);
std::string ProgramArgumentLine();

// Puts text in double quotes with the escapes ReadArgs decodes, so that it
// comes back unchanged as one argument (line breaks become *N).
std::string QuoteArgument(const std::string &text);

} // namespace platform
