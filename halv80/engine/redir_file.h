// The redirect file: while one is open, what the console shows also goes to
// it, with line breaks as CR LF and without colour bytes.
#pragma once

#include "platform/host/host_types.h"

struct RedirState {
  int Handle = -1;   // the open redirect file, -1 none
  u16 DbcsMark = 0;  // a lead byte was written: the next byte goes as it is
};
extern RedirState Redir;

// One console character into the redirect file (nothing when none is open).
void redir_put_char(u8 c);
// One byte: a backspace moves back over the last byte; a failed write closes
// the file and fails the command with message 40.
void redir_write_byte(u8 c);
// Writes the end-of-file mark 0x1A and closes the file.
void redir_close();
