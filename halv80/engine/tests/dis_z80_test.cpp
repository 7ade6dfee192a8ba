// The Z80-family disassembler on byte sequences: the pages and prefixes, the
// CPU variants, labels, helper calls with inline data, and what is refused.
#include "halv80/engine/dis_z80.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include "halv80/engine/cfg_config.h"
#include "halv80/engine/cmd_switches.h"
#include "halv80/engine/tests/engine_fixture.h"
#include "halv80/symbols/sym_store.h"
#include "halv80/symbols/sym_symbols.h"

namespace {

using Bytes = std::vector<u8>;

struct Case {
  Bytes code;
  const char* text;
  u16 length;
};

class DisTest : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    sym_reset();
    Cfg.CpuType = kCpuZ80;
  }
  // The text and length of the instruction `code` at `address`.
  static std::pair<std::string, u16> dis(const Bytes& code, u16 address = 0x1000) {
    std::memset(Dis.Buffer, 0, sizeof Dis.Buffer);
    std::memcpy(Dis.Buffer, code.data(), std::min(code.size(), sizeof Dis.Buffer));
    std::string text;
    const u16 length = dis_line(address, text);
    return {text, length};
  }
  static void check(std::initializer_list<Case> cases, u16 address = 0x1000) {
    for (const Case& c : cases) {
      SCOPED_TRACE(c.text);
      const auto [text, length] = dis(c.code, address);
      EXPECT_EQ(text, c.text);
      EXPECT_EQ(length, c.length);
    }
  }
};

TEST_F(DisTest, PagesPrefixesAndOperandForms) {
  check({
      {{0x00}, "NOP\t", 1},
      {{0x3E, 0x41}, "LD\tA,41", 2},
      {{0x01, 0x34, 0x12}, "LD\tBC,1234", 3},
      {{0x76}, "HALT\t", 1},
      {{0x78}, "LD\tA,B", 1},
      {{0x77}, "LD\t(HL),A", 1},
      {{0xE3}, "EX\t(SP),HL", 1},
      {{0x08}, "EX\tAF,AF'", 1},
      {{0xF5}, "PUSH\tAF", 1},
      {{0xC7}, "RST\t00", 1},
      {{0xFF}, "RST\t38", 1},
      {{0xD3, 0x10}, "OUT\t(10),A", 2},
      {{0xCB, 0x7E}, "BIT\t7,(HL)", 2},
      {{0xCB, 0x30}, "????", 1},
      {{0xED, 0xB0}, "LDIR\t", 2},
      {{0xED, 0x5E}, "IM\t2", 2},
      {{0xED, 0x43, 0x00, 0x80}, "LD\t(8000),BC", 4},
      {{0xED, 0x57}, "LD\tA,I", 2},
      {{0xED, 0x4F}, "LD\tR,A", 2},
      {{0xED, 0x70}, "IN\t(HL),(C)", 2},
      {{0xED, 0x71}, "OUT\t(C),(HL)", 2},
      {{0xED, 0x30, 0x05}, "IN0\t(HL),(05)", 3},
      {{0xED, 0x4C}, "MLT\tBC", 2},
      {{0xED, 0x64, 0x0F}, "TST\t0F", 3},
      {{0xED, 0x80}, "????", 1},
      {{0xDD, 0x21, 0x34, 0x12}, "LD\tIX,1234", 4},
      {{0xFD, 0x36, 0x05, 0x09}, "LD\t(IY+05),09", 4},
      {{0xDD, 0x46, 0x00}, "LD\tB,(IX)", 3},
      {{0xDD, 0x7E, 0xF0}, "LD\tA,(IX-10)", 3},
      {{0xDD, 0xE9}, "JP\t(IX)", 2},
      {{0xDD, 0xCB, 0x05, 0x46}, "BIT\t0,(IX+05)", 4},
      {{0xFD, 0xCB, 0xFE, 0x16}, "RL\t(IY-02)", 4},
      {{0xDD, 0xCB, 0x05, 0x40}, "????", 1},
      {{0xDD, 0xEB}, "????", 1},
      {{0xDD, 0xDD}, "????", 1},
      {{0x18, 0xFE}, "JR\t1000", 2},
      {{0x10, 0x02}, "DJNZ\t1004", 2},
      {{0x20, 0x80}, "JR\tNZ,0F82", 2},
      {{0xC2, 0x00, 0x20}, "JP\tNZ,2000", 3},
      {{0xE8}, "RET\tPE", 1},
  });
}

TEST_F(DisTest, ImmediatesThatSpellARegisterGetALeadingZero) {
  check({
      {{0x3E, 0xDE}, "LD\tA,0DE", 2},
      {{0x3E, 0xBC}, "LD\tA,0BC", 2},
      {{0x06, 0xAF}, "LD\tB,0AF", 2},
      {{0xDB, 0xBC}, "IN\tA,(0BC)", 2},
      {{0x3E, 0xAD}, "LD\tA,AD", 2},
  });
}

TEST_F(DisTest, CpuVariants) {
  Cfg.CpuType = kCpuR800;
  check({
      {{0xED, 0xC3}, "MULUW\tHL,BC", 2},
      {{0xED, 0xF3}, "MULUW\tHL,SP", 2},
      {{0xED, 0xF1}, "MULUB\tA,(HL)", 2},
      {{0xED, 0xD9}, "MULUB\tA,E", 2},
      {{0xED, 0xC1}, "MULUB\tA,B", 2},
  });
  Cfg.CpuType = kCpu64180;
  check({{{0xED, 0xC3}, "????", 1}, {{0xED, 0x76}, "SLP\t", 2}});
  // the 8080 family: RIM and SIM; no relative jumps, prefixes or second registers
  Cfg.CpuType = kCpu8080;
  check({
      {{0x20}, "RIM\t", 1},
      {{0x30}, "SIM\t", 1},
      {{0x10, 0x00}, "????", 1},
      {{0xCB, 0x00}, "????", 1},
      {{0xD9}, "????", 1},
      {{0x3E, 0x05}, "LD\tA,05", 2},
  });
}

TEST_F(DisTest, LabelsAndHelperCalls) {
  ASSERT_EQ(sym_add("START", 0x1000, 0), 0);
  ASSERT_EQ(sym_add("TABLE", 0x2000, 0), 0);
  ASSERT_EQ(sym_add("_?ENT11_L11", 0x3000, 0), 0);
  sym_sort_symbols();
  Sw.ToolchainKind = 16;
  check({
      {{0x21, 0x04, 0x20}, "LD\tHL,2004 TABLE+4 ", 3},  // a value: name+offset
      {{0xC3, 0x00, 0x20}, "JP\t2000 TABLE ", 3},
      {{0xC3, 0x04, 0x20}, "JP\t2004", 3},              // a jump target: only an exact label
      {{0x18, 0xFE}, "JR\t1000 START ", 2},
  });
  // a helper call shows the bytes behind it
  Sw.ToolchainKind = 3;
  check({{{0xCD, 0x00, 0x30, 0x05, 0x04, 0x20}, "CALL\t3000 _?ENT11_L11 ,05,2004 TABLE+4 ", 6}});
  // PUSHEI: ten bytes of a temporary real behind the call (no target here: zeros)
  ASSERT_EQ(sym_add("PUSHEI", 0x0140, 0), 0);
  sym_sort_symbols();
  Sw.ToolchainKind = 1;
  check({{{0xCD, 0x40, 0x01}, "CALL\t0140 PUSHEI ,0.000000000000000e+000", 13}});
  // no loader found ncsv: its address 0 is no helper address, and CALL 0000 stays a call
  Sw.ToolchainKind = 2;
  check({{{0xCD, 0x00, 0x00, 0x05, 0x04}, "CALL\t0000", 3}});
}

}  // namespace
