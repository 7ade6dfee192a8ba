// A writer of little-endian resource values for the tests.
#pragma once

#include <span>
#include <vector>

#include "platform/host/host_types.h"

struct ResourceBytes {
  std::vector<u8> bytes;
  ResourceBytes& b8(u8 v) {
    bytes.push_back(v);
    return *this;
  }
  ResourceBytes& b16(u16 v) { return b8(u8(v)).b8(u8(v >> 8)); }
  ResourceBytes& b32(u32 v) { return b16(u16(v)).b16(u16(v >> 16)); }
  ResourceBytes& b64(u64 v) { return b32(u32(v)).b32(u32(v >> 32)); }

  // Full resource descriptor: interface type, bus, version 1, revision 1, count.
  static ResourceBytes full(u32 interface_type, u32 bus, u32 count) {
    ResourceBytes r;
    r.b32(interface_type).b32(bus).b16(1).b16(1).b32(count);
    return r;
  }
  // One partial descriptor: type, share, flags and the 12 bytes of its kind.
  ResourceBytes& partial(u8 type, u8 share, u16 flags, u64 a, u32 b) { return b8(type).b8(share).b16(flags).b64(a).b32(b); }

  // Requirements list header and its first list's header.
  static ResourceBytes requirements(u32 interface_type, u32 alternatives, u32 count) {
    ResourceBytes r;
    r.b32(0x100).b32(interface_type).b32(0).b32(7).b32(0x11).b32(0x22).b32(0x33).b32(alternatives);
    r.b16(1).b16(1).b32(count);
    return r;
  }
  // One requirement descriptor: option, type, share, flags and the 24 bytes
  // of its kind (length, alignment, minimum, maximum).
  ResourceBytes& io(u8 option, u8 type, u8 share, u16 flags, u32 length, u32 alignment, u64 min, u64 max) {
    return b8(option).b8(type).b8(share).b8(0xEE).b16(flags).b16(0xEEEE).b32(length).b32(alignment).b64(min).b64(max);
  }

  std::span<const u8> span() const { return bytes; }
};
