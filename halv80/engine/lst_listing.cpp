// The code listing's model: the listing mode and the source view of each
// module, the row tables and the row generator, the backward scroll, the
// history of shown positions, the dirty ranges and the one-row scroll of a
// pane, the scroll thumb, and the line provider of the window side. A range
// with end_row 0 is clean; the window side clears a range after painting it.
#include "halv80/engine/lst_listing.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "halv80/engine/brk_table.h"
#include "halv80/engine/cmd_core.h"
#include "halv80/engine/cmd_switches.h"
#include "halv80/engine/co_coroutine.h"
#include "halv80/engine/con_log.h"
#include "halv80/engine/con_scanner.h"
#include "halv80/engine/dis_z80.h"
#include "halv80/engine/lst_commands.h"
#include "halv80/engine/run_state.h"
#include "halv80/engine/tgt_memory.h"
#include "halv80/engine/tgt_mmu.h"
#include "halv80/symbols/sym_source.h"
#include "halv80/symbols/sym_store.h"
#include "halv80/symbols/sym_symbols.h"
#include "halv80/engine/win_codes.h"

constinit LstState Lst;

namespace {

constexpr u32 kLogicalSpace = 0x10000;
constexpr u32 kThumbRange = 1000;
constexpr u16 kBackStep = 16;        // a backward search that found too few rows starts this much lower
constexpr u8 kNoKind = 0xFF;

// The code pane's slot, or the current fields while it is current.
WindowContext code_pane() {
  if (Con.Window == kSlotCode) return WindowContext{Con.Column, Con.Row, Con.Top, Con.Bottom};
  return Con.Slots[kSlotCode];
}

// Rows above this one belong to the code pane's range, the rest to the command pane's.
u16 code_pane_bottom() {
  return Con.Window == kSlotCode ? Con.Bottom : Con.Slots[kSlotCode].bottom;
}

void widen(PaneDirtyRange& range, u16 col_from, u16 row_from, u16 col_to, u16 row_to) {
  if (range.end_row == 0) {  // clean: the rectangle is the range
    range = PaneDirtyRange{row_from, u16(row_to + 1), col_from, u16(col_to + 1)};
    return;
  }
  range.first_row = std::min(range.first_row, row_from);
  range.end_row = std::max(range.end_row, u16(row_to + 1));
  range.first_column = std::min(range.first_column, col_from);
  range.end_column = std::max(range.end_column, u16(col_to + 1));
}

void fill_blank_row(u16 row, u16 columns) {
  u8* cells = &Con.Screen[std::size_t(row) * kScreenRowBytes];
  for (u16 c = 0; c < columns; ++c) {
    cells[c * 2] = 0x20;
    cells[c * 2 + 1] = kAttrNormal;
  }
}

// --- What lies at an address -------------------------------------------------

bool label_at(u16 address) { return sym_address_label(address, false) != nullptr; }

// A source line that begins at the address, as the listing interleaves it.
struct SourceAt {
  char file[kModuleNameSize];
  u16 line;
  bool repeated;  // the line record says the line was seen earlier in the file
};

bool source_at(u16 address, SourceAt& out) {
  if (Sw.ToolchainKind == 16) return false;  // no source rows among the instructions
  u16 line = 0;
  const char* file = sym_line_from_address(address, line);
  if (file == nullptr) return false;
  const std::size_t n = strnlen(file, sizeof out.file - 1);
  std::memcpy(out.file, file, n);
  out.file[n] = '\0';
  out.line = line;
  out.repeated = (SymModules.FoundLine & kLineRepeated) != 0;
  return true;
}

bool source_at(u16 address) {
  SourceAt ignored;
  return source_at(address, ignored);
}

// A repeated line shows only "file:line:"; any other its text as the source
// service prints it. Both end with the attribute reset.
void print_source_row(const SourceAt& s) {
  if (s.repeated) {
    con_putc(kEscapeByte);
    con_puts(s.file);
    char number[8];
    std::snprintf(number, sizeof number, ":%u:", unsigned(s.line));
    con_puts(number);
  } else {
    const u16 mode = SymSource.OutputMode;
    SymSource.OutputMode = kSourcePrint;
    sym_show_source_line(s.file, s.line);
    SymSource.OutputMode = mode;
  }
  con_putc(kAttrResetByte);
}

// Prints the row for `address` that follows a row of kind `above`, sets
// `kind` and returns the address of the next row (an instruction row: past
// the instruction, not cut to 16 bits). ListingAddress is left after it.
u32 emit_row(u16 address, u8 above, u8& kind) {
  Lst.ListingAddress = address;
  if (above == kRowInstruction) {
    if (const char* label = sym_address_label(address, false)) {
      con_puts(label);
      con_putc(':');
      kind = kRowLabel;
      return address;
    }
  }
  if (above != kRowSource) {
    SourceAt s;
    if (source_at(address, s)) {
      print_source_row(s);
      kind = kRowSource;
      return address;
    }
  }
  kind = kRowInstruction;
  std::string row;
  lst_format_code_row(false, row);
  return Lst.ListingAddress;
}


// --- The backward scroll -----------------------------------------------------

// The seed that makes the generator start with a row of each kind: a label
// follows an instruction row, a source line anything but a source row, and
// after a source row only the instruction is left.
constexpr u8 kSeedForLabel = kRowInstruction;
constexpr u8 kSeedForSource = kRowLabel;
constexpr u8 kSeedForInstruction = kRowSource;

// A row above the top: its address and the seed that makes it the first row.
struct BackRow {
  u16 address;
  u8 seed;
};

// The instruction chains that end exactly at `top`: for every start address
// x below it, where its code row ends and whether stepping on from there
// arrives at `top` (rather than over it). Both are kept by the distance
// d = top - x; d = 0 is the top itself. Filled downwards as the search window
// grows; the lowest start that arrives is the best.
class BackWalk {
 public:
  explicit BackWalk(u16 top) : top_(top), low_(top), ends_(1, top), arrives_(1, true) {}

  void extend_to(u32 low) {
    if (low >= low_) return;
    read_window(low);
    for (u32 x = low_; x-- > low;) {
      const u32 end = step(u16(x));  // above x: its distance is below x's
      const bool arrives = end <= top_ && arrives_[top_ - end];
      ends_.push_back(end);
      arrives_.push_back(arrives);
      if (arrives) best_ = x;
    }
    low_ = low;
  }
  bool found() const { return best_ != kNone; }
  u32 best() const { return best_; }
  // The rows of the chain from `start` up to (not including) the top.
  std::vector<BackRow> rows(u32 start) const {
    std::vector<BackRow> out;
    for (u32 x = start; x < top_; x = ends_[top_ - x]) {
      if (label_at(u16(x))) out.push_back({u16(x), kSeedForLabel});
      if (source_at(u16(x))) out.push_back({u16(x), kSeedForSource});
      out.push_back({u16(x), kSeedForInstruction});
    }
    return out;
  }

 private:
  static constexpr u32 kNone = 0xFFFFFFFF;

  // The bytes from `low` up to one instruction buffer past the top.
  void read_window(u32 low) {
    window_low_ = low;
    const u32 high = std::min<u32>(u32(top_) + kDisBufferSize, kLogicalSpace);
    window_.assign(high - low, 0);
    tgt_read_block(window_, u16(low));
  }
  // The end of the code row at x, as the listing steps over it.
  u32 step(u16 x) {
    for (std::size_t i = 0; i < kDisBufferSize; ++i) {
      const u32 at = u32(x) + i;
      Dis.Buffer[i] = at - window_low_ < window_.size() ? window_[at - window_low_] : tgt_read_byte(u16(at));
    }
    Dis.SkipTable = 0;
    std::string text;
    const u16 length = dis_line(x, text);
    return lst_row_end(x, length);
  }

  u16 top_;
  u32 low_;                    // the lowest start examined so far
  u32 best_ = kNone;
  std::vector<u32> ends_;      // by distance below the top
  std::vector<bool> arrives_;  // by distance below the top
  std::vector<u8> window_;
  u32 window_low_ = 0;
};

u8 back_result(BackRow r) {
  Lst.ListingAddress = r.address;
  return r.seed;
}

u16 pane_rows() {
  const u16 top = lst_pane_top();
  const u16 bottom = lst_pane_bottom();
  return u16(bottom - top);
}

// --- The line provider -------------------------------------------------------

void copy_line(std::span<char> buffer, std::string_view text) {
  const std::size_t limit = std::min(buffer.size(), kProviderLineSize) - 1;
  const std::size_t n = std::min(text.size(), limit);
  std::memcpy(buffer.data(), text.data(), n);
  buffer[n] = '\0';
  buffer[std::min(buffer.size(), kProviderLineSize) - 1] = '\0';
  const std::size_t c = std::min(n, kCommandLineSize - 1);
  std::memcpy(Cmd.CommandLine, text.data(), c);
  Cmd.CommandLine[c] = '\0';
}

// Command code under a pushed restart point unless one is pushed already.
template <class Fn>
bool run_guarded(Fn&& fn) {
  if (co_has_saved_restart()) {
    fn();
    return true;
  }
  return co_call_guarded(fn);
}

u16 fetch_assembly_row(std::span<char> buffer) {
  ViewFields& v = Co.Request.view;
  const u16 count = u16(std::min<std::size_t>(v.provider_rows, kProviderRows));
  const u16 i = v.provider_row;
  if (i >= count) return kProviderEnd;
  const u16 result = v.provider_end;
  const u16 address = u16(v.provider_address[i]);
  // index 0 has no entry above it: generated as after an instruction row
  const u8 above = i > 0 ? v.provider_kind[i - 1] : kRowInstruction;

  const u32 saved_address = Lst.ListingAddress;
  u8 kind = kRowInstruction;
  u32 next = u32(address) + 1;  // an aborted row steps one byte
  char text[kProviderLineSize]{};
  const u16 depth = Con.OverlayDepth;
  con_window_push(kAttrNormal, 0);
  con_capture_begin(text);
  run_guarded([&] { next = emit_row(address, above, kind); });
  con_capture_end();
  if (Con.OverlayDepth > depth) con_window_push(0, 1);  // only what this call pushed
  Lst.ListingAddress = saved_address;
  copy_line(buffer, std::string_view(text, strnlen(text, sizeof text)));

  const u16 following = u16(next);
  v.provider_kind[i] = kind;
  if (i + 1u < count) {
    v.provider_address[i + 1] = following;
    v.provider_row = u16(i + 1);
  } else {
    // at the end of the arrays they slide down one entry; the index stays
    std::memmove(&v.provider_address[0], &v.provider_address[1], sizeof(u32) * (count - 1u));
    std::memmove(&v.provider_kind[0], &v.provider_kind[1], count - 1u);
    v.provider_address[count - 1] = following;
  }
  v.provider_end = address > following ? kProviderEnd : 0;  // the listing wrapped past FFFF
  return result;
}

u16 fetch_source_line(std::span<char> buffer, u32 n) {
  if (n == 0 || n > 0xFFFF || Lst.SourceFile[0] == '\0') return kProviderEnd;
  const u16 mode = SymSource.OutputMode;
  SymSource.OutputMode = kSourceToText;
  const u16 got = sym_show_source_line(Lst.SourceFile, u16(n));
  SymSource.OutputMode = mode;
  if (got == 0) return kProviderEnd;
  copy_line(buffer, std::string_view(SymSource.Text, strnlen(SymSource.Text, sizeof SymSource.Text)));
  return 0;
}

u16 fetch_log_line(std::span<char> buffer, u32 n) {
  if (!Log.Bytes) return kProviderEnd;
  ViewFields& v = Co.Request.view;
  u16 position = 0;
  if (v.log_restart != 0) {
    v.log_restart = 0;
    if (n > Log.TotalLines) return kProviderEnd;
    Lst.ProviderRestartRow = u16(n);
    position = con_log_step_lines(-int(Log.TotalLines - n), Log.Newest);
  } else if (n > Lst.ProviderRestartRow) {
    const u16 last = Lst.ProviderLogPosition;
    position = con_log_step_lines(1, last);
    // nothing after it: the newest end
    if (position == last || (position == Log.Newest && Log.Newest == Log.WriteEnd)) return kProviderEnd;
  } else {
    const u16 last = Lst.ProviderLogPosition;
    if (last == Log.Oldest) return kProviderEnd;
    position = con_log_step_lines(-1, last);
  }
  Lst.ProviderLogPosition = position;
  char text[kProviderLineSize]{};
  Log.CopyTarget = std::span<char>(text);
  con_log_render_line(0, position);
  Log.CopyTarget = {};
  copy_line(buffer, std::string_view(text, strnlen(text, sizeof text)));
  return 0;
}

}  // namespace

LstPaneScope::LstPaneScope() : previous_(Con.Window) {
  if (previous_ != kSlotCode) con_switch_window(previous_, kSlotCode);
}

LstPaneScope::~LstPaneScope() {
  // an unwind went back to the command pane: leave it there
  if (previous_ != kSlotCode && Con.Window == kSlotCode) con_switch_window(kSlotCode, previous_);
}

void lst_mark_dirty(u16 col_from, u16 row_from, u16 col_to, u16 row_to) {
  // Only cells on the screen are ever painted.
  if (col_from >= kScreenColumns || row_from >= kScreenRows) return;
  col_to = std::min<u16>(col_to, kScreenColumns - 1);
  row_to = std::min<u16>(row_to, kScreenRows - 1);
  if (col_from > col_to || row_from > row_to) return;

  const u16 split = code_pane_bottom();
  if (row_from < split) {
    widen(Lst.Dirty[kDirtyCode], col_from, row_from, col_to, std::min<u16>(row_to, u16(split - 1)));
  }
  if (row_to >= split) {
    widen(Lst.Dirty[kDirtyCommand], col_from, std::max(row_from, split), col_to, row_to);
  }
}

void lst_scroll_pane(u16 down) {
  const u16 top = Con.Top;
  const u16 bottom = std::min(Con.Bottom, kScreenRows);
  if (!Con.Screen || top >= bottom) return;  // an empty window has nothing to move
  const u16 rows = u16(bottom - top);
  const u16 columns = std::min(Con.Width, kScreenColumns);

  if (Co.OnCommandSide == 1) {
    // The window side scrolls its display by the same row; the screen rows
    // are moved here.
    Co.Request.p1 = Con.Window == kSlotCode ? kPaneCode : kPaneCommand;
    Co.Request.p2 = down ? 0 : 1;  // source row, relative to the pane's top
    Co.Request.p3 = down ? 1 : 0;  // destination row
    Co.Request.p4 = u32(rows - 1);
    co_post_request(RequestCode::ScrollPane);
  }

  const std::size_t bytes = std::size_t(columns) * 2;
  u16 freed;
  if (down) {
    for (u16 r = u16(bottom - 1); r > top; --r)
      std::memmove(&Con.Screen[r * kScreenRowBytes], &Con.Screen[(r - 1) * kScreenRowBytes], bytes);
    freed = top;
  } else {
    for (u16 r = top; r + 1 < bottom; ++r)
      std::memmove(&Con.Screen[r * kScreenRowBytes], &Con.Screen[(r + 1) * kScreenRowBytes], bytes);
    freed = u16(bottom - 1);
  }
  fill_blank_row(freed, columns);

  if (columns == 0) return;
  if (Co.OnCommandSide == 1) {
    lst_mark_dirty(0, freed, u16(columns - 1), freed);
  } else {
    // no scroll request on the window side: every row of the pane changed
    lst_mark_dirty(0, top, u16(columns - 1), u16(bottom - 1));
  }
}

u16 lst_pane_top() { return std::min(code_pane().top, lst_pane_bottom()); }

u16 lst_pane_bottom() { return std::min(code_pane().bottom, kScreenRows); }

u8 lst_seed() {
  const u16 top = lst_pane_top();
  return top > 0 ? Lst.RowKind[top - 1] : Lst.TopSeed;  // no entry before the table
}

void lst_set_seed(u8 kind) {
  const u16 top = lst_pane_top();
  if (top > 0)
    Lst.RowKind[top - 1] = kind;
  else
    Lst.TopSeed = kind;
}

void lst_store_module_view() {
  ModuleRecord* m = sym_module_record(Lst.SourceModule);
  if (m == nullptr) return;
  const u16 top = lst_pane_top();
  const u16 bottom = lst_pane_bottom();
  const u16 cursor = Lst.CursorRow >= top && Lst.CursorRow < bottom ? Lst.CursorRow : top;
  if (top < bottom) m->view_top_line.set(Lst.RowKey[cursor] & 0xFFFF);
  m->view_field1.set(Lst.CursorColumn);
  m->view_field2.set(u16(cursor - top));
  m->view_field3.set(Lst.RequestedColumn);
  m->view_field4.set(Lst.HorizontalOffset);
}

void lst_restore_module_view() {
  const ModuleRecord* m = sym_module_record(Lst.SourceModule);
  if (m == nullptr) return;
  const u16 rows = pane_rows();
  const u16 cursor = m->view_field2.get();
  Lst.CursorRow = rows == 0 ? kNoRow : u16(lst_pane_top() + std::min<u16>(cursor, u16(rows - 1)));
  Lst.CursorColumn = m->view_field1.get();
  Lst.RequestedColumn = m->view_field3.get();
  Lst.HorizontalOffset = m->view_field4.get();
}

u16 lst_module_view_line() {
  const ModuleRecord* m = sym_module_record(Lst.SourceModule);
  if (m == nullptr) return 1;
  return u16(std::clamp<u32>(m->view_top_line.get(), 1, 0xFFFF));
}

void lst_set_mode(u16 mode) {
  if (Lst.ListingMode == kListingSource && mode != kListingSource && Lst.PaneShows == kListingSource) {
    const u16 top = lst_pane_top();
    if (top < lst_pane_bottom()) Lst.LastSourceLine = u16(std::max<u32>(Lst.RowKey[top] & 0xFFFF, 1));
    lst_store_module_view();
  }
  if (mode == kListingSource && Lst.ListingMode != kListingSource) lst_restore_module_view();
  Lst.ListingMode = mode;
  Lst.ViewFlag = mode == kListingSource ? 2 : 0;
}

void lst_cache_load(u16 base) {
  const std::size_t first = std::min<std::size_t>(kListingCacheSize, kLogicalSpace - base);
  tgt_read_block(std::span<u8>(Lst.Cache, first), base);
  // the cache wraps with the address space
  if (first < kListingCacheSize) tgt_read_block(std::span<u8>(Lst.Cache + first, kListingCacheSize - first), 0);
  Lst.CacheBase = base;
  Lst.CacheValid = 1;
}

void lst_cache_drop() { Lst.CacheValid = 0; }

void lst_generate_row(u16 row) {
  if (row >= kScreenRows) return;
  const u16 saved_abort = Cmd.AbortFlag;
  const u16 address = u16(Lst.RowKey[row]);
  const u8 above = row > 0 ? Lst.RowKind[row - 1] : Lst.TopSeed;

  con_set_cursor(0, row);
  Con.Attribute = kAttrNormal;
  Con.LeadPending = 0;
  u8 kind = kRowInstruction;
  const u32 next = emit_row(address, above, kind);
  Con.Attribute = kAttrNormal;
  Con.LeadPending = 0;
  lst_clear_row_rest(Con.Column, row);
  if (kind == kRowInstruction) {
    const u32 physical = tgt_to_physical(address);
    if (brk_enabled_at(physical)) lst_paint_row(row, kAttrBreakRow);
    if (physical == tgt_to_physical(Run.Regs.pc)) lst_paint_row_saved(row, kAttrPcRow);
  }
  Lst.RowKind[row] = kind;
  Lst.RowNext[row] = u16(next);
  Lst.ListingAddress = u16(next);
  if (Sw.KeyPlayback == 0) Cmd.AbortFlag = saved_abort;
}

u8 lst_rows_back(u16 n) {
  const u16 top = lst_pane_top();
  if (top >= lst_pane_bottom()) return lst_seed();
  if (Lst.PaneShows == kListingSource) {
    const u32 line = std::max<u32>(Lst.RowKey[top] & 0xFFFF, 1);
    Lst.ListingAddress = line > n ? line - n : 1;
    return kRowInstruction;
  }
  const u16 a = u16(Lst.RowKey[top]);
  const u8 t = Lst.RowKind[top];
  if (n == 0) return back_result({a, lst_seed()});

  // The rows at the top's own address that stand above it.
  u16 counted = 0;
  u8 highest_seed = kNoKind;  // the seed of the highest of them
  if (t == kRowInstruction && source_at(a)) {
    highest_seed = kSeedForSource;
    if (++counted == n) return back_result({a, highest_seed});
  }
  if (t != kRowLabel && label_at(a)) {
    highest_seed = kSeedForLabel;
    if (++counted == n) return back_result({a, highest_seed});
  }

  const u32 wanted = n - counted;
  BackWalk walk(a);
  u32 low = a > 3 * wanted + 10 ? a - 3 * wanted - 10 : 0;
  for (;;) {
    walk.extend_to(low);
    std::vector<BackRow> rows;
    if (walk.found()) {
      rows = walk.rows(walk.best());
      if (rows.size() >= wanted) return back_result(rows[rows.size() - wanted]);
    }
    if (low == 0) {
      // fewer rows above than asked: the first of them
      if (!rows.empty()) return back_result(rows.front());
      if (highest_seed != kNoKind) return back_result({a, highest_seed});
      return back_result({a, lst_seed()});  // nothing arrives here from below
    }
    const u32 first = walk.found() ? walk.best() : low;
    low = first > kBackStep ? first - kBackStep : 0;
  }
}

void lst_history_init() { lst_history_clear(); }

void lst_history_clear() {
  for (ListingHistoryEntry& e : Lst.History) e = ListingHistoryEntry{};
  Lst.HistoryIndex = 0;
}

void lst_history_push() {
  const u16 top = lst_pane_top();
  if (top >= lst_pane_bottom()) return;
  std::copy_backward(std::begin(Lst.History), std::end(Lst.History) - 1, std::end(Lst.History));
  ListingHistoryEntry& e = Lst.History[0];
  e.module = Lst.PaneShows == kListingSource ? Lst.SourceModule : kHistoryAssembly;
  e.key = Lst.RowKey[top];
  e.seed = lst_seed();
  e.found_row = Lst.FoundRow;
  Lst.HistoryIndex = 0;
}

u16 lst_history_step(u16 back) {
  if (Lst.History[0].module == kHistoryEmpty) return 0;
  u16 index = Lst.HistoryIndex;
  if (back) {
    if (index == 0) return 0;
    --index;
  } else {
    if (index + 1u >= kHistoryEntries) return 0;
    ++index;
  }
  const ListingHistoryEntry e = Lst.History[index];
  if (e.module == kHistoryEmpty) return 0;
  Lst.HistoryIndex = index;

  if (e.module == kHistoryAssembly) {
    lst_set_mode(kListingAssembly);
    Lst.ListingAddress = u16(e.key);
    lst_redraw_from(u8(e.seed));
  } else {
    const ModuleRecord* m = sym_module_record(e.module);
    char file[kModuleNameSize];
    if (m == nullptr || sym_name_text(m->file_name.get(), file, sizeof file) == 0) return 1;
    lst_set_mode(kListingSource);
    lst_show_source_at(file, u16(std::clamp<u32>(e.key, 1, 0xFFFF)));
  }
  if (index != 0 && e.found_row != kNoRow) {
    LstPaneScope pane;
    if (e.found_row >= lst_pane_top() && e.found_row < lst_pane_bottom()) lst_paint_row(e.found_row, kAttrHistoryRow);
  }
  return 1;
}

void lst_thumb_position() {
  if (Co.OnCommandSide != 1) return;
  const u16 top = lst_pane_top();
  if (top >= lst_pane_bottom()) return;
  const u32 r = Lst.RowKey[top] & 0xFFFF;  // the top row's address or line
  u32 position = 0;
  if (Lst.PaneShows == kListingSource) {
    const u32 h = pane_rows();
    const u32 lines = Lst.LineCount;
    // r + h < lines: the divisor lines - h is positive
    position = r + h < lines ? (r > 0 ? r - 1 : 0) * kThumbRange / (lines - h) : kThumbRange;
  } else {
    position = r * kThumbRange >> 16;
  }
  Co.Request.p1 = kThumbCodePane;
  Co.Request.p2 = std::min(position, kThumbRange);
  co_post_request(RequestCode::ScrollThumb);
}

std::size_t lst_module_indices(std::span<u16> out) {
  const std::size_t count = std::min<std::size_t>(SymModules.ModuleCount, out.size());
  for (std::size_t i = 0; i < count; ++i) out[i] = u16(i);
  return count;
}

u16 con_window_fetch_line(std::span<char> buffer, u32 n) {
  if (buffer.empty()) return kProviderEnd;
  buffer[0] = '\0';
  if (Lst.CodeCursorMode == 0) return fetch_log_line(buffer, n);
  if (Lst.ListingMode == kListingSource) return fetch_source_line(buffer, n);
  return fetch_assembly_row(buffer);
}

void con_collect_line_char(void* collector, u8 c) {
  auto& k = *static_cast<LineCollector*>(collector);
  if (k.buffer.empty()) return;
  const auto put = [&k](char ch) {
    // one byte always stays for the terminator
    if (k.used + 1 < k.buffer.size()) k.buffer[k.used++] = ch;
    k.buffer[k.used] = '\0';
  };
  if (c == '\n' || c == '\r') {
    if (k.column == 0) return;  // an empty line is not kept
    if (k.used + 1 < k.buffer.size()) ++k.used;  // past the terminator: the line is complete
    if (k.used < k.buffer.size()) k.buffer[k.used] = '\0';
    ++k.lines;
    k.column = 0;
    return;
  }
  if (c == '\t') {
    do {
      put(' ');
      ++k.column;
    } while (k.column % 8 != 0);
    return;
  }
  put(char(c));
  ++k.column;
}
