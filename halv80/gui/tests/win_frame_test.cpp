// The main frame offscreen: the command side's start-up against the simulated
// emulator, the menu bar, the bars, the children from the saved layout, tiling,
// cascade and the proportional fit, the exit question and the layout written
// back, and a look at the frame's picture.
#include "halv80/gui/win_frame.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <QApplication>
#include <QImage>
#include <QMainWindow>
#include <QMenuBar>
#include <QStatusBar>
#include <QToolBar>
#include <algorithm>
#include <functional>
#include <memory>

#include "halv80/engine/cmd_core.h"
#include "halv80/engine/emu_startup.h"
#include "halv80/engine/engine_state.h"
#include "halv80/engine/testing/simulated_emulator.h"
#include "halv80/gui/app_main.h"
#include "halv80/gui/app_mdi.h"
#include "halv80/gui/prj_layout.h"
#include "halv80/gui/res_menus.h"
#include "halv80/gui/win_code.h"
#include "halv80/gui/testing/scripted_command_side.h"
#include "halv80/gui/tests/gui_app_fixture.h"
#include "halv80/symbols/sym_state_file.h"
#include "platform/device/dev_driver.h"
#include "platform/host/host_text.h"
#include "platform/host/host_ui.h"
#include "platform/owl/owl_qt.h"
#include "platform/owl/tests/owl_test_app.h"

namespace {

// A child window class of the table's tests.
class TestChild : public TMDIChild {
 public:
  using TMDIChild::TMDIChild;
};
TMDIChild* make_test_child(TMDICltNEW& client, u16, std::string_view title) { return new TestChild(client, title); }


class FrameTest : public GuiAppTest {
 protected:
  void SetUp() override {
    GuiAppTest::SetUp();
    UseScriptedCommandSide();
  }
  void AllChildren() {
    for (u16 i = 0; i < kChildCount; ++i) win_set_child_factory(i, make_test_child);
  }
  // The rectangle an arrangement gave child i (its window may have a larger
  // minimum size than the smallest rectangles).
  static TRect RectOf(u16 i) {
    const WindowLayoutRecord& r = Frame.Children.layout[i];
    return TRect{r.left, r.top, r.right, r.bottom};
  }
};

TEST_F(FrameTest, TheCommandSideStartsAgainstTheSimulatedEmulatorAndWaitsForAKey) {
  for (const char* name : {"qqn80.cfg", "MON80.QQN", "rz7_00.hwf"})
    std::filesystem::copy_file(std::filesystem::path(HALV80_DATA_DIR) / name, folder.dir() / name);
  folder.Write("qqn80.qpj", project_text());
  setenv("HALV80_REGISTRY_DIR", (folder.dir() / "registry").c_str(), 1);
  ASSERT_TRUE(dev_install_driver_parameters(0x300, 0));
  dev_reset_system();
  auto sim = std::make_unique<SimulatedDriver>(DevFixture{});
  DevSys.driver = sim.get();
  DevSys.service_running = true;
  Links.emulator_startup = emu_startup;
  sym_install_links();
  FrameStartHooks = FrameHooks{};  // the real command side and the library's checks

  bool ran = false;
  RunApp([&](TMDIApp&) {
    ran = true;
    EXPECT_EQ(Sup.StartupFailure, 0);
    EXPECT_EQ(Co.WaitKind, kWaitKey);
    EXPECT_TRUE(Boxes.empty()) << Boxes.front();
    EXPECT_EQ(Frame.ChildrenCreated, 1);
    // the start-up made the memo file and read the project's options
    EXPECT_TRUE(std::filesystem::exists(folder.dir() / "Memo.QN"));
    EXPECT_EQ(Sw.TabWidth, 8);
  });
  EXPECT_TRUE(ran);
  co_end_command_side();
  stop_simulated_emulator(sim);
  unsetenv("HALV80_REGISTRY_DIR");
}

TEST_F(FrameTest, TheMenuBarShowsMenu100AndGreysWhatNoOneAnswers) {
  folder.Write("qqn80.qpj", project_text());
  RunApp([&](TMDIApp& app) {
    TMenu menu = app.frame->GetMenu();
    ASSERT_EQ(menu.GetItemCount(), 8u);
    const char* popups[] = {"ﾌｧｲﾙ(&F)", "編集(&E)", "検索(&S)", "表示(&V)", "実行(&R)", "ｳｲﾝﾄﾞｳ(&W)", "設定(&O)", "ﾍﾙﾌﾟ(&H)"};
    auto* bar = static_cast<QMainWindow*>(owl_outer_widget(*app.frame))->menuBar();
    for (u32 i = 0; i < 8; ++i) EXPECT_EQ(bar->actions()[int(i)]->text().toStdString(), popups[i]);
    EXPECT_EQ(host_cp932_to_utf8(menu.GetMenuString(406)), "ﾛｰﾄﾞ(&L)..\tShift+F9");
    EXPECT_EQ(host_cp932_to_utf8(menu.GetMenuString(kCmExit)), "終了(&X)");
    for (u32 id : {406u, 407u, 411u, 412u, 413u, 414u, 415u, 416u, 417u, 510u, 465u, 481u, 511u, 400u, 403u, 402u,
                   404u, 405u, 419u, 424u, 427u, 486u, 487u, 530u, 409u, 410u, 482u, 483u, 447u, kCmTileChildren,
                   kCmCascadeChildren, kIdStatusBar, kIdToolBar, kIdWindowBar})
      EXPECT_TRUE(menu.HasItem(id)) << id;
    app.frame->EnableCommands();
    EXPECT_EQ(menu.GetMenuState(406) & MF_GRAYED, MF_GRAYED);  // no load dialog
    EXPECT_EQ(menu.GetMenuState(kCmTileChildren) & MF_GRAYED, 0u);
    EXPECT_EQ(menu.GetMenuState(kCmExit) & MF_GRAYED, 0u);
    EXPECT_EQ(menu.GetMenuState(kIdStatusBar), MF_CHECKED);
    EXPECT_EQ(menu.GetMenuState(419), MF_CHECKED);  // hints on
    EXPECT_EQ(menu.GetMenuState(405), MF_CHECKED);  // window resizing on
  });
}

TEST_F(FrameTest, TheActiveChildsMenuTakesItsPlaceInTheBar) {
  folder.Write("qqn80.qpj", project_text());
  AllChildren();
  RunApp([&](TMDIApp& app) {
    auto titles = [&] {
      std::vector<std::string> t;
      auto* bar = static_cast<QMainWindow*>(owl_outer_widget(*app.frame))->menuBar();
      for (QAction* a : bar->actions()) t.push_back(a->text().toStdString());
      return t;
    };
    const TMenu menu = app.frame->GetMenu();
    // the memo's Edit and Search popups stand in for the frame's; its own follows Run
    win_activate_child(kChildMemo);
    EXPECT_EQ(titles(), (std::vector<std::string>{"ﾌｧｲﾙ(&F)", "編集(&E)", "検索(&S)", "表示(&V)", "実行(&R)", "メモ(&M)",
                                                  "ｳｲﾝﾄﾞｳ(&W)", "設定(&O)", "ﾍﾙﾌﾟ(&H)"}));
    EXPECT_EQ(menu.GetSubMenu(1).GetItemId(0), 24321u);  // the edit control's Undo, not the frame's Paste
    EXPECT_EQ(menu.GetSubMenu(5).GetItemId(5), 24326u);
    EXPECT_FALSE(menu.HasItem(410));
    // the command window keeps the frame's Edit and Search and adds its own popup
    win_activate_child(kChildCommand);
    EXPECT_EQ(titles(), (std::vector<std::string>{"ﾌｧｲﾙ(&F)", "編集(&E)", "検索(&S)", "表示(&V)", "実行(&R)", "コマンド",
                                                  "ｳｲﾝﾄﾞｳ(&W)", "設定(&O)", "ﾍﾙﾌﾟ(&H)"}));
    EXPECT_EQ(menu.GetSubMenu(1).GetItemId(0), 409u);
    EXPECT_EQ(menu.GetSubMenu(5).GetItemId(0), 484u);
    EXPECT_FALSE(menu.HasItem(24321));
  });
}

TEST_F(FrameTest, TheBarsFollowTheStoredFlags) {
  const struct {
    const char* line;
    bool shown[2];
    bool vertical[2];
    bool status;
  } cases[] = {
      {"Tool Bar=5,406,-1,411\r\nStatus Bar=1\r\n", {true, true}, {false, false}, true},
      {"Tool Bar=11,406\r\nStatus Bar=0\r\n", {true, false}, {true, true}, false},
      {"Tool Bar=4\r\n", {false, true}, {false, false}, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    app_reset_state();
    frame_reset_state();
    gui_set_script({ScriptStep::WaitKey()});
    folder.Write("qqn80.qpj", std::string("%SYS\r\n") + c.line + "%END\r\n\x1A");
    RunApp([&](TMDIApp& app) {
      for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(app.bars[i]->IsWindowVisible(), c.shown[i]) << i;
        EXPECT_EQ(app.bars[i]->Vertical(), c.vertical[i]) << i;
      }
      EXPECT_EQ(App.StatusBar->IsWindowVisible(), c.status);
      // the tool bar holds the stored list, the window bar its fixed buttons
      EXPECT_EQ(app.bars[1]->GadgetIds(),
                (std::vector<u32>{421, 0, 542, 541, 531, 532, 533, 534, 535, 536, 537, 538, 539, 0, 543}));
    });
    co_end_command_side();
  }
  // the first case's list, with its separator
  frame_reset_state();
  app_reset_state();
  folder.Write("qqn80.qpj", std::string("%SYS\r\n") + cases[0].line + "%END\r\n\x1A");
  RunApp([&](TMDIApp& app) {
    EXPECT_EQ(app.bars[0]->GadgetIds(), (std::vector<u32>{406, 0, 411}));
    // flipping the window bar leaves the hidden tool bar hidden
    app.bars[0]->ShowWindow(SW_HIDE);
    app.frame->SendMessage(WM_COMMAND, 421);
    EXPECT_TRUE(app.bars[1]->Vertical());
    EXPECT_FALSE(app.bars[0]->IsWindowVisible());
    EXPECT_TRUE(app.bars[1]->IsWindowVisible());
    // the view commands show and hide a decoration by its id
    app.frame->SendMessage(WM_COMMAND, kIdStatusBar);
    EXPECT_FALSE(App.StatusBar->IsWindowVisible());
  });
}

TEST_F(FrameTest, ChildrenComeInRankOrderAndMissingClassesStayEmpty) {
  // every window ranked; Memory and Stack share rank 3; Break has none
  std::string sys;
  const int ranks[kChildCount] = {1, 3, 2, 3, 5, 6, 0, 7, 8, 0, 11, 12, 10};
  for (u16 i = 0; i < kChildCount; ++i) {
    Frame.Children.layout[i].activationRank = u8(ranks[i]);
    Frame.Children.layout[i].right = 100 + i;
    Frame.Children.layout[i].bottom = 50;
  }
  for (u16 i = 0; i < kLayoutRecordCount; ++i) sys += prj_format_layout_line(i);
  folder.Write("qqn80.qpj", "%SYS\r\n" + sys + "%END\r\n\x1A");
  frame_reset_state();
  AllChildren();
  win_set_child_factory(4, nullptr);  // the Local window's class is not there
  RunApp([&](TMDIApp& app) {
    const auto& t = Frame.Children;
    for (u16 i = 0; i < kChildCount; ++i) {
      const bool expected = i != 4 && i != kChildInspect;
      EXPECT_EQ(t.windows[i] != nullptr, expected) << i;
    }
    // Break had no rank: it took the Watch record (rank 1) and then slot 2;
    // each later collision moved a window to the lowest free slot, once
    const int ranks_now[kChildCount] = {1, 4, 3, 5, 6, 7, 2, 8, 9, 0, 11, 12, 10};
    for (u16 i = 0; i < kChildCount; ++i) EXPECT_EQ(t.layout[i].activationRank, ranks_now[i]) << i;
    EXPECT_EQ(t.layout[6].right, 100);  // with the Watch window's placement
    EXPECT_EQ(app.client->GetActiveMDIChild(), t.windows[kChildCode]);  // rank 12
    EXPECT_EQ(t.commandWindow, t.windows[kChildCommand]);
    EXPECT_EQ(Frame.HeartbeatRunning, 1);
    // every operation on the table skips the empty entries
    win_activate_child(4);
    EXPECT_EQ(win_active_index(), kChildCode);
    win_activate_child(3);
    EXPECT_EQ(win_active_index(), 3);
    win_cycle_focus(0);
    EXPECT_EQ(win_active_index(), 5);  // past the Local entry, never created
    win_cycle_focus(1);
    win_cycle_focus(1);
    EXPECT_EQ(win_active_index(), 2);
    for (int k = 0; k < 30; ++k) win_cycle_focus(u16(k % 3 == 0));
    EXPECT_NE(win_active_index(), 4);
    app.client->CmTileChildren();
    app.client->FitChildrenToClient();
  });
}

TEST_F(FrameTest, AFileWithoutRanksGetsTheDefaultLayout) {
  folder.Write("qqn80.qpj", "%SYS\r\n%END\r\n\x1A");
  AllChildren();
  RunApp([&](TMDIApp&) {
    for (u16 i = 0; i < kChildCount; ++i)
      if (i != kChildInspect) {
        EXPECT_NE(Frame.Children.windows[i], nullptr) << i;
      }
    EXPECT_EQ(win_active_index(), kChildCode);
    EXPECT_TRUE(Frame.Children.windows[kChildMemo]->IsIconic());
  });
}

TEST_F(FrameTest, TilingFollowsTheSystemsArrangement) {
  folder.Write("qqn80.qpj", project_text());
  AllChildren();
  RunApp([&](TMDIApp& app) {
    auto& t = Frame.Children;
    app.frame->MoveWindow(TRect{0, 0, 1000, 700});
    QApplication::processEvents();
    const TRect client = app.client->GetWindowRect();
    const int W = client.Width() - 4, H = client.Height() - 4;
    // Code, Command and Watch only: one column, Code half, the others a quarter
    for (u16 i = 0; i < kChildCount; ++i)
      if (t.windows[i] && i != kChildCode && i != kChildCommand && i != kChildWatch) t.windows[i]->ShowWindow(SW_MINIMIZE);
    t.windows[kChildCode]->ShowWindow(SW_RESTORE);
    app.client->CmTileChildren();
    EXPECT_EQ(RectOf(kChildCode), (TRect{0, 0, W, H / 2}));
    EXPECT_EQ(RectOf(kChildCommand), (TRect{0, H / 2, W, H / 2 + (H - H / 2) / 2}));
    EXPECT_EQ(RectOf(kChildWatch), (TRect{0, H / 2 + (H - H / 2) / 2, W, H}));
    EXPECT_EQ(t.layout[kRecordClient].right, W);
    EXPECT_EQ(t.windows[kChildCode]->GetWindowRect(), RectOf(kChildCode));  // and the window went there

    // the five main windows and the seven others: three columns
    for (u16 i = 0; i < kChildCount; ++i)
      if (t.windows[i]) t.windows[i]->ShowWindow(SW_RESTORE);
    app.client->CmTileChildren();
    const int w0 = W / 2, w1 = (W - w0) / 2;
    const int h = 2 * H / 6;
    EXPECT_EQ(RectOf(kChildCode), (TRect{0, 0, w0, h}));
    EXPECT_EQ(RectOf(1).bottom, H);  // Memory closes the main column
    EXPECT_EQ(RectOf(kChildRegister), (TRect{w0, 0, w0 + w1 / 2, 2 * (H / 3)}));
    EXPECT_EQ(RectOf(3), (TRect{w0 + w1 / 2, 0, w0 + w1, 2 * (H / 3)}));
    EXPECT_EQ(RectOf(4), (TRect{w0, 2 * (H / 3), w0 + w1, H}));
    EXPECT_EQ(RectOf(8), (TRect{w0 + w1, RectOf(8).top, W, H}));
    EXPECT_EQ(RectOf(5).left, w0 + w1);
  });
}

TEST_F(FrameTest, CascadeAndAResizeKeepTheReferenceAndTheProportions) {
  folder.Write("qqn80.qpj", project_text());
  AllChildren();
  RunApp([&](TMDIApp& app) {
    auto& t = Frame.Children;
    app.frame->MoveWindow(TRect{0, 0, 800, 600});
    QApplication::processEvents();
    app.client->CmTileChildren();
    const TRect before = RectOf(kChildCommand);
    const WindowLayoutRecord ref = t.layout[kRecordClient];
    // twice as wide, as high as before
    const TRect frame = app.frame->GetWindowRect();
    app.frame->MoveWindow(TRect{0, 0, frame.Width() + ref.right, frame.Height()});
    QApplication::processEvents();
    app.client->FitChildrenToClient();
    const TRect after = RectOf(kChildCommand);
    EXPECT_EQ(t.layout[kRecordClient].right, 2 * ref.right);
    EXPECT_EQ(after.left, 2 * before.left);
    EXPECT_EQ(after.right, 2 * before.right);
    EXPECT_EQ(after.top, before.top);
    EXPECT_EQ(after.bottom, before.bottom);

    // with resizing off only the reference follows
    Frame.WindowResizeMode = 0;
    app.frame->MoveWindow(frame);
    QApplication::processEvents();
    app.client->FitChildrenToClient();
    EXPECT_EQ(RectOf(kChildCommand), after);
    EXPECT_EQ(t.layout[kRecordClient].right, ref.right);

    t.layout[kChildCode].keepSize = 1;
    app.client->CmCascadeChildren();
    EXPECT_EQ(t.layout[kChildCode].keepSize, 0);
    // every shown window at least half the client, each a step below the one
    // activated before it, the active one lowest
    const WindowLayoutRecord& client = t.layout[kRecordClient];
    std::vector<std::pair<int, u16>> by_rank;
    for (u16 i = 0; i < kChildCount; ++i)
      if (t.windows[i] && i != kChildInspect && !t.windows[i]->IsIconic()) {
        const TRect r = t.windows[i]->GetWindowRect();
        EXPECT_GE(r.Width(), client.right / 2) << i;
        EXPECT_GE(r.Height(), client.bottom / 2) << i;
        by_rank.push_back({t.layout[i].activationRank, i});
      }
    std::sort(by_rank.begin(), by_rank.end());
    ASSERT_GE(by_rank.size(), 2u);
    for (std::size_t k = 1; k < by_rank.size(); ++k)
      EXPECT_GT(RectOf(by_rank[k].second).top, RectOf(by_rank[k - 1].second).top);
    EXPECT_EQ(by_rank.back().second, win_active_index());
  });
}

TEST_F(FrameTest, ExitAsksSavesTheLayoutAndReadsItBackTheSame) {
  folder.Write("qqn80.qpj", project_text());
  AllChildren();
  std::string saved;
  RunApp([&](TMDIApp& app) {
    Answers = {kBoxAnswerCancel};
    EXPECT_FALSE(app.frame->CanClose());
    EXPECT_EQ(Boxes, (std::vector<std::string>{"Exit QUENDAR|ＱＵＥＤＮＡＲを終了します"}));
    EXPECT_EQ(folder.Read("qqn80.qpj"), project_text());  // nothing saved
    app.frame->MoveWindow(TRect{10, 60, 710, 560});  // inside the offscreen screen
    QApplication::processEvents();
    Boxes.clear();
    EXPECT_TRUE(app.frame->CanClose());
    EXPECT_EQ(Boxes.size(), 1u);
    saved = folder.Read("qqn80.qpj");
    EXPECT_NE(saved, project_text());
    EXPECT_EQ(saved.substr(saved.find("%BRK")), project_text().substr(project_text().find("%BRK")));
    // without the question when asked to skip it
    Boxes.clear();
    Frame.ExitWithoutAsking = 1;
    EXPECT_TRUE(app.frame->CanClose());
    EXPECT_TRUE(Boxes.empty());
    EXPECT_EQ(folder.Read("qqn80.qpj"), saved);
  });
  // the next start reads it back and writes the same bytes
  frame_reset_state();
  app_reset_state();
  reset_engine_state();
  gui_set_script({ScriptStep::WaitKey()});
  RunApp([&](TMDIApp& app) {
    Frame.ExitWithoutAsking = 1;
    EXPECT_TRUE(app.frame->CanClose());
    EXPECT_EQ(folder.Read("qqn80.qpj"), saved);
  });
}

// The template with the window program's own text windows: the memo and the
// second code window minimized, the code window above the command window on
// the left, the code window active; and the same after a restart.
TEST_F(FrameTest, TheTemplateLayoutComesUpAsTheFileSaysAndAgainAfterARestart) {
  folder.Write("qqn80.qpj", project_text());
  const auto text_windows = [] {
    for (u16 i : {kChildMemo, kChildCommand, kChildCode, kChildCode1}) win_set_child_factory(i, make_code_window);
  };
  const auto check = [](TMDIApp& app, const char* when) {
    const auto& t = Frame.Children;
    for (u16 i : {kChildMemo, kChildCommand, kChildCode, kChildCode1}) ASSERT_NE(t.windows[i], nullptr) << when;
    EXPECT_TRUE(t.windows[kChildMemo]->IsIconic()) << when;
    EXPECT_TRUE(t.windows[kChildCode1]->IsIconic()) << when;
    EXPECT_FALSE(t.windows[kChildCode]->IsIconic()) << when;
    EXPECT_FALSE(t.windows[kChildCommand]->IsIconic()) << when;
    EXPECT_EQ(app.client->GetActiveMDIChild(), t.windows[kChildCode]) << when;
    const TRect code = t.windows[kChildCode]->GetWindowRect();
    const TRect command = t.windows[kChildCommand]->GetWindowRect();
    EXPECT_EQ(code.left, 0) << when;
    EXPECT_EQ(code.top, 0) << when;
    EXPECT_EQ(command.left, 0) << when;
    EXPECT_NEAR(command.top, code.bottom, 1) << when;
    EXPECT_NEAR(command.right, code.right, 1) << when;
    EXPECT_GT(command.bottom, command.top + 50) << when;
    EXPECT_EQ(t.layout[kChildCode].activationRank, 12) << when;
    EXPECT_EQ(t.layout[kChildMemo].showState, kShowMinimized) << when;
    EXPECT_EQ(t.layout[kChildCode1].showState, kShowMinimized) << when;
  };
  text_windows();
  RunApp([&](TMDIApp& app) {
    check(app, "first start");
    Frame.ExitWithoutAsking = 1;
    EXPECT_TRUE(app.frame->CanClose());
  });
  frame_reset_state();
  app_reset_state();
  reset_engine_state();
  gui_set_script({ScriptStep::WaitKey()});
  text_windows();
  RunApp([&](TMDIApp& app) { check(app, "restart"); });
}

TEST_F(FrameTest, AUserLayoutPlacesTheWindowsAsSaved) {
  folder.Write("qqn80.qpj", project_text());
  AllChildren();
  RunApp([&](TMDIApp& app) {
    auto& t = Frame.Children;
    Frame.WindowResizeMode = 0;  // the client's size does not rescale here
    t.layout[kChildCode].showState = kShowMaximized;
    t.layout[kChildWatch].left = 20;
    t.layout[kChildWatch].top = 30;
    t.layout[kChildWatch].right = 320;
    t.layout[kChildWatch].bottom = 230;
    app.frame->SendMessage(WM_COMMAND, 427);  // save user layout 1
    const std::string saved = folder.Read("qqn80.qpj");
    ASSERT_NE(saved.find("%USR1\r\n"), std::string::npos);
    EXPECT_LT(saved.find("%USR1"), saved.find("%END"));

    // somewhere else, then layout 1 again
    t.layout[kChildCode].showState = kShowNormal;
    t.layout[kChildWatch].left = 0;
    t.windows[kChildWatch]->MoveWindow(TRect{0, 0, 250, 150});
    app.frame->SendMessage(WM_COMMAND, 424);
    EXPECT_TRUE(t.windows[kChildCode]->IsZoomed());
    EXPECT_EQ(t.layout[kChildWatch].left, 20);  // the file's values again
    t.windows[kChildCode]->ShowWindow(SW_RESTORE);
    EXPECT_EQ(t.windows[kChildWatch]->GetWindowRect(), (TRect{20, 30, 320, 230}));
    // the bar keys of %SYS are not read from a user layout
    EXPECT_EQ(saved.find("Tool Bar", saved.find("%USR1")), std::string::npos);
  });
}

TEST_F(FrameTest, AStartUpErrorAsksWhetherToEnd) {
  folder.Write("qqn80.qpj", project_text());
  const struct {
    u16 failure;        // StartupFailure when the box comes
    int answer;
    bool cancel_offered;
    u16 failure_after;
  } cases[] = {
      {1, kBoxAnswerOk, false, 1},
      {2, kBoxAnswerOk, true, 1},
      {2, kBoxAnswerCancel, true, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.failure);
    reset_engine_state();
    frame_reset_state();
    Boxes.clear();
    Answers = {c.answer};
    Sup.StartupFailure = 0;
    gui_set_script({ScriptStep::Request(RequestCode::ErrorBox), ScriptStep::WaitKey()});
    // the check stands in for the engine's start-up that set the failure word
    FrameStartHooks.checkLibrary = [] {
      sup_set_message_buffer(host_utf8_to_cp932("\n  ﾓﾆﾀが応答しません"));
      return u16(0);
    };
    static u16 failure;
    failure = c.failure;
    FrameStartHooks.commandMain = [] {
      Sup.StartupFailure = failure;
      gui_scripted_main();
    };
    RunApp([&](TMDIApp&) {});
    ASSERT_EQ(Boxes.size(), 1u);
    EXPECT_EQ(Boxes[0], "QUENDAR ERROR|ﾓﾆﾀが応答しません\nQUENDAR-RZ7を終了してもよいですか？");
    EXPECT_EQ(Sup.StartupFailure, c.failure_after);
    EXPECT_EQ(::Run.ConfirmFlag, c.failure_after == 1 ? 1 : 0);
    co_end_command_side();
  }
}

TEST_F(FrameTest, AFailedLibraryCheckShowsOneBoxAndNeverEntersTheCommandSide) {
  folder.Write("qqn80.qpj", project_text());
  FrameStartHooks.checkLibrary = [] { return u16(854); };
  RunApp([&](TMDIApp&) {
    EXPECT_EQ(Sup.StartupFailure, 1);
    EXPECT_EQ(Frame.ChildrenCreated, 0);
    EXPECT_EQ(Co.WaitKind, 0);
  });
  EXPECT_EQ(Boxes, (std::vector<std::string>{"QUENDAR ERROR|ﾄﾞﾗｲﾊﾞが開けませんでした"}));
}

TEST_F(FrameTest, TheFramesPictureShowsTheMenuBarAndTheStatusBar) {
  folder.Write("qqn80.qpj", project_text());
  RunApp([&](TMDIApp& app) {
    auto* mw = static_cast<QMainWindow*>(owl_outer_widget(*app.frame));
    mw->resize(800, 500);
    static_cast<TQNStatusBar*>(App.StatusBar)->SetStatus("READY", kStatusNotice);
    QApplication::processEvents();
    const QImage shot = mw->grab().toImage();
    ASSERT_FALSE(shot.isNull());
    // a region holds drawn text when it has more than one colour
    const auto varied = [&](const QRect& r) {
      const QImage part = shot.copy(r);
      const QRgb first = part.pixel(0, 0);
      for (int y = 0; y < part.height(); ++y)
        for (int x = 0; x < part.width(); ++x)
          if (part.pixel(x, y) != first) return true;
      return false;
    };
    const QRect menu = mw->menuBar()->geometry();
    const QRect status = mw->statusBar()->geometry();
    ASSERT_GT(menu.height(), 0);
    ASSERT_GT(status.height(), 0);
    EXPECT_LT(menu.bottom(), status.top());
    EXPECT_TRUE(varied(menu));
    EXPECT_TRUE(varied(status));
    // the notice colours fill the message field: yellow behind its text
    const TRect field = App.StatusBar->GetFieldRect(kStatusFieldMessage);
    const QPoint inside = mw->statusBar()->mapTo(mw, QPoint(field.right - 3, field.top + field.Height() / 2));
    EXPECT_EQ(QColor(shot.pixel(inside)), QColor(255, 255, 0));
  });
}

}  // namespace
