// Where PixmoAndSave's trace lines go: the Pixmorph build prints them on
// standard output as they are; the plug-in build (PIXMO_FOR_PLUGIN) sends
// them to the debug log, each behind "[line] /u/Pixmo/PixmoAndSave(): ".
#pragma once

#include "dos/dos.h"
#include "exec/types.h"

#ifdef PIXMO_FOR_PLUGIN
// The system's debug output (serial log); provided by exec.
void KPutStr(CONST_STRPTR string);

template <typename... A> void PixmoTraceAt(LONG line, CONST_STRPTR fmt, A... a) {
  char text[512];
  const IPTR args[] = {ToIPTR(a)..., 0};
  LONG n = SNPrintf(text, sizeof text, "[%04ld] %s/%s(): ", line, "/u/Pixmo", "PixmoAndSave");
  VSNPrintf(text + n, ULONG(sizeof text - n), fmt, args);
  KPutStr(text);
}
#define PIXMO_TRACE(...) PixmoTraceAt(__LINE__, __VA_ARGS__)
#else
#define PIXMO_TRACE(...) Printf(__VA_ARGS__)
#endif
