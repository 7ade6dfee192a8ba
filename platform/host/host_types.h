// Fixed-width integer names used wherever the system gives a width.
#pragma once

#include <cstdint>

using u8 = std::uint8_t;
using u16 = std::uint16_t;
using u32 = std::uint32_t;
using u64 = std::uint64_t;
using i8 = std::int8_t;
using i16 = std::int16_t;
using i32 = std::int32_t;

// Little-endian fields of alignment 1, for records whose byte layout is fixed.
struct le16 {
  u8 b[2];
  constexpr u16 get() const { return u16(b[0] | b[1] << 8); }
  constexpr void set(u16 v) { b[0] = u8(v); b[1] = u8(v >> 8); }
};
struct le32 {
  u8 b[4];
  constexpr u32 get() const { return u32(b[0]) | u32(b[1]) << 8 | u32(b[2]) << 16 | u32(b[3]) << 24; }
  constexpr void set(u32 v) { b[0] = u8(v); b[1] = u8(v >> 8); b[2] = u8(v >> 16); b[3] = u8(v >> 24); }
};
static_assert(sizeof(le16) == 2 && alignof(le16) == 1);
static_assert(sizeof(le32) == 4 && alignof(le32) == 1);
