// Modules and line tables. The open module's fields 1-7 and its block count
// live in SymModules while lines are added and go back into its record when it
// is ended; lookups read records, and the working copy only for the open module.
#include "halv80/symbols/sym_modules.h"

#include <cstring>
#include <string_view>
#include <utility>

#include "halv80/engine/cmd_core.h"
#include "halv80/engine/cmd_switches.h"
#include "halv80/engine/tgt_mmu.h"
#include "halv80/symbols/sym_sort.h"
#include "platform/host/host_text.h"

constinit SymModuleState SymModules;

namespace {

constexpr std::size_t kPathScanLimit = 4096;  // a path is read no further than this

ModuleRecord* module_at(u16 index) {
  u8* page = SymModules.ModulePages[index / kModulesPerPage];
  return reinterpret_cast<ModuleRecord*>(page + index % kModulesPerPage * sizeof(ModuleRecord));
}

// Record i of a module's line table; null when its block is not there.
LineRecord* line_in(const ModuleRecord& module, u32 index) {
  if (index >= kLinesPerModule) return nullptr;
  const u32 token = module.line_pages[index / kLinesPerBlock].get();
  if (token == 0 || token > SymModules.LineBlocks.size()) return nullptr;  // block never taken
  return reinterpret_cast<LineRecord*>(SymModules.LineBlocks[token - 1] +
                                       index % kLinesPerBlock * sizeof(LineRecord));
}

// Line count of a module as a lookup sees it: the working count for the open
// module, the record's otherwise; never more than its blocks hold.
u32 lines_of(u16 index, const ModuleRecord& module) {
  const bool open = SymModules.Open && SymModules.OpenModule == index;
  const u32 count = open ? SymModules.LineCount : module.line_count.get();
  const u32 pages = open ? SymModules.LinePageCount : module.line_page_count.get();
  const u32 held = u32(pages > kLineBlocksPerModule ? kLineBlocksPerModule : pages) * kLinesPerBlock;
  return count < held ? count : held;
}

void load_open_state(const ModuleRecord& m) {
  SymModules.LineCount = m.line_count.get();
  SymModules.Lowest = m.lowest.get();
  SymModules.Highest = m.highest.get();
  SymModules.LastAddress = m.last_address.get();
  SymModules.LastLine = m.last_line.get();
  SymModules.HighestLine = m.highest_line.get();
  SymModules.Unsorted = m.unsorted.get();
  SymModules.LinePageCount = m.line_page_count.get();
}

ModuleRecord* make_current(u16 index) {
  SymModules.Current = index;
  SymModules.HasCurrent = 1;
  return module_at(index);
}

// The module name of a path: the file-name part after the last '\', '/' or
// ':', cut to 8.3 unless long names are on, upper-cased, at most
// kModuleNameSize - 1 bytes. A double-byte character is never split.
void module_name_of(std::string_view path, char (&out)[kModuleNameSize]) {
  std::size_t start = 0;
  for (std::size_t i = 0; i < path.size();) {
    const std::size_t n = host_cp932_unit_length(path, i);
    if (n == 1 && (path[i] == '\\' || path[i] == '/' || path[i] == ':')) start = i + 1;
    i += n;
  }
  const std::string_view file = path.substr(start);

  std::size_t used = 0;
  auto put = [&](std::size_t from, std::size_t n) {
    for (std::size_t k = 0; k < n; ++k) out[used++] = file[from + k];
  };
  if (Sw.LongNames) {
    for (std::size_t i = 0; i < file.size();) {
      const std::size_t n = host_cp932_unit_length(file, i);
      if (used + n > kModuleNameSize - 1) break;
      put(i, n);
      i += n;
    }
  } else {
    // 8.3: at most 8 bytes before the first '.', then '.' and at most 3 more.
    std::size_t i = 0;
    std::size_t base = 0;
    bool cut = false;  // the name is a prefix: nothing after a character left out
    while (i < file.size() && file[i] != '.') {
      const std::size_t n = host_cp932_unit_length(file, i);
      cut = cut || base + n > 8;
      if (!cut) {
        put(i, n);
        base += n;
      }
      i += n;
    }
    if (i < file.size()) {  // at the '.'
      put(i++, 1);
      std::size_t extension = 0;
      while (i < file.size()) {
        const std::size_t n = host_cp932_unit_length(file, i);
        if (extension + n > 3) break;
        put(i, n);
        extension += n;
        i += n;
      }
    }
  }
  out[used] = '\0';

  for (std::size_t i = 0; i < used;) {
    const u8 c = u8(out[i]);
    if (host_cp932_lead(c) && i + 1 < used) {
      i += 2;
      continue;
    }
    out[i] = char(host_ascii_upper(c));
    ++i;
  }
}

enum class NameMatch { None, Equal, WithoutExtension, BaseName };

// Compares a query (upper-cased here, trail bytes as they are) with a stored
// module name.
NameMatch match_module_name(const char* query, const char* stored) {
  bool trail = false;
  for (std::size_t i = 0;; ++i) {
    u8 q = u8(query[i]);
    const u8 s = u8(stored[i]);
    if (!trail) q = host_ascii_upper(q);
    if (q == 0 && s == 0) return NameMatch::Equal;
    if (q == 0 && s == '.') return NameMatch::WithoutExtension;  // MAIN finds MAIN.C
    if (s == 0 && q == '.') return NameMatch::BaseName;          // MAIN.C finds MAIN
    if (q != s) return NameMatch::None;
    trail = !trail && host_cp932_lead(q);
  }
}

void copy_bounded(char* out, std::size_t out_size, const char* text) {
  const std::size_t n = strnlen(text, out_size - 1);
  std::memcpy(out, text, n);
  out[n] = '\0';
}

}  // namespace

void sym_reset_modules() {
  SymModules = SymModuleState{};
}

u16 sym_begin_module(const char* path) {
  char name[kModuleNameSize];
  module_name_of(path ? std::string_view(path, strnlen(path, kPathScanLimit)) : std::string_view(), name);
  if (SymModules.Open) sym_end_module();

  // An existing module of this name (or of this name without its extension)
  // is reselected; a base-name candidate gets a module of its own.
  ModuleRecord* found = sym_find_module(name, sizeof name, 0);
  if (found && !SymModules.FoundByBaseName) {
    load_open_state(*found);
    SymModules.OpenModule = SymModules.Current;
    SymModules.Open = 1;
    SymFlag.ModulesNeedFinishing = 1;
    return 0;
  }

  if (SymModules.ModuleCount >= kModuleLimit) return 1;
  if (SymModules.ModuleCount / kModulesPerPage >= SymModules.ModulePageCount &&
      !sym_table_add_page(SymModules.ModulePages, SymModules.ModulePageCount, kModulePages))
    return 1;
  const NameHandle handle = sym_intern_name(name);
  if (handle == kNoName) return 1;

  const u16 index = SymModules.ModuleCount++;
  if (SymModules.MainModule == 0) {
    SymModules.MainModule = u16(index + 1);
    copy_bounded(SymModules.MainFileName, sizeof SymModules.MainFileName, name);
  }
  ModuleRecord* m = module_at(index);
  std::memset(m, 0, sizeof *m);
  m->file_name.set(handle);
  m->view_top_line.set(1);
  m->view_field1.set(5);
  m->view_field3.set(5);

  make_current(index);
  SymModules.OpenModule = index;
  SymModules.Open = 1;
  SymModules.LineCount = 0;
  SymModules.Lowest = SymModules.Highest = kNoAddress;
  SymModules.LastAddress = SymModules.LastLine = kNoAddress;
  SymModules.HighestLine = 0;
  SymModules.Unsorted = 0;
  SymModules.LinePageCount = 0;
  SymModules.RepeatedLines.fill(0);
  SymFlag.ModulesNeedFinishing = 1;
  return 0;
}

u16 sym_add_line(u32 line, u32 address) {
  if (!SymModules.Open) return 2;                          // no module to add to
  if (line == 0 || line > kLineNumberMax) return 2;        // bit 15 is the repeat mark
  // Compared as stored: a repeat marked with bit 15 differs from its number.
  if (line == SymModules.LastLine) return 0;
  ModuleRecord* m = module_at(SymModules.OpenModule);

  if (SymModules.LineCount / kLinesPerBlock >= SymModules.LinePageCount) {
    if (SymModules.LinePageCount >= kLineBlocksPerModule) return 1;
    u8* block = sym_block_alloc();
    if (block == nullptr) return 1;
    SymModules.LineBlocks.push_back(block);
    m->line_pages[SymModules.LinePageCount++].set(u32(SymModules.LineBlocks.size()));
  }

  if (Sw.ToolchainKind == 1 || Sw.ToolchainKind == 5) {
    u8& bits = SymModules.RepeatedLines[line / 8];  // line <= kLineNumberMax: inside the table
    const u8 bit = u8(1u << (line & 7));
    if (bits & bit) line |= kLineRepeated;
    else bits |= bit;
  }

  if (SymModules.LastAddress == kNoAddress) {
    SymModules.Lowest = SymModules.Highest = SymModules.LastAddress = address;
  } else if (address == SymModules.LastAddress && SymModules.LineCount > 0) {
    // One address, one line: the larger line number stays.
    LineRecord* previous = line_in(*m, SymModules.LineCount - 1);
    if (previous == nullptr) return 1;
    if ((previous->line.get() & kLineNumberMask) > (line & kLineNumberMask)) return 0;
    previous->line.set(line);
    SymModules.LastLine = line;
    if ((line & kLineNumberMask) > SymModules.HighestLine) SymModules.HighestLine = line & kLineNumberMask;
    return 0;
  }

  LineRecord* record = line_in(*m, SymModules.LineCount);
  if (record == nullptr) return 1;
  record->line.set(line);
  record->address.set(address);
  record->next.set(0);
  record->spare.set(0);
  if (address < SymModules.LastAddress) SymModules.Unsorted = 1;
  SymModules.LastAddress = address;
  SymModules.LastLine = line;
  if (address < SymModules.Lowest) SymModules.Lowest = address;
  if (address > SymModules.Highest) SymModules.Highest = address;
  if ((line & kLineNumberMask) > SymModules.HighestLine) SymModules.HighestLine = line & kLineNumberMask;
  ++SymModules.LineCount;
  return 0;
}

u16 sym_end_module() {
  if (!SymModules.Open) return 0;
  ModuleRecord* m = module_at(SymModules.OpenModule);
  m->lowest.set(SymModules.Lowest);
  m->highest.set(SymModules.Highest);
  m->range.set(SymModules.Highest - SymModules.Lowest);
  m->last_address.set(SymModules.LastAddress);
  m->last_line.set(SymModules.LastLine);
  m->highest_line.set(SymModules.HighestLine);
  m->unsorted.set(SymModules.Unsorted);
  m->line_count.set(SymModules.LineCount);
  m->line_page_count.set(SymModules.LinePageCount);
  // An index built for fewer lines is dropped, so that finishing builds one of
  // the new size; the offsets in it are only a cache of the file.
  const u16 entries = u16(SymModules.HighestLine / kLinesPerIndexEntry);
  if (m->line_index.get() != kNoName && entries > m->index_count.get()) m->line_index.set(kNoName);
  m->index_count.set(entries);
  SymModules.Open = 0;
  return 0;
}

void sym_finish_modules() {
  sym_end_module();
  for (u16 i = 0; i < SymModules.ModuleCount; ++i) {
    ModuleRecord* m = make_current(i);
    const bool unsorted = m->unsorted.get() != 0;
    m->unsorted.set(0);
    if (m->line_index.get() == kNoName) {
      const std::size_t bytes = m->index_count.get() ? std::size_t(m->index_count.get()) * 4 : 4;
      const NameHandle index = sym_store_bytes(bytes, nullptr);
      u8* slots = index != kNoName ? sym_store_ptr(index) : nullptr;
      if (slots == nullptr) {
        SymFlag.DatabaseFull = 1;
        cmd_fail(kMsgStoreFull);
      }
      std::memset(slots, 0, bytes);
      m->line_index.set(index);
    }
    if (unsorted) sym_sort_lines();
  }
  SymFlag.ModulesNeedFinishing = 0;
}

void sym_sort_lines() {
  if (!SymModules.HasCurrent) return;
  const ModuleRecord& m = *module_at(SymModules.Current);
  const u32 count = lines_of(SymModules.Current, m);
  sym_comb_sort(
      count, [&](u32 i, u32 j) { return line_in(m, i)->address.get() > line_in(m, j)->address.get(); },
      [&](u32 i, u32 j) { std::swap(*line_in(m, i), *line_in(m, j)); });
  // Chains built before the sort would name the wrong records.
  for (u32 i = 0; i < count; ++i) line_in(m, i)->next.set(0);
}

ModuleRecord* sym_find_module(char* name, std::size_t name_size, u16 start) {
  SymModules.FoundByBaseName = 0;
  if (name == nullptr || name_size == 0 || strnlen(name, name_size) == name_size) return nullptr;
  char query[kModuleNameSize];
  copy_bounded(query, sizeof query, name);

  char stored[kModuleNameSize];
  i32 candidate = -1;
  for (u16 i = start; i < SymModules.ModuleCount; ++i) {
    sym_name_text(module_at(i)->file_name.get(), stored, sizeof stored);
    switch (match_module_name(query, stored)) {
      case NameMatch::Equal:
        return make_current(i);
      case NameMatch::WithoutExtension:
        if (std::strlen(stored) < name_size) copy_bounded(name, name_size, stored);
        return make_current(i);
      case NameMatch::BaseName:
        if (candidate < 0) candidate = i;
        break;
      case NameMatch::None:
        break;
    }
  }
  if (candidate < 0) return nullptr;
  SymModules.FoundByBaseName = 1;
  return make_current(u16(candidate));
}

ModuleRecord* sym_module_record(u16 index) {
  return index < SymModules.ModuleCount ? module_at(index) : nullptr;
}

LineRecord* sym_line_record(u32 index) {
  if (!SymModules.HasCurrent) return nullptr;
  const ModuleRecord& m = *module_at(SymModules.Current);
  return index < lines_of(SymModules.Current, m) ? line_in(m, index) : nullptr;
}

le32* sym_line_index_slot(u32 entry) {
  if (!SymModules.HasCurrent) return nullptr;
  const ModuleRecord& m = *module_at(SymModules.Current);
  if (m.line_index.get() == kNoName || entry >= m.index_count.get()) return nullptr;
  u8* slots = sym_store_ptr(m.line_index.get());
  return slots ? reinterpret_cast<le32*>(slots + entry * sizeof(le32)) : nullptr;
}

i32 sym_address_from_line(const char* file, u16 line, u16& address) {
  char name[kModuleNameSize];
  copy_bounded(name, sizeof name, file ? file : "");
  ModuleRecord* m = sym_find_module(name, sizeof name, 0);
  if (m == nullptr) return -1;
  const u32 count = lines_of(SymModules.Current, *m);

  u32 best_line = kNoLine;
  u32 best = 0;
  for (u32 i = 0; i < count; ++i) {
    const u32 n = line_in(*m, i)->line.get() & kLineNumberMask;
    if (n >= line && n < best_line) {  // the first record of the line wins
      best_line = n;
      best = i;
      if (n == line) break;
    }
  }
  if (best_line == kNoLine) return kNoLine;

  LineRecord* found = line_in(*m, best);
  address = u16(tgt_to_logical(found->address.get()));
  if (found->next.get() == 0) {
    // Link the later records of the line (not its repeats, which have bit 15).
    LineRecord* previous = found;
    for (u32 i = best + 1; i < count; ++i) {
      LineRecord* r = line_in(*m, i);
      if (r->line.get() != best_line) continue;
      previous->next.set(i);
      previous = r;
    }
    previous->next.set(kLineChainEnd);
  }
  SymModules.ChainModule = SymModules.Current;
  SymModules.ChainRecord = best + 1;
  SymModules.ChainNext = found->next.get();
  return i32(best_line);
}

bool sym_line_chain_next(u16& address) {
  const u32 at = SymModules.ChainNext;
  const ModuleRecord* m = sym_module_record(SymModules.ChainModule);
  if (SymModules.ChainRecord == 0 || m == nullptr || at == kLineChainEnd ||
      at >= lines_of(SymModules.ChainModule, *m))
    return false;
  const LineRecord* r = line_in(*m, at);
  if (r == nullptr) return false;
  address = u16(tgt_to_logical(r->address.get()));
  const u32 next = r->next.get();
  SymModules.ChainNext = next > at ? next : kLineChainEnd;  // links only go forward
  return true;
}

const char* sym_line_from_address(u32 address, u16& line) {
  SymModules.NearestModule = kNoModule;
  const u32 physical = SymFlag.PhysicalAddress ? address : tgt_to_physical(address);
  u32 nearest_distance = 0xFFFFFFFF;

  for (u16 mi = 0; mi < SymModules.ModuleCount; ++mi) {
    const ModuleRecord& m = *module_at(mi);
    const u32 count = lines_of(mi, m);
    const bool open = SymModules.Open && SymModules.OpenModule == mi;
    const u32 lowest = open ? SymModules.Lowest : m.lowest.get();
    const u32 range = open ? SymModules.Highest - SymModules.Lowest : m.range.get();
    if (count == 0 || physical - lowest > range) continue;

    u32 lo = 0, hi = count, len = count;
    while (len != 1) {
      const u32 half = len / 2;
      if (physical < line_in(m, lo + half)->address.get()) hi -= half;
      else lo += half;
      len = hi - lo;
    }
    const LineRecord& found = *line_in(m, lo);
    SymModules.FoundLine = found.line.get();
    if (found.address.get() == physical) {
      line = u16(SymModules.FoundLine & kLineNumberMask);
      sym_name_text(m.file_name.get(), SymModules.FileNameText, sizeof SymModules.FileNameText);
      return SymModules.FileNameText;
    }
    if (lo + 1 < count) {
      const LineRecord& following = *line_in(m, lo + 1);
      const u32 at = following.address.get();
      if (at > physical && at - physical < nearest_distance) {
        nearest_distance = at - physical;
        SymModules.NearestModule = mi;
        SymModules.NearestRecord = lo + 1;
        SymModules.NearestLine = following.line.get() & kLineNumberMask;
        SymModules.NearestAddress = at;
      }
    }
  }
  return nullptr;
}
