// The simulated driver through the library in driver mode, as the engine
// reaches it: set-up and queries, registers and their shadows, emulation and
// monitor memory, the channel with its gathered bytes and time-outs, target
// control, and the hardware the board does not have. The device's clock is
// tested on its own first.
#include "platform/device/dev_sim_driver.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstring>
#include <memory>
#include <numeric>
#include <string>
#include <vector>

#include "platform/device/dev_monitor.h"
#include "platform/device/dev_monitor_image.h"
#include "platform/device/dev_tokens.h"
#include "platform/host/host_clock.h"
#include "platform/host/host_ui.h"
#include "rz7bios/rz7bios.h"

namespace {

using Kind = SimTranscriptEntry::Kind;

constexpr u32 kHz = DevFixture{}.cpu_clock_hz;
constexpr u64 kTStatesPerMs = kHz / 1000;

// --- The clock ---------------------------------------------------------------

class DevClockTest : public testing::Test {
 protected:
  void SetUp() override { host_clock_use_fake(1000); }
  void TearDown() override { host_clock_use_real(); }
};

TEST_F(DevClockTest, WallTimeIsOwedAtTheCpuClockAndBoundedPerCall) {
  const struct {
    u32 advance_ms;
    u64 owed;
  } cases[] = {
      {0, 0},
      {1, kTStatesPerMs},
      {10, 10 * kTStatesPerMs},
      {DevClock::kCatchUpLimitMs, DevClock::kCatchUpLimitMs * kTStatesPerMs},
      {DevClock::kCatchUpLimitMs + 1, DevClock::kCatchUpLimitMs * kTStatesPerMs},  // the rest is never made up
      {60'000, DevClock::kCatchUpLimitMs * kTStatesPerMs},
  };
  DevClock clock(kHz);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.advance_ms);
    clock.Restart();
    host_clock_advance(c.advance_ms);
    EXPECT_EQ(clock.TakeOwed(), c.owed);
    EXPECT_EQ(clock.TakeOwed(), 0u);  // nothing twice
  }
}

TEST_F(DevClockTest, AFixedBudgetReplacesWallTime) {
  DevClock clock(kHz);
  clock.UseFixedBudget(1234);
  for (u32 advance : {0u, 7u, 5000u}) {
    SCOPED_TRACE(advance);
    host_clock_advance(advance);
    EXPECT_EQ(clock.TakeOwed(), 1234u);
  }
  clock.UseFixedBudget(0);
  host_clock_advance(3);
  EXPECT_EQ(clock.TakeOwed(), 3 * kTStatesPerMs);
}

TEST_F(DevClockTest, PassMovesTheFakeClockAndIsNotOwedAgain) {
  DevClock clock(kHz);
  host_clock_advance(2);  // owed before the wait, and still owed after it
  EXPECT_EQ(clock.Pass(250), 250 * kTStatesPerMs);
  EXPECT_EQ(host_tick_ms(), 1252u);
  EXPECT_EQ(clock.TakeOwed(), 0u);
  // a fixed budget does not change what a wait is worth
  clock.UseFixedBudget(10);
  EXPECT_EQ(clock.Pass(3), 3 * kTStatesPerMs);
}

TEST_F(DevClockTest, FractionsOfATStateAreCarried) {
  constexpr u32 kColourburst = 3'579'545;  // not a multiple of 1 kHz
  DevClock clock(kColourburst);
  u64 total = 0;
  for (int i = 0; i < 1000; ++i) {
    host_clock_advance(1);
    total += clock.TakeOwed();
  }
  EXPECT_EQ(total, kColourburst);
}

TEST_F(DevClockTest, SwitchingTheTickClockOwesNothing) {
  DevClock clock(kHz);
  host_clock_use_real();
  EXPECT_EQ(clock.TakeOwed(), 0u);  // a real reading against a fake mark
  host_clock_use_fake(7);
  EXPECT_EQ(clock.TakeOwed(), 0u);
  host_clock_advance(4);
  EXPECT_EQ(clock.TakeOwed(), 4 * kTStatesPerMs);
}

// --- The driver through the library --------------------------------------------

std::vector<std::string> Boxes;
int record_box(std::string_view title, std::string_view text, unsigned) {
  Boxes.push_back(std::string(title) + "|" + std::string(text));
  return kBoxAnswerOk;
}

class SimDriverTest : public testing::Test {
 protected:
  void SetUp() override { Start(DevFixture{}); }
  void TearDown() override { Stop(); }

  void Start(const DevFixture& fixture) {
    host_clock_use_fake(5000);
    dev_reset_system();
    Boxes.clear();
    previous_ = host_set_message_box_sink(record_box);
    work = BiosWorkArea{};
    sim = std::make_unique<SimulatedDriver>(fixture);
    DevSys.driver = sim.get();
    DevSys.service_running = true;
    ASSERT_EQ(_NT_setbioswork(&work), 0);
    ASSERT_EQ(_Q_if_init(), fixture.board_id);
    sim->ClearTranscript();
  }
  void Stop() {
    _Q_if_init();  // leaves the library's channel fields empty for whoever comes next
    _NT_close_driver();
    dev_reset_system();
    host_set_message_box_sink(previous_);
    host_clock_use_real();
  }

  std::vector<u32> Requests() const {
    std::vector<u32> out;
    for (const SimTranscriptEntry& e : sim->Transcript())
      if (e.kind == Kind::Request) out.push_back(e.value);
    return out;
  }
  std::vector<u8> Sent() const { return sim->ChannelBytes(Kind::ToTarget); }
  // The bytes waiting for the target, taken out of its FIFO.
  std::vector<u8> TargetGets() {
    std::vector<u8> out;
    u8 b;
    while (sim->Board().TargetReceive(b)) out.push_back(b);
    return out;
  }
  u16 Status() const { return work.get16<kWorkStatus>(); }
  u8 WorkShadow(u8 reg) const { return work.bytes[kWorkRegisterShadow + reg]; }

  BiosWorkArea work{};
  std::unique_ptr<SimulatedDriver> sim;
  HostMessageBoxSink previous_ = nullptr;
};

TEST_F(SimDriverTest, DriverQueriesAnswerAsTheLibraryChecksThem) {
  EXPECT_EQ(_Q_get_qn_func(), 1);
  EXPECT_EQ(_NT_driver_status(), kSimDriverStatus);
  EXPECT_EQ(_NT_getver(), 0x0110);  // major version 1
  EXPECT_EQ(Requests(), (std::vector<u32>{57, 50, 50}));
  EXPECT_TRUE(Boxes.empty());
}

TEST_F(SimDriverTest, InterfaceInitGivesTheBoardIdAndAFreshInterface) {
  for (u8 id : {0, 1, 9, 15}) {
    SCOPED_TRACE(int(id));
    Stop();
    DevFixture f;
    f.board_id = id;
    Start(f);  // checks _Q_if_init's answer
    EXPECT_EQ(work.get16<kWorkPushback>(), kNoPushback);
    EXPECT_EQ(work.get8<kWorkBoardType>() & 0xF0, 0x30);
    EXPECT_EQ(work.get8<kWorkRegister>(), 255);
  }
}

TEST_F(SimDriverTest, MalformedRequestsFailWithTheirSystemError) {
  ScopedToken stranger(&work, 16);  // too short for a work area
  const struct {
    const char* what;
    u32 code;
    std::size_t in_length, out_length;
    u32 work_token;  // 0: the library's own
    u32 error;       // 0: succeeds
  } cases[] = {
      {"request 7 is not in the table", bios_ioctl_code(7), 416, 416, 0, kErrorInvalidFunction},
      {"nor is 19", bios_ioctl_code(19), 416, 416, 0, kErrorInvalidFunction},
      {"nor is 55", bios_ioctl_code(55), 416, 416, 0, kErrorInvalidFunction},
      {"58 is past the table", bios_ioctl_code(58), 416, 416, 0, kErrorInvalidFunction},
      {"between two codes", bios_ioctl_code(2) + 2, 416, 416, 0, kErrorInvalidFunction},
      {"another device type", 0x00222000, 416, 416, 0, kErrorInvalidFunction},
      {"a short input", bios_ioctl_code(2), 415, 416, 0, kErrorInvalidParameter},
      {"a long output", bios_ioctl_code(2), 416, 417, 0, kErrorInvalidParameter},
      {"a work area too short", bios_ioctl_code(2), 416, 416, stranger.token(), kErrorNoAccess},
      {"no work area", bios_ioctl_code(2), 416, 416, 0xDEAD, kErrorNoAccess},
      {"the size query needs none", bios_ioctl_code(57), 416, 416, 0xDEAD, 0},
      {"a register of the card", bios_ioctl_code(2), 416, 416, 0, 0},
  };
  ScopedToken own(&work, kWorkAreaSize);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    DriverArgBlock block;
    block.set32<kArgWorkArea>(c.work_token ? c.work_token : own.token());
    block.set8<0>(63);
    const DriverArgBlock before = block;
    u32 returned = 99, error = 0;
    const bool ok = sim->IoControl(c.code, block.bytes.data(), c.in_length, c.out_length, returned, error);
    EXPECT_EQ(ok, c.error == 0);
    if (ok) {
      EXPECT_EQ(returned, 416u);
      continue;
    }
    EXPECT_EQ(error, c.error);
    EXPECT_EQ(returned, 0u);
    EXPECT_EQ(block.bytes, before.bytes);  // no result reaches a failed caller
    EXPECT_FALSE(sim->Transcript().back().ok);
    EXPECT_EQ(sim->Transcript().back().result, c.error);
  }
}

TEST_F(SimDriverTest, LogicConfigurationNeedsTheMagic) {
  std::vector<u8> good(kDevLogicMagic.begin(), kDevLogicMagic.end());
  good.resize(40, 0x5A);
  std::vector<u8> bad = good;
  bad[0] = 'X';
  const struct {
    const char* what;
    std::vector<u8> first, last;  // pieces sent with flag 1 and flag 2; one piece when last is empty
    u32 result;
    u8 state;
  } cases[] = {
      {"one piece", good, {}, 0, kLogicConfigured},
      {"split inside the magic", {good.begin(), good.begin() + 5}, {good.begin() + 5, good.end()}, 0, kLogicConfigured},
      {"a wrong first byte", bad, {}, 1, kLogicFailed},
      {"no data at all", {}, {}, 1, kLogicFailed},  // the trailer alone is no magic
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    work.set16<kWorkStatus>(0);
    u32 result;
    if (c.last.empty()) {
      result = _Q_flex_cfg(3, c.first.data(), u16(c.first.size()));
    } else {
      ASSERT_EQ(_Q_flex_cfg(1, c.first.data(), u16(c.first.size())), 0u);
      result = _Q_flex_cfg(2, c.last.data(), u16(c.last.size()));
    }
    EXPECT_EQ(result, c.result);
    EXPECT_EQ(Status(), c.result ? kStatusLogicConfig : 0);
    EXPECT_EQ(sim->Board().LogicState(), c.state);
  }
  EXPECT_TRUE(Boxes.empty());
}

TEST_F(SimDriverTest, EmulationMemoryRoundTrip) {
  const struct {
    const char* what;
    u16 kind;
    u32 address;
    u16 count;
    bool reaches;
  } cases[] = {
      {"LROM1 from 0", kDevKindLrom1, 0x0000, 300, true},
      {"the monitor area", kDevKindMonitor, 0x7F80, 128, true},
      {"the last byte", kDevKindLrom1, dev_emu_size(DevFixture{}.memory_size_code) - 1, 1, true},
      {"no area", kDevKindNone, 0x40000, 16, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<u8> data(c.count);
    std::iota(data.begin(), data.end(), u8(c.address + 7));
    work.set16<kWorkAreaKind>(c.kind);
    work.set32<kWorkRomAddress>(c.address);
    _Q_wrromblk(data.data(), c.count);
    EXPECT_EQ(work.get32<kWorkRomAddress>(), c.address + c.count);  // the block form advances it
    std::vector<u8> back(c.count, 0);
    work.set32<kWorkRomAddress>(c.address);
    _Q_rdromblk(back.data(), c.count);
    EXPECT_EQ(back, c.reaches ? data : std::vector<u8>(c.count, 0xFF));
    EXPECT_EQ(sim->Board().EmuRead(c.address), c.reaches ? data[0] : 0xFF);
    // the single-byte forms stay at their address
    work.set32<kWorkRomAddress>(c.address);
    _Q_wrrom(0xA5);
    EXPECT_EQ(_Q_rdrom(), c.reaches ? 0xA5 : 0xFF);
    EXPECT_EQ(work.get32<kWorkRomAddress>(), c.address);
  }
  EXPECT_TRUE(Boxes.empty());
}

TEST_F(SimDriverTest, MonitorMemoryBlocksStayInsideOneBank) {
  const struct {
    const char* what;
    u16 bank;
    u16 address;
    u16 count;
    int memory_bank;  // where it lands; -1: refused
  } cases[] = {
      {"bank 3", 3, 10, 8, 3},
      {"bank 127 named 255", 255, 0, 64, 127},
      {"the last byte of bank 0", 0, 63, 1, 0},
      {"bank 126", 126, 0, 5, 126},
      {"127 is not a bank name", 127, 0, 1, -1},
      {"past 255", 300, 0, 1, -1},
      {"a block across the bank's end", 2, 60, 8, -1},
      {"an address past the bank", 2, 64, 1, -1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Boxes.clear();
    const std::array<u8, kDevMonitorMemorySize> before = [&] {
      std::array<u8, kDevMonitorMemorySize> m;
      std::copy(sim->Board().MonitorMemory().begin(), sim->Board().MonitorMemory().end(), m.begin());
      return m;
    }();
    std::vector<u8> data(c.count);
    std::iota(data.begin(), data.end(), u8(c.bank + c.address + 1));
    _Q_wrmonblk(c.bank, c.address, data.data(), c.count);
    std::vector<u8> back(c.count, 0);
    _Q_rdmonblk(c.bank, c.address, back.data(), c.count);
    if (c.memory_bank < 0) {
      ASSERT_EQ(Boxes.size(), 2u);
      EXPECT_EQ(Boxes[0], "\n******** ERROR(wrmonblk) ********|ERROR NO [00000057](87)");
      EXPECT_EQ(Boxes[1], "\n******** ERROR(rdmonblk) ********|ERROR NO [00000057](87)");
      EXPECT_TRUE(std::equal(before.begin(), before.end(), sim->Board().MonitorMemory().begin()));
      continue;
    }
    EXPECT_TRUE(Boxes.empty());
    EXPECT_EQ(back, data);
    const auto memory = sim->Board().MonitorMemory();
    EXPECT_TRUE(std::equal(data.begin(), data.end(), memory.begin() + c.memory_bank * 64 + c.address));
  }
}

TEST_F(SimDriverTest, RegistersAndTheirReadBack) {
  _Q_wrreg1(kRegMonitorBank, 9);
  EXPECT_EQ(sim->Board().SelectedBank(), 9);
  EXPECT_EQ(WorkShadow(kRegMonitorBank), 9);
  EXPECT_EQ(_Q_rdreg(kRegLogicStatus) >> 4, DevFixture{}.board_id);
  u8 alive[4] = {};
  _Q_rdregblk(kRegLogicStatus, alive, 4);
  for (int i = 1; i < 4; ++i) EXPECT_NE(alive[i] & kLogicAlive, alive[i - 1] & kLogicAlive) << i;
  const u8 block[3] = {0x11, 0x22, 0x33};
  _Q_wrregblk(kRegEmuAddressTop, block, 3);
  EXPECT_EQ(sim->Board().RegisterShadow(kRegEmuAddressTop), 0x33);
  EXPECT_EQ(WorkShadow(kRegEmuAddressTop), 0x33);
  EXPECT_EQ(_Q_rdreg(kRegJtagStatus), 0);  // a register with read-back bits
  EXPECT_TRUE(Boxes.empty());
  EXPECT_EQ(_Q_rdreg(64), 0);
  _Q_wrreg1(255, 1);
  ASSERT_EQ(Boxes.size(), 2u);
  EXPECT_EQ(Boxes[0], "\n******** ERROR(rdreg) ********|ERROR NO [00000057](87)");
  EXPECT_EQ(Boxes[1], "\n******** ERROR(wrreg1) ********|ERROR NO [00000057](87)");
}

// The engine's go sets the run strobe, then clears it in the work area's copy
// only: the next masked write of register 7, by whichever request, must drop it.
TEST_F(SimDriverTest, MaskedWritesStartFromTheWorkAreaShadow) {
  const struct {
    const char* what;
    void (*next)();
  } cases[] = {
      {"a masked write", [] { _Q_wrreg0(kRegControl, 0, 0x40); }},
      {"a FIFO reset", [] { _Q_fifo_rst(); }},
      {"a reset pulse", [] { _Q_trg_rst(2, 0); }},
      {"a run-time clear", [] { _Q_rtc0_clr(); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    _Q_wrreg0(kRegControl, kCtlRunStrobe, kCtlRunStrobe);
    ASSERT_EQ(sim->Board().RegisterShadow(kRegControl) & kCtlRunStrobe, kCtlRunStrobe);
    ASSERT_EQ(WorkShadow(kRegControl) & kCtlRunStrobe, kCtlRunStrobe);
    work.bytes[kWorkRegisterShadow + kRegControl] &= u8(~kCtlRunStrobe);
    c.next();
    EXPECT_EQ(sim->Board().RegisterShadow(kRegControl) & kCtlRunStrobe, 0);
  }
  // a request that leaves register 7 alone leaves the edit alone too
  _Q_wrreg0(kRegControl, kCtlRunStrobe, kCtlRunStrobe);
  work.bytes[kWorkRegisterShadow + kRegControl] &= u8(~kCtlRunStrobe);
  _Q_bankset(5);
  EXPECT_EQ(WorkShadow(kRegControl) & kCtlRunStrobe, 0);
  EXPECT_EQ(WorkShadow(kRegMonitorBank), 5);  // what the board's operation wrote is copied
}

TEST_F(SimDriverTest, InitHoldsTheTargetInResetWithTheWorkAreasSetUp) {
  work.set16<kWorkStatus>(kStatusTimeout);
  work.set8<kWorkReg7Bits>(0x01);  // NMI set-up level: register 7 bit 2
  work.set8<kWorkReg4High>(0x02);
  u8 stale = 0x77;
  _Q_putrsblk(&stale, 1, 0);
  _Q_init();
  EXPECT_EQ(Status(), 0);
  EXPECT_EQ(work.get16<kWorkTickLimit>(), 1000);
  EXPECT_TRUE(sim->Board().ResetHeld());
  EXPECT_EQ(sim->Board().RegisterShadow(kRegControl), kCtlNmiHold);
  EXPECT_EQ(sim->Board().RegisterShadow(kRegMonitorLanes), 0x80);
  EXPECT_FALSE(sim->Board().MonitorWindowOn());
  EXPECT_EQ(sim->Board().RegisterShadow(kRegEmuMode) & 0x0C, 0x0C);
  EXPECT_EQ(sim->Board().TargetPending(), 0u);  // the FIFOs were emptied after the byte went out
  EXPECT_EQ(Sent(), std::vector<u8>{0x77});
  EXPECT_EQ(_Q_chk_run(), 0);
  EXPECT_EQ(work.get16<kWorkRunState>(), 0);
}

TEST_F(SimDriverTest, PowerChecks) {
  const struct {
    bool power, second;
    u16 flag;
    u32 result;
  } cases[] = {
      {true, true, 1, 0},
      {false, true, 0, 1},
      {true, false, 0, 0},  // the second supply only counts when asked for
      {true, false, 1, 2},
      {false, false, 1, 3},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.power << c.second << c.flag);
    work.set16<kWorkStatus>(0);
    sim->SetTargetPower(c.power);
    sim->Board().SetSecondSupply(c.second);
    EXPECT_EQ(_Q_chk_vcc(c.flag), c.result);
    EXPECT_EQ(Status(), c.result ? kStatusPowerOff : 0);
  }
}

TEST_F(SimDriverTest, GetWithNothingWaitingTimesOutInVirtualTime) {
  for (u16 limit : {0, 1, 200, 1000}) {
    SCOPED_TRACE(limit);
    work.set16<kWorkTickLimit>(limit);
    work.set16<kWorkStatus>(0);
    const u32 start = host_tick_ms();
    const auto wall = std::chrono::steady_clock::now();
    EXPECT_EQ(_Q_getrs(), 0);
    EXPECT_EQ(Status(), kStatusTimeout);
    const u32 steps = limit ? limit : 1;  // a wait takes at least one step
    EXPECT_EQ(host_tick_ms() - start, steps);
    work.set16<kWorkStatus>(0);
    u8 buffer[2];
    EXPECT_EQ(_Q_getrsblk(buffer, 2), 1u);
    EXPECT_EQ(Status(), kStatusTimeout);
    EXPECT_EQ(host_tick_ms() - start, 2 * steps);
    // virtual time only: a second of it costs far less than a second
    EXPECT_LT(std::chrono::steady_clock::now() - wall, std::chrono::milliseconds(500));
  }
  EXPECT_TRUE(Boxes.empty());
}

TEST_F(SimDriverTest, ReceivedBytesComeInOrderAndAShortBlockKeepsWhatCame) {
  work.set16<kWorkTickLimit>(5);
  for (u8 b : {0x10, 0x20, 0x30}) sim->Board().TargetSend(b);
  EXPECT_EQ(_Q_rschk(), 3u);
  EXPECT_EQ(_Q_getrs(), 0x10);
  u8 buffer[3] = {0, 0, 0};
  EXPECT_EQ(_Q_getrsblk(buffer, 3), 1u);  // two came, the third timed out
  EXPECT_EQ(buffer[0], 0x20);
  EXPECT_EQ(buffer[1], 0x30);
  EXPECT_EQ(Status(), kStatusTimeout);
  EXPECT_EQ(sim->ChannelBytes(Kind::FromTarget), (std::vector<u8>{0x10, 0x20, 0x30}));
  // a pushed-back byte comes first; a flush drops it and everything waiting
  sim->Board().TargetSend(0x40);
  _Q_push_getrs(0x99);
  EXPECT_EQ(_Q_rschk(), 1u);
  EXPECT_EQ(_Q_getrs(), 0x99);
  sim->Board().TargetSend(0x50);
  _Q_push_getrs(0x98);
  _Q_flushrs();
  EXPECT_EQ(work.get16<kWorkPushback>(), kNoPushback);
  EXPECT_EQ(_Q_rschk(), 0u);
}

TEST_F(SimDriverTest, GatheredBytesReachTheTargetBeforeTheNextRequest) {
  for (u8 b : {0x08, 0x34, 0x12}) EXPECT_EQ(_Q_putrs(b), 0u);
  EXPECT_TRUE(sim->Transcript().empty());  // gathered by the library
  EXPECT_EQ(_Q_rschk(), 0u);
  const std::vector<SimTranscriptEntry> expected = {
      {Kind::Request, 22, 0, true},
      {Kind::ToTarget, 0x08, 0, true},
      {Kind::ToTarget, 0x34, 0, true},
      {Kind::ToTarget, 0x12, 0, true},
  };
  EXPECT_EQ(std::vector<SimTranscriptEntry>(sim->Transcript().begin(), sim->Transcript().end()), expected)
      << sim->TranscriptText();
  EXPECT_EQ(TargetGets(), (std::vector<u8>{0x08, 0x34, 0x12}));
  // the driver left the buffer empty: 31 more bytes are gathered again
  sim->ClearTranscript();
  for (u8 i = 0; i < 31; ++i) _Q_putrs(i);
  EXPECT_TRUE(sim->Transcript().empty());
  _Q_putrs(31);  // the 32nd goes by request, after the 31
  EXPECT_EQ(Requests(), std::vector<u32>{20});
  std::vector<u8> all(32);
  std::iota(all.begin(), all.end(), u8(0));
  EXPECT_EQ(Sent(), all);
  EXPECT_EQ(TargetGets(), all);
}

TEST_F(SimDriverTest, StartCommandSelectsTheCodeThenRingsAfterTheGatheredBytes) {
  const struct {
    u16 code;
    int register_10;  // -1: refused
  } cases[] = {{8, 8}, {127, 255}, {126, 126}, {0, 0}, {255, 255}, {200, -1}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.code);
    Boxes.clear();
    sim->ClearTranscript();
    work.set32<kWorkStartCmdMark>(0xFFFFFFFF);
    _Q_putrs(0x41);
    _nt_STARTCMD(c.code);
    const std::vector<u8> rung = c.register_10 < 0 ? std::vector<u8>{0x41} : std::vector<u8>{0x41, 0x00};
    EXPECT_EQ(TargetGets(), rung);
    if (c.register_10 < 0) {
      ASSERT_EQ(Boxes.size(), 1u);
      EXPECT_EQ(Boxes[0], "\n******** ERROR(STARTCMD) ********|ERROR NO [00000057](87)");
      EXPECT_EQ(work.get32<kWorkStartCmdMark>(), 0xFFFFFFFFu);
      continue;
    }
    EXPECT_TRUE(Boxes.empty());
    EXPECT_EQ(sim->Board().RegisterShadow(kRegMonitorBank), c.register_10);
    EXPECT_EQ(work.get32<kWorkStartCmdMark>(), 0u);
  }
  // the refused request still sent the gathered byte: it must not go twice
  sim->ClearTranscript();
  _Q_rschk();
  EXPECT_TRUE(Sent().empty());
}

TEST_F(SimDriverTest, APutIntoAFullFifoWaitsForTheTarget) {
  std::vector<u8> fill(kDevFifoSize, 0xEE);
  work.set16<kWorkTickLimit>(40);
  // the target is held in reset: nothing takes the bytes
  ASSERT_EQ(_Q_putrsblk(fill.data(), u16(fill.size()), 0), 0u);
  const struct {
    const char* what;
    bool input_waiting;
    u16 stop_on_input;
    u32 result;
    u16 status;
    u32 ms;
  } cases[] = {
      {"time-out", false, 0, 1, kStatusTimeout, 40},
      {"input does not stop a plain send", true, 0, 1, kStatusTimeout, 40},
      {"input stops a send that asks", true, 1, 1, 0, 0},
  };
  const std::vector<u8> more(32, 0x11);  // too long to gather
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    work.set16<kWorkStatus>(0);
    if (c.input_waiting) sim->Board().TargetSend(0x55);
    const u32 start = host_tick_ms();
    EXPECT_EQ(_Q_putrsblk(more.data(), u16(more.size()), c.stop_on_input), c.result);
    EXPECT_EQ(Status(), c.status);
    EXPECT_EQ(host_tick_ms() - start, c.ms);
    _Q_flushrs();
  }
  EXPECT_EQ(Sent(), fill);
  // a gathered byte that finds the FIFO full is lost with a time-out
  work.set16<kWorkStatus>(0);
  _Q_putrs(0x22);
  _Q_rschk();
  EXPECT_EQ(Status(), kStatusTimeout);
  EXPECT_EQ(Sent(), fill);
  EXPECT_EQ(TargetGets(), fill);
}

TEST_F(SimDriverTest, TargetResetAndNmiLines) {
  DevBoard& board = sim->Board();
  _Q_trg_rst(1, 0);
  EXPECT_TRUE(board.ResetHeld());
  _Q_trg_rst(0, 0);
  EXPECT_FALSE(board.ResetHeld());
  board.TakeReset();
  const u32 start = host_tick_ms();
  _Q_putrs(0x01);
  _Q_trg_rst(85, 1);  // the boot's reset pulse, with the FIFOs emptied
  EXPECT_EQ(host_tick_ms() - start, 85u);
  EXPECT_FALSE(board.ResetHeld());
  EXPECT_EQ(board.TargetPending(), 0u);
  EXPECT_EQ(Sent(), std::vector<u8>{0x01});
  // two short pulses are two NMIs
  for (int i = 0; i < 2; ++i) {
    SCOPED_TRACE(i);
    _Q_trg_NMI(0);
    EXPECT_TRUE(board.TakeNmi());
  }
  const u8 control = board.RegisterShadow(kRegControl);
  _Q_trg_NMI(20);
  EXPECT_EQ(host_tick_ms() - start, 105u);
  EXPECT_EQ(board.RegisterShadow(kRegControl), control);
}

TEST_F(SimDriverTest, TimePassesOnlyInDeviceCalls) {
  DevBoard& board = sim->Board();
  const u64 before = board.TStates();
  _Q_wait(250);
  EXPECT_EQ(board.TStates() - before, 250 * kTStatesPerMs);
  EXPECT_EQ(host_tick_ms(), 5250u);
  host_clock_advance(3);  // owed, and run at the next call
  _Q_chk_run();
  EXPECT_EQ(board.TStates() - before, 253 * kTStatesPerMs);
  sim->Clock().UseFixedBudget(1000);
  _Q_chk_run();
  _Q_chk_run();
  EXPECT_EQ(board.TStates() - before, 253 * kTStatesPerMs + 2000);
}

// Before anything is set up the instruments have nothing to tell; the JTAG
// port and the profiler exchange of a stopped program answer as before.
TEST_F(SimDriverTest, IdleInstrumentsAndAbsentHardware) {
  work.set8<kWorkTraceMode>(0x10);  // trace delay in use
  u32 timer = 0x1234;
  u32 frame = 7, delay = 7, address = 7, data = 7;
  u16 status = 7, extra = 7;
  u8 jtag[4] = {1, 2, 3, 4};
  u8 sample[4] = {};
  const struct {
    const char* what;
    u32 (*call)(void*);
    u32 result;
    u16 work_status;
  } cases[] = {
      {"event status", [](void*) { return u32(_Q_ev_stat(1)); }, 0, 0},
      {"trace delay", [](void*) { return u32(_Q_delay_rd()); }, 0, 0},
      {"timer", [](void* p) { return u32(_Q_tm_rd(static_cast<u32*>(p))); }, 0, 0},
      {"trace address", [](void*) { return _Q_tr_rdadr(); }, 0, 0},
      {"profiler while stopped", [](void* p) { return u32(_Q_profnmi(p, 4, 254, 0)); }, 3, 0},
      {"JTAG write", [](void* p) { return u32(_Q_jtag_wrregblk(p, 4)); }, 1, kStatusTimeout},
      {"JTAG read", [](void* p) { return u32(_Q_jtag_rdFIFO(nullptr, 0, p, 4)); }, 0, 0},
  };
  void* args[] = {nullptr, nullptr, &timer, nullptr, sample, jtag, sample};
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(cases[i].what);
    work.set16<kWorkStatus>(0);
    EXPECT_EQ(cases[i].call(args[i]), cases[i].result);
    EXPECT_EQ(Status(), cases[i].work_status);
  }
  EXPECT_EQ(timer, 0x1234u);  // nothing measured: left alone
  EXPECT_EQ(_Q_tr_stop(&frame, &delay), 0u);
  EXPECT_EQ(frame, 0u);
  EXPECT_EQ(delay, 0xFFFFFFFFu);  // never triggered
  EXPECT_EQ(_Q_rdsmp_adr(&address, &status), 1u);  // no fetch seen
  EXPECT_EQ(status, 0u);
  _Q_rd_trc_data(3, &address, &data, &status, &extra);
  EXPECT_EQ(data, 0u);
  EXPECT_TRUE(Boxes.empty());
}

// The library's requests reach the instruments: channels from the library's
// copies of the records, the selections from the set-ups, the timer from its
// settings.
TEST_F(SimDriverTest, EventRequestsProgramTheInstruments) {
  const std::size_t at = kWorkLibraryEvents + kEventRecordSize;  // event 2
  work.bytes[at + 1] = 1;                  // address negated
  work.set32_at(at + 4, 0x1000);
  work.set32_at(at + 8, 0x10FF);
  work.set32_at(at + 12, 0xFFFFF);
  work.set32_at(at + 16, 0x40);
  work.set32_at(at + 20, 0xF0);
  work.set16_at(at + 24, 0x12);
  work.set16_at(at + 26, 0x1F);
  work.set16_at(at + 28, 3);
  _Q_trig_set(2);
  const DevEventChannel& c = sim->Board().Events().Channel(1);
  EXPECT_TRUE(c.address_negate);
  EXPECT_FALSE(c.data_negate);
  EXPECT_EQ(c.address_start, 0x1000u);
  EXPECT_EQ(c.address_end, 0x10FFu);
  EXPECT_EQ(c.data_mask, 0xF0u);
  EXPECT_EQ(c.status_value, 0x12);
  EXPECT_EQ(c.pass_count, 3);
  work.bytes[kWorkEventEnable] = kDevSrcAndSeq;
  work.bytes[kWorkEventEnable + 1] = 0x80;
  work.set16_at(kWorkEventEnable + 2, 4);
  work.bytes[kWorkTraceEventSetup] = kDevSrcEv3;
  work.set8<kWorkTimerFlags>(1);
  work.set8<kWorkTimerStep>(2);
  work.set32<kWorkTimerPreset>(500);
  _Q_ev_set(1);
  const DevEventSelection& b = sim->Board().Events().BreakSelection();
  EXPECT_EQ(b.sources, kDevSrcAndSeq);
  EXPECT_TRUE(b.sequence);
  EXPECT_EQ(b.pass_count, 4);
  EXPECT_EQ(sim->Board().Events().TriggerSelection().sources, 0);  // flag 1 sets the break only
  EXPECT_EQ(sim->Board().Events().TimerResolution(), 2);
  _Q_ev_set(2);
  EXPECT_EQ(sim->Board().Events().TriggerSelection().sources, kDevSrcEv3);
}

// The monitor boots and answers through the library, on the fake clock with
// wall time: every reply comes from the driver's waits and the monitor's
// service, never from time a test made up.
TEST_F(SimDriverTest, TheMonitorBootsAndAnswersThroughTheLibrary) {
  const DevFixture board;
  const std::vector<u8> file = dev_monitor_file(board);
  MonitorFileHeader header;
  std::memcpy(&header, file.data(), sizeof header);
  _Q_init();
  for (std::size_t chunk = 0; chunk < kDevMonitorChunks; ++chunk) {
    std::array<u8, kDevMonitorBankSize> bytes;
    std::memcpy(bytes.data(), &file[kMonitorImageOffset + chunk * kDevMonitorBankSize], bytes.size());
    if (chunk == 0) bytes[header.position.get() & 63] = 0xFF;  // RST 38H
    _Q_wrmonblk(chunk == 0 ? kDevTopBankCode : u16(chunk + 1), 0, bytes.data(), u16(bytes.size()));
  }
  const u32 code = header.code_address.get();
  const u8 jump[3] = {0xC3, u8(code), u8(code >> 8)};
  work.set16<kWorkAreaKind>(kDevKindLrom1);
  work.set32<kWorkRomAddress>(0);
  _Q_wrromblk(jump, 3);
  _Q_mon_en(1);
  _Q_fifo_rst();
  _Q_flushrs();
  _Q_bankset(kDevColdStartBank);
  _Q_trg_rst(85, 1);
  int polls = 0;
  while (_Q_rschk() == 0 && polls < 800) {
    _Q_wait(10);
    ++polls;
  }
  ASSERT_LT(polls, 800) << sim->TranscriptText();
  EXPECT_EQ(_Q_getrs(), kMonitorHello);
  // write byte, then read it back: code, address word, (value), reply
  const u8 address[2] = {0x34, 0x82};
  _nt_STARTCMD(24);
  _Q_putrsblk(address, 2, 0);
  _Q_putrs(0x5C);
  EXPECT_EQ(_Q_getrs(), kMonitorAcknowledge);
  _nt_STARTCMD(8);
  _Q_putrsblk(address, 2, 0);
  EXPECT_EQ(_Q_getrs(), 0x5C);
  EXPECT_EQ(sim->Board().PeekTarget(0x8234), 0x5C);
  EXPECT_EQ(Status(), 0);
  // a hung monitor takes the request and the wait times out
  sim->SetMonitorHung(true);
  const u32 start = host_tick_ms();
  _nt_STARTCMD(8);
  _Q_putrsblk(address, 2, 0);
  EXPECT_EQ(_Q_getrs(), 0);
  EXPECT_EQ(Status(), kStatusTimeout);
  EXPECT_EQ(host_tick_ms() - start, 1000u);  // the tick limit _Q_init set
  EXPECT_TRUE(Boxes.empty());
}

TEST_F(SimDriverTest, TheTranscriptKeepsTheLatestEntries) {
  for (int i = 0; i < 5; ++i) _Q_chk_run();
  for (std::size_t i = 0; i < kSimTranscriptLimit; ++i) _Q_rdreg(kRegChannel);
  ASSERT_EQ(sim->Transcript().size(), kSimTranscriptLimit);
  EXPECT_EQ(sim->Transcript().front().value, 2u);  // the five older requests are gone
  const SimTranscriptEntry last{Kind::Request, 2, kFifoSendRoom | kFifoSendMost | kFifoSendEmpty, true};
  EXPECT_EQ(sim->Transcript().back(), last);
}

}  // namespace
