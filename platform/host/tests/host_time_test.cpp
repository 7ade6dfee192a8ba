#include "platform/host/host_time.h"

#include <gtest/gtest.h>

#include <chrono>

#include "platform/host/host_clock.h"

namespace {

class HostTimeTest : public testing::Test {
 protected:
  void TearDown() override { host_clock_use_real(); }
};

TEST_F(HostTimeTest, FakeClockIsTheTimeOfDay) {
  const struct {
    u32 tick;
    u16 h, m, s, ms;
  } cases[] = {
      {0, 0, 0, 0, 0},
      {100000, 0, 1, 40, 0},
      {45296789, 12, 34, 56, 789},
      {86399999, 23, 59, 59, 999},
      {86400000 + 1001, 0, 0, 1, 1},  // the next day
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.tick);
    host_clock_use_fake(c.tick);
    const HostLocalTime t = host_local_time();
    EXPECT_EQ(t.hour, c.h);
    EXPECT_EQ(t.minute, c.m);
    EXPECT_EQ(t.second, c.s);
    EXPECT_EQ(t.millisecond, c.ms);
    EXPECT_EQ(host_ms_of_day(t), c.tick % 86400000);
  }
}

TEST_F(HostTimeTest, SleepMovesTheFakeClockAndWaitsOnTheReal) {
  host_clock_use_fake(5000);
  const auto before = std::chrono::steady_clock::now();
  host_sleep_ms(60000);
  EXPECT_EQ(host_tick_ms(), 65000u);
  EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::seconds(1));  // no real wait

  host_clock_use_real();
  const auto start = std::chrono::steady_clock::now();
  host_sleep_ms(30);
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(30));
  const HostLocalTime t = host_local_time();
  EXPECT_LT(t.hour, 24);
  EXPECT_LT(t.minute, 60);
  EXPECT_LT(t.second, 61);
  EXPECT_LT(t.millisecond, 1000);
}

}  // namespace
