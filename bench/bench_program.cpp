// A real program through the whole debugger: the sieve built with sdcc
// (bench/programs), run to its end on the bare instruction core and, in the
// same iterations, on the simulated board through "G =200,/W", the board on
// its own thread at full speed as the debugger runs it. Both runs must end on
// the program's RST 38h with the same results record.
// "bare_T/s" is the bare core's T-states per host second; "target_T/s" the
// program's T-states over the host time from typing G to the engine's reading
// of the stop; "ratio" the second over the first. "program_T" is the
// program's T-states, RST 38h included, as the bare core counted them;
// "board_T" what the board counted per run, the start and the stop included.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <array>
#include <bitset>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <span>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include <z80ex/z80ex.h>

#include "bench/bench_session.h"
#include "halv80/engine/run_state.h"
#include "halv80/engine/tgt_memory.h"

#ifndef HALV80_PROGRAM_HEX
#error "HALV80_PROGRAM_HEX names the program's Intel HEX file"
#endif

namespace {

// The program's layout, as bench/CMakeLists.txt links it: the start-up first,
// at the code's first byte; the results record (primes, rounds, sum: three
// little-endian words) at its fixed address in target RAM.
constexpr u16 kStart = 0x0200;
constexpr u16 kResults = 0x9000;
constexpr std::size_t kResultsSize = 6;
constexpr u16 kStack = 0xFF00;
constexpr u8 kOpcodeBreak = 0xFF;  // RST 38h, the configured software break
// The primes among the odd numbers 3 to 16383: the last round's count.
constexpr unsigned kPrimes = 1899;
// A bare run that has not ended by now never will: the program runs a few
// hundred million T-states.
constexpr u64 kBareLimit = u64(1) << 34;

using Memory = std::array<u8, 0x10000>;
using Results = std::array<u8, kResultsSize>;

// --- Intel HEX ------------------------------------------------------------------

// The bytes of a program's data records, and the addresses they filled.
struct HexImage {
  Memory bytes{};
  std::bitset<0x10000> loaded;
};

// The value of one hexadecimal digit, or -1 for any other character.
int hex_digit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// Reads an Intel HEX text into `image`: data records (type 00) up to the end
// record (01), each record's length, checksum and address range checked.
// Returns nullptr, or a few words on the first fault.
const char* read_intel_hex(std::string_view text, HexImage& image) {
  // count, address (2), type, up to 255 data bytes, checksum
  std::array<u8, 1 + 2 + 1 + 255 + 1> record;
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.remove_suffix(1);
    if (line.empty()) continue;
    if (line.front() != ':') return "a line that is no record";
    line.remove_prefix(1);
    if (line.size() % 2 != 0) return "a record with an odd number of digits";
    const std::size_t length = line.size() / 2;
    if (length < 5) return "a record shorter than its fixed fields";
    if (length > record.size()) return "a record longer than 255 data bytes";
    u8 sum = 0;
    for (std::size_t i = 0; i < length; ++i) {
      const int high = hex_digit(line[2 * i]);
      const int low = hex_digit(line[2 * i + 1]);
      if (high < 0 || low < 0) return "a record with a character that is no hexadecimal digit";
      record[i] = u8(high << 4 | low);
      sum = u8(sum + record[i]);
    }
    const u8 count = record[0];
    if (length != count + 5u) return "a record whose count is not its length";
    if (sum != 0) return "a record whose checksum does not match";
    const u32 address = u32(record[1] << 8 | record[2]);
    switch (record[3]) {
      case 0x00:
        if (count > 0x10000 - address) return "a data record past 64 KiB";
        for (u32 i = 0; i < count; ++i) {
          image.bytes[address + i] = record[4 + i];
          image.loaded.set(address + i);
        }
        break;
      case 0x01:
        if (count != 0) return "an end record with data";
        return nullptr;
      default:
        return "a record that is neither data (00) nor end (01)";
    }
  }
  return "no end record";
}

// Calls write(address, bytes) for each run of loaded addresses, lowest first.
template <class Write>
void for_each_loaded_run(const HexImage& image, Write write) {
  for (u32 at = 0; at < 0x10000;) {
    if (!image.loaded[at]) {
      ++at;
      continue;
    }
    u32 end = at;
    while (end < 0x10000 && image.loaded[end]) ++end;
    write(u16(at), std::span<const u8>(image.bytes.data() + at, end - at));
    at = end;
  }
}

// --- The bare core ----------------------------------------------------------------

// The bare core over a flat 64 KiB memory, with callbacks as minimal as
// bench_cpu's but for one check: the opcode fetch of RST 38h ends the run.
struct BareMachine {
  Memory memory{};
  int stop_at = -1;  // where the RST 38h was fetched; -1 before
};

Z80EX_BYTE bare_read(Z80EX_CONTEXT*, Z80EX_WORD address, int m1_state, void* machine) {
  BareMachine& m = *static_cast<BareMachine*>(machine);
  const u8 value = m.memory[address];
  if (m1_state && value == kOpcodeBreak) m.stop_at = address;
  return value;
}
void bare_write(Z80EX_CONTEXT*, Z80EX_WORD address, Z80EX_BYTE value, void* machine) {
  static_cast<BareMachine*>(machine)->memory[address] = value;
}
Z80EX_BYTE bare_in(Z80EX_CONTEXT*, Z80EX_WORD, void*) { return 0xFF; }
void bare_out(Z80EX_CONTEXT*, Z80EX_WORD, Z80EX_BYTE, void*) {}
Z80EX_BYTE bare_ack(Z80EX_CONTEXT*, void*) { return 0xFF; }

class BareCore {
 public:
  BareCore() {
    context_ = z80ex_create(bare_read, &machine_, bare_write, &machine_, bare_in, nullptr, bare_out, nullptr,
                            bare_ack, nullptr);
  }
  ~BareCore() {
    if (context_) z80ex_destroy(context_);
  }
  BareCore(const BareCore&) = delete;
  BareCore& operator=(const BareCore&) = delete;
  bool Ok() const { return context_ != nullptr; }

  // Loads `image` into a memory otherwise zero, resets the CPU and sets PC to
  // the program's start.
  void Load(const HexImage& image) {
    machine_.memory = image.bytes;
    machine_.stop_at = -1;
    z80ex_reset(context_);
    z80ex_set_reg(context_, regPC, kStart);
  }
  // Runs until the RST 38h has run, or kBareLimit T-states; returns the
  // T-states, the RST's own included.
  u64 RunToBreak() {
    u64 used = 0;
    while (machine_.stop_at < 0 && used < kBareLimit) used += u64(z80ex_step(context_));
    return used;
  }
  int StopAt() const { return machine_.stop_at; }
  Results ResultsRecord() const {
    Results r;
    std::copy_n(machine_.memory.begin() + kResults, r.size(), r.begin());
    return r;
  }

 private:
  BareMachine machine_;
  Z80EX_CONTEXT* context_ = nullptr;
};

unsigned word_at(const Results& r, std::size_t offset) { return unsigned(r[offset] | r[offset + 1] << 8); }

double seconds_since(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Reads the program's Intel HEX file; nullptr or the fault.
const char* load_program(HexImage& image) {
  std::ifstream file(HALV80_PROGRAM_HEX, std::ios::binary);
  if (!file) return "cannot open the program's Intel HEX file";
  std::ostringstream text;
  text << file.rdbuf();
  if (const char* fault = read_intel_hex(text.str(), image)) return fault;
  if (!image.loaded[kStart]) return "the program has no byte at its start";
  // the debugger writes the break and NMI vectors before every run, and the
  // monitor's area is no place for a program
  for (const u32 at : {0x0038u, 0x0039u, 0x003Au, 0x0066u, 0x0067u, 0x0068u})
    if (image.loaded[at]) return "the program overlaps a page-zero vector";
  for (u32 at = 0x7F80; at < 0x8000; ++at)
    if (image.loaded[at]) return "the program overlaps the monitor's area";
  return nullptr;
}

void BM_ProgramAgainstBareCore(benchmark::State& state) {
  HexImage image;
  if (const char* fault = load_program(image)) {
    state.SkipWithError(fault);
    return;
  }
  BareCore bare;
  if (!bare.Ok()) {
    state.SkipWithError("the core could not be created");
    return;
  }
  BenchSession s;
  if (!s.error.empty()) {
    state.SkipWithError(s.error.c_str());
    return;
  }
  // the program into target memory, and read back from the board as loaded
  bool loaded = true;
  for_each_loaded_run(image, [&](u16 address, std::span<const u8> bytes) {
    tgt_write_block(bytes, address);
    std::vector<u8> back(bytes.size());
    s.PeekTarget(address, back);
    loaded = loaded && std::equal(bytes.begin(), bytes.end(), back.begin());
  });
  if (!loaded) {
    state.SkipWithError("the program did not arrive in target memory");
    return;
  }

  char go[32];
  std::snprintf(go, sizeof go, "G =%X,/W", unsigned(kStart));
  const Results cleared{};
  u64 program_tstates = 0, board_tstates = 0, runs = 0;
  double bare_seconds = 0, target_seconds = 0;
  for (auto _ : state) {
    bare.Load(image);
    auto start = std::chrono::steady_clock::now();
    const u64 used = bare.RunToBreak();
    bare_seconds += seconds_since(start);
    const Results expected = bare.ResultsRecord();
    if (bare.StopAt() < 0 || word_at(expected, 0) != kPrimes) {
      state.SkipWithError("the bare core did not run the program to its end");
      break;
    }

    // a results record left from the run before cannot pass for this one's
    tgt_write_block(cleared, kResults);
    Run.Regs.sp = kStack;
    const u64 board_before = s.BoardTStates();
    start = std::chrono::steady_clock::now();
    s.Type(go);
    const double target_time = seconds_since(start);
    const u64 board_ran = s.BoardTStates() - board_before;
    Results got;
    s.PeekTarget(kResults, got);
    // stopped on the program's own RST 38h, having done all the bare core did?
    if (!s.Ok() || Run.ExecutionState != kExecStopped || Run.Regs.pc != bare.StopAt() || got != expected ||
        board_ran < used) {
      state.SkipWithError("G did not run the program to its end as the bare core did");
      break;
    }
    state.SetIterationTime(target_time);
    target_seconds += target_time;
    program_tstates = used;
    board_tstates += board_ran;
    ++runs;
  }
  if (runs == 0) return;
  const double bare_rate = bare_seconds > 0 ? double(program_tstates * runs) / bare_seconds : 0;
  const double target_rate = target_seconds > 0 ? double(program_tstates * runs) / target_seconds : 0;
  state.counters["program_T"] = double(program_tstates);
  state.counters["board_T"] = double(board_tstates) / double(runs);
  state.counters["bare_T/s"] = bare_rate;
  state.counters["target_T/s"] = target_rate;
  state.counters["ratio"] = bare_rate > 0 ? target_rate / bare_rate : 0;
}
// A run takes a few tenths of a second on each side: a few runs even out the
// host's hiccups.
BENCHMARK(BM_ProgramAgainstBareCore)->UseManualTime()->MinTime(2.0)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
