// Run control: starting the target from the register image, noticing and
// reading back a stop, the target's system calls, the forced stop, the free
// run's stop checks, pausing a running target for a memory access, and the
// commands that act on a running target (TS, TG, ESC) with SYSC and RTC.
// Every exchange with the target is a monitor request.
#pragma once

#include <span>

#include "platform/host/host_types.h"

constexpr u16 kMsgTargetRunning = 125;   // "\n ターゲット実行中は使用できません"
constexpr u16 kMsgNoMonitorMode = 157;   // "強制起動モードでは実行できません"
constexpr u8 kSysCallMarker = 0xFE;      // B of a system call
constexpr u16 kReplyTimeoutStep = 10000; // ms: a single step's run
constexpr u16 kReplyTimeoutRun = 30000;  // ms: run-and-wait
constexpr u16 kReplyTimeoutNormal = 1000;
constexpr u16 kBreakRequestKey = 2;       // RunCtl.BreakRequested: a forced break asked for by ESC

struct RunControlState {
  u16 StopByte = 0;            // of the last stop: 0 the software-break instruction
  u16 BreakRequested = 0;      // escape seen; kBreakRequestKey: ESC typed while the target runs
  u16 ForcedStopInProgress = 0;
  u16 StopNotice = 0;          // a stop for the window side to show
  u16 IdlePolls = 0;
  u16 StopProcessed = 0;       // the idle check already processed this stop
  u32 SysCallEntry = 0;        // 0 none
  u16 SysCallAuto = 0;
  u16 RealTimeDisplay = 1;     // RTC ON
  u16 ContinueCounting = 0;    // G ...,/C
  u16 IdleCheckSuppress = 0;
  u16 KeepExecutionState = 0;  // one-shot: run_after_abort leaves ExecutionState
  u16 DisplayUpdate = 0;       // the windows are to be redrawn
  u16 RunStatusMode = 0;       // run-status display: 1 watching a free run, 2 showing its stop
  u16 SampleLogMode = 0;       // 0 none, 1 open, 2 sampling during a free run
};
extern RunControlState RunCtl;

void run_control_reset();

// The register image to the target and the run request; the last run status.
u16 emu_go(u16 mode);
// 1 when the target is stopped (nothing running, or a final stop read back).
u16 emu_read_stop_record();
// The stop check of the wait loops: 1 stopped.
u16 emu_check_stopped();
// 0 when the target stopped by itself, 1 when an NMI had to stop it.
u16 emu_force_stop();
// The monitor's vectors at the NMI and software-break addresses, and a break at
// the system-call entry.
void run_write_monitor_vectors();
// Runs the monitor's service entry once and waits for its stop; PC kept.
void run_monitor_service();
// Measures what one go and stop cost the run-time counter, with a monitor
// service run, into EmuCtl.RunOverhead, which the run-time text takes off
// each run. Afterwards the run-time counter, the run counter and the last
// run-time value are 0 again, as before any run. Nothing in no-monitor mode.
void emu_measure_overhead();

// Free run.
u16 run_idle_stop_check(u16 force);
u16 run_poll_free_run();
void run_after_abort();

// A memory access to a running target: pause before, resume after.
void run_pause_for_access();
void run_resume_after_access();
// Error 5 of kind 1 and 1 while the target is in use; else 0.
u16 run_require_stopped();
// The monitor reply time-out, clamped to 0..65535 ms.
void emu_set_reply_timeout(i32 ms);

// Status-bar texts.
u32 run_sample_address();
// The timer: 'R' while it counts and the target runs, else 'W', then the
// count it read as emu_timer_count_text writes it; an empty text without event
// hardware (Run.TraceHwLevel 0) or while the timer is off (status 0). Cut to
// fit `out` and terminated there.
void run_format_timer_status(std::span<char> out);

// Commands.
void cmd_ts();
void cmd_tg();
void cmd_esc();
void cmd_sysc();
void cmd_rtc();
