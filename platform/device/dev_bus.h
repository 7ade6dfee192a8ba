// The target's bus as the simulated CPU drives it: every cycle reaches the
// board through one of these calls, classified, so that the memory map, the
// monitor window, the I/O latches and (later) the event and trace hardware
// see each cycle.
#pragma once

#include "platform/host/host_types.h"

enum class BusCycle : u8 {
  OpcodeFetch,   // M1 read of an opcode byte (prefixes included)
  MemoryRead,    // any other memory read (operands, data)
  MemoryWrite,
  IoRead,
  IoWrite,
  InterruptAck,  // the interrupt acknowledge cycle: the board puts a byte on the bus
};

// A bus's shortcut for the CPU's plain memory cycles: per 4 KiB page of the
// logical space, the bytes a read (or a write) may reach directly, with the
// cycle counted in counts[]; null where the bus must see the cycle itself
// (the monitor window, area edges, pages the MMU splits). The bus keeps it
// current for every cycle it lets through this way, and counts each change
// in its version, so that a CPU may work from a copy of it.
class DevEvents;

struct DevBusShortcut {
  static constexpr unsigned kPageShift = 12;
  static constexpr u16 kOffsetMask = (1u << kPageShift) - 1;
  const u8* read[16] = {};
  u8* write[16] = {};
  u64* counts = nullptr;  // indexed by BusCycle; a CPU may add its counts at the end of its run
  // Set while the bus instruments watch: each cycle let through this way
  // goes to them too, at its physical address (the page's base + offset).
  DevEvents* events = nullptr;
  // Set instead while the only instrument at work is the trace recording
  // freely: each cycle let through this way goes into its memory as a frame
  // (DevEvents::TraceMemory), which nothing else needs to see.
  DevEvents* trace = nullptr;
  u32 physical[16] = {};
};

class DevBus {
 public:
  virtual ~DevBus() = default;
  // Empty unless the bus fills it.
  const DevBusShortcut& Shortcut() const { return shortcut_; }
  // Moves on whenever the shortcut changes.
  u32 ShortcutVersion() const { return shortcutVersion_; }
  // Memory cycles at a logical (16-bit) address.
  virtual u8 MemoryRead(u16 address, BusCycle cycle) = 0;
  virtual void MemoryWrite(u16 address, u8 value) = 0;
  // I/O cycles with the full 16-bit port address the CPU puts out.
  virtual u8 IoRead(u16 port) = 0;
  virtual void IoWrite(u16 port, u8 value) = 0;
  // The byte the board supplies at an interrupt acknowledge.
  virtual u8 InterruptAck() = 0;
  // The instruments asked for a break on a cycle of the shortcut.
  virtual void InstrumentsBreak() {}

 protected:
  // A bus that changes shortcut_ calls this afterwards.
  void ShortcutChanged() { ++shortcutVersion_; }

  DevBusShortcut shortcut_;

 private:
  u32 shortcutVersion_ = 0;
};
