// The window program against the simulated emulator, for tests that run it
// whole: the board's data files and the demo program in a scratch folder, the
// message boxes recorded, and the memo, command and code windows as the
// child windows.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <memory>

#include "halv80/engine/emu_startup.h"
#include "halv80/engine/engine_state.h"
#include "halv80/engine/testing/simulated_emulator.h"
#include "halv80/gui/app_main.h"
#include "halv80/gui/app_mdi.h"
#include "halv80/gui/tests/gui_app_run.h"
#include "halv80/gui/tests/gui_test_folder.h"
#include "halv80/gui/win_code.h"
#include "halv80/symbols/sym_state_file.h"
#include "platform/device/dev_driver.h"
#include "platform/owl/tests/owl_test_app.h"

class GuiBoardTest : public testing::Test {
 protected:
  void SetUp() override {
    owl_test_app();
    reset_engine_state();
    app_reset_state();
    frame_reset_state();
    Boxes.clear();
    Answers.clear();
    setenv("HALV80_LOCK_DIR", folder.dir().c_str(), 1);
    previous_sink_ = host_set_message_box_sink(record_box);
    TApplication::SetRunHook(run_body);
    for (const char* name : {"qqn80.cfg", "MON80.QQN", "rz7_00.hwf"})
      std::filesystem::copy_file(std::filesystem::path(HALV80_DATA_DIR) / name, folder.dir() / name);
    for (const char* name : {"demo.hex", "demo.sym"})
      std::filesystem::copy_file(std::filesystem::path(HALV80_TEST_PROGRAM_DIR) / "load" / name, folder.dir() / name);
    folder.Write("qqn80.qpj", project_text());
    setenv("HALV80_REGISTRY_DIR", (folder.dir() / "registry").c_str(), 1);
    ASSERT_TRUE(dev_install_driver_parameters(0x300, 0));
    dev_reset_system();
    sim_ = std::make_unique<SimulatedDriver>(DevFixture{});
    DevSys.driver = sim_.get();
    DevSys.service_running = true;
    Links.emulator_startup = emu_startup;
    sym_install_links();
    for (u16 i : {kChildMemo, kChildCommand, kChildCode, kChildCode1}) win_set_child_factory(i, make_code_window);
  }
  void TearDown() override {
    TApplication::SetRunHook(nullptr);
    host_set_message_box_sink(previous_sink_);
    for (u16 i = 0; i < kChildCount; ++i) win_set_child_factory(i, nullptr);
    co_end_command_side();
    _Q_if_init();
    _NT_close_driver();
    _NT_setbioswork(nullptr);
    dev_reset_system();
    sim_.reset();
    unsetenv("HALV80_REGISTRY_DIR");
    frame_reset_state();
    reset_engine_state();
  }

  ScratchFolder folder;
  HostMessageBoxSink previous_sink_ = nullptr;
  std::unique_ptr<SimulatedDriver> sim_;
};
