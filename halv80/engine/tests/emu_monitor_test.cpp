// Monitor requests and the access wrappers against the simulated emulator:
// the bytes each request puts on the channel and takes back, bank numbering,
// byte order, and the time-out path of a monitor that does not answer.
#include "halv80/engine/emu_monitor.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "halv80/engine/cmd_switches.h"
#include "halv80/engine/co_coroutine.h"
#include "halv80/engine/con_screen.h"
#include "halv80/engine/emu_access.h"
#include "halv80/engine/run_state.h"
#include "halv80/engine/sup_host.h"
#include "halv80/engine/sup_messages.h"
#include "halv80/engine/sup_panes.h"
#include "halv80/engine/testing/scripted_window_side.h"
#include "halv80/engine/tests/emulator_fixture.h"
#include "halv80/engine/tests/engine_fixture.h"
#include "platform/device/dev_driver.h"
#include "platform/device/dev_monitor.h"
#include "platform/device/dev_monitor_image.h"
#include "platform/device/dev_sim_driver.h"
#include "rz7bios/rz7bios.h"

namespace {

using Bytes = std::vector<u8>;
using Kind = SimTranscriptEntry::Kind;

constexpr u32 kStartCommand = u32(BiosRequest::StartCommand);
constexpr u32 kMonitorEnable = u32(BiosRequest::MonitorEnable);
constexpr u32 kBankSet = u32(BiosRequest::BankSet);

SimulatedDriver* Sim = nullptr;  // the device of the running test, for the command-side mains

// The engine's work area handed to the library in front of a simulated
// emulator whose monitor has booted and said hello; the transcript starts empty.
class EmuMonitorTest : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    start_simulated_emulator(sim, DevFixture{});
    Sim = sim.get();
    boot_simulated_monitor(DevFixture{});
    sim->ClearTranscript();
  }
  void TearDown() override {
    Sim = nullptr;
    stop_simulated_emulator(sim);
    EngineTest::TearDown();
  }

  // A fresh engine and device, for a row that leaves either in a state of its own.
  void Restart() {
    TearDown();
    SetUp();
  }
  static BiosWorkArea& Work() { return *SupHost.BiosWork; }
  Bytes Sent() const { return sim->ChannelBytes(Kind::ToTarget); }
  Bytes Received() const { return sim->ChannelBytes(Kind::FromTarget); }
  std::size_t RequestCount(u32 request) const {
    std::size_t n = 0;
    for (const SimTranscriptEntry& e : sim->Transcript())
      if (e.kind == Kind::Request && e.value == request) ++n;
    return n;
  }

  std::unique_ptr<SimulatedDriver> sim;
};

TEST_F(EmuMonitorTest, SingleRequestsPutWordsLowByteFirst) {
  const struct {
    const char* name;
    std::function<void()> run;
    u8 code;          // left in the bank/command register
    Bytes sent;       // the doorbell first
    Bytes received;
  } cases[] = {
      {"read byte", [] { EXPECT_EQ(emu_req_read_byte(0x8123), 0xA5); }, 8, {0x00, 0x23, 0x81}, {0xA5}},
      {"read word", [] { EXPECT_EQ(emu_req_read_word(0x8200), 0xBEEF); }, 16, {0x00, 0x00, 0x82}, {0xEF, 0xBE}},
      {"write byte", [] { emu_req_write_byte(0x8124, 0x3C); }, 24, {0x00, 0x24, 0x81, 0x3C}, {0x00}},
      {"write word", [] { emu_req_write_word(0x8300, 0x1234); }, 32, {0x00, 0x00, 0x83, 0x34, 0x12}, {0x00}},
      {"write port", [] { emu_req_write_port(0x1234, 0x77); }, 25, {0x00, 0x34, 0x12, 0x77}, {0x00}},
      {"read port", [] { EXPECT_EQ(emu_req_read_port(0x5678), 0x66); }, 9, {0x00, 0x78, 0x56}, {0x66}},
      {"set stack", [] { emu_req_set_stack(0x9000); }, 80, {0x00, 0x00, 0x90}, {0x00}},
      {"interrupts on", [] { emu_req_set_interrupts(7); }, 81, {0x00, 0x01}, {0x00}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    sim->Board().PokeLogical(0x8123, 0xA5);
    sim->Board().PokeLogical(0x8200, 0xEF);
    sim->Board().PokeLogical(0x8201, 0xBE);
    sim->Board().IoWrite(0x5678, 0x66);
    sim->ClearTranscript();
    c.run();
    EXPECT_EQ(Sent(), c.sent) << sim->TranscriptText();
    EXPECT_EQ(Received(), c.received);
    EXPECT_EQ(RequestCount(kStartCommand), 1u);
    EXPECT_EQ(sim->Board().RegisterShadow(kRegMonitorBank), c.code);
    EXPECT_EQ(Work().get16<kWorkStatus>(), 0);
  }
  // the writes reached the target, low byte first
  EXPECT_EQ(sim->Board().PeekLogical(0x8124), 0x3C);
  EXPECT_EQ(sim->Board().PeekLogical(0x8300), 0x34);
  EXPECT_EQ(sim->Board().PeekLogical(0x8301), 0x12);
  EXPECT_EQ(sim->Board().PortLatch(0x1234), 0x77);
  EXPECT_EQ(sim->Target().Monitor().Registers().sp, 0x9000);
}

TEST_F(EmuMonitorTest, BlockTransfersCarryContinuationBytes) {
  // one byte read: the address, the byte in, 0 out, the acknowledge
  sim->Board().PokeLogical(0x8400, 0x5C);
  u8 one[1] = {};
  emu_req_read_block(0x8400, one);
  EXPECT_EQ(one[0], 0x5C);
  EXPECT_EQ(Sent(), (Bytes{0x00, 0x00, 0x84, 0x00})) << sim->TranscriptText();
  EXPECT_EQ(Received(), (Bytes{0x5C, 0x00}));

  // three bytes written: b0 FF b1 FF b2 00
  sim->ClearTranscript();
  const u8 three[3] = {0x11, 0x22, 0x33};
  emu_req_write_block(0x8500, three);
  EXPECT_EQ(Sent(), (Bytes{0x00, 0x00, 0x85, 0x11, 0xFF, 0x22, 0xFF, 0x33, 0x00})) << sim->TranscriptText();
  EXPECT_EQ(Received(), (Bytes{0x00}));
  for (u16 i = 0; i < 3; ++i) EXPECT_EQ(sim->Board().PeekLogical(u16(0x8500 + i)), three[i]);

  // longer than a channel FIFO, read back
  Bytes data(40);
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = u8(i * 7 + 1);
  emu_req_write_block(0x8600, data);
  Bytes back(data.size());
  emu_req_read_block(0x8600, back);
  EXPECT_EQ(back, data);

  // an empty block sends nothing and waits for nothing
  sim->ClearTranscript();
  emu_req_read_block(0x8400, std::span<u8>{});
  emu_req_write_block(0x8400, std::span<const u8>{});
  EXPECT_TRUE(sim->Transcript().empty()) << sim->TranscriptText();
  EXPECT_EQ(Work().get16<kWorkStatus>(), 0);
}

TEST_F(EmuMonitorTest, MmuRequestsMoveTheirRegisterBytes) {
  const std::array<u8, kMmuBankBytes> bank = {0x12, 0x34, 0xF8};
  const struct {
    u16 kind;
    u8 set_code, read_code;
  } cases[] = {{2, 85, 84}, {4, 87, 86}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.kind);
    sim->ClearTranscript();
    emu_req_set_mmu_bank(c.kind, bank);
    EXPECT_EQ(Sent(), (Bytes{0x00, 0x12, 0x34, 0xF8})) << sim->TranscriptText();
    EXPECT_EQ(sim->Board().RegisterShadow(kRegMonitorBank), c.set_code);
    std::array<u8, kMmuBankBytes> back{};
    sim->ClearTranscript();
    emu_req_read_mmu_bank(c.kind, back);
    EXPECT_EQ(sim->Board().RegisterShadow(kRegMonitorBank), c.read_code);
    EXPECT_EQ(Received().size(), kMmuBankBytes);
    EXPECT_EQ(Work().get16<kWorkStatus>(), 0);
  }
}

TEST_F(EmuMonitorTest, NoMonitorModeSendsNothing) {
  Sw.NoMonitorMode = 1;
  sim->Board().PokeLogical(0x8123, 0xA5);
  EXPECT_EQ(emu_req_read_byte(0x8123), 0);
  EXPECT_EQ(emu_req_read_word(0x8123), 0);
  emu_req_write_byte(0x8123, 0x11);
  emu_req_write_word(0x8123, 0x1111);
  u8 block[2] = {0xEE, 0xEE};
  emu_req_read_block(0x8123, block);
  EXPECT_EQ(block[0], 0);
  EXPECT_EQ(block[1], 0);
  emu_req_write_block(0x8123, block);
  EXPECT_EQ(emu_req_handshake(), kHandshakeNotReady);
  EXPECT_TRUE(sim->Transcript().empty()) << sim->TranscriptText();
  EXPECT_EQ(sim->Board().PeekLogical(0x8123), 0xA5);
}

TEST_F(EmuMonitorTest, HandshakeNeedsAWaitingByteThenGetsTheReply) {
  EXPECT_EQ(emu_req_handshake(), kHandshakeNotReady);  // the hello was taken
  EXPECT_EQ(RequestCount(kBankSet), 0u) << sim->TranscriptText();
  EXPECT_TRUE(Sent().empty());
  ASSERT_TRUE(sim->Board().TargetSend(0x42));
  EXPECT_EQ(emu_req_handshake(), kHandshakeDone);
  EXPECT_EQ(Received(), (Bytes{0x42, kMonitorHandshakeReply})) << sim->TranscriptText();
  EXPECT_EQ(Sent(), Bytes{0x00});
  EXPECT_FALSE(emu_rschk());
  // with the monitor hung the handshake gives up after its 800 polls of 10 ms
  // (the watchdog, given more time here, would unwind this window-side caller)
  sup_watchdog_limit(60000);
  sim->SetMonitorHung(true);
  ASSERT_TRUE(sim->Board().TargetSend(0x42));
  const u32 start = host_tick_ms();
  EXPECT_EQ(emu_req_handshake(), kHandshakeTimedOut);
  EXPECT_GE(host_tick_ms() - start, 8000u);
}

TEST_F(EmuMonitorTest, Bank127IsNamed255) {
  const struct {
    u16 bank;
    u8 register_value;
  } cases[] = {{0, 0}, {126, 126}, {127, 255}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.bank);
    emu_bankset(c.bank);
    EXPECT_EQ(sim->Board().RegisterShadow(kRegMonitorBank), c.register_value);
    EXPECT_EQ(sim->Board().SelectedBank(), c.bank);
  }
}

TEST_F(EmuMonitorTest, MonitorAddressesSplitIntoBanks) {
  const struct {
    u32 window_size;
    u32 address;
    Bytes data;
    std::size_t memory_index;  // where the first byte lands in monitor memory
  } cases[] = {
      {128, 62, {1, 2, 3, 4}, 62},                // crosses from bank 0 into bank 1
      {128, 126 * 64 + 63, {5, 6}, 126 * 64 + 63},  // into bank 127, sent as 255
      {64, 3 * 32 + 30, {7, 8, 9}, 3 * 64 + 30},  // 32-byte banks: bank 3 offset 30, bank 4 offset 0
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.address);
    EmuAcc.MonitorWindowSize = c.window_size;
    emu_mon_write_block(c.address, c.data);
    const auto memory = sim->Board().MonitorMemory();
    Bytes back(c.data.size());
    emu_mon_read_block(c.address, back);
    EXPECT_EQ(back, c.data);
    if (c.window_size == 128) {
      EXPECT_EQ(Bytes(memory.begin() + c.memory_index, memory.begin() + c.memory_index + c.data.size()), c.data);
    } else {
      EXPECT_EQ(memory[c.memory_index], c.data[0]);
      EXPECT_EQ(memory[c.memory_index + 1], c.data[1]);
      EXPECT_EQ(memory[4 * 64], c.data[2]);
    }
  }
  // past bank 127 nothing is reached
  EmuAcc.MonitorWindowSize = 128;
  sim->ClearTranscript();
  emu_mon_write_byte(128 * 64, 0x55);
  EXPECT_EQ(emu_mon_read_byte(128 * 64), 0);
  EXPECT_TRUE(sim->Transcript().empty()) << sim->TranscriptText();
}

TEST_F(EmuMonitorTest, MonitorEnableOptionSwitchesTheWindowOffOnly) {
  const struct {
    u16 option;
    std::function<void()> run;
    std::size_t enable_requests;
  } cases[] = {
      {0, [] { emu_mon_write_byte(64, 1); }, 0},
      {1, [] { emu_mon_write_byte(64, 1); }, 1},  // switched off after the access
      {1, [] { (void)emu_mon_read_word(64); }, 1},
      {0, [] { emu_mon_enable(1); }, 1},
      {1, [] { emu_mon_enable(1); }, 0},          // switched on only on request
      {1, [] { emu_mon_enable(0); }, 1},
  };
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(i);
    Sw.NoMonitorOption = cases[i].option;
    sim->ClearTranscript();
    cases[i].run();
    EXPECT_EQ(RequestCount(kMonitorEnable), cases[i].enable_requests) << sim->TranscriptText();
  }
}

TEST_F(EmuMonitorTest, EmulationMemoryWordsFollowTheByteSwapFlag) {
  const struct {
    u8 swap;
    Bytes word_bytes;  // 0x1234 as stored
    Bytes long_bytes;  // 0x12345678 as stored
  } cases[] = {
      {0, {0x34, 0x12}, {0x78, 0x56, 0x34, 0x12}},
      {1, {0x12, 0x34}, {0x12, 0x34, 0x56, 0x78}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(int(c.swap));
    Work().set8<kWorkByteSwap>(c.swap);
    Work().set16<kWorkAreaKind>(kDevKindLrom1);
    emu_rom_write_word(0x1000, 0x1234);
    emu_rom_write_long(0x1010, 0x12345678);
    for (std::size_t i = 0; i < 2; ++i) EXPECT_EQ(sim->Board().EmuRead(u32(0x1000 + i)), c.word_bytes[i]);
    for (std::size_t i = 0; i < 4; ++i) EXPECT_EQ(sim->Board().EmuRead(u32(0x1010 + i)), c.long_bytes[i]);
    EXPECT_EQ(emu_rom_read_word(0x1000), 0x1234);
    EXPECT_EQ(emu_rom_read_long(0x1010), 0x12345678u);
    emu_rom_write_byte(0x1020, 0x9A);
    EXPECT_EQ(emu_rom_read_byte(0x1020), 0x9A);
    EXPECT_EQ(Work().get32<kWorkRomAddress>(), 0x1020u);
  }
}

TEST_F(EmuMonitorTest, ChannelResetOnlyWhileTheMonitorHasTheTarget) {
  const struct {
    u16 no_monitor;
    u16 state;
    std::size_t resets;
  } cases[] = {{0, kExecStopped, 1}, {1, kExecStopped, 0}, {0, kExecRunning, 0}, {0, kExecPaused, 1}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.no_monitor << "/" << c.state);
    Sw.NoMonitorMode = c.no_monitor;
    ::Run.ExecutionState = c.state;
    sim->ClearTranscript();
    emu_channel_reset();
    EXPECT_EQ(RequestCount(u32(BiosRequest::FifoReset)), c.resets);
    EXPECT_EQ(RequestCount(u32(BiosRequest::FlushChannel)), c.resets);
  }
}

// --- The time-out path, on the command side ---------------------------------

std::vector<std::string> Steps;

void run_until_unwind(void (*request)()) {
  con_screen_init();
  sup_split_screen_panes(kWindowIndexCommand);
  con_reset_window();
  Co.UnwindIsNormal = 1;
  Run.ExecutionState = kExecPaused;
  try {
    request();
    Steps.push_back("returned");
  } catch (const CommandUnwind&) {
    Steps.push_back("unwound");
  }
  for (;;) co_wait_gui(kWaitKey);
}

TEST_F(EmuMonitorTest, AMissingReplyEndsTheCommandWithTargetHung) {
  const struct {
    const char* name;
    bool hung;
    u16 channel_command_mode;
    Bytes sent;
  } cases[] = {
      {"monitor hung", true, 0, {0x00, 0x23, 0x81}},
      {"code not sent", false, 1, {0x23, 0x81}},  // channel-command mode: only the address word
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Restart();
    Steps.clear();
    sim->SetMonitorHung(c.hung);
    EmuMon.ChannelCommandMode = c.channel_command_mode;
    const u32 start = host_tick_ms();
    ScriptedWindowSide ws;
    ws.Start({}, [] { run_until_unwind([] { (void)emu_req_read_byte(0x8123); }); });
    while (Co.WaitKind == kWaitBusy) ws.Pump();
    EXPECT_EQ(Steps, std::vector<std::string>{"unwound"});
    ASSERT_EQ(ws.errors.size(), 1u);
    EXPECT_EQ(ws.errors[0], kErrorTargetHungBusy);
    EXPECT_EQ(sup_pending_error_text(ws.errors[0]).rfind(sup_string_resource(kStrTargetHung), 0), 0u);
    EXPECT_EQ(::Run.ExecutionState, kExecStopped);
    EXPECT_GE(host_tick_ms() - start, kMonitorReplyLimitMs);
    EXPECT_EQ(Sent(), c.sent) << sim->TranscriptText();
    EXPECT_EQ(RequestCount(kStartCommand), c.channel_command_mode == 0 ? 1u : 0u);
    EXPECT_TRUE(Received().empty());
    EXPECT_EQ(Work().get16<kWorkStatus>() & kStatusTimeout, 0);  // taken and cleared
  }
}

}  // namespace
