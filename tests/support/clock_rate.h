// Runs the platform clock faster for a scope, so that the seconds the
// player waits (watchdog, bubbles, the check after start) pass in a
// fraction of the real time.
#pragma once

#include "exec/clock.h"

namespace testsupport {

class ClockRate {
public:
  explicit ClockRate(double rate) { platform::SetClockRate(rate); }
  ~ClockRate() { platform::SetClockRate(1); }
  ClockRate(const ClockRate &) = delete;
  ClockRate &operator=(const ClockRate &) = delete;
};

} // namespace testsupport
