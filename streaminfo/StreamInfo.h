// Stream info: the Stream Info window, the actions on a title and the bar's
// tooltip. Everything here runs on the GUI task.
#pragma once

#include <string>

#include "core/Melodune.h"

// What the window and the tooltip call a station: "---" for -1, the full
// name of the spare entry (index g.numStations, played by the test
// buttons), else the title of its menu item (icon code and own name), or
// "" when the menu has no item for it.
std::string StreamInfoStationName(LONG index);

// The title of the menu item of a station index (user data index + 7), ""
// when the menu has none.
std::string StationMenuTitle(LONG index);
