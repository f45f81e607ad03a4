// Query-string encoding of a text for a web address: the reserved
// characters, the space and the no-break space become %XX codes; every
// other byte (accented letters included) goes through as it is.
#pragma once

#include "exec/types.h"

// Writes at most max characters of the encoded source to dest, then a NUL
// (dest holds max + 1 bytes). A code that does not fit whole is cut at the
// bound. Returns the number of characters written.
ULONG PercentEncode(CONST_STRPTR source, STRPTR dest, ULONG max);
