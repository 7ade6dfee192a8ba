// Key input of the command side: key_next takes the next key from the text
// typed on the user's behalf, from a key journal being played back or from
// the window side, and while the line editor reads a command line maps the
// special keys through the key maps onto the routines of the key-binding
// table (key_bindings.cpp). Owns KeyState.
#pragma once

#include <cstddef>

#include "halv80/engine/win_codes.h"
#include "platform/host/host_types.h"

constexpr std::size_t kKeyTextSize = 256;  // the key text buffer built here

// The pending-view marks that a temporary display leaves for the next key.
constexpr u16 kViewRedraw = 1;          // redraw the code pane
constexpr u16 kViewRedrawStopped = 2;   // redraw it while the target is stopped
constexpr u16 kViewNoRedraw = 0x80;     // only the console cursor goes back

struct KeyState {
  u8 flags = 0;          // Shift 1, Alt 8, Ctrl 16
  u8 code = 0;           // key code of a key without a character
  u8 character = 0;      // 0 for keys without a character
  u8 EscLetter = 0;      // the line editor's command letter set by a key routine; 0 none
  u8 LastKey = 0;        // the last character taken from the key text
  u16 BindingMode = 0;   // 1 while the line editor reads a command line
  u16 CursorHint = 0;    // 0 none, 10 Ctrl, 20 Shift, kHintCtrlShift both: the caret form
  u16 ForcedHint = 0;    // not 0: posted instead of the computed hint
  u16 QPrefix = 0;       // ^Q prefix: 2 after ^Q, 3 for the key after it, then 0
  u16 PendingView = 0;   // kView* left by a temporary display; 0 none
  u16 InitMacroAllowed = 0;  // set by the window side: the first key may type "<init.mcr"
  u16 InitMacroTried = 0;    // init.mcr was looked for
  u16 TsukaKeys = 0;     // the -TSUKA variant of the control-character map is in force
  u16 SavedCursorColumn = 0xFFFF;  // the console cursor a temporary display moved away from
  u16 SavedCursorRow = 0xFFFF;
  char KeyText[kKeyTextSize]{};  // key text built here (function-key texts, words)
};
extern KeyState Keys;

// The next key: a character, a key routine's result (0 consumed, 27 ESC with
// a command letter in Keys.EscLetter), or 0 when there is none yet. A
// pseudo-key goes to cmd_pseudo_key. May unwind (a key routine's command
// fails, or a free-running target stopped).
i16 key_next();
// key_next with the key-wait depth raised and the keep-alive clock restarted.
i16 key_wait();
// For long operations: without playback the keep-alive yield, then the
// pending character (0 none; 27 ESC); with playback one journal step, and
// CR once 15 ticks have passed, so that a pause prompt goes on by itself.
u8 key_poll();
// Waits until a key comes and classifies it for the text-mode menus: a key
// without a character gives its key index (out 0); ^C ^R ^E ^S ^D ^X give 1,
// 2, 5, 6, 7, 8; any other character gives 0 with out = the character.
u16 key_read_menu_key(u8& out);
// The key index of a key code (0x36..0x3F: 1..10; 0x62..0x6B, 0x82..0x8B,
// 0x92..0x9B: 11..20; 0xAE: 9; else 0).
u16 key_map_function_key(u16 code);
// Makes `text` (cut to the key text buffer) the text typed on the user's
// behalf; it is delivered before any other key.
void key_type_text(const char* text);
// Redraws what a temporary display covered and clears the pending-view mark.
void key_restore_view();
// Posts the input-mode hint (request 13): P1 0, 1 or 2 for no modifier,
// Ctrl or Shift.
void key_post_cursor_hint();
// Polls the keyboard until no key is pending, at most 32 times.
void key_drain();
// BEL: the host's default beep.
void key_beep();
