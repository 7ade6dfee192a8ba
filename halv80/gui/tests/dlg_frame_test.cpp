// The dialog frame, the dialogs' own controls and the small dialogs: each
// opens centred, with OK, Cancel and Help and mnemonic labels, validates, and
// hands its result on; the histories keep 30 entries across openings.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QWidget>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "halv80/engine/cfg_config.h"
#include "halv80/engine/cmd_core.h"
#include "halv80/engine/cmd_watch.h"
#include "halv80/engine/co_coroutine.h"
#include "halv80/engine/run_state.h"
#include "halv80/gui/dlg_breakpoint.h"
#include "halv80/gui/dlg_controls.h"
#include "halv80/gui/dlg_entries.h"
#include "halv80/gui/dlg_find.h"
#include "halv80/gui/dlg_inswatch.h"
#include "halv80/gui/dlg_load.h"
#include "halv80/gui/dlg_module.h"
#include "halv80/gui/dlg_options.h"
#include "halv80/gui/win_frame.h"
#include "halv80/gui/win_requests.h"
#include "halv80/symbols/sym_store.h"
#include "platform/host/host_file.h"
#include "platform/host/host_text.h"
#include "platform/host/host_ui.h"
#include "platform/owl/owl_app.h"
#include "platform/owl/owl_qt.h"
#include "platform/owl/owl_system.h"
#include "platform/owl/tests/owl_test_app.h"

namespace {

std::string utf8(const QString& s) { return s.toStdString(); }

// Runs `act` on the dialog being run once its loop has started.
template <class D>
void when_running(std::function<void(D&)> act) {
  QTimer::singleShot(0, [act] {
    if (auto* d = dynamic_cast<D*>(TQNDialog::Running)) act(*d);
  });
}

class DialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    owl_test_app();
    for (auto& h : Frame.Histories) h.clear();
    Frame.Children.mainFrame = nullptr;
    owl_help_reset(false);
  }
  void TearDown() override {
    for (auto& h : Frame.Histories) h.clear();
  }
};

// The texts of the dialog's push buttons, and its labels with their buddies.
std::vector<std::string> button_texts(const TWindow& dialog) {
  std::vector<std::string> texts;
  for (QPushButton* b : owl_outer_widget(dialog)->findChildren<QPushButton*>()) texts.push_back(utf8(b->text()));
  return texts;
}

}  // namespace

TEST(DialogPlacementTest, ADialogIsCentredOnTheFrameAndKeptOnTheScreen) {
  const TSize screen{1000, 800};
  struct Case {
    TRect frame;
    TSize dialog;
    TPoint at;
  } cases[] = {
      {{100, 100, 701, 501}, {200, 100}, {300, 250}},  // (601 - 200) / 2 rounds toward zero
      {{-300, 10, 100, 410}, {300, 100}, {0, 160}},    // off the left edge: x 0
      {{800, 700, 1200, 900}, {300, 200}, {700, 600}}, // past the right and bottom: flush with them
      {{0, 0, 1000, 800}, {1200, 900}, {0, 0}},        // larger than the screen: at 0
  };
  for (const Case& c : cases) {
    const TRect r = dlg_centred_rect(TRect{0, 0, c.dialog.cx, c.dialog.cy}, c.frame, screen);
    EXPECT_EQ((TPoint{r.left, r.top}), c.at) << c.frame.left << "," << c.frame.top;
    EXPECT_EQ(r.Width(), c.dialog.cx);
    EXPECT_EQ(r.Height(), c.dialog.cy);
  }
}

TEST(DialogHistoryTest, PushComboHistoryMovesATextToTheTopOnceAndKeepsThirty) {
  TComboBox combo(nullptr, 100, TRect{0, 0, 100, 20}, kComboTextLimit);
  std::string buffer;
  for (int i = 0; i < 31; ++i) {
    combo.SetText("e" + std::to_string(i));
    PushComboHistory(combo, buffer);
  }
  ASSERT_EQ(combo.GetCount(), 30);
  EXPECT_EQ(combo.GetString(0), "e30");
  EXPECT_EQ(combo.GetString(29), "e1");  // the 31st distinct text pushed the oldest out
  combo.SetText("e5");
  PushComboHistory(combo, buffer);
  EXPECT_EQ(combo.GetCount(), 30);
  EXPECT_EQ(combo.GetString(0), "e5");
  EXPECT_EQ(std::count(combo.Items().begin(), combo.Items().end(), "e5"), 1);
  combo.SetText(std::string(40, 'x'));  // the field admits 29 characters
  PushComboHistory(combo, buffer);
  EXPECT_EQ(buffer, std::string(29, 'x'));
  EXPECT_EQ(combo.GetText(), buffer);
}

TEST_F(DialogTest, EveryDialogHasOkCancelAndHelpAndShowsItsMnemonics) {
  std::vector<std::string> buttons, labels;
  bool buddied = true;
  TRect placed;
  u32 help = 0;
  int answer = -1;
  when_running<BreakPointDialog>([&](BreakPointDialog& d) {
    buttons = button_texts(d);
    for (QLabel* l : owl_outer_widget(d)->findChildren<QLabel*>()) {
      labels.push_back(utf8(l->text()));
      buddied = buddied && l->buddy() != nullptr;
    }
    placed = d.GetWindowRect();
    d.helpButton->Click();
    help = owl_help_calls().empty() ? 0 : owl_help_calls().back().data;
    d.SendMessage(WM_KEYDOWN, VK_ESCAPE);  // Esc is Cancel
  });
  BreakPointDialog dialog(nullptr);
  answer = dialog.RunModal();
  EXPECT_EQ(answer, kIdCancel);
  EXPECT_EQ(buttons, (std::vector<std::string>{"ﾍﾙﾌﾟ(&H)", "ｷｬﾝｾﾙ", "了解"}));
  EXPECT_EQ(labels, (std::vector<std::string>{"ｱﾄﾞﾚｽ(&A)", "ﾊﾟｽｶｳﾝﾄ(&P)", "ｺﾏﾝﾄﾞ(&M)"}));
  EXPECT_TRUE(buddied);  // each mnemonic moves the focus to its field
  EXPECT_EQ(help, 662u);
  // with no main frame it is centred on the screen
  const TSize screen = owl_screen_size();
  EXPECT_EQ(placed.left, (screen.cx - placed.Width()) / 2);
  EXPECT_EQ(placed.top, (screen.cy - placed.Height()) / 2);
}

TEST_F(DialogTest, TheExpressionDialogLabelsItsFieldAndKeepsItsHistory) {
  for (u16 inspect : {u16(1), u16(0)}) {
    std::string caption, label, result = "old";
    when_running<InsWatchString>([&](InsWatchString& d) {
      caption = host_cp932_to_utf8(d.GetCaption());
      for (QLabel* l : owl_outer_widget(d)->findChildren<QLabel*>()) label = utf8(l->text());
      d.combo->SetText(inspect ? "total" : "count");
      d.okButton->Click();
    });
    InsWatchString dialog(nullptr, inspect, result);
    EXPECT_EQ(dialog.RunModal(), kIdOk);
    EXPECT_EQ(caption, inspect ? "ｲﾝｽﾍﾟｸﾄ設定" : "ｳｫｯﾁ設定");
    EXPECT_EQ(label, inspect ? "ｲﾝｽﾍﾟｸﾄ(&I)" : "ｳｫｯﾁ(&W)");  // shown as a mnemonic, not literally
    EXPECT_EQ(result, inspect ? "total" : "count");
  }
  EXPECT_EQ(dlg_history(DlgHistory::Expression), (std::vector<std::string>{"count", "total"}));
}

TEST_F(DialogTest, TheFindHistoryKeepsThirtyEntriesAcrossOpenings) {
  for (int i = 0; i < 31; ++i) {
    std::string text;
    u16 direction = kFindForward;
    when_running<FindDialog>([i](FindDialog& d) {
      d.combo->SetText("f" + std::to_string(i));
      d.okButton->Click();
    });
    ASSERT_TRUE(dlg_find_show(nullptr, text, direction));
    EXPECT_EQ(text, "f" + std::to_string(i));
  }
  ASSERT_EQ(dlg_history(DlgHistory::Find).size(), 30u);
  EXPECT_EQ(dlg_history(DlgHistory::Find).front(), "f30");
  // the next opening lists them, newest first
  std::vector<std::string> listed;
  when_running<FindDialog>([&](FindDialog& d) {
    listed = d.combo->Items();
    d.cancelButton->Click();
  });
  std::string text;
  u16 direction = 0;
  EXPECT_FALSE(dlg_find_show(nullptr, text, direction));
  EXPECT_EQ(listed, dlg_history(DlgHistory::Find));
}

TEST_F(DialogTest, TheFindDialogOffersTheDirectionsItsOwnerAllows) {
  struct Case {
    u16 word;
    bool backwardOffered;
    bool forwardChecked;
    u32 click;  // 0: none
    u16 after;
  } cases[] = {
      {kFindForward, true, true, 0, kFindForward},
      {0, true, false, 0, 0},
      {kFindNoBackward | kFindForward, false, true, 0, kFindForward},
      {kFindForward, true, true, 102, 0},  // clicking 先頭へ turns the search backward
      {0, true, false, 103, kFindForward},
  };
  for (const Case& c : cases) {
    bool offered = false, forwardChecked = false;
    u16 wordWhileOpen = 0xAAAA;
    std::string text = "abc";
    u16 direction = c.word;
    when_running<FindDialog>([&](FindDialog& d) {
      offered = d.backward->IsWindowEnabled();
      forwardChecked = d.forward->GetCheck() == BF_CHECKED;
      wordWhileOpen = direction;
      if (c.click == 102) d.backward->Click();
      if (c.click == 103) d.forward->Click();
      EXPECT_NE(d.backward->GetCheck(), d.forward->GetCheck());
      d.okButton->Click();
    });
    EXPECT_TRUE(dlg_find_show(nullptr, text, direction));
    EXPECT_EQ(offered, c.backwardOffered) << c.word;
    EXPECT_EQ(forwardChecked, c.forwardChecked) << c.word;
    EXPECT_EQ(wordWhileOpen, 0) << c.word;
    EXPECT_EQ(direction, c.after) << c.word;
  }
  // an empty text is a Cancel and enters no history
  std::string text;
  u16 direction = 0;
  when_running<FindDialog>([](FindDialog& d) {
    d.combo->SetText("");
    d.okButton->Click();
  });
  EXPECT_FALSE(dlg_find_show(nullptr, text, direction));
  EXPECT_EQ(std::count(dlg_history(DlgHistory::Find).begin(), dlg_history(DlgHistory::Find).end(), ""), 0);
}

TEST(DialogControlTest, TheListKeysMoveTheSelectionOnlyWithCtrl) {
  struct Case {
    u32 key;
    bool ctrl;
    u32 becomes;
  } keys[] = {
      {'C', true, VK_NEXT}, {'E', true, VK_UP}, {'R', true, VK_PRIOR}, {'X', true, VK_DOWN},
      {'X', false, 'X'},    {'G', true, 'G'},   {VK_DOWN, false, VK_DOWN},
  };
  for (const Case& k : keys) EXPECT_EQ(dlg_list_key(k.key, k.ctrl), k.becomes) << k.key << k.ctrl;

  owl_test_app();
  QNListBox list(nullptr, 100, TRect{0, 0, 100, 100});
  for (int i = 0; i < 40; ++i) list.AddString("m" + std::to_string(i));
  list.SetSelIndex(20);
  list.KeyDown('X', true);
  EXPECT_EQ(list.GetSelIndex(), 21);
  list.KeyDown('X', false);  // a plain letter moves nothing
  EXPECT_EQ(list.GetSelIndex(), 21);
  list.KeyDown('R', true);  // a page up
  EXPECT_EQ(list.GetSelIndex(), 21 - list.PageRows());
  list.KeyDown('E', true);
  EXPECT_EQ(list.GetSelIndex(), 20 - list.PageRows());
}

TEST(DialogControlTest, ALockedControlStaysDisabledAndKeepsItsCheck) {
  owl_test_app();
  TCheckBox2 box(nullptr, 103, "1", TRect{0, 0, 50, 20});
  box.SetCheck(BF_CHECKED);
  box.Enable(true);
  EXPECT_TRUE(box.IsWindowEnabled());
  box.Lock();
  box.Enable(true);
  EXPECT_FALSE(box.IsWindowEnabled());
  box.UncheckUnlessLocked();
  EXPECT_EQ(box.GetCheck(), BF_CHECKED);
  EXPECT_TRUE(box.IsLocked());

  TEdit2 edit(nullptr, 109, 0, 0, 50, 20);
  edit.Enable(false);
  EXPECT_FALSE(edit.IsEnabled());
  edit.Enable(true);
  EXPECT_TRUE(edit.IsEnabled());
  edit.Lock();
  edit.Enable(true);
  EXPECT_FALSE(edit.IsEnabled());
}

TEST_F(DialogTest, TheOptionsDialogEditsTheEngineSettings) {
  const u16 savedMode = ::Run.RunModeWord, savedCpu = Cfg.CpuType, savedRegMem = Option.RegisterMemoryDisplay;
  const u16 savedCase = SymFlag.CaseSensitive;
  struct Case {
    u16 cpu;
    u16 regMem;
    bool offered;
  } cases[] = {{kCpuZ80, 1, true}, {kCpu64180, 1, false}, {kCpuKc80, 0, false}};
  for (const Case& c : cases) {
    Cfg.CpuType = c.cpu;
    Option.RegisterMemoryDisplay = c.regMem;
    ::Run.RunModeWord = 0x0031;  // mode 1, upper bits kept
    SymFlag.CaseSensitive = 1;
    bool mode1 = false, offered = false, regMemShown = false;
    when_running<TOptDlg>([&](TOptDlg& d) {
      mode1 = d.mode[1]->GetCheck() == BF_CHECKED;
      offered = d.regMem->IsWindowEnabled();
      regMemShown = d.regMem->GetCheck() == BF_CHECKED;
      d.mode[2]->Click();
      d.regMem->Click();  // refused where the box is disabled
      d.caseSense->Click();
      d.okButton->Click();
    });
    dlg_options_show(nullptr);
    EXPECT_TRUE(mode1);
    EXPECT_EQ(offered, c.offered);
    EXPECT_EQ(regMemShown, c.offered && c.regMem);
    EXPECT_EQ(::Run.RunModeWord, 0x0032);
    EXPECT_EQ(Option.RegisterMemoryDisplay, c.offered ? u16(!c.regMem) : c.regMem) << c.cpu;
    EXPECT_EQ(SymFlag.CaseSensitive, 0);
  }
  ::Run.RunModeWord = savedMode;
  Cfg.CpuType = savedCpu;
  Option.RegisterMemoryDisplay = savedRegMem;
  SymFlag.CaseSensitive = savedCase;
}

TEST(DialogBreakTest, TheBreakpointOperandsAreComposedAndCut) {
  struct Case {
    std::string address, pass, command, expected;
  } cases[] = {
      {"main", "1", "", "main,1"},  // no trailing comma without a command
      {"200", "3", "R", "200,3,R"},
      {"200", std::string(40, '9'), "", "200," + std::string(29, '9')},
      {"200", "1", std::string(200, 'c'), "200,1," + std::string(121, 'c')},  // the whole cut to 127
  };
  for (const Case& c : cases) EXPECT_EQ(dlg_break_argument(c.address, c.pass, c.command), c.expected);
}

TEST_F(DialogTest, TheModuleDialogWritesTheChosenEntryOrNoChoice) {
  const RequestBlock saved = Co.Request;
  std::vector<u16> order{4, 1, 7};
  struct Case {
    int pick;      // -1: cancel
    u16 reply;
  } cases[] = {{2, 2}, {-1, kNoChoice}};
  for (const Case& c : cases) {
    Co.Request.p1 = 3u | 1u << 16;
    Co.Request.p2_ptr = order.data();
    int count = 0, selected = -1;
    when_running<ModuleDialog>([&](ModuleDialog& d) {
      count = d.list->GetCount();
      selected = d.list->GetSelIndex();
      if (c.pick < 0) {
        d.SendMessage(WM_CLOSE);
        return;
      }
      d.list->SetSelIndex(c.pick);
      d.list->DoubleClick();  // a double click is OK
    });
    ModuleDialog dialog(nullptr);
    dialog.RunModal();
    EXPECT_EQ(count, 3);
    EXPECT_EQ(selected, 1);
    EXPECT_EQ(Co.Request.p1 >> 16, c.reply);
    EXPECT_EQ(Co.Request.p1 & 0xFFFF, 3u);
  }
  Co.Request = saved;
}

TEST_F(DialogTest, TheEmulatorErrorDialogAnswersByItsButtons) {
  struct Case {
    std::function<void(THErrDlg&)> act;
    int answer;
  } cases[] = {
      {[](THErrDlg& d) { d.SendMessage(WM_COMMAND, 1); }, kErrAnswerOk},
      {[](THErrDlg& d) { d.SendMessage(WM_COMMAND, 101); }, kErrAnswerInterface},
      {[](THErrDlg& d) { d.SendMessage(WM_KEYDOWN, VK_ESCAPE); }, kErrAnswerEscape},
  };
  for (const Case& c : cases) {
    std::string shown, caption;
    QTimer::singleShot(0, [&] {
      if (THErrDlg* d = THErrDlg::Running) {
        shown = d->text->GetText();
        caption = d->GetCaption();
        c.act(*d);
      }
    });
    EXPECT_EQ(dlg_emulator_error_show(nullptr, "no board"), c.answer);
    EXPECT_EQ(shown, "no board");
    EXPECT_EQ(caption, "QUENDAR ERROR");
  }
}

TEST_F(DialogTest, MessageBoxesInJapaneseModeHaveJapaneseButtons) {
  const u16 saved = Cmd.LanguageJapanese;
  struct Case {
    u16 japanese;
    unsigned style;
    std::vector<std::string> texts;
  } cases[] = {
      {1, kBoxOkCancel, {"OK", "ｷｬﾝｾﾙ"}},
      {1, kBoxYesNo, {"はい(&Y)", "いいえ(&N)"}},
  };
  for (const Case& c : cases) {
    Cmd.LanguageJapanese = c.japanese;
    dlg_register_services();
    std::vector<std::string> texts;
    QTimer::singleShot(0, [&] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      if (!box) return;
      for (QAbstractButton* b : box->buttons()) texts.push_back(utf8(b->text()));
      box->reject();
    });
    owl_qt_message_box("QUENDAR", "?", c.style);
    std::sort(texts.begin(), texts.end());
    std::vector<std::string> expected = c.texts;
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(texts, expected) << c.style;
  }
  Cmd.LanguageJapanese = saved;
  dlg_register_services();
  RequestHooks = ServiceHooks{};
}

TEST_F(DialogTest, HelpOpensTheShippedPageAtTheTopicsSectionOrItsTop) {
  Frame.HelpFilePath = host_system_path(HALV80_HELP_PAGE);
  // every dialog here has its section; a topic without one opens the top
  struct Case {
    u32 context;
    std::string section;
  } cases[] = {{509, "ctx-509"}, {650, "ctx-650"}, {652, "ctx-652"}, {655, "ctx-655"}, {658, "ctx-658"},
               {659, "ctx-659"}, {660, "ctx-660"}, {661, "ctx-661"}, {662, "ctx-662"}, {535, "ctx-535"},
               {42, ""},         {9999, ""}};
  for (const Case& c : cases) {
    dlg_show_help(c.context);
    ASSERT_FALSE(owl_help_calls().empty());
    EXPECT_EQ(owl_help_calls().back().section, c.section) << c.context;
  }
  // the dialog's Help button asks for its own topic
  when_running<FindDialog>([](FindDialog& d) {
    d.helpButton->Click();
    d.cancelButton->Click();
  });
  std::string text;
  u16 direction = 0;
  dlg_find_show(nullptr, text, direction);
  EXPECT_EQ(owl_help_calls().back().section, "ctx-652");
  Frame.HelpFilePath.clear();
}

TEST_F(DialogTest, TheLoadDialogGivesTheChosenProgramInTheSystemsPathForm) {
  const std::string dir = std::filesystem::temp_directory_path() / ("dlg_load_" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  const std::string program = dir + "/demo.hex";
  std::ofstream(program) << ":00000001FF\n";
  struct Case {
    bool choose;
    bool loaded;
  } cases[] = {{true, true}, {false, false}};
  for (const Case& c : cases) {
    TOpenSaveData data;
    data.flags = OFN_FILEMUSTEXIST | OFN_HIDEREADONLY;
    data.filter = "HEX (*.hex)|*.hex|";
    data.initialDir = host_system_path(dir);
    bool seen = false;
    QTimer::singleShot(0, [&] {
      TFileOpenDialog* d = TFileOpenDialog::Running;
      if (!d) return;
      seen = true;
      if (c.choose) d->Choose(program);
      else d->Cancel();
    });
    EXPECT_EQ(dlg_load_show(nullptr, data), c.loaded);
    EXPECT_TRUE(seen);
    if (c.loaded) {
      EXPECT_EQ(data.fileName, host_system_path(program));
    }
  }
  std::filesystem::remove_all(dir);
}
