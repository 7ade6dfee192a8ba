// The pane split.
#include "halv80/engine/sup_panes.h"

#include <algorithm>

#include "halv80/engine/con_log.h"
#include "halv80/engine/con_screen.h"

namespace {

// Writes slot `slot`, or the current fields when the slot is current.
void set_pane(u16 slot, u16 top, u16 bottom) {
  const u16 last = bottom > top ? u16(bottom - 1) : top;  // an empty pane keeps its cursor on top
  WindowContext& w = Con.Slots[slot];
  w.top = top;
  w.bottom = bottom;
  w.row = std::clamp(w.row, top, last);
  if (Con.Window == slot) {
    Con.Top = top;
    Con.Bottom = bottom;
    con_set_cursor(Con.Column, std::clamp(Con.Row, top, last));
  }
}

}  // namespace

void sup_split_screen_panes(u16 window_index) {
  const PaneGeometry& g = Con.Geometry;
  // Row 0 belongs to neither pane; the code pane needs its first row.
  u16 first = std::clamp<u16>(g.command_first_row, 2, kScreenRows - 1);
  u16 rows = std::clamp<u16>(g.command_rows, 1, kScreenRows - 2);
  if (first + rows > kScreenRows) {
    if (window_index == kWindowIndexCommand)
      first = u16(kScreenRows - rows);
    else
      rows = u16(kScreenRows - first);
  }
  const WindowContext before = Con.Window == kSlotCommand
                                   ? WindowContext{Con.Column, Con.Row, Con.Top, Con.Bottom}
                                   : Con.Slots[kSlotCommand];
  set_pane(kSlotCode, 1, u16(first - 1));
  set_pane(kSlotCommand, first, u16(first + rows));
  if (before.top == first && before.bottom == first + rows) return;  // the command pane stays
  if (Con.OverlayDepth != 0 || Con.Window == kSlotOverlay) return;  // the overlay keeps its cells
  // Rows the command pane gave up would show its old text in the code pane,
  // which draws nothing while it has no listing: they are blanked.
  con_blank_rows(before.top, std::min(before.bottom, first));
  con_blank_rows(std::max(before.top, u16(first + rows)), before.bottom);
  // Rows it gained show whatever the screen last held there, and the prompt
  // would stand above its last row: the pane is filled from the log again,
  // the prompt line on its last row.
  con_log_refill_pane();
  // the caret stood on the command pane's cursor: it moves with it
  if (Con.CaretColumn != 0xFFFF && Con.CaretRow == before.row)
    Con.CaretRow = Con.Window == kSlotCommand ? Con.Row : Con.Slots[kSlotCommand].row;
}
