// The pump of the window side.
#include "halv80/engine/win_side.h"

#include <algorithm>

#include "halv80/engine/cmd_core.h"
#include "halv80/engine/sup_messages.h"

namespace {

void show_pending_error(WindowSide& ws) {
  const u16 error = Co.PendingError;
  ws.ShowPendingError(error);
  Co.PendingError = 0;
  if (Sup.WindowAction == kActionErrorWait) Sup.WindowAction = 0;
  // after a hung target the user was asked whether to reset the emulator
  if ((error & kErrCodeMask) == kErrorTargetHung) Co.ErrorAcknowledged = 1;
}

}  // namespace

void win_set_startup_line(std::string_view line) {
  const std::size_t n = std::min(line.size(), sizeof Cmd.StartupArgs - 1);
  std::copy_n(line.data(), n, Cmd.StartupArgs);
  Cmd.StartupArgs[n] = '\0';
}

bool win_command_side_exited() { return (Co.WaitKind & kWaitBitExit) != 0; }

u16 win_pump(WindowSide& ws) {
  try {
    for (;;) {
      if (Co.PendingError != 0) show_pending_error(ws);
      if (ws.closing || win_command_side_exited()) return Co.WaitKind;
      co_enter_command_side();
      if (Co.Request.code != RequestCode::None) {
        ws.ServeRequest(Co.Request.code);
        Co.Request.code = RequestCode::None;
      }
      if (Co.PendingError != 0) show_pending_error(ws);
      if (Sup.StartupFailure != 0 || ws.closing) return Co.WaitKind;
      if (Co.WaitKind & kWaitBitWaiting) return Co.WaitKind;
    }
  } catch (const CommandUnwind&) {
    // an unwind in window-side code with no guarded caller ("ABORT(RETMAIN1)"
    // was shown): it ends here, at the window side's top level
    return Co.WaitKind;
  }
}
