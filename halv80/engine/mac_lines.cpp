// Line source, splitting, expansion, block definitions, macro calls and the
// words KILL, MLIST, BREAK, ".", SALL, LALL, LIST, NLIST and "*".
#include "halv80/engine/mac_lines.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <string>
#include <string_view>

#include "halv80/engine/brk_table.h"
#include "halv80/engine/cmd_core.h"
#include "halv80/engine/cmd_switches.h"
#include "halv80/engine/con_editor.h"
#include "halv80/engine/con_paging.h"
#include "halv80/engine/con_scanner.h"
#include "halv80/engine/key_input.h"
#include "halv80/engine/lst_words.h"
#include "halv80/engine/mac_builtins.h"
#include "halv80/engine/mac_control.h"
#include "halv80/engine/mac_store.h"
#include "halv80/engine/mac_words.h"
#include "halv80/engine/mem_dump.h"
#include "halv80/engine/co_coroutine.h"
#include "halv80/engine/sup_format.h"
#include "halv80/engine/redir_file.h"
#include "halv80/engine/reg_registers.h"
#include "halv80/engine/run_control.h"
#include "halv80/engine/run_state.h"
#include "halv80/engine/tgt_mmu.h"
#include "halv80/symbols/sym_store.h"
#include "halv80/symbols/sym_symbols.h"
#include "platform/host/host_text.h"

constinit MacState Mac;

namespace {

constexpr u16 kMsgSymbolDefined = 18;  // "\n シンボルを登録しました"

// The line into LineBuffer, cut to fit.
void set_line(std::string_view text) {
  const std::size_t n = std::min(text.size(), kLineBufferSize - 1);
  std::memcpy(Mac.LineBuffer, text.data(), n);
  Mac.LineBuffer[n] = '\0';
}

// The built-in feed's next line: "{NAME", the body, "}" for each definition.
bool feed_line() {
  const auto table = mac_builtin_table();
  if (Mac.FeedIndex >= table.size()) return false;
  const BuiltinDefinition& d = table[Mac.FeedIndex];
  switch (Mac.FeedStep) {
    case 0:
      set_line(std::string("{") + d.name);
      Mac.FeedStep = 1;
      break;
    case 1:
      if (d.body != nullptr) set_line(d.body);
      else set_line(std::string(1, char(d.token)));
      Mac.FeedStep = 2;
      break;
    default:
      set_line("}");
      Mac.FeedStep = 0;
      ++Mac.FeedIndex;
      break;
  }
  return true;
}

bool starts_nocase(const char* text, std::string_view word) { return sup_match_prefix_nocase(word, text) != nullptr; }

// The current breakpoint's command text into LineBuffer; false when it has none.
bool take_break_command() {
  const u16 number = Mac.PendingBreak;
  Mac.PendingBreak = 0;
  // breakpoint numbers are 1..63; anything else only clears
  if (number == 0 || number > kBreakSlots) return false;
  const BreakEntry& e = Brk.Slots[number - 1];
  if (e.state == kBreakFree || e.command == kNoName) return false;
  char text[kLineBufferSize];
  sym_name_text(e.command, text, sizeof text);
  set_line(text);
  return Mac.LineBuffer[0] != '\0';
}

// The echo of a macro line: the line, then a CR unless LOCATE asked otherwise.
void echo_line() {
  if (!Mac.Echo) return;
  con_puts(Mac.LineBuffer);
  if (!Mac.SuppressEchoReturn) con_putc(13);
  Mac.SuppressEchoReturn = 0;
}

void fail_format() {
  Mac.FieldCount = 0;
  cmd_fail(kMsgFormat);
}

// --- The language words that live here ------------------------------------

void word_kill() {
  if (Mac.Depth > 0) cmd_fail(kMsgKillInMacro);
  mac_kill_or_show(false);
}

void word_mlist() {
  if (Mac.Echo) con_putc('\n');
  mac_list();
}

void word_break() {
  if (Mac.Depth > 0) Mac.BreakRequest = kBreakLevel;
}

void word_sall() { Mac.Echo = 0; }
void word_lall() { Mac.Echo = 1; }
void word_list() { Scan.ScreenOutput = 1; }
void word_nlist() { Scan.ScreenOutput = 0; }
void word_comment() {}
void word_none() { Cmd.AbortFlag = 1; }

using WordHandler = void (*)();
struct WordSlot {
  u8 token;
  WordHandler run;
};
// ORDER TOKEN: one row per language token 0x82..0x9F.
constexpr WordSlot WordTable[] = {
    {0x82, mac_word_while},    // WHILE{
    {0x83, mac_word_do},       // DO{
    {0x84, mac_word_repeat},   // REPEAT{
    {0x85, mac_word_if},       // IF{
    {0x86, mac_word_else},     // }ELSE{
    {0x87, mac_word_else},     // }ELSEIF{
    {0x88, mac_word_for},      // FOR{
    {0x89, word_kill},         // KILL
    {0x8A, word_mlist},        // MLIST
    {0x8B, word_break},        // BREAK
    {0x8C, sym_cmd_dot},       // .
    {0x8D, word_none},         // -
    {0x8E, word_none},         // -
    {0x8F, mac_word_wait},     // WAIT
    {0x90, word_none},         // -
    {0x91, word_none},         // -
    {0x92, word_sall},         // SALL
    {0x93, word_lall},         // LALL
    {0x94, word_none},         // -
    {0x95, macro_printf},      // PRINTF PF
    {0x96, word_comment},      // *
    {0x97, word_list},         // LIST
    {0x98, word_nlist},        // NLIST
    {0x99, key_beep},          // BEL
    {0x9A, mac_word_home},     // HOME
    {0x9B, mac_word_locate},   // LOCATE
    {0x9C, mac_word_cls},      // CLS
    {0x9D, redir_open_append}, // >>
    {0x9E, redir_open_create}, // >
    {0x9F, input_open},        // <
};
static_assert(std::size(WordTable) == 0x9F - 0x82 + 1);
consteval bool words_in_token_order() {
  for (std::size_t i = 0; i < std::size(WordTable); ++i)
    if (WordTable[i].token != 0x82 + i) return false;
  return true;
}
static_assert(words_in_token_order());

// The line as it is, dispatched with no token: an unknown command.
void dispatch_unmatched() {
  cmd_set_command_line({Mac.LineBuffer, strnlen(Mac.LineBuffer, sizeof Mac.LineBuffer)});
  cmd_dispatch(kNoToken);
}

// "NAME=value" with NAME a register: R's assignment. False when NAME is no
// register (nothing was done).
bool assign_register(const char* line) {
  std::string text = "R _";
  text += line;
  cmd_set_command_line(text);
  Cmd.ScannerCursor = Cmd.CommandLine + 3;
  const int n = reg_match_name(false);
  const bool is_register = n >= 0 && *sup_skip_blanks(Cmd.ScannerCursor) == '=';
  if (!is_register) return false;
  Cmd.ScannerCursor = Cmd.CommandLine + 2;
  reg_cmd_r();
  return true;
}

// The first word of `line` (identifier characters and "'") is followed by
// "=" and not "==": an assignment line.
bool is_assignment(const char* line) {
  const char* p = line;
  while (*p != '\0' && (cmd_is_ident_char(u8(*p)) || *p == '\'')) ++p;
  if (p == line || p[0] != '=' || p[1] == '=') return false;
  return !starts_nocase(line, "VAL") && !starts_nocase(line, "G=");
}

// The stop check ahead of a line: a stop of a free-running target that the
// idle check finds is shown (and the target taken as stopped) before the
// line runs, so that the line sees a stopped target.
void check_free_run_stop() {
  if (Run.ExecutionState != kExecRunning) return;
  if (run_idle_stop_check(0)) run_after_abort();
}

}  // namespace

// --- Set-up and the line source ------------------------------------------------

void mac_load_builtins() {
  mac_store_setup(Sw.MacroStoreUnits);
  // PRINTF's target strings come from target memory
  Fmt.ReadTargetByte = mac_read_target_byte;
  Mac.Echo = 1;
  Scan.ScreenOutput = 0;
  Mac.FeedRunning = 1;
  Mac.FeedIndex = 0;
  Mac.FeedStep = 0;
}

void mac_reset_line_state() {
  if (Store.Defining)
    mac_store_undo_define();
  else
    Store.WritePos = Store.EntriesEnd;  // loop bodies and the like are dropped
  Mac.LanguageWord = 0;
  Mac.BreakRequest = kBreakNone;
  Mac.IfDepth = 0;
  Mac.IfActive = 0;
  Mac.Depth = 0;
  Mac.Frame = nullptr;
  Mac.BlockReader = 0;
  Mac.SuppressEchoReturn = 0;
  con_capture_end();
  Mac.CurrentCommand = 0;
  Mem.DumpContinues = 0;  // an unwind leaves no display to go on with
  Scan.LastChar = u8(Cmd.PromptChar);
}

u16 mac_next_line(bool block_reader) {
  // the continuation prompt "?" goes when ordinary lines come again
  if (!block_reader && Scan.LastChar == '?') con_putc(8);
  if (Mac.FeedRunning) {
    if (feed_line()) return 1;
    // the feed ends: output comes back on and the prompt shows
    Mac.FeedRunning = 0;
    Scan.ScreenOutput = 1;
    con_putc(u8(Cmd.PromptChar));
  }
  if (Mac.PendingBreak != 0 && take_break_command()) {
    echo_line();
    return 1;
  }
  if (Mac.Depth > 0) {
    if (Mac.BreakRequest != kBreakNone) return 0;
    const u8 key = key_poll();
    if (key == 27) {
      Mac.BreakRequest = kBreakAll;
      return 0;
    }
    if (key == 19)  // Ctrl-S: hold until another key
      while (key_wait() == 0) {
      }
    if (!mac_next_body_line()) return 0;
    if (!block_reader && starts_nocase(sup_skip_blanks(Mac.LineBuffer), "KEYIN")) {
      con_read_command_line(Mac.LineBuffer);
      return 1;
    }
    echo_line();
    return 1;
  }
  if (Mac.BreakRequest == kBreakAll) key_drain();
  Mac.BreakRequest = kBreakNone;
  con_read_command_line(Mac.LineBuffer);
  return 1;
}

u16 mac_read_block_line() {
  if (Mac.Depth == 0 || Mac.Echo) con_puts("\n?");
  const u8 saved = Mac.BlockReader;
  Mac.BlockReader = 1;
  const u16 got = mac_next_line(true);
  Mac.BlockReader = saved;
  return got;
}

// --- One line ----------------------------------------------------------------

void cmd_run_line() {
  Cmd.AbortFlag = 0;
  Mem.DumpContinues = 0;  // only the line's own display may go on after it
  Mac.CurrentCommand = 0;
  Mac.Fields[0] = Mac.LineBuffer;
  Mac.FieldCount = 0;
  if (Mac.LineBuffer[0] != '\0') mac_split_arguments();
  mac_handle_line();
  Mac.LineError = Cmd.AbortFlag;
  Cmd.AbortFlag = 0;
  if ((Run.ExecutionState & kExecRunning) == 0) tgt_sync_map_snapshot();
}

void mac_split_arguments() {
  const char* p = sup_skip_blanks(Mac.LineBuffer);
  char* const buffer = Mac.FieldBuffer;
  if (*p == '*' || std::strcmp(p, ",") == 0) {
    std::strncpy(buffer, p, kLineBufferSize - 1);
    buffer[kLineBufferSize - 1] = '\0';
    Mac.Fields[0] = buffer;
    Mac.FieldCount = 0;
    return;
  }
  std::size_t out = 0;
  std::size_t count = 0;
  // LineBuffer holds at most 1,023 bytes and every field end replaces a comma
  // or the line's end, so the fields always fit; the bound is kept anyway.
  auto put = [&](char c) {
    if (out >= kLineBufferSize - 1) fail_format();
    buffer[out++] = c;
  };
  for (;;) {
    const std::size_t start = out;
    Mac.Fields[count] = buffer + start;
    bool bracket_closed = false;  // a later field's bracket run has ended it
    for (;;) {
      const char c = *p;
      if (c == '\0') break;
      if (c == ',' && count + 1 < kMaxFields) break;
      if (bracket_closed) {
        if (u8(c) >= 0x21) fail_format();  // text after a closed bracket run
        ++p;
        continue;
      }
      if (host_cp932_lead(u8(c))) {
        put(c);
        ++p;
        if (*p != '\0') put(*p++);  // a lead byte at the end is one unit
        continue;
      }
      // An apostrophe right after a letter or digit marks an alternate
      // register (AF', SF'), not a quoted text.
      const bool after_name = p > Mac.LineBuffer && cmd_is_ident_char(u8(p[-1]));
      if (c == '\'' && !after_name) {
        put(*p++);
        while (*p != '\0' && *p != '\'') put(*p++);
        if (*p == '\0') fail_format();  // unterminated quote
        put(*p++);
        continue;
      }
      if (c == '[') {
        int depth = 0;
        do {
          if (*p == '[') ++depth;
          if (*p == ']') --depth;
          put(*p++);
        } while (depth > 0 && *p != '\0');
        if (depth > 0) fail_format();  // unterminated bracket
        if (count > 0) bracket_closed = true;
        continue;
      }
      put(c);
      ++p;
    }
    // trailing blanks and control bytes of the field are dropped
    while (out > start && u8(buffer[out - 1]) < 0x21) --out;
    put('\0');
    ++count;
    if (*p != ',') break;
    ++p;
    p = sup_skip_blanks(p);
    if (*p == '\0') fail_format();  // a comma followed only by blanks
  }
  Mac.FieldCount = i8(count);
}

void mac_handle_line() {
  check_free_run_stop();
  const char* line = sup_skip_blanks(Mac.LineBuffer);
  if (*line == '{') {
    if (Mac.Depth > 0) cmd_fail(kMsgMacroInMacro);
    mac_define_block(line + 1);
    return;
  }
  if (Mac.FieldCount <= 1 && std::strcmp(Mac.Fields[0], "}") == 0) {
    mac_close_if();
    return;
  }
  if (is_assignment(line)) {
    if (!assign_register(line)) {
      Mac.WordOperand = line;
      sym_cmd_dot();
    }
    return;
  }
  mac_execute_line();
}

void mac_execute_line() {
  const char* field0 = Mac.Fields[0];
  if (*field0 == '\0' || std::strcmp(field0, ".") == 0) {
    dispatch_unmatched();
    return;
  }
  const int slot = mac_store_find_prefix(field0);
  if (slot < 0) {
    dispatch_unmatched();
    return;
  }
  const char* name = mac_entry_name(slot);
  const char* body = mac_entry_body(slot);
  const char* rest = field0 + std::strlen(name);
  const u8 b = u8(body[0]);
  if (mac_entry_builtin(slot) && (b == 0x81 || b >= kFirstCommandToken)) {
    // the command word, the rest of field 0, and each further field after one ","
    std::string line(name);
    line += rest;
    for (int i = 1; i < Mac.FieldCount; ++i) {
      line += ',';
      line += Mac.Fields[i];
    }
    cmd_set_command_line(line);
    Cmd.ScannerCursor = Cmd.CommandLine + std::min(std::strlen(name), kCommandLineSize - 1);
    Input.InitMark = 0;
    cmd_dispatch(b);
    // a command may have added symbols: lookups by address need them in order
    sym_sort_symbols();
    return;
  }
  if (mac_entry_builtin(slot) && b >= 0x82 && b <= 0x9F) {
    Mac.LanguageWord = 1;
    Mac.WordOperand = rest;
    WordTable[b - 0x82].run();
    if (Cmd.AbortFlag) cmd_fail(kMsgCommandError);
    Mac.LanguageWord = 0;
    return;
  }
  Mac.Fields[0] = rest;
  mac_call(body);
}

// --- Definitions ------------------------------------------------------------------

bool mac_opens_block(const char* line) {
  line = sup_skip_blanks(line);
  for (std::string_view w : {"{", "WHILE{", "DO{", "IF{", "}ELSEIF{", "FOR{", "}ELSE{", "REPEAT{"})
    if (starts_nocase(line, w)) return true;
  return false;
}

void mac_collect_block(u32 dest) {
  int depth = 1;
  for (;;) {
    if (!mac_read_block_line()) cmd_fail(kMsgBlockUnclosed);
    Mac.Fields[0] = Mac.LineBuffer;
    Mac.FieldCount = 0;
    if (Mac.LineBuffer[0] != '\0') mac_split_arguments();
    const char* line = sup_skip_blanks(Mac.LineBuffer);
    if (mac_opens_block(line)) ++depth;
    if (*line == '}' && --depth == 0) break;
    const std::size_t length = std::strlen(Mac.LineBuffer);
    const std::size_t room = Store.Text.size() - dest;
    if (room < kBlockMargin || length + 2 > room - kBlockMargin) cmd_fail(kMsgMacroFull);
    std::memcpy(Store.Text.data() + dest, Mac.LineBuffer, length);
    dest += u32(length);
    Store.Text[dest++] = 13;
    Cmd.AbortFlag = 0;
  }
  Store.Text[dest++] = 0;
  Store.WritePos = dest;
}

void mac_define_block(const char* text) {
  const char* start = text;
  while (*start != '\0' && u8(*start) <= 0x20) ++start;
  const char* end = start;
  while (u8(*end) > 0x20) ++end;
  if (end == start) {
    Cmd.AbortFlag = 1;
    return;
  }
  const bool builtin = Mac.FeedRunning != 0;
  const u32 body = mac_store_begin_define(std::string_view(start, std::size_t(end - start)));
  mac_collect_block(body);
  // built-ins are the fed definitions whose body is one token
  const u8* b = Store.Text.data() + body;
  mac_store_commit_define(builtin && b[0] >= 0x80 && b[1] == 13 && b[2] == 0);
}

// --- Calls ------------------------------------------------------------------------

std::size_t mac_unbracket(const char* field, const char** start) {
  const std::size_t n = std::strlen(field);
  if (field[0] != '[') {
    *start = field;
    return n;
  }
  *start = field + 1;
  return n >= 2 ? n - 2 : 0;
}

void mac_call(const char* body) {
  const char* field0 = Mac.Fields[0];
  while (*field0 == ' ' || *field0 == '\t') ++field0;
  char copy[kLineBufferSize];
  std::memcpy(copy, Mac.FieldBuffer, sizeof copy);
  MacroFrame frame;
  const int count = std::min<int>(Mac.FieldCount, int(kMacroArgs));
  auto in_copy = [&](const char* field) -> const char* {
    // fields lie in the field buffer; field 0 of an unsplit line is the line
    if (field >= Mac.FieldBuffer && field < Mac.FieldBuffer + kLineBufferSize)
      return copy + (field - Mac.FieldBuffer);
    return nullptr;
  };
  if (count > 0) frame.args[0] = in_copy(field0);
  for (int i = 1; i < count; ++i) frame.args[i] = in_copy(Mac.Fields[i]);
  frame.position = body;
  MacroFrame* const saved = Mac.Frame;
  Mac.Frame = &frame;
  mac_run_body();
  Mac.Frame = saved;
  if (Mac.BreakRequest != kBreakAll) Mac.BreakRequest = kBreakNone;
}

void mac_run_body() {
  if (++Mac.Depth >= kMacroDepthLimit) cmd_fail(kMsgMacroNesting);
  // an IF left open by a body that ended early does not outlive the body
  const u8 if_depth = Mac.IfDepth;
  const u8 if_active = Mac.IfActive;
  for (;;) {
    check_free_run_stop();
    const MacroFrame* frame = Mac.Frame;
    if (frame != nullptr && frame->position != nullptr && *frame->position != '\0' && Mac.Echo) {
      if (Scan.LastChar != '\n') con_putc('\n');
      con_putc(u8(Cmd.PromptChar));
    }
    if (!mac_next_line()) break;
    cmd_run_line();
  }
  Mac.IfDepth = if_depth;
  Mac.IfActive = if_active;
  --Mac.Depth;
}

u16 mac_next_body_line() {
  MacroFrame* frame = Mac.Frame;
  if (frame == nullptr || frame->position == nullptr || *frame->position == '\0') {
    Mac.LineBuffer[0] = '\0';
    return 0;
  }
  char out[kLineBufferSize];
  std::size_t n = 0;
  auto put = [&](const char* text, std::size_t length) {
    // a line that would not fit is refused, not cut
    if (length > kLineBufferSize - 1 - n) cmd_fail(kMsgFormat);
    std::memcpy(out + n, text, length);
    n += length;
  };
  const char* p = frame->position;
  while (*p != '\0' && *p != 13) {
    if (*p == '%' && p[1] != '\0' && p[1] != 13) {
      const char c = p[1];
      p += 2;
      if (c >= '0' && c <= '9') {
        if (const char* arg = frame->args[c - '0']) {
          const char* start = nullptr;
          const std::size_t length = mac_unbracket(arg, &start);
          put(start, length);
        }
      } else {
        put(&c, 1);
      }
      continue;
    }
    put(p, 1);
    ++p;
  }
  if (*p == 13) ++p;
  frame->position = p;
  std::memcpy(Mac.LineBuffer, out, n);
  Mac.LineBuffer[n] = '\0';
  return 1;
}

// --- KILL, MLIST and "." --------------------------------------------------------

void mac_kill_or_show(bool show) {
  const char* operand = sup_skip_blanks(Mac.WordOperand);
  if (!show && operand[0] == '*' && u8(operand[1]) <= 0x20) {
    con_putc('\n');
    // the redirect file closes first, so that a failure to complete it shows
    if (const u16 failure = redir_close()) cmd_message(failure);
    // every user macro goes; the built-ins come back through the feed
    mac_store_clear();
    Mac.FeedRunning = 1;
    Mac.FeedIndex = 0;
    Mac.FeedStep = 0;
    Scan.ScreenOutput = 0;
    input_close();
    co_abort_to_main();
  }
  if (*operand == '\0') {
    cmd_message(kMsgFormat);
    return;
  }
  std::string name;
  for (const char* p = operand; u8(*p) > 0x20; ++p) name += host_ascii_upper(*p);
  const int slot = mac_store_find_exact(name);
  if (slot < 0 || mac_entry_builtin(slot)) {
    con_putc('\n');
    con_puts(name);
    cmd_message(kMsgNotDefined);
    return;
  }
  if (!show) {
    mac_store_remove(slot);
    return;
  }
  Paging.ListingLineCount = 1;
  Paging.ListingStopped = 0;
  for (const char* p = mac_entry_body(slot); *p != '\0'; ++p) {
    if (*p == 13) {
      if (con_line_break_paged()) return;
    } else {
      con_putc(u8(*p));
    }
  }
}

void mac_list() {
  const char* operand = sup_skip_blanks(Mac.WordOperand);
  if (*operand == '>') {
    mac_save_file(sup_skip_blanks(operand + 1));
    return;
  }
  if (*operand != '\0') {
    mac_kill_or_show(true);
    return;
  }
  Paging.ListingLineCount = 1;
  Paging.ListingStopped = 0;
  for (int i = Store.Count - 1; i >= 0; --i) {
    if (mac_entry_builtin(i)) continue;
    con_puts(mac_entry_name(i));
    if (con_line_break_paged()) return;
  }
}

void sym_cmd_dot() {
  const char* p = sup_skip_blanks(Mac.WordOperand);
  const char* name_end = p;
  while (u8(*name_end) > 0x20 && *name_end != '=') ++name_end;
  const std::string name(p, std::size_t(name_end - p));
  if (name.empty()) {
    Cmd.AbortFlag = 1;
    return;
  }
  const char* after = sup_skip_blanks(name_end);
  char answer[kLineBufferSize];
  const char* value = nullptr;
  if (*after != '=') {
    con_putc('\n');
    con_read_command_line(answer);
    value = answer;
  } else {
    value = after + 1;
    const char* can = sup_skip_blanks(value);
    if (starts_nocase(can, "CAN") && u8(can[3]) <= 0x20) {
      if (sym_delete(name) != 0) cmd_error(kMsgData);
      return;
    }
  }
  cmd_set_command_line(value);
  const u32 v = cmd_get_expression();
  if (Cmd.AbortFlag) return;
  sym_delete(name);
  if (sym_define(name, v, 0) != 0) {
    cmd_error(kMsgStoreFull);
    return;
  }
  if (Mac.Depth == 0) cmd_message(kMsgSymbolDefined);
}
