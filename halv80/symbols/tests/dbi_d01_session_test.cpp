// A program built by sdcc, loaded with the loader-A file made from its debug
// records, debugged by source against the booted simulated target: the load
// sets the program counter, breakpoints by function name, source steps,
// typed variables, the backtrace and a function's stack variable by name.
#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "halv80/engine/cmd_switches.h"
#include "halv80/engine/mac_lines.h"
#include "halv80/engine/reg_registers.h"
#include "halv80/engine/run_exec.h"
#include "halv80/engine/tests/mem_fixture.h"
#include "halv80/symbols/exp_eval.h"
#include "halv80/symbols/exp_types.h"
#include "halv80/symbols/sym_modules.h"
#include "halv80/symbols/sym_store.h"
#include "halv80/symbols/sym_symbols.h"
#include "halv80/symbols/tests/dbi_fixture.h"
#include "halv80/symbols/tests/demo_program.h"
#include "halv80/symbols/tests/sdcc_d01.h"

namespace {

class DbiD01SessionTest : public MemSessionTest {
 protected:
  void SetUp() override {
    MemSessionTest::SetUp();
    sym_init();
    // as the start-up switch -XI leaves them
    Sw.ToolchainKind = 3;
    std::snprintf(Sw.DefaultSourceExtension, sizeof Sw.DefaultSourceExtension, ".C");
    const sdcc::D01FromSdcc d01(demo::kPrograms, "demo", {{"square", 1}, {"add_point", 3}, {"main", 0}});
    dir_.write("demo.d01", d01.bytes());
    dir_.write("demo.c", demo::file_bytes(demo::kSources / "demo.c"));
  }
  void TearDown() override {
    MemSessionTest::TearDown();
    sym_init();
  }
};

// The value of `text` in the scope of the PC: the evaluator's item.
ExprValue value_of(const char* text) {
  ExprValue v{};
  EXPECT_EQ(exp_evaluate(v, reg_get(kRegPC), text, 0), 0) << text;
  return v;
}

// The source line at the PC, as "FILE:line".
std::string where() {
  u16 line = 0;
  const char* file = sym_line_from_address(reg_get(kRegPC), line);
  return file ? std::string(file) + ":" + std::to_string(line) : "?";
}

TEST_F(DbiD01SessionTest, SourceStepsTypedVariablesAndTheBacktrace) {
  typed("L demo");
  EXPECT_EQ(reg_get(kRegPC), 0x0200);  // the start-up module's first code byte
  EXPECT_EQ(Mac.LineError, 0);

  typed("BP main");
  typed("G");
  EXPECT_EQ(where(), "DEMO.C:27");
  typed("T");
  EXPECT_EQ(where(), "DEMO.C:28");
  typed("P");
  EXPECT_EQ(where(), "DEMO.C:29");

  // in the first call: dy is a stack variable of add_point, found by name
  typed("BP add_point");
  typed("G");
  EXPECT_EQ(where(), "DEMO.C:17");
  typed("T");
  typed("T");
  EXPECT_EQ(where(), "DEMO.C:20");
  const ExprValue dy = value_of("dy");
  EXPECT_EQ(dy.storage_class, kStorageFrame);
  EXPECT_EQ(dy.type.get(), 0x81u);  // int
  EXPECT_EQ(dy.value.get(), 1u);
  // the backtrace shows add_point's arguments by name and type: sdcc passes
  // p and dx in registers, so only dy lives in the frame
  const std::string k = typed("K");
  EXPECT_NE(k.find("_add_point+"), std::string::npos) << k;
  EXPECT_NE(k.find("(dy=1)"), std::string::npos) << k;
  EXPECT_NE(k.find("_main+"), std::string::npos) << k;

  // the struct global and its members, typed; line 20 adds dy to y
  typed("T");
  EXPECT_EQ(where(), "DEMO.C:21");
  const ExprValue origin = value_of("origin");
  EXPECT_EQ(origin.location.get(), 0x9100u);
  EXPECT_EQ(exp_type_size(origin.type.get()), 4u);
  EXPECT_EQ(value_of("origin.x").value.get(), 0u);
  EXPECT_EQ(value_of("origin.y").value.get(), 1u);
  EXPECT_EQ(value_of("origin.y").location.get(), 0x9102u);
  EXPECT_EQ(value_of("sizeof(counts)").value.get(), 8u);

  // G @ back in main, with source shown: the call's statement is finished,
  // so the stop is at the start of a line, not inside line 32
  typed("V 19");
  typed("G @");
  EXPECT_EQ(where(), "DEMO.C:30");
  EXPECT_EQ(RunExec.BreakHit, 0);
}

TEST_F(DbiD01SessionTest, LpRewritesTheCodeAndKeepsTheDatabase) {
  typed("L demo");
  const u16 symbols = Sym.Count;
  ASSERT_GT(symbols, 0);
  const Bytes code = peek(0x0200, 0x9B);
  poke(0x0200, Bytes(0x9B, 0));
  typed("LP demo");
  EXPECT_EQ(peek(0x0200, 0x9B), code);
  EXPECT_EQ(Sym.Count, symbols);
  EXPECT_EQ(Mac.LineError, 0);
}

// Toolchain kind 16 reads the .db1 file beside the program: the demo's lines
// and symbols in loader C's tables.
TEST_F(DbiD01SessionTest, ADb1FileBesideTheProgramGivesLinesAndSymbols) {
  Sw.ToolchainKind = 16;
  std::vector<fixture::Db1Line> lines;
  for (const auto& [address, line] : demo::lines()) lines.push_back({line, address});
  std::vector<fixture::Db1Symbol> symbols;
  std::istringstream noi(demo::file_bytes(demo::kPrograms / "demo.noi"));
  for (std::string def, name, value; noi >> def >> name >> value;)
    if (def == "DEF" && name[0] == '_') symbols.push_back({name, u32(std::stoul(value, nullptr, 16)), 1});
  dir_.write("demo.db1", fixture::db1_file({{0x0200, 0x029B, "demo.c", 1, u32(lines.size())}}, lines, symbols));
  dir_.write("demo.hex", demo::file_bytes(demo::kPrograms / "demo.ihx"));

  typed("L demo");
  EXPECT_EQ(Mac.LineError, 0);
  u16 main = 0;
  ASSERT_EQ(sym_lookup_value("main", main), 1);
  EXPECT_EQ(main, 0x0248);
  reg_set(kRegPC, main);
  EXPECT_EQ(where(), "DEMO.C:27");
}

}  // namespace
