// The redirect file and the input file of the macro language. While a
// redirect file is open, what the console shows also goes to it, with line
// breaks as CR LF and without colour bytes; it ends with the mark 0x1A, over
// which ">>" appends. A file made new (">", MLIST >) is written under a
// temporary name and renamed over the old one when it is complete, so that a
// failure or a crash leaves the old file whole; ">>" writes in place. While
// an input file is open, the console's key wait takes its bytes as typed keys.
#pragma once

#include <string>
#include <string_view>

#include "platform/host/host_types.h"

constexpr u16 kMsgNoInputFile = 35;   // "\n 指定ファイルがありません"
constexpr u8 kEndOfFileMark = 0x1A;

struct RedirState {
  int Handle = -1;        // the open redirect file, -1 none
  u16 DbcsMark = 0;       // a lead byte was written: the next byte goes as it is
  u16 Replacing = 0;      // 1: a new file (a replacement), put in place by redir_close
  std::string Name;       // its full name (the system's form)
};
extern RedirState Redir;

struct InputState {
  int Handle = -1;   // the open input file, -1 none
  u8 Previous = 0;   // the byte read last
  u16 InitMark = 0;  // 1: the file was opened as "init.mcr"
  u16 Turn = 0;      // the key wait takes a byte every second call
};
extern InputState Input;

// ">" and ">>": the operand (Mac.WordOperand) names the file; none only
// closes the open one. Fails with message 39 when the file can't be made.
void redir_open_create();
void redir_open_append();
void redir_open(bool append, std::string_view name);
// One console character into the redirect file (nothing when none is open).
void redir_put_char(u8 c);
// Each byte through redir_put_char, CR as a line break.
void redir_put_string(std::string_view s);
// One byte: a backspace moves back over the last byte (never before the
// start); a failed write closes the file (a new one is discarded, the old
// file of its name stays) and fails the command with message 40.
void redir_write_byte(u8 c);
// Writes the end-of-file mark 0x1A and closes the file; a new file then takes
// its name. 0, or the message of a failure, with the file closed all the same:
// 40 when the bytes could not be written (a new file is discarded), 39 when
// the new file could not take its name (the old one stays).
u16 redir_close();

// "<": the operand names the input file. Message 35 when it can't be opened
// (silent while the built-in definitions are fed).
void input_open();
// The input file's next byte; 0 at its end, at 0x1A or on an error, when the
// file is closed. A LF that does not follow a CR reads as CR.
u8 input_read_char();
void input_close();

// MLIST >name: every user macro as a file that "<" loads again. Message 39
// when it can't be written.
void mac_save_file(std::string_view name);
