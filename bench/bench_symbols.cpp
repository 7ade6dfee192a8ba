// The symbol table at the size of a large program: adding 50,000 symbols,
// sorting them by value, and looking them up by name and by address.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "halv80/symbols/sym_store.h"
#include "halv80/symbols/sym_symbols.h"

namespace {

constexpr u32 kSymbolCount = 50000;

struct Program {
  std::vector<std::string> names;
  std::vector<u32> values;
};

// Names shaped like a C program's (with and without the leading '_') and
// values spread over 64 KiB, so that some are equal.
const Program& program() {
  static const Program p = [] {
    Program made;
    std::mt19937 random(12345);
    std::uniform_int_distribution<u32> address(0, 0xFFFF);
    static const char* const stems[] = {"_main_loop", "_buffer", "read_port", "_isr", "timer_tick", "_table"};
    char name[40];
    for (u32 i = 0; i < kSymbolCount; ++i) {
      std::snprintf(name, sizeof name, "%s_%u", stems[i % std::size(stems)], i);
      made.names.emplace_back(name);
      made.values.push_back(address(random));
    }
    return made;
  }();
  return p;
}

void fill_table() {
  sym_reset();
  const Program& p = program();
  for (u32 i = 0; i < kSymbolCount; ++i) sym_add(p.names[i], p.values[i], 0);
}

void BM_AddSymbols(benchmark::State& state) {
  sym_init();
  for (auto _ : state) {
    fill_table();
    benchmark::DoNotOptimize(Sym.Count);
  }
  state.SetItemsProcessed(state.iterations() * kSymbolCount);
}
BENCHMARK(BM_AddSymbols)->Unit(benchmark::kMillisecond);

void BM_SortSymbols(benchmark::State& state) {
  sym_init();
  fill_table();
  for (auto _ : state) {
    state.PauseTiming();
    for (u32 p = 0; p < kSymbolCount; ++p) *sym_order_slot(p) = u16(p);  // back to the order of adding
    Sym.SortState = kSymAdded;
    state.ResumeTiming();
    sym_sort_symbols();
  }
  state.SetItemsProcessed(state.iterations() * kSymbolCount);
}
BENCHMARK(BM_SortSymbols)->Unit(benchmark::kMillisecond);

void BM_FindByName(benchmark::State& state) {
  sym_init();
  fill_table();
  const Program& p = program();
  u32 i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(sym_find_by_name(p.names[i], kSymFindExact));
    i = i + 1 == kSymbolCount ? 0 : i + 1;
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_FindByName);

void BM_FindByNameTolerant(benchmark::State& state) {
  sym_init();
  fill_table();
  const Program& p = program();
  std::vector<std::string> queries;  // without the leading '_'
  for (const std::string& n : p.names) queries.push_back(n[0] == '_' ? n.substr(1) : n);
  u32 i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(sym_find_by_name(queries[i], kSymFindTolerant));
    i = i + 1 == kSymbolCount ? 0 : i + 1;
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_FindByNameTolerant);

void BM_AddressLookup(benchmark::State& state) {
  sym_init();
  fill_table();
  sym_sort_symbols();
  u32 address = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(sym_index_from_address(address));
    address = (address + 0x9E37) & 0xFFFF;  // walks every address in a scattered order
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_AddressLookup);

void BM_AddressLabel(benchmark::State& state) {
  sym_init();
  fill_table();
  sym_sort_symbols();
  u32 address = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(sym_address_label(address, true));
    address = (address + 0x9E37) & 0xFFFF;
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_AddressLabel);

}  // namespace

BENCHMARK_MAIN();
