// The heartbeat: one tick of timer 1 of the primary code window (55 ms). Each
// tick counts, checks the target's power every 32nd tick, shows a pending
// system error with the question whether to re-initialise the emulator,
// enters the command side until it waits, keeps the status bar's message,
// key hint, sampled address and timer current, gives the focus back after a
// watch update, frees consumed paste text and samples for the profiler.
// HeartbeatState holds the tick's words; the tick counter (HeartbeatTick) and
// the key-hint word (StatusHint) are the character-cell windows'. A tick does
// nothing until the frame's command-enabling pass has set HeartbeatEnable.
#pragma once

#include <string_view>

#include "platform/host/host_types.h"

class TMainWindow;

constexpr u32 kHeartbeatTimerId = 1;
constexpr u32 kHeartbeatPeriodMs = 55;
constexpr u16 kHintCtrlAlt = 13;       // the hint shown while Ctrl+Alt is held
constexpr u16 kHintBit = 0x4000;       // a hint value: string 700 + the low 14 bits

struct HeartbeatState {
  u16 HeartbeatEnable = 0;      // 1: the tick works; the command-enabling pass sets it
  u16 errorBoxOpen = 0;         // the system error whose box is open; 0 none
  u16 lastWaitState = 0;        // WaitState at the last busy-bit change
  u16 shownMessage = 0;         // status message shown; 0 none
  u16 shownHint = 0xFFFF;       // key hint shown
  u16 pendingHint = 0x0FFF;     // key hint waiting to be shown
  i32 messageCountdown = 0;     // ticks left for a message, or before a new hint
  i32 runTicks = 0;             // ticks since the running message was posted
  i32 hintModeTicks = 0;        // ticks a menu hint has stayed while the target runs
  i32 restoreCountdown = 0;     // ticks until pendingViewRequest's child comes back
};
extern HeartbeatState Hb;

void app_heartbeat_reset();

// One tick, run by the code window `receiver` that got the timer message
// (whatever its timer id).
void app_heartbeat_tick(TMainWindow& receiver);

// Shows `cp932` in the status bar's message field in status state `state`
// as a status message: it stays for the message time, then the key hint
// comes back.
void app_show_status_message(std::string_view cp932, u32 state);

// The system errors: the target hung (800) and its power missing (801),
// bit 15 when raised on the command side, which waits for the answer.
bool app_is_system_error(u16 error);
