// The event timer's count text.
#include "halv80/engine/emu_timer.h"

#include <algorithm>
#include <array>

namespace {

constexpr std::size_t kCountDigits = 8;  // "%08ld" of a 24-bit count

}  // namespace

std::size_t emu_timer_count_text(u32 count, u16 resolution, std::span<char> out) {
  if (out.empty()) return 0;
  std::array<char, kCountDigits> digits{};
  u32 value = count & kTimerCountMask;
  for (std::size_t i = digits.size(); i-- > 0;) {
    digits[i] = char('0' + value % 10);
    value /= 10;
  }
  std::array<char, kTimerCountTextLength> text{};
  std::size_t n = 0;
  for (std::size_t i = 0; i < digits.size(); ++i) {
    text[n++] = digits[i];
    // a unit letter after this digit?
    if (i == resolution) text[n++] = 's';
    else if (i == resolution + 3u) text[n++] = 'm';
    else if (i == resolution + 6u) text[n++] = 'u';
  }
  const char* tail = resolution == kTimerTenMicroseconds ? "0u" : "  ";
  text[n++] = tail[0];
  text[n++] = tail[1];
  const std::size_t length = std::min(n, out.size() - 1);
  std::copy_n(text.begin(), length, out.begin());
  out[length] = '\0';
  return length;
}
