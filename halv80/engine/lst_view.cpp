// Painting the code pane from the listing model: assembly and source pages,
// the display of a position, the highlights, the cursor mark, the title and
// the side headers. Everything is drawn into the text screen, and every cell
// drawn is marked dirty for the window side. Rows and columns are checked
// against the screen before a cell is touched.
#include <algorithm>
#include <cstring>
#include <string>
#include <string_view>

#include "halv80/engine/brk_table.h"
#include "halv80/engine/cfg_config.h"
#include "halv80/engine/cmd_core.h"
#include "halv80/engine/cmd_switches.h"
#include "halv80/engine/co_coroutine.h"
#include "halv80/engine/con_log.h"
#include "halv80/engine/con_scanner.h"
#include "halv80/engine/lst_listing.h"
#include "halv80/engine/run_state.h"
#include "halv80/engine/sup_messages.h"
#include "halv80/engine/tgt_mmu.h"
#include "halv80/symbols/sym_source.h"
#include "halv80/symbols/sym_symbols.h"
#include "platform/host/host_text.h"

namespace {

constexpr u16 kSourceProbe = 3;         // a source output mode that reads the line and delivers it nowhere
constexpr u16 kMsgRegisterHeader = 79;  // "レジスタ"
constexpr u16 kMsgSideHeaders = 83;     // + the side window: its header
constexpr u16 kSideHeaderRow = 9;       // the second side window's header under the register window
constexpr u8 kAttrHeader = 48;

u16 pane_width() { return std::min(Con.Width, kScreenColumns); }

u8* screen_cell(u16 column, u16 row) {
  if (!Con.Screen || row >= kScreenRows || column >= kScreenColumns) return nullptr;
  return &Con.Screen[std::size_t(row) * kScreenRowBytes + std::size_t(column) * 2];
}

void set_attribute(u16 column, u16 row, u8 attribute) {
  if (u8* cell = screen_cell(column, row)) cell[1] = attribute;
}

bool in_pane(u16 row) { return row >= lst_pane_top() && row < lst_pane_bottom(); }

void copy_name(char (&out)[kModuleNameSize], const char* name) {
  const std::size_t n = name ? strnlen(name, sizeof out - 1) : 0;
  if (n != 0) std::memmove(out, name, n);
  out[n] = '\0';
}

// Equal without regard to case.
bool same_name(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (host_ascii_upper(a[i]) != host_ascii_upper(b[i])) return false;
  return true;
}

// Equal without regard to case, or one of them goes on with "." where the
// other ends ("MAIN" and "main.c").
bool same_file(std::string_view a, std::string_view b) {
  const std::size_t common = std::min(a.size(), b.size());
  if (!same_name(a.substr(0, common), b.substr(0, common))) return false;
  if (a.size() == b.size()) return true;
  return (a.size() > b.size() ? a : b)[common] == '.';
}

std::string_view name_of(const char* text) { return {text, strnlen(text, kModuleNameSize)}; }

bool target_stopped() { return (Run.ExecutionState & kExecRunning) == 0; }

// The assembly page: ListingAddress in the top row with `seed` above it.
void fill_assembly(u8 seed) {
  LstPaneScope pane;
  if (target_stopped()) tgt_sync_map_snapshot();
  if (Lst.ListingMode != kListingAssembly) lst_set_mode(kListingAssembly);
  const u16 top = lst_pane_top();
  const u16 bottom = lst_pane_bottom();
  Lst.FoundRow = kNoRow;  // the page replaces the found row's cells
  Lst.ListingAddress = u16(Lst.ListingAddress);
  lst_cache_load(u16(Lst.ListingAddress));
  lst_set_seed(seed);
  for (u16 row = top; row < bottom; ++row) {
    Lst.RowKey[row] = Lst.ListingAddress;
    lst_generate_row(row);
  }
  lst_cache_drop();
  Lst.PaneShows = kListingAssembly;
  lst_title(nullptr);
  lst_thumb_position();
}

// Command code under a pushed restart point on the command side, unless one
// is pushed already.
template <class Fn>
void repaint_guarded(Fn&& fn) {
  if (Co.OnCommandSide == 1 && !co_has_saved_restart()) {
    co_call_guarded(fn);
    return;
  }
  fn();
}

bool source_breakpoint(u16 module, u16 line) {
  u16 seen = 0;
  for (std::size_t i = 0; i < kBreakSlots && seen < Brk.UsedCount; ++i) {
    const BreakEntry& e = Brk.Slots[i];
    if (e.state == kBreakFree) continue;
    ++seen;
    if ((e.state & kBreakEnabled) != 0 && e.module == module && e.line == line) return true;
  }
  return false;
}

// The pane's instruction row of the program counter; kNoRow when none.
u16 program_counter_row() {
  const u32 pc = tgt_to_physical(Run.Regs.pc);
  for (u16 row = lst_pane_top(); row < lst_pane_bottom(); ++row) {
    if (Lst.RowKind[row] != kRowInstruction) continue;
    if (tgt_to_physical(u16(Lst.RowKey[row])) == pc && tgt_to_physical(u16(Lst.RowNext[row])) != pc) return row;
  }
  return kNoRow;
}

u16 row_showing_line(u16 line) {
  for (u16 row = lst_pane_top(); row < lst_pane_bottom(); ++row)
    if ((Lst.RowKey[row] & 0xFFFF) == line) return row;
  return kNoRow;
}

// Request 9: may a code window show the position? On yes, request 8 brings it
// up, outside the code pane's context. Only on the command side, while the
// window side runs code windows.
bool code_window_agrees(u32 other_file) {
  if (Lst.CodeWindowsShown == 0 || Co.OnCommandSide != 1) return false;
  Co.Request.p1 = other_file;
  Co.Request.p2 = Co.Request.view.code_window;
  Co.Request.p3 = Run.Regs.pc;
  Co.Request.p4 = 0;
  co_post_request(RequestCode::MayShowPosition);
  if (Co.Request.p4 == 0) return false;
  const u32 address = Lst.ListingAddress;
  con_switch_window(kSlotCode, kSlotCommand);
  co_post_request(RequestCode::BringCodeWindow);
  con_switch_window(kSlotCommand, kSlotCode);
  Lst.ListingAddress = address;
  return true;
}

// `text` in attribute 48 from a cell on, cut at the screen's edge.
void put_header_text(u16 column, u16 row, std::string_view text) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    u8* cell = screen_cell(u16(column + i), row);
    if (cell == nullptr) break;
    cell[0] = u8(text[i]);
    cell[1] = kAttrHeader;
  }
  if (!text.empty()) lst_mark_dirty(column, row, u16(column + text.size() - 1), row);
}

void header_bar(u16 from, u16 row) {
  for (u16 c = from; c < kScreenColumns; ++c) {
    if (u8* cell = screen_cell(c, row)) {
      cell[0] = 0;
      cell[1] = kAttrHeader;
    }
  }
  lst_mark_dirty(from, row, kScreenColumns - 1, row);
}

}  // namespace

void lst_fill_page() { fill_assembly(kRowInstruction); }

void lst_redraw_from(u8 seed) {
  repaint_guarded([seed] { fill_assembly(seed); });
}

u16 lst_source_page(const char* file, u16 line, bool reset_columns) {
  char name[kModuleNameSize];
  copy_name(name, file);
  if (name[0] == '\0') return 1;
  LstPaneScope pane;
  const u16 top = lst_pane_top();
  const u16 bottom = lst_pane_bottom();
  const u16 first = line != 0 ? line : top < bottom ? u16(std::max<u32>(Lst.RowKey[top] & 0xFFFF, 1)) : 1;

  // the first line must be readable, or nothing changes
  SymSource.OutputMode = kSourceProbe;
  const u16 readable = sym_show_source_line(name, first);
  SymSource.OutputMode = kSourcePrintAndCache;
  if (readable == 0) return 1;

  const bool was_source = Lst.PaneShows == kListingSource;
  if (Lst.ListingMode != kListingSource) lst_set_mode(kListingSource);
  if (!same_name(name_of(name), name_of(Lst.SourceFile))) {
    if (was_source) {
      lst_cursor_mark_hide();
      lst_store_module_view();
    }
    char query[kModuleNameSize];
    copy_name(query, name);
    Lst.SourceModule = sym_find_module(query, sizeof query, 0) != nullptr ? SymModules.Current : kNoModule;
    lst_restore_module_view();
    const ModuleRecord* m = sym_module_record(Lst.SourceModule);
    Lst.LineCount = m ? u16(std::min<u32>(m->highest_line.get(), 0xFFFF)) : 0;
    Co.Request.view.source_line_count = Lst.LineCount;
    copy_name(Lst.SourceFile, name);
    if (Cfg.MmuKind != kMmuNone) {
      u16 address = 0;
      sym_address_from_line(name, first, address);  // the line's bank is mapped
    }
  }
  if (reset_columns) {
    Lst.CursorColumn = kSourceMarginCells;
    Lst.RequestedColumn = kSourceMarginCells;
    Lst.HorizontalOffset = 0;
  }
  lst_title(name);
  if (top >= bottom) return 0;
  if (!in_pane(Lst.CursorRow)) Lst.CursorRow = top;
  Lst.FoundRow = kNoRow;  // the page replaces the found row's cells
  Lst.PaneShows = kListingSource;
  for (u16 row = top; row < bottom; ++row) {
    Lst.RowKey[row] = row == top ? first : Lst.RowNext[row - 1] & 0xFFFF;
    lst_source_row(row);
  }
  lst_cursor_mark_show();
  lst_thumb_position();
  return 0;
}

void lst_source_row(u16 row) {
  if (row >= kScreenRows) return;
  const u16 line = u16(Lst.RowKey[row]);
  Lst.RowKind[row] = kRowSource;
  Lst.RowNext[row] = u32(line) + 1;

  con_set_cursor(0, row);
  Con.Attribute = kAttrNormal;
  Con.LeadPending = 0;
  const u16 mode = SymSource.OutputMode;
  SymSource.OutputMode = kSourceToText;
  const u16 got = line != 0 && Lst.SourceFile[0] != '\0' ? sym_show_source_line(Lst.SourceFile, line) : 0;
  SymSource.OutputMode = mode;
  if (got != 0) {
    con_put_number4(line, kAttrSourceLineNumber);
    con_putc(' ');
    con_puts_from_column(std::string_view(SymSource.Text, strnlen(SymSource.Text, sizeof SymSource.Text)),
                         Lst.HorizontalOffset);
  }
  Con.Attribute = kAttrNormal;
  Con.LeadPending = 0;
  lst_clear_row_rest(Con.Column, row);
  if (got == 0) return;  // past the end: a blank row
  if (source_breakpoint(Lst.SourceModule, line)) lst_paint_row(row, kAttrBreakRow);
  lst_paint_margin(row);
  if (line == Lst.TargetLine) lst_paint_row_saved(row, kAttrPcRow);
}

u16 lst_show_source_at(const char* file, u16 line) {
  LstPaneScope pane;
  return lst_source_page(file, line, false);
}

void lst_show_position(const char* file, u16 line) {
  if (Con.Window == kSlotOverlay) return;
  char name[kModuleNameSize];
  copy_name(name, file);
  const bool has_file = name[0] != '\0';
  const u16 saved_abort = Cmd.AbortFlag;
  Cmd.AbortFlag = 0;
  {
    LstPaneScope pane;
    const u16 rows = u16(lst_pane_bottom() - lst_pane_top());
    const u16 top_line = line > rows / 3 ? u16(line - rows / 3) : 1;
    lst_unmark_row();
    if (has_file) Lst.TargetLine = line;
    const auto source_view = [&] {
      lst_set_mode(kListingSource);
      lst_source_page(name, top_line, true);
    };
    const auto assembly_view = [&] {
      lst_set_mode(kListingAssembly);
      fill_assembly(kRowInstruction);
    };
    switch (Lst.ListingMode) {
      case kListingNone:
        if (Lst.ViewFlag == 2 && has_file)
          source_view();
        else
          assembly_view();
        break;
      case kListingAssembly:
        if (code_window_agrees(0)) {
          lst_set_mode(kListingAssembly);
          Lst.ViewFlag = 0;
        }
        if (Lst.ViewFlag == 2 && has_file) {
          source_view();
        } else if (const u16 row = Lst.PaneShows == kListingAssembly ? program_counter_row() : kNoRow;
                   row != kNoRow) {
          lst_paint_row_saved(row, kAttrPcRow);  // on screen already: only the highlight moves
        } else {
          assembly_view();
        }
        break;
      default: {
        const bool shown = has_file && Lst.PaneShows == kListingSource && same_name(name_of(name), name_of(Lst.SourceFile));
        if (code_window_agrees(has_file && !shown ? 1 : 0)) {
          lst_set_mode(kListingSource);
          Lst.ViewFlag = 2;
        }
        if (!has_file) {
          assembly_view();
        } else if (const u16 row = shown ? row_showing_line(line) : kNoRow; row != kNoRow) {
          lst_paint_row_saved(row, kAttrPcRow);
        } else {
          source_view();
        }
        break;
      }
    }
    lst_history_push();
  }
  con_request_refresh();
  Cmd.AbortFlag = saved_abort;
}

void lst_show_pc() {
  Lst.ListingAddress = Run.Regs.pc;
  u16 line = 0;
  // a copy: the line lookup's name buffer serves the next lookup too
  char file[kModuleNameSize]{};
  if (const char* at_pc = SymModules.ModuleCount != 0 ? sym_line_from_address(Run.Regs.pc, line) : nullptr)
    copy_name(file, at_pc);
  lst_show_position(file[0] != '\0' ? file : nullptr, file[0] != '\0' ? line : 0);
}

u16 lst_show_source_line(const char* file, u16 line) {
  char name[kModuleNameSize];
  copy_name(name, file);
  lst_set_mode(kListingSource);
  u16 pc_line = 0;
  const char* at_pc = sym_line_from_address(Run.Regs.pc, pc_line);
  Lst.TargetLine = at_pc != nullptr && same_file(name_of(at_pc), name_of(name)) ? pc_line : kNoTargetLine;
  return lst_show_source_at(name, line);
}

void lst_refresh(bool with_log) {
  if (Con.Window == kSlotOverlay) return;
  if (with_log) con_log_repaint(true);
  repaint_guarded([] {
    LstPaneScope pane;
    const u16 top = lst_pane_top();
    if (top >= lst_pane_bottom()) return;
    if (top > 0) header_bar(0, u16(top - 1));  // the separator above the pane
    if (Lst.ListingMode == kListingAssembly) {
      if (Lst.PaneShows != kListingAssembly) {
        fill_assembly(kRowInstruction);  // the pane held no assembly rows: from the listing address
        return;
      }
      Lst.ListingAddress = u16(Lst.RowKey[top]);
      fill_assembly(lst_seed());
    } else if (Lst.ListingMode == kListingSource && Lst.PaneShows == kListingSource) {
      char name[kModuleNameSize];
      copy_name(name, Lst.SourceFile);
      lst_source_page(name, u16(std::max<u32>(Lst.RowKey[top] & 0xFFFF, 1)), false);
    }
  });
}

void lst_clear_row_rest(u16 column, u16 row) {
  const u16 width = pane_width();
  if (row >= kScreenRows || column >= width) return;
  for (u16 c = column; c < width; ++c) {
    u8* cell = screen_cell(c, row);
    cell[0] = ' ';
    cell[1] = kAttrNormal;
  }
  lst_mark_dirty(column, row, u16(width - 1), row);
}

void lst_paint_row(u16 row, u8 attribute) {
  const u16 width = pane_width();
  if (row >= kScreenRows || width == 0) return;
  for (u16 c = 0; c < width; ++c) set_attribute(c, row, attribute);
  lst_mark_dirty(0, row, u16(width - 1), row);
}

void lst_paint_margin(u16 row) {
  if (row >= kScreenRows) return;
  for (u16 c = 0; c < kSourceMarginCells; ++c) set_attribute(c, row, kAttrSourceMargin);
  const bool marked = Lst.PaneShows == kListingSource && Lst.CodeCursorMode != 0 && row == Lst.CursorRow;
  if (marked)
    for (u16 c = 0; c < kCursorMarkCells; ++c) set_attribute(c, row, kAttrCursorMark);
  lst_mark_dirty(0, row, kSourceMarginCells - 1, row);
}

void lst_paint_row_saved(u16 row, u8 attribute) {
  if (row >= kScreenRows) return;
  lst_unmark_row();
  for (u16 c = 0; c < kScreenColumns; ++c) Lst.FoundAttributes[c] = screen_cell(c, row) ? screen_cell(c, row)[1] : 0;
  Lst.FoundRow = row;
  lst_paint_row(row, attribute);
}

void lst_unmark_row() {
  const u16 row = Lst.FoundRow;
  if (row == kNoRow) return;
  Lst.FoundRow = kNoRow;
  if (row >= kScreenRows || !Con.Screen) return;
  if (Lst.PaneShows == kListingSource) {
    // the margin as it must look now: the cursor may have moved meanwhile
    const bool marked = Lst.CodeCursorMode != 0 && row == Lst.CursorRow;
    for (u16 c = 0; c < kSourceMarginCells; ++c)
      Lst.FoundAttributes[c] = marked && c < kCursorMarkCells ? kAttrCursorMark : kAttrSourceMargin;
  }
  if (screen_cell(0, row)[1] != kAttrPcRow) return;  // repainted since
  for (u16 c = 0; c < kScreenColumns; ++c) set_attribute(c, row, Lst.FoundAttributes[c]);
  lst_mark_dirty(0, row, kScreenColumns - 1, row);
}

void lst_cursor_mark_set(u16 on) {
  if (Lst.PaneShows != kListingSource || Lst.CodeCursorMode == 0) return;
  const u16 row = Lst.CursorRow;
  if (!in_pane(row)) return;
  const u8 from = on ? kAttrSourceMargin : kAttrCursorMark;
  const u8 to = on ? kAttrCursorMark : kAttrSourceMargin;
  for (u16 c = 0; c < kCursorMarkCells; ++c)
    if (u8* cell = screen_cell(c, row); cell && cell[1] == from) cell[1] = to;
  lst_mark_dirty(0, row, kCursorMarkCells - 1, row);
}

void lst_cursor_mark_show() {
  if ((Co.WaitKind & kWaitBitBusy) != 0 || Lst.WindowModal != 0) return;
  lst_cursor_mark_set(1);
}

void lst_cursor_mark_hide() { lst_cursor_mark_set(0); }

void lst_title(const char* file) {
  char text[kPaneTitleMax + 1];
  std::size_t n = 0;
  if (file != nullptr) {
    const std::string_view name = name_of(file);
    for (std::size_t i = 0; i < name.size();) {
      if (u8(name[i]) == kAttrResetByte || u8(name[i]) == kEscapeByte) {  // the colour markers are no text
        ++i;
        continue;
      }
      const std::size_t unit = host_cp932_unit_length(name, i);
      if (n + unit > kPaneTitleMax) break;  // a double-byte character is never split
      std::memcpy(text + n, name.data() + i, unit);
      n += unit;
      i += unit;
    }
  }
  if (n == 0) {
    static const std::string kJapanese = host_utf8_to_cp932("コード");
    const std::string_view fallback = Cmd.LanguageJapanese != 0 ? std::string_view(kJapanese) : "Code";
    n = std::min(fallback.size(), kPaneTitleMax);
    std::memcpy(text, fallback.data(), n);
  }
  text[n] = '\0';
  if (std::strcmp(text, Lst.TitleText) == 0) return;  // the window side has it
  std::memcpy(Lst.TitleText, text, n + 1);
  Lst.CodeTitle = Lst.TitleText;
}

u16 lst_side_headers() {
  u16 selection = Lst.SideSelection & 3;
  if (Sw.ToolchainKind == 1) selection |= 1;
  if (Sw.ToolchainKind == 2 && selection == 0) selection = 1;
  const u16 w = u16(selection | ((Sw.ToolchainKind & 0x10) != 0 || sym_is_empty() ? 1 : 0));
  const u16 side = Lst.SideColumn;
  if (side == 0 || side >= kScreenColumns || !Con.Screen) return w;

  if (Lst.LayoutChanged != 0) {
    Lst.LayoutChanged = 0;
    const u16 used = std::min<u16>(std::max(Con.Window == kSlotCommand ? Con.Bottom : Con.Slots[kSlotCommand].bottom,
                                            lst_pane_bottom()),
                                   kScreenRows);
    for (u16 row = 0; row < used; ++row) {
      // a lead byte left alone before the separator would take it as its trail
      if (Cmd.LanguageJapanese != 0) {
        u16 c = 0;
        while (c < side) c = u16(c + (host_cp932_lead(screen_cell(c, row)[0]) ? 2 : 1));
        if (c > side) screen_cell(u16(side - 1), row)[0] = ' ';
      }
      u8* cell = screen_cell(side, row);
      cell[0] = 0;
      cell[1] = kAttrHeader;
    }
    if (used > 0) lst_mark_dirty(side, 0, side, u16(used - 1));
    header_bar(side, 0);
    if (Lst.RegisterWindowShown != 0) header_bar(side, kSideHeaderRow);
  }
  const u16 middle = u16(side + (kScreenColumns - side) / 2);
  if (Lst.RegisterWindowShown != 0)
    put_header_text(u16(std::max(middle - 4, int(side))), 0, sup_string_resource(kMsgRegisterHeader + 1));
  put_header_text(u16(std::max(middle - 7, int(side))), Lst.RegisterWindowShown != 0 ? kSideHeaderRow : 0,
                  sup_string_resource(u16(kMsgSideHeaders + w + 1)));
  return w;
}
