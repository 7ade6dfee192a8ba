// The call-stack walker over a small C-like program on the simulated target:
// frames built by PUSH IX, frameless functions found by their call, the stop
// at MAIN, the K listing, the stack window's rows, frame words and the frame
// of a function not yet entered; and the runs built on it (G @, the call
// trace of G in source mode).
#include "halv80/engine/stk_backtrace.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "halv80/engine/brk_table.h"
#include "halv80/engine/cmd_switches.h"
#include "halv80/engine/emu_startup.h"
#include "halv80/engine/lst_listing.h"
#include "halv80/engine/run_exec.h"
#include "halv80/engine/run_state.h"
#include "halv80/engine/testing/scripted_window_side.h"
#include "halv80/engine/tgt_memory.h"
#include "halv80/engine/tests/startup_fixture.h"
#include "halv80/symbols/exp_eval.h"
#include "halv80/symbols/sym_entry_trap.h"
#include "halv80/symbols/sym_scopes.h"
#include "halv80/symbols/sym_store.h"
#include "halv80/symbols/sym_symbols.h"
#include "halv80/symbols/sym_types.h"

namespace {

using Bytes = std::vector<u8>;

// _main pushes an argument and calls _f; _f builds an IX frame and calls _g,
// which has no frame. Code range 0100..01FF, stack from 9000 down.
//   0100 _main: LD HL,1234 / PUSH HL / CALL _f / POP HL / JR $
//   0140 _f:    PUSH IX / LD IX,0 / ADD IX,SP / LD A,(IX+4) / CALL _g / POP IX / RET
//   0180 _g:    NOP / INC A / RET
constexpr u16 kMain = 0x0100, kF = 0x0140, kG = 0x0180, kEnd = 0x01A0;
constexpr u16 kMainLoop = 0x0108;     // the JR $ after the call
constexpr u16 kReturnToMain = 0x0107;  // behind CALL _f
constexpr u16 kReturnToF = 0x014E;     // behind CALL _g
constexpr u32 kFunctionOfOneInt = 512, kLongFunction = 513;

class WalkTest : public StartupTest {
 protected:
  void SetUp() override {
    StartupTest::SetUp();
    ASSERT_EQ(emu_startup_sequence(0), 0);
    sim->Clock().UseFixedBudget(400);
    tgt_write_block(Bytes{0x21, 0x34, 0x12, 0xE5, 0xCD, 0x40, 0x01, 0xE1, 0x18, 0xFE}, kMain);
    tgt_write_block(Bytes{0xDD, 0xE5, 0xDD, 0x21, 0x00, 0x00, 0xDD, 0x39, 0xDD, 0x7E, 0x04,
                          0xCD, 0x80, 0x01, 0xDD, 0xE1, 0xC9},
                    kF);
    tgt_write_block(Bytes{0x00, 0x3C, 0xC9}, kG);
    add_symbols();
    RegisterImage& r = ::Run.Regs;
    r.pc = kMain;
    r.sp = 0x9000;
    r.ix = 0x5A5A;
  }
  // The program's symbols and code range, debug information of toolchain kind 4.
  static void add_symbols() {
    sym_init();
    Sw.ToolchainKind = 4;
    // int f(int): 'u' 0x80, result int, one parameter
    EXPECT_TRUE(sym_type_define_bytes(kFunctionOfOneInt, Bytes{'u', 0x80, 0x83, 0x81, 0, 0, 0, 'c', 1}));
    // long g(void)
    EXPECT_TRUE(sym_type_define_bytes(kLongFunction, Bytes{'u', 0x80, 0x83, 0x82, 0, 0, 0, 'c', 0}));
    EXPECT_EQ(sym_add("_main", kMain, 0), 0);
    EXPECT_EQ(sym_add("_f", kF, kFunctionOfOneInt), 0);
    EXPECT_EQ(sym_add("_g", kG, kLongFunction), 0);
    EXPECT_EQ(sym_add("_etext", kEnd, 0), 0);  // lookups by address end at the last symbol
    sym_sort_symbols();
    SymFlag.CodeLow = 0x0100;
    SymFlag.CodeHigh = 0x01FF;
  }
  // Runs the program until it stands at `address`.
  static void run_to(u16 address) {
    ASSERT_TRUE(brk_temporary_add(address));
    run_go_to(address);
    ASSERT_EQ(::Run.Regs.pc, address);
  }
};

TEST_F(WalkTest, BacktraceFromAFramelessFunctionThroughAnIxFrameToMain) {
  run_to(kG + 1);
  ASSERT_EQ(stk_build_backtrace(), 3);
  EXPECT_EQ(stk_backtrace_line(0), " _g+1()");
  EXPECT_EQ(stk_backtrace_line(1), " _f+E(1234)");  // the parameter count of its type record
  EXPECT_EQ(stk_backtrace_line(2), " _main+7()");
  EXPECT_EQ(stk_backtrace_line(3), "");
  // the caller's IX came back from the frame
  stk_walk_reset();
  stk_walk_step(kWalkSilent);
  EXPECT_EQ(Stk.WalkPc, kReturnToF);
  stk_walk_step(kWalkSilent);
  EXPECT_EQ(Stk.WalkPc, kReturnToMain);
  EXPECT_EQ(Stk.WalkIx, 0x5A5A);
  EXPECT_EQ(Stk.Stopped, 0);
  EXPECT_EQ(stk_walk_step(kWalkSilent), 1);
  EXPECT_EQ(Stk.Stopped, 1);

  // nothing without debug information, or while the target runs
  Sw.ToolchainKind = 16;
  EXPECT_EQ(stk_build_backtrace(), 0);
  Sw.ToolchainKind = 4;
  ::Run.ExecutionState = kExecRunning;
  EXPECT_EQ(stk_build_backtrace(), 0);
  EXPECT_EQ(stk_stack_window_line(1, 0), "+ 2 : FFFF");
  ::Run.ExecutionState = kExecStopped;
}

TEST_F(WalkTest, ToolchainKinds2And3ShowTheParametersByTheirTypes) {
  // f's block with its parameter n, 4 above the frame that IX holds
  const auto record = [](u16 kind, u32 location, u16 size, const char* name, u32 type) {
    ScopeRecord r{};
    r.kind.set(kind);
    r.location.set(location);
    r.size.set(size);
    r.type.set(type);
    r.name.set(name != nullptr ? sym_intern_name(name) : kNoName);
    return r;
  };
  ASSERT_EQ(sym_add_scope(record(kScopeModule, 0x100, 0x100, "m.c", 0)), 0);
  ASSERT_EQ(sym_add_scope(record(kScopeBlock, kF, 0x40, "f", 0)), 0);
  ASSERT_EQ(sym_add_scope(record(kScopeFrame, 4, 2, "n", 0x81)), 0);
  ASSERT_EQ(sym_add_scope(record(kScopeFrame, u32(-2), 2, "local", 0x81)), 0);  // no parameter: not shown
  ASSERT_EQ(sym_add_scope(record(kScopeBlockEnd, 0, 0, nullptr, 0)), 0);
  run_to(kG + 1);
  for (const u16 toolchain : {2, 3}) {
    Sw.ToolchainKind = toolchain;
    ASSERT_EQ(stk_build_backtrace(), 3);
    EXPECT_EQ(stk_backtrace_line(1), " _f+E(n=1234)") << toolchain;
    EXPECT_EQ(stk_backtrace_line(0), " _g+1()") << toolchain;  // no block: its words, of which it has none
  }
  Sw.ToolchainKind = 4;  // other kinds show the words
  ASSERT_EQ(stk_build_backtrace(), 3);
  EXPECT_EQ(stk_backtrace_line(1), " _f+E(1234)");
}

TEST_F(WalkTest, AtAFunctionsFirstInstructionTheCallerIsFoundAtSp) {
  run_to(kF);
  EXPECT_EQ(stk_one_step(kWalkSilent), 2);
  EXPECT_EQ(Stk.FrameBuilt, 1);
  EXPECT_EQ(Stk.FrameBase, 0x8FFC - 2);
  EXPECT_EQ(Stk.WalkPc, kReturnToMain);
  EXPECT_EQ(stk_frame_word(0), 0x1234);
  // the frame of f's locals before its prologue ran: the return address slot,
  // with the IX the prologue will push written below it
  ::Run.Regs.ix = 0x7777;
  EXPECT_EQ(stk_locate_frame(kF), 0x8FFC);
  EXPECT_EQ(tgt_read_word(0x8FFA), 0x7777);
  EXPECT_EQ(tgt_read_word(0x8FFC), kReturnToMain);  // the return address stays
  // inside the function: IX + 2, through the frame it built
  run_to(kG);
  EXPECT_EQ(stk_locate_frame(kF), 0x8FFA + 2);
}

TEST_F(WalkTest, MainEndsTheWalkOnlyAsAWholeName) {
  const struct {
    const char* name;
    u16 lines;
  } cases[] = {{"_main", 3}, {"MAIN", 3}, {"_mainloop", 4}, {"main_", 4}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    sym_init();
    sym_add(c.name, kMain, 0);
    sym_add("_f", kF, kFunctionOfOneInt);
    sym_add("_g", kG, 0);
    sym_add("_start", 0x00F0, 0);
    sym_add("_etext", kEnd, 0);
    sym_sort_symbols();
    SymFlag.CodeLow = 0x00F0;
    SymFlag.CodeHigh = 0x01FF;
    ::Run.Regs = {};
    ::Run.Regs.sp = 0x8FF8;
    ::Run.Regs.pc = kG + 1;
    ::Run.Regs.ix = 0x8FFA;
    tgt_write_word(0x8FF8, kReturnToF);
    tgt_write_word(0x8FFA, 0x5A5A);
    tgt_write_word(0x8FFC, kReturnToMain);
    tgt_write_word(0x8FFE, 0x1234);
    // start-up code that called main: a walk that goes on past main finds it
    tgt_write_block(Bytes{0xCD, 0x00, 0x01}, 0x00F0);
    tgt_write_word(0x9000, 0x00F3);
    EXPECT_EQ(stk_build_backtrace(), c.lines);
  }
}

TEST_F(WalkTest, FrameWordsNeedADeepEnoughWalk) {
  run_to(kF + 11);  // in f, at its call of g
  const struct {
    const char* text;
    bool ok;
    u32 value;
  } cases[] = {{"?0", true, 0x1234}, {"?0+1", true, 0x1235}, {"?1", false, 0}, {"?", false, 0}, {"?x", false, 0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    std::size_t used = 0;
    const u32 value = exp_eval_number_at_cursor(c.text, used);
    EXPECT_EQ(Exp.AbortWord == 0, c.ok);
    if (c.ok) {
      EXPECT_EQ(value, c.value);
    }
  }
}

TEST_F(WalkTest, StackWindowRows) {
  run_to(kG);
  tgt_write_word(0x9000, kG);
  EXPECT_EQ(stk_stack_window_line(0, 0), "    SP : 014E");
  // only a word that is a label's own address shows the label
  EXPECT_EQ(stk_stack_window_line(0, kStackWindowShowAddress | kStackWindowShowLabel), "    SP[8FF8] : 014E");
  EXPECT_EQ(stk_stack_window_line(3, 0), "+ 6 : 1234");
  EXPECT_EQ(stk_stack_window_line(4, kStackWindowShowLabel), "+ 8 : 0180 _g");
}

TEST_F(WalkTest, FunctionEntryTrapsKeepTheCodeTheyReplace) {
  sym_add("_f_alias", kF, 0);  // a second name at one address
  sym_add("__helper", 0x01F0, 0);
  sym_add("outside", 0x0200, 0);
  sym_sort_symbols();
  const u16 main_word = tgt_read_word(kMain);
  const u16 f_word = tgt_read_word(kF);
  ::Run.Regs.pc = kMain;
  sym_patch_function_entries(1);
  EXPECT_EQ(SymTrap.SkippedAtPc, 1);  // main is where the PC stands
  EXPECT_EQ(tgt_read_word(kMain), main_word);
  EXPECT_EQ(tgt_read_word(kF), (f_word & 0xFF00) | sym_trap_byte());  // one byte: the next stays
  EXPECT_EQ(tgt_read_byte(kG), sym_trap_byte());
  for (const char* name : {"_f", "_f_alias"})
    EXPECT_EQ(sym_record(u16(sym_find_by_name(name, kSymFindExact) - 1))->saved_code.get(), f_word) << name;
  sym_patch_function_entries(0);
  EXPECT_EQ(tgt_read_word(kF), f_word);
  EXPECT_EQ(tgt_read_byte(kG), 0x00);
  EXPECT_EQ(SymTrap.Planted, 0);
}

// The engine as a user drives it.
class WalkCommandsTest : public WalkTest {
 protected:
  void SetUp() override {
    WalkTest::SetUp();
    ws_ = std::make_unique<ScriptedWindowSide>();
    ws_->Start();
    add_symbols();  // the start-up emptied the symbol database
    ::Run.Regs.pc = kMain;
    ::Run.Regs.sp = 0x9000;
  }
  void TearDown() override {
    ws_.reset();
    WalkTest::TearDown();
  }
  // The transcript of a line, without the colour markers of labels.
  std::string typed(std::string_view line) {
    std::string out = ws_->Typed(line);
    std::erase_if(out, [](char c) { return u8(c) == 0xFF || u8(c) == 0xFE; });
    return out;
  }
  std::unique_ptr<ScriptedWindowSide> ws_;
};

TEST_F(WalkCommandsTest, KListsTheCallsNewestLast) {
  typed("G 181");
  EXPECT_EQ(typed("K"), "K\n _main+7()\n _f+E(1234)\n _g+1()\n>");
  Sw.ToolchainKind = 16;
  EXPECT_EQ(typed("K"), "K\n>");
}

TEST_F(WalkCommandsTest, GoAtRunsUntilTheFunctionReturns) {
  typed("G 181");
  typed("G @");
  EXPECT_EQ(::Run.Regs.pc, kReturnToF);
  EXPECT_EQ(Brk.UsedCount, 0);
  typed("G @");
  EXPECT_EQ(::Run.Regs.pc, kReturnToMain);
  // main has no caller the walk can find
  EXPECT_NE(typed("G @").find(sjis("アドレス指定が誤りです")), std::string::npos);
  EXPECT_EQ(::Run.Regs.pc, kReturnToMain);
}

TEST_F(WalkCommandsTest, GoInSourceModeRunsTheProgramUnlessTheExecutionModeAsksForATrace) {
  // main ends in JR $: a plain G leaves it running and is back at the prompt
  Lst.ListingMode = kListingSource;
  const std::string out = typed("G");
  EXPECT_EQ(out.find("_f("), std::string::npos) << out;
  EXPECT_EQ(::Run.ExecutionState, kExecRunning);
  typed("ESC");
  ws_->Type("");  // the next key wait finds the stop
  EXPECT_EQ(::Run.ExecutionState, kExecStopped);
  EXPECT_EQ(::Run.Regs.pc, kMainLoop);
  EXPECT_EQ(tgt_read_word(kF), 0xE5DD);  // no trap was planted
}

TEST_F(WalkCommandsTest, GoInExecutionModeTwoTracesCallsAndReturns) {
  typed("OPTION 2");
  typed("BP 108");
  ::Run.Regs.de = 0x0001;
  const std::string out = typed("G");
  // g's long comes in DE:HL, f's int in HL
  EXPECT_NE(out.find("\n_f(1234)\r\n  _g()\r\n    return 70196 (0x11234)\n  return 1234"), std::string::npos)
      << out;
  EXPECT_EQ(::Run.Regs.pc, kMainLoop);
  EXPECT_EQ(RunExec.BreakHit, 1);
  // every trap and return break is gone
  EXPECT_EQ(tgt_read_word(kF), 0xE5DD);
  EXPECT_EQ(tgt_read_byte(kG), 0x00);
  EXPECT_EQ(tgt_read_byte(kReturnToF), 0xDD);
  EXPECT_EQ(tgt_read_byte(kReturnToMain), 0xE1);
}

TEST_F(WalkCommandsTest, CallTraceKeepsTheStopAddressAndEndsBeyondThirtyOneLevels) {
  typed("OPTION 1");
  // the stop address of G holds through the stops at every function entry
  EXPECT_NE(typed("G 107").find("_g()"), std::string::npos);
  EXPECT_EQ(::Run.Regs.pc, kReturnToMain);
  EXPECT_EQ(RunExec.BreakHit, 0);
  EXPECT_EQ(Brk.UsedCount, 0);
  // _r calls itself for ever: NOP / CALL _r
  constexpr u16 kR = 0x0190;
  tgt_write_block(Bytes{0x00, 0xCD, 0x90, 0x01}, kR);
  sym_add("_r", kR, 0);
  sym_sort_symbols();
  ::Run.Regs.pc = kR;
  ::Run.Regs.sp = 0x9000;
  // the stop showed its position as instructions: this program has no source lines
  EXPECT_EQ(Lst.ListingMode, kListingAssembly);
  const std::string out = typed("G");
  EXPECT_NE(out.find(sjis("関数のネストが３２レベルを超えました")), std::string::npos) << out;
  EXPECT_EQ(::Run.Regs.sp, 0x9000 - 2 * 32);
  EXPECT_EQ(tgt_read_word(kR), 0xCD00);
}

TEST_F(WalkCommandsTest, GoToAnAddressInSourceModeRunsThereHoweverDeepTheCallsGo) {
  // _d recurses 40 levels deep: DEC B / RET Z / CALL _d / RET; called from
  // 01C0, whose JR $ behind the call is the stop address
  constexpr u16 kD = 0x01B0, kCaller = 0x01C0;
  tgt_write_block(Bytes{0x05, 0xC8, 0xCD, 0xB0, 0x01, 0xC9}, kD);
  tgt_write_block(Bytes{0xCD, 0xB0, 0x01, 0x18, 0xFE}, kCaller);
  sym_add("_d", kD, 0);
  sym_sort_symbols();
  Lst.ListingMode = kListingSource;
  ::Run.Regs.pc = kCaller;
  ::Run.Regs.bc = 0x2800;
  const std::string out = typed("G 1C3");
  EXPECT_EQ(out.find(sjis("関数のネストが３２レベルを超えました")), std::string::npos) << out;
  EXPECT_EQ(::Run.Regs.pc, kCaller + 3);
  EXPECT_EQ(::Run.Regs.sp, 0x9000);
  EXPECT_EQ(RunExec.BreakHit, 0);
}

}  // namespace
