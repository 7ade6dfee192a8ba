// Loader E: the scrambled debug file ".qor". A five-byte header (magic
// "IA80" or "IRLN", and a seed byte) is followed by a body that is XORed with
// a keystream; the body is unscrambled as the shared buffer reads it and holds
// blocks of type records, modules with their lines, global symbols and static
// items. Owns Qor. All numbers are little-endian.
//
// The keystream: a 16-bit state S = seed XOR kQorSeedConstant; for each body
// byte in file order, from file offset 5 on, first S = S * kQorMultiplier +
// kQorIncrement (mod 65536), then the byte is XORed with S's low byte.
#pragma once

#include <cstddef>
#include <span>

#include "platform/host/host_types.h"

constexpr std::size_t kQorHeaderSize = 5;   // magic and seed; the keystream starts after them
constexpr u8 kQorSeedConstant = 0x5A;
constexpr u16 kQorMultiplier = 0x3C6D;      // 1 mod 4 and an odd increment: all 65,536 states
constexpr u16 kQorIncrement = 0x3619;

// Part-one record tags; any other tag is a type record of that kind.
constexpr u8 kQorModule = 0xF0;   // u16 first, u16 last address
constexpr u8 kQorFile = 0xFC;     // zero-ended source file name
constexpr u8 kQorLine = 0xFE;     // u16 address, u16 line
constexpr u8 kQorPartEnd = 0xFF;  // a length byte that ends part one, a flag byte that ends part two
constexpr u8 kQorFileEnd = 0xFE;  // after a block's symbols: no block follows
constexpr u8 kQorGlobal = 0x10;   // flag bit of a global symbol (variant 2)
constexpr u32 kQorBlockTypes = 0x200;  // symbol types from here are the block's own type records
constexpr std::size_t kQorSkippedAfterSymbols = 4;
constexpr std::size_t kQorNameMax = 255;

struct QorState {
  u16 Key = 0;  // the keystream state
};
extern QorState Qor;

// Loads `path`: 0 done, kLoadBadFormat (not this format, or malformed),
// kLoadFull, -7 the file cannot be opened, -2 buffer too small. What was read
// before a failure stays.
i16 dbi_load_format_e(const char* path);

// Sets the keystream state for a file whose header carries `seed`.
void dbi_unscramble_start(u8 seed);
// Unscrambles the bytes in place, the keystream going on from its state; the
// same step scrambles them.
void dbi_unscramble(std::span<u8> data);
