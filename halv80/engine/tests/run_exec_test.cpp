// Running and stepping a program on the simulated target: the go and stop
// exchange with the monitor, the instruction step engine with its length
// decoder, step over calls and support routines, system calls, the free run
// with its stop checks, and a memory access to a running target.
#include "halv80/engine/run_exec.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "halv80/engine/brk_table.h"
#include "halv80/engine/cfg_config.h"
#include "halv80/engine/cmd_core.h"
#include "halv80/engine/cmd_switches.h"
#include "halv80/engine/emu_control.h"
#include "halv80/engine/emu_startup.h"
#include "halv80/engine/lst_listing.h"
#include "halv80/engine/run_control.h"
#include "halv80/engine/run_state.h"
#include "halv80/engine/testing/scripted_window_side.h"
#include "halv80/engine/sup_host.h"
#include "halv80/engine/tgt_memory.h"
#include "halv80/engine/tests/startup_fixture.h"
#include "halv80/symbols/sym_modules.h"
#include "halv80/symbols/sym_source.h"
#include "halv80/symbols/sym_store.h"
#include "halv80/symbols/sym_symbols.h"
#include "platform/device/dev_driver.h"
#include "platform/device/dev_layout.h"

namespace {

using Bytes = std::vector<u8>;

// A booted target with a program of ours in emulation ROM from 0x0100 on, and
// its stack in target RAM.
class RunTest : public StartupTest {
 protected:
  void SetUp() override {
    StartupTest::SetUp();
    ASSERT_EQ(emu_startup_sequence(0), 0);
    ::Run.Regs.sp = 0x9000;
    // the target runs a fixed number of T-states per device call: the tick
    // clock stands still in tests
    sim->Clock().UseFixedBudget(kTStatesPerCall);
  }
  static constexpr u64 kTStatesPerCall = 400;
  void load(u16 address, const Bytes& code) { tgt_write_block(code, address); }
  RegisterImage& regs() { return ::Run.Regs; }
};

TEST_F(RunTest, LengthDecoder) {
  const struct {
    Bytes code;
    u16 length;
    bool transfer;
  } cases[] = {
      {{0x00}, 1, false},             {{0x01, 0x34, 0x12}, 3, false}, {{0x18, 0xFE}, 2, true},
      {{0x10, 0xFE}, 2, true},        {{0x08}, 1, false},             {{0x36, 0x05}, 2, false},
      {{0x78}, 1, false},             {{0xC3, 0, 0}, 3, true},        {{0xC9}, 1, true},
      {{0xCD, 0, 0}, 3, true},        {{0xCB, 0x47}, 2, false},       {{0xD9}, 1, false},
      {{0xED, 0x4D}, 2, true},        {{0xED, 0x43, 0, 0}, 4, false}, {{0xED, 0x00, 0x10}, 3, false},
      {{0xED, 0x64, 0x0F}, 3, false}, {{0xDD, 0x21, 0, 0}, 4, false}, {{0xDD, 0x36, 1, 2}, 4, false},
      {{0xDD, 0x70, 1}, 3, false},    {{0xDD, 0x46, 1}, 3, false},    {{0xDD, 0xCB, 1, 0x46}, 4, false},
      {{0xFD, 0xE9}, 2, true},        {{0xDD, 0x09}, 2, false},       {{0xFF}, 1, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.code));
    const InstructionShape s = run_instruction_shape(c.code);
    EXPECT_EQ(s.length, c.length);
    EXPECT_EQ(s.transfer, c.transfer);
  }
  // the 8080/8085 family: no relative jumps, and the Z80's prefixes are twins of JP, RET and CALL
  Cfg.CpuType = kCpu8080;
  EXPECT_EQ(run_instruction_shape(Bytes{0x18}).length, 1);
  EXPECT_EQ(run_instruction_shape(Bytes{0xDD}).length, 3);
  EXPECT_TRUE(run_instruction_shape(Bytes{0xD9}).transfer);
}

TEST_F(RunTest, StepsThroughAProgram) {
  load(0x0100, {0x3E, 0x05,         // LD A,5
                0x3C,               // INC A
                0xCD, 0x30, 0x01,   // CALL 0130
                0x00,               // NOP
                0x18, 0xFE});       // JR $
  load(0x0130, {0x04, 0xC9});       // INC B; RET
  regs().pc = 0x0100;
  regs().bc = 0;
  EXPECT_EQ(run_step_instruction(false, false), 0);
  EXPECT_EQ(regs().pc, 0x0102);
  EXPECT_EQ(regs().af >> 8, 5);
  run_step_instruction(false, false);
  EXPECT_EQ(regs().af >> 8, 6);
  // into the call
  run_step_instruction(false, false);
  EXPECT_EQ(regs().pc, 0x0130);
  EXPECT_EQ(regs().sp, 0x8FFE);
  EXPECT_EQ(RunExec.CallDepth, 1);
  run_step_instruction(false, false);
  run_step_instruction(false, false);  // RET
  EXPECT_EQ(regs().pc, 0x0106);
  EXPECT_EQ(regs().sp, 0x9000);
  EXPECT_EQ(RunExec.Returned, 1);
  // over it
  regs().pc = 0x0103;
  run_step_instruction(true, false);
  EXPECT_EQ(regs().pc, 0x0106);
  EXPECT_EQ(regs().bc, 0x0200);
  // the step's break is gone from the program
  EXPECT_EQ(tgt_read_byte(0x0106), 0x00);
  EXPECT_EQ(tgt_read_byte(0x0130), 0x04);
  EXPECT_EQ(::Run.ExecutionState, kExecStopped);
}

TEST_F(RunTest, DjnzOnItselfAndInterruptSwitches) {
  load(0x0110, {0x10, 0xFE, 0xFB, 0xF3});  // DJNZ $; EI; DI
  regs().pc = 0x0110;
  regs().bc = 0x0300;
  EXPECT_EQ(run_step_instruction(false, false), 0);
  EXPECT_EQ(regs().bc, 0x0200);  // one round, without running
  EXPECT_EQ(regs().pc, 0x0110);
  regs().pc = 0x0112;
  regs().iff = 0;
  run_step_instruction(false, false);
  EXPECT_EQ(regs().pc, 0x0113);
  EXPECT_EQ(regs().iff & kIffZ80Enable, kIffZ80Enable);
  run_step_instruction(false, false);
  EXPECT_EQ(regs().iff & kIffZ80Enable, 0);
}

TEST_F(RunTest, StepOverSupportRoutinesSkipsTheirInlineBytes) {
  sym_reset();
  Sw.ToolchainKind = 1;
  // PUSHEI returns 10 bytes past its call
  load(0x0140, {0xE1, 0x11, 0x0A, 0x00, 0x19, 0xE9});  // POP HL; LD DE,10; ADD HL,DE; JP (HL)
  load(0x0150, {0xCD, 0x40, 0x01});
  load(0x0000, {0xC9});  // RET at 0000
  load(0x0160, {0xCD, 0x00, 0x00});
  ASSERT_EQ(sym_add("PUSHEI", 0x0140, 0), 0);
  sym_sort_symbols();
  regs().pc = 0x0150;
  run_step_instruction(true, false);
  EXPECT_EQ(regs().pc, 0x0150 + 3 + 10);
  // a helper no loader found is no helper: CALL 0000 is an ordinary call
  Sw.ToolchainKind = 2;  // ncsv, which no symbol names
  regs().pc = 0x0160;
  run_step_instruction(true, false);
  EXPECT_EQ(regs().pc, 0x0163);
}

TEST_F(RunTest, ABreakUnderThePcCannotBeStepped) {
  load(0x0170, {0xFF});
  regs().pc = 0x0170;
  EXPECT_EQ(run_step_instruction(false, false), 1);
  EXPECT_EQ(regs().pc, 0x0170);
}

TEST_F(RunTest, ReplyTimeoutIsClamped) {
  const struct {
    i32 ms;
    u16 stored;
  } cases[] = {{1000, 1000}, {70000, 65535}, {-1, 65535}, {0, 0}};
  for (const auto& c : cases) {
    emu_set_reply_timeout(c.ms);
    EXPECT_EQ(SupHost.BiosWork->get16<kWorkTickLimit>(), c.stored) << c.ms;
  }
}

// The engine as a user drives it, with the target booted.
class RunCommandsTest : public RunTest {
 protected:
  void SetUp() override {
    RunTest::SetUp();
    ws_ = std::make_unique<ScriptedWindowSide>();
    ws_->Start();
    ::Run.Regs.sp = 0x9000;
  }
  void TearDown() override {
    ws_.reset();
    RunTest::TearDown();
  }
  std::string typed(std::string_view line) {
    return ws_->Typed(line);
  }
  std::unique_ptr<ScriptedWindowSide> ws_;
};

TEST_F(RunCommandsTest, GoToAStopAddress) {
  load(0x0100, {0x3E, 0x05, 0x3C, 0x00, 0x18, 0xFE});
  // a source file shown before the run is not held open through it
  dir_.write("MAIN.C", "x\ny\n");
  SymSource.OutputMode = kSourceToText;
  ASSERT_EQ(sym_show_source_line("MAIN.C", 1), 1);
  ASSERT_NE(SymSource.Handle, -1);
  const std::string out = typed("G =100,103");
  EXPECT_EQ(SymSource.Handle, -1);
  EXPECT_EQ(regs().pc, 0x0103);
  EXPECT_EQ(regs().af >> 8, 6);
  EXPECT_EQ(::Run.ExecutionState, kExecStopped);
  EXPECT_EQ(tgt_read_byte(0x0103), 0x00);  // the temporary break is gone
  EXPECT_EQ(Brk.UsedCount, 0);
  EXPECT_NE(out.find("Real Time Count = "), std::string::npos) << out;
  // T and P from there
  typed("T");
  EXPECT_EQ(regs().pc, 0x0104);
}

TEST_F(RunCommandsTest, AddressesBeyond64KiBAreRefusedNotCut) {
  load(0x0000, {0x00});
  regs().pc = 0x0100;
  for (const char* go : {"G =10000", "G =100,10103", "G 1FFFF,/W"}) {
    SCOPED_TRACE(go);
    EXPECT_EQ(typed(go), std::string(go) + "\n" + sjis("\n アドレス指定が誤りです") + "\n>");
    EXPECT_EQ(::Run.ExecutionState, kExecStopped);
    EXPECT_EQ(regs().pc, 0x0100);
    EXPECT_EQ(Brk.UsedCount, 0);
  }
}

TEST_F(RunCommandsTest, SystemCallsPrintAndRunOn) {
  load(0x0180, {0x06, 0xFE,        // LD B,FE
                0x0E, 0x00,        // LD C,0
                0x3E, 'H',         // LD A,'H'
                0xCD, 0x00, 0x02,  // CALL 0200
                0x3E, 'i',         // LD A,'i'
                0xCD, 0x00, 0x02,  // CALL 0200
                0x00, 0x18, 0xFE});
  load(0x0200, {0x00, 0xC9});  // the entry: a byte for the break, then RET
  typed("SYSC 200");
  EXPECT_EQ(typed("SYSC"), "SYSC\nSYSTEM CALL = ON Entry Point=0200\n>");
  const std::string out = typed("G =180,18E");
  EXPECT_NE(out.find("Hi"), std::string::npos) << out;
  EXPECT_EQ(regs().pc, 0x018E);
  typed("SYSC OFF");
  EXPECT_EQ(typed("SYSC"), "SYSC\nSYSTEM CALL = OFF\n>");
}

TEST_F(RunCommandsTest, FreeRunStopsWithEscAndMemoryWritesPauseIt) {
  load(0x0100, {0x18, 0xFE});  // JR $
  typed("G =100");
  EXPECT_EQ(::Run.ExecutionState, kExecRunning);
  // a write to the running target pauses it, writes and lets it run on
  tgt_write_byte(0x9100, 0x77);
  EXPECT_EQ(::Run.ExecutionState, kExecRunning);
  EXPECT_EQ(tgt_read_byte(0x9100), 0xFF);  // the window side does not read a running target
  // T is refused while it runs
  EXPECT_NE(typed("T").find(sjis("ターゲット実行中は使用できません")), std::string::npos);
  typed("ESC");
  ws_->Type("");  // the next key wait finds the stop
  EXPECT_EQ(::Run.ExecutionState, kExecStopped);
  EXPECT_TRUE(regs().pc == 0x0100 || regs().pc == 0x0101) << regs().pc;
  EXPECT_EQ(tgt_read_byte(0x9100), 0x77);
}

}  // namespace

namespace {

// A loop that counts its rounds in A: 0100 INC A; NOP; NOP; 0103 NOP; JR 0100.
const Bytes kCountingLoop = {0x3C, 0x00, 0x00, 0x00, 0x18, 0xFA};

// A driver in front of the simulated one that makes register 55 (the trace
// unit's status, which this board reads as 0) read as the test says, and
// counts the reads.
struct TraceStatusDriver : DeviceDriver {
  DeviceDriver* inner = nullptr;
  u8 status = 0;
  std::size_t reads = 0;
  bool IoControl(u32 code, u8* block, std::size_t in_length, std::size_t out_length, u32& returned,
                 u32& error) override {
    const bool read55 =
        code == bios_ioctl_code(u32(BiosRequest::ReadRegister)) && block[kArgInputs] == 55;
    const bool ok = inner->IoControl(code, block, in_length, out_length, returned, error);
    if (ok && read55) {
      ++reads;
      for (std::size_t i = 0; i < 4; ++i) block[kArgResult + i] = i == 0 ? status : 0;
    }
    return ok;
  }
};

// The same in front of the card's ports: a read of the data port while
// register 55 is selected. The library skips a selection it has already
// made, so the test starts `selected` from the library's own record.
struct TraceStatusPorts : DevicePorts {
  DevicePorts* inner = nullptr;
  u8 status = 0;
  std::size_t reads = 0;
  u8 selected = 0xFF;
  u8 In8(u16 port) override {
    const u8 v = inner->In8(port);
    if (port != kSimulatedCardPort + 3 || selected != 55) return v;
    ++reads;
    return status;
  }
  u16 In16(u16 port) override { return inner->In16(port); }
  void Out8(u16 port, u8 value) override {
    if (port == kSimulatedCardPort + 2) selected = value;
    inner->Out8(port, value);
  }
  void Out16(u16 port, u16 value) override {
    if (port == kSimulatedCardPort + 2) selected = u8(value);  // register, then its value
    inner->Out16(port, value);
  }
  void Out32(u16 port, u32 value) override { inner->Out32(port, value); }
};

TEST_F(RunCommandsTest, StopCheckAsksForARunStatusRedraw) {
  const struct {
    const char* what;
    bool runs;
    u16 no_monitor;
    u16 mode;           // RunCtl.RunStatusMode
    u8 status;          // register 55
    u32 since_reset;    // ms
    bool refresh;       // kRefreshRunStatus set
    std::size_t reads;  // of register 55
  } cases[] = {
      {"stopped", false, 0, 1, 0x00, 100, true, 0},
      {"stopped, not watching", false, 0, 0, 0x00, 100, true, 0},
      {"stopped, no monitor, quiet just after a reset", false, 1, 1, 0x7F, 4999, false, 1},
      {"stopped, no monitor, reporting just after a reset", false, 1, 1, 0x80, 100, true, 1},
      {"stopped, no monitor, quiet 5 s after a reset", false, 1, 1, 0x00, 5000, true, 0},
      {"stopped, no monitor, not watching", false, 1, 2, 0x00, 100, true, 0},
      {"running, reporting", true, 0, 1, 0x80, 0, true, 1},
      {"running, quiet", true, 0, 1, 0x7F, 0, false, 1},
      {"running, reporting, not watching", true, 0, 0, 0xFF, 0, false, 0},
      {"running without a monitor, reporting", true, 1, 1, 0xFF, 0, true, 1},
  };
  load(0x0100, {0x18, 0xFE});  // JR $
  TraceStatusDriver driver;
  driver.inner = sim.get();
  TraceStatusPorts ports;
  ports.inner = DevSys.ports;
  struct Restore {
    SimulatedDriver* sim;
    DevicePorts* ports;
    ~Restore() {
      DevSys.driver = sim;
      DevSys.ports = ports;
    }
  } restore{sim.get(), DevSys.ports};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Sw.NoMonitorMode = 0;
    DevSys.driver = sim.get();
    DevSys.ports = ports.inner;
    if (c.runs && ::Run.ExecutionState != kExecRunning) typed("G =100");
    if (!c.runs && ::Run.ExecutionState == kExecRunning) {
      typed("ESC");
      ws_->Type("");
    }
    ASSERT_EQ(::Run.ExecutionState, c.runs ? kExecRunning : kExecStopped);
    Sw.NoMonitorMode = c.no_monitor;
    RunCtl.RunStatusMode = c.mode;
    ::Run.ResetTick = sup_tick_count() - c.since_reset;
    ::Run.DisplayRefresh = 0;
    driver.status = ports.status = c.status;
    driver.reads = ports.reads = 0;
    // the library's road: the driver, or the card's ports
    if (ports.inner != nullptr) {
      ports.selected = SupHost.BiosWork->get8<kWorkRegister>();
      DevSys.ports = &ports;
    } else {
      DevSys.driver = &driver;
    }
    EXPECT_EQ(emu_check_stopped(), c.runs ? 0 : 1);
    EXPECT_EQ(::Run.DisplayRefresh, c.refresh ? kRefreshRunStatus : 0);
    EXPECT_EQ(driver.reads + ports.reads, c.reads);
  }
  DevSys.driver = sim.get();
  DevSys.ports = ports.inner;
  Sw.NoMonitorMode = 0;
  typed("ESC");
  ws_->Type("");
}

TEST_F(RunCommandsTest, PassCountStopsOnTheNthPassAndIsReloaded) {
  load(0x0100, kCountingLoop);
  for (const char* go : {"G =100,/W", "G =100"}) {
    SCOPED_TRACE(go);
    typed("BP 103,3");
    regs().af = 0;
    typed(go);
    await_stop(*ws_);
    EXPECT_EQ(regs().pc, 0x0103);
    EXPECT_EQ(regs().af >> 8, 3);
    EXPECT_EQ(Brk.Slots[0].pass_count, 3);  // ready for the next three passes
    EXPECT_EQ(RunExec.BreakHit, 1);
    EXPECT_EQ(tgt_read_byte(0x0103), 0x00);  // every break taken out again
    typed("BC *");
  }
}

TEST_F(RunCommandsTest, GoesStopAddressLeavesTheUsersBreakpointAlone) {
  load(0x0100, kCountingLoop);
  typed("BP 103,,MEMO");
  typed("G =100,103");
  EXPECT_EQ(regs().pc, 0x0103);
  EXPECT_EQ(Brk.UsedCount, 1);
  EXPECT_EQ(Brk.Slots[0].address, 0x0103u);
  EXPECT_EQ(Brk.Slots[0].state, kBreakEnabled);
  EXPECT_NE(Brk.Slots[0].command, 0u);
  // with every slot in use G says so and runs nothing
  for (u16 i = 1; i < kBreakSlots; ++i) {
    char line[16];
    std::snprintf(line, sizeof line, "BP %X", 0x4000 + i);
    typed(line);
  }
  ASSERT_EQ(Brk.UsedCount, kBreakSlots);
  regs().pc = 0x0100;
  const std::string out = typed("G 102");
  EXPECT_NE(out.find(sjis("ブレーク ポイントが設定できません")), std::string::npos) << out;
  EXPECT_EQ(regs().pc, 0x0100);
  EXPECT_EQ(Brk.UsedCount, kBreakSlots);
}

TEST_F(RunCommandsTest, StepFromABreakpointAndOntoOne) {
  load(0x0100, kCountingLoop);
  typed("BP 102");
  regs().pc = 0x0100;
  typed("T");
  typed("T");
  EXPECT_EQ(regs().pc, 0x0102);
  EXPECT_EQ(RunExec.BreakHit, 1);  // the step landed on the breakpoint
  typed("T");                      // and steps off it again
  EXPECT_EQ(regs().pc, 0x0103);
  EXPECT_EQ(tgt_read_byte(0x0102), 0x00);
}

}  // namespace

namespace {

TEST_F(RunCommandsTest, An8080TargetExchangesOnlyTheMainRegisters) {
  load(0x0100, kCountingLoop);
  Cfg.CpuType = kCpu8080;
  regs().af2 = 0x1234;
  regs().ix = 0x5678;
  regs().iff = 0x08;  // interrupts enabled
  typed("G =100,103");
  EXPECT_EQ(regs().pc, 0x0103);
  // neither sent nor read back
  EXPECT_NE(sim->Target().Monitor().Registers().af_alt, 0x1234);
  EXPECT_NE(sim->Target().Monitor().Registers().ix, 0x5678);
  EXPECT_EQ(regs().af2, 0x1234);
  EXPECT_EQ(regs().ix, 0x5678);
  EXPECT_EQ(regs().iff & kIff8080Enable, kIff8080Enable);
}

// Start-up measures what a go and stop add to the run-time counter (the
// break instruction, RST 38H, and the jump at 38H into the monitor), and a
// run's count leaves it out: what remains is the program's own T-states at
// 8 MHz, in whole microseconds.
TEST_F(RunCommandsTest, RealTimeCountIsTheProgramsOwnTime) {
  const std::string rtc = "RTC" + sjis("\n リアル タイム カウント ＝") + " ON\nReal Time Count = ";
  EXPECT_NE(EmuCtl.RunOverhead, 0u);
  // nothing of the measurement is left counted
  EXPECT_EQ(EmuCtl.RunCounter, 0);
  EXPECT_EQ(typed("RTC"), rtc + "0,000s000m000u\n>");
  const struct {
    const char* what;
    Bytes code;          // at 8100H in target RAM; G stops behind it
    const char* go;      // the suffix of the G
    const char* count;   // T-states / 8 MHz
  } cases[] = {
      // the first run after start-up keeps counting from what start-up left
      {"LD B,10; DJNZ $; NOP: 7 + 9 x 13 + 8 + 4 = 136 T", {0x06, 0x0A, 0x10, 0xFE, 0x00}, ",/C", "0,000s000m017u"},
      {"four NOPs: 16 T", {0x00, 0x00, 0x00, 0x00}, "", "0,000s000m002u"},
      {"LD B,10; DJNZ $; NOP: 136 T", {0x06, 0x0A, 0x10, 0xFE, 0x00}, "", "0,000s000m017u"},
      {"LD B,0; DJNZ $; INC BC: 7 + 255 x 13 + 8 + 6 = 3336 T", {0x06, 0x00, 0x10, 0xFE, 0x03}, "",
       "0,000s000m417u"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Bytes code = c.code;
    code.push_back(0x00);  // where the G stops
    load(0x8100, code);
    char go[32];
    std::snprintf(go, sizeof go, "G =8100,%X%s", 0x8100 + unsigned(c.code.size()), c.go);
    const std::string out = typed(go);
    EXPECT_EQ(regs().pc, 0x8100 + c.code.size());
    EXPECT_NE(out.find(std::string("Real Time Count = ") + c.count + "\n"), std::string::npos) << out;
    // RTC shows the same count until the next run
    EXPECT_EQ(typed("RTC"), rtc + c.count + "\n>");
  }
}

TEST_F(RunCommandsTest, RealTimeCountSwitch) {
  EXPECT_EQ(typed("RTC OFF"), "RTC OFF\n>");
  EXPECT_NE(typed("RTC").find(sjis("リアル タイム カウント ＝") + " OFF"), std::string::npos);
  load(0x0100, kCountingLoop);
  EXPECT_EQ(typed("G =100,103").find("Real Time Count"), std::string::npos);
  typed("RTC ON");
  EXPECT_NE(typed("G =100,103").find("Real Time Count = "), std::string::npos);
}

}  // namespace

namespace {

TEST_F(RunCommandsTest, SourceStepsRunToTheNextLine) {
  // main.c: line 1 at 0100 calls a function whose line 7 is at 0130; line 2 at 0106
  load(0x0100, {0x3C, 0x00, 0x00, 0xCD, 0x30, 0x01, 0x3C, 0x18, 0xFE});
  load(0x0130, {0x04, 0x04, 0xC9});
  sym_reset();
  ASSERT_EQ(sym_begin_module("MAIN.C"), 0);
  ASSERT_EQ(sym_add_line(1, 0x0100), 0);
  ASSERT_EQ(sym_add_line(2, 0x0106), 0);
  ASSERT_EQ(sym_add_line(7, 0x0130), 0);
  ASSERT_EQ(sym_add_line(8, 0x0132), 0);
  ASSERT_EQ(sym_end_module(), 0);
  sym_finish_modules();
  Lst.ListingMode = 2;  // the code pane shows source lines
  regs().pc = 0x0100;
  regs().af = 0;
  typed("P");  // over the call: to line 2
  EXPECT_EQ(regs().pc, 0x0106);
  EXPECT_EQ(regs().bc >> 8, 2);
  regs().pc = 0x0100;
  typed("T");  // into it: line 7
  EXPECT_EQ(regs().pc, 0x0130);
  typed("T");
  EXPECT_EQ(regs().pc, 0x0132);

  // -ST: a step over follows the call; one that jumps back instead of
  // returning still ends at the next line it reaches in the caller
  Sw.StepModeFlag = 0;
  load(0x0130, {0xE1, 0xC3, 0x00, 0x01});  // POP HL; JP 0100
  sym_add("_main", 0x0100, 0);
  sym_add("_sub", 0x0130, 0);
  sym_add("_end", 0x0140, 0);
  sym_sort_symbols();
  regs().pc = 0x0100;
  regs().sp = 0x9000;
  regs().af = 0;
  typed("P");
  EXPECT_EQ(regs().pc, 0x0100);
  EXPECT_EQ(regs().sp, 0x9000);
  EXPECT_EQ(regs().af >> 8, 1);  // one round of line 1
}

}  // namespace

namespace {

// Found by the command-line fuzzer: with no emulator attached, G waited
// forever for a target to start.
class RunWithoutEmulatorTest : public EngineTest {};

TEST_F(RunWithoutEmulatorTest, RunCommandsReturnWithNothingToRun) {
  ScriptedWindowSide ws;
  ws.Start();
  const std::string fuzzed("\0\0\0g", 4);  // the input as the fuzzer found it
  for (const std::string& line : {fuzzed, std::string("G"), std::string("G =100,/W"), std::string("T"),
                                  std::string("P 3"), std::string("G 200")}) {
    SCOPED_TRACE(testing::PrintToString(line));
    ws.Type(line);
    EXPECT_EQ(::Run.ExecutionState, kExecStopped);
  }
}

}  // namespace
