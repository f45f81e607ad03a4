// The command line of the `screenbar` program:
//   screenbar [--root DIR] [--screens N] [--audio auto|null|wav:FILE]
//             [--web [ADDR:]PORT | --headless] [--clock-rate R] [--plugin PATH]
// Pure parsing (no I/O), so that every case can be tested.
#pragma once

#include <string>
#include <vector>

namespace platform {

struct ScreenbarOptions {
  std::string root;   // "" = the default root folder
  int screens = 1;
  std::string audio;  // "" = the platform's default
  bool web = false;   // the browser display
  std::string webAddress = "127.0.0.1";
  int webPort = 0;
  bool headless = false;
  double clockRate = 1.0;
  std::string plugin; // "" = Melodune.sbar next to the program
  bool help = false;
};

// False with a message for anything that does not fit. Both "--opt value"
// and "--opt=value" are accepted.
bool ParseScreenbarOptions(const std::vector<std::string> &args, ScreenbarOptions &out, std::string &error);

const char *ScreenbarUsage();

} // namespace platform
