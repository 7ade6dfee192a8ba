// The code-view snapshot, the scope range at the program counter and the
// code pane's thumb position for the window side's code windows.
#include "halv80/engine/sup_code_view.h"

#include <algorithm>
#include <cstring>

#include "halv80/engine/run_state.h"
#include "halv80/engine/sup_messages.h"
#include "halv80/symbols/sym_scopes.h"
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

u16 sup_scope_range_at_pc(u16 mode, u32& start, u32& end) {
  const u16 found = sym_find_scope(0, mode == 1 ? kScopeModule : kScopeBlock, Run.Regs.pc);
  if (found == 0) return 0;
  // a function is the outermost block around the program counter
  const u16 index = mode == 1 ? u16(found - 1) : u16((SymScopes.FirstBlock != 0 ? SymScopes.FirstBlock : found) - 1);
  const ScopeRecord* r = sym_scope_record(index);
  if (r == nullptr) return 0;
  start = r->location.get();
  end = start + r->size.get();
  char name[kMessageBufferSize]{};
  sym_name_text(r->name.get(), name, sizeof name);
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
