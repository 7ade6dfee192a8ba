// The direct back end's operations: the piece sizes of emulation-memory
// blocks on a recording fake of the card's ports, and every operation against
// the simulated card's ports, where the board shows what the register
// sequences reached.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <string>
#include <vector>

#include "platform/device/dev_driver.h"
#include "platform/device/dev_ports.h"
#include "platform/device/dev_sim_driver.h"
#include "rz7bios/bios_core.h"
#include "rz7bios/bios_direct.h"
#include "rz7bios/rz7bios.h"

namespace {

constexpr u16 kBase = 0x300;

// Counts the data bytes that go to register 3 after each address set-up
// (a write of register 1): the pieces of an emulation-memory block.
class PieceCounter : public DevicePorts {
 public:
  std::vector<std::size_t> pieces;

  u8 In8(u16 port) override {
    if (port == kBase) return last_base_ == 0 ? 0x00 : 0xC1;  // generation 0x30
    if (port == kBase + 3) Data(1);
    return 0;
  }
  u16 In16(u16 port) override {
    if (port == kBase + 2 || port == kBase + 14) Data(2);
    return 0;
  }
  void Out8(u16 port, u8 value) override {
    if (port == kBase) last_base_ = value;
    if (port == kBase + 2) selected_ = value;
    if (port == kBase + 3) Data(1);
  }
  void Out16(u16 port, u16 value) override {
    if (port == kBase + 2) {
      selected_ = u8(value);
      if (selected_ == 1) pieces.push_back(0);  // address bits 8-15: a new piece
    }
    if (port == kBase + 4) Data(2);
  }
  void Out32(u16 port, u32) override {
    if (port == kBase + 12) Data(4);
  }

 private:
  void Data(std::size_t n) {
    if (selected_ == 3 && !pieces.empty()) pieces.back() += n;
  }
  u8 last_base_ = 0;
  u8 selected_ = 255;
};

// Logs the register accesses of a generation 0x10 board (word ports, no
// second bank): "w R=V" a single write, "r R" a read, "b R" each byte of a
// block write. Register 63 reads as a configured, live board.
class RegisterLog : public DevicePorts {
 public:
  std::vector<std::string> log;

  u8 In8(u16 port) override {
    if (port == kBase) return last_base_ == 0 ? 0x00 : 0x81;
    if (port != kBase + 3) return 0;
    log.push_back("r " + std::to_string(selected_));
    return selected_ == 63 ? u8(0x02 | (toggle_ ^= 8)) : 0;
  }
  u16 In16(u16) override { return 0; }
  void Out8(u16 port, u8 value) override {
    if (port == kBase) last_base_ = value;
    if (port == kBase + 2) selected_ = value;
    if (port == kBase + 3) log.push_back("b " + std::to_string(selected_));
  }
  void Out16(u16 port, u16 value) override {
    if (port == kBase + 2) {
      selected_ = u8(value);
      log.push_back("w " + std::to_string(selected_) + "=" + std::to_string(value >> 8));
    }
    if (port == kBase + 4) {
      log.push_back("b " + std::to_string(selected_));
      log.push_back("b " + std::to_string(selected_));
    }
  }
  void Out32(u16, u32) override {}

 private:
  u8 last_base_ = 0;
  u8 selected_ = 255;
  u8 toggle_ = 0;
};

class BiosDirectOpsTest : public testing::Test {
 protected:
  void SetUp() override {
    bios_reset_state();
    dev_reset_system();
    DevSys.platform = kPlatformWin9x;
    work_.set16<kWorkBasePort>(kBase);
    work_.set8<kWorkBusWidth>(1);
  }
  void TearDown() override {
    bios_reset_state();
    dev_reset_system();
  }
  // The simulated card at the base port, probed and initialised.
  void Card() {
    ports_ = std::make_unique<DevBoardPorts>(driver_, kBase);
    DevSys.ports = ports_.get();
    ASSERT_EQ(_NT_setbioswork(&work_), 0);
    ASSERT_EQ(_Q_if_init(), DevFixture{}.board_id);
    _Q_init();
  }
  DevBoard& Board() { return driver_.Board(); }

  BiosWorkArea work_{};
  SimulatedDriver driver_;
  std::unique_ptr<DevBoardPorts> ports_;
};

TEST_F(BiosDirectOpsTest, EmulationMemoryBlocksStopAtTheirBoundaries) {
  const struct {
    bool write;
    u32 address;
    std::size_t count;
    std::vector<std::size_t> pieces;
  } cases[] = {
      {true, 0x10000, 0xFFFF, {0xFFFE, 1}},  // on a boundary: 0xFFFE at most
      {true, 0xFFF0, 0x100, {16, 240}},
      {true, 0x1234, 10, {10}},
      {false, 0x7FF0, 32, {16, 16}},         // reads stop at 32 KiB boundaries
      {false, 0x8000, 0x9000, {0x8000, 0x1000}},
      {false, 0x10000, 0xFFFF, {0x8000, 0x7FFF}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.write << ' ' << std::hex << c.address << ' ' << c.count);
    PieceCounter counter;
    DevSys.ports = &counter;
    ASSERT_EQ(_NT_setbioswork(&work_), 0);
    _Q_if_init();
    work_.set32<kWorkRomAddress>(c.address);
    std::vector<u8> bytes(c.count);
    if (c.write)
      _Q_wrromblk(bytes.data(), u16(c.count));
    else
      _Q_rdromblk(bytes.data(), u16(c.count));
    EXPECT_EQ(counter.pieces, c.pieces);
    EXPECT_EQ(work_.get32<kWorkRomAddress>(), c.address + c.count);  // advanced as through the driver
  }
}

// The register sequences whose order the board depends on.
TEST_F(BiosDirectOpsTest, OperationsKeepTheirRegisterOrder) {
  using Log = std::vector<std::string>;
  const struct {
    const char* what;
    void (*op)();
    Log expected;
  } cases[] = {
      {"run-time counter, most significant first", [] { _Q_rtc0_rd(); }, {"r 11", "r 10", "r 9", "r 8"}},
      {"monitor byte: bank, lane, address, data",
       [] {
         const u8 b[2] = {7, 8};
         _Q_wrmonblk(3, 4, b, 2);
       },
       {"w 10=3", "w 4=14", "w 6=4", "w 5=7", "w 4=14", "w 6=5", "w 5=8"}},
      {"trigger channel 3: data, negation, address, negation, status, pass, enable",
       [] { _Q_trig_set(3); },
       {"w 44=128", "w 49=0",  "w 36=8",  "b 32",    "b 32",    "b 33",   "b 33", "b 37", "b 37", "b 38",
        "b 38",     "w 50=0",  "b 34",    "b 34",    "b 34",    "b 35",   "b 35", "b 35", "b 43", "b 43",
        "b 43",     "b 39",    "b 39",    "b 39",    "w 50=0",  "b 42",   "b 42", "b 40", "b 40", "b 48",
        "b 48",     "w 49=4",  "w 44=0"}},
      {"logic configuration: hold, release, check, data, trailer, check",
       [] {
         const u8 d[2] = {1, 2};
         _Q_flex_cfg(3, d, 2);
       },
       {"w 63=0", "w 63=1", "r 63", "b 62", "b 62"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    RegisterLog ports;
    DevSys.ports = &ports;
    work_ = BiosWorkArea{};
    work_.set16<kWorkBasePort>(kBase);
    work_.set8<kWorkBusWidth>(1);
    ASSERT_EQ(_NT_setbioswork(&work_), 0);
    ASSERT_NE(_Q_if_init(), 255);
    work_.set32<kWorkRegisterPage>(0);
    ports.log.clear();
    c.op();
    Log got = ports.log;
    // the configuration's trailer and I/O delays are not registers
    if (std::string(c.what).starts_with("logic")) got.resize(std::min<std::size_t>(got.size(), 5));
    EXPECT_EQ(got, c.expected);
  }
}

TEST_F(BiosDirectOpsTest, EmulationAndMonitorMemoryRoundTrip) {
  Card();
  work_.set16<kWorkAreaKind>(64);
  std::vector<u8> bytes(300);
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = u8(i * 7 + 1);
  work_.set32<kWorkRomAddress>(0xFF80);  // across a 64 KiB boundary
  _Q_wrromblk(bytes.data(), u16(bytes.size()));
  for (std::size_t i = 0; i < bytes.size(); ++i) ASSERT_EQ(Board().EmuRead(u32(0xFF80 + i)), bytes[i]) << i;
  std::vector<u8> back(bytes.size());
  work_.set32<kWorkRomAddress>(0xFF80);
  _Q_rdromblk(back.data(), u16(back.size()));
  EXPECT_EQ(back, bytes);
  work_.set32<kWorkRomAddress>(0x10005);
  _Q_wrrom(0xA5);
  EXPECT_EQ(_Q_rdrom(), 0xA5);
  EXPECT_EQ(Board().EmuRead(0x10005), 0xA5);
  EXPECT_EQ(Board().RegisterShadow(2) & 0x0C, 0x0C);  // the access is closed again

  const u8 monitor[5] = {1, 2, 3, 4, 5};
  _Q_wrmonblk(255, 10, monitor, 5);  // bank 127
  std::array<u8, 5> read{};
  _Q_rdmonblk(255, 10, read.data(), 5);
  EXPECT_EQ(read, std::to_array(monitor));
  EXPECT_EQ(Board().MonitorMemory()[127 * 64 + 12], 3);
  _Q_mon_en(1);
  EXPECT_TRUE(Board().MonitorWindowOn());
  _Q_bankset(7);
  EXPECT_EQ(Board().SelectedBank(), 7);
  _Q_wrmonblk(256, 0, monitor, 5);  // no such bank: nothing moves
  EXPECT_EQ(Board().SelectedBank(), 7);
}

TEST_F(BiosDirectOpsTest, TargetControlAndPower) {
  Card();
  EXPECT_TRUE(Board().ResetHeld());  // _Q_init holds the target in reset
  _Q_trg_rst(0, 0);
  EXPECT_FALSE(Board().ResetHeld());
  _Q_trg_rst(1, 0);
  EXPECT_TRUE(Board().ResetHeld());
  _Q_trg_rst(0, 1);
  EXPECT_EQ(work_.get32<kWorkSendCredit>(), 32u);
  Board().TakeNmi();
  for (int i = 0; i < 2; ++i) {  // every request is an edge
    _Q_trg_NMI(0);
    EXPECT_TRUE(Board().TakeNmi()) << i;
  }
  EXPECT_EQ(_Q_chk_run(), Board().CheckRun());
  EXPECT_EQ(_Q_chk_vcc(1), 0u);
  EXPECT_EQ(work_.get16<kWorkStatus>() & kStatusPowerOff, 0);
  Board().SetSecondSupply(false);
  EXPECT_EQ(_Q_chk_vcc(1), 2u);
  Board().SetTargetPower(false);
  EXPECT_EQ(_Q_chk_vcc(0), 1u);
  EXPECT_EQ(work_.get16<kWorkStatus>() & kStatusPowerOff, kStatusPowerOff);
  _Q_rtc0_clr();
  EXPECT_EQ(_Q_rtc0_rd(), 0u);
}

TEST_F(BiosDirectOpsTest, EventChannelsArmingAndPassCounts) {
  Card();
  const struct {
    u16 pass;
    u16 loaded;
  } passes[] = {{0, 1}, {1, 1}, {2, 1}, {3, 3}, {50, 50}};  // never 65,535 matches
  for (const auto& p : passes) {
    SCOPED_TRACE(p.pass);
    const std::size_t at = kWorkLibraryEvents + kEventRecordSize;  // channel 2
    work_.set32_at(at + 4, 0x2000);
    work_.set32_at(at + 8, 0x2FFF);
    work_.set32_at(at + 12, 0xFFFFF);
    work_.set32_at(at + 16, 0x4A);
    work_.set32_at(at + 20, 0xF0);
    work_.set16_at(at + 24, 0x12);
    work_.set16_at(at + 26, 0x1F);
    work_.bytes[at + 1] = 1;  // address negated
    work_.set16_at(at + 28, p.pass);
    _Q_trig_set(2);
    const DevEventChannel& c = Board().Events().Channel(1);
    EXPECT_EQ(c.pass_count, p.loaded);
    EXPECT_EQ(c.address_start, 0x2000u);
    EXPECT_EQ(c.address_end, 0x2FFFu);
    EXPECT_EQ(c.address_mask, 0xFFFFFu);
    EXPECT_EQ(c.data_value, 0x4Au);
    EXPECT_EQ(c.data_mask, 0xF0u);
    EXPECT_EQ(c.status_value, 0x12);
    EXPECT_EQ(c.status_mask, 0x1F);
    EXPECT_TRUE(c.address_negate);
    EXPECT_FALSE(c.data_negate);
  }
  EXPECT_FALSE(Board().Page1());  // page 0 again

  work_.bytes[kWorkEventEnable] = kDevSrcEv2 | kDevSrcAndSeq;
  work_.bytes[kWorkEventEnable + 1] = 0x80;
  work_.set16_at(kWorkEventEnable + 2, 4);
  _Q_ev_set(1);
  const DevEventSelection& b = Board().Events().BreakSelection();
  EXPECT_EQ(b.sources, kDevSrcEv2 | kDevSrcAndSeq);
  EXPECT_TRUE(b.sequence);
  EXPECT_EQ(b.pass_count, 4);

  work_.bytes[kWorkTraceEventSetup] = kDevSrcEv1;
  _Q_ev_set(2);
  EXPECT_EQ(Board().Events().TriggerSelection().sources, kDevSrcEv1);
  EXPECT_EQ(Board().Events().BreakSelection().sources, kDevSrcEv2 | kDevSrcAndSeq);  // left as it was
  EXPECT_EQ(_Q_ev_stat(1), Board().Events().Status());
  EXPECT_FALSE(Board().Page1());
}

TEST_F(BiosDirectOpsTest, TimerAndTrace) {
  Card();
  u32 out = 0x123;
  EXPECT_EQ(_Q_tm_rd(&out) & 0x02, 0);
  EXPECT_EQ(out, 0x123u);  // no measurement: out untouched
  work_.set8<kWorkTimerStep>(2);
  _Q_tm_set();
  EXPECT_EQ(Board().Events().TimerResolution(), 2);

  work_.set8<kWorkTraceMode>(kDevTraceStopFull);
  _Q_tr_go();
  EXPECT_TRUE(Board().Events().TraceRecording());
  EXPECT_EQ(Board().Events().TraceMode(), kDevTraceStopFull);
  Board().Events().SetFrame(3, DevTraceFrame{0x1234, 0x5A, kDevStatusMemWrite, 0, 0});
  u32 frame = 0, delay = 7;
  EXPECT_EQ(_Q_tr_stop(&frame, &delay), 0u);
  EXPECT_FALSE(Board().Events().TraceRecording());
  EXPECT_EQ(frame, Board().Events().TraceFrameAddress());
  EXPECT_EQ(delay, 7u);  // not in delay mode: untouched
  u32 address = 0, data = 0;
  u16 status = 0, extra = 0;
  _Q_tm_rd(&out);  // a timer operation leaves page 1 selected
  _Q_rd_trc_data(3, &address, &data, &status, &extra);
  EXPECT_EQ(address, 0x1234u);
  EXPECT_EQ(data, 0x5Au);
  EXPECT_EQ(status, kDevStatusMemWrite);
}

// The bus sample while the trace records: its result's bit 0 says "no
// sample", as the driver's does, not "recording" as register 55 reads it.
TEST_F(BiosDirectOpsTest, BusSampleIsTakenWhileTheTraceRecords) {
  Card();
  u32 address = 1;
  u16 status = 1;
  EXPECT_EQ(_Q_rdsmp_adr(&address, &status) & 1, 1);  // no bus cycle seen yet
  EXPECT_EQ(status, 0);
  work_.set8<kWorkTraceMode>(0);
  _Q_tr_go();
  Board().Events().Cycle(0x0207, 0x3E, kDevStatusFetch, 100);
  Board().Events().Cycle(0x9000, 0x12, kDevStatusMemRead, 104);
  ASSERT_TRUE(Board().Events().TraceRecording());
  EXPECT_EQ(_Q_rdsmp_adr(&address, &status) & 1, 0);
  EXPECT_EQ(address, 0x0207u);
  EXPECT_EQ(status, kDevStatusFetch);
}

TEST_F(BiosDirectOpsTest, LogicConfigurationAndItsTrailer) {
  Card();
  std::vector<u8> logic(kDevLogicMagic.begin(), kDevLogicMagic.end());
  // shorter than the trailer: padded, never read past its end
  EXPECT_EQ(_Q_flex_cfg(3, logic.data(), u16(logic.size())), 0u);
  EXPECT_EQ(Board().LogicState(), kLogicConfigured);
  logic[0] = 'X';
  EXPECT_EQ(_Q_flex_cfg(3, logic.data(), u16(logic.size())), 1u);
  EXPECT_EQ(work_.get16<kWorkStatus>(), kStatusLogicConfig);
}

TEST_F(BiosDirectOpsTest, ProfilerLeavesAStrangeReplyForTheNextReceive) {
  Card();
  std::array<u8, 2> buffer{};
  EXPECT_EQ(_Q_profnmi(buffer.data(), 2, 0x5A, 0), 3);  // nothing runs
  ASSERT_TRUE(Board().TargetSend(0x33));
  EXPECT_EQ(_Q_profnmi(buffer.data(), 2, 0x5A, 2), 2);
  EXPECT_EQ(_Q_getrs(), 0x33);
}

}  // namespace
