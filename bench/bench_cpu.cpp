// The simulated target's speed. First the CPU's own cost: a compute loop (sum 256 bytes, copy each running
// total out through IX, store the sum, start again) run through DevCpu over
// a flat bus, and the same code stepped on the bare core with its minimal
// callbacks, in the same iterations. "ratio" is DevCpu's T-states per host
// second over the bare core's.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <array>
#include <chrono>

#include <z80ex/z80ex.h>

#include "platform/device/dev_cpu.h"
#include "platform/device/dev_events.h"
#include "platform/device/dev_target.h"

namespace {

constexpr u8 kLoop[] = {
    0x21, 0x00, 0x01,        // 0000 start: ld hl,0100h
    0xDD, 0x21, 0x00, 0x03,  // 0003 ld ix,0300h
    0x06, 0x00,              // 0007 ld b,0
    0x11, 0x00, 0x00,        // 0009 ld de,0
    0x7E,                    // 000C loop: ld a,(hl)
    0x83,                    // 000D add a,e
    0x5F,                    // 000E ld e,a
    0x30, 0x01,              // 000F jr nc,nocarry
    0x14,                    // 0011 inc d
    0xDD, 0x73, 0x00,        // 0012 nocarry: ld (ix+0),e
    0x23,                    // 0015 inc hl
    0xDD, 0x23,              // 0016 inc ix
    0x10, 0xF2,              // 0018 djnz loop
    0xED, 0x53, 0x00, 0x02,  // 001A ld (0200h),de
    0xC3, 0x00, 0x00,        // 001E jp start
};

constexpr u64 kSlice = 1000000;  // T-states per iteration, on each side

using Memory = std::array<u8, 0x10000>;

void load_loop(Memory& memory) {
  memory.fill(0);
  std::copy(std::begin(kLoop), std::end(kLoop), memory.begin());
  for (int i = 0; i < 256; ++i) memory[0x0100 + i] = u8(i * 7 + 3);
}

// Flat memory, every page of it reached through the bus's shortcut as the
// board's plain pages are.
class FlatBus : public DevBus {
 public:
  FlatBus() {
    for (std::size_t page = 0; page < std::size(shortcut_.read); ++page) {
      shortcut_.read[page] = &memory[page << DevBusShortcut::kPageShift];
      shortcut_.write[page] = &memory[page << DevBusShortcut::kPageShift];
    }
    shortcut_.counts = counts.data();
  }
  FlatBus(const FlatBus&) = delete;
  FlatBus& operator=(const FlatBus&) = delete;
  Memory memory{};
  std::array<u64, 8> counts{};
  u8 MemoryRead(u16 address, BusCycle) override { return memory[address]; }
  void MemoryWrite(u16 address, u8 value) override { memory[address] = value; }
  u8 IoRead(u16) override { return 0xFF; }
  void IoWrite(u16, u8) override {}
  u8 InterruptAck() override { return 0xFF; }
};

// The bare core's callbacks; user_data is the Memory.
Z80EX_BYTE bare_read(Z80EX_CONTEXT*, Z80EX_WORD address, int, void* memory) {
  return (*static_cast<Memory*>(memory))[address];
}
void bare_write(Z80EX_CONTEXT*, Z80EX_WORD address, Z80EX_BYTE value, void* memory) {
  (*static_cast<Memory*>(memory))[address] = value;
}
Z80EX_BYTE bare_in(Z80EX_CONTEXT*, Z80EX_WORD, void*) { return 0xFF; }
void bare_out(Z80EX_CONTEXT*, Z80EX_WORD, Z80EX_BYTE, void*) {}
Z80EX_BYTE bare_ack(Z80EX_CONTEXT*, void*) { return 0xFF; }

// The bare core over its own flat memory holding the loop.
struct BareCore {
  Memory memory;
  Z80EX_CONTEXT* context;
  BareCore() {
    load_loop(memory);
    context = z80ex_create(bare_read, &memory, bare_write, &memory, bare_in, nullptr, bare_out, nullptr, bare_ack,
                           nullptr);
  }
  ~BareCore() {
    if (context) z80ex_destroy(context);
  }
  BareCore(const BareCore&) = delete;
  BareCore& operator=(const BareCore&) = delete;
  u64 Run(u64 budget) {
    u64 used = 0;
    while (used < budget) used += u64(z80ex_step(context));
    return used;
  }
};

double seconds_since(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void BM_CpuAgainstBareCore(benchmark::State& state) {
  FlatBus bus;
  load_loop(bus.memory);
  DevCpu cpu(bus);

  BareCore bare;
  if (bare.context == nullptr) {
    state.SkipWithError("the core could not be created");
    return;
  }

  u64 cpu_tstates = 0, bare_tstates = 0;
  double cpu_seconds = 0, bare_seconds = 0;
  for (auto _ : state) {
    auto start = std::chrono::steady_clock::now();
    const u64 used = cpu.Run(kSlice);
    const double cpu_time = seconds_since(start);

    start = std::chrono::steady_clock::now();
    const u64 bare_used = bare.Run(kSlice);
    const double bare_time = seconds_since(start);

    state.SetIterationTime(cpu_time);
    cpu_tstates += used;
    cpu_seconds += cpu_time;
    bare_tstates += bare_used;
    bare_seconds += bare_time;
  }
  benchmark::DoNotOptimize(bus.memory[0x0200]);
  benchmark::DoNotOptimize(bare.memory[0x0200]);

  const double cpu_rate = cpu_seconds > 0 ? double(cpu_tstates) / cpu_seconds : 0;
  const double bare_rate = bare_seconds > 0 ? double(bare_tstates) / bare_seconds : 0;
  state.counters["cpu_T/s"] = cpu_rate;
  state.counters["bare_T/s"] = bare_rate;
  state.counters["ratio"] = bare_rate > 0 ? cpu_rate / bare_rate : 0;
}
BENCHMARK(BM_CpuAgainstBareCore)->UseManualTime()->Unit(benchmark::kMillisecond);

// The loop placed at 8000h on the simulated target, out of reset: the loop
// runs at 8000h, its data at 8100h..8300h.
void load_target(DevTarget& target) {
  DevBoard& board = target.Board();
  for (std::size_t i = 0; i < std::size(kLoop); ++i) board.PokeTarget(u32(0x8000 + i), kLoop[i]);
  // move the loop's addresses up by 8000h: ld hl, ld ix, ld (nn),de, jp
  for (const u32 high_byte : {0x8002u, 0x8006u, 0x801Du, 0x8020u})
    board.PokeTarget(high_byte, u8(board.PeekTarget(high_byte) + 0x80));
  for (int i = 0; i < 256; ++i) board.PokeTarget(u32(0x8100 + i), u8(i * 7 + 3));
  board.WriteRegister(kRegControl, kCtlResetRelease);
  target.Run(0);  // the reset takes effect
  DevRegisters regs = target.Cpu().GetRegisters();
  regs.pc = 0x8000;
  target.Cpu().SetRegisters(regs);
}

// The target against the bare core, run in the same slices: its rate, the
// core's and their ratio.
void target_against_bare_core(benchmark::State& state, DevTarget& target) {
  DevBoard& board = target.Board();
  BareCore bare;
  if (bare.context == nullptr) {
    state.SkipWithError("the core could not be created");
    return;
  }
  double target_seconds = 0, bare_seconds = 0;
  u64 bare_tstates = 0;
  const u64 start_tstates = board.TStates();
  for (auto _ : state) {
    auto start = std::chrono::steady_clock::now();
    target.Run(kSlice);
    const double target_time = seconds_since(start);
    start = std::chrono::steady_clock::now();
    const u64 bare_used = bare.Run(kSlice);
    bare_seconds += seconds_since(start);
    bare_tstates += bare_used;
    state.SetIterationTime(target_time);
    target_seconds += target_time;
  }
  const double target_rate = target_seconds > 0 ? double(board.TStates() - start_tstates) / target_seconds : 0;
  const double bare_rate = bare_seconds > 0 ? double(bare_tstates) / bare_seconds : 0;
  state.counters["target_T/s"] = target_rate;
  state.counters["bare_T/s"] = bare_rate;
  state.counters["ratio"] = bare_rate > 0 ? target_rate / bare_rate : 0;
}
// The same loop on the simulated target: the board's memory map (RAM above the
// emulated ROM), the monitor watching fetches, no events armed, against the
// bare core.
void BM_TargetAgainstBareCore(benchmark::State& state) {
  DevTarget target;
  load_target(target);
  target_against_bare_core(state, target);
}
BENCHMARK(BM_TargetAgainstBareCore)->UseManualTime()->Unit(benchmark::kMillisecond);

// The same with the instruments at work on the program under test: three
// event channels compared on every cycle (each with its pass count, none ever
// met, all three selected for the hardware break) and the real-time trace
// recording every cycle, wrapping round its 65,536 frames. The bound: at
// least half the bare core's speed.
void BM_TargetWithEventsAndTraceAgainstBareCore(benchmark::State& state) {
  DevTarget target;
  load_target(target);
  DevBoard& board = target.Board();
  board.SetUserRunning(true);
  DevEvents& ev = board.Events();
  DevEventChannel write_low;  // a write below 0100h
  write_low.address_end = 0xFF;
  write_low.address_mask = 0xFFFFF;
  write_low.status_value = kDevStatusMemWrite;
  write_low.status_mask = 0x1F;
  write_low.pass_count = 2;
  DevEventChannel out_5a;  // an OUT of 5Ah
  out_5a.data_value = 0x5A;
  out_5a.data_mask = 0xFF;
  out_5a.status_value = kDevStatusIoWrite;
  out_5a.status_mask = 0x1F;
  DevEventChannel fetch_7000 = write_low;  // a fetch at 7000h..70FFh
  fetch_7000.address_start = 0x7000;
  fetch_7000.address_end = 0x70FF;
  fetch_7000.status_value = kDevStatusFetch;
  ev.SetChannel(0, write_low);
  ev.SetChannel(1, out_5a);
  ev.SetChannel(2, fetch_7000);
  ev.ArmBreak({kDevSrcEv1 | kDevSrcEv2 | kDevSrcEv3});
  ev.TraceStart(0);
  target_against_bare_core(state, target);
  if (!ev.TraceRecording() || !ev.TraceWrapped() || ev.Status() != 0) state.SkipWithError("the instruments did not run");
}
BENCHMARK(BM_TargetWithEventsAndTraceAgainstBareCore)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
