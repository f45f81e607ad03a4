// Helpers shared by the playback files.
#pragma once

#include <functional>

#include "mui/mui.h"

// Runs fn on the GUI task of obj's application: at once when called there,
// else queued (the caller goes on). Menus and windows are touched only there.
void RunOnGuiTask(Object *obj, std::function<void()> fn);

// True when a chain plays through g.Out and its output no longer plays.
bool PlayOutputStopped();
