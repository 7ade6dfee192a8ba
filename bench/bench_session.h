// The engine booted against the simulated emulator, for the benchmarks that
// type commands into it. The engine boots from the shipped data files in a
// scratch folder, as the end-to-end tests boot it; the board runs beside the
// host on its own thread at full speed and the engine reads the real tick
// clock, as the debugger runs them.
#pragma once

#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <string_view>
#include <system_error>

#include "halv80/engine/cmd_switches.h"
#include "halv80/engine/emu_startup.h"
#include "halv80/engine/engine_state.h"
#include "halv80/engine/testing/scripted_window_side.h"
#include "halv80/engine/testing/simulated_emulator.h"
#include "platform/device/dev_driver.h"
#include "platform/device/dev_sim_driver.h"
#include "platform/host/host_clock.h"
#include "platform/host/host_ui.h"
#include "platform/host/tests/scratch_dir.h"

#ifndef HALV80_DATA_DIR
#error "HALV80_DATA_DIR names the folder of the built data files"
#endif

// A booted engine with the simulated emulator behind the driver seam and the
// scripted window side in front, for one benchmark run. `error` is empty when
// the boot succeeded. Every piece of global state it changes (tick clock,
// message-box sink, current folder, registry folder, driver) goes back when
// it ends.
class BenchSession {
 public:
  static constexpr u32 kBoardPort = 0x300;

  BenchSession() {
    reset_engine_state();
    host_clock_use_real();
    boot_boxes_ = 0;
    previous_sink_ = host_set_message_box_sink(count_box);
    if (dir_.path().empty()) {
      error = "no scratch folder";
      return;
    }
    std::error_code ec;
    for (const char* name : {"qqn80.cfg", "MON80.QQN", "rz7_00.hwf"})
      if (!std::filesystem::copy_file(std::filesystem::path(HALV80_DATA_DIR) / name,
                                      std::filesystem::path(dir_.path()) / name, ec)) {
        error = std::string("cannot copy the data file ") + name;
        return;
      }
    previous_dir_ = std::filesystem::current_path();
    std::filesystem::current_path(dir_.path());
    // the driver's installation leaves its parameters in a registry of our own
    setenv("HALV80_REGISTRY_DIR", (dir_.path() + "/registry").c_str(), 1);
    if (!dev_install_driver_parameters(kBoardPort, 0)) {
      error = "cannot write the driver parameters";
      return;
    }
    if (!attach_simulated_emulator(sim_, DevFixture{})) {
      error = "no library work area";
      return;
    }
    // the board beside the host from the boot on, as the debugger starts it
    sim_->StartThread(DevPacing::FullSpeed);
    // the program's folder is the scratch folder (the engine's reset forgets it)
    const std::string folder = dir_.system_path();
    std::copy_n(folder.c_str(), std::min(folder.size() + 1, sizeof Sw.ProgramFolder - 1), Sw.ProgramFolder);
    if (emu_startup_sequence(0) != 0 || boot_boxes_ != 0) {
      error = "the emulator did not boot";
      return;
    }
    ws_ = std::make_unique<ScriptedWindowSide>();
    ws_->Start();
  }

  ~BenchSession() {
    ws_.reset();
    if (sim_) stop_simulated_emulator(sim_);
    if (!previous_dir_.empty()) std::filesystem::current_path(previous_dir_);
    unsetenv("HALV80_REGISTRY_DIR");
    host_set_message_box_sink(previous_sink_);
    reset_engine_state();
    host_clock_use_real();
  }
  BenchSession(const BenchSession&) = delete;
  BenchSession& operator=(const BenchSession&) = delete;

  // Types one command line and pumps, as the window side's timer would while
  // the command side only keeps the windows alive, until the engine waits for
  // the next key. The window side's records are dropped, so that a long run
  // does not grow them.
  void Type(std::string_view line) {
    ws_->Type(line);
    ws_->Settle();
    ws_->lines.clear();
    ws_->requests.clear();
    ws_->errors.clear();
    ws_->boxes.clear();
  }
  bool Ok() const { return error.empty() && !ws_->Exited(); }

  // The board's T-state count and target memory, read under the board's lock
  // (its thread may be running the CPU).
  u64 BoardTStates() {
    auto held = sim_->Hold();
    return sim_->Board().TStates();
  }
  void PeekTarget(u32 physical, std::span<u8> out) {
    auto held = sim_->Hold();
    for (std::size_t i = 0; i < out.size(); ++i) out[i] = sim_->Board().PeekTarget(u32(physical + i));
  }

  std::string error;

 private:
  // Boxes shown while the engine boots; a boot that shows one has failed.
  static inline int boot_boxes_ = 0;
  static int count_box(std::string_view, std::string_view, unsigned) {
    ++boot_boxes_;
    return kBoxAnswerOk;
  }

  ScratchDir dir_;
  std::filesystem::path previous_dir_;
  std::unique_ptr<SimulatedDriver> sim_;
  std::unique_ptr<ScriptedWindowSide> ws_;
  HostMessageBoxSink previous_sink_ = nullptr;
};
