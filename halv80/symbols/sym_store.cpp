// The symbol database's storage: chunks, pages, blocks, the free-page stack,
// the name store and NameHandle packing, and the reset of the whole database.
// Owns SymStore and SymFlag. Nothing is freed piecemeal: a reset drops every
// chunk at once.
#include "halv80/symbols/sym_store.h"

#include <algorithm>
#include <cstring>
#include <initializer_list>
#include <new>
#include <vector>

#include "halv80/engine/cmd_switches.h"
#include "halv80/engine/lst_listing.h"
#include "halv80/symbols/def_names.h"
#include "halv80/symbols/sym_entry_trap.h"
#include "halv80/symbols/sym_modules.h"
#include "halv80/symbols/sym_scopes.h"
#include "halv80/symbols/sym_source.h"
#include "halv80/symbols/sym_symbols.h"
#include "halv80/symbols/sym_types.h"

constinit SymStorageState SymStore;
constinit SymFlags SymFlag;

namespace {

constexpr std::size_t kBlobPiece = 2048;    // sym_store_blob stores in pieces of this
constexpr u8 kLongPrefix = 0x80;            // first prefix byte of a two-byte length

std::size_t prefix_size(std::size_t length) { return length < 128 ? 1 : 2; }

void write_prefix(u8* at, std::size_t length) {
  if (length < 128) {
    at[0] = u8(length);
  } else {
    at[0] = u8(length >> 8 | kLongPrefix);
    at[1] = u8(length & 0xFF);
  }
}

// Makes room for `bytes` in the current name page, opening a new page when
// they do not fit. Returns the handle of the room, or 0 when none is to be had.
NameHandle name_room(std::size_t bytes) {
  if (bytes > kSymPageSize) return kNoName;
  if (SymStore.NamePageCount == 0 || SymStore.NameFill + bytes > kSymPageSize) {
    if (SymStore.NamePageCount >= kNameStorePages) return kNoName;  // all 640 pages used
    u8* page = sym_page_alloc();
    if (page == nullptr) return kNoName;
    SymStore.NamePages[SymStore.NamePageCount++] = page;
    SymStore.NameFill = 0;
  }
  const NameHandle handle = NameHandle(SymStore.NamePageCount - 1) << 16 | NameHandle(SymStore.NameFill);
  SymStore.NameFill += bytes;
  return handle;
}

// Stores the concatenation of the parts with a length prefix; the parts may
// be null only when their length is 0.
NameHandle store_parts(std::initializer_list<std::string_view> parts) {
  std::size_t length = 0;
  for (std::string_view p : parts) length += p.size();
  if (length > kSymStringMax) return kNoName;
  const NameHandle handle = name_room(prefix_size(length) + length);
  if (handle == kNoName) return kNoName;
  u8* at = sym_store_ptr(handle);
  write_prefix(at, length);
  at += prefix_size(length);
  for (std::string_view p : parts) {
    if (!p.empty()) std::memcpy(at, p.data(), p.size());
    at += p.size();
  }
  return handle;
}

bool is_packed(NameHandle handle) { return (handle & 0xF0000000u) != 0; }

// A name packs when all its characters (after a leading '_') are printable
// ASCII: a byte of 0x80 or above would collide with the '_' bit, and one below
// 0x20 as the first character could leave the top four bits zero.
bool packs(std::string_view text) {
  std::string_view body = text;
  if (!body.empty() && body[0] == '_') body.remove_prefix(1);
  if (body.empty() || body.size() > 4) return false;
  for (char c : body)
    if (u8(c) < 0x20 || u8(c) > 0x7E) return false;
  return true;
}

}  // namespace

u8* sym_chunk_alloc(std::size_t size) {
  if (size == 0 || size > kSymChunkSize) return nullptr;
  size = (size + kSymChunkGrain - 1) / kSymChunkGrain * kSymChunkGrain;
  if (SymStore.ChunkFill + size > kSymChunkSize) {
    // another chunk allowed?
    if (SymStore.ChunkCount > SymStore.ChunkLimit || SymStore.ChunkCount >= kSymChunkMax) return nullptr;
    u8* chunk = new (std::nothrow) u8[kSymChunkSize]();
    if (chunk == nullptr) return nullptr;
    SymStore.Chunks[SymStore.ChunkCount++].reset(chunk);
    SymStore.ChunkFill = 0;
  }
  u8* at = SymStore.Chunks[SymStore.ChunkCount - 1].get() + SymStore.ChunkFill;
  SymStore.ChunkFill += size;
  return at;
}

u8* sym_page_alloc() {
  if (SymStore.FreePageCount > 0) return SymStore.FreePages[--SymStore.FreePageCount];
  return sym_chunk_alloc(kSymPageSize);
}

bool sym_table_add_page(u8** pages, u16& count, std::size_t max_pages) {
  if (count >= max_pages) return false;
  u8* page = sym_page_alloc();
  if (page == nullptr) return false;
  pages[count++] = page;
  return true;
}

u8* sym_page_alloc_zeroed() {
  u8* page = sym_page_alloc();
  if (page != nullptr) std::memset(page, 0, kSymPageSize);
  return page;
}

u8* sym_block_alloc() { return sym_chunk_alloc(kSymBlockSize); }

void sym_free_page(u8* page) {
  if (page == nullptr) return;
  if (SymStore.FreePageCount < kSymFreePageStack) SymStore.FreePages[SymStore.FreePageCount++] = page;
}

NameHandle sym_store_bytes(std::size_t length, const void* data) {
  if (data == nullptr) return name_room(length);  // a reservation: no prefix
  return store_parts({std::string_view(static_cast<const char*>(data), length)});
}

u8* sym_store_ptr(NameHandle handle) {
  if (is_packed(handle)) return nullptr;
  const std::size_t page = handle >> 16;
  const std::size_t offset = handle & 0xFFFF;
  if (page >= SymStore.NamePageCount || offset >= kSymPageSize) return nullptr;
  return SymStore.NamePages[page] + offset;
}

const u8* sym_store_read_length(const u8* prefix, std::size_t& length) {
  if ((prefix[0] & kLongPrefix) == 0) {
    length = prefix[0];
    return prefix + 1;
  }
  length = std::size_t(prefix[0] & 0x7F) << 8 | prefix[1];
  return prefix + 2;
}

namespace {

// The data and length of the stored string at `handle`, cut to its page so a
// bad handle never reads past it. Null for handle 0, a packed or a bad handle.
const u8* stored_string(NameHandle handle, std::size_t& length) {
  length = 0;
  if (handle == kNoName) return nullptr;
  const u8* prefix = sym_store_ptr(handle);
  if (prefix == nullptr) return nullptr;
  const std::size_t offset = handle & 0xFFFF;
  if ((prefix[0] & kLongPrefix) != 0 && offset + 2 > kSymPageSize) return nullptr;  // prefix cut by the page end
  const u8* data = sym_store_read_length(prefix, length);
  const std::size_t room = kSymPageSize - (offset + std::size_t(data - prefix));
  length = std::min(length, room);
  return data;
}

}  // namespace

std::size_t sym_store_copy(NameHandle handle, u8* out, std::size_t out_size) {
  std::size_t length = 0;
  const u8* data = stored_string(handle, length);
  if (data == nullptr) return 0;
  const std::size_t n = std::min(length, out_size);
  if (n != 0) std::memcpy(out, data, n);
  return n;
}

NameHandle sym_store_append(NameHandle handle, std::size_t length, const void* data) {
  if (handle == kNoName) return sym_store_bytes(length, data);
  u8* prefix = sym_store_ptr(handle);
  if (prefix == nullptr) return kNoName;
  if ((prefix[0] & kLongPrefix) == 0) return kNoName;  // a one-byte prefix cannot grow
  std::size_t old_length = 0;
  sym_store_read_length(prefix, old_length);
  if (old_length + length + 2 > kSymPageSize) return kNoName;  // would not fit one page

  const std::size_t page = handle >> 16;
  const std::size_t offset = handle & 0xFFFF;
  const bool at_end = page + 1 == SymStore.NamePageCount && offset + 2 + old_length == SymStore.NameFill;
  if (!at_end || SymStore.NameFill + length + 2 >= kSymPageSize) {
    // Move the string to the start of a new page.
    if (SymStore.NamePageCount >= kNameStorePages) return kNoName;
    u8* fresh = sym_page_alloc();
    if (fresh == nullptr) return kNoName;
    std::memcpy(fresh, prefix, 2 + old_length);
    SymStore.NamePages[SymStore.NamePageCount++] = fresh;
    SymStore.NameFill = 2 + old_length;
    handle = NameHandle(SymStore.NamePageCount - 1) << 16;
    prefix = fresh;
  }
  SymStore.NameFill += length;
  write_prefix(prefix, old_length + length);
  u8* tail = prefix + 2 + old_length;
  if (data != nullptr) {
    if (length != 0) std::memcpy(tail, data, length);
  } else {
    std::memset(tail, 0, length);
  }
  return handle;
}

NameHandle sym_store_blob(std::size_t length, const void* data) {
  if ((data == nullptr && length != 0) || length > kSymPageSize - 2) return kNoName;
  const u8* bytes = static_cast<const u8*>(data);
  std::size_t piece = std::min(length, kBlobPiece);
  NameHandle handle = store_parts({std::string_view(reinterpret_cast<const char*>(bytes), piece)});
  for (std::size_t done = piece; handle != kNoName && done < length; done += piece) {
    piece = std::min(length - done, kBlobPiece);
    handle = sym_store_append(handle, piece, bytes + done);
  }
  return handle;
}

NameHandle sym_store_text(std::string_view text, std::string_view lead) {
  return store_parts({lead, text, std::string_view("\0", 1)});
}

NameHandle sym_intern_name(std::string_view text) {
  if (!packs(text)) return sym_store_text(text);
  NameHandle handle = 0;
  if (text[0] == '_') {
    handle = 0x80000000u;
    text.remove_prefix(1);
  }
  for (std::size_t i = 0; i < text.size(); ++i) handle |= NameHandle(u8(text[i])) << (24 - 8 * i);
  return handle;
}

std::size_t sym_name_text(NameHandle handle, char* out, std::size_t out_size) {
  if (out_size == 0) return 0;
  std::size_t n = 0;
  if (is_packed(handle)) {
    if ((handle & 0x80000000u) != 0 && n + 1 < out_size) out[n++] = '_';
    for (int shift = 24; shift >= 0; shift -= 8) {
      const char c = char(shift == 24 ? handle >> 24 & 0x7F : handle >> shift & 0xFF);
      if (c == '\0') break;  // the name ended before four characters
      if (n + 1 < out_size) out[n++] = c;
    }
  } else {
    std::size_t length = 0;
    const u8* data = stored_string(handle, length);
    for (std::size_t i = 0; data != nullptr && i < length && data[i] != 0 && n + 1 < out_size; ++i)
      out[n++] = char(data[i]);
  }
  out[n] = '\0';
  return n + 1;
}

void sym_reset() {
  // The other parts drop their page pointers first; pages they hand back
  // while doing so are forgotten with the chunks below.
  sym_reset_modules();
  sym_reset_scopes();
  sym_reset_types();
  sym_reset_symbols();
  def_reset();  // the defined names are texts in the store
  sym_source_reset();  // the old program's source file closed, the line cache taken once and emptied
  SymTrap = SymTrapState{};  // a new program has no traps planted
  Lst.ListingMode = kListingNone;  // the code window shows no rows of the old program

  // The first chunk is kept, cleared, for the next program: a reset at every
  // load would otherwise map and fault in a fresh megabyte each time.
  std::unique_ptr<u8[]> first = std::move(SymStore.Chunks[0]);
  for (auto& chunk : SymStore.Chunks) chunk.reset();
  SymStore.ChunkCount = 0;
  SymStore.ChunkFill = kSymChunkSize;
  if (first) {
    std::memset(first.get(), 0, kSymChunkSize);
    SymStore.Chunks[0] = std::move(first);
    SymStore.ChunkCount = 1;
    SymStore.ChunkFill = 0;
  }
  SymStore.ChunkLimit = std::min<u32>(Sw.SymbolBlockLimit, kSymChunkMax);
  std::fill(std::begin(SymStore.FreePages), std::end(SymStore.FreePages), nullptr);
  SymStore.FreePageCount = 0;
  std::fill(std::begin(SymStore.NamePages), std::end(SymStore.NamePages), nullptr);
  SymStore.NamePageCount = 0;
  SymStore.NameFill = kSymPageSize;
  SymStore.SavedBreakpoints = kNoName;
  SymFlag.DatabaseFull = 0;
  SymFlag.ModulesNeedFinishing = 0;

  // The two work areas: the first lands on handle 0, so no stored string
  // ever has that handle.
  sym_store_bytes(kSymWorkArea1Size, nullptr);
  sym_store_bytes(kSymWorkArea2Size, nullptr);
}

void sym_init() {
  SymFlag = SymFlags{};
  sym_reset();
}
