#include "halv80/symbols/dbi_buffer.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "halv80/engine/cmd_switches.h"
#include "halv80/engine/sup_host.h"
#include "platform/host/host_file.h"

constinit DbiBufferState DbiBuf;

namespace {

constexpr u8 kEndOfText = 0x1A;

// Moves the last 4,096 valid bytes (and never an unread one) to the start and
// fills the rest from the file.
void shift_and_fill() {
  DbiBufferState& b = DbiBuf;
  if (b.AtEnd || !b.Data) return;
  std::size_t keep_from = b.Valid > kDbiBufferKeep ? b.Valid - kDbiBufferKeep : 0;
  keep_from = std::min(keep_from, b.Cursor);
  std::memmove(b.Data.get(), b.Data.get() + keep_from, b.Valid - keep_from);
  b.Valid -= keep_from;
  b.Cursor -= keep_from;
  b.FileBase += u32(keep_from);
  const std::size_t fresh_from = b.Valid;
  while (b.Valid < kDbiBufferSize) {
    const i32 got = sup_file_read(b.Handle, b.Data.get() + b.Valid, u32(kDbiBufferSize - b.Valid));
    if (got <= 0) {
      b.AtEnd = true;
      b.ReadFailed = got < 0;
      break;
    }
    b.Valid += std::min(std::size_t(got), kDbiBufferSize - b.Valid);
  }
  if (b.Descramble && b.Valid > fresh_from)
    b.Descramble(std::span<u8>(b.Data.get() + fresh_from, b.Valid - fresh_from));
  // Readers of toolchain kind 5 see end-of-text bytes after the file's end.
  if (Sw.ToolchainKind == 5) std::memset(b.Data.get() + b.Valid, kEndOfText, kDbiBufferSize - b.Valid);
}

// The unread bytes as a span start; callers have ensured the room.
const u8* at_cursor() { return DbiBuf.Data.get() + DbiBuf.Cursor; }

}  // namespace

void dbi_buffer_reset() { DbiBuf = DbiBufferState{}; }

std::size_t dbi_buffer_init() {
  if (!DbiBuf.Data) DbiBuf.Data.reset(new (std::nothrow) u8[kDbiBufferSize]);
  return DbiBuf.Data ? kDbiBufferSize : 0;
}

bool dbi_buffer_start(int handle, u32 offset) {
  DbiBufferState& b = DbiBuf;
  if (!b.Data || offset > 0x7FFFFFFF || sup_file_seek(handle, i32(offset), kSeekSet) != i32(offset)) return false;
  b.Handle = handle;
  b.Valid = 0;
  b.Cursor = 0;
  b.FileBase = offset;
  b.AtEnd = false;
  b.ReadFailed = false;
  shift_and_fill();
  return !b.ReadFailed;
}

void dbi_buffer_refill() {
  if (dbi_buffer_remaining() <= kDbiBufferKeep) shift_and_fill();
}

std::size_t dbi_buffer_remaining() { return DbiBuf.Valid - DbiBuf.Cursor; }

u32 dbi_buffer_position() { return DbiBuf.FileBase + u32(DbiBuf.Cursor); }

bool dbi_buffer_at_end() { return dbi_buffer_remaining() == 0 && (DbiBuf.AtEnd || !DbiBuf.Data); }

bool dbi_buffer_ensure(std::size_t n) {
  if (dbi_buffer_remaining() >= n) return true;
  shift_and_fill();
  return dbi_buffer_remaining() >= n;
}

bool dbi_read_u8(u8& out) {
  if (!dbi_buffer_ensure(1)) return false;
  out = *at_cursor();
  DbiBuf.Cursor += 1;
  return true;
}

bool dbi_read_be16(u16& out) {
  if (!dbi_buffer_ensure(2)) return false;
  const u8* p = at_cursor();
  out = u16(p[0] << 8 | p[1]);
  DbiBuf.Cursor += 2;
  return true;
}

bool dbi_read_be32(u32& out) {
  if (!dbi_buffer_ensure(4)) return false;
  const u8* p = at_cursor();
  out = u32(p[0]) << 24 | u32(p[1]) << 16 | u32(p[2]) << 8 | p[3];
  DbiBuf.Cursor += 4;
  return true;
}

bool dbi_read_le16(u16& out) {
  if (!dbi_buffer_ensure(2)) return false;
  const u8* p = at_cursor();
  out = u16(p[0] | p[1] << 8);
  DbiBuf.Cursor += 2;
  return true;
}

bool dbi_read_le32(u32& out) {
  if (!dbi_buffer_ensure(4)) return false;
  const u8* p = at_cursor();
  out = p[0] | u32(p[1]) << 8 | u32(p[2]) << 16 | u32(p[3]) << 24;
  DbiBuf.Cursor += 4;
  return true;
}

bool dbi_skip(u32 n) {
  while (n > 0) {
    if (dbi_buffer_remaining() == 0 && !dbi_buffer_ensure(1)) return false;
    const u32 step = u32(std::min<std::size_t>(n, dbi_buffer_remaining()));
    DbiBuf.Cursor += step;
    n -= step;
  }
  return true;
}

bool dbi_copy_name(char (&out)[kDbiNameMax + 1]) {
  u8 length = 0;
  if (!dbi_buffer_ensure(1)) return false;
  length = *at_cursor();
  // the length byte and the characters are read together or not at all
  if (!dbi_buffer_ensure(1u + length)) return false;
  std::memcpy(out, at_cursor() + 1, length);
  out[length] = '\0';
  DbiBuf.Cursor += 1u + length;
  return true;
}
