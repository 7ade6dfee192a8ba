// The key-binding table and its maps. The routines act on the code window
// (listing moves, find, break at the cursor), ask the window side for work
// (requests 14-20, 23, 24, 26) or hand the line editor a command letter.
#include "halv80/engine/key_bindings.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <iterator>
#include <string>

#include "halv80/engine/cmd_core.h"
#include "halv80/engine/cmd_pseudo.h"
#include "halv80/engine/cmd_watch.h"
#include "halv80/engine/co_coroutine.h"
#include "halv80/engine/con_log.h"
#include "halv80/engine/con_screen.h"
#include "halv80/engine/key_input.h"
#include "halv80/engine/lst_actions.h"
#include "halv80/engine/lst_listing.h"
#include "halv80/engine/run_control.h"
#include "halv80/engine/run_exec.h"
#include "halv80/engine/run_state.h"
#include "halv80/engine/sup_messages.h"
#include "halv80/engine/tgt_memory.h"
#include "halv80/engine/trc_display.h"
#include "halv80/engine/win_codes.h"

constinit KeyBindingState KeyBind;

namespace {

constexpr i16 kEscape = 27;
constexpr u8 kTrapByte = 0xFF;          // the software break instruction
constexpr u16 kErrNotInspectable = 2;   // error of kind 1: no word to show
constexpr u16 kColumnStep = 5;          // a horizontal listing step

using KeyRoutine = i16 (*)();

i16 letter(char c) {
  Keys.EscLetter = u8(c);
  return kEscape;
}

bool prefixed() { return Keys.QPrefix == 3; }
bool cursor_on() { return Lst.CodeCursorMode != 0; }
bool source_mode() { return Lst.ListingMode == kListingSource; }
bool asm_mode() { return Lst.ListingMode == kListingAssembly; }
bool running() { return (Run.ExecutionState & kExecRunning) != 0; }
bool has_character() { return Keys.character != 0; }

i16 beep() {
  key_beep();
  return 0;
}

i16 post(RequestCode code, u32 p1 = 0) {
  Co.Request.p1 = p1;
  co_post_request(code);
  return 0;
}

// The view moves act on the code listing while its cursor is on, else on
// the command pane's log view.
i16 view_line_up() {
  if (cursor_on()) {
    lst_view_line_up();
    lst_show_cursor_scope();
  } else {
    con_view_line_up();
  }
  return 0;
}
i16 view_line_down() {
  if (cursor_on()) {
    lst_view_line_down();
    lst_show_cursor_scope();
  } else {
    con_view_line_down();
  }
  return 0;
}

i16 r_nothing() { return 0; }
i16 r_insert() { return letter('i'); }
i16 r_delete() { return letter('d'); }
i16 r_recall_older() { return letter('u'); }
i16 r_recall_newer() { return letter('n'); }
i16 r_end() { return letter('f'); }
i16 r_right() { return letter('r'); }
i16 r_left() { return letter('l'); }
i16 r_start() { return letter('a'); }
i16 r_copy_rest() { return letter('c'); }
i16 r_copy_one() { return letter('1'); }
i16 r_history_list() { return letter('h'); }
i16 r_clear_line() { return letter('C'); }
i16 r_clear_history() { return letter('A'); }
i16 r_symbol_list() { return letter('H'); }

i16 r_word_left() {  // 10
  if (!cursor_on()) return letter('a');
  if (source_mode()) {
    lst_move_word_left();
    return 0;
  }
  return beep();
}

i16 r_inspect() {  // 11
  if (cursor_on() && source_mode()) {
    if (sup_check_not_running()) exp_inspect_at_cursor(0);
    return 0;
  }
  sup_raise_error(kErrNotInspectable, 1);
  return 0;
}

i16 r_project() { return prefixed() ? post(RequestCode::ProjectLayout) : 0; }  // 12
i16 r_focus_next() { return post(RequestCode::Focus, kFocusNext); }                     // 13
i16 r_code_to_pc() { return prefixed() ? post(RequestCode::CodeToPc) : 0; }     // 14
i16 r_q_prefix() {                                                             // 15
  Keys.QPrefix = 2;
  return 0;
}

i16 r_page_up() {  // 16
  if (cursor_on()) {
    prefixed() ? lst_view_to_start() : lst_view_page_up();
  } else {
    prefixed() ? con_view_to_start() : con_view_page_up();
  }
  return 0;
}
i16 r_page_down() {  // 17
  if (cursor_on()) {
    prefixed() ? lst_view_to_end() : lst_view_page_down();
  } else {
    prefixed() ? con_view_to_end() : con_view_page_down();
  }
  return 0;
}
i16 r_line_up() { return view_line_up(); }      // 18

i16 r_find_or_word_right() {  // 19
  if (prefixed()) {
    cmd_find_text(0);
    return 0;
  }
  if (!cursor_on()) return letter('f');
  if (asm_mode()) {
    LstAct.AsmColumn = LstAct.AsmColumn == 0 ? 5 : LstAct.AsmColumn == 5 ? 21 : 0;
    lst_cursor_mark_show();
    return 0;
  }
  if (source_mode()) lst_move_word_right();
  return 0;
}

i16 r_find_again() {  // 20
  if (asm_mode() && cursor_on() && running()) return 0;
  if (!prefixed()) {
    cmd_find_text(1);
    return 0;
  }
  if (cursor_on()) return post(RequestCode::LineNumberDialog);
  return 0;
}

i16 r_focus_previous() { return post(RequestCode::Focus, kFocusPrevious); }  // 21

i16 r_type_word() {  // 22
  if (cursor_on()) {
    std::string word;
    const bool found = source_mode() ? lst_word_at_cursor(word, 0) : lst_asm_text_at_cursor(word);
    if (found) key_type_text(word.c_str());
    return 0;
  }
  if (!has_character()) return beep();
  return letter('d');
}

i16 r_cursor_left() {  // 23
  if (source_mode() && cursor_on()) {
    prefixed() ? lst_move_line_start() : lst_move_left();
    return 0;
  }
  return letter('l');
}
i16 r_cursor_right() {  // 24
  if (source_mode() && cursor_on()) {
    prefixed() ? lst_move_line_end() : lst_move_right();
    return 0;
  }
  return letter('r');
}
i16 r_line_down() { return view_line_down(); }  // 25

i16 r_inspect_pointer() {  // 26
  if (source_mode() && cursor_on()) {
    if (sup_check_not_running()) exp_inspect_at_cursor(1);
    return 0;
  }
  if (!has_character()) return beep();
  return running() ? 0 : letter('i');
}

i16 r_watch_word() {  // 27
  if (!prefixed() && cursor_on() && source_mode()) {
    if (sup_check_not_running()) cmd_watch_at_cursor();
    return 0;
  }
  if (!has_character()) return beep();
  return prefixed() ? 0 : letter('u');
}

i16 r_toggle_cursor() {  // 29
  key_toggle_code_cursor();
  return 0;
}
i16 r_next_file() {  // 30
  cmd_next_source_file();
  return 0;
}

// 31 and 40: the mixed display (source view) on and off.
i16 toggle_mixed(bool keep_cursor) {
  if (Lst.ListingMode == kListingNone) return beep();
  const bool to_source = !source_mode();
  if (!to_source && running()) {
    sup_check_not_running();
    return 0;
  }
  lst_toggle_mode(to_source ? kListingSource : kListingAssembly, keep_cursor);
  if (Lst.ListingMode != (to_source ? kListingSource : kListingAssembly)) return beep();
  return 0;
}
i16 r_mixed_keep() { return toggle_mixed(true); }   // 31
i16 r_mixed() { return toggle_mixed(false); }       // 40
i16 r_find_next() {                                  // 32
  cmd_find_text(1);
  return 0;
}

i16 r_copy_word() {  // 33
  std::string word;
  if (!(cursor_on() && source_mode() && lst_word_at_cursor(word, 0))) return beep();
  sup_set_message_buffer(word);
  return post(RequestCode::Clipboard);
}

i16 r_help() {  // 34
  if (!sup_check_not_running()) return 0;
  const u16 token = Cmd.LastToken;
  return post(RequestCode::Help, token >= 0x80 ? u32(token - 0x80) : 0);
}

i16 r_choose_file() {  // 38
  cmd_choose_source_file();
  return 0;
}
i16 r_find() {  // 41
  cmd_find_text(0);
  return 0;
}
i16 r_go() {  // 42
  run_key_action(0);
  return 0;
}
i16 r_go_return() {  // 60
  run_key_action(1);
  return 0;
}
i16 r_set_pc() {  // 43
  run_key_action(2);
  return 0;
}
i16 r_trace() {  // 44
  run_key_action(3);
  return 0;
}
i16 r_step_over() {  // 46
  run_key_action(4);
  return 0;
}
i16 r_toggle_break() {  // 45
  if (sup_check_not_running()) cmd_toggle_break_at_cursor();
  return 0;
}
i16 r_options() { return post(RequestCode::OptionsDialog); }  // 47
i16 r_stop_trace() {                                          // 50
  RunExec.EscapeSeen = 1;
  return 0;
}
i16 r_key_action() { return post(RequestCode::ZoomChild); }  // 59
i16 r_down_or_newer() { return cursor_on() ? view_line_down() : letter('n'); }  // 61
i16 r_up_or_older() { return cursor_on() ? view_line_up() : letter('u'); }      // 62

// 68 and 69: the source listing scrolled sideways by a step (form 1 to
// the right, form 0 back to the left); the rows are drawn again from it.
i16 horizontal_step(bool right) {
  if (Lst.PaneShows != kListingSource || !source_mode()) return beep();
  if (!right && Lst.HorizontalOffset == 0) return beep();
  if (right && Lst.HorizontalOffset > kScreenColumns) return beep();
  Lst.HorizontalOffset = right ? u16(Lst.HorizontalOffset + kColumnStep)
                               : u16(Lst.HorizontalOffset - std::min<u16>(Lst.HorizontalOffset, kColumnStep));
  LstPaneScope pane;
  Lst.FoundRow = kNoRow;  // the rows replace the found row's cells
  for (u16 row = lst_pane_top(); row < lst_pane_bottom(); ++row) lst_source_row(row);
  lst_cursor_mark_show();
  return 0;
}
i16 r_step_right() { return horizontal_step(true); }   // 68
i16 r_step_left() { return horizontal_step(false); }   // 69
i16 r_paste() { return post(RequestCode::Paste); }      // 70
i16 r_page_copy() { return post(RequestCode::PageCopy); }  // 71

// KeyHandlerTable, by slot.
constexpr KeyRoutine KeyHandlerTable[kKeyRoutineCount] = {
    r_nothing,         // 0
    r_insert,          // 1
    r_delete,          // 2
    r_recall_older,    // 3
    r_recall_newer,    // 4
    r_end,             // 5
    r_right,           // 6
    r_left,            // 7
    r_start,           // 8
    r_copy_rest,       // 9
    r_word_left,       // 10
    r_inspect,         // 11
    r_project,         // 12
    r_focus_next,      // 13
    r_code_to_pc,      // 14
    r_q_prefix,        // 15
    r_page_up,         // 16
    r_page_down,       // 17
    r_line_up,         // 18
    r_find_or_word_right,  // 19
    r_find_again,      // 20
    r_focus_previous,  // 21
    r_type_word,       // 22
    r_cursor_left,     // 23
    r_cursor_right,    // 24
    r_line_down,       // 25
    r_inspect_pointer, // 26
    r_watch_word,      // 27
    r_nothing,         // 28
    r_toggle_cursor,   // 29
    r_next_file,       // 30
    r_mixed_keep,      // 31
    r_find_next,       // 32
    r_copy_word,       // 33
    r_help,            // 34
    r_nothing,         // 35
    r_nothing,         // 36
    r_nothing,         // 37
    r_choose_file,     // 38
    r_nothing,         // 39
    r_mixed,           // 40
    r_find,            // 41
    r_go,              // 42
    r_set_pc,          // 43
    r_trace,           // 44
    r_toggle_break,    // 45
    r_step_over,       // 46
    r_options,         // 47
    r_nothing,         // 48
    r_nothing,         // 49
    r_stop_trace,      // 50
    r_nothing,         // 51
    r_nothing,         // 52
    r_nothing,         // 53
    r_nothing,         // 54
    r_nothing,         // 55
    r_nothing,         // 56
    r_nothing,         // 57
    r_nothing,         // 58
    r_key_action,      // 59
    r_go_return,       // 60
    r_down_or_newer,   // 61
    r_up_or_older,     // 62
    r_copy_one,        // 63
    r_history_list,    // 64
    r_clear_line,      // 65
    r_clear_history,   // 66
    r_symbol_list,     // 67
    r_step_right,      // 68
    r_step_left,       // 69
    r_paste,           // 70
    r_page_copy,       // 71
};
static_assert(std::size(KeyHandlerTable) == kKeyRoutineCount);

// The maps of binding mode 1 by key index (1 Page Down .. 10 End, 11 F1 ..
// 20 F10): plain, Shift, Ctrl.
struct KeyMapRow {
  u8 plain, shift, ctrl;
};
constexpr KeyMapRow KeyMaps[kKeyIndexCount] = {
    {0, 0, 0},     // none
    {17, 68, 0},   // Page Down
    {16, 69, 0},   // Page Up
    {1, 70, 71},   // Insert
    {2, 2, 2},     // Delete
    {18, 3, 35},   // Up
    {23, 7, 36},   // Left
    {24, 6, 37},   // Right
    {25, 4, 58},   // Down
    {29, 30, 30},  // Home
    {34, 34, 34},  // End
    {38, 63, 59},  // F1
    {13, 64, 21},  // F2
    {40, 9, 31},   // F3
    {41, 8, 32},   // F4
    {42, 5, 60},   // F5
    {11, 67, 11},  // F6
    {43, 65, 27},  // F7
    {44, 66, 26},  // F8
    {45, 48, 22},  // F9
    {46, 47, 33},  // F10
};

constexpr auto kCtrlMap = [] {
  std::array<u8, 27> t{};
  t[1] = 10;   // ^A
  t[2] = 21;   // ^B
  t[3] = 17;   // ^C
  t[4] = 24;   // ^D
  t[5] = 18;   // ^E
  t[6] = 19;   // ^F
  t[7] = 22;   // ^G
  t[9] = 11;   // ^I
  t[10] = 12;  // ^J
  t[12] = 20;  // ^L
  t[15] = 13;  // ^O
  t[16] = 14;  // ^P
  t[17] = 15;  // ^Q
  t[18] = 16;  // ^R
  t[19] = 23;  // ^S
  t[21] = 65;  // ^U
  t[22] = 26;  // ^V
  t[23] = 27;  // ^W
  t[24] = 25;  // ^X
  t[26] = 28;  // ^Z
  return t;
}();

constexpr u8 kCtrlDigitMap[10] = {50, 51, 52, 53, 39, 54, 55, 56, 57, 0};  // "0".."9"

// The PC moves to the cursor row's address; the code pane shows it.
void set_pc_at_cursor() {
  u32 address = 0;
  if (!cmd_cursor_address(address, true, true)) return;
  Run.Regs.pc = u16(address);
  lst_show_pc();
  con_request_refresh();
}

}  // namespace

void key_bindings_reset() {
  KeyBind = KeyBindingState{};
  std::memcpy(KeyBind.CtrlMap, kCtrlMap.data(), kCtrlMap.size());
}

void key_bindings_use_tsuka() {
  KeyBind.CtrlMap[5] = 62;   // ^E: up, or an older line
  KeyBind.CtrlMap[24] = 61;  // ^X: down, or a newer line
}

u8 key_map_slot(u16 index, u8 flags) {
  if (index >= kKeyIndexCount) return 0;
  const KeyMapRow& row = KeyMaps[index];
  if (flags & 0x01) return row.shift;
  if (flags & 0x10) return row.ctrl;
  return row.plain;
}

u8 key_ctrl_slot(u8 c) { return c <= 26 ? KeyBind.CtrlMap[c] : 0; }

u8 key_ctrl_digit_slot(u8 c) { return c >= '0' && c <= '9' ? kCtrlDigitMap[c - '0'] : 0; }

i16 key_run_slot(u8 slot) {
  if (slot >= kKeyRoutineCount) return 0;
  return KeyHandlerTable[slot]();
}

void run_key_action(u16 n) {
  if (trc_view_active()) {  // the real-time trace display holds the screen
    key_beep();
    return;
  }
  if (!sup_check_not_running()) return;
  if (tgt_read_byte(Run.Regs.pc) == kTrapByte) {
    sup_show_error_box(kMsgCannotTrace, {});
    return;
  }
  Co.Request.message_box_mode = 1;
  Keys.BindingMode = 0;
  Cmd.CommandLine[0] = '\0';
  Cmd.ScannerCursor = Cmd.CommandLine;
  switch (n) {
    case 0: run_cmd_go(kGoFromKey); break;
    case 1: run_cmd_go(kGoReturnFromKey); break;
    case 2: set_pc_at_cursor(); break;
    case 3: cmd_trace(); break;
    case 4: cmd_step(); break;
    default: break;
  }
  Co.Request.message_box_mode = 0;
  Keys.BindingMode = 1;
}

void key_toggle_code_cursor() {
  if (Lst.CodeCursorMode) {
    lst_cursor_mark_hide();
    Lst.CodeCursorMode = 0;
    Con.PendingWindow = 0;
    return;
  }
  Lst.CodeCursorMode = 1;
  if (Lst.CursorRow == kNoRow || Lst.CursorRow < lst_pane_top() || Lst.CursorRow >= lst_pane_bottom())
    Lst.CursorRow = lst_pane_top();
  Con.PendingWindow = 1;
  lst_cursor_mark_show();
}
