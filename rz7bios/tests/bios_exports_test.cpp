// Every emulator operation in driver mode: its request number and I/O-control
// code, its inputs packed from offset 0 in argument order (buffers as tokens of
// the caller's memory), and its result read at its own width.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "platform/host/host_ui.h"
#include "rz7bios/bios_core.h"
#include "rz7bios/tests/export_cases.h"
#include "rz7bios/tests/fake_driver.h"

namespace {

int BoxCount = 0;
std::string LastBoxTitle, LastBoxText;
int record_box(std::string_view title, std::string_view text, unsigned) {
  ++BoxCount;
  LastBoxTitle = title;
  LastBoxText = text;
  return kBoxAnswerOk;
}

class BiosExportsTest : public testing::Test {
 protected:
  void SetUp() override {
    bios_reset_state();
    BoxCount = 0;
    previous_ = host_set_message_box_sink(record_box);
  }
  void TearDown() override {
    host_set_message_box_sink(previous_);
    bios_reset_state();
  }
  HostMessageBoxSink previous_ = nullptr;
};

TEST_F(BiosExportsTest, EachExportIsOneRequestWithPackedInputsAndItsResultWidth) {
  for (const ExportCase& c : export_cases()) {
    SCOPED_TRACE(c.name);
    BiosRig rig;
    ASSERT_EQ(rig.open_code, 0);
    const u32 got = c.call();
    ASSERT_EQ(rig.driver.calls.size(), 1u);
    const FakeDriver::Call& call = rig.driver.calls[0];
    EXPECT_EQ(call.request, u32(c.request));
    EXPECT_EQ(call.code, 0x80002000u + 4 * u32(c.request));
    EXPECT_EQ(call.work_token, Bios.WorkToken);
    std::size_t at = 0;
    for (const Field& f : c.inputs) {
      if (const Num* n = std::get_if<Num>(&f)) {
        for (int i = 0; i < n->width; ++i, ++at) EXPECT_EQ(call.inputs[at], u8(n->value >> (8 * i))) << "at " << at;
      } else {
        const Tok& t = std::get<Tok>(f);
        bool seen = false;
        for (const auto& s : call.tokens)
          if (s.offset == at && s.memory == t.memory && s.length == t.length) seen = true;
        EXPECT_TRUE(seen) << "token at " << at;
        at += 4;
      }
    }
    for (; at < 16; ++at) EXPECT_EQ(call.inputs[at], 0) << "nothing packed at " << at;
    const u32 expected = c.result_width == 1 ? 0x78 : c.result_width == 2 ? 0x5678 : 0x12345678;
    if (c.result_width != 0) {
      EXPECT_EQ(got, expected);
    }
    EXPECT_EQ(BoxCount, 0);
    EXPECT_EQ(rig.work.get32<kWorkReturnedCount>(), kArgBlockSize);
  }
}

TEST_F(BiosExportsTest, FailedRequestShowsTheOperationsBoxAndAnswersZero) {
  BiosRig rig;
  rig.driver.failing.insert(u32(BiosRequest::ReadRegister));
  rig.driver.fail_error = 0x1F;
  EXPECT_EQ(_Q_rdreg(2), 0);
  EXPECT_EQ(BoxCount, 1);
  EXPECT_EQ(LastBoxTitle, "\n******** ERROR(rdreg) ********");
  EXPECT_EQ(LastBoxText, "ERROR NO [0000001F](31)");
}

TEST_F(BiosExportsTest, FailuresThatWouldReadAsSuccess) {
  const struct {
    const char* name;
    BiosRequest request;
    std::function<u32()> call;
    u32 result;
    u16 status;
  } cases[] = {
      // a board id of 0 would look like a board
      {"if_init", BiosRequest::InterfaceInit, [] { return u32(_Q_if_init()); }, 255, 0},
      // "sent", "ok" and "done" would hide the failure
      {"putrsblk", BiosRequest::PutChannelBlock, [] { return _Q_putrsblk(buf, 40, 0); }, 1, kStatusTimeout},
      {"getrsblk", BiosRequest::GetChannelBlock, [] { return _Q_getrsblk(buf, 4); }, 1, kStatusTimeout},
      {"getrs", BiosRequest::GetChannel, [] { return u32(_Q_getrs()); }, 0, kStatusTimeout},
      {"flex_cfg", BiosRequest::FlexConfig, [] { return _Q_flex_cfg(1, buf, 4); }, 1, kStatusLogicConfig},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    BiosRig rig;
    rig.driver.failing.insert(u32(c.request));
    EXPECT_EQ(c.call(), c.result);
    EXPECT_EQ(rig.work.get16<kWorkStatus>(), c.status);
  }
}

TEST_F(BiosExportsTest, IfInitResetsTheChannelFieldsFirst) {
  BiosRig rig;
  Bios.Block.set32<kArgChanSavedIndex>(5);
  Bios.Block.set32<kArgChanIndex>(6);
  Bios.Block.set32<kArgChanCount>(7);
  rig.driver.on_request = [](u32, u8* block) {
    EXPECT_EQ(block[kArgChanSavedIndex] | block[kArgChanIndex] | block[kArgChanCount], 0);
  };
  EXPECT_EQ(_Q_if_init(), 0x78);
}

TEST_F(BiosExportsTest, RunStateAndPowerAreKeptInTheWorkArea) {
  BiosRig rig;
  rig.driver.result = 0x0003;
  EXPECT_EQ(_Q_chk_run(), 3);
  EXPECT_EQ(rig.work.get16<kWorkRunState>(), 3);
  rig.driver.result = 1;
  EXPECT_EQ(_Q_chk_vcc(0), 1u);
  EXPECT_EQ(rig.work.get16<kWorkStatus>(), kStatusPowerOff);
}

TEST_F(BiosExportsTest, StartCommandSends127As255AndClearsTheMark) {
  const struct {
    u16 code;
    u16 sent;
  } cases[] = {{127, 255}, {126, 126}, {80, 80}, {255, 255}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.code);
    BiosRig rig;
    rig.work.set32<kWorkStartCmdMark>(0xDEAD);
    _nt_STARTCMD(c.code);
    ASSERT_EQ(rig.driver.Requests(), std::vector<u32>{u32(BiosRequest::StartCommand)});
    EXPECT_EQ(rig.driver.calls[0].inputs[0] | rig.driver.calls[0].inputs[1] << 8, c.sent);
    EXPECT_EQ(rig.work.get32<kWorkStartCmdMark>(), 0u);
  }
}

}  // namespace
