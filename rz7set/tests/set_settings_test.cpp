#include "rz7set/set_settings.h"

#include <gtest/gtest.h>

#include "platform/host/host_registry.h"
#include "rz7set/tests/set_test_env.h"

namespace {

class SettingsTest : public SetupTest {
 protected:
  static void put(HostRegRoot root, const std::string& key, const std::string& name, const std::string& text) {
    HostRegKey* k = nullptr;
    ASSERT_EQ(host_reg_create_key(root, key, k), kHostRegOk);
    std::string data = text + '\0';
    host_reg_set_value(k, name, kHostRegString, std::span<const u8>(reinterpret_cast<const u8*>(data.data()), data.size()));
    host_reg_close_key(k);
  }
  // The text of a value, or "<none>".
  static std::string get(HostRegRoot root, const std::string& key, const std::string& name) {
    HostRegKey* k = nullptr;
    if (host_reg_open_key(root, key, false, k) != kHostRegOk) return "<no key>";
    std::array<u8, 512> buf{};
    u32 type = 0, size = 0;
    const u32 rc = host_reg_query_value(k, name, type, buf, size);
    host_reg_close_key(k);
    if (rc != kHostRegOk) return "<none>";
    return std::string(reinterpret_cast<const char*>(buf.data()), size);
  }
  static constexpr const char* kUsersZ80 = ".Default\\Software\\QOR\\RZ7\\Z80";
  static constexpr const char* kUserZ80 = "Software\\QOR\\RZ7\\Z80";
};

TEST_F(SettingsTest, WithoutKeysTheDefaultsStand) {
  ::Setup.cpu_family = 100;
  ::Setup.windows_nt = true;
  EXPECT_TRUE(set_read_settings());
  EXPECT_EQ(MainSt.EditorName, "notepad.exe");
  EXPECT_EQ(MainSt.EditorFmt, "%s %s\\%s");
  EXPECT_EQ(MainSt.BinDir, "");
  EXPECT_EQ(MainSt.DefPrjDir, "");
  EXPECT_EQ(MainSt.HelpFile, "RZ7SET.HLP");
  EXPECT_EQ(SetTexts.AppTitle, "QUENDAR-RZ7 Setup80");
  EXPECT_EQ(SetTexts.PrjCpuValue, "(80)");
  EXPECT_EQ(MainSt.CpuFiles[5], "wqqn80.exe");
}

TEST_F(SettingsTest, ReadsBothHivesTheUsersLast) {
  put(HostRegRoot::Users, ".Default\\Software\\QOR\\RZ7", "Editor", "vi");
  put(HostRegRoot::Users, ".Default\\Software\\QOR\\RZ7", "editor format", "ignored %s");  // exact names only
  put(HostRegRoot::Users, kUsersZ80, "Bin", "\\opt\\qn");
  put(HostRegRoot::Users, kUsersZ80, "PRJ", "\\work");
  put(HostRegRoot::Users, kUsersZ80, "OPT", "first");
  put(HostRegRoot::Users, kUsersZ80, "Opn", "\\old");
  put(HostRegRoot::CurrentUser, "Software\\QOR\\RZ7", "Editor", "");  // empty: the editor stays
  put(HostRegRoot::CurrentUser, kUserZ80, "OPN", "\\newer");
  ::Setup.cpu_family = 100;
  ::Setup.windows_nt = true;
  set_read_settings();
  EXPECT_EQ(MainSt.EditorName, "vi");
  EXPECT_EQ(MainSt.EditorFmt, "%s %s\\%s");
  EXPECT_EQ(MainSt.BinDir, "\\opt\\qn");
  EXPECT_EQ(MainSt.DefPrjDir, "\\work");
  EXPECT_EQ(MainSt.OptMark, "first");
  EXPECT_EQ(MainSt.OpnDir, "\\newer");
  EXPECT_EQ(MainSt.HelpFile, "\\opt\\qn\\RZ7SET.HLP");
}

TEST_F(SettingsTest, AValueBeyondTheBuffersEndsTheKey) {
  put(HostRegRoot::Users, kUsersZ80, "BIN", "\\a");
  put(HostRegRoot::Users, kUsersZ80, std::string(32, 'N'), "x");  // name of 32: no room for its zero
  put(HostRegRoot::Users, kUsersZ80, "PRJ", "\\b");
  ::Setup.cpu_family = 100;
  set_read_settings();
  EXPECT_EQ(MainSt.BinDir, "\\a");
  EXPECT_EQ(MainSt.DefPrjDir, "");
}

TEST_F(SettingsTest, WritesEditorOpnAndTheFirstRunMark) {
  put(HostRegRoot::Users, kUsersZ80, "OPT", "first");
  put(HostRegRoot::Users, ".Default\\Software\\QOR\\RZ7", "Editor", "vi");
  ::Setup.cpu_family = 100;
  ::Setup.windows_nt = true;
  set_mark_first_run_done();
  EXPECT_EQ(get(HostRegRoot::Users, kUsersZ80, "OPT"), std::string("none") + '\0');
  EXPECT_EQ(get(HostRegRoot::CurrentUser, kUserZ80, "OPT"), std::string("none") + '\0');  // key created

  MainSt.EditorName = "notepad.exe";
  MainSt.OpnDir = "\\p1";
  set_write_settings();
  EXPECT_EQ(get(HostRegRoot::Users, ".Default\\Software\\QOR\\RZ7", "Editor"), "<none>");
  EXPECT_EQ(get(HostRegRoot::Users, kUsersZ80, "Opn"), std::string("\\p1") + '\0');
  EXPECT_EQ(get(HostRegRoot::CurrentUser, kUserZ80, "OPN"), std::string("\\p1") + '\0');

  MainSt.EditorName = "emacs";
  set_write_settings();
  EXPECT_EQ(get(HostRegRoot::CurrentUser, "Software\\QOR\\RZ7", "Editor"), std::string("emacs") + '\0');

  // A family read again finds "Opn" as OPN.
  MainSt.OpnDir.clear();
  set_read_settings();
  EXPECT_EQ(MainSt.OpnDir, "\\p1");
}

}  // namespace
