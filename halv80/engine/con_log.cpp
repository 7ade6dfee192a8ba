// The log ring of command-pane output and the command pane's scrolled view of
// it. Positions are ring offsets; the live bytes run from Oldest up to
// WriteEnd, and one byte always stays free, so WriteEnd == Oldest means empty.
// Lines end in LF; the bytes from Newest to WriteEnd are the unfinished line.
#include "halv80/engine/con_log.h"

#include <algorithm>
#include <string>
#include <string_view>

#include "halv80/engine/cmd_core.h"
#include "halv80/engine/co_coroutine.h"
#include "halv80/engine/con_scanner.h"
#include "halv80/engine/con_screen.h"
#include "halv80/engine/lst_listing.h"
#include "halv80/engine/mem_dump.h"
#include "halv80/engine/win_codes.h"

constinit LogRing Log;

namespace {

constexpr u16 kRingMask = kLogRingSize - 1;
static_assert((kLogRingSize & kRingMask) == 0, "positions wrap by masking");
constexpr u8 kLineFeed = 0x0A;
constexpr u8 kBackspace = 0x08;
// The unfinished line is cut at this length: with its LF it still fits beside
// the free byte, so a full ring always holds a complete line to drop.
constexpr u16 kLongestLine = kLogRingSize - 2;
constexpr std::size_t kCopyLimit = 1023;  // bytes a copied line keeps before its NUL
constexpr u32 kThumbRange = 1000;

u16 ring_next(u16 p) { return u16((p + 1) & kRingMask); }
u16 ring_prev(u16 p) { return u16((p - 1) & kRingMask); }
// Bytes from `from` up to `to`, going forward.
u16 ring_distance(u16 from, u16 to) { return u16((to - from) & kRingMask); }
u8 ring_at(u16 p) { return Log.Bytes[p & kRingMask]; }

// A position outside the live bytes (stale after the oldest line was dropped)
// becomes the oldest position.
u16 live_position(u16 p) {
  p &= kRingMask;
  return ring_distance(Log.Oldest, p) <= ring_distance(Log.Oldest, Log.WriteEnd) ? p : Log.Oldest;
}

// Start of the line after the one at p; p itself when p is at or past the newest line.
u16 line_after(u16 p) {
  u16 left = ring_distance(Log.Oldest, Log.Newest);
  u16 done = ring_distance(Log.Oldest, p);
  if (done >= left) return p;
  // a complete line lies between p and Newest, so its LF is found before Newest
  while (done < left) {
    const u8 b = ring_at(p);
    p = ring_next(p);
    ++done;
    if (b == kLineFeed) break;
  }
  return p;
}

// Start of the line before the one at p; p itself at the oldest position.
u16 line_before(u16 p) {
  if (p == Log.Oldest) return p;
  u16 q = ring_prev(p);
  while (q != Log.Oldest && ring_at(ring_prev(q)) != kLineFeed) q = ring_prev(q);
  return q;
}

// Moves p n lines (negative: back); `moved` gets the number of lines actually moved.
u16 step_counted(int n, u16 p, int& moved) {
  moved = 0;
  for (; n > 0; --n, ++moved) {
    const u16 q = line_after(p);
    if (q == p) break;
    p = q;
  }
  for (; n < 0; ++n, --moved) {
    const u16 q = line_before(p);
    if (q == p) break;
    p = q;
  }
  return p;
}

// Number of line ends between the oldest position and p: the line number of p.
u16 line_index(u16 p) {
  u16 count = 0;
  for (u16 q = Log.Oldest; q != p && q != Log.WriteEnd; q = ring_next(q))
    if (ring_at(q) == kLineFeed) ++count;
  return count;
}

void drop_oldest_line() {
  const u16 dropped = Log.Oldest;
  Log.Oldest = line_after(Log.Oldest);
  if (Log.TotalLines > 0) --Log.TotalLines;
  if (Log.ViewLines > 0) --Log.ViewLines;
  // a view inside the dropped line moves to the new oldest line
  if (ring_distance(dropped, Log.View) < ring_distance(dropped, Log.Oldest)) Log.View = Log.Oldest;
}

void report_completed_line(u16 start, u16 end) {
  if (Log.Observer == nullptr) return;
  const u16 length = ring_distance(start, end);
  if (u32(start) + length <= kLogRingSize) {
    Log.Observer(Log.ObserverContext,
                 std::string_view(reinterpret_cast<const char*>(&Log.Bytes[start]), length));
    return;
  }
  std::string line;  // the line wraps round the ring's end
  line.reserve(length);
  for (u16 p = start; p != end; p = ring_next(p)) line.push_back(char(ring_at(p)));
  Log.Observer(Log.ObserverContext, line);
}

void take_back_byte() {
  if (Log.WriteEnd == Log.Oldest) return;  // nothing logged
  Log.WriteEnd = ring_prev(Log.WriteEnd);
  if (ring_at(Log.WriteEnd) != kLineFeed) return;
  // the line end is gone: the line it ended is open again, from the byte
  // after the line end before it
  if (Log.TotalLines > 0) --Log.TotalLines;
  Log.ViewLines = std::min(Log.ViewLines, Log.TotalLines);
  u16 start = Log.WriteEnd;
  while (start != Log.Oldest && ring_at(ring_prev(start)) != kLineFeed) start = ring_prev(start);
  Log.Newest = start;
}

// Height of the command pane, from the current fields while it is current.
u16 command_pane_height() {
  const u16 top = Con.Window == kSlotCommand ? Con.Top : Con.Slots[kSlotCommand].top;
  const u16 bottom = Con.Window == kSlotCommand ? Con.Bottom : Con.Slots[kSlotCommand].bottom;
  return bottom > top ? u16(bottom - top) : 0;
}

// The view actions draw in the command pane, whichever window is current.
template <class Fn>
void on_command_pane(Fn&& fn) {
  const u16 previous = Con.Window;
  if (previous != kSlotCommand) con_switch_window(previous, kSlotCommand);
  fn();
  if (previous != kSlotCommand) con_switch_window(kSlotCommand, previous);
}

u16 pane_height() { return Con.Bottom > Con.Top ? u16(Con.Bottom - Con.Top) : 0; }

// Top line of the view that ends with the newest line.
u16 end_page_top(u16 h) {
  int moved;
  return step_counted(-(int(h) - 1), Log.Newest, moved);
}

u16 view_top(u16 h) { return Log.ViewFollowsEnd ? end_page_top(h) : live_position(Log.View); }

void place_view(u16 top, u16 h) {
  Log.View = top;
  Log.ViewLines = u16(std::min<u32>(u32(line_index(top)) + h - 1, Log.TotalLines));
  Log.ViewFollowsEnd = Log.ViewLines == Log.TotalLines;
  Log.ViewActive = Log.ViewFollowsEnd ? 0 : 1;
}

void follow_end() {
  Log.ViewFollowsEnd = true;
  Log.ViewActive = 0;
  Log.ViewLines = Log.TotalLines;
}

void redraw_pane(u16 top) {
  u16 p = top;
  for (u16 row = Con.Top; row < Con.Bottom && row < kScreenRows; ++row) p = con_log_render_line(row, p);
}

void post_thumb(u32 position) {
  Co.Request.p1 = kThumbCommandPane;
  Co.Request.p2 = std::min(position, kThumbRange);
  co_post_request(RequestCode::ScrollThumb);
}

// Line down at the newest line: the display that the last command left open
// prints its next line. The trace display would come first, once it keeps a
// continuation of its own; the memory display is the only one that does.
void continue_display() {
  if (Mem.DumpContinues == 0) return;
  on_command_pane([] {
    // the prompt, with nothing typed after it, gives way to the line and
    // comes back below it
    const bool at_prompt = Scan.LastChar == Cmd.PromptChar && Con.Column == 1;
    if (at_prompt) con_putc(kBackspace);
    mem_dump_next_line(at_prompt ? 0 : 1);
    if (at_prompt) {
      con_putc(kLineFeed);
      con_putc(u8(Cmd.PromptChar));
    }
  });
}

}  // namespace

void con_log_putc(u8 c) {
  if (!Log.Bytes) return;
  if (Con.Column >= kScreenColumns) return;  // not shown, so not logged
  if (c == kBackspace) {
    take_back_byte();
    return;
  }
  // an overlong unfinished line is cut: its bytes are dropped up to its LF
  if (c != kLineFeed && ring_distance(Log.Newest, Log.WriteEnd) >= kLongestLine) return;
  if (ring_next(Log.WriteEnd) == Log.Oldest) drop_oldest_line();
  if (ring_next(Log.WriteEnd) == Log.Oldest) return;  // no complete line to drop

  Log.Bytes[Log.WriteEnd] = c;
  Log.WriteEnd = ring_next(Log.WriteEnd);
  if (c != kLineFeed) return;

  const u16 line_start = Log.Newest;
  ++Log.TotalLines;
  follow_end();
  Log.Newest = Log.WriteEnd;
  con_thumb_position();
  report_completed_line(line_start, ring_prev(Log.WriteEnd));
}

u16 con_log_step_lines(int n, u16 position) {
  if (!Log.Bytes) return position;
  int moved;
  return step_counted(n, live_position(position), moved);
}

u16 con_log_render_line(u16 row, u16 position) {
  if (!Log.CopyTarget.empty()) {
    const std::size_t limit = std::min(kCopyLimit, Log.CopyTarget.size() - 1);
    std::size_t n = 0;
    if (Log.Bytes) {
      u16 p = live_position(position);
      while (p != Log.WriteEnd) {
        const u8 b = ring_at(p);
        p = ring_next(p);
        if (b == kLineFeed) break;
        if (b == kAttrResetByte || b == kEscapeByte) continue;
        if (n < limit) Log.CopyTarget[n++] = char(b);
      }
      position = p;
    }
    Log.CopyTarget[n] = '\0';
    return position;
  }

  const u16 saved_column = Con.Column;
  const u16 saved_row = Con.Row;
  Con.Attribute = kAttrNormal;
  Con.LeadPending = 0;
  con_set_cursor(0, row);
  if (Log.Bytes) {
    u16 p = live_position(position);
    while (p != Log.WriteEnd) {
      const u8 b = ring_at(p);
      p = ring_next(p);
      if (b == kLineFeed) break;  // the line end would move the row
      con_window_putc(b);
    }
    position = p;
  }
  // the rest of the row becomes blanks in attribute 7
  Con.Attribute = kAttrNormal;
  Con.LeadPending = 0;
  while (Con.Column < Con.Width && Con.Column < kScreenColumns) con_window_putc(0x20);
  con_set_cursor(saved_column, saved_row);
  Con.Attribute = kAttrNormal;
  return position;
}

void con_log_set_observer(LogLineObserver observer, void* context) {
  Log.Observer = observer;
  Log.ObserverContext = context;
}

void con_view_line_up() {
  if (Con.PendingWindow != 0) {
    lst_view_line_up();
    return;
  }
  if (!Log.Bytes) return;
  on_command_pane([] {
    const u16 h = pane_height();
    if (h == 0) return;
    const u16 top = view_top(h);
    if (top == Log.Oldest) return;  // no line above the view
    lst_scroll_pane(1);
    const u16 above = line_before(top);
    con_log_render_line(Con.Top, above);
    place_view(above, h);
  });
  con_thumb_position();
}

void con_view_line_down() {
  if (Con.PendingWindow != 0) {
    lst_view_line_down();
    return;
  }
  if (!Log.Bytes) return;
  bool at_newest = false;
  on_command_pane([&at_newest] {
    const u16 h = pane_height();
    if (h == 0) return;
    at_newest = Log.ViewFollowsEnd;
    if (at_newest) return;
    const u16 top = view_top(h);
    int moved;
    const u16 bottom = step_counted(h - 1, top, moved);
    if (bottom == Log.Newest) {  // the newest line is in view already
      follow_end();
      at_newest = true;
      return;
    }
    lst_scroll_pane(0);
    con_log_render_line(u16(Con.Bottom - 1), line_after(bottom));
    place_view(line_after(top), h);
  });
  if (at_newest) continue_display();
  con_thumb_position();
}

void con_view_page_up() {
  if (Con.PendingWindow != 0) {
    lst_view_page_up();
    return;
  }
  if (!Log.Bytes) return;
  on_command_pane([] {
    const u16 h = pane_height();
    if (h == 0) return;
    int moved;
    const u16 top = step_counted(-(int(h) - 1), view_top(h), moved);
    place_view(top, h);
    redraw_pane(top);
  });
  con_thumb_position();
}

void con_view_page_down() {
  if (Con.PendingWindow != 0) {
    lst_view_page_down();
    return;
  }
  if (!Log.Bytes) return;
  on_command_pane([] {
    const u16 h = pane_height();
    if (h == 0 || Log.ViewFollowsEnd) return;
    int moved;
    u16 top = step_counted(h - 1, view_top(h), moved);
    const u16 last = end_page_top(h);  // the last page ends with the newest line
    if (line_index(top) > line_index(last)) top = last;
    place_view(top, h);
    redraw_pane(top);
  });
  con_thumb_position();
}

void con_view_to_start() {
  if (Con.PendingWindow != 0) {
    lst_view_to_start();
    return;
  }
  if (!Log.Bytes) return;
  on_command_pane([] {
    const u16 h = pane_height();
    if (h == 0) return;
    place_view(Log.Oldest, h);
    redraw_pane(Log.Oldest);
  });
  con_thumb_position();
}

void con_view_to_end() {
  if (Con.PendingWindow != 0) {
    lst_view_to_end();
    return;
  }
  if (!Log.Bytes) return;
  on_command_pane([] {
    const u16 h = pane_height();
    if (h == 0) return;
    const u16 top = end_page_top(h);
    Log.View = top;
    follow_end();
    redraw_pane(top);
  });
  con_thumb_position();
}

namespace {

// The pane from `top`: one logged line a row down to the last row but one,
// then the newest line (the prompt and what is typed after it) on the last
// row, where the cursor goes, so that the next output and the next prompt
// follow on from it. Lines from `top` that end before the last row but one
// give way to the page that ends with the newest line; a log with fewer lines
// than that stands right above the newest line, blank rows above it, as the
// screen showed it when it was written. Returns the row that shows the view's
// top line.
u16 repaint_from(u16 top, u16 h) {
  const u16 bottom = std::min<u16>(Con.Bottom, kScreenRows);
  if (bottom <= Con.Top) return Con.Top;
  const u16 rows = u16(bottom - Con.Top);
  const u16 last_page = end_page_top(rows);
  top = live_position(top);
  if (line_index(top) > line_index(last_page)) top = last_page;
  // complete lines from the top one up to the newest line, as many as fit
  const u16 shown = u16(std::min<u32>(u32(line_index(Log.Newest)) - line_index(top), rows - 1u));
  u16 row = Con.Top;
  for (u16 blank = u16(rows - 1 - shown); blank > 0; --blank) con_log_render_line(row++, Log.WriteEnd);
  const u16 first = row;
  u16 p = top;
  for (u16 i = 0; i < shown; ++i) p = con_log_render_line(row++, p);
  con_log_render_line(row, Log.Newest);
  con_set_cursor(Con.Column, row);
  place_view(top, h);
  return first;
}

}  // namespace

void con_log_repaint(bool keep_position) {
  if (!Log.Bytes) return;
  on_command_pane([keep_position] {
    const u16 h = pane_height();
    if (h == 0) return;
    repaint_from(keep_position ? view_top(h) : Log.Oldest, h);
  });
  con_thumb_position();
}

void con_log_refill_pane() {
  // an overlay covers the screen: it keeps its cells
  if (!Log.Bytes || Con.OverlayDepth != 0 || Con.Window == kSlotOverlay) return;
  on_command_pane([] {
    const u16 h = pane_height();
    if (h != 0) repaint_from(view_top(h), h);
  });
  // on the window side nobody would serve the thumb's request
  if (Co.OnCommandSide == 1) con_thumb_position();
}

u16 con_log_show_line(u32 line) {
  if (!Log.Bytes) return 0xFFFF;
  u16 shown = 0xFFFF;
  on_command_pane([line, &shown] {
    const u16 h = pane_height();
    if (h == 0) return;
    const u32 wanted = std::min<u32>(line, Log.TotalLines);
    // top line: the wanted one about mid-pane, no lower than the oldest and
    // no later than the page that ends with the newest line
    const u32 last_top = line_index(end_page_top(h));
    const u32 top_line = std::min<u32>(wanted > h / 2u ? wanted - h / 2u : 0, last_top);
    const u16 top = con_log_step_lines(-int(Log.TotalLines - top_line), Log.Newest);
    const u16 first = repaint_from(top, h);
    const u32 row = first + (wanted - line_index(Log.View));
    if (row < Con.Bottom && row < kScreenRows) shown = u16(row);
  });
  con_thumb_position();
  return shown;
}

void con_thumb_position() {
  const u32 p = Log.ViewLines;   // line number at the bottom of the view
  const u32 t = Log.TotalLines;
  const u32 h = command_pane_height();
  // near the start of a view that does not end at the newest line?
  if (p != t && p < h) {
    Log.ThumbAtEnd = 0;
    post_thumb(0);
    return;
  }
  if (t > h) {
    if (Log.ThumbAtEnd != 0 && p == t) return;  // still at the end: nothing new to show
    Log.ThumbAtEnd = p == t ? 1 : 0;
    post_thumb(p > h ? (p - h) * kThumbRange / (t - h) : 0);  // t > h: the divisor is positive
    return;
  }
  Log.ThumbAtEnd = 0;
  post_thumb(0);
}
