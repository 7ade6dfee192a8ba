// The device's virtual time on the host tick clock.
#include "platform/device/dev_clock.h"

#include <chrono>
#include <thread>

#include "platform/host/host_clock.h"

DevClock::DevClock(u32 cpu_clock_hz) : hz_(cpu_clock_hz ? cpu_clock_hz : 1) { Restart(); }

void DevClock::Restart() {
  mark_ms_ = host_tick_ms();
  mark_fake_ = host_clock_is_fake();
}

u64 DevClock::ToTStates(u64 ms) {
  // ms < 2^32 and hz < 2^32: the product fits in 64 bits
  const u64 total = ms * hz_ + carry_;
  carry_ = total % 1000;
  return total / 1000;
}

u64 DevClock::TakeOwed() {
  const u32 now = host_tick_ms();
  const bool fake = host_clock_is_fake();
  // the tick clock swapped under us? its readings do not compare with the mark
  const bool comparable = fake == mark_fake_;
  const u32 elapsed = now - mark_ms_;  // u32: the tick count wraps
  mark_ms_ = now;
  mark_fake_ = fake;
  if (fixed_budget_ != 0) return fixed_budget_;
  if (!comparable) return 0;
  return ToTStates(elapsed < kCatchUpLimitMs ? elapsed : kCatchUpLimitMs);
}

u64 DevClock::Pass(u32 ms) {
  if (host_clock_is_fake())
    host_clock_advance(ms);
  else
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
  Restart();
  return ToTStates(ms);
}
