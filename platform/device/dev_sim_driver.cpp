// The simulated driver: one switch over the request table, the channel with
// its gathered bytes and time-outs, and the transcript. The card's write-only
// registers have two shadows: the board's and the work area's (offsets
// 35..98). Masked writes start from the work area's, as the card's routines
// do, because the engine edits it to drop a strobe bit from the next write;
// whatever the board's own operations write is copied back after each request.
#include "platform/device/dev_sim_driver.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <span>

#include "platform/device/dev_ports.h"
#include "platform/device/dev_tokens.h"
#include "platform/host/host_env.h"
#include "platform/host/host_registry.h"

namespace {

constexpr u32 kFirstCode = bios_ioctl_code(0);
constexpr u32 kRequestSlots = u32(BiosRequest::FunctionSet) + 1;

// Work-area shadow of register r; r < kDevRegisterCount.
u8& shadow_of(BiosWorkArea& work, u8 reg) { return work.bytes[kWorkRegisterShadow + reg]; }

void set_timeout(BiosWorkArea& work) { work.set16<kWorkStatus>(u16(work.get16<kWorkStatus>() | kStatusTimeout)); }

// `length` bytes of the caller's memory that `token` names; false when it
// names none or fewer. A length of 0 needs no memory at all.
bool caller_memory(u32 token, std::size_t length, std::span<u8>& out) {
  out = {};
  if (length == 0) return true;
  void* memory = dev_token_resolve(token, length);
  if (!memory) return false;
  out = {static_cast<u8*>(memory), length};
  return true;
}

// Stores a result through an out-pointer token of the caller (a u16 or a u32
// in the host's byte order); false when the token names too little memory.
template <class T>
bool store_out(u32 token, T value) {
  void* memory = dev_token_resolve(token, sizeof(T));
  if (!memory) return false;
  std::memcpy(memory, &value, sizeof(T));
  return true;
}

// The requests of the table; 7, 19 and 55 are not requests.
bool is_request(u32 n) {
  return n < kRequestSlots && n != 7 && n != 19 && n != 55;
}

}  // namespace

// The request being carried out: a copy of the argument block (results go
// into it and back to the caller only when the request succeeds), the caller's
// work area, and a cursor over the packed inputs.
struct SimulatedDriver::Call {
  DriverArgBlock arg;
  BiosWorkArea* work = nullptr;  // through the token at offset 260; nullptr only for 50 and 57
  u32 error = 0;                 // the system error of a failed request
  std::size_t cursor = kArgInputs;

  // Inputs in packing order; past the 256 input bytes they read 0.
  u8 In8() { return cursor < kArgInputs + kArgInputSize ? arg.bytes[cursor++] : 0; }
  u16 In16() {
    const u8 low = In8();
    return u16(low | In8() << 8);
  }
  u32 In32() {
    const u16 low = In16();
    return u32(low) | u32(In16()) << 16;
  }
  void Result(u32 value) { arg.set32<kArgResult>(value); }
  bool Fail(u32 code) {
    error = code;
    return false;
  }
};

SimulatedDriver::SimulatedDriver(const DevFixture& fixture) : target_(fixture), clock_(fixture.cpu_clock_hz) {}

bool SimulatedDriver::IoControl(u32 code, u8* block, std::size_t in_length, std::size_t out_length, u32& returned,
                                u32& error) {
  returned = 0;
  std::unique_lock<std::mutex> held = runner_.Take();
  held_ = &held;
  const bool ok = Carry(code, block, in_length, out_length, returned, error);
  held_ = nullptr;
  runner_.Give(held);
  return ok;
}

bool SimulatedDriver::Carry(u32 code, u8* block, std::size_t in_length, std::size_t out_length, u32& returned,
                            u32& error) {
  // code of the request form 0x80002000 + 4n?
  const bool request_form = code >= kFirstCode && (code - kFirstCode) % 4 == 0;
  const u32 n = request_form ? (code - kFirstCode) / 4 : 0xFFFFFFFF;
  const std::size_t sequence = Record({SimTranscriptEntry::Kind::Request, n, 0, false});
  auto refuse = [&](u32 code_of_error) {
    SetRequestResult(sequence, code_of_error, false);
    error = code_of_error;
    return false;
  };
  if (!is_request(n)) return refuse(kErrorInvalidFunction);
  if (block == nullptr || in_length != kArgBlockSize || out_length != kArgBlockSize)
    return refuse(kErrorInvalidParameter);

  // Beside the host the board has run by itself; inside calls it runs now
  // for the time since the last call, request or not.
  if (runner_.Threaded())
    target_.Service();
  else
    target_.Run(clock_.TakeOwed());
  const bool cpu_ran = target_.CpuRuns();

  Call call;
  std::memcpy(call.arg.bytes.data(), block, kArgBlockSize);
  call.work = static_cast<BiosWorkArea*>(dev_token_resolve(call.arg.get32<kArgWorkArea>(), kWorkAreaSize));
  const bool needs_work = n != u32(BiosRequest::DriverStatus) && n != u32(BiosRequest::FunctionSet);
  if (!call.work && needs_work) return refuse(kErrorNoAccess);

  Board().WatchShadow();

  if (call.work) DeliverGathered(call);
  call.Result(0);
  const bool ok = Dispatch(n, call);
  // A request that set the CPU going lets it run a first slice at once: a
  // step or a short run is over before the caller looks.
  if (runner_.Threaded() && !cpu_ran && target_.CpuRuns()) runner_.Advance(*held_, DevRunner::kFirstSlice);

  // what the board's own operations wrote goes to the work area's shadow
  const u64 changed_registers = Board().EndShadowWatch();
  if (call.work)
    for (u64 changed = changed_registers; changed != 0; changed &= changed - 1) {
      const u8 reg = u8(std::countr_zero(changed));
      shadow_of(*call.work, reg) = Board().RegisterShadow(reg);
    }

  if (!ok) {
    // The gathered bytes went out all the same: the channel fields must say so.
    constexpr std::size_t kChannelFields = kArgChanReceive + 4 - kArgChanSavedIndex;
    std::memcpy(block + kArgChanSavedIndex, call.arg.bytes.data() + kArgChanSavedIndex, kChannelFields);
    return refuse(call.error);
  }
  // the inputs are only read: the results half is all that can have changed
  std::memcpy(block + kArgResult, call.arg.bytes.data() + kArgResult, kArgBlockSize - kArgResult);
  returned = u32(kArgBlockSize);
  SetRequestResult(sequence, call.arg.get32<kArgResult>(), true);
  return true;
}

// --- Requests ---------------------------------------------------------------

bool SimulatedDriver::Dispatch(u32 n, Call& call) {
  switch (BiosRequest(n)) {
    case BiosRequest::FifoReset:
    case BiosRequest::PutChannel:
    case BiosRequest::PutChannelBlock:
    case BiosRequest::ChannelCheck:
    case BiosRequest::GetChannel:
    case BiosRequest::GetChannelBlock:
    case BiosRequest::FlushChannel:
    case BiosRequest::StartCommand:
    case BiosRequest::PushChannel:
      return Channel(n, call);
    case BiosRequest::EventSet:
    case BiosRequest::EventStatus:
    case BiosRequest::DelayRead:
    case BiosRequest::TriggerSet:
    case BiosRequest::TimerStart:
    case BiosRequest::TimerSet:
    case BiosRequest::TimerRead:
    case BiosRequest::TraceGo:
    case BiosRequest::TraceOn:
    case BiosRequest::TraceStop:
    case BiosRequest::TraceReadAddress:
    case BiosRequest::SampleAddress:
    case BiosRequest::SetFrameAddress:
    case BiosRequest::ReadTraceData:
      return Instruments(n, call);
    case BiosRequest::ProfileNmi:
    case BiosRequest::JtagWriteBlock:
    case BiosRequest::JtagReadFifo:
      return AbsentHardware(n, call);
    case BiosRequest::IoRead:
    case BiosRequest::IoWrite:
    case BiosRequest::ReadRegister:
    case BiosRequest::ReadRegisterBlock:
    case BiosRequest::WriteRegisterMasked:
    case BiosRequest::WriteRegister:
    case BiosRequest::WriteRegisterBlock:
    case BiosRequest::WriteRom:
    case BiosRequest::WriteRomBlock:
    case BiosRequest::ReadRom:
    case BiosRequest::ReadRomBlock:
    case BiosRequest::BankSet:
    case BiosRequest::WriteMonitorBlock:
    case BiosRequest::ReadMonitorBlock:
    case BiosRequest::MonitorEnable:
      return Memory(n, call);
    default:
      return Control(n, call);
  }
}

// Host ports, interface registers, emulation memory and monitor memory.
bool SimulatedDriver::Memory(u32 n, Call& call) {
  BiosWorkArea& work = *call.work;
  DevBoard& board = Board();
  switch (BiosRequest(n)) {
    case BiosRequest::IoRead:
      // The card's ports belong to the direct back end; through the driver no
      // host port is decoded: the bus floats high and writes go nowhere.
      call.Result(0xFF);
      return true;
    case BiosRequest::IoWrite:
      return true;
    case BiosRequest::ReadRegister: {
      const u8 reg = call.In8();
      if (reg >= kDevRegisterCount) return call.Fail(kErrorInvalidParameter);
      call.Result(board.ReadRegister(reg));
      return true;
    }
    case BiosRequest::WriteRegisterMasked: {
      const u8 reg = call.In8();
      const u8 value = call.In8();
      const u8 mask = call.In8();
      if (reg >= kDevRegisterCount) return call.Fail(kErrorInvalidParameter);
      WriteMasked(work, reg, value, mask);
      return true;
    }
    case BiosRequest::WriteRegister: {
      const u8 reg = call.In8();
      const u8 value = call.In8();
      if (reg >= kDevRegisterCount) return call.Fail(kErrorInvalidParameter);
      WriteWhole(work, reg, value);
      return true;
    }
    case BiosRequest::ReadRegisterBlock:
    case BiosRequest::WriteRegisterBlock: {
      const u8 reg = call.In8();
      const u32 token = call.In32();
      const u16 count = call.In16();
      std::span<u8> buffer;
      if (reg >= kDevRegisterCount) return call.Fail(kErrorInvalidParameter);
      if (!caller_memory(token, count, buffer)) return call.Fail(kErrorNoAccess);
      if (BiosRequest(n) == BiosRequest::ReadRegisterBlock) return board.ReadRegisterBlock(reg, buffer);
      board.WriteRegisterBlock(reg, buffer);
      if (count > 0) shadow_of(work, reg) = buffer.back();
      return true;
    }
    case BiosRequest::WriteRom:
      board.WriteRom(work, call.In8());
      return true;
    case BiosRequest::ReadRom:
      call.Result(board.ReadRom(work));
      return true;
    case BiosRequest::WriteRomBlock:
    case BiosRequest::ReadRomBlock: {
      const u32 token = call.In32();
      const u16 count = call.In16();
      std::span<u8> buffer;
      if (!caller_memory(token, count, buffer)) return call.Fail(kErrorNoAccess);
      if (BiosRequest(n) == BiosRequest::WriteRomBlock)
        board.WriteRomBlock(work, buffer);
      else
        board.ReadRomBlock(work, buffer);
      return true;
    }
    case BiosRequest::BankSet:
      return board.BankSet(call.In16()) || call.Fail(kErrorInvalidParameter);
    case BiosRequest::WriteMonitorBlock:
    case BiosRequest::ReadMonitorBlock: {
      const u16 bank = call.In16();
      const u16 address = call.In16();
      const u32 token = call.In32();
      const u16 count = call.In16();
      std::span<u8> buffer;
      if (!caller_memory(token, count, buffer)) return call.Fail(kErrorNoAccess);
      const bool done = BiosRequest(n) == BiosRequest::WriteMonitorBlock
                            ? board.WriteMonitorBlock(bank, address, buffer)
                            : board.ReadMonitorBlock(bank, address, buffer);
      // a bank the card does not have, or a block running out of its bank
      return done || call.Fail(kErrorInvalidParameter);
    }
    case BiosRequest::MonitorEnable:
      board.MonitorEnable(call.In16());
      return true;
    default:
      return call.Fail(kErrorInvalidFunction);
  }
}

// Set-up, target control, the run-time counter, the logic configuration, the
// wait, and the driver's own queries.
bool SimulatedDriver::Control(u32 n, Call& call) {
  DevBoard& board = Board();
  switch (BiosRequest(n)) {
    case BiosRequest::DriverStatus:
      call.Result(kSimDriverStatus);
      return true;
    case BiosRequest::FunctionSet:
      call.Result(kSimFunctionSet);
      call.arg.set32<kArgSizeWorkArea>(u32(kWorkAreaSize));
      call.arg.set32<kArgSizeArgBlock>(u32(kArgBlockSize));
      return true;
    default:
      break;
  }
  BiosWorkArea& work = *call.work;
  switch (BiosRequest(n)) {
    case BiosRequest::InterfaceInit:
      InterfaceSetup(work);
      work.set16<kWorkPushback>(kNoPushback);
      call.Result(board.InterfaceInit());
      return true;
    case BiosRequest::Init:
      // What this board takes from the work area: the NMI set-up level (523
      // bits 0-1 as register 7 bits 2-3), the register 4 set-up bits (296,
      // 520), the break-port selection (524, 525) and register 54 (515). The
      // target is held in reset, the FIFOs emptied, emulation-memory access
      // closed, bank 0 and page 0 selected, the status word cleared and the
      // tick limit set to 1000. Bus width, byte swap, clock and wait set-up
      // (294, 295, 297..299, 521) describe wider buses and clock dividers the
      // board does not model and are not read.
      work.set16<kWorkStatus>(0);
      WriteWhole(work, kRegControl, u8((work.get8<kWorkReg7Bits>() & 0x03) << 2));
      Pulse(work, kCtlFifoReset);
      WriteWhole(work, kRegMonitorLanes,
                 u8((work.get8<kWorkReg4High>() & 0x03) << 6 | (work.get8<kWorkReg4Bit5>() ? 0x20 : 0)));
      WriteWhole(work, kRegMonitorBank, 0);
      WriteWhole(work, 44, 0);
      work.set32<kWorkRegisterPage>(0xFFFFFFFF);
      BreakPortSelect(work);
      WriteWhole(work, 54, work.get8<kWorkReg54Copy>());
      WriteMasked(work, kRegEmuMode, 0x0C, 0x0C);
      WriteWhole(work, kRegEmuAddressTop, 0);
      work.set16<kWorkTickLimit>(1000);
      return true;
    case BiosRequest::BreakPortSelect:
      BreakPortSelect(work);
      return true;
    case BiosRequest::TargetReset: {
      // mode 0 release, 1 assert and hold, n > 1 assert, n ms, release
      const u16 mode = call.In16();
      const u16 fifo_reset = call.In16();
      if (mode != 0) WriteMasked(work, kRegControl, 0, kCtlResetRelease);
      if (fifo_reset != 0) {
        Pulse(work, kCtlFifoReset);
      }
      if (mode > 1) PassTime(mode);
      if (mode != 1) WriteMasked(work, kRegControl, kCtlResetRelease, kCtlResetRelease);
      return true;
    }
    case BiosRequest::TargetNmi: {
      const u16 ms = call.In16();
      if (ms == 0) {
        // a short pulse: the bit comes back, so the next pulse is an edge again
        Pulse(work, kCtlNmiPulse);
        return true;
      }
      const u8 former = shadow_of(work, kRegControl);
      WriteMasked(work, kRegControl, u8(~former), kCtlNmiHold);
      PassTime(ms);
      WriteWhole(work, kRegControl, former);
      return true;
    }
    case BiosRequest::CheckRun:
      BeforeStatusRead();
      call.Result(board.CheckRun());
      return true;
    case BiosRequest::CheckVcc:
      call.Result(board.CheckVcc(work, call.In16()));
      return true;
    case BiosRequest::RunTimeClear:
      Pulse(work, kCtlRunTimeClear);
      return true;
    case BiosRequest::RunTimeRead:
      call.Result(board.RunTimeRead());
      return true;
    case BiosRequest::PageSelect: {
      const u32 page = call.In32();
      WriteMasked(work, 44, page == 1 ? 0x80 : 0x00, 0x80);
      work.set32<kWorkRegisterPage>(page);
      return true;
    }
    case BiosRequest::FlexConfig: {
      const u8 flags = call.In8();
      const u32 token = call.In32();
      const u16 length = call.In16();
      std::span<u8> data;
      if (!caller_memory(token, length, data)) return call.Fail(kErrorNoAccess);
      if (flags & 0x01) InterfaceSetup(work);
      call.Result(board.FlexConfig(work, flags, data));
      return true;
    }
    case BiosRequest::Wait:
      PassTime(call.In16());
      return true;
    default:
      return call.Fail(kErrorInvalidFunction);
  }
}

// The event channels, the timer and the trace memory, carried out on the
// board's instruments as the library's register sequences would set them up.
bool SimulatedDriver::Instruments(u32 n, Call& call) {
  BiosWorkArea& work = *call.work;
  DevBoard& board = Board();
  const u64 now = target_.Cpu().Clock();
  // the set-up of a consumer: sources, combination, its pass count
  auto selection = [&](std::size_t at) {
    DevEventSelection s;
    s.sources = work.bytes[at];
    s.sequence = (work.bytes[at + 1] & 0x80) != 0;
    s.pass_count = work.get16_at(at + 2);
    return s;
  };
  auto timer_set = [&] {
    board.Events().TimerSet(work.get8<kWorkTimerStep>(), work.get8<kWorkTimerFlags>(),
                            work.get32<kWorkTimerPreset>(), now);
  };
  auto arm_trigger = [&] {
    board.Events().ArmTrigger(selection(kWorkTraceEventSetup), work.get16<kWorkTraceDelay>());
  };
  switch (BiosRequest(n)) {
    case BiosRequest::TriggerSet: {  // channel n (1..3), or all three (0)
      const u16 channel = call.In16();
      for (std::size_t i = 0; i < kDevEventChannels; ++i) {
        if (channel != 0 && channel != i + 1) continue;
        const std::size_t at = kWorkLibraryEvents + i * kEventRecordSize;
        DevEventChannel c;
        c.data_negate = work.bytes[at + 0] != 0;
        c.address_negate = work.bytes[at + 1] != 0;
        c.address_start = work.get32_at(at + 4);
        c.address_end = work.get32_at(at + 8);
        c.address_mask = work.get32_at(at + 12);
        c.data_value = work.get32_at(at + 16);
        c.data_mask = work.get32_at(at + 20);
        c.status_value = work.get16_at(at + 24);
        c.status_mask = work.get16_at(at + 26);
        c.pass_count = work.get16_at(at + 28);
        board.Events().SetChannel(i, c);
      }
      return true;
    }
    case BiosRequest::EventSet: {  // flag 1: the run events; else flag 2: the trace events
      const u16 flags = call.In16();
      timer_set();
      if (flags & 1)
        board.Events().ArmBreak(selection(kWorkEventEnable));
      else if (flags & 2)
        arm_trigger();
      return true;
    }
    case BiosRequest::EventStatus:  // the sources that fired since arming
      call.In16();
      call.Result(board.Events().Status());
      return true;
    case BiosRequest::DelayRead:    // frames recorded since the trigger
      call.Result(board.Events().TraceDelayCounted());
      return true;
    case BiosRequest::TimerStart:
      board.Events().TimerStart(now);
      return true;
    case BiosRequest::TimerSet:
      timer_set();
      return true;
    case BiosRequest::TimerRead: {  // status; with bit 1 the count goes out
      const u32 token = call.In32();
      u32 count = 0;
      const u8 status = board.Events().TimerRead(count, now);
      if ((status & kDevTimerDone) && !store_out<u32>(token, count)) return call.Fail(kErrorNoAccess);
      call.Result(status);
      return true;
    }
    case BiosRequest::TraceGo:
      board.Events().TraceStop();
      arm_trigger();
      board.Events().TraceStart(work.get8<kWorkTraceMode>());
      return true;
    case BiosRequest::TraceOn:
      board.Events().TraceStart(board.Events().TraceMode());
      return true;
    case BiosRequest::TraceStop: {  // the frame address; in delay mode what the delay had still to run
      const u32 delay_token = call.In32();
      const u32 frame_token = call.In32();
      board.Events().TraceStop();
      const DevEvents& ev = board.Events();
      if (work.get8<kWorkTraceMode>() & kDevTraceDelayed) {
        const u16 delay = work.get16<kWorkTraceDelay>();
        const u32 left = ev.TraceDelayDone() || ev.TraceDelayCounted() > 0
                             ? u32(delay - std::min<u16>(delay, ev.TraceDelayCounted()))
                             : 0xFFFFFFFF;
        if (!store_out<u32>(delay_token, left)) return call.Fail(kErrorNoAccess);
      }
      if (!store_out<u32>(frame_token, ev.TraceFrameAddress())) return call.Fail(kErrorNoAccess);
      call.Result(ev.TraceWrapped() ? 1 : 0);
      return true;
    }
    case BiosRequest::TraceReadAddress:
      call.Result(board.Events().TraceFrameAddress());
      return true;
    case BiosRequest::SampleAddress: {  // where the program fetches now; result bit 0 set: no sample
      const u32 address_token = call.In32();
      const u32 status_token = call.In32();
      u32 address = 0;
      u8 status = 0;
      bool valid = false;
      if (board.CheckRun() & 1) {
        // between two slices the bus's next cycle is the fetch at PC
        address = static_cast<const DevBoard&>(board).Mmu().Translate(target_.Cpu().GetRegisters().pc);
        status = kDevStatusFetch;
        valid = true;
      } else {
        valid = board.Events().LastFetch(address, status);
        if (!valid) status = 0;
      }
      if (!store_out<u32>(address_token, address) || !store_out<u16>(status_token, status))
        return call.Fail(kErrorNoAccess);
      call.Result(valid ? 0 : 1);
      return true;
    }
    case BiosRequest::SetFrameAddress:
      call.In16();  // frames are read by number: nothing to point at
      return true;
    case BiosRequest::ReadTraceData: {
      const u16 requested_frame = call.In16();
      const u32 address_token = call.In32();
      const u32 data_token = call.In32();
      const u32 status_token = call.In32();
      const u32 extra_token = call.In32();
      const DevEvents& ev = board.Events();
      const DevTraceFrame& f = ev.Frame(requested_frame);
      if (!store_out<u32>(address_token, f.address) || !store_out<u32>(data_token, f.data) ||
          !store_out<u16>(status_token, f.status) ||
          !store_out<u16>(extra_token, u16(ev.Stamp(f.clock) | f.marker)))
        return call.Fail(kErrorNoAccess);
      return true;
    }
    default:
      return call.Fail(kErrorInvalidFunction);
  }
}

// The hardware this board does not have answers as a card without it, and
// the profiler's sample exchange.
bool SimulatedDriver::AbsentHardware(u32 n, Call& call) {
  BiosWorkArea& work = *call.work;
  DevBoard& board = Board();
  switch (BiosRequest(n)) {
    case BiosRequest::ProfileNmi: {
      // The sample exchange: the code goes to the target, an NMI makes the
      // monitor echo it and send the interrupted PC, the program goes on.
      const u32 token = call.In32();
      const u16 count = call.In16();
      const u8 code = call.In8();
      const u16 mode = call.In16();
      std::span<u8> buffer;
      if (!caller_memory(token, count, buffer)) return call.Fail(kErrorNoAccess);
      if (mode <= 1) {
        if ((board.CheckRun() & 1) == 0) {
          call.Result(3);  // the program is not running: nothing to sample
          return true;
        }
        Pulse(work, kCtlRunStrobe);
        if (FeedByte(call, code, false) == Feed::TimedOut) {
          set_timeout(work);
          call.Result(1);
          return true;
        }
        Pulse(work, kCtlNmiPulse);
        if (mode == 1) return true;
      }
      for (std::size_t i = 0; i <= buffer.size(); ++i) {
        if (!WaitFor(work, [&] { return board.ReceiveCount() > 0; })) {
          set_timeout(work);
          call.Result(1);
          return true;
        }
        const u8 b = TakeByte();
        if (i == 0 && b != code) {
          work.set16<kWorkPushback>(b);  // not the echo: left for the next receive
          call.Result(2);
          return true;
        }
        if (i > 0) buffer[i - 1] = b;
      }
      Pulse(work, kCtlRunStrobe);
      return true;
    }
    case BiosRequest::JtagWriteBlock: {  // no JTAG port: never any write room
      call.In32();
      const u16 count = call.In16();
      if (count == 0) return true;
      set_timeout(work);
      call.Result(1);
      return true;
    }
    case BiosRequest::JtagReadFifo: {    // no JTAG port: a write times out, nothing is ever read
      call.In32();
      const u16 write_count = call.In16();
      if (write_count > 0) set_timeout(work);
      call.Result(0);
      return true;
    }
    default:
      return call.Fail(kErrorInvalidFunction);
  }
}

// --- The channel ------------------------------------------------------------

bool SimulatedDriver::Channel(u32 n, Call& call) {
  BiosWorkArea& work = *call.work;
  DevBoard& board = Board();
  switch (BiosRequest(n)) {
    case BiosRequest::FifoReset:
      Pulse(work, kCtlFifoReset);
      return true;
    case BiosRequest::PutChannel: {
      const Feed fed = FeedByte(call, call.In8(), false);
      target_.Service();
      if (fed == Feed::TimedOut) set_timeout(work);
      call.Result(fed == Feed::Sent ? 0 : 1);
      return true;
    }
    case BiosRequest::PutChannelBlock: {
      const u32 token = call.In32();
      const u16 count = call.In16();
      const bool stop_on_input = call.In32() != 0;
      std::span<u8> buffer;
      if (!caller_memory(token, count, buffer)) return call.Fail(kErrorNoAccess);
      Feed fed = Feed::Sent;
      for (std::size_t i = 0; i < buffer.size() && fed == Feed::Sent; ++i)
        fed = FeedByte(call, buffer[i], stop_on_input);
      target_.Service();
      if (fed == Feed::TimedOut) set_timeout(work);
      call.Result(fed == Feed::Sent ? 0 : 1);
      return true;
    }
    case BiosRequest::ChannelCheck:
      BeforeStatusRead();
      call.Result(u32(board.ReceiveCount()));
      return true;
    case BiosRequest::GetChannel:
      if (!WaitFor(work, [&] { return board.ReceiveCount() > 0; })) {
        set_timeout(work);
        return true;  // result 0
      }
      call.Result(TakeByte());
      return true;
    case BiosRequest::GetChannelBlock: {
      const u32 token = call.In32();
      const u16 count = call.In16();
      std::span<u8> buffer;
      if (!caller_memory(token, count, buffer)) return call.Fail(kErrorNoAccess);
      // each byte has the whole tick limit to arrive
      for (u8& b : buffer) {
        if (!WaitFor(work, [&] { return board.ReceiveCount() > 0; })) {
          set_timeout(work);
          call.Result(1);
          return true;
        }
        b = TakeByte();
      }
      return true;
    }
    case BiosRequest::FlushChannel: {
      // Drops what waits, and what the target sends while it is let to act on
      // what it has, until nothing more comes.
      work.set16<kWorkPushback>(kNoPushback);
      std::size_t dropped = 0;
      while (dropped < kSimFlushLimit) {
        if (board.ReceiveCount() == 0) target_.Service();
        if (board.ReceiveCount() == 0) break;
        TakeByte();
        ++dropped;
      }
      return true;
    }
    case BiosRequest::StartCommand: {
      // The code goes into the bank/command register, then the doorbell.
      u16 code = call.In16();
      if (code == kDevTopBank) code = kDevTopBankCode;
      if (!board.BankSet(code)) return call.Fail(kErrorInvalidParameter);
      if (FeedByte(call, 0, false) == Feed::TimedOut) set_timeout(work);
      target_.Service();
      return true;
    }
    case BiosRequest::PushChannel:
      work.set16<kWorkPushback>(call.In8());
      return true;
    default:
      return call.Fail(kErrorInvalidFunction);
  }
}

// The bytes the library gathered go out first, from the saved index on; the
// fields are left empty and out of receive mode, since this driver never
// reads ahead. A send that times out loses the rest of them.
void SimulatedDriver::DeliverGathered(Call& call) {
  DriverArgBlock& arg = call.arg;
  const u32 saved = arg.get32<kArgChanSavedIndex>();
  const u32 count = arg.get32<kArgChanCount>();
  // not in receive mode, and the saved index inside the buffer?
  if (arg.get32<kArgChanReceive>() == 0 && saved < kChannelBufferSize && count > 0) {
    const u32 n = std::min<u32>(count, u32(kChannelBufferSize) - saved);
    for (u32 i = 0; i < n; ++i) {
      if (FeedByte(call, call.work->bytes[kWorkChannelBuffer + saved + i], false) == Feed::TimedOut) {
        set_timeout(*call.work);
        break;
      }
    }
    target_.Service();
  }
  arg.set32<kArgChanIndex>(saved);
  arg.set32<kArgChanCount>(0);
  arg.set32<kArgChanReceive>(0);
}

// One byte into the send FIFO. A full FIFO is left to the target: first what
// it does with the bytes it has, then 1 ms at a time up to the tick limit.
// With stop_on_input, input from the target ends the wait for room.
SimulatedDriver::Feed SimulatedDriver::FeedByte(Call& call, u8 value, bool stop_on_input) {
  DevBoard& board = Board();
  if (board.SendRoom() == 0) {
    bool input = false;
    const bool room = WaitFor(*call.work, [&] {
      input = stop_on_input && board.ReceiveCount() > 0;
      return input || board.SendRoom() > 0;
    });
    if (input) return Feed::InputWaiting;
    if (!room) return Feed::TimedOut;
  }
  const bool took = board.ChannelSend(value);
  Record({SimTranscriptEntry::Kind::ToTarget, value, 0, took});
  return Feed::Sent;
}

// Waits until `ready`: first the target acts on what it has without time
// passing, then time passes 1 ms at a time, up to the work area's tick limit
// (at least one step). False on a time-out.
template <class Ready>
bool SimulatedDriver::WaitFor(const BiosWorkArea& work, Ready ready) {
  if (ready()) return true;
  target_.Service();
  if (ready()) return true;
  const u32 limit = std::max<u32>(work.get16<kWorkTickLimit>(), 1);
  if (runner_.Threaded()) {
    // Beside the host: the board's time up to the limit, slice by slice while
    // the CPU runs; a board with nothing running gives its answer at once.
    u64 left = dev_ms_to_tstates(limit, Board().Fixture().cpu_clock_hz);
    while (left > 0) {
      left -= std::min(left, runner_.Advance(*held_, left));
      if (ready()) return true;
    }
    return false;
  }
  for (u32 tick = 0; tick < limit; ++tick) {
    PassTime(1);
    if (ready()) return true;
  }
  return false;
}

u8 SimulatedDriver::TakeByte() {
  const u8 value = Board().ChannelReceive();
  Record({SimTranscriptEntry::Kind::FromTarget, value, 0, true});
  return value;
}

void SimulatedDriver::PassTime(u32 ms) {
  if (runner_.Threaded())
    runner_.Pass(*held_, dev_ms_to_tstates(ms, Board().Fixture().cpu_clock_hz));
  else
    target_.Run(clock_.Pass(ms));
}

void SimulatedDriver::BeforeStatusRead() {
  if (runner_.Threaded() && target_.CpuRuns()) runner_.Advance(*held_, runner_.PollSlice());
}

void SimulatedDriver::SetTargetPower(bool on) {
  std::unique_lock<std::mutex> held = runner_.Take();
  target_.Board().SetTargetPower(on);
  runner_.Give(held);
}

void SimulatedDriver::SetMonitorHung(bool hung) {
  std::unique_lock<std::mutex> held = runner_.Take();
  target_.Faults().monitor_hung = hung;
  runner_.Give(held);
}

// --- Registers and set-up ---------------------------------------------------

// Registers 36, 41 and 44 take the break-port selection of 524 and 525; no
// break hardware reads it yet.
void SimulatedDriver::BreakPortSelect(BiosWorkArea& work) {
  const u8 bits = work.get8<kWorkBreakPortBits>();
  const u16 value = work.get16<kWorkBreakPortValue>();
  WriteMasked(work, 36, bits & 0x03, 0x03);
  WriteMasked(work, 41, (bits >> 2) & 0x03, 0x03);
  WriteMasked(work, 36, u8((value & 0x0F) << 4), 0xF0);
  WriteMasked(work, 44, (value >> 4) & 0x3F, 0x3F);
}

// The host-interface set-up: register caches unknown, the card reporting
// itself as the newest board generation, and the work area's shadow taken
// from the board.
void SimulatedDriver::InterfaceSetup(BiosWorkArea& work) {
  work.set8<kWorkBank2Register>(255);
  work.set8<kWorkRegister>(255);
  work.set8<kWorkBoardType>(u8(0x30 | (work.get8<kWorkBoardType>() & 0x0F)));
  work.set16<kWorkPollsPerTick>(2000);
  work.set32<kWorkRegisterPage>(0xFFFFFFFF);
  for (std::size_t r = 0; r < kDevRegisterCount; ++r) shadow_of(work, u8(r)) = Board().RegisterShadow(u8(r));
}

// Callers pass reg < kDevRegisterCount.
void SimulatedDriver::WriteMasked(BiosWorkArea& work, u8 reg, u8 value, u8 mask) {
  WriteWhole(work, reg, u8((shadow_of(work, reg) & ~mask) | (value & mask)));
}

void SimulatedDriver::WriteWhole(BiosWorkArea& work, u8 reg, u8 value) {
  Board().WriteRegister(reg, value);
  shadow_of(work, reg) = value;
}

void SimulatedDriver::Pulse(BiosWorkArea& work, u8 bit) {
  WriteMasked(work, kRegControl, bit, bit);
  WriteMasked(work, kRegControl, 0, bit);
}

// --- Transcript -------------------------------------------------------------

std::size_t SimulatedDriver::Record(SimTranscriptEntry entry) {
  transcript_.push_back(entry);
  if (transcript_.size() > kSimTranscriptLimit) {
    transcript_.pop_front();
    ++first_sequence_;
  }
  return first_sequence_ + transcript_.size() - 1;
}

// The entry may have left the transcript while its request ran.
void SimulatedDriver::SetRequestResult(std::size_t sequence, u32 result, bool ok) {
  if (sequence < first_sequence_ || sequence - first_sequence_ >= transcript_.size()) return;
  SimTranscriptEntry& e = transcript_[sequence - first_sequence_];
  e.result = result;
  e.ok = ok;
}

void SimulatedDriver::ClearTranscript() {
  first_sequence_ += transcript_.size();
  transcript_.clear();
}

std::vector<u8> SimulatedDriver::ChannelBytes(SimTranscriptEntry::Kind direction) const {
  std::vector<u8> out;
  for (const SimTranscriptEntry& e : transcript_)
    if (e.kind == direction && direction != SimTranscriptEntry::Kind::Request) out.push_back(u8(e.value));
  return out;
}

std::string SimulatedDriver::TranscriptText() const {
  std::string out;
  char line[48];
  for (const SimTranscriptEntry& e : transcript_) {
    switch (e.kind) {
      case SimTranscriptEntry::Kind::Request:
        if (e.ok)
          std::snprintf(line, sizeof line, "REQ %u -> 0x%X\n", unsigned(e.value), unsigned(e.result));
        else
          std::snprintf(line, sizeof line, "REQ %u failed %u\n", unsigned(e.value), unsigned(e.result));
        break;
      case SimTranscriptEntry::Kind::ToTarget:
        std::snprintf(line, sizeof line, e.ok ? "TX %02X\n" : "TX %02X lost\n", unsigned(e.value));
        break;
      case SimTranscriptEntry::Kind::FromTarget:
        std::snprintf(line, sizeof line, "RX %02X\n", unsigned(e.value));
        break;
    }
    out += line;
  }
  return out;
}

namespace {
constexpr u32 kSimulatedPort = 0x300;  // the simulated card's port address
}  // namespace

DevBackend dev_backend_from_environment() {
  const auto value = host_env_lookup(kDevBackendVariable);
  if (!value || value->empty() || *value == "driver") return DevBackend::Driver;
  if (*value == "direct") return DevBackend::Direct;
  return DevBackend::Unknown;
}

bool DevProgramEmulator::Install(std::string_view program) {
  const DevBackend backend = dev_backend_from_environment();
  if (backend == DevBackend::Unknown) {
    std::cerr << program << ": " << kDevBackendVariable << " must be \"driver\" or \"direct\"\n";
    return false;
  }
  if (!dev_install_driver_parameters(kSimulatedPort, 0)) {
    // the store's fault names the file, and the line of a file it cannot read
    const std::string& fault = host_reg_last_fault();
    std::cerr << program << ": cannot install the driver's parameters: " << (fault.empty() ? host_reg_folder() : fault)
              << '\n';
    return false;
  }
  dev_reset_system();
  driver_ = std::make_unique<SimulatedDriver>(DevFixture{});
  driver_->StartThread(dev_pacing_from_environment());
  DevSys.driver = driver_.get();
  DevSys.service_running = true;
  if (backend == DevBackend::Direct) {
    // The system reports the platform on which the library drives the card's
    // ports itself; the same board answers them.
    ports_ = std::make_unique<DevBoardPorts>(*driver_, u16(kSimulatedPort));
    DevSys.platform = kPlatformWin9x;
    DevSys.ports = ports_.get();
  }
  return true;
}

DevProgramEmulator::~DevProgramEmulator() {
  if (ports_ && DevSys.ports == ports_.get()) DevSys.ports = nullptr;
  if (driver_ && DevSys.driver == driver_.get()) DevSys.driver = nullptr;
}
