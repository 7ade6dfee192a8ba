// Loader C: the binary debug file ".db1" of fixed little-endian tables under a
// 136-byte header: source modules with their line tables and a symbol list (no
// types, scopes or code bytes). The file is opened twice: one handle feeds the
// shared buffer (module table, symbol names), the other reads the header,
// file names, line blocks and symbol blocks directly.
#pragma once

#include <cstddef>

#include "platform/host/host_types.h"

constexpr std::size_t kDb1HeaderSize = 136;
constexpr std::size_t kDb1ModuleEntrySize = 34;
constexpr std::size_t kDb1LineEntrySize = 8;
constexpr std::size_t kDb1SymbolEntrySize = 12;
constexpr std::size_t kDb1LineBlock = 1024;    // 128 line entries read at once
constexpr std::size_t kDb1SymbolBlock = 768;   // 64 symbol entries read at once
constexpr std::size_t kDb1FileNameRead = 128;  // bytes read for a module's file name
constexpr u16 kDb1SymbolMask = 0x43F;          // flags & mask of 1 or 5: a symbol to load

// Header fields (file offsets).
constexpr std::size_t kDb1ModuleCount = 36;
constexpr std::size_t kDb1ModuleTable = 40;
constexpr std::size_t kDb1LineTable = 48;
constexpr std::size_t kDb1StringArea = 56;
constexpr std::size_t kDb1SymbolCount = 60;
constexpr std::size_t kDb1SymbolTable = 64;

// Results beyond kLoad*: the load command prints message result + 42.
constexpr i16 kDb1ReadFailed = -4;  // message 38: a seek or short read of a table

// Loads `path`: 0 done, kLoadNoDebugInfo (cannot open), kLoadFull,
// -2 (buffer too small), kDb1ReadFailed. What was read before a failure stays.
i16 dbi_load_db1(const char* path);
