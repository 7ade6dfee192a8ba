// The simulated card's I/O ports, for the library's direct back end: the port
// decoder that sits where the card's ports would, reaching the same board as
// the driver entry. From the base port B: the probe latch at B, register
// select and word register write at B+2 (word read of the selected register
// there too), byte data at B+3, word data at B+4, timer count and control at
// B+5 and B+7, the set-up latch at B+9, the second bank's select and data at
// B+10 and B+11, double-word data at B+12 and prefetch word read at B+14.
// Each access takes the board's lock, as a driver request does.
#pragma once

#include <array>

#include "platform/device/dev_driver.h"
#include "platform/device/dev_sim_driver.h"

// Board generations the decoder can answer the probe as.
constexpr u8 kDevGenWord = 0x10;    // word ports
constexpr u8 kDevGenByte = 0x20;    // byte ports only
constexpr u8 kDevGenWide = 0x30;    // word, double-word, prefetch and second-bank ports

class DevBoardPorts : public DevicePorts {
 public:
  // `driver` must outlive the decoder. A generation other than the three
  // counts as kDevGenWide.
  DevBoardPorts(SimulatedDriver& driver, u16 base, u8 generation = kDevGenWide);

  u8 In8(u16 port) override;
  u16 In16(u16 port) override;
  void Out8(u16 port, u8 value) override;
  void Out16(u16 port, u16 value) override;
  void Out32(u16 port, u32 value) override;

  u16 Base() const { return base_; }
  u8 Generation() const { return generation_; }
  // The five bytes last written to the set-up latch at B+9, oldest first.
  const std::array<u8, 5>& SetupBytes() const { return setup_; }

 private:
  // Offsets from the base that this generation decodes; others float.
  bool Decodes(u16 offset) const;
  u8 ReadSelected();
  void WriteSelected(u8 value);
  u8 ReadBank2();
  // The board timer: microseconds of board time since its reset.
  u64 TimerMicroseconds();

  SimulatedDriver& driver_;
  u16 base_;
  u8 generation_;
  u8 probe_latch_ = 0;       // last byte written to B
  u8 selected_ = 0;          // register select latch
  u8 bank2_selected_ = 0;    // second-bank select latch
  std::array<u8, 5> setup_{};
  u64 timer_origin_ = 0;     // board T-states at the timer's reset
  u64 timer_wraps_seen_ = 0; // wraps reported through the control port
};
