#include "platform/device/dev_cpu_ext.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstddef>
#include <functional>
#include <initializer_list>
#include <iterator>
#include <ostream>
#include <vector>

#include "platform/device/dev_cpu.h"

#include "platform/device/tests/recording_bus.h"

namespace {

using namespace cpu_testing;

const char* KindName(CpuKind kind) {
  switch (kind) {
    case CpuKind::Z80: return "Z80";
    case CpuKind::HD64180: return "HD64180";
    case CpuKind::KC80: return "KC80";
    case CpuKind::R800: return "R800";
  }
  return "?";
}

// The registers the added instructions touch.
struct Regs {
  u16 af, bc, de, hl, sp;
};

class CpuExtTest : public testing::Test {
 protected:
  TestBus bus;
  DevCpu cpu{bus};

  void Load(u16 at, std::initializer_list<u8> bytes) { Load(at, std::vector<u8>(bytes)); }
  void Load(u16 at, const std::vector<u8>& bytes) {
    std::size_t a = at;
    for (const u8 b : bytes) bus.memory[a++ & 0xFFFF] = b;
  }
  u16 Word(u16 at) const { return u16(bus.memory[at] | bus.memory[u16(at + 1)] << 8); }
  // A CPU of `kind` just out of reset, at `pc`, with `regs`, R = `r`, and
  // no bus cycles recorded yet.
  void Start(CpuKind kind, u16 pc, const Regs& regs, u8 r = 0) {
    cpu.Reset();
    cpu.SetCpuKind(kind);
    DevRegisters set = cpu.GetRegisters();
    set.af = regs.af;
    set.bc = regs.bc;
    set.de = regs.de;
    set.hl = regs.hl;
    set.sp = regs.sp;
    set.pc = pc;
    set.r = r;
    cpu.SetRegisters(set);
    bus.cycles.clear();
  }
  void ExpectRegs(const Regs& want) {
    const DevRegisters got = cpu.GetRegisters();
    EXPECT_EQ(got.af, want.af);
    EXPECT_EQ(got.bc, want.bc);
    EXPECT_EQ(got.de, want.de);
    EXPECT_EQ(got.hl, want.hl);
    EXPECT_EQ(got.sp, want.sp);
  }
};

constexpr CpuKind kHd = CpuKind::HD64180;
constexpr CpuKind kR800 = CpuKind::R800;
constexpr u16 kAt = 0x0100;  // where each instruction of the table sits

TEST_F(CpuExtTest, AddedInstructionsSetRegistersFlagsAndTime) {
  const struct {
    const char* name;
    CpuKind kind;
    std::vector<u8> code;
    Regs in;
    u8 data;  // at (HL) and at every port
    Regs out;
    u32 tstates;
    u16 next_pc;
    std::vector<Cycle> cycles;  // after the fetches of ED and the opcode
  } cases[] = {
      // MLT rr: high x low, flags kept
      {"mlt bc", kHd, {0xED, 0x4C}, {0x55D7, 0x1234, 0x0304, 0x0506, 0x8000}, 0,
       {0x55D7, 0x03A8, 0x0304, 0x0506, 0x8000}, 17, 0x0102, {}},
      {"mlt bc: ff x ff", kHd, {0xED, 0x4C}, {0x0000, 0xFFFF, 0x0304, 0x0506, 0x8000}, 0,
       {0x0000, 0xFE01, 0x0304, 0x0506, 0x8000}, 17, 0x0102, {}},
      {"mlt de", kHd, {0xED, 0x5C}, {0x00FF, 0x0102, 0x0A0B, 0x0506, 0x8000}, 0,
       {0x00FF, 0x0102, 0x006E, 0x0506, 0x8000}, 17, 0x0102, {}},
      {"mlt hl: 0 x ff", kHd, {0xED, 0x6C}, {0x0000, 0x0102, 0x0304, 0x00FF, 0x8000}, 0,
       {0x0000, 0x0102, 0x0304, 0x0000, 0x8000}, 17, 0x0102, {}},
      {"mlt sp", kHd, {0xED, 0x7C}, {0x0000, 0x0102, 0x0304, 0x0506, 0x1010}, 0,
       {0x0000, 0x0102, 0x0304, 0x0506, 0x0100}, 17, 0x0102, {}},

      // IN0 r,(n): port 00nn; S Z P/V from the byte, H N reset, C kept
      {"in0 b", kHd, {0xED, 0x00, 0x3F}, {0x0700, 0x0102, 0x0304, 0x0506, 0x8000}, 0x5A,
       {0x0704, 0x5A02, 0x0304, 0x0506, 0x8000}, 12, 0x0103, {Read(0x0102, 0x3F), In(0x003F, 0x5A)}},
      {"in0 c", kHd, {0xED, 0x08, 0x3F}, {0x0700, 0x0102, 0x0304, 0x0506, 0x8000}, 0x5A,
       {0x0704, 0x015A, 0x0304, 0x0506, 0x8000}, 12, 0x0103, {Read(0x0102, 0x3F), In(0x003F, 0x5A)}},
      {"in0 d", kHd, {0xED, 0x10, 0x3F}, {0x0700, 0x0102, 0x0304, 0x0506, 0x8000}, 0x5A,
       {0x0704, 0x0102, 0x5A04, 0x0506, 0x8000}, 12, 0x0103, {Read(0x0102, 0x3F), In(0x003F, 0x5A)}},
      {"in0 e", kHd, {0xED, 0x18, 0x3F}, {0x0700, 0x0102, 0x0304, 0x0506, 0x8000}, 0x5A,
       {0x0704, 0x0102, 0x035A, 0x0506, 0x8000}, 12, 0x0103, {Read(0x0102, 0x3F), In(0x003F, 0x5A)}},
      {"in0 h", kHd, {0xED, 0x20, 0x3F}, {0x0700, 0x0102, 0x0304, 0x0506, 0x8000}, 0x5A,
       {0x0704, 0x0102, 0x0304, 0x5A06, 0x8000}, 12, 0x0103, {Read(0x0102, 0x3F), In(0x003F, 0x5A)}},
      {"in0 l", kHd, {0xED, 0x28, 0x3F}, {0x0700, 0x0102, 0x0304, 0x0506, 0x8000}, 0x5A,
       {0x0704, 0x0102, 0x0304, 0x055A, 0x8000}, 12, 0x0103, {Read(0x0102, 0x3F), In(0x003F, 0x5A)}},
      {"in0 a", kHd, {0xED, 0x38, 0x3F}, {0x0700, 0x0102, 0x0304, 0x0506, 0x8000}, 0x5A,
       {0x5A04, 0x0102, 0x0304, 0x0506, 0x8000}, 12, 0x0103, {Read(0x0102, 0x3F), In(0x003F, 0x5A)}},
      {"in0 (n): flags only", kHd, {0xED, 0x30, 0xFF}, {0x07C4, 0x0102, 0x0304, 0x0506, 0x8000}, 0x01,
       {0x0700, 0x0102, 0x0304, 0x0506, 0x8000}, 12, 0x0103, {Read(0x0102, 0xFF), In(0x00FF, 0x01)}},
      {"in0 b: S set, C and bits 5, 3 kept", kHd, {0xED, 0x00, 0x80},
       {0x00FF, 0x0102, 0x0304, 0x0506, 0x8000}, 0x80, {0x00A9, 0x8002, 0x0304, 0x0506, 0x8000}, 12,
       0x0103, {Read(0x0102, 0x80), In(0x0080, 0x80)}},
      {"in0 a: zero", kHd, {0xED, 0x38, 0x00}, {0x12D6, 0x0102, 0x0304, 0x0506, 0x8000}, 0x00,
       {0x0044, 0x0102, 0x0304, 0x0506, 0x8000}, 12, 0x0103, {Read(0x0102, 0x00), In(0x0000, 0x00)}},

      // OUT0 (n),r: port 00nn, nothing else changes
      {"out0 b", kHd, {0xED, 0x01, 0x80}, {0x07FF, 0x0102, 0x0304, 0x0506, 0x8000}, 0,
       {0x07FF, 0x0102, 0x0304, 0x0506, 0x8000}, 13, 0x0103, {Read(0x0102, 0x80), Out(0x0080, 0x01)}},
      {"out0 c", kHd, {0xED, 0x09, 0x80}, {0x07FF, 0x0102, 0x0304, 0x0506, 0x8000}, 0,
       {0x07FF, 0x0102, 0x0304, 0x0506, 0x8000}, 13, 0x0103, {Read(0x0102, 0x80), Out(0x0080, 0x02)}},
      {"out0 d", kHd, {0xED, 0x11, 0x80}, {0x07FF, 0x0102, 0x0304, 0x0506, 0x8000}, 0,
       {0x07FF, 0x0102, 0x0304, 0x0506, 0x8000}, 13, 0x0103, {Read(0x0102, 0x80), Out(0x0080, 0x03)}},
      {"out0 e", kHd, {0xED, 0x19, 0x80}, {0x07FF, 0x0102, 0x0304, 0x0506, 0x8000}, 0,
       {0x07FF, 0x0102, 0x0304, 0x0506, 0x8000}, 13, 0x0103, {Read(0x0102, 0x80), Out(0x0080, 0x04)}},
      {"out0 h", kHd, {0xED, 0x21, 0x80}, {0x07FF, 0x0102, 0x0304, 0x0506, 0x8000}, 0,
       {0x07FF, 0x0102, 0x0304, 0x0506, 0x8000}, 13, 0x0103, {Read(0x0102, 0x80), Out(0x0080, 0x05)}},
      {"out0 l", kHd, {0xED, 0x29, 0x80}, {0x07FF, 0x0102, 0x0304, 0x0506, 0x8000}, 0,
       {0x07FF, 0x0102, 0x0304, 0x0506, 0x8000}, 13, 0x0103, {Read(0x0102, 0x80), Out(0x0080, 0x06)}},
      {"out0 a", kHd, {0xED, 0x39, 0xFF}, {0x07FF, 0x0102, 0x0304, 0x0506, 0x8000}, 0,
       {0x07FF, 0x0102, 0x0304, 0x0506, 0x8000}, 13, 0x0103, {Read(0x0102, 0xFF), Out(0x00FF, 0x07)}},

      // TST: A AND the operand, kept in the flags only; H set, N C reset
      {"tst b: zero, bits 5, 3 kept", kHd, {0xED, 0x04}, {0xF0FF, 0x0F00, 0x0304, 0x0506, 0x8000}, 0,
       {0xF07C, 0x0F00, 0x0304, 0x0506, 0x8000}, 7, 0x0102, {}},
      {"tst c: negative", kHd, {0xED, 0x0C}, {0xF000, 0x0080, 0x0304, 0x0506, 0x8000}, 0,
       {0xF090, 0x0080, 0x0304, 0x0506, 0x8000}, 7, 0x0102, {}},
      {"tst d", kHd, {0xED, 0x14}, {0xFF00, 0x0102, 0x0300, 0x0506, 0x8000}, 0,
       {0xFF14, 0x0102, 0x0300, 0x0506, 0x8000}, 7, 0x0102, {}},
      {"tst e: odd parity", kHd, {0xED, 0x1C}, {0xFF00, 0x0102, 0x0001, 0x0506, 0x8000}, 0,
       {0xFF10, 0x0102, 0x0001, 0x0506, 0x8000}, 7, 0x0102, {}},
      {"tst h", kHd, {0xED, 0x24}, {0xC300, 0x0102, 0x0304, 0xFF00, 0x8000}, 0,
       {0xC394, 0x0102, 0x0304, 0xFF00, 0x8000}, 7, 0x0102, {}},
      {"tst l", kHd, {0xED, 0x2C}, {0x0000, 0x0102, 0x0304, 0x00FF, 0x8000}, 0,
       {0x0054, 0x0102, 0x0304, 0x00FF, 0x8000}, 7, 0x0102, {}},
      {"tst a: N and C reset", kHd, {0xED, 0x3C}, {0x8103, 0x0102, 0x0304, 0x0506, 0x8000}, 0,
       {0x8194, 0x0102, 0x0304, 0x0506, 0x8000}, 7, 0x0102, {}},
      {"tst (hl)", kHd, {0xED, 0x34}, {0x3C00, 0x0102, 0x0304, 0x2000, 0x8000}, 0x18,
       {0x3C14, 0x0102, 0x0304, 0x2000, 0x8000}, 10, 0x0102, {Read(0x2000, 0x18)}},
      {"tst n", kHd, {0xED, 0x64, 0x55}, {0xAA01, 0x0102, 0x0304, 0x0506, 0x8000}, 0,
       {0xAA54, 0x0102, 0x0304, 0x0506, 0x8000}, 9, 0x0103, {Read(0x0102, 0x55)}},
      {"tstio n: port 00C, A not used", kHd, {0xED, 0x74, 0x81}, {0x0000, 0x1240, 0x0304, 0x0506, 0x8000},
       0xF1, {0x0094, 0x1240, 0x0304, 0x0506, 0x8000}, 12, 0x0103, {Read(0x0102, 0x81), In(0x0040, 0xF1)}},

      // OTIM and kin: (C) <- (HL); flags of B-1, N from bit 7 of the byte
      {"otim", kHd, {0xED, 0x83}, {0x00FF, 0x0350, 0x0304, 0x2000, 0x8000}, 0x9A,
       {0x002A, 0x0251, 0x0304, 0x2001, 0x8000}, 14, 0x0102, {Read(0x2000, 0x9A), Out(0x0050, 0x9A)}},
      {"otim: b to 0", kHd, {0xED, 0x83}, {0x0000, 0x0150, 0x0304, 0x2000, 0x8000}, 0x1A,
       {0x0044, 0x0051, 0x0304, 0x2001, 0x8000}, 14, 0x0102, {Read(0x2000, 0x1A), Out(0x0050, 0x1A)}},
      {"otim: borrow from bit 4, c wraps", kHd, {0xED, 0x83}, {0x0000, 0x10FF, 0x0304, 0x2000, 0x8000},
       0x80, {0x0016, 0x0F00, 0x0304, 0x2001, 0x8000}, 14, 0x0102, {Read(0x2000, 0x80), Out(0x00FF, 0x80)}},
      {"otim: b from 0, hl wraps", kHd, {0xED, 0x83}, {0x0000, 0x0000, 0x0304, 0xFFFF, 0x8000}, 0x00,
       {0x0095, 0xFF01, 0x0304, 0x0000, 0x8000}, 14, 0x0102, {Read(0xFFFF, 0x00), Out(0x0000, 0x00)}},
      {"otdm", kHd, {0xED, 0x8B}, {0x0000, 0x0350, 0x0304, 0x2000, 0x8000}, 0x9A,
       {0x0002, 0x024F, 0x0304, 0x1FFF, 0x8000}, 14, 0x0102, {Read(0x2000, 0x9A), Out(0x0050, 0x9A)}},
      {"otdm: c and hl wrap", kHd, {0xED, 0x8B}, {0x0000, 0x0200, 0x0304, 0x0000, 0x8000}, 0x01,
       {0x0000, 0x01FF, 0x0304, 0xFFFF, 0x8000}, 14, 0x0102, {Read(0x0000, 0x01), Out(0x0000, 0x01)}},
      {"otimr: repeats", kHd, {0xED, 0x93}, {0x00FF, 0x0250, 0x0304, 0x2000, 0x8000}, 0x00,
       {0x0028, 0x0151, 0x0304, 0x2001, 0x8000}, 16, 0x0100, {Read(0x2000, 0x00), Out(0x0050, 0x00)}},
      {"otimr: last round", kHd, {0xED, 0x93}, {0x0000, 0x0150, 0x0304, 0x2000, 0x8000}, 0x80,
       {0x0046, 0x0051, 0x0304, 0x2001, 0x8000}, 14, 0x0102, {Read(0x2000, 0x80), Out(0x0050, 0x80)}},
      {"otdmr: repeats", kHd, {0xED, 0x9B}, {0x0000, 0x0250, 0x0304, 0x2000, 0x8000}, 0x80,
       {0x0002, 0x014F, 0x0304, 0x1FFF, 0x8000}, 16, 0x0100, {Read(0x2000, 0x80), Out(0x0050, 0x80)}},
      {"otdmr: last round", kHd, {0xED, 0x9B}, {0x0000, 0x0150, 0x0304, 0x2000, 0x8000}, 0x00,
       {0x0044, 0x004F, 0x0304, 0x1FFF, 0x8000}, 14, 0x0102, {Read(0x2000, 0x00), Out(0x0050, 0x00)}},

      // SLP: halts; PC as reported while halted is past the SLP
      {"slp", kHd, {0xED, 0x76}, {0x1234, 0x0102, 0x0304, 0x0506, 0x8000}, 0,
       {0x1234, 0x0102, 0x0304, 0x0506, 0x8000}, 8, 0x0102, {}},

      // MULUB A,r: HL <- A x r; Z from the product, C when above FFh
      {"mulub a,b: carry", kR800, {0xED, 0xC1}, {0x1000, 0x2000, 0x0304, 0x0506, 0x8000}, 0,
       {0x1001, 0x2000, 0x0304, 0x0200, 0x8000}, 14, 0x0102, {}},
      {"mulub a,c: fits, bits 5, 3 kept", kR800, {0xED, 0xC9}, {0x0FFF, 0x0011, 0x0304, 0x0506, 0x8000}, 0,
       {0x0F28, 0x0011, 0x0304, 0x00FF, 0x8000}, 14, 0x0102, {}},
      {"mulub a,d: ff x ff", kR800, {0xED, 0xD1}, {0xFF00, 0x0102, 0xFF00, 0x0506, 0x8000}, 0,
       {0xFF01, 0x0102, 0xFF00, 0xFE01, 0x8000}, 14, 0x0102, {}},
      {"mulub a,e: zero", kR800, {0xED, 0xD9}, {0x00FF, 0x0102, 0x0355, 0x0506, 0x8000}, 0,
       {0x0068, 0x0102, 0x0355, 0x0000, 0x8000}, 14, 0x0102, {}},

      // MULUW HL,rr: DE:HL <- HL x rr; Z from the product, C when above FFFFh
      {"muluw hl,bc", kR800, {0xED, 0xC3}, {0x0000, 0x5678, 0x0304, 0x1234, 0x8000}, 0,
       {0x0001, 0x5678, 0x0626, 0x0060, 0x8000}, 36, 0x0102, {}},
      {"muluw hl,sp: ffff x ffff", kR800, {0xED, 0xF3}, {0x0000, 0x0102, 0x0304, 0xFFFF, 0xFFFF}, 0,
       {0x0001, 0x0102, 0xFFFE, 0x0001, 0xFFFF}, 36, 0x0102, {}},
      {"muluw hl,bc: fits in hl", kR800, {0xED, 0xC3}, {0x00FF, 0x00FF, 0x0304, 0x0100, 0x8000}, 0,
       {0x0028, 0x00FF, 0x0000, 0xFF00, 0x8000}, 36, 0x0102, {}},
      {"muluw hl,bc: zero", kR800, {0xED, 0xC3}, {0x0000, 0x1234, 0x9999, 0x0000, 0x8000}, 0,
       {0x0040, 0x1234, 0x0000, 0x0000, 0x8000}, 36, 0x0102, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    bus.memory.fill(0);
    bus.ports.fill(c.data);
    bus.memory[c.in.hl] = c.data;
    Load(kAt, c.code);
    Start(c.kind, kAt, c.in, 0xFF);
    EXPECT_EQ(cpu.StepInstruction(), c.tstates);
    EXPECT_EQ(cpu.TStates(), c.tstates);
    ExpectRegs(c.out);
    const DevRegisters r = cpu.GetRegisters();
    EXPECT_EQ(r.pc, c.next_pc);
    EXPECT_EQ(r.r, 0x81);  // two M1 cycles: bits 0-6 wrap, bit 7 stays
    std::vector<Cycle> expected = {Fetch(kAt, 0xED), Fetch(kAt + 1, c.code[1])};
    expected.insert(expected.end(), c.cycles.begin(), c.cycles.end());
    EXPECT_EQ(bus.cycles, expected);
  }
}

// The ED opcodes each kind adds, as the chips' documentation lists them.
TEST_F(CpuExtTest, EachKindAddsExactlyItsOwnOpcodes) {
  const std::vector<u8> hd64180 = {
      0x00, 0x08, 0x10, 0x18, 0x20, 0x28, 0x30, 0x38,  // IN0
      0x01, 0x09, 0x11, 0x19, 0x21, 0x29, 0x39,        // OUT0
      0x04, 0x0C, 0x14, 0x1C, 0x24, 0x2C, 0x34, 0x3C,  // TST r, TST (HL)
      0x4C, 0x5C, 0x6C, 0x7C,                          // MLT
      0x64, 0x74, 0x76,                                // TST n, TSTIO, SLP
      0x83, 0x8B, 0x93, 0x9B,                          // OTIM OTDM OTIMR OTDMR
  };
  const std::vector<u8> r800 = {0xC1, 0xC9, 0xD1, 0xD9, 0xC3, 0xF3};
  const struct {
    CpuKind kind;
    const std::vector<u8>* added;
  } cases[] = {
      {CpuKind::Z80, nullptr},
      {CpuKind::HD64180, &hd64180},
      {CpuKind::KC80, nullptr},
      {CpuKind::R800, &r800},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(KindName(c.kind));
    EXPECT_EQ(dev_ext_kind_adds(c.kind), c.added != nullptr);
    for (int opcode = 0; opcode < 0x100; ++opcode) {
      const bool listed = c.added && std::find(c.added->begin(), c.added->end(), opcode) != c.added->end();
      EXPECT_EQ(dev_ext_decode(c.kind, u8(opcode)) != ExtOp::None, listed) << "ED " << std::hex << opcode;
    }
  }
}

// Where a kind does not add an opcode, the Z80 core runs it: NEG, IM 1 or
// an 8-state no-op, with no operand read.
TEST_F(CpuExtTest, OpcodesAKindDoesNotAddRunAsOnTheZ80) {
  enum class Effect { Nop, Neg, Im1 };
  const struct {
    CpuKind kind;
    u8 opcode;
    Effect effect;
  } cases[] = {
      {CpuKind::Z80, 0x4C, Effect::Neg},     {CpuKind::Z80, 0x5C, Effect::Neg},
      {CpuKind::Z80, 0x6C, Effect::Neg},     {CpuKind::Z80, 0x7C, Effect::Neg},
      {CpuKind::Z80, 0x64, Effect::Neg},     {CpuKind::Z80, 0x74, Effect::Neg},
      {CpuKind::Z80, 0x76, Effect::Im1},     {CpuKind::Z80, 0x00, Effect::Nop},
      {CpuKind::Z80, 0x01, Effect::Nop},     {CpuKind::Z80, 0x30, Effect::Nop},
      {CpuKind::Z80, 0x34, Effect::Nop},     {CpuKind::Z80, 0x83, Effect::Nop},
      {CpuKind::Z80, 0x93, Effect::Nop},     {CpuKind::Z80, 0xC1, Effect::Nop},
      {CpuKind::Z80, 0xF3, Effect::Nop},     {CpuKind::KC80, 0x4C, Effect::Neg},
      {CpuKind::KC80, 0x76, Effect::Im1},    {CpuKind::KC80, 0x00, Effect::Nop},
      {CpuKind::KC80, 0xC1, Effect::Nop},    {CpuKind::HD64180, 0x31, Effect::Nop},  // no OUT0 (n),(HL)
      {CpuKind::HD64180, 0xC1, Effect::Nop}, {CpuKind::HD64180, 0xF3, Effect::Nop},
      {CpuKind::R800, 0x4C, Effect::Neg},    {CpuKind::R800, 0x76, Effect::Im1},
      {CpuKind::R800, 0x00, Effect::Nop},    {CpuKind::R800, 0x83, Effect::Nop},
  };
  constexpr Regs kIn = {0x0100, 0x1234, 0x5678, 0x2000, 0x8000};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << KindName(c.kind) << " ED " << std::hex << int(c.opcode));
    bus.memory.fill(0);
    bus.ports.fill(0x77);
    Load(kAt, {0xED, c.opcode, 0x3C});  // inc a after it: not an operand
    Start(c.kind, kAt, kIn, 0x10);
    EXPECT_EQ(cpu.StepInstruction(), 8u);
    const DevRegisters r = cpu.GetRegisters();
    EXPECT_EQ(r.pc, kAt + 2);
    EXPECT_EQ(r.r, 0x12);
    EXPECT_EQ(r.af, c.effect == Effect::Neg ? 0xFFBB : kIn.af);  // 0 - 1: S, 5, H, 3, N, C
    EXPECT_EQ(r.im, c.effect == Effect::Im1 ? 1 : 0);
    EXPECT_EQ(r.bc, kIn.bc);
    EXPECT_EQ(r.de, kIn.de);
    EXPECT_EQ(r.hl, kIn.hl);
    EXPECT_EQ(r.sp, kIn.sp);
    const std::vector<Cycle> expected = {Fetch(kAt, 0xED), Fetch(kAt + 1, c.opcode)};
    EXPECT_EQ(bus.cycles, expected);
  }
}

// A program of Z80 instructions only, ED-prefixed and indexed ones among
// them, runs alike on every kind: same cycles, each fetch once, same state.
TEST_F(CpuExtTest, Z80ProgramRunsAlikeOnEveryKind) {
  constexpr u8 kProgram[] = {
      0x31, 0x00, 0x80,        // 0000 ld sp,8000h
      0x01, 0x34, 0x12,        // 0003 ld bc,1234h
      0xED, 0x78,              // 0006 in a,(c)
      0xED, 0x79,              // 0008 out (c),a
      0x21, 0x00, 0x20,        // 000A ld hl,2000h
      0x11, 0x00, 0x30,        // 000D ld de,3000h
      0x01, 0x03, 0x00,        // 0010 ld bc,3
      0xED, 0xB0,              // 0013 ldir
      0xDD, 0x21, 0x00, 0x20,  // 0015 ld ix,2000h
      0xDD, 0xCB, 0x01, 0x46,  // 0019 bit 0,(ix+1)
      0xFD, 0xDD, 0x7E, 0x02,  // 001D ld a,(ix+2): the FD is dropped
      0xCB, 0x27,              // 0021 sla a
      0xED, 0x53, 0x00, 0x40,  // 0023 ld (4000h),de
      0xED, 0x44,              // 0027 neg
      0xC5,                    // 0029 push bc
      0xED, 0x5F,              // 002A ld a,r: R must have moved alike
      0x76,                    // 002C halt
  };
  const auto run = [this, &kProgram](CpuKind kind) {
    bus.memory.fill(0);
    bus.ports.fill(0);
    std::copy(std::begin(kProgram), std::end(kProgram), bus.memory.begin());
    Load(0x2000, {0x11, 0x22, 0x33});
    bus.ports[0x1234] = 0x5C;
    cpu.Reset();
    cpu.SetCpuKind(kind);
    bus.cycles.clear();
    cpu.Run(400);
    EXPECT_TRUE(cpu.Halted());
  };
  run(CpuKind::Z80);
  const std::vector<Cycle> z80_cycles = bus.cycles;
  const DevRegisters z80_regs = cpu.GetRegisters();
  const u64 z80_tstates = cpu.TStates();
  ASSERT_EQ(z80_regs.pc, 0x002D);

  for (const CpuKind kind : {CpuKind::HD64180, CpuKind::KC80, CpuKind::R800}) {
    SCOPED_TRACE(KindName(kind));
    run(kind);
    EXPECT_EQ(bus.cycles, z80_cycles);
    EXPECT_EQ(cpu.GetRegisters(), z80_regs);
    EXPECT_EQ(cpu.TStates(), z80_tstates);
  }
}

// The internal I/O space: IN0 and OUT0 put 0 on A8-A15 where IN and OUT with
// an immediate port put A there.
TEST_F(CpuExtTest, In0AndOut0CyclesCarryAZeroHighByte) {
  Load(0x0000, {
                   0x3E, 0x12,        // ld a,12h
                   0x01, 0x56, 0x34,  // ld bc,3456h
                   0xED, 0x39, 0x78,  // out0 (78h),a
                   0xD3, 0x78,        // out (78h),a
                   0xED, 0x10, 0x9A,  // in0 d,(9Ah)
                   0xDB, 0x9A,        // in a,(9Ah)
                   0xED, 0x74, 0x0F,  // tstio 0Fh: port 00C
               });
  bus.ports[0x009A] = 0x5E;
  bus.ports[0x129A] = 0x6F;
  bus.ports[0x0056] = 0xF0;
  cpu.SetCpuKind(CpuKind::HD64180);
  for (int i = 0; i < 7; ++i) cpu.StepInstruction();

  const std::vector<Cycle> expected = {
      Fetch(0x0000, 0x3E), Read(0x0001, 0x12),
      Fetch(0x0002, 0x01), Read(0x0003, 0x56), Read(0x0004, 0x34),
      Fetch(0x0005, 0xED), Fetch(0x0006, 0x39), Read(0x0007, 0x78), Out(0x0078, 0x12),
      Fetch(0x0008, 0xD3), Read(0x0009, 0x78), Out(0x1278, 0x12),
      Fetch(0x000A, 0xED), Fetch(0x000B, 0x10), Read(0x000C, 0x9A), In(0x009A, 0x5E),
      Fetch(0x000D, 0xDB), Read(0x000E, 0x9A), In(0x129A, 0x6F),
      Fetch(0x000F, 0xED), Fetch(0x0010, 0x74), Read(0x0011, 0x0F), In(0x0056, 0xF0),
  };
  EXPECT_EQ(bus.cycles, expected);
  const DevRegisters r = cpu.GetRegisters();
  EXPECT_EQ(r.de >> 8, 0x5E);
  EXPECT_EQ(r.af >> 8, 0x6F);
  EXPECT_EQ(r.af & 0x40, 0x40);  // F0h AND 0Fh is zero
  EXPECT_EQ(r.pc, 0x0012);
}

TEST_F(CpuExtTest, AddedInstructionWrapsAtTheTopOfMemory) {
  const struct {
    const char* name;
    u16 at;
    std::vector<u8> code;
    u16 next_pc;
    std::vector<Cycle> cycles;
  } cases[] = {
      {"opcode at 0000h", 0xFFFF, {0xED, 0x4C}, 0x0001, {Fetch(0xFFFF, 0xED), Fetch(0x0000, 0x4C)}},
      {"operand at 0000h", 0xFFFE, {0xED, 0x38, 0x42}, 0x0001,
       {Fetch(0xFFFE, 0xED), Fetch(0xFFFF, 0x38), Read(0x0000, 0x42), In(0x0042, 0x99)}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    bus.memory.fill(0);
    bus.ports.fill(0x99);
    Load(c.at, c.code);
    Start(CpuKind::HD64180, c.at, {0x0000, 0x0203, 0, 0, 0x8000});
    cpu.StepInstruction();
    EXPECT_EQ(cpu.GetRegisters().pc, c.next_pc);
    EXPECT_EQ(bus.cycles, c.cycles);
  }
}

// EI holds interrupts off for one instruction; an added one ends the
// hold-off as any other does, so the interrupt comes right after it.
TEST_F(CpuExtTest, InterruptAfterEiWaitsForTheAddedInstructionOnly) {
  const struct {
    const char* name;
    std::vector<u8> code;
    u32 tstates;
    bool halts;
  } cases[] = {
      {"slp", {0xED, 0x76}, 8, true},
      {"mlt bc", {0xED, 0x4C}, 17, false},
      {"tst n", {0xED, 0x64, 0x01}, 9, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    bus.memory.fill(0);
    Load(0x0000, {0x31, 0x00, 0x80,  // ld sp,8000h
                  0xED, 0x56,        // im 1
                  0xFB});            // ei
    Load(0x0006, c.code);
    const u16 after = u16(0x0006 + c.code.size());
    cpu.Reset();
    cpu.SetCpuKind(CpuKind::HD64180);
    cpu.Interrupt(true);
    bus.cycles.clear();
    EXPECT_EQ(cpu.StepInstruction(), 10u);
    EXPECT_EQ(cpu.StepInstruction(), 8u);
    EXPECT_EQ(cpu.StepInstruction(), 4u);
    EXPECT_EQ(cpu.StepInstruction(), c.tstates);
    EXPECT_EQ(cpu.Halted(), c.halts);
    EXPECT_EQ(bus.Count(BusCycle::InterruptAck), 0u);
    EXPECT_EQ(cpu.StepInstruction(), 13u);
    EXPECT_EQ(bus.Count(BusCycle::InterruptAck), 1u);
    EXPECT_FALSE(cpu.Halted());
    EXPECT_EQ(cpu.GetRegisters().pc, 0x0038);
    EXPECT_EQ(Word(0x7FFE), after);
    cpu.Interrupt(false);
  }
}

TEST_F(CpuExtTest, SlpHaltsFetchingTheByteAfterIt) {
  Load(0x0000, {0x31, 0x00, 0x80,  // ld sp,8000h
                0xED, 0x76,        // 0003 slp
                0x3C,              // 0005 inc a
                0x18, 0xFE});      // jr $
  cpu.SetCpuKind(CpuKind::HD64180);
  EXPECT_EQ(cpu.Run(200), 10u + 8u + 4u * 46);
  EXPECT_TRUE(cpu.Halted());
  EXPECT_EQ(cpu.GetRegisters().pc, 0x0005);
  EXPECT_EQ(cpu.GetRegisters().af >> 8, 0xFF);  // INC A not run
  const auto slp = std::find(bus.cycles.begin(), bus.cycles.end(), Fetch(0x0004, 0x76));
  ASSERT_NE(slp, bus.cycles.end());
  ASSERT_EQ(bus.cycles.end() - slp, 47);
  for (auto it = slp + 1; it != bus.cycles.end(); ++it) EXPECT_EQ(*it, Fetch(0x0005, 0x3C));

  cpu.Nmi();
  EXPECT_EQ(cpu.StepInstruction(), 11u);
  EXPECT_FALSE(cpu.Halted());
  EXPECT_EQ(cpu.GetRegisters().pc, 0x0066);
  EXPECT_EQ(Word(0x7FFE), 0x0005);
}

// OTIMR sends one byte per step and stays on itself, so an NMI between two
// rounds returns to it and the transfer goes on where it stopped.
TEST_F(CpuExtTest, OtimrRunsARoundPerStepAndResumesAfterNmi) {
  Load(kAt, {0xED, 0x93, 0x76});  // otimr / halt
  Load(0x2000, {0x11, 0x22, 0x83});
  Load(0x0066, {0xED, 0x45});     // retn
  Start(CpuKind::HD64180, kAt, {0x0000, 0x0340, 0x0000, 0x2000, 0x8000});

  EXPECT_EQ(cpu.StepInstruction(), 16u);
  EXPECT_EQ(cpu.GetRegisters().pc, kAt);
  cpu.Nmi();
  EXPECT_EQ(cpu.StepInstruction(), 11u);
  EXPECT_EQ(Word(0x7FFE), kAt);
  EXPECT_EQ(cpu.StepInstruction(), 14u);  // retn
  EXPECT_EQ(cpu.GetRegisters().pc, kAt);
  EXPECT_EQ(cpu.StepInstruction(), 16u);
  EXPECT_EQ(cpu.StepInstruction(), 14u);
  EXPECT_EQ(cpu.GetRegisters().pc, kAt + 2);

  std::vector<Cycle> outs;
  std::copy_if(bus.cycles.begin(), bus.cycles.end(), std::back_inserter(outs),
               [](const Cycle& c) { return c.kind == BusCycle::IoWrite; });
  const std::vector<Cycle> expected = {Out(0x0040, 0x11), Out(0x0041, 0x22), Out(0x0042, 0x83)};
  EXPECT_EQ(outs, expected);
  EXPECT_EQ(std::count(bus.cycles.begin(), bus.cycles.end(), Fetch(kAt + 1, 0x93)), 3);
  ExpectRegs({0x0046, 0x0043, 0x0000, 0x2003, 0x8000});  // Z, P/V, and N from 83h
}

}  // namespace
