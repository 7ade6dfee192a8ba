// Source modules and their line tables: one ModuleRecord per source file (19 to
// a page, at most 256 pages) with its LineRecords (256 to a 4,096-byte block,
// at most 400 blocks per module). The loaders begin a module, add lines and end
// it; sym_finish_modules then builds the line-offset indexes and puts every line
// table in address order, once, before any lookup. Records are byte-exact and
// never hold a host pointer: a line block is named by its token in LineBlocks.
#pragma once

#include <array>
#include <cstddef>
#include <vector>

#include "halv80/symbols/sym_store.h"
#include "platform/host/host_types.h"

constexpr std::size_t kModulesPerPage = 19;
constexpr std::size_t kModuleLimit = kModulesPerPage * kModulePages;  // 4,864
constexpr std::size_t kLinesPerBlock = 256;
constexpr std::size_t kLineBlocksPerModule = 400;
constexpr std::size_t kLinesPerModule = kLinesPerBlock * kLineBlocksPerModule;  // 102,400
constexpr std::size_t kRepeatedLineBytes = 4096;   // one bit per line 0..32,767
constexpr std::size_t kModuleNameSize = 260;       // a module's file name with its NUL
constexpr u32 kLineNumberMask = 0x7FFF;            // the line number of a LineRecord
constexpr u32 kLineRepeated = 0x8000;              // the line was seen earlier in the file
constexpr u32 kLineNumberMax = 32767;              // lines 1..32,767 are stored
static_assert(kRepeatedLineBytes * 8 > kLineNumberMax);
constexpr u32 kNoAddress = 0xFFFFFFFF;             // no line added yet
constexpr u32 kLineChainEnd = 0xFFFFFFFF;          // LineRecord::next of the last record of a line
constexpr u16 kNoLine = 65535;                     // sym_address_from_line: no such line
constexpr u16 kNoModule = 65535;                   // NearestModule: none
constexpr u16 kLinesPerIndexEntry = 20;            // one file offset per 20 lines

struct ModuleRecord {
  le32 line_count;          // LineRecords in the table
  le32 lowest;              // lowest line address (physical)
  le32 highest;             // highest line address
  le32 last_address;        // address of the last line added; kNoAddress before the first
  le32 last_line;           // last line added, bit 15 included
  le32 highest_line;        // highest line number, without bit 15
  le16 unsorted;            // 1: a line went below the one before; finishing sorts
  le32 range;               // highest - lowest
  le32 file_name;           // NameHandle of the upper-cased file name
  le32 view_top_line;       // saved code-window view, kept by the code listing (1)
  le16 view_field1;         // (5)
  le16 view_field2;         // (0)
  le16 index_count;         // line-offset index entries: highest line / 20
  le32 line_index;          // NameHandle of the index; 0 until built
  le16 view_field3;         // more of the saved view (5)
  le16 view_field4;         // (0)
  le16 line_page_count;     // line blocks in use
  le32 line_pages[kLineBlocksPerModule];  // LineBlocks token of each block; 0 = none
};
static_assert(sizeof(ModuleRecord) == 1654);
static_assert(offsetof(ModuleRecord, unsorted) == 24 && offsetof(ModuleRecord, range) == 26);
static_assert(offsetof(ModuleRecord, file_name) == 30 && offsetof(ModuleRecord, view_top_line) == 34);
static_assert(offsetof(ModuleRecord, index_count) == 42 && offsetof(ModuleRecord, line_index) == 44);
static_assert(offsetof(ModuleRecord, line_page_count) == 52 && offsetof(ModuleRecord, line_pages) == 54);
static_assert(kModulesPerPage == kSymPageSize / sizeof(ModuleRecord));

struct LineRecord {
  le32 line;     // line number in bits 0-14; bit 15: seen earlier in the file
  le32 address;  // physical
  le32 next;     // next record of the same line: 0 chain not built, kLineChainEnd the last
  le32 spare;
};
static_assert(sizeof(LineRecord) == 16 && offsetof(LineRecord, next) == 8);
static_assert(kLinesPerBlock == kSymBlockSize / sizeof(LineRecord));

struct SymModuleState {
  u8* ModulePages[kModulePages]{};  // pages of ModuleRecords
  u16 ModulePageCount = 0;
  u16 ModuleCount = 0;
  std::vector<u8*> LineBlocks;      // line blocks; a record names block t - 1 by token t

  // The current module: the one that the last begin, find or finish chose.
  u16 Current = 0;                  // its index
  u16 HasCurrent = 0;               // 1: Current names a module
  // The open module (begun and not ended; lines go there) and the working
  // copy of its fields 1-7 and 14, written back by sym_end_module.
  u16 OpenModule = 0;               // its index
  u16 Open = 0;                     // 1: a module is open
  u32 LineCount = 0;
  u32 Lowest = kNoAddress;
  u32 Highest = kNoAddress;
  u32 LastAddress = kNoAddress;
  u32 LastLine = kNoAddress;
  u32 HighestLine = 0;
  u16 Unsorted = 0;
  u16 LinePageCount = 0;
  std::array<u8, kRepeatedLineBytes> RepeatedLines{};  // cleared when a new module is begun

  // The main module: the first module begun after a reset.
  u16 MainModule = 0;               // its index + 1; 0 none
  char MainFileName[kModuleNameSize]{};

  u16 FoundByBaseName = 0;          // the last sym_find_module took a base-name candidate

  // Left by sym_address_from_line for callers that step through every
  // address of the line: the found record and the next link of its chain.
  u16 ChainModule = 0;              // the module of the chain
  u32 ChainRecord = 0;              // index + 1 of the found record; 0 none
  u32 ChainNext = kLineChainEnd;    // the next record of the line to visit

  // Left by sym_line_from_address.
  u32 FoundLine = 0;                // line of the record found, bit 15 included
  u16 NearestModule = kNoModule;    // the nearest following line when none matched
  u32 NearestRecord = 0;            // its record index in that module
  u32 NearestLine = 0;              // its line without bit 15
  u32 NearestAddress = 0;           // its address (physical)
  char FileNameText[kModuleNameSize]{};  // the file name sym_line_from_address returns
};
extern SymModuleState SymModules;

// Empties the module and line tables and the main module; the store's memory
// itself is freed by sym_reset, which calls this.
void sym_reset_modules();

// Begins the module of `path`: its file name (cut to 8.3 unless Sw.LongNames,
// upper-cased) is reselected when a module of that name exists, else appended.
// Sets ModulesNeedFinishing. An open module is ended first. 0 done, 1 full.
u16 sym_begin_module(const char* path);
// Adds line (1..32,767) at a physical address to the open module. A line equal
// to the last one is ignored; at an address already used the larger line stays.
// 0 done, 1 full, 2 no module open or the line out of range (nothing stored).
u16 sym_add_line(u32 line, u32 address);
// Writes the working fields back into the open module's record and closes it.
// Always 0.
u16 sym_end_module();
// Makes every module current in turn: builds its line-offset index in the name
// store and sorts its lines when unsorted; clears ModulesNeedFinishing. A full
// name store ends the command with message 45 (does not return then).
void sym_finish_modules();
// Sorts the current module's lines by address (comb sort).
void sym_sort_lines();

// Finds a module from `start` on by the upper-cased name in `name` (a NUL-ended
// text of at most name_size bytes) and makes it current: an equal name, or a
// query without the stored extension (the stored full name is then copied back
// into `name`); else the first module whose name is the query without its
// extension, with FoundByBaseName set. Null when none.
ModuleRecord* sym_find_module(char* name, std::size_t name_size, u16 start);
ModuleRecord* sym_module_record(u16 index);       // null past the count
LineRecord* sym_line_record(u32 index);           // of the current module; null past its lines
le32* sym_line_index_slot(u32 entry);             // entry of the current module's index; null when none

// The address (logical, low 16 bits) of the first record with the smallest line
// at least `line` in `file`'s module; builds that line's chain and leaves it in
// ChainRecord/ChainNext. The line found, kNoLine when none, -1 for an unknown
// module.
i32 sym_address_from_line(const char* file, u16 line, u16& address);
// The next address of the line that the last sym_address_from_line found;
// false at the end of its chain.
bool sym_line_chain_next(u16& address);
// The file name (in FileNameText) and line (without bit 15) of the line record
// at exactly `address`; null when none, and then NearestModule/NearestLine name
// the closest line that follows the address, if any. line is set only on a hit.
const char* sym_line_from_address(u32 address, u16& line);
