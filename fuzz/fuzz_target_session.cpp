// Command lines typed into the whole engine with the simulated emulator
// booted behind it, as halv80c runs it: the commands that reach the target
// (runs, steps, breakpoints, memory, ports, the MMU) on a live board. One
// session lives for the whole fuzzing run, so an input starts where the last
// one left the target; each input's lines end with ESC typed after them.
#include <stdlib.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

#include "fuzz/null_stream.h"
#include "halv80/console/console_window_side.h"
#include "halv80/engine/cmd_core.h"
#include "halv80/engine/cmd_switches.h"
#include "halv80/engine/emu_startup.h"
#include "halv80/engine/engine_state.h"
#include "halv80/engine/sup_host.h"
#include "halv80/symbols/sym_state_file.h"
#include "platform/device/dev_driver.h"
#include "platform/device/dev_sim_driver.h"
#include "platform/host/host_input.h"
#include "platform/host/tests/scratch_dir.h"

#ifndef HALV80_DATA_DIR
#error "HALV80_DATA_DIR names the folder of the built data files"
#endif

namespace {

constexpr std::size_t kMaxLines = 8;
constexpr std::size_t kMaxLine = 200;

struct Session {
  NullStream out;
  // The board's files and the registry store, in one folder for the whole
  // process, removed at its exit; the folder is on PATH, where halv80c finds
  // the files.
  ScratchDir folder;
  std::unique_ptr<SimulatedDriver> emulator;
  std::unique_ptr<ConsoleWindowSide> window_side;

  Session() {
    const char* path = getenv("PATH");
    setenv("PATH", (folder.path() + ":" + (path ? path : "")).c_str(), 1);
    setenv("HALV80_REGISTRY_DIR", (folder.path() + "/registry").c_str(), 1);
  }

  // Boots the engine with the board's files as shipped and an empty registry
  // store: what a session before changed there is gone.
  void start() {
    const std::filesystem::path here = folder.path();
    for (const char* name : {"qqn80.cfg", "MON80.QQN", "rz7_00.hwf"})
      std::filesystem::copy_file(std::filesystem::path(HALV80_DATA_DIR) / name, here / name,
                                 std::filesystem::copy_options::overwrite_existing);
    std::error_code ec;
    std::filesystem::remove_all(here / "registry", ec);
    dev_install_driver_parameters(0x300, 0);
    dev_reset_system();
    emulator = std::make_unique<SimulatedDriver>(DevFixture{});
    // the board beside the engine, as halv80c runs it: its time is its own,
    // so a busy host does not make it slower
    emulator->StartThread();
    DevSys.driver = emulator.get();
    DevSys.service_running = true;
    reset_engine_state();
    std::snprintf(Sw.ProgramFolder, sizeof Sw.ProgramFolder, "%s", folder.system_path().c_str());
    sup_init_bios_work_area();
    Links.emulator_startup = emu_startup;
    sym_install_links();
    window_side = std::make_unique<ConsoleWindowSide>(out);
    window_side->Start(" ");
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static Session session;
  if (!session.window_side) session.start();
  std::string_view rest(reinterpret_cast<const char*>(data), size);
  for (std::size_t lines = 0; !rest.empty() && lines < kMaxLines; ++lines) {
    const std::size_t end = rest.find('\n');
    const std::string line(rest.substr(0, std::min({end, rest.size(), kMaxLine})));
    rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
    // a command still busy after its line gets ESC; EXIT or a failed
    // start-up ends the session: a new one boots
    session.window_side->Run(*HostInput::FromText(line + "\n"));
    if (session.window_side->Closed()) {
      session.window_side->Finish();
      session.window_side.reset();
      session.start();
    }
  }
  session.window_side->Run(*HostInput::FromText("ESC\n"));
  return 0;
}
