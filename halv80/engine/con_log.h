// The log ring: the last 16,384 bytes of command-pane output, kept as lines
// ending in LF (colour escapes included), from which the command window scrolls
// back. When the ring is full the oldest line is dropped whole; a single
// unfinished line never grows beyond what the ring can hold.
#pragma once

#include <cstddef>
#include <memory>
#include <span>
#include <string_view>

#include "platform/host/host_types.h"

constexpr u16 kLogRingSize = 16384;

// Called with each line as it is completed (without its LF).
using LogLineObserver = void (*)(void* context, std::string_view line);

struct LogRing {
  std::unique_ptr<u8[]> Bytes;
  u16 Oldest = 0;           // first byte of the oldest kept line
  u16 WriteEnd = 0;         // where the next byte goes; == Oldest: empty
  u16 Newest = 0;           // first byte of the newest (unfinished) line
  u16 View = 0;             // first byte of the line at the top of the scrolled view
  bool ViewFollowsEnd = true;  // the view shows the end; View is then meaningless
  u16 ViewActive = 0;       // 1 while the view position has been placed
  u16 TotalLines = 0;       // complete lines in the ring
  u16 ViewLines = 0;        // line number (from the oldest) at the bottom of the view
  u16 ThumbAtEnd = 0;       // the command-pane thumb was last posted at the end
  std::span<char> CopyTarget;  // not empty: con_log_render_line copies into it instead of drawing
  LogLineObserver Observer = nullptr;
  void* ObserverContext = nullptr;
};
extern LogRing Log;

// Appends one byte (command pane only); 0x08 takes the last byte back.
void con_log_putc(u8 c);
// Moves a ring position n lines forward (stops at the newest line) or back
// (stops at the oldest line). Returns the new position.
u16 con_log_step_lines(int n, u16 position);
// Draws the line at `position` into `row` of the current window (or copies it
// to CopyTarget without 0xFE/0xFF, at most 1,023 bytes and always terminated
// inside it). Returns the next line.
u16 con_log_render_line(u16 row, u16 position);
// Lets the window side follow completed lines (the console runner).
void con_log_set_observer(LogLineObserver observer, void* context);

// View actions of the command pane's scrolled log view; while
// Con.PendingWindow selects the code pane they move the code listing instead
// (lst_view_*). Line down at the newest line prints the next line of the memory display when the last
// command left it open (Mem.DumpContinues).
void con_view_line_up();
void con_view_line_down();
void con_view_page_up();
void con_view_page_down();
void con_view_to_start();
void con_view_to_end();
// Posts the command pane's scroll-thumb position (request 22, P1 = 1).
void con_thumb_position();
// Repaints the command pane from the log: from the oldest line, or with
// `keep_position` from the top of the view, one logged line a row up to the
// pane's last row but one, then the newest line (the prompt and what is typed
// after it) on the last row, with the cursor. Fewer lines than rows stand
// right above the newest line. The view and the thumb follow.
void con_log_repaint(bool keep_position);
// The command pane's rows filled again after the pane split changed them:
// con_log_repaint from the top of the view. Nothing while an overlay is up;
// the thumb is posted only on the command side.
void con_log_refill_pane();
// Scrolls the view so that log line `line` (0 is the oldest) stands about in
// the middle of the command pane, as far as the log allows, and repaints it.
// Returns the screen row that shows the line, or 0xFFFF when it shows nowhere.
u16 con_log_show_line(u32 line);
