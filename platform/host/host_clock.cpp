// Tick clock: the monotonic clock in milliseconds, or a fake for tests.
#include "platform/host/host_clock.h"

#include <chrono>

namespace {

struct ClockState {
  bool fake = false;  // true: `now` is the time, moved by host_clock_advance
  u32 now = 0;
};
constinit ClockState Clock;

}  // namespace

u32 host_tick_ms() {
  if (Clock.fake) return Clock.now;
  const auto since = std::chrono::steady_clock::now().time_since_epoch();
  return u32(std::chrono::duration_cast<std::chrono::milliseconds>(since).count());
}

void host_clock_use_fake(u32 start_ms) {
  Clock.fake = true;
  Clock.now = start_ms;
}

void host_clock_advance(u32 ms) { Clock.now += ms; }

void host_clock_use_real() { Clock.fake = false; }

bool host_clock_is_fake() { return Clock.fake; }
