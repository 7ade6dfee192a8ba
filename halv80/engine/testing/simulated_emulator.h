// The simulated emulator behind the driver seam (or the card's ports), for
// the tests and the benchmarks that drive the engine against it: a simulated
// driver installed for a board, the engine's work area handed to the library,
// and both taken away again.
#pragma once

#include <memory>

#include "halv80/engine/sup_host.h"
#include "platform/device/dev_driver.h"
#include "platform/device/dev_ports.h"
#include "platform/device/dev_sim_driver.h"
#include "rz7bios/rz7bios.h"

// The card's port address in the shipped configuration.
constexpr u16 kSimulatedCardPort = 0x300;
// The card's ports while the direct back end is attached.
inline std::unique_ptr<DevBoardPorts> SimulatedCardPorts;

// Installs a simulated driver for board `f` and hands the engine's work area
// to the library; false when the library refused the area. With the direct
// back end the system reports the port platform and the same board answers
// the card's ports (the engine finds them at the configuration's address).
inline bool attach_simulated_emulator(std::unique_ptr<SimulatedDriver>& sim, const DevFixture& f,
                                      DevBackend backend = DevBackend::Driver) {
  dev_reset_system();
  SimulatedCardPorts.reset();
  sim = std::make_unique<SimulatedDriver>(f);
  DevSys.driver = sim.get();
  DevSys.service_running = true;
  if (backend == DevBackend::Direct) {
    SimulatedCardPorts = std::make_unique<DevBoardPorts>(*sim, kSimulatedCardPort);
    DevSys.platform = kPlatformWin9x;
    DevSys.ports = SimulatedCardPorts.get();
  }
  return sup_init_bios_work_area() == 0;
}

// Takes the driver away again; the library is handed no area before the
// engine's reset frees it.
inline void stop_simulated_emulator(std::unique_ptr<SimulatedDriver>& sim) {
  _Q_if_init();
  _NT_close_driver();
  dev_reset_system();
  _NT_setbioswork(nullptr);
  dev_reset_system();
  SimulatedCardPorts.reset();
  sim.reset();
}
