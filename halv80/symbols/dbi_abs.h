// Loader B: absolute object files in the IEEE-695 format (".abs", toolchain
// kind 4). The data part's code bytes always go to target memory; with symbols
// the external part gives the public names and the debug information part the
// modules, line numbers, functions, variables and C types. Owns Abs.
//
// Encodings read (every number, name and index is checked where it is used):
// - number: 0x00-0x7F the value; 0x81-0x88 that many big-endian bytes (the
//   value must fit 32 bits); 0x80 an omitted optional number.
// - name: a length 0x00-0x7F, or 0xDE + one length byte, or 0xDF + two, then
//   the characters; names are kept to 255 characters.
// - record codes 0xE0-0xF9; a record's optional fields end at the next byte
//   0xE0 or above.
#pragma once

#include <cstddef>
#include <span>

#include "platform/host/host_types.h"

// Results beyond kLoad*: the load command prints message result + 42.
constexpr i16 kAbsFileMissing = -7;     // message 35
constexpr i16 kAbsBufferTooSmall = -2;  // message 40
constexpr i16 kAbsPartFormat = -4;      // message 38: the data or external part is malformed
constexpr i16 kAbsMonitorArea = 91;     // message 133: code bytes meet the monitor's area

constexpr std::size_t kAbsHeaderLimit = 1023;  // the header lies in the file's first bytes
constexpr std::size_t kAbsCollectSize = 16384;  // code bytes collected before a write
constexpr std::size_t kAbsCollectSlack = 128;   // written once fewer than this are free
constexpr u32 kAbsLoadMax = 128;                // bytes of one LD record
constexpr u32 kAbsAddressSpace = 0x10000;       // code bytes and function ranges stay below
constexpr int kAbsBlockDepthMax = 32;           // BB records open at once
constexpr u32 kAbsMemberMax = 65535;            // members of one struct, union or enum

// Where the data part puts its bytes; tests and the fuzzer set their own.
using AbsCodeWriter = void (*)(u16 address, std::span<const u8> bytes);

struct AbsState {
  AbsCodeWriter CodeWriter = nullptr;  // null: target memory
};
extern AbsState Abs;

// Loads `path` (with_symbols false: the data part only, the database
// untouched). 0 done; kLoadBadFormat for a malformed header or debug
// information part; kLoadFull; kAbsPartFormat, kAbsMonitorArea,
// kAbsFileMissing, kAbsBufferTooSmall. What was read before a failure stays.
i16 dbi_load_abs(const char* path, bool with_symbols);

// The type code of a type number of the file: 0-25 the base types, 32-57
// pointers to them, 256 and up user types from `type_base` on. False for any
// other number or a user type beyond the type table.
bool dbi_abs_type_code(u32 number, u32 type_base, u32& code);
