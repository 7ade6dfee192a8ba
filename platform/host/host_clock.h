// The system tick count: milliseconds from a fixed start, wrapping at 2^32.
// Tests replace the real clock by a fake one that moves only when told to, so
// that time-outs and keep-alive intervals are checked without waiting.
#pragma once

#include "platform/host/host_types.h"

// Milliseconds of the tick clock now (the real monotonic clock, or the fake).
u32 host_tick_ms();

// Switch to the fake clock, standing at `start_ms`.
void host_clock_use_fake(u32 start_ms);
// Move the fake clock forward; no effect on the real clock.
void host_clock_advance(u32 ms);
// Back to the real monotonic clock.
void host_clock_use_real();
bool host_clock_is_fake();
