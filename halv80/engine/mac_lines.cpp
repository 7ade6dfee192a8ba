// Line source and line handling. Every line that matches no command word
// reaches the dispatcher with no token, which answers it as an unknown command.
#include "halv80/engine/mac_lines.h"

#include <cstring>

#include "halv80/engine/cmd_core.h"
#include "halv80/engine/con_editor.h"
#include "halv80/engine/con_scanner.h"

constinit MacState Mac;

void mac_load_builtins() {
  Mac.Echo = 1;
  Scan.ScreenOutput = 0;
  Mac.FeedRunning = 1;
}

void mac_reset_line_state() {
  Mac.CurrentCommand = 0;
  Scan.LastChar = u8(Cmd.PromptChar);
}

u16 mac_next_line() {
  // The built-in feed ends: output comes back on and the prompt shows.
  if (Mac.FeedRunning) {
    Mac.FeedRunning = 0;
    Scan.ScreenOutput = 1;
    con_putc(u8(Cmd.PromptChar));
  }
  con_read_command_line(Mac.LineBuffer);
  return 1;
}

void cmd_run_line() {
  Cmd.AbortFlag = 0;
  Mac.CurrentCommand = 0;
  mac_handle_line();
  Mac.LineError = Cmd.AbortFlag;
  Cmd.AbortFlag = 0;
}

void mac_handle_line() { mac_execute_line(); }

void mac_execute_line() {
  const std::size_t n = strnlen(Mac.LineBuffer, kLineBufferSize - 1);
  std::memcpy(Cmd.CommandLine, Mac.LineBuffer, n);
  Cmd.CommandLine[n] = '\0';
  Cmd.ScannerCursor = Cmd.CommandLine;
  cmd_dispatch(kNoToken);
}
