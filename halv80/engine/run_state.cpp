// Run-control words and their accessors.
#include "halv80/engine/prof_profiler.h"
#include "halv80/engine/run_state.h"

#include "halv80/engine/co_coroutine.h"
#include "halv80/engine/run_exec.h"
#include "halv80/engine/sup_messages.h"

constinit RunState Run;

namespace {

constexpr u16 kErrTargetRunning = 7;

}  // namespace

u16 sup_check_not_running() {
  if ((Run.ExecutionState & kExecRunning) == 0) return 1;
  sup_raise_error(kErrTargetRunning, 1);
  return 0;
}

void run_set_execution_state(u16 state) {
  Run.ExecutionState = state;
  // the profiler samples only while the target runs
  if (state == kExecStopped) prof_run_end();
}
u16 run_get_run_flags() { return Co.Request.run_flags; }
void run_set_run_flags(u16 flags) { Co.Request.run_flags = flags; }
u16 run_get_target_state() { return Run.TargetState; }
void run_set_target_state(u16 state) { Run.TargetState = state; }
void run_set_run_mode_word(u16 v) { Run.RunModeWord = v; }
void run_set_stop_report_word(u16 v) { Run.StopReportWord = v; }
void sup_set_confirm_flag(u16 v) { Run.ConfirmFlag = v; }
void run_set_one_time_setup(u16 v) { Run.OneTimeSetup = v; }
void run_set_forced_stop_request(u16 v) { Run.ForcedStopRequest = v; }
void run_set_step_option(u16 v) { Run.StepOption = v; }
void sup_set_window_option(u16 v) { Run.WindowOption = v; }

void brk_set_break_options(u16 a, u16 b, u16 c) {
  Run.BreakOptions[0] = a;
  Run.BreakOptions[1] = b;
  Run.BreakOptions[2] = c;
}

u16 run_call_and_wait(u16 mode) {
  // The event and trace set-up before a first run has nothing to set up
  // here, and no source step is left pending to be finished first.
  Run.OneTimeSetup |= 1;
  Run.StepPending = 0;
  run_and_wait(mode);
  return 0;
}

// The trace-history entries live with the trace viewer (trc_display.cpp).
