// The window side's one entry for engine work that must run under the
// engine's error trap: a numbered request with an argument text that becomes
// the scanner's line for the time of the request.
#pragma once

#include <string_view>

#include "platform/host/host_types.h"

constexpr u16 kCoreRequestCount = 21;  // requests 0..20

using CoreRequestHandler = void (*)(const char* argument);

struct CoreRequestState {
  u16 InCoreRequest = 0;  // 1 while a request runs
  // The handler of each request number; the areas that serve a request set
  // their entry.
  CoreRequestHandler Handlers[kCoreRequestCount]{};
};
extern CoreRequestState CoreReq;

// The handlers of the requests served so far, in CoreReq.Handlers.
void sup_core_request_reset();
// Runs request `request` (0..20) with `argument`; 0 when done, 1 after a
// failure, whose error is then left in PendingError for the window side.
u16 sup_run_core_request(std::string_view argument, u16 request);
// HELP [word]: the help topic through the window side (request 14).
void cmd_help();
