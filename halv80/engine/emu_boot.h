// Monitor boot: the monitor program file's header check, the writing of its
// image into monitor memory, and the boot loop that cold-starts the target and
// waits until the monitor answers. Owns EmuBootState (what the header told).
// Every byte of the monitor file is untrusted: a short read is a bad file.
#pragma once

#include <cstddef>
#include <string_view>

#include "platform/device/dev_monitor_protocol.h"
#include "platform/host/host_types.h"

constexpr std::string_view kMonitorFileName = "MON80.QQN";

constexpr u32 kMonitorChunk = 64;            // half of the 128-byte monitor block
constexpr u32 kMonitorFirstChunkAt = 64 * 127;  // monitor-area offset of the first chunk (8128)
constexpr u32 kMonitorRestAt = 128;          // monitor-area offset of the second chunk
constexpr u8 kHandshakeModeMax = 2;
constexpr u8 kOpcodeJp = 0xC3;

// Boot loop: polls of 10 ms before the monitor counts as not running.
constexpr u32 kBootPolls = 800;
constexpr u16 kBootPollMs = 10;

// Start-up errors of this file.
constexpr u16 kErrMonitorCodeAddress = 5;
constexpr u16 kErrMonitorFile = 6;
constexpr u16 kErrMonitorCpu = 7;
constexpr u16 kErrMonitorNotRunning = 13;
constexpr u16 kErrMonitorBoot = 14;
constexpr u16 kErrHardware = 20;

// What the monitor file's header told; the code address goes to
// EmuArea.Layout.monitor_code_address, the handshake mode to EmuArea.HandshakeMode.
struct EmuBootState {
  u16 NmiSlot = 0;       // monitor-area offset of the NMI jump slot
  u16 NmiEntry = 0;      // the monitor's NMI entry address
  u16 BreakEntry = 0;    // the monitor's break entry address
  u16 Position = 0;      // position word: break byte (bits 0-5), service entry (bits 0-6)
};
extern EmuBootState EmuBoot;

// Start-up values.
void emu_boot_reset();

// Reads and checks the monitor file's header from the file's current
// position: 6 when fewer than 32 bytes or the format is not 1; 7 when BANK
// MODE fixed a CPU family other than the header's (without BANK MODE,
// Cfg.CpuType takes the header's); 5 when the code address is 0, not a
// multiple of 128, or its 128-byte block does not lie inside LROM1. Keeps the
// header's fields (see EmuBootState) and, on success, rewinds the file.
// Returns 0 or the error number; reports nothing.
u16 emu_check_monitor_header(int handle);
// Writes the image from file offset 64 into monitor memory: the first chunk,
// with Cfg.BreakOpcode at (position & 63), at offset 8128; the following
// chunks at 128, 192, ..., up to and including a short chunk and never at
// 8128 or beyond. With an NMI address configured, a JP to it at the NMI slot.
// Each write is read back: a mismatch is start-up error 20 (returned, not
// reported). Returns 0 or 20.
u16 emu_write_monitor_image(int handle);
// One boot handshake (request 125): kHandshakeDone, kHandshakeNotReady (no-
// monitor mode, or no hello waiting with send room) or kHandshakeTimedOut.
u16 emu_boot_poll();
// Flushes the channel, sets the cold-start marker (request 126), pulses the
// target reset (kind 5) and polls up to 800 times 10 ms. Returns 0 when the
// monitor answered (or in no-monitor mode), else reports and returns start-up
// error 14 (the handshake failed) or 13 (no answer at all) through
// emu_startup_error(n, mode). Never ends the program.
u16 emu_boot_loop(u16 mode);
// The boot loop until it is settled: after error 13 with "go on" chosen in
// the box (the window side clears Sup.StartupFailure), one more poll, and when
// the monitor still does not answer the loop again. Returns 0 (Startup.Failed
// cleared again after a late answer) or the last error reported.
u16 emu_boot_monitor(u16 mode);
