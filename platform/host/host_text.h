// CP932 (Shift-JIS as Windows defines it) <-> UTF-8. Texts inside the system
// are CP932 bytes; only sources, drawing and the console runner use UTF-8.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "platform/host/host_types.h"

// A CP932 byte that starts a two-byte character.
constexpr bool host_cp932_lead(u8 c) { return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC); }
// Bytes of the CP932 character at text[i]: 2 for a lead byte with its trail
// byte, else 1 (a lead byte at the very end is one unit on its own).
constexpr std::size_t host_cp932_unit_length(std::string_view text, std::size_t i) {
  return host_cp932_lead(u8(text[i])) && i + 1 < text.size() ? 2 : 1;
}
// An ASCII letter upper-cased; every other byte (CP932 halves too) as it is.
constexpr char host_ascii_upper(char c) { return c >= 'a' && c <= 'z' ? char(c - 'a' + 'A') : c; }
constexpr u8 host_ascii_upper(u8 c) { return u8(host_ascii_upper(char(c))); }

// A character that has no equivalent becomes one "?", an invalid byte one "?"
// each, and conversion goes on.
std::string host_utf8_to_cp932(std::string_view utf8);
std::string host_cp932_to_utf8(std::string_view cp932);

// Checks a text for UTF-8 piece by piece: valid while every sequence is well
// formed (no overlong form, no surrogate, nothing above U+10FFFF) and, at the
// end, none is left cut.
class HostUtf8Check {
 public:
  void feed(std::string_view bytes);
  // Well formed so far, and no sequence waits for more bytes.
  bool valid() const { return !bad_ && pending_ == 0; }
  // A byte of 0x80 or above was seen.
  bool non_ascii() const { return non_ascii_; }

 private:
  u8 pending_ = 0;     // continuation bytes the sequence still needs
  u8 lower_ = 0x80;    // the range of the next continuation byte
  u8 upper_ = 0xBF;
  bool bad_ = false;
  bool non_ascii_ = false;
};
