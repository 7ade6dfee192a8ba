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

// Little-endian values at a byte pointer; the caller has bounded the bytes.
constexpr u16 load_le16(const u8* p) { return u16(p[0] | p[1] << 8); }
constexpr u32 load_le32(const u8* p) {
  return u32(p[0]) | u32(p[1]) << 8 | u32(p[2]) << 16 | u32(p[3]) << 24;
}
constexpr void store_le16(u8* p, u16 v) {
  p[0] = u8(v);
  p[1] = u8(v >> 8);
}
constexpr void store_le32(u8* p, u32 v) {
  store_le16(p, u16(v));
  store_le16(p + 2, u16(v >> 16));
}

// Little-endian fields of alignment 1, for records whose byte layout is fixed.
struct le16 {
  u8 b[2];
  constexpr u16 get() const { return load_le16(b); }
  constexpr void set(u16 v) { store_le16(b, v); }
};
struct le32 {
  u8 b[4];
  constexpr u32 get() const { return load_le32(b); }
  constexpr void set(u32 v) { store_le32(b, v); }
};
static_assert(sizeof(le16) == 2 && alignof(le16) == 1);
static_assert(sizeof(le32) == 4 && alignof(le32) == 1);
