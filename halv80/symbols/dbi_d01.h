// Loader A: the tagged binary debug file ".d01" (toolchain kind 3). Code
// records go straight into target memory; in the full form the symbols,
// modules with their lines, functions, blocks, variables and C types go into
// the symbol database. Records are a tag byte and big-endian fields; every
// field is checked for room, so a record cut off by the file's end is a
// format error. Owns D01.
#pragma once

#include <cstddef>
#include <span>
#include <string_view>

#include "halv80/symbols/dbi_buffer.h"
#include "halv80/symbols/sym_store.h"
#include "platform/host/host_types.h"

// Results beyond kLoad*: the load command prints message result + 42.
constexpr i16 kD01FileMissing = -7;     // message 35
constexpr i16 kD01BufferTooSmall = -2;  // message 40
constexpr i16 kD01UnknownRecord = 72;   // message 114: the record's length cannot be known
constexpr i16 kD01MonitorArea = 91;     // message 133: code bytes meet the monitor's area

// Pending-work bits.
constexpr u16 kD01ModuleNeedsStart = 0x01;  // the module scope takes the next function's address
constexpr u16 kD01LineModuleDue = 0x02;     // the line module is begun by the next line record
constexpr u16 kD01FunctionOpen = 0x10;
constexpr u16 kD01LineModuleOpen = 0x20;

// Where code records put their bytes; tests and the fuzzer set their own.
using D01CodeWriter = void (*)(u16 address, std::span<const u8> bytes);

// The run-time helpers that the step commands and the backtrace use
// (logical addresses, 0 when absent).
struct D01Helpers {
  u16 Entry01 = 0, Entry11 = 0, Entry10 = 0;
  u16 StoreBitsC = 0, StoreBitsE = 0, LoadBits = 0;
  u16 SwitchC = 0, SwitchI = 0;
};

struct D01State {
  i16 Abort = 0;  // 0, kLoadBadFormat, kLoadFull or one of the codes above
  bool WithSymbols = false;
  u32 Address = 0;        // the current code address
  bool StartUp = false;   // the next code record's address becomes the PC
  u16 Depth = 0;          // inner blocks open in the current function
  u16 Pending = 0;        // kD01* bits
  bool InModule = false;  // between a module start and its end
  char ModuleName[kDbiNameMax + 1]{};
  u16 ModuleScope = 0;       // index + 1 of the module's scope record; 0 none
  u16 FunctionStatic = 0;    // index + 1 of the open function's static item
  u16 FunctionBlock = 0;     // index + 1 of its block record
  u32 BlockStart = 0;        // the address a line record marked as a block's start
  bool HaveCodeLow = false;  // the code range's low end was set by a function
  bool SegmentOneSeen = false;
  D01Helpers Helpers;
  D01CodeWriter CodeWriter = nullptr;  // null: target memory
};
extern D01State D01;

// Start-up values; the code writer is kept.
void dbi_d01_reset();

// Loads `path` (with_symbols false: code bytes only, the database untouched).
// 0 done, kLoadBadFormat, kLoadFull, kD01FileMissing, kD01BufferTooSmall,
// kD01UnknownRecord, kD01MonitorArea. What was read before a failure stays.
i16 dbi_load_d01(const char* path, bool with_symbols);

// Appends a scope record of `kind` with size 0 and link 0. 0 done, 1 full.
u16 dbi_add_scope(u16 kind, u32 type, u32 location, std::string_view name);

// The type code of a type number of the file: 100 and up a user type from
// 512, 0-12 the base types, others int.
u32 dbi_d01_type_code(u16 number);
