// Texts around a title, shared by the title actions and their tests.
#pragma once

#include <string>

#include "exec/types.h"

// The title part of a history entry "station: title": the text after the
// first ": " (the whole entry when it has none).
CONST_STRPTR TitlePartOf(CONST_STRPTR entry);

// text in double quotes for a command line, with the escapes the argument
// parser reads back (** for *, *" for ", *N for a line break), so that it
// always stays one argument of one command.
std::string QuotedArgument(const std::string &text);

// The host of the video site's search page: MELODUNE_VIDEO_SITE when it
// holds a plain host name (letters, digits, '.', '-', an optional ":port"),
// else www.youtube.com.
std::string VideoSiteHost();
