// The target channel in driver mode: sends gathered in the 32-byte buffer,
// the driver's read-ahead served from it, the pushed-back byte first.
#include <gtest/gtest.h>

#include <numeric>

#include "platform/host/host_ui.h"
#include "rz7bios/bios_core.h"
#include "rz7bios/tests/fake_driver.h"

namespace {

std::vector<std::string> Boxes;
int record_box(std::string_view title, std::string_view text, unsigned) {
  Boxes.push_back(std::string(title) + "|" + std::string(text));
  return kBoxAnswerOk;
}

class BiosChannelTest : public testing::Test {
 protected:
  void SetUp() override {
    bios_reset_state();
    Boxes.clear();
    previous_ = host_set_message_box_sink(record_box);
  }
  void TearDown() override {
    host_set_message_box_sink(previous_);
    bios_reset_state();
  }
  // As the driver leaves it after reading ahead: `bytes` waiting from index 0.
  static void read_ahead(BiosWorkArea& work, std::vector<u8> bytes) {
    std::copy(bytes.begin(), bytes.end(), &work.bytes[kWorkChannelBuffer]);
    Bios.Block.set32<kArgChanSavedIndex>(0);
    Bios.Block.set32<kArgChanIndex>(0);
    Bios.Block.set32<kArgChanCount>(u32(bytes.size()));
    Bios.Block.set32<kArgChanReceive>(1);
  }
  HostMessageBoxSink previous_ = nullptr;
};

TEST_F(BiosChannelTest, ThirtyOneSingleSendsWaitTheThirtySecondGoes) {
  BiosRig rig;
  for (u8 i = 0; i < 31; ++i) EXPECT_EQ(_Q_putrs(i), 0u);
  EXPECT_TRUE(rig.driver.calls.empty());
  EXPECT_EQ(rig.work.bytes[kWorkChannelBuffer + 30], 30);
  EXPECT_EQ(Bios.Block.get32<kArgChanCount>(), 31u);
  rig.driver.result = 0;
  EXPECT_EQ(_Q_putrs(31), 0u);
  ASSERT_EQ(rig.driver.Requests(), std::vector<u32>{u32(BiosRequest::PutChannel)});
  EXPECT_EQ(rig.driver.calls[0].inputs[0], 31);
}

TEST_F(BiosChannelTest, BlocksAreKeptUpTo31Bytes) {
  const struct {
    u16 first;   // a block sent into the empty buffer
    u16 second;  // then another
    std::vector<u32> requests;
  } cases[] = {
      {31, 0, {}},
      {32, 0, {u32(BiosRequest::PutChannelBlock)}},
      {20, 11, {}},
      {20, 12, {u32(BiosRequest::PutChannelBlock)}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.first << "+" << c.second);
    bios_reset_state();
    BiosRig rig;
    u8 data[64];
    std::iota(data, data + 64, u8(0));
    _Q_putrsblk(data, c.first, 0);
    if (c.second) _Q_putrsblk(data, c.second, 0);
    EXPECT_EQ(rig.driver.Requests(), c.requests);
  }
}

// Fields the driver owns and a caller's missing buffer never reach the local
// buffer: the request goes to the driver, which answers for it.
TEST_F(BiosChannelTest, HostileCountsAndMissingBuffersGoToTheDriver) {
  const struct {
    const char* what;
    u32 pending;  // the driver's pending-byte count
    bool no_buffer;
    u32 request;
  } cases[] = {
      {"byte with a wrapping count", 0xFFFFFFFF, false, u32(BiosRequest::PutChannel)},
      {"block with a wrapping count", 0xFFFFFFF0, false, u32(BiosRequest::PutChannelBlock)},
      {"block without a buffer", 0, true, u32(BiosRequest::PutChannelBlock)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    bios_reset_state();
    BiosRig rig;
    Bios.Block.set32<kArgChanCount>(c.pending);
    u8 data[16] = {};
    if (c.request == u32(BiosRequest::PutChannel)) _Q_putrs(7);
    else _Q_putrsblk(c.no_buffer ? nullptr : data, 16, 0);
    EXPECT_EQ(rig.driver.Requests(), std::vector<u32>{c.request});
  }
  // a read without a buffer takes neither the pushed-back byte nor the read-ahead
  bios_reset_state();
  BiosRig rig;
  read_ahead(rig.work, {0x10, 0x11});
  _Q_getrsblk(nullptr, 4);
  EXPECT_EQ(rig.driver.Requests(), std::vector<u32>{u32(BiosRequest::GetChannelBlock)});
  EXPECT_EQ(_Q_rschk(), 2u);
}

TEST_F(BiosChannelTest, ReadAheadIsServedWithoutRequests) {
  BiosRig rig;
  read_ahead(rig.work, {0x10, 0x11, 0x12});
  EXPECT_EQ(_Q_rschk(), 3u);
  EXPECT_EQ(_Q_getrs(), 0x10);
  u8 two[2];
  EXPECT_EQ(_Q_getrsblk(two, 2), 0u);
  EXPECT_EQ(two[0], 0x11);
  EXPECT_EQ(two[1], 0x12);
  EXPECT_TRUE(rig.driver.calls.empty());
  EXPECT_EQ(Bios.Block.get32<kArgChanReceive>(), 0u);  // all taken: receive mode ends
  rig.driver.result = 0x44;
  EXPECT_EQ(_Q_getrs(), 0x44);
  EXPECT_EQ(rig.driver.Requests(), std::vector<u32>{u32(BiosRequest::GetChannel)});
}

TEST_F(BiosChannelTest, BlockLongerThanTheReadAheadFetchesTheRest) {
  BiosRig rig;
  read_ahead(rig.work, {0x20, 0x21});
  Bios.Block.set32<kArgChanSavedIndex>(7);
  u8 out[5]{};
  rig.driver.on_request = [](u32, u8* block) {
    // the request asks for the three bytes after the two buffered ones
    EXPECT_EQ(block[4] | block[5] << 8, 3);
  };
  EXPECT_EQ(_Q_getrsblk(out, 5), 0x12345678u);
  EXPECT_EQ(out[0], 0x20);
  EXPECT_EQ(out[1], 0x21);
  ASSERT_EQ(rig.driver.calls.size(), 1u);
  ASSERT_EQ(rig.driver.calls[0].tokens.size(), 1u);
  EXPECT_EQ(rig.driver.calls[0].tokens[0].memory, out + 2);
  EXPECT_EQ(rig.driver.calls[0].tokens[0].length, 3u);
  EXPECT_EQ(Bios.Block.get32<kArgChanIndex>(), 7u);  // back at the saved index
}

TEST_F(BiosChannelTest, PushedBackByteComesFirst) {
  BiosRig rig;
  read_ahead(rig.work, {0x30});
  rig.work.set16<kWorkPushback>(0x0055);
  EXPECT_EQ(_Q_rschk(), 1u);
  u8 out[2];
  EXPECT_EQ(_Q_getrsblk(out, 2), 0u);
  EXPECT_EQ(out[0], 0x55);
  EXPECT_EQ(out[1], 0x30);
  EXPECT_EQ(rig.work.get16<kWorkPushback>(), kNoPushback);
  rig.work.set16<kWorkPushback>(0x0066);
  EXPECT_EQ(_Q_getrs(), 0x66);
  EXPECT_TRUE(rig.driver.calls.empty());
}

TEST_F(BiosChannelTest, ZeroLengthReceiveTouchesNothing) {
  BiosRig rig;
  rig.work.set16<kWorkPushback>(0x0077);
  u8 canary = 0xEE;
  EXPECT_EQ(_Q_getrsblk(&canary, 0), 0u);
  EXPECT_EQ(canary, 0xEE);
  EXPECT_EQ(rig.work.get16<kWorkPushback>(), 0x0077);  // still waiting
  EXPECT_TRUE(rig.driver.calls.empty());
}

TEST_F(BiosChannelTest, DriverIndexAndCountAreClampedToTheBuffer) {
  BiosRig rig;
  rig.work.bytes[kWorkChannelBuffer + 31] = 0x5A;
  read_ahead(rig.work, {});
  Bios.Block.set32<kArgChanIndex>(31);
  Bios.Block.set32<kArgChanCount>(1000);  // more than the buffer holds
  EXPECT_EQ(_Q_rschk(), 1u);
  u8 out[4]{};
  _Q_getrsblk(out, 4);
  EXPECT_EQ(out[0], 0x5A);  // the one byte inside the buffer, the rest by request
  ASSERT_EQ(rig.driver.calls.size(), 1u);
  EXPECT_EQ(rig.driver.calls[0].tokens[0].length, 3u);
  // an index past the buffer is never written through
  Bios.Block.set32<kArgChanReceive>(0);
  Bios.Block.set32<kArgChanIndex>(5000);
  Bios.Block.set32<kArgChanCount>(0);
  _Q_putrs(1);
  EXPECT_EQ(rig.driver.calls.back().request, u32(BiosRequest::PutChannel));
}

TEST_F(BiosChannelTest, SendingWhileReadAheadWaitsIsReported) {
  BiosRig rig;
  read_ahead(rig.work, {0x01});
  EXPECT_EQ(_Q_putrs(9), 0x12345678u);
  ASSERT_EQ(Boxes.size(), 1u);
  EXPECT_EQ(Boxes[0], "RZ7DLL|\n############ Buffering ERROR ###############");
  EXPECT_EQ(rig.driver.Requests(), std::vector<u32>{u32(BiosRequest::PutChannel)});  // sent anyway
}

TEST_F(BiosChannelTest, FlushLeavesReceiveMode) {
  BiosRig rig;
  read_ahead(rig.work, {1, 2});
  Bios.Block.set32<kArgChanSavedIndex>(3);
  _Q_flushrs();
  EXPECT_EQ(Bios.Block.get32<kArgChanReceive>(), 0u);
  EXPECT_EQ(Bios.Block.get32<kArgChanIndex>(), 3u);
  EXPECT_EQ(rig.driver.Requests(), std::vector<u32>{u32(BiosRequest::FlushChannel)});
}

}  // namespace
