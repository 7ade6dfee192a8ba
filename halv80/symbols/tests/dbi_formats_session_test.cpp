// The demo program that sdcc builds, its debug information converted into
// each of the formats of loaders B (IEEE-695 .abs), D (.lsi with .lin) and E
// (scrambled .qor), loaded with L under the toolchain kind that reads it and
// debugged by source against the booted simulated target: the program
// counter where the format puts it, source steps with T and P, a stack
// variable and a struct printed with '?' by their C types.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "halv80/engine/cmd_switches.h"
#include "halv80/engine/mac_lines.h"
#include "halv80/engine/reg_registers.h"
#include "halv80/engine/tests/mem_fixture.h"
#include "halv80/symbols/exp_eval.h"
#include "halv80/symbols/sym_modules.h"
#include "halv80/symbols/sym_store.h"
#include "halv80/symbols/sym_symbols.h"
#include "halv80/symbols/tests/demo_program.h"
#include "halv80/symbols/tests/sdcc_formats.h"

namespace {

class DbiFormatsSessionTest : public MemSessionTest {
 protected:
  void SetUp() override {
    MemSessionTest::SetUp();
    sym_init();
    std::snprintf(Sw.DefaultSourceExtension, sizeof Sw.DefaultSourceExtension, ".C");
    dir_.write("demo.c", demo::file_bytes(demo::kSources / "demo.c"));
  }
  void TearDown() override {
    MemSessionTest::TearDown();
    sym_init();
  }

  // The source line at the PC, as "FILE:line".
  static std::string where() {
    u16 line = 0;
    const char* file = sym_line_from_address(reg_get(kRegPC), line);
    return file ? std::string(file) + ":" + std::to_string(line) : "?";
  }
  static ExprValue value_of(const char* text) {
    ExprValue v{};
    EXPECT_EQ(exp_evaluate(v, reg_get(kRegPC), text, 0), 0) << text;
    return v;
  }

  // From main's first line: steps by line, into add_point's first call, the
  // stack variable dy and the global struct as '?' prints them.
  void debug_by_source(bool has_stack_variables) {
    EXPECT_EQ(Mac.LineError, 0);
    typed("BP main");
    typed("G");
    EXPECT_EQ(where(), "DEMO.C:27");
    typed("T");
    EXPECT_EQ(where(), "DEMO.C:28");
    typed("P");
    EXPECT_EQ(where(), "DEMO.C:29");
    typed("BP add_point");
    typed("G");
    EXPECT_EQ(where(), "DEMO.C:17");
    typed("T");
    typed("T");
    EXPECT_EQ(where(), "DEMO.C:20");
    if (has_stack_variables) {
      const ExprValue dy = value_of("dy");
      EXPECT_EQ(dy.type.get(), 0x81u);  // int
      EXPECT_EQ(dy.value.get(), 1u);
      const std::string shown = typed("? dy");
      EXPECT_NE(shown.find("(int ) 1 (0x1)"), std::string::npos) << shown;
    }
    typed("T");
    EXPECT_EQ(where(), "DEMO.C:21");
    const std::string origin = typed("? origin");
    EXPECT_NE(origin.find("(struct point ) @9100 {x=0,y=1}"), std::string::npos) << origin;
    EXPECT_EQ(value_of("origin.y").location.get(), 0x9102u);
    EXPECT_EQ(value_of("sizeof(counts)").value.get(), 8u);
  }

  const sdcc::Program program_ = sdcc::read_program(demo::kPrograms, "demo");
};

// -XM: the program's bytes come from the .abs file itself; its start
// address (ASG) becomes the program counter.
TEST_F(DbiFormatsSessionTest, IeeeAbsoluteFile) {
  Sw.ToolchainKind = 4;
  dir_.write("demo.abs", sdcc::AbsFromSdcc(program_).bytes());
  reg_set(kRegPC, 0);
  typed("L demo");
  EXPECT_EQ(reg_get(kRegPC), 0x0200);
  debug_by_source(true);
}

// -XL3: demo.hex, then demo.lsi with demo.lin; the symbol "start" becomes
// the program counter.
TEST_F(DbiFormatsSessionTest, ListingAndLineFile) {
  Sw.ToolchainKind = 5;
  const fixture::LsiWriter files = sdcc::LsiFromSdcc(program_).files();
  dir_.write("demo.hex", demo::file_bytes(demo::kPrograms / "demo.ihx"));
  dir_.write("demo.lsi", files.lsi());
  dir_.write("demo.lin", files.lin());
  reg_set(kRegPC, 0);
  typed("L demo");
  EXPECT_EQ(reg_get(kRegPC), 0x0200);
  debug_by_source(true);
}

// -X: demo.hex, then demo.qor beside it wins over the other files.
TEST_F(DbiFormatsSessionTest, ScrambledFile) {
  Sw.ToolchainKind = 16;
  dir_.write("demo.hex", demo::file_bytes(demo::kPrograms / "demo.ihx"));
  dir_.write("demo.qor", sdcc::QorFromSdcc(program_).bytes());
  dir_.write("demo.sym", "0000 nothing\r\n");
  typed("L demo");
  EXPECT_EQ(sym_find_by_name("nothing", kSymFindTolerant), 0);
  typed("R _PC=start");  // the format has no start address, only the symbol
  EXPECT_EQ(reg_get(kRegPC), 0x0200);
  debug_by_source(false);
}

}  // namespace
