// Target number formats: the floating values a target program keeps (single,
// alternate single, double, decimal double, temporary real) converted to and
// from the host's double, their texts, the character column of the memory
// displays, and the H calculator. Which format a value has depends on
// Sw.ToolchainKind: 2 keeps singles in the alternate form, 4 keeps doubles as
// decimal doubles. All target formats are little-endian bytes.
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

#include "platform/host/host_types.h"

constexpr std::size_t kTempRealSize = 10;   // 64-bit mantissa, 15-bit exponent, sign
constexpr std::size_t kOperandTextMax = 64;  // fmt_take_operand_text keeps at most this many
using TempReal = std::array<u8, kTempRealSize>;
using DoubleBytes = std::array<u8, 8>;  // a double or a decimal double
using SingleBytes = std::array<u8, 4>;

// Digit counts of the float texts: 6 for the 4-byte formats, 15 for the
// 8-byte and 10-byte ones.
constexpr int kShortDigits = 6;
constexpr int kLongDigits = 15;

// The text of a temporary real that has no double.
constexpr std::string_view kTempRealOverflowText = "      ???            ";

// Skips one "," and blanks, then takes the operand text up to the next "," or
// the end of the line, at most kOperandTextMax characters; the cursor stands
// after what was taken.
std::string fmt_take_operand_text();

// The double as a temporary real: its 52 mantissa bits under an explicit
// integer bit, its exponent rebiased (0 stays 0), its sign.
void fmt_double_to_temp_real(TempReal& out, double v);
// The temporary real as a double; true (and out 0.0) when its exponent does
// not fit a double. A zero mantissa is +0.0.
bool fmt_temp_real_to_double(double& out, const TempReal& in);
// fmt_float_text of the temporary real's double, or kTempRealOverflowText.
std::string fmt_temp_real_text(const TempReal& in, int digits);
// The 8 bytes as text: with ToolchainKind 4 and 15 digits a decimal double,
// else an IEEE double through fmt_double_text.
std::string fmt_float_text(const DoubleBytes& value, int digits);
// "%#12.6e" for 6 digits, else "%#21.15e" with a three-digit exponent.
std::string fmt_double_text(double v, int digits);
// The text as the target keeps a double: IEEE, or with ToolchainKind 4 a
// decimal double. False, and out left alone, when the text is not a finite
// number (blanks around it are allowed).
bool fmt_parse_float(DoubleBytes& out, std::string_view text);
// The host double from text (blanks around it allowed); false when the text
// is not a finite number.
bool fmt_text_to_double(std::string_view text, double& out);
// A program's floating values as the toolchain keeps them (a single in the
// alternate form under ToolchainKind 2, a double as a decimal double under
// ToolchainKind 4), to and from the host's double.
SingleBytes fmt_target_single(double v);
double fmt_target_single_value(const SingleBytes& b);
DoubleBytes fmt_target_double(double v);
double fmt_target_double_value(const DoubleBytes& b);
// Ten byte reads of target memory from `address`.
TempReal fmt_read_temp_real(u16 address);
// The double as a temporary real, written with verifying byte writes; false
// (AbortFlag set) when a byte read back differs.
bool fmt_write_temp_real(u16 address, double v);

double fmt_float_to_double(float v);
float fmt_double_to_float(double v);
// The alternate single (byte 3: sign and a 7-bit exponent; byte 2 bit 7: an
// explicit leading mantissa bit) and the IEEE single, either way.
enum class AltSingle : u8 { ToIeee, FromIeee };
void fmt_alt_single(const SingleBytes& in, SingleBytes& out, AltSingle direction);

// A character column: one character per byte. A Shift-JIS lead byte shows "."
// until the next byte turns out to be its trail byte; then the pair stands in
// the two places.
struct PrintableColumn {
  std::string text;
  u8 lead = 0;  // the lead byte whose "." ends `text`; 0 none
};
void fmt_printable(PrintableColumn& column, u8 byte);
// Columns of one value, each starting with no lead byte: a byte, a word (high
// byte first), a long (most significant byte first).
std::string fmt_printable_byte(u8 v);
std::string fmt_printable_word(u16 v);
std::string fmt_printable_long(u32 v);

// H: one or two expressions in radix 16, shown in octal, decimal, hex, as
// characters and as a single; for two, their sum and difference and the
// double made of them.
void fmt_cmd_h();
