// The window side's one entry for engine work that must run under the
// engine's error trap: a numbered request with an argument text that becomes
// the scanner's line for the time of the request.
#pragma once

#include <string>
#include <string_view>

#include "halv80/engine/win_codes.h"
#include "platform/host/host_types.h"

using CoreRequestHandler = void (*)(const char* argument);

struct CoreRequestState {
  u16 InCoreRequest = 0;  // 1 while a request runs
  // The handler of each request, indexed by CoreRequest. Without one a
  // request answers like an unknown command.
  CoreRequestHandler Handlers[kCoreRequestCount]{};
};
extern CoreRequestState CoreReq;

// The handlers of the requests served so far, in CoreReq.Handlers.
void sup_core_request_reset();
// Runs `request` with `argument`; 0 when done, 1 after a failure, whose
// error is then left in PendingError for the window side. A number past the
// table answers like an unknown command.
u16 sup_run_core_request(std::string_view argument, CoreRequest request);
// The handler slot of `request` in CoreReq.Handlers.
CoreRequestHandler& sup_core_request_handler(CoreRequest request);
// Loads the program a window side was started with: CoreRequest::Load with "L name"
// ("LP name" with `code_only`), the name cut to the command line's room.
// Empty when it loaded or there is nothing to show; else the error's text,
// trimmed for a message box.
std::string sup_load_startup_program(std::string_view name, bool code_only);
// HELP [word]: the help topic through the window side (RequestCode::Help): a
// command word's topic is its token - 0x80; no word or an unknown one, 0.
void cmd_help();
// The project file's saved breakpoints: with an empty text the break table is
// saved quietly and the saved text returned (empty when there is none); with
// a text, it becomes the saved text (not applied: CoreRequest::LoadBreaks does that).
std::string sup_project_break_text(std::string_view text);
