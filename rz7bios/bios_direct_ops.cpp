// The direct back end's operations on the interface registers: emulation and
// monitor memory, target control and the run-time counter, the event
// channels, the event timer, the real-time trace, the logic configuration,
// the JTAG port and the profiler's sample exchange. Set, clear and bit-field
// assignments are masked writes through the work area's shadow; registers
// 32..63 of the instruments are reached on their page (register 44 bit 7).
#include <algorithm>
#include <array>

#include "rz7bios/bios_direct.h"

namespace {

BiosWorkArea& W() { return *Bios.Work; }

// Interface registers of the operations.
constexpr u8 kRegAddressLow = 0;    // emulation-memory address bits 0-7
constexpr u8 kRegAddressHigh = 1;   // bits 8-15
constexpr u8 kRegEmuData = 3;
constexpr u8 kRegLanes = 4;         // low nibble: monitor byte lanes, active low
constexpr u8 kRegMonData = 5;
constexpr u8 kRegMonAddress = 6;
constexpr u8 kRegMonBank = 10;
constexpr u8 kRegAddressTop = 13;   // bits 16-23
constexpr u8 kRegSupply = 16;
constexpr u8 kRegJtagStatus = 22;
constexpr u8 kRegJtagData = 23;
constexpr u8 kRegChannelSelect = 36;  // bits 2-3 event channel (3: the combination)
constexpr u8 kRegStatusHigh = 40;
constexpr u8 kRegStatusLow = 42;
constexpr u8 kRegTimerControl = 46;
constexpr u8 kRegTimerCount = 47;
constexpr u8 kRegPassCount = 48;
constexpr u8 kRegEventEnable = 49;
constexpr u8 kRegNegate = 50;
constexpr u8 kRegEventStatus = 51;
constexpr u8 kRegDelayLow = 52;
constexpr u8 kRegDelayHigh = 53;
constexpr u8 kRegTrace = 55;
constexpr u8 kRegFrameLow = 56;
constexpr u8 kRegFrameHigh = 57;
constexpr u8 kRegLogicData = 62;
constexpr u8 kRegLogicStatus = 63;

// Register 7 bits.
constexpr u8 kCtlReset = 0x01;      // 0: target reset asserted
constexpr u8 kCtlNmi = 0x02;
constexpr u8 kCtlNmiHold = 0x04;
constexpr u8 kCtlProfiler = 0x10;
constexpr u8 kCtlRunTimeClear = 0x80;
constexpr u8 kCtlPower = 0x80;      // read: target power present

constexpr u8 kTraceRecording = 0x02;  // register 55 bit 1
constexpr u8 kSampleNone = 0x01;      // _Q_rdsmp_adr's result bit 0: no bus cycle sampled
constexpr u8 kTraceDelayDone = 0x04;
constexpr u8 kTraceModeSample = 0x08;  // offset 516: frames in groups of 16
constexpr u8 kTraceModeDelay = 0x10;

// The bytes of an event record (the library's copies at offset 407).
constexpr std::size_t kEvDataNegate = 0;
constexpr std::size_t kEvAddressNegate = 1;
constexpr std::size_t kEvAddressStart = 4;
constexpr std::size_t kEvAddressEnd = 8;
constexpr std::size_t kEvAddressMask = 12;
constexpr std::size_t kEvDataValue = 16;
constexpr std::size_t kEvDataMask = 20;
constexpr std::size_t kEvStatusValue = 24;
constexpr std::size_t kEvStatusMask = 26;
constexpr std::size_t kEvPassCount = 28;

// Data and address bytes 0..3 go to these registers.
constexpr u8 kDataRegisters[4] = {32, 33, 37, 38};
constexpr u8 kAddressRegisters[4] = {34, 35, 43, 39};

constexpr u32 kWritePieceLimit = 0x10000;  // write blocks stop at 64 KiB boundaries
constexpr u32 kWritePieceOnBoundary = 0xFFFE;
constexpr u32 kReadPieceLimit = 0x8000;    // read blocks at 32 KiB boundaries
constexpr std::size_t kLogicTrailer = 20;  // bytes clocked in after the last piece
constexpr u32 kLogicDelay = 20;            // I/O delay steps around the configuration
constexpr std::size_t kJtagPiece = 32;
constexpr u32 kJtagIdlePolls = 30;

u8 shadow(u8 reg) { return W().bytes[kWorkRegisterShadow + (reg & 63)]; }
void set_bits(u8 reg, u8 bits) { dir_write_masked(reg, bits, bits); }
void clear_bits(u8 reg, u8 bits) { dir_write_masked(reg, 0, bits); }

// A pass count as its register takes it: 2 less, where 0 and 1 stay 0 (the
// first match) rather than wrap to 65,535 matches.
void write_pass_count(u16 pass) {
  const u16 v = pass >= 2 ? u16(pass - 2) : 0;
  const u8 bytes[2] = {u8(v), u8(v >> 8)};
  dir_write_block(kRegPassCount, bytes);
}

u8 bus_width() { return W().get8<kWorkBusWidth>(); }

// Points the emulation-memory registers at `address` and opens the access.
void set_rom_address(u32 address) {
  W().set8<kWorkCloseMemory>(0);
  u8 select = u8(W().get16<kWorkAreaKind>());
  const u8 width = bus_width();
  if (width == 2) {
    select = u8((select & ~1) | (address & 1));
    address >>= 1;
  } else if (width == 4) {
    select = u8((select & ~0xC1) | (address & 1) | ((address & 2) ? 0x80 : 0x40));
    address >>= 2;
  }
  if ((width == 2 || width == 4) && W().get8<kWorkByteSwap>() != 0) select ^= width == 4 ? 193 : 1;
  const u8 c = width == 4 ? 12 : 0;
  const u8 lanes = u8((((select & 0x40) ? c | 4 : c | 10) | (select & 1)) ^ 12);
  dir_write_masked(kDirRegEmuMode, lanes, 0x0F);
  dir_write(kRegAddressLow, u8(address));
  dir_write(kRegAddressHigh, u8(address >> 8));
  // the top byte only when it changes
  if (shadow(kRegAddressTop) != u8(address >> 16)) dir_write(kRegAddressTop, u8(address >> 16));
}

void close_rom() { set_bits(kDirRegEmuMode, 0x0C); }

// Lane and word address of monitor byte `a` on this bus.
void monitor_lane(u32 a, u8& lane, u32& word) {
  const u8 width = bus_width();
  lane = 1;
  word = a;
  if (width == 2) {
    lane = u8(1 << (a & 1));
    word = a >> 1;
  } else if (width == 4) {
    lane = u8(1 << (a & 3));
    word = a >> 2;
  }
  if (W().get8<kWorkByteSwap>() != 0) {
    if (width == 2) lane = u8(2 / lane);
    if (width == 4) lane = u8(8 / lane);
  }
}

// Byte by byte through the lane, address and data registers.
template <class Each>
void monitor_block(u16 bank, u16 address, std::size_t count, Each each) {
  dir_write(kRegMonBank, u8(bank));
  int last_word = -1;
  for (std::size_t i = 0; i < count; ++i) {
    u8 lane = 1;
    u32 word = 0;
    monitor_lane(address + u32(i), lane, word);
    dir_write_masked(kRegLanes, u8(~lane), 0x0F);
    if (int(word & 0xFF) != last_word) {
      dir_write(kRegMonAddress, u8(word));
      last_word = int(word & 0xFF);
    }
    each(i);
  }
}

// Waits for JTAG write room for `piece` bytes; false on a time-out.
bool jtag_room(std::size_t piece) {
  if (Bios.JtagCredit >= piece) return true;
  dir_wait_begin();
  for (;;) {
    const u8 s = dir_read(kRegJtagStatus);
    if (s & 0x01) {
      Bios.JtagCredit = 256;
      return true;
    }
    if (s & 0x02) {
      Bios.JtagCredit = 64;
      return true;
    }
    if (dir_wait_step()) return false;
  }
}

u16 jtag_write(std::span<const u8> data) {
  while (!data.empty()) {
    const std::size_t piece = std::min(data.size(), kJtagPiece);
    if (!jtag_room(piece)) return 1;
    dir_write_block(kRegJtagData, data.first(piece));
    Bios.JtagCredit = u16(Bios.JtagCredit - piece);
    data = data.subspan(piece);
  }
  return 0;
}

// The trace frame that frame f stands for: in sample mode the groups of 16
// start at the frame after the last one marked in bit 7 of register 47.
u16 corrected_frame(u16 frame) {
  if (!(W().get8<kWorkTraceMode>() & kTraceModeSample)) return frame;
  const u16 group = u16(frame & 0xFFF0);
  if (W().get16<kWorkTraceGroup>() != group) {
    u16 offset = 0;
    for (int k = 15; k >= 0; --k) {
      dir_set_fadr(u16(group | k));
      if (dir_read(kRegTimerCount) & 0x80) {
        offset = u16(k + 1);
        break;
      }
    }
    W().set16<kWorkTraceGroupOffset>(offset);
    W().set16<kWorkTraceGroup>(group);
  }
  return u16(group | ((frame + W().get16<kWorkTraceGroupOffset>()) & 15));
}

}  // namespace

// --- Emulation memory --------------------------------------------------------

void dir_wrrom(u8 value) {
  set_rom_address(W().get32<kWorkRomAddress>());
  dir_write(kRegEmuData, value);
  close_rom();
}

u8 dir_rdrom() {
  set_rom_address(W().get32<kWorkRomAddress>());
  const u8 v = dir_read(kRegEmuData);
  close_rom();
  return v;
}

void dir_wrromblk(std::span<const u8> data) {
  u32 address = W().get32<kWorkRomAddress>();
  while (!data.empty()) {
    set_rom_address(address);
    // the address counter does not carry past 64 KiB
    const u32 to_boundary = address % kWritePieceLimit == 0 ? kWritePieceOnBoundary
                                                            : kWritePieceLimit - address % kWritePieceLimit;
    const std::size_t piece = std::min<std::size_t>(data.size(), to_boundary);
    dir_write_block(kRegEmuData, data.first(piece));
    address += u32(piece);
    data = data.subspan(piece);
  }
  W().set32<kWorkRomAddress>(address);
  W().set8<kWorkCloseMemory>(1);  // closed before the next register access
}

void dir_rdromblk(std::span<u8> out) {
  u32 address = W().get32<kWorkRomAddress>();
  while (!out.empty()) {
    set_rom_address(address);
    // a piece that starts on a boundary runs up to the next one
    const u32 piece_limit = kReadPieceLimit - address % kReadPieceLimit;
    const std::size_t piece = std::min<std::size_t>(out.size(), piece_limit);
    dir_read_block(kRegEmuData, out.first(piece));
    address += u32(piece);
    out = out.subspan(piece);
  }
  W().set32<kWorkRomAddress>(address);
  close_rom();
}

// --- Monitor memory ----------------------------------------------------------

void dir_bankset(u16 bank) { dir_write(kRegMonBank, u8(bank)); }

void dir_wrmonblk(u16 bank, u16 address, std::span<const u8> data) {
  monitor_block(bank, address, data.size(), [&](std::size_t i) { dir_write(kRegMonData, data[i]); });
}

void dir_rdmonblk(u16 bank, u16 address, std::span<u8> out) {
  monitor_block(bank, address, out.size(), [&](std::size_t i) { out[i] = dir_read(kRegMonData); });
}

void dir_mon_en(u16 flag) { dir_write_masked(kRegLanes, flag ? 0x0F : 0x00, 0x0F); }

// --- Target control ----------------------------------------------------------

void dir_trg_rst(u16 mode, u16 fifo_reset) {
  if (mode != 0) clear_bits(kDirRegControl, kCtlReset);
  if (fifo_reset != 0) dir_fifo_reset();
  if (mode > 1) dir_wait_ms(mode);
  if (mode != 1) set_bits(kDirRegControl, kCtlReset);
}

void dir_trg_nmi(u16 ms) {
  if (ms == 0) {
    // The bit goes back at once: left set, the next request would be no edge.
    dir_pulse_control(kCtlNmi);
    return;
  }
  const u8 former = shadow(kDirRegControl);
  dir_write_masked(kDirRegControl, u8(~former), kCtlNmiHold);
  dir_wait_ms(ms);
  dir_write(kDirRegControl, former);
}

u16 dir_chk_run() {
  const u16 state = u16((dir_read(kDirRegControl) >> 4) & 3);
  W().set16<kWorkRunState>(state);
  return state;
}

u32 dir_chk_vcc(u16 second) {
  u32 off = (dir_read(kDirRegControl) & kCtlPower) ? 0 : 1;
  if (second != 0 && !(dir_read(kRegSupply) & 0x80)) off += 2;
  if (off != 0) W().set16<kWorkStatus>(u16(W().get16<kWorkStatus>() | kStatusPowerOff));
  return off;
}

void dir_rtc0_clr() { dir_pulse_control(kCtlRunTimeClear); }

u32 dir_rtc0_rd() {
  // the most significant byte first: reading it latches the counter
  u32 v = 0;
  for (u8 reg = 11; reg >= 8; --reg) v = v << 8 | dir_read(reg);
  return v;
}

// --- Event channels ----------------------------------------------------------

void dir_trig_set(u16 channel) {
  if (channel > 3) return;  // there are three channels
  dir_select_page(1);
  for (u8 i = 0; i < 3; ++i) {
    if (channel != 0 && channel != i + 1) continue;
    const std::size_t at = kWorkLibraryEvents + i * kEventRecordSize;
    const BiosWorkArea& w = W();
    clear_bits(kRegEventEnable, u8(1 << i));
    dir_write_masked(kRegChannelSelect, u8(i << 2), 0x0C);
    const u32 data_value = w.get32_at(at + kEvDataValue);
    const u32 data_mask = w.get32_at(at + kEvDataMask);
    for (int b = 0; b < 4; ++b) {
      const u8 bytes[2] = {u8(data_value >> (8 * b)), u8(data_mask >> (8 * b))};
      dir_write_block(kDataRegisters[b], bytes);
    }
    dir_write_masked(kRegNegate, w.bytes[at + kEvDataNegate] ? u8(0x10 << i) : 0, u8(0x10 << i));
    const u32 start = w.get32_at(at + kEvAddressStart);
    const u32 end = w.get32_at(at + kEvAddressEnd);
    const u32 mask = w.get32_at(at + kEvAddressMask);
    for (int b = 0; b < 4; ++b) {
      const u8 bytes[3] = {u8(end >> (8 * b)), u8(start >> (8 * b)), u8(mask >> (8 * b))};
      dir_write_block(kAddressRegisters[b], bytes);
    }
    dir_write_masked(kRegNegate, w.bytes[at + kEvAddressNegate] ? u8(1 << i) : 0, u8(1 << i));
    const u16 status_value = w.get16_at(at + kEvStatusValue);
    const u16 status_mask = w.get16_at(at + kEvStatusMask);
    const u8 low[2] = {u8(status_value), u8(status_mask)};
    const u8 high[2] = {u8(status_value >> 8), u8(status_mask >> 8)};
    dir_write_block(kRegStatusLow, low);
    dir_write_block(kRegStatusHigh, high);
    write_pass_count(w.get16_at(at + kEvPassCount));
    set_bits(kRegEventEnable, u8(1 << i));
  }
  dir_select_page(0);
}

void dir_ev_set(u16 flags) {
  dir_select_page(1);
  clear_bits(kRegTimerControl, 0x80);
  clear_bits(kRegEventEnable, 0x07);
  dir_tm_set();
  std::size_t setup = 0;
  if (flags & 1) {
    setup = kWorkEventEnable;
    dir_write(kRegEventStatus, W().get8<kWorkEventEnable>());
  } else if (flags & 2) {
    setup = kWorkTraceEventSetup;
    const u16 delay = u16(W().get16<kWorkTraceDelay>() - 8);
    dir_write(kRegDelayLow, u8(delay));
    dir_write(kRegDelayHigh, u8(delay >> 8));
    // the trace trigger's sources are register 51 of page 0
    dir_select_page(0);
    dir_write(kRegEventStatus, W().get8<kWorkTraceEventSetup>());
    dir_select_page(1);
  } else {
    dir_select_page(0);  // neither consumer: nothing to arm
    return;
  }
  const BiosWorkArea& w = W();
  const u8 sources = w.bytes[setup];
  if (sources & 0x08) {
    // the AND/SEQ combination: sequence flag and its own pass count
    dir_write_masked(kRegEventEnable, w.bytes[setup + 1] & 0x80, 0x80);
    dir_write_masked(kRegChannelSelect, 3 << 2, 0x0C);
    write_pass_count(w.get16_at(setup + 2));
  }
  const u8 channels = (sources & 0x08) ? 0x07 : sources & 0x07;
  for (u8 i = 0; i < 3; ++i) {
    if (!(channels & (1 << i))) continue;
    dir_write_masked(kRegChannelSelect, u8(i << 2), 0x0C);
    write_pass_count(w.get16_at(kWorkLibraryEvents + i * kEventRecordSize + kEvPassCount));
  }
  set_bits(kRegEventEnable, 0x07);
  dir_select_page(0);
}

u8 dir_ev_stat(u16 page) {
  dir_select_page(page == 1 ? 1 : 0);
  const u8 v = dir_read(kRegEventStatus);
  dir_select_page(0);
  return v;
}

u16 dir_delay_rd() { return u16((dir_read(kRegDelayLow) | dir_read(kRegDelayHigh) << 8) + 1); }

u8 dir_tm_rd(u32* out) {
  dir_select_page(1);
  const u8 s = dir_read(kRegTimerControl);
  if (!(s & 0x02)) return s;  // no measurement finished
  u32 count = 0;
  for (u8 b = 0; b < 3; ++b) {
    dir_write_masked(kRegTimerControl, u8(b << 2), 0x0C);
    count |= u32(dir_read(kRegTimerCount)) << (8 * b);
  }
  dir_tm_start();
  // the timer counts down
  if (out) *out = u32(-count) & 0xFFFFFF;
  return s;
}

// --- Real-time trace ---------------------------------------------------------

void dir_tr_on() {
  W().set16<kWorkTraceGroup>(0xFFFF);
  dir_set_fadr(0);
  set_bits(kRegTrace, kTraceRecording);
}

void dir_tr_go() {
  clear_bits(kRegTrace, kTraceRecording);
  dir_ev_set(2);
  dir_write(kRegTrace, W().get8<kWorkTraceMode>());
  dir_tr_on();
}

u32 dir_tr_stop(u32* frame_out, u32* delay_out) {
  clear_bits(kRegTrace, kTraceRecording);
  const u8 s = dir_read(kRegTrace);
  if (W().get8<kWorkTraceMode>() & kTraceModeDelay) {
    const u32 left = (s & kTraceDelayDone) ? u32(W().get16<kWorkTraceDelay>() - dir_delay_rd()) : 0xFFFFFFFF;
    if (delay_out) *delay_out = left;
  }
  const u32 frame = dir_tr_rdadr();
  if (frame_out) *frame_out = frame;
  return (s >> 1) & 1;
}

u32 dir_tr_rdadr() {
  clear_bits(kRegTrace, kTraceRecording);
  return u32(dir_read(kRegFrameLow) | dir_read(kRegFrameHigh) << 8);
}

void dir_set_fadr(u16 frame) {
  dir_write(kRegFrameLow, u8(frame));
  dir_write(kRegFrameHigh, u8(frame >> 8));
}

void dir_rd_trc_data(u16 frame, u32* address_out, u32* data_out, u16* status_out, u16* extra_out) {
  // A frame's stamp is registers 46/47 of page 0; on page 1 they are the
  // timer's, where a timer operation may have left the page.
  dir_select_page(0);
  dir_set_fadr(corrected_frame(frame));
  auto r = [](u8 reg) { return u32(dir_read(reg)); };
  const u32 address = r(39) << 24 | r(43) << 16 | r(35) << 8 | r(34);
  const u32 data = r(38) << 24 | r(37) << 16 | r(33) << 8 | r(32);
  const u16 status = u16(r(kRegStatusHigh) << 8 | r(kRegStatusLow));
  const u16 extra = u16(r(kRegTimerCount) << 8 | r(kRegTimerControl));
  if (address_out) *address_out = address;
  if (data_out) *data_out = data;
  if (status_out) *status_out = status;
  if (extra_out) *extra_out = extra;
}

u16 dir_rdsmp_adr(u32* address_out, u16* status_out) {
  auto r = [](u8 reg) { return u32(dir_read(reg)); };
  const u32 address = r(39) << 24 | r(43) << 16 | r(35) << 8 | r(34);
  const u16 status = u16(r(kRegStatusHigh) << 8 | r(kRegStatusLow));
  if (address_out) *address_out = address;
  if (status_out) *status_out = status;
  // Register 55 reads bit 0 as "trace recording", which says nothing of the
  // sample: the sample registers follow the bus whether the trace records or
  // not, and a profile by trace samples just while it records. Callers take
  // bit 0 of the result as "no sample", as the driver gives it: set when the
  // registers hold no bus cycle (no status line active).
  return u16((dir_read(kRegTrace) & ~kSampleNone) | (status == 0 ? kSampleNone : 0));
}

// --- Logic configuration -----------------------------------------------------

u32 dir_flex_cfg(u8 flags, std::span<const u8> data) {
  auto failed = [] {
    W().set16<kWorkStatus>(kStatusLogicConfig);
    return 1u;
  };
  if (flags & 1) {
    dir_board_setup();
    clear_bits(kRegLogicStatus, 0x01);
    dir_io_delay(kLogicDelay);
    set_bits(kRegLogicStatus, 0x01);
    dir_io_delay(kLogicDelay);
    if ((dir_read(kRegLogicStatus) & 3) != 2) return failed();
  }
  if (!data.empty()) dir_write_block(kRegLogicData, data);
  if (!(flags & 2)) return 0;
  // The trailer repeats the start of the data; a shorter piece is padded
  // with zeros rather than read past its end.
  std::array<u8, kLogicTrailer> trailer{};
  std::copy_n(data.begin(), std::min(data.size(), trailer.size()), trailer.begin());
  dir_write_block(kRegLogicData, trailer);
  dir_io_delay(kLogicDelay);
  return (dir_read(kRegLogicStatus) & 3) == 3 ? 0 : failed();
}

// --- JTAG port -----------------------------------------------------------------

u16 dir_jtag_wrregblk(std::span<const u8> data) { return jtag_write(data); }

u16 dir_jtag_rdfifo(std::span<const u8> write, std::span<u8> read) {
  u32 idle = 0;
  if (!write.empty()) {
    if (jtag_write(write) != 0) return 0;
    idle = kJtagIdlePolls;
  }
  std::size_t total = 0;
  for (;;) {
    const u8 s = dir_read(kRegJtagStatus);
    std::size_t ready = (s >> 2) & 0x1F;
    if (ready == 0 && (s & 0x80)) ready = 1;
    if (ready == 0) {
      if (idle == 0) return u16(total);
      --idle;
      continue;
    }
    const std::size_t k = std::min(ready, read.size() - total);
    if (k > 0) dir_read_block(kRegJtagData, read.subspan(total, k));
    total += k;
    if (total >= read.size() || k > 1) return u16(total);
    idle = 0;  // after a single byte: no idle allowance
  }
}

// --- Profiler ------------------------------------------------------------------

u16 dir_profnmi(std::span<u8> buffer, u8 code, u16 mode) {
  if (mode <= 1) {
    if (!(dir_chk_run() & 1)) return 3;  // the program is not running
    dir_pulse_control(kCtlProfiler);
    if (dir_putrs(code) != 0) return 1;
    dir_trg_nmi(0);
    if (mode == 1) return 0;
  } else if (mode != 2) {
    return 0;
  }
  for (std::size_t i = 0; i <= buffer.size(); ++i) {
    if (!dir_wait_input()) return 1;
    const u8 b = dir_getrs();
    if (i == 0 && b != code) {
      W().set16<kWorkPushback>(b);  // not the echo: left for the next receive
      return 2;
    }
    if (i > 0) buffer[i - 1] = b;
  }
  dir_pulse_control(kCtlProfiler);
  return 0;
}
