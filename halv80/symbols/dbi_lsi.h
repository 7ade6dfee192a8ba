// Loader D: the text debug files of toolchain kind 5, a linker listing
// ".lsi" (memory areas, symbols, "@@" item records, type definitions and
// global-type lines) and the line file ".lin" beside it. Both are read line
// by line through the shared buffer: a line ends at CR (a following LF is
// skipped), at LF, or at 0x1A, which also ends the text. Owns Lsi. A line
// longer than kLsiLineMax, or a last line that the file's end cuts off (no
// line end), is a format error.
#pragma once

#include <cstddef>

#include "platform/host/host_types.h"

constexpr std::size_t kLsiLineMax = 4096;  // characters of one line
constexpr u32 kLsiArrayMax = 65535;        // elements of an array: no more fit the address space
constexpr u32 kLsiSizeMax = 65535;         // bytes of a struct or union

struct LsiState {
  u16 DataStart = 0;  // the "DATA" area's start: the code range ends there
};
extern LsiState Lsi;

// Loads `path` (the .lsi) and the .lin of the same name: 0 done, 1 a file
// cannot be opened, kLoadBadFormat, kLoadFull, -2 (buffer too small). What was
// read before a failure stays.
i16 dbi_load_lsi(const char* path);
