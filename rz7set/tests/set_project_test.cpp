#include "rz7set/set_project.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

#include "platform/host/host_project.h"
#include "rz7set/opt_forms.h"
#include "rz7set/set_settings.h"
#include "rz7set/set_start.h"
#include "rz7set/tests/set_test_env.h"

namespace {

// The debugger's sections, which the setup program must keep byte for byte.
const std::string kHead =
    "%SYS\r\nWatch Window=[0,0,300,200],1,0\r\n\x82\xA0 raw\x1A\r\n%USR1\r\nabc\r\n%BRK\r\n\r\n";
const std::string kTail = "%OPT\r\n -ST -XL  -B1024,64 -EH -TAB4 -SD\"\\src x\"\r\n%DIR\r\n@Current\r\n%PRJ\r\nDEMO\r\n"
                          "%CPU\r\n(80)\r\n%END\r\n\x1A";

class ProjectTest : public SetupTest {
 protected:
  std::string path(const char* name = "qqn80.qpj") const { return dir.system_path() + "\\" + name; }
  static void family(CpuFamily f) {
    ::Setup.cpu_family = f;
    set_read_settings();
  }
};

TEST_F(ProjectTest, ReadChangeWriteKeepsTheHead) {
  dir.write("qqn80.qpj", kHead + kTail);
  ASSERT_TRUE(prj_load(path("QQN80.QPJ")));
  EXPECT_EQ(::Setup.cpu_family, 100u);
  EXPECT_EQ(MainSt.PrjName, "DEMO");
  EXPECT_EQ(MainSt.PrjDir, dir.system_path());
  EXPECT_EQ(SetTexts.PrjDirValue, "@Current");
  const OptFormModel& z80 = opt_form(OptSet::Z80);
  EXPECT_EQ(z80.family.step_mode, 1);
  EXPECT_EQ(z80.family.deb_mode, 1);
  EXPECT_EQ(Opt.OptDlg.common, (CommonOptions{"1024", "64", "H", "4", "\\src x", false}));
  EXPECT_EQ(Opt.OptDlg.opt_text, " -ST -XL  -B1024,64 -EH -TAB4 -SD\"\\src x\"");

  // Change an option and save twice: the head stays, the tail is rebuilt.
  opt_form(OptSet::Z80).family.step_mode = 0;
  opt_update_option(OptSet::Z80);
  MainSt.PrjName.clear();
  ASSERT_TRUE(prj_save());
  ASSERT_TRUE(prj_save());
  const std::string want_tail = "%OPT\r\n -SP -XL  -B1024,64 -EH -TAB4 -SD\"\\src x\"\r\n%DIR\r\n@Current\r\n%PRJ\r\n"
                                "PRJNAME\r\n%CPU\r\n(80)\r\n%END\r\n\x1A";
  EXPECT_EQ(dir.read("qqn80.qpj"), kHead + want_tail);
  EXPECT_TRUE(recorded_boxes().empty());
}

TEST_F(ProjectTest, SaveFillsTheDefaultsAndAlwaysEndsTheFile) {
  dir.write("qqn80.qpj", "%SYS\r\n%OPT\r\n\r\n%DIR\r\n%PRJ\r\n\r\n%END\r\n\x1A trailing junk\x1A\x1A");
  family(100);
  ASSERT_TRUE(prj_load(path()));
  EXPECT_EQ(Opt.OptDlg.common, CommonOptions{});  // an empty option line reads as the defaults
  Opt.OptDlg.opt_text.clear();
  SetTexts.PrjDirValue.clear();
  ASSERT_TRUE(prj_save());
  EXPECT_EQ(dir.read("qqn80.qpj"), "%SYS\r\n%OPT\r\n-TAB8\r\n%DIR\r\n@Current\r\n%PRJ\r\nPRJNAME\r\n%CPU\r\n(80)\r\n%END\r\n\x1A");
  EXPECT_EQ(Opt.OptDlg.opt_text, "-TAB8");
}

TEST_F(ProjectTest, SavesIntoTheFileThatWasOpened) {
  dir.write("OTHER.QPJ", "%OPT\r\n-TAB8\r\n%CPU\r\nZ80\r\n");
  dir.write("qqn80.qpj", "%OPT\r\nuntouched\r\n");
  ASSERT_TRUE(prj_load(path("OTHER.QPJ")));
  ASSERT_TRUE(prj_save());
  EXPECT_EQ(dir.read("qqn80.qpj"), "%OPT\r\nuntouched\r\n");
  EXPECT_TRUE(dir.read("OTHER.QPJ").ends_with("%CPU\r\n(80)\r\n%END\r\n\x1A"));
}

TEST_F(ProjectTest, RefusalsAndTheirMessages) {
  const struct {
    CpuFamily family;      // the family given by a switch, 0 none
    const char* text;      // nullptr: no file
    bool ok;
    u32 message;
  } cases[] = {
      {0, nullptr, false, 5007},
      {300, "%OPT\r\n\r\n%CPU\r\n(80)\r\n", false, 5028},
      {0, "%OPT\r\n-TAB8\r\n", false, 5027},
      {0, "%OPT\r\n-TAB8\r\n%CPU\r\n", false, 5027},
      {100, "%OPT\r\n-TAB8\r\n", true, 0},               // no %CPU: taken as the family given
      {0, "%OPT\r\n-XQ\r\n%CPU\r\nZ80", false, 5015},
      {0, "%OPT\r\n-tab8\r\n%CPU\r\n80", false, 5015},
      {0, "%CPU\r\n(80)", true, 0},                      // no %OPT: readable
      {100, "%OPT", true, 0},                            // ends with the marker itself
      {100, "x%OPT\r", true, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text ? c.text : "(no file)");
    set_reset_state();
    recorded_boxes().clear();
    ScratchDir d;
    if (c.text) d.write("qqn80.qpj", c.text);
    if (c.family) family(c.family);
    const std::string p = d.system_path() + "\\qqn80.qpj";
    EXPECT_EQ(prj_load(p), c.ok);
    if (c.message) {
      ASSERT_EQ(recorded_boxes().size(), 1u);
      const bool with_path = c.message == 5007 || c.message == 5015;
      EXPECT_EQ(recorded_boxes()[0].text, message(c.message, with_path ? p.c_str() : nullptr));
      EXPECT_TRUE(MainSt.PrjDir.empty());
    } else {
      EXPECT_TRUE(recorded_boxes().empty());
      EXPECT_EQ(MainSt.PrjDir, d.system_path());
    }
  }
}

TEST_F(ProjectTest, SaveFailures) {
  family(100);
  EXPECT_TRUE(prj_save());  // no project: nothing to do
  MainSt.PrjDir = dir.system_path();
  EXPECT_FALSE(prj_save());  // no file
  EXPECT_EQ(box_texts(), std::vector<std::string>{message(5001, path().c_str())});
  recorded_boxes().clear();
  dir.write("qqn80.qpj", "%SYS\r\n%END\r\n");
  EXPECT_FALSE(prj_save());
  EXPECT_EQ(box_texts(), std::vector<std::string>{message(5009)});
  EXPECT_EQ(dir.read("qqn80.qpj"), "%SYS\r\n%END\r\n");
}

TEST_F(ProjectTest, CheckOfTheProjectFiles) {
  family(100);
  dir.write("qqn80.cfg", "");
  dir.write("qqn80.qpj", "");
  EXPECT_EQ(prj_check_files(dir.system_path()), kAnswerYes);  // no monitor source, no image
  EXPECT_TRUE(::Setup.no_monitor_source);
  EXPECT_TRUE(recorded_boxes().empty());

  dir.write("mon80.asm", "");
  box_answer() = kAnswerNo;
  EXPECT_EQ(prj_check_files(dir.system_path()), kAnswerNo);
  EXPECT_FALSE(::Setup.no_monitor_source);
  const std::string image = dir.system_path() + "\\mon80.qqn";
  EXPECT_EQ(box_texts(), (std::vector<std::string>{message(5020, image.c_str()), message(5024)}));
  EXPECT_EQ(recorded_boxes()[1].style, kMsgErrorYesNo);
}

TEST_F(ProjectTest, CommandLineProjectStart) {
  dir.write("qqn80.cfg", "");
  dir.write("mon80.asm", "");
  dir.write("mon80.qqn", "");
  dir.write("qqn80.qpj", "%OPT\r\n-SP -X\r\n%DIR\r\n@Current\r\n%PRJ\r\nP1\r\n%CPU\r\n(80)\r\n%END\r\n\x1A");
  std::string upper = path();
  for (char& ch : upper) ch = host_ascii_upper(ch);
  SetTexts.Args = {"/u", "/(80)", upper};
  ASSERT_TRUE(set_parse_switches());
  ASSERT_TRUE(set_open_command_line_project());
  EXPECT_TRUE(MainSt.PrjOpen);
  EXPECT_TRUE(MainSt.AutoOption);
  EXPECT_EQ(MainSt.PrjName, "P1");
  EXPECT_EQ(Opt.OptDlg.opt_text, " -SP -X  -B512,32 -EC -TAB8");
}

// A write-protected project file is not replaced behind the user's back: the
// save says it cannot write it, and the file stays as it was.
TEST_F(ProjectTest, AWriteProtectedProjectIsLeftAndReported) {
  dir.write("qqn80.qpj", kHead + kTail);
  family(100);
  ASSERT_TRUE(prj_load(path()));
  ASSERT_EQ(chmod((dir.path() + "/qqn80.qpj").c_str(), 0444), 0);
  MainSt.PrjName = "CHANGED";
  EXPECT_FALSE(prj_save());
  EXPECT_EQ(box_texts(), std::vector<std::string>{message(5001, path().c_str())});
  EXPECT_EQ(dir.read("qqn80.qpj"), kHead + kTail);
}

// A writable project file in a folder that takes no new file is rewritten in
// place; the head stays.
TEST_F(ProjectTest, AWritableFileInAReadOnlyFolderIsSavedInPlace) {
  dir.write("qqn80.qpj", kHead + kTail);
  family(100);
  ASSERT_TRUE(prj_load(path()));
  ASSERT_EQ(chmod(dir.path().c_str(), 0555), 0);
  MainSt.PrjName = "RENAMED";
  // The superuser writes into any folder: the save runs as an ordinary user
  // who owns the file but not the folder.
  int result = -1;
  if (geteuid() != 0) {
    result = prj_save() ? 0 : 1;
  } else {
    constexpr uid_t kNobody = 65534;
    ASSERT_EQ(chown((dir.path() + "/qqn80.qpj").c_str(), kNobody, kNobody), 0);
    const pid_t child = fork();
    if (child == 0) {
      if (setgid(kNobody) != 0 || setuid(kNobody) != 0) _exit(3);
      _exit(prj_save() ? (recorded_boxes().empty() ? 0 : 2) : 1);
    }
    int status = 0;
    waitpid(child, &status, 0);
    result = WIFEXITED(status) ? WEXITSTATUS(status) : 4;
  }
  chmod(dir.path().c_str(), 0755);
  EXPECT_EQ(result, 0);
  EXPECT_TRUE(recorded_boxes().empty());
  std::string want = kHead + kTail;
  want.replace(want.find("DEMO"), 4, "RENAMED");
  EXPECT_EQ(dir.read("qqn80.qpj"), want);
}

// Of two project files whose names differ only in case, the one named is the
// one opened and saved.
TEST_F(ProjectTest, TheExactNameWins) {
  const std::string tail = "%DIR\r\n@Current\r\n%CPU\r\n(80)\r\n%END\r\n\x1A";
  dir.write("QQN80.QPJ", "%OPT\r\n-TAB2\r\n%PRJ\r\nUPPER\r\n" + tail);
  dir.write("qqn80.qpj", "%OPT\r\n-TAB4\r\n%PRJ\r\nLOWER\r\n" + tail);
  for (const char* name : {"qqn80.cfg", "mon80.asm", "mon80.qqn"}) dir.write(name, "");
  SetTexts.Args = {"/(80)", dir.path() + "/qqn80.qpj"};
  ASSERT_TRUE(set_parse_switches());
  ASSERT_TRUE(set_open_command_line_project());
  EXPECT_EQ(MainSt.PrjName, "LOWER");
  MainSt.PrjName = "SAVED";
  ASSERT_TRUE(prj_save());
  EXPECT_NE(dir.read("qqn80.qpj").find("SAVED"), std::string::npos);
  EXPECT_NE(dir.read("QQN80.QPJ").find("UPPER"), std::string::npos);
}

// The save copies the head a piece at a time: a head of several pieces, and a
// marker that straddles two pieces, come through byte for byte; a zero byte
// ends the text, so a "%OPT" after it is no marker.
TEST_F(ProjectTest, LargeHeadsAreCopiedWhole) {
  family(100);
  MainSt.PrjDir = dir.system_path();
  Opt.OptDlg.opt_text = "-TAB4";
  MainSt.PrjName = "BIG";
  const std::size_t piece = kProjectPieceSize;
  const struct {
    std::size_t head_size;
    bool ok;
  } cases[] = {{3 * piece + 17, true}, {piece - 2, true}, {piece - 1, true}, {piece, true}, {0, true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.head_size);
    std::string head(c.head_size, 'h');
    for (std::size_t i = 0; i < head.size(); i += 4093) head[i] = char('A' + i % 26);
    dir.write("qqn80.qpj", head + kTail);
    ASSERT_EQ(prj_save(), c.ok);
    const std::string after = dir.read("qqn80.qpj");
    ASSERT_GE(after.size(), head.size());
    EXPECT_TRUE(after.compare(0, head.size(), head) == 0);
    EXPECT_EQ(after.substr(head.size()), "%OPT\r\n-TAB4\r\n%DIR\r\n@Current\r\n%PRJ\r\nBIG\r\n%CPU\r\n(80)\r\n%END\r\n\x1A");
  }
  recorded_boxes().clear();
  dir.write("qqn80.qpj", std::string("%SYS\r\n\0", 7) + kTail);
  EXPECT_FALSE(prj_save());
  EXPECT_EQ(box_texts(), std::vector<std::string>{message(5009)});
}

// A value typed into a field is saved only as far as the debugger reads it,
// and an empty tab width writes no "-TAB" (the debugger refuses it).
TEST_F(ProjectTest, OnlyReadableValuesAreSaved) {
  const struct {
    const char* deb;
    const char* tab;
    const char* ext;
    const char* text;
  } cases[] = {
      {"512 ", "8", "C S", " -B512,32 -EC -TAB8"},
      {"5x12", "", "C", " -B5,32 -EC"},
      {"", "4 ", "ABCDEFGHIJ", " -B,32 -EABCDEFGH -TAB4"},
      {"1234567890", "x", "\"q", " -B123456789,32 -E"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(opt_build_common(c.deb, "32", c.ext, c.tab, "", false), c.text);
    CommonOptions common{c.deb, "32", c.ext, c.tab, "", false};
    opt_make_saved(common);
    EXPECT_EQ(opt_build_common(common.deb_size, "32", common.ext, common.tab, "", false), c.text);
  }
}

}  // namespace
