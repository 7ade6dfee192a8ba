// The console sink every handler prints through, the line reader that feeds
// the command loop, and the operand fetchers over ScannerCursor.
#pragma once

#include <string_view>

#include "platform/host/host_types.h"

struct ScanState {
  u8 ScreenOutput = 1;  // 0: console output is dropped
  u8 LastChar = 0;      // the last byte that reached the screen
};
extern ScanState Scan;

// The console sink: the current window, the screen and the log.
void con_putc(u8 c);
void con_puts(std::string_view text);
// Reads the next line into CommandLine and points ScannerCursor at it; with no
// line left it unwinds to the restart point.
void con_read_line();
// Waits for the next key that is not 0 and not Ctrl-C; publishes the caret first.
u8 con_wait_key();

// Advances ScannerCursor over bytes below 0x21 (stops at the end and at 0x80+).
void cmd_skip_blanks();
// Compares the upper-case `word` with the text at the cursor, ignoring the
// text's case; on a match moves past it and returns 0, else returns 1.
u16 cmd_match_keyword(std::string_view word);
