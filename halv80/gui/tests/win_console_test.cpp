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
#include "halv80/gui/app_heartbeat.h"
#include "halv80/gui/app_main.h"
#include "halv80/gui/app_mdi.h"
#include "halv80/gui/gui_engine.h"
#include "halv80/gui/tests/gui_board_fixture.h"
#include "halv80/gui/win_code.h"
#include "halv80/gui/win_requests.h"
#include "halv80/symbols/sym_state_file.h"
#include "halv80/version.h"
#include "platform/device/dev_driver.h"
#include "platform/host/host_text.h"
#include "platform/host/host_ui.h"
#include "platform/owl/owl_qt.h"
#include "platform/owl/owl_system.h"
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
  } cases[] = {{VK_NEXT, kKeyPageDown}, {VK_PRIOR, kKeyPageUp}, {VK_INSERT, kKeyInsert}, {VK_DELETE, kKeyDelete},
               {VK_UP, kKeyUp},         {VK_LEFT, kKeyLeft},     {VK_RIGHT, kKeyRight},   {VK_DOWN, kKeyDown},
               {VK_HOME, kKeyHome},     {VK_CLEAR, kKeyHome},    {VK_END, kKeyEnd},       {VK_HELP, kKeyEnd},
               {VK_F1, kKeyF1},         {VK_F10, kKeyF10},       {VK_F1 + 10, 0},         {'A', 0},
               {VK_ESCAPE, 0}};
  for (const auto& c : cases) EXPECT_EQ(console_key_code(c.key), c.code) << c.key;
}

TEST(ConsoleKeyTest, ScrollBarCodesBecomeThePseudoKeysOfTheListingMoves) {
  const struct {
    u32 code;
    u16 key;
  } cases[] = {{SB_LINEUP, key_word(PseudoKey::LineUp)},
               {SB_LINEDOWN, key_word(PseudoKey::LineDown)},
               {SB_PAGEUP, key_word(PseudoKey::PageUp)},
               {SB_PAGEDOWN, key_word(PseudoKey::PageDown)},
               {SB_THUMBPOSITION, key_word(PseudoKey::ThumbPosition)},
               {SB_THUMBTRACK, key_word(PseudoKey::ThumbTrack)},
               {SB_TOP, key_word(PseudoKey::Top)},
               {SB_BOTTOM, key_word(PseudoKey::Bottom)},
               {SB_ENDSCROLL, 0},
               {9, 0}};
  for (const auto& c : cases) EXPECT_EQ(console_scroll_key(c.code), c.key) << c.code;
}

TEST(HelpContextTest, IndicesOutsideTheTableOpenTheGeneralTopic) {
  const struct {
    u32 index, context;
  } cases[] = {{0, 42}, {1, 56}, {11, 44}, {0x21, 535}, {61, 2008}, {105, 2001}, {108, 2058}, {111, 42},
               {112, 42}, {0xFFFFFFFF, 42}};
  for (const auto& c : cases) EXPECT_EQ(help_context(c.index), c.context) << c.index;
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
class ConsoleWindowTest : public GuiBoardTest {
 protected:
  void InstallChildren() override {
    for (u16 i = kChildCommand; i <= kChildCode1; ++i) win_set_child_factory(i, make_console_window);
  }
  static TMainWindow& CommandWindow() { return *static_cast<TMainWindow*>(Frame.Children.commandWindow); }

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

  // What the hooks of the windows not built saw.
  static inline std::vector<std::string> Hooked;
  static void RecordInspect() {
    Hooked.push_back("inspect " + std::to_string(i32(Co.Request.p1)) + "," + std::to_string(i32(Co.Request.p2)));
  }
  static void RecordOptions(TWindow* parent) {
    Hooked.push_back(std::string("options ") + (parent == Frame.Children.mainFrame ? "frame" : "other"));
  }

  // Each request code once, served by the command window, with what the
  // window side does for it.
  static void ServeEveryRequest(TMainWindow& w) {
    ChildWindowTable& t = Frame.Children;
    auto* code = static_cast<TMainWindow*>(t.windows[kChildCode]);
    auto* code1 = static_cast<TMainWindow*>(t.windows[kChildCode1]);
    ASSERT_NE(code, nullptr);
    ASSERT_NE(code1, nullptr);
    ASSERT_EQ(t.consoleWindow, code);
    RequestHooks.openInspectWindow = RecordInspect;
    RequestHooks.optionsDialog = RecordOptions;
    Hooked.clear();
    owl_help_reset(false);
    const TPoint caretAt = t.mainFrame->Client().ScreenToClient(code->ClientToScreen({2 * w.CellWidth(), 3 * w.CellHeight()}));
    const std::string caretText = "inspect " + std::to_string(caretAt.x) + "," + std::to_string(caretAt.y);
    bool zoomed = false;
    char kept[] = "kept";
    using R = RequestCode;
    const struct {
      RequestCode code;
      std::function<void(RequestBlock&)> before;
      std::function<void(RequestBlock&)> check;
    } cases[] = {
        // 1: the caret cell (2, 3) of the code window, in the MDI client's coordinates
        {R::ShowValue, [](RequestBlock& r) { r.p1 = 2; r.p2 = 3; },
         [&](RequestBlock&) { ASSERT_FALSE(Hooked.empty()); EXPECT_EQ(Hooked.back(), caretText); }},
        // 2: no module dialog: the answer that means no choice, the count kept
        {R::ChooseSourceFile, [](RequestBlock& r) { r.p1 = 0x00020005; }, [](RequestBlock& r) { EXPECT_EQ(r.p1, 0xFFFF0005u); }},
        // 6, 7, 27: refreshes of data windows that are not there
        {R::Refresh, nullptr, nullptr},
        {R::BreakListChanged, nullptr, nullptr},
        {R::HistoryUpdate, nullptr, nullptr},
        // 8: the other code window shows the code pane
        {R::BringCodeWindow, nullptr, [&](RequestBlock&) { EXPECT_EQ(t.consoleWindow, code1); code->MakeCurrent(); }},
        // 9: the base keeps the position in the current window
        {R::MayShowPosition, [](RequestBlock& r) { r.p4 = 7; }, [](RequestBlock& r) { EXPECT_EQ(r.p4, 0u); }},
        // 10: the active window is remembered, to be activated again later
        {R::WatchListChanged, [&](RequestBlock&) { t.activeIndex = kChildCommand; },
         [](RequestBlock&) { EXPECT_EQ(Service.pendingViewRequest, kChildCommand + 1); }},
        // 12: no list dialog: the entries are taken and nothing is chosen
        {R::PickList, [&](RequestBlock& r) { r.p2 = 0; r.p3_ptr = kept; }, [](RequestBlock& r) { EXPECT_EQ(r.p3_ptr, nullptr); }},
        // 13: the key hint of P1 while a console window is active
        {R::CaretHint, [&](RequestBlock& r) { r.p1 = kHintShift; t.activeIndex = kChildCommand; },
         [](RequestBlock&) { EXPECT_EQ(StatusHint, 0x4000 | 12); }},
        // 14: the help file at the command's context, and the general one past the table
        {R::Help, [](RequestBlock& r) { r.p1 = 0x21; },
         [](RequestBlock&) { ASSERT_FALSE(owl_help_calls().empty()); EXPECT_EQ(owl_help_calls().back().data, 535u); }},
        {R::Help, [](RequestBlock& r) { r.p1 = 500; }, [](RequestBlock&) { EXPECT_EQ(owl_help_calls().back().data, 42u); }},
        // 15: the clipboard's text typed in, its line ends as CR LF
        {R::Paste, [](RequestBlock&) { QApplication::clipboard()->setText("A\nB\r\nC"); },
         [](RequestBlock&) {
           ASSERT_NE(Sup.TypedText, nullptr);
           EXPECT_STREQ(Sup.TypedText, "A\r\nB\r\nC");
           Sup.TypedText = nullptr;
         }},
        // 17: the focus to the next child
        {R::Focus, [](RequestBlock& r) { r.p1 = kFocusNext; }, nullptr},
        // 18: the options dialog, parent the frame
        {R::OptionsDialog, nullptr, [](RequestBlock&) { ASSERT_FALSE(Hooked.empty()); EXPECT_EQ(Hooked.back(), "options frame"); }},
        // 20: zoom and back
        {R::ZoomChild, [&](RequestBlock&) {
           TMDIChild* a = t.mainFrame->Client().GetActiveMDIChild();
           zoomed = a && a->IsZoomed();
         },
         [&](RequestBlock&) {
           if (TMDIChild* a = t.mainFrame->Client().GetActiveMDIChild()) {
             EXPECT_NE(a->IsZoomed(), zoomed);
             win_toggle_maximize();
           }
         }},
        // 21: fix modes dropped, the other code window repainted
        {R::ReloadCodeWindows, nullptr, nullptr},
        // 22: the thumbs, capped at the range's end
        {R::ScrollThumb, [](RequestBlock& r) { r.p1 = kThumbCommandPane; r.p2 = 1000; }, [&](RequestBlock&) { EXPECT_EQ(w.GetScrollPos(), 1000); }},
        {R::ScrollThumb, [](RequestBlock& r) { r.p1 = kThumbCodePane; r.p2 = 5000; }, [&](RequestBlock&) { EXPECT_EQ(code->GetScrollPos(), 1000); }},
        {R::ScrollThumb, [](RequestBlock& r) { r.p1 = kThumbCommandPane; r.p2 = 250; }, [&](RequestBlock&) { EXPECT_EQ(w.GetScrollPos(), 250); }},
        // 23, 26: nothing while the command window is active
        {R::LineNumberDialog, [&](RequestBlock&) { t.activeIndex = kChildCommand; }, nullptr},
        {R::CodeToPc, [&](RequestBlock&) { t.activeIndex = kChildCommand; Lst.ListingAddress = 0x1234; },
         [](RequestBlock&) { EXPECT_EQ(Lst.ListingAddress, 0x1234u); }},
        // 26 with a code window active: the code pane to the PC
        {R::CodeToPc, [&](RequestBlock&) { t.activeIndex = kChildCode; Lst.ListingAddress = 0x1234; },
         [](RequestBlock&) { EXPECT_NE(Lst.ListingAddress, 0x1234u); }},
        // codes without a meaning
        {R::None, nullptr, nullptr},
        {RequestCode(3), nullptr, nullptr},
        {RequestCode(25), nullptr, nullptr},
        {RequestCode(28), nullptr, nullptr},
        {RequestCode(99), nullptr, nullptr},
        {RequestCode(101), nullptr, nullptr},
    };
    for (const auto& c : cases) {
      SCOPED_TRACE(u16(c.code));
      Co.Request = RequestBlock{};
      Co.Key = KeyEvent{};
      if (c.before) c.before(Co.Request);
      Co.Request.code = c.code;
      w.ServiceCoreRequest(c.code);
      if (c.check) c.check(Co.Request);
      Co.Request.code = RequestCode::None;
    }
    t.activeIndex = kChildCommand;
    Co.Request = RequestBlock{};
    Co.PendingError = 0;
    EXPECT_TRUE(Boxes.empty()) << Boxes.front();
  }
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
    // the user works in the command window: the engine's key cursor follows the focus
    w.SendMessage(WM_SETFOCUS);
    EXPECT_EQ(Lst.CodeCursorMode, 0u);
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
    // the scroll bar's actions reach the engine as the listing moves'
    // pseudo-keys from this window, which takes them at its key wait
    for (u32 code : {u32(SB_TOP), u32(SB_PAGEUP), u32(SB_LINEDOWN), u32(SB_BOTTOM)}) {
      w.SendMessage(WM_VSCROLL, code);
      EXPECT_EQ(Co.Key.key_code, 0) << code;
      EXPECT_EQ(Co.Key.source_window, kChildCommand);
      EXPECT_EQ(Co.WaitKind & kWaitBitWaiting, kWaitBitWaiting);
    }
    w.SendMessage(WM_VSCROLL, SB_TOP);
    EXPECT_NE(Cells(w).find(kProductName), std::string::npos) << Cells(w);
    w.SendMessage(WM_VSCROLL, SB_BOTTOM);
    EXPECT_EQ(Cells(w), cells);
    // a selection dragged past an edge: the pane moves one line, and says so
    EXPECT_EQ(w.DragScrollDown(), 0) << "nothing below the newest line";
    EXPECT_EQ(w.DragScrollUp(), 1);
    EXPECT_NE(Cells(w), cells);
    EXPECT_EQ(w.DragScrollDown(), 1);
    EXPECT_EQ(Cells(w), cells);
    EXPECT_EQ(MisdrawnRows(w), std::vector<int>{}) << Cells(w);
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

    ServeEveryRequest(w);
    // a software break's stop reason, left on the engine's message line,
    // reaches the status bar
    {
      auto* bar = dynamic_cast<TQNStatusBar*>(Frame.Children.mainFrame->DecorationById(32040));
      ASSERT_NE(bar, nullptr);
      // errors the command side reports: the busy and status kinds on the
      // status bar, the others in the error box
      const struct {
        u16 error;
        bool boxed;
      } errors[] = {{kErrBusyBase + 1, false}, {kErrStatusBase + 1, false}, {2, true}, {kErrTextInBuffer, true}};
      sup_set_message_buffer("text in the buffer");
      for (const auto& e : errors) {
        SCOPED_TRACE(e.error);
        Boxes.clear();
        bar->SetStatus("", kStatusNormal);
        GuiSide.ShowPendingError(e.error);
        const std::string text = host_cp932_to_utf8(sup_pending_error_text(e.error));
        ASSERT_FALSE(text.empty());
        if (e.boxed) {
          ASSERT_EQ(Boxes.size(), 1u);
          EXPECT_EQ(Boxes[0], "QUENDAR ERROR|" + text);
        } else {
          EXPECT_TRUE(Boxes.empty());
          EXPECT_EQ(host_cp932_to_utf8(bar->GetFieldText(kStatusFieldMessage)), text);
        }
      }
      Boxes.clear();
      // the key hint is up before the run
      Hb.HeartbeatEnable = 1;
      for (int tick = 0; tick < 60; ++tick) app_heartbeat_tick(w);
      Type(w, "EB 100,0\rEB 101,0\rBP 102\rG =100\r");
      for (int i = 0; i < 10000 && ::Run.ExecutionState != kExecStopped; ++i) w.HandleKey();
      ASSERT_EQ(::Run.ExecutionState, kExecStopped);
      w.HandleKey();
      EXPECT_EQ(host_cp932_to_utf8(bar->GetFieldText(kStatusFieldMessage)), "ｿﾌﾄｳｪｱ ﾌﾞﾚｰｸ No.= 1");
      EXPECT_TRUE(Boxes.empty()) << Boxes.front();
      // like any status message it gives way to the key hint in time
      for (int tick = 0; tick < 60; ++tick) app_heartbeat_tick(w);
      EXPECT_NE(host_cp932_to_utf8(bar->GetFieldText(kStatusFieldMessage)), "ｿﾌﾄｳｪｱ ﾌﾞﾚｰｸ No.= 1");
      Type(w, "BC *\r");
    }
    // the engine's caption for the code window; the second one says "-1"
    for (u16 i : {kChildCode1, kChildCode}) {
      static_cast<TMainWindow*>(Frame.Children.windows[i])->MakeCurrent();
      Lst.CodeTitle = "MAIN.C";
      w.HandleKey();
      EXPECT_EQ(Lst.CodeTitle, nullptr);
      EXPECT_EQ(Frame.Children.windows[i]->GetCaption(), i == kChildCode ? "MAIN.C" : "MAIN.C-1");
    }
    // which window row shows the caret of a screen row: none outside the band
    {
      auto& code = *static_cast<TMainWindow*>(Frame.Children.windows[kChildCode]);
      const int p = Con.Geometry.command_first_row;
      ASSERT_EQ(p, code.rows + 2);
      const struct {
        TMainWindow* window;
        int row, shown;
      } cases[] = {
          {&code, 0, -1},     {&code, 1, 0},        {&code, p - 2, p - 3},
          {&code, p - 1, -1}, {&code, p, -1},       {&w, p - 1, -1},
          {&w, p, -1},        {&w, p + 1, 1},       {&w, p + w.rows - 1, w.rows - 1},
          {&w, p + w.rows, -1},
      };
      for (const auto& c : cases) EXPECT_EQ(c.window->CaretWindowRow(u16(c.row)), c.shown) << c.window->windowIndex << " " << c.row;
    }
    // the caret: the focused window's, on the engine's caret cell, hidden
    // while a mouse button is down
    w.SendMessage(WM_SETFOCUS);
    Type(w, "R");
    ASSERT_EQ(owl_caret().owner, &w);
    EXPECT_EQ(owl_caret().hidden, 0);
    EXPECT_EQ(w.caretShown, 1);
    EXPECT_EQ(owl_caret().rect.left, Con.CaretColumn * w.CellWidth());
    EXPECT_EQ(owl_caret().rect.top, (Con.CaretRow - Con.Geometry.command_first_row) * w.CellHeight());
    EXPECT_EQ(owl_caret().rect.Height(), w.CellHeight());
    const i64 inside = owl_make_long(u16(w.CellWidth()), u16(w.CellHeight()));
    w.SendMessage(WM_LBUTTONDOWN, MK_LBUTTON, inside);
    EXPECT_EQ(owl_caret().hidden, 1);
    w.SendMessage(WM_LBUTTONUP, 0, inside);
    EXPECT_EQ(owl_caret().hidden, 0);
    Type(w, "\b");
    w.SendMessage(WM_KILLFOCUS);
    EXPECT_EQ(owl_caret().owner, nullptr);
    // the commands still run after them
    Type(w, "VER\r");
    EXPECT_NE(Cells(w).find(kProductName), std::string::npos);
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

// The prompt stands on the command window's last row, right below the last
// output, also after the window was laid out at start-up and after it grew;
// the rows it gained show the lines logged before, and the rows it gave up
// leave nothing behind in the code window.
TEST_F(ConsoleWindowTest, TheCommandWindowShowsTheLogDownToThePromptOnItsLastRowAfterItGrows) {
  bool ran = false;
  RunApp([&](TMDIApp&) {
    ran = true;
    ASSERT_EQ(Sup.StartupFailure, 0);
    TMainWindow& w = CommandWindow();
    // the code window, with no listing yet, shows none of the command pane's
    // lines from before the windows were laid out
    ASSERT_NE(Frame.Children.consoleWindow, nullptr);
    auto& code = *static_cast<TMainWindow*>(Frame.Children.consoleWindow);
    EXPECT_EQ(Cells(code).find(kProductName), std::string::npos) << Cells(code);
    Type(w, "L demo\r");
    EXPECT_EQ(Row(w, u16(w.rows - 1)), ">") << Cells(w);
    EXPECT_EQ(Row(w, u16(w.rows - 2)), "Complete") << Cells(w);
    // more lines than the grown window has rows, none of them empty
    for (int i = 0; i < 20; ++i) Type(w, "R\r");
    const u16 before = w.rows;
    const TRect r = w.GetWindowRect();
    w.MoveWindow(TRect{r.left, r.top, r.right, r.bottom + 10 * w.CellHeight()});
    ASSERT_GE(w.rows, before + 8) << "the window grew";
    EXPECT_EQ(Row(w, u16(w.rows - 1)), ">");
    for (u16 row = 0; row + 1 < w.rows; ++row) EXPECT_NE(Row(w, row), "") << row << "\n" << Cells(w);
    EXPECT_EQ(MisdrawnRows(w), std::vector<int>{}) << Cells(w);
    // typing and output go on from the prompt on the last row
    Type(w, "R\r");
    EXPECT_EQ(Row(w, u16(w.rows - 1)), ">");
    EXPECT_EQ(Row(w, u16(w.rows - 4)), ">R") << Cells(w);
    EXPECT_EQ(MisdrawnRows(w), std::vector<int>{}) << Cells(w);
  });
  EXPECT_TRUE(ran);
}

}  // namespace

namespace {

// Minimized and restored, the command window draws its rows again, also
// when the restore's size message came while the window still counted as
// minimized (as it does under a window manager).
TEST_F(ConsoleWindowTest, TheCommandWindowDrawsAgainAfterMinimizeAndRestore) {
  bool ran = false;
  RunApp([&](TMDIApp&) {
    ran = true;
    ASSERT_EQ(Sup.StartupFailure, 0);
    TMainWindow& w = CommandWindow();
    Type(w, "R\r");
    w.SendMessage(WM_SYSCOMMAND, SC_MINIMIZE);
    QApplication::processEvents();
    ASSERT_TRUE(w.IsIconic());
    w.SendMessage(WM_SYSCOMMAND, SC_RESTORE);
    QApplication::processEvents();
    ASSERT_FALSE(w.IsIconic());
    w.minimized = 1;  // the flag the size message left behind
    w.RepaintAll();
    EXPECT_EQ(w.minimized, 0);
    EXPECT_EQ(MisdrawnRows(w), std::vector<int>{}) << Cells(w);
    Type(w, "R\r");
    EXPECT_EQ(MisdrawnRows(w), std::vector<int>{}) << Cells(w);
  });
  EXPECT_TRUE(ran);
}

TEST_F(ConsoleWindowTest, AConsoleWindowIsNeverSizedBelowTwoRowsOfCells) {
  RunApp([&](TMDIApp&) {
    ASSERT_EQ(Sup.StartupFailure, 0);
    for (u16 i : {kChildCommand, kChildCode}) {
      SCOPED_TRACE(i);
      auto* w = static_cast<TMainWindow*>(Frame.Children.windows[i]);
      ASSERT_NE(w, nullptr);
      w->MoveWindow(TRect{0, 0, 300, 12});
      EXPECT_EQ(w->GetClientRect().Height(), w->MinClientHeight());
      EXPECT_EQ(w->rows, 2);
      // the user's drag is held to the same bound
      owl_outer_widget(*w)->resize(300, 5);
      EXPECT_EQ(w->GetClientRect().Height(), 2 * w->CellHeight());
      w->MoveWindow(TRect{0, 0, 300, 300});
      EXPECT_GT(w->rows, 2);
    }
  });
}

}  // namespace

namespace {

// A command window over a scripted command side that records the keys.
class ConsoleTypingTest : public GuiAppTest {
 protected:
  void SetUp() override {
    GuiAppTest::SetUp();
    UseScriptedCommandSide();
    folder.Write("qqn80.qpj", project_text());
    win_set_child_factory(kChildCommand, make_console_window);
    win_set_child_factory(kChildCode, make_code_window);
    saved_hooks_ = RequestHooks;
    RequestHooks.openInspectWindow = nullptr;
  }
  void TearDown() override {
    RequestHooks = saved_hooks_;
    GuiAppTest::TearDown();
  }
  ServiceHooks saved_hooks_;
};

TEST_F(ConsoleTypingTest, AfterCtrlQALetterGoesAsItsControlCharacter) {
  RunApp([&](TMDIApp&) {
    ASSERT_NE(Frame.Children.commandWindow, nullptr);
    auto& w = *static_cast<TMainWindow*>(Frame.Children.commandWindow);
    const std::size_t before = gui_script_keys().size();
    // Ctrl+Q P, a plain P, Ctrl+Q l, Ctrl+Q Ctrl+P, Ctrl+Q 1
    for (u32 c : {0x11u, u32('P'), u32('P'), 0x11u, u32('l'), 0x11u, 0x10u, 0x11u, u32('1')})
      w.SendMessage(WM_CHAR, c);
    std::vector<u16> got;
    for (std::size_t i = before; i < gui_script_keys().size(); ++i) got.push_back(gui_script_keys()[i].first);
    EXPECT_EQ(got, (std::vector<u16>{0x11, 0x10, 'P', 0x11, 0x0C, 0x11, 0x10, 0x11, '1'}));
  });
}

TEST_F(ConsoleTypingTest, WatchAndInspectKeysWaitForTheirWindows) {
  RunApp([&](TMDIApp& app) {
    auto* code = dynamic_cast<TCODEWindow*>(Frame.Children.windows[kChildCode]);
    ASSERT_NE(code, nullptr);
    if (win_active_index() != kChildCode) win_activate_child(kChildCode);
    ASSERT_FALSE(code->IsIconic());
    app.frame->EnableCommands();
    const TMenu menu = app.frame->GetMenu();
    ASSERT_TRUE(menu.HasItem(422));
    EXPECT_EQ(menu.GetMenuState(422) & MF_GRAYED, MF_GRAYED);
    EXPECT_EQ(menu.GetMenuState(423) & MF_GRAYED, MF_GRAYED);
    const std::size_t keys = gui_script_keys().size();
    const u32 beeps = owl_beep_count();
    code->SendMessage(WM_KEYDOWN, VK_F1 + 5);  // F6: inspect
    code->SendMessage(WM_CHAR, 0x17);          // Ctrl+W: watch
    EXPECT_EQ(owl_beep_count(), beeps + 2);
    EXPECT_EQ(gui_script_keys().size(), keys);  // nothing reached the engine
    // with a way to open the inspect window F6 goes to the engine
    RequestHooks.openInspectWindow = [] {};
    code->SendMessage(WM_KEYDOWN, VK_F1 + 5);
    EXPECT_EQ(owl_beep_count(), beeps + 2);
    ASSERT_EQ(gui_script_keys().size(), keys + 1);
    EXPECT_EQ(gui_script_keys().back().second, kKeyF6);
  });
}

}  // namespace
