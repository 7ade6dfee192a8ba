// Line tables under load: 100,000 line records over four modules, added and
// finished (in address order, and in falling order so that finishing sorts
// them), then looked up line -> address and address -> line.
#include <benchmark/benchmark.h>

#include <string>

#include "halv80/engine/engine_state.h"
#include "halv80/symbols/sym_modules.h"
#include "halv80/symbols/sym_store.h"

namespace {

constexpr u32 kTotalLines = 100000;
constexpr u32 kModuleCount = 4;
constexpr u32 kLinesEach = kTotalLines / kModuleCount;  // 25,000: lines 1..25,000
constexpr u32 kModuleSpan = 0x10000;                    // module m's code from m x 64 KiB
constexpr u32 kBytesPerLine = 2;

std::string module_file(u32 m) { return "MOD" + std::to_string(m) + ".C"; }

u32 line_address(u32 m, u32 i) { return m * kModuleSpan + i * kBytesPerLine; }

// A fresh database holding every line; falling: each module's lines are added
// from the highest address down.
void fill_lines(bool falling) {
  reset_engine_state();
  sym_init();
  SymStore.ChunkLimit = kSymChunkMax;
  for (u32 m = 0; m < kModuleCount; ++m) {
    sym_begin_module(module_file(m).c_str());
    for (u32 k = 0; k < kLinesEach; ++k) {
      const u32 i = falling ? kLinesEach - 1 - k : k;
      sym_add_line(i + 1, line_address(m, i));
    }
    sym_end_module();
  }
  sym_finish_modules();
}

// A fixed pseudo-random sequence, the same in every run.
u32 next_random(u32& seed) {
  seed = seed * 1103515245u + 12345u;
  return seed >> 8;
}

void BM_AddLinesInOrder(benchmark::State& state) {
  for (auto _ : state) fill_lines(false);
  state.SetItemsProcessed(state.iterations() * kTotalLines);
}
BENCHMARK(BM_AddLinesInOrder)->Unit(benchmark::kMillisecond);

void BM_AddLinesFallingThenSort(benchmark::State& state) {
  for (auto _ : state) fill_lines(true);
  state.SetItemsProcessed(state.iterations() * kTotalLines);
}
BENCHMARK(BM_AddLinesFallingThenSort)->Unit(benchmark::kMillisecond);

void BM_LineToAddress(benchmark::State& state) {
  fill_lines(false);
  std::string files[kModuleCount];
  for (u32 m = 0; m < kModuleCount; ++m) files[m] = module_file(m);
  u32 seed = 1;
  for (auto _ : state) {
    const u32 m = next_random(seed) % kModuleCount;
    const u16 line = u16(next_random(seed) % kLinesEach + 1);
    u16 address = 0;
    benchmark::DoNotOptimize(sym_address_from_line(files[m].c_str(), line, address));
    benchmark::DoNotOptimize(address);
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_LineToAddress);

void BM_AddressToLine(benchmark::State& state) {
  fill_lines(false);
  u32 seed = 1;
  for (auto _ : state) {
    // Half the addresses hit a record, half fall between two.
    const u32 m = next_random(seed) % kModuleCount;
    const u32 address = m * kModuleSpan + next_random(seed) % (kLinesEach * kBytesPerLine);
    u16 line = 0;
    benchmark::DoNotOptimize(sym_line_from_address(address, line));
    benchmark::DoNotOptimize(line);
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_AddressToLine);

}  // namespace

BENCHMARK_MAIN();
