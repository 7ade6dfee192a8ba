// The 64 KiB buffered reader that the binary debug-information loaders share:
// one buffer, allocated once and kept, over one open file. After each record
// the loader calls dbi_buffer_refill; a field that does not fit the bytes left
// in the buffer refills it on the spot, so a record of any length can straddle
// the refill point. Owns DbiBuf. Every read checks for room and returns false,
// leaving the cursor alone, when the file ends first.
#pragma once

#include <cstddef>
#include <memory>
#include <span>

#include "platform/host/host_types.h"

constexpr std::size_t kDbiBufferSize = 65536;
constexpr std::size_t kDbiBufferMinimum = 8192;  // the loaders refuse a smaller buffer
// A refill keeps this many bytes before the cursor, so that a loader may look
// back that far; it is also the threshold of the after-record refill.
constexpr std::size_t kDbiBufferKeep = 4096;
constexpr std::size_t kDbiNameMax = 255;  // a length-prefixed name: one byte of length

// Turns bytes just read from the file into the bytes the loader reads (the
// scrambled format's step); applied once to every byte, as it arrives.
using DbiDescrambler = void (*)(std::span<u8> fresh);

struct DbiBufferState {
  std::unique_ptr<u8[]> Data;           // kDbiBufferSize bytes once dbi_buffer_init ran
  int Handle = -1;                      // the file read; not owned
  std::size_t Valid = 0;                // bytes of the file in Data; nothing past them is read
  std::size_t Cursor = 0;               // the next byte to read, at most Valid
  u32 FileBase = 0;                     // file position of Data[0]
  bool AtEnd = false;                   // the file has no bytes after Data[Valid - 1]
  bool ReadFailed = false;              // a read of the file failed (not just its end)
  DbiDescrambler Descramble = nullptr;  // set while a scrambled file is read; null: bytes as they are
};
extern DbiBufferState DbiBuf;

// Frees the buffer.
void dbi_buffer_reset();

// Allocates the buffer once; its usable size (65,536), 0 when there is no memory.
std::size_t dbi_buffer_init();
// Starts reading `handle` from file position `offset`: the buffer is emptied
// and filled from there. False when the position cannot be sought or read.
bool dbi_buffer_start(int handle, u32 offset);
// The after-record rule: when at most 4,096 unread bytes remain and the file
// has more, the last 4,096 bytes are moved to the buffer's start and the rest
// is filled from the file (with toolchain kind 5 the part a short read leaves
// empty is filled with 0x1A, never counted as valid; with a descrambler set
// the new bytes pass through it). The cursor moves with the data.
void dbi_buffer_refill();
// Unread bytes in the buffer.
std::size_t dbi_buffer_remaining();
// The file position of the cursor.
u32 dbi_buffer_position();
// At the end of the file: nothing left to read.
bool dbi_buffer_at_end();
// Makes at least `n` (up to 4,096) bytes readable, refilling as needed;
// false when the file ends first.
bool dbi_buffer_ensure(std::size_t n);

bool dbi_read_u8(u8& out);
bool dbi_read_be16(u16& out);
bool dbi_read_be32(u32& out);
bool dbi_read_le16(u16& out);
bool dbi_read_le32(u32& out);
// Skips `n` bytes, refilling as often as needed; false when the file ends first.
bool dbi_skip(u32 n);
// A length byte and that many characters, as a NUL-ended text into `out`
// (kDbiNameMax + 1 bytes). False when the file ends inside the name.
bool dbi_copy_name(char (&out)[kDbiNameMax + 1]);
