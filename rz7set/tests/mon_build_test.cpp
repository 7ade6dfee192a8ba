#include "rz7set/mon_build.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>

#include "platform/host/host_env.h"
#include "platform/owl/tests/owl_test_app.h"
#include "platform/vcl/vcl_app.h"
#include "rz7set/mon_status.h"
#include "rz7set/set_mkmon.h"
#include "rz7set/tests/set_test_env.h"

namespace {

constexpr const char* kFakeVars[] = {"FAKE_VAVADA_STATUS", "FAKE_VAVADA_CODE", "FAKE_VAVADA_TEXT", "FAKE_VAVADA_IMAGE"};

// A project folder and an install folder; the install folder holds the fake
// assembler as mon80.EXE (and mon80.OUT) when `with_assembler`.
class MonBuildTest : public SetupTest {
 protected:
  void SetUp() override {
    owl_test_app();
    SetupTest::SetUp();
    ::Setup.cpu_family = 100;
    ::Setup.english_ui = true;
    const char* path = getenv("PATH");
    old_path = path ? path : "";
    const char* prompt = getenv("PROMPT");
    old_prompt = prompt ? std::optional<std::string>(prompt) : std::nullopt;
    dir.write("bin/readme.txt", "");
    dir.write("prj/mon80.asm", "");
    MainSt.BinDir = dir.system_path() + "\\bin";
    MainSt.PrjDir = dir.system_path() + "\\prj";
  }
  void TearDown() override {
    vcl::TForm::SetModalHook({});
    for (const char* v : kFakeVars) unsetenv(v);
    setenv("PATH", old_path.c_str(), 1);
    if (old_prompt) setenv("PROMPT", old_prompt->c_str(), 1);
    else unsetenv("PROMPT");
    SetupTest::TearDown();
  }
  void install_assembler(bool with_out = true) const {
    std::filesystem::create_symlink(FAKE_VAVADA, dir.path() + "/bin/mon80.exe");
    if (with_out) dir.write("bin/MON80.OUT", "");
  }
  // The dialog shown as the main form shows it; `check` runs once the build
  // has finished, before OK closes it.
  void show(TMkMonDlg& dlg, const std::function<void()>& check) {
    vcl::TForm::SetModalHook([&](vcl::TForm&) {
      EXPECT_FALSE(dlg.OkBtn->Enabled());  // while it builds
      EXPECT_EQ(dlg.OkBtn->Caption(), "interrupt");
      vcl_process_until([&] { return dlg.OkBtn->Enabled(); });
      check();
      dlg.OkBtn->UserClick();
    });
    EXPECT_EQ(dlg.ShowModal(), vcl::mrOk);
  }
  std::string host_bin() const { return std::filesystem::canonical(dir.path() + "/bin").string(); }

  std::string old_path;
  std::optional<std::string> old_prompt;
};

TEST_F(MonBuildTest, ModeNeedsBothFilesOfTheAssembler) {
  mon_choose_mode();
  EXPECT_FALSE(MonBuild.AsmMode);
  install_assembler(false);
  mon_choose_mode();
  EXPECT_FALSE(MonBuild.AsmMode);  // mon80.EXE without mon80.OUT: the batch
  dir.write("bin/mon80.out", "");
  mon_choose_mode();
  EXPECT_TRUE(MonBuild.AsmMode);
}

TEST_F(MonBuildTest, AssemblerBuildRunsInTheProjectWithTheInstallFolderOnPath) {
  install_assembler();
  setenv("FAKE_VAVADA_STATUS", "4", 1);
  setenv("FAKE_VAVADA_IMAGE", "mon80.qqn", 1);
  TMkMonDlg dlg;
  EXPECT_EQ(dlg.Caption(), "Making Monitor");
  show(dlg, [&] {
    EXPECT_EQ(dlg.Mes->Text(),
              "Now making monitor file [mon80.qqn]...\r\n\r\nComplete monitor file [mon80.qqn]");
    EXPECT_EQ(dlg.OkBtn->Caption(), "Finish");
    EXPECT_FALSE(dlg.EBtn->Visible());
    EXPECT_TRUE(dlg.LBtn->Visible());
  });
  EXPECT_TRUE(MonBuild.AsmMode);
  EXPECT_EQ(dir.read("prj/fake.log"),
            "arg mon80.asm\narg -Z\nPATH " + host_bin() + ":" + old_path + "\nPROMPT MKMON>\n");
  EXPECT_EQ(dir.read("prj/mon80.qqn"), "image");
  // PATH is back, PROMPT stays; the block is gone.
  EXPECT_EQ(std::string(getenv("PATH")), old_path);
  EXPECT_STREQ(getenv("PROMPT"), "MKMON>");
  EXPECT_EQ(MonBuild.Status, nullptr);
}

TEST_F(MonBuildTest, AssemblerFailuresReachTheMemo) {
  install_assembler();
  const std::string tail = "\r\nCan't create monitor file [mon80.qqn]";
  const struct {
    const char* status;
    const char* code;
    const char* text;
    std::string memo;
  } cases[] = {
      {"0x1003", "7", "line 3: bad", "\r\nVAVADA-PASS2line 3: bad\r\nAsm error\r\n" + tail},
      {"0x1002", "8", "x", "\r\nVAVADA-PASS1x\r\nRedefine error\r\n" + tail},
      {"0x1001", "11", "", "\r\nVAVADA-Filter\r\nabort\r\n" + tail},
      // a phase and a code beyond their tables, and a text without its end
      {"0x100F", "4000", "@full", "\r\nVAVADA-Error" + std::string(4096, 'x') + "\r\nVAVADA-Error\r\n" + tail},
      {"0", "7", "ignored", tail},  // neither done nor failed: no text
      {"0x0004", "0", "", "\r\nComplete monitor file [mon80.qqn]"},
  };
  TMkMonDlg dlg;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.status);
    setenv("FAKE_VAVADA_STATUS", c.status, 1);
    setenv("FAKE_VAVADA_CODE", c.code, 1);
    setenv("FAKE_VAVADA_TEXT", c.text, 1);
    const bool ok = std::string(c.status) == "0x0004";
    show(dlg, [&] {
      EXPECT_EQ(dlg.Mes->Text(), "Now making monitor file [mon80.qqn]...\r\n" + c.memo);
      EXPECT_EQ(dlg.OkBtn->Caption(), ok ? "Finish" : "Error");
      EXPECT_EQ(dlg.EBtn->Visible(), !ok);
    });
  }
}

TEST_F(MonBuildTest, AssemblerThatCannotStart) {
  dir.write("bin/mon80.EXE", "not a program");  // no execute permission
  dir.write("bin/mon80.OUT", "");
  std::filesystem::permissions(dir.path() + "/bin/mon80.EXE", std::filesystem::perms::owner_read);
  mon_choose_mode();
  ASSERT_TRUE(MonBuild.AsmMode);
  std::string memo;
  EXPECT_FALSE(mon_build(memo));
  EXPECT_EQ(memo, "\r\nCreateProcess [" + MainSt.BinDir + "\\mon80.EXE mon80.asm -Z] Error\r\n");

  memo.clear();
  MainSt.BinDir = dir.system_path() + "\\gone";
  EXPECT_FALSE(mon_run_assembler(memo));
  EXPECT_EQ(memo, "\r\nFile not found [" + MainSt.BinDir + "\\mon80.EXE mon80.asm -Z] Error\r\n");
  EXPECT_EQ(std::string(getenv("PATH")), old_path);
}

std::string read_whole(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// What the talkative batch writes: `lines` numbers of 100 digits each.
std::string talk(int lines) {
  std::string out;
  for (int i = 0; i < lines; ++i) {
    const std::string n = std::to_string(i);
    out += std::string(100 - n.size(), '0') + n;
  }
  return out;
}

TEST_F(MonBuildTest, BatchBuilds) {
  const std::string makes_image = "echo made > mon80.qqn\n";
  const struct {
    const char* name;
    const char* where;  // the batch's folder below the scratch folder; null: none
    std::string script;
    bool built;
    std::string output;
  } cases[] = {
      {"project batch", "prj", "echo \"$PROMPT\"\n" + makes_image, true, "MKMON>\n"},
      // a batch along PATH: the install folder leads it during the build
      {"install batch", "bin", "echo from install\n" + makes_image, true, "from install\n"},
      {"no image", "prj", "echo nothing made\n", false, "nothing made\n"},
      // old outputs are gone before the batch runs
      {"keeps old", "prj", "test -e mon80.qqn || test -e mon80.SRC || echo clean\n", false, "clean\n"},
      // 3,000 bytes: the memo shows the first 1,024
      {"talkative", "prj", "i=0; while [ $i -lt 30 ]; do printf '%0100d' $i; i=$((i+1)); done\n" + makes_image, true,
       talk(30)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::filesystem::remove(dir.path() + "/prj/mkmon80.bat");
    std::filesystem::remove(dir.path() + "/bin/mkmon80.bat");
    dir.write("prj/mon80.qqn", "old");
    dir.write("prj/mon80.SRC", "old");
    dir.write(std::string(c.where) + "/mkmon80.bat", c.script);
    mon_choose_mode();
    ASSERT_FALSE(MonBuild.AsmMode);
    std::string memo;
    EXPECT_EQ(mon_build(memo), c.built);
    EXPECT_EQ(memo, "\r\n" + c.output.substr(0, 1024));
    EXPECT_EQ(std::string(getenv("PATH")), old_path);
  }
  EXPECT_EQ(mon_batch_command(), "/bin/sh mkmon80.bat");
}

TEST_F(MonBuildTest, MissingBatchIsReportedByTheShell) {
  std::string memo;
  mon_choose_mode();
  EXPECT_FALSE(mon_build(memo));
  EXPECT_NE(memo.find("mkmon80.bat"), std::string::npos) << memo;
}

// The monitor assembler itself, as the install folder's mon80.EXE: the
// shipped source builds through the status block, a broken one reports its
// phase, the assembler's words and the error.
TEST_F(MonBuildTest, TheMonitorAssemblerReportsThroughTheBlock) {
  std::filesystem::create_symlink(VAVADA, dir.path() + "/bin/mon80.exe");
  dir.write("bin/mon80.out", "");
  const std::string source = read_whole(std::string(HALV80_DATA_DIR) + "/mon80.asm");
  dir.write("prj/mon80.asm", source);
  mon_choose_mode();
  ASSERT_TRUE(MonBuild.AsmMode);
  std::string memo;
  EXPECT_TRUE(mon_build(memo)) << memo;
  EXPECT_EQ(memo, "");
  EXPECT_EQ(dir.read("prj/mon80.qqn"), read_whole(std::string(HALV80_DATA_DIR) + "/MON80.QQN"));
  EXPECT_TRUE(dir.exists("prj/mon80.PRN"));

  std::string broken = source;
  broken.replace(broken.find("break_entry:"), 12, "break_entry: ld (hl),(hl)");
  dir.write("prj/mon80.asm", broken);
  EXPECT_FALSE(mon_build(memo));
  EXPECT_TRUE(memo.starts_with("\r\nVAVADA-PASS1")) << memo;
  EXPECT_NE(memo.find("mon80.SRC"), std::string::npos) << memo;  // the assembler's own words
  EXPECT_TRUE(memo.ends_with("\r\nAsm error\r\n")) << memo;
}

TEST_F(MonBuildTest, ListingNamesAndCommand) {
  EXPECT_EQ(mon_listing_name(), "mon80.PRN");
  ::Setup.cpu_family = 300;
  EXPECT_EQ(mon_listing_name(), "mon386.LST");
  ::Setup.cpu_family = 100;
  MainSt.EditorName = "";
  MainSt.PrjDir = "\\p1";
  EXPECT_EQ(TMkMonDlg::ListingCommand(), "notepad.exe \\p1\\mon80.PRN");
}

TEST_F(MonBuildTest, ListingEditorThatCannotStartShows5003) {
  MainSt.EditorName = dir.system_path() + "\\no-editor";
  TMkMonDlg dlg;
  dlg.LBtnClick();
  EXPECT_EQ(box_texts(), std::vector<std::string>{message(5003, TMkMonDlg::ListingCommand().c_str())});
}

}  // namespace
