#include "rz7set/set_start.h"

#include <gtest/gtest.h>

#include "rz7set/opt_forms.h"
#include "rz7set/tests/set_test_env.h"

namespace {

using StartTest = SetupTest;

TEST_F(StartTest, SwitchesAndTheirFailures) {
  const struct {
    std::vector<std::string> args;
    bool ok;
    CpuFamily family;
    bool english;
    const char* path;
    bool auto_option;
    u32 message;  // 0: none
  } cases[] = {
      {{"/u", "/(80)", "d:\\work\\p1\\qqn80.qpj"}, true, 100, true, "D:\\WORK\\P1\\QQN80.QPJ", true, 0},
      {{"d:\\work\\p1\\qqn80.qpj", "/80"}, true, 100, false, "D:\\WORK\\P1\\QQN80.QPJ", false, 0},
      {{"/Z80"}, true, 100, false, "", false, 0},
      {{" /486 "}, true, 300, false, "", false, 0},
      {{"/ppc"}, true, 1500, false, "", false, 0},
      {{"/68020"}, true, 500, false, "", false, 0},
      {{"/XYZ"}, false, 0, false, "", false, 5022},
      {{"/80", "/XYZ"}, true, 100, false, "", false, 0},  // passed over once a family is known
      {{"/80", "/SH"}, true, 800, false, "", false, 0},    // a later family replaces
      {{}, false, 0, false, "", false, 5026},
      {{"/U", "/J", "/QNJ", "/NW", "/VR"}, true, 600, false, "", false, 0},
      // an absolute path is a file, not a switch; its "/" become "\"
      {{"/Z80", "/tmp/p1/qqn80.qpj"}, true, 100, false, "\\TMP\\P1\\QQN80.QPJ", true, 0},
      {{"/"}, false, 0, false, "", false, 5022},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.args));
    set_reset_state();
    recorded_boxes().clear();
    SetTexts.Args = c.args;
    EXPECT_EQ(set_parse_switches(), c.ok);
    EXPECT_EQ(::Setup.cpu_family, c.family);
    EXPECT_EQ(::Setup.english_ui, c.english);
    EXPECT_EQ(SetTexts.CmdPrjPath, c.path);
    EXPECT_EQ(MainSt.AutoOption, c.auto_option);
    if (c.message) {
      ASSERT_EQ(recorded_boxes().size(), 1u);
      EXPECT_EQ(recorded_boxes()[0].text, message(c.message));
      EXPECT_EQ(recorded_boxes()[0].title, "RZ7SET");
      EXPECT_EQ(recorded_boxes()[0].style, kMsgError);
    } else {
      EXPECT_TRUE(recorded_boxes().empty());
    }
  }
  set_reset_state();
  SetTexts.Args = {"/QNJ", "/VR"};
  ASSERT_TRUE(set_parse_switches());
  EXPECT_TRUE(::Setup.j_edition);
  EXPECT_EQ(SetTexts.AppTitle, "QUENDAR-J SetupVR");
}

TEST_F(StartTest, LanguageFromTheEnvironment) {
  const struct {
    const char* lc_all;
    const char* lc_messages;
    const char* lang;
    bool english;
  } cases[] = {
      {nullptr, nullptr, "ja_JP.UTF-8", false},
      {nullptr, nullptr, "en_US.UTF-8", true},
      {nullptr, nullptr, nullptr, true},
      {"C", nullptr, "ja_JP.UTF-8", true},      // LC_ALL wins
      {"", "ja_JP.eucJP", "en_GB", false},      // an empty one counts as unset
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << (c.lc_all ? c.lc_all : "-") << " " << (c.lc_messages ? c.lc_messages : "-")
                                    << " " << (c.lang ? c.lang : "-"));
    const std::pair<const char*, const char*> vars[] = {
        {"LC_ALL", c.lc_all}, {"LC_MESSAGES", c.lc_messages}, {"LANG", c.lang}};
    for (const auto& [name, value] : vars) {
      if (value) {
        setenv(name, value, 1);
      } else {
        unsetenv(name);
      }
    }
    EXPECT_EQ(set_detect_platform(), c.english);
  }
  unsetenv("LC_ALL");
  unsetenv("LC_MESSAGES");
  unsetenv("LANG");
}

TEST_F(StartTest, PrescanAppliesTheLanguageSwitchesOnly) {
  ::Setup.english_ui = false;
  SetTexts.Args = {" /u ", "/80"};
  set_prescan_language();
  EXPECT_TRUE(::Setup.english_ui);
  EXPECT_EQ(::Setup.cpu_family, 0u);
  SetTexts.Args = {"/U", "/j"};
  set_prescan_language();
  EXPECT_FALSE(::Setup.english_ui);
}

TEST_F(StartTest, ResourceLookupShiftsByLanguageFamilyAndEdition) {
  const struct {
    bool english;
    bool j;
    CpuFamily family;
    u32 id;
    const char* utf8;
  } cases[] = {
      {false, false, 100, 14, "qqn80.qpj"},
      {false, false, 100, 10, "QUENDAR-RZ7 Setup80"},
      {false, false, 0, 14, ""},  // string 14 itself does not exist
      {true, false, 100, 5020, "Not exist file [%s]"},
      {false, false, 100, 5020, "ファイル[%s]がありません"},
      {true, true, 100, 5025, "QUENDAR-J Project(*.JPJ)|*.JPJ"},
      {false, true, 600, 14, "jqnVR.jpj"},
      {false, true, 600, 12, "monVR.asm"},  // no J string: the plain one
      {false, true, 100, 50, "*.JPJ"},
      {true, false, 100, 7009, "Stating option"},
      {false, false, 100, 7009, "起動オプション"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.id);
    ::Setup.english_ui = c.english;
    ::Setup.j_edition = c.j;
    ::Setup.cpu_family = c.family;
    EXPECT_EQ(set_res_string(c.id), host_utf8_to_cp932(c.utf8));
  }
}

TEST_F(StartTest, FamilyOptionsAfterSwitchesAndWithoutProject) {
  SetTexts.Args = {"/80"};
  ASSERT_TRUE(set_parse_switches());
  set_update_family_options();
  EXPECT_EQ(Opt.OptDlg.opt_text, " -SP -X  -B4096,64 -EC -TAB8");
  EXPECT_EQ(set_folder_part("D:\\WORK\\P1\\QQN80.QPJ"), "D:\\WORK\\P1");
  EXPECT_EQ(set_folder_part("D:QQN80.QPJ"), "D");
  EXPECT_EQ(set_folder_part("QQN80.QPJ"), "");
}

}  // namespace
