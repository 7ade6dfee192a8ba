// String and block routines over the standard library's exact equivalents,
// and the helpers for segment:offset values and 16-bit decimals.
#include "halv80/engine/sup_string.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "halv80/engine/sup_format.h"
#include "platform/host/host_text.h"

namespace {

}  // namespace

int sup_strcmp(const char* a, const char* b) {
  const auto* p = reinterpret_cast<const u8*>(a);
  const auto* q = reinterpret_cast<const u8*>(b);
  for (; *p == *q && *p != 0; ++p, ++q) {}
  return int(*p) - int(*q);
}

int sup_stricmp(const char* a, const char* b) {
  const auto* p = reinterpret_cast<const u8*>(a);
  const auto* q = reinterpret_cast<const u8*>(b);
  for (; host_ascii_upper(*p) == host_ascii_upper(*q) && *p != 0; ++p, ++q) {}
  return int(host_ascii_upper(*p)) - int(host_ascii_upper(*q));
}

std::size_t sup_strlen(const char* s) { return std::strlen(s); }

std::size_t sup_strcat(std::span<char> dst, const char* src) {
  const std::size_t used = strnlen(dst.data(), dst.size());
  if (used == dst.size()) return 0;  // no terminator: nowhere to append
  const std::size_t n = strnlen(src, dst.size() - used - 1);
  std::memcpy(dst.data() + used, src, n);
  dst[used + n] = '\0';
  return n + 1;
}

void sup_memset(void* p, std::size_t n, u8 v) { std::memset(p, v, n); }

void sup_memmove(const void* src, void* dst, std::size_t n) { std::memmove(dst, src, n); }

void sup_copy(const void* src, void* dst, u16 n) { std::memmove(dst, src, n); }

void sup_fill_words(void* p, std::size_t n, u16 v) {
  auto* b = static_cast<u8*>(p);
  for (std::size_t i = 0; i < n; ++i) store_le16(b + 2 * i, v);
}

void sup_fill_alternate(void* base, std::size_t offset, std::size_t n, u8 v) {
  auto* b = static_cast<u8*>(base) + offset;
  for (std::size_t i = 0; i < n; ++i) b[2 * i] = v;
}

void sup_interleave(const void* src, void* dst, std::size_t n) {
  const auto* s = static_cast<const u8*>(src);
  auto* d = static_cast<u8*>(dst);
  for (std::size_t i = 0; i < n; ++i) d[2 * i] = s[i];
}

void sup_deinterleave(const void* src, void* dst, std::size_t n) {
  const auto* s = static_cast<const u8*>(src);
  auto* d = static_cast<u8*>(dst);
  for (std::size_t i = 0; i < n; ++i) d[i] = s[2 * i];
}

void sup_str_cut_front(char* s, std::size_t n) {
  const std::size_t length = std::strlen(s);
  n = std::min(n, length);
  std::memmove(s, s + n, length - n + 1);  // the terminator moves too
}

std::size_t sup_str_insert_front(std::span<char> s, const char* prefix) {
  if (s.empty()) return 0;
  const std::size_t room = s.size() - 1;  // bytes before the terminator
  // A copy, so that a prefix taken from s itself survives the move.
  const std::string head(prefix, strnlen(prefix, room));
  const std::size_t old_length = strnlen(s.data(), room);
  const std::size_t kept = std::min(old_length, room - head.size());
  std::memmove(s.data() + head.size(), s.data(), kept);
  std::memcpy(s.data(), head.data(), head.size());
  s[head.size() + kept] = '\0';
  return head.size() + kept;
}

u32 sup_seg_to_linear(u16 offset, u16 segment) { return u32(segment) * 16 + offset; }

int sup_compare_seg_offset(u32 a, u32 b) {
  // Paragraphs run up to 0xFFFF + 0xFFF: no wrap in 32 bits.
  const u32 para_a = (a >> 16) + ((a & 0xFFFF) >> 4);
  const u32 para_b = (b >> 16) + ((b & 0xFFFF) >> 4);
  const u32 low_a = a & 0xF;
  const u32 low_b = b & 0xF;
  if (para_a != para_b) return para_b < para_a ? 1 : -1;
  if (low_a != low_b) return low_b < low_a ? 1 : -1;
  return 0;
}

u32 sup_make_long(u16 low, u16 high) { return u32(high) << 16 | low; }

bool sup_is_digit(char c) { return c >= '0' && c <= '9'; }

std::size_t fmt_u16_decimal(std::span<char> out, u16 v) {
  if (out.empty()) return 0;
  char digits[kDigitsMax];
  const char* first = sup_digits_unsigned(v, 10, digits + kDigitsMax);
  const std::size_t n =
      std::min(std::size_t(digits + kDigitsMax - first), out.size() - 1);
  std::memcpy(out.data(), first, n);
  out[n] = '\0';
  return n;
}
