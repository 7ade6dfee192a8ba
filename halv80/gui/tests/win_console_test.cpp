// The console windows offscreen: the attribute colours, the key translation,
// the command side driven by keys typed into the command window with its
// output read back from the window's cells, and the service of each request.
#include "halv80/gui/win_console.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <QApplication>
#include <QClipboard>
#include <functional>
#include <memory>

#include "halv80/engine/cmd_core.h"
#include "halv80/engine/emu_startup.h"
#include "halv80/engine/con_log.h"
#include "halv80/engine/engine_state.h"
#include "halv80/engine/sup_messages.h"
#include "halv80/engine/testing/simulated_emulator.h"
#include "halv80/gui/app_main.h"
#include "halv80/gui/app_mdi.h"
#include "halv80/gui/tests/gui_app_run.h"
#include "halv80/gui/tests/gui_test_folder.h"
#include "halv80/symbols/sym_state_file.h"
#include "halv80/version.h"
#include "platform/device/dev_driver.h"
#include "platform/host/host_text.h"
#include "platform/host/host_ui.h"
#include "platform/owl/tests/owl_test_app.h"

namespace {

TEST(CellColoursTest, OneTableChoosesTheColoursOfEveryAttribute) {
  WindowLayoutRecord r;
  r.backgroundColour = 0xFFFFFF;  // white
  r.textColour = 0x000000;        // black
  r.highlightColour = 0x0000FF;   // red
  const struct {
    u8 attribute;
    bool highlight;
    COLORREF text, background;
    bool trim;
  } cases[] = {
      {7, false, 0x000000, 0xFFFFFF, true},
      {2, false, 0x000000, 0xFFFFFF, true},
      {3, false, 0x0000FF, 0xFFFFFF, false},
      {0x20, false, 0xFFFFFF, 0x0000FF, false},
      {0x30, false, 0xFFFFFF, 0x0000FF, false},
      {0x60, false, 0xFFFFFF, 0x000000, false},
      {0x70, false, 0xFFFFFF, 0x000000, false},
      {3, true, 0xFFFFFF, 0x000000, false},   // a selected run swaps whatever its attribute
      {0x70, true, 0xFFFFFF, 0x000000, false},
  };
  for (const auto& c : cases) {
    const CellColours got = cell_colours(c.attribute, c.highlight, r);
    EXPECT_EQ(got.text, c.text) << int(c.attribute);
    EXPECT_EQ(got.background, c.background) << int(c.attribute);
    EXPECT_EQ(got.trim, c.trim) << int(c.attribute);
  }
  // complement and swap part where text and background are not each other's complement
  r.backgroundColour = 0x102030;
  r.textColour = 0x405060;
  EXPECT_EQ(cell_colours(0x60, false, r).background, 0xEFDFCFu);
  EXPECT_EQ(cell_colours(0x70, false, r).background, 0x405060u);
}

TEST(ConsoleKeyTest, VirtualKeysBecomeTheEnginesKeyCodes) {
  const struct {
    u32 key;
    u16 code;
  } cases[] = {{VK_NEXT, 0x36}, {VK_PRIOR, 0x37}, {VK_INSERT, 0x38}, {VK_DELETE, 0x39}, {VK_UP, 0x3A},
               {VK_LEFT, 0x3B}, {VK_RIGHT, 0x3C}, {VK_DOWN, 0x3D},   {VK_HOME, 0x3E},   {VK_CLEAR, 0x3E},
               {VK_END, 0x3F},  {VK_HELP, 0x3F},  {VK_F1, 0x62},     {VK_F10, 0x6B},    {VK_F1 + 10, 0},
               {'A', 0},        {VK_ESCAPE, 0}};
  for (const auto& c : cases) EXPECT_EQ(console_key_code(c.key), c.code) << c.key;
}

// A text window over fixed rows.
class RowsWindow : public TQNWindow {
 public:
  RowsWindow(TMDIClient& client, std::vector<std::string> rows) : TQNWindow(client, "rows"), rows_(std::move(rows)) {
    windowIndex = kChildCommand;
  }
  u16 GetRowText(u16, i32 row, std::string& buffer) override {
    if (row < 0 || std::size_t(row) >= rows_.size()) return 0xFFFF;
    buffer = rows_[std::size_t(row)];
    return 7;
  }

 private:
  std::vector<std::string> rows_;
};

TEST(SearchTest, FindsTheTextForwardsAndBackwardsAndContinuesAfterTheLastMatch) {
  owl_test_app();
  reset_engine_state();
  TMDIClient client;
  const std::string kanji = host_utf8_to_cp932("漢字");
  RowsWindow w(client, {"alpha", "beta ab ab", "gamma", kanji + "ab", "delta"});
  win_set_search_text("ab");
  const struct {
    u16 direction;
    i32 start, previous;
    u16 column;  // foundColumn before the search
    u16 found;
    i32 line;
    u16 foundColumn;
  } cases[] = {
      {1, 0, 0, 0, 1, 2, 5},     // first match from the top
      {1, 1, 2, 5, 1, 2, 8},     // again: after the previous match in the same row
      {1, 1, 2, 8, 1, 4, 4},     // then on to the next row, past the double-byte text
      {0, 4, 0, 0, 1, 4, 4},     // backwards from the bottom
      {0, 2, 0, 0, 1, 2, 5},     // backwards from the middle
      {1, 4, 0, 0, 0, 0, 0},     // nothing below
      {0, 0, 0, 0, 0, 0, 0},     // nothing above row 0
  };
  for (const auto& c : cases) {
    w.searchDirection = c.direction;
    w.previousFoundLine = c.previous;
    w.foundColumn = c.column;
    w.foundLine = 0;
    Co.PendingError = 0;
    EXPECT_EQ(w.Search(1, c.start, -1), c.found) << c.start;
    if (c.found) {
      EXPECT_EQ(w.foundLine, c.line) << c.start;
      EXPECT_EQ(w.foundColumn, c.foundColumn) << c.start;
      EXPECT_EQ(w.foundLength, 2);
    } else {
      EXPECT_NE(Co.PendingError, 0) << "not found is reported";
    }
  }
  // a row limit stops the search; an empty search text finds nothing and says nothing
  w.searchDirection = 1;
  w.previousFoundLine = 0;
  EXPECT_EQ(w.Search(1, 2, 3), 0);
  win_set_search_text("");
  Co.PendingError = 0;
  EXPECT_EQ(w.Search(1, 0, -1), 0);
  EXPECT_EQ(Co.PendingError, 0);
  reset_engine_state();
}

// The window program against the simulated emulator, with the console
// windows as its only child windows.
class ConsoleWindowTest : public testing::Test {
 protected:
  void SetUp() override {
    owl_test_app();
    reset_engine_state();
    app_reset_state();
    frame_reset_state();
    Boxes.clear();
    Answers.clear();
    setenv("HALV80_LOCK_DIR", folder.dir().c_str(), 1);
    previous_sink_ = host_set_message_box_sink(record_box);
    TApplication::SetRunHook(run_body);
    for (const char* name : {"qqn80.cfg", "MON80.QQN", "rz7_00.hwf"})
      std::filesystem::copy_file(std::filesystem::path(HALV80_DATA_DIR) / name, folder.dir() / name);
    folder.Write("qqn80.qpj", project_text());
    setenv("HALV80_REGISTRY_DIR", (folder.dir() / "registry").c_str(), 1);
    ASSERT_TRUE(dev_install_driver_parameters(0x300, 0));
    dev_reset_system();
    sim_ = std::make_unique<SimulatedDriver>(DevFixture{});
    DevSys.driver = sim_.get();
    DevSys.service_running = true;
    Links.emulator_startup = emu_startup;
    sym_install_links();
    for (u16 i = kChildCommand; i <= kChildCode1; ++i) win_set_child_factory(i, make_console_window);
  }
  void TearDown() override {
    TApplication::SetRunHook(nullptr);
    host_set_message_box_sink(previous_sink_);
    for (u16 i = 0; i < kChildCount; ++i) win_set_child_factory(i, nullptr);
    co_end_command_side();
    _Q_if_init();
    _NT_close_driver();
    _NT_setbioswork(nullptr);
    dev_reset_system();
    sim_.reset();
    unsetenv("HALV80_REGISTRY_DIR");
    frame_reset_state();
    reset_engine_state();
  }
  void RunApp(std::function<void(TMDIApp&)> body) { run_app(std::move(body)); }
  static TMainWindow& CommandWindow() { return *static_cast<TMainWindow*>(Frame.Children.commandWindow); }
  static void Type(TMainWindow& w, std::string_view text) {
    for (char c : text) w.SendMessage(WM_CHAR, u8(c));
  }
  // The text of every row the window shows, one line each (CP932 to UTF-8).
  static std::string Cells(TMainWindow& w) {
    std::string all;
    for (u16 r = 0; r < w.rows; ++r) {
      const u16 n = w.GetCopyRow(r);
      all += host_cp932_to_utf8(std::string(reinterpret_cast<const char*>(Frame.SharedRowText.data()), n));
      all += '\n';
    }
    return all;
  }

  // Rows whose drawn pixels disagree with their cells: ink on a row without
  // text, or none on a row with text.
  static std::vector<int> MisdrawnRows(TMainWindow& w) {
    std::vector<int> bad;
    const COLORREF back = COLORREF(Frame.Children.layout[w.windowIndex].backgroundColour) & 0xFFFFFF;
    TDC dc(w);
    for (u16 r = 0; r < w.rows; ++r) {
      const bool text = w.GetCopyRow(r) > 0;
      bool ink = false;
      for (int y = r * w.CellHeight(); y < (r + 1) * w.CellHeight() && !ink; ++y)
        for (int x = 0; x < w.columns * w.CellWidth() && !ink; ++x) ink = (dc.GetPixel(x, y) & 0xFFFFFF) != back;
      if (text != ink) bad.push_back(r);
    }
    return bad;
  }

  ScratchFolder folder;
  HostMessageBoxSink previous_sink_ = nullptr;
  std::unique_ptr<SimulatedDriver> sim_;
};

// One start of the window program per test binary: the simulated board is
// started once, so the steps below share it.
TEST_F(ConsoleWindowTest, KeysTypedIntoTheCommandWindowRunCommandsWhoseOutputItsCellsShow) {
  bool ran = false;
  RunApp([&](TMDIApp&) {
    ran = true;
    ASSERT_EQ(Sup.StartupFailure, 0);
    ASSERT_NE(Frame.Children.commandWindow, nullptr);
    TMainWindow& w = CommandWindow();
    ASSERT_GT(w.rows, 2);
    // Esc comes twice, as key-down and as character: the engine takes both
    w.SendMessage(WM_KEYDOWN, VK_ESCAPE);
    w.SendMessage(WM_CHAR, 0x1B);
    Type(w, "VER\r");
    EXPECT_EQ(Co.WaitKind & kWaitBitWaiting, kWaitBitWaiting);
    std::string cells = Cells(w);
    EXPECT_NE(cells.find(kProductName), std::string::npos) << cells;
    EXPECT_TRUE(Boxes.empty()) << Boxes.front();
    // the banner's row is drawn: text pixels on the layout's background
    {
      const COLORREF back = COLORREF(Frame.Children.layout[kChildCommand].backgroundColour) & 0xFFFFFF;
      const COLORREF text = COLORREF(Frame.Children.layout[kChildCommand].textColour) & 0xFFFFFF;
      ASSERT_NE(back, text);
      int row = -1;
      for (u16 r = 0; r < w.rows && row < 0; ++r)
        if (host_cp932_to_utf8(std::string(reinterpret_cast<const char*>(Frame.SharedRowText.data()), w.GetCopyRow(r)))
                .find(kProductName) != std::string::npos)
          row = r;
      ASSERT_GE(row, 0);
      TDC dc(w);
      int inked = 0, blank = 0;
      for (int y = row * w.CellHeight(); y < (row + 1) * w.CellHeight(); ++y)
        for (int x = 0; x < 20 * w.CellWidth(); ++x) {
          const COLORREF c = dc.GetPixel(x, y) & 0xFFFFFF;
          if (c == back) ++blank;
          else ++inked;
        }
      EXPECT_GT(inked, 0);
      EXPECT_GT(blank, inked);
    }

    // output scrolls: as many more commands as the window has rows push the banner out
    for (u16 i = 0; i < w.rows; ++i) Type(w, "R\r");
    cells = Cells(w);
    EXPECT_EQ(cells.find(kProductName), std::string::npos) << cells;
    Type(w, "VER\r");
    EXPECT_NE(Cells(w).find(kProductName), std::string::npos);
    // the pixels moved with the rows: every row shows what its cells hold
    Type(w, "D 0\r");
    EXPECT_EQ(MisdrawnRows(w), std::vector<int>{}) << Cells(w);

    // request 4: the engine's search over the pane's lines (the engine's
    // line provider counts from the oldest line when asked to restart),
    // forwards from the first line and backwards from the last
    win_set_search_text(kProductName);
    for (u32 flags : {1u, 3u}) {
      Co.Request = RequestBlock{};
      Co.Request.p2 = flags;
      Co.Request.p3 = flags == 1 ? 0 : Log.TotalLines - 1;
      Co.Request.view.log_restart = 1;
      Co.Request.code = RequestCode::SearchText;
      Frame.Children.activeIndex = kChildCommand;
      w.ServiceCoreRequest(RequestCode::SearchText);
      EXPECT_EQ(Co.Request.view.found, 1) << flags;
      EXPECT_EQ(Co.Request.p2, flags == 1 ? 0u : 2u);
      std::string line;
      Co.Request.view.log_restart = 1;
      w.GetRowText(0, i32(Co.Request.view.found_row), line);
      EXPECT_EQ(line.substr(Co.Request.view.found_column,
                            Co.Request.view.found_end_column - Co.Request.view.found_column),
                kProductName);
    }
    Co.Request = RequestBlock{};
    Co.PendingError = 0;

    // page copy: the visible rows on the clipboard, one line each, the
    // Japanese banner lines as Unicode
    Frame.Children.activeIndex = kChildCommand;
    w.ServiceCoreRequest(RequestCode::PageCopy);
    const std::string copied = QApplication::clipboard()->text().toStdString();
    EXPECT_EQ(copied, Cells(w)) << copied;
    EXPECT_NE(copied.find("ＱＵＥＮＤＡＲ"), std::string::npos) << copied;
    // rows selected with the mouse: whole rows from the press to the release
    {
      int row = -1;
      for (u16 r = 0; r < w.rows && row < 0; ++r)
        if (host_cp932_to_utf8(std::string(reinterpret_cast<const char*>(Frame.SharedRowText.data()), w.GetCopyRow(r)))
                .find("ＱＵＥＮＤＡＲ") != std::string::npos)
          row = r;
      ASSERT_GT(row, 0);
      const auto at = [&](int column, int r) { return owl_make_long(u16(column * w.CellWidth() + 1), u16(r * w.CellHeight() + 1)); };
      const auto press_and_hold = [&](int column, int r) {
        HeartbeatTick += 5;  // long after the activation
        w.SendMessage(WM_LBUTTONDOWN, MK_LBUTTON, at(column, r));
        HeartbeatTick += 5;  // held until the selection starts
        w.SelectionTick();
      };
      press_and_hold(3, row);
      w.SendMessage(WM_MOUSEMOVE, MK_LBUTTON, at(0, row - 1));
      QApplication::processEvents();
      w.SendMessage(WM_LBUTTONUP, 0, at(0, row - 1));
      std::string expected;
      for (int r = row - 1; r <= row; ++r)
        expected += host_cp932_to_utf8(std::string(reinterpret_cast<const char*>(Frame.SharedRowText.data()), w.GetCopyRow(u16(r)))) + "\n";
      EXPECT_EQ(QApplication::clipboard()->text().toStdString(), expected);
      EXPECT_EQ(w.mouseState, 0);
      // within one row: the word under the press and the release
      press_and_hold(1, row - 1);
      w.SendMessage(WM_MOUSEMOVE, MK_LBUTTON, at(2, row - 1));
      w.SendMessage(WM_LBUTTONUP, 0, at(2, row - 1));
      EXPECT_EQ(QApplication::clipboard()->text().toStdString(), "halv80");
    }
    // request 19: the message buffer
    sup_set_message_buffer(host_utf8_to_cp932("メッセージ"));
    w.ServiceCoreRequest(RequestCode::Clipboard);
    EXPECT_EQ(QApplication::clipboard()->text().toStdString(), "メッセージ");

    // codes without a meaning, or whose window-side work is not there, do no harm
    for (u16 code : {0, 3, 5, 6, 7, 10, 13, 21, 22, 25, 27, 28, 99, 101}) {
      Co.Request.code = RequestCode(code);
      w.ServiceCoreRequest(RequestCode(code));
    }
    Co.Request.code = RequestCode::None;
    EXPECT_TRUE(Boxes.empty());
    // the error box shows the message buffer without its leading line feed and blanks
    sup_set_message_buffer("\n  bad thing");
    w.ServiceCoreRequest(RequestCode::ErrorBox);
    ASSERT_EQ(Boxes.size(), 1u);
    EXPECT_EQ(Boxes[0], "QUENDAR ERROR|bad thing");
    // the commands still run after the requests
    Type(w, "VER\r");
    EXPECT_NE(Cells(w).find(kProductName), std::string::npos);
  });
  EXPECT_TRUE(ran);
}

}  // namespace
