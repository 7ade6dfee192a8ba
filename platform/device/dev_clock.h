// The device's virtual time. The target runs only inside device calls; each
// call first asks this clock how many T-states the target owes for the time
// since the previous call, measured on the host tick clock (real or fake) at
// the board's CPU clock and bounded per call. Tests replace wall time with a
// fixed T-state budget per call, so that every run is repeatable.
#pragma once

#include "platform/host/host_types.h"

class DevClock {
 public:
  // At most this much time is made up in one call: a host that stood still
  // for seconds (a debugger breakpoint, a loaded machine) does not make one
  // call run the target for seconds.
  static constexpr u32 kCatchUpLimitMs = 50;

  // A CPU clock of 0 Hz counts as 1 Hz. The mark starts at the tick clock's now.
  explicit DevClock(u32 cpu_clock_hz);

  // The T-states owed since the last mark, and the mark moved to now. With a
  // fixed budget: the budget, whatever the tick clock did. When the tick
  // clock switched between real and fake since the mark, nothing is owed.
  u64 TakeOwed();
  // Lets `ms` milliseconds pass (the fake clock is advanced, the real one
  // slept through) and returns the T-states for them; the mark moves to now,
  // so that the next call owes nothing for this time.
  u64 Pass(u32 ms);
  // A fixed T-state budget for every call; 0 goes back to wall time.
  void UseFixedBudget(u64 tstates_per_call) { fixed_budget_ = tstates_per_call; }
  u64 FixedBudget() const { return fixed_budget_; }
  // Moves the mark to now without owing anything.
  void Restart();

  u32 CpuClockHz() const { return hz_; }

 private:
  // T-states for `ms`; the fraction of a T-state left over is carried to the
  // next conversion, so that a clock that is not a multiple of 1 kHz loses
  // nothing over many calls.
  u64 ToTStates(u64 ms);

  u32 hz_;                // T-states per second
  u32 mark_ms_ = 0;       // the tick clock at the last call
  bool mark_fake_ = false;  // the mark was taken on the fake clock
  u64 fixed_budget_ = 0;  // T-states per call; 0: wall time
  u64 carry_ = 0;         // (ms * hz) mod 1000 from the last conversion
};
