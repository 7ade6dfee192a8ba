// The direct back end's ground floor and its channel: the card's ports through
// the platform's port seam, the probe, register access with the select caches
// and the write shadow, the page, the wait step, the board timer, the two
// initialisations, and the FIFO credit and count of the target channel.
// Counters kept in the work area are caller memory: they are clamped to what
// the card can hold before they size anything.
#include "rz7bios/bios_direct.h"

#include <algorithm>

#include "platform/device/dev_driver.h"
#include "platform/host/host_clock.h"

namespace {

BiosWorkArea& W() { return *Bios.Work; }

constexpr u32 kFifoDepth = 32;         // each channel FIFO
constexpr u32 kFlushQuiet = 100;       // empty checks that end a flush
constexpr u32 kFlushLimit = 1000;      // bytes a flush drops at most
constexpr u32 kPageUnknown = 0xFFFFFFFF;

u16 base() { return W().get16<kWorkBasePort>(); }
u8 generation() { return u8(W().get8<kWorkBoardType>() & 0xF0); }
u8& shadow(u8 reg) { return W().bytes[kWorkRegisterShadow + (reg & 63)]; }

void set_status(u16 bits) { W().set16<kWorkStatus>(u16(W().get16<kWorkStatus>() | bits)); }

// Register select without the pending-close step.
void select(u8 reg) {
  if (W().get8<kWorkRegister>() == reg) return;
  dev_port_out8(dir_port(kPortSelect), reg);
  W().set8<kWorkRegister>(reg);
}

void write_raw(u8 reg, u8 value) {
  dev_port_out16(dir_port(kPortRegWrite), u16(reg | value << 8));
  W().set8<kWorkRegister>(reg);
  shadow(reg) = value;
}

// An emulation-memory access left open is closed before the next register
// access.
void close_pending() {
  if (W().get8<kWorkCloseMemory>() == 0) return;
  W().set8<kWorkCloseMemory>(0);
  write_raw(kDirRegEmuMode, u8(shadow(kDirRegEmuMode) | 0x0C));
}

// The five set-up bytes of a generation 0x30 board, by interface kind.
struct KindSetup { u8 kind; u8 bytes[5]; };
constexpr KindSetup kKindSetups[] = {
    {1, {9, 19, 33, 50, 67}},
    {2, {15, 21, 33, 51, 69}},
    {6, {5, 18, 32, 49, 65}},
    {7, {4, 17, 32, 49, 65}},
};
constexpr u8 kOtherKindSetup[5] = {7, 18, 32, 49, 66};

u32 send_credit() { return std::min(W().get32<kWorkSendCredit>(), kFifoDepth); }
u32 receive_count() { return std::min(W().get32<kWorkReceiveCount>(), kFifoDepth); }
bool pushed_back() { return W().get16<kWorkPushback>() != kNoPushback; }
u8 take_pushback() {
  const u8 b = u8(W().get16<kWorkPushback>());
  W().set16<kWorkPushback>(kNoPushback);
  return b;
}

// Waits for room in the send FIFO; the credit it finds, or 0 on a time-out.
u32 wait_for_room() {
  dir_wait_begin();
  for (;;) {
    const u8 s = dir_read_bank2(kDirRegChannel);
    const u32 credit = (s & 0x20) ? 32 : (s & 0x40) ? 29 : (s & 0x10) ? 1 : 0;
    if (credit != 0) {
      W().set32<kWorkSendCredit>(credit);
      return credit;
    }
    if (dir_wait_step()) return 0;
  }
}

}  // namespace

bool dir_wait_input() {
  dir_wait_begin();
  while (dir_rschk() == 0)
    if (dir_wait_step()) return false;
  return true;
}

u16 dir_port(std::size_t slot) { return W().get16_at(slot); }

void dir_board_setup() {
  W().set8<kWorkBank2Register>(255);
  W().set8<kWorkRegister>(255);
  const u8 kind = u8(W().get8<kWorkBoardType>() & 0x0F);
  const u16 b = base();
  dev_port_out8(b, 0);
  const u8 r0 = dev_port_in8(b);
  dev_port_out8(b, 128);
  const u8 r1 = dev_port_in8(b);
  u8 gen = kBoardGen10;
  // a byte-only board: bit 7 stuck, or bit 0 unchanged by the write
  if ((r0 & 0x80) || !(r1 & 0x80) || (r0 & 1) == (r1 & 1))
    gen = kBoardGen20;
  else if (r1 & 0x40)
    gen = kBoardGen30;
  W().set8<kWorkBoardType>(u8(gen | kind));

  for (std::size_t slot = kPortSelect; slot <= kPortPrefetch; slot += 2) W().set16_at(slot, 0);
  W().set16<kPortSelect>(u16(b + 2));
  W().set16<kPortData>(u16(b + 3));
  W().set16<kPortRegWrite>(u16(b + 2));
  W().set16<kPortTimerControl>(u16(b + 7));
  W().set16<kPortTimerCount>(u16(b + 5));
  W().set16<kPortBoard>(u16(b + 4));
  if (gen != kBoardGen20) {
    W().set16<kPortWordWrite>(u16(b + 4));
    W().set16<kPortWordRead>(u16(b + 2));
  }
  if (gen == kBoardGen30) {
    W().set16<kPortDword>(u16(b + 12));
    W().set16<kPortPrefetch>(u16(b + 14));
    W().set16<kPortBank2Select>(u16(b + 10));
    W().set16<kPortBank2Data>(u16(b + 11));
    W().set16<kPortBank2>(u16(b + 10));
    const u8* bytes = kOtherKindSetup;
    for (const KindSetup& k : kKindSetups)
      if (k.kind == kind) bytes = k.bytes;
    for (int i = 0; i < 5; ++i) dev_port_out8(u16(b + 9), bytes[i]);
  }
  dev_port_out8(b, 0);
  W().set16<kWorkPollsPerTick>(gen == kBoardGen30 ? 2000 : 1000);
}

u8 dir_if_init() {
  dir_board_setup();
  // The work area starts zero-filled, which would read as a pushed-back 0.
  W().set16<kWorkPushback>(kNoPushback);
  const u8 first = dir_read(kDirRegAlive);
  const u8 second = dir_read(kDirRegAlive);
  const u8 third = dir_read(kDirRegAlive);
  // bit 3 toggles on every read of a live board
  if ((second & 8) == (first & 8) || (second & 8) == (third & 8)) return 255;
  dir_timer_reset();
  return u8(third >> 4);
}

u8 dir_read(u8 reg) {
  close_pending();
  select(reg);
  return dev_port_in8(dir_port(kPortData));
}

u8 dir_read_bank2(u8 reg) {
  close_pending();
  if (dir_port(kPortBank2Select) == 0) {
    select(reg);
    return dev_port_in8(dir_port(kPortData));
  }
  if (W().get8<kWorkBank2Register>() != reg) {
    dev_port_out8(dir_port(kPortBank2Select), reg);
    W().set8<kWorkBank2Register>(reg);
  }
  return dev_port_in8(dir_port(kPortBank2Data));
}

void dir_write(u8 reg, u8 value) {
  close_pending();
  write_raw(reg, value);
}

void dir_write_masked(u8 reg, u8 value, u8 mask) {
  close_pending();
  write_raw(reg, u8((shadow(reg) & ~mask) | (value & mask)));
}

void dir_read_block(u8 reg, std::span<u8> out) {
  select(reg);
  std::size_t n = out.size();
  std::size_t i = 0;
  auto words_from = [&](u16 port, std::size_t words) {
    for (std::size_t w = 0; w < words; ++w) {
      const u16 v = dev_port_in16(port);
      out[i++] = u8(v);
      out[i++] = u8(v >> 8);
    }
  };
  if (dir_port(kPortPrefetch) != 0 && n > 3) {
    const std::size_t words = n / 2 - 1;
    words_from(dir_port(kPortPrefetch), words);
    n -= 2 * words;
  }
  if (dir_port(kPortWordRead) != 0) {
    words_from(dir_port(kPortWordRead), n / 2);
    n %= 2;
  }
  while (n-- > 0) out[i++] = dev_port_in8(dir_port(kPortData));
}

void dir_write_block(u8 reg, std::span<const u8> data) {
  select(reg);
  std::size_t n = data.size();
  std::size_t i = 0;
  if (dir_port(kPortWordWrite) == 0) {
    for (u8 b : data) dev_port_out8(dir_port(kPortData), b);
    return;
  }
  if (n % 2 == 1) {
    dev_port_out8(dir_port(kPortData), data[i++]);
    --n;
  }
  auto word = [&] {
    const u16 v = u16(data[i] | data[i + 1] << 8);
    i += 2;
    return v;
  };
  if (dir_port(kPortDword) != 0 && n >= 4) {
    if (n & 2) {
      dev_port_out16(dir_port(kPortWordWrite), word());
      n -= 2;
    }
    for (; n >= 4; n -= 4) {
      const u32 low = word();
      dev_port_out32(dir_port(kPortDword), low | u32(word()) << 16);
    }
    return;
  }
  for (; n >= 2; n -= 2) dev_port_out16(dir_port(kPortWordWrite), word());
}

void dir_select_page(u32 page) {
  page = page == 1 ? 1 : 0;
  if (W().get32<kWorkRegisterPage>() == page) return;
  dir_write_masked(kDirRegPage, page ? 0x80 : 0x00, 0x80);
  W().set32<kWorkRegisterPage>(page);
}

void dir_pulse_control(u8 bits) {
  dir_write_masked(kDirRegControl, bits, bits);
  dir_write_masked(kDirRegControl, 0, bits);
}

void dir_wait_begin() {
  W().set32<kWorkPollCounter>(0);
  W().set32<kWorkTickCounter>(0);
}

bool dir_wait_step() {
  // the only place where a direct operation lets another caller in
  if (Bios.Unlock) Bios.Unlock();
  if (Bios.Lock) Bios.Lock();
  const u32 polls = W().get32<kWorkPollCounter>() + 1;
  W().set32<kWorkPollCounter>(polls);
  if (polls < W().get16<kWorkPollsPerTick>()) return false;
  // A status already set ends the wait at once; it still reads as a time-out.
  if (W().get16<kWorkStatus>() != 0) {
    set_status(kStatusTimeout);
    return true;
  }
  W().set32<kWorkPollCounter>(0);
  const u32 ticks = W().get32<kWorkTickCounter>() + 1;
  W().set32<kWorkTickCounter>(ticks);
  if (ticks < W().get16<kWorkTickLimit>()) return false;
  set_status(kStatusTimeout);
  W().set32<kWorkTickCounter>(0);
  return true;
}

void dir_timer_reset() {
  dev_port_out8(dir_port(kPortTimerControl), 5);
  W().set32<kWorkBoardTimerMs>(0);
}

u32 dir_timer_ms() {
  u8 c = 0;
  for (int tries = 0; tries < 10; ++tries) {
    const u8 a = dev_port_in8(dir_port(kPortTimerCount));
    const u8 b = dev_port_in8(dir_port(kPortTimerControl));
    c = dev_port_in8(dir_port(kPortTimerCount));
    const bool last_high = (W().get16<kWorkBoardTimerLast>() & 0x80) != 0;
    const bool a_wrapped = (a & 0x80) && !(c & 0x80);
    if (a_wrapped) dev_port_in8(dir_port(kPortTimerControl));
    W().set16<kWorkBoardTimerLast>(c);
    if ((b & 0x80) || (last_high && !(c & 0x80)) || a_wrapped) {
      // one wrap of the 16-bit microsecond counter: 65.536 ms
      u32 ms = W().get32<kWorkBoardTimerMs>() + 65;
      u32 frac = W().get16<kWorkBoardTimerFrac>() + 536u;
      if (frac >= 1000) {
        frac -= 1000;
        ++ms;
      }
      W().set32<kWorkBoardTimerMs>(ms);
      W().set16<kWorkBoardTimerFrac>(u16(frac));
    }
    if (a == c) break;
  }
  return (u32(c) * 256 + W().get16<kWorkBoardTimerFrac>()) / 1000 + W().get32<kWorkBoardTimerMs>();
}

void dir_io_delay(u32 n) {
  if (generation() == kBoardGen30) n *= 2;
  for (u32 i = 0; i < n; ++i) dev_port_in8(base());
}

void dir_wait_ms(u32 ms) {
  // The host's tick count ends the wait too, and so does the wait step's
  // measure of a millisecond (polls per tick), so that a board whose timer
  // stands still beside a host clock that stands still cannot hold the caller.
  const u32 board_start = dir_timer_ms();
  const u32 host_start = host_tick_ms();
  const u64 poll_limit = u64(ms) * std::max<u16>(W().get16<kWorkPollsPerTick>(), 1);
  for (u64 polls = 0; polls < poll_limit; ++polls)
    if (dir_timer_ms() - board_start >= ms || host_tick_ms() - host_start >= ms) return;
}

void dir_init() {
  BiosWorkArea& w = W();
  w.set8<kWorkCloseMemory>(0);
  w.set16<kWorkStatus>(0);
  w.set32<kWorkSendCredit>(0);
  w.set32<kWorkReceiveCount>(0);
  dir_write(kDirRegPage, 128);
  for (u8 r = 0; r <= 58; ++r) {
    if (r == 3 || r == 18 || r == 30) continue;
    if (r == kDirRegPage) dir_write(r, 128);
    dir_write(r, 0);
  }
  w.set32<kWorkRegisterPage>(kPageUnknown);
  const u8 width = w.get8<kWorkBusWidth>();
  if (width == 1) dir_write_masked(2, 0x10, 0x10);
  if (width == 2) {
    dir_write_masked(12, 0x20, 0x30);
    dir_write_masked(28, 0x20, 0x30);
  }
  if (width == 4) {
    dir_write_masked(2, 0x20, 0x20);
    dir_write_masked(12, 0x30, 0x30);
    dir_write_masked(28, 0x30, 0x30);
  }
  if (w.get8<kWorkByteSwap>() != 0) dir_write_masked(2, 0x80, 0x80);
  if (w.get8<kWorkReg4Bit5>() != 0) {
    dir_write_masked(4, 0x20, 0x20);
    dir_write_masked(9, 0x04, 0x04);
  }
  if (const u8 high = w.get8<kWorkReg4High>() & 3; high != 0) dir_write_masked(4, u8(high << 6), 0xC0);
  int v = w.get8<kWorkWaitClock>();
  if (width == 2) v -= 1;
  if (width == 4) v -= 2;
  const int a = v == 1 ? 0 : v == 0 ? 1 : v;
  dir_write_masked(9, u8(a), 0x03);
  // The divider goes in two writes: the value >> 7, then that >> 15. A bus
  // width of 0 (not set up) divides by 1.
  const u32 divided = w.get32<kWorkMemoryClock>() / (width ? width : 1);
  const u32 reg8 = divided >> 7;
  dir_write(8, u8(reg8));
  dir_write(8, u8(reg8 >> 15));
  dir_write_masked(12, w.get8<kWorkReg12Nibble>() & 0x0F, 0x0F);
  dir_write_masked(28, w.get8<kWorkReg28Nibble>() & 0x0F, 0x0F);
  const u8 nmi = w.get8<kWorkReg7Bits>();
  dir_write_masked(kDirRegControl, u8((nmi & 1) << 2 | (nmi & 2) << 2), 0x0C);
  dir_fifo_reset();
  dir_br_port_sel();
  dir_tm_set();
  dir_write(54, w.get8<kWorkReg54Copy>());
  dir_trig_set(0);
  dir_write_masked(kDirRegEmuMode, 0x0C, 0x0C);
  dir_write(13, 0);
  w.set16<kWorkTickLimit>(1000);
}

void dir_br_port_sel() {
  const u8 bits = W().get8<kWorkBreakPortBits>();
  const u16 value = W().get16<kWorkBreakPortValue>();
  dir_write_masked(36, bits & 0x03, 0x03);
  dir_write_masked(41, (bits >> 2) & 0x03, 0x03);
  dir_write_masked(36, u8((value & 0x0F) << 4), 0xF0);
  dir_write_masked(kDirRegPage, (value >> 4) & 0x3F, 0x3F);
}

void dir_tm_start() {
  dir_select_page(1);
  dir_write_masked(46, 0, 0x80);
  dir_write_masked(46, 0x80, 0x80);
}

void dir_tm_set() {
  dir_select_page(1);
  const u8 flags = W().get8<kWorkTimerFlags>();
  const u32 preset = (flags & 1) ? W().get32<kWorkTimerPreset>() - 1 : 0;
  const u8 count[3] = {u8(preset), u8(preset >> 8), u8(preset >> 16)};
  dir_write_block(47, count);
  dir_write(46, u8(W().get8<kWorkTimerStep>() * 16 | (flags & 3)));
  dir_tm_start();
}

// --- The channel -------------------------------------------------------------

void dir_fifo_reset() {
  dir_pulse_control(0x20);
  W().set32<kWorkSendCredit>(kFifoDepth);
  W().set32<kWorkReceiveCount>(0);
}

u32 dir_putrs(u8 byte) {
  if (send_credit() == 0 && wait_for_room() == 0) return 1;
  dir_write(kDirRegChannel, byte);
  W().set32<kWorkSendCredit>(send_credit() - 1);
  return 0;
}

u32 dir_putrsblk(std::span<const u8> data, bool stop_on_input) {
  while (!data.empty()) {
    if (send_credit() == 0) {
      // the target has something to say: the caller reads it first
      if (stop_on_input && dir_rschk() != 0) return 1;
      if (wait_for_room() == 0) return 1;
    }
    const u32 credit = send_credit();
    std::size_t piece = data.size();
    if (piece > credit) piece = credit >= 2 ? (credit & ~1u) : credit;
    dir_write_block(kDirRegChannel, data.first(piece));
    W().set32<kWorkSendCredit>(u32(credit - piece));
    data = data.subspan(piece);
  }
  return 0;
}

u32 dir_rschk() {
  if (pushed_back()) return 1;
  if (const u32 n = receive_count(); n != 0) return n;
  const u8 s = dir_read_bank2(kDirRegChannel);
  const u32 n = (s & 0x02) ? 32 : (s & 0x04) ? 16 : (s & 0x01);
  W().set32<kWorkReceiveCount>(n);
  return n;
}

u8 dir_getrs() {
  if (pushed_back()) return take_pushback();
  if (receive_count() == 0 && !dir_wait_input()) return 0;
  if (pushed_back()) return take_pushback();
  W().set32<kWorkReceiveCount>(receive_count() - 1);
  return dir_read(kDirRegReceive);
}

u32 dir_getrsblk(std::span<u8> out) {
  std::size_t i = 0;
  while (i < out.size()) {
    if (pushed_back()) {
      out[i++] = take_pushback();
      continue;
    }
    if (receive_count() == 0 && !dir_wait_input()) return 1;
    if (pushed_back()) continue;
    const std::size_t k = std::min<std::size_t>(out.size() - i, receive_count());
    dir_read_block(kDirRegReceive, out.subspan(i, k));
    W().set32<kWorkReceiveCount>(u32(receive_count() - k));
    i += k;
  }
  return 0;
}

void dir_flushrs() {
  dir_wait_begin();
  W().set16<kWorkPushback>(kNoPushback);
  u32 empty = 0;
  u32 dropped = 0;
  while (empty < kFlushQuiet) {
    if (dir_rschk() == 0) {
      ++empty;
      continue;
    }
    W().set32<kWorkReceiveCount>(receive_count() - 1);
    dir_read(kDirRegReceive);
    if (++dropped >= kFlushLimit) return;
    if (dir_wait_step()) return;
    empty = 1;
  }
}
