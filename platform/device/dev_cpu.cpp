// The target CPU: libz80ex driven one instruction at a time, its callbacks
// turned into classified bus cycles. The core executes a prefix byte as a
// step of its own; a step here always runs on to the end of the instruction.
// For a kind with added instructions the opcode is fetched here first; the
// core takes a byte fetched so from a queue, so that the bus sees each fetch
// once.
#include "platform/device/dev_cpu.h"

#include <new>

#include <z80ex/z80ex.h>

#include "platform/device/dev_cpu_ext.h"
#include "platform/device/dev_events.h"

namespace {

constexpr u8 kNopOpcode = 0x00;
constexpr u8 kHaltOpcode = 0x76;
constexpr u8 kEdPrefix = 0xED;

// The bus seen by LeaveHalt(): reads give FF, writes go nowhere.
Z80EX_BYTE detached_read(Z80EX_CONTEXT*, Z80EX_WORD, int, void*) { return 0xFF; }
void detached_write(Z80EX_CONTEXT*, Z80EX_WORD, Z80EX_BYTE, void*) {}

}  // namespace

// The core's callbacks; user_data is the DevCpu.
struct DevCpuCallbacks {
  // A memory cycle through the bus's shortcut where it has one.
  static u8 BusRead(DevCpu& cpu, u16 address, BusCycle cycle) {
    const DevBusShortcut& s = cpu.bus_.Shortcut();
    const unsigned index = address >> DevBusShortcut::kPageShift;
    if (const u8* page = s.read[index]) {
      ++s.counts[std::size_t(cycle)];
      const u8 v = page[address & DevBusShortcut::kOffsetMask];
      if (s.events != nullptr)
        Observe(cpu, s, s.physical[index] | (address & DevBusShortcut::kOffsetMask), v,
                cycle == BusCycle::OpcodeFetch ? kDevStatusFetch : kDevStatusMemRead);
      return v;
    }
    return cpu.bus_.MemoryRead(address, cycle);
  }
  static void Observe(DevCpu& cpu, const DevBusShortcut& s, u32 physical, u8 value, u8 status) {
    s.events->Cycle(physical, value, status, cpu.Clock());
    if (s.events->BreakRequested()) cpu.bus_.InstrumentsBreak();
  }
  static Z80EX_BYTE Read(Z80EX_CONTEXT*, Z80EX_WORD address, int m1_state, void* user) {
    DevCpu& cpu = *static_cast<DevCpu*>(user);
    if (m1_state == 0) return BusRead(cpu, address, BusCycle::MemoryRead);
    // fetched on the bus already, by StepAdded()?
    if (cpu.fetchedNext_ < cpu.fetchedCount_ && cpu.fetched_[cpu.fetchedNext_].address == address)
      return cpu.fetched_[cpu.fetchedNext_++].value;
    if (!cpu.halted_) {
      const u8 opcode = BusRead(cpu, address, BusCycle::OpcodeFetch);
      if (opcode == kHaltOpcode) cpu.haltFetched_ = true;  // the core may now be halted
      return opcode;
    }
    // Halted: the core keeps PC on the HALT and runs it again. The chip has
    // PC past the HALT and fetches there, ignoring the byte; give the core
    // its HALT whatever the memory holds.
    cpu.bus_.MemoryRead(u16(address + 1), BusCycle::OpcodeFetch);
    return kHaltOpcode;
  }
  static void Write(Z80EX_CONTEXT*, Z80EX_WORD address, Z80EX_BYTE value, void* user) {
    DevCpu& cpu = *static_cast<DevCpu*>(user);
    const DevBusShortcut& s = cpu.bus_.Shortcut();
    const unsigned index = address >> DevBusShortcut::kPageShift;
    if (u8* page = s.write[index]) {
      ++s.counts[std::size_t(BusCycle::MemoryWrite)];
      page[address & DevBusShortcut::kOffsetMask] = value;
      if (s.events != nullptr)
        Observe(cpu, s, s.physical[index] | (address & DevBusShortcut::kOffsetMask), value, kDevStatusMemWrite);
      return;
    }
    cpu.bus_.MemoryWrite(address, value);
  }
  static Z80EX_BYTE PortRead(Z80EX_CONTEXT*, Z80EX_WORD port, void* user) {
    return static_cast<DevCpu*>(user)->bus_.IoRead(port);
  }
  static void PortWrite(Z80EX_CONTEXT*, Z80EX_WORD port, Z80EX_BYTE value, void* user) {
    static_cast<DevCpu*>(user)->bus_.IoWrite(port, value);
  }
  // Once per byte the core takes from the bus at an acknowledge (mode 0 may
  // take several, for a multi-byte instruction; mode 2 takes the vector).
  static Z80EX_BYTE AckRead(Z80EX_CONTEXT*, void* user) {
    return static_cast<DevCpu*>(user)->bus_.InterruptAck();
  }
};

void DevCpu::ContextDeleter::operator()(_z80_cpu_context* context) const {
  z80ex_destroy(context);
}

DevCpu::DevCpu(DevBus& bus) : bus_(bus) {
  context_.reset(z80ex_create(DevCpuCallbacks::Read, this, DevCpuCallbacks::Write, this,
                              DevCpuCallbacks::PortRead, this, DevCpuCallbacks::PortWrite, this,
                              DevCpuCallbacks::AckRead, this));
  if (!context_) throw std::bad_alloc();
  Reset();
}

DevCpu::~DevCpu() = default;

void DevCpu::Reset() {
  Z80EX_CONTEXT* cpu = context_.get();
  z80ex_reset(cpu);
  // The chip leaves these undefined; FFFF is what it shows in practice, and
  // a fixed value keeps every run repeatable.
  z80ex_set_reg(cpu, regAF, 0xFFFF);
  z80ex_set_reg(cpu, regSP, 0xFFFF);
  halted_ = z80ex_doing_halt(cpu) != 0;
  nmiPending_ = false;
  nmiLeftHalt_ = false;
  tstates_ = 0;
}

void DevCpu::Nmi() { nmiPending_ = true; }

void DevCpu::Interrupt(bool line) { intLine_ = line; }

u32 DevCpu::StepInstruction() {
  Z80EX_CONTEXT* cpu = context_.get();
  int used = 0;
  if (nmiPending_) {
    used = z80ex_nmi(cpu);  // 0 inside a prefix run: the edge stays latched
    if (used != 0) {
      nmiPending_ = false;
      nmiLeftHalt_ = halted_;
    }
  } else if (intLine_ && z80ex_int_possible(cpu)) {
    // The core reads no byte in mode 1, but the chip still runs the
    // acknowledge cycle, and the board may clear its request on it.
    if (z80ex_get_reg(cpu, regIM) == 1) bus_.InterruptAck();
    used = z80ex_int(cpu);
  }
  // At a boundary (no prefix run left over from the last step), a kind with
  // added instructions looks at the opcode first.
  if (used == 0 && !halted_ && dev_ext_kind_adds(kind_) && z80ex_last_op_type(cpu) == 0)
    used = int(StepAdded());
  if (used == 0) {
    int steps = 0;
    do {
      used += z80ex_step(cpu);
    } while (z80ex_last_op_type(cpu) != 0 && ++steps < kPrefixRunLimit);
  }
  fetchedCount_ = fetchedNext_ = 0;  // taken by the core's first steps
  halted_ = z80ex_doing_halt(cpu) != 0;
  tstates_ += u32(used);
  clock_ += u32(used);
  return u32(used);
}

u32 DevCpu::StepAdded() {
  Z80EX_CONTEXT* cpu = context_.get();
  const u16 pc = u16(z80ex_get_reg(cpu, regPC));
  const u8 first = bus_.MemoryRead(pc, BusCycle::OpcodeFetch);
  QueueFetched(pc, first);
  if (first != kEdPrefix) return 0;
  const u16 opcode_at = u16(pc + 1);
  const u8 opcode = bus_.MemoryRead(opcode_at, BusCycle::OpcodeFetch);
  QueueFetched(opcode_at, opcode);
  const ExtOp op = dev_ext_decode(kind_, opcode);
  if (op == ExtOp::None) return 0;  // the core's own ED instruction
  fetchedCount_ = fetchedNext_ = 0;

  const u16 af = u16(z80ex_get_reg(cpu, regAF));
  ExtRegisters regs;
  regs.a = u8(af >> 8);
  regs.f = u8(af);
  regs.bc = u16(z80ex_get_reg(cpu, regBC));
  regs.de = u16(z80ex_get_reg(cpu, regDE));
  regs.hl = u16(z80ex_get_reg(cpu, regHL));
  regs.sp = u16(z80ex_get_reg(cpu, regSP));
  regs.pc = pc;
  const u32 tstates = dev_ext_execute(op, opcode, regs, bus_);

  if (op == ExtOp::Slp) {
    // The core halts on a HALT at the SLP's second byte and keeps PC there;
    // the chip's PC is the byte after, as for any halt.
    StepStandIn(opcode_at, kHaltOpcode);
  } else {
    StepStandIn(pc, kNopOpcode);
    z80ex_set_reg(cpu, regPC, regs.pc);
  }
  z80ex_set_reg(cpu, regAF, u16(regs.a << 8 | regs.f));
  z80ex_set_reg(cpu, regBC, regs.bc);
  z80ex_set_reg(cpu, regDE, regs.de);
  z80ex_set_reg(cpu, regHL, regs.hl);
  z80ex_set_reg(cpu, regSP, regs.sp);
  // Two M1 cycles: the stand-in counted one. Bit 7 of R is apart.
  z80ex_set_reg(cpu, regR, u16(z80ex_get_reg(cpu, regR) + 1));
  return tstates;
}

void DevCpu::QueueFetched(u16 address, u8 opcode) {
  if (fetchedCount_ < kFetchedLimit) fetched_[fetchedCount_++] = {address, opcode};
}

void DevCpu::StepStandIn(u16 address, u8 opcode) {
  Z80EX_CONTEXT* cpu = context_.get();
  z80ex_set_reg(cpu, regPC, address);
  QueueFetched(address, opcode);
  z80ex_step(cpu);
  fetchedCount_ = fetchedNext_ = 0;
}

u64 DevCpu::Run(u64 tstates_budget) {
  stopRequested_ = false;
  Z80EX_CONTEXT* cpu = context_.get();
  const bool plain = !dev_ext_kind_adds(kind_);
  u64 used = 0;
  while (used < tstates_budget && !stopRequested_) {
    // Interrupts, halts and added instructions take the full step; a plain
    // instruction (or one prefix of it) goes straight to the core.
    if (!plain || nmiPending_ || intLine_ || halted_) {
      used += StepInstruction();
      continue;
    }
    const int t = z80ex_step(cpu);
    if (haltFetched_) {
      halted_ = z80ex_doing_halt(cpu) != 0;
      haltFetched_ = false;
    }
    tstates_ += u32(t);
    clock_ += u32(t);
    used += u32(t);
  }
  return used;
}

DevRegisters DevCpu::GetRegisters() const {
  Z80EX_CONTEXT* cpu = context_.get();
  const auto get = [cpu](Z80_REG_T reg) { return u16(z80ex_get_reg(cpu, reg)); };
  DevRegisters regs;
  regs.af = get(regAF);
  regs.bc = get(regBC);
  regs.de = get(regDE);
  regs.hl = get(regHL);
  regs.af_alt = get(regAF_);
  regs.bc_alt = get(regBC_);
  regs.de_alt = get(regDE_);
  regs.hl_alt = get(regHL_);
  regs.ix = get(regIX);
  regs.iy = get(regIY);
  regs.sp = get(regSP);
  regs.pc = halted_ ? u16(get(regPC) + 1) : get(regPC);
  regs.i = u8(get(regI));
  // The core counts R past 7 bits and keeps bit 7 apart.
  regs.r = u8((get(regR) & 0x7F) | (get(regR7) & 0x80));
  regs.iff1 = get(regIFF1) != 0;
  regs.iff2 = get(regIFF2) != 0;
  regs.im = u8(get(regIM));
  return regs;
}

void DevCpu::SetRegisters(const DevRegisters& regs) {
  if (halted_) LeaveHalt();
  Z80EX_CONTEXT* cpu = context_.get();
  z80ex_set_reg(cpu, regAF, regs.af);
  z80ex_set_reg(cpu, regBC, regs.bc);
  z80ex_set_reg(cpu, regDE, regs.de);
  z80ex_set_reg(cpu, regHL, regs.hl);
  z80ex_set_reg(cpu, regAF_, regs.af_alt);
  z80ex_set_reg(cpu, regBC_, regs.bc_alt);
  z80ex_set_reg(cpu, regDE_, regs.de_alt);
  z80ex_set_reg(cpu, regHL_, regs.hl_alt);
  z80ex_set_reg(cpu, regIX, regs.ix);
  z80ex_set_reg(cpu, regIY, regs.iy);
  z80ex_set_reg(cpu, regSP, regs.sp);
  z80ex_set_reg(cpu, regPC, regs.pc);
  z80ex_set_reg(cpu, regI, regs.i);
  z80ex_set_reg(cpu, regR, regs.r & 0x7F);
  z80ex_set_reg(cpu, regR7, regs.r & 0x80);
  z80ex_set_reg(cpu, regIFF1, regs.iff1 ? 1 : 0);
  z80ex_set_reg(cpu, regIFF2, regs.iff2 ? 1 : 0);
  if (regs.im <= 2) z80ex_set_reg(cpu, regIM, regs.im);  // mode 3 does not exist
}

// The core leaves its halt state only by accepting an interrupt, so take an
// NMI with the bus detached. It changes only registers (SP, PC, IFF1, R),
// and SetRegisters(), the one caller, loads every one of them afterwards.
void DevCpu::LeaveHalt() {
  Z80EX_CONTEXT* cpu = context_.get();
  z80ex_set_memread_callback(cpu, detached_read, nullptr);
  z80ex_set_memwrite_callback(cpu, detached_write, nullptr);
  z80ex_nmi(cpu);
  z80ex_set_memread_callback(cpu, DevCpuCallbacks::Read, this);
  z80ex_set_memwrite_callback(cpu, DevCpuCallbacks::Write, this);
  halted_ = z80ex_doing_halt(cpu) != 0;
}
