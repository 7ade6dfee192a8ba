// The engine's start-up as a user meets it: the shipped data files (made by
// the build into HALV80_DATA_DIR) in a scratch folder that is both the
// program's folder and the current folder, and the simulated emulator behind
// the driver seam. Error boxes are recorded instead of shown.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "halv80/engine/cmd_core.h"
#include "halv80/engine/cmd_switches.h"
#include "halv80/engine/emu_areas.h"
#include "halv80/engine/emu_startup.h"
#include "halv80/engine/run_state.h"
#include "halv80/engine/testing/scripted_window_side.h"
#include "halv80/engine/tests/emulator_fixture.h"
#include "platform/device/dev_driver.h"
#include "halv80/engine/tests/engine_fixture.h"
#include "halv80/symbols/sym_store.h"
#include "platform/host/host_ui.h"
#include "platform/host/tests/scratch_dir.h"

#ifndef HALV80_DATA_DIR
#error "HALV80_DATA_DIR names the folder of the built data files"
#endif

// Texts of the error boxes shown, and the answer each gets.
inline std::vector<std::string> StartupBoxes;
inline int StartupBoxAnswer = kBoxAnswerOk;

inline int record_startup_box(std::string_view, std::string_view text, unsigned) {
  StartupBoxes.emplace_back(text);
  return StartupBoxAnswer;
}

constexpr u32 kBoardPort = 0x300;

class StartupTest : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    StartupBoxes.clear();
    StartupBoxAnswer = kBoxAnswerOk;
    previous_sink_ = host_set_message_box_sink(record_startup_box);
    for (const char* name : {"qqn80.cfg", "MON80.QQN", "rz7_00.hwf"})
      std::filesystem::copy_file(std::filesystem::path(HALV80_DATA_DIR) / name, std::filesystem::path(dir_.path()) / name);
    previous_dir_ = std::filesystem::current_path();
    std::filesystem::current_path(dir_.path());
    // the driver's installation left its parameters in a registry of our own
    setenv("HALV80_REGISTRY_DIR", (dir_.path() + "/registry").c_str(), 1);
    ASSERT_TRUE(dev_install_driver_parameters(kBoardPort, 0));
    start_simulated_emulator(sim, board_, backend_);
    // Through the card's ports the board runs beside the host: no request
    // lets its time pass.
    if (backend_ == DevBackend::Direct || threaded_) sim->StartThread();
    place_program();
  }
  void TearDown() override {
    stop_simulated_emulator(sim);
    std::filesystem::current_path(previous_dir_);
    unsetenv("HALV80_REGISTRY_DIR");
    host_set_message_box_sink(previous_sink_);
    EngineTest::TearDown();
  }
  // The program's folder is the scratch folder (the engine's reset forgets it).
  void place_program() {
    const std::string folder = dir_.system_path();
    std::copy_n(folder.c_str(), std::min(folder.size() + 1, sizeof Sw.ProgramFolder - 1), Sw.ProgramFolder);
  }
  bool box_shown(std::string_view text) const {
    return std::any_of(StartupBoxes.begin(), StartupBoxes.end(),
                       [&](const std::string& box) { return box.find(text) != std::string::npos; });
  }

  DevFixture board_{};
  // The library's road to the board: HALV80_BACKEND, as the programs read it.
  DevBackend backend_ = dev_backend_from_environment();
  bool threaded_ = false;  // the board runs on its own thread with the driver too
  ScratchDir dir_;
  std::filesystem::path previous_dir_;
  std::unique_ptr<SimulatedDriver> sim;
  HostMessageBoxSink previous_sink_ = nullptr;
};

// Beside the host (the card's ports) a free run's stop may come after the
// command returned: empty keys until the engine has seen it. How many that
// takes is the host's timing; the deadline only ends a run that never stops.
inline void await_stop(ScriptedWindowSide& ws) {
  const auto give_up = std::chrono::steady_clock::now() + std::chrono::minutes(2);
  while (::Run.ExecutionState != kExecStopped && std::chrono::steady_clock::now() < give_up) ws.Type("");
  ASSERT_EQ(::Run.ExecutionState, kExecStopped);
}

// The booted target driven as a user would: the start-up run through the
// scripted window side, with an empty symbol database before and after.
class BootedSessionTest : public StartupTest {
 protected:
  void SetUp() override {
    StartupTest::SetUp();
    sym_init();
    Links.emulator_startup = emu_startup;
    ws_ = std::make_unique<ScriptedWindowSide>();
    ws_->Start();
    ASSERT_EQ(EmuArea.MonitorRunning, 1);
  }
  void TearDown() override {
    ws_.reset();
    sym_init();
    StartupTest::TearDown();
  }

  void await_stop() { ::await_stop(*ws_); }

  std::unique_ptr<ScriptedWindowSide> ws_;
};
