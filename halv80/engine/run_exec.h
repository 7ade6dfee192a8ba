// The commands that let the target run: G (go, with a start address, a
// temporary stop address and the suffixes ",/C" and ",/W"), T (trace) and P
// (step over); the machine-instruction step engine with its length decoder;
// the source-line step; run-and-wait with its time-outs and escape; and the
// evaluation and report of a stop. Owns RunExecState.
#pragma once

#include <span>

#include "platform/host/host_types.h"

constexpr u16 kMsgCannotTrace = 56;      // "\n トレース実行出来ません"
constexpr u16 kMsgSoftwareBreak = 110;   // "ｿﾌﾄｳｪｱ ﾌﾞﾚｰｸ No.= "
constexpr u16 kGoFromKey = 0x80;         // run_cmd_go mode: from a key
constexpr u16 kGoReturnFromKey = 0x81;   // "@" from a key
constexpr u32 kFreeRunPollMs = 30;
constexpr u16 kExecModeMask = 0x0F;      // the execution mode in the run-mode word
constexpr u32 kStepClockEvery = 32;      // stop checks between two looks at a step's time

struct RunExecState {
  i16 CallDepth = 0;           // +1 per call or RST stepped into, -1 per return
  u16 EnteredCall = 0;         // the last step went into a call
  u16 Returned = 0;            // the last step returned
  i16 BreakUnderPc = 0;        // 1: a breakpoint under PC was stepped over first
  u16 BreakHit = 0;            // 0 none, 1..63 breakpoint, 65 hardware event
  u16 StopCause = 0;           // event status read after the stop
  u16 StopDisplayMode = 0;     // 0 normal, 2 free run
  u16 Refused = 0;             // run-and-wait refused (no-monitor mode)
  i16 StepFromBreak = 0;       // -1: the last step first ran to a pending breakpoint
  u16 SteppingOff = 0;         // stepping switched off: a step does nothing
  u16 EscapeSeen = 0;          // ESC during the last run, or a step's time-out
  u16 StepTimedOut = 0;        // the last step's run was stopped at its time-out
  u16 PlainRun = 0;            // the last stop ends a run of G (the real-time count is shown)
};
extern RunExecState RunExec;

void run_exec_reset();

// Commands.
void run_cmd_go(u16 mode);
void cmd_go();     // G typed: mode 0
void cmd_trace();  // T [count]
void cmd_step();   // P [count]

// Length and control-transfer flag of the instruction in `code` (its first
// bytes; missing bytes read as 0) for the configured CPU family.
struct InstructionShape {
  u16 length = 1;
  bool transfer = false;
};
InstructionShape run_instruction_shape(std::span<const u8> code);

void run_trace_step(u16 count, u16 level, bool quiet);
// One machine instruction: over = step over calls; returns the break-hit
// number (0 none), or 1 when stepping is off or the instruction is the break.
u16 run_step_instruction(bool over, bool no_bookkeeping);
// A source-line step: 0 at the start of a line, 1 when ended otherwise.
u16 run_source_step(bool over);
// Plants the break at `address`, runs until the target stops, puts the byte back.
void run_plant_and_run(u16 address, bool keep_interrupts);
// Temporary break at `address`, then run with breakpoints.
void run_go_to(u32 address);
// mode bit 0: short (10 s) reply time-out; low byte 0: start the trace too;
// 256: resume after a paused memory access.
void run_and_wait(u16 mode);
void run_after_stop(u16 mode, u16 forced);
// The breakpoints put back and the stop judged: kBreakGoOn or kBreakFinal.
u16 run_evaluate_stop();
// Runs on after a passed breakpoint in a free run.
void run_resume_free();
// The stop's report: the real-time count and the stop reason.
void run_show_stop(bool redraw);
void run_show_stop_reason(bool redraw);
