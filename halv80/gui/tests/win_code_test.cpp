// The code and command windows and the heartbeat in the window program,
// against the simulated emulator with the demo program loaded: the code
// window follows the program counter after a trace and after a free run that
// stops at a breakpoint (noticed by the heartbeat), its actions set a
// breakpoint and run to the cursor, the command window's history and paste,
// and the heartbeat's status bar and system-error box.
#include "halv80/gui/win_code.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <QApplication>
#include <QClipboard>
#include <QElapsedTimer>
#include <QThread>
#include <QTimer>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>

#include "halv80/engine/brk_table.h"
#include "halv80/engine/emu_startup.h"
#include "halv80/engine/engine_state.h"
#include "halv80/engine/testing/simulated_emulator.h"
#include "halv80/engine/run_state.h"
#include "halv80/engine/sup_messages.h"
#include "halv80/gui/app_heartbeat.h"
#include "halv80/gui/app_main.h"
#include "halv80/gui/app_mdi.h"
#include "halv80/gui/tests/gui_board_fixture.h"
#include "halv80/gui/dlg_codeline.h"
#include "halv80/gui/dlg_inswatch.h"
#include "halv80/gui/win_command.h"
#include "halv80/symbols/fmt_rows.h"
#include "halv80/symbols/sym_modules.h"
#include "halv80/symbols/sym_state_file.h"
#include "halv80/version.h"
#include "platform/device/dev_driver.h"
#include "platform/host/host_text.h"
#include "platform/owl/tests/owl_test_app.h"

namespace {

TEST(CodeWindowFixTest, RequestNineSendsPositionsOutsideTheFixedRangeToTheOtherWindow) {
  owl_test_app();
  reset_engine_state();
  frame_reset_state();
  TMDIClient client;
  auto* primary = new TCODEWindow(client, host_utf8_to_cp932("コード"));
  auto* second = new TCODEWindow(client, host_utf8_to_cp932("コード-1"));
  ASSERT_EQ(primary->windowIndex, kChildCode);
  ASSERT_EQ(second->windowIndex, kChildCode1);
  Frame.Children.windows[kChildCode] = primary;
  Frame.Children.windows[kChildCode1] = second;
  ASSERT_EQ(primary->OtherCodeWindow(), second);
  const struct {
    u16 current, other;  // fix modes
    u32 otherFile, nesting, pc;
    u16 answer;
  } cases[] = {
      {kFixNone, kFixNone, 1, 3, 0x300, 0},
      {kFixFile, kFixOther | kFixFile, 0, 0, 0x250, 0},  // inside the fixed file: the fixing window
      {kFixFile, kFixOther | kFixFile, 0, 0, 0x400, 1},  // outside: the other one
      {kFixOther | kFixFunction, kFixFunction, 0, 0, 0x250, 1},
      {kFixOther | kFixFunction, kFixFunction, 0, 0, 0x2FF, 1},
      {kFixOther | kFixFunction, kFixFunction, 0, 0, 0x300, 0},  // the range's end is outside
      {kFixFlip, kFixFlip, 1, 0, 0x250, 1},
      {kFixFlip, kFixFlip, 0, 2, 0x250, 1},
      {kFixFlip, kFixFlip, 0, 0, 0x250, 0},
      {kFixFlip, kFixFlip, 1, 0x1000, 0x250, 0},  // the special nesting value keeps the window
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.current << " " << c.pc);
    primary->fixMode = c.current;
    second->fixMode = c.other;
    primary->fixStart = second->fixStart = 0x200;
    primary->fixEnd = second->fixEnd = 0x300;
    EXPECT_EQ(primary->MayShowPosition(c.otherFile, c.nesting, c.pc), c.answer);
  }
  // captions: the fixing window shows its suffix, the other none, the second one ends "-1"
  primary->captionBase = "demo.c";
  second->captionBase = "demo.c";
  primary->fixMode = kFixFile;
  primary->fixSuffix = "[demo]";
  second->fixMode = kFixOther | kFixFile;
  second->fixSuffix = "[other]";
  primary->SetCaption();
  second->SetCaption();
  EXPECT_EQ(primary->GetCaption(), "demo.c[demo]");
  EXPECT_EQ(second->GetCaption(), "demo.c-1");
  // after a program load both drop their modes and the other forgets its view
  second->viewSnapshot.valid = 1;
  Frame.Children.consoleWindow = primary;
  primary->ProgramLoaded();
  EXPECT_EQ(primary->fixMode, kFixNone);
  EXPECT_EQ(second->fixMode, kFixNone);
  EXPECT_EQ(second->viewSnapshot.valid, 0);
  frame_reset_state();
}

class CodeWindowTest : public GuiBoardTest {
 protected:
  static TCMDWindow& CommandWindow() { return *static_cast<TCMDWindow*>(Frame.Children.commandWindow); }
  static TCODEWindow& CodeWindow() { return *static_cast<TCODEWindow*>(Frame.Children.consoleWindow); }
  // The demo program with its line table and source in the folder.
  void UseLineProgram() {
    for (const char* name : {"demo.hex", "demo.sym", "demo.lin", "demo.MAP", "demo.src"})
      std::filesystem::copy_file(std::filesystem::path(HALV80_TEST_PROGRAM_DIR) / "load_lines" / name,
                                 folder.dir() / name, std::filesystem::copy_options::overwrite_existing);
  }
  // The code window's row painted as the program counter's, or -1.
  static int PcRow(TMainWindow& w) {
    for (u16 r = 0; r < w.rows; ++r) {
      w.GetCopyRow(r);
      if (Frame.SharedRowAttributes[10] == 0x60) return r;
    }
    return -1;
  }
  static std::string Hex4(u32 v) {
    char t[8];
    std::snprintf(t, sizeof t, "%04X", unsigned(v & 0xFFFF));
    return t;
  }
  // Heartbeat ticks, each after the idle pass that arms them.
  static void Tick(TMDIApp& app, int n) {
    for (int i = 0; i < n; ++i) {
      app.IdleAction();
      CodeWindow().SendMessage(WM_TIMER, kHeartbeatTimerId);
    }
  }
  // Ticks until `done` or 10 s: the board runs beside the host.
  static bool TickUntil(TMDIApp& app, const std::function<bool()>& done) {
    QElapsedTimer waited;
    waited.start();
    while (!done() && waited.elapsed() < 10000) {
      Tick(app, 1);
      QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
      QThread::msleep(2);
    }
    return done();
  }

};

TEST_F(CodeWindowTest, TheCodeWindowFollowsTheProgramCounterAndItsActionsSetBreaksAndRunToTheCursor) {
  bool ran = false;
  run_app([&](TMDIApp& app) {
    ran = true;
    ASSERT_EQ(Sup.StartupFailure, 0);
    ASSERT_NE(Frame.Children.consoleWindow, nullptr);
    ASSERT_EQ(Frame.Children.consoleWindow, Frame.Children.windows[kChildCode]);
    TCMDWindow& cmd = CommandWindow();
    TCODEWindow& code = CodeWindow();
    Type(cmd, "L demo.hex\r");
    Type(cmd, "U 200\r");
    ASSERT_TRUE(Boxes.empty()) << Boxes.front();

    // trace: the program counter's row moves with it
    Type(cmd, "PC=200\r");
    Type(cmd, "T\r");
    const u16 after_trace = ::Run.Regs.pc;
    ASSERT_NE(after_trace, 0x200);
    int row = PcRow(code);
    ASSERT_GE(row, 0) << Cells(code);
    EXPECT_NE(Row(code, u16(row)).find(Hex4(after_trace)), std::string::npos) << Cells(code);

    // a breakpoint, then a free run that the heartbeat sees stop there
    Type(cmd, "BP _add_point\r");
    ASSERT_EQ(Brk.UsedCount, 1);
    const u32 target = Brk.Slots[0].address;
    ui_post_run_action(RunAction::Go);  // as the menu and the tool bar leave it
    ASSERT_TRUE(TickUntil(app, [&] { return (::Run.ExecutionState & kExecRunning) == 0 && ::Run.Regs.pc == target; }))
        << Cells(cmd);
    Tick(app, 2);
    row = PcRow(code);
    ASSERT_GE(row, 0) << Cells(code);
    EXPECT_NE(Row(code, u16(row)).find(Hex4(target)), std::string::npos) << Cells(code);
    Type(cmd, "BC *\r");
    ASSERT_EQ(Brk.UsedCount, 0);

    // a click three rows below the program counter puts the engine's cursor there
    const u16 click_row = u16(row + 3);
    const u32 cursor_address = Lst.RowKey[click_row + 1];
    code.mouseState = 1;  // a click is armed
    code.SendMessage(WM_LBUTTONUP, 0, owl_make_long(u16(10 * code.CellWidth()), u16(click_row * code.CellHeight() + 1)));
    EXPECT_EQ(Lst.CodeCursorMode, 1u);
    EXPECT_EQ(Lst.CursorRow, click_row + 1);
    // a click in the margin of that row sets a breakpoint there, a second one takes it away
    for (u16 expected : {1, 0}) {
      code.mouseState = 1;
      code.SendMessage(WM_LBUTTONUP, 0, owl_make_long(1, u16(click_row * code.CellHeight() + 1)));
      ASSERT_EQ(Brk.UsedCount, expected);
      if (expected) {
        EXPECT_EQ(Brk.Slots[0].address, cursor_address);
      }
    }
    // F9 there sets a breakpoint at its address, a second F9 takes it away
    ui_post_run_action(RunAction::SoftwareBreak);
    Tick(app, 1);
    ASSERT_EQ(Brk.UsedCount, 1) << Cells(cmd);
    EXPECT_EQ(Brk.Slots[0].address, cursor_address);
    ui_post_run_action(RunAction::SoftwareBreak);
    Tick(app, 1);
    EXPECT_EQ(Brk.UsedCount, 0);
    // F7: come, the run to the cursor
    code.mouseState = 1;
    code.SendMessage(WM_LBUTTONUP, 0, owl_make_long(u16(10 * code.CellWidth()), u16(click_row * code.CellHeight() + 1)));
    ui_post_run_action(RunAction::Come);
    ASSERT_TRUE(
        TickUntil(app, [&] { return (::Run.ExecutionState & kExecRunning) == 0 && ::Run.Regs.pc == cursor_address; }))
        << Cells(cmd);
    EXPECT_TRUE(Boxes.empty()) << Boxes.front();
  });
  EXPECT_TRUE(ran);
}

TEST_F(CodeWindowTest, WhileTheTargetRunsTheStatusBarSaysSoAndTheHeartbeatSeesTheForcedStop) {
  bool ran = false;
  run_app([&](TMDIApp& app) {
    ran = true;
    ASSERT_EQ(Sup.StartupFailure, 0);
    TCMDWindow& cmd = CommandWindow();
    auto* status = dynamic_cast<TQNStatusBar*>(App.StatusBar);
    ASSERT_NE(status, nullptr);
    // a loop that never ends
    Type(cmd, "A 300\r");
    Type(cmd, "JR 300\r");
    Type(cmd, "\r");
    Type(cmd, "PC=300\r");
    ui_post_run_action(RunAction::Go);
    Tick(app, 1);
    ASSERT_NE(::Run.ExecutionState & kExecRunning, 0) << Cells(cmd);
    Tick(app, 12);
    EXPECT_EQ(host_cp932_to_utf8(status->GetText()), "   ターゲット実行中   ");
    if (::Run.TraceHwLevel != 0) {
      EXPECT_EQ(status->GetFieldText(kStatusFieldAddress).substr(0, 3), "030") << status->GetFieldText(kStatusFieldAddress);
    }
    // the running message stays while the target runs
    Tick(app, 60);
    EXPECT_EQ(host_cp932_to_utf8(status->GetText()), "   ターゲット実行中   ");
    // Esc, the forced break: the heartbeat sees the stop, the message goes
    ui_post_run_action(RunAction::ForceBreak);
    ASSERT_TRUE(TickUntil(app, [] { return (::Run.ExecutionState & kExecRunning) == 0; })) << Cells(cmd);
    Tick(app, 6);
    EXPECT_NE(host_cp932_to_utf8(status->GetText()), "   ターゲット実行中   ");
    EXPECT_EQ(::Run.Regs.pc, 0x300);
    const int row = PcRow(CodeWindow());
    ASSERT_GE(row, 0) << Cells(CodeWindow());
    EXPECT_NE(Row(CodeWindow(), u16(row)).find("0300"), std::string::npos) << Cells(CodeWindow());
  });
  EXPECT_TRUE(ran);
}

TEST_F(CodeWindowTest, TheLineNumberAndExpressionDialogsHandTheirTextsToTheEngine) {
  bool ran = false;
  run_app([&](TMDIApp& app) {
    ran = true;
    ASSERT_EQ(Sup.StartupFailure, 0);
    TCMDWindow& cmd = CommandWindow();
    TCODEWindow& code = CodeWindow();
    Type(cmd, "L demo.hex\r");
    Type(cmd, "U 200\r");
    // an address the engine refuses keeps the dialog open; a good one moves the pane
    std::vector<u16> failures;
    QTimer::singleShot(0, [&] {
      CodeLineDialog* d = CodeLineDialog::Current;
      if (!d) return;
      d->edit->SetText("zz!");
      d->SendMessage(WM_COMMAND, 1);
      failures.push_back(Co.PendingError);
      Co.PendingError = 0;
      d->edit->SetText("250");
      d->SendMessage(WM_COMMAND, 1);
    });
    code.SendMessage(WM_COMMAND, 446);
    ASSERT_EQ(failures.size(), 1u);
    EXPECT_NE(failures[0], 0);
    EXPECT_EQ(Lst.RowKey[lst_pane_top()] & 0xFFFF, 0x250u) << Cells(code);
    EXPECT_NE(Row(code, 0).find("0250"), std::string::npos) << Cells(code);
    EXPECT_EQ(code.GetScrollPos(), 0x250 * 1000 / 0xFFFF);  // the thumb follows the pane

    Tick(app, 2);
  });
  EXPECT_TRUE(ran);
}

TEST_F(CodeWindowTest, WatchFallsBackToTheExpressionDialogInSourceView) {
  UseLineProgram();
  bool ran = false;
  run_app([&](TMDIApp& app) {
    ran = true;
    ASSERT_EQ(Sup.StartupFailure, 0);
    TCMDWindow& cmd = CommandWindow();
    TCODEWindow& code = CodeWindow();
    Type(cmd, "L demo.hex\r");
    Type(cmd, "PC=main\r");
    ASSERT_NE(SymModules.ModuleCount, 0) << Cells(cmd);
    if (Lst.ListingMode != kListingSource) {
      code.SendMessage(WM_COMMAND, 445);  // to the source view
      Tick(app, 2);
    }
    ASSERT_EQ(Lst.ListingMode, kListingSource) << Cells(code);
    // the engine's cursor on a line's first character, a blank or a brace
    int row = -1;
    for (u16 r = 0; r < code.rows && row < 0; ++r) {
      const std::string text = Row(code, r);
      if (text.size() > 5 && (text[5] == '{' || text[5] == '}')) row = r;
    }
    ASSERT_GE(row, 0) << Cells(code);
    code.mouseState = 1;
    code.SendMessage(WM_LBUTTONUP, 0, owl_make_long(u16(5 * code.CellWidth() + 1), u16(row * code.CellHeight() + 1)));
    // watch: the engine cannot take the word at its cursor, the dialog asks
    // for the expression, which becomes a watch and goes into the history
    ASSERT_EQ(FmtRows.WatchCount, 0);
    int asked = 0;
    QTimer answer;
    QObject::connect(&answer, &QTimer::timeout, [&] {
      InsWatchString* d = InsWatchString::Current;
      if (!d) return;
      ++asked;
      d->combo->SetText(asked == 1 ? "i" : "");
      d->SendMessage(WM_COMMAND, 1);
    });
    answer.start(5);
    code.SendMessage(WM_COMMAND, 422);
    answer.stop();
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(FmtRows.WatchCount, 1);
    ASSERT_FALSE(Frame.Histories[2].empty());
    EXPECT_EQ(Frame.Histories[2].front(), "i");
    // Cancel ends the command without a change
    QTimer::singleShot(0, [&] {
      if (InsWatchString* d = InsWatchString::Current) d->SendMessage(WM_COMMAND, 2);
    });
    code.SendMessage(WM_COMMAND, 422);
    EXPECT_EQ(FmtRows.WatchCount, 1);
    EXPECT_EQ(Sup.SuppressOnce, 0);
  });
  EXPECT_TRUE(ran);
}

// A program named on the command line is loaded at the first paint: the code
// window lists it, and Reload is offered.
TEST_F(CodeWindowTest, AProgramOnTheCommandLineFillsTheCodeWindowAndEnablesReload) {
  UseLineProgram();
  std::strcpy(Cmd.StartupArgs, " DEMO.HEX ");
  bool ran = false;
  run_app([&](TMDIApp& app) {
    ran = true;
    ASSERT_EQ(Sup.StartupFailure, 0);
    ASSERT_EQ(Sw.StartupProgramGiven, 1);
    ASSERT_NE(SymModules.ModuleCount, 0);
    Tick(app, 2);
    TCODEWindow& code = CodeWindow();
    EXPECT_NE(Cells(code).find("main"), std::string::npos) << Cells(code);
    app.frame->EnableCommands();
    EXPECT_EQ(app.frame->GetMenu().GetMenuState(407) & MF_GRAYED, 0u);
    EXPECT_TRUE(Boxes.empty()) << Boxes.front();
  });
  EXPECT_TRUE(ran);
}

TEST_F(CodeWindowTest, WithAFixedFunctionStopsOutsideItShowInTheSecondCodeWindow) {
  UseLineProgram();
  bool ran = false;
  run_app([&](TMDIApp& app) {
    ran = true;
    ASSERT_EQ(Sup.StartupFailure, 0);
    TCMDWindow& cmd = CommandWindow();
    auto* primary = dynamic_cast<TCODEWindow*>(Frame.Children.windows[kChildCode]);
    auto* second = dynamic_cast<TCODEWindow*>(Frame.Children.windows[kChildCode1]);
    ASSERT_TRUE(primary && second);
    if (second->IsIconic()) second->ShowWindow(SW_RESTORE);
    primary->MakeCurrent();
    Type(cmd, "L demo.hex\r");
    Type(cmd, "PC=main\r");
    if (Lst.ListingMode != kListingSource) {
      primary->SendMessage(WM_COMMAND, 445);
      Tick(app, 2);
    }
    ASSERT_EQ(Lst.ListingMode, kListingSource);
    // fix the function that holds the PC on the primary window
    primary->SendMessage(WM_COMMAND, 452);
    ASSERT_EQ(primary->fixMode, kFixFunction);
    EXPECT_EQ(second->fixMode, kFixOther | kFixFunction);
    EXPECT_EQ(primary->fixSuffix, "[main()]");
    EXPECT_NE(primary->GetCaption().find("[main()]"), std::string::npos) << primary->GetCaption();
    // a stop in another function shows in the second window, which becomes current
    Type(cmd, "BP add_point\r");
    ui_post_run_action(RunAction::Go);
    ASSERT_TRUE(TickUntil(app, [&] { return (::Run.ExecutionState & kExecRunning) == 0 &&
                                            Frame.Children.consoleWindow == second; }))
        << Cells(cmd);
    EXPECT_EQ(primary->viewSnapshot.valid, 1);
    EXPECT_EQ(second->GetCaption().substr(second->GetCaption().size() - 2), "-1");
    // back inside main: the primary window takes over again with its saved view
    Type(cmd, "BC *\r");
    Type(cmd, "PC=main\r");
    Type(cmd, "T\r");
    Tick(app, 2);
    EXPECT_EQ(Frame.Children.consoleWindow, primary) << Cells(cmd);
    // switched off by the same command; a program load drops the modes too
    primary->SendMessage(WM_COMMAND, 452);
    EXPECT_EQ(primary->fixMode, kFixNone);
    EXPECT_EQ(second->fixMode, kFixNone);
  });
  EXPECT_TRUE(ran);
}

TEST(HistoryListTest, AnEnteredTextGoesToTheTopOnceAndThirtyEntriesAreKept) {
  std::vector<std::string> h;
  for (int i = 0; i < 31; ++i) win_push_history(h, "e" + std::to_string(i));
  ASSERT_EQ(h.size(), 30u);
  EXPECT_EQ(h.front(), "e30");
  EXPECT_EQ(h.back(), "e1");  // the 31st distinct entry pushed the oldest out
  win_push_history(h, "e5");
  EXPECT_EQ(h.size(), 30u);
  EXPECT_EQ(h.front(), "e5");
  EXPECT_EQ(std::count(h.begin(), h.end(), "e5"), 1);
  win_push_history(h, std::string(40, 'x'));
  EXPECT_EQ(h.front(), std::string(29, 'x'));
}

TEST_F(CodeWindowTest, CommandHistoryPasteAndTheHeartbeatsStatusBar) {
  bool ran = false;
  run_app([&](TMDIApp& app) {
    ran = true;
    ASSERT_EQ(Sup.StartupFailure, 0);
    TCMDWindow& cmd = CommandWindow();
    Type(cmd, "R\r");
    Type(cmd, "VER\r");

    // Shift+F2 from the menu: the history dialog lists the lines numbered,
    // and Enter takes the selected one onto the command line
    std::vector<std::string> listed;
    int selected = -1;
    QTimer::singleShot(0, [&] {
      HistSymExtDialog* d = HistSymExtDialog::Current;
      if (!d) return;
      listed = d->items;
      selected = d->selected;
      d->SendMessage(WM_KEYDOWN, VK_RETURN);
    });
    cmd.SendMessage(WM_COMMAND, 484);
    ASSERT_GE(listed.size(), 2u) << Cells(cmd);
    char first[8];
    std::snprintf(first, sizeof first, "%3u: ", unsigned(listed.size()));
    EXPECT_EQ(listed.front().substr(0, 5), first);
    EXPECT_EQ(listed.back().substr(0, 5), "  1: ");
    EXPECT_EQ(selected, int(listed.size()) - 1);
    // the oldest line at the top, the newest last and selected
    EXPECT_EQ(listed.back(), "  1: VER");
    EXPECT_EQ(listed[listed.size() - 2], "  2: R");
    // the chosen line stands on the command line: Enter runs it
    Type(cmd, "\r");
    EXPECT_TRUE(Boxes.empty()) << Boxes.front();

    // paste: the clipboard's lines are typed as keys; the buffer goes once typed
    QApplication::clipboard()->setText("VER\n");
    cmd.SendMessage(WM_COMMAND, 409);
    EXPECT_TRUE(win_paste_pending());
    Tick(app, 3);
    EXPECT_FALSE(win_paste_pending());
    EXPECT_NE(Cells(cmd).find(kProductName), std::string::npos) << Cells(cmd);

    // a status message stays 50 ticks, then the console windows' key hint comes back
    auto* status = dynamic_cast<TQNStatusBar*>(App.StatusBar);
    ASSERT_NE(status, nullptr);
    Co.PendingError = u16(kErrStatusBase + 88);
    Tick(app, 1);
    EXPECT_EQ(host_cp932_to_utf8(status->GetText()), "    ステップ実行中    ");
    EXPECT_EQ(Co.PendingError, 0);
    StatusHint = kHintBit | 10;
    Tick(app, 49);
    EXPECT_EQ(host_cp932_to_utf8(status->GetText()), "    ステップ実行中    ");
    Tick(app, 4);
    EXPECT_EQ(status->GetText(), "1:Module 2:OptWin 3:SrcSW 4:Search 5:Go 6:Inspct 7:Come 8:Trace 9:Break 10:Step");

    // a system error: the box asks whether to re-initialise; No goes on
    Answers = {kBoxAnswerNo};
    Co.PendingError = 801;
    Tick(app, 1);
    ASSERT_EQ(Boxes.size(), 1u);
    EXPECT_EQ(Boxes[0], "System Error|ﾀｰｹﾞｯﾄの電源を確認してください\nQUENDAR-RZ7を初期化してもよいですか？");
    EXPECT_EQ(Co.PendingError, 0);
    Type(cmd, "VER\r");
    EXPECT_NE(Cells(cmd).find(kProductName), std::string::npos);
    // Yes re-initialises the emulator, and the debugger goes on
    Answers = {kBoxAnswerYes};
    Co.PendingError = 801;
    Tick(app, 1);
    ASSERT_EQ(Boxes.size(), 2u);
    EXPECT_EQ(Co.PendingError, 0);
    EXPECT_EQ(Sup.StartupFailure, 0);
    EXPECT_EQ(Hb.errorBoxOpen, 0);
    Type(cmd, "R\r");
    Type(cmd, "VER\r");
    EXPECT_NE(Cells(cmd).find(kProductName), std::string::npos);
    EXPECT_EQ(Boxes.size(), 2u) << Boxes.back();
  });
  EXPECT_TRUE(ran);
}

}  // namespace

namespace {

// A click on the text of a source line moves the engine's cursor there (the
// line's text is read from the file, which is closed while the debugger waits).
TEST_F(CodeWindowTest, AClickOnTheTextOfASourceLineMovesTheCursorThere) {
  UseLineProgram();
  std::strcpy(Cmd.StartupArgs, " DEMO.HEX ");
  bool ran = false;
  run_app([&](TMDIApp& app) {
    ran = true;
    ASSERT_EQ(Sup.StartupFailure, 0);
    Tick(app, 10);
    TCODEWindow& code = CodeWindow();
    ASSERT_EQ(Lst.PaneShows, kListingSource) << Cells(code);
    ASSERT_NE(Lst.CursorRow, 14u);
    // window row 13 is screen row 14; column 15 is inside "    return v * v;"
    const u32 at = owl_make_long(u16(15 * code.CellWidth() + 1), u16(13 * code.CellHeight() + 1));
    code.SendMessage(WM_LBUTTONDOWN, MK_LBUTTON, at);
    code.SendMessage(WM_LBUTTONUP, 0, at);
    EXPECT_EQ(Lst.CursorRow, 14u) << Cells(code);
    EXPECT_EQ(Lst.CodeCursorMode, 1u);
  });
  EXPECT_TRUE(ran);
}

}  // namespace
