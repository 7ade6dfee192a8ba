// Line source and line handling. Every line that matches no command word
// reaches the dispatcher with no token, which answers it as an unknown command.
#include "halv80/engine/mac_lines.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <string_view>

#include "halv80/engine/cmd_core.h"
#include "halv80/engine/con_editor.h"
#include "halv80/engine/con_scanner.h"
#include "halv80/engine/mac_builtins.h"
#include "halv80/engine/mem_dump.h"

constinit MacState Mac;

void mac_load_builtins() {
  Mac.Echo = 1;
  Scan.ScreenOutput = 0;
  Mac.FeedRunning = 1;
}

void mac_reset_line_state() {
  Mac.CurrentCommand = 0;
  Mem.DumpContinues = 0;  // an unwind leaves no display to go on with
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
  Mem.DumpContinues = 0;  // only the line's own display may go on after it
  Mac.CurrentCommand = 0;
  mac_handle_line();
  Mac.LineError = Cmd.AbortFlag;
  Cmd.AbortFlag = 0;
}

void mac_handle_line() { mac_execute_line(); }

namespace {

// The line as it is, dispatched with no token: an unknown command.
void dispatch_unmatched() {
  cmd_set_command_line({Mac.LineBuffer, strnlen(Mac.LineBuffer, sizeof Mac.LineBuffer)});
  cmd_dispatch(kNoToken);
}

}  // namespace

void mac_execute_line() {
  const char* field = Mac.LineBuffer;
  while (*field != '\0' && u8(*field) < 0x21) ++field;
  const std::string_view field0 = field;
  const BuiltinDefinition* word = (field0.empty() || field0 == ".") ? nullptr : mac_find_builtin(field0);
  if (word == nullptr) {
    dispatch_unmatched();
    return;
  }
  const std::string_view name = word->name;
  const std::string_view rest = field0.substr(name.size());
  if (word->token >= kFirstCommandToken) {
    // the command word as its canonical name, then the operands as typed
    std::string line(name);
    line += rest;
    cmd_set_command_line(line);
    Cmd.ScannerCursor = Cmd.CommandLine + std::min(name.size(), kCommandLineSize - 1);
    cmd_dispatch(word->token);
    return;
  }
  if (word->body != nullptr) {
    // the one text body, "EXIT %0": %0 is the first operand
    std::string_view arg = rest;
    while (!arg.empty() && u8(arg.front()) <= 0x20) arg.remove_prefix(1);
    arg = arg.substr(0, arg.find(','));
    std::string line;
    for (std::string_view body = word->body; !body.empty(); body.remove_prefix(1)) {
      if (body.starts_with("%0")) {
        line += arg;
        body.remove_prefix(1);
      } else {
        line += body.front();
      }
    }
    const std::size_t n = std::min(line.size(), kLineBufferSize - 1);
    std::memcpy(Mac.LineBuffer, line.data(), n);
    Mac.LineBuffer[n] = '\0';
    mac_execute_line();
    return;
  }
  // words of the macro language come with the macro language
  dispatch_unmatched();
}
