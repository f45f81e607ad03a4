// Argument templates parsed from a text in memory rather than from the
// program's command line: the stream's header values and the ARexx commands.
#include <cstring>

#include "Melodune_args.h"
#include "dos/dos.h"

struct RDArgs *ReadArgsString(CONST_STRPTR arg_template, CONST_STRPTR text, IPTR *array) {
  auto *rda = static_cast<struct RDArgs *>(AllocDosObject(DOS_RDARGS, nullptr));
  if (!rda) return nullptr;
  const size_t len = text ? std::strlen(text) : 0;
  auto *buffer = static_cast<STRPTR>(AllocVec(static_cast<ULONG>(len + 2), MEMF_ANY));
  if (!buffer) {
    FreeDosObject(DOS_RDARGS, rda);
    return nullptr;
  }
  if (len) std::memcpy(buffer, text, len);
  buffer[len] = '\n';
  buffer[len + 1] = 0;
  rda->RDA_Source.CS_Buffer = buffer;
  rda->RDA_Source.CS_Length = static_cast<LONG>(len + 1);
  rda->RDA_Source.CS_CurChr = 0;
  if (!ReadArgs(arg_template, array, rda)) {
    FreeVec(buffer);
    FreeDosObject(DOS_RDARGS, rda);
    return nullptr;
  }
  return rda;
}

void FreeArgsString(struct RDArgs *args) {
  if (!args) return;
  STRPTR buffer = args->RDA_Source.CS_Buffer;
  FreeArgs(args);
  FreeVec(buffer);
  FreeDosObject(DOS_RDARGS, args);
}
