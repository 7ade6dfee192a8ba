// The engine against the simulated board running on its own thread, as the
// console runner and the window program run it: the host's real clock, a
// program that runs on while commands read it, stops found by the idle stop
// checks, long runs that wait for their stop, and ESC. The tests wait on the
// engine's state, pumping as the window side's timer does, never on sleeps.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "halv80/engine/emu_startup.h"
#include "halv80/engine/run_exec.h"
#include "halv80/engine/run_state.h"
#include "halv80/engine/sup_messages.h"
#include "halv80/engine/testing/scripted_window_side.h"
#include "halv80/engine/tests/startup_fixture.h"
#include "halv80/engine/tgt_memory.h"
#include "platform/host/host_clock.h"

namespace {

using Bytes = std::vector<u8>;

class BesideHostTest : public StartupTest {
 protected:
  void SetUp() override {
    StartupTest::SetUp();
    // the engine's waits and keep-alives on the host's clock; the board keeps its own time
    host_clock_use_real();
    sim->StartThread();
    ASSERT_EQ(emu_startup_sequence(0), 0);
    ws_ = std::make_unique<ScriptedWindowSide>();
    ws_->Start();
    ::Run.Regs.sp = 0x9800;
  }
  void TearDown() override {
    ws_.reset();
    StartupTest::TearDown();
  }
  void load(u16 address, const Bytes& code) { tgt_write_block(code, address); }
  // Types a line and lets the command run to its end, as the window side's
  // timer pumps a busy command; returns what it added to the transcript.
  std::string run(std::string_view line) {
    const std::size_t before = ws_->Transcript().size();
    ws_->Type(line);
    ws_->Settle();
    return ws_->Transcript().substr(before);
  }
  // Idle ticks of the window side's timer until `done` or 20 s.
  template <class Done>
  bool idle_until(Done done) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!done()) {
      if (std::chrono::steady_clock::now() > until) return false;
      Co.Key.character = 0;
      ws_->Settle();
    }
    return true;
  }
  // The word DW shows at `address`.
  u16 shown_word(u16 address) {
    char line[16];
    std::snprintf(line, sizeof line, "DW %X,%X", unsigned(address), unsigned(address));
    const std::string out = run(line);
    char head[8];
    std::snprintf(head, sizeof head, "%04X  ", unsigned(address));
    const std::size_t at = out.find(head);
    EXPECT_NE(at, std::string::npos) << out;
    return at == std::string::npos ? 0 : u16(std::strtoul(out.substr(at + 6, 4).c_str(), nullptr, 16));
  }
  bool stopped() const { return ::Run.ExecutionState == kExecStopped; }

  std::unique_ptr<ScriptedWindowSide> ws_;
};

// 9000 LD HL,(A000); INC HL; LD (A000),HL; JR 9000: counts for ever in A000.
const Bytes kCounter = {0x2A, 0x00, 0xA0, 0x23, 0x22, 0x00, 0xA0, 0x18, 0xF7};

TEST_F(BesideHostTest, AFreeRunGoesOnWhileCommandsReadIt) {
  load(0x9000, kCounter);
  run("G =9000");
  ASSERT_EQ(::Run.ExecutionState, kExecRunning);
  // each look pauses the program and lets it run on: the counter moves
  // between looks (a busy host may keep the board's thread from a slice for
  // a while, so a few more looks are allowed, each after a short wait)
  const u16 first = shown_word(0xA000);
  u16 second = shown_word(0xA000);
  for (int look = 0; look < 200 && second == first; ++look) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    second = shown_word(0xA000);
  }
  EXPECT_NE(first, second);
  EXPECT_EQ(::Run.ExecutionState, kExecRunning);
  const std::string registers = run("R");
  EXPECT_NE(registers.find("P=900"), std::string::npos) << registers;
  EXPECT_EQ(::Run.ExecutionState, kExecRunning);
  // no error is reported for a pause that worked
  EXPECT_TRUE(ws_->errors.empty());
  EXPECT_TRUE(ws_->boxes.empty());
  run("ESC");
  EXPECT_TRUE(idle_until([&] { return stopped(); }));
}

TEST_F(BesideHostTest, ABreakpointHitDuringAFreeRunIsFoundByTheIdleCheck) {
  // 9000: wait until A000 is not 0; 9006: the breakpoint; then loop for ever
  load(0x9000, {0x3A, 0x00, 0xA0, 0xB7, 0x28, 0xFA, 0x00, 0x18, 0xFE});
  load(0xA000, {0x00});
  run("BP 9006");
  run("G =9000");
  ASSERT_EQ(::Run.ExecutionState, kExecRunning);  // it waits for the flag
  run("EB A000,1");  // written through a pause: the program goes on and meets the break
  ASSERT_TRUE(idle_until([&] { return stopped(); }));
  EXPECT_EQ(::Run.Regs.pc, 0x9006);
  EXPECT_EQ(RunExec.BreakHit, 1);
  EXPECT_EQ(std::string_view(Sup.MessageLine), sjis("ｿﾌﾄｳｪｱ ﾌﾞﾚｰｸ No.= ") + "1");
  EXPECT_NE(ws_->Transcript().find("Real Time Count"), std::string::npos);
  EXPECT_TRUE(ws_->errors.empty());
}

TEST_F(BesideHostTest, ALongRunWaitsForItsStopWithoutAKey) {
  // 57 rounds of a 65,536-pass loop of 26 T-states, then the break: more
  // than 12 s of the board's 8 MHz
  load(0x9000, {0x06, 57,               // LD B,57
                0x11, 0x00, 0x00,       // 9002 LD DE,0
                0x1B,                   // 9005 DEC DE
                0x7A,                   // LD A,D
                0xB3,                   // OR E
                0x20, 0xFB,             // JR NZ,9005
                0x10, 0xF6,             // DJNZ 9002
                0xFF});                 // 900C RST 38H
  const std::string out = run("G =9000,/W");
  EXPECT_TRUE(stopped());
  EXPECT_EQ(::Run.Regs.pc, 0x900C);  // on the break instruction
  EXPECT_EQ(::Run.Regs.bc >> 8, 0);
  // the run-time count is the board's: seconds of it, whatever the host took
  const std::size_t at = out.find("Real Time Count = ");
  ASSERT_NE(at, std::string::npos) << out;
  // "0,012s123m456u": thousands of seconds, seconds, milliseconds, microseconds
  const std::string count = out.substr(at + 18, 14);
  const int ms = ((count[0] - '0') * 1000 + std::atoi(count.substr(2, 3).c_str())) * 1000 +
                 std::atoi(count.substr(6, 3).c_str());
  EXPECT_GE(ms, 12'000) << out;
}

TEST_F(BesideHostTest, EscapeStopsARun) {
  load(0x9000, {0x18, 0xFE});  // JR $
  // at the prompt while the program runs free, and while G waits for a stop
  for (const char* go : {"G =9000", "G =9000,/W"}) {
    SCOPED_TRACE(go);
    ws_->Type(go);
    ASSERT_EQ(::Run.ExecutionState, kExecRunning);
    ws_->Key(0x1B);
    EXPECT_TRUE(idle_until([&] { return stopped() && Co.WaitKind == kWaitKey; }));
    EXPECT_EQ(::Run.Regs.pc, 0x9000);
  }
  EXPECT_TRUE(ws_->errors.empty());
}

TEST_F(BesideHostTest, AStepIntoAHaltEndsAtItsTimeOutAndAHaltedProgramStaysHalted) {
  load(0x9000, {0x76, 0x3C, 0x18, 0xFE});  // HALT; INC A; JR $
  ::Run.Regs.pc = 0x9000;
  ::Run.Regs.af = 0x0000;
  // a step's run that never comes back is stopped after 10 s of the board's
  // time, reported as a hung target, and leaves the program at its HALT
  for (const char* step : {"T", "P 3"}) {
    SCOPED_TRACE(step);
    ws_->errors.clear();
    run(step);
    EXPECT_TRUE(stopped());
    EXPECT_EQ(::Run.Regs.pc, 0x9000);
    EXPECT_EQ(ws_->errors, std::vector<u16>{kErrorTargetHungBusy});
    EXPECT_EQ(RunExec.StepTimedOut, 1);
  }
  // a free run into the HALT: every look pauses it and lets it go on halted,
  // and ESC finds it at the HALT with A as it was
  run("G =9000");
  for (int look = 0; look < 3; ++look) {
    const std::string regs = run("R");
    EXPECT_NE(regs.find("A=00"), std::string::npos) << regs;
    EXPECT_NE(regs.find("P=9000"), std::string::npos) << regs;
  }
  run("ESC");
  ASSERT_TRUE(idle_until([&] { return stopped(); }));
  EXPECT_EQ(::Run.Regs.pc, 0x9000);
  EXPECT_EQ(::Run.Regs.af >> 8, 0);
}

}  // namespace
