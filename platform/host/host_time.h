// Local time of day to the millisecond, and sleeping. On the fake tick clock
// (host_clock.h) both follow that clock, so that tests see exact times: the
// local time is then the fake tick count taken as milliseconds of the day,
// and a sleep moves the fake clock on instead of waiting.
#pragma once

#include "platform/host/host_types.h"

struct HostLocalTime {
  u16 hour = 0;         // 0..23
  u16 minute = 0;       // 0..59
  u16 second = 0;       // 0..59 (60 in a leap second of the real clock)
  u16 millisecond = 0;  // 0..999
};

HostLocalTime host_local_time();
// Milliseconds since local midnight of host_local_time().
u32 host_ms_of_day(const HostLocalTime& t);
// Waits `ms` milliseconds (real clock) or advances the fake clock by them.
void host_sleep_ms(u32 ms);
