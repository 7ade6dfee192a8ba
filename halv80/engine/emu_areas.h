// Where a target address lives: in one of the emulator's ROM areas (emulation
// memory, written directly) or elsewhere (reached through the monitor). Owns
// the area table (RomLayout) and the monitor-area guard, brackets every direct
// emulation-memory access with the monitor handshake, and moves and fills
// blocks across areas. Area look-ups take physical addresses; the monitor
// requests they lead to carry the 16-bit logical ones.
#pragma once

#include <algorithm>
#include <cstddef>

#include "platform/host/host_types.h"

// Area kinds, as the look-up writes them into the work area (offset 303).
constexpr u16 kAreaNone = 0;      // not emulated: reached through the monitor
constexpr u16 kAreaLrom1 = 64;    // LROM1 outside the monitor area
constexpr u16 kAreaUrom1 = 65;
constexpr u16 kAreaMonitor = 66;  // the 128-byte monitor block inside LROM1
constexpr u16 kAreaLrom2 = 128;
constexpr u16 kAreaUrom2 = 129;
// kind & kAreaFamilyMask: 0x40 LROM1 (with the monitor), 0x41 UROM1, 0x80
// LROM2, 0x81 UROM2. A block move writes emulation memory directly only
// between two ends of one family.
constexpr u16 kAreaFamilyMask = 0xC1;

constexpr u32 kMonitorBlockSize = 128;   // the monitor area from its code address
constexpr u32 kMonitorWorkOffset = 64;   // the monitor's work bytes start here in its area
constexpr u32 kMonitorWorkBytes = 16;    // per data-bus byte; 8 with the reduced-work flag
constexpr u32 kMonitorWorkReduced = 8;
// In no-monitor mode the monitor area is mirrored in monitor memory from here.
constexpr u32 kMonitorCopyOffset = 64 * 126;
constexpr u32 kLayoutUndefined = 0xFFFFFFFF;
constexpr u16 kRomTypeUndefined = 0xFFFF;

constexpr u16 kMsgMonitorArea = 133;     // "\n モニタ領域です"

// Block moves through the monitor, and emulation-memory pieces, go in
// pieces of at most this many bytes; a fill repeats a pattern of this size.
constexpr std::size_t kMovePiece = 1024;
constexpr std::size_t kFillPattern = 128;
// A count of 0 fills the whole 64 KiB logical space.
constexpr u32 kLogicalSpace = 0x10000;

// The ROM areas of the configuration. Every field starts as all ones
// (undefined); the configuration reader sets the four offsets to 0 before it
// reads the file. Ends are inclusive; an area is present when its start is
// defined and not above its end.
struct RomLayout {
  u16 rom1_type = kRomTypeUndefined;          // index into the ROM type table
  u16 rom2_type = kRomTypeUndefined;
  u32 lrom1_start = kLayoutUndefined, lrom1_end = kLayoutUndefined;
  u32 urom1_start = kLayoutUndefined, urom1_end = kLayoutUndefined;
  u32 lrom2_start = kLayoutUndefined, lrom2_end = kLayoutUndefined;
  u32 urom2_start = kLayoutUndefined, urom2_end = kLayoutUndefined;
  u32 monitor_code_address = kLayoutUndefined;  // from the monitor file header
  u32 lrom1_offset = kLayoutUndefined;          // emulation-memory position of each area's start
  u32 urom1_offset = kLayoutUndefined;
  u32 lrom2_offset = kLayoutUndefined;
  u32 urom2_offset = kLayoutUndefined;
};

struct EmuAreaState {
  RomLayout Layout{};         // the configuration's areas (emu_set_rom_layout)
  u16 SystemDebugMode = 0;    // %QOR ON: target-memory access may touch the monitor area
  u16 HandshakeMode = 0;      // monitor file header: 0 none, 1 single call, 2 enter/leave pair
  u16 MonitorRunning = 0;     // the monitor has been handed its stack and answers requests
  u16 InterruptsEnabled = 0;  // interrupt-enable state of the register image (handshake mode 2)
  u16 ReducedWork = 0;        // the monitor keeps 8, not 16, work bytes per bus byte
};
extern EmuAreaState EmuArea;

// Start-up values: an undefined layout, the debug mode off.
void emu_areas_reset();
// Replaces the area table (the configuration reader's, and tests').
void emu_set_rom_layout(const RomLayout& layout);

// Looks up physical `address`: writes its kind to work offset 303 and returns
// it; for an emulated kind also its emulation-memory position (305) and the
// bytes from it to the end of its area (309); for kind 0 the bytes to the next
// area's start (313). The monitor area ends LROM1's lower part and is followed
// by LROM1 again. In the monitor area, unless the system debug mode or the
// no-monitor mode is on: message 133, and the command ends (does not return).
u16 emu_area_lookup(u32 address);
// What a look-up finds at an address.
struct AreaSpan {
  u16 kind = kAreaNone;
  u32 position = 0;   // emulation-memory position (emulated kinds)
  u32 remaining = 0;  // bytes from the address to the end of its area (emulated kinds)
  u32 next = 0;       // bytes from the address to the next area's start (kind 0)
  // Bytes from the address that stay on its side; at least 1, so that a loop
  // over pieces always moves on.
  u32 piece() const { return std::max<u32>(1, kind != kAreaNone ? remaining : next); }
};
// emu_area_lookup, returning all it finds; the numbers are the same whether or
// not a work area is there to take them.
AreaSpan emu_area_span(u32 address);
// 66 when the last byte of [address, address + length) lies in the monitor
// area, else the kind of the first byte. Writes nothing; never ends a command.
u16 emu_range_area(u32 address, u32 length);
// [address, address + length) meets the monitor area.
bool emu_range_hits_monitor(u32 address, u32 length);
// Message 133 and the end of the command when the range meets the monitor
// area and the system debug mode is off; else returns.
void emu_check_monitor_range(u32 address, u32 length);
// [address, address + length) meets the monitor's work bytes (its reserved
// range): from its area + 64, 16 (8 reduced) bytes per data-bus byte.
bool emu_range_hits_monitor_work(u32 address, u32 length);

// Phases of the monitor bracket.
constexpr u16 kBracketBefore = 3;
constexpr u16 kBracketAfter = 0;
// Before (3) and after (0) a direct emulation-memory access: tells a running
// monitor, by request 81, to hold off and to go on (per its handshake mode).
void emu_monitor_bracket(u16 phase);

// Emulation memory at physical `address`, bracketed. Each looks the address up
// (with the monitor-area guard); outside emulation memory a read gives 0 and a
// write does nothing. In no-monitor mode a monitor-area byte also lives in the
// monitor's copy in monitor memory: writes go there too, reads come from it
// (unless bit 0 of NoMonitorOption is set).
u8 emu_area_read_byte(u32 address);
void emu_area_write_byte(u32 address, u8 value);
// One two-byte block; the caller keeps both bytes inside one area.
void emu_area_write_word(u32 address, u16 value);

// Copies count bytes (0: nothing) from logical `source` to logical
// `destination`: through the monitor when the destination is not emulated,
// by emulation-memory pieces when both its ends lie in one area family, else
// byte by byte. backwards: from the high end down (the caller's choice for an
// overlap with the destination above the source). Empties the read cache.
void emu_block_move(u16 destination, u16 source, u32 count, bool backwards);
// Fills count bytes (0: 64 KiB) from logical `address` with `value` (word:
// the 16-bit value, low byte first; else the low byte), in pieces that end at
// every area boundary and at the 64 KiB wrap. Empties the read cache.
void emu_block_fill(u16 address, u32 count, u16 value, bool word);
