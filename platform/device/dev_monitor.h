// The on-target monitor of the simulated emulator, modelled rather than
// executed. It takes the CPU when the target fetches at one of its entry
// points (cold start, break, NMI), keeps the stopped program's registers, and
// answers the host's numbered requests on the channel byte for byte until a
// run request hands the CPU back. It learns its entry points only from the
// monitor memory the host wrote: without a valid descriptor in bank 127 it
// never takes the CPU, and a request whose bank lacks its tag goes unanswered.
#pragma once

#include <array>
#include <cstddef>
#include <deque>

#include "platform/device/dev_board.h"
#include "platform/device/dev_cpu.h"
#include "platform/device/dev_monitor_protocol.h"
#include "platform/device/dev_target.h"
#include "platform/host/host_types.h"

// The monitor serves the requests of MonitorRequest (dev_monitor_protocol.h).
// A request's code is the bank selected when its doorbell byte arrives (bank
// 127 stands for the code 255).
constexpr std::size_t kDevRequestBytes = 8;  // the most bytes one step of a request takes

// How the monitor last took the CPU.
enum class DevEntry : u8 {
  None,
  ColdStart,
  Break,
  Nmi,
};


class DevMonitor {
 public:
  // All three must outlive the monitor. The board's fetch observer is its
  // owner's to connect to Fetch().
  DevMonitor(DevBoard& board, DevCpu& cpu, const DevFaults& faults);

  // The target was reset: the monitor holds nothing, its MMU values are
  // those after reset, and replies not yet sent are dropped.
  void Reset();

  // The board's fetch observer (window offset 0..127). At an entry point it
  // claims the fetch, notes the entry and asks the CPU to stop after this
  // instruction; TakeOver() completes the entry.
  bool Fetch(u32 window_offset);
  bool EntryPending() const { return pending_ != DevEntry::None; }
  // Between instructions, after a claimed fetch: stops the program (the board
  // no longer shows it running), keeps its registers as the entry left them
  // (a break or NMI return address popped), and sends the hello or stop byte.
  void TakeOver();

  // Acts on the bytes that arrived while it holds the CPU: replies, memory
  // and port accesses, and the run request that hands the CPU back. Nothing
  // happens while the target is held in reset.
  void Service();

  bool InControl() const { return in_control_; }
  DevEntry LastEntry() const { return last_entry_; }
  // The program's registers as the monitor holds them while in control.
  const DevRegisters& Registers() const { return regs_; }

 private:
  // One request in progress: its code, the step it is at and the bytes that
  // step waits for.
  struct Request {
    u8 code = 0;
    u8 step = 0;                 // 0 while the arguments come in
    u16 address = 0;             // next address of a block transfer
    std::array<u8, kDevRequestBytes> in{};  // the bytes of this step
    u8 need = 0;                 // bytes this step waits for, at most in.size()
    u8 have = 0;
  };

  void Begin();
  void Step();
  void Expect(u8 count);
  bool FlushReplies();
  void Reply(u8 value);
  void ReplyWord(u16 value);
  u16 Word(std::size_t at) const;
  u8 Peek(u16 address) const;
  void Poke(u16 address, u8 value);
  u16 InterruptWord() const;
  void Resume();
  void Sample(DevRegisters r);

  DevBoard& board_;
  DevCpu& cpu_;
  const DevFaults& faults_;
  bool in_control_ = false;           // the monitor holds the CPU
  DevEntry pending_ = DevEntry::None; // claimed fetch, not yet taken over
  DevEntry last_entry_ = DevEntry::None;
  DevRegisters regs_;                 // the stopped program's registers
  bool active_ = false;               // a request is in progress in request_
  Request request_;
  std::deque<u8> replies_;            // waiting for room in the FIFO to the host

  friend struct DevRequestHandlers;
};
