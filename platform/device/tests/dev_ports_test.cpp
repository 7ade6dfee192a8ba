// The card's ports on the simulated board, through the library in direct
// mode: the probe answered by each generation, the alive bit and board id,
// registers through the select latch onto the board's shadow, and the
// channel through the FIFOs and register 15's status. Also the back-end
// choice of the programs' emulator.
#include "platform/device/dev_ports.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

#include "platform/device/dev_sim_driver.h"
#include "platform/host/tests/scratch_dir.h"
#include "platform/device/dev_layout.h"
#include "rz7bios/rz7bios.h"

namespace {

constexpr u16 kBase = 0x300;

class DevPortsTest : public testing::Test {
 protected:
  void SetUp() override {
    dev_reset_system();
    DevSys.platform = kPlatformWin9x;
  }
  void TearDown() override {
    dev_reset_system();
  }
  // A card of `generation` at the base port, bound to a fresh work area.
  DevBoardPorts& Card(u8 generation, u8 kind = 0) {
    ports_ = std::make_unique<DevBoardPorts>(driver_, kBase, generation);
    DevSys.ports = ports_.get();
    work_ = BiosWorkArea{};
    work_.set16<kWorkBasePort>(kBase);
    work_.set8<kWorkBoardType>(kind);
    EXPECT_EQ(_NT_setbioswork(&work_), 0);
    return *ports_;
  }
  SimulatedDriver driver_;
  std::unique_ptr<DevBoardPorts> ports_;
  BiosWorkArea work_{};
};

TEST_F(DevPortsTest, TheProbeFindsTheBoardsGeneration) {
  for (u8 gen : {kDevGenWord, kDevGenByte, kDevGenWide}) {
    SCOPED_TRACE(int(gen));
    DevBoardPorts& card = Card(gen, 2);
    EXPECT_EQ(_Q_if_init(), DevFixture{}.board_id);
    EXPECT_EQ(work_.get8<kWorkBoardType>(), gen | 2);
    const std::array<u8, 5> setup = gen == kDevGenWide ? std::array<u8, 5>{15, 21, 33, 51, 69} : std::array<u8, 5>{};
    EXPECT_EQ(card.SetupBytes(), setup);
  }
}

TEST_F(DevPortsTest, NoCardAtTheBasePortIsNoBoard) {
  Card(kDevGenWide);
  work_.set16<kWorkBasePort>(kBase + 0x40);  // nothing decodes there
  EXPECT_EQ(_Q_if_init(), 255);
}

TEST_F(DevPortsTest, RegistersReachTheBoardThroughTheSelectLatch) {
  for (u8 gen : {kDevGenWord, kDevGenByte, kDevGenWide}) {
    SCOPED_TRACE(int(gen));
    Card(gen);
    _Q_if_init();
    _Q_wrreg1(10, 5);
    _Q_wrreg0(10, 0x02, 0x03);
    EXPECT_EQ(driver_.Board().RegisterShadow(10), 6);
    EXPECT_EQ(work_.get8<kWorkRegisterShadow + 10>(), 6);
    const u8 values[7] = {1, 2, 3, 4, 5, 6, 7};
    _Q_wrregblk(32, values, 7);  // the last byte stays in the register
    EXPECT_EQ(driver_.Board().RegisterShadow(32), 7);
    EXPECT_EQ(_Q_rdreg(32), 7);  // register 32 reads back
  }
}

TEST_F(DevPortsTest, TheChannelRunsThroughTheFifos) {
  for (u8 gen : {kDevGenWord, kDevGenByte, kDevGenWide}) {
    SCOPED_TRACE(int(gen));
    Card(gen);
    ASSERT_NE(_Q_if_init(), 255);
    _Q_init();
    DevBoard& board = driver_.Board();
    // the target side stays quiet: the monitor is not running in this test
    const std::vector<u8> block = {0x10, 0x11, 0x12, 0x13, 0x14, 0x15, 0x16};
    while (board.TargetPending() > 0) {
      u8 drop;
      board.TargetReceive(drop);
    }
    EXPECT_EQ(_Q_putrsblk(block.data(), u16(block.size()), 0), 0u);
    EXPECT_EQ(_Q_putrs(0x17), 0u);
    std::vector<u8> arrived;
    for (u8 b; board.TargetReceive(b);) arrived.push_back(b);
    EXPECT_EQ(arrived, (std::vector<u8>{0x10, 0x11, 0x12, 0x13, 0x14, 0x15, 0x16, 0x17}));
    for (u8 b : {0x41, 0x42, 0x43}) board.TargetSend(b);
    EXPECT_EQ(_Q_rschk(), 1u);  // status bit 0: one or more
    u8 reply[3] = {};
    EXPECT_EQ(_Q_getrsblk(reply, 3), 0u);
    EXPECT_EQ(reply[0], 0x41);
    EXPECT_EQ(reply[2], 0x43);
    EXPECT_EQ(work_.get16<kWorkStatus>(), 0);
  }
}

TEST_F(DevPortsTest, ARegister63ReadTogglesTheAliveBit) {
  Card(kDevGenWide);
  _Q_if_init();
  const u8 a = _Q_rdreg(63);
  const u8 b = _Q_rdreg(63);
  EXPECT_EQ((a ^ b) & 0x08, 0x08);
  EXPECT_EQ(a >> 4, DevFixture{}.board_id);
}

TEST(DevBackendTest, TheEnvironmentChoosesTheBackEnd) {
  const struct {
    const char* value;  // nullptr: unset
    DevBackend backend;
  } cases[] = {
      {nullptr, DevBackend::Driver},
      {"", DevBackend::Driver},
      {"driver", DevBackend::Driver},
      {"direct", DevBackend::Direct},
      {"ports", DevBackend::Unknown},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.value ? c.value : "(unset)");
    if (c.value)
      setenv(kDevBackendVariable, c.value, 1);
    else
      unsetenv(kDevBackendVariable);
    EXPECT_EQ(dev_backend_from_environment(), c.backend);
    if (c.backend == DevBackend::Unknown) {
      // a back end nobody knows is refused with the variable's name
      DevProgramEmulator emulator;
      testing::internal::CaptureStderr();
      EXPECT_FALSE(emulator.Install("test"));
      EXPECT_NE(testing::internal::GetCapturedStderr().find(kDevBackendVariable), std::string::npos);
    }
  }
  unsetenv(kDevBackendVariable);
}

// The direct back end: the system reports the port platform and the board's
// ports answer at the card's address, until the emulator goes.
TEST(DevBackendTest, TheDirectBackEndPutsTheCardsPortsBehindTheSeam) {
  ScratchDir dir;
  setenv("HALV80_REGISTRY_DIR", (dir.path() + "/registry").c_str(), 1);
  setenv(kDevBackendVariable, "direct", 1);
  {
    DevProgramEmulator emulator;
    ASSERT_TRUE(emulator.Install("test"));
    EXPECT_EQ(DevSys.platform, kPlatformWin9x);
    ASSERT_NE(DevSys.ports, nullptr);
    BiosWorkArea work{};
    work.set16<kWorkBasePort>(0x300);
    ASSERT_EQ(_NT_setbioswork(&work), 0);
    EXPECT_EQ(_Q_if_init(), DevFixture{}.board_id);
    _NT_setbioswork(nullptr);
  }
  EXPECT_EQ(DevSys.ports, nullptr);
  unsetenv(kDevBackendVariable);
  unsetenv("HALV80_REGISTRY_DIR");
  dev_reset_system();
}

}  // namespace
