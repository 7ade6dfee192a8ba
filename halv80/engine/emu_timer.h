// The event timer's texts: a timer count in its resolution's units as
// seconds, milliseconds and microseconds. No state of its own; the
// resolution lives in the work area (offset 509) beside the timer's set-up.
#pragma once

#include <cstddef>
#include <span>

#include "platform/host/host_types.h"

// The timer counts 24 bits.
constexpr u32 kTimerCountMask = 0xFFFFFF;
// Timer resolutions: the unit of a count.
constexpr u16 kTimerTenthMicrosecond = 0;
constexpr u16 kTimerMicrosecond = 1;
constexpr u16 kTimerTenMicroseconds = 2;
// The longest count text, "1s234m567u8  ", without its terminator.
constexpr std::size_t kTimerCountTextLength = 13;

// Writes the count's low 24 bits as eight digits with "s" after digit
// `resolution` (from 0), "m" three digits later and "u" three after that,
// then "0u" at 10 us resolution (the unit's last digit) or two blanks:
// 12345678 at 1 us is "12s345m678u  ". Letters that would fall after the
// last digit are left out. The text is cut to fit `out` and terminated
// there; returns its length (0 for an empty `out`).
std::size_t emu_timer_count_text(u32 count, u16 resolution, std::span<char> out);
