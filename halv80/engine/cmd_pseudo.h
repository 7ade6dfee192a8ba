// The pseudo-key executor: mouse, scroll-bar and window-side actions that
// reach the command side as PseudoKey words (win_codes.h), run here on
// the command coroutine; and the cursor hint. Owns PseudoState.
#pragma once

#include "platform/host/host_types.h"

struct PseudoState {
  u16 SavedCursorMode = 0;  // the cursor-mark state around a listing move
  u16 SavedCursorRow = 0;
  // The break window's rows after the software breakpoints are hardware
  // breaks: the hardware-break command's area sets this to act on break
  // `index` (0 first): kind kBreakRowToggle enable or disable it,
  // kBreakRowDelete clear it, kBreakRowDeleteAll (index 0) clear them all
  // ("D *"). Unset: those rows do nothing.
  void (*HardwareBreakAction)(u16 kind, u16 index) = nullptr;
};
extern PseudoState Pseudo;

void cmd_pseudo_reset();
// Executes the pseudo-key word in Co.Key.key_code and clears it.
void cmd_pseudo_key();
// RequestCode::CaretHint with P1 = hint / 10 when hint is below 21.
void con_post_cursor_hint(u16 hint);
