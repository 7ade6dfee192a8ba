// The recording test bus of the CPU tests: a flat 64 KiB memory, a port map
// answering by the full 16-bit port, and every cycle noted in order.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <functional>
#include <iterator>
#include <ostream>
#include <vector>

#include "platform/device/dev_bus.h"

namespace cpu_testing {

// One bus cycle as the test bus saw it. `address` is the port for I/O and 0
// for an acknowledge; `value` is the byte read or written.
struct Cycle {
  BusCycle kind;
  u16 address;
  u8 value;
  bool operator==(const Cycle&) const = default;
};

inline void PrintTo(const Cycle& c, std::ostream* os) {
  static constexpr const char* kNames[] = {"fetch", "read", "write", "in", "out", "ack"};
  const auto k = static_cast<std::size_t>(c.kind);
  *os << (k < std::size(kNames) ? kNames[k] : "?") << ' ' << std::hex << c.address << '=' << int(c.value);
}

constexpr Cycle Fetch(u16 a, u8 v) { return {BusCycle::OpcodeFetch, a, v}; }
constexpr Cycle Read(u16 a, u8 v) { return {BusCycle::MemoryRead, a, v}; }
constexpr Cycle Write(u16 a, u8 v) { return {BusCycle::MemoryWrite, a, v}; }
constexpr Cycle In(u16 p, u8 v) { return {BusCycle::IoRead, p, v}; }
constexpr Cycle Out(u16 p, u8 v) { return {BusCycle::IoWrite, p, v}; }

// A flat 64 KiB memory and a port map answering by the full 16-bit port;
// records every cycle (up to kCycleLimit) and then calls on_cycle.
class TestBus : public DevBus {
 public:
  static constexpr std::size_t kCycleLimit = 4096;

  std::array<u8, 0x10000> memory{};
  std::array<u8, 0x10000> ports{};   // what IN reads at each port
  u8 ack_byte = 0xFF;                // what an acknowledge reads
  std::vector<Cycle> cycles;
  std::function<void(const Cycle&)> on_cycle;

  u8 MemoryRead(u16 address, BusCycle cycle) override {
    return Note({cycle, address, memory[address]});
  }
  void MemoryWrite(u16 address, u8 value) override {
    memory[address] = value;
    Note({BusCycle::MemoryWrite, address, value});
  }
  u8 IoRead(u16 port) override { return Note({BusCycle::IoRead, port, ports[port]}); }
  void IoWrite(u16 port, u8 value) override { Note({BusCycle::IoWrite, port, value}); }
  u8 InterruptAck() override { return Note({BusCycle::InterruptAck, 0, ack_byte}); }

  std::size_t Count(BusCycle kind) const {
    return std::size_t(std::count_if(cycles.begin(), cycles.end(),
                                     [kind](const Cycle& c) { return c.kind == kind; }));
  }

 private:
  u8 Note(const Cycle& c) {
    if (cycles.size() < kCycleLimit) cycles.push_back(c);
    if (on_cycle) on_cycle(c);
    return c.value;
  }
};

}  // namespace cpu_testing
