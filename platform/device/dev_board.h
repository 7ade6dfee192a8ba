// The simulated emulator board: emulation memory with its ROM areas in the
// target's address space, target RAM and port latches, the monitor memory and
// its window, the two channel FIFOs, the 64 interface registers with the bits
// the library reads back, the run-time counter, the logic-configuration loader,
// and the reset, NMI and power lines that the CPU side reads.
// The CPU reaches the board through DevBus; the driver entry and the board
// ports reach it through the operations below. Every number that arrives with
// a request (register, address, bank, count) is checked here before it indexes
// anything.
#pragma once

#include <array>
#include <cstddef>
#include <functional>
#include <span>
#include <utility>
#include <vector>

#include "platform/device/dev_bus.h"
#include "platform/device/dev_events.h"
#include "platform/device/dev_fixture.h"
#include "platform/device/dev_mmu.h"
#include "platform/device/dev_layout.h"

// Emulation-area kinds, as the engine writes them into the work area.
constexpr u16 kDevKindNone = 0;
constexpr u16 kDevKindLrom1 = 64;
constexpr u16 kDevKindUrom1 = 65;
constexpr u16 kDevKindMonitor = 66;   // the monitor area inside LROM1
constexpr u16 kDevKindLrom2 = 128;
constexpr u16 kDevKindUrom2 = 129;

// Monitor memory: 128 banks of 64 bytes. The monitor window is the 128-byte
// monitor area at the monitor code address: its lower 64 bytes show the bank
// selected in register 10, its upper 64 bytes always show bank 127. The
// selected bank is also the monitor's command register: the engine selects the
// bank of a request's code before it rings the channel, so the code at the
// monitor code address is that request's handler. The image the engine writes
// follows from this: its entry chunk goes to bank 127, the handlers to banks 2..126.
constexpr std::size_t kDevMonitorBanks = 128;
constexpr std::size_t kDevMonitorBankSize = 64;
constexpr std::size_t kDevMonitorMemorySize = kDevMonitorBanks * kDevMonitorBankSize;
constexpr u8 kDevTopBank = 127;        // the bank fixed in the window's upper half
constexpr u16 kDevTopBankCode = 255;   // how bank 127 is named in requests and register 10
static_assert(2 * kDevMonitorBankSize == kDevMonitorBlock);

constexpr std::size_t kDevFifoSize = 32;       // each channel FIFO
constexpr std::size_t kDevRegisterCount = 64;  // interface registers 0..63
constexpr std::size_t kDevPortCount = 0x10000;

// The logic-configuration data (what follows the first 0x1A of the
// configuration file) must start with these 8 bytes; the rest is not read.
constexpr std::array<u8, 8> kDevLogicMagic = {'R', 'Z', '7', 'H', 'W', 'F', '0', '1'};
// Bytes clocked in after the last piece to finish a configuration.
constexpr std::size_t kDevLogicTrailer = 20;

// Interface register numbers with a meaning on this board.
constexpr u8 kRegEmuAddressLow = 0;    // emulation-memory address bits 0-7
constexpr u8 kRegEmuAddressHigh = 1;   // bits 8-15
constexpr u8 kRegEmuMode = 2;          // bits 2-3 both set: access closed
constexpr u8 kRegEmuData = 3;          // data at the address; the low 16 bits count up
constexpr u8 kRegMonitorLanes = 4;     // low nibble: host byte lanes, active low
constexpr u8 kRegMonitorData = 5;
constexpr u8 kRegMonitorAddress = 6;   // byte within the bank
constexpr u8 kRegControl = 7;          // bits below
constexpr u8 kRegRunTime0 = 8;         // read: run-time counter bytes 0..3 in 8..11
constexpr u8 kRegRunTime3 = 11;        // reading it latches the counter
constexpr u8 kRegMonitorBank = 10;     // write: 0..126, or 255 for bank 127
constexpr u8 kRegEmuAddressTop = 13;   // bits 16-23
constexpr u8 kRegChannelReceive = 14;  // read: next byte from the target
constexpr u8 kRegChannel = 15;         // write: byte to the target; read: FIFO status
constexpr u8 kRegSupply = 16;          // read: bit 7 second supply present
constexpr u8 kRegJtagStatus = 22;      // no JTAG port: reads 0 (no room, nothing ready)
constexpr u8 kRegEventData0 = 32;      // basic event logic: reads back what was written
constexpr u8 kRegEventData3 = 38;      // extended event logic: absent, reads 0xFF
constexpr u8 kRegEventSelect = 36;     // page 1 bits 2-3: the channel being loaded
constexpr u8 kRegTimerControl = 46;    // page 1
constexpr u8 kRegTimerCount = 47;      // page 1
constexpr u8 kRegPassCount = 48;       // page 1
constexpr u8 kRegEventEnable = 49;     // page 1
constexpr u8 kRegEventNegate = 50;     // page 1
constexpr u8 kRegPage = 44;            // bit 7: page 1
constexpr u8 kRegTraceDelayLow = 52;
constexpr u8 kRegTraceDelayHigh = 53;
constexpr u8 kRegEventStatus = 51;     // the sources that fired since arming
constexpr u8 kRegTraceControl = 55;    // read: bits below
constexpr u8 kRegTraceFrameLow = 56;   // the next trace frame written
constexpr u8 kRegTraceFrameHigh = 57;
constexpr u8 kRegLogicData = 62;       // logic-configuration bytes
constexpr u8 kRegLogicStatus = 63;     // write bit 0: 0 holds the logic blank, 0->1 starts loading

// Register 7 as written.
constexpr u8 kCtlResetRelease = 0x01;  // 0 holds the target in reset
constexpr u8 kCtlNmiPulse = 0x02;      // 0->1 requests one NMI
constexpr u8 kCtlNmiHold = 0x04;       // away from its set-up level: NMI held
constexpr u8 kCtlRunStrobe = 0x10;     // written 1: clears the run-started latch
constexpr u8 kCtlFifoReset = 0x20;     // 1: both FIFOs empty and held
constexpr u8 kCtlRunTimeClear = 0x80;  // 1: run-time counter 0 and held
// Register 7 as read.
constexpr u8 kCtlUserRunning = 0x10;   // the target runs the program under test
constexpr u8 kCtlRunStarted = 0x20;    // it started since the last run strobe
constexpr u8 kCtlPowerPresent = 0x80;

// Register 55 as read.
constexpr u8 kTraceCtlRecording = 0x01;
constexpr u8 kTraceCtlWrapped = 0x02;
constexpr u8 kTraceCtlDelayDone = 0x04;

// Register 15 as read (FIFO status).
constexpr u8 kFifoReceiveAny = 0x01;   // 1 byte or more from the target
constexpr u8 kFifoReceiveFull = 0x02;  // 32 bytes
constexpr u8 kFifoReceiveHalf = 0x04;  // 16 bytes or more
constexpr u8 kFifoSendRoom = 0x10;     // room for 1 byte or more
constexpr u8 kFifoSendEmpty = 0x20;    // room for 32
constexpr u8 kFifoSendMost = 0x40;     // room for 29 or more

// Register 63 as read: bits 0-1 the logic state, bit 3 toggles on every read
// (the board is alive), high nibble the board id.
constexpr u8 kLogicBlank = 0;
constexpr u8 kLogicFailed = 1;      // the data did not start with kDevLogicMagic
constexpr u8 kLogicLoading = 2;
constexpr u8 kLogicConfigured = 3;
constexpr u8 kLogicAlive = 0x08;

class DevCpu;

class DevBoard : public DevBus {
 public:
  // Emulation memory reads 0xFF (unprogrammed), target RAM 0, port latches
  // 0xFF; registers are 0, so the target starts held in reset, with power.
  // A size code above 5 counts as 5.
  explicit DevBoard(const DevFixture& fixture = DevFixture{});

  const DevFixture& Fixture() const { return fixture_; }

  // --- DevBus: the target's cycles. Memory cycles go through the MMU to the
  // physical address; I/O cycles at the MMU's registers reach them, not the
  // port latches. Each cycle is counted by kind.
  u8 MemoryRead(u16 address, BusCycle cycle) override;
  void MemoryWrite(u16 address, u8 value) override;
  u8 IoRead(u16 port) override;
  void IoWrite(u16 port, u8 value) override;
  u8 InterruptAck() override;  // an idle bus: 0xFF (RST 38H)
  void InstrumentsBreak() override;

  u64 CycleCount(BusCycle cycle) const;
  void ClearCycleCounts();

  // --- Target memory by physical address, as the CPU sees it but uncounted
  // (the monitor model reads and writes through these). In the enabled monitor
  // window: monitor memory; in a ROM area: emulation memory, a write dropped;
  // elsewhere target RAM. Beyond the 1 MiB space: 0xFF, a write dropped.
  u8 PeekTarget(u32 physical) const;
  void PokeTarget(u32 physical, u8 value);
  // The same by logical address, through the MMU as it stands: what a program
  // on the target (the monitor among them) sees at that address.
  u8 PeekLogical(u16 logical) const { return PeekTarget(mmu_.Translate(logical)); }
  void PokeLogical(u16 logical, u8 value) { PokeTarget(mmu_.Translate(logical), value); }

  // --- The target CPU's MMU, of the fixture's kind. The CPU's reset line
  // resets it (the target's owner calls Reset()).
  // Whoever may change the MMU's registers drops the CPU's shortcut.
  DevMmu& Mmu() {
    DropShortcut();
    return mmu_;
  }
  const DevMmu& Mmu() const { return mmu_; }
  // Fills the CPU's shortcut (DevBus::Shortcut) for the map as it stands:
  // the owner calls it before it runs the CPU. Pages the MMU maps onto one
  // whole page of the direct map go straight; the rest see every cycle.
  void RefreshShortcut();

  // --- Emulation memory by position. Past its end a read gives 0xFF and a
  // write is dropped: nothing aliases.
  u32 EmuSize() const { return u32(emu_.size()); }
  u8 EmuRead(u32 position) const;
  void EmuWrite(u32 position, u8 value);

  // _Q_wrrom, _Q_rdrom, _Q_wrromblk, _Q_rdromblk: at the work area's current
  // address (kWorkRomAddress) with its area kind (kWorkAreaKind). A kind other
  // than 64, 65, 66, 128, 129 reaches no memory (reads 0xFF, writes dropped).
  // The block forms advance the current address by the block's length.
  void WriteRom(const BiosWorkArea& work, u8 value);
  u8 ReadRom(const BiosWorkArea& work) const;
  void WriteRomBlock(BiosWorkArea& work, std::span<const u8> data);
  void ReadRomBlock(BiosWorkArea& work, std::span<u8> out) const;

  // --- Monitor memory. Bank numbers are 0..126 and 255 (bank 127); any other
  // is refused (false, nothing changes). A block must lie inside its bank.
  // The block forms select the bank and claim the host byte lane (register 4
  // low nibble := 14), which takes the window away from the target until the
  // next MonitorEnable(1), as the library's register sequence does.
  bool BankSet(u16 bank);
  bool WriteMonitorBlock(u16 bank, u16 address, std::span<const u8> data);
  bool ReadMonitorBlock(u16 bank, u16 address, std::span<u8> out);
  void MonitorEnable(u16 flag);                     // _Q_mon_en
  bool MonitorWindowOn() const { return (regs_[kRegMonitorLanes] & 0x01) != 0; }
  // The selected bank 0..127, or -1 when register 10 holds a refused value.
  int SelectedBank() const;
  std::span<const u8, kDevMonitorMemorySize> MonitorMemory() const { return monitor_; }

  // --- Channel FIFOs. The host side is the driver's, the target side the
  // monitor's. A byte sent into a full FIFO, or while register 7 holds the
  // FIFOs in reset, is lost (false). Receiving from an empty FIFO gives 0xFF.
  bool ChannelSend(u8 value);                       // host -> target
  u8 ChannelReceive();                              // target -> host
  std::size_t SendRoom() const;
  std::size_t ReceiveCount() const;
  u8 FifoStatus() const;                            // register 15 as read
  void FifoReset();                                 // _Q_fifo_rst: pulse register 7 bit 5
  bool TargetSend(u8 value);                        // target -> host
  bool TargetReceive(u8& value);                    // host -> target
  bool TargetPeek(u8& value) const;                 // the next byte from the host, left waiting
  std::size_t TargetPending() const;                // bytes from the host waiting

  // --- Interface registers. Writes keep the value (the board's shadow) and
  // act; reads give the read-back bits, 0xFF where a register has none. A
  // register number of 64 or more is refused (false, or 0xFF read).
  // Register 44 bit 7 selects page 1, where registers 32..43 and 46..51 are
  // the event channels' and the timer's set-up (their own shadow); the other
  // registers are the same on both pages. RegisterShadow() gives page 0.
  //
  // The instruments through their registers (the library's direct back end):
  // page 1: register 36 bits 2-3 select a channel (3: the AND/SEQ
  // combination); 32/33/37/38 take (value, mask) of data bytes 0..3, 34/35/43/39
  // (end, start, mask) of address bytes 0..3, 42/40 (value, mask) of the status
  // low and high byte, 50 the negations, 48 the selected pass count less 2
  // (low byte first). Setting one bit i of 49 loads channel i; setting bits
  // 0-2 together from clear arms the consumer whose sources went last into
  // 51: page 1 the break, page 0 the trace trigger (delay 52/53 + 8); 49 bit 7
  // is the sequence flag. Register 47 takes the timer preset less 1 (three
  // bytes, low first), 46 the resolution (high nibble) and mode (bits 0-1);
  // 46 bit 7 rising starts the timer. Read on page 1, 46 is the timer status
  // (a finished count is latched) and 47 the latched count's byte chosen by
  // 46 bits 2-3, negated. Page 0: 55 bit 1 rising starts the trace in the mode
  // written with it, falling stops it; 56/57 point the read-out at a frame,
  // after which 32..43 and 46/47 read that frame (address 34/35/43/39, data
  // 32/33/37/38, status 42/40, stamp 46 and 47 with the group marker in bit
  // 7) until a register of 32..43 is written; otherwise 34/35/43/39 and 42/40
  // read where the program fetches now. 52/53 read the frames counted since
  // the trigger less 1. A pass count register of 0 stands for 1 and 2 alike:
  // the first match fires.
  bool WriteRegister(u8 reg, u8 value);
  bool WriteRegisterMasked(u8 reg, u8 value, u8 mask);  // _Q_wrreg0
  u8 ReadRegister(u8 reg);
  bool WriteRegisterBlock(u8 reg, std::span<const u8> data);
  bool ReadRegisterBlock(u8 reg, std::span<u8> out);
  u8 RegisterShadow(u8 reg) const;                  // last value written; 0 when refused
  // A request's bookkeeping without a copy of all 64 registers: from
  // WatchShadow() to EndShadowWatch(), which returns the registers whose
  // shadow differs from what it was at the start, one bit per register.
  // Watches may nest (a request served while another waits for the clock):
  // the inner one reports the changes since the outer one began.
  void WatchShadow();
  u64 EndShadowWatch();
  bool Page1() const { return (regs_[kRegPage] & 0x80) != 0; }

  u8 InterfaceInit() const { return u8(fixture_.board_id & 15); }  // _Q_if_init
  u16 CheckRun() const;                             // _Q_chk_run: register 7 bits 4-5
  // _Q_chk_vcc: bit 0 target power off, bit 1 second supply off (flag != 0
  // only); non-zero sets the work area's status word to 4.
  u32 CheckVcc(BiosWorkArea& work, u16 flag) const;
  // _Q_flex_cfg: flag bit 0 starts a load, bit 1 finishes it; 0 done, 1 failed
  // (status word := 2). The data must begin with kDevLogicMagic.
  u32 FlexConfig(BiosWorkArea& work, u8 flags, std::span<const u8> data);
  u8 LogicState() const { return logic_state_; }

  // --- Run-time counter: microseconds of target time while the program under
  // test runs, from the T-states the CPU side reports.
  void RunTimeClear();                              // _Q_rtc0_clr: pulse register 7 bit 7
  u32 RunTimeRead() const;                          // _Q_rtc0_rd: registers 11, 10, 9, 8 read
  void CountTStates(u32 count);
  u64 TStates() const { return tstates_; }          // all T-states ever reported

  // --- Lines to the CPU side and the target's state.
  bool ResetHeld() const;                           // reset asserted, or no power
  bool TakeReset();                                 // true once per assertion (and at power-on)
  bool TakeNmi();                                   // true once per requested NMI
  void SetTargetPower(bool on);
  bool TargetPowered() const { return power_; }
  void SetSecondSupply(bool on) { second_supply_ = on; }
  // The monitor hands the target over (true) or takes it back (false).
  void SetUserRunning(bool running);

  u8 PortLatch(u16 port) const { return ports_[port]; }

  // --- Bus instruments: event channels, timer, trace memory. Whoever changes
  // their set-up drops the CPU's shortcut (they may need every cycle).
  DevEvents& Events();
  const DevEvents& Events() const { return events_; }
  // The CPU whose clock stamps the cycles and whose run a hardware break
  // ends after the current instruction; null: the board's own count.
  void SetCpu(DevCpu* cpu);
  // The external break inputs 1 and 2: a rising edge fires EXT1/EXT2.
  void SetExternalBreak(int line, bool level);
  // The target's own NMI pin: a rising edge requests one NMI.
  void SetNmiPin(bool level);

  // --- Opcode fetches inside the enabled monitor window go to this observer
  // first, with their offset 0..127 in the window. An observer that returns
  // true claims the fetch: the CPU reads a NOP (0x00) in place of memory, so
  // the instruction it runs there has no effect but PC + 1 and R + 1. The
  // monitor model watches its entry points with it. Empty: no observer.
  using FetchObserver = std::function<bool(u32 window_offset)>;
  void SetFetchObserver(FetchObserver observer) { fetch_observer_ = std::move(observer); }

 private:
  struct Fifo {
    std::array<u8, kDevFifoSize> bytes{};
    std::size_t head = 0;   // next byte out
    std::size_t count = 0;  // bytes held, 0..kDevFifoSize
    bool Push(u8 v);
    bool Pop(u8& v);
    bool Peek(u8& v) const {
      if (count == 0) return false;
      v = bytes[head];
      return true;
    }
  };

  // The instruments see every cycle of the program under test.
  bool Instrumented() const { return user_running_ && events_.Live(); }
  u8 MemoryReadPlain(u16 address, BusCycle cycle);
  void Observe(u32 address, u8 data, u8 status);
  void RaiseBreak();

  int MonitorIndex(int bank, u32 offset) const;  // into monitor_, -1 when out of range
  int MonitorWindowIndex(u32 offset) const;      // offset 0..127 in the window
  u8 MonitorWindowRead(u32 offset) const;
  void MonitorWindowWrite(u32 offset, u8 value);
  u32 EmuRegisterAddress() const;
  bool EmuRegisterOpen() const;
  void ControlWritten(u8 before, u8 after);
  void LogicWritten(u8 before, u8 after);
  void LogicData(u8 value);
  bool MonitorBlockArgs(u16 bank, u16 address, std::size_t count) const;
  // The instruments' registers (see WriteRegister).
  static bool Paged(u8 reg) { return (reg >= 32 && reg <= 43) || (reg >= 46 && reg <= 51); }
  void PagedWritten(u8 reg, u8 before, u8 value);
  u8 PagedRead(u8 reg);
  void LoadChannel(std::size_t index);
  void ArmFromRegisters();
  u16 PassFromRegister(std::size_t select) const;
  u32 Latched(u8 reg, std::size_t offset_back, std::size_t bytes) const;
  u8 FrameByte(u8 reg) const;
  u8 SampleByte(u8 reg) const;
  u64 Now() const;

  DevFixture fixture_;
  FetchObserver fetch_observer_;                     // see SetFetchObserver
  DevEvents events_;
  DevCpu* cpu_ = nullptr;
  bool nmi_pin_ = false;
  DevMmu mmu_;                                       // the CPU's MMU, between the CPU and memory
  // Direct byte pointers per 4 KiB physical page for the bus: RAM pages and
  // ROM pages that lie whole in one area and inside the emulation memory; null
  // where the full decode is needed (the monitor window's page, area edges).
  // Built for the window's state it was built with; writes go direct to RAM only.
  static constexpr std::size_t kMapPageShift = 12;
  static constexpr std::size_t kMapPages = kDevTargetSpace >> kMapPageShift;
  std::array<const u8*, kMapPages> read_map_{};
  std::array<u8*, kMapPages> write_map_{};
  int map_window_on_ = -1;                           // -1: not built yet
  void BuildMap(bool window_on);
  void DropShortcut();
  bool shortcut_valid_ = false;                      // shortcut_ is the map as it stands
  std::vector<u8> emu_;                              // emulation memory
  std::vector<u8> ram_;                              // target RAM, 1 MiB
  std::vector<u8> ports_;                            // port latches, 64 Ki
  std::array<u8, kDevMonitorMemorySize> monitor_{};  // bank b at b * 64
  std::array<u8, kDevRegisterCount> regs_{};         // the write shadow (page 0)
  int shadow_watches_ = 0;                           // WatchShadow() calls not yet ended
  u64 shadow_written_ = 0;                           // bit r: register r written since the outer watch began
  std::array<u8, kDevRegisterCount> shadow_before_{};  // its value then, where the bit is set
  std::array<u8, kDevRegisterCount> page1_{};        // page 1 of the paged registers
  // The last bytes written to each page-1 register, newest last: the
  // channel set-up registers take two or three bytes in a row.
  std::array<std::array<u8, 3>, kDevRegisterCount> latch_{};
  std::array<std::array<u8, 2>, 4> pass_bytes_{};    // register 48 by channel select (low, high)
  bool arm_trace_ = false;          // register 51 was last written on page 0
  u32 timer_latched_ = 0;           // the count of the last finished measurement
  bool readout_ = false;            // 56/57 point the read-out at a frame
  static constexpr std::size_t kCycleKinds = std::size_t(BusCycle::InterruptAck) + 1;
  std::array<u64, kCycleKinds> cycles_{};            // by BusCycle
  Fifo to_target_;                                   // host -> target
  Fifo to_host_;                                     // target -> host
  u16 emu_counter_ = 0;         // registers 0/1 as loaded, counted up by data accesses
  u8 logic_state_ = kLogicBlank;
  std::size_t logic_received_ = 0;  // magic bytes matched so far
  u8 alive_ = 0;                    // register 63 bit 3, toggled per read
  u32 run_time_latch_ = 0;          // microseconds latched by reading register 11
  u64 run_tstates_ = 0;             // T-states counted since the last clear
  u64 tstates_ = 0;
  u8 nmi_rest_ = 0;                 // register 7 bit 2 as set up while reset was held
  bool power_ = true;
  bool second_supply_ = true;
  bool user_running_ = false;
  bool run_started_ = false;
  bool reset_pending_ = true;       // the power-on reset
  bool nmi_pending_ = false;
};
