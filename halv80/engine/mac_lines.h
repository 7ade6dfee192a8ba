// The line source of the command loop and the handling of one line: every
// line passes here before anything executes.
#pragma once

#include <cstddef>

#include "platform/host/host_types.h"

constexpr std::size_t kLineBufferSize = 1024;

struct MacState {
  char LineBuffer[kLineBufferSize]{};  // the line being handled, unchanged
  u16 FeedRunning = 0;      // 1 while the built-in definitions are being fed
  u16 CurrentCommand = 0;   // number of the command being run; 0 none
  u16 LineError = 0;        // the abort flag the last line ended with
  u8 Echo = 1;              // 1: macro lines are echoed
};
extern MacState Mac;

// Sets up the store of command words; starts the built-in feed with output off.
void mac_load_builtins();
// Called at the restart point after every unwind: per-line state back to rest.
void mac_reset_line_state();
// The next line into LineBuffer: 1 when there is one, 0 when none.
u16 mac_next_line();
// Runs the line in LineBuffer; leaves its error state in LineError.
void cmd_run_line();
void mac_handle_line();
void mac_execute_line();
