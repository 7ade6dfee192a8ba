// W, Y, INS and OPTION, and the entries of the watch list they edit.
#include "halv80/engine/cmd_watch.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "halv80/engine/brk_table.h"
#include "halv80/engine/cmd_core.h"
#include "halv80/engine/cmd_switches.h"
#include "halv80/engine/co_coroutine.h"
#include "halv80/engine/con_scanner.h"
#include "halv80/engine/con_screen.h"
#include "halv80/engine/lst_actions.h"
#include "halv80/engine/lst_listing.h"
#include "halv80/engine/mem_commands.h"
#include "halv80/engine/mem_dump.h"
#include "halv80/engine/run_control.h"
#include "halv80/engine/run_state.h"
#include "halv80/engine/sup_messages.h"
#include "halv80/engine/tgt_mmu.h"
#include "halv80/symbols/exp_eval.h"
#include "halv80/symbols/exp_show.h"
#include "halv80/symbols/fmt_rows.h"
#include "halv80/symbols/sym_scopes.h"
#include "halv80/symbols/sym_store.h"
#include "halv80/symbols/sym_symbols.h"
#include "platform/host/host_text.h"

constinit OptionState Option;

namespace {

constexpr u16 kWindowIndexWatch = 0;  // the watch window of the child-window table
constexpr u16 kErrNoWatch = 4;        // error of kind 1: the word could not be watched
constexpr std::size_t kWatchTextMax = 255;

bool target_running() { return (Run.ExecutionState & kExecRunning) != 0; }

std::string entry_name(const WatchEntry& e) {
  char text[kWatchTextMax + 1];
  if (e.name.get() == kNoName || sym_name_text(e.name.get(), text, sizeof text) == 0) return {};
  return text;
}

// One watch already: all 20 bytes, or the same kind, range and index with the
// same text (each entry keeps a name record of its own).
bool same_watch(const WatchEntry& a, const WatchEntry& b) {
  if (std::memcmp(&a, &b, sizeof a) == 0) return true;
  return std::memcmp(&a, &b, offsetof(WatchEntry, name)) == 0 && entry_name(a) == entry_name(b);
}

// A failure of watch_add: the message in mode 0, silence in modes 1 and 2.
u16 refuse(u16 mode, u16 message) {
  if (mode == 0) cmd_error(message);
  return 1;
}

// A memory range in the D command's form: start[,end]; the element size
// comes from the last display's unit.
bool memory_entry(WatchEntry& e) {
  const u32 first = cmd_get_address();
  u16 size = mem_edit_element_size(Mem.DumpKind);
  if (size == 0 || size > 4) size = 1;
  u32 last = first + size - 1;
  cmd_skip_blanks();
  if (*Cmd.ScannerCursor == ',') last = cmd_get_address_after_comma();
  cmd_skip_blanks();
  if (Cmd.AbortFlag || *Cmd.ScannerCursor != '\0' || last < first || last > 0xFFFF) return false;
  e.low.set(first);
  e.high.set(last + 1);
  e.element_size.set(size);
  e.kind.set(kWatchName);
  return true;
}

// The code range a variable is watched in, kept inside the program's code:
// the low end raised to the code's start, the high end the code's end when
// above it or unset.
void clamp_range_to_code(WatchEntry& e, u32 low, u32 high) {
  if (SymFlag.CodeHigh > SymFlag.CodeLow) {
    low = std::max(low, SymFlag.CodeLow);
    if (high == 0 || high > SymFlag.CodeHigh + 1) high = SymFlag.CodeHigh + 1;
  } else if (high == 0) {
    high = 0x10000;  // no program: everywhere
  }
  e.low.set(low);
  e.high.set(high);
}

// An expression: a variable of the current function or a static one (kind
// 1), else any expression with an address (kind 2 for a symbol's name, else
// by its text). 0 made, else the message number.
u16 expression_entry(WatchEntry& e, std::string_view text) {
  if (text.empty() || text.size() > kWatchTextMax) return kMsgData;
  const u32 pc = tgt_to_physical(Run.Regs.pc);
  if (const u16 local = sym_find_local(text, pc)) {
    // the range of the innermost block that holds the PC
    u32 low = 0, high = 0;
    if (const u16 block = sym_innermost_scope(pc)) {
      if (const ScopeRecord* r = sym_scope_record(u16(block - 1))) {
        low = r->location.get();
        high = low + r->size.get();
      }
    }
    e.kind.set(kWatchScopeVariable);
    e.index.set(local);
    e.element_size.set(0xFFFF);
    clamp_range_to_code(e, low, high);
  } else if (const u16 stat = sym_find_static(text, pc)) {
    e.kind.set(kWatchScopeVariable);
    e.index.set(stat);
    e.element_size.set(0xFFFF);
    clamp_range_to_code(e, 0, 0);
  } else {
    ExprValue v{};
    if (exp_evaluate(v, Run.Regs.pc, text, 0) != 0) return kMsgData;
    if (v.storage_class == kStorageComputed && !(v.flags & kValueAddress)) return kMsgData;
    const u16 symbol = sym_find_by_name(text, kSymFindIdentifier);
    e.kind.set(symbol != 0 ? kWatchSymbol : kWatchName);
    e.index.set(symbol != 0 ? u32(symbol - 1) : 0);
    e.element_size.set(0xFFFF);
    clamp_range_to_code(e, 0, 0);
  }
  const NameHandle name = sym_intern_name(text);
  if (name == kNoName) return kMsgStoreFull;
  e.name.set(name);
  return 0;
}

}  // namespace

void option_reset() { Option = OptionState{}; }

u16 watch_add(u16 mode, std::string_view text) {
  if (target_running()) return refuse(mode, kMsgTargetRunning);
  if (FmtRows.WatchCount >= kWatchEntriesMax) return refuse(mode, kMsgWatchFull);
  WatchEntry e{};
  if (mode == 0) {
    cmd_skip_blanks();
    if (*Cmd.ScannerCursor != '?') {
      const std::string source(Cmd.ScannerCursor, strnlen(Cmd.ScannerCursor, kWatchTextMax));
      if (!memory_entry(e)) return refuse(mode, kMsgData);
      const NameHandle name = sym_intern_name(source);
      if (name == kNoName) return refuse(mode, kMsgStoreFull);
      e.name.set(name);
    } else if (const u16 m = expression_entry(e, sup_skip_blanks(Cmd.ScannerCursor + 1))) {
      return refuse(mode, m);
    }
  } else {
    std::string source;
    if (mode == 1) {
      if (!lst_word_at_cursor(source, 0)) return 1;
    } else {
      source = std::string(text.substr(0, kWatchTextMax));
    }
    if (expression_entry(e, source) != 0) return 1;
  }
  for (u16 i = 0; i < FmtRows.WatchCount; ++i)
    if (same_watch(FmtRows.Watches[i], e)) return refuse(mode, kMsgWatchDuplicate);
  FmtRows.Watches[FmtRows.WatchCount++] = e;
  Co.Request.p1 = kWindowIndexWatch;
  co_post_request(RequestCode::WatchListChanged);
  con_request_refresh();
  return 0;
}

void cmd_watch_at_cursor() {
  if (watch_add(1) != 0) sup_raise_error(kErrNoWatch, 1);
}

void cmd_show_value(std::string_view text, u32 scope) {
  const std::size_t n = std::min(text.size(), sizeof ExpShow.ExpressionBuffer - 1);
  std::memcpy(ExpShow.ExpressionBuffer, text.data(), n);
  ExpShow.ExpressionBuffer[n] = '\0';
  exp_show_value(kShowToWindow, scope);
}

void cmd_w() { watch_add(0); }

void cmd_y_delete_watch() {
  if (target_running()) {
    cmd_error(kMsgTargetRunning);
    return;
  }
  const u16 count = FmtRows.WatchCount;
  if (count == 0) return;
  std::vector<u16> numbers;
  if (cmd_at_end()) {
    for (u16 i = 1; i <= count; ++i) numbers.push_back(i);
  } else {
    u16 list[kWatchEntriesMax * 4];
    const int n = brk_parse_number_list(list, count, 1);
    if (n < 0) return;
    if (n == 0) {
      for (u16 i = 1; i <= count; ++i) numbers.push_back(i);
    } else {
      numbers.assign(list, list + n);
    }
  }
  // each entry once, from the highest down, so that the numbers stay valid
  std::sort(numbers.begin(), numbers.end());
  numbers.erase(std::unique(numbers.begin(), numbers.end()), numbers.end());
  for (auto it = numbers.rbegin(); it != numbers.rend(); ++it) {
    if (*it == 0 || *it > FmtRows.WatchCount) continue;
    const u16 index = u16(*it - 1);
    fmt_watch_remove(index);  // its rows leave the watch window
    for (u16 i = index; i + 1 < FmtRows.WatchCount; ++i) FmtRows.Watches[i] = FmtRows.Watches[i + 1];
    --FmtRows.WatchCount;
    FmtRows.Watches[FmtRows.WatchCount] = WatchEntry{};
  }
  con_request_refresh();
}

void cmd_ins() {
  // the scope: an optional ",address" after the expression, default the PC
  std::string text = sup_skip_blanks(Cmd.ScannerCursor);
  u32 scope = 0;
  const bool scope_read = exp_scope_suffix(text, scope);
  while (!text.empty() && u8(text.back()) <= 0x20) text.pop_back();
  // a valid expression with an address range is inspected; anything else
  // (a bad expression or scope address, a computed value) is message 1
  ExprValue v{};
  if (!scope_read || text.empty() || exp_evaluate(v, scope, text, 0) != 0 ||
      (v.storage_class == kStorageComputed && !(v.flags & kValueAddress))) {
    Exp.AbortWord = 0;
    cmd_error(kMsgData);
    return;
  }
  cmd_show_value(text, scope);
}

void cmd_option() {
  cmd_skip_blanks();
  if (*Cmd.ScannerCursor == '\0') {
    cmd_error(kMsgData);
    return;
  }
  // positional words: execution mode, register/memory display, case distinction
  std::string words[3];
  std::size_t count = 0;
  for (const char* p = Cmd.ScannerCursor; count < 3; ++p) {
    if (*p == ',' || *p == '\0') {
      ++count;
      if (*p == '\0') break;
      continue;
    }
    if (u8(*p) > 0x20) words[count] += host_ascii_upper(*p);
  }
  const std::string_view rest = Cmd.ScannerCursor;
  if (std::count(rest.begin(), rest.end(), ',') > 2) {
    cmd_error(kMsgData);
    return;
  }
  int mode = -1, display = -1, cased = -1;
  if (!words[0].empty()) {
    if (words[0] == "0" || words[0] == "1" || words[0] == "2") mode = words[0][0] - '0';
    else Cmd.AbortFlag = 1;
  }
  for (int k = 1; k < 3; ++k) {
    if (words[k].empty()) continue;
    int& target = k == 1 ? display : cased;
    if (words[k] == "ON") target = 1;
    else if (words[k] == "OFF") target = 0;
    else Cmd.AbortFlag = 1;
  }
  if (Cmd.AbortFlag) {
    cmd_error(kMsgData);
    return;
  }
  // modes 1 and 2 do not exist for toolchain kinds 1, 3 and 5
  const u16 kind = Sw.ToolchainKind;
  if (mode > 0 && (kind == 1 || kind == 3 || kind == 5)) mode = -1;
  if (mode >= 0) Run.RunModeWord = u16((Run.RunModeWord & ~0x0F) | mode);
  if (display >= 0 && Option.DisplayAvailable) Option.RegisterMemoryDisplay = u16(display);
  if (cased >= 0) SymFlag.CaseSensitive = u16(cased);
}
