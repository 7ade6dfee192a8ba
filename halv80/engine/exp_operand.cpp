// The numeric operand reader.
#include "halv80/engine/exp_operand.h"

constinit ExpState Exp;

namespace {

int digit_value(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'z') return c - 'a' + 10;
  if (c >= 'A' && c <= 'Z') return c - 'A' + 10;
  return 99;
}

// Digits below the radix; in radix 16 and 2 a "_" after a digit is skipped.
// No digit at all is a syntax error.
u32 parse_number(std::string_view text, std::size_t& at, u16 radix) {
  u32 value = 0;
  bool any = false;
  while (at < text.size()) {
    const char c = text[at];
    if (c == '_' && any && (radix == 16 || radix == 2)) {
      ++at;
      continue;
    }
    const int d = digit_value(c);
    if (d >= radix) break;
    value = value * radix + u32(d);  // wraps at 32 bits
    any = true;
    ++at;
  }
  if (!any) Exp.AbortWord = 1;
  return value;
}

// 'AB' gives 0x4142; a backslash escapes: a b t n v f r (7..13), x hex, 0-7 octal.
u32 parse_char_constant(std::string_view text, std::size_t& at) {
  u32 value = 0;
  bool any = false;
  ++at;  // the opening apostrophe
  while (at < text.size() && text[at] != '\'' && u8(text[at]) >= 32) {
    char c = text[at++];
    u32 v = u8(c);
    if (c == '\\' && at < text.size()) {
      c = text[at++];
      constexpr std::string_view kEscapes = "abtnvfr";
      if (const auto e = kEscapes.find(c); e != std::string_view::npos) {
        v = u32(7 + e);
      } else if (c == 'x' || c == 'X') {
        v = parse_number(text, at, 16);
      } else if (c >= '0' && c <= '7') {
        --at;
        v = parse_number(text, at, 8);
      } else {
        v = u8(c);
      }
    }
    value = value * 256 + v;
    any = true;
  }
  if (at < text.size() && text[at] == '\'') ++at;
  if (!any) Exp.AbortWord = 1;
  return value;
}

}  // namespace

u32 exp_eval_number_at_cursor(std::string_view text, std::size_t& used, u16 radix) {
  Exp.AbortWord = 0;
  std::size_t at = 0;
  while (at < text.size() && u8(text[at]) <= 0x20) ++at;
  u32 value = 0;
  const char c = at < text.size() ? text[at] : '\0';
  const char next = at + 1 < text.size() ? text[at + 1] : '\0';
  if (c == '\'') {
    value = parse_char_constant(text, at);
  } else if (c == '$') {
    value = parse_number(text, ++at, 16);
  } else if (c == '@') {
    value = parse_number(text, ++at, 2);
  } else if (c == '\\') {
    value = parse_number(text, ++at, 8);
  } else if (c == '_' && next >= '0' && next <= '9') {
    value = parse_number(text, ++at, 10);
  } else if (c == '0' && (next == 'x' || next == 'X')) {
    at += 2;
    value = parse_number(text, at, 16);
  } else {
    value = parse_number(text, at, radix);
  }
  // anything but blanks after the number is no operator this reader knows
  std::size_t rest = at;
  while (rest < text.size() && u8(text[rest]) <= 0x20) ++rest;
  if (Exp.AbortWord == 0 && rest < text.size()) Exp.AbortWord = 1;
  used = at;
  return value;
}
