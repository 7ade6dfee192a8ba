// Console sink, line reader and the operand fetchers.
#include "halv80/engine/con_scanner.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>

#include "halv80/engine/cmd_core.h"
#include "halv80/engine/cmd_switches.h"
#include "halv80/engine/co_coroutine.h"
#include "halv80/engine/con_editor.h"
#include "halv80/engine/con_screen.h"
#include "halv80/engine/key_input.h"
#include "halv80/engine/mac_lines.h"
#include "halv80/engine/mem_dump.h"
#include "halv80/engine/redir_file.h"
#include "halv80/symbols/exp_eval.h"
#include "halv80/symbols/sym_source.h"
#include "platform/host/host_text.h"

constinit ScanState Scan;

namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";

}  // namespace

void con_putc(u8 c) {
  if (Scan.OutputDiversion) {
    if (Scan.DivertTo) Scan.DivertTo(Scan.DivertContext, c);
    return;
  }
  if (Scan.CaptureBuffer) {
    const std::size_t limit = std::min(kCaptureLimit, Scan.CaptureSize - 1);
    // the window side copies row texts: no colour bytes in them
    const bool colour = c == 0xFE || c == 0xFF;
    if (Scan.CaptureCount < limit && !(colour && !Co.OnCommandSide)) Scan.CaptureBuffer[Scan.CaptureCount++] = char(c);
    return;
  }
  // output for another window: neither the log nor LastChar sees it
  if (Con.Window != kSlotCommand) {
    con_window_putc(c);
    return;
  }
  if (!Scan.ScreenOutput) return;
  con_screen_putc(c);
  if (c >= 0x08 && c <= 0xFD) redir_put_char(c);
  Scan.LastChar = c;
}

void con_puts(std::string_view text) {
  for (const char c : text) con_putc(u8(c));
}

void con_puts_from_column(std::string_view text, std::size_t n) {
  if (text.size() < n) return;
  // Walk the skipped part by characters: did it end inside a pair?
  std::size_t i = 0;
  while (i < n) i += host_cp932_lead(u8(text[i])) ? 2 : 1;
  if (i > n) {
    con_putc(' ');  // the second half of a character cut in two
    con_puts(text.substr(std::min(i, text.size())));
    return;
  }
  con_puts(text.substr(n));
}

void con_put_indented(std::string_view text) {
  con_puts("    ");
  if (text.empty() || text.front() != '-') con_putc(' ');
  con_puts(text);
}

void con_put_hex16(u16 v) {
  for (int shift = 12; shift >= 0; shift -= 4) con_putc(u8(kHexDigits[(v >> shift) & 0xF]));
  con_putc(' ');
}

void con_newline_hex16(u16 v) {
  con_putc('\n');
  con_put_hex16(v);
}

void con_put_number4(u16 v, u8 attribute) {
  const u16 saved = Con.Attribute;
  Con.Attribute = attribute;
  for (u16 unit = 1000; unit != 0; unit /= 10) con_putc(u8('0' + v / unit % 10));
  Con.Attribute = saved;
}

void con_capture_begin(std::span<char> buffer) {
  if (buffer.empty()) return;
  Scan.CaptureBuffer = buffer.data();
  Scan.CaptureSize = buffer.size();
  Scan.CaptureCount = 0;
  buffer[0] = '\0';
}

void con_capture_end() {
  if (Scan.CaptureBuffer) Scan.CaptureBuffer[Scan.CaptureCount] = '\0';
  Scan.CaptureBuffer = nullptr;
  Scan.CaptureSize = 0;
}

void con_read_line() {
  Co.Request.key_wait_depth = 0;
  if (!mac_next_line()) co_abort_to_main();
  cmd_set_command_line({Mac.LineBuffer, strnlen(Mac.LineBuffer, sizeof Mac.LineBuffer)});
  // the key that ended the line belongs to it: a later poll must not take it
  // for a key pressed to stop what the line started
  Keys.character = 0;
}

u16 con_check_abort() {
  const u8 key = key_poll();
  if (key == 3 || key == 27 || Scan.PendingAbort) {
    Scan.PendingAbort = 0;
    return 1;
  }
  return 0;
}

u8 con_next_input_char() {
  if (Input.Handle >= 0) {
    // The input file gives every second character; the turns between give
    // the window side its time, and a key typed meanwhile acts.
    Input.Turn ^= 1;
    if (Input.Turn == 0) return input_read_char();
    const u8 key = key_poll();
    if (key == 27) {
      input_close();
      Scan.ScreenOutput = 1;
      return 13;
    }
    if (key == 19)  // Ctrl-S: hold until another key comes
      while (key_wait() == 0) {
      }
    return 0;
  }
  const i16 key = key_wait();
  if (key != 19) return u8(key);
  // Ctrl-S: hold until another key comes
  for (;;)
    if (const i16 next = key_wait(); next != 0) return 0;
}

u8 con_wait_key() {
  // Source files opened by listings are closed after every 50 changes of the
  // key-input word, so that they are free while the user sits at the prompt.
  u16 last_input = Co.Request.key_input;
  u16 changes = 0;
  for (;;) {
    con_show_caret();
    const u8 key = con_next_input_char();
    if (Co.Request.key_input != last_input) {
      last_input = Co.Request.key_input;
      if (++changes >= 50) {
        changes = 0;
        sym_close_source_files();
      }
    }
    // Ctrl-C at a key wait is dropped; the wait starts again.
    if (key != 0 && key != 3) {
      Mem.DumpContinues = 0;  // a typed key ends the display's continuation
      return key;
    }
  }
}

void cmd_skip_blanks() { Cmd.ScannerCursor = sup_skip_blanks(Cmd.ScannerCursor); }

const char* sup_skip_blanks(const char* text) {
  while (*text != '\0' && u8(*text) < 0x21) ++text;
  return text;
}

const char* sup_match_prefix_nocase(std::string_view word, const char* text) {
  for (const char w : word) {
    if (*text == '\0' || host_ascii_upper(*text) != host_ascii_upper(w)) return nullptr;
    ++text;
  }
  return text;
}

u16 cmd_match_keyword(std::string_view word) {
  const char* after = sup_match_prefix_nocase(word, Cmd.ScannerCursor);
  if (after == nullptr) return 1;
  Cmd.ScannerCursor = after;
  return 0;
}

bool cmd_operand_track(char c) {
  bool inside = false;
  if (c == '\'') {
    if (!Scan.QuoteOpen)
      Scan.QuoteOpen = 1;
    else if (Scan.Previous != '\\')
      Scan.QuoteOpen = 0;
    inside = true;
  } else if (Scan.QuoteOpen) {
    inside = true;
  } else if (c == '(' || c == '[') {
    ++Scan.Depth;
    inside = true;
  } else if (c == ')' || c == ']') {
    if (Scan.Depth > 0) --Scan.Depth;
    inside = true;
  } else {
    inside = Scan.Depth != 0;
  }
  Scan.Previous = c;
  return inside;
}

u32 cmd_get_expression() {
  if (Cmd.AbortFlag) return 0;
  cmd_skip_blanks();
  const char* start = Cmd.ScannerCursor;
  Scan.Depth = 0;
  Scan.QuoteOpen = 0;
  Scan.Previous = 0;
  const char* p = start;
  int since_underscore = -1;  // characters since the last "_", -1 none
  for (;; ++p) {
    const char c = *p;
    if (c == '\0') {
      // the line ended inside quotes or brackets
      if (Scan.QuoteOpen || Scan.Depth) {
        Cmd.AbortFlag = 1;
        return 0;
      }
      break;
    }
    since_underscore = c == '_' ? 0 : (since_underscore >= 0 ? since_underscore + 1 : -1);
    // the apostrophe of a register name such as _AF' belongs to the name
    if (c == '\'' && (since_underscore == 2 || since_underscore == 3)) continue;
    if (cmd_operand_track(c)) continue;
    if (c == ',' || c == ';' || c == ' ' || c == '\t') break;
    if (c == '/') {
      const char k = host_ascii_upper(p[1]);
      if ((k == 'N' || k == 'H' || k == 'O' || k == 'D') && (p[2] == '\0' || p[2] == ',')) break;
    }
  }
  std::size_t used = 0;
  const u32 value = exp_eval_number_at_cursor(std::string_view(start, std::size_t(p - start)), used);
  Cmd.ScannerCursor = start + used;
  if (Exp.AbortWord != 0) {
    Cmd.AbortFlag = 1;
    return 0;
  }
  return value;
}

u32 cmd_get_value() {
  const u32 v = cmd_get_expression();
  return Scan.LongOperands ? v : (v & 0xFFFF);
}

u32 cmd_get_address() {
  const u32 v = cmd_get_expression();
  if (Scan.LongOperands || v <= 0xFFFF) return v;
  Cmd.AbortFlag = 1;  // no memory management extends it: beyond the 64 KiB
  return 0;
}

namespace {

void skip_one_comma() {
  cmd_skip_blanks();
  if (*Cmd.ScannerCursor == ',') ++Cmd.ScannerCursor;
}

}  // namespace

u32 cmd_get_address_after_comma() {
  if (Cmd.AbortFlag) return 0;
  skip_one_comma();
  return cmd_get_address();
}

u32 cmd_get_value_after_comma() {
  if (Cmd.AbortFlag) return 0;
  skip_one_comma();
  return cmd_get_value();
}

u32 cmd_get_long_after_comma() {
  if (Cmd.AbortFlag) return 0;
  skip_one_comma();
  return cmd_get_expression();
}

u32 cmd_get_number_decimal() {
  if (Cmd.AbortFlag) return 0;
  cmd_skip_blanks();
  const char c = *Cmd.ScannerCursor;
  if (c == '!' || c == '$' || c == '@') return cmd_get_value();
  const u16 saved = Cmd.Radix;
  Cmd.Radix = 10;
  const u32 v = cmd_get_value();
  Cmd.Radix = saved;
  return v;
}

void cmd_get_float(double& out) {
  if (Cmd.AbortFlag) return;
  cmd_skip_blanks();
  const char* p = Cmd.ScannerCursor;
  std::string text;
  if (*p == '+') ++p;
  for (;; ++p) {
    const char c = *p;
    if (c == '\0' || c == ' ' || c == '\t' || c == ',' || c == ')') break;
    const bool allowed = (c >= '0' && c <= '9') || c == '.' || host_ascii_upper(c) == 'E' || c == '+' || c == '-';
    if (!allowed || text.size() >= 64) {
      Cmd.AbortFlag = 1;
      return;
    }
    text += c;
  }
  char* end = nullptr;
  const double v = std::strtod(text.c_str(), &end);
  if (text.empty() || end != text.c_str() + text.size()) {
    Cmd.AbortFlag = 1;
    return;
  }
  out = v;
  Cmd.ScannerCursor = p;
}

void cmd_get_size_letter() {
  const char c = host_ascii_upper(*Cmd.ScannerCursor);
  u16 letter = 0;
  switch (c) {
    case 'B': case 'D': case 'F': case 'W': letter = u16(c); break;
    case 'L': letter = Sw.ToolchainKind == 3 ? 'S' : 'L'; break;
    case 'S': letter = Sw.ToolchainKind == 4 ? 'L' : 'S'; break;
    case 'T': letter = Sw.ToolchainKind == 3 ? 'S' : Sw.ToolchainKind == 4 ? 'L' : 'T'; break;
    default:
      Scan.SizeLetter = 'B';  // not a unit letter: not consumed
      return;
  }
  Scan.SizeLetter = letter;
  ++Cmd.ScannerCursor;
}

u16 cmd_at_end() {
  cmd_skip_blanks();
  return (*Cmd.ScannerCursor == '\0' || *Cmd.ScannerCursor == '.') ? 1 : 0;
}

u16 cmd_command_size_kind(std::size_t base_length) {
  const char* after = Cmd.ScannerCursor;
  const char* letter = Cmd.CommandLine + base_length;
  // only a cursor into the command line has the command word before it
  if (after < Cmd.CommandLine || after > Cmd.CommandLine + kCommandLineSize || letter >= after) return 0;
  const u16 previous = Scan.SizeLetter;
  Cmd.ScannerCursor = letter;
  cmd_get_size_letter();
  const bool taken = Cmd.ScannerCursor != letter;
  Cmd.ScannerCursor = after;
  if (!taken) {
    Scan.SizeLetter = previous;
    return 0;
  }
  return Scan.SizeLetter;
}

u16 cmd_mask_dont_care_digits(char* p) {
  u16 mask = 0xFFFF;
  const bool binary = *p == '@';
  if (binary) ++p;
  for (; *p != '\0' && *p != ',' && *p != '\t' && *p != ' '; ++p) {
    if (binary && *p == '_') continue;
    const bool dont_care = *p == 'X' || *p == 'x';
    mask = u16(mask << (binary ? 1 : 4));
    if (dont_care)
      *p = '0';
    else
      mask = u16(mask | (binary ? 0x1 : 0xF));
  }
  return mask;
}
