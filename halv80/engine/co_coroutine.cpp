// The command coroutine: entering and leaving the command side, the restart
// points, the waits with their key pickup, keep-alive yields and the
// monitor-reply watchdog.
#include "halv80/engine/co_coroutine.h"

#include "halv80/engine/con_screen.h"
#include "halv80/engine/emu_control.h"
#include "halv80/engine/key_input.h"
#include "halv80/engine/run_state.h"
#include "halv80/engine/sup_messages.h"
#include "halv80/symbols/sym_source.h"
#include "platform/host/host_clock.h"
#include "platform/host/host_fiber.h"
#include "platform/host/host_ui.h"

constinit CoState Co;

namespace {

// Thrown out of co_yield_to_gui when the window side tears the command side
// down, so that every frame on the command stack is unwound before the stack
// is freed. Caught only by command_side_entry.
struct CommandSideExit {};

// The command stack's entry: the only catch-all of the command side. No
// exception may leave it, since nothing above it on this stack could catch one.
void command_side_entry() noexcept {
  try {
    Co.Main();
  } catch (const CommandSideExit&) {
  } catch (...) {
    host_fatal("an exception left the command side");
  }
}

}  // namespace

void co_start_command_side(void (*main)(), std::size_t stack_size) {
  co_end_command_side();
  Co.Main = main;
  Co.CommandSide = std::make_unique<HostFiber>(stack_size, command_side_entry);
  Co.OnCommandSide = 0;
  Co.UnwindIsNormal = 0;
  Co.Terminating = 0;
}

void co_end_command_side() {
  if (!Co.CommandSide) return;
  // suspended inside a command? let it unwind its frames first
  if (Co.CommandSide->started() && !Co.CommandSide->finished()) {
    Co.Terminating = 1;
    Co.OnCommandSide = 1;
    Co.CommandSide->resume();
    Co.OnCommandSide = 0;
    Co.Terminating = 0;
  }
  Co.CommandSide.reset();
}

bool co_command_side_started() { return Co.CommandSide && Co.CommandSide->started(); }

void co_enter_command_side() {
  // nothing to enter, or already on the command side?
  if (!Co.CommandSide || Co.CommandSide->finished() || Co.CommandSide->running()) return;
  Co.OnCommandSide = 1;
  Co.CommandSide->resume();
  Co.OnCommandSide = 0;
}

void co_yield_to_gui() {
  if (!Co.OnCommandSide || !Co.CommandSide || !Co.CommandSide->running()) return;
  Co.OnCommandSide = 0;
  Co.CommandSide->suspend();
  // resumed by co_enter_command_side (or by the teardown)
  Co.OnCommandSide = 1;
  if (Co.Terminating) throw CommandSideExit{};
}

void co_abort_to_main() {
  if (!Co.OnCommandSide) {
    // a window-side unwind with no guarded caller is an internal error; the
    // window side's top level catches it
    if (Co.RestartPushed == 0) sup_show_error_box(0, "ABORT(RETMAIN1)");
  } else {
    Con.PendingWindow = 0;
    con_reset_window();
    if (!Co.UnwindIsNormal) sup_show_error_box(0, "ABORT(RETMAIN0)");
  }
  throw CommandUnwind{};
}

void co_push_restart() {
  if (Co.RestartPushed != 0) sup_show_error_box(0, "PUSH STACK OVER");
  ++Co.RestartPushed;
}

void co_pop_restart() {
  if (Co.RestartPushed != 0) --Co.RestartPushed;
}

bool co_has_saved_restart() { return Co.RestartPushed != 0; }

void co_post_request(RequestCode code) {
  Co.Request.code = code;
  co_yield_to_gui();
}

u16 co_wait_gui(u16 kind) {
  Co.WaitKind = kind;
  if (kind == kWaitKey) {
    Co.ErrorAcknowledged = 0;
    // the source file a listing keeps open is free while the debugger waits
    sym_close_source_files();
    // a stop was processed: the history window reloads its trace rows
    if (run_get_run_flags() == 2) {
      Co.Request.code = RequestCode::HistoryUpdate;
      run_set_run_flags((emu_trace_stopped() & 0x80) == 0 ? 1 : 0);
    }
  }
  co_yield_to_gui();
  Co.WaitKind = 0;
  Co.Request.message_box_mode = 0;
  KeyEvent& k = Co.Key;
  if (k.key_code & kKeyPseudoMask) {
    // a pseudo-key stays in the key code word for the key reader
    Keys.character = 0;
    return 1;
  }
  Keys.character = u8(k.character);
  Keys.code = u8(k.key_code);
  Keys.flags = k.flags;
  k.character = 0;
  k.key_code = 0;
  return (Keys.character != 0 || Keys.code != 0) ? 1 : 0;
}

void co_keep_alive_begin() {
  Co.KeepAliveLast = host_tick_ms();
  Co.KeepAliveInterval = 300;
  Co.KeepAliveAnswer = 0;
}

u16 co_keep_alive() {
  if (u32(host_tick_ms() - Co.KeepAliveLast) > Co.KeepAliveInterval) {
    Co.KeepAliveAnswer = co_wait_gui(kWaitBusy);
    Co.KeepAliveLast = host_tick_ms();
    Co.KeepAliveInterval = 100;
  }
  return Co.KeepAliveAnswer;
}

void sup_watchdog_start() {
  Co.WatchdogStart = 0;
  Co.WatchdogRunning = 0;
}

void sup_watchdog_limit(u32 ms) { Co.WatchdogLimit = ms; }

u16 emu_reply_watchdog() {
  const u32 now = host_tick_ms();
  // A cleared watchdog starts measuring at its first call, whatever the tick
  // count happens to be.
  if (!Co.WatchdogRunning) {
    Co.WatchdogStart = now;
    Co.WatchdogRunning = 1;
    return 0;
  }
  const u32 elapsed = now - Co.WatchdogStart;
  if (elapsed < Co.WatchdogLimit) return 0;
  // Long past the limit: the whole program was paused, not the target hung.
  if (elapsed > Co.WatchdogLimit + 2000) {
    Co.WatchdogStart = now;
    return 0;
  }
  Co.WatchdogRunning = 0;
  if (!Co.OnCommandSide) {
    Co.PendingError = kErrorTargetHung;
    co_abort_to_main();
  }
  // Bit 15: the window side shows it from its timer while the command goes on.
  if (Co.ErrorAcknowledged == 0) Co.PendingError = kErrorTargetHungBusy;
  key_poll();
  const u16 acknowledged = Co.ErrorAcknowledged;
  Co.ErrorAcknowledged = 0;
  return acknowledged;
}
