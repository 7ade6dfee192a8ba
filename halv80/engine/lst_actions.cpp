#include "halv80/engine/lst_actions.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <numeric>
#include <string_view>
#include <vector>

#include "halv80/engine/brk_table.h"
#include "halv80/engine/cmd_core.h"
#include "halv80/engine/cmd_switches.h"
#include "halv80/engine/cmd_watch.h"
#include "halv80/engine/co_coroutine.h"
#include "halv80/engine/con_log.h"
#include "halv80/engine/con_screen.h"
#include "halv80/engine/key_input.h"
#include "halv80/engine/lst_commands.h"
#include "halv80/engine/lst_listing.h"
#include "halv80/engine/lst_words.h"
#include "halv80/engine/run_exec.h"
#include "halv80/engine/run_state.h"
#include "halv80/engine/sup_messages.h"
#include "halv80/engine/tgt_mmu.h"
#include "halv80/symbols/exp_show.h"
#include "halv80/symbols/sym_modules.h"
#include "halv80/symbols/sym_scopes.h"
#include "halv80/symbols/sym_source.h"
#include "halv80/symbols/sym_store.h"
#include "halv80/symbols/sym_symbols.h"
#include "halv80/engine/win_codes.h"
#include "platform/host/host_text.h"
#include "platform/host/host_ui.h"

constinit LstActionState LstAct;

namespace {

constexpr u16 kErrNoWordAtCursor = 2;  // error 2 of kind 1: no word to show
constexpr u16 kErrWatchFailed = 4;     // error 4 of kind 1: the watch list took nothing

constexpr u16 kErrNoCursorAddress = 3;  // error code of kind 1: nothing to run to
constexpr u16 kAsmMnemonicColumn = 20;

bool cursor_row_valid() {
  return Lst.CodeCursorMode != 0 && Lst.CursorRow >= lst_pane_top() && Lst.CursorRow < lst_pane_bottom();
}

u16 cursor_line() { return u16(Lst.RowKey[Lst.CursorRow] & 0xFFFF); }

// The file name of module m, upper-cased as the store keeps it; empty when
// there is no such module.
std::string module_file(u16 m) {
  const ModuleRecord* r = sym_module_record(m);
  if (r == nullptr) return {};
  char name[kModuleNameSize];
  const std::size_t n = sym_name_text(r->file_name.get(), name, sizeof name);
  return n == 0 ? std::string() : std::string(name);
}

// The line to show a module's file from: its saved view's line.
u16 module_view_line(u16 m) {
  const ModuleRecord* r = sym_module_record(m);
  const u32 line = r != nullptr ? r->view_top_line.get() : 0;
  return line >= 1 && line <= kLineNumberMax ? u16(line) : 1;
}

// The line text of the cursor row, as the source-text service delivers it.
bool cursor_source_text(std::string& out) {
  if (!cursor_row_valid() || Lst.PaneShows != kListingSource || Lst.SourceFile[0] == '\0') return false;
  const u16 saved = SymSource.OutputMode;
  SymSource.OutputMode = kSourceToText;
  const u16 got = sym_show_source_line(Lst.SourceFile, cursor_line());
  SymSource.OutputMode = saved;
  if (got == 0) return false;
  out.assign(SymSource.Text, strnlen(SymSource.Text, sizeof SymSource.Text));
  return true;
}

// The attributes of one row painted again after a breakpoint changed there.
void repaint_break_row(u16 row, bool set, u32 address) {
  LstPaneScope pane;
  lst_paint_row(row, set ? kAttrBreakRow : kAttrNormal);
  if (Lst.PaneShows == kListingSource) {
    lst_paint_margin(row);
    lst_cursor_mark_show();
  }
  if (tgt_to_physical(u16(address)) == tgt_to_physical(Run.Regs.pc)) lst_paint_row(row, kAttrPcRow);
}

// The found text of `row` in attribute 32 from `first` to `end` (columns of
// the line as the window side counts them: tabs to multiples of 8, the colour
// markers left out), in the pane that is current. A hit past the pane's width
// shows ">>>" at its right edge instead, except in source text, which scrolls
// sideways rather.
void paint_hit(u16 row, u16 first, u16 end, bool source) {
  const u16 width = std::min<u16>(Con.Width, kScreenColumns);
  if (width < 3) return;
  u16 start = first, stop = end;
  if (source) {
    // text starts after the margin, from the horizontal offset
    start = u16(first + kSourceMarginCells - std::min<u16>(first, Lst.HorizontalOffset));
    stop = u16(end + kSourceMarginCells - std::min<u16>(end, Lst.HorizontalOffset));
  }
  if (!source && start >= width - 1) {
    con_set_cursor(u16(width - 3), row);
    for (const char c : std::string_view(">>>")) {
      const u16 column = Con.Column;
      con_window_putc(u8(c));
      con_set_cell_attribute(column, row, kAttrSearchHit);
    }
    return;
  }
  for (u16 c = start; c < stop && c < width; ++c) con_set_cell_attribute(c, row, kAttrSearchHit);
  lst_mark_dirty(start, row, u16(std::min<u16>(stop, width) - 1), row);
}

void show_hit(u16 row, u16 first, u16 end) {
  LstPaneScope pane;
  paint_hit(row, first, end, Lst.PaneShows == kListingSource);
}

// The command pane's view, as far as a search cares whether it moved.
u32 log_view_key() { return Log.ViewFollowsEnd ? 0x80000000u | Log.TotalLines : Log.View; }

// A hit in the log: the view brings the line to about mid-pane and the found
// text is painted there; the cursor stays where the input goes.
void show_log_hit(u32 line, u16 first, u16 end) {
  const u16 row = con_log_show_line(line);
  if (row == 0xFFFF) return;
  const u16 previous = Con.Window;
  if (previous != kSlotCommand) con_switch_window(previous, kSlotCommand);
  const u16 column = Con.Column, cursor_row = Con.Row;
  paint_hit(row, first, end, false);
  con_set_cursor(column, cursor_row);
  Con.Attribute = kAttrNormal;
  if (previous != kSlotCommand) con_switch_window(kSlotCommand, previous);
}

// The picker's selection on the cursor row: line indexes [first, end).
struct Selection {
  std::string line;
  std::size_t first = 0, end = 0;
  u16 row = kNoRow;
  std::vector<u8> attributes;  // the row's cells as they were

  u16 screen_column(std::size_t index) const {
    return u16(index + kSourceMarginCells - std::min<std::size_t>(index, Lst.HorizontalOffset));
  }
  std::string text() const { return line.substr(first, end - first); }
  // The selected cells in attribute 96 (7 where a cell carries 96 already),
  // the others as they were.
  void paint() const {
    LstPaneScope pane;
    const u16 width = std::min<u16>(Con.Width, kScreenColumns);
    for (u16 c = 0; c < width && c < attributes.size(); ++c) con_set_cell_attribute(c, row, attributes[c]);
    for (std::size_t i = first; i < end; ++i) {
      const u16 c = screen_column(i);
      if (c >= width) break;
      con_set_cell_attribute(c, row, attributes[c] == kAttrPcRow ? kAttrNormal : kAttrPcRow);
    }
    lst_mark_dirty(0, row, u16(width - 1), row);
  }
  void restore() const {
    LstPaneScope pane;
    const u16 width = std::min<u16>(Con.Width, kScreenColumns);
    for (u16 c = 0; c < width && c < attributes.size(); ++c) con_set_cell_attribute(c, row, attributes[c]);
    lst_mark_dirty(0, row, u16(width - 1), row);
  }
};

u32 store_name(std::string_view text) {
  const std::string z = std::string(text) + '\0';
  return sym_store_bytes(z.size(), z.data());
}

// The interactive selection: keys as the menu reader gives them.
bool select_word(std::string& out) {
  constexpr u16 kIndexLeft = 6, kIndexRight = 7;
  Selection sel;
  if (!cursor_row_valid() || !cursor_source_text(sel.line)) return false;
  sel.row = Lst.CursorRow;
  {
    LstPaneScope pane;
    for (u16 c = 0; c < std::min<u16>(Con.Width, kScreenColumns); ++c) sel.attributes.push_back(con_cell_attribute(c, sel.row));
  }
  const u32 column = u32(Lst.CursorColumn) + Lst.HorizontalOffset;
  sel.first = column >= kSourceMarginCells ? column - kSourceMarginCells : sel.line.size();
  if (sel.first > sel.line.size()) sel.first = sel.line.size();
  sel.end = sel.first < sel.line.size() ? sel.first + 1 : sel.first;

  Keys.ForcedHint = 40;
  key_post_cursor_hint();
  sel.paint();
  bool result = false, remember = true;
  for (bool done = false; !done;) {
    u8 c = 0;
    const u16 index = key_read_menu_key(c);
    if (index == kIndexLeft || index == kIndexRight) {
      if (index == kIndexLeft && sel.end > sel.first + 1) --sel.end;
      if (index == kIndexRight && sel.end < sel.line.size() && sel.end > sel.first &&
          sel.screen_column(sel.end) < std::min<u16>(Con.Width, kScreenColumns))
        ++sel.end;
      sel.paint();
      continue;
    }
    if (index >= 11 && index <= 20) {  // F1..F10 keep the selection
      LstAct.PickedNames[index - 11] = store_name(sel.text());
      remember = false;
      break;
    }
    if (index != 0) continue;
    const std::string text = sel.text();
    const std::size_t n = std::min(text.size(), sizeof ExpShow.ExpressionBuffer - 1);
    std::memcpy(ExpShow.ExpressionBuffer, text.data(), n);
    ExpShow.ExpressionBuffer[n] = '\0';
    const u8 key = u8(std::toupper(c));
    switch (key) {
      case 'I': case 0x09:
      case 'V': case 0x16:
        Cmd.AbortFlag = 0;
        exp_inspect_at_cursor(u16(kInspectBufferFilled | (key == 'V' || key == 0x16 ? 1 : 0)));
        done = Cmd.AbortFlag == 0;
        if (!done) sel.paint();
        break;
      case 'W': case 0x17:
        if (watch_add(2, text) == 0) done = true;
        else sup_raise_error(kErrWatchFailed, 1);
        break;
      case 'G': case 0x07: case 0x0D:
        out = text;
        result = true;
        done = true;
        break;
      case 0x1B:
        remember = false;
        done = true;
        break;
      default:
        break;
    }
  }
  if (remember) LstAct.LastPickedName = store_name(ExpShow.ExpressionBuffer);
  sel.restore();
  if (Lst.SideColumn != 0) lst_side_headers();
  Keys.ForcedHint = 0;
  key_post_cursor_hint();
  return result;
}

}  // namespace

void lst_actions_reset() { LstAct = LstActionState{}; }

bool cmd_cursor_address(u32& address, bool exact, bool complain) {
  bool found = false;
  if (cursor_row_valid()) {
    if (Lst.PaneShows == kListingAssembly) {
      found = Lst.RowKind[Lst.CursorRow] == kRowInstruction;
      address = u16(Lst.RowKey[Lst.CursorRow]);
    } else if (Lst.PaneShows == kListingSource && Lst.SourceFile[0] != '\0') {
      u16 at = 0;
      const i32 line = sym_address_from_line(Lst.SourceFile, cursor_line(), at);
      found = line > 0 && line != kNoLine && (!exact || line == cursor_line());
      address = at;
    }
  }
  if (!found && complain) host_beep();
  return found;
}

void lst_toggle_mode(u16 mode, bool at_cursor) {
  if (Lst.ListingMode == mode) return;
  u32 address = Run.Regs.pc;
  const bool from_cursor = at_cursor && cmd_cursor_address(address, false, false);
  if (mode == kListingSource) {
    if (!from_cursor) {
      tgt_restore_bank_map();
      lst_set_mode(kListingSource);
      lst_show_pc();
      return;
    }
    u16 line = 0;
    char file[kModuleNameSize]{};
    if (const char* at = sym_line_from_address(tgt_to_physical(u16(address)), line)) {
      std::snprintf(file, sizeof file, "%s", at);
      lst_show_source_line(file, line);
    } else if (Lst.SourceFile[0] != '\0') {
      std::snprintf(file, sizeof file, "%s", Lst.SourceFile);
      lst_show_source_line(file, Lst.LastSourceLine);
    }
    Lst.CursorRow = lst_pane_top();
    return;
  }
  Lst.ListingAddress = u16(address);
  if (from_cursor) Lst.CursorRow = lst_pane_top();
  lst_redraw_from(kRowInstruction);
}

void cmd_run_to_cursor() {
  u32 address = 0;
  if (!cmd_cursor_address(address, true, true)) {
    sup_raise_error(kErrNoCursorAddress, 1);
    return;
  }
  sym_close_source_files();
  run_go_to(tgt_to_physical(u16(address)));
  tgt_restore_bank_map();
  Lst.ListingAddress = Run.Regs.pc;
  Lst.AssembleAddress = Run.Regs.pc;
  lst_show_pc();
  run_show_stop_reason(true);
}

void cmd_toggle_break_at_cursor() {
  u32 address = 0;
  if (!cmd_cursor_address(address, false, true)) return;
  const u32 physical = tgt_to_physical(u16(address));
  bool set = false;
  if (brk_find(physical) == 0) {
    set = false;  // the entry that was there is gone
  } else if (Brk.SelectedSlot == kNoSlot) {
    host_beep();
    return;
  } else {
    brk_set(physical, 1, false);
    if (Cmd.AbortFlag) return;
    set = true;
  }
  repaint_break_row(Lst.CursorRow, set, address);
  Co.Request.p1 = set ? kBreakListSet : kBreakListChanged;
  co_post_request(RequestCode::BreakListChanged);
}

void cmd_next_source_file() {
  if (Lst.ListingMode != kListingSource || SymModules.ModuleCount == 0) return;
  const u16 next = Lst.SourceModule == kNoModule ? 0 : u16((Lst.SourceModule + 1) % SymModules.ModuleCount);
  cmd_show_module(next);
}

void cmd_show_module(u16 m) {
  const std::string file = module_file(m);
  if (file.empty()) return;
  if (Lst.ListingMode == kListingSource && Lst.PaneShows == kListingSource && m == Lst.SourceModule) return;
  lst_show_source_line(file.c_str(), module_view_line(m));
}

void cmd_choose_source_file() {
  if (sym_is_empty() && SymModules.ModuleCount == 0) return;
  std::vector<u16> modules(std::min<std::size_t>(SymModules.ModuleCount, kChooserModulesMax));
  modules.resize(lst_module_indices(modules));
  if (modules.empty()) return;
  std::vector<std::string> names(SymModules.ModuleCount);
  for (u16 m : modules) names[m] = module_file(m);
  std::vector<u16> order(modules);
  lst_sort_by_name(order, names);
  const auto at = std::find(order.begin(), order.end(), Lst.SourceModule);
  const u16 current = at == order.end() ? 0 : u16(at - order.begin());

  Co.Request.p1 = u32(order.size()) | u32(current) << 16;
  Co.Request.p2_ptr = order.data();
  Co.Request.p3_ptr = modules.data();
  co_post_request(RequestCode::ChooseSourceFile);
  Co.Request.p2_ptr = nullptr;
  Co.Request.p3_ptr = nullptr;
  const u16 chosen = u16(Co.Request.p1 >> 16);
  if (chosen == 0xFFFF || chosen >= order.size()) return;
  if (chosen == current && Lst.ListingMode == kListingSource) return;
  Lst.ViewFlag = 2;
  lst_set_mode(kListingSource);
  const std::string file = module_file(order[chosen]);
  if (!file.empty()) lst_show_source_line(file.c_str(), module_view_line(order[chosen]));
}

bool lst_word_at_cursor(std::string& out, u16 how) {
  out.clear();
  if (how == kWordSelect) return select_word(out);
  std::string line;
  if (!cursor_source_text(line)) return false;
  const u32 column = u32(Lst.CursorColumn) + Lst.HorizontalOffset;
  if (column < kSourceMarginCells) return false;
  return lst_word_in_line(line, column - kSourceMarginCells, how, out);
}

bool lst_asm_text_at_cursor(std::string& out) {
  out.clear();
  if (!cursor_row_valid() || Lst.PaneShows != kListingAssembly || Lst.RowKind[Lst.CursorRow] != kRowInstruction) {
    host_beep();
    return false;
  }
  const u32 saved = Lst.ListingAddress;
  Lst.ListingAddress = Lst.RowKey[Lst.CursorRow];
  std::string row;
  lst_format_code_row(true, row);
  Lst.ListingAddress = saved;
  const std::size_t column = std::min<std::size_t>(LstAct.AsmColumn, row.size());
  const std::size_t end = row.find_first_of(" \t", column);
  std::string word = row.substr(column, end == std::string::npos ? std::string::npos : end - column);
  if (word.empty() || word[0] == '?') return false;
  if (LstAct.AsmColumn < kAsmMnemonicColumn) {
    out = word;
    return true;
  }
  // the mnemonic and its operands up to a comment, blanks and labels left out
  out = word + ' ';
  bool in_label = false;
  for (std::size_t i = end == std::string::npos ? row.size() : end; i < row.size() && row[i] != ';'; ++i) {
    const u8 c = u8(row[i]);
    if (c == kEscapeByte) in_label = true;
    if (c == kAttrResetByte) {
      in_label = false;
      continue;
    }
    if (!in_label && c > 0x20) out += char(c);
  }
  while (!out.empty() && out.back() == ' ') out.pop_back();
  return true;
}

void cmd_find_text(u16 again) {
  const bool command_window = Lst.CodeCursorMode == 0;
  const bool source = !command_window && Lst.PaneShows == kListingSource;
  const bool assembly = !command_window && !source;
  const u32 view_key = command_window ? log_view_key() : Lst.RowKey[lst_pane_top()];
  const bool view_moved = view_key != LstAct.LastViewKey;

  u32 flags = (again == 3 ? kSearchAgainThree : 0) | (command_window ? kSearchCommandWindow : 0) |
              (source ? kSearchSource : 0) | (assembly ? kSearchAssembly : 0);
  u32 options = again;
  if (command_window && (again & 1) == 0) options |= 2;
  if (assembly) options |= kSearchAssemblyFlag;
  if (again & 1) options |= LstAct.SearchOptions;
  u32 start = 0;
  u16 column = again != 0 ? LstAct.LastFoundColumn : 0;
  if (command_window) {
    start = view_moved ? u32(std::max<int>(0, int(Log.TotalLines) - 1)) : LstAct.LastFoundLine;
  } else if (source) {
    start = cursor_row_valid() ? cursor_line() : Lst.RowKey[lst_pane_top()];
    if (again == 0) column = u16(std::max<int>(0, int(Lst.CursorColumn) + Lst.HorizontalOffset - kSourceMarginCells));
  } else {
    start = cursor_row_valid() ? Lst.CursorRow : lst_pane_top();
    ViewFields& v = Co.Request.view;
    v.provider_rows = u16(std::min<std::size_t>(lst_pane_bottom(), kProviderRows));
    v.provider_end = 0;
    v.provider_row = u16(start);
    std::copy_n(Lst.RowKey, kProviderRows, v.provider_address);
    std::copy_n(Lst.RowKind, kProviderRows, v.provider_kind);
  }
  Co.Request.p1 = flags;
  Co.Request.p2 = options;
  Co.Request.p3 = start;
  Co.Request.p4 = column;
  Co.Request.p5 = view_moved ? 0 : start + 1;
  Co.Request.view.found = 0;
  co_post_request(RequestCode::SearchText);

  const ViewFields& v = Co.Request.view;
  if (v.found == 0) return;
  LstAct.SearchOptions = options & ~u32(kSearchAssemblyFlag);
  LstAct.LastFoundLine = v.found_row;
  LstAct.LastFoundColumn = v.found_column;
  if (command_window) {
    show_log_hit(v.found_row, v.found_column, v.found_end_column);
    LstAct.LastViewKey = log_view_key();
    return;
  }

  LstPaneScope pane;
  const u16 top = lst_pane_top();
  const u16 bottom = lst_pane_bottom();
  const u16 rows = u16(bottom - top);
  u16 hit_row = kNoRow;
  if (source) {
    const u16 line = u16(v.found_row);
    const u16 first = line > rows / 2 ? u16(line - rows / 2) : 1;
    char file[kModuleNameSize];
    std::snprintf(file, sizeof file, "%s", Lst.SourceFile);
    Lst.RequestedColumn = u16(v.found_column + kSourceMarginCells);
    if (lst_source_page(file, first, false) != 0) return;
    hit_row = u16(top + (line - first));
  } else {
    // the provider stands one past the row it found
    const u16 found = v.provider_row > 0 ? u16(v.provider_row - 1) : 0;
    const bool arrays_match = std::equal(v.provider_address + top, v.provider_address + bottom, Lst.RowKey + top);
    if (arrays_match && found >= top && found < bottom) {
      hit_row = found;
      Lst.ListingAddress = Lst.RowKey[top];
      lst_redraw_from(lst_seed());
    } else {
      // the hit scrolled out: the page is drawn around it
      const u16 centre = u16(std::min<u16>(found, kProviderRows - 1));
      const u16 back = std::min<u16>(centre, u16(rows / 2));
      Lst.ListingAddress = v.provider_address[centre - back];
      lst_redraw_from(centre - back > 0 ? v.provider_kind[centre - back - 1] : kRowInstruction);
      hit_row = u16(top + back);
    }
    Lst.CursorRow = hit_row;
  }
  if (hit_row < top || hit_row >= bottom) return;
  if (source) Lst.CursorRow = hit_row;
  show_hit(hit_row, v.found_column, v.found_end_column);
  LstAct.LastViewKey = Lst.RowKey[top];
}

void cmd_report_text(std::string_view text) {
  sup_set_message_buffer(text);
  sup_raise_error(0, 2);
}

u16 exp_inspect_at_cursor(u16 flags) {
  // the scope: line 1 of the file without debug scopes; else the cursor's
  // function, or the PC without a cursor address
  u32 scope = 0;
  bool have_scope = false;
  if (Sw.ToolchainKind == 16 && Lst.SourceFile[0] != '\0') {
    u16 address = 0;
    if (sym_address_from_line(Lst.SourceFile, 1, address) == 1) {
      scope = address;
      have_scope = true;
    }
  }
  if (!have_scope) {
    u32 address = 0;
    if (cmd_cursor_address(address, false, false)) {
      scope = address;
      if (sym_innermost_scope(address) != 0 && SymScopes.FirstBlock != 0)
        if (const ScopeRecord* f = sym_scope_record(u16(SymScopes.FirstBlock - 1)))
          scope = tgt_to_logical(f->location.get());
    } else {
      scope = Run.Regs.pc;
    }
  }
  if ((flags & kInspectBufferFilled) == 0) {
    std::string word;
    if (!lst_word_at_cursor(word, kWordWithBrackets)) {
      sup_raise_error(kErrNoWordAtCursor, 1);
      return 0;
    }
    const std::size_t n = std::min(word.size(), sizeof ExpShow.ExpressionBuffer - 1);
    std::memcpy(ExpShow.ExpressionBuffer, word.data(), n);
    ExpShow.ExpressionBuffer[n] = '\0';
  }
  const u16 radix = Cmd.Radix;
  const u16 result = exp_show_value(u16(flags & 0xFF), scope);
  if (Cmd.Radix != radix) {
    Cmd.Radix = radix;
    lst_refresh(true);
    key_post_cursor_hint();
  }
  return result;
}
