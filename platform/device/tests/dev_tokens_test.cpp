#include "platform/device/dev_tokens.h"

#include <gtest/gtest.h>

class TokensTest : public testing::Test {
 protected:
  void SetUp() override { dev_token_reset(); }
  void TearDown() override { dev_token_reset(); }
};

TEST_F(TokensTest, ResolvesOnlyLiveTokensWithinTheirLength) {
  u8 buffer[16];
  const u32 t = dev_token_register(buffer, sizeof buffer);
  ASSERT_NE(t, 0u);
  EXPECT_EQ(dev_token_resolve(t, 16), buffer);
  EXPECT_EQ(dev_token_resolve(t, 0), buffer);
  EXPECT_EQ(dev_token_resolve(t, 17), nullptr);  // more than was registered
  EXPECT_EQ(dev_token_length(t), 16u);
  EXPECT_EQ(dev_token_resolve(0, 0), nullptr);
  EXPECT_EQ(dev_token_resolve(t ^ 0x80, 1), nullptr);  // a slot never used
  dev_token_release(t);
  EXPECT_EQ(dev_token_resolve(t, 1), nullptr);
  // the slot comes back with a new token; the old one stays stale
  const u32 again = dev_token_register(buffer, 4);
  EXPECT_NE(again, t);
  EXPECT_EQ(dev_token_resolve(t, 1), nullptr);
  EXPECT_EQ(dev_token_resolve(again, 4), buffer);
  EXPECT_EQ(dev_token_register(nullptr, 4), 0u);
}

TEST_F(TokensTest, FullTableGivesNoToken) {
  u8 b;
  for (std::size_t i = 0; i < kTokenSlots; ++i) ASSERT_NE(dev_token_register(&b, 1), 0u);
  EXPECT_EQ(dev_token_register(&b, 1), 0u);
  dev_token_reset();
  u32 t;
  {
    ScopedToken scoped(&b, 1);
    t = scoped.token();
    EXPECT_EQ(dev_token_resolve(t, 1), &b);
  }
  EXPECT_EQ(dev_token_resolve(t, 1), nullptr);  // released with its scope
}
