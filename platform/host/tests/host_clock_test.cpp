#include "platform/host/host_clock.h"

#include <gtest/gtest.h>

TEST(HostClockTest, FakeClockMovesOnlyWhenToldAndWraps) {
  host_clock_use_fake(0xFFFFFFF0u);
  EXPECT_EQ(host_tick_ms(), 0xFFFFFFF0u);
  EXPECT_EQ(host_tick_ms(), 0xFFFFFFF0u);
  host_clock_advance(0x20);
  EXPECT_EQ(host_tick_ms(), 0x10u);  // the tick count wraps like the system's
  host_clock_use_real();
  EXPECT_FALSE(host_clock_is_fake());
  const u32 a = host_tick_ms();
  const u32 b = host_tick_ms();
  EXPECT_LE(u32(b - a), 1000u);
}
