// The emulator access wrappers: emulation memory, monitor memory and the
// target channel over the interface library's exports.
#include "halv80/engine/emu_access.h"

#include <algorithm>
#include <array>
#include <cstddef>

#include "halv80/engine/cmd_switches.h"
#include "halv80/engine/emu_monitor.h"
#include "halv80/engine/run_state.h"
#include "halv80/engine/sup_host.h"
#include "platform/device/dev_layout.h"
#include "rz7bios/rz7bios.h"

constinit EmuAccessState EmuAcc;

namespace {

// The library counts a block in 16 bits; longer blocks go in pieces of this size.
constexpr std::size_t kBlockPiece = 0x8000;

BiosWorkArea* work() { return SupHost.BiosWork.get(); }

bool byte_swap() { return work()->get8<kWorkByteSwap>() != 0; }

// Little-endian bytes of a word or long, reversed when the byte-swap flag is set.
template <std::size_t N>
std::array<u8, N> bus_bytes(u32 value) {
  std::array<u8, N> b{};
  for (std::size_t i = 0; i < N; ++i) b[i] = u8(value >> (8 * i));
  if (byte_swap()) std::reverse(b.begin(), b.end());
  return b;
}
template <std::size_t N>
u32 bus_value(std::array<u8, N> b) {
  if (byte_swap()) std::reverse(b.begin(), b.end());
  u32 value = 0;
  for (std::size_t i = 0; i < N; ++i) value |= u32(b[i]) << (8 * i);
  return value;
}

void set_rom_address(u32 address) { work()->set32<kWorkRomAddress>(address); }

u16 bank_code(u16 bank) { return bank == kMonitorTopBank ? kMonitorTopBankCode : bank; }

// Monitor-window switch-off after an access, with the monitor-enable option.
void mon_access_done() {
  if (Sw.NoMonitorOption & 1) _Q_mon_en(0);
}

// Calls fn(bank, offset, first, count) for each piece of [address, address +
// size) that lies inside one bank. Monitor memory has 128 banks: a piece that
// would lie beyond bank 127 is not reached, nor anything after it.
template <class Fn>
void for_each_monitor_piece(u32 address, std::size_t size, Fn fn) {
  const u32 span = EmuAcc.MonitorWindowSize / 2;
  if (span == 0) return;  // no window configured: no banks
  std::size_t done = 0;
  while (done < size) {
    const u32 bank = address / span;
    const u32 offset = address % span;
    if (bank > kMonitorTopBank || offset > 0xFFFF) return;
    const std::size_t count = std::min({size - done, std::size_t(span - offset), kBlockPiece});
    fn(u16(bank), u16(offset), done, u16(count));
    done += count;
    address += u32(count);
  }
}

}  // namespace

void emu_access_reset() { EmuAcc = EmuAccessState{}; }

u32 emu_mon_area_size() { return EmuAcc.MonitorWindowSize / 2 * (kMonitorTopBank + 1); }

// --- Emulation memory --------------------------------------------------------

void emu_rom_write_byte(u32 address, u8 value) {
  if (!work()) return;
  set_rom_address(address);
  _Q_wrrom(value);
}

void emu_rom_write_word(u32 address, u16 value) {
  if (!work()) return;
  const auto b = bus_bytes<2>(value);
  emu_rom_write_block(address, b);
}

void emu_rom_write_long(u32 address, u32 value) {
  if (!work()) return;
  const auto b = bus_bytes<4>(value);
  emu_rom_write_block(address, b);
}

void emu_rom_write_block(u32 address, std::span<const u8> data) {
  if (!work()) return;
  for (std::size_t done = 0; done < data.size();) {
    const std::size_t n = std::min(data.size() - done, kBlockPiece);
    set_rom_address(u32(address + done));
    _Q_wrromblk(data.data() + done, u16(n));
    done += n;
  }
}

u8 emu_rom_read_byte(u32 address) {
  if (!work()) return 0;
  set_rom_address(address);
  return u8(_Q_rdrom());
}

u16 emu_rom_read_word(u32 address) {
  std::array<u8, 2> b{};
  if (!work()) return 0;
  emu_rom_read_block(address, b);
  return u16(bus_value(b));
}

u32 emu_rom_read_long(u32 address) {
  std::array<u8, 4> b{};
  if (!work()) return 0;
  emu_rom_read_block(address, b);
  return bus_value(b);
}

void emu_rom_read_block(u32 address, std::span<u8> out) {
  std::fill(out.begin(), out.end(), u8(0));
  if (!work()) return;
  for (std::size_t done = 0; done < out.size();) {
    const std::size_t n = std::min(out.size() - done, kBlockPiece);
    set_rom_address(u32(address + done));
    _Q_rdromblk(out.data() + done, u16(n));
    done += n;
  }
}

// --- Monitor memory ----------------------------------------------------------

void emu_mon_write_block(u32 address, std::span<const u8> data) {
  if (!work()) return;
  for_each_monitor_piece(address, data.size(), [&](u16 bank, u16 offset, std::size_t first, u16 count) {
    _Q_wrmonblk(bank_code(bank), offset, data.data() + first, count);
  });
  mon_access_done();
}

void emu_mon_read_block(u32 address, std::span<u8> out) {
  std::fill(out.begin(), out.end(), u8(0));
  if (!work()) return;
  for_each_monitor_piece(address, out.size(), [&](u16 bank, u16 offset, std::size_t first, u16 count) {
    _Q_rdmonblk(bank_code(bank), offset, out.data() + first, count);
  });
  mon_access_done();
}

void emu_mon_write_word(u32 address, u16 value) {
  if (!work()) return;
  const auto b = bus_bytes<2>(value);
  emu_mon_write_block(address, b);
}

void emu_mon_write_byte(u32 address, u8 value) {
  const u8 b[1] = {value};
  emu_mon_write_block(address, b);
}

u16 emu_mon_read_word(u32 address) {
  std::array<u8, 2> b{};
  if (!work()) return 0;
  emu_mon_read_block(address, b);
  return u16(bus_value(b));
}

u8 emu_mon_read_byte(u32 address) {
  u8 b[1] = {};
  emu_mon_read_block(address, b);
  return b[0];
}

void emu_mon_write_block_banked(u16 bank, u16 offset, std::span<const u8> data) {
  if (!work()) return;
  for (std::size_t done = 0; done < data.size();) {
    const std::size_t n = std::min(data.size() - done, kBlockPiece);
    _Q_wrmonblk(bank_code(bank), u16(offset + done), data.data() + done, u16(n));
    done += n;
  }
  mon_access_done();
}

u8 emu_mon_read_byte_banked(u16 bank, u16 offset) {
  u8 b = 0;
  if (!work()) return 0;
  _Q_rdmonblk(bank_code(bank), offset, &b, 1);
  mon_access_done();
  return b;
}

u16 emu_mon_read_word_banked(u16 bank, u16 offset) {
  std::array<u8, 2> b{};
  if (!work()) return 0;
  _Q_rdmonblk(bank_code(bank), offset, b.data(), 2);
  mon_access_done();
  return u16(bus_value(b));
}

void emu_mon_enable(u16 flag) {
  if (!work()) return;
  // with the monitor-enable option the window is switched on only on request
  if ((Sw.NoMonitorOption & 1) && flag != 0) return;
  _Q_mon_en(flag);
}

void emu_bankset(u16 bank) {
  if (!work()) return;
  _Q_bankset(bank_code(bank));
}

// --- The target channel ------------------------------------------------------

void emu_check_channel_status() {
  if (!work()) return;
  if (work()->get16<kWorkStatus>() & kStatusTimeout) emu_timeout_path();
}

void emu_putrs(u8 value) {
  if (!work()) return;
  _Q_putrs(value);
  emu_check_channel_status();
}

void emu_put_word(u16 value) {
  const u8 b[2] = {u8(value), u8(value >> 8)};
  emu_putrsblk(b);
}

void emu_putrsblk(std::span<const u8> data) {
  if (!work()) return;
  for (std::size_t done = 0; done < data.size();) {
    const std::size_t n = std::min(data.size() - done, kBlockPiece);
    _Q_putrsblk(data.data() + done, u16(n), 0);
    emu_check_channel_status();
    done += n;
  }
}

u8 emu_getrs() {
  if (!work()) return 0;
  const u8 value = _Q_getrs();
  emu_check_channel_status();
  return value;
}

u16 emu_get_word() {
  u8 b[2] = {};
  emu_getrsblk(b);
  return load_le16(b);
}

void emu_getrsblk(std::span<u8> out) {
  std::fill(out.begin(), out.end(), u8(0));
  if (!work()) return;
  for (std::size_t done = 0; done < out.size();) {
    const std::size_t n = std::min(out.size() - done, kBlockPiece);
    _Q_getrsblk(out.data() + done, u16(n));
    emu_check_channel_status();
    done += n;
  }
}

bool emu_rschk() { return work() && _Q_rschk() != 0; }

void emu_channel_reset() {
  if (!work()) return;
  // no monitor to speak to, or the running target owns the channel?
  if (Sw.NoMonitorMode != 0 || Run.ExecutionState == kExecRunning) return;
  _Q_fifo_rst();
  _Q_flushrs();
}

bool emu_send_room() { return work() && (_Q_rdreg(kRegChannelStatus) & kChannelSendRoom) != 0; }
