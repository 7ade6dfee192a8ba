// The macro store's entries and slots.
#include "halv80/engine/mac_store.h"

#include <algorithm>
#include <cstring>

#include "halv80/engine/cmd_core.h"
#include "platform/host/host_text.h"

constinit MacroStore Store;

namespace {

// Bytes of the NUL-terminated text at `offset`, never past the text area.
std::size_t text_length(u32 offset) {
  if (offset >= Store.Text.size()) return 0;
  const char* p = reinterpret_cast<const char*>(Store.Text.data()) + offset;
  return strnlen(p, Store.Text.size() - offset);
}

// The whole entry at `offset`: name, NUL, body, NUL.
u32 entry_length(u32 offset) {
  const std::size_t name = text_length(offset) + 1;
  const std::size_t body = text_length(u32(offset + name)) + 1;
  return u32(std::min(name + body, Store.Text.size() - offset));
}

// a > b in unsigned byte order of the texts
bool name_above(const char* a, const char* b) {
  for (;; ++a, ++b) {
    if (*a != *b) return u8(*a) > u8(*b);
    if (*a == '\0') return false;
  }
}

// Removes `length` bytes at `offset`; everything above moves down.
void remove_text(u32 offset, u32 length) {
  if (length == 0 || offset >= Store.WritePos) return;
  length = std::min(length, Store.WritePos - offset);
  u8* base = Store.Text.data();
  std::memmove(base + offset, base + offset + length, Store.WritePos - offset - length);
  Store.WritePos -= length;
  std::memset(base + Store.WritePos, 0, length);
  if (Store.EntriesEnd > offset) Store.EntriesEnd -= std::min(length, Store.EntriesEnd - offset);
  if (Store.Defining && Store.DefineStart > offset) Store.DefineStart -= length;
  for (u16 i = 0; i < Store.Count; ++i)
    if (Store.Slots[i].offset > offset) Store.Slots[i].offset -= length;
}

}  // namespace

void mac_store_setup(u32 units) {
  units = std::clamp(units, kMacroUnitsMin, kMacroUnitsMax);
  const u32 total = units * 16;
  Store.SlotTotal = total / 64 + 100;
  Store.Text.assign(total - 4 * Store.SlotTotal, 0);
  Store.Slots.assign(Store.SlotTotal, MacroSlot{});
  mac_store_clear();
}

void mac_store_clear() {
  std::fill(Store.Text.begin(), Store.Text.end(), u8(0));
  std::fill(Store.Slots.begin(), Store.Slots.end(), MacroSlot{});
  Store.Count = 0;
  Store.WritePos = 0;
  Store.EntriesEnd = 0;
  Store.Defining = 0;
  Store.DefineStart = 0;
}

void mac_store_reset() { Store = MacroStore{}; }

const char* mac_entry_name(int slot) {
  return reinterpret_cast<const char*>(Store.Text.data()) + Store.Slots[std::size_t(slot)].offset;
}

const char* mac_entry_body(int slot) {
  const u32 offset = Store.Slots[std::size_t(slot)].offset;
  return reinterpret_cast<const char*>(Store.Text.data()) + offset + text_length(offset) + 1;
}

bool mac_entry_builtin(int slot) { return Store.Slots[std::size_t(slot)].builtin != 0; }

int mac_store_find_prefix(std::string_view text) {
  for (int i = 0; i < Store.Count; ++i) {
    const char* name = mac_entry_name(i);
    std::size_t k = 0;
    while (name[k] != '\0' && k < text.size() && host_ascii_upper(text[k]) == name[k]) ++k;
    if (name[k] == '\0') return i;
  }
  return -1;
}

int mac_store_find_exact(std::string_view name) {
  for (int i = 0; i < Store.Count; ++i)
    if (name == mac_entry_name(i)) return i;
  return -1;
}

u32 mac_store_begin_define(std::string_view name) {
  std::string upper(name);
  for (char& c : upper) c = host_ascii_upper(c);
  const int existing = mac_store_find_exact(upper);
  if (existing >= 0 && mac_entry_builtin(existing)) cmd_fail(kMsgBuiltinName);
  // the store holds at most SlotTotal - 2 entries
  if (existing < 0 && u32(Store.Count) + 1 >= Store.SlotTotal - 1) cmd_fail(kMsgMacroFull);
  const std::size_t room = Store.Text.size() - Store.WritePos;
  if (room < kBlockMargin || upper.size() + 1 > room - kBlockMargin) cmd_fail(kMsgMacroFull);
  Store.Defining = 1;
  Store.DefineStart = Store.WritePos;
  std::memcpy(Store.Text.data() + Store.WritePos, upper.data(), upper.size());
  Store.Text[Store.WritePos + upper.size()] = 0;
  return u32(Store.WritePos + upper.size() + 1);
}

void mac_store_commit_define(bool builtin) {
  if (!Store.Defining) return;
  const u32 start = Store.DefineStart;
  const char* name = reinterpret_cast<const char*>(Store.Text.data()) + start;
  const int existing = mac_store_find_exact(name);
  if (existing >= 0) {
    // the entry takes the old slot; the old text goes, and the new one moves down
    const u32 old = Store.Slots[std::size_t(existing)].offset;
    Store.Slots[std::size_t(existing)] = MacroSlot{start, u8(builtin)};
    Store.EntriesEnd = Store.WritePos;
    Store.Defining = 0;
    remove_text(old, entry_length(old));
    return;
  }
  int at = 0;
  while (at < Store.Count && name_above(mac_entry_name(at), name)) ++at;
  for (int i = Store.Count; i > at; --i) Store.Slots[std::size_t(i)] = Store.Slots[std::size_t(i - 1)];
  Store.Slots[std::size_t(at)] = MacroSlot{start, u8(builtin)};
  ++Store.Count;
  Store.EntriesEnd = Store.WritePos;
  Store.Defining = 0;
}

void mac_store_undo_define() {
  if (!Store.Defining) return;
  std::fill(Store.Text.begin() + Store.DefineStart, Store.Text.begin() + Store.WritePos, u8(0));
  Store.WritePos = Store.DefineStart;
  Store.Defining = 0;
}

void mac_store_remove(int slot) {
  if (slot < 0 || slot >= Store.Count) return;
  const u32 offset = Store.Slots[std::size_t(slot)].offset;
  for (int i = slot; i + 1 < Store.Count; ++i) Store.Slots[std::size_t(i)] = Store.Slots[std::size_t(i + 1)];
  --Store.Count;
  Store.Slots[Store.Count] = MacroSlot{};
  remove_text(offset, entry_length(offset));
}
