// app_main: the program folder, the single-instance lock, the -D and @ options,
// StartupArgs and the response file, and the main window it builds.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "halv80/engine/cmd_core.h"
#include "halv80/engine/cmd_switches.h"
#include "halv80/engine/engine_state.h"
#include "halv80/gui/app_main.h"
#include "halv80/gui/app_mdi.h"
#include "halv80/gui/testing/scripted_command_side.h"
#include "platform/host/host_text.h"
#include "platform/host/host_ui.h"
#include "platform/owl/owl_system.h"
#include "platform/owl/tests/owl_test_app.h"

namespace fs = std::filesystem;

namespace {

struct Box {
  std::string title;  // UTF-8
  std::string text;   // UTF-8
  unsigned style;
  friend bool operator==(const Box&, const Box&) = default;
};
std::ostream& operator<<(std::ostream& os, const Box& b) { return os << "[" << b.title << "] " << b.text; }

std::vector<Box> Boxes;
int record_box(std::string_view title, std::string_view text, unsigned style) {
  Boxes.push_back({host_cp932_to_utf8(title), host_cp932_to_utf8(text), style});
  return kBoxAnswerOk;
}

// What the run hook saw of the application once its main window was up.
struct Seen {
  int runs = 0;
  std::string caption;
  bool bar_shown[2]{};
  bool bar_vertical[2]{};
  bool status_shown = false;
  u32 hint_mode = 0;
  u32 open_flags = 0;
  bool frame_is_main = false;
  bool menu_dialogs = false;  // the Load and tool-bar dialogs are hooked in
};
Seen Saw;

int record_run(TApplication& app) {
  auto& mdi = dynamic_cast<TMDIApp&>(app);
  ++Saw.runs;
  Saw.caption = mdi.frame->GetCaption();
  for (int i = 0; i < 2; ++i) {
    Saw.bar_shown[i] = mdi.bars[i]->IsWindowVisible();
    Saw.bar_vertical[i] = mdi.bars[i]->Vertical();
  }
  Saw.status_shown = App.StatusBar && App.StatusBar->IsWindowVisible();
  Saw.hint_mode = mdi.hintMode;
  Saw.open_flags = mdi.openFileData.flags;
  Saw.menu_dialogs = AppDialogs.loadDialog != nullptr && AppDialogs.toolBarDialog != nullptr;
  Saw.frame_is_main = app.GetMainWindow() == mdi.frame && mdi.frame->GetClientWindow() == mdi.client;
  return 0;
}

constexpr const char* kProgram = "\\opt\\halv80\\bin\\halv80";

class AppMainTest : public testing::Test {
 protected:
  void SetUp() override {
    owl_test_app();
    reset_engine_state();
    app_reset_state();
    frame_reset_state();
    Boxes.clear();
    Saw = Seen{};
    previous_dir = fs::current_path();
    char pattern[] = "/tmp/app_main_XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir = pattern;
    fs::create_directory(dir / "sub");
    fs::create_directory(dir / "my dir");
    // a project file without layout or options wherever -D may lead
    for (const fs::path& d : {dir, dir / "sub", dir / "my dir"})
      std::ofstream(d / "qqn80.qpj", std::ios::binary) << "%OPT\r\n%END\r\n\x1A";
    fs::current_path(dir);
    // the frame starts a scripted command side that waits for keys at once
    FrameStartHooks = FrameHooks{gui_scripted_main, [] { return u16(0); }};
    gui_set_script({ScriptStep::WaitKey()});
    setenv("HALV80_LOCK_DIR", dir.c_str(), 1);
    previous_sink = host_set_message_box_sink(record_box);
    TApplication::SetRunHook(record_run);
  }
  void TearDown() override {
    AppDialogs = AppDialogHooks{};
    TApplication::SetRunHook(nullptr);
    FrameStartHooks = FrameHooks{};
    frame_reset_state();
    host_set_message_box_sink(previous_sink);
    owl_release_lock(kInstanceName);
    fs::current_path(previous_dir);
    fs::remove_all(dir);
    reset_engine_state();
  }

  int Run(std::vector<std::string> args, const char* program = kProgram) {
    args.insert(args.begin(), program);
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    return app_main(int(args.size()), argv.data());
  }
  void WriteFile(const std::string& name, const std::string& bytes) {
    std::ofstream(dir / name, std::ios::binary) << bytes;
  }

  fs::path dir;
  fs::path previous_dir;
  HostMessageBoxSink previous_sink = nullptr;
};

TEST_F(AppMainTest, OptionsAreTakenOffTheUpperCasedCommandLine) {
  WriteFile("resp.txt", "ab\r\ncd\nef\x1a");
  WriteFile("a.rsp", "first");
  const struct {
    const char* what;
    std::vector<std::string> args;
    std::string startup;  // StartupArgs afterwards
    std::string folder;   // the current folder afterwards, under the test's
  } cases[] = {
      {"no arguments", {}, "", ""},
      {"lower-case -d", {"-dsub", "x"}, "       X ", "sub"},
      {"quoted -D value", {"-D\"sub\"", "y"}, "         Y ", "sub"},
      {"an element with a blank is quoted", {"-D\"my dir\""}, " \"          \" ", "my dir"},
      {"unquoted value ends at a double-byte character", {"-Dsub\x82\xa0rest"}, "      \x82\xa0REST ", "sub"},
      {"-D then a blank changes nothing", {"-D", "x"}, "    X ", ""},
      {"-D of a missing folder is ignored", {"-Dnone", "x"}, "        X ", ""},
      {"only the first -D", {"-Dsub", "-Dnone"}, "       -DNONE ", "sub"},
      {"response file", {"@resp.txt", "z"}, "           Z ab  cd\nef ", ""},
      {"only the first @", {"@a.rsp", "@b.rsp"}, "        @B.RSP first ", ""},
      {"quoted @ value", {"@\"a.rsp\""}, "          first ", ""},
      {"a trail byte 0x40 is no @", {"\x81\x40x"}, " \x81\x40X ", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    fs::current_path(dir);
    std::strcpy(Cmd.StartupArgs, "left over");
    Saw = Seen{};
    EXPECT_EQ(Run(c.args), 0);
    EXPECT_EQ(std::string(Cmd.StartupArgs), c.startup);
    EXPECT_EQ(fs::current_path(), c.folder.empty() ? dir : dir / c.folder);
    EXPECT_EQ(Saw.runs, 1);
    EXPECT_TRUE(Boxes.empty());
    Boxes.clear();
    owl_release_lock(kInstanceName);
  }
}

TEST_F(AppMainTest, AQuoteWithoutItsCloseIsAnOptionError) {
  const struct {
    std::vector<std::string> args;
    const char* box_text;
  } cases[] = {
      {{"-D\"sub", "y"}, "-D\"SUB Y"},
      {{"x", "@\"a.rsp"}, "X @\"A.RSP"},
      {{"-dsub", "@\"a"}, "-DSUB @\"A"},  // -D was taken already
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.box_text);
    Boxes.clear();
    EXPECT_EQ(Run(c.args), -1);
    EXPECT_EQ(Boxes, (std::vector<Box>{{"OPTION ERROR", c.box_text, MB_ICONSTOP | MB_TASKMODAL}}));
    EXPECT_EQ(Saw.runs, 0);
    owl_release_lock(kInstanceName);
  }
}

TEST_F(AppMainTest, ResponseFilesCountOnlyTheLow16BitsOfTheirLength) {
  const struct {
    std::size_t size;
    std::string tail;  // last bytes of the file
    std::size_t kept;  // bytes of the file in StartupArgs
  } cases[] = {
      {65536, "", 0},
      {70000, "", 70000 - 65536},
      {10, "\x1a", 9},             // a closing Ctrl-Z is dropped
      {10, "\x1a" "a\x1a", 9},     // only the last byte
      {0, "", 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.size);
    std::string bytes(c.size - std::min(c.size, c.tail.size()), 'x');
    bytes += c.tail;
    WriteFile("big.rsp", bytes);
    EXPECT_EQ(Run({"@big.rsp"}), 0);
    EXPECT_EQ(std::string(Cmd.StartupArgs), "          " + bytes.substr(0, c.kept) + " ");
    owl_release_lock(kInstanceName);
  }
}

TEST_F(AppMainTest, AnUnreadableResponseFileIsReportedAndStartUpGoesOn) {
  EXPECT_EQ(Run({"@none.rsp", "q"}), 0);
  EXPECT_EQ(Boxes, (std::vector<Box>{{"QUENDAR ERROR", "Can't Open NONE.RSP", MB_ICONSTOP | MB_TASKMODAL}}));
  EXPECT_EQ(std::string(Cmd.StartupArgs), "           Q ");
  EXPECT_EQ(Saw.runs, 1);
}

TEST_F(AppMainTest, StartupArgsKeepWhatFits) {
  WriteFile("long.rsp", std::string(9000, 'r'));
  EXPECT_EQ(Run({"@long.rsp"}), 0);
  const std::string args = Cmd.StartupArgs;
  EXPECT_EQ(args.size(), kStartupArgsSize - 1);
  EXPECT_EQ(args.substr(0, 11), "           ");
}

TEST_F(AppMainTest, TheProgramFolderEndsAtTheLastSeparator) {
  const struct {
    const char* program;
    const char* folder;
  } cases[] = {
      {"\\opt\\halv80\\halv80", "\\opt\\halv80\\"},
      {"C:halv80", "C:"},
      {"/usr/bin/halv80", "/usr/bin/"},
      {"halv80", ""},
      {"\\a\\\x95\x5cprog", "\\a\\"},  // 0x95 0x5C is one character
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.program);
    EXPECT_EQ(Run({}, c.program), 0);
    EXPECT_STREQ(Sw.ProgramFolder, c.folder);
    owl_release_lock(kInstanceName);
  }
}

TEST_F(AppMainTest, ASecondInstanceIsRefused) {
  ASSERT_EQ(owl_create_lock(kInstanceName), OwlLock::Created);  // the first instance
  std::strcpy(Cmd.StartupArgs, "untouched");
  EXPECT_EQ(Run({"-dsub", "x"}), -1);
  EXPECT_EQ(Boxes, (std::vector<Box>{{"QUENDAR ERROR", "すでにQUENDARが起動しています", MB_ICONSTOP | MB_TASKMODAL}}));
  EXPECT_EQ(Saw.runs, 0);
  EXPECT_STREQ(Cmd.StartupArgs, "untouched");
  EXPECT_EQ(fs::current_path(), dir);
  // the refused start leaves the first instance's lock alone
  EXPECT_EQ(owl_create_lock(kInstanceName), OwlLock::Exists);
}

TEST_F(AppMainTest, TheInstanceHoldsItsLockOnceStarted) {
  EXPECT_EQ(Run({}), 0);
  EXPECT_EQ(owl_create_lock(kInstanceName), OwlLock::Exists);
}

TEST_F(AppMainTest, TheMainWindowFollowsTheBarFlags) {
  const struct {
    u8 flags;
    u8 status;
    bool shown[2];
    bool vertical[2];
  } cases[] = {
      {0x00, 0, {false, false}, {false, false}},  // no layout entry: everything hidden
      {0x05, 1, {true, true}, {false, false}},
      {0x0B, 0, {true, false}, {true, true}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(int(c.flags));
    App.ToolBarFlags = c.flags;
    App.StatusBarShown = c.status;
    EXPECT_EQ(Run({}), 0);
    EXPECT_EQ(host_cp932_to_utf8(Saw.caption), "QUENDAR-RZ7(80)/W32");
    EXPECT_TRUE(Saw.frame_is_main);
    for (int i = 0; i < 2; ++i) {
      EXPECT_EQ(Saw.bar_shown[i], c.shown[i]) << i;
      EXPECT_EQ(Saw.bar_vertical[i], c.vertical[i]) << i;
    }
    EXPECT_EQ(Saw.status_shown, c.status != 0);
    EXPECT_EQ(Saw.hint_mode, 2u);
    EXPECT_EQ(Saw.open_flags, OFN_FILEMUSTEXIST | OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT | OFN_SHOWHELP);
    EXPECT_TRUE(Saw.menu_dialogs);
    owl_release_lock(kInstanceName);
  }
}

}  // namespace
