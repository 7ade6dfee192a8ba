// Target control and status over the interface library: reset and NMI pulses,
// power check, run and data waits, the event, trace and timer hardware, the
// NMI profiler sample and the run-time counter with its text. Owns EmuCtl.
// Like the access wrappers, every call does nothing (reads give 0) before the
// work area is set up; a channel time-out takes the monitor's time-out path.
#pragma once

#include <cstddef>
#include <span>
#include <string_view>

#include "platform/host/host_types.h"

// "0,000s000m000u": seconds, milliseconds, microseconds of the run-time counter.
constexpr std::size_t kTimeTextSize = 14;
// The event timer statistics average over at most this many measurements.
constexpr u16 kTimerAverageSpan = 100;
// emu_trace_full: rounds the trace is still reported not full after register
// 55 bit 0 was last seen set.
constexpr u16 kTraceFullGrace = 10;
// emu_profiler_sample: the channel had data, so no sample was taken.
constexpr u16 kProfilerChannelBusy = 0xFFFF;

// One recorded bus cycle as the trace wrappers deliver it.
struct TraceFrame {
  u32 address = 0;  // cut to 24 bits below hardware level 2
  u32 data = 0;     // cut to 16 bits below level 2
  u16 status = 0;   // cut to 8 bits below level 2
  u16 time = 0;     // low 11 bits: units since the first frame, wrapping at 2000; upper 5 bits as read
};

struct EmuControlState {
  // Run-time measurement.
  u16 RunCounter = 0;               // +1 at every go; cleared with the run-time counter
  u32 RunOverhead = 0;              // run-time counter ticks one go/stop costs
  u32 LastRunTime = 0;              // the last value read from the run-time counter
  char TimeText[kTimeTextSize + 1] = "0,000s000m000u";
  // Configuration (start-up) read by the event translation and the power check.
  u16 MemoryOrganisation = 0;       // memory-organisation word; /2 mod 32 is the bus-word shift
  u32 MemorySizeUnits = 0;          // configured emulation-memory size in 4 KiB units
  u16 ProfilerRunning = 0;          // profiler state: 0 off, 1 on, 2 sampling
  u16 TraceFullCountdown = 0;       // emu_trace_full's grace rounds left
  // Real-time trace bookkeeping between trc_start/trc_on and the frame reads.
  u16 TraceFrameAdjust = 0;         // trace mode bit 3 at the start: frames in groups of 16
  u32 TraceFrameEnd = 0xFFFFFFFF;   // frame after the last recorded; all ones: not yet known
  u32 TraceDelayLeft = 0xFFFFFFFF;  // trigger delay still to run; 16 bits once stopped
  u32 TraceWrapped = 0;             // _Q_tr_stop's result: the trace memory wrapped
  u16 TraceStartStamp = 0;          // time stamp of the first valid frame (low 11 bits)
  // Event timer statistics.
  u32 TimerLast = 0;
  u16 TimerCount = 0;               // measurements; stops at 65535
  u32 TimerSum = 0;                 // of the last kTimerAverageSpan measurements, approximately
  u32 TimerAverage = 0;
  u32 TimerMax = 0;
  u32 TimerMin = 0xFFFFFFFF;
};
extern EmuControlState EmuCtl;

// Start-up values of the control layer.
void emu_control_reset();

// --- Run-time measurement ----------------------------------------------------

// Clears the run-time counter and the run counter.
void emu_rtc_clear();
// Reads the run-time counter (microseconds) into EmuCtl.LastRunTime and returns it.
u32 emu_rtc_read();
// EmuCtl.TimeText for the last run-time value less RunCounter x RunOverhead
// (0 when that would be negative): ten digits with leading zeros, split by
// "," "s" "m" "u"; 1,234,567,890 us is "1,234s567m890u".
std::string_view emu_run_time_text();

// --- Target control and status -------------------------------------------------

// Resets the target for n x 17 ms, the channel FIFOs emptied.
void emu_reset_pulse(u16 n);
// _Q_trg_NMI: 0 a short pulse, else held that many ms; 1 is held for 2 ms.
void emu_nmi(u16 v);
// Pulses the run strobe (register 7 bit 4); the work area's shadow of register
// 7 loses bit 4, so the next masked write of register 7 does not repeat it.
void emu_profiler_strobe();
// Power check: bit 0 target power off, bit 1 second supply off (asked only
// when the memory organisation is 4 or an upper ROM area is configured).
// 0 in no-monitor mode.
u32 emu_check_target_vcc();
// Waits for the running target: 1 when a channel byte waits while it still
// runs, 0 as soon as it runs the program no longer. Checks the reply watchdog
// every 100th round; an expired one marks the target stopped and ends the
// command (does not return).
u16 emu_wait_run_or_data();
// A wait for the target looks at the reply watchdog: when it has just
// reported the target hung, the target counts as stopped and the command ends
// (does not return then).
void emu_watchdog_or_end();
// _Q_wait: `ms` milliseconds pass.
void emu_wait(u16 ms);
// Register 44 bit 7 := flag (the register page bit); `value`'s other bits are not written.
void emu_set_page_bit(u8 value, u16 flag);
// Register 54 := v, kept in the work area (offset 515) for the library's set-up.
void emu_set_break_trace_control(u8 v);
// 0 while the trace memory is not full, 128 when it is. Register 55 bit 0 seen
// set restarts a grace of 10 rounds in which it still counts as not full,
// unless the run-control flag word is 2.
u16 emu_trace_full();
// 128 when the trace has stopped recording (register 55 bit 0 clear), else 0.
u16 emu_trace_stopped();
// Events that have hit, of those enabled for the run (work offset 497); 0
// without event hardware (Run.TraceHwLevel 0).
u8 emu_event_status();
// _Q_ev_set with 0 passed as 1 and 1 as 2.
void emu_ev_set(u16 v);
// Arms the run events (_Q_ev_set (1)) when there is event hardware; suppress
// != 0: with the run-event enable mask cleared for that call only.
void emu_arm_run_events(u16 suppress);
// _Q_tm_set: loads the event timer's set-up from the work area.
void emu_timer_set();
// start != 0: clears the statistics and starts the timer; result 0. Else,
// when both timer events compare something, reads the timer into `value` and,
// when it has a new measurement (status bit 1), records it; the result is the
// timer status (0 when the events leave the timer idle).
u8 emu_timer_read(u32& value, u16 start);
// Adds one measurement to the timer statistics of EmuCtl.
void emu_timer_record(u32 value);

// The interface card by the card-detection device. PCI: a card found gives
// its port (low 3 bits cleared) as the work area's port base and 0; none
// found is start-up error 22 (no detection device) or 23 (no card), returned.
u16 emu_detect_card_base();
// PC-Card detection: the port, or 1 (no detection device) / 2 (no card).
u16 emu_detect_card();

// --- Events -----------------------------------------------------------------

// Hands event n (1..3) to the hardware: the user record (work offset 317 +
// 30(n-1)) is copied to the library's (407 + 30(n-1)), its addresses turned
// into bus-word addresses and every value cut to its mask; then _Q_trig_set
// (n). Any other n goes to _Q_trig_set as it is.
void emu_program_event(u16 n);

// --- Real-time trace ------------------------------------------------------------

// Starts recording; the end frame is unknown until trc_stop.
void trc_start();
// Stops recording and learns the end frame, the delay left and whether the
// trace wrapped; nothing when the end frame is known already.
void trc_stop();
// Switches the trace on again (register 55 := 5), end frame unknown.
void trc_on();
// The valid frame range after a stop: `first` .. `last` (16-bit frame numbers,
// wrapping); both 0xFFFF when nothing was recorded. Learns the start time
// stamp that trc_read_frame measures from.
void trc_read_trace_frames(u16& first, u16& last);
// Reads hardware frame `frame`.
TraceFrame trc_read_frame(u16 frame);
// _Q_set_fadr: the frame the trace address registers point at.
void trc_set_frame(u16 frame);
// The trace's current sample: address and status; true when it is valid.
bool trc_sample(u32& address, u16& status);

// --- Profiler ---------------------------------------------------------------

// One NMI sample of the running program into `buffer` (the interrupted PC,
// low byte first, for a 2-byte buffer): kProfilerChannelBusy when the channel
// had data first, else _Q_profnmi's result (0 a sample, 1 time-out, 2 the
// echo was wrong, 3 the program is not running). A time-out switches the
// profiler off and takes the time-out path (does not return).
u16 emu_profiler_sample(std::span<u8> buffer);
