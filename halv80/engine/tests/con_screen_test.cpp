// The console text screen: the character writer's escapes, control bytes and
// Shift-JIS pairs, scrolling, the dirty ranges, the overlay stack and the
// editor's highlighted cell.
#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "halv80/engine/cmd_core.h"
#include "halv80/engine/co_coroutine.h"
#include "halv80/engine/con_log.h"
#include "halv80/engine/con_screen.h"
#include "halv80/engine/engine_state.h"
#include "halv80/engine/tests/engine_fixture.h"
#include "halv80/engine/lst_listing.h"
#include "halv80/engine/sup_messages.h"

namespace {

class ConScreenTest : public testing::Test {
 protected:
  void SetUp() override { fresh(); }

  static void fresh() { fresh_console(); }

  static u8 ch(u16 column, u16 row) { return con_screen_row(row)[column * 2]; }
  static u8 attr(u16 column, u16 row) { return con_cell_attribute(column, row); }
  // The characters of a row up to its last non-blank, non-zero cell.
  static std::string row_text(u16 row) {
    std::string s;
    for (u16 c = 0; c < kScreenColumns; ++c) s.push_back(char(ch(c, row)));
    const auto end = s.find_last_not_of(std::string_view(" \0", 2));
    return end == std::string::npos ? std::string() : s.substr(0, end + 1);
  }
};

TEST_F(ConScreenTest, ColourEscapesSelectTheAttributeOfWhatFollows) {
  const struct {
    std::string_view bytes;
    std::vector<std::pair<char, u8>> cells;  // from column 0
  } cases[] = {
      {"\xFF\x03" "AB\xFE" "C", {{'A', 0x60}, {'B', 0x60}, {'C', 7}}},
      {"\xFF\x01" "a\xFF\x02" "b\xFF\x04" "c", {{'a', 0x20}, {'b', 0x30}, {'c', 0x70}}},
      {"\xFF\x05" "a\xFF\x06" "b\xFF\x07" "c", {{'a', 0x02}, {'b', 0x03}, {'c', 0x06}}},
      {"\xFF" "QR\xFE" "S", {{'Q', 3}, {'R', 3}, {'S', 7}}},  // not a colour: attribute 3, Q is text
      {"\xFF\x09" "x", {{' ', 3}, {' ', 3}, {' ', 3}, {' ', 3}, {' ', 3}, {' ', 3}, {' ', 3},
                        {' ', 3}, {'x', 3}}},                  // the tab after it still acts
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(std::string(c.bytes)));
    fresh();
    con_window_puts(c.bytes);
    for (std::size_t i = 0; i < c.cells.size(); ++i) {
      SCOPED_TRACE(i);
      EXPECT_EQ(ch(u16(i), kPaneTop), u8(c.cells[i].first));
      EXPECT_EQ(attr(u16(i), kPaneTop), c.cells[i].second);
    }
    EXPECT_EQ(Con.Column, c.cells.size());
  }
}

TEST_F(ConScreenTest, ShiftJisPairNeedsTwoColumnsOfTheWindow) {
  const struct {
    u16 japanese;
    u16 width;
    u16 column;
    std::string_view bytes;
    std::vector<std::pair<u16, u8>> cells;  // column, character
    u16 end_column;
  } cases[] = {
      {1, 200, 198, "\x82\xA0", {{198, 0x82}, {199, 0xA0}}, 200},
      {1, 200, 199, "\x82\xA0", {{199, ' '}}, 201},         // no room for the trail
      {0, 200, 199, "\x82\xA0", {{199, 0x82}}, 201},        // English: plain bytes
      {1, 100, 99, "\x82\xA0", {{99, ' '}, {100, 0}}, 101},  // last column of a narrower window
      {1, 200, 5, "\x82\x0A", {{5, 0x82}, {6, 0x0A}}, 7},    // a trail is never a control byte
      {1, 200, 10, "\xE0\x40" "A", {{10, 0xE0}, {11, 0x40}, {12, 'A'}}, 13},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "japanese " << c.japanese << " width " << c.width
                                    << " column " << c.column);
    fresh();
    Cmd.LanguageJapanese = c.japanese;
    Con.Width = c.width;
    con_set_cursor(c.column, kPaneTop);
    con_window_puts(c.bytes);
    for (const auto& [column, character] : c.cells) EXPECT_EQ(ch(column, kPaneTop), character) << column;
    EXPECT_EQ(Con.Column, c.end_column);
    EXPECT_EQ(Con.LeadPending, 0);
    EXPECT_EQ(ch(0, kPaneTop + 1), 0);  // nothing spills into the next row
  }
}

TEST_F(ConScreenTest, TabWritesBlanksUpToTheNextStop) {
  const struct {
    u16 window;
    u16 listing_mode;
    u16 from;
    u16 to;
  } cases[] = {
      {kSlotCommand, 0, 5, 8},
      {kSlotCommand, 0, 8, 16},   // on a stop: a whole tab
      {kSlotCommand, 0, 198, 200},
      {kSlotCode, 1, 5, 11},      // the code pane counts from its margin
      {kSlotCode, 1, 0, 3},
      {kSlotCode, 2, 5, 8},       // source text counts from column 0
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "window " << c.window << " mode " << c.listing_mode
                                    << " from " << c.from);
    fresh();
    Lst.ListingMode = c.listing_mode;
    con_switch_window(Con.Window, c.window);
    con_set_cursor(c.from, 2 + kPaneTop * (c.window == kSlotCommand));
    con_window_putc(0x09);
    EXPECT_EQ(Con.Column, c.to);
    for (u16 col = c.from; col < c.to && col < kScreenColumns; ++col) {
      EXPECT_EQ(ch(col, Con.Row), ' ') << col;
      EXPECT_EQ(attr(col, Con.Row), kAttrNormal) << col;
    }
  }
}

TEST_F(ConScreenTest, BackspaceBlanksTheCellBeforeTheCursor) {
  const struct {
    u16 column;
    u16 end_column;
  } cases[] = {{0, 0}, {3, 2}, {199, 198}, {200, 200}};  // 200: beyond the screen
  for (const auto& c : cases) {
    SCOPED_TRACE(c.column);
    fresh();
    con_window_puts("\xFF\x03");
    con_window_puts(std::string(kScreenColumns, 'x'));
    con_set_cursor(c.column, kPaneTop);
    con_window_putc(0x08);
    EXPECT_EQ(Con.Column, c.end_column);
    for (u16 col = 0; col < kScreenColumns; ++col) {
      const bool blanked = c.end_column != c.column && col == c.end_column;
      EXPECT_EQ(ch(col, kPaneTop), blanked ? ' ' : 'x') << col;
      EXPECT_EQ(attr(col, kPaneTop), blanked ? kAttrNormal : 0x60) << col;
    }
  }
}

TEST_F(ConScreenTest, LineFeedAtTheBottomScrollsThePaneUp) {
  const struct {
    const char* name;
    u16 window;
    u16 command_side;
  } cases[] = {
      {"command pane, window side", kSlotCommand, 0},
      {"command pane, command side", kSlotCommand, 1},
      {"code pane, command side", kSlotCode, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    fresh();
    Con.Slots[kSlotCode] = {0, 5, 5, 8};
    Con.Bottom = kPaneTop + 3;
    con_switch_window(Con.Window, c.window);
    const u16 top = Con.Top;
    con_set_cursor(0, top);
    con_window_puts("A\nB\nC");
    EXPECT_EQ(Co.Request.code, RequestCode::None);  // no scroll yet
    Lst.Dirty[0] = {};
    Lst.Dirty[1] = {};
    // With no command stack the post only leaves its request behind.
    Co.OnCommandSide = c.command_side;
    con_window_puts("\nDE");
    Co.OnCommandSide = 0;

    EXPECT_EQ(row_text(top), "B");
    EXPECT_EQ(row_text(u16(top + 1)), "C");
    EXPECT_EQ(row_text(u16(top + 2)), "DE");
    EXPECT_EQ(ch(2, u16(top + 2)), ' ');  // the freed row was blanked
    EXPECT_EQ(attr(2, u16(top + 2)), kAttrNormal);
    EXPECT_EQ(ch(0, u16(top - 1)), 0);    // rows outside the pane stay
    EXPECT_EQ(ch(0, u16(top + 3)), 0);
    EXPECT_EQ(Con.Row, top + 2);
    EXPECT_EQ(Con.Column, 2);

    const PaneDirtyRange& d = Lst.Dirty[c.window == kSlotCode ? kDirtyCode : kDirtyCommand];
    EXPECT_EQ(d.end_row, top + 3);
    EXPECT_EQ(d.first_column, 0);
    EXPECT_EQ(d.end_column, kScreenColumns);
    if (c.command_side == 0) {
      // nothing posted: the window side repaints the whole pane instead
      EXPECT_EQ(Co.Request.code, RequestCode::None);
      EXPECT_EQ(d.first_row, top);
    } else {
      EXPECT_EQ(Co.Request.code, RequestCode::ScrollPane);
      EXPECT_EQ(Co.Request.p1, c.window == kSlotCode ? 1u : 0u);
      EXPECT_EQ(Co.Request.p2, 1u);  // pane row 1 moves to pane row 0
      EXPECT_EQ(Co.Request.p3, 0u);
      EXPECT_EQ(Co.Request.p4, 2u);
      EXPECT_EQ(d.first_row, top + 2);  // the display scrolled itself; only the freed row is new
    }
  }
}

TEST_F(ConScreenTest, ScrollDownFreesTheTopRow) {
  Con.Bottom = kPaneTop + 3;
  con_window_puts("A\nB\nC");
  Co.OnCommandSide = 1;
  lst_scroll_pane(1);
  Co.OnCommandSide = 0;
  EXPECT_EQ(row_text(kPaneTop), "");
  EXPECT_EQ(attr(0, kPaneTop), kAttrNormal);
  EXPECT_EQ(row_text(kPaneTop + 1), "A");
  EXPECT_EQ(row_text(kPaneTop + 2), "B");
  EXPECT_EQ(ch(0, kPaneTop + 3), 0);
  EXPECT_EQ(Co.Request.code, RequestCode::ScrollPane);
  EXPECT_EQ(Co.Request.p2, 0u);
  EXPECT_EQ(Co.Request.p3, 1u);
}

TEST_F(ConScreenTest, SpareSlotLineFeedKeepsTheRow) {
  Con.Slots[kSlotSpare] = {0, 30, 30, 40};
  con_switch_window(kSlotCommand, kSlotSpare);
  con_window_puts("ab\nc");
  EXPECT_EQ(Con.Row, 30);
  EXPECT_EQ(row_text(30), "cb");
}

TEST_F(ConScreenTest, CellsOutsideTheScreenOrWindowAreNeverStored) {
  Con.Top = 150;
  Con.Bottom = 200;  // a window reaching past the screen
  con_set_cursor(0, 170);
  con_window_puts("xyz\n\x08\x09w");
  con_set_cursor(0, 159);
  con_window_puts("\nq");  // scrolls rows 150..159 only
  EXPECT_EQ(row_text(158), "");
  EXPECT_EQ(row_text(159), "q");
  Con.Top = kPaneTop;
  Con.Bottom = kPaneBottom;
  con_set_cursor(0, kPaneTop - 1);  // above the window
  con_window_puts("above");
  EXPECT_EQ(row_text(kPaneTop - 1), "");
  Con.Width = 4;
  con_set_cursor(0, kPaneTop);
  con_window_puts("abcdef");
  EXPECT_EQ(row_text(kPaneTop), "abcd");
  EXPECT_EQ(Con.Column, 6);
}

TEST_F(ConScreenTest, DirtyRangesSplitAtTheCodePaneBottom) {
  struct Rect { u16 c0, r0, c1, r1; };
  const struct {
    const char* name;
    bool code_current;
    std::vector<Rect> marks;
    PaneDirtyRange code;
    PaneDirtyRange command;
  } cases[] = {
      {"crossing", false, {{2, 10, 5, 20}}, {10, 17, 2, 6}, {17, 21, 2, 6}},
      {"first command row", false, {{0, 17, 0, 17}}, {0, 0, 0, 0}, {17, 18, 0, 1}},
      {"last code row", false, {{0, 16, 0, 16}}, {16, 17, 0, 1}, {0, 0, 0, 0}},
      {"widened", false, {{5, 3, 6, 3}, {1, 8, 2, 9}}, {3, 10, 1, 7}, {0, 0, 0, 0}},
      {"clipped to the screen", false, {{190, 150, 250, 170}}, {0, 0, 0, 0}, {150, 160, 190, 200}},
      {"off the screen", false, {{200, 0, 210, 0}, {0, 160, 5, 161}}, {0, 0, 0, 0}, {0, 0, 0, 0}},
      // the code pane's current bottom (10) decides while it is current
      {"code pane current", true, {{0, 12, 1, 12}}, {0, 0, 0, 0}, {12, 13, 0, 2}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    fresh();
    if (c.code_current) {
      con_switch_window(Con.Window, kSlotCode);
      Con.Bottom = 10;
    }
    Lst.Dirty[0] = {};
    Lst.Dirty[1] = {};
    for (const Rect& r : c.marks) lst_mark_dirty(r.c0, r.r0, r.c1, r.r1);
    for (u16 i : {kDirtyCode, kDirtyCommand}) {
      SCOPED_TRACE(i == kDirtyCode ? "code" : "command");
      const PaneDirtyRange& want = i == kDirtyCode ? c.code : c.command;
      const PaneDirtyRange& got = Lst.Dirty[i];
      EXPECT_EQ(got.end_row, want.end_row);
      if (want.end_row == 0) continue;
      EXPECT_EQ(got.first_row, want.first_row);
      EXPECT_EQ(got.first_column, want.first_column);
      EXPECT_EQ(got.end_column, want.end_column);
    }
  }
}

TEST_F(ConScreenTest, OverlayStackHoldsThreeEntries) {
  Con.Width = 120;
  con_window_puts("\xFF\x02");
  for (u16 i = 0; i < 4; ++i) con_window_push(u16(0x20 + i), 0);
  EXPECT_EQ(Con.OverlayDepth, 3);
  EXPECT_EQ(Con.Window, kSlotOverlay);
  EXPECT_EQ(Con.Attribute, 0x22);  // the fourth push was refused
  EXPECT_EQ(Con.Width, kScreenColumns);
  con_set_cursor(0, 100);
  con_window_putc('o');
  EXPECT_EQ(ch(0, 100), 'o');
  EXPECT_EQ(attr(0, 100), 0x22);

  for (int i = 0; i < 4; ++i) con_window_push(0, 1);
  EXPECT_EQ(Con.OverlayDepth, 0);
  EXPECT_EQ(Con.Window, kSlotCommand);
  EXPECT_EQ(Con.Width, 120);
  EXPECT_EQ(Con.Attribute, 0x30);
  EXPECT_EQ(Con.Row, kPaneTop);
  EXPECT_EQ(Con.Bottom, kPaneBottom);
  EXPECT_EQ(Con.Slots[kSlotOverlay].row, 100);  // the overlay keeps its cursor for the next push
}

TEST_F(ConScreenTest, SwitchingWindowsKeepsEachCursor) {
  con_window_puts("ab");
  con_switch_window(kSlotCommand, kSlotCode);
  EXPECT_EQ(Con.Row, 1);
  EXPECT_EQ(Con.Bottom, 17);
  con_window_puts("code");
  con_reset_window();
  EXPECT_EQ(Con.Window, kSlotCommand);
  EXPECT_EQ(Con.Column, 2);
  EXPECT_EQ(Con.CellOffset, kPaneTop * kScreenRowBytes + 4);
  EXPECT_EQ(Con.Slots[kSlotCode].column, 4);
  EXPECT_EQ(row_text(1), "code");
}

TEST_F(ConScreenTest, HighlightSwapsForegroundIntoBackground) {
  con_window_puts("ab\x82\xA0" "\xFF\x03" "c");
  con_highlight_cell(0, kPaneTop);
  EXPECT_EQ(attr(0, kPaneTop), 0x70);
  // another cell: the first one is restored
  con_highlight_cell(1, kPaneTop);
  EXPECT_EQ(attr(0, kPaneTop), kAttrNormal);
  EXPECT_EQ(attr(1, kPaneTop), 0x70);
  con_highlight_cell(1, kPaneTop);  // twice on one cell shifts once
  EXPECT_EQ(attr(1, kPaneTop), 0x70);
  // a double-byte character is marked in both cells
  con_highlight_cell(2, kPaneTop);
  EXPECT_EQ(attr(1, kPaneTop), kAttrNormal);
  EXPECT_EQ(attr(2, kPaneTop), 0x70);
  EXPECT_EQ(attr(3, kPaneTop), 0x70);
  con_unhighlight_cell();
  EXPECT_EQ(attr(2, kPaneTop), kAttrNormal);
  EXPECT_EQ(attr(3, kPaneTop), kAttrNormal);
  EXPECT_EQ(Con.HighlightColumn, 0xFFFF);
  // foreground 0: nothing to shift, and nothing shifted back
  con_highlight_cell(4, kPaneTop);
  EXPECT_EQ(attr(4, kPaneTop), 0x60);
  con_unhighlight_cell();
  EXPECT_EQ(attr(4, kPaneTop), 0x60);
  // the marked cell is reported to the window side
  Lst.Dirty[kDirtyCommand] = {};
  con_highlight_cell(0, kPaneTop);
  EXPECT_EQ(Lst.Dirty[kDirtyCommand].first_row, kPaneTop);
  EXPECT_EQ(Lst.Dirty[kDirtyCommand].end_row, kPaneTop + 1);
}

TEST_F(ConScreenTest, ScreenPutcRoutesByPaneAndSide) {
  const struct {
    const char* name;
    u16 window;
    u16 command_side;
    bool on_screen;
    bool logged;
    bool message_line;
  } cases[] = {
      {"command pane, command side", kSlotCommand, 1, true, true, false},
      {"command pane, window side", kSlotCommand, 0, false, false, true},
      {"code pane, window side", kSlotCode, 0, true, false, false},
      {"code pane, command side", kSlotCode, 1, true, false, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    fresh();
    con_switch_window(Con.Window, c.window);
    const u16 row = Con.Row;
    Co.OnCommandSide = c.command_side;  // no line end: nothing is posted, so no side switch
    con_screen_putc('x');
    Co.OnCommandSide = 0;
    EXPECT_EQ(ch(0, row) == 'x', c.on_screen);
    EXPECT_EQ(Log.WriteEnd != Log.Oldest, c.logged);
    EXPECT_EQ(Sup.MessageLineLength == 1 && Sup.MessageLine[0] == 'x', c.message_line);
  }
}

TEST_F(ConScreenTest, ClearRowsFillsBlanksInNormalAttribute) {
  const struct {
    u16 n;
    u16 cleared;
  } cases[] = {{0, 0}, {3, 3}, {500, kScreenRows}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.n);
    fresh();
    con_clear_rows(c.n);
    for (u16 row : {u16(0), u16(2), u16(3), u16(kScreenRows - 1)}) {
      const bool cleared = row < c.cleared;
      EXPECT_EQ(ch(199, row), cleared ? ' ' : 0) << row;
      EXPECT_EQ(attr(0, row), cleared ? kAttrNormal : 0) << row;
    }
  }
}

}  // namespace
