#include "platform/device/dev_board.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <span>
#include <string>
#include <vector>

namespace {

// All four areas, a small emulation memory, and LROM2 running off its end.
DevFixture four_areas() {
  DevFixture f;
  f.memory_size_code = 0;                 // 128 KiB: positions 0..0x1FFFF
  f.lrom1 = {0x0000, 0x3FFF, 0x00000};
  f.urom1 = {0x8000, 0x9FFF, 0x04000};
  f.lrom2 = {0xC000, 0xCFFF, 0x1F800};    // 0xC800 and up lie past the end
  f.urom2 = {0xE000, 0xE0FF, 0x10000};
  f.monitor_code_address = 0x3F80;
  return f;
}

BiosWorkArea work_at(u16 kind, u32 position) {
  BiosWorkArea w;
  w.set16<kWorkAreaKind>(kind);
  w.set32<kWorkRomAddress>(position);
  return w;
}

void release_reset(DevBoard& b) { b.WriteRegisterMasked(kRegControl, kCtlResetRelease, kCtlResetRelease); }

std::vector<u8> bytes_of(const std::string& s) { return std::vector<u8>(s.begin(), s.end()); }

TEST(DevFixtureTest, DefaultIsSoundAndFaultsAreNamed) {
  EXPECT_EQ(dev_fixture_fault(DevFixture{}), nullptr);
  const char* fault = dev_fixture_fault(four_areas());
  EXPECT_STREQ(fault, "ROM area runs past the emulation memory");
  const struct {
    const char* what;
    void (*edit)(DevFixture&);
    bool sound;
  } cases[] = {
      {"size code 5", [](DevFixture& f) { f.memory_size_code = 5; }, true},
      {"size code 6", [](DevFixture& f) { f.memory_size_code = 6; }, false},
      {"monitor at the last block", [](DevFixture& f) { f.monitor_code_address = 0x7F80; }, true},
      {"monitor at 0x0040", [](DevFixture& f) { f.monitor_code_address = 0x0040; }, false},
      {"monitor past LROM1", [](DevFixture& f) { f.monitor_code_address = 0x8000; }, false},
      {"monitor straddles LROM1's end", [](DevFixture& f) { f.lrom1.end = 0x7FBF; }, false},
      {"UROM1 touching LROM1", [](DevFixture& f) { f.urom1 = {0x8000, 0xFFFF, 0x8000}; }, true},
      {"UROM1 overlapping by a byte", [](DevFixture& f) { f.urom1 = {0x7FFF, 0xFFFF, 0x8000}; }, false},
      {"area ending at the last position", [](DevFixture& f) { f.urom1 = {0x8000, 0x8FFF, 0x7F000}; }, true},
      {"area one byte past it", [](DevFixture& f) { f.urom1 = {0x8000, 0x8FFF, 0x7F001}; }, false},
      {"area past 1 MiB", [](DevFixture& f) { f.urom1 = {0xFF000, 0x100FFF, 0}; }, false},
      {"no LROM1", [](DevFixture& f) { f.lrom1 = DevRomArea{}; }, false},
      {"clock 0", [](DevFixture& f) { f.cpu_clock_hz = 0; }, false},
      {"board id 16", [](DevFixture& f) { f.board_id = 16; }, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    DevFixture f;
    c.edit(f);
    EXPECT_EQ(dev_fixture_fault(f) == nullptr, c.sound) << (dev_fixture_fault(f) ? dev_fixture_fault(f) : "");
  }
}

TEST(DevBoardTest, EmulatedRomIsReadOnlyToTheBusButWritableAsEmulationMemory) {
  const struct {
    u32 address;
    u16 kind;
    u32 position;
  } cases[] = {
      {0x0000, kDevKindLrom1, 0x00000}, {0x3FFF, kDevKindLrom1, 0x03FFF},  // LROM1's ends
      {0x8000, kDevKindUrom1, 0x04000}, {0x9FFF, kDevKindUrom1, 0x05FFF},
      {0xC000, kDevKindLrom2, 0x1F800}, {0xC7FF, kDevKindLrom2, 0x1FFFF},  // last byte that exists
      {0xE000, kDevKindUrom2, 0x10000}, {0xE0FF, kDevKindUrom2, 0x100FF},
  };
  DevBoard board(four_areas());
  u8 value = 0x21;
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << std::hex << c.address);
    value = u8(value + 0x13);
    board.WriteRom(work_at(c.kind, c.position), value);
    EXPECT_EQ(board.MemoryRead(u16(c.address), BusCycle::OpcodeFetch), value);
    EXPECT_EQ(board.MemoryRead(u16(c.address), BusCycle::MemoryRead), value);
    board.MemoryWrite(u16(c.address), u8(~value));   // the target cannot write its ROM
    EXPECT_EQ(board.MemoryRead(u16(c.address), BusCycle::MemoryRead), value);
    EXPECT_EQ(board.ReadRom(work_at(c.kind, c.position)), value);
    EXPECT_EQ(board.EmuRead(c.position), value);
  }
  // The monitor kind reaches the emulation memory under the window; kind 0 reaches nothing.
  board.WriteRom(work_at(kDevKindMonitor, 0x3F80), 0x5A);
  EXPECT_EQ(board.EmuRead(0x3F80), 0x5A);
  board.WriteRom(work_at(kDevKindNone, 0x3F80), 0x00);
  board.WriteRom(work_at(0x0140, 0x3F80), 0x00);      // 64 in the low byte is not kind 64
  EXPECT_EQ(board.EmuRead(0x3F80), 0x5A);
  EXPECT_EQ(board.ReadRom(work_at(kDevKindNone, 0x3F80)), 0xFF);
}

TEST(DevBoardTest, NothingAliasesPastTheEndOfEmulationMemory) {
  DevBoard board(four_areas());
  ASSERT_EQ(board.EmuSize(), 0x20000u);
  board.EmuWrite(0x00000, 0x11);
  board.EmuWrite(0x1F800, 0x22);
  const struct {
    u32 position;
    u8 after_write;
  } cases[] = {{0x1FFFF, 0x77}, {0x20000, 0xFF}, {0x20001, 0xFF}, {0x3F800, 0xFF}, {0xFFFFFFFF, 0xFF}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << std::hex << c.position);
    board.WriteRom(work_at(kDevKindLrom2, c.position), 0x77);
    EXPECT_EQ(board.ReadRom(work_at(kDevKindLrom2, c.position)), c.after_write);
  }
  EXPECT_EQ(board.EmuRead(0x00000), 0x11);  // a write at 0x20000 did not land at 0
  EXPECT_EQ(board.EmuRead(0x1F800), 0x22);  // nor one at 0x3F800 at 0x1F800
  // LROM2 runs off the end at 0xC800: the target reads 0xFF there, not position 0.
  EXPECT_EQ(board.MemoryRead(0xC7FF, BusCycle::MemoryRead), 0x77);
  EXPECT_EQ(board.MemoryRead(0xC800, BusCycle::MemoryRead), 0xFF);
  EXPECT_EQ(board.MemoryRead(0xCFFF, BusCycle::MemoryRead), 0xFF);
}

// The engine's size probe: at 0x20000 << n read, write the complement, read
// back; the number of passes is the size code.
TEST(DevBoardTest, EngineSizeProbeFindsTheSizeCode) {
  for (u8 code = 0; code <= 6; ++code) {
    SCOPED_TRACE(int(code));
    DevFixture f;
    f.memory_size_code = code;
    DevBoard board(f);
    int passes = 0;
    for (int n = 0; n < 5; ++n) {
      const BiosWorkArea w = work_at(kDevKindLrom1, 0x20000u << n);
      const u8 was = board.ReadRom(w);
      board.WriteRom(w, u8(~was));
      if (board.ReadRom(w) != u8(~was)) break;
      board.WriteRom(w, was);
      ++passes;
    }
    EXPECT_EQ(passes, code > 5 ? 5 : code);  // code 6 is taken as 5
  }
}

TEST(DevBoardTest, BlockFormsAdvanceTheAddressAndStopAtTheEnd) {
  DevBoard board(four_areas());
  BiosWorkArea w = work_at(kDevKindUrom2, 0x1FFFE);
  const u8 data[] = {1, 2, 3, 4, 5};
  board.WriteRomBlock(w, data);
  EXPECT_EQ(w.get32<kWorkRomAddress>(), 0x20003u);
  w.set32<kWorkRomAddress>(0x1FFFD);
  u8 out[5];
  board.ReadRomBlock(w, out);
  EXPECT_EQ(w.get32<kWorkRomAddress>(), 0x20002u);
  const u8 expect[] = {0xFF, 1, 2, 0xFF, 0xFF};  // never written, written, past the end
  EXPECT_TRUE(std::equal(std::begin(out), std::end(out), std::begin(expect)));
  // A kind that is no area moves the address but touches nothing.
  w = work_at(kDevKindNone, 0x100);
  board.WriteRomBlock(w, data);
  EXPECT_EQ(w.get32<kWorkRomAddress>(), 0x105u);
  EXPECT_EQ(board.EmuRead(0x100), 0xFF);
  board.ReadRomBlock(w, out);
  EXPECT_EQ(out[0], 0xFF);
  EXPECT_EQ(w.get32<kWorkRomAddress>(), 0x10Au);
}

TEST(DevBoardTest, TargetRamLiesOutsideTheAreas) {
  DevBoard board(four_areas());
  const u32 addresses[] = {0x4000, 0x7FFF, 0xA000, 0xBFFF, 0xD000, 0xDFFF, 0xE100, 0xFFFF};
  for (u32 a : addresses) {
    SCOPED_TRACE(testing::Message() << std::hex << a);
    EXPECT_EQ(board.MemoryRead(u16(a), BusCycle::MemoryRead), 0x00);
    board.MemoryWrite(u16(a), u8(a >> 8 ^ 0xA5));
    EXPECT_EQ(board.MemoryRead(u16(a), BusCycle::OpcodeFetch), u8(a >> 8 ^ 0xA5));
  }
  // none of it reached the emulation memory
  for (u32 p = 0; p < board.EmuSize(); ++p)
    if (board.EmuRead(p) != 0xFF) FAIL() << "position " << p;
  // physical access beyond the 1 MiB space is nothing
  board.PokeTarget(0x100000, 1);
  EXPECT_EQ(board.PeekTarget(0x100000), 0xFF);
  board.PokeTarget(0xFFFFF, 9);
  EXPECT_EQ(board.PeekTarget(0xFFFFF), 9);
}

TEST(DevBoardTest, MonitorWindowShowsSelectedBankBelowAndBank127Above) {
  DevBoard board(four_areas());
  const u32 code = 0x3F80;
  for (u32 i = 0; i < kDevMonitorBlock; ++i) board.EmuWrite(code + i, 0x11);
  board.EmuWrite(code - 1, 0x10);
  std::vector<u8> top(64), five(64), other(64);
  for (u8 i = 0; i < 64; ++i) {
    top[i] = u8(0x80 + i);
    five[i] = u8(0x40 + i);
    other[i] = u8(0xC0 + i);
  }
  ASSERT_TRUE(board.WriteMonitorBlock(kDevTopBankCode, 0, top));
  ASSERT_TRUE(board.WriteMonitorBlock(126, 0, other));
  ASSERT_TRUE(board.WriteMonitorBlock(5, 0, five));
  const struct {
    const char* what;
    bool enable;
    u16 bank;
    u32 address;
    u8 expect;
  } cases[] = {
      {"off: emulation memory", false, 5, code, 0x11},
      {"off: upper half too", false, 5, code + 64, 0x11},
      {"lower half, first byte", true, 5, code, 0x40},
      {"lower half, last byte", true, 5, code + 63, 0x7F},
      {"upper half, first byte", true, 5, code + 64, 0x80},
      {"upper half, last byte", true, 5, code + 127, 0xBF},
      {"another bank below", true, 126, code + 1, 0xC1},
      {"upper half does not follow the bank", true, 126, code + 65, 0x81},
      {"bank 255 below as well", true, kDevTopBankCode, code + 2, 0x82},
      {"byte before the window", true, 5, code - 1, 0x10},
      {"byte after the window", true, 5, code + 128, 0x00},  // target RAM here
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ASSERT_TRUE(board.BankSet(c.bank));
    board.MonitorEnable(c.enable ? 1 : 0);
    EXPECT_EQ(board.MonitorWindowOn(), c.enable);
    EXPECT_EQ(board.MemoryRead(u16(c.address), BusCycle::OpcodeFetch), c.expect);
  }
  // The target writes its work bytes into the window; the ROM beneath keeps its bytes.
  board.MonitorEnable(1);
  board.MemoryWrite(u16(code + 64), 0x99);
  EXPECT_EQ(board.MonitorMemory()[127 * 64], 0x99);
  EXPECT_EQ(board.EmuRead(code + 64), 0x11);
  // A block access takes the window from the target until it is enabled again.
  u8 one;
  ASSERT_TRUE(board.ReadMonitorBlock(5, 0, std::span<u8>(&one, 1)));
  EXPECT_FALSE(board.MonitorWindowOn());
  EXPECT_EQ(board.MemoryRead(u16(code), BusCycle::MemoryRead), 0x11);
  board.MonitorEnable(1);
  EXPECT_EQ(board.MemoryRead(u16(code), BusCycle::MemoryRead), 0x40);
  ASSERT_TRUE(board.WriteMonitorBlock(5, 1, std::span<const u8>(&one, 1)));
  EXPECT_FALSE(board.MonitorWindowOn());
  board.MonitorEnable(1);
  EXPECT_TRUE(board.MonitorWindowOn());
}

TEST(DevBoardTest, BankNumbersAre0To126And255ForBank127) {
  const struct {
    u16 bank;
    int index;  // -1: refused
  } cases[] = {{0, 0}, {1, 1}, {126, 126}, {127, -1}, {128, -1}, {200, -1}, {254, -1},
               {255, 127}, {256, -1}, {383, -1}, {0xFFFF, -1}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.bank);
    DevBoard board;
    ASSERT_TRUE(board.BankSet(3));
    const u8 marker[] = {0xA7, 0x5C};
    EXPECT_EQ(board.WriteMonitorBlock(c.bank, 62, marker), c.index >= 0);
    EXPECT_EQ(board.BankSet(c.bank), c.index >= 0);
    u8 back[2] = {0, 0};
    EXPECT_EQ(board.ReadMonitorBlock(c.bank, 62, back), c.index >= 0);
    if (c.index >= 0) {
      EXPECT_EQ(board.SelectedBank(), c.index);
      EXPECT_EQ(board.MonitorMemory()[std::size_t(c.index) * 64 + 62], 0xA7);
      EXPECT_EQ(back[0], 0xA7);
      EXPECT_EQ(back[1], 0x5C);
    } else {
      EXPECT_EQ(board.SelectedBank(), 3);  // a refused bank changes nothing
      for (u8 b : board.MonitorMemory()) ASSERT_EQ(b, 0);
    }
  }
}

TEST(DevBoardTest, MonitorBlocksStayInsideTheirBank) {
  const struct {
    u16 address;
    std::size_t count;
    bool ok;
  } cases[] = {{0, 64, true}, {0, 65, false}, {63, 1, true}, {63, 2, false},
               {64, 0, false}, {0, 0, true}, {0xFFFF, 1, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.address << "+" << c.count);
    DevBoard board;
    std::vector<u8> data(c.count, 0x3C);
    EXPECT_EQ(board.WriteMonitorBlock(7, c.address, data), c.ok);
    EXPECT_EQ(board.ReadMonitorBlock(7, c.address, data), c.ok);
    EXPECT_EQ(board.MonitorMemory()[8 * 64], 0);  // bank 8 never reached
  }
}

// How the library turns the status bits into credits and counts; the board
// must never promise more than is true.
std::size_t library_send_credit(u8 s) {
  return (s & kFifoSendEmpty) ? 32 : (s & kFifoSendMost) ? 29 : (s & kFifoSendRoom) ? 1 : 0;
}
std::size_t library_receive_count(u8 s) {
  return (s & kFifoReceiveFull) ? 32 : (s & kFifoReceiveHalf) ? 16 : (s & kFifoReceiveAny) ? 1 : 0;
}

TEST(DevBoardTest, FifoBitsGiveRoomAndReadiness) {
  const struct {
    std::size_t queued;
    u8 send_bits;     // of 0x70
    u8 receive_bits;  // of 0x07 with the same number of bytes from the target
  } cases[] = {
      {0, 0x70, 0x00},  {1, 0x50, 0x01},  {3, 0x50, 0x01},  {4, 0x10, 0x01},
      {15, 0x10, 0x01}, {16, 0x10, 0x05}, {31, 0x10, 0x05}, {32, 0x00, 0x07},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.queued);
    DevBoard board;
    for (std::size_t i = 0; i < c.queued; ++i) {
      ASSERT_TRUE(board.ChannelSend(u8(i)));
      ASSERT_TRUE(board.TargetSend(u8(0x80 + i)));
    }
    const u8 s = board.ReadRegister(kRegChannel);
    EXPECT_EQ(s, board.FifoStatus());
    EXPECT_EQ(s & 0x70, c.send_bits);
    EXPECT_EQ(s & 0x07, c.receive_bits);
    EXPECT_LE(library_send_credit(s), board.SendRoom());
    EXPECT_LE(library_receive_count(s), board.ReceiveCount());
    EXPECT_EQ(board.SendRoom(), kDevFifoSize - c.queued);
    EXPECT_EQ(board.ReceiveCount(), c.queued);
  }
}

TEST(DevBoardTest, FifosKeepOrderDropOverflowAndReset) {
  DevBoard board;
  for (int i = 0; i < 32; ++i) ASSERT_TRUE(board.TargetSend(u8(i)));
  EXPECT_FALSE(board.TargetSend(0xEE));  // the 33rd byte is lost
  for (int i = 0; i < 32; ++i) ASSERT_EQ(board.ReadRegister(kRegChannelReceive), i);
  EXPECT_EQ(board.ChannelReceive(), 0xFF);  // empty
  // host -> target through the data register, wrapping round the ring
  for (int round = 0; round < 3; ++round)
    for (int i = 0; i < 20; ++i) {
      ASSERT_TRUE(board.WriteRegister(kRegChannel, u8(round * 20 + i)));
      u8 v = 0;
      ASSERT_TRUE(board.TargetReceive(v));
      ASSERT_EQ(v, round * 20 + i);
    }
  u8 v;
  EXPECT_FALSE(board.TargetReceive(v));
  // reset empties both ways; while register 7 holds it, nothing gets in
  board.ChannelSend(1);
  board.TargetSend(2);
  board.FifoReset();
  EXPECT_EQ(board.SendRoom(), 32u);
  EXPECT_EQ(board.ReceiveCount(), 0u);
  board.WriteRegisterMasked(kRegControl, kCtlFifoReset, kCtlFifoReset);
  EXPECT_FALSE(board.ChannelSend(3));
  EXPECT_FALSE(board.TargetSend(4));
  board.WriteRegisterMasked(kRegControl, 0, kCtlFifoReset);
  EXPECT_TRUE(board.ChannelSend(5));
  EXPECT_EQ(board.TargetPending(), 1u);
}

TEST(DevBoardTest, LogicConfigurationNeedsTheMagic) {
  const std::string magic(kDevLogicMagic.begin(), kDevLogicMagic.end());
  const struct {
    const char* what;
    std::vector<std::pair<u8, std::string>> pieces;  // flags, data
    u32 result;
  } cases[] = {
      {"one piece", {{3, magic + "body bytes"}}, 0},
      {"magic alone", {{3, magic}}, 0},
      {"three pieces, magic split", {{1, "RZ7H"}, {0, "WF"}, {2, "01" + std::string(100, 'x')}}, 0},
      {"wrong version", {{3, "RZ7HWF02body"}}, 1},
      {"wrong first byte", {{1, "rZ7HWF01"}, {2, "body"}}, 1},
      {"empty piece", {{3, ""}}, 1},           // the trailer is zeros
      {"magic cut short", {{3, "RZ7H"}}, 1},   // the trailer repeats "RZ7H"
      {"last piece without a first", {{2, magic}}, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    DevBoard board;
    BiosWorkArea work;
    u32 result = 0;
    for (const auto& [flags, data] : c.pieces) {
      result = board.FlexConfig(work, flags, bytes_of(data));
      if (result) break;
    }
    EXPECT_EQ(result, c.result);
    EXPECT_EQ(work.get16<kWorkStatus>(), c.result ? kStatusLogicConfig : 0);
    EXPECT_EQ(board.LogicState() == kLogicConfigured, c.result == 0);
  }
}

TEST(DevBoardTest, LogicLoadRestartsAndReportsThroughRegister63) {
  DevBoard board;
  BiosWorkArea work;
  ASSERT_EQ(board.FlexConfig(work, 3, bytes_of("RZ7HWF00")), 1u);
  // a new first piece starts over
  EXPECT_EQ(board.FlexConfig(work, 3, bytes_of("RZ7HWF01")), 0u);
  // bit 3 toggles on every read, the board id sits in the high nibble
  const u8 r0 = board.ReadRegister(kRegLogicStatus);
  const u8 r1 = board.ReadRegister(kRegLogicStatus);
  const u8 r2 = board.ReadRegister(kRegLogicStatus);
  EXPECT_NE(r0 & kLogicAlive, r1 & kLogicAlive);
  EXPECT_NE(r1 & kLogicAlive, r2 & kLogicAlive);
  EXPECT_EQ(r0 >> 4, DevFixture{}.board_id);
  EXPECT_EQ(r0 & 3, kLogicConfigured);
  EXPECT_EQ(board.InterfaceInit(), DevFixture{}.board_id);
  // holding bit 0 low blanks the logic
  board.WriteRegisterMasked(kRegLogicStatus, 0, 1);
  EXPECT_EQ(board.ReadRegister(kRegLogicStatus) & 3, kLogicBlank);
}

TEST(DevBoardTest, RunStateBitsAsCheckRunReadsThem) {
  DevBoard board;
  const auto chk_run = [&] { return (board.ReadRegister(kRegControl) >> 4) & 3; };
  board.SetUserRunning(true);  // held in reset from power-on: nothing runs
  EXPECT_EQ(chk_run(), 0);
  release_reset(board);
  const struct {
    const char* what;
    void (*step)(DevBoard&);
    int bits;
  } steps[] = {
      {"handed over", [](DevBoard& b) { b.SetUserRunning(true); }, 3},
      {"stopped: started stays latched", [](DevBoard& b) { b.SetUserRunning(false); }, 2},
      {"run strobe clears the latch", [](DevBoard& b) { b.WriteRegisterMasked(kRegControl, kCtlRunStrobe, kCtlRunStrobe); }, 0},
      {"a write without the strobe keeps it clear", [](DevBoard& b) { b.WriteRegisterMasked(kRegControl, 0, kCtlRunStrobe); }, 0},
      // a program that stops before the first poll is still seen to have started
      {"ran and stopped at once", [](DevBoard& b) { b.SetUserRunning(true); b.SetUserRunning(false); }, 2},
      {"runs again", [](DevBoard& b) { b.SetUserRunning(true); }, 3},
      {"strobe while running", [](DevBoard& b) { b.WriteRegisterMasked(kRegControl, kCtlRunStrobe, kCtlRunStrobe); }, 1},
      {"reset stops the program", [](DevBoard& b) { b.WriteRegisterMasked(kRegControl, 0, kCtlResetRelease); }, 0},
  };
  for (const auto& s : steps) {
    SCOPED_TRACE(s.what);
    s.step(board);
    EXPECT_EQ(chk_run(), s.bits);
    EXPECT_EQ(board.CheckRun(), s.bits);
  }
}

TEST(DevBoardTest, PowerOffStopsTheTargetAndIsReported) {
  const struct {
    bool power;
    bool second;
    u16 flag;
    u32 result;
  } cases[] = {
      {true, true, 0, 0}, {true, true, 1, 0}, {false, true, 0, 1}, {false, true, 1, 1},
      {true, false, 0, 0},  // the second supply counts only when asked for
      {true, false, 1, 2}, {false, false, 1, 3},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.power << c.second << c.flag);
    DevBoard board;
    release_reset(board);
    board.SetUserRunning(true);
    board.SetTargetPower(c.power);
    board.SetSecondSupply(c.second);
    BiosWorkArea work;
    work.set16<kWorkStatus>(kStatusTimeout);
    EXPECT_EQ(board.CheckVcc(work, c.flag), c.result);
    EXPECT_EQ(work.get16<kWorkStatus>(), c.result ? kStatusPowerOff : kStatusTimeout);
    EXPECT_EQ((board.ReadRegister(kRegControl) & kCtlPowerPresent) != 0, c.power);
    EXPECT_EQ((board.ReadRegister(kRegSupply) & 0x80) != 0, c.second);
    EXPECT_EQ(board.ResetHeld(), !c.power);
    EXPECT_EQ(board.CheckRun(), c.power ? 3 : 0);
  }
  // without power nothing runs; power back is a power-on reset
  DevBoard board;
  release_reset(board);
  ASSERT_TRUE(board.TakeReset());
  board.SetTargetPower(false);
  board.SetUserRunning(true);
  EXPECT_EQ(board.CheckRun(), 0);
  board.WriteRegisterMasked(kRegControl, kCtlNmiPulse, kCtlNmiPulse);
  EXPECT_FALSE(board.TakeNmi());
  board.SetTargetPower(true);
  EXPECT_TRUE(board.TakeReset());
  EXPECT_FALSE(board.ResetHeld());
}

TEST(DevBoardTest, ResetLineIsTakenOncePerAssertion) {
  DevBoard board;
  EXPECT_TRUE(board.ResetHeld());   // registers power up 0: reset asserted
  EXPECT_TRUE(board.TakeReset());   // the power-on reset
  EXPECT_FALSE(board.TakeReset());
  release_reset(board);
  EXPECT_FALSE(board.ResetHeld());
  EXPECT_FALSE(board.TakeReset());
  // the library's reset pulse: clear bit 0, wait, set bit 0
  board.WriteRegisterMasked(kRegControl, 0, kCtlResetRelease);
  EXPECT_TRUE(board.ResetHeld());
  board.WriteRegisterMasked(kRegControl, 0, kCtlResetRelease);  // still held: the same reset
  release_reset(board);
  EXPECT_TRUE(board.TakeReset());
  EXPECT_FALSE(board.TakeReset());
}

TEST(DevBoardTest, NmiFromThePulseBitAndFromHoldingBit2) {
  DevBoard board;
  // set-up while reset is held: bit 2 rests high (NMI-pin word bit 0)
  board.WriteRegisterMasked(kRegControl, kCtlNmiHold, kCtlNmiHold | 0x08);
  board.WriteRegisterMasked(kRegControl, kCtlNmiPulse, kCtlNmiPulse);
  EXPECT_FALSE(board.TakeNmi());  // held in reset: no NMI
  board.WriteRegisterMasked(kRegControl, 0, kCtlNmiPulse);
  release_reset(board);
  const struct {
    const char* what;
    u8 value;
    u8 mask;
    bool nmi;
  } steps[] = {
      {"pulse bit rises", kCtlNmiPulse, kCtlNmiPulse, true},
      {"pulse bit written 1 again", kCtlNmiPulse, kCtlNmiPulse, false},
      {"unrelated write", kCtlRunStrobe, kCtlRunStrobe, false},
      {"pulse bit falls", 0, kCtlNmiPulse, false},
      {"pulse bit rises again", kCtlNmiPulse, kCtlNmiPulse, true},
      {"bit 2 leaves its rest level", 0, kCtlNmiHold, true},
      {"held: another write", 0, kCtlRunStrobe, false},
      {"bit 2 back at rest", kCtlNmiHold, kCtlNmiHold, false},
      {"held again", 0, kCtlNmiHold, true},
  };
  for (const auto& s : steps) {
    SCOPED_TRACE(s.what);
    board.WriteRegisterMasked(kRegControl, s.value, s.mask);
    EXPECT_EQ(board.TakeNmi(), s.nmi);
    EXPECT_FALSE(board.TakeNmi());
  }
  // asserting reset drops an NMI not yet taken
  board.WriteRegisterMasked(kRegControl, kCtlNmiHold, kCtlNmiHold);
  board.WriteRegisterMasked(kRegControl, 0, kCtlNmiHold);
  board.WriteRegisterMasked(kRegControl, 0, kCtlResetRelease);
  EXPECT_FALSE(board.TakeNmi());
}

TEST(DevBoardTest, RunTimeCounterCountsMicrosecondsOfTheProgramUnderTest) {
  DevFixture f;
  f.cpu_clock_hz = 6'144'000;
  DevBoard board(f);
  release_reset(board);
  board.CountTStates(6'144'000);  // in the monitor: not counted
  EXPECT_EQ(board.RunTimeRead(), 0u);
  board.SetUserRunning(true);
  const struct {
    u32 tstates;
    u32 total_us;
  } steps[] = {{6, 0}, {1, 1}, {6'144'000 - 7, 1'000'000}, {614'400, 1'100'000}};
  for (const auto& s : steps) {
    SCOPED_TRACE(s.tstates);
    board.CountTStates(s.tstates);
    EXPECT_EQ(board.RunTimeRead(), s.total_us);
    // the library's read: registers 11, 10, 9, 8, most significant first
    u32 v = 0;
    for (u8 r = kRegRunTime3 + 1; r-- > kRegRunTime0;) v = v << 8 | board.ReadRegister(r);
    EXPECT_EQ(v, s.total_us);
  }
  board.RunTimeClear();
  EXPECT_EQ(board.RunTimeRead(), 0u);
  board.WriteRegisterMasked(kRegControl, kCtlRunTimeClear, kCtlRunTimeClear);
  board.CountTStates(1'000'000);  // held clear
  EXPECT_EQ(board.RunTimeRead(), 0u);
  EXPECT_EQ(board.TStates(), 2u * 6'144'000 + 614'400 + 1'000'000);
  // a long run: the product stays exact
  board.WriteRegisterMasked(kRegControl, 0, kCtlRunTimeClear);
  for (int i = 0; i < 4000; ++i) board.CountTStates(4'000'000'000u);
  EXPECT_EQ(board.RunTimeRead(), u32(u64(4000) * 4'000'000'000u * 1'000'000 / 6'144'000));
}

TEST(DevBoardTest, RegistersKeepAShadowAndRefuseNumbersPast63) {
  DevBoard board;
  ASSERT_TRUE(board.WriteRegister(40, 0xF0));
  ASSERT_TRUE(board.WriteRegisterMasked(40, 0x0F, 0x3C));
  EXPECT_EQ(board.RegisterShadow(40), 0xCC);
  for (u8 reg : {u8(64), u8(100), u8(255)}) {
    SCOPED_TRACE(int(reg));
    EXPECT_FALSE(board.WriteRegister(reg, 1));
    EXPECT_FALSE(board.WriteRegisterMasked(reg, 1, 1));
    EXPECT_EQ(board.ReadRegister(reg), 0xFF);
    EXPECT_EQ(board.RegisterShadow(reg), 0);
    const u8 block[2] = {1, 2};
    EXPECT_FALSE(board.WriteRegisterBlock(reg, block));
  }
}

// The engine's probe: read register 32 (then 38), write its complement, read
// back. This board has the basic event and trace logic: 32 answers, 38 not.
TEST(DevBoardTest, TraceProbeFindsTheBasicLogic) {
  DevBoard board;
  board.WriteRegisterMasked(kRegTraceControl, 0, 2);
  board.WriteRegister(54, 64);
  for (u8 reg : {kRegEventData0, kRegEventData3}) {
    SCOPED_TRACE(int(reg));
    const u8 was = board.ReadRegister(reg);
    board.WriteRegister(reg, u8(~was));
    EXPECT_EQ(board.ReadRegister(reg) == u8(~was), reg == kRegEventData0);
    board.WriteRegister(reg, was);
  }
  EXPECT_EQ(board.ReadRegister(kRegTraceControl), 0);  // not recording
}

// The library's direct-mode emulation-memory access: address in 0, 1 and 13,
// register 2 opens, register 3 counts the low 16 bits up.
TEST(DevBoardTest, EmulationMemoryThroughRegisters) {
  DevFixture f;
  f.memory_size_code = 1;
  DevBoard board(f);
  const auto set_address = [&](u32 a) {
    board.WriteRegister(kRegEmuAddressLow, u8(a));
    board.WriteRegister(kRegEmuAddressHigh, u8(a >> 8));
    board.WriteRegister(kRegEmuAddressTop, u8(a >> 16));
  };
  board.WriteRegister(kRegEmuMode, 0x18);  // kind 64 on a byte-wide bus: open
  set_address(0x1FFFE);
  const u8 data[] = {1, 2, 3};
  board.WriteRegisterBlock(kRegEmuData, data);
  EXPECT_EQ(board.EmuRead(0x1FFFE), 1);
  EXPECT_EQ(board.EmuRead(0x1FFFF), 2);
  EXPECT_EQ(board.EmuRead(0x10000), 3);  // no carry into register 13
  EXPECT_EQ(board.EmuRead(0x20000), 0xFF);
  set_address(0x1FFFF);
  u8 out[2];
  board.ReadRegisterBlock(kRegEmuData, out);
  EXPECT_EQ(out[0], 2);
  EXPECT_EQ(out[1], 3);
  // closed: the data register does nothing
  board.WriteRegisterMasked(kRegEmuMode, 0x0C, 0x0C);
  set_address(0x100);
  board.WriteRegister(kRegEmuData, 9);
  EXPECT_EQ(board.EmuRead(0x100), 0xFF);
  EXPECT_EQ(board.ReadRegister(kRegEmuData), 0xFF);
}

TEST(DevBoardTest, PortLatchesKeepTheLastByteOfAll64KiPorts) {
  DevBoard board;
  const struct {
    u16 port;
    u8 value;
  } writes[] = {{0x0038, 0x12}, {0x0138, 0x34}, {0xFFFF, 0x56}, {0x0000, 0x78}, {0x0038, 0x9A}};
  for (const auto& w : writes) board.IoWrite(w.port, w.value);
  EXPECT_EQ(board.IoRead(0x0038), 0x9A);
  EXPECT_EQ(board.IoRead(0x0138), 0x34);  // the high byte tells ports apart
  EXPECT_EQ(board.IoRead(0xFFFF), 0x56);
  EXPECT_EQ(board.IoRead(0x0000), 0x78);
  EXPECT_EQ(board.IoRead(0x0238), 0xFF);  // never written
}

TEST(DevBoardTest, CyclesAreCountedByKind) {
  DevBoard board;
  for (int i = 0; i < 3; ++i) board.MemoryRead(0, BusCycle::OpcodeFetch);
  for (int i = 0; i < 2; ++i) board.MemoryRead(0, BusCycle::MemoryRead);
  board.MemoryWrite(0x9000, 1);
  for (int i = 0; i < 4; ++i) board.IoRead(0x10);
  for (int i = 0; i < 5; ++i) board.IoWrite(0x10, 0);
  EXPECT_EQ(board.InterruptAck(), 0xFF);
  board.PeekTarget(0);  // the monitor's own accesses are not bus cycles
  board.PokeTarget(0x9000, 2);
  const struct {
    BusCycle kind;
    u64 count;
  } cases[] = {{BusCycle::OpcodeFetch, 3}, {BusCycle::MemoryRead, 2}, {BusCycle::MemoryWrite, 1},
               {BusCycle::IoRead, 4},      {BusCycle::IoWrite, 5},    {BusCycle::InterruptAck, 1}};
  for (const auto& c : cases) {
    SCOPED_TRACE(int(c.kind));
    EXPECT_EQ(board.CycleCount(c.kind), c.count);
  }
  board.ClearCycleCounts();
  EXPECT_EQ(board.CycleCount(BusCycle::OpcodeFetch), 0u);
}

}  // namespace

// Page 1 keeps its own registers 32..43 and 46..51; 44 and the rest are
// common. A masked write starts from the selected page's value.
TEST(DevBoardTest, RegisterPageSelectsItsOwnShadow) {
  DevBoard board;
  board.WriteRegister(kRegEventSelect, 0x11);
  board.WriteRegister(54, 0x22);
  board.WriteRegisterMasked(kRegPage, 0x80, 0x80);
  ASSERT_TRUE(board.Page1());
  board.WriteRegisterMasked(kRegEventSelect, 0x0C, 0x0C);  // page 1 starts from 0
  board.WriteRegister(54, 0x33);
  board.WriteRegisterMasked(kRegPage, 0x00, 0x80);
  EXPECT_EQ(board.RegisterShadow(kRegEventSelect), 0x11);
  EXPECT_EQ(board.RegisterShadow(54), 0x33);
  EXPECT_EQ(board.ReadRegister(kRegEventData0), 0);  // 32 reads back on page 0
}

// The library's direct-mode register sequences reach the same instruments
// as the driver's requests: a channel, the break's arming, the timer.
TEST(DevBoardTest, InstrumentsLoadFromTheirRegisters) {
  DevBoard board;
  board.WriteRegisterMasked(kRegPage, 0x80, 0x80);
  board.WriteRegisterMasked(kRegEventSelect, 1 << 2, 0x0C);  // channel 1
  const u8 data[4][2] = {{0x05, 0xFF}, {0, 0}, {0, 0}, {0, 0}};
  const u8 data_regs[4] = {32, 33, 37, 38};
  for (int b = 0; b < 4; ++b) board.WriteRegisterBlock(data_regs[b], data[b]);
  const u8 address[4][3] = {{0x2F, 0x00, 0xFF}, {0x30, 0x20, 0xFF}, {0, 0, 0x0F}, {0, 0, 0}};
  const u8 address_regs[4] = {34, 35, 43, 39};
  for (int b = 0; b < 4; ++b) board.WriteRegisterBlock(address_regs[b], address[b]);
  board.WriteRegisterMasked(kRegEventNegate, 0x22, 0x22);  // both negations of channel 1
  const u8 status_low[2] = {kDevStatusMemWrite, 0x1F};
  const u8 status_high[2] = {0, 0};
  board.WriteRegisterBlock(42, status_low);
  board.WriteRegisterBlock(40, status_high);
  const u8 pass[2] = {1, 0};  // pass count 3
  board.WriteRegisterBlock(kRegPassCount, pass);
  board.WriteRegisterMasked(kRegEventEnable, 0x02, 0x02);
  const DevEventChannel& c = board.Events().Channel(1);
  EXPECT_EQ(c.data_value, 0x05u);
  EXPECT_EQ(c.data_mask, 0xFFu);
  EXPECT_EQ(c.address_start, 0x02000u);
  EXPECT_EQ(c.address_end, 0x0302Fu);
  EXPECT_EQ(c.address_mask, 0xFFFFFu);
  EXPECT_TRUE(c.address_negate);
  EXPECT_TRUE(c.data_negate);
  EXPECT_EQ(c.status_value, kDevStatusMemWrite);
  EXPECT_EQ(c.status_mask, 0x1F);
  EXPECT_EQ(c.pass_count, 3);

  // pass count registers of 0 (the library's 1 and 2) fire at the first match
  board.WriteRegisterMasked(kRegEventEnable, 0, 0x07);
  board.WriteRegister(kRegEventStatus, kDevSrcEv2 | kDevSrcAndSeq);
  board.WriteRegisterMasked(kRegEventSelect, 3 << 2, 0x0C);
  const u8 zero[2] = {0, 0};
  board.WriteRegisterBlock(kRegPassCount, zero);
  board.WriteRegisterMasked(kRegEventEnable, 0x87, 0x87);
  EXPECT_EQ(board.Events().BreakSelection().sources, kDevSrcEv2 | kDevSrcAndSeq);
  EXPECT_TRUE(board.Events().BreakSelection().sequence);
  EXPECT_EQ(board.Events().BreakSelection().pass_count, 1);

  // the timer: preset less 1 in 47, resolution and mode in 46, bit 7 starts it
  const u8 preset[3] = {0x0F, 0x27, 0};  // 10,000 - 1
  board.WriteRegisterBlock(kRegTimerCount, preset);
  board.WriteRegister(kRegTimerControl, 0x11);
  board.WriteRegisterMasked(kRegTimerControl, 0x80, 0x80);
  EXPECT_EQ(board.Events().TimerResolution(), 1);
  EXPECT_EQ(board.ReadRegister(kRegTimerControl) & kDevTimerRunning, kDevTimerRunning);
}

// Page 0: register 55 bit 1 starts and stops the trace; 56/57 point the
// read-out at a frame until set-up is written again.
TEST(DevBoardTest, TraceControlAndFrameReadOut) {
  DevBoard board;
  board.WriteRegister(kRegTraceControl, kDevTraceStopFull);
  board.WriteRegisterMasked(kRegTraceControl, 0x02, 0x02);
  EXPECT_TRUE(board.Events().TraceRecording());
  EXPECT_EQ(board.Events().TraceMode(), kDevTraceStopFull);
  board.WriteRegisterMasked(kRegTraceControl, 0, 0x02);
  EXPECT_FALSE(board.Events().TraceRecording());

  board.Events().SetFrame(7, DevTraceFrame{0x12345, 0xA5, kDevStatusMemRead, 0x8000, 0});
  board.WriteRegister(kRegTraceFrameLow, 7);
  board.WriteRegister(kRegTraceFrameHigh, 0);
  const struct { u8 reg; u8 value; } reads[] = {
      {34, 0x45}, {35, 0x23}, {43, 0x01}, {39, 0}, {32, 0xA5}, {42, kDevStatusMemRead}, {47, 0x80}};
  for (const auto& r : reads) {
    SCOPED_TRACE(int(r.reg));
    EXPECT_EQ(board.ReadRegister(r.reg), r.value);
  }
  board.WriteRegister(kRegEventData0, 0x5A);  // set-up written: register 32 reads back again
  EXPECT_EQ(board.ReadRegister(kRegEventData0), 0x5A);
}
