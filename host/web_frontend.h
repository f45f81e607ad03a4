// The display front ends of the `screenbar` program. Only the browser view
// exists as an option (--web); without one the program runs headless.
#pragma once

#include <memory>
#include <string>

#include "host/host.h"
#include "mui/display.h"

// A running front end. It is started after the host has set up its bars,
// installed with platform::SetDisplay, and stopped (on the GUI task, after
// the loop ended) before the host shuts down.
class Frontend {
public:
  virtual ~Frontend() = default;
  virtual platform::Display *GetDisplay() = 0;
  virtual void Stop() = 0;
};

// The browser view on address:port; null (and why) when it cannot start.
std::unique_ptr<Frontend> StartWebFrontend(platform::ScreenbarHost &host, const std::string &address, int port,
                                           std::string &why);
