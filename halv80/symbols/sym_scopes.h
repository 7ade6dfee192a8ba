// Scope records: one flat sequence, in the order the loaders write it, of module
// records, their static items, their blocks and each block's variables, inner
// blocks and end-of-block record. Module records are chained to the next
// module, blocks to the next block of the same module, so a search by address
// hops from range to range; the last containing block is the innermost.
#pragma once

#include <cstddef>
#include <string_view>

#include "halv80/symbols/sym_modules.h"
#include "halv80/symbols/sym_store.h"
#include "platform/host/host_types.h"

// Kinds of scope record.
constexpr u16 kScopeModule = 1;
constexpr u16 kScopeBlock = 2;       // function body or inner block
constexpr u16 kScopeStatic = 3;      // static variable or function name
constexpr u16 kScopeFrame = 4;       // frame-relative variable
constexpr u16 kScopeRegister = 5;    // register variable
constexpr u16 kScopeOther = 6;       // other variable
constexpr u16 kScopeBlockEnd = 255;

// sym_find_variable_at modes; any other mode is a register number.
constexpr u16 kFindStatic = 129;
constexpr u16 kFindFrame = 128;

constexpr std::size_t kScopesPerPage = 1820;
// The count is u16 and searches answer index + 1, so 65,534 records at most.
constexpr u16 kScopeLimit = 65534;

struct ScopeRecord {
  le16 kind;      // kScopeModule .. kScopeBlockEnd (stored as i16)
  le32 location;  // physical address (kinds 1-3), frame offset (4), register number (5)
  le32 type;      // debug type code
  le16 size;      // length of the address range (kinds 1, 2) or of the item
  le16 link;      // module: index + 1 of the next module; block: index of the next block of the module; 0 none
  le32 name;      // NameHandle
};
static_assert(sizeof(ScopeRecord) == 18);
static_assert(offsetof(ScopeRecord, location) == 2 && offsetof(ScopeRecord, type) == 6);
static_assert(offsetof(ScopeRecord, size) == 10 && offsetof(ScopeRecord, link) == 12);
static_assert(offsetof(ScopeRecord, name) == 14);
static_assert(kScopesPerPage == kSymPageSize / sizeof(ScopeRecord));

struct SymScopeState {
  u8* ScopePages[kScopePages]{};  // pages of ScopeRecords
  u16 ScopePageCount = 0;
  u16 ScopeCount = 0;
  u16 LastModule = 0;             // index + 1 of the last module record; 0 none
  u16 LastBlock = 0;              // index + 1 of the last block record of that module; 0 none

  // Left by the searches for their callers.
  u32 RangeLow = 0;               // range of the last containing record found
  u32 RangeHigh = 0;              // (location + size, exclusive)
  u16 FirstBlock = 0;             // index + 1 of the outermost block the last block search found
  u32 BlockAddress = 0;           // the physical address of the last block search
};
extern SymScopeState SymScopes;

// Empties the scope table; called by sym_reset.
void sym_reset_scopes();

// Appends a copy of `record`, linking module and block records into their
// chains (the links of the copy are set here). 0 done, 1 full.
u16 sym_add_scope(const ScopeRecord& record);
ScopeRecord* sym_scope_record(u16 index);  // null past the count

// From `start`, the innermost record of `kind` (module or block) whose range
// holds the address: index + 1, 0 none (also while the database is full).
// Leaves the range in RangeLow/RangeHigh; a block search also FirstBlock.
u16 sym_find_scope(u16 start, u16 kind, u32 address);
// Index + 1 of the innermost block holding a code address; 0 outside the
// program's code range or any block.
u16 sym_innermost_scope(u32 address);
// Index + 1 of the block enclosing block `current` (index + 1) that holds the
// address of the last block search; 0 when current is the outermost one.
u16 sym_next_block(u16 current);

// The records that belong to block `block_index` directly (its variables):
// [first, end). They follow the block record up to its next block, a module
// or an end-of-block record. An index that is no block gives first == end.
void sym_block_items(u16 block_index, u16& first, u16& end);

// Index + 1 of the static item (kFindStatic, logical address), frame variable
// (kFindFrame, offset) or register variable (mode = register number) at
// `location`, in scope at the code address; for the first two the nearest
// item below the location when none is exact. 0 none.
u16 sym_find_variable_at(u32 code_address, u32 location, u16 mode);
// The label of that item: its name, with '+' and the offset when not exact.
// Null when there is none.
const char* sym_location_label(u32 code_address, u32 location, u16 mode);
// Record index of the variable `name` in scope at the code address, from the
// innermost block outward (the last match in a block wins); 0 none.
u16 sym_find_local(std::string_view name, u32 address);
// Record index of the static item `name` of the module holding the code
// address; 0 none.
u16 sym_find_static(std::string_view name, u32 address);
// Record index of the static item at or below `address` (closest) in the
// module holding the code address; 0 none.
u16 sym_nearest_static(u32 address, u32 code_address);
