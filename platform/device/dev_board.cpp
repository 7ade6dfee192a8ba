// The simulated emulator board. Target addresses are decoded in one place
// (PeekTarget/PokeTarget), by physical address: the enabled monitor window
// first, then the ROM areas in the order LROM1, UROM1, LROM2, UROM2, then
// target RAM. The CPU's logical addresses reach it through the MMU.
#include "platform/device/dev_board.h"

#include <bit>

#include "platform/device/dev_cpu.h"


namespace {

bool rom_kind(u16 kind) {
  return kind == kDevKindLrom1 || kind == kDevKindUrom1 || kind == kDevKindMonitor || kind == kDevKindLrom2 ||
         kind == kDevKindUrom2;
}

// The bank a request or register 10 names: 0..126 as they are, 255 for bank
// 127; -1 for anything else.
int bank_index(u16 code) {
  if (code < kDevTopBank) return code;
  if (code == kDevTopBankCode) return kDevTopBank;
  return -1;
}

}  // namespace

bool DevBoard::Fifo::Push(u8 v) {
  if (count == bytes.size()) return false;  // full: the byte is lost
  bytes[(head + count) % bytes.size()] = v;
  ++count;
  return true;
}

bool DevBoard::Fifo::Pop(u8& v) {
  if (count == 0) return false;
  v = bytes[head];
  head = (head + 1) % bytes.size();
  --count;
  return true;
}

DevBoard::DevBoard(const DevFixture& fixture)
    : fixture_(fixture),
      mmu_(fixture.mmu_kind, fixture.mmu_io_base),
      emu_(dev_emu_size(fixture.memory_size_code), 0xFF),
      ram_(kDevTargetSpace, 0x00),
      ports_(kDevPortCount, 0xFF) {
  if (fixture_.memory_size_code > kDevMaxMemorySizeCode) fixture_.memory_size_code = kDevMaxMemorySizeCode;
}

// --- The bus ---------------------------------------------------------------

void DevBoard::BuildMap(bool window_on) {
  const u32 window = fixture_.monitor_code_address;
  for (std::size_t page = 0; page < kMapPages; ++page) {
    const u32 first = u32(page << kMapPageShift);
    const u32 last = first + (1u << kMapPageShift) - 1;
    read_map_[page] = nullptr;
    write_map_[page] = nullptr;
    // the monitor window decodes and claims fetches: never direct
    if (window_on && window <= last && window + kDevMonitorBlock - 1 >= first) continue;
    const DevRomArea* hit = nullptr;
    bool partial = false;
    for (const DevRomArea* a : {&fixture_.lrom1, &fixture_.urom1, &fixture_.lrom2, &fixture_.urom2}) {
      if (!a->present() || a->end < first || a->start > last) continue;
      if (hit != nullptr || a->start > first || a->end < last) partial = true;
      hit = a;
    }
    if (partial) continue;
    if (hit == nullptr) {
      read_map_[page] = &ram_[first];
      write_map_[page] = &ram_[first];
      continue;
    }
    const u32 position = first - hit->start + hit->offset;
    if (position < emu_.size() && emu_.size() - position >= (1u << kMapPageShift)) read_map_[page] = &emu_[position];
  }
  map_window_on_ = window_on ? 1 : 0;
}

void DevBoard::DropShortcut() {
  if (!shortcut_valid_) return;
  shortcut_ = DevBusShortcut{};
  shortcut_valid_ = false;
  ShortcutChanged();
}

void DevBoard::RefreshShortcut() {
  if (shortcut_valid_) return;
  const bool window_on = MonitorWindowOn();
  if (map_window_on_ != int(window_on)) BuildMap(window_on);
  constexpr u32 kPage = 1u << DevBusShortcut::kPageShift;
  // the MMU's windows start on 1 KiB boundaries: a page goes straight when
  // each of its KiB lands where the first one puts it, all in one direct page
  constexpr u32 kStep = 1024;
  static_assert(kMapPageShift == DevBusShortcut::kPageShift);
  // while the instruments are live they see the shortcut's cycles too; a
  // trace that only records takes them as frames
  shortcut_.events = nullptr;
  shortcut_.trace = nullptr;
  if (Instrumented()) (events_.RecordsOnly() ? shortcut_.trace : shortcut_.events) = &events_;
  for (u32 page = 0; page < std::size(shortcut_.read); ++page) {
    const u32 logical = page * kPage;
    const u32 first = mmu_.Translate(u16(logical));
    bool whole = (first & (kPage - 1)) == 0 && first < kDevTargetSpace;
    for (u32 k = kStep; whole && k < kPage; k += kStep) whole = mmu_.Translate(u16(logical + k)) == first + k;
    shortcut_.read[page] = whole ? read_map_[first >> kMapPageShift] : nullptr;
    shortcut_.physical[page] = first;
    shortcut_.write[page] = whole ? write_map_[first >> kMapPageShift] : nullptr;
  }
  shortcut_.counts = cycles_.data();
  shortcut_valid_ = true;
  ShortcutChanged();
}

u8 DevBoard::MemoryRead(u16 address, BusCycle cycle) {
  if (!Instrumented()) return MemoryReadPlain(address, cycle);
  const u32 physical = mmu_.Translate(address);
  u8 v;
  const std::size_t kind = std::size_t(cycle);
  // a plain page of the map: read here, counted, and seen by the instruments
  if (const u8* page = physical < kDevTargetSpace && map_window_on_ == int(MonitorWindowOn())
                           ? read_map_[physical >> kMapPageShift]
                           : nullptr) {
    if (kind < kCycleKinds) ++cycles_[kind];
    v = page[physical & ((1u << kMapPageShift) - 1)];
  } else {
    v = MemoryReadPlain(address, cycle);
  }
  Observe(physical, v, cycle == BusCycle::OpcodeFetch ? kDevStatusFetch : kDevStatusMemRead);
  return v;
}

inline void DevBoard::Observe(u32 address, u8 data, u8 status) {
  events_.Cycle(address, data, status, cpu_ != nullptr ? cpu_->Clock() : tstates_);
  if (events_.BreakRequested()) {
    events_.TakeBreak();
    RaiseBreak();
  }
}

void DevBoard::RaiseBreak() {
  if (!power_ || ResetHeld()) return;
  nmi_pending_ = true;
  if (cpu_ != nullptr) cpu_->RequestStop();  // the NMI is taken at the end of this instruction
}

void DevBoard::InstrumentsBreak() {
  events_.TakeBreak();
  RaiseBreak();
}

void DevBoard::SetExternalBreak(int line, bool level) {
  events_.ExternalInput(line, level);
  if (events_.TakeBreak() && user_running_) RaiseBreak();
}

void DevBoard::SetNmiPin(bool level) {
  // an edge on the target's own NMI line, as the target's hardware gives it
  if (level && !nmi_pin_ && power_ && !ResetHeld()) nmi_pending_ = true;
  nmi_pin_ = level;
}

DevEvents& DevBoard::Events() {
  DropShortcut();
  return events_;
}

void DevBoard::SetCpu(DevCpu* cpu) {
  cpu_ = cpu;
  events_.SetClockHz(fixture_.cpu_clock_hz);
}

u8 DevBoard::MemoryReadPlain(u16 address, BusCycle cycle) {
  const std::size_t kind = std::size_t(cycle);
  if (kind < kCycleKinds) ++cycles_[kind];
  const u32 physical = mmu_.Translate(address);
  const bool window_on = MonitorWindowOn();
  if (map_window_on_ != int(window_on)) BuildMap(window_on);
  if (physical < kDevTargetSpace)
    if (const u8* page = read_map_[physical >> kMapPageShift]) return page[physical & ((1u << kMapPageShift) - 1)];
  const u32 window = fixture_.monitor_code_address;
  // an opcode fetch in the window the target sees, claimed by the observer?
  if (cycle == BusCycle::OpcodeFetch && fetch_observer_ && MonitorWindowOn() && physical >= window &&
      physical - window < kDevMonitorBlock && fetch_observer_(physical - window))
    return 0x00;  // NOP
  return PeekTarget(physical);
}

void DevBoard::MemoryWrite(u16 address, u8 value) {
  ++cycles_[std::size_t(BusCycle::MemoryWrite)];
  const u32 physical = mmu_.Translate(address);
  if (Instrumented()) Observe(physical, value, kDevStatusMemWrite);
  const bool window_on = MonitorWindowOn();
  if (map_window_on_ != int(window_on)) BuildMap(window_on);
  if (physical < kDevTargetSpace) {
    if (u8* page = write_map_[physical >> kMapPageShift]) {
      page[physical & ((1u << kMapPageShift) - 1)] = value;
      return;
    }
  }
  PokeTarget(physical, value);
}

u8 DevBoard::IoRead(u16 port) {
  ++cycles_[std::size_t(BusCycle::IoRead)];
  u8 v = 0xFF;
  if (!mmu_.IoRead(port, v)) v = ports_[port];
  if (Instrumented()) Observe(port, v, kDevStatusIoRead);
  return v;
}

void DevBoard::IoWrite(u16 port, u8 value) {
  ++cycles_[std::size_t(BusCycle::IoWrite)];
  if (Instrumented()) Observe(port, value, kDevStatusIoWrite);
  if (mmu_.IoWrite(port, value)) {
    // the CPU's own register: the map changes under the running program
    DropShortcut();
    RefreshShortcut();
    return;
  }
  ports_[port] = value;
}

u8 DevBoard::InterruptAck() {
  ++cycles_[std::size_t(BusCycle::InterruptAck)];
  if (Instrumented()) Observe(0, 0xFF, kDevStatusInta);
  return 0xFF;
}

u64 DevBoard::CycleCount(BusCycle cycle) const {
  const std::size_t kind = std::size_t(cycle);
  return kind < kCycleKinds ? cycles_[kind] : 0;
}

void DevBoard::ClearCycleCounts() { cycles_.fill(0); }

// --- Target memory ----------------------------------------------------------

u8 DevBoard::PeekTarget(u32 physical) const {
  if (physical >= kDevTargetSpace) return 0xFF;
  const u32 window = fixture_.monitor_code_address;
  // in the monitor window while the target has it?
  if (MonitorWindowOn() && physical >= window && physical - window < kDevMonitorBlock)
    return MonitorWindowRead(physical - window);
  for (const DevRomArea* a : {&fixture_.lrom1, &fixture_.urom1, &fixture_.lrom2, &fixture_.urom2})
    if (a->contains(physical)) return EmuRead(physical - a->start + a->offset);
  return ram_[physical];
}

void DevBoard::PokeTarget(u32 physical, u8 value) {
  if (physical >= kDevTargetSpace) return;
  const u32 window = fixture_.monitor_code_address;
  // The window is RAM on the board: the monitor keeps its work bytes there.
  if (MonitorWindowOn() && physical >= window && physical - window < kDevMonitorBlock) {
    MonitorWindowWrite(physical - window, value);
    return;
  }
  for (const DevRomArea* a : {&fixture_.lrom1, &fixture_.urom1, &fixture_.lrom2, &fixture_.urom2})
    if (a->contains(physical)) return;  // emulated ROM: read-only to the target
  ram_[physical] = value;
}

// --- Emulation memory -------------------------------------------------------

u8 DevBoard::EmuRead(u32 position) const { return position < emu_.size() ? emu_[position] : 0xFF; }

void DevBoard::EmuWrite(u32 position, u8 value) {
  if (position < emu_.size()) emu_[position] = value;
}

void DevBoard::WriteRom(const BiosWorkArea& work, u8 value) {
  if (rom_kind(work.get16<kWorkAreaKind>())) EmuWrite(work.get32<kWorkRomAddress>(), value);
}

u8 DevBoard::ReadRom(const BiosWorkArea& work) const {
  if (!rom_kind(work.get16<kWorkAreaKind>())) return 0xFF;
  return EmuRead(work.get32<kWorkRomAddress>());
}

void DevBoard::WriteRomBlock(BiosWorkArea& work, std::span<const u8> data) {
  const bool reach = rom_kind(work.get16<kWorkAreaKind>());
  u32 position = work.get32<kWorkRomAddress>();
  for (u8 b : data) {
    if (reach) EmuWrite(position, b);
    ++position;  // u32: wraps as the work-area field does
  }
  work.set32<kWorkRomAddress>(position);
}

void DevBoard::ReadRomBlock(BiosWorkArea& work, std::span<u8> out) const {
  const bool reach = rom_kind(work.get16<kWorkAreaKind>());
  u32 position = work.get32<kWorkRomAddress>();
  for (u8& b : out) {
    b = reach ? EmuRead(position) : 0xFF;
    ++position;
  }
  work.set32<kWorkRomAddress>(position);
}

// Registers 0, 1 and 13 give the address; the data register counts the low 16
// bits up and never carries into register 13, so the library splits blocks at
// 64 KiB boundaries.
u32 DevBoard::EmuRegisterAddress() const { return u32(regs_[kRegEmuAddressTop]) << 16 | emu_counter_; }

bool DevBoard::EmuRegisterOpen() const { return (regs_[kRegEmuMode] & 0x0C) != 0x0C; }

// --- Monitor memory ---------------------------------------------------------

// Index of a monitor-memory byte, or -1 for a refused bank or an offset
// outside the bank.
int DevBoard::MonitorIndex(int bank, u32 offset) const {
  if (bank < 0 || bank >= int(kDevMonitorBanks) || offset >= kDevMonitorBankSize) return -1;
  return bank * int(kDevMonitorBankSize) + int(offset);
}

int DevBoard::SelectedBank() const { return bank_index(regs_[kRegMonitorBank]); }

// The target has the window while the host holds no byte lane: register 4 bit
// 0 (lane 0, the only lane of an 8-bit bus) set.

int DevBoard::MonitorWindowIndex(u32 offset) const {
  return offset < kDevMonitorBankSize ? MonitorIndex(SelectedBank(), offset)
                                      : MonitorIndex(kDevTopBank, offset - kDevMonitorBankSize);
}

u8 DevBoard::MonitorWindowRead(u32 offset) const {
  const int i = MonitorWindowIndex(offset);
  return i >= 0 ? monitor_[std::size_t(i)] : 0xFF;  // a refused bank in register 10 shows nothing
}

void DevBoard::MonitorWindowWrite(u32 offset, u8 value) {
  const int i = MonitorWindowIndex(offset);
  if (i >= 0) monitor_[std::size_t(i)] = value;
}

bool DevBoard::MonitorBlockArgs(u16 bank, u16 address, std::size_t count) const {
  if (bank_index(bank) < 0) return false;
  if (address >= kDevMonitorBankSize) return false;
  return count <= kDevMonitorBankSize - address;  // the block stays inside its bank
}

bool DevBoard::BankSet(u16 bank) {
  if (bank_index(bank) < 0) return false;
  WriteRegister(kRegMonitorBank, u8(bank));
  return true;
}

// The library's register sequence for an 8-bit bus: bank, then per byte the
// lane (register 4 low nibble := NOT 1), the byte address and the data.
bool DevBoard::WriteMonitorBlock(u16 bank, u16 address, std::span<const u8> data) {
  if (!MonitorBlockArgs(bank, address, data.size())) return false;
  WriteRegister(kRegMonitorBank, u8(bank));
  for (std::size_t i = 0; i < data.size(); ++i) {
    WriteRegisterMasked(kRegMonitorLanes, 0x0E, 0x0F);
    WriteRegister(kRegMonitorAddress, u8(address + i));
    WriteRegister(kRegMonitorData, data[i]);
  }
  return true;
}

bool DevBoard::ReadMonitorBlock(u16 bank, u16 address, std::span<u8> out) {
  if (!MonitorBlockArgs(bank, address, out.size())) return false;
  WriteRegister(kRegMonitorBank, u8(bank));
  for (std::size_t i = 0; i < out.size(); ++i) {
    WriteRegisterMasked(kRegMonitorLanes, 0x0E, 0x0F);
    WriteRegister(kRegMonitorAddress, u8(address + i));
    out[i] = ReadRegister(kRegMonitorData);
  }
  return true;
}

void DevBoard::MonitorEnable(u16 flag) { WriteRegisterMasked(kRegMonitorLanes, flag ? 0x0F : 0x00, 0x0F); }

// --- Channel FIFOs ----------------------------------------------------------

bool DevBoard::ChannelSend(u8 value) {
  if (regs_[kRegControl] & kCtlFifoReset) return false;  // held empty
  return to_target_.Push(value);
}

u8 DevBoard::ChannelReceive() {
  u8 v = 0xFF;
  to_host_.Pop(v);
  return v;
}

std::size_t DevBoard::SendRoom() const { return kDevFifoSize - to_target_.count; }
std::size_t DevBoard::ReceiveCount() const { return to_host_.count; }
std::size_t DevBoard::TargetPending() const { return to_target_.count; }

u8 DevBoard::FifoStatus() const {
  const std::size_t room = SendRoom();
  const std::size_t waiting = ReceiveCount();
  u8 s = 0;
  if (waiting >= 1) s |= kFifoReceiveAny;
  if (waiting >= kDevFifoSize / 2) s |= kFifoReceiveHalf;
  if (waiting == kDevFifoSize) s |= kFifoReceiveFull;
  if (room >= 1) s |= kFifoSendRoom;
  if (room >= kDevFifoSize - 3) s |= kFifoSendMost;  // the library counts 29 bytes of credit
  if (room == kDevFifoSize) s |= kFifoSendEmpty;
  return s;
}

void DevBoard::FifoReset() {
  WriteRegisterMasked(kRegControl, kCtlFifoReset, kCtlFifoReset);
  WriteRegisterMasked(kRegControl, 0, kCtlFifoReset);
}

bool DevBoard::TargetSend(u8 value) {
  if (regs_[kRegControl] & kCtlFifoReset) return false;
  return to_host_.Push(value);
}

bool DevBoard::TargetReceive(u8& value) { return to_target_.Pop(value); }

bool DevBoard::TargetPeek(u8& value) const { return to_target_.Peek(value); }

// --- Interface registers ----------------------------------------------------

bool DevBoard::WriteRegister(u8 reg, u8 value) {
  if (reg >= kDevRegisterCount) return false;
  if (Paged(reg)) {
    // any set-up written ends a frame read-out (the level probe writes 32)
    if (reg <= 43) readout_ = false;
    if (Page1()) {
      const u8 was = page1_[reg];
      page1_[reg] = value;
      PagedWritten(reg, was, value);
      return true;
    }
    if (reg == kRegEventStatus) arm_trace_ = true;  // the trace trigger's sources
  }
  const u8 before = regs_[reg];
  regs_[reg] = value;
  // first write since the watch began: keep what it was
  if (const u64 bit = u64(1) << reg; !(shadow_written_ & bit)) {
    shadow_written_ |= bit;
    shadow_before_[reg] = before;
  }
  if (reg == kRegMonitorLanes) DropShortcut();  // the monitor window comes or goes
  switch (reg) {
    case kRegEmuAddressLow:
      emu_counter_ = u16((emu_counter_ & 0xFF00) | value);
      break;
    case kRegEmuAddressHigh:
      emu_counter_ = u16((emu_counter_ & 0x00FF) | value << 8);
      break;
    case kRegEmuData:
      if (EmuRegisterOpen()) {
        EmuWrite(EmuRegisterAddress(), value);
        ++emu_counter_;
      }
      break;
    case kRegMonitorData:
      // host holds lane 0?
      if (!(regs_[kRegMonitorLanes] & 0x01)) {
        const int i = MonitorIndex(SelectedBank(), regs_[kRegMonitorAddress]);
        if (i >= 0) monitor_[std::size_t(i)] = value;
      }
      break;
    case kRegControl:
      ControlWritten(before, value);
      break;
    case kRegChannel:
      ChannelSend(value);
      break;
    case kRegLogicData:
      LogicData(value);
      break;
    case kRegTraceControl:
      // bit 1 rising: the trace starts in the mode written with it
      if (!(before & 0x02) && (value & 0x02)) {
        readout_ = false;
        Events().TraceStart(u8(value & ~0x02));
      } else if ((before & 0x02) && !(value & 0x02)) {
        Events().TraceStop();
      }
      break;
    case kRegTraceFrameLow:
    case kRegTraceFrameHigh:
      readout_ = true;
      break;
    case kRegLogicStatus:
      LogicWritten(before, value);
      break;
    default:
      break;
  }
  return true;
}

bool DevBoard::WriteRegisterMasked(u8 reg, u8 value, u8 mask) {
  if (reg >= kDevRegisterCount) return false;
  const u8 now = Paged(reg) && Page1() ? page1_[reg] : regs_[reg];
  return WriteRegister(reg, u8((now & ~mask) | (value & mask)));
}

u8 DevBoard::ReadRegister(u8 reg) {
  if (reg >= kDevRegisterCount) return 0xFF;
  if (Paged(reg) && reg != kRegEventStatus) return PagedRead(reg);
  switch (reg) {
    case kRegEmuData: {
      if (!EmuRegisterOpen()) return 0xFF;
      const u8 v = EmuRead(EmuRegisterAddress());
      ++emu_counter_;
      return v;
    }
    case kRegMonitorData: {
      if (regs_[kRegMonitorLanes] & 0x01) return 0xFF;  // the target has the window
      const int i = MonitorIndex(SelectedBank(), regs_[kRegMonitorAddress]);
      return i >= 0 ? monitor_[std::size_t(i)] : 0xFF;
    }
    case kRegControl: {
      u8 v = 0;
      if (power_) {
        v |= kCtlPowerPresent;
        if (user_running_) v |= kCtlUserRunning;
        if (run_started_) v |= kCtlRunStarted;
      }
      return v;
    }
    case kRegRunTime3:
      run_time_latch_ = RunTimeRead();
      return u8(run_time_latch_ >> 24);
    case kRegRunTime0:
    case kRegRunTime0 + 1:
    case kRegRunTime0 + 2:
      return u8(run_time_latch_ >> (8 * (reg - kRegRunTime0)));
    case kRegChannelReceive:
      return ChannelReceive();
    case kRegChannel:
      return FifoStatus();
    case kRegSupply:
      return second_supply_ ? 0x80 : 0x00;
    case kRegJtagStatus:
      return 0x00;
    case kRegTraceDelayLow:
    case kRegTraceDelayHigh: {
      const u16 counted = u16(events_.TraceDelayCounted() - 1);
      return reg == kRegTraceDelayLow ? u8(counted) : u8(counted >> 8);
    }
    case kRegEventStatus:
      return events_.Status();
    case kRegTraceControl: {
      u8 v = 0;
      if (events_.TraceRecording()) v |= kTraceCtlRecording;
      if (events_.TraceWrapped()) v |= kTraceCtlWrapped;
      if (events_.TraceDelayDone()) v |= kTraceCtlDelayDone;
      return v;
    }
    case kRegTraceFrameLow:
      return u8(events_.TraceFrameAddress());
    case kRegTraceFrameHigh:
      return u8(events_.TraceFrameAddress() >> 8);
    case kRegLogicStatus:
      alive_ ^= kLogicAlive;
      return u8((fixture_.board_id & 15) << 4 | alive_ | logic_state_);
    default:
      // no read-back: the bus floats high. Register 38 among them, so the
      // probe for the extended event logic finds the basic one only.
      return 0xFF;
  }
}

bool DevBoard::WriteRegisterBlock(u8 reg, std::span<const u8> data) {
  if (reg >= kDevRegisterCount) return false;
  for (u8 b : data) WriteRegister(reg, b);
  return true;
}

bool DevBoard::ReadRegisterBlock(u8 reg, std::span<u8> out) {
  if (reg >= kDevRegisterCount) return false;
  for (u8& b : out) b = ReadRegister(reg);
  return true;
}

u8 DevBoard::RegisterShadow(u8 reg) const { return reg < kDevRegisterCount ? regs_[reg] : 0; }

void DevBoard::WatchShadow() {
  if (shadow_watches_++ == 0) shadow_written_ = 0;
}

u64 DevBoard::EndShadowWatch() {
  if (shadow_watches_ > 0) --shadow_watches_;
  u64 changed = 0;
  for (u64 left = shadow_written_; left != 0; left &= left - 1) {
    const int reg = std::countr_zero(left);
    if (regs_[std::size_t(reg)] != shadow_before_[std::size_t(reg)]) changed |= u64(1) << reg;
  }
  return changed;
}

// --- The instruments through their registers ---------------------------------

u64 DevBoard::Now() const { return cpu_ != nullptr ? cpu_->Clock() : tstates_; }

// `bytes` bytes of a register's latch, least significant first, ending
// `offset_back` bytes before the newest.
u32 DevBoard::Latched(u8 reg, std::size_t offset_back, std::size_t bytes) const {
  const auto& l = latch_[reg];
  u32 v = 0;
  for (std::size_t i = 0; i < bytes; ++i) v |= u32(l[l.size() - 1 - offset_back - (bytes - 1 - i)]) << (8 * i);
  return v;
}

// A pass count register: 0 stands for the first match.
u16 DevBoard::PassFromRegister(std::size_t select) const {
  const u16 v = u16(pass_bytes_[select & 3][0] | pass_bytes_[select & 3][1] << 8);
  return v == 0 ? 1 : u16(v + 2);
}

void DevBoard::PagedWritten(u8 reg, u8 before, u8 value) {
  auto& l = latch_[reg];
  l[0] = l[1];
  l[1] = l[2];
  l[2] = value;
  const std::size_t select = (page1_[kRegEventSelect] >> 2) & 3;
  switch (reg) {
    case kRegPassCount:
      pass_bytes_[select][0] = pass_bytes_[select][1];
      pass_bytes_[select][1] = value;
      break;
    case kRegEventEnable: {
      const u8 was = before & 7;
      const u8 now = value & 7;
      if (was == 0 && now == 7) {
        ArmFromRegisters();
      } else if (const u8 rising = u8(now & ~was); rising != 0) {
        for (std::size_t i = 0; i < kDevEventChannels; ++i)
          if (rising & (1u << i)) LoadChannel(i);
      }
      break;
    }
    case kRegEventStatus:
      arm_trace_ = false;  // the break's sources
      break;
    case kRegTimerControl:
      if (!(before & 0x80) && (value & 0x80)) {
        const u8 mode = value & 3;
        const u32 preset = (mode & 1) ? (Latched(kRegTimerCount, 0, 3) + 1) & 0xFFFFFF : 0;
        Events().TimerSet(u8((value >> 4) & 0x07), mode, preset, Now());
      }
      break;
    default:
      break;
  }
}

// Channel i from the set-up registers as the library left them.
void DevBoard::LoadChannel(std::size_t index) {
  DevEventChannel c;
  for (std::size_t b = 0; b < 4; ++b) {
    constexpr u8 kData[4] = {32, 33, 37, 38};
    constexpr u8 kAddress[4] = {34, 35, 43, 39};
    const auto& d = latch_[kData[b]];
    const auto& a = latch_[kAddress[b]];
    c.data_value |= u32(d[1]) << (8 * b);
    c.data_mask |= u32(d[2]) << (8 * b);
    c.address_end |= u32(a[0]) << (8 * b);
    c.address_start |= u32(a[1]) << (8 * b);
    c.address_mask |= u32(a[2]) << (8 * b);
  }
  c.status_value = u16(latch_[42][1] | latch_[40][1] << 8);
  c.status_mask = u16(latch_[42][2] | latch_[40][2] << 8);
  c.address_negate = (page1_[kRegEventNegate] >> index) & 1;
  c.data_negate = (page1_[kRegEventNegate] >> (4 + index)) & 1;
  c.pass_count = PassFromRegister(index);
  Events().SetChannel(index, c);
}

void DevBoard::ArmFromRegisters() {
  DevEventSelection s;
  s.sequence = (page1_[kRegEventEnable] & 0x80) != 0;
  s.pass_count = PassFromRegister(3);
  if (arm_trace_) {
    s.sources = regs_[kRegEventStatus];
    Events().ArmTrigger(s, u16((regs_[kRegTraceDelayLow] | regs_[kRegTraceDelayHigh] << 8) + 8));
  } else {
    s.sources = page1_[kRegEventStatus];
    Events().ArmBreak(s);
  }
}

u8 DevBoard::FrameByte(u8 reg) const {
  const DevTraceFrame& f = events_.Frame(u16(regs_[kRegTraceFrameLow] | regs_[kRegTraceFrameHigh] << 8));
  const u16 extra = u16(events_.Stamp(f.clock) | f.marker);
  switch (reg) {
    case 34: return u8(f.address);
    case 35: return u8(f.address >> 8);
    case 43: return u8(f.address >> 16);
    case 39: return u8(f.address >> 24);
    case 32: return f.data;
    case 42: return f.status;
    case 46: return u8(extra);
    case 47: return u8(extra >> 8);
    default: return 0;  // data bytes 1..3 and the status high byte of an 8-bit bus
  }
}

// Where the program fetches now: between two slices the bus's next cycle is
// the fetch at PC; a stopped program leaves the trace's last fetch.
u8 DevBoard::SampleByte(u8 reg) const {
  u32 address = 0;
  u8 status = 0;
  if (CheckRun() & 1) {
    if (cpu_ != nullptr) address = mmu_.Translate(cpu_->GetRegisters().pc);
    status = kDevStatusFetch;
  } else if (!events_.LastFetch(address, status)) {
    address = 0;
    status = 0;
  }
  switch (reg) {
    case 34: return u8(address);
    case 35: return u8(address >> 8);
    case 43: return u8(address >> 16);
    case 39: return u8(address >> 24);
    case 42: return status;
    case 40: return 0;
    default: return 0xFF;
  }
}

u8 DevBoard::PagedRead(u8 reg) {
  // the timer's registers keep their numbers on page 1 during a read-out
  const bool timer = reg == kRegTimerControl || reg == kRegTimerCount;
  if (readout_ && reg != 48 && reg != 49 && reg != 50 && !(timer && Page1())) return FrameByte(reg);
  if (Page1() && reg == kRegTimerControl) {
    u32 count = 0;
    const u8 s = events_.TimerRead(count, Now());
    if (s & kDevTimerDone) timer_latched_ = count;
    return s;
  }
  if (Page1() && reg == kRegTimerCount) {
    const u32 down = u32(-timer_latched_) & 0xFFFFFF;
    return u8(down >> (8 * ((page1_[kRegTimerControl] >> 2) & 3)));
  }
  // the basic event logic: its first data register reads back on page 0
  if (reg == kRegEventData0 && !Page1()) return regs_[reg];
  return SampleByte(reg);
}

// Register 7: the reset, NMI, run strobe, FIFO reset and counter clear lines.
void DevBoard::ControlWritten(u8 before, u8 after) {
  if (!(after & kCtlResetRelease)) {
    // reset newly asserted?
    if (before & kCtlResetRelease) reset_pending_ = true;
    user_running_ = false;
    nmi_pending_ = false;
    nmi_rest_ = after & kCtlNmiHold;  // the NMI set-up is taken while reset is held
  } else if (power_) {
    if (!(before & kCtlNmiPulse) && (after & kCtlNmiPulse)) nmi_pending_ = true;
    // bit 2 leaving its set-up level holds NMI: one NMI; coming back ends the hold
    if ((before & kCtlNmiHold) == nmi_rest_ && (after & kCtlNmiHold) != nmi_rest_) nmi_pending_ = true;
  }
  if (after & kCtlRunStrobe) run_started_ = false;
  if (after & kCtlFifoReset) {
    to_target_ = Fifo{};
    to_host_ = Fifo{};
  }
  if (after & kCtlRunTimeClear) run_tstates_ = 0;
}

u16 DevBoard::CheckRun() const {
  u8 v = 0;
  if (power_) v = u8((user_running_ ? 1 : 0) | (run_started_ ? 2 : 0));
  return v;
}

u32 DevBoard::CheckVcc(BiosWorkArea& work, u16 flag) const {
  u32 r = 0;
  if (!power_) r |= 1;
  if (flag && !second_supply_) r |= 2;
  if (r) work.set16<kWorkStatus>(kStatusPowerOff);
  return r;
}

// --- Logic configuration ----------------------------------------------------

void DevBoard::LogicWritten(u8 before, u8 after) {
  if (!(after & 0x01)) {
    logic_state_ = kLogicBlank;  // held blank
  } else if (!(before & 0x01)) {
    logic_state_ = kLogicLoading;
    logic_received_ = 0;
  }
}

// Only the magic is read; the bytes behind it configure nothing here.
void DevBoard::LogicData(u8 value) {
  if (logic_state_ != kLogicLoading) return;
  if (value != kDevLogicMagic[logic_received_]) {
    logic_state_ = kLogicFailed;
    return;
  }
  if (++logic_received_ == kDevLogicMagic.size()) logic_state_ = kLogicConfigured;
}

// The library's register sequence. The trailer is taken from the start of the
// piece; a piece shorter than the trailer is padded with zeros.
u32 DevBoard::FlexConfig(BiosWorkArea& work, u8 flags, std::span<const u8> data) {
  if (flags & 0x01) {
    WriteRegisterMasked(kRegLogicStatus, 0, 0x01);
    WriteRegisterMasked(kRegLogicStatus, 0x01, 0x01);
    if ((ReadRegister(kRegLogicStatus) & 0x03) != kLogicLoading) {
      work.set16<kWorkStatus>(kStatusLogicConfig);
      return 1;
    }
  }
  WriteRegisterBlock(kRegLogicData, data);
  if (!(flags & 0x02)) return 0;
  for (std::size_t i = 0; i < kDevLogicTrailer; ++i) WriteRegister(kRegLogicData, i < data.size() ? data[i] : 0);
  if ((ReadRegister(kRegLogicStatus) & 0x03) != kLogicConfigured) {
    work.set16<kWorkStatus>(kStatusLogicConfig);
    return 1;
  }
  return 0;
}

// --- Run-time counter -------------------------------------------------------

void DevBoard::RunTimeClear() {
  WriteRegisterMasked(kRegControl, kCtlRunTimeClear, kCtlRunTimeClear);
  WriteRegisterMasked(kRegControl, 0, kCtlRunTimeClear);
}

// Microseconds, wrapping at 2^32 like a 32-bit counter. Split so that the
// product cannot overflow: (t / hz) * 10^6 + (t % hz) * 10^6 / hz.
u32 DevBoard::RunTimeRead() const {
  const u64 hz = fixture_.cpu_clock_hz ? fixture_.cpu_clock_hz : 1'000'000;
  const u64 us = run_tstates_ / hz * 1'000'000 + run_tstates_ % hz * 1'000'000 / hz;
  return u32(us);
}

void DevBoard::CountTStates(u32 count) {
  tstates_ += count;
  // the program under test runs and the counter is not held clear?
  if (power_ && user_running_ && !(regs_[kRegControl] & kCtlRunTimeClear)) run_tstates_ += count;
}

// --- Lines ------------------------------------------------------------------

bool DevBoard::ResetHeld() const { return !power_ || !(regs_[kRegControl] & kCtlResetRelease); }

bool DevBoard::TakeReset() {
  const bool r = reset_pending_;
  reset_pending_ = false;
  return r;
}

bool DevBoard::TakeNmi() {
  const bool r = nmi_pending_;
  nmi_pending_ = false;
  return r;
}

void DevBoard::SetTargetPower(bool on) {
  if (on == power_) return;
  power_ = on;
  user_running_ = false;
  run_started_ = false;
  nmi_pending_ = false;
  if (on) reset_pending_ = true;  // the target comes back through its power-on reset
}

void DevBoard::SetUserRunning(bool running) {
  if (running && (!power_ || ResetHeld())) return;  // nothing runs without power or in reset
  if (running && !user_running_) {
    run_started_ = true;
    readout_ = false;  // 34/35/43/39 and 42/40 show where the program fetches again
  }
  if (running != user_running_) DropShortcut();
  user_running_ = running;
}
