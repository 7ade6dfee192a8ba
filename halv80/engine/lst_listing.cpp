// The code listing's shared state: the listing mode, and the two dirty ranges
// through which the window side learns which cells of the text screen changed,
// plus the one-row scroll of a pane. A range with end_row 0 is clean; the
// window side clears a range after painting it.
#include "halv80/engine/lst_listing.h"

#include <algorithm>
#include <cstring>

#include "halv80/engine/co_coroutine.h"
#include "halv80/engine/con_screen.h"

constinit LstState Lst;

namespace {

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

}  // namespace

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
    Co.Request.p1 = Con.Window == kSlotCode ? 1 : 0;
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
