// The memory-management model and the MMU command: translations both ways
// over a window table of our own, then against simulated boards with an
// HD64180 or a four-window MMU: the MMU command as a user types it, the
// refresh at a stop and the push, the banked accesses, and the agreement of
// the model with what the target's CPU sees.
#include "halv80/engine/tgt_mmu.h"

#include <gtest/gtest.h>

#include <cstdio>

#include <cstddef>
#include <memory>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "halv80/engine/cfg_config.h"
#include "halv80/engine/cmd_core.h"
#include "halv80/engine/cmd_switches.h"
#include "halv80/engine/co_coroutine.h"
#include "halv80/engine/emu_areas.h"
#include "halv80/engine/emu_control.h"
#include "halv80/engine/emu_startup.h"
#include "halv80/engine/run_control.h"
#include "halv80/engine/run_state.h"
#include "halv80/engine/sup_format.h"
#include "halv80/engine/testing/scripted_window_side.h"
#include "halv80/engine/tgt_memory.h"
#include "halv80/engine/tests/engine_fixture.h"
#include "halv80/engine/tests/startup_fixture.h"
#include "platform/device/dev_mmu.h"
#include "platform/device/dev_monitor_image.h"

void PrintTo(const MmuWindow& w, std::ostream* os) {
  *os << std::hex << "{" << w.physical << ", " << w.start << ", " << w.size << "}";
}

namespace {

using Bytes = std::vector<u8>;

const std::string kMsg0 = sjis("\n アドレス指定が誤りです");
const std::string kMsg1 = sjis("\n データ指定が誤りです");
const std::string kMsg34 = sjis("\n コマンド エラー");
const std::string kMsg117 = sjis("\nモニタのコード領域/データ領域のマッピングはできません。");

// --- Translations over a table of our own -------------------------------------

class MmuModelTest : public EngineTest {
 protected:
  // CBAR E4H, BBR 10H, CBR 20H as a refresh leaves them, window 2 the bank window.
  void UseBankTable() {
    Cfg.MmuKind = kMmuBank;
    TgtMmu.Windows = {MmuWindow{0, 0, 0x4000}, {0x14000, 0x4000, 0xA000}, {0x2E000, 0xE000, 0x2000}, {}, {}};
    TgtMmu.BankWindow = 2;
    TgtMmu.BankBase = 0xE000;
  }
};

TEST_F(MmuModelTest, LogicalToPhysicalTakesTheHighestWindowThatHoldsTheAddress) {
  const struct {
    u16 kind;
    u16 logical;
    u32 physical;
    u16 hit;
  } cases[] = {
      {kMmuNone, 0xE000, 0xE000, 0},  // no MMU: unchanged
      {kMmuBank, 0x0000, 0x0000, 0},  // common area 0
      {kMmuBank, 0x3FFF, 0x3FFF, 0},
      {kMmuBank, 0x4000, 0x14000, 1},  // bank area: (BBR + page) * 4 KiB
      {kMmuBank, 0xDFFF, 0x1DFFF, 1},
      {kMmuBank, 0xE000, 0x2E000, 2},  // common area 1: (CBR + page) * 4 KiB
      {kMmuBank, 0xFFFF, 0x2FFFF, 2},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << std::hex << c.logical);
    UseBankTable();
    Cfg.MmuKind = c.kind;
    EXPECT_EQ(tgt_logical_to_physical(c.logical), c.physical);
    EXPECT_EQ(TgtMem.LastLogical, c.logical);
    EXPECT_EQ(TgtMmu.HitWindow, c.hit);
  }
  // a window above the 1 MiB edge wraps, as the target's address bus does
  UseBankTable();
  TgtMmu.Windows[2].physical = 0xFF000 + 0xE000;
  EXPECT_EQ(tgt_logical_to_physical(0xF234), 0x0E234u);
}

TEST_F(MmuModelTest, AnAddressIsMappedInCommonArea0OrAWindow) {
  // the bank table with its bank area switched off: 4000H..DFFFH map nowhere
  MmuWindowTable holed = {MmuWindow{0, 0, 0x4000}, {}, {0x2E000, 0xE000, 0x2000}, {}, {}};
  const struct {
    const char* what;
    u16 kind;
    bool holed;
    u16 logical;
    bool mapped;
  } cases[] = {
      {"no MMU", kMmuNone, true, 0x8000, true},
      {"common area 0", kMmuBank, false, 0x3FFF, true},
      {"the bank area", kMmuBank, false, 0x4000, true},
      {"common area 1", kMmuBank, false, 0xFFFF, true},
      {"common area 0 before the hole", kMmuBank, true, 0x3FFF, true},
      {"the hole's first byte", kMmuBank, true, 0x4000, false},
      {"the hole's last byte", kMmuBank, true, 0xDFFF, false},
      {"the window after the hole", kMmuBank, true, 0xE000, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    UseBankTable();
    if (c.holed) TgtMmu.Windows = holed;
    Cfg.MmuKind = c.kind;
    const MmuWindowTable before = TgtMmu.Windows;
    EXPECT_EQ(tgt_logical_mapped(c.logical), c.mapped);
    EXPECT_EQ(TgtMmu.Windows, before);
  }
  // no window in use (the table start-up pushes): every address is its own
  Cfg.MmuKind = kMmuWindows;
  TgtMmu.Windows = MmuWindowTable{};
  EXPECT_TRUE(tgt_logical_mapped(0x0000));
  EXPECT_TRUE(tgt_logical_mapped(0xFFFF));
}

TEST_F(MmuModelTest, BankedToLogicalThroughTheBankWindowOrADescriptor) {
  const struct {
    const char* what;
    bool descriptors;
    u16 toolchain;
    u32 banked;
    u32 logical;
    u32 window1_after;  // base of window 1 afterwards
    u16 current;        // CurrentDescriptor afterwards
  } cases[] = {
      {"no descriptors: unchanged", false, 1, 0x14000, 0x14000, 0x14000, 0},
      {"common area 0: unchanged", true, 1, 0x03FFF, 0x03FFF, 0x14000, 0},
      {"the bank window covers it", true, 1, 0x2E123, 0xE123, 0x14000, 0},
      {"descriptor 1 holds it: window 1 takes its base", true, 1, 0x31234, 0x5234, 0x30000, 1},
      {"descriptor 0, already mapped", true, 1, 0x14010, 0x4010, 0x14000, 0},
      {"nothing holds it", true, 1, 0x80000, 0x80000, 0x14000, 0},
      {"no debug information: window 1 by its physical range", true, 16, 0x14020, 0x4020, 0x14000, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    tgt_mmu_reset();
    UseBankTable();
    Sw.ToolchainKind = c.toolchain;
    // descriptor 0 leaves out 14020H.. so that only the window holds it
    if (c.descriptors) {
      ASSERT_TRUE(tgt_add_bank_descriptor(0x14000, 0x4000, 0x20));
      ASSERT_TRUE(tgt_add_bank_descriptor(0x30000, 0x4000, 0xA000));
    }
    EXPECT_EQ(tgt_banked_to_logical(c.banked), c.logical);
    EXPECT_EQ(TgtMmu.Windows[1].physical, c.window1_after);
    EXPECT_EQ(TgtMmu.CurrentDescriptor, c.current);
  }
  // while the target runs: message 125, unchanged
  tgt_mmu_reset();
  UseBankTable();
  ASSERT_TRUE(tgt_add_bank_descriptor(0x30000, 0x4000, 0xA000));
  ::Run.ExecutionState = kExecRunning;
  EXPECT_EQ(tgt_banked_to_logical(0x31234), 0x31234u);
  EXPECT_EQ(Co.PendingError, kMsgTargetRunning + 1);
  EXPECT_EQ(TgtMmu.Windows[1].physical, 0x14000u);
}

TEST_F(MmuModelTest, DescriptorTableIsBounded) {
  for (std::size_t i = 0; i < kBankDescriptorMax; ++i) ASSERT_TRUE(tgt_add_bank_descriptor(u32(i) << 12, 0x4000, 0x1000));
  EXPECT_FALSE(tgt_add_bank_descriptor(0x80000, 0x4000, 0x1000));
  EXPECT_EQ(TgtMmu.DescriptorCount, kBankDescriptorMax);
  tgt_mmu_reset();
  EXPECT_FALSE(tgt_add_bank_descriptor(0x80000, 0x4000, 0));  // an empty bank holds nothing
}

// --- Against a simulated board ------------------------------------------------

// A board whose monitor lies low (LROM1 0000H..1FFFH, the monitor at 1F80H,
// its stack and data below 3000H) so that the bank and common areas can move
// everything from 4000H up. The configuration file and the monitor file of
// each test name the CPU and the BANK MODE it boots with.
class MmuBoardTest : public StartupTest {
 protected:
  void TearDown() override {
    ws_.reset();
    StartupTest::TearDown();
  }

  // bank_mode empty: no BANK MODE line, the monitor file's CPU decides.
  void Boot(u16 mmu_kind, std::string_view bank_mode, u8 cpu, u16 io_base = 0x38) {
    ws_.reset();
    stop_simulated_emulator(sim);
    reset_engine_state();
    StartupBoxes.clear();
    board_.lrom1 = DevRomArea{0x0000, 0x1FFF, 0};
    board_.monitor_code_address = 0x1F80;
    board_.mmu_kind = mmu_kind;
    board_.mmu_io_base = io_base;
    start_simulated_emulator(sim, board_);
    place_program();
    std::string cfg = "PORT ADDRESS 300\r\nROM1 TYPE 2764\r\nLROM1 ADDRESS 0,1FFF,0\r\n";
    if (!bank_mode.empty()) cfg += "BANK MODE " + std::string(bank_mode) + "\r\n";
    cfg += "MONITOR INIT. STACK 3000\r\nSOFT BP(RST?) 38\r\n";
    dir_.write("qqn80.cfg", cfg);
    Bytes monitor = dev_monitor_file(board_);
    monitor[offsetof(MonitorFileHeader, cpu_family)] = cpu;
    dir_.write("MON80.QQN", std::string(monitor.begin(), monitor.end()));
    sim->Clock().UseFixedBudget(400);
    Links.emulator_startup = emu_startup;
    ws_ = std::make_unique<ScriptedWindowSide>();
    ws_->Start();
    ASSERT_TRUE(StartupBoxes.empty()) << StartupBoxes.front();
    ASSERT_EQ(EmuArea.MonitorRunning, 1);
    ::Run.Regs.sp = 0x2F00;
  }
  void BootHd64180Direct(u16 io_base = 0x38) { Boot(kDevMmuBank, "", kCpu64180, io_base); }

  std::string typed(std::string_view line) {
    const std::size_t before = ws_->Transcript().size();
    ws_->Type(line);
    return ws_->Transcript().substr(before);
  }
  DevMmu& mmu() { return sim->Board().Mmu(); }
  // A byte at a physical address, wherever it lives on the board.
  void put_physical(u32 physical, u8 value) {
    if (board_.lrom1.contains(physical))
      sim->Board().EmuWrite(board_.lrom1.offset + physical - board_.lrom1.start, value);
    else
      sim->Board().PokeTarget(physical, value);
  }
  // What the engine's model and the target's CPU make of each logical
  // address: a different byte at each physical address the model names is
  // what both the monitor's read and the CPU's view must find there.
  void ExpectAgreement(std::span<const u16> logical, u32 (*model)(u16)) {
    for (std::size_t i = 0; i < logical.size(); ++i) put_physical(model(logical[i]), u8(0xA0 + i));
    for (std::size_t i = 0; i < logical.size(); ++i) {
      SCOPED_TRACE(testing::Message() << std::hex << logical[i] << " -> " << model(logical[i]));
      EXPECT_EQ(tgt_read_byte(logical[i]), u8(0xA0 + i));
      EXPECT_EQ(sim->Board().PeekLogical(logical[i]), u8(0xA0 + i));
      // and what a user sees with D
      char line[32];
      std::snprintf(line, sizeof line, "\n%04X  %02X ", unsigned(logical[i]), unsigned(0xA0 + i));
      char command[32];
      std::snprintf(command, sizeof command, "DB %X,%X", unsigned(logical[i]), unsigned(logical[i]));
      const std::string shown = ws_->Typed(command);
      EXPECT_NE(shown.find(line), std::string::npos) << shown;
    }
  }

  std::unique_ptr<ScriptedWindowSide> ws_;
};

// The MMU command's display of CBR 20H, BBR 10H and CBAR E4H at I/O base 0.
const std::string kShownE4 =
    "\n Intarnal I/O Address = 0000 (CBR=0038)"
    "\n 64180 MMU    Logical Addr.   Physical Addr.     Base"
    "\nCom. Area 1 = E000H - FFFFH   2E000H - 2FFFFH   20000H"
    "\nBank Area   = 4000H - DFFFH   14000H - 1DFFFH   10000H"
    "\nCom. Area 0 = 0000H - 3FFFH   00000H - 03FFFH   00000H";

TEST_F(MmuBoardTest, MmuShowsTheOnChipRegisters) {
  ASSERT_NO_FATAL_FAILURE(BootHd64180Direct());
  const struct {
    DevMmuBank regs;  // CBR, BBR, CBAR
    const char* shown;
  } cases[] = {
      {{0x20, 0x10, 0xE4}, kShownE4.c_str()},
      {{0x20, 0x10, 0x44},  // BA = CA: no bank area
       "\n Intarnal I/O Address = 0000 (CBR=0038)"
       "\n 64180 MMU    Logical Addr.   Physical Addr.     Base"
       "\nCom. Area 1 = 4000H - FFFFH   24000H - 2FFFFH   20000H"
       "\nBank Area   = No Existence"
       "\nCom. Area 0 = 0000H - 3FFFH   00000H - 03FFFH   00000H"},
      {{0xF8, 0x10, 0xC0},  // BA = 0: no common area 0; the bases wrap at 1 MiB
       "\n Intarnal I/O Address = 0000 (CBR=0038)"
       "\n 64180 MMU    Logical Addr.   Physical Addr.     Base"
       "\nCom. Area 1 = C000H - FFFFH   04000H - 07FFFH   F8000H"
       "\nBank Area   = 0000H - BFFFH   10000H - 1BFFFH   10000H"
       "\nCom. Area 0 = No Existence"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(int(c.regs.cbar));
    mmu().SetBank(c.regs);
    EXPECT_EQ(typed("MMU"), std::string("MMU") + c.shown + "\n>");
    EXPECT_EQ(TgtMmu.Command.ca, (c.regs.cbar & 0xF0) << 8);
    EXPECT_EQ(TgtMmu.Command.ba, (c.regs.cbar & 0x0F) << 12);
  }
}

TEST_F(MmuBoardTest, MmuSetsTheRegistersFromAListOfSettings) {
  ASSERT_NO_FATAL_FAILURE(BootHd64180Direct());
  const struct {
    const char* line;
    DevMmuBank after;
  } cases[] = {
      {"MMU BA=4000 CA=E000 BB=10000 CB=20000", {0x20, 0x10, 0xE4}},
      {"MMU BA=4000,CA=E000,BP=14000,CP=2E000", {0x20, 0x10, 0xE4}},  // where the areas' first bytes go
      {"mmu ca=e000, ,ba=4000 bb=10000 cb=20000", {0x20, 0x10, 0xE4}},
      {"MMU CA=F000 CB=0 BA=8000 BP=0", {0x00, 0xF8, 0xF8}},           // BB = BP - BA wraps at 1 MiB
      {"MMU BA=3000 CA=3000 CP=4000", {0x01, 0x00, 0x33}},             // from the monitor's data end on
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    mmu().SetBank(DevMmuBank{});
    const std::string out = typed(c.line);
    EXPECT_EQ(mmu().Bank(), c.after);
    if (c.after == DevMmuBank{0x20, 0x10, 0xE4}) {
      EXPECT_EQ(out, std::string(c.line) + kShownE4 + "\n>");
    }
  }
}

TEST_F(MmuBoardTest, ABadSettingLeavesTheRegistersAlone) {
  ASSERT_NO_FATAL_FAILURE(BootHd64180Direct());
  const DevMmuBank before{0x05, 0x06, 0xF8};
  const struct {
    const char* line;
    const std::string& message;
  } cases[] = {
      {"MMU BA=4800", kMsg1},                               // not a whole 4 KiB page
      {"MMU BB=10800", kMsg1},
      {"MMU CA=10000", kMsg1},                              // beyond the logical space
      {"MMU CB=100000", kMsg1},                             // beyond the physical space
      {"MMU XA=4000", kMsg1},                               // no such setting
      {"MMU BA=", kMsg1},                                   // no value
      {"MMU BA=4000 CA=E000 BB=10000 CB=20000 BA=4800", kMsg1},  // the last one spoils the line
      {"MMU BA=E000 CA=4000", kMsg1},                       // CA below BA
      {"MMU BA=0 CA=2000 BB=0 CB=10000", kMsg117},          // common area 1 starts below the monitor's data end
      {"MMU BA=0 CA=2000 BB=0 CP=3000", kMsg117},
      {"MMU BA=1000 CA=E000 BB=10000", kMsg117},            // so does the bank area
      {"MMU BA=2000 CA=8000 BP=12000", kMsg117},
      {"MMU PUSH X", kMsg1},
      {"MMU IO=41", kMsg0},                                 // not a step of 40H
      {"MMU IO=100", kMsg0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    mmu().SetBank(before);
    EXPECT_EQ(typed(c.line), c.line + c.message + "\n>");
    EXPECT_EQ(mmu().Bank(), before);
    EXPECT_EQ(TgtMmu.IoBase, 0);
    EXPECT_EQ(TgtMmu.PushedValid, 0);
  }
  // an area whose base stays 0 may start anywhere
  typed("MMU BA=1000 CA=F000 BB=0 CB=0");
  EXPECT_EQ(mmu().Bank(), (DevMmuBank{0x00, 0x00, 0xF1}));
}

TEST_F(MmuBoardTest, PushKeepsTheRegistersAndPopPutsThemBack) {
  ASSERT_NO_FATAL_FAILURE(BootHd64180Direct());
  const DevMmuBank kept{0x20, 0x10, 0xE4};
  mmu().SetBank(kept);
  // nothing kept yet: the not-exist line, and the registers stay
  EXPECT_EQ(typed("MMU POP"), "MMU POP\nNot Exist MMU Satus !\n>");
  EXPECT_EQ(mmu().Bank(), kept);

  EXPECT_EQ(typed("MMU PUSH"), "MMU PUSH" + kShownE4 + "\n Push MMU Status !\n>");
  typed("MMU BA=8000 CA=F000 BB=30000 CB=40000");
  EXPECT_EQ(mmu().Bank(), (DevMmuBank{0x40, 0x30, 0xF8}));
  EXPECT_EQ(typed("MMU POP"), "MMU POP" + kShownE4 + "\n Pop MMU Status !\n>");
  EXPECT_EQ(mmu().Bank(), kept);
}

TEST_F(MmuBoardTest, IoBaseMovesThePortsInStepsOf40H) {
  // the board's registers answer at 78H..7AH: internal I/O base 40H
  ASSERT_NO_FATAL_FAILURE(BootHd64180Direct(0x78));
  mmu().SetBank({0x20, 0x10, 0xE4});
  EXPECT_EQ(typed("MMU IO=40"), "MMU IO=40\n>");
  EXPECT_EQ(TgtMmu.IoBase, 0x40);
  std::string shown = kShownE4;
  shown.replace(shown.find("0000 (CBR=0038)"), 15, "0040 (CBR=0078)");
  EXPECT_EQ(typed("MMU"), "MMU" + shown + "\n>");
  typed("MMU CA=F000 CB=30000");
  EXPECT_EQ(mmu().Bank(), (DevMmuBank{0x30, 0x10, 0xF4}));
}

TEST_F(MmuBoardTest, MmuRefusesOtherProcessorsAndListsMonitorManagedWindows) {
  ASSERT_NO_FATAL_FAILURE(Boot(kDevMmuBank, "", kCpuZ80));
  EXPECT_EQ(typed("MMU"), "MMU" + kMsg34 + "\n>");

  ASSERT_NO_FATAL_FAILURE(Boot(kDevMmuBank, "64180R", kCpu64180));
  mmu().SetBank({0x20, 0x10, 0xE4});
  tgt_mmu_after_stop();
  EXPECT_EQ(typed("MMU"),
            "MMU\n\t Addr.  Physical  Size"
            "\nArea 2 = E000H(0002E000H) 2000H( 8192)"
            "\nArea 1 = 4000H(00014000H) A000H(40960)"
            "\nArea 0 = 0000H(00000000H) 4000H(16384)\n>");
  EXPECT_EQ(typed("MMU PUSH"), "MMU PUSH" + kMsg1 + "\n>");  // the monitor owns the MMU
  char text[64];
  EXPECT_EQ(std::string(text, tgt_mmu_window_text(1, text)), " MMU1 : 4000H(00014000H) Size A000H(40960)");
  EXPECT_EQ(tgt_mmu_window_text(5, text), 0u);
}

TEST_F(MmuBoardTest, SyscTakesOnlyAMappedEntry) {
  ASSERT_NO_FATAL_FAILURE(Boot(kDevMmuBank, "64180R", kCpu64180));
  mmu().SetBank({0x20, 0x10, 0xE4});
  tgt_mmu_after_stop();
  const MmuWindowTable mapped = TgtMmu.Windows;
  // the same map with the bank area switched off in the model: 4000H..DFFFH
  // map nowhere
  MmuWindowTable holed = mapped;
  holed[1].size = 0;
  const struct {
    const char* line;
    bool hole;
    u16 profiler;
    const std::string* message;  // nullptr: taken
    u32 entry;                   // physical
  } cases[] = {
      {"SYSC 200", false, 0, nullptr, 0x00200},   // common area 0
      {"SYSC 5000", false, 0, nullptr, 0x15000},  // the bank area
      {"SYSC E100", false, 0, nullptr, 0x2E100},  // common area 1
      {"SYSC 5000", true, 0, &kMsg0, 0},          // not mapped
      {"SYSC DFFF", true, 0, &kMsg0, 0},
      {"SYSC E100", true, 0, nullptr, 0x2E100},
      {"SYSC 3FFF", true, 0, nullptr, 0x03FFF},
      {"SYSC 10000", false, 0, &kMsg0, 0},        // beyond the logical space
      {"SYSC XYZ", false, 0, &kMsg0, 0},          // unreadable
      {"SYSC 200", false, 1, &kMsg34, 0},         // the profiler is on
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.line << (c.hole ? " over the hole" : ""));
    RunCtl.SysCallEntry = 0;
    EmuCtl.ProfilerRunning = c.profiler;
    TgtMmu.Windows = c.hole ? holed : mapped;
    if (c.message == nullptr) put_physical(c.entry, 0x00);
    EXPECT_EQ(typed(c.line), std::string(c.line) + (c.message ? *c.message : "") + "\n>");
    EXPECT_EQ(RunCtl.SysCallEntry, c.entry);
    // the break stands at the entry, where the target's CPU finds it
    if (c.message == nullptr) {
      EXPECT_EQ(sim->Board().PeekTarget(c.entry), Cfg.BreakOpcode);
    }
  }
  EmuCtl.ProfilerRunning = 0;
}

// A program that sets the MMU with OUT (n),A, one register after another,
// and stops on the NOP behind; another NOP for a second run.
struct PortValue {
  u8 port;
  u8 value;
};
Bytes out_program(const std::vector<PortValue>& writes) {
  Bytes code;
  for (const PortValue& w : writes) code.insert(code.end(), {0x3E, w.value, 0xD3, w.port});  // LD A,v; OUT (n),A
  code.insert(code.end(), {0x00, 0x00, 0x18, 0xFE});
  return code;
}

u32 model(u16 logical) { return tgt_logical_to_physical(logical); }

TEST_F(MmuBoardTest, StopReadsTheMmuBackAndTheModelAgreesWithTheCpu) {
  const struct {
    const char* what;
    u16 kind;
    const char* bank_mode;
    u8 cpu;
    std::vector<PortValue> writes;
    MmuWindowTable windows;
    u16 bank_window;
    u16 bank_base;
    std::vector<u16> logical;
  } cases[] = {
      {"HD64180 CBR 20H BBR 10H CBAR E4H", kDevMmuBank, "64180R", kCpu64180,
       {{0x3A, 0xE4}, {0x39, 0x10}, {0x38, 0x20}},  // CBAR first: the code below 4000H stays put
       {MmuWindow{0, 0, 0x4000}, {0x14000, 0x4000, 0xA000}, {0x2E000, 0xE000, 0x2000}, {}, {}}, 2, 0xE000,
       {0x0100, 0x3FFF, 0x4000, 0x8123, 0xDFFF, 0xE000, 0xFFFF}},
      // window 1 off; 2 at 4000H + 21400H; 3 at A000H + 30800H; 4 at F000H +
      // F0C00H, which wraps past 1 MiB into LROM1; byte 7 is not window 4's
      {"four windows", kDevMmuWindows, "KC80", kCpuKc80,
       {{0x38, 63}, {0x39, 0}, {0x3A, 0x4F}, {0x3B, 0x21}, {0x3C, 0xA7}, {0x3D, 0x30}, {0x3E, 0xFB}, {0x3F, 0x00}},
       {MmuWindow{0, 0, 0x4000}, {0, 0, 0}, {0x25400, 0x4000, 0x6000}, {0x3A800, 0xA000, 0x5000}, {0xFFC00, 0xF000, 0x1000}},
       4, 0xF000, {0x0100, 0x3FFF, 0x4000, 0x9FFF, 0xA000, 0xEFFF, 0xF000, 0xF3FF, 0xF400, 0xFFFF}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ASSERT_NO_FATAL_FAILURE(Boot(c.kind, c.bank_mode, c.cpu));
    tgt_write_block(out_program(c.writes), 0x0100);
    const u16 stop = u16(0x0100 + 4 * c.writes.size());
    char go[32];
    sup_sprintf(go, "G =100,%X", stop);
    typed(go);
    ASSERT_EQ(::Run.Regs.pc, stop);
    EXPECT_EQ(TgtMmu.Windows, c.windows);
    EXPECT_EQ(TgtMmu.StopCopy, c.windows);
    EXPECT_EQ(TgtMmu.BankWindow, c.bank_window);
    EXPECT_EQ(TgtMmu.BankBase, c.bank_base);
    ExpectAgreement(c.logical, model);

    // A map changed since the stop goes back onto the target before the next
    // run: the stop after it reads the same registers again.
    TgtMmu.Windows[2].physical += 0x3000;
    ASSERT_TRUE(tgt_push_windows());
    ASSERT_EQ(mmu().Translate(c.windows[2].start), c.windows[2].physical + 0x3000);
    sup_sprintf(go, "G =%X,%X", stop, stop + 1);
    typed(go);
    ASSERT_EQ(::Run.Regs.pc, stop + 1);
    EXPECT_EQ(TgtMmu.RunCopy, c.windows);
    EXPECT_EQ(TgtMmu.Windows, c.windows);
  }
}

TEST_F(MmuBoardTest, SettingsOfTheMmuCommandAgreeWithTheCpu) {
  ASSERT_NO_FATAL_FAILURE(BootHd64180Direct());
  typed("MMU BA=5000 CA=C000 BB=31000 CB=8F000");
  ASSERT_EQ(mmu().Bank(), (DevMmuBank{0x8F, 0x31, 0xC5}));
  // the record the command read back, as the mapping it describes
  const auto by_record = [](u16 logical) -> u32 {
    const MmuCommandRecord& r = TgtMmu.Command;
    if (logical >= r.ca) return (r.common_base + logical) & kMmuPhysicalMask;
    if (logical >= r.ba) return (r.bank_base + logical) & kMmuPhysicalMask;
    return logical;
  };
  const u16 logical[] = {0x0100, 0x4FFF, 0x5000, 0x9ABC, 0xBFFF, 0xC000, 0xFFFF};
  ExpectAgreement(logical, by_record);
  EXPECT_EQ(by_record(0xC000), 0x9B000u);
}

TEST_F(MmuBoardTest, FourWindowRefreshAndPushRoundTrip) {
  ASSERT_NO_FATAL_FAILURE(Boot(kDevMmuWindows, "KC80", kCpuKc80));
  // window 1 at 0800H; window 2 off with displacement bits left in it; window
  // 3 at C000H, hidden by window 4 at 8000H below it
  const DevMmuWindows bytes = {0x41, 0x05, 0xFF, 0x33, 0xAF, 0x12, 0x1F, 0xF0};
  mmu().SetWindows(bytes);
  tgt_refresh_windows();
  const MmuWindowTable read = {MmuWindow{0, 0, 0x0800}, {0x5C00, 0x0800, 0x7800}, {0x33C00, 0, 0},
                               {0x1E800, 0xC000, 0}, {0xF8000, 0x8000, 0x8000}};
  EXPECT_EQ(TgtMmu.Windows, read);
  mmu().SetWindows(kDevMmuWindowsReset);
  ASSERT_TRUE(tgt_push_windows());
  EXPECT_EQ(mmu().Windows(), bytes);
  // the same for the HD64180's registers
  ASSERT_NO_FATAL_FAILURE(Boot(kDevMmuBank, "64180R", kCpu64180));
  mmu().SetBank({0x8F, 0x31, 0xC5});
  tgt_refresh_windows();
  mmu().SetBank({});
  ASSERT_TRUE(tgt_push_windows());
  EXPECT_EQ(mmu().Bank(), (DevMmuBank{0x8F, 0x31, 0xC5}));
}

TEST_F(MmuBoardTest, BankedAccessMapsTheBankWindowForTheAccessOnly) {
  ASSERT_NO_FATAL_FAILURE(Boot(kDevMmuBank, "64180R", kCpu64180));
  // start-up left the target with the empty table: every address is its own
  EXPECT_EQ(mmu().Bank(), (DevMmuBank{0x00, 0x00, 0x00}));
  const DevMmuBank at_stop{0x20, 0x10, 0xE4};
  mmu().SetBank(at_stop);
  tgt_mmu_after_stop();
  const MmuWindowTable windows = TgtMmu.Windows;
  ASSERT_EQ(TgtMmu.BankBase, 0xE000);

  sim->Board().PokeTarget(0x5A123, 0x3C);
  sim->Board().PokeTarget(0x5A124, 0x4D);
  EXPECT_EQ(tgt_read_byte_banked(0x5A123), 0x3C);
  EXPECT_EQ(tgt_read_word_banked(0x5A123), 0x4D3C);
  tgt_write_byte_banked(0x7FFFF, 0x99);
  EXPECT_EQ(sim->Board().PeekTarget(0x7FFFF), 0x99);
  // the map is back, on the target and in the model
  EXPECT_EQ(mmu().Bank(), at_stop);
  EXPECT_EQ(TgtMmu.Windows, windows);
  EXPECT_EQ(TgtMmu.BankMapSaved, 0);
  EXPECT_EQ(TgtMmu.DescriptorCount, 0);

  // without memory management a banked address is its low 16 bits
  ASSERT_NO_FATAL_FAILURE(BootHd64180Direct());
  tgt_write_byte(0x2123, 0x77);
  EXPECT_EQ(tgt_read_byte_banked(0x52123), 0x77);
}

}  // namespace
