// The query encoding. Pure: no I/O, no state.
#include "streaminfo/PercentEncode.h"

namespace {

// The code of a reserved byte, or null for a byte that is copied.
const char *CodeOf(UBYTE c) {
  switch (c) {
  case 0xA0: // a no-break space is a blank to the site
  case ' ':
    return "%20";
  case '!':
    return "%21";
  case '*':
    return "%2A";
  case '\'':
    return "%27";
  case '(':
    return "%28";
  case ')':
    return "%29";
  case ';':
    return "%3B";
  case ':':
    return "%3A";
  case '@':
    return "%40";
  case '&':
    return "%26";
  case '=':
    return "%3D";
  case '+':
    return "%2B";
  case '$':
    return "%24";
  case ',':
    return "%2C";
  case '/':
    return "%2F";
  case '?':
    return "%3F";
  case '%':
    return "%25";
  case '#':
    return "%23";
  case '[':
    return "%5B";
  case ']':
    return "%5D";
  default:
    return nullptr;
  }
}

} // namespace

ULONG PercentEncode(CONST_STRPTR source, STRPTR destination, ULONG maxCount) {
  if (!destination) return 0;
  ULONG n = 0;
  for (CONST_STRPTR s = source; s && *s && n < maxCount; ++s) {
    if (const char *code = CodeOf(static_cast<UBYTE>(*s))) {
      for (const char *c = code; *c && n < maxCount; ++c)
        destination[n++] = *c;
    } else {
      destination[n++] = *s;
    }
  }
  destination[n] = 0;
  return n;
}
