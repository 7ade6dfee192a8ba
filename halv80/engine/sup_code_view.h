// What the window side keeps of the code pane between two code windows: a
// snapshot of the code-view state (mode, top row, cursor, shown file), the
// address range and name of the module or function at the program counter
// for the fix modes, and the code pane's scroll-thumb position.
#pragma once

#include "halv80/engine/lst_listing.h"
#include "platform/host/host_types.h"

struct CodeViewSnapshot {
  u16 valid = 0;                     // 0: nothing saved
  u16 mode = kListingNone;           // ListingMode
  u16 pane_shows = kListingNone;     // what the rows held
  u32 top_key = 0;                   // the top row's address or line
  u8 top_seed = kRowInstruction;     // the kind of the row above the top row
  u16 cursor_offset = kNoRow;        // cursor row - pane top; kNoRow none
  u16 cursor_column = kSourceMarginCells;
  u16 requested_column = kSourceMarginCells;
  u16 horizontal_offset = 0;
  u16 source_module = kNoModule;
  u16 target_line = kNoTargetLine;
  u16 line_count = 0;
  u32 listing_address = 0;
  char source_file[kModuleNameSize]{};
};

// flag 0: saves the engine's code-view state into `snapshot` and marks it
// valid; flag 1: puts a valid snapshot back (the pane is redrawn by core
// request 11 afterwards). Nothing else changes.
void sup_code_view_state(CodeViewSnapshot& snapshot, u16 flag);
// The address range [start, end) of the module (mode 1) or of the function
// (mode 0) that holds the program counter, with its name in the message
// buffer; 1 found, 0 none (start and end untouched). Without scope records
// the module is the one whose lines span the PC and the function runs from
// the symbol at or below the PC to the next one.
u16 sup_scope_range_at_pc(u16 mode, u32& start, u32& end);
// The code pane's scroll-thumb position, per mille of the listing (0..1000):
// the top line in the shown file, or the top row's address in 64 KiB.
u16 sup_code_thumb_pos(u16 pane);
