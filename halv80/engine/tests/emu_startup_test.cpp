// The whole start-up against the simulated emulator with the shipped data
// files: the boot to the monitor's prompt, every way it can fail reaching the
// user with its text, and INIT, RESET and %QOR as a user types them.
#include "halv80/engine/emu_startup.h"

#include <gtest/gtest.h>

#include <array>
#include <algorithm>
#include <filesystem>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "halv80/engine/cfg_config.h"
#include "halv80/engine/cmd_core.h"
#include "halv80/engine/emu_areas.h"
#include "halv80/engine/emu_boot.h"
#include "halv80/engine/emu_control.h"
#include "halv80/engine/emu_hardware.h"
#include "halv80/engine/emu_monitor.h"
#include "halv80/engine/lst_listing.h"
#include "halv80/engine/run_state.h"
#include "halv80/engine/sup_messages.h"
#include "halv80/engine/sup_host.h"
#include "halv80/engine/testing/scripted_window_side.h"
#include "halv80/engine/tests/screen_text.h"
#include "halv80/engine/tests/startup_fixture.h"
#include "halv80/symbols/sym_modules.h"
#include "halv80/symbols/sym_store.h"
#include "platform/host/host_registry.h"
#include "platform/device/dev_layout.h"
#include "rz7bios/rz7bios.h"

namespace {

// Start-up error n as the box shows it: without the leading line break.
std::string shown_text(u16 n) {
  std::string text = emu_startup_error_text(n);
  return text.substr(text.find_first_not_of("\n "));
}

constexpr std::array<u8, 3> kUserResetVector = {0x31, 0x00, 0x90};  // LD SP,9000H

TEST_F(StartupTest, BootsToTheMonitorAndGivesBackTheResetVector) {
  for (u32 i = 0; i < kUserResetVector.size(); ++i) sim->Board().EmuWrite(board_.lrom1.offset + i, kUserResetVector[i]);

  ASSERT_EQ(emu_startup_sequence(0), 0);
  EXPECT_TRUE(StartupBoxes.empty());
  EXPECT_EQ(Startup.Failed, 0);
  EXPECT_EQ(Startup.InProgress, 0);
  EXPECT_EQ(EmuArea.MonitorRunning, 1);
  EXPECT_EQ(::Run.Regs.sp, 0x8080);
  EXPECT_EQ(::Run.Regs.pc, 0);
  // what the hardware set-up measured
  EXPECT_EQ(EmuInfo.MemorySizeCode, board_.memory_size_code);
  EXPECT_EQ(::Run.TraceHwLevel, 1);  // the basic event and trace logic
  EXPECT_EQ(EmuInfo.Model, emu_model_number(1, board_.memory_size_code));
  // all three bytes of the user's reset vector are back
  for (u32 i = 0; i < kUserResetVector.size(); ++i)
    EXPECT_EQ(sim->Board().EmuRead(board_.lrom1.offset + i), kUserResetVector[i]) << i;
  // the monitor took its stack and answers
  emu_req_write_byte(0x9000, 0x5A);
  EXPECT_EQ(emu_req_read_byte(0x9000), 0x5A);
  EXPECT_EQ(Sup.StartupFailure, 0);
}

TEST_F(StartupTest, PortAndKindComeFromTheDriversParameters) {
  ASSERT_EQ(emu_startup_sequence(0), 0);
  EXPECT_EQ(Cfg.PortBase, kBoardPort);
  EXPECT_EQ(SupHost.BiosWork->get16<kWorkBasePort>(), kBoardPort);

  // "IF_type" as a text: the parameters can't be read
  HostRegKey* key = nullptr;
  ASSERT_EQ(host_reg_open_key(HostRegRoot::LocalMachine, kDevDriverParametersKey, true, key), kHostRegOk);
  const std::string text = "0";
  host_reg_set_value(key, kDevParamKind, kHostRegString,
                     std::span<const u8>(reinterpret_cast<const u8*>(text.c_str()), text.size() + 1));
  host_reg_close_key(key);
  stop_simulated_emulator(sim);
  reset_engine_state();
  start_simulated_emulator(sim, board_);
  place_program();
  EXPECT_EQ(emu_startup_sequence(0), kErrRegistry);
  EXPECT_TRUE(box_shown(shown_text(kErrRegistry)));
}

TEST_F(StartupTest, ModelNumbers) {
  EXPECT_EQ(emu_model_number(0, 0), 9);
  EXPECT_EQ(emu_model_number(0, 2), 11);
  EXPECT_EQ(emu_model_number(1, 5), 23);
  EXPECT_EQ(emu_model_number(2, 9), 34);  // the size code counts at most 6
}

TEST_F(StartupTest, EveryFailureReachesTheUserWithItsText) {
  const std::string cfg = dir_.read("qqn80.cfg");
  const std::string monitor = dir_.read("MON80.QQN");
  std::string low_monitor = monitor;
  low_monitor[3] = 0x40;  // code address 0x7F40: not a multiple of 128
  const struct {
    const char* what;
    const char* file;
    std::string bytes;  // empty: the file is taken away
    u16 error;
  } cases[] = {
      {"no configuration file", "qqn80.cfg", "", 1},
      {"a bad configuration line", "qqn80.cfg", cfg + "ROM3 TYPE 27256\r\n", 0},
      {"an unclosed comment block", "qqn80.cfg", cfg + "#{\r\nLROM1 ADDRESS 0\r\n", 0},
      {"no monitor file", "MON80.QQN", "", 12},
      {"a monitor code address off its block", "MON80.QQN", low_monitor, 5},
      {"a short monitor file", "MON80.QQN", monitor.substr(0, 20), 6},
      {"no logic configuration", "rz7_00.hwf", "", 20},
      {"a logic configuration without its mark", "rz7_00.hwf", "no end-of-text byte", 20},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    stop_simulated_emulator(sim);
    reset_engine_state();
    StartupBoxes.clear();
    start_simulated_emulator(sim, board_);
    place_program();
    for (const char* name : {"qqn80.cfg", "MON80.QQN", "rz7_00.hwf"})
      std::filesystem::copy_file(std::filesystem::path(HALV80_DATA_DIR) / name, std::filesystem::path(dir_.path()) / name,
                                 std::filesystem::copy_options::overwrite_existing);
    if (c.bytes.empty())
      std::filesystem::remove(std::filesystem::path(dir_.path()) / c.file);
    else
      dir_.write(c.file, c.bytes);

    EXPECT_EQ(emu_startup_sequence(0), c.error);
    EXPECT_EQ(Startup.Failed, 1);
    EXPECT_EQ(Sup.StartupFailure, 1);
    ASSERT_FALSE(StartupBoxes.empty());
    EXPECT_TRUE(box_shown(shown_text(c.error))) << StartupBoxes.back();
    if (std::string_view(c.file) == "rz7_00.hwf") {
      EXPECT_TRUE(box_shown(shown_text(kErrLogicConfigFile)));
    }
    EXPECT_EQ(EmuArea.MonitorRunning, 0);
  }
}

TEST_F(StartupTest, WindowSideReinitialisation) {
  ASSERT_EQ(emu_startup_sequence(0), 0);
  run_set_execution_state(kExecRunning);
  EmuArea.MonitorRunning = 0;
  sup_restart_emulator();
  EXPECT_EQ(::Run.ExecutionState, kExecStopped);
  EXPECT_EQ(EmuArea.MonitorRunning, 1);
  EXPECT_EQ(Sup.StartupFailure, 0);

  // a monitor that no longer answers: the failure is left for the window side,
  // which closes the frame or shows the error
  sim->SetMonitorHung(true);
  sup_restart_emulator();
  // the boot fails, or the monitor's silence raises the reply time-out's error
  EXPECT_TRUE(Sup.StartupFailure != 0 || Co.PendingError != 0);
  EXPECT_EQ(EmuArea.MonitorRunning, 0);
  // with a failure pending nothing is tried again
  sim->SetMonitorHung(false);
  const std::size_t boxes = StartupBoxes.size();
  sup_restart_emulator();
  EXPECT_EQ(EmuArea.MonitorRunning, 0);
  EXPECT_EQ(StartupBoxes.size(), boxes);
}

TEST_F(StartupTest, RomTypeLimitFollowsTheMeasuredMemory) {
  // Type 400 (512 KiB) fits the board's 512 KiB emulation memory, but only
  // once PORT ADDRESS has had the hardware measure it.
  const std::string after = "PORT ADDRESS 300\r\nROM1 TYPE 400\r\nLROM1 ADDRESS 0,7FFF\r\n";
  const std::string before = "ROM1 TYPE 400\r\nPORT ADDRESS 300\r\nLROM1 ADDRESS 0,7FFF\r\n";
  for (const std::string& text : {after, before}) {
    SCOPED_TRACE(text);
    stop_simulated_emulator(sim);
    reset_engine_state();
    StartupBoxes.clear();
    start_simulated_emulator(sim, board_);
    place_program();
    dir_.write("qqn80.cfg", text);
    const u16 n = emu_startup_sequence(0);
    if (text == after) {
      EXPECT_EQ(n, 0);
      EXPECT_EQ(EmuArea.Layout.rom1_type, 6);
    } else {
      EXPECT_EQ(Startup.Failed, 1);
      EXPECT_EQ(Startup.ConfigLine, "ROM1 TYPE 400");
    }
  }
}

// The engine started as the console program starts it.
class StartupCommandsTest : public StartupTest {
 protected:
  void TearDown() override {
    ws_.reset();
    StartupTest::TearDown();
  }
  ScriptedWindowSide& start() {
    Links.emulator_startup = emu_startup;
    ws_ = std::make_unique<ScriptedWindowSide>();
    ws_->Start();
    return *ws_;
  }
  std::string typed(std::string_view line) {
    return ws_->Typed(line);
  }
  bool box_posted(u16 error) const {
    const std::string text = emu_startup_error_text(error).substr(1);
    return std::any_of(ws_->boxes.begin(), ws_->boxes.end(),
                       [&](const auto& box) { return box.text.find(text) != std::string::npos; });
  }
  std::unique_ptr<ScriptedWindowSide> ws_;
};

TEST_F(StartupCommandsTest, StartUpBootsBeforeThePrompt) {
  start();
  EXPECT_TRUE(ws_->boxes.empty());
  EXPECT_TRUE(StartupBoxes.empty());
  EXPECT_EQ(EmuArea.MonitorRunning, 1);
  EXPECT_EQ(Startup.ConfigRead, 1);
  EXPECT_EQ(Sw.MnemonicSet, 1);  // the configured CPU is a Z80
}

TEST_F(StartupCommandsTest, HungMonitorEndsTheStartUp) {
  sim->SetMonitorHung(true);
  ScriptedWindowSide& ws = start();
  for (int pumps = 0; !ws.closing && pumps < 100; ++pumps) ws.Pump();
  EXPECT_TRUE(box_posted(kErrMonitorBoot) || box_posted(kErrMonitorNotRunning));
  EXPECT_EQ(ws.RequestsOf(RequestCode::Exit).size(), 1u);
  EXPECT_EQ(EmuArea.MonitorRunning, 0);
}

// Before the prompt the code pane lists the instructions from address 0, so
// that F3 (the source view) has a listing to switch from.
TEST_F(StartupCommandsTest, StartUpListsTheCodePaneInAssemblyMode) {
  start();
  EXPECT_EQ(Lst.ListingMode, kListingAssembly);
  EXPECT_EQ(Lst.PaneShows, kListingAssembly);
  const u16 top = lst_pane_top();
  EXPECT_EQ(Lst.RowKey[top], 0u);
  EXPECT_EQ(Lst.RowKind[top], kRowInstruction);
  EXPECT_EQ(screen_row_text(top).substr(0, 4), "0000");
  EXPECT_TRUE(ws_->boxes.empty());
  // a program with a source line at the PC: F3 shows it
  dir_.write("MAIN.C", "int main(void) { return 0; }\r\n");
  sym_init();
  lst_set_mode(kListingAssembly);  // the store's reset forgets the listing start-up made
  ASSERT_EQ(sym_begin_module("MAIN.C"), 0);
  ASSERT_EQ(sym_add_line(1, ::Run.Regs.pc), 0);
  ASSERT_EQ(sym_end_module(), 0);
  sym_finish_modules();
  ws_->Key(0, kKeyF1 + 2);  // F3
  EXPECT_EQ(Lst.ListingMode, kListingSource);
  EXPECT_EQ(Lst.PaneShows, kListingSource);
  sym_init();
}

TEST_F(StartupCommandsTest, InitBootsAgainWithoutReadingTheFileAgain) {
  start();
  // a file changed after start-up is not read again
  dir_.write("qqn80.cfg", "NO SUCH KEYWORD\r\n");
  sim->Board().EmuWrite(board_.lrom1.offset, 0x76);
  typed("INIT");
  EXPECT_TRUE(StartupBoxes.empty());
  EXPECT_EQ(EmuArea.MonitorRunning, 1);
  EXPECT_EQ(sim->Board().EmuRead(board_.lrom1.offset), 0x76);
  // RESET with the target stopped is INIT: the monitor is booted again
  EmuArea.MonitorRunning = 0;
  typed("RESET");
  EXPECT_EQ(EmuArea.MonitorRunning, 1);
  EXPECT_TRUE(StartupBoxes.empty());
}

// A load makes the loaded file's folder the current and the program's
// folder; INIT and RESET still find the board's data files where start-up
// found them.
TEST_F(StartupCommandsTest, InitFindsTheBoardFilesWhereStartUpFoundThem) {
  start();
  const std::filesystem::path elsewhere = std::filesystem::path(dir_.path()) / "program";
  std::filesystem::create_directory(elsewhere);
  std::filesystem::current_path(elsewhere);
  const std::string folder = dir_.system_path() + "\\program";
  std::snprintf(Sw.ProgramFolder, sizeof Sw.ProgramFolder, "%s", folder.c_str());
  for (const char* command : {"INIT", "RESET"}) {
    SCOPED_TRACE(command);
    EmuArea.MonitorRunning = 0;
    typed(command);
    EXPECT_TRUE(StartupBoxes.empty()) << StartupBoxes.front();
    EXPECT_TRUE(ws_->boxes.empty()) << ws_->boxes.front().text;
    EXPECT_EQ(Sup.StartupFailure, 0);
    EXPECT_EQ(EmuArea.MonitorRunning, 1);
  }
}

// Start-up (and so INIT) measures the cost of a go and stop with a run of
// the monitor's own code, and leaves no run counted; without a monitor
// nothing is run.
TEST_F(StartupCommandsTest, StartUpMeasuresTheRunOverhead) {
  start();
  EXPECT_NE(EmuCtl.RunOverhead, 0u);
  EXPECT_EQ(EmuCtl.RunCounter, 0);
  EXPECT_EQ(EmuCtl.LastRunTime, 0u);
  EXPECT_EQ(_Q_rtc0_rd(), 0u);
  const u32 measured = EmuCtl.RunOverhead;
  EmuCtl.RunOverhead = 0;
  typed("INIT");
  EXPECT_EQ(EmuCtl.RunOverhead, measured);
  EXPECT_EQ(::Run.Regs.pc, 0);  // the run left the register image as start-up set it
  EXPECT_EQ(::Run.Regs.sp, 0x8080);

  ws_.reset();
  stop_simulated_emulator(sim);
  reset_engine_state();
  start_simulated_emulator(sim, board_);
  place_program();
  Sw.NoMonitorMode = 1;
  sim->Board().EmuWrite(board_.lrom1.offset + 0x38, 0x76);
  ASSERT_EQ(emu_startup_sequence(0), 0);
  EXPECT_EQ(EmuCtl.RunOverhead, 0u);
  // no run: the break vector a run would have set is as it was
  EXPECT_EQ(sim->Board().EmuRead(board_.lrom1.offset + 0x38), 0x76);
}

TEST_F(StartupCommandsTest, SystemDebugMode) {
  start();
  EXPECT_EQ(typed("%QOR ON"), "%QOR ON\nSystem Debug Mode = ON\n>");
  EXPECT_EQ(EmuArea.SystemDebugMode, 1);
  EXPECT_EQ(typed("%qor off"), "%qor off\nSystem Debug Mode = OFF\n>");
  EXPECT_EQ(typed("%QOR"), "%QOR\nSystem Debug Mode = OFF\n>");
  EXPECT_EQ(typed("%QOR MAYBE"), "%QOR MAYBE" + sjis("\n コマンドのフォーマットが不正です") + "\n>");
  EXPECT_EQ(EmuArea.SystemDebugMode, 0);
  EXPECT_EQ(EmuArea.SystemDebugMode, 0);
}

TEST_F(StartupCommandsTest, ResetOfARunningTarget) {
  start();
  ::Run.TargetRun = 1;  // as after a go
  EXPECT_EQ(typed("RESET 1,X"), "RESET 1,X" + sjis("\n データ指定が誤りです") + "\n>");
  EXPECT_EQ(typed("RESET 1,5,7"), "RESET 1,5,7" + sjis("\n データ指定が誤りです") + "\n>");
  EmuArea.MonitorRunning = 0;
  typed("RESET");  // a pulse, not a new start-up
  EXPECT_EQ(EmuArea.MonitorRunning, 0);
}

}  // namespace
