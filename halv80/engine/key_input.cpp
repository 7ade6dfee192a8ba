// Key input: the window side's key reaches the command side through a key wait.
#include "halv80/engine/key_input.h"

#include "halv80/engine/co_coroutine.h"
#include "halv80/engine/run_control.h"
#include "halv80/engine/run_state.h"
#include "halv80/engine/sup_messages.h"
#include "platform/host/host_ui.h"

constinit KeyState Keys;

namespace {

constexpr u8 kEscape = 0x1B;

}  // namespace

i16 key_next() {
  // text typed on the user's behalf comes before any key
  if (Sup.TypedText != nullptr) {
    const u8 c = u8(*Sup.TypedText++);
    if (*Sup.TypedText == '\0') Sup.TypedText = nullptr;
    Keys.character = c;
    return c;
  }
  // A target running free is looked at between keys; a stop it made ends the
  // wait, and the command loop shows it.
  if (Run.ExecutionState == kExecRunning && Co.OnCommandSide && run_idle_stop_check(0)) co_abort_to_main();
  if (!co_wait_gui(kWaitKey)) return 0;
  // ESC while the target is in use asks for a forced break: the next stop
  // check stops the target, and the key goes no further.
  if (Run.ExecutionState != kExecStopped && Keys.character == kEscape && (Co.Key.key_code & 0xFF00) == 0) {
    RunCtl.BreakRequested = kBreakRequestKey;
    Keys.character = 0;
    return 0;
  }
  // A pseudo-key that nothing here executes is dropped, so that it does not
  // hold back the characters behind it.
  if (Co.Key.key_code & 0xFF00) {
    Co.Key.key_code = 0;
    return 0;
  }
  return Keys.character;
}

i16 key_wait() {
  ++Co.Request.key_wait_depth;
  co_keep_alive_begin();
  const i16 key = key_next();
  --Co.Request.key_wait_depth;
  return key;
}

u8 key_poll() {
  co_keep_alive();
  const u8 c = Keys.character;
  Keys.character = 0;
  return c;
}

void key_post_cursor_hint() {
  Co.Request.p1 = Keys.CursorHint < 21 ? Keys.CursorHint / 10u : Keys.CursorHint;
  co_post_request(RequestCode::CaretHint);
}

void key_drain() {
  for (int i = 0; i < 32 && key_poll() != 0; ++i) {
  }
}

void key_beep() { host_beep(); }
