// The storage under the symbol database: 1 MiB chunks from the host cut into
// 32 KiB pages and 4 KiB blocks, a small free-page stack, and the name store
// of length-prefixed strings and byte-coded records reached by NameHandle.
// Everything is freed only by sym_reset. All indexes are 16-bit; searches
// return index + 1, 0 = none.
#pragma once

#include <cstddef>
#include <memory>
#include <string_view>

#include "platform/host/host_types.h"

constexpr std::size_t kSymPageSize = 32768;
constexpr std::size_t kSymChunkSize = 1048576;
constexpr std::size_t kSymBlockSize = 4096;
constexpr std::size_t kSymChunkMax = 200;        // chunk pointers
constexpr std::size_t kSymFreePageStack = 20;
constexpr std::size_t kNameStorePages = 640;
constexpr std::size_t kSymbolPages = 128;
constexpr std::size_t kModulePages = 256;
constexpr std::size_t kTypeSlotPages = 128;
constexpr std::size_t kScopePages = 128;
// The chunk limit before the first reset; sym_reset takes Sw.SymbolBlockLimit.
constexpr u32 kSymChunkLimitDefault = 4;

// The longest stored string; with its two-byte prefix it must also fit one
// page, so 32,766 is the longest that can actually be stored.
constexpr std::size_t kSymStringMax = 32767;
// Chunk requests are rounded up to this, so every page, block and piece stays
// aligned for the u16 and u32 tables kept in them.
constexpr std::size_t kSymChunkGrain = 16;

// A NameHandle: top four bits zero = (name-store page << 16) | offset of the
// prefix; otherwise a name of up to four characters packed into the handle,
// bit 31 = a leading '_' that is not stored.
using NameHandle = u32;
constexpr NameHandle kNoName = 0;

// The two work areas that every reset reserves first in the name store (no
// prefix): page 0 offset 0 and page 0 offset 4,096. Because the first one sits
// at handle 0, handle 0 never names a stored string.
constexpr NameHandle kSymWorkArea1 = 0x0000;
constexpr std::size_t kSymWorkArea1Size = 4096;
constexpr NameHandle kSymWorkArea2 = 0x1000;
constexpr std::size_t kSymWorkArea2Size = 1400;

struct SymStorageState {
  std::unique_ptr<u8[]> Chunks[kSymChunkMax];    // the chunks taken so far
  u16 ChunkCount = 0;
  std::size_t ChunkFill = kSymChunkSize;        // bytes used in the current chunk; full: the next request opens one
  // A new chunk is taken only while ChunkCount is at most ChunkLimit and below
  // 200, so at most ChunkLimit + 1 chunks (and never more than 200) exist.
  // sym_reset sets it from Sw.SymbolBlockLimit (the -B setting / 64,000, at
  // least 4), capped at 200.
  u32 ChunkLimit = kSymChunkLimitDefault;
  u8* FreePages[kSymFreePageStack]{};
  u16 FreePageCount = 0;
  u8* NamePages[kNameStorePages]{};              // the name store
  u16 NamePageCount = 0;
  std::size_t NameFill = kSymPageSize;           // fill position in the current name page
  NameHandle SavedBreakpoints = kNoName;         // the saved-breakpoint text blob; 0 none
};
extern SymStorageState SymStore;

// Flags of the symbol database that several of its parts read.
struct SymFlags {
  u16 ModulesNeedFinishing = 0;  // a module was begun: indexes and line order are due
  u16 CaseSensitive = 1;         // 1: names compare as stored; else upper-cased
  u16 DatabaseFull = 0;          // a load ended with message 45; scope searches find nothing
  u16 PhysicalAddress = 0;       // a caller passes physical addresses for one call
  u32 CodeLow = 0;               // the program's code range, set by the loaders
  u32 CodeHigh = 0;
};
extern SymFlags SymFlag;

// Chunks, pages and blocks; null when the chunk limit or the host says no.
// sym_chunk_alloc takes 1 to 1,048,576 bytes, zero-filled when the chunk is
// new; sym_page_alloc reuses a freed page first (its old bytes are left).
u8* sym_chunk_alloc(std::size_t size);
u8* sym_page_alloc();
u8* sym_page_alloc_zeroed();
u8* sym_block_alloc();
// Appends a page to a paged table (pages[0..count)): false, with nothing
// changed, when it holds max_pages already or no page can be had.
bool sym_table_add_page(u8** pages, u16& count, std::size_t max_pages);
// Keeps `page` for the next sym_page_alloc while the 20-entry stack has room;
// otherwise it is forgotten until the next reset.
void sym_free_page(u8* page);

// The name store. A string below 128 bytes has a one-byte length prefix; 128
// and more a two-byte prefix, high byte first with bit 15 set; at most 32,767.
// Each returns 0 when the store is full (640 pages, or no page to be had) or
// the request is too long.
NameHandle sym_store_bytes(std::size_t length, const void* data);  // data null: reserve, no prefix
// Grows the string at `handle` by `length` bytes (zeros when data is null), in
// place when it is the last thing stored, else after moving it to a new page.
// Only two-byte-prefix strings can grow. Handle 0 stores a new string.
NameHandle sym_store_append(NameHandle handle, std::size_t length, const void* data);
// Stores up to 32,766 bytes as one string, in pieces of at most 2,048 bytes
// (the first stored, the others appended). Data is null only for length 0.
NameHandle sym_store_blob(std::size_t length, const void* data);
// The byte at `handle` (the prefix of a string, the start of a reservation);
// null for a packed handle or one outside the store.
u8* sym_store_ptr(NameHandle handle);
// The data and length of the string whose prefix is at `prefix`.
const u8* sym_store_read_length(const u8* prefix, std::size_t& length);
// Copies at most out_size bytes of the stored string; the bytes copied (0 for
// handle 0, a packed or a bad handle).
std::size_t sym_store_copy(NameHandle handle, u8* out, std::size_t out_size);
// Stores `lead`, `text` and a NUL as one string (never packed); 0 when the
// store is full or the whole is longer than 32,767 bytes.
NameHandle sym_store_text(std::string_view text, std::string_view lead = {});
// Packs a name of 1-4 printable ASCII characters (2-5 with a leading '_') into
// the handle; any other name is stored with its NUL. 0 when the store is full.
NameHandle sym_intern_name(std::string_view text);
// The name's text with a NUL into out (bounded, always terminated when out_size
// is not 0); its length counting the NUL. Handle 0 gives the empty text.
std::size_t sym_name_text(NameHandle handle, char* out, std::size_t out_size);

// Empties the whole database: symbols, modules and lines, scopes and types
// (sym_reset_symbols, sym_reset_modules, sym_reset_scopes, sym_reset_types),
// the defined names (def_reset), the source file and line cache (sym_source_reset),
// then the storage; then reserves the two work areas. The code window's
// listing mode becomes kListingNone (a loader that adds lines selects source
// again). The case flag and the code range are kept.
void sym_reset();
// sym_init once at start (and in every test's SetUp): every flag back to its
// start-up value, then sym_reset.
void sym_init();
