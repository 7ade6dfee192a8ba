// The simulated emulator in front of the engine, for the tests of the engine's
// emulator access: a simulated driver installed behind the seam, the engine's
// work area handed to the library, and the monitor booted through the
// engine's own wrappers, as start-up does.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <memory>
#include <vector>

#include "halv80/engine/emu_access.h"
#include "halv80/engine/emu_monitor.h"
#include "halv80/engine/sup_host.h"
#include "halv80/engine/testing/simulated_emulator.h"
#include "platform/device/dev_driver.h"
#include "platform/device/dev_monitor.h"
#include "platform/device/dev_monitor_image.h"
#include "platform/device/dev_sim_driver.h"
#include "rz7bios/rz7bios.h"

// Installs a simulated driver for board `f` (or its card's ports) and hands
// the engine's work area to the library.
inline void start_simulated_emulator(std::unique_ptr<SimulatedDriver>& sim, const DevFixture& f,
                                     DevBackend backend = DevBackend::Driver) {
  ASSERT_TRUE(attach_simulated_emulator(sim, f, backend));
}

// Writes the monitor image as start-up does (the break byte in the first
// chunk, the reset vector into the monitor), cold-starts the target and reads
// the monitor's hello. Returns the monitor file's header.
inline MonitorFileHeader boot_simulated_monitor(const DevFixture& f) {
  const std::vector<u8> file = dev_monitor_file(f);
  MonitorFileHeader header{};
  std::memcpy(&header, file.data(), sizeof header);
  std::vector<u8> logic(kDevLogicMagic.begin(), kDevLogicMagic.end());
  logic.resize(64, 0);
  EXPECT_EQ(_Q_flex_cfg(3, logic.data(), u16(logic.size())), 0u);
  _Q_init();
  for (std::size_t chunk = 0; chunk < kDevMonitorChunks; ++chunk) {
    std::array<u8, kDevMonitorBankSize> bytes;
    std::memcpy(bytes.data(), &file[kMonitorImageOffset + chunk * kDevMonitorBankSize], bytes.size());
    if (chunk == 0) bytes[header.position.get() & 63] = 0xFF;  // RST 38H as the break
    emu_mon_write_block_banked(chunk == 0 ? kMonitorTopBank : u16(chunk + 1), 0, bytes);
  }
  const u32 code = header.code_address.get();
  SupHost.BiosWork->set16<kWorkAreaKind>(kDevKindLrom1);
  emu_rom_write_block(f.lrom1.offset, std::vector<u8>{0xC3, u8(code), u8(code >> 8)});  // reset vector
  emu_mon_enable(1);
  emu_channel_reset();
  emu_req_cold_start();
  _Q_trg_rst(5, 0);
  for (int polls = 0; !emu_rschk() && polls < 800; ++polls) _Q_wait(10);
  EXPECT_EQ(_Q_getrs(), kMonitorHello);
  return header;
}
