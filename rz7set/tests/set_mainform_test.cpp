// The main window offscreen: its menu and glyphs in both languages, the
// enabling of its commands, the programs it starts (editor, debugger), and
// Open and New as the user goes through them.
#include "rz7set/set_mainform.h"

#include <gtest/gtest.h>

#include "platform/host/host_file.h"
#include "platform/owl/owl_system.h"
#include "platform/owl/tests/owl_test_app.h"
#include "platform/vcl/vcl_app.h"
#include "rz7set/set_newprj.h"
#include "rz7set/set_project.h"
#include "rz7set/set_settings.h"
#include "rz7set/tests/set_forms_env.h"

namespace {

using vcl::TForm;

const std::string kProjectText =
    "%SYS\r\nW=1\r\n%OPT\r\n -SP -X  -B512,32 -EC -TAB8\r\n%DIR\r\n@Current\r\n%PRJ\r\nP1\r\n%CPU\r\n(80)\r\n%END\r\n\x1A";

class MainFormTest : public FormsEnvTest {
 protected:
  // A Z80 project with all its files in `dir`, opened.
  void open_project() {
    for (const char* name : {"qqn80.cfg", "mon80.asm", "mon80.qqn"}) dir.write(name, "");
    dir.write("qqn80.qpj", kProjectText);
    ASSERT_TRUE(prj_load(dir.system_path() + "\\qqn80.qpj"));
    ASSERT_EQ(prj_check_files(MainSt.PrjDir), kAnswerYes);
    MainSt.PrjOpen = true;
  }
};

TEST_F(MainFormTest, MenuStatusBarAndGlyphsFollowTheLanguage) {
  const struct {
    bool english;
    const char* setup_menu;
    const char* new_item;
    const char* run_item;
    const char* status;
    const char* new_glyph;
  } cases[] = {
      {false, "セットアップ(&S)", "プロジェクトの新規作成(&N)..", "QUENDARの起動(&R)", "プロジェクトディレクトリ", "新規"},
      {true, "&Setup", "&New Project..", "Execute QUENDA&R", "Project directory", "New"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.english);
    set_reset_state();
    ::Setup.english_ui = c.english;
    start(100);
    TMainForm& main = *Forms.MainForm;
    EXPECT_EQ(main.KS1->Caption(), host_utf8_to_cp932(c.setup_menu));
    EXPECT_EQ(main.KN1->Caption(), host_utf8_to_cp932(c.new_item));
    EXPECT_EQ(main.KQUENDARR1->Caption(), host_utf8_to_cp932(c.run_item));
    EXPECT_EQ(main.ReadMe1->Caption(), "ReadMe..");
    EXPECT_EQ(main.DirStat->SimpleText(), host_utf8_to_cp932(c.status));
    EXPECT_EQ(main.NewBtn->Glyph().text, host_utf8_to_cp932(c.new_glyph));
    EXPECT_EQ(main.NewBtn->Caption(), "");  // glyphs, no captions
    EXPECT_EQ(main.HlpBtn->Glyph().symbol, vcl::TGlyph::Symbol::Help);
    EXPECT_EQ(main.OpnDlg.Filter, set_res_string(5025));
    EXPECT_EQ(main.OpnDlg.FileName, "*.QPJ");
    set_free_forms();
  }
}

// The commands that need a project follow it; the monitor buttons also need
// a monitor source, while their menu items follow the project alone.
TEST_F(MainFormTest, EnablingFollowsTheProjectAndTheMonitorSource) {
  start(100);
  TMainForm& m = *Forms.MainForm;
  const struct {
    bool open;
    bool no_source;
  } cases[] = {{false, false}, {true, false}, {true, true}, {false, true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.open << c.no_source);
    ::Setup.no_monitor_source = c.no_source;
    m.set_enable_project_commands(c.open);
    for (vcl::TButton* b : {m.EcfgBtn, m.OptBtn, m.EntBtn, m.RunBtn}) EXPECT_EQ(b->Enabled(), c.open);
    for (vcl::TMenuItem* i : {m.KC1, m.KM1, m.KK1, m.KT1, m.KQUENDARR1, m.KE1}) EXPECT_EQ(i->Enabled(), c.open);
    EXPECT_EQ(m.EmonBtn->Enabled(), c.open && !c.no_source);
    EXPECT_EQ(m.MmonBtn->Enabled(), c.open && !c.no_source);
    for (vcl::TButton* b : {m.NewBtn, m.OpnBtn, m.QuitBtn, m.HlpBtn}) EXPECT_TRUE(b->Enabled());
    for (vcl::TMenuItem* i : {m.KN1, m.KO1, m.KD1, m.KX1, m.KC2, m.KI1, m.KA1, m.ReadMe1}) EXPECT_TRUE(i->Enabled());
  }
}

TEST_F(MainFormTest, CommandLinesOfTheEditorAndTheDebugger) {
  start(100);
  MainSt.PrjDir = "D:\\P1";
  MainSt.EditorName = "";
  EXPECT_EQ(set_editor_command("qqn80.cfg"), "notepad.exe D:\\P1\\qqn80.cfg");
  EXPECT_EQ(MainSt.EditorName, "notepad.exe");
  MainSt.EditorFmt = "%s -n %s\\%s";
  MainSt.EditorName = "vi";
  EXPECT_EQ(set_editor_command("mon80.asm"), "vi -n D:\\P1\\mon80.asm");
  EXPECT_EQ(set_debugger_command("D:\\QN"), "\"D:\\QN\\wqqn80.exe\" -Q");
  EXPECT_EQ(set_debugger_command(""), "\"wqqn80.exe\" -Q");
}

// Edit Config starts the editor on the project's configuration file, with
// the file's path as the editor can open it; an editor that cannot be
// started is reported with its command line.
TEST_F(MainFormTest, EditConfigStartsTheEditor) {
  start(100);
  open_project();
  fakes.Add("myedit");
  MainSt.EditorName = "myedit";
  Forms.MainForm->EcfgBtn->UserClick();
  const std::vector<std::string> record = fakes.Wait("myedit");
  ASSERT_EQ(record.size(), 2u);
  EXPECT_EQ(record[1], dir.path() + "/qqn80.cfg");
  EXPECT_TRUE(recorded_boxes().empty());

  MainSt.EditorName = "no-such-editor-here";
  Forms.MainForm->KM1->UserClick();
  const std::string command = "no-such-editor-here " + dir.system_path() + "\\mon80.asm";
  EXPECT_EQ(box_texts(), std::vector<std::string>{message(5003, command.c_str())});
}

// Run saves the project, starts the family's debugger beside rz7set's own
// program in the project folder with -Q, and closes the main window.
TEST_F(MainFormTest, RunStartsTheDebuggerInTheProjectFolder) {
  start(100);
  open_project();
  fakes.Add("wqqn80");
  SetTexts.ProgramFile = fakes.bin().system_path() + "\\rz7set";
  MainSt.PrjName = "RUN1";
  Forms.MainForm->Show();
  Forms.MainForm->KQUENDARR1->UserClick();
  const std::vector<std::string> record = fakes.Wait("wqqn80");
  EXPECT_EQ(record, (std::vector<std::string>{dir.path(), "-Q"}));
  EXPECT_FALSE(Forms.MainForm->Showing());
  EXPECT_NE(dir.read("qqn80.qpj").find("%PRJ\r\nRUN1\r\n"), std::string::npos);
}

// A project whose file lost its "%OPT" cannot be saved: Run says so and
// starts nothing.
TEST_F(MainFormTest, RunStopsWhenTheSaveFails) {
  start(100);
  open_project();
  fakes.Add("wqqn80");
  SetTexts.ProgramFile = fakes.bin().system_path() + "\\rz7set";
  dir.write("qqn80.qpj", "%SYS\r\n%END\r\n");
  Forms.MainForm->Show();
  Forms.MainForm->RunBtn->UserClick();
  EXPECT_EQ(box_texts(), std::vector<std::string>{message(5009)});
  EXPECT_TRUE(Forms.MainForm->Showing());
  EXPECT_FALSE(fakes.Ran("wqqn80"));
  Forms.MainForm->Close();
}

// Open: the dialog starts in the last folder, or in the default project
// folder when the last one is gone; the chosen project opens.
TEST_F(MainFormTest, OpenStartsInAFolderThatExistsAndOpensTheProject) {
  start(100);
  ScratchDir projects;
  MainSt.DefPrjDir = projects.system_path();
  MainSt.OpnDir = dir.system_path() + "\\gone";
  for (const char* name : {"qqn80.cfg", "mon80.asm", "mon80.qqn"}) dir.write(name, "");
  dir.write("qqn80.qpj", kProjectText);
  std::string initial;
  vcl::TOpenDialog::SetHook([&](vcl::TOpenDialog& d, std::string& chosen) {
    initial = d.InitialDir;
    chosen = dir.system_path() + "\\qqn80.qpj";
    return true;
  });
  Forms.MainForm->KO1->UserClick();
  EXPECT_EQ(initial, projects.system_path());
  EXPECT_TRUE(MainSt.PrjOpen);
  EXPECT_EQ(MainSt.OpnDir, dir.system_path());
  EXPECT_EQ(Forms.MainForm->Caption(), "QUENDAR-RZ7 Setup80 [P1]");
  EXPECT_EQ(Forms.MainForm->DirStat->SimpleText(), dir.system_path());
  EXPECT_TRUE(Forms.MainForm->RunBtn->Enabled());

  // Cancel changes nothing
  vcl::TOpenDialog::SetHook([](vcl::TOpenDialog&, std::string&) { return false; });
  Forms.MainForm->OpnBtn->UserClick();
  EXPECT_EQ(MainSt.OpnDir, dir.system_path());
  EXPECT_TRUE(recorded_boxes().empty());
}

class NewProjectTest : public MainFormTest {
 protected:
  void SetUp() override {
    MainFormTest::SetUp();
    for (const char* name : {"qqn80.cfg", "mon80.asm", "mon80.qqn"}) install.write(name, name);
    install.write("qqn80.qpj", kProjectText);
  }
  void start_with_install() {
    start(100);
    MainSt.BinDir = install.system_path();
    MainSt.DefPrjDir = projects.system_path();
    Forms.NewPrj->SetBase(MainSt.DefPrjDir);
  }
  // New, with `name` typed into the dialog and Create pressed.
  void make(const std::string& name) {
    TForm::SetModalHook([&](TForm& form) {
      auto& d = static_cast<TNewPrj&>(form);
      EXPECT_FALSE(d.OkBtn->Enabled());
      d.PrjNameE->UserText(name);
      EXPECT_EQ(d.PrjDirE->Text(), projects.system_path() + "\\" + name);
      d.OkBtn->UserClick();
    });
    Forms.MainForm->NewBtn->UserClick();
    TForm::SetModalHook({});
  }
  ScratchDir install;
  ScratchDir projects;
};

// Two projects made one after the other: each gets the templates, its own
// name in %PRJ and %DIR, and opens in the main window.
TEST_F(NewProjectTest, ProjectsFromTheTemplatesOpenAtOnce) {
  start_with_install();
  for (const std::string name : {"P1", "P2"}) {
    SCOPED_TRACE(name);
    recorded_boxes().clear();
    make(name);
    const std::string folder = projects.system_path() + "\\" + name;
    EXPECT_EQ(box_texts(), std::vector<std::string>{message(5013, folder.c_str())});  // make the folder?
    EXPECT_EQ(MainSt.PrjDir, folder);
    EXPECT_TRUE(MainSt.PrjOpen);
    EXPECT_EQ(Forms.MainForm->Caption(), "QUENDAR-RZ7 Setup80 [" + name + "]");
    EXPECT_TRUE(Forms.MainForm->RunBtn->Enabled());
    EXPECT_EQ(MainSt.OpnDir, folder);
    EXPECT_EQ(projects.read(name + "/qqn80.cfg"), "qqn80.cfg");
    EXPECT_EQ(projects.read(name + "/mon80.qqn"), "mon80.qqn");
    const std::string text = projects.read(name + "/qqn80.qpj");
    EXPECT_NE(text.find("%DIR\r\n" + name + "\r\n%PRJ\r\n" + name + "\r\n"), std::string::npos) << text;
    EXPECT_TRUE(text.starts_with("%SYS\r\nW=1\r\n%OPT\r\n"));
    // the dialog is ready for the next project
    EXPECT_EQ(Forms.NewPrj->PrjNameE->Text(), "");
    EXPECT_EQ(Forms.NewPrj->PrjDirE->Text(), projects.system_path());
  }
}

// A template that is missing is reported and the project is made all the
// same; an older file in the folder is kept when the user says No.
TEST_F(NewProjectTest, MissingTemplatesAndOlderFiles) {
  start_with_install();
  std::filesystem::remove(install.path() + "/mon80.qqn");
  projects.write("P3/qqn80.cfg", "old");
  box_answer() = kAnswerNo;
  make("P3");
  const std::string folder = projects.system_path() + "\\P3";
  const std::string missing = install.system_path() + "\\mon80.qqn";
  EXPECT_EQ(box_texts(), (std::vector<std::string>{set_format(set_res_string(5000), folder, "qqn80.cfg"),
                                                   message(5020, missing.c_str()), message(5021)}));
  EXPECT_EQ(projects.read("P3/qqn80.cfg"), "old");
  EXPECT_TRUE(projects.exists("P3/qqn80.qpj"));
  EXPECT_TRUE(MainSt.PrjOpen);
}

// The J edition's project has its configuration and project file only, and
// no monitor: the monitor buttons stay grey.
TEST_F(NewProjectTest, TheJEditionCopiesTwoFilesAndHasNoMonitor) {
  ::Setup.j_edition = true;
  start(600);
  install.write("jqnVR.cfg", "cfg");
  install.write("jqnVR.jpj", kProjectText);
  MainSt.BinDir = install.system_path();
  MainSt.DefPrjDir = projects.system_path();
  Forms.NewPrj->SetBase(MainSt.DefPrjDir);
  make("J1");
  EXPECT_EQ(box_texts(), std::vector<std::string>{message(5013, (projects.system_path() + "\\J1").c_str())});
  EXPECT_EQ(projects.read("J1/jqnVR.cfg"), "cfg");
  EXPECT_TRUE(projects.exists("J1/jqnVR.jpj"));
  EXPECT_FALSE(projects.exists("J1/monVR.asm"));
  EXPECT_TRUE(MainSt.PrjOpen);
  EXPECT_FALSE(Forms.MainForm->EmonBtn->Enabled());
  EXPECT_FALSE(Forms.MainForm->MmonBtn->Enabled());
  EXPECT_TRUE(Forms.MainForm->KK1->Enabled());
}

TEST_F(NewProjectTest, RefusedFolders) {
  start_with_install();
  projects.write("FILE", "");
  const struct {
    std::string folder;
    u32 message;
    unsigned style;
  } cases[] = {
      {"", 5047, kMsgInfo},
      {projects.system_path() + "\\FILE", 5014, kMsgError},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.folder);
    recorded_boxes().clear();
    TForm::SetModalHook([&](TForm& form) {
      auto& d = static_cast<TNewPrj&>(form);
      d.PrjNameE->UserText("X");
      d.PrjDirE->UserText(c.folder);
      d.OkBtn->UserClick();
    });
    Forms.MainForm->NewBtn->UserClick();
    ASSERT_EQ(recorded_boxes().size(), 1u);
    EXPECT_EQ(recorded_boxes()[0].style, c.style);
    EXPECT_EQ(recorded_boxes()[0].text, c.message == 5047 ? message(5047) : message(c.message, c.folder.c_str()));
    EXPECT_FALSE(MainSt.PrjOpen);
  }
}

}  // namespace
