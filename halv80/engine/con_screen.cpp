// The console text screen and its character writer. Every byte the command side
// prints lands here, in the current window's cells; the command pane's bytes
// are also appended to the log ring. The screen is indexed only after its row
// and column were checked against the screen and the current window.
#include "halv80/engine/con_screen.h"

#include <algorithm>
#include <array>

#include "halv80/engine/cmd_core.h"
#include "halv80/engine/co_coroutine.h"
#include "halv80/engine/con_log.h"
#include "halv80/engine/lst_listing.h"
#include "halv80/engine/sup_messages.h"
#include "platform/host/host_text.h"

constinit ConState Con;

namespace {

constexpr u8 kBlank = 0x20;
constexpr u16 kTabStop = 8;
constexpr u16 kCodePaneTabOrigin = 3;  // the code pane's tabs count after its margin
constexpr u16 kNoHighlight = 0xFFFF;
constexpr u16 kColumnLimit = 0xFFFF;   // a column counted on past the screen stops here

// Attributes selected by the escapes 0xFF 1 .. 0xFF 7.
constexpr std::array<u8, 7> kEscapeAttributes = {0x20, 0x30, 0x60, 0x70, 0x02, 0x03, 0x06};
constexpr u8 kAttrBadEscape = 3;  // an escape byte outside 1..7 ends the escape with it

void sync_cell_offset() {
  Con.CellOffset = u32(Con.Row) * u32(kScreenRowBytes) + u32(Con.Column) * 2;
}

void count_column(u16 n) {
  Con.Column = u16(std::min<u32>(u32(Con.Column) + n, kColumnLimit));
}

// The byte offset of a cell, or nullptr when the cell lies off the screen.
u8* screen_cell(u16 column, u16 row) {
  if (!Con.Screen || row >= kScreenRows || column >= kScreenColumns) return nullptr;
  return &Con.Screen[std::size_t(row) * kScreenRowBytes + std::size_t(column) * 2];
}

// Stores a cell when it lies inside the current window (rows top..bottom-1,
// columns below the window's width) and on the screen.
void store_cell(u16 column, u16 row, u8 character, u8 attribute) {
  if (row < Con.Top || row >= Con.Bottom || column >= Con.Width) return;
  u8* cell = screen_cell(column, row);
  if (cell == nullptr) return;
  cell[0] = character;
  cell[1] = attribute;
  lst_mark_dirty(column, row, column, row);
}

// One plain byte at the cursor in the current attribute.
void put_plain(u8 c) {
  store_cell(Con.Column, Con.Row, c, u8(Con.Attribute));
  count_column(1);
}

void put_tab() {
  // code pane in assembly mode: its text starts after a 3-cell margin
  const u16 origin =
      (Con.Window == kSlotCode && Lst.ListingMode != kListingSource) ? kCodePaneTabOrigin : 0;
  // At most one full tab stop: a column stuck at the limit never reaches a stop.
  for (u16 i = 0; i < kTabStop; ++i) {
    put_plain(kBlank);
    const int from_origin = int(Con.Column) - int(origin);
    if (((from_origin % kTabStop) + kTabStop) % kTabStop == 0) break;
  }
}

void put_backspace() {
  // at column 0, or already beyond the screen?
  if (Con.Column == 0 || Con.Column >= kScreenColumns) return;
  --Con.Column;
  store_cell(Con.Column, Con.Row, kBlank, kAttrNormal);
}

void put_line_feed() {
  Con.Column = 0;
  if (Con.Window == kSlotSpare) return;  // the spare slot keeps its row
  // a window reaching past the screen ends at the screen's last row
  if (u32(Con.Row) + 1 < std::min(Con.Bottom, kScreenRows)) {
    ++Con.Row;
  } else {
    lst_scroll_pane(0);  // at the bottom: the row stays, the window scrolls
  }
}

// Control bytes; false when c is not one.
bool put_control(u8 c) {
  switch (c) {
    case kAttrResetByte: Con.Attribute = kAttrNormal; return true;
    case kEscapeByte: Con.Attribute = kAttrEscapePending; return true;
    case 0x0D: Con.Column = 0; return true;
    case 0x08: put_backspace(); return true;
    case 0x09: put_tab(); return true;
    case 0x0A: put_line_feed(); return true;
    default: return false;
  }
}

// A held lead byte and its trail: two cells when the window has two columns
// left, a blank when only its last column is left.
void put_pair(u8 trail) {
  const u16 column = Con.Column;
  Con.LeadPending = 0;
  if (u32(column) + 2 <= Con.Width) {
    store_cell(column, Con.Row, Con.LeadByte, u8(Con.Attribute));
    store_cell(u16(column + 1), Con.Row, trail, u8(Con.Attribute));
  } else if (u32(column) + 1 == Con.Width) {
    store_cell(column, Con.Row, kBlank, u8(Con.Attribute));
  }
  count_column(2);
}

void shift_cell_attribute(u16 column, u16 row, bool up) {
  u8* cell = screen_cell(column, row);
  if (cell == nullptr) return;
  cell[1] = up ? u8(cell[1] << 4) : u8(cell[1] >> 4);
  lst_mark_dirty(column, row, column, row);
}

}  // namespace

void con_screen_init() {
  Con.Screen = std::make_unique<u8[]>(kScreenBytes);  // value-initialised: all zero
  Log.Bytes = std::make_unique<u8[]>(kLogRingSize);
  Log.Oldest = 0;
  Log.WriteEnd = 0;
  Log.Newest = 0;
  Log.View = 0;
  sync_cell_offset();
}

void con_switch_window(u16 from, u16 to) {
  if (from >= std::size(Con.Slots) || to >= std::size(Con.Slots)) return;
  Con.Slots[from] = WindowContext{Con.Column, Con.Row, Con.Top, Con.Bottom};
  const WindowContext& next = Con.Slots[to];
  Con.Column = next.column;
  Con.Row = next.row;
  Con.Top = next.top;
  Con.Bottom = next.bottom;
  Con.Window = to;
  sync_cell_offset();
}

void con_reset_window() { con_switch_window(Con.Window, kSlotCommand); }

void con_window_push(u16 attribute, u16 pop) {
  if (pop == 0) {
    if (Con.OverlayDepth >= std::size(Con.Overlay)) return;  // full: output stays where it is
    Con.Overlay[Con.OverlayDepth++] = OverlayEntry{Con.Window, Con.Width, Con.Attribute};
    con_switch_window(Con.Window, kSlotOverlay);
    Con.Attribute = attribute;
    Con.Width = kScreenColumns;
    return;
  }
  if (Con.OverlayDepth == 0) return;  // nothing pushed
  const OverlayEntry saved = Con.Overlay[--Con.OverlayDepth];
  con_switch_window(Con.Window, saved.window);
  Con.Width = saved.width;
  Con.Attribute = saved.attribute;
}

void con_set_cursor(u16 column, u16 row) {
  Con.Column = column;
  Con.Row = row;
  sync_cell_offset();
}

void con_window_putc(u8 c) {
  lst_mark_dirty(Con.Column, Con.Row, Con.Column, Con.Row);

  // escape pending: a colour number, or attribute 3 and the byte goes on
  if (Con.Attribute == kAttrEscapePending) {
    if (c >= 1 && c <= kEscapeAttributes.size()) {
      Con.Attribute = kEscapeAttributes[c - 1];
      return;
    }
    Con.Attribute = kAttrBadEscape;
  }

  if (Con.LeadPending == 0 && put_control(c)) {
    sync_cell_offset();
    return;
  }

  if (Con.Column >= kScreenColumns) {
    // beyond the screen: the column counts on, nothing is stored
    Con.LeadPending = 0;
    count_column(1);
  } else if (Con.LeadPending != 0) {
    put_pair(c);
  } else if (Cmd.LanguageJapanese != 0 && host_cp932_lead(c)) {
    if (Con.Column == kScreenColumns - 1) {
      put_plain(kBlank);  // no room for the trail on this screen row
    } else {
      Con.LeadByte = c;
      Con.LeadPending = 1;
    }
  } else {
    put_plain(c);
  }
  sync_cell_offset();
}

void con_window_puts(std::string_view text) {
  for (char c : text) con_window_putc(u8(c));
}

void con_screen_putc(u8 c) {
  const bool command_pane = Con.Window == kSlotCommand;
  if (command_pane && Co.OnCommandSide != 1) {
    sup_message_line_putc(c);  // the window side shows it on the message line
    return;
  }
  // The log goes first: it skips bytes written beyond the screen width, judged
  // by the column before this byte moves it.
  if (command_pane) con_log_putc(c);
  con_window_putc(c);
}

void con_clear_rows(u16 n) { con_blank_rows(0, n); }

void con_blank_rows(u16 first, u16 end) {
  end = std::min(end, kScreenRows);
  if (!Con.Screen || first >= end) return;
  for (std::size_t i = std::size_t(first) * kScreenColumns; i < std::size_t(end) * kScreenColumns; ++i) {
    Con.Screen[i * 2] = kBlank;
    Con.Screen[i * 2 + 1] = kAttrNormal;
  }
  lst_mark_dirty(0, first, kScreenColumns - 1, u16(end - 1));
}

u8 con_cell_attribute(u16 column, u16 row) {
  const u8* cell = screen_cell(column, row);
  return cell ? cell[1] : 0;
}

void con_set_cell_attribute(u16 column, u16 row, u8 attribute) {
  u8* cell = screen_cell(column, row);
  if (cell) cell[1] = attribute;
}

const u8* con_screen_row(u16 row) {
  if (!Con.Screen || row >= kScreenRows) return nullptr;
  return &Con.Screen[std::size_t(row) * kScreenRowBytes];
}

void con_request_refresh() {
  if (Co.OnCommandSide == 1) co_post_request(RequestCode::Refresh);
}

void con_highlight_cell(u16 column, u16 row) {
  con_unhighlight_cell();
  if (screen_cell(column, row) == nullptr) return;
  Con.HighlightColumn = column;
  Con.HighlightRow = row;
  Con.HighlightShifted = 0;
  // a double-byte character is marked in both of its cells
  const u16 cells =
      (Cmd.LanguageJapanese != 0 && host_cp932_lead(screen_cell(column, row)[0]) &&
       column + 1 < kScreenColumns)
          ? 2
          : 1;
  for (u16 i = 0; i < cells; ++i) {
    // foreground 0: shifting would leave nothing to see
    if ((con_cell_attribute(u16(column + i), row) & 0x0F) == 0) continue;
    shift_cell_attribute(u16(column + i), row, true);
    Con.HighlightShifted |= u16(1u << i);
  }
}

void con_unhighlight_cell() {
  if (Con.HighlightColumn == kNoHighlight) return;
  for (u16 i = 0; i < 2; ++i) {
    if ((Con.HighlightShifted & (1u << i)) == 0) continue;
    const u16 column = u16(Con.HighlightColumn + i);
    // Shift back only a cell that still looks shifted; one rewritten since
    // holds its own attribute.
    if ((con_cell_attribute(column, Con.HighlightRow) & 0x0F) != 0) continue;
    shift_cell_attribute(column, Con.HighlightRow, false);
  }
  Con.HighlightColumn = kNoHighlight;
  Con.HighlightShifted = 0;
}
