// The one platform clock. Delay, pushed-method delays, timers and dates all
// read it. Tests run it faster (MELODUNE_CLOCK_RATE in the environment, or
// SetClockRate) so that a 5 s watchdog passes in a fraction of a second.
#pragma once

#include <chrono>
#include <cstdint>

namespace platform {

// rate > 1 makes the platform clock run faster than real time.
void SetClockRate(double rate);
double ClockRate();

// Platform milliseconds since the process started; monotonic.
uint64_t ClockNowMs();
// Wall-clock milliseconds since the Unix epoch as the platform sees it
// (real start time plus the scaled time since start).
int64_t ClockWallMs();
// How long a real wait must be to last platformMs on the platform clock.
std::chrono::nanoseconds RealDuration(uint64_t platformMs);
// Sleeps platformMs on the platform clock (no signals involved).
void SleepMs(uint64_t platformMs);

} // namespace platform
