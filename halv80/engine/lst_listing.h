// The code listing's shared state: the listing mode and the two dirty ranges
// through which the window side learns which cells changed.
#pragma once

#include "platform/host/host_types.h"

// ListingMode values.
constexpr u16 kListingNone = 0;
constexpr u16 kListingAssembly = 1;
constexpr u16 kListingSource = 2;

struct PaneDirtyRange {
  u16 first_row;
  u16 end_row;        // last row + 1; 0 = clean
  u16 first_column;
  u16 end_column;     // last column + 1
};

constexpr u16 kDirtyCommand = 0;  // rows from the code pane's bottom down
constexpr u16 kDirtyCode = 1;     // rows above the code pane's bottom

struct LstState {
  u16 ListingMode = 0;            // 0 none, 1 assembly, 2 source (kListing*)
  PaneDirtyRange Dirty[2]{};
};
extern LstState Lst;

// Widens the dirty range of the pane holding each row of the rectangle
// (columns col_from..col_to, rows row_from..row_to, inclusive); a rectangle
// that crosses the code pane's bottom is split there.
void lst_mark_dirty(u16 col_from, u16 row_from, u16 col_to, u16 row_to);
// Scrolls the current window's rows by one (down = 1: rows move down, the top
// row is freed; 0: rows move up, the bottom row is freed), blanking the freed
// row in attribute 7; on the command side request 5 is posted first.
void lst_scroll_pane(u16 down);
