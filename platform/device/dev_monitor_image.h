// The monitor program file of the simulated emulator, and the layout of the
// image inside it. The file is the 32-byte MonitorFileHeader the engine checks
// (dev_monitor_protocol.h), zeros up to offset 64, then 126 chunks of 64
// bytes: the engine writes chunk 0 to bank 127 (the window's upper half, with
// its software-break byte put in) and chunk k to bank k + 1. The monitor is modelled, not executed, so the image is data
// for the model: a descriptor in bank 127 that names the entry points, and in
// each of banks 2..126 a tag that shows the engine wrote that bank.
#pragma once

#include <array>
#include <cstddef>
#include <span>
#include <vector>

#include "platform/device/dev_board.h"
#include "platform/device/dev_fixture.h"
#include "platform/device/dev_monitor_protocol.h"
#include "platform/host/host_types.h"

constexpr std::size_t kDevMonitorChunks = 126;       // chunk 0 -> bank 127, chunks 1..125 -> banks 2..126
constexpr std::size_t kDevMonitorFileSize = kMonitorImageOffset + kDevMonitorChunks * kDevMonitorBankSize;

constexpr u8 kDevMonitorCpuZ80 = 1;                  // the engine's CPU family coding

// Bank 127 (chunk 0), by byte within the bank; its window offset is 64 + byte.
//   0  4  magic kDevMonitorMagic
//   4  1  kDevMonitorVersion
//   5  1  window offset of the break entry, 64..127
//   6  1  window offset of the NMI entry, 64..127, not the break entry's
//  32     the break entry
//  40     the NMI entry
//  48     the software-break byte, which the service run executes
//  56  3  the NMI jump slot, where the engine writes JP to a user NMI handler
// Both entries lie in the upper half: the lower half changes with every request.
constexpr std::array<u8, 4> kDevMonitorMagic = {'V', 'M', 'O', 'N'};
constexpr u8 kDevMonitorVersion = 1;
constexpr std::size_t kDevDescMagic = 0;
constexpr std::size_t kDevDescVersion = 4;
constexpr std::size_t kDevDescBreakEntry = 5;
constexpr std::size_t kDevDescNmiEntry = 6;
constexpr u8 kDevMonitorBreakEntryByte = 32;
constexpr u8 kDevMonitorNmiEntryByte = 40;
constexpr u8 kDevMonitorServiceByte = 48;
constexpr u8 kDevMonitorNmiSlotByte = 56;
// Bit 6 set: the service run starts in the upper half, on the break byte.
constexpr u16 kDevMonitorPosition = u16(kDevMonitorBankSize + kDevMonitorServiceByte);
static_assert((kDevMonitorPosition & 63) == kDevMonitorServiceByte && (kDevMonitorPosition & 64) != 0);

// Banks 2..126 begin with a tag: kDevMonitorTagMagic, the bank number and its
// complement. Bank 126 is selected when the target leaves reset, so its tag is
// also the cold-start mark.
constexpr std::array<u8, 3> kDevMonitorTagMagic = {'V', 'M', 'B'};
constexpr std::size_t kDevMonitorTagSize = kDevMonitorTagMagic.size() + 2;
constexpr u8 kDevFirstImageBank = 2;
constexpr u8 kDevColdStartBank = 126;

// Every other image byte: HALT, as the image holds no code the target may run.
constexpr u8 kDevMonitorFill = 0x76;

// The entry points the model reads from bank 127: window offsets 64..127.
struct DevMonitorEntries {
  u8 break_entry = 0;
  u8 nmi_entry = 0;
};

// The whole monitor file for a board: header, padding and image
// (kDevMonitorFileSize bytes). The entry addresses in the header are the low
// 16 bits of code address + window offset.
std::vector<u8> dev_monitor_file(const DevFixture& fixture);

// Reads the descriptor from the 64 bytes of bank 127. False, with `out`
// unchanged, when the bank is short or holds no valid descriptor.
bool dev_monitor_entries(std::span<const u8> top_bank, DevMonitorEntries& out);

// True when `bank` (its 64 bytes) begins with the tag of bank `bank_number`.
bool dev_monitor_bank_tagged(std::span<const u8> bank, int bank_number);
