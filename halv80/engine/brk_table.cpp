// The software-breakpoint table, its commands and the saved-breakpoint text,
// and the planting and removal of the break instruction around a run. Owns
// Brk. A loop over the used entries stops after UsedCount of them.
#include "halv80/engine/brk_table.h"

#include <cstring>
#include <new>
#include <string_view>

#include "halv80/engine/cfg_config.h"
#include "halv80/engine/cmd_core.h"
#include "halv80/engine/co_coroutine.h"
#include "halv80/engine/con_paging.h"
#include "halv80/engine/con_scanner.h"
#include "halv80/engine/emu_areas.h"
#include "halv80/engine/lst_listing.h"
#include "halv80/engine/run_control.h"
#include "halv80/engine/run_state.h"
#include "halv80/engine/sup_format.h"
#include "halv80/engine/tgt_memory.h"
#include "halv80/engine/tgt_mmu.h"
#include "halv80/symbols/sym_symbols.h"
#include "halv80/engine/win_codes.h"
#include "platform/host/host_text.h"

constinit BreakTableState Brk;

namespace {

constexpr u16 kMsgNoSuchBreak = 13;   // "\n 指定された設定がありません"

constexpr std::size_t kAddressColumn = 15;  // brk_format_address mode 0 pads to this

bool is_used(const BreakEntry& e) { return e.state != kBreakFree; }
bool is_enabled(const BreakEntry& e) { return (e.state & kBreakEnabled) != 0; }

// Calls fn(slot) for every used slot in slot order, stopping after UsedCount.
template <class Fn>
void for_each_used(Fn&& fn) {
  u16 seen = 0;
  for (u16 slot = 0; slot < kBreakSlots && seen < Brk.UsedCount; ++slot) {
    if (!is_used(Brk.Slots[slot])) continue;
    ++seen;
    fn(slot);
  }
}

u16 first_free_slot() {
  for (u16 slot = 0; slot < kBreakSlots; ++slot)
    if (!is_used(Brk.Slots[slot])) return slot;
  return kNoSlot;
}

// Appends to an entry's address list: 256 elements at first, 256 more at a
// time. False when the list is at its 16-bit count or memory ran out; what was
// collected stays.
bool append_address(BreakEntry& e, u32 address) {
  auto& list = e.line_addresses;
  if (list.size() >= kLineAddressMax) return false;
  if (list.size() == list.capacity()) {
    try {
      list.reserve(list.capacity() + kLineAddressStep);
    } catch (const std::bad_alloc&) {
      return false;
    }
  }
  list.push_back(BreakAddressEntry{address, 0});
  return true;
}

// The address that symbol and line look-ups take: as stored while the store
// is told to take physical addresses (the saved text), else logical.
u32 lookup_address(u32 address) {
  return SymFlag.PhysicalAddress ? address : u32(u16(tgt_to_logical(address)));
}

// A look-up symbol value in the same space as lookup_address.
u32 lookup_value(u32 value) { return SymFlag.PhysicalAddress ? value : u32(u16(tgt_to_logical(value))); }

// The source file and line at exactly `lookup`; false when there is none.
bool source_line_of(u32 lookup, std::string& file, u16& line) {
  u16 found = 0;
  const char* name = sym_line_from_address(lookup, found);
  if (name == nullptr) return false;
  file = name;
  line = found;
  return true;
}

// The index of the module whose file name is `file`; kNoModule when none.
u16 module_index_of(const std::string& file) {
  char name[kModuleNameSize];
  for (u16 i = 0; i < SymModules.ModuleCount; ++i) {
    const ModuleRecord* m = sym_module_record(i);
    if (m == nullptr) break;
    sym_name_text(m->file_name.get(), name, sizeof name);
    if (file == name) return i;
  }
  return kNoModule;
}

// The exact label of `lookup` without the colour markers (0xFE anywhere, a
// leading 0xFF); empty when no symbol starts there.
std::string exact_label(u32 lookup, bool drop_start_marker) {
  const char* label = sym_address_label(lookup, false);
  std::string text;
  if (label == nullptr) return text;
  std::string_view view(label);
  if (drop_start_marker && !view.empty() && u8(view.front()) == kSymLabelStart) view.remove_prefix(1);
  for (const char c : view)
    if (u8(c) != kSymLabelEnd) text += c;
  return text;
}

std::string without_underscore(std::string text) {
  if (!text.empty() && text.front() == '_') text.erase(0, 1);
  return text;
}

// Exactly `width` columns of text: cut at a whole character, padded with blanks.
std::string fit_columns(const std::string& text, std::size_t width) {
  std::size_t n = 0;
  while (n < text.size()) {
    const std::size_t unit = host_cp932_unit_length(text, n);
    if (n + unit > width) break;
    n += unit;
  }
  std::string out = text.substr(0, n);
  out.append(width - n, ' ');
  return out;
}

std::string command_text(NameHandle handle) {
  if (handle == kNoName) return {};
  char text[kCommandLineSize];
  sym_name_text(handle, text, sizeof text);
  return text;
}

// The code window follows the table through RequestCode::BreakListChanged:
// kBreakListSet after a set or a load, kBreakListChanged after an enable,
// disable or delete.
void post_break_list_changed(u32 p1) {
  if (!Co.OnCommandSide) return;
  Co.Request.p1 = p1;
  co_post_request(RequestCode::BreakListChanged);
}

bool target_running() { return (Run.ExecutionState & kExecRunning) != 0; }

// The source-line address list of a breakpoint set while the code window
// shows source: every address of the line, the breakpoint's own first. A line
// with only one address keeps the list empty.
void collect_line_addresses(BreakEntry& e, const std::string& file, u16 line) {
  const u16 own = u16(tgt_to_logical(e.address));
  u16 address = 0;
  if (sym_address_from_line(file.c_str(), line, address) != i32(line)) return;
  do {
    if (address == own) continue;
    if (e.line_addresses.empty() && !append_address(e, tgt_to_physical(own))) return;
    if (!append_address(e, tgt_to_physical(address))) return;
  } while (sym_line_chain_next(address));
}

// Puts the break instruction at one address, or only notes that it is the pc.
void arm_address(u32 address, u16& saved_code, u32 pc, bool& at_pc) {
  saved_code = tgt_read_word_banked(address);
  if (address == pc) {
    at_pc = true;
    return;
  }
  tgt_write_byte_banked(address, Cfg.BreakOpcode);
}

// Puts the saved byte back where brk_arm wrote the break instruction; true
// when the address is the stop pc.
bool disarm_address(u32 address, u16 saved_code, u32 stop_pc) {
  if (address != Brk.ArmedPc) tgt_write_byte_banked(address, u8(saved_code));
  return address == stop_pc;
}

// Restores the scanner cursor and screen output of the caller, also when the
// command ends inside.
class ScannerRestore {
 public:
  ScannerRestore() : cursor_(Cmd.ScannerCursor), output_(Scan.ScreenOutput) {}
  ~ScannerRestore() {
    Cmd.ScannerCursor = cursor_;
    Scan.ScreenOutput = output_;
  }
  ScannerRestore(const ScannerRestore&) = delete;
  ScannerRestore& operator=(const ScannerRestore&) = delete;

 private:
  const char* cursor_;
  u8 output_;
};

// Restores the store's physical-address flag on the way out.
class PhysicalLookups {
 public:
  PhysicalLookups() : saved_(SymFlag.PhysicalAddress) { SymFlag.PhysicalAddress = 1; }
  ~PhysicalLookups() { SymFlag.PhysicalAddress = saved_; }
  PhysicalLookups(const PhysicalLookups&) = delete;
  PhysicalLookups& operator=(const PhysicalLookups&) = delete;

 private:
  u16 saved_;
};

// BE, BD and BC: the numbers (or "*") and the change to each entry.
void manage_entries(char action) {
  u16 numbers[kBreakSlots];
  const int n = brk_parse_number_list(numbers, Brk.UsedCount, 0);
  if (n < 0) return;
  auto apply = [action](u16 slot) {
    switch (action) {
      case 'C': brk_delete(slot); break;
      case 'D': Brk.Slots[slot].state = kBreakDisabled; break;
      default: Brk.Slots[slot].state = kBreakEnabled; break;
    }
  };
  if (n == 0) {
    // collected first: deleting while walking would end the walk early
    u16 slots[kBreakSlots];
    u16 count = 0;
    for_each_used([&](u16 slot) { slots[count++] = slot; });
    for (u16 i = 0; i < count; ++i) apply(slots[i]);
  } else {
    for (int i = 0; i < n; ++i) apply(u16(numbers[i] - 1));
  }
  post_break_list_changed(kBreakListChanged);
}

}  // namespace

void brk_reset() { Brk = BreakTableState{}; }

void brk_exit_cleanup() {
  for (BreakEntry& e : Brk.Slots) std::vector<BreakAddressEntry>().swap(e.line_addresses);
}

u16 brk_find(u32 address) {
  u16 found = kNoSlot;
  for_each_used([&](u16 slot) {
    if (found == kNoSlot && slot != Brk.TemporarySlot && Brk.Slots[slot].address == address) found = slot;
  });
  if (found != kNoSlot) {
    brk_delete(found);
    Brk.SelectedSlot = found;
    return 0;
  }
  Brk.SelectedSlot = first_free_slot();
  return 1;
}

void brk_delete(u16 slot) {
  if (slot >= kBreakSlots || Brk.UsedCount == 0 || !is_used(Brk.Slots[slot])) return;
  Brk.Slots[slot] = BreakEntry{};  // the address list is freed with it
  --Brk.UsedCount;
  if (slot == Brk.TemporarySlot) Brk.TemporarySlot = kNoSlot;
}

void brk_set(u32 address, u32 count, bool has_command) {
  emu_area_lookup(address);  // the monitor's own area ends the command here
  brk_find(address);
  if (Brk.SelectedSlot == kNoSlot) {
    cmd_error(kMsgBreakTableFull);
    return;
  }
  BreakEntry& e = Brk.Slots[Brk.SelectedSlot];
  e = BreakEntry{};
  ++Brk.UsedCount;
  if (has_command) {
    cmd_skip_blanks();
    const std::string_view rest(Cmd.ScannerCursor);
    Cmd.ScannerCursor += rest.size();
    e.command = sym_intern_name(rest);
    if (e.command == kNoName) cmd_error(kMsgStoreFull);
  }
  e.state = kBreakEnabled;
  e.address = address;

  std::string file;
  u16 line = 0;
  if (source_line_of(u16(tgt_to_logical(address)), file, line)) {
    e.module = module_index_of(file);
    e.line = line;
    if (Lst.ListingMode == kListingSource) collect_line_addresses(e, file, line);
  }
  e.pass_count = e.initial_pass_count = u16(count);
}

void brk_cmd_bp() {
  cmd_skip_blanks();
  if (*Cmd.ScannerCursor == '\0') {
    brk_list();
    return;
  }
  if (target_running()) {
    cmd_error(kMsgTargetRunning);
    return;
  }
  const u32 address = tgt_to_physical(cmd_get_address());
  if (Cmd.AbortFlag) {
    cmd_error(kMsgAddress);
    return;
  }
  u32 count = 1;
  bool has_command = false;
  cmd_skip_blanks();
  if (*Cmd.ScannerCursor == ',') {
    ++Cmd.ScannerCursor;
    cmd_skip_blanks();
    if (*Cmd.ScannerCursor != ',') count = cmd_get_number_decimal();
    cmd_skip_blanks();
    if (!Cmd.AbortFlag && *Cmd.ScannerCursor == ',') {
      ++Cmd.ScannerCursor;
      has_command = true;
    }
  }
  // anything but the end of the line or the command text is a bad separator
  if (Cmd.AbortFlag || (!has_command && *Cmd.ScannerCursor != '\0')) {
    cmd_error(kMsgData);
    return;
  }
  if ((count & 0xFFFF) == 0)
    brk_find(address);  // deletes the breakpoint there, if any
  else
    brk_set(address, count, has_command);
  if (Scan.ScreenOutput) post_break_list_changed(kBreakListSet);
}

void brk_cmd_manage() {
  // the last letter of the command word, just before the operands (the
  // window side points the cursor into a text of its own the same way)
  const char letter = Cmd.ScannerCursor != Cmd.CommandLine ? host_ascii_upper(Cmd.ScannerCursor[-1]) : '\0';
  if (target_running()) {
    cmd_error(kMsgTargetRunning);
    return;
  }
  switch (letter) {
    case 'C':
    case 'D':
    case 'E':
      manage_entries(letter);
      break;
    case 'L':
      brk_load_saved();
      break;
    case 'S':
      brk_save(false);
      break;
    default:
      cmd_error(kMsgCommandError);
      break;
  }
}

int brk_parse_number_list(std::span<u16> out, u16 limit, u16 mode) {
  cmd_skip_blanks();
  if (*Cmd.ScannerCursor == ',') ++Cmd.ScannerCursor;
  cmd_skip_blanks();
  if (*Cmd.ScannerCursor == '*') {
    ++Cmd.ScannerCursor;
    return 0;
  }
  std::size_t count = 0;
  for (;;) {
    cmd_skip_blanks();
    if (*Cmd.ScannerCursor == '\0') break;  // a number is missing
    const u32 n = cmd_get_number_decimal();
    if (Cmd.AbortFlag || count >= out.size()) break;
    const bool valid = mode == 0 ? (n >= 1 && n <= kBreakSlots && is_used(Brk.Slots[n - 1]) && count < limit)
                                 : (n >= 1 && n <= limit);
    if (!valid) break;
    out[count++] = u16(n);
    cmd_skip_blanks();
    if (*Cmd.ScannerCursor == '\0') return int(count);
    if (*Cmd.ScannerCursor != ',') break;
    ++Cmd.ScannerCursor;
  }
  cmd_error(kMsgNoSuchBreak);
  return -1;
}

std::string brk_format_address(u32 address, u16 mode) {
  const u32 lookup = lookup_address(address);
  std::string file;
  u16 line = 0;
  char text[kSymLabelSize + kModuleNameSize + 32];
  if (mode == 0) {
    std::string shown = exact_label(lookup, true);
    if (shown.empty() && source_line_of(lookup, file, line)) {
      sup_sprintf(text, "%s:%d", file, line);
      shown = text;
    }
    return fit_columns(shown, kAddressColumn);
  }

  std::string out = without_underscore(exact_label(lookup, true));
  if (out.empty()) {
    // the nearest symbol at or below the address
    std::string nearest;
    u32 nearest_value = 0;
    if (const u16 position = sym_index_from_address(lookup); position != 0) {
      if (const SymRecord* r = sym_record_sorted(u16(position - 1)); r != nullptr) {
        nearest = without_underscore(sym_record_name(*r));
        nearest_value = lookup_value(r->value.get());
      }
    }
    std::string nearest_file;
    u16 nearest_line = 0;
    if (source_line_of(lookup, file, line)) {
      if (!nearest.empty() && source_line_of(nearest_value, nearest_file, nearest_line))
        sup_sprintf(text, ".%s+%d", nearest, i32(line) - i32(nearest_line));
      else
        sup_sprintf(text, ".%s:%d", file, line);
    } else if (!nearest.empty()) {
      sup_sprintf(text, "%s+0x%lx", nearest, lookup - nearest_value);
    } else {
      sup_sprintf(text, "0x%lx", lookup);
    }
    out = text;
  }
  if (mode == 2) {
    sup_sprintf(text, " (%lx)", address);
    out += text;
  }
  return out;
}

void brk_list() {
  con_puts("\nNO E/D Address\t      Pass\t\t    Command");
  Paging.ListingLineCount = 1;
  bool stopped = false;
  for_each_used([&](u16 slot) {
    if (stopped || (stopped = con_line_break_paged() != 0)) return;
    const BreakEntry& e = Brk.Slots[slot];
    con_printf("%2d  %c  ", slot + 1, is_enabled(e) ? 'E' : 'D');
    const u32 logical = u16(tgt_to_logical(e.address));
    std::string file;
    u16 line = 0;
    if (Lst.ListingMode == kListingSource && source_line_of(logical, file, line)) {
      char where[kModuleNameSize + 8];
      sup_sprintf(where, "%s:%d", file, line);
      con_printf("%-13s ", where);
    } else if (Cfg.MmuKind != kMmuNone) {
      con_printf("%04x(%08lx) ", logical, e.address);
    } else {
      con_printf("%04lx          ", e.address);
    }
    con_printf("%5u ", e.pass_count);
    // the label keeps its colour start; only the end marker goes
    con_printf("%-15s : %s", exact_label(logical, false), command_text(e.command));
  });
}

void brk_save(bool quiet) {
  if (!quiet) con_puts("\nSave Break Point");
  if (Brk.UsedCount == 0 && !quiet) {
    cmd_error(kMsgCommandError);
    return;
  }
  std::string text;
  bool fits = true;
  {
    PhysicalLookups physical;
    for_each_used([&](u16 slot) {
      const BreakEntry& e = Brk.Slots[slot];
      if (slot == Brk.TemporarySlot || !fits) return;  // G's stop address is no user breakpoint
      char count[8];
      sup_sprintf(count, "%u", e.pass_count);
      std::string line(1, is_enabled(e) ? 'E' : 'D');
      line += ' ';
      line += brk_format_address(e.address, 1);
      line += ',';
      line += count;
      if (e.command != kNoName) line += "," + command_text(e.command);
      line += "\r\n";
      // the NUL must fit too
      if (line.size() >= kSavedBreakTextSize - text.size()) fits = false;
      else text += line;
    });
  }
  SymStore.SavedBreakpoints = fits ? sym_store_blob(text.size() + 1, text.c_str()) : kNoName;
  if (SymStore.SavedBreakpoints == kNoName && !quiet) cmd_error(kMsgStoreFull);
}

void brk_load_saved() {
  if (SymStore.SavedBreakpoints == kNoName) {
    cmd_error(kMsgCommandError);
    return;
  }
  std::vector<char> text(kSymPageSize + 1, '\0');
  const std::size_t length = sym_store_copy(SymStore.SavedBreakpoints, reinterpret_cast<u8*>(text.data()), kSymPageSize);
  text[length] = '\0';
  {
    ScannerRestore restore;
    Scan.ScreenOutput = 0;
    char* p = text.data();
    while (*p != '\0') {
      const char letter = *p++;
      char* cr = std::strchr(p, '\r');
      if (cr == nullptr) break;
      *cr = '\0';
      Cmd.AbortFlag = 0;
      Cmd.ScannerCursor = p;
      Brk.SelectedSlot = kNoSlot;  // a line that sets nothing selects nothing
      brk_cmd_bp();
      // a count of 0 may have deleted the entry it selected
      const u16 slot = Brk.SelectedSlot;
      if (!Cmd.AbortFlag && letter == 'D' && slot < kBreakSlots && is_used(Brk.Slots[slot]))
        Brk.Slots[slot].state = kBreakDisabled;
      p = cr + 1;
      if (*p == '\n') ++p;
    }
  }
  Scan.ScreenOutput = 1;
  if (Co.OnCommandSide) {
    post_break_list_changed(kBreakListSet);
    brk_list();
  }
}

bool brk_temporary_add(u32 address) {
  if (Brk.TemporarySlot == kNoSlot) {
    const u16 slot = first_free_slot();
    if (slot == kNoSlot) return false;
    BreakEntry& e = Brk.Slots[slot];
    e = BreakEntry{};
    e.address = address;
    e.state = kBreakEnabled;
    e.pass_count = e.initial_pass_count = 1;
    ++Brk.UsedCount;
    Brk.TemporarySlot = slot;
    return true;
  }
  BreakEntry& e = Brk.Slots[Brk.TemporarySlot];
  if (e.line_addresses.empty() && !append_address(e, e.address)) return false;
  return append_address(e, address);
}

void brk_temporary_delete() { brk_delete(Brk.TemporarySlot); }

bool brk_arm(u32 pc) {
  bool at_pc = false;
  Brk.ArmedPc = pc;
  Brk.LastArmed = kNoSlot;
  for_each_used([&](u16 slot) {
    BreakEntry& e = Brk.Slots[slot];
    if (!is_enabled(e)) return;
    if (e.line_addresses.empty()) {
      arm_address(e.address, e.saved_code, pc, at_pc);
    } else {
      for (BreakAddressEntry& a : e.line_addresses) arm_address(a.address, a.saved_code, pc, at_pc);
    }
    Brk.LastArmed = slot;
  });
  return at_pc;
}

u16 brk_disarm(u32 stop_pc, bool escape) {
  Brk.StopNumber = 0;
  Brk.TemporaryReached = 0;
  bool matched = false;
  bool reached = false;
  u16 user_hit = 0;
  u16 temporary_hit = 0;
  for (u16 slot = Brk.LastArmed; slot < kBreakSlots; --slot) {
    BreakEntry& e = Brk.Slots[slot];
    if (!is_used(e) || !is_enabled(e)) continue;
    bool hit = false;
    if (e.line_addresses.empty()) {
      hit = disarm_address(e.address, e.saved_code, stop_pc);
    } else {
      for (auto a = e.line_addresses.rbegin(); a != e.line_addresses.rend(); ++a)
        hit |= disarm_address(a->address, a->saved_code, stop_pc);
    }
    if (!hit) continue;
    matched = true;
    if (e.pass_count < 2) {
      reached = true;
      if (slot == Brk.TemporarySlot) {
        Brk.TemporaryReached = 1;
        temporary_hit = u16(slot + 1);
      } else {
        user_hit = u16(slot + 1);
      }
    } else {
      --e.pass_count;
      if (escape) reached = true;  // stops, with no breakpoint number
    }
  }
  Brk.LastArmed = kNoSlot;
  Brk.StopNumber = user_hit != 0 ? user_hit : temporary_hit;
  if (reached) {
    for_each_used([](u16 slot) {
      BreakEntry& e = Brk.Slots[slot];
      if (is_enabled(e)) e.pass_count = e.initial_pass_count;
    });
  }
  brk_temporary_delete();
  return matched && !reached ? kBreakGoOn : kBreakFinal;
}

bool brk_enabled_at(u32 physical) {
  u16 seen = 0;
  for (std::size_t i = 0; i < kBreakSlots && seen < Brk.UsedCount; ++i) {
    const BreakEntry& e = Brk.Slots[i];
    if (e.state == kBreakFree) continue;
    ++seen;
    if ((e.state & kBreakEnabled) == 0) continue;
    if (e.line_addresses.empty()) {
      if (e.address == physical) return true;
    } else {
      for (const BreakAddressEntry& a : e.line_addresses)
        if (a.address == physical) return true;
    }
  }
  return false;
}
