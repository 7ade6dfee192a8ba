// The window side's one entry for engine work that must run under the
// engine's error trap: a numbered request with an argument text that becomes
// the scanner's line for the time of the request.
#pragma once

#include <string>
#include <string_view>

#include "platform/host/host_types.h"

constexpr u16 kCoreRequestCount = 21;  // requests 0..20

using CoreRequestHandler = void (*)(const char* argument);

struct CoreRequestState {
  u16 InCoreRequest = 0;  // 1 while a request runs
  // The handler of each request number. The requests of the hardware break,
  // trace, profiler and event commands (1, 12, 14, 20) are set by the area
  // that has those commands; without it they answer like an unknown command.
  CoreRequestHandler Handlers[kCoreRequestCount]{};
};
extern CoreRequestState CoreReq;

// The handlers of the requests served so far, in CoreReq.Handlers.
void sup_core_request_reset();
// Runs request `request` (0..20) with `argument`; 0 when done, 1 after a
// failure, whose error is then left in PendingError for the window side.
u16 sup_run_core_request(std::string_view argument, u16 request);
// Loads the program a window side was started with: request 2 with "L name"
// ("LP name" with `code_only`), the name cut to the command line's room.
// Empty when it loaded or there is nothing to show; else the error's text,
// trimmed for a message box.
std::string sup_load_startup_program(std::string_view name, bool code_only);
// HELP [word]: the help topic through the window side (request 14): a
// command word's topic is its token - 0x80; no word or an unknown one, 0.
void cmd_help();
// The project file's saved breakpoints: with an empty text the break table is
// saved quietly and the saved text returned (empty when there is none); with
// a text, it becomes the saved text (not applied: core request 9 does that).
std::string sup_project_break_text(std::string_view text);
