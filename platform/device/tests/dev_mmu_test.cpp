#include "platform/device/dev_mmu.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <span>
#include <vector>

#include "platform/device/dev_board.h"
#include "platform/device/dev_cpu.h"
#include "platform/device/dev_monitor.h"
#include "platform/device/dev_monitor_image.h"
#include "platform/device/dev_target.h"

namespace {

struct Probe {
  u16 logical;
  u32 physical;
};

DevFixture fixture_of_kind(u16 kind) {
  DevFixture f;
  f.mmu_kind = kind;
  return f;
}

// --- Translation ------------------------------------------------------------

TEST(DevMmuTest, BankKindMapsTheThreeAreasAtTheirBoundaries) {
  const struct {
    const char* what;
    DevMmuBank bank;
    std::vector<Probe> probes;
  } cases[] = {
      {"bank area from 4000h, common area 1 from 8000h",
       {0x20, 0x10, 0x84},
       {{0x0000, 0x00000},
        {0x3FFF, 0x03FFF},
        {0x4000, 0x14000},
        {0x7FFF, 0x17FFF},
        {0x8000, 0x28000},
        {0xFFFF, 0x2FFFF}}},
      {"pages 4 and 14",
       {0x20, 0x10, 0xE4},
       {{0x3FFF, 0x03FFF}, {0x4000, 0x14000}, {0xDFFF, 0x1DFFF}, {0xE000, 0x2E000}}},
      {"after reset: all of it maps to itself",
       DevMmuBank{},
       {{0x0000, 0x00000}, {0xEFFF, 0x0EFFF}, {0xF000, 0x0F000}, {0xFFFF, 0x0FFFF}}},
      {"common area 1 wraps at 1 MiB", {0xF8, 0x00, 0x84}, {{0x7FFF, 0x07FFF}, {0x8000, 0x00000}, {0xFFFF, 0x07FFF}}},
      {"bank area wraps at 1 MiB", {0x00, 0xFF, 0x84}, {{0x3FFF, 0x03FFF}, {0x4000, 0x03000}, {0x7FFF, 0x06FFF}}},
      {"top of the 20-bit space", {0xF0, 0xF4, 0xC8}, {{0x8000, 0xFC000}, {0xBFFF, 0xFFFFF}, {0xFFFF, 0xFFFFF}}},
      {"bank area empty: BA = CA", {0x20, 0x10, 0x88}, {{0x7FFF, 0x07FFF}, {0x8000, 0x28000}}},
      {"no common area 0: BA = 0", {0x20, 0x10, 0x80}, {{0x0000, 0x10000}, {0x7FFF, 0x17FFF}, {0x8000, 0x28000}}},
      {"CA below BA: common area 1 wins",
       {0x20, 0x10, 0x48},
       {{0x3FFF, 0x03FFF}, {0x4000, 0x24000}, {0x8000, 0x28000}}},
  };
  for (u16 kind : {kDevMmuBank, kDevMmuBankS}) {
    for (const auto& c : cases) {
      SCOPED_TRACE(testing::Message() << "kind " << kind << ": " << c.what);
      DevMmu mmu(kind, 0x38);
      mmu.SetBank(c.bank);
      for (const Probe& p : c.probes) {
        SCOPED_TRACE(testing::Message() << std::hex << p.logical);
        EXPECT_EQ(mmu.Translate(p.logical), p.physical);
      }
    }
  }
}

TEST(DevMmuTest, FourWindowKindMapsByTheHighestWindowAtOrBelowTheAddress) {
  const struct {
    const char* what;
    DevMmuWindows windows;
    std::vector<Probe> probes;
  } cases[] = {
      {"three windows in use, window 3 hidden under window 4",
       {0x47, 0x10,    // window 1 from 2000h, displacement 10400h (lo bit 6: 400h)
        0x0F, 0x23,    // window 2 from 4000h, displacement 23000h
        0x37, 0x55,    // window 3 from E000h: above window 4's start
        0xAF, 0x12},   // window 4 from C000h, displacement F0800h: byte 7 plays no part
       {{0x0000, 0x00000},
        {0x1FFF, 0x01FFF},
        {0x2000, 0x12400},
        {0x3FFF, 0x143FF},
        {0x4000, 0x27000},
        {0xBFFF, 0x2EFFF},
        {0xC000, 0xFC800},
        {0xE000, 0xFE800},
        {0xF7FF, 0xFFFFF},
        {0xF800, 0x00000},   // wraps at 1 MiB
        {0xFFFF, 0x007FF}}},
      {"first and last possible starts; windows 2 and 3 off",
       {0x00, 0x01, 0x3F, 0x22, 0x7F, 0x33, 0x3E, 0x00},
       {{0x03FF, 0x003FF}, {0x0400, 0x01400}, {0xFBFF, 0x10BFF}, {0xFC00, 0xFFC00}, {0xFFFF, 0xFFFFF}}},
      {"window 1 above window 2: window 2 covers it",
       {0x1F, 0x01, 0x0F, 0x02, 0x3F, 0x00, 0x3F, 0x00},
       {{0x3FFF, 0x03FFF}, {0x4000, 0x06000}, {0x8000, 0x0A000}, {0xFFFF, 0x11FFF}}},
      {"after reset: every window off",
       kDevMmuWindowsReset,
       {{0x0000, 0x00000}, {0x0400, 0x00400}, {0xFFFF, 0x0FFFF}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    DevMmu mmu(kDevMmuWindows, 0x38);
    mmu.SetWindows(c.windows);
    for (const Probe& p : c.probes) {
      SCOPED_TRACE(testing::Message() << std::hex << p.logical);
      EXPECT_EQ(mmu.Translate(p.logical), p.physical);
    }
  }
}

TEST(DevMmuTest, KindNoneMapsNothingAndClaimsNoPort) {
  DevMmu mmu(kDevMmuNone, 0x38);
  mmu.SetBank({0x20, 0x10, 0x84});
  mmu.SetWindows({0x00, 0x10, 0x00, 0x10, 0x00, 0x10, 0x00, 0x10});
  for (u16 a : {0x0000, 0x3FFF, 0x4000, 0x8000, 0xFFFF}) {
    SCOPED_TRACE(a);
    EXPECT_EQ(mmu.Translate(a), a);
  }
  u8 v = 0;
  for (u16 port : {0x38, 0x39, 0x3A, 0x3F}) {
    SCOPED_TRACE(port);
    EXPECT_FALSE(mmu.IoRead(port, v));
    EXPECT_FALSE(mmu.IoWrite(port, 0x55));
  }
  EXPECT_EQ(mmu.Bank(), (DevMmuBank{0x20, 0x10, 0x84}));  // the registers as the monitor set them

  // On the board: logical is physical, and the MMU ports are ordinary latches.
  DevBoard board;
  board.Mmu().SetBank({0x20, 0x10, 0x84});
  board.PokeTarget(0x14000, 0x5A);
  EXPECT_EQ(board.PeekLogical(0x4000), board.PeekTarget(0x4000));
  board.IoWrite(0x0039, 0x33);
  EXPECT_EQ(board.PortLatch(0x0039), 0x33);
  EXPECT_EQ(board.IoRead(0x0039), 0x33);
  EXPECT_EQ(board.Mmu().Bank().bbr, 0x10);
}

// --- Registers through I/O ----------------------------------------------------

TEST(DevMmuTest, RegistersSitAtTheInternalIoBasePlus38hDecodedOnTheLowByte) {
  const struct {
    const char* what;
    u16 kind;
    u16 io_base;
    u16 port;
    int index;  // register reached; -1: none
  } cases[] = {
      {"CBR", kDevMmuBank, 0x38, 0x0038, 0},
      {"BBR", kDevMmuBank, 0x38, 0x0039, 1},
      {"CBAR", kDevMmuBank, 0x38, 0x003A, 2},
      {"below CBR", kDevMmuBank, 0x38, 0x0037, -1},
      {"after CBAR", kDevMmuBank, 0x38, 0x003B, -1},
      {"BBR with A in the high byte", kDevMmuBank, 0x38, 0x5A39, 1},
      {"base given as 00h", kDevMmuBank, 0x00, 0x0039, 1},
      {"base 40h", kDevMmuBank, 0x40, 0x0079, 1},
      {"base 40h: 39h is no register", kDevMmuBank, 0x40, 0x0039, -1},
      {"base given as F8h", kDevMmuBankS, 0xF8, 0x00FA, 2},
      {"window byte 0", kDevMmuWindows, 0x38, 0x0038, 0},
      {"window byte 7", kDevMmuWindows, 0x38, 0x003F, 7},
      {"past window byte 7", kDevMmuWindows, 0x38, 0x0040, -1},
      {"base C0h: byte 7 at FFh", kDevMmuWindows, 0xC0, 0x12FF, 7},
      {"base C0h: no wrap to 00h", kDevMmuWindows, 0xC0, 0x0000, -1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    DevMmu mmu(c.kind, c.io_base);
    const DevMmuBank bank_before = mmu.Bank();
    const DevMmuWindows windows_before = mmu.Windows();
    const u8 value = 0xA7;
    EXPECT_EQ(mmu.IoWrite(c.port, value), c.index >= 0);
    u8 read = 0;
    EXPECT_EQ(mmu.IoRead(c.port, read), c.index >= 0);
    if (c.index < 0) {
      EXPECT_EQ(mmu.Bank(), bank_before);
      EXPECT_EQ(mmu.Windows(), windows_before);
      continue;
    }
    EXPECT_EQ(read, value);
    if (c.kind == kDevMmuWindows) {
      DevMmuWindows want = windows_before;
      want[std::size_t(c.index)] = value;
      EXPECT_EQ(mmu.Windows(), want);
    } else {
      const std::array<u8, 3> regs = {mmu.Bank().cbr, mmu.Bank().bbr, mmu.Bank().cbar};
      EXPECT_EQ(regs[std::size_t(c.index)], value);
    }
  }
}

TEST(DevMmuTest, ResetGivesTheValuesAfterReset) {
  DevMmu mmu(kDevMmuBank, 0x38);
  mmu.SetBank({1, 2, 3});
  mmu.SetWindows({1, 2, 3, 4, 5, 6, 7, 8});
  mmu.Reset();
  EXPECT_EQ(mmu.Bank(), (DevMmuBank{0x00, 0x00, 0xF0}));
  EXPECT_EQ(mmu.Windows(), (DevMmuWindows{0x3F, 0x00, 0x3F, 0x00, 0x3F, 0x00, 0x3F, 0xF0}));
}

TEST(DevFixtureTest, MmuKindAndIoBaseFaults) {
  const struct {
    const char* what;
    u16 kind;
    u16 io_base;
    bool sound;
  } cases[] = {
      {"none", 0, 0x38, true},          {"four windows", 1, 0x38, true},   {"bank", 2, 0x38, true},
      {"bank S", 4, 0x78, true},        {"kind 3", 3, 0x38, false},        {"kind 8", 8, 0x38, false},
      {"base 00h", 2, 0x00, true},      {"base C0h", 2, 0xC0, true},       {"base F8h", 2, 0xF8, true},
      {"base 39h", 2, 0x39, false},     {"base 20h", 2, 0x20, false},      {"base 138h", 2, 0x138, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    DevFixture f;
    f.mmu_kind = c.kind;
    f.mmu_io_base = c.io_base;
    EXPECT_EQ(dev_fixture_fault(f) == nullptr, c.sound);
  }
}

// --- The board's bus ----------------------------------------------------------

// A program in LROM1 sets up the bank area with OUT and reaches RAM through it.
TEST(DevMmuBoardTest, ProgramSetsBbrWithOutAndReadsThroughTheBankArea) {
  DevBoard board(fixture_of_kind(kDevMmuBank));
  constexpr u8 kProgram[] = {
      0x3E, 0x84,        // LD A,84h
      0xD3, 0x3A,        // OUT (3Ah),A     CBAR: bank area 4000h, common area 1 8000h
      0x3E, 0x10,        // LD A,10h
      0xD3, 0x39,        // OUT (39h),A     BBR: port 1039h, the high byte ignored
      0x3A, 0x00, 0x40,  // LD A,(4000h)    physical 14000h
      0x32, 0x01, 0x40,  // LD (4001h),A    physical 14001h
      0xDB, 0x39,        // IN A,(39h)      BBR back, port 5A39h
      0x32, 0x00, 0x90,  // LD (9000h),A    common area 1, CBR 0
      0x76,              // HALT
  };
  for (std::size_t i = 0; i < std::size(kProgram); ++i) board.EmuWrite(u32(i), kProgram[i]);
  board.PokeTarget(0x14000, 0x5A);
  DevCpu cpu(board);
  cpu.Reset();
  // the CPU's shortcut to plain pages, as the target runs it: the OUTs change
  // the map under it
  board.RefreshShortcut();
  for (int steps = 0; steps < 100 && !cpu.Halted(); ++steps) cpu.StepInstruction();
  ASSERT_TRUE(cpu.Halted());
  EXPECT_EQ(board.Mmu().Bank(), (DevMmuBank{0x00, 0x10, 0x84}));
  EXPECT_EQ(board.PeekTarget(0x14001), 0x5A);
  EXPECT_EQ(board.PeekTarget(0x4001), 0xFF);  // LROM1 under logical 4001h: untouched
  EXPECT_EQ(board.PeekTarget(0x9000), 0x10);
  EXPECT_EQ(board.PeekLogical(0x4001), 0x5A);
  EXPECT_EQ(board.PortLatch(0x1039), 0xFF);   // the MMU's port never reached a latch
  EXPECT_EQ(board.PortLatch(0x843A), 0xFF);
}

// The monitor window is where the board decodes it, at a physical address.
TEST(DevMmuBoardTest, MonitorWindowIsDecodedByPhysicalAddress) {
  DevBoard board(fixture_of_kind(kDevMmuBank));
  const u32 code = board.Fixture().monitor_code_address;  // 7F80h
  std::vector<u32> seen;
  board.SetFetchObserver([&](u32 offset) {
    seen.push_back(offset);
    return false;
  });
  board.MonitorEnable(1);
  board.Mmu().SetBank({0xF8, 0x10, 0x84});  // FF80h -> 07F80h; 7F80h -> 17F80h
  const struct {
    const char* what;
    u16 logical;
    bool seen;
  } cases[] = {
      {"the window's logical address, mapped away", u16(code), false},
      {"common area 1 wrapped onto the window", 0xFF80, true},
      {"common area 0 below the bank area", 0x3F80, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    seen.clear();
    board.MemoryRead(c.logical, BusCycle::OpcodeFetch);
    EXPECT_EQ(!seen.empty(), c.seen);
  }
  board.SetFetchObserver(nullptr);
}

// --- Through the monitor ------------------------------------------------------

// A target of the given MMU kind, booted into the monitor as the engine does
// it; requests then go through the bank register and the channel.
class MmuMonitorTest : public testing::Test {
 protected:
  void Start(u16 kind) {
    target = std::make_unique<DevTarget>(fixture_of_kind(kind));
    DevBoard& b = Board();
    const std::vector<u8> file = dev_monitor_file(b.Fixture());
    MonitorFileHeader h{};
    std::memcpy(&h, file.data(), sizeof h);
    const auto chunk = [&](std::size_t n) {
      return std::span<const u8>(file).subspan(kMonitorImageOffset + n * kDevMonitorBankSize, kDevMonitorBankSize);
    };
    std::array<u8, kDevMonitorBankSize> first;
    std::copy_n(chunk(0).begin(), first.size(), first.begin());
    first[h.position.get() & 63] = 0xFF;  // RST 38H as the break
    ASSERT_TRUE(b.WriteMonitorBlock(kDevTopBankCode, 0, first));
    for (std::size_t n = 1; n < kDevMonitorChunks; ++n) ASSERT_TRUE(b.WriteMonitorBlock(u16(n + 1), 0, chunk(n)));
    const u32 code = h.code_address.get();
    const u8 jump[] = {0xC3, u8(code), u8(code >> 8)};  // JP to the monitor at the reset vector
    for (std::size_t i = 0; i < std::size(jump); ++i) b.EmuWrite(u32(i), jump[i]);
    b.MonitorEnable(1);
    ColdStart();
  }

  void ColdStart() {
    DevBoard& b = Board();
    b.FifoReset();
    b.BankSet(kDevColdStartBank);
    b.WriteRegisterMasked(kRegControl, 0, kCtlResetRelease);
    target->Run(100);
    b.WriteRegisterMasked(kRegControl, kCtlResetRelease, kCtlResetRelease);
    target->Run(20'000);
    ASSERT_TRUE(target->MonitorInControl());
    ASSERT_EQ(Replies(), std::vector<u8>{kMonitorHello});
  }

  DevBoard& Board() { return target->Board(); }

  // One request: the code into the bank register, the doorbell, the arguments;
  // then every reply byte.
  std::vector<u8> Ask(u16 code, std::initializer_list<u8> args = {}) {
    Board().BankSet(code);
    Board().ChannelSend(kMonitorDoorbell);
    for (u8 b : args) Board().ChannelSend(b);
    return Replies();
  }
  std::vector<u8> Replies() {
    target->Service();
    std::vector<u8> out;
    while (Board().ReceiveCount() > 0) out.push_back(Board().ChannelReceive());
    return out;
  }

  std::unique_ptr<DevTarget> target;
};

const std::vector<u8> kAck = {kMonitorAcknowledge};

TEST_F(MmuMonitorTest, BankRequestsSetAndReadTheCpuRegisters) {
  const struct {
    u16 kind;
    u16 set;
    u16 read;
  } cases[] = {{kDevMmuBank, 85, 84}, {kDevMmuBankS, 87, 86}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "kind " << c.kind);
    Start(c.kind);
    EXPECT_EQ(Ask(c.read), (std::vector<u8>{0x00, 0x00, 0xF0}));
    // bank area 8000h..BFFFh at 18000h, common area 1 from C000h at 2C000h; the
    // monitor's own area stays in common area 0
    EXPECT_EQ(Ask(c.set, {0x20, 0x10, 0xC8}), kAck);
    EXPECT_EQ(Board().Mmu().Bank(), (DevMmuBank{0x20, 0x10, 0xC8}));
    EXPECT_EQ(Ask(c.read), (std::vector<u8>{0x20, 0x10, 0xC8}));
    // the MMU command's port reads see the same registers
    EXPECT_EQ(Ask(9, {0x39, 0x00}), std::vector<u8>{0x10});
    // the monitor's memory requests take logical addresses
    Board().PokeTarget(0x18000, 0x77);
    EXPECT_EQ(Ask(8, {0x00, 0x80}), std::vector<u8>{0x77});
    EXPECT_EQ(Ask(24, {0x00, 0xC0, 0x66}), kAck);
    EXPECT_EQ(Board().PeekTarget(0x2C000), 0x66);
    EXPECT_EQ(Board().PeekTarget(0x0C000), 0x00);
    // a port write reaches them too, and the read request shows it
    EXPECT_EQ(Ask(25, {0x3A, 0x00, 0xE4}), kAck);
    EXPECT_EQ(Ask(c.read), (std::vector<u8>{0x20, 0x10, 0xE4}));
    // a reset of the target resets the CPU's registers
    ColdStart();
    EXPECT_EQ(Ask(c.read), (std::vector<u8>{0x00, 0x00, 0xF0}));
  }
}

TEST_F(MmuMonitorTest, WindowRequestsSetAndReadTheCpuBytes) {
  Start(kDevMmuWindows);
  EXPECT_EQ(Ask(82), std::vector<u8>(kDevMmuWindowsReset.begin(), kDevMmuWindowsReset.end()));
  // window 1 from 8000h at 31000h, the others off
  EXPECT_EQ(Ask(83, {0x1F, 0x29, 0x3F, 0x00, 0x3F, 0x00, 0x3F, 0xF0}), kAck);
  EXPECT_EQ(Board().Mmu().Windows(), (DevMmuWindows{0x1F, 0x29, 0x3F, 0x00, 0x3F, 0x00, 0x3F, 0xF0}));
  EXPECT_EQ(Ask(82), (std::vector<u8>{0x1F, 0x29, 0x3F, 0x00, 0x3F, 0x00, 0x3F, 0xF0}));
  Board().PokeTarget(0x31000, 0x4D);
  EXPECT_EQ(Ask(8, {0x00, 0x80}), std::vector<u8>{0x4D});
  EXPECT_EQ(Ask(9, {0x39, 0x00}), std::vector<u8>{0x29});  // byte 1 at port 39h
}

}  // namespace
