// The pseudo-key executor: mouse, scroll-bar and window-side actions that
// reach the command side as key code words of 0x8001 and above, run here on
// the command coroutine; and the cursor hint. Owns PseudoState.
#pragma once

#include "platform/host/host_types.h"

struct PseudoState {
  u16 SavedCursorMode = 0;  // the cursor-mark state around a listing move
  u16 SavedCursorRow = 0;
  // The break window's rows after the software breakpoints are hardware
  // breaks: the hardware-break command's area sets this to act on break
  // `index` (0 first): kind 0 enable or disable it, 0x4000 clear it, 0x8000
  // (index 0) clear them all ("D *"). Unset: those rows do nothing.
  void (*HardwareBreakAction)(u16 kind, u16 index) = nullptr;
};
extern PseudoState Pseudo;

void cmd_pseudo_reset();
// Executes the pseudo-key word in Co.Key.key_code and clears it.
void cmd_pseudo_key();
// Request 13 with P1 = hint / 10 when hint is below 21.
void con_post_cursor_hint(u16 hint);
