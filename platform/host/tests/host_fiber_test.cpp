#include "platform/host/host_fiber.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

HostFiber* Fiber = nullptr;
std::vector<std::string> Trace;

void entry() noexcept {
  Trace.push_back("start");
  Fiber->suspend();
  Trace.push_back("again");
  // an exception thrown and caught on the fiber's own stack stays there
  try {
    throw 42;
  } catch (int) {
    Trace.push_back("caught");
  }
  Fiber->suspend();
  Trace.push_back("end");
}

}  // namespace

TEST(HostFiberTest, SwitchesBackAndForthUntilTheEntryReturns) {
  Trace.clear();
  HostFiber fiber(131072, entry);
  Fiber = &fiber;
  EXPECT_FALSE(fiber.started());
  // the stack starts zero-filled and has the size asked for
  ASSERT_GE(fiber.stack().size(), 131072u);
  EXPECT_TRUE(std::all_of(fiber.stack().begin(), fiber.stack().end(), [](u8 b) { return b == 0; }));

  fiber.resume();
  EXPECT_EQ(Trace, (std::vector<std::string>{"start"}));
  EXPECT_FALSE(fiber.running());
  fiber.resume();
  EXPECT_EQ(Trace, (std::vector<std::string>{"start", "again", "caught"}));
  EXPECT_FALSE(fiber.finished());
  fiber.resume();
  EXPECT_TRUE(fiber.finished());
  EXPECT_EQ(Trace.back(), "end");
}

TEST(HostFiberDeathTest, OverflowHitsTheGuardPage) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_DEATH(
      {
        static HostFiber* f = nullptr;
        HostFiber fiber(16384, [] () noexcept {
          // write below the stack's lowest byte: the guard page
          volatile u8* low = const_cast<u8*>(f->stack().data());
          low[-1] = 1;
        });
        f = &fiber;
        fiber.resume();
      },
      "");
}
