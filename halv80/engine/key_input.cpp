// Key input: the key sources in their order (typed text, the journal or the
// window side), the cursor hint, and the mapping of special keys to the
// key-binding table while the line editor reads a command line.
#include "halv80/engine/key_input.h"

#include <cstring>

#include "halv80/engine/cmd_pseudo.h"
#include "halv80/engine/co_coroutine.h"
#include "halv80/engine/con_screen.h"
#include "halv80/engine/key_bindings.h"
#include "halv80/engine/key_journal.h"
#include "halv80/engine/lst_listing.h"
#include "halv80/engine/run_control.h"
#include "halv80/engine/run_state.h"
#include "halv80/engine/sup_host.h"
#include "halv80/engine/sup_messages.h"
#include "halv80/symbols/sym_state_file.h"
#include "halv80/symbols/sym_store.h"
#include "halv80/engine/win_codes.h"
#include "platform/host/host_file.h"
#include "platform/host/host_ui.h"

constinit KeyState Keys;

namespace {

constexpr u8 kEscape = 0x1B;
constexpr u8 kCarriageReturn = 13;
constexpr char kInitMacro[] = "init.mcr";
constexpr char kInitMacroLine[] = "<init.mcr\r";  // the first command typed when the file exists

// The ^Q prefix counts on with every key while it runs: 2 after ^Q, 3 for
// the one key it prefixes, then 0.
void advance_prefix() {
  if (Keys.QPrefix != 0) Keys.QPrefix = u16((Keys.QPrefix + 1) % 4);
}

// Step 3 without a key: the caret form follows the modifiers held.
void follow_cursor_hint() {
  if (Keys.BindingMode != 1) return;
  const bool shift = (Keys.flags & kKeyShift) != 0;
  const bool ctrl = (Keys.flags & kKeyCtrl) != 0;
  const u16 hint = shift && ctrl ? u16(kHintCtrlShift) : shift ? 20 : ctrl ? 10 : 0;
  if (hint == Keys.CursorHint) return;
  Keys.CursorHint = Keys.ForcedHint != 0 ? Keys.ForcedHint : hint;
  con_post_cursor_hint(Keys.CursorHint);
}

// Step 6: a character, in the binding mode's light.
i16 deliver_character(u8 c) {
  // ESC while the target runs asks for a forced break and goes no further
  if (Run.ExecutionState != kExecStopped && c == kEscape && Keys.EscLetter == 0) {
    RunCtl.BreakRequested = kBreakRequestKey;
    Keys.character = 0;
    return 0;
  }
  if (Keys.BindingMode == 0 || (Keys.flags & kKeyCtrl) == 0) return c;
  const bool top_wait = Co.Request.key_wait_depth == 1;
  if (c >= 1 && c <= 26) {
    const u8 slot = key_ctrl_slot(c);
    if (slot != 0 && top_wait) return key_run_slot(slot);
    return c;
  }
  if (c >= '0' && c <= '9' && top_wait) return key_run_slot(key_ctrl_digit_slot(c));
  return c;
}

// Shift+Ctrl+F1..F10: function-key text n becomes the typed text.
void type_function_key_text(u16 n) {
  if (n >= kStateFirstListSize || Saved.FunctionKeyTexts[n] == kNoName) return;
  char text[kKeyTextSize];
  if (sym_name_text(Saved.FunctionKeyTexts[n], text, sizeof text) <= 1) return;  // empty text: nothing
  key_type_text(text);
}

}  // namespace

void key_type_text(const char* text) {
  const std::size_t n = strnlen(text, kKeyTextSize - 1);
  std::memmove(Keys.KeyText, text, n);
  Keys.KeyText[n] = '\0';
  Sup.TypedText = n != 0 ? Keys.KeyText : nullptr;
}

i16 key_next() {
  // 1. Once: a start-up macro file in the current folder is run first.
  if (!Keys.InitMacroTried) {
    Keys.InitMacroTried = 1;
    if (Keys.InitMacroAllowed) {
      const int h = sup_file_open(kInitMacro, kFileModeRead);
      if (h != kNoFile) {
        sup_file_close(h);
        Sup.TypedText = kInitMacroLine;
      }
    }
  }
  // 2. Text typed on the user's behalf comes before any key.
  while (Sup.TypedText != nullptr) {
    const u8 c = u8(*Sup.TypedText);
    if (c == 0) {
      Sup.TypedText = nullptr;
      break;
    }
    ++Sup.TypedText;
    if (c == '\n') continue;
    // a line of it ended: the journal takes its turn (a live key or a step)
    if (Keys.LastKey == kCarriageReturn) key_journal();
    advance_prefix();
    Keys.LastKey = c;
    Keys.character = c;
    Keys.code = 0;
    Keys.flags = (c >= 1 && c <= 26) ? kKeyCtrl : 0;
    return deliver_character(c);
  }
  // A target running free is looked at between keys; a stop it made ends the
  // wait, and the command loop shows it.
  if (Run.ExecutionState == kExecRunning && Co.OnCommandSide && run_idle_stop_check(0)) co_abort_to_main();
  // 3. The journal: a played-back or a live key.
  if (!key_journal()) {
    follow_cursor_hint();
    return 0;
  }
  // 4. A key.
  if (Keys.PendingView != 0) key_restore_view();
  Keys.EscLetter = 0;
  advance_prefix();
  if (Keys.character != 0) return deliver_character(Keys.character);
  // 5. A key without a character acts only at the editor's own key wait.
  const bool pseudo = (Co.Key.key_code & kKeyPseudoMask) != 0;
  if (Co.Request.key_wait_depth != 1 || Keys.BindingMode != 1) {
    Co.Key.key_code = 0;
    return 0;
  }
  if (pseudo) {
    cmd_pseudo_key();
    return 0;
  }
  const u16 index = key_map_function_key(Keys.code);
  if ((Keys.flags & (kKeyShift | kKeyCtrl)) == (kKeyShift | kKeyCtrl) && index >= 11 && index <= 20) {
    type_function_key_text(u16(index - 11));
    return 0;
  }
  return key_run_slot(key_map_slot(index, Keys.flags));
}

i16 key_wait() {
  ++Co.Request.key_wait_depth;
  co_keep_alive_begin();
  const i16 key = key_next();
  --Co.Request.key_wait_depth;
  return key;
}

u8 key_poll() {
  if (key_journal_playing()) {
    co_wait_gui(kWaitBusy);
    key_journal_count_ticks();
    if (Journal.Ticks >= 15) {
      Journal.Ticks = 0;
      return kCarriageReturn;
    }
    key_journal();
    return 0;
  }
  co_keep_alive();
  const u8 c = Keys.character;
  Keys.character = 0;
  return c;
}

u16 key_read_menu_key(u8& out) {
  out = 0;
  for (;;) {
    if (!key_journal()) continue;
    if (Keys.character == 0) {
      // a pseudo-key is no menu key: it is dropped
      if (Co.Key.key_code & kKeyPseudoMask) {
        Co.Key.key_code = 0;
        continue;
      }
      return key_map_function_key(Keys.code);
    }
    switch (Keys.character) {
      case 3: return 1;   // ^C: Page Down
      case 18: return 2;  // ^R: Page Up
      case 5: return 5;   // ^E: Up
      case 19: return 6;  // ^S: Left
      case 4: return 7;   // ^D: Right
      case 24: return 8;  // ^X: Down
      default:
        out = Keys.character;
        return 0;
    }
  }
}

u16 key_map_function_key(u16 code) {
  if (code >= kKeyPageDown && code <= kKeyEnd) return u16(code - kKeyPageDown + 1);
  if (code >= kKeyF1 && code <= kKeyF10) return u16(code - kKeyF1 + 11);
  // F1..F10 in their two other codings, and 0xAE as Home
  if (code >= 0x82 && code <= 0x8B) return u16(code - 0x82 + 11);
  if (code >= 0x92 && code <= 0x9B) return u16(code - 0x92 + 11);
  if (code == 0xAE) return 9;
  return 0;
}

void key_restore_view() {
  const u16 mark = Keys.PendingView;
  Keys.PendingView = 0;
  const bool redraw = mark == kViewRedraw || (mark == kViewRedrawStopped && Run.ExecutionState == kExecStopped);
  if (redraw && Lst.PaneShows != kListingNone) lst_refresh();
  // the side-pane headers stand above the window's bottom row
  if (redraw && Con.Slots[kSlotCode].bottom != kScreenRows - 1) lst_side_headers();
  if (Keys.SavedCursorColumn != 0xFFFF) {
    con_set_cursor(Keys.SavedCursorColumn, Keys.SavedCursorRow);
    Keys.SavedCursorColumn = 0xFFFF;
    Keys.SavedCursorRow = 0xFFFF;
  }
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
