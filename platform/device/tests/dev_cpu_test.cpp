#include "platform/device/dev_cpu.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstddef>
#include <functional>
#include <initializer_list>
#include <ostream>
#include <vector>

#include "platform/device/tests/recording_bus.h"

namespace {

using namespace cpu_testing;

class CpuTest : public testing::Test {
 protected:
  TestBus bus;
  DevCpu cpu{bus};

  void Load(u16 at, std::initializer_list<u8> bytes) {
    std::size_t a = at;
    for (const u8 b : bytes) bus.memory[a++ & 0xFFFF] = b;
  }
  u16 Word(u16 at) const { return u16(bus.memory[at] | bus.memory[u16(at + 1)] << 8); }
  // Registers as after reset, with a stack at 8000h.
  void SetStack() {
    DevRegisters r = cpu.GetRegisters();
    r.sp = 0x8000;
    cpu.SetRegisters(r);
  }
};

// Sums `count` bytes from 0100h into DE (B = 0 counts 256), stores DE at
// 0200h and halts; INC A after the HALT must never run.
constexpr u8 kSumProgram[] = {
    0x31, 0x00, 0xF0,        // 0000 ld sp,0F000h
    0x21, 0x00, 0x01,        // 0003 ld hl,0100h
    0x06, 0x00,              // 0006 ld b,count
    0x11, 0x00, 0x00,        // 0008 ld de,0
    0x7E,                    // 000B loop: ld a,(hl)
    0x83,                    // 000C add a,e
    0x5F,                    // 000D ld e,a
    0x30, 0x01,              // 000E jr nc,nocarry
    0x14,                    // 0010 inc d
    0x23,                    // 0011 nocarry: inc hl
    0x10, 0xF7,              // 0012 djnz loop
    0xED, 0x53, 0x00, 0x02,  // 0014 ld (0200h),de
    0x76,                    // 0018 halt
    0x3C,                    // 0019 inc a
};
constexpr u16 kSumCountOffset = 0x0007;

TEST_F(CpuTest, SumLoopStoresTotalAndHalts) {
  const struct {
    const char* name;
    std::vector<u8> table;
    u8 count;
    u16 sum;
  } cases[] = {
      {"one byte", {0x7F}, 1, 0x007F},
      {"five", {1, 2, 3, 4, 5}, 5, 15},
      {"carry into D", {0xFF, 0xFF, 0x02}, 3, 0x0200},
      {"B=0 counts 256", std::vector<u8>(256, 0xFF), 0, 0xFF00},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    bus.memory.fill(0);
    std::copy(std::begin(kSumProgram), std::end(kSumProgram), bus.memory.begin());
    bus.memory[kSumCountOffset] = c.count;
    std::copy(c.table.begin(), c.table.end(), bus.memory.begin() + 0x0100);
    cpu.Reset();

    constexpr u64 kBudget = 100000;
    const u64 used = cpu.Run(kBudget);
    EXPECT_GE(used, kBudget);
    EXPECT_LT(used, kBudget + 24);  // no instruction takes more than 23
    EXPECT_EQ(cpu.TStates(), used);
    EXPECT_TRUE(cpu.Halted());

    EXPECT_EQ(Word(0x0200), c.sum);
    const DevRegisters r = cpu.GetRegisters();
    EXPECT_EQ(r.de, c.sum);
    EXPECT_EQ(r.hl, 0x0100 + c.table.size());
    EXPECT_EQ(r.bc >> 8, 0);
    EXPECT_EQ(r.sp, 0xF000);
    EXPECT_EQ(r.pc, 0x0019);          // past the HALT
    EXPECT_EQ(r.af >> 8, c.sum & 0xFF);  // INC A never ran
  }
}

TEST_F(CpuTest, CyclesAreClassifiedWithFullPortAddresses) {
  Load(0x0000, {
                   0x3A, 0x00, 0x10,        // ld a,(1000h)
                   0x32, 0x01, 0x10,        // ld (1001h),a
                   0x01, 0x34, 0x12,        // ld bc,1234h
                   0xED, 0x78,              // in a,(c)
                   0xED, 0x79,              // out (c),a
                   0x3E, 0x56,              // ld a,56h
                   0xD3, 0x78,              // out (78h),a: A on the high half
                   0xDB, 0x9A,              // in a,(9Ah)
                   0xDD, 0x21, 0x00, 0x20,  // ld ix,2000h
                   0xDD, 0x7E, 0x05,        // ld a,(ix+5)
                   0xDD, 0xCB, 0x02, 0x46,  // bit 0,(ix+2): its opcode byte is no M1
               });
  bus.memory[0x1000] = 0xA5;
  bus.memory[0x2005] = 0x11;
  bus.memory[0x2002] = 0x22;
  bus.ports[0x1234] = 0x9C;
  bus.ports[0x569A] = 0x3B;
  for (int i = 0; i < 11; ++i) cpu.StepInstruction();

  const std::vector<Cycle> expected = {
      Fetch(0x0000, 0x3A), Read(0x0001, 0x00), Read(0x0002, 0x10), Read(0x1000, 0xA5),
      Fetch(0x0003, 0x32), Read(0x0004, 0x01), Read(0x0005, 0x10), Write(0x1001, 0xA5),
      Fetch(0x0006, 0x01), Read(0x0007, 0x34), Read(0x0008, 0x12),
      Fetch(0x0009, 0xED), Fetch(0x000A, 0x78), In(0x1234, 0x9C),
      Fetch(0x000B, 0xED), Fetch(0x000C, 0x79), Out(0x1234, 0x9C),
      Fetch(0x000D, 0x3E), Read(0x000E, 0x56),
      Fetch(0x000F, 0xD3), Read(0x0010, 0x78), Out(0x5678, 0x56),
      Fetch(0x0011, 0xDB), Read(0x0012, 0x9A), In(0x569A, 0x3B),
      Fetch(0x0013, 0xDD), Fetch(0x0014, 0x21), Read(0x0015, 0x00), Read(0x0016, 0x20),
      Fetch(0x0017, 0xDD), Fetch(0x0018, 0x7E), Read(0x0019, 0x05), Read(0x2005, 0x11),
      Fetch(0x001A, 0xDD), Fetch(0x001B, 0xCB), Read(0x001C, 0x02), Read(0x001D, 0x46),
      Read(0x2002, 0x22),
  };
  EXPECT_EQ(bus.cycles, expected);
  EXPECT_EQ(bus.memory[0x1001], 0xA5);
  EXPECT_EQ(cpu.GetRegisters().af >> 8, 0x11);
  EXPECT_EQ(cpu.GetRegisters().pc, 0x001E);
}

TEST_F(CpuTest, StepTakesTheInstructionsTStates) {
  const struct {
    const char* name;
    std::vector<u8> code;
    u16 bc;
    u32 tstates;
    u16 next_pc;
  } cases[] = {
      {"nop", {0x00}, 0, 4, 1},
      {"ld a,n", {0x3E, 0x12}, 0, 7, 2},
      {"jp nn", {0xC3, 0x34, 0x12}, 0, 10, 0x1234},
      {"ld ix,nn", {0xDD, 0x21, 0x34, 0x12}, 0, 14, 4},
      {"ld (ix+d),n", {0xDD, 0x36, 0x03, 0x44}, 0, 19, 4},
      {"bit 0,(ix+d)", {0xDD, 0xCB, 0x02, 0x46}, 0, 20, 4},
      {"in a,(c)", {0xED, 0x78}, 0x1234, 12, 2},
      {"out (n),a", {0xD3, 0x10}, 0, 11, 2},
      {"djnz taken", {0x10, 0xFE}, 0x0200, 13, 0},
      {"djnz not taken", {0x10, 0xFE}, 0x0100, 8, 2},
      {"ldir repeating", {0xED, 0xB0}, 2, 21, 0},
      {"ldir last", {0xED, 0xB0}, 1, 16, 2},
      {"ex (sp),hl", {0xE3}, 0, 19, 1},
      {"call nn", {0xCD, 0x34, 0x12}, 0, 17, 0x1234},
      {"push bc", {0xC5}, 0, 11, 1},
      {"redundant prefixes", {0xDD, 0xFD, 0x00}, 0, 12, 3},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    bus.memory.fill(0);
    std::copy(c.code.begin(), c.code.end(), bus.memory.begin());
    cpu.Reset();
    DevRegisters r = cpu.GetRegisters();
    r.bc = c.bc;
    r.sp = 0x8000;
    r.ix = 0x2000;
    r.hl = 0x3000;
    r.de = 0x4000;
    cpu.SetRegisters(r);
    EXPECT_EQ(cpu.StepInstruction(), c.tstates);
    EXPECT_EQ(cpu.TStates(), c.tstates);
    EXPECT_EQ(cpu.GetRegisters().pc, c.next_pc);
  }
}

TEST_F(CpuTest, TStateCountRunsOnAcrossCallsUntilReset) {
  // memory is all NOPs
  EXPECT_EQ(cpu.StepInstruction(), 4u);
  EXPECT_EQ(cpu.StepInstruction(), 4u);
  EXPECT_EQ(cpu.Run(10), 12u);  // whole instructions: the third goes past 10
  EXPECT_EQ(cpu.TStates(), 20u);
  EXPECT_EQ(cpu.Run(0), 0u);
  EXPECT_EQ(cpu.GetRegisters().pc, 5);
  cpu.Reset();
  EXPECT_EQ(cpu.TStates(), 0u);
  EXPECT_EQ(cpu.Run(1), 4u);
  EXPECT_EQ(cpu.TStates(), 4u);
}

TEST_F(CpuTest, NmiPushesReturnAddressAndClearsIff1) {
  const struct {
    const char* name;
    std::vector<u8> code;
    int steps;  // before the NMI
    u16 return_address;
  } cases[] = {
      {"between instructions", {0xFB, 0x00, 0x00, 0x00}, 3, 0x0003},
      {"halted", {0xFB, 0x76, 0x00}, 5, 0x0002},  // back past the HALT
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    bus.memory.fill(0);
    std::copy(c.code.begin(), c.code.end(), bus.memory.begin());
    cpu.Reset();
    SetStack();
    for (int i = 0; i < c.steps; ++i) cpu.StepInstruction();
    cpu.Nmi();
    EXPECT_EQ(cpu.StepInstruction(), 11u);
    const DevRegisters r = cpu.GetRegisters();
    EXPECT_EQ(r.pc, 0x0066);
    EXPECT_EQ(r.sp, 0x7FFE);
    EXPECT_EQ(Word(0x7FFE), c.return_address);
    EXPECT_FALSE(r.iff1);
    EXPECT_TRUE(r.iff2);  // kept for RETN
    EXPECT_FALSE(cpu.Halted());
    // accepted once: the next step runs the handler's first instruction
    EXPECT_EQ(cpu.StepInstruction(), 4u);
    EXPECT_EQ(cpu.GetRegisters().pc, 0x0067);
  }
}

TEST_F(CpuTest, NmiWaitsForTheInstructionToEnd) {
  Load(0x0000, {0x32, 0x00, 0x10});  // ld (1000h),a
  SetStack();
  bus.on_cycle = [this](const Cycle& c) {
    if (c.kind == BusCycle::MemoryWrite && c.address == 0x1000) cpu.Nmi();
  };
  EXPECT_EQ(cpu.StepInstruction(), 13u);
  EXPECT_EQ(bus.memory[0x1000], 0xFF);
  EXPECT_EQ(cpu.GetRegisters().pc, 0x0003);
  EXPECT_EQ(cpu.StepInstruction(), 11u);
  EXPECT_EQ(cpu.GetRegisters().pc, 0x0066);
  EXPECT_EQ(Word(0x7FFE), 0x0003);
}

TEST_F(CpuTest, PrefixRunIsBoundedAndHoldsOffNmi) {
  // 20 DD prefixes, then NOP: one instruction on the chip, no NMI inside it.
  std::fill_n(bus.memory.begin(), 20, u8(0xDD));
  SetStack();
  EXPECT_EQ(cpu.StepInstruction(), 4u * DevCpu::kPrefixRunLimit);
  EXPECT_EQ(cpu.GetRegisters().pc, DevCpu::kPrefixRunLimit);
  cpu.Nmi();
  EXPECT_EQ(cpu.StepInstruction(), 4u * (20 - DevCpu::kPrefixRunLimit + 1));
  EXPECT_EQ(cpu.GetRegisters().pc, 21);
  EXPECT_EQ(cpu.StepInstruction(), 11u);  // now at a boundary
  EXPECT_EQ(cpu.GetRegisters().pc, 0x0066);
  EXPECT_EQ(Word(0x7FFE), 21);

  // memory full of prefixes never ends an instruction; Run still returns
  bus.memory.fill(0xDD);
  cpu.Reset();
  const u64 used = cpu.Run(1000);
  EXPECT_GE(used, 1000u);
  EXPECT_LT(used, 1000u + 4u * DevCpu::kPrefixRunLimit);
}

TEST_F(CpuTest, RequestStopFromBusEndsRunAfterThatInstruction) {
  // 0000 out (10h),a / 0002 inc a / 0003 jr 0000
  const struct {
    const char* name;
    BusCycle kind;
    u16 address;
    u16 mask;  // of the address bits compared
    u64 used;  // by the Run the request ends
    u16 pc;
  } cases[] = {
      {"on the OUT", BusCycle::IoWrite, 0x0010, 0x00FF, 11, 0x0002},  // A:10h, A counting
      {"on the opcode fetch of JR", BusCycle::OpcodeFetch, 0x0003, 0xFFFF, 11 + 4 + 12, 0x0000},
      {"on the operand read of JR", BusCycle::MemoryRead, 0x0004, 0xFFFF, 11 + 4 + 12, 0x0000},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    bus.memory.fill(0);
    Load(0x0000, {0xD3, 0x10, 0x3C, 0x18, 0xFB});
    cpu.Reset();
    bus.on_cycle = [&](const Cycle& seen) {
      if (seen.kind == c.kind && (seen.address & c.mask) == c.address) cpu.RequestStop();
    };
    EXPECT_EQ(cpu.Run(1000000), c.used);
    EXPECT_EQ(cpu.GetRegisters().pc, c.pc);
    // the request is used up: the next Run goes round the loop once more
    EXPECT_EQ(cpu.Run(1000000), 11u + 4 + 12);
    EXPECT_EQ(cpu.GetRegisters().pc, c.pc);
    EXPECT_EQ(cpu.TStates(), c.used + 27);
    bus.on_cycle = nullptr;
  }
  // a request outside a Run has no effect on the next one
  cpu.RequestStop();
  EXPECT_EQ(cpu.Run(50), 54u);
}

TEST_F(CpuTest, MaskableInterruptInEachMode) {
  const struct {
    const char* name;
    u8 im_opcode;   // second byte of ED 46 / ED 56 / ED 5E
    u8 ack_byte;
    u16 handler;
    u32 tstates;
    std::size_t ack_cycles;
  } cases[] = {
      {"mode 0, RST 38h", 0x46, 0xFF, 0x0038, 13, 1},
      {"mode 1", 0x56, 0x00, 0x0038, 13, 1},
      {"mode 2", 0x5E, 0x10, 0x1234, 19, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    bus.memory.fill(0);
    Load(0x0000, {0x31, 0x00, 0x80,     // ld sp,8000h
                  0x3E, 0x12, 0xED, 0x47,  // ld a,12h / ld i,a
                  0xED, c.im_opcode,    // im n
                  0xFB, 0x00, 0x00});   // ei / nop / nop
    Load(0x1210, {0x34, 0x12});         // mode 2 table entry at I:vector
    bus.ack_byte = c.ack_byte;
    cpu.Reset();
    cpu.Interrupt(true);
    for (int i = 0; i < 5; ++i) cpu.StepInstruction();  // to the EI, included
    bus.cycles.clear();
    // not taken right after EI: the NOP runs first
    EXPECT_EQ(cpu.StepInstruction(), 4u);
    EXPECT_EQ(bus.Count(BusCycle::InterruptAck), 0u);
    EXPECT_EQ(cpu.StepInstruction(), c.tstates);
    EXPECT_EQ(bus.Count(BusCycle::InterruptAck), c.ack_cycles);
    DevRegisters r = cpu.GetRegisters();
    EXPECT_EQ(r.pc, c.handler);
    EXPECT_EQ(Word(0x7FFE), 0x000B);
    EXPECT_FALSE(r.iff1);
    EXPECT_FALSE(r.iff2);
    // the line is still asserted, but interrupts are off: the handler runs
    EXPECT_EQ(cpu.StepInstruction(), 4u);
    EXPECT_EQ(cpu.GetRegisters().pc, c.handler + 1);
    EXPECT_EQ(bus.Count(BusCycle::InterruptAck), c.ack_cycles);
    cpu.Interrupt(false);
  }
}

TEST_F(CpuTest, InterruptLineIsALevelSampledOnlyWithInterruptsEnabled) {
  SetStack();
  Load(0x0000, {0xF3});  // di, then NOPs
  cpu.Interrupt(true);
  cpu.Run(400);
  EXPECT_EQ(bus.Count(BusCycle::InterruptAck), 0u);

  DevRegisters r = cpu.GetRegisters();
  r.iff1 = r.iff2 = true;
  r.im = 1;
  cpu.SetRegisters(r);
  cpu.Interrupt(false);  // released while interrupts were off
  cpu.Run(400);
  EXPECT_EQ(bus.Count(BusCycle::InterruptAck), 0u);
  EXPECT_TRUE(cpu.GetRegisters().iff1);
  cpu.Interrupt(true);
  cpu.StepInstruction();
  EXPECT_EQ(bus.Count(BusCycle::InterruptAck), 1u);
  EXPECT_EQ(cpu.GetRegisters().pc, 0x0038);
}

TEST_F(CpuTest, RegistersRoundTripAndAlternateSetsExchange) {
  DevRegisters set;
  set.af = 0x1122;
  set.bc = 0x3344;
  set.de = 0x5566;
  set.hl = 0x7788;
  set.af_alt = 0x99AA;
  set.bc_alt = 0xBBCC;
  set.de_alt = 0xDDEE;
  set.hl_alt = 0xF001;
  set.ix = 0x0203;
  set.iy = 0x0405;
  set.sp = 0x0607;
  set.pc = 0x4000;
  set.i = 0x08;
  set.r = 0xFF;
  set.iff1 = true;
  set.iff2 = false;
  set.im = 2;
  cpu.SetRegisters(set);
  EXPECT_EQ(cpu.GetRegisters(), set);

  Load(0x4000, {0x08, 0xD9});  // ex af,af' / exx
  cpu.StepInstruction();
  cpu.StepInstruction();
  const DevRegisters r = cpu.GetRegisters();
  EXPECT_EQ(r.af, 0x99AA);
  EXPECT_EQ(r.af_alt, 0x1122);
  EXPECT_EQ(r.bc, 0xBBCC);
  EXPECT_EQ(r.bc_alt, 0x3344);
  EXPECT_EQ(r.de, 0xDDEE);
  EXPECT_EQ(r.de_alt, 0x5566);
  EXPECT_EQ(r.hl, 0xF001);
  EXPECT_EQ(r.hl_alt, 0x7788);
  EXPECT_EQ(r.ix, 0x0203);  // not exchanged
  EXPECT_EQ(r.pc, 0x4002);
  EXPECT_EQ(r.r, 0x81);     // refresh wraps in bits 0-6, bit 7 stays

  DevRegisters bad = r;
  bad.im = 3;
  cpu.SetRegisters(bad);
  EXPECT_EQ(cpu.GetRegisters().im, 2);  // no mode 3: left as it was
}

TEST_F(CpuTest, HaltFetchesTheNextByteWithoutRunningIt) {
  Load(0x0000, {0x31, 0x00, 0x80,  // ld sp,8000h
                0xFB,              // ei
                0x76,              // 0004 halt
                0x3C,              // 0005 inc a
                0x18, 0xFE});      // jr $
  cpu.Run(200);
  EXPECT_TRUE(cpu.Halted());
  EXPECT_EQ(cpu.GetRegisters().pc, 0x0005);
  EXPECT_EQ(cpu.GetRegisters().af >> 8, 0xFF);  // INC A not run
  // after the HALT's own fetch, every M1 cycle is at the next byte
  const auto halt = std::find(bus.cycles.begin(), bus.cycles.end(), Fetch(0x0004, 0x76));
  ASSERT_NE(halt, bus.cycles.end());
  ASSERT_GT(bus.cycles.end() - halt, 10);
  for (auto it = halt + 1; it != bus.cycles.end(); ++it) EXPECT_EQ(*it, Fetch(0x0005, 0x3C));

  cpu.Interrupt(true);  // mode 0 with RST 38h on the bus
  EXPECT_EQ(cpu.StepInstruction(), 13u);
  EXPECT_FALSE(cpu.Halted());
  EXPECT_EQ(cpu.GetRegisters().pc, 0x0038);
  EXPECT_EQ(Word(0x7FFE), 0x0005);
}

TEST_F(CpuTest, SetRegistersLeavesHaltWithoutBusCycles) {
  Load(0x0000, {0x31, 0x00, 0x80, 0x76, 0x3C, 0x18, 0xFE});  // ld sp / halt / inc a / jr $
  cpu.Run(100);
  ASSERT_TRUE(cpu.Halted());
  const DevRegisters regs = cpu.GetRegisters();
  EXPECT_EQ(regs.pc, 0x0004);
  const std::size_t cycles_before = bus.cycles.size();
  cpu.SetRegisters(regs);
  EXPECT_EQ(bus.cycles.size(), cycles_before);
  EXPECT_FALSE(cpu.Halted());
  EXPECT_EQ(cpu.GetRegisters(), regs);
  EXPECT_EQ(Word(0x7FFE), 0x0000);  // nothing pushed
  cpu.StepInstruction();            // goes on at the byte after the HALT
  EXPECT_EQ(cpu.GetRegisters().af >> 8, 0x00);
  EXPECT_EQ(cpu.GetRegisters().pc, 0x0005);
}

TEST_F(CpuTest, ResetRestoresTheStartState) {
  Load(0x0000, {0x31, 0x00, 0x80, 0xED, 0x5E, 0xFB, 0x76});  // ld sp / im 2 / ei / halt
  cpu.Run(100);
  ASSERT_TRUE(cpu.Halted());
  cpu.Nmi();  // dropped by the reset
  cpu.Reset();
  DevRegisters start = cpu.GetRegisters();
  EXPECT_EQ(start.pc, 0);
  EXPECT_EQ(start.sp, 0xFFFF);
  EXPECT_EQ(start.af, 0xFFFF);
  EXPECT_EQ(start.i, 0);
  EXPECT_EQ(start.r, 0);
  EXPECT_FALSE(start.iff1);
  EXPECT_FALSE(start.iff2);
  EXPECT_EQ(start.im, 0);
  EXPECT_FALSE(cpu.Halted());
  EXPECT_EQ(cpu.TStates(), 0u);
  EXPECT_EQ(cpu.StepInstruction(), 10u);  // ld sp at 0, no NMI
  EXPECT_EQ(cpu.GetRegisters().pc, 3);
}

}  // namespace
