// Key input of the command side: the key that co_wait_gui picked up from the
// window side, and the routines that wait for and poll keys.
#pragma once

#include "platform/host/host_types.h"

struct KeyState {
  u8 flags = 0;       // Shift 1, Alt 8, Ctrl 16
  u8 code = 0;        // key code of a key without a character
  u8 character = 0;   // 0 for keys without a character
  u16 BindingMode = 0;  // 1 while the line editor reads a command line
  u16 CursorHint = 0;   // 0 none, 10 Ctrl, 20 Shift, 0x8000 both: the caret form
};
extern KeyState Keys;

// The next key: a character, or 0 when there is none yet (one wait for the
// window side's key).
i16 key_next();
// key_next with the key-wait depth raised and the keep-alive clock restarted.
i16 key_wait();
// For long operations: the keep-alive yield, then the pending character (0 none).
u8 key_poll();
// Posts the input-mode hint (request 13): P1 0, 1 or 2 for no modifier,
// Ctrl or Shift.
void key_post_cursor_hint();
// Polls the keyboard until no key is pending, at most 32 times.
void key_drain();
// BEL: the host's default beep.
void key_beep();
