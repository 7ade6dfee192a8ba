// The target CPU's memory-management unit: maps the 16-bit logical address of
// every CPU memory cycle to a 20-bit physical one (wrapping at 1 MiB), and
// holds the registers that the CPU reaches through its internal I/O ports and
// the monitor model reaches directly. Both register sets always exist; only
// the kind's own set maps addresses and answers I/O.
#pragma once

#include <array>
#include <cstddef>

#include "platform/host/host_types.h"

// MMU kinds as the fixture and the engine's configuration number them.
constexpr u16 kDevMmuNone = 0;
constexpr u16 kDevMmuWindows = 1;  // four windows, requests 82/83
constexpr u16 kDevMmuBank = 2;     // CBR/BBR/CBAR, requests 84/85
constexpr u16 kDevMmuBankS = 4;    // the same registers, requests 86/87

// Offsets of the registers from the internal I/O base.
constexpr u8 kDevMmuCbrPort = 0x38;
constexpr u8 kDevMmuBbrPort = 0x39;
constexpr u8 kDevMmuCbarPort = 0x3A;

constexpr std::size_t kDevMmuWindowBytes = 8;
constexpr u8 kDevMmuWindowOff = 63;           // lo bits 0-5: window not in use
constexpr u8 kDevMmuTopWindowPage = 0xF0;     // window 4's displacement bits 12-19

// The bank kind's registers (HD64180):
//   below BA              common area 0: physical = logical
//   BA up to below CA     bank area:     physical = logical + BBR * 4096
//   CA and above          common area 1: physical = logical + CBR * 4096
// Common area 1 is decided first, so with CA below BA there is no bank area.
struct DevMmuBank {
  u8 cbr = 0x00;   // common area 1 base, in 4 KiB pages
  u8 bbr = 0x00;   // bank area base, in 4 KiB pages
  u8 cbar = 0xF0;  // high nibble: common area 1 start page; low nibble: bank area start page
  bool operator==(const DevMmuBank&) const = default;
};

// The four-window kind's bytes, in the order requests 82/83 carry them; window
// n (1..4) has lo in byte 2n-2 and hi in byte 2n-1:
//   lo bits 0-5  window start in KiB less 1: it starts at ((lo & 63) + 1) * 1024;
//                63 turns the window off
//   lo bits 6-7  displacement bits 10-11
//   hi           displacement bits 12-19
// An address is mapped by the highest-numbered window that is on and starts
// at or below it: physical = logical + displacement. Below every window in use
// (always 0..0x3FF) physical = logical. A window that starts at or above a
// higher-numbered one is thus hidden by it. Window 4 is the top window: its
// displacement bits 12-19 are always 0xF0, so it maps into the top 64 KiB;
// byte 7 is kept as written but takes no part in the mapping.
using DevMmuWindows = std::array<u8, kDevMmuWindowBytes>;
// After reset every window is off and byte 7 shows window 4's fixed page.
constexpr DevMmuWindows kDevMmuWindowsReset = {kDevMmuWindowOff, 0, kDevMmuWindowOff, 0,
                                               kDevMmuWindowOff, 0, kDevMmuWindowOff, kDevMmuTopWindowPage};

class DevMmu {
 public:
  // `kind`: with bit 0 set the four-window kind, else 2 or 4 the bank kind,
  // anything else none. `io_base`: bits 6-7 give the internal I/O base (0x38
  // and 0x00 both put CBR at port 0x38). Registers as after reset.
  DevMmu(u16 kind, u16 io_base);

  // The CPU's reset: both register sets to their values after reset.
  void Reset();

  // Physical address (below 1 MiB) of a logical one under the registers.
  u32 Translate(u16 logical) const { return mode_ == Mode::None ? logical : TranslateMapped(logical); }

  // An I/O cycle at a port of the kind's registers: true, with the register
  // read or written. Any other port, or kind none: false, nothing changes.
  // The registers lie in the CPU's internal I/O block, decoded from the low 8
  // bits of the port only (the high byte, which OUT (n),A takes from A, is
  // ignored): from the internal I/O base + 0x38 on, CBR, BBR, CBAR for the
  // bank kind, bytes 0..7 for the four-window kind.
  bool IoRead(u16 port, u8& value) const;
  bool IoWrite(u16 port, u8 value);
  const DevMmuBank& Bank() const { return bank_; }
  void SetBank(const DevMmuBank& bank) { bank_ = bank; }
  const DevMmuWindows& Windows() const { return windows_; }
  void SetWindows(const DevMmuWindows& windows) { windows_ = windows; }

 private:
  enum class Mode : u8 { None, Bank, Windows };

  // Index of a register in the kind's set, or -1 when the port is none of them.
  int RegisterIndex(u16 port) const;
  u32 TranslateMapped(u16 logical) const;
  u32 TranslateBank(u16 logical) const;
  u32 TranslateWindows(u16 logical) const;

  Mode mode_;
  u8 port_block_;                            // internal I/O base + 0x38
  DevMmuBank bank_;
  DevMmuWindows windows_ = kDevMmuWindowsReset;
};
