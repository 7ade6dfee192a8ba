// The Intel 8080/8085 mnemonics, tried first with Sw.MnemonicSet 0: the
// decoder inside dis_line, the assembler inside asm_line, and how each falls
// to the Zilog set on a Z80-family CPU.
#include "halv80/engine/intel_8080.h"

#include <gtest/gtest.h>

#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

#include "halv80/engine/asm_z80.h"
#include "halv80/engine/cfg_config.h"
#include "halv80/engine/cmd_core.h"
#include "halv80/engine/cmd_switches.h"
#include "halv80/engine/dis_z80.h"
#include "halv80/engine/tests/engine_fixture.h"
#include "halv80/symbols/sym_store.h"
#include "halv80/symbols/sym_symbols.h"

namespace {

using Bytes = std::vector<u8>;
constexpr u16 kAt = 0x1000;

struct DisCase {
  Bytes code;
  const char* text;
  u16 length;
};
struct AsmCase {
  const char* line;
  Bytes bytes;  // empty: refused
};

class IntelTest : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    sym_reset();
    Cfg.CpuType = kCpu8080;
    Sw.MnemonicSet = 0;
  }
  static void dis(std::initializer_list<DisCase> cases) {
    for (const DisCase& c : cases) {
      SCOPED_TRACE(c.text);
      std::memset(Dis.Buffer, 0, sizeof Dis.Buffer);
      std::memcpy(Dis.Buffer, c.code.data(), c.code.size());
      std::string text;
      EXPECT_EQ(dis_line(kAt, text), c.length);
      EXPECT_EQ(text, c.text);
    }
  }
  static void assemble(std::initializer_list<AsmCase> cases) {
    for (const AsmCase& c : cases) {
      SCOPED_TRACE(c.line);
      cmd_set_command_line(c.line);
      const u16 length = asm_line(kAt);
      EXPECT_EQ(Cmd.AbortFlag, c.bytes.empty() ? 1 : 0);
      if (Cmd.AbortFlag == 0) {
        EXPECT_EQ(Bytes(Dis.Buffer, Dis.Buffer + length), c.bytes);
      }
    }
  }
};

TEST_F(IntelTest, DecoderForms) {
  ASSERT_EQ(sym_add("STACK", 0x1234, 0), 0);
  ASSERT_EQ(sym_add("HEAP", 0x2000, 0), 0);
  sym_sort_symbols();
  dis({
      {{0x76}, "HLT\t", 1},
      {{0x77}, "MOV\tM,A", 1},
      {{0x7E}, "MOV\tA,M", 1},
      {{0x31, 0x34, 0x12}, "LXI\tSP,1234 STACK ", 3},
      {{0x2A, 0x38, 0x12}, "LHLD\t1238 STACK+4 ", 3},
      {{0xF5}, "PUSH\tPSW", 1},
      {{0xC5}, "PUSH\tB", 1},
      {{0x1A}, "LDAX\tD", 1},
      {{0x3E, 0xDE}, "MVI\tA,DE", 2},
      {{0xFE, 0x05}, "CPI\t05", 2},
      {{0x39}, "DAD\tSP", 1},
      {{0xFF}, "RST\t7", 1},
      {{0x20}, "RIM\t", 1},
  });
}

// The Zilog-only opcodes have no Intel entry: "????" on an 8080-family CPU,
// the Zilog text on a Z80-family one.
TEST_F(IntelTest, BytesWithNoEntryFallToTheZilogSetOnAZ80) {
  const Bytes code[] = {{0x08}, {0x10, 0xFE}, {0x18, 0xFE}, {0x28, 0xFE}, {0x38, 0xFE},
                        {0xCB, 0x00}, {0xD9}, {0xDD, 0xE9}, {0xED, 0x44}, {0xFD, 0xE9}};
  const DisCase zilog[] = {
      {{}, "EX\tAF,AF'", 1}, {{}, "DJNZ\t1000", 2}, {{}, "JR\t1000", 2},   {{}, "JR\tZ,1000", 2},
      {{}, "JR\tC,1000", 2}, {{}, "RLC\tB", 2},     {{}, "EXX\t", 1},      {{}, "JP\t(IX)", 2},
      {{}, "NEG\t", 2},      {{}, "JP\t(IY)", 2},
  };
  static_assert(std::size(code) == std::size(zilog));
  for (std::size_t i = 0; i < std::size(code); ++i) {
    SCOPED_TRACE(zilog[i].text);
    for (const u16 cpu : {kCpu8080, kCpuZ80}) {
      Cfg.CpuType = cpu;
      std::memset(Dis.Buffer, 0, sizeof Dis.Buffer);
      std::memcpy(Dis.Buffer, code[i].data(), code[i].size());
      std::string text;
      const u16 length = dis_line(kAt, text);
      EXPECT_EQ(text, cpu == kCpu8080 ? "????" : zilog[i].text);
      EXPECT_EQ(length, cpu == kCpu8080 ? 1 : zilog[i].length);
    }
  }
}

// A helper that no loader found has address 0: a call to 0000 is a call.
TEST_F(IntelTest, HelperCallsShowTheirInlineBytes) {
  ASSERT_EQ(sym_add("TABLE", 0x2000, 0), 0);
  ASSERT_EQ(sym_add("ncsv", 0x3000, 0), 0);
  sym_sort_symbols();
  Sw.ToolchainKind = 2;
  dis({
      {{0xCD, 0x00, 0x30, 0x04, 0x20}, "CALL\t3000 ncsv ,2004 TABLE+4 ", 5},
      {{0xCD, 0x00, 0x00, 0x04, 0x20}, "CALL\t0000", 3},
  });
  // with no symbols at all the helpers are still looked for, and none is found
  sym_reset();
  dis({{{0xCD, 0x00, 0x00, 0x04, 0x20}, "CALL\t0000", 3}});
  sym_reset();
  ASSERT_EQ(sym_add("ncsv", 0x0000, 0), 0);
  sym_sort_symbols();
  dis({{{0xCD, 0x00, 0x00, 0x04, 0x20}, "CALL\t0000 ncsv ", 3}});
}

TEST_F(IntelTest, AssemblerForms) {
  assemble({
      {"mov a,m", {0x7E}},
      {"MOV M,A", {0x77}},
      {"PUSH PSW", {0xF5}},
      {"pop psw", {0xF1}},
      {"LXI SP,1234", {0x31, 0x34, 0x12}},
      {"LXI H,1+1", {0x21, 0x02, 0x00}},
      {"MVI M,105", {0x36, 0x05}},  // the low byte, unchecked
      {"STAX D", {0x12}},
      {"DAD SP", {0x39}},
      {"CPI 05", {0xFE, 0x05}},
      {"JMP 1234", {0xC3, 0x34, 0x12}},
      {"RST 7", {0xFF}},
      {"RST 0", {0xC7}},
      {"HLT", {0x76}},
      {"SIM", {0x30}},
      {"MOV M,M", {}},   // the code of HLT
      {"RST 8", {}},
      {"RST 10007", {}},
      {"LXI H", {}},
      {"MOV A", {}},
      {"HLT 1", {}},
      {"INR B,C", {}},
      {"PUSH SP", {}},
      {"LXI PSW,1", {}},
      {"STAX H", {}},
      {"MOV A,BC", {}},
      {"PUSH PS", {}},
      {"LXI SPX,1", {}},
      {"JMP 1000 + 20", {}},
      {"MOV A,B,C", {}},
      {"LD A,B", {}},    // no Zilog set to fall to on an 8080
  });
}

TEST_F(IntelTest, ZilogTextIsTakenOnAZ80WhenItIsNoIntelLine) {
  Cfg.CpuType = kCpuZ80;
  assemble({
      {"LD A,B", {0x78}},
      {"MOV A,M", {0x7E}},
      {"RST 8", {0xCF}},             // no Intel restart number: a Zilog vector
      {"CP 1234", {0xF4, 0x34, 0x12}},  // Intel first: call if positive
      {"CPI", {0xED, 0xA1}},         // the Intel CPI takes an operand
      {"MOV M,M", {}},
  });
}

}  // namespace
