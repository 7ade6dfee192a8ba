// The HD64180 and R800 additions to the Z80 set: one opcode table per kind
// that adds any, and one routine that carries an added instruction out. Flag
// bits 5 and 3 keep their old values throughout: neither chip defines them
// for these instructions.
#include "platform/device/dev_cpu_ext.h"

#include <array>
#include <bit>
#include <cassert>
#include <cstddef>
#include <iterator>

namespace {

constexpr u8 kFlagS = 0x80;
constexpr u8 kFlagZ = 0x40;
constexpr u8 kFlagH = 0x10;
constexpr u8 kFlagPV = 0x04;
constexpr u8 kFlagN = 0x02;
constexpr u8 kFlagC = 0x01;
constexpr u8 kFlagsUndefined = 0x28;  // bits 5 and 3

using OpTable = std::array<ExtOp, 256>;  // indexed by the byte after ED

// Register fields: r in bits 5-3 (B C D E H L - A; 6 is (HL) or none),
// rr in bits 5-4 (BC DE HL SP).
constexpr u8 kNoRegister = 6;

constexpr OpTable kHd64180Ops = [] {
  OpTable t{};
  t.fill(ExtOp::None);
  for (u8 r = 0; r < 8; ++r) {
    t[r << 3] = ExtOp::In0;                                       // ED 00-38
    if (r != kNoRegister) t[r << 3 | 0x01] = ExtOp::Out0;         // ED 01-39
    t[r << 3 | 0x04] = r == kNoRegister ? ExtOp::TstMem : ExtOp::Tst;  // ED 04-3C
  }
  for (u8 rr = 0; rr < 4; ++rr) t[rr << 4 | 0x4C] = ExtOp::Mlt;  // ED 4C-7C
  t[0x64] = ExtOp::TstImm;
  t[0x74] = ExtOp::TstIo;
  t[0x76] = ExtOp::Slp;
  t[0x83] = ExtOp::Otim;  // OTIM
  t[0x8B] = ExtOp::Otim;  // OTDM
  t[0x93] = ExtOp::Otim;  // OTIMR
  t[0x9B] = ExtOp::Otim;  // OTDMR
  return t;
}();

constexpr OpTable kR800Ops = [] {
  OpTable t{};
  t.fill(ExtOp::None);
  t[0xC1] = ExtOp::Mulub;  // MULUB A,B
  t[0xC9] = ExtOp::Mulub;  // MULUB A,C
  t[0xD1] = ExtOp::Mulub;  // MULUB A,D
  t[0xD9] = ExtOp::Mulub;  // MULUB A,E
  t[0xC3] = ExtOp::Muluw;  // MULUW HL,BC
  t[0xF3] = ExtOp::Muluw;  // MULUW HL,SP
  return t;
}();

// T-states of each operation, opcode fetches included: the HD64180's clock
// states and the R800's clock cycles as the chips' instruction tables give
// them. The rest of either chip's set is timed by the core as on a Z80.
struct OpTiming {
  ExtOp op;
  u8 tstates;
};
constexpr OpTiming kOpTimings[] = {  // ORDER ExtOp
    {ExtOp::None, 0},
    {ExtOp::Mlt, 17},
    {ExtOp::In0, 12},
    {ExtOp::Out0, 13},
    {ExtOp::Tst, 7},
    {ExtOp::TstMem, 10},
    {ExtOp::TstImm, 9},
    {ExtOp::TstIo, 12},
    {ExtOp::Otim, 14},  // and the last round of OTIMR/OTDMR
    {ExtOp::Slp, 8},
    {ExtOp::Mulub, 14},
    {ExtOp::Muluw, 36},
};
constexpr u8 kOtimRepeatTStates = 16;  // a round of OTIMR/OTDMR that goes on
static_assert(std::size(kOpTimings) == std::size_t(ExtOp::Muluw) + 1);
consteval bool timings_in_op_order() {
  for (std::size_t i = 0; i < std::size(kOpTimings); ++i)
    if (std::size_t(kOpTimings[i].op) != i) return false;
  return true;
}
static_assert(timings_in_op_order());

// Byte register r of the field (never 6).
u8 get8(const ExtRegisters& regs, u8 r) {
  assert(r != kNoRegister);
  switch (r) {
    case 0: return u8(regs.bc >> 8);
    case 1: return u8(regs.bc);
    case 2: return u8(regs.de >> 8);
    case 3: return u8(regs.de);
    case 4: return u8(regs.hl >> 8);
    case 5: return u8(regs.hl);
    default: return regs.a;
  }
}

void set8(ExtRegisters& regs, u8 r, u8 value) {
  assert(r != kNoRegister);
  const auto high = [value](u16& pair) { pair = u16((pair & 0x00FF) | value << 8); };
  const auto low = [value](u16& pair) { pair = u16((pair & 0xFF00) | value); };
  switch (r) {
    case 0: high(regs.bc); break;
    case 1: low(regs.bc); break;
    case 2: high(regs.de); break;
    case 3: low(regs.de); break;
    case 4: high(regs.hl); break;
    case 5: low(regs.hl); break;
    default: regs.a = value; break;
  }
}

u16& pair(ExtRegisters& regs, u8 rr) {
  switch (rr & 3) {
    case 0: return regs.bc;
    case 1: return regs.de;
    case 2: return regs.hl;
    default: return regs.sp;
  }
}

// S, Z and P/V as a logical operation on `value` leaves them.
u8 sign_zero_parity(u8 value) {
  return u8((value & kFlagS) | (value == 0 ? kFlagZ : 0) |
            (std::popcount(value) % 2 == 0 ? kFlagPV : 0));
}

// The flags a TST leaves for the AND `result`: H set, N and C reset.
u8 test_flags(u8 f, u8 result) {
  return u8((f & kFlagsUndefined) | sign_zero_parity(result) | kFlagH);
}

// The internal I/O space: the low byte on A0-A7, A8-A15 held at 0.
constexpr u16 internal_port(u8 low) { return low; }

}  // namespace

ExtOp dev_ext_decode(CpuKind kind, u8 opcode) {
  switch (kind) {
    case CpuKind::HD64180: return kHd64180Ops[opcode];
    case CpuKind::R800: return kR800Ops[opcode];
    case CpuKind::Z80:
    case CpuKind::KC80: break;
  }
  return ExtOp::None;
}

bool dev_ext_kind_adds(CpuKind kind) { return kind == CpuKind::HD64180 || kind == CpuKind::R800; }

u32 dev_ext_execute(ExtOp op, u8 opcode, ExtRegisters& regs, DevBus& bus) {
  assert(op != ExtOp::None);
  const u8 r = (opcode >> 3) & 7;
  u16 next = u16(regs.pc + 2);  // past ED and the opcode
  u32 tstates = kOpTimings[std::size_t(op)].tstates;
  // The operand byte after the opcode.
  const auto operand = [&bus, &next] {
    const u8 n = bus.MemoryRead(next, BusCycle::MemoryRead);
    next = u16(next + 1);
    return n;
  };

  switch (op) {
    case ExtOp::None:
      break;
    case ExtOp::Mlt: {  // rr <- high byte x low byte; flags untouched
      u16& rr = pair(regs, u8(opcode >> 4));
      rr = u16((rr >> 8) * (rr & 0xFF));
      break;
    }
    case ExtOp::In0: {  // H and N reset, C kept
      const u8 value = bus.IoRead(internal_port(operand()));
      if (r != kNoRegister) set8(regs, r, value);
      regs.f = u8((regs.f & (kFlagsUndefined | kFlagC)) | sign_zero_parity(value));
      break;
    }
    case ExtOp::Out0: {  // flags untouched
      const u8 port = operand();
      bus.IoWrite(internal_port(port), get8(regs, r));
      break;
    }
    case ExtOp::Tst:  // A AND r
      regs.f = test_flags(regs.f, u8(regs.a & get8(regs, r)));
      break;
    case ExtOp::TstMem:  // A AND (HL)
      regs.f = test_flags(regs.f, u8(regs.a & bus.MemoryRead(regs.hl, BusCycle::MemoryRead)));
      break;
    case ExtOp::TstImm:  // A AND n
      regs.f = test_flags(regs.f, u8(regs.a & operand()));
      break;
    case ExtOp::TstIo: {  // (C) AND n
      const u8 mask = operand();
      regs.f = test_flags(regs.f, u8(bus.IoRead(internal_port(u8(regs.bc))) & mask));
      break;
    }
    case ExtOp::Otim: {
      // (C) <- (HL); HL and C step up (bit 3 clear) or down; B counts down.
      // S, Z, H, P/V and C are those of the decrement of B, N is bit 7 of
      // the byte sent; a finished repeat leaves S 0, Z 1, H 0, P/V 1, C 0.
      // H, P/V and C of the rounds before the last are approximate. The
      // repeat forms (bit 4) run one round per step and stay on the
      // instruction, refetching it, until B reaches 0.
      const u8 data = bus.MemoryRead(regs.hl, BusCycle::MemoryRead);
      const u8 c = u8(regs.bc);
      bus.IoWrite(internal_port(c), data);
      const int step = (opcode & 0x08) != 0 ? -1 : 1;
      regs.hl = u16(regs.hl + step);
      const u8 b = u8(regs.bc >> 8);
      const u8 count = u8(b - 1);
      regs.bc = u16(count << 8 | u8(c + step));
      regs.f = u8((regs.f & kFlagsUndefined) | sign_zero_parity(count) |
                  ((b & 0x0F) == 0 ? kFlagH : 0) |  // borrow from bit 4
                  ((data & 0x80) != 0 ? kFlagN : 0) | (b == 0 ? kFlagC : 0));
      if ((opcode & 0x10) != 0 && count != 0) {
        next = regs.pc;
        tstates = kOtimRepeatTStates;
      }
      break;
    }
    case ExtOp::Slp:
      break;
    case ExtOp::Mulub: {  // HL <- A x r (B C D E)
      const u16 product = u16(regs.a * get8(regs, r));
      regs.hl = product;
      // Z from the product, C when it does not fit in L. S, H, P/V and N
      // reset: approximate, the chip's own values for them are not known.
      regs.f = u8((regs.f & kFlagsUndefined) | (product == 0 ? kFlagZ : 0) |
                  (product > 0xFF ? kFlagC : 0));
      break;
    }
    case ExtOp::Muluw: {  // DE:HL <- HL x rr (BC SP)
      const u32 product = u32(regs.hl) * pair(regs, u8(opcode >> 4));
      regs.de = u16(product >> 16);
      regs.hl = u16(product);
      // Z from the product, C when it does not fit in HL; S, H, P/V and N
      // reset, as for MULUB.
      regs.f = u8((regs.f & kFlagsUndefined) | (product == 0 ? kFlagZ : 0) |
                  (product > 0xFFFF ? kFlagC : 0));
      break;
    }
  }
  regs.pc = next;
  return tstates;
}
