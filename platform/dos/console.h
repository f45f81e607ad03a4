// Console windows: "CON:x/y/width/height/title/options" opened as a file.
//
// dos parses the name and hands the window to whatever shows windows (the
// title-bar host builds one with the toolkit, see SetConsoleFactory); a
// write to the handle appears in the window. Without a factory, output goes
// to the debug log, a line at a time, after the title.
//
// Options (any order, case-insensitive): AUTO (the window opens with the
// first output only), CLOSE (a close gadget), WAIT (closing the handle waits
// until the person closes the window), and the ones that only shape a real
// console (NOSIZE, NODRAG, NODEPTH, SMART, SIMPLE, BACKDROP, NOBORDER,
// INACTIVE, ALT..., SCREEN name), which are accepted and kept.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "exec/types.h"

namespace platform {

struct ConsoleOptions {
  LONG left = -1, top = -1, width = -1, height = -1; // -1: not given
  std::string title;                                 // Latin-1
  bool autoOpen = false, wait = false, close = false;
  std::string screen; // SCREEN name, "" when not given
};

// True when name is a CON: (or RAW:) name; fills opts. A number that is not
// a number, or an unknown option, makes it false (ERROR_BAD_STREAM_NAME).
// Pure; no I/O.
bool ParseConsoleName(std::string_view name, ConsoleOptions &opts);

// A window that shows console output. Write and Close come from the task
// that owns the handle (any task; one at a time per console).
class ConsoleWindow {
public:
  virtual ~ConsoleWindow() = default;
  virtual void Write(const char *data, size_t length) = 0;
  // The handle is closed: with WAIT, block until the person closes the window.
  virtual void Close() = 0;
};

using ConsoleFactory = std::function<std::unique_ptr<ConsoleWindow>(const ConsoleOptions &)>;
// Installs the maker of console windows (null: output to the debug log).
void SetConsoleFactory(ConsoleFactory factory);
// A console window for opts: the factory's, or the debug log's.
std::unique_ptr<ConsoleWindow> MakeConsoleWindow(const ConsoleOptions &opts);

// Console output as the person reads it: carriage returns, backspaces,
// bells and the control sequences a real console would act on (CSI, ESC
// [...) are taken out; line feeds and tabs stay. Pure.
std::string PlainConsoleText(std::string_view bytes);

} // namespace platform
