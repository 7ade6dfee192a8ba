// U, UX, V, UPUSH, UPOP, UEND and A, the code row and the instruction fetch.
// Listing addresses are logical; a listing never runs past FFFF: UX stops
// there, and the code pane's page wraps to 0000 as the target would.
#include "halv80/engine/lst_commands.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <span>
#include <string_view>

#include "halv80/engine/asm_z80.h"
#include "halv80/engine/cfg_config.h"
#include "halv80/engine/cmd_core.h"
#include "halv80/engine/cmd_switches.h"
#include "halv80/engine/con_scanner.h"
#include "halv80/engine/con_screen.h"
#include "halv80/engine/dis_z80.h"
#include "halv80/engine/lst_listing.h"
#include "halv80/engine/mem_commands.h"
#include "halv80/engine/run_state.h"
#include "halv80/engine/sup_format.h"
#include "halv80/engine/tgt_memory.h"
#include "halv80/engine/tgt_mmu.h"
#include "halv80/symbols/exp_operand.h"
#include "halv80/symbols/exp_eval.h"
#include "halv80/symbols/sym_modules.h"
#include "halv80/symbols/sym_source.h"
#include "halv80/symbols/sym_symbols.h"
#include "platform/host/host_text.h"

namespace {

constexpr u32 kLogicalSpace = 0x10000;
constexpr std::size_t kSkipWindow = 128;   // target bytes read at a time while a switch table is skipped
constexpr std::size_t kDataBytesShown = 9;  // bytes of a DB/DW/DD line shown back

bool at_end(const char* p) { return *sup_skip_blanks(p) == '\0'; }

// "." standing alone at the cursor (before blanks, "," or the end): moves
// past it.
bool take_dot() {
  cmd_skip_blanks();
  const char* p = Cmd.ScannerCursor;
  if (*p != '.') return false;
  const char* after = sup_skip_blanks(p + 1);
  if (*after != '\0' && *after != ',') return false;
  Cmd.ScannerCursor = after;
  return true;
}

// An address operand at the cursor. With memory management the map that
// shows it becomes the listing's: the window of its translation joins the
// stop-time map. False (nothing reported) on a bad value.
bool read_listing_address(u32& out) {
  tgt_sync_map_snapshot();
  const u32 v = cmd_get_address();
  if (Cmd.AbortFlag || v >= kLogicalSpace) return false;
  if (Cfg.MmuKind != kMmuNone) {
    tgt_logical_to_physical(u16(v));
    tgt_keep_hit_window();
  }
  out = v;
  return true;
}

void show_page_from(u32 address, u8 seed = kRowInstruction) {
  Lst.ListingAddress = u16(address);
  lst_set_mode(kListingAssembly);
  lst_redraw_from(seed);
}

// U alone after an assembly page: the next page starts where the last row
// ended, after that row's kind, so that a label or source row that ended the
// page is not shown again.
void continue_page() {
  const u16 top = lst_pane_top();
  const u16 bottom = lst_pane_bottom();
  const bool after_page = bottom > top && Lst.ListingAddress == Lst.RowNext[bottom - 1];
  show_page_from(Lst.ListingAddress, after_page ? Lst.RowKind[bottom - 1] : kRowInstruction);
}

// U's operand: ".", an address, or nothing (continue the assembly listing,
// else start at the program counter).
void list_page() {
  if (take_dot()) {
    if (!at_end(Cmd.ScannerCursor)) {
      cmd_error(kMsgAddress);
      return;
    }
    show_page_from(Run.Regs.pc);
    return;
  }
  cmd_skip_blanks();
  if (*Cmd.ScannerCursor == '\0') {
    if (Lst.ListingMode == kListingAssembly && Lst.PaneShows == kListingAssembly)
      continue_page();
    else
      show_page_from(Run.Regs.pc);
    return;
  }
  u32 address = 0;
  if (!read_listing_address(address) || !at_end(Cmd.ScannerCursor)) {
    cmd_error(kMsgAddress);
    return;
  }
  show_page_from(address);
}

// UX: rows into the command pane, each address's label, source line and code
// row; up to the end address, or a pane full of rows without one.
void list_mixed() {
  ++Cmd.ScannerCursor;  // the X
  u32 start = u16(Lst.ListingAddress);
  if (take_dot()) {
    start = Run.Regs.pc;
  } else {
    cmd_skip_blanks();
    if (*Cmd.ScannerCursor != '\0' && *Cmd.ScannerCursor != ',' && !read_listing_address(start)) {
      cmd_error(kMsgAddress);
      return;
    }
  }
  bool has_end = false;
  u32 end = 0;
  cmd_skip_blanks();
  if (*Cmd.ScannerCursor == ',') {
    ++Cmd.ScannerCursor;
    end = cmd_get_address();
    has_end = true;
    if (Cmd.AbortFlag || end >= kLogicalSpace) {
      cmd_error(kMsgAddress);
      return;
    }
  }
  if (!at_end(Cmd.ScannerCursor) || (has_end && end < start)) {
    cmd_error(kMsgAddress);
    return;
  }

  const u16 pane_rows = Con.Bottom > Con.Top ? u16(Con.Bottom - Con.Top) : 1;
  const u32 row_limit = std::max<u32>(pane_rows - 1u, 1);
  u32 rows = 0;
  // one more row out; without an end the listing stops when a pane full of rows is out
  const auto row_out_fills_pane = [&] { return ++rows >= row_limit && !has_end; };
  Lst.ListingAddress = start;
  lst_cache_load(u16(start));
  for (;;) {
    const u16 address = u16(Lst.ListingAddress);
    if (lst_label_line(address, false)) {
      con_putc('\n');
      if (row_out_fills_pane()) break;
    }
    u16 line = 0;
    if (Sw.ToolchainKind != 16) {
      if (const char* file = sym_line_from_address(address, line)) {
        char name[kModuleNameSize];
        const std::size_t n = strnlen(file, sizeof name - 1);
        std::memcpy(name, file, n);
        name[n] = '\0';
        const u16 mode = SymSource.OutputMode;
        SymSource.OutputMode = kSourcePrint;
        sym_show_source_line(name, line);
        SymSource.OutputMode = mode;
        con_putc('\n');
        if (row_out_fills_pane()) break;
      }
    }
    std::string row;
    lst_format_code_row(false, row);
    const bool pane_full = row_out_fills_pane();
    // the listing never runs past FFFF
    if (Lst.ListingAddress >= kLogicalSpace || (has_end ? Lst.ListingAddress > end : pane_full)) break;
    if (con_check_abort()) break;
  }
  lst_cache_drop();
  Lst.ListingAddress = u16(Lst.ListingAddress);
}

// The shown file, else the main module's; false when there is none.
bool current_source_file(char (&out)[kModuleNameSize]) {
  const char* name = Lst.SourceFile[0] != '\0' ? Lst.SourceFile : SymModules.MainFileName;
  const std::size_t n = strnlen(name, sizeof out - 1);
  if (n == 0) return false;
  std::memcpy(out, name, n);
  out[n] = '\0';
  return true;
}

// V without an operand outside source mode: the program counter's line, or
// the shown file where source was left. Message 1 when nothing can be shown.
void show_source_view() {
  if (sym_is_empty() && SymModules.ModuleCount == 0) {
    cmd_error(kMsgData);
    return;
  }
  if ((Run.ExecutionState & kExecRunning) == 0) tgt_sync_map_snapshot();  // the default mapping
  lst_set_mode(kListingSource);
  u16 line = 0;
  if (const char* at_pc = sym_line_from_address(Run.Regs.pc, line)) {
    char file[kModuleNameSize];
    const std::size_t n = strnlen(at_pc, sizeof file - 1);
    std::memcpy(file, at_pc, n);
    file[n] = '\0';
    lst_show_position(file, line);
    if (Lst.PaneShows == kListingSource) return;
  }
  char file[kModuleNameSize];
  if (!current_source_file(file) || lst_show_source_line(file, Lst.LastSourceLine) != 0) cmd_error(kMsgData);
}

// A file named by V that is no module yet: it must open along the source
// path; then it becomes a module without lines. False after the message.
bool make_source_module(const char* file) {
  char name[kSourceNameSize];
  const std::size_t n = strnlen(file, kModuleNameSize - 1);
  std::memcpy(name, file, n);
  name[n] = '\0';
  if (std::memchr(name, '.', n) == nullptr)
    std::strncat(name, Sw.DefaultSourceExtension, strnlen(Sw.DefaultSourceExtension, kExtensionSize - 1));
  sym_close_source_files();
  if (sym_open_source_file(name) == -1) {
    cmd_error(kMsgCannotOpen);
    return false;
  }
  sym_close_source_files();
  if (sym_begin_module(file) != 0) {
    cmd_error(kMsgStoreFull);
    return false;
  }
  sym_end_module();
  return true;
}

void push_position(u32 address) {
  if (Lst.StackCount >= kListingStackSize) {
    // full: the oldest entry drops off
    std::copy(std::begin(Lst.Stack) + 1, std::end(Lst.Stack), std::begin(Lst.Stack));
    Lst.StackCount = kListingStackSize - 1;
  }
  Lst.Stack[Lst.StackCount++] = address;
}

// UEND; false (message 34) outside assembly mode or with an empty stack.
bool list_stack_top() {
  if (Lst.ListingMode != kListingAssembly || Lst.StackCount == 0) {
    cmd_error(kMsgCommandError);
    return false;
  }
  show_page_from(Lst.Stack[Lst.StackCount - 1]);
  return true;
}

// The word at the cursor is `word` (any case) followed by a blank or the end.
bool take_word(std::string_view word) {
  const char* after = sup_match_prefix_nocase(word, Cmd.ScannerCursor);
  if (after == nullptr || (*after != '\0' && *after != ' ' && *after != '\t')) return false;
  Cmd.ScannerCursor = after;
  return true;
}

// The A prompt: the address, then three tabs.
void prompt(u16 address) {
  con_putc('\n');
  con_printf("%04x ", address);
  con_puts("\t\t\t");
}

// What was written shown over the prompt: the address and the bytes.
void show_written(u16 address, std::size_t count) {
  con_putc('\r');
  con_printf("%04x ", address);
  for (std::size_t i = 0; i < count; ++i) con_printf("%02x", tgt_read_byte(u16(address + i)));
}

// An address operand of A, ORG or "/": false after message 0.
bool read_assemble_address(u16& address) {
  const u32 v = cmd_get_address();
  if (Cmd.AbortFlag || v >= kLogicalSpace || !at_end(Cmd.ScannerCursor)) {
    cmd_error(kMsgAddress);
    return false;
  }
  address = u16(v);
  return true;
}

}  // namespace

void dis_fetch(u16 address) {
  std::size_t i = 0;
  if (Lst.CacheValid) {
    for (; i < kDisBufferSize; ++i) {
      const u16 offset = u16(address + i - Lst.CacheBase);
      if (offset >= kListingCacheSize) break;
      Dis.Buffer[i] = Lst.Cache[offset];
    }
    if (i == kDisBufferSize) return;
    lst_cache_drop();  // the first miss drops the cache
  }
  const u16 at = u16(address + i);
  const std::size_t rest = kDisBufferSize - i;
  const std::size_t first = std::min<std::size_t>(rest, kLogicalSpace - at);
  tgt_read_block(std::span<u8>(Dis.Buffer + i, first), at);
  if (first < rest) tgt_read_block(std::span<u8>(Dis.Buffer + i + first, rest - first), 0);
}

u16 dis_row_at(u16 address, std::string& out) {
  dis_fetch(address);
  return dis_line(address, out);
}

u32 lst_row_end(u16 address, u16 length) {
  u32 end = u32(address) + length;
  const u32 table = Dis.SkipTable;
  const u32 size = Dis.SkipEntrySize;
  Dis.SkipTable = 0;
  if (table == 0 || table != end || size == 0) return end;
  // The table's entries up to its zero entry; it ends at the end of the
  // address space at the latest, so memory without a zero entry is skipped
  // to there and no further.
  u8 window[kSkipWindow];
  u32 window_base = kLogicalSpace;
  std::size_t window_size = 0;
  while (end + size <= kLogicalSpace) {
    if (end < window_base || end + 2 > window_base + window_size) {
      window_base = end;
      window_size = std::min<std::size_t>(kSkipWindow, kLogicalSpace - end);
      tgt_read_block(std::span<u8>(window, window_size), u16(end));
    }
    const std::size_t at = end - window_base;
    if ((window[at] | window[at + 1]) == 0) break;
    end += size;
  }
  return end + size;
}

void lst_format_code_row(bool no_print, std::string& out) {
  const u16 address = u16(Lst.ListingAddress);
  std::string text;
  Dis.SkipTable = 0;
  const u16 length = dis_row_at(address, text);
  char head[kCodeRowTextColumn + 1];
  std::snprintf(head, sizeof head, "%04X ", address);
  std::size_t column = 5;
  for (u16 i = 0; i < std::min(length, kCodeRowBytesShown); ++i) {
    std::snprintf(head + column, sizeof head - column, "%02X", Dis.Buffer[i]);
    column += 2;
  }
  std::fill(head + column, head + kCodeRowTextColumn, ' ');
  head[kCodeRowTextColumn - 2] = length > kCodeRowBytesShown ? '.' : ' ';
  out.assign(head, kCodeRowTextColumn);
  out += text;
  Lst.ListingAddress = lst_row_end(address, length);
  if (!no_print) con_puts(out);
}

u16 lst_label_line(u16 address, bool offset_allowed) {
  con_putc('\n');
  const char* label = sym_address_label(address, offset_allowed);
  if (label == nullptr) return 0;
  con_puts(label);
  con_putc(':');
  return 1;
}

void cmd_U() {
  if (host_ascii_upper(*Cmd.ScannerCursor) == 'X') {
    list_mixed();
    return;
  }
  list_page();
}

void cmd_V() {
  cmd_skip_blanks();
  if (*Cmd.ScannerCursor == '.') ++Cmd.ScannerCursor;  // "V ." and "V .12" are "V" and "V 12"
  cmd_skip_blanks();
  if (*Cmd.ScannerCursor == '\0') {
    if (Lst.ListingMode != kListingSource || Lst.PaneShows != kListingSource) {
      show_source_view();
      return;
    }
    // the page after the one shown
    char file[kModuleNameSize];
    const u16 bottom = lst_pane_bottom();
    const u16 top = lst_pane_top();
    const u32 next = bottom > top ? Lst.RowNext[bottom - 1] & 0xFFFF : 1;
    if (!current_source_file(file) || lst_show_source_line(file, u16(std::max<u32>(next, 1))) != 0)
      cmd_error(kMsgData);
    return;
  }

  // a line number alone is one of the shown file's
  if (Lst.ListingMode == kListingSource && Lst.SourceFile[0] != '\0') {
    char shown[kModuleNameSize];
    std::memcpy(shown, Lst.SourceFile, sizeof shown);
    sym_find_module(shown, sizeof shown, 0);
  }
  const char* p = Cmd.ScannerCursor;
  u16 line = 0;
  if (exp_parse_line_spec(p, line) != 0 || !at_end(p)) {
    cmd_error(kMsgData);
    return;
  }
  Cmd.ScannerCursor = p;
  char file[kModuleNameSize];
  std::memcpy(file, Exp.LineFile, sizeof file);
  file[sizeof file - 1] = '\0';
  char query[kModuleNameSize];
  std::memcpy(query, file, sizeof query);
  if (sym_find_module(query, sizeof query, 0) == nullptr && !make_source_module(file)) return;
  if (lst_show_source_line(file, std::max<u16>(line, 1)) != 0) cmd_error(kMsgData);
}

void cmd_UPUSH() {
  if (Lst.ListingMode != kListingAssembly) {
    cmd_error(kMsgCommandError);
    return;
  }
  const u16 top = lst_pane_top();
  push_position(top < lst_pane_bottom() ? u16(Lst.RowKey[top]) : u16(Lst.ListingAddress));
  cmd_skip_blanks();
  if (*Cmd.ScannerCursor != '\0') list_page();
}

void cmd_UEND() { list_stack_top(); }

void cmd_UPOP() {
  if (list_stack_top()) --Lst.StackCount;
}

void cmd_A() {
  cmd_skip_blanks();
  if (*Cmd.ScannerCursor != '\0') {
    u16 address = 0;
    if (!read_assemble_address(address)) return;
    Lst.AssembleAddress = address;
  }
  u16 address = u16(Lst.AssembleAddress);
  for (;;) {
    Lst.AssembleAddress = address;
    prompt(address);
    con_read_line();
    cmd_skip_blanks();
    const char* line = Cmd.ScannerCursor;
    if (*line == '\0' || *line == '.') break;

    // "NAME:" defines a label here
    std::string_view text(line, strnlen(line, kCommandLineSize));
    while (!text.empty() && u8(text.back()) <= ' ') text.remove_suffix(1);
    if (text.back() == ':') {
      text.remove_suffix(1);
      while (!text.empty() && u8(text.back()) <= ' ') text.remove_suffix(1);
      sym_delete(text);
      if (text.empty() || sym_define(text, address, 0) != 0) {
        cmd_error(kMsgStoreFull);
        return;
      }
      lst_refresh();
      continue;
    }

    const bool slash = *Cmd.ScannerCursor == '/';
    if (slash) ++Cmd.ScannerCursor;
    if (slash || take_word("ORG")) {
      // a bad address is reported and the prompt stays
      if (!read_assemble_address(address)) Cmd.AbortFlag = 0;
      continue;
    }
    const char kind = host_ascii_upper(line[1]);
    const char data_word[] = {'D', kind, '\0'};
    if (host_ascii_upper(line[0]) == 'D' && (kind == 'B' || kind == 'W' || kind == 'D') && take_word(data_word)) {
      cmd_skip_blanks();
      u32 end = address;
      if (mem_store_values(end, u16(kind), false)) {
        show_written(address, std::min<std::size_t>(u16(end - address), kDataBytesShown));
        address = u16(end);
        lst_refresh();
      } else {
        Cmd.AbortFlag = 0;  // reported; the same address again
      }
      continue;
    }

    const u16 length = asm_line(address);
    if (Cmd.AbortFlag || length == 0) {
      Cmd.AbortFlag = 0;
      con_puts("\n???");
      continue;
    }
    u8 code[kDisBufferSize];
    std::memcpy(code, Dis.Buffer, sizeof code);
    con_putc('\r');
    con_printf("%04x ", address);
    for (u16 i = 0; i < std::min<u16>(length, kDisBufferSize); ++i) {
      if (!tgt_write_byte_verify(u16(address + i), code[i])) {
        cmd_error(kMsgVerify);
        return;
      }
      con_printf("%02x", code[i]);
    }
    address = u16(address + length);
    Lst.AssembleAddress = address;
    lst_refresh();
  }
  Lst.AssembleAddress = address;
}
