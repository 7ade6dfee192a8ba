// String and block routines the command side shares, the segment:offset
// helpers and the 16-bit decimal writer. Texts are CP932 bytes compared
// bytewise; only ASCII letters have a case. Block routines take the source
// first and the destination second.
#pragma once

#include <cstddef>
#include <span>

#include "platform/host/host_types.h"

// The difference of the first differing bytes (as unsigned bytes), 0 when the
// texts are equal.
int sup_strcmp(const char* a, const char* b);
// sup_strcmp after upper-casing ASCII letters on both sides.
int sup_stricmp(const char* a, const char* b);
std::size_t sup_strlen(const char* s);
// Appends `src` to the text in `dst`, cut so that it stays terminated inside
// `dst`. Returns the bytes copied, terminator included (0 when `dst` holds no
// terminator, which leaves it alone).
std::size_t sup_strcat(std::span<char> dst, const char* src);

void sup_memset(void* p, std::size_t n, u8 v);
// Moves n bytes from src to dst; the areas may overlap.
void sup_memmove(const void* src, void* dst, std::size_t n);
void sup_copy(const void* src, void* dst, u16 n);
// Fills n 16-bit words at p with v, low byte first.
void sup_fill_words(void* p, std::size_t n, u16 v);
// Sets n bytes to v: base[offset], base[offset + 2], ... (the character or
// the attribute bytes of screen cells).
void sup_fill_alternate(void* base, std::size_t offset, std::size_t n, u8 v);
// n bytes of src into dst[0], dst[2], ...
void sup_interleave(const void* src, void* dst, std::size_t n);
// src[0], src[2], ... into n bytes of dst.
void sup_deinterleave(const void* src, void* dst, std::size_t n);

// Removes the first n bytes of the text `s` (all of them when n reaches its
// length).
void sup_str_cut_front(char* s, std::size_t n);
// Puts `prefix` in front of the text in `s`. A result longer than
// s.size() - 1 bytes is cut there; the text always stays terminated (an empty
// `s` is left alone). `prefix` may lie inside `s`. Returns the result's length.
std::size_t sup_str_insert_front(std::span<char> s, const char* prefix);

// segment * 16 + offset.
u32 sup_seg_to_linear(u16 offset, u16 segment);
// Compares two segment:offset values (segment in the high 16 bits) by
// paragraph (segment + offset / 16), then by the offset's low four bits:
// 0 when equal, 1 when b lies below a, -1 when above.
int sup_compare_seg_offset(u32 a, u32 b);
// high * 65,536 + low.
u32 sup_make_long(u16 low, u16 high);
bool sup_is_digit(char c);

// Writes v in decimal without leading zeros (at least one digit), cut to
// out.size() - 1 bytes and terminated (nothing for an empty `out`). Six bytes
// always hold the whole number. Returns the digits written.
std::size_t fmt_u16_decimal(std::span<char> out, u16 v);
