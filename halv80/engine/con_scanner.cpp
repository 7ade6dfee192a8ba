// Console sink, line reader and the basic operand fetchers.
#include "halv80/engine/con_scanner.h"

#include <cstring>

#include "halv80/engine/cmd_core.h"
#include "halv80/engine/co_coroutine.h"
#include "halv80/engine/con_screen.h"
#include "halv80/engine/key_input.h"
#include "halv80/engine/mac_lines.h"

constinit ScanState Scan;

void con_putc(u8 c) {
  // output for another window: neither the log nor LastChar sees it
  if (Con.Window != kSlotCommand) {
    con_window_putc(c);
    return;
  }
  if (!Scan.ScreenOutput) return;
  con_screen_putc(c);
  Scan.LastChar = c;
}

void con_puts(std::string_view text) {
  for (const char c : text) con_putc(u8(c));
}

void con_read_line() {
  Co.Request.key_wait_depth = 0;
  if (!mac_next_line()) co_abort_to_main();
  const std::size_t n = strnlen(Mac.LineBuffer, sizeof Mac.LineBuffer - 1);
  std::memcpy(Cmd.CommandLine, Mac.LineBuffer, n);
  Cmd.CommandLine[n] = '\0';
  Cmd.ScannerCursor = Cmd.CommandLine;
}

u8 con_wait_key() {
  for (;;) {
    Con.CaretColumn = Con.Column;
    Con.CaretRow = Con.Row;
    const i16 key = key_wait();
    // Ctrl-C at a key wait is dropped; the wait starts again.
    if (key != 0 && key != 3) return u8(key);
  }
}

void cmd_skip_blanks() {
  while (*Cmd.ScannerCursor != '\0' && u8(*Cmd.ScannerCursor) < 0x21) ++Cmd.ScannerCursor;
}

u16 cmd_match_keyword(std::string_view word) {
  const char* p = Cmd.ScannerCursor;
  for (const char w : word) {
    char c = *p;
    if (c >= 'a' && c <= 'z') c = char(c - 'a' + 'A');
    if (c == '\0' || c != w) return 1;
    ++p;
  }
  Cmd.ScannerCursor = p;
  return 0;
}
