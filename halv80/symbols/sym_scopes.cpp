// Scope records and the searches over them. Every public search takes a
// logical address and translates it once (unless the caller passes a physical
// one); the walks below work on physical addresses only. Links only ever point
// forward, and a walk that would go back stops.
#include "halv80/symbols/sym_scopes.h"

#include <cstring>

#include "halv80/engine/cmd_switches.h"
#include "halv80/engine/tgt_mmu.h"
#include "halv80/symbols/sym_symbols.h"
#include "platform/host/host_text.h"

constinit SymScopeState SymScopes;

namespace {

constexpr std::size_t kScopeNameSize = 1024;  // a name compared in full

ScopeRecord* scope_at(u32 index) {
  u8* page = SymScopes.ScopePages[index / kScopesPerPage];
  return reinterpret_cast<ScopeRecord*>(page + index % kScopesPerPage * sizeof(ScopeRecord));
}

u32 to_physical(u32 address) { return SymFlag.PhysicalAddress ? address : tgt_to_physical(address); }

bool holds(const ScopeRecord& r, u32 address) {
  const u32 low = r.location.get();
  return address >= low && address - low < r.size.get();
}

void remember_range(const ScopeRecord& r) {
  SymScopes.RangeLow = r.location.get();
  SymScopes.RangeHigh = r.location.get() + r.size.get();
}

bool name_is(const ScopeRecord& r, std::string_view query) {
  char text[kScopeNameSize];
  if (query.size() >= sizeof text - 1) return false;  // longer than any name compared
  sym_name_text(r.name.get(), text, sizeof text);
  return std::string_view(text, strnlen(text, sizeof text)) == query;
}

u16 find_scope_physical(u16 start, u16 kind, u32 address) {
  if (SymScopes.ScopeCount == 0 || SymFlag.DatabaseFull) return 0;
  if (kind == kScopeBlock) {
    SymScopes.FirstBlock = 0;
    SymScopes.BlockAddress = address;
  }
  u16 result = 0;
  u32 i = start;
  while (i < SymScopes.ScopeCount) {
    const ScopeRecord& r = *scope_at(i);
    const u16 k = r.kind.get();
    if (k != kind) {
      if (kind == kScopeBlock && k == kScopeModule) break;  // the module's blocks are done
      ++i;
      continue;
    }
    if (holds(r, address)) {
      // Inner blocks follow their outer block: the last one that holds wins.
      remember_range(r);
      result = u16(i + 1);
      if (kind == kScopeBlock && SymScopes.FirstBlock == 0) SymScopes.FirstBlock = result;
    } else if (r.location.get() > address && Sw.ToolchainKind != 5) {
      break;  // records are in address order, except with toolchain kind 5
    }
    const u32 link = r.link.get();
    const u32 next = kind == kScopeModule ? link - 1 : link;  // a module link is index + 1
    if (link == 0 || next <= i) break;
    i = next;
  }
  return result;
}

u16 innermost_physical(u32 address) {
  if (address < SymFlag.CodeLow || address > SymFlag.CodeHigh) return 0;
  const u16 module = find_scope_physical(0, kScopeModule, address);
  if (module == 0) return 0;
  u32 i = module;  // the record after the module record
  while (i < SymScopes.ScopeCount && scope_at(i)->kind.get() == kScopeStatic) ++i;
  if (i >= SymScopes.ScopeCount) return 0;
  return find_scope_physical(u16(i), kScopeBlock, address);
}

// Calls visit(index, record) for the records that belong to a block directly:
// those after the block record up to its next block, stopping at a module or
// end-of-block record. visit returns false to stop.
template <typename Visit>
void for_each_block_item(u16 block_index, Visit visit) {
  const ScopeRecord& block = *scope_at(block_index);
  const u32 link = block.link.get();
  const u32 end = link > block_index ? link : SymScopes.ScopeCount;
  for (u32 i = u32(block_index) + 1; i < end && i < SymScopes.ScopeCount; ++i) {
    const ScopeRecord& r = *scope_at(i);
    const u16 k = r.kind.get();
    if (k == kScopeModule || k == kScopeBlockEnd || k == kScopeBlock) return;
    if (!visit(u16(i), r)) return;
  }
}

}  // namespace

void sym_reset_scopes() {
  SymScopes = SymScopeState{};
}

u16 sym_add_scope(const ScopeRecord& record) {
  if (SymScopes.ScopeCount >= kScopeLimit) return 1;
  if (SymScopes.ScopeCount / kScopesPerPage >= SymScopes.ScopePageCount &&
      !sym_table_add_page(SymScopes.ScopePages, SymScopes.ScopePageCount, kScopePages))
    return 1;
  const u16 index = SymScopes.ScopeCount;
  ScopeRecord* r = scope_at(index);
  *r = record;
  const u16 kind = record.kind.get();
  if (kind == kScopeModule) {
    r->link.set(0);
    if (SymScopes.LastModule) scope_at(SymScopes.LastModule - 1u)->link.set(u16(index + 1));
    SymScopes.LastModule = u16(index + 1);
    SymScopes.LastBlock = 0;  // the first block of a module has no predecessor
  } else if (kind == kScopeBlock) {
    r->link.set(0);
    if (SymScopes.LastBlock) scope_at(SymScopes.LastBlock - 1u)->link.set(index);
    SymScopes.LastBlock = u16(index + 1);
  }
  SymScopes.ScopeCount = u16(index + 1);
  return 0;
}

ScopeRecord* sym_scope_record(u16 index) {
  return index < SymScopes.ScopeCount ? scope_at(index) : nullptr;
}

u16 sym_find_scope(u16 start, u16 kind, u32 address) {
  return find_scope_physical(start, kind, to_physical(address));
}

u16 sym_innermost_scope(u32 address) { return innermost_physical(to_physical(address)); }

u16 sym_next_block(u16 current) {
  const u16 first = SymScopes.FirstBlock;
  if (current == 0 || first == 0 || current <= first || current > SymScopes.ScopeCount) return 0;
  // The blocks of a module are chained in record order; among those from the
  // outermost holding block up to the current one, the last that holds the
  // searched address encloses the current block.
  u16 found = 0;
  u32 i = first - 1u;
  while (i < current - 1u) {
    const ScopeRecord& r = *scope_at(i);
    if (r.kind.get() != kScopeBlock) return 0;
    if (holds(r, SymScopes.BlockAddress)) found = u16(i + 1);
    const u32 link = r.link.get();
    if (link <= i) return 0;  // end of the chain before the current block
    i = link;
  }
  if (i != current - 1u || found == 0) return 0;
  remember_range(*scope_at(found - 1u));
  return found;
}

void sym_block_items(u16 block_index, u16& first, u16& end) {
  first = end = u16(block_index + 1u);
  if (block_index >= SymScopes.ScopeCount || scope_at(block_index)->kind.get() != kScopeBlock) {
    first = end = 0;
    return;
  }
  for_each_block_item(block_index, [&](u16 i, const ScopeRecord&) {
    end = u16(i + 1u);
    return true;
  });
}

u16 sym_find_variable_at(u32 code_address, u32 location, u16 mode) {
  u16 best = 0;
  u32 best_distance = 0xFFFFFFFF;
  u16 exact = 0;
  for (u16 block = sym_innermost_scope(code_address); block != 0 && exact == 0;
       block = sym_next_block(block)) {
    for_each_block_item(block - 1u, [&](u16 i, const ScopeRecord& r) {
      const u16 k = r.kind.get();
      u32 distance = 0;
      if (mode == kFindStatic) {
        if (k != kScopeStatic) return true;
        const u32 at = tgt_to_logical(r.location.get());
        if (at > location) return true;
        distance = location - at;
      } else if (mode == kFindFrame) {
        if (k != kScopeFrame) return true;
        // Frame offsets are signed: -4 lies below -2.
        const i32 at = i32(r.location.get());
        if (at > i32(location)) return true;
        distance = u32(i32(location) - at);
      } else {
        if (k != kScopeRegister || r.location.get() != mode) return true;
      }
      if (distance == 0) {
        exact = u16(i + 1);
        return false;
      }
      if (distance < best_distance) {
        best_distance = distance;
        best = u16(i + 1);
      }
      return true;
    });
  }
  return exact ? exact : best;
}

const char* sym_location_label(u32 code_address, u32 location, u16 mode) {
  const u16 found = sym_find_variable_at(code_address, location, mode);
  if (found == 0) return nullptr;
  const ScopeRecord& r = *scope_at(found - 1u);
  u32 offset = 0;  // register variables never have one
  if (mode == kFindStatic) offset = location - tgt_to_logical(r.location.get());
  else if (mode == kFindFrame) offset = location - r.location.get();
  return sym_format_label(r.name.get(), offset, false, location);
}

u16 sym_find_local(std::string_view name, u32 address) {
  if (SymScopes.ScopeCount == 0) return 0;
  for (u16 block = sym_innermost_scope(address); block != 0; block = sym_next_block(block)) {
    u16 match = 0;  // the last match within the block wins
    for_each_block_item(block - 1u, [&](u16 i, const ScopeRecord& r) {
      const u16 k = r.kind.get();
      if (k >= kScopeStatic && k <= kScopeOther && name_is(r, name)) match = i;
      return true;
    });
    if (match) return match;
  }
  return 0;
}

u16 sym_find_static(std::string_view name, u32 address) {
  char query[kScopeNameSize];
  if (name.size() >= sizeof query) return 0;
  std::memcpy(query, name.data(), name.size());
  if (Sw.ToolchainKind == 16 && SymFlag.CaseSensitive == 0) {
    for (std::size_t i = 0; i < name.size(); ++i) {
      const u8 c = u8(query[i]);
      if (host_cp932_lead(c)) ++i;  // its trail byte stays as it is
      else query[i] = char(host_ascii_upper(c));
    }
  }
  const std::string_view wanted(query, name.size());

  const u16 module = sym_find_scope(0, kScopeModule, address);
  if (module == 0) return 0;
  for (u32 i = module; i < SymScopes.ScopeCount;) {
    const ScopeRecord& r = *scope_at(i);
    const u16 k = r.kind.get();
    if (k == kScopeModule) return 0;
    if (k == kScopeBlock) {
      const u32 link = r.link.get();
      if (link <= i) return 0;  // no later block
      i = link;
      continue;
    }
    if (k == kScopeStatic && name_is(r, wanted)) return u16(i);
    ++i;
  }
  return 0;
}

u16 sym_nearest_static(u32 address, u32 code_address) {
  const u16 module = sym_find_scope(0, kScopeModule, code_address);
  if (module == 0) return 0;
  const u32 target = to_physical(address);
  u16 best = 0;
  u32 best_distance = 0xFFFFFFFF;
  for (u32 i = module; i < SymScopes.ScopeCount;) {
    const ScopeRecord& r = *scope_at(i);
    const u16 k = r.kind.get();
    if (k == kScopeStatic) {
      const u32 at = r.location.get();
      if (at <= target && target - at < best_distance) {
        best_distance = target - at;
        best = u16(i);
      }
      ++i;
    } else if (k == kScopeBlockEnd) {
      ++i;
    } else if (k == kScopeBlock) {
      const u32 link = r.link.get();
      if (link <= i) break;
      i = link;
    } else {
      break;  // the next module, or a variable
    }
  }
  return best;
}
