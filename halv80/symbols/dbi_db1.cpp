#include "halv80/symbols/dbi_db1.h"

#include <algorithm>
#include <array>
#include <map>
#include <string>
#include <vector>

#include "halv80/engine/lst_listing.h"
#include "halv80/engine/sup_host.h"
#include "halv80/symbols/dbi_buffer.h"
#include "halv80/symbols/dbi_d01.h"
#include "halv80/symbols/dbi_load.h"
#include "halv80/symbols/sym_modules.h"
#include "halv80/symbols/sym_source.h"
#include "halv80/symbols/sym_symbols.h"
#include "platform/host/host_file.h"

namespace {

constexpr u32 kUnusedStart = 0xFFFFFFFF;
constexpr u64 kLargestPosition = 0x7FFFFFFF;  // the host's seek limit

struct ModuleEntry {
  u32 start = 0, end = 0, name = 0, first = 0, last = 0;
  bool unused() const { return start == kUnusedStart && end == 0; }
  bool has_lines() const { return !unused() && first != 0; }
};

u32 le32_at(const u8* p) { return p[0] | u32(p[1]) << 8 | u32(p[2]) << 16 | u32(p[3]) << 24; }

// Reads exactly `count` bytes at file position `at` of `handle`.
bool read_at(int handle, u64 at, u8* into, std::size_t count) {
  if (at > kLargestPosition || sup_file_seek(handle, i32(at), kSeekSet) != i32(at)) return false;
  std::size_t done = 0;
  while (done < count) {
    const i32 got = sup_file_read(handle, into + done, u32(count - done));
    if (got <= 0) return false;
    done += std::size_t(got);
  }
  return true;
}

class Db1Loader {
 public:
  explicit Db1Loader(int direct) : direct_(direct) {}

  i16 load(int buffered) {
    std::array<u8, kDb1HeaderSize> header{};
    if (!read_at(direct_, 0, header.data(), header.size())) return kDb1ReadFailed;
    const u16 module_count = u16(le32_at(&header[kDb1ModuleCount]));
    line_table_ = le32_at(&header[kDb1LineTable]);
    strings_ = le32_at(&header[kDb1StringArea]);
    const u32 symbol_count = le32_at(&header[kDb1SymbolCount]);
    buffered_ = buffered;

    if (module_count != 0) {
      if (const i16 r = read_modules(le32_at(&header[kDb1ModuleTable]), module_count)) return r;
      if (const i16 r = load_modules()) return r;
    }
    if (symbol_count != 0) return load_symbols(le32_at(&header[kDb1SymbolTable]), symbol_count);
    return kLoadDone;
  }

 private:
  // The module table through the buffer, however large it is.
  i16 read_modules(u32 table, u16 count) {
    if (!dbi_buffer_start(buffered_, table)) return kDb1ReadFailed;
    modules_.reserve(count);
    for (u16 i = 0; i < count; ++i) {
      if (!dbi_buffer_ensure(kDb1ModuleEntrySize)) return kDb1ReadFailed;
      const u8* p = DbiBuf.Data.get() + DbiBuf.Cursor;
      modules_.push_back({le32_at(p), le32_at(p + 4), le32_at(p + 8), le32_at(p + 16), le32_at(p + 20)});
      DbiBuf.Cursor += kDb1ModuleEntrySize;
      dbi_buffer_refill();
    }
    return kLoadDone;
  }

  // Entry i and the entries after it that start inside its range form a
  // group (the files included in it); the group is loaded from its last
  // entry back to entry i.
  i16 load_modules() {
    for (std::size_t i = 0; i < modules_.size();) {
      if (!modules_[i].has_lines()) {
        ++i;
        continue;
      }
      std::size_t end = i + 1;
      while (end < modules_.size() && modules_[end].start < modules_[i].end) ++end;
      covered_.clear();
      for (std::size_t k = end; k-- > i;) {
        if (!modules_[k].has_lines()) continue;
        if (const i16 r = load_module(k)) return r;
        cover(modules_[k].first, modules_[k].last);
      }
      i = end;
    }
    return kLoadDone;
  }

  // Adds first..last to the line indexes that entries later in the group
  // (files included in the one being loaded) have taken, merging neighbours.
  void cover(u32 first, u32 last) {
    if (first > last) return;
    u64 low = first, high = last;
    auto it = covered_.upper_bound(first);
    if (it != covered_.begin() && std::prev(it)->second + u64(1) >= low) --it;
    while (it != covered_.end() && it->first <= high + 1) {
      low = std::min<u64>(low, it->first);
      high = std::max<u64>(high, it->second);
      it = covered_.erase(it);
    }
    covered_.emplace(u32(low), u32(high));
  }

  i16 load_module(std::size_t k) {
    const ModuleEntry& e = modules_[k];
    // the file name: up to 128 bytes, ended by a NUL or by the file's end
    std::array<u8, kDb1FileNameRead> raw{};
    const u64 at = u64(strings_) + e.name;
    if (at > kLargestPosition || sup_file_seek(direct_, i32(at), kSeekSet) != i32(at)) return kDb1ReadFailed;
    const i32 got = sup_file_read(direct_, raw.data(), u32(raw.size()));
    if (got <= 0) return kDb1ReadFailed;
    const std::size_t limit = std::min<std::size_t>(std::size_t(got), raw.size() - 1);
    const std::size_t length = std::find(raw.begin(), raw.begin() + limit, u8(0)) - raw.begin();
    const std::string name(reinterpret_cast<const char*>(raw.data()), length);
    if (sym_begin_module(name.c_str()) != 0) return kLoadFull;
    const i16 result = load_lines(e);
    sym_end_module();  // what was added stays, also after a failure
    return result;
  }

  // The line entries first..last of a module, in blocks of up to 128; the
  // runs that an included file has taken are passed over unread.
  i16 load_lines(const ModuleEntry& e) {
    std::array<u8, kDb1LineBlock> block{};
    constexpr u64 kBlockEntries = kDb1LineBlock / kDb1LineEntrySize;
    for (u64 index = e.first; index <= e.last;) {
      const auto next = covered_.upper_bound(u32(index));
      if (next != covered_.begin() && std::prev(next)->second >= index) {
        index = u64(std::prev(next)->second) + 1;  // an included file's lines
        continue;
      }
      u64 stop = std::min<u64>(e.last, index + kBlockEntries - 1);
      if (next != covered_.end()) stop = std::min<u64>(stop, u64(next->first) - 1);
      const u64 entries = stop - index + 1;
      if (!read_at(direct_, u64(line_table_) + index * kDb1LineEntrySize, block.data(),
                   std::size_t(entries * kDb1LineEntrySize)))
        return kDb1ReadFailed;  // the line table ends before the module's last line
      for (u64 n = 0; n < entries; ++n) {
        const u8* p = block.data() + n * kDb1LineEntrySize;
        if (sym_add_line(u32(p[0] | p[1] << 8), le32_at(p + 4)) == 1) return kLoadFull;
        Lst.ListingMode = kListingSource;
      }
      index = stop + 1;
    }
    return kLoadDone;
  }

  // A NUL-ended name at file position `at`, read through the buffer (moved
  // there when the name lies outside its window); cut at 255 bytes or at the
  // file's end.
  bool read_name(u64 at, std::string& name) {
    if (at > kLargestPosition) return false;
    const u64 base = DbiBuf.FileBase;
    if (DbiBuf.Handle == buffered_ && at >= base && at < base + DbiBuf.Valid) {
      DbiBuf.Cursor = std::size_t(at - base);
    } else if (!dbi_buffer_start(buffered_, u32(at))) {
      return false;
    }
    name.clear();
    u8 c = 0;
    while (name.size() < kDbiNameMax && dbi_read_u8(c) && c != 0) name += char(c);
    return true;
  }

  i16 load_symbols(u32 table, u32 count) {
    std::array<u8, kDb1SymbolBlock> block{};
    std::string name;
    for (u32 done = 0; done < count;) {
      const u32 entries = std::min<u32>(count - done, kDb1SymbolBlock / kDb1SymbolEntrySize);
      if (!read_at(direct_, u64(table) + u64(done) * kDb1SymbolEntrySize, block.data(), entries * kDb1SymbolEntrySize))
        return kDb1ReadFailed;
      for (u32 n = 0; n < entries; ++n) {
        const u8* p = block.data() + n * kDb1SymbolEntrySize;
        const u16 flags = u16(p[8] | p[9] << 8);
        if ((flags & kDb1SymbolMask) != 1 && (flags & kDb1SymbolMask) != 5) continue;
        if (!read_name(u64(strings_) + le32_at(p), name)) return kDb1ReadFailed;
        if (name.empty()) continue;  // nothing to look it up by
        if (sym_add(name, le32_at(p + 4), 0) != 0) return kLoadFull;
      }
      done += entries;
    }
    return kLoadDone;
  }

  int direct_;
  int buffered_ = -1;
  u32 line_table_ = 0;
  u32 strings_ = 0;
  std::vector<ModuleEntry> modules_;
  std::map<u32, u32> covered_;  // first -> last line index, disjoint runs
};

}  // namespace

i16 dbi_load_db1(const char* path) {
  const char* name = path ? path : "";
  const SupFileCloser buffered(sup_file_open(name, kFileModeRead));
  const SupFileCloser direct(sup_file_open(name, kFileModeRead));
  if (buffered.handle == -1 || direct.handle == -1) return kLoadNoDebugInfo;
  if (dbi_buffer_init() < kDbiBufferMinimum) return kD01BufferTooSmall;
  sym_source_reset();
  Db1Loader loader(direct.handle);
  const i16 result = loader.load(buffered.handle);
  DbiBuf.Handle = -1;
  return result;
}
