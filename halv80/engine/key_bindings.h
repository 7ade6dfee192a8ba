// The key-binding table: the 72 key routines that special keys reach while
// the line editor reads a command line, and the key maps that choose them
// (by key index and modifiers, by control character, by Ctrl-digit). A
// routine returns 0 (the key is consumed) or 27 with Keys.EscLetter set (the
// line editor executes the letter). Owns KeyBindingState.
#pragma once

#include <cstddef>

#include "platform/host/host_types.h"

constexpr std::size_t kKeyRoutineCount = 72;
constexpr std::size_t kKeyIndexCount = 21;  // key index 0 (none) .. 20 (F10)

struct KeyBindingState {
  u8 CtrlMap[27]{};  // by control character 0..26: the slot; the -TSUKA variant edits two entries
};
extern KeyBindingState KeyBind;

// Start-up values: the plain control-character map.
void key_bindings_reset();
// The -TSUKA variant: ^E and ^X become the line moves of the code cursor.
void key_bindings_use_tsuka();

// The slot that the map for `flags` (Shift; else Ctrl; else plain) gives the
// key index.
u8 key_map_slot(u16 index, u8 flags);
u8 key_ctrl_slot(u8 c);        // control character 1..26
u8 key_ctrl_digit_slot(u8 c);  // "0".."9"
// Runs the routine of `slot` (0..71; others are dropped): 0 or 27.
i16 key_run_slot(u8 slot);

// A run key (0 G, 1 G "@", 2 set the PC at the cursor, 3 trace, 4 step
// over), with errors in the error box. Refused (beep or busy error) while the
// target runs, and on the trap byte at the PC.
void run_key_action(u16 n);
// Shows or hides the code window's cursor mark.
void key_toggle_code_cursor();
