// The character-cell window base offscreen: the mouse selection held, dragged
// and scrolled past the window's edge onto the clipboard, Japanese text on
// the clipboard, the page copy, the search with Escape, the placement modes
// through the layout record, and the window and layout keys.
#include "halv80/gui/win_cells.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QWidget>
#include <functional>
#include <string>
#include <vector>

#include "halv80/engine/co_coroutine.h"
#include "halv80/engine/engine_state.h"
#include "halv80/engine/lst_listing.h"
#include "halv80/engine/sup_messages.h"
#include "halv80/gui/app_main.h"
#include "halv80/gui/app_mdi.h"
#include "halv80/gui/prj_layout.h"
#include "halv80/gui/testing/scripted_command_side.h"
#include "halv80/gui/tests/gui_app_fixture.h"
#include "platform/host/host_text.h"
#include "platform/owl/owl_input.h"
#include "platform/owl/owl_qt.h"
#include "platform/owl/tests/owl_test_app.h"

namespace {

// A text window over lines of its own, `top` the first one shown; it scrolls
// one line when a selection is dragged past an edge.
class LinesWindow : public TQNWindow {
 public:
  LinesWindow(TMDIClient& client, u16 index, std::string_view title) : TQNWindow(client, title) {
    windowIndex = index;
    ApplyPlacement(0);
  }
  u16 GetRowText(u16, i32 row, std::string& buffer) override {
    if (row < 0 || std::size_t(row) >= lines.size()) return 0xFFFF;
    buffer = lines[std::size_t(row)];
    if (onRow) onRow(row);
    return 7;
  }
  u16 GetCopyRow(u16 row) override {
    Frame.SharedRowText.assign(kSharedRowSize, 0);
    Frame.SharedRowAttributes.assign(kSharedRowSize, 7);
    const std::size_t i = std::size_t(top) + row;
    if (i >= lines.size()) return 0;
    std::copy(lines[i].begin(), lines[i].end(), Frame.SharedRowText.begin());
    return u16(lines[i].size());
  }
  int DragScrollDown() override {
    if (std::size_t(top) + rows >= lines.size()) return 0;
    ++top;
    TQNWindow::DragScrollDown();
    return 1;
  }
  int DragScrollUp() override {
    if (top == 0) return 0;
    --top;
    TQNWindow::DragScrollUp();
    return 1;
  }
  void HandleKey() override { keys.push_back(Co.Key.key_code); }
  std::vector<std::string> lines;  // CP932
  int top = 0;
  std::function<void(i32)> onRow;
  std::vector<u16> keys;  // the pending keys handed to the command side
};

TMDIChild* make_lines_window(TMDICltNEW& client, u16 index, std::string_view title) {
  return new LinesWindow(client, index, title);
}


std::vector<std::string> numbered(int n) {
  std::vector<std::string> lines;
  for (int i = 0; i < n; ++i) lines.push_back("line " + std::to_string(i));
  return lines;
}

std::string clipboard() { return QApplication::clipboard()->text().toStdString(); }

// Runs the queue until the deferred selection steps are done (each run
// delivers the steps posted before it).
void settle() {
  for (int i = 0; i < 50; ++i) QApplication::processEvents();
}

class CellWindowTest : public GuiAppTest {
 protected:
  void SetUp() override {
    GuiAppTest::SetUp();
    win_cells_reset_state();
    UseScriptedCommandSide();
    folder.Write("qqn80.qpj", project_text());
    for (u16 i : {u16(0), u16(1), kChildMemo, kChildCode1}) win_set_child_factory(i, make_lines_window);
  }
  void TearDown() override {
    EndApp();
    win_cells_reset_state();
    ResetState();
  }
  // Runs the application with the watch window (child 0) active and showing
  // `shown` rows of 40 columns.
  void Run(int shown, std::function<void(LinesWindow&)> body) {
    run_app([&](TMDIApp&) {
      auto* w = static_cast<LinesWindow*>(Frame.Children.windows[0]);
      ASSERT_NE(w, nullptr);
      win_activate_child(0);
      QApplication::processEvents();
      w->rows = u16(shown);
      w->columns = 40;
      w->mouseState = 0;
      body(*w);
    });
  }
  static i64 At(const LinesWindow& w, int column, int row) {
    return owl_make_long(u16(column * w.CellWidth() + 1), u16(row * w.CellHeight() + 1));
  }
  // A press on the cell, held long enough to start the selection.
  static void PressAndHold(LinesWindow& w, int column, int row) {
    w.SendMessage(WM_LBUTTONDOWN, MK_LBUTTON, At(w, column, row));
    w.SelectionTick();
    EXPECT_EQ(w.mouseState, kMouseArmed) << "armed until 5 ticks have passed";
    HeartbeatTick += 5;
    win_selection_heartbeat();
    EXPECT_EQ(w.mouseState, kMouseSelecting);
  }
};

TEST_F(CellWindowTest, ADragSelectsWholeRowsAndScrollsPastTheBottomEdgeOnTicks) {
  Run(5, [&](LinesWindow& w) {
    w.lines = numbered(20);
    PressAndHold(w, 2, 1);
    // down to row 3, one row per step as the queue lets it
    w.SendMessage(WM_MOUSEMOVE, MK_LBUTTON, At(w, 2, 3));
    settle();
    EXPECT_EQ(Selection.text, "line 1\r\nline 2\r\nline 3\r\n");
    // below the grid: to the last row and one line on, then one more line on
    // every tick
    w.SendMessage(WM_MOUSEMOVE, MK_LBUTTON, owl_make_long(5, u16(w.rows * w.CellHeight() + 3)));
    settle();
    EXPECT_EQ(w.mouseState, kMouseBelow);
    EXPECT_EQ(w.top, 1);
    for (int tick = 0; tick < 3; ++tick) win_selection_heartbeat();
    EXPECT_EQ(w.top, 4);
    const std::string eight = "line 1\r\nline 2\r\nline 3\r\nline 4\r\nline 5\r\nline 6\r\nline 7\r\nline 8\r\n";
    EXPECT_EQ(Selection.text, eight);
    // back up into the grid, to line 5 (window row 1): the lines below it
    // leave the text again
    w.SendMessage(WM_MOUSEMOVE, MK_LBUTTON, At(w, 2, 1));
    settle();
    EXPECT_EQ(Selection.text, eight.substr(0, eight.find("line 6")));
    w.SendMessage(WM_LBUTTONUP, 0, At(w, 2, 1));
    EXPECT_EQ(clipboard(), "line 1\nline 2\nline 3\nline 4\nline 5\n");
    EXPECT_EQ(w.mouseState, kMouseIdle);
    EXPECT_EQ(Selection.captureWindow, nullptr);
    // a press released before the selection started copies nothing
    QApplication::clipboard()->setText("kept");
    w.SendMessage(WM_LBUTTONDOWN, MK_LBUTTON, At(w, 0, 0));
    w.SendMessage(WM_LBUTTONUP, 0, At(w, 0, 0));
    EXPECT_EQ(clipboard(), "kept");
  });
}

TEST_F(CellWindowTest, WithinOneRowWholeWordsAndWholeJapaneseCharactersReachTheClipboard) {
  Run(5, [&](LinesWindow& w) {
    // columns: 0-3 two double-byte characters, 4 blank, 5-9 "abc_1", 10 ".", 11-13 "def"
    w.lines = {host_utf8_to_cp932("漢字 abc_1.def"), "next row"};
    const struct {
      int pressColumn, pressRow, releaseColumn, releaseRow;
      const char* expected;  // UTF-8
    } cases[] = {
        {7, 0, 7, 0, "abc_1"},                          // inside a word: the whole word
        {6, 0, 12, 0, "abc_1.def"},                     // out to the words at both ends
        {10, 0, 10, 0, "."},                            // punctuation is not extended
        {1, 0, 1, 0, "漢"},                             // a trail byte takes its lead byte
        {2, 0, 4, 0, "字 "},                            // double-byte text is not extended
        {3, 0, 0, 1, "漢字 abc_1.def\nnext row\n"},      // across rows: whole rows
    };
    for (const auto& c : cases) {
      SCOPED_TRACE(c.expected);
      PressAndHold(w, c.pressColumn, c.pressRow);
      if (c.releaseRow != c.pressRow || c.releaseColumn != c.pressColumn) {
        w.SendMessage(WM_MOUSEMOVE, MK_LBUTTON, At(w, c.releaseColumn, c.releaseRow));
        settle();
      }
      w.SendMessage(WM_LBUTTONUP, 0, At(w, c.releaseColumn, c.releaseRow));
      EXPECT_EQ(clipboard(), c.expected);
    }
  });
}

TEST_F(CellWindowTest, APageCopyTakesEveryVisibleRowButOneRowGivesItsFirstWord) {
  Run(3, [&](LinesWindow& w) {
    w.lines = {"alpha beta", "line 1", "line 2", "line 3"};
    const struct {
      int shown;
      const char* expected;
    } cases[] = {
        {3, "alpha beta\nline 1\nline 2\n"},
        {1, "alpha"},
    };
    for (const auto& c : cases) {
      w.rows = u16(c.shown);
      w.SendMessage(WM_COMMAND, 410);
      EXPECT_EQ(clipboard(), c.expected);
      EXPECT_EQ(w.mouseState, kMouseIdle);
    }
  });
}

TEST_F(CellWindowTest, ACodeWindowTellsTheEngineAndLeavesTheSourceMarginOut) {
  Run(2, [&](LinesWindow&) {
    auto* code = static_cast<LinesWindow*>(Frame.Children.windows[kChildCode1]);
    ASSERT_NE(code, nullptr);
    code->rows = 2;
    code->columns = 40;
    code->lines = {"  12 int x;", "  13 x = 1;"};
    Lst.ListingMode = kListingSource;
    code->keys.clear();
    code->SendMessage(WM_COMMAND, 410);
    EXPECT_EQ(clipboard(), "int x;\nx = 1;\n");
    EXPECT_EQ(code->keys, (std::vector<u16>{key_word(PseudoKey::SelectionStarted), key_word(PseudoKey::SelectionEnded)}));
    // a press in the margin does not start a selection
    code->mouseState = 0;
    win_activate_child(kChildCode1);
    HeartbeatTick += 10;
    code->mouseState = 0;
    code->SendMessage(WM_LBUTTONDOWN, MK_LBUTTON, At(*code, 2, 0));
    HeartbeatTick += 5;
    win_selection_heartbeat();
    EXPECT_EQ(code->mouseState, kMouseArmed);
    code->SendMessage(WM_LBUTTONUP, 0, At(*code, 2, 0));
    Lst.ListingMode = kListingNone;
  });
}

TEST_F(CellWindowTest, SearchGoesBothWaysAndEscapeEndsItWithoutAReport) {
  Run(5, [&](LinesWindow& w) {
    w.lines = numbered(100);
    w.lines[90] = "a needle here";
    win_set_search_text("needle");
    QWidget* client = owl_client_widget(w);
    const struct {
      u16 direction;
      i32 start;
      int escapeAt;  // row at which Escape is pressed; -1 none
      u16 found;
      bool reported;
    } cases[] = {
        {1, 0, -1, 1, false},
        {0, 99, -1, 1, false},
        {0, 50, -1, 0, true},   // nothing above
        {1, 0, 20, 0, false},   // Escape, seen at the check of row 32
        {1, 95, -1, 0, true},   // nothing below
    };
    for (const auto& c : cases) {
      SCOPED_TRACE(c.start);
      int reached = 0;
      w.onRow = [&](i32 row) {
        reached = row;
        if (row == c.escapeAt)
          QCoreApplication::postEvent(client, new QKeyEvent(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier));
      };
      w.searchDirection = c.direction;
      w.previousFoundLine = 0;
      Co.PendingError = 0;
      EXPECT_EQ(w.Search(1, c.start, -1), c.found);
      if (c.found) {
        EXPECT_EQ(w.foundLine, 91);
      }
      if (c.escapeAt >= 0) {
        EXPECT_EQ(reached, 32);
      }
      EXPECT_EQ(Co.PendingError != 0, c.reported);
    }
    w.onRow = nullptr;
    EXPECT_FALSE(owl_wait_cursor_shown());
  });
}

TEST_F(CellWindowTest, PlacementsComeBackThroughAUserLayout) {
  Run(5, [&](LinesWindow& w) {
    WindowLayoutRecord& r = Frame.Children.layout[1];
    auto* memory = static_cast<LinesWindow*>(Frame.Children.windows[1]);
    ASSERT_NE(memory, nullptr);
    Frame.WindowResizeMode = 0;
    r.keepSize = 0;
    r.showState = kShowNormal;
    // a move is recorded whole
    memory->MoveWindow(TRect{30, 40, 330, 240});
    EXPECT_EQ((TRect{r.left, r.top, r.right, r.bottom}), (TRect{30, 40, 330, 240}));
    EXPECT_EQ(r.showState, kShowNormal);
    ASSERT_TRUE(prj_write_section(1));
    const struct {
      u8 show;
      bool iconic, zoomed;
    } cases[] = {{kShowMaximized, false, true}, {kShowMinimized, true, false}, {kShowNormal, false, false}};
    for (const auto& c : cases) {
      SCOPED_TRACE(int(c.show));
      // the saved layout with this show state, then the windows somewhere else
      r.showState = c.show;
      ASSERT_TRUE(prj_write_section(2));
      r.showState = kShowNormal;
      memory->ShowWindow(SW_RESTORE);
      memory->MoveWindow(TRect{0, 0, 200, 100});
      ASSERT_TRUE(prj_read_section(2));
      QApplication::processEvents();
      EXPECT_EQ(memory->IsIconic(), c.iconic);
      EXPECT_EQ(memory->IsZoomed(), c.zoomed);
      memory->ShowWindow(SW_RESTORE);
      QApplication::processEvents();
      EXPECT_EQ(memory->GetWindowRect(), (TRect{30, 40, 330, 240}));
    }
    // with the resize mode on a move keeps the recorded size
    Frame.WindowResizeMode = 1;
    r.keepSize = 1;
    memory->MoveWindow(TRect{50, 60, 150, 160});
    EXPECT_EQ((TRect{r.left, r.top, r.right, r.bottom}), (TRect{50, 60, 350, 260}));
    // closed from its system menu, a data window is only minimized
    memory->SendMessage(WM_SYSCOMMAND, SC_CLOSE);
    QApplication::processEvents();
    EXPECT_TRUE(memory->IsCreated());
    EXPECT_TRUE(memory->IsIconic());
    // restored with a rectangle wholly off the client area: the top left
    // quarter, which the record then keeps
    Frame.WindowResizeMode = 0;
    r.left = 5000, r.top = 5000, r.right = 5300, r.bottom = 5200;
    memory->ShowWindow(SW_RESTORE);
    QApplication::processEvents();
    const TRect area = memory->Parent()->GetClientRect();
    const TRect quarter{0, 0, area.right / 2, area.bottom / 2};
    EXPECT_EQ(memory->GetWindowRect(), quarter);
    EXPECT_EQ((TRect{r.left, r.top, r.right, r.bottom}), quarter);
    (void)w;
  });
}

TEST_F(CellWindowTest, WindowKeysActivateAndCtrlDigitsLoadLayouts) {
  Run(5, [&](LinesWindow& w) {
    auto key = [&](TWindow& target, Qt::Key k, Qt::KeyboardModifiers m) {
      QWidget* client = owl_client_widget(target);
      client->setFocus();
      QKeyEvent press(QEvent::KeyPress, k, m);
      QApplication::sendEvent(client, &press);
      QKeyEvent release(QEvent::KeyRelease, k, m);
      QApplication::sendEvent(client, &release);
      // a key without modifiers elsewhere, so no later key finds them held
      QWidget elsewhere;
      QKeyEvent plain(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier);
      QApplication::sendEvent(&elsewhere, &plain);
      QApplication::processEvents();
    };
    // Ctrl+Alt+M: the memory window
    key(w, Qt::Key_M, Qt::ControlModifier | Qt::AltModifier);
    ASSERT_EQ(win_active_index(), 1);
    EXPECT_EQ(StatusHint, 13 | 0x4000);
    // Ctrl+1: user layout 1 places the windows as saved there
    WindowLayoutRecord& r = Frame.Children.layout[0];
    Frame.WindowResizeMode = 0;
    r.keepSize = 0;
    w.MoveWindow(TRect{10, 20, 310, 220});
    ASSERT_TRUE(prj_write_section(1));
    w.MoveWindow(TRect{0, 0, 100, 100});
    key(*Frame.Children.windows[1], Qt::Key_1, Qt::ControlModifier);
    EXPECT_EQ(w.GetWindowRect(), (TRect{10, 20, 310, 220}));
    EXPECT_EQ(r.left, 10);
    EXPECT_EQ(win_modifier_mask(), 0);
  });
}

TEST_F(CellWindowTest, ARightClickActivatesFirstThenOpensTheWindowsPopup) {
  Run(5, [&](LinesWindow& w) {
    auto* memory = static_cast<LinesWindow*>(Frame.Children.windows[1]);
    ASSERT_NE(memory, nullptr);
    // on a window that is not active: it becomes active, no menu
    memory->SendMessage(WM_RBUTTONDOWN, MK_RBUTTON, At(*memory, 1, 1));
    QApplication::processEvents();
    EXPECT_EQ(win_active_index(), 1);
    EXPECT_EQ(owl_open_popup().GetItemCount(), 0u);
    memory->mouseState = 0;
    HeartbeatTick += 10;
    memory->SendMessage(WM_RBUTTONDOWN, MK_RBUTTON, At(*memory, 1, 1));
    const TMenu popup = owl_open_popup();
    ASSERT_GT(popup.GetItemCount(), 0u);
    EXPECT_EQ(popup.Qt(), Frame.Children.mainFrame->GetMenu().GetSubMenu(5).Qt());
    EXPECT_EQ(popup.GetItemId(0), 430u);  // the Memory window's own popup, merged after Run
    // the same click within 3 ticks of the last menu does nothing
    QWidget* open = reinterpret_cast<QWidget*>(popup.Qt());
    open->hide();
    memory->SendMessage(WM_RBUTTONDOWN, MK_RBUTTON, At(*memory, 1, 1));
    EXPECT_EQ(owl_open_popup().GetItemCount(), 0u);
    // maximized, the window still gets its own popup
    memory->ShowWindow(SW_SHOWMAXIMIZED);
    QApplication::processEvents();
    ASSERT_TRUE(memory->IsZoomed());
    memory->mouseState = 0;
    HeartbeatTick += 10;
    memory->SendMessage(WM_RBUTTONDOWN, MK_RBUTTON, At(*memory, 1, 1));
    ASSERT_GT(owl_open_popup().GetItemCount(), 0u);
    EXPECT_EQ(owl_open_popup().GetItemId(0), 430u);
    reinterpret_cast<QWidget*>(owl_open_popup().Qt())->hide();
    (void)w;
  });
}

}  // namespace
