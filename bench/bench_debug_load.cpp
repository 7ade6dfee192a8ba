// L of a loader-A debug file of about 1 MB, from the command line to the next
// prompt, in a booted session (bench_session.h), as a program's debug file
// loads: its code, two bytes a line (LD A,n), written into target memory
// through the monitor, and thousands of symbols, modules whose lines each
// stand at an address of their own, functions with nested blocks and frame
// variables, and struct, pointer, array and function types into the symbol
// database. The file is made by the tests' fixture writer. The time per load
// is the figure; "code_bytes" counts the bytes written to the target per load,
// "lines" the line records, "bytes" the file's size.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <span>
#include <string>

#include "bench/bench_session.h"
#include "halv80/engine/cmd_switches.h"
#include "halv80/symbols/sym_modules.h"
#include "halv80/symbols/sym_scopes.h"
#include "halv80/symbols/sym_symbols.h"
#include "halv80/symbols/sym_types.h"
#include "halv80/symbols/tests/dbi_fixture.h"

namespace {

constexpr u32 kModules = 75;
constexpr u32 kStructsPerModule = 30;
constexpr u32 kSymbolsPerModule = 200;
constexpr u32 kFunctionsPerModule = 20;
constexpr u32 kLinesPerFunction = 8;
constexpr u32 kCodeStart = 0x0200;  // 2 bytes a line end below the monitor's area at 7F80h
constexpr u32 kLineBytes = 2;
constexpr u32 kCodeBytes = kModules * kFunctionsPerModule * kLinesPerFunction * kLineBytes;
static_assert(kCodeStart + kCodeBytes <= 0x7F80);

// The code of line `l` of a function: LD A,l.
std::string line_code(u32 l) { return std::string{'\x3E', char(l)}; }

std::string big_d01() {
  fixture::D01Writer w;
  u16 type = 100;
  u32 address = kCodeStart;
  for (u32 m = 0; m < kModules; ++m) {
    const std::string module = "MOD" + std::to_string(m);
    w.module_start(module);
    const u16 first_type = type;
    for (u32 s = 0; s < kStructsPerModule; ++s) {
      std::vector<fixture::D01Member> members;
      for (u32 i = 0; i < 8; ++i) members.push_back({i * 2, "field" + std::to_string(i), u16(i % 2 ? 4 : 1)});
      const u16 base = type;
      w.type_struct(type++, "record" + std::to_string(s), 16, members);
      w.type_pointer(type++, base);
    }
    w.type_function(type++, 4, 2);
    const u16 function_type = u16(type - 1);
    for (u32 s = 0; s < kSymbolsPerModule; ++s)
      w.symbol(2, 2, 0x9100 + s * 2, module + "_variable_" + std::to_string(s),
               u16(first_type + s % (2 * kStructsPerModule)));
    w.address(address);
    for (u32 f = 0; f < kFunctionsPerModule; ++f) {
      const std::string name = module + "_function_" + std::to_string(f);
      w.symbol(1, 1, address, name, function_type);
      w.line(u16(f * 20 + 1), true)
          .function(name, {{7, 4, "first", 4},
                           {7, 6, "second", first_type},
                           {7, 0xFFFFFFFE, "count", 4},
                           {7, 0xFFFFFFFC, "item", u16(first_type + 1)},
                           {4, 0x9000, "local_static", 4},
                           {7, 0xFFFFFFFA, "flags", 1}});
      w.code(line_code(0));
      w.block_begin({{7, 0xFFFFFFF8, "inner", 4}, {7, 0xFFFFFFF6, "other", 1}});
      for (u32 l = 1; l < kLinesPerFunction; ++l) w.line(u16(f * 20 + 1 + l)).code(line_code(l));
      w.block_end().block_end();
      address += kLineBytes * kLinesPerFunction;
    }
    w.module_end();
  }
  return w.end().bytes();
}

void BM_LoadDebugFileA(benchmark::State& state) {
  BenchSession s;
  if (!s.error.empty()) {
    state.SkipWithError(s.error.c_str());
    return;
  }
  // as the start-up switch -XI leaves them
  Sw.ToolchainKind = 3;
  std::snprintf(Sw.DefaultSourceExtension, sizeof Sw.DefaultSourceExtension, ".C");
  const std::string bytes = big_d01();
  std::ofstream(std::filesystem::current_path() / "big.d01", std::ios::binary) << bytes;

  // one load checked before the timing: everything arrived
  s.Type("L big");
  if (!s.Ok() || SymModules.ModuleCount != kModules ||
      Sym.Count != kModules * (kSymbolsPerModule + kFunctionsPerModule) || Types.SlotCount == 0 ||
      SymScopes.ScopeCount == 0) {
    state.SkipWithError("L did not load the whole file");
    return;
  }
  // the code in target memory, and each line at an address of its own
  std::string code(kCodeBytes, '\0');
  s.PeekTarget(kCodeStart, std::span<u8>(reinterpret_cast<u8*>(code.data()), code.size()));
  for (u32 at = 0; at < kCodeBytes; at += kLineBytes) {
    const u32 l = at / kLineBytes % kLinesPerFunction;
    const u32 f = at / kLineBytes / kLinesPerFunction % kFunctionsPerModule;
    u16 line = 0;
    if (code.compare(at, kLineBytes, line_code(l)) != 0 || !sym_line_from_address(kCodeStart + at, line) ||
        line != f * 20 + 1 + l) {
      state.SkipWithError("L did not put the code and its lines where the file has them");
      return;
    }
  }
  for (auto _ : state) s.Type("L big");
  state.counters["code_bytes"] = kCodeBytes;
  state.counters["bytes"] = double(bytes.size());
  state.counters["symbols"] = Sym.Count;
  state.counters["lines"] = double(kModules * kFunctionsPerModule * kLinesPerFunction);
  state.counters["scopes"] = SymScopes.ScopeCount;
  state.counters["types"] = Types.SlotCount;
}
BENCHMARK(BM_LoadDebugFileA)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
