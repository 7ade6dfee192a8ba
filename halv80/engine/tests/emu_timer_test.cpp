// The event timer's count text: the unit letters by resolution, the 24-bit
// count, and a caller's buffer that is too short.
#include "halv80/engine/emu_timer.h"

#include <gtest/gtest.h>

#include <array>
#include <string>

namespace {

TEST(EmuTimerCountText, UnitLettersFollowTheResolution) {
  const struct {
    u32 count;
    u16 resolution;
    const char* text;
  } cases[] = {
      {12345678, kTimerTenthMicrosecond, "1s234m567u8  "},  // the digit after "u" is tenths
      {12345678, kTimerMicrosecond, "12s345m678u  "},
      {12345678, kTimerTenMicroseconds, "123s456m780u"},    // the last digit is tens of us
      {0, kTimerMicrosecond, "00s000m000u  "},
      {0x00FFFFFF, kTimerTenMicroseconds, "167s772m150u"},  // the largest count
      {0x01000001, kTimerMicrosecond, "00s000m001u  "},     // only the low 24 bits count
      {0xFFFFFFFF, kTimerTenthMicrosecond, "1s677m721u5  "},
      {12345678, 0xFFFF, "12345678  "},                     // letters past the digits are left out
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    std::array<char, kTimerCountTextLength + 1> out;
    out.fill('#');
    EXPECT_EQ(emu_timer_count_text(c.count, c.resolution, out), std::string(c.text).size());
    EXPECT_EQ(std::string(out.data()), c.text);
  }
}

TEST(EmuTimerCountText, IsCutToTheCallersBuffer) {
  const struct {
    std::size_t size;  // of the caller's buffer
    const char* text;
  } cases[] = {{14, "12s345m678u  "}, {13, "12s345m678u "}, {5, "12s3"}, {1, ""}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.size);
    std::array<char, 16> buffer;
    buffer.fill('#');
    const std::size_t n = emu_timer_count_text(12345678, kTimerMicrosecond, std::span<char>(buffer).first(c.size));
    EXPECT_EQ(n, std::string(c.text).size());
    EXPECT_EQ(std::string(buffer.data()), c.text);
    EXPECT_EQ(buffer[c.size], '#');  // nothing past the buffer
  }
  std::array<char, 1> untouched = {'#'};
  EXPECT_EQ(emu_timer_count_text(1, kTimerMicrosecond, std::span<char>(untouched).first(0)), 0u);
  EXPECT_EQ(untouched[0], '#');
}

}  // namespace
