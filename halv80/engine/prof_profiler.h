// The profiler: while the program runs freely the engine samples where it is
// (by the real-time trace or by an NMI) at a fixed interval and counts the
// hits per symbol; PROF switches it and prints the report by falling hits.
// The symbol store's hit counters are served here too. Owns Prof.
#pragma once

#include <string>

#include "platform/host/host_types.h"

constexpr u16 kProfilerOff = 0, kProfilerOn = 1, kProfilerSampling = 2;  // EmuCtl.ProfilerRunning
constexpr u16 kProfileIntervalMin = 5;
constexpr u16 kProfileIntervalDefault = 10;

struct ProfilerState {
  u16 Source = 0;                          // 1 real-time trace, 0 NMI
  u16 Interval = kProfileIntervalDefault;  // ms between samples
  u32 LastSample = 0;                      // run-time counter (us of target time) at the last sample
  u32 Total = 0;                           // samples taken
  u32 User = 0;                            // of them inside the program's code
};
extern ProfilerState Prof;

void prof_reset();

// PROF.
void prof_cmd_prof();
// The report (PROF alone, core request 14).
void prof_report();
void prof_request_report(const char* argument);
// A free run begins (state on -> sampling, the target time noted) or ends.
void prof_run_start();
void prof_run_end();
// One sample when the interval has passed (state sampling, target running).
void prof_sample_step();
// "42.8%": part of whole in tenths of a percent, "100.%" for all of it.
std::string prof_share_text(u32 part, u32 whole);

// The symbol store's hit counters. 1 when `address` lies in the code range
// (its symbol's counter went up, or it has none), 0 otherwise.
u16 sym_count_hit(u32 address);
// mode 1 clears the counters; other modes only the reported marks.
void sym_clear_hit_counts(u16 mode);
// Position + 1 (sorted order) of the busiest symbol not yet reported, which
// is marked reported; 0 when none has hits left. Ties: the later position.
u16 sym_take_top_hit();
