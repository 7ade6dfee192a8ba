// The formatter every command prints through: one engine that walks a format
// text and hands each produced byte to a sink, with the console and buffer
// front ends. Every argument is one 32-bit word (or a text for "s"); there are
// no 64-bit or floating-point conversions. In target-string mode the
// introducer is "&" and "s" reads its text from target memory.
#pragma once

#include <array>
#include <concepts>
#include <cstddef>
#include <span>
#include <string>
#include <string_view>

#include "platform/host/host_types.h"

// The longest text sup_digits writes: 32 binary digits and a sign.
constexpr std::size_t kDigitsMax = 33;
// A target string ends at its first zero byte or after this many bytes.
constexpr std::size_t kTargetStringMax = 1024;

struct FormatState {
  u16 TargetStringMode = 0;  // not 0: introducer "&", "s" reads target memory
  u16 TargetStrings = 0;     // not 0: "s" reads target memory, introducer unchanged (PRINTF)
  // One byte of target memory; set by the target-memory layer. While it is
  // null a target string reads empty. The engine reset clears it.
  u8 (*ReadTargetByte)(u32 address) = nullptr;
};
extern FormatState Fmt;

// One argument: a 32-bit word, or a text for the "s" conversion. A text is
// read up to its length or its first zero byte, whichever comes first; a text
// argument's word is 0 and a word argument's text is empty.
struct FmtArg {
  u32 word = 0;
  const char* text = nullptr;                   // null: no text
  std::size_t length = std::string_view::npos;  // npos: up to the zero byte

  constexpr FmtArg() = default;
  // Signed values are sign-extended, then cut to 32 bits.
  template <std::integral T>
  constexpr FmtArg(T value) : word(u32(value)) {}
  constexpr FmtArg(const char* t) : text(t) {}
  constexpr FmtArg(std::string_view t) : text(t.data()), length(t.size()) {}
  FmtArg(const std::string& t) : text(t.data()), length(t.size()) {}
};

using FormatSink = void (*)(void* context, u8 c);

// Formats `format` with `args` into `sink`. Conversions: an introducer, then
// "-" (left-justify) or "0" (pad with zeros), a width (digits or "*"), a
// precision ("." and digits or "*"), an optional "l", and one of d u x X o c s;
// any other character is printed as it stands and takes no argument. The
// text is cut to the precision (numbers too), then padded to the width.
// Arguments beyond `args` read as 0 and empty text. The format ends at its
// end or at a zero byte; a conversion cut off by the end prints nothing.
void sup_format(FormatSink sink, void* context, std::string_view format,
                std::span<const FmtArg> args);

// sup_format to the console sink, con_putc.
void con_vprintf(std::string_view format, std::span<const FmtArg> args);
template <class... A>
void con_printf(std::string_view format, const A&... args) {
  const std::array<FmtArg, sizeof...(A)> list{FmtArg(args)...};
  con_vprintf(format, list);
}

// sup_format into `buffer`: at most buffer.size() - 1 bytes, then a zero byte
// (nothing at all for an empty buffer). Returns the bytes written before the
// zero byte; output that does not fit is dropped.
std::size_t sup_vsprintf(std::span<char> buffer, std::string_view format,
                         std::span<const FmtArg> args);
template <class... A>
std::size_t sup_sprintf(std::span<char> buffer, std::string_view format, const A&... args) {
  const std::array<FmtArg, sizeof...(A)> list{FmtArg(args)...};
  return sup_vsprintf(buffer, format, list);
}

// Write the digits of `value` backwards so that the last one stands just
// before `end`, and return the position of the first (or of the "-" that
// sup_digits puts before a negative value's magnitude). Digits are
// "0123456789ABCDEF"; a base outside 2..16 is taken as 10. At most kDigitsMax
// bytes before `end` are written; nothing is written at `end`.
char* sup_digits(i32 value, u32 base, char* end);
char* sup_digits_unsigned(u32 value, u32 base, char* end);
