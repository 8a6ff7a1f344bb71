// clock.h: time for pacing a display, and waiting on it, behind a small
// interface so that tests can pass a clock that only moves when they say.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <limits>
#include <mutex>

namespace quarn::platform {

class Clock {
 public:
  static constexpr int64_t kNoDeadline = std::numeric_limits<int64_t>::max();

  virtual ~Clock() = default;

  // Milliseconds from a fixed but arbitrary origin; never goes back, and
  // does not jump when the system's calendar time is set.
  virtual int64_t milliseconds() = 0;

  // Waits on `changed` until `done()` is true or the clock reads `deadline`
  // (kNoDeadline: no time limit). `lock` holds the mutex that guards what
  // `done` reads; it is released while waiting and held again on return.
  // Returns done().
  virtual bool waitUntil(std::condition_variable& changed, std::unique_lock<std::mutex>& lock, int64_t deadline,
                         const std::function<bool()>& done) = 0;
};

// The system's monotonic clock. Lives for the whole process.
Clock& monotonicClock();

}  // namespace quarn::platform
