// The thin layer between command code and the interface library: emulation
// memory at a target byte address, monitor memory split into banks, and the
// target channel. Everything works on SupHost.BiosWork; before the work area
// is set up the wrappers do nothing and reads give 0. Every channel wrapper
// tests the time-out bit of the status word after its call and, when it is
// set, takes the monitor's time-out path (emu_monitor.h), which does not return.
#pragma once

#include <span>

#include "platform/host/host_types.h"

// Bank 127 of monitor memory is named 255 in every library call.
constexpr u16 kMonitorTopBank = 127;
constexpr u16 kMonitorTopBankCode = 255;
// Register 15 as read: bit 5, the send FIFO has room for a whole request.
constexpr u8 kRegChannelStatus = 15;
constexpr u8 kChannelSendRoom = 0x20;

struct EmuAccessState {
  u32 MonitorWindowSize = 128;  // bytes of the monitor window (configuration); half of it is one bank
};
extern EmuAccessState EmuAcc;

// Start-up values of the access layer.
void emu_access_reset();

// Emulation memory. Each call first stores `address` as the library's current
// emulation-memory address (work offset 305); words and longs are byte-reversed
// when the work area's byte-swap flag (offset 295) is set.
void emu_rom_write_byte(u32 address, u8 value);
void emu_rom_write_word(u32 address, u16 value);
void emu_rom_write_long(u32 address, u32 value);
void emu_rom_write_block(u32 address, std::span<const u8> data);
u8 emu_rom_read_byte(u32 address);
u16 emu_rom_read_word(u32 address);
u32 emu_rom_read_long(u32 address);
void emu_rom_read_block(u32 address, std::span<u8> out);

// Monitor memory by monitor address: bank = address / span, offset = address
// mod span, with span = MonitorWindowSize / 2; a block that crosses a bank end
// goes as one library call per bank. Words are swapped when the byte-swap flag
// is set. With the monitor-enable option (bit 0 of Sw.NoMonitorOption) the
// window is switched off after each access.
void emu_mon_write_block(u32 address, std::span<const u8> data);
// Bytes of monitor memory the banks reach: addresses below it exist.
u32 emu_mon_area_size();
void emu_mon_read_block(u32 address, std::span<u8> out);
void emu_mon_write_word(u32 address, u16 value);
void emu_mon_write_byte(u32 address, u8 value);
u16 emu_mon_read_word(u32 address);
u8 emu_mon_read_byte(u32 address);
// The same with the caller's bank (0..127) and offset within it.
void emu_mon_write_block_banked(u16 bank, u16 offset, std::span<const u8> data);
u8 emu_mon_read_byte_banked(u16 bank, u16 offset);
u16 emu_mon_read_word_banked(u16 bank, u16 offset);
// Switches the monitor window on (flag != 0) or off; with the monitor-enable
// option only the switch-off is passed on.
void emu_mon_enable(u16 flag);
// Selects monitor bank `bank` (the monitor's bank/command register).
void emu_bankset(u16 bank);

// The target channel. Words travel low byte first. Each can take the time-out
// path: then it does not return.
void emu_putrs(u8 value);
void emu_put_word(u16 value);
void emu_putrsblk(std::span<const u8> data);
u8 emu_getrs();
u16 emu_get_word();
void emu_getrsblk(std::span<u8> out);
// A byte from the target waits.
bool emu_rschk();
// Empties both channel FIFOs, unless in no-monitor mode or while the target runs.
void emu_channel_reset();
// The send FIFO has room (register 15 bit 5).
bool emu_send_room();
// After a channel call: the time-out path when status bit 0 is set; else returns.
void emu_check_channel_status();
