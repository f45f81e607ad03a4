// Texts for HTTP response codes, shared by every network error message.
#pragma once

#include "exec/types.h"

// The fixed text of an HTTP status code; "Unknown Error!" for any code that
// has none (0, the "no response" code, included). Pure; any task may call it.
CONST_STRPTR HttpStatusText(LONG code);
