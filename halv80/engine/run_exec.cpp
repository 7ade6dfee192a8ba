// G, T and P; the instruction step engine; run-and-wait; stop evaluation.
#include "halv80/engine/run_exec.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "halv80/engine/brk_events.h"
#include "halv80/engine/prof_profiler.h"
#include "halv80/engine/brk_table.h"
#include "halv80/engine/cfg_config.h"
#include "halv80/engine/cmd_core.h"
#include "halv80/engine/cmd_switches.h"
#include "halv80/engine/co_coroutine.h"
#include "halv80/engine/con_scanner.h"
#include "halv80/engine/con_screen.h"
#include "halv80/engine/emu_areas.h"
#include "halv80/engine/emu_control.h"
#include "halv80/engine/fmt_numbers.h"
#include "halv80/engine/key_input.h"
#include "halv80/engine/lst_listing.h"
#include "halv80/engine/mac_lines.h"
#include "halv80/engine/run_control.h"
#include "halv80/engine/run_state.h"
#include "halv80/engine/stk_backtrace.h"
#include "halv80/engine/sup_format.h"
#include "halv80/engine/sup_host.h"
#include "halv80/engine/sup_messages.h"
#include "halv80/engine/tgt_memory.h"
#include "halv80/engine/tgt_mmu.h"
#include "halv80/symbols/exp_types.h"
#include "halv80/symbols/sym_entry_trap.h"
#include "halv80/symbols/sym_modules.h"
#include "halv80/symbols/sym_source.h"
#include "halv80/symbols/sym_symbols.h"
#include "platform/host/host_text.h"

constinit RunExecState RunExec;

void run_exec_reset() { RunExec = RunExecState{}; }

namespace {

constexpr u8 kEscape = 0x1B;
constexpr u16 kErrNoCaller = 3;        // kind 1: "@" without a caller to return to
constexpr u8 kTransfer = 0x80;         // shape table: control transfer

// Lengths (bits 0-2) and the transfer flag of the opcodes 0x00-0x3F and
// 0xC0-0xFF; 0x40-0xBF are all one byte. The 8080/8085 meaning where the two
// families differ (the Z80's prefixes and relative jumps are decoded apart).
constexpr u8 T = kTransfer;
// clang-format off
constexpr std::array<u8, 64> kShapeLow = {
    1, 3, 1, 1, 1, 1, 2, 1,   1, 1, 1, 1, 1, 1, 2, 1,    // 00
    1, 3, 1, 1, 1, 1, 2, 1,   1, 1, 1, 1, 1, 1, 2, 1,    // 10
    1, 3, 3, 1, 1, 1, 2, 1,   1, 1, 3, 1, 1, 1, 2, 1,    // 20
    1, 3, 3, 1, 1, 1, 2, 1,   1, 1, 3, 1, 1, 1, 2, 1,    // 30
};
constexpr std::array<u8, 64> kShapeHigh = {
    1|T, 1, 3|T, 3|T, 3|T, 1, 2, 1|T,   1|T, 1|T, 3|T, 3|T, 3|T, 3|T, 2, 1|T,  // C0
    1|T, 1, 3|T, 2,   3|T, 1, 2, 1|T,   1|T, 1|T, 3|T, 2,   3|T, 3|T, 2, 1|T,  // D0
    1|T, 1, 3|T, 1,   3|T, 1, 2, 1|T,   1|T, 1|T, 3|T, 1,   3|T, 3|T, 2, 1|T,  // E0
    1|T, 1, 3|T, 1,   3|T, 1, 2, 1|T,   1|T, 1,   3|T, 1,   3|T, 3|T, 2, 1|T,  // F0
};
// clang-format on

bool z80_family() { return Cfg.CpuType != kCpu8080; }

// The display level of T and P: 2 while the code pane shows source lines.
u16 trace_display_level() { return Lst.ListingMode == kListingSource ? 2 : 0; }

// G's trace level: the execution mode that OPTION and the options dialog set.
// 0 runs the program; 1 traces its function calls, 2 their returns too.
u16 go_trace_level() { return std::min<u16>(Run.RunModeWord & kExecModeMask, 2); }
bool target_in_use() { return (Run.ExecutionState & kExecRunning) != 0; }

InstructionShape table_shape(u8 op) {
  u8 v = 1;
  if (op < 0x40)
    v = kShapeLow[op];
  else if (op >= 0xC0)
    v = kShapeHigh[op - 0xC0];
  return {u16(v & 7), (v & kTransfer) != 0};
}

// The 8080/8085's undocumented twins of JP, RET and CALL, as what they do.
u8 canonical_8080(u8 op) {
  switch (op) {
    case 0xCB: return 0xC3;
    case 0xD9: return 0xC9;
    case 0xDD:
    case 0xED:
    case 0xFD: return 0xCD;
    default: return op;
  }
}

// Does the condition in bits 3-5 of `op` hold for flags `f`?
bool condition_holds(u8 op, u8 f) {
  switch ((op >> 3) & 7) {
    case 0: return (f & 0x40) == 0;  // NZ
    case 1: return (f & 0x40) != 0;  // Z
    case 2: return (f & 0x01) == 0;  // NC
    case 3: return (f & 0x01) != 0;  // C
    case 4: return (f & 0x04) == 0;  // PO
    case 5: return (f & 0x04) != 0;  // PE
    case 6: return (f & 0x80) == 0;  // P
    default: return (f & 0x80) != 0; // M
  }
}

u16 interrupt_enable_bit() { return z80_family() ? kIffZ80Enable : kIff8080Enable; }

bool escape_pressed() { return key_poll() == kEscape; }

// Between the runs of a command: a key, an abort request, or the ESC that
// already stopped the last run (run-and-wait took that key).
bool stop_requested() { return RunExec.EscapeSeen != 0 || key_poll() != 0 || Scan.PendingAbort != 0; }

// A support routine that inline argument bytes follow: its address and the
// bytes behind the call. kNoReturn: the call can't be stepped over.
constexpr u16 kNoReturn = 0xFFFF;
struct InlineRoutine {
  u16 toolchain_a, toolchain_b;  // the toolchain kinds that have it
  const char* name;
  u16 inline_bytes;
};
constexpr InlineRoutine kInlineRoutines[] = {
    {1, 5, "PUSHEI", 10},
    {1, 5, "LAUTO", 2},
    {1, 5, "SAUTO", 2},
    {2, 2, "ncsv", 2},
    {3, 3, "_?ENT01_L11", 2},
    {3, 3, "_?ENT11_L11", 3},
    {3, 3, "_?ENT10_L11", 1},
    {3, 3, "_?STORE_BITS_C_L04", 3},
    {3, 3, "_?STORE_BITS_E_L04", 3},
    {3, 3, "_?LOAD_BITS_L04", 3},
    {3, 3, "_?VC_SWITCH_L05", kNoReturn},
    {3, 3, "_?VI_SWITCH_L05", kNoReturn},
};

// Inline bytes behind a call to `target`: 0 for an ordinary call. Only a
// routine the symbols name counts: an address nobody found is 0, and a call
// to 0000 is an ordinary call.
u16 inline_bytes_after_call(u16 target) {
  for (const InlineRoutine& r : kInlineRoutines) {
    if (Sw.ToolchainKind != r.toolchain_a && Sw.ToolchainKind != r.toolchain_b) continue;
    u16 address = 0;
    if (sym_lookup_value(r.name, address) == 0 || address == 0) continue;
    if (address == target) return r.inline_bytes;
  }
  return 0;
}

// The return address of a call at `pc` of `length` bytes to `target` when it
// is stepped over; kNoReturn when it can't be.
u32 return_address(u16 pc, u16 length, u16 target) {
  const u16 inline_bytes = inline_bytes_after_call(target);
  if (inline_bytes == kNoReturn) return kNoReturn;
  return u16(pc + length + inline_bytes);
}

u32 pc_physical() { return tgt_to_physical(Run.Regs.pc); }

// The display after a step or a run: the code pane goes to the program
// counter and the windows redraw from the new state.
void display_update() {
  RunCtl.DisplayUpdate = 1;
  lst_show_pc();
}

// Arms every enabled breakpoint and runs. A breakpoint under PC is stepped
// over first: the target stands on a break it has passed, and only after one
// instruction can that break be written again. kBreakGoOn or kBreakFinal.
u16 arm_and_run() {
  RunExec.BreakUnderPc = 0;
  if (brk_enabled_at(pc_physical())) {
    RunExec.BreakUnderPc = 1;
    const u16 mode = RunExec.StopDisplayMode;
    RunExec.StopDisplayMode = 0;
    const u16 stepped = run_step_instruction(false, true);
    RunExec.StopDisplayMode = mode;
    RunExec.BreakUnderPc = 0;
    if (stepped != 0 || RunExec.Refused) {
      RunExec.StopDisplayMode = 0;
      return kBreakFinal;
    }
  }
  brk_arm(pc_physical());
  run_and_wait(0);
  if (RunExec.StopDisplayMode != 2) return run_evaluate_stop();
  RunExec.StopDisplayMode = 0;
  if (Run.ExecutionState == kExecRunning) return kBreakFinal;
  run_evaluate_stop();
  return kBreakFinal;
}

// Runs with breakpoints until a final stop, a key, or a refusal.
void run_with_breakpoints() {
  const u16 mode = RunExec.StopDisplayMode;
  for (;;) {
    if (tgt_read_byte(Run.Regs.pc) == Cfg.BreakOpcode) {
      cmd_error(kMsgCannotTrace);
      break;
    }
    RunExec.StopDisplayMode = mode;
    if (arm_and_run() == kBreakFinal) break;
    if (stop_requested() || RunExec.Refused) break;
    display_update();
  }
}

// --- The call trace -----------------------------------------------------------------

constexpr u16 kMsgNestTooDeep = 21;  // "\n 関数のネストが３２レベルを超えました"
constexpr std::size_t kCallTraceLevels = 31;

// One recorded call: where it returns to, the frame of the called function
// and the type of its result.
struct TraceCall {
  u16 return_address;
  u16 frame;
  u32 result_type;
};

// What a stop of the call trace was.
enum class TraceStop { Entered, Returned, Other };

// "return" and the value of the function that just returned.
void print_return(u16 depth, u32 type) {
  con_putc('\n');
  for (u16 i = 0; i < depth + 1; ++i) con_puts("  ");
  const RegisterImage& r = Run.Regs;
  if (type == 0 || exp_type_size(type) != 4) {
    con_printf("return %04x", r.hl);
    return;
  }
  // A 4-byte result is DE:HL, kept just below SP as the value in memory.
  const u16 at = u16(r.sp - 4);
  tgt_write_word(at, r.hl);
  tgt_write_word(u16(at + 2), r.de);
  const u32 v = u32(r.de) << 16 | r.hl;
  ExprValue item{};
  item.type.set(type);
  switch (exp_value_kind(item)) {
    case kValueKindFloat: {
      const SingleBytes b = {u8(r.hl), u8(r.hl >> 8), u8(r.de), u8(r.de >> 8)};
      con_printf("return %s", fmt_double_text(fmt_target_single_value(b), kShortDigits));
      break;
    }
    case kValueKindLong: con_printf("return %ld (0x%lx)", i32(v), v); break;
    case kValueKindULong: con_printf("return %lu (0x%lx)", v, v); break;
    default: con_printf("return %08lx", v); break;
  }
}

// The target may stand at a function's first instruction: the walk shows the
// call and finds where it returns to. False when it does not, or when this is
// one level too many.
bool record_entry(std::vector<TraceCall>& calls) {
  if (stk_one_step(kWalkStepOut) == 0) return false;
  if (Stk.Stopped) return true;  // shown; its return can't be caught
  if (calls.size() >= kCallTraceLevels) {
    cmd_error(kMsgNestTooDeep);
    return false;
  }
  calls.push_back({Stk.WalkPc, Stk.FrameBase, stk_result_type(Stk.FunctionType)});
  Stk.TraceLevel = u16(calls.size());
  display_update();
  return true;
}

// G at a trace display level: every function entered is shown with its
// arguments, indented by its depth, and (at level 2) every return with its
// value. The function-entry traps stop the target at each entry; a break at
// each recorded return address stops it when the call returns.
void call_trace(u16 level, const u32* stop_address) {
  std::vector<TraceCall> calls;
  const bool traps = Sw.ToolchainKind != 16 && !sym_is_empty();
  Stk.TraceLevel = 0;
  for (;;) {
    if (tgt_read_byte(Run.Regs.pc) == Cfg.BreakOpcode) {
      cmd_error(kMsgCannotTrace);
      return;
    }
    // a break planted under PC could not be passed: one instruction first
    bool under_pc = brk_enabled_at(pc_physical());
    for (const TraceCall& c : calls) under_pc = under_pc || c.return_address == Run.Regs.pc;
    StkFunction here;
    if (traps && stk_find_function(Run.Regs.pc, here) && here.start == Run.Regs.pc) under_pc = true;
    if (under_pc) {
      if (run_step_instruction(false, true) != 0 || RunExec.Refused) return;
      if (stop_requested()) return;
      // the step went into a function: that is an entry the traps can't see
      if (traps && stk_find_function(Run.Regs.pc, here) && here.start == Run.Regs.pc) {
        if (!record_entry(calls)) return;
        continue;
      }
    }

    // G's stop address: the temporary break goes with every stop, so it comes back for each run
    if (stop_address != nullptr && Brk.TemporarySlot == kNoSlot && !brk_temporary_add(*stop_address)) {
      cmd_error(kMsgBreakTableFull);
      return;
    }
    if (traps) sym_patch_function_entries(1);
    std::vector<u8> saved(calls.size());
    for (std::size_t i = 0; i < calls.size(); ++i) {
      saved[i] = tgt_read_byte(calls[i].return_address);
      if (calls[i].return_address != Run.Regs.pc) tgt_write_byte(calls[i].return_address, Cfg.BreakOpcode);
    }
    brk_arm(pc_physical());
    RunExec.StopDisplayMode = 0;
    run_and_wait(0);
    run_evaluate_stop();
    for (std::size_t i = calls.size(); i > 0; --i) tgt_write_byte(calls[i - 1].return_address, saved[i - 1]);
    if (traps) sym_patch_function_entries(0);

    if (Brk.TemporaryReached) RunExec.BreakHit = 0;  // the stop address is no breakpoint of the user's
    if (Brk.TemporaryReached || RunExec.BreakHit != 0 || RunExec.Refused || stop_requested()) return;
    TraceStop what = TraceStop::Other;
    std::size_t returned_to = calls.size();
    for (std::size_t i = calls.size(); i > 0; --i) {
      if (calls[i - 1].return_address == Run.Regs.pc) {
        returned_to = i - 1;
        what = TraceStop::Returned;
        break;
      }
    }
    if (what == TraceStop::Returned) {
      const u32 type = calls[returned_to].result_type;
      calls.resize(returned_to);
      Stk.TraceLevel = u16(calls.size());
      if (level == 2) print_return(Stk.TraceLevel, type);
      display_update();
      continue;
    }
    if (traps && record_entry(calls)) continue;
    return;  // a stop of some other kind ends the trace
  }
}

}  // namespace

// --- The length decoder ----------------------------------------------------------

InstructionShape run_instruction_shape(std::span<const u8> code) {
  const auto at = [&](std::size_t i) -> u8 { return i < code.size() ? code[i] : 0; };
  const u8 op = at(0);
  if (!z80_family()) return table_shape(canonical_8080(op));
  if (op < 0x40 && (op & 7) == 0 && op != 0x00 && op != 0x08) return {2, true};
  if (op >= 0x40 && op < 0xC0) return {1, false};
  if (op == 0xCB) return {2, false};
  if (op == 0xD9) return {1, false};  // EXX
  if (op == 0xED) {
    const u8 x = at(1);
    if ((x & 0xC6) == 0) return {3, false};
    if ((x & 0xC7) == 0x43) return {4, false};
    if ((x & 0xEF) == 0x64) return {3, false};
    return {2, true};
  }
  if (op == 0xDD || op == 0xFD) {
    const u8 x = at(1);
    if (x == 0xCB) return {4, false};
    const InstructionShape inner = table_shape(x);
    if ((x >= 0x34 && x <= 0x36) || (x >= 0x70 && x <= 0x75) || x == 0x77) return {u16(inner.length + 2), false};
    if (x < 0x40 || x >= 0xC0) return {u16(inner.length + 1), inner.transfer};
    if ((x & 7) == 6 && x != 0x76) return {u16(inner.length + 2), false};
    return {u16(inner.length + 1), false};
  }
  return table_shape(op);
}

// --- Run-and-wait -----------------------------------------------------------------

void run_and_wait(u16 mode) {
  bool watched = false;
  if (RunExec.StepFromBreak == -1 || mode != 0) {
    sup_watchdog_start();
    watched = true;
  }
  RunExec.StepFromBreak = 0;
  // no emulator attached: there is no target to run
  if (!SupHost.BiosWork) {
    RunExec.Refused = 1;
    return;
  }
  run_write_monitor_vectors();
  if (Sw.NoMonitorMode != 0) {
    sup_show_error_box(kMsgNoMonitorMode, {});
    RunExec.Refused = 1;
    return;
  }
  RunExec.Refused = 0;
  RunExec.EscapeSeen = 0;
  RunExec.StepTimedOut = 0;
  emu_arm_run_events(0);
  if ((mode & 0xFF) == 0 && Run.TraceHwLevel != 0) {
    trc_start();
    Run.DisplayRefresh |= kRefreshRunStatus;
  }
  if (!RunCtl.ContinueCounting) emu_rtc_clear();
  RunCtl.ContinueCounting = 1;
  emu_go(0);
  run_set_execution_state(kExecRunning);
  if ((mode & 0xFF) == 0) prof_run_start();
  if (mode == 0) RunExec.PlainRun = 1;
  if ((mode & 0xFF) == 0 && RunExec.StopDisplayMode == 2) {
    if (RunCtl.SampleLogMode != 0) RunCtl.SampleLogMode = 2;
    // the run-status display watches the free run: the idle checks look for its stop
    RunCtl.RunStatusMode = 1;
    return;
  }
  u16 forced = 0;
  {
    const bool step = (mode & 1) != 0;
    emu_set_reply_timeout(step ? kReplyTimeoutStep : kReplyTimeoutRun);
    // back to the normal reply time-out however the wait ends
    struct NormalTimeout {
      ~NormalTimeout() { emu_set_reply_timeout(kReplyTimeoutNormal); }
    } normal_timeout;
    // A step's run that does not come back within the step's time-out (a
    // HALT, a loop on itself) is stopped as ESC would stop it. The time is
    // the target's own, so the limit is the same however fast the host runs.
    const u32 step_started = step ? emu_rtc_read() : 0;
    for (u32 round = 1;; ++round) {
      prof_sample_step();
      if (emu_check_stopped()) break;
      const bool timed_out = step && !RunExec.EscapeSeen && round % kStepClockEvery == 0 &&
                             u32(emu_rtc_read() - step_started) >= u32(kReplyTimeoutStep) * 1000;
      if (timed_out || escape_pressed()) {
        if (!RunExec.EscapeSeen) {
          sup_watchdog_start();
          watched = true;
        }
        RunExec.EscapeSeen = 1;
        if (timed_out) {
          RunExec.StepTimedOut = 1;
          if (Co.ErrorAcknowledged == 0) Co.PendingError = kErrorTargetHungBusy;
        }
        if (emu_force_stop() == 1) forced = 1;
        continue;
      }
      if (watched) emu_watchdog_or_end();
    }
  }
  run_set_execution_state(kExecStopped);
  run_after_stop(mode, forced);
}

void run_after_stop(u16 mode, u16) {
  prof_run_end();
  // the event hardware (any trace level) records the run: its trace stops here
  if (Run.TraceHwLevel != 0 && mode == 0) trc_stop();
  RunExec.StopCause = emu_event_status();
  RunCtl.DisplayUpdate = 1;
  if (RunCtl.RunStatusMode == 1) RunCtl.RunStatusMode = 2;
}

u16 run_evaluate_stop() {
  u16 result = brk_disarm(pc_physical(), RunExec.EscapeSeen != 0);
  RunExec.BreakHit = Brk.StopNumber;
  if (RunExec.StopCause != 0) {
    RunExec.BreakHit = kBreakHitEvent;
    Brk.StopNumber = kBreakHitEvent;
    result = kBreakFinal;
  }
  return result;
}

void run_resume_free() {
  RunExec.StopDisplayMode = 2;
  arm_and_run();
}

void run_show_stop_reason(bool) {
  const u16 hit = RunExec.BreakHit;
  std::string text;
  if (hit >= 1 && hit <= kBreakSlots && (Brk.Slots[hit - 1].state & kBreakEnabled) != 0) {
    text = sup_load_message(kMsgSoftwareBreak);
    text += std::to_string(hit);
  }
  // a hardware break's source replaces it
  std::string source;
  if (const char* prefix = brk_stop_text(u8(RunExec.StopCause), source)) text = prefix + source;
  if (text.empty()) return;
  sup_set_message_line(text, 0);
  RunCtl.DisplayUpdate = 1;
}

void run_show_stop(bool redraw) {
  // a breakpoint's command text is the next line the command loop runs
  Mac.PendingBreak = RunExec.BreakHit;
  if (RunExec.PlainRun && RunCtl.RealTimeDisplay) {
    emu_rtc_read();
    con_printf("\nReal Time Count = %s\n", std::string(emu_run_time_text()).c_str());
  }
  RunExec.PlainRun = 0;
  run_show_stop_reason(redraw);
}

// --- Stepping --------------------------------------------------------------------

void run_plant_and_run(u16 address, bool keep_interrupts) {
  RegisterImage& r = Run.Regs;
  if (RunCtl.SysCallEntry != 0 && tgt_to_physical(address) == RunCtl.SysCallEntry) address = u16(address + 1);
  const u8 saved = tgt_read_byte(address);
  if (!tgt_write_byte_verify(address, Cfg.BreakOpcode)) {
    tgt_write_byte(address, saved);
    cmd_fail(kMsgVerify);
  }
  RunExec.StopCause = 0;
  const u16 iff = r.iff;
  if (!keep_interrupts) r.iff = z80_family() ? u16(r.iff & 0xFF00) : u16(r.iff & ~kIff8080Enable);
  run_and_wait(1);
  // the interrupt state the program had before the step
  if (!keep_interrupts) {
    if (z80_family())
      r.iff = u16((r.iff & 0xFF00) | (iff & 0x00FF));
    else
      r.iff = u16((r.iff & ~kIff8080Enable) | (iff & kIff8080Enable));
  }
  tgt_write_byte(address, saved);
}

u16 run_step_instruction(bool over, bool no_bookkeeping) {
  if (RunExec.SteppingOff) return 1;
  RegisterImage& r = Run.Regs;
  const u16 pc = r.pc;
  std::array<u8, 4> code{};
  for (u16 i = 0; i < code.size(); ++i) code[i] = tgt_read_byte(u16(pc + i));
  u8 op = code[0];
  const u8 flags = u8(r.af);
  RunExec.EnteredCall = 0;
  RunExec.Returned = 0;

  // DI and EI are not run: the debugger keeps the interrupt state itself.
  if (op == 0xF3 || op == 0xFB) {
    r.pc = u16(pc + 1);
    if (op == 0xFB)
      r.iff = u16(r.iff | interrupt_enable_bit());
    else
      r.iff = u16(r.iff & ~interrupt_enable_bit());
    EmuArea.InterruptsEnabled = op == 0xFB ? 1 : 0;
    return 0;
  }
  if (op == Cfg.BreakOpcode) {
    sup_show_error_box(kMsgCannotTrace, {});
    return 1;
  }
  const InstructionShape shape = run_instruction_shape(code);
  if (!z80_family()) op = canonical_8080(op);
  const u16 word = u16(code[1] | code[2] << 8);
  u32 next = u16(pc + shape.length);
  bool keep_interrupts = false;
  bool ld_a_ir = false;
  bool rim = false;
  if (shape.transfer) {
    const auto enter = [&](u16 target) {
      RunExec.EnteredCall = 1;
      ++RunExec.CallDepth;
      next = target;
    };
    const auto leave = [&](u16 target) {
      RunExec.Returned = 1;
      --RunExec.CallDepth;
      next = target;
    };
    if ((op & 0xC7) == 0xC7) {  // RST n
      if (over) {
        keep_interrupts = true;
        next = u16(pc + 1);
      } else {
        enter(op & 0x38);
      }
    } else if (op == 0xCD || (op & 0xC7) == 0xC4) {  // CALL nn, CALL cc,nn
      const bool taken = op == 0xCD || condition_holds(op, flags);
      const u32 back = return_address(pc, shape.length, word);
      if (taken && (!over || back == kNoReturn)) {
        enter(word);
      } else {
        keep_interrupts = taken;
        next = back == kNoReturn ? u16(pc + shape.length) : back;
      }
    } else if (op == 0xC3 || ((op & 0xC7) == 0xC2 && condition_holds(op, flags))) {
      next = word;
    } else if (op == 0xE9) {
      next = r.hl;
    } else if (op == 0xC9 || ((op & 0xC7) == 0xC0 && condition_holds(op, flags))) {
      leave(tgt_read_word(r.sp));
    } else if (z80_family() && op < 0x40) {  // JR, JR cc, DJNZ
      const u16 target = u16(pc + 2 + i8(code[1]));
      bool taken = op == 0x18;
      if (op == 0x20) taken = (flags & 0x40) == 0;
      if (op == 0x28) taken = (flags & 0x40) != 0;
      if (op == 0x30) taken = (flags & 0x01) == 0;
      if (op == 0x38) taken = (flags & 0x01) != 0;
      if (op == 0x10) {
        taken = (r.bc >> 8) != 1;
        if (taken && target == pc) {
          // a loop on itself: one round done here, without running
          r.bc = u16(r.bc - 0x100);
          return 0;
        }
      }
      if (taken) next = target;
    } else if (z80_family() && op == 0xED) {
      if (code[1] == 0x4D || code[1] == 0x45) leave(tgt_read_word(r.sp));  // RETI, RETN
      ld_a_ir = code[1] == 0x57 || code[1] == 0x5F;
    } else if (z80_family() && (op == 0xDD || op == 0xFD) && code[1] == 0xE9) {
      next = op == 0xDD ? r.ix : r.iy;
    }
  }
  rim = !z80_family() && op == 0x20;

  // the user's breakpoints around the step (the one under PC stays out)
  if (!no_bookkeeping) brk_arm(pc_physical());
  run_plant_and_run(u16(next), keep_interrupts);
  if (ld_a_ir) r.af = u16((r.af & ~0x0004) | ((r.iff & kIffZ80Enable) ? 0x0004 : 0));
  if (rim) r.af = u16((r.af & ~0x0800) | ((r.iff & kIff8080Enable) ? 0x0800 : 0));
  if (no_bookkeeping) return 0;
  run_evaluate_stop();
  RunExec.BreakUnderPc = 0;
  if (Brk.TemporaryReached) RunExec.BreakHit = 0;
  return RunExec.BreakHit;
}

u16 run_source_step(bool over) {
  RunExec.CallDepth = 0;
  if (Sw.NoMonitorMode != 0) {
    sup_show_error_box(kMsgNoMonitorMode, {});
    return 1;
  }
  u16 first_line = 0;
  const char* first_file = sym_line_from_address(Run.Regs.pc, first_line);
  const bool had_line = first_file != nullptr;
  // without a starting line the steps go into calls
  bool step_over = over && had_line;
  // With the step mode cleared a step over follows the calls instruction by
  // instruction and counts how deep it is: level 1 inside the function it
  // started in, more in what that calls, less after a return. A call that
  // comes back some other way (a jump into the function) still ends the step
  // at the next line there.
  u32 low = 0, high = 0;
  u16 level = 0;
  const bool by_level = step_over && Sw.StepModeFlag == 0 && stk_function_range(Run.Regs.pc, low, high);
  if (by_level) {
    step_over = false;
    level = 1;
  }
  for (;;) {
    if (run_step_instruction(step_over, false) != 0) return 1;
    if (RunExec.Refused || stop_requested()) return 1;
    if (by_level) {
      if (RunExec.EnteredCall) ++level;
      if (RunExec.Returned && level > 0) --level;
      const u32 pc = pc_physical();
      if (pc >= low && pc < high) level = 1;
    }
    u16 line = 0;
    if (level < 2 && sym_line_from_address(Run.Regs.pc, line) != nullptr) {
      if (!had_line || line == first_line + 1) RunExec.CallDepth = 0;
      return 0;
    }
  }
}

void run_trace_step(u16 count, u16 level, bool quiet) {
  if (count == 0) return;
  if (level > 1 && Lst.ListingMode != 2) level &= 1;
  RunExec.BreakHit = 0;
  RunExec.EscapeSeen = 0;
  for (u16 i = 0; i < count; ++i) {
    u16 result = 0;
    if (level <= 1) {
      RunExec.CallDepth = 0;
      result = run_step_instruction(level == 1, false);
      if (!quiet) display_update();
    } else {
      if (tgt_read_byte(Run.Regs.pc) == Cfg.BreakOpcode) {
        sup_show_error_box(kMsgCannotTrace, {});
        break;
      }
      result = run_source_step((level & 1) != 0);
      u16 line = 0;
      if (sym_line_from_address(Run.Regs.pc, line) == nullptr) {
        display_update();
        break;
      }
      display_update();
    }
    if (result != 0 || RunExec.Refused || RunExec.BreakHit != 0 || stop_requested()) break;
  }
  run_show_stop_reason(true);
}

void run_go_to(u32 address) {
  if (!brk_temporary_add(address)) {
    cmd_error(kMsgBreakTableFull);
    return;
  }
  run_with_breakpoints();
}

// --- The commands ------------------------------------------------------------------

void run_cmd_go(u16 mode) {
  if (target_in_use()) {
    cmd_error(kMsgTargetRunning);
    return;
  }
  if ((mode & kGoFromKey) == 0) con_putc('\n');
  // the operand on a copy that the suffixes can be cut from
  char text[kCommandLineSize];
  std::snprintf(text, sizeof text, "%s", Cmd.ScannerCursor);
  std::size_t length = std::strlen(text);
  while (length > 0 && u8(text[length - 1]) <= 0x20) text[--length] = '\0';
  const auto cut_suffix = [&](std::string_view suffix) {
    if (length < suffix.size()) return false;
    for (std::size_t i = 0; i < suffix.size(); ++i)
      if (host_ascii_upper(text[length - suffix.size() + i]) != suffix[i]) return false;
    length -= suffix.size();
    text[length] = '\0';
    return true;
  };
  RunCtl.ContinueCounting = cut_suffix(",/C") ? 1 : 0;
  bool wait = false;
  while (cut_suffix(",/W")) wait = true;

  const char* saved_cursor = Cmd.ScannerCursor;
  Cmd.ScannerCursor = text;
  cmd_skip_blanks();
  if (*Cmd.ScannerCursor == '=') {
    ++Cmd.ScannerCursor;
    // all 32 bits, so that an address beyond 64 KiB is refused, not cut
    const u32 start = cmd_get_expression();
    if (Cmd.AbortFlag || start > 0xFFFF) {
      Cmd.ScannerCursor = saved_cursor;
      cmd_error(kMsgAddress);
      return;
    }
    Run.Regs.pc = u16(start);
    cmd_skip_blanks();
    if (*Cmd.ScannerCursor == ',') ++Cmd.ScannerCursor;
  }
  cmd_skip_blanks();
  bool stop_address = false;
  u32 stop_physical = 0;
  bool to_caller = false;
  if (*Cmd.ScannerCursor != '\0' || mode == kGoReturnFromKey) {
    u32 address = 0;
    if (*Cmd.ScannerCursor == '@' || mode == kGoReturnFromKey) {
      // until the current function returns: its caller, as the stack walk finds it
      if (*Cmd.ScannerCursor == '@') ++Cmd.ScannerCursor;
      if ((Sw.ToolchainKind & 0x10) != 0 || stk_one_step(kWalkSilent) == 0 || Stk.Stopped) {
        Cmd.ScannerCursor = saved_cursor;
        if (mode == kGoReturnFromKey)
          sup_raise_error(kErrNoCaller, 1);
        else
          cmd_error(kMsgAddress);
        return;
      }
      address = Stk.WalkPc;
      to_caller = true;
      mode = kGoFromKey;
    } else {
      address = cmd_get_expression();
    }
    if (Cmd.AbortFlag || address > 0xFFFF) {
      Cmd.ScannerCursor = saved_cursor;
      cmd_error(kMsgAddress);
      return;
    }
    const u32 physical = tgt_to_physical(u16(address));
    stop_physical = physical;
    emu_area_lookup(physical);  // the monitor's area is no place to stop
    cmd_skip_blanks();
    if (*Cmd.ScannerCursor != '\0' && (mode & kGoFromKey) == 0) {
      Cmd.ScannerCursor = saved_cursor;
      cmd_error(kMsgFormat);
      return;
    }
    if (!brk_temporary_add(physical)) {
      Cmd.ScannerCursor = saved_cursor;
      cmd_error(kMsgBreakTableFull);
      return;
    }
    stop_address = true;
  }
  if (*Cmd.ScannerCursor != '\0' && (mode & kGoFromKey) == 0) {
    Cmd.ScannerCursor = saved_cursor;
    cmd_error(kMsgFormat);
    return;
  }
  Cmd.ScannerCursor = saved_cursor;
  // the program may be rebuilt while it runs: its source file is not held open
  sym_close_source_files();

  RunExec.BreakHit = 0;
  RunExec.PlainRun = 0;
  RunExec.EscapeSeen = 0;
  const u16 level = go_trace_level();
  if (level != 0 && mode != kGoFromKey) {
    RunExec.StopDisplayMode = 0;
    brk_temporary_delete();  // the trace sets it again for each of its runs
    call_trace(level, stop_address ? &stop_physical : nullptr);
  } else if (!stop_address && !wait && RunCtl.SysCallEntry == 0) {
    RunExec.StopDisplayMode = 2;
    arm_and_run();
    if (Run.ExecutionState == kExecRunning) {
      // a stop soon after the start is still shown by this command: 30 looks, 1 ms apart
      for (u32 look = 0; look < kFreeRunPollMs; ++look) {
        if (run_idle_stop_check(1)) co_abort_to_main();
        emu_wait(1);
      }
      // still running: the stop is shown, with its real-time count, when an
      // idle check finds it
      return;
    }
  } else {
    RunExec.StopDisplayMode = 0;
    run_with_breakpoints();
    // G's own stop address is no breakpoint of the user's
    if (Brk.TemporaryReached) RunExec.BreakHit = 0;
    // back in the caller: the rest of its statement too
    if (to_caller && Lst.ListingMode == kListingSource && SymModules.ModuleCount != 0 &&
        RunExec.BreakHit == 0 && !RunExec.Refused) {
      u16 line = 0;
      if (sym_line_from_address(Run.Regs.pc, line) == nullptr) run_source_step(true);
    }
  }
  display_update();
  run_show_stop(true);
}

void cmd_go() { run_cmd_go(0); }

namespace {

// T and P: the count operand, then the steps at the display level.
void trace_command(u16 extra_level) {
  if (target_in_use()) {
    cmd_error(kMsgTargetRunning);
    return;
  }
  cmd_skip_blanks();
  u32 count = 1;
  if (*Cmd.ScannerCursor != '\0') {
    count = cmd_get_value();
    cmd_skip_blanks();
    if (Cmd.AbortFlag || *Cmd.ScannerCursor != '\0' || count > 0xFFFF) {
      cmd_error(kMsgData);
      return;
    }
  }
  run_trace_step(u16(count), u16(trace_display_level() + extra_level), false);
}

}  // namespace

void cmd_trace() { trace_command(0); }
void cmd_step() { trace_command(1); }
