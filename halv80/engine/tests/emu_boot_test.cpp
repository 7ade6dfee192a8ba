// Monitor boot against the simulated emulator: the monitor file's header
// check, where the image lands in monitor memory, and the boot loop up to the
// monitor's first answer.
#include "halv80/engine/emu_boot.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "halv80/engine/cfg_config.h"
#include "halv80/engine/cmd_switches.h"
#include "halv80/engine/emu_access.h"
#include "halv80/engine/emu_areas.h"
#include "halv80/engine/emu_monitor.h"
#include "halv80/engine/emu_startup.h"
#include "halv80/engine/co_coroutine.h"
#include "halv80/engine/testing/scripted_window_side.h"
#include "halv80/engine/sup_host.h"
#include "halv80/engine/sup_messages.h"
#include "halv80/engine/tests/emulator_fixture.h"
#include "halv80/engine/tests/engine_fixture.h"
#include "platform/device/dev_monitor.h"
#include "platform/device/dev_monitor_image.h"
#include "platform/device/dev_sim_driver.h"
#include "platform/host/host_ui.h"
#include "platform/host/tests/scratch_dir.h"
#include "rz7bios/rz7bios.h"

namespace {

using Bytes = std::vector<u8>;
using Kind = SimTranscriptEntry::Kind;

std::vector<std::string> Boxes;   // texts of the error boxes shown
int BoxAnswer = kBoxAnswerOk;     // what the user answers
int CancelsLeft = 0;              // boxes answered Cancel (go on waiting) before BoxAnswer

int record_box(std::string_view, std::string_view text, unsigned) {
  Boxes.emplace_back(text);
  if (CancelsLeft > 0) {
    --CancelsLeft;
    return kBoxAnswerCancel;
  }
  return BoxAnswer;
}

// The board's layout as its configuration file gives it.
RomLayout board_layout(const DevFixture& f) {
  RomLayout l{};
  l.rom1_type = 2;  // 27256
  l.lrom1_start = f.lrom1.start;
  l.lrom1_end = f.lrom1.end;
  l.lrom1_offset = f.lrom1.offset;
  l.urom1_offset = l.lrom2_offset = l.urom2_offset = 0;
  return l;
}

// A simulated emulator with its library set up, the board's layout, and the
// monitor file written to a scratch folder; the monitor is not booted.
class EmuBootTest : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    Boxes.clear();
    BoxAnswer = kBoxAnswerOk;
    CancelsLeft = 0;
    previous_sink_ = host_set_message_box_sink(record_box);
    start_simulated_emulator(sim, board_);
    emu_set_rom_layout(board_layout(board_));
    std::vector<u8> logic(kDevLogicMagic.begin(), kDevLogicMagic.end());
    logic.resize(64, 0);
    ASSERT_EQ(_Q_flex_cfg(3, logic.data(), u16(logic.size())), 0u);
    _Q_init();
    file_ = dev_monitor_file(board_);
  }
  void TearDown() override {
    close();
    stop_simulated_emulator(sim);
    host_set_message_box_sink(previous_sink_);
    EngineTest::TearDown();
  }

  // Writes `bytes` as the monitor file and opens it for reading.
  int open(const Bytes& bytes) {
    close();
    dir_.write("MON80.QQN", std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
    handle_ = sup_file_open(dir_.system_path() + "\\MON80.QQN", 0);
    EXPECT_GT(handle_, 0);
    return handle_;
  }
  void close() {
    if (handle_ > 0) sup_file_close(handle_);
    handle_ = -1;
  }
  // The JP to the monitor at the reset vector, and the window switched on.
  void patch_reset_vector() {
    const u32 code = board_.monitor_code_address;
    SupHost.BiosWork->set16<kWorkAreaKind>(kDevKindLrom1);
    emu_rom_write_block(board_.lrom1.offset, Bytes{kOpcodeJp, u8(code), u8(code >> 8)});
    emu_mon_enable(1);
  }
  // Header check and image, as start-up runs them.
  void load_monitor() {
    ASSERT_EQ(emu_check_monitor_header(open(file_)), 0);
    ASSERT_EQ(emu_write_monitor_image(handle_), 0);
    patch_reset_vector();
  }
  Bytes monitor_bytes(u32 offset, std::size_t size) {
    Bytes b(size);
    emu_mon_read_block(offset, b);
    return b;
  }
  Bytes file_chunk(std::size_t chunk) const {
    const auto* p = &file_[kMonitorImageOffset + chunk * kMonitorChunk];
    return Bytes(p, p + kMonitorChunk);
  }

  DevFixture board_{};
  Bytes file_;
  ScratchDir dir_;
  int handle_ = -1;
  std::unique_ptr<SimulatedDriver> sim;
  HostMessageBoxSink previous_sink_ = nullptr;
};

TEST_F(EmuBootTest, HeaderChecks) {
  const auto with = [&](auto edit) {
    Bytes b = file_;
    edit(b);
    return b;
  };
  const struct {
    const char* what;
    Bytes file;
    u16 bank_mode_cpu;   // 0xFFFF: no BANK MODE line
    u16 error;
  } cases[] = {
      {"the simulated monitor", file_, 0xFFFF, 0},
      {"only the header", Bytes(file_.begin(), file_.begin() + 32), 0xFFFF, 0},
      {"empty file", Bytes{}, 0xFFFF, kErrMonitorFile},
      {"header one byte short", Bytes(file_.begin(), file_.begin() + 31), 0xFFFF, kErrMonitorFile},
      {"format 0", with([](Bytes& b) { b[0] = 0; }), 0xFFFF, kErrMonitorFile},
      {"format 2", with([](Bytes& b) { b[0] = 2; }), 0xFFFF, kErrMonitorFile},
      {"CPU family 5", with([](Bytes& b) { b[1] = 5; }), 0xFFFF, kErrMonitorFile},
      {"handshake mode 2", with([](Bytes& b) { b[17] = 2; }), 0xFFFF, 0},
      {"handshake mode 3", with([](Bytes& b) { b[17] = 3; }), 0xFFFF, kErrMonitorFile},
      {"NMI jump ends on the area's end", with([](Bytes& b) { b[7] = 0xFD, b[8] = 0x1F; }), 0xFFFF, 0},
      {"NMI jump runs past the area", with([](Bytes& b) { b[7] = 0xFE, b[8] = 0x1F; }), 0xFFFF,
       kErrMonitorFile},
      {"code address 0", with([](Bytes& b) { b[3] = b[4] = 0; }), 0xFFFF, kErrMonitorCodeAddress},
      {"code address 0x0040", with([](Bytes& b) { b[3] = 0x40, b[4] = 0; }), 0xFFFF, kErrMonitorCodeAddress},
      {"code address 0x0080", with([](Bytes& b) { b[3] = 0x80, b[4] = 0; }), 0xFFFF, 0},
      {"last block of LROM1 ends on its end", with([](Bytes& b) { b[3] = 0x80, b[4] = 0x7F; }), 0xFFFF, 0},
      {"block runs past LROM1", with([](Bytes& b) { b[3] = 0x00, b[4] = 0x80; }), 0xFFFF,
       kErrMonitorCodeAddress},
      {"high word set", with([](Bytes& b) { b[5] = 1; }), 0xFFFF, kErrMonitorCodeAddress},
      {"BANK MODE agrees", file_, kCpuZ80, 0},
      {"BANK MODE 64180, monitor for the Z80", file_, kCpu64180, kErrMonitorCpu},
      {"BANK MODE KC80, monitor for the Z80", file_, kCpuKc80, kErrMonitorCpu},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    // the configuration and the header's fields only: the work area stays with the library
    cfg_reset();
    emu_boot_reset();
    emu_set_rom_layout(board_layout(board_));
    if (c.bank_mode_cpu != 0xFFFF) {
      Cfg.BankModeGiven = 1;
      Cfg.CpuType = c.bank_mode_cpu;
    }
    const int h = open(c.file);
    EXPECT_EQ(emu_check_monitor_header(h), c.error);
    if (c.error != 0) continue;
    // kept, and the file is back at its start
    EXPECT_EQ(EmuArea.Layout.monitor_code_address, u32(c.file[3] | c.file[4] << 8));
    EXPECT_EQ(EmuBoot.Position, kDevMonitorPosition);
    EXPECT_EQ(EmuBoot.NmiSlot, u16(c.file[7] | c.file[8] << 8));
    EXPECT_EQ(EmuBoot.BreakEntry, u16(c.file[11] | c.file[12] << 8));
    EXPECT_EQ(Cfg.CpuType, kCpuZ80);
    EXPECT_EQ(sup_file_seek(h, 0, 1), 0);
  }
}

TEST_F(EmuBootTest, WithoutBankModeTheHeaderSetsTheCpu) {
  for (const u16 cpu : {kCpu8080, kCpu64180, kCpuR800}) {
    SCOPED_TRACE(cpu);
    Bytes b = file_;
    b[1] = u8(cpu);
    EXPECT_EQ(emu_check_monitor_header(open(b)), 0);
    EXPECT_EQ(Cfg.CpuType, cpu);
  }
}

TEST_F(EmuBootTest, UndefinedLrom1LeavesNoPlaceForTheMonitor) {
  emu_set_rom_layout(RomLayout{});
  EXPECT_EQ(emu_check_monitor_header(open(file_)), kErrMonitorCodeAddress);
}

TEST_F(EmuBootTest, ImageLandsChunkByChunk) {
  Cfg.BreakOpcode = 0xD7;  // RST 10H
  ASSERT_EQ(emu_check_monitor_header(open(file_)), 0);
  ASSERT_EQ(emu_write_monitor_image(handle_), 0);
  Bytes first = file_chunk(0);
  first[kDevMonitorPosition & 63] = 0xD7;
  EXPECT_EQ(monitor_bytes(kMonitorFirstChunkAt, kMonitorChunk), first);
  for (std::size_t chunk = 1; chunk < kDevMonitorChunks; ++chunk) {
    SCOPED_TRACE(chunk);
    const u32 at = u32(kMonitorRestAt + (chunk - 1) * kMonitorChunk);
    ASSERT_EQ(monitor_bytes(at, kMonitorChunk), file_chunk(chunk));
    EXPECT_TRUE(dev_monitor_bank_tagged(monitor_bytes(at, kMonitorChunk), int(chunk + 1)));
  }
  // no NMI address configured: the slot keeps the image's bytes
  EXPECT_EQ(monitor_bytes(kMonitorFirstChunkAt + kDevMonitorNmiSlotByte, 1)[0], first[kDevMonitorNmiSlotByte]);
}

TEST_F(EmuBootTest, ImageStopsBeforeTheFirstChunksPlace) {
  // a file longer than the room below offset 8128: the extra chunk is not written
  Bytes longer = file_;
  longer.resize(longer.size() + kMonitorChunk, 0xEE);
  ASSERT_EQ(emu_check_monitor_header(open(longer)), 0);
  ASSERT_EQ(emu_write_monitor_image(handle_), 0);
  Bytes first = file_chunk(0);
  first[kDevMonitorPosition & 63] = Cfg.BreakOpcode;
  EXPECT_EQ(monitor_bytes(kMonitorFirstChunkAt, kMonitorChunk), first);
}

TEST_F(EmuBootTest, ShortChunkIsTheLast) {
  const struct {
    const char* what;
    std::size_t cut;         // file bytes kept
    u32 last_written_end;    // monitor offset behind the last byte written
  } cases[] = {
      {"header and padding only", kMonitorImageOffset, 0},
      {"half a first chunk", kMonitorImageOffset + 20, 0},
      {"first chunk only", kMonitorImageOffset + kMonitorChunk, 0},
      {"two chunks and a bit", kMonitorImageOffset + 2 * kMonitorChunk + 5, kMonitorRestAt + kMonitorChunk + 5},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    // clean monitor memory below the top chunk
    emu_mon_write_block(0, Bytes(kMonitorFirstChunkAt, 0x11));
    ASSERT_EQ(emu_check_monitor_header(open(Bytes(file_.begin(), file_.begin() + long(c.cut)))), 0);
    ASSERT_EQ(emu_write_monitor_image(handle_), 0);
    // the first chunk goes whole, with what the file lacks as zeros
    Bytes first(kMonitorChunk, 0);
    const std::size_t have = c.cut > kMonitorImageOffset ? std::min<std::size_t>(c.cut - kMonitorImageOffset, kMonitorChunk) : 0;
    std::memcpy(first.data(), &file_[kMonitorImageOffset], have);
    first[kDevMonitorPosition & 63] = Cfg.BreakOpcode;
    EXPECT_EQ(monitor_bytes(kMonitorFirstChunkAt, kMonitorChunk), first);
    const Bytes below = monitor_bytes(kMonitorRestAt, kMonitorFirstChunkAt - kMonitorRestAt);
    const std::size_t written = c.last_written_end == 0 ? 0 : c.last_written_end - kMonitorRestAt;
    for (std::size_t i = 0; i < below.size(); ++i) {
      const u8 expected = i < written ? file_[kMonitorImageOffset + kMonitorChunk + i] : 0x11;
      ASSERT_EQ(below[i], expected) << "monitor offset " << kMonitorRestAt + i;
    }
  }
}

TEST_F(EmuBootTest, NmiAddressPutsAJumpInTheSlot) {
  Cfg.NmiAddress = 0x1234;
  ASSERT_EQ(emu_check_monitor_header(open(file_)), 0);
  ASSERT_EQ(emu_write_monitor_image(handle_), 0);
  EXPECT_EQ(monitor_bytes(EmuBoot.NmiSlot, 3), (Bytes{kOpcodeJp, 0x34, 0x12}));
}

TEST_F(EmuBootTest, BootedMonitorSaysHelloAndAnswers) {
  load_monitor();
  EXPECT_EQ(emu_boot_monitor(0), 0);
  EXPECT_TRUE(Boxes.empty());
  EXPECT_EQ(Startup.Failed, 0);
  const Bytes from = sim->ChannelBytes(Kind::FromTarget);
  ASSERT_FALSE(from.empty());
  EXPECT_EQ(from.front(), kMonitorHello);
  // the handshake went through: nothing is left waiting on the channel
  EXPECT_FALSE(emu_rschk());
  EXPECT_EQ(sim->ChannelBytes(Kind::ToTarget), Bytes{0x00});
}

// The boot loop on the command side, where start-up runs it: its result.
u16 CommandSideResult = 0xFFFF;
void boot_on_command_side() {
  CommandSideResult = emu_boot_loop(0);
  for (;;) co_wait_gui(kWaitKey);
}

TEST_F(EmuBootTest, HungMonitorFailsTheHandshake) {
  // The hung monitor still says hello at the cold start, so the boot poll
  // gets as far as the handshake, which the reply watchdog then gives up on.
  load_monitor();
  sim->SetMonitorHung(true);
  CommandSideResult = 0xFFFF;
  {
    ScriptedWindowSide ws;
    ws.Start({}, boot_on_command_side);
    // the error box is a request of its own: pump until the loop has returned
    for (int pumps = 0; CommandSideResult == 0xFFFF && pumps < 100; ++pumps) ws.Pump();
    ASSERT_EQ(ws.boxes.size(), 1u);
    EXPECT_NE(ws.boxes[0].text.find(emu_startup_error_text(kErrMonitorBoot).substr(1)), std::string::npos);
  }
  EXPECT_EQ(CommandSideResult, kErrMonitorBoot);
  EXPECT_EQ(Startup.Failed, 1);
}

TEST_F(EmuBootTest, WithoutTheImageTheMonitorNeverStarts) {
  patch_reset_vector();
  EXPECT_EQ(emu_boot_loop(0), kErrMonitorNotRunning);
  ASSERT_EQ(Boxes.size(), 1u);
}

TEST_F(EmuBootTest, WaitingForTheMonitorRunsTheLoopAgain) {
  // no image: the monitor never answers; the user waits twice, then quits
  patch_reset_vector();
  CancelsLeft = 2;
  EXPECT_EQ(emu_boot_monitor(0), kErrMonitorNotRunning);
  EXPECT_EQ(Boxes.size(), 3u);
  EXPECT_EQ(Sup.StartupFailure, 1);
}

TEST_F(EmuBootTest, NoMonitorModeCountsAsBooted) {
  Sw.NoMonitorMode = 1;
  EXPECT_EQ(emu_boot_loop(0), 0);
  EXPECT_TRUE(Boxes.empty());
}

}  // namespace
