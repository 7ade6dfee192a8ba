#include <gtest/gtest.h>

#include "platform/owl/owl_system.h"
#include "platform/owl/tests/owl_test_app.h"
#include "platform/vcl/vcl_app.h"
#include "rz7set/set_main.h"
#include "rz7set/set_mainform.h"
#include "rz7set/set_project.h"
#include "rz7set/set_settings.h"
#include "rz7set/tests/set_forms_env.h"

namespace {

using vcl::TForm;

using FormsTest = FormsEnvTest;

TEST_F(FormsTest, ANewZ80FormShowsItsDefaultText) {
  start(100);
  TOptDlg& form = *set_option_form();
  EXPECT_EQ(form.OptE->Text(), "");
  form.UpdateOption();
  EXPECT_EQ(form.OptE->Text(), " -SP -X  -B4096,64 -EC -TAB8");
  EXPECT_EQ(Opt.OptDlg.opt_text, form.OptE->Text());
  EXPECT_EQ(form.Caption(), host_utf8_to_cp932("起動オプション"));
}

TEST_F(FormsTest, ChangesReachTheStoreAndCancelPutsThemBack) {
  start(100);
  auto& form = static_cast<TO80&>(*set_option_form());
  TForm::SetModalHook([&](TForm&) {
    form.DebSizeE->UserText("2048");
    EXPECT_EQ(Opt.OptDlg.common.deb_size, "2048");
    EXPECT_EQ(Forms.OptDlg->Values().opt_text, form.OptE->Text());
    form.SmodeCB->UserSelect(1);
    EXPECT_EQ(form.OptE->Text(), " -ST -X  -B2048,64 -EC -TAB8");
    form.DebCB->UserSelect(2);
    form.ForceCB->UserClick();
    EXPECT_EQ(Opt.OptDlg.opt_text, " -ST -XL3  -B2048,64 -EC -TAB8 -!");
    form.CanBtn->UserClick();
  });
  EXPECT_EQ(form.ShowModal(), vcl::mrCancel);
  EXPECT_EQ(form.DebSizeE->Text(), "4096");
  EXPECT_EQ(form.SmodeCB->ItemIndex(), 0);
  EXPECT_FALSE(form.ForceCB->Checked());
  EXPECT_EQ(Opt.OptDlg.common.deb_size, "4096");
  EXPECT_EQ(form.OptE->Text(), " -SP -X  -B4096,64 -EC -TAB8");
  EXPECT_EQ(Opt.OptDlg.opt_text, form.OptE->Text());
}

// A field shows what the option text saves: a byte the debugger would not
// read is not taken, and an empty tab width writes no "-TAB".
TEST_F(FormsTest, FieldsShowWhatIsSaved) {
  start(100);
  auto& form = static_cast<TO80&>(*set_option_form());
  const struct {
    vcl::TEdit* TO80::*field;
    const char* typed;
    const char* shown;
  } cases[] = {
      {&TO80::DebSizeE, "512 ", "512"},
      {&TO80::ExtE, "C S", "C"},
      {&TO80::TabE, "", ""},
      {&TO80::MacSizeE, "3x2", "3"},
  };
  TForm::SetModalHook([&](TForm&) {
    for (const auto& c : cases) {
      SCOPED_TRACE(c.typed);
      (form.*c.field)->UserText(c.typed);
      EXPECT_EQ((form.*c.field)->Text(), c.shown);
    }
    form.OkBtn->UserClick();
  });
  form.ShowModal();
  EXPECT_EQ(Opt.OptDlg.opt_text, " -SP -X  -B512,3 -EC");
}

TEST_F(FormsTest, SharedFormsOfTwoFamilies) {
  const struct {
    CpuFamily family;
    OptSet set;
  } cases[] = {{400, OptSet::M68K}, {500, OptSet::M68K}, {700, OptSet::V8}, {1100, OptSet::V8}, {1500, OptSet::PPC}};
  set_create_forms();
  for (const auto& c : cases) {
    ::Setup.cpu_family = c.family;
    ASSERT_NE(set_option_form(), nullptr);
    EXPECT_EQ(set_option_form()->Set(), c.set);
    EXPECT_EQ(set_option_form(), Forms.FamilyForms[std::size_t(c.set)].get());
  }
  ::Setup.cpu_family = 0;
  EXPECT_EQ(set_option_form(), nullptr);
}

// A project read fills the family form; the dialog shows it, OK writes it,
// and a fresh read gives the same values.
TEST_F(FormsTest, TheDialogEditsTheProjectsOptions) {
  dir.write("qqnv86.qpj", "%SYS\r\n%OPT\r\n -MC -V55 -E87 -XOMF  -B100,10 -E87 -TAB4\r\n%DIR\r\n@Current\r\n"
                          "%PRJ\r\nV\r\n%CPU\r\n(V86)\r\n%END\r\n\x1A");
  set_create_forms();
  ASSERT_TRUE(prj_load(dir.system_path() + "\\qqnv86.qpj"));
  auto& form = static_cast<TO86&>(*set_option_form());
  TForm::SetModalHook([&](TForm&) {
    EXPECT_EQ(form.MmodelCB->ItemIndex(), 2);
    EXPECT_EQ(form.CpuG->ItemIndex(), 1);
    EXPECT_TRUE(form.C87CB->Checked());
    EXPECT_EQ(form.DebCB->ItemIndex(), 4);
    EXPECT_EQ(form.ExtE->Text(), "87");
    EXPECT_EQ(form.TabE->Text(), "4");
    form.CpuG->UserSelect(2);
    form.MultiCB->UserClick();
    form.SrcPE->UserText(host_utf8_to_cp932("\\ソース dir"));
    form.OkBtn->UserClick();
  });
  EXPECT_EQ(form.ShowModal(), vcl::mrOk);
  const std::string want = " -MC -M -E87 -XOMF  -B100,10 -E87 -TAB4 -SD\"" + host_utf8_to_cp932("\\ソース dir") + "\"";
  EXPECT_EQ(dir.read("qqnv86.qpj"), "%SYS\r\n%OPT\r\n" + want + "\r\n%DIR\r\n@Current\r\n%PRJ\r\nV\r\n%CPU\r\n(V86)\r\n%END\r\n\x1A");

  opt_reset_state();
  ASSERT_TRUE(prj_load(dir.system_path() + "\\qqnv86.qpj"));
  EXPECT_EQ(Opt.OptDlg.opt_text, want);
  EXPECT_TRUE(opt_form(OptSet::V86).family.multi);
  EXPECT_TRUE(recorded_boxes().empty());
}

TEST_F(FormsTest, StartUpFailuresAndTheSecondInstance) {
  ScratchDir locks;
  setenv("HALV80_LOCK_DIR", locks.path().c_str(), 1);
  const struct {
    std::vector<const char*> args;
    int exit_code;
    u32 message;
  } cases[] = {
      {{"rz7set"}, -1, 5026},
      {{"rz7set", "/XYZ"}, -1, 5022},
      {{"rz7set", "/80", "\\no\\such\\qqn80.qpj"}, -1, 5007},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args.back());
    set_reset_state();
    recorded_boxes().clear();
    std::vector<std::string> storage(c.args.begin(), c.args.end());
    std::vector<char*> argv;
    for (std::string& s : storage) argv.push_back(s.data());
    EXPECT_EQ(set_win_main(int(argv.size()), argv.data()), c.exit_code);
    ASSERT_FALSE(recorded_boxes().empty());
    EXPECT_EQ(recorded_boxes()[0].text,
              c.message == 5007 ? message(5007, "\\no\\such\\qqn80.qpj") : message(c.message));  // the file named
  }
  // Another process holds the lock: a start ends at once with 1 and no box.
  ASSERT_EQ(owl_create_lock(kSetupInstanceName), OwlLock::Created);
  recorded_boxes().clear();
  std::string name = "rz7set";
  char* argv[] = {name.data(), nullptr};
  EXPECT_EQ(set_win_main(1, argv), 1);
  EXPECT_TRUE(recorded_boxes().empty());
  owl_release_lock(kSetupInstanceName);
  unsetenv("HALV80_LOCK_DIR");
}

// The whole start-up, with the message loop replaced by a look at the main window.
int run_program(std::vector<std::string> args) {
  args.insert(args.begin(), "rz7set");
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  return set_win_main(int(argv.size()), argv.data());
}

TEST_F(FormsTest, StartWithAFamilyAndNoProject) {
  ScratchDir locks;
  setenv("HALV80_LOCK_DIR", locks.path().c_str(), 1);
  bool ran = false;
  vcl_set_run_hook([&](TForm& main) {
    ran = true;
    EXPECT_EQ(main.Caption(), "QUENDAR-RZ7 Setup80");
    EXPECT_FALSE(Forms.MainForm->OptBtn->Enabled());  // it needs a project
    EXPECT_EQ(Opt.OptDlg.opt_text, " -X -B512,32");
    EXPECT_FALSE(MainSt.PrjOpen);
    return 0;
  });
  EXPECT_EQ(run_program({"/80"}), 0);
  EXPECT_TRUE(ran);
  unsetenv("HALV80_LOCK_DIR");
}

// Started by the debugger: the family switch before the path opens the
// start-option dialog as soon as the main window shows; Quit saves the project.
TEST_F(FormsTest, StartedByTheDebuggerOpensTheStartOptions) {
  ScratchDir locks;
  setenv("HALV80_LOCK_DIR", locks.path().c_str(), 1);
  for (const char* name : {"qqn80.cfg", "mon80.asm", "mon80.qqn"}) dir.write(name, "");
  dir.write("qqn80.qpj", "%SYS\r\n%OPT\r\n-SP -X\r\n%DIR\r\n@Current\r\n%PRJ\r\nP1\r\n%CPU\r\n(80)\r\n%END\r\n\x1A");
  std::vector<std::string> order;
  TForm::SetModalHook([&](TForm& form) {
    order.push_back("options");
    auto& o80 = static_cast<TO80&>(form);
    EXPECT_EQ(o80.DebSizeE->Text(), "512");
    o80.TabE->UserText("2");
    o80.OkBtn->UserClick();
  });
  vcl_set_run_hook([&](TForm& main) {
    order.push_back("loop");
    EXPECT_EQ(main.Caption(), "QUENDAR-RZ7 Setup80 [P1]");
    EXPECT_TRUE(Forms.MainForm->OptBtn->Enabled());
    EXPECT_EQ(Forms.MainForm->DirStat->SimpleText(), dir.system_path());  // the folder of the file named
    Forms.MainForm->QuitBtn->UserClick();
    EXPECT_FALSE(main.Showing());
    return 0;
  });
  EXPECT_EQ(run_program({"/(80)", dir.system_path() + "\\qqn80.qpj"}), 0);
  EXPECT_EQ(order, (std::vector<std::string>{"options", "loop"}));
  EXPECT_EQ(dir.read("qqn80.qpj"),
            "%SYS\r\n%OPT\r\n -SP -X  -B512,32 -EC -TAB2\r\n%DIR\r\n@Current\r\n%PRJ\r\nP1\r\n%CPU\r\n(80)\r\n%END\r\n\x1A");
  EXPECT_TRUE(recorded_boxes().empty());
  unsetenv("HALV80_LOCK_DIR");
}

}  // namespace
