// The small dialogs offscreen (menu entry, editor choice, about, read-me,
// folder picker), the first-run steps, and rz7set started without a display.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdio>

#include "platform/host/host_dir.h"
#include "platform/host/host_registry.h"
#include "platform/owl/tests/owl_test_app.h"
#include "platform/vcl/vcl_app.h"
#include "rz7set/set_entdlg.h"
#include "rz7set/set_ioset.h"
#include "rz7set/set_main.h"
#include "rz7set/set_mainform.h"
#include "rz7set/set_mkmon.h"
#include "rz7set/set_newprj.h"
#include "rz7set/set_settings.h"
#include "rz7set/set_smalldlg.h"
#include "rz7set/set_start.h"
#include "rz7set/tests/set_forms_env.h"

namespace {

using vcl::TForm;

std::string read_host(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

class DialogsTest : public FormsEnvTest {
 protected:
  void SetUp() override {
    FormsEnvTest::SetUp();
    fakes.Add("xdg-open");
  }
};

TEST_F(DialogsTest, EveryFormIsMadeAtStartUp) {
  start(100);
  EXPECT_NE(Forms.DirSel, nullptr);
  EXPECT_NE(Forms.UseEdit, nullptr);
  EXPECT_NE(Forms.EntDlg, nullptr);
  EXPECT_NE(Forms.AboutDlg, nullptr);
  EXPECT_NE(Forms.NewPrj, nullptr);
  EXPECT_NE(Forms.Rdme, nullptr);
  EXPECT_EQ(Forms.NewPrj->Caption(), host_utf8_to_cp932("新規プロジェクトの作成"));
  EXPECT_EQ(Forms.EntDlg->OkBtn->Caption(), host_utf8_to_cp932("登録"));
  EXPECT_EQ(Forms.Rdme->Caption(), "ReadMe");
}

// The entry goes into the menu folder for all users; where that cannot be
// written, into the user's own. It is a valid desktop entry that starts the
// debugger in the project folder, and the group's folder is opened.
TEST_F(DialogsTest, MenuEntryIsAValidDesktopEntry) {
  ScratchDir all_users, user, install, project;
  setenv("XDG_DATA_DIRS", (all_users.path() + "/not-a-folder-file:/usr/share").c_str(), 1);
  all_users.write("not-a-folder-file", "");  // "applications" cannot be made below a file
  setenv("XDG_DATA_HOME", user.path().c_str(), 1);
  start(100);
  MainSt.BinDir = install.system_path() + "\\bin dir";
  install.write("bin dir/wqqn80", "");
  MainSt.PrjDir = project.system_path();
  MainSt.PrjName = "DEMO";
  TForm::SetModalHook([](TForm& form) {
    auto& d = static_cast<TEntDlg&>(form);
    EXPECT_EQ(d.IconE->Text(), "DEMO");
    EXPECT_EQ(d.GrpE->Text(), "QUENDAR-RZ7");
    d.OkBtn->UserClick();
  });
  Forms.MainForm->EntBtn->UserClick();
  const std::string file = user.path() + "/applications/QUENDAR-RZ7/DEMO.desktop";
  ASSERT_TRUE(std::filesystem::exists(file));
  const std::string text = read_host(file);
  EXPECT_NE(text.find("Exec=\"" + install.path() + "/bin dir/wqqn80\"\n"), std::string::npos) << text;
  EXPECT_NE(text.find("Path=" + project.path() + "\n"), std::string::npos) << text;
  EXPECT_NE(text.find("Name=DEMO\n"), std::string::npos);
  const std::string validate = "desktop-file-validate '" + file + "' 2>&1";
  FILE* out = popen(validate.c_str(), "r");
  ASSERT_NE(out, nullptr);
  std::string said;
  char buffer[256];
  while (fgets(buffer, sizeof buffer, out)) said += buffer;
  EXPECT_EQ(pclose(out), 0) << said;
  EXPECT_EQ(said, "");
  EXPECT_EQ(fakes.Wait("xdg-open").at(1), user.path() + "/applications/QUENDAR-RZ7");
}

TEST_F(DialogsTest, MenuEntryNamesThatLeaveTheMenuAreRefused) {
  ScratchDir user;
  user.write("none", "");  // no folder can be made below a file: the user's own menu is taken
  setenv("XDG_DATA_DIRS", (user.path() + "/none").c_str(), 1);
  setenv("XDG_DATA_HOME", user.path().c_str(), 1);
  start(100);
  const struct {
    const char* group;
    const char* name;
    bool made;
  } cases[] = {
      {"QUENDAR-RZ7", "P1", true},  {"A\\B", "P2", true},        {"..", "P3", false},
      {"A\\..\\..", "P4", false},   {"QUENDAR-RZ7", "..\\x", false}, {"QUENDAR-RZ7", "a/b", false},
      {"QUENDAR-RZ7", "", false},   {"", "P5", false},             {"G", "line\nbreak", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(std::string(c.group) + "|" + c.name));
    EXPECT_EQ(lnk_create(c.group, c.name), c.made);
  }
  EXPECT_TRUE(user.exists("applications/A/B/P2.desktop"));
}

// The desktop entry's Exec quoting: reserved characters quoted, and the
// quoting's and the entry's escapes both applied.
TEST_F(DialogsTest, ExecValuesAreQuotedAsTheEntryFormatWants) {
  const struct {
    const char* program;
    const char* exec;
  } cases[] = {
      {"/opt/qn/wqqn80", "Exec=/opt/qn/wqqn80\n"},
      {"/opt/q n/wqqn80", "Exec=\"/opt/q n/wqqn80\"\n"},
      {"/opt/a$b/w", "Exec=\"/opt/a\\\\$b/w\"\n"},
      {"/opt/50%/w", "Exec=/opt/50%%/w\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.program);
    EXPECT_NE(lnk_desktop_entry("N", c.program, "/p").find(c.exec), std::string::npos)
        << lnk_desktop_entry("N", c.program, "/p");
  }
}

TEST_F(DialogsTest, EditorChoice) {
  start(100);
  MainSt.EditorName = "notepad.exe";
  TForm::SetModalHook([](TForm& form) {
    auto& d = static_cast<TUseEdit&>(form);
    EXPECT_EQ(d.Edit->Text(), "notepad.exe");
    d.Edit->UserText("\\usr\\bin\\vi");
    d.OkBtn->UserClick();
  });
  Forms.MainForm->KD1->UserClick();
  EXPECT_EQ(MainSt.EditorName, "\\usr\\bin\\vi");

  // the file dialog starts from the editor set and puts the choice in the field
  std::string proposed;
  vcl::TOpenDialog::SetHook([&](vcl::TOpenDialog& d, std::string& chosen) {
    proposed = d.FileName;
    chosen = "\\usr\\bin\\emacs";
    return true;
  });
  TForm::SetModalHook([](TForm& form) {
    auto& d = static_cast<TUseEdit&>(form);
    d.SelBtn->UserClick();
    EXPECT_EQ(d.Edit->Text(), "\\usr\\bin\\emacs");
    d.CanBtn->UserClick();
  });
  Forms.MainForm->KD1->UserClick();
  EXPECT_EQ(proposed, "\\usr\\bin\\vi");
  EXPECT_EQ(MainSt.EditorName, "\\usr\\bin\\vi");  // cancelled
}

TEST_F(DialogsTest, AboutShowsTheVersionTexts) {
  start(100);
  set_read_version();
  TForm::SetModalHook([](TForm& form) {
    auto& d = static_cast<TAboutDlg&>(form);
    EXPECT_EQ(d.LProductN->Caption(), SetTexts.ProductName);
    EXPECT_EQ(d.LVer->Caption(), "Ver " + SetTexts.ProductVersion);
    EXPECT_EQ(d.LCopyright->Caption(), SetTexts.LegalCopyright);
    EXPECT_FALSE(SetTexts.ProductVersion.empty());
    d.OkBtn->UserClick();
  });
  Forms.MainForm->KA1->UserClick();
}

// The read-me is looked for beside the install folder, in Document.
TEST_F(DialogsTest, ReadMeShowsTheFileOrWhyNot) {
  start(100);
  MainSt.BinDir = dir.system_path() + "\\bin";
  const std::string path = dir.system_path() + "\\Document\\Readme.txt";
  EXPECT_EQ(set_readme_path(), path);
  std::string shown;
  TForm::SetModalHook([&](TForm& form) {
    shown = static_cast<TRdme&>(form).RdmeTxt->Text();
    static_cast<TRdme&>(form).OKBtn->UserClick();
  });
  Forms.MainForm->ReadMe1->UserClick();
  EXPECT_EQ(shown, "Can't open file [" + path + "]");
  dir.write("Document/Readme.txt", std::string("first\nsecond\0hidden", 19));
  Forms.MainForm->ReadMe1->UserClick();
  EXPECT_EQ(shown, "first\nsecond");
}

TEST_F(DialogsTest, FolderPickerListsSubfoldersAndTakesTheChoice) {
  start(100);
  dir.write("a/x", "");
  dir.write("b/y", "");
  dir.write("file", "");
  Forms.NewPrj->SetBase(dir.system_path());
  TForm::SetModalHook([&](TForm& form) {
    if (&form == Forms.DirSel.get()) {
      auto& d = static_cast<TDirSel&>(form);
      EXPECT_EQ(d.DirEdit->Text(), dir.system_path());
      ASSERT_EQ(d.DirLB->ItemCount(), 3);  // "..", a, b
      d.DirLB->UserSelect(2);
      EXPECT_EQ(d.DirEdit->Text(), dir.system_path() + "\\b");
      d.OkBtn->UserClick();
      return;
    }
    auto& n = static_cast<TNewPrj&>(form);
    n.bBtn->UserClick();
    EXPECT_EQ(n.PrjDirE->Text(), dir.system_path() + "\\b");
    n.CanBtn->UserClick();
  });
  Forms.MainForm->NewBtn->UserClick();
  EXPECT_EQ(Forms.NewPrj->PrjBase, dir.system_path() + "\\b");
  EXPECT_FALSE(MainSt.PrjOpen);
}

// The first run, with the card reached through its driver: the mark is taken
// back and the read-me shown. A later start asks nothing.
TEST_F(DialogsTest, FirstRunMarksItselfDoneAndShowsTheReadMe) {
  ScratchDir locks;
  setenv("HALV80_LOCK_DIR", locks.path().c_str(), 1);
  ::Setup.cpu_family = 100;
  const std::string key = set_family_key(set_users_product_key());
  HostRegKey* k = nullptr;
  ASSERT_EQ(host_reg_create_key(HostRegRoot::Users, key, k), kHostRegOk);
  auto set = [&](const char* name, const std::string& text) {
    const std::string data = text + '\0';
    host_reg_set_value(k, name, kHostRegString, std::span<const u8>(reinterpret_cast<const u8*>(data.data()), data.size()));
  };
  set("OPT", "first");
  set("BIN", dir.system_path() + "\\bin");
  host_reg_close_key(k);
  dir.write("bin/qqn80.cfg", "PORT ADDRESS 320\r\n");
  dir.write("other/qqnv86.cfg", "X\r\nPORT ADDRESS E0\r\n");
  ::Setup.cpu_family = 0;

  std::vector<std::string> shown;
  TForm::SetModalHook([&](TForm& form) {
    shown.push_back(form.Caption());
    form.SetModalResult(vcl::mrOk);
  });
  vcl_set_run_hook([](TForm&) { return 0; });
  std::string program = "rz7set", family = "/80";
  char* argv[] = {program.data(), family.data(), nullptr};
  EXPECT_EQ(set_win_main(2, argv), 0);
  EXPECT_EQ(shown, std::vector<std::string>{"ReadMe"});
  // every configuration file of the installation now names the driver
  EXPECT_EQ(dir.read("bin/qqn80.cfg"), "PORT ADDRESS NT\r\n");
  EXPECT_EQ(dir.read("other/qqnv86.cfg"), "X\r\nPORT ADDRESS NT\r\n");
  EXPECT_TRUE(dir.exists("change.log"));

  set_reset_state();
  ::Setup.cpu_family = 100;
  set_read_settings();
  EXPECT_EQ(MainSt.OptMark, "none");
  ::Setup.cpu_family = 0;
  shown.clear();
  EXPECT_EQ(set_win_main(2, argv), 0);
  EXPECT_TRUE(shown.empty());
  unsetenv("HALV80_LOCK_DIR");
}

// The first run of the other editions and hosts: the J edition marks itself
// done and shows the read-me; over the network it asks for the emulator's
// address; with the card's own ports, for the card. Build Monitor opens the
// monitor build dialog.
TEST_F(DialogsTest, FirstRunOfEachKindAndTheMonitorBuild) {
  const struct {
    bool j_edition;
    bool network;
    bool nt;
    const char* form;
  } cases[] = {
      {true, true, true, "TRdme"},
      {false, true, true, "TNwset"},
      {false, false, false, "TIOset"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.form);
    set_reset_state();
    ::Setup.cpu_family = c.j_edition ? 600 : 100;
    ::Setup.j_edition = c.j_edition;
    ::Setup.network_host = c.network;
    ::Setup.windows_nt = c.nt;
    set_create_forms();
    MainSt.OptMark = "first";
    std::vector<const TForm*> shown;
    TForm::SetModalHook([&](TForm& form) {
      shown.push_back(&form);
      form.SetModalResult(vcl::mrCancel);
    });
    set_first_run();
    const TForm* want = std::string(c.form) == "TRdme"    ? static_cast<const TForm*>(Forms.Rdme.get())
                        : std::string(c.form) == "TNwset" ? static_cast<const TForm*>(Forms.Nwset.get())
                                                          : static_cast<const TForm*>(Forms.IOset.get());
    // (the card's dialog shows the read-me beside it as it opens)
    EXPECT_NE(std::find(shown.begin(), shown.end(), want), shown.end());
    shown.clear();
    Forms.MainForm->KK1->UserClick();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0], static_cast<const TForm*>(Forms.MkMonDlg.get()));
    TForm::SetModalHook({});
    set_free_forms();
  }
}

// Without a display the program says why on its error stream and ends as a
// start-up failure does, instead of aborting.
TEST(SetupWithoutDisplay, EndsWithTheStartFailureStatus) {
  const std::string command = "env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM " + std::string(RZ7SET_PATH) +
                              " /80 2>&1";
  FILE* out = popen(command.c_str(), "r");
  ASSERT_NE(out, nullptr);
  std::string said;
  char buffer[512];
  while (fgets(buffer, sizeof buffer, out)) said += buffer;
  const int status = pclose(out);
  ASSERT_TRUE(WIFEXITED(status)) << said;
  EXPECT_EQ(WEXITSTATUS(status), kVclStartFailure) << said;
  EXPECT_NE(said.find("rz7set: cannot start: "), std::string::npos) << said;
}

}  // namespace
