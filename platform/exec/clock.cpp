// The platform clock. Every function may be called from any task; the
// state's one lock is held only for the arithmetic, never while sleeping,
// and no other lock is taken inside it.
#include "exec/clock.h"

#include <atomic>
#include <cstdlib>
#include <mutex>
#include <thread>

namespace platform {
namespace {

using Real = std::chrono::steady_clock;

// The clock is piecewise linear: each rate change starts a new segment, so
// platform time never jumps backwards.
struct ClockState {
  std::mutex lock;
  Real::time_point segmentReal;
  double segmentPlatformMs = 0;
  double rate = 1.0;
  int64_t wallAtStartMs = 0;

  ClockState() {
    segmentReal = Real::now();
    wallAtStartMs = std::chrono::duration_cast<std::chrono::milliseconds>(
                        std::chrono::system_clock::now().time_since_epoch())
                        .count();
    if (const char *env = std::getenv("MELODUNE_CLOCK_RATE")) {
      double r = std::strtod(env, nullptr);
      if (r > 0 && r <= 10000) rate = r;
    }
  }

  double nowLocked(Real::time_point t) const {
    return segmentPlatformMs + std::chrono::duration<double, std::milli>(t - segmentReal).count() * rate;
  }
};

ClockState &State() {
  static ClockState s;
  return s;
}

} // namespace

void SetClockRate(double rate) {
  if (!(rate > 0)) return;
  auto &s = State();
  std::lock_guard g(s.lock);
  auto now = Real::now();
  s.segmentPlatformMs = s.nowLocked(now);
  s.segmentReal = now;
  s.rate = rate;
}

double ClockRate() {
  auto &s = State();
  std::lock_guard g(s.lock);
  return s.rate;
}

uint64_t ClockNowMs() {
  auto &s = State();
  std::lock_guard g(s.lock);
  return static_cast<uint64_t>(s.nowLocked(Real::now()));
}

int64_t ClockWallMs() {
  auto &s = State();
  std::lock_guard g(s.lock);
  return s.wallAtStartMs + static_cast<int64_t>(s.nowLocked(Real::now()));
}

std::chrono::nanoseconds RealDuration(uint64_t platformMs) {
  double rate = ClockRate();
  return std::chrono::nanoseconds(static_cast<int64_t>(static_cast<double>(platformMs) * 1e6 / rate));
}

void SleepMs(uint64_t platformMs) {
  uint64_t end = ClockNowMs() + platformMs;
  // Re-check against the clock: the rate may change while we sleep.
  for (uint64_t now = ClockNowMs(); now < end; now = ClockNowMs())
    std::this_thread::sleep_for(RealDuration(end - now));
}

} // namespace platform
