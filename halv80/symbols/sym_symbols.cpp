// The symbol table: adding, hashing, the comb sort of the order map, lookup by
// name and by address, labels, run-time define and delete, and the reload
// reset. Owns Sym. Every symbol's order slot is written when it is added, so
// slots past the count never matter.
#include "halv80/symbols/sym_symbols.h"

#include <algorithm>
#include <cstring>
#include <span>
#include <vector>

#include "halv80/engine/cmd_switches.h"
#include "halv80/engine/co_coroutine.h"
#include "halv80/engine/sup_core_request.h"
#include "halv80/engine/sup_format.h"
#include "halv80/engine/tgt_mmu.h"
#include "halv80/symbols/sym_modules.h"
#include "halv80/symbols/sym_sort.h"
#include "halv80/symbols/sym_state_file.h"
#include "platform/host/host_text.h"

constinit SymTable Sym;

namespace {

constexpr u16 kToolchainTrailingUnderscore = 5;  // names end in '_' instead of starting with it

SymRecord* record_at(u16 index) {
  u8* page = Sym.Pages[index / kSymbolsPerPage];
  return reinterpret_cast<SymRecord*>(page + index % kSymbolsPerPage * sizeof(SymRecord));
}

u16& order_at(u32 position) {
  return Sym.OrderPages[position / kSymOrderSlotsPerPage][position % kSymOrderSlotsPerPage];
}

u32 sorted_value(u32 position) { return record_at(order_at(position))->value.get(); }

bool is_deleted(const SymRecord& r) { return r.value.get() == kSymDeleted && r.type.get() == kSymDeleted; }

// Position + 1 of the last of the first n (at least 1) sorted symbols whose
// value is at most `address`; 1 also when even the first is above it.
u16 order_search(u32 address, u32 n) {
  u32 lo = 0, hi = n, len = n;
  while (len != 1) {
    const u32 half = len / 2;
    if (sorted_value(lo + half) <= address)
      lo += half;
    else
      hi -= half;
    len = hi - lo;
  }
  return u16(lo + 1);
}

bool find_order_position(u16 index, u32& position) {
  for (u32 p = 0; p < Sym.Count; ++p)
    if (order_at(p) == index) {
      position = p;
      return true;
    }
  return false;
}

bool texts_equal(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  if (SymFlag.CaseSensitive == 1) return a == b;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (host_ascii_upper(u8(a[i])) != host_ascii_upper(u8(b[i]))) return false;
  return true;
}

// Does the stored name match the query in this mode?
bool name_matches(std::string_view stored, std::string_view query, u16 mode) {
  switch (mode) {
    case kSymFindTolerant: {
      if (query[0] == '_' || query[0] == '@') return texts_equal(stored, query);
      if (!stored.empty() && stored[0] == '_') stored.remove_prefix(1);
      if (texts_equal(stored, query)) return true;
      // a stored trailing '_' where the query ends?
      return stored.size() == query.size() + 1 && stored.back() == '_' &&
             texts_equal(stored.substr(0, query.size()), query);
    }
    case kSymFindIdentifier:
      if (stored.size() == query.size() + 1 && stored[0] == '_') return texts_equal(stored.substr(1), query);
      return stored.size() == query.size() + 2 && stored[1] == '@' && texts_equal(stored.substr(2), query);
    default:
      return texts_equal(stored, query);
  }
}

std::string_view stored_name(const SymRecord& r) {
  const char* text = sym_record_name(r);
  return std::string_view(text);
}

// The length of text[0, n) without a double-byte lead byte left alone at its end.
std::size_t whole_characters(const char* text, std::size_t n) {
  std::size_t i = 0;
  while (i < n) {
    const std::size_t unit = host_cp932_lead(u8(text[i])) ? 2 : 1;
    if (i + unit > n) break;
    i += unit;
  }
  return i;
}

}  // namespace

void sym_reset_symbols() { Sym = SymTable{}; }

u16 sym_hash_name(std::string_view name) {
  u16 h = 0;
  for (char ch : name) {
    const u8 c = u8(ch);
    if (c == '_' || c == '@') continue;
    h = u16(h + u16(h * 4 + (c & 0xDF) * 17));
  }
  return h;
}

u16 sym_add(std::string_view name, u32 value, u32 type) {
  name = name.substr(0, name.find('\0'));
  if (Sym.Count >= kSymMaxCount) return 1;  // a 16-bit count holds no more

  if (Sym.PageFill > kSymPageSize - sizeof(SymRecord)) {
    if (Sym.PageCount >= kSymbolPages) return 1;
    if (Sym.Hash == nullptr) {  // the very first symbol page: the hash table comes with it
      u8* hash = sym_page_alloc_zeroed();
      if (hash == nullptr) return 1;
      Sym.Hash = reinterpret_cast<u16*>(hash);
    }
    u8* page = sym_page_alloc();
    if (page == nullptr) return 1;
    Sym.Pages[Sym.PageCount++] = page;
    Sym.PageFill = 0;
  }
  if (Sym.Count / kSymOrderSlotsPerPage >= Sym.OrderPageCount) {
    u8* page = sym_page_alloc();
    if (page == nullptr) return 1;
    u16* slots = reinterpret_cast<u16*>(page);
    const u32 first = u32(Sym.OrderPageCount) * kSymOrderSlotsPerPage;
    for (u32 i = 0; i < kSymOrderSlotsPerPage; ++i) slots[i] = u16(first + i);
    Sym.OrderPages[Sym.OrderPageCount++] = slots;
  }

  // Toolchain kind 5 writes a C name with a trailing '_': name_ and _name_
  // both become _name.
  std::string_view lead;
  if (Sw.ToolchainKind == kToolchainTrailingUnderscore && name.size() >= 2 && name.back() == '_') {
    name.remove_suffix(1);
    if (name[0] != '_') lead = "_";
  }
  const u16 bucket = u16(sym_hash_name(name) & kSymHashMask);  // the lead "_" never counts
  const NameHandle handle = sym_store_text(name, lead);
  if (handle == kNoName) return 1;

  const u16 index = Sym.Count;
  SymRecord* r = record_at(index);
  r->value.set(value);
  r->hit_count.set(0);
  r->type.set(type);
  r->saved_code.set(kSymSavedCodeInitial);
  r->name.set(handle);
  r->next.set(0);
  r->spare[0] = r->spare[1] = 0;
  Sym.PageFill += sizeof(SymRecord);
  order_at(index) = index;  // at the end of the order, whatever deletes left in the slot
  Sym.Count = u16(index + 1);

  u16& head = Sym.Hash[bucket];
  if (head == 0) {
    head = Sym.Count;
  } else {
    SymRecord* last = record_at(u16(head - 1));
    for (u32 steps = 0; last->next.get() != 0 && steps < Sym.Count; ++steps) last = record_at(u16(last->next.get() - 1));
    last->next.set(Sym.Count);
  }
  Sym.SortState = kSymAdded;
  return 0;
}

SymRecord* sym_record(u16 index) { return index < Sym.Count ? record_at(index) : nullptr; }

SymRecord* sym_record_sorted(u16 position) {
  return position < Sym.Count ? sym_record(order_at(position)) : nullptr;
}

const char* sym_record_name(const SymRecord& record) {
  const u8* prefix = sym_store_ptr(record.name.get());
  if (record.name.get() == kNoName || prefix == nullptr) return "";
  std::size_t length = 0;
  return reinterpret_cast<const char*>(sym_store_read_length(prefix, length));
}

u16* sym_hash_bucket(u16 h) { return Sym.Hash == nullptr ? nullptr : &Sym.Hash[h & kSymHashMask]; }

u16* sym_order_slot(u32 position) {
  if (position >= u32(Sym.OrderPageCount) * kSymOrderSlotsPerPage) return nullptr;
  return &order_at(position);
}

bool sym_is_empty() { return Sym.Count == 0; }

void sym_sort_symbols() {
  if (SymFlag.ModulesNeedFinishing != 0) sym_finish_modules();

  const u32 n = Sym.Count;
  if ((Sym.SortState & 1) != 0 && n > 1) {
    // Values are read once into a side array swapped along with the slots.
    std::vector<u32> values(n);
    for (u32 p = 0; p < n; ++p) values[p] = sorted_value(p);
    sym_comb_sort(
        n, [&](u32 i, u32 j) { return values[i] > values[j]; },
        [&](u32 i, u32 j) {
          std::swap(values[i], values[j]);
          std::swap(order_at(i), order_at(j));
        });
  }

  if (Sym.SortState != kSymAdded && Sym.SortState != kSymJustReset) {
    Sym.SortState = kSymSorted;
    return;
  }
  if (Sym.SortState == kSymJustReset && n == 0) {
    Sym.SortState = kSymSorted;
    return;
  }
  Sym.SortState = kSymSorted;
  if (n == 0) return;
  Sym.Lowest = sorted_value(0);
  Sym.Highest = 0;
  for (u32 p = n; p-- > 0;) {
    const u32 v = sorted_value(p);
    if (v != kSymDeleted) {
      Sym.Highest = v;
      break;
    }
  }
}

u16 sym_value_in_range(u32 value) {
  if (value < Sym.Lowest) return 1;
  if (value > Sym.Highest) return 2;
  return 0;
}

u16 sym_find_by_name(std::string_view name, u16 mode) {
  name = name.substr(0, name.find('\0'));
  if (Sym.Count == 0 || name.empty()) return 0;
  u16 next = Sym.Hash[sym_hash_name(name) & kSymHashMask];
  for (u32 steps = 0; next != 0 && next <= Sym.Count && steps < Sym.Count; ++steps) {
    const SymRecord* r = record_at(u16(next - 1));
    if (name_matches(stored_name(*r), name, mode)) return next;
    next = r->next.get();
  }
  return 0;
}

u16 sym_lookup_value(std::string_view name, u16& out) {
  const u16 found = sym_find_by_name(name, kSymFindTolerant);
  if (found == 0) return 0;
  out = u16(tgt_to_logical(record_at(u16(found - 1))->value.get()));
  return 1;
}

u16 sym_order_position(u16 index) {
  u32 position = 0;
  return find_order_position(index, position) ? u16(position) : 0;
}

u16 sym_index_from_address(u32 address) {
  if (SymFlag.PhysicalAddress == 0) address = tgt_to_physical(address);
  if (Sym.Count == 0 || sym_value_in_range(address) != 0) return 0;
  return order_search(address, Sym.Count);
}

const char* sym_address_label(u32 address, bool allow_offset) {
  const u16 found = sym_index_from_address(address);
  if (found == 0) return nullptr;
  const SymRecord& r = *record_at(order_at(found - 1));
  const u32 value = r.value.get();
  const u32 base = SymFlag.PhysicalAddress != 0 ? value : u32(u16(tgt_to_logical(value)));
  Sym.LabelBase = base;
  if (address == base) {
    Sym.LabelSavedCode = r.saved_code.get();
    return sym_format_label(r.name.get(), 0, false, address);
  }
  if (allow_offset) return sym_format_label(r.name.get(), address - base, false, address);
  Sym.LabelBase = address;
  return nullptr;
}

const char* sym_format_label(NameHandle name, u32 offset, bool with_source, u32 address) {
  char* out = Sym.Label;
  const bool for_window = Co.OnCommandSide != 0 || CoreReq.InCoreRequest != 0;

  // What follows the name: "+offset", the end marker, the NUL.
  char tail[8];
  std::size_t tail_length = 0;
  if (offset != 0) {
    char digits[kDigitsMax];
    char* end = digits + sizeof digits;
    const char* first = sup_digits_unsigned(offset & 0xFFFF, 16, end);
    tail[tail_length++] = '+';
    while (first < end) tail[tail_length++] = *first++;
  }
  if (for_window) tail[tail_length++] = char(kSymLabelEnd);
  const std::size_t reserved = tail_length + (for_window ? 1 : 0) + 1;  // start marker and NUL too

  std::size_t n = 0;
  if (with_source) {
    const std::span<char> room(out, kSymLabelSize - reserved);
    u16 line = 0;
    const char* file = sym_line_from_address(address, line);
    if (file != nullptr)
      n = sup_sprintf(room, "%-12s:%4d : %04lX ", file, line & kLineNumberMask, address);
    else
      n = sup_sprintf(room, "                  : %04lX ", address);
  }
  if (for_window) out[n++] = char(kSymLabelStart);
  const std::size_t name_room = kSymLabelSize - n - tail_length;  // NUL included
  const std::size_t copied = sym_name_text(name, out + n, name_room) - 1;
  n += whole_characters(out + n, copied);
  std::memcpy(out + n, tail, tail_length);
  n += tail_length;
  out[n] = '\0';
  return out;
}

void sym_order_shift(u16 mode, u32 position, u16 index) {
  const u32 pages = Sym.OrderPageCount;
  if (position >= pages * kSymOrderSlotsPerPage) return;
  const u32 first_page = position / kSymOrderSlotsPerPage;
  const u32 start = position % kSymOrderSlotsPerPage;
  constexpr u32 last_slot = kSymOrderSlotsPerPage - 1;
  if (mode == 1) {
    for (u32 pg = first_page; pg < pages; ++pg) {
      u16* slots = Sym.OrderPages[pg];
      const u32 from = pg == first_page ? start : 0;
      std::memmove(slots + from, slots + from + 1, (last_slot - from) * sizeof(u16));
      if (pg + 1 < pages) slots[last_slot] = Sym.OrderPages[pg + 1][0];
    }
  } else {
    for (u32 pg = pages; pg-- > first_page;) {
      u16* slots = Sym.OrderPages[pg];
      const u32 from = pg == first_page ? start : 0;
      std::memmove(slots + from + 1, slots + from, (last_slot - from) * sizeof(u16));
      if (pg > first_page) slots[0] = Sym.OrderPages[pg - 1][last_slot];
    }
    order_at(position) = index;
  }
}

u16 sym_delete(std::string_view name) {
  const u16 found = sym_find_by_name(name, kSymFindExact);
  if (found == 0) return 1;
  const u16 index = u16(found - 1);
  SymRecord* r = record_at(index);
  r->value.set(kSymDeleted);
  r->type.set(kSymDeleted);
  if (u8* prefix = sym_store_ptr(r->name.get()); prefix != nullptr) {
    std::size_t length = 0;
    u8* text = const_cast<u8*>(sym_store_read_length(prefix, length));
    if (length != 0) text[0] = 0;
  }
  u32 position = 0;
  if (find_order_position(index, position)) {
    sym_order_shift(1, position, 0);
    order_at(Sym.Count - 1u) = index;
    if (position == 0) Sym.Lowest = sorted_value(0);
  }
  return 0;
}

u16 sym_define(std::string_view name, u32 value, u32 type) {
  const u16 state = Sym.SortState;
  if (sym_add(name, value, type) != 0) return 1;
  // symbols added and not yet sorted stay due for the sort
  Sym.SortState = state == kSymAdded ? kSymAdded : kSymSorted;
  const u16 index = u16(Sym.Count - 1);
  if (Sym.Count == 1) {
    Sym.Lowest = Sym.Highest = value;
    return 0;
  }
  const u32 ordered = index;  // the symbols already in order; the new one is last
  u32 position = 0;
  if (value < Sym.Lowest) {
    Sym.Lowest = value;
    if (value > Sym.Highest) Sym.Highest = value;  // only deleted symbols left
    position = 0;
  } else if (value > Sym.Highest) {
    Sym.Highest = value;
    position = ordered;
    while (position > 0 && is_deleted(*record_at(order_at(position - 1)))) --position;
  } else {
    position = order_search(value, ordered);
  }
  sym_order_shift(0, position, index);
  return 0;
}

void sym_reload_reset() {
  std::vector<u8> saved;
  if (SymStore.SavedBreakpoints != kNoName) {
    saved.resize(kSymPageSize);
    saved.resize(sym_store_copy(SymStore.SavedBreakpoints, saved.data(), saved.size()));
  }
  const bool had_text = SymStore.SavedBreakpoints != kNoName;
  // the command history and the name lists live in the store: they go to the
  // saved-state file and come back from it, or, when the file cannot be
  // written, from a copy kept here, so that the session does not lose them
  const std::vector<u8> state = cfg_state_file_image();
  const bool state_saved = cfg_state_file_save();
  sym_reset();
  if (state_saved) {
    cfg_state_file_load();
  } else {
    cfg_state_file_apply(state);
  }
  if (had_text) SymStore.SavedBreakpoints = sym_store_blob(saved.size(), saved.data());
}
