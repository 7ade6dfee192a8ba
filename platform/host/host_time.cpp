// Local time and sleeping, on the real clock or the fake tick clock.
#include "platform/host/host_time.h"

#include <sys/time.h>
#include <time.h>

#include <cerrno>

#include "platform/host/host_clock.h"

namespace {

constexpr u32 kMsPerDay = 24u * 60 * 60 * 1000;

}  // namespace

HostLocalTime host_local_time() {
  HostLocalTime t;
  if (host_clock_is_fake()) {
    const u32 ms = host_tick_ms() % kMsPerDay;
    t.hour = u16(ms / 3600000);
    t.minute = u16(ms / 60000 % 60);
    t.second = u16(ms / 1000 % 60);
    t.millisecond = u16(ms % 1000);
    return t;
  }
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  tm local{};
  localtime_r(&now.tv_sec, &local);
  t.hour = u16(local.tm_hour);
  t.minute = u16(local.tm_min);
  t.second = u16(local.tm_sec);
  t.millisecond = u16(now.tv_nsec / 1000000);
  return t;
}

u32 host_ms_of_day(const HostLocalTime& t) {
  return ((u32(t.hour) * 60 + t.minute) * 60 + t.second) * 1000 + t.millisecond;
}

void host_sleep_ms(u32 ms) {
  if (host_clock_is_fake()) {
    host_clock_advance(ms);
    return;
  }
  timespec left{time_t(ms / 1000), long(ms % 1000) * 1000000L};
  // a signal cuts the wait short; the rest is waited for
  while (nanosleep(&left, &left) != 0 && errno == EINTR) {
  }
}
