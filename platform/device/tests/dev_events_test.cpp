#include "platform/device/dev_events.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <iterator>
#include <vector>

#include "platform/device/dev_target.h"
#include "platform/device/tests/recording_bus.h"

namespace {

using namespace cpu_testing;

constexpr u16 kProgram = 0x8000;  // target RAM, above LROM1
constexpr u8 kAnyKind = 0x1F;     // the status bits of the cycle kinds

// Each round k = 0, 1, ... writes k to 0x9000 + k and outputs k to port (k << 8) | 0x30.
constexpr u8 kRounds[] = {
    0x21, 0x00, 0x90,  // 8000 LD HL,9000h
    0x7D,              // 8003 LD A,L
    0x77,              // 8004 LD (HL),A
    0xD3, 0x30,        // 8005 OUT (30h),A
    0x23,              // 8007 INC HL
    0x18, 0xF9,        // 8008 JR 8003h
};

// The target with the program at kProgram, out of reset, running the program
// under test. 10 MHz: one T-state is one 0.1 us timer unit.
struct Rig {
  DevTarget target{[] {
    DevFixture f;
    f.cpu_clock_hz = 10'000'000;
    return f;
  }()};
  DevBoard& board = target.Board();

  explicit Rig(std::vector<u8> program = std::vector<u8>(std::begin(kRounds), std::end(kRounds))) {
    board.WriteRegisterMasked(kRegControl, kCtlResetRelease, kCtlResetRelease);
    target.RunCpu(0);  // takes the power-on reset
    u16 a = kProgram;
    for (u8 b : program) board.PokeTarget(a++, b);
    DevRegisters r;
    r.pc = kProgram;
    r.sp = 0xA000;
    target.Cpu().SetRegisters(r);
    board.SetUserRunning(true);
  }
  DevRegisters Regs() { return target.Cpu().GetRegisters(); }
};

DevEventChannel channel(u32 start, u32 end, u16 status_value, u16 status_mask = kAnyKind) {
  DevEventChannel c;
  c.address_start = start;
  c.address_end = end;
  c.address_mask = 0xFFFFF;
  c.status_value = status_value;
  c.status_mask = status_mask;
  return c;
}

DevEventChannel data_channel(u8 value, u16 status_value = 0, u16 status_mask = 0) {
  DevEventChannel c;
  c.data_value = value;
  c.data_mask = 0xFF;
  c.status_value = status_value;
  c.status_mask = status_mask;
  return c;
}

TEST(DevEventsTest, EachConditionBreaksAtTheEndOfTheInstruction) {
  const auto negated = [] {
    DevEventChannel c = channel(0x9000, 0x9002, kDevStatusMemWrite);
    c.address_negate = true;
    return c;
  };
  const auto not_data = [] {
    DevEventChannel c = data_channel(0x00, kDevStatusMemWrite, kAnyKind);
    c.data_negate = true;
    return c;
  };
  const auto passes = [] {
    DevEventChannel c = channel(0x9000, 0x90FF, kDevStatusMemWrite);
    c.pass_count = 3;
    return c;
  };
  const struct Case {
    const char* what;
    std::vector<DevEventChannel> channels;
    DevEventSelection selection;
    u16 hl, pc;  // where the break leaves the program
  } cases[] = {
      {"address range", {channel(0x9005, 0x9007, kDevStatusMemWrite)}, {kDevSrcEv1}, 0x9005, 0x8005},
      {"negated range", {negated()}, {kDevSrcEv1}, 0x9003, 0x8005},
      {"data value", {data_channel(0x07, kDevStatusMemWrite, kAnyKind)}, {kDevSrcEv1}, 0x9007, 0x8005},
      {"data not equal", {not_data()}, {kDevSrcEv1}, 0x9001, 0x8005},
      {"I/O write", {data_channel(0x04, kDevStatusIoWrite, kAnyKind)}, {kDevSrcEv1}, 0x9004, 0x8007},
      {"memory (any MREQ)", {data_channel(0x04, kDevStatusMreq, kDevStatusMreq | kDevStatusIorq)}, {kDevSrcEv1},
       0x9004, 0x8005},
      {"pass count 3", {passes()}, {kDevSrcEv1}, 0x9002, 0x8005},
      {"event 3 alone", {{}, {}, data_channel(0x02, kDevStatusIoWrite, kAnyKind)}, {kDevSrcEv3}, 0x9002, 0x8007},
      {"AND on one cycle", {channel(0x9000, 0x90FF, kDevStatusMemWrite), data_channel(0x06)}, {kDevSrcAndSeq, false, 1},
       0x9006, 0x8005},
      {"SEQ: event 2 after event 1", {data_channel(0x03, kDevStatusIoWrite, kAnyKind),
                                      channel(0x9000, 0x90FF, kDevStatusMemWrite)}, {kDevSrcAndSeq, true, 1},
       0x9004, 0x8005},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Rig rig;
    DevEvents& ev = rig.board.Events();
    for (std::size_t i = 0; i < c.channels.size(); ++i) ev.SetChannel(i, c.channels[i]);
    ev.ArmBreak(c.selection);
    const u64 used = rig.target.RunCpu(100000);
    EXPECT_LT(used, 100000u);  // ended early
    EXPECT_EQ(rig.Regs().hl, c.hl);
    EXPECT_EQ(rig.Regs().pc, c.pc);
    EXPECT_TRUE(rig.board.TakeNmi());  // the break reaches the monitor as an NMI
    EXPECT_NE(ev.Status() & c.selection.sources, 0);
  }
}

TEST(DevEventsTest, AndCountsItsOwnPasses) {
  // INC (HL) reads and writes 0x9000: address and data 2 meet on the write of
  // round 2 and again on the read of round 3
  Rig rig({0x21, 0x00, 0x90, 0x34, 0x18, 0xFD});
  DevEvents& ev = rig.board.Events();
  ev.SetChannel(0, channel(0x9000, 0x9000, 0, 0));
  ev.SetChannel(1, data_channel(0x02));
  ev.ArmBreak({kDevSrcAndSeq, false, 2});
  rig.target.RunCpu(100000);
  EXPECT_EQ(rig.board.PeekTarget(0x9000), 3);
  EXPECT_EQ(rig.Regs().pc, 0x8004);
}

TEST(DevEventsTest, NothingSelectedNothingStopsAndTheShortcutStays) {
  Rig rig;
  rig.board.Events().SetChannel(0, channel(0x9000, 0x9000, kDevStatusMemWrite));
  EXPECT_FALSE(rig.board.Events().Live());
  EXPECT_EQ(rig.target.RunCpu(10000) >= 10000, true);
  EXPECT_FALSE(rig.board.TakeNmi());
}

// The timer from event 1 (the fetch at 8004) to event 2 (the next fetch at
// 8007), in 0.1 us units, against the T-states the core counts between them.
TEST(DevEventsTest, TimerMeasuresFromEvent1ToEvent2InVirtualTime) {
  TestBus bus;
  std::copy(std::begin(kRounds), std::end(kRounds), bus.memory.begin() + kProgram);
  DevCpu cpu(bus);
  DevRegisters r;
  r.pc = kProgram;
  cpu.SetRegisters(r);
  u64 expected = 0;
  bool counting = false;
  for (int i = 0; i < 40; ++i) {
    const u16 pc = cpu.GetRegisters().pc;
    if (pc == 0x8004) counting = true;
    if (pc == 0x8007 && counting) break;
    const u32 t = cpu.StepInstruction();
    if (counting) expected += t;
  }
  ASSERT_EQ(expected, 7u + 11u);  // LD (HL),A and OUT (n),A

  Rig rig;
  DevEvents& ev = rig.board.Events();
  ev.SetChannel(0, channel(0x8004, 0x8004, kDevStatusFetch));
  ev.SetChannel(1, channel(0x8007, 0x8007, kDevStatusFetch));
  ev.TimerSet(0, 0, 0, rig.target.Cpu().Clock());
  for (int i = 0; i < 4; ++i) rig.target.Cpu().StepInstruction();
  u32 count = 0;
  EXPECT_EQ(ev.TimerRead(count, 0) & kDevTimerRunning, kDevTimerRunning);  // event 1 seen, event 2 not yet
  for (int i = 0; i < 3; ++i) rig.target.Cpu().StepInstruction();
  EXPECT_EQ(ev.TimerRead(count, 0), kDevTimerDone);
  EXPECT_EQ(count, expected);
  EXPECT_EQ(ev.TimerRead(count, 0), 0);  // taken
}

TEST(DevEventsTest, TimeOutBreaksAfterItsCount) {
  Rig rig;
  DevEvents& ev = rig.board.Events();
  ev.TimerSet(1, 1, 100, rig.target.Cpu().Clock());  // 100 us = 1000 T-states
  ev.ArmBreak({kDevSrcTimeOut});
  const u64 used = rig.target.RunCpu(100000);
  EXPECT_GE(used, 1000u);
  EXPECT_LT(used, 1020u);
  EXPECT_TRUE(rig.board.TakeNmi());
  EXPECT_EQ(ev.Status() & kDevSrcTimeOut, kDevSrcTimeOut);
}

// Trace frames of the first instructions are the cycles the core performs on
// a plain bus, with the status lines of each kind.
TEST(DevEventsTest, TraceFramesAreTheBusCyclesOfTheCore) {
  TestBus bus;
  bus.ports.fill(0xFF);  // the board's port latches
  std::copy(std::begin(kRounds), std::end(kRounds), bus.memory.begin() + kProgram);
  // a prefixed instruction too: LD IX,1234h in front of the loop
  DevCpu cpu(bus);
  DevRegisters r;
  r.pc = kProgram;
  r.sp = 0xA000;
  cpu.SetRegisters(r);
  for (int i = 0; i < 12; ++i) cpu.StepInstruction();
  const u8 status_of[] = {kDevStatusFetch, kDevStatusMemRead, kDevStatusMemWrite,
                          kDevStatusIoRead, kDevStatusIoWrite, kDevStatusInta};

  // Stepped, every cycle goes through the board; run as one slice, the CPU
  // writes the frames of plain pages itself, between the board's own (OUT).
  std::vector<DevTraceFrame> stepped;
  for (const bool slice : {false, true}) {
    SCOPED_TRACE(slice ? "one slice" : "stepped");
    Rig rig;
    rig.board.ClearCycleCounts();
    DevEvents& ev = rig.board.Events();
    ev.TraceStart(0);
    if (slice) {
      EXPECT_EQ(rig.target.RunCpu(cpu.TStates()), cpu.TStates());
    } else {
      for (int i = 0; i < 12; ++i) rig.target.Cpu().StepInstruction();
    }
    ev.TraceStop();
    ASSERT_EQ(ev.TraceFrameAddress(), bus.cycles.size());
    for (const BusCycle kind : {BusCycle::OpcodeFetch, BusCycle::MemoryRead, BusCycle::MemoryWrite, BusCycle::IoWrite})
      EXPECT_EQ(rig.board.CycleCount(kind), bus.Count(kind));
    u64 last_clock = 0;
    for (std::size_t i = 0; i < bus.cycles.size(); ++i) {
      SCOPED_TRACE(i);
      const DevTraceFrame& f = ev.Frame(u16(i));
      EXPECT_EQ(f.address, bus.cycles[i].address);
      EXPECT_EQ(f.data, bus.cycles[i].value);
      EXPECT_EQ(f.status, status_of[std::size_t(bus.cycles[i].kind)]);
      EXPECT_EQ(f.marker, 0);
      EXPECT_GE(f.clock, last_clock);
      last_clock = f.clock;
      if (!slice) {
        stepped.push_back(f);
      } else if (i < stepped.size()) {
        EXPECT_EQ(f.clock, stepped[i].clock);  // stamped at the same instruction's start
      }
    }
  }
}

// A long free run wraps the trace memory: the frame after the newest is the
// one written 65,536 cycles before it, and every cycle the board counted is
// one frame.
TEST(DevEventsTest, FreeTraceWrapsWithOneFramePerCycle) {
  Rig rig;
  rig.board.ClearCycleCounts();
  DevEvents& ev = rig.board.Events();
  ev.TraceStart(0);
  rig.target.RunCpu(1'000'000);
  EXPECT_TRUE(ev.TraceWrapped());
  u64 cycles = 0;
  for (const BusCycle kind : {BusCycle::OpcodeFetch, BusCycle::MemoryRead, BusCycle::MemoryWrite, BusCycle::IoRead,
                              BusCycle::IoWrite, BusCycle::InterruptAck})
    cycles += rig.board.CycleCount(kind);
  EXPECT_GT(cycles, kDevTraceFrames);
  EXPECT_EQ(ev.TraceFrameAddress(), cycles % kDevTraceFrames);
  // the newest frame and the oldest: the newest is the latest of all
  const DevTraceFrame& newest = ev.Frame(u16(ev.TraceFrameAddress() - 1));
  const DevTraceFrame& oldest = ev.Frame(ev.TraceFrameAddress());
  EXPECT_GT(newest.clock, oldest.clock);
  EXPECT_NE(newest.status, 0);
}

TEST(DevEventsTest, TraceModes) {
  {
    SCOPED_TRACE("stop when full");
    Rig rig;
    DevEvents& ev = rig.board.Events();
    ev.ArmBreak({kDevSrcTraceEnd});
    ev.TraceStart(kDevTraceStopFull);
    rig.target.RunCpu(1'000'000);
    EXPECT_FALSE(ev.TraceRecording());
    EXPECT_TRUE(ev.TraceWrapped());
    EXPECT_EQ(ev.TraceFrameAddress(), 0);
    EXPECT_TRUE(rig.board.TakeNmi());  // Tr.END breaks
  }
  {
    SCOPED_TRACE("delayed trigger");
    Rig rig;
    DevEvents& ev = rig.board.Events();
    ev.SetChannel(0, channel(0x9003, 0x9003, kDevStatusMemWrite));
    ev.ArmTrigger({kDevSrcEv1}, 20);
    ev.TraceStart(kDevTraceDelayed);
    rig.target.RunCpu(5000);
    EXPECT_FALSE(ev.TraceRecording());
    EXPECT_TRUE(ev.TraceDelayDone());
    EXPECT_EQ(ev.TraceDelayCounted(), 20);
    // the trigger frame lies 21 frames before the end
    const DevTraceFrame& f = ev.Frame(u16(ev.TraceFrameAddress() - 21));
    EXPECT_EQ(f.address, 0x9003u);
    EXPECT_EQ(f.status, kDevStatusMemWrite);
  }
  {
    SCOPED_TRACE("sample");
    Rig rig;
    DevEvents& ev = rig.board.Events();
    ev.SetChannel(0, channel(0x8004, 0x8004, kDevStatusFetch));
    ev.ArmTrigger({kDevSrcEv1}, 0);
    ev.TraceStart(kDevTraceSample);
    // 9 cycles a round: a sample of 16 spans the next trigger, which it ignores
    for (int i = 0; i < 1 + 5 * 5; ++i) rig.target.Cpu().StepInstruction();
    EXPECT_GE(ev.TraceFrameAddress(), 32);
    EXPECT_EQ(ev.Frame(0).marker, 0x8000);
    EXPECT_EQ(ev.Frame(0).address, 0x9000u);  // the cycle after the trigger: LD (HL),A's write
    EXPECT_EQ(ev.Frame(16).address, 0x9002u);
    EXPECT_EQ(ev.Frame(16).marker, 0x8000);
    EXPECT_EQ(ev.Frame(1).marker, 0);
  }
}

TEST(DevEventsTest, ExternalInputsAndTheNmiPin) {
  Rig rig;
  rig.board.Events().ArmBreak({kDevSrcExt2});
  rig.board.SetExternalBreak(1, true);  // not selected
  EXPECT_FALSE(rig.board.TakeNmi());
  rig.board.SetExternalBreak(2, true);
  EXPECT_TRUE(rig.board.TakeNmi());
  rig.board.SetExternalBreak(2, true);  // no edge
  EXPECT_FALSE(rig.board.TakeNmi());
  EXPECT_EQ(rig.board.Events().Status(), kDevSrcExt1 | kDevSrcExt2);
  rig.board.SetNmiPin(true);
  EXPECT_TRUE(rig.board.TakeNmi());
  rig.board.SetNmiPin(true);
  EXPECT_FALSE(rig.board.TakeNmi());
}

}  // namespace
