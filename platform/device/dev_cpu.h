// The target CPU of the simulated emulator: the instruction core (libz80ex)
// wired to a DevBus, with its interrupt lines, the registers the monitor reads
// and writes, and a T-state count since reset. The CPU runs only inside
// StepInstruction() and Run(), one whole instruction at a time; every bus
// cycle of that instruction reaches the bus before the call returns.
#pragma once

#include <memory>

#include "platform/device/dev_bus.h"
#include "platform/host/host_types.h"

struct _z80_cpu_context;  // the core's context (Z80EX_CONTEXT)
struct DevTraceFrame;

// The CPU the emulator pod carries. The HD64180 and the R800 run their added
// ED instructions (dev_cpu_ext.h) with their own T-states; the rest of their
// sets, and all of the KC80's, run as on a Z80, with Z80 timings.
enum class CpuKind : u8 {
  Z80,
  HD64180,
  KC80,
  R800,
};

// The register file as the monitor sees it.
struct DevRegisters {
  u16 af = 0;
  u16 bc = 0;
  u16 de = 0;
  u16 hl = 0;
  u16 af_alt = 0;  // AF'
  u16 bc_alt = 0;  // BC'
  u16 de_alt = 0;  // DE'
  u16 hl_alt = 0;  // HL'
  u16 ix = 0;
  u16 iy = 0;
  u16 sp = 0;
  u16 pc = 0;      // while halted: the address after the HALT
  u8 i = 0;
  u8 r = 0;        // all eight bits; the refresh counter moves bits 0-6 only
  bool iff1 = false;
  bool iff2 = false;
  u8 im = 0;       // interrupt mode 0, 1 or 2
  bool operator==(const DevRegisters&) const = default;
};

class DevCpu {
 public:
  // A run of prefix bytes (DD/FD) longer than this ends a step in the middle
  // of the run; the next step goes on with it. Bounds a step over memory
  // filled with prefixes.
  static constexpr int kPrefixRunLimit = 16;

  // Creates the core, reset. The bus must outlive the CPU.
  explicit DevCpu(DevBus& bus);
  ~DevCpu();
  DevCpu(const DevCpu&) = delete;
  DevCpu& operator=(const DevCpu&) = delete;

  // The RESET line: PC, I and R to 0, interrupts disabled, mode 0, AF and SP
  // to FFFF, not halted; a pending NMI is dropped and the T-state count
  // starts again from 0. The INT line keeps its level.
  void Reset();
  // An edge on NMI, latched until accepted at the next instruction boundary
  // (the point between a prefix and its opcode is not one).
  void Nmi();
  // The level of the maskable INT line (true: asserted). While asserted, the
  // request is accepted at each boundary where IFF1 is set and no EI has
  // just been executed; the acknowledge cycle goes to DevBus::InterruptAck().
  void Interrupt(bool line);

  // One instruction, or the acceptance of a pending interrupt in its place
  // (then PC is at the handler). Returns the T-states used. An instruction the
  // CPU kind adds to the Z80 set runs here rather than in the core; SLP halts
  // as HALT does. One round of OTIMR/OTDMR is one instruction.
  u32 StepInstruction();
  // Whole instructions until `tstates_budget` T-states are used (the last
  // instruction may go past it) or RequestStop() is seen. Returns the
  // T-states used. A budget of 0 runs nothing.
  u64 Run(u64 tstates_budget);
  // Ends the Run in progress after the current instruction. Meant for bus
  // callbacks (the board, when the monitor takes the CPU over); each Run
  // starts without a request, so a request outside a Run has no effect.
  void RequestStop() { stopRequested_ = true; }

  // The CPU has executed HALT and waits for an interrupt or reset. While
  // halted it goes on fetching (and ignoring) the byte after the HALT.
  bool Halted() const { return halted_; }
  // The last NMI the CPU accepted woke it from a HALT: the address it pushed
  // is the one after the HALT. The board latches the HALT line at the NMI so
  // that the monitor can return the program to its HALT.
  bool NmiLeftHalt() const { return nmiLeftHalt_; }

  // Register access is for between instructions, never from a bus callback.
  DevRegisters GetRegisters() const;
  // Loads every register. The CPU leaves the halt state: execution goes on
  // at regs.pc. An interrupt mode above 2 leaves the mode as it is.
  void SetRegisters(const DevRegisters& regs);

  // T-states since the last reset (construction counts as one).
  u64 TStates() const { return tstates_; }
  // Virtual time: T-states since construction, resets included, up to the
  // start of the step in progress: a bus callback sees the time its
  // instruction (or prefix) began, as the core runs each one whole.
  u64 Clock() const { return clock_; }

  CpuKind GetCpuKind() const { return kind_; }
  void SetCpuKind(CpuKind kind) { kind_ = kind; }

 private:
  struct ContextDeleter {
    void operator()(_z80_cpu_context* context) const;
  };

  // The core's memory callbacks in use. Run() gives a plain step (no
  // interrupt, no halt, no added instruction) the lean pair that fits the
  // shortcut; every other step takes the general pair, which handles all.
  enum class Path : u8 {
    General,  // halt, bytes fetched ahead, instruments: everything
    Plain,    // the shortcut's pages, counted
    Trace,    // the same, each cycle also a frame in the trace memory
    Events,   // the same, each cycle also to the live instruments
  };

  // One instruction, as StepInstruction() but inside a run: no sync or
  // flush of the path, no count of tstates_.
  u32 Step();
  // path_ from the bus's shortcut; the counts and frames of the old one
  // go back to the bus first.
  void SyncPath();
  // The cycles counted and the frames written since the last flush, to
  // the bus.
  void FlushPath();
  // Around every call of the bus from inside a step: the frames written
  // so far go first (the bus may record its own), and a shortcut the call
  // changed is taken up after.
  void BeforeBus();
  void AfterBus();
  void UseCallbacks(Path path);
  void InstallCallbacks(Path path);

  // Takes the core out of its halt state without a bus cycle.
  void LeaveHalt();
  // Fetches the opcode at PC for a kind that adds instructions, and runs it
  // if it is an added one. Returns its T-states, or 0 when the core is to
  // run the instruction: the bytes fetched are then queued for the core.
  u32 StepAdded();
  // Has the core take `opcode` at `address` as its next M1 read, without a
  // bus cycle.
  void QueueFetched(u16 address, u8 opcode);
  // Lets the core run one opcode fed from the queue, so that its own state
  // moves on as for any instruction: R, and the end of an EI's hold-off.
  void StepStandIn(u16 address, u8 opcode);

  // Opcode bytes already fetched on the bus, for the core's next M1 reads.
  struct FetchedByte {
    u16 address;
    u8 value;
  };
  static constexpr int kFetchedLimit = 2;  // ED and the byte after it

  DevBus& bus_;
  std::unique_ptr<_z80_cpu_context, ContextDeleter> context_;
  u64 tstates_ = 0;              // since reset
  u64 clock_ = 0;                // since construction, at the start of the current step
  CpuKind kind_ = CpuKind::Z80;
  bool halted_ = false;          // the core's halt state after the last step
  bool haltFetched_ = false;  // a HALT opcode was fetched since halted_ was last read
  bool nmiPending_ = false;      // an NMI edge not yet accepted
  bool nmiLeftHalt_ = false;     // the last accepted NMI found the CPU halted
  bool intLine_ = false;         // INT asserted
  bool stopRequested_ = false;   // the Run in progress ends after this instruction
  FetchedByte fetched_[kFetchedLimit]{};  // queued for the core, in fetch order
  int fetchedCount_ = 0;         // entries queued
  int fetchedNext_ = 0;          // the next entry the core takes

  // The bus's shortcut as the callbacks use it: a copy, taken at the start
  // of each run or step and again whenever a bus call changes the bus's.
  DevBusShortcut path_;
  u32 pathVersion_ = 0;          // the bus's ShortcutVersion() of path_
  Path fastPath_ = Path::Plain;  // the lean pair that fits path_
  Path installed_ = Path::General;
  static constexpr int kCycleKinds = int(BusCycle::InterruptAck) + 1;
  u64 pathCounts_[kCycleKinds] = {};  // shortcut cycles not yet added to path_.counts
  DevTraceFrame* traceFrames_ = nullptr;  // path_.trace's memory, or null
  u64 traceNext_ = 0;            // the next frame written (modulo the trace memory)
  u64 traceFlushed_ = 0;         // where the frames not yet reported start

  friend struct DevCpuCallbacks;
};
