// The log ring of command-pane output: keeping whole lines when full, cutting
// an overlong line, backspace, line steps, redrawing a line from the ring, the
// copy mode of the line provider, the scrolled view and its thumb.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "halv80/engine/co_coroutine.h"
#include "halv80/engine/con_log.h"
#include "halv80/engine/con_screen.h"
#include "halv80/engine/engine_state.h"
#include "halv80/engine/sup_panes.h"
#include "halv80/engine/tests/engine_fixture.h"

namespace {

class ConLogTest : public testing::Test {
 protected:
  void SetUp() override { fresh(); }

  static void fresh() { fresh_console(); }

  static void log_write(std::string_view bytes) {
    for (char c : bytes) con_log_putc(u8(c));
  }
  // Command-pane output as the command side writes it: screen and log.
  static void print(std::string_view bytes) {
    Co.OnCommandSide = 1;
    for (char c : bytes) con_screen_putc(u8(c));
    Co.OnCommandSide = 0;
  }
  // The line at `position` as the line provider copies it.
  static std::string copied_line(u16 position, u16* next = nullptr) {
    char buffer[1024];
    std::memset(buffer, 0x55, sizeof buffer);
    Log.CopyTarget = buffer;
    const u16 after = con_log_render_line(0, position);
    Log.CopyTarget = {};
    if (next) *next = after;
    return std::string(buffer);
  }
  // Every line from the oldest one, the unfinished one last.
  static std::vector<std::string> all_lines() {
    std::vector<std::string> lines;
    u16 p = Log.Oldest;
    for (;;) {
      lines.push_back(copied_line(p));
      const u16 next = con_log_step_lines(1, p);
      if (next == p) return lines;
      p = next;
    }
  }
  static u16 ring_distance(u16 from, u16 to) { return u16((to - from) & (kLogRingSize - 1)); }

  static std::string row_text(u16 row) {
    std::string s;
    for (u16 c = 0; c < kScreenColumns; ++c) s.push_back(char(con_screen_row(row)[c * 2]));
    const auto end = s.find_last_not_of(std::string_view(" \0", 2));
    return end == std::string::npos ? std::string() : s.substr(0, end + 1);
  }
};

std::string numbered_line(int n, std::size_t length) {
  std::string line = std::to_string(100000 + n).substr(1);
  line.resize(length - 1, '.');
  return line + "\n";
}

TEST_F(ConLogTest, BurstKeepsTheNewestCompleteLines) {
  const struct {
    std::size_t line_length;  // with its LF
    int lines;
  } cases[] = {{100, 170}, {37, 460}, {16383, 3}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line_length);
    fresh();
    for (int i = 0; i < c.lines; ++i) log_write(numbered_line(i, c.line_length));

    // as many of the newest lines as fit beside the one free byte, each whole
    const u16 kept = u16((kLogRingSize - 1) / c.line_length);
    EXPECT_EQ(Log.TotalLines, kept);
    EXPECT_EQ(Log.Bytes[(Log.Oldest - 1) & (kLogRingSize - 1)], '\n');
    const std::vector<std::string> lines = all_lines();
    ASSERT_EQ(lines.size(), std::size_t(kept) + 1);
    for (u16 i = 0; i < kept; ++i) {
      const std::string want = numbered_line(c.lines - kept + i, c.line_length);
      EXPECT_EQ(lines[i], want.substr(0, std::min<std::size_t>(want.size() - 1, 1023))) << i;
    }
    EXPECT_EQ(lines.back(), "");  // the unfinished line is empty
    EXPECT_EQ(Log.Newest, Log.WriteEnd);
  }
}

TEST_F(ConLogTest, OverlongUnfinishedLineIsCut) {
  log_write(std::string(20000, 'x'));
  EXPECT_EQ(ring_distance(Log.Newest, Log.WriteEnd), kLogRingSize - 2);
  log_write("\n");
  EXPECT_EQ(Log.TotalLines, 1);
  EXPECT_EQ(ring_distance(Log.Oldest, con_log_step_lines(1, Log.Oldest)), kLogRingSize - 1);
  // the next line needs room: the long one goes whole
  log_write("ab\n");
  EXPECT_EQ(Log.TotalLines, 1);
  EXPECT_EQ(all_lines(), (std::vector<std::string>{"ab", ""}));
}

TEST_F(ConLogTest, BackspaceTakesBytesBack) {
  const struct {
    std::string_view before;
    int backspaces;
    u16 lines_after;
    std::string_view then;
    std::vector<std::string> lines;
  } cases[] = {
      {"", 1, 0, "a\n", {"a", ""}},                  // empty ring: nothing to take
      {"ab\ncd\n", 1, 1, "e\n", {"ab", "cde", ""}},  // the line end goes, the line reopens
      {"ab\n\n", 1, 1, "x\n", {"ab", "x", ""}},      // the reopened line is empty
      {"ab\n", 4, 0, "z\n", {"z", ""}},
      {"abc", 1, 0, "\n", {"ab", ""}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(std::string(c.before)));
    fresh();
    log_write(c.before);
    for (int i = 0; i < c.backspaces; ++i) con_log_putc(0x08);
    EXPECT_EQ(Log.TotalLines, c.lines_after);
    log_write(c.then);
    EXPECT_EQ(all_lines(), c.lines);
  }
}

TEST_F(ConLogTest, NothingIsLoggedBeyondTheScreenWidth) {
  log_write("ab");
  con_set_cursor(kScreenColumns, kPaneTop);
  log_write("cd\x08\n");
  con_set_cursor(0, kPaneTop);
  EXPECT_EQ(all_lines(), (std::vector<std::string>{"ab"}));
  EXPECT_EQ(Log.TotalLines, 0);
}

TEST_F(ConLogTest, StepLinesStopsAtBothEnds) {
  log_write("l0\nl1\nl2\ntail");  // lines start at 0, 3, 6; the unfinished one at 9
  const struct {
    int n;
    u16 from;
    u16 to;
  } cases[] = {
      {1, 0, 3}, {5, 0, 9}, {0, 3, 3}, {1, 9, 9},
      {-1, 6, 3}, {-9, 6, 0}, {-1, 9, 6}, {-1, 0, 0},
      {-1, 11, 9},  // from inside a line: back to that line's start
      {1, 5000, 3},  // a position outside the ring's bytes counts as the oldest
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.n << " lines from " << c.from);
    EXPECT_EQ(con_log_step_lines(c.n, c.from), c.to);
  }
}

TEST_F(ConLogTest, LineRedrawnFromTheRingKeepsItsColours) {
  const std::string_view line = "ab\xFF\x03" "cd\xFE" "e\x09" "f\xFF" "X\x82\xA0" "g";
  for (char c : line) {  // as the command pane's output does: log, then screen
    con_log_putc(u8(c));
    con_window_putc(u8(c));
  }
  con_log_putc('\n');
  con_window_putc('\n');
  con_set_cursor(7, 23);
  con_window_puts("\xFF\x05");
  const u16 next = con_log_render_line(kPaneTop + 2, Log.Oldest);
  EXPECT_EQ(next, Log.Newest);
  const u8* written = con_screen_row(kPaneTop);
  const u8* drawn = con_screen_row(kPaneTop + 2);
  const u16 used = 13;  // "ab", "cd", "e", the tab to column 8, "f", "X", the pair, "g"
  for (u16 i = 0; i < used * 2; ++i) EXPECT_EQ(drawn[i], written[i]) << "byte " << i;
  EXPECT_EQ(drawn[used * 2 - 1], 3);  // the last cell is in the bad-escape attribute
  for (u16 col = used; col < kScreenColumns; ++col) {  // the rest of the row is blanked
    EXPECT_EQ(drawn[col * 2], ' ') << col;
    EXPECT_EQ(drawn[col * 2 + 1], kAttrNormal) << col;
  }
  // the cursor is back, and the attribute is normal again
  EXPECT_EQ(Con.Column, 7);
  EXPECT_EQ(Con.Row, 23);
  EXPECT_EQ(Con.Attribute, kAttrNormal);
}

TEST_F(ConLogTest, CopyModeDropsColourBytesAndStopsAt1023) {
  const struct {
    std::string line;
    std::string copied;
  } cases[] = {
      {"ab\xFE" "cd\xFF\x02" "ef", "abcd\x02" "ef"},
      {std::string(1500, 'y'), std::string(1023, 'y')},
      {std::string(1023, 'z') + "\xFF\x03", std::string(1023, 'z') + "\x03"},
      {"", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.copied.size());
    fresh();
    log_write(c.line + "\nnext\n");
    u16 next = 0;
    EXPECT_EQ(copied_line(Log.Oldest, &next), c.copied.substr(0, 1023));
    EXPECT_EQ(copied_line(next), "next");  // the long line is skipped whole
  }
}

TEST_F(ConLogTest, CopyStaysInsideASmallTarget) {
  fresh();
  log_write("abcdefgh\n");
  char buffer[6];
  std::memset(buffer, 0x55, sizeof buffer);
  Log.CopyTarget = std::span<char>(buffer).first(4);
  con_log_render_line(0, Log.Oldest);
  Log.CopyTarget = {};
  EXPECT_EQ(std::string(buffer), "abc");
  EXPECT_EQ(buffer[4], 0x55);  // nothing past the target
}

TEST_F(ConLogTest, ObserverSeesEachCompletedLine) {
  struct Seen {
    std::vector<std::string> lines;
  } seen;
  con_log_set_observer(
      [](void* context, std::string_view line) {
        static_cast<Seen*>(context)->lines.emplace_back(line);
      },
      &seen);
  log_write("one\nt");
  log_write("wo\n");
  log_write("part");
  EXPECT_EQ(seen.lines, (std::vector<std::string>{"one", "two"}));
  // a line that wraps round the ring's end arrives in one piece
  log_write("\n" + std::string(16370, 'a') + "\n");
  ASSERT_LT(Log.WriteEnd, kLogRingSize);
  const std::string wrapping = "wrapping\xFF\x03" "line";
  log_write(wrapping + "\n");
  ASSERT_LT(Log.WriteEnd, 20);  // it did wrap
  ASSERT_EQ(seen.lines.size(), 5u);
  EXPECT_EQ(seen.lines[2], "part");
  EXPECT_EQ(seen.lines[3], std::string(16370, 'a'));
  EXPECT_EQ(seen.lines[4], wrapping);
}

TEST_F(ConLogTest, ViewActionsMoveTheViewAndRedrawThePane) {
  for (int i = 0; i < 20; ++i) log_write("L" + std::to_string(100 + i).substr(1) + "\n");
  ASSERT_EQ(Log.TotalLines, 20);
  enum Action { kUp, kDown, kPageUp, kPageDown, kStart, kEnd };
  const struct {
    Action action;
    std::vector<std::string> rows;  // rows 20..24 afterwards
    u16 view_lines;
    int thumb;  // -1: nothing posted
  } steps[] = {
      {kPageUp, {"L12", "L13", "L14", "L15", "L16"}, 16, 733},
      {kPageUp, {"L08", "L09", "L10", "L11", "L12"}, 12, 466},
      {kPageUp, {"L04", "L05", "L06", "L07", "L08"}, 8, 200},
      {kPageUp, {"L00", "L01", "L02", "L03", "L04"}, 4, 0},
      {kPageUp, {"L00", "L01", "L02", "L03", "L04"}, 4, 0},  // at the oldest line
      {kUp, {"L00", "L01", "L02", "L03", "L04"}, 4, 0},
      {kDown, {"L01", "L02", "L03", "L04", "L05"}, 5, 0},
      {kUp, {"L00", "L01", "L02", "L03", "L04"}, 4, 0},
      {kPageDown, {"L04", "L05", "L06", "L07", "L08"}, 8, 200},
      {kPageDown, {"L08", "L09", "L10", "L11", "L12"}, 12, 466},
      {kPageDown, {"L12", "L13", "L14", "L15", "L16"}, 16, 733},
      {kPageDown, {"L16", "L17", "L18", "L19", ""}, 20, 1000},  // the last page ends with the newest line
      {kDown, {"L16", "L17", "L18", "L19", ""}, 20, -1},        // at the end: the thumb stays
      {kUp, {"L15", "L16", "L17", "L18", "L19"}, 19, 933},
      {kDown, {"L16", "L17", "L18", "L19", ""}, 20, 1000},
      {kStart, {"L00", "L01", "L02", "L03", "L04"}, 4, 0},
      {kEnd, {"L16", "L17", "L18", "L19", ""}, 20, 1000},
  };
  int n = 0;
  for (const auto& s : steps) {
    SCOPED_TRACE(testing::Message() << "step " << n++);
    Co.Request = RequestBlock{};
    switch (s.action) {
      case kUp: con_view_line_up(); break;
      case kDown: con_view_line_down(); break;
      case kPageUp: con_view_page_up(); break;
      case kPageDown: con_view_page_down(); break;
      case kStart: con_view_to_start(); break;
      case kEnd: con_view_to_end(); break;
    }
    for (u16 r = 0; r < 5; ++r) EXPECT_EQ(row_text(u16(kPaneTop + r)), s.rows[r]) << "row " << r;
    EXPECT_EQ(Log.ViewLines, s.view_lines);
    EXPECT_EQ(Log.ViewFollowsEnd, s.view_lines == Log.TotalLines);
    if (s.thumb < 0) {
      EXPECT_EQ(Co.Request.code, RequestCode::None);
    } else {
      EXPECT_EQ(Co.Request.code, RequestCode::ScrollThumb);
      EXPECT_EQ(Co.Request.p1, 1u);
      EXPECT_EQ(Co.Request.p2, u32(s.thumb));
    }
  }
  // the actions draw in the command pane whichever window is current
  con_switch_window(kSlotCommand, kSlotCode);
  con_view_to_start();
  EXPECT_EQ(Con.Window, kSlotCode);
  EXPECT_EQ(row_text(kPaneTop), "L00");
  EXPECT_EQ(row_text(Con.Top), "");
}

TEST_F(ConLogTest, RepaintAndShowingALineKeepTheInputLineBelow) {
  for (int i = 0; i < 20; ++i) log_write("L" + std::to_string(100 + i).substr(1) + "\n");
  log_write(">ab");  // the prompt and what is typed after it
  const auto rows = [] {
    std::vector<std::string> r;
    for (u16 i = 0; i < 5; ++i) r.push_back(row_text(u16(kPaneTop + i)));
    return r;
  };
  using Rows = std::vector<std::string>;

  con_log_repaint(false);
  EXPECT_EQ(rows(), (Rows{"L00", "L01", "L02", "L03", ">ab"}));
  EXPECT_EQ(Log.ViewLines, 4);
  con_view_page_down();
  con_log_repaint(true);  // from the view's top
  EXPECT_EQ(rows(), (Rows{"L04", "L05", "L06", "L07", ">ab"}));

  const struct {
    u32 line;
    u16 row;  // from the pane's top
    Rows rows;
    bool thumb_posted;  // not again while it stays at the end
  } cases[] = {
      {10, 2, {"L08", "L09", "L10", "L11", ">ab"}, true},  // about mid-pane
      {1, 1, {"L00", "L01", "L02", "L03", ">ab"}, true},   // not above the oldest line
      {19, 3, {"L16", "L17", "L18", "L19", ">ab"}, true},  // not past the newest
      {500, 4, {"L16", "L17", "L18", "L19", ">ab"}, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    Co.Request = RequestBlock{};
    EXPECT_EQ(con_log_show_line(c.line), kPaneTop + c.row);
    EXPECT_EQ(rows(), c.rows);
    EXPECT_EQ(Co.Request.code == RequestCode::ScrollThumb, c.thumb_posted);
  }

  // a log shorter than the pane: its lines right above the input line, which
  // stays on the last row with the cursor, where the next prompt goes
  fresh();
  log_write("L00\nL01\n>");
  con_set_cursor(1, kPaneTop);
  con_log_repaint(false);
  EXPECT_EQ(rows(), (Rows{"", "", "L00", "L01", ">"}));
  EXPECT_TRUE(Log.ViewFollowsEnd);
  EXPECT_EQ(Con.Row, kPaneBottom - 1);
  EXPECT_EQ(Con.Column, 1);
}

// The window side lays the panes out again: the command pane's rows, old and
// new, show the log's lines with the input line and the cursor on its last
// row, wherever the pane now lies and however many rows it has; the rows it
// gave up are blanked.
TEST_F(ConLogTest, ThePaneSplitFillsTheCommandPaneFromTheLog) {
  const auto split = [](u16 first, u16 rows) {
    Con.Geometry.command_first_row = first;
    Con.Geometry.command_rows = rows;
    sup_split_screen_panes(kWindowIndexCommand);
  };
  const auto pane = [] {
    std::vector<std::string> r;
    for (u16 row = Con.Top; row < Con.Bottom; ++row) r.push_back(row_text(row));
    return r;
  };
  using Rows = std::vector<std::string>;
  const struct {
    const char* name;
    int lines;       // logged before the input line
    u16 first, rows; // the new layout; the old one is 20, 5
    Rows shown;
  } cases[] = {
      {"grown at the bottom", 20, 20, 8, {"L13", "L14", "L15", "L16", "L17", "L18", "L19", ">ab"}},
      {"moved down", 20, 23, 5, {"L16", "L17", "L18", "L19", ">ab"}},
      {"moved up and grown", 20, 17, 7, {"L14", "L15", "L16", "L17", "L18", "L19", ">ab"}},
      {"shrunk", 20, 20, 2, {"L19", ">ab"}},
      {"grown past a short log", 2, 20, 6, {"", "", "", "L00", "L01", ">ab"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    fresh();
    split(kPaneTop, kPaneBottom - kPaneTop);
    con_set_cursor(0, kPaneBottom - 1);
    for (int i = 0; i < c.lines; ++i) print("L" + std::to_string(100 + i).substr(1) + "\n");
    print(">ab");
    // stale cells where the pane will lie, and the caret on the cursor
    for (u16 row = 15; row < 30; ++row) {
      Con.Screen[row * kScreenRowBytes] = '#';
      Con.Screen[row * kScreenRowBytes + 1] = kAttrNormal;
    }
    Con.CaretColumn = Con.Column;
    Con.CaretRow = Con.Row;
    split(c.first, c.rows);
    EXPECT_EQ(pane(), c.shown);
    EXPECT_EQ(Con.Row, c.first + c.rows - 1);
    EXPECT_EQ(Con.Column, 3);
    EXPECT_EQ(Con.CaretRow, Con.Row);
    // rows it gave up are blank, not a copy of its old lines in the code pane
    for (u16 row = kPaneTop; row < kPaneBottom; ++row) {
      if (row < c.first || row >= c.first + c.rows) {
        EXPECT_EQ(row_text(row), "") << row;
      }
    }
    // the next output follows on from the input line
    print("\nZ");
    EXPECT_EQ(row_text(u16(Con.Row - 1)), ">ab");
    EXPECT_EQ(row_text(Con.Row), "Z");
  }
  // the same layout again changes nothing: a view scrolled back stays
  fresh();
  split(kPaneTop, 5);
  for (int i = 0; i < 20; ++i) log_write("L" + std::to_string(100 + i).substr(1) + "\n");
  con_view_page_up();
  const Rows scrolled = pane();
  split(kPaneTop, 5);
  EXPECT_EQ(pane(), scrolled);
  // grown, it keeps its top line while the lines below still fill it
  split(kPaneTop, 6);
  EXPECT_EQ(pane(), (Rows{"L12", "L13", "L14", "L15", "L16", ""}));
  EXPECT_FALSE(Log.ViewFollowsEnd);
}

TEST_F(ConLogTest, ThumbPositionNeverDividesByZero) {
  const struct {
    u16 view_lines;
    u16 total;
    u16 height;
    u16 at_end;
    int posted;  // -1: nothing
    u16 at_end_after;
  } cases[] = {
      {3, 10, 5, 1, 0, 0},      // near the start of a scrolled view
      {10, 10, 5, 0, 1000, 1},
      {10, 10, 5, 1, -1, 1},    // still at the end
      {7, 10, 5, 1, 400, 0},
      {6, 6, 5, 0, 1000, 1},
      {5, 5, 5, 1, 0, 0},       // no more lines than rows
      {4, 4, 5, 0, 0, 0},
      {0, 0, 0, 0, 0, 0},       // no pane at all
  };
  for (bool code_current : {false, true}) {
    for (const auto& c : cases) {
      SCOPED_TRACE(testing::Message() << c.view_lines << "/" << c.total << " in " << c.height
                                      << (code_current ? " (code pane current)" : ""));
      fresh();
      Con.Bottom = u16(kPaneTop + c.height);
      if (code_current) con_switch_window(kSlotCommand, kSlotCode);
      Log.ViewLines = c.view_lines;
      Log.TotalLines = c.total;
      Log.ThumbAtEnd = c.at_end;
      con_thumb_position();
      if (c.posted < 0) {
        EXPECT_EQ(Co.Request.code, RequestCode::None);
      } else {
        EXPECT_EQ(Co.Request.code, RequestCode::ScrollThumb);
        EXPECT_EQ(Co.Request.p1, 1u);
        EXPECT_EQ(Co.Request.p2, u32(c.posted));
      }
      EXPECT_EQ(Log.ThumbAtEnd, c.at_end_after);
    }
  }
}

}  // namespace
