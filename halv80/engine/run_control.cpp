// Run control: go, stop read-back, system calls, forced stop, the free run's
// stop checks, pause and resume around a memory access, and the commands TS,
// TG, ESC, SYSC and RTC.
#include "halv80/engine/run_control.h"

#include <cstdio>

#include "halv80/engine/prof_profiler.h"
#include "halv80/engine/brk_table.h"
#include "halv80/engine/cfg_config.h"
#include "halv80/engine/cmd_core.h"
#include "halv80/engine/cmd_switches.h"
#include "halv80/engine/co_coroutine.h"
#include "halv80/engine/con_scanner.h"
#include "halv80/engine/emu_access.h"
#include "halv80/engine/emu_areas.h"
#include "halv80/engine/emu_boot.h"
#include "halv80/engine/emu_control.h"
#include "halv80/engine/emu_hardware.h"
#include "halv80/engine/emu_monitor.h"
#include "halv80/engine/emu_timer.h"
#include "halv80/engine/key_input.h"
#include "halv80/engine/lst_listing.h"
#include "halv80/engine/run_exec.h"
#include "halv80/engine/run_state.h"
#include "halv80/engine/sup_format.h"
#include "halv80/engine/sup_host.h"
#include "halv80/engine/sup_messages.h"
#include "halv80/engine/tgt_memory.h"
#include "halv80/engine/tgt_mmu.h"
#include "platform/device/dev_layout.h"
#include "rz7bios/rz7bios.h"

constinit RunControlState RunCtl;

void run_control_reset() { RunCtl = RunControlState{}; }

namespace {

constexpr u8 kRegControl = 7;
constexpr u8 kCtlGoMask = 0x40;
constexpr u16 kRunStarted = 0x02;     // _Q_chk_run: the target started since the strobe
constexpr u16 kNmiVectorZ80 = 0x66;
constexpr u16 kNmiVector8080 = 0x24;
constexpr u16 kFirstStopChecks = 50;
constexpr u16 kShortNmiChecks = 100;
constexpr u16 kErrBusy = 5;           // kind 1: the target is in use
constexpr u16 kResumeMode = 256;      // run-and-wait: resume after a paused access
constexpr u32 kIdleRecheckMs = 100;
constexpr u8 kRegBreakTrace = 54;
constexpr u16 kMsgRealTime = 68;
constexpr u8 kTimerRunning = 0x01;    // _Q_tm_rd status: the timer counts
constexpr u8 kRegTraceStatus = 55;     // the trace unit's status
constexpr u8 kTraceUnitReport = 128;   // status values from here on ask for a run-status redraw
constexpr u32 kResetSettleMs = 5000;   // after a no-monitor RESET, the time a quiet status is left alone

bool z80_family() { return Cfg.CpuType != kCpu8080; }
bool target_in_use() { return (Run.ExecutionState & kExecRunning) != 0; }
// The trace unit's status register; 0 without an emulator.
u8 trace_unit_status() { return SupHost.BiosWork ? _Q_rdreg(kRegTraceStatus) : 0; }

// Polls `_Q_chk_run` until the started bit shows, 1 ms apart, with a turn
// for the windows between polls. A target that never runs ends the command
// like a monitor that does not answer: after the reply watchdog's limit, or
// after kStartPolls polls whatever the clock says.
constexpr u32 kStartPolls = 2000;
void wait_until_started() {
  sup_watchdog_start();
  for (u32 round = 1; (_Q_chk_run() & kRunStarted) == 0; ++round) {
    if (round > kStartPolls) emu_timeout_path();
    co_keep_alive();
    _Q_wait(1);
    if (round % 32 == 0) emu_watchdog_or_end();
  }
}

// The stop was at a system call: serve it. True when served (PC past the break).
bool serve_system_call() {
  RegisterImage& r = Run.Regs;
  if (RunCtl.SysCallEntry == 0 || RunCtl.StopByte != kMonitorStopBreak || (r.bc >> 8) != kSysCallMarker) return false;
  if (tgt_to_physical(r.pc) != RunCtl.SysCallEntry) return false;
  switch (r.bc & 0xFF) {
    case 0:
      con_putc(u8(r.af >> 8));
      break;
    case 1: {
      i16 key = 0;
      while ((key = key_wait()) == 0) {
      }
      r.af = u16((r.af & 0x00FF) | (u8(key) << 8));
      break;
    }
    default:
      break;
  }
  r.pc = u16(r.pc + 1);
  return true;
}

}  // namespace

// --- Go and stop ---------------------------------------------------------------

u16 emu_go(u16) {
  RegisterImage& r = Run.Regs;
  ++EmuCtl.RunCounter;
  _Q_wrreg0(kRegControl, 0, kCtlGoMask);
  RunCtl.BreakRequested = 0;
  tgt_mmu_before_go();

  emu_req_load(MonitorRequest::PrepareRun, {});
  emu_req_load_words(MonitorRequest::LoadSpPcAf, r.sp, r.pc, r.af);
  if (z80_family()) {
    emu_req_load_words(MonitorRequest::LoadAltAfBcDe, r.af2, r.bc2, r.de2);
    emu_req_load_words(MonitorRequest::LoadAltHlIxIy, r.hl2, r.ix, r.iy);
  }
  emu_req_load_words(MonitorRequest::LoadBcHlDe, r.bc, r.hl, r.de);
  emu_wait(2);
  u8 interrupts[2];
  if (z80_family()) {
    interrupts[0] = u8(r.iff >> 8);
    interrupts[1] = (r.iff & kIffZ80Enable) ? 0xFF : 0x00;
  } else {
    interrupts[0] = u8((r.iff & 7) | 8);
    interrupts[1] = (r.iff & kIff8080Enable) ? 0xFF : 0x00;
  }
  emu_req_load(MonitorRequest::LoadInterrupts, interrupts);
  emu_profiler_strobe();  // register 7 bit 4: the run strobe
  emu_req_run();
  if (Sw.NoMonitorMode == 0) wait_until_started();
  Run.TargetRun = 1;
  return _Q_chk_run();
}

u16 emu_read_stop_record() {
  if (Run.TargetRun == 0) return 1;
  if (emu_wait_run_or_data() == 0) return 0;
  RegisterImage& r = Run.Regs;
  RunCtl.StopByte = emu_getrs();
  u16 first[2];
  emu_req_read_words(
      RunCtl.StopByte != kMonitorStopBreak ? MonitorRequest::StopRecordAfterBreak : MonitorRequest::StopRecordPastBreak,
      first);
  r.bc = first[0];
  const u16 interrupt_word = first[1];
  u16 hl_de_af[3];
  emu_req_read_words(MonitorRequest::ReadHlDeAf, hl_de_af);
  r.hl = hl_de_af[0];
  r.de = hl_de_af[1];
  r.af = hl_de_af[2];
  u16 pc_sp[2];
  emu_req_read_words(MonitorRequest::ReadPcSp, pc_sp);
  r.pc = pc_sp[0];
  r.sp = pc_sp[1];
  if (z80_family()) {
    r.iff = u16(interrupt_word & 0xFF04);
    emu_req_answer(u8(r.iff));
    u16 alt[3];
    emu_req_read_words(MonitorRequest::ReadAltAfBcDe, alt);
    r.af2 = alt[0];
    r.bc2 = alt[1];
    r.de2 = alt[2];
    emu_req_read_words(MonitorRequest::ReadAltHlIxIy, alt);
    r.hl2 = alt[0];
    r.ix = alt[1];
    r.iy = alt[2];
  } else {
    r.iff = u16(interrupt_word >> 8);
    emu_req_answer(u8(r.iff));
  }
  emu_req_load(MonitorRequest::EndStopRecord, {});
  tgt_mmu_after_stop();
  // back over the one-byte break instruction the target stopped on
  if (RunCtl.StopByte == kMonitorStopBreak) r.pc = u16(r.pc - 1);
  if (serve_system_call()) {
    emu_go(0);
    return 0;
  }
  Run.TargetRun = 0;
  RunCtl.StopNotice = 1;
  RunCtl.BreakRequested = 0;
  return 1;
}

u16 emu_check_stopped() {
  const bool stopped = emu_read_stop_record() != 0;
  // the run-status display watches the status register?
  const bool watching = RunCtl.RunStatusMode == 1;
  if (stopped) {
    emu_channel_reset();
    // A target without a monitor that was reset a moment ago, whose trace
    // unit reports nothing yet, leaves the run-status display as it is.
    const bool settling = Sw.NoMonitorMode != 0 && watching &&
                          sup_tick_count() - Run.ResetTick < kResetSettleMs &&
                          trace_unit_status() < kTraceUnitReport;
    if (!settling) Run.DisplayRefresh |= kRefreshRunStatus;
    return 1;
  }
  if (watching && trace_unit_status() >= kTraceUnitReport) Run.DisplayRefresh |= kRefreshRunStatus;
  return 0;
}

u16 emu_force_stop() {
  // marked for the time of the stop, however it ends
  struct Mark {
    Mark() { RunCtl.ForcedStopInProgress = 1; }
    ~Mark() { RunCtl.ForcedStopInProgress = 0; }
  } mark;
  u16 result = 1;
  bool stopped = false;
  for (u16 i = 0; i < kFirstStopChecks && !stopped; ++i) stopped = emu_check_stopped() != 0;
  if (stopped) {
    result = 0;
  } else {
    _Q_trg_NMI(0);
    for (u16 i = 0; i < kShortNmiChecks && !stopped; ++i) {
      _Q_wait(1);
      stopped = emu_check_stopped() != 0;
    }
    if (!stopped) {
      _Q_trg_NMI(1);
      sup_watchdog_start();
      for (u32 round = 1; !emu_check_stopped(); ++round) {
        if (round > kStartPolls) emu_timeout_path();
        co_keep_alive();
        _Q_wait(1);
        if (round % 32 == 0) emu_watchdog_or_end();
      }
    }
  }
  return result;
}

void run_write_monitor_vectors() {
  const u16 nmi_vector = z80_family() ? kNmiVectorZ80 : kNmiVector8080;
  const u16 break_vector = u16(Cfg.BreakOpcode & 0x38);
  const u16 debug_mode = EmuArea.SystemDebugMode;
  EmuArea.SystemDebugMode = 1;
  tgt_write_byte(nmi_vector, kOpcodeJp);
  tgt_write_word(u16(nmi_vector + 1), EmuBoot.NmiEntry);
  tgt_write_byte(break_vector, kOpcodeJp);
  tgt_write_word(u16(break_vector + 1), EmuBoot.BreakEntry);
  if (RunCtl.SysCallEntry != 0) tgt_write_byte(u16(tgt_to_logical(RunCtl.SysCallEntry)), Cfg.BreakOpcode);
  EmuArea.SystemDebugMode = debug_mode;
}

void run_monitor_service() {
  const u16 pc = Run.Regs.pc;
  Run.Regs.pc = u16(EmuArea.Layout.monitor_code_address + (EmuBoot.Position & 127));
  run_write_monitor_vectors();
  emu_go(0);
  do {
    co_keep_alive();
    _Q_wait(10);
  } while (!emu_read_stop_record());
  Run.Regs.pc = pc;
}

void emu_measure_overhead() {
  if (Sw.NoMonitorMode != 0 || !SupHost.BiosWork) return;
  // Start-up waited for no key: the windows' keep-alive interval starts
  // here, as a key wait would start it.
  co_keep_alive_begin();
  emu_rtc_clear();
  run_monitor_service();
  EmuCtl.RunOverhead = emu_rtc_read();
  // the measurement is no run of the program's: nothing of it is left counted
  emu_rtc_clear();
  EmuCtl.LastRunTime = 0;
}

// --- Free run -----------------------------------------------------------------

u16 run_poll_free_run() {
  prof_sample_step();
  if (RunCtl.BreakRequested && emu_force_stop() == 1) Run.StopPending = 1;
  if (!emu_check_stopped()) return 0;
  run_after_stop(0, Run.StopPending);
  RunCtl.IdlePolls = 0;
  Run.StopPending = 0;
  run_set_execution_state(kExecStopping);
  if (RunCtl.SampleLogMode == 2) RunCtl.SampleLogMode = 1;
  RunCtl.DisplayUpdate = 1;
  return 1;
}

u16 run_idle_stop_check(u16 force) {
  if (Run.ExecutionState != kExecRunning) return 0;
  ++RunCtl.IdlePolls;
  const bool due = (RunCtl.IdlePolls % 4 == 0 && RunCtl.IdleCheckSuppress == 0 &&
                    (RunCtl.RunStatusMode == 1 || RunCtl.SampleLogMode != 0)) ||
                   Run.StopPending != 0 || force != 0;
  if (!due) return 0;
  // A break whose pass count still runs: on again, and look once more, for
  // up to 100 ms (counted in 1 ms waits, so that a stopped clock ends it too).
  for (u32 waited = 0;; ++waited) {
    if (!run_poll_free_run()) {
      if (waited == 0 || waited >= kIdleRecheckMs) return 0;
      emu_wait(1);
      continue;
    }
    if (run_evaluate_stop() == kBreakFinal) break;
    // stopped while the breaks go back in; run-and-wait starts it again
    run_set_execution_state(kExecStopped);
    run_resume_free();
    if (Run.ExecutionState != kExecRunning) break;  // the step over the break already stopped
  }
  RunCtl.StopProcessed = 1;
  return 1;
}

void run_after_abort() {
  if (Run.ExecutionState == kExecStopping) {
    if (!RunCtl.StopProcessed) run_evaluate_stop();
    RunCtl.StopProcessed = 0;
    RunCtl.StopNotice = 0;
    // a free run's stop: the code pane goes to where it stopped
    lst_show_pc();
    run_show_stop(true);
  }
  if (RunCtl.KeepExecutionState) {
    RunCtl.KeepExecutionState = 0;
    return;
  }
  run_set_execution_state(kExecStopped);
}

// --- Memory access to a running target ------------------------------------------

void run_pause_for_access() {
  if (Run.ExecutionState != kExecRunning) return;
  if (emu_force_stop() == 1) Run.StopPending = 1;
  // the forced stop has stopped it: the next looks find the stop record
  for (u32 look = 0; !run_poll_free_run(); ++look) {
    if (look > kStartPolls) emu_timeout_path();
    co_keep_alive();
    _Q_wait(1);
  }
  // A pause that worked is no failure: the access goes on, and the caller
  // resumes the target after it.
  run_set_execution_state(kExecPaused);
  RunCtl.DisplayUpdate = 1;
}

void run_resume_after_access() {
  if (Run.ExecutionState != kExecPaused) return;
  run_set_execution_state(kExecResuming);
  RunExec.StopDisplayMode = 2;
  run_and_wait(kResumeMode);
  RunExec.StopDisplayMode = 0;
  run_set_execution_state(kExecRunning);
}

u16 run_require_stopped() {
  if (!target_in_use()) return 0;
  sup_raise_error(kErrBusy, 1);
  return 1;
}

void emu_set_reply_timeout(i32 ms) {
  const u16 limit = (ms < 0 || ms > 0xFFFF) ? 0xFFFF : u16(ms);
  if (SupHost.BiosWork) SupHost.BiosWork->set16<kWorkTickLimit>(limit);
  sup_watchdog_limit(limit);
}

// --- Status-bar texts -------------------------------------------------------------

u32 run_sample_address() {
  if (Run.TraceHwLevel == 0) return 0;
  if (!target_in_use()) return Run.Regs.pc;
  u32 address = 0;
  u16 status = 0;
  _Q_rdsmp_adr(&address, &status);
  return Run.TraceHwLevel == 2 ? address : (address & 0xFFFFFF);
}

void run_format_timer_status(std::span<char> out) {
  if (out.empty()) return;
  out[0] = '\0';
  // no event hardware, or a timer that its events leave idle: no text
  if (Run.TraceHwLevel == 0 || !SupHost.BiosWork) return;
  u32 count = 0;  // stays 0 unless the timer hands over a count
  const u8 status = emu_timer_read(count, 0);
  if (status == 0) return;
  // "%c%s", cut to fit: the letter needs room for its terminator too
  if (out.size() < 2) return;
  out[0] = (status & kTimerRunning) && target_in_use() ? 'R' : 'W';
  emu_timer_count_text(count, SupHost.BiosWork->get8<kWorkTimerStep>(), out.subspan(1));
}

// --- Commands -------------------------------------------------------------------

void cmd_ts() {
  if (!target_in_use()) return;
  cmd_skip_blanks();
  const bool flush = cmd_match_keyword("/F") == 0;
  trc_stop();
  if (flush && SupHost.BiosWork) {
    const u8 before = SupHost.BiosWork->get8<kWorkRegisterShadow + kRegBreakTrace>();
    _Q_wrreg0(kRegBreakTrace, 64, 224);
    _Q_wait(1);
    _Q_wrreg1(kRegBreakTrace, before);
  }
}

void cmd_tg() {
  if (!target_in_use()) return;
  trc_start();
  Run.DisplayRefresh |= kRefreshRunStatus;
}

void cmd_esc() {
  if (!target_in_use()) return;
  if (emu_force_stop() == 1) Run.StopPending = 1;
}

void cmd_sysc() {
  if (target_in_use()) {
    cmd_error(kMsgTargetRunning);
    return;
  }
  cmd_skip_blanks();
  if (*Cmd.ScannerCursor == '\0') {
    if (RunCtl.SysCallAuto)
      con_puts("\nSYSTEM CALL AUTO(__sysc_rz)");
    else
      con_printf("\nSYSTEM CALL = %s", RunCtl.SysCallEntry != 0 ? "ON" : "OFF");
    if (RunCtl.SysCallEntry != 0) {
      if (Cfg.MmuKind != kMmuNone)
        con_printf(" Entry Point=%04x(%08lx)", unsigned(tgt_to_logical(RunCtl.SysCallEntry)),
                   static_cast<unsigned long>(RunCtl.SysCallEntry));
      else
        con_printf(" Entry Point=%04x", unsigned(RunCtl.SysCallEntry));
    }
    return;
  }
  if (cmd_match_keyword("OFF") == 0) {
    if (RunCtl.SysCallEntry != 0) {
      if (Cfg.MmuKind != kMmuNone)
        tgt_write_byte_banked(RunCtl.SysCallEntry, 0);
      else
        tgt_write_byte(u16(RunCtl.SysCallEntry), 0);
      RunCtl.SysCallEntry = 0;
    }
    RunCtl.SysCallAuto = 0;
    return;
  }
  if (cmd_match_keyword("AUTO") == 0) {
    if (EmuCtl.ProfilerRunning != 0) {
      cmd_error(kMsgCommandError);
      return;
    }
    RunCtl.SysCallAuto = 1;
    return;
  }
  if (EmuCtl.ProfilerRunning != 0) {
    cmd_error(kMsgCommandError);
    return;
  }
  // all 32 bits, so that an address beyond 64 KiB is refused, not cut
  const u32 address = cmd_get_expression();
  cmd_skip_blanks();
  // with memory management the entry must be mapped, or no call could reach it
  if (Cmd.AbortFlag || *Cmd.ScannerCursor != '\0' || address > 0xFFFF ||
      (Cfg.MmuKind != kMmuNone && !tgt_logical_mapped(u16(address)))) {
    cmd_error(kMsgAddress);
    return;
  }
  RunCtl.SysCallEntry = tgt_to_physical(u16(address));
  tgt_write_byte(u16(address), Cfg.BreakOpcode);
}

void cmd_rtc() {
  const u16 on = cmd_parse_on_off();
  if (Cmd.AbortFlag) return;
  if (on != 2) {
    RunCtl.RealTimeDisplay = on;
    return;
  }
  con_puts(sup_load_message(kMsgRealTime));
  con_puts(RunCtl.RealTimeDisplay ? " ON" : " OFF");
  con_printf("\nReal Time Count = %s\n", std::string(emu_run_time_text()).c_str());
}
