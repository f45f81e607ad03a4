// Console windows of the desktop: a CON: handle opened by any task shows
// its output in a toolkit window of the host's application (title and
// geometry from the name, a close gadget with CLOSE or WAIT).
#pragma once

#include <string>
#include <vector>

#include "mui/mui.h"

namespace platform {

// Makes CON: handles open windows in app from now on. With null: every
// console window still open goes away (a handle waiting with WAIT is let go)
// and CON: output goes to the debug log again. GUI task of app.
void InstallConsoleWindows(Object *app);

// The console windows now in the application, and the lines one shows
// (for tests). GUI task.
std::vector<Object *> ConsoleWindows();
std::vector<std::string> ConsoleLines(Object *window);

} // namespace platform
