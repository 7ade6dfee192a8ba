// The binary layouts at the driver seam, which the library shares with its
// callers and with the driver: the caller's 1,046-byte work area and the
// 416-byte argument block of every I/O-control request. The library, the
// engine and the simulated driver all read this one definition. Both are byte blocks with fixed offsets, little
// endian; an address of caller memory in them is a 32-bit token (see
// platform/device/dev_tokens.h). No field is ever widened or moved.
#pragma once

#include <array>
#include <cassert>
#include <cstddef>

#include "platform/host/host_types.h"

// A fixed-size byte block read and written at compile-time offsets.
template <std::size_t N>
struct ByteBlock {
  static constexpr std::size_t kSize = N;
  std::array<u8, N> bytes{};

  template <std::size_t Off>
  u8 get8() const {
    static_assert(Off + 1 <= N);
    return bytes[Off];
  }
  template <std::size_t Off>
  u16 get16() const {
    static_assert(Off + 2 <= N);
    return load_le16(&bytes[Off]);
  }
  template <std::size_t Off>
  u32 get32() const {
    static_assert(Off + 4 <= N);
    return load_le32(&bytes[Off]);
  }
  template <std::size_t Off>
  void set8(u8 v) {
    static_assert(Off + 1 <= N);
    bytes[Off] = v;
  }
  template <std::size_t Off>
  void set16(u16 v) {
    static_assert(Off + 2 <= N);
    store_le16(&bytes[Off], v);
  }
  template <std::size_t Off>
  void set32(u32 v) {
    static_assert(Off + 4 <= N);
    store_le32(&bytes[Off], v);
  }

  // The same at an offset computed at run time (a field of the n-th record);
  // an offset past the block is a caller's fault.
  u16 get16_at(std::size_t off) const {
    assert(off + 2 <= N);
    return load_le16(&bytes[off]);
  }
  u32 get32_at(std::size_t off) const {
    assert(off + 4 <= N);
    return load_le32(&bytes[off]);
  }
  void set16_at(std::size_t off, u16 v) {
    assert(off + 2 <= N);
    store_le16(&bytes[off], v);
  }
  void set32_at(std::size_t off, u32 v) {
    assert(off + 4 <= N);
    store_le32(&bytes[off], v);
  }
};

// BiosWorkArea: allocated zero-filled by the caller, kept by the library.
// OFFSET                       WIDTH  MEANING
constexpr std::size_t kWorkAreaSize = 1046;
constexpr std::size_t kWorkTickLimit = 0;         // u16 wait ticks before a time-out
constexpr std::size_t kWorkStatus = 2;            // u16 1 time-out, 2 logic configuration failed, 4 power off
constexpr std::size_t kWorkBasePort = 4;          // u16 interface base I/O port
constexpr std::size_t kWorkPortMap = 6;           // u16 x13 ports derived from the base
constexpr std::size_t kWorkBank2Register = 32;    // u8 second-bank register last selected (255 unknown)
constexpr std::size_t kWorkBoardType = 33;        // u8 interface kind (low) and board generation (high)
constexpr std::size_t kWorkRegister = 34;         // u8 register last selected (255 unknown)
constexpr std::size_t kWorkRegisterShadow = 35;   // u8 x64 shadow of the write-only registers
constexpr std::size_t kWorkBusWidth = 294;        // u8 target data-bus width in bytes
constexpr std::size_t kWorkByteSwap = 295;        // u8 non-zero: byte order swapped within a bus word
constexpr std::size_t kWorkReg4High = 296;        // u8 register 4 bits 6-7 at initialisation
constexpr std::size_t kWorkReg12Nibble = 297;     // u8
constexpr std::size_t kWorkReg28Nibble = 298;     // u8
constexpr std::size_t kWorkMemoryClock = 299;     // u32 emulation-memory clock value
constexpr std::size_t kWorkAreaKind = 303;        // u16 emulation-memory area kind of the address
constexpr std::size_t kWorkRomAddress = 305;      // u32 current emulation-memory address
constexpr std::size_t kWorkAreaRemaining = 309;   // u32 bytes to the end of the area (engine)
constexpr std::size_t kWorkNextArea = 313;        // u32 bytes to the next area (engine)
constexpr std::size_t kWorkUserEvents = 317;      // 3 x 30 user event records
constexpr std::size_t kWorkLibraryEvents = 407;   // 3 x 30 the library's event copies
constexpr std::size_t kWorkEventEnable = 497;     // u8 run-event enable mask (6-byte set-up)
constexpr std::size_t kWorkTraceEventSetup = 503; // u8 x6 trace event set-up
constexpr std::size_t kWorkTimerStep = 509;       // u8 timer resolution step
constexpr std::size_t kWorkTimerFlags = 510;      // u8 timer flags
constexpr std::size_t kWorkTimerPreset = 511;     // u32 timer preset count
constexpr std::size_t kWorkReg54Copy = 515;       // u8 break/trace control
constexpr std::size_t kWorkTraceMode = 516;       // u8 trace mode
constexpr std::size_t kWorkTraceDelay = 517;      // u16 trace delay count
constexpr std::size_t kWorkTraceAdjust = 519;     // u8 trace frame adjustment found by the probe
constexpr std::size_t kWorkReg4Bit5 = 520;        // u8
constexpr std::size_t kWorkWaitClock = 521;       // u8
constexpr std::size_t kWorkReg7Bits = 523;        // u8
constexpr std::size_t kWorkBreakPortBits = 524;   // u8 break-port selection bits
constexpr std::size_t kWorkBreakPortValue = 525;  // u16 break-port selection value
constexpr std::size_t kWorkLockRecord = 531;      // u32 token of a LockHookRecord, or 0
constexpr std::size_t kWorkDriverMode = 539;      // u32 1 driver mode, 0 direct mode
constexpr std::size_t kWorkStartupSwitch = 843;   // u8 the engine's start-up switch flag
constexpr std::size_t kWorkReturnedCount = 963;   // u32 bytes returned by the last request
constexpr std::size_t kWorkChannelBuffer = 967;   // u8 x32 channel buffer
constexpr std::size_t kWorkStartCmdMark = 999;    // u32 cleared by a successful start command
constexpr std::size_t kWorkRunState = 1003;       // u16 last run state read
constexpr std::size_t kWorkReceiveCount = 1005;   // u32 bytes known in the receive FIFO (direct)
constexpr std::size_t kWorkSendCredit = 1009;     // u32 bytes the send FIFO can take (direct)
constexpr std::size_t kWorkCloseMemory = 1013;    // u8 close emulation-memory access first
constexpr std::size_t kWorkPollsPerTick = 1014;   // u16
constexpr std::size_t kWorkRegisterPage = 1016;   // u32 register page last selected
constexpr std::size_t kWorkPollCounter = 1020;    // u32
constexpr std::size_t kWorkTickCounter = 1024;    // u32
constexpr std::size_t kWorkTraceGroup = 1028;     // u16
constexpr std::size_t kWorkTraceGroupOffset = 1030;  // u16
constexpr std::size_t kWorkBoardTimerLast = 1032; // u16
constexpr std::size_t kWorkPushback = 1034;       // u16 pushed-back byte, 0xFFFF none
constexpr std::size_t kWorkBoardTimerMs = 1036;   // u32
constexpr std::size_t kWorkBoardTimerFrac = 1040; // u16
constexpr std::size_t kWorkBusy = 1042;           // u32 busy flag of the default lock

constexpr std::size_t kChannelBufferSize = 32;
constexpr std::size_t kEventRecordSize = 30;
constexpr u16 kNoPushback = 0xFFFF;

// Status word bits.
constexpr u16 kStatusTimeout = 1;
constexpr u16 kStatusLogicConfig = 2;
constexpr u16 kStatusPowerOff = 4;

struct BiosWorkArea : ByteBlock<kWorkAreaSize> {};
static_assert(sizeof(BiosWorkArea) == 1046);
static_assert(kWorkRegisterShadow + 64 <= kWorkBusWidth);
static_assert(kWorkUserEvents + 3 * kEventRecordSize == kWorkLibraryEvents);
static_assert(kWorkLibraryEvents + 3 * kEventRecordSize == kWorkEventEnable);
static_assert(kWorkChannelBuffer + kChannelBufferSize == kWorkStartCmdMark);
static_assert(kWorkBusy + 4 == kWorkAreaSize);

// DriverArgBlock: inputs packed from offset 0, the result at 256.
constexpr std::size_t kArgBlockSize = 416;
constexpr std::size_t kArgInputs = 0;             // inputs of the request, 256 bytes
constexpr std::size_t kArgInputSize = 256;
constexpr std::size_t kArgResult = 256;           // u32 result
constexpr std::size_t kArgWorkArea = 260;         // u32 token of the BiosWorkArea
constexpr std::size_t kArgChanSavedIndex = 264;   // u32 channel buffer: saved index
constexpr std::size_t kArgChanIndex = 268;        // u32 channel buffer: index
constexpr std::size_t kArgChanCount = 272;        // u32 channel buffer: pending bytes
constexpr std::size_t kArgChanReceive = 276;      // u32 channel buffer: receive-mode flag
constexpr std::size_t kArgSizeWorkArea = 280;     // u32 size query: the driver's work-area size
constexpr std::size_t kArgSizeArgBlock = 284;     // u32 size query: the driver's block size

struct DriverArgBlock : ByteBlock<kArgBlockSize> {};
static_assert(sizeof(DriverArgBlock) == 416);
static_assert(kArgInputs + kArgInputSize == kArgResult);
static_assert(kArgSizeArgBlock + 4 <= kArgBlockSize);

// Request n goes with I/O-control code 0x80002000 + 4n (device type 0x8000,
// function 0x800 + n, buffered, any access).
constexpr u32 bios_ioctl_code(u32 n) { return 0x80002000u + 4 * n; }
constexpr u32 kLockHookTag = 0xABCDEF01u;

// The request numbers of the I/O-control protocol. ORDER: request number.
enum class BiosRequest : u32 {
  IoRead = 0,
  IoWrite = 1,
  ReadRegister = 2,
  ReadRegisterBlock = 3,
  WriteRegisterMasked = 4,
  WriteRegister = 5,
  WriteRegisterBlock = 6,
  InterfaceInit = 8,
  Init = 9,
  WriteRom = 10,
  WriteRomBlock = 11,
  ReadRom = 12,
  ReadRomBlock = 13,
  BankSet = 14,
  WriteMonitorBlock = 15,
  ReadMonitorBlock = 16,
  MonitorEnable = 17,
  FifoReset = 18,
  PutChannel = 20,
  PutChannelBlock = 21,
  ChannelCheck = 22,
  GetChannel = 23,
  GetChannelBlock = 24,
  FlushChannel = 25,
  BreakPortSelect = 26,
  TargetReset = 27,
  TargetNmi = 28,
  CheckRun = 29,
  CheckVcc = 30,
  EventSet = 31,
  EventStatus = 32,
  DelayRead = 33,
  TriggerSet = 34,
  RunTimeClear = 35,
  RunTimeRead = 36,
  TimerStart = 37,
  TimerSet = 38,
  TimerRead = 39,
  PageSelect = 40,
  TraceGo = 41,
  TraceOn = 42,
  TraceStop = 43,
  TraceReadAddress = 44,
  SampleAddress = 45,
  SetFrameAddress = 46,
  ReadTraceData = 47,
  FlexConfig = 48,
  Wait = 49,
  DriverStatus = 50,
  StartCommand = 51,
  ProfileNmi = 52,
  JtagWriteBlock = 53,
  JtagReadFifo = 54,
  PushChannel = 56,
  FunctionSet = 57,
};
