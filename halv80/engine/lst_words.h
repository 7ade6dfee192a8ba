// The words the code window acts on: identifier characters, the member and
// index suffixes before an identifier, balanced bracket groups, the word or
// expression around a cursor column of a source line, and the order of
// source files in the file chooser. Pure text functions: no engine state but
// the toolchain kind.
#pragma once

#include <cstddef>
#include <span>
#include <string>
#include <string_view>

#include "platform/host/host_types.h"

// lst_word_suffix_kind results: the low 4 bits are the characters to step back.
constexpr u16 kSuffixNone = 0;
constexpr u16 kSuffixMember = 0x0001;        // "."
constexpr u16 kSuffixArrow = 0x0002;         // "->"
constexpr u16 kSuffixClose = 0x4001;         // "]": an index ends here
constexpr u16 kSuffixOpenInIndex = 0x2001;   // "[" of an index being passed
constexpr u16 kSuffixOpenNumeric = 0x8001;   // "[" of a numeric index: "[12]", "[-3]", "[0x1F]"
constexpr u16 kSuffixStepMask = 0x000F;

// Word-at-cursor modes.
constexpr u16 kWordWithBrackets = 0;  // the cursor may stand on "[" or "]" of an index
constexpr u16 kWordPlain = 1;

// Digits, letters and "_"; with toolchain kind 16 also "$", "?" and "@".
bool cmd_is_ident_char(u8 c);

// The kind of the character at `pos` of `line`, the one just before an
// identifier, as the leftward word scan meets it (kSuffix*). `in_index`: the
// scan stands inside an index that a "]" opened.
u16 lst_word_suffix_kind(std::string_view line, std::size_t pos, bool in_index);

// From `pos`, just after an opening "(" or "[", to just after its matching
// closing character, nested pairs of that kind counted; npos when the line
// ends first.
std::size_t sup_skip_balanced(std::string_view text, std::size_t pos, char open);

// A declarator's form: 1 for a leading "*"; 0 for an identifier or a
// parenthesised group followed only by bracketed groups; 2 otherwise.
u16 fmt_declarator_kind(std::string_view text);

// The word or expression of `line` around byte `index` (the cursor
// character): an identifier with the member and index suffixes around it
// ("p->pos[2].x"; at most one numeric index passed on the way left), or the
// balanced group that starts or ends at a bracket under the cursor (for "("
// without the parentheses). False, with `out` empty, when the cursor stands
// on nothing of the kind or outside the line.
bool lst_word_in_line(std::string_view line, std::size_t index, u16 how, std::string& out);

// Sorts `order` (indexes into `names`) by name, bytes compared; of equal
// names the higher index comes first. The comb sort of the file chooser.
void lst_sort_by_name(std::span<u16> order, std::span<const std::string> names);
