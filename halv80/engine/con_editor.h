// The command-line editor: reads one line from the keys, echoing it.
#pragma once

#include <cstddef>

#include "platform/host/host_types.h"

constexpr std::size_t kEditBufferSize = 256;  // a line holds at most 255 characters

// Reads a command line into buf (at least kEditBufferSize bytes), terminated.
void con_read_command_line(char* buf);
// Edits one line of at most `max` characters into buf; 1 when accepted.
u16 con_edit_line(char* buf, u16 max, u16 flags);
