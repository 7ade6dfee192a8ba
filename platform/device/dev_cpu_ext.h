// The instructions the HD64180 and the R800 add to the Z80 set, all of them
// behind the ED prefix: which opcodes they are on each CPU kind, and what each
// one does to the registers and the bus. The caller makes the two opcode
// fetches; every later cycle of the instruction is made here, in the chip's
// order. The KC80 adds none here: it runs the Z80 set as the core does.
#pragma once

#include "platform/device/dev_bus.h"
#include "platform/device/dev_cpu.h"
#include "platform/host/host_types.h"

// What an added instruction does. ORDER ExtOp: the T-state table follows it.
enum class ExtOp : u8 {
  None,    // not added on this kind: the Z80 core runs ED xx
  Mlt,     // HD64180 MLT rr            ED 4C 5C 6C 7C
  In0,     // HD64180 IN0 r,(n)         ED 00-38 (ED 30: flags only)
  Out0,    // HD64180 OUT0 (n),r        ED 01-39, no ED 31
  Tst,     // HD64180 TST r             ED 04-3C but ED 34
  TstMem,  // HD64180 TST (HL)          ED 34
  TstImm,  // HD64180 TST n             ED 64
  TstIo,   // HD64180 TSTIO n           ED 74
  Otim,    // HD64180 OTIM OTDM OTIMR OTDMR  ED 83 8B 93 9B
  Slp,     // HD64180 SLP               ED 76
  Mulub,   // R800 MULUB A,r            ED C1 C9 D1 D9
  Muluw,   // R800 MULUW HL,rr          ED C3 F3
};

// The registers an added instruction reads and writes, taken from the core
// before it runs and put back after.
struct ExtRegisters {
  u8 a = 0;
  u8 f = 0;
  u16 bc = 0;
  u16 de = 0;
  u16 hl = 0;
  u16 sp = 0;
  u16 pc = 0;  // on entry, of the ED prefix; on return, of the next instruction
};

// The added instruction ED `opcode` on a CPU of `kind`, or ExtOp::None.
ExtOp dev_ext_decode(CpuKind kind, u8 opcode);

// Whether `kind` adds any instruction at all (false: every ED opcode is the
// core's, and the CPU need not look at one before the core does).
bool dev_ext_kind_adds(CpuKind kind);

// Runs ED `opcode`, decoded as `op` (not None), whose prefix and opcode have
// been fetched at regs.pc and regs.pc + 1. Operand reads, memory reads and
// I/O cycles go to `bus`. Leaves regs.pc at the next instruction: past the
// operands, or on the instruction itself while a repeat goes on. SLP changes
// no register; halting is the caller's. Returns the T-states of the whole
// instruction, opcode fetches included.
u32 dev_ext_execute(ExtOp op, u8 opcode, ExtRegisters& regs, DevBus& bus);
