// The simulated emulator driven as the debugger drives it: through rz7bios in
// driver mode, booting the monitor from its file and speaking the monitor
// requests byte for byte; a program built by a real assembler runs to its
// break and is read back by the stop record. Every test runs twice: with the
// CPU run inside the driver's calls, and with the board on its own thread
// beside the host, where time is the board's and the host only looks.
#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/device/dev_driver.h"
#include "platform/device/dev_monitor.h"
#include "platform/device/dev_monitor_image.h"
#include "platform/device/dev_sim_driver.h"
#include "platform/host/host_clock.h"
#include "platform/host/tests/scratch_dir.h"
#include "rz7bios/rz7bios.h"

namespace {

constexpr u64 kTStatesPerMs = DevFixture{}.cpu_clock_hz / 1000;

// The stop record as the engine reads it.
struct StopRecord {
  u8 stop_byte = 0;
  u16 bc = 0, s = 0, hl = 0, de = 0, af = 0, pc = 0, sp = 0;
  u16 af_alt = 0, bc_alt = 0, de_alt = 0, hl_alt = 0, ix = 0, iy = 0;
};

class EmulatorFixture : public testing::Test {
 protected:
  // A booted board; `threaded`: on its own thread beside the host.
  void Open(bool threaded, DevPacing pacing = DevPacing::FullSpeed) {
    // beside the host the engine's clock is the real one; the board keeps its own time
    if (threaded)
      host_clock_use_real();
    else
      host_clock_use_fake(5000);
    dev_reset_system();
    sim = std::make_unique<SimulatedDriver>(DevFixture{});
    if (threaded) sim->StartThread(pacing);
    DevSys.driver = sim.get();
    DevSys.service_running = true;
    ASSERT_EQ(_NT_setbioswork(&work), 0);
    ASSERT_EQ(_NT_get_bios_workp_size(), 1046);
    ASSERT_EQ(_NT_get_rz7arg_size(), 416);
    ASSERT_EQ(_Q_get_qn_func(), 1);
    ASSERT_EQ(_Q_if_init(), DevFixture{}.board_id);
    const std::vector<u8> file = dev_monitor_file(DevFixture{});
    std::memcpy(&header, file.data(), sizeof header);
    Boot(file);
  }
  void TearDown() override {
    _Q_if_init();
    _NT_close_driver();
    dev_reset_system();
    host_clock_use_real();
  }

  // The engine's start-up: logic configuration, interface set-up, the monitor
  // image into monitor memory, the reset vector patched, the cold start.
  void Boot(const std::vector<u8>& file) {
    std::vector<u8> logic(kDevLogicMagic.begin(), kDevLogicMagic.end());
    logic.resize(64, 0);
    ASSERT_EQ(_Q_flex_cfg(3, logic.data(), u16(logic.size())), 0u);
    _Q_init();
    for (std::size_t chunk = 0; chunk < kDevMonitorChunks; ++chunk) {
      std::array<u8, kDevMonitorBankSize> bytes;
      std::memcpy(bytes.data(), &file[kMonitorImageOffset + chunk * kDevMonitorBankSize], bytes.size());
      if (chunk == 0) bytes[header.position.get() & 63] = kBreak;
      _Q_wrmonblk(chunk == 0 ? kDevTopBankCode : u16(chunk + 1), 0, bytes.data(), u16(bytes.size()));
    }
    const u32 code = header.code_address.get();
    WriteRom(0, {0xC3, u8(code), u8(code >> 8)});  // the reset vector jumps to the monitor
    _Q_mon_en(1);
    _Q_fifo_rst();
    _Q_flushrs();
    _Q_bankset(kDevColdStartBank);
    _Q_trg_rst(5, 0);
    ASSERT_TRUE(WaitForInput()) << "no hello from the monitor";
    EXPECT_EQ(_Q_getrs(), kMonitorHello);
    // the monitor vectors, as the engine writes them before a run
    WriteRom(0x38, {0xC3, u8(header.break_entry.get()), u8(header.break_entry.get() >> 8)});
    WriteRom(0x66, {0xC3, u8(header.nmi_entry.get()), u8(header.nmi_entry.get() >> 8)});
  }
  void WriteRom(u32 address, std::vector<u8> bytes) {
    work.set16<kWorkAreaKind>(kDevKindLrom1);
    work.set32<kWorkRomAddress>(address);
    _Q_wrromblk(bytes.data(), u16(bytes.size()));
  }
  // Waits in 10 ms steps, as the engine's polls do.
  bool WaitForInput(int rounds = 800) {
    for (int i = 0; i < rounds; ++i) {
      if (_Q_rschk() != 0) return true;
      _Q_wait(10);
    }
    return false;
  }

  void Request(u8 code) { _nt_STARTCMD(code); }
  void PutWord(u16 w) {
    const u8 b[2] = {u8(w), u8(w >> 8)};
    _Q_putrsblk(b, 2, 0);
  }
  u16 GetWord() {
    u8 b[2] = {};
    _Q_getrsblk(b, 2);
    return u16(b[0] | b[1] << 8);
  }
  u8 Ack() { return _Q_getrs(); }

  void Go(u16 pc, u16 sp) {
    Request(96);
    Ack();
    Request(97);
    PutWord(sp);
    PutWord(pc);
    PutWord(0x0000);
    Ack();
    Request(98);
    PutWord(0);
    PutWord(0);
    PutWord(0);
    Ack();
    Request(99);
    PutWord(0);
    PutWord(0);
    PutWord(0);
    Ack();
    Request(100);
    PutWord(0);
    PutWord(0);
    PutWord(0);
    Ack();
    Request(101);
    _Q_putrs(0);  // I
    _Q_putrs(0);  // interrupts disabled
    Ack();
    _Q_wrreg0(7, 16, 16);
    Request(103);
    int polls = 0;
    while ((_Q_chk_run() & 2) == 0 && polls++ < 100) _Q_wait(1);
    ASSERT_NE(_Q_chk_run() & 2, 0) << "the program did not start";
  }
  StopRecord ReadStop() {
    StopRecord r;
    r.stop_byte = _Q_getrs();
    Request(r.stop_byte != 0 ? 112 : 113);
    r.bc = GetWord();
    r.s = GetWord();
    Request(114);
    r.hl = GetWord();
    r.de = GetWord();
    r.af = GetWord();
    Request(115);
    r.pc = GetWord();
    r.sp = GetWord();
    _Q_putrs(u8(r.s));
    Ack();
    Request(116);
    r.af_alt = GetWord();
    r.bc_alt = GetWord();
    r.de_alt = GetWord();
    Request(117);
    r.hl_alt = GetWord();
    r.ix = GetWord();
    r.iy = GetWord();
    Request(118);
    Ack();
    return r;
  }
  void WriteBlock(u16 address, const std::vector<u8>& bytes) {
    Request(48);
    PutWord(address);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
      _Q_putrs(bytes[i]);
      _Q_putrs(i + 1 < bytes.size() ? 0xFF : 0x00);
    }
    EXPECT_EQ(Ack(), kMonitorAcknowledge);
  }
  std::vector<u8> ReadBlock(u16 address, std::size_t count) {
    std::vector<u8> out;
    Request(40);
    PutWord(address);
    for (std::size_t i = 0; i < count; ++i) {
      out.push_back(_Q_getrs());
      _Q_putrs(i + 1 < count ? 0xFF : 0x00);
    }
    EXPECT_EQ(Ack(), kMonitorAcknowledge);
    return out;
  }
  u16 Status() const { return work.get16<kWorkStatus>(); }

  // The simulated driver with the board's lock held for one look.
  struct HeldDriver {
    DevRunner::Turn held;
    SimulatedDriver* driver;
    SimulatedDriver* operator->() const { return driver; }
  };
  HeldDriver Held() { return {sim->Hold(), sim.get()}; }
  u64 TStates() { return Held()->Board().TStates(); }
  // Waits on the board's state, looking without requests, for at most 20 s.
  template <class Done>
  static bool Await(Done done) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!done()) {
      if (std::chrono::steady_clock::now() > until) return false;
      std::this_thread::yield();
    }
    return true;
  }
  // Runs JR $ on a board beside the host, calls `switch_on` once the program
  // runs, and checks that from then on the board keeps to its clock.
  template <class SwitchOn>
  void ExpectNoRunAhead(SwitchOn switch_on) {
    WriteBlock(0x8200, {0x18, 0xFE});  // JR $
    Go(0x8200, kStack);
    // measured from a moment the program runs: waits of the start itself,
    // while the CPU stands in the monitor, pass at once
    const u64 started = TStates();
    ASSERT_TRUE(Await([&] { return TStates() - started >= kTStatesPerMs; }));
    switch_on();
    const auto start = std::chrono::steady_clock::now();
    const u64 before = TStates();
    ASSERT_TRUE(Await([&] { return TStates() - before >= 150 * kTStatesPerMs; }));
    const u64 ran = TStates() - before;
    const auto wall = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
    // A board that fell behind (its thread starved by a busy host) catches
    // up at full speed by at most the pacing slack; beyond that, and the
    // slice in progress, it never runs ahead. Unpaced, 150 ms of target time
    // take a few milliseconds here.
    const u64 allowance = u64(std::chrono::milliseconds(DevRunner::kPacingSlack).count() + 5);
    EXPECT_LE(ran, u64(wall.count() + allowance) * kTStatesPerMs);
  }

  static constexpr u8 kBreak = 0xFF;  // RST 38H
  static constexpr u16 kStack = 0x9000;
  BiosWorkArea work{};
  MonitorFileHeader header{};
  std::unique_ptr<SimulatedDriver> sim;
};

// The parameter: the board runs beside the host on its own thread.
class EmulatorEndToEndTest : public EmulatorFixture, public testing::WithParamInterface<bool> {
 protected:
  void SetUp() override { Open(GetParam()); }
};

TEST_P(EmulatorEndToEndTest, HandshakeAndInitialStack) {
  _Q_bankset(125);
  _Q_putrs(0);
  ASSERT_TRUE(WaitForInput());
  EXPECT_EQ(_Q_getrs(), kMonitorHandshakeReply);
  Request(80);
  PutWord(kStack);
  EXPECT_EQ(Ack(), kMonitorAcknowledge);
  EXPECT_EQ(Held()->Target().Monitor().Registers().sp, kStack);
  EXPECT_EQ(Status(), 0);
}

TEST_P(EmulatorEndToEndTest, MemoryAndPortsThroughMonitorRequests) {
  // byte and word
  Request(24);
  PutWord(0x8123);
  _Q_putrs(0xA5);
  EXPECT_EQ(Ack(), kMonitorAcknowledge);
  Request(8);
  PutWord(0x8123);
  EXPECT_EQ(_Q_getrs(), 0xA5);
  Request(32);
  PutWord(0x8200);
  PutWord(0xBEEF);
  EXPECT_EQ(Ack(), kMonitorAcknowledge);
  Request(16);
  PutWord(0x8200);
  EXPECT_EQ(GetWord(), 0xBEEF);
  EXPECT_EQ(Held()->Board().PeekTarget(0x8200), 0xEF);  // low byte first
  // blocks, longer than the channel FIFO
  std::vector<u8> data(40);
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = u8(i * 7 + 1);
  WriteBlock(0x8300, data);
  EXPECT_EQ(ReadBlock(0x8300, data.size()), data);
  EXPECT_EQ(ReadBlock(0x8300, 1), std::vector<u8>{data[0]});
  // ROM areas are read-only to the target: the monitor's write does not stick
  Request(24);
  PutWord(0x0100);
  _Q_putrs(0x12);
  Ack();
  Request(8);
  PutWord(0x0100);
  EXPECT_NE(_Q_getrs(), 0x12);
  // a port
  Request(25);
  PutWord(0x1234);
  _Q_putrs(0x77);
  EXPECT_EQ(Ack(), kMonitorAcknowledge);
  EXPECT_EQ(Held()->Board().PortLatch(0x1234), 0x77);
  Request(9);
  PutWord(0x1234);
  EXPECT_EQ(_Q_getrs(), 0x77);
  EXPECT_EQ(Status(), 0);
}

TEST_P(EmulatorEndToEndTest, AnUnknownRequestTimesOut) {
  Request(5);
  EXPECT_EQ(_Q_getrs(), 0);
  EXPECT_EQ(Status() & kStatusTimeout, kStatusTimeout);
}

// A program from the assembler: sums four bytes, stores the sum, stops on its
// software break.
constexpr const char* kProgram = R"(
        ORG 8100H
        LD   HL,DATA
        LD   B,4
        XOR  A
LOOP:   ADD  A,(HL)
        INC  HL
        DJNZ LOOP
        LD   (RESULT),A
        LD   DE,1234H
        LD   IX,5678H
BRK:    RST  38H
DATA:   DB   1,2,3,4
RESULT: DB   0
)";

std::vector<u8> assemble(const std::string& source, std::string& error) {
  // a folder of its own: the tests run side by side
  const ScratchDir scratch;
  if (scratch.path().empty()) {
    error = "no scratch folder";
    return {};
  }
  const std::filesystem::path dir = scratch.path();
  std::ofstream(dir / "prog.asm") << source;
  const std::string command = "pasmo " + (dir / "prog.asm").string() + " " + (dir / "prog.bin").string() + " 2>&1";
  if (std::system(command.c_str()) != 0) {
    error = "pasmo failed";
    return {};
  }
  std::ifstream in(dir / "prog.bin", std::ios::binary);
  return std::vector<u8>(std::istreambuf_iterator<char>(in), {});
}

TEST_P(EmulatorEndToEndTest, AnAssembledProgramRunsToItsBreak) {
  if (std::system("command -v pasmo >/dev/null 2>&1") != 0) GTEST_SKIP() << "pasmo is not installed";
  std::string error;
  const std::vector<u8> program = assemble(kProgram, error);
  ASSERT_FALSE(program.empty()) << error;
  const u16 origin = 0x8100;
  const u16 break_at = u16(origin + program.size() - 6);  // RST, four data bytes, the result
  WriteBlock(origin, program);
  Go(origin, kStack);
  ASSERT_TRUE(WaitForInput()) << "no stop";
  const StopRecord stop = ReadStop();
  EXPECT_EQ(stop.stop_byte, 0);                // a software break: the PC points past it
  EXPECT_EQ(u16(stop.pc - 1), break_at);
  EXPECT_EQ(stop.af >> 8, 10);                 // 1 + 2 + 3 + 4
  EXPECT_EQ(stop.de, 0x1234);
  EXPECT_EQ(stop.ix, 0x5678);
  EXPECT_EQ(stop.hl, u16(break_at + 5));       // past the four data bytes
  EXPECT_EQ(stop.sp, kStack);                  // the break's return address is off the stack again
  EXPECT_EQ(ReadBlock(u16(break_at + 5), 1), std::vector<u8>{10});
  EXPECT_EQ(_Q_chk_run() & 1, 0);              // stopped
  EXPECT_EQ(Status(), 0);
}

TEST_P(EmulatorEndToEndTest, AForcedStopByNmi) {
  const u16 loop = 0x8200;
  WriteBlock(loop, {0x18, 0xFE});  // JR $: runs until stopped
  Go(loop, kStack);
  _Q_wait(20);
  EXPECT_EQ(_Q_rschk(), 0u);       // still running
  EXPECT_EQ(_Q_chk_run() & 1, 1);
  _Q_trg_NMI(0);
  ASSERT_TRUE(WaitForInput(100)) << "no stop after the NMI";
  const StopRecord stop = ReadStop();
  EXPECT_NE(stop.stop_byte, 0);
  EXPECT_EQ(stop.pc, loop);
  EXPECT_EQ(stop.sp, kStack);
  EXPECT_EQ(Status(), 0);
}

TEST_P(EmulatorEndToEndTest, ProfilerSamplesTheRunningProgramByNmi) {
  u8 sample[2] = {};
  EXPECT_EQ(_Q_profnmi(sample, 2, kMonitorProfileCode, 0), 3);  // nothing runs yet
  const u16 loop = 0x8200;
  WriteBlock(loop, {0x18, 0xFE});  // JR $
  Go(loop, kStack);
  for (int i = 0; i < 3; ++i) {
    SCOPED_TRACE(i);
    _Q_wait(5);
    EXPECT_EQ(_Q_profnmi(sample, 2, kMonitorProfileCode, 0), 0);
    EXPECT_EQ(sample[0] | sample[1] << 8, loop);  // the PC the NMI interrupted
    EXPECT_EQ(_Q_chk_run() & 1, 1);               // and the program goes on
    EXPECT_EQ(_Q_rschk(), 0u);
  }
  // a forced stop still works afterwards, with the stack as the program left it
  _Q_trg_NMI(0);
  ASSERT_TRUE(WaitForInput(100));
  const StopRecord stop = ReadStop();
  EXPECT_EQ(stop.pc, loop);
  EXPECT_EQ(stop.sp, kStack);
  EXPECT_EQ(Status(), 0);
}

// --- The board beside the host -----------------------------------------------

class BoardBesideHostTest : public EmulatorFixture {
 protected:
  void SetUp() override { Open(true); }

  // A program that counts in the word at kCounter, for ever.
  static constexpr u16 kCountingLoop = 0x8200;
  static constexpr u16 kCounter = 0x8300;
  void StartCounting() {
    WriteBlock(kCountingLoop, {0x2A, 0x00, 0x83,    // LD HL,(8300H)
                               0x23,                // INC HL
                               0x22, 0x00, 0x83,    // LD (8300H),HL
                               0x18, 0xF7});        // JR 8200H
    Go(kCountingLoop, kStack);
  }
  // The counter as the board holds it, read without a request.
  u16 Counter() {
    HeldDriver h = Held();
    return u16(h->Board().PeekTarget(kCounter) | h->Board().PeekTarget(kCounter + 1) << 8);
  }
};

TEST_F(BoardBesideHostTest, TheProgramRunsWhileTheHostMakesNoRequest) {
  StartCounting();
  const u16 first = Counter();
  EXPECT_TRUE(Await([&] { return Counter() != first; })) << "the counter did not move by itself";
  // a forced stop still finds it, in its loop
  _Q_trg_NMI(0);
  ASSERT_TRUE(WaitForInput(100));
  const StopRecord stop = ReadStop();
  EXPECT_GE(stop.pc, kCountingLoop);
  EXPECT_LT(stop.pc, kCountingLoop + 9);
  EXPECT_EQ(Status(), 0);
}

TEST_F(BoardBesideHostTest, WaitsCountTheBoardsTime) {
  // stopped, nothing runs: a wait's time passes at once and in full, and no run time
  _Q_rtc0_clr();
  u64 before = TStates();
  _Q_wait(1000);
  EXPECT_EQ(TStates() - before, 1000 * kTStatesPerMs);
  EXPECT_EQ(_Q_rtc0_rd(), 0u);
  // running: the program runs through the wait, and its run time counts
  StartCounting();
  _Q_rtc0_clr();
  before = TStates();
  _Q_wait(50);
  EXPECT_GE(TStates() - before, 50 * kTStatesPerMs);
  EXPECT_GE(_Q_rtc0_rd(), 50'000u);  // microseconds
}

TEST_F(BoardBesideHostTest, AReplyThatNeverComesTimesOutInTheBoardsTime) {
  sim->SetMonitorHung(true);
  const u64 before = TStates();
  Request(8);  // read a byte: the hung monitor takes the request and never answers
  PutWord(0x8000);
  EXPECT_EQ(_Q_getrs(), 0);
  EXPECT_EQ(Status() & kStatusTimeout, kStatusTimeout);
  EXPECT_GE(TStates() - before, u64(work.get16<kWorkTickLimit>()) * kTStatesPerMs);
}

TEST_F(EmulatorFixture, APacedBoardNeverRunsAheadOfItsClock) {
  Open(true, DevPacing::Clock);
  ExpectNoRunAhead([] {});
}

// Held to its clock while it runs at full speed: from the next slice on.
TEST_F(EmulatorFixture, ABoardHeldToItsClockWhileItRunsKeepsToIt) {
  Open(true);
  ExpectNoRunAhead([&] { sim->SetPacing(DevPacing::Clock); });
}

INSTANTIATE_TEST_SUITE_P(TimeModes, EmulatorEndToEndTest, testing::Bool(),
                         [](const testing::TestParamInfo<bool>& info) {
                           return info.param ? std::string("BesideTheHost") : std::string("InsideCalls");
                         });

}  // namespace
