// Target number formats, their texts, the character column and H.
#include "halv80/engine/fmt_numbers.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstring>

#include "halv80/engine/cmd_core.h"
#include "halv80/engine/cmd_switches.h"
#include "halv80/engine/con_scanner.h"
#include "halv80/engine/sup_format.h"
#include "halv80/engine/tgt_memory.h"
#include "platform/host/host_text.h"

namespace {


constexpr u16 kToolchainAltSingle = 2;     // singles in the alternate form
constexpr u16 kToolchainDecimalDouble = 4;  // doubles as decimal doubles

constexpr int kExponentBiasShift = 16383 - 1023;  // temporary real bias less double bias: 15360
constexpr u64 kDoubleFraction = (u64(1) << 52) - 1;
constexpr int kDoubleExponentMax = 0x7FF;
constexpr int kDecimalDigits = 14;  // digits of a decimal double

u64 load_le(const u8* p, std::size_t n) {
  u64 v = 0;
  for (std::size_t i = n; i-- > 0;) v = v << 8 | p[i];
  return v;
}
void store_le(u8* p, std::size_t n, u64 v) {
  for (std::size_t i = 0; i < n; ++i, v >>= 8) p[i] = u8(v);
}

// A Shift-JIS trail byte.
constexpr bool is_trail(u8 c) { return (c >= 0x40 && c <= 0x7E) || (c >= 0x80 && c <= 0xFC); }

// Fixed-width scientific text, independent of any locale: "d.ddde+XX",
// right-aligned in `width`.
std::string scientific(double v, int precision, std::size_t width) {
  char buf[64];
  const auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::scientific, precision);
  std::string text(buf, r.ec == std::errc{} ? r.ptr : buf);
  if (text.size() < width) text.insert(0, width - text.size(), ' ');
  return text;
}

// "[-]d.ddddddddddddde[+-]XX" of a decimal double.
std::string decimal_double_text(const DoubleBytes& v) {
  const u8 head = v[0];
  // bit 6 set: a positive exponent in bits 0-5; clear: bits 0-5 less 64
  const int exponent = (head & 0x40) ? (head & 0x3F) : int(head & 0x3F) - 64;
  constexpr char kDigits[] = "0123456789ABCDEF";  // a nibble above 9 is no digit, but shows
  std::string text;
  if (head & 0x80) text += '-';
  for (int i = 0; i < kDecimalDigits; ++i) {
    const u8 pair = v[1 + i / 2];
    text += kDigits[(i % 2 == 0) ? pair >> 4 : pair & 0x0F];
    if (i == 0) text += '.';
  }
  const int shown = exponent - 1;
  char tail[8];
  sup_sprintf(std::span<char>(tail), "e%c%02d", shown < 0 ? '-' : '+', shown < 0 ? -shown : shown);
  return text + tail;
}

// The double as a decimal double: the digits of its 15-digit text, two to a
// byte, and its exponent + 1 with the sign in byte 0.
DoubleBytes pack_decimal_double(double v) {
  const std::string text = fmt_double_text(v, kLongDigits);
  DoubleBytes out{};
  std::size_t i = text.find_first_not_of(' ');
  bool negative = false;
  if (i < text.size() && text[i] == '-') {
    negative = true;
    ++i;
  }
  int digits = 0;
  for (; i < text.size() && text[i] != 'e'; ++i) {
    if (text[i] < '0' || text[i] > '9') continue;  // the decimal point
    if (digits < kDecimalDigits) {
      const u8 d = u8(text[i] - '0');
      out[1 + digits / 2] |= (digits % 2 == 0) ? u8(d << 4) : d;
      ++digits;
    }
  }
  int exponent = 0;
  if (i + 1 < text.size()) {
    const bool minus = text[i + 1] == '-';
    for (std::size_t k = i + 2; k < text.size(); ++k) exponent = exponent * 10 + (text[k] - '0');
    if (minus) exponent = -exponent;
  }
  const int stored = exponent + 1;
  out[0] = u8((stored & 0x3F) | (stored >= 0 ? 0x40 : 0) | (negative ? 0x80 : 0));
  return out;
}

double double_of(const DoubleBytes& b) { return std::bit_cast<double>(load_le(b.data(), b.size())); }

// The 32-bit value's bytes as a single (from the alternate form under
// ToolchainKind 2), as a double.
double single_of(u32 bits) {
  SingleBytes s{};
  store_le(s.data(), s.size(), bits);
  if (Sw.ToolchainKind == kToolchainAltSingle) {
    SingleBytes ieee{};
    fmt_alt_single(s, ieee, AltSingle::ToIeee);
    s = ieee;
  }
  return fmt_float_to_double(std::bit_cast<float>(u32(load_le(s.data(), s.size()))));
}

}  // namespace

std::string fmt_take_operand_text() {
  cmd_skip_blanks();
  if (*Cmd.ScannerCursor == ',') ++Cmd.ScannerCursor;
  cmd_skip_blanks();
  std::string text;
  while (*Cmd.ScannerCursor != '\0' && *Cmd.ScannerCursor != ',' && text.size() < kOperandTextMax)
    text += *Cmd.ScannerCursor++;
  return text;
}

void fmt_double_to_temp_real(TempReal& out, double v) {
  const u64 bits = std::bit_cast<u64>(v);
  const int exponent = int(bits >> 52) & kDoubleExponentMax;
  const u64 mantissa = u64(1) << 63 | (bits & kDoubleFraction) << 11;
  const u16 head = u16((exponent == 0 ? 0 : exponent + kExponentBiasShift) | ((bits >> 63) ? 0x8000 : 0));
  store_le(out.data(), 8, mantissa);
  store_le(out.data() + 8, 2, head);
}

bool fmt_temp_real_to_double(double& out, const TempReal& in) {
  u64 mantissa = load_le(in.data(), 8);
  const u16 head = u16(load_le(in.data() + 8, 2));
  out = 0.0;
  if (mantissa == 0) return false;  // zero, whatever its exponent and sign
  int shifts = 0;
  while ((mantissa >> 63) == 0) {
    mantissa <<= 1;
    ++shifts;
  }
  int exponent = (head & 0x7FFF) - shifts - kExponentBiasShift;
  if (exponent < 0) exponent = 0;
  if (exponent > kDoubleExponentMax) return true;
  // the integer bit goes; the 52 fraction bits below it stay
  const u64 fraction = (mantissa << 1) >> 12;
  const u64 sign = (head & 0x8000) ? u64(1) << 63 : 0;
  out = std::bit_cast<double>(sign | u64(exponent) << 52 | fraction);
  return false;
}

std::string fmt_temp_real_text(const TempReal& in, int digits) {
  double v = 0.0;
  if (fmt_temp_real_to_double(v, in)) return std::string(kTempRealOverflowText);
  DoubleBytes b{};
  store_le(b.data(), b.size(), std::bit_cast<u64>(v));
  return fmt_float_text(b, digits);
}

std::string fmt_float_text(const DoubleBytes& value, int digits) {
  if (Sw.ToolchainKind == kToolchainDecimalDouble && digits == kLongDigits) return decimal_double_text(value);
  return fmt_double_text(double_of(value), digits);
}

std::string fmt_double_text(double v, int digits) {
  if (digits != kLongDigits) return scientific(v, 6, 12);
  std::string text = scientific(v, 15, 21);
  // A two-digit exponent gets a third digit, so that the long form always
  // has three.
  const std::size_t e = text.rfind('e');
  if (e != std::string::npos && text.size() == e + 4) text.insert(e + 2, 1, '0');
  return text;
}

bool fmt_text_to_double(std::string_view text, double& out) {
  const std::size_t first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) return false;
  text = text.substr(first, text.find_last_not_of(" \t") + 1 - first);
  if (text.size() > kOperandTextMax) return false;
  if (text.front() == '+') text.remove_prefix(1);
  double v = 0.0;
  const auto r = std::from_chars(text.data(), text.data() + text.size(), v);
  // a number that overflows a double comes back as an error too
  if (r.ec != std::errc{} || r.ptr != text.data() + text.size() || !std::isfinite(v)) return false;
  out = v;
  return true;
}

bool fmt_parse_float(DoubleBytes& out, std::string_view text) {
  double v = 0.0;
  if (!fmt_text_to_double(text, v)) return false;
  out = fmt_target_double(v);
  return true;
}

SingleBytes fmt_target_single(double v) {
  SingleBytes s{};
  store_le(s.data(), s.size(), std::bit_cast<u32>(fmt_double_to_float(v)));
  if (Sw.ToolchainKind != kToolchainAltSingle) return s;
  SingleBytes alt{};
  fmt_alt_single(s, alt, AltSingle::FromIeee);
  return alt;
}

double fmt_target_single_value(const SingleBytes& b) { return single_of(u32(load_le(b.data(), b.size()))); }

DoubleBytes fmt_target_double(double v) {
  if (Sw.ToolchainKind == kToolchainDecimalDouble) return pack_decimal_double(v);
  DoubleBytes out{};
  store_le(out.data(), out.size(), std::bit_cast<u64>(v));
  return out;
}

double fmt_target_double_value(const DoubleBytes& b) {
  if (Sw.ToolchainKind != kToolchainDecimalDouble) return double_of(b);
  double v = 0.0;
  return fmt_text_to_double(decimal_double_text(b), v) ? v : 0.0;
}

TempReal fmt_read_temp_real(u16 address) {
  TempReal t{};
  for (std::size_t i = 0; i < t.size(); ++i) t[i] = tgt_read_byte(u16(address + i));
  return t;
}

bool fmt_write_temp_real(u16 address, double v) {
  TempReal t{};
  fmt_double_to_temp_real(t, v);
  for (std::size_t i = 0; i < t.size(); ++i)
    if (!tgt_write_byte_verify(u16(address + i), t[i])) return false;
  return true;
}

double fmt_float_to_double(float v) { return double(v); }
float fmt_double_to_float(double v) { return float(v); }

void fmt_alt_single(const SingleBytes& in, SingleBytes& out, AltSingle direction) {
  const u32 bits = u32(load_le(in.data(), in.size()));
  const u32 sign = bits & 0x80000000u;
  u32 result = 0;
  if (direction == AltSingle::ToIeee) {
    // 7-bit exponent + 62 is the IEEE exponent; the explicit leading bit goes
    const u32 exponent = ((bits >> 24) & 0x7F) + 62;
    result = sign | exponent << 23 | (bits & 0x7FFFFF);
  } else {
    const int exponent = std::clamp(int((bits >> 23) & 0xFF) - 62, 0, 127);
    result = sign | u32(exponent) << 24 | 0x800000u | (bits & 0x7FFFFF);
  }
  store_le(out.data(), out.size(), result);
}

void fmt_printable(PrintableColumn& column, u8 byte) {
  if (column.lead != 0) {
    const u8 lead = column.lead;
    column.lead = 0;
    // the "." of the lead byte becomes the pair's first half
    if (is_trail(byte)) {
      column.text.back() = char(lead);
      column.text += char(byte);
      return;
    }
  }
  if (host_cp932_lead(byte)) {
    column.text += '.';
    column.lead = byte;
    return;
  }
  const bool shown = (byte >= 0x20 && byte <= 0x7E) || (byte >= 0xA0 && byte <= 0xDF);
  column.text += shown ? char(byte) : '.';
}

std::string fmt_printable_byte(u8 v) {
  PrintableColumn c;
  fmt_printable(c, v);
  return c.text;
}

std::string fmt_printable_word(u16 v) {
  PrintableColumn c;
  fmt_printable(c, u8(v >> 8));
  fmt_printable(c, u8(v));
  return c.text;
}

std::string fmt_printable_long(u32 v) {
  PrintableColumn c;
  for (int shift = 24; shift >= 0; shift -= 8) fmt_printable(c, u8(v >> shift));
  return c.text;
}

void fmt_cmd_h() {
  // the operands are hexadecimal unless they say otherwise
  const u16 radix = Cmd.Radix;
  Cmd.Radix = 16;
  const u32 a = cmd_get_expression();
  u32 b = 0;
  bool two = false;
  cmd_skip_blanks();
  if (!Cmd.AbortFlag && *Cmd.ScannerCursor == ',') {
    ++Cmd.ScannerCursor;
    b = cmd_get_expression();
    two = true;
    cmd_skip_blanks();
  }
  Cmd.Radix = radix;
  // a bad expression, or more than two
  if (Cmd.AbortFlag || *Cmd.ScannerCursor != '\0') {
    cmd_error(kMsgData);
    return;
  }
  con_puts("\n          oct           dec       hex      asc      float");
  const auto line = [](std::string_view label, u32 v) {
    con_printf("\n%04s  %011lo  %11ld  %08lx  '%4s'  %s", label, v, v, v, fmt_printable_long(v),
               fmt_double_text(single_of(v), kShortDigits));
  };
  if (!two) {
    line("    ", a);
    return;
  }
  line(" + :", u32(a + b));
  line(" - :", u32(a - b));
  if (Sw.ToolchainKind == kToolchainAltSingle) return;
  DoubleBytes d{};
  store_le(d.data(), 4, b);
  store_le(d.data() + 4, 4, a);
  con_printf("\ndouble: %s", fmt_float_text(d, kLongDigits));
}
