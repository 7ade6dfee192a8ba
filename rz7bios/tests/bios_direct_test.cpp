// The direct back end on a recording fake of the card's ports: the probe of
// each board generation, the alive check, the widest ports for blocks, the
// register caches, _Q_init's write order, and the channel's FIFO credit.
#include <gtest/gtest.h>

#include <functional>
#include <numeric>
#include <vector>

#include "platform/device/dev_driver.h"
#include "rz7bios/bios_core.h"
#include "rz7bios/bios_direct.h"
#include "rz7bios/rz7bios.h"

namespace {

constexpr u16 kBase = 0x300;

// One port access: 'i' byte in, 'I' word in, 'o' byte out, 'w' word out,
// 'd' double word out.
struct PortOp {
  char kind;
  u16 port;
  u32 value;
  bool operator==(const PortOp&) const = default;
};
std::ostream& operator<<(std::ostream& os, const PortOp& op) {
  return os << op.kind << ' ' << std::hex << op.port << '=' << op.value;
}

// Answers the probe on the base port as a board of one generation, register
// 63 with a toggling bit 3, and `status` on the second bank's data port.
class RecordingPorts : public DevicePorts {
 public:
  u8 probe_low = 0x00;    // base port read after writing 0
  u8 probe_high = 0xC1;   // after writing 128 (generation 0x30)
  bool alive = true;
  u8 board_id = 5;
  std::function<u8()> status = [] { return u8(0x20); };
  std::vector<PortOp> ops;

  u8 In8(u16 port) override {
    u8 v = 0;
    if (port == kBase) v = last_base_ == 0 ? probe_low : probe_high;
    if (port == kBase + 3 && selected_ == 63) {
      toggle_ ^= alive ? 8 : 0;
      v = u8(board_id << 4 | toggle_);
    }
    if (port == kBase + 11) v = status();
    ops.push_back({'i', port, v});
    return v;
  }
  u16 In16(u16 port) override {
    ops.push_back({'I', port, 0});
    return 0;
  }
  void Out8(u16 port, u8 value) override {
    if (port == kBase) last_base_ = value;
    if (port == kBase + 2) selected_ = value;
    ops.push_back({'o', port, value});
  }
  void Out16(u16 port, u16 value) override {
    if (port == kBase + 2) selected_ = u8(value);
    ops.push_back({'w', port, value});
  }
  void Out32(u16 port, u32 value) override { ops.push_back({'d', port, value}); }

  // The register writes (number, value) among the recorded accesses.
  std::vector<std::pair<u8, u8>> RegisterWrites() const {
    std::vector<std::pair<u8, u8>> out;
    for (const PortOp& op : ops)
      if (op.kind == 'w' && op.port == kBase + 2) out.emplace_back(u8(op.value), u8(op.value >> 8));
    return out;
  }

 private:
  u8 last_base_ = 0;
  u8 selected_ = 255;
  u8 toggle_ = 0;
};

class BiosDirectTest : public testing::Test {
 protected:
  void SetUp() override {
    bios_reset_state();
    dev_reset_system();
    DevSys.platform = kPlatformWin9x;
    DevSys.ports = &ports_;
    work_.set16<kWorkBasePort>(kBase);
    ASSERT_EQ(_NT_setbioswork(&work_), 0);
  }
  void TearDown() override {
    bios_reset_state();
    dev_reset_system();
  }
  // A probed board of the generation the fake answers as; accesses cleared.
  u8 Init() {
    const u8 id = _Q_if_init();
    ports_.ops.clear();
    return id;
  }
  RecordingPorts ports_;
  BiosWorkArea work_{};
};

TEST_F(BiosDirectTest, ProbeFindsEachGenerationAndItsPorts) {
  const struct {
    u8 low, high;   // base port after writing 0, after writing 128
    u8 generation;
    bool words, dwords;
    u16 polls;
  } cases[] = {
      {0x00, 0x81, kBoardGen10, true, false, 1000},
      {0x00, 0xC1, kBoardGen30, true, true, 2000},
      {0x80, 0x81, kBoardGen20, false, false, 1000},  // bit 7 stuck high
      {0x00, 0x01, kBoardGen20, false, false, 1000},  // bit 7 never set
      {0x00, 0xC0, kBoardGen20, false, false, 1000},  // bit 0 did not follow
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(int(c.generation));
    ports_.probe_low = c.low;
    ports_.probe_high = c.high;
    work_.set8<kWorkBoardType>(2);
    EXPECT_EQ(_Q_if_init(), 5);
    EXPECT_EQ(work_.get8<kWorkBoardType>(), c.generation | 2);
    EXPECT_EQ(work_.get16<kPortSelect>(), kBase + 2);
    EXPECT_EQ(work_.get16<kPortWordWrite>(), c.words ? kBase + 4 : 0);
    EXPECT_EQ(work_.get16<kPortDword>(), c.dwords ? kBase + 12 : 0);
    EXPECT_EQ(work_.get16<kPortBank2Select>(), c.dwords ? kBase + 10 : 0);
    EXPECT_EQ(work_.get16<kWorkPollsPerTick>(), c.polls);
    std::vector<u8> setup;
    for (const PortOp& op : ports_.ops)
      if (op.kind == 'o' && op.port == kBase + 9) setup.push_back(u8(op.value));
    // interface kind 2 on a generation 0x30 board
    EXPECT_EQ(setup, c.dwords ? std::vector<u8>({15, 21, 33, 51, 69}) : std::vector<u8>{});
    ports_.ops.clear();
  }
}

TEST_F(BiosDirectTest, IfInitAnswers255WithoutALiveBoard) {
  EXPECT_EQ(_Q_if_init(), 5);
  ports_.alive = false;
  EXPECT_EQ(_Q_if_init(), 255);
  // no card answering at all: the bus floats high, bit 3 never toggles, and
  // the engine must not take it for board 0
  DevSys.ports = nullptr;
  EXPECT_EQ(_Q_if_init(), 255);
}

TEST_F(BiosDirectTest, BlocksUseTheWidestPortsTheBoardHas) {
  const u16 B = kBase;
  const struct {
    u8 high;  // probe answer: 0xC1 generation 0x30, 0x81 0x10, 0x01 0x20
    u16 n;
    std::vector<PortOp> writes;
  } cases[] = {
      {0xC1, 7, {{'o', u16(B + 3), 0}, {'w', u16(B + 4), 0x0201}, {'d', u16(B + 12), 0x06050403}}},
      {0xC1, 4, {{'d', u16(B + 12), 0x03020100}}},
      {0xC1, 3, {{'o', u16(B + 3), 0}, {'w', u16(B + 4), 0x0201}}},
      {0x81, 5, {{'o', u16(B + 3), 0}, {'w', u16(B + 4), 0x0201}, {'w', u16(B + 4), 0x0403}}},
      {0x01, 2, {{'o', u16(B + 3), 0}, {'o', u16(B + 3), 1}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << std::hex << int(c.high) << " n=" << c.n);
    ports_.probe_high = c.high;
    Init();
    std::vector<u8> data(c.n);
    std::iota(data.begin(), data.end(), u8(0));
    _Q_wrregblk(5, data.data(), c.n);
    ASSERT_FALSE(ports_.ops.empty());
    EXPECT_EQ(ports_.ops.front(), (PortOp{'o', u16(B + 2), 5}));  // the select
    EXPECT_EQ(std::vector<PortOp>(ports_.ops.begin() + 1, ports_.ops.end()), c.writes);
  }
}

TEST_F(BiosDirectTest, BlockReadsUsePrefetchThenWordsThenBytes) {
  Init();
  u8 buffer[5];
  _Q_rdregblk(14, buffer, 4);
  EXPECT_EQ(ports_.ops, (std::vector<PortOp>{
                            {'o', kBase + 2, 14}, {'I', kBase + 14, 0}, {'I', kBase + 2, 0}}));
  ports_.ops.clear();
  _Q_rdregblk(14, buffer, 5);  // register cached: no select
  EXPECT_EQ(ports_.ops, (std::vector<PortOp>{{'I', kBase + 14, 0}, {'I', kBase + 2, 0}, {'i', kBase + 3, 0}}));
}

TEST_F(BiosDirectTest, SelectIsCachedAndAWriteUpdatesTheCache) {
  Init();
  _Q_rdreg(9);
  _Q_rdreg(9);
  _Q_wrreg1(12, 0x5A);
  _Q_rdreg(12);
  _Q_wrreg0(12, 0x0F, 0x03);  // from the shadow: 0x5A & ~3 | 0x0F & 3
  EXPECT_EQ(ports_.ops, (std::vector<PortOp>{{'o', kBase + 2, 9},
                                             {'i', kBase + 3, 0},
                                             {'i', kBase + 3, 0},
                                             {'w', kBase + 2, 0x5A0C},
                                             {'i', kBase + 3, 0},
                                             {'w', kBase + 2, 0x5B0C}}));
  EXPECT_EQ(work_.get8<kWorkRegisterShadow + 12>(), 0x5B);
  EXPECT_EQ(_Q_rdreg(64), 0xFF);  // no such register: no access
  EXPECT_EQ(ports_.ops.size(), 6u);
}

TEST_F(BiosDirectTest, InitWritesInItsOrder) {
  Init();
  work_.set8<kWorkBusWidth>(1);
  work_.set32<kWorkMemoryClock>(0x12345678);
  work_.set8<kWorkReg7Bits>(2);
  work_.set8<kWorkReg54Copy>(0x44);
  work_.set32<kWorkSendCredit>(9);
  _Q_init();
  const auto writes = ports_.RegisterWrites();
  std::vector<std::pair<u8, u8>> clearing = {{44, 128}};
  for (u8 r = 0; r <= 58; ++r) {
    if (r == 3 || r == 18 || r == 30) continue;
    if (r == 44) clearing.emplace_back(44, 128);
    clearing.emplace_back(r, 0);
  }
  ASSERT_GT(writes.size(), clearing.size());
  EXPECT_EQ(std::vector(writes.begin(), writes.begin() + long(clearing.size())), clearing);
  std::vector<std::pair<u8, u8>> rest(writes.begin() + long(clearing.size()), writes.end());
  // bus width 1, wait set-up, the divider written twice as (clock >> 7) and
  // then that >> 15, as the card's set-up does, nibbles, NMI level, FIFO reset
  const std::vector<std::pair<u8, u8>> head = {
      {2, 0x10}, {9, 0x01}, {8, 0xAC}, {8, 0x48}, {12, 0}, {28, 0}, {7, 0x08}, {7, 0x28}, {7, 0x08}};
  ASSERT_GE(rest.size(), head.size());
  EXPECT_EQ(std::vector(rest.begin(), rest.begin() + long(head.size())), head);
  // ... then break ports, the timer, register 54, access closed, register 13
  EXPECT_NE(std::find(rest.begin(), rest.end(), std::pair<u8, u8>{54, 0x44}), rest.end());
  EXPECT_EQ(rest[rest.size() - 2], (std::pair<u8, u8>{2, 0x1C}));
  EXPECT_EQ(rest.back(), (std::pair<u8, u8>{13, 0}));
  EXPECT_EQ(work_.get16<kWorkTickLimit>(), 1000);
  EXPECT_EQ(work_.get32<kWorkSendCredit>(), 32u);
}

TEST_F(BiosDirectTest, SendPiecesFollowTheCredit) {
  Init();
  work_.set32<kWorkSendCredit>(7);
  u8 block[10] = {};
  EXPECT_EQ(_Q_putrsblk(block, 10, 0), 0u);
  // 6 bytes (credit rounded down to even), the last byte of credit, then the
  // wait finds room for 32 and the last 3 go
  EXPECT_EQ(ports_.ops, (std::vector<PortOp>{{'o', kBase + 2, 15},
                                             {'w', kBase + 4, 0},
                                             {'d', kBase + 12, 0},
                                             {'o', kBase + 3, 0},
                                             {'o', kBase + 10, 15},
                                             {'i', kBase + 11, 0x20},
                                             {'o', kBase + 3, 0},
                                             {'w', kBase + 4, 0}}));
  EXPECT_EQ(work_.get32<kWorkSendCredit>(), 29u);
}

TEST_F(BiosDirectTest, CreditWaitsStopOnInputOrTimeOut) {
  Init();
  work_.set16<kWorkTickLimit>(3);
  u8 block[4] = {};
  // no room, and the target has sent a byte: with the flag the send gives up
  ports_.status = [] { return u8(0x01); };
  work_.set32<kWorkSendCredit>(0);
  EXPECT_EQ(_Q_putrsblk(block, 4, 1), 1u);
  EXPECT_EQ(work_.get16<kWorkStatus>(), 0);
  EXPECT_EQ(_Q_rschk(), 1u);
  // without the flag it waits for room: polls per tick x tick limit reads
  ports_.ops.clear();
  EXPECT_EQ(_Q_putrsblk(block, 4, 0), 1u);
  EXPECT_EQ(work_.get16<kWorkStatus>(), kStatusTimeout);
  EXPECT_EQ(std::count(ports_.ops.begin(), ports_.ops.end(), PortOp{'i', kBase + 11, 0x01}), 2000 * 3);
  // a status already set ends the next wait after one tick's polls, as a time-out
  work_.set16<kWorkStatus>(kStatusPowerOff);
  ports_.ops.clear();
  EXPECT_EQ(_Q_putrs(0x41), 1u);
  EXPECT_EQ(work_.get16<kWorkStatus>(), kStatusPowerOff | kStatusTimeout);
  EXPECT_EQ(ports_.ops.size(), 2000u);
}

TEST_F(BiosDirectTest, ReceiveTakesPushBackThenTheFifoCount) {
  Init();
  ports_.status = [] { return u8(0x05); };  // 16 bytes or more waiting
  _Q_push_getrs(0x99);
  EXPECT_EQ(_Q_rschk(), 1u);
  u8 buffer[3] = {};
  EXPECT_EQ(_Q_getrsblk(buffer, 3), 0u);
  EXPECT_EQ(buffer[0], 0x99);
  EXPECT_EQ(work_.get32<kWorkReceiveCount>(), 14u);
  // the two bytes came as one prefetch-less word read of register 14
  EXPECT_EQ(ports_.ops.back(), (PortOp{'I', kBase + 2, 0}));
}

}  // namespace
