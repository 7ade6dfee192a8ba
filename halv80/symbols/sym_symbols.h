// The symbol table: SymRecords in pages of 1,489, a hash table of 16,384
// bucket chains for lookup by name, and the order map that lists the symbols
// by value for lookup by address. Owns Sym. Indexes are 16-bit; searches
// return index + 1 (or position + 1), 0 = none. The order map is valid only
// while SortState is 0; run-time define and delete keep it so.
#pragma once

#include <cstddef>
#include <string_view>

#include "halv80/symbols/sym_store.h"
#include "platform/host/host_types.h"

struct SymRecord {
  le32 value;       // the address as the loader gave it (physical under memory management)
  le32 hit_count;   // profiler count in bits 0-30; bit 31: already reported in this report
  le32 type;        // debug type code, 0 none; all ones for a deleted symbol
  le16 saved_code;  // 0x00CC at first; the target word the function-entry trap replaced
  le32 name;        // NameHandle of the stored name with its NUL (never packed)
  le16 next;        // index + 1 of the next symbol in the same hash bucket, 0 = end
  u8 spare[2];      // unused; keeps the record at 22 bytes, 1,489 to a page
};
static_assert(sizeof(SymRecord) == 22 && alignof(SymRecord) == 1);
static_assert(offsetof(SymRecord, hit_count) == 4 && offsetof(SymRecord, type) == 8);
static_assert(offsetof(SymRecord, saved_code) == 12 && offsetof(SymRecord, name) == 14);
static_assert(offsetof(SymRecord, next) == 18 && offsetof(SymRecord, spare) == 20);

constexpr std::size_t kSymbolsPerPage = kSymPageSize / sizeof(SymRecord);
static_assert(kSymbolsPerPage == 1489);
constexpr u32 kSymMaxCount = 65534;                       // the u16 count never reaches 65,535
constexpr std::size_t kSymHashBuckets = kSymPageSize / 2;  // u16 heads in one page
constexpr u16 kSymHashMask = u16(kSymHashBuckets - 1);
constexpr std::size_t kSymOrderSlotsPerPage = kSymPageSize / 2;
constexpr std::size_t kSymOrderPages = (kSymMaxCount + kSymOrderSlotsPerPage) / kSymOrderSlotsPerPage;
static_assert(kSymOrderPages == 4);
constexpr u32 kSymDeleted = 0xFFFFFFFF;   // value and type of a deleted symbol
constexpr u16 kSymSavedCodeInitial = 0x00CC;
constexpr std::size_t kSymLabelSize = 256;  // sym_format_label's buffer, NUL included

// SortState values.
constexpr u16 kSymSorted = 0;     // the order map is in value order
constexpr u16 kSymAdded = 1;      // symbols added since the last sort
constexpr u16 kSymJustReset = 256;

// sym_find_by_name modes.
constexpr u16 kSymFindTolerant = 0;    // a stored leading and trailing '_' may be left out
constexpr u16 kSymFindIdentifier = 1;  // stored "_name" or "?@name" for the query "name"
constexpr u16 kSymFindExact = 2;

// The colour markers around a label shown in a window.
constexpr u8 kSymLabelStart = 0xFF;
constexpr u8 kSymLabelEnd = 0xFE;

struct SymTable {
  u8* Pages[kSymbolPages]{};            // symbol pages
  u16 PageCount = 0;
  std::size_t PageFill = kSymPageSize;  // bytes used in the last page; full: the next add takes one
  u16 Count = 0;                        // symbols, deleted ones included
  u16* Hash = nullptr;                  // kSymHashBuckets heads: index + 1 of a chain's first symbol
  u16* OrderPages[kSymOrderPages]{};    // the order map: symbol indexes by ascending value
  u16 OrderPageCount = 0;
  u32 Lowest = 0xFFFFFFFF;              // lowest and highest symbol value after the last sort
  u32 Highest = 0;
  u16 SortState = kSymJustReset;
  u32 LabelBase = 0;                    // sym_address_label: the symbol's address, or the address asked
  u16 LabelSavedCode = 0;               // sym_address_label: the saved code word on an exact hit
  char Label[kSymLabelSize]{};          // sym_format_label's text
};
extern SymTable Sym;

// Empties the symbol table; sym_reset calls it.
void sym_reset_symbols();

// The bucket hash of a name: '_' and '@' are skipped and letters count without
// case, so Main, MAIN and _main_ share a bucket.
u16 sym_hash_name(std::string_view name);

// Adds a symbol at the end of the table (and of the order) and sets SortState
// to kSymAdded. With toolchain kind 5, name_ is stored as _name. 0 done, 1 full
// (65,535 symbols, 128 pages, the name store, or no page to be had).
u16 sym_add(std::string_view name, u32 value, u32 type);

// The record of symbol `index`, and the one at `position` of the order map;
// null past the count.
SymRecord* sym_record(u16 index);
SymRecord* sym_record_sorted(u16 position);
// The NUL-ended stored name of a record ("" when it cannot be read).
const char* sym_record_name(const SymRecord& record);
// The head of bucket h & 16,383 and slot `position` of the order map; null
// before the first symbol and past the map.
u16* sym_hash_bucket(u16 h);
u16* sym_order_slot(u32 position);
bool sym_is_empty();

// Finishes the modules when they need it; then, when symbols were added, comb
// sorts the order map by value and sets Lowest and Highest. SortState 0 after.
// Can end the command (message 45) when finishing the modules fills the store.
void sym_sort_symbols();
// 0 when value lies in Lowest..Highest, 1 below, 2 above.
u16 sym_value_in_range(u32 value);

// The first symbol of the name's bucket chain that matches in `mode`
// (kSymFindTolerant, kSymFindIdentifier, kSymFindExact; others compare
// exactly), honouring SymFlag.CaseSensitive. Index + 1, or 0.
u16 sym_find_by_name(std::string_view name, u16 mode);
// 1 and the symbol's logical address (low 16 bits) in `out` when the name is
// found (tolerant); 0 when not (out unchanged).
u16 sym_lookup_value(std::string_view name, u16& out);
// The position of symbol `index` in the order map (linear scan); 0 also when
// it is absent.
u16 sym_order_position(u16 index);
// Position + 1 of the last symbol, in sorted order, whose value is at most
// `address`; 0 when the table is empty or the address lies outside
// Lowest..Highest. The address is logical unless SymFlag.PhysicalAddress.
u16 sym_index_from_address(u32 address);

// The label of `address`: the symbol's name when it is the symbol's address
// (LabelSavedCode = its saved code word), else name+offset when allow_offset,
// else null. Sets LabelBase. The text is sym_format_label's buffer.
const char* sym_address_label(u32 address, bool allow_offset);
// Builds in Sym.Label: with_source, the source file, line and address (or
// blanks and the address) first; then the name, and '+' and the offset's low
// 16 bits in hexadecimal when the offset is not 0. For a window (the command
// side runs, or a core request is served) the name and offset are bracketed
// by kSymLabelStart and kSymLabelEnd. A long name is cut so that the rest
// always fits.
const char* sym_format_label(NameHandle name, u32 offset, bool with_source, u32 address);

// Deletes the symbol of that exact name: value and type all ones, name
// emptied, moved to the end of the order. 0 done, 1 not found.
u16 sym_delete(std::string_view name);
// Adds a symbol at run time and inserts it into the order at its value, so
// the order stays sorted. 0 done, 1 full.
u16 sym_define(std::string_view name, u32 value, u32 type);
// Mode 1 removes the slot at `position`, moving every later slot of the map
// one down; mode 0 inserts `index` there, moving later slots one up (the
// map's last slot drops off). A position past the map does nothing.
void sym_order_shift(u16 mode, u32 position, u16 index);

// sym_reset before a load that replaces the database, keeping the
// saved-breakpoint text (SymStore.SavedBreakpoints) across it, and the
// command history and name lists by way of the saved-state file (written
// before the reset, read after it).
void sym_reload_reset();
