#include "rz7set/cfg_ioset.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "platform/host/host_registry.h"
#include "platform/owl/tests/owl_test_app.h"
#include "rz7set/set_ioset.h"
#include "rz7set/tests/set_test_env.h"

namespace {

constexpr const char* kUsersZ80 = ".Default\\Software\\QOR\\RZ7\\Z80";

class CfgTest : public SetupTest {
 protected:
  void SetUp() override {
    SetupTest::SetUp();
    ::Setup.cpu_family = 100;
    set_reg(kUsersZ80, "OPT", "first");
    MainSt.BinDir = dir.system_path() + "\\top\\bin";
  }
  static void set_reg(const std::string& key, const std::string& name, const std::string& text) {
    HostRegKey* k = nullptr;
    ASSERT_EQ(host_reg_create_key(HostRegRoot::Users, key, k), kHostRegOk);
    const std::string data = text + '\0';
    host_reg_set_value(k, name, kHostRegString, std::span<const u8>(reinterpret_cast<const u8*>(data.data()), data.size()));
    host_reg_close_key(k);
  }
  static std::string first_run_mark() {
    HostRegKey* k = nullptr;
    if (host_reg_open_key(HostRegRoot::Users, kUsersZ80, false, k) != kHostRegOk) return "<no key>";
    u8 buf[64];
    u32 type = 0, size = sizeof buf;
    const u32 rc = host_reg_query_value(k, "OPT", type, buf, size);
    host_reg_close_key(k);
    if (rc != kHostRegOk || size == 0) return "<none>";
    return std::string(reinterpret_cast<const char*>(buf), size - 1);
  }
  // The system path of a file below the scratch folder.
  std::string sys(std::string_view name) const {
    std::string p = dir.system_path() + "\\" + std::string(name);
    for (char& c : p)
      if (c == '/') c = '\\';
    return p;
  }
  // The journal's lines as the walk should have written them.
  std::string journal(std::initializer_list<std::pair<const char*, bool>> files) const {
    std::string out(kCfgJournalHeader);
    for (const auto& [name, changed] : files) {
      out += "\n" + sys(name);
      if (changed) out += kCfgJournalChange;
    }
    return out;
  }
};

TEST_F(CfgTest, ReplacePortLine) {
  const struct {
    const char* line;
    const char* value;
    const char* out;
  } cases[] = {
      {"PORT ADDRESS  320 ; ISA\r\n", "E0", "PORT ADDRESS  E0 ; ISA\r\n"},
      {"PORT ADDRESS 320;x y\r\n", "PC", "PORT ADDRESS PC y\r\n"},  // the token runs to the next blank
      {"; PORT ADDRESS 320\r\n", "PC", "; PORT ADDRESS 320\r\n"},   // only in a comment
      {"port address 320\r\n", "PC", "port address 320\r\n"},       // capitals only
      {"PORT ADDRESS 320", "PC", "PORT ADDRESS 320"},               // a last line without its end
      {"PORT ADDRESS\r\n", "E0", "PORT ADDRESSE0\r\n"},             // no blanks: right after the key
      {"PORT ADDRESS   \r\n", "E0", "PORT ADDRESS   E0\r\n"},       // the blanks stop at CR
      {"PORT ADDRESS\t\xA0" "320\r\n", "NT", "PORT ADDRESS\t\xA0NT\r\n"},  // high bytes skipped too
      {"XPORT ADDRESS 1 ; PORT ADDRESS 2\r\n", "NT", "XPORT ADDRESS NT ; PORT ADDRESS 2\r\n"},
      {"PORT ADDRESS 320\r\r\n", "NT", "PORT ADDRESS NT\r\r\n"},
      {"\r\n", "NT", "\r\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.line));
    std::string text = c.line;
    std::string line;
    ASSERT_TRUE(cfg_replace_port_line(text, c.value, line));
    EXPECT_EQ(line, c.out);
    EXPECT_TRUE(text.empty());
    EXPECT_FALSE(cfg_replace_port_line(text, c.value, line));
  }
  // Lines come off one at a time.
  std::string text = "A\r\nPORT ADDRESS 1\r\nB";
  std::string line, all;
  while (cfg_replace_port_line(text, "PCI", line)) all += line + "|";
  EXPECT_EQ(all, "A\r\n|PORT ADDRESS PCI\r\n|B|");
}

TEST_F(CfgTest, ConfigNames) {
  const struct {
    const char* path;
    bool config;
  } cases[] = {
      {"\\opt\\qn\\qqn80.cfg", true},  {"\\opt\\qn\\QQNDATA", true},   {"\\opt\\qn\\my.Cfg.bak", true},
      {"\\opt\\qn\\notes.txt", false}, {"\\QQN\\notes.txt", false},     // "QQN" counts in the name only
      {"\\opt\\qqn80\\readme", false}, {"qqnx", true},                 {"\\a\\b.cf", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    EXPECT_EQ(cfg_is_config_name(c.path), c.config);
  }
}

TEST_F(CfgTest, WalkTakesRegularFilesInOrderAndFollowsNoLink) {
  dir.write("top/b.txt", "x");
  dir.write("top/a.txt", "x");
  dir.write("top/sub2/z.cfg", "x");
  dir.write("top/sub1/deep/qqn80.cfg", "x");
  dir.write("top/sub1/y.txt", "x");
  dir.write("outside/secret.cfg", "PORT ADDRESS 1\r\n");
  std::filesystem::create_directory_symlink(dir.path() + "/outside", dir.path() + "/top/link");
  std::filesystem::create_symlink(dir.path() + "/outside/secret.cfg", dir.path() + "/top/l.cfg");
  ASSERT_EQ(mkfifo((dir.path() + "/top/pipe.cfg").c_str(), 0600), 0);

  ASSERT_TRUE(cfg_collect_files(sys("top"), "*"));
  const std::vector<std::string> expected = {sys("top/a.txt"), sys("top/b.txt"), sys("top/sub1/y.txt"),
                                             sys("top/sub1/deep/qqn80.cfg"), sys("top/sub2/z.cfg")};
  EXPECT_EQ(CfgWalk.CfgFileList, expected);

  // A walk never starts at the root.
  CfgWalk.CfgFileList.clear();
  EXPECT_FALSE(cfg_collect_files("", "*"));
  EXPECT_TRUE(CfgWalk.CfgFileList.empty());
  const struct {
    const char* bin;
    const char* top;
  } tops[] = {{"\\opt\\qn\\bin", "\\opt\\qn"}, {"\\bin", ""}, {"bin", ""}, {"", ""}, {"D:\\x", "D:"}};
  for (const auto& t : tops) EXPECT_EQ(cfg_top_folder(t.bin), t.top) << t.bin;
}

TEST_F(CfgTest, InterfaceReachesEveryConfigurationFileAndTheJournal) {
  dir.write("top/bin/qqn80.cfg", "; board\r\nPORT ADDRESS  320 ; ISA\r\nROM1 TYPE 27256\r\n");
  dir.write("top/bin/readme.txt", "PORT ADDRESS 320\r\n");         // the key, but no configuration file
  dir.write("top/p1/QQN80.CFG", "PORT ADDRESS 300\r\nPORT ADDRESS 1");  // the last line stays
  dir.write("top/p1/qqn80.qpj", "%OPT\r\n");
  dir.write("top/p2/old.cfg", "; PORT ADDRESS 320\r\n");          // key in a comment only
  dir.write("top/change.log", "older journal");

  EXPECT_TRUE(cfg_apply_interface("E0"));
  EXPECT_EQ(dir.read("top/bin/qqn80.cfg"), "; board\r\nPORT ADDRESS  E0 ; ISA\r\nROM1 TYPE 27256\r\n");
  EXPECT_EQ(dir.read("top/bin/readme.txt"), "PORT ADDRESS 320\r\n");
  EXPECT_EQ(dir.read("top/p1/QQN80.CFG"), "PORT ADDRESS E0\r\nPORT ADDRESS 1");
  EXPECT_EQ(dir.read("top/p2/old.cfg"), "; PORT ADDRESS 320\r\n");
  // change.log was listed before the new journal replaced it
  EXPECT_EQ(dir.read("top/change.log"), journal({{"top/change.log", false},
                                                 {"top/bin/qqn80.cfg", true},
                                                 {"top/bin/readme.txt", false},
                                                 {"top/p1/QQN80.CFG", true},
                                                 {"top/p1/qqn80.qpj", false},
                                                 {"top/p2/old.cfg", true}}));
  EXPECT_EQ(first_run_mark(), "none");
  EXPECT_TRUE(recorded_boxes().empty());
  EXPECT_EQ(CfgWalk.Journal, -1);  // closed
  EXPECT_TRUE(CfgWalk.CfgFileList.empty());
}

TEST_F(CfgTest, AFileThatCannotBeOpenedStopsTheWalk) {
  dir.write("top/a/qqn80.cfg", "PORT ADDRESS 320\r\n");
  dir.write("top/b/gone.cfg", "PORT ADDRESS 320\r\n");
  dir.write("top/c/qqn80.cfg", "PORT ADDRESS 320\r\n");
  ASSERT_TRUE(cfg_collect_files(sys("top"), "*"));
  std::filesystem::remove(dir.path() + "/top/b/gone.cfg");
  cfg_update_all("PCI");
  cfg_journal_close();
  EXPECT_EQ(dir.read("top/a/qqn80.cfg"), "PORT ADDRESS PCI\r\n");
  EXPECT_EQ(dir.read("top/c/qqn80.cfg"), "PORT ADDRESS 320\r\n");  // never visited
  EXPECT_EQ(dir.read("top/change.log"), journal({{"top/a/qqn80.cfg", true}}));
  EXPECT_TRUE(CfgWalk.CfgFileList.empty());
  EXPECT_TRUE(recorded_boxes().empty());
}

TEST_F(CfgTest, NoTopFolderRefusesAndKeepsTheFirstRun) {
  MainSt.BinDir = "";
  EXPECT_FALSE(cfg_apply_interface("NT"));
  EXPECT_EQ(box_texts(), std::vector<std::string>{message(5047)});
  EXPECT_EQ(first_run_mark(), "first");
}

TEST_F(CfgTest, KeyCutByAReadChunkIsFound) {
  // The key straddles the 64 KiB boundary of the search's reads.
  std::string text(65536 - 5, ';');
  text += "\r\nPORT ADDRESS 320\r\n";
  dir.write("top/qqnbig.cfg", text);
  EXPECT_TRUE(cfg_update_file(sys("top/qqnbig.cfg"), "PC"));
  EXPECT_EQ(dir.read("top/qqnbig.cfg"), std::string(65536 - 5, ';') + "\r\nPORT ADDRESS PC\r\n");
}

class IosetFormTest : public CfgTest {
 protected:
  void SetUp() override {
    owl_test_app();
    CfgTest::SetUp();
    dir.write("top/bin/qqn80.cfg", "PORT ADDRESS 320\r\n");
  }
  void TearDown() override {
    vcl::TForm::SetModalHook({});
    CfgTest::TearDown();
  }
};

TEST_F(IosetFormTest, BusTypesGiveTheirValues) {
  TIOset form;
  EXPECT_EQ(form.Caption(), message(7055));
  EXPECT_EQ(form.HostRG->ItemIndex(), 0);
  EXPECT_EQ(form.Eadr->Text(), "320");
  const struct {
    int item;
    const char* value;
    bool read_only;
  } cases[] = {{1, "E0", false}, {2, "PC", true}, {3, "PCI", true}, {0, "320", false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.item);
    form.HostRG->UserSelect(c.item);
    EXPECT_EQ(form.Eadr->Text(), c.value);
    EXPECT_EQ(form.Eadr->ReadOnly(), c.read_only);
  }
}

TEST_F(IosetFormTest, OkWritesTheValueAndCancelNothing) {
  ::Setup.english_ui = true;
  TIOset form;
  int readme_shown = 0;
  form.OnShowReadMe = [&] { ++readme_shown; };
  EXPECT_EQ(form.OKbtn->Caption(), "Change");
  vcl::TForm::SetModalHook([&](vcl::TForm&) { form.CANbtn->UserClick(); });
  EXPECT_EQ(form.ShowModal(), vcl::mrCancel);
  EXPECT_EQ(dir.read("top/bin/qqn80.cfg"), "PORT ADDRESS 320\r\n");
  EXPECT_FALSE(dir.exists("top/change.log"));
  EXPECT_EQ(first_run_mark(), "first");

  vcl::TForm::SetModalHook([&](vcl::TForm&) {
    form.HostRG->UserSelect(1);
    form.Eadr->UserText("D0");
    form.OKbtn->UserClick();
  });
  EXPECT_EQ(form.ShowModal(), vcl::mrOk);
  EXPECT_EQ(readme_shown, 2);  // beside the dialog at every showing
  EXPECT_EQ(dir.read("top/bin/qqn80.cfg"), "PORT ADDRESS D0\r\n");
  EXPECT_EQ(first_run_mark(), "none");
}

TEST_F(IosetFormTest, NetworkAddressAsTyped) {
  TNwset form;
  EXPECT_EQ(form.IPADRlab->Caption(), message(7063));
  EXPECT_EQ(form.IPadr->Text(), "");
  vcl::TForm::SetModalHook([&](vcl::TForm&) {
    form.IPadr->UserText("192.168.0.9");
    form.OkBTN->UserClick();
  });
  EXPECT_EQ(form.ShowModal(), vcl::mrOk);
  EXPECT_EQ(dir.read("top/bin/qqn80.cfg"), "PORT ADDRESS NET:192.168.0.9\r\n");
  EXPECT_EQ(dir.read("top/change.log"), journal({{"top/bin/qqn80.cfg", true}}));
  EXPECT_EQ(first_run_mark(), "none");
}

}  // namespace
