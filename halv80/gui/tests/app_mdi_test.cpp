// The main menu's commands: each id reaches its handler, and its enabler
// follows the engine's state (program loaded or not, target running, command
// side busy), the windows present and the dialogs that exist.
#include "halv80/gui/app_mdi.h"

#include <gtest/gtest.h>

#include <cstring>
#include <QToolBar>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "halv80/gui/gui_engine.h"
#include "halv80/gui/res_menus.h"
#include "halv80/gui/res_strings.h"
#include "halv80/gui/tests/gui_app_fixture.h"
#include "halv80/gui/win_requests.h"
#include "halv80/symbols/dbi_load.h"
#include "platform/host/host_text.h"
#include "platform/owl/owl_qt.h"
#include "platform/owl/owl_system.h"

namespace {

class TestChild : public TMDIChild {
 public:
  using TMDIChild::TMDIChild;
};
TMDIChild* make_test_child(TMDICltNEW& client, u16, std::string_view title) { return new TestChild(client, title); }

// The main-menu commands of the application object that have an enabler or
// must be enabled by their handler.
const std::vector<u32> kCommands = {406, 407, 411, 412, 413, 414, 415, 416, 417, 510,
                                    465, 481, 511, 400, 402, 403, 404, 486, 487};

std::string LoadArgument;
void record_load(const char* argument) { LoadArgument = argument ? argument : ""; }

std::string PickedName = "PICK.HEX";
u32 LoadFlags = 0;
std::string LoadFilter;
bool pick_program(TWindow&, TOpenSaveData& data) {
  LoadFlags = data.flags;
  LoadFilter = host_cp932_to_utf8(data.filter);
  data.fileName = PickedName;
  return true;
}
bool dialog_ok(TWindow&) { return true; }
void dialog_shown(TWindow&) {}
bool font_ok(TWindow&, TMDIChild&) { return true; }
void options_shown(TWindow*) {}

class AppCommandTest : public GuiAppTest {
 protected:
  void SetUp() override {
    GuiAppTest::SetUp();
    UseScriptedCommandSide();
    folder.Write("qqn80.qpj", project_text());
    for (u16 i = 0; i < kChildCount; ++i)
      if (i != kChildInspect) win_set_child_factory(i, make_test_child);
    saved_hooks_ = RequestHooks;
    RequestHooks.optionsDialog = nullptr;
    AppDialogs = AppDialogHooks{};
    saved_load_ = sup_core_request_handler(CoreRequest::Load);
    sup_core_request_handler(CoreRequest::Load) = record_load;
    LoadArgument.clear();
    owl_help_reset(false);
  }
  void TearDown() override {
    sup_core_request_handler(CoreRequest::Load) = saved_load_;
    RequestHooks = saved_hooks_;
    AppDialogs = AppDialogHooks{};
    Frame.Children.inspectChainHead = nullptr;
    GuiAppTest::TearDown();
  }
  // The commands of kCommands that the menu shows enabled.
  static std::set<u32> Enabled(TMDIApp& app) {
    app.frame->EnableCommands();
    const TMenu menu = app.frame->GetMenu();
    std::set<u32> on;
    for (u32 id : kCommands) {
      EXPECT_TRUE(menu.HasItem(id)) << id;
      if ((menu.GetMenuState(id) & MF_GRAYED) == 0) on.insert(id);
    }
    return on;
  }

  ServiceHooks saved_hooks_;
  CoreRequestHandler saved_load_ = nullptr;
};

struct EnablerCase {
  const char* state;
  std::function<void()> set;
  std::function<void()> undo;
  std::set<u32> enabled;
};

TEST_F(AppCommandTest, EveryEnablerFollowsTheEngineTheWindowsAndTheDialogs) {
  TMDIChild* stand_in = nullptr;  // an inspect window for the enablers
  const auto loaded = [] { std::strcpy(Dbi.ProgramName, "DEMO.HEX"); };
  const auto unloaded = [] { Dbi.ProgramName[0] = '\0'; };
  const auto code_active = [] { win_activate_child(kChildCode); };
  const auto command_active = [] { win_activate_child(kChildCommand); };
  const auto dialogs = [] {
    AppDialogs = AppDialogHooks{pick_program, dialog_ok, dialog_shown, font_ok, dialog_ok};
    RequestHooks.optionsDialog = options_shown;
  };
  const auto no_dialogs = [] {
    AppDialogs = AppDialogHooks{};
    RequestHooks.optionsDialog = nullptr;
  };
  const std::vector<EnablerCase> cases = {
      {"stopped, nothing loaded, the command window active", command_active, [] {},
       {411, 413, 414, 415, 511, 486, 487}},
      {"a program loaded", loaded, unloaded, {407, 411, 413, 414, 415, 511, 486, 487}},
      {"a code window active", code_active, command_active, {411, 412, 413, 414, 415, 417, 511, 486, 487}},
      {"target running, code window active",
       [&] {
         code_active();
         loaded();
         run_set_execution_state(kExecRunning);
       },
       [&] {
         run_set_execution_state(0);
         unloaded();
         command_active();
       },
       {416, 511, 486, 487}},
      {"command side busy", [] { Co.WaitKind = kWaitBusy; }, [] { Co.WaitKind = kWaitKey; }, {416, 511, 486, 487}},
      {"an inspect window open, a program loaded",
       [&] {
         loaded();
         code_active();
         Frame.Children.inspectChainHead = stand_in;
       },
       [&] {
         Frame.Children.inspectChainHead = nullptr;
         unloaded();
         command_active();
       },
       {407, 511, 486, 487}},
      {"the no-monitor mode", [] { Sw.NoMonitorMode = 1; }, [] { Sw.NoMonitorMode = 0; }, {511, 486, 487}},
      {"the dialogs exist, no trace hardware", dialogs, no_dialogs,
       {406, 411, 413, 414, 415, 511, 400, 402, 403, 404, 486, 487}},
      {"the dialogs exist, trace hardware, target running",
       [&] {
         dialogs();
         ::Run.TraceHwLevel = 1;
         run_set_execution_state(kExecRunning);
       },
       [&] {
         run_set_execution_state(0);
         ::Run.TraceHwLevel = 0;
         no_dialogs();
       },
       {416, 510, 511, 400, 402, 403, 404, 486, 487}},
  };
  RunApp([&](TMDIApp& app) {
    ASSERT_EQ(Frame.ChildrenCreated, 1);
    stand_in = Frame.Children.windows[kChildMemo];
    for (const EnablerCase& c : cases) {
      c.set();
      EXPECT_EQ(Enabled(app), c.enabled) << c.state;
      c.undo();
    }
  });
}

TEST_F(AppCommandTest, RunCommandsLeaveTheirKeysForTheCommandSide) {
  struct KeyCase {
    u32 id;
    u16 key_code;
    u16 character;
    u8 flags;
  };
  const KeyCase cases[] = {
      {411, kKeyF5, 0, 0}, {412, kKeyF7, 0, 0}, {413, kKeyF8, 0, 0},      {414, kKeyF10, 0, 0},
      {415, kKeyF5, 0, kKeyCtrl}, {416, 0, 0x1B, 0}, {417, kKeyF9, 0, 0},
  };
  RunApp([&](TMDIApp& app) {
    for (const KeyCase& c : cases) {
      Co.Key = KeyEvent{};
      Co.Key.flags = kKeyShift;  // what a key left before; the command clears it
      ASSERT_TRUE(app.frame->RouteCommand(c.id)) << c.id;
      EXPECT_EQ(Co.Key.key_code, c.key_code) << c.id;
      EXPECT_EQ(Co.Key.character, c.character) << c.id;
      EXPECT_EQ(Co.Key.flags, c.flags) << c.id;
    }
    Co.Key = KeyEvent{};
  });
}

TEST_F(AppCommandTest, LoadAndReloadRunTheEnginesLoadCommand) {
  RunApp([&](TMDIApp& app) {
    // Load without its dialog does nothing
    EXPECT_TRUE(app.frame->RouteCommand(406));
    EXPECT_EQ(LoadArgument, "");
    AppDialogs.loadDialog = pick_program;
    for (const auto& [toolchain, filter] : std::vector<std::pair<u16, std::string>>{
             {16, "実行ﾌｧｲﾙ (*.HEX)|*.HEX||"}, {3, "実行ﾌｧｲﾙ (*.D01)|*.D01||"}, {4, "実行ﾌｧｲﾙ (*.ABS)|*.ABS||"}}) {
      Sw.ToolchainKind = toolchain;
      LoadArgument.clear();
      EXPECT_TRUE(app.frame->RouteCommand(406));
      EXPECT_EQ(LoadArgument, "L PICK.HEX");
      EXPECT_EQ(LoadFilter, filter);
    }
    Sw.ToolchainKind = 16;
    EXPECT_NE(LoadFlags & 0x00200000u, 0u);  // long names, as the engine's LONGNAME says
    // Reload takes the last name the load command was given, program bytes only
    std::strcpy(Dbi.ProgramName, "DEMO.HEX");
    EXPECT_TRUE(app.frame->RouteCommand(407));
    EXPECT_EQ(LoadArgument, "LP DEMO.HEX");
    // the code pane's listing follows the load
    EXPECT_EQ(Co.Key.key_code, key_word(PseudoKey::ListingUpdate));
    Co.Key = KeyEvent{};
    Dbi.ProgramName[0] = '\0';
  });
}

TEST_F(AppCommandTest, HelpEventSettingAndEnvironmentSetup) {
  RunApp([&](TMDIApp& app) {
    for (u32 id : {486u, 487u, 488u}) EXPECT_TRUE(app.frame->RouteCommand(id));
    ASSERT_EQ(owl_help_calls().size(), 3u);
    EXPECT_EQ(owl_help_calls()[0].command, 1u);  // contents: context 1
    EXPECT_EQ(owl_help_calls()[0].data, 1u);
    EXPECT_EQ(owl_help_calls()[1].command, 0x105u);  // the keyword search with an empty key
    EXPECT_EQ(owl_help_calls()[2].command, 4u);
    for (const OwlHelpCall& call : owl_help_calls()) EXPECT_EQ(call.file, Frame.HelpFilePath);

    // event setting: on OK the break list is drawn again
    AppDialogs.eventDialog = dialog_ok;
    EXPECT_TRUE(app.frame->RouteCommand(510));
    EXPECT_EQ(Co.Key.key_code, key_word(PseudoKey::BreakWindowAction));
    EXPECT_EQ(Co.Request.p1, kBreakRowNoChange);
    Co.Key = KeyEvent{};

    // environment setup answered with Cancel changes nothing
    Answers = {kBoxAnswerCancel};
    EXPECT_TRUE(app.frame->RouteCommand(511));
    ASSERT_EQ(Boxes.size(), 1u);
    EXPECT_EQ(Boxes[0], "QUENDAR|環境設定のためQUENDARを終了します\nよろしいですか");
    EXPECT_EQ(Frame.ExitWithoutAsking, 0);
    EXPECT_EQ(::Run.ConfirmFlag, 0);
  });
}

TEST_F(AppCommandTest, TheWindowBarFitsTheFrameAndGreysWindowsNeverMade) {
  win_set_child_factory(kChildWatch, nullptr);  // its class is not there
  RunApp([&](TMDIApp& app) {
    app.frame->EnableCommands();
    auto* bar = qobject_cast<QToolBar*>(owl_outer_widget(*app.bars[1]));
    ASSERT_NE(bar, nullptr);
    // the bar's actions in gadget order, separators included
    const std::vector<u32> ids = app.bars[1]->GadgetIds();
    ASSERT_EQ(std::size_t(bar->actions().size()), ids.size());
    std::map<u32, QAction*> actions;
    for (std::size_t k = 0; k < ids.size(); ++k) actions[ids[k]] = bar->actions()[int(k)];
    ASSERT_TRUE(actions.count(543));
    EXPECT_EQ(actions[543]->text().toStdString(), "ｺｰﾄﾞ1");
    EXPECT_EQ(actions[531]->text().toStdString(), "ｳｫｯﾁ");
    EXPECT_FALSE(actions[531]->isEnabled());
    EXPECT_TRUE(actions[542]->isEnabled());
    // every button shows at the frame's default width
    EXPECT_LE(bar->sizeHint().width(), app.frame->GetWindowRect().Width());
  });
}

TEST(AppCommandHintTest, TheFrameAndWindowCommandsHaveHintsAndTips) {
  const struct {
    u16 id;
    const char* hint;
    const char* tip;
  } cases[] = {
      {24310, "QUENDARの終了", "終了"},
      {24361, "ｳｲﾝﾄﾞｳを重ねて表示", "ｶｽｹｰﾄﾞ"},
      {24362, "ｳｲﾝﾄﾞｳを並べて表示", "ﾀｲﾙ"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(host_cp932_to_utf8(res_command_hint(c.id)), c.hint) << c.id;
    EXPECT_EQ(host_cp932_to_utf8(res_command_tip(c.id)), c.tip) << c.id;
  }
}

}  // namespace
