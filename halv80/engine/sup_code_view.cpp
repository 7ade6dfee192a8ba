// The code-view snapshot, the scope range at the program counter and the
// code pane's thumb position for the window side's code windows.
#include "halv80/engine/sup_code_view.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "halv80/engine/run_state.h"
#include "halv80/engine/sup_messages.h"
#include "halv80/engine/tgt_mmu.h"
#include "halv80/symbols/sym_modules.h"
#include "halv80/symbols/sym_scopes.h"
#include "halv80/symbols/sym_symbols.h"
#include "halv80/symbols/sym_store.h"

void sup_code_view_state(CodeViewSnapshot& s, u16 flag) {
  const u16 top = lst_pane_top();
  const bool rows = top < lst_pane_bottom() && top < kScreenRows;
  if (flag == 0) {
    s.mode = Lst.ListingMode;
    s.pane_shows = Lst.PaneShows;
    s.top_key = rows ? Lst.RowKey[top] : 0;
    s.top_seed = lst_seed();
    s.cursor_offset = rows && Lst.CursorRow >= top && Lst.CursorRow < lst_pane_bottom() ? u16(Lst.CursorRow - top) : kNoRow;
    s.cursor_column = Lst.CursorColumn;
    s.requested_column = Lst.RequestedColumn;
    s.horizontal_offset = Lst.HorizontalOffset;
    s.source_module = Lst.SourceModule;
    s.target_line = Lst.TargetLine;
    s.line_count = Lst.LineCount;
    s.listing_address = Lst.ListingAddress;
    std::memcpy(s.source_file, Lst.SourceFile, sizeof s.source_file);
    s.source_file[sizeof s.source_file - 1] = '\0';
    s.valid = 1;
    return;
  }
  if (s.valid == 0) return;
  Lst.ListingMode = s.mode;
  Lst.ViewFlag = s.mode == kListingSource ? 2 : 0;
  Lst.PaneShows = s.pane_shows;
  Lst.CursorColumn = s.cursor_column;
  Lst.RequestedColumn = s.requested_column;
  Lst.HorizontalOffset = s.horizontal_offset;
  Lst.SourceModule = s.source_module;
  Lst.TargetLine = s.target_line;
  Lst.LineCount = s.line_count;
  Lst.ListingAddress = s.listing_address;
  std::memcpy(Lst.SourceFile, s.source_file, sizeof Lst.SourceFile);
  Lst.SourceFile[sizeof Lst.SourceFile - 1] = '\0';
  Lst.FoundRow = kNoRow;  // the redraw replaces the cells the found row kept
  if (rows) {
    Lst.RowKey[top] = s.top_key;
    lst_set_seed(s.top_seed);
    if (s.cursor_offset != kNoRow && u32(top) + s.cursor_offset < lst_pane_bottom())
      Lst.CursorRow = u16(top + s.cursor_offset);
  }
}

namespace {

// The range and name of the module whose line addresses span `pc`.
bool module_lines_at(u32 pc, u32& start, u32& end, std::string& name) {
  for (u16 i = 0; i < SymModules.ModuleCount; ++i) {
    const ModuleRecord* m = sym_module_record(i);
    if (m == nullptr || m->line_count.get() == 0) continue;
    if (pc < m->lowest.get() || pc > m->highest.get()) continue;
    start = m->lowest.get();
    end = m->highest.get() + 1;
    char text[kMessageBufferSize]{};
    sym_name_text(m->file_name.get(), text, sizeof text);
    name = text;
    return true;
  }
  return false;
}

// The range from the symbol at or below `pc` to the next symbol above it,
// with the symbol's name: the function, where no scope records say more.
bool symbol_range_at(u32 pc, u32& start, u32& end, std::string& name) {
  const u16 position = sym_index_from_address(pc);
  const SymRecord* r = position != 0 ? sym_record_sorted(u16(position - 1)) : nullptr;
  if (r == nullptr) return false;
  start = r->value.get();
  end = 0x10000;
  for (u16 p = position; p < Sym.Count; ++p) {
    const SymRecord* next = sym_record_sorted(p);
    if (next != nullptr && next->value.get() > start) {
      end = next->value.get();
      break;
    }
  }
  name = sym_record_name(*r);
  return start <= pc && pc < end;
}

}  // namespace

u16 sup_scope_range_at_pc(u16 mode, u32& start, u32& end) {
  std::string name;
  const u16 found = sym_find_scope(0, mode == 1 ? kScopeModule : kScopeBlock, Run.Regs.pc);
  // a function is the outermost block around the program counter
  const u16 index = found == 0 ? 0 : mode == 1 ? u16(found - 1) : u16((SymScopes.FirstBlock != 0 ? SymScopes.FirstBlock : found) - 1);
  if (const ScopeRecord* r = found != 0 ? sym_scope_record(index) : nullptr) {
    start = r->location.get();
    end = start + r->size.get();
    char text[kMessageBufferSize]{};
    sym_name_text(r->name.get(), text, sizeof text);
    name = text;
  } else {
    // without scope records: the module's line range, or the function's symbol
    const u32 pc = tgt_to_physical(Run.Regs.pc);
    u32 s = 0, e = 0;
    if (!(mode == 1 ? module_lines_at(pc, s, e, name) : symbol_range_at(Run.Regs.pc, s, e, name))) return 0;
    start = s;
    end = e;
  }
  sup_set_message_buffer(name);
  return 1;
}

u16 sup_code_thumb_pos(u16) {
  const u16 top = lst_pane_top();
  if (top >= lst_pane_bottom() || top >= kScreenRows) return 0;
  u32 per_mille = 0;
  if (Lst.PaneShows == kListingSource) {
    const u32 line = Lst.RowKey[top] & 0xFFFF;
    per_mille = Lst.LineCount > 1 && line > 1 ? (line - 1) * 1000 / (Lst.LineCount - 1u) : 0;
  } else if (Lst.PaneShows == kListingAssembly) {
    per_mille = (Lst.RowKey[top] & 0xFFFF) * 1000 / 0xFFFF;
  }
  return u16(std::min<u32>(per_mille, 1000));
}
