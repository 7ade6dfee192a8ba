// The pseudo-key executor. Every pseudo-key word is cleared when it is done,
// so that a failing action is not repeated; texts from the window side are
// bounded by the key text buffer.
#include "halv80/engine/cmd_pseudo.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "halv80/engine/brk_table.h"
#include "halv80/engine/cmd_core.h"
#include "halv80/engine/cmd_watch.h"
#include "halv80/engine/co_coroutine.h"
#include "halv80/engine/con_log.h"
#include "halv80/engine/con_scanner.h"
#include "halv80/engine/con_screen.h"
#include "halv80/engine/key_input.h"
#include "halv80/engine/key_journal.h"
#include "halv80/engine/lst_actions.h"
#include "halv80/engine/lst_listing.h"
#include "halv80/engine/run_state.h"
#include "halv80/engine/sup_messages.h"
#include "halv80/engine/sup_panes.h"
#include "halv80/engine/win_codes.h"
#include "halv80/symbols/sym_source.h"

constinit PseudoState Pseudo;

namespace {

constexpr u16 kErrNoWatch = 4;       // error of kind 1: the text could not be watched
constexpr u16 kMarginCells = 5;      // the margin of a source row
constexpr u16 kAsmMarginCells = 4;   // the margin of an assembly row
constexpr u16 kJumpColonAt = 19;     // ":" of an address position text

bool mark_on() { return Lst.CodeCursorMode != 0; }

// The key text the window side left, as a value text of its own.
std::string key_text() { return std::string(Keys.KeyText, strnlen(Keys.KeyText, kKeyTextSize - 1)); }

void page_down() { mark_on() ? lst_view_page_down() : con_view_page_down(); }
void page_up() { mark_on() ? lst_view_page_up() : con_view_page_up(); }
void line_down() { mark_on() ? (void)lst_view_line_down() : con_view_line_down(); }
void line_up() { mark_on() ? (void)lst_view_line_up() : con_view_line_up(); }
void to_start() { mark_on() ? lst_view_to_start() : con_view_to_start(); }
void to_end() { mark_on() ? lst_view_to_end() : con_view_to_end(); }

// PseudoKey::ThumbPosition: the view where the thumb was dropped (P per mille).
void thumb_position(u32 p) {
  p = std::min<u32>(p, 1000);
  if (!mark_on()) {
    const u32 rows = Con.Slots[kSlotCommand].bottom > Con.Slots[kSlotCommand].top
                         ? u32(Con.Slots[kSlotCommand].bottom - Con.Slots[kSlotCommand].top)
                         : 1;
    const u32 line = std::max<u32>(p * Log.TotalLines / 1000, rows - 1);
    con_log_show_line(line);
  } else if (Lst.ListingMode == kListingSource) {
    const u32 rows = u32(lst_pane_bottom() - lst_pane_top());
    const u32 line = std::max<u32>(p * Lst.LineCount / 1000, 1);
    if (line + rows > Lst.LineCount) {
      lst_view_to_end();
    } else {
      char file[sizeof Lst.SourceFile];
      std::memcpy(file, Lst.SourceFile, sizeof file);
      lst_show_source_at(file, u16(line));
    }
  } else {
    Lst.ListingAddress = std::min<u32>(p * 65536 / 1000, 0xFFF0);
    lst_redraw_from(kRowInstruction);
  }
  con_reset_window();
}

bool in_command_pane(u16 row) {
  const WindowContext& w = Con.Window == kSlotCommand ? WindowContext{Con.Column, Con.Row, Con.Top, Con.Bottom}
                                                       : Con.Slots[kSlotCommand];
  return row >= w.top && row < w.bottom;
}

// The margin of a row was clicked: a break point toggles there.
void toggle_break_at_row(u16 row) {
  if (Run.ExecutionState != kExecStopped) return;
  const u16 saved_row = Lst.CursorRow;
  Lst.CursorRow = row;
  co_call_guarded([] { cmd_toggle_break_at_cursor(); });
  if (Con.OverlayDepth != 0) con_window_push(0, 1);
  Lst.CursorRow = saved_row;
  const u16 pending = Co.PendingError;
  if (pending != 0) {
    Co.PendingError = 0;
    sup_raise_error(u16(pending - 1), 0);
  }
}

// The length of source line `line` of the listing's file: from the line
// cache, else read as the listing reads it (the listing does not fill the
// cache, and the file is closed while the debugger waits for a key).
std::size_t source_row_length(u16 line) {
  if (const char* cached = sym_source_cache_line(line)) return std::strlen(cached);
  if (Lst.SourceFile[0] == '\0') return 0;
  const u16 mode = SymSource.OutputMode;
  SymSource.OutputMode = kSourceToText;
  const u16 got = sym_show_source_line(Lst.SourceFile, line);
  SymSource.OutputMode = mode;
  return got ? strnlen(SymSource.Text, sizeof SymSource.Text) : 0;
}

// PseudoKey::Click: a click at (column, row).
void click(u16 column, u16 row) {
  if (in_command_pane(row)) {
    if (mark_on()) {
      lst_cursor_mark_hide();
      Lst.CodeCursorMode = 0;
    }
    return;
  }
  if (row < lst_pane_top() || row >= lst_pane_bottom()) return;
  if (!mark_on()) Lst.CodeCursorMode = 1;
  if (Lst.PaneShows == kListingSource) {
    const std::size_t length = source_row_length(u16(Lst.RowKey[row] & 0xFFFF));
    const long at = long(column) + Lst.HorizontalOffset - kMarginCells;
    if (at >= 0 && std::size_t(at) < length) {
      lst_cursor_mark_hide();
      Lst.CursorRow = row;
      Lst.CursorColumn = column;
      Lst.RequestedColumn = column;
      lst_cursor_mark_show();
    } else if (column <= kMarginCells) {
      toggle_break_at_row(row);
    }
    return;
  }
  if (column < kAsmMarginCells) {
    toggle_break_at_row(row);
    return;
  }
  lst_cursor_mark_hide();
  Lst.CursorRow = row;
  lst_cursor_mark_show();
}

// PseudoKey::BreakWindowAction: kind (high 4 bits) and number (low 8 bits)
// from the break window.
void break_window_action(u16 p1) {
  const u16 kind = p1 & kBreakRowKindMask;
  const u16 number = p1 & kBreakRowNumberMask;
  bool refresh = true;
  if (kind == kBreakRowDeleteAll) {
    for (u16 slot = 0; slot < kBreakSlots; ++slot) brk_delete(slot);
    if (Pseudo.HardwareBreakAction) Pseudo.HardwareBreakAction(kBreakRowDeleteAll, 0);
  } else if (kind != kBreakRowNoChange) {
    // no entry 0: nothing is changed, and no hardware break is meant either
    if (number == 0) return;
    if (number - 1 >= Brk.UsedCount) {
      // a hardware break's row: that is the hardware-break command's
      if (Pseudo.HardwareBreakAction) Pseudo.HardwareBreakAction(kind, u16(number - 1 - Brk.UsedCount));
      refresh = false;
    } else {
      u16 seen = 0;
      for (u16 slot = 0; slot < kBreakSlots; ++slot) {
        BreakEntry& e = Brk.Slots[slot];
        if (e.state == kBreakFree || slot == Brk.TemporarySlot) continue;
        if (++seen != number) continue;
        if (kind == kBreakRowDelete)
          brk_delete(slot);
        else
          e.state = e.state == kBreakEnabled ? kBreakDisabled : kBreakEnabled;
        break;
      }
    }
  }
  Co.Request.p1 = number;
  co_post_request(RequestCode::BreakListChanged);
  if (refresh && Lst.PaneShows != kListingNone) lst_refresh();
}

// PseudoKey::JumpToPosition: a flag character, then "file:line", or a blank and a text with
// ":" and an address at its 20th character.
void jump_to_position(std::string text) {
  if (text.size() >= 2 && text[1] != ' ' && Lst.ListingMode == kListingSource) {
    const std::size_t name_end = text.find_first_of(" :", 1);
    const std::string file = text.substr(1, name_end == std::string::npos ? std::string::npos : name_end - 1);
    std::size_t p = name_end == std::string::npos ? text.size() : name_end;
    while (p < text.size() && !(text[p] >= '0' && text[p] <= '9')) ++p;
    u32 line = 0;
    while (p < text.size() && text[p] >= '0' && text[p] <= '9' && line <= 0xFFFF) line = line * 10 + u32(text[p++] - '0');
    if (file.empty() || line == 0 || line > 0xFFFF || file.size() >= kModuleNameSize) return;
    const u16 rows = u16(lst_pane_bottom() - lst_pane_top());
    const u16 third = u16(rows / 3);
    const u16 first = line > third ? u16(line - third) : 1;
    lst_show_source_at(file.c_str(), first);
    lst_cursor_mark_hide();
    Lst.CursorRow = u16(lst_pane_top() + (line - first));
    Lst.CodeCursorMode = 1;
    lst_cursor_mark_set(1);
    return;
  }
  if (text.size() > kJumpColonAt + 1 && text[kJumpColonAt] == ':') {
    text[kJumpColonAt] = '0';
    text[kJumpColonAt + 1] = 'x';
    const u32 address = std::strtoul(text.c_str() + kJumpColonAt, nullptr, 16);
    Lst.ListingAddress = address & 0xFFFF;
    Lst.CursorRow = lst_pane_top();
    lst_redraw_from(kRowInstruction);
  }
}

// PseudoKey::PageDown..ThumbTrack: a listing move with the cursor-mark state the pane wants.
void listing_move(PseudoKey key) {
  lst_cursor_mark_hide();
  Pseudo.SavedCursorMode = u16(Lst.CodeCursorMode);
  Pseudo.SavedCursorRow = Lst.CursorRow;
  Lst.CodeCursorMode = Co.Key.source_window >= 11 ? 1 : 0;
  const u16 thumb = Co.Key.thumb;
  co_yield_to_gui();
  switch (key) {
    case PseudoKey::PageDown: page_down(); break;
    case PseudoKey::LineDown:
      Lst.CursorRow = u16(lst_pane_bottom() - 1);
      line_down();
      break;
    case PseudoKey::PageUp: page_up(); break;
    case PseudoKey::LineUp:
      Lst.CursorRow = lst_pane_top();
      line_up();
      break;
    case PseudoKey::Top: to_start(); break;
    case PseudoKey::Bottom: to_end(); break;
    case PseudoKey::ThumbPosition: thumb_position(thumb); break;
    default: break;  // ThumbTrack: only the cursor mark
  }
  Co.Key.key_code = 0;
  co_yield_to_gui();
  Lst.CursorRow = Pseudo.SavedCursorRow;
  lst_cursor_mark_show();
  Lst.CodeCursorMode = Pseudo.SavedCursorMode;
}

}  // namespace

void cmd_pseudo_reset() {
  const auto hardware = Pseudo.HardwareBreakAction;  // set once by its area, kept
  Pseudo = PseudoState{};
  Pseudo.HardwareBreakAction = hardware;
}

void con_post_cursor_hint(u16 hint) {
  if (hint >= 21) return;
  Co.Request.p1 = hint / 10u;
  co_post_request(RequestCode::CaretHint);
}

void cmd_pseudo_key() {
  const PseudoKey key = PseudoKey(Co.Key.key_code);
  if (key >= PseudoKey::PageDown && key <= PseudoKey::ThumbTrack) {
    listing_move(key);
    Co.Key.key_code = 0;
    return;
  }
  // the word is taken first: an action that fails is not repeated
  Co.Key.key_code = 0;
  switch (key) {
    case PseudoKey::ListingUpdate: lst_thumb_position(); break;
    case PseudoKey::Click: click(Co.Request.view.click_column, Co.Request.view.click_row); break;
    case PseudoKey::DoubleClick:
      if (Lst.ListingMode == kListingSource && Co.Request.view.click_row == Lst.CursorRow &&
          Co.Request.view.click_column == Lst.CursorColumn && sup_check_not_running())
        exp_inspect_at_cursor(0);
      break;
    case PseudoKey::ShowValue: cmd_show_value(key_text(), Run.Regs.pc); break;
    case PseudoKey::AddWatch:
      if (watch_add(2, key_text()) != 0) sup_raise_error(kErrNoWatch, 1);
      break;
    case PseudoKey::PrintText: {
      // the key text stands on the prompt's row, as if it had been typed there
      const std::string text = key_text();
      const u16 row = Con.Row;
      con_set_cursor(0, row);
      for (u16 c = 1; c < Con.Width; ++c) con_window_putc(' ');
      con_set_cursor(0, row);
      if (Log.Bytes) Log.WriteEnd = Log.Newest;  // the row's old text leaves the log too
      con_puts(text);
      con_putc('\n');
      con_putc(u8(Cmd.PromptChar));
      break;
    }
    case PseudoKey::SourceView:
      if (Lst.ListingMode != kListingSource) lst_toggle_mode(kListingSource, false);
      break;
    case PseudoKey::AssemblerView:
      if (Lst.ListingMode == kListingSource) lst_toggle_mode(kListingAssembly, false);
      break;
    case PseudoKey::ChooseModule: cmd_choose_source_file(); break;
    case PseudoKey::SelectionEnded:
    case PseudoKey::SelectionStarted:
      if (mark_on()) lst_cursor_mark_set(key == PseudoKey::SelectionEnded ? 1 : 0);
      break;
    case PseudoKey::BreakWindowAction: break_window_action(u16(Co.Request.p1)); break;
    case PseudoKey::JumpToPosition: jump_to_position(key_text()); break;
    case PseudoKey::Exit:
      if (Links.state_file_save) Links.state_file_save();
      key_journal_close_record();
      cmd_exit_forever();
    default: break;  // any other word: nothing
  }
}
