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
#include "platform/device/dev_target.h"
#include "platform/host/host_types.h"

// The requests the monitor serves. A request's code is the bank selected when
// its doorbell byte arrives (bank 127 stands for the code 255).
enum class DevRequest : u8 {
  ReadByte = 8,
  ReadPort = 9,
  ReadWord = 16,
  WriteByte = 24,
  WritePort = 25,
  WriteWord = 32,
  ReadBlock = 40,
  WriteBlock = 48,
  SetStack = 80,
  SetInterrupts = 81,
  ReadMmuWindows = 82,
  SetMmuWindows = 83,
  ReadMmuBank2 = 84,
  SetMmuBank2 = 85,
  ReadMmuBank4 = 86,
  SetMmuBank4 = 87,
  PrepareRun = 96,
  LoadSpPcAf = 97,
  LoadAltAfBcDe = 98,
  LoadAltHlIxIy = 99,
  LoadBcHlDe = 100,
  LoadInterrupts = 101,
  Run = 103,
  StopFirst = 112,       // after a stop byte other than 0
  StopFirstBreak = 113,  // after the stop byte 0
  StopHlDeAf = 114,
  StopPcSp = 115,        // then takes one byte back and acknowledges it
  StopAltAfBcDe = 116,
  StopAltHlIxIy = 117,
  StopEnd = 118,
  Handshake = 125,
};

constexpr std::size_t kDevRequestBytes = 8;  // the most bytes one step of a request takes
constexpr u8 kDevDoorbell = 0;          // the byte that starts a request
constexpr u8 kDevMore = 0xFF;           // block transfers: another byte follows
constexpr u8 kDevAcknowledge = 0x00;
constexpr u8 kDevHello = 0xA5;          // sent once at a cold start
constexpr u8 kDevHandshakeReply = 0x5A;
constexpr u8 kDevStopBreak = 0;         // stop byte: the software break; PC is past it
constexpr u8 kDevStopNmi = 1;           // stop byte: NMI; PC as the NMI pushed it
// An NMI that finds this byte waiting from the host is a profiler sample, not
// a stop: the monitor echoes the byte, sends the interrupted PC (low byte
// first) and lets the program go on.
constexpr u8 kDevProfileCode = 254;

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
