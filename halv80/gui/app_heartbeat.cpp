// The heartbeat tick of the window side.
#include "halv80/gui/app_heartbeat.h"

#include <algorithm>
#include <cstdio>
#include <string>

#include "halv80/engine/emu_control.h"
#include "halv80/engine/emu_startup.h"
#include "halv80/engine/run_control.h"
#include "halv80/gui/app_bars.h"
#include "halv80/gui/app_main.h"
#include "halv80/gui/app_mdi.h"
#include "halv80/gui/gui_engine.h"
#include "halv80/gui/res_strings.h"
#include "halv80/gui/win_command.h"
#include "halv80/gui/win_console.h"
#include "halv80/gui/win_requests.h"
#include "platform/host/host_clock.h"
#include "platform/host/host_ui.h"

HeartbeatState Hb;

namespace {

constexpr u16 kStrPowerMissing = 801;
constexpr u16 kStrMayReinitialise = 802;
constexpr u16 kStrHintBase = 700;
constexpr u16 kMsgTargetRunning = 89;   // "   ターゲット実行中   "
constexpr u16 kMsgStepRunning = 88;     // "    ステップ実行中    "
constexpr i32 kMessageTicks = 50;       // a message stays 2.75 s
constexpr i32 kHintDebounceTicks = 2;   // a new hint must stay 2 ticks
constexpr i32 kRunMessageTicks = 10;
constexpr i32 kHintModeTicks = 20;
constexpr i32 kRestoreTicks = 10;
constexpr u32 kProfileBudgetMs = 50;

TQNStatusBar* status_bar() { return dynamic_cast<TQNStatusBar*>(App.StatusBar); }

// A string of the window side, else of the engine.
std::string string_text(u16 id) {
  std::string_view s = res_string(id);
  if (s.empty()) s = sup_string_resource(id);
  return std::string(s);
}

// A text without one leading line feed and the blanks after it.
std::string without_leading_line(std::string text) {
  if (!text.empty() && text.front() == '\n') {
    std::size_t n = 1;
    while (n < text.size() && text[n] == ' ') ++n;
    text.erase(0, n);
  }
  return text;
}

TMainWindow* console(TMDIChild* w) { return dynamic_cast<TMainWindow*>(w); }

// Lays the console windows out again and refreshes the data windows after the
// emulator was re-initialised.
void refresh_after_restart() {
  ChildWindowTable& t = Frame.Children;
  for (TMDIChild* w : {t.consoleWindow, t.commandWindow}) {
    TMainWindow* m = console(w);
    if (!m || m->IsIconic()) continue;
    const TRect r = m->GetClientRect();
    m->UpdateLayout(kSizeRelayout, TSize{r.right, r.bottom});
  }
  if (auto* head = dynamic_cast<TQNWindow*>(t.inspectChainHead)) head->Refresh();
  if (Frame.ChildrenCreated == 1)
    for (u16 i = 0; i <= 6; ++i)
      if (auto* w = dynamic_cast<TQNWindow*>(t.windows[i]); w && !w->IsIconic()) w->Refresh();
}

// Step 3: the system error's box, with re-initialisation on Yes.
void show_system_error() {
  Hb.errorBoxOpen = Co.PendingError;
  const std::string text =
      string_text(u16(Hb.errorBoxOpen & kErrCodeMask)) + "\n" + string_text(kStrMayReinitialise);
  bool restarted = false;
  for (;;) {
    const int answer =
        host_message_box("System Error", text, kBoxYesNo | kBoxIconExclamation | kTaskModal);
    Co.PendingError = 0;
    if (answer != kBoxAnswerYes) break;
    sup_restart_emulator();
    if (Sup.StartupFailure != 0) {
      if (Frame.Children.mainFrame) Frame.Children.mainFrame->PostMessage(WM_CLOSE);
      break;
    }
    if (app_is_system_error(Co.PendingError)) continue;  // failed again: ask again
    restarted = true;
    break;
  }
  if (restarted) {
    // the command side waits for the answer to its own error
    if (Hb.errorBoxOpen & kErrHighCoding) Co.ErrorAcknowledged = 1;
    else refresh_after_restart();
  }
  Hb.errorBoxOpen = 0;
}

bool ctrl_alt_held() { return (win_modifier_mask() & (kKeyCtrl | kKeyAlt)) == (kKeyCtrl | kKeyAlt); }

// Step 7's hint half: a changed hint is shown once it stayed for two ticks.
void hint_step() {
  // no window asked for a hint yet: the active one's
  if (!(StatusHint & kHintBit))
    StatusHint = u16(std::min<u16>(win_active_index(), kChildCommand) | kHintBit);
  if (StatusHint != Hb.shownHint) {
    if (StatusHint != Hb.pendingHint) {
      Hb.pendingHint = StatusHint;
      Hb.messageCountdown = kHintDebounceTicks;
    } else if (--Hb.messageCountdown <= 0) {
      Hb.shownHint = StatusHint;
      if (TQNStatusBar* s = status_bar()) s->SetStatus(string_text(u16(kStrHintBase + (StatusHint & 0x3FFF))), kStatusNormal);
    }
  } else if ((StatusHint & 0x3FFF) == kHintCtrlAlt && !ctrl_alt_held()) {
    StatusHint = u16(std::min<u16>(Frame.Children.activeIndex, kChildCommand) | kHintBit);
  }
}

// A status message in the bar, timed out by status_step like the engine's.
void show_message(std::string_view text, u32 state, u16 word) {
  if (TQNStatusBar* s = status_bar()) s->SetStatus(text, state);
  Hb.messageCountdown = kMessageTicks;
  Hb.shownMessage = Hb.shownHint = Hb.pendingHint = word;
}

// Step 7: the engine's status message, else the key hint.
void status_step() {
  const u16 message = app_is_system_error(Co.PendingError) ? 0 : Co.PendingError;
  if (Hb.shownMessage == 0 && message == 0) {
    hint_step();
    return;
  }
  if (message == 0) {
    if (Hb.shownMessage == Hb.shownHint && --Hb.messageCountdown <= 0) Hb.shownMessage = 0;
    else if (Hb.shownMessage != Hb.shownHint) Hb.shownMessage = 0;
    return;
  }
  u16 word = message;
  std::string text;
  if (word & kErrTextInBuffer) {
    text = Sup.MessageBuffer;
    word = 0x2000;
  } else {
    text = without_leading_line(sup_pending_error_text(word));
  }
  show_message(text, (word & 0x2000) ? kStatusNotice : kStatusAlert, word);
  Co.PendingError = 0;
}

// A kind-3 status message: the running and stepping texts.
bool status_kind(u16 word) { return (word >> 12) == 2; }

// Step 8: the status bar while the target runs, and once more after it stopped.
void running_step() {
  TQNStatusBar* s = status_bar();
  if ((Run.ExecutionState & kExecRunning) || Run.WindowOption != 0) {
    if (s && s->hintShowing) {
      if (++Hb.hintModeTicks > kHintModeTicks) s->SetHintText({});
    } else {
      Hb.hintModeTicks = 0;
    }
    sup_set_window_option(Run.ExecutionState);
    if (Run.TraceHwLevel != 0 && s) {
      char address[16];
      std::snprintf(address, sizeof address, "%04lX", static_cast<unsigned long>(run_sample_address()));
      s->SetFieldText(kStatusFieldAddress, address);
      char timer[64]{};
      run_format_timer_status(std::span<char>(timer, sizeof timer));
      s->SetFieldText(kStatusFieldTimer, timer);
    }
    if (++Hb.runTicks >= kRunMessageTicks) {
      if (Hb.shownMessage == 0 && Co.PendingError == 0)
        sup_raise_error((Run.ExecutionState & kExecRunning) ? kMsgTargetRunning : kMsgStepRunning, 3);
      if (status_kind(Hb.shownMessage)) {
        Hb.messageCountdown = kHintDebounceTicks;
        Hb.runTicks = kRunMessageTicks;
      }
    }
    return;
  }
  if (Hb.runTicks >= kRunMessageTicks && Co.PendingError != 0 && status_kind(Co.PendingError) &&
      !app_is_system_error(Co.PendingError)) {
    Co.PendingError = 0;
    hint_step();
  }
  Hb.runTicks = 0;
}

}  // namespace

void app_heartbeat_reset() { Hb = HeartbeatState{}; }

void app_show_status_message(std::string_view cp932, u32 state) {
  show_message(cp932, state, state == kStatusNotice ? 0x2000 : 0x0FFE);
}

bool app_is_system_error(u16 error) {
  const u16 e = u16(error & kErrCodeMask);
  return error != 0 && (e == kErrorTargetHung || e == kStrPowerMissing);
}

void app_heartbeat_tick(TMainWindow& receiver) {
  ChildWindowTable& t = Frame.Children;
  // 1: the power, every 32nd tick
  ++HeartbeatTick;
  if ((HeartbeatTick & 31) == 0 && co_command_side_started() && Sup.StartupFailure == 0 &&
      !app_is_system_error(Co.PendingError) && emu_check_target_vcc() != 0)
    Co.PendingError = kStrPowerMissing;
  // 2: nothing more until the commands were enabled for the engine's state
  if (Hb.HeartbeatEnable == 0 || Hb.errorBoxOpen != 0) return;
  // 3
  if (app_is_system_error(Co.PendingError)) show_system_error();
  // 4: the busy bit changed: the commands must be greyed or enabled first
  if (((Co.WaitKind ^ Hb.lastWaitState) & kWaitBitBusy) && Co.WaitKind != 13) {
    Hb.lastWaitState = Co.WaitKind;
    Hb.HeartbeatEnable = 0;
  }
  // 5: a selection armed or running takes its step
  win_selection_heartbeat();
  // 6: the command side runs until it waits again
  if (co_command_side_started() && Sup.StartupFailure == 0) {
    TMainWindow* command = console(t.commandWindow);
    TMainWindow* code = console(t.consoleWindow);
    if (command && command->HasFocus()) command->HandleKey();
    else if (code && code->HasFocus()) code->HandleKey();
    else receiver.TMainWindow::HandleKey();
  }
  // 7, 8
  status_step();
  running_step();
  // 9: the just-activated state ends with the first tick after the activation
  if (auto* active = dynamic_cast<TQNWindow*>(t.activeIndex < kChildCount ? t.windows[t.activeIndex] : nullptr);
      active && active->mouseState == kMouseActivated && HeartbeatTick - active->pressTick >= 1)
    active->mouseState = kMouseIdle;
  // 10
  win_free_consumed_paste();
  // 11: the child that was active before a watch update comes back
  if (Service.pendingViewRequest != 0) {
    if (Hb.restoreCountdown <= 0) {
      Hb.restoreCountdown = kRestoreTicks;
    } else if (--Hb.restoreCountdown <= 0) {
      const u16 child = u16(Service.pendingViewRequest - 1);
      if (win_active_index() != child) win_activate_child(child);
      Service.pendingViewRequest = 0;
    }
  }
  // 12: profile samples while the target runs
  if ((Run.ExecutionState & kExecRunning) && EmuCtl.ProfilerRunning != 0) {
    const u32 start = host_tick_ms();
    do sup_run_core_request({}, CoreRequest::ProfileSample);
    while (host_tick_ms() - start < kProfileBudgetMs && (Run.ExecutionState & kExecRunning));
  }
}
