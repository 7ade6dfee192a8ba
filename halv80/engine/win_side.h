// What the engine needs of the window side: the pump that runs the command
// side and serves what it asks for. Each program (the window program, the
// console runner, the tests' scripted double) supplies its own WindowSide.
#pragma once

#include <string_view>

#include "halv80/engine/co_coroutine.h"
#include "platform/host/host_types.h"

class WindowSide {
 public:
  virtual ~WindowSide() = default;
  // Serves the request in Co.Request (code, parameters, replies). The pump
  // resets the code afterwards. May enter the command side itself (pick list).
  virtual void ServeRequest(RequestCode code) = 0;
  // Shows the error word; the pump clears it afterwards.
  virtual void ShowPendingError(u16 error) = 0;
  // Set once the window side closes (exit request served): the pump stops.
  bool closing = false;
};

// Leaves `line` as the start-up command line for the command side to parse,
// cut to what the engine keeps.
void win_set_startup_line(std::string_view line);

// Runs the command side until it waits: enters while no error and no request
// is pending, serves and clears each request, shows a pending error first;
// stops at a wait kind with bit 0 set, when the window side closes or when the
// start-up failed. Returns the wait kind the command side stopped with.
u16 win_pump(WindowSide& window_side);
// True once the command side has exited (wait kind 5) and is never entered again.
bool win_command_side_exited();
