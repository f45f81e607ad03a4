// URL query encoding with a fixed table, shared by the video-site search of
// the Stream Info window and the station directory query.
#pragma once

#include "exec/types.h"

// Copies source into destination, writing each reserved byte of the table
// (blank, no-break space, ! * ' ( ) ; : @ & = + $ , / ? % # [ ]) as its
// three-character code with upper-case hex digits; every other byte, the
// double quote and bytes above 127 included, is copied as it is. At most
// maxCount characters are written, then a NUL (destination holds
// maxCount + 1 bytes); a code that does not fit whole is cut at the bound.
// A null source gives an empty text. Returns the characters written.
ULONG PercentEncode(CONST_STRPTR source, STRPTR destination, ULONG maxCount);
