// Run control through the whole stack, as the user gets it: console lines
// typed into the engine, the monitor exchange through the library and the
// driver seam, and the simulated emulator running a small loop in target
// memory, the board on its own thread at full speed and the engine on the
// real clock (bench_session.h). The rates are per wall-clock second, since
// the board's thread may do part of the work.
// "steps/s" counts the single steps of T; "hits/s" the breakpoint hits of G
// on a breakpoint with a pass count, each a stop, a look at the table and,
// before the last pass, a run on.
// With the repeatable board (a fixed T-state budget per call, the fake clock)
// the figures are the same: a step or a pass ends inside the request that
// starts it, before the board's thread has a turn, so that variant has
// nothing to add and is not run.
#include <benchmark/benchmark.h>

#include <cstdio>

#include "bench/bench_session.h"
#include "halv80/engine/brk_table.h"
#include "halv80/engine/run_exec.h"
#include "halv80/engine/run_state.h"
#include "halv80/engine/tgt_memory.h"

namespace {

constexpr u16 kStack = 0x9000;        // target RAM

// 0100 INC A; NOP; NOP; 0103 NOP; JR 0100: A counts the rounds.
constexpr u16 kLoopStart = 0x0100;
constexpr u16 kLoopBreak = 0x0103;
constexpr u8 kCountingLoop[] = {0x3C, 0x00, 0x00, 0x00, 0x18, 0xFA};
constexpr u16 kLoopInstructions = 5;

// Puts the counting loop into target memory and SP into target RAM, in a
// booted session.
void load_loop() {
  Run.Regs.sp = kStack;
  tgt_write_block(kCountingLoop, kLoopStart);
}

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
  BenchSession s;
  if (!s.error.empty()) {
    state.SkipWithError(s.error.c_str());
    return;
  }
  load_loop();
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
BENCHMARK(BM_TraceSteps)->Arg(1)->Arg(256)->UseRealTime()->Unit(benchmark::kMicrosecond);

// G from the loop's start, waiting for the stop, with a breakpoint whose pass
// count is `passes`: the target breaks on every pass, and the engine runs it
// on until the last one stops it.
void BM_BreakpointPasses(benchmark::State& state) {
  const u32 passes = u32(state.range(0));
  BenchSession s;
  if (!s.error.empty()) {
    state.SkipWithError(s.error.c_str());
    return;
  }
  load_loop();
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
BENCHMARK(BM_BreakpointPasses)->Arg(1)->Arg(64)->UseRealTime()->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
