// The console text screen: 160 rows of 200 (character, attribute) cells that the
// command and code windows draw from, the four output-window slots (command
// pane, code pane, spare, overlay) with the overlay stack, and the character
// writer with its colour escapes and Shift-JIS pairs. The current window's
// fields live in ConState's "current" members; the slot table holds the others.
#pragma once

#include <cstddef>
#include <memory>
#include <string_view>

#include "platform/host/host_types.h"

constexpr u16 kScreenRows = 160;
constexpr u16 kScreenColumns = 200;
constexpr std::size_t kScreenRowBytes = std::size_t(kScreenColumns) * 2;
constexpr std::size_t kScreenBytes = kScreenRowBytes * kScreenRows;  // 64,000

// Output-window slots.
constexpr u16 kSlotCommand = 0;  // the command pane
constexpr u16 kSlotCode = 1;     // the code pane
constexpr u16 kSlotSpare = 2;    // selected by no output; LF does not move its row
constexpr u16 kSlotOverlay = 3;  // the full-screen overlay

constexpr u8 kAttrNormal = 7;
constexpr u8 kEscapeByte = 0xFF;      // followed by 1..7: select a colour
constexpr u8 kAttrResetByte = 0xFE;   // back to attribute 7
constexpr u16 kAttrEscapePending = 0xFFFF;

struct WindowContext {
  u16 column;  // cursor column
  u16 row;     // cursor row
  u16 top;     // first row of the window
  u16 bottom;  // row after the window's last row
};

struct OverlayEntry {  // what was current when the overlay was pushed
  u16 window;
  u16 width;
  u16 attribute;
};

// What the window side publishes about its panes before it lets the engine
// re-split the screen (code window rows + 2 is the command pane's first row).
struct PaneGeometry {
  u16 code_columns = 200;
  u16 command_first_row = 18;
  u16 command_columns = 200;
  u16 command_rows = 7;
};

struct ConState {
  std::unique_ptr<u8[]> Screen;  // TextScreen; cell (c, r) at r * 400 + c * 2
  WindowContext Slots[4] = {
      {0, 0, 0, 0},      // command pane: set by the pane split
      {0, 1, 1, 17},     // code pane
      {0, 0, 0, 0},      // spare
      {0, 0, 0, 160},    // overlay
  };
  // The current window (a copy of its slot while it is current).
  u16 Window = kSlotCommand;
  u16 Column = 0;
  u16 Row = 0;
  u16 Top = 0;
  u16 Bottom = 0;
  u32 CellOffset = 0;                 // byte offset of the cursor cell
  u16 Width = kScreenColumns;         // columns of the current window
  u16 Attribute = kAttrNormal;        // kAttrEscapePending after 0xFF
  u8 LeadByte = 0;                    // a held Shift-JIS lead byte
  u8 LeadPending = 0;                 // 1 while LeadByte waits for its trail
  OverlayEntry Overlay[3]{};
  u16 OverlayDepth = 0;               // 0..3
  u16 PendingWindow = 0;              // 1: view keys act on the code pane; every unwind clears it
  u16 HighlightColumn = 0xFFFF;       // the editor's marked cell; 0xFFFF none
  u16 HighlightRow = 0;
  u16 HighlightShifted = 0;           // bit 0: the marked cell was shifted; bit 1: its trail cell
  PaneGeometry Geometry{};            // written by the window side
  u16 CaretColumn = 0xFFFF;           // published before a key wait; 0xFFFF none
  u16 CaretRow = 0xFFFF;
};
extern ConState Con;

// Allocates the screen and the log ring; the screen is all zero bytes.
void con_screen_init();
// Saves the current fields into slot `from`, loads slot `to`.
void con_switch_window(u16 from, u16 to);
// Makes the command pane current.
void con_reset_window();
// pop 0: push the current window and switch to the overlay with `attribute` and
// the full width (refused at depth 3). pop 1: back to what was pushed (nothing
// at depth 0).
void con_window_push(u16 attribute, u16 pop);
void con_set_cursor(u16 column, u16 row);
// Writes one byte into the current window: escapes, control bytes, Shift-JIS
// pairs, scrolling at the bottom, dirty marking.
void con_window_putc(u8 c);
void con_window_puts(std::string_view text);
// The screen layer of the console sink: the current window, plus the log ring
// for the command pane; on the window side the command pane's bytes go to the
// message line instead.
void con_screen_putc(u8 c);
// Fills the first n rows with blanks in attribute 7.
void con_clear_rows(u16 n);
// Fills rows first .. end - 1 (as far as the screen goes) the same way.
void con_blank_rows(u16 first, u16 end);
u8 con_cell_attribute(u16 column, u16 row);
void con_set_cell_attribute(u16 column, u16 row, u8 attribute);
// Read access to one screen row (400 bytes) for the window side and tests.
const u8* con_screen_row(u16 row);
// Posts request 6 (refresh) and yields, on the command side.
void con_request_refresh();
// The line editor's one marked cell (two cells for a double-byte character).
void con_highlight_cell(u16 column, u16 row);
void con_unhighlight_cell();
