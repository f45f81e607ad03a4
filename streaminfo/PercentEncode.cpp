// Query-string encoding with a fixed table.
#include "streaminfo/PercentEncode.h"

namespace {

// The bytes that get a code; upper-case hexadecimal digits.
CONST_STRPTR CodeOf(UBYTE c) {
  switch (c) {
  case 0xA0:
  case ' ': return "%20";
  case '!': return "%21";
  case '*': return "%2A";
  case '\'': return "%27";
  case '(': return "%28";
  case ')': return "%29";
  case ';': return "%3B";
  case ':': return "%3A";
  case '@': return "%40";
  case '&': return "%26";
  case '=': return "%3D";
  case '+': return "%2B";
  case '$': return "%24";
  case ',': return "%2C";
  case '/': return "%2F";
  case '?': return "%3F";
  case '%': return "%25";
  case '#': return "%23";
  case '[': return "%5B";
  case ']': return "%5D";
  default: return nullptr;
  }
}

} // namespace

ULONG PercentEncode(CONST_STRPTR source, STRPTR dest, ULONG max) {
  if (!dest) return 0;
  ULONG n = 0;
  for (CONST_STRPTR s = source; s && *s && n < max; ++s) {
    if (CONST_STRPTR code = CodeOf(static_cast<UBYTE>(*s))) {
      for (int k = 0; k < 3 && n < max; ++k) dest[n++] = code[k];
    } else {
      dest[n++] = *s;
    }
  }
  dest[n] = 0;
  return n;
}
