// The Z80-family line assembler: operand forms and their edge cases, what it
// refuses, the CPU variants, the radix of operands, and every encoding that
// the disassembler shows assembled back to its own bytes.
#include "halv80/engine/asm_z80.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <set>
#include <string>
#include <vector>

#include "halv80/engine/cfg_config.h"
#include "halv80/engine/cmd_core.h"
#include "halv80/engine/cmd_small.h"
#include "halv80/engine/cmd_switches.h"
#include "halv80/engine/dis_z80.h"
#include "halv80/engine/tests/engine_fixture.h"
#include "halv80/engine/tests/mnemonic_text.h"
#include "halv80/symbols/sym_store.h"

namespace {

using Bytes = std::vector<u8>;
constexpr u16 kAt = 0x1000;

struct Case {
  const char* line;
  Bytes bytes;
};

class AsmTest : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    sym_reset();
    Cfg.CpuType = kCpuZ80;
    Sw.MnemonicSet = 1;
  }
  // The bytes of `line` assembled at `address`; empty after an error.
  static Bytes assemble(std::string_view line, u16 address = kAt) {
    cmd_set_command_line(line);
    std::memset(Dis.Buffer, 0xEE, sizeof Dis.Buffer);
    const u16 length = asm_line(address);
    if (Cmd.AbortFlag != 0) return {};
    EXPECT_LE(length, kDisBufferSize);
    return Bytes(Dis.Buffer, Dis.Buffer + length);
  }
  static void check(std::initializer_list<Case> cases) {
    for (const Case& c : cases) {
      SCOPED_TRACE(c.line);
      EXPECT_EQ(assemble(c.line), c.bytes);
      EXPECT_EQ(Cmd.AbortFlag, 0);
    }
  }
  static void refused(std::initializer_list<const char*> lines) {
    for (const char* line : lines) {
      SCOPED_TRACE(line);
      assemble(line);
      EXPECT_EQ(Cmd.AbortFlag, 1);
    }
  }
};

TEST_F(AsmTest, OperandFormsAndTheirBoundaries) {
  check({
      {"ld a,(ix-2)", {0xDD, 0x7E, 0xFE}},
      {"LD (IY+7F),0", {0xFD, 0x36, 0x7F, 0x00}},
      {"LD (IX-80),B", {0xDD, 0x70, 0x80}},
      {"LD (IX),A", {0xDD, 0x77, 0x00}},
      {"LD A,(HL)", {0x7E}},
      {"LD (HL),5", {0x36, 0x05}},
      {"LD A,(1234)", {0x3A, 0x34, 0x12}},
      {"LD (1234),A", {0x32, 0x34, 0x12}},
      {"LD HL,(1234)", {0x2A, 0x34, 0x12}},
      {"LD (1234),IY", {0xFD, 0x22, 0x34, 0x12}},
      {"LD (1234),DE", {0xED, 0x53, 0x34, 0x12}},
      {"LD SP,(1234)", {0xED, 0x7B, 0x34, 0x12}},
      {"LD SP,IX", {0xDD, 0xF9}},
      {"LD A,R", {0xED, 0x5F}},
      {"LD R,A", {0xED, 0x4F}},
      {"LD (DE),A", {0x12}},
      {"LD A,(BC)", {0x0A}},
      {"LD A,1+2", {0x3E, 0x03}},    // an expression without blanks is one operand
      {"LD A,'+'", {0x3E, 0x2B}},
      {"LD BC,(1+1)", {0xED, 0x4B, 0x02, 0x00}},
      {"LD (IX+(1+1)),A", {0xDD, 0x77, 0x02}},
      {"JR 0F82", {0x18, 0x80}},     // the farthest back
      {"JR 1081", {0x18, 0x7F}},     // the farthest ahead
      {"JR C,1000", {0x38, 0xFE}},
      {"DJNZ 1002", {0x10, 0x00}},
      {"JP (IY)", {0xFD, 0xE9}},
      {"JP C,1234", {0xDA, 0x34, 0x12}},
      {"CALL M,1234", {0xFC, 0x34, 0x12}},
      {"RET C", {0xD8}},
      {"EX DE,HL", {0xEB}},
      {"EX AF,AF'", {0x08}},
      {"EX (SP),IX", {0xDD, 0xE3}},
      {"ADD IX,IX", {0xDD, 0x29}},
      {"ADD IY,SP", {0xFD, 0x39}},
      {"ADD A,(IY+3)", {0xFD, 0x86, 0x03}},
      {"SBC HL,HL", {0xED, 0x62}},
      {"ADC A,12", {0xCE, 0x12}},
      {"XOR (HL)", {0xAE}},
      {"INC (IX+1)", {0xDD, 0x34, 0x01}},
      {"DEC IY", {0xFD, 0x2B}},
      {"INC SP", {0x33}},
      {"PUSH AF", {0xF5}},
      {"POP IX", {0xDD, 0xE1}},
      {"SET 7,(IX+1)", {0xDD, 0xCB, 0x01, 0xFE}},
      {"RES 0,B", {0xCB, 0x80}},
      {"SRL (IY-1)", {0xFD, 0xCB, 0xFF, 0x3E}},
      {"IM 2", {0xED, 0x5E}},
      {"RST 38", {0xFF}},
      {"RST 0", {0xC7}},
      {"IN A,(FF)", {0xDB, 0xFF}},
      {"OUT (C),A", {0xED, 0x79}},
      {"IN H,(C)", {0xED, 0x60}},
      {"IN0 B,(05)", {0xED, 0x00, 0x05}},
      {"OUT0 (05),A", {0xED, 0x39, 0x05}},
      {"TST (HL)", {0xED, 0x34}},
      {"TST 0F", {0xED, 0x64, 0x0F}},
      {"TSTIO 80", {0xED, 0x74, 0x80}},
      {"MLT SP", {0xED, 0x7C}},
      {"SLP", {0xED, 0x76}},
  });
}

TEST_F(AsmTest, RefusedLinesSetTheAbortFlag) {
  refused({
      "FOO",
      "LD A",           // a missing operand
      "NOP A",          // a surplus operand
      "LD A,B,C",
      "  ld\tb , c",    // a blank before the comma leaves an empty operand
      "LD A,1 + 2",     // text after the last operand
      "JP 1000 + 20",
      "LD A,1,",
      "LD (IY+80),0",   // displacements: -128..127 in full
      "LD A,(IX+80)",
      "LD A,(IX-81)",
      "LD A,(IX+10005)",
      "LD A,(IX+5",
      "JR 1082",        // offsets: -128..127
      "JR 0F81",
      "JR PO,1000",
      "EX HL,DE",
      "EX DE,IX",
      "ADD HL,IX",
      "ADD IX,IY",
      "ADC IX,BC",
      "BIT 8,A",
      "BIT 1+1,A",
      "RST 7",
      "RST 10038",
      "IN A,(100)",     // ports: below 256
      "IN B,(5)",
      "OUT0 (100),A",
      "LD I,B",
      "LD B,(1234)",
      "LD (HL),(HL)",
      "LD A,(C)",
      "LD AF,1",
      "PUSH SP",
      "INC AF",
      "IM 3",
      "IM 10",
      "JP (IX+5)",
      "CALL (HL)",
      "SUB A,B",
      "TST (IX+1)",
      "MLT IX",
      "LD A,XYZ",
      "LD A,(",
      "LD A,()",
      "LD ,A",
      "LD A,((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((1))))))))))))))))))))))))))))))))))))))))))))))))))))))))))))))))))))))",  // nesting is bounded
      "MULUB A,B",      // the R800 only
  });
}

TEST_F(AsmTest, ALineWithNoMnemonicGivesNothing) {
  for (const char* line : {"", "   \t"}) {
    cmd_set_command_line(line);
    EXPECT_EQ(asm_line(kAt), 0);
    EXPECT_EQ(Cmd.AbortFlag, 0);
  }
}

TEST_F(AsmTest, RadixTenReadsOperandsInDecimal) {
  cmd_set_command_line("10");
  cmd_radix();
  ASSERT_EQ(Cmd.Radix, 10);
  check({{"RST 56", {0xFF}}, {"LD A,10", {0x3E, 0x0A}}, {"LD (IX-128),A", {0xDD, 0x77, 0x80}}});
  refused({"RST 38"});  // 38 decimal is no vector
}

TEST_F(AsmTest, The8080FamilyTakesOnlyWhatItsDecoderKnows) {
  Cfg.CpuType = kCpu8080;
  check({{"LD A,B", {0x78}}, {"RIM", {0x20}}, {"SIM", {0x30}}, {"LD HL,(1234)", {0x2A, 0x34, 0x12}}});
  refused({"DJNZ 1000", "JR 1000", "EXX", "EX AF,AF'", "LD IX,1", "BIT 0,A", "NEG", "RIM 1"});
  Cfg.CpuType = kCpuZ80;
  refused({"RIM", "SIM"});
}

// The R800 multiplies, from the instruction set: both ways on CPU type 4.
TEST_F(AsmTest, R800Multiplies) {
  Cfg.CpuType = kCpuR800;
  const Case multiplies[] = {
      {"MULUB\tA,B", {0xED, 0xC1}},   {"MULUB\tA,C", {0xED, 0xC9}},  {"MULUB\tA,D", {0xED, 0xD1}},
      {"MULUB\tA,E", {0xED, 0xD9}},   {"MULUB\tA,(HL)", {0xED, 0xF1}}, {"MULUW\tHL,BC", {0xED, 0xC3}},
      {"MULUW\tHL,SP", {0xED, 0xF3}},
  };
  for (const Case& c : multiplies) {
    SCOPED_TRACE(c.line);
    std::memcpy(Dis.Buffer, c.bytes.data(), c.bytes.size());
    std::string text;
    EXPECT_EQ(dis_line(kAt, text), 2);
    EXPECT_EQ(text, c.line);
    EXPECT_EQ(assemble(c.line), c.bytes);
  }
  refused({"MULUB A,H", "MULUB A,A", "MULUB B,C", "MULUB A", "MULUW HL,DE", "MULUW IX,BC"});
}

// Every encoding of each page with two sets of operand bytes: the
// disassembler's text assembles back to the same bytes. The exceptions:
// ED 30/31/70/71 read register field 6 as "(HL)" (IN0 (HL),(n), IN (HL),(C)),
// which the assembler takes only as a register; ED 63/6B are LD (nn),HL and
// LD HL,(nn), which the assembler gives the shorter 22/2A encodings.
TEST_F(AsmTest, DisassemblyAssemblesBackToTheSameBytes) {
  struct Page {
    const char* name;
    Bytes prefix;
    bool op_last;  // DD CB d op
  };
  const Page pages[] = {
      {"main", {}, false}, {"CB", {0xCB}, false},       {"DD", {0xDD}, false}, {"FD", {0xFD}, false},
      {"ED", {0xED}, false}, {"DDCB", {0xDD, 0xCB}, true}, {"FDCB", {0xFD, 0xCB}, true},
  };
  const Bytes operand_sets[] = {{0x12, 0x34, 0x56}, {0xDE, 0x80, 0xBC}};
  const std::set<std::string> explained = {"ED 30", "ED 31", "ED 70", "ED 71", "ED 63", "ED 6B"};
  std::vector<std::string> wrong;
  std::size_t checked = 0;
  for (const Page& page : pages) {
    for (const Bytes& operands : operand_sets) {
      for (u32 op = 0; op < 256; ++op) {
        const Bytes code = page_encoding(page.prefix, page.op_last, u8(op), operands);
        std::memset(Dis.Buffer, 0, sizeof Dis.Buffer);
        std::memcpy(Dis.Buffer, code.data(), code.size());
        std::string text;
        const u16 length = dis_line(kAt, text);
        if (text == "????") continue;
        char where[16];
        std::snprintf(where, sizeof where, "%s %02X", page.name, unsigned(op));
        if (explained.count(where)) continue;
        ++checked;
        const Bytes expected(code.begin(), code.begin() + length);
        const Bytes got = assemble(text);
        if (got != expected) wrong.push_back(std::string(where) + ": " + text);
      }
    }
  }
  EXPECT_GT(checked, 1300u);
  EXPECT_TRUE(wrong.empty()) << wrong.size() << " lines, the first: " << wrong.front();
}

}  // namespace
