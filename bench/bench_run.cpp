// Run control through the whole stack: console lines typed into the engine,
// the monitor exchange through the library and the driver seam, and the
// simulated emulator running a small loop in target memory. The engine boots
// from the shipped data files in a scratch folder, as the end-to-end tests
// boot it, with a fixed T-state budget per device call so that runs repeat.
// "steps/s" counts the single steps of T; "hits/s" the breakpoint hits of G
// on a breakpoint with a pass count, each a stop, a look at the table and,
// before the last pass, a run on.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <system_error>

#include "halv80/engine/brk_table.h"
#include "halv80/engine/cmd_switches.h"
#include "halv80/engine/emu_startup.h"
#include "halv80/engine/engine_state.h"
#include "halv80/engine/run_exec.h"
#include "halv80/engine/run_state.h"
#include "halv80/engine/testing/scripted_window_side.h"
#include "halv80/engine/testing/simulated_emulator.h"
#include "halv80/engine/tgt_memory.h"
#include "platform/device/dev_driver.h"
#include "platform/device/dev_sim_driver.h"
#include "platform/host/host_clock.h"
#include "platform/host/host_ui.h"
#include "platform/host/tests/scratch_dir.h"

#ifndef HALV80_DATA_DIR
#error "HALV80_DATA_DIR names the folder of the built data files"
#endif

namespace {

constexpr u32 kBoardPort = 0x300;
constexpr u64 kTStatesPerCall = 400;  // as the end-to-end tests run the target
constexpr u16 kStack = 0x9000;        // target RAM

// 0100 INC A; NOP; NOP; 0103 NOP; JR 0100: A counts the rounds.
constexpr u16 kLoopStart = 0x0100;
constexpr u16 kLoopBreak = 0x0103;
constexpr u8 kCountingLoop[] = {0x3C, 0x00, 0x00, 0x00, 0x18, 0xFA};
constexpr u16 kLoopInstructions = 5;

// Boxes shown while the engine boots; a boot that shows one has failed.
int BootBoxes = 0;
int count_box(std::string_view, std::string_view, unsigned) {
  ++BootBoxes;
  return kBoxAnswerOk;
}

// A booted engine with the simulated emulator behind the driver seam and the
// scripted window side in front, for one benchmark run. `error` is empty when
// the boot succeeded. Every piece of global state it changes (tick clock,
// message-box sink, current folder, registry folder, driver) goes back when
// it ends.
class Session {
 public:
  Session() {
    reset_engine_state();
    host_clock_use_fake(100000);
    BootBoxes = 0;
    previous_sink_ = host_set_message_box_sink(count_box);
    if (dir_.path().empty()) {
      error = "no scratch folder";
      return;
    }
    std::error_code ec;
    for (const char* name : {"qqn80.cfg", "MON80.QQN", "rz7_00.hwf"})
      if (!std::filesystem::copy_file(std::filesystem::path(HALV80_DATA_DIR) / name,
                                      std::filesystem::path(dir_.path()) / name, ec)) {
        error = std::string("cannot copy the data file ") + name;
        return;
      }
    previous_dir_ = std::filesystem::current_path();
    std::filesystem::current_path(dir_.path());
    // the driver's installation leaves its parameters in a registry of our own
    setenv("HALV80_REGISTRY_DIR", (dir_.path() + "/registry").c_str(), 1);
    if (!dev_install_driver_parameters(kBoardPort, 0)) {
      error = "cannot write the driver parameters";
      return;
    }
    if (!attach_simulated_emulator(sim_, DevFixture{})) {
      error = "no library work area";
      return;
    }
    // the program's folder is the scratch folder (the engine's reset forgets it)
    const std::string folder = dir_.system_path();
    std::copy_n(folder.c_str(), std::min(folder.size() + 1, sizeof Sw.ProgramFolder - 1), Sw.ProgramFolder);
    if (emu_startup_sequence(0) != 0 || BootBoxes != 0) {
      error = "the emulator did not boot";
      return;
    }
    sim_->Clock().UseFixedBudget(kTStatesPerCall);
    ws_ = std::make_unique<ScriptedWindowSide>();
    ws_->Start();
    Run.Regs.sp = kStack;
    tgt_write_block(kCountingLoop, kLoopStart);
  }

  ~Session() {
    ws_.reset();
    if (sim_) stop_simulated_emulator(sim_);
    if (!previous_dir_.empty()) std::filesystem::current_path(previous_dir_);
    unsetenv("HALV80_REGISTRY_DIR");
    host_set_message_box_sink(previous_sink_);
    reset_engine_state();
    host_clock_use_real();
  }
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  // Types one command line and pumps, as the window side's timer would while
  // the command side only keeps the windows alive, until the engine waits for
  // the next key. The window side's records are dropped, so that a long run
  // does not grow them.
  void Type(std::string_view line) {
    ws_->Type(line);
    ws_->Settle();
    ws_->lines.clear();
    ws_->requests.clear();
    ws_->errors.clear();
    ws_->boxes.clear();
  }
  bool Ok() const { return error.empty() && !ws_->Exited(); }

  std::string error;

 private:
  ScratchDir dir_;
  std::filesystem::path previous_dir_;
  std::unique_ptr<SimulatedDriver> sim_;
  std::unique_ptr<ScriptedWindowSide> ws_;
  HostMessageBoxSink previous_sink_ = nullptr;
};

u8 reg_a() { return u8(Run.Regs.af >> 8); }

// The state after `steps` single steps from the loop's start with A at 0:
// one INC A in every round begun, PC on the instruction after the last one
// (the four before the JR are one byte each, and the JR goes back to 0100).
bool stepped_as_expected(u32 steps) {
  const u32 rounds = (steps + kLoopInstructions - 1) / kLoopInstructions;
  return reg_a() == u8(rounds) && Run.Regs.pc == kLoopStart + steps % kLoopInstructions;
}

// T with `steps` single steps per command line ("T" for one, "T n" with n in
// hexadecimal, the engine's default radix, for more).
void BM_TraceSteps(benchmark::State& state) {
  const u32 steps = u32(state.range(0));
  Session s;
  if (!s.error.empty()) {
    state.SkipWithError(s.error.c_str());
    return;
  }
  char line[16];
  if (steps == 1)
    std::snprintf(line, sizeof line, "T");
  else
    std::snprintf(line, sizeof line, "T %X", unsigned(steps));
  // one command checked before the timing: it really stepped that far
  Run.Regs.pc = kLoopStart;
  Run.Regs.af = 0;
  s.Type(line);
  if (!s.Ok() || !stepped_as_expected(steps)) {
    state.SkipWithError("T did not step through the loop as expected");
    return;
  }
  for (auto _ : state) s.Type(line);
  if (!s.Ok() || Run.Regs.pc < kLoopStart || Run.Regs.pc >= kLoopStart + sizeof kCountingLoop) {
    state.SkipWithError("the steps left the loop");
    return;
  }
  state.counters["steps/s"] = benchmark::Counter(double(state.iterations()) * steps, benchmark::Counter::kIsRate);
}
BENCHMARK(BM_TraceSteps)->Arg(1)->Arg(256)->Unit(benchmark::kMicrosecond);

// G from the loop's start, waiting for the stop, with a breakpoint whose pass
// count is `passes`: the target breaks on every pass, and the engine runs it
// on until the last one stops it.
void BM_BreakpointPasses(benchmark::State& state) {
  const u32 passes = u32(state.range(0));
  Session s;
  if (!s.error.empty()) {
    state.SkipWithError(s.error.c_str());
    return;
  }
  char line[32];
  // BP takes its address in hexadecimal and its pass count in decimal
  std::snprintf(line, sizeof line, "BP %X,%u", unsigned(kLoopBreak), unsigned(passes));
  s.Type(line);
  if (Brk.UsedCount != 1 || Brk.Slots[0].initial_pass_count != passes) {
    state.SkipWithError("BP did not set the breakpoint");
    return;
  }
  std::snprintf(line, sizeof line, "G =%X,/W", unsigned(kLoopStart));
  u64 hits = 0;
  for (auto _ : state) {
    Run.Regs.af = 0;
    s.Type(line);
    // stopped at the breakpoint after exactly `passes` rounds?
    if (RunExec.BreakHit != 1 || Run.Regs.pc != kLoopBreak || reg_a() != u8(passes) ||
        Run.ExecutionState != kExecStopped) {
      state.SkipWithError("G did not stop on the last pass");
      break;
    }
    hits += passes;
  }
  state.counters["hits/s"] = benchmark::Counter(double(hits), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_BreakpointPasses)->Arg(1)->Arg(64)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
