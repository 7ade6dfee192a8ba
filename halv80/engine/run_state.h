// The run-control words that other areas and the window side set through
// small accessors, ExecutionState with its one writer, the call-and-wait frame
// for target runs during an evaluation, and the trace-history entries of the
// window side's history window.
#pragma once

#include "platform/host/host_types.h"

// ExecutionState values and bits.
constexpr u16 kExecStopped = 0;
constexpr u16 kExecRunning = 1;      // bit 0: the target runs
constexpr u16 kExecStopping = 2;     // a stop is being processed
constexpr u16 kExecPaused = 4;       // paused for a memory access
constexpr u16 kExecResuming = 8;

// The target's registers as the debugger holds them between runs. iff: Z80
// families: I in the high byte, bit 2 the interrupt enable; 8080/8085: bits
// 0-2 the interrupt mask, bit 3 the interrupt enable.
constexpr u16 kIffZ80Enable = 0x04;   // RegisterImage::iff, Z80 families
constexpr u16 kIff8080Enable = 0x08;  // RegisterImage::iff, 8080/8085

struct RegisterImage {
  u16 af = 0, bc = 0, de = 0, hl = 0;
  u16 af2 = 0, bc2 = 0, de2 = 0, hl2 = 0;
  u16 ix = 0, iy = 0, sp = 0, pc = 0;
  u16 iff = 0;
  u16 r = 0;
};

struct RunState {
  u16 ExecutionState = kExecStopped;
  u16 TargetRun = 0;          // a go was sent and its stop not yet read back
  RegisterImage Regs{};
  u16 TargetState = 0;        // the target-state word of run control and the profiler
  u16 RunModeWord = 0;
  u16 StopReportWord = 0;
  u16 ConfirmFlag = 0;        // read by the window side with StartedBySetup when the frame closes
  u16 OneTimeSetup = 0;       // bit 0: the event and trace set-up before the first run is done
  u16 BreakOptions[3]{};      // three words of the breakpoint commands
  u16 StepOption = 0;         // a word of the trace engine
  u16 WindowOption = 0;       // read by the window side's timer after a stop
  u16 ForcedStopRequest = 0;  // 1: run-and-wait is asked for a forced stop
  u16 StepPending = 0;        // a source step waits to be finished (0 none, else its kind)
  u16 TraceHwLevel = 0;       // 0 no event and trace hardware, 1 basic, 2 extended
  u16 StopPending = 0;        // a forced stop succeeded before the stop was read back
  u32 ResetTick = 0;          // tick count of the last reset in no-monitor mode
  u16 DisplayRefresh = 0;     // kRefreshRunStatus: the window side redraws the run status
};
constexpr u16 kRefreshRunStatus = 2;
extern RunState Run;

// 1 when the target is stopped; otherwise the busy error (7, kind 1) and 0.
// The first call of every window-side command that needs a stopped target.
u16 sup_check_not_running();
// The only writer of ExecutionState.
void run_set_execution_state(u16 state);
u16 run_get_run_flags();
void run_set_run_flags(u16 flags);
u16 run_get_target_state();
void run_set_target_state(u16 state);
void run_set_run_mode_word(u16 v);
void run_set_stop_report_word(u16 v);
void sup_set_confirm_flag(u16 v);
void run_set_one_time_setup(u16 v);
void run_set_forced_stop_request(u16 v);
void run_set_step_option(u16 v);
void sup_set_window_option(u16 v);
void brk_set_break_options(u16 a, u16 b, u16 c);

// Runs the target for an evaluation (a call of a target function) from the
// register image until it stops: run-and-wait with `mode` (run_and_wait). A
// pending source step is dropped. Always 0; a reply time-out unwinds.
u16 run_call_and_wait(u16 mode);

// Trace-history entries of the history window.
struct HistoryRequest {
  u16 kind = 0;          // the trace display's format flags
  u32 first = 0;         // first sample
  u32 count = 0;         // sample count, in and out
  u32 has_range = 0;     // a sample range is given
  u32 last = 0;          // last sample
  u32 valid_first = 0;   // the valid range, filled by hist_trace_range
  u32 valid_last = 0;
  u32 valid_count = 0;   // valid_last - valid_first
  u32 lines = 0;         // lines produced
  char* text = nullptr;  // receives the produced lines
  u32 text_size = 0;     // bytes the text area holds, its terminator included
};
// 0 without event and trace hardware; 1 while the target is stopped.
u16 hist_trace_state();
// The valid range of the trace memory into `request`; returns its count + 1,
// or 1 (no data) without trace hardware or when nothing was recorded. Stops
// the recording of a running target. Without a monitor the pointers are read
// back afresh each time and positions count from hardware frame 0.
u32 hist_trace_range(HistoryRequest& request);
// Produces no lines without trace hardware.
void hist_read_trace_block(HistoryRequest& request);
