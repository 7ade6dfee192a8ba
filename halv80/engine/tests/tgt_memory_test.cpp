// Emulation areas and target memory against the simulated emulator: where an
// address lives, the monitor-area guard, fills across areas, the running
// target's read cache, the monitor's work bytes, and verifying writes.
#include "halv80/engine/tgt_memory.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "halv80/engine/cfg_config.h"
#include "halv80/engine/cmd_core.h"
#include "halv80/engine/cmd_switches.h"
#include "halv80/engine/co_coroutine.h"
#include "halv80/engine/emu_access.h"
#include "halv80/engine/emu_areas.h"
#include "halv80/engine/emu_boot.h"
#include "halv80/engine/emu_monitor.h"
#include "halv80/engine/run_exec.h"
#include "halv80/engine/run_control.h"
#include "halv80/engine/run_state.h"
#include "halv80/engine/sup_host.h"
#include "halv80/engine/sup_messages.h"
#include "halv80/engine/testing/scripted_window_side.h"
#include "halv80/engine/tests/emulator_fixture.h"
#include "halv80/engine/tests/engine_fixture.h"
#include "halv80/engine/tgt_mmu.h"
#include "platform/device/dev_driver.h"
#include "platform/device/dev_monitor.h"
#include "platform/device/dev_monitor_image.h"
#include "platform/device/dev_sim_driver.h"
#include "rz7bios/rz7bios.h"

namespace {

using Bytes = std::vector<u8>;
using Kind = SimTranscriptEntry::Kind;

// One of these starts every monitor request: the bank/command register in the
// direct back end, the start command in the driver back end.
constexpr u32 kBankSet = u32(BiosRequest::BankSet);
constexpr u32 kStartCommand = u32(BiosRequest::StartCommand);
constexpr u32 kWriteRomBlock = u32(BiosRequest::WriteRomBlock);
constexpr u32 kWriteRom = u32(BiosRequest::WriteRom);

SimulatedDriver* Sim = nullptr;  // the device of the running test, for the command-side mains

// The engine's area table for a board: the same areas, the same monitor.
RomLayout layout_of(const DevFixture& f) {
  RomLayout l;
  const auto set = [](const DevRomArea& a, u32& start, u32& end, u32& offset) {
    offset = a.present() ? a.offset : 0;
    if (a.present()) start = a.start, end = a.end;
  };
  set(f.lrom1, l.lrom1_start, l.lrom1_end, l.lrom1_offset);
  set(f.urom1, l.urom1_start, l.urom1_end, l.urom1_offset);
  set(f.lrom2, l.lrom2_start, l.lrom2_end, l.lrom2_offset);
  set(f.urom2, l.urom2_start, l.urom2_end, l.urom2_offset);
  l.monitor_code_address = f.monitor_code_address;
  return l;
}

// The engine's work area handed to the library in front of a simulated
// emulator whose monitor has booted; the engine's area table matches the board.
class TgtMemoryTest : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    StartBoard(DevFixture{});
  }
  void TearDown() override {
    StopBoard();
    EngineTest::TearDown();
  }

  void StartBoard(const DevFixture& f) {
    emu_areas_reset();
    tgt_memory_reset();
    start_simulated_emulator(sim, f);
    Sim = sim.get();
    const MonitorFileHeader header = boot_simulated_monitor(f);
    // what start-up keeps of the header, for runs of the target
    EmuBoot.NmiEntry = header.nmi_entry.get();
    EmuBoot.BreakEntry = header.break_entry.get();
    EmuArea.MonitorRunning = 1;
    emu_set_rom_layout(layout_of(f));
    sim->ClearTranscript();
  }
  void StopBoard() {
    Sim = nullptr;
    stop_simulated_emulator(sim);
    emu_areas_reset();
    tgt_memory_reset();
  }
  // Another board, for a test that needs other areas.
  void UseBoard(const DevFixture& f) {
    StopBoard();
    reset_engine_state();
    StartBoard(f);
  }

  static std::size_t MonitorRequests() { return RequestCount(kBankSet) + RequestCount(kStartCommand); }
  static std::size_t RequestCount(u32 request) {
    std::size_t n = 0;
    for (const SimTranscriptEntry& e : Sim->Transcript())
      if (e.kind == Kind::Request && e.value == request) ++n;
    return n;
  }
  Bytes Sent() const { return sim->ChannelBytes(Kind::ToTarget); }

  std::unique_ptr<SimulatedDriver> sim;
};

// --- Where an address lives --------------------------------------------------

TEST_F(TgtMemoryTest, LookupFillsKindPositionAndTheBytesToTheEndOrToTheNextArea) {
  RomLayout l;
  l.lrom1_start = 0x0000, l.lrom1_end = 0x9FFF, l.lrom1_offset = 0x10000;
  l.urom1_start = 0xC000, l.urom1_end = 0xDFFF, l.urom1_offset = 0x20000;
  l.lrom2_start = 0x18000, l.lrom2_end = 0x1BFFF, l.lrom2_offset = 0x30000;
  l.monitor_code_address = 0x7F80;
  emu_set_rom_layout(l);
  EmuArea.SystemDebugMode = 1;  // the monitor area answers too
  const struct {
    u32 address;
    u16 kind;
    u32 position;   // emulated kinds
    u32 remaining;  // emulated: to the end of the area; kind 0: to the next area
  } cases[] = {
      {0x0000, kAreaLrom1, 0x10000, 0x7F80},  // LROM1 below the monitor ends at it
      {0x7F7F, kAreaLrom1, 0x17F7F, 1},
      {0x7F80, kAreaMonitor, 0x17F80, 128},
      {0x7FFF, kAreaMonitor, 0x17FFF, 1},
      {0x8000, kAreaLrom1, 0x18000, 0x2000},  // the monitor's end + 128: LROM1 again
      {0x9FFF, kAreaLrom1, 0x19FFF, 1},
      {0xA000, kAreaNone, 0, 0x2000},         // the gap up to UROM1
      {0xBFFF, kAreaNone, 0, 1},
      {0xC000, kAreaUrom1, 0x20000, 0x2000},
      {0xE000, kAreaNone, 0, 0xA000},         // the next area lies above 64 KiB
      {0x1BFFF, kAreaLrom2, 0x33FFF, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << std::hex << c.address);
    EXPECT_EQ(emu_area_lookup(c.address), c.kind);
    EXPECT_EQ(SupHost.BiosWork->get16<kWorkAreaKind>(), c.kind);
    if (c.kind != kAreaNone) {
      EXPECT_EQ(SupHost.BiosWork->get32<kWorkRomAddress>(), c.position);
      EXPECT_EQ(SupHost.BiosWork->get32<kWorkAreaRemaining>(), c.remaining);
    } else {
      EXPECT_EQ(SupHost.BiosWork->get32<kWorkNextArea>(), c.remaining);
    }
  }
}

TEST_F(TgtMemoryTest, RangesAgainstTheMonitorAreaAndItsWorkBytes) {
  // default board: LROM1 0..0x7FFF, monitor area 0x7F80..0x7FFF, work bytes 0x7FC0..0x7FCF
  const struct {
    u32 address, length;
    u16 range_kind;
    bool hits_monitor, hits_work;
  } cases[] = {
      {0x7F00, 0x80, kAreaLrom1, false, false},
      {0x7F00, 0x81, kAreaMonitor, true, false},  // only the last byte is the monitor's
      {0x7FBF, 1, kAreaMonitor, true, false},
      {0x7FBF, 2, kAreaMonitor, true, true},
      {0x7FCF, 1, kAreaMonitor, true, true},
      {0x7FD0, 0x30, kAreaMonitor, true, false},
      {0x0000, 0x10000, kAreaLrom1, true, true},
      {0x7FC0, 0, kAreaMonitor, false, false},    // an empty range meets nothing
      {0x8000, 0x100, kAreaNone, false, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << std::hex << c.address << "+" << c.length);
    EXPECT_EQ(emu_range_area(c.address, c.length), c.range_kind);
    EXPECT_EQ(emu_range_hits_monitor(c.address, c.length), c.hits_monitor);
    EXPECT_EQ(emu_range_hits_monitor_work(c.address, c.length), c.hits_work);
  }
  EmuArea.ReducedWork = 1;
  EXPECT_TRUE(emu_range_hits_monitor_work(0x7FC7, 1));
  EXPECT_FALSE(emu_range_hits_monitor_work(0x7FC8, 1));
}

// --- The monitor-area guard --------------------------------------------------

TEST_F(TgtMemoryTest, MonitorAreaWritesAreRefusedUnlessTheSystemDebugModeIsOn) {
  ASSERT_EQ(std::string(sup_load_message(kMsgMonitorArea)), sjis("\n モニタ領域です"));
  const struct {
    const char* name;
    u16 debug_mode;
    void (*write)();
    u32 position;  // an emulation-memory byte the write would change
    u8 written;
  } cases[] = {
      {"byte", 0, [] { tgt_write_byte(0x7F90, 0x5A); }, 0x7F90, 0x5A},
      {"byte, debug mode", 1, [] { tgt_write_byte(0x7F90, 0x5A); }, 0x7F90, 0x5A},
      {"word with its high byte in it", 0, [] { tgt_write_word(0x7F7F, 0x1234); }, 0x7F80, 0x12},
      {"word with its high byte in it, debug mode", 1, [] { tgt_write_word(0x7F7F, 0x1234); }, 0x7F80, 0x12},
      {"block across it", 0, [] { tgt_write_block(Bytes(0x100, 0x66), 0x7F00); }, 0x7F00, 0x66},
      {"block across it, debug mode", 1, [] { tgt_write_block(Bytes(0x100, 0x66), 0x7F00); }, 0x7F00, 0x66},
      {"fill into it", 0, [] { emu_block_fill(0x7F40, 0x80, 0x99, false); }, 0x7F80, 0x99},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Co.PendingError = 0;
    EmuArea.SystemDebugMode = c.debug_mode;
    sim->Board().EmuWrite(c.position, 0);
    const bool completed = co_call_guarded(c.write);
    EXPECT_EQ(completed, c.debug_mode != 0);
    EXPECT_EQ(Co.PendingError, c.debug_mode ? 0 : kMsgMonitorArea + 1);
    EXPECT_EQ(sim->Board().EmuRead(c.position), c.debug_mode ? c.written : 0);  // refused: nothing written
  }
  // in no-monitor mode the area is the engine's to write
  Co.PendingError = 0;
  EmuArea.SystemDebugMode = 0;
  Sw.NoMonitorMode = 1;
  EXPECT_TRUE(co_call_guarded([] { tgt_write_byte(0x7F90, 0xC3); }));
  EXPECT_EQ(sim->Board().EmuRead(0x7F90), 0xC3);
}

// A range command asks about its whole range before it writes: through the
// memory map byte by byte, with the same exceptions as a single write.
TEST_F(TgtMemoryTest, AWriteRangeMeetsTheMonitorAreaWhereverItsBytesLie) {
  // the default board's monitor area is 7F80H..7FFFH; the map of the MMU rows
  // puts logical 4000H..BFFFH at 7000H..EFFFH, so 4F80H is the area's first byte
  const MmuWindowTable map = {MmuWindow{0, 0, 0x4000}, {0x7000, 0x4000, 0x8000}, {0x20000, 0xC000, 0x4000}, {}, {}};
  const struct {
    const char* what;
    u16 address;
    u32 length;
    bool mmu;
    u16 debug_mode, no_monitor;
    bool meets;
  } cases[] = {
      {"ends just below it", 0x7F00, 0x80, false, 0, 0, false},
      {"its last byte is the area's first", 0x7F00, 0x81, false, 0, 0, true},
      {"the area's last byte", 0x7FFF, 1, false, 0, 0, true},
      {"starts just after it", 0x8000, 0x8000, false, 0, 0, false},
      {"wraps at 64 KiB into it", 0xF000, 0x9000, false, 0, 0, true},
      {"wraps and ends just below it", 0xF000, 0x8F80, false, 0, 0, false},
      {"the whole space", 0x0000, 0x10000, false, 0, 0, true},
      {"nothing", 0x7F80, 0, false, 0, 0, false},
      {"system debug mode", 0x0000, 0x10000, false, 1, 0, false},
      {"no-monitor mode", 0x0000, 0x10000, false, 0, 1, false},
      {"a window's bytes below it", 0x4F00, 0x80, true, 0, 0, false},
      {"a window puts the next byte on it", 0x4F00, 0x81, true, 0, 0, true},
      {"its own logical addresses lie elsewhere", 0x7F80, 0x80, true, 0, 0, false},
      {"common area 0 into a window", 0x3F80, 0x100, true, 0, 0, false},
      {"the whole space through the map", 0x0000, 0x10000, true, 0, 0, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Cfg.MmuKind = c.mmu ? kMmuBank : kMmuNone;
    TgtMmu.Windows = c.mmu ? map : MmuWindowTable{};
    EmuArea.SystemDebugMode = c.debug_mode;
    Sw.NoMonitorMode = c.no_monitor;
    EXPECT_EQ(tgt_range_meets_monitor(c.address, c.length), c.meets);
    Co.PendingError = 0;
    EXPECT_EQ(co_call_guarded([&] { tgt_check_write_range(c.address, c.length); }), !c.meets);
    EXPECT_EQ(Co.PendingError, c.meets ? kMsgMonitorArea + 1 : 0);
  }
}

// --- Block fill ----------------------------------------------------------------

// A board with a gap below UROM1 and one above it, neither on a 128-byte step.
DevFixture gapped_board() {
  DevFixture f;
  f.urom1 = {0x8150, 0xFEEF, 0x10000};
  return f;
}

TEST_F(TgtMemoryTest, AFillOfCountZeroCoversAll64KiBInPiecesEndingAtEveryAreaBoundary) {
  const DevFixture f = gapped_board();
  UseBoard(f);
  EmuArea.SystemDebugMode = 1;  // the fill runs over the monitor area
  ASSERT_TRUE(co_call_guarded([] { emu_block_fill(0x8000, 0, 0xA5, false); }));

  for (u32 a = f.lrom1.start; a <= f.lrom1.end; ++a) ASSERT_EQ(sim->Board().EmuRead(a), 0xA5) << std::hex << a;
  for (u32 a = f.urom1.start; a <= f.urom1.end; ++a)
    ASSERT_EQ(sim->Board().EmuRead(a - f.urom1.start + f.urom1.offset), 0xA5) << std::hex << a;
  for (u32 a = 0x8000; a < f.urom1.start; ++a) ASSERT_EQ(sim->Board().PeekTarget(a), 0xA5) << std::hex << a;
  for (u32 a = f.urom1.end + 1; a <= 0xFFFF; ++a) ASSERT_EQ(sim->Board().PeekTarget(a), 0xA5) << std::hex << a;
  EXPECT_NE(sim->Board().EmuRead(f.urom1.offset + (f.urom1.end - f.urom1.start) + 1), 0xA5);  // nothing past UROM1

  // Emulated pieces of at most 128 bytes, cut at LROM1's and UROM1's ends and
  // around the monitor area: 255 + 1 + 252.
  EXPECT_EQ(RequestCount(kWriteRomBlock), 508u);
  // Each gap is one block-write request of exactly its bytes.
  Bytes expected;
  for (const auto& [start, count] : {std::pair<u16, u32>{0x8000, 0x150}, {0xFEF0, 0x110}}) {
    expected.insert(expected.end(), {0x00, u8(start), u8(start >> 8)});  // doorbell, address
    for (u32 i = 0; i < count; ++i) expected.insert(expected.end(), {0xA5, u8(i + 1 < count ? 0xFF : 0x00)});
  }
  EXPECT_EQ(Sent(), expected);
  EXPECT_EQ(MonitorRequests(), 2u);
}

TEST_F(TgtMemoryTest, AWordFillKeepsItsByteOrderAcrossAnAreaBoundary) {
  const DevFixture f = gapped_board();
  UseBoard(f);
  // from an odd address: 7 bytes in the gap, then UROM1 from its high byte on
  ASSERT_TRUE(co_call_guarded([] { emu_block_fill(0x8149, 0x10, 0x1234, true); }));
  Bytes got;
  for (u32 a = 0x8149; a < 0x8150; ++a) got.push_back(sim->Board().PeekTarget(a));
  for (u32 i = 0; i < 9; ++i) got.push_back(sim->Board().EmuRead(f.urom1.offset + i));
  const Bytes expected = {0x34, 0x12, 0x34, 0x12, 0x34, 0x12, 0x34, 0x12,
                          0x34, 0x12, 0x34, 0x12, 0x34, 0x12, 0x34, 0x12};
  EXPECT_EQ(got, expected);
}

// --- The read cache ------------------------------------------------------------

struct CacheStep {
  const char* name;
  bool write;
  u16 address;
  u8 value;             // written, or expected from the read
  std::size_t refills;  // monitor requests so far
};
// LROM1 at 0x1000 holds i * 3 + 1 at 0x1000 + i.
constexpr CacheStep kCacheSteps[] = {
    {"first read", false, 0x1000, 0x01, 1},
    {"last byte of the same refill", false, 0x107F, 0x7E, 1},
    {"one past it", false, 0x1080, 0x81, 2},
    {"back below the new base", false, 0x1000, 0x01, 3},
    {"a write empties the cache", true, 0x1001, 0x5A, 3},
    {"so the next read refills", false, 0x1001, 0x5A, 4},
};

struct CacheSeen {
  u8 value = 0;
  std::size_t refills = 0;
};
std::vector<CacheSeen> CacheLog;

void run_cache_steps() {
  for (const CacheStep& s : kCacheSteps) {
    CacheSeen seen;
    if (s.write)
      tgt_write_byte(s.address, s.value);
    else
      seen.value = tgt_read_byte(s.address);
    seen.refills = 0;
    for (const SimTranscriptEntry& e : Sim->Transcript())
      if (e.kind == Kind::Request && (e.value == kBankSet || e.value == kStartCommand)) ++seen.refills;
    CacheLog.push_back(seen);
  }
}

TEST_F(TgtMemoryTest, TheReadCacheRefillsOnlyOutsideIts128BytesAndEmptiesOnAWrite) {
  for (const bool running : {false, true}) {
    SCOPED_TRACE(running ? "target running, command side" : "cached mode, target stopped");
    for (u32 i = 0; i < 0x100; ++i) sim->Board().EmuWrite(0x1000 + i, u8(i * 3 + 1));
    sim->ClearTranscript();
    tgt_memory_reset();
    CacheLog.clear();
    if (running) {
      // a program that loops on itself, running free
      emu_req_write_block(0x9000, Bytes{0x18, 0xFE});
      ::Run.Regs.pc = 0x9000;
      ::Run.Regs.sp = 0x9100;
      sim->Clock().UseFixedBudget(400);
      ScriptedWindowSide ws;
      ws.Start({}, [] {
        RunExec.StopDisplayMode = 2;
        run_and_wait(0);
        EXPECT_EQ(::Run.ExecutionState, kExecRunning);
        run_cache_steps();
        EXPECT_EQ(::Run.ExecutionState, kExecRunning);  // paused and resumed around each access
        emu_force_stop();
        run_set_execution_state(kExecStopped);
        for (;;) co_wait_gui(kWaitKey);
      });
    } else {
      tgt_set_cached_mode(1);
      run_cache_steps();
    }
    ASSERT_EQ(CacheLog.size(), std::size(kCacheSteps));
    for (std::size_t i = 0; i < std::size(kCacheSteps); ++i) {
      const CacheStep& s = kCacheSteps[i];
      SCOPED_TRACE(s.name);
      if (!s.write) {
        EXPECT_EQ(CacheLog[i].value, s.value);
      }
      // a running target is stopped and started again around each refill,
      // with requests of its own: the count is for the stopped target
      if (!running) {
        EXPECT_EQ(CacheLog[i].refills, s.refills);
      }
    }
  }
}

TEST_F(TgtMemoryTest, BlockWritesFillsAndMovesEmptyTheReadCache) {
  const struct {
    const char* name;
    void (*write)();  // leaves 0x42 at 0x9000
  } cases[] = {
      {"block write", [] { tgt_write_block(Bytes{0x42}, 0x9000); }},
      {"block write to the monitor", [] { tgt_write_block_monitor(Bytes{0x42}, 0x9000); }},
      {"fill", [] { emu_block_fill(0x9000, 1, 0x42, false); }},
      {"move", [] { emu_block_move(0x9000, 0x9100, 1, false); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    sim->Board().PokeTarget(0x9000, 0x00);
    sim->Board().PokeTarget(0x9100, 0x42);
    tgt_memory_reset();
    tgt_set_cached_mode(1);
    ASSERT_EQ(tgt_read_byte(0x9000), 0x00);
    c.write();
    EXPECT_EQ(tgt_read_byte(0x9000), 0x42);
  }
}

TEST_F(TgtMemoryTest, TheWindowSideReadsFFWhileTheTargetRunsAndNothingIsSentForNothing) {
  run_set_execution_state(kExecRunning);
  Bytes view(16, 0);
  tgt_read_block(view, 0x9000);
  EXPECT_EQ(view, Bytes(16, 0xFF));
  EXPECT_EQ(tgt_read_byte(0x9000), 0xFF);
  EXPECT_EQ(TgtMem.CacheBase, kReadCacheEmpty);  // 0xFF is not kept for the command side
  run_set_execution_state(kExecStopped);
  tgt_read_block({}, 0x9000);
  EXPECT_TRUE(sim->Transcript().empty()) << sim->TranscriptText();
}

// --- The monitor's work bytes ------------------------------------------------------

TEST_F(TgtMemoryTest, ReadsOfTheMonitorsWorkBytesGiveZeroWithoutARequest) {
  Bytes direct(16);
  for (std::size_t i = 0; i < 8; ++i) direct[i] = tgt_read_byte(u16(0x7FB8 + i));
  sim->ClearTranscript();
  const struct {
    const char* name;
    u16 cached_mode;
    std::size_t requests;  // byte reads of the bytes outside the work bytes
  } cases[] = {
      {"block read", 0, 8},
      // a refill that meets the work bytes reads byte by byte, never back
      // through the cache: 128 bytes less the 16 work bytes
      {"cached mode", 1, 112},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    sim->ClearTranscript();
    tgt_memory_reset();
    tgt_set_cached_mode(c.cached_mode);
    Bytes got(16, 0xEE);
    if (c.cached_mode)
      for (std::size_t i = 0; i < got.size(); ++i) got[i] = tgt_read_byte(u16(0x7FB8 + i));
    else
      tgt_read_block(got, 0x7FB8);
    for (std::size_t i = 0; i < 8; ++i) EXPECT_EQ(got[i], direct[i]) << i;
    for (std::size_t i = 8; i < 16; ++i) EXPECT_EQ(got[i], 0) << i;
    EXPECT_EQ(MonitorRequests(), c.requests);
  }
  tgt_memory_reset();
  sim->ClearTranscript();
  EXPECT_EQ(tgt_read_word(0x7FBF), 0);  // one byte of the two is enough
  EXPECT_EQ(MonitorRequests(), 0u);
}

// --- Writes: where a word is split, and verifying ------------------------------

TEST_F(TgtMemoryTest, AnEmulatedWordIsSplitWhereItsAreaEndsNotAtA4KiBPage) {
  DevFixture f;
  f.urom1 = {0xC000, 0xC0FF, 0x10000};
  UseBoard(f);
  const struct {
    u16 address;
    std::size_t blocks, monitor_requests;
    u32 low_at;  // emulation position of the low byte
    bool high_emulated;
  } cases[] = {
      {0x0FFF, 1, 0, 0x0FFF, true},      // a 4 KiB page end inside LROM1: one block
      {0xC0FF, 0, 1, 0x100FF, false},    // UROM1's last byte; the high byte is RAM
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << std::hex << c.address);
    sim->ClearTranscript();
    sim->Board().EmuWrite(c.low_at + 1, 0xEE);
    tgt_write_word(c.address, 0x1234);
    EXPECT_EQ(sim->Board().EmuRead(c.low_at), 0x34);
    EXPECT_EQ(RequestCount(kWriteRomBlock), c.blocks);
    EXPECT_EQ(MonitorRequests(), c.monitor_requests);
    if (c.high_emulated) {
      EXPECT_EQ(sim->Board().EmuRead(c.low_at + 1), 0x12);
    } else {
      EXPECT_EQ(sim->Board().EmuRead(c.low_at + 1), 0xEE);  // nothing written past the area
      EXPECT_EQ(sim->Board().PeekTarget(u32(c.address) + 1), 0x12);
    }
  }
  EXPECT_EQ(RequestCount(kWriteRom), 1u);  // the split word's low byte
}

TEST_F(TgtMemoryTest, AVerifyingWriteFailsWhereTheTargetDoesNotKeepTheValue) {
  // UROM1 is the target's own ROM here: the engine does not emulate it, so
  // its writes go through the monitor, and the target cannot write ROM.
  DevFixture f;
  f.urom1 = {0xC000, 0xC0FF, 0x10000};
  UseBoard(f);
  emu_set_rom_layout(layout_of(DevFixture{}));
  const struct {
    const char* name;
    u16 verify;
    bool (*write)();
    bool ok;
  } cases[] = {
      {"byte to RAM", 1, [] { return tgt_write_byte_verify(0x9000, 0x12); }, true},
      {"byte to the target's ROM", 1, [] { return tgt_write_byte_verify(0xC010, 0x12); }, false},
      {"word, high byte in ROM", 1, [] { return tgt_write_word_verify(0xBFFF, 0x3456); }, false},
      {"long to RAM", 1, [] { return tgt_write_long_verify(0x8FFE, 0x89ABCDEF); }, true},
      {"long to emulation memory", 1, [] { return tgt_write_long_verify(0x1000, 0x01020304); }, true},
      {"byte to ROM, verify off", 0, [] { return tgt_write_byte_verify(0xC010, 0x12); }, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Cmd.AbortFlag = 0;
    TgtMem.Verify = c.verify;
    EXPECT_EQ(c.write(), c.ok);
    EXPECT_EQ(Cmd.AbortFlag, c.ok ? 0 : 1);
  }
  EXPECT_EQ(tgt_read_long(0x8FFE), 0x89ABCDEFu);
  EXPECT_EQ(sim->Board().PeekTarget(0x8FFE), 0xEF);  // low byte first
}

}  // namespace
