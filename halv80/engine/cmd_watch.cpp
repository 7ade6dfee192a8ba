// W, Y, INS and OPTION, the watch list they edit, and the value display
// reached through the value hooks.
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
#include "halv80/symbols/exp_eval.h"
#include "halv80/symbols/exp_types.h"
#include "halv80/symbols/fmt_value.h"
#include "halv80/symbols/sym_store.h"
#include "platform/host/host_text.h"

WatchState Watch;  // not constinit: its texts are strings
constinit OptionState Option;
constinit ValueHooks ValueLinks;

namespace {

constexpr u16 kWindowIndexWatch = 0;  // the watch window of the child-window table
constexpr u16 kErrNoWatch = 4;        // error of kind 1: the word could not be watched
constexpr u16 kErrNotInspectable = 2; // error of kind 1: nothing to show at the cursor

void put16(WatchEntry& e, std::size_t at, u16 v) {
  e[at] = u8(v);
  e[at + 1] = u8(v >> 8);
}
void put32(WatchEntry& e, std::size_t at, u32 v) {
  for (int i = 0; i < 4; ++i) e[at + i] = u8(v >> (8 * i));
}

bool target_running() { return (Run.ExecutionState & kExecRunning) != 0; }

// The two entries are one watch: all 20 bytes; symbols by their kind, size,
// range and name (a cast in the text makes a new type record each time, so
// the type code does not tell two watches of one text apart).
bool same_watch(std::size_t i, const WatchEntry& e, const std::string& name) {
  const WatchEntry& w = Watch.Entries[i];
  if (e[0] == kWatchSymbol && w[0] == kWatchSymbol)
    return std::equal(e.begin(), e.begin() + 12, w.begin()) && Watch.Names[i] == name;
  return w == e;
}

// A failure of watch_add: the message in mode 0, silence in modes 1 and 2.
u16 refuse(u16 mode, u16 message) {
  if (mode == 0) cmd_error(message);
  return 1;
}

// A memory range in the D command's form: start[,end]; the element size and
// unit come from the last display.
bool memory_entry(WatchEntry& e) {
  const u32 first = cmd_get_value();
  const u16 size = mem_edit_element_size(Mem.DumpKind);
  u32 last = first + (size ? size : 1) - 1;
  cmd_skip_blanks();
  if (*Cmd.ScannerCursor == ',') last = cmd_get_value_after_comma();
  cmd_skip_blanks();
  if (Cmd.AbortFlag || *Cmd.ScannerCursor != '\0' || last < first) return false;
  e[0] = kWatchMemory;
  e[1] = u8(Mem.DumpKind);
  put16(e, 2, size);
  put32(e, 4, first);
  put32(e, 8, last);
  return true;
}

// An expression: a variable (its range the code range it is seen in) or a
// symbol (its address range). 0 made, else the message number.
u16 expression_entry(WatchEntry& e, std::string_view text) {
  if (text.empty()) return kMsgData;
  ExprValue v{};
  if (exp_evaluate(v, Run.Regs.pc, text, 0) != 0) return kMsgData;
  const u32 size = std::max<u32>(exp_type_size(v.type.get()), 1);
  if (v.storage_class == kStorageStatic || v.storage_class == kStorageFrame ||
      v.storage_class == kStorageRegister) {
    e[0] = kWatchVariable;
    e[1] = v.storage_class;
    put16(e, 2, u16(std::min<u32>(size, 0xFFFF)));
    // a variable's range is the code it is seen in, kept inside the program's code
    u32 low = 0, high = 0;
    low = std::max(low, SymFlag.CodeLow);
    if (high == 0 || high > SymFlag.CodeHigh) high = SymFlag.CodeHigh;
    put32(e, 4, low);
    put32(e, 8, high);
    put32(e, 12, v.type.get());
    put32(e, 16, v.location.get());
    return 0;
  }
  if (v.storage_class != kStorageSymbol && !(v.flags & kValueAddress)) return kMsgData;
  const NameHandle name = sym_intern_name(text);
  if (name == kNoName) return kMsgStoreFull;
  const u32 first = v.storage_class == kStorageSymbol ? v.location.get() : v.value.get();
  e[0] = kWatchSymbol;
  put16(e, 2, u16(std::min<u32>(size, 0xFFFF)));
  put32(e, 4, first);
  put32(e, 8, first + size - 1);
  put32(e, 12, v.type.get());
  put32(e, 16, name);
  return 0;
}

// The fallback of the value display: the expression and its value on the console.
void print_value(std::string_view text, u32 scope) {
  ExprValue v{};
  if (text.empty() || exp_evaluate(v, scope, text, 0) != 0) {
    cmd_error(kMsgData);
    return;
  }
  con_putc('\n');
  con_puts(text);
  con_puts(" = ");
  fmt_print_value(v, kPrintInline);
}

}  // namespace

void watch_reset() {
  for (std::string& n : Watch.Names) n.clear();
  Watch.Count = 0;
  for (WatchEntry& e : Watch.Entries) e.fill(0);
  Option = OptionState{};
}

u16 watch_add(u16 mode, std::string_view text) {
  if (target_running()) return refuse(mode, kMsgTargetRunning);
  if (Watch.Count >= kWatchEntriesMax) return refuse(mode, kMsgWatchFull);
  WatchEntry e{};
  std::string source;
  if (mode == 0) {
    cmd_skip_blanks();
    if (*Cmd.ScannerCursor != '?') {
      source = Cmd.ScannerCursor;
      if (!memory_entry(e)) return refuse(mode, kMsgData);
    } else {
      source = sup_skip_blanks(Cmd.ScannerCursor + 1);
      if (const u16 m = expression_entry(e, source)) return refuse(mode, m);
    }
  } else {
    if (mode == 1) {
      if (!lst_word_at_cursor(source, 0)) return 1;
    } else {
      source = std::string(text.substr(0, kCommandLineSize - 1));
    }
    if (expression_entry(e, source) != 0) return 1;
  }
  for (std::size_t i = 0; i < Watch.Count; ++i)
    if (same_watch(i, e, source)) return refuse(mode, kMsgWatchDuplicate);
  Watch.Entries[Watch.Count] = e;
  Watch.Names[Watch.Count] = source;
  ++Watch.Count;
  Co.Request.p1 = kWindowIndexWatch;
  co_post_request(RequestCode::WatchListChanged);
  con_request_refresh();
  return 0;
}

void cmd_watch_at_cursor() {
  if (watch_add(1) != 0) sup_raise_error(kErrNoWatch, 1);
}

void cmd_inspect_at_cursor(u16 form) {
  if (ValueLinks.inspect_at_cursor) {
    ValueLinks.inspect_at_cursor(form);
    return;
  }
  std::string word;
  if (!lst_word_at_cursor(word, form)) {
    sup_raise_error(kErrNotInspectable, 1);
    return;
  }
  print_value(word, Run.Regs.pc);
}

void cmd_show_value(std::string_view text, u32 scope) {
  if (ValueLinks.show_value) {
    ValueLinks.show_value(text, scope);
    return;
  }
  print_value(text, scope);
}

void cmd_w() { watch_add(0); }

void cmd_y_delete_watch() {
  if (target_running()) {
    cmd_error(kMsgTargetRunning);
    return;
  }
  if (Watch.Count == 0) return;
  std::vector<u16> numbers;
  if (cmd_at_end()) {
    for (u16 i = 1; i <= Watch.Count; ++i) numbers.push_back(i);
  } else {
    u16 list[kWatchEntriesMax * 4];
    const int n = brk_parse_number_list(list, Watch.Count, 1);
    if (n < 0) return;
    if (n == 0) {
      for (u16 i = 1; i <= Watch.Count; ++i) numbers.push_back(i);
    } else {
      numbers.assign(list, list + n);
    }
  }
  // each entry once, from the highest down, so that the numbers stay valid
  std::sort(numbers.begin(), numbers.end());
  numbers.erase(std::unique(numbers.begin(), numbers.end()), numbers.end());
  for (auto it = numbers.rbegin(); it != numbers.rend(); ++it) {
    const u16 index = u16(*it - 1);
    if (*it == 0 || index >= Watch.Count) continue;
    for (u16 i = index; i + 1 < Watch.Count; ++i) {
      Watch.Entries[i] = Watch.Entries[i + 1];
      Watch.Names[i] = std::move(Watch.Names[i + 1]);
    }
    --Watch.Count;
    Watch.Entries[Watch.Count].fill(0);
    Watch.Names[Watch.Count].clear();
  }
  con_request_refresh();
}

void cmd_ins() {
  // the scope: an optional ",address" after the expression, default the PC
  std::string text = sup_skip_blanks(Cmd.ScannerCursor);
  u32 scope = Run.Regs.pc;
  int depth = 0;
  bool quoted = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\'') quoted = !quoted;
    if (quoted) continue;
    if (c == '(' || c == '[') ++depth;
    if ((c == ')' || c == ']') && depth > 0) --depth;
    if (c == ',' && depth == 0) {
      Cmd.ScannerCursor = sup_skip_blanks(Cmd.ScannerCursor) + i + 1;
      scope = cmd_get_expression();
      if (Cmd.AbortFlag) return;
      text.resize(i);
      break;
    }
  }
  while (!text.empty() && u8(text.back()) <= 0x20) text.pop_back();
  if (text.empty()) {
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
