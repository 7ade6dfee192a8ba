// Target memory and I/O ports, for every reader and writer in the engine and
// on the window side. Each access goes to emulation memory directly, to the
// monitor by request, or, while the target runs (or in cached mode), to a
// 128-byte read cache. Owns the cache and the cached-mode and verify words.
// Addresses are 16-bit logical target addresses; the banked forms take 20-bit
// addresses. A running target is paused around an access that needs the
// monitor; every write empties the cache.
#pragma once

#include <array>
#include <cstddef>
#include <span>

#include "platform/host/host_types.h"

constexpr std::size_t kReadCacheSize = 128;
constexpr u32 kReadCacheEmpty = 0xFFFFFFFF;

// tgt_set_cached_mode values besides 0 (off) and 1 (on).
constexpr u16 kCachedModeSuspend = 0x8000;  // keep the word, then off
constexpr u16 kCachedModeRestore = 0x8001;  // the kept word again

struct TgtMemState {
  std::array<u8, kReadCacheSize> Cache{};  // target bytes from CacheBase on
  u32 CacheBase = kReadCacheEmpty;         // logical address of Cache[0]; all ones: empty
  u16 CachedMode = 0;                      // non-zero: reads use the cache on a stopped target too
  u16 SavedCachedMode = 0;                 // kept by kCachedModeSuspend
  u16 Verify = 1;                          // the verifying writes read back
  u16 LastLogical = 0;                     // the address the last translation left for a request
};
extern TgtMemState TgtMem;

// Start-up values: the cache empty, cached mode off, verify on.
void tgt_memory_reset();
// Empties the read cache; the next cached read refills it.
void tgt_cache_empty();
// 1: on and empty; kCachedModeSuspend, kCachedModeRestore; any other value
// is stored as it is. Nothing changes in no-monitor mode.
void tgt_set_cached_mode(u16 v);

// Reads. In the monitor's work bytes a read gives 0 without a request; in
// no-monitor mode emulation memory is read directly and anything else is 0.
// On the window side a byte that is not cached reads 0xFF while the target runs.
// A read through the monitor can end the command on a time-out.
u8 tgt_read_byte(u16 address);
u16 tgt_read_word(u16 address);   // low byte at address
u32 tgt_read_long(u16 address);   // word at address, high word at address + 2
// Writes; each empties the cache and pauses a running target around the
// request. A write in the monitor area ends the command with message 133
// unless the system debug mode (or no-monitor mode) is on; in no-monitor mode
// a write outside emulation memory is dropped.
void tgt_write_byte(u16 address, u8 value);
void tgt_write_word(u16 address, u16 value);
void tgt_write_long(u16 address, u32 value);
// The writes, then with TgtMem.Verify set a read back; false (and AbortFlag
// set, so that the command ends with its error) when it differs.
bool tgt_write_byte_verify(u16 address, u8 value);
bool tgt_write_word_verify(u16 address, u16 value);
bool tgt_write_long_verify(u16 address, u32 value);

// The banked forms: a 20-bit address taken to its logical address for the
// access, with the bank window mapped over it for that access (with memory
// management; without, the address's low 16 bits).
u8 tgt_read_byte_banked(u32 address);
u16 tgt_read_word_banked(u32 address);
void tgt_write_byte_banked(u32 address, u8 value);
void tgt_write_word_banked(u32 address, u16 value);

// Fills `buffer` from `address` on (at most 64 KiB; an empty buffer sends
// nothing). On the window side while the target runs: 0xFF bytes and no
// request. Else one block request, or byte by byte when the range meets the
// monitor's work bytes or in no-monitor mode.
void tgt_read_block(std::span<u8> buffer, u16 address);
// Writes `data` from `address` on (at most 64 KiB), for the program loaders:
// emulation memory directly, elsewhere by block requests, in pieces that end
// at every area boundary. Ends the command with message 133 when the range
// meets the monitor area and the system debug mode is off.
void tgt_write_block(std::span<const u8> data, u16 address);
// One block-write request at logical `address`, a running target paused around it.
void tgt_write_block_monitor(std::span<const u8> data, u16 address);

// A write to logical [address, address + length) (at most 64 KiB, wrapping
// at 64 KiB) would meet the monitor area, where a single write is refused:
// never in the system debug mode or in no-monitor mode. Each byte is taken
// through the memory-management model as the write will take it.
bool tgt_range_meets_monitor(u16 address, u32 length);
// Message 133 and the end of the command (does not return) when it does. The
// commands that write a range call it before they write the first byte, so a
// refused range is left as it was.
void tgt_check_write_range(u16 address, u32 length);

// I/O ports through the monitor; in no-monitor mode reads give 0 and writes
// do nothing. A word is port (low byte) and port + 1 (high byte).
u8 tgt_read_port(u16 port);
u16 tgt_read_port_word(u16 port);
void tgt_write_port(u16 port, u8 value);
void tgt_write_port_word(u16 port, u16 value);
