// The description of one simulated emulator board: how much emulation memory it
// carries, where its ROM areas sit in the target's address space, where the
// monitor lives, the target's clock and the board's identity. The default is the
// board that the shipped configuration file describes; tests build their own.
#pragma once

#include "platform/host/host_types.h"

// One emulated ROM area. Absent when start > end.
struct DevRomArea {
  u32 start = 0xFFFFFFFF;  // first target (physical) address
  u32 end = 0;             // last target address, inclusive
  u32 offset = 0;          // emulation-memory position of `start`

  constexpr bool present() const { return start <= end; }
  constexpr bool contains(u32 address) const { return present() && address >= start && address <= end; }
};

constexpr u32 kDevEmuUnit = 128 * 1024;     // emulation memory of size code 0
constexpr u8 kDevMaxMemorySizeCode = 5;     // 128 KiB << 5 = 4 MiB
constexpr u32 kDevTargetSpace = 0x100000;   // 20-bit physical address space of the target
constexpr u32 kDevMonitorBlock = 128;       // the monitor area at the monitor code address

struct DevFixture {
  u8 memory_size_code = 2;                      // emulation memory = 128 KiB << code, 0..5
  DevRomArea lrom1{0x0000, 0x7FFF, 0x00000};    // ROM1 type 27256 at address 0
  DevRomArea urom1{};                           // absent
  DevRomArea lrom2{};                           // absent: needs event and trace hardware
  DevRomArea urom2{};                           // absent
  u32 monitor_code_address = 0x7F80;            // the last 128 bytes of LROM1
  u32 cpu_clock_hz = 8'000'000;                 // target clock; T-states per second
  u8 board_id = 1;                              // register 63 high nibble, 0..15
  u16 mmu_io_base = 0x38;                       // MMU registers: bits 6-7 the internal I/O base, CBR at it + 0x38
  u16 mmu_kind = 0;                             // 0 none, 1 four windows, 2 and 4 CBR/BBR/CBAR
};

constexpr u32 dev_emu_size(u8 size_code) {
  return kDevEmuUnit << (size_code > kDevMaxMemorySizeCode ? kDevMaxMemorySizeCode : size_code);
}

// What is wrong with a fixture, or nullptr when it describes a board the
// configuration file can describe. The board itself accepts any fixture (it
// checks every access), so this is for the fixture's authors.
constexpr const char* dev_fixture_fault(const DevFixture& f) {
  if (f.memory_size_code > kDevMaxMemorySizeCode) return "emulation-memory size code above 5";
  const DevRomArea* areas[] = {&f.lrom1, &f.urom1, &f.lrom2, &f.urom2};
  const u32 size = dev_emu_size(f.memory_size_code);
  for (const DevRomArea* a : areas) {
    if (!a->present()) continue;
    if (a->end >= kDevTargetSpace) return "ROM area beyond the 1 MiB target space";
    // area length > bytes of emulation memory from its offset on?
    if (a->offset >= size || a->end - a->start > size - 1 - a->offset) return "ROM area runs past the emulation memory";
  }
  for (int i = 0; i < 4; ++i)
    for (int j = i + 1; j < 4; ++j)
      if (areas[i]->present() && areas[j]->present() && areas[i]->start <= areas[j]->end &&
          areas[j]->start <= areas[i]->end)
        return "ROM areas overlap";
  if (!f.lrom1.present()) return "no LROM1 area";
  if (f.monitor_code_address % kDevMonitorBlock != 0) return "monitor code address not a multiple of 128";
  if (!f.lrom1.contains(f.monitor_code_address) || !f.lrom1.contains(f.monitor_code_address + kDevMonitorBlock - 1))
    return "monitor area not inside LROM1";
  if (f.cpu_clock_hz == 0) return "CPU clock of 0 Hz";
  if (f.board_id > 15) return "board id above 15";
  if (f.mmu_kind != 0 && f.mmu_kind != 1 && f.mmu_kind != 2 && f.mmu_kind != 4) return "MMU kind not 0, 1, 2 or 4";
  // an internal I/O base (0x00, 0x40, 0x80, 0xC0) or the CBR port in one (0x38, 0x78, 0xB8, 0xF8)?
  if (f.mmu_io_base > 0xFF || ((f.mmu_io_base & 0x3F) != 0 && (f.mmu_io_base & 0x3F) != 0x38))
    return "MMU I/O base neither an internal I/O base nor the CBR port in one";
  return nullptr;
}
static_assert(dev_fixture_fault(DevFixture{}) == nullptr);
