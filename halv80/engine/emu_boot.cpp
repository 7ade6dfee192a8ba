// Monitor boot: header check, image writing and the boot loop. The file is
// read through sup_file_*; monitor memory is written through the access
// wrappers, the channel through the request layer.
#include "halv80/engine/emu_boot.h"

#include <array>
#include <cstring>
#include <span>

#include "halv80/engine/cfg_config.h"
#include "halv80/engine/cmd_switches.h"
#include "halv80/engine/emu_access.h"
#include "halv80/engine/emu_areas.h"
#include "halv80/engine/emu_monitor.h"
#include "halv80/engine/emu_startup.h"
#include "halv80/engine/sup_host.h"
#include "halv80/engine/sup_messages.h"
#include "rz7bios/rz7bios.h"

constinit EmuBootState EmuBoot;

namespace {

constexpr int kSeekSet = 0;
constexpr u16 kResetKindBoot = 5;   // reset pulse that starts the target at its reset vector

// Writes `data` at monitor-area `offset` and reads it back. False when the
// bytes did not arrive (no work area, no window, or a fault of the card).
bool write_verified(u32 offset, std::span<const u8> data) {
  emu_mon_write_block(offset, data);
  std::array<u8, kMonitorChunk> back{};
  const auto got = std::span<u8>(back).first(data.size());
  emu_mon_read_block(offset, got);
  return std::memcmp(got.data(), data.data(), data.size()) == 0;
}

}  // namespace

void emu_boot_reset() { EmuBoot = EmuBootState{}; }

u16 emu_check_monitor_header(int handle) {
  MonitorFileHeader h{};
  std::array<u8, sizeof h> raw{};
  const i32 got = sup_file_read(handle, raw.data(), u32(raw.size()));
  // short file, read failure, or a format this reader does not know?
  if (got != i32(raw.size())) return kErrMonitorFile;
  std::memcpy(&h, raw.data(), sizeof h);
  if (h.format != kMonitorFileFormat) return kErrMonitorFile;
  // fields the boot acts on: a CPU it knows, a handshake it can undo, and an
  // NMI slot whose jump fits in the monitor area
  if (h.cpu_family > kCpuR800 || h.handshake_mode > kHandshakeModeMax ||
      u32(h.nmi_slot.get()) + 3 > emu_mon_area_size())
    return kErrMonitorFile;
  if (Cfg.BankModeGiven == 0)
    Cfg.CpuType = h.cpu_family;
  else if (Cfg.CpuType != h.cpu_family)
    return kErrMonitorCpu;
  const u32 code = h.code_address.get();
  EmuArea.Layout.monitor_code_address = code;
  EmuBoot.NmiSlot = h.nmi_slot.get();
  EmuBoot.NmiEntry = h.nmi_entry.get();
  EmuBoot.BreakEntry = h.break_entry.get();
  EmuArea.HandshakeMode = h.handshake_mode;
  const RomLayout& l = EmuArea.Layout;
  // The whole 128-byte block must lie in LROM1; an undefined LROM1 (all ones)
  // has no room for it.
  if (code == 0 || code % kMonitorBlockSize != 0 || code < l.lrom1_start ||
      u64(code) + (kMonitorBlockSize - 1) > l.lrom1_end)
    return kErrMonitorCodeAddress;
  EmuBoot.Position = h.position.get();
  if (sup_file_seek(handle, 0, kSeekSet) != 0) return kErrMonitorFile;
  return 0;
}

u16 emu_write_monitor_image(int handle) {
  std::array<u8, kMonitorChunk> chunk{};
  // The first chunk always goes whole: bytes the file lacks stay 0, and the
  // break byte has its place whatever the file holds.
  if (sup_file_seek(handle, i32(kMonitorImageOffset), kSeekSet) != i32(kMonitorImageOffset))
    return kErrHardware;
  const i32 first = sup_file_read(handle, chunk.data(), u32(chunk.size()));
  chunk[EmuBoot.Position & (kMonitorChunk - 1)] = Cfg.BreakOpcode;
  if (!write_verified(kMonitorFirstChunkAt, chunk)) return kErrHardware;
  // a short first chunk: the file ends inside it
  if (first == i32(chunk.size())) {
    for (u32 at = kMonitorRestAt; at < kMonitorFirstChunkAt; at += kMonitorChunk) {
      const i32 n = sup_file_read(handle, chunk.data(), u32(chunk.size()));
      if (n <= 0) break;
      if (!write_verified(at, std::span<const u8>(chunk).first(std::size_t(n)))) return kErrHardware;
      if (n < i32(chunk.size())) break;  // the last, short chunk
    }
  }
  if (Cfg.NmiAddress != kNoNmiAddress) {
    const std::array<u8, 3> jump = {kOpcodeJp, u8(Cfg.NmiAddress), u8(Cfg.NmiAddress >> 8)};
    if (!write_verified(EmuBoot.NmiSlot, jump)) return kErrHardware;
  }
  return 0;
}

u16 emu_boot_poll() { return emu_req_handshake(); }

u16 emu_boot_loop(u16 mode) {
  emu_channel_reset();
  emu_req_cold_start();
  _Q_trg_rst(kResetKindBoot, 0);
  for (u32 poll = 0; poll < kBootPolls; ++poll) {
    _Q_wait(kBootPollMs);
    const u16 result = emu_boot_poll();
    if (result == kHandshakeDone || Sw.NoMonitorMode != 0) return 0;
    if (result >= kHandshakeTimedOut) {
      emu_startup_error(kErrMonitorBoot, mode);
      return kErrMonitorBoot;
    }
  }
  emu_startup_error(kErrMonitorNotRunning, mode);
  return kErrMonitorNotRunning;
}

u16 emu_boot_monitor(u16 mode) {
  for (;;) {
    const u16 err = emu_boot_loop(mode);
    // An error that offers no retry, or quit chosen? Going on clears the
    // failure word.
    if (err != kErrMonitorNotRunning || Sup.StartupFailure != 0) return err;
    // the user waited: perhaps the target has run into the monitor by now
    if (emu_boot_poll() == kHandshakeDone) {
      Startup.Failed = 0;
      return 0;
    }
  }
}
