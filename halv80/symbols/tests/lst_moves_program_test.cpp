// Moves over the code listing of a real program: the demo built by sdcc,
// loaded with its symbols and line table. The cursor moves along its source
// lines by character and word, follows a long line sideways, and the line
// and page moves of the code pane scroll assembly and source rows and come
// back to the same rows.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "halv80/engine/co_coroutine.h"
#include "halv80/engine/cmd_switches.h"
#include "halv80/engine/con_log.h"
#include "halv80/engine/con_screen.h"
#include "halv80/engine/lst_listing.h"
#include "halv80/engine/mac_lines.h"
#include "halv80/engine/sup_messages.h"
#include "halv80/engine/tests/mem_fixture.h"
#include "halv80/engine/tests/screen_text.h"
#include "halv80/symbols/sym_scopes.h"
#include "halv80/symbols/sym_store.h"
#include "halv80/symbols/sym_symbols.h"
#include "halv80/symbols/tests/demo_program.h"

namespace {

using demo::kSources;
using demo::source_lines;

std::map<u16, u16> demo_lines() { return demo::lines(); }

class MovesProgramTest : public MemSessionTest {
 protected:
  void SetUp() override {
    MemSessionTest::SetUp();
    sym_init();
    // the module takes the default source extension of toolchain kind 16
    demo::place(dir_, true, "demo.src");
    typed("L demo");
    ASSERT_EQ(Mac.LineError, 0);
    Sw.ToolchainKind = 2;  // source rows among the instructions
    Lst.CodeCursorMode = 1;
    typed("V DEMO.SRC:1");
    ASSERT_EQ(Lst.PaneShows, kListingSource);
    ASSERT_EQ(rows(), 16);
  }
  void TearDown() override {
    MemSessionTest::TearDown();
    sym_init();
  }
  static u16 top() { return lst_pane_top(); }
  static u16 bottom() { return lst_pane_bottom(); }
  static u16 rows() { return u16(bottom() - top()); }
  static u16 cursor_line() { return u16(Lst.RowKey[Lst.CursorRow]); }
  // One move by its letter: l r (character), L R (word), h e (line start and
  // end), u d (line up and down), p n (page up and down), s z (to the start
  // and the end).
  static void act(char move) {
    guarded([move] {
      switch (move) {
        case 'l': lst_move_left(); break;
        case 'r': lst_move_right(); break;
        case 'L': lst_move_word_left(); break;
        case 'R': lst_move_word_right(); break;
        case 'h': lst_move_line_start(); break;
        case 'e': lst_move_line_end(); break;
        case 'u': lst_view_line_up(); break;
        case 'd': lst_view_line_down(); break;
        case 'p': lst_view_page_up(); break;
        case 'n': lst_view_page_down(); break;
        case 's': lst_view_to_start(); break;
        case 'z': lst_view_to_end(); break;
        default: FAIL() << move;
      }
    });
  }
  static void acts(std::string_view moves) {
    for (char m : moves) act(m);
  }
  // A source page that shows `line` (in `file`), with the cursor on it at
  // screen column `column`.
  static void place(u16 line, u16 column, const char* file = "DEMO.SRC") {
    const u16 first = line > 5 ? u16(line - 5) : 1;
    guarded([&] { lst_show_source_at(file, first); });
    guarded([] { lst_cursor_mark_hide(); });
    Lst.CursorRow = u16(top() + line - first);
    Lst.RequestedColumn = column;
    Lst.CursorColumn = column;
    Lst.HorizontalOffset = 0;
    guarded([] { lst_follow_cursor(); });
  }
  // Rows of the pane that carry the cursor mark.
  static int marked_rows() {
    int n = 0;
    for (u16 row = top(); row < bottom(); ++row) n += con_cell_attribute(0, row) == kAttrCursorMark;
    return n;
  }

  struct Row {
    u32 key;
    u32 next;
    u8 kind;
    std::string text;
    bool operator==(const Row&) const = default;
  };
  static std::vector<Row> shown_rows() {
    std::vector<Row> out;
    for (u16 row = top(); row < bottom(); ++row)
      out.push_back({Lst.RowKey[row], Lst.RowNext[row], Lst.RowKind[row], screen_row_text(row)});
    return out;
  }
  static void expect_rows(const std::vector<Row>& shown, const std::vector<Row>& want) {
    ASSERT_EQ(shown.size(), want.size());
    for (std::size_t i = 0; i < want.size(); ++i) {
      SCOPED_TRACE(testing::Message() << "row " << i << ": " << want[i].text);
      EXPECT_EQ(shown[i].key, want[i].key);
      EXPECT_EQ(shown[i].next, want[i].next);
      EXPECT_EQ(shown[i].kind, want[i].kind);
      EXPECT_EQ(shown[i].text, want[i].text);
    }
  }
};

// Columns are screen columns: the text starts at column 5.
TEST_F(MovesProgramTest, CursorMovesStepOverCharactersWordsAndLines) {
  const std::vector<std::string> source = source_lines();
  ASSERT_EQ(source[10], "int total;");
  ASSERT_EQ(source[12], "static int square(int v)");
  ASSERT_EQ(source[19], "    p->x += dx;");
  ASSERT_EQ(source[31], "        counts[i] = i * 3;");
  const struct {
    u16 line;
    u16 column;
    const char* moves;
    u16 to_line;
    u16 requested;
    u16 cursor_column;
  } cases[] = {
      // characters, and across the ends of lines
      {10, 10, "r", 10, 11, 11},
      {10, 5, "l", 9, 28, 28},    // to the last character of the line above
      {10, 14, "r", 11, 5, 5},    // past the last character: the next line's start
      {11, 5, "l", 10, 14, 14},   // an empty line steps on to the line above
      {1, 5, "l", 1, 5, 5},       // nothing before the first line
      {34, 5, "r", 34, 5, 5},     // nothing after the last line
      {17, 5, "e", 17, 50, 50},
      {13, 5, "e", 13, 5, 5},     // a line of one character
      {17, 30, "h", 17, 5, 5},
      // up and down keep the wanted column; a short line shows its last character
      {12, 27, "d", 13, 27, 5},
      {12, 27, "dd", 14, 27, 21},
      {14, 12, "uu", 12, 12, 12},
      // words: to the first character of the next word or back to this one's
      {10, 5, "R", 10, 9, 9},
      {10, 9, "R", 12, 5, 5},     // over the line's end and an empty line
      {12, 16, "R", 12, 22, 22},  // "(" ends the step
      {12, 22, "R", 12, 23, 23},  // off the "(" to the word after it
      {19, 9, "R", 19, 12, 12},   // over "->"
      {31, 13, "R", 31, 19, 19},  // "[" ends the step
      {31, 19, "R", 31, 20, 20},
      {12, 22, "L", 12, 16, 16},  // from "(" back to the start of "square"
      {12, 23, "L", 12, 22, 22},  // "(" ends the step back
      {31, 23, "L", 31, 20, 20},  // a closing "]" does not
      {12, 16, "L", 12, 12, 12},
      {13, 5, "L", 12, 27, 27},   // back over the line's start to the last word above
      {1, 5, "L", 1, 5, 5},
      {34, 5, "R", 34, 5, 5},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "line " << c.line << " column " << c.column << " moves " << c.moves);
    place(c.line, c.column);
    acts(c.moves);
    EXPECT_EQ(cursor_line(), c.to_line);
    EXPECT_EQ(Lst.RequestedColumn, c.requested);
    EXPECT_EQ(Lst.CursorColumn, c.cursor_column);
    EXPECT_EQ(Lst.HorizontalOffset, 0);
    EXPECT_EQ(marked_rows(), 1);
    EXPECT_EQ(con_cell_attribute(0, Lst.CursorRow), kAttrCursorMark);
  }
}

TEST_F(MovesProgramTest, ALongLineScrollsSidewaysByFiveColumnsAndRedrawsEveryRow) {
  std::string long_line;
  for (int i = 0; i < 60; ++i) long_line += "x" + std::to_string(100 + i) + " ";  // "x100 x101 ... x159 "
  ASSERT_EQ(long_line.size(), 300u);
  dir_.write("LONG.C", long_line + "\nshort\n");
  Con.Geometry.code_columns = 80;  // the cursor stays left of column 80 - 6
  typed("V LONG.C:1");
  ASSERT_STREQ(Lst.SourceFile, "LONG.C");
  place(1, 5, "LONG.C");
  const auto trimmed = [](std::string text) {
    text.erase(text.find_last_not_of(' ') + 1);
    return text;
  };
  // every row shows its text from the offset
  const auto shows_from = [&](std::size_t offset) {
    EXPECT_EQ(screen_row_text(top()), trimmed("0001 " + long_line.substr(offset, kScreenColumns - 5)));
    const std::string short_line = "short";
    EXPECT_EQ(screen_row_text(u16(top() + 1)), trimmed("0002 " + short_line.substr(std::min(offset, short_line.size()))));
  };
  const struct {
    const char* moves;
    u16 line;
    u16 requested;
    u16 cursor_column;
    u16 offset;
  } steps[] = {
      {"e", 1, 304, 74, 230},  // 299 - 230 + 5: the last character stays in view
      {"d", 2, 304, 9, 0},     // "short": back to its last character
      {"u", 1, 304, 74, 230},
      {"h", 1, 5, 5, 0},
      {"RRRRRRRRRRRRRR", 1, 75, 75, 0},  // "x114" at text column 70
      {"rrrr", 1, 79, 74, 5},            // text column 74 reaches 80 - 6: five columns on
      {"L", 1, 75, 70, 5},
      {"LLLLLLLLLLLLLL", 1, 5, 5, 0},
      {"l", 1, 5, 5, 0},
  };
  for (const auto& s : steps) {
    SCOPED_TRACE(s.moves);
    acts(s.moves);
    EXPECT_EQ(cursor_line(), s.line);
    EXPECT_EQ(Lst.RequestedColumn, s.requested);
    EXPECT_EQ(Lst.CursorColumn, s.cursor_column);
    EXPECT_EQ(Lst.HorizontalOffset, s.offset);
    shows_from(s.offset);
    EXPECT_EQ(marked_rows(), 1);
  }
}

TEST_F(MovesProgramTest, SourceLineMovesScrollAtThePanesEdgesWithinTheFile) {
  const std::vector<std::string> source = source_lines();
  const u16 last = 34;
  ASSERT_EQ(source.size(), last + 1u);
  Lst.TargetLine = 12;  // painted 96 wherever its row is
  place(1, 5);
  const std::vector<Row> first = shown_rows();
  // the target line's row alone carries 96, on the screen and as the found row
  const auto target_painted = [] {
    for (u16 row = top(); row < bottom(); ++row) {
      const bool target = Lst.RowKey[row] == Lst.TargetLine;
      EXPECT_EQ(con_cell_attribute(8, row) == kAttrPcRow, target) << "line " << Lst.RowKey[row];
      if (target) {
        EXPECT_EQ(Lst.FoundRow, row);
      }
    }
  };
  // down to the last line: the cursor to the pane's last row, then the rows scroll
  for (u16 line = 2; line <= last; ++line) {
    guarded([] { EXPECT_EQ(lst_view_line_down(), 1); });
    ASSERT_EQ(cursor_line(), line);
    target_painted();
  }
  guarded([] { EXPECT_EQ(lst_view_line_down(), 0); });  // not past the file's last line
  EXPECT_EQ(Lst.CursorRow, bottom() - 1);
  EXPECT_EQ(Lst.RowKey[top()], last - rows() + 1u);
  for (u16 row = top(); row < bottom(); ++row) {
    const u16 line = u16(Lst.RowKey[row]);
    char number[8];
    std::snprintf(number, sizeof number, "%04u ", line);
    const std::string want = number + source.at(line);
    EXPECT_EQ(screen_row_text(row), want.substr(0, want.find_last_not_of(' ') + 1));
  }
  EXPECT_EQ(marked_rows(), 1);
  // and back up to line 1: the same rows as before
  for (u16 line = last - 1; line >= 1; --line) {
    guarded([] { EXPECT_EQ(lst_view_line_up(), 1); });
    ASSERT_EQ(cursor_line(), line);
    target_painted();
  }
  guarded([] { EXPECT_EQ(lst_view_line_up(), 0); });
  EXPECT_EQ(Lst.CursorRow, top());
  expect_rows(shown_rows(), first);
  EXPECT_EQ(marked_rows(), 1);
}

TEST_F(MovesProgramTest, SourcePageMovesStayBetweenTheFirstAndTheLastPage) {
  place(1, 5);
  Lst.CursorRow = u16(top() + 3);
  const struct {
    char move;
    u16 top_line;
  } steps[] = {
      {'n', 16}, {'n', 19},  // the last page ends with line 34
      {'n', 19}, {'p', 4}, {'p', 1}, {'p', 1}, {'z', 19}, {'s', 1},
  };
  for (const auto& s : steps) {
    SCOPED_TRACE(testing::Message() << s.move << " to " << s.top_line);
    act(s.move);
    EXPECT_EQ(Lst.RowKey[top()], s.top_line);
    EXPECT_EQ(Lst.CursorRow, top() + 3);
    EXPECT_EQ(marked_rows(), 1);
  }
}

// Assembly rows: a page on and back, and lines down and back up, arrive at
// the same rows; rows scrolled in one at a time are those of a fresh page.
TEST_F(MovesProgramTest, AssemblyMovesComeBackToTheSameRows) {
  typed("U 200");
  ASSERT_EQ(Lst.PaneShows, kListingAssembly);
  const std::vector<Row> first = shown_rows();

  act('n');
  EXPECT_EQ(Lst.RowKey[top()], first.back().key);
  EXPECT_EQ(Lst.RowKind[top()], first.back().kind);
  act('p');
  expect_rows(shown_rows(), first);

  Lst.CursorRow = u16(bottom() - 1);
  const int scrolls = 40;
  for (int i = 0; i < scrolls; ++i) guarded([] { EXPECT_EQ(lst_view_line_down(), 1); });
  EXPECT_EQ(Lst.CursorRow, bottom() - 1);
  const std::vector<Row> scrolled = shown_rows();
  EXPECT_EQ(Lst.ListingAddress, u16(scrolled.back().next));  // U goes on after the pane
  Lst.ListingAddress = Lst.RowKey[top()];
  guarded([] { lst_redraw_from(lst_seed()); });
  expect_rows(scrolled, shown_rows());

  Lst.CursorRow = top();
  for (int i = 0; i < scrolls; ++i) guarded([] { EXPECT_EQ(lst_view_line_up(), 1); });
  expect_rows(shown_rows(), first);
}

TEST_F(MovesProgramTest, AssemblyMovesStopAtAddressZeroAndAtTheEndOfMemory) {
  typed("U 200");
  act('s');
  EXPECT_EQ(Lst.RowKey[top()], 0u);
  const std::vector<Row> start = shown_rows();
  Lst.CursorRow = top();
  guarded([] { EXPECT_EQ(lst_view_line_up(), 0); });
  act('p');
  expect_rows(shown_rows(), start);

  act('z');
  const u16 last = u16(bottom() - 1);
  EXPECT_EQ(Lst.RowKey[last], 0xFFFFu);
  EXPECT_EQ(Lst.RowKind[last], kRowInstruction);
  const std::vector<Row> end = shown_rows();
  Lst.CursorRow = last;
  guarded([] { EXPECT_EQ(lst_view_line_down(), 0); });
  act('n');
  expect_rows(shown_rows(), end);
  // a page just before the end goes on only as far as the end, and a page
  // that wraps past FFFF is at the end already
  act('p');
  act('n');
  expect_rows(shown_rows(), end);
  typed("U FFF8");
  act('n');
  expect_rows(shown_rows(), end);
}

TEST_F(MovesProgramTest, TheCommandPanesViewActionsMoveTheCodePaneWhileItIsPending) {
  place(1, 5);
  const u16 view_lines = Log.ViewLines;
  Con.PendingWindow = 1;
  guarded([] { con_view_page_down(); });
  EXPECT_EQ(Lst.RowKey[top()], 16u);
  guarded([] { con_view_to_end(); });
  EXPECT_EQ(Lst.RowKey[top()], 19u);
  guarded([] { con_view_line_down(); });
  EXPECT_EQ(Lst.CursorRow, top() + 1);
  guarded([] { con_view_line_up(); });
  guarded([] { con_view_page_up(); });
  EXPECT_EQ(Lst.RowKey[top()], 4u);
  guarded([] { con_view_to_start(); });
  EXPECT_EQ(Lst.RowKey[top()], 1u);
  EXPECT_EQ(Log.ViewLines, view_lines);
  // without it they scroll the log view, and the code pane stays
  Con.PendingWindow = 0;
  guarded([] { con_view_to_end(); });
  EXPECT_EQ(Lst.RowKey[top()], 1u);
  EXPECT_EQ(Lst.CursorRow, top());
}

TEST_F(MovesProgramTest, AVerticalMoveShowsTheFunctionAtTheCursorRow) {
  // main's code: the addresses of its lines, and a scope record for it
  u16 low = 0xFFFF, high = 0;
  for (const auto& [address, line] : demo_lines()) {
    if (line < 24) continue;
    low = std::min(low, address);
    high = std::max(high, address);
  }
  ASSERT_LT(low, high);
  const auto scope = [](u16 kind, u32 location, u32 size, std::string_view name) {
    ScopeRecord r{};
    r.kind.set(kind);
    r.location.set(location);
    r.size.set(u16(size));
    r.name.set(sym_intern_name(name));
    return r;
  };
  ASSERT_EQ(sym_add_scope(scope(kScopeModule, 0x200, high + 0x10u - 0x200, "demo")), 0);
  ASSERT_EQ(sym_add_scope(scope(kScopeBlock, low, high + 1u - low, "main")), 0);
  ASSERT_EQ(sym_add_scope(scope(kScopeBlockEnd, 0, 0, "")), 0);
  SymFlag.CodeLow = 0x200;
  SymFlag.CodeHigh = high + 0x10u;

  place(21, 5);  // a line of add_point
  const struct {
    char move;
    u16 line;
    const char* scope;
  } steps[] = {
      {'d', 22, ""}, {'d', 23, "main"},  // a line without code: the next line's address
      {'d', 24, "main"}, {'u', 23, "main"}, {'u', 22, ""},
  };
  for (const auto& s : steps) {
    SCOPED_TRACE(s.line);
    act(s.move);
    ASSERT_EQ(cursor_line(), s.line);
    EXPECT_STREQ(Sup.MessageLine, s.scope);
  }
  // assembly rows: the row's own address
  char line[16];
  std::snprintf(line, sizeof line, "U %X", low);
  typed(line);
  Lst.CursorRow = top();
  sup_set_message_line({}, 0);
  act('d');
  EXPECT_STREQ(Sup.MessageLine, "main");
}

}  // namespace
