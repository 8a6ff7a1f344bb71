#include "platform/clock.h"

#include <chrono>

namespace quarn::platform {
namespace {

using Steady = std::chrono::steady_clock;

class MonotonicClock final : public Clock {
 public:
  int64_t milliseconds() override {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Steady::now().time_since_epoch()).count();
  }

  bool waitUntil(std::condition_variable& changed, std::unique_lock<std::mutex>& lock, int64_t deadline,
                 const std::function<bool()>& done) override {
    if (deadline == kNoDeadline) {
      changed.wait(lock, done);
      return true;
    }
    // steady_clock waits measure against the monotonic clock, so a change
    // of the calendar time neither stretches nor cuts them.
    const Steady::time_point until{std::chrono::duration_cast<Steady::duration>(std::chrono::milliseconds(deadline))};
    return changed.wait_until(lock, until, done);
  }
};

}  // namespace

Clock& monotonicClock() {
  static Clock* clock = new MonotonicClock;  // outlives every static destructor
  return *clock;
}

}  // namespace quarn::platform
