// The target CPU: libz80ex driven one instruction at a time, its callbacks
// turned into classified bus cycles. The core executes a prefix byte as a
// step of its own; a step here always runs on to the end of the instruction.
// For a kind with added instructions the opcode is fetched here first; the
// core takes a byte fetched so from a queue, so that the bus sees each fetch
// once.
#include "platform/device/dev_cpu.h"

#include <algorithm>
#include <iterator>
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

// The core's callbacks; user_data is the DevCpu. A memory cycle on a page of
// the shortcut is one table load; any other goes to the bus.
struct DevCpuCallbacks {
  using Path = DevCpu::Path;

  // A call of the bus from inside a step.
  template <class Call>
  static auto Bus(DevCpu& cpu, Call call) {
    cpu.BeforeBus();
    const auto result = call();
    cpu.AfterBus();
    return result;
  }
  static void BusVoid(DevCpu& cpu, u16 address, u8 value, bool io) {
    cpu.BeforeBus();
    if (io)
      cpu.bus_.IoWrite(address, value);
    else
      cpu.bus_.MemoryWrite(address, value);
    cpu.AfterBus();
  }

  // The cycle as a trace frame, stamped with its instruction's start.
  static void Record(DevCpu& cpu, unsigned index, u16 address, u8 value, u8 status) {
    cpu.traceFrames_[cpu.traceNext_ & (kDevTraceFrames - 1)] =
        DevTraceFrame{cpu.path_.physical[index] | (address & DevBusShortcut::kOffsetMask), value, status, 0,
                      cpu.clock_};
    ++cpu.traceNext_;
  }
  // The cycle to the live instruments.
  static void Observe(DevCpu& cpu, unsigned index, u16 address, u8 value, u8 status) {
    DevEvents& events = *cpu.path_.events;
    events.Cycle(cpu.path_.physical[index] | (address & DevBusShortcut::kOffsetMask), value, status, cpu.clock_);
    if (events.BreakRequested()) cpu.bus_.InstrumentsBreak();
  }
  template <Path P>
  static void Instruments(DevCpu& cpu, unsigned index, u16 address, u8 value, u8 status) {
    if constexpr (P == Path::Trace) {
      Record(cpu, index, address, value, status);
    } else if constexpr (P == Path::Events) {
      Observe(cpu, index, address, value, status);
    } else if constexpr (P == Path::General) {
      if (cpu.traceFrames_ != nullptr)
        Record(cpu, index, address, value, status);
      else if (cpu.path_.events != nullptr)
        Observe(cpu, index, address, value, status);
    }
  }

  template <Path P>
  static u8 Load(DevCpu& cpu, u16 address, BusCycle cycle) {
    const unsigned index = address >> DevBusShortcut::kPageShift;
    if (const u8* page = cpu.path_.read[index]) {
      ++cpu.pathCounts_[int(cycle)];
      const u8 v = page[address & DevBusShortcut::kOffsetMask];
      Instruments<P>(cpu, index, address, v, cycle == BusCycle::OpcodeFetch ? kDevStatusFetch : kDevStatusMemRead);
      return v;
    }
    return Bus(cpu, [&] { return cpu.bus_.MemoryRead(address, cycle); });
  }
  template <Path P>
  static void Store(DevCpu& cpu, u16 address, u8 value) {
    const unsigned index = address >> DevBusShortcut::kPageShift;
    if (u8* page = cpu.path_.write[index]) {
      ++cpu.pathCounts_[int(BusCycle::MemoryWrite)];
      page[address & DevBusShortcut::kOffsetMask] = value;
      Instruments<P>(cpu, index, address, value, kDevStatusMemWrite);
      return;
    }
    BusVoid(cpu, address, value, false);
  }

  // The lean pair, for a plain step in a run: nothing is queued and the CPU
  // is not halted.
  template <Path P>
  static Z80EX_BYTE LeanRead(Z80EX_CONTEXT*, Z80EX_WORD address, int m1_state, void* user) {
    DevCpu& cpu = *static_cast<DevCpu*>(user);
    if (m1_state == 0) return Load<P>(cpu, address, BusCycle::MemoryRead);
    const u8 opcode = Load<P>(cpu, address, BusCycle::OpcodeFetch);
    if (opcode == kHaltOpcode) cpu.haltFetched_ = true;  // the core may now be halted
    return opcode;
  }
  template <Path P>
  static void LeanWrite(Z80EX_CONTEXT*, Z80EX_WORD address, Z80EX_BYTE value, void* user) {
    Store<P>(*static_cast<DevCpu*>(user), address, value);
  }

  static Z80EX_BYTE Read(Z80EX_CONTEXT*, Z80EX_WORD address, int m1_state, void* user) {
    DevCpu& cpu = *static_cast<DevCpu*>(user);
    if (m1_state == 0) return Load<Path::General>(cpu, address, BusCycle::MemoryRead);
    // fetched on the bus already, by StepAdded()?
    if (cpu.fetchedNext_ < cpu.fetchedCount_ && cpu.fetched_[cpu.fetchedNext_].address == address)
      return cpu.fetched_[cpu.fetchedNext_++].value;
    if (!cpu.halted_) {
      const u8 opcode = Load<Path::General>(cpu, address, BusCycle::OpcodeFetch);
      if (opcode == kHaltOpcode) cpu.haltFetched_ = true;  // the core may now be halted
      return opcode;
    }
    // Halted: the core keeps PC on the HALT and runs it again. The chip has
    // PC past the HALT and fetches there, ignoring the byte; give the core
    // its HALT whatever the memory holds.
    Bus(cpu, [&] { return cpu.bus_.MemoryRead(u16(address + 1), BusCycle::OpcodeFetch); });
    return kHaltOpcode;
  }
  static void Write(Z80EX_CONTEXT*, Z80EX_WORD address, Z80EX_BYTE value, void* user) {
    Store<Path::General>(*static_cast<DevCpu*>(user), address, value);
  }
  static Z80EX_BYTE PortRead(Z80EX_CONTEXT*, Z80EX_WORD port, void* user) {
    DevCpu& cpu = *static_cast<DevCpu*>(user);
    return Bus(cpu, [&] { return cpu.bus_.IoRead(port); });
  }
  static void PortWrite(Z80EX_CONTEXT*, Z80EX_WORD port, Z80EX_BYTE value, void* user) {
    BusVoid(*static_cast<DevCpu*>(user), port, value, true);
  }
  // Once per byte the core takes from the bus at an acknowledge (mode 0 may
  // take several, for a multi-byte instruction; mode 2 takes the vector).
  static Z80EX_BYTE AckRead(Z80EX_CONTEXT*, void* user) {
    DevCpu& cpu = *static_cast<DevCpu*>(user);
    return Bus(cpu, [&] { return cpu.bus_.InterruptAck(); });
  }

  static void Install(DevCpu& cpu, Path path) {
    Z80EX_CONTEXT* context = cpu.context_.get();
    switch (path) {
      case Path::General:
        z80ex_set_memread_callback(context, Read, &cpu);
        z80ex_set_memwrite_callback(context, Write, &cpu);
        break;
      case Path::Plain:
        z80ex_set_memread_callback(context, LeanRead<Path::Plain>, &cpu);
        z80ex_set_memwrite_callback(context, LeanWrite<Path::Plain>, &cpu);
        break;
      case Path::Trace:
        z80ex_set_memread_callback(context, LeanRead<Path::Trace>, &cpu);
        z80ex_set_memwrite_callback(context, LeanWrite<Path::Trace>, &cpu);
        break;
      case Path::Events:
        z80ex_set_memread_callback(context, LeanRead<Path::Events>, &cpu);
        z80ex_set_memwrite_callback(context, LeanWrite<Path::Events>, &cpu);
        break;
    }
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
  UseCallbacks(Path::General);
  SyncPath();
  const u32 used = Step();
  tstates_ += used;
  FlushPath();
  return used;
}

u32 DevCpu::Step() {
  UseCallbacks(Path::General);
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
    if (z80ex_get_reg(cpu, regIM) == 1) {
      BeforeBus();
      bus_.InterruptAck();
      AfterBus();
    }
    used = z80ex_int(cpu);
  }
  // At a boundary (no prefix run left over from the last step), a kind with
  // added instructions looks at the opcode first.
  if (used == 0 && !halted_ && dev_ext_kind_adds(kind_) && z80ex_last_op_type(cpu) == 0) {
    BeforeBus();
    used = int(StepAdded());
    AfterBus();
  }
  if (used == 0) {
    int steps = 0;
    do {
      used += z80ex_step(cpu);
    } while (z80ex_last_op_type(cpu) != 0 && ++steps < kPrefixRunLimit);
  }
  fetchedCount_ = fetchedNext_ = 0;  // taken by the core's first steps
  halted_ = z80ex_doing_halt(cpu) != 0;
  haltFetched_ = false;
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
  UseCallbacks(Path::General);  // until a plain step picks its pair
  SyncPath();
  Z80EX_CONTEXT* cpu = context_.get();
  const bool plain = !dev_ext_kind_adds(kind_);
  u64 used = 0;
  while (used < tstates_budget && !stopRequested_) {
    // Interrupts, halts and added instructions take the full step; a plain
    // instruction (or one prefix of it) goes straight to the core.
    if (!plain || nmiPending_ || intLine_ || halted_) {
      used += Step();
      continue;
    }
    // the lean pair that fits the shortcut as it stands
    if (installed_ != fastPath_) {
      UseCallbacks(fastPath_);
      if (pathVersion_ != bus_.ShortcutVersion()) SyncPath();  // dropped for a step that no longer fitted
    }
    const int t = z80ex_step(cpu);
    if (haltFetched_) {
      halted_ = z80ex_doing_halt(cpu) != 0;
      haltFetched_ = false;
    }
    clock_ += u32(t);
    used += u32(t);
  }
  tstates_ += used;
  FlushPath();
  return used;
}

void DevCpu::SyncPath() {
  FlushPath();
  path_ = bus_.Shortcut();
  pathVersion_ = bus_.ShortcutVersion();
  traceFrames_ = path_.trace != nullptr ? path_.trace->TraceMemory() : nullptr;
  if (traceFrames_ != nullptr) traceNext_ = traceFlushed_ = path_.trace->TraceWrite();
  fastPath_ = path_.events != nullptr ? Path::Events : traceFrames_ != nullptr ? Path::Trace : Path::Plain;
  // A lean step under way that no longer fits: the rest of its cycles go to
  // the bus, and the run takes up the shortcut again after it.
  if (installed_ != Path::General && installed_ != fastPath_) {
    std::fill(std::begin(path_.read), std::end(path_.read), nullptr);
    std::fill(std::begin(path_.write), std::end(path_.write), nullptr);
    traceFrames_ = nullptr;
    pathVersion_ = bus_.ShortcutVersion() - 1;
  }
}

void DevCpu::FlushPath() {
  if (path_.counts != nullptr)
    for (int kind = 0; kind < kCycleKinds; ++kind) path_.counts[kind] += pathCounts_[kind];
  std::fill(std::begin(pathCounts_), std::end(pathCounts_), 0);
  if (traceFrames_ != nullptr) {
    path_.trace->TraceWritten(traceNext_ - traceFlushed_);
    traceFlushed_ = traceNext_;
  }
}

void DevCpu::BeforeBus() {
  if (traceFrames_ != nullptr) {
    path_.trace->TraceWritten(traceNext_ - traceFlushed_);
    traceFlushed_ = traceNext_;
  }
}

void DevCpu::AfterBus() {
  if (bus_.ShortcutVersion() != pathVersion_)
    SyncPath();
  else if (traceFrames_ != nullptr)
    traceNext_ = traceFlushed_ = path_.trace->TraceWrite();  // the bus may have recorded frames of its own
}

void DevCpu::UseCallbacks(Path path) {
  if (installed_ != path) InstallCallbacks(path);
}

void DevCpu::InstallCallbacks(Path path) {
  DevCpuCallbacks::Install(*this, path);
  installed_ = path;
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
  InstallCallbacks(installed_);
  halted_ = z80ex_doing_halt(cpu) != 0;
}
